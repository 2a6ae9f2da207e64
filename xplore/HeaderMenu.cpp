#include "xplore/HeaderMenu.h"

#include <functional>

#include "platform/runtime/Strings.h"
#include "xplore/Xplore.h"

namespace kr::xplore {

namespace {

MenuItem Item(std::string name, std::string text, int event) {
    MenuItem m;
    m.name = std::move(name);
    m.checkable = !text.empty() && text[0] == '+';
    m.text = m.checkable ? text.substr(1) : std::move(text);
    m.event = event;
    return m;
}

MenuItem Separator(std::string name) {
    MenuItem m;
    m.name = std::move(name);
    m.separator = true;
    m.text = "-";
    return m;
}

// A text shown in a menu: "&" stands for itself, not for a mnemonic.
std::string Literal(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '&') out += '&';
        out += c;
    }
    return out;
}

}  // namespace

std::vector<MenuItem> BuildHeaderMenu(uint32_t o, const Xplore& x, bool afterOwnItems) {
    auto has = [o](uint32_t bits) { return (o & bits) != 0; };
    std::vector<MenuItem> top;
    if (afterOwnItems) top.push_back(Separator("S11"));

    MenuItem output = Item("Output", "&Output", 0);
    output.children = {Item("PVW", "Print All", kEventPrintAll), Item("PPG", "Print Page", kEventPrintPage),
                       Item("ASC", "Export to ASCII (" + Literal(x.csvFileName) + ")", kEventExportCsv),
                       Item("HTM", "Export to HTML (" + Literal(x.htmlFileName) + ")", kEventExportHtml),
                       Item("GBR", "Graph on", kEventGraph)};
    top.push_back(output);

    MenuItem list = Item("List", "&List", 0);
    list.children = {Item("DEF", "Reset to Default", kEventResetDefault),
                     Item("ADJ", "Best-fit Column Widths", kEventBestFit)};
    if (has(0x100000)) list.children.push_back(Item("PRP", "List Properties", kEventListProperties));
    list.children.push_back(Item("SRT", "Sort on", kEventSort));
    top.push_back(list);

    MenuItem filter = Item("Filter", "&Filter", 0);
    filter.children = {Item("ADDF1", "Add Filter of (=)", kEventFilterEqual),
                       Item("ADDF4", "Add Filter of (<>)", kEventFilterNotEqual),
                       Separator("S31"),
                       Item("ADDF2", "Add Filter of (<)", kEventFilterLess),
                       Item("ADDF3", "Add Filter of (>)", kEventFilterGreater),
                       Item("EQL", "+Add = to Filter", kEventInclusive),
                       Separator("S32"),
                       Item("VOID", "Cancel Filter", kEventCancelFilter)};
    top.push_back(filter);

    if (has(0xEDEFEFFF)) {
        MenuItem xp = Item("Xplore", "&Xplore", 0);
        auto& c = xp.children;
        if (has(0x2000)) {
            c.push_back(Item("MCL", "Move Left", kEventMoveLeft));
            c.push_back(Item("MCR", "Move Right", kEventMoveRight));
            c.push_back(Separator("S21"));
        }
        if (has(0x200)) c.push_back(Item("HOS", "Header offset", kEventHeaderOffset));
        if (has(0x10)) c.push_back(Item("DOS", "Data offset", kEventDataOffset));
        if (has(0x800)) c.push_back(Item("WID", "Width", kEventWidth));
        if (has(0x400)) c.push_back(Item("HDR", "Header Text", kEventHeaderText));
        if (has(0xE10)) c.push_back(Separator("S22"));
        if (has(0x1)) c.push_back(Item("FJL", "+Data Just left", kEventDataLeft));
        if (has(0x2)) c.push_back(Item("FJC", "+Data Just Center", kEventDataCenter));
        if (has(0x4)) c.push_back(Item("FJR", "+Data Just Right", kEventDataRight));
        if (has(0x8)) c.push_back(Item("FJD", "+Data Just Decimal", kEventDataDecimal));
        if (has(0xF)) c.push_back(Separator("S23"));
        if (has(0x20)) c.push_back(Item("HJL", "+Hdr Just left", kEventHeaderLeft));
        if (has(0x40)) c.push_back(Item("HJC", "+Hdr Just Center", kEventHeaderCenter));
        if (has(0x80)) c.push_back(Item("HJR", "+Hdr Just Right", kEventHeaderRight));
        if (has(0x100)) c.push_back(Item("HJD", "+Hdr Just Decimal", kEventHeaderDecimal));
        if (has(0x1E0)) c.push_back(Separator("S24"));
        if (has(0x80000)) c.push_back(Item("RSZ", "+Resize", kEventResize));
        if (has(0x40000)) c.push_back(Item("BDR", "+Border", kEventBorder));
        if (has(0x20000)) c.push_back(Item("ULI", "+Underline", kEventUnderline));
        if (has(0x10000)) c.push_back(Item("FXD", "+Fixed", kEventFixed));
        if (has(0xF0000)) c.push_back(Separator("S25"));
        while (!c.empty() && c.back().separator) c.pop_back();
        if (!c.empty()) top.push_back(xp);
    }

    // "Colors" is an item of the popup itself, between "&Xplore" and
    // "&ListBox", after a separator that is always there.
    top.push_back(Separator("S29"));
    if (has(0x8000)) top.push_back(Item("CLR", "Colors", kEventColors));

    if (has(0x1FE00000)) {
        MenuItem lb = Item("ListBox", "&ListBox", 0);
        auto& c = lb.children;
        if (has(0x200000)) c.push_back(Item("XPS", "X Pos", kEventListX));
        if (has(0x400000)) c.push_back(Item("YPS", "Y Pos", kEventListY));
        if (has(0x800000)) c.push_back(Item("BWI", "Width", kEventListWidth));
        if (has(0x1000000)) c.push_back(Item("BHI", "Height", kEventListHeight));
        if (has(0x1E00000)) c.push_back(Separator("S33"));
        if (has(0x4000000)) c.push_back(Item("LHI", "Line Height", kEventLineHeight));
        if (has(0x8000000)) c.push_back(Item("HSC", "+H Scroll", kEventHScroll));
        if (has(0x10000000)) c.push_back(Item("VSC", "+V Scroll", kEventVScroll));
        if (has(0x1C000000)) c.push_back(Separator("S34"));
        if (has(0x2000000)) c.push_back(Item("FNT", "Font", kEventFont));
        while (!c.empty() && c.back().separator) c.pop_back();
        if (!c.empty()) top.push_back(lb);
    }
    return top;
}

MenuItem* FindMenuItem(std::vector<MenuItem>& items, std::string_view name) {
    for (MenuItem& m : items) {
        if (EqualNoCase(m.name, name)) return &m;
        if (MenuItem* f = FindMenuItem(m.children, name)) return f;
    }
    return nullptr;
}

const MenuItem* FindMenuItem(const std::vector<MenuItem>& items, std::string_view name) {
    return FindMenuItem(const_cast<std::vector<MenuItem>&>(items), name);
}

void PrepareHeaderMenu(std::vector<MenuItem>& items, const Xplore& x, int listColumn, std::string_view value) {
    Xplore& xp = const_cast<Xplore&>(x);
    const Column* c = xp.DisplayColumn(listColumn);
    auto set = [&](std::string_view name, const std::function<void(MenuItem&)>& f) {
        if (MenuItem* m = FindMenuItem(items, name)) f(*m);
    };
    auto check = [&](std::string_view name, bool on) { set(name, [on](MenuItem& m) { m.checked = on; }); };
    check("FXD", c && c->fixed);
    check("ULI", c && c->underline);
    check("BDR", c && c->border);
    check("RSZ", c && c->resize);
    check("HSC", x.current.hscroll);
    check("VSC", x.current.vscroll);
    for (char j : std::string("LRCD")) {
        check(std::string("HJ") + j, c && c->hjust == j);
        check(std::string("FJ") + j, c && c->fjust == j);
    }
    std::string v = ClipRight(value);
    while (!v.empty() && v.front() == ' ') v.erase(v.begin());
    if (v.size() > 80) v.resize(80);
    const std::string d = c ? Literal(ClipRight(c->description)) : std::string();
    const std::string shown = Literal(v);
    const std::string eq = x.inclusiveCompare ? "=" : "";
    const bool filters = c && c->viewField;
    auto filter = [&](std::string_view name, const std::string& op) {
        set(name, [&](MenuItem& m) {
            m.text = "Add Filter of (" + d + op + shown + ")";
            m.enabled = filters;
        });
    };
    filter("ADDF1", "=");
    filter("ADDF4", "<>");
    filter("ADDF2", "<" + eq);
    filter("ADDF3", ">" + eq);
    check("EQL", x.inclusiveCompare);
    set("SRT", [&](MenuItem& m) {
        m.text = "Sort on " + d;
        m.enabled = c && c->sortField != 0;
    });
    set("GBR", [&](MenuItem& m) {
        m.text = "Graph on " + d;
        m.enabled = c && x.graphEnabled && c->graphOk;
    });
    set("PVW", [&](MenuItem& m) { m.enabled = x.previewEnabled; });
    set("PPG", [&](MenuItem& m) { m.enabled = x.printPageEnabled; });
}

}  // namespace kr::xplore
