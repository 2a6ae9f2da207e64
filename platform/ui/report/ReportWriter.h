// Lays a report's bands out on pages: page header and footer on every page,
// group headers and footers where a group's key changes, a detail band per
// record, totals, and the closing band at the end. Pages break where the
// next band would run into the page footer.
//
// A band other than the page footer grows to hold its long texts: a memo, and
// any field or text wider than its box, breaks into lines within its column,
// and the controls below it move down by as much. A grown band that does not
// fit on what is left of the page starts a new page; one taller than a whole
// page goes on over as many pages as it needs, a row of controls at a time.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/report/Report.h"
#include "platform/ui/report/ReportPages.h"

namespace kr::report {

class ReportWriter {
public:
    explicit ReportWriter(const ReportLayout& layout);

    // The report set-up: the first page begins with its page header.
    void Open();
    bool IsOpen() const { return open_; }
    // The detail band of the record in the buffer, after the group footers
    // and headers its keys call for.
    void PrintDetail();
    // The open groups' footers, the closing band and the last page footer.
    // Opens the report first when no record was printed, so an empty report
    // is one page with its headings.
    void Close();
    bool IsClosed() const { return closed_; }

    // Each page, once finished, goes to `sink` instead of being kept: the
    // report then holds only the page being laid out (a report printed as it
    // runs, or one kept in a PageStore). Set before the first record.
    void SetPageSink(std::function<void(Page&&)> sink) { sink_ = std::move(sink); }

    int PageCount() const { return sent_ + static_cast<int>(out_.pages.size()); }
    int DetailCount() const { return details_; }
    const RenderedReport& Pages() const { return out_; }
    RenderedReport TakePages();

private:
    struct Accumulator {
        double sum = 0;
        long long count = 0;
    };
    // Where a band sits: -1 page header, -2 page footer, -3 detail, -4
    // closing, else 2 x level (header) or 2 x level + 1 (footer).
    void PrintBand(const Band& band, int where);
    // The band's drawing operations placed within the band, and its height;
    // with `grow`, long texts are broken into lines and the band grows.
    struct LaidBand {
        std::vector<DrawOp> ops;
        int height = 0;
    };
    LaidBand Lay(const Band& band, int where, bool grow) const;
    void PrintBandAt(const Band& band, int where, int top);
    int BodyTop() const;
    void NewPage();
    void EndPage();
    int FooterTop() const;
    void Tally();
    void ResetTotals(int where);
    std::string Formatted(const Control& c, int where, int index) const;

    const ReportLayout& layout_;
    RenderedReport out_;
    std::function<void(Page&&)> sink_;
    int sent_ = 0;  // pages handed to the sink
    bool open_ = false, closed_ = false, pageOpen_ = false;
    bool bodyOnPage_ = false;  // a band below the page header on this page
    int y_ = 0;
    int details_ = 0;
    std::vector<std::string> keys_;                       // the open groups' keys
    std::map<std::pair<int, int>, Accumulator> totals_;   // (where, control) -> total
};

}  // namespace kr::report
