#include "platform/runtime/Strings.h"

#include <cctype>
#include <cstdlib>

namespace kr {

std::string ClipRight(std::string_view s) {
    std::size_t end = s.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string() : std::string(s.substr(0, end + 1));
}

std::string ClipLeft(std::string_view s) {
    std::size_t b = s.find_first_not_of(' ');
    return b == std::string_view::npos ? std::string() : std::string(s.substr(b));
}

std::string Trim(std::string_view s) { return ClipRight(ClipLeft(s)); }

std::string Upper(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

int CompareText(std::string_view a, std::string_view b, bool caseSensitive) {
    std::size_t n = a.size() > b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char ca = i < a.size() ? static_cast<unsigned char>(a[i]) : ' ';
        unsigned char cb = i < b.size() ? static_cast<unsigned char>(b[i]) : ' ';
        if (!caseSensitive) {
            ca = static_cast<unsigned char>(std::toupper(ca));
            cb = static_cast<unsigned char>(std::toupper(cb));
        }
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return 0;
}

bool EqualNoCase(std::string_view a, std::string_view b) { return CompareText(a, b, false) == 0; }

int InString(std::string_view sub, std::string_view s, int step, int start) {
    if (sub.empty() || step <= 0) return 0;
    if (start < 1) start = 1;
    for (std::size_t pos = static_cast<std::size_t>(start - 1); pos + sub.size() <= s.size();
         pos += static_cast<std::size_t>(step)) {
        if (s.compare(pos, sub.size(), sub) == 0) return static_cast<int>(pos + 1);
    }
    return 0;
}

int InStringNoCase(std::string_view sub, std::string_view s, int start) {
    std::string us = Upper(s), usub = Upper(sub);
    return InString(usub, us, 1, start);
}

std::string Sub(std::string_view s, int start, int length) {
    if (length <= 0 || start < 1 || static_cast<std::size_t>(start) > s.size()) return {};
    return std::string(s.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(length)));
}

std::string ReplaceAll(std::string_view s, std::string_view what, std::string_view with,
                       bool caseSensitive) {
    if (what.empty()) return std::string(s);
    std::string out;
    std::string hay = caseSensitive ? std::string(s) : Upper(s);
    std::string needle = caseSensitive ? std::string(what) : Upper(what);
    std::size_t pos = 0;
    while (true) {
        std::size_t hit = hay.find(needle, pos);
        if (hit == std::string::npos) break;
        out.append(s.substr(pos, hit - pos));
        out.append(with);
        pos = hit + what.size();
    }
    out.append(s.substr(pos));
    return out;
}

std::string IntToText(long long v) { return std::to_string(v); }

bool IsNumeric(std::string_view s) {
    // An optional sign, digits with at most one decimal point, and an
    // optional exponent; hexadecimal, "inf" and "nan" are not numbers here.
    std::string t = Trim(s);
    std::size_t i = 0, n = t.size();
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    bool digits = false, point = false;
    for (; i < n; ++i) {
        char c = t[i];
        if (c >= '0' && c <= '9') digits = true;
        else if (c == '.' && !point) point = true;
        else break;
    }
    if (!digits) return false;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
        bool exp = false;
        while (i < n && t[i] >= '0' && t[i] <= '9') {
            exp = true;
            ++i;
        }
        if (!exp) return false;
    }
    return i == n;
}

}  // namespace kr
