// The graph preferences: the sixteen colour names offered for graph bars (the
// graph uses the first eight) and the font of the graph labels, kept in the
// list's INI file under [XplorePreferences], shared by every list. Also the
// category names that sort in calendar order (months, weekdays, hour bands).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kr::xplore {

inline constexpr std::string_view kPreferencesSection = "XplorePreferences";

struct GraphPreferences {
    std::array<std::string, 16> colors;  // Col01 .. Col16
    std::string fontName = "Arial";
    int fontSize = 8;
    int32_t fontColor = 0;
    int fontStyle = 700;

    // The defaults of the preferences window (8 points) or of the graph (12
    // points, and only the first eight colours matter there).
    static GraphPreferences Defaults(bool forGraph);
    // Reads the section; missing keys take the defaults of the window or of
    // the graph.
    static GraphPreferences Read(const std::string& iniFile, bool forGraph);
    // Writes all twenty keys: Col01..Col16, FontName, FontSize, FontColor, FontStyle.
    void Write(const std::string& iniFile) const;
};

// The default colour name of position n (1..16).
std::string DefaultGraphColor(int n);

// The style text of a font style value (weight, +4096 italic, +8192
// underline) for the font sample.
std::string FontStyleText(int style);
// The sample line: name, size, " pt ", style text.
std::string FontSampleText(std::string_view name, int size, int style);

// The swatch colours of a colour-list row.
struct Swatch {
    int32_t text = 0, background = 0, selectedText = 0xFFFFFF, selectedBackground = 0;
    bool known = false;  // false: a name that is none of the sixteen
};
Swatch SwatchOf(std::string_view name);

// Category names in the form "NN =Name". Each stores its text into the
// buffer, blank-padded to the buffer's size, and leaves the buffer as it was
// for any other input.
void MonthNames(int month, std::string& buffer);
void WeekdayNames(int day, std::string& buffer);
void SixHourBandNames(std::string& buffer);
void FourHourBandNames(std::string& buffer);

}  // namespace kr::xplore
