#include "xplore/Graph.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/data/ListQuery.h"


namespace kr::xplore {

namespace {

std::string Clipped(std::string_view s, std::size_t size) {
    std::string t(s.substr(0, std::min(size, s.size())));
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t;
}

}  // namespace

bool GraphCategories::Add(std::string_view text) {
    const std::string name = Clipped(text, kNameSize);
    ++rows_;
    auto it = std::lower_bound(items_.begin(), items_.end(), name,
                               [](const Category& c, const std::string& n) { return c.name < n; });
    if (it != items_.end() && it->name == name) {
        ++it->count;
    } else {
        items_.insert(it, Category{name, 1, 0});
    }
    return !TooMany();
}

void GraphCategories::Clear() {
    items_.clear();
    rows_ = 0;
}

void GraphCategories::ComputePercents() {
    for (Category& c : items_) {
        // The lower tenth: a share never rounds up to 100.0 while another
        // category has rows.
        c.percent = rows_ > 0 ? static_cast<double>(static_cast<int64_t>(c.count) * 1000 / rows_) / 10.0 : 0;
    }
}

int32_t GraphCategories::MaxCount() const {
    int32_t m = 0;
    for (const Category& c : items_) m = std::max(m, c.count);
    return m;
}

GraphCounter::GraphCounter(data::ListQuery& query, std::function<std::string(const data::ListRow&)> cell,
                           GraphCategories& categories, std::optional<std::vector<int>> fields)
    : query_(query), cell_(std::move(cell)), categories_(categories), fields_(std::move(fields)) {}

GraphCounter::~GraphCounter() = default;

GraphCounter::State GraphCounter::Step(int ms) {
    constexpr int kBatch = 1000;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    const std::vector<int>* fields = fields_ ? &*fields_ : nullptr;
    int counted = 0;
    while (state_ == State::Counting) {
        int read = 0;
        bool tooMany = false, timeUp = false;
        const int e = query_.Scan(fields, last_, kBatch, [&](const data::ListRow& r) {
            lastText_ = cell_(r);
            tooMany = !categories_.Add(lastText_);
            // The slice ends on time, whatever a row costs, so that Esc is
            // answered while the counting goes on.
            timeUp = ++counted % 16 == 0 && std::chrono::steady_clock::now() >= until;
            return !tooMany && !timeUp;
        }, last_, read);
        if (e != 0) return state_ = State::Failed;
        if (tooMany) return state_ = State::TooMany;
        if (timeUp) break;
        if (read < kBatch) return state_ = State::Done;
        if (std::chrono::steady_clock::now() >= until) break;
    }
    return state_;
}

std::string GraphEndMessage(const GraphCategories& categories, std::string_view columnDescription) {
    const std::string d = Clipped(columnDescription, 35);
    if (categories.Size() == 0) return "There are no categories to Graph of '" + d + "'";
    if (categories.Size() == 1) return "There is only one category to Graph of '" + d + "'";
    return {};
}

std::string TooComplexMessage(std::string_view columnDescription) {
    return "Too complex to graph - exceeds max number of categories: " +
           std::to_string(GraphCategories::kMaxCategories) + " - '" + Clipped(columnDescription, 35) + "'";
}

GraphLayout ComputeGraphLayout(int w, int h, int n) {
    GraphLayout l;
    n = std::max(n, 1);
    if (n >= 6) {
        l.gap = 4;
        l.barWidth = (w - 80) / n - 4;
        if (l.barWidth < 10) {
            l.gap = 2;
            l.barWidth = (w - 80) / n - 2;
        }
    } else {
        l.slot = (w - 160) / n;
        l.gap = l.slot / 5;
        l.barWidth = 4 * l.gap;
    }
    l.barWidth = std::max(l.barWidth, 1);
    l.baseY = h - 50;
    l.x0 = (w - ((n - 1) * (l.barWidth + l.gap) + l.barWidth)) / 2 + 32;
    return l;
}

int GraphLayout::BarHeight(int32_t count, int32_t max) const {
    if (max <= 0) return 0;
    return static_cast<int>(static_cast<int64_t>(count) * (baseY - kTopMargin) / max);
}

int GraphColorIndex(int n) { return ((n - 1) % 8 + 8) % 8 + 1; }

std::string GraphLabel(std::string_view name) {
    if (name.size() >= 4 && name.substr(2, 2) == " =") return std::string(name.substr(4));
    return std::string(name);
}

std::string GraphPercentText(double percent, bool whole) {
    char buf[32];
    if (whole)
        std::snprintf(buf, sizeof buf, "%d", static_cast<int>(percent));
    else
        std::snprintf(buf, sizeof buf, "%.1f", percent);
    return buf;
}

std::string GraphHeading(int64_t rows, std::string_view columnDescription) {
    return std::to_string(rows) + " Categories of Field: " + Clipped(columnDescription, 40);
}

std::string GraphFilterHeading(std::string_view filter) { return "Filter: " + Clipped(filter, 100); }

}  // namespace kr::xplore
