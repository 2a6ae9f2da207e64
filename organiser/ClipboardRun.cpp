#include "organiser/ClipboardRun.h"

#include <algorithm>
#include <cctype>

namespace kr {

namespace {

constexpr std::size_t kAddressLength = 255;

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

bool EndsAddress(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"'; }

// The address starting at p: up to 255 characters, ended by a blank, tab,
// line break or double quote.
std::string AddressAt(std::string_view contents, std::size_t p) {
    const std::string_view part = contents.substr(p, kAddressLength);
    std::size_t n = 0;
    while (n < part.size() && !EndsAddress(part[n])) ++n;
    return std::string(part.substr(0, n));
}

}  // namespace

std::vector<ClipboardRunTarget> ClipboardRunTargets(std::string_view contents) {
    std::vector<ClipboardRunTarget> out;
    const std::string lower = Lower(contents);

    // 1. Web address ("https:" is a web address too).
    std::size_t web = lower.find("http:");
    const std::size_t secure = lower.find("https:");
    if (secure < web) web = secure;
    if (web != std::string::npos) {
        std::string a = AddressAt(contents, web);
        if (!a.empty()) out.push_back({ClipboardRunTarget::Url, std::move(a)});
    }
    // 2. Mail address.
    if (std::size_t p = lower.find("mailto:"); p != std::string::npos) {
        std::string a = AddressAt(contents, p);
        if (!a.empty()) out.push_back({ClipboardRunTarget::Url, std::move(a)});
    }
    // 3. Program files.
    for (const char* ext : {".exe", ".lnk", ".url"}) {
        const std::size_t p = lower.find(ext);
        if (p == std::string::npos) continue;
        const std::size_t end = p + 4;  // through the extension
        // A blank ends the name only when no quote stands before its end,
        // so a quoted path may hold blanks; quotes after it do not count.
        const bool quoted = contents.substr(0, end).find('"') != std::string_view::npos;
        std::size_t start = 0;
        for (std::size_t i = p; i > 0; --i) {
            const char c = contents[i - 1];
            if (c == '"' || (!quoted && c == ' ')) {
                start = i;
                break;
            }
        }
        std::string name(contents.substr(start, end - start));
        if (!name.empty()) out.push_back({ClipboardRunTarget::Program, std::move(name)});
    }
    // 4. "www" at the start: the address, not the whole entry.
    if (contents.substr(0, 3) == "www") {
        std::string a = AddressAt(contents, 0);
        out.push_back({ClipboardRunTarget::Url, "http://" + a});
    }
    return out;
}

bool ClipboardContentsIsLink(std::string_view contents) {
    const std::string lower = Lower(contents);
    for (const char* p : {"http:", "https:", "mailto:", ".exe", ".lnk"})
        if (lower.find(p) != std::string::npos) return true;
    return false;
}

}  // namespace kr
