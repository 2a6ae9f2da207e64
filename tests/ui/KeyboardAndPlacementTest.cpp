// The keyboard rules every window follows (Tab through lists, stray Alt
// letters), windows opening in the frame's cascade, the Tile and Cascade
// arrangements, and the icons the windows name.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QSpinBox>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QComboBox>
#include <QListWidget>
#include <QMainWindow>
#include <QTabWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include "ProbeWindow.h"
#include "UiTestSupport.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Services.h"
#include "platform/ui/Icons.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/WindowPosition.h"

namespace kr {
namespace {

using test::ProbeRecord;
using test::ProbeWindow;
using test::WaitFor;

TEST(KeyboardRulesTest, TabLeavesEveryKindOfListAndTheHighlightedRowStays) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* table = new QTableView(&window);
    auto* model = new QStandardItemModel(4, 3, table);
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    auto* listWidget = new QListWidget(&window);
    listWidget->addItems({"a", "b", "c"});
    auto* tree = new QTreeWidget(&window);
    for (const char* t : {"x", "y", "z"}) tree->addTopLevelItem(new QTreeWidgetItem(QStringList{t}));
    auto* after = new QLineEdit(&window);
    for (QWidget* w : std::initializer_list<QWidget*>{table, listWidget, tree, after}) layout->addWidget(w);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    std::vector<std::pair<QAbstractItemView*, QWidget*>> steps = {{table, listWidget}, {listWidget, tree}, {tree, after}};
    for (auto [view, next] : steps) {
        view->setFocus();
        view->setCurrentIndex(view->model()->index(1, 0));
        QTest::keyClick(view, Qt::Key_Down);
        ASSERT_EQ(view->currentIndex().row(), 2) << "the arrows move the row";
        QTest::keyClick(view, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << view->metaObject()->className();
        EXPECT_EQ(view->currentIndex().row(), 2) << view->metaObject()->className();
        EXPECT_EQ(view->currentIndex().column(), 0);
        // The list without the focus shows its row in another colour.
        EXPECT_NE(view->palette().color(QPalette::Inactive, QPalette::Highlight),
                  view->palette().color(QPalette::Active, QPalette::Highlight));
    }
    after->setFocus();
    QTest::keyClick(after, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), tree) << "Shift+Tab comes back into the list";
}

TEST(KeyboardRulesTest, StrayAltLettersAreSwallowedOthersStillWork) {
    QWidget window;
    window.setWindowTitle("Alt letters");
    auto* layout = new QVBoxLayout(&window);
    auto* label = new QLabel("&Name:", &window);
    auto* name = new QLineEdit(&window);
    label->setBuddy(name);
    auto* other = new QLineEdit(&window);
    auto* note = new QTextEdit(&window);
    for (QWidget* w : std::initializer_list<QWidget*>{label, name, other, note}) layout->addWidget(w);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &window; }));

    for (QWidget* entry : std::initializer_list<QWidget*>{other, note}) {
        entry->setFocus();
        QTest::keyClicks(entry, "dN/A");
        QTest::keyClick(entry, Qt::Key_D, Qt::AltModifier);
        const QString text = qobject_cast<QLineEdit*>(entry) ? other->text() : note->toPlainText();
        EXPECT_EQ(text, "dN/A") << "Alt+D with no control of that letter types nothing";
    }
    // Ctrl+Alt and AltGr characters type as before.
    other->setFocus();
    QTest::keyClick(other, Qt::Key_At, Qt::GroupSwitchModifier);
    EXPECT_EQ(other->text(), "dN/A@");
    // A letter a label takes moves the focus to its entry.
    QTest::keyClick(other, Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), name);
    EXPECT_EQ(name->text(), "");
}

// Records the key presses that reach a control.
class KeySpy : public QObject {
public:
    using QObject::QObject;
    std::vector<int> keys;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() != Qt::Key_Alt)
            keys.push_back(static_cast<QKeyEvent*>(e)->key());
        return false;
    }
};

TEST(KeyboardRulesTest, StrayAltLettersReachControlsThatDoNotTypeAndNoneThatWould) {
    QWidget window;
    window.setWindowTitle("Alt keys");
    auto* layout = new QVBoxLayout(&window);
    auto* table = new QTableView(&window);
    table->setModel(new QStandardItemModel(3, 2, table));
    auto* button = new QPushButton("Plain", &window);
    auto* spin = new QSpinBox(&window);
    auto* editable = new QComboBox(&window);
    editable->setEditable(true);
    auto* fixed = new QComboBox(&window);
    fixed->addItems({"Mon", "Tue"});
    auto* plain = new QPlainTextEdit(&window);
    for (QWidget* w : std::initializer_list<QWidget*>{table, button, spin, editable, fixed, plain}) layout->addWidget(w);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &window; }));

    // A list, a button and a fixed drop list get their Alt letters and digits.
    for (QWidget* w : std::initializer_list<QWidget*>{table, button, fixed}) {
        KeySpy spy;
        w->installEventFilter(&spy);
        w->setFocus();
        QTest::keyClick(w, Qt::Key_M, Qt::AltModifier);
        QTest::keyClick(w, Qt::Key_1, Qt::AltModifier);
        w->removeEventFilter(&spy);
        EXPECT_EQ(spy.keys, (std::vector<int>{Qt::Key_M, Qt::Key_1})) << w->metaObject()->className();
    }
    // The controls that type swallow them.
    spin->setValue(5);
    spin->setFocus();
    QTest::keyClick(spin, Qt::Key_7, Qt::AltModifier);
    QTest::keyClick(spin, Qt::Key_M, Qt::AltModifier);
    EXPECT_EQ(spin->text(), "5");
    editable->setFocus();
    QTest::keyClicks(editable, "ab");
    QTest::keyClick(editable, Qt::Key_M, Qt::AltModifier);
    EXPECT_EQ(editable->currentText(), "ab");
    plain->setFocus();
    QTest::keyClicks(plain, "ab");
    QTest::keyClick(plain, Qt::Key_M, Qt::AltModifier);
    EXPECT_EQ(plain->toPlainText(), "ab");
}

TEST(KeyboardRulesTest, DialogKeysLeaveEntriesTurnPagesAndOpenPopups) {
    QWidget window;
    window.setWindowTitle("Dialog keys");
    auto* outer = new QVBoxLayout(&window);
    auto* sheet = new QTabWidget(&window);
    auto* first = new QWidget;
    auto* firstLayout = new QVBoxLayout(first);
    auto* before = new QLineEdit(first);
    auto* plain = new QPlainTextEdit(first);
    auto* rich = new QTextEdit(first);
    auto* after = new QLineEdit(first);
    for (QWidget* w : std::initializer_list<QWidget*>{before, plain, rich, after}) firstLayout->addWidget(w);
    auto* second = new QWidget;
    auto* secondLayout = new QVBoxLayout(second);
    auto* combo = new QComboBox(second);
    combo->addItems({"Windows Default", "October 31, 1959"});
    auto* list = new QListWidget(second);
    list->addItems({"a", "b"});
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    secondLayout->addWidget(combo);
    secondLayout->addWidget(list);
    sheet->addTab(first, "One");
    sheet->addTab(second, "Two");
    sheet->addTab(new QWidget, "Off");
    sheet->setTabEnabled(2, false);
    outer->addWidget(sheet);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &window; }));

    // Tab and Shift+Tab pass through both kinds of multi-line entry; they type nothing.
    plain->setFocus();
    QTest::keyClick(plain, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), rich);
    QTest::keyClick(rich, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), after);
    QTest::keyClick(after, Qt::Key_Backtab, Qt::ShiftModifier);
    QTest::keyClick(rich, Qt::Key_Backtab, Qt::ShiftModifier);
    QTest::keyClick(plain, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), before);
    EXPECT_EQ(plain->toPlainText(), "");
    EXPECT_EQ(rich->toPlainText(), "");

    // Ctrl+Tab turns the page from an entry and from a drop list, skipping
    // a page that is off, and Ctrl+Shift+Tab turns it back.
    plain->setFocus();
    QTest::keyClick(plain, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(sheet->currentIndex(), 1);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(sheet->currentIndex(), 0) << "the drop list kept the key";
    EXPECT_EQ(combo->currentIndex(), 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(sheet->currentIndex(), 1);

    // Shift+F10 asks the focused list for its popup, as the Menu key does.
    int asked = 0;
    QObject::connect(list, &QWidget::customContextMenuRequested, [&](const QPoint&) { ++asked; });
    list->setFocus();
    QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(asked, 1);
}

class PlacementTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
        frame.setWindowTitle("Frame");
        frame.menuBar()->addMenu("&File");
        frame.addToolBar("Commands")->addAction("Go");
        frame.setGeometry(avail.x() + 30, avail.y() + 20, 500, 300);
        frame.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
        SetCascadeFrame(&frame);
    }
    void TearDown() override {
        SetCascadeFrame(nullptr);
        test::CloseAllWindows();
    }
    // The lowest screen line of the frame's menu bar and toolbar.
    int BarsBottom() {
        int bottom = 0;
        for (QWidget* bar : std::initializer_list<QWidget*>{frame.menuBar(), frame.findChild<QToolBar*>()})
            bottom = std::max(bottom, bar->mapToGlobal(QPoint(0, bar->height())).y());
        return bottom;
    }
    test::TempFolder folder;
    QMainWindow frame;
};

TEST_F(PlacementTest, NewWindowsCascadeUnderTheFramesMenusASavedPositionWins) {
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    ProbeWindow* first = test::OpenPositionedProbe("First");
    ProbeWindow* second = test::OpenPositionedProbe("Second");
    ASSERT_TRUE(first && second);
    const QRect a = first->Window()->frameGeometry(), b = second->Window()->frameGeometry();
    EXPECT_GE(a.top(), BarsBottom()) << "not over the frame's menu bar";
    EXPECT_GT(a.left(), frame.frameGeometry().left());
    EXPECT_GT(b.top(), a.top()) << "each one a step lower";
    EXPECT_GT(b.left(), a.left()) << "and to the right";
    EXPECT_TRUE(avail.contains(a) && avail.contains(b));

    // Saved: it opens where it was left.
    second->Window()->setGeometry(avail.x() + 300, avail.y() + 400, 200, 150);
    second->Window()->close();
    test::Pump();
    ProbeWindow* again = test::OpenPositionedProbe("Second");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Window()->geometry().topLeft(), QPoint(avail.x() + 300, avail.y() + 400));
}

// Title bar included: a window restored from a position saved above, left
// of and wider than the screen, or grown past the screen's edge, is moved
// onto the work area and cut only to the area's size.
TEST_F(PlacementTest, WindowsLieWhollyOnTheWorkAreaRestoredOrGrown) {
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    IniFile(PositionFile()).SaveWindow("Off", WindowPlacement{avail.x() - 300, avail.y() - 40,
                                                              avail.width() + 500, 150, false});
    ProbeWindow* off = test::OpenPositionedProbe("Off");
    ASSERT_TRUE(off);
    test::Pump();
    QWidget* w = off->Window();
    EXPECT_TRUE(avail.contains(w->frameGeometry())) << "frame off the screen";
    EXPECT_EQ(w->frameGeometry().width(), avail.width());
    EXPECT_EQ(w->height(), std::max(150, w->minimumSizeHint().height())) << "cut where it need not be";

    // A page that needs more room grows it past the right edge: it comes
    // back onto the area.
    w->resize(200, 150);
    w->move(avail.right() - 250, avail.y() + 100);
    test::Pump();
    w->setMinimumWidth(400);
    test::Pump();
    EXPECT_GE(w->width(), 400);
    EXPECT_LE(w->frameGeometry().right(), avail.right()) << "grown past the screen's edge";
}

TEST_F(PlacementTest, TheCascadeStartsAgainBeforeLeavingTheScreen) {
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize outer(avail.width() / 2, avail.height() / 2);
    QRect last;
    for (int n = 0; n < 60; ++n) {
        const QRect slot = CascadeSlot(n, outer);
        EXPECT_TRUE(avail.contains(slot)) << n;
        EXPECT_GE(slot.top(), BarsBottom()) << n;
        if (n > 0 && slot.top() < last.top()) {
            EXPECT_EQ(slot, CascadeSlot(0, outer)) << "back to the first step";
        }
        last = slot;
    }
    // A window taller than the room under the menus is cut to it.
    const QRect tall = CascadeSlot(0, QSize(300, avail.height() * 2));
    EXPECT_LE(tall.bottom(), avail.bottom());
    EXPECT_GE(tall.top(), BarsBottom());
}

TEST_F(PlacementTest, TileAndCascadeArrangeTheOpenWindowsBesideTheFrame) {
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    std::vector<ProbeWindow*> windows;
    for (const char* name : {"One", "Two", "Three"}) windows.push_back(test::OpenPositionedProbe(name));
    for (ProbeWindow* w : windows) ASSERT_TRUE(w);
    ASSERT_EQ(ArrangeableWindows().size(), 3u) << "the frame is not among them";
    std::vector<QSize> opened;
    for (ProbeWindow* w : windows) opened.push_back(w->Window()->size());

    TileWindows();
    test::Pump();
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const QRect g = windows[i]->Window()->frameGeometry();
        EXPECT_TRUE(avail.contains(g)) << i;
        EXPECT_GE(g.top(), BarsBottom()) << i;
        for (std::size_t j = i + 1; j < windows.size(); ++j)
            EXPECT_FALSE(g.intersects(windows[j]->Window()->frameGeometry())) << i << " and " << j << " overlap";
    }

    // Cascade after Tile: each window at the size it opened with again.
    CascadeWindows();
    test::Pump();
    for (std::size_t i = 1; i < windows.size(); ++i) {
        const QRect prev = windows[i - 1]->Window()->frameGeometry(), g = windows[i]->Window()->frameGeometry();
        EXPECT_GT(g.top(), prev.top()) << i;
        EXPECT_GT(g.left(), prev.left()) << i;
    }
    for (std::size_t i = 0; i < windows.size(); ++i) EXPECT_EQ(windows[i]->Window()->size(), opened[i]) << i;
}

TEST_F(PlacementTest, ArrangementsPassOverUntitledWindowsStepTallOnesAndKeepMinimumSizes) {
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    // A window without a title, as the tray icon's is: neither listed nor moved.
    QWidget untitled;
    untitled.setGeometry(avail.x() + 5, avail.bottom() - 40, 30, 30);
    untitled.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&untitled));
    const QRect untitledAt = untitled.geometry();
    // Windows that open as tall as the screen (their saved size) still
    // cascade one step apart.
    for (const char* name : {"One", "Two", "Three", "Four"})
        IniFile(PositionFile()).SaveWindow(name, WindowPlacement{avail.x(), avail.y(), avail.width() * 3 / 4,
                                                                 avail.height(), false});
    std::vector<ProbeWindow*> windows;
    for (const char* name : {"One", "Two", "Three", "Four"}) windows.push_back(test::OpenPositionedProbe(name));
    for (ProbeWindow* w : windows) ASSERT_TRUE(w);
    ASSERT_EQ(ArrangeableWindows().size(), 4u);
    CascadeWindows();
    test::Pump();
    for (std::size_t i = 1; i < windows.size(); ++i) {
        const QRect prev = windows[i - 1]->Window()->frameGeometry(), g = windows[i]->Window()->frameGeometry();
        EXPECT_GT(g.top(), prev.top()) << i;
        EXPECT_EQ(g.top() - prev.top(), g.left() - prev.left()) << i;
        EXPECT_TRUE(avail.contains(g)) << i;
    }
    EXPECT_EQ(untitled.geometry(), untitledAt);

    // Tiled, no window is smaller than its minimum.
    for (ProbeWindow* w : windows) w->Window()->setMinimumSize(avail.width() / 3, avail.height() / 5);
    TileWindows();
    test::Pump();
    for (ProbeWindow* w : windows) {
        EXPECT_GE(w->Window()->width(), w->Window()->minimumWidth());
        EXPECT_GE(w->Window()->height(), w->Window()->minimumHeight());
        EXPECT_TRUE(avail.contains(w->Window()->frameGeometry()));
    }
    EXPECT_EQ(untitled.geometry(), untitledAt);
}

TEST(IconsTest, EveryNamedIconHasAnImageAndMessagesHaveNoMinimiseOrMaximise) {
    // The names the windows, buttons, popups and pictures give, in the
    // spellings they give them.
    const char* const names[] = {
        "CANCEL.ICO", "~close.ico", "OK.ICO", "~blank.ico", "PICK.ICO", "EXIT.ICO", "WIZARD.ICO", "~done.ico",
        "~SmallTik.Ico", "timedate.ico", "OPEN.ICO", "CRDFLE09.ICO", "busykey.ico", "busykey2.ico",
        "busykey3.ico", "busykey4.ico", "~WRITE.GIF", "~TIMEPC_L.GIF", "WRITE.GIF",
        "TIMEPC_L.GIF", "stopscr.ico", "MOVEUP.ICO", "MOVEDOWN.ICO", "Clipbrd.ico", "0MSG.ICO", "~XpCheck.ICO",
        "~skipped.ico", "~skip.ico", "~progtsk2.ico", "~notdone.ico", "~msgtask.ico", "~disabled.ico",
        "~bothtask.ico", "wrench16.ico", "TORNTASK.ICO", "TIMERED2.ICO", "taskdoc1.ico", "sqbe_hlp.ico",
        "SQBE_GO.ICO", "SPEAKER2.ICO", "scrwiz16.ico", "restore.ico", "prgwiz16.ico", "msgwiz16.ico",
        "keydown.ico", "insert.ico", "iexpprog.ico", "hotkeys.gif", "fourstar.ico", "cut.ico", "CLOSE.ICO",
        "CAL2.ICO", "CAL.ICO", "backup.ico", "0TODO.ICO", "0PRG.ICO", "TODO.ICO", "resched.ico", "quickst.ico",
        "NOW.ICO", "green16.ico"};
    for (const char* name : names) {
        const QIcon icon = IconByName(name);
        EXPECT_FALSE(icon.isNull()) << name;
        EXPECT_FALSE(icon.pixmap(16, 16).isNull()) << name;
    }
    EXPECT_FALSE(ProgramIcon().isNull());
    // Drawn when a size is asked for: every size the tray or the window
    // manager may choose, at the size asked, and a disabled look of its own.
    const QIcon drawn = IconByName("resched.ico");
    EXPECT_EQ(drawn.availableSizes(), (QList<QSize>{{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}}));
    for (int side : {16, 20, 64}) {
        const QImage image = drawn.pixmap(side, side).toImage();
        EXPECT_EQ(image.size(), QSize(side, side));
        EXPECT_NE(image.pixel(side / 2, side / 2), 0u) << "nothing drawn at " << side;
    }
    EXPECT_NE(drawn.pixmap(16, 16, QIcon::Disabled).toImage(), drawn.pixmap(16, 16).toImage());

    QMessageBox* box = nullptr;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
        if (!box) return;
        EXPECT_FALSE(box->windowIcon().isNull());
        EXPECT_FALSE(box->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        EXPECT_TRUE(box->windowFlags() & Qt::CustomizeWindowHint) << "the window manager is told: no such buttons";
        box->buttons().front()->click();
    });
    Message("Something happened.", "Status");
    EXPECT_NE(box, nullptr);
}

}  // namespace
}  // namespace kr
