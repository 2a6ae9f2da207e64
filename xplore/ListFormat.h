// A list format string: one group per column,
//   width FJUST ["(" findent ")"] ["*"] ["I"] ["F"] ["_"] ["M"] ["|"]
//   "~" header "~" HJUST ["(" hindent ")"] picture "@" "#" field "#"
//   ["E(" nfg "," nbg "," sfg "," sbg ")"]
// e.g. "40L(1)M|~Date~L(1)@d6b@#1#". Build writes it; Parse reads it back,
// skipping a group it cannot read (hand-edited or damaged text) instead of
// failing the whole string.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kr::xplore {

struct FormatGroup {
    int width = 0;          // dialog units
    char dataJustify = 'L'; // L, R, C, D
    int dataIndent = 0;
    bool colors = false;    // "*": four colour fields follow the value
    bool icon = false;      // "I" (or "J"): an icon field follows
    bool fixed = false;     // "F"
    bool underline = false; // "_"
    bool resize = false;    // "M"
    bool border = false;    // "|"
    std::string header;
    char headerJustify = 'L';
    int headerIndent = 0;
    std::string picture;    // "@d6b" ("@S20" when written empty)
    int field = 0;          // list field number (the "#n#"), 0 when the text gave none
    int32_t nfg = -1, nbg = -1, sfg = -1, sbg = -1;

    bool operator==(const FormatGroup&) const = default;
};

class ListFormat {
public:
    std::vector<FormatGroup> groups;

    // The format text. A "~" in a header would end the header early and
    // corrupt the rest of the string, so it is left out.
    std::string Build() const;
    static std::string BuildGroup(const FormatGroup& g);
    // Reads a format text. Groups without a "#n#" take the next list field
    // (after the fields "*" and "I" add); unreadable groups are skipped.
    static ListFormat Parse(std::string_view text);
};

}  // namespace kr::xplore
