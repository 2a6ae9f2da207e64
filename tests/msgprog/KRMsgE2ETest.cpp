// KR98 and KRMsg together on a real X server, in a temporary data folder:
// KR98's timer runs a due message task and hands it to KRMsg, which shows it
// under its title and takes its MsgLink record; Alt+S in KRMsg snoozes it as
// a one-off task, and KR98 hands it over again when it falls due.
#include "MsgProgE2EFixture.h"

namespace kr::test {
namespace {

const std::string kTitle = "Message:  E2E reminder";

class KRMsgE2ETest : public MsgProgE2ETest {
protected:
    // The message windows KR98 started are closed, which ends their programs.
    KRMsgE2ETest() : MsgProgE2ETest({kTitle}) {}
    std::vector<Schedule> TasksNow() {
        std::vector<Schedule> t = Tasks();
        data::CloseIdleFiles();
        return t;
    }
};

TEST_F(KRMsgE2ETest, DueMessageShownByKRMsgSnoozedAndShownAgain) {
    if (!HaveX11Display()) GTEST_SKIP() << "needs an X display";
    InstallClock(nullptr);  // both programs run on the real clock
    SetSetting("SnoozeInterval", "1");
    ASSERT_NO_FATAL_FAILURE(AddDueMessageTask("E2E reminder", "Water the plants"));
    ASSERT_NO_FATAL_FAILURE(StartKR98());

    const std::string& title = kTitle;
    ASSERT_TRUE(Await([&] { return !WindowsTitled(title).empty(); }, 40000)) << kr98_.Said();
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
