#include "scheduler/ScheduleDefaults.h"

#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Strings.h"
#include "scheduler/NextOccurrence.h"
#include "scheduler/Reschedule.h"

namespace kr {

namespace {

constexpr std::size_t kDescriptionWidth = 80;

void Append(std::string& list, const char* item) {
    if (!list.empty()) list += ", ";
    list += item;
}

std::string WeekdayList(const Schedule& s) {
    std::string out;
    if (s.Sunday) Append(out, "Sun");
    if (s.Monday) Append(out, "Mon");
    if (s.Tuesday) Append(out, "Tue");
    if (s.Wednesday) Append(out, "Wed");
    if (s.Thursday) Append(out, "Thu");
    if (s.Friday) Append(out, "Fri");
    if (s.Saturday) Append(out, "Sat");
    return out;
}

std::string WeekList(const Schedule& s) {
    std::string out;
    if (s.Every1st) Append(out, "1st");
    if (s.Every2nd) Append(out, "2nd");
    if (s.Every3rd) Append(out, "3rd");
    if (s.Every4th) Append(out, "4th");
    if (s.EveryLast) Append(out, "Last");
    return out;
}

}  // namespace

void CompleteScheduleRecord(Schedule& SCH, ScheduleStore& store, const CompletionSettings& settings) {
    const std::string& type = SCH.TaskType.str();
    if (SCH.Command.empty() && (type == "Run Program" || type == "Both" || type == "Hot Key")) SCH.Command = "N/A";

    if (SCH.Description.empty()) {
        if (type == "None") {
            SCH.Description = "Reminder: " + SCH.Message;
        } else if (type == "Display Message") {
            SCH.Description = "Message: " + SCH.Message;
        } else if (type == "Run Program") {
            if (EqualNoCase(SCH.Command.str(), "N/A")) {
                const int32_t today = Today();
                SCH.Description = "Script: " + (settings.formatUserDate ? settings.formatUserDate(today)
                                                                        : Format(Value(today), "@d3"));
            } else {
                SCH.Description = "Run: " + SCH.Command.str();
            }
        } else if (type == "Hot Key") {
            SCH.Description = "Hot Key " + IntToText(SCH.ID);
        } else {
            SCH.Description = "Message/Run Program";
        }
    }
    if (SCH.Category.empty()) SCH.Category = "General";

    RescheduleTask(SCH, true, store, settings.holidays);

    SCH.NetworkUser = settings.userID;
    SCH.LastChangeDate = Today();
    SCH.LastChangeTime = ClockTime();
    if (SCH.OriginalID == 0) SCH.OriginalID = SCH.ID;
}

std::string DescribeSchedule(const Schedule& SCH) {
    const std::string& type = SCH.ScheduleType.str();
    std::string text = type;
    switch (ScheduleKindOf(SCH)) {
        case ScheduleKind::SemiMonthly:
            text = "Twice Monthly";
            if (SCH.Offset != 0) text += " (" + IntToText(SCH.Offset) + ")";
            break;
        case ScheduleKind::DayOfWeek:
            text = "Days: " + WeekdayList(SCH);
            break;
        case ScheduleKind::DayOfMonth: {
            const std::string weeks = WeekList(SCH);
            text = "Days: " + (weeks.empty() ? std::string() : weeks + ": ") + WeekdayList(SCH);
            break;
        }
        default:
            if (type == "Custom" || type == "Other" || type == "Every")
                text = "Every " + IntToText(SCH.Every) + " " + SCH.EveryType.str();
            break;
    }
    if (!SCH.ExceptOther.empty() || SCH.ExceptTime || SCH.ExceptHolidays || SCH.ExceptWeekdays || SCH.ExceptWeekends)
        text += " (exceptions exist)";
    text = ClipRight(text);
    if (text.size() > kDescriptionWidth) text = ClipRight(text.substr(0, kDescriptionWidth));
    return text;
}

}  // namespace kr
