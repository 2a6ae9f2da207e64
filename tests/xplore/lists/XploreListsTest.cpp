// The header popup on two real lists offscreen, the schedule list and the
// to-do list over a real data file: a filter chosen from the popup narrows
// the rows and stays through a change of tab; a column moved, hidden,
// re-aligned, re-coloured and re-titled is saved and comes back when the
// list opens again, and "&Default" brings back the designed layout.
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

#include "../../ui/TableWindowsFixture.h"
#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "organiser/windows/ClipboardWindows.h"
#include "organiser/windows/ToDoWindows.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/IniFile.h"
#include "platform/ui/PopupMenu.h"
#include "platform/ui/ProcedureThread.h"
#include "scheduler/ClipboardMonitor.h"
#include "tasks/windows/TaskWindows.h"

namespace kr::xplore {
namespace {

using test::Pump;
using test::WaitFor;

class XploreListsTest : public test::TableWindowsTest {
protected:
    XploreListsTest() : TableWindowsTest(MakeDate(7, 1, 2024), MakeTime(8, 0)) {}
    void TearDown() override {
        InstallPopupResponder({});
        TableWindowsTest::TearDown();
    }
    static data::Table& sch() { return data::TableOf(ScheduleDef()); }
    static data::Table& scr() { return data::TableOf(ScriptingDef()); }
    static data::Table& todo() { return data::TableOf(TodoDef()); }
    static data::Table& cat() { return data::TableOf(CategoriesDef()); }

    static const PopupItem* FindItem(const std::vector<PopupItem>& items, const std::string& name) {
        for (const PopupItem& i : items) {
            if (i.name == name) return &i;
            if (const PopupItem* f = FindItem(i.children, name)) return f;
        }
        return nullptr;
    }
    // A right click on a cell; the popup answers with the named item. The
    // items as they were shown are kept in shown_.
    void Choose(QTableView* list, int row, int column, const std::string& name) {
        list->setFocus();
        list->selectRow(row);
        Pump(20);
        InstallPopupResponder([this, name](const std::vector<PopupItem>& items) {
            shown_ = items;
            const PopupItem* i = FindItem(items, name);
            return i && i->enabled ? i->number : 0;
        });
        const QPoint at = list->viewport()->mapTo(list, list->visualRect(list->model()->index(row, column)).center());
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at, list->mapToGlobal(at));
        QApplication::sendEvent(list, &menu);
        Pump(50);
    }
    static QWidget* Window(const char* name) {
        QWidget* found = nullptr;
        WaitFor([&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->objectName() == name) found = w;
            return found != nullptr;
        });
        return found;
    }
    static QStringList Headers(QTableView* list) {
        QStringList out;
        QHeaderView* h = list->horizontalHeader();
        for (int v = 0; v < h->count(); ++v) {
            const int logical = h->logicalIndex(v);
            if (!list->isColumnHidden(logical))
                out << list->model()->headerData(logical, Qt::Horizontal).toString();
        }
        return out;
    }
    std::vector<PopupItem> shown_;
};

// Pixels of a cell that stand out from its background, taken at its
// top-left corner (an icon is centred in the row's height, clear of it).
int IconInk(QTableView* view, int row, int logical) {
    const QImage shown = view->viewport()->grab().toImage();
    const qreal dpr = shown.devicePixelRatio();
    auto at = [&](int x, int y) { return shown.pixelColor(qRound(x * dpr), qRound(y * dpr)); };
    const QRect cell = view->visualRect(view->model()->index(row, logical));
    const QColor bg = at(cell.left() + 1, cell.top() + 1);
    int ink = 0;
    for (int y = cell.top() + 2; y < cell.bottom(); ++y)
        for (int x = cell.left() + 2; x < cell.right(); ++x) {
            const QColor c = at(x, y);
            if (std::abs(c.red() - bg.red()) + std::abs(c.green() - bg.green()) + std::abs(c.blue() - bg.blue()) > 90)
                ++ink;
        }
    return ink;
}

TEST_F(XploreListsTest, ScheduleListFilterFromThePopupNarrowsAndSurvivesATabChange) {
    CreateAndOpen({&sch(), &scr(), &cat()});
    const char* cats[] = {"Work", "Home", "work", "Home", "Work"};
    for (int i = 0; i < 5; ++i) {
        sch().Clear();
        Schedule& s = sch().Rec<Schedule>();
        s.ID = i + 1;
        s.Description = "Task " + std::to_string(i + 1);
        s.Category = cats[i];
        s.TaskType = "Display Message";
        s.ScheduleType = "Day of Week";
        s.Monday = 1;
        s.Message = "Hello";
        s.Command = "N/A";
        s.Date = MakeDate(7, 2 + i, 2024);
        s.Time = MakeTime(9, 0);
        ASSERT_EQ(sch().Add(), 0);
    }
    Start("BrowseSchedule", [] { tasks::BrowseSchedule(); });
    QWidget* w = WindowTitled("Scheduled Tasks");
    ASSERT_NE(w, nullptr);
    auto* list = Child<QTableView>(w, "list");
    auto* sheet = Child<QTabWidget>(w, "sheet");
    sheet->setCurrentIndex(1);
    Pump(20);
    ASSERT_EQ(list->model()->rowCount(), 5);

    // The computed schedule type offers no filter.
    Choose(list, 0, 6, "ADDF1");
    ASSERT_NE(FindItem(shown_, "ADDF1"), nullptr);
    EXPECT_FALSE(FindItem(shown_, "ADDF1")->enabled);
    EXPECT_EQ(list->model()->rowCount(), 5);
    // The list's own items come first, the header popup after a separator.
    EXPECT_EQ(shown_.front().name, "Special");
    EXPECT_NE(FindItem(shown_, "S11"), nullptr);

    // Category = Work (without regard to case) on the first row's cell.
    Choose(list, 0, 4, "ADDF1");
    EXPECT_EQ(FindItem(shown_, "ADDF1")->text, "Add Filter of (Basic - Task Category=Work)");
    ASSERT_TRUE(WaitFor([&] { return list->model()->rowCount() == 3; }));
    // The query's tab (another order) keeps the filter, and so does coming back.
    sheet->setCurrentIndex(3);
    Pump(20);
    EXPECT_EQ(list->model()->rowCount(), 3);
    sheet->setCurrentIndex(1);
    Pump(20);
    EXPECT_EQ(list->model()->rowCount(), 3);
    // A date filter on top: after the first row's date.
    Choose(list, 0, 2, "ADDF3");
    ASSERT_TRUE(WaitFor([&] { return list->model()->rowCount() == 2; }));
    // Cancel Filter shows every task again.
    Choose(list, 0, 5, "VOID");
    ASSERT_TRUE(WaitFor([&] { return list->model()->rowCount() == 5; }));
}

class ToDoXploreTest : public XploreListsTest {
protected:
    void SetUp() override {
        XploreListsTest::SetUp();
        CreateAndOpen({&todo(), &cat()});
        for (const char* c : {"General", "Home", "Work"}) {
            cat().Clear();
            cat().Rec<Categories>().Category = c;
            ASSERT_EQ(cat().Add(), 0);
        }
        const char* what[] = {"Buy milk", "Call Bob", "Fix roof", "Pay rent"};
        const char* where[] = {"Home", "Work", "Home", "General"};
        for (int i = 0; i < 4; ++i) {
            todo().Clear();
            Todo& t = todo().Rec<Todo>();
            t.ToDo = what[i];
            t.Category = where[i];
            t.Priority = static_cast<uint8_t>(i + 1);
            t.OriginalID = i + 1;
            ASSERT_EQ(todo().Add(), 0);
        }
    }
    QTableView* Open() {
        Start("BrowseToDoList", [] { organiser::BrowseToDoList(); });
        QWidget* w = WindowTitled("To Do");
        return w ? Child<QTableView>(w, "list") : nullptr;
    }
    static void CloseList(QTableView* list) {
        QPointer<QWidget> w = list->window();
        w->close();
        WaitFor([&] { return !w || !w->isVisible(); });
        Pump(50);
    }
    static std::string Saved() {
        return GetIniValue(".\\POSITION.INI", "BrowseToDoList", "XploreFormatString-?Browse:11");
    }
};

TEST_F(ToDoXploreTest, TheDoneColumnShowsATickForDoneItemsOnlyAndKeepsItWholeAfterABestFit) {
    // "Pay rent" done: on the Done tab it sorts last, clear of the highlight
    // on the first row.
    todo().Clear();
    Todo& t = todo().Rec<Todo>();
    t.ToDo = "Pay rent";
    ASSERT_EQ(todo().Get(TodoDef().key("TDO:KeyToDo")), 0);
    t.Done = 1;
    ASSERT_EQ(todo().Put(), 0);
    QTableView* list = Open();
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(WaitFor([&] { return list->model()->rowCount() == 4; }));
    ASSERT_EQ(list->model()->index(3, 2).data().toString(), "Pay rent");
    Pump(50);
    const int tick = IconInk(list, 3, 0);
    EXPECT_GT(tick, 10) << "no tick on the done item";
    EXPECT_EQ(IconInk(list, 1, 0), 0) << "an open item shows a mark";

    // Best fit (Alt+F11) sizes the icon-only column to its icon, not to its
    // empty text.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_F11, Qt::AltModifier);
    Pump(50);
    EXPECT_EQ(IconInk(list, 3, 0), tick) << "the tick is cut after a best fit";
}

TEST_F(ToDoXploreTest, FilterSurvivesATabChange) {
    QTableView* list = Open();
    ASSERT_NE(list, nullptr);
    QTabWidget* sheet = Child<QTabWidget>(list->window(), "sheet");
    ASSERT_EQ(list->model()->rowCount(), 4);
    // Priority column: after the second row's priority.
    int row = -1;
    for (int r = 0; r < 4; ++r)
        if (list->model()->index(r, 1).data().toString().trimmed() == "2") row = r;
    ASSERT_GE(row, 0);
    Choose(list, row, 1, "ADDF3");
    ASSERT_TRUE(WaitFor([&] { return list->model()->rowCount() == 2; }));
    sheet->setCurrentIndex(2);
    Pump(20);
    EXPECT_EQ(list->model()->rowCount(), 2);
    Choose(list, 0, 2, "ADDF4");  // and not this one
    ASSERT_TRUE(WaitFor([&] { return list->model()->rowCount() == 1; }));
}

TEST_F(ToDoXploreTest, ALayoutChangedThroughThePopupIsSavedAndComesBack) {
    QTableView* list = Open();
    ASSERT_NE(list, nullptr);
    const QStringList designed = Headers(list);
    ASSERT_EQ(designed, (QStringList{"", "Priority", "To Do", "Category", "Completion Date", "Completion Time"}));

    // Move "Priority" right, past "To Do".
    Choose(list, 0, 1, "MCR");
    EXPECT_EQ(Headers(list), (QStringList{"", "To Do", "Priority", "Category", "Completion Date", "Completion Time"}));
    // Data of "Category" to the right.
    Choose(list, 0, 3, "FJR");
    EXPECT_EQ(list->model()->index(0, 3).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight, Qt::AlignRight);
    // Its colours: red text.
    Choose(list, 0, 3, "CLR");
    QWidget* colours = Window("ColumnColors");
    ASSERT_NE(colours, nullptr);
    EXPECT_EQ(colours->windowTitle(), "Colors for Column: Category");
    auto* text = Child<QComboBox>(colours, "normalText");
    EXPECT_EQ(text->currentIndex(), 0);  // "None"
    text->setCurrentIndex(text->findText("Red"));
    emit text->activated(text->currentIndex());
    Pump(20);
    EXPECT_EQ(list->model()->index(0, 3).data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
    Click(colours, "close");
    // Its header text.
    Choose(list, 0, 3, "HDR");
    QWidget* attribute = Window("Attribute");
    ASSERT_NE(attribute, nullptr);
    EXPECT_EQ(attribute->windowTitle(), "Header Text: Category");
    auto* entry = Child<QLineEdit>(attribute, "value");
    entry->selectAll();
    QTest::keyClicks(entry, "Group");
    QTest::keyClick(entry, Qt::Key_Return);
    Pump(20);
    EXPECT_TRUE(attribute->isVisible());  // Enter takes the text; Close ends the window
    Click(attribute, "close");
    // Hide "Completion Time" in List Properties.
    Choose(list, 0, 5, "PRP");
    QWidget* props = Window("ListProperties");
    ASSERT_NE(props, nullptr);
    auto* columns = Child<QListWidget>(props, "columns");
    ASSERT_EQ(columns->count(), 6);
    columns->setCurrentRow(5);
    Click(props, "hide");
    EXPECT_EQ(columns->count(), 5);
    auto* fields = Child<QListWidget>(props, "fields");
    EXPECT_EQ(fields->item(5)->data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    Click(props, "close");
    const QStringList changed = {"", "To Do", "Priority", "Group", "Completion Date"};
    EXPECT_EQ(Headers(list), changed);

    CloseList(list);
    const std::string saved = Saved();
    EXPECT_NE(saved.find("~Group~"), std::string::npos) << saved;
    EXPECT_NE(saved.find("E(255,,,)"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("Completion Time"), std::string::npos) << saved;

    list = Open();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Headers(list), changed);
    EXPECT_EQ(list->model()->index(0, 3).data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
    EXPECT_EQ(list->model()->index(0, 3).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight, Qt::AlignRight);

    // "&Default" brings back the designed layout, and Add shows a hidden
    // field again, ticked.
    Choose(list, 0, 1, "PRP");
    props = Window("ListProperties");
    ASSERT_NE(props, nullptr);
    Click(props, "default");
    // The default layout shows the saved sort column's mark.
    QStringList reset = designed;
    reset[0] = ">";
    EXPECT_EQ(Headers(list), reset);
    EXPECT_FALSE(list->model()->index(0, 3).data(Qt::ForegroundRole).isValid());
    columns = Child<QListWidget>(props, "columns");
    fields = Child<QListWidget>(props, "fields");
    columns->setCurrentRow(5);
    Click(props, "hide");
    fields->setCurrentRow(5);
    Click(props, "add");
    EXPECT_EQ(columns->count(), 6);
    EXPECT_EQ(fields->item(5)->data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(Headers(list), reset);
    // Already shown: it stays where it is.
    fields->setCurrentRow(1);
    Click(props, "add");
    EXPECT_EQ(columns->count(), 6);
    EXPECT_EQ(columns->currentRow(), 1);
    Click(props, "close");
}

TEST_F(ToDoXploreTest, ListPropertiesColumnKeysWorkFromEveryControlAndNeverStepASpinBox) {
    QTableView* list = Open();
    ASSERT_NE(list, nullptr);
    const QStringList designed = Headers(list);
    Choose(list, 0, 1, "PRP");
    QWidget* props = Window("ListProperties");
    ASSERT_NE(props, nullptr);
    props->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == props; }));
    // Add and Hide take no letter: Alt+D is "&Default"'s alone.
    EXPECT_EQ(Child<QPushButton>(props, "add")->text(), "Add");
    EXPECT_EQ(Child<QPushButton>(props, "hide")->text(), "Hide");
    auto* columns = Child<QListWidget>(props, "columns");
    auto* fields = Child<QListWidget>(props, "fields");
    auto* offset = Child<QSpinBox>(props, "fieldOffset");
    columns->setCurrentRow(1);  // Priority
    const int value = offset->value();

    // Alt+Down in a spin box moves the column right and leaves the value.
    offset->setFocus();
    QTest::keyClick(offset, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(Headers(list), (QStringList{"", "To Do", "Priority", "Category", "Completion Date", "Completion Time"}));
    EXPECT_EQ(columns->currentRow(), 2);
    EXPECT_EQ(offset->value(), value);
    QTest::keyClick(offset, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(Headers(list), designed);
    EXPECT_EQ(offset->value(), value);
    // From the column list and from a button.
    columns->setFocus();
    QTest::keyClick(columns, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(columns->currentRow(), 2);
    auto* colours = Child<QPushButton>(props, "colors");
    colours->setFocus();
    QTest::keyClick(colours, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(Headers(list), designed);
    EXPECT_EQ(QApplication::focusWidget(), colours);
    // Alt+Left in the header text entry hides the current column, Alt+Right
    // from the field list adds it again.
    auto* header = Child<QLineEdit>(props, "headerText");
    header->setFocus();
    QTest::keyClick(header, Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(columns->count(), 5);
    fields->setFocus();
    fields->setCurrentRow(1);
    QTest::keyClick(fields, Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(columns->count(), 6);
    // Alt+2 and Alt+1 reach the lists; Alt+D resets the layout.
    QTest::keyClick(header, Qt::Key_2, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), columns);
    QTest::keyClick(columns, Qt::Key_1, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), fields);
    colours->setFocus();
    QTest::keyClick(colours, Qt::Key_D, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([&] { return Headers(list).mid(1) == designed.mid(1); }));  // the button's animated click
    Click(props, "close");
}

// Whether a cell shows the highlight: the colour at its right end, clear of
// its text, near the list's highlight colour (the current cell's focus
// frame tints it a little).
bool Highlighted(QTableView* view, int row, int logical) {
    const QRect r = view->visualRect(view->model()->index(row, logical));
    const QColor c = view->viewport()->grab().toImage().pixelColor(r.right() - 3, r.top() + 2);
    const QColor h = view->palette().color(QPalette::Active, QPalette::Highlight);
    return std::abs(c.red() - h.red()) + std::abs(c.green() - h.green()) + std::abs(c.blue() - h.blue()) < 40;
}

TEST_F(ToDoXploreTest, AClickOnAColumnFixedInListPropertiesHighlightsItsRow) {
    QTableView* list = Open();
    ASSERT_NE(list, nullptr);
    list->window()->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == list->window(); }));
    Choose(list, 0, 1, "PRP");
    QWidget* props = Window("ListProperties");
    ASSERT_NE(props, nullptr);
    auto* columns = Child<QListWidget>(props, "columns");
    columns->setCurrentRow(1);  // Priority
    Click(props, "fixed");
    Click(props, "close");
    Pump(50);
    QTableView* fixed = nullptr;
    for (QTableView* v : list->findChildren<QTableView*>())
        if (v->objectName() == "fixedColumns" && v->isVisible()) fixed = v;
    ASSERT_NE(fixed, nullptr) << "Priority is fixed";
    list->window()->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == list->window(); }));

    // A click on the third row's Priority highlights that row, in the fixed
    // column and in the others, and no other row.
    const QRect third = fixed->visualRect(fixed->model()->index(2, 1));
    QTest::mouseClick(fixed->viewport(), Qt::LeftButton, {}, third.center());
    Pump(50);
    EXPECT_EQ(list->currentIndex().row(), 2);
    for (int row = 0; row < 4; ++row) {
        const bool chosen = row == 2;
        EXPECT_EQ(Highlighted(fixed, row, 1), chosen) << "fixed Priority, row " << row;
        EXPECT_EQ(Highlighted(list, row, 2), chosen) << "To Do, row " << row;
    }
    // Up moves the highlight in both.
    QTest::keyClick(list, Qt::Key_Up);
    Pump(50);
    EXPECT_TRUE(Highlighted(fixed, 1, 1));
    EXPECT_FALSE(Highlighted(fixed, 2, 1));
    EXPECT_TRUE(Highlighted(list, 1, 2));
    EXPECT_FALSE(Highlighted(list, 2, 2));
}

TEST_F(ToDoXploreTest, ALineBreakInAValueIsDrawnAsABlankOnOneLine) {
    const char* pairs[][2] = {{"Call Bob\nat noon", "Call Bob at noon"}, {"Pay\r\nthe rent", "Pay  the rent"}};
    for (const auto& pair : pairs)
        for (const char* text : pair) {
            todo().Clear();
            Todo& t = todo().Rec<Todo>();
            t.ToDo = text;
            t.Category = "Home";
            t.Priority = 9;
            ASSERT_EQ(todo().Add(), 0);
        }
    QTableView* list = Open();
    ASSERT_NE(list, nullptr);
    list->selectRow(0);  // "Buy milk" (priority 1): the rows compared are not highlighted
    Pump(50);
    // The rows of a pair: the same text once line breaks count as blanks.
    auto rowsOf = [&](const char* text) {
        std::vector<int> rows;
        for (int r = 0; r < list->model()->rowCount(); ++r)
            if (list->model()->index(r, 2).data().toString().replace('\n', ' ').replace('\r', ' ') ==
                QString::fromUtf8(text))
                rows.push_back(r);
        return rows;
    };
    const QImage shown = list->viewport()->grab().toImage();
    auto cellImage = [&](int row) { return shown.copy(list->visualRect(list->model()->index(row, 2))); };
    for (const auto& pair : pairs) {
        const std::vector<int> rows = rowsOf(pair[1]);
        ASSERT_EQ(rows.size(), 2u) << pair[1];
        ASSERT_GE(rows[0], 1);
        // The two cells look the same, pixel for pixel: one line, a blank
        // for each line break character.
        EXPECT_EQ(cellImage(rows[0]), cellImage(rows[1])) << pair[1];
    }
}

// A header dragged sideways, several columns or one, moves its column one
// place.
void DragHeader(QTableView* list, int logical, int dx) {
    QHeaderView* h = list->horizontalHeader();
    QWidget* vp = h->viewport();
    const QPoint from(h->sectionViewportPosition(logical) + h->sectionSize(logical) / 2, h->height() / 2);
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(at), QPointF(vp->mapToGlobal(at)), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(vp, &e);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    for (int step = 1; step <= 10; ++step)
        send(QEvent::MouseMove, from + QPoint(dx * step / 10, 0), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, from + QPoint(dx, 0), Qt::LeftButton, Qt::NoButton);
    Pump(50);
}

TEST_F(ToDoXploreTest, ADraggedHeaderMovesItsColumnOnePlace) {
    QTableView* list = Open();
    ASSERT_NE(list, nullptr);
    list->window()->resize(900, 400);
    Pump(50);
    QHeaderView* h = list->horizontalHeader();
    // Priority dragged right past To Do and Category lands one place right.
    const int past = h->sectionSize(2) + h->sectionSize(3) + h->sectionSize(1) / 2 + 5;
    DragHeader(list, 1, past);
    const QStringList once = {"", "To Do", "Priority", "Category", "Completion Date", "Completion Time"};
    EXPECT_EQ(Headers(list), once);
    // Completion Time dragged far left lands one place left.
    DragHeader(list, 5, -(h->sectionSize(3) + h->sectionSize(4) + h->sectionSize(1) + h->sectionSize(5) / 2 + 5));
    const QStringList twice = {"", "To Do", "Priority", "Category", "Completion Time", "Completion Date"};
    EXPECT_EQ(Headers(list), twice);
    // The saved layout is the list's format string as any move writes it.
    CloseList(list);
    const std::string saved = Saved();
    EXPECT_LT(saved.find("~Completion Time~"), saved.find("~Completion Date~")) << saved;
    EXPECT_LT(saved.find("~To Do~"), saved.find("~Priority~")) << saved;
    list = Open();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Headers(list), twice);
}

// The other lists with icon columns draw them: the schedule list's state
// and task type, the clipboard saver's keep mark (only on kept entries).
TEST_F(XploreListsTest, ScheduleAndClipboardIconColumnsShowTheirIcons) {
    CreateAndOpen({&sch(), &scr(), &cat()});
    sch().Clear();
    Schedule& s = sch().Rec<Schedule>();
    s.ID = 1;
    s.Description = "Task";
    s.Category = "Work";
    s.TaskType = "Display Message";
    s.ScheduleType = "Once";
    s.Message = "Hello";
    s.Command = "N/A";
    s.Date = MakeDate(7, 2, 2024);
    s.Time = MakeTime(9, 0);
    ASSERT_EQ(sch().Add(), 0);
    Start("BrowseSchedule", [] { tasks::BrowseSchedule(); });
    QWidget* w = WindowTitled("Scheduled Tasks");
    ASSERT_NE(w, nullptr);
    auto* tasks = Child<QTableView>(w, "list");
    Child<QTabWidget>(w, "sheet")->setCurrentIndex(1);  // every task
    ASSERT_TRUE(WaitFor([&] { return tasks->model()->rowCount() == 1; }));
    tasks->clearSelection();
    Pump(50);
    EXPECT_GT(IconInk(tasks, 0, 0), 10) << "no state icon";
    EXPECT_GT(IconInk(tasks, 0, 1), 10) << "no task type icon";

    data::Table& clip = data::TableOf(ClipboardDef());
    CreateAndOpen({&clip});
    for (int keep : {1, 0}) {
        ClipboardRecord& r = clip.Rec<ClipboardRecord>();
        r = ClipboardRecord();
        const char* text = keep ? "Kept" : "Not kept";
        r.ClipContents = text;
        r.ClipHashKey = ClipboardEntryKey(text);
        r.ClipKeep = static_cast<uint8_t>(keep);
        r.Category = "General";
        r.ClipDate = MakeDate(7, 1, 2024);
        r.ClipTime = MakeTime(9, keep);
        ASSERT_EQ(clip.Add(), 0);
    }
    clip.Close();
    BrowseClipboardWindow* cw = nullptr;
    Start(kBrowseClipboardProcedure, [&cw] { cw = BrowseClipboard(); });
    ASSERT_TRUE(WaitFor([&] { return cw && cw->IsOpen(); }));
    QTableView* list = cw->Layout().list;
    ASSERT_TRUE(WaitFor([&] { return list->model()->rowCount() == 2; }));
    list->clearSelection();
    Pump(50);
    for (int r = 0; r < 2; ++r) {
        const bool kept = list->model()->index(r, 1).data().toString().startsWith("Kept");
        if (kept) EXPECT_GT(IconInk(list, r, 0), 10) << "no keep mark";
        else EXPECT_EQ(IconInk(list, r, 0), 0) << "a mark on an entry not kept";
    }
}

TEST_F(XploreListsTest, ClipboardContentsFilterOnTheWholeEntryButDoNotSort) {
    data::Table& clip = data::TableOf(ClipboardDef());
    CreateAndOpen({&clip});
    const char* texts[] = {"Buy milk", "Call Bob\nat noon", "Pay rent"};
    for (int i = 0; i < 3; ++i) {
        ClipboardRecord& r = clip.Rec<ClipboardRecord>();
        r = ClipboardRecord();
        r.ClipContents = texts[i];
        r.ClipHashKey = ClipboardEntryKey(texts[i]);
        r.Category = "General";
        r.ClipDate = MakeDate(7, 1, 2024);
        r.ClipTime = MakeTime(9, i);
        ASSERT_EQ(clip.Add(), 0);
    }
    clip.Close();
    BrowseClipboardWindow* w = nullptr;
    Start(kBrowseClipboardProcedure, [&w] { w = BrowseClipboard(); });
    ASSERT_TRUE(WaitFor([&] { return w && w->IsOpen(); }));
    QTableView* list = w->Layout().list;
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(WaitFor([&] { return list->model()->rowCount() == 3; }));
    int row = -1;
    for (int r = 0; r < 3; ++r)
        if (list->model()->index(r, 1).data().toString().startsWith("Call Bob")) row = r;
    ASSERT_GE(row, 0);
    // "Contents" is a memo: its four filters are offered, its sort is not.
    Choose(list, row, 1, "ADDF4");
    for (const char* f : {"ADDF1", "ADDF2", "ADDF3", "ADDF4"}) {
        ASSERT_NE(FindItem(shown_, f), nullptr) << f;
        EXPECT_TRUE(FindItem(shown_, f)->enabled) << f;
    }
    ASSERT_NE(FindItem(shown_, "SRT"), nullptr);
    EXPECT_FALSE(FindItem(shown_, "SRT")->enabled);
    // Not equal to the whole entry, line break and all: the other two.
    ASSERT_TRUE(WaitFor([&] { return list->model()->rowCount() == 2; }));
    Choose(list, 0, 1, "VOID");
    ASSERT_TRUE(WaitFor([&] { return list->model()->rowCount() == 3; }));
    Choose(list, row, 1, "ADDF1");
    ASSERT_TRUE(WaitFor([&] { return list->model()->rowCount() == 1; }));
    EXPECT_TRUE(list->model()->index(0, 1).data().toString().startsWith("Call Bob"));
}

}  // namespace
}  // namespace kr::xplore
