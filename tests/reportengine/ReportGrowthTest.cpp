// Bands that grow to hold their long texts, measured in the font the pages
// are drawn in: a memo of many lines pushes the rows below it down, a memo
// taller than a page goes on over the pages it needs, and a field wider
// than its column breaks into lines within it. Every line stays inside its
// column and above the page footer.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/runtime/RecordProcess.h"
#include "platform/ui/report/Report.h"
#include "platform/ui/report/ReportText.h"
#include "platform/ui/report/ReportWriter.h"

namespace kr {
namespace {

using namespace report;

struct Task {
    std::string name;
    std::string memo;
};

// A page header, a detail of a name, a memo under it and a closing mark
// under the memo, and a page footer.
struct MemoReport {
    Task current;
    ReportLayout layout;
    MemoReport(int memoWidth = 5000) {
        layout.pageHeader = Band(500, {Text(0, 0, 3000, 200, "Memo Report")});
        layout.detail = Band(640, {Field(0, 0, 3000, 180, [this] { return Value(current.name); }, "@s40"),
                                   Memo(500, 200, memoWidth, 200, [this] { return Value(current.memo); }),
                                   Text(0, 440, 1000, 180, "End of task")});
        layout.pageFooter = Band(300, {PageNumber(6000, 50, 1500, 200)});
    }
    int FooterTop() const { return layout.pageHeight - layout.marginBottom - layout.pageFooter.height; }
};

std::vector<const DrawOp*> TextsOf(const Page& page) {
    std::vector<const DrawOp*> out;
    for (const DrawOp& op : page.ops)
        if (op.kind == DrawOp::kText) out.push_back(&op);
    std::stable_sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->y < b->y; });
    return out;
}

const DrawOp* Find(const Page& page, const std::string& text) {
    for (const DrawOp& op : page.ops)
        if (op.kind == DrawOp::kText && op.text == text) return &op;
    return nullptr;
}

TEST(ReportGrowth, ManyLineMemoGrowsItsBandAndPushesTheRowsBelow) {
    MemoReport r;
    ReportWriter w(r.layout);
    std::string memo;
    for (int i = 1; i <= 12; ++i) memo += (i > 1 ? "\r\n" : "") + std::string("Note line ") + std::to_string(i);
    r.current = {"First", memo};
    w.PrintDetail();
    r.current = {"Second", "Short"};
    w.PrintDetail();
    w.Close();
    ASSERT_EQ(w.PageCount(), 1);
    const Page& page = w.Pages().pages[0];
    const DrawOp* prev = nullptr;
    for (int i = 1; i <= 12; ++i) {
        const DrawOp* line = Find(page, "Note line " + std::to_string(i));
        ASSERT_NE(line, nullptr) << i;
        if (prev) { EXPECT_GE(line->y, prev->y + prev->height) << "lines overlap at " << i; }
        prev = line;
    }
    // The label under the memo moved below its last line, and the next
    // record starts below the grown band.
    std::vector<const DrawOp*> ends;
    for (const DrawOp* op : TextsOf(page))
        if (op->text == "End of task") ends.push_back(op);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_GE(ends[0]->y, prev->y + prev->height);
    const DrawOp* second = Find(page, "Second");
    ASSERT_NE(second, nullptr);
    EXPECT_GT(second->y, ends[0]->y);
    EXPECT_EQ(ends[1]->y - second->y, 440) << "a band that needs no growth keeps its layout";
}

TEST(ReportGrowth, MemoTallerThanAPageGoesOnOverThePagesItNeeds) {
    MemoReport r(3000);
    ReportWriter w(r.layout);
    // 10,000 characters of numbered words.
    std::string memo;
    int words = 0;
    while (memo.size() < 10000) memo += "word" + std::to_string(++words) + " ";
    memo.resize(10000);
    r.current = {"Long", memo};
    w.PrintDetail();
    r.current = {"After", "Short"};
    w.PrintDetail();
    w.Close();
    ASSERT_GE(w.PageCount(), 2);
    // Every line in its column, above the footer, under the header; read in
    // page order the lines give back the memo whole.
    std::string read;
    for (const Page& page : w.Pages().pages) {
        EXPECT_NE(Find(page, "Memo Report"), nullptr);
        for (const DrawOp* op : TextsOf(page)) {
            if (op->x != r.layout.marginLeft + 500) continue;
            EXPECT_LE(op->y + op->height, r.FooterTop());
            EXPECT_GE(op->y, r.layout.marginTop + r.layout.pageHeader.height);
            EXPECT_LE(TextWidth(op->font, op->text), 3000) << op->text;
            if (op->text != "Short") read += op->text + " ";
        }
    }
    std::string expected = memo;
    while (!expected.empty() && expected.back() == ' ') expected.pop_back();
    while (!read.empty() && read.back() == ' ') read.pop_back();
    EXPECT_EQ(read, expected);
    // The next record follows the memo's last line, on the last page.
    const Page& last = w.Pages().pages.back();
    EXPECT_NE(Find(last, "After"), nullptr);
    EXPECT_EQ(Find(w.Pages().pages[0], "After"), nullptr);
}

TEST(ReportGrowth, FieldWiderThanItsColumnWrapsAndOneThatFitsDoesNot) {
    Task t;
    ReportLayout l;
    l.detail = Band(400, {Field(0, 0, 1900, 180, [&] { return Value(t.name); }, "@s80"),
                          Field(2000, 0, 1000, 180, [&] { return Value(t.memo); }, "@s20"),
                          Text(0, 200, 1000, 180, "Below")});
    t.name = "/usr/local/bin/backup-the-documents-folder --target /mnt/archive --verbose now";
    t.memo = "Short";
    ReportWriter w(l);
    w.PrintDetail();
    w.Close();
    const Page& page = w.Pages().pages[0];
    std::string joined;
    int lines = 0, lastBottom = 0;
    for (const DrawOp* op : TextsOf(page)) {
        if (op->x != l.marginLeft) continue;
        if (op->text == "Below") {
            EXPECT_GE(op->y, lastBottom) << "the row below moves under the wrapped field";
            continue;
        }
        ++lines;
        EXPECT_LE(TextWidth(op->font, op->text), 1900) << op->text;
        joined += op->text;
        lastBottom = op->y + op->height;
    }
    EXPECT_GE(lines, 2);
    std::string spaceless = t.name;
    spaceless.erase(std::remove(spaceless.begin(), spaceless.end(), ' '), spaceless.end());
    joined.erase(std::remove(joined.begin(), joined.end(), ' '), joined.end());
    EXPECT_EQ(joined, spaceless);
    const DrawOp* shortField = Find(page, "Short");
    ASSERT_NE(shortField, nullptr);
    EXPECT_EQ(shortField->height, 180);
    EXPECT_TRUE(shortField->clip);
}

TEST(ReportGrowth, WrapTextKeepsBlankLinesAndBreaksAWordLongerThanTheColumn) {
    Font f;
    EXPECT_TRUE(WrapText(f, "", 2000).empty());
    EXPECT_TRUE(WrapText(f, "   ", 2000).empty());
    auto lines = WrapText(f, "one\r\n\r\ntwo\rthree\nfour  ", 2000);
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "", "two", "three", "four"}));
    const std::string word(200, 'x');
    lines = WrapText(f, word, 1000);
    ASSERT_GE(lines.size(), 2u);
    std::string back;
    for (const auto& line : lines) {
        EXPECT_LE(TextWidth(f, line), 1000);
        back += line;
    }
    EXPECT_EQ(back, word);
}

}  // namespace
}  // namespace kr
