// The program-wide window lists and the text helper of the data dictionary's
// window services: ListTopWindows fills WindowList with the desktop's
// top-level windows, ListChildWindows fills ChildWindowList with the windows
// below the current WindowList entry, for the script engine and the window
// pickers. ReplaceSubstring replaces inside a fixed-length text.
//
// X11 has no window text apart from a window's properties, so a window
// without a title is listed under its icon title when it has one (where the
// runtime asked the window for its text). Other programs' controls (buttons,
// labels) are drawn by the programs themselves and are no X windows: the
// child list holds the sub-windows a program makes that have a name, then
// the texts of the window's accessibility tree (Accessibility.h), each under
// its role and with handle 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/desktop/X11Windows.h"
#include "platform/runtime/FixedString.h"

namespace kr {

struct WindowListEntry {  // WQ_
    CString<255> Line;    // title
    std::uint32_t Handle = 0;
    CString<255> Class;
};

struct ChildWindowEntry {  // CQ_
    CString<255> Line;
    CString<255> Class;
    std::uint32_t Handle = 0;
};

// The setting ExclHidden: window lists leave out hidden windows while it is on.
void SetExcludeHiddenWindows(bool on);
bool ExcludeHiddenWindows();

// The list rules over windows already read: a titled window is listed unless
// excludeHidden is on and it is hidden; an untitled one is listed under its
// icon title when it has one, hidden or not; the others are left out.
std::vector<WindowListEntry> BuildWindowList(const std::vector<DesktopWindow>& windows, bool excludeHidden);
std::vector<ChildWindowEntry> BuildChildWindowList(const std::vector<DesktopWindow>& windows);

// Empties WindowList and fills it from the desktop; the current entry (WQ_)
// becomes the last window added (cleared when none was).
void ListTopWindows();
// Empties ChildWindowList and fills it with the windows below the current
// entry's window.
void ListChildWindows();
// The same for a window given by handle (the current entry is left alone).
void ListChildWindows(std::uint32_t window);

// Copies of the lists and the current entry. The lists are shared by every
// thread; each call is atomic, and a caller that fills a list reads it at once.
std::vector<WindowListEntry> WindowList();
std::vector<ChildWindowEntry> ChildWindowList();
WindowListEntry CurrentWindowEntry();
void SetCurrentWindowEntry(const WindowListEntry& entry);
// Makes row n (1-based) of WindowList the current entry; false when there is none.
bool FetchWindowEntry(std::size_t n);

// Replaces every occurrence of find in a text of the given fixed length
// (shorter texts are taken blank-padded to it), searching from the end
// towards the start: overlapping occurrences go to the rightmost, and a
// replacement is never searched again. The result is cut to the fixed length.
// An empty find changes nothing. textEnd, when given, gets where the given
// text (without the padding) ends in the result.
std::string ReplaceSubstringFixed(std::string_view text, std::size_t length, std::string_view find,
                                  std::string_view replacement, bool ignoreCase, std::size_t* textEnd = nullptr);

template <std::size_t N>
void ReplaceSubstring(FString<N>& text, std::string_view find, std::string_view replacement, bool ignoreCase) {
    text = ReplaceSubstringFixed(text.str(), N, find, replacement, ignoreCase);
}

template <std::size_t N>
void ReplaceSubstring(CString<N>& text, std::string_view find, std::string_view replacement, bool ignoreCase) {
    // Over the field's whole room, so a longer replacement is not cut at
    // the text's old length; the blanks that only filled the room go again.
    std::size_t end = 0;
    std::string r = ReplaceSubstringFixed(text.str(), CString<N>::kCapacity, find, replacement, ignoreCase, &end);
    r.resize(end);
    text = r;
}

}  // namespace kr
