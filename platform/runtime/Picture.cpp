#include "platform/runtime/Picture.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/runtime/DateTime.h"
#include "platform/runtime/Strings.h"

namespace kr {

namespace {

const char* const kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};
const char* const kDayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The number in a run of digits of a picture, or -1 when it is larger than
// any field can hold (kMaxPictureWidth): such a picture is refused rather
// than built.
int PictureNumber(std::string_view digits) {
    long long v = 0;
    for (char c : digits) {
        v = v * 10 + (c - '0');
        if (v > kMaxPictureWidth) return -1;
    }
    return static_cast<int>(v);
}
bool IsAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
char ToUpper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string Num(long long v, int width) {
    std::string s = std::to_string(v < 0 ? -v : v);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return s;
}

// The picture without its "@", trailing blanks and anything after a second "@".
std::string_view Body(std::string_view picture) {
    std::size_t b = picture.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    picture.remove_prefix(b);
    if (!picture.empty() && picture.front() == '@') picture.remove_prefix(1);
    if (!picture.empty() && (picture.front() == 'K' || picture.front() == 'k')) {
        // A key-in template holds "@" marks of its own: it ends at its closing K.
        std::size_t close = picture.find_last_of("Kk");
        if (close > 0) {
            std::size_t end = close + 1;
            if (end < picture.size() && (picture[end] == 'B' || picture[end] == 'b')) ++end;
            return picture.substr(0, end);
        }
    }
    std::size_t at = picture.find('@');
    if (at != std::string_view::npos) picture = picture.substr(0, at);
    std::size_t e = picture.find_last_not_of(' ');
    return e == std::string_view::npos ? std::string_view() : picture.substr(0, e + 1);
}

char SeparatorOf(char c) {
    switch (c) {
        case '.': return '.';
        case '`': return ',';
        case '\'': return ',';
        case '-': return '-';
        case '_': return ' ';
        default: return 0;
    }
}

// ---------------------------------------------------------------- system formats

std::mutex g_formatsMutex;
bool g_formatsSet = false;
SystemFormats g_formats;

std::string FromStrftime(std::string_view f) {
    std::string out;
    for (std::size_t i = 0; i < f.size(); ++i) {
        char c = f[i];
        if (c != '%' || i + 1 >= f.size()) {
            if (IsAlpha(c) || c == '\'') {
                out += '\'';
                out += c == '\'' ? std::string("''") : std::string(1, c);
                out += '\'';
            } else {
                out += c;
            }
            continue;
        }
        char k = f[++i];
        if (k == 'E' || k == 'O' || k == '-' || k == '_' || k == '0') {  // modifiers and flags
            if (i + 1 >= f.size()) break;
            k = f[++i];
        }
        switch (k) {
            case 'd': out += "dd"; break;
            case 'e': out += "d"; break;
            case 'm': out += "MM"; break;
            case 'y': out += "yy"; break;
            case 'Y': out += "yyyy"; break;
            case 'b': case 'h': out += "MMM"; break;
            case 'B': out += "MMMM"; break;
            case 'a': out += "ddd"; break;
            case 'A': out += "dddd"; break;
            case 'H': out += "HH"; break;
            case 'k': out += "H"; break;
            case 'I': out += "hh"; break;
            case 'l': out += "h"; break;
            case 'M': out += "mm"; break;
            case 'S': out += "ss"; break;
            case 'p': case 'P': out += "tt"; break;
            case 'r': out += "hh:mm:ss tt"; break;
            case 'R': out += "HH:mm"; break;
            case 'T': out += "HH:mm:ss"; break;
            case 'D': out += "MM/dd/yy"; break;
            case 'F': out += "yyyy-MM-dd"; break;
            case 't': case 'n': out += ' '; break;
            case '%': out += '%'; break;
            default: break;  // parts with no counterpart are left out
        }
    }
    return Trim(out);
}

// Drops the seconds (and the separator before them) from a time pattern.
std::string WithoutSeconds(std::string p) {
    std::size_t s = p.find("ss");
    if (s == std::string::npos) return p;
    std::size_t from = s;
    if (from > 0 && !IsAlpha(p[from - 1])) --from;
    p.erase(from, s + 2 - from);
    return p;
}

}  // namespace

SystemFormats SystemFormatsFromLocale() {
    SystemFormats result;
    const char* name = nullptr;
    for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) {
            name = v;
            break;
        }
    }
    if (!name) return result;
    std::string n(name);
    if (n == "C" || n == "POSIX" || n.rfind("C.", 0) == 0) return result;
    locale_t loc = newlocale(LC_TIME_MASK, name, static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0)) return result;
    std::string date = FromStrftime(nl_langinfo_l(D_FMT, loc));
    std::string ampm = nl_langinfo_l(AM_STR, loc);
    std::string time12 = FromStrftime(nl_langinfo_l(T_FMT_AMPM, loc));
    std::string time24 = FromStrftime(nl_langinfo_l(T_FMT, loc));
    freelocale(loc);
    if (!date.empty()) {
        result.shortDate = date;
        std::size_t d = date.find('d'), m = date.find('M'), y = date.find('y');
        if (y < d && y < m)
            result.longDate = "dddd, yyyy MMMM d";
        else if (d < m)
            result.longDate = "dddd, d MMMM yyyy";
        else
            result.longDate = "dddd, MMMM d, yyyy";
    }
    std::string time = (!ampm.empty() && !time12.empty()) ? time12 : time24;
    if (!time.empty()) {
        result.longTime = time;
        result.shortTime = WithoutSeconds(time);
    }
    return result;
}

SystemFormats CurrentSystemFormats() {
    std::lock_guard<std::mutex> l(g_formatsMutex);
    if (!g_formatsSet) {
        g_formats = SystemFormatsFromLocale();
        g_formatsSet = true;
    }
    return g_formats;
}

void SetSystemFormats(const SystemFormats& formats) {
    std::lock_guard<std::mutex> l(g_formatsMutex);
    g_formats = formats;
    g_formatsSet = true;
}

namespace {

enum class Which { ShortDate, LongDate, ShortTime, LongTime };

std::string SystemPattern(Which w) {
    SystemFormats f = CurrentSystemFormats();
    switch (w) {
        case Which::ShortDate: return f.shortDate;
        case Which::LongDate: return f.longDate;
        case Which::ShortTime: return f.shortTime;
        case Which::LongTime: return f.longTime;
    }
    return {};
}

// Formats a date (y/m/d, weekday) and a time of day by a system pattern.
std::string FormatPattern(std::string_view p, int y, int mo, int d, int wd, int h, int mi, int s) {
    std::string out;
    for (std::size_t i = 0; i < p.size();) {
        char c = p[i];
        if (c == '\'') {
            std::size_t j = i + 1;
            while (j < p.size()) {
                if (p[j] == '\'') {
                    if (j + 1 < p.size() && p[j + 1] == '\'') {
                        out += '\'';
                        j += 2;
                        continue;
                    }
                    break;
                }
                out += p[j++];
            }
            i = j + 1;
            continue;
        }
        std::size_t j = i;
        while (j < p.size() && p[j] == c) ++j;
        std::size_t n = j - i;
        switch (c) {
            case 'd':
                if (n == 1) out += std::to_string(d);
                else if (n == 2) out += Num(d, 2);
                else if (n == 3) out += std::string(kDayNames[wd]).substr(0, 3);
                else out += kDayNames[wd];
                break;
            case 'M':
                if (n == 1) out += std::to_string(mo);
                else if (n == 2) out += Num(mo, 2);
                else if (n == 3) out += std::string(kMonthNames[mo - 1]).substr(0, 3);
                else out += kMonthNames[mo - 1];
                break;
            case 'y': out += n <= 2 ? Num(y % 100, 2) : Num(y, 4); break;
            case 'h': {
                int h12 = h % 12 == 0 ? 12 : h % 12;
                out += n == 1 ? std::to_string(h12) : Num(h12, 2);
                break;
            }
            case 'H': out += n == 1 ? std::to_string(h) : Num(h, 2); break;
            case 'm': out += n == 1 ? std::to_string(mi) : Num(mi, 2); break;
            case 's': out += n == 1 ? std::to_string(s) : Num(s, 2); break;
            case 't': out += n == 1 ? (h < 12 ? "A" : "P") : (h < 12 ? "AM" : "PM"); break;
            default: out.append(n, c); break;
        }
        i = j;
    }
    return out;
}

// ---------------------------------------------------------------- dates

struct DatePicture {
    int n = 0;
    bool zero = false;
    char sep = 0;        // replacement separator, 0 for the picture's own
    int future = 19;     // two-digit years fall in [this year - (99 - future), this year + future]
    bool blank = false;
};

bool ParseDatePicture(std::string_view b, DatePicture& p) {
    std::size_t i = 1;  // after the D
    std::size_t start = i;
    while (i < b.size() && IsDigit(b[i])) ++i;
    std::string_view digits = b.substr(start, i - start);
    if (digits.empty()) return false;
    if (digits.size() > 1 && digits[0] == '0') {
        p.zero = true;
        digits.remove_prefix(1);
    }
    p.n = PictureNumber(digits);
    if (p.n < 1 || p.n > 18) return false;
    if (i < b.size() && SeparatorOf(b[i])) p.sep = SeparatorOf(b[i++]);
    if (i < b.size() && (b[i] == '<' || b[i] == '>')) {
        char dir = b[i++];
        std::size_t s = i;
        while (i < b.size() && IsDigit(b[i])) ++i;
        int r = s < i ? PictureNumber(b.substr(s, i - s)) : 80;
        if (r > 99 || r < 0) r = 99;
        p.future = dir == '>' ? r : 99 - r;
    }
    for (; i < b.size(); ++i)
        if (b[i] == 'B' || b[i] == 'b') p.blank = true;
    return true;
}

std::string FormatDate(int32_t date, const DatePicture& p) {
    if (date <= 0) return {};
    int y = DateYear(date), m = DateMonth(date), d = DateDay(date);
    if (y == 0) return {};
    const std::string sep(1, p.sep ? p.sep : '/');
    const std::string space(1, p.sep ? p.sep : ' ');
    auto lead = [&](int v) { return p.zero ? Num(v, 2) : std::to_string(v); };
    std::string mon = Upper(std::string(kMonthNames[m - 1]).substr(0, 3));
    switch (p.n) {
        case 1: return lead(m) + sep + Num(d, 2) + sep + Num(y % 100, 2);
        case 2: return lead(m) + sep + Num(d, 2) + sep + Num(y, 4);
        case 3: return mon + " " + lead(d) + "," + Num(y, 4);
        case 4: return std::string(kMonthNames[m - 1]) + " " + lead(d) + ", " + Num(y, 4);
        case 5: return lead(d) + sep + Num(m, 2) + sep + Num(y % 100, 2);
        case 6: return lead(d) + sep + Num(m, 2) + sep + Num(y, 4);
        case 7: return lead(d) + space + mon + space + Num(y % 100, 2);
        case 8: return lead(d) + space + mon + space + Num(y, 4);
        case 9: return Num(y % 100, 2) + sep + Num(m, 2) + sep + Num(d, 2);
        case 10: return Num(y, 4) + sep + Num(m, 2) + sep + Num(d, 2);
        case 11: return Num(y % 100, 2) + Num(m, 2) + Num(d, 2);
        case 12: return Num(y, 4) + Num(m, 2) + Num(d, 2);
        case 13: return lead(m) + sep + Num(y % 100, 2);
        case 14: return lead(m) + sep + Num(y, 4);
        case 15: return Num(y % 100, 2) + sep + Num(m, 2);
        case 16: return Num(y, 4) + sep + Num(m, 2);
        case 17: return FormatPattern(SystemPattern(Which::ShortDate), y, m, d, Weekday(date), 0, 0, 0);
        case 18: return FormatPattern(SystemPattern(Which::LongDate), y, m, d, Weekday(date), 0, 0, 0);
    }
    return {};
}

// The order of a date picture's parts, for reading typed text back.
struct DateOrder {
    std::vector<char> parts;  // 'M', 'D', 'Y' in the order they stand
    int yearDigits = 4;
    std::vector<std::string> literals;  // words the pattern writes as they stand
};

DateOrder OrderOfPattern(std::string_view p) {
    DateOrder o;
    for (std::size_t i = 0; i < p.size();) {
        char c = p[i];
        if (c == '\'') {
            std::size_t j = p.find('\'', i + 1);
            if (j == std::string_view::npos) j = p.size();
            std::string_view quoted = p.substr(i + 1, j - i - 1);
            for (std::size_t k = 0; k < quoted.size();) {
                std::size_t e = k;
                while (e < quoted.size() && IsAlpha(quoted[e])) ++e;
                if (e > k) o.literals.push_back(Upper(quoted.substr(k, e - k)));
                k = e > k ? e : k + 1;
            }
            i = j + 1;
            continue;
        }
        std::size_t j = i;
        while (j < p.size() && p[j] == c) ++j;
        std::size_t n = j - i;
        char part = 0;
        if (c == 'd' && n <= 2) part = 'D';
        if (c == 'M') part = 'M';
        if (c == 'y') {
            part = 'Y';
            o.yearDigits = n <= 2 ? 2 : 4;
        }
        bool seen = false;
        for (char x : o.parts) seen = seen || x == part;
        if (part && !seen) o.parts.push_back(part);
        i = j;
    }
    return o;
}

DateOrder OrderOf(const DatePicture& p) {
    switch (p.n) {
        case 1: return {{'M', 'D', 'Y'}, 2, {}};
        case 2: case 3: case 4: return {{'M', 'D', 'Y'}, 4, {}};
        case 5: case 7: return {{'D', 'M', 'Y'}, 2, {}};
        case 6: case 8: return {{'D', 'M', 'Y'}, 4, {}};
        case 9: case 11: return {{'Y', 'M', 'D'}, 2, {}};
        case 10: case 12: return {{'Y', 'M', 'D'}, 4, {}};
        case 13: return {{'M', 'Y'}, 2, {}};
        case 14: return {{'M', 'Y'}, 4, {}};
        case 15: return {{'Y', 'M'}, 2, {}};
        case 16: return {{'Y', 'M'}, 4, {}};
        case 17: return OrderOfPattern(SystemPattern(Which::ShortDate));
        case 18: return OrderOfPattern(SystemPattern(Which::LongDate));
    }
    return {{'M', 'D', 'Y'}, 4, {}};
}

struct Token {
    std::string text;
    bool number;
};

std::vector<Token> Tokens(std::string_view s) {
    std::vector<Token> out;
    for (std::size_t i = 0; i < s.size();) {
        if (IsDigit(s[i])) {
            std::size_t j = i;
            while (j < s.size() && IsDigit(s[j])) ++j;
            out.push_back({std::string(s.substr(i, j - i)), true});
            i = j;
        } else if (IsAlpha(s[i])) {
            std::size_t j = i;
            while (j < s.size() && IsAlpha(s[j])) ++j;
            out.push_back({Upper(s.substr(i, j - i)), false});
            i = j;
        } else {
            ++i;
        }
    }
    return out;
}

int MonthOfWord(const std::string& w) {
    if (w.size() < 3) return 0;
    for (int m = 0; m < 12; ++m) {
        std::string name = Upper(kMonthNames[m]);
        if (name.compare(0, w.size(), w) == 0) return m + 1;
    }
    return 0;
}

bool IsDayWord(const std::string& w) {
    if (w.size() < 3) return false;
    for (const char* d : kDayNames) {
        std::string name = Upper(d);
        if (name.compare(0, w.size(), w) == 0) return true;
    }
    return false;
}

int CurrentYear() {
    int y = DateYear(Today());
    return y > 0 ? y : 2000;
}

int ExpandYear(int yy, int future) {
    int cy = CurrentYear();
    int y = cy - cy % 100 + yy;
    if (y > cy + future) y -= 100;
    if (y < cy - (99 - future)) y += 100;
    return y;
}

// Reads a date; nullopt when the text is not a valid date for the order.
std::optional<int32_t> ReadDate(std::string_view text, const DateOrder& order, int future) {
    if (Trim(text).empty()) return 0;
    std::vector<Token> tokens = Tokens(text);
    int monthWord = 0;
    std::vector<std::string> numbers;
    for (const Token& t : tokens) {
        bool literal = false;
        for (const std::string& w : order.literals) literal = literal || w == t.text;
        if (t.number) {
            numbers.push_back(t.text);
        } else if (literal) {
            continue;
        } else if (int m = MonthOfWord(t.text); m && !monthWord) {
            monthWord = m;
        } else if (!IsDayWord(t.text)) {
            return std::nullopt;
        }
    }
    // The numeric parts, in order (the month is left out when given as a word).
    std::vector<char> parts;
    for (char p : order.parts)
        if (!(p == 'M' && monthWord)) parts.push_back(p);

    auto attempt = [&](const std::vector<std::string>& nums) -> std::optional<int32_t> {
        int y = 0, m = monthWord, d = 1;
        bool haveYear = false, haveDay = false;
        std::size_t k = 0;
        for (char p : parts) {
            if (k >= nums.size()) break;
            const std::string& n = nums[k++];
            if (n.size() > 4) return std::nullopt;
            int v = std::atoi(n.c_str());
            if (p == 'Y') {
                y = n.size() <= 2 ? ExpandYear(v, future) : v;
                haveYear = true;
            } else if (p == 'M') {
                m = v;
            } else {
                d = v;
                haveDay = true;
            }
        }
        if (k < nums.size()) return std::nullopt;  // more numbers than parts
        bool wantsDay = false;
        for (char p : order.parts) wantsDay = wantsDay || p == 'D';
        if (wantsDay && !haveDay) return std::nullopt;
        if (!haveYear) y = CurrentYear();
        if (m < 1 || m > 12 || y < kMinYear || y > kMaxYear) return std::nullopt;
        if (d < 1 || d > DaysInMonth(m, y)) return std::nullopt;
        return MakeDate(m, d, y);
    };

    if (numbers.size() == 1 && numbers[0].size() > 2 && parts.size() >= 2) {
        // Digits typed without separators: the parts after the first take
        // their fixed widths from the right, the first takes the rest.
        const std::string& all = numbers[0];
        for (int yw : {order.yearDigits, order.yearDigits == 4 ? 2 : 4}) {
            std::vector<int> widths(parts.size(), 2);
            for (std::size_t i = 0; i < parts.size(); ++i)
                if (parts[i] == 'Y') widths[i] = yw;
            int rest = static_cast<int>(all.size());
            for (std::size_t i = 1; i < parts.size(); ++i) rest -= widths[i];
            widths[0] = rest;
            if (rest < 1 || rest > (parts[0] == 'Y' ? 4 : 2)) continue;
            std::vector<std::string> nums;
            std::size_t pos = 0;
            for (int w : widths) {
                nums.push_back(all.substr(pos, static_cast<std::size_t>(w)));
                pos += static_cast<std::size_t>(w);
            }
            if (auto r = attempt(nums)) return r;
        }
        return std::nullopt;
    }
    return attempt(numbers);
}

// ---------------------------------------------------------------- times

// A trailing "B" is accepted and changes nothing: a time of 0 ("no time")
// is blank under every time picture, as a date of 0 is under every date
// picture, so that it never reads back as 1 (midnight).
struct TimePicture {
    int n = 0;
    bool zero = false;
    char sep = 0;
};

bool ParseTimePicture(std::string_view b, TimePicture& p) {
    std::size_t i = 1;
    std::size_t start = i;
    while (i < b.size() && IsDigit(b[i])) ++i;
    std::string_view digits = b.substr(start, i - start);
    if (digits.empty()) return false;
    if (digits.size() > 1 && digits[0] == '0') {
        p.zero = true;
        digits.remove_prefix(1);
    }
    p.n = PictureNumber(digits);
    if (p.n < 1 || p.n > 8) return false;
    if (i < b.size() && SeparatorOf(b[i])) p.sep = SeparatorOf(b[i++]);
    return true;
}

std::string FormatTime(int64_t time, const TimePicture& p) {
    if (time <= 0) return {};
    const int64_t hs = time - 1;
    int h = static_cast<int>(hs / kTicksPerHour);
    int m = static_cast<int>(hs / kTicksPerMinute % 60);
    int s = static_cast<int>(hs / 100 % 60);
    const std::string sep(1, p.sep ? p.sep : ':');
    int h12 = h % 12 == 0 ? 12 : h % 12;
    const char* xm = h % 24 < 12 ? "AM" : "PM";
    auto lead = [&](int v) { return p.zero ? Num(v, 2) : std::to_string(v); };
    switch (p.n) {
        case 1: return lead(h) + sep + Num(m, 2);
        case 2: return lead(h) + Num(m, 2);
        case 3: return lead(h12) + sep + Num(m, 2) + xm;
        case 4: return lead(h) + sep + Num(m, 2) + sep + Num(s, 2);
        case 5: return lead(h) + Num(m, 2) + Num(s, 2);
        case 6: return lead(h12) + sep + Num(m, 2) + sep + Num(s, 2) + xm;
        case 7: return FormatPattern(SystemPattern(Which::ShortTime), 2000, 1, 1, 0, h, m, s);
        case 8: return FormatPattern(SystemPattern(Which::LongTime), 2000, 1, 1, 0, h, m, s);
    }
    return {};
}

std::optional<int32_t> ReadTime(std::string_view text) {
    if (Trim(text).empty()) return 0;
    std::vector<Token> tokens = Tokens(text);
    std::vector<std::string> numbers;
    int half = 0;  // 1 AM, 2 PM
    for (const Token& t : tokens) {
        if (t.number) {
            numbers.push_back(t.text);
        } else if (!half && (t.text == "AM" || t.text == "A")) {
            half = 1;
        } else if (!half && (t.text == "PM" || t.text == "P")) {
            half = 2;
        } else {
            return std::nullopt;
        }
    }
    if (numbers.empty()) return std::nullopt;
    int h = 0, m = 0, s = 0, hs = 0;
    if (numbers.size() == 1 && numbers[0].size() > 2) {
        const std::string& d = numbers[0];
        if (d.size() > 6) return std::nullopt;
        std::size_t hw = d.size() <= 4 ? d.size() - 2 : d.size() - 4;
        h = std::atoi(d.substr(0, hw).c_str());
        m = std::atoi(d.substr(hw, 2).c_str());
        if (d.size() > 4) s = std::atoi(d.substr(hw + 2).c_str());
    } else {
        if (numbers.size() > 4) return std::nullopt;
        for (const std::string& n : numbers)
            if (n.size() > 2) return std::nullopt;
        h = std::atoi(numbers[0].c_str());
        if (numbers.size() > 1) m = std::atoi(numbers[1].c_str());
        if (numbers.size() > 2) s = std::atoi(numbers[2].c_str());
        if (numbers.size() > 3) hs = std::atoi(numbers[3].c_str()) * (numbers[3].size() == 1 ? 10 : 1);
    }
    if (half) {
        if (h < 1 || h > 12) {
            if (!(h == 0 && half == 1)) return std::nullopt;
        }
        if (half == 2 && h < 12) h += 12;
        if (half == 1 && h == 12) h = 0;
    }
    if (h > 23 || m > 59 || s > 59) return std::nullopt;
    return MakeTime(h, m, s, hs);
}

// ---------------------------------------------------------------- numbers

struct NumberPicture {
    std::string leadCurrency, trailCurrency;
    char sign = 0;          // '-' or '('
    bool trailingSign = false;
    char fill = 0;          // '0', '_', '*' or none
    int size = 0;
    char group = ',';       // 0 for none
    bool groupGiven = false;
    int places = 0;
    char decimal = '.';     // ',' or 0 for none ("v")
    bool blank = false;
};

bool ReadCurrency(std::string_view b, std::size_t& i, std::string& out) {
    if (i < b.size() && b[i] == '$') {
        out = "$";
        ++i;
        return true;
    }
    if (i < b.size() && b[i] == '~') {
        std::size_t e = b.find('~', i + 1);
        if (e == std::string_view::npos) return false;
        out = std::string(b.substr(i + 1, e - i - 1));
        i = e + 1;
        return true;
    }
    return false;
}

bool ParseNumberPicture(std::string_view b, NumberPicture& p) {
    std::size_t i = 1;
    ReadCurrency(b, i, p.leadCurrency);
    if (i < b.size() && (b[i] == '-' || b[i] == '(')) p.sign = b[i++];
    if (p.leadCurrency.empty()) ReadCurrency(b, i, p.leadCurrency);
    if (i < b.size() && (b[i] == '0' || b[i] == '_' || b[i] == '*')) {
        // A 0 followed by more digits is a fill; "@N0" alone would be size 0.
        if (b[i] != '0' || (i + 1 < b.size() && IsDigit(b[i + 1]))) p.fill = b[i++];
    }
    std::size_t s = i;
    while (i < b.size() && IsDigit(b[i])) ++i;
    if (s == i) return false;
    p.size = PictureNumber(b.substr(s, i - s));
    if (p.size < 0) return false;
    if (p.fill == '0' || p.fill == '_') p.group = 0;
    auto placesFollow = [&](std::size_t at) {
        return at < b.size() && (b[at] == '.' || b[at] == '`' || b[at] == '\'' || b[at] == 'v' || b[at] == 'V');
    };
    // Grouping: "." not followed by a digit, "_", or "-" followed by places.
    if (i < b.size()) {
        char c = b[i];
        if ((c == '.' && !(i + 1 < b.size() && IsDigit(b[i + 1]))) || c == '_' ||
            (c == '-' && placesFollow(i + 1))) {
            p.group = c == '_' ? ' ' : c;
            p.groupGiven = true;
            ++i;
        }
    }
    if (i < b.size() && placesFollow(i) && i + 1 < b.size() && IsDigit(b[i + 1])) {
        char c = b[i++];
        p.decimal = c == '.' ? '.' : (c == 'v' || c == 'V') ? 0 : ',';
        if (p.decimal == ',' && !p.groupGiven && p.fill != '0' && p.fill != '_') p.group = '.';
        std::size_t ps = i;
        while (i < b.size() && IsDigit(b[i])) ++i;
        p.places = PictureNumber(b.substr(ps, i - ps));
        if (p.places < 0) return false;
    }
    if (i < b.size() && b[i] == '-') {
        p.sign = '-';
        p.trailingSign = true;
        ++i;
    } else if (i < b.size() && b[i] == ')') {
        p.sign = '(';
        ++i;
    }
    ReadCurrency(b, i, p.trailCurrency);
    for (; i < b.size(); ++i)
        if (b[i] == 'B' || b[i] == 'b') p.blank = true;
    if (p.places > 30) p.places = 30;
    return true;
}

// The digits of |value| rounded half away from zero to the given places.
void DecimalDigits(const Value& value, int places, std::string& intPart, std::string& fracPart, bool& negative) {
    if (value.isInt() || (value.isText() && places == 0 && !value.isReal())) {
        int64_t v = value.toInt();
        if (value.isInt() || static_cast<double>(v) == value.toReal()) {
            negative = v < 0;
            uint64_t a = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
            intPart = std::to_string(a);
            fracPart.assign(static_cast<std::size_t>(places), '0');
            return;
        }
    }
    double d = value.toReal();
    if (!std::isfinite(d)) d = 0;
    negative = d < 0;
    double a = std::fabs(d);
    // Fifteen significant digits drop the binary noise (2.675 stays 2.675).
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", a);
    std::string mant;
    mant += buf[0];
    const char* e = std::strchr(buf, 'e');
    for (const char* q = buf + 2; q < e; ++q) mant += *q;
    int exp = std::atoi(e + 1);
    int point = exp + 1;  // digits before the point
    std::string ip, fp;
    if (point <= 0) {
        ip = "0";
        fp = std::string(static_cast<std::size_t>(-point), '0') + mant;
    } else if (point >= static_cast<int>(mant.size())) {
        ip = mant + std::string(static_cast<std::size_t>(point) - mant.size(), '0');
    } else {
        ip = mant.substr(0, static_cast<std::size_t>(point));
        fp = mant.substr(static_cast<std::size_t>(point));
    }
    bool up = fp.size() > static_cast<std::size_t>(places) && fp[static_cast<std::size_t>(places)] >= '5';
    if (fp.size() > static_cast<std::size_t>(places)) fp.resize(static_cast<std::size_t>(places));
    fp.append(static_cast<std::size_t>(places) - fp.size(), '0');
    if (up) {
        std::string all = ip + fp;
        int k = static_cast<int>(all.size()) - 1;
        while (k >= 0 && all[static_cast<std::size_t>(k)] == '9') all[static_cast<std::size_t>(k--)] = '0';
        if (k < 0) all.insert(0, "1");
        else ++all[static_cast<std::size_t>(k)];
        ip = all.substr(0, all.size() - fp.size());
        fp = all.substr(all.size() - fp.size());
    }
    std::size_t nz = ip.find_first_not_of('0');
    ip = nz == std::string::npos ? "0" : ip.substr(nz);
    intPart = ip;
    fracPart = fp;
    if (ip == "0" && fp.find_first_not_of('0') == std::string::npos) negative = false;
}

std::string FormatNumber(const Value& value, const NumberPicture& p) {
    std::string ip, fp;
    bool negative = false;
    DecimalDigits(value, p.places, ip, fp, negative);
    bool zero = ip == "0" && fp.find_first_not_of('0') == std::string::npos;
    if (zero && p.blank) return {};
    std::string digits;
    if (p.group) {
        int n = static_cast<int>(ip.size());
        for (int k = 0; k < n; ++k) {
            if (k > 0 && (n - k) % 3 == 0) digits += p.group;
            digits += ip[static_cast<std::size_t>(k)];
        }
    } else {
        digits = ip;
    }
    if (p.places > 0) {
        if (p.decimal) digits += p.decimal;
        digits += fp;
    }
    // A value with no sign mark in the picture still shows its minus sign.
    char sign = p.sign ? p.sign : '-';
    bool trailing = p.sign ? p.trailingSign : false;
    std::string lead = p.leadCurrency, tail;
    if (negative) {
        if (sign == '(') {
            lead += '(';
            tail += ')';
        } else if (trailing) {
            tail += '-';
        } else {
            lead += '-';
        }
    }
    tail += p.trailCurrency;
    int used = static_cast<int>(lead.size() + digits.size() + tail.size());
    if (used > p.size) return std::string(static_cast<std::size_t>(p.size), '#');
    std::size_t pad = static_cast<std::size_t>(p.size - used);
    if (p.fill == '0' || p.fill == '*') {
        // Fill between the sign or currency and the digits; a fill of zeros
        // takes no group marks.
        return lead + std::string(pad, p.fill) + digits + tail;
    }
    return std::string(pad, ' ') + lead + digits + tail;
}

std::optional<Value> ReadNumber(std::string_view text, const NumberPicture& p) {
    std::string t(text);
    for (const std::string& cur : {p.leadCurrency, p.trailCurrency}) {
        if (cur.empty()) continue;
        std::size_t at = t.find(cur);
        if (at != std::string::npos) t.erase(at, cur.size());
    }
    // With periods as group marks the decimal mark (if any) is a comma.
    const char dec = (p.decimal == ',' || p.group == '.') ? ',' : '.';
    bool negative = false, bad = false, seenPoint = false;
    std::string num;
    for (char c : t) {
        if (IsDigit(c)) {
            num += c;
        } else if (c == dec && !seenPoint) {
            seenPoint = true;
            num += '.';
        } else if (c == '-' || c == '(') {
            negative = true;
        } else if (c == ')' || c == ' ' || c == '+' || c == p.group || c == ',' || c == '.' || c == '*' ||
                   c == '\t') {
            // group marks, fill and blanks carry no value
        } else {
            bad = true;
        }
    }
    if (num.empty() || num == ".") return bad ? std::nullopt : std::optional<Value>(Value(int64_t{0}));
    std::optional<Value> result;
    if (!seenPoint && num.size() <= 18) {
        int64_t v = std::strtoll(num.c_str(), nullptr, 10);
        result = Value(negative ? -v : v);
    } else {
        double v = std::strtod(num.c_str(), nullptr);
        if (v == std::trunc(v) && std::fabs(v) < 9e15)
            result = Value(static_cast<int64_t>(negative ? -v : v));
        else
            result = Value(negative ? -v : v);
    }
    if (bad) return std::nullopt;
    return result;
}

// ---------------------------------------------------------------- patterns and key-in

// The template between the kind letter and its closing letter, and whether
// a B follows.
bool TemplateOf(std::string_view b, char kind, std::string& tmpl, bool& blank) {
    std::size_t close = std::string_view::npos;
    for (std::size_t i = b.size(); i-- > 1;)
        if (ToUpper(b[i]) == kind) {
            close = i;
            break;
        }
    if (close == std::string_view::npos) return false;
    tmpl = std::string(b.substr(1, close - 1));
    blank = false;
    for (std::size_t i = close + 1; i < b.size(); ++i)
        if (b[i] == 'B' || b[i] == 'b') blank = true;
    return true;
}

std::string FormatPatternPicture(const Value& value, const std::string& tmpl, bool blank) {
    int64_t v = value.toInt();
    if (v == 0 && blank) return {};
    uint64_t a = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    std::size_t positions = 0;
    for (char c : tmpl)
        if (c == '#' || c == '<') ++positions;
    std::string digits = std::to_string(a);
    if (digits.size() < positions) digits.insert(0, positions - digits.size(), '0');
    if (digits.size() > positions) digits = digits.substr(digits.size() - positions);
    std::string out;
    std::size_t k = 0;
    bool leading = true;
    for (char c : tmpl) {
        if (c == '#' || c == '<') {
            char d = digits[k++];
            if (d != '0') leading = false;
            out += (c == '<' && leading && d == '0' && k < positions) ? ' ' : d;
            if (c == '#') leading = false;
        } else {
            out += c;
        }
    }
    return out;
}

std::string FormatKeyIn(const Value& value, const std::string& tmpl, bool blank) {
    std::string v = value.toText();
    if (blank && ClipRight(v).empty()) return {};
    std::string out;
    std::size_t k = 0;
    for (char c : tmpl) {
        if (c == '#' || c == '@' || c == '?') out += k < v.size() ? v[k++] : ' ';
        else out += c;
    }
    return out;
}

std::optional<std::string> ReadKeyIn(std::string_view text, const std::string& tmpl) {
    std::string out;
    for (std::size_t i = 0; i < tmpl.size() && i < text.size(); ++i) {
        char c = tmpl[i], t = text[i];
        if (c == '#') {
            if (!IsDigit(t) && t != ' ') return std::nullopt;
            out += t;
        } else if (c == '@') {
            if (!IsAlpha(t) && t != ' ') return std::nullopt;
            out += t;
        } else if (c == '?') {
            out += t;
        }
    }
    return ClipRight(out);
}

std::optional<Value> DeformatImpl(std::string_view text, std::string_view picture) {
    std::string_view b = Body(picture);
    char kind = b.empty() ? 0 : ToUpper(b[0]);
    switch (kind) {
        case 'D': {
            DatePicture p;
            if (!ParseDatePicture(b, p)) break;
            auto d = ReadDate(text, OrderOf(p), p.future);
            if (!d) return std::nullopt;
            return Value(static_cast<int64_t>(*d));
        }
        case 'T': {
            TimePicture p;
            if (!ParseTimePicture(b, p)) break;
            auto t = ReadTime(text);
            if (!t) return std::nullopt;
            return Value(static_cast<int64_t>(*t));
        }
        case 'N': {
            NumberPicture p;
            if (!ParseNumberPicture(b, p)) break;
            return ReadNumber(text, p);
        }
        case 'P': {
            std::string tmpl;
            bool blank;
            if (!TemplateOf(b, 'P', tmpl, blank)) break;
            std::string digits;
            for (char c : text)
                if (IsDigit(c)) digits += c;
            if (digits.size() > 18) digits = digits.substr(digits.size() - 18);
            return Value(static_cast<int64_t>(digits.empty() ? 0 : std::strtoll(digits.c_str(), nullptr, 10)));
        }
        case 'K': {
            std::string tmpl;
            bool blank;
            if (!TemplateOf(b, 'K', tmpl, blank)) break;
            auto v = ReadKeyIn(text, tmpl);
            if (!v) return std::nullopt;
            return Value(*v);
        }
        default: break;
    }
    return Value(std::string(text));
}

}  // namespace

char PictureKind(std::string_view picture) {
    std::string_view b = Body(picture);
    if (b.empty()) return 0;
    char k = ToUpper(b[0]);
    return (k == 'D' || k == 'T' || k == 'N' || k == 'S' || k == 'P' || k == 'K') ? k : 0;
}

bool ValidPicture(std::string_view picture) {
    std::string_view b = Body(picture);
    switch (PictureKind(picture)) {
        case 'D': {
            DatePicture p;
            return ParseDatePicture(b, p);
        }
        case 'T': {
            TimePicture p;
            return ParseTimePicture(b, p);
        }
        case 'N': {
            NumberPicture p;
            return ParseNumberPicture(b, p);
        }
        case 'S': {
            std::size_t i = 1;
            while (i < b.size() && IsDigit(b[i])) ++i;
            return i > 1 && PictureNumber(b.substr(1, i - 1)) >= 0;
        }
        case 'P':
        case 'K': {
            std::string tmpl;
            bool blank;
            return TemplateOf(b, ToUpper(b[0]), tmpl, blank) && tmpl.size() <= static_cast<std::size_t>(kMaxPictureWidth);
        }
        default: return false;
    }
}

std::string Format(const Value& value, std::string_view picture) {
    std::string_view b = Body(picture);
    char kind = b.empty() ? 0 : ToUpper(b[0]);
    switch (kind) {
        case 'D': {
            DatePicture p;
            if (!ParseDatePicture(b, p)) break;
            int64_t d = value.toInt();
            if (d <= 0 || d > 0x7fffffff) return {};
            return FormatDate(static_cast<int32_t>(d), p);
        }
        case 'T': {
            TimePicture p;
            if (!ParseTimePicture(b, p)) break;
            return FormatTime(value.toInt(), p);
        }
        case 'N': {
            NumberPicture p;
            if (!ParseNumberPicture(b, p)) break;
            return FormatNumber(value, p);
        }
        case 'S': {
            std::size_t i = 1;
            while (i < b.size() && IsDigit(b[i])) ++i;
            if (i == 1) break;
            const int width = PictureNumber(b.substr(1, i - 1));
            if (width < 0) break;
            const std::size_t n = static_cast<std::size_t>(width);
            std::string t = value.toText();
            if (t.size() > n) t.resize(n);
            return t;
        }
        case 'P': {
            std::string tmpl;
            bool blank;
            if (!TemplateOf(b, 'P', tmpl, blank)) break;
            return FormatPatternPicture(value, tmpl, blank);
        }
        case 'K': {
            std::string tmpl;
            bool blank;
            if (!TemplateOf(b, 'K', tmpl, blank)) break;
            return FormatKeyIn(value, tmpl, blank);
        }
        default: break;
    }
    return value.toText();
}

Value Deformat(std::string_view text, std::string_view picture) {
    if (auto v = DeformatImpl(text, picture)) return *v;
    // Text that does not read as the picture: 0 for dates and times, the
    // number read so far for numbers.
    char kind = PictureKind(picture);
    if (kind == 'N') {
        std::string digits;
        for (char c : text)
            if (IsDigit(c) || c == '.' || c == '-') digits += c;
        return IsNumeric(digits) ? Value(std::strtod(digits.c_str(), nullptr)) : Value(int64_t{0});
    }
    if (kind == 'K') return Value(std::string());
    return Value(int64_t{0});
}

std::optional<Value> TryDeformat(std::string_view text, std::string_view picture) {
    return DeformatImpl(text, picture);
}

}  // namespace kr
