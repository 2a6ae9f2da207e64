// The built KR98 under openbox in a temporary data folder, driven with
// xdotool: Lists, Scheduled Tasks opens the list; New, Message (Wizard) makes
// a task due now; the scheduler's timer runs it, its message shows, and the
// task's row in the still open list shows today as its Last Run.
#include <algorithm>
#include <fstream>

#include "platform/data/ListQuery.h"
#include "platform/runtime/Picture.h"
// Xlib last (with the fixture): its macros (Bool, Status) clash with Qt's headers.
#include "../msgprog/ScheduleListE2EFixture.h"

namespace kr::test {
namespace {

const std::string kDescription = "Wizard task";

class ScheduleE2ETest : public ScheduleListE2ETest {
protected:
    // The records under the wizard's description: the task itself (Made)
    // and, once it ran, the completed history copy of that run (Copies).
    // The timer may run the task before the first look at the file, so the
    // copy must never be taken for a second task.
    static std::vector<Schedule> Named(bool completed) {
        std::vector<Schedule> out;
        for (const Schedule& s : Tasks())
            if (ClipRight(s.Description.str()) == kDescription && (s.Completed != 0) == completed) out.push_back(s);
        data::CloseIdleFiles();
        return out;
    }
    static std::vector<Schedule> Made() { return Named(false); }
    static std::vector<Schedule> Copies() { return Named(true); }
};

TEST_F(ScheduleE2ETest, WizardTaskRunsAndTheOpenListShowsItsLastRun) {
    // The message in KR98's own window; the list on its "All by Date" tab,
    // where an every-day task stays after it ran today.
    SetSetting("UseExternalMessage", "0");
    SetSetting("FullSchedule", "1");
    data::TableOf(ConfigurationDef()).Close();
    data::CloseIdleFiles();
    // The message shows in KR98's own window, not in a second program.
    std::ofstream(dir_ / "kr98.INI") << "[Settings]\r\nUseKRMsg=0\r\n";
    kr98_.Prepare(dir_);
    kr98_.SetEnv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    kr98_.SetResponses(dir_ / "answers.txt");
    ASSERT_TRUE(kr98_.Start());

    const std::string frame = xdo::WindowNamed("^Kairoll 2000", 40000);
    ASSERT_FALSE(frame.empty()) << "the frame did not show\n" << kr98_.Said();
    // Lists, Scheduled Tasks (start-up may have opened it already: the menu
    // then brings the one list forward).
    xdo::Keys(frame, {"alt+l", "s"});
    const std::string list = xdo::WindowNamed("^Scheduled Tasks$");
    ASSERT_FALSE(list.empty()) << "the schedule list did not open; windows:\n" << xdo::VisibleTitles();

    // New, Message (Wizard): a description and a message on the first page;
    // the next date and time default to now, every day.
    xdo::Keys(frame, {"alt+n", "m"});
    const std::string wizard = xdo::WindowNamed("^New Message Task Wizard$");
    ASSERT_FALSE(wizard.empty()) << "the wizard did not open; windows:\n" << xdo::VisibleTitles();
    xdo::Keys(wizard, {"alt+d"});
    xdo::Type(wizard, kDescription);
    xdo::Keys(wizard, {"alt+m"});
    xdo::Type(wizard, "Made by the wizard");
    // Enter presses the default button: Next, Next, then Finish.
    xdo::Keys(wizard, {"alt+d", "Return"});
    xdo::Keys(wizard, {"alt+a", "Return"});
    xdo::Keys(wizard, {"Return"});
    ASSERT_TRUE(WaitUntil([] { return Made().size() == 1; }, 20000))
        << "the wizard stored " << Made().size() << " tasks, not one; windows:\n"
        << xdo::VisibleTitles() << "messages:\n" << kr98_.Asked();
    EXPECT_TRUE(xdo::WaitGone("^New Message Task Wizard$")) << "the wizard stayed open";

    const std::string message = xdo::WindowNamed(QString::fromStdString("^" + kDescription + "$"), 40000);
    EXPECT_FALSE(message.empty()) << "the task's message did not show; windows:\n" << xdo::VisibleTitles();
    const int32_t today = Today();
    ASSERT_TRUE(WaitUntil([&] { return !Made().empty() && Made()[0].LastRunDate == today; }, 20000))
        << "the task did not record its run";
    const Schedule task = Made()[0];
    EXPECT_EQ(ClipRight(task.Message), "Made by the wizard");
    EXPECT_GT(task.Date, today) << "an every-day task moves on to its next day";
    // The one run leaves one history copy; it is written just after the
    // task's own record.
    std::vector<Schedule> copies;
    ASSERT_TRUE(WaitUntil([&] { return !(copies = Copies()).empty(); }, 20000)) << "the run left no history copy";
    ASSERT_EQ(copies.size(), 1u) << "one run, one history copy";
    EXPECT_EQ(copies[0].LastRunDate, today);
    EXPECT_NE(copies[0].ID, task.ID);

    // The list, still open, shows the row with today as its Last Run and the
    // next day as its date (a date shown only once the run was recorded).
    ASSERT_FALSE(xdo::Run({"search", "--onlyvisible", "--name", "^Scheduled Tasks$"}).empty()) << "the list closed";
    if (!AccessibilityAvailable()) GTEST_SKIP() << "no accessibility bus to read the list's cells";
    const std::string picture = data::ApplyDatePicture("@d17b", "d3");
    const std::string lastRun = ClipRight(Trim(Format(Value(today), picture)));
    const std::string next = ClipRight(Trim(Format(Value(task.Date), picture)));
    // The row's cells follow one another: date, time, category,
    // description, schedule type, Last Run, Last Time, Skipped, ID. The run
    // also leaves a history copy under the same description: the task's own
    // row is the one with its ID.
    std::vector<std::string> texts;
    EXPECT_TRUE(WaitUntil(
        [&] {
            texts = ListTexts();
            for (auto row = texts.begin(); (row = std::find(row, texts.end(), kDescription)) != texts.end(); ++row) {
                if (row - texts.begin() < 3 || texts.end() - row < 6) continue;
                if (row[5] == std::to_string(task.ID)) return row[2] == lastRun && row[-3] == next;
            }
            return false;
        },
        20000))
        << "the list's row lacks Last Run " << lastRun << " / date " << next << "; it shows "
        << [&] {
               std::string all;
               for (const std::string& t : texts) all += "[" + t + "]";
               return all;
           }();
}

}  // namespace
}  // namespace kr::test
