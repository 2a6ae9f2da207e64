// Reports through their windows, read back from PDF with pdftotext: a
// three-page report with a group break printed, the preview's page stepping
// and its Print with collated copies, copies without collation, and a run
// cancelled without a partial preview showing nothing; a report printed as it
// runs equals its printed preview, and a cancelled print leaves no file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QRadioButton>
#include <QTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QWidget>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "../ui/UiTestSupport.h"
#include "DialogHand.h"
#include "ReportFixture.h"
#include "platform/runtime/Services.h"
#include "platform/ui/PrintSetup.h"
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

// A PDF file a print makes holds the report's rows: the owner's alone under
// any umask, as an export is; a file printed over keeps the mode it had.
TEST_F(ReportWindowTest, APrintToANewPdfFileIsOwnerOnly) {
    test::SampleReport r(test::SampleRows());
    report::ReportWriter w(*r.layout);
    while (r.Read().kind == RecordStep::kDone) w.PrintDetail();
    w.Close();
    const report::RenderedReport pages = w.TakePages();
    namespace fs = std::filesystem;
    const std::string made = folder_.path() + "/made.pdf";
    const std::string kept = folder_.path() + "/kept.pdf";
    std::ofstream(kept) << "old";
    fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
    const mode_t umask = ::umask(022);
    const bool printedMade = PrintReportPages(pages, made);
    const bool printedKept = PrintReportPages(pages, kept);
    ::umask(umask);
    ASSERT_TRUE(printedMade);
    ASSERT_TRUE(printedKept);
    EXPECT_EQ(fs::status(made).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(kept).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(PdfPages(made).size(), 3u);
    EXPECT_EQ(PdfPages(kept).size(), 3u);
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

// The open descriptors of this process on a page store's file.
size_t StoreFiles() {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(e.path(), ec).string().find("kr-report-") != std::string::npos) ++n;
    }
    return n;
}

TEST_F(ReportWindowTest, StreamedPrintEqualsThePrintedPreviewWhoseKeptPagesGoWithIt) {
    test::SampleReport straight(test::SampleRows(300));
    auto job = Job(straight);
    job->batchSize = 100;
    job->preview = false;
    job->outputFile = folder_.path() + "/straight.pdf";
    const size_t before = StoreFiles();
    Start(job);
    ASSERT_TRUE(test::WaitFor([&] { return response_ != 0; }, 30000));
    EXPECT_EQ(response_, kRequestCompleted);
    EXPECT_EQ(StoreFiles(), before) << "pages printed as they come are not kept";

    test::SampleReport kept(test::SampleRows(300));
    auto previewed = Job(kept);
    previewed->batchSize = 100;
    previewed->preview = true;
    previewed->outputFile = folder_.path() + "/previewed.pdf";
    response_ = 0;
    Start(previewed);
    QWidget* preview = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (preview = WindowTitled("Print Preview - Sample")) != nullptr; }, 30000));
    EXPECT_EQ(StoreFiles(), before + 1);
    preview->findChild<QPushButton*>("last")->click();
    preview->findChild<QPushButton*>("print")->click();
    ASSERT_TRUE(test::WaitFor([&] { return response_ != 0; }, 30000));
    EXPECT_EQ(response_, kRequestCompleted);
    test::Pump();
    EXPECT_EQ(StoreFiles(), before) << "the kept pages go with the preview";

    const auto a = PdfPages(job->outputFile), b = PdfPages(previewed->outputFile);
    ASSERT_GT(a.size(), 15u);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i], b[i]) << "page " << i + 1;
    EXPECT_TRUE(Contains(a.back(), "Grand total"));
}

TEST_F(ReportWindowTest, CancelWhilePrintingLeavesNoFile) {
    // Kept pages painted a slice at a time: Cancel once some are painted.
    test::SampleReport r(test::SampleRows(2500));
    auto job = Job(r);
    job->batchSize = 500;
    job->preview = true;
    Start(job);
    QWidget* preview = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (preview = WindowTitled("Print Preview - Sample")) != nullptr; }, 60000));
    preview->findChild<QPushButton*>("print")->click();
    QWidget* printing = nullptr;
    ASSERT_TRUE(test::WaitFor([&] {
        printing = WindowTitled("Printing Report");
        return printing && printing->findChild<QLabel*>("percent")->text() != "0% Completed";
    }, 60000));
    EXPECT_TRUE(std::filesystem::exists(job->outputFile)) << "painting has begun";
    printing->findChild<QPushButton*>("cancel")->click();
    ASSERT_TRUE(test::WaitFor([&] { return response_ != 0; }, 30000));
    test::Pump();
    EXPECT_EQ(WindowTitled("Printing Report"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(job->outputFile));

    // Printed as it runs: the file grows with the run, and Cancel removes it.
    test::SampleReport s(test::SampleRows(4000));
    auto streamed = Job(s);
    streamed->preview = false;
    responder_.Answer(kButtonYes);  // yes, cancel
    response_ = 0;
    Start(streamed);
    QWidget* progress = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (progress = WindowTitled("Printing Report")) != nullptr; }));
    ASSERT_TRUE(test::WaitFor([&] { return s.next > 200; }, 30000));
    EXPECT_TRUE(std::filesystem::exists(streamed->outputFile)) << "the first pages are out";
    progress->findChild<QPushButton*>("cancel")->click();
    ASSERT_TRUE(test::WaitFor([&] { return response_ != 0; }, 30000));
    EXPECT_EQ(response_, kRequestCancelled);
    EXPECT_LT(s.next, s.rows.size());
    EXPECT_FALSE(std::filesystem::exists(streamed->outputFile));
}

}  // namespace
}  // namespace kr

namespace kr {
namespace {

using test::Hand;

// "Page size: 595.28 x 419.53 pts (A5)" of pdfinfo, as width and height.
std::pair<double, double> PdfPageSize(const std::string& file) {
    QProcess p;
    p.start("pdfinfo", {QString::fromStdString(file)});
    p.waitForFinished(30000);
    const std::string info = p.readAllStandardOutput().toStdString();
    std::smatch m;
    if (!std::regex_search(info, m, std::regex("Page size: +([0-9.]+) x ([0-9.]+)"))) return {0, 0};
    return {std::stod(m[1]), std::stod(m[2])};
}

class PrintSetupTest : public ReportWindowTest {
protected:
    void SetUp() override {
        // The system's print service is never asked: a server that is not there.
        ::setenv("CUPS_SERVER", (folder_.path() + "/no-cups.sock").c_str(), 1);
        SetPrintSetup(std::nullopt);
        SetLastPrintFile("");
    }
    void TearDown() override {
        SetPrintSetup(std::nullopt);
        SetLastPrintFile("");
        ReportWindowTest::TearDown();
    }
    // Prints the sample report without the preview question.
    int Print(test::SampleReport& r) {
        auto job = Job(r);
        job->outputFile.clear();
        job->preview = false;
        response_ = 0;
        Start(job);
        EXPECT_TRUE(test::WaitFor([&] { return response_ != 0; }, 30000));
        return response_;
    }
};

TEST_F(PrintSetupTest, APdfFileOnTheChosenPaperAskedForAtEachPrintAndNeverReplacedSilently) {
    // With no queue the set-up offers the file alone; A5 landscape.
    QStringList printers;
    Hand setup({[&] {
        auto* d = test::VisibleWindow<QDialog>("PrintSetup");
        if (!d) return false;
        auto* printer = d->findChild<QComboBox*>("printer");
        for (int i = 0; i < printer->count(); ++i) printers << printer->itemText(i);
        auto* paper = d->findChild<QComboBox*>("paper");
        paper->setCurrentIndex(paper->findText("A5", Qt::MatchStartsWith));
        d->findChild<QRadioButton*>("landscape")->setChecked(true);
        d->findChild<QPushButton*>("ok")->click();
        return true;
    }});
    ASSERT_TRUE(PrintSetupDialog(nullptr));
    EXPECT_EQ(printers, QStringList{kPrintToFileText});
    ASSERT_TRUE(ChosenPrintSetup() && ChosenPrintSetup()->toFile);

    test::SampleReport r(test::SampleRows());
    const std::string first = folder_.path() + "/first.pdf";
    QString offered;
    {
        Hand name({[&] {
            auto* d = test::VisibleWindow<QFileDialog>("printFile");
            if (!d) return false;
            offered = d->selectedFiles().value(0);
            test::EnterFileName(d, QString::fromStdString(first));
            static_cast<QDialog*>(d)->accept();
            return true;
        }});
        EXPECT_EQ(Print(r), kRequestCompleted);
        EXPECT_TRUE(name.done());
    }
    EXPECT_TRUE(offered.endsWith("/Report.pdf")) << offered.toStdString();
    const auto [w, h] = PdfPageSize(first);
    EXPECT_NEAR(w, 595.3, 1) << "A5, landscape";
    EXPECT_NEAR(h, 419.5, 1);
    // Laid out on the shorter page: more pages than the three of letter.
    EXPECT_GT(PdfPages(first).size(), 3u);
    EXPECT_EQ(LastPrintFile(), first);

    // The next print starts from that file; replacing it is asked, and No
    // leaves it as it was.
    const auto before = std::filesystem::last_write_time(first);
    bool asked = false;
    {
        Hand name({[&] {
                       auto* d = test::VisibleWindow<QFileDialog>("printFile");
                       if (!d) return false;
                       offered = d->selectedFiles().value(0);
                       QTimer::singleShot(0, d, [d] { static_cast<QDialog*>(d)->accept(); });
                       return true;
                   },
                   [&] {
                       auto* box = test::VisibleWindow<QMessageBox>();
                       if (!box) return false;
                       asked = box->text().contains("already exists");
                       box->button(QMessageBox::No)->click();
                       return true;
                   },
                   [&] {
                       auto* d = test::VisibleWindow<QFileDialog>("printFile");
                       if (!d) return false;
                       d->reject();
                       return true;
                   }});
        EXPECT_EQ(Print(r), kRequestCancelled);
        EXPECT_TRUE(name.done());
    }
    EXPECT_EQ(offered.toStdString(), first);
    EXPECT_TRUE(asked);
    EXPECT_EQ(std::filesystem::last_write_time(first), before);
    EXPECT_TRUE(responder_.shown().empty()) << "no failure is reported for a print the user stopped";

    // Another name: a second file.
    const std::string second = folder_.path() + "/second.pdf";
    {
        Hand name({[&] {
            auto* d = test::VisibleWindow<QFileDialog>("printFile");
            if (!d) return false;
            test::EnterFileName(d, QString::fromStdString(second));
            static_cast<QDialog*>(d)->accept();
            return true;
        }});
        EXPECT_EQ(Print(r), kRequestCompleted);
    }
    EXPECT_TRUE(std::filesystem::exists(second));
    EXPECT_EQ(LastPrintFile(), second);
}

TEST_F(PrintSetupTest, ThePreviewShowsTheChosenPaper) {
    PrintSetupChoice c;
    c.toFile = true;
    c.paper = QPageSize(QPageSize::A5);
    c.orientation = QPageLayout::Landscape;
    SetPrintSetup(c);
    test::SampleReport r(test::SampleRows());
    auto job = Job(r);
    job->preview = true;
    Start(job);
    QWidget* preview = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (preview = WindowTitled("Print Preview - Sample")) != nullptr; }, 30000));
    // A5 across at 96 dots an inch, on as many pages as the printed file.
    const QPixmap image = preview->findChild<QLabel*>("image")->pixmap();
    EXPECT_NEAR(image.width(), 794, 2);
    EXPECT_NEAR(image.height(), 559, 2);
    EXPECT_NE(preview->findChild<QLabel*>("page")->text(), "Page 1 of 3");
    preview->findChild<QPushButton*>("close")->click();
    ASSERT_TRUE(test::WaitFor([&] { return response_ != 0; }, 30000));
}

TEST_F(PrintSetupTest, WithoutAChoiceOrADefaultPrinterTheWarningComesFirst) {
    test::SampleReport r(test::SampleRows());
    responder_.Answer(kButtonNo);
    EXPECT_EQ(Print(r), kRequestCancelled);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "WARNING!");
    EXPECT_NE(responder_.shown()[0].request.text.find("No DEFAULT Printer"), std::string::npos);
}

}  // namespace
}  // namespace kr
