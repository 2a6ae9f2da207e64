#include "scheduler/QuoteValue.h"

#include "platform/runtime/Strings.h"

namespace kr {

void UnquoteValue(std::string& value) {
    const std::size_t last = value.find_last_not_of(' ');
    if (last == std::string::npos) return;
    if (last == 1 && value[0] == '"' && value[1] == '"') {
        value.clear();
        return;
    }
    // A lone quote is not a pair: it needs a first and a distinct last character.
    if (last >= 1 && value[0] == '"' && value[last] == '"') {
        value = value.substr(1, last - 1) + value.substr(last + 1);
    }
}

std::string QuoteIfNeeded(std::string_view value) {
    std::string v(value);
    UnquoteValue(v);
    const std::size_t last = v.find_last_not_of(' ');
    if (last == std::string::npos) return "\"\"";
    const bool innerBlank = v.find(' ') < last;
    const bool separator = v.find_first_of("/\\") != std::string::npos;
    if (innerBlank || separator) return "\"" + Trim(v) + "\"";
    return v.substr(0, last + 1);
}

}  // namespace kr
