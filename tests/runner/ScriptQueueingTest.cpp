// Loading a task's script items into the run queue: due moments with the
// scripting delay, waits and "or" joiners, time limits, tasks queued one after
// another (also from two threads at once), transfer items and read errors.
#include <thread>

#include "RunnerTestSupport.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/ProcedureContext.h"
#include "scheduler/DateValues.h"

namespace kr {
namespace {

using test::RunnerFixture;

class ScriptQueueingTest : public RunnerFixture {
protected:
    int64_t Now() const { return MomentOf(Today(), ClockTime()); }
    static int64_t Due(const ScriptQueueEntry& e) { return MomentOf(e.Date, e.Time); }
    static Scripting Wait(int seconds, const char* joiner = "") {
        Scripting s = Item("Wait");
        s.SecondsToWait = seconds;
        s.DDEApplicationName = joiner;
        return s;
    }
};

TEST_F(ScriptQueueingTest, DueMomentsFollowTheDelayAndTheWaits) {
    AddItem(5, Item("Send Keys"));          // + delay
    AddItem(5, Wait(5));                    // + 500
    AddItem(5, Wait(10, "Or"));             // joined to the wait before: + 0
    Scripting elapsed = Item("If Time Elapsed...");
    elapsed.TimeElapsed = 60;
    AddItem(5, elapsed);                    // tests add nothing
    AddItem(5, Item("Send Keys"));          // + delay
    AddItem(5, Item("...End If"));          // + 0
    AddItem(5, Wait(2, "either"));          // + 0
    AddItem(5, Item("Start Program"));      // + delay
    AddItem(6, Item("Send Keys"));          // another task's item stays out

    const int64_t now = Now();
    RunAsTimer("n/a", 5);
    const auto q = ScriptQueue().Snapshot();
    ASSERT_EQ(q.size(), 9u);
    const int64_t first = now + 2 * 50;
    const int64_t expected[] = {first + 50, first + 550, first + 550, first + 550, first + 600,
                                first + 600, first + 600, first + 650, first + 650};
    for (std::size_t i = 0; i < q.size(); ++i) EXPECT_EQ(Due(q[i]), expected[i]) << "entry " << i + 1;
    for (std::size_t i = 0; i + 1 < q.size(); ++i) EXPECT_EQ(q[i].Record.ID, 5);

    EXPECT_EQ(q[1].Record.SecondsToWait, 5);
    EXPECT_EQ(q[2].Record.TimeElapsed, 0);  // its end is worked out when it runs
    // The time limit becomes a moment: its due moment plus 60 seconds.
    EXPECT_EQ(MomentOf(q[3].Record.SecondsToWait, q[3].Record.TimeElapsed), first + 550 + 6000);
    EXPECT_EQ(q[8].Record.Action, kEndOfScriptAction);
    EXPECT_EQ(q[8].Record.ID, 0);
    EXPECT_EQ(q[0].Record.Sequence, 1);
    EXPECT_EQ(q[7].Record.Sequence, 8);
    EXPECT_FALSE(ScriptLockSet());
}

TEST_F(ScriptQueueingTest, MomentsCarryPastMidnight) {
    clock_.Set(MakeDate(12, 31, 2024), MakeTime(23, 59, 59));
    AddItem(1, Wait(30));
    AddItem(1, Item("Send Keys"));
    RunAsTimer("N/A", 1);
    const auto q = ScriptQueue().Snapshot();
    ASSERT_EQ(q.size(), 3u);
    EXPECT_EQ(q[0].Date, MakeDate(1, 1, 2025));
    EXPECT_EQ(q[0].Time, MakeTime(0, 0, 30));  // 23:59:59 + 1 s + 30 s
    EXPECT_EQ(Due(q[1]), MomentOf(MakeDate(12, 31, 2024), MakeTime(23, 59, 59)) + 100 + 3000 + 50);
}

TEST_F(ScriptQueueingTest, ASecondTaskQueuesAfterTheFirst) {
    AddItem(1, Item("Send Keys"));
    AddItem(1, Wait(20));
    AddItem(2, Item("Set Focus"));
    AddItem(2, Item("Send Keys"));
    RunAsTimer("N/A", 1);
    RunAsTimer("N/A", 2);  // the same tick
    const auto q = ScriptQueue().Snapshot();
    ASSERT_EQ(q.size(), 6u);
    const int64_t firstEnd = Due(q[2]);
    EXPECT_EQ(q[2].Record.Action, kEndOfScriptAction);
    EXPECT_EQ(q[3].Record.ID, 2);
    EXPECT_EQ(Due(q[3]), firstEnd + 50 + 50);
    EXPECT_EQ(Due(q[4]), firstEnd + 150);
    EXPECT_EQ(Due(q[5]), firstEnd + 150);

    // A queue whose last item is already past does not hold a new task back.
    ScriptQueue().Free();
    RunAsTimer("N/A", 1);
    clock_.Advance(100000);
    RunAsTimer("N/A", 2);
    const auto r = ScriptQueue().Snapshot();
    ASSERT_EQ(r.size(), 6u);
    EXPECT_EQ(Due(r[3]), Now() + 150);
    // A task without items queues nothing, not even its end.
    RunAsTimer("N/A", 99);
    EXPECT_EQ(ScriptQueue().Count(), 6u);
}

TEST_F(ScriptQueueingTest, TwoThreadsQueueWholeTasks) {
    for (int i = 0; i < 40; ++i) AddItem(1, Item("Send Keys"));
    for (int i = 0; i < 40; ++i) AddItem(2, Item("Send Keys"));
    auto run = [](int32_t task) {
        ProcedureThreadScope scope(NewProcedureThreadNumber());
        RunTask("N/A", "", "", task, nullptr, 0, 1, 1, 1, 0);
    };
    std::thread a(run, 1), b(run, 2);
    a.join();
    b.join();
    const auto q = ScriptQueue().Snapshot();
    ASSERT_EQ(q.size(), 82u);
    // Each task's items stand together, ended by its own end entry, and due
    // moments never go back.
    const int32_t firstTask = q[0].Record.ID;
    for (std::size_t i = 0; i < 40; ++i) EXPECT_EQ(q[i].Record.ID, firstTask);
    EXPECT_EQ(q[40].Record.Action, kEndOfScriptAction);
    for (std::size_t i = 41; i < 81; ++i) EXPECT_EQ(q[i].Record.ID, 3 - firstTask);
    EXPECT_EQ(q[81].Record.Action, kEndOfScriptAction);
    for (std::size_t i = 1; i < q.size(); ++i) EXPECT_GE(Due(q[i]), Due(q[i - 1]));
    EXPECT_FALSE(ScriptLockSet());
}

TEST_F(ScriptQueueingTest, TransferItemsBecomeProgramStarts) {
    Scripting up = Item("File Actions");
    up.DDEType = "FTP Upload";
    up.Command = "/tmp/local file.txt";
    up.Path = "incoming";
    up.DDEApplicationName = "ftp.example.com";
    up.DDEApplicationTopic = std::string("user") + std::string(124, ' ') + "pass word";
    AddItem(4, up);
    Scripting down = up;
    down.DDEType = "FTP Download";
    down.DDEApplicationTopic = "";
    AddItem(4, down);
    Scripting http = Item("File Actions");
    http.DDEType = "HTTP Download";
    http.Command = "http://example.com/a.zip";
    http.Path = "a,b.zip";  // a comma would split the program's arguments
    http.DDEApplicationTopic = "verb";
    AddItem(4, http);
    Scripting copy = Item("File Actions");
    copy.DDEType = "Copy";
    copy.Command = "a";
    AddItem(4, copy);

    RunAsTimer("N/A", 4);
    const auto q = ScriptQueue().Snapshot();
    ASSERT_EQ(q.size(), 5u);
    EXPECT_EQ(q[0].Record.Action, "Start Program");
    EXPECT_EQ(q[0].Record.Command,
              "KRFTP U \"/tmp/local file.txt\" incoming ftp.example.com user \"pass word\"");
    EXPECT_EQ(q[0].Record.DDEApplicationName, "12111");
    EXPECT_EQ(q[0].Record.TimeElapsed, 360000);
    EXPECT_EQ(q[0].Record.DDEApplicationTopic, "");
    EXPECT_EQ(q[1].Record.Command, "KRFTP D \"/tmp/local file.txt\" incoming ftp.example.com \"\" \"\"");
    EXPECT_EQ(q[1].Record.DDEApplicationName, "1211");
    EXPECT_EQ(q[2].Record.Action, "Start Program");
    EXPECT_EQ(q[2].Record.Command, "HTTPGET \"http://example.com/a.zip\" \"a,b.zip\" /AUTO");
    EXPECT_EQ(q[2].Record.DDEApplicationName, "1211");
    EXPECT_EQ(q[2].Record.TimeElapsed, 360000);
    EXPECT_EQ(q[2].Record.DDEApplicationTopic, "");
    // Other file actions stay as they are.
    EXPECT_EQ(q[3].Record.Action, "File Actions");
    EXPECT_EQ(q[3].Record.Command, "a");
    // Each is timed as the file action it was.
    EXPECT_EQ(Due(q[1]) - Due(q[0]), 50);
}

// The table gives no way to fail a read on demand, so a reader stands in.
class FailingReader : public ScriptItemReader {
public:
    int failStartWith = 0;
    int goodItems = 0;
    int Start(int32_t) override { return failStartWith; }
    int Next(Scripting& item) override {
        ++reads;
        if (reads > goodItems) return kDriverError;
        item = Scripting();
        item.ID = 9;
        item.Action = "Send Keys";
        return 0;
    }
    void Finish() override { ++finished; }
    std::string ErrorText() const override { return "Disk fault"; }
    int reads = 0;
    int finished = 0;
};

TEST_F(ScriptQueueingTest, ReadErrorsStopTheLoading) {
    FailingReader reader;
    SetScriptItemReader(&reader);
    reader.failStartWith = kDriverError;
    RunAsTimer("N/A", 9);
    EXPECT_TRUE(Logged("Script", "Set Error: Disk fault"));
    EXPECT_TRUE(ScriptQueue().Empty());
    EXPECT_EQ(reader.finished, 1);

    reader.failStartWith = 0;
    reader.goodItems = 2;
    RunAsTimer("N/A", 9);
    // The items read so far are queued with their end; the failed read is
    // reported once and not tried again.
    ASSERT_EQ(ScriptQueue().Count(), 3u);
    EXPECT_EQ(reader.reads, 3);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.text, "Error executing script: Disk fault");
}

}  // namespace
}  // namespace kr
