// The runtime's string functions, as the suite's code uses them.
#pragma once

#include <string>
#include <string_view>

namespace kr {

// Removes trailing blanks (the runtime's CLIP).
std::string ClipRight(std::string_view s);
// Removes leading blanks (LEFT without a width).
std::string ClipLeft(std::string_view s);
// Removes blanks at both ends.
std::string Trim(std::string_view s);
std::string Upper(std::string_view s);
std::string Lower(std::string_view s);
// Compares as the runtime compares STRING values: blank-padded, and without
// regard to case when caseSensitive is false. Gives <0, 0 or >0.
int CompareText(std::string_view a, std::string_view b, bool caseSensitive = true);
bool EqualNoCase(std::string_view a, std::string_view b);
// The runtime's INSTRING(sub, s, step, start): the 1-based position of sub in
// s at or after start (1-based), or 0 when it does not occur. step 1 searches
// every position; a step of sub's length searches whole slices.
int InString(std::string_view sub, std::string_view s, int step = 1, int start = 1);
// InString without regard to case.
int InStringNoCase(std::string_view sub, std::string_view s, int start = 1);
// The runtime's SUB(s, start, length): 1-based; out-of-range parts are empty.
std::string Sub(std::string_view s, int start, int length);
// Replaces every occurrence of what by with (no regard to case when asked).
std::string ReplaceAll(std::string_view s, std::string_view what, std::string_view with,
                       bool caseSensitive = true);
// Whole-number text of a value ("12", "-3").
std::string IntToText(long long v);
// The runtime's NUMERIC(): true when s (after trimming) is a number.
bool IsNumeric(std::string_view s);

}  // namespace kr
