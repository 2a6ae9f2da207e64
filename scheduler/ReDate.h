// Re-dating every task to its first regular occurrence after a chosen moment
// (after the clock or the data was restored). The pass runs in chunks: a
// window calls Step from a timer and shows the progress, so the display never
// waits for the whole table.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dictionary/SchedulingTables.h"
#include "platform/runtime/RecordProcess.h"
#include "scheduler/ScheduleStore.h"

namespace kr {

inline constexpr const char* kReDateFutureText = "The date and time entered must be in the future.";
inline constexpr const char* kReDateFutureTitle = "Error";
inline constexpr const char* kDebugPreviousTitle = "Debug Previous";

// The moment the "Re-Date Tasks" window opens with: the remembered one, or
// today and a minute from now when that is not at least a minute ahead.
void ReDateStartMoment(int32_t& date, int32_t& time);
// True when (date, time) is at least a minute ahead of now; otherwise shows
// "The date and time entered must be in the future." and gives false.
bool CheckReDateMoment(int32_t date, int32_t time);

class ReDater : public BatchProcess {
public:
    using State = ProcessState;

    // Re-dates the tasks of `store` to their first occurrence more than a
    // minute after (date, time), applying their exceptions.
    ReDater(ScheduleStore& store, int32_t date, int32_t time, HolidayTest holidays = {});

    // Works through at most `count` records. True while records remain.
    bool Step(int count) override;

    int changed() const { return changed_; }
    int error() const { return error_; }    // the table error that ended a failed pass
    // One text per record whose earlier occurrence could not be found; such
    // records are left as they were, and each is shown in a "Debug Previous"
    // message once its chunk is written.
    const std::vector<std::string>& failures() const { return failures_; }

private:
    bool ReDateOne(Schedule& record);

    ScheduleStore& store_;
    int32_t date_, time_;
    HolidayTest holidays_;
    int32_t lastID_ = 0;
    int changed_ = 0, error_ = 0;
    std::vector<std::string> failures_;
    std::vector<std::string> unreported_;  // shown once the chunk is written
};

// The whole pass at once, for callers without a window.
ReDater::State RescheduleAllTasks(ScheduleStore& store, int32_t date, int32_t time, const HolidayTest& holidays = {});

// The text that reports a task whose earlier occurrence cannot be found.
std::string DebugPreviousText(const Schedule& SCH);

}  // namespace kr
