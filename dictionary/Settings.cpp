#include "dictionary/Settings.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "dictionary/SchedulingTables.h"
#include "platform/data/DataFileCheck.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/data/Upgrade.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/runtime/Value.h"

namespace kr {

namespace {

constexpr const char* kSettingsSection = "Settings";

// GetSetting and PutSetting are each one GET and at most one ADD or PUT; the
// lock keeps two callers from interleaving those steps (two ADDs of one name,
// or a PUT over a record another caller just read).
std::mutex g_storeMutex;

std::mutex g_hooksMutex;
UserNameSource g_userNameSource;
using HookList = std::vector<std::pair<int, std::function<void()>>>;
HookList g_loadedHooks;
HookList g_appliedHooks;
int g_nextHookId = 1;

int AddHook(HookList& list, std::function<void()> hook) {
    std::lock_guard<std::mutex> l(g_hooksMutex);
    int id = g_nextHookId++;
    list.emplace_back(id, std::move(hook));
    return id;
}

void RemoveHook(HookList& list, int id) {
    std::lock_guard<std::mutex> l(g_hooksMutex);
    std::erase_if(list, [id](const auto& h) { return h.first == id; });
}

// Runs a copy of the list, so that a hook may add or remove hooks.
void RunHooks(const HookList& list) {
    HookList hooks;
    {
        std::lock_guard<std::mutex> l(g_hooksMutex);
        hooks = list;
    }
    for (auto& h : hooks)
        if (h.second) h.second();
}

std::mutex g_argsMutex;
std::vector<std::string> g_arguments;

data::Table& ConfigTable() { return data::TableOf(ConfigurationDef()); }
const data::KeyDef* ConfigKey() { return ConfigurationDef().key("CF:KeyDataType"); }

// A damaged data file makes every setting fail (with whatever code the
// damage gives the read): the start-up check of the file tells the user in
// its one "Damaged Data File" box and ends the program. So a failed read or
// write first waits for that check, and says nothing of its own once the
// check has found the file unusable. True when the caller is to stay silent.
bool FailureAlreadyTold() { return !data::AwaitDataFileCheck(); }

// The name as the 40-character field holds it, padded, for the messages.
std::string PaddedName(std::string_view name) { return FString<40>(name).padded(); }

// GET by name. A table that is not open is opened shared (and left open),
// created first when the data file does not hold it yet, and the GET repeated.
int FetchSetting(data::Table& t, std::string_view name) {
    Configuration& rec = t.Rec<Configuration>();
    rec.DataType = name;
    int err = t.Get(ConfigKey());
    if (err == kFileNotOpen) {
        int open = data::ds_FileOpen(t, data::kModeShared);
        if (open == kFileNotFound && t.Create() == 0) open = data::ds_FileOpen(t, data::kModeShared);
        // The open's own error tells more than the "not open" a GET would give.
        if (open != kNoError && open != kFileAlreadyOpen) return open;
        rec.DataType = name;
        err = t.Get(ConfigKey());
    }
    return err;
}

std::optional<std::string> PasswdLoginName() {
    passwd pw{};
    passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) != 0 || !found || !pw.pw_name ||
        !*pw.pw_name)
        return std::nullopt;
    return std::string(pw.pw_name);
}

// A stored text as a LONG: empty or not a number reads as 0.
int32_t ToLong(const std::string& s) {
    int64_t v = Value(Trim(s)).toInt();
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}
// As a BYTE: kept to 0..255 rather than wrapped, so "300" is not 44.
uint8_t ToByte(const std::string& s) { return static_cast<uint8_t>(std::clamp<int32_t>(ToLong(s), 0, 255)); }
// A flag stored inverted: a missing name (0) means on.
uint8_t Inverted(const std::string& s) { return ToLong(s) == 0 ? 1 : 0; }

}  // namespace

OptionGlobals& Options() {
    static OptionGlobals g;
    return g;
}

void ResetOptions() {
    OptionGlobals& o = Options();
    for (OptionFlag* f : {&o.SysLock, &o.LogExitCodes, &o.RemoveUncompleted, &o.StartUpTodo,
                          &o.StartupClipboardSaver, &o.StartupContacts, &o.NewProc16, &o.GlobalActiveOnly,
                          &o.MinimizeOnCloseRequest, &o.StartUpMinimized, &o.FullSchedule, &o.HideToolbar,
                          &o.NoTray, &o.ReportIncludeFutureOccurances, &o.MultiUser, &o.MonitorClipboard,
                          &o.UseModalMessage, &o.GlobalUseLog, &o.ExclHidden, &o.SaveScripts,
                          &o.TranslateFilenames, &o.MaximizeOnRun, &o.DebugMode, &o.UseWinMessage, &o.CM_UseEx})
        *f = 0;
    o.StartUpSchedule = 1;
    o.StartUpActive = 1;
    o.UseExternalMessage = 1;
    o.CM_OnTop = 1;
    o.BurstSize = 7;
    for (OptionLong* l : {&o.SkipIfDaysPassed, &o.HistoryExpires, &o.RepeatAlarmInterval, &o.SnoozeInterval,
                          &o.MaxAlarmTime, &o.MaxLogSize})
        *l = 0;
    o.GlobalDelay = 25;
    o.MaxClipboardEntries = 50;
    o.SysPwd = "";
    o.UserID = "";
    o.UserName = "";
    o.GlobalDateFormat = "d3";
    o.Email_Sender = "";
    o.Email_SenderName = "";
    o.Email_Host = "";
    o.Email_Organization = "";
    o.News_Sender = "";
    o.News_SenderName = "";
    o.News_Host = "";
    o.News_Organization = "";
    o.CM_Mode = "Normal";
    o.ININame = "kr98.INI";
}

std::string GetSetting(std::string_view name, std::string_view defaultValue, std::string_view iniFile) {
    std::unique_lock<std::mutex> l(g_storeMutex);
    data::Table& t = ConfigTable();
    int err = FetchSetting(t, name);
    Configuration& rec = t.Rec<Configuration>();
    if (err == kNoError) return rec.DataValue.str();
    if (err == kRecordNotFound) {
        t.Clear();
        // Without an INI file there is nothing to read: the default is the answer.
        std::string value = iniFile.empty() ? std::string(defaultValue)
                                            : GetIniValue(iniFile, kSettingsSection, name, defaultValue);
        rec.DataValue = value;
        if (!rec.DataValue.empty()) {
            rec.DataType = name;
            t.Add();  // a failed seed is asked for again next time
        }
        return rec.DataValue.str();
    }
    std::string text = data::LastErrorText();
    // The box runs an event loop: a timer or another window asking for a
    // setting meanwhile must not find the store locked.
    l.unlock();
    if (FailureAlreadyTold()) return {};
    Message("Error retrieving configuration information code " + PaddedName(name) + " - " + text, "Error!",
            MessageIcon::Exclamation);
    return {};
}

bool PutSetting(std::string_view name, std::string_view value, std::string_view iniFile) {
    (void)iniFile;  // settings are never written to an INI file
    const int result = StoreSetting(name, value);
    if (result == kNoError) return true;
    const std::string text = data::LastErrorWithDriverWords(result);
    if (FailureAlreadyTold()) return false;
    Message("Error writing configuration information.  Code " + PaddedName(name) + " - " + text, "Error!",
            MessageIcon::Exclamation);
    return false;
}

int StoreSetting(std::string_view name, std::string_view value, bool* wrote) {
    if (wrote) *wrote = false;
    std::unique_lock<std::mutex> l(g_storeMutex);
    data::Table& t = ConfigTable();
    int err = FetchSetting(t, name);
    Configuration& rec = t.Rec<Configuration>();
    int result;
    if (err == kRecordNotFound) {
        t.Clear();
        rec.DataType = name;
        rec.DataValue = value;
        result = t.Add();
    } else if (err == kNoError) {
        // A value already stored is not written again: programs store their
        // name and version at every start, and a write there would wait for
        // the start-up check of the data file.
        if (rec.DataValue == value) return kNoError;
        rec.DataValue = value;
        result = t.Put();
    } else {
        // The record was never read: the buffer holds whatever was current,
        // and a PUT would write this value over another setting.
        result = err;
    }
    if (wrote) *wrote = result == kNoError;
    return result;
}

void ReportSettingsNotStored(int code, bool someStored) {
    const std::string text = data::LastErrorWithDriverWords(code);
    if (FailureAlreadyTold()) return;
    Message("Error writing configuration information.  Code " + std::to_string(code) + " - " + text +
                (someStored ? "\r\n\r\nSome of the changes were not saved. They stay in effect until the program ends."
                            : "\r\n\r\nNone of the changes was saved. They stay in effect until the program ends."),
            "Error!", MessageIcon::Exclamation);
}

void GetNetworkUserName() {
    UserNameSource source;
    {
        std::lock_guard<std::mutex> l(g_hooksMutex);
        source = g_userNameSource;
    }
    std::optional<std::string> name = source ? source() : PasswdLoginName();
    if (name) Options().UserID = *name;
}

void SetNetworkUserNameSource(UserNameSource source) {
    std::lock_guard<std::mutex> l(g_hooksMutex);
    g_userNameSource = std::move(source);
}

int AddSettingsLoadedHook(std::function<void()> hook) { return AddHook(g_loadedHooks, std::move(hook)); }

void RemoveSettingsLoadedHook(int id) { RemoveHook(g_loadedHooks, id); }

int AddOptionsAppliedHook(std::function<void()> hook) { return AddHook(g_appliedHooks, std::move(hook)); }

void RemoveOptionsAppliedHook(int id) { RemoveHook(g_appliedHooks, id); }

void ApplyOptions() { RunHooks(g_appliedHooks); }

void LoadSettings() {
    OptionGlobals& o = Options();
    const std::string ini = o.ININame.get();
    // "program": the program INI is the seed; "none": no INI file.
    auto program = [&](const char* name, std::string_view def = {}) { return GetSetting(name, def, ini); };
    auto none = [&](const char* name, std::string_view def = {}) { return GetSetting(name, def); };

    o.SysLock = ToByte(none("SysLock", "0"));
    o.SysPwd = none("SysPwd");
    o.LogExitCodes = ToByte(none("LogExitCodes", "0"));
    o.SkipIfDaysPassed = ToLong(program("SkipIfDaysPassed"));
    o.HistoryExpires = ToLong(program("HistoryExpires"));
    o.RemoveUncompleted = ToByte(program("RemoveUncompleted"));
    o.StartUpSchedule = Inverted(program("StartUpSchedule"));
    o.StartUpTodo = ToByte(program("StartUpToDo"));
    o.StartupClipboardSaver = ToByte(program("StartUpClipboardSaver"));
    o.StartupContacts = ToByte(program("StartUpContacts"));
    o.StartUpActive = Inverted(program("StartUpActive"));
    if (CommandLineHas("/I")) o.StartUpActive = 0;
    o.NewProc16 = ToByte(program("NewProc16"));
    o.GlobalActiveOnly = ToByte(program("ActiveOnly"));
    o.MinimizeOnCloseRequest = ToByte(program("MinimizeOnCloseRequest"));
    o.StartUpMinimized = ToByte(program("StartUpMinimized"));
    o.FullSchedule = ToByte(program("FullSchedule"));
    o.HideToolbar = ToByte(program("HideToolbar"));
    o.NoTray = ToByte(program("NoTray"));
    o.ReportIncludeFutureOccurances = ToByte(program("RIFO"));
    o.MultiUser = ToByte(program("MultiUser"));
    o.MonitorClipboard = ToByte(program("MonitorClipboard", ""));
    o.UseExternalMessage = ToByte(program("UseKRMsg", "1"));
    o.UseModalMessage = ToByte(program("UseModalMessage", ""));
    o.RepeatAlarmInterval = ToLong(program("RepeatAlarmInterval"));
    o.SnoozeInterval = ToLong(program("SnoozeInterval"));
    o.MaxAlarmTime = ToLong(program("MaxAlarmTime"));
    o.GlobalUseLog = ToByte(program("LogEvents", ""));
    o.ExclHidden = ToByte(program("ExclHidden", ""));
    o.SaveScripts = ToByte(program("SaveScripts"));
    o.TranslateFilenames = ToByte(program("TranslateFilenames"));
    o.UserID = program("UserID");
    o.UserName = "";
    if (o.MultiUser) {
        if (o.UserID.empty()) GetNetworkUserName();
        o.UserName = o.UserID.get();
    }
    o.MaximizeOnRun = ToByte(program("MaximizeOnRun"));
    o.DebugMode = ToByte(GetIniValue(ini, "Debug", "Debug", ""));
    o.GlobalDelay = std::max<int32_t>(ToLong(program("ScriptingDelay")), 25);
    uint8_t burst = ToByte(program("BurstSize"));
    o.BurstSize = burst == 0 ? 7 : burst;
    o.GlobalDateFormat = none("DateFormat", "d3");
    o.UseWinMessage = ToByte(program("UseWinMessage"));
    o.Email_Sender = program("Sender");
    o.Email_SenderName = program("SenderName");
    o.Email_Host = program("Host");
    o.Email_Organization = program("Org");
    o.News_Sender = program("NSender");
    o.News_SenderName = program("NSenderName");
    o.News_Host = program("NHost");
    o.News_Organization = program("NOrg");
    o.CM_Mode = none("CM:Mode", "Normal");
    o.CM_OnTop = ToByte(none("CM:OnTop", "1"));
    o.CM_UseEx = ToByte(none("CM:UseEx", "0"));
    o.MaxLogSize = ToLong(none("MaxLogSize", "0"));
    // The Options window stores it; a value never read back would fall to 50
    // at every start.
    o.MaxClipboardEntries = std::clamp<int32_t>(ToLong(program("MaxClipboardEntries", "50")), 0, 999999);

    RunHooks(g_loadedHooks);
    ApplyOptions();
}

int32_t SettingNumber(const std::string& text) { return ToLong(text); }

void SetProgramArguments(std::vector<std::string> arguments) {
    std::lock_guard<std::mutex> l(g_argsMutex);
    g_arguments = std::move(arguments);
}

std::vector<std::string> ProgramArguments() {
    std::lock_guard<std::mutex> l(g_argsMutex);
    return g_arguments;
}

bool CommandLineHas(std::string_view flag) {
    std::lock_guard<std::mutex> l(g_argsMutex);
    return std::any_of(g_arguments.begin(), g_arguments.end(),
                       [&](const std::string& a) { return EqualNoCase(Trim(a), flag); });
}

}  // namespace kr
