// List printing, display-free: the print widths of the shown columns and
// how they are fitted onto a report 9800 thousandths of an inch wide.
//
// Widths come in the list's width units; each unit prints as F thousandths
// of an inch, F being twice the font size in points. A list too wide for 8
// points prints at the reduced size with columns dropped from its right end.
// The fitting works on a copy of the columns: the list keeps its own.
#pragma once

#include <string>
#include <vector>

namespace kr::xplore {

struct PrintColumn {
    int qnos = 0;
    int maxWidth = 0;     // widest formatted value, list units
    int headerWidth = 0;  // the header text, list units
    char fjust = 'L';
    int foffset = 0;
    bool icon = false;
    bool border = false;
};

struct PrintFit {
    static constexpr int kReportWidth = 9800;
    std::vector<PrintColumn> columns;  // the columns that print, their MAXWIDTH settled
    int fontSize = 8;                  // the print font size
    int factor = 12;                   // F: thousandths of an inch per unit
    int extra = 0;                     // spare width given to every column
    int sum = 0;                       // S
    // The printed width of column i: MAXWIDTH x F + extra, at least 1.
    int Width(std::size_t i) const;
};

// Steps: widen each column to its header or by its offsets, then fit at 8
// points, or at `reduced` points with columns dropped from the end.
PrintFit FitPrintColumns(std::vector<PrintColumn> columns, int reduced = 6);

// "n Records", and the font line of the page header.
std::string PrintCountText(long long count);
std::string PrintFontText(std::string fontName, int size);

// The total of a column's printed texts: each read as a number, 0 when it
// does not read as one.
double PrintTotalValue(const std::string& text);

}  // namespace kr::xplore
