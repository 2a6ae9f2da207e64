// The add-task wizards' and the task form's "&Scripting" through the real
// windows offscreen: the wizard opened as the frame opens it (its own
// procedure thread), the script list and the item form over a real data
// file; the items end up under the task the wizard writes, also while the
// script list of another task stands open, and a cancel takes them away
// with the placeholder. The special event wizard's "&Scripting" gives the
// event a script of its own, begun as a copy of the source's.
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QStackedWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "../ui/TableWindowsFixture.h"
#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "scheduler/windows/Main.h"
#include "scriptedit/windows/ScriptWindows.h"
#include "tasks/TaskReservation.h"
#include "tasks/windows/TaskWindows.h"

namespace kr::tasks {
namespace {

using test::Pump;
using test::WaitFor;

class WizardScriptingTest : public test::TableWindowsTest {
protected:
    WizardScriptingTest() : TableWindowsTest(MakeDate(12, 9, 2026), MakeTime(8, 0)) {}
    void SetUp() override {
        TableWindowsTest::SetUp();
        CreateAndOpen({&sch(), &scr(), &data::TableOf(CategoriesDef())});
        CopySourceID() = 0;
        RegisterTaskWindows();
        scriptedit::RegisterScriptWindows();
    }
    void TearDown() override {
        if (MainFrame* f = CurrentMainFrame()) f->CloseNow();
        Pump(50);
        TableWindowsTest::TearDown();
    }
    static data::Table& sch() { return data::TableOf(ScheduleDef()); }
    static data::Table& scr() { return data::TableOf(ScriptingDef()); }

    static std::vector<Schedule> Tasks() {
        // The tests' tasks have small IDs.
        std::vector<Schedule> out;
        for (int id = 1; id <= 50; ++id)
            sch().ForEachMatch(ScheduleDef().key("SCH:KeyID"), {ScheduleDef().field("SCH:ID")}, {Value(id)},
                               [&](int64_t, const void* r) {
                                   out.push_back(*static_cast<const Schedule*>(r));
                                   return true;
                               });
        return out;
    }
    static std::vector<Scripting> Items(int32_t task) {
        std::vector<Scripting> out;
        scr().ForEachMatch(ScriptingDef().key("SCR:KeyID"), {ScriptingDef().field("SCR:ID")}, {Value(task)},
                           [&](int64_t, const void* r) {
                               out.push_back(*static_cast<const Scripting*>(r));
                               return true;
                           });
        return out;
    }
    static int AllItems() {
        int n = 0;
        for (int id = 0; id <= 50; ++id) n += static_cast<int>(Items(id).size());
        return n;
    }
    static void Press(QWidget* w, const QString& text) {
        QAbstractButton* b = test::ShownButtonText(w, text);
        ASSERT_NE(b, nullptr) << text.toStdString();
        b->click();
        Pump(30);
    }
    static void Type(QWidget* w, const char* name, const std::string& text) {
        if (QLineEdit* e = TypeInto(w, name, text)) e->editingFinished();
    }

    // Adds one item through the script list's New: the item form, an action
    // and OK.
    void NewItem(QWidget* list, const QString& action, const std::function<void(QWidget*)>& fill) {
        Press(list, "&New");
        QWidget* form = WindowTitled("New Script Action");
        ASSERT_NE(form, nullptr) << Shown();
        Press(form, action);
        fill(form);
        Press(form, "&OK");
        ASSERT_TRUE(WaitFor([] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->windowTitle().startsWith("New Script Action")) return false;
            return true;
        })) << Shown();
    }
    // A Wait of four seconds and a Send Keys "Hello" in the script list whose
    // title starts so, then Close.
    void MakeTwoItems(const QString& title = "Scripting - ") {
        QWidget* list = WindowTitled(title);
        ASSERT_NE(list, nullptr) << Shown();
        NewItem(list, "Wait", [](QWidget* form) {
            for (QSpinBox* s : form->findChildren<QSpinBox*>())
                if (s->isVisible() && s->isEnabled()) {
                    s->setValue(4);
                    break;
                }
        });
        NewItem(list, "Send Keys", [](QWidget* form) {
            for (QLineEdit* e : form->findChildren<QLineEdit*>())
                if (e->isVisible() && e->isEnabled()) {
                    e->setText("Hello");
                    break;
                }
        });
        Press(list, "Cl&ose");
        ASSERT_TRUE(WaitFor([title] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->windowTitle().startsWith(title)) return false;
            return true;
        }));
    }
    // The schedule list's tab of every task.
    static void sheetToAll(QWidget* list) {
        if (auto* sheet = list->findChild<QTabWidget*>("sheet")) sheet->setCurrentIndex(1);
        Pump(20);
        if (auto* view = list->findChild<QTableView*>("list")) view->selectRow(0);
        Pump(20);
    }
    ::testing::AssertionResult Closes(QWidget* w, const char* button) {
        Click(w, button);
        if (WaitFor([] { return OpenTaskEditors() == 0; })) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "\"" << button << "\" left a task editor open; messages:\n" << Shown();
    }
};

TEST_F(WizardScriptingTest, ProgramWizardFromTheFrameKeepsItsScriptInTheOneTaskItWrites) {
    MainFrame* f = OpenMain();
    ASSERT_NE(f, nullptr);
    Pump(50);
    std::vector<QAction*> actions = f->Layout().ActionsOf(-43);
    ASSERT_FALSE(actions.empty());
    EXPECT_EQ(actions.front()->shortcut(), QKeySequence("Ctrl+Shift+P"));
    actions.front()->trigger();
    QWidget* w = WindowTitled("New Program Task Wizard");
    ASSERT_NE(w, nullptr) << Shown();
    const std::vector<Schedule> before = Tasks();
    ASSERT_EQ(before.size(), 1u);  // the placeholder
    const int32_t reserved = before[0].ID;

    Type(w, "command", "/usr/bin/xedit");
    Click(w, "scripting");
    MakeTwoItems();
    Click(w, "next");
    Type(w, "time", "10:30AM");
    Click(w, "next");
    Type(w, "description", "Editor with a greeting");
    Click(w, "next");
    ASSERT_TRUE(Closes(w, "finish"));

    const std::vector<Schedule> after = Tasks();
    ASSERT_EQ(after.size(), 1u) << Shown() << (after.size() > 1 ? after[1].Description.str() : "");
    EXPECT_EQ(after[0].ID, reserved);
    EXPECT_EQ(after[0].Command, "/usr/bin/xedit");
    EXPECT_EQ(after[0].Description, "Editor with a greeting");
    const std::vector<Scripting> items = Items(reserved);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Action, "Wait");
    EXPECT_EQ(items[0].SecondsToWait, 4);
    EXPECT_EQ(items[1].Action, "Send Keys");
    EXPECT_EQ(items[1].Keystrokes, "Hello");
    EXPECT_EQ(AllItems(), 2);
}

// The script list of another task stands open (from the schedule list): the
// wizard's "&Scripting" still opens the list of the wizard's own task, and
// the items go there, not into the other task.
TEST_F(WizardScriptingTest, WizardScriptingBesideAnotherTasksOpenScriptListKeepsTheItemsInTheWizardsTask) {
    sch().Clear();
    Schedule& x = sch().Rec<Schedule>();
    x.ID = 1;
    x.OriginalID = 1;
    x.TaskType = "Run Program";
    x.Command = "N/A";
    x.Description = "Script: DEC 9,2026";
    x.Category = "General";
    x.ScheduleType = "Day of Week";
    x.Sunday = x.Monday = x.Tuesday = x.Wednesday = x.Thursday = x.Friday = x.Saturday = 1;
    x.Date = MakeDate(12, 10, 2026);
    x.Time = MakeTime(10, 30);
    ASSERT_EQ(sch().Add(), 0);
    Start("BrowseSchedule", [] { BrowseSchedule(); });
    QWidget* tasks = WindowTitled("Scheduled Tasks");
    ASSERT_NE(tasks, nullptr);
    auto* view = Child<QTableView>(tasks, "list");
    view->selectRow(0);
    Pump(20);
    sheetToAll(tasks);
    Click(tasks, "scripting");
    ASSERT_NE(WindowTitled("Scripting - General: Script: DEC 9,2026"), nullptr) << Shown();

    MainFrame* f = OpenMain();
    ASSERT_NE(f, nullptr);
    Pump(50);
    f->Layout().ActionsOf(-43).front()->trigger();
    QWidget* w = WindowTitled("New Program Task Wizard");
    ASSERT_NE(w, nullptr) << Shown();
    const int32_t reserved = Tasks().back().ID;
    ASSERT_NE(reserved, 1);
    Type(w, "command", "/usr/bin/xedit");
    Type(w, "description", "Editor with a greeting");
    Click(w, "scripting");
    MakeTwoItems("Scripting - General: Editor with a greeting");
    Click(w, "next");
    Click(w, "next");
    Click(w, "next");
    ASSERT_TRUE(Closes(w, "finish"));

    EXPECT_EQ(Tasks().size(), 2u);
    EXPECT_EQ(Items(reserved).size(), 2u);
    EXPECT_TRUE(Items(1).empty());
    // A second start for the task whose list is open (from another thread,
    // as an edit form of the task would) shows no second list.
    const Schedule task1 = Tasks().front();
    Start("SecondList", [task1] {
        Schedule_File().rec() = task1;
        GlobalRequest() = kChangeRecord;
        OpenScriptList(task1.ID, {});
    });
    Pump(100);
    int lists = 0;
    for (QWidget* t : QApplication::topLevelWidgets())
        if (t->isVisible() && t->windowTitle().startsWith("Scripting - ")) ++lists;
    EXPECT_EQ(lists, 1);
}

TEST_F(WizardScriptingTest, GeneralWizardFromTheFrameKeepsItsScriptAndCancelTakesItAway) {
    MainFrame* f = OpenMain();
    ASSERT_NE(f, nullptr);
    Pump(50);
    QAction* general = f->Layout().ActionsOf(-45).front();
    // Cancel: neither the placeholder nor the items made for it stay.
    general->trigger();
    QWidget* w = WindowTitled("Add Task Wizard");
    ASSERT_NE(w, nullptr) << Shown();
    ASSERT_EQ(Tasks().size(), 1u);
    Click(w, "taskType0");  // Run Program
    Click(w, "next");
    Click(w, "next");
    Type(w, "command", "/usr/bin/xedit");
    Click(w, "scripting");
    MakeTwoItems();
    ASSERT_EQ(AllItems(), 2);
    ASSERT_TRUE(Closes(w, "cancel"));
    EXPECT_TRUE(Tasks().empty());
    EXPECT_EQ(AllItems(), 0);

    general->trigger();
    w = WindowTitled("Add Task Wizard");
    ASSERT_NE(w, nullptr) << Shown();
    const int32_t reserved = Tasks().at(0).ID;
    Click(w, "taskType0");
    Click(w, "next");
    Type(w, "description", "Editor with a greeting");
    Click(w, "next");
    Type(w, "command", "/usr/bin/xedit");
    Click(w, "scripting");
    MakeTwoItems();
    Click(w, "next");
    Type(w, "time", "10:30AM");
    Click(w, "next");
    ASSERT_TRUE(Closes(w, "finish"));
    const std::vector<Schedule> after = Tasks();
    ASSERT_EQ(after.size(), 1u) << Shown();
    EXPECT_EQ(after[0].ID, reserved);
    EXPECT_EQ(after[0].TaskType, "Run Program");
    EXPECT_EQ(after[0].Description, "Editor with a greeting");
    EXPECT_EQ(Items(reserved).size(), 2u);
    EXPECT_EQ(AllItems(), 2);
}

TEST_F(WizardScriptingTest, TaskFormKeepsItsScriptInTheTaskItWrites) {
    Start("TaskForm", [] {
        Schedule_File().rec() = Schedule();
        GlobalRequest() = kInsertRecord;
        UpdateSchedule([](int) {});
    });
    QWidget* w = WindowTitled("New Task");
    ASSERT_NE(w, nullptr) << Shown();
    const int32_t reserved = Tasks().at(0).ID;
    Click(w, "taskType:Run Program");
    Type(w, "description", "Editor with a greeting");
    Type(w, "command", "/usr/bin/xedit");
    Click(w, "scripting");
    MakeTwoItems();
    ASSERT_TRUE(Closes(w, "ok"));
    const std::vector<Schedule> after = Tasks();
    ASSERT_EQ(after.size(), 1u) << Shown();
    EXPECT_EQ(after[0].ID, reserved);
    EXPECT_EQ(after[0].Command, "/usr/bin/xedit");
    EXPECT_EQ(Items(reserved).size(), 2u);
    EXPECT_EQ(AllItems(), 2);
}

}  // namespace
}  // namespace kr::tasks

namespace kr::tasks {
namespace {

// A program task with one script item, highlighted in the schedule list:
// the special event wizard's "&Scripting" (on its Command page) opens the
// event's own script, begun as a copy of the source's; items added there go
// to the event only. Cancel takes the event's number and its items away.
TEST_F(WizardScriptingTest, SpecialEventScriptingGivesTheEventAScriptOfItsOwn) {
    sch().Clear();
    Schedule& x = sch().Rec<Schedule>();
    x.ID = 1;
    x.OriginalID = 1;
    x.TaskType = "Run Program";
    x.Command = "N/A";
    x.Description = "Nightly keys";
    x.Category = "General";
    x.ScheduleType = "Day of Week";
    x.Monday = 1;
    x.Date = MakeDate(12, 14, 2026);
    x.Time = MakeTime(22, 0);
    ASSERT_EQ(sch().Add(), 0);
    scr().Clear();
    scr().Rec<Scripting>().ID = 1;
    scr().Rec<Scripting>().Sequence = 1;
    scr().Rec<Scripting>().Action = "Wait";
    scr().Rec<Scripting>().SecondsToWait = 9;
    ASSERT_EQ(scr().Add(), 0);
    Start("BrowseSchedule", [] { BrowseSchedule(); });
    QWidget* tasks = WindowTitled("Scheduled Tasks");
    ASSERT_NE(tasks, nullptr);
    sheetToAll(tasks);

    const auto openCommandPage = [&]() -> QWidget* {
        Click(tasks, "special");
        QWidget* w = WindowTitled("Special Event Wizard");
        if (!w) return nullptr;
        Click(w, "next");
        EXPECT_EQ(Child<QStackedWidget>(w, "pages")->currentIndex(), 1);
        return w;
    };

    // Cancel: the event's number and the items copied or made for it go.
    QWidget* w = openCommandPage();
    ASSERT_NE(w, nullptr) << Shown();
    Click(w, "scripting");
    {
        QWidget* list = WindowTitled("Scripting - General: Nightly keys");
        ASSERT_NE(list, nullptr) << Shown();
        Press(list, "Cl&ose");
    }
    ASSERT_EQ(Tasks().size(), 2u) << "the event's number is reserved";
    ASSERT_EQ(Items(Tasks().back().ID).size(), 1u) << "the source's item is copied to it";
    ASSERT_TRUE(Closes(w, "cancel"));
    EXPECT_EQ(Tasks().size(), 1u);
    EXPECT_EQ(AllItems(), 1);

    // Finish: the event keeps the copied item and the two added to it; the
    // source keeps its one item.
    w = openCommandPage();
    ASSERT_NE(w, nullptr) << Shown();
    Click(w, "scripting");
    MakeTwoItems("Scripting - General: Nightly keys");
    const int32_t event = Tasks().back().ID;
    ASSERT_NE(event, 1);
    Type(w, "command", "/usr/bin/xedit");
    for (int i = 0; i < 3; ++i) Click(w, "next");
    ASSERT_TRUE(Closes(w, "finish"));
    const std::vector<Schedule> after = Tasks();
    ASSERT_EQ(after.size(), 2u) << Shown();
    EXPECT_EQ(after.back().ID, event);
    EXPECT_EQ(after.back().OriginalID, 1);
    EXPECT_EQ(after.back().Command, "/usr/bin/xedit");
    EXPECT_EQ(after.back().Disabled, 0);
    const std::vector<Scripting> items = Items(event);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].Action, "Wait");
    EXPECT_EQ(items[0].SecondsToWait, 9);
    EXPECT_EQ(items[2].Keystrokes, "Hello");
    ASSERT_EQ(Items(1).size(), 1u);
    EXPECT_EQ(AllItems(), 4);
}

}  // namespace
}  // namespace kr::tasks
