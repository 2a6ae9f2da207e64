// What "&Run" of the clipboard manager finds in an entry: web and mail
// addresses and program files, in the order they are started. One entry can
// start several things (a web address ending in ".exe" is both).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kr {

struct ClipboardRunTarget {
    enum Kind { Url, Program };
    Kind kind = Url;
    std::string target;  // the address ("http://...", "mailto:...") or the program's path
    bool operator==(const ClipboardRunTarget&) const = default;
};

// The scan of an entry's contents:
//   1. a web address from "http:" (or "https:"), found in any case;
//   2. a mail address from "mailto:";
//   3. for ".exe", ".lnk" and ".url", in that order, the name ending in the
//      first occurrence: back to a double quote, or to a blank when the text
//      holds no double quote at all (a quoted path may hold blanks);
//   4. contents beginning with "www" (lower case): "http://" + the address.
// Addresses end before the first blank, tab, line break or double quote,
// and at 255 characters.
std::vector<ClipboardRunTarget> ClipboardRunTargets(std::string_view contents);

// True when the contents show as a link in the list: "http:", "https:",
// "mailto:", ".exe" or ".lnk" anywhere, in any case.
bool ClipboardContentsIsLink(std::string_view contents);

}  // namespace kr
