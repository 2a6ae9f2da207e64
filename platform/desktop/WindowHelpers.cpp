#include "platform/desktop/WindowHelpers.h"

#include <atomic>
#include <mutex>

#include "platform/desktop/Accessibility.h"
#include "platform/runtime/Strings.h"

namespace kr {

namespace {

std::atomic<bool> g_excludeHidden{false};
std::mutex g_m;
std::vector<WindowListEntry> g_windows;
std::vector<ChildWindowEntry> g_children;
WindowListEntry g_current;

bool SameText(std::string_view a, std::string_view b, bool ignoreCase) {
    return ignoreCase ? EqualNoCase(a, b) : a == b;
}

}  // namespace

void SetExcludeHiddenWindows(bool on) { g_excludeHidden = on; }
bool ExcludeHiddenWindows() { return g_excludeHidden; }

std::vector<WindowListEntry> BuildWindowList(const std::vector<DesktopWindow>& windows, bool excludeHidden) {
    std::vector<WindowListEntry> out;
    for (const DesktopWindow& w : windows) {
        WindowListEntry e;
        e.Handle = w.handle;
        e.Class = w.className;
        if (!w.title.empty()) {
            if (excludeHidden && !w.visible) continue;
            e.Line = w.title;
        } else if (!w.iconTitle.empty()) {
            e.Line = w.iconTitle;
        } else {
            continue;
        }
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<ChildWindowEntry> BuildChildWindowList(const std::vector<DesktopWindow>& windows) {
    std::vector<ChildWindowEntry> out;
    for (const DesktopWindow& w : windows) {
        const std::string& text = !w.title.empty() ? w.title : w.iconTitle;
        if (text.empty()) continue;
        ChildWindowEntry e;
        e.Line = text;
        e.Class = w.className;
        e.Handle = w.handle;
        out.push_back(std::move(e));
    }
    return out;
}

void ListTopWindows() {
    std::vector<WindowListEntry> list = BuildWindowList(TopLevelWindows(), ExcludeHiddenWindows());
    std::lock_guard<std::mutex> l(g_m);
    g_windows = std::move(list);
    g_current = g_windows.empty() ? WindowListEntry{} : g_windows.back();
}

void ListChildWindows() {
    std::uint32_t handle;
    {
        std::lock_guard<std::mutex> l(g_m);
        handle = g_current.Handle;
    }
    ListChildWindows(handle);
}

void ListChildWindows(std::uint32_t window) {
    std::vector<ChildWindowEntry> list;
    if (window) {
        list = BuildChildWindowList(ChildWindowsOf(window));
        // The controls a toolkit draws itself are objects of the window's
        // accessibility tree; they are listed under their role, without a handle.
        for (const AccessibleText& t : AccessibleTextsOf(window)) {
            ChildWindowEntry e;
            e.Line = t.text;
            e.Class = t.role;
            list.push_back(std::move(e));
        }
    }
    std::lock_guard<std::mutex> l(g_m);
    g_children = std::move(list);
}

std::vector<WindowListEntry> WindowList() {
    std::lock_guard<std::mutex> l(g_m);
    return g_windows;
}

std::vector<ChildWindowEntry> ChildWindowList() {
    std::lock_guard<std::mutex> l(g_m);
    return g_children;
}

WindowListEntry CurrentWindowEntry() {
    std::lock_guard<std::mutex> l(g_m);
    return g_current;
}

void SetCurrentWindowEntry(const WindowListEntry& entry) {
    std::lock_guard<std::mutex> l(g_m);
    g_current = entry;
}

bool FetchWindowEntry(std::size_t n) {
    std::lock_guard<std::mutex> l(g_m);
    if (n < 1 || n > g_windows.size()) return false;
    g_current = g_windows[n - 1];
    return true;
}

std::string ReplaceSubstringFixed(std::string_view text, std::size_t length, std::string_view find,
                                  std::string_view replacement, bool ignoreCase, std::size_t* textEnd) {
    const std::size_t kept = std::min(text.size(), length);
    std::string padded(text.substr(0, kept));
    padded.resize(length, ' ');
    const std::size_t m = find.size();
    if (textEnd) *textEnd = kept;
    if (m == 0 || m > length) return padded;
    // Matches from the right; each must end before the previous one starts.
    std::vector<std::size_t> starts;
    std::size_t boundary = length;
    for (std::size_t p = length - m + 1; p-- > 0;) {
        if (p + m > boundary) continue;
        if (SameText(std::string_view(padded).substr(p, m), find, ignoreCase)) {
            starts.push_back(p);
            boundary = p;
        }
    }
    if (starts.empty()) return padded;
    std::string out;
    std::size_t at = 0;
    // Where the given text ends in the result: inside a copied stretch it
    // moves with the stretch, inside a match it is the replacement's end.
    std::size_t end = std::string::npos;
    auto copy = [&](std::size_t to) {
        if (end == std::string::npos && kept >= at && kept <= to) end = out.size() + (kept - at);
        out.append(padded, at, to - at);
    };
    for (auto i = starts.rbegin(); i != starts.rend(); ++i) {
        copy(*i);
        out.append(replacement);
        if (end == std::string::npos && kept > *i && kept < *i + m) end = out.size();
        at = *i + m;
        if (out.size() >= length) break;
    }
    if (out.size() < length) copy(length);
    if (textEnd) *textEnd = std::min(end == std::string::npos ? out.size() : end, length);
    out.resize(length, ' ');
    return out;
}

}  // namespace kr
