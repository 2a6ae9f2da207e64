// Start Script through the interpreter over the real queue: the order of the
// three modes with another task queued behind, the timing cursor, what is
// not queued, a file starting with Start Script, a missing file, and the
// transfer items the file may hold.
#include <fstream>

#include "scheduler/DateValues.h"
#include "scheduler/StartScript.h"
#include "tests/script/ScriptTestSupport.h"

namespace kr {
namespace {

class StartScriptTest : public test::ScriptFixture {
protected:
    void SetUp() override {
        ScriptFixture::SetUp();
        InstallStartScriptService(&runner_);
        std::ofstream("xy.krs", std::ios::binary) << "\"Send Keys\",\"X\"\r\n\"Send Keys\",\"Y\"\r\n";
    }
    static Scripting Start(const char* file, const char* mode) {
        Scripting s = Item("Start Script");
        s.Command = file;
        s.Path = mode;
        return s;
    }
    // The actions and keystrokes of the queue, in order.
    static std::vector<std::string> Queue() {
        std::vector<std::string> out;
        for (const ScriptQueueEntry& e : ScriptQueue().Snapshot())
            out.push_back(e.Record.Keystrokes.empty() ? e.Record.Action.str() : e.Record.Keystrokes.str());
        return out;
    }
    // Runs the script and gives the keys typed with the "**End**" items seen
    // at the head in between.
    std::vector<std::string> RunOrder() {
        std::vector<std::string> order;
        for (int n = 0; n < 100 && !ScriptQueue().Empty(); ++n) {
            clock_.Advance(100);
            const ScriptQueueEntry head = *ScriptQueue().First();
            const std::size_t typed = keys_.sent.size();
            interpreter_.Step();
            keys_.Finish();
            if (keys_.sent.size() > typed) order.push_back(keys_.sent.back());
            else if (head.Record.Action == kEndOfScriptAction && ScriptQueue().Count() < 100 &&
                     (ScriptQueue().Empty() || !SameHead(*ScriptQueue().First(), head)))
                order.push_back("End");
        }
        return order;
    }
    // Ticks until the "Start Script" item at the head has run.
    void RunStartScript() {
        for (int n = 0; n < 10 && ScriptQueue().First()->Record.Action == "Start Script"; ++n) Tick();
    }
    static bool SameHead(const ScriptQueueEntry& a, const ScriptQueueEntry& b) {
        return a.Record.Action == b.Record.Action && a.Date == b.Date && a.Time == b.Time;
    }
    StartScriptRunner runner_;
};

TEST_F(StartScriptTest, TheThreeModesPutTheFileBeforeAfterOrInPlaceOfTheRest) {
    QueueTask(1, {Keys("A"), Start("xy.krs", "Insert"), Keys("B")});
    EXPECT_EQ(RunOrder(), (std::vector<std::string>{"A", "X", "Y", "B", "End"}));

    QueueTask(2, {Keys("A"), Start("xy.krs", "Append"), Keys("B")});
    EXPECT_EQ(RunOrder(), (std::vector<std::string>{"A", "B", "End", "X", "Y", "End"}));

    // Jump drops this task's rest but keeps its end and the next task.
    QueueTask(3, {Keys("A"), Start("xy.krs", "Jump to"), Keys("B")});
    QueueTask(4, {Keys("C")});
    EXPECT_EQ(RunOrder(), (std::vector<std::string>{"A", "X", "Y", "End", "C", "End"}));
}

TEST_F(StartScriptTest, ExitScriptInAJumpedFileStaysInsideItsTask) {
    std::ofstream("exit.krs", std::ios::binary) << "\"Send Keys\",\"X\"\r\n\"Exit Script\"\r\n\"Send Keys\",\"Z\"\r\n";
    QueueTask(1, {Start("exit.krs", "J"), Keys("B")});
    QueueTask(2, {Keys("C")});
    // "Exit Script" completes as this task's "**End**" in the same tick: Z and
    // B never run, task 2 does.
    EXPECT_EQ(RunOrder(), (std::vector<std::string>{"X", "C", "End"}));
}

TEST_F(StartScriptTest, FileItemsFollowTheQueuesTimingOneDelayApart) {
    std::ofstream("timed.krs", std::ios::binary) << "\"Send Keys\",\"X\"\r\n"
                                                  << "\"Wait\",\"10\"\r\n"
                                                  << "\"If Value...\",\"A\",\"=\",\"1\"\r\n"
                                                  << "\"Send Keys\",\"Y\"\r\n";
    QueueTask(1, {Start("timed.krs", "I")});
    const ScriptQueueEntry last = *ScriptQueue().Last();  // the task's "**End**"
    RunStartScript();
    const std::vector<ScriptQueueEntry> q = ScriptQueue().Snapshot();
    ASSERT_EQ(q.size(), 5u);
    const int64_t delay = 50;  // the fixture's ScriptingDelay
    // The cursor goes on from the later of now + 2 delays and the queue's
    // last entry + 1 delay.
    const int64_t start = std::max(MomentOf(Today(), ClockTime()) + 2 * delay, MomentOf(last.Date, last.Time) + delay);
    EXPECT_EQ(MomentOf(q[0].Date, q[0].Time), start + delay);
    EXPECT_EQ(MomentOf(q[1].Date, q[1].Time), start + delay + 1000);  // the wait's 10 seconds
    EXPECT_EQ(MomentOf(q[2].Date, q[2].Time), start + delay + 1000);  // a test adds nothing
    EXPECT_EQ(MomentOf(q[3].Date, q[3].Time), start + 2 * delay + 1000);
    EXPECT_EQ(q[0].Record.ID, 1);
}

TEST_F(StartScriptTest, CommentsBlankAndUnknownLinesAreNotQueued) {
    std::ofstream("mixed.krs", std::ios::binary) << "\"Comment\",\"types X\"\r\n\r\n"
                                                  << "\"Bogus\",\"?\"\r\n\"Send Keys\",\"X\"\r\n";
    QueueTask(1, {Start("mixed.krs", "I")});
    RunStartScript();
    EXPECT_EQ(Queue(), (std::vector<std::string>{"X", "**End**"}));
    const auto shown = responder_.shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].request.text, "Unrecognized script action: Bogus");
    EXPECT_EQ(shown[0].request.title, "Import Error");
    RunToEnd();
    EXPECT_EQ(responder_.shown().size(), 1u);  // no "Invalid script option" boxes
}

TEST_F(StartScriptTest, AFileWhoseFirstItemStartsAnotherFileRunsBoth) {
    std::ofstream("outer.krs", std::ios::binary) << "\"Start Script\",\"xy.krs\",\"I\"\r\n\"Send Keys\",\"Z\"\r\n";
    QueueTask(1, {Start("outer.krs", "I"), Keys("B")});
    EXPECT_EQ(RunOrder(), (std::vector<std::string>{"X", "Y", "Z", "B", "End"}));
}

TEST_F(StartScriptTest, AMissingFileLeavesTheQueueAndIsLogged) {
    QueueTask(1, {Start("missing.krs", "J"), Keys("B")});
    EXPECT_EQ(RunOrder(), (std::vector<std::string>{"B", "End"}));
    bool logged = false;
    for (const auto& l : Log())
        logged |= l.label == "Script Error" && l.text.find("missing.krs") != std::string::npos;
    EXPECT_TRUE(logged);
}

TEST_F(StartScriptTest, TransferItemsBecomeWaitedProgramStarts) {
    std::ofstream("ftp.krs", std::ios::binary)
        << "\"File Actions\",\"FTP Upload\",\"my file.txt\",\"/in/\",\"ftp.example.org\",\"" << std::string(128, 'u')
        << "secret\"\r\n"
        << "\"File Actions\",\"HTTP Download\",\"http://example.org/a\",\"a.html\"\r\n";
    QueueTask(1, {Start("ftp.krs", "I")});
    RunStartScript();
    const std::vector<ScriptQueueEntry> q = ScriptQueue().Snapshot();
    ASSERT_EQ(q.size(), 3u);
    EXPECT_EQ(q[0].Record.Action.str(), "Start Program");
    EXPECT_EQ(q[0].Record.Command.str(),
              "KRFTP U \"my file.txt\" \"/in/\" ftp.example.org " + std::string(128, 'u') + " secret");
    EXPECT_EQ(q[0].Record.DDEApplicationName.str().substr(0, 4), "1211");
    EXPECT_EQ(q[0].Record.TimeElapsed, 360000);
    EXPECT_EQ(q[0].Record.DDEApplicationTopic.str(), "");
    EXPECT_EQ(q[1].Record.Command.str(), "HTTPGET \"http://example.org/a\" a.html /AUTO");
}

}  // namespace
}  // namespace kr
