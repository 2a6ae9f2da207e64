// The to-do list and its form offscreen over a real data file: a new item's
// defaults and numbers, the done toggle, the priority check, the category
// pick, an item another program adds and the hand-over to a message task.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include "../ui/MnemonicCheck.h"
#include "../ui/TableWindowsFixture.h"
#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "organiser/windows/ToDoWindows.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "platform/ui/PopupMenu.h"
#include "platform/ui/ProcedureThread.h"
#include "scheduler/TaskMessage.h"

namespace kr::organiser {
namespace {

using test::Pump;
using test::WaitFor;

class ToDoWindowsTest : public test::TableWindowsTest {
protected:
    ToDoWindowsTest() : TableWindowsTest(MakeDate(3, 4, 2025), MakeTime(9, 30)) {}
    void SetUp() override {
        TableWindowsTest::SetUp();
        CreateAndOpen({&todo(), &cat()});
        for (const char* c : {"General", "Home", "Work"}) {
            cat().Clear();
            cat().Rec<Categories>().Category = c;
            ASSERT_EQ(cat().Add(), 0);
        }
        Options().UserID = "ann";
    }
    void TearDown() override {
        TableWindowsTest::TearDown();
        SetMessageWizard({});
        InstallPopupResponder({});
        Options().MultiUser = 0;
    }
    static data::Table& todo() { return data::TableOf(TodoDef()); }
    static data::Table& cat() { return data::TableOf(CategoriesDef()); }
    static void Type(QWidget* w, const char* name, const std::string& text) { TypeInto(w, name, text); }
    void AddItem(const std::string& what, const std::string& category, int priority = 5) {
        todo().Clear();
        Todo& t = todo().Rec<Todo>();
        t.ToDo = what;
        t.Category = category;
        t.Priority = static_cast<uint8_t>(priority);
        ASSERT_EQ(todo().Add(), 0);
    }
    static std::vector<Todo> Items() {
        std::vector<Todo> out;
        std::vector<int64_t> rows;
        for (const char* c : {"General", "Home", "Work"})
            todo().ForEachMatch(TodoDef().key("TDO:KeyCategory"), {TodoDef().field("TDO:Category")}, {Value(c)},
                                [&](int64_t, const void* r) {
                                    out.push_back(*static_cast<const Todo*>(r));
                                    return true;
                                });
        return out;
    }
    static const Todo* Find(const std::vector<Todo>& items, const std::string& what) {
        for (const Todo& t : items)
            if (t.ToDo.str() == what) return &t;
        return nullptr;
    }
    QWidget* OpenList() {
        Start("BrowseToDoList", [] { BrowseToDoList(); });
        QWidget* w = WindowTitled("To Do");
        list_ = Child<QTableView>(w, "list");
        return w;
    }
    int Rows() const { return list_ ? list_->model()->rowCount() : -1; }
    QString Cell(int row, int column) const { return list_->model()->index(row, column).data().toString(); }
    void SelectRow(int row) {
        list_->setFocus();
        list_->selectRow(row);
        Pump(20);
    }
    // Adds an item through the list's form: New, a description, OK.
    void NewItem(QWidget* list, const std::string& what) {
        Click(list, "insert");
        QWidget* f = WindowTitled("New To Do Item");
        ASSERT_NE(f, nullptr);
        Type(f, "todo", what);
        ASSERT_TRUE(OkCloses(f)) << Shown();
    }
    // Presses OK on a form and waits for it to close (it is deleted then).
    static bool OkCloses(QWidget* f) {
        QPointer<QWidget> p = f;
        Click(f, "ok");
        return WaitFor([p] { return !p || !p->isVisible(); });
    }
    QTableView* list_ = nullptr;
};

TEST_F(ToDoWindowsTest, AltLettersOfTheListAndTheFormReachTheirControls) {
    QWidget* list = OpenList();
    ASSERT_NE(list, nullptr);
    for (const std::string& problem : test::MnemonicProblems(list)) ADD_FAILURE() << "list: " << problem;
    Click(list, "insert");
    QWidget* f = WindowTitled("New To Do Item");
    ASSERT_NE(f, nullptr);
    for (const std::string& problem : test::MnemonicProblems(f)) ADD_FAILURE() << "form: " << problem;
}

TEST_F(ToDoWindowsTest, NewItemsGetGeneralPriorityFiveAndNumbersNeverReused) {
    AddItem("Old one", "Home");
    QWidget* w = OpenList();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "To Do Items");
    NewItem(w, "Buy milk");
    NewItem(w, "Call Bob");
    auto items = Items();
    ASSERT_EQ(items.size(), 3u);
    const Todo* milk = Find(items, "Buy milk");
    ASSERT_NE(milk, nullptr);
    EXPECT_EQ(milk->Category, "General");
    EXPECT_EQ(milk->Priority, 5);
    EXPECT_EQ(milk->NetworkUser, "ann");
    EXPECT_EQ(milk->LastChangeDate, MakeDate(3, 4, 2025));
    EXPECT_EQ(milk->OriginalID, 1);
    EXPECT_EQ(Find(items, "Call Bob")->OriginalID, 2);
    EXPECT_EQ(Rows(), 3);

    // Delete "Buy milk" through the form, then add one more: its number
    // follows the highest, not the count of rows.
    for (int r = 0; r < Rows(); ++r)
        if (Cell(r, 2) == "Buy milk") SelectRow(r);
    Click(w, "del");
    QWidget* f = WindowTitled("Edit To Do Item");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(Child<QLineEdit>(f, "todo")->isReadOnly() || !Child<QLineEdit>(f, "todo")->isEnabled());
    Click(f, "ok");
    ASSERT_TRUE(WaitFor([&] { return Rows() == 2; })) << Shown();
    NewItem(w, "Pay rent");
    EXPECT_EQ(Find(Items(), "Pay rent")->OriginalID, 3);
}

TEST_F(ToDoWindowsTest, ButtonsThatNeedARowWaitForTheFirstItem) {
    QWidget* w = OpenList();
    ASSERT_NE(w, nullptr);
    for (const char* name : {"toggle0", "change", "del"})
        EXPECT_FALSE(Child<QPushButton>(w, name)->isEnabled()) << name;
    NewItem(w, "Water plants");
    ASSERT_TRUE(WaitFor([&] { return Rows() == 1; }));
    for (const char* name : {"toggle0", "change", "del"})
        EXPECT_TRUE(Child<QPushButton>(w, name)->isEnabled()) << name;
}

TEST_F(ToDoWindowsTest, ToggleStampsTheCompletionAndTogglingBackKeepsIt) {
    AddItem("Water plants", "General");
    QWidget* w = OpenList();
    ASSERT_NE(w, nullptr);
    SelectRow(0);
    Click(w, "toggle0");
    Todo t = Items()[0];
    EXPECT_EQ(t.Done, 1);
    EXPECT_EQ(t.CompletionDate, MakeDate(3, 4, 2025));
    EXPECT_EQ(t.CompletionTime, MakeTime(9, 30));
    EXPECT_FALSE(Cell(0, 4).isEmpty());  // the list shows the completion

    clock_.Set(MakeDate(3, 5, 2025), MakeTime(10, 0));
    SelectRow(0);
    Click(w, "toggle0");
    t = Items()[0];
    EXPECT_EQ(t.Done, 0);
    EXPECT_EQ(t.CompletionDate, MakeDate(3, 4, 2025));
    EXPECT_EQ(t.CompletionTime, MakeTime(9, 30));
}

TEST_F(ToDoWindowsTest, PriorityElevenIsRefusedWithTheFocusKept) {
    QWidget* w = OpenList();
    ASSERT_NE(w, nullptr);
    Click(w, "insert");
    QWidget* f = WindowTitled("New To Do Item");
    ASSERT_NE(f, nullptr);
    Type(f, "todo", "Too urgent");
    Type(f, "priority", "11");
    Click(f, "ok");
    Pump(50);
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), Child<QLineEdit>(f, "priority"));
    EXPECT_NE(Shown().find("between 1 and 10"), std::string::npos) << Shown();
    EXPECT_TRUE(Items().empty());
    // Ten is accepted.
    Type(f, "priority", "10");
    ASSERT_TRUE(OkCloses(f)) << Shown();
    ASSERT_EQ(Items().size(), 1u);
    EXPECT_EQ(Items()[0].Priority, 10);

    // Ctrl+' in the next form brings back the focused field of the last
    // item saved.
    Click(w, "insert");
    f = WindowTitled("New To Do Item");
    ASSERT_NE(f, nullptr);
    auto* priority = Child<QLineEdit>(f, "priority");
    EXPECT_EQ(priority->text(), "5");
    priority->setFocus();
    QTest::keyClick(priority, Qt::Key_Apostrophe, Qt::ControlModifier);
    EXPECT_EQ(priority->text(), "10");
}

TEST_F(ToDoWindowsTest, DoneInTheFormStampsOnlyAnItemThatWasOpen) {
    AddItem("File taxes", "General");
    QWidget* w = OpenList();
    ASSERT_NE(w, nullptr);
    SelectRow(0);
    Click(w, "change");
    QWidget* f = WindowTitled("Edit To Do Item");
    ASSERT_NE(f, nullptr);
    Click(f, "done");
    EXPECT_FALSE(Child<QLineEdit>(f, "date")->text().isEmpty());
    ASSERT_TRUE(OkCloses(f)) << Shown();
    EXPECT_EQ(Items()[0].CompletionDate, MakeDate(3, 4, 2025));
    EXPECT_NE(Items()[0].OriginalID, 0);

    // Already done when the form opens: un-ticking and ticking again keeps it.
    clock_.Set(MakeDate(3, 9, 2025), MakeTime(11, 0));
    SelectRow(0);
    Click(w, "change");
    f = WindowTitled("Edit To Do Item");
    Click(f, "done");
    Click(f, "done");
    ASSERT_TRUE(OkCloses(f)) << Shown();
    EXPECT_EQ(Items()[0].Done, 1);
    EXPECT_EQ(Items()[0].CompletionDate, MakeDate(3, 4, 2025));
}

TEST_F(ToDoWindowsTest, PickedCategoryNarrowsTheCategoryTabAndIsTheNextDefault) {
    AddItem("Report", "Work");
    AddItem("Slides", "Work");
    AddItem("Dishes", "Home");
    QWidget* w = OpenList();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Rows(), 3);
    Child<QTabWidget>(w, "sheet")->setCurrentIndex(3);
    Pump(20);
    Click(w, "pick");
    QWidget* s = WindowTitled("Select a Category");
    ASSERT_NE(s, nullptr);
    auto* cats = Child<QTableView>(s, "list");
    cats->setFocus();
    cats->selectRow(2);  // General, Home, Work
    Pump(20);
    Click(s, "select");
    ASSERT_TRUE(WaitFor([&] { return Rows() == 2; })) << Rows();
    EXPECT_EQ(Cell(0, 3), "Work");
    EXPECT_EQ(Cell(1, 3), "Work");

    NewItem(w, "Budget");
    EXPECT_EQ(Find(Items(), "Budget")->Category, "Work");
    EXPECT_EQ(Rows(), 3);

    // Back on the Done tab every item shows again.
    Child<QTabWidget>(w, "sheet")->setCurrentIndex(0);
    Pump(20);
    EXPECT_EQ(Rows(), 4);
}

TEST_F(ToDoWindowsTest, ItemFromTheMessageProgramShowsAfterTheRefreshAndSecondStartBringsItForward) {
    QWidget* w = OpenList();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Rows(), 0);
    TaskMessageCopy m;
    m.Title = "Dentist";
    m.Message = "Book a check-up";
    std::string error;
    ASSERT_EQ(AddMessageToToDo(m, &error), 0) << error;
    // A second start brings the open list forward and refreshes it; no
    // second list opens.
    Start("BrowseToDoList", [] { BrowseToDoList(); });
    ASSERT_TRUE(WaitFor([&] { return Rows() == 1; })) << Rows();
    EXPECT_EQ(Cell(0, 2), "Dentist");
    EXPECT_EQ(Cell(0, 3), "General");
    int lists = 0;
    for (QWidget* t : QApplication::topLevelWidgets())
        if (t->isVisible() && t->windowTitle() == "To Do Items") ++lists;
    EXPECT_EQ(lists, 1);
}

TEST_F(ToDoWindowsTest, TransferToScheduleHandsTheItemToTheMessageWizard) {
    AddItem("Renew passport", "Home", 3);
    std::optional<Schedule> handed;
    SetMessageWizard([&](const Schedule& s) { handed = s; });
    Options().MultiUser = 1;  // the title names the user
    QWidget* w = OpenList();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "To Do List - ann");
    SelectRow(0);
    bool transferEnabled = false;
    InstallPopupResponder([&](const std::vector<PopupItem>& items) {
        for (const PopupItem& i : items)
            if (i.text == "Transfer to Schedule") {
                transferEnabled = i.enabled;
                return i.number;
            }
        return 0;
    });
    const QPoint at = list_->visualRect(list_->model()->index(0, 2)).center();
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, list_->mapToGlobal(at));
    QApplication::sendEvent(list_, &menu);
    EXPECT_TRUE(transferEnabled);
    ASSERT_TRUE(WaitFor([&] { return handed.has_value(); })) << Shown();
    EXPECT_EQ(handed->Description, "Renew passport");
    EXPECT_EQ(handed->Category, "Home");
    EXPECT_NE(handed->Message.find("Priority 3"), std::string::npos);
    EXPECT_EQ(handed->Date, MakeDate(3, 4, 2025) + 1);
}

}  // namespace
}  // namespace kr::organiser

namespace kr::organiser {
namespace {

// An item changed by another program while its form is open: OK writes
// nothing over it, says "Record Was Not Updated" and shows the stored item;
// the history key brings back what was typed, and OK then stores that.
TEST_F(ToDoWindowsTest, ItemChangedWhileItsFormIsOpenIsShownAndTheTypedTextRecalled) {
    AddItem("Buy milk", "Home");
    QWidget* list = OpenList();
    ASSERT_NE(list, nullptr);
    SelectRow(0);
    Click(list, "change");
    QWidget* f = WindowTitled("Edit To Do Item");
    ASSERT_NE(f, nullptr) << Shown();
    Type(f, "todo", "Buy oat milk");

    // The other writer.
    ASSERT_EQ(todo().Set(TodoDef().key("TDO:KeyCategory")), 0);
    ASSERT_EQ(todo().Next(), 0);
    todo().Rec<Todo>().ToDo = "Buy milk today";
    ASSERT_EQ(todo().Put(), 0);

    const size_t before = responder_.shown().size();
    Click(f, "ok");
    Pump(20);
    ASSERT_EQ(responder_.shown().size(), before + 1) << Shown();
    EXPECT_EQ(responder_.shown().back().request.title, "Record Was Not Updated");
    ASSERT_TRUE(f->isVisible());
    auto* text = Child<QLineEdit>(f, "todo");
    EXPECT_EQ(text->text(), "Buy milk today");
    EXPECT_EQ(Items()[0].ToDo, "Buy milk today");
    text->setFocus();
    QTest::keyClick(text, Qt::Key_Apostrophe, Qt::ControlModifier);
    EXPECT_EQ(text->text(), "Buy oat milk");
    ASSERT_TRUE(OkCloses(f)) << Shown();
    EXPECT_EQ(Items()[0].ToDo, "Buy oat milk");
}

}  // namespace
}  // namespace kr::organiser
