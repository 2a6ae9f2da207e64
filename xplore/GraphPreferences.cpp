#include "xplore/GraphPreferences.h"

#include <cstdio>

#include "platform/runtime/IniFile.h"
#include "xplore/Colors.h"

namespace kr::xplore {

namespace {

constexpr const char* kDefaultColors[16] = {"Maroon", "Olive", "Navy",  "Silver",  "Purple", "Green",
                                            "Teal",   "Gray",  "Red",   "Yellow",  "Blue",   "Lime",
                                            "Fuschia", "Aqua", "White", "Black"};

std::string ColKey(int n) {
    char key[8];
    std::snprintf(key, sizeof key, "Col%02d", n);
    return key;
}

int ToInt(const std::string& s, int fallback) {
    try {
        std::size_t used = 0;
        const int v = std::stoi(s, &used);
        return used > 0 ? v : fallback;
    } catch (...) {
        return fallback;
    }
}

std::string Trimmed(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return std::string(s);
}

void Store(std::string& buffer, std::string_view text) {
    const std::size_t size = buffer.size();
    std::string t(text.substr(0, std::min(size, text.size())));
    t.resize(size, ' ');
    buffer = t;
}

// The buffer's whole text against two-character bounds, the shorter side
// padded with blanks, as the runtime compares strings.
int CompareBlankPadded(std::string_view a, std::string_view b) {
    const std::size_t n = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = i < a.size() ? static_cast<unsigned char>(a[i]) : ' ';
        const unsigned char cb = i < b.size() ? static_cast<unsigned char>(b[i]) : ' ';
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return 0;
}

struct Band {
    const char* from;
    const char* to;
    const char* name;
};

template <std::size_t N>
void BandNames(std::string& buffer, const Band (&bands)[N]) {
    for (const Band& b : bands) {
        if (CompareBlankPadded(buffer, b.from) >= 0 && CompareBlankPadded(buffer, b.to) <= 0) {
            Store(buffer, b.name);
            return;
        }
    }
}

}  // namespace

std::string DefaultGraphColor(int n) { return n >= 1 && n <= 16 ? kDefaultColors[n - 1] : std::string(); }

GraphPreferences GraphPreferences::Defaults(bool forGraph) {
    GraphPreferences p;
    for (int i = 0; i < 16; ++i) p.colors[static_cast<std::size_t>(i)] = kDefaultColors[i];
    p.fontSize = forGraph ? 12 : 8;
    return p;
}

GraphPreferences GraphPreferences::Read(const std::string& iniFile, bool forGraph) {
    GraphPreferences p = Defaults(forGraph);
    IniFile ini(iniFile);
    for (int n = 1; n <= 16; ++n) {
        std::string& c = p.colors[static_cast<std::size_t>(n - 1)];
        c = Trimmed(ini.Fetch(kPreferencesSection, ColKey(n), c)).substr(0, 20);
    }
    p.fontName = ini.Fetch(kPreferencesSection, "FontName", p.fontName).substr(0, 20);
    p.fontSize = ToInt(ini.Fetch(kPreferencesSection, "FontSize", std::to_string(p.fontSize)), p.fontSize);
    p.fontColor = ToInt(ini.Fetch(kPreferencesSection, "FontColor", std::to_string(p.fontColor)), p.fontColor);
    p.fontStyle = ToInt(ini.Fetch(kPreferencesSection, "FontStyle", std::to_string(p.fontStyle)), p.fontStyle);
    return p;
}

void GraphPreferences::Write(const std::string& iniFile) const {
    IniFile ini(iniFile);
    for (int n = 1; n <= 16; ++n) ini.Update(kPreferencesSection, ColKey(n), colors[static_cast<std::size_t>(n - 1)]);
    ini.Update(kPreferencesSection, "FontName", fontName);
    ini.Update(kPreferencesSection, "FontSize", std::to_string(fontSize));
    ini.Update(kPreferencesSection, "FontColor", std::to_string(fontColor));
    ini.Update(kPreferencesSection, "FontStyle", std::to_string(fontStyle));
}

std::string FontStyleText(int style) {
    switch (style) {
        case 400: return "Regular";
        case 700: return "Bold";
        case 4096: return "Italic";
        case 4796: return "Bold Italic";
        case 8592: return "Regular Underline";
        case 8892: return "Bold Underline";
        case 12288: return "Italic Underline";
        case 12988: return "Bold Italic Underline";
        default: break;
    }
    // Any other value (a weight the font window gives, such as 500 or 600)
    // is read from its bits rather than keeping a stale text.
    const int weight = style & 4095;
    const bool italic = (style & 4096) != 0, underline = (style & 8192) != 0;
    std::string t = weight >= 600 ? "Bold" : (italic ? "" : "Regular");
    if (italic) t += t.empty() ? "Italic" : " Italic";
    if (underline) t += " Underline";
    return t;
}

std::string FontSampleText(std::string_view name, int size, int style) {
    return Trimmed(name) + std::to_string(size) + " pt " + FontStyleText(style);
}

Swatch SwatchOf(std::string_view name) {
    Swatch s;
    const std::string n = Trimmed(name);
    if (!IsColorName(n) || n == "None") return s;
    s.known = true;
    s.background = s.selectedBackground = ColorValue(n);
    s.text = n == "Black" ? 0xFFFFFF : 0;
    s.selectedText = n == "White" ? 0 : 0xFFFFFF;
    return s;
}

void MonthNames(int month, std::string& buffer) {
    static const char* const names[12] = {" 1 =January", " 2 =February", " 3 =March",    " 4 =April",
                                          " 5 =May",     " 6 =June",     " 7 =July",     " 8 =August",
                                          " 9 =September", "10 =October", "11 =November", "12 =December"};
    if (month >= 1 && month <= 12) Store(buffer, names[month - 1]);
}

void WeekdayNames(int day, std::string& buffer) {
    static const char* const names[7] = {" 1 =Sunday",   " 2 =Monday", " 3 =Tuesday", " 4 =Wednesday",
                                         " 5 =Thursday", " 6 =Friday", " 7 =Saturday"};
    if (day >= 1 && day <= 7) Store(buffer, names[day - 1]);
}

void SixHourBandNames(std::string& buffer) {
    static const Band bands[] = {{"00", "05", "00:00-05:59"},
                                 {"06", "11", "06:00-11:59"},
                                 {"12", "17", "12:00-17:59"},
                                 {"18", "23", "18:00-23:59"}};
    BandNames(buffer, bands);
}

void FourHourBandNames(std::string& buffer) {
    static const Band bands[] = {{"00", "03", "00:00-03:59"}, {"04", "07", "04:00-07:59"},
                                 {"08", "11", "08:00-11:59"}, {"12", "15", "12:00-15:59"},
                                 {"16", "19", "16:00-19:59"}, {"20", "23", "20:00-23:59"}};
    BandNames(buffer, bands);
}

}  // namespace kr::xplore
