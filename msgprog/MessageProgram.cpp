#include "msgprog/MessageProgram.h"

#include <cctype>
#include <cstdlib>

#include "dictionary/Dictionary.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Strings.h"
#include "scheduler/DateValues.h"
#include "scheduler/Reschedule.h"
#include "scheduler/TableScheduleStore.h"

namespace kr::msgprog {
namespace {

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// The leading number of a value, as the runtime reads a text as a number.
int32_t Number(const std::string& v) { return static_cast<int32_t>(std::strtol(Trim(v).c_str(), nullptr, 10)); }

std::string FailureText() {
    std::string t = data::LastFileErrorText();
    return t.empty() ? data::LastErrorText() : t;
}

}  // namespace

MessageSettings& Settings() {
    static MessageSettings s;
    return s;
}

PreservedFont& CurrentFont() {
    static PreservedFont f;
    return f;
}

void LoadPreservedFont(const IniFile& ini) {
    PreservedFont& f = CurrentFont();
    f.Font = ini.Fetch(kPreservedSection, "CurrentFont:Font");
    f.Style = Number(ini.Fetch(kPreservedSection, "CurrentFont:Style"));
    f.Color = Number(ini.Fetch(kPreservedSection, "CurrentFont:Color"));
    f.Point = Number(ini.Fetch(kPreservedSection, "CurrentFont:Point"));
}

void SavePreservedFont(const IniFile& ini) {
    const PreservedFont& f = CurrentFont();
    IniFile::Batch batch(ini);
    ini.Update(kPreservedSection, "CurrentFont:Font", f.Font.str());
    ini.Update(kPreservedSection, "CurrentFont:Style", std::to_string(f.Style));
    ini.Update(kPreservedSection, "CurrentFont:Color", std::to_string(f.Color));
    ini.Update(kPreservedSection, "CurrentFont:Point", std::to_string(f.Point));
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine c;
    for (const std::string& a : arguments) {
        if (a.size() < 3 || Upper(a.substr(0, 3)) != "ID=") continue;
        const std::string v = Trim(a.substr(3));
        bool digits = !v.empty() && v.size() <= 9;
        for (char ch : v) digits = digits && std::isdigit(static_cast<unsigned char>(ch));
        if (!digits) {
            c.ok = false;
            c.error = "ID must be a whole number from 0 up: \"" + a + "\"";
            return c;
        }
        c.id = static_cast<int32_t>(std::strtol(v.c_str(), nullptr, 10));
    }
    return c;
}

int TakeMessage(int32_t id, MsgLink& out, int* deleteError) {
    out = MsgLink();
    if (deleteError) *deleteError = kNoError;
    data::Table& t = data::TableOf(MsgLinkDef());
    const int opened = t.Open(data::kModeShared);
    if (opened != kNoError && opened != kFileAlreadyOpen) return opened;
    const bool wasOpen = opened == kFileAlreadyOpen;
    const data::KeyDef* key = MsgLinkDef().key("ML:K_ID");
    MsgLink& ML = t.Rec<MsgLink>();
    ML = MsgLink();
    ML.ID = id;
    int e;
    if (id != 0) {
        e = t.SetFrom(key);
        if (e == kNoError) e = t.Next();
    } else {
        e = t.Set(key);
        if (e == kNoError) e = t.Previous();
    }
    if (e == kNoError) {
        out = ML;
        const int d = t.Delete();
        if (deleteError) *deleteError = d;
    }
    ML = MsgLink();
    if (!wasOpen) t.Close();
    return e;
}

std::string LookupSetting(const std::string& name) {
    data::Table& t = data::TableOf(ConfigurationDef());
    const data::KeyDef* key = ConfigurationDef().key("CF:KeyDataType");
    Configuration& CF = t.Rec<Configuration>();
    CF = Configuration();
    CF.DataType = name;
    int e = t.Get(key);
    if (e == kFileNotOpen) {
        if (t.Open(data::kModeShared) != kNoError) return {};
        CF = Configuration();
        CF.DataType = name;
        e = t.Get(key);
    }
    return e == kNoError ? CF.DataValue.str() : std::string();
}

void LoadMessageSettings() {
    MessageSettings& s = Settings();
    s.UseModalMessage = Number(LookupSetting("UseModalMessage")) != 0;
    s.RepeatAlarmInterval = Number(LookupSetting("RepeatAlarmInterval"));
    s.SnoozeInterval = Number(LookupSetting("SnoozeInterval"));
    s.MaxAlarmTime = Number(LookupSetting("MaxAlarmTime"));
    s.LogEvents = Number(LookupSetting("LogEvents")) != 0;
    s.UseExternalMessage = Number(LookupSetting("UseExternalMessage")) != 0;
    s.DateFormat = LookupSetting("DateFormat");
    s.UseWinMessage = Number(LookupSetting("UseWinMessage")) != 0;
    s.Sender = LookupSetting("Sender");
    s.SenderName = LookupSetting("SenderName");
    s.Host = LookupSetting("Host");
    s.Org = LookupSetting("Org");
    s.NSender = LookupSetting("NSender");
    s.NSenderName = LookupSetting("NSenderName");
    s.NHost = LookupSetting("NHost");
    s.NOrg = LookupSetting("NOrg");
}

bool Later(int32_t d1, int32_t t1, int32_t d2, int32_t t2) { return d1 != d2 ? d1 > d2 : t1 > t2; }

void Normalize(int32_t& date, int32_t& time) { NormalizeDateTime(date, time); }

void AlarmState::Start(const std::string& alarmFile, int32_t intervalSeconds, int32_t maxMinutes, int32_t today,
                       int32_t now) {
    *this = AlarmState();
    interval = intervalSeconds;
    if (intervalSeconds <= 0 || ClipRight(alarmFile).empty()) return;
    sound = ClipRight(alarmFile);
    nextDate = today;
    nextTime = now + intervalSeconds * 100;
    Normalize(nextDate, nextTime);
    if (maxMinutes > 0) {
        endDate = today;
        endTime = now + maxMinutes * 6000;
        Normalize(endDate, endTime);
    }
}

bool AlarmState::Tick(int32_t today, int32_t now) {
    if (interval <= 0 || nextDate <= 0) return false;
    if (!Later(today, now, nextDate, nextTime)) return false;
    if (endDate > 0 && Later(today, now, endDate, endTime)) {
        nextDate = nextTime = 0;
        return false;
    }
    nextDate = today;
    nextTime = now + interval * 100;
    Normalize(nextDate, nextTime);
    return !sound.empty();
}

Schedule SnoozeTask(const MsgLink& ML, int32_t minutes, int32_t today, int32_t now) {
    Schedule SCH;
    SCH.Message = ML.Message.str();
    SCH.TaskType = "Display Message";
    SCH.Category = "Snooze";
    SCH.Description = ML.Title.str();
    SCH.ScheduleType = "Once";
    SCH.Date = today;
    SCH.Time = now + (minutes > 0 ? minutes * 6000 : kDefaultSnoozeTime);
    Normalize(SCH.Date, SCH.Time);
    SCH.SkipIfMissed = 1;
    SCH.AlarmFile = ML.AlarmFile.str();
    SCH.Alarm = ML.AlarmFile.str().empty() ? 0 : 1;
    return SCH;
}

int SnoozeMessage(const MsgLink& ML, int32_t minutes, std::string* error) {
    TableScheduleStore store;
    if (store.openError() != kNoError) {
        if (error) *error = FailureText();
        return store.openError();
    }
    Schedule SCH = SnoozeTask(ML, minutes, Today(), ClockTime());
    const int e = AddScheduleCopy(store, SCH);
    if (e != kNoError && error) *error = FailureText();
    return e;
}

int AddMessageToToDo(const MsgLink& ML, std::string* error) {
    data::Table& t = data::TableOf(TodoDef());
    int opened = t.Open(data::kModeShared);
    // A data file without a to-do list yet gets one, as the to-do list would.
    if (opened == kFileNotFound && t.Create() == kNoError) opened = t.Open(data::kModeShared);
    const bool wasOpen = opened == kFileAlreadyOpen;
    if (opened != kNoError && !wasOpen) {
        if (error) *error = FailureText();
        return opened;
    }
    Todo& TDO = t.Rec<Todo>();
    const Todo kept = TDO;
    TDO = Todo();
    TDO.Category = "General";
    TDO.Notes = ML.Message.str();
    TDO.ToDo = ML.Title.str();
    TDO.Priority = 5;
    TDO.Done = 0;
    const int e = t.Add();
    if (e != kNoError && error) *error = FailureText();
    TDO = kept;
    if (!wasOpen) t.Close();
    return e;
}

std::string WindowTitle(const std::string& title) {
    const std::string t = ClipRight(title);
    if (t.empty()) return "Message";
    if (title.compare(0, 17, "Advanced Warning:") == 0) return t;
    return "Message:  " + t;
}

}  // namespace kr::msgprog
