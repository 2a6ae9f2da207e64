// The built KR98 under openbox, driven as a user drives it (xdotool): Setup,
// Task Categories, a new task in the task form with a description and a
// command, OK; the required message is filled from the description, OK
// again, and the task runs from the scheduler's own timer: its program
// writes its file and its message shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "../desktop/ProgramDesktop.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;

class TaskFormE2ETest : public OpenboxKR98Test {
protected:
    // The message shows in KR98's own window, not in a second program.
    TaskFormE2ETest() : OpenboxKR98Test("kr-e2e-tasks", "UseKRMsg=0\r\n") {}
};

TEST_F(TaskFormE2ETest, ATaskMadeInTheFormRunsFromTheTimer) {
    const std::string frame = StartKR98();
    ASSERT_FALSE(frame.empty()) << "the frame did not show\n" << kr98_.Said();
    const std::string form = OpenNewTaskForm(frame);
    ASSERT_FALSE(form.empty()) << "the task form did not open; windows:\n" << xdo::VisibleTitles();

    const std::string ran = (dir_ / "form-ran.txt").string();
    xdo::Keys(form, {"alt+d"});
    xdo::Type(form, "Form task");
    xdo::Keys(form, {"ctrl+Tab", "alt+n"});  // the Command tab, its entry
    xdo::Type(form, "sh -c \"echo ran > " + ran + "\"");
    // OK: the message is required; the form brings it forward, filled with
    // the description; OK again stores the task.
    xdo::Keys(form, {"alt+o"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    xdo::Keys(form, {"alt+o"});

    EXPECT_TRUE(WaitUntil([&] { return fs::exists(ran); }, 30000)) << "the task's program did not run";
    // The message shows in a window of its own (or, without one, in a box
    // the test's responder records).
    const std::string message = xdo::WindowNamed("Form task$", 20000);
    const std::string all = kr98_.Asked();
    EXPECT_NE(all.find("Missing Information"), std::string::npos) << all;
    const std::string names = xdo::VisibleTitles();
    EXPECT_FALSE(message.empty()) << "the task's message did not show; windows:\n" << names << "log:\n" << all;
}

}  // namespace
}  // namespace kr::test
