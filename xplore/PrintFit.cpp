#include "xplore/PrintFit.h"

#include <algorithm>
#include <cstdlib>


namespace kr::xplore {

int PrintFit::Width(std::size_t i) const { return std::max(1, columns[i].maxWidth * factor + extra); }

PrintFit FitPrintColumns(std::vector<PrintColumn> columns, int reduced) {
    PrintFit fit;
    // Print widths: the header when it is wider, else the value with its
    // offset, decimal point, icon and one unit of air.
    long long s = 0;
    for (PrintColumn& c : columns) {
        if (c.maxWidth < c.headerWidth) {
            c.maxWidth = c.headerWidth;
        } else {
            if (c.fjust == 'L' || c.fjust == 'R') c.maxWidth += c.foffset;
            if (c.fjust == 'D') c.maxWidth += 1;
            if (c.icon) c.maxWidth += 11;
            c.maxWidth += 1;
        }
        s += c.maxWidth + (c.border ? 1 : 0);
    }

    const double limit = PrintFit::kReportWidth * 1.01;
    int size = 8;
    if (limit < static_cast<double>(s) * 16) {
        size = reduced;
        while (!columns.empty() && static_cast<double>(s) * 16 > limit) {
            s -= columns.back().maxWidth;
            columns.pop_back();
        }
    }
    int f = 2 * reduced;
    auto extraFor = [&](int factor) {
        return columns.empty() ? 0
                               : static_cast<int>((PrintFit::kReportWidth - s * factor) /
                                                  static_cast<long long>(columns.size()));
    };
    int extra = extraFor(f);
    for (std::size_t i = columns.size(); i-- > 0;) {
        if (columns[i].maxWidth * f + extra < 1) {
            s -= columns[i].maxWidth;
            columns.erase(columns.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    // The first size from the chosen one up to the reduced one that leaves
    // spare width; when none does, the counter ends one past the reduced size.
    int l = size;
    for (; l <= reduced; ++l) {
        f = 2 * l;
        extra = extraFor(f);
        if (extra > 0) break;
    }
    fit.fontSize = l;
    fit.factor = f;
    fit.extra = extraFor(f);
    fit.sum = static_cast<int>(s);
    fit.columns = std::move(columns);
    return fit;
}

std::string PrintCountText(long long count) { return std::to_string(count) + " Records"; }

std::string PrintFontText(std::string fontName, int size) {
    while (!fontName.empty() && fontName.back() == ' ') fontName.pop_back();
    if (fontName == "MS Sans Serif") fontName = "Arial";
    return (fontName + " " + std::to_string(size) + " Point").substr(0, 40);
}

double PrintTotalValue(const std::string& text) {
    // Thousands separators of a numeric picture do not stop the reading.
    std::string s;
    for (char ch : text)
        if (ch != ',') s += ch;
    char* end = nullptr;
    const char* b = s.c_str();
    while (*b == ' ') ++b;
    const double d = std::strtod(b, &end);
    if (end == b) return 0;
    while (*end == ' ') ++end;
    return *end ? 0 : d;
}

}  // namespace kr::xplore
