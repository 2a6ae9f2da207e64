// Printing a list as it is shown: a report built at run time from the list's
// shown columns (their order, headers, alignments, offsets and borders) on
// the program's report engine.
#include <QFontMetrics>
#include <QHeaderView>
#include <QTableView>
#include <memory>

#include "platform/data/ListQuery.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "platform/ui/BrowseList.h"
#include "platform/ui/ReportPreview.h"
#include "xplore/PrintFit.h"
#include "xplore/windows/GraphWindow.h"
#include "xplore/windows/XploreList.h"

namespace kr::xplore {

namespace {

using report::Align;
using report::Control;

// The order of the list's view as text ("-SCH:Date,UPPER(SCH:Description)").
std::string OrderText(const data::ListQuery& q) {
    std::string out;
    for (const data::OrderTerm& t : q.order()) {
        if (!t.field) continue;
        if (!out.empty()) out += ",";
        if (t.descending) out += "-";
        out += t.noCase ? "UPPER(" + t.field->name + ")" : t.field->name;
    }
    return out.substr(0, 255);
}

Align AlignOf(char just) {
    if (just == 'C') return Align::Center;
    if (just == 'R' || just == 'D') return Align::Right;
    return Align::Left;
}

// A label of the report moved in from its aligned side by its offset.
Control Label(Control c, int offset) {
    if (offset <= 0 || c.width <= offset) return c;
    if (c.align == Align::Left) {
        c.x += offset;
        c.width -= offset;
    } else if (c.align == Align::Right) {
        c.width -= offset;
    }
    return c;
}

struct PrintState {
    std::vector<std::string> texts;  // the current row's cells, by printed column
    std::vector<double> totals;
    std::vector<bool> totalled;
    int64_t count = 0;   // rows printed
    int64_t shown = 0;   // the count in the page header
    std::vector<data::ListRow> pageRows;
    std::size_t next = 0;
    data::ListRow anchor;
    bool started = false;
};

}  // namespace

void PrintList(XploreList& list, std::string_view mode, std::function<void()> done, std::string outputFile) {
    auto finish = [done] {
        if (done) done();
    };
    const std::string m(mode.substr(0, std::min<std::size_t>(4, mode.size())));
    if (m != "Page" && m != "View") return finish();
    const bool view = m == "View";
    BrowseList& b = list.list();
    QTableView* table = b.ListControl();
    data::ListQuery& q = b.query();

    // Preparation: title, font, order, filter, the expected total.
    const std::string title = table->window()->windowTitle().toStdString();
    const QFont listFont = table->font();
    std::string fontName = listFont.family().left(30).toStdString();
    if (fontName == "MS Sans Serif") fontName = "Arial";
    int style = static_cast<int>(listFont.weight());
    if (style == 0) style = 400;
    const std::string order = OrderText(q);
    const std::string filter = q.FilterText().substr(0, 255);
    int64_t expected = q.table().Records();
    if (expected < 1) expected = b.Records();

    // The rows the list shows, for "Page" and for measuring.
    auto state = std::make_shared<PrintState>();
    const int64_t records = b.Records();
    int first = std::max(0, table->rowAt(0));
    int last = table->rowAt(std::max(0, table->viewport()->height() - 1));
    if (last < 0) last = static_cast<int>(std::min<int64_t>(records, first + 100)) - 1;
    for (int i = first; i <= last && i < records; ++i)
        if (const data::ListRow* r = b.RowAt(i)) state->pageRows.push_back(*r);

    // Print widths: the widest shown value of each column, in list units.
    const QFontMetrics fm(listFont);
    std::vector<PrintColumn> columns;
    std::vector<const Column*> source;
    for (const Column& c : list.core().DisplayColumns()) {
        const int bc = list.BrowseColumnOf(c);
        if (bc < 0) continue;
        PrintColumn p;
        p.qnos = c.qnos;
        int widest = 0;
        for (const data::ListRow& r : state->pageRows)
            widest = std::max(widest, fm.horizontalAdvance(QString::fromStdString(b.CellText(r, bc))));
        p.maxWidth = PixelsToDlu(table, widest);
        p.headerWidth = PixelsToDlu(table, fm.horizontalAdvance(QString::fromStdString(c.header)));
        p.fjust = c.fjust;
        p.foffset = c.foffset;
        p.icon = c.iconx;
        p.border = c.border;
        columns.push_back(p);
        source.push_back(&c);
    }
    // The fitting drops columns on its own copy: the list keeps all of its own.
    const PrintFit fit = FitPrintColumns(columns);
    const int l = fit.fontSize;

    struct Printed {
        int browseColumn;
        Column column;
    };
    std::vector<Printed> printed;
    for (const PrintColumn& p : fit.columns)
        for (const Column* c : source)
            if (c->qnos == p.qnos) printed.push_back({list.BrowseColumnOf(*c), *c});
    state->texts.assign(printed.size(), {});
    state->totals.assign(printed.size(), 0);
    state->totalled.assign(printed.size(), false);

    // The layout: landscape, 9800 thousandths of an inch between the margins.
    auto layout = std::make_shared<report::ReportLayout>();
    layout->title = title;
    layout->pageWidth = 11000;
    layout->pageHeight = 8500;
    layout->marginLeft = layout->marginRight = 600;
    // The columns are sized to their widest value; a cell is clipped at its column.
    layout->growToFit = false;
    layout->font = report::Font{fontName, static_cast<double>(l), style >= 700, (style & 4096) != 0};
    report::Font fixed = layout->font;
    report::Font bold = fixed;
    bold.bold = true;
    const int lineHeight = l * 1000 / 72 + 40;
    const int headerHeight = 650 + lineHeight + 20;

    const int32_t today = Today();
    const int32_t now = ClockTime();
    auto& hc = layout->pageHeader.controls;
    layout->pageHeader.height = headerHeight;
    hc.push_back(report::WithFont(report::Text(0, 0, 8900, lineHeight, title), bold));
    hc.push_back(report::WithFont(report::PageNumber(9000, 0, 800, lineHeight, "pPage <<<#p", Align::Right), fixed));
    hc.push_back(report::WithFont(report::Text(0, 200, 900, lineHeight, "Report Date"), fixed));
    hc.push_back(report::WithFont(report::Field(900, 200, 1400, lineHeight, [today] { return Value(today); }, "@d17"), fixed));
    hc.push_back(report::WithFont(report::Field(2300, 200, 900, lineHeight, [now] { return Value(now); }, "@t3"), fixed));
    hc.push_back(report::WithFont(report::Text(3400, 200, 500, lineHeight, "Font:"), fixed));
    hc.push_back(report::WithFont(report::Text(3900, 200, 2500, lineHeight, PrintFontText(fontName, l)), fixed));
    hc.push_back(report::WithFont(
        report::Field(6600, 200, 2000, lineHeight, [state] { return Value(PrintCountText(state->shown)); }, ""), fixed));
    hc.push_back(report::WithFont(report::Text(0, 400, 583, lineHeight, "Order:"), fixed));
    hc.push_back(report::WithFont(report::Text(583, 400, 4200, lineHeight, order), fixed));
    hc.push_back(report::WithFont(report::Text(4900, 400, 583, lineHeight, "Filter:"), fixed));
    hc.push_back(report::WithFont(report::Text(5483, 400, 4300, lineHeight, filter), fixed));

    report::Font headerFont = fixed;
    headerFont.bold = false;  // the header font style of the print settings: 400
    bool anyTotal = false;
    int x = 0;
    layout->detail.height = lineHeight + 20;
    for (std::size_t i = 0; i < printed.size(); ++i) {
        const Column& c = printed[i].column;
        const int w = fit.Width(i);
        auto* st = state.get();
        Control value = report::Field(x, 20, w, lineHeight, [st, i] { return Value(st->texts[i]); }, "",
                                      AlignOf(c.fjust));
        layout->detail.controls.push_back(report::WithFont(Label(value, c.foffset * 2 * l), fixed));
        if (c.border && i + 1 < printed.size())
            hc.push_back(report::Line(x + w, 650, x + w, headerHeight, 20));
        std::string header = c.header;
        while (!header.empty() && header.back() == ' ') header.pop_back();
        Control h = report::Text(x, 650, w, lineHeight, header, AlignOf(c.hjust));
        hc.push_back(report::WithFont(Label(h, c.hoffset * 2 * l), headerFont));
        if (c.totalOk) {
            anyTotal = true;
            const std::string picture = c.picture;
            Control t = report::Field(x, 650, w, lineHeight, [st, i] { return Value(st->totals[i]); }, picture,
                                      AlignOf(c.fjust));
            layout->closing.controls.push_back(report::WithFont(Label(t, c.foffset * 2 * l), fixed));
        }
        x += w;
    }
    if (anyTotal) layout->closing.height = 650 + lineHeight + 20;

    // Each row fills the cells and adds to the totals before its band prints.
    auto fill = [state, printed, &b](const data::ListRow& r) {
        for (std::size_t i = 0; i < printed.size(); ++i) {
            std::string t = b.CellText(r, printed[i].browseColumn);
            while (!t.empty() && t.back() == ' ') t.pop_back();
            std::size_t lead = t.find_first_not_of(' ');
            t = lead == std::string::npos ? std::string() : t.substr(lead, 255);
            state->texts[i] = t;
            if (printed[i].column.totalOk) state->totals[i] += PrintTotalValue(t);
        }
        ++state->count;
    };

    auto job = std::make_shared<ReportJob>();
    job->procedureName = "PrintList";
    job->layout = layout;
    job->outputFile = std::move(outputFile);
    // With the list's print settings "View" goes through the preview and
    // "Page" straight to the printer.
    job->preview = view;
    if (view) {
        job->progressTitle = "Progress...";
        // The page header counts the rows of the view, not those printed so
        // far: its first page would otherwise say "1 Records".
        state->shown = q.Count();
        job->total = static_cast<int>(std::min<int64_t>(expected, INT32_MAX));
        job->read = [state, fill, &q]() {
            if (state->next >= state->pageRows.size()) {
                state->pageRows.clear();
                state->next = 0;
                const int rc = q.Page(state->started ? &state->anchor : nullptr, true, 200, state->pageRows);
                state->started = true;
                if (rc != 0) return RecordStep::Fatal(q.Message());
                if (state->pageRows.empty()) return RecordStep::End();
                state->anchor = state->pageRows.back();
            }
            fill(state->pageRows[state->next++]);
            return RecordStep::Done();
        };
        state->pageRows.clear();
    } else {
        job->total = static_cast<int>(state->pageRows.size());
        state->shown = static_cast<int64_t>(state->pageRows.size());
        job->read = [state, fill]() {
            if (state->next >= state->pageRows.size()) return RecordStep::End();
            fill(state->pageRows[state->next++]);
            return RecordStep::Done();
        };
    }
    RunReport(job, [finish, table](int) {
        table->setFocus();
        finish();
    });
}

}  // namespace kr::xplore
