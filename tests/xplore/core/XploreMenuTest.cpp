// The header popup's model, its filters on a real list query, the column
// commands and the exports of a real to-do table.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "dictionary/OrganiserTables.h"
#include "platform/data/ListQuery.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "tests/xplore/ListFixture.h"
#include "xplore/Export.h"
#include "xplore/HeaderMenu.h"
#include "xplore/Xplore.h"

namespace kr::xplore {
namespace {

std::vector<std::string> Names(const std::vector<MenuItem>& items) {
    std::vector<std::string> out;
    for (const MenuItem& m : items) out.push_back(m.name);
    return out;
}

std::vector<ColumnDef> ScheduleColumns() {
    std::vector<ColumnDef> c = {
        {"PrgIcon", 12, "", "@s1", "Icon"},
        {"SCH:Date", 47, "Date", "@d6", "Next Date"},
        {"SCH:ID", 40, "ID", "@n13", "Unique ID", 'R'},
        {"SCH:Category", 57, "Category", "@s20", "Task Category"},
        {"SCH:Description", 135, "Description", "@s40", "Task Description"},
    };
    for (auto& d : c) d.sortable = d.field != "PrgIcon";
    for (auto& d : c) d.graphOk = false;
    c[1].graphOk = true;
    return c;
}

Xplore MakeXplore() {
    Xplore x;
    x.Init(ScheduleColumns());
    x.SyncOrders(nullptr);
    x.MarkViewFields([](const std::string& f) { return f.starts_with("SCH:"); });
    return x;
}

TEST(HeaderMenuTest, MaskZeroGivesOutputListAndFilterOnly) {
    Xplore x = MakeXplore();
    std::vector<MenuItem> m = BuildHeaderMenu(0, x, false);
    EXPECT_EQ(Names(m), (std::vector<std::string>{"Output", "List", "Filter", "S29"}));
    EXPECT_EQ(Names(m[0].children), (std::vector<std::string>{"PVW", "PPG", "ASC", "HTM", "GBR"}));
    EXPECT_EQ(Names(m[1].children), (std::vector<std::string>{"DEF", "ADJ", "SRT"}));
    EXPECT_EQ(Names(m[2].children),
              (std::vector<std::string>{"ADDF1", "ADDF4", "S31", "ADDF2", "ADDF3", "EQL", "S32", "VOID"}));
    EXPECT_EQ(m[0].children[2].text, "Export to ASCII (XPort.CSV)");
    EXPECT_EQ(m[0].children[3].text, "Export to HTML (XPort.HTM)");
    EXPECT_EQ(m[0].children[2].event, kEventExportCsv);
    // With items of the list's own, a separator comes first.
    EXPECT_EQ(BuildHeaderMenu(0, x, true).front().name, "S11");
}

TEST(HeaderMenuTest, OwnersMaskHasEverythingButTheListPositionAndSize) {
    Xplore x = MakeXplore();
    std::vector<MenuItem> m = BuildHeaderMenu(kOwnerOptions, x, false);
    EXPECT_EQ(Names(m), (std::vector<std::string>{"Output", "List", "Filter", "Xplore", "S29", "CLR", "ListBox"}));
    EXPECT_NE(FindMenuItem(m, "PRP"), nullptr);
    EXPECT_EQ(Names(m[3].children),
              (std::vector<std::string>{"MCL", "MCR", "S21", "HOS", "DOS", "WID", "HDR", "S22", "FJL", "FJC", "FJR",
                                        "FJD", "S23", "HJL", "HJC", "HJR", "HJD", "S24", "RSZ", "BDR", "ULI", "FXD"}));
    EXPECT_EQ(Names(m[6].children), (std::vector<std::string>{"LHI", "HSC", "VSC", "S34", "FNT"}));
    for (const char* gone : {"XPS", "YPS", "BWI", "BHI"}) EXPECT_EQ(FindMenuItem(m, gone), nullptr) << gone;
    EXPECT_TRUE(FindMenuItem(m, "FJD")->checkable);
    EXPECT_EQ(FindMenuItem(m, "FJD")->text, "Data Just Decimal");
    EXPECT_EQ(FindMenuItem(m, "HJR")->event, kEventHeaderRight);
}

TEST(HeaderMenuTest, ColorsIsAnItemOfThePopupAfterTheSeparatorThatAlwaysStands) {
    Xplore x = MakeXplore();
    std::vector<MenuItem> m = BuildHeaderMenu(kOwnerOptions, x, false);
    ASSERT_EQ(m.size(), 7u);
    EXPECT_EQ(m[4].name, "S29");
    EXPECT_TRUE(m[4].separator);
    EXPECT_EQ(m[5].name, "CLR");
    EXPECT_EQ(m[5].text, "Colors");
    EXPECT_EQ(m[5].event, kEventColors);
    EXPECT_TRUE(m[5].children.empty());
    EXPECT_EQ(FindMenuItem(m[3].children, "CLR"), nullptr) << "not in \"&Xplore\"";
    // Colors alone: no "&Xplore" submenu, the separator and the item stay.
    EXPECT_EQ(Names(BuildHeaderMenu(0x8000, x, false)),
              (std::vector<std::string>{"Output", "List", "Filter", "S29", "CLR"}));
    // Without the Colors bit the separator still stands before "&ListBox".
    EXPECT_EQ(Names(BuildHeaderMenu(0x4000000, x, false)),
              (std::vector<std::string>{"Output", "List", "Filter", "S29", "ListBox"}));
}

TEST(HeaderMenuTest, PreparedForTheColumnUnderTheMouse) {
    Xplore x = MakeXplore();
    std::vector<MenuItem> m = BuildHeaderMenu(kOwnerOptions, x, false);
    PrepareHeaderMenu(m, x, 4, "  Work & Home   ");
    EXPECT_EQ(FindMenuItem(m, "ADDF1")->text, "Add Filter of (Task Category=Work && Home)");
    EXPECT_EQ(FindMenuItem(m, "ADDF4")->text, "Add Filter of (Task Category<>Work && Home)");
    EXPECT_EQ(FindMenuItem(m, "ADDF2")->text, "Add Filter of (Task Category<Work && Home)");
    EXPECT_EQ(FindMenuItem(m, "SRT")->text, "Sort on Task Category");
    EXPECT_TRUE(FindMenuItem(m, "SRT")->enabled);
    EXPECT_FALSE(FindMenuItem(m, "GBR")->enabled);  // not graphable
    EXPECT_TRUE(FindMenuItem(m, "FJL")->checked);
    EXPECT_FALSE(FindMenuItem(m, "FJR")->checked);
    EXPECT_FALSE(FindMenuItem(m, "EQL")->checked);

    // "+Add = to Filter" changes the texts at the next preparation.
    x.TakeColumnCommand("EQL", 4);
    PrepareHeaderMenu(m, x, 2, "");
    EXPECT_EQ(FindMenuItem(m, "ADDF2")->text, "Add Filter of (Next Date<=)");
    EXPECT_EQ(FindMenuItem(m, "ADDF3")->text, "Add Filter of (Next Date>=)");
    EXPECT_TRUE(FindMenuItem(m, "EQL")->checked);
    EXPECT_TRUE(FindMenuItem(m, "GBR")->enabled);
    x.graphEnabled = false;
    x.previewEnabled = false;
    PrepareHeaderMenu(m, x, 2, "");
    EXPECT_FALSE(FindMenuItem(m, "GBR")->enabled);
    EXPECT_FALSE(FindMenuItem(m, "PVW")->enabled);
    EXPECT_TRUE(FindMenuItem(m, "PPG")->enabled);

    // A column without a table field offers no filter and cannot be sorted.
    PrepareHeaderMenu(m, x, 1, "x");
    for (const char* f : {"ADDF1", "ADDF2", "ADDF3", "ADDF4", "SRT"}) EXPECT_FALSE(FindMenuItem(m, f)->enabled) << f;
}

class XploreFilterTest : public test::ListFixture {};

TEST_F(XploreFilterTest, FilterItemsNarrowARealListOnTextNumberAndDate) {
    const int32_t d1 = MakeDate(3, 1, 2026), d2 = MakeDate(3, 2, 2026);
    AddTask(1, d1, "Work", "a");
    AddTask(2, d1, "work", "b");
    AddTask(3, d2, "Home", "c");
    AddTask(4, d2, "O'Brien", "d");
    Xplore x = MakeXplore();
    auto count = [&](const std::string& expr) {
        data::ListQuery q(sch());
        q.SetKeyOrder(ScheduleDef().key("SCH:KeyDate"));
        q.SetFilter(expr, "Xplore");
        EXPECT_EQ(q.Apply(), 0) << expr;
        return q.Count();
    };
    // Text, case-insensitive ("^"): both spellings of Work.
    ASSERT_TRUE(x.FilterOn(kEventFilterEqual, 4, Value("Work      "), true));
    EXPECT_EQ(x.query.Value("SCH:CATEGORY", FilterSlot::Equal), "^Work");
    EXPECT_EQ(count(x.FilterExpression()), 2);
    // Not equal replaces the equal value of the same column.
    x.FilterOn(kEventFilterNotEqual, 4, Value("Work"), true);
    EXPECT_EQ(x.query.Value("SCH:CATEGORY", FilterSlot::Equal), "~^Work");
    EXPECT_EQ(count(x.FilterExpression()), 2);
    // A quote in the value is a value, not syntax.
    x.FilterOn(kEventFilterEqual, 4, Value("O'Brien"), true);
    EXPECT_EQ(count(x.FilterExpression()), 1);
    // Case-sensitive when asked.
    x.caseInsensitive = false;
    x.FilterOn(kEventFilterEqual, 4, Value("work"), true);
    EXPECT_EQ(count(x.FilterExpression()), 1);

    // Cancel Filter clears every column.
    x.FilterOn(kEventFilterGreater, 3, Value(int64_t{1}), false);
    EXPECT_EQ(count(x.FilterExpression()), 1);
    ASSERT_TRUE(x.FilterOn(kEventCancelFilter, 0, Value(), false));
    EXPECT_EQ(x.FilterExpression(), "");

    // Number: greater than, then inclusive.
    x.FilterOn(kEventFilterGreater, 3, Value(int64_t{2}), false);
    EXPECT_EQ(count(x.FilterExpression()), 2);
    x.inclusiveCompare = true;
    x.FilterOn(kEventFilterGreater, 3, Value(int64_t{2}), false);
    EXPECT_EQ(x.query.Value("SCH:ID", FilterSlot::Low), "=2");
    EXPECT_EQ(count(x.FilterExpression()), 3);
    x.FilterOn(kEventFilterLess, 3, Value(int64_t{3}), false);
    EXPECT_EQ(count(x.FilterExpression()), 2);

    // A date filters on its day number, whatever the picture shows.
    x.FilterOn(kEventCancelFilter, 0, Value(), false);
    x.FilterOn(kEventFilterEqual, 2, Value(int64_t{d2}), false);
    EXPECT_EQ(x.FilterExpression(), "(SCH:Date = " + std::to_string(d2) + ")");
    EXPECT_EQ(count(x.FilterExpression()), 2);

    // A column without a table field: no filter at all.
    EXPECT_FALSE(x.FilterOn(kEventFilterEqual, 1, Value("x"), true));
    EXPECT_EQ(count(x.FilterExpression()), 2);
}

TEST(ColumnCommandTest, EachThreeLetterCommand) {
    Xplore x = MakeXplore();
    const Column& c = x.DisplayColumns()[1];
    for (const char* cmd : {"HJL", "HJR", "HJC", "HJD"}) {
        ASSERT_TRUE(x.TakeColumnCommand(cmd, 2));
        EXPECT_EQ(c.hjust, cmd[2]);
    }
    for (const char* cmd : {"FJL", "FJR", "FJC", "FJDecimal"}) {
        ASSERT_TRUE(x.TakeColumnCommand(cmd, 2));
        EXPECT_EQ(c.fjust, cmd[2]);
    }
    EXPECT_NE(x.CurrentFormat().find("D(1)"), std::string::npos);  // decimal in the format
    const bool fixed = c.fixed, uline = c.underline, border = c.border, resize = c.resize;
    for (const char* cmd : {"FXD", "ULI", "BDR", "RSZ"}) ASSERT_TRUE(x.TakeColumnCommand(cmd, 2));
    EXPECT_NE(c.fixed, fixed);
    EXPECT_NE(c.underline, uline);
    EXPECT_NE(c.border, border);
    EXPECT_NE(c.resize, resize);
    const bool h = x.current.hscroll, v = x.current.vscroll;
    x.TakeColumnCommand("HSC", 2);
    x.TakeColumnCommand("VSC", 2);
    EXPECT_NE(x.current.hscroll, h);
    EXPECT_NE(x.current.vscroll, v);
    x.TakeColumnCommand("EQL", 0);
    EXPECT_TRUE(x.inclusiveCompare);
    EXPECT_FALSE(x.TakeColumnCommand("XYZ", 2));
    EXPECT_FALSE(x.TakeColumnCommand("FXD", 9));
    // The changed column survives a round trip through the format string.
    const std::string f = x.CurrentFormat();
    x.ParseFormat(f);
    EXPECT_EQ(x.DisplayColumns()[1].fjust, 'D');
    EXPECT_EQ(x.DisplayColumns()[1].underline, !uline);
}

TEST(ColumnCommandTest, MovesAtBothEndsAndHidingTheLastColumnChangeNothing) {
    Xplore x = MakeXplore();
    const std::string before = x.CurrentFormat();
    EXPECT_FALSE(x.MoveColumnLeft(1));
    EXPECT_FALSE(x.MoveColumnRight(5));
    EXPECT_EQ(x.CurrentFormat(), before);

    // Hide down to one column; the last stays.
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(x.HideColumn(1));
    EXPECT_FALSE(x.HideColumn(1));
    ASSERT_EQ(x.DisplayColumns().size(), 1u);
    // A hidden column keeps its settings and shows again, ticked, at the end.
    int shownAt = 0;
    const int qnos = x.AllColumns()[1].qnos;
    EXPECT_EQ(x.AllColumns()[1].icon, 0);
    EXPECT_FALSE(x.AllColumns()[1].display);
    EXPECT_EQ(x.ShowColumn(qnos, &shownAt), 2);
    EXPECT_EQ(x.AllColumns()[1].icon, 1);
    EXPECT_TRUE(x.DisplayColumns()[1].display);
    // Already shown: nothing added, its place given.
    EXPECT_EQ(x.ShowColumn(qnos, &shownAt), 0);
    EXPECT_EQ(shownAt, 2);
}

TEST(ExportCellTest, QuotingOfTheCommaSeparatedFileAndHtmlEscaping) {
    EXPECT_EQ(CsvCell("plain", ','), "plain");
    EXPECT_EQ(CsvCell("Smith, J", ','), "\"Smith, J\"");
    EXPECT_EQ(CsvCell("6\" pipe", ','), "'6\" pipe'");
    EXPECT_EQ(CsvCell("6\" pipe, long", ','), "'6\" pipe, long'");
    EXPECT_EQ(CsvCell("it's", ','), "it's");
    // Separator and both quotes: double quotes, its double quotes doubled.
    EXPECT_EQ(CsvCell("6\" O'Brien, x", ','), "\"6\"\" O'Brien, x\"");
    EXPECT_EQ(CsvCell("a;b", ';'), "\"a;b\"");
    EXPECT_EQ(HtmlEscape("<b>x</b> & \"y\""), "&lt;b&gt;x&lt;/b&gt; &amp; &quot;y&quot;");
    EXPECT_EQ(ExportValue("   left  "), "left");
    EXPECT_EQ(ExportValue(std::string(300, 'x')).size(), 255u);
}

class ExportTest : public test::ListFixture {
protected:
    void SetUp() override {
        ListFixture::SetUp();
        ASSERT_EQ(todo().Create(), 0);
        ASSERT_EQ(todo().Open(), 0);
    }
    void TearDown() override {
        todo().Close();
        ListFixture::TearDown();
    }
    static data::Table& todo() { return data::TableOf(TodoDef()); }
    void AddTodo(int priority, const std::string& text, const std::string& category, int32_t date = 0) {
        todo().Clear();
        Todo& t = todo().Rec<Todo>();
        t.Priority = static_cast<uint8_t>(priority);
        t.ToDo = text;
        t.Category = category;
        t.CompletionDate = date;
        ASSERT_EQ(todo().Add(), 0);
    }
    std::vector<std::string> Lines(const std::string& file) {
        std::ifstream in(file);
        std::vector<std::string> out;
        for (std::string l; std::getline(in, l);) out.push_back(l);
        return out;
    }
    ListExport::State Run(data::ListQuery& q, ListExport::Kind kind, const std::string& file,
                          const std::string& title = "To Do List") {
        const data::TableDef& def = todo().def();
        std::vector<std::function<std::string(const data::ListRow&)>> cells;
        std::vector<std::pair<std::string, std::string>> cols = {
            {"TDO:Priority", "@n2"}, {"TDO:ToDo", "@s80"}, {"TDO:Category", "@s20"}, {"TDO:CompletionDate", "@d6b"}};
        for (auto& [f, pic] : cols) {
            const int i = def.fieldIndex(f);
            std::string p = pic;
            cells.push_back([i, p](const data::ListRow& r) { return Format(r.field(i), p); });
        }
        ListExport::Options o;
        o.kind = kind;
        o.file = file;
        o.headerTexts = {"Priority", "To Do", "Category", "Completion Date"};
        o.title = title;
        ListExport e(q, std::move(cells), o);
        EXPECT_TRUE(e.Open());
        ListExport::State s = e.Run();
        rows_ = e.Rows();
        return s;
    }
    int64_t rows_ = 0;
};

TEST_F(ExportTest, TheToDoListAsCommaSeparatedAndHtml) {
    AddTodo(1, "Smith, J", "Calls");
    AddTodo(2, "6\" pipe", "Shop");
    AddTodo(3, "", "");
    for (int i = 4; i <= 41; ++i) AddTodo(i % 9 + 4, "item " + std::to_string(i), "Misc");
    AddTodo(20, std::string(80, 'w'), std::string(20, 'c'), MakeDate(5, 6, 2026));
    data::ListQuery q(todo());
    q.SetOrderText("TDO:Priority");
    ASSERT_EQ(q.Apply(), 0);
    ASSERT_EQ(Run(q, ListExport::Kind::Csv, "XPort.CSV"), ListExport::State::Done);
    EXPECT_EQ(rows_, 42);
    std::vector<std::string> l = Lines("XPort.CSV");
    ASSERT_EQ(l.size(), 44u);
    EXPECT_EQ(l[0], "# Records=0000042");
    EXPECT_EQ(l[1], "Priority,To Do,Category,Completion Date");
    EXPECT_EQ(l[2], "1,\"Smith, J\",Calls,");
    EXPECT_EQ(l[3], "2,'6\" pipe',Shop,");
    EXPECT_EQ(l[4], "3,,,");  // empty cells are nothing
    EXPECT_EQ(l.back(), "20," + std::string(80, 'w') + "," + std::string(20, 'c') + ",6/05/2026");
    // The list is the user's data: the file is the owner's alone.
    EXPECT_EQ(std::filesystem::status("XPort.CSV").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    // Filtered to no rows: the count and the header line only.
    data::ListQuery none(todo());
    none.SetFilter("TDO:Priority = 99", "Xplore");
    ASSERT_EQ(none.Apply(), 0);
    ASSERT_EQ(Run(none, ListExport::Kind::Csv, "XPort.CSV"), ListExport::State::Done);
    EXPECT_EQ(Lines("XPort.CSV"), (std::vector<std::string>{"# Records=0000000", "Priority,To Do,Category,Completion Date"}));
}

TEST_F(ExportTest, HtmlEscapesEveryTextAndMarksEmptyCells) {
    AddTodo(1, "<b>x</b>", "");
    data::ListQuery q(todo());
    ASSERT_EQ(q.Apply(), 0);
    ASSERT_EQ(Run(q, ListExport::Kind::Html, "XPort.HTM", "To <Do> & \"List\""), ListExport::State::Done);
    std::vector<std::string> l = Lines("XPort.HTM");
    ASSERT_EQ(l.size(), 8u);
    EXPECT_EQ(l[0], "<HTML>");
    EXPECT_EQ(l[1],
              "<HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">"
              "<TITLE>To &lt;Do&gt; &amp; &quot;List&quot;</TITLE></HEAD>");
    EXPECT_EQ(l[2], "<H1>To &lt;Do&gt; &amp; &quot;List&quot;</H1><P>");
    EXPECT_EQ(l[3], "<TABLE BORDER=2>");
    EXPECT_EQ(l[4], "<TR> <TD>Priority</TD> <TD>To Do</TD> <TD>Category</TD> <TD>Completion Date</TD> </TR>");
    EXPECT_EQ(l[5], "<TR> <TD>1</TD> <TD>&lt;b&gt;x&lt;/b&gt;</TD> <TD>&nbsp</TD> <TD>&nbsp</TD> </TR>");
    EXPECT_EQ(l[6], "</TABLE>");
    EXPECT_EQ(l[7], "</HTML>");
    EXPECT_EQ(std::string::npos, l[5].find("<b>"));
}

TEST_F(ExportTest, LineBreaksControlCharactersAndLongUtf8TextsKeepTheirRowsWhole) {
    // A cell holding a line break is quoted, so its row stays one row for
    // a reader; with a double quote in it, single quotes as any such cell.
    EXPECT_EQ(CsvCell("two\nlines", ','), "\"two\nlines\"");
    EXPECT_EQ(CsvCell("cr\rhere", ';'), "\"cr\rhere\"");
    EXPECT_EQ(CsvCell("6\"\nx", ','), "'6\"\nx'");
    // NUL and control characters never reach the page raw.
    const std::string raw = std::string("a\0b", 3) + "\x01" "c\x1f\x7f\td\ne";
    EXPECT_EQ(HtmlEscape(raw), "a&#xFFFD;b&#xFFFD;c&#xFFFD;&#xFFFD;\td\ne");
    // The 255-byte cut falls before a character that does not fit whole.
    EXPECT_EQ(ExportValue(std::string(254, 'x') + "\xc3\xa9z"), std::string(254, 'x'));
    EXPECT_EQ(ExportValue(std::string(252, 'x') + "\xe2\x82\xac"), std::string(252, 'x') + "\xe2\x82\xac");
    EXPECT_EQ(ExportValue(std::string(253, 'x') + "\xe2\x82\xac"), std::string(253, 'x'));
    EXPECT_EQ(ExportValue(std::string(253, 'x') + "\xf0\x9f\x98\x80"), std::string(253, 'x'));

    AddTodo(1, "first line\nsecond line", "Calls");
    AddTodo(2, "caf\xc3\xa9 \x02" "bell", "Shop");
    data::ListQuery q(todo());
    q.SetOrderText("TDO:Priority");
    ASSERT_EQ(q.Apply(), 0);
    ASSERT_EQ(Run(q, ListExport::Kind::Csv, "XPort.CSV"), ListExport::State::Done);
    std::ifstream csv("XPort.CSV", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(csv)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\n1,\"first line\nsecond line\",Calls,\n"), std::string::npos) << text;
    ASSERT_EQ(Run(q, ListExport::Kind::Html, "XPort.HTM"), ListExport::State::Done);
    std::ifstream htm("XPort.HTM", std::ios::binary);
    const std::string page((std::istreambuf_iterator<char>(htm)), std::istreambuf_iterator<char>());
    EXPECT_NE(page.find("charset=UTF-8"), std::string::npos);
    EXPECT_NE(page.find("<TD>caf\xc3\xa9 &#xFFFD;bell</TD>"), std::string::npos) << page;
    EXPECT_EQ(page.find('\x02'), std::string::npos);
}

TEST_F(ExportTest, AFileThatCannotBeCreatedFails) {
    data::ListQuery q(todo());
    ASSERT_EQ(q.Apply(), 0);
    ListExport::Options o;
    o.file = "/no/such/folder/XPort.CSV";
    ListExport e(q, {}, o);
    std::string error;
    EXPECT_FALSE(e.Open(&error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(e.Step(10), ListExport::State::Failed);
}

}  // namespace
}  // namespace kr::xplore
