#include "organiser/HotKeyText.h"

#include <algorithm>

namespace kr {

const std::array<const char*, 56> kHotKeyFormNames = {
    "A",      "B",    "C",     "D",      "E",     "F",   "G",    "H",     "I",     "J",   "K",      "L",
    "M",      "N",    "O",     "P",      "Q",     "R",   "S",    "T",     "U",     "V",   "W",      "X",
    "Y",      "Z",    "BS",    "DELETE", "DOWN",  "END", "ENTER", "ESC",  "F1",    "F2",  "F3",     "F4",
    "F5",     "F6",   "F7",    "F8",     "F9",    "F10", "F11",  "F12",   "HOME",  "INSERT", "LEFT", "PGDN",
    "PGUP",   "PLUS", "PRINT", "RIGHT",  "SLASH", "SPACE", "TAB", "UP"};

namespace {
std::string Clip(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return std::string(s.substr(0, n));
}
}  // namespace

std::string BuildHotKeyText(const HotKeyParts& p) {
    return std::string(p.win ? "Win-" : "") + (p.ctrl ? "Ctrl-" : "") + (p.alt ? "Alt-" : "") +
           (p.shift ? "Shift-" : "") + p.key;
}

HotKeyParts SplitHotKeyText(std::string_view raw) {
    const std::string text = Clip(raw);
    // The key name starts after the last modifier word; positions are
    // 0-based here, npos when a word is missing.
    const auto npos = std::string::npos;
    std::size_t b = text.find("Ctrl");
    std::size_t c = b == npos ? npos : b + 4;
    auto later = [&](std::size_t at) { return at != npos && (b == npos || at > b); };
    if (const std::size_t a = text.find("Alt"); later(a)) b = a, c = a + 3;
    if (const std::size_t w = text.find("Win"); later(w)) b = w, c = w + 3;
    if (const std::size_t s = text.find("Shift"); later(s)) c = s + 5;
    if (c == npos) c = 0;
    HotKeyParts p;
    std::string key = c < text.size() ? text.substr(c) : std::string();
    if (key.size() > 1 && key[0] == '-' && key[1] != ' ') key.erase(0, 1);
    p.key = key;
    const std::string head = text.substr(0, std::min(c, text.size()));
    p.ctrl = head.find("Ctrl") != npos;
    p.alt = head.find("Alt") != npos;
    p.shift = head.find("Shift") != npos;
    p.win = head.find("Win") != npos;
    return p;
}

std::string HotKeyQuickText(std::string_view description, std::string_view action, std::string_view text) {
    std::string q = Clip(description) + " ";
    if (action == "Text") q += ": " + Clip(text);
    return q.substr(0, std::min<std::size_t>(q.size(), 40));
}

}  // namespace kr
