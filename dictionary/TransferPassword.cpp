// The transfer password masked in a text: the words are read both as a
// program is started (SplitCommandLine's rules) and as a shell reads them,
// and every word that can hold a command of its own is read again by the
// shell's rules, to any depth up to eight. So no list of wrappers is kept:
// KRFTP behind nohup, nice, sudo, env or exec, inside a `-c` text, a group,
// an `if` or a backquoted command is found the same way.
#include "dictionary/TransferPassword.h"

#include <cstddef>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/runtime/Strings.h"

namespace kr {

namespace {

constexpr std::string_view kMask = "********";
// The shortest password text that is masked elsewhere in the line too.
constexpr std::size_t kShortestText = 4;

// The last part of a program's name, without its folder (either slash) or
// extension, in upper case: "/opt/kr/krftp.exe" gives "KRFTP".
std::string ProgramName(std::string_view word) {
    const std::size_t slash = word.find_last_of("/\\");
    std::string_view name = slash == std::string_view::npos ? word : word.substr(slash + 1);
    const std::size_t dot = name.find('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    return Upper(name);
}

// One word of a command line with where it came from: the span it takes in
// the logged text (quotes included) and the place of each of its characters,
// so that a word found inside a word (a shell's command text) can be
// masked in the text the log shows.
struct SourceWord {
    std::string value;
    std::vector<std::size_t> from;
    std::size_t begin = 0, end = 0;
};
// A command text, one simple command per entry.
using SourceCommand = std::vector<SourceWord>;

// The words of a command line split as programs are started
// (SplitCommandLine); `at` gives the logged place of each character.
SourceCommand SplitStarted(std::string_view s, const std::vector<std::size_t>& at) {
    SourceCommand out;
    std::size_t i = 0;
    const std::size_t n = s.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    auto take = [&](SourceWord& w, std::size_t k) {
        w.value += s[k];
        w.from.push_back(at[k]);
    };
    auto finish = [&](SourceWord& w, std::size_t first, std::size_t last) {
        w.begin = at[first];
        w.end = at[last - 1] + 1;
        out.push_back(std::move(w));
    };
    while (i < n && blank(s[i])) ++i;
    if (i >= n) return out;
    SourceWord program;
    const std::size_t start = i;
    if (s[i] == '"') {
        ++i;
        while (i < n && s[i] != '"') take(program, i++);
        if (i < n) ++i;
    }
    while (i < n && !blank(s[i])) take(program, i++);
    finish(program, start, i);
    while (true) {
        while (i < n && blank(s[i])) ++i;
        if (i >= n) break;
        SourceWord w;
        const std::size_t first = i;
        bool quoted = false;
        while (i < n) {
            const char c = s[i];
            if (blank(c) && !quoted) break;
            if (c == '\\') {
                std::size_t k = i;
                while (k < n && s[k] == '\\') ++k;
                if (k < n && s[k] == '"') {
                    for (std::size_t b = 0; b < (k - i) / 2; ++b) take(w, i + 2 * b + 1);
                    if ((k - i) % 2 == 1) {
                        take(w, k);
                        i = k + 1;
                    } else {
                        i = k;
                    }
                } else {
                    while (i < k) take(w, i++);
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < n && s[i + 1] == '"') {
                    take(w, i + 1);
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            take(w, i++);
        }
        finish(w, first, i);
    }
    return out;
}

// The simple commands of a shell's command text ("sh -c TEXT"): words split
// at blanks with the shell's quotes and backslashes, commands at unquoted
// ";", "&", "|", "(", ")", "`" and line ends.
std::vector<SourceCommand> SplitShellText(std::string_view s, const std::vector<std::size_t>& at) {
    std::vector<SourceCommand> out(1);
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = s[i];
        if (c == ' ' || c == '\t') {
            ++i;
            continue;
        }
        if (c == '\n' || c == ';' || c == '&' || c == '|' || c == '(' || c == ')' || c == '`') {
            if (!out.back().empty()) out.emplace_back();
            ++i;
            continue;
        }
        if (c == '#') {  // a comment, to the end of the line
            while (i < n && s[i] != '\n') ++i;
            continue;
        }
        SourceWord w;
        const std::size_t first = i;
        auto take = [&](std::size_t k) {
            w.value += s[k];
            w.from.push_back(at[k]);
        };
        while (i < n) {
            const char d = s[i];
            if (d == ' ' || d == '\t' || d == '\n' || d == ';' || d == '&' || d == '|' || d == '(' ||
                d == ')' || d == '`')
                break;
            if (d == '\\') {
                if (i + 1 < n) take(i + 1);
                i += 2;
            } else if (d == '\'') {
                for (++i; i < n && s[i] != '\''; ++i) take(i);
                ++i;
            } else if (d == '"') {
                for (++i; i < n && s[i] != '"'; ++i) {
                    if (s[i] == '\\' && i + 1 < n &&
                        std::string_view("$`\"\\\n").find(s[i + 1]) != std::string_view::npos)
                        ++i;
                    take(i);
                }
                ++i;
            } else {
                take(i++);
            }
        }
        i = std::min(i, n);
        w.begin = at[first];
        w.end = at[i - 1] + 1;
        out.back().push_back(std::move(w));
    }
    return out;
}

using Span = std::pair<std::size_t, std::size_t>;

// Where a text shows the transfer password: the spans to mask, the texts of
// known password words (to find the same text elsewhere), and the words
// already read again.
struct PasswordFinds {
    std::vector<Span> spans;
    std::vector<std::string> texts;
    std::set<std::tuple<std::size_t, std::size_t, std::string>> read;
};

// A word that may hold a command of its own: a shell's command text, a
// quoted command line, a backquoted command.
bool MayHoldCommand(std::string_view word) {
    return word.find_first_of(" \t\r\n;&|()`") != std::string_view::npos;
}

// Whether a word may stand for another number of words when the command
// runs: a redirection ("2>/dev/null", ">log", "<in", which takes the word
// away or the next one with it) and, in a text a shell runs, an expansion
// ("$@", "$1", "${x}", `...`) or a pattern of file names or braces. The
// outermost text is a command line started as it stands (or the
// description made from one), whose "$" or "*" reach the program as they
// are, as in a password. The mask itself, as an earlier pass left it, is
// none of these.
bool MayChangeTheCount(std::string_view word, bool shellText) {
    std::string w(word);
    for (std::size_t p = w.find(kMask); p != std::string::npos; p = w.find(kMask, p))
        w.erase(p, kMask.size());
    return w.find_first_of(shellText ? "<>$`*?[{" : "<>") != std::string::npos;
}

// Finds the transfer password in a text. Wherever a word names KRFTP, the
// sixth word after it in the same command is its password, unless one of
// those six (or fewer) words may change the count: then every word after
// KRFTP is masked, and `handed` too, the words that follow the word the text
// stands in at every outer level (a shell gives them to its text as "$0",
// "$1" ...).
void FindTransferPasswords(std::string_view text, const std::vector<std::size_t>& at, int depth,
                           const std::string& line, const std::vector<Span>& handed, PasswordFinds& found) {
    if (depth > 8) return;
    std::vector<SourceCommand> commands = SplitShellText(text, at);
    if (depth == 0) commands.push_back(SplitStarted(text, at));
    for (const SourceCommand& words : commands) {
        for (std::size_t i = 0; i < words.size(); ++i) {
            const SourceWord& w = words[i];
            if (ProgramName(w.value) == "KRFTP") {
                bool unsure = false;
                for (std::size_t k = i + 1; k < words.size() && k <= i + 6; ++k)
                    unsure = unsure || MayChangeTheCount(words[k].value, depth > 0);
                if (unsure) {
                    for (std::size_t k = i + 1; k < words.size(); ++k)
                        found.spans.emplace_back(words[k].begin, words[k].end);
                    found.spans.insert(found.spans.end(), handed.begin(), handed.end());
                } else if (i + 6 < words.size() && !words[i + 6].value.empty() &&
                           words[i + 6].value.rfind(kMask, 0) != 0) {
                    // (A password word that begins with the mask was masked
                    // by an earlier pass: what follows in it, as the comma of
                    // "********, error code 2", is the caller's own text.)
                    const SourceWord& password = words[i + 6];
                    found.spans.emplace_back(password.begin, password.end);
                    found.texts.push_back(password.value);
                    found.texts.push_back(line.substr(password.begin, password.end - password.begin));
                }
            }
            // A word equal to the whole text would split the same way again.
            if (w.value.size() == text.size() || !MayHoldCommand(w.value)) continue;
            if (!found.read.emplace(w.begin, w.end, w.value).second) continue;
            std::vector<Span> inner = handed;
            for (std::size_t k = i + 1; k < words.size(); ++k)
                inner.emplace_back(words[k].begin, words[k].end);
            FindTransferPasswords(w.value, w.from, depth + 1, line, inner, found);
        }
    }
}

// Whether the text holds "KRFTP" in any case: no word can name the program
// without it, so any other text is given back as it is at once.
bool MayNameKrftp(std::string_view text) { return Upper(text).find("KRFTP") != std::string::npos; }

}  // namespace

std::string MaskTransferPassword(std::string_view text) {
    const std::string line(text);
    if (!MayNameKrftp(line)) return line;
    std::vector<std::size_t> at(line.size());
    for (std::size_t k = 0; k < at.size(); ++k) at[k] = k;
    PasswordFinds found;
    FindTransferPasswords(line, at, 0, line, {}, found);
    if (found.spans.empty()) return line;
    // The password's text is masked wherever else it stands too (echoed,
    // written to a file, passed to another program).
    std::vector<bool> masked(line.size(), false);
    for (const auto& [begin, end] : found.spans)
        for (std::size_t k = begin; k < end && k < line.size(); ++k) masked[k] = true;
    for (const std::string& t : found.texts) {
        // A text of a few characters (a password cut short with its line)
        // stands in too many words to be told from them.
        if (t.size() < kShortestText) continue;
        for (std::size_t p = line.find(t); p != std::string::npos; p = line.find(t, p + 1))
            for (std::size_t k = p; k < p + t.size(); ++k) masked[k] = true;
    }
    // Each run of masked characters shows as one "********".
    std::string shown;
    for (std::size_t k = 0; k < line.size(); ++k) {
        if (!masked[k])
            shown += line[k];
        else if (k == 0 || !masked[k - 1])
            shown += kMask;
    }
    return shown;
}

}  // namespace kr
