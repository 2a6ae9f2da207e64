#include "scheduler/DailyJobs.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/OpenTable.h"
#include "dictionary/Settings.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "scheduler/DateValues.h"
#include "scheduler/OpenEditors.h"
#include "scheduler/TableScheduleStore.h"
#include "scheduler/TaskMessage.h"
#include "scheduler/TranslateValues.h"

namespace kr {

namespace {

const char* const kCrLf2 = "\r\n\r\n";

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

int32_t LastDayOfMonth(int month, int year) { return DateDay(MakeDate(month + 1, 0, year)); }

}  // namespace

// --- advance warnings -------------------------------------------------------

bool AdvanceWarningDue(const Schedule& task, int32_t today, int32_t clock) {
    if (task.AdvanceWarnDate == 0) return false;  // no warning asked for
    return today > task.AdvanceWarnDate || (today == task.AdvanceWarnDate && clock > task.AdvanceWarnTime);
}

std::string AdvanceWarningText(const Schedule& task) {
    std::string text = Format(Value(static_cast<int64_t>(task.Date)), "@D3") + " " +
                       Format(Value(static_cast<int64_t>(task.Time)), "@T3") + kCrLf2;
    const std::string& type = task.TaskType.str();
    const std::string command = task.Command.str();
    const std::string both = Trim(task.Message) + kCrLf2 + "Command: " + command;
    if (type == "Display Message")
        text += task.Message;
    else if (type == "Run Program")
        text += "Command:  " + command;
    else if (type == "Both")
        text += both;
    else if (!Trim(command).empty())
        text += both;
    else
        text += Trim(task.Message);
    if (text.size() > static_cast<std::size_t>(kWarningTextSize)) text.resize(kWarningTextSize);
    return text;
}

void ShowAdvanceWarning(const std::string& text, const Schedule& task, bool useKRMsg) {
    const std::string translated = TranslateValues(text);
    const std::string title = kAdvanceWarningTitle + TranslateValues(task.Description.str());
    if (useKRMsg) {
        TaskMessageCopy m;
        m.Title = title;
        m.Message = translated;
        m.AlarmFile = task.Alarm ? task.AlarmFile.str() : std::string();
        if (HandOverMessage(m) == kNoError) return;
    }
    Message(translated, title);
}

// --- history ----------------------------------------------------------------

bool HistoryRemovable(const Schedule& task, int32_t today, int32_t expires, bool removeUncompleted) {
    // 0 keeps the history; a negative count ("remove at once") removes a
    // completed task on the next pass.
    if (expires == 0 || task.Disabled == 0) return false;
    // The placeholder a task form or wizard stores for its new task has no
    // schedule type yet, and no date either: it must outlive its editor.
    if (task.ScheduleType.empty() || TaskHeldByEditor(task.ID)) return false;
    if (static_cast<int64_t>(today) < static_cast<int64_t>(task.Date) + expires) return false;
    return task.Completed != 0 || removeUncompleted;
}

// --- holidays ---------------------------------------------------------------

int32_t NextHolidayDate(int32_t date, const std::string& type) {
    const int d = DateDay(date), m = DateMonth(date), y = DateYear(date);
    if (type == kHolidayOnce) return 0;
    if (type == kHolidayDayOfMonth) {
        // The week of the month the day falls in (days 1-7 the first).
        const int week = (d - 1) / 7;
        int32_t next = MakeDate(m, 7 * week + 1, y + 1);
        while (Weekday(next) != Weekday(date)) ++next;
        return next;
    }
    if (type == kHolidayEaster) {
        const int32_t easter = EasterDate(y), nextEaster = EasterDate(y + 1);
        if (easter == 0 || nextEaster == 0) return 0;
        return nextEaster + (date - easter);
    }
    return MakeDate(m, std::min<int32_t>(d, LastDayOfMonth(m, y + 1)), y + 1);
}

int AddHoliday(int32_t date, const std::string& name, const std::string& type) {
    data::Table& t = data::TableOf(HolidaysDef());
    Holidays& HOL = t.Rec<Holidays>();
    HOL = Holidays();
    HOL.HolidayDate = date;
    HOL.Holiday = name;
    HOL.HolidayType = type;
    return t.Add();
}

void AddDefaultHolidays() {
    data::Table& t = data::TableOf(HolidaysDef());
    if (OpenTable(t) != kNoError) return;
    const int year = DateYear(Today());
    const int32_t easter = EasterDate(year);
    const char* annual = kHolidayTypeAnnual;
    AddHoliday(MakeDate(12, 25, year), "Christmas Day", annual);
    AddHoliday(MakeDate(12, 24, year), "Christmas Eve", annual);
    AddHoliday(MakeDate(1, 1, year + 1), "New Year's Day", annual);
    AddHoliday(MakeDate(12, 31, year), "New Year's Eve", annual);
    AddHoliday(MakeDate(7, 1, 1999), "Canada Day (Canada)", annual);
    AddHoliday(MakeDate(7, 4, 1999), "Independence Day (U.S.)", annual);
    AddHoliday(MakeDate(5, 18, 1998), "Victoria Day (Canada)", kHolidayDayOfMonth);
    AddHoliday(MakeDate(5, 25, 1998), "Memorial Day (U.S.)", kHolidayDayOfMonth);
    AddHoliday(MakeDate(9, 7, 1998), "Labor Day/Labour Day)", kHolidayDayOfMonth);
    // One date, one row: both countries keep 11 November, whatever its weekday.
    AddHoliday(MakeDate(11, 11, 1998), "Veteran's/Remembrance Day", annual);
    AddHoliday(MakeDate(10, 12, 1998), "Thanksgiving (Canada)", kHolidayDayOfMonth);
    // The fourth Thursday of November.
    AddHoliday(MakeDate(11, 26, 1998), "Thanksgiving (U.S.)", kHolidayDayOfMonth);
    if (easter != 0) {
        AddHoliday(easter, "Easter", kHolidayEaster);
        AddHoliday(easter - 7, "Palm Sunday", kHolidayEaster);
        AddHoliday(easter - 2, "Good Friday", kHolidayEaster);
        AddHoliday(easter + 1, "Easter Monday", kHolidayEaster);
    }
    PutSetting(kDefaultHolidaysSetting, "Y");
    t.Close();
}

int RollHolidaysForward() {
    if (ClipRight(GetSetting(kDefaultHolidaysSetting)).empty()) {
        AddDefaultHolidays();
        PutSetting(kDefaultHolidaysSetting, "Y");
    }
    data::Table& t = data::TableOf(HolidaysDef());
    if (OpenTable(t) != kNoError) return 0;
    const int32_t today = Today();
    Holidays& HOL = t.Rec<Holidays>();

    // The past holidays first: moving them changes the order being read.
    std::vector<Holidays> past;
    t.Set(HolidaysDef().key("HOL:KeyHolidayDate"));
    while (t.Next() == kNoError && HOL.HolidayDate < today) past.push_back(HOL);

    int moved = 0;
    for (const Holidays& h : past) {
        HOL.HolidayDate = h.HolidayDate;
        if (t.Get(HolidaysDef().key("HOL:KeyHolidayDate")) != kNoError) continue;
        const std::string type = h.HolidayType.str();
        if (type == kHolidayOnce) {
            if (t.Delete() == kNoError) ++moved;
            continue;
        }
        // Any type the roll does not know becomes "Annual".
        const std::string rolledType =
            (type == kHolidayDayOfMonth || type == kHolidayEaster) ? type : std::string(kHolidayTypeAnnual);
        int32_t date = h.HolidayDate;
        // Each roll adds a year, so this ends; a date outside the calendar
        // (0) leaves the holiday alone.
        while (date != 0 && date < today) {
            const int32_t next = NextHolidayDate(date, rolledType);
            date = next > date ? next : 0;
        }
        if (date == 0) continue;
        HOL.HolidayDate = date;
        HOL.HolidayType = rolledType;
        const int r = t.Put();
        if (r == kNoError) {
            ++moved;
        } else {
            // Another holiday holds that date: this one waits for the next
            // daily pass.
            LogEvent("Holidays", "Cannot move " + h.Holiday.str() + " to " +
                                     Format(Value(static_cast<int64_t>(date)), "@D3") + ":  " + ErrorText(r));
        }
    }
    t.Close();
    return moved;
}

// --- the jobs ---------------------------------------------------------------

DailyJobs::DailyJobs() = default;
DailyJobs::~DailyJobs() { Stop(); }

void DailyJobs::Start() {
    checkedHistory_ = 0;
    unmarked_.clear();
    if (!store_) store_ = std::make_unique<TableScheduleStore>();
}

void DailyJobs::Stop() { store_.reset(); }

void DailyJobs::CheckAdvanceWarnings(bool useKRMsg) {
    if (!store_) return;
    // The store holds this thread's use of Schedule, but the manager opens
    // the file only at its first operation: the raw reads below are none.
    // A file that cannot be opened is tried again at the next pass.
    if (Schedule_File().UseFile() != kNoError) return;
    data::Table& t = Schedule_File().File();
    Schedule& SCH = t.Rec<Schedule>();
    const int32_t today = Today(), clock = ClockTime();
    const data::KeyDef* key = ScheduleDef().key("SCH:KeyAdvanced");

    // Tasks without a warning (its date 0) sort first in the key: the read
    // starts past them, so they neither count as due nor use up the reads.
    SCH.AdvanceWarned = 0;
    SCH.AdvanceWarnDate = 1;
    SCH.AdvanceWarnTime = 0;
    if (t.SetFrom(key) != kNoError) return;
    std::vector<int32_t> due;
    for (int read = 0; read < kHousekeepingReadLimit; ++read) {
        if (t.Next() != kNoError) break;
        if (SCH.AdvanceWarned != 0) break;
        // Disabled tasks and the run history are never warned.
        if (SCH.Disabled != 0 || SCH.Completed != 0) continue;
        if (SCH.ScheduleType.empty()) break;
        // The key orders by the warning's moment: the first one not due
        // ends the due ones.
        if (!AdvanceWarningDue(SCH, today, clock)) break;
        due.push_back(SCH.ID);
    }

    for (int32_t id : due) {
        Schedule task;
        if (store_->Fetch(id, task) != kNoError) continue;
        task.AdvanceWarned = 1;
        // The mark is stored before the warning shows, so a warning is never
        // shown twice; a mark that failed once is tried again quietly.
        const auto known = std::find_if(unmarked_.begin(), unmarked_.end(), [&](const UnmarkedWarning& w) {
            return w.id == id && w.date == task.AdvanceWarnDate && w.time == task.AdvanceWarnTime;
        });
        const bool retry = known != unmarked_.end();
        store_->SetReporting(!retry);
        int stored;
        {
            // A retry does not wait for a file another program holds: the
            // next pass tries again, and the window's thread goes on.
            std::optional<data::NoBusyWait> noWait;
            if (retry) noWait.emplace();
            stored = store_->Put(task);
        }
        store_->SetReporting(true);
        if (stored != kNoError) {
            if (known == unmarked_.end()) unmarked_.push_back({id, task.AdvanceWarnDate, task.AdvanceWarnTime});
            continue;
        }
        if (known != unmarked_.end()) unmarked_.erase(known);
        if (task.SkipNextTime) {
            LogEvent(kAdvanceWarningLabel, "Skipped:  " + task.Description.str());
            continue;
        }
        LogEvent(kAdvanceWarningLabel, task.Description.str());
        ShowAdvanceWarning(AdvanceWarningText(task), task, useKRMsg);
    }
}

bool DailyJobs::RemoveHistory(const HistorySettings& settings) {
    const int32_t today = Today();
    if (checkedHistory_ >= today) return false;

    const bool expiry = settings.HistoryExpires != 0 && store_;
    // Opened before the raw reads (the manager's open waits for the first
    // operation). A file that cannot be opened leaves the day unchecked: the
    // job has not run and is tried at the next pass.
    if (expiry && Schedule_File().UseFile() != kNoError) return false;
    // Marked before the job runs, so that a box it shows never lets it run
    // a second time the same day.
    checkedHistory_ = today;

    if (expiry) {
        data::Table& t = Schedule_File().File();
        Schedule& SCH = t.Rec<Schedule>();
        // From the first disabled task; the enabled ones sort before.
        SCH.Disabled = 1;
        SCH.Date = 0;
        SCH.Time = 0;
        std::vector<int32_t> remove;
        int error = t.SetFrom(ScheduleDef().key("SCH:KeyDateEnabled"));
        for (int read = 0; error == kNoError && read < kHousekeepingReadLimit; ++read) {
            error = t.Next();
            if (error != kNoError) break;
            if (HistoryRemovable(SCH, today, settings.HistoryExpires, settings.RemoveUncompleted))
                remove.push_back(SCH.ID);
        }
        if (error != kNoError && error != kRecordNotAvailable)
            Message(data::LastErrorDisplay() + " error while removing history", "Cannot Remove History");
        for (int32_t id : remove) {
            // With its script items, through the relations. A failing delete
            // (a full disk, a held or replaced file) would fail for every
            // later record too: the removal stops with one message naming
            // the cause, and what is left goes at the next day's check.
            const int r = store_->Delete(id);
            if (r != kNoError) {
                Message(data::LastErrorDisplay() + " error while removing history", "Cannot Remove History");
                break;
            }
        }
        LogEvent("History", "Checked for tasks needing removal");
    }
    RollHolidaysForward();
    return true;
}

}  // namespace kr
