// The built KR98 under openbox, driven as a user drives it (xdotool): Setup,
// Task Categories, a new task in the task form with a description and a
// command, OK; the required message is filled from the description, OK
// again, and the task runs from the scheduler's own timer: its program
// writes its file and its message shows.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "../desktop/X11TestSupport.h"
#include "../desktop/Xdotool.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;

class TaskFormE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        if (!xdo::Available()) GTEST_SKIP() << "needs xdotool";
        char tmpl[] = "/tmp/kr-e2e-tasks-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::create_directories(dir_ / "home");
        std::ofstream(dir_ / "KR97.TPS");
        // The message shows in KR98's own window, not in a second program.
        std::ofstream(dir_ / "kr98.INI") << "[Settings]\r\nUseKRMsg=0\r\n";
        std::ofstream(dir_ / "answers.txt");
        display_ = std::make_unique<TestDisplay>();
        ASSERT_NE(display_->d(), nullptr);
        wm_ = std::make_unique<WindowManagerProcess>(*display_, WindowManagerProcess::Openbox);
        ASSERT_TRUE(wm_->ready()) << "openbox did not start";
    }
    void TearDown() override {
        if (kr98_.state() != QProcess::NotRunning) {
            kr98_.kill();
            kr98_.waitForFinished();
        }
        wm_.reset();
        display_.reset();
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }
    static std::string Xdotool(const QStringList& args) { return xdo::Run(args); }
    static std::string WindowNamed(const QString& pattern, int ms = 20000) { return xdo::WindowNamed(pattern, ms); }
    static void Keys(const std::string& window, const QStringList& keys) { xdo::Keys(window, keys); }
    static void Type(const std::string& window, const std::string& text) { xdo::Type(window, text); }

    fs::path dir_;
    std::unique_ptr<TestDisplay> display_;
    std::unique_ptr<WindowManagerProcess> wm_;
    QProcess kr98_;
};

TEST_F(TaskFormE2ETest, ATaskMadeInTheFormRunsFromTheTimer) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("HOME", QString::fromStdString((dir_ / "home").string()));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString((dir_ / "home" / ".config").string()));
    env.insert("KR_TEST_RESPONSES", QString::fromStdString((dir_ / "answers.txt").string()));
    env.remove("KR_TEST_EXIT_AFTER_STARTUP");
    kr98_.setProcessEnvironment(env);
    kr98_.setWorkingDirectory(QString::fromStdString(dir_.string()));
    kr98_.setProcessChannelMode(QProcess::ForwardedChannels);
    kr98_.start(QString::fromStdString(std::string(KR_BIN_DIR) + "/KR98"), {});
    ASSERT_TRUE(kr98_.waitForStarted(10000));

    const std::string frame = WindowNamed("^Kairoll 2000");
    ASSERT_FALSE(frame.empty()) << "the frame did not show";
    Keys(frame, {"alt+s", "t"});  // Setup, Task Categories
    const std::string categories = WindowNamed("^Task Categories$");
    ASSERT_FALSE(categories.empty()) << "Task Categories did not open";
    // A click into the task list (the right-hand part), then Insert: New.
    Xdotool({"windowactivate", "--sync", QString::fromStdString(categories)});
    const std::string geometry = Xdotool({"getwindowgeometry", "--shell", QString::fromStdString(categories)});
    int width = 0, height = 0;
    std::sscanf(geometry.substr(geometry.find("WIDTH=")).c_str(), "WIDTH=%d", &width);
    std::sscanf(geometry.substr(geometry.find("HEIGHT=")).c_str(), "HEIGHT=%d", &height);
    ASSERT_GT(width, 0);
    Xdotool({"mousemove", "--window", QString::fromStdString(categories), QString::number(width * 7 / 10),
             QString::number(height / 2), "click", "1"});
    Keys(categories, {"Insert"});
    const std::string form = WindowNamed("^New Task");
    ASSERT_FALSE(form.empty()) << "the task form did not open";

    const std::string ran = (dir_ / "form-ran.txt").string();
    Keys(form, {"alt+d"});
    Type(form, "Form task");
    Keys(form, {"ctrl+Tab", "alt+n"});  // the Command tab, its entry
    Type(form, "sh -c \"echo ran > " + ran + "\"");
    // OK: the message is required; the form brings it forward, filled with
    // the description; OK again stores the task.
    Keys(form, {"alt+o"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Keys(form, {"alt+o"});

    EXPECT_TRUE(WaitUntil([&] { return fs::exists(ran); }, 30000)) << "the task's program did not run";
    // The message shows in a window of its own (or, without one, in a box
    // the test's responder records).
    const std::string message = WindowNamed("Form task$", 20000);
    std::ifstream log(dir_ / "answers.txt.log");
    std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find("Missing Information"), std::string::npos) << all;
    const std::string names = xdo::VisibleTitles();
    EXPECT_FALSE(message.empty()) << "the task's message did not show; windows:\n" << names << "log:\n" << all;
}

}  // namespace
}  // namespace kr::test
