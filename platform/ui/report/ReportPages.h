// The rendered pages of a report: what each page draws, in thousandths of an
// inch, kept so that one run can be previewed, printed any number of times
// and written to PDF, each device drawing the same pages at its own
// resolution.
#pragma once

#include <QFont>
#include <QImage>
#include <QPageLayout>
#include <memory>
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

// Pages kept compactly outside memory while a report is previewed or waits
// for its copies: each page is written once, as it is finished, to a
// temporary file and read back page by page to be shown or printed. The file
// has no name in the folder (it is unlinked as soon as it is made), so it
// goes with the last holder of the store, even when the program is killed.
class PageStore {
public:
    // A store in the system's temporary folder; null when none can be made.
    static std::shared_ptr<PageStore> Create();
    ~PageStore();
    PageStore(const PageStore&) = delete;
    PageStore& operator=(const PageStore&) = delete;

    // False once a page could not be written (the disk is full); the pages
    // after it are not kept.
    bool Add(const Page& page);
    bool failed() const { return failed_; }
    int Count() const { return static_cast<int>(offsets_.size()); }
    // The page as it was added; an empty page when it cannot be read.
    Page At(int index) const;
    // Bytes the pages take in the file.
    long long Bytes() const { return end_; }

private:
    PageStore() = default;
    int fd_ = -1;
    std::vector<long long> offsets_;
    long long end_ = 0;
    bool failed_ = false;
    // The fonts of the pages, each kept once; the pages name them by number.
    std::vector<Font> fonts_;
    std::vector<char> buffer_;
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
    // The pages in memory, or, when `store` is set, in the store instead.
    std::vector<Page> pages;
    std::shared_ptr<PageStore> store;
};

// The pages of a report, wherever they are kept.
int PageCount(const RenderedReport& report);

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
void PaintPage(QPainter& painter, const RenderedReport& report, const Page& page, double scale);

// The page as an image for the preview: zoom 1.0 is 96 dots per inch.
QImage PageImage(const RenderedReport& report, int index, double zoom);

// The order pages are sent in for `copies` copies: collated, each copy is
// the whole report in order; otherwise each page is repeated `copies` times.
std::vector<int> PrintOrder(int pageCount, int copies, bool collate);

// Draws the pages onto a paged device (a printer, a PDF writer) in `order`,
// on the page the device is set to (full page: origin at the paper's
// corner), which the caller sets to PaperOf(report). False when the device
// cannot be painted on.
// `file` is the PDF file the device writes, if any (see PagePainter).
bool PaintPages(QPagedPaintDevice& device, const RenderedReport& report, const std::vector<int>& order,
                const std::string& file = {});

// Makes the file a print is about to write, when none is there yet, empty
// and owner-only: the device then writes into it and the pages keep that
// mode (Qt would create it with the umask's mode, readable by all). A file
// that exists keeps its mode. True when it made the file.
bool MakePrivatePrintFile(const std::string& file);

// Paints pages onto a paged device one at a time as they come (a report
// printed while it runs, a preview printed a slice per timer event). The
// painter begins at the first page, so a device that cannot be painted on
// fails there and nothing is made. `file` is the PDF file the device writes
// (empty for a printer's queue): made owner-only before the painter begins,
// and removed again when the device then cannot be painted on.
class PagePainter {
public:
    explicit PagePainter(QPagedPaintDevice& device, std::string file = {});
    ~PagePainter();
    // False when the device cannot be painted on.
    bool Paint(const RenderedReport& report, int index);
    bool Paint(const RenderedReport& report, const Page& page);
    // Ends the document; false when it could not be finished.
    bool End();
    bool begun() const { return begun_; }
    int painted() const { return painted_; }

private:
    QPagedPaintDevice& device_;
    std::string file_;
    std::unique_ptr<QPainter> painter_;
    bool begun_ = false, failed_ = false;
    int painted_ = 0;
};

// Writes the report to a PDF file on its paper, copies and collation as in
// PrintOrder.
bool WritePdf(const RenderedReport& report, const std::string& file, int copies = 1, bool collate = false);

}  // namespace kr::report
