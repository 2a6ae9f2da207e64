// Measuring report texts in the report's units (thousandths of an inch), in
// the font the pages are drawn in (SystemFont), so that what the writer lays
// out is what the preview and the printer draw: the width of a text, the
// height of a line, and a long text broken into the lines of a column.
//
// Without a QGuiApplication (the engine run without a display) no font can
// be loaded; the measures then take an average character of half an em.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/report/Report.h"

namespace kr::report {

// The width of the text on one line.
int TextWidth(const Font& font, const std::string& text);
// The distance from one line to the next.
int LineHeight(const Font& font);
// The room a check box leaves its label in a box `width` wide: the box is
// a square of the text's height, then a gap.
int CheckLabelRoom(const Font& font, int width);
// The side of that square.
int CheckBoxSide(const Font& font);
// The text broken into lines no wider than `width`: at line breaks (a
// carriage return, a line feed or both), then between words, and inside a
// word that is wider than the column on its own. Trailing blanks of a line
// are dropped; an empty text gives no line.
std::vector<std::string> WrapText(const Font& font, const std::string& text, int width);

}  // namespace kr::report
