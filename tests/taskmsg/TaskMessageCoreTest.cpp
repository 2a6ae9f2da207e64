// The task message without windows: the hand-over through MsgLink to a real
// program, the fallbacks when it is absent, the plain box at 60 threads, the
// snooze and to-do writes over a real data file, ExecuteTaskNow and the
// message task made from a to-do item.
#include "TaskMessageFixture.h"

#include "platform/runtime/ErrorCodes.h"
#include "scheduler/ScriptValues.h"

namespace kr::test {
namespace {

TEST_F(TaskMessageTest, HandOverWritesTranslatedRecordsWithGrowingIDsAndStartsTheProgram) {
    WriteMessageProgram(0);
    ScriptValues().Put("WHO", "Ann");
    int threads = 0;
    MessageDisplay d;
    d.startMessageThread = [&](const TaskMessageCopy&) { ++threads; };
    SetMessageDisplay(d);

    ShowTaskMessage_Display(MessageTask("Call [WHO]", "Ring [WHO] back", "ring.wav"));
    Schedule silent = MessageTask("Second", "text", "ring.wav");
    silent.Alarm = 0;  // an alarm file without the alarm flag is not handed over
    ShowTaskMessage_Display(silent);

    const std::vector<MsgLink> links = MsgLinks();
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].ID, 1);
    EXPECT_EQ(links[0].Title, "Call Ann");
    EXPECT_EQ(links[0].Message, "Ring Ann back");
    EXPECT_EQ(links[0].AlarmFile, "ring.wav");
    EXPECT_EQ(links[1].ID, 2);
    EXPECT_EQ(links[1].AlarmFile, "");
    // The programs are started without waiting and run side by side: wait
    // for both traces, in whichever order they were written.
    auto traced = [&] {
        const std::string a = ProgramArgs();
        return a.find("ID=1\n") != std::string::npos && a.find("ID=2\n") != std::string::npos;
    };
    for (int i = 0; i < 500 && !traced(); ++i) usleep(10000);
    EXPECT_TRUE(traced()) << ProgramArgs();
    EXPECT_EQ(ProgramArgs().size(), std::string("ID=1\nID=2\n").size()) << ProgramArgs();
    EXPECT_EQ(threads, 0);
    EXPECT_TRUE(responder_.shown().empty());
}

TEST_F(TaskMessageTest, AbsentProgramLeavesBothRecordsAndShowsTheMessageHere) {
    // No display installed: the message thread's steps run inline and end
    // in the plain box.
    ShowTaskMessage_Display(MessageTask("Dentist", "At ten"));
    const std::vector<MsgLink> links = MsgLinks();
    ASSERT_EQ(links.size(), 2u);  // one by the timer, one by the message thread
    EXPECT_EQ(links[1].ID, 2);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "Dentist");
    EXPECT_EQ(responder_.shown()[0].request.text, "At ten");
}

TEST_F(TaskMessageTest, FailingProgramAndThreadDisplayChoices) {
    WriteMessageProgram(0);
    std::vector<std::string> calls;
    MessageDisplay d;
    d.startMessageThread = [&](const TaskMessageCopy& m) { calls.push_back("thread " + m.Title.str()); };
    d.showModalMessage = [&](const TaskMessageCopy& m) { calls.push_back("modal " + m.Title.str()); };
    d.showMessageNormal = [&](const TaskMessageCopy& m) { calls.push_back("normal " + m.Title.str()); };
    SetMessageDisplay(d);
    SetMessageProgramRunner([](const std::string&) { return int(kFileNotFound); });

    ShowTaskMessage_Display(MessageTask("A", "a"));  // hand-over fails: message thread
    Options().UseExternalMessage = 0;
    Options().UseModalMessage = 1;
    ShowTaskMessage_Display(MessageTask("B", "b"));  // modal on the calling thread
    Options().UseModalMessage = 0;
    ShowTaskMessage_Display(MessageTask("C", "c"));  // message thread
    EXPECT_EQ(calls, (std::vector<std::string>{"thread A", "modal B", "thread C"}));
    EXPECT_EQ(MsgLinks().size(), 1u);  // only the first went to MsgLink

    // Inside the thread: normal window, modal window, or the plain box.
    calls.clear();
    TaskMessageCopy m;
    m.Title = "T";
    m.Message = "t";
    MessageThreadBody(m);
    Options().UseModalMessage = 1;
    MessageThreadBody(m);
    Options().UseWinMessage = 1;
    MessageThreadBody(m);
    EXPECT_EQ(calls, (std::vector<std::string>{"normal T", "modal T"}));
    EXPECT_EQ(Titles(), (std::vector<std::string>{"T"}));
}

TEST_F(TaskMessageTest, SixtyThreadsGiveAPlainBoxAndLongTextsAreCut) {
    Options().UseExternalMessage = 0;
    std::string shownText;
    MessageDisplay d;
    d.startMessageThread = [&](const TaskMessageCopy& m) { shownText = m.Message.str(); };
    SetMessageDisplay(d);
    const std::string longText(3000, 'x');
    ShowTaskMessage_Display(MessageTask("Long", longText.c_str()));
    EXPECT_EQ(shownText.size(), 1024u);
    EXPECT_EQ(MessageGlobals().MessageTitle, "Long");

    shownText.clear();
    MessageThreadCount() = kMaxMessageThreads;
    ShowTaskMessage_Display(MessageTask("Sixty-first", longText.c_str()));
    EXPECT_TRUE(shownText.empty());
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "Sixty-first");
    EXPECT_EQ(responder_.shown()[0].request.text.size(), 3000u);  // the box shows it whole
}

TEST_F(TaskMessageTest, SnoozeFilesAOneOffTaskAfterTheInterval) {
    TaskMessageCopy m;
    m.Title = "Tea";
    m.Message = "Kettle";
    m.AlarmFile = "bell.wav";
    ASSERT_EQ(SnoozeMessage(m), 0);  // interval 0: ten minutes
    Options().SnoozeInterval = 5;
    m.AlarmFile = "";
    ASSERT_EQ(SnoozeMessage(m), 0);
    clock_.Set(MakeDate(6, 15, 2026), MakeTime(23, 58));
    ASSERT_EQ(SnoozeMessage(m), 0);  // past midnight: the next day

    const std::vector<Schedule> tasks = Tasks();
    ASSERT_EQ(tasks.size(), 3u);
    const Schedule& a = tasks[0];
    EXPECT_EQ(a.ID, 1);
    EXPECT_EQ(a.TaskType, "Display Message");
    EXPECT_EQ(a.Category, "Snooze");
    EXPECT_EQ(a.ScheduleType, "Once");
    EXPECT_EQ(a.Description, "Tea");
    EXPECT_EQ(a.Message, "Kettle");
    EXPECT_EQ(a.SkipIfMissed, 1);
    EXPECT_EQ(a.Alarm, 1);
    EXPECT_EQ(a.AlarmFile, "bell.wav");
    EXPECT_EQ(a.Date, MakeDate(6, 15, 2026));
    EXPECT_EQ(a.Time, MakeTime(9, 40));
    EXPECT_EQ(tasks[1].Time, MakeTime(9, 35));
    EXPECT_EQ(tasks[1].Alarm, 0);
    EXPECT_EQ(tasks[2].Date, MakeDate(6, 16, 2026));
    EXPECT_EQ(tasks[2].Time, MakeTime(0, 3));
}

TEST_F(TaskMessageTest, FailedSnoozeAndToDoAreReportedAsErrors) {
    TaskMessageCopy m;
    m.Title = "Keep me";
    m.Message = "body";
    ASSERT_EQ(SnoozeMessage(m), 0);  // makes the file
    ASSERT_EQ(AddMessageToToDo(m), 0);
    DictionaryKill();
    data::CloseIdleFiles();
    BreakDataFileWrites();
    DictionaryInit();
    std::string error;
    EXPECT_NE(SnoozeMessage(m, &error), 0);
    EXPECT_NE(AddMessageToToDo(m, &error), 0);
}

TEST_F(TaskMessageTest, ToDoRecordFromTheMessage) {
    TaskMessageCopy m;
    m.Title = std::string(60, 't');
    m.Message = "the notes";
    ASSERT_EQ(AddMessageToToDo(m), 0);
    const std::vector<Todo> todos = Todos();
    ASSERT_EQ(todos.size(), 1u);
    EXPECT_EQ(todos[0].Category, "General");
    EXPECT_EQ(todos[0].ToDo, std::string(60, 't'));
    EXPECT_EQ(todos[0].Notes, "the notes");
    EXPECT_EQ(todos[0].Priority, 5);
    EXPECT_EQ(todos[0].Done, 0);
}

TEST_F(TaskMessageTest, ExecuteTaskNowSoundsShowsAndRuns) {
    Options().UseExternalMessage = 0;
    std::vector<std::string> shown, run;
    MessageDisplay d;
    d.startMessageThread = [&](const TaskMessageCopy& m) { shown.push_back(m.Title.str()); };
    SetMessageDisplay(d);
    SetExecuteTaskRunner([&](const Schedule& s) { run.push_back(s.Description.str()); });

    Schedule both = MessageTask("Both", "x", "BEEP");
    both.TaskType = "Both";
    ExecuteTaskNow(both);
    Schedule program = MessageTask("Program", "x", "alarm.wav");
    program.TaskType = "Run Program";
    ExecuteTaskNow(program);
    Schedule reminder = MessageTask("Reminder", "x");
    reminder.TaskType = "Reminder Only";
    ExecuteTaskNow(reminder);

    EXPECT_EQ(sound_.beeps(), 1);
    EXPECT_EQ(sound_.played(), (std::vector<std::string>{"alarm.wav"}));
    EXPECT_EQ(shown, (std::vector<std::string>{"Both"}));
    EXPECT_EQ(run, (std::vector<std::string>{"Both", "Program"}));
}

TEST_F(TaskMessageTest, MessageTaskFromToDo) {
    Todo t;
    t.ToDo = "Write the report for the quarterly meeting of the board";
    t.Category = "Work";
    t.Notes = "Figures   ";
    t.Priority = 3;
    Schedule s = MessageTaskFromToDo(t);
    EXPECT_EQ(s.Message, "Figures\r\nPriority 3\r\n");
    EXPECT_EQ(s.Description, std::string("Write the report for the quarterly meeting of the board").substr(0, 40));
    EXPECT_EQ(s.Category, "Work");
    EXPECT_EQ(s.Date, MakeDate(6, 16, 2026));
    EXPECT_EQ(s.Time, MakeTime(9, 30));

    t.CompletionDate = MakeDate(6, 1, 2026);
    t.Resolution = "Sent";
    s = MessageTaskFromToDo(t);
    EXPECT_EQ(s.Message.rfind("Figures\r\nCompleted ", 0), 0u);
    EXPECT_NE(s.Message.find("\r\nResolution:\r\nSent\r\n"), std::string::npos);

    // The conversion goes through the current buffers to the wizard.
    Todo_File().rec() = t;
    std::string wizardGot;
    SetMessageWizard([&](const Schedule& sch) { wizardGot = sch.Category.str(); });
    ToDoToMessageTask();
    EXPECT_EQ(wizardGot, "Work");
    EXPECT_EQ(Schedule_File().rec().Category, "Work");
}

}  // namespace
}  // namespace kr::test
