// The built KR98 under openbox, driven as a user drives it (xdotool): a new
// task in the task form, its script list, two items made in the item form
// (Set Focus on a window of ours, then Send Keys), the task stored; when the
// task is due its script types the text into our window.
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

namespace kr::test {
namespace {

namespace fs = std::filesystem;

class ScriptEditE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        if (QProcess::execute("xdotool", {"version"}) != 0) GTEST_SKIP() << "needs xdotool";
        char tmpl[] = "/tmp/kr-e2e-scriptedit-XXXXXX";
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
        if (target_.state() != QProcess::NotRunning) {
            target_.kill();
            target_.waitForFinished();
        }
        if (kr98_.state() != QProcess::NotRunning) {
            kr98_.kill();
            kr98_.waitForFinished();
        }
        wm_.reset();
        display_.reset();
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }
    static std::string Xdotool(const QStringList& args) {
        QProcess p;
        p.start("xdotool", args);
        p.waitForFinished(10000);
        return p.readAllStandardOutput().trimmed().toStdString();
    }
    // The first window whose title matches the pattern ("" when none yet).
    static std::string WindowNamed(const QString& pattern, int ms = 20000) {
        std::string id;
        WaitUntil(
            [&] {
                id = Xdotool({"search", "--onlyvisible", "--name", pattern});
                id = id.substr(0, id.find('\n'));
                return !id.empty();
            },
            ms);
        return id;
    }
    static void Keys(const std::string& window, const QStringList& keys) {
        Xdotool(QStringList{"windowactivate", "--sync", QString::fromStdString(window)});
        for (const QString& k : keys) {
            Xdotool({"key", "--clearmodifiers", k});
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
    }
    static void Type(const std::string& window, const std::string& text) {
        Xdotool(QStringList{"windowactivate", "--sync", QString::fromStdString(window)});
        Xdotool({"type", "--delay", "30", QString::fromStdString(text)});
    }

    fs::path dir_;
    std::unique_ptr<TestDisplay> display_;
    std::unique_ptr<WindowManagerProcess> wm_;
    QProcess kr98_;
    QProcess target_;
};

TEST_F(ScriptEditE2ETest, AScriptMadeInTheListAndFormTypesIntoOurWindowWhenDue) {
    // Our window, which writes what it is given to a file.
    const fs::path typed = dir_ / "typed.txt";
    QProcessEnvironment targetEnv = QProcessEnvironment::systemEnvironment();
    targetEnv.insert("QT_QPA_PLATFORM", "xcb");
    target_.setProcessEnvironment(targetEnv);
    target_.setProcessChannelMode(QProcess::ForwardedChannels);
    target_.start(QString::fromStdString(std::string(KR_BIN_DIR) + "/kr_key_target"),
                  {"Script Target", "Typed by the script", QString::fromStdString(typed.string())});
    ASSERT_TRUE(target_.waitForStarted(10000));
    ASSERT_FALSE(WindowNamed("^Script Target$").empty()) << "the target window did not show";

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
    Keys(form, {"alt+d"});
    Type(form, "Script task");
    Keys(form, {"ctrl+Tab", "alt+n"});
    Type(form, "N/A");
    Keys(form, {"alt+s"});  // the task's script list
    const std::string list = WindowNamed("^Scripting - ");
    ASSERT_FALSE(list.empty()) << "the script list did not open";

    // First item: Set Focus on our window (the arrow moves the action from
    // Send Keys to Set Focus).
    Keys(list, {"alt+n"});
    std::string item = WindowNamed("^New Script Action$");
    ASSERT_FALSE(item.empty()) << "the item form did not open";
    Keys(item, {"Right", "alt+f"});
    Type(item, "Script Target");
    Keys(item, {"alt+o"});
    ASSERT_TRUE(WaitUntil([&] { return Xdotool({"search", "--onlyvisible", "--name", "^New Script Action$"}).empty(); },
                          10000))
        << "the item form stayed open";
    // Second item: Send Keys, placed after the first.
    Keys(list, {"alt+n"});
    item = WindowNamed("^New Script Action$");
    ASSERT_FALSE(item.empty()) << "the item form did not open a second time";
    Keys(item, {"alt+k"});
    Type(item, "hello from the script");
    Keys(item, {"alt+o"});
    ASSERT_TRUE(WaitUntil([&] { return Xdotool({"search", "--onlyvisible", "--name", "^New Script Action$"}).empty(); },
                          10000));
    Keys(list, {"alt+o"});  // Close
    ASSERT_TRUE(WaitUntil([&] { return Xdotool({"search", "--onlyvisible", "--name", "^Scripting - "}).empty(); },
                          10000));
    // The task: OK, the required message filled from the description, OK.
    Keys(form, {"alt+o"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Keys(form, {"alt+o"});

    auto text = [&] {
        std::ifstream in(typed, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    EXPECT_TRUE(WaitUntil([&] { return text().find("hello from the script") != std::string::npos; }, 40000))
        << "typed: " << text();
}

}  // namespace
}  // namespace kr::test
