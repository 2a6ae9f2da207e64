// The timer cycle over real tables: a day of ticks, the skip rules and their
// questions, history copies, completed tasks, the next-task check's edge
// cases, the rotation and the date-jump warning.
#include <algorithm>

#include "CycleFixture.h"

namespace kr::test {
namespace {

using ::testing::ElementsAre;

TEST_F(CycleTest, ADayOfTicksRunsEachDueTaskOnceInDateOrderWithHistory) {
    clock_.Set(D(2024, 7, 1), T(0, 0));
    cycle_.Start();
    const int32_t sixHourly = Add(Every(6, "hour(s)", D(2024, 7, 1), T(3, 0), "Every six hours"));
    const int32_t daily = Add(Every(1, "day(s)", D(2024, 7, 1), T(9, 0), "Daily at nine"));
    Schedule once = Once(D(2024, 7, 1), T(12, 30), "Lunch");
    once.TaskType = "Display Message";
    once.Message = "Time for lunch";
    const int32_t lunch = Add(once);
    Schedule later = Every(1, "day(s)", D(2024, 7, 3), T(9, 0), "Not today");
    Add(later);

    Ticks(86400);  // one tick a second from midnight to midnight

    std::vector<std::string> order;
    for (const RunRecord& r : runs_) {
        order.push_back(r.description);
        EXPECT_EQ(r.date, D(2024, 7, 1));
    }
    EXPECT_THAT(order, ElementsAre("Every six hours", "Every six hours", "Daily at nine", "Lunch",
                                   "Every six hours", "Every six hours"));
    // Each ran within one rotation (four seconds) of its due moment.
    const int32_t due[] = {T(3, 0), T(9, 0), T(9, 0), T(12, 30), T(15, 0), T(21, 0)};
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        EXPECT_GE(runs_[i].time, due[i]) << i;
        EXPECT_LE(runs_[i].time, due[i] + 400 + 400) << i;  // two tasks due at nine run one check apart
    }
    EXPECT_EQ(runs_[3].kind, "message");

    // The tasks moved on; the one-off lunch stays, done, at its moment.
    EXPECT_EQ(Fetch(sixHourly).Date, D(2024, 7, 2));
    EXPECT_EQ(Fetch(sixHourly).Time, T(3, 0));
    EXPECT_EQ(Fetch(daily).Date, D(2024, 7, 2));
    const Schedule l = Fetch(lunch);
    EXPECT_TRUE(l.Completed && l.Disabled);
    EXPECT_EQ(l.Date, D(2024, 7, 1));
    EXPECT_EQ(l.Time, T(12, 30));

    // One history copy per run of a repeating task, completed at the run's due moment.
    std::vector<int32_t> historyTimes;
    for (const Schedule& s : All()) {
        if (s.ID <= 4) continue;
        EXPECT_TRUE(s.Completed && s.Disabled) << s.ID;
        EXPECT_EQ(s.LastRunDate, D(2024, 7, 1));
        EXPECT_FALSE(s.Skipped);
        EXPECT_TRUE(s.AdvanceWarned) << "a history copy is never warned";
        historyTimes.push_back(s.Time);
    }
    EXPECT_THAT(historyTimes, ElementsAre(T(3, 0), T(9, 0), T(9, 0), T(15, 0), T(21, 0)));
    EXPECT_TRUE(Log().empty());  // runs are logged by the runner, not the cycle
    EXPECT_EQ(trayTip_, "Kairoll 2000 - Every six hours " + Format(Value(D(2024, 7, 2)), "@D3") + " " +
                            Format(Value(T(3, 0)), "@T7"));
}

TEST_F(CycleTest, EveryDayOfWeekTaskMovesToTomorrowAfterItRunsAndRunsAgain) {
    // Made at 5:07 for 5:08 the way the task form leaves a new "Day of Week"
    // task: every day ticked.
    clock_.Set(D(2026, 12, 9), T(5, 7));
    cycle_.Start();
    Schedule s = Every(1, "hour(s)", D(2026, 12, 9), T(5, 8), "Every day");
    s.ScheduleType = "Day of Week";
    s.Sunday = s.Monday = s.Tuesday = s.Wednesday = s.Thursday = s.Friday = s.Saturday = 1;
    const int32_t id = Add(s);
    Ticks(120);
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(Fetch(id).Date, D(2026, 12, 10));
    EXPECT_EQ(Fetch(id).Time, T(5, 8));
    clock_.Set(D(2026, 12, 10), T(5, 7));
    Ticks(120);
    EXPECT_EQ(runs_.size(), 2u);
    EXPECT_EQ(Fetch(id).Date, D(2026, 12, 11));
}

TEST_F(CycleTest, OverdueTaskWithSkipIfMissedIsSkippedLoggedAndRecorded) {
    // Due ten minutes and one hundredth ago.
    Schedule late = Every(1, "day(s)", D(2024, 7, 1), T(8, 0) - 60001, "Too late");
    late.SkipIfMissed = 1;
    late.Alarm = 1;
    late.AlarmFile = "ring.wav";
    const int32_t lateID = Add(late);
    // Due exactly ten minutes ago: still runs.
    Schedule inTime = Every(1, "day(s)", D(2024, 7, 1), T(7, 50), "Just in time");
    inTime.SkipIfMissed = 1;
    Add(inTime);

    CheckNow();
    CheckNow();

    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(runs_[0].description, "Just in time");
    EXPECT_THAT(sounds_, ElementsAre("ring.wav"));  // the alarm sounds before the skip rules
    ASSERT_EQ(Log().size(), 1u);
    EXPECT_EQ(Log()[0].label, "Overdue task skipped");
    EXPECT_EQ(Log()[0].text, "Too late");

    const Schedule moved = Fetch(lateID);
    EXPECT_EQ(moved.Date, D(2024, 7, 2));
    EXPECT_EQ(moved.LastRunDate, D(2024, 7, 1));
    EXPECT_EQ(moved.LastRunTime, T(8, 0));
    bool sawSkippedCopy = false;
    for (const Schedule& s : All())
        if (s.Description.str() == "(Skipped) Too late") {
            sawSkippedCopy = true;
            EXPECT_TRUE(s.Skipped);
            EXPECT_EQ(s.Time, T(8, 0) - 60001);
        }
    EXPECT_TRUE(sawSkippedCopy);
}

TEST_F(CycleTest, TaskIsSkippedWhileAScriptRuns) {
    Schedule s = Every(1, "day(s)", D(2024, 7, 1), T(8, 0), "Wait for the script");
    s.SkipIfScriptActive = 1;
    Add(s);
    ScriptQueueEntry e;
    e.Record.Action = "Send Keys";
    e.Date = D(2024, 7, 1);
    e.Time = T(9, 0);
    ScriptQueue().Append(e);

    CheckNow();

    EXPECT_TRUE(runs_.empty());
    ASSERT_EQ(Log().size(), 1u);
    EXPECT_EQ(Log()[0].label, "Task skipped during script");
    EXPECT_EQ(Log()[0].text, "Wait for the script");
}

TEST_F(CycleTest, MissedAndConfirmQuestionsSkipOnNo) {
    clock_.Set(D(2024, 7, 3), T(8, 0));
    Schedule missed = Every(1, "day(s)", D(2024, 7, 1), T(7, 0), "Backup job");
    missed.Warn = 1;
    Add(missed);
    Schedule message = missed;  // a message is never asked about
    message.TaskType = "Display Message";
    message.Description = "Reminder";
    message.Time = T(7, 1);
    Add(message);
    Schedule confirm = Every(1, "day(s)", D(2024, 7, 3), T(7, 2), "Ask first");
    confirm.UserSkip = 1;
    Add(confirm);

    responder_.Answer(kButtonNo);
    responder_.Answer(kButtonNo);
    CheckNow();
    CheckNow();
    CheckNow();

    const auto shown = responder_.shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].request.title, "Missed Task");
    EXPECT_EQ(shown[0].request.text, "Backup job was not run.  Run it now?");
    EXPECT_EQ(shown[0].request.icon, MessageIcon::Exclamation);
    EXPECT_EQ(shown[0].request.defaultButton, kButtonNo);
    EXPECT_EQ(shown[1].request.title, "Confirm Task");
    EXPECT_EQ(shown[1].request.text, "Ask first is due to run.  Run it now?");
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(runs_[0].description, "Reminder");
    EXPECT_THAT(LogLabels(), ElementsAre("Missed task skipped", "Task skipped"));
}

TEST_F(CycleTest, MissedTaskCountsSkipIfDaysPassedFromItsDueMoment) {
    cycle_.settings().SkipIfDaysPassed = 2;
    clock_.Set(D(2024, 7, 3), T(8, 0));
    Schedule s = Every(1, "day(s)", D(2024, 7, 1), T(8, 0), "Two days ago");
    s.Warn = 1;
    Add(s);
    CheckNow();  // exactly two days: not missed, runs without a question
    EXPECT_TRUE(responder_.shown().empty());
    ASSERT_EQ(runs_.size(), 1u);
}

TEST_F(CycleTest, QuestionHoldsTheCycleSoLaterTicksDoNotAskAgain) {
    Schedule s = Every(1, "day(s)", D(2024, 7, 1), T(8, 0), "Asked once");
    s.UserSkip = 1;
    Add(s);
    int asked = 0;
    responder_.onShow = [&](const MessageRequest&) -> std::optional<int> {
        ++asked;
        // Ticks that arrive while the question waits (the nested event loop).
        for (int i = 0; i < 10; ++i) cycle_.TimerTick();
        return kButtonYes;
    };
    CheckNow();
    Ticks(8, 0);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(cycle_.refusedTicks(), 10);
    EXPECT_EQ(runs_.size(), 1u);
}

TEST_F(CycleTest, SkipNextTimeIsNeitherAlarmedNorRunNorRecorded) {
    Schedule s = Every(1, "day(s)", D(2024, 7, 1), T(8, 0), "Skip this once");
    s.SkipNextTime = 1;
    s.Alarm = 1;
    s.AlarmFile = "BEEP";
    const int32_t id = Add(s);
    CheckNow();
    EXPECT_TRUE(runs_.empty());
    EXPECT_TRUE(sounds_.empty());
    const Schedule moved = Fetch(id);
    EXPECT_EQ(moved.Date, D(2024, 7, 2));
    EXPECT_FALSE(moved.SkipNextTime);
    EXPECT_EQ(All().size(), 1u);  // no history copy
}

TEST_F(CycleTest, BeepAlarmAndTaskDueYesterdayCountsFromMidnight) {
    clock_.Set(D(2024, 7, 2), T(9, 0));
    Schedule s = Every(1, "day(s)", D(2024, 7, 1), T(7, 0), "Morning");
    s.SkipIfMissed = 1;
    s.Alarm = 1;
    s.AlarmFile = "beep ";
    const int32_t id = Add(s);
    CheckNow();
    EXPECT_THAT(sounds_, ElementsAre("<beep>"));
    // From today 0:00, not from now: today at seven, already past.
    EXPECT_EQ(Fetch(id).Date, D(2024, 7, 2));
    EXPECT_EQ(Fetch(id).Time, T(7, 0));
}

TEST_F(CycleTest, OnceTaskWithoutHistoryGoesWithItsScript) {
    Schedule s = Once(D(2024, 7, 1), T(8, 0), "One-off");
    s.NoHistory = 1;
    const int32_t id = Add(s);
    AddItem(id, "Send Keys");
    AddItem(id, "Wait");
    Schedule kept = Once(D(2024, 7, 1), T(8, 0), "One-off kept");
    const int32_t keptID = Add(kept);
    AddItem(keptID, "Send Keys");

    CheckNow();
    CheckNow();

    Schedule gone;
    EXPECT_NE(store_->Fetch(id, gone), 0);
    EXPECT_EQ(ItemsOf(id), 0);
    const Schedule done = Fetch(keptID);
    EXPECT_TRUE(done.Completed && done.Disabled);
    EXPECT_EQ(done.Date, D(2024, 7, 1));
    EXPECT_EQ(done.Time, T(8, 0));
    EXPECT_EQ(ItemsOf(keptID), 0);  // SaveScripts off
    EXPECT_EQ(All().size(), 1u);    // a completed task gets no history copy
}

TEST_F(CycleTest, SaveScriptsKeepsItemsAndCopiesThemToHistory) {
    cycle_.settings().SaveScripts = true;
    const int32_t id = Add(Every(1, "day(s)", D(2024, 7, 1), T(8, 0), "Scripted"));
    AddItem(id, "Send Keys");
    AddItem(id, "Wait");
    CheckNow();
    ASSERT_EQ(All().size(), 2u);
    const int32_t copy = All()[1].ID;
    EXPECT_EQ(ItemsOf(id), 2);
    EXPECT_EQ(ItemsOf(copy), 2);
}

TEST_F(CycleTest, AdvanceWarningMovesWithTheTask) {
    Schedule s = Every(1, "day(s)", D(2024, 7, 1), T(8, 0), "Warned");
    s.AdvanceWarnDate = D(2024, 6, 30);
    s.AdvanceWarnTime = T(7, 0);
    s.AdvanceWarned = 1;
    const int32_t id = Add(s);
    CheckNow();
    const Schedule next = Fetch(id);
    EXPECT_EQ(next.AdvanceWarnDate, D(2024, 7, 1));
    EXPECT_EQ(next.AdvanceWarnTime, T(7, 0));
    EXPECT_FALSE(next.AdvanceWarned);
    const Schedule history = All()[1];
    EXPECT_EQ(history.AdvanceWarnDate, D(2024, 6, 30));
    EXPECT_EQ(history.AdvanceWarnTime, T(7, 0));
}

TEST_F(CycleTest, AdvanceWarningCarriedBackOverMidnightIsARealMoment) {
    // Warned half an hour ahead; the next run is at midnight, so the warning
    // falls on the evening before, not at a negative time of the new day.
    Schedule s = Every(16, "hour(s)", D(2024, 7, 1), T(8, 0), "Late warning");
    s.AdvanceWarnDate = D(2024, 7, 1);
    s.AdvanceWarnTime = T(7, 30);
    const int32_t id = Add(s);
    CheckNow();
    const Schedule next = Fetch(id);
    EXPECT_EQ(next.Date, D(2024, 7, 2));
    EXPECT_EQ(next.Time, T(0, 0));
    EXPECT_EQ(next.AdvanceWarnDate, D(2024, 7, 1));
    EXPECT_EQ(next.AdvanceWarnTime, T(23, 30));
}

TEST_F(CycleTest, TimePastMidnightIsStoredNormalisedAndRunsOnTheNextPass) {
    const int32_t id = Add(Every(1, "day(s)", D(2024, 6, 30), kTicksPerDay + T(8, 0) - 1, "Overflowing"));
    CheckNow();
    EXPECT_TRUE(runs_.empty());
    EXPECT_EQ(Fetch(id).Date, D(2024, 7, 1));
    EXPECT_EQ(Fetch(id).Time, T(8, 0) - 1);
    CheckNow();
    EXPECT_EQ(runs_.size(), 1u);
}

TEST_F(CycleTest, NoTaskPendingAndUndatedOrDisabledTasksAreNotRun) {
    Schedule undated = Every(1, "day(s)", 0, 0, "No date yet");
    Add(undated);
    Schedule disabled = Every(1, "day(s)", D(2024, 7, 1), T(7, 0), "Switched off");
    disabled.Disabled = 1;
    Add(disabled);
    CheckNow();
    EXPECT_TRUE(runs_.empty());
    EXPECT_EQ(cycle_.nextTaskText(), kNoTasksPending);
    EXPECT_EQ(trayTip_, "Kairoll 2000");
    EXPECT_EQ(zone2_, "No tasks pending");

    Add(Every(1, "day(s)", D(2024, 7, 2), T(7, 0), "A task with a rather long description text"));
    CheckNow();
    EXPECT_EQ(cycle_.nextTaskText(), "Next: A task with a rather long descript");
    EXPECT_TRUE(runs_.empty());
}

TEST_F(CycleTest, RotationRunsEachCheckEveryFourTicksAndAppliesNoTray) {
    int warnings = 0, history = 0;
    std::vector<bool> hideToTray;
    cycle_.hooks().checkAdvanceWarnings = [&] { ++warnings; };
    cycle_.hooks().removeHistory = [&] { return ++history == 1; };
    cycle_.hooks().setHideToTray = [&](bool on) { hideToTray.push_back(on); };
    Ticks(8);
    EXPECT_EQ(warnings, 2);
    EXPECT_EQ(history, 2);
    EXPECT_EQ(notified_, 1);  // the history check that ran
    EXPECT_THAT(hideToTray, ElementsAre(true));
    cycle_.settings().NoTray = true;
    Ticks(4);
    EXPECT_THAT(hideToTray, ElementsAre(true, false));
    EXPECT_EQ(caption_, "Kairoll 2000");

    // Inactive: no check runs; the title and the status say so.
    cycle_.settings().StartUpActive = false;
    Add(Every(1, "day(s)", D(2024, 7, 1), T(7, 0), "Not while inactive"));
    Ticks(8);
    EXPECT_EQ(warnings, 3);
    EXPECT_TRUE(runs_.empty());
    EXPECT_EQ(caption_, "Kairoll 2000 (Inactive)");
    EXPECT_EQ(zone2_, "Inactive");
}

TEST_F(CycleTest, QueuedScriptDrivesStatusIndicatorAndBusyTray) {
    int steps = 0;
    bool viewer = false;
    std::string indicator;
    cycle_.hooks().scriptStep = [&] {
        if (++steps == 3) ScriptQueue().Free();
    };
    cycle_.hooks().enableViewScript = [&](bool on) { viewer = on; };
    cycle_.hooks().setScriptIndicator = [&](const std::string& i) { indicator = i; };
    cycle_.hooks().describeScriptItem = [](const Scripting& s) { return "typing " + s.Keystrokes.str(); };
    ScriptQueueEntry e;
    e.Record.Action = "Send Keys";
    e.Record.Keystrokes = "abc";
    e.Time = T(9, 15);
    ScriptQueue().Append(e);
    SetStatusPrefix("Waiting");

    cycle_.TimerTick();
    EXPECT_TRUE(viewer);
    EXPECT_EQ(indicator, "*");
    EXPECT_EQ(zone2_, "Send Keys typing abc " + Format(Value(T(9, 15)), "@T7"));
    EXPECT_EQ(StatusPrefix(), "");  // shown once, then cleared
    Ticks(4);
    EXPECT_EQ(steps, 3);
    EXPECT_FALSE(viewer);
    EXPECT_EQ(indicator, "");
    EXPECT_THAT(trayIcons_, ElementsAre("traybus2_ico", "traybusy_ico", "traybus2_ico", "tray_ico", "tray_ico"));

    // Inactive, a script runs only when a list asked for it.
    cycle_.settings().StartUpActive = false;
    ScriptQueue().Append(e);
    Ticks(2);
    EXPECT_EQ(steps, 3);
    ScriptsRequested() = true;
    Ticks(1);
    EXPECT_EQ(steps, 4);
    ScriptQueue().Free();
    Ticks(1);
    EXPECT_FALSE(ScriptsRequested());
}

TEST_F(CycleTest, ForwardDateJumpWarnsAndStartsTheBackup) {
    Ticks(4);  // a first rotation on the start day
    clock_.Set(D(2024, 7, 5), T(10, 0));
    Ticks(4);
    EXPECT_THAT(started_, ElementsAre("VXWBACK.EXE KR97.TPS"));
    const auto shown = responder_.shown();
    ASSERT_EQ(shown.size(), 1u);
    const MessageRequest& r = shown[0].request;
    EXPECT_EQ(r.title, "Warning");
    EXPECT_EQ(r.buttons, kButtonOk);
    EXPECT_EQ(r.text, "Warning!||You have set the system date forward more than 3 days.||Tasks scheduled prior to " +
                          Format(Value(D(2024, 7, 5)), "@D17") + " " + Format(Value(T(10, 0)), "@T7") +
                          " will be executed immediately.  We recommend that you make a backup or change the date "
                          "back to " +
                          Format(Value(D(2024, 7, 1)), "@D17") + " before pressing OK (on this warning message).");
    EXPECT_EQ(cycle_.lastKnownDate(), D(2024, 7, 5));

    // Three days forward, or a date set back, warn of nothing.
    clock_.Set(D(2024, 7, 8), T(10, 0));
    Ticks(4);
    clock_.Set(D(2024, 6, 1), T(10, 0));
    Ticks(4);
    EXPECT_EQ(started_.size(), 1u);
    EXPECT_EQ(responder_.shown().size(), 1u);
}

TEST_F(CycleTest, DaysPassingWhileRunningNeverWarn) {
    // Six days of ticks, one every ten minutes.
    Ticks(6 * 24 * 6, 60000);
    EXPECT_TRUE(started_.empty());
    EXPECT_TRUE(responder_.shown().empty());
    EXPECT_EQ(cycle_.lastKnownDate(), Today());
}

}  // namespace
}  // namespace kr::test
