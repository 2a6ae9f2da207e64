// Quoting of command-line arguments and script-text arguments: a value that
// holds a blank inside it or a path separator is wrapped in double quotes, so
// that a reader splitting at blanks keeps it together.
#pragma once

#include <string>
#include <string_view>

namespace kr {

// Removes one pair of surrounding double quotes: `""` becomes empty; a value
// whose first character and last non-blank character are both `"` loses
// those two; any other value is left as it is.
void UnquoteValue(std::string& value);

// The value unquoted first; then in double quotes (without its outer blanks)
// when it holds a blank before its last non-blank character or a "/" or "\"
// anywhere; `""` when it is empty; otherwise as it is without trailing blanks.
std::string QuoteIfNeeded(std::string_view value);

}  // namespace kr
