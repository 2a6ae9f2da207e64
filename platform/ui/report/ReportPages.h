// The rendered pages of a report: what each page draws, in thousandths of an
// inch, kept so that one run can be previewed, printed any number of times
// and written to PDF, each device drawing the same pages at its own
// resolution.
#pragma once

#include <QFont>
#include <QImage>
#include <QPageLayout>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/report/Report.h"

class QPainter;
class QPagedPaintDevice;

namespace kr::report {

struct DrawOp {
    enum Kind { kText, kLine, kBox, kCheck };
    Kind kind = kText;
    int x = 0, y = 0, width = 0, height = 0;  // for a line: from (x, y) by (width, height)
    std::string text;
    Font font;
    Align align = Align::Left;
    bool wrap = false;
    // A line the writer measured to fit its column is drawn whole, even
    // where a device's font runs a little wider; other texts stop at their box.
    bool clip = true;
    bool checked = false;
    int lineWidth = 10;
};

struct Page {
    std::vector<DrawOp> ops;
};

struct RenderedReport {
    std::string title;
    // The page the bands were laid out on, in the layout's units.
    int pageWidth = 8500, pageHeight = 11000;
    // The paper a unit of the layout covers, in thousandths of an inch: below
    // 1 when a layout wider than the paper was scaled to it.
    double scale = 1.0;
    // The paper and orientation printed on; without one, a paper of the
    // page's own size.
    std::optional<QPageLayout> paper;
    int copies = 1;
    bool collate = false;
    std::vector<Page> pages;
};

// The font of the system that stands for a report font: "Arial" and "MS Sans
// Serif" (and any font the system lacks) become the sans font. Its size is
// given in the painter's units at `unitsPerPoint`.
QFont SystemFont(const Font& f, double unitsPerPoint);

// A layout put on a paper of `paperWidth` x `paperHeight` thousandths of an
// inch (as oriented), keeping its margins: pages break at the paper's
// height, and a layout wider than the paper between its margins is scaled
// down to it (`scale`), its page growing in the same proportion.
struct FittedLayout {
    ReportLayout layout;
    double scale = 1.0;
};
FittedLayout FitToPaper(const ReportLayout& layout, int paperWidth, int paperHeight);
// The paper in thousandths of an inch, as oriented.
QSize PaperSize(const QPageLayout& paper);

// The paper a rendered report goes on (see RenderedReport::paper).
QPageLayout PaperOf(const RenderedReport& report);

// Draws one page with the painter's origin at the paper's corner; `scale` is
// device pixels per thousandth of an inch of the paper.
void PaintPage(QPainter& painter, const RenderedReport& report, int index, double scale);

// The page as an image for the preview: zoom 1.0 is 96 dots per inch.
QImage PageImage(const RenderedReport& report, int index, double zoom);

// The order pages are sent in for `copies` copies: collated, each copy is
// the whole report in order; otherwise each page is repeated `copies` times.
std::vector<int> PrintOrder(int pageCount, int copies, bool collate);

// Draws the pages onto a paged device (a printer, a PDF writer) in `order`,
// on the page the device is set to (full page: origin at the paper's
// corner), which the caller sets to PaperOf(report). False when the device
// cannot be painted on.
bool PaintPages(QPagedPaintDevice& device, const RenderedReport& report, const std::vector<int>& order);

// Writes the report to a PDF file on its paper, copies and collation as in
// PrintOrder.
bool WritePdf(const RenderedReport& report, const std::string& file, int copies = 1, bool collate = false);

}  // namespace kr::report
