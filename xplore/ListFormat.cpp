#include "xplore/ListFormat.h"

#include <cctype>
#include <cstdlib>

namespace kr::xplore {

namespace {

bool Digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool Justify(char c) {
    char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u == 'L' || u == 'R' || u == 'C' || u == 'D';
}

std::string Colour(int32_t c) { return c == -1 ? std::string() : std::to_string(c); }

class GroupReader {
public:
    GroupReader(std::string_view s, std::size_t p) : s_(s), p_(p) {}
    std::size_t pos() const { return p_; }

    // Reads one group at the position (a digit); false when it is not one.
    bool Read(FormatGroup& g, int& explicitField) {
        explicitField = 0;
        if (!Number(g.width)) return false;
        if (More() && Justify(s_[p_])) g.dataJustify = Up(s_[p_++]);
        if (More() && s_[p_] == '(' && !Indent(g.dataIndent)) return false;
        while (More() && s_[p_] != '~') {
            char c = Up(s_[p_]);
            if (c == '*') g.colors = true;
            else if (c == 'I' || c == 'J') g.icon = true;
            else if (c == 'F') g.fixed = true;
            else if (c == '_') g.underline = true;
            else if (c == 'M') g.resize = true;
            else if (c == '|') g.border = true;
            else if ((c == 'S' || c == 'T' || c == 'E' || c == 'Q' || c == 'P') && p_ + 1 < s_.size() &&
                     s_[p_ + 1] == '(') {
                if (!SkipParen()) return false;
                continue;
            } else if (c == 'Y' || c == 'Z' || c == '?' || c == '/' || c == 'B') {
                // other attributes of the list control: kept by nobody here
            } else {
                return false;
            }
            ++p_;
        }
        if (!More()) return false;
        std::size_t close = s_.find('~', p_ + 1);
        if (close == std::string_view::npos) return false;
        g.header = std::string(s_.substr(p_ + 1, close - p_ - 1));
        p_ = close + 1;
        if (More() && Justify(s_[p_])) g.headerJustify = Up(s_[p_++]);
        if (More() && s_[p_] == '(' && !Indent(g.headerIndent)) return false;
        if (!More() || s_[p_] != '@') return false;
        std::size_t at = s_.find('@', p_ + 1);
        if (at == std::string_view::npos) return false;
        g.picture = std::string(s_.substr(p_, at - p_));
        p_ = at + 1;
        if (More() && s_[p_] == '#') {
            ++p_;
            if (!Number(explicitField) || !More() || s_[p_] != '#') return false;
            ++p_;
        }
        if (More() && Up(s_[p_]) == 'E' && p_ + 1 < s_.size() && s_[p_ + 1] == '(') {
            std::size_t end = s_.find(')', p_);
            if (end == std::string_view::npos) return false;
            std::string_view in = s_.substr(p_ + 2, end - p_ - 2);
            int32_t* out[4] = {&g.nfg, &g.nbg, &g.sfg, &g.sbg};
            std::size_t q = 0;
            for (int i = 0; i < 4; ++i) {
                std::size_t comma = in.find(',', q);
                std::string part(in.substr(q, comma == std::string_view::npos ? std::string_view::npos : comma - q));
                *out[i] = part.empty() ? -1 : static_cast<int32_t>(std::strtol(part.c_str(), nullptr, 10));
                if (comma == std::string_view::npos) break;
                q = comma + 1;
            }
            p_ = end + 1;
        }
        return true;
    }

private:
    bool More() const { return p_ < s_.size(); }
    static char Up(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
    bool Number(int& out) {
        std::size_t b = p_;
        while (More() && Digit(s_[p_]) && p_ - b < 6) ++p_;
        if (p_ == b) return false;
        out = std::atoi(std::string(s_.substr(b, p_ - b)).c_str());
        return true;
    }
    bool Indent(int& out) {
        ++p_;  // "("
        bool neg = More() && s_[p_] == '-';
        if (neg) ++p_;
        if (!Number(out)) return false;
        if (neg) out = -out;
        if (!More() || s_[p_] != ')') return false;
        ++p_;
        return true;
    }
    bool SkipParen() {
        std::size_t end = s_.find(')', p_);
        if (end == std::string_view::npos) return false;
        p_ = end + 1;
        return true;
    }

    std::string_view s_;
    std::size_t p_;
};

}  // namespace

std::string ListFormat::BuildGroup(const FormatGroup& g) {
    std::string out = std::to_string(g.width);
    out += g.dataJustify;
    if (g.dataIndent) out += "(" + std::to_string(g.dataIndent) + ")";
    if (g.colors) out += '*';
    if (g.icon) out += 'I';
    if (g.fixed) out += 'F';
    if (g.underline) out += '_';
    if (g.resize) out += 'M';
    if (g.border) out += '|';
    // The header clipped of its trailing blanks between the tildes.
    std::size_t headerEnd = g.header.find_last_not_of(' ');
    headerEnd = headerEnd == std::string::npos ? 0 : headerEnd + 1;
    out += '~';
    for (char c : g.header.substr(0, headerEnd))
        if (c != '~') out += c;
    out += '~';
    out += g.headerJustify;
    if (g.headerIndent) out += "(" + std::to_string(g.headerIndent) + ")";
    out += g.picture.empty() ? std::string("@S20") : g.picture;
    out += '@';
    out += "#" + std::to_string(g.field) + "#";
    if (g.nfg != -1 || g.nbg != -1 || g.sfg != -1 || g.sbg != -1)
        out += "E(" + Colour(g.nfg) + "," + Colour(g.nbg) + "," + Colour(g.sfg) + "," + Colour(g.sbg) + ")";
    return out;
}

std::string ListFormat::Build() const {
    std::string out;
    for (const FormatGroup& g : groups) out += BuildGroup(g);
    return out;
}

ListFormat ListFormat::Parse(std::string_view text) {
    ListFormat f;
    int nextField = 1;
    std::size_t p = 0;
    while (p < text.size()) {
        if (!Digit(text[p])) {
            ++p;
            continue;
        }
        GroupReader r(text, p);
        FormatGroup g;
        int explicitField = 0;
        if (r.Read(g, explicitField)) {
            g.field = explicitField ? explicitField : nextField;
            nextField = g.field + 1 + (g.colors ? 4 : 0) + (g.icon ? 1 : 0);
            f.groups.push_back(g);
            p = r.pos();
        } else {
            // A damaged group: look for the next group after its leading number.
            while (p < text.size() && Digit(text[p])) ++p;
        }
    }
    return f;
}

}  // namespace kr::xplore
