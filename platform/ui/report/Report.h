// A report declared as bands of controls, in thousandths of an inch.
//
// A report is a page layout and its bands: a page header and footer on every
// page, a detail band per record, a header and footer per group level (a new
// group starts when its key changes), and a closing band after the last
// record. A band holds controls: fixed texts, fields (a value and a
// picture), lines, boxes and check boxes. Values are functions read when the
// band prints, usually over the record buffer the report walks.
//
//   ReportLayout r;
//   r.pageHeader = Band(700, {WithFont(Text(0, 0, 7500, 300, "Schedule"), Bold(14)),
//                             Text(0, 450, 1500, 200, "Date"), ...});
//   r.detail = Band(220, {Field(0, 0, 1500, 200, [&] { return Value(SCH.Date); }, "@d3"), ...});
//   r.groups.push_back(Group{[&] { return SCH.Category.str(); },
//                            Band(300, {GroupKey(0, 50, 4000, 200)}),
//                            Band(260, {Text(0, 0, 1000, 200, "Tasks:"), Count(1000, 0, 800, 200, "@n6")})});
//   r.pageFooter = Band(300, {PageNumber(6000, 50, 1500, 200, "pPage <<<#p")});
//
// Fonts named "Arial" or "MS Sans Serif" (the report fonts of the program)
// are drawn in the system's sans font.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/runtime/Value.h"

namespace kr::report {

enum class Align { Left, Center, Right };

struct Font {
    std::string name = "Arial";
    double points = 9;
    bool bold = false;
    bool italic = false;
};

struct Control {
    enum Kind { kText, kField, kPageNumber, kGroupKey, kLine, kBox, kCheck };
    // What a field adds up over its group (in a group footer) or the whole
    // report (in the closing band or the page footer).
    enum Total { kNoTotal, kSum, kCount };

    Kind kind = kText;
    int x = 0, y = 0, width = 0, height = 0;  // thousandths of an inch within the band
    std::string text;                         // a text's words; a check box's label
    std::string picture;                      // a field's or page number's picture
    std::function<Value()> value;             // a field's value; a check box's state
    Align align = Align::Left;
    Total total = kNoTotal;
    bool wrap = false;                        // a long text breaks into lines within its box
    int lineWidth = 10;                       // lines and boxes
    bool useFont = false;                     // else the report's font
    Font font;
};

struct Band {
    Band() = default;
    Band(int height, std::vector<Control> controls) : height(height), controls(std::move(controls)) {}
    int height = 0;  // 0: the band is not printed
    std::vector<Control> controls;
    bool empty() const { return height <= 0; }
};

struct Group {
    std::function<std::string()> key;
    Band header;
    Band footer;
    // A new group begins on a new page.
    bool newPage = false;
};

struct ReportLayout {
    std::string title;
    int pageWidth = 8500, pageHeight = 11000;  // letter, portrait
    int marginLeft = 500, marginTop = 500, marginRight = 500, marginBottom = 500;
    Font font;
    Band pageHeader;
    std::vector<Group> groups;  // outermost first
    Band detail;
    Band closing;
    Band pageFooter;
    // When set, every field whose picture is a date picture ("@D..." or
    // "d3", either case) shows dates in this picture instead: the user's
    // date format.
    std::string datePicture;
    // Bands grow to hold their memos and the fields and texts wider than
    // their boxes (ReportWriter). Off: every text stops at its box and every
    // band keeps its height (list printing sizes its columns itself).
    bool growToFit = true;
    // Called before each detail band prints (the record's computed fields).
    std::function<void()> beforeDetail;
    // Copies of the report; with collate each copy is the whole report in order.
    int copies = 1;
    bool collate = false;
};

// Shorthand for declaring controls.
Control Text(int x, int y, int w, int h, std::string text, Align align = Align::Left);
Control Field(int x, int y, int w, int h, std::function<Value()> value, std::string picture,
              Align align = Align::Left);
Control Memo(int x, int y, int w, int h, std::function<Value()> value);
Control Sum(int x, int y, int w, int h, std::function<Value()> value, std::string picture,
            Align align = Align::Right);
Control Count(int x, int y, int w, int h, std::string picture, Align align = Align::Right);
// The key of the group whose header or footer holds it (in a footer: the
// group that ends, not the record that ended it).
Control GroupKey(int x, int y, int w, int h, std::string picture = {}, Align align = Align::Left);
Control PageNumber(int x, int y, int w, int h, std::string picture = "pPage <<<#p", Align align = Align::Left);
Control Line(int x1, int y1, int x2, int y2, int lineWidth = 10);
Control Box(int x, int y, int w, int h, int lineWidth = 10);
Control Check(int x, int y, int w, int h, std::string label, std::function<Value()> value);
// The control with a font of its own.
Control WithFont(Control c, Font f);
Font Bold(double points, std::string name = "Arial");

}  // namespace kr::report
