// The interpreter over the real run queue: due moments, the keep-item rule,
// Exit Script, skipped blocks, the tests, waits, messages, the steps that
// work in the background, unknown words and the services that are missing.
#include "ScriptTestSupport.h"
#include "dictionary/Dictionary.h"
#include "scheduler/DateValues.h"
#include "scheduler/TimerCycle.h"

#include <QCoreApplication>

namespace kr {
namespace {

using test::ScriptFixture;

class ScriptInterpreterTest : public ScriptFixture {};

TEST_F(ScriptInterpreterTest, AnItemDueExactlyNowRunsOnTheNextTick) {
    QueueTask(1, {Set("COUNT", "5")});
    const ScriptQueueEntry head = *ScriptQueue().First();
    clock_.Set(head.Date, head.Time);
    interpreter_.Step();
    EXPECT_EQ(Value("COUNT"), "<unset>");
    EXPECT_EQ(ScriptQueue().Count(), 2u);

    clock_.Advance(1);
    interpreter_.Step();
    EXPECT_EQ(Value("COUNT"), "5");
    ASSERT_EQ(ScriptQueue().Count(), 1u);
    EXPECT_EQ(ScriptLines(), std::vector<std::string>{"Set Value  COUNT = 5"});
    // One item per tick: the "**End**" item, already due, waits for the next.
    interpreter_.Step();
    EXPECT_TRUE(ScriptQueue().Empty());
}

TEST_F(ScriptInterpreterTest, ExitScriptEndsItsOwnTaskAndTheNextTaskRuns) {
    QueueTask(1, {Keys("a"), Item("Exit Script"), Keys("b")});
    QueueTask(2, {Keys("c")});
    RunToEnd();
    EXPECT_EQ(keys_.sent, (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(ScriptLines(), (std::vector<std::string>{"Send Keys  a", "**End**", "Send Keys  c", "**End**"}));
}

TEST_F(ScriptInterpreterTest, ExitScriptAsTheLastEntryEmptiesTheQueue) {
    ScriptQueueEntry e;
    e.Record = Item("Exit Script");
    e.Date = Today();
    e.Time = ClockTime();
    ScriptQueue().Append(e);
    e.Record = Keys("x");
    ScriptQueue().Append(e);
    Tick();
    EXPECT_TRUE(ScriptQueue().Empty());
    EXPECT_TRUE(keys_.sent.empty());
    EXPECT_TRUE(ScriptLines().empty());
}

TEST_F(ScriptInterpreterTest, AFailedTestSkipsNestedBlocksWhole) {
    Options().DebugMode = 1;
    Scripting ifWindow = Item("If Window...");
    ifWindow.WindowTitleToCheckFor = "Nowhere";
    ifWindow.WindowExistance = "Exists";
    QueueTask(1, {IfValue("FLAG", "=", "yes"), Set("A", "1"), ifWindow, Set("B", "1"), Item("...End If"),
                  Set("C", "1"), Item("...End If"), Set("D", "1")});
    RunToEnd();
    EXPECT_EQ(Value("A"), "<unset>");
    EXPECT_EQ(Value("B"), "<unset>");
    EXPECT_EQ(Value("C"), "<unset>");
    EXPECT_EQ(Value("D"), "1");
    EXPECT_EQ(ScriptLines(), (std::vector<std::string>{"If Value... *FALSE* FLAG = yes", "...End If",
                                                        "Set Value  D = 1", "**End**"}));
    // The skip and the nested skip each say so in debug mode.
    EXPECT_EQ(LoggedCount("Test failed"), 2);
}

TEST_F(ScriptInterpreterTest, ATrueTestRunsItsBlockAndLogsTwoLines) {
    SetScriptVariable("FLAG", "yes");
    QueueTask(1, {IfValue("FLAG", "=", "yes"), Set("A", "1"), Item("...End If")});
    RunToEnd();
    EXPECT_EQ(Value("A"), "1");
    EXPECT_EQ(ScriptLines(),
              (std::vector<std::string>{"If Value... *TRUE*FLAG = yes", "If Value...  FLAG = yes",
                                        "Set Value  A = 1", "...End If", "**End**"}));
}

TEST_F(ScriptInterpreterTest, ABlockWithoutItsEndIfRemovesTheTasksBehindIt) {
    QueueTask(1, {IfValue("FLAG", "=", "yes"), Set("A", "1")});
    QueueTask(2, {Set("B", "1")});
    RunToEnd();
    EXPECT_EQ(Value("A"), "<unset>");
    EXPECT_EQ(Value("B"), "<unset>");
    EXPECT_TRUE(ScriptQueue().Empty());
}

TEST_F(ScriptInterpreterTest, IfWindowComparesFoundWithWanted) {
    windows_.byTitle["Editor"] = 4000;
    Scripting exists = Item("If Window...");
    exists.WindowTitleToCheckFor = "editor";
    exists.WindowExistance = "Exists";
    Scripting missing = exists;
    missing.WindowExistance = "Does not exist";
    QueueTask(1, {exists, Set("A", "1"), Item("...End If"), missing, Set("B", "1"), Item("...End If")});
    RunToEnd();
    EXPECT_EQ(Value("A"), "1");
    EXPECT_EQ(Value("B"), "<unset>");
}

// "Greater than" holds before the moment, "Less than" after it; an untouched
// item (the form's cut default "Time elapsed is grea") reads as greater.
TEST_F(ScriptInterpreterTest, IfTimeElapsedReadsGreaterTheSameWayEverywhere) {
    struct Case {
        const char* condition;
        int reachedAfter;  // seconds after the script started
        bool runs;
    };
    const Case cases[] = {{"Greater than", 30, true},         {"Greater than", 90, false},
                          {"Less than", 30, false},           {"Less than", 90, true},
                          {"Time elapsed is grea", 30, true}, {"Time elapsed is grea", 90, false},
                          {"GREATER THAN", 30, true}};
    int task = 1;
    for (const Case& c : cases) {
        ScriptQueue().Free();
        ScriptValues().Clear();
        Scripting test = Item("If Time Elapsed...");
        test.IfTimeElapsed = c.condition;
        test.TimeElapsed = 60;
        QueueTask(task++, {test, Set("RAN", "1"), Item("...End If")});
        // The test's moment is 60 seconds after the item's own due moment.
        const ScriptQueueEntry head = *ScriptQueue().First();
        clock_.Set(head.Date, head.Time);
        clock_.Advance(static_cast<int64_t>(c.reachedAfter) * 100);
        interpreter_.Step();
        RunToEnd();
        EXPECT_EQ(Value("RAN") == "1", c.runs) << c.condition << " reached after " << c.reachedAfter;
    }
}

TEST_F(ScriptInterpreterTest, AMessageWithButtonsStoresTheButtonPressed) {
    Scripting ask = Item("Display Message");
    ask.SecondsToWait = 5;
    ask.DDEApplicationTopic = "Question [N]";
    ask.DDEApplicationName = "Go on?";
    ask.FocusOnWindow = "&Yes|&No";
    SetScriptVariable("N", "7");
    responder_.Answer(2);
    QueueTask(1, {ask});
    RunToEnd();
    EXPECT_EQ(Value("RESPONSE"), "2");
    const auto shown = responder_.shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].request.title, "Question 7");
    EXPECT_EQ(shown[0].request.text, "Go on?");
    EXPECT_EQ(shown[0].request.captions, (std::vector<std::string>{"&Yes", "&No"}));
    EXPECT_EQ(shown[0].request.icon, MessageIcon::Exclamation);

    // Without buttons: one OK, nothing stored.
    ScriptValues().Clear();
    ask.FocusOnWindow = "";
    QueueTask(2, {ask});
    RunToEnd();
    EXPECT_EQ(Value("RESPONSE"), "<unset>");
    EXPECT_TRUE(responder_.shown().back().request.captions.empty());
}

TEST_F(ScriptInterpreterTest, ATaskMessageNeverChangesTheSchedulersBuffer) {
    Schedule shown;
    int messages = 0;
    TaskRunnerHooks hooks;
    hooks.showTaskMessage = [&](const Schedule& task) {
        shown = task;
        ++messages;
    };
    SetTaskRunnerHooks(hooks);
    Schedule& buffer = Schedule_File().rec();
    buffer.ID = 9;
    buffer.Description = "Nightly backup";
    buffer.Alarm = 1;
    buffer.AlarmFile = "bell.wav";
    const Schedule before = buffer;

    Scripting say = Item("Display Message");
    say.DDEApplicationTopic = "Done at [COUNT]";
    say.DDEApplicationName = "All went well";
    SetScriptVariable("COUNT", "3");
    QueueTask(1, {say});
    RunToEnd();
    ASSERT_EQ(messages, 1);
    EXPECT_EQ(shown.Description.str(), "Done at 3");
    EXPECT_EQ(shown.Message, "All went well");
    EXPECT_EQ(shown.Alarm, 0);
    EXPECT_EQ(shown.AlarmFile.str(), "");
    EXPECT_EQ(Schedule_File().rec().Description.str(), before.Description.str());
    EXPECT_EQ(Schedule_File().rec().Alarm, 1);
    EXPECT_EQ(Schedule_File().rec().AlarmFile.str(), "bell.wav");
}

TEST_F(ScriptInterpreterTest, AnOrWaitTimesOutAndAWindowWaitEndsWhenTheWindowComes) {
    Scripting either = Item("Wait");
    either.SecondsToWait = 5;
    either.DDEApplicationName = "Either";
    either.WaitForWindow = "Never";
    QueueTask(1, {either, Set("AFTER", "1")});
    int ticks = 0;
    while (Value("AFTER") != "1" && ticks < 100) {
        Tick();
        ++ticks;
    }
    // Due after two delays (1 s), then 5 s less one delay: about six ticks.
    EXPECT_GE(ticks, 5);
    EXPECT_LE(ticks, 8);
    EXPECT_TRUE(windows_.focused.empty());

    Scripting forWindow = Item("Wait");
    forWindow.WaitForWindow = "Editor";
    QueueTask(2, {forWindow, Set("SEEN", "1")});
    for (int i = 0; i < 10; ++i) Tick();
    EXPECT_EQ(Value("SEEN"), "<unset>");
    EXPECT_TRUE(interpreter_.waitingForWindow());
    windows_.byTitle["Editor"] = 5000;
    Tick();
    EXPECT_EQ(windows_.focused, std::vector<ScriptWindow>{5000});
    EXPECT_FALSE(interpreter_.waitingForWindow());
    RunToEnd();
    EXPECT_EQ(Value("SEEN"), "1");
}

TEST_F(ScriptInterpreterTest, ATildeWaitEndsAsSoonAsNoWindowMatches) {
    windows_.byTitle["Saving"] = 6000;
    Scripting gone = Item("Wait");
    gone.WaitForWindow = "~Saving";
    QueueTask(1, {gone, Set("DONE", "1")});
    for (int i = 0; i < 10; ++i) Tick();
    EXPECT_EQ(Value("DONE"), "<unset>");
    windows_.byTitle.clear();
    RunToEnd();
    EXPECT_EQ(Value("DONE"), "1");
}

TEST_F(ScriptInterpreterTest, KeysStayInProgressUntilTyped) {
    QueueTask(1, {Keys("hello"), Set("AFTER", "1")});
    for (int i = 0; i < 5; ++i) Tick(false);
    EXPECT_EQ(keys_.sent, std::vector<std::string>{"hello"});
    EXPECT_TRUE(interpreter_.stepInProgress());
    EXPECT_EQ(ScriptQueue().First()->Record.Action.str(), "Send Keys");
    EXPECT_TRUE(ScriptLines().empty());
    keys_.Finish();
    RunToEnd();
    EXPECT_EQ(keys_.sent.size(), 1u);  // typed once
    EXPECT_EQ(Value("AFTER"), "1");
}

TEST_F(ScriptInterpreterTest, StoppingTheScriptStopsTheKeysBeingTyped) {
    // The program's own interpreter, as the frame's Stop reaches it.
    ScriptInterpreter& program = ProgramScriptInterpreter();
    const auto tick = [&](bool finishKeys) {
        clock_.Advance(100);
        if (finishKeys) keys_.Finish();
        program.Step();
    };
    QueueTask(1, {Keys("long text"), Keys("more")});
    for (int i = 0; i < 3; ++i) tick(false);
    ASSERT_TRUE(program.stepInProgress());
    StopActiveScripts();
    EXPECT_TRUE(ScriptQueue().Empty());
    EXPECT_EQ(keys_.cancels, 1);
    EXPECT_FALSE(program.stepInProgress());
    // A new script starts afresh.
    QueueTask(2, {Keys("next")});
    for (int n = 0; !ScriptQueue().Empty() && n < 200; ++n) tick(true);
    EXPECT_EQ(keys_.sent.back(), "next");
}

TEST_F(ScriptInterpreterTest, UnknownWordsAreReportedAndCommentsDoNothing) {
    QueueTask(1, {Item("Foo"), Item("Comment"), Set("AFTER", "1")});
    RunToEnd();
    const auto shown = responder_.shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].request.text, "Invalid script option:  Foo");
    EXPECT_EQ(shown[0].request.title, "Script Error");
    EXPECT_EQ(Value("AFTER"), "1");
    EXPECT_EQ(ScriptLines(),
              (std::vector<std::string>{"Foo", "Comment", "Set Value  AFTER = 1", "**End**"}));
}

TEST_F(ScriptInterpreterTest, StepsWithoutTheirServiceSayTheyAreNotAvailable) {
    InstallScriptWindowService(nullptr);
    InstallKeystrokeService(nullptr);
    Scripting focus = Item("Set Focus");
    focus.FocusOnWindow = "Editor";
    Scripting wait = Item("Wait");
    wait.WaitForWindow = "Editor";
    Scripting file = Item("File Actions");
    file.DDEType = "Copy";
    Scripting start = Item("Start Script");
    start.Command = "x.krs";
    QueueTask(1, {Keys("a"), focus, wait, file, start, Set("AFTER", "1")});
    RunToEnd();
    EXPECT_EQ(Value("AFTER"), "1");
    for (const char* a : {"Send Keys", "Set Focus", "Wait", "File Actions", "Start Script"})
        EXPECT_TRUE(Logged("Script Error", std::string(a) + " is not available")) << a;
}

TEST_F(ScriptInterpreterTest, CloseProgramNeverClosesKairollsOwnWindow) {
    windows_.foreground = {7000, "Kairoll 2000", "KR98", true};
    QueueTask(1, {Item("Close Program")});
    RunToEnd();
    EXPECT_TRUE(windows_.closed.empty());
    EXPECT_TRUE(Logged("Script", "Close Program: the window with the focus is Kairoll's own (Kairoll 2000); "
                                 "nothing closed"));

    windows_.foreground = {7100, "Untitled - Editor", "editor", false};
    QueueTask(2, {Item("Close Program")});
    RunToEnd();
    EXPECT_EQ(windows_.closed, std::vector<ScriptWindow>{7100});
    EXPECT_TRUE(Logged("Script", "Close Program  Window with focus"));
}

TEST_F(ScriptInterpreterTest, BackgroundFileActionsKeepTheirResult) {
    struct Files : FileActionService {
        FileActionRequest last;
        std::function<void(int32_t)> done;
        bool Start(const FileActionRequest& r, std::function<void(int32_t)> d) override {
            last = r;
            done = std::move(d);
            return true;
        }
    } files;
    InstallFileActionService(&files);
    Scripting copy = Item("File Actions");
    copy.DDEType = "Copy";
    copy.Command = "a.txt";
    copy.Path = "b.txt";
    QueueTask(1, {copy, Set("AFTER", "1")});
    for (int i = 0; i < 4; ++i) Tick();
    EXPECT_EQ(files.last.operation, "Copy");
    EXPECT_EQ(files.last.parameter2, "b.txt");
    EXPECT_EQ(Value("AFTER"), "<unset>");
    files.done(2);
    RunToEnd();
    EXPECT_EQ(interpreter_.lastFileActionResult(), 2);
    EXPECT_EQ(Value("AFTER"), "1");
    EXPECT_TRUE(Logged("Script", "File Actions  Copy a.txt to b.txt"));
}

TEST_F(ScriptInterpreterTest, StartScriptKeepsTheHeadItPutInFront) {
    struct Starter : StartScriptService {
        bool StartScript(std::string_view file, std::string_view mode) override {
            EXPECT_EQ(file, "more.krs");
            EXPECT_EQ(mode, "Insert (Execute and continue)");
            // In place of the head: an item that is itself "Start Script"
            // must survive to run on the next tick.
            ScriptQueue().With([](std::deque<ScriptQueueEntry>& q) {
                ScriptQueueEntry e = q.front();
                e.Record = Item("Set Value");
                e.Record.Path = "INSERTED";
                e.Record.Command = "1";
                q.front() = e;
            });
            return true;
        }
    } starter;
    InstallStartScriptService(&starter);
    Scripting start = Item("Start Script");
    start.Command = "more.krs";
    start.Path = "Insert (Execute and continue)";
    QueueTask(1, {start});
    RunToEnd();
    EXPECT_EQ(Value("INSERTED"), "1");
}

}  // namespace
}  // namespace kr

namespace kr {
namespace {

using test::ScriptFixture;

class ScriptInCycleTest : public ScriptFixture {};

TEST_F(ScriptInCycleTest, SendEmailWaitsForTheSendsAnswer) {
    Scripting mail = Item("Send Email");
    mail.EmailID = 42;  // no such message: the send fails
    QueueTask(1, {mail, Set("AFTER", "[EMAILEXITCODE]")});
    Tick();
    Tick();
    ASSERT_TRUE(interpreter_.stepInProgress());
    EXPECT_EQ(Value("EMAILEXITCODE"), "<unset>");  // answered through the event loop only
    QCoreApplication::processEvents();
    RunToEnd();
    EXPECT_NE(Value("EMAILEXITCODE"), "<unset>");
    EXPECT_NE(Value("EMAILEXITCODE"), "0");
    EXPECT_EQ(Value("AFTER"), Value("EMAILEXITCODE"));
    EXPECT_EQ(std::to_string(interpreter_.lastEmailResult()), Value("EMAILEXITCODE"));
}

// The real interpreter behind the timer cycle: the queue runs empty and the
// tray and the script indicator go back to idle.
TEST_F(ScriptInCycleTest, TheTrayComesBackToIdleWhenTheScriptHasRun) {
    TimerCycle cycle;
    std::vector<std::string> icons;
    std::string indicator = "?";
    cycle.hooks().scriptStep = [&] { interpreter_.Step(); };
    cycle.hooks().setTrayIcon = [&](const std::string& i) { icons.push_back(i); };
    cycle.hooks().setScriptIndicator = [&](const std::string& i) { indicator = i; };
    cycle.Start();
    QueueTask(1, {Set("A", "1"), Set("B", "2")});
    for (int i = 0; i < 10; ++i) {
        clock_.Advance(100);
        cycle.TimerTick();
    }
    cycle.Stop();
    EXPECT_TRUE(ScriptQueue().Empty());
    EXPECT_EQ(Value("B"), "2");
    ASSERT_FALSE(icons.empty());
    EXPECT_NE(icons.front(), "tray_ico");
    EXPECT_EQ(icons.back(), "tray_ico");
    EXPECT_EQ(indicator, "");
}

}  // namespace
}  // namespace kr
