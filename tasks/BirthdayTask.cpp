#include "tasks/BirthdayTask.h"

#include "platform/runtime/DateTime.h"
#include "platform/runtime/Strings.h"

namespace kr::tasks {

void ApplyBirthdayDefaults(Schedule& SCH, int32_t today) {
    SCH.Date = today;
    SCH.Time = kBirthdayTime;
    SCH.ScheduleType = "Yearly";
    SCH.EveryLast = 1;
    SCH.Warn = 1;
    SCH.TaskType = "Display Message";
    SCH.Every = 1;
    SCH.EveryType = "year(s)";
    SCH.Category = "Reminders";
}

namespace {

// The same month and day in another year; 29 February falls back to the
// 28th in a common year.
int32_t SameDayIn(int32_t date, int year) {
    const int m = DateMonth(date);
    int d = DateDay(date);
    const int last = DaysInMonth(m, year);
    if (d > last) d = last;
    return MakeDate(m, d, year);
}

}  // namespace

bool BuildBirthdayTask(Schedule& SCH, const BirthdayAnswers& a, int32_t today) {
    if (a.eventDate <= 0) return false;
    const std::string n = ClipRight(a.name);
    const std::string age = "[= AGE(DATE(" + std::to_string(DateMonth(a.eventDate)) + "," +
                            std::to_string(DateDay(a.eventDate)) + "," + std::to_string(DateYear(a.eventDate)) +
                            "),TODAY())]";
    std::string description, message;
    if (a.occasion == "Anniversary") {
        description = "Anniversary: " + n;
        message = "It's " + n + "'s anniversary today!\r\n\r\n" + (a.exact ? age : "");
    } else if (a.occasion == "Other") {
        description = "Event: " + n;
        message = n + " is today!\r\n\r\n" + (a.exact ? age : "");
    } else {
        description = "Birthday: " + n;
        message = "It's " + n + "'s birthday today!\r\n\r\n" + (a.exact ? "Age: " + age : "");
    }
    SCH.Description = description.substr(0, 40);
    SCH.Message = message;
    const int year = DateYear(today);
    int32_t next = SameDayIn(a.eventDate, year);
    if (next <= today) next = SameDayIn(a.eventDate, year + 1);
    SCH.Date = next;
    SCH.Time = kBirthdayTime;
    if (a.warn && a.warnDays != 0) {
        SCH.AdvanceWarnDate = next - a.warnDays;
        SCH.AdvanceWarnTime = kBirthdayTime;
    }
    return true;
}

}  // namespace kr::tasks
