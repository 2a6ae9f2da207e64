// Window-title matching: the window a script item names by a title pattern,
// optionally with a text one of its controls must hold.
//
//   notepad      the title is "Notepad" (without regard to case)
//   *notepad     the title contains "notepad"
//   Untitled*    the title begins with "Untitled" (what follows "*" is ignored)
//   ~notepad     the same windows: the "~" marks a wait for the window to close
//   *            any titled window: the topmost
//
// Titles and patterns are UTF-8, compared upper-cased with Unicode's rules
// (so "straße" and "STRASSE" match), trailing blanks ignored. Windows are
// tried topmost first; ExclHidden leaves hidden windows out.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/desktop/WindowHelpers.h"

namespace kr {

// Upper case with Unicode's rules, trailing blanks removed.
std::string UpperTitle(std::string_view text);
// True when a title matches a pattern (a leading "~" already removed).
bool TitleMatchesPattern(std::string_view title, std::string_view pattern);

// The first window of a list that matches, and whose control texts (read by
// childTexts for a candidate only) hold contents when contents is not blank.
std::uint32_t MatchWindow(const std::vector<WindowListEntry>& windows, std::string_view pattern,
                          std::string_view contents,
                          const std::function<std::vector<std::string>(std::uint32_t)>& childTexts);

// The desktop's first top-level window matching the pattern (WindowList is
// refreshed; ChildWindowList is filled for each candidate when contents is
// not blank), or 0.
std::uint32_t FindWindowByTitle(std::string_view pattern, std::string_view contents);

}  // namespace kr
