// The installed programs, started from the scratch prefix under openbox,
// find the files they start or read beside them: KR98's script item form
// opens "View Abbreviation List" (KEYCODES.TXT), and KR_DBASE's Repair runs
// tpsfix on a data file that the installed KR98 made.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "InstalledTree.h"
#include "../desktop/ProgramDesktop.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;

class InstalledProgramsTest : public OpenboxKR98Test {
protected:
    InstalledProgramsTest() : OpenboxKR98Test("kr-installed", "UseKRMsg=0\r\n") {}
    void SetUp() override {
        OpenboxKR98Test::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // Installed only for a test that runs: a skipped one installs nothing.
        tree_.emplace();
        ASSERT_TRUE(tree_->ok()) << tree_->output();
        kr98_.SetProgramFolder(tree_->bin());
        repair_.SetProgramFolder(tree_->bin());
    }
    void TearDown() override {
        repair_.Kill();
        OpenboxKR98Test::TearDown();
    }

    std::optional<InstalledTree> tree_;
    ProgramRun repair_{"KR_DBASE"};
};

TEST_F(InstalledProgramsTest, KR98OpensTheAbbreviationList) {
    const std::string frame = StartKR98();
    ASSERT_FALSE(frame.empty()) << "the installed KR98 did not show its frame\n" << kr98_.Said();
    ASSERT_FALSE(WaitForStartupList().empty()) << "the start-up list did not show";

    // Setup → Script Templates → New; the template's first item.
    xdo::Keys(frame, {"alt+s", "s"});
    const std::string templates = xdo::WindowNamed("^Script Templates$");
    ASSERT_FALSE(templates.empty()) << "Script Templates did not open; windows:\n" << xdo::VisibleTitles();
    xdo::Keys(templates, {"alt+n"});
    const std::string form = xdo::WindowNamed("^New Script Template$");
    ASSERT_FALSE(form.empty()) << "the template form did not open";
    xdo::Keys(form, {"alt+d"});
    xdo::Type(form, "Keys");
    xdo::Keys(form, {"alt+n"});
    const std::string item = xdo::WindowNamed("^New Script Action$");
    ASSERT_FALSE(item.empty()) << "the item form did not open; asked:\n" << kr98_.Asked();
    // Send Keys: from the keystrokes entry, Tab passes the key code's two
    // lists and its Append, the value list and its Append, to the button.
    xdo::Keys(item, {"alt+k", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "space"});

    // The list opens, or a message says the file could not be read.
    std::string keys;
    WaitUntil([&] {
        keys = xdo::Run({"search", "--onlyvisible", "--name", "^List of Key Abbreviations$"});
        return !keys.empty() || !kr98_.Asked().empty();
    });
    EXPECT_FALSE(keys.empty()) << "the abbreviation list did not open; asked:\n"
                               << kr98_.Asked() << "windows:\n"
                               << xdo::VisibleTitles();
    EXPECT_EQ(kr98_.Asked(), "");
}

TEST_F(InstalledProgramsTest, RepairProgramStartsTpsfix) {
    // A data file with its tables: the installed KR98 makes them at
    // start-up, and ends.
    kr98_.Prepare(dir_.path(), "offscreen");
    kr98_.SetEnv("KR_TEST_EXIT_AFTER_STARTUP", "1");
    ASSERT_TRUE(kr98_.Start());
    ASSERT_TRUE(kr98_.WaitForEnd(60000)) << kr98_.Said();
    ASSERT_EQ(kr98_.ExitCode(), 0) << kr98_.Said();

    // The start warning: OK; "a multi-table file, continue?": Yes.
    std::ofstream(dir_ / "repair.txt") << "button 1\nbutton 2\n";
    repair_.Prepare(dir_.path());
    repair_.SetResponses(dir_ / "repair.txt");
    ASSERT_TRUE(repair_.Start());
    Window window = 0;
    ASSERT_TRUE(WaitUntil([&] { return (window = FindTitled(display(), "Repair Files", repair_.pid())) != 0; }, 20000))
        << "the installed KR_DBASE did not show Repair Files\n" << repair_.Said();
    // &Repair on the highlighted (first) table.
    xdo::Keys(std::to_string(window), {"alt+r"});

    // tpsfix's report, or the message that it could not be started.
    auto said = [&] { return repair_.Asked().find("\tRepair\t") != std::string::npos ||
                             repair_.Asked().find("\tError\t") != std::string::npos; };
    ASSERT_TRUE(WaitUntil(said, 30000)) << repair_.Asked();
    EXPECT_EQ(repair_.Asked().find("Could not start"), std::string::npos) << repair_.Asked();
    EXPECT_NE(repair_.Asked().find("message\tRepair\t"), std::string::npos) << repair_.Asked();
    EXPECT_TRUE(fs::exists(dir_ / "KR97.TPS.fix.txt")) << "tpsfix left no report";
}

}  // namespace
}  // namespace kr::test
