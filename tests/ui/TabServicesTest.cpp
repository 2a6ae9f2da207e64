// The tab services of the forms: the tab wizard stepping over hidden tabs
// with its Back, Next and OK states and the default button, the check on
// Next, and the tab highlighter's grey for the tabs not on show.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "UiTestSupport.h"
#include "platform/runtime/Services.h"
#include "platform/ui/TabHighlight.h"
#include "platform/ui/TabWizard.h"
#include "platform/ui/WindowManager.h"

namespace kr {
namespace {

// A form with four tabs, an entry on each, and Back, Next, OK, Cancel.
struct WizardLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QLineEdit* entry[4] = {};
    QPushButton *back = nullptr, *next = nullptr, *ok = nullptr, *cancel = nullptr;
    void Build() {
        window = new QWidget;
        auto* v = new QVBoxLayout(window);
        sheet = new QTabWidget(window);
        sheet->setObjectName("sheet");
        for (int i = 0; i < 4; ++i) {
            auto* page = new QWidget;
            auto* l = new QVBoxLayout(page);
            entry[i] = new QLineEdit(page);
            entry[i]->setObjectName(QString("entry%1").arg(i + 1));
            l->addWidget(entry[i]);
            sheet->addTab(page, QString("Step %1").arg(i + 1));
        }
        v->addWidget(sheet);
        auto* h = new QHBoxLayout;
        back = new QPushButton("< &Back", window);
        next = new QPushButton("&Next >", window);
        ok = new QPushButton("&Finish", window);
        cancel = new QPushButton("Cancel", window);
        h->addWidget(back);
        h->addWidget(next);
        h->addWidget(ok);
        h->addWidget(cancel);
        v->addLayout(h);
    }
};

// The wizard of the form: a tab is valid when its entry is not blank.
class StepWizard : public TabWizard {
public:
    WizardLayout* ui = nullptr;
    int afterNext = 0, afterBack = 0;
    void AfterNext() override { ++afterNext; }
    void AfterBack() override { ++afterBack; }
    int ValidateTab() override { return ui->entry[CurTabNum() - 1]->text().isEmpty() ? 1 : 0; }
};

class WizardWindow : public WindowManager {
public:
    WizardWindow(bool skipHidden, bool validate, bool coexist = false)
        : WindowManager("WizardProbe"), skip_(skipHidden), validate_(validate), coexist_(coexist) {}
    WizardLayout ui;
    StepWizard wizard;
    int completed = 0;
    bool hideThird = true;

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        if (hideThird) ui.sheet->setTabVisible(2, false);
        wizard.ui = &ui;
        wizard.Init(ui.sheet, ui.back, ui.next, ui.ok, ui.cancel, skip_, coexist_, validate_, true);
        return true;
    }
    void TakeAccepted(QObject* control) override { wizard.HandleAccepted(control); }
    void TakeNewSelection(QObject* control) override { wizard.HandleAccepted(control); }
    bool TakeCompleted() override {
        ++completed;
        return false;
    }

private:
    bool skip_, validate_, coexist_;
};

class TabServicesTest : public ::testing::Test {
protected:
    void TearDown() override { test::CloseAllWindows(); }
    WizardWindow* Open(bool skipHidden, bool validate, bool coexist = false) {
        auto* w = new WizardWindow(skipHidden, validate, coexist);
        w->SetRestorePosition(false);
        w->SetSavePosition(false);
        EXPECT_TRUE(w->Open());
        test::Pump();
        return w;
    }
    static void PressEnter(QWidget* focus) {
        focus->setFocus();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
        QApplication::sendEvent(focus, &press);
        test::Pump();
    }
    test::TempFolder folder_;
};

TEST_F(TabServicesTest, WizardStepsOverTheHiddenTabBothWays) {
    WizardWindow* w = Open(true, false);
    WizardLayout& ui = w->ui;
    EXPECT_TRUE(ui.sheet->tabBar()->isHidden());
    EXPECT_EQ(w->wizard.MinTab(), 1);
    EXPECT_EQ(w->wizard.MaxTab(), 4);
    EXPECT_EQ(ui.sheet->currentIndex(), 0);
    EXPECT_FALSE(ui.back->isEnabled());
    EXPECT_TRUE(ui.next->isEnabled() && ui.next->isDefault());
    EXPECT_FALSE(ui.ok->isDefault());

    // Enter presses the default button: Next.
    PressEnter(ui.entry[0]);
    EXPECT_EQ(w->wizard.CurTabNum(), 2);
    EXPECT_EQ(w->wizard.afterNext, 1);
    EXPECT_TRUE(ui.back->isEnabled());

    ui.next->click();
    EXPECT_EQ(w->wizard.CurTabNum(), 4);  // tab 3 is hidden
    EXPECT_EQ(ui.sheet->currentIndex(), 3);
    EXPECT_FALSE(ui.next->isEnabled());
    EXPECT_TRUE(ui.ok->isDefault());
    EXPECT_EQ(w->wizard.DefaultButton(), ui.ok);
    PressEnter(ui.entry[3]);
    EXPECT_EQ(w->completed, 1);

    ui.back->click();
    EXPECT_EQ(w->wizard.CurTabNum(), 2);
    EXPECT_EQ(w->wizard.afterBack, 1);
    ui.back->click();
    ui.back->click();  // stays on the first tab
    EXPECT_EQ(w->wizard.CurTabNum(), 1);
    EXPECT_FALSE(ui.back->isEnabled());

    // A tab chosen on the sheet itself: the buttons follow it.
    ui.sheet->setCurrentIndex(3);
    EXPECT_EQ(w->wizard.CurTabNum(), 4);
    EXPECT_FALSE(ui.next->isEnabled());
    EXPECT_TRUE(ui.ok->isDefault());
}

TEST_F(TabServicesTest, WithoutSkippingTheHiddenTabIsAStep) {
    WizardWindow* w = Open(false, false);
    w->ui.next->click();
    w->ui.next->click();
    EXPECT_EQ(w->wizard.CurTabNum(), 3);
    EXPECT_TRUE(w->ui.next->isEnabled());
}

TEST_F(TabServicesTest, HiddenLastTabEndsTheRange) {
    auto* w = new WizardWindow(true, false);
    w->hideThird = false;
    w->SetRestorePosition(false);
    w->SetSavePosition(false);
    ASSERT_TRUE(w->Open());
    w->ui.sheet->setTabVisible(0, false);
    w->ui.sheet->setTabVisible(3, false);
    w->wizard.SetTabRange();
    EXPECT_EQ(w->wizard.MinTab(), 2);
    EXPECT_EQ(w->wizard.MaxTab(), 3);
    w->ui.next->click();
    w->ui.next->click();
    EXPECT_EQ(w->wizard.CurTabNum(), 3);
    EXPECT_FALSE(w->ui.next->isEnabled());
}

TEST_F(TabServicesTest, CheckOnNextKeepsTheTabAndOkComesBackOnceTheLastTabPasses) {
    WizardWindow* w = Open(true, true);
    WizardLayout& ui = w->ui;
    ui.next->click();  // first tab blank: stays, and Next is disabled
    EXPECT_EQ(w->wizard.CurTabNum(), 1);
    EXPECT_FALSE(ui.next->isEnabled());
    ui.entry[0]->setText("a");
    emit ui.entry[0]->returnPressed();  // accepted: the tab passes, Next is back
    EXPECT_TRUE(ui.next->isEnabled());
    ui.next->click();
    EXPECT_EQ(w->wizard.CurTabNum(), 2);
    // Arriving on a tab that fails its check disables its default button.
    EXPECT_FALSE(ui.next->isEnabled());
    ui.entry[1]->setText("b");
    ui.entry[1]->setModified(true);
    PressEnter(ui.entry[1]);  // the entry accepted enables Next; Enter then presses it
    EXPECT_EQ(w->wizard.CurTabNum(), 4);
    EXPECT_FALSE(ui.ok->isEnabled());
    ui.entry[3]->setText("d");
    emit ui.entry[3]->returnPressed();
    EXPECT_TRUE(ui.ok->isEnabled());
    EXPECT_TRUE(ui.ok->isDefault());
    ui.ok->click();
    EXPECT_EQ(w->completed, 1);
}

TEST_F(TabServicesTest, OkTakesNextsPlaceOnTheLastTab) {
    WizardWindow* w = Open(true, false, true);
    WizardLayout& ui = w->ui;
    EXPECT_FALSE(ui.ok->isVisible());
    EXPECT_TRUE(ui.next->isVisible());
    ui.next->click();
    ui.next->click();
    test::Pump();
    EXPECT_TRUE(ui.ok->isVisible());
    EXPECT_FALSE(ui.next->isVisible());
    ui.back->click();
    EXPECT_FALSE(ui.ok->isVisible());
}

// A list window with a default button: Enter on the list is the list's own
// choice and does not press the button as well.
class ListProbe : public WindowManager {
public:
    ListProbe() : WindowManager("ListProbe") {}
    QListWidget* list = nullptr;
    QLineEdit* entry = nullptr;
    QPushButton* select = nullptr;
    QPushButton* cancel = nullptr;
    int chosen = 0, pressed = 0, cancelled = 0;

protected:
    QWidget* MakeWindow() override {
        auto* w = new QWidget;
        auto* v = new QVBoxLayout(w);
        list = new QListWidget(w);
        list->addItems({"one", "two"});
        list->setCurrentRow(0);
        entry = new QLineEdit(w);
        select = new QPushButton("&Select", w);
        select->setDefault(true);
        cancel = new QPushButton("Cancel", w);
        v->addWidget(list);
        v->addWidget(entry);
        v->addWidget(select);
        v->addWidget(cancel);
        return w;
    }
    void TakeAccepted(QObject* control) override {
        if (control == list) ++chosen;
        if (control == select) ++pressed;
        if (control == cancel) ++cancelled;
    }
};

TEST_F(TabServicesTest, EnterOnAListIsTheListsOwnChoice) {
    auto* w = new ListProbe;
    w->SetRestorePosition(false);
    w->SetSavePosition(false);
    ASSERT_TRUE(w->Open());
    test::Pump();
    w->Window()->activateWindow();
    PressEnter(w->list);
    EXPECT_EQ(w->chosen, 1);
    EXPECT_EQ(w->pressed, 0);
    PressEnter(w->entry);
    EXPECT_EQ(w->pressed, 1);
    // A button with the focus takes Enter instead of the default one: a
    // delete form's focused Cancel must not confirm the delete.
    PressEnter(w->cancel);
    EXPECT_EQ(w->cancelled, 1);
    EXPECT_EQ(w->pressed, 1);
}

// A form whose entry refuses "bad" with a message, and an OK button.
class RefusingProbe : public WindowManager {
public:
    RefusingProbe() : WindowManager("RefusingProbe") {}
    QLineEdit* entry = nullptr;
    QPushButton* ok = nullptr;
    int pressed = 0;

protected:
    QWidget* MakeWindow() override {
        auto* w = new QWidget;
        auto* v = new QVBoxLayout(w);
        entry = new QLineEdit(w);
        ok = new QPushButton("&OK", w);
        ok->setDefault(true);
        v->addWidget(entry);
        v->addWidget(ok);
        return w;
    }
    void TakeAccepted(QObject* control) override {
        if (control == entry && entry->text() == "bad") Message("Not that.", "Range Error");
        if (control == ok) ++pressed;
    }
};

TEST_F(TabServicesTest, EnterOnARefusedEntryShowsOneMessageAndDoesNotPressOk) {
    ScriptedResponder responder;
    ScopedMessageService scoped(&responder);
    auto* w = new RefusingProbe;
    w->SetRestorePosition(false);
    w->SetSavePosition(false);
    ASSERT_TRUE(w->Open());
    test::Pump();
    w->Window()->activateWindow();
    w->entry->setText("bad");
    PressEnter(w->entry);
    EXPECT_EQ(responder.shown().size(), 1u);
    EXPECT_EQ(w->pressed, 0);
    // A value taken without a word: the same Enter goes on to the default.
    w->entry->setText("good");
    PressEnter(w->entry);
    EXPECT_EQ(responder.shown().size(), 1u);
    EXPECT_EQ(w->pressed, 1);
}

// A form on a sheet that does not choose its first control itself.
class SheetProbe : public WindowManager {
public:
    SheetProbe() : WindowManager("SheetProbe") {}
    QTabWidget* sheet = nullptr;
    QLineEdit* first = nullptr;

protected:
    QWidget* MakeWindow() override {
        auto* w = new QWidget;
        auto* v = new QVBoxLayout(w);
        sheet = new QTabWidget(w);
        auto* page = new QWidget;
        auto* l = new QVBoxLayout(page);
        first = new QLineEdit(page);
        l->addWidget(first);
        sheet->addTab(page, "General");
        v->addWidget(sheet);
        v->addWidget(new QPushButton("&OK", w));
        return w;
    }
};

TEST_F(TabServicesTest, FormOnASheetStartsInItsFirstEntryNotOnTheTabs) {
    auto* w = new SheetProbe;
    w->SetRestorePosition(false);
    w->SetSavePosition(false);
    ASSERT_TRUE(w->Open());
    test::Pump();
    EXPECT_EQ(w->Window()->focusWidget(), w->first);
}

// The colour of a tab's face, sampled inside the tab away from its text.
QColor TabColour(QTabBar* bar, int index) {
    QImage img = bar->grab().toImage();
    const QRect r = bar->tabRect(index);
    return img.pixelColor(r.left() + 3, r.center().y());
}

TEST_F(TabServicesTest, HighlighterGreysTheTabsNotOnShowButNotAWizardSheet) {
    QWidget window;
    auto* v = new QVBoxLayout(&window);
    auto* sheet = new QTabWidget(&window);
    auto* wizardSheet = new QTabWidget(&window);
    for (QTabWidget* t : {sheet, wizardSheet}) {
        t->addTab(new QWidget, "General");
        t->addTab(new QWidget, "Advanced");
        v->addWidget(t);
    }
    wizardSheet->tabBar()->hide();
    window.resize(400, 300);
    window.show();
    TabHighlight tabs;
    tabs.Init(&window);
    ASSERT_EQ(tabs.SheetCount(), 2u);
    tabs.Refresh();
    test::Pump();
    const QColor grey(0xA7, 0xA7, 0xA7);
    EXPECT_EQ(TabColour(sheet->tabBar(), 1), grey);
    EXPECT_NE(TabColour(sheet->tabBar(), 0), grey);
    sheet->setCurrentIndex(1);
    tabs.Refresh();
    test::Pump();
    EXPECT_EQ(TabColour(sheet->tabBar(), 0), grey);
    EXPECT_NE(TabColour(sheet->tabBar(), 1), grey);
    EXPECT_TRUE(wizardSheet->tabBar()->styleSheet().isEmpty());

    // A window without sheets has nothing to do.
    QWidget plain;
    TabHighlight none;
    none.Init(&plain);
    none.Refresh();
    EXPECT_EQ(none.SheetCount(), 0u);
}

}  // namespace
}  // namespace kr
