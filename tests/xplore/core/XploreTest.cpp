// Xplore's core: the list format grammar, field numbering, sort-order terms,
// the saved layout's keys and restore rule, header sorting and moves.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "../ListFixture.h"
#include "platform/runtime/IniFile.h"
#include "xplore/ListFormat.h"
#include "xplore/Xplore.h"

namespace kr::test {
namespace {

using namespace kr::xplore;

TEST(ListFormatTest, GroupsBuildAndParseBothWays) {
    FormatGroup g;
    g.width = 40;
    g.dataIndent = 1;
    g.resize = g.border = true;
    g.header = "Date";
    g.headerIndent = 1;
    g.picture = "@d6b";
    g.field = 1;
    EXPECT_EQ(ListFormat::BuildGroup(g), "40L(1)M|~Date~L(1)@d6b@#1#");
    ListFormat f = ListFormat::Parse("40L(1)M|~Date~L(1)@d6b@#1#");
    ASSERT_EQ(f.groups.size(), 1u);
    EXPECT_EQ(f.groups[0], g);

    // Colours: -1 is written as nothing between the commas.
    FormatGroup c = g;
    c.colors = true;
    c.icon = true;
    c.fixed = c.underline = true;
    c.dataJustify = 'R';
    c.headerJustify = 'C';
    c.nfg = 8421504;
    c.sfg = 16777215;
    c.field = 7;
    std::string text = ListFormat::BuildGroup(c);
    EXPECT_EQ(text, "40R(1)*IF_M|~Date~C(1)@d6b@#7#E(8421504,,16777215,)");
    ListFormat both;
    both.groups = {g, c};
    EXPECT_EQ(ListFormat::Parse(both.Build()).groups, both.groups);

    // A header with trailing blanks is written clipped.
    FormatGroup padded = g;
    padded.header = "Name   ";
    EXPECT_EQ(ListFormat::BuildGroup(padded), "40L(1)M|~Name~L(1)@d6b@#1#");

    // Without "#n#" each group takes the next list field, after the colour
    // (4) and icon (1) fields of the group before.
    ListFormat implicit = ListFormat::Parse("12L*I~~L@s1@20L~A~L@s20@30R~B~R@n6@");
    ASSERT_EQ(implicit.groups.size(), 3u);
    EXPECT_EQ(implicit.groups[0].field, 1);
    EXPECT_EQ(implicit.groups[1].field, 7);
    EXPECT_EQ(implicit.groups[2].field, 8);
}

TEST(ListFormatTest, AHeaderWithATildeNeverCorruptsTheString) {
    FormatGroup a;
    a.width = 30;
    a.header = "Cost ~ net";
    a.picture = "@n6";
    a.field = 1;
    FormatGroup b = a;
    b.header = "Next";
    b.field = 2;
    ListFormat f;
    f.groups = {a, b};
    std::string text = f.Build();
    EXPECT_EQ(text.find("Cost ~"), std::string::npos);
    ListFormat back = ListFormat::Parse(text);
    ASSERT_EQ(back.groups.size(), 2u);
    EXPECT_EQ(back.groups[0].header, "Cost  net");
    EXPECT_EQ(back.groups[1].header, "Next");
}

TEST(ListFormatTest, DamagedTextSkipsTheBadGroupOnly) {
    const char* bad[] = {"", "garbage", "40L(1M|~Date~L@d6@#1#", "~~~~####@@@@", "99999999999999L~x~L@s@#1#",
                         "40L~unclosed header", "40L~A~L@s20", "40L(-)~A~L@s20@#2#", "E(1,2,3,4)"};
    for (const char* t : bad) {
        ListFormat f = ListFormat::Parse(t);
        (void)f;  // no crash, whatever it makes of it
    }
    ListFormat f = ListFormat::Parse("40L(1)M|~Date~L(1)@d6b@#1#x!40Q~Bad~L@s3@#2#20L~Ok~L@s20@#3#");
    ASSERT_EQ(f.groups.size(), 2u);
    EXPECT_EQ(f.groups[0].header, "Date");
    EXPECT_EQ(f.groups[1].header, "Ok");
}

// The schedule browse's columns: two icon columns with colours, two with
// colours, a skipped locator column, and the rest.
std::vector<ColumnDef> ScheduleColumns() {
    std::vector<ColumnDef> c = {
        {"Checkmark", 12, "", "@s1", "State", 'L', true, true, true},
        {"PrgIcon", 12, "", "@s1", "Type", 'L', true, true, true},
        {"SCH:Date", 47, "Date", "@d3", "Basic - Next Date to Perform Task", 'L', true, true},
        {"SCH:Time", 32, "Time", "@t3", "Basic - Next Time to Perform Task", 'R', true, true},
        {"SCH:Category", 57, "Category", "@s20", "Basic - Task Category"},
        {"LOC:Hidden", 10, "Hidden", "@s1", "never shown"},
        {"SCH:Description", 135, "Description", "@s40", "Basic - Task Description/Title"},
        {"SCH:ID", 40, "ID", "@n13", "Unique internal system ID", 'R', false},
    };
    c[2].sortable = c[3].sortable = c[4].sortable = c[6].sortable = true;
    c[5].locatorType = 'X';
    c[5].display = false;
    return c;
}

TEST(XploreTest, FieldNumbersCountColourIconAndSkippedColumns) {
    Xplore x;
    x.Init(ScheduleColumns());
    auto& all = x.AllColumns();
    ASSERT_EQ(all.size(), 7u);  // the skipped locator column is not a column
    EXPECT_EQ(all[0].qnos, 1);  // value + 4 colours + icon
    EXPECT_EQ(all[1].qnos, 7);
    EXPECT_EQ(all[2].qnos, 13);  // value + 4 colours
    EXPECT_EQ(all[3].qnos, 18);
    EXPECT_EQ(all[4].qnos, 23);
    EXPECT_EQ(all[5].qnos, 25);  // LOC:Hidden took field 24
    EXPECT_EQ(all[6].qnos, 26);
    EXPECT_EQ(x.DisplayColumns().size(), 6u);  // ID is not in the list at start
    EXPECT_EQ(x.DisplayColumns()[2].seq, 3);
    std::string f = x.DesignedFormat();
    EXPECT_NE(f.find("47L(1)*M|~Date~L(1)@d3@#13#"), std::string::npos) << f;
    // The designed format reads back into the same columns.
    Xplore y;
    y.Init(ScheduleColumns());
    y.ParseFormat(f);
    ASSERT_EQ(y.DisplayColumns().size(), 6u);
    EXPECT_EQ(y.BuildFormat(), f);
}

TEST(XploreTest, SortOrderTermsAndTwoOrdersPerSortableColumn) {
    Xplore x;
    std::vector<OrderDef> orders = {
        {"SCH:Date", {{"SCH:Date", false, ""}, {"SCH:Time", false, ""}}},
        {"SCH:Category", {{"SCH:Category", false, "S20"}, {"SCH:Date", true, ""}}},
        {"NoSuchColumn", {{"SCH:ID", false, ""}}},
    };
    x.Init(ScheduleColumns(), orders, {{"SCH:ID", false, ""}});
    std::vector<std::pair<int, std::string>> added;
    int next = 10;
    x.SyncOrders([&](int n, const std::string& text, int dir) {
        added.push_back({n * 10 + dir, text});
        return next++;
    });
    ASSERT_EQ(added.size(), 8u);  // four sortable columns, two orders each
    EXPECT_EQ(added[0].second, "SCH:Date,SCH:Time,SCH:ID");
    EXPECT_EQ(added[1].second, "-SCH:Date,-SCH:Time,-SCH:ID");
    EXPECT_EQ(added[4].second, "UPPER(SCH:Category),-SCH:Date,SCH:ID");
    EXPECT_EQ(added[5].second, "-UPPER(SCH:Category),SCH:Date,-SCH:ID");
    EXPECT_EQ(added[6].second, "UPPER(SCH:Description),SCH:ID");  // its own field and picture
    EXPECT_EQ(x.AllColumns()[2].sortField, 10);
    EXPECT_EQ(x.AllColumns()[3].sortField, 12);

    x.caseInsensitive = false;
    EXPECT_EQ(x.ColumnOrderText(x.AllColumns()[5], 0), "SCH:Description,SCH:ID");
    Xplore noExtra;
    noExtra.Init(ScheduleColumns(), orders, {{"SCH:ID", false, ""}}, true);
    EXPECT_EQ(noExtra.ColumnOrderText(noExtra.AllColumns()[2], 1), "-SCH:Date,-SCH:Time");
}

TEST(XploreTest, HeaderClicksSortBothWaysWithTheMark) {
    Xplore x;
    x.Attach(">Header");
    x.Init(ScheduleColumns());
    x.SyncOrders(nullptr);
    EXPECT_TRUE(x.SortOnColumn(3));
    EXPECT_EQ(x.HeaderText(3), ">Date");
    EXPECT_EQ(x.ColumnSortState(), x.DisplayColumn(3)->sortField);
    EXPECT_TRUE(x.SortOnColumn(3));
    EXPECT_EQ(x.HeaderText(3), "<Date");
    EXPECT_EQ(x.ColumnSortState(), x.DisplayColumn(3)->sortField + 1);
    EXPECT_TRUE(x.SortOnColumn(6));
    EXPECT_EQ(x.HeaderText(3), "Date");
    EXPECT_EQ(x.HeaderText(6), ">Description");
    std::string why;
    EXPECT_FALSE(x.SortOnColumn(1, &why));
    EXPECT_EQ(why, "Data cannot be ordered on column:  (Checkmark)");
    EXPECT_EQ(x.SortColumn(), 6);

    // Moving the sorted column keeps the mark on it; the ends only refuse.
    EXPECT_TRUE(x.MoveColumnLeft(6));
    EXPECT_EQ(x.SortColumn(), 5);
    EXPECT_EQ(x.HeaderText(5), ">Description");
    EXPECT_FALSE(x.MoveColumnLeft(1));
    EXPECT_FALSE(x.MoveColumnRight(6));

    Xplore u;
    u.Attach("Underline");
    u.Init(ScheduleColumns());
    u.SortOnColumn(4);
    EXPECT_TRUE(u.HeaderUnderlined(4));
    EXPECT_EQ(u.HeaderText(4), "Time");
}

class XploreLayoutTest : public ListFixture {
protected:
    ListGeometry Look() {
        ListGeometry g;
        g.x = 4;
        g.y = 30;
        g.width = 600;
        g.height = 300;
        g.lineHeight = 18;
        g.fontName = "DejaVu Sans";
        g.fontSize = 9;
        return g;
    }
    std::vector<std::string> Keys() { return IniFile(".\\POSITION.INI").Keys("BrowseSchedule"); }
};

TEST_F(XploreLayoutTest, FirstRunUsesTheDesignAndClosingWritesEveryKeyInOrder) {
    Xplore x;
    x.Attach(">Header");
    x.Init(ScheduleColumns());
    x.AddSortOrder(1);
    x.RestoreFormat("BrowseSchedule", "?Browse:1", "d2", Look());
    EXPECT_FALSE(x.LookRestored());
    EXPECT_EQ(x.SortColumn(), 1);
    EXPECT_NE(x.CurrentFormat().find("@d2@#13#"), std::string::npos);  // the user's date picture
    x.SaveFormat("BrowseSchedule", "?Browse:1", Look());
    std::vector<std::string> want = {"XploreFormatString-?Browse:11", "XploreOrigFormatString-?Browse:1",
                                     "XploreXpos-?Browse:1", "XploreYpos-?Browse:1", "XploreHeight-?Browse:1",
                                     "XploreWidth-?Browse:1", "XploreHscroll-?Browse:1", "XploreVscroll-?Browse:1",
                                     "XploreLineHeight-?Browse:1", "XploreFont-?Browse:1", "XplorePoint-?Browse:1",
                                     "XploreColor-?Browse:1", "XploreStyle-?Browse:1", "XplorePrevCol-?Browse:1",
                                     "XploreAscDesc-?Browse:1"};
    EXPECT_EQ(Keys(), want);
    // The designed format is kept as designed, before the date picture.
    EXPECT_EQ(GetIniValue(".\\POSITION.INI", "BrowseSchedule", "XploreOrigFormatString-?Browse:1"),
              x.DesignedFormat());
}

TEST_F(XploreLayoutTest, ALayoutSurvivesADateFormatChangeButNotADesignChange) {
    {
        Xplore x;
        x.Attach(">Header");
        x.Init(ScheduleColumns());
        x.AddSortOrder(1);
        x.RestoreFormat("BrowseSchedule", "?Browse:1", "d2", Look());
        x.SetColumnWidth(6, 200);
        x.MoveColumnLeft(6);
        x.SortOnColumn(5);  // Description, now fifth
        x.SortOnColumn(5);  // descending
        ListGeometry g = Look();
        g.fontSize = 11;
        x.SaveFormat("BrowseSchedule", "?Browse:1", g);
    }
    {
        // The user changed the date picture: the layout stays, with the new picture.
        Xplore x;
        x.Attach(">Header");
        x.Init(ScheduleColumns());
        x.AddSortOrder(1);
        x.RestoreFormat("BrowseSchedule", "?Browse:1", "d17", Look());
        ASSERT_TRUE(x.LookRestored());
        EXPECT_EQ(x.RestoredLook().fontSize, 11);
        EXPECT_EQ(x.DisplayColumn(5)->field, "SCH:Description");
        EXPECT_EQ(x.DisplayColumn(5)->widthDlu, 200);
        EXPECT_EQ(x.DisplayColumn(3)->picture, "@d17");
        EXPECT_EQ(x.CurrentFormat().find("@d2@"), std::string::npos);
        // After a restart the rows are in key order: no mark until the first
        // click on the saved column, which takes the saved direction.
        EXPECT_EQ(x.SortColumn(), 5);
        EXPECT_EQ(x.HeaderText(5), "Description");
        x.SortOnColumn(5);
        EXPECT_EQ(x.DisplayColumn(5)->ascDesc, 1);
        EXPECT_EQ(x.HeaderText(5), "<Description");
        x.SortOnColumn(5);
        EXPECT_EQ(x.DisplayColumn(5)->ascDesc, 0);
        x.SaveFormat("BrowseSchedule", "?Browse:1", Look());
    }
    {
        // A click on another column after a restart starts ascending.
        IniFile(".\\POSITION.INI").Update("BrowseSchedule", "XploreAscDesc-?Browse:1", "1");
        Xplore x;
        x.Init(ScheduleColumns());
        x.AddSortOrder(1);
        x.RestoreFormat("BrowseSchedule", "?Browse:1", "d17", Look());
        x.SortOnColumn(3);
        EXPECT_EQ(x.DisplayColumn(3)->ascDesc, 0);
        EXPECT_EQ(x.HeaderText(3), ">Date");
    }
    {
        // A new design of the list discards the saved layout once.
        std::vector<ColumnDef> cols = ScheduleColumns();
        cols[4].width = 60;
        Xplore x;
        x.Init(cols);
        x.AddSortOrder(1);
        x.RestoreFormat("BrowseSchedule", "?Browse:1", "d17", Look());
        EXPECT_FALSE(x.LookRestored());
        EXPECT_EQ(x.DisplayColumn(6)->field, "SCH:Description");
        EXPECT_EQ(x.DisplayColumn(6)->widthDlu, 135);
    }
}

TEST_F(XploreLayoutTest, HandEditedLayoutsSkipWhatTheyCannotUse) {
    Xplore x;
    x.Init(ScheduleColumns());
    IniFile ini(".\\POSITION.INI");
    ini.Update("BrowseSchedule", "XploreOrigFormatString-?List", x.DesignedFormat());
    ini.Update("BrowseSchedule", "XploreFormatString-?List1",
               "47L~Date~L@d3@#13#junk#99#40L~Gone~L@s4@#99#57L~Cat~L@s20@#23#");
    ini.Update("BrowseSchedule", "XplorePrevCol-?List", "77");
    ini.Update("BrowseSchedule", "XplorePoint-?List", "big");
    x.AddSortOrder(1);
    x.RestoreFormat("BrowseSchedule", "?List", "", Look());
    ASSERT_EQ(x.DisplayColumns().size(), 2u);
    EXPECT_EQ(x.DisplayColumn(2)->header, "Cat");
    EXPECT_EQ(x.RestoredLook().fontSize, 9);
    EXPECT_LE(x.SortColumn(), 2);

    // Nothing usable at all: the designed layout.
    ini.Update("BrowseSchedule", "XploreFormatString-?List1", "~~~");
    Xplore y;
    y.Init(ScheduleColumns());
    y.AddSortOrder(1);
    y.RestoreFormat("BrowseSchedule", "?List", "", Look());
    EXPECT_EQ(y.DisplayColumns().size(), 6u);

    // Reset to default brings the design back.
    x.ApplyFormat();
    EXPECT_EQ(x.DisplayColumns().size(), 6u);
    EXPECT_EQ(x.CurrentFormat(), x.DesignedFormat());
}

}  // namespace
}  // namespace kr::test
