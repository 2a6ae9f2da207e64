// The column graph of a list, display-free: counting the categories of a
// column (every distinct formatted cell text is one category) and the layout
// of the bar graph in pixels. The window (xplore/windows/GraphWindow.h)
// reads the rows, asks the user, and draws what this computes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kr::data {
class ListQuery;
struct ListRow;
}  // namespace kr::data

namespace kr::xplore {

// The categories of one graph, kept in ascending order of their names.
class GraphCategories {
public:
    static constexpr std::size_t kMaxCategories = 150;
    static constexpr std::size_t kNameSize = 80;

    struct Category {
        std::string name;  // the formatted cell text, clipped, at most 80 characters
        int32_t count = 0;
        double percent = 0;  // count * 100 / rows, one decimal place
    };

    // Adds one row whose cell reads `text`. False once there are more than
    // 150 categories: the graph is too complex and ends.
    bool Add(std::string_view text);
    void Clear();

    // Fills each category's percentage of the rows counted.
    void ComputePercents();

    const std::vector<Category>& Items() const { return items_; }
    std::size_t Size() const { return items_.size(); }
    int64_t Rows() const { return rows_; }
    int32_t MaxCount() const;
    bool TooMany() const { return items_.size() > kMaxCategories; }

private:
    std::vector<Category> items_;
    int64_t rows_ = 0;
};

// Counts a list's rows into categories, a slice at a time, over the list
// query's filter; `cell` formats a row's value of the column. The rows are
// read in file order (the categories keep their own order, so the graph is
// the same in any order), each with only the fields `fields` names
// (indexes into the table definition's fields; every field when none are
// given) and those the filter reads record by record.
class GraphCounter {
public:
    enum class State { Counting, Done, Failed, TooMany };
    GraphCounter(data::ListQuery& query, std::function<std::string(const data::ListRow&)> cell,
                 GraphCategories& categories, std::optional<std::vector<int>> fields = std::nullopt);
    ~GraphCounter();
    // Counts for about `ms` milliseconds (at least one page of rows).
    State Step(int ms);
    const std::string& LastText() const { return lastText_; }

private:
    data::ListQuery& query_;
    std::function<std::string(const data::ListRow&)> cell_;
    GraphCategories& categories_;
    std::optional<std::vector<int>> fields_;
    int64_t last_ = 0;  // row number of the last record read
    std::string lastText_;
    State state_ = State::Counting;
};

// The messages that end a graph before it is drawn; empty when it can be drawn.
std::string GraphEndMessage(const GraphCategories& categories, std::string_view columnDescription);
std::string TooComplexMessage(std::string_view columnDescription);
inline constexpr std::string_view kGraphQuitQuestion = "Are you sure you want to quit this Graphing Procedure?";
inline constexpr std::string_view kGraphCaption = "Xplore";

// The bar layout for a client area of w x h pixels and n categories (n >= 2).
struct GraphLayout {
    int barWidth = 0;
    int gap = 0;
    int slot = 0;   // only for five or fewer categories
    int x0 = 0;     // left edge of the first bar
    int baseY = 0;  // the base line
    static constexpr int kTopMargin = 30;

    int BarLeft(int n) const { return x0 + (n - 1) * (barWidth + gap); }  // n from 1
    int BarHeight(int32_t count, int32_t max) const;
    int AxisLength(int n) const { return n * (barWidth + gap) - gap + 1; }
    // Percentages get one decimal place only where a bar and its gap are
    // 26 pixels or wider.
    bool WholePercent() const { return barWidth + gap < 26; }
};
GraphLayout ComputeGraphLayout(int w, int h, int n);

// The bar colour of category n (from 1): 1..8, the ninth bar takes colour 1 again.
int GraphColorIndex(int n);

// The label under which a category is drawn: names of the form "NN =Text"
// (month, weekday names) show only their text.
std::string GraphLabel(std::string_view name);
// The percent label: whole number or one decimal place.
std::string GraphPercentText(double percent, bool whole);

// The two headings of the graph window.
std::string GraphHeading(int64_t rows, std::string_view columnDescription);
std::string GraphFilterHeading(std::string_view filter);

}  // namespace kr::xplore
