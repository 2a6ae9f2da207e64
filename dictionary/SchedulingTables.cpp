#include "dictionary/SchedulingTables.h"

#include <string>

namespace kr {

using data::Driver;
using data::TableBuilder;
using data::kAutoNumber;
using data::kAutoWithinFirst;
using data::kDuplicates;
using data::kPrimary;
using data::kUnique;

namespace {

// A field of R named prefix + ":" + member. The member may be inherited (the
// work table and the synchronisation copies share a layout with their
// originals), so the member's type is given explicitly.
#define KR_FIELD(member) template field<decltype(R::member)>(p + ":" #member, &R::member)

// The 66 entries of Schedule, shared by ScheduleWorkfile and (with BiMonthly)
// SyncSchedule.
template <class R>
void ScheduleFields(TableBuilder<R>& b, const std::string& p) {
    b.KR_FIELD(User).KR_FIELD(ID).KR_FIELD(TaskType).KR_FIELD(Category).KR_FIELD(Description)
        .KR_FIELD(Command).KR_FIELD(Path).KR_FIELD(ScheduleType);
    b.group(p + ":DayOfWeekGroup")
        .KR_FIELD(Sunday).KR_FIELD(Monday).KR_FIELD(Tuesday).KR_FIELD(Wednesday)
        .KR_FIELD(Thursday).KR_FIELD(Friday).KR_FIELD(Saturday)
        .endGroup();
    b.KR_FIELD(MonthRepeat).KR_FIELD(Offset).KR_FIELD(Every);
    b.group(p + ":EveryOrdinal")
        .KR_FIELD(Every1st).KR_FIELD(Every2nd).KR_FIELD(Every3rd).KR_FIELD(Every4th)
        .KR_FIELD(EveryLast).KR_FIELD(LastDayofMonth);
    if constexpr (requires(R r) { r.BiMonthly; }) b.KR_FIELD(BiMonthly);
    b.endGroup();
    b.KR_FIELD(EveryType);
    b.group(p + ":ScheduleDateAndTime")
        .KR_FIELD(Date).KR_FIELD(Time).KR_FIELD(LastRunDate).KR_FIELD(LastRunTime).KR_FIELD(SkipNextTime)
        .endGroup();
    b.group(p + ":AlarmGroup").KR_FIELD(Alarm).KR_FIELD(AlarmFile).endGroup();
    b.group(p + ":AdvancedWarning")
        .KR_FIELD(AdvanceWarnDate).KR_FIELD(AdvanceWarnTime).KR_FIELD(AdvanceWarned)
        .endGroup();
    b.KR_FIELD(Warn).KR_FIELD(SkipIfMissed).KR_FIELD(SkipIfScriptActive).KR_FIELD(NoHistory)
        .KR_FIELD(UserSkip).KR_FIELD(Disabled).KR_FIELD(Completed).KR_FIELD(Skipped);
    b.group(p + ":Expiry").KR_FIELD(ExpiryDate).KR_FIELD(ExpiryTime).endGroup();
    b.group(p + ":Exceptions")
        .KR_FIELD(ShiftType).KR_FIELD(ExceptWeekends).KR_FIELD(ExceptWeekdays).KR_FIELD(ExceptHolidays)
        .KR_FIELD(ExceptTime).KR_FIELD(ExceptTimeBegin).KR_FIELD(ExceptTimeEnd).KR_FIELD(ExceptOther)
        .KR_FIELD(ExceptionLink)
        .endGroup();
    b.group(p + ":Synchonization")
        .KR_FIELD(NetworkUser).KR_FIELD(LastChangeDate).KR_FIELD(LastChangeTime).KR_FIELD(OriginalID)
        .endGroup();
}

// The keys of Schedule in order; `count` of them (the work table has 13) and
// the descriptions given (the copies keep some key names as descriptions).
template <class R>
void ScheduleKeys(TableBuilder<R>& b, const std::string& p, int count, const std::string (&d)[14]) {
    struct K {
        const char* name;
        std::vector<std::string> parts;
        unsigned flags;
    };
    const K keys[14] = {
        {"KeyID", {"ID"}, kPrimary | kUnique | kAutoNumber},
        {"KeyUser", {"User", "ID"}, kDuplicates},
        {"KeyDate", {"Date", "Time"}, kDuplicates},
        {"KeyUserDate", {"User", "Date", "Time"}, kDuplicates},
        {"KeyCategory", {"Category", "Description"}, kDuplicates},
        {"KeyCategoryDate", {"Category", "Date", "Time"}, kDuplicates},
        {"KeyTaskName", {"Description", "Category"}, kDuplicates},
        {"KeyTaskType", {"TaskType", "Description"}, kDuplicates},
        {"KeyTaskDate", {"TaskType", "Date", "Time"}, kDuplicates},
        {"KeyDateEnabled", {"Disabled", "Date", "Time"}, kDuplicates},
        {"KeyAdvanced", {"AdvanceWarned", "AdvanceWarnDate", "AdvanceWarnTime"}, kDuplicates},
        {"KeyUserAdvanced", {"User", "AdvanceWarnDate", "AdvanceWarnTime"}, kDuplicates},
        {"KeyExpiryDate", {"ExpiryDate", "ExpiryTime"}, kDuplicates},
        {"KeyOriginalID", {"OriginalID"}, kDuplicates},
    };
    for (int i = 0; i < count; ++i) {
        std::vector<std::string> parts;
        for (const std::string& c : keys[i].parts) parts.push_back(p + ":" + c);
        b.key(p + ":" + keys[i].name, d[i], parts, keys[i].flags);
    }
}

// The 24 fields shared by Scripting, SyncScripting and ScriptTemplateDetails;
// the first field is ID or Wiz_ID.
template <class R>
void ScriptFields(TableBuilder<R>& b, const std::string& p) {
    if constexpr (requires(R r) { r.Wiz_ID; }) b.KR_FIELD(Wiz_ID);
    else b.KR_FIELD(ID);
    b.KR_FIELD(Sequence).KR_FIELD(Action).KR_FIELD(Keystrokes).KR_FIELD(SecondsToWait)
        .KR_FIELD(WaitForWindow).KR_FIELD(FocusOnWindow).KR_FIELD(WindowExistance)
        .KR_FIELD(WindowTitleToCheckFor).KR_FIELD(IfTimeElapsed).KR_FIELD(TimeElapsed)
        .KR_FIELD(NextTaskID).KR_FIELD(NetworkUser).KR_FIELD(LastChangeDate).KR_FIELD(LastChangeTime)
        .KR_FIELD(OriginalID).KR_FIELD(EmailID).KR_FIELD(Command).KR_FIELD(Path).KR_FIELD(DDEType)
        .KR_FIELD(DDEApplicationName).KR_FIELD(DDEApplicationTopic).KR_FIELD(DDELinkItem)
        .KR_FIELD(DDECommand);
}

data::TableDef BuildSchedule() {
    using R = Schedule;
    const std::string p = "SCH";
    TableBuilder<R> b("Schedule", p);
    b.storedAs(kScheduleFileName, 255).owner(kOwnerPassword).version(11).errorName("Schedule [Schedule]");
    ScheduleFields(b, p);
    const std::string d[14] = {"By System ID", "User", "Date", "By Date for Specific User", "Category",
                               "Category/Date", "Description", "Task Type", "Task Type/Date",
                               "Only used to determine if task is waitin", "Advanced Warning Date Order",
                               "By Advance Notice Within User", "Expiry Date", "Original ID"};
    ScheduleKeys(b, p, 14, d);
    b.memo("SCH:Message", &R::Message, 4096);
    data::TableDef def = b.build();
    // The advance warning's mark is set by the daily jobs, not by the user:
    // a task form open across it still stores its edit, and keeps the mark.
    for (data::FieldDef& f : def.fields)
        if (f.name == "SCH:AdvanceWarned") f.mark = true;
    return def;
}

data::TableDef BuildScheduleWorkfile() {
    using R = ScheduleWorkfile;
    const std::string p = "SCW";
    TableBuilder<R> b("ScheduleWorkfile", p);
    b.storedAs("", 20).owner(kOwnerPassword).version(3).errorName("Schedule Workfile [ScheduleWorkfile]");
    ScheduleFields(b, p);
    const std::string d[14] = {"By System ID", "SCW:KeyUser", "Date", "By Date for Specific User", "Category",
                               "Category/Date", "Description", "Task Type", "Task Type/Date",
                               "Only used to determine if task is waitin", "SCW:KeyAdvanced",
                               "By Advance Notice Within User", "Expiry Date", ""};
    ScheduleKeys(b, p, 13, d);
    b.memo("SCW:Message", &R::Message, 1000);
    return b.build();
}

data::TableDef BuildSyncSchedule() {
    using R = SyncSchedule;
    const std::string p = "SSch";
    TableBuilder<R> b("SyncSchedule", p);
    b.storedAs("SyncSch.syn", 255)
        .owner(kOwnerPassword)
        .version(7)
        .errorName("Synchronization File - Schedule [SyncSchedule]");
    ScheduleFields(b, p);
    const std::string d[14] = {"By System ID", "SSch:KeyUser", "Date", "By Date for Specific User", "Category",
                               "Category/Date", "Description", "Task Type", "Task Type/Date",
                               "Only used to determine if task is waitin", "SSch:KeyAdvanced",
                               "By Advance Notice Within User", "Expiry Date", "SSch:KeyOriginalID"};
    ScheduleKeys(b, p, 14, d);
    b.memo("SSch:Message", &R::Message, 4096);
    return b.build();
}

data::TableDef BuildScripting() {
    using R = Scripting;
    const std::string p = "SCR";
    TableBuilder<R> b("Scripting", p);
    b.storedAs("KR97\\!Script").owner(kOwnerPassword).version(8).errorName("Scripting [Scripting]");
    ScriptFields(b, p);
    b.key("SCR:KeyID", "Sequence", {"SCR:ID", "SCR:Sequence"}, kPrimary | kUnique | kAutoWithinFirst);
    b.key("SCR:KeyEmail", "Email", {"SCR:EmailID"}, kDuplicates);
    return b.build();
}

data::TableDef BuildSyncScripting() {
    using R = SyncScripting;
    const std::string p = "SScr";
    TableBuilder<R> b("SyncScripting", p);
    b.storedAs("SyncScr.syn", 255)
        .owner(kOwnerPassword)
        .version(5)
        .errorName("Script Synchonization File [SyncScripting]");
    ScriptFields(b, p);
    b.key("SScr:KeyID", "Sequence", {"SScr:ID", "SScr:Sequence"}, kPrimary | kUnique | kAutoWithinFirst);
    return b.build();
}

data::TableDef BuildScriptTemplates() {
    using R = ScriptTemplates;
    const std::string p = "KRT";
    TableBuilder<R> b("ScriptTemplates", p);
    b.storedAs("KRTpl\\!ScriptTemplates")
        .owner(kOwnerPassword)
        .version(2)
        .errorName("Script Templates [ScriptTemplates]");
    b.KR_FIELD(Wiz_ID).KR_FIELD(Description).KR_FIELD(DOSFilename);
    b.key("KRT:K_Wiz_ID", "Script Wizard ID", {"KRT:Wiz_ID"}, kPrimary | kUnique | kAutoNumber);
    b.key("KRT:K_Description", "Description", {"KRT:Description"}, kUnique);
    b.key("KRT:K_DOSFilename", "Import/Export Filename", {"KRT:DOSFilename"}, kDuplicates);
    return b.build();
}

data::TableDef BuildScriptTemplateDetails() {
    using R = ScriptTemplateDetails;
    const std::string p = "KRD";
    TableBuilder<R> b("ScriptTemplateDetails", p);
    b.storedAs("KRTpl\\!ScriptTemplateDetails")
        .owner(kOwnerPassword)
        .version(3)
        .errorName("Script Template Details [ScriptTemplateDetails]");
    ScriptFields(b, p);
    b.key("KRD:K_Wiz_ID", "Sequence", {"KRD:Wiz_ID", "KRD:Sequence"}, kPrimary | kUnique | kAutoWithinFirst);
    return b.build();
}

data::TableDef BuildMsgLink() {
    using R = MsgLink;
    const std::string p = "ML";
    TableBuilder<R> b("MsgLink", p);
    b.storedAs(kMsgLinkFileName).version(1).errorName("Message Link Database [MsgLink]");
    b.KR_FIELD(ID).KR_FIELD(Title).KR_FIELD(Message).KR_FIELD(AlarmFile);
    b.key("ML:K_ID", "Unique Sys ID", {"ML:ID"}, kPrimary | kUnique | kAutoNumber);
    return b.build();
}

data::TableDef BuildHolidays() {
    using R = Holidays;
    const std::string p = "HOL";
    TableBuilder<R> b("Holidays", p);
    b.storedAs("KR97\\!Hol").owner(kOwnerPassword).version(4).errorName("Holidays [Holidays]");
    b.KR_FIELD(HolidayDate).KR_FIELD(Holiday).KR_FIELD(HolidayType);
    b.key("HOL:KeyHolidayDate", "HOL:KeyHolidayDate", {"HOL:HolidayDate"}, kUnique);
    return b.build();
}

data::TableDef BuildConfiguration() {
    using R = Configuration;
    const std::string p = "CF";
    TableBuilder<R> b("Configuration", p);
    b.storedAs("KR97\\!CF").owner(kOwnerPassword).version(2).errorName("Configuration [Configuration]");
    b.KR_FIELD(DataType).KR_FIELD(DataValue);
    b.key("CF:KeyDataType", "Data Type", {"CF:DataType"}, kPrimary | kUnique);
    return b.build();
}

data::TableDef BuildKR_Log() {
    using R = KR_Log;
    const std::string p = "KRL";
    TableBuilder<R> b("KR_Log", p);
    b.storedAs(kEventLogFileName).driver(Driver::Ascii).errorName("Ascii Log File [KR_Log]");
    b.KR_FIELD(LogDate).KR_FIELD(LogTime).KR_FIELD(LogLabel).KR_FIELD(LogData);
    return b.build();
}

data::TableDef BuildExport() {
    using R = Export;
    const std::string p = "EXP";
    TableBuilder<R> b("Export", p);
    b.storedAs("", 255).driver(Driver::Basic).errorName("Export (ASCII) [Export]");
    b.KR_FIELD(Type).KR_FIELD(Field1).KR_FIELD(Field2).KR_FIELD(Field3).KR_FIELD(Field4).KR_FIELD(Field5)
        .KR_FIELD(Field6);
    return b.build();
}

#undef KR_FIELD

}  // namespace

// Each definition is built once, on first use (thread-safe static init).
const data::TableDef& ScheduleDef() { static const data::TableDef d = BuildSchedule(); return d; }
const data::TableDef& ScheduleWorkfileDef() { static const data::TableDef d = BuildScheduleWorkfile(); return d; }
const data::TableDef& SyncScheduleDef() { static const data::TableDef d = BuildSyncSchedule(); return d; }
const data::TableDef& ScriptingDef() { static const data::TableDef d = BuildScripting(); return d; }
const data::TableDef& SyncScriptingDef() { static const data::TableDef d = BuildSyncScripting(); return d; }
const data::TableDef& ScriptTemplatesDef() { static const data::TableDef d = BuildScriptTemplates(); return d; }
const data::TableDef& ScriptTemplateDetailsDef() {
    static const data::TableDef d = BuildScriptTemplateDetails();
    return d;
}
const data::TableDef& MsgLinkDef() { static const data::TableDef d = BuildMsgLink(); return d; }
const data::TableDef& HolidaysDef() { static const data::TableDef d = BuildHolidays(); return d; }
const data::TableDef& ConfigurationDef() { static const data::TableDef d = BuildConfiguration(); return d; }
const data::TableDef& KR_LogDef() { static const data::TableDef d = BuildKR_Log(); return d; }
const data::TableDef& ExportDef() { static const data::TableDef d = BuildExport(); return d; }

}  // namespace kr
