// The required-field check, the Qt message box service and popup menus.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <thread>

#include "UiTestSupport.h"
#include "platform/runtime/Services.h"
#include "platform/ui/PopupMenu.h"
#include "platform/ui/QtServices.h"
#include "platform/ui/RequiredFields.h"

namespace kr {
namespace {

using test::WaitFor;

// A form with two tabs: Description and Command on the first, Message on the second.
struct TabbedForm {
    QWidget window;
    QTabWidget* tabs;
    QLineEdit* description;
    QLineEdit* command;
    QLineEdit* message;
    QSpinBox* every;
    QLineEdit* optional;

    TabbedForm() {
        auto* l = new QVBoxLayout(&window);
        tabs = new QTabWidget(&window);
        l->addWidget(tabs);
        auto* p1 = new QWidget;
        auto* f1 = new QFormLayout(p1);
        description = new QLineEdit;
        command = new QLineEdit;
        every = new QSpinBox;
        optional = new QLineEdit;
        f1->addRow("&Description:", description);
        f1->addRow("Comma&nd:", command);
        f1->addRow("&Every:", every);
        f1->addRow("&Notes:", optional);
        auto* p2 = new QWidget;
        auto* f2 = new QFormLayout(p2);
        message = new QLineEdit;
        f2->addRow("&Message:", message);
        tabs->addTab(p1, "Task");
        tabs->addTab(p2, "Message");
        for (QLineEdit* e : {description, command, message}) RequiredFields::MarkRequired(e);
        RequiredFields::MarkRequired(every);
        RequiredFields::SetFieldName(description, "SCH:Description");
        description->setToolTip("Description or Title of Task");
        window.show();
    }
};

class FormServicesTest : public ::testing::Test {
protected:
    ScriptedResponder responder;
    ScopedMessageService scoped{&responder};
};

TEST_F(FormServicesTest, RequiredFieldsReportTheFirstEmptyControlWithItsPrompt) {
    TabbedForm f;
    RequiredFields rf;
    rf.Init(&f.window);
    ASSERT_EQ(rf.Rows().size(), 4u);
    EXPECT_EQ(rf.Rows()[0].prompt, "Description");
    EXPECT_EQ(rf.Rows()[0].fieldName, "SCH:Description");
    EXPECT_EQ(rf.Rows()[0].tip, "Description or Title of Task");
    EXPECT_EQ(rf.Rows()[3].prompt, "Message");

    EXPECT_EQ(rf.Check(false), f.description);
    ASSERT_EQ(responder.shown().size(), 1u);
    const MessageRequest m = responder.shown()[0].request;
    EXPECT_EQ(m.title, "Missing Information");
    EXPECT_EQ(m.text, "\"Description\" must be entered.");
    EXPECT_EQ(m.icon, MessageIcon::Exclamation);
    EXPECT_EQ(m.buttons, kButtonOk);
    EXPECT_TRUE(WaitFor([&] { return QApplication::focusWidget() == f.description; }));

    // Filling it, the next one is reported; a spin box at 0 counts as empty.
    f.description->setText("Backup");
    EXPECT_EQ(rf.Check(false), f.command);
    f.command->setText("N/A");
    EXPECT_EQ(rf.Check(false), f.every);
    EXPECT_EQ(responder.shown().back().request.text, "\"Every\" must be entered.");
    f.every->setValue(2);

    // The message entry stands on the tab not showing: Check(true) passes it
    // over, Check(false) reports it and brings its tab forward.
    EXPECT_EQ(rf.Check(true), nullptr);
    EXPECT_EQ(f.tabs->currentIndex(), 0);
    EXPECT_EQ(rf.Check(false), f.message);
    EXPECT_EQ(f.tabs->currentIndex(), 1);
    f.message->setText("Hello");
    EXPECT_EQ(rf.Check(false), nullptr);
}

TEST_F(FormServicesTest, DisabledReadOnlyAndHiddenControlsAreNeverReported) {
    TabbedForm f;
    RequiredFields rf;
    rf.Init(&f.window);
    f.description->setEnabled(false);
    f.command->setReadOnly(true);
    f.every->hide();       // hidden by the form, like the time box of a "None" task
    f.message->setText("x");
    EXPECT_EQ(rf.Check(false), nullptr);
    EXPECT_TRUE(responder.shown().empty());
}

TEST_F(FormServicesTest, SetMessageReplacesOrAddsARowAndTheTemplateTakesEveryPlaceholder) {
    TabbedForm f;
    RequiredFields rf;
    rf.Init(&f.window, "Missing Information", "@prompt (@FIELD) needs @Tip @MSG.");
    rf.SetMessage(f.optional, false, "Ignored", "m", "t", "X");
    EXPECT_EQ(rf.Rows().size(), 4u) << "no row without the add flag";
    rf.SetMessage(f.optional, true, "&Last Name:", "Last Name", "Last Name tip", "C_:LastName");
    ASSERT_EQ(rf.Rows().size(), 5u);
    EXPECT_EQ(rf.Rows()[3].control, f.optional) << "rows stay in window order";
    f.description->setText("d");
    f.command->setText("c");
    f.every->setValue(1);
    EXPECT_EQ(rf.Check(false), f.optional);
    EXPECT_EQ(responder.shown().back().request.text,
              "\"Last Name\" (\"C_:LastName\") needs Last Name tip Last Name.");

    // A prompt that holds a placeholder itself is put in once, not again and again.
    rf.SetMessage(f.optional, false, "@PROMPT", "", "", "");
    EXPECT_EQ(rf.MessageFor(rf.Rows()[3]), "\"@PROMPT\" (\"\") needs  .");
}

TEST_F(FormServicesTest, PromptsLoseAmpersandsAndColons) {
    EXPECT_EQ(CleanPrompt("&Description:"), "Description");
    EXPECT_EQ(CleanPrompt("Start &in:"), "Start in");
    QWidget w;
    auto* l = new QVBoxLayout(&w);
    auto* none = new QComboBox;  // no label before it
    l->addWidget(none);
    l->addWidget(new QLabel("Comma&nd:"));
    auto* plain = new QLineEdit;  // prompt taken from the label before it
    l->addWidget(plain);
    RequiredFields::MarkRequired(plain);
    RequiredFields::MarkRequired(none);
    RequiredFields rf;
    rf.Init(&w);
    ASSERT_EQ(rf.Rows().size(), 2u);
    EXPECT_EQ(rf.Rows()[0].control, none);
    EXPECT_EQ(rf.Rows()[0].prompt, "");
    EXPECT_EQ(rf.MessageFor(rf.Rows()[0]), "\"\" must be entered.");
    EXPECT_EQ(rf.Rows()[1].prompt, "Command");
}

// Answers the next message box: checks it, then presses the button with that text.
void AnswerNextBox(std::function<void(QMessageBox*)> check, QString press) {
    QTimer::singleShot(0, [check, press] {
        auto attempt = std::make_shared<std::function<void()>>();
        *attempt = [check, press, attempt] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                QTimer::singleShot(10, *attempt);
                return;
            }
            check(box);
            for (QAbstractButton* b : box->buttons())
                if (b->text() == press) b->click();
        };
        (*attempt)();
    });
}

TEST(QtMessageServiceTest, ShowsTheButtonsWithTheirDefaultAndReturnsThePressedOne) {
    QtMessageService qt;
    MessageRequest r;
    r.text = "First line|Second line";
    r.title = "Warning";
    r.icon = MessageIcon::Information;
    r.buttons = kButtonYes | kButtonNo;
    r.defaultButton = kButtonNo;
    QStringList texts;
    QString def, body, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    AnswerNextBox(
        [&](QMessageBox* box) {
            for (QAbstractButton* b : box->buttons()) texts << b->text();
            def = box->defaultButton() ? box->defaultButton()->text() : QString();
            body = box->text();
            title = box->windowTitle();
            icon = box->icon();
        },
        "&Yes");
    EXPECT_EQ(qt.Show(r), kButtonYes);
    texts.sort();
    EXPECT_EQ(texts, (QStringList{"&No", "&Yes"}));
    EXPECT_EQ(def, "&No");
    EXPECT_EQ(body, "First line\nSecond line");
    EXPECT_EQ(title, "Warning");
    EXPECT_EQ(icon, QMessageBox::Information);
}

TEST(QtMessageServiceTest, EscapeAndDefaultsFollowTheButtonsShown) {
    MessageRequest r;
    r.buttons = kButtonOk | kButtonCancel;
    std::unique_ptr<QMessageBox> box(MakeMessageBox(r));
    ASSERT_TRUE(box->defaultButton());
    EXPECT_EQ(box->defaultButton()->property("krButton").toInt(), kButtonOk) << "no default: the first button";
    ASSERT_TRUE(box->escapeButton());
    EXPECT_EQ(box->escapeButton()->property("krButton").toInt(), kButtonCancel);

    r.buttons = kButtonYes | kButtonNo;
    r.defaultButton = kButtonCancel;  // not shown: ignored
    r.icon = MessageIcon::Hand;
    box.reset(MakeMessageBox(r));
    EXPECT_EQ(box->defaultButton()->property("krButton").toInt(), kButtonYes);
    EXPECT_EQ(box->escapeButton()->property("krButton").toInt(), kButtonNo);
    EXPECT_EQ(box->icon(), QMessageBox::Critical);

    r.buttons = kButtonAbort | kButtonRetry | kButtonIgnore;
    r.topmost = true;
    box.reset(MakeMessageBox(r));
    EXPECT_EQ(box->buttons().size(), 3);
    EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
    // Staying on top keeps the title bar to the close box.
    EXPECT_FALSE(box->windowFlags() & Qt::WindowMinMaxButtonsHint);
    EXPECT_TRUE(box->windowFlags() & Qt::WindowCloseButtonHint);
}

TEST(QtMessageServiceTest, AMessageFromAWorkerThreadIsShownOnTheGuiThread) {
    QtMessageService qt;
    int answer = 0;
    std::atomic<bool> done{false};
    AnswerNextBox([](QMessageBox*) {}, "&OK");
    std::thread worker([&] {
        MessageRequest r;
        r.text = "From a worker";
        answer = qt.Show(r);
        done = true;
    });
    EXPECT_TRUE(WaitFor([&] { return done.load(); }, 5000));
    worker.join();
    EXPECT_EQ(answer, kButtonOk);
}

TEST(QtClipboardServiceTest, TextRoundTripsFromAnyThread) {
    QtClipboardService clip;
    clip.SetText("first");
    EXPECT_EQ(clip.Text(), "first");
    std::string seen;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        clip.SetText("from worker");
        seen = clip.Text();
        done = true;
    });
    EXPECT_TRUE(WaitFor([&] { return done.load(); }, 5000));
    worker.join();
    EXPECT_EQ(seen, "from worker");
}

TEST(PopupTest, TextsParseIntoNumberedChoicesWithSubmenusAndMarks) {
    auto items = ParsePopup("Set Message &Font|-|&Snooze{10 Minutes|30 Minutes|1 Hour|1 Day|Other}|Send &Email|"
                            "&Add to To Do List|-|E&xit");
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(items[0].number, 1);
    EXPECT_TRUE(items[1].separator);
    EXPECT_EQ(items[2].text, "&Snooze");
    EXPECT_EQ(items[2].number, 0) << "a submenu header takes no number";
    ASSERT_EQ(items[2].children.size(), 5u);
    EXPECT_EQ(items[2].children[0].number, 2);
    EXPECT_EQ(items[2].children[4].text, "Other");
    EXPECT_EQ(items[2].children[4].number, 6);
    EXPECT_EQ(items[3].number, 7);
    EXPECT_EQ(items[4].number, 8);
    EXPECT_EQ(items[6].text, "E&xit");
    EXPECT_EQ(items[6].number, 9);

    auto marks = ParsePopup("~Greyed|+Checked|-Unchecked|~+Both");
    EXPECT_FALSE(marks[0].enabled);
    EXPECT_EQ(marks[0].text, "Greyed");
    EXPECT_TRUE(marks[1].checkable && marks[1].checked);
    EXPECT_TRUE(marks[2].checkable && !marks[2].checked);
    EXPECT_EQ(marks[2].text, "Unchecked");
    EXPECT_FALSE(marks[3].enabled);
    EXPECT_TRUE(marks[3].checked);

    // Unbalanced braces do not throw the numbering off.
    auto odd = ParsePopup("A}|B{C|D");
    ASSERT_EQ(odd.size(), 2u);
    EXPECT_EQ(odd[0].number, 1);
    EXPECT_EQ(odd[1].children.size(), 2u);
    EXPECT_EQ(odd[1].children[1].number, 3);
    EXPECT_TRUE(ParsePopup("").empty());
}

TEST(PopupTest, PopupReturnsTheChoiceAndNothingForGreyedOrNoChoice) {
    std::vector<PopupItem> seen;
    int answer = 0;
    InstallPopupResponder([&](const std::vector<PopupItem>& items) {
        seen = items;
        return answer;
    });
    const char* quick = "5 minutes|10 minutes|30 minutes|1 hour|2 hours|3 hours|-|Cancel";
    answer = 2;
    EXPECT_EQ(Popup(quick), 2);
    EXPECT_EQ(seen.size(), 8u);
    answer = 7;
    EXPECT_EQ(Popup(quick), 7) << "Cancel is choice 7";
    answer = 0;
    EXPECT_EQ(Popup(quick), 0);
    answer = 1;
    EXPECT_EQ(Popup("~Greyed|Other"), 0);
    answer = 42;
    EXPECT_EQ(Popup(quick), 0);
    InstallPopupResponder({});
}

TEST(PopupTest, NamedItemsMimicButtonsRunActionsAndFollowTheirState) {
    QWidget w;
    auto* copy = new QPushButton("Cop&y", &w);
    int copies = 0;
    QObject::connect(copy, &QPushButton::clicked, [&] { ++copies; });
    int actions = 0;
    PopupMenu menu;
    menu.AddItem("Restore", "Restore", "restore.ico");
    menu.AddSeparator();
    menu.AddItemMimic("Copy", "Cop&y", copy);
    menu.AddItemAction("Stop", "~Stop Active Scripts", [&] { ++actions; });
    menu.AddSubMenu("Sort", "&Sort", "by &Index|by &Name");
    EXPECT_EQ(menu.ItemNames(), (std::vector<std::string>{"Restore", "Copy", "Stop", "Sort", "Sort1", "Sort2"}));
    EXPECT_FALSE(menu.ItemEnabled("Stop"));

    std::string pick;
    InstallPopupResponder([&](const std::vector<PopupItem>& items) {
        std::function<int(const std::vector<PopupItem>&)> find = [&](const std::vector<PopupItem>& list) {
            for (const PopupItem& it : list) {
                if (it.name == pick) return it.number;
                if (int n = find(it.children)) return n;
            }
            return 0;
        };
        return find(items);
    });
    pick = "Copy";
    EXPECT_EQ(menu.Ask(), "Copy");
    EXPECT_EQ(copies, 1);
    copy->setEnabled(false);
    EXPECT_FALSE(menu.ItemEnabled("copy"));
    EXPECT_EQ(menu.Ask(), "") << "a mimic of a disabled button cannot be chosen";
    EXPECT_EQ(copies, 1);

    pick = "Stop";
    EXPECT_EQ(menu.Ask(), "");
    menu.SetItemEnable("Stop", true);
    EXPECT_EQ(menu.Ask(), "Stop");
    EXPECT_EQ(actions, 1);

    pick = "Sort2";
    EXPECT_EQ(menu.Ask(), "Sort2");
    menu.SetItemCheck("Sort2", true);
    EXPECT_TRUE(menu.ItemChecked("sort2"));
    menu.SetText("Restore", "&Restore");
    EXPECT_EQ(menu.Text("Restore"), "&Restore");
    menu.DeleteItem("Sort");
    EXPECT_FALSE(menu.HasItem("Sort1"));
    InstallPopupResponder({});
}

}  // namespace
}  // namespace kr
