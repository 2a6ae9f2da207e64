#include "scheduler/WindowMatch.h"

#include <QList>
#include <QString>

#include "platform/runtime/Strings.h"

namespace kr {

namespace {

std::u32string Upper32(std::string_view text) {
    const QList<uint> ucs = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUpper().toUcs4();
    std::u32string out(ucs.begin(), ucs.end());
    while (!out.empty() && out.back() == U' ') out.pop_back();
    return out;
}

}  // namespace

std::string UpperTitle(std::string_view text) {
    const std::u32string u = Upper32(text);
    return QString::fromUcs4(u.data(), static_cast<qsizetype>(u.size())).toStdString();
}

bool TitleMatchesPattern(std::string_view title, std::string_view pattern) {
    const std::u32string t = Upper32(title);
    const std::u32string p = Upper32(pattern);
    if (t == p) return true;
    const std::size_t star = p.find(U'*');
    if (star == std::u32string::npos) return false;
    if (star == 0) return t.find(p.substr(1)) != std::u32string::npos;
    return t.size() >= star && t.compare(0, star, p, 0, star) == 0;
}

std::uint32_t MatchWindow(const std::vector<WindowListEntry>& windows, std::string_view pattern,
                          std::string_view contents,
                          const std::function<std::vector<std::string>(std::uint32_t)>& childTexts) {
    if (!pattern.empty() && pattern.front() == '~') pattern.remove_prefix(1);
    const std::u32string wanted = Upper32(contents);
    for (const WindowListEntry& w : windows) {
        if (!TitleMatchesPattern(w.Line.str(), pattern)) continue;
        if (wanted.empty()) return w.Handle;
        if (!childTexts) continue;
        for (const std::string& text : childTexts(w.Handle))
            if (Upper32(text).find(wanted) != std::u32string::npos) return w.Handle;
    }
    return 0;
}

std::uint32_t FindWindowByTitle(std::string_view pattern, std::string_view contents) {
    ListTopWindows();
    return MatchWindow(WindowList(), pattern, contents, [](std::uint32_t window) {
        ListChildWindows(window);
        std::vector<std::string> texts;
        for (const ChildWindowEntry& c : ChildWindowList()) texts.push_back(c.Line.str());
        return texts;
    });
}

}  // namespace kr
