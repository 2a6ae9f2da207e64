// The steps that reach real programs: Start Program with its wait and exit
// code, the window mode, KillProc ending a program by name, and DDE
// commands sent over a private D-Bus session bus.
#include <signal.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <filesystem>

#include "ScriptTestSupport.h"

namespace kr {
namespace {

using test::ScriptFixture;

class ScriptProgramsTest : public ScriptFixture {
protected:
    static Scripting Program(const std::string& command, const char* options, int32_t limit = 0) {
        Scripting s = Item("Start Program");
        s.Command = command;
        s.DDEApplicationName = options;
        s.TimeElapsed = limit;
        return s;
    }
};

TEST_F(ScriptProgramsTest, WaitForProgramEndSetsExitCode259ThenTheProgramsCode) {
    // Options: wait, normal priority, normal window, no translation.
    QueueTask(1, {Program("sh -c \"sleep 1; exit 3\"", "1210"), Set("AFTER", "[EXITCODE]")});
    Tick();
    Tick();  // started; the item now waits for the program
    ASSERT_FALSE(ScriptQueue().Empty());
    EXPECT_EQ(ScriptQueue().First()->Record.Action.str(), "Wait for Program End");
    Tick();
    EXPECT_EQ(Value("EXITCODE"), "259");
    EXPECT_EQ(Value("AFTER"), "<unset>");

    // The manual clock stands still for the program: wait for it for real.
    QElapsedTimer t;
    t.start();
    while (Value("EXITCODE") == "259" && t.elapsed() < 10000) {
        QThread::msleep(50);
        interpreter_.Step();
    }
    EXPECT_EQ(Value("EXITCODE"), "3");
    RunToEnd();
    EXPECT_EQ(Value("AFTER"), "3");
    EXPECT_TRUE(Logged("Script", "Wait for Program End  sh -c \"sleep 1; exit 3\""));
}

TEST_F(ScriptProgramsTest, AWaitWithALimitGivesUpAtItsEndMoment) {
    QueueTask(1, {Program("sleep 30", "1210", 5), Set("AFTER", "1")});
    int ticks = 0;
    while (Value("AFTER") != "1" && ticks < 50) {
        Tick();
        ++ticks;
    }
    EXPECT_EQ(Value("AFTER"), "1");
    EXPECT_EQ(Value("EXITCODE"), "259");  // still running when the limit passed
    EXPECT_GE(ticks, 6);
    EXPECT_LE(ticks, 9);
    kill(LastStartedProcess(), SIGKILL);
}

TEST_F(ScriptProgramsTest, AProgramThatCannotStartGivesExitCodeMinusOne) {
    QueueTask(1, {Program("/nonexistent/program", "1210")});
    RunToEnd();
    EXPECT_EQ(Value("EXITCODE"), "-1");
}

TEST_F(ScriptProgramsTest, WindowModeThreeStartsMaximised) {
    std::vector<std::pair<int32_t, int32_t>> requested;
    TaskRunnerHooks hooks;
    hooks.windowModeRequested = [&](int32_t pid, int32_t mode) { requested.emplace_back(pid, mode); };
    SetTaskRunnerHooks(hooks);
    QueueTask(1, {Program("true", "0230"), Program("true", "0270"), Program("true", "0250")});
    RunToEnd();
    ASSERT_EQ(requested.size(), 2u);  // "5" is no mode of the form: normal
    EXPECT_EQ(requested[0].second, kShowMaximized);
    EXPECT_EQ(requested[1].second, kShowMinimizedNoActivate);
}

TEST_F(ScriptProgramsTest, ClosingByNameEndsTheProgramWithKillProc) {
    SetProgramFolder(KR_BIN_DIR);
    // A program with a name of its own, so no other process matches.
    const std::filesystem::path sleeper = dir_ / "krsleeper";
    std::filesystem::copy_file("/bin/sleep", sleeper);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(sleeper.c_str(), "krsleeper", "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    QThread::msleep(100);  // let it exec
    Scripting close = Item("Close Program");
    close.Command = "C:\\Programs\\KRSLEEPER.EXE";  // written the Windows way
    QueueTask(1, {close});
    RunToEnd();

    int status = 0;
    pid_t ended = 0;
    QElapsedTimer t;
    t.start();
    while ((ended = waitpid(child, &status, WNOHANG)) == 0 && t.elapsed() < 10000) QThread::msleep(20);
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "KillProc did not end the program";
    }
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_TRUE(Logged("Script", "Close Program  C:\\Programs\\KRSLEEPER.EXE"));
}

TEST_F(ScriptProgramsTest, KillProcEndsNoneWhenNothingMatchesAndNeverTheMainProgram) {
    const std::string killProc = std::string(KR_BIN_DIR) + "/KillProc";
    EXPECT_EQ(QProcess::execute(QString::fromStdString(killProc), {"no-such-program-here"}), 1);
    EXPECT_EQ(QProcess::execute(QString::fromStdString(killProc), {}), 2);
    // A process called KR98 is left alone.
    const std::filesystem::path fake = dir_ / "KR98";
    std::filesystem::copy_file("/bin/sleep", fake);
    QProcess kr98;
    kr98.start(QString::fromStdString(fake.string()), {"30"});
    ASSERT_TRUE(kr98.waitForStarted());
    EXPECT_EQ(QProcess::execute(QString::fromStdString(killProc), {"KR98.EXE"}), 1);
    EXPECT_EQ(kr98.state(), QProcess::Running);
    kr98.kill();
    kr98.waitForFinished();
}

TEST_F(ScriptProgramsTest, KillProcEndsOnlyTheWholeNameAndNeverWhatItRunsUnder) {
    const std::string killProc = std::string(KR_BIN_DIR) + "/KillProc";
    // Two names alike in their first 15 characters, the kernel's short name.
    std::vector<std::unique_ptr<QProcess>> sleepers;
    for (const char* name : {"longprogramname-one", "longprogramname-two"}) {
        std::filesystem::copy_file("/bin/sleep", dir_ / name);
        sleepers.push_back(std::make_unique<QProcess>());
        sleepers.back()->start(QString::fromStdString((dir_ / name).string()), {"30"});
        ASSERT_TRUE(sleepers.back()->waitForStarted());
    }
    EXPECT_EQ(QProcess::execute(QString::fromStdString(killProc), {"longprogramname-one"}), 0);
    EXPECT_TRUE(sleepers[0]->waitForFinished(5000));
    EXPECT_EQ(sleepers[1]->state(), QProcess::Running) << "a program of another name was ended";
    for (auto& p : sleepers) {
        p->kill();
        p->waitForFinished();
    }

    // KillProc started by a shell that a shell of the same name started:
    // neither is ended, though both are called what it was asked to end.
    std::filesystem::copy_file("/bin/sh", dir_ / "krwrapper");
    const std::string wrapper = (dir_ / "krwrapper").string();
    QProcess outer;
    outer.start(QString::fromStdString(wrapper),
                {"-c", QString::fromStdString(wrapper + " -c '" + killProc + " krwrapper; echo inner $?'; echo outer")});
    ASSERT_TRUE(outer.waitForFinished(20000));
    EXPECT_EQ(outer.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(outer.readAllStandardOutput().toStdString(), "inner 1\nouter\n");

    // Run by root, it leaves another user's program alone.
    if (getuid() != 0 || !std::filesystem::exists("/usr/bin/setpriv")) return;
    const std::filesystem::path shared = std::filesystem::path("/tmp") / ("kr-killproc-" + std::to_string(getpid()));
    std::filesystem::create_directories(shared);
    std::filesystem::permissions(shared, std::filesystem::perms(0755));
    std::filesystem::copy_file("/bin/sleep", shared / "krotheruser");
    QProcess other;
    other.start("/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups",
                                     QString::fromStdString((shared / "krotheruser").string()), "30"});
    ASSERT_TRUE(other.waitForStarted());
    QThread::msleep(200);  // let it exec
    EXPECT_EQ(QProcess::execute(QString::fromStdString(killProc), {"krotheruser"}), 1);
    EXPECT_EQ(other.state(), QProcess::Running) << "another user's program was ended";
    other.kill();
    other.waitForFinished();
    std::filesystem::remove_all(shared);
}

// Receives the "Execute" calls on one object path.
class DdeReceiver : public QDBusVirtualObject {
public:
    std::vector<std::pair<QString, QString>> calls;  // path, command
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != "Execute" || message.arguments().size() != 1) return false;
        calls.emplace_back(message.path(), message.arguments()[0].toString());
        connection.send(message.createReply());
        return true;
    }
};

TEST_F(ScriptProgramsTest, DdeCommandsGoOverDBusAndAFailureIsSilent) {
    EXPECT_EQ(DdeObjectPath("System"), "/System");
    EXPECT_EQ(DdeObjectPath("Mail Merge.doc"), "/Mail_Merge_doc");
    EXPECT_EQ(DdeObjectPath(""), "/");

    // A session bus of the test's own.
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!daemon.waitForStarted()) GTEST_SKIP() << "dbus-daemon is not installed";
    ASSERT_TRUE(daemon.waitForReadyRead(10000));
    const QByteArray address = daemon.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    {
        QDBusConnection receiverBus = QDBusConnection::connectToBus(QString::fromUtf8(address), "dde-receiver");
        ASSERT_TRUE(receiverBus.isConnected());
        ASSERT_TRUE(receiverBus.registerService("org.kairoll.TestApp"));
        DdeReceiver receiver;
        ASSERT_TRUE(receiverBus.registerVirtualObject("/Mail_Merge", &receiver));

        Scripting dde = Item("DDE");
        dde.DDEApplicationName = "org.kairoll.TestApp";
        dde.DDEApplicationTopic = "Mail Merge";
        dde.DDECommand = "[FileOpen(\"a.doc\")]";
        Scripting missing = dde;
        missing.DDEApplicationName = "org.kairoll.NotRunning";
        Scripting invalid = dde;
        invalid.DDEApplicationName = "WinWord";  // no bus name at all
        QueueTask(1, {missing, invalid, dde, Set("AFTER", "1")});
        RunToEnd();
        EXPECT_EQ(Value("AFTER"), "1");
        EXPECT_TRUE(responder_.shown().empty());

        QElapsedTimer t;
        t.start();
        while (receiver.calls.empty() && t.elapsed() < 10000) {
            QCoreApplication::processEvents();
            QThread::msleep(10);
        }
        ASSERT_EQ(receiver.calls.size(), 1u);
        EXPECT_EQ(receiver.calls[0].first, "/Mail_Merge");
        EXPECT_EQ(receiver.calls[0].second, "[FileOpen(\"a.doc\")]");
        receiverBus.unregisterObject("/Mail_Merge");
    }
    QDBusConnection::disconnectFromBus("dde-receiver");
    daemon.kill();
    daemon.waitForFinished();
}

}  // namespace
}  // namespace kr
