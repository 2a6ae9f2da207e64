// The column graph's counting and layout, the graph preferences and category
// names, and the fitting of a printed list: the figures a user sees.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/runtime/IniFile.h"
#include "xplore/Colors.h"
#include "xplore/Graph.h"
#include "xplore/GraphPreferences.h"
#include "xplore/PrintFit.h"

namespace kr::xplore {
namespace {

TEST(GraphCategoriesTest, CountsDistinctTextsInNameOrderWithTheirShares) {
    GraphCategories g;
    for (const char* t : {"Work", "Home", "Work  ", "Bills", "Work", "Home"}) EXPECT_TRUE(g.Add(t));
    g.ComputePercents();
    ASSERT_EQ(g.Size(), 3u);
    EXPECT_EQ(g.Rows(), 6);
    EXPECT_EQ(g.Items()[0].name, "Bills");
    EXPECT_EQ(g.Items()[2].name, "Work");  // trailing blanks do not make a category of their own
    EXPECT_EQ(g.Items()[2].count, 3);
    EXPECT_DOUBLE_EQ(g.Items()[2].percent, 50.0);
    EXPECT_DOUBLE_EQ(g.Items()[1].percent, 33.3);  // the lower tenth
    EXPECT_EQ(g.MaxCount(), 3);
}

TEST(GraphCategoriesTest, EndsRightAfterTheHundredAndFiftyFirstCategory) {
    GraphCategories g;
    for (int i = 0; i < 150; ++i) ASSERT_TRUE(g.Add("c" + std::to_string(i)));
    EXPECT_TRUE(g.Add("c0"));  // an existing category is no new one
    EXPECT_FALSE(g.Add("c150"));
    EXPECT_EQ(TooComplexMessage("Category  "),
              "Too complex to graph - exceeds max number of categories: 150 - 'Category'");
}

TEST(GraphCategoriesTest, NoneOrOneCategoryEndsTheGraphWithItsMessage) {
    GraphCategories g;
    EXPECT_EQ(GraphEndMessage(g, "Basic - Category"), "There are no categories to Graph of 'Basic - Category'");
    g.Add("x");
    g.Add("x");
    EXPECT_EQ(GraphEndMessage(g, "Basic - Category"), "There is only one category to Graph of 'Basic - Category'");
    g.Add("y");
    EXPECT_EQ(GraphEndMessage(g, "Basic - Category"), "");
}

TEST(GraphLayoutTest, FiveCategoriesUseTheWideLayout) {
    const GraphLayout l = ComputeGraphLayout(1000, 600, 5);
    EXPECT_EQ(l.slot, 168);
    EXPECT_EQ(l.gap, 33);
    EXPECT_EQ(l.barWidth, 132);
    EXPECT_EQ(l.x0, 136);
    EXPECT_EQ(l.baseY, 550);
    EXPECT_EQ(l.BarLeft(2), 136 + 165);
    EXPECT_FALSE(l.WholePercent());
    EXPECT_EQ(l.BarHeight(5, 10), (550 - 30) / 2);
}

TEST(GraphLayoutTest, ManyCategoriesNarrowTheGapAndShowWholePercentages) {
    const GraphLayout six = ComputeGraphLayout(1000, 600, 6);
    EXPECT_EQ(six.gap, 4);
    EXPECT_EQ(six.barWidth, 920 / 6 - 4);
    const GraphLayout hundred = ComputeGraphLayout(1000, 600, 100);
    EXPECT_EQ(hundred.gap, 2);
    EXPECT_EQ(hundred.barWidth, 7);
    EXPECT_TRUE(hundred.WholePercent());
    EXPECT_EQ(GraphPercentText(33.3, true), "33");
    EXPECT_EQ(GraphPercentText(33.3, false), "33.3");
}

TEST(GraphLayoutTest, BarsCycleThroughEightColoursAndCalendarNamesShowTheirText) {
    EXPECT_EQ(GraphColorIndex(1), 1);
    EXPECT_EQ(GraphColorIndex(8), 8);
    EXPECT_EQ(GraphColorIndex(9), 1);
    EXPECT_EQ(GraphColorIndex(17), 1);
    EXPECT_EQ(GraphLabel(" 3 =Tuesday"), "Tuesday");
    EXPECT_EQ(GraphLabel("10 =October"), "October");
    EXPECT_EQ(GraphLabel("Home =Work"), "Home =Work");
    EXPECT_EQ(GraphHeading(42, "Basic - Category"), "42 Categories of Field: Basic - Category");
    EXPECT_EQ(GraphFilterHeading(""), "Filter: ");
}

TEST(CategoryNamesTest, MonthsWeekdaysAndHourBands) {
    std::string b(20, ' ');
    MonthNames(3, b);
    EXPECT_EQ(b, " 3 =March" + std::string(11, ' '));
    std::string unchanged = "keep";
    MonthNames(0, unchanged);
    MonthNames(13, unchanged);
    WeekdayNames(8, unchanged);
    EXPECT_EQ(unchanged, "keep");
    std::string d(12, ' ');
    WeekdayNames(1, d);
    EXPECT_EQ(d, " 1 =Sunday  ");

    std::string h = "05" + std::string(10, ' ');
    SixHourBandNames(h);
    EXPECT_EQ(h, "00:00-05:59 ");
    std::string h4 = "13" + std::string(10, ' ');
    FourHourBandNames(h4);
    EXPECT_EQ(h4, "12:00-15:59 ");
    // Past the last bound, a single digit, and an hour with minutes just
    // past a band's upper bound stay as they are.
    for (std::string s : {std::string("24          "), std::string("5           "), std::string("05:30       ")}) {
        const std::string before = s;
        SixHourBandNames(s);
        EXPECT_EQ(s, before);
    }
    for (std::string s : {std::string("24          "), std::string("03:30       ")}) {
        const std::string before = s;
        FourHourBandNames(s);
        EXPECT_EQ(s, before);
    }
}

TEST(GraphPreferencesTest, StyleTextsForTheEightValuesAndFromTheBitsOtherwise) {
    EXPECT_EQ(FontStyleText(400), "Regular");
    EXPECT_EQ(FontStyleText(4796), "Bold Italic");
    EXPECT_EQ(FontStyleText(12988), "Bold Italic Underline");
    EXPECT_EQ(FontStyleText(4096), "Italic");
    EXPECT_EQ(FontStyleText(400 + 4096), "Italic");  // a regular italic from the font window
    EXPECT_EQ(FontStyleText(600), "Bold");
    EXPECT_EQ(FontStyleText(500 + 8192), "Regular Underline");
    EXPECT_EQ(FontSampleText("Arial", 8, 700), "Arial8 pt Bold");
}

TEST(GraphPreferencesTest, DefaultsDifferBetweenWindowAndGraphAndAllTwentyKeysAreWritten) {
    char tmpl[] = "/tmp/kr-graphprefs-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string ini = std::string(tmpl) + "/POSITION.INI";
    EXPECT_EQ(GraphPreferences::Read(ini, true).fontSize, 12);
    GraphPreferences p = GraphPreferences::Read(ini, false);
    EXPECT_EQ(p.fontSize, 8);
    EXPECT_EQ(p.colors[0], "Maroon");
    EXPECT_EQ(p.colors[15], "Black");
    p.colors[0] = "Blue";
    p.Write(ini);
    IniFile file(ini);
    EXPECT_EQ(file.Keys(kPreferencesSection).size(), 20u);
    EXPECT_EQ(file.Fetch(kPreferencesSection, "Col01"), "Blue");
    EXPECT_EQ(file.Fetch(kPreferencesSection, "FontStyle"), "700");
    EXPECT_EQ(GraphPreferences::Read(ini, true).colors[0], "Blue");
    std::filesystem::remove_all(tmpl);
}

TEST(GraphPreferencesTest, SwatchesAndColourNames) {
    EXPECT_EQ(ColorValue("Blue"), 0xFF0000);
    EXPECT_EQ(ColorValue("Fuschia   "), 0xFF00FF);
    EXPECT_EQ(ColorValue("Pink"), -1);
    int row = 0;
    EXPECT_EQ(ColorName(0x008080, &row), "Olive");
    EXPECT_EQ(row, 5);
    EXPECT_EQ(ColorName(0x123456, &row), "");
    EXPECT_EQ(row, 0);
    EXPECT_EQ(SwatchOf("Black").text, 0xFFFFFF);
    EXPECT_EQ(SwatchOf("White").selectedText, 0);
    EXPECT_EQ(SwatchOf("Navy").background, 0x800000);
    EXPECT_FALSE(SwatchOf("Pink").known);
}

PrintColumn Col(int qnos, int width, int header = 5, bool border = false) {
    PrintColumn c;
    c.qnos = qnos;
    c.maxWidth = width;
    c.headerWidth = header;
    c.border = border;
    return c;
}

TEST(PrintFitTest, ColumnsThatFitPrintAtEightPointsWithTheSpareSpread) {
    // 3 columns of 20 units: each widened by 1, S = 63 (+1 border) = 64.
    const PrintFit f = FitPrintColumns({Col(1, 20), Col(2, 20, 5, true), Col(3, 20)});
    EXPECT_EQ(f.columns.size(), 3u);
    EXPECT_EQ(f.sum, 64);
    EXPECT_EQ(f.fontSize, 8);
    EXPECT_EQ(f.factor, 12);
    EXPECT_EQ(f.extra, (9800 - 64 * 12) / 3);
    EXPECT_EQ(f.Width(0), 21 * 12 + f.extra);
}

TEST(PrintFitTest, AHeaderWiderThanItsValuesSetsTheWidth) {
    const PrintFit f = FitPrintColumns({Col(1, 3, 30), Col(2, 30, 4)});
    EXPECT_EQ(f.columns[0].maxWidth, 30);
    EXPECT_EQ(f.columns[1].maxWidth, 31);
}

TEST(PrintFitTest, ATooWideListDropsColumnsFromTheRightAndPrintsAtSixPoints) {
    // 10 columns of 99 + 1 units: S = 1000; 1000 x 16 > 9898.
    std::vector<PrintColumn> cols;
    for (int i = 1; i <= 10; ++i) cols.push_back(Col(i, 99));
    const PrintFit f = FitPrintColumns(cols);
    // Dropped until S x 16 <= 9898: 6 columns (600 x 16 = 9600).
    ASSERT_EQ(f.columns.size(), 6u);
    EXPECT_EQ(f.columns.back().qnos, 6);
    EXPECT_EQ(f.fontSize, 6);
    EXPECT_EQ(f.factor, 12);
    EXPECT_EQ(f.extra, (9800 - 600 * 12) / 6);
}

TEST(PrintFitTest, SevenPointsWhenEvenSixLeavesNoSpare) {
    // Dropping from the right stops as soon as the rest fits: 7 columns of
    // 117 units (S = 819) keep 5 (S = 585) at 6 points.
    std::vector<PrintColumn> cols;
    for (int i = 1; i <= 7; ++i) cols.push_back(Col(i, 116));
    const PrintFit f = FitPrintColumns(cols);
    ASSERT_EQ(f.columns.size(), 5u);
    EXPECT_EQ(f.fontSize, 6);
    // One column wider than the page at any size is dropped too; with no
    // spare left at 6 points the size ends one past it, at 7.
    const PrintFit g = FitPrintColumns({Col(1, 700)});
    EXPECT_TRUE(g.columns.empty());
    EXPECT_EQ(g.fontSize, 7);
    EXPECT_EQ(g.factor, 12);
}

TEST(PrintFitTest, TextsFollowTheListFontAndTotalsReadNumbers) {
    EXPECT_EQ(PrintFontText("MS Sans Serif", 8), "Arial 8 Point");
    EXPECT_EQ(PrintCountText(42), "42 Records");
    EXPECT_DOUBLE_EQ(PrintTotalValue("1,234.50"), 1234.5);
    EXPECT_DOUBLE_EQ(PrintTotalValue("  12 "), 12);
    EXPECT_DOUBLE_EQ(PrintTotalValue("Home"), 0);
    EXPECT_DOUBLE_EQ(PrintTotalValue(""), 0);
}

}  // namespace
}  // namespace kr::xplore
