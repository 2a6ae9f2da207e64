// The clipboard windows over a real data file, offscreen: the manager's
// tabs, link colouring, Copy, Toggle Save, Run, the delete question of saved
// entries; the form's key and category check; the categories window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include "../ui/MnemonicCheck.h"
#include "../ui/UiTestSupport.h"
#include "dictionary/Dictionary.h"
#include "dictionary/OpenTable.h"
#include "dictionary/Settings.h"
#include "organiser/windows/ClipboardWindows.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/FieldHistory.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "scheduler/ClipboardMonitor.h"

namespace kr::test {
namespace {

class ClipboardWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        data::SetKeyDerivationIterations(64);
        InstallClock(&clock_);
        InstallMessageService(&responder_);
        InstallClipboardService(&clipboard_);
        DictionaryInit();
        ASSERT_EQ(OpenTable(ConfigurationDef()), 0);
        ASSERT_EQ(OpenTable(T()), 0);
        ASSERT_EQ(OpenTable(ClipboardCategoriesDef()), 0);
        ResetClipboardRekey();
        SetClipboardOpener([this](const ClipboardRunTarget& t) { opened_.push_back(t); });
    }
    void TearDown() override {
        CloseAllWindows();
        SetClipboardOpener({});
        T().Close();
        data::TableOf(ClipboardCategoriesDef()).Close();
        data::TableOf(ConfigurationDef()).Close();
        DictionaryKill();
        data::CloseIdleFiles();
        InstallClipboardService(nullptr);
        InstallMessageService(nullptr);
        InstallClock(nullptr);
        data::SetKeyDerivationIterations(0);
    }
    static data::Table& T() { return data::TableOf(ClipboardDef()); }
    void Add(const std::string& text, const std::string& category = "General", uint8_t keep = 0) {
        ClipboardRecord& r = T().Rec<ClipboardRecord>();
        r = ClipboardRecord();
        r.ClipContents = text;
        r.ClipHashKey = ClipboardEntryKey(text);
        r.Category = category;
        r.ClipKeep = keep;
        r.ClipDate = Today();
        r.ClipTime = ClockTime();
        ASSERT_EQ(T().Add(), 0);
        clock_.Advance(100);
    }
    void AddCategory(const std::string& name) {
        data::Table& c = data::TableOf(ClipboardCategoriesDef());
        c.Rec<ClipboardCategories>().Category = name;
        ASSERT_EQ(c.Add(), 0);
    }
    int64_t Count() { return T().Records(); }
    // The windows open the table themselves: the test lets go of it first,
    // as the monitor does between its ticks.
    BrowseClipboardWindow* OpenManager() {
        T().Close();
        BrowseClipboardWindow* w = nullptr;
        Start(kBrowseClipboardProcedure, [&w] { w = BrowseClipboard(); });
        EXPECT_TRUE(WaitFor([&] { return w && w->IsOpen(); }));
        EXPECT_EQ(OpenTable(T()), 0);
        return w;
    }
    // The list's cell text of a row and column (1-based column).
    static std::string Cell(BrowseList& l, int64_t row, int column) {
        const data::ListRow* r = l.RowAt(row);
        return r ? l.CellText(*r, column - 1) : std::string("<none>");
    }
    static void Highlight(BrowseList& l, int64_t row) {
        l.Select(row);
        Pump(20);
    }
    UpdateClipboardWindow* Form() {
        EXPECT_TRUE(WaitFor([] { return UpdateClipboardWindow::current && UpdateClipboardWindow::current->IsOpen(); }));
        return UpdateClipboardWindow::current;
    }

    ManualClock clock_{MakeDate(7, 1, 2024), MakeTime(9, 0, 0)};
    ScriptedResponder responder_;
    MemoryClipboard clipboard_;
    std::vector<ClipboardRunTarget> opened_;
    TempFolder folder_;
};

TEST_F(ClipboardWindowsTest, ManagerTabsLinksCopyAndRun) {
    Add("oldest saved", "General", 1);
    Add("see http://x.test/a b");
    Add("Plain note");
    Add("second saved", "Work", 1);
    BrowseClipboardWindow* w = OpenManager();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Title(), "Clipboard Manager");
    BrowseList& l = w->List();
    ASSERT_EQ(l.Records(), 4);
    // "By Date": newest first.
    EXPECT_EQ(Cell(l, 0, 2), "second saved");
    EXPECT_EQ(Cell(l, 2, 2), "see http://x.test/a b");
    EXPECT_EQ(Cell(l, 0, 3), "Work");

    // A link shows blue (aqua when selected); others keep the defaults.
    QAbstractItemModel* m = w->Layout().list->model();
    EXPECT_EQ(m->data(m->index(2, 1), Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 255));
    EXPECT_FALSE(m->data(m->index(1, 1), Qt::ForegroundRole).isValid());

    // Run on the web address opens exactly the address.
    Highlight(l, 2);
    w->Layout().run->click();
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0].target, "http://x.test/a");
    EXPECT_EQ(opened_[0].kind, ClipboardRunTarget::Url);
    // Copy to Clipboard, and a double click in the contents does the same.
    w->Layout().copy->click();
    EXPECT_EQ(clipboard_.Text(), "see http://x.test/a b");
    Highlight(l, 1);
    {
        ProcedureThreadScope scope(w->Thread());
        w->ListChoice(2);
    }
    EXPECT_EQ(clipboard_.Text(), "Plain note");

    // A query on the contents (a memo) keeps the entries that hold the text.
    {
        ProcedureThreadScope scope(w->Thread());
        w->QueryAccepted("(INSTRING('PLAIN',UPPER(CLI:ClipContents),1,1) > 0)");
    }
    EXPECT_EQ(l.Records(), 1);
    EXPECT_TRUE(w->Layout().reset->isEnabled());
    w->Layout().reset->click();
    EXPECT_EQ(l.Records(), 4);
    EXPECT_FALSE(w->Layout().reset->isEnabled());

    // "Saved Only": the saved entries, oldest first.
    w->Layout().sheet->setCurrentIndex(3);
    Pump(20);
    ASSERT_EQ(l.Records(), 2);
    EXPECT_EQ(Cell(l, 0, 2), "oldest saved");
    EXPECT_EQ(Cell(l, 1, 2), "second saved");
    // "By Content": in key order.
    w->Layout().sheet->setCurrentIndex(1);
    Pump(20);
    EXPECT_EQ(l.Records(), 4);
    EXPECT_EQ(Cell(l, 0, 2), "oldest saved");

    // A second start brings this one forward instead of opening another.
    BrowseClipboardWindow* second = nullptr;
    Start(kBrowseClipboardProcedure, [&second] { second = BrowseClipboard(); });
    Pump(50);
    EXPECT_EQ(second, nullptr);
    EXPECT_TRUE(w->IsOpen());
}

TEST_F(ClipboardWindowsTest, TheSaveMarkColumnSortsFromItsHeader) {
    Add("first");
    Add("saved", "General", 1);
    Add("last");
    BrowseClipboardWindow* w = OpenManager();
    ASSERT_NE(w, nullptr);
    BrowseList& l = w->List();
    ASSERT_EQ(Cell(l, 1, 2), "saved");  // by date, newest first
    QHeaderView* h = w->Layout().list->horizontalHeader();
    const QPoint p(h->sectionViewportPosition(0) + h->sectionSize(0) / 2, h->height() / 2);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, p);
    Pump(50);
    EXPECT_FALSE(responder_.sawTitle("Re-Order Option"));
    EXPECT_EQ(Cell(l, 2, 2), "saved");  // unsaved ones first
}

TEST_F(ClipboardWindowsTest, RowButtonsOfAnEmptyManagerAreOff) {
    BrowseClipboardWindow* w = OpenManager();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->List().Records(), 0);
    for (QPushButton* b : {w->Layout().copy, w->Layout().toggle, w->Layout().run, w->Layout().change})
        EXPECT_FALSE(b->isEnabled()) << b->text().toStdString();
    EXPECT_TRUE(w->Layout().insert->isEnabled());
}

TEST_F(ClipboardWindowsTest, ToggleSaveAndTheDeleteQuestionOfSavedEntries) {
    Add("ordinary");
    Add("precious");
    BrowseClipboardWindow* w = OpenManager();
    BrowseList& l = w->List();
    Highlight(l, 0);  // "precious", the newest
    // A double click on the save mark's column toggles it.
    {
        ProcedureThreadScope scope(w->Thread());
        w->ListChoice(1);
    }
    data::Table& t = T();
    t.Rec<ClipboardRecord>().ClipHashKey = "PRECIOUS";
    ASSERT_EQ(t.Get(ClipboardDef().key("CLI:KeyClipHash")), 0);
    EXPECT_EQ(t.Rec<ClipboardRecord>().ClipKeep, 1);

    // Deleting a saved entry asks; No keeps it.
    responder_.Answer(kButtonNo);
    w->Layout().del->click();
    Pump(20);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "Delete Record");
    EXPECT_EQ(responder_.shown()[0].request.text, kSavedEntryDeleteQuestion);
    EXPECT_EQ(Count(), 2);
    responder_.Answer(kButtonYes);
    w->Layout().del->click();
    Pump(20);
    EXPECT_EQ(Count(), 1);
    // An ordinary entry goes without a question.
    Highlight(l, 0);
    w->Layout().del->click();
    Pump(20);
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(responder_.shown().size(), 2u);
}

TEST_F(ClipboardWindowsTest, AltLettersOfTheManagerAndItsFormsReachTheirControls) {
    auto check = [](const char* name, WindowManager* w) {
        ASSERT_NE(w, nullptr) << name;
        for (const std::string& problem : test::MnemonicProblems(w->Window())) ADD_FAILURE() << name << ": " << problem;
    };
    BrowseClipboardWindow* w = OpenManager();
    check("manager", w);
    w->Layout().insert->click();
    UpdateClipboardWindow* f = Form();
    check("entry form", f);
    f->Layout().cancel->click();
    ASSERT_TRUE(WaitFor([] { return UpdateClipboardWindow::current == nullptr; }));
    T().Close();
    Start("UpdateClipboardCategories", [] { UpdateClipboardCategories(kInsertRecord, {}); });
    ASSERT_TRUE(WaitFor([] { return UpdateClipboardCategoriesWindow::current != nullptr; }));
    check("category form", UpdateClipboardCategoriesWindow::current);
    UpdateClipboardCategoriesWindow::current->Layout().cancel->click();
    Pump(20);
    ASSERT_EQ(OpenTable(T()), 0);
}

TEST_F(ClipboardWindowsTest, NewEntryTakesTheClipboardAndChecksItsKeyAndCategory) {
    AddCategory("Phone");
    Add("Call 555-0101");
    clipboard_.SetText("call 555 0102");
    BrowseClipboardWindow* w = OpenManager();
    w->Layout().insert->click();
    UpdateClipboardWindow* f = Form();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Title(), "New clipboard entry");
    EXPECT_EQ(f->Layout().contents->toPlainText().toStdString(), "call 555 0102");
    EXPECT_EQ(f->Layout().date->text().toStdString(), "JUL 1,2024");

    // An unknown category opens the picker; the choice goes in.
    f->Layout().category->setText("Phne");
    f->Layout().ok->click();
    ASSERT_TRUE(WaitFor([] { return SelectClipboardCategoryWindow::current != nullptr; }));
    SelectClipboardCategoryWindow* pick = SelectClipboardCategoryWindow::current;
    EXPECT_EQ(pick->Title(), "Select a Category");
    pick->Layout().select->click();
    ASSERT_TRUE(WaitFor([] { return SelectClipboardCategoryWindow::current == nullptr; }));
    Pump(30);
    EXPECT_EQ(f->Layout().category->text().toStdString(), "Phone");
    EXPECT_EQ(Count(), 1);
    f->Layout().ok->click();
    ASSERT_TRUE(WaitFor([] { return UpdateClipboardWindow::current == nullptr; }));
    Pump(30);  // the closed form goes before the next one opens
    EXPECT_EQ(Count(), 2);
    T().Rec<ClipboardRecord>().ClipHashKey = "CALL5550102";
    ASSERT_EQ(T().Get(ClipboardDef().key("CLI:KeyClipHash")), 0);
    EXPECT_EQ(T().Rec<ClipboardRecord>().Category.str(), "Phone");

    // The same letters and digits again: the duplicate key is reported and
    // the form stays open. "General" needs no category row.
    clipboard_.SetText("CALL 555-0101!");
    w->Layout().insert->click();
    f = Form();
    ASSERT_NE(f, nullptr);
    f->Layout().category->setText("General");
    f->Layout().ok->click();
    Pump(50);
    ASSERT_EQ(UpdateClipboardWindow::current, f);
    EXPECT_FALSE(responder_.shown().empty());
    EXPECT_EQ(Count(), 2);
    f->Layout().cancel->click();
    Pump(20);

    // View: nothing can be saved.
    w->Layout().view->click();
    f = Form();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Title(), "View clipboard entry");
    EXPECT_FALSE(f->Layout().ok->isVisible());
    EXPECT_EQ(f->Layout().cancel->text().toStdString(), "Cl&ose");
    f->Layout().cancel->click();
    Pump(20);
}

TEST_F(ClipboardWindowsTest, AnEntryWithoutATimeKeepsNoTimeThroughTheForm) {
    // 0 is no time: the form shows it blank and OK keeps it 0 (it showed
    // "12:00AM" and stored midnight).
    ClipboardRecord& r = T().Rec<ClipboardRecord>();
    r = ClipboardRecord();
    r.ClipContents = "No time";
    r.ClipHashKey = ClipboardEntryKey(r.ClipContents);
    r.Category = "General";
    r.ClipDate = Today();
    ASSERT_EQ(T().Add(), 0);
    BrowseClipboardWindow* w = OpenManager();
    Highlight(w->List(), 0);
    w->Layout().change->click();
    UpdateClipboardWindow* f = Form();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Layout().time->text().toStdString(), "");
    f->Layout().ok->click();
    ASSERT_TRUE(WaitFor([] { return UpdateClipboardWindow::current == nullptr; }));
    Pump(30);
    T().Set(nullptr);
    ASSERT_EQ(T().Next(), 0);
    EXPECT_EQ(T().Rec<ClipboardRecord>().ClipContents, "No time");
    EXPECT_EQ(T().Rec<ClipboardRecord>().ClipTime, 0);
}

TEST_F(ClipboardWindowsTest, HistoryKeyRecallsTheLastSavedEntryAndCategory) {
    FieldHistoryCopy::For("UpdateClipboard").Clear();  // as at program start
    FieldHistoryCopy::For("UpdateClipboardCategories").Clear();
    auto key = [](QWidget* control) { QTest::keyClick(control, Qt::Key_Apostrophe, Qt::ControlModifier); };
    AddCategory("Phone");
    clipboard_.SetText("Call Anna");
    BrowseClipboardWindow* w = OpenManager();
    w->Layout().insert->click();
    UpdateClipboardWindow* f = Form();
    ASSERT_NE(f, nullptr);
    key(f->Layout().category);  // nothing saved yet in this run
    EXPECT_EQ(f->Layout().category->text().toStdString(), "");
    f->Layout().category->setText("Phone");
    f->Layout().keep->click();
    f->Layout().date->setText("JUL 4,2024");
    f->Layout().time->setText("10:30AM");
    f->Layout().ok->click();
    ASSERT_TRUE(WaitFor([] { return UpdateClipboardWindow::current == nullptr; }));
    Pump(30);

    clipboard_.SetText("Call Bob");
    w->Layout().insert->click();
    f = Form();
    ASSERT_NE(f, nullptr);
    const auto& ui = f->Layout();
    for (QWidget* c : std::initializer_list<QWidget*>{ui.contents, ui.category, ui.keep, ui.date, ui.time}) key(c);
    EXPECT_EQ(ui.contents->toPlainText().toStdString(), "Call Anna");
    EXPECT_EQ(ui.category->text().toStdString(), "Phone");
    EXPECT_TRUE(ui.keep->isChecked());
    EXPECT_EQ(ui.date->text().toStdString(), "JUL 4,2024");
    EXPECT_EQ(ui.time->text().toStdString(), "10:30AM");
    // Saved with its own text, the recalled fields are stored.
    f->Layout().contents->setPlainText("Call Bob");
    f->Layout().ok->click();
    ASSERT_TRUE(WaitFor([] { return UpdateClipboardWindow::current == nullptr; }));
    Pump(30);
    T().Rec<ClipboardRecord>().ClipHashKey = "CALLBOB";
    ASSERT_EQ(T().Get(ClipboardDef().key("CLI:KeyClipHash")), 0);
    const ClipboardRecord& r = T().Rec<ClipboardRecord>();
    EXPECT_EQ(r.Category.str(), "Phone");
    EXPECT_EQ(r.ClipKeep, 1);
    EXPECT_EQ(r.ClipDate, MakeDate(7, 4, 2024));

    // The category form keeps its own copy.
    T().Close();
    Start("UpdateClipboardCategories", [] { UpdateClipboardCategories(kInsertRecord, {}); });
    ASSERT_TRUE(WaitFor([] { return UpdateClipboardCategoriesWindow::current != nullptr; }));
    UpdateClipboardCategoriesWindow* c = UpdateClipboardCategoriesWindow::current;
    key(c->Layout().category);
    EXPECT_EQ(c->Layout().category->text().toStdString(), "");
    c->Layout().category->setText("Work");
    c->Layout().ok->click();
    ASSERT_TRUE(WaitFor([] { return UpdateClipboardCategoriesWindow::current == nullptr; }));
    Pump(30);
    Start("UpdateClipboardCategories", [] { UpdateClipboardCategories(kInsertRecord, {}); });
    ASSERT_TRUE(WaitFor([] { return UpdateClipboardCategoriesWindow::current != nullptr; }));
    c = UpdateClipboardCategoriesWindow::current;
    key(c->Layout().category);
    EXPECT_EQ(c->Layout().category->text().toStdString(), "Work");
    c->Layout().cancel->click();
    Pump(20);
    ASSERT_EQ(OpenTable(T()), 0);
}

TEST_F(ClipboardWindowsTest, CategoriesWindowListsTheHighlightedCategorysEntries) {
    AddCategory("Empty");
    AddCategory("Phone");
    Add("Call 555-0101", "Phone", 1);
    Add("Call 555-0102", "Phone");
    Add("Elsewhere", "General");
    T().Close();
    BrowseClipboardCategoriesWindow* w = nullptr;
    Start(kBrowseClipboardCategoriesProcedure, [&w] { w = BrowseClipboardCategories(); });
    ASSERT_TRUE(WaitFor([&] { return w && w->IsOpen(); }));
    ASSERT_EQ(OpenTable(T()), 0);
    EXPECT_EQ(w->Title(), "Clipboard Categories");
    ASSERT_EQ(w->Categories().Records(), 2);
    w->Categories().Select(0);  // "Empty"
    Pump(20);
    EXPECT_EQ(w->Entries().Records(), 0);
    w->Categories().Select(1);  // "Phone"
    Pump(20);
    ASSERT_EQ(w->Entries().Records(), 2);
    EXPECT_EQ(w->Entries().CellText(*w->Entries().RowAt(0), 1), "Call 555-0101");

    // A saved entry is not deleted without the question here either.
    w->Entries().Select(0);
    Pump(20);
    responder_.Answer(kButtonNo);
    w->Layout().entryDelete->click();
    Pump(20);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "Delete Record");
    EXPECT_EQ(w->Entries().Records(), 2);
    // An ordinary one goes at once.
    w->Entries().Select(1);
    Pump(20);
    w->Layout().entryDelete->click();
    Pump(20);
    EXPECT_EQ(w->Entries().Records(), 1);
    EXPECT_EQ(responder_.shown().size(), 1u);

    // A category that entries still carry cannot go; the organiser lists'
    // question comes first.
    responder_.Answer(kButtonYes);
    w->Layout().categoryDelete->click();
    Pump(30);
    EXPECT_EQ(w->Categories().Records(), 2);
    ASSERT_GE(responder_.shown().size(), 2u);
    const MessageRequest asked = responder_.shown()[1].request;
    EXPECT_EQ(asked.title, "Confirm Delete");
    EXPECT_EQ(asked.text, "Are you sure you want to delete the highlighted record?");
    EXPECT_EQ(asked.buttons, kButtonYes | kButtonNo);
    EXPECT_EQ(asked.defaultButton, kButtonNo);
}

// Opened with no other holder of the categories' table, clicked and moved
// with the keys: the entries follow the highlighted category.
TEST_F(ClipboardWindowsTest, CategoriesWindowEntriesFollowAClickedCategory) {
    AddCategory("General");
    AddCategory("Phone");
    AddCategory("Work");
    Add("Call 555-0101", "Phone");
    Add("Call 555-0102", "Phone");
    Add("Elsewhere", "General");
    Add("Report due", "Work");
    // The window opens both tables itself, as in the program, where
    // nothing else holds them open.
    T().Close();
    data::TableOf(ClipboardCategoriesDef()).Close();
    BrowseClipboardCategoriesWindow* w = nullptr;
    Start(kBrowseClipboardCategoriesProcedure, [&w] { w = BrowseClipboardCategories(); });
    ASSERT_TRUE(WaitFor([&] { return w && w->IsOpen(); }));
    ASSERT_EQ(OpenTable(T()), 0);
    ASSERT_EQ(OpenTable(ClipboardCategoriesDef()), 0);
    ASSERT_EQ(w->Categories().Records(), 3);
    EXPECT_EQ(w->Entries().Records(), 1);  // "General", highlighted on opening
    QTableView* cats = w->Layout().categories;
    QTest::mouseClick(cats->viewport(), Qt::LeftButton, {}, cats->visualRect(cats->model()->index(1, 0)).center());
    Pump(20);
    ASSERT_EQ(w->Categories().Selected(), 1);
    ASSERT_EQ(w->Entries().Records(), 2);
    EXPECT_EQ(Cell(w->Entries(), 0, 2), "Call 555-0101");
    QTest::keyClick(cats, Qt::Key_Down);
    Pump(20);
    ASSERT_EQ(w->Categories().Selected(), 2);
    ASSERT_EQ(w->Entries().Records(), 1);
    EXPECT_EQ(Cell(w->Entries(), 0, 2), "Report due");
    QTest::keyClick(cats, Qt::Key_Up);
    QTest::keyClick(cats, Qt::Key_Up);
    Pump(20);
    ASSERT_EQ(w->Categories().Selected(), 0);
    ASSERT_EQ(w->Entries().Records(), 1);
    EXPECT_EQ(Cell(w->Entries(), 0, 2), "Elsewhere");
}

}  // namespace
}  // namespace kr::test
