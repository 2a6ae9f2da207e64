// Pictures: the runtime's FORMAT and DEFORMAT.
//
// A picture tells how a stored value is shown as text and how typed text is
// read back. The leading "@" may be left out ("d17" is "@d17"), letters are
// read without regard to case, and a second "@" ends the picture (list
// formats carry "@d17@").
//
//   @Dn[s][<r|>r][B]   dates, n 1..18; a leading 0 in n zero-fills the first
//                      element; s one of . ` - _ (period, comma, hyphen,
//                      space) replaces the separator; <r or >r moves the
//                      century window of two-digit years; B blank for 0.
//      1 m/dd/yy  2 m/dd/yyyy  3 MMM d,yyyy  4 Month d, yyyy  5 d/mm/yy
//      6 d/mm/yyyy  7 d MMM yy  8 d MMM yyyy  9 yy/mm/dd  10 yyyy/mm/dd
//      11 yymmdd  12 yyyymmdd  13 m/yy  14 m/yyyy  15 yy/mm  16 yyyy/mm
//      17 the system's short date  18 the system's long date
//   @Tn[s][B]          times, n 1..8; a leading 0 zero-fills the hours.
//      1 h:mm  2 hhmm  3 h:mmAM  4 h:mm:ss  5 hhmmss  6 h:mm:ssAM
//      7 the system's short time  8 the system's long time
//   @N[cur][sign][fill]size[group][places][sign][cur][B]
//                      numbers: cur "$" or ~text~; sign "-" (leading or
//                      trailing) or "(" ... ")"; fill 0, _ (blanks, no
//                      grouping) or *; group . - _ (default ","); places
//                      ".n", "`n" (decimal comma) or "vn" (no separator).
//                      The text is right-aligned to size; a number too
//                      wide for it shows as size "#" characters.
//   @Sn                texts, cut to n characters
//   @P...P[B]          patterns: # a digit, < a digit shown blank when it is
//                      a leading zero; any other character stands as written
//   @K...K[B]          key-in templates: # a digit, @ a letter, ? any
//                      character; other characters stand as written
//
// A date of 0 (no date) always shows as blank; a time of 0 shows as blank
// with B and as midnight without.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/runtime/Value.h"

namespace kr {

// The system date and time formats behind @D17, @D18, @T7 and @T8, as
// patterns: d dd (day), ddd dddd (weekday name), M MM (month), MMM MMMM
// (month name), yy yyyy (year), h hh (12-hour), H HH (24-hour), m mm
// (minutes), s ss (seconds), t tt (A/P, AM/PM); text in single quotes and
// any other character stand as written.
struct SystemFormats {
    std::string shortDate = "M/d/yyyy";
    std::string longDate = "dddd, MMMM d, yyyy";
    std::string shortTime = "h:mm tt";
    std::string longTime = "h:mm:ss tt";
};

// The formats read from the user's locale (LC_TIME); the defaults above for
// the C locale.
SystemFormats SystemFormatsFromLocale();
// The formats in use (read from the locale on first use unless set).
SystemFormats CurrentSystemFormats();
void SetSystemFormats(const SystemFormats& formats);

// The widest text a picture may describe (the size of @N and @S, the places
// of @N, the length of @P and @K templates): a picture beyond it is refused
// as not valid rather than built.
inline constexpr int kMaxPictureWidth = 65535;

// The value as text in the picture. An unknown picture, or one that is not
// valid (ValidPicture), gives the value's text.
std::string Format(const Value& value, std::string_view picture);

// Reads typed text back by the picture: dates and times give their numbers
// (0 for blank or text that is not a valid date or time), numbers an integer
// or a real, texts the text itself.
Value Deformat(std::string_view text, std::string_view picture);

// As Deformat, but nullopt when the text does not read as the picture's kind
// (an impossible date or time, a number with stray letters). Blank text is a
// valid 0 for dates, times and numbers.
std::optional<Value> TryDeformat(std::string_view text, std::string_view picture);

// Whether the picture is one of the kinds and well formed within the limits.
bool ValidPicture(std::string_view picture);

// The picture's kind: 'D', 'T', 'N', 'S', 'P', 'K', or 0 when it is none of them.
char PictureKind(std::string_view picture);

}  // namespace kr
