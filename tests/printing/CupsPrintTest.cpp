// Print Setup against a real print service (CupsServer.h): without a queue
// the set-up offers a PDF file alone and a print warns that there is no
// default printer; with a cups-pdf queue chosen on legal paper in landscape,
// the brief schedule, a list and the event log each reach that queue, and
// the PDFs it writes hold their texts on a landscape legal page.
#include <QComboBox>
#include <QListView>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <regex>

#include "CupsServer.h"
#include "DialogHand.h"
#include "dictionary/Settings.h"
#include "dictionary/windows/AsciiViewer.h"
#include "platform/runtime/Picture.h"
#include "platform/ui/PrintSetup.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "reports/ReportCriteria.h"
#include "reports/windows/ReportWindows.h"
#include "tests/ui/TableWindowsFixture.h"
#include "tests/xplore/ui/TestListWindow.h"
#include "xplore/windows/GraphWindow.h"
#include "xplore/windows/XploreList.h"

namespace kr::reports {
namespace {

using test::Hand;

// A word of a PDF page as pdftotext -bbox gives it.
struct Word {
    std::string text;
    double xMin, yMin, xMax, yMax;
};
struct PdfPage {
    double width = 0, height = 0;
    std::vector<Word> words;
    bool Has(const std::string& w) const {
        for (const Word& x : words)
            if (x.text == w) return true;
        return false;
    }
};

PdfPage FirstPage(const std::string& file) {
    std::string html;
    test::CupsServer::Run("pdftotext", {"-bbox", "-f", "1", "-l", "1", file, "-"}, &html);
    PdfPage p;
    std::smatch m;
    if (std::regex_search(html, m, std::regex("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\""))) {
        p.width = std::stod(m[1]);
        p.height = std::stod(m[2]);
    }
    const std::regex word("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), word); it != std::sregex_iterator(); ++it)
        p.words.push_back({(*it)[5], std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4])});
    return p;
}

// Legal paper, the text running along its long side: landscape, whichever
// way the sheet is described (a print service may keep the sheet upright
// and turn the page's content).
void ExpectLandscapeLegal(const PdfPage& p, const std::string& word) {
    EXPECT_NEAR(std::min(p.width, p.height), 612, 2) << p.width << " x " << p.height;
    EXPECT_NEAR(std::max(p.width, p.height), 1008, 2) << p.width << " x " << p.height;
    const bool upright = p.height > p.width;
    bool found = false;
    for (const Word& w : p.words)
        if (w.text == word) {
            found = true;
            const double along = upright ? w.yMax - w.yMin : w.xMax - w.xMin;
            const double across = upright ? w.xMax - w.xMin : w.yMax - w.yMin;
            EXPECT_GT(along, across) << word << " runs along the sheet's long side";
        }
    EXPECT_TRUE(found) << word;
}

class ListWithXplore : public test::TaskList {
public:
    std::unique_ptr<xplore::XploreList> xplore;
    static inline ListWithXplore* last = nullptr;

protected:
    bool Init() override {
        if (!TaskList::Init()) return false;
        last = this;
        ui.window->setWindowTitle("Scheduled Tasks");
        xplore = std::make_unique<xplore::XploreList>(*list, "BrowseTasks", "?List");
        xplore->core().Attach(">Header");
        xplore->core().Init({{"SCH:Date", 47, "Date", "@d6", "Next date"},
                             {"SCH:Category", 57, "Category", "@s20", "Category"},
                             {"SCH:Description", 135, "Description", "@s40", "Description"},
                             {"SCH:ID", 30, "ID", "@n6", "ID", 'R'}});
        xplore->core().AddSortOrder(1);
        xplore->core().SyncOrders(nullptr);
        xplore->Restore("d2");
        return true;
    }
};

class CupsPrintTest : public test::TableWindowsTest {
protected:
    CupsPrintTest() : TableWindowsTest(MakeDate(12, 9, 2026), MakeTime(10, 0)) {}

    void SetUp() override {
        const std::string why = test::CupsServer::Unavailable();
        if (!why.empty()) GTEST_SKIP() << why;
        cups_ = std::make_unique<test::CupsServer>();
        ASSERT_TRUE(cups_->running()) << cups_->errorLog();
        TableWindowsTest::SetUp();
        InstallMessageService(&responder_);
        CreateAndOpen({&data::TableOf(ScheduleDef()), &data::TableOf(CategoriesDef()),
                       &data::TableOf(ConfigurationDef())});
        SetReportOutputFile("");
        Report() = ReportVariables();
        Criteria() = CriteriaEntries();
        Options().GlobalDateFormat = "d3";
        SetPrintSetup(std::nullopt);
    }
    void TearDown() override {
        if (!cups_) return;
        SetPrintSetup(std::nullopt);
        TableWindowsTest::TearDown();
        InstallMessageService(nullptr);
        cups_.reset();
    }
    void AddTask(int32_t id, const char* description) {
        auto& f = Schedule_File();
        f.rec() = Schedule();
        f.rec().ID = id;
        f.rec().TaskType = "Display Message";
        f.rec().Category = "Home";
        f.rec().Description = description;
        f.rec().ScheduleType = "Once";
        f.rec().Date = Today() + id;
        f.rec().Time = MakeTime(9, 0);
        ASSERT_EQ(f.Insert(), 0);
    }
    // The brief schedule of every task, printed without the preview.
    int PrintBrief() {
        int response = 0;
        responder_.Answer(kButtonNo);
        Start("PrintScheduleBrief", [&] { PrintScheduleBrief([&](int r) { response = r; }); });
        QWidget* w = WindowTitled("Report Criteria");
        EXPECT_NE(w, nullptr);
        if (!w) return 0;
        Click(w, "dateAll");
        Click(w, "categoryAll");
        Click(w, "order0");
        Click(w, "ok");
        EXPECT_TRUE(test::WaitFor([&] { return response != 0; }, 30000));
        return response;
    }
    // The next PDF the queue writes (after those in `seen`), once whole.
    std::string NextPdf(std::set<std::string>& seen) {
        std::string found;
        test::WaitFor(
            [&] {
                for (const std::string& f : cups_->Pdfs())
                    if (!seen.count(f) && test::CupsServer::Run("pdfinfo", {f}) == 0) found = f;
                return !found.empty();
            },
            60000);
        seen.insert(found);
        return found;
    }
    std::string Shown() const {
        std::string s;
        for (const auto& m : responder_.shown()) s += "[" + m.request.title + "] " + m.request.text + "\n";
        return s;
    }

    std::unique_ptr<test::CupsServer> cups_;
    ScriptedResponder responder_;
};

TEST_F(CupsPrintTest, WithoutAQueueOnlyAFileIsOfferedAndTheMissingDefaultIsSaid) {
    QStringList printers;
    Hand setup({[&] {
        auto* d = test::VisibleWindow<QDialog>("PrintSetup");
        if (!d) return false;
        auto* printer = d->findChild<QComboBox*>("printer");
        for (int i = 0; i < printer->count(); ++i) printers << printer->itemText(i);
        d->findChild<QPushButton*>("cancel")->click();
        return true;
    }});
    EXPECT_FALSE(PrintSetupDialog(nullptr));
    EXPECT_EQ(printers, QStringList{kPrintToFileText});
    EXPECT_FALSE(ChosenPrintSetup());

    AddTask(1, "Water the plants");
    responder_.Answer(kButtonNo);  // after the preview question: no printer, do not go on
    EXPECT_EQ(PrintBrief(), kRequestCancelled) << Shown();
    EXPECT_TRUE(responder_.sawTitle("WARNING!")) << Shown();
    EXPECT_TRUE(cups_->Pdfs().empty());
}

TEST_F(CupsPrintTest, TheChosenQueuePaperAndOrientationReachReportListAndLogPrints) {
    const std::string queue = "krtest" + std::to_string(::getpid());
    ASSERT_TRUE(cups_->AddPdfQueue(queue)) << cups_->errorLog();
    AddTask(1, "Water the plants");
    AddTask(2, "Call the plumber");

    // Print Setup: the queue, legal paper, landscape.
    QStringList printers;
    Hand setup({[&] {
        auto* d = test::VisibleWindow<QDialog>("PrintSetup");
        if (!d) return false;
        auto* printer = d->findChild<QComboBox*>("printer");
        for (int i = 0; i < printer->count(); ++i) printers << printer->itemText(i);
        printer->setCurrentIndex(printer->findText(QString::fromStdString(queue)));
        auto* paper = d->findChild<QComboBox*>("paper");
        paper->setCurrentIndex(paper->findData(static_cast<int>(QPageSize::Legal)));
        d->findChild<QRadioButton*>("landscape")->setChecked(true);
        d->findChild<QPushButton*>("ok")->click();
        return true;
    }});
    ASSERT_TRUE(PrintSetupDialog(nullptr));
    EXPECT_EQ(printers, (QStringList{QString::fromStdString(queue), kPrintToFileText}));
    ASSERT_TRUE(ChosenPrintSetup());
    EXPECT_EQ(ChosenPrintSetup()->printer, queue);
    EXPECT_EQ(ChosenPrintSetup()->paper.id(), QPageSize::Legal);

    std::set<std::string> seen;
    // The report: no "No DEFAULT Printer" (the queue is not the default).
    responder_.clear();
    EXPECT_EQ(PrintBrief(), kRequestCompleted) << Shown();
    EXPECT_FALSE(responder_.sawTitle("WARNING!")) << Shown();
    const std::string report = NextPdf(seen);
    ASSERT_FALSE(report.empty()) << cups_->errorLog();
    PdfPage page = FirstPage(report);
    for (const char* w : {"Schedule", "Brief", "Water", "plumber", "Description"}) EXPECT_TRUE(page.Has(w)) << w;
    ExpectLandscapeLegal(page, "Description");

    // The list's Page print.
    ListWithXplore::last = nullptr;
    Start("BrowseTasks", [] { (new ListWithXplore)->Open(); });
    ASSERT_TRUE(test::WaitFor([] { return ListWithXplore::last && ListWithXplore::last->IsOpen(); }));
    bool printed = false;
    xplore::PrintList(*ListWithXplore::last->xplore, "Page", [&] { printed = true; });
    ASSERT_TRUE(test::WaitFor([&] { return printed; }, 30000));
    const std::string list = NextPdf(seen);
    ASSERT_FALSE(list.empty()) << cups_->errorLog();
    page = FirstPage(list);
    for (const char* w : {"Scheduled", "Tasks", "Records", "Water", "plumber"}) EXPECT_TRUE(page.Has(w)) << w;
    ExpectLandscapeLegal(page, "Scheduled");

    // The log viewer: its print dialog opens on the chosen queue.
    const std::string log = std::filesystem::current_path().string() + "/viewer.log";
    std::ofstream(log) << "18:00 Started Kairoll\r\n18:01 Message Watering reminder\r\n";
    QListView view;
    AsciiViewer viewer;
    ASSERT_TRUE(viewer.Init(&view, log));
    QString offered;
    Hand dialog({[&] {
        auto* d = test::VisibleWindow<QPrintDialog>();
        if (!d) return false;
        offered = d->printer()->printerName();
        d->accept();
        return true;
    }});
    viewer.Print();
    EXPECT_EQ(offered.toStdString(), queue);
    ASSERT_TRUE(test::WaitFor([&] { return !viewer.Printing(); }, 30000));
    const std::string logPdf = NextPdf(seen);
    ASSERT_FALSE(logPdf.empty()) << cups_->errorLog();
    page = FirstPage(logPdf);
    EXPECT_TRUE(page.Has("Watering")) << logPdf;
    ExpectLandscapeLegal(page, "Watering");
    viewer.Kill();
}

}  // namespace
}  // namespace kr::reports
