// The item form and the script list offscreen over a real data file: every
// action made in the form lands in the fields its action keeps, a long
// message survives open and OK, an item left on "Other" and a task without
// an ID are refused, the list places, moves and renumbers items, the
// script prints (read back from PDF) and a long script is cleared.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

#include "PrintedText.h"
#include "ScriptWindowsFixture.h"
#include "UiTestSupport.h"
#include "dictionary/Dictionary.h"
#include "platform/data/Database.h"
#include "platform/data/TableImpl.h"
#include "platform/runtime/Services.h"
#include "platform/ui/PopupMenu.h"
#include "platform/ui/Requests.h"
#include "scriptedit/ScriptBatch.h"
#include "scriptedit/ScriptCopy.h"
#include "scriptedit/ScriptItemRules.h"
#include "scriptedit/ScriptItems.h"
#include "scriptedit/ScriptSequencer.h"
#include "scriptedit/windows/ScriptWindows.h"
#include "tasks/TaskReservation.h"
#include "tests/runner/RunnerTestSupport.h"

namespace kr {
namespace {

using test::WindowTitled;
using test::ButtonText;

// Keys as the keyboard gives them to the control with the focus.
void Key(QWidget* to, int key, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &release);
}
void Type(QWidget* to, const QString& text) {
    for (QChar c : text) Key(to, c.toUpper().unicode(), QString(c));
}

template <class T>
QList<T*> OnTab(QWidget* form) {
    return form->findChild<QTabWidget*>()->currentWidget()->findChildren<T*>();
}

class ScriptEditWindowsTest : public test::ScriptWindowsTest {
protected:
    void SetUp() override {
        ScriptWindowsTest::SetUp();
        Schedule_File().rec().Command = "";
    }
};

// How each action is filled in its tab, and the item it must give.
struct ActionCase {
    const char* action;
    std::function<void(QWidget* form)> fill;
    std::function<void(Scripting& expected)> expect;
};

TEST_F(ScriptEditWindowsTest, EveryActionMadeInTheFormIsStoredInItsFields) {
    auto entries = [](QWidget* f) { return OnTab<QLineEdit>(f); };
    std::vector<ActionCase> cases = {
        {"Send Keys", [&](QWidget* f) { entries(f)[0]->setText("hello[ENTER]"); },
         [](Scripting& e) { e.Keystrokes = "hello[ENTER]"; }},
        {"Set Focus", [&](QWidget* f) { OnTab<QComboBox>(f)[0]->setEditText("Editor*"); },
         [](Scripting& e) { e.FocusOnWindow = "Editor*"; }},
        {"Wait",
         [&](QWidget* f) {
             OnTab<QSpinBox>(f)[0]->setValue(30);
             OnTab<QComboBox>(f)[0]->setEditText("Setup");
         },
         [](Scripting& e) {
             e.SecondsToWait = 30;
             e.WaitForWindow = "Setup";
             e.DDEApplicationName = "Both";
         }},
        {"Display Message",
         [&](QWidget* f) {
             entries(f)[0]->setText("Title");
             OnTab<QPlainTextEdit>(f)[0]->setPlainText("Body text");
             OnTab<QCheckBox>(f)[0]->setChecked(true);
             entries(f)[1]->setText("OK");
         },
         [](Scripting& e) {
             e.DDEApplicationTopic = "Title";
             e.DDEApplicationName = "Body text";
             e.SecondsToWait = 1;
             e.FocusOnWindow = "OK";
         }},
        {"If Window...",
         [&](QWidget* f) {
             OnTab<QComboBox>(f)[0]->setCurrentIndex(1);
             OnTab<QComboBox>(f)[1]->setEditText("Error*");
         },
         [](Scripting& e) {
             e.WindowExistance = "Does not exist";
             e.WindowTitleToCheckFor = "Error*";
         }},
        {"If Time Elapsed...", [&](QWidget* f) { OnTab<QSpinBox>(f)[0]->setValue(60); },
         [](Scripting& e) {
             e.IfTimeElapsed = "Greater than";
             e.TimeElapsed = 60;
         }},
        {"If Value...",
         [&](QWidget* f) {
             entries(f)[0]->setText("COUNT");
             OnTab<QComboBox>(f)[0]->setCurrentText("<>");
             entries(f)[1]->setText("3");
         },
         [](Scripting& e) {
             e.Command = "COUNT";
             e.WindowTitleToCheckFor = "<>";
             e.WaitForWindow = "3";
         }},
        {"...End If", [](QWidget*) {}, [](Scripting&) {}},
        {"Start Program",
         [&](QWidget* f) {
             entries(f)[0]->setText("/usr/bin/true");
             entries(f)[1]->setText("/tmp");
         },
         [](Scripting& e) {
             e.Command = "/usr/bin/true";
             e.Path = "/tmp";
             e.DDEApplicationName = "0210";
         }},
        {"Close Program", [&](QWidget* f) { entries(f)[0]->setText("gedit"); },
         [](Scripting& e) { e.Command = "gedit"; }},
        {"Start Script",
         [&](QWidget* f) {
             entries(f)[0]->setText("/tmp/next.krs");
             OnTab<QComboBox>(f)[0]->setCurrentIndex(2);
         },
         [](Scripting& e) {
             e.Command = "/tmp/next.krs";
             e.Path = "Append";
         }},
        {"DDE",
         [&](QWidget* f) {
             entries(f)[0]->setText("app");
             entries(f)[1]->setText("topic");
             entries(f)[2]->setText("cmd");
         },
         [](Scripting& e) {
             e.DDEApplicationName = "app";
             e.DDEApplicationTopic = "topic";
             e.DDECommand = "cmd";
         }},
        {"Send Email", [](QWidget*) {}, [](Scripting&) {}},
        {"Set Value",
         [&](QWidget* f) {
             entries(f)[0]->setText("GREETING");
             entries(f)[1]->setText("hello");
         },
         [](Scripting& e) {
             e.Path = "GREETING";
             e.Command = "hello";
         }},
        {"Exit Script", [](QWidget*) {}, [](Scripting&) {}},
        {"File Actions",
         [&](QWidget* f) {
             OnTab<QComboBox>(f)[0]->setCurrentText("FTP Upload");
             OnTab<QComboBox>(f)[0]->activated(OnTab<QComboBox>(f)[0]->currentIndex());
             entries(f)[0]->setText("/tmp/a.txt");
             entries(f)[1]->setText("/in/a.txt");
             entries(f)[2]->setText("ftp.example");
             entries(f)[3]->setText("anna");
             entries(f)[4]->setText("secret");
         },
         [](Scripting& e) {
             e.DDEType = "FTP Upload";
             e.Command = "/tmp/a.txt";
             e.Path = "/in/a.txt";
             e.DDEApplicationName = "ftp.example";
             e.DDEApplicationTopic = std::string("anna") + std::string(124, ' ') + "secret";
         }},
    };
    for (const ActionCase& c : cases) {
        SCOPED_TRACE(c.action);
        QWidget* form = OpenForm(kInsertRecord, "New Script Action");
        ASSERT_NE(form, nullptr);
        auto* radio = qobject_cast<QRadioButton*>(ButtonText(form, c.action));
        ASSERT_NE(radio, nullptr);
        radio->click();
        c.fill(form);
        Ok(form);
        ASSERT_EQ(response_, kRequestCompleted);
        const Scripting stored = Items().back();
        EXPECT_EQ(stored.Action, c.action);
        EXPECT_EQ(stored.ID, 5);
        EXPECT_EQ(stored.OriginalID, 5);
        EXPECT_NE(stored.LastChangeDate, 0);
        // The item as the contract gives it, from a new item's priming.
        Scripting want;
        PrimeNewScriptItem(want, 5);
        want.Action = c.action;
        if (want.Action == "Start Program") want.DDEApplicationName = "0210";
        c.expect(want);
        EXPECT_EQ(DescribeScriptItem(stored), DescribeScriptItem(want));
        for (const data::FieldDef& fd : ScriptingDef().fields) {
            const std::string n = fd.name;
            if (n == "SCR:Sequence" || n == "SCR:NetworkUser" || n == "SCR:LastChangeDate" ||
                n == "SCR:LastChangeTime" || n == "SCR:OriginalID")
                continue;
            if (!fd.get) continue;
            EXPECT_EQ(fd.get(&stored).toText(), fd.get(&want).toText()) << n;
        }
        if (std::string(c.action) == "Send Keys") { EXPECT_EQ(stored.Keystrokes, "hello[ENTER]"); }
        if (std::string(c.action) == "Wait") { EXPECT_EQ(stored.DDEApplicationName, "Both"); }
        if (std::string(c.action) == "Display Message") {
            EXPECT_EQ(stored.DDEApplicationName, "Body text");
            EXPECT_EQ(stored.DDEApplicationTopic, "Title");
            EXPECT_EQ(stored.SecondsToWait, 1);
        }
        if (std::string(c.action) == "If Window...") { EXPECT_EQ(stored.WindowExistance, "Does not exist"); }
        if (std::string(c.action) == "If Time Elapsed...") { EXPECT_EQ(stored.IfTimeElapsed, "Greater than"); }
        if (std::string(c.action) == "If Value...") { EXPECT_EQ(stored.WindowTitleToCheckFor, "<>"); }
        if (std::string(c.action) == "Start Program") { EXPECT_EQ(stored.DDEApplicationName, "0210"); }
        if (std::string(c.action) == "Start Script") { EXPECT_EQ(stored.Path, "Append"); }
        if (std::string(c.action) == "Set Value") { EXPECT_EQ(stored.Path, "GREETING"); }
        if (std::string(c.action) == "File Actions") {
            EXPECT_EQ(stored.DDEType, "FTP Upload");
            EXPECT_EQ(stored.DDEApplicationName, "ftp.example");
            EXPECT_EQ(stored.DDEApplicationTopic.str().substr(128), "secret");
        }
    }
    EXPECT_EQ(Items().size(), cases.size());
    EXPECT_EQ(Items().back().Sequence, static_cast<int32_t>(cases.size()));
}

// A window title typed into the Wait tab's combo counts once the field is
// left with Tab, as a chosen one does: "Either"/"Both" comes on at once.
TEST_F(ScriptEditWindowsTest, AWaitWindowTypedAndLeftWithTabLetsEitherBeChosen) {
    QWidget* form = OpenForm(kInsertRecord, "New Script Action");
    ASSERT_NE(form, nullptr);
    form->activateWindow();
    ASSERT_TRUE(test::WaitFor([&] { return form->isActiveWindow(); }));
    qobject_cast<QRadioButton*>(ButtonText(form, "Wait"))->click();
    test::Pump();
    auto* seconds = OnTab<QSpinBox>(form)[0];
    seconds->setFocus();
    seconds->setValue(30);
    QLineEdit* title = OnTab<QComboBox>(form)[0]->lineEdit();
    title->setFocus();
    test::Pump();
    auto* either = qobject_cast<QRadioButton*>(ButtonText(form, "Either"));
    ASSERT_NE(either, nullptr);
    EXPECT_FALSE(either->isEnabled()) << "seconds alone have no joiner";
    Type(title, "Setup");
    Key(title, Qt::Key_Tab);
    test::Pump();
    ASSERT_TRUE(either->isEnabled()) << "the typed title did not count";
    EXPECT_TRUE(qobject_cast<QRadioButton*>(ButtonText(form, "Both"))->isChecked());
    either->click();
    Ok(form);
    ASSERT_EQ(Items().size(), 1u);
    EXPECT_EQ(Items()[0].WaitForWindow, "Setup");
    EXPECT_EQ(Items()[0].DDEApplicationName, "Either");
}

TEST_F(ScriptEditWindowsTest, KeyCodesAppendThroughThePickLists) {
    QWidget* form = OpenForm(kInsertRecord, "New Script Action");
    ASSERT_NE(form, nullptr);
    auto combos = OnTab<QComboBox>(form);
    combos[0]->setCurrentText("CtrlAlt");
    combos[1]->setCurrentText("DELETE");
    ButtonText(form, "Append")->click();
    combos[0]->setCurrentIndex(0);
    combos[1]->setCurrentText("F5");
    ButtonText(form, "Append")->click();
    combos[2]->setCurrentText("TODAY");
    ButtonText(form, "A&ppend")->click();
    EXPECT_EQ(OnTab<QLineEdit>(form)[0]->text(), "[CtrlAlt-DELETE][F5][TODAY]");
}

TEST_F(ScriptEditWindowsTest, ALongMessageSurvivesOpenAndOk) {
    Scripting m = Item("Display Message");
    m.DDEApplicationName = std::string(200, 'a') + std::string(55, 'z');
    m.DDEApplicationTopic = std::string(120, 't');
    AddItem(5, m);
    Scripting_File().rec() = Items()[0];
    ASSERT_EQ(Scripting_File().TryFetch(ScriptingDef().key("SCR:KeyID")), data::kLevelBenign);
    QWidget* form = OpenForm(kChangeRecord, "Edit Script Action");
    ASSERT_NE(form, nullptr);
    Ok(form);
    ASSERT_EQ(response_, kRequestCompleted);
    EXPECT_EQ(Items()[0].DDEApplicationName.str(), m.DDEApplicationName.str());
    EXPECT_EQ(Items()[0].DDEApplicationTopic.str(), m.DDEApplicationTopic.str());
}

TEST_F(ScriptEditWindowsTest, AnItemLeftOnOtherIsRefusedAndATaskWithoutIDCannotStore) {
    AddItem(5, Item("Other"));
    Scripting_File().rec() = Items()[0];
    ASSERT_EQ(Scripting_File().TryFetch(ScriptingDef().key("SCR:KeyID")), data::kLevelBenign);
    QWidget* form = OpenForm(kChangeRecord, "Edit Script Action");
    ASSERT_NE(form, nullptr);
    ButtonText(form, "&OK")->click();
    test::Pump(100);
    EXPECT_TRUE(responder_.sawText("\"Other\" script item not recorded correctly.  Re-enter."));
    EXPECT_TRUE(form->isVisible());
    ButtonText(form, "Cancel")->click();
    test::WaitFor([&] { return response_ != 0; });

    Schedule_File().rec().ID = 0;
    form = OpenForm(kInsertRecord, "New Script Action");
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(responder_.sawText("Unable to attach script to scheduled item.  Schedule ID is 0."));
    EXPECT_FALSE(ButtonText(form, "&OK")->isEnabled());
    ButtonText(form, "Cancel")->click();
    test::WaitFor([&] { return response_ != 0; });
    EXPECT_EQ(Items(0).size(), 0u);
}

TEST_F(ScriptEditWindowsTest, ListPlacesNewAndCopiedItemsAfterTheHighlightedOneMovesAndRenumbers) {
    for (const char* a : {"one", "two", "three", "four", "five"}) {
        Scripting s = Item("Set Value");
        s.Path = a;
        AddItem(5, s);
    }
    scriptedit::BrowseScripting();
    QWidget* list = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (list = WindowTitled("Scripting - General: Weekly report N/A")) != nullptr; }));
    EXPECT_EQ(Schedule_File().rec().Command, "N/A");
    auto* view = list->findChild<QTableView*>();
    auto path = [&] {
        std::string s;
        for (const Scripting& i : Items()) s += std::to_string(i.Sequence) + i.Path.str() + " ";
        return s;
    };
    view->selectRow(1);
    test::Pump();
    ButtonText(list, "&New")->click();
    QWidget* form = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (form = WindowTitled("New Script Action")) != nullptr; }));
    qobject_cast<QRadioButton*>(ButtonText(form, "Set Value"))->click();
    OnTab<QLineEdit>(form)[0]->setText("new");
    ButtonText(form, "&OK")->click();
    ASSERT_TRUE(test::WaitFor([&] { return Items().size() == 6; }));
    test::Pump(100);
    EXPECT_EQ(path(), "1one 2two 3new 4three 5four 6five ");

    view->selectRow(5);
    test::Pump();
    ButtonText(list, "Top")->click();
    test::Pump();
    EXPECT_EQ(path(), "1five 2one 3two 4new 5three 6four ");

    view->selectRow(1);
    test::Pump();
    responder_.Answer(kButtonYes);
    ButtonText(list, "&Delete")->click();
    ASSERT_TRUE(test::WaitFor([&] { return (form = WindowTitled("Delete Script Action")) != nullptr; }));
    ButtonText(form, "&OK")->click();
    ASSERT_TRUE(test::WaitFor([&] { return Items().size() == 5 && Items()[1].Sequence == 2; }));
    EXPECT_EQ(path(), "1five 2two 3new 4three 5four ");

    // Copy of the last item: an identical item right after it.
    view->selectRow(4);
    test::Pump();
    ButtonText(list, "Cop&y")->click();
    ASSERT_TRUE(test::WaitFor([&] { return (form = WindowTitled("New Script Action")) != nullptr; }));
    ButtonText(form, "&OK")->click();
    ASSERT_TRUE(test::WaitFor([&] { return Items().size() == 6; }));
    EXPECT_EQ(path(), "1five 2two 3new 4three 5four 6four ");
    EXPECT_EQ(Items()[5].Action, "Set Value");
}

// The list's own popup items in order ("-" for a separator), "~" before an
// item that is off.
std::vector<std::string> OwnPopupItems(QWidget* list) {
    std::vector<PopupItem> seen;
    InstallPopupResponder([&](const std::vector<PopupItem>& items) {
        seen = items;
        return 0;
    });
    auto* view = list->findChild<QTableView*>();
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), view->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(view, &menu);
    InstallPopupResponder({});
    std::vector<std::string> own;
    bool started = false;
    for (const PopupItem& i : seen) {
        started = started || i.text == "&Template";
        if (started && own.size() < 10) own.push_back(i.separator ? "-" : (i.enabled ? "" : "~") + i.text);
    }
    return own;
}

TEST_F(ScriptEditWindowsTest, ListPopupOffersTemplateEditAsTextAndCopyBetweenSeparators) {
    scriptedit::BrowseScripting();
    QWidget* list = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (list = WindowTitled("Scripting - General: Weekly report N/A")) != nullptr; }));
    // Empty: Copy is off, as its button is.
    EXPECT_EQ(OwnPopupItems(list), (std::vector<std::string>{"&Template", "-", "Edit as &Text", "-", "&Print", "-",
                                                             "&Import", "E&xport", "~Cop&y", "&New"}));
    AddItem(5, Item("Set Value"));
    ButtonText(list, "Cl&ose")->click();
    ASSERT_TRUE(test::WaitFor([&] { return WindowTitled("Scripting - General: Weekly report N/A") == nullptr; }));
    scriptedit::BrowseScripting();
    ASSERT_TRUE(test::WaitFor([&] { return (list = WindowTitled("Scripting - General: Weekly report N/A")) != nullptr; }));
    EXPECT_EQ(OwnPopupItems(list), (std::vector<std::string>{"&Template", "-", "Edit as &Text", "-", "&Print", "-",
                                                             "&Import", "E&xport", "Cop&y", "&New"}));
    // Copy from the popup copies the highlighted item.
    InstallPopupResponder([](const std::vector<PopupItem>& items) {
        for (const PopupItem& i : items)
            if (i.text == "Cop&y") return i.number;
        return 0;
    });
    auto* view = list->findChild<QTableView*>();
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), view->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(view, &menu);
    InstallPopupResponder({});
    QWidget* form = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (form = WindowTitled("New Script Action")) != nullptr; }));
    ButtonText(form, "&OK")->click();
    ASSERT_TRUE(test::WaitFor([&] { return Items().size() == 2; }));
    EXPECT_EQ(Items()[1].Action, "Set Value");
}

TEST_F(ScriptEditWindowsTest, ThePrintedScriptReadsBackFromPdf) {
    Scripting keys = Item("Send Keys");
    keys.Keystrokes = "abc";
    AddItem(5, keys);
    Scripting set = Item("Set Value");
    set.Path = "NAME";
    set.Command = "value";
    AddItem(5, set);
    const std::string text =
        test::PrintedText(scriptedit::MakeScriptReport(5, "Weekly report"), (dir_ / "script.pdf").string(), responder_);
    EXPECT_NE(text.find("Weekly report"), std::string::npos) << text;
    EXPECT_NE(text.find("Send Keys"), std::string::npos) << text;
    EXPECT_NE(text.find(DescribeScriptItem(Items()[0]).substr(0, 10)), std::string::npos) << text;
    EXPECT_NE(text.find("Set Value"), std::string::npos) << text;
    EXPECT_LT(text.find("Send Keys"), text.find("Set Value"));
}

TEST_F(ScriptEditWindowsTest, ClearAllAsksThenDeletesALongScriptAndShowsAFailureHalfWay) {
    // One transaction for the set-up.
    ASSERT_EQ(Scripting_File().UseFile(), 0);
    ASSERT_EQ(data::Logout({&Scripting_File().File()}), 0);
    for (int i = 1; i <= 1000; ++i) {
        Scripting s = Item("Send Keys");
        s.ID = 5;
        s.Sequence = i;
        ASSERT_EQ(InsertScriptItemAt(s), 0);
    }
    ASSERT_EQ(data::Commit(), 0);
    Scripting other = Item("Wait");
    AddItem(6, other);
    responder_.Answer(kButtonNo);
    bool cleared = true;
    scriptedit::ClearAllScriptItems([&](bool c) { cleared = c; });
    EXPECT_FALSE(cleared);
    EXPECT_EQ(Items().size(), 1000u);
    responder_.Answer(kButtonYes);
    int done = 0;
    scriptedit::ClearAllScriptItems([&](bool c) { done = c ? 1 : 2; });
    ASSERT_TRUE(test::WaitFor([&] { return done != 0; }, 60000));
    EXPECT_EQ(done, 1);
    EXPECT_TRUE(responder_.sawText("Delete all script items for the current task?"));
    EXPECT_EQ(Items().size(), 0u);
    EXPECT_EQ(Items(6).size(), 1u);

    // A delete that fails half-way: the progress window stays with the
    // failure until it is read, and the items not reached stay.
    ASSERT_EQ(data::Logout({&Scripting_File().File()}), 0);
    for (int i = 1; i <= 1000; ++i) {
        Scripting s = Item("Send Keys");
        s.ID = 5;
        s.Sequence = i;
        ASSERT_EQ(InsertScriptItemAt(s), 0);
    }
    ASSERT_EQ(data::Commit(), 0);
    auto db = Scripting_File().File().impl().database();
    const std::string stored = ScriptingDef().storedAs;
    ASSERT_EQ(db->Exec("CREATE TEMP TRIGGER fail_delete BEFORE DELETE ON main.\"" +
                       stored.substr(stored.find("\\!") + 2) +
                       "\" WHEN old.Sequence = 500 BEGIN SELECT RAISE(ABORT, 'injected failure'); END"),
              0);
    responder_.Answer(kButtonYes);
    done = 0;
    scriptedit::ClearAllScriptItems([&](bool c) { done = c ? 1 : 2; });
    QAbstractButton* close = nullptr;
    ASSERT_TRUE(test::WaitFor(
        [&] {
            QWidget* w = WindowTitled("Processing Records");
            return w && (close = ButtonText(w, "Cl&ose")) != nullptr && close->isVisible();
        },
        60000));
    close->click();
    ASSERT_TRUE(test::WaitFor([&] { return done != 0; }));
    EXPECT_EQ(done, 2);
    EXPECT_EQ(Items().size(), 501u);
}

}  // namespace
}  // namespace kr

namespace kr {
namespace {

// The progress window of a whole-script process, once it shows.
QWidget* ProgressWindow(const char* userText) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* user = w->findChild<QLabel*>("userText");
        if (w->isVisible() && w->windowTitle() == "Processing Records" && user && user->text() == userText) return w;
    }
    return nullptr;
}

TEST_F(ScriptEditWindowsTest, ALongCopyShowsItsProgressAndCancelKeepsTheItemsCopiedWhole) {
    scriptedit::InstallScriptProcessWindow();
    constexpr int kItems = 1500;
    ScriptBatch batch;
    batch.Begin();
    for (int i = 1; i <= kItems; ++i) {
        Scripting s;
        s.ID = 5;
        s.Sequence = i;
        s.Action = "Send Keys";
        s.Keystrokes = "keys " + std::to_string(i);
        s.FocusOnWindow = "Window " + std::to_string(i);
        Scripting_File().rec() = s;
        ASSERT_EQ(Scripting_File().File().Add(), 0);
    }
    batch.End();

    // Cancel once the window has shown some progress.
    bool shown = false;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        QWidget* w = ProgressWindow("Copying Script");
        if (!w) return;
        shown = true;
        if (w->findChild<QLabel*>("percent")->text() == "0% Completed") return;
        w->findChild<QPushButton*>("cancel")->click();
        cancel.stop();
    });
    cancel.start(5);
    EXPECT_EQ(CopyScript(5, 9), ProcessState::Cancelled);
    cancel.stop();
    EXPECT_TRUE(shown);
    const std::vector<Scripting> copied = Items(9);
    EXPECT_GT(copied.size(), 0u);
    EXPECT_LT(copied.size(), static_cast<size_t>(kItems));
    for (size_t i = 0; i < copied.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        EXPECT_EQ(copied[i].Sequence, static_cast<int32_t>(i + 1));
        EXPECT_EQ(copied[i].Action.str(), "Send Keys");
        EXPECT_EQ(copied[i].Keystrokes.str(), "keys " + n);
        EXPECT_EQ(copied[i].FocusOnWindow.str(), "Window " + n);
    }
    EXPECT_EQ(Items(5).size(), static_cast<size_t>(kItems));
    EXPECT_EQ(ProgressWindow("Copying Script"), nullptr);

    // The delete runs in the same window, here to its end.
    bool deleting = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { deleting = deleting || ProgressWindow("Deleting Script"); });
    watch.start(5);
    EXPECT_EQ(DeleteScript(9), ProcessState::Finished);
    watch.stop();
    EXPECT_TRUE(deleting);
    EXPECT_TRUE(Items(9).empty());
    EXPECT_EQ(Items(5).size(), static_cast<size_t>(kItems));
}

TEST_F(ScriptEditWindowsTest, ACancelledDeleteOfANewTasksItemsKeepsItsPlaceholder) {
    scriptedit::InstallScriptProcessWindow();
    ScriptBatch batch;
    batch.Begin();
    for (int i = 1; i <= 1500; ++i) {
        Scripting s;
        s.ID = 5;
        s.Sequence = i;
        s.Action = "Wait";
        Scripting_File().rec() = s;
        ASSERT_EQ(Scripting_File().File().Add(), 0);
    }
    batch.End();
    // A new task copied from task 5: its ID reserved, the script copied.
    Schedule_File().rec() = Schedule();
    const int32_t id = tasks::ReserveTaskID();
    ASSERT_NE(id, 0);
    ASSERT_EQ(CopyScript(5, id), ProcessState::Finished);
    ASSERT_EQ(Items(id).size(), 1500u);

    // Its insert is cancelled, and so is the delete of its items.
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        QWidget* w = ProgressWindow("Deleting Script");
        if (!w || w->findChild<QLabel*>("percent")->text() == "0% Completed") return;
        w->findChild<QPushButton*>("cancel")->click();
        cancel.stop();
    });
    cancel.start(5);
    tasks::ReleaseReservedTask(id);
    cancel.stop();
    const size_t left = Items(id).size();
    EXPECT_GT(left, 0u);
    EXPECT_LT(left, 1500u);
    // The placeholder stays, disabled, so the items left are never handed
    // to the next new task.
    bool kept = false;
    data::TableOf(ScheduleDef()).ForEachMatch(ScheduleDef().key("SCH:KeyID"), {ScheduleDef().field("SCH:ID")},
                                              {Value(id)}, [&](int64_t, const void* r) {
                                                  kept = static_cast<const Schedule*>(r)->Disabled == 1;
                                                  return true;
                                              });
    EXPECT_TRUE(kept);
    Schedule_File().rec() = Schedule();
    EXPECT_NE(tasks::ReserveTaskID(), id);
}

}  // namespace
}  // namespace kr
