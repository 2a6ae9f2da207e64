// The column graph, its preferences window, list printing and the opening
// of an export on a real list offscreen: the bars' colours follow the
// preferences, the messages that end a graph open no window, Esc asks while
// the rows are counted, the preferences reach the file as they should, a
// printed list holds its rows while the list keeps its columns, and an
// opener that fails is reported.
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QThread>
#include <QKeyEvent>
#include <filesystem>
#include <fstream>
#include <regex>

#include "../../ui/UiTestSupport.h"
#include "../ListFixture.h"
#include "TestListWindow.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/ProcedureThread.h"
#include "xplore/Graph.h"
#include "xplore/GraphPreferences.h"
#include "xplore/windows/GraphWindow.h"
#include "xplore/windows/XploreList.h"

namespace kr::test {
namespace {

using xplore::ColumnDef;

class GTaskList : public TaskList {
public:
    std::unique_ptr<xplore::XploreList> xplore;
    static inline GTaskList* lastG = nullptr;
    // Called for each cell of the command column the list formats.
    static inline std::function<void()> onCommandCell;

protected:
    bool Init() override {
        if (!TaskList::Init()) return false;
        lastG = this;
        ui.window->setWindowTitle("Scheduled Tasks");
        const int command = ScheduleDef().fieldIndex("SCH:Command");
        list->AddColumn({"Command", "SCH:Command", "@s255", 200, 'L', [command](const data::ListRow& r) {
                             if (onCommandCell) onCommandCell();
                             return r.field(command);
                         }});
        xplore = std::make_unique<xplore::XploreList>(*list, "BrowseTasks", "?List");
        std::vector<ColumnDef> cols = {
            {"SCH:Date", 47, "Date", "@d6", "Next date"},
            {"SCH:Category", 57, "Category", "@s20", "Category"},
            {"SCH:Description", 135, "Description", "@s40", "Description"},
            {"SCH:ID", 30, "ID", "@n6", "ID", 'R'},
            {"SCH:Command", 200, "Command", "@s255", "Command"},
        };
        for (ColumnDef& c : cols) c.graphOk = true;
        xplore->core().Attach(">Header");
        xplore->core().Init(cols);
        xplore->core().AddSortOrder(1);
        xplore->core().SyncOrders(nullptr);
        xplore->Restore("d2");
        return true;
    }
    void Kill() override { xplore->Save(); }
};

class GraphWindowTest : public ListFixture {
protected:
    void SetUp() override {
        ListFixture::SetUp();
        InstallMessageService(&responder_);
    }
    void TearDown() override {
        CloseAllWindows();
        InstallMessageService(nullptr);
        ListFixture::TearDown();
    }
    GTaskList* Open() {
        GTaskList::lastG = nullptr;
        Start("BrowseTasks", [] { (new GTaskList)->Open(); });
        EXPECT_TRUE(WaitFor([] { return GTaskList::lastG && GTaskList::lastG->IsOpen(); }));
        return GTaskList::lastG;
    }
    static QWidget* TopNamed(const char* name) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->objectName() == name) return w;
        return nullptr;
    }
    // Runs the graph of a list column until its window shows or it ends.
    QWidget* GraphOf(GTaskList* w, int listColumn, bool* ended) {
        *ended = false;
        xplore::Graph(*w->xplore, listColumn, [ended] { *ended = true; });
        QWidget* g = nullptr;
        WaitFor([&] { return *ended || (g = TopNamed("Graph")) != nullptr; }, 20000);
        return g;
    }
    static std::string Ini() { return ResolveIniPath(".\\POSITION.INI"); }
    ScriptedResponder responder_;
};

TEST_F(GraphWindowTest, NineCategoriesColourTheNinthBarAsTheFirstAndFollowThePreferences) {
    for (int i = 1; i <= 27; ++i) AddTask(i, MakeDate(1, 1, 2024), "Cat" + std::to_string(i % 9 + 1), "task");
    GTaskList* w = Open();
    bool ended = false;
    QWidget* g = GraphOf(w, 2, &ended);
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->isMaximized() || g->windowState() & Qt::WindowMaximized);
    // The counting's window has gone: kept, it would block the list.
    EXPECT_TRUE(WaitFor([] { return TopNamed("GraphProgress") == nullptr; }));
    auto* canvas = g->findChild<QWidget*>("graph");
    ASSERT_NE(canvas, nullptr);
    auto* heading = g->findChild<QLabel*>("heading");
    EXPECT_EQ(heading->text().toStdString(), "27 Categories of Field: Category");
    // Nine bars, eight colours: the ninth is the first's (Maroon by default).
    const QColor maroon(0x80, 0, 0);
    QImage img = canvas->grab().toImage();
    const xplore::GraphLayout l = xplore::ComputeGraphLayout(canvas->width(), canvas->height(), 9);
    auto barColour = [&](int n) { return img.pixelColor(l.BarLeft(n) + l.barWidth / 2, l.baseY - 2); };
    EXPECT_EQ(barColour(1), maroon);
    EXPECT_EQ(barColour(9), maroon);
    EXPECT_NE(barColour(2), maroon);
    // The names read over their bars: above the tallest bars (all of them
    // here) the canvas is blank, nothing cut at the window's top.
    for (int n = 1; n <= 9; ++n)
        for (int x = l.BarLeft(n); x < l.BarLeft(n) + l.barWidth; ++x)
            for (int yy = 0; yy < xplore::GraphLayout::kTopMargin; ++yy)
                ASSERT_EQ(img.pixelColor(x, yy), QColor(Qt::white)) << "bar " << n << " at " << x << "," << yy;

    // Col01=Blue turns both blue once the preferences are read again:
    // through the graph's own Preferences window and its OK.
    PutIniValue(Ini(), "XplorePreferences", "Col01", "Blue");
    g->findChild<QPushButton*>("preferences")->click();
    QWidget* prefs = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (prefs = TopNamed("Preferences")) != nullptr; }));
    prefs->findChild<QPushButton*>("ok")->click();
    ASSERT_TRUE(WaitFor([&] { return TopNamed("Preferences") == nullptr; }));
    Pump(50);
    img = canvas->grab().toImage();
    EXPECT_EQ(barColour(1), QColor(0, 0, 0xFF));
    EXPECT_EQ(barColour(9), QColor(0, 0, 0xFF));

    // "To Clipboard": the graph's image, without the buttons.
    QGuiApplication::clipboard()->clear();
    g->findChild<QPushButton*>("toClipboard")->click();
    const QImage clip = QGuiApplication::clipboard()->image();
    EXPECT_FALSE(clip.isNull());
    EXPECT_LT(clip.height(), g->height());

    g->findChild<QPushButton*>("ok")->click();
    EXPECT_TRUE(WaitFor([&] { return ended; }));
}

TEST_F(GraphWindowTest, OneCategoryOrNoneEndsWithItsMessageAndNoWindow) {
    for (int i = 1; i <= 5; ++i) AddTask(i, MakeDate(1, 1, 2024), "Same", "task");
    GTaskList* w = Open();
    bool ended = false;
    EXPECT_EQ(GraphOf(w, 2, &ended), nullptr);
    ASSERT_TRUE(ended);
    ASSERT_FALSE(responder_.shown().empty());
    EXPECT_EQ(responder_.shown().back().request.text, "There is only one category to Graph of 'Category'");
    EXPECT_EQ(responder_.shown().back().request.title, "Xplore");
    EXPECT_TRUE(WaitFor([] { return TopNamed("GraphProgress") == nullptr; }));

    // The list filtered to nothing.
    w->list->SetFilter("SCH:ID > 100");
    w->list->ApplyFilterAndReset();
    EXPECT_EQ(GraphOf(w, 2, &ended), nullptr);
    ASSERT_TRUE(ended);
    EXPECT_EQ(responder_.shown().back().request.text, "There are no categories to Graph of 'Category'");
}

TEST_F(GraphWindowTest, MoreThanAHundredAndFiftyCategoriesAreTooComplex) {
    for (int i = 1; i <= 151; ++i) AddTask(i, MakeDate(1, 1, 2024), "c", "task " + std::to_string(i));
    GTaskList* w = Open();
    bool ended = false;
    EXPECT_EQ(GraphOf(w, 3, &ended), nullptr);
    ASSERT_TRUE(ended);
    EXPECT_EQ(responder_.shown().back().request.text,
              "Too complex to graph - exceeds max number of categories: 150 - 'Description'");
}

TEST_F(GraphWindowTest, EscWhileCountingAsksAndYesEndsWithNoCategories) {
    for (int i = 1; i <= 300; ++i) {
        sch().Clear();
        Schedule& s = sch().Rec<Schedule>();
        s.ID = i;
        s.Date = MakeDate(1, 1, 2024);
        s.Description = "task";
        s.Command = i % 2 ? "odd" : "even";
        ASSERT_EQ(sch().Add(), 0);
    }
    GTaskList* w = Open();
    // While the progress window shows, each cell of the command column
    // takes a while, so the counting runs in many slices; Esc is pressed
    // on the progress window at the tenth, with rows left to count.
    int cells = 0;
    GTaskList::onCommandCell = [&] {
        QWidget* p = TopNamed("GraphProgress");
        if (!p) return;
        QThread::msleep(2);
        if (++cells == 10)
            QCoreApplication::postEvent(p, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    };
    // No: the counting goes on to the graph.
    responder_.Answer(kButtonNo);
    bool ended = false;
    QWidget* g = GraphOf(w, 5, &ended);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.text, "Are you sure you want to quit this Graphing Procedure?");
    EXPECT_EQ(responder_.shown()[0].request.title, "Xplore");
    EXPECT_EQ(responder_.shown()[0].answer, kButtonNo);
    ASSERT_NE(g, nullptr);
    EXPECT_GE(cells, 300);
    g->close();
    ASSERT_TRUE(WaitFor([&] { return ended; }));

    // Yes: the categories are dropped and the counting ends there.
    responder_.clear();
    cells = 0;
    responder_.Answer(kButtonYes);
    EXPECT_EQ(GraphOf(w, 5, &ended), nullptr);
    GTaskList::onCommandCell = nullptr;
    ASSERT_TRUE(ended);
    EXPECT_LT(cells, 300);
    ASSERT_EQ(responder_.shown().size(), 2u);
    EXPECT_EQ(responder_.shown()[0].answer, kButtonYes);
    EXPECT_EQ(responder_.shown()[1].request.text, "There are no categories to Graph of 'Command'");
    EXPECT_TRUE(WaitFor([] { return TopNamed("GraphProgress") == nullptr; }));
}

TEST_F(GraphWindowTest, AnOpenerThatStartsAndFailsAfterAnExportIsReported) {
    for (int i = 1; i <= 3; ++i) AddTask(i, MakeDate(1, 1, 2024), "c", "task " + std::to_string(i));
    // A stand-in for the desktop's opener on PATH, exiting with the status
    // in "status" after noting that it ran.
    const std::filesystem::path bin = std::filesystem::path(dir_) / "bin";
    std::filesystem::create_directories(bin);
    const std::string ran = (std::filesystem::path(dir_) / "ran").string();
    std::ofstream(bin / "xdg-open") << "#!/bin/sh\necho \"$1\" >> '" << ran << "'\nexit $(cat '" << dir_
                                    << "/status')\n";
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    ::setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
    auto status = [&](int s) { std::ofstream(std::filesystem::path(dir_) / "status") << s << "\n"; };
    auto lines = [&] {
        std::ifstream in(ran);
        int n = 0;
        for (std::string l; std::getline(in, l);) ++n;
        return n;
    };
    GTaskList* w = Open();
    const std::string htm = (std::filesystem::path(dir_) / "XPort.HTM").string();
    const std::string tail = "|you may need to specify a file type in Win95|Go to Explorer; View; Options; File "
                             "Types|and the specify a type for " + htm;

    // No program for .HTM (xdg-open's 3 and 4): 31, as when no opener starts.
    for (int s : {4, 3}) {
        responder_.clear();
        status(s);
        bool done = false;
        w->xplore->ExportHtml([&](bool ok) { done = ok; });
        ASSERT_TRUE(WaitFor([&] { return done; }));
        ASSERT_TRUE(WaitFor([&] { return !responder_.shown().empty(); }, 10000)) << s;
        EXPECT_EQ(responder_.shown()[0].request.text, "Shell launching error:31" + tail);
        EXPECT_EQ(responder_.shown()[0].request.title, "Xplore");
    }
    // The file not found: 2.
    responder_.clear();
    status(2);
    w->xplore->ExportCsv();
    ASSERT_TRUE(WaitFor([&] { return !responder_.shown().empty(); }, 10000));
    EXPECT_EQ(responder_.shown()[0].request.text,
              "Shell launching error:2" + tail.substr(0, tail.size() - htm.size()) +
                  (std::filesystem::path(dir_) / "XPort.CSV").string());
    // Opened: nothing to say.
    responder_.clear();
    status(0);
    const int before = lines();
    w->xplore->ExportHtml();
    ASSERT_TRUE(WaitFor([&] { return lines() == before + 1; }, 10000));
    Pump(300);
    EXPECT_TRUE(responder_.shown().empty());
    ::setenv("PATH", path.c_str(), 1);
}

TEST_F(GraphWindowTest, PreferencesWriteAllKeysOnAnyCloseButMovesOnlyThroughOk) {
    GTaskList* w = Open();
    auto open = [&] {
        xplore::Preferences(Ini(), w->ui.window);
        QWidget* p = nullptr;
        EXPECT_TRUE(WaitFor([&] { return (p = TopNamed("Preferences")) != nullptr; }));
        return p;
    };
    // The close box: every key with the window's defaults.
    QWidget* p = open();
    ASSERT_NE(p, nullptr);
    auto* sample = p->findChild<QLabel*>("sample");
    EXPECT_EQ(sample->text().toStdString(), "Arial8 pt Bold");
    auto* colours = p->findChild<QTableWidget*>("colors");
    colours->selectRow(0);
    p->findChild<QPushButton*>("moveUp")->click();  // the first row: nothing moves
    EXPECT_EQ(colours->item(0, 0)->text().toStdString(), "Maroon");
    p->findChild<QPushButton*>("moveDown")->click();
    EXPECT_EQ(colours->item(1, 0)->text().toStdString(), "Maroon");
    p->close();
    ASSERT_TRUE(WaitFor([&] { return TopNamed("Preferences") == nullptr; }));
    IniFile ini(Ini());
    EXPECT_EQ(ini.Keys("XplorePreferences").size(), 20u);
    EXPECT_EQ(ini.Fetch("XplorePreferences", "Col01"), "Maroon");  // the move was not kept
    EXPECT_EQ(ini.Fetch("XplorePreferences", "Col16"), "Black");
    EXPECT_EQ(ini.Fetch("XplorePreferences", "FontSize"), "8");

    // OK keeps the move.
    p = open();
    colours = p->findChild<QTableWidget*>("colors");
    colours->selectRow(0);
    p->findChild<QPushButton*>("moveDown")->click();
    p->findChild<QPushButton*>("ok")->click();
    ASSERT_TRUE(WaitFor([&] { return TopNamed("Preferences") == nullptr; }));
    EXPECT_EQ(ini.Fetch("XplorePreferences", "Col01"), "Olive");
    EXPECT_EQ(ini.Fetch("XplorePreferences", "Col02"), "Maroon");
}

std::string PdfText(const std::string& pdf) {
    QProcess p;
    p.start("pdftotext", {"-layout", QString::fromStdString(pdf), "-"});
    if (!p.waitForFinished(30000)) return {};
    return p.readAllStandardOutput().toStdString();
}

TEST_F(GraphWindowTest, PrintAllGoesThroughThePreviewAndHoldsEveryRow) {
    for (int i = 1; i <= 60; ++i)
        AddTask(i, MakeDate(1, 1, 2024), "Cat" + std::to_string(i % 3), "Task number " + std::to_string(i));
    GTaskList* w = Open();
    w->xplore->core().DisplayColumns().pop_back();  // no Command column here
    w->xplore->Show();
    const std::string pdf = dir_ + "/all.pdf";
    bool done = false;
    xplore::PrintList(*w->xplore, "View", [&] { done = true; }, pdf);
    QWidget* preview = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (preview = WindowTitled("Print Preview - Scheduled Tasks")) != nullptr; }, 30000));
    preview->findChild<QPushButton*>("print")->click();
    ASSERT_TRUE(WaitFor([&] { return done; }, 30000));
    const std::string text = PdfText(pdf);
    EXPECT_NE(text.find("Scheduled Tasks"), std::string::npos);
    EXPECT_NE(text.find("60 Records"), std::string::npos);
    EXPECT_TRUE(std::regex_search(text, std::regex("Page +1")));
    EXPECT_NE(text.find("Description"), std::string::npos);
    EXPECT_NE(text.find("Category"), std::string::npos);
    for (int i = 1; i <= 60; ++i)
        EXPECT_NE(text.find("Task number " + std::to_string(i) + " "), std::string::npos) << i;
}

TEST_F(GraphWindowTest, ATooWideListPrintsWithoutItsRightmostColumnsAndKeepsThemOnScreen) {
    for (int i = 1; i <= 5; ++i) {
        AddTask(i, MakeDate(1, 1, 2024), "Home", "Wide task " + std::to_string(i));
        sch().Rec<Schedule>().Command = std::string(240, 'W');
        ASSERT_EQ(sch().Put(), 0);
    }
    GTaskList* w = Open();
    // Put the wide Command column before ID so dropping starts at ID.
    const std::size_t shownBefore = w->xplore->core().DisplayColumns().size();
    const std::string pdf = dir_ + "/page.pdf";
    bool done = false;
    xplore::PrintList(*w->xplore, "Page", [&] { done = true; }, pdf);
    ASSERT_TRUE(WaitFor([&] { return done; }, 30000));
    const std::string text = PdfText(pdf);
    EXPECT_NE(text.find("Wide task 1"), std::string::npos);
    EXPECT_NE(text.find("5 Records"), std::string::npos);
    EXPECT_EQ(text.find("WWWWWWWWWW"), std::string::npos);  // the Command column was dropped
    EXPECT_NE(text.find(" 6 Point"), std::string::npos);
    // The list on screen still shows every column.
    EXPECT_EQ(w->xplore->core().DisplayColumns().size(), shownBefore);
    EXPECT_FALSE(w->ui.list->isColumnHidden(4));
}

TEST_F(GraphWindowTest, AnUnknownPrintModePrintsNothing) {
    AddTask(1, MakeDate(1, 1, 2024), "Home", "task");
    GTaskList* w = Open();
    bool done = false;
    xplore::PrintList(*w->xplore, "Other", [&] { done = true; }, dir_ + "/none.pdf");
    EXPECT_TRUE(done);
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/none.pdf"));
}

}  // namespace
}  // namespace kr::test
