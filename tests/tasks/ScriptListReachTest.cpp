// The script list opened as KR98 opens it, on the thread of the window that
// opens it (the schedule list, a wizard), over a data file in which nothing
// holds the script items open beforehand: a click, a double click, Edit,
// Delete and the four moves act on the clicked item, also when the list is
// opened a second time; the template list it opens picks a template; a row
// that cannot be read again is told once and the list stays as it was.
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../ui/TableWindowsFixture.h"
#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "scheduler/windows/Main.h"
#include "scriptedit/windows/ScriptWindows.h"
#include "tasks/windows/TaskWindows.h"

namespace kr::tasks {
namespace {

using test::Pump;
using test::WaitFor;

class ScriptListReachTest : public test::TableWindowsTest {
protected:
    ScriptListReachTest() : TableWindowsTest(MakeDate(12, 9, 2026), MakeTime(8, 0)) {}
    void SetUp() override {
        TableWindowsTest::SetUp();
        CreateAndOpen({&sch(), &data::TableOf(CategoriesDef())});
        // Made, then left closed: only the windows open them.
        for (data::Table* t : {&scr(), &tpl(), &tplItems()}) ASSERT_EQ(t->Create(), 0);
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
    static data::Table& tpl() { return data::TableOf(ScriptTemplatesDef()); }
    static data::Table& tplItems() { return data::TableOf(ScriptTemplateDetailsDef()); }

    // Task 1 with "Set Value" items named by `names`, numbered 1, 2, ...; the
    // script file is closed again afterwards.
    static void WriteTask(const std::vector<std::string>& names) {
        sch().Clear();
        Schedule& x = sch().Rec<Schedule>();
        x.ID = 1;
        x.OriginalID = 1;
        x.TaskType = "Run Program";
        x.Command = "N/A";
        x.Description = "Morning";
        x.Category = "General";
        x.ScheduleType = "Day of Week";
        x.Monday = 1;
        x.Date = MakeDate(12, 10, 2026);
        x.Time = MakeTime(10, 30);
        ASSERT_EQ(sch().Add(), 0);
        ASSERT_EQ(scr().Open(), 0);
        int32_t n = 0;
        for (const std::string& name : names) {
            scr().Clear();
            Scripting& s = scr().Rec<Scripting>();
            s.ID = 1;
            s.Sequence = ++n;
            s.Action = "Set Value";
            s.Path = name;
            ASSERT_EQ(scr().Add(), 0);
        }
        ASSERT_EQ(scr().Close(), 0);
        ASSERT_FALSE(scr().IsOpen());
    }
    // The task's items as "sequence+name " in order.
    static std::string Items() {
        std::string out;
        scr().ForEachMatch(ScriptingDef().key("SCR:KeyID"), {ScriptingDef().field("SCR:ID")}, {Value(1)},
                           [&](int64_t, const void* r) {
                               const auto* s = static_cast<const Scripting*>(r);
                               out += std::to_string(s->Sequence) + s->Path.str() + " ";
                               return true;
                           });
        return out;
    }
    static void Press(QWidget* w, const QString& text) {
        QAbstractButton* b = test::ShownButtonText(w, text);
        ASSERT_NE(b, nullptr) << text.toStdString();
        b->click();
        Pump(30);
    }
    // A click (or a double click: a click, then the double click) on a
    // row, as the mouse gives it.
    static void ClickRow(QTableView* view, int row, bool twice = false) {
        const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        if (twice) QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
        Pump(30);
    }
    static bool Gone(const QString& prefix) {
        return WaitFor([prefix] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->windowTitle().startsWith(prefix)) return false;
            return true;
        });
    }
    // The item form a button or a double click opened, with the value name
    // it shows; closed again with Cancel.
    std::string FormShows(const QString& title) {
        QWidget* form = WindowTitled(title);
        if (!form) return "no \"" + title.toStdString() + "\" form; messages:\n" + Shown();
        std::string shown;
        auto* sheet = form->findChild<QTabWidget*>();
        for (QLineEdit* e : sheet->currentWidget()->findChildren<QLineEdit*>())
            if (shown.empty()) shown = e->text().toStdString();
        Press(form, "Cancel");
        Gone(title);
        return shown;
    }
    // The schedule list, as the frame starts it, with the task highlighted.
    QWidget* OpenScheduleList() {
        Start("BrowseSchedule", [] { BrowseSchedule(); });
        QWidget* tasks = WindowTitled("Scheduled Tasks");
        if (!tasks) return nullptr;
        if (auto* sheet = Child<QTabWidget>(tasks, "sheet")) sheet->setCurrentIndex(1);
        Pump(20);
        Child<QTableView>(tasks, "list")->selectRow(0);
        Pump(20);
        return tasks;
    }
    // Click, Edit, double click, the four moves and Delete in an open list.
    void EditAndMoveIn(QWidget* list) {
        auto* view = list->findChild<QTableView*>();
        ASSERT_NE(view, nullptr);
        ASSERT_EQ(view->model()->rowCount(), 3);
        ClickRow(view, 1);
        Press(list, "&Edit");
        EXPECT_EQ(FormShows("Edit Script Action"), "two");
        ClickRow(view, 2, true);
        EXPECT_EQ(FormShows("Edit Script Action"), "three");

        ClickRow(view, 0);
        Press(list, "Down");
        EXPECT_EQ(Items(), "1two 2one 3three ");
        Press(list, "Bottom");  // the moved item stays highlighted
        EXPECT_EQ(Items(), "1two 2three 3one ");
        ClickRow(view, 1);
        Press(list, "Top");
        EXPECT_EQ(Items(), "1three 2two 3one ");
        ClickRow(view, 2);
        Press(list, "Up");
        EXPECT_EQ(Items(), "1three 2one 3two ");

        ClickRow(view, 0);
        Press(list, "&Delete");
        QWidget* form = WindowTitled("Delete Script Action");
        ASSERT_NE(form, nullptr) << Shown();
        Press(form, "&OK");
        ASSERT_TRUE(WaitFor([] { return Items() == "1one 2two "; })) << Items() << Shown();
        EXPECT_TRUE(responder_.shown().empty()) << Shown();
    }
};

TEST_F(ScriptListReachTest, TheScheduleListsScriptListEditsMovesAndDeletesTheClickedItem) {
    WriteTask({"one", "two", "three"});
    QWidget* tasks = OpenScheduleList();
    ASSERT_NE(tasks, nullptr);
    Click(tasks, "scripting");
    QWidget* list = WindowTitled("Scripting - General: Morning");
    ASSERT_NE(list, nullptr) << Shown();
    EditAndMoveIn(list);
    Press(list, "Cl&ose");
    ASSERT_TRUE(Gone("Scripting - "));

    // Opened a second time, with nothing left open by the first.
    ASSERT_FALSE(scr().IsOpen());
    Click(tasks, "scripting");
    list = WindowTitled("Scripting - General: Morning");
    ASSERT_NE(list, nullptr) << Shown();
    auto* view = list->findChild<QTableView*>();
    ClickRow(view, 1);
    Press(list, "&Edit");
    EXPECT_EQ(FormShows("Edit Script Action"), "two");
    Press(list, "Up");
    EXPECT_EQ(Items(), "1two 2one ");
}

TEST_F(ScriptListReachTest, TheWizardsScriptListWorksWhenOpenedAgain) {
    MainFrame* f = OpenMain();
    ASSERT_NE(f, nullptr);
    Pump(50);
    f->Layout().ActionsOf(-45).front()->trigger();
    QWidget* w = WindowTitled("Add Task Wizard");
    ASSERT_NE(w, nullptr) << Shown();
    Click(w, "taskType0");  // Run Program
    Click(w, "next");
    Click(w, "next");
    if (QLineEdit* e = TypeInto(w, "command", "/usr/bin/xedit")) e->editingFinished();
    Click(w, "scripting");
    QWidget* list = WindowTitled("Scripting - ");
    ASSERT_NE(list, nullptr) << Shown();
    for (const char* name : {"one", "two", "three"}) {
        Press(list, "&New");
        QWidget* form = WindowTitled("New Script Action");
        ASSERT_NE(form, nullptr) << Shown();
        Press(form, "Set Value");
        const QList<QLineEdit*> entries = form->findChild<QTabWidget*>()->currentWidget()->findChildren<QLineEdit*>();
        ASSERT_GE(entries.size(), 2);
        entries[0]->setText(name);  // the value's name
        entries[1]->setText("1");
        Press(form, "&OK");
        ASSERT_TRUE(Gone("New Script Action")) << Shown();
    }
    Press(list, "Cl&ose");
    ASSERT_TRUE(Gone("Scripting - "));

    Click(w, "scripting");
    list = WindowTitled("Scripting - ");
    ASSERT_NE(list, nullptr) << Shown();
    auto* view = list->findChild<QTableView*>();
    ASSERT_EQ(view->model()->rowCount(), 3);
    ClickRow(view, 1);
    Press(list, "&Edit");
    EXPECT_EQ(FormShows("Edit Script Action"), "two");
    ClickRow(view, 2, true);
    EXPECT_EQ(FormShows("Edit Script Action"), "three");
    ClickRow(view, 0);
    Press(list, "Bottom");
    const std::vector<QString> after = {view->model()->index(0, 1).data().toString(),
                                        view->model()->index(2, 1).data().toString()};
    EXPECT_TRUE(after[0].contains("two")) << after[0].toStdString();
    EXPECT_TRUE(after[1].contains("one")) << after[1].toStdString();
    EXPECT_TRUE(responder_.shown().empty()) << Shown();
}

// The template list opened from the script list's "&Template" (on the
// script list's thread, to pick a template) picks the clicked template.
TEST_F(ScriptListReachTest, TheTemplateListOpenedFromTheScriptListPicksTheClickedTemplate) {
    WriteTask({"one"});
    ASSERT_EQ(tpl().Open(), 0);
    ASSERT_EQ(tplItems().Open(), 0);
    for (const char* name : {"Alpha", "Beta"}) {
        tpl().Clear();
        tpl().Rec<ScriptTemplates>().Description = name;
        ASSERT_EQ(tpl().AddAutoNumbered(ScriptTemplatesDef().key("KRT:K_Wiz_ID")), 0) << name;
        const int32_t wiz = tpl().Rec<ScriptTemplates>().Wiz_ID;
        tplItems().Clear();
        ScriptTemplateDetails& d = tplItems().Rec<ScriptTemplateDetails>();
        d.Wiz_ID = wiz;
        d.Sequence = 1;
        d.Action = "Set Value";
        d.Path = std::string("from ") + name;
        ASSERT_EQ(tplItems().Add(), 0);
    }
    ASSERT_EQ(tplItems().Close(), 0);
    ASSERT_EQ(tpl().Close(), 0);

    QWidget* tasks = OpenScheduleList();
    ASSERT_NE(tasks, nullptr);
    Click(tasks, "scripting");
    QWidget* list = WindowTitled("Scripting - General: Morning");
    ASSERT_NE(list, nullptr) << Shown();
    Press(list, "&Template");
    QWidget* pick = WindowTitled("Script Templates");
    ASSERT_NE(pick, nullptr) << Shown();
    ClickRow(pick->findChild<QTableView*>(), 1);  // Beta
    Press(pick, "&Select");
    ASSERT_TRUE(WaitFor([] { return Items() == "1one 2from Beta "; })) << Items() << Shown();
}

// A row gone from the file since the list read it: the click tells the
// table's error once, Edit and the moves add no second message and open
// nothing, and the list keeps its rows.
TEST_F(ScriptListReachTest, ARowThatCannotBeReadAgainIsToldOnceAndTheListStays) {
    WriteTask({"one", "two", "three"});
    QWidget* tasks = OpenScheduleList();
    ASSERT_NE(tasks, nullptr);
    Click(tasks, "scripting");
    QWidget* list = WindowTitled("Scripting - General: Morning");
    ASSERT_NE(list, nullptr) << Shown();
    auto* view = list->findChild<QTableView*>();
    int64_t gone = 0;
    scr().ForEachMatch(ScriptingDef().key("SCR:KeyID"), {ScriptingDef().field("SCR:ID")}, {Value(1)},
                       [&](int64_t row, const void* r) {
                           if (static_cast<const Scripting*>(r)->Sequence == 2) gone = row;
                           return true;
                       });
    ASSERT_NE(gone, 0);
    ASSERT_EQ(scr().DeleteRow(gone), 0);

    ClickRow(view, 1);
    ASSERT_EQ(responder_.shown().size(), 1u) << Shown();
    EXPECT_EQ(responder_.shown()[0].request.title, "Record Retrieval Error");
    EXPECT_NE(responder_.shown()[0].request.text.find("Scripting"), std::string::npos) << Shown();
    Press(list, "&Edit");
    Press(list, "Down");
    Pump(100);
    EXPECT_EQ(responder_.shown().size(), 1u) << Shown();
    EXPECT_EQ(WindowTitled("Edit Script Action"), nullptr);
    EXPECT_EQ(view->model()->rowCount(), 3);
    EXPECT_EQ(Items(), "1one 3three ");
    // Another row still reads.
    ClickRow(view, 2);
    Press(list, "&Edit");
    EXPECT_EQ(FormShows("Edit Script Action"), "three");
}

}  // namespace
}  // namespace kr::tasks
