// KR98 and KRMsg together on a real X server, in a temporary data folder:
// KR98's timer runs a due message task and hands it to KRMsg, which shows it
// under its title and takes its MsgLink record; Alt+S in KRMsg snoozes it as
// a one-off task, and KR98 hands it over again when it falls due.
#include <QProcess>
#include <QProcessEnvironment>

#include <chrono>
#include <fstream>
#include <thread>

#include "MsgProgFixture.h"
#include "platform/desktop/X11Windows.h"
#include "scheduler/Reschedule.h"

// Xlib last: its macros (Bool, Status) clash with Qt's headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace kr::test {
namespace {

bool WaitUntil(const std::function<bool()>& cond, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return cond();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

std::vector<WindowHandle> WindowsTitled(const std::string& title) {
    std::vector<WindowHandle> out;
    for (const DesktopWindow& w : TopLevelWindows())
        if (w.title == title && w.visible) out.push_back(w.handle);
    return out;
}

// Alt+key to a window through XTest, after giving it the input focus.
void SendAltKey(WindowHandle window, KeySym key) {
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    XRaiseWindow(d, window);
    XSetInputFocus(d, window, RevertToPointerRoot, CurrentTime);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const KeyCode alt = XKeysymToKeycode(d, XK_Alt_L);
    const KeyCode k = XKeysymToKeycode(d, key);
    XTestFakeKeyEvent(d, alt, True, 0);
    XTestFakeKeyEvent(d, k, True, 20);
    XTestFakeKeyEvent(d, k, False, 20);
    XTestFakeKeyEvent(d, alt, False, 20);
    XSync(d, False);
    XSetInputFocus(d, PointerRoot, RevertToPointerRoot, CurrentTime);
    XCloseDisplay(d);
}

const std::string kTitle = "Message:  E2E reminder";

class KRMsgE2ETest : public MsgProgTest {
protected:
    void SetUp() override {
        MsgProgTest::SetUp();
        data::SetKeyDerivationIterations(0);  // KR98 opens the file with the real key derivation
    }
    void TearDown() override {
        if (kr98_.state() != QProcess::NotRunning) {
            kr98_.terminate();
            if (!kr98_.waitForFinished(10000)) kr98_.kill();
            kr98_.waitForFinished();
        }
        // The message windows KR98 started are closed, which ends their programs.
        for (WindowHandle w : WindowsTitled(kTitle)) CloseWindow(w);
        WaitUntil([] { return WindowsTitled(kTitle).empty(); }, 5000);
        MsgProgTest::TearDown();
    }
    std::vector<Schedule> TasksNow() {
        std::vector<Schedule> t = Tasks();
        data::CloseIdleFiles();
        return t;
    }
    QProcess kr98_;
};

TEST_F(KRMsgE2ETest, DueMessageShownByKRMsgSnoozedAndShownAgain) {
    if (!HaveX11Display()) GTEST_SKIP() << "needs an X display";
    InstallClock(nullptr);  // both programs run on the real clock
    SetSetting("UseExternalMessage", "1");
    SetSetting("SnoozeInterval", "1");
    {
        MsgLink m = Link("E2E reminder", "Water the plants");
        Schedule task = msgprog::SnoozeTask(m, 1, Today(), ClockTime());
        task.Category = "General";
        task.Time = ClockTime() + 300;  // due in three seconds
        msgprog::Normalize(task.Date, task.Time);
        TableScheduleStore store;
        ASSERT_EQ(store.openError(), 0);
        ASSERT_EQ(AddScheduleCopy(store, task), 0);
    }
    data::TableOf(ConfigurationDef()).Close();
    data::CloseIdleFiles();

    const std::string answers = (dir_ / "answers.txt").string();
    std::ofstream(answers).close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("KR_TEST_RESPONSES", QString::fromStdString(answers));
    kr98_.setProcessEnvironment(env);
    kr98_.setWorkingDirectory(QString::fromStdString(dir_.string()));
    kr98_.start(QString::fromStdString(std::string(KR_BIN_DIR) + "/KR98"), {});
    ASSERT_TRUE(kr98_.waitForStarted());

    const std::string& title = kTitle;
    ASSERT_TRUE(WaitUntil([&] { return !WindowsTitled(title).empty(); }, 40000))
        << "KR98: " << kr98_.readAllStandardError().toStdString();
    EXPECT_TRUE(LinkIDs().empty());  // KRMsg took its record
    data::CloseIdleFiles();

    SendAltKey(WindowsTitled(title).front(), XK_s);
    ASSERT_TRUE(WaitUntil([&] {
        for (const Schedule& s : TasksNow())
            if (s.Category == "Snooze") return true;
        return false;
    }, 10000));
    EXPECT_TRUE(WaitUntil([&] { return WindowsTitled(title).empty(); }, 10000));
    Schedule snoozed;
    for (const Schedule& s : TasksNow())
        if (s.Category == "Snooze") snoozed = s;
    EXPECT_EQ(snoozed.Description, "E2E reminder");
    EXPECT_EQ(snoozed.ScheduleType, "Once");

    // A minute later KR98 runs the snooze task and KRMsg shows it again.
    EXPECT_TRUE(WaitUntil([&] { return !WindowsTitled(title).empty(); }, 120000));
}

}  // namespace
}  // namespace kr::test
