#include "scheduler/SendKeys.h"

#include <QList>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <optional>

#include "dictionary/EventLog.h"
#include "platform/desktop/VirtualKeys.h"
#include "platform/runtime/Strings.h"
#include "scheduler/TranslateValues.h"

namespace kr {

namespace {

std::u32string ToUtf32(std::string_view s) {
    const QList<uint> ucs = QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).toUcs4();
    return std::u32string(ucs.begin(), ucs.end());
}

std::string ToUtf8(std::u32string_view s) {
    return QString::fromUcs4(s.data(), static_cast<qsizetype>(s.size())).toStdString();
}

bool Blank(std::u32string_view s) {
    return std::all_of(s.begin(), s.end(), [](char32_t c) { return c == U' '; });
}

struct NamedKey {
    const char* name;
    int vk;
};

constexpr NamedKey kNames[] = {
    {"AST", 106},         {"PLUS", 107},       {"MINUS", 109},        {"DECIMAL", 110},   {"SLASH", 111},
    {"BS", 8},            {"TAB", 9},          {"ENTER", 13},         {"PAUSE", 19},      {"CAPSLOCK", 20},
    {"CAPS", 20},         {"ESC", 27},         {"SPACE", 32},         {"PGUP", 33},       {"PGDN", 34},
    {"END", 35},          {"HOME", 36},        {"LEFT", 37},          {"UP", 38},         {"RIGHT", 39},
    {"DOWN", 40},         {"PRINT", 44},       {"INSERT", 45},        {"DELETE", 46},     {"MOUSE", 1},
    {"MOUSELEFT", 1},     {"MOUSERIGHT", 2},   {"MOUSECENTER", 3},    {"MOUSELEFT2", 5},  {"MOUSERIGHT2", 6},
    {"MOUSECENTER2", 7},
};

// The key of a token after its modifiers: nullopt when the token names
// nothing, 0 for modifiers alone.
std::optional<int> Parse(std::string_view t) {
    if (t.empty()) return 0;
    auto with = [&](std::size_t cut, int bit) -> std::optional<int> {
        std::optional<int> rest = Parse(t.substr(std::min(cut, t.size())));
        if (!rest) return std::nullopt;
        return *rest | bit;
    };
    switch (t.front()) {
        case '+': return with(1, kKeyShift);
        case '^': return with(1, kKeyCtrl);
        case '%': return with(1, kKeyAlt);
        case '-': return Parse(t.substr(1));
        default: break;
    }
    const std::string head = Upper(t.substr(0, 3));
    if (head == "CTR") return with(4, kKeyCtrl);
    if (head == "ALT") return with(3, kKeyAlt);
    if (head == "SHI") return with(5, kKeyShift);
    std::string name(t);
    if (int at = InStringNoCase("KEY", name); at > 0) name.erase(static_cast<std::size_t>(at - 1), 3);
    if (ClipRight(name).empty()) return 0;
    const int vk = KeyNameToCode(name);
    if (!vk) return std::nullopt;
    return vk;
}

bool IsMouse(int vk) { return (vk >= 1 && vk <= 3) || (vk >= 5 && vk <= 7); }

void NoteMissing(std::u32string* missing, char32_t c) {
    if (missing->find(c) == std::u32string::npos) missing->push_back(c);
}

}  // namespace

int KeyNameToCode(std::string_view name) {
    const std::string n = Upper(ClipRight(name));
    if (n.size() == 1 && ((n[0] >= 'A' && n[0] <= 'Z') || (n[0] >= '0' && n[0] <= '9'))) return n[0];
    auto number = [&](std::string_view prefix, int low, int high) -> int {
        if (n.size() <= prefix.size() || n.compare(0, prefix.size(), prefix) != 0) return -1;
        const std::string digits = n.substr(prefix.size());
        if (digits.size() > 2 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return -1;
        if (digits.size() == 2 && digits[0] == '0') return -1;
        const int v = std::stoi(digits);
        return v >= low && v <= high ? v : -1;
    };
    if (int f = number("F", 1, 12); f > 0) return 111 + f;
    if (int pad = number("PAD", 0, 9); pad >= 0) return 96 + pad;
    for (const NamedKey& k : kNames)
        if (n == k.name) return k.vk;
    return 0;
}

int ParseKeyToken(std::string_view token) { return Parse(token).value_or(0); }

void PressModifiers(KeyboardOutput& out, int code, bool release) {
    static constexpr std::pair<int, int> kModifiers[] = {
        {kKeyShift, kVkShift}, {kKeyCtrl, kVkControl}, {kKeyAlt, kVkMenu}, {kKeyWin, kVkLeftWin}};
    for (auto [bit, vk] : kModifiers) {
        if (!(code & bit)) continue;
        if (release)
            out.KeyUp(vk);
        else
            out.KeyDown(vk);
    }
}

void PressKey(KeyboardOutput& out, int code) {
    const int vk = code & 0xFF;
    PressModifiers(out, code, false);
    if (IsMouse(vk)) {
        out.MouseClick(vk <= 3 ? vk : vk - 4, vk <= 3 ? 1 : 2);
    } else if (vk) {
        out.KeyDown(vk);
        out.KeyUp(vk);
    }
    PressModifiers(out, code, true);
}

std::u32string SendText(KeyboardOutput& out, std::string_view text) {
    std::u32string missing;
    const std::u32string chars = ToUtf32(text);
    if (chars.empty()) return missing;
    out.PrepareCharacters(chars);
    const bool caps = out.CapsLockOn();
    if (caps) {
        out.KeyDown(kVkCapital);
        out.KeyUp(kVkCapital);
    }
    for (std::size_t i = 0; i < chars.size(); ++i) {
        // A line end written CR LF is one Enter.
        if (chars[i] == U'\n' && i > 0 && chars[i - 1] == U'\r') continue;
        if (!out.TypeCharacter(chars[i])) NoteMissing(&missing, chars[i]);
    }
    if (caps) {
        out.KeyDown(kVkCapital);
        out.KeyUp(kVkCapital);
    }
    return missing;
}

std::u32string SendKeyItem(KeyboardOutput& out, std::string_view token) {
    if (const int code = ParseKeyToken(token)) {
        PressKey(out, code);
        return {};
    }
    const std::string value = ClipRight(TranslateVariable(token));
    if (value != token && !value.empty()) return SendText(out, value);
    return SendText(out, token);
}

KeystrokeCursor::KeystrokeCursor(std::string_view text, int burstSize)
    : text_(ToUtf32(text)), burst_(burstSize > 0 ? burstSize : kDefaultBurstSize) {}

bool KeystrokeCursor::AtEnd() const { return Blank(std::u32string_view(text_).substr(pos_)); }

KeystrokePiece KeystrokeCursor::Next() {
    KeystrokePiece piece;
    if (AtEnd()) return piece;
    const std::u32string_view rest = std::u32string_view(text_).substr(pos_);
    const std::size_t open = rest.find(U'[');
    if (open == 0) {
        ++pos_;  // the "[" itself
        const std::size_t close = text_.find(U']', pos_);
        if (close == std::u32string::npos) return piece;  // dropped; the rest is text
        piece.kind = KeystrokePiece::Kind::Key;
        piece.text = ToUtf8(std::u32string_view(text_).substr(pos_, close - pos_));
        pos_ = close + 1;
        return piece;
    }
    std::size_t count = open;
    if (open == std::u32string_view::npos) {
        // No token follows: the rest goes in one piece, without its
        // trailing blanks.
        count = rest.size();
        while (count > 0 && rest[count - 1] == U' ') --count;
    } else {
        // Text before a token goes at most a burst at a time.
        count = std::min<std::size_t>(count, static_cast<std::size_t>(burst_));
    }
    piece.kind = KeystrokePiece::Kind::Text;
    piece.text = ToUtf8(rest.substr(0, count));
    pos_ += count;
    return piece;
}

std::vector<KeystrokePiece> SegmentKeystrokes(std::string_view text, int burstSize) {
    std::vector<KeystrokePiece> out;
    KeystrokeCursor cursor(text, burstSize);
    while (!cursor.AtEnd()) out.push_back(cursor.Next());
    return out;
}

KeystrokeSender::KeystrokeSender(KeyboardOutput& out) : out_(out) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Step(); });
}

KeystrokeSender::~KeystrokeSender() {
    timer_.stop();
    if (out_.HasTemporaryKeys()) out_.RestoreTemporaryKeys();
}

void KeystrokeSender::Start(std::string_view text, int delayHundredths, int burstSize, std::function<void()> done) {
    Stop();
    // The buffer holds kKeystrokeBufferSize characters; a longer text is cut
    // on a character boundary.
    std::u32string chars = ToUtf32(text);
    if (chars.size() > kKeystrokeBufferSize) chars.resize(kKeystrokeBufferSize);
    cursor_ = std::make_unique<KeystrokeCursor>(ToUtf8(chars), burstSize);
    done_ = std::move(done);
    missing_.clear();
    intervalMs_ = std::max(delayHundredths, 0) * 10;
    iconStep_ = 0;
    pieces_ = 0;
    restoring_ = false;
    running_ = true;
    out_.BeginSend();
    timer_.start(cursor_->AtEnd() ? 0 : intervalMs_);
}

void KeystrokeSender::Stop() {
    timer_.stop();
    if (running_ && out_.HasTemporaryKeys()) out_.RestoreTemporaryKeys();
    running_ = false;
    done_ = nullptr;
}

void KeystrokeSender::Step() {
    if (!running_) return;
    // Keys mapped for missing characters stay mapped until the pause after
    // the last piece, so the receiving program reads the typed keys with that
    // map; a character met again reuses its key. They are not put back
    // between pieces: a program handed a map put back and a new one just
    // before a key may still read that key with the old map.
    if (restoring_ || cursor_->AtEnd()) {
        if (out_.HasTemporaryKeys()) out_.RestoreTemporaryKeys();
        Finish();
        return;
    }
    if (trayIcon_) trayIcon_(kBusyKeyIcons[iconStep_]);
    iconStep_ = (iconStep_ + 1) % 8;
    const KeystrokePiece piece = cursor_->Next();
    std::u32string missing;
    if (piece.kind == KeystrokePiece::Kind::Text)
        missing = SendText(out_, piece.text);
    else if (piece.kind == KeystrokePiece::Kind::Key)
        missing = SendKeyItem(out_, piece.text);
    for (char32_t c : missing) NoteMissing(&missing_, c);
    out_.Flush();
    ++pieces_;
    if (cursor_->AtEnd()) {
        if (!out_.HasTemporaryKeys()) {
            Finish();
            return;
        }
        restoring_ = true;
    }
    timer_.start(intervalMs_);
}

void KeystrokeSender::Finish() {
    running_ = false;
    if (!missing_.empty()) {
        std::string codes;
        for (char32_t c : missing_) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "%sU+%04X", codes.empty() ? "" : ", ", static_cast<unsigned>(c));
            codes += buf;
        }
        LogEvent("Send Keys", "Characters that no key can type were skipped: " + codes);
    }
    auto done = std::move(done_);
    done_ = nullptr;
    if (done) done();
}

}  // namespace kr
