// KR98 and KRMsg together on a real X server, in a temporary data folder:
// KR98's timer runs a due message task and hands it to KRMsg, which shows it
// under its title and takes its MsgLink record; Alt+S in KRMsg snoozes it as
// a one-off task, and KR98 hands it over again when it falls due.
#include "MsgProgFixture.h"
#include "platform/desktop/X11Windows.h"
#include "scheduler/Reschedule.h"
// Xlib last: its macros (Bool, Status) clash with Qt's headers.
#include "../desktop/DesktopSession.h"

namespace kr::test {
namespace {

// Polled ten times a second: each look reads the data file both programs use.
bool Await(const std::function<bool()>& cond, int ms) { return WaitUntil(cond, ms, 100); }

std::vector<WindowHandle> WindowsTitled(const std::string& title) {
    std::vector<WindowHandle> out;
    for (const DesktopWindow& w : TopLevelWindows())
        if (w.title == title && w.visible) out.push_back(w.handle);
    return out;
}

const std::string kTitle = "Message:  E2E reminder";

class KRMsgE2ETest : public MsgProgTest {
protected:
    void SetUp() override {
        MsgProgTest::SetUp();
        data::SetKeyDerivationIterations(0);  // KR98 opens the file with the real key derivation
    }
    void TearDown() override {
        kr98_.Stop();
        // The message windows KR98 started are closed, which ends their programs.
        for (WindowHandle w : WindowsTitled(kTitle)) CloseWindow(w);
        Await([] { return WindowsTitled(kTitle).empty(); }, 5000);
        MsgProgTest::TearDown();
    }
    std::vector<Schedule> TasksNow() {
        std::vector<Schedule> t = Tasks();
        data::CloseIdleFiles();
        return t;
    }
    ProgramRun kr98_;
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

    kr98_.Prepare(dir_);
    kr98_.SetResponses(dir_ / "answers.txt");
    ASSERT_TRUE(kr98_.Start());

    const std::string& title = kTitle;
    ASSERT_TRUE(Await([&] { return !WindowsTitled(title).empty(); }, 40000))
        << kr98_.Said();
    EXPECT_TRUE(LinkIDs().empty());  // KRMsg took its record
    data::CloseIdleFiles();

    SendKeyTo(WindowsTitled(title).front(), XK_Alt_L, XK_s);
    ASSERT_TRUE(Await([&] {
        for (const Schedule& s : TasksNow())
            if (s.Category == "Snooze") return true;
        return false;
    }, 10000));
    EXPECT_TRUE(Await([&] { return WindowsTitled(title).empty(); }, 10000));
    Schedule snoozed;
    for (const Schedule& s : TasksNow())
        if (s.Category == "Snooze") snoozed = s;
    EXPECT_EQ(snoozed.Description, "E2E reminder");
    EXPECT_EQ(snoozed.ScheduleType, "Once");

    // A minute later KR98 runs the snooze task and KRMsg shows it again.
    EXPECT_TRUE(Await([&] { return !WindowsTitled(title).empty(); }, 120000));
}

}  // namespace
}  // namespace kr::test
