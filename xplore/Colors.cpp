#include "xplore/Colors.h"

namespace kr::xplore {

namespace {

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

const std::vector<NamedColor>& ColorTable() {
    static const std::vector<NamedColor> table = {
        {"None", -1},          {"Black", 0x000000},   {"Maroon", 0x000080}, {"Green", 0x008000},
        {"Olive", 0x008080},   {"Navy", 0x800000},    {"Purple", 0x800080}, {"Teal", 0x808000},
        {"Gray", 0x808080},    {"Silver", 0xC0C0C0},  {"Red", 0x0000FF},    {"Lime", 0x00FF00},
        {"Yellow", 0x00FFFF},  {"Blue", 0xFF0000},    {"Fuschia", 0xFF00FF}, {"Aqua", 0xFFFF00},
        {"White", 0xFFFFFF},
    };
    return table;
}

int32_t ColorValue(std::string_view name) {
    name = Trimmed(name);
    for (const NamedColor& c : ColorTable())
        if (name == c.name) return c.value;
    return -1;
}

std::string ColorName(int32_t value, int* row) {
    const auto& table = ColorTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].value == value) {
            if (row) *row = static_cast<int>(i) + 1;
            return table[i].name;
        }
    }
    if (row) *row = 0;
    return {};
}

bool IsColorName(std::string_view name) {
    name = Trimmed(name);
    for (const NamedColor& c : ColorTable())
        if (name == c.name) return true;
    return false;
}

}  // namespace kr::xplore
