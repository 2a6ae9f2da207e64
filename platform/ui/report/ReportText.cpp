#include "platform/ui/report/ReportText.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTextLayout>
#include <QTextOption>
#include <cmath>
#include <map>
#include <memory>
#include <tuple>
#include <unordered_map>

#include "platform/ui/report/ReportPages.h"

namespace kr::report {

namespace {

constexpr double kThousandthsPerPoint = 1000.0 / 72.0;

bool HaveFonts() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

// One QFont and its metrics per report font, kept per thread: a report
// measures every field of every band.
struct Measured {
    QFont font;
    QFontMetricsF metrics;
    // Widths of texts met before: a report prints the same categories,
    // dates and flags again and again.
    std::unordered_map<std::string, int> widths;
    explicit Measured(const QFont& f) : font(f), metrics(f) {}
};

Measured& MeasuredFont(const Font& f) {
    thread_local std::map<std::tuple<std::string, double, bool, bool>, std::unique_ptr<Measured>> cache;
    auto& slot = cache[{f.name, f.points, f.bold, f.italic}];
    if (!slot) slot = std::make_unique<Measured>(SystemFont(f, kThousandthsPerPoint));
    return *slot;
}

double Em(const Font& f) { return f.points * kThousandthsPerPoint; }

QString Paragraphs(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace("\r\n", "\n");
    s.replace('\r', '\n');
    return s;
}

QString TrimEnd(QString s) {
    int n = static_cast<int>(s.size());
    while (n > 0 && s[n - 1].isSpace()) --n;
    s.truncate(n);
    return s;
}

// Without fonts: a fixed advance per character.
void WrapEstimated(const Font& font, const QString& para, int width, std::vector<std::string>& out) {
    const int perLine = std::max(1, static_cast<int>(width / (Em(font) * 0.5)));
    QString rest = para;
    while (rest.size() > perLine) {
        int cut = static_cast<int>(rest.lastIndexOf(' ', perLine));
        if (cut <= 0) cut = perLine;
        out.push_back(TrimEnd(rest.left(cut)).toStdString());
        rest = rest.mid(cut);
        while (rest.startsWith(' ')) rest.remove(0, 1);
    }
    out.push_back(TrimEnd(rest).toStdString());
}

}  // namespace

int TextWidth(const Font& font, const std::string& text) {
    if (!HaveFonts()) return static_cast<int>(std::ceil(QString::fromStdString(text).size() * Em(font) * 0.5));
    Measured& m = MeasuredFont(font);
    if (auto it = m.widths.find(text); it != m.widths.end()) return it->second;
    if (m.widths.size() >= 4096) m.widths.clear();
    const int w = static_cast<int>(std::ceil(m.metrics.horizontalAdvance(QString::fromStdString(text))));
    m.widths.emplace(text, w);
    return w;
}

int LineHeight(const Font& font) {
    if (!HaveFonts()) return static_cast<int>(std::ceil(Em(font) * 1.2));
    return static_cast<int>(std::ceil(MeasuredFont(font).metrics.lineSpacing()));
}

int CheckBoxSide(const Font& font) { return static_cast<int>(Em(font) * 0.9); }

int CheckLabelRoom(const Font& font, int width) { return std::max(0, width - CheckBoxSide(font) - 40); }

std::vector<std::string> WrapText(const Font& font, const std::string& text, int width) {
    std::vector<std::string> out;
    const QString all = TrimEnd(Paragraphs(text));
    if (all.isEmpty()) return out;
    if (width < 1) width = 1;
    const bool fonts = HaveFonts();
    for (const QString& para : all.split('\n')) {
        const QString line = TrimEnd(para);
        if (line.isEmpty()) {
            out.emplace_back();
            continue;
        }
        if (!fonts) {
            WrapEstimated(font, line, width, out);
            continue;
        }
        Measured& m = MeasuredFont(font);
        if (m.metrics.horizontalAdvance(line) <= width) {
            out.push_back(line.toStdString());
            continue;
        }
        QTextLayout layout(line, m.font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine()) {
            l.setLineWidth(width);
            out.push_back(TrimEnd(line.mid(l.textStart(), l.textLength())).toStdString());
        }
        layout.endLayout();
    }
    return out;
}

}  // namespace kr::report
