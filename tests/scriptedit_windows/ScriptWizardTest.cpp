// The script wizard offscreen over real data files: a new task filled from a
// template, the When page's reactions and required fields, view and delete
// of an existing task, and the hot-key mode's Cancel that must keep the key's
// script.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QLineEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>

#include "UiTestSupport.h"
#include "dictionary/Dictionary.h"
#include "platform/data/Database.h"
#include "platform/data/TableImpl.h"
#include "dictionary/Settings.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Services.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "scriptedit/ScriptText.h"
#include "scriptedit/TemplateTokens.h"
#include "scriptedit/windows/ScriptWindows.h"
#include "tasks/windows/TaskWindows.h"
#include "tests/runner/RunnerTestSupport.h"

namespace kr {
namespace {

using test::WindowTitled;
using test::ButtonText;

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
    // The new script task wizard, shown over the task it reserved (in the
    // task buffer).
    static QWidget* OpenNewWizard() {
        GlobalRequest() = 0;
        scriptedit::Wizard_Script();
        QWidget* w = nullptr;
        EXPECT_TRUE(test::WaitFor([&] { return (w = WindowTitled("New Script Task Wizard")) != nullptr; }));
        return w;
    }
    // Picks the wizard's only template and adds it to the script.
    static void AddTheTemplate(QWidget* w) {
        auto* templates = w->findChild<QTableView*>("templates");
        ASSERT_TRUE(test::WaitFor([&] { return templates->model()->rowCount() == 1; }));
        templates->selectRow(0);
        test::Pump();
        ButtonText(w, "&Add template to script")->click();
        // The items are added in the progress window.
        ASSERT_TRUE(test::WaitFor([] { return WindowTitled("Processing Records") == nullptr; }, 60000));
    }
    ScriptedResponder responder_;
    ScopedMessageService messages_{&responder_};
};

TEST_F(ScriptWizardTest, MakesARunProgramTaskFromATemplate) {
    AddTemplate("Two steps", {"Exit Script", "Exit Script"});
    EXPECT_TRUE(IsProcedureRegistered("Wizard:Script"));
    // No window has the template files open: the wizard's list must still
    // fetch the highlighted template.
    ScriptTemplateDetails_File().Close();
    ScriptTemplates_File().Close();
    // An answer of an earlier copy is asked again in a new wizard.
    TemplateAnswers::Global().Store("NAME", "Alice");
    QWidget* w = OpenNewWizard();
    EXPECT_FALSE(TemplateAnswers::Global().Find("Name"));
    ASSERT_NE(w, nullptr);
    const int32_t id = Schedule_File().rec().ID;
    ASSERT_NE(id, 0);
    auto* items = w->findChild<QTableView*>("items");
    // Enter goes on from the first page: Next, the default button, has the
    // focus rather than the template list.
    EXPECT_TRUE(test::WaitFor([&] { return ButtonText(w, "&Next")->hasFocus(); }));
    ASSERT_NO_FATAL_FAILURE(AddTheTemplate(w));
    ASSERT_TRUE(test::WaitFor([&] { return items->model()->rowCount() == 2; }));
    EXPECT_EQ(ItemActions(id).size(), 2u);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    ASSERT_EQ(w->focusWidget(), ButtonText(w, "&Next"));
    QApplication::sendEvent(w->focusWidget(), &enter);
    test::Pump();
    EXPECT_EQ(w->findChild<QStackedWidget*>()->currentIndex(), 1);
    // The last Monday of the month; Month End greys the day boxes at once.
    w->findChild<QAbstractButton*>("type2")->click();
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
    ASSERT_EQ(ScriptTemplates_File().Open(), data::kLevelBenign);
    ASSERT_EQ(ScriptTemplateDetails_File().Open(), data::kLevelBenign);
}

TEST_F(ScriptWizardTest, CancelLeavesNeitherTaskNorItems) {
    AddTemplate("Two steps", {"Exit Script", "Exit Script"});
    QWidget* w = OpenNewWizard();
    ASSERT_NE(w, nullptr);
    const int32_t id = Schedule_File().rec().ID;
    ASSERT_NO_FATAL_FAILURE(AddTheTemplate(w));
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
    ASSERT_NO_FATAL_FAILURE(AddTheTemplate(w));
    ASSERT_TRUE(test::WaitFor([&] { return ItemActions(id).size() == 3; }));
    ButtonText(w, "Cancel")->click();
    ASSERT_TRUE(test::WaitFor([&] { return response != 0; }));
    EXPECT_EQ(response, kRequestCancelled);
    EXPECT_EQ(ItemActions(id).size(), 2u);
    Schedule_File().rec() = Schedule();
    Schedule_File().rec().ID = id;
    EXPECT_EQ(Schedule_File().Fetch("SCH:KeyID"), data::kLevelBenign);
}

// An existing task with a two-item script, for view and delete.
int32_t AddScriptTask(const char* description) {
    Schedule& t = Schedule_File().rec();
    t = Schedule();
    t.TaskType = "Run Program";
    t.Command = "N/A";
    t.Category = "General";
    t.Description = description;
    t.ScheduleType = "Day of Week";
    t.Monday = 1;
    t.Date = Today();
    t.Time = 100;
    EXPECT_EQ(Schedule_File().Insert(), data::kLevelBenign);
    const int32_t id = t.ID;
    TextToScript("EXIT\r\nEXIT\r\n");
    return id;
}

bool TaskExists(int32_t id) {
    Schedule_File().rec() = Schedule();
    Schedule_File().rec().ID = id;
    return Schedule_File().TryFetch("SCH:KeyID") == data::kLevelBenign;
}

TEST_F(ScriptWizardTest, WhenPageOrdinalsRepeatWarningAndRequiredFields) {
    QWidget* w = OpenNewWizard();
    ASSERT_NE(w, nullptr);
    const int32_t id = Schedule_File().rec().ID;
    auto* pages = w->findChild<QStackedWidget*>("pages");
    auto* picture = w->findChild<QLabel*>("picture");
    ASSERT_NE(picture, nullptr);
    ButtonText(w, "&Next")->click();
    ASSERT_EQ(pages->currentIndex(), 1);
    auto child = [w](const char* name) { return w->findChild<QWidget*>(name); };
    auto click = [w](const char* name) {
        w->findChild<QAbstractButton*>(name)->click();
        test::Pump();
    };
    auto enter = [w](const char* name, const QString& text) {
        auto* e = w->findChild<QLineEdit*>(name);
        e->setText(text);
        e->setModified(true);  // as typing leaves it
        emit e->editingFinished();
        test::Pump();
    };

    // Day of Month: the ordinals and Month End show; Month End greys every
    // other box and stays enabled itself.
    click("type2");
    EXPECT_TRUE(child("1st")->isVisibleTo(w));
    EXPECT_TRUE(child("monthEnd")->isVisibleTo(w));
    click("monthEnd");
    for (const char* name : {"1st", "Last", "Monday", "Sunday"}) EXPECT_FALSE(child(name)->isEnabled()) << name;
    EXPECT_TRUE(child("monthEnd")->isEnabled());
    click("monthEnd");
    for (const char* name : {"1st", "Last", "Monday"}) EXPECT_TRUE(child(name)->isEnabled()) << name;

    // Monthly: Repeat and the offset, enabled only for a twice-monthly repeat.
    click("type3");
    auto* repeat = w->findChild<QComboBox*>("repeat");
    EXPECT_TRUE(repeat->isVisibleTo(w));
    EXPECT_EQ(repeat->currentText(), "Once");
    EXPECT_FALSE(child("offset")->isEnabled());
    repeat->setCurrentIndex(1);
    emit repeat->activated(1);
    test::Pump();
    EXPECT_TRUE(child("offset")->isEnabled());
    repeat->setCurrentIndex(0);
    emit repeat->activated(0);
    test::Pump();
    EXPECT_FALSE(child("offset")->isEnabled());
    EXPECT_FALSE(child("Monday")->isVisibleTo(w));

    // A warning after the task is refused and cleared.
    click("type0");
    const QString date = w->findChild<QLineEdit*>("date")->text();
    enter("warnDate", w->findChild<QLineEdit*>("date")->text());
    enter("warnTime", "11:59PM");
    ASSERT_FALSE(responder_.shown().empty());
    EXPECT_EQ(responder_.shown().back().request.text, "Advanced Warning cannot be after scheduled task.");
    EXPECT_TRUE(w->findChild<QLineEdit*>("warnDate")->text().isEmpty());
    EXPECT_TRUE(w->findChild<QLineEdit*>("warnTime")->text().isEmpty());

    // No next date: the default warning has nothing to go by and stays
    // off; Finish names the date and brings its page back.
    PutIniValue(Options().ININame.get(), "Warning", "Active", "1");
    PutIniValue(Options().ININame.get(), "Warning", "Date", "1");
    enter("date", "");
    EXPECT_TRUE(w->findChild<QLineEdit*>("warnDate")->text().isEmpty());
    ButtonText(w, "&Next")->click();
    EXPECT_EQ(picture->isVisible(), !picture->pixmap().isNull());
    ButtonText(w, "&Next")->click();
    ASSERT_EQ(pages->currentIndex(), 3);
    const size_t before = responder_.shown().size();
    ButtonText(w, "&Finish")->click();
    test::Pump();
    ASSERT_GT(responder_.shown().size(), before);
    EXPECT_EQ(responder_.shown().back().request.text, "\"Next Date to Perform Task\" must be entered.");
    EXPECT_EQ(responder_.shown().back().request.title, "Missing Information");
    EXPECT_EQ(pages->currentIndex(), 1);
    EXPECT_FALSE(picture->isVisible());
    EXPECT_FALSE(ButtonText(w, "&Finish")->isEnabled());
    ASSERT_NE(WindowTitled("New Script Task Wizard"), nullptr);
    enter("date", date);
    ButtonText(w, "&Next")->click();
    ButtonText(w, "&Next")->click();
    ButtonText(w, "&Finish")->click();
    ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("New Script Task Wizard") == nullptr; }));
    ASSERT_TRUE(TaskExists(id));
    EXPECT_EQ(Trim(Schedule_File().rec().ScheduleType.str()), "Once");
    // The date given again brings the default warning a day ahead.
    EXPECT_EQ(Schedule_File().rec().AdvanceWarnDate, Today() - 1);
}

TEST_F(ScriptWizardTest, ItemsGoAfterTheHighlightedOneAndTemplatesAtTheEnd) {
    AddTemplate("Two exits", {"Exit Script", "Exit Script"});
    QWidget* w = OpenNewWizard();
    ASSERT_NE(w, nullptr);
    const int32_t id = Schedule_File().rec().ID;
    auto* templates = w->findChild<QTableView*>("templates");
    auto* items = w->findChild<QTableView*>("items");
    ASSERT_TRUE(test::WaitFor([&] { return templates->model()->rowCount() == 1; }));
    templates->selectRow(0);
    test::Pump();
    for (int rows : {2, 4}) {
        ButtonText(w, "&Add template to script")->click();
        ASSERT_TRUE(test::WaitFor([&] { return items->model()->rowCount() == rows; }));
    }
    // A new item with the second of four highlighted becomes the third.
    items->selectRow(1);
    test::Pump();
    ButtonText(w, "Add")->click();
    QWidget* form = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (form = WindowTitled("New Script Action")) != nullptr; }));
    qobject_cast<QRadioButton*>(ButtonText(form, "Set Value"))->click();
    form->findChild<QTabWidget*>()->currentWidget()->findChildren<QLineEdit*>()[0]->setText("new");
    ButtonText(form, "&OK")->click();
    const std::vector<std::string> placed = {"Exit Script", "Exit Script", "Set Value", "Exit Script", "Exit Script"};
    EXPECT_TRUE(test::WaitFor([&] { return ItemActions(id) == placed; })) << ::testing::PrintToString(ItemActions(id));
    // The template goes after the last item, whatever is highlighted.
    items->selectRow(0);
    test::Pump();
    ButtonText(w, "&Add template to script")->click();
    ASSERT_TRUE(test::WaitFor([&] { return ItemActions(id).size() == 7; }));
    EXPECT_EQ(ItemActions(id)[2], "Set Value");
    ButtonText(w, "Cancel")->click();
    ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("New Script Task Wizard") == nullptr; }));
    EXPECT_TRUE(ItemActions(id).empty());
}

TEST_F(ScriptWizardTest, TemplateItemsAreAddedInTheProgressWindowAndAFailedOneIsShown) {
    AddTemplate("Three steps", {"Exit Script", "Set Value", "Exit Script"});
    QWidget* w = OpenNewWizard();
    ASSERT_NE(w, nullptr);
    const int32_t id = Schedule_File().rec().ID;
    // The data file refuses the middle item.
    ASSERT_EQ(Scripting_File().UseFile(), 0);
    auto db = Scripting_File().File().impl().database();
    const std::string stored = ScriptingDef().storedAs;
    ASSERT_EQ(db->Exec("CREATE TEMP TRIGGER fail_add BEFORE INSERT ON main.\"" + stored.substr(stored.find("\\!") + 2) +
                       "\" WHEN new.Action = 'Set Value' BEGIN SELECT RAISE(ABORT, 'injected failure'); END"),
              0);
    auto* templates = w->findChild<QTableView*>("templates");
    ASSERT_TRUE(test::WaitFor([&] { return templates->model()->rowCount() == 1; }));
    templates->selectRow(0);
    test::Pump();
    ButtonText(w, "&Add template to script")->click();
    // The window stays with the failure until it is read.
    QWidget* progress = nullptr;
    QAbstractButton* close = nullptr;
    ASSERT_TRUE(test::WaitFor(
        [&] {
            progress = WindowTitled("Processing Records");
            return progress && (close = ButtonText(progress, "Cl&ose")) != nullptr && close->isVisible();
        },
        60000));
    auto* errors = progress->findChild<QListWidget*>("errors");
    ASSERT_EQ(errors->count(), 1);
    EXPECT_EQ(errors->item(0)->text().left(24), "Error adding script item");
    close->click();
    auto* items = w->findChild<QTableView*>("items");
    ASSERT_TRUE(test::WaitFor([&] { return items->model()->rowCount() == 2; }));
    EXPECT_EQ(ItemActions(id), (std::vector<std::string>{"Exit Script", "Exit Script"}));
    ASSERT_EQ(db->Exec("DROP TRIGGER fail_add"), 0);
    ButtonText(w, "Cancel")->click();
    ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("New Script Task Wizard") == nullptr; }));
}

TEST_F(ScriptWizardTest, ViewShowsTheTaskReadOnlyAndCloseChangesNothing) {
    const int32_t id = AddScriptTask("Nightly clean-up");
    GlobalRequest() = kViewRecord;
    int response = 0;
    scriptedit::Wizard_Script([&](int r) { response = r; });
    QWidget* w = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (w = WindowTitled("View Script Task Wizard")) != nullptr; }));
    auto* finish = w->findChild<QAbstractButton*>("finish");
    auto* close = w->findChild<QAbstractButton*>("cancel");
    EXPECT_EQ(close->text(), "Cl&ose");
    EXPECT_TRUE(test::WaitFor([&] { return close->hasFocus(); }));
    EXPECT_FALSE(ButtonText(w, "Add")->isEnabled());
    EXPECT_FALSE(ButtonText(w, "Delete All")->isEnabled());
    // Every page stays read-only; Finish stays hidden.
    for (int page = 1; page <= 3; ++page) {
        ButtonText(w, "&Next")->click();
        test::Pump();
        EXPECT_FALSE(finish->isVisible()) << page;
        EXPECT_FALSE(finish->isEnabled()) << page;
        EXPECT_TRUE(close->hasFocus()) << page;
    }
    EXPECT_TRUE(w->findChild<QLineEdit*>("description")->isReadOnly());
    EXPECT_EQ(w->findChild<QLineEdit*>("description")->text(), "Nightly clean-up");
    EXPECT_FALSE(w->findChild<QCheckBox*>("alarm")->isEnabled());
    EXPECT_FALSE(w->findChild<QAbstractButton*>("wavBrowse")->isEnabled());
    close->click();
    ASSERT_TRUE(test::WaitFor([&] { return response != 0; }));
    EXPECT_EQ(response, kRequestCancelled);
    EXPECT_EQ(ItemActions(id).size(), 2u);
    ASSERT_TRUE(TaskExists(id));
    EXPECT_EQ(Trim(Schedule_File().rec().Description.str()), "Nightly clean-up");
    EXPECT_EQ(Schedule_File().rec().Monday, 1);
}

TEST_F(ScriptWizardTest, DeleteShowsTheTaskReadOnlyAndFinishRemovesItWithItsScript) {
    const int32_t id = AddScriptTask("Old job");
    GlobalRequest() = kDeleteRecord;
    scriptedit::Wizard_Script();
    QWidget* w = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (w = WindowTitled("Edit Script Task Wizard")) != nullptr; }));
    auto* cancel = w->findChild<QAbstractButton*>("cancel");
    EXPECT_EQ(cancel->text(), "Cancel");
    EXPECT_TRUE(test::WaitFor([&] { return cancel->hasFocus(); }));
    EXPECT_TRUE(w->findChild<QLineEdit*>("description")->isReadOnly());
    EXPECT_FALSE(ButtonText(w, "Add")->isEnabled());
    // Cancel keeps task and script.
    cancel->click();
    ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("Edit Script Task Wizard") == nullptr; }));
    EXPECT_TRUE(TaskExists(id));
    EXPECT_EQ(ItemActions(id).size(), 2u);

    GlobalRequest() = kDeleteRecord;
    scriptedit::Wizard_Script();
    ASSERT_TRUE(test::WaitFor([&] { return (w = WindowTitled("Edit Script Task Wizard")) != nullptr; }));
    for (int i = 0; i < 3; ++i) ButtonText(w, "&Next")->click();
    auto* finish = w->findChild<QAbstractButton*>("finish");
    EXPECT_TRUE(finish->isVisible());
    finish->click();
    ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("Edit Script Task Wizard") == nullptr; }))
        << [&] {
               std::string all;
               for (const auto& m : responder_.shown()) all += m.request.title + ": " + m.request.text + "\n";
               return all;
           }();
    EXPECT_FALSE(TaskExists(id));
    EXPECT_TRUE(ItemActions(id).empty());
}

TEST_F(ScriptWizardTest, AlarmBoxTakesTheProgramIniFileAndTheWavFieldKeepsItsOwnInTheSettings) {
    const std::string ini = Options().ININame.get();
    PutIniValue(ini, "Settings", "LastWAVFile", "/sounds/ini.wav");
    PutSetting("LastWAVFile", "/sounds/store.wav");
    QWidget* w = OpenNewWizard();
    ASSERT_NE(w, nullptr);
    for (int i = 0; i < 3; ++i) ButtonText(w, "&Next")->click();
    auto* wav = w->findChild<QLineEdit*>("wavFile");
    EXPECT_FALSE(wav->isEnabled());
    // Ticking the alarm fills the empty file from the program INI.
    w->findChild<QAbstractButton*>("alarm")->click();
    test::Pump();
    EXPECT_TRUE(wav->isEnabled());
    EXPECT_EQ(wav->text(), "/sounds/ini.wav");
    // A file typed into the field becomes the settings store's last file;
    // the program INI keeps its own.
    wav->setText("/sounds/typed.wav");
    wav->setModified(true);
    emit wav->editingFinished();
    test::Pump();
    EXPECT_EQ(GetSetting("LastWAVFile", "", ini), "/sounds/typed.wav");
    EXPECT_EQ(GetIniValue(ini, "Settings", "LastWAVFile", ""), "/sounds/ini.wav");
    // Emptied and left, the field takes the store's file back.
    wav->setText("");
    wav->setModified(true);
    emit wav->editingFinished();
    test::Pump();
    EXPECT_EQ(wav->text(), "/sounds/typed.wav");
    ButtonText(w, "Cancel")->click();
    ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("New Script Task Wizard") == nullptr; }));
}

TEST_F(ScriptWizardTest, ScriptListAddsAPickedTemplate) {
    AddTemplate("Two steps", {"Exit Script", "Exit Script"});
    Schedule& t = Schedule_File().rec();
    t = Schedule();
    t.ID = 5;
    t.Description = "Weekly report";
    t.Command = "N/A";
    TextToScript("EXIT\r\n");
    // No window has the template files open: Select must still fetch the
    // highlighted template.
    ScriptTemplateDetails_File().Close();
    ScriptTemplates_File().Close();
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
    ASSERT_EQ(ScriptTemplates_File().Open(), data::kLevelBenign);
    ASSERT_EQ(ScriptTemplateDetails_File().Open(), data::kLevelBenign);
}

}  // namespace
}  // namespace kr
