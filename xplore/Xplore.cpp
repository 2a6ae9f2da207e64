#include "xplore/Xplore.h"

#include <algorithm>
#include <cctype>

#include "platform/data/ListQuery.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Strings.h"

namespace kr::xplore {

namespace {

bool StringPicture(std::string_view picture) {
    if (!picture.empty() && picture[0] == '@') picture.remove_prefix(1);
    return !picture.empty() && (picture[0] == 'S' || picture[0] == 's');
}

int ToInt(const std::string& s, int fallback) {
    std::string t = Trim(s);
    if (t.empty() || !IsNumeric(t)) return fallback;
    return static_cast<int>(std::strtol(t.c_str(), nullptr, 10));
}

}  // namespace

Xplore::Xplore() = default;
Xplore::~Xplore() = default;

void Xplore::Attach(std::string_view style, std::string file) {
    headerStyle = EqualNoCase(Trim(std::string(style)), "Underline") ? HeaderStyle::Underline : HeaderStyle::MarkHeader;
    iniFile = std::move(file);
    sortMark_ = savedAscDesc ? descMark : ascMark;
}

void Xplore::Init(const std::vector<ColumnDef>& defs, const std::vector<OrderDef>& orders,
                  const std::vector<OrderComponent>& extra, bool appendExtra) {
    all_.clear();
    display_.clear();
    int f = 0;
    for (std::size_t i = 0; i < defs.size(); ++i) {
        const ColumnDef& d = defs[i];
        ++f;
        if (d.locatorType == 'X' && !d.display) continue;  // counts one field, nothing more
        Column c;
        c.field = d.field;
        c.description = d.description;
        c.header = d.header;
        c.picture = d.picture;
        c.widthDlu = d.width;
        c.hjust = c.fjust = d.justify;
        c.display = d.display;
        c.colors = d.colors;
        c.iconx = d.icon;
        c.viewField = d.viewField;
        c.tab = d.tab & 0xffff;
        c.totalOk = d.totalOk;
        c.graphOk = d.graphOk;
        c.sortable = d.sortable;
        c.sortField = d.sortable ? 1 : 0;
        c.locatorType = d.locatorType;
        c.qnos = f;
        c.seq = static_cast<int>(i) + 1;
        c.hoffset = c.foffset = 1;
        c.border = c.resize = true;
        c.controlField = d.display;
        c.icon = d.display ? 1 : 0;
        if (c.controlField) {
            c.col = static_cast<int>(i) + 1;
            Column shown = c;
            shown.seq = shown.col = static_cast<int>(display_.size()) + 1;
            display_.push_back(shown);
        }
        f += (d.colors ? 4 : 0) + (d.icon ? 1 : 0);
        all_.push_back(c);
    }
    orderParts_.clear();
    for (const OrderDef& o : orders) {
        int qnos = 0;
        for (const Column& c : all_)
            if (EqualNoCase(c.field, o.column)) qnos = c.qnos;
        int seq = 0;
        for (const OrderComponent& oc : o.components) orderParts_.push_back({qnos, ++seq, oc.field, oc.opposite, oc.picture});
    }
    extraOrder_.clear();
    int seq = 0;
    for (const OrderComponent& oc : extra) extraOrder_.push_back({0, ++seq, oc.field, oc.opposite, oc.picture});
    appendExtra_ = appendExtra;
    designed_ = BuildFormat();
    designedShown_ = designed_;
    origFormat_ = designed_;
}

void Xplore::AddSortOrder(int id) {
    formats_.push_back({id, "0"});
}

std::string Xplore::ColumnOrderText(const Column& c, int direction) const {
    std::vector<OrderPart> parts;
    for (const OrderPart& p : orderParts_)
        if (p.qnos == c.qnos && c.qnos != 0) parts.push_back(p);
    std::sort(parts.begin(), parts.end(), [](const OrderPart& a, const OrderPart& b) { return a.seq < b.seq; });
    // A column without components sorts on its own field, with the column.
    if (parts.empty()) parts.push_back({c.qnos, 1, c.field, false, c.picture});
    if (!appendExtra_) parts.insert(parts.end(), extraOrder_.begin(), extraOrder_.end());
    std::string out;
    for (const OrderPart& p : parts) {
        std::string term = (static_cast<int>(p.opposite) != direction) ? "-" : "";
        term += StringPicture(p.picture) && caseInsensitive ? "UPPER(" + p.field + ")" : p.field;
        out += (out.empty() ? "" : ",") + term;
    }
    return out;
}

void Xplore::SyncOrders(const ApplyOrderFn& applyOrder) {
    int n = 0;
    for (Column& c : all_) {
        if (!c.sortable) continue;
        ++n;
        int asc = applyOrder ? applyOrder(n, ColumnOrderText(c, 0), 0) : 2 * n - 1;
        c.sortField = asc;
        if (applyOrder) applyOrder(n, ColumnOrderText(c, 1), 1);
        for (Column& d : display_)
            if (d.qnos == c.qnos) d.sortField = asc;
    }
}

FormatGroup Xplore::ToGroup(const Column& c) const {
    FormatGroup g;
    g.width = c.widthDlu;
    g.dataJustify = c.fjust;
    g.dataIndent = c.foffset;
    g.colors = c.colors;
    g.icon = c.iconx;
    g.fixed = c.fixed;
    g.underline = c.underline;
    g.resize = c.resize;
    g.border = c.border;
    g.header = c.header;
    g.headerJustify = c.hjust;
    g.headerIndent = c.hoffset;
    g.picture = c.picture;
    g.field = c.qnos;
    g.nfg = c.nfg;
    g.nbg = c.nbg;
    g.sfg = c.sfg;
    g.sbg = c.sbg;
    return g;
}

std::string Xplore::BuildFormat() {
    ListFormat f;
    for (std::size_t i = 0; i < display_.size(); ++i) {
        display_[i].seq = display_[i].col = static_cast<int>(i) + 1;
        f.groups.push_back(ToGroup(display_[i]));
    }
    listFormat_ = f.Build();
    if (listFormat_.size() > 1024) listFormat_.resize(1024);
    return listFormat_;
}

void Xplore::ParseFormat(std::string_view format) {
    std::vector<Column> shown;
    for (const FormatGroup& g : ListFormat::Parse(format).groups) {
        auto it = std::find_if(all_.begin(), all_.end(), [&](const Column& c) { return c.qnos == g.field; });
        if (it == all_.end()) continue;  // no such column: the group is left out
        if (std::any_of(shown.begin(), shown.end(), [&](const Column& c) { return c.qnos == g.field; })) continue;
        Column c = *it;
        c.widthDlu = g.width;
        c.fjust = g.dataJustify;
        c.foffset = g.dataIndent;
        c.fixed = g.fixed;
        c.underline = g.underline;
        c.resize = g.resize;
        c.border = g.border;
        c.header = g.header;
        c.hjust = g.headerJustify;
        c.hoffset = g.headerIndent;
        c.picture = g.picture;
        c.nfg = g.nfg;
        c.nbg = g.nbg;
        c.sfg = g.sfg;
        c.sbg = g.sbg;
        c.display = true;
        c.seq = c.col = static_cast<int>(shown.size()) + 1;
        shown.push_back(c);
    }
    display_ = std::move(shown);
    for (Column& a : all_)
        a.icon = std::any_of(display_.begin(), display_.end(), [&](const Column& c) { return c.qnos == a.qnos; });
    BuildFormat();
}

void Xplore::RestoreFormat(std::string_view section, std::string_view suffix, std::string_view dateFormat,
                           const ListGeometry& current) {
    IniFile ini(iniFile);
    std::string sfx(suffix);
    saved_ = current;
    restoredLook_ = current;
    restored_ = false;
    markShown_ = false;
    designedShown_ = data::ApplyDatePicture(designed_, dateFormat);
    if (formats_.empty()) AddSortOrder(1);
    std::string stored = ini.Fetch(section, "XploreOrigFormatString-" + sfx, "0");
    origFormat_ = designed_;
    if (stored != designed_) {
        // First run, or the program's list changed: the designed layout. The
        // first click on column 1 sorts it ascending, as on any other.
        sortColumn_ = 1;
        savedAscDesc = 0;
        savedDirectionPending_ = true;
        sortMark_ = ascMark;
        for (Format& f : formats_) f.format = designedShown_;
        ParseFormat(designedShown_);
        return;
    }
    for (std::size_t n = 0; n < formats_.size(); ++n) {
        std::string f = ini.Fetch(section, "XploreFormatString-" + sfx + std::to_string(n + 1), origFormat_);
        formats_[n].format = f == "0" ? f : data::ApplyDatePicture(f, dateFormat);
    }
    currentFormat_ = 0;
    if (formats_[0].format != "0") ParseFormat(formats_[0].format);
    if (display_.empty()) ParseFormat(designedShown_);  // nothing readable was saved
    ListGeometry& g = restoredLook_;
    auto num = [&](const char* key, int fallback) {
        return ToInt(ini.Fetch(section, std::string(key) + sfx, std::to_string(fallback)), fallback);
    };
    g.hscroll = num("XploreHscroll-", current.hscroll) != 0;
    g.vscroll = num("XploreVscroll-", current.vscroll) != 0;
    g.lineHeight = num("XploreLineHeight-", current.lineHeight);
    g.fontName = ini.Fetch(section, "XploreFont-" + sfx, current.fontName);
    g.fontSize = num("XplorePoint-", current.fontSize);
    g.fontColor = num("XploreColor-", current.fontColor);
    g.fontStyle = num("XploreStyle-", current.fontStyle);
    if (restorePosition) {
        g.x = num("XploreXpos-", current.x);
        g.y = num("XploreYpos-", current.y);
        g.height = num("XploreHeight-", current.height);
        g.width = num("XploreWidth-", current.width);
    }
    restored_ = true;
    sortColumn_ = std::clamp(num("XplorePrevCol-", 1), 0, static_cast<int>(display_.size()));
    savedAscDesc = num("XploreAscDesc-", 0) ? 1 : 0;
    savedDirectionPending_ = sortColumn_ > 0;
    sortMark_ = savedAscDesc ? descMark : ascMark;
    if (Column* c = DisplayColumn(sortColumn_)) sortedQnos_ = c->qnos;
}

void Xplore::SaveFormat(std::string_view section, std::string_view suffix, const ListGeometry& current) {
    IniFile ini(iniFile);
    IniFile::Batch batch(ini);
    std::string sfx(suffix);
    if (formats_.empty()) AddSortOrder(1);
    formats_[currentFormat_].format = listFormat_;
    for (std::size_t n = 0; n < formats_.size(); ++n)
        ini.Update(section, "XploreFormatString-" + sfx + std::to_string(n + 1), formats_[n].format);
    ini.Update(section, "XploreOrigFormatString-" + sfx, origFormat_);
    auto put = [&](const char* key, const std::string& v) { ini.Update(section, std::string(key) + sfx, v); };
    put("XploreXpos-", std::to_string(current.x));
    put("XploreYpos-", std::to_string(current.y));
    put("XploreHeight-", std::to_string(current.height));
    put("XploreWidth-", std::to_string(current.width));
    put("XploreHscroll-", current.hscroll ? "1" : "0");
    put("XploreVscroll-", current.vscroll ? "1" : "0");
    put("XploreLineHeight-", std::to_string(current.lineHeight));
    put("XploreFont-", current.fontName);
    put("XplorePoint-", std::to_string(current.fontSize));
    put("XploreColor-", std::to_string(current.fontColor));
    put("XploreStyle-", std::to_string(current.fontStyle));
    put("XplorePrevCol-", std::to_string(sortColumn_));
    const Column* c = DisplayColumn(sortColumn_);
    put("XploreAscDesc-", c && c->ascDesc ? "1" : "0");
    batch.Flush();
}

Column* Xplore::DisplayColumn(int listColumn) {
    if (listColumn < 1 || listColumn > static_cast<int>(display_.size())) return nullptr;
    return &display_[static_cast<std::size_t>(listColumn - 1)];
}

const Column* Xplore::ColumnByQnos(int qnos) const {
    for (const Column& c : all_)
        if (c.qnos == qnos) return &c;
    return nullptr;
}

bool Xplore::SortOnColumn(int listColumn, std::string* message) {
    Column* c = DisplayColumn(listColumn);
    if (!c) return false;
    if (!c->sortable) {
        if (message) *message = "Data cannot be ordered on column: " + c->header + " (" + c->field + ")";
        return false;
    }
    if (savedDirectionPending_ && listColumn == sortColumn_) {
        // The first click after a restart on the saved column takes the saved direction.
        c->ascDesc = savedAscDesc;
    } else if (listColumn == sortColumn_) {
        c->ascDesc = c->ascDesc ? 0 : 1;
    } else {
        c->ascDesc = 0;
        sortColumn_ = listColumn;
    }
    savedDirectionPending_ = false;
    savedAscDesc = 0;
    markShown_ = true;
    sortMark_ = c->ascDesc ? descMark : ascMark;
    sortedQnos_ = c->qnos;
    return true;
}

int Xplore::ColumnSortState() const {
    if (sortColumn_ < 1 || sortColumn_ > static_cast<int>(display_.size())) return 0;
    const Column& c = display_[static_cast<std::size_t>(sortColumn_ - 1)];
    if (!c.sortField) return 0;
    return c.sortField + (c.ascDesc ? 1 : 0);
}

std::string Xplore::HeaderText(int listColumn) const {
    if (listColumn < 1 || listColumn > static_cast<int>(display_.size())) return {};
    std::string h = ClipRight(display_[static_cast<std::size_t>(listColumn - 1)].header);
    if (headerStyle == HeaderStyle::MarkHeader && markShown_ && listColumn == sortColumn_)
        return std::string(1, sortMark_) + h;
    return h;
}

bool Xplore::HeaderUnderlined(int listColumn) const {
    return headerStyle == HeaderStyle::Underline && listColumn == sortColumn_ && sortColumn_ > 0;
}

void Xplore::ClearSort() {
    sortColumn_ = 0;
    markShown_ = false;
    sortedQnos_ = 0;
    savedDirectionPending_ = false;
}

bool Xplore::MoveColumnLeft(int listColumn) {
    if (listColumn <= 1 || listColumn > static_cast<int>(display_.size())) return false;
    int sortedQnos = DisplayColumn(sortColumn_) ? DisplayColumn(sortColumn_)->qnos : 0;
    std::swap(display_[static_cast<std::size_t>(listColumn - 1)], display_[static_cast<std::size_t>(listColumn - 2)]);
    BuildFormat();
    if (sortedQnos)
        for (const Column& c : display_)
            if (c.qnos == sortedQnos) sortColumn_ = c.seq;
    return true;
}

bool Xplore::MoveColumnRight(int listColumn) {
    if (listColumn < 1 || listColumn >= static_cast<int>(display_.size())) return false;
    return MoveColumnLeft(listColumn + 1);
}

void Xplore::SetColumnWidth(int listColumn, int widthDlu) {
    if (Column* c = DisplayColumn(listColumn)) {
        c->widthDlu = std::max(0, widthDlu);
        BuildFormat();
    }
}

void Xplore::SetDisplayOrder(const std::vector<int>& qnosInOrder) {
    int sortedQnos = DisplayColumn(sortColumn_) ? DisplayColumn(sortColumn_)->qnos : 0;
    std::vector<Column> shown;
    for (int q : qnosInOrder)
        for (const Column& c : display_)
            if (c.qnos == q) shown.push_back(c);
    if (shown.size() != display_.size()) return;  // not a reordering of the same columns
    display_ = std::move(shown);
    BuildFormat();
    if (sortedQnos)
        for (const Column& c : display_)
            if (c.qnos == sortedQnos) sortColumn_ = c.seq;
}

int Xplore::BestFitWidth(const Column& c, int measured) const {
    int w = measured;
    if (c.fjust == 'L') w += c.foffset;
    else if (c.fjust == 'R') w += c.foffset;
    else if (c.fjust == 'D') w += 1;
    if (c.iconx) w += 11;
    return w + 1;
}

void Xplore::ApplyFormat() {
    display_.clear();
    for (Column& a : all_) {
        if (a.controlField) {
            Column c = a;
            c.display = true;
            c.seq = c.col = static_cast<int>(display_.size()) + 1;
            display_.push_back(c);
        }
        a.icon = a.controlField ? 1 : 0;
    }
    ParseFormat(designedShown_);
    restoredLook_ = saved_;
    int qnos = sortedQnos_;
    sortColumn_ = 0;
    markShown_ = true;
    for (const Column& c : display_)
        if (c.qnos == qnos && qnos) sortColumn_ = c.seq;
}

}  // namespace kr::xplore

namespace kr::xplore {

bool Xplore::TakeColumnCommand(std::string_view command, int listColumn) {
    std::string cmd = Upper(command.substr(0, 3));
    if (cmd == "EQL") {
        inclusiveCompare = !inclusiveCompare;
        return true;
    }
    if (cmd == "HSC" || cmd == "VSC") {
        bool& flag = cmd == "HSC" ? current.hscroll : current.vscroll;
        flag = !flag;
        return true;
    }
    Column* c = DisplayColumn(listColumn);
    if (!c) return false;
    currentColumn = listColumn;
    if (cmd.size() == 3 && (cmd.starts_with("HJ") || cmd.starts_with("FJ")) &&
        std::string_view("LRCD").find(cmd[2]) != std::string_view::npos) {
        (cmd[0] == 'H' ? c->hjust : c->fjust) = cmd[2];
    } else if (cmd == "FXD") {
        c->fixed = !c->fixed;
    } else if (cmd == "ULI") {
        c->underline = !c->underline;
    } else if (cmd == "BDR") {
        c->border = !c->border;
    } else if (cmd == "RSZ") {
        c->resize = !c->resize;
    } else {
        return false;
    }
    BuildFormat();
    return true;
}

bool Xplore::HideColumn(int listColumn) {
    if (display_.size() < 2) return false;
    Column* c = DisplayColumn(listColumn);
    if (!c) return false;
    int sortedQnos = DisplayColumn(sortColumn_) ? DisplayColumn(sortColumn_)->qnos : 0;
    for (Column& a : all_)
        if (a.qnos == c->qnos) {
            a = *c;
            a.display = false;
            a.icon = 0;
            a.col = 0;
        }
    if (sortedQnos == c->qnos) sortedQnos = 0;
    display_.erase(display_.begin() + (listColumn - 1));
    BuildFormat();
    sortColumn_ = 0;
    for (const Column& d : display_)
        if (d.qnos == sortedQnos && sortedQnos) sortColumn_ = d.seq;
    if (currentColumn > static_cast<int>(display_.size())) currentColumn = static_cast<int>(display_.size());
    return true;
}

int Xplore::ShowColumn(int qnos, int* shownAt) {
    for (const Column& d : display_)
        if (d.qnos == qnos) {
            if (shownAt) *shownAt = d.seq;
            return 0;
        }
    for (Column& a : all_) {
        if (a.qnos != qnos) continue;
        a.display = true;
        a.icon = 1;
        Column c = a;
        display_.push_back(c);
        BuildFormat();
        if (shownAt) *shownAt = static_cast<int>(display_.size());
        return static_cast<int>(display_.size());
    }
    if (shownAt) *shownAt = 0;
    return 0;
}

void Xplore::SetHeader(int listColumn, std::string_view header) {
    if (Column* c = DisplayColumn(listColumn)) {
        c->header = std::string(header.substr(0, 35));
        BuildFormat();
    }
}

void Xplore::SetColumnColors(int listColumn, int32_t nfg, int32_t nbg, int32_t sfg, int32_t sbg) {
    if (Column* c = DisplayColumn(listColumn)) {
        c->nfg = nfg;
        c->nbg = nbg;
        c->sfg = sfg;
        c->sbg = sbg;
        BuildFormat();
    }
}

void Xplore::MarkViewFields(const std::function<bool(const std::string&)>& isTableField) {
    for (Column& a : all_) a.viewField = a.viewField && isTableField(a.field);
    for (Column& d : display_)
        for (const Column& a : all_)
            if (a.qnos == d.qnos) d.viewField = a.viewField;
}

bool Xplore::FilterOn(int event, int listColumn, const Value& value, bool text) {
    if (event == kEventCancelFilter) {
        query.Clear();
        return true;
    }
    const Column* c = DisplayColumn(listColumn);
    if (!c || !c->viewField) return false;
    std::string field = ClipRight(c->field);
    std::string v = ClipRight(value.toText());
    std::string prefix = caseInsensitive ? "^" : "";
    std::string inclusive = inclusiveCompare ? "=" : "";
    switch (event) {
    case kEventFilterEqual: query.SetValue(field, FilterSlot::Equal, prefix + v, text); return true;
    case kEventFilterNotEqual: query.SetValue(field, FilterSlot::Equal, "~" + prefix + v, text); return true;
    case kEventFilterLess: query.SetValue(field, FilterSlot::High, inclusive + prefix + v, text); return true;
    case kEventFilterGreater: query.SetValue(field, FilterSlot::Low, inclusive + prefix + v, text); return true;
    default: return false;
    }
}

}  // namespace kr::xplore
