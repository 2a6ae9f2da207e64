// The template list offscreen over a real data file: a template made with
// its form.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QTableView>

#include "UiTestSupport.h"
#include "dictionary/Dictionary.h"
#include "platform/runtime/Services.h"
#include "platform/ui/ProcedureThread.h"
#include "scriptedit/ScriptTemplates.h"
#include "scriptedit/ScriptText.h"
#include "scriptedit/windows/ScriptWindows.h"
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

class ScriptTemplateWindowsTest : public test::RunnerFixture {
protected:
    void SetUp() override {
        RunnerFixture::SetUp();
        ASSERT_EQ(Schedule_File().Open(), data::kLevelBenign);
        ASSERT_EQ(Scripting_File().Open(), data::kLevelBenign);
        Schedule& t = Schedule_File().rec();
        t = Schedule();
        t.ID = 5;
        t.Category = "General";
        t.Description = "Weekly report";
        t.Command = "N/A";
        TextToScript("EXIT\r\n");
    }
    void TearDown() override {
        test::CloseAllWindows();
        Scripting_File().Close();
        Schedule_File().Close();
        RunnerFixture::TearDown();
    }
    ScriptedResponder responder_;
    ScopedMessageService messages_{&responder_};
};

TEST_F(ScriptTemplateWindowsTest, MadeInItsFormAndListed) {
    // The frame's "&Script Templates" starts it by name.
    scriptedit::RegisterScriptWindows();
    EXPECT_TRUE(IsProcedureRegistered("BrowseScriptTemplates"));
    scriptedit::BrowseScriptTemplates([](int) {});
    QWidget* list = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (list = WindowTitled("Script Templates")) != nullptr; }));
    EXPECT_EQ(scriptedit::GlobalScriptWizardMode(), 1);
    ButtonText(list, "&New")->click();
    QWidget* form = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (form = WindowTitled("Add a Script Template")) != nullptr; }));
    form->findChildren<QLineEdit*>()[0]->setText("Open the editor");
    ButtonText(form, "&OK")->click();
    auto* view = list->findChild<QTableView*>();
    ASSERT_TRUE(test::WaitFor([&] { return view->model()->rowCount() == 1; }));
    view->selectRow(0);
    test::Pump();
    ASSERT_EQ(WindowTitled("Script Templates"), list);
    ButtonText(list, "&Edit")->click();
    ASSERT_TRUE(test::WaitFor([&] { return (form = WindowTitled("Change a Script Template")) != nullptr; }));
    EXPECT_EQ(form->findChildren<QLineEdit*>()[0]->text(), "Open the editor");
    form->findChildren<QLineEdit*>()[1]->setText("/home/u/editor.krs");
    ButtonText(form, "&OK")->click();
    ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("Change a Script Template") == nullptr; }));
    ButtonText(list, "&Delete")->click();
    ASSERT_TRUE(test::WaitFor([&] { return (form = WindowTitled("Delete a Script Template")) != nullptr; }));
    EXPECT_EQ(form->findChildren<QLineEdit*>()[1]->text(), "/home/u/editor.krs");
    ButtonText(form, "&OK")->click();
    ASSERT_TRUE(test::WaitFor([&] { return view->model()->rowCount() == 0; }));
    ButtonText(list, "Cl&ose")->click();
    ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("Script Templates") == nullptr; }));
    EXPECT_EQ(scriptedit::GlobalScriptWizardMode(), 0);

}

}  // namespace
}  // namespace kr
