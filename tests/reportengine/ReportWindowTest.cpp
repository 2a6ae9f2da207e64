// Reports through their windows, read back from PDF with pdftotext: a
// three-page report with a group break printed, the preview's page stepping
// and its Print with collated copies, copies without collation, and a run
// cancelled without a partial preview showing nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QWidget>
#include <filesystem>
#include <regex>

#include "../ui/UiTestSupport.h"
#include "ReportFixture.h"
#include "platform/runtime/Services.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/ReportPreview.h"
#include "platform/ui/Requests.h"
#include "platform/ui/report/ReportWriter.h"

namespace kr {
namespace {

using test::WindowTitled;

// The text of each page of a PDF file, through pdftotext.
std::vector<std::string> PdfPages(const std::string& file) {
    QProcess p;
    p.start("pdftotext", {"-layout", QString::fromStdString(file), "-"});
    p.waitForFinished(30000);
    std::string all = p.readAllStandardOutput().toStdString();
    std::vector<std::string> pages;
    size_t start = 0, ff;
    while ((ff = all.find('\f', start)) != std::string::npos) {
        pages.push_back(all.substr(start, ff - start));
        start = ff + 1;
    }
    return pages;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
// The page number line of a page ("Page    2": the picture keeps blanks
// for the digits a small number does not use).
bool HasPageNumber(const std::string& text, int n) {
    return std::regex_search(text, std::regex("Page +" + std::to_string(n) + "\\b"));
}

class ReportWindowTest : public ::testing::Test {
protected:
    void TearDown() override { test::CloseAllWindows(); }
    std::shared_ptr<ReportJob> Job(test::SampleReport& r) {
        auto job = std::make_shared<ReportJob>();
        job->procedureName = "SampleReport";
        job->layout = r.layout;
        job->total = static_cast<int>(r.rows.size());
        job->read = [&r] { return r.Read(); };
        job->outputFile = folder_.path() + "/out.pdf";
        return job;
    }
    // Runs the report as a procedure started on a thread of its own.
    void Start(std::shared_ptr<ReportJob> job) {
        kr::Start("SampleReport", [this, job] { RunReport(job, [this](int r) { response_ = r; }); });
    }
    test::TempFolder folder_;
    ScriptedResponder responder_;
    ScopedMessageService scope_{&responder_};
    int response_ = 0;
};

TEST_F(ReportWindowTest, PrintedReportReadsBackWithPageNumbersGroupsAndTotals) {
    test::SampleReport r(test::SampleRows());
    auto job = Job(r);
    job->batchSize = 5;
    responder_.Answer(kButtonNo);  // do not preview: print
    bool sawProgress = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (QWidget* w = WindowTitled("Printing Report"))
            sawProgress = sawProgress || Contains(w->findChild<QLabel*>("percent")->text().toStdString(), "% Completed");
    });
    probe.start(1);
    Start(job);
    ASSERT_TRUE(test::WaitFor([&] { return response_ != 0; }, 30000));
    EXPECT_EQ(response_, kRequestCompleted);
    EXPECT_TRUE(sawProgress);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.text, "Do you wish to PREVIEW this Report?");

    auto pages = PdfPages(job->outputFile);
    ASSERT_EQ(pages.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(Contains(pages[i], "Task Amounts")) << i;
        EXPECT_TRUE(HasPageNumber(pages[i], i + 1)) << pages[i];
    }
    EXPECT_TRUE(Contains(pages[0], "Category:"));
    EXPECT_TRUE(Contains(pages[0], "Errands item 1 "));
    std::string all = pages[0] + pages[1] + pages[2];
    EXPECT_TRUE(Contains(all, "Category: Work") || Contains(all, "Category:   Work") || Contains(all, "Work\n"));
    // Group totals: 40 records and 820 in each group; the grand total.
    size_t errands = all.find("Total of");
    ASSERT_NE(errands, std::string::npos);
    const std::string line = all.substr(errands, all.find('\n', errands) - errands);
    EXPECT_TRUE(Contains(line, "Errands") && Contains(line, "40") && Contains(line, "820")) << line;
    size_t grand = all.find("Grand total");
    ASSERT_NE(grand, std::string::npos);
    const std::string gline = all.substr(grand, all.find('\n', grand) - grand);
    EXPECT_TRUE(Contains(gline, "80") && Contains(gline, "1,640")) << gline;
    EXPECT_LT(all.find("Work item 40"), grand);
}

TEST_F(ReportWindowTest, PreviewStepsThroughPagesAndPrintsCollatedCopies) {
    test::SampleReport r(test::SampleRows());
    r.layout->copies = 2;
    r.layout->collate = true;
    auto job = Job(r);
    responder_.Answer(kButtonYes);  // preview
    Start(job);
    QWidget* preview = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (preview = WindowTitled("Print Preview - Sample")) != nullptr; }, 30000));
    auto* page = preview->findChild<QLabel*>("page");
    EXPECT_EQ(page->text(), "Page 1 of 3");
    EXPECT_FALSE(preview->findChild<QPushButton*>("previous")->isEnabled());
    preview->findChild<QPushButton*>("next")->click();
    EXPECT_EQ(page->text(), "Page 2 of 3");
    preview->findChild<QPushButton*>("last")->click();
    EXPECT_EQ(page->text(), "Page 3 of 3");
    EXPECT_FALSE(preview->findChild<QPushButton*>("next")->isEnabled());
    EXPECT_FALSE(preview->findChild<QLabel*>("image")->pixmap().isNull());
    EXPECT_EQ(WindowTitled("Generating Report"), nullptr) << "the progress window hides under the preview";
    EXPECT_FALSE(std::filesystem::exists(job->outputFile));
    preview->findChild<QPushButton*>("print")->click();
    ASSERT_TRUE(test::WaitFor([&] { return response_ != 0; }, 30000));
    EXPECT_EQ(response_, kRequestCompleted);
    auto pages = PdfPages(job->outputFile);
    ASSERT_EQ(pages.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(HasPageNumber(pages[i], i % 3 + 1)) << i;
}

TEST_F(ReportWindowTest, CopiesWithoutCollationRepeatEachPage) {
    test::SampleReport r(test::SampleRows());
    report::ReportWriter w(*r.layout);
    while (r.Read().kind == RecordStep::kDone) w.PrintDetail();
    w.Close();
    report::RenderedReport pages = w.TakePages();
    pages.copies = 2;
    const std::string file = folder_.path() + "/copies.pdf";
    ASSERT_TRUE(PrintReportPages(pages, file));
    auto text = PdfPages(file);
    ASSERT_EQ(text.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(HasPageNumber(text[i], i / 2 + 1)) << i;
    EXPECT_TRUE(responder_.shown().empty());
    // A file that cannot be written is reported, not passed over.
    EXPECT_FALSE(PrintReportPages(pages, folder_.path() + "/missing/folder/x.pdf"));
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "Print");
}

TEST_F(ReportWindowTest, CancelledWithoutPartialPreviewShowsNothing) {
    test::SampleReport r(test::SampleRows(4000));
    auto job = Job(r);
    responder_.Answer(kButtonYes);  // preview
    responder_.Answer(kButtonYes);  // yes, cancel
    responder_.Answer(kButtonNo);   // no partial preview
    Start(job);
    QWidget* progress = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (progress = WindowTitled("Generating Report")) != nullptr; }));
    ASSERT_TRUE(test::WaitFor([&] { return r.next > 30; }));
    progress->findChild<QPushButton*>("cancel")->click();
    ASSERT_TRUE(test::WaitFor([&] { return response_ != 0; }, 30000));
    EXPECT_EQ(response_, kRequestCancelled);
    EXPECT_LT(r.next, r.rows.size());
    EXPECT_EQ(responder_.shown().size(), 3u);
    test::Pump();
    EXPECT_EQ(WindowTitled("Print Preview - Sample"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(job->outputFile));
}

TEST_F(ReportWindowTest, CancelWithoutConfirmationAsksNothingAndShowsNothing) {
    test::SampleReport r(test::SampleRows(4000));
    auto job = Job(r);
    job->preview = true;
    job->progressTitle = "Report Progress...";
    job->confirmCancel = false;
    Start(job);
    QWidget* progress = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (progress = WindowTitled("Report Progress...")) != nullptr; }));
    ASSERT_TRUE(test::WaitFor([&] { return r.next > 30; }));
    progress->findChild<QPushButton*>("cancel")->click();
    ASSERT_TRUE(test::WaitFor([&] { return response_ != 0; }, 30000));
    EXPECT_EQ(response_, kRequestCancelled);
    EXPECT_LT(r.next, r.rows.size());
    EXPECT_TRUE(responder_.shown().empty());
    test::Pump();
    EXPECT_EQ(WindowTitled("Print Preview - Sample"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(job->outputFile));
}

}  // namespace
}  // namespace kr
