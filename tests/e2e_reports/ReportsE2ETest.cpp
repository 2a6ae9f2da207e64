// The built KR98 under openbox, driven as a user drives it: Reports,
// Schedule, All in Date Order; no preview question, the preview at the end
// of the run; Print in the preview, which writes the PDF file the test names; the file holds the
// tasks of the data file.
#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>
#include <fstream>
#include <string>

// The dictionary before the X11 headers, whose macros (None) clash with it.
#include "../desktop/KR98DataFile.h"
#include "../desktop/ProgramDesktop.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;

class ReportsE2ETest : public OpenboxKR98Test {
protected:
    ReportsE2ETest() : OpenboxKR98Test("kr-e2e-reports", "UseKRMsg=0\r\n") {}
};

TEST_F(ReportsE2ETest, AllInDateOrderPreviewsAndPrintsTheTasks) {
    ASSERT_NO_FATAL_FAILURE(WriteTasks(
        dir_.path(), {{"Water the ferns", "Reports"}, {"Renew the lease", "Reports"}, {"Call the plumber", "Reports"}}));
    const fs::path pdf = dir_ / "schedule.pdf";
    std::ofstream(dir_ / "answers.txt");  // no question is asked
    kr98_.Prepare(dir_.path());
    kr98_.SetResponses(dir_ / "answers.txt");
    kr98_.SetEnv("KR_TEST_REPORT_PDF", pdf.string());
    ASSERT_TRUE(kr98_.Start());
    const std::string frame = xdo::WindowNamed("^Kairoll 2000");
    ASSERT_FALSE(frame.empty()) << "the frame did not show\n" << kr98_.Said();
    ASSERT_FALSE(WaitForStartupList().empty()) << "the start-up list did not show";

    xdo::Keys(frame, {"alt+r", "s", "a"});  // &Reports, &Schedule, &All in Date Order
    const std::string preview = xdo::WindowNamed("^Print Preview - Schedule$");
    ASSERT_FALSE(preview.empty()) << "the preview did not open; windows:\n" << xdo::VisibleTitles();
    xdo::Keys(preview, {"alt+p"});
    ASSERT_TRUE(xdo::WaitGone("^Print Preview - Schedule$")) << "the preview stayed open";
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(pdf) && fs::file_size(pdf) > 0; }, 20000)) << "no PDF written";

    QProcess p;
    p.start("pdftotext", {"-layout", QString::fromStdString(pdf.string()), "-"});
    ASSERT_TRUE(p.waitForFinished(30000));
    const std::string text = p.readAllStandardOutput().toStdString();
    for (const char* t : {"Schedule", "Water the ferns", "Renew the lease", "Call the plumber"})
        EXPECT_NE(text.find(t), std::string::npos) << t << "\n" << text;
    EXPECT_LT(text.find("Water the ferns"), text.find("Call the plumber"));
}

}  // namespace
}  // namespace kr::test
