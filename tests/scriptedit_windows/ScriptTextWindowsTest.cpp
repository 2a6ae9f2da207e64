// The script as text offscreen over a real data file: edited in the text
// window from the script list and from the schedule list, the reference
// window's clipboard, search and replace, and the warnings before a text
// deletes what it cannot show.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>

#include "ScriptWindowsFixture.h"
#include "UiTestSupport.h"
#include "dictionary/Dictionary.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "scriptedit/ScriptSequencer.h"
#include "scriptedit/ScriptText.h"
#include "scriptedit/windows/ScriptWindows.h"
#include "tasks/windows/TaskWindows.h"
#include "tests/runner/RunnerTestSupport.h"

namespace kr {
namespace {

using test::WindowTitled;
using test::ButtonText;

class ScriptTextWindowsTest : public test::ScriptWindowsTest {
protected:
    void SetUp() override {
        ScriptWindowsTest::SetUp();
        TextToScript("KEYS one\r\nWAIT 3\r\nEXIT\r\n");
    }
    QWidget* OpenText() {
        response_ = 0;
        scriptedit::ScriptEditAsText([this](int r) { response_ = r; });
        QWidget* w = nullptr;
        EXPECT_TRUE(test::WaitFor([&] { return (w = WindowTitled("Scripting:  Edit As Text")) != nullptr; }));
        return w;
    }
    // In the text window a button opened: the script it shows, replaced by
    // the typed one and OK pressed.
    static void ReplaceInTextWindow(const char* shown, const char* typed) {
        QWidget* w = nullptr;
        ASSERT_TRUE(test::WaitFor([&] { return (w = WindowTitled("Scripting:  Edit As Text")) != nullptr; }));
        auto* text = w->findChild<QPlainTextEdit*>();
        EXPECT_EQ(text->toPlainText(), shown);
        text->setPlainText(typed);
        ButtonText(w, "&OK")->click();
        ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("Scripting:  Edit As Text") == nullptr; }));
    }
};

TEST_F(ScriptTextWindowsTest, EditedInTheTextWindowFromTheListAndShownThere) {
    scriptedit::BrowseScripting();
    QWidget* list = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (list = WindowTitled("Scripting - General: Weekly report N/A")) != nullptr; }));
    auto* view = list->findChild<QTableView*>();
    ButtonText(list, "Edit as &Text")->click();
    ASSERT_NO_FATAL_FAILURE(ReplaceInTextWindow("KEYS one\nWAIT 3\nEXIT\n", "KEYS one\nWAIT 3 Notepad\nEXIT\n"));
    const std::vector<Scripting> items = ReadScriptItems(5);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].WaitForWindow, "Notepad");
    ASSERT_TRUE(test::WaitFor([&] {
        return view->model()->index(1, 1).data().toString().contains("Notepad");
    }));

    // Script to clipboard and back.
    ButtonText(list, "Script to Clipboard")->click();
    EXPECT_EQ(Clipboard().Text(), "KEYS one\r\nWAIT Both 3 Notepad\r\nEXIT\r\n");
    Clipboard().SetText("EXIT");
    ButtonText(list, "Clipboard to Script")->click();
    ASSERT_TRUE(test::WaitFor([&] { return view->model()->rowCount() == 1; }));
    EXPECT_EQ(ReadScriptItems(5)[0].Action, "Exit Script");
}

TEST_F(ScriptTextWindowsTest, EditedFromTheScheduleList) {
    // The task is listed on today's tab of the schedule list.
    Schedule t = Schedule_File().rec();
    t.TaskType = "Run Program";
    t.ScheduleType = "Once";
    t.Date = Today();
    t.Time = ClockTime();
    Schedule_File().rec() = t;
    ASSERT_EQ(Schedule_File().Insert(), data::kLevelBenign);
    const int32_t task = Schedule_File().rec().ID;
    TextToScript("KEYS one\r\nWAIT 3\r\nEXIT\r\n");
    scriptedit::RegisterScriptWindows();
    Start("BrowseSchedule", [] { tasks::BrowseSchedule(); });
    QWidget* list = nullptr;
    ASSERT_TRUE(test::WaitFor([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle().startsWith("Scheduled Tasks")) list = w;
        return list != nullptr;
    }));
    auto* view = list->findChild<QTableView*>("list");
    ASSERT_TRUE(test::WaitFor([&] { return view->model()->rowCount() == 1; }));
    view->selectRow(0);
    test::Pump();
    list->findChild<QAbstractButton*>("editText")->click();
    ASSERT_NO_FATAL_FAILURE(ReplaceInTextWindow("KEYS one\nWAIT 3\nEXIT\n", "KEYS one\nSET NAME done\nEXIT\n"));
    const std::vector<Scripting> items = ReadScriptItems(task);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].Action, "Set Value");
    EXPECT_EQ(items[1].Path, "NAME");
    EXPECT_EQ(items[1].Command, "done");
    EXPECT_EQ(items[2].Action, "Exit Script");
    EXPECT_EQ(ReadScriptItems(5).size(), 3u);

    // The list closed before the text window's answer arrives stays closed.
    list->findChild<QAbstractButton*>("editText")->click();
    QWidget* w = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (w = WindowTitled("Scripting:  Edit As Text")) != nullptr; }));
    ButtonText(w, "&OK")->click();
    list->close();
    test::Pump(100);
    EXPECT_EQ(ReadScriptItems(task).size(), 3u);
}

TEST_F(ScriptTextWindowsTest, CancelKeepsTheScriptAndReplacedTextIsStored) {
    QWidget* w = OpenText();
    auto* text = w->findChild<QPlainTextEdit*>();
    text->setPlainText("EXIT");
    ButtonText(w, "Cancel")->click();
    ASSERT_TRUE(test::WaitFor([&] { return response_ != 0; }));
    EXPECT_EQ(ReadScriptItems(5).size(), 3u);

    w = OpenText();
    text = w->findChild<QPlainTextEdit*>();
    ButtonText(w, "Search/&Replace")->click();
    auto edits = w->findChildren<QLineEdit*>();
    ASSERT_EQ(edits.size(), 2);
    edits[0]->setText("one");
    edits[1]->setText("two words");
    ButtonText(w, "Replace &All")->click();
    EXPECT_EQ(text->toPlainText(), "KEYS two words\nWAIT 3\nEXIT\n");
    ButtonText(w, "&OK")->click();
    ASSERT_TRUE(test::WaitFor([&] { return response_ == kRequestCompleted; }));
    EXPECT_EQ(ReadScriptItems(5)[0].Keystrokes, "two words");
}

TEST_F(ScriptTextWindowsTest, WarnsBeforeDeletingWhatTheTextCannotShow) {
    Scripting other;
    other.ID = 5;
    other.Sequence = 10;
    other.Action = "Other";
    ASSERT_EQ(InsertScriptItemAt(other), 0);
    Scripting quoted;
    quoted.ID = 5;
    quoted.Sequence = 11;
    quoted.Action = "Set Value";
    quoted.Path = "V";
    quoted.Command = "5\" disk";
    ASSERT_EQ(InsertScriptItemAt(quoted), 0);
    QWidget* w = OpenText();
    QString note;
    for (QLabel* l : w->findChildren<QLabel*>()) note += l->text();
    EXPECT_TRUE(note.contains("Line(s) 4 hold a double quote")) << note.toStdString();
    EXPECT_TRUE(note.contains("1 script item(s) cannot be shown")) << note.toStdString();
    responder_.Answer(kButtonYes);
    responder_.Answer(kButtonNo);  // keep the "Other" item: nothing stored
    ButtonText(w, "&OK")->click();
    test::Pump(100);
    EXPECT_EQ(ReadScriptItems(5).size(), 5u);
    ASSERT_NE(WindowTitled("Scripting:  Edit As Text"), nullptr);

    // An empty text stores nothing, so nothing is asked: only "Nothing to save.".
    const std::size_t before = responder_.shown().size();
    w->findChild<QPlainTextEdit*>()->clear();
    ButtonText(w, "&OK")->click();
    ASSERT_TRUE(test::WaitFor([&] { return response_ == kRequestCompleted; }));
    ASSERT_EQ(responder_.shown().size(), before + 1);
    EXPECT_EQ(responder_.shown().back().request.text, "Nothing to save.");
    EXPECT_EQ(ReadScriptItems(5).size(), 5u);
}

TEST_F(ScriptTextWindowsTest, ReferenceBuildsOnTheClipboard) {
    Clipboard().SetText("KEYS ");
    scriptedit::ScriptTextReference();
    QWidget* w = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (w = WindowTitled("Edit Script as Text: Reference")) != nullptr; }));
    auto* built = w->findChild<QLineEdit*>();
    EXPECT_EQ(built->text(), "KEYS ");
    auto combos = w->findChildren<QComboBox*>();
    ASSERT_EQ(combos.size(), 4);  // modifier, key, value, commands
    combos[0]->setCurrentText("CtrlShift");
    combos[1]->setCurrentText("F5");
    ButtonText(w, "&Append")->click();
    combos[2]->setCurrentText("TODAY");
    ButtonText(w, "A&ppend")->click();
    EXPECT_EQ(built->text(), "KEYS[CtrlShift-F5][TODAY]");
    // Every command template reads back through the text reader.
    for (int i = 0; i < combos[3]->count(); ++i) {
        const ParsedScriptText p = ParseScriptText(combos[3]->itemText(i).toStdString(), 5);
        EXPECT_TRUE(p.messages.empty()) << combos[3]->itemText(i).toStdString();
    }
    combos[3]->setCurrentIndex(2);
    ButtonText(w, "Replace")->click();
    EXPECT_EQ(built->text(), "WAIT Or 999 window_title optional_contents");
    const Scripting wait = ParseScriptText(built->text().toStdString(), 5).items[0];
    EXPECT_EQ(wait.DDEApplicationName, "Or");
    EXPECT_EQ(wait.SecondsToWait, 999);
    ButtonText(w, "Cl&ose")->click();
    ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("Edit Script as Text: Reference") == nullptr; }));
    EXPECT_EQ(Clipboard().Text(), "WAIT Or 999 window_title optional_contents");
}

}  // namespace
}  // namespace kr
