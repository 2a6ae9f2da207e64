// Xplore on a list window offscreen: header clicks sort the rows both ways
// with the mark and keep the highlighted record; the layout (widths, column
// order, sort column and direction) survives closing and reopening.
#include <QHeaderView>
#include <QTest>

#include "../../ui/UiTestSupport.h"
#include "../ListFixture.h"
#include "TestListWindow.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Strings.h"
#include "platform/runtime/Services.h"
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
    h->moveSection(h->visualIndex(3), 0);  // ID first
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

}  // namespace
}  // namespace kr::test
