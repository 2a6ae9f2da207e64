// A small report for the engine's tests: records of a category, a name and
// an amount, grouped by category, with counts and sums, on letter pages.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/RecordProcess.h"
#include "platform/ui/report/Report.h"

namespace kr::test {

struct Row {
    std::string category;
    std::string name;
    int amount = 0;
};

// 80 rows: 40 of "Errands" and 40 of "Work", amounts 1..40 in each: three
// pages with the headings, group bands and the closing band.
inline std::vector<Row> SampleRows(int perGroup = 40) {
    std::vector<Row> rows;
    for (const char* cat : {"Errands", "Work"})
        for (int i = 1; i <= perGroup; ++i) rows.push_back({cat, std::string(cat) + " item " + std::to_string(i), i});
    return rows;
}

struct SampleReport {
    std::vector<Row> rows;
    size_t next = 0;
    Row current;  // the record buffer
    std::shared_ptr<report::ReportLayout> layout = std::make_shared<report::ReportLayout>();

    explicit SampleReport(std::vector<Row> r) : rows(std::move(r)) {
        using namespace report;
        ReportLayout& l = *layout;
        l.title = "Sample";
        l.pageHeader = Band(700, {WithFont(Text(0, 0, 7500, 300, "Task Amounts", Align::Center), Bold(14)),
                                  Text(0, 450, 3000, 200, "Name"), Text(5000, 450, 1500, 200, "Amount", Align::Right),
                                  Line(0, 680, 7500, 680)});
        l.groups.push_back(Group{[this] { return current.category; },
                                 Band(350, {Text(0, 100, 1200, 200, "Category:"), GroupKey(1200, 100, 3000, 200)}),
                                 Band(300, {Text(0, 50, 1200, 200, "Total of"), GroupKey(1200, 50, 2500, 200),
                                            Count(3700, 50, 800, 200, "@n4"),
                                            Sum(5000, 50, 1500, 200, [this] { return Value(current.amount); }, "@n7")}),
                                 false});
        l.detail = Band(250, {Field(0, 0, 4000, 200, [this] { return Value(current.name); }, "@s40"),
                              Field(5000, 0, 1500, 200, [this] { return Value(current.amount); }, "@n7", Align::Right),
                              Check(6700, 0, 800, 200, "Even", [this] { return Value(current.amount % 2 == 0 ? 1 : 0); })});
        l.closing = Band(300, {Text(0, 50, 2000, 200, "Grand total"), Count(3700, 50, 800, 200, "@n4"),
                               Sum(5000, 50, 1500, 200, [this] { return Value(current.amount); }, "@n7")});
        l.pageFooter = Band(300, {PageNumber(6000, 50, 1500, 200)});
    }
    RecordStep Read() {
        if (next >= rows.size()) return RecordStep::End();
        current = rows[next++];
        return RecordStep::Done();
    }
};

}  // namespace kr::test
