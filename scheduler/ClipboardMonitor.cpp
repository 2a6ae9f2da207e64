#include "scheduler/ClipboardMonitor.h"

#include <QChar>
#include <QList>
#include <QString>

#include <atomic>

#include "dictionary/Dictionary.h"
#include "dictionary/OpenTable.h"
#include "dictionary/OrganiserTables.h"
#include "dictionary/Settings.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/ErrorCodes.h"

namespace kr {

namespace {

std::atomic<bool> g_rekeyed{false};

bool IsBlank(std::string_view text) {
    for (unsigned char c : text)
        if (c > ' ') return false;
    return true;
}

std::string Trimmed(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
    return std::string(text.substr(b, e - b));
}

}  // namespace

std::string CutUtf8(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) return std::string(text);
    std::size_t n = bytes;
    // Back off continuation bytes (10xxxxxx) to the start of the character.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return std::string(text.substr(0, n));
}

std::string ClipboardEntryKey(std::string_view contents) {
    const QString text = QString::fromUtf8(contents.data(), static_cast<qsizetype>(contents.size()));
    std::string key;
    for (const uint c32 : text.toUcs4()) {
        const char32_t c = static_cast<char32_t>(c32);
        if (!QChar::isLetterOrNumber(c) && !QChar::isMark(c)) continue;
        const char32_t upper = QChar::toUpper(c);
        const QByteArray bytes = QString::fromUcs4(&upper, 1).toUtf8();
        if (key.size() + static_cast<std::size_t>(bytes.size()) > kClipKeyBytes) break;
        key.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    if (key.empty()) key = CutUtf8(Trimmed(contents), kClipKeyBytes);
    return key;
}

void ResetClipboardRekey() { g_rekeyed = false; }

int RekeyClipboardEntries() {
    if (g_rekeyed.load()) return 0;
    if (GetSetting(kClipKeyRuleSetting) == kClipKeyRule) {
        g_rekeyed = true;
        return 0;
    }
    data::Table& t = data::TableOf(ClipboardDef());
    if (OpenTable(t) != kNoError) return 0;
    int rekeyed = 0;
    const bool ownTransaction = !data::InTransaction() && data::Logout({&t}) == kNoError;
    ClipboardRecord& CLI = t.Rec<ClipboardRecord>();
    t.Set(nullptr);  // file order: a changed key does not move the record
    while (t.Next() == kNoError) {
        const std::string key = ClipboardEntryKey(CLI.ClipContents);
        if (key == CLI.ClipHashKey.str()) continue;
        const FString<120> old = CLI.ClipHashKey;
        CLI.ClipHashKey = key;
        // Another entry holding the new key: this one keeps its old key.
        if (t.Put() == kNoError)
            ++rekeyed;
        else
            CLI.ClipHashKey = old;
    }
    if (ownTransaction) data::Commit();
    t.Close();
    PutSetting(kClipKeyRuleSetting, kClipKeyRule);
    g_rekeyed = true;
    return rekeyed;
}

void ClipboardMonitor::Offer(std::string text, std::string foregroundTitle) {
    std::lock_guard<std::mutex> l(m_);
    pending_ = Offered{std::move(text), std::move(foregroundTitle)};
}

void ClipboardMonitor::SaveClipboard(int32_t maxEntries) {
    Offered offered;
    {
        std::lock_guard<std::mutex> l(m_);
        if (!pending_) return;
        offered = std::move(*pending_);
        pending_.reset();
    }
    const std::string text = CutUtf8(offered.text, kClipContentsBytes);
    // 1. Nothing new, or nothing but blanks.
    if (text == lastSeen_) return;
    if (IsBlank(text)) return;

    data::Table& t = data::TableOf(ClipboardDef());
    if (OpenTable(t) != kNoError) return;
    // 2. Room for the new entry.
    TrimClipboard(maxEntries, text);
    // 3. and 4. The entry.
    ClipboardRecord& CLI = t.Rec<ClipboardRecord>();
    CLI = ClipboardRecord();
    CLI.ClipContents = text;
    CLI.ClipHashKey = ClipboardEntryKey(text);
    CLI.ClipDate = Today();
    CLI.ClipTime = ClockTime();
    const std::string title = CutUtf8(Trimmed(offered.title), kClipCategoryBytes);
    CLI.Category = title.empty() ? std::string(kDefaultClipCategory) : title;
    // 5. A text whose key is stored already is refused by the unique key,
    // silently, as is any other failed write: the monitor goes on.
    if (t.Add() == kNoError) ++stored_;
    lastSeen_ = text;
    t.Close();
}

void ClipboardMonitor::TrimClipboard(int32_t maxEntries, const std::string& current) {
    if (maxEntries <= 0) return;
    data::Table& t = data::TableOf(ClipboardDef());
    if (t.Records() <= maxEntries) return;
    ClipboardRecord& CLI = t.Rec<ClipboardRecord>();
    // Entries not kept first, oldest first.
    t.Set(ClipboardDef().key("CLI:KeyClipKeep"));
    for (int32_t read = 0; read < maxEntries; ++read) {
        if (t.Next() != kNoError) break;
        if (CLI.ClipKeep != 0) break;  // the rest are all kept
        if (CLI.ClipContents == current) continue;
        if (t.Delete() != kNoError) break;
        if (t.Records() <= maxEntries) break;
    }
}

}  // namespace kr
