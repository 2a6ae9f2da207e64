// The built KR98 under openbox, driven as a user drives it (xdotool): a new
// task in the task form, its script list, two items made in the item form
// (Set Focus on a window of ours, then Send Keys), the task stored; when the
// task is due its script types the text into our window.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "../desktop/ProgramDesktop.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;

class ScriptEditE2ETest : public OpenboxKR98Test {
protected:
    // The message shows in KR98's own window, not in a second program.
    ScriptEditE2ETest() : OpenboxKR98Test("kr-e2e-scriptedit", "UseKRMsg=0\r\n") {}
    void TearDown() override {
        target_.Kill();
        OpenboxKR98Test::TearDown();
    }

    ProgramRun target_{"kr_key_target"};
};

TEST_F(ScriptEditE2ETest, AScriptMadeInTheListAndFormTypesIntoOurWindowWhenDue) {
    // Our window, which writes what it is given to a file.
    const fs::path typed = dir_ / "typed.txt";
    target_.Prepare(dir_.path());
    ASSERT_TRUE(target_.Start({"Script Target", "Typed by the script", QString::fromStdString(typed.string())}));
    ASSERT_FALSE(xdo::WindowNamed("^Script Target$").empty()) << "the target window did not show";

    const std::string frame = StartKR98();
    ASSERT_FALSE(frame.empty()) << "the frame did not show\n" << kr98_.Said();
    const std::string form = OpenNewTaskForm(frame);
    ASSERT_FALSE(form.empty()) << "the task form did not open; windows:\n" << xdo::VisibleTitles();
    xdo::Keys(form, {"alt+d"});
    xdo::Type(form, "Script task");
    xdo::Keys(form, {"ctrl+Tab", "alt+n"});
    xdo::Type(form, "N/A");
    xdo::Keys(form, {"alt+s"});  // the task's script list
    const std::string list = xdo::WindowNamed("^Scripting - ");
    ASSERT_FALSE(list.empty()) << "the script list did not open";

    // First item: Set Focus on our window (the arrow moves the action from
    // Send Keys to Set Focus).
    xdo::Keys(list, {"alt+n"});
    std::string item = xdo::WindowNamed("^New Script Action$");
    ASSERT_FALSE(item.empty()) << "the item form did not open";
    xdo::Keys(item, {"Right", "alt+f"});
    xdo::Type(item, "Script Target");
    xdo::Keys(item, {"alt+o"});
    ASSERT_TRUE(xdo::WaitGone("^New Script Action$")) << "the item form stayed open";
    // Second item: Send Keys, placed after the first.
    xdo::Keys(list, {"alt+n"});
    item = xdo::WindowNamed("^New Script Action$");
    ASSERT_FALSE(item.empty()) << "the item form did not open a second time";
    xdo::Keys(item, {"alt+k"});
    xdo::Type(item, "hello from the script");
    xdo::Keys(item, {"alt+o"});
    ASSERT_TRUE(xdo::WaitGone("^New Script Action$"));
    xdo::Keys(list, {"alt+o"});  // Close
    ASSERT_TRUE(xdo::WaitGone("^Scripting - "));
    // The task: OK, the required message filled from the description, OK.
    xdo::Keys(form, {"alt+o"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    xdo::Keys(form, {"alt+o"});

    auto text = [&] { return ReadText(typed); };
    EXPECT_TRUE(WaitUntil([&] { return text().find("hello from the script") != std::string::npos; }, 40000))
        << "typed: " << text();
}

}  // namespace
}  // namespace kr::test
