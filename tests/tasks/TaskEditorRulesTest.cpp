// The task form's rules without a window: new-task defaults and copies, the
// task-type and schedule-type rules, hourly repeats, the advance warning
// (normalised, never after the task, recomputed only for a changed moment),
// the program choice, titles, weekday overrides, Easter-bound holidays and
// the calendar's month grid.
#include <gtest/gtest.h>

#include "platform/runtime/DateTime.h"
#include "scheduler/DateValues.h"
#include "tasks/CalendarGrid.h"
#include "tasks/TaskEditorRules.h"

namespace kr::tasks {
namespace {

TEST(TaskEditorRules, NewTaskGetsEveryDefaultAndACopyKeepsItsValues) {
    Schedule s;
    s.Description = "Only a description";
    EXPECT_FALSE(ApplyNewTaskDefaults(s, MakeDate(3, 4, 2024), MakeTime(10, 15), ""));
    EXPECT_EQ(s.TaskType, "Both");
    EXPECT_EQ(s.Date, MakeDate(3, 4, 2024));
    EXPECT_EQ(s.Time, MakeTime(10, 15));
    EXPECT_EQ(s.ScheduleType, "Day of Week");
    EXPECT_EQ(s.EveryLast, 1);
    EXPECT_EQ(s.Sunday + s.Monday + s.Tuesday + s.Wednesday + s.Thursday + s.Friday + s.Saturday, 7);
    EXPECT_EQ(s.Warn, 1);
    EXPECT_EQ(s.Every, 1);
    EXPECT_EQ(s.EveryType, "hour(s)");
    EXPECT_EQ(s.Category, "General");

    // A day chosen in the list comes as a day number in text.
    Schedule other;
    ApplyNewTaskDefaults(other, MakeDate(3, 4, 2024), 1, std::to_string(MakeDate(5, 6, 2024)));
    EXPECT_EQ(other.Date, MakeDate(5, 6, 2024));

    Schedule copy;
    copy.TaskType = "Run Program";
    copy.ScheduleType = "Yearly";
    copy.Date = MakeDate(1, 1, 2020);
    copy.Completed = copy.AdvanceWarned = copy.Disabled = 1;
    copy.Category = "Work";
    EXPECT_TRUE(ApplyNewTaskDefaults(copy, MakeDate(3, 4, 2024), 1, ""));
    EXPECT_EQ(copy.TaskType, "Run Program");
    EXPECT_EQ(copy.ScheduleType, "Yearly");
    EXPECT_EQ(copy.Date, MakeDate(1, 1, 2020));
    EXPECT_EQ(copy.Completed + copy.AdvanceWarned + copy.Disabled, 0);
    EXPECT_EQ(copy.Category, "Work");
}

TEST(TaskEditorRules, TaskTypesShowTheirTabsAndAReminderKeepsItsLateTime) {
    Schedule s;
    s.Time = MakeTime(9, 0);
    s.TaskType = "Run Program";
    TaskTypeView v = ApplyTaskType(s);
    EXPECT_TRUE(v.command && v.time && !v.message);
    s.TaskType = "Display Message";
    v = ApplyTaskType(s);
    EXPECT_TRUE(!v.command && v.time && v.message);
    s.TaskType = "None";
    v = ApplyTaskType(s);
    EXPECT_TRUE(!v.command && !v.time && v.message);
    EXPECT_EQ(s.Time, kReminderTime);
    // Another type shows the time again but keeps the reminder's.
    s.TaskType = "Both";
    v = ApplyTaskType(s);
    EXPECT_TRUE(v.command && v.time && v.message);
    EXPECT_EQ(s.Time, kReminderTime);
}

TEST(TaskEditorRules, ScheduleTypesShowTheirControls) {
    Schedule s;
    s.ScheduleType = "Once";
    ScheduleTypeView v = ApplyScheduleType(s);
    EXPECT_FALSE(v.weekdays || v.ordinals || v.except || v.repeat || v.every);

    s.ScheduleType = "Day of Month";
    v = ApplyScheduleType(s);
    EXPECT_TRUE(v.weekdays && v.ordinals && v.except && v.ordinalsEnabled);
    s.LastDayofMonth = 1;
    EXPECT_FALSE(ApplyScheduleType(s).ordinalsEnabled);

    // Monthly without a twice-monthly repeat stores "Once" and disables the offset.
    s.ScheduleType = "Monthly";
    s.MonthRepeat = "";
    v = ApplyScheduleType(s);
    EXPECT_EQ(v.groupCaption, "&Repeat (Per Month)");
    EXPECT_TRUE(v.repeat && v.except && !v.offsetEnabled);
    EXPECT_EQ(s.MonthRepeat, "Once");
    s.MonthRepeat = "Twice - 15th, Last";
    EXPECT_TRUE(ApplyScheduleType(s).offsetEnabled);
    EXPECT_EQ(s.MonthRepeat, "Twice - 15th, Last");

    s.ScheduleType = "Custom";
    v = ApplyScheduleType(s);
    EXPECT_TRUE(v.every && v.except && !v.repeat);
    EXPECT_EQ(v.groupCaption, "&Every...");
}

TEST(TaskEditorRules, HourlyRepeatKeepsNoHistoryForGood) {
    Schedule s;
    s.Every = 1;
    s.EveryType = "day(s)";
    ApplyEveryRule(s);
    EXPECT_EQ(s.NoHistory, 0);
    s.EveryType = "hour(s)";
    ApplyEveryRule(s);
    EXPECT_EQ(s.NoHistory, 1);
    s.EveryType = "day(s)";
    ApplyEveryRule(s);
    EXPECT_EQ(s.NoHistory, 1);
}

TEST(TaskEditorRules, DefaultWarningCarriesTheTimeIntoTheDate) {
    Schedule s;
    s.Date = MakeDate(6, 10, 2024);
    s.Time = MakeTime(0, 30);
    s.AdvanceWarned = 1;
    ApplyDefaultWarning(s, {true, 0, MakeTime(6, 0) - 1});
    EXPECT_EQ(s.AdvanceWarnDate, MakeDate(6, 9, 2024));
    EXPECT_EQ(s.AdvanceWarnTime, MakeTime(18, 30));
    EXPECT_EQ(s.AdvanceWarned, 0);
    EXPECT_FALSE(WarningAfterTask(s));
    // Days and hours together.
    ApplyDefaultWarning(s, {true, 2, MakeTime(1, 0) - 1});
    EXPECT_EQ(s.AdvanceWarnDate, MakeDate(6, 7, 2024));
    EXPECT_EQ(s.AdvanceWarnTime, MakeTime(23, 30));
}

TEST(TaskEditorRules, WarningIsRecomputedOnlyForAChangedMoment) {
    const WarningDefaults on{true, 1, 0};
    Schedule s;
    s.Date = MakeDate(6, 10, 2024);
    s.Time = MakeTime(9, 0);
    s.AdvanceWarnDate = MakeDate(6, 5, 2024);  // the user's own warning
    s.AdvanceWarnTime = MakeTime(7, 0);
    s.AdvanceWarned = 1;                        // already shown
    WarningTracker edit;
    edit.Start(s, false);
    EXPECT_FALSE(edit.Apply(s, on));            // the OK pass of an unchanged task
    EXPECT_EQ(s.AdvanceWarnDate, MakeDate(6, 5, 2024));
    EXPECT_EQ(s.AdvanceWarned, 1);
    s.Date = MakeDate(6, 20, 2024);
    EXPECT_TRUE(edit.Apply(s, on));
    EXPECT_EQ(s.AdvanceWarnDate, MakeDate(6, 19, 2024));
    EXPECT_EQ(s.AdvanceWarned, 0);
    s.AdvanceWarnDate = MakeDate(6, 18, 2024);  // set by hand after the change
    EXPECT_FALSE(edit.Apply(s, on));
    EXPECT_EQ(s.AdvanceWarnDate, MakeDate(6, 18, 2024));

    // A new task gets the default once; inactive defaults never apply.
    Schedule n;
    n.Date = MakeDate(6, 10, 2024);
    n.Time = MakeTime(9, 0);
    WarningTracker insert;
    insert.Start(n, true);
    EXPECT_FALSE(insert.Apply(n, WarningDefaults{}));
    EXPECT_TRUE(insert.Apply(n, on));
    EXPECT_FALSE(insert.Apply(n, on));
}

TEST(TaskEditorRules, WarningAfterTheTaskIsCleared) {
    Schedule s;
    s.Date = MakeDate(6, 10, 2024);
    s.Time = MakeTime(9, 0);
    s.AdvanceWarnDate = s.Date;
    s.AdvanceWarnTime = MakeTime(9, 0);
    EXPECT_FALSE(ClearWarningAfterTask(s));
    s.AdvanceWarnTime = MakeTime(9, 1);
    EXPECT_TRUE(ClearWarningAfterTask(s));
    EXPECT_EQ(s.AdvanceWarnDate, 0);
    EXPECT_EQ(s.AdvanceWarnTime, 0);
    s.AdvanceWarnDate = s.Date + 1;
    s.AdvanceWarnTime = 1;
    EXPECT_TRUE(ClearWarningAfterTask(s));
}

TEST(TaskEditorRules, ProgramChoiceAlarmFileAndSave) {
    Schedule s;
    ApplyChosenProgram(s.Command, s.Path, "/opt/apps/tool");
    EXPECT_EQ(s.Command, "/opt/apps/tool");
    EXPECT_EQ(s.Path, "/opt/apps");
    ApplyChosenProgram(s.Command, s.Path, "/usr/bin/other");
    EXPECT_EQ(s.Command, "/usr/bin/other");
    EXPECT_EQ(s.Path, "/opt/apps");  // a start folder given stays
    s.Command = "/opt/apps/tool";
    Schedule bare;
    ApplyChosenProgram(bare.Command, bare.Path, "tool");
    EXPECT_EQ(bare.Path, "tool");
    EXPECT_TRUE(IsWavFile("/a/Ring.WAV"));
    EXPECT_FALSE(IsWavFile("/a/ring.wave"));

    EXPECT_EQ(FillAlarmFile(s, "/s/last.wav"), "");
    EXPECT_EQ(s.AlarmFile.str(), "/s/last.wav");
    EXPECT_EQ(FillAlarmFile(s, "/s/other.wav"), "/s/last.wav");

    PrepareForSave(s);
    EXPECT_EQ(s.Command, "/opt/apps/tool");
    Schedule script;
    PrepareForSave(script);
    EXPECT_EQ(script.Command, "N/A");
}

TEST(TaskEditorRules, TitlesAndWeekdayOverrides) {
    EXPECT_EQ(TaskTitle("New Task", "Backup ", false), "New Task  (Backup)");
    EXPECT_EQ(TaskTitle("Edit Task", "Backup", true), "View Task  (Backup)");
    Schedule s;
    s.ExceptOther = "Y     Y";
    auto days = ExceptDaysOf(s);
    EXPECT_TRUE(days[0] && days[6] && !days[1]);
    days[6] = false;
    SetExceptDays(s, days);
    EXPECT_EQ(s.ExceptOther, "Y      ");
}

TEST(TaskEditorRules, EasterBoundHolidays) {
    const int32_t today = MakeDate(1, 10, 2024);
    const int32_t easter = EasterDate(2024);  // 31 March 2024
    EXPECT_EQ(easter, MakeDate(3, 31, 2024));
    EXPECT_EQ(EasterHolidayDate(MakeDate(4, 1, 2023), "Good Friday", today), easter - 2);
    EXPECT_EQ(EasterHolidayDate(MakeDate(4, 1, 2023), "easter monday", today), easter + 1);
    EXPECT_EQ(EasterHolidayDate(MakeDate(1, 1, 2024), "Easter", today), easter);
    // Within the 30 days before Easter another name keeps its date; earlier it moves.
    EXPECT_EQ(EasterHolidayDate(easter - 20, "Palm time", today), easter - 20);
    EXPECT_EQ(EasterHolidayDate(easter - 40, "Palm time", today), easter);
    // Past this year's Easter the next year's counts.
    EXPECT_EQ(EasterHolidayDate(0, "Easter", MakeDate(5, 1, 2024)), EasterDate(2025));
}

TEST(CalendarGrid, MonthLayoutAndYearWrap) {
    // September 2001 starts on a Saturday and needs the sixth row.
    CalendarGrid g(MakeDate(9, 15, 2001), "None", "", nullptr);
    EXPECT_EQ(g.Caption(), "September 2001");
    EXPECT_EQ(g.Title(), "Select Date");
    EXPECT_EQ(g.FirstCell(), 6);
    EXPECT_EQ(g.LastCell(), 35);
    EXPECT_EQ(g.cells()[g.StartCell()].day, 15);
    // February 2015 starts on a Sunday in a common year: exactly four rows.
    CalendarGrid f(MakeDate(2, 1, 2015), "None", "", nullptr);
    EXPECT_EQ(f.FirstCell(), 0);
    EXPECT_EQ(f.LastCell(), 27);
    f.PreviousMonth();
    EXPECT_EQ(f.Caption(), "January 2015");

    CalendarGrid y(MakeDate(1, 5, 2099), "None", "", nullptr);
    y.NextYear();
    EXPECT_EQ(y.year(), 1801);
    y.PreviousYear();
    EXPECT_EQ(y.year(), 2099);
    y.PreviousMonth();
    y.NextMonth();
    y.NextMonth();
    EXPECT_EQ(y.month(), 2);
}

TEST(CalendarGrid, ScheduleModeGreysTheDaysTheTaskDoesNotAllow) {
    Schedule task;
    task.ScheduleType = "Day of Week";
    task.Monday = 1;
    CalendarGrid g(MakeDate(7, 1, 2024), "", "", &task);
    EXPECT_EQ(g.Title(), "Day of Week");
    int enabled = 0;
    for (const CalendarCell& c : g.cells())
        if (c.day) {
            EXPECT_EQ(c.enabled, Weekday(c.date) == 1) << c.day;
            enabled += c.enabled;
        }
    EXPECT_EQ(enabled, 5);  // the Mondays of July 2024
    CalendarGrid named(MakeDate(7, 1, 2024), "", "Select Date", &task);
    EXPECT_EQ(named.Title(), "Select Date");
    CalendarGrid none(MakeDate(7, 1, 2024), "None", "", &task);
    EXPECT_EQ(none.Title(), "Select Date");
    for (const CalendarCell& c : none.cells())
        if (c.day) { EXPECT_TRUE(c.enabled); }
}

}  // namespace
}  // namespace kr::tasks
