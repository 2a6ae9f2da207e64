// The scheduler's housekeeping jobs of the timer rotation: advance warnings
// (step 1) and, once a day from step 2, history expiry and the holiday
// roll-forward, which the first time fills the holiday table with a default
// list. They run on thread 1 over thread 1's record buffers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dictionary/SchedulingTables.h"

namespace kr {

class TableScheduleStore;

// Reads of one pass over Schedule.
inline constexpr int kHousekeepingReadLimit = 10000;
inline constexpr int kWarningTextSize = 4096;
inline constexpr const char* kAdvanceWarningTitle = "Advanced Warning: ";
inline constexpr const char* kAdvanceWarningLabel = "Advanced Warning";
inline constexpr const char* kDefaultHolidaysSetting = "DEFHOL";

// Holiday types.
inline constexpr const char* kHolidayDayOfMonth = "Day of Month";
inline constexpr const char* kHolidayEaster = "Easter";
inline constexpr const char* kHolidayOnce = "Once";

// True when the task's advance warning is due at the moment: today is past
// the warning's date, or it is the date and the clock is past its time.
bool AdvanceWarningDue(const Schedule& task, int32_t today, int32_t clock);
// The text of a task's advance warning: its date and time, then what it
// will do (message, command or both), at most 4096 characters.
std::string AdvanceWarningText(const Schedule& task);
// Shows one warning: value references replaced, handed to the message
// program when useKRMsg (title "Advanced Warning: " + description), else or
// when that fails a message box on this thread.
void ShowAdvanceWarning(const std::string& text, const Schedule& task, bool useKRMsg);

// True when the history expiry removes the record: a disabled record
// `expires` days past its date that is completed (or removeUncompleted),
// and not the placeholder of an open task editor (a blank schedule type, or
// an ID an open editor holds).
bool HistoryRemovable(const Schedule& task, int32_t today, int32_t expires, bool removeUncompleted);

// The next date of a past holiday of the type, one year on (0 for "Once",
// which is deleted instead). "Day of Month" keeps the week of the month and
// the weekday, "Easter" its distance from Easter Sunday, any other type the
// day and month (29 February becomes the 28th in other years).
int32_t NextHolidayDate(int32_t date, const std::string& type);

// AddHoliday: stores one holiday; a refused insert (a date already taken)
// is ignored. The Holidays table must be open. Returns the runtime's code.
int AddHoliday(int32_t date, const std::string& name, const std::string& type);
// The default holidays, dated in the current year or in the years they were
// first listed for (the roll-forward brings them to this year).
void AddDefaultHolidays();
// Adds the default holidays once (Configuration "DEFHOL"), then moves every
// holiday before today to its next date on or after today; "Once" holidays
// are deleted. A holiday whose next date another holiday holds stays where
// it is (with a log line) and is tried again on the next pass. Returns the
// number of holidays moved or deleted.
int RollHolidaysForward();

struct HistorySettings {
    int32_t HistoryExpires = 0;  // days; 0: no expiry, -1: at once
    bool RemoveUncompleted = false;
};

class DailyJobs {
public:
    DailyJobs();
    ~DailyJobs();
    DailyJobs(const DailyJobs&) = delete;
    DailyJobs& operator=(const DailyJobs&) = delete;

    // Opens Schedule and Scripting for the current thread (thread 1); the
    // first daily pass after Start always runs.
    void Start();
    void Stop();

    // Step 1 of the rotation.
    void CheckAdvanceWarnings(bool useKRMsg);
    // Step 2: once a day the history expiry and the holiday roll-forward.
    // True when it ran (the open schedule lists are then told).
    bool RemoveHistory(const HistorySettings& settings);

    int32_t checkedHistory() const { return checkedHistory_; }
    void setCheckedHistory(int32_t date) { checkedHistory_ = date; }

private:
    // A warning whose mark could not be stored: the warning waits until the
    // mark is written (it is shown once), and the failure is reported once,
    // not at every pass of step 1.
    struct UnmarkedWarning {
        int32_t id = 0, date = 0, time = 0;
    };

    std::unique_ptr<TableScheduleStore> store_;
    int32_t checkedHistory_ = 0;
    std::vector<UnmarkedWarning> unmarked_;
};

}  // namespace kr
