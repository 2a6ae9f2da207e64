// The hot-key list and form over a real data file, offscreen: the key text
// built from the boxes and split back, the description taken from the key,
// a key without a key name or too long for its field refused, the delete
// flow with the key's task.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include "../ui/UiTestSupport.h"
#include "dictionary/Dictionary.h"
#include "dictionary/OpenTable.h"
#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "organiser/windows/HotKeyWindows.h"
#include "platform/data/Table.h"
#include "platform/runtime/Services.h"
#include "platform/ui/FieldHistory.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "scriptedit/windows/ScriptWindows.h"

namespace kr::test {
namespace {

class HotKeyWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        data::SetKeyDerivationIterations(64);
        InstallMessageService(&responder_);
        DictionaryInit();
        ASSERT_EQ(OpenTable(ConfigurationDef()), 0);
    }
    void TearDown() override {
        CloseAllWindows();
        data::TableOf(ConfigurationDef()).Close();
        DictionaryKill();
        data::CloseIdleFiles();
        InstallMessageService(nullptr);
        data::SetKeyDerivationIterations(0);
    }
    static data::Table& Keys() { return data::TableOf(SysHotKeysDef()); }
    static data::Table& Tasks() { return data::TableOf(ScheduleDef()); }

    void AddKey(const std::string& key, const std::string& action, int32_t task = 0) {
        ASSERT_EQ(OpenTable(Keys()), 0);
        SysHotKeys& r = Keys().Rec<SysHotKeys>();
        r = SysHotKeys();
        r.HotKey = key;
        r.Active = 1;
        r.Action = action;
        r.Description = "about " + key;
        r.ID = task;
        ASSERT_EQ(Keys().Add(), 0);
        Keys().Close();
    }
    int32_t AddTask(const std::string& category) {
        EXPECT_EQ(OpenTable(Tasks()), 0);
        Schedule& s = Tasks().Rec<Schedule>();
        s = Schedule();
        s.ID = static_cast<int32_t>(Tasks().Records()) + 1;
        s.Description = "task";
        s.Category = category;
        EXPECT_EQ(Tasks().Add(), 0);
        const int32_t id = s.ID;
        Tasks().Close();
        return id;
    }
    int64_t Count(data::Table& t) {
        EXPECT_EQ(OpenTable(t), 0);
        const int64_t n = t.Records();
        t.Close();
        return n;
    }
    BrowseHotKeysWindow* OpenList() {
        BrowseHotKeysWindow* w = nullptr;
        Start(kBrowseHotKeysProcedure, [&w] { w = BrowseHotKeys(); });
        EXPECT_TRUE(WaitFor([&] { return w && w->IsOpen(); }));
        return w;
    }
    UpdateHotKeysWindow* Form() {
        EXPECT_TRUE(WaitFor([] { return UpdateHotKeysWindow::current && UpdateHotKeysWindow::current->IsOpen(); }));
        return UpdateHotKeysWindow::current;
    }
    static void Choose(UpdateHotKeysWindow* f, const char* key) {
        const auto items = f->Layout().keyName->findItems(key, Qt::MatchFixedString);
        ASSERT_FALSE(items.isEmpty());
        f->Layout().keyName->setCurrentItem(items.first());
        Pump(20);
    }

    TempFolder folder_;
    ScriptedResponder responder_;
};

TEST_F(HotKeyWindowsTest, NewKeyIsBuiltFromTheBoxesAndNamedByItsText) {
    BrowseHotKeysWindow* w = OpenList();
    w->Layout().insert->click();
    UpdateHotKeysWindow* f = Form();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Title(), "New Hot Key");
    // The table's default key "CtrlShift" opens with both boxes ticked.
    EXPECT_TRUE(f->Layout().ctrl->isChecked());
    EXPECT_TRUE(f->Layout().shift->isChecked());
    EXPECT_TRUE(f->Layout().typeType->isChecked());
    f->Layout().ctrl->click();
    f->Layout().win->click();
    Choose(f, "Z");
    EXPECT_EQ(f->KeyText(), "Win-Shift-Z");
    EXPECT_EQ(f->Layout().keyText->text().toStdString(), "Win-Shift-Z");
    // "Text" shows the text tab and hides the task tab.
    EXPECT_TRUE(f->Layout().sheet->isTabVisible(1));
    EXPECT_FALSE(f->Layout().sheet->isTabVisible(2));
    f->Layout().text->setPlainText("Kind regards");
    f->Layout().ok->click();
    ASSERT_TRUE(WaitFor([] { return UpdateHotKeysWindow::current == nullptr; }));
    Pump(30);
    ASSERT_EQ(OpenTable(Keys()), 0);
    SysHotKeys& r = Keys().Rec<SysHotKeys>();
    r.HotKey = "Win-Shift-Z";
    ASSERT_EQ(Keys().Get(SysHotKeysDef().key("HOT:K_HotKey")), 0);
    EXPECT_EQ(r.Description.str(), "Win-Shift-Z");
    EXPECT_EQ(r.QuickText.str(), "Win-Shift-Z : Kind regards");
    EXPECT_EQ(r.Action.str(), "Text");
    EXPECT_EQ(r.Text, "Kind regards");
    Keys().Close();
}

TEST_F(HotKeyWindowsTest, HistoryKeyRecallsEachFieldOfTheLastKeySaved) {
    FieldHistoryCopy::For("UpdateHotKeys").Clear();  // as at program start
    auto key = [](QWidget* control) { QTest::keyClick(control, Qt::Key_Apostrophe, Qt::ControlModifier); };
    BrowseHotKeysWindow* w = OpenList();
    w->Layout().insert->click();
    UpdateHotKeysWindow* f = Form();
    ASSERT_NE(f, nullptr);
    key(f->Layout().description);  // nothing saved yet in this run
    EXPECT_EQ(f->Layout().description->text(), "");
    f->Layout().ctrl->click();
    f->Layout().win->click();
    Choose(f, "Z");
    f->Layout().active->click();
    f->Layout().description->setText("Greeting");
    f->Layout().typeCopy->click();
    f->Layout().text->setPlainText("Kind regards");
    f->Layout().ok->click();
    ASSERT_TRUE(WaitFor([] { return UpdateHotKeysWindow::current == nullptr; }));
    Pump(30);

    w->Layout().insert->click();
    f = Form();
    ASSERT_NE(f, nullptr);
    const auto& ui = f->Layout();
    EXPECT_TRUE(ui.active->isChecked());
    key(ui.keyName);
    EXPECT_EQ(f->KeyText(), "Win-Shift-Z");
    EXPECT_EQ(ui.keyText->text().toStdString(), "Win-Shift-Z");
    for (QWidget* c : std::initializer_list<QWidget*>{ui.active, ui.actionTask, ui.description, ui.typePaste, ui.text})
        key(c);
    EXPECT_FALSE(ui.active->isChecked());
    EXPECT_TRUE(ui.actionText->isChecked());
    EXPECT_EQ(ui.description->text().toStdString(), "Greeting");
    EXPECT_TRUE(ui.typeCopy->isChecked());
    EXPECT_EQ(ui.text->toPlainText().toStdString(), "Kind regards");
    // Saved under another key, the recalled values are what is stored.
    Choose(f, "Y");
    ui.ok->click();
    ASSERT_TRUE(WaitFor([] { return UpdateHotKeysWindow::current == nullptr; }));
    Pump(30);
    ASSERT_EQ(OpenTable(Keys()), 0);
    SysHotKeys& r = Keys().Rec<SysHotKeys>();
    r.HotKey = "Win-Shift-Y";
    ASSERT_EQ(Keys().Get(SysHotKeysDef().key("HOT:K_HotKey")), 0);
    EXPECT_EQ(r.Active, 0);
    EXPECT_EQ(r.Description.str(), "Greeting");
    EXPECT_EQ(r.TextType.str(), "Copy");
    EXPECT_EQ(r.Text, "Kind regards");
    Keys().Close();
}

TEST_F(HotKeyWindowsTest, EditSplitsTheKeyAndRefusesOneTooLong) {
    AddKey("Ctrl-Alt-F5", "Text");
    BrowseHotKeysWindow* w = OpenList();
    w->List().Select(0);
    Pump(20);
    w->Layout().change->click();
    UpdateHotKeysWindow* f = Form();

    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Title(), "Edit Hot Key");
    EXPECT_TRUE(f->Layout().ctrl->isChecked());
    EXPECT_TRUE(f->Layout().alt->isChecked());
    EXPECT_FALSE(f->Layout().shift->isChecked());
    EXPECT_FALSE(f->Layout().win->isChecked());
    ASSERT_NE(f->Layout().keyName->currentItem(), nullptr);
    EXPECT_EQ(f->Layout().keyName->currentItem()->text().toStdString(), "F5");

    // Without a key the modifiers alone could never be registered.
    f->Layout().keyName->setCurrentItem(nullptr);
    f->Layout().ok->click();
    Pump(50);
    ASSERT_EQ(UpdateHotKeysWindow::current, f);
    ASSERT_FALSE(responder_.shown().empty());
    EXPECT_EQ(responder_.shown().back().request.title, "Missing Information");

    // Win-Ctrl-Alt-Shift-INSERT has 25 characters: cut to 20 it would grab
    // another key, so OK refuses it.
    f->Layout().shift->click();
    f->Layout().win->click();
    Choose(f, "INSERT");
    f->Layout().ok->click();
    Pump(50);
    ASSERT_EQ(UpdateHotKeysWindow::current, f);
    ASSERT_FALSE(responder_.shown().empty());
    EXPECT_EQ(responder_.shown().back().request.title, "Hot Key Too Long");
    f->Layout().cancel->click();
    ASSERT_TRUE(WaitFor([] { return UpdateHotKeysWindow::current == nullptr; }));
    ASSERT_EQ(OpenTable(Keys()), 0);
    ASSERT_EQ(Keys().Records(), 1);
    Keys().Rec<SysHotKeys>().HotKey = "Ctrl-Alt-F5";
    EXPECT_EQ(Keys().Get(SysHotKeysDef().key("HOT:K_HotKey")), 0);
    Keys().Close();
}

TEST_F(HotKeyWindowsTest, DeleteAsksAndTakesTheKeysTaskAlong) {
    const int32_t task = AddTask(kHotKeyTaskCategory);
    AddTask("Work");
    AddKey("Ctrl-F5", "Task", task);
    AddKey("Ctrl-F6", "Text");
    BrowseHotKeysWindow* w = OpenList();

    // No: neither the key nor its task goes.
    w->List().Select(0);
    Pump(20);
    responder_.Answer(kButtonNo);
    w->Layout().del->click();
    Pump(50);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "Confirm Delete");
    EXPECT_EQ(responder_.shown()[0].request.text, "Are you sure you want to delete the highlighted record?");
    EXPECT_EQ(Count(Keys()), 2);
    EXPECT_EQ(Count(Tasks()), 2);

    responder_.Answer(kButtonYes);
    w->Layout().del->click();
    Pump(50);
    EXPECT_EQ(Count(Keys()), 1);
    EXPECT_EQ(Count(Tasks()), 1);
    ASSERT_EQ(OpenTable(Tasks()), 0);
    Tasks().Rec<Schedule>().ID = task;
    EXPECT_NE(Tasks().Get(ScheduleDef().key("SCH:KeyID")), 0);
    Tasks().Close();

    // A text key has no task: the user's task stays.
    w->List().Select(0);
    Pump(20);
    responder_.Answer(kButtonYes);
    w->Layout().del->click();
    Pump(50);
    EXPECT_EQ(Count(Keys()), 0);
    EXPECT_EQ(Count(Tasks()), 1);
}

TEST_F(HotKeyWindowsTest, TaskKeyIsMadeByTheScriptWizardAndSavedOnFinish) {
    scriptedit::RegisterScriptWindows();
    BrowseHotKeysWindow* w = OpenList();
    w->Layout().insert->click();
    UpdateHotKeysWindow* f = Form();
    ASSERT_NE(f, nullptr);
    f->Layout().ctrl->click();
    f->Layout().win->click();
    Choose(f, "Z");
    ASSERT_TRUE(f->Layout().actionTask->isEnabled());
    f->Layout().actionTask->click();
    Pump(20);
    f->Layout().next->click();
    QWidget* wizard = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        for (QWidget* t : QApplication::topLevelWidgets())
            if (t->isVisible() && t->windowTitle() == "Hot Key Script Wizard") wizard = t;
        return wizard != nullptr;
    }));
    QPushButton* finish = nullptr;
    for (QPushButton* b : wizard->findChildren<QPushButton*>())
        if (b->text() == "&Finish") finish = b;
    ASSERT_NE(finish, nullptr);
    finish->click();
    // Finished, the wizard hands the task to the form, which saves itself.
    ASSERT_TRUE(WaitFor([] { return UpdateHotKeysWindow::current == nullptr; }));
    Pump(30);
    ASSERT_EQ(OpenTable(Keys()), 0);
    SysHotKeys& r = Keys().Rec<SysHotKeys>();
    r.HotKey = "Win-Shift-Z";
    ASSERT_EQ(Keys().Get(SysHotKeysDef().key("HOT:K_HotKey")), 0);
    EXPECT_EQ(r.Action.str(), "Task");
    const int32_t task = r.ID;
    Keys().Close();
    ASSERT_NE(task, 0);
    ASSERT_EQ(OpenTable(Tasks()), 0);
    Schedule& s = Tasks().Rec<Schedule>();
    s.ID = task;
    ASSERT_EQ(Tasks().Get(ScheduleDef().key("SCH:KeyID")), 0);
    EXPECT_EQ(ClipRight(s.TaskType.str()), "Hot Key");
    EXPECT_EQ(ClipRight(s.Description.str()), "Hot Key Win-Shift-Z");
    EXPECT_EQ(ClipRight(s.Category.str()), "Hot Key");
    EXPECT_EQ(s.Date, 0);
    EXPECT_EQ(s.Disabled, 0);
    Tasks().Close();
}

TEST_F(HotKeyWindowsTest, TaskOfAKeyNotSavedIsRemovedOnCancel) {
    scriptedit::RegisterScriptWindows();
    BrowseHotKeysWindow* w = OpenList();
    w->Layout().insert->click();
    UpdateHotKeysWindow* f = Form();
    ASSERT_NE(f, nullptr);
    // Too long a key: the form's own OK after the wizard is refused.
    f->Layout().win->setChecked(true);
    f->Layout().alt->setChecked(true);
    Choose(f, "INSERT");
    f->Layout().actionTask->click();
    Pump(20);
    f->Layout().next->click();
    QWidget* wizard = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        for (QWidget* t : QApplication::topLevelWidgets())
            if (t->isVisible() && t->windowTitle() == "Hot Key Script Wizard") wizard = t;
        return wizard != nullptr;
    }));
    for (QPushButton* b : wizard->findChildren<QPushButton*>())
        if (b->text() == "&Finish") b->click();
    ASSERT_TRUE(WaitFor([&] {
        return !responder_.shown().empty() && responder_.shown().back().request.title == "Hot Key Too Long";
    }));
    EXPECT_EQ(Count(Tasks()), 1);
    ASSERT_EQ(UpdateHotKeysWindow::current, f);
    f->Layout().cancel->click();
    ASSERT_TRUE(WaitFor([] { return UpdateHotKeysWindow::current == nullptr; }));
    Pump(30);
    EXPECT_EQ(Count(Tasks()), 0);
}

}  // namespace
}  // namespace kr::test
