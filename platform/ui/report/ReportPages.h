// The rendered pages of a report: what each page draws, in thousandths of an
// inch, kept so that one run can be previewed, printed any number of times
// and written to PDF, each device drawing the same pages at its own
// resolution.
#pragma once

#include <QFont>
#include <QImage>
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
    int pageWidth = 8500, pageHeight = 11000;
    int copies = 1;
    bool collate = false;
    std::vector<Page> pages;
};

// The font of the system that stands for a report font: "Arial" and "MS Sans
// Serif" (and any font the system lacks) become the sans font. Its size is
// given in the painter's units at `unitsPerPoint`.
QFont SystemFont(const Font& f, double unitsPerPoint);

// Draws one page with the painter's origin at the paper's corner; `scale` is
// device pixels per thousandth of an inch.
void PaintPage(QPainter& painter, const RenderedReport& report, int index, double scale);

// The page as an image for the preview: zoom 1.0 is 96 dots per inch.
QImage PageImage(const RenderedReport& report, int index, double zoom);

// The order pages are sent in for `copies` copies: collated, each copy is
// the whole report in order; otherwise each page is repeated `copies` times.
std::vector<int> PrintOrder(int pageCount, int copies, bool collate);

// Draws the pages onto a paged device (a printer, a PDF writer) in `order`.
// The device's page size is set to the report's paper. False when the
// device cannot be painted on.
bool PaintPages(QPagedPaintDevice& device, const RenderedReport& report, const std::vector<int>& order);

// Writes the report to a PDF file, copies and collation as in PrintOrder.
bool WritePdf(const RenderedReport& report, const std::string& file, int copies = 1, bool collate = false);

}  // namespace kr::report
