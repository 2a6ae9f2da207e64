// The report preview strings: defaults and arguments when the file has no
// section, "WIN.INI" for an empty name, texts from the file and their widths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/runtime/ReportPreviewStrings.h"

namespace kr {
namespace {

namespace fs = std::filesystem;

class ReportStringsTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = fs::current_path();
        char tmpl[] = "/tmp/kr-rps-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::current_path(dir_);
    }
    void TearDown() override {
        LoadReportPreviewStrings("NONE.INI", "", "", "");
        fs::current_path(old_);
        fs::remove_all(dir_);
    }
    static void Write(const char* name, const std::string& text) { std::ofstream(name) << text; }
    fs::path old_, dir_;
};

TEST_F(ReportStringsTest, WithoutTheSectionTheDefaultsAndArgumentsHold) {
    Write("CPCSRPTS.INI", "[OTHER]\nProgWinTitlePrvw=x\n");
    LoadReportPreviewStrings("CPCSRPTS.INI  ", "", "Preview", "Do you wish to PREVIEW this Report?");
    ReportPreviewTexts t = ReportPreviewStrings();
    EXPECT_EQ(t.ProgWinTitlePrvw, "Generating Report");
    EXPECT_EQ(t.ProgWinTitlePrnt, "Printing Report");
    EXPECT_EQ(t.ProgWinPctText, "% Completed");
    EXPECT_EQ(t.ProgWinUsrText, "");
    EXPECT_EQ(t.AskPrvwDialogTitle, "Preview");
    EXPECT_EQ(t.AskPrvwDialogText, "Do you wish to PREVIEW this Report?");
    EXPECT_EQ(t.CancelAreYouSureText, "Are you sure you want to CANCEL this Report?");
    EXPECT_EQ(t.CancelPrvwPartialText, "Report Cancellation Requested!||Preview Report generated so far?");
    EXPECT_EQ(t.NothingToPrntTitle, "NOTE...");
    EXPECT_EQ(t.NothingToPrntText, "Nothing to Print.");
    EXPECT_EQ(t.NoDfltPrtrText.substr(0, 42), "Warning:  No DEFAULT Printer Driver Found!");
}

TEST_F(ReportStringsTest, EmptyNameReadsWinIniAndTextsAreCutToTheirWidths) {
    const std::string long300(300, 'w');
    Write("WIN.INI", "[DISPLAY STRINGS 2.0]\nprogwintitleprvw=Report wird erstellt\nNoDfltPrtrText=" + long300 +
                         "\nCancelPrvwPartialText=" + long300 + "\nNothingToPrntText=" + long300 + "\n");
    LoadReportPreviewStrings("", "user", "T", "Q");
    ReportPreviewTexts t = ReportPreviewStrings();
    EXPECT_EQ(t.ProgWinTitlePrvw, "Report wird erstellt");
    EXPECT_EQ(t.ProgWinUsrText, "user");
    EXPECT_EQ(t.NoDfltPrtrText.size(), 254u);
    EXPECT_EQ(t.CancelPrvwPartialText.size(), 127u);
    EXPECT_EQ(t.NothingToPrntText.size(), 63u);
}

}  // namespace
}  // namespace kr
