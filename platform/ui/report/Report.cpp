#include "platform/ui/report/Report.h"

namespace kr::report {

namespace {
Control Box4(Control::Kind kind, int x, int y, int w, int h) {
    Control c;
    c.kind = kind;
    c.x = x;
    c.y = y;
    c.width = w;
    c.height = h;
    return c;
}
}  // namespace

Control Text(int x, int y, int w, int h, std::string text, Align align) {
    Control c = Box4(Control::kText, x, y, w, h);
    c.text = std::move(text);
    c.align = align;
    return c;
}

Control Field(int x, int y, int w, int h, std::function<Value()> value, std::string picture, Align align) {
    Control c = Box4(Control::kField, x, y, w, h);
    c.value = std::move(value);
    c.picture = std::move(picture);
    c.align = align;
    return c;
}

Control Memo(int x, int y, int w, int h, std::function<Value()> value) {
    Control c = Box4(Control::kField, x, y, w, h);
    c.value = std::move(value);
    c.wrap = true;
    return c;
}

Control Sum(int x, int y, int w, int h, std::function<Value()> value, std::string picture, Align align) {
    Control c = Field(x, y, w, h, std::move(value), std::move(picture), align);
    c.total = Control::kSum;
    return c;
}

Control Count(int x, int y, int w, int h, std::string picture, Align align) {
    Control c = Box4(Control::kField, x, y, w, h);
    c.picture = std::move(picture);
    c.align = align;
    c.total = Control::kCount;
    return c;
}

Control GroupKey(int x, int y, int w, int h, std::string picture, Align align) {
    Control c = Box4(Control::kGroupKey, x, y, w, h);
    c.picture = std::move(picture);
    c.align = align;
    return c;
}

Control PageNumber(int x, int y, int w, int h, std::string picture, Align align) {
    Control c = Box4(Control::kPageNumber, x, y, w, h);
    c.picture = std::move(picture);
    c.align = align;
    return c;
}

Control Line(int x1, int y1, int x2, int y2, int lineWidth) {
    Control c = Box4(Control::kLine, x1, y1, x2 - x1, y2 - y1);
    c.lineWidth = lineWidth;
    return c;
}

Control Box(int x, int y, int w, int h, int lineWidth) {
    Control c = Box4(Control::kBox, x, y, w, h);
    c.lineWidth = lineWidth;
    return c;
}

Control Check(int x, int y, int w, int h, std::string label, std::function<Value()> value) {
    Control c = Box4(Control::kCheck, x, y, w, h);
    c.text = std::move(label);
    c.value = std::move(value);
    return c;
}

Control WithFont(Control c, Font f) {
    c.useFont = true;
    c.font = std::move(f);
    return c;
}

Font Bold(double points, std::string name) {
    Font f;
    f.name = std::move(name);
    f.points = points;
    f.bold = true;
    return f;
}

}  // namespace kr::report
