#include "dictionary/OptionsStore.h"

#include <algorithm>

#include "dictionary/Settings.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Strings.h"

namespace kr {

const std::array<DateFormatEntry, 10> kDateFormatList = {{
    {"Windows Default", "d17"},
    {"October 31, 1959", "d4"},
    {"OCT 31,1959", "d3"},
    {"10/31/59", "d1"},
    {"10/31/1959", "d2"},
    {"31 OCT 59", "d7"},
    {"31 OCT 1959", "d8"},
    {"31/10/59", "d5"},
    {"31/10/1959", "d6"},
    {"Windows Default 2", "d18"},
}};

namespace {

// Codes a setting may hold that the list does not offer, with their examples.
constexpr DateFormatEntry kOtherDateFormats[] = {
    {"10/59", "d13"}, {"10/1959", "d14"}, {"59/10", "d15"}, {"1959/10", "d16"}, {"Year Only", "n4b"},
};

std::string Num(int64_t v) { return std::to_string(v); }
std::string Flag(uint8_t v) { return std::to_string(static_cast<int>(v)); }

}  // namespace

std::string DateFormatName(std::string_view code) {
    const std::string c = Lower(Trim(code));
    for (const DateFormatEntry& e : kDateFormatList)
        if (c == e.code) return e.name;
    for (const DateFormatEntry& e : kOtherDateFormats)
        if (c == e.code) return e.name;
    return {};
}

std::string DateFormatCode(std::string_view name) {
    const std::string n = Trim(name);
    for (const DateFormatEntry& e : kDateFormatList)
        if (n == e.name) return e.code;
    for (const DateFormatEntry& e : kOtherDateFormats)
        if (n == e.name) return e.code;
    return {};
}

bool LockPasswordsAgree(bool locked, const OptionsEdits& e) {
    return !locked || ClipRight(e.password) == ClipRight(e.confirm);
}

std::vector<StoredSetting> OptionsToStore(const OptionsEdits& e, std::string_view storedStartUpActive) {
    OptionGlobals& o = Options();
    std::vector<StoredSetting> s;
    auto put = [&s](const char* name, std::string value) { s.emplace_back(name, std::move(value)); };

    put("SysLock", Flag(o.SysLock));
    put("SysPwd", o.SysPwd.get());
    put("NewProc16", Flag(o.NewProc16));
    put("LogExitCodes", Flag(o.LogExitCodes));
    put("SkipIfDaysPassed", Num(o.SkipIfDaysPassed));
    put("HistoryExpires", Num(o.HistoryExpires));
    put("RemoveUncompleted", Flag(o.RemoveUncompleted));
    put("StartUpSchedule", Flag(o.StartUpSchedule ? 0 : 1));
    put("StartUpToDo", Flag(o.StartUpTodo));
    put("StartUpClipboardSaver", Flag(o.StartupClipboardSaver));
    put("StartUpContacts", Flag(o.StartupContacts));
    // "/I" clears the global for this run only; what is stored stays unless
    // the user changed the box.
    if (CommandLineHas("/I") && !e.schedulerActiveChanged) {
        if (!Trim(storedStartUpActive).empty()) put("StartUpActive", Trim(storedStartUpActive));
    } else {
        put("StartUpActive", Flag(o.StartUpActive ? 0 : 1));
    }
    put("StartUpMinimized", Flag(o.StartUpMinimized));
    put("MinimizeOnCloseRequest", Flag(o.MinimizeOnCloseRequest));
    put("FullSchedule", Flag(o.FullSchedule));
    put("HideToolbar", Flag(o.HideToolbar));
    put("RIFO", Flag(o.ReportIncludeFutureOccurances));
    put("NoTray", Flag(o.NoTray));
    put("SaveScripts", Flag(o.SaveScripts));
    put("TranslateFilenames", Flag(o.TranslateFilenames));
    put("MaximizeOnRun", Flag(o.MaximizeOnRun));
    put("UseExternalMessage", Flag(o.UseExternalMessage));
    put("UseKRMsg", Flag(o.UseExternalMessage));
    put("MultiUser", Flag(o.MultiUser));
    put("UserID", o.UserID.get());
    put("LogEvents", Flag(o.GlobalUseLog));
    put("MonitorClipboard", Flag(o.MonitorClipboard));
    put("UseModalMessage", Flag(o.UseModalMessage));
    put("MaxClipboardEntries", Num(o.MaxClipboardEntries));
    put("ActiveOnly", Flag(o.GlobalActiveOnly));
    put("ExclHidden", Flag(o.ExclHidden));
    put("Sender", o.Email_Sender.get());
    put("SenderName", o.Email_SenderName.get());
    put("Host", o.Email_Host.get());
    put("Org", o.Email_Organization.get());
    put("NSender", o.News_Sender.get());
    put("NSenderName", o.News_SenderName.get());
    put("NHost", o.News_Host.get());
    put("NOrg", o.News_Organization.get());

    int32_t repeat = o.RepeatAlarmInterval;
    if (repeat >= 1 && repeat <= 4) repeat = 5;
    put("RepeatAlarmInterval", Num(repeat));
    put("MaxAlarmTime", Num(o.MaxAlarmTime));
    put("SnoozeInterval", Num(o.SnoozeInterval));
    put("ScriptingDelay", Num(e.scriptingDelay));
    put("BurstSize", Num(e.burstSize));

    std::string code = DateFormatCode(e.dateEntry);
    if (code.empty()) code = o.GlobalDateFormat.get();
    put("DateFormat", code);
    put("CM:Mode", o.CM_Mode.get());
    put("CM:OnTop", Flag(o.CM_OnTop));
    put("CM:UseEx", Flag(o.CM_UseEx));
    put("MaxLogSize", Num(o.MaxLogSize));
    return s;
}

OptionsSaveResult SaveOptions(const OptionsEdits& e) {
    OptionGlobals& o = Options();
    const std::string ini = o.ININame.get();
    if (o.SysLock) o.SysPwd = ClipRight(e.password);
    o.RepeatAlarmInterval = (o.RepeatAlarmInterval >= 1 && o.RepeatAlarmInterval <= 4) ? 5 : o.RepeatAlarmInterval.load();

    // Reading the stored value also opens Configuration when nobody has.
    const std::string stored = GetSetting("StartUpActive", "", ini);
    const std::vector<StoredSetting> settings = OptionsToStore(e, stored);

    // One save: every value is stored, or none is and the user is told once
    // why, whatever the cause (another program holding the data file past
    // the busy timeout, a full disk, a file replaced). The first write that
    // fails ends the save; the batch is rolled back. The globals keep the
    // new values for the rest of the run, as after any failed write.
    data::Table& t = data::TableOf(ConfigurationDef());
    const bool batch = !data::InTransaction() && t.IsOpen();
    int err = batch ? data::Logout({&t}) : kNoError;
    bool someStored = false;
    if (err == kNoError) {
        for (const StoredSetting& s : settings) {
            bool wrote = false;
            if ((err = StoreSetting(s.first, s.second, &wrote)) != kNoError) break;
            someStored = someStored || wrote;
        }
        if (batch) {
            if (err == kNoError) {
                err = data::Commit();
            } else {
                // The failed write's error is the one to tell.
                const int code = data::LastErrorCode();
                const std::string fileCode = data::LastFileErrorCode(), fileText = data::LastFileErrorText();
                data::Rollback();
                data::SetLastError(code, fileCode, fileText);
            }
            someStored = false;  // a batch stores all or nothing
        }
    }
    const bool saved = err == kNoError;
    // Outside a batch (the caller's transaction, a table that cannot be
    // opened) the writes before the failed one stay.
    if (!saved) ReportSettingsNotStored(err, someStored);

    // The script timing as stored, read back; unstored, as entered.
    const auto number = [&](const char* name, int32_t entered) {
        return saved ? SettingNumber(GetSetting(name, "", ini)) : entered;
    };
    o.GlobalDelay = std::max<int32_t>(number("ScriptingDelay", e.scriptingDelay), 25);
    const int32_t burst = std::clamp<int32_t>(number("BurstSize", e.burstSize), 0, 255);
    o.BurstSize = static_cast<uint8_t>(burst == 0 ? 7 : burst);

    OptionsSaveResult r;
    r.dateFormatChanged = Trim(e.dateEntry) != Trim(e.dateEntryOnOpening);
    const std::string code = DateFormatCode(e.dateEntry);
    if (!code.empty()) o.GlobalDateFormat = code;
    ApplyOptions();
    return r;
}

}  // namespace kr
