// A list window over a real data file, offscreen: paging, the locator,
// ranges, the buttons through a form with their request codes, refresh
// keeping the highlighted record, and the View button's key rules.
#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QTest>

#include "../../ui/UiTestSupport.h"
#include "../ListFixture.h"
#include "TestListWindow.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/data/ErrorHandler.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/ui/ProcedureThread.h"

namespace kr::test {
namespace {

class BrowseListTest : public ListFixture {
protected:
    void SetUp() override {
        ListFixture::SetUp();
        const char* cats[] = {"Home", "Work", "Bills"};
        for (int i = 1; i <= 300; ++i)
            AddTask(i, MakeDate(1, 1, 2024) + i, cats[i % 3], "Task " + std::to_string(1000 + i));
    }
    void TearDown() override {
        CloseAllWindows();
        ListFixture::TearDown();
    }
    TaskList* OpenList(bool withView = true, int request = 0) {
        TaskList::last = nullptr;
        Start("BrowseTasks", [=] {
            GlobalRequest() = request;
            (new TaskList(withView))->Open();
        });
        EXPECT_TRUE(WaitFor([] { return TaskList::last && TaskList::last->IsOpen(); }));
        return TaskList::last;
    }
    static int Id(BrowseList& l, int64_t i) {
        const data::ListRow* r = l.RowAt(i);
        return r ? static_cast<int>(r->field(ScheduleDef().fieldIndex("SCH:ID")).toInt()) : -1;
    }
    // The list thread's record buffer.
    static Schedule& Buffer() {
        return *static_cast<Schedule*>(data::TableOf(ScheduleDef()).Record(TaskList::last->Thread()));
    }
    static int BufferId() { return Buffer().ID; }
    // Answers the open form: sets its description and presses OK or Cancel.
    static void AnswerForm(const std::string& text, bool ok = true) {
        ASSERT_TRUE(WaitFor([] { return TaskForm::last && TaskForm::last->IsOpen(); }));
        TaskForm* f = TaskForm::last;
        TaskForm::last = nullptr;
        if (!text.empty()) f->ui.description->setText(QString::fromStdString(text));
        (ok ? f->ui.ok : f->ui.cancel)->click();
        Pump(50);
    }
};

TEST_F(BrowseListTest, PagesLocatesAndFollowsTheHighlightedRecord) {
    TaskList* w = OpenList();
    BrowseView& l = *w->list;
    EXPECT_EQ(l.Records(), 300);
    EXPECT_EQ(l.Selected(), 0);
    EXPECT_EQ(BufferId(), 1);
    // Far rows and back again, as a scroll bar would ask for them.
    EXPECT_EQ(Id(l, 299), 300);
    EXPECT_EQ(Id(l, 150), 151);
    EXPECT_EQ(Id(l, 149), 150);
    EXPECT_EQ(Id(l, 64), 65);
    EXPECT_EQ(Id(l, 300), -1);
    QTest::keyClick(w->ui.list, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(BufferId(), 300);
    QTest::keyClick(w->ui.list, Qt::Key_PageUp);
    EXPECT_LT(BufferId(), 300);

    // The locator on the first term of the order.
    QTest::keyClicks(w->ui.locator, "42");
    EXPECT_EQ(BufferId(), 42);

    // Order 2: the category range and its own locator.
    l.SetSortOrder(2);
    l.ResetFromFile();
    EXPECT_EQ(l.Records(), 100);
    w->category = "work";
    l.ResetFromFile();
    EXPECT_EQ(l.Records(), 100);
    for (int64_t i = 0; i < 100; i += 33) EXPECT_EQ(Id(l, i) % 3, 1);
    l.Locate("Task 1200");
    EXPECT_EQ(Buffer().Description.str(), "Task 1202");
}

TEST_F(BrowseListTest, RefreshKeepsTheHighlightedRecordWhereverItMoves) {
    TaskList* w = OpenList();
    BrowseView& l = *w->list;
    l.SetSortOrder(2);
    w->category = "Home";
    l.ResetFromFile();
    l.Locate("Task 1150");
    int keep = BufferId();
    // Another program adds records before it; the refresh event follows it.
    for (int i = 0; i < 40; ++i) AddTask(500 + i, 1, "Home", "Task 0" + std::to_string(i));
    QCoreApplication::postEvent(w->Window(), new QEvent(static_cast<QEvent::Type>(QEvent::User + kEventRefreshList)));
    Pump(50);
    EXPECT_EQ(l.Records(), 140);
    EXPECT_EQ(BufferId(), keep);
    EXPECT_EQ(Id(l, l.Selected()), keep);
    // A highlighted record that went away leaves the same position.
    int64_t pos = l.Selected();
    {
        ProcedureThreadScope scope(w->Thread());
        ASSERT_EQ(data::TableOf(ScheduleDef()).Delete(), 0);
    }
    l.ResetFromFile();
    EXPECT_EQ(l.Selected(), pos);
    EXPECT_NE(BufferId(), keep);
}

TEST_F(BrowseListTest, ButtonsCallTheFormWithTheirRequests) {
    TaskList* w = OpenList();
    BrowseView& l = *w->list;
    l.Locate("7");
    // Change: the form gets the highlighted record; the list shows the change.
    w->ui.change->click();
    ASSERT_TRUE(WaitFor([] { return TaskForm::last != nullptr; }));
    EXPECT_EQ(TaskForm::lastRequest, kChangeRecord);
    EXPECT_EQ(TaskForm::last->ui.description->text().toStdString(), "Task 1007");
    AnswerForm("Changed");
    EXPECT_EQ(l.CellText(*l.RowAt(l.Selected()), 2), "Changed");
    EXPECT_EQ(BufferId(), 7);

    // Insert: a cleared buffer; the new record is highlighted.
    w->ui.insert->click();
    ASSERT_TRUE(WaitFor([] { return TaskForm::last != nullptr; }));
    EXPECT_EQ(TaskForm::lastRequest, kInsertRecord);
    EXPECT_FALSE(TaskForm::lastKept);
    EXPECT_EQ(TaskForm::last->ui.description->text().toStdString(), "");
    AnswerForm("Brand new");
    EXPECT_EQ(l.Records(), 301);
    EXPECT_EQ(BufferId(), 1300);
    EXPECT_EQ(l.Selected(), 300);

    // Copy: an insert that starts from the highlighted record's values.
    l.Locate("7");
    w->ui.copy->click();
    ASSERT_TRUE(WaitFor([] { return TaskForm::last != nullptr; }));
    EXPECT_EQ(TaskForm::lastRequest, kInsertRecord);
    EXPECT_TRUE(TaskForm::lastKept);
    EXPECT_EQ(TaskForm::last->ui.description->text().toStdString(), "Changed");
    AnswerForm("");
    EXPECT_EQ(l.Records(), 302);

    // Cancel changes nothing and leaves the buffer on the highlighted record.
    l.Locate("10");
    w->ui.change->click();
    AnswerForm("Not kept", false);
    EXPECT_EQ(BufferId(), 10);
    EXPECT_EQ(l.CellText(*l.RowAt(l.Selected()), 2), "Task 1010");

    // Delete through the form; the next record takes the highlight.
    w->ui.del->click();
    ASSERT_TRUE(WaitFor([] { return TaskForm::last != nullptr; }));
    EXPECT_EQ(TaskForm::lastRequest, kDeleteRecord);
    AnswerForm("");
    EXPECT_EQ(l.Records(), 301);
    EXPECT_EQ(BufferId(), 11);
}

TEST_F(BrowseListTest, EnterViewsChangesOrSelectsAndEmptyListsDisableButtons) {
    TaskList* w = OpenList();
    QTest::keyClick(w->ui.list, Qt::Key_Return);
    ASSERT_TRUE(WaitFor([] { return TaskForm::last != nullptr; }));
    EXPECT_EQ(TaskForm::lastRequest, kViewRecord);
    EXPECT_FALSE(TaskForm::last->ui.ok->isVisible());
    AnswerForm("", false);
    EXPECT_TRUE(w->list->Popup().HasItem("View"));
    w->Close();
    Pump(50);

    // Without a View button Enter changes.
    w = OpenList(false);
    QTest::keyClick(w->ui.list, Qt::Key_Return);
    ASSERT_TRUE(WaitFor([] { return TaskForm::last != nullptr; }));
    EXPECT_EQ(TaskForm::lastRequest, kChangeRecord);
    AnswerForm("", false);
    w->Close();
    Pump(50);

    // Opened to pick a record: Enter selects, even with a View button.
    w = OpenList(true, kSelectRecord);
    EXPECT_TRUE(w->ui.select->isVisible());
    w->list->Locate("5");
    int thread = w->Thread();
    QPointer<QWidget> window = w->Window();
    QTest::keyClick(w->ui.list, Qt::Key_Return);
    EXPECT_TRUE(WaitFor([&] { return window.isNull() || !window->isVisible(); }));
    EXPECT_EQ(static_cast<Schedule*>(data::TableOf(ScheduleDef()).Record(thread))->ID, 5);

    // An empty list: View, Copy, Change and Delete are disabled, Enter does nothing.
    w = OpenList();
    w->list->SetFilter("SCH:ID < 0");
    w->list->ResetFromFile();
    EXPECT_EQ(w->list->Records(), 0);
    for (QPushButton* b : {w->ui.view, w->ui.copy, w->ui.change, w->ui.del}) EXPECT_FALSE(b->isEnabled());
    EXPECT_TRUE(w->ui.insert->isEnabled());
    TaskForm::last = nullptr;
    QTest::keyClick(w->ui.list, Qt::Key_Return);
    Pump(50);
    EXPECT_EQ(TaskForm::last, nullptr);
}

TEST_F(BrowseListTest, ListsWithoutAFormDeleteThroughTheRelationsAfterAsking) {
    ScriptedResponder responder;
    InstallMessageService(&responder);
    data::ErrorHandler errors;
    data::FileManager file;
    file.Init(ScheduleDef(), &errors);
    data::RelationManager relations;
    relations.Init(&file);
    TaskList::relations = &relations;
    TaskList* w = OpenList();
    TaskList::relations = nullptr;
    {
        ProcedureThreadScope scope(w->Thread());
        file.Open();
    }
    w->list->Locate("20");
    responder.Answer(kButtonNo);
    w->ui.del->click();
    EXPECT_TRUE(responder.sawTitle("Confirm Delete"));
    EXPECT_EQ(w->list->Records(), 300);
    responder.Answer(kButtonYes);
    w->ui.del->click();
    EXPECT_EQ(w->list->Records(), 299);
    EXPECT_EQ(BufferId(), 21);  // the next record takes the highlight
    {
        ProcedureThreadScope scope(w->Thread());
        file.Close();
    }
    CloseAllWindows();
    InstallMessageService(nullptr);
}

TEST_F(BrowseListTest, ColumnsOpenWideEnoughForTheirHeadingsAndDates) {
    TaskList* w = OpenList();
    ASSERT_TRUE(w);
    QTableView* v = w->ui.list;
    QAbstractItemModel* m = v->model();
    const QFontMetrics fm = v->fontMetrics();
    for (int c = 0; c < m->columnCount(); ++c) {
        const QString heading = m->headerData(c, Qt::Horizontal).toString();
        EXPECT_GE(v->columnWidth(c), v->horizontalHeader()->fontMetrics().horizontalAdvance(heading)) << c;
    }
    // Every date shown fits its column (column 0 is the date).
    for (int r = 0; r < std::min(m->rowCount(), 40); ++r) {
        const QString text = m->data(m->index(r, 0)).toString();
        EXPECT_GT(v->columnWidth(0), fm.horizontalAdvance(text)) << text.toStdString();
    }
    // Designed widths narrower than a long date or time, or than the heading.
    const BrowseColumn lastRun("Last Run", "SCH:LastRunDate", "@d3", 20);
    const BrowseColumn lastTime("Last Time", "SCH:LastRunTime", "@t7b", 12, 'R');
    EXPECT_GT(ColumnPixels(v, lastRun, 20), fm.horizontalAdvance(QString::fromStdString(
                                                Format(Value(MakeDate(9, 28, 2026)), "@d3"))));
    EXPECT_GT(ColumnPixels(v, lastTime, 12), v->horizontalHeader()->fontMetrics().horizontalAdvance("Last Time"));
    EXPECT_EQ(ColumnPixels(v, lastTime, 0), 0);
    CloseAllWindows();
}

}  // namespace
}  // namespace kr::test
