// The script wizard offscreen over real data files: a new task filled from a
// template, and the hot-key mode's Cancel that must keep the key's script.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QApplication>
#include <QLineEdit>
#include <QTableView>

#include "UiTestSupport.h"
#include "dictionary/Dictionary.h"
#include "platform/runtime/Services.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "scriptedit/ScriptText.h"
#include "scriptedit/windows/ScriptWindows.h"
#include "tasks/windows/TaskWindows.h"
#include "tests/runner/RunnerTestSupport.h"

namespace kr {
namespace {

QWidget* WindowTitled(const QString& title) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title) return w;
    return nullptr;
}

QAbstractButton* ButtonText(QWidget* w, const QString& text) {
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

std::vector<std::string> ItemActions(int32_t taskID) {
    std::vector<std::string> out;
    TableOf(ScriptingDef()).ForEachMatch(ScriptingDef().key("SCR:KeyID"), {ScriptingDef().field("SCR:ID")},
                                         {Value(taskID)}, [&](int64_t, const void* rec) {
                                             out.push_back(ClipRight(static_cast<const Scripting*>(rec)->Action.str()));
                                             return true;
                                         });
    return out;
}

class ScriptWizardTest : public test::RunnerFixture {
protected:
    void SetUp() override {
        RunnerFixture::SetUp();
        ASSERT_EQ(Schedule_File().Open(), data::kLevelBenign);
        ASSERT_EQ(Scripting_File().Open(), data::kLevelBenign);
        ASSERT_EQ(ScriptTemplates_File().Open(), data::kLevelBenign);
        ASSERT_EQ(ScriptTemplateDetails_File().Open(), data::kLevelBenign);
        scriptedit::RegisterScriptWindows();
    }
    void TearDown() override {
        test::CloseAllWindows();
        ScriptTemplateDetails_File().Close();
        ScriptTemplates_File().Close();
        Scripting_File().Close();
        Schedule_File().Close();
        RunnerFixture::TearDown();
    }
    void AddTemplate(const char* description, std::vector<const char*> actions) {
        ScriptTemplates_File().rec() = ScriptTemplates();
        ScriptTemplates_File().rec().Description = description;
        ASSERT_EQ(ScriptTemplates_File().Insert(), data::kLevelBenign);
        const int32_t wiz = ScriptTemplates_File().rec().Wiz_ID;
        int32_t seq = 0;
        for (const char* a : actions) {
            ScriptTemplateDetails d;
            d.Wiz_ID = wiz;
            d.Sequence = ++seq;
            d.Action = a;
            ASSERT_EQ(ScriptTemplateDetails_File().UseFile(), 0);
            ScriptTemplateDetails_File().rec() = d;
            ASSERT_EQ(ScriptTemplateDetails_File().File().Add(), 0);
        }
    }
    ScriptedResponder responder_;
    ScopedMessageService messages_{&responder_};
};

TEST_F(ScriptWizardTest, MakesARunProgramTaskFromATemplate) {
    AddTemplate("Two steps", {"Exit Script", "Exit Script"});
    EXPECT_TRUE(IsProcedureRegistered("Wizard:Script"));
    GlobalRequest() = 0;
    scriptedit::Wizard_Script();
    QWidget* w = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (w = WindowTitled("New Script Task Wizard")) != nullptr; }));
    const int32_t id = Schedule_File().rec().ID;
    ASSERT_NE(id, 0);
    auto* templates = w->findChild<QTableView*>("templates");
    auto* items = w->findChild<QTableView*>("items");
    ASSERT_TRUE(test::WaitFor([&] { return templates->model()->rowCount() == 1; }));
    templates->selectRow(0);
    test::Pump();
    ButtonText(w, "&Add template to script")->click();
    ASSERT_TRUE(test::WaitFor([&] { return items->model()->rowCount() == 2; }));
    EXPECT_EQ(ItemActions(id).size(), 2u);
    ButtonText(w, "&Next")->click();
    // Only Mondays; Month End greys the day boxes at once.
    for (const char* d : {"Sunday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"})
        w->findChild<QCheckBox*>(d)->click();
    auto* monthEnd = w->findChild<QCheckBox*>("monthEnd");
    monthEnd->click();
    test::Pump();
    EXPECT_FALSE(w->findChild<QCheckBox*>("Monday")->isEnabled());
    monthEnd->click();
    test::Pump();
    EXPECT_TRUE(w->findChild<QCheckBox*>("Monday")->isEnabled());
    for (int i = 0; i < 2; ++i) ButtonText(w, "&Next")->click();
    EXPECT_FALSE(ButtonText(w, "&Next")->isEnabled());
    w->findChild<QLineEdit*>("description")->setText("Nightly clean-up");
    ButtonText(w, "&Finish")->click();
    ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("New Script Task Wizard") == nullptr; }));

    Schedule_File().rec() = Schedule();
    Schedule_File().rec().ID = id;
    ASSERT_EQ(Schedule_File().Fetch("SCH:KeyID"), data::kLevelBenign);
    const Schedule& s = Schedule_File().rec();
    EXPECT_EQ(Trim(s.TaskType.str()), "Run Program");
    EXPECT_EQ(Trim(s.Command.str()), "N/A");
    EXPECT_EQ(Trim(s.Description.str()), "Nightly clean-up");
    EXPECT_EQ(Trim(s.Category.str()), "General");
    EXPECT_EQ(s.Disabled, 0);
    EXPECT_EQ(s.Monday, 1);
    EXPECT_EQ(s.Sunday + s.Tuesday + s.Wednesday + s.Thursday + s.Friday + s.Saturday, 0);
    EXPECT_EQ(ItemActions(id).size(), 2u);
}

TEST_F(ScriptWizardTest, CancelLeavesNeitherTaskNorItems) {
    AddTemplate("Two steps", {"Exit Script", "Exit Script"});
    GlobalRequest() = 0;
    scriptedit::Wizard_Script();
    QWidget* w = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (w = WindowTitled("New Script Task Wizard")) != nullptr; }));
    const int32_t id = Schedule_File().rec().ID;
    auto* templates = w->findChild<QTableView*>("templates");
    ASSERT_TRUE(test::WaitFor([&] { return templates->model()->rowCount() == 1; }));
    templates->selectRow(0);
    test::Pump();
    ButtonText(w, "&Add template to script")->click();
    ASSERT_TRUE(test::WaitFor([&] { return ItemActions(id).size() == 2; }));
    ButtonText(w, "Cancel")->click();
    ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("New Script Task Wizard") == nullptr; }));
    EXPECT_TRUE(ItemActions(id).empty());
    Schedule_File().rec() = Schedule();
    Schedule_File().rec().ID = id;
    EXPECT_NE(Schedule_File().TryFetch("SCH:KeyID"), data::kLevelBenign);
}

TEST_F(ScriptWizardTest, HotKeyCancelRestoresTheItems) {
    // The key's existing task with two items.
    Schedule& t = Schedule_File().rec();
    t = Schedule();
    t.TaskType = "Hot Key";
    t.Category = "Hot Key";
    t.Description = "Hot Key Ctrl-F5";
    t.Command = "N/A";
    ASSERT_EQ(Schedule_File().Insert(), data::kLevelBenign);
    const int32_t id = t.ID;
    TextToScript("EXIT\r\nEXIT\r\n");
    ASSERT_EQ(ItemActions(id).size(), 2u);
    AddTemplate("One step", {"Exit Script"});

    int response = 0;
    ASSERT_TRUE(tasks::HasScriptWizardOpener());
    tasks::OpenScriptWizard(2, [&](int r) { response = r; });
    QWidget* w = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (w = WindowTitled("Hot Key Script Wizard")) != nullptr; }));
    // The script is edited on the Command page, and Next leads on.
    EXPECT_TRUE(ButtonText(w, "&Next")->isEnabled());
    auto* templates = w->findChild<QTableView*>("templates");
    ASSERT_TRUE(test::WaitFor([&] { return templates->model()->rowCount() == 1; }));
    templates->selectRow(0);
    test::Pump();
    ButtonText(w, "&Add template to script")->click();
    ASSERT_TRUE(test::WaitFor([&] { return ItemActions(id).size() == 3; }));
    ButtonText(w, "Cancel")->click();
    ASSERT_TRUE(test::WaitFor([&] { return response != 0; }));
    EXPECT_EQ(response, kRequestCancelled);
    EXPECT_EQ(ItemActions(id).size(), 2u);
    Schedule_File().rec() = Schedule();
    Schedule_File().rec().ID = id;
    EXPECT_EQ(Schedule_File().Fetch("SCH:KeyID"), data::kLevelBenign);
}

TEST_F(ScriptWizardTest, ScriptListAddsAPickedTemplate) {
    AddTemplate("Two steps", {"Exit Script", "Exit Script"});
    Schedule& t = Schedule_File().rec();
    t = Schedule();
    t.ID = 5;
    t.Description = "Weekly report";
    t.Command = "N/A";
    TextToScript("EXIT\r\n");
    scriptedit::BrowseScripting();
    QWidget* list = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (list = WindowTitled("Scripting - : Weekly report N/A")) != nullptr; }));
    ButtonText(list, "&Template")->click();
    QWidget* templates = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (templates = WindowTitled("Script Templates")) != nullptr; }));
    auto* view = templates->findChild<QTableView*>();
    ASSERT_TRUE(test::WaitFor([&] { return view->model()->rowCount() == 1; }));
    view->selectRow(0);
    test::Pump();
    ButtonText(templates, "&Select")->click();
    ASSERT_TRUE(test::WaitFor([&] { return ItemActions(5).size() == 3; }));
    EXPECT_EQ(WindowTitled("Script Templates"), nullptr);
}

}  // namespace
}  // namespace kr
