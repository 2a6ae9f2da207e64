// Timing of the date engine over 100,000 mixed tasks: the next occurrence of
// each (from its own moment, and from today for tasks left weeks behind), the
// exceptions of each, and a re-dating pass over a table of them; then the
// next occurrence of month-based tasks dated in 1801 searched from the end of
// 9999 (the longest search the calendar allows), each kind on its own.
//
//   bench_scheduler [tasks]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "scheduler/NextOccurrence.h"
#include "scheduler/ReDate.h"
#include "scheduler/Reschedule.h"
#include "scheduler/ScheduleStore.h"

using namespace kr;

namespace {

class QuietMessages : public MessageService {
public:
    int Show(const MessageRequest&) override { return kButtonOk; }
};

std::vector<Schedule> MixedTasks(int n, int32_t today) {
    std::mt19937 rng(42);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const char* units[] = {"minute(s)", "hour(s)", "day(s)", "week(s)", "month(s)", "year(s)"};
    std::vector<Schedule> tasks;
    tasks.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        Schedule s;
        s.ID = i + 1;
        s.TaskType = "Run Program";
        // Due somewhere from a year back to a month ahead.
        s.Date = today + pick(-365, 30);
        s.Time = MakeTime(pick(0, 23), pick(0, 59));
        switch (i % 8) {
            case 0: s.ScheduleType = "Once"; break;
            case 1: s.ScheduleType = "Monthly"; break;
            case 2:
                s.ScheduleType = "Monthly";
                s.MonthRepeat = i % 16 == 2 ? "Twice - 1st, 15th" : "Twice - 15th, Last";
                s.Offset = pick(-3, 3);
                break;
            case 3: s.ScheduleType = "Yearly"; break;
            case 4:
                s.ScheduleType = "Day of Week";
                s.Monday = s.Wednesday = s.Friday = 1;
                break;
            case 5:
                s.ScheduleType = "Day of Month";
                s.Tuesday = 1;
                s.Every2nd = s.EveryLast = 1;
                s.LastDayofMonth = i % 40 == 5;
                break;
            default:
                s.ScheduleType = "Custom";
                s.EveryType = units[pick(0, 5)];
                s.Every = pick(1, 90);
                break;
        }
        if (i % 3 == 0) {
            s.ExceptWeekends = 1;
            s.ShiftType = i % 9 == 0 ? "Next Day" : (i % 9 == 3 ? "Previous Day" : "Skip (to Next Valid Day)");
        }
        if (i % 5 == 0) {
            s.ExceptTime = 1;
            s.ExceptTimeBegin = MakeTime(22, 0);
            s.ExceptTimeEnd = MakeTime(6, 0);
        }
        if (i % 7 == 0) s.ExceptHolidays = 1;
        tasks.push_back(s);
    }
    return tasks;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    QuietMessages quiet;
    InstallMessageService(&quiet);
    const int32_t today = MakeDate(7, 1, 2024);
    ManualClock clock(today, MakeTime(8, 0));
    InstallClock(&clock);
    const std::vector<Schedule> tasks = MixedTasks(n, today);
    HolidaySet holidays({MakeDate(7, 4, 2024), MakeDate(12, 25, 2024), MakeDate(1, 1, 2025)});

    auto t0 = std::chrono::steady_clock::now();
    long moved = 0;
    for (Schedule s : tasks) {
        NextScheduleDate(s, s.Date, s.Time + 1);
        moved += s.Date;
    }
    const double ownMoment = Seconds(t0);

    t0 = std::chrono::steady_clock::now();
    for (Schedule s : tasks) {
        NextScheduleDate(s, today, clock.ClockTime());
        moved += s.Date;
    }
    const double fromToday = Seconds(t0);

    MemoryScheduleStore store;
    for (const Schedule& s : tasks) store.Add(s);
    t0 = std::chrono::steady_clock::now();
    int stored = 0;
    for (Schedule s : tasks) {
        NextScheduleDate(s, today, clock.ClockTime());
        stored += RescheduleTask(s, true, store, holidays.Test());
    }
    const double exceptions = Seconds(t0);
    const int afterExceptions = store.Count();

    t0 = std::chrono::steady_clock::now();
    ReDater pass(store, today + 1, MakeTime(8, 0), holidays.Test());
    while (pass.Step(500)) {
    }
    const double reDate = Seconds(t0);

    std::printf("tasks                                   %d\n", n);
    std::printf("next occurrence from own moment         %.3f s  (%.0f ns/task)\n", ownMoment, ownMoment * 1e9 / n);
    std::printf("next occurrence from today              %.3f s  (%.0f ns/task)\n", fromToday, fromToday * 1e9 / n);
    std::printf("next occurrence + exceptions            %.3f s  (%d stored, %d copies added)\n", exceptions, stored,
                afterExceptions - n);
    std::printf("re-dating pass (chunks of 500)          %.3f s  (%d records, %d changed, %zu failed)\n", reDate,
                pass.done(), pass.changed(), pass.failures().size());
    // Far behind: dated on the 31st of January 1801 (the 1st for the
    // twice-monthly ones), searched from the 30th of November 9999.
    struct Far {
        const char* what;
        Schedule task;
    };
    std::vector<Far> far;
    auto farTask = [](const char* type, const char* repeat, const char* every, int n, int day) {
        Schedule s;
        s.ID = 1;
        s.TaskType = "Run Program";
        s.ScheduleType = type;
        s.MonthRepeat = repeat;
        s.EveryType = every;
        s.Every = n;
        s.Date = MakeDate(1, day, 1801);
        s.Time = MakeTime(9, 0);
        return s;
    };
    far.push_back({"monthly", farTask("Monthly", "", "", 0, 31)});
    far.push_back({"twice monthly, 1st and 15th", farTask("Monthly", "Twice - 1st, 15th", "", 0, 1)});
    far.push_back({"twice monthly, 15th and last", farTask("Monthly", "Twice - 15th, Last", "", 0, 15)});
    far.push_back({"yearly", farTask("Yearly", "", "", 0, 31)});
    far.push_back({"custom, every 5 months", farTask("Custom", "", "month(s)", 5, 31)});
    // Steps that never reach some months: the 31st is cut only at the first
    // 30-day month they reach, or never.
    far.push_back({"custom, every 4 months", farTask("Custom", "", "month(s)", 4, 31)});
    far.push_back({"custom, every 6 months", farTask("Custom", "", "month(s)", 6, 31)});
    const int32_t end = MakeDate(11, 30, 9999);
    for (const Far& f : far) {
        constexpr int kRepeats = 200;
        double best = 1e9;
        for (int r = 0; r < 5; ++r) {
            t0 = std::chrono::steady_clock::now();
            for (int i = 0; i < kRepeats; ++i) {
                Schedule s = f.task;
                NextScheduleDate(s, end, MakeTime(12, 0));
                moved += s.Date;
            }
            best = std::min(best, Seconds(t0) / kRepeats);
        }
        std::printf("1801 task searched from 9999: %-30s %8.2f us\n", f.what, best * 1e6);
    }
    std::printf("(checksum %ld)\n", moved);
    InstallClock(nullptr);
    InstallMessageService(nullptr);
    return 0;
}
