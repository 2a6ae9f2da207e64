// The built KR98 under openbox with a tray host: File → Support Tools → File Manager
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

class FileManagerE2ETest : public OpenboxKR98Test {
protected:
    FileManagerE2ETest() : OpenboxKR98Test("kr-e2e-repair", "", kTrayHost) {}
    void TearDown() override {
        if (repairPid_ > 0 && !ProcessGone(repairPid_)) kill(static_cast<pid_t>(repairPid_), SIGKILL);
        OpenboxKR98Test::TearDown();
    }

    long repairPid_ = 0;
};

TEST_F(FileManagerE2ETest, FileManagerEndsKR98AndStartsTheRepairProgramInTheDataFolder) {
    Display* d = display();
    ASSERT_TRUE(LaunchKR98());

    const Window frame = WaitForFrame();
    ASSERT_NE(frame, 0u) << "the frame did not show\n" << kr98_.Said();
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
