// The key text of the hot-key form: built from four modifier boxes and a
// key name ("Win-", "Ctrl-", "Alt-", "Shift-" in that order, then the name)
// and split back into them when a stored key is edited. Also the line the
// hot-key list shows for a key.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kr {

struct HotKeyParts {
    bool ctrl = false;
    bool alt = false;
    bool shift = false;
    bool win = false;
    std::string key;  // the key name
    bool operator==(const HotKeyParts&) const = default;
};

// The 56 key names the form offers.
extern const std::array<const char*, 56> kHotKeyFormNames;

// The key text of the parts, uncut (the caller refuses one that does not fit
// the 20-character field rather than storing a shortened key).
std::string BuildHotKeyText(const HotKeyParts& parts);
// The parts of a stored key text.
HotKeyParts SplitHotKeyText(std::string_view text);
// The list's line: the description, a blank, and for a "Text" key ": " and
// the text; 40 characters.
std::string HotKeyQuickText(std::string_view description, std::string_view action, std::string_view text);

}  // namespace kr
