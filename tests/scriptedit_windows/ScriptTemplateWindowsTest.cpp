// The template list offscreen over a real data file: a template made with
// its form; its items made, changed, ordered and deleted with the item form
// and cleared, without touching a task's items; the printed template.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>

#include "PrintedText.h"
#include "ScriptWindowsFixture.h"
#include "UiTestSupport.h"
#include "dictionary/Dictionary.h"
#include "platform/data/Database.h"
#include "platform/data/TableImpl.h"
#include "dictionary/Settings.h"
#include "platform/runtime/Services.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/ReportPreview.h"
#include "platform/ui/Requests.h"
#include "scriptedit/ScriptItems.h"
#include "scriptedit/ScriptSequencer.h"
#include "scriptedit/ScriptTemplates.h"
#include "scriptedit/ScriptText.h"
#include "scriptedit/windows/ScriptWindows.h"
#include "tasks/windows/TaskWindows.h"
#include "tests/runner/RunnerTestSupport.h"

namespace kr {
namespace {

using test::WindowTitled;
using test::ButtonText;

class ScriptTemplateWindowsTest : public test::ScriptWindowsTest {
protected:
    void SetUp() override {
        ScriptWindowsTest::SetUp();
        TextToScript("EXIT\r\n");
        ASSERT_EQ(ScriptTemplates_File().Open(), data::kLevelBenign);
        ASSERT_EQ(ScriptTemplateDetails_File().Open(), data::kLevelBenign);
    }
    void TearDown() override {
        test::CloseAllWindows();
        tasks::SetFileChooser(nullptr);
        scriptedit::SetMessageChooser(nullptr);
        ScriptTemplateDetails_File().Close();
        ScriptTemplates_File().Close();
        ScriptWindowsTest::TearDown();
    }
    // A template with items of the given actions, stored directly.
    int32_t MakeTemplate(const std::string& description, const std::vector<std::string>& actions) {
        ScriptTemplates_File().rec() = ScriptTemplates();
        ScriptTemplates_File().rec().Description = description;
        EXPECT_EQ(ScriptTemplates_File().Insert(), data::kLevelBenign);
        const int32_t wiz = ScriptTemplates_File().rec().Wiz_ID;
        for (const std::string& a : actions) {
            ScriptTemplateDetails d;
            d.Wiz_ID = wiz;
            d.Action = a;
            d.Path = a == "Set Value" ? "NAME" : "";
            d.Command = a + " command";
            EXPECT_EQ(InsertTemplateItemNumbered(d), 0);
        }
        return wiz;
    }
    // The template's items as "sequence:action" in order.
    static std::string Shown(int32_t wiz) {
        std::string out;
        for (const ScriptTemplateDetails& d : ReadTemplateItems(wiz))
            out += std::to_string(d.Sequence) + ":" + d.Action.str() + " ";
        return out;
    }
    QWidget* OpenList() {
        scriptedit::BrowseScriptTemplates([](int) {});
        QWidget* list = nullptr;
        EXPECT_TRUE(test::WaitFor([&] { return (list = WindowTitled("Script Templates")) != nullptr; }));
        return list;
    }
    // The template form from the list's button, over its highlighted row.
    QWidget* OpenForm(QWidget* list, const QString& button, const QString& title, int row = 0) {
        if (row >= 0) list->findChild<QTableView*>()->selectRow(row);
        test::Pump();
        ButtonText(list, button)->click();
        QWidget* form = nullptr;
        EXPECT_TRUE(test::WaitFor([&] { return (form = WindowTitled(title)) != nullptr; }));
        return form;
    }
    // The item form from one of the template form's item buttons.
    QWidget* OpenItem(QWidget* form, const QString& button, const QString& title, int row = -1) {
        if (row >= 0) form->findChild<QTableView*>()->selectRow(row);
        test::Pump();
        ButtonText(form, button)->click();
        QWidget* item = nullptr;
        EXPECT_TRUE(test::WaitFor([&] { return (item = WindowTitled(title)) != nullptr; }));
        return item;
    }
    // A button of the item form's current tab (several tabs have "&Browse"
    // and "Advanced").
    static QAbstractButton* TabButton(QWidget* item, const QString& text) {
        return ButtonText(item->findChild<QTabWidget*>()->currentWidget(), text);
    }
    static QLineEdit* Entry(QWidget* item, int n) {
        return item->findChild<QTabWidget*>()->currentWidget()->findChildren<QLineEdit*>()[n];
    }
    static void Close(QWidget* w, const QString& button = "&OK") {
        const QString title = w->windowTitle();
        ButtonText(w, button)->click();
        EXPECT_TRUE(test::WaitFor([&] { return WindowTitled(title) == nullptr; })) << title.toStdString();
        test::Pump();
    }
};

TEST_F(ScriptTemplateWindowsTest, MadeInItsFormAndListed) {
    // The frame's "&Script Templates" starts it by name.
    scriptedit::RegisterScriptWindows();
    EXPECT_TRUE(IsProcedureRegistered("BrowseScriptTemplates"));
    scriptedit::BrowseScriptTemplates([](int) {});
    QWidget* list = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (list = WindowTitled("Script Templates")) != nullptr; }));
    EXPECT_EQ(scriptedit::GlobalScriptWizardMode(), 1);
    EXPECT_FALSE(ButtonText(list, "Cop&y")->isEnabled());
    ButtonText(list, "&New")->click();
    QWidget* form = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (form = WindowTitled("New Script Template")) != nullptr; }));
    form->findChildren<QLineEdit*>()[0]->setText("Open the editor");
    ButtonText(form, "&OK")->click();
    auto* view = list->findChild<QTableView*>();
    ASSERT_TRUE(test::WaitFor([&] { return view->model()->rowCount() == 1; }));
    view->selectRow(0);
    test::Pump();
    ASSERT_EQ(WindowTitled("Script Templates"), list);
    ButtonText(list, "&Edit")->click();
    ASSERT_TRUE(test::WaitFor([&] { return (form = WindowTitled("Edit Script Template")) != nullptr; }));
    EXPECT_EQ(form->findChildren<QLineEdit*>()[0]->text(), "Open the editor");
    form->findChildren<QLineEdit*>()[1]->setText("/home/u/editor.krs");
    ButtonText(form, "&OK")->click();
    ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("Edit Script Template") == nullptr; }));
    // Copy makes a new template primed with the highlighted one.
    ASSERT_TRUE(ButtonText(list, "Cop&y")->isEnabled());
    ButtonText(list, "Cop&y")->click();
    ASSERT_TRUE(test::WaitFor([&] { return (form = WindowTitled("New Script Template")) != nullptr; }));
    EXPECT_EQ(form->findChildren<QLineEdit*>()[1]->text(), "/home/u/editor.krs");
    ButtonText(form, "Cancel")->click();
    ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("New Script Template") == nullptr; }));
    EXPECT_EQ(view->model()->rowCount(), 1);
    view->selectRow(0);
    test::Pump();
    ButtonText(list, "&Delete")->click();
    ASSERT_TRUE(test::WaitFor([&] { return (form = WindowTitled("Delete Script Template")) != nullptr; }));
    EXPECT_EQ(form->findChildren<QLineEdit*>()[1]->text(), "/home/u/editor.krs");
    ButtonText(form, "&OK")->click();
    ASSERT_TRUE(test::WaitFor([&] { return view->model()->rowCount() == 0; }));
    ButtonText(list, "Cl&ose")->click();
    ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("Script Templates") == nullptr; }));
    EXPECT_EQ(scriptedit::GlobalScriptWizardMode(), 0);

}

TEST_F(ScriptTemplateWindowsTest, ItemsAreMadeChangedOrderedAndDeletedInTheItemFormOfANewTemplate) {
    // What the task's item buffer holds must not change while a template's
    // items are edited.
    Scripting taskItem = Item("Start Program");
    taskItem.ID = 5;
    taskItem.Command = "/usr/bin/task-own";
    Scripting_File().rec() = taskItem;
    std::vector<std::string> dialogs;
    tasks::SetFileChooser([&](QWidget*, const std::string& title, const std::string&, const QStringList&) {
        dialogs.push_back(title);
        return std::optional<std::string>("/opt/tools/editor");
    });
    QWidget* list = OpenList();
    QWidget* form = OpenForm(list, "&New", "New Script Template", -1);
    // An item needs a description first: the template is stored for it.
    ButtonText(form, "&New")->click();
    test::Pump();
    ASSERT_FALSE(responder_.shown().empty());
    EXPECT_EQ(responder_.shown().back().request.text, "Description must be entered.");
    EXPECT_EQ(WindowTitled("New Script Action"), nullptr);
    form->findChildren<QLineEdit*>()[0]->setText("Open the editor");

    // A Start Program item: the program dialog and the options fill the
    // template's item.
    QWidget* item = OpenItem(form, "&New", "New Script Action");
    qobject_cast<QRadioButton*>(ButtonText(item, "Start Program"))->click();
    TabButton(item, "&Browse")->click();
    test::Pump();
    ASSERT_EQ(dialogs, std::vector<std::string>{"Select a Program"});
    EXPECT_EQ(Entry(item, 0)->text(), "/opt/tools/editor");
    EXPECT_EQ(Entry(item, 1)->text(), "/opt/tools");
    TabButton(item, "Advanced")->click();
    QWidget* advanced = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (advanced = WindowTitled("Advanced...")) != nullptr; }));
    advanced->findChildren<QCheckBox*>()[0]->click();
    Close(advanced);
    Close(item);
    const int32_t wiz = ScriptTemplates_File().rec().Wiz_ID;
    ASSERT_NE(wiz, 0);
    ASSERT_EQ(Shown(wiz), "1:Start Program ");

    item = OpenItem(form, "&New", "New Script Action");
    Entry(item, 0)->setText("abc");
    Close(item);
    // A new item goes after the highlighted one.
    item = OpenItem(form, "&New", "New Script Action", 0);
    qobject_cast<QRadioButton*>(ButtonText(item, "Set Value"))->click();
    Entry(item, 0)->setText("NAME");
    Close(item);
    ASSERT_TRUE(test::WaitFor([&] { return Shown(wiz) == "1:Start Program 2:Set Value 3:Send Keys "; })) << Shown(wiz);

    item = OpenItem(form, "&Edit", "Edit Script Action", 2);
    EXPECT_EQ(Entry(item, 0)->text(), "abc");
    Entry(item, 0)->setText("xyz");
    Close(item);
    // The moves and a delete, which closes the gap.
    form->findChild<QTableView*>()->selectRow(2);
    test::Pump();
    ButtonText(form, "Top")->click();
    test::Pump();
    EXPECT_EQ(Shown(wiz), "1:Send Keys 2:Start Program 3:Set Value ");
    responder_.Answer(kButtonYes);
    item = OpenItem(form, "De&lete", "Delete Script Action", 1);
    Close(item);
    ASSERT_TRUE(test::WaitFor([&] { return Shown(wiz) == "1:Send Keys 2:Set Value "; })) << Shown(wiz);
    Close(form);

    // The template is listed once, with its items as they were edited.
    auto* view = list->findChild<QTableView*>();
    ASSERT_TRUE(test::WaitFor([&] { return view->model()->rowCount() == 1; }));
    const std::vector<ScriptTemplateDetails> items = ReadTemplateItems(wiz);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Keystrokes, "xyz");
    EXPECT_EQ(items[0].NetworkUser.str(), Options().UserID.get());
    EXPECT_NE(items[0].LastChangeDate, 0);
    EXPECT_EQ(items[1].Path, "NAME");

    // The Start Program item, before it was deleted, carried the chosen
    // program and "wait for program end"; made again in a second template
    // it is checked in the table.
    QWidget* second = OpenForm(list, "&New", "New Script Template", -1);
    second->findChildren<QLineEdit*>()[0]->setText("Start the editor");
    item = OpenItem(second, "&New", "New Script Action");
    qobject_cast<QRadioButton*>(ButtonText(item, "Start Program"))->click();
    TabButton(item, "&Browse")->click();
    test::Pump();
    TabButton(item, "Advanced")->click();
    ASSERT_TRUE(test::WaitFor([&] { return (advanced = WindowTitled("Advanced...")) != nullptr; }));
    advanced->findChildren<QCheckBox*>()[0]->click();
    Close(advanced);
    Close(item);
    const int32_t wiz2 = ScriptTemplates_File().rec().Wiz_ID;
    const std::vector<ScriptTemplateDetails> started = ReadTemplateItems(wiz2);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].Command, "/opt/tools/editor");
    EXPECT_EQ(started[0].Path, "/opt/tools");
    EXPECT_EQ(started[0].DDEApplicationName.str().substr(0, 1), "1");
    // Cancel removes the new template again, with its item.
    Close(second, "Cancel");
    EXPECT_TRUE(ReadTemplateItems(wiz2).empty());
    ASSERT_TRUE(test::WaitFor([&] { return view->model()->rowCount() == 1; }));

    // Nothing reached the task: its buffer and its one item are as they were.
    EXPECT_EQ(Scripting_File().rec().Command, "/usr/bin/task-own");
    EXPECT_EQ(ScriptToText(), "EXIT\r\n");
}

TEST_F(ScriptTemplateWindowsTest, ClearAllAndAChosenMessageKeepToTheEditorsOwnItems) {
    const int32_t wiz = MakeTemplate("Mail the report", {"Send Email", "Set Value"});
    scriptedit::SetMessageChooser([](QWidget*, std::function<void(std::optional<scriptedit::ChosenMessage>)> chosen) {
        chosen(scriptedit::ChosenMessage{42, "Weekly report   ", "boss@example.com"});
    });
    Scripting_File().rec() = Item("Send Email");
    QWidget* list = OpenList();
    QWidget* form = OpenForm(list, "&Edit", "Edit Script Template");
    QWidget* item = OpenItem(form, "&Edit", "Edit Script Action", 0);
    ButtonText(item, "Select &Message")->click();
    test::Pump();
    Close(item);
    ScriptTemplateDetails mail = ReadTemplateItems(wiz)[0];
    EXPECT_EQ(mail.EmailID, 42);
    EXPECT_EQ(mail.WindowTitleToCheckFor, "Weekly report - boss@example.com");
    EXPECT_EQ(Scripting_File().rec().EmailID, 0);

    // No keeps the items; Yes deletes the template's and not the task's.
    responder_.Answer(kButtonNo);
    ButtonText(form, "Clear")->click();
    test::Pump();
    EXPECT_EQ(ReadTemplateItems(wiz).size(), 2u);
    // A delete failing half-way shows in the progress window and keeps the
    // item not reached.
    ASSERT_EQ(ScriptTemplateDetails_File().UseFile(), 0);
    auto db = ScriptTemplateDetails_File().File().impl().database();
    const std::string stored = ScriptTemplateDetailsDef().storedAs;
    ASSERT_EQ(db->Exec("CREATE TEMP TRIGGER fail_delete BEFORE DELETE ON main.\"" +
                       stored.substr(stored.find("\\!") + 2) +
                       "\" WHEN old.Action = 'Set Value' BEGIN SELECT RAISE(ABORT, 'injected failure'); END"),
              0);
    responder_.Answer(kButtonYes);
    ButtonText(form, "Clear")->click();
    QWidget* progress = nullptr;
    QAbstractButton* close = nullptr;
    ASSERT_TRUE(test::WaitFor([&] {
        progress = WindowTitled("Processing Records");
        return progress && (close = ButtonText(progress, "Cl&ose")) != nullptr && close->isVisible();
    }));
    EXPECT_EQ(progress->findChild<QListWidget*>("errors")->count(), 1);
    close->click();
    ASSERT_TRUE(test::WaitFor([&] { return form->findChild<QTableView*>()->model()->rowCount() == 1; }));
    EXPECT_EQ(Shown(wiz), "2:Set Value ");
    ASSERT_EQ(db->Exec("DROP TRIGGER fail_delete"), 0);
    responder_.Answer(kButtonYes);
    ButtonText(form, "Clear")->click();
    ASSERT_TRUE(test::WaitFor([&] { return ReadTemplateItems(wiz).empty(); }));
    // The list refills once the progress window has closed.
    EXPECT_TRUE(test::WaitFor([&] { return form->findChild<QTableView*>()->model()->rowCount() == 0; }));
    EXPECT_TRUE(test::WaitFor([&] { return !ButtonText(form, "Clear")->isEnabled(); }));
    EXPECT_EQ(ScriptToText(), "EXIT\r\n");
    Close(form);

    // While the template list is open, a task's script list clears and adds
    // the task's items only.
    const int32_t other = MakeTemplate("Kept", {"Send Keys"});
    ASSERT_EQ(scriptedit::GlobalScriptWizardMode(), 1);
    scriptedit::BrowseScripting();
    QWidget* script = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (script = WindowTitled("Scripting - General: Weekly report N/A")) != nullptr; }));
    responder_.Answer(kButtonYes);
    ButtonText(script, "Clear")->click();
    ASSERT_TRUE(test::WaitFor([&] { return ScriptToText().empty(); }));
    item = OpenItem(script, "&New", "New Script Action");
    Entry(item, 0)->setText("typed");
    Close(item);
    EXPECT_EQ(ScriptToText(), "KEYS typed\r\n");
    EXPECT_EQ(Shown(other), "1:Send Keys ");
}

TEST_F(ScriptTemplateWindowsTest, ThePrintedTemplateListsItsItemsInOrder) {
    const int32_t wiz = MakeTemplate("Nightly copy", {"Set Value", "Start Program", "Exit Script"});
    MakeTemplate("Other template", {"Send Keys"});
    const std::string text = test::PrintedText(scriptedit::MakeScriptTemplateReport(wiz, "Nightly copy"),
                                               (dir_ / "template.pdf").string(), responder_);
    EXPECT_NE(text.find("Nightly copy"), std::string::npos) << text;
    std::size_t at = text.find("Details");
    ASSERT_NE(at, std::string::npos) << text;
    for (const ScriptTemplateDetails& d : ReadTemplateItems(wiz)) {
        const std::size_t line = text.find(d.Action.str(), at);
        ASSERT_NE(line, std::string::npos) << d.Action.str() << "\n" << text;
        const std::string details = DescribeScriptItem(ScriptItemOfTemplate(d)).substr(0, 20);
        EXPECT_NE(text.find(details, line), std::string::npos) << details << "\n" << text;
        at = line;
    }
    EXPECT_EQ(text.find("Send Keys"), std::string::npos) << text;
}

}  // namespace
}  // namespace kr
