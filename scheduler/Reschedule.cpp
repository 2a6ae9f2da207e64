#include "scheduler/Reschedule.h"

#include <cctype>

#include "platform/runtime/DateTime.h"
#include "platform/runtime/ErrorCodes.h"
#include "scheduler/NextOccurrence.h"

namespace kr {

namespace {

// IDs tried past the highest one before AddScheduleCopy gives up.
constexpr int kMaxIdTries = 10000;

void ClearExceptions(Schedule& s) {
    s.ExceptTime = 0;
    s.ExceptWeekends = 0;
    s.ExceptWeekdays = 0;
    s.ExceptHolidays = 0;
    s.ExceptTimeBegin = 0;
    s.ExceptTimeEnd = 0;
    s.ExceptOther = "";
}

int32_t RangeEnd(const Schedule& s) { return s.ExceptTimeEnd == 0 ? kTicksPerDay : s.ExceptTimeEnd; }

// Pushes the occurrence out of the excluded time range. True when it moved.
bool TimeRangeStep(Schedule& s) {
    if (s.ExceptTimeEnd == 0) s.ExceptTimeEnd = kTicksPerDay;
    if (!InExceptTimeRange(s, s.Time)) return false;
    const int32_t date0 = s.Date, time0 = s.Time;
    const uint8_t completed0 = s.Completed;
    for (int steps = 0; steps < kTimeRangeSteps && InExceptTimeRange(s, s.Time); ++steps) {
        const OccurrenceResult r = NextScheduleDate(s, s.Date, s.Time + 1);
        // An unusable schedule stops here: one "Invalid Units" message, not a
        // hundred. A search that runs past the calendar's end leaves the
        // moment where that step began, still inside the range, and does not
        // retire the task: the fallback below still has a moment for it.
        if (r != OccurrenceResult::Found) {
            s.Completed = completed0;
            break;
        }
    }
    if (InExceptTimeRange(s, s.Time)) {
        // The steps cannot leave the range (the task repeats too often, keeps
        // its time of day, or its steps leave the calendar): the occurrence
        // goes to the range's end, on its own day when the end is not before
        // it (an occurrence at the end itself stays, so a task the fallback
        // put there runs at each occurrence), else on the next day.
        const int32_t end = s.ExceptTimeEnd;
        if (time0 <= end) {
            s.Date = date0;
        } else if (date0 < LastValidDate()) {
            s.Date = date0 + 1;
        } else {
            // No next day within the calendar: the task is retired.
            s.Date = date0;
            s.Time = time0;
            s.Completed = 1;
            return true;
        }
        s.Time = end;
    }
    return true;
}

}  // namespace

bool HasDayExceptions(const Schedule& s) {
    return s.ExceptHolidays || s.ExceptWeekdays || s.ExceptWeekends || !s.ExceptOther.empty();
}

bool InExceptTimeRange(const Schedule& s, int32_t time) {
    const int32_t begin = s.ExceptTimeBegin, end = RangeEnd(s);
    if (begin <= end) return begin <= time && time <= end;
    return time < end || time > begin;
}

bool IsExcludedDay(const Schedule& s, int32_t date, const HolidayTest& isHoliday) {
    const int wd = Weekday(date);
    if (s.ExceptWeekends && (wd == 0 || wd == 6)) return true;
    if (s.ExceptWeekdays && !s.ExceptWeekends && wd >= 1 && wd <= 5) return true;
    if (s.ExceptHolidays && isHoliday && isHoliday(date)) return true;
    const std::string& other = s.ExceptOther.str();
    return static_cast<std::size_t>(wd) < other.size() && other[static_cast<std::size_t>(wd)] == 'Y';
}

int AddScheduleCopy(ScheduleStore& store, Schedule& record) {
    record.ID = store.LastID() + 1;
    int err = kNoError;
    for (int i = 0; i < kMaxIdTries; ++i) {
        err = store.Add(record);
        if (err != kDuplicateKey) return err;
        ++record.ID;
    }
    return err;
}

namespace {

// The task still stands where the shift left it: on the excluded day,
// marked to be skipped, enabled.
bool StandsAtShift(const Schedule& task, const ShiftShortfall& m) {
    return task.Date == m.taskDate && task.Time == m.taskTime && task.SkipNextTime && !task.Disabled;
}

bool NotThere(int e) { return e == kRecordNotFound || e == kRecordNotAvailable; }

}  // namespace

ShiftOutcome CompleteShift(ShiftShortfall& m, ScheduleStore& store) {
    if (!m.Any()) return ShiftOutcome::Stored;
    Schedule task;
    const int e = store.Fetch(m.taskID, task);
    if (e != kNoError && !NotThere(e)) return ShiftOutcome::Pending;
    const bool stands = e == kNoError && StandsAtShift(task, m);
    if (m.copy) {
        // The copy belongs to the occurrence the task was left at; once the
        // task was moved or removed there is nothing to copy.
        if (!stands) return ShiftOutcome::GaveUp;
        Schedule copy = task;
        copy.ExceptionLink = 0;
        copy.ScheduleType = "Once";
        copy.SkipNextTime = m.copySkip;
        copy.Date = m.copyDate;
        if (AddScheduleCopy(store, copy) != kNoError) return ShiftOutcome::Pending;
        m.copy = false;
        m.copyID = copy.ID;
    }
    // The link and the script items do not wait for each other.
    bool pending = false;
    if (m.link) {
        // A task moved since needs no link to a copy of the day it left.
        if (stands && task.ExceptionLink != m.copyID) {
            task.ExceptionLink = m.copyID;
            if (store.Put(task) == kNoError)
                m.link = false;
            else
                pending = true;
        } else {
            m.link = false;
        }
    }
    if (m.scriptItems) {
        // The copy runs the task's script too; once it ran or went, its
        // script is of no use.
        Schedule copy;
        const int c = store.Fetch(m.copyID, copy);
        if (c != kNoError && !NotThere(c)) return ShiftOutcome::Pending;
        if (c != kNoError || copy.Completed || copy.Disabled) return ShiftOutcome::GaveUp;
        if (store.CopyScriptItems(m.taskID, m.copyID) == kNoError)
            m.scriptItems = false;
        else
            pending = true;
    }
    if (pending) return ShiftOutcome::Pending;
    return ShiftOutcome::Stored;
}

int RescheduleTask(Schedule& SCH, bool keepEarlierCopy, ScheduleStore& store, const HolidayTest& isHoliday,
                   ShiftShortfall* missing) {
    if (missing) *missing = ShiftShortfall();
    const ScheduleKind kind = ScheduleKindOf(SCH);
    if (kind == ScheduleKind::Once || kind == ScheduleKind::DayOfWeek) {
        ClearExceptions(SCH);
        return 0;
    }
    const bool dayExceptions = HasDayExceptions(SCH);
    const bool timeException = SCH.ExceptTime != 0;
    if (!dayExceptions && !timeException) return 0;
    if (SCH.ExceptWeekends) SCH.ExceptWeekdays = 0;

    bool changed = timeException && TimeRangeStep(SCH);

    // Day exceptions apply whether or not a time range is set.
    if (dayExceptions && SCH.Date > 0 && IsExcludedDay(SCH, SCH.Date, isHoliday)) {
        const uint8_t savedSkip = SCH.SkipNextTime;
        SCH.SkipNextTime = 1;
        const char shift =
            SCH.ShiftType.empty() ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(SCH.ShiftType.str()[0])));
        if (shift != 'N' && shift != 'P') return store.Put(SCH) == kNoError ? 1 : 0;

        // The regular occurrence stays on the excluded day, marked to be skipped.
        if (store.Put(SCH) != kNoError) return 0;
        const int dir = shift == 'N' ? 1 : -1;
        int32_t day = SCH.Date;
        bool found = false;
        for (int i = 0; i <= kShiftSearchDays; ++i, day += dir) {
            if (day < 1 || day > LastValidDate()) break;
            if (!IsExcludedDay(SCH, day, isHoliday)) {
                found = true;
                break;
            }
        }
        // Every day of a year excluded: the occurrence is skipped, with no copy
        // on a day that is excluded too.
        if (!found) return 1;
        // A regular run already falls on that moment, or the copy an earlier
        // shift made does: one run is enough.
        if (HasOccurrenceAt(SCH, day, SCH.Time)) return 1;
        const int32_t oldLink = SCH.ExceptionLink;
        Schedule earlier;
        const bool haveEarlier = oldLink != 0 && store.Fetch(oldLink, earlier) == kNoError &&
                                 earlier.ScheduleType.str() == "Once" && !earlier.Completed;
        if (haveEarlier && earlier.Date == day && earlier.Time == SCH.Time) return 1;

        // The copy (with the task's script, since it runs the task too) and
        // the task's link to it; what cannot be stored now is handed back.
        ShiftShortfall owed;
        owed.copy = owed.scriptItems = owed.link = true;
        owed.taskID = SCH.ID;
        owed.taskDate = SCH.Date;
        owed.taskTime = SCH.Time;
        owed.copyDate = day;
        owed.copySkip = savedSkip;
        CompleteShift(owed, store);
        if (!owed.link) SCH.ExceptionLink = owed.copyID;
        if (!owed.copy && !keepEarlierCopy && haveEarlier) store.Delete(oldLink);
        if (missing && owed.Any()) *missing = owed;
        return 1;
    }
    if (!changed) return 0;
    return store.Put(SCH) == kNoError ? 1 : 0;
}

}  // namespace kr
