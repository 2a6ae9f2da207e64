#include "platform/ui/report/ReportPages.h"

#include "platform/runtime/PrivateFiles.h"
#include "platform/ui/report/ReportText.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QDir>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace kr::report {

namespace {

constexpr double kThousandthsPerPoint = 1000.0 / 72.0;

int QtAlign(Align a, bool wrap) {
    int flags = Qt::AlignTop;
    switch (a) {
        case Align::Left: flags |= Qt::AlignLeft; break;
        case Align::Center: flags |= Qt::AlignHCenter; break;
        case Align::Right: flags |= Qt::AlignRight; break;
    }
    return flags | (wrap ? Qt::TextWordWrap : Qt::TextSingleLine);
}

QString Lines(const std::string& text) {
    // A carriage return in a memo starts a new line, as a line feed does.
    QString s = QString::fromStdString(text);
    s.replace("\r\n", "\n");
    s.replace('\r', '\n');
    return s;
}

// A page in the store: the number of operations, then per operation its
// kind, its flags (alignment, wrap, clip, checked), box, line width, font
// number and text.
template <typename T>
void Put(std::vector<char>& out, T v) {
    const size_t at = out.size();
    out.resize(at + sizeof v);
    std::memcpy(out.data() + at, &v, sizeof v);
}
template <typename T>
bool Get(const std::vector<char>& in, size_t& at, T& v) {
    if (at + sizeof v > in.size()) return false;
    std::memcpy(&v, in.data() + at, sizeof v);
    at += sizeof v;
    return true;
}

bool WriteAll(int fd, const char* data, size_t size, long long at) {
    while (size > 0) {
        const ssize_t n = pwrite(fd, data, size, at);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
        at += n;
    }
    return true;
}

}  // namespace

std::shared_ptr<PageStore> PageStore::Create() {
    std::string name = (QDir::tempPath() + "/kr-report-XXXXXX").toStdString();
    const int fd = mkstemp(name.data());
    if (fd < 0) return nullptr;
    // No name in the folder: the file lives as long as the store holds it.
    unlink(name.c_str());
    std::shared_ptr<PageStore> store(new PageStore);
    store->fd_ = fd;
    return store;
}

PageStore::~PageStore() {
    if (fd_ >= 0) close(fd_);
}

bool PageStore::Add(const Page& page) {
    if (failed_) return false;
    std::vector<char>& b = buffer_;
    b.clear();
    Put<uint32_t>(b, static_cast<uint32_t>(page.ops.size()));
    for (const DrawOp& op : page.ops) {
        uint16_t font = 0;
        while (font < fonts_.size() &&
               !(fonts_[font].name == op.font.name && fonts_[font].points == op.font.points &&
                 fonts_[font].bold == op.font.bold && fonts_[font].italic == op.font.italic))
            ++font;
        if (font == fonts_.size()) fonts_.push_back(op.font);
        const uint8_t flags = static_cast<uint8_t>(static_cast<int>(op.align) | (op.wrap ? 4 : 0) |
                                                   (op.clip ? 8 : 0) | (op.checked ? 16 : 0));
        Put<uint8_t>(b, static_cast<uint8_t>(op.kind));
        Put<uint8_t>(b, flags);
        Put<uint16_t>(b, font);
        for (int v : {op.x, op.y, op.width, op.height, op.lineWidth}) Put<int32_t>(b, v);
        Put<uint32_t>(b, static_cast<uint32_t>(op.text.size()));
        b.insert(b.end(), op.text.begin(), op.text.end());
    }
    if (!WriteAll(fd_, b.data(), b.size(), end_)) {
        failed_ = true;
        return false;
    }
    offsets_.push_back(end_);
    end_ += static_cast<long long>(b.size());
    return true;
}

Page PageStore::At(int index) const {
    Page page;
    if (index < 0 || index >= Count()) return page;
    const long long from = offsets_[index];
    const long long to = index + 1 < Count() ? offsets_[index + 1] : end_;
    std::vector<char> b(static_cast<size_t>(to - from));
    size_t got = 0;
    while (got < b.size()) {
        const ssize_t n = pread(fd_, b.data() + got, b.size() - got, from + static_cast<long long>(got));
        if (n <= 0) return page;
        got += static_cast<size_t>(n);
    }
    size_t at = 0;
    uint32_t count = 0;
    if (!Get(b, at, count)) return page;
    page.ops.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        DrawOp op;
        uint8_t kind = 0, flags = 0;
        uint16_t font = 0;
        int32_t v[5] = {};
        uint32_t length = 0;
        bool ok = Get(b, at, kind) && Get(b, at, flags) && Get(b, at, font);
        for (int32_t& x : v) ok = ok && Get(b, at, x);
        ok = ok && Get(b, at, length) && at + length <= b.size() && font < fonts_.size();
        if (!ok) return Page{};
        op.kind = static_cast<DrawOp::Kind>(kind);
        op.align = static_cast<Align>(flags & 3);
        op.wrap = flags & 4;
        op.clip = flags & 8;
        op.checked = flags & 16;
        op.font = fonts_[font];
        op.x = v[0], op.y = v[1], op.width = v[2], op.height = v[3], op.lineWidth = v[4];
        op.text.assign(b.data() + at, length);
        at += length;
        page.ops.push_back(std::move(op));
    }
    return page;
}

int PageCount(const RenderedReport& report) {
    return report.store ? report.store->Count() : static_cast<int>(report.pages.size());
}

QFont SystemFont(const Font& f, double unitsPerPoint) {
    QFont q;
    // The program's report fonts are the Windows sans fonts; fontconfig's
    // "sans-serif" is the system's own.
    q.setFamily("sans-serif");
    q.setStyleHint(QFont::SansSerif);
    const int px = static_cast<int>(f.points * unitsPerPoint + 0.5);
    q.setPixelSize(px > 0 ? px : 1);
    q.setBold(f.bold);
    q.setItalic(f.italic);
    return q;
}

FittedLayout FitToPaper(const ReportLayout& layout, int paperWidth, int paperHeight) {
    FittedLayout f{layout, 1.0};
    const int margins = layout.marginLeft + layout.marginRight;
    const int wanted = layout.pageWidth - margins;
    const int room = paperWidth - margins;
    if (wanted > 0 && room > 0 && room < wanted) f.scale = static_cast<double>(room) / wanted;
    f.layout.pageWidth = static_cast<int>(paperWidth / f.scale + 0.5);
    f.layout.pageHeight = static_cast<int>(paperHeight / f.scale + 0.5);
    return f;
}

QSize PaperSize(const QPageLayout& paper) {
    const QSizeF inches = paper.fullRect(QPageLayout::Inch).size();
    return QSize(static_cast<int>(inches.width() * 1000 + 0.5), static_cast<int>(inches.height() * 1000 + 0.5));
}

QPageLayout PaperOf(const RenderedReport& report) {
    if (report.paper) return *report.paper;
    const QPageSize size(QSizeF(report.pageWidth * report.scale / 1000.0, report.pageHeight * report.scale / 1000.0),
                         QPageSize::Inch, QString(), QPageSize::ExactMatch);
    return QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0));
}

void PaintPage(QPainter& p, const RenderedReport& report, int index, double scale) {
    if (index < 0 || index >= PageCount(report)) return;
    if (report.store)
        PaintPage(p, report, report.store->At(index), scale);
    else
        PaintPage(p, report, report.pages[index], scale);
}

void PaintPage(QPainter& p, const RenderedReport& report, const Page& page, double scale) {
    scale *= report.scale;
    p.save();
    p.scale(scale, scale);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setPen(Qt::black);
    for (const DrawOp& op : page.ops) {
        switch (op.kind) {
            case DrawOp::kText: {
                p.setFont(SystemFont(op.font, kThousandthsPerPoint));
                p.drawText(QRect(op.x, op.y, op.width, op.height),
                           QtAlign(op.align, op.wrap) | (op.clip ? 0 : Qt::TextDontClip), Lines(op.text));
                break;
            }
            case DrawOp::kLine: {
                p.setPen(QPen(Qt::black, op.lineWidth));
                p.drawLine(op.x, op.y, op.x + op.width, op.y + op.height);
                p.setPen(Qt::black);
                break;
            }
            case DrawOp::kBox: {
                p.setPen(QPen(Qt::black, op.lineWidth));
                p.setBrush(Qt::NoBrush);
                p.drawRect(op.x, op.y, op.width, op.height);
                p.setPen(Qt::black);
                break;
            }
            case DrawOp::kCheck: {
                // A square of the text's height, crossed when set, and the label.
                const int side = CheckBoxSide(op.font);
                const QRect box(op.x, op.y + 10, side, side);
                p.setPen(QPen(Qt::black, 8));
                p.setBrush(Qt::NoBrush);
                p.drawRect(box);
                if (op.checked) {
                    p.drawLine(box.topLeft() + QPoint(20, 20), box.bottomRight() - QPoint(20, 20));
                    p.drawLine(box.topRight() + QPoint(-20, 20), box.bottomLeft() + QPoint(20, -20));
                }
                p.setPen(Qt::black);
                p.setFont(SystemFont(op.font, kThousandthsPerPoint));
                p.drawText(QRect(op.x + side + 40, op.y, CheckLabelRoom(op.font, op.width), op.height),
                           QtAlign(Align::Left, false), Lines(op.text));
                break;
            }
        }
    }
    p.restore();
}

QImage PageImage(const RenderedReport& report, int index, double zoom) {
    const double scale = 96.0 * zoom / 1000.0;
    const QSize paper = PaperSize(PaperOf(report));
    QImage img(std::max(1, static_cast<int>(paper.width() * scale)),
               std::max(1, static_cast<int>(paper.height() * scale)), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    PaintPage(p, report, index, scale);
    return img;
}

std::vector<int> PrintOrder(int pageCount, int copies, bool collate) {
    if (copies < 1) copies = 1;
    std::vector<int> order;
    order.reserve(static_cast<size_t>(pageCount) * copies);
    if (collate) {
        for (int c = 0; c < copies; ++c)
            for (int i = 0; i < pageCount; ++i) order.push_back(i);
    } else {
        for (int i = 0; i < pageCount; ++i)
            for (int c = 0; c < copies; ++c) order.push_back(i);
    }
    return order;
}

bool PaintPages(QPagedPaintDevice& device, const RenderedReport& report, const std::vector<int>& order,
                const std::string& file) {
    PagePainter painter(device, file);
    for (int index : order)
        if (!painter.Paint(report, index)) return false;
    return painter.End();
}

bool MakePrivatePrintFile(const std::string& file) {
    if (file.empty()) return false;
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFileMode);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

PagePainter::PagePainter(QPagedPaintDevice& device, std::string file) : device_(device), file_(std::move(file)) {}

PagePainter::~PagePainter() = default;

bool PagePainter::Paint(const RenderedReport& report, int index) {
    if (report.store) return Paint(report, report.store->At(index));
    if (index < 0 || index >= static_cast<int>(report.pages.size())) return !failed_;
    return Paint(report, report.pages[index]);
}

bool PagePainter::Paint(const RenderedReport& report, const Page& page) {
    if (failed_) return false;
    if (!begun_) {
        painter_ = std::make_unique<QPainter>();
        const bool made = MakePrivatePrintFile(file_);
        if (!painter_->begin(&device_)) {
            failed_ = true;
            painter_.reset();
            if (made) ::unlink(file_.c_str());
            return false;
        }
        begun_ = true;
    } else if (!device_.newPage()) {
        failed_ = true;
        return false;
    }
    // Device pixels per thousandth of an inch; the origin is the paper's
    // corner (printers may report a printable area offset).
    PaintPage(*painter_, report, page, device_.logicalDpiX() / 1000.0);
    ++painted_;
    return true;
}

bool PagePainter::End() {
    if (failed_ || !painter_) return false;
    const bool ok = painter_->end();
    painter_.reset();
    return ok;
}

bool WritePdf(const RenderedReport& report, const std::string& file, int copies, bool collate) {
    QPdfWriter pdf(QString::fromStdString(file));
    pdf.setResolution(600);
    pdf.setTitle(QString::fromStdString(report.title));
    pdf.setCreator("Kairoll");
    pdf.setPageLayout(PaperOf(report));
    const int pages = PageCount(report);
    if (pages == 0) return false;
    return PaintPages(pdf, report, PrintOrder(pages, copies, collate), file);
}

}  // namespace kr::report
