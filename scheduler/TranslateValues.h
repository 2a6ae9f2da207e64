// Value references: a name in square brackets inside a text, replaced by its
// current text before the text is used.
//
//   [DATE] [TODAY] [TIME] ...   the built-in names (see TranslateVariable)
//   [COUNT]                     a script value; empty when never set
//   [=expression]               the expression's value
//   [A[B]]                      inner references first: the outer name is A
//                               followed by the value of B
//   [[  and  []                 a literal "[" and a literal "]"
//
// A text is worked in a buffer of 16384 characters. A value put in place of a
// reference is scanned again from its second character, so a value may itself
// hold references; its first character is taken as it is, which keeps a
// value that refers to itself from expanding without end. A reference whose
// value is empty leaves the text behind it to be scanned from its first
// character, so "[A][B]" replaces B also when A is empty. An unclosed
// reference stays as written; the scan of one reference gives up after 5000
// characters. The whole translation is bounded too: a value may bring back
// the reference it replaced, so after 50,000,000 characters examined or 20,000
// references replaced the text is returned as it stands.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kr {

inline constexpr std::size_t kTranslateBufferSize = 16384;
inline constexpr int kReferenceScanLimit = 5000;
inline constexpr std::size_t kReferenceNameSize = 256;
inline constexpr std::size_t kTranslateWorkLimit = 50000000;
inline constexpr std::size_t kTranslateReplacementLimit = 20000;

// The text of one reference name (without brackets), at most 255 characters.
// Built-in names, without regard to case: YYYY-MM-DD, DD-MM-YY, MM-DD-YY,
// DDMMYY, MMDDYY, DATE (yyyymmdd), DATE-1, DATE+1, TODAY, YESTERDAY, TOMORROW
// (the user's date format), TIME (hhmmss), NOW (the short time format) and
// FOCUS (the title of the focused window). A name beginning with "=" is
// evaluated; any other name reads the script value of that name.
std::string TranslateVariable(std::string_view name);

// The text with every reference replaced. The second argument is accepted
// for the callers that pass one; it is not used.
std::string TranslateValues(std::string_view text, std::string_view ignored = {});

// Where FOCUS reads the focused window's title from; the desktop layer
// installs it. Without one FOCUS is empty.
void SetFocusTextSource(std::function<std::string()> source);

}  // namespace kr
