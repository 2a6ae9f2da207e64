#include "platform/ui/report/ReportPages.h"

#include "platform/ui/report/ReportText.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

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

}  // namespace

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
    if (index < 0 || index >= static_cast<int>(report.pages.size())) return;
    scale *= report.scale;
    p.save();
    p.scale(scale, scale);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setPen(Qt::black);
    for (const DrawOp& op : report.pages[index].ops) {
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

bool PaintPages(QPagedPaintDevice& device, const RenderedReport& report, const std::vector<int>& order) {
    QPainter p;
    if (!p.begin(&device)) return false;
    // Device pixels per thousandth of an inch.
    const double scale = device.logicalDpiX() / 1000.0;
    bool first = true;
    for (int index : order) {
        if (!first) device.newPage();
        first = false;
        // The paper's corner: printers may report a printable area offset.
        PaintPage(p, report, index, scale);
    }
    return p.end();
}

bool WritePdf(const RenderedReport& report, const std::string& file, int copies, bool collate) {
    QPdfWriter pdf(QString::fromStdString(file));
    pdf.setResolution(600);
    pdf.setTitle(QString::fromStdString(report.title));
    pdf.setCreator("Kairoll");
    pdf.setPageLayout(PaperOf(report));
    int pages = static_cast<int>(report.pages.size());
    if (pages == 0) return false;
    return PaintPages(pdf, report, PrintOrder(pages, copies, collate));
}

}  // namespace kr::report
