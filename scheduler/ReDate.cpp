#include "scheduler/ReDate.h"

#include <algorithm>

#include "platform/runtime/DateTime.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "scheduler/DateValues.h"
#include "scheduler/NextOccurrence.h"
#include "scheduler/Reschedule.h"

namespace kr {

namespace {

// The fields the engine may change; a record is stored only when one differs.
bool EngineFieldsDiffer(const Schedule& a, const Schedule& b) {
    return a.Date != b.Date || a.Time != b.Time || a.Completed != b.Completed || a.Every != b.Every ||
           a.SkipNextTime != b.SkipNextTime || a.ExceptionLink != b.ExceptionLink || a.ExceptTime != b.ExceptTime ||
           a.ExceptWeekends != b.ExceptWeekends || a.ExceptWeekdays != b.ExceptWeekdays ||
           a.ExceptHolidays != b.ExceptHolidays || a.ExceptTimeBegin != b.ExceptTimeBegin ||
           a.ExceptTimeEnd != b.ExceptTimeEnd || !(a.ExceptOther == b.ExceptOther);
}

// Months of one step of a month-based schedule (monthly, yearly, "mon",
// "yea"); 0 for the others.
int64_t MonthStride(const Schedule& s) {
    const ScheduleKind kind = ScheduleKindOf(s);
    if (kind == ScheduleKind::Monthly) return 1;
    if (kind == ScheduleKind::Yearly) return 12;
    if (kind != ScheduleKind::Custom) return 0;
    const int64_t every = std::max<int32_t>(s.Every, 1);
    if (CustomUnitOf(s) == CustomUnit::Month) return every;
    if (CustomUnitOf(s) == CustomUnit::Year) return 12 * every;
    return 0;
}

// The first occurrence after (date, time) of a task on the 29th to the 31st
// that stands later, counted back in whole steps from its own date: each
// candidate keeps the task's day, cut only to its own month. Stepping back a
// step at a time cuts the day at the first short month and the step forward
// keeps it cut, so a task on 31 March re-dated to 1 March came back on
// 28 March and ran on the 28th from then on. False when this does not apply.
bool MonthTaskBroughtBack(const Schedule& r, int32_t date, int32_t time, int32_t& found) {
    const int64_t stride = MonthStride(r);
    if (stride == 0 || r.Date <= 0 || DateDay(r.Date) <= 28) return false;
    auto accepted = [&](int32_t d) {
        return d > date ||
               (d == date && static_cast<int64_t>(r.Time) > static_cast<int64_t>(time) + kTicksPerMinute);
    };
    if (!accepted(r.Date)) return false;
    const int64_t own = static_cast<int64_t>(DateYear(r.Date)) * 12 + DateMonth(r.Date) - 1;
    const int64_t bound = static_cast<int64_t>(DateYear(date)) * 12 + DateMonth(date) - 1;
    // Steps that end below the moment's month, then fewer until one is
    // accepted: at most three candidates, the last the task's own date.
    for (int64_t j = std::max<int64_t>(0, (own - bound) / stride + 1); j >= 0; --j) {
        const int64_t n = own - j * stride;
        const int64_t year = n >= 0 ? n / 12 : (n - 11) / 12;
        if (year < kMinYear || year > kMaxYear) continue;
        const int32_t c =
            DateInMonth(static_cast<int>(n - year * 12) + 1, DateDay(r.Date), static_cast<int>(year));
        if (c > 0 && accepted(c)) {
            found = c;
            return true;
        }
    }
    return false;
}

}  // namespace

void ReDateStartMoment(int32_t& date, int32_t& time) {
    const int32_t today = Today();
    const int64_t soon = static_cast<int64_t>(ClockTime()) + kTicksPerMinute;
    if (date < today || (date == today && time < soon)) {
        int32_t soonDate = today, soonTime = static_cast<int32_t>(soon);
        NormalizeDateTime(soonDate, soonTime);
        date = soonDate;
        time = soonTime;
    }
}

bool CheckReDateMoment(int32_t date, int32_t time) {
    const int32_t today = Today();
    const int64_t soon = static_cast<int64_t>(ClockTime()) + kTicksPerMinute;
    if (date < today || (date == today && time < soon)) {
        Message(kReDateFutureText, kReDateFutureTitle, MessageIcon::None, kButtonOk);
        return false;
    }
    return true;
}

std::string DebugPreviousText(const Schedule& SCH) {
    return "Failed on " + SCH.ScheduleType.str() + "(" + SCH.EveryType.str() + "," + Format(Value(SCH.Date), "@d17") +
           "," + Format(Value(SCH.Time), "@t7") + ")";
}

ReDater::ReDater(ScheduleStore& store, int32_t date, int32_t time, HolidayTest holidays)
    : store_(store), date_(date), time_(time), holidays_(std::move(holidays)) {
    SetTotal(store_.Count());
    SetBatchSize(200);
}

bool ReDater::ReDateOne(Schedule& r) {
    // Tasks without a moment, finished tasks, hot keys and one-off tasks keep
    // their dates: a pending one-off task has no other occurrence to move to,
    // and must stay pending.
    if (r.Date == 0 || r.Time == 0 || r.Completed || r.TaskType.str() == "Hot Key" || r.ScheduleType.str() == "Once") return true;
    Schedule s = r;
    // Back to an occurrence before the moment, or to the earliest one when
    // none lies before it within the calendar (a moment early in January
    // 1801), then forward to the first one after it. The minute and hour
    // steps always take a step forward, so for them an earliest occurrence
    // already after the moment is the one.
    bool found = StepBackToSearchStart(s, date_, time_) != OccurrenceResult::NoOccurrence;
    const bool ticks = ScheduleKindOf(s) == ScheduleKind::Custom &&
                       (CustomUnitOf(s) == CustomUnit::Minute || CustomUnitOf(s) == CustomUnit::Hour);
    if (found && !(ticks && MomentOf(s.Date, s.Time) > MomentOf(date_, time_)))
        found = NextScheduleDate(s, date_, time_) != OccurrenceResult::NoOccurrence;
    if (!found) {
        // Reported and left as it was; the pass goes on with the next task.
        const std::string text = DebugPreviousText(r);
        failures_.push_back(text);
        unreported_.push_back(text);
        return true;
    }
    int32_t broughtBack = 0;
    if (MonthTaskBroughtBack(r, date_, time_, broughtBack)) s.Date = broughtBack;
    // A skip mark belonged to the occurrence the task has left.
    if (s.Date != r.Date || s.Time != r.Time) s.SkipNextTime = 0;
    if (RescheduleTask(s, true, store_, holidays_) == 1) {
        ++changed_;
        return true;
    }
    if (!EngineFieldsDiffer(s, r)) return true;
    const int err = store_.Put(s);
    if (err != kNoError) {
        error_ = err;
        return false;
    }
    ++changed_;
    return true;
}

bool ReDater::Step(int count) {
    if (!Running()) return false;
    if (count < 1) count = 1;
    if (CancelRequested()) {
        SetState(State::Cancelled);
        return false;
    }
    std::vector<Schedule> batch = store_.ReadAfter(lastID_, count);
    if (batch.empty()) {
        SetState(State::Finished);
        EndOfBatch();
        return false;
    }
    store_.BeginBatch();
    for (Schedule& r : batch) {
        if (CancelRequested()) {
            SetState(State::Cancelled);
            break;
        }
        lastID_ = r.ID;
        // Copies the exceptions add land behind the last ID and are read
        // later; the count grows the total with them.
        CountDone();
        if (!ReDateOne(r)) {
            SetState(State::Failed);
            break;
        }
    }
    store_.EndBatch();
    // Messages wait until the chunk is written, so that no question holds
    // the data file while it is on the screen.
    for (const std::string& text : unreported_) Message(text, kDebugPreviousTitle, MessageIcon::None, kButtonOk);
    unreported_.clear();
    EndOfBatch();
    return Running();
}

ReDater::State RescheduleAllTasks(ScheduleStore& store, int32_t date, int32_t time, const HolidayTest& holidays) {
    ReDater pass(store, date, time, holidays);
    pass.SetBatchSize(500);
    return RunToEnd(pass);
}

}  // namespace kr
