// Xplore on a list window offscreen: header clicks sort the rows both ways
// with the mark and keep the highlighted record; the layout (widths, column
// order, sort column and direction) survives closing and reopening.
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QTest>

#include "../../ui/UiTestSupport.h"
#include "../ListFixture.h"
#include "TestListWindow.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Strings.h"
#include "platform/runtime/Services.h"
#include "platform/ui/PopupMenu.h"
#include "platform/ui/ProcedureThread.h"
#include "xplore/windows/XploreList.h"

namespace kr::test {
namespace {

using xplore::ColumnDef;

class XTaskList : public TaskList {
public:
    std::unique_ptr<xplore::XploreList> xplore;
    static inline XTaskList* lastX = nullptr;
    std::string dateFormat = "d2";

protected:
    bool Init() override {
        if (!TaskList::Init()) return false;
        lastX = this;
        xplore = std::make_unique<xplore::XploreList>(*list, "BrowseTasks", "?List");
        std::vector<ColumnDef> cols = {
            {"SCH:Date", 47, "Date", "@d6", "Next date"},
            {"SCH:Category", 57, "Category", "@s20", "Category"},
            {"SCH:Description", 135, "Description", "@s40", "Description"},
            {"SCH:ID", 30, "ID", "@n6", "ID", 'R'},
        };
        cols[0].sortable = cols[2].sortable = cols[3].sortable = true;
        xplore->core().Attach(">Header");
        xplore->core().Init(cols, {{"SCH:Date", {{"SCH:Date", false, ""}, {"SCH:Time", false, ""}}}});
        xplore->core().AddSortOrder(1);
        xplore->core().SyncOrders(nullptr);
        xplore->Restore(dateFormat);
        return true;
    }
    void Kill() override { xplore->Save(); }
};

class XploreListTest : public ListFixture {
protected:
    void SetUp() override {
        ListFixture::SetUp();
        InstallMessageService(&responder_);
        const char* words[] = {"pear", "Apple", "fig", "banana", "Cherry"};
        for (int i = 1; i <= 150; ++i)
            AddTask(i, MakeDate(1, 1, 2024) + (i * 7) % 50, "C" + std::to_string(i % 4), words[i % 5] + std::string(" ") + std::to_string(i));
    }
    void TearDown() override {
        CloseAllWindows();
        InstallMessageService(nullptr);
        ListFixture::TearDown();
    }
    XTaskList* Open() {
        XTaskList::lastX = nullptr;
        TaskList::last = nullptr;
        Start("BrowseTasks", [] { (new XTaskList)->Open(); });
        EXPECT_TRUE(WaitFor([] { return XTaskList::lastX && XTaskList::lastX->IsOpen(); }));
        return XTaskList::lastX;
    }
    static int Id(BrowseList& l, int64_t i) {
        const data::ListRow* r = l.RowAt(i);
        return r ? static_cast<int>(r->field(ScheduleDef().fieldIndex("SCH:ID")).toInt()) : -1;
    }
    static std::string Header(XTaskList* w, int logical) {
        return w->ui.list->model()->headerData(logical, Qt::Horizontal).toString().toStdString();
    }
    static std::string Cell(XTaskList* w, int row, int logical) {
        return w->ui.list->model()->index(row, logical).data().toString().toStdString();
    }
    static void ClickHeader(XTaskList* w, int logical) {
        QHeaderView* h = w->ui.list->horizontalHeader();
        QPoint p(h->sectionViewportPosition(logical) + h->sectionSize(logical) / 2, h->height() / 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, p);
    }
    ScriptedResponder responder_;
};

TEST_F(XploreListTest, HeaderClicksSortBothWaysAndKeepTheHighlightedRecord) {
    XTaskList* w = Open();
    BrowseView& l = *w->list;
    EXPECT_TRUE(w->ui.list->isColumnHidden(3) == false);
    l.Locate("77");
    ClickHeader(w, 2);  // Description: no key
    EXPECT_EQ(Header(w, 2), ">Description");
    EXPECT_EQ(Cell(w, 0, 2).substr(0, 5), "Apple");
    EXPECT_EQ(Cell(w, 149, 2).substr(0, 4), "pear");
    EXPECT_EQ(Id(l, l.Selected()), 77);
    ClickHeader(w, 2);
    EXPECT_EQ(Header(w, 2), "<Description");
    EXPECT_EQ(Cell(w, 0, 2).substr(0, 4), "pear");
    EXPECT_EQ(Id(l, l.Selected()), 77);
    // Every row in order, read page by page.
    std::string prev = "~";
    for (int r = 0; r < 150; ++r) {
        std::string c = Upper(Cell(w, r, 2));
        EXPECT_LE(c, prev) << r;
        prev = c;
    }
    // A column without a sort order says so and changes nothing.
    ClickHeader(w, 1);
    EXPECT_TRUE(responder_.sawTitle("Re-Order Option"));
    EXPECT_EQ(Header(w, 2), "<Description");
}

TEST_F(XploreListTest, TheLayoutSurvivesCloseAndReopen) {
    XTaskList* w = Open();
    QHeaderView* h = w->ui.list->horizontalHeader();
    // ID first: a header move takes its column one place at a time.
    for (int i = 0; i < 3; ++i) h->moveSection(h->visualIndex(3), 0);
    h->resizeSection(2, 333);
    ClickHeader(w, 0);  // Date ascending
    ClickHeader(w, 0);  // descending
    int width = h->sectionSize(2);
    w->Close();
    Pump(100);
    EXPECT_NE(GetIniValue(".\\POSITION.INI", "BrowseTasks", "XploreFormatString-?List1"), "");
    EXPECT_EQ(GetIniValue(".\\POSITION.INI", "BrowseTasks", "XploreAscDesc-?List"), "1");

    w = Open();
    h = w->ui.list->horizontalHeader();
    EXPECT_EQ(h->logicalIndex(0), 3);
    EXPECT_NEAR(h->sectionSize(2), width, 4);
    // The rows are in the tab's key order until a header sort: no mark yet.
    EXPECT_EQ(Header(w, 0), "Date");
    // The first click on the saved column takes the saved direction.
    ClickHeader(w, 0);
    EXPECT_EQ(Header(w, 0), "<Date");
    std::string first = Cell(w, 0, 0), last = Cell(w, 149, 0);
    EXPECT_GE(Deformat(first, "@d2").toInt(), Deformat(last, "@d2").toInt());
    // Alt+F11 fits every column to its widest value on show; an empty list
    // keeps its widths.
    QTest::keyClick(w->ui.list, Qt::Key_F11, Qt::AltModifier);
    QFontMetrics fm(w->ui.list->font());
    EXPECT_GE(h->sectionSize(2), fm.horizontalAdvance(QString::fromStdString(Cell(w, 0, 2))));
    EXPECT_LT(h->sectionSize(2), width);
    int fitted = h->sectionSize(2);
    w->list->SetFilter("SCH:ID < 0");
    w->list->ResetFromFile();
    QTest::keyClick(w->ui.list, Qt::Key_F11, Qt::AltModifier);
    EXPECT_EQ(h->sectionSize(2), fitted);
    // Alt+F12 puts the designed layout back.
    QTest::keyClick(w->ui.list, Qt::Key_F12, Qt::AltModifier);
    EXPECT_EQ(h->logicalIndex(0), 0);
}

// Pixels of a painted list: "ink" is a pixel far from the row's background.
struct Painted {
    QImage image;
    explicit Painted(QWidget* w) : image(w->grab().toImage()) {}
    QColor At(int x, int y) const { return image.pixelColor(x, y); }
    static bool Far(const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) > 200;
    }
    // The first and last column of ink within r, against the colour at its
    // bottom right corner less one (the cell's background); -1 none.
    std::pair<int, int> InkSpan(const QRect& r, const QColor& background) const {
        int first = -1, last = -1;
        for (int x = r.left(); x < r.right(); ++x)
            for (int y = r.top() + 1; y < r.bottom(); ++y)
                if (Far(At(x, y), background)) {
                    if (first < 0) first = x;
                    last = x;
                    break;
                }
        return {first, last};
    }
};

TEST_F(XploreListTest, OffsetsBordersAndSelectedColoursAreDrawn) {
    XTaskList* w = Open();
    QTableView* view = w->ui.list;
    view->window()->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == view->window(); }));
    xplore::Xplore& x = w->xplore->core();
    // Description indented by 10, ID (right-aligned) by 6; Category without
    // its border; Description white on navy when selected; headers indented
    // by 8 for Description.
    x.DisplayColumn(3)->foffset = 10;
    x.DisplayColumn(3)->hoffset = 8;
    x.DisplayColumn(4)->foffset = 6;
    x.DisplayColumn(2)->border = false;
    x.DisplayColumn(3)->sfg = 0xFFFFFF;
    x.DisplayColumn(3)->sbg = 0x800000;
    w->xplore->Show();
    view->setFocus();
    view->selectRow(1);
    Pump(50);

    auto cell = [&](int row, int logical) { return view->visualRect(view->model()->index(row, logical)); };
    const QColor base = view->palette().color(QPalette::Active, QPalette::Base);
    Painted p(view->viewport());
    const QRect desc = cell(0, 2), id = cell(0, 3);
    const auto [descLeft, descRight] = p.InkSpan(desc, base);
    ASSERT_GE(descLeft, 0);
    const int ten = DluToPixels(view, 10), six = DluToPixels(view, 6);
    EXPECT_GE(descLeft, desc.left() + ten) << "the text starts at its indent";
    EXPECT_LE(descLeft, desc.left() + ten + 2);
    const auto [idLeft, idRight] = p.InkSpan(id.adjusted(0, 0, -1, 0), base);
    ASSERT_GE(idRight, 0);
    EXPECT_LE(idRight, id.right() - six) << "right-aligned text ends at its indent";
    EXPECT_GE(idRight, id.right() - six - 3);
    // A border is a line at the right edge; without it the cell's edge is
    // its background (the grid is off).
    const int midY = cell(0, 0).center().y();
    EXPECT_NE(p.At(cell(0, 0).right(), midY).rgb(), base.rgb()) << "Date has its border";
    EXPECT_EQ(p.At(cell(0, 0).right() - 1, midY).rgb(), base.rgb()) << "a line one pixel wide";
    EXPECT_EQ(p.At(cell(0, 1).right(), midY).rgb(), base.rgb()) << "Category has none";

    // The selected row: navy behind Description while the list has the
    // focus, the list's highlight elsewhere.
    const QRect sel = cell(1, 2);
    EXPECT_EQ(p.At(sel.right() - 3, sel.top() + 2).rgb(), QColor(0, 0, 128).rgb());
    EXPECT_EQ(p.At(cell(1, 1).right() - 3, sel.top() + 2).rgb(),
              view->palette().color(QPalette::Active, QPalette::Highlight).rgb());
    const auto [selLeft, selRight] = p.InkSpan(sel, QColor(0, 0, 128));
    ASSERT_GE(selLeft, 0);
    EXPECT_GT(p.At(selLeft, sel.center().y()).lightness(), 60) << "light text on navy";
    // Without the focus the row keeps the grey of every unfocused list.
    w->ui.locator->setFocus();
    Pump(50);
    Painted q(view->viewport());
    EXPECT_EQ(q.At(sel.right() - 3, sel.top() + 2).rgb(),
              view->palette().color(QPalette::Inactive, QPalette::Highlight).rgb());

    // The header's text at its indent.
    QHeaderView* h = view->horizontalHeader();
    Painted hp(h->viewport());
    const QRect section(h->sectionViewportPosition(2), 0, h->sectionSize(2), h->height());
    const QColor button = hp.At(section.left() + 2, section.top() + 2);
    const auto [headLeft, headRight] = hp.InkSpan(section.adjusted(1, 1, -2, -1), button);
    ASSERT_GE(headLeft, 0);
    EXPECT_GE(headLeft, section.left() + DluToPixels(view, 8));
    EXPECT_LE(headLeft, section.left() + DluToPixels(view, 8) + 2);
}

TEST_F(XploreListTest, BestFitShowsTheWidestValueWhole) {
    AddTask(500, MakeDate(1, 1, 2024), "C1", "Buy milk");
    XTaskList* w = Open();
    QTableView* view = w->ui.list;
    BrowseView& l = *w->list;
    l.Locate("500");
    QTest::keyClick(view, Qt::Key_F11, Qt::AltModifier);
    const QFontMetrics fm(view->font());
    // Every row on show fits its text rect, where the cell draws it.
    int checked = 0;
    for (int r = view->rowAt(0); r >= 0 && r <= view->rowAt(view->viewport()->height() - 1); ++r)
        for (int logical : {0, 1, 2, 3}) {
            const QModelIndex i = view->model()->index(r, logical);
            const QString text = i.data().toString();
            const QRect t = l.CellTextRect(logical, view->visualRect(i), false);
            EXPECT_LE(fm.horizontalAdvance(text), t.width()) << text.toStdString();
            ++checked;
        }
    EXPECT_GT(checked, 8);
    const QModelIndex milk = view->model()->index(static_cast<int>(l.Selected()), 2);
    ASSERT_EQ(milk.data().toString(), "Buy milk");
    // The widest value ends where the column ends, give or take the
    // rounding of dialog units.
    const int slack = view->columnWidth(2) - DluToPixels(view, 1) - fm.horizontalAdvance("Buy milk");
    EXPECT_GE(slack, 0);
}

TEST_F(XploreListTest, AFixedFirstColumnStaysWhileTheOthersScrollByWholeColumns) {
    XTaskList* w = Open();
    QTableView* view = w->ui.list;
    BrowseView& l = *w->list;
    xplore::Xplore& x = w->xplore->core();
    x.DisplayColumn(3)->widthDlu = 400;  // wider than the list: it scrolls sideways
    ASSERT_TRUE(x.TakeColumnCommand("FXD", 1));
    w->xplore->Show();
    Pump(50);
    QTableView* fixed = l.FixedView();
    ASSERT_NE(fixed, nullptr);
    ASSERT_TRUE(fixed->isVisible());
    const int F = view->columnWidth(0);
    EXPECT_EQ(fixed->width(), F);
    // Before and after a sideways scroll the fixed area shows the same.
    const QRect area(view->viewport()->geometry().x(), 0, F, view->height() - 30);
    const QImage before = view->grab(area).toImage();
    QScrollBar* sb = view->horizontalScrollBar();
    ASSERT_GT(sb->maximum(), 0);
    sb->setValue(sb->value() + 1);
    Pump(50);
    // Whole columns: Category is gone, Description starts right after Date.
    EXPECT_EQ(sb->value(), view->columnWidth(1));
    EXPECT_EQ(view->columnViewportPosition(2), F);
    EXPECT_EQ(view->grab(area).toImage(), before) << "the fixed column stays in place";
    // The end of the scroll bar shows the last column whole after Date.
    sb->setValue(sb->maximum());
    Pump(50);
    EXPECT_EQ(view->columnViewportPosition(3), F);
    sb->setValue(sb->maximum() - 1);
    Pump(50);
    EXPECT_EQ(view->columnViewportPosition(2), F) << "one column back";
    // Highlighting another row keeps the sideways scroll.
    const int scrolled = sb->value();
    l.Select(40);
    EXPECT_EQ(sb->value(), scrolled);

    // Right clicks find the column under the mouse on either side.
    std::vector<PopupItem> shown;
    InstallPopupResponder([&](const std::vector<PopupItem>& items) {
        shown = items;
        return 0;
    });
    auto rightClick = [&](QWidget* target, QPoint at) {
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
        QApplication::sendEvent(target, &menu);
        Pump(20);
    };
    auto sortText = [&] {
        for (const PopupItem& i : shown)
            for (const PopupItem& c : i.children)
                if (c.name == "SRT") return c.text;
        return std::string();
    };
    const int y = view->visualRect(view->model()->index(0, 0)).center().y();
    rightClick(fixed->viewport(), QPoint(F / 2, y));
    EXPECT_EQ(sortText(), "Sort on Next date");
    rightClick(view->viewport(), QPoint(F + 5, y));
    EXPECT_EQ(sortText(), "Sort on Description");
    InstallPopupResponder({});
    // A click on the fixed header sorts on its column.
    QHeaderView* fh = fixed->horizontalHeader();
    QTest::mouseClick(fh->viewport(), Qt::LeftButton, {}, QPoint(F / 2, fh->height() / 2));
    EXPECT_EQ(Header(w, 0), ">Date");
    // Not fixed: the list scrolls on its own again.
    ASSERT_TRUE(x.TakeColumnCommand("FXD", 1));
    w->xplore->Show();
    EXPECT_FALSE(fixed->isVisible());
}

TEST_F(XploreListTest, MovingFromAFixedCellKeepsTheSidewaysScroll) {
    XTaskList* w = Open();
    QTableView* view = w->ui.list;
    BrowseView& l = *w->list;
    xplore::Xplore& x = w->xplore->core();
    x.DisplayColumn(3)->widthDlu = 400;
    ASSERT_TRUE(x.TakeColumnCommand("FXD", 1));
    w->xplore->Show();
    view->setFocus();
    Pump(50);
    QTableView* fixed = l.FixedView();
    ASSERT_NE(fixed, nullptr);
    QScrollBar* sb = view->horizontalScrollBar();
    QScrollBar* down = view->verticalScrollBar();
    ASSERT_GT(sb->maximum(), 0);
    sb->setValue(sb->value() + 1);
    Pump(50);
    const int scrolled = sb->value();
    ASSERT_GT(scrolled, 0);
    const int F = view->columnWidth(0);
    auto rowOf = [&] { return static_cast<int>(l.Selected()); };

    // A click on the fixed Date cell of the third row highlights it and
    // leaves Description where it was, right after Date.
    const QRect third = fixed->visualRect(fixed->model()->index(2, 0));
    QTest::mouseClick(fixed->viewport(), Qt::LeftButton, {}, third.center());
    Pump(20);
    EXPECT_EQ(rowOf(), 2);
    EXPECT_EQ(sb->value(), scrolled) << "the click scrolled sideways";
    // Down, Up and a page down move the row, never the columns.
    QTest::keyClick(view, Qt::Key_Down);
    Pump(20);
    EXPECT_EQ(rowOf(), 3);
    EXPECT_EQ(sb->value(), scrolled) << "Down scrolled back to the first column";
    EXPECT_EQ(view->columnViewportPosition(2), F);
    QTest::keyClick(view, Qt::Key_Up);
    QTest::keyClick(view, Qt::Key_Up);
    Pump(20);
    EXPECT_EQ(rowOf(), 1);
    EXPECT_EQ(sb->value(), scrolled) << "Up scrolled back to the first column";
    QTest::keyClick(view, Qt::Key_PageDown);
    Pump(20);
    EXPECT_GT(rowOf(), 5);
    EXPECT_GT(down->value(), 0) << "the rows still follow the highlight";
    EXPECT_EQ(sb->value(), scrolled);
    // The fixed view shows the same rows as the list after the move.
    EXPECT_EQ(fixed->verticalScrollBar()->value(), down->value());
    EXPECT_EQ(fixed->rowAt(fixed->visualRect(fixed->model()->index(rowOf(), 0)).center().y()), rowOf());

    // A click on Description, wider than the list, keeps it in sight, and
    // so do Down and Up from there.
    const QRect cell = view->visualRect(view->model()->index(rowOf(), 2));
    ASSERT_GT(view->columnWidth(2), view->viewport()->width() - F);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(F + 5, cell.center().y()));
    Pump(20);
    EXPECT_EQ(sb->value(), scrolled) << "the click scrolled the column it hit out of sight";
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Up);
    Pump(20);
    EXPECT_EQ(sb->value(), scrolled);
    EXPECT_EQ(view->columnViewportPosition(2), F);
    // Right goes on to ID, out of sight: that is the move that scrolls.
    QTest::keyClick(view, Qt::Key_Right);
    Pump(20);
    EXPECT_GT(sb->value(), scrolled);
    EXPECT_GE(view->columnViewportPosition(3), F);
    EXPECT_LE(view->columnViewportPosition(3) + view->columnWidth(3), view->viewport()->width());
}

}  // namespace
}  // namespace kr::test
