#include "platform/ui/report/ReportWriter.h"

#include <algorithm>

#include "platform/runtime/Picture.h"
#include "platform/ui/report/ReportText.h"

namespace kr::report {

namespace {
bool IsDatePicture(const std::string& p) {
    const size_t at = !p.empty() && p[0] == '@' ? 1 : 0;
    return at < p.size() && (p[at] == 'd' || p[at] == 'D');
}
constexpr int kPageHeader = -1, kPageFooter = -2, kDetail = -3, kClosing = -4;
}

ReportWriter::ReportWriter(const ReportLayout& layout) : layout_(layout) {
    out_.title = layout.title;
    out_.pageWidth = layout.pageWidth;
    out_.pageHeight = layout.pageHeight;
    out_.copies = layout.copies < 1 ? 1 : layout.copies;
    out_.collate = layout.collate;
}

RenderedReport ReportWriter::TakePages() { return std::move(out_); }

int ReportWriter::FooterTop() const {
    return layout_.pageHeight - layout_.marginBottom - (layout_.pageFooter.empty() ? 0 : layout_.pageFooter.height);
}

void ReportWriter::Open() {
    if (open_) return;
    open_ = true;
    NewPage();
}

void ReportWriter::NewPage() {
    out_.pages.emplace_back();
    pageOpen_ = true;
    bodyOnPage_ = false;
    y_ = layout_.marginTop;
    ResetTotals(kPageFooter);
    if (!layout_.pageHeader.empty()) {
        // The header grows too (a title typed longer than its box).
        LaidBand laid = Lay(layout_.pageHeader, kPageHeader, layout_.growToFit);
        for (DrawOp& op : laid.ops) {
            op.y += y_;
            out_.pages.back().ops.push_back(std::move(op));
        }
        y_ += laid.height;
    }
}

void ReportWriter::EndPage() {
    if (!pageOpen_) return;
    if (!layout_.pageFooter.empty()) PrintBandAt(layout_.pageFooter, kPageFooter, FooterTop());
    pageOpen_ = false;
    if (sink_) {
        Page page = std::move(out_.pages.back());
        out_.pages.pop_back();
        ++sent_;
        sink_(std::move(page));
    }
}

int ReportWriter::BodyTop() const {
    return layout_.marginTop + (layout_.pageHeader.empty() ? 0 : layout_.pageHeader.height);
}

void ReportWriter::PrintBand(const Band& band, int where) {
    if (band.empty()) return;
    if (!pageOpen_) NewPage();
    LaidBand laid = Lay(band, where, layout_.growToFit);
    const int h = laid.height;
    // A band that does not fit goes to the next page, unless the page holds
    // nothing but its header; one taller than a whole page starts where it
    // is and goes on over the pages it needs.
    if (bodyOnPage_ && y_ + h > FooterTop() && h <= FooterTop() - BodyTop()) {
        EndPage();
        NewPage();
    }
    std::stable_sort(laid.ops.begin(), laid.ops.end(), [](const DrawOp& a, const DrawOp& b) { return a.y < b.y; });
    int top = y_;
    bool onThisPage = bodyOnPage_;  // something printed above the row on this page
    for (size_t i = 0; i < laid.ops.size();) {
        // A row: the operations that start at the same height.
        size_t j = i;
        int bottom = 0;
        while (j < laid.ops.size() && laid.ops[j].y == laid.ops[i].y) {
            bottom = std::max(bottom, laid.ops[j].y + std::max(0, laid.ops[j].height));
            ++j;
        }
        if (onThisPage && top + bottom > FooterTop()) {
            EndPage();
            NewPage();
            top = y_ - laid.ops[i].y;
        }
        Page& page = out_.pages.back();
        for (size_t k = i; k < j; ++k) {
            DrawOp op = std::move(laid.ops[k]);
            op.y += top;
            page.ops.push_back(std::move(op));
        }
        onThisPage = true;
        i = j;
    }
    y_ = top + h;
    bodyOnPage_ = true;
}

std::string ReportWriter::Formatted(const Control& c, int where, int index) const {
    Value v;
    if (c.kind == Control::kPageNumber) {
        v = Value(static_cast<int64_t>(PageCount()));
    } else if (c.kind == Control::kGroupKey) {
        // The key of the group the band belongs to, as it was when the group
        // began: a footer prints after the next group's record is read.
        const size_t level = where >= 0 ? static_cast<size_t>(where / 2) : keys_.size();
        v = Value(level < keys_.size() ? keys_[level] : std::string());
    } else if (c.total != Control::kNoTotal) {
        auto it = totals_.find({where, index});
        const Accumulator a = it == totals_.end() ? Accumulator{} : it->second;
        if (c.total == Control::kCount)
            v = Value(static_cast<int64_t>(a.count));
        else if (a.sum == static_cast<double>(static_cast<int64_t>(a.sum)))
            v = Value(static_cast<int64_t>(a.sum));
        else
            v = Value(a.sum);
    } else if (c.value) {
        v = c.value();
    }
    if (c.picture.empty()) return v.toText();
    std::string s = Format(v, IsDatePicture(c.picture) && !layout_.datePicture.empty() ? layout_.datePicture : c.picture);
    // Pictures pad to their width; the control aligns the text itself.
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    const size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

ReportWriter::LaidBand ReportWriter::Lay(const Band& band, int where, bool grow) const {
    LaidBand laid;
    laid.height = band.height;
    // The controls that grew: their box within the band and how much taller
    // they became; every control below one moves down by its growth and by
    // the moves of the growing controls above it.
    struct Growth {
        int top, bottom, extra;
    };
    std::vector<Growth> grown;
    std::vector<std::pair<size_t, size_t>> opsOf;  // per control: its operations
    const int left = layout_.marginLeft;
    for (size_t i = 0; i < band.controls.size(); ++i) {
        const Control& c = band.controls[i];
        DrawOp op;
        op.x = left + c.x;
        op.y = c.y;
        op.width = c.width;
        op.height = c.height;
        op.font = c.useFont ? c.font : layout_.font;
        op.align = c.align;
        op.wrap = c.wrap;
        op.lineWidth = c.lineWidth;
        switch (c.kind) {
            case Control::kText:
                op.kind = DrawOp::kText;
                op.text = c.text;
                break;
            case Control::kField:
            case Control::kPageNumber:
            case Control::kGroupKey:
                op.kind = DrawOp::kText;
                op.text = Formatted(c, where, static_cast<int>(i));
                break;
            case Control::kLine:
                op.kind = DrawOp::kLine;
                break;
            case Control::kBox:
                op.kind = DrawOp::kBox;
                break;
            case Control::kCheck:
                op.kind = DrawOp::kCheck;
                op.text = c.text;
                if (c.value) {
                    const Value v = c.value();
                    op.checked = v.isNumber() ? v.toReal() != 0 : v.truthy() && v.toText() != "0";
                }
                break;
        }
        const size_t first = laid.ops.size();
        const bool breaks = grow && op.kind == DrawOp::kText && c.kind != Control::kPageNumber && c.width > 0 &&
                            !op.text.empty() &&
                            (c.wrap || op.text.find_first_of("\r\n") != std::string::npos ||
                             TextWidth(op.font, op.text) > c.width);
        if (!breaks) {
            laid.ops.push_back(std::move(op));
        } else {
            // One operation per line, a line's height apart.
            const int lh = LineHeight(op.font);
            const std::vector<std::string> lines = WrapText(op.font, op.text, c.width);
            for (size_t n = 0; n < lines.size(); ++n) {
                DrawOp line = op;
                line.text = lines[n];
                line.y = c.y + static_cast<int>(n) * lh;
                line.height = lh;
                line.wrap = false;
                line.clip = false;
                laid.ops.push_back(std::move(line));
            }
            const int need = static_cast<int>(lines.size()) * lh;
            if (need > c.height) grown.push_back({c.y, c.y + c.height, need - c.height});
        }
        opsOf.emplace_back(first, laid.ops.size());
    }
    if (grown.empty()) return laid;
    // How far a control starting at `y` moves: the largest growth (with its
    // own move) of the growing controls that end at or above it.
    std::sort(grown.begin(), grown.end(), [](const Growth& a, const Growth& b) { return a.top < b.top; });
    std::vector<int> moved(grown.size(), 0);
    auto shift = [&](int y, size_t upTo) {
        int s = 0;
        for (size_t g = 0; g < upTo; ++g)
            if (grown[g].bottom <= y) s = std::max(s, moved[g] + grown[g].extra);
        return s;
    };
    for (size_t g = 0; g < grown.size(); ++g) moved[g] = shift(grown[g].top, g);
    int most = 0;
    for (size_t g = 0; g < grown.size(); ++g) most = std::max(most, moved[g] + grown[g].extra);
    for (size_t i = 0; i < band.controls.size(); ++i) {
        const int s = shift(band.controls[i].y, grown.size());
        if (s == 0) continue;
        for (size_t k = opsOf[i].first; k < opsOf[i].second; ++k) laid.ops[k].y += s;
    }
    laid.height = band.height + most;
    return laid;
}

void ReportWriter::PrintBandAt(const Band& band, int where, int top) {
    // The page footer keeps its height: its texts stop at their boxes.
    LaidBand laid = Lay(band, where, false);
    Page& page = out_.pages.back();
    for (DrawOp& op : laid.ops) {
        op.y += top;
        page.ops.push_back(std::move(op));
    }
}

void ReportWriter::Tally() {
    auto add = [this](const Band& band, int where) {
        for (size_t i = 0; i < band.controls.size(); ++i) {
            const Control& c = band.controls[i];
            if (c.total == Control::kNoTotal) continue;
            Accumulator& a = totals_[{where, static_cast<int>(i)}];
            ++a.count;
            if (c.total == Control::kSum && c.value) a.sum += c.value().toReal();
        }
    };
    for (size_t l = 0; l < layout_.groups.size(); ++l) add(layout_.groups[l].footer, static_cast<int>(2 * l + 1));
    add(layout_.closing, kClosing);
    add(layout_.pageFooter, kPageFooter);
}

void ReportWriter::ResetTotals(int where) {
    for (auto it = totals_.begin(); it != totals_.end();) {
        if (it->first.first == where)
            it = totals_.erase(it);
        else
            ++it;
    }
}

void ReportWriter::PrintDetail() {
    if (closed_) return;
    Open();
    if (layout_.beforeDetail) layout_.beforeDetail();
    // The first level whose key changed; every level inside it breaks too.
    const size_t levels = layout_.groups.size();
    std::vector<std::string> now(levels);
    for (size_t l = 0; l < levels; ++l) now[l] = layout_.groups[l].key ? layout_.groups[l].key() : std::string();
    size_t broken = levels;
    if (keys_.size() != levels) {
        broken = 0;
    } else {
        for (size_t l = 0; l < levels; ++l)
            if (now[l] != keys_[l]) {
                broken = l;
                break;
            }
    }
    if (broken < levels) {
        if (keys_.size() == levels) {
            // Footers of the groups that end, innermost first. Their totals
            // hold only the records of their group.
            for (size_t l = levels; l-- > broken;) PrintBand(layout_.groups[l].footer, static_cast<int>(2 * l + 1));
        }
        keys_ = std::move(now);
        for (size_t l = broken; l < levels; ++l) {
            const Group& g = layout_.groups[l];
            if (g.newPage && bodyOnPage_) {
                EndPage();
                NewPage();
            }
            ResetTotals(static_cast<int>(2 * l + 1));
            PrintBand(g.header, static_cast<int>(2 * l));
        }
    }
    Tally();
    PrintBand(layout_.detail, kDetail);
    ++details_;
}

void ReportWriter::Close() {
    if (closed_) return;
    Open();
    if (keys_.size() == layout_.groups.size() && !keys_.empty())
        for (size_t l = layout_.groups.size(); l-- > 0;) PrintBand(layout_.groups[l].footer, static_cast<int>(2 * l + 1));
    PrintBand(layout_.closing, kClosing);
    EndPage();
    closed_ = true;
}

}  // namespace kr::report
