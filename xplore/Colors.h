// The named colours of the list extension: column colours, graph bars and
// their preferences. Values are 0x00BBGGRR (red in the low byte); -1 is the
// list's default colour.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kr::xplore {

struct NamedColor {
    const char* name;
    int32_t value;
};

// The seventeen names in the order of the colour drop lists: "None" first,
// then the sixteen colours.
const std::vector<NamedColor>& ColorTable();

// The value of a name (compared as stored, trailing blanks ignored); -1 for
// "None" and for a name that is not in the table.
int32_t ColorValue(std::string_view name);
// The name of a value and its row (1-based) in the table; an empty name and
// row 0 for a value in no row.
std::string ColorName(int32_t value, int* row = nullptr);
bool IsColorName(std::string_view name);

}  // namespace kr::xplore
