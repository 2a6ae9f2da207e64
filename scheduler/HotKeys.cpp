#include "scheduler/HotKeys.h"

#include <algorithm>
#include <cctype>

#include "dictionary/Dictionary.h"

namespace kr {

namespace {

std::string UpperClipped(std::string_view s) {
    std::string out(s);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

int32_t Bits(HotKeyModifier m) { return static_cast<int32_t>(m); }

int32_t ParseUpper(const std::string& t, const std::vector<HotKeyName>& names) {
    if (t.empty()) return 0;
    switch (t[0]) {
        case '+': return ParseUpper(t.substr(1), names) | Bits(HotKeyModifier::Shift);
        case '^': return ParseUpper(t.substr(1), names) | Bits(HotKeyModifier::Ctrl);
        case '%': return ParseUpper(t.substr(1), names) | Bits(HotKeyModifier::Alt);
        case '*': return ParseUpper(t.substr(1), names) | Bits(HotKeyModifier::Win);
        case '-': return ParseUpper(t.substr(1), names);
        default: break;
    }
    auto rest = [&](std::size_t n) { return t.size() > n ? t.substr(n) : std::string(); };
    if (t.rfind("SHI", 0) == 0) return ParseUpper(rest(5), names) | Bits(HotKeyModifier::Shift);
    if (t.rfind("CTR", 0) == 0) return ParseUpper(rest(4), names) | Bits(HotKeyModifier::Ctrl);
    if (t.rfind("ALT", 0) == 0) return ParseUpper(rest(3), names) | Bits(HotKeyModifier::Alt);
    if (t.rfind("WIN", 0) == 0) return ParseUpper(rest(3), names) | Bits(HotKeyModifier::Win);
    std::string name = t;
    if (const std::size_t at = name.find("KEY"); at != std::string::npos) name.erase(at, 3);
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        if (UpperClipped(it->name) == name) return it->virtualKey;
    return 0;
}

std::vector<HotKeyName> BuildNames() {
    std::vector<HotKeyName> n = {{"A", 65},         {"Ast", 106},     {"B", 66},          {"Bs", 8},
                                 {"Backspace", 8},  {"CapsLock", 20}, {"Caps", 20},       {"C", 67},
                                 {"Decimal", 110},  {"Del", 46},      {"Delete", 46},     {"D", 68},
                                 {"Down", 40},      {"E", 69},        {"End", 35},        {"Enter", 13},
                                 {"Esc", 27},       {"F10", 121},     {"F11", 122},       {"F12", 123}};
    for (int i = 1; i <= 9; ++i) n.push_back({"F" + std::to_string(i), 111 + i});
    const std::vector<HotKeyName> more = {
        {"F", 70},           {"G", 71},           {"H", 72},          {"Home", 36},       {"I", 73},
        {"Ins", 45},         {"Insert", 45},      {"J", 74},          {"K", 75},          {"Left", 37},
        {"L", 76},           {"Minus", 109},      {"M", 77},          {"MouseCenter", 3}, {"MouseCenter2", 7},
        {"Mouse", 1},        {"MouseLeft", 1},    {"MouseLeft2", 5},  {"MouseRight", 2},  {"MouseRight2", 6},
        {"N", 78},           {"O", 79},           {"Pause", 19},      {"PgDn", 34},       {"PgUp", 33},
        {"P", 80},           {"Plus", 107},       {"Print", 44},      {"Q", 81},          {"Right", 39},
        {"R", 82},           {"S", 83},           {"Slash", 111},     {"Space", 32},      {"Tab", 9},
        {"T", 84},           {"U", 85},           {"Up", 38},         {"V", 86},          {"W", 87},
        {"X", 88},           {"Y", 89},           {"Z", 90}};
    n.insert(n.end(), more.begin(), more.end());
    for (int i = 0; i <= 9; ++i) n.push_back({std::to_string(i), 48 + i});
    for (int i = 0; i <= 9; ++i) n.push_back({"Pad" + std::to_string(i), 96 + i});
    return n;
}

}  // namespace

const std::vector<HotKeyName>& HotKeyNames() {
    static const std::vector<HotKeyName> names = BuildNames();
    return names;
}

HotKeyCode ParseKey(std::string_view text, const std::vector<HotKeyName>& names) {
    return HotKeyCode(ParseUpper(UpperClipped(text), names));
}

HotKeyManager::~HotKeyManager() = default;

void HotKeyManager::Init(HotKeyGrabber* grabber, std::function<void()> pressed) {
    KEYQ.clear();
    PRESSEDKEYQ.clear();
    FAILEDKEYQ.clear();
    LoadKeyNames();
    grabber_ = grabber;
    pressed_ = std::move(pressed);
}

void HotKeyManager::LoadKeyNames() { TRNQ = HotKeyNames(); }
void HotKeyManager::HandleHotKey(const std::string&, int) {}
void HotKeyManager::HandleInvalidKey(const std::string&) {}

void HotKeyManager::Add(std::string_view text) {
    const HotKeyCode code = ParseKey(text, TRNQ);
    std::string stored(text.substr(0, kHotKeyRowTextSize));
    if (code.IsNone()) {
        HandleInvalidKey(stored);
        return;
    }
    UnregisterAll();
    auto at = std::lower_bound(KEYQ.begin(), KEYQ.end(), code,
                               [](const HotKeyRow& r, HotKeyCode c) { return r.code < c; });
    if (at == KEYQ.end() || at->code != code) KEYQ.insert(at, HotKeyRow{code, std::move(stored)});
    RegisterAll();
}

void HotKeyManager::RegisterAll() {
    if (KEYQ.empty() || !ACTIVE) return;
    FAILEDKEYQ.clear();
    for (std::size_t i = 0; i < KEYQ.size(); ++i)
        if (!grabber_ || !grabber_->Grab(static_cast<int>(i + 1), KEYQ[i].code)) FAILEDKEYQ.push_back(KEYQ[i]);
    KEYSREGISTERED = 1;
}

void HotKeyManager::UnregisterAll() {
    if (KEYQ.empty() || !ACTIVE) return;
    for (std::size_t i = 0; i < KEYQ.size(); ++i)
        if (!grabber_ || !grabber_->Ungrab(static_cast<int>(i + 1), KEYQ[i].code)) FAILEDKEYQ.push_back(KEYQ[i]);
    KEYSREGISTERED = 0;
}

void HotKeyManager::Suspend() {
    UnregisterAll();
    ACTIVE = 0;
}

void HotKeyManager::Resume() {
    ACTIVE = 1;
    RegisterAll();
}

void HotKeyManager::Kill() {
    Suspend();
    KEYQ.clear();
    PRESSEDKEYQ.clear();
    FAILEDKEYQ.clear();
    grabber_ = nullptr;
}

void HotKeyManager::Reload(const std::vector<std::string>& activeKeys) {
    // Whatever was grabbed goes first, so no key outlives its stored row.
    const uint8_t active = ACTIVE;
    ACTIVE = 1;
    UnregisterAll();
    ACTIVE = 0;
    KEYQ.clear();
    FAILEDKEYQ.clear();
    Add(kHotKeyRestore);
    for (const std::string& k : activeKeys) Add(k);
    ACTIVE = active;
    if (ACTIVE) RegisterAll();
}

void HotKeyManager::Pressed(int id) {
    HotKeyRow row;
    if (id >= 1 && static_cast<std::size_t>(id) <= KEYQ.size())
        row = KEYQ[static_cast<std::size_t>(id) - 1];
    else
        row = HotKeyRow{HotKeyCode(0), std::to_string(id)};
    PRESSEDKEYQ.push_back(row);
    HandleHotKey(row.text, id);
    if (pressed_) pressed_();
}

std::optional<HotKeyRow> HotKeyManager::TakePressed() {
    if (PRESSEDKEYQ.empty()) return std::nullopt;
    HotKeyRow r = PRESSEDKEYQ.front();
    PRESSEDKEYQ.erase(PRESSEDKEYQ.begin());
    return r;
}

std::vector<std::string> ActiveStoredHotKeys() {
    std::vector<std::string> keys;
    auto& f = SysHotKeys_File();
    if (f.Open() != data::kLevelBenign) return keys;
    if (f.UseFile() == data::kLevelBenign && f.SetOrder(nullptr) == data::kLevelBenign)
        while (f.TryNext() == data::kLevelBenign)
            if (f.rec().Active) keys.push_back(f.rec().HotKey.str());
    f.Close();
    return keys;
}

}  // namespace kr
