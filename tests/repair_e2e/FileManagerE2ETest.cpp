// The built KR98 on a real X server: File → Support Tools → File Manager
// through the menu's keys ends KR98 and starts KR_DBASE with the data folder
// as its current folder; KR_DBASE shows its warning, then "Repair Files",
// and ends when that window is closed.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "../desktop/ProgramDesktop.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;

class FileManagerE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        ASSERT_FALSE(dir_.path().empty());
    }
    void TearDown() override {
        kr98_.Kill();
        if (repairPid_ > 0 && !ProcessGone(repairPid_)) kill(static_cast<pid_t>(repairPid_), SIGKILL);
    }

    TemporaryFolder dir_{"kr-e2e-repair"};
    TestDisplay display_;
    TrayHost tray_;
    ProgramRun kr98_;
    long repairPid_ = 0;
};

TEST_F(FileManagerE2ETest, FileManagerEndsKR98AndStartsTheRepairProgramInTheDataFolder) {
    Display* d = display_.d();
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(tray_.Start(d));

    std::ofstream(dir_ / "KR97.TPS");
    kr98_.Prepare(dir_.path());
    kr98_.SetResponses(dir_ / "answers.txt");
    ASSERT_TRUE(kr98_.Start());

    Window frame = 0;
    ASSERT_TRUE(WaitUntil([&] { return (frame = FindTitled(d, "Kairoll 2000")) != 0; }, 20000))
        << "the frame did not show\n" << kr98_.Said();
    GiveFocus(d, frame);
    // File → Support Tools → File Manager.
    PressKey(d, XK_f, XK_Alt_L, 400);
    PressKey(d, XK_t, 0, 400);
    PressKey(d, XK_f, 0, 400);
    ASSERT_TRUE(kr98_.WaitForEnd(20000)) << "KR98 did not end after starting the repair program";
    EXPECT_EQ(kr98_.ExitCode(), 0) << kr98_.Said();

    Window repair = 0;
    ASSERT_TRUE(WaitUntil([&] { return (repair = FindTitled(d, "Repair Files")) != 0; }, 20000))
        << "the repair program's window did not show";
    repairPid_ = WindowPid(d, repair);
    ASSERT_GT(repairPid_, 0);
    // Started in the data folder.
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(repairPid_) + "/cwd"), dir_.path());
    std::ifstream exe("/proc/" + std::to_string(repairPid_) + "/comm");
    std::string name;
    std::getline(exe, name);
    EXPECT_EQ(name, "KR_DBASE");

    // Its warning came first (answered by the test's responder).
    EXPECT_NE(kr98_.Asked().find("message\tWarning\tYou should ensure that all other Kairoll applications and services "
                               "are closed before repairing the databases."),
              std::string::npos)
        << kr98_.Asked();

    // Cl&ose ends it.
    GiveFocus(d, repair);
    PressKey(d, XK_o, XK_Alt_L, 400);
    EXPECT_TRUE(WaitUntil([&] { return ProcessGone(repairPid_); }, 10000))
        << "Close did not end the repair program";
}

}  // namespace
}  // namespace kr::test
