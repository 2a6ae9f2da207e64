#include "scheduler/ClipboardMonitor.h"

#include <QChar>
#include <QList>
#include <QString>

#include <algorithm>
#include <atomic>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/OpenTable.h"
#include "dictionary/OrganiserTables.h"
#include "dictionary/Settings.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/ErrorCodes.h"

namespace kr {

namespace {

std::atomic<bool> g_rekeyed{false};
// A re-key process exists and has not ended.
std::atomic<bool> g_rekeying{false};

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

void ResetClipboardRekey() {
    g_rekeyed = false;
    g_rekeying = false;
}

ClipboardRekeyProcess::ClipboardRekeyProcess(int total)
    : RecordProcess(total, [this] { return Rekey(); }) {
    beginBatch = [this] { BeginBatch(); };
    endBatch = [this] { EndBatch(); };
    onEnd = [this](ProcessState state) {
        // A batch that did not commit left its entries on the old keys: the
        // rule is not recorded, so the next start re-keys them.
        const bool done = state == ProcessState::Finished && !commitFailed_;
        if (done) PutSetting(kClipKeyRuleSetting, kClipKeyRule);
        g_rekeyed = done;
        g_rekeying = false;
    };
}

// Each batch opens the table in a write transaction of its own and goes on
// after the last record it read; should that record be gone, it starts
// again from the first (a record re-keyed already is passed over).
void ClipboardRekeyProcess::BeginBatch() {
    data::Table& t = data::TableOf(ClipboardDef());
    open_ = OpenTable(t) == kNoError;
    if (!open_) return;
    ownTransaction_ = !data::InTransaction() && data::Logout({&t}) == kNoError;
    if (last_ == 0 || t.SetPointer(last_) != kNoError || t.Next() != kNoError) t.Set(nullptr);
}

void ClipboardRekeyProcess::EndBatch() {
    if (!open_) return;
    if (ownTransaction_) {
        if (int e = data::Commit(); e != kNoError) {
            if (!commitFailed_)
                LogEvent("Clipboard", "The clipboard entries could not be re-keyed (" + data::LastErrorText() +
                                          "); they are re-keyed at the next start.");
            commitFailed_ = true;
            rekeyed_ -= batchRekeyed_;
        }
    }
    batchRekeyed_ = 0;
    ownTransaction_ = false;
    data::TableOf(ClipboardDef()).Close();
}

RecordStep ClipboardRekeyProcess::Rekey() {
    if (!open_) return RecordStep::Fatal("The clipboard entries cannot be read.");
    data::Table& t = data::TableOf(ClipboardDef());
    if (t.Next() != kNoError) return RecordStep::End();
    last_ = t.Pointer();
    ClipboardRecord& CLI = t.Rec<ClipboardRecord>();
    const std::string key = ClipboardEntryKey(CLI.ClipContents);
    if (key == CLI.ClipHashKey.str()) return RecordStep::Done();
    const FString<120> old = CLI.ClipHashKey;
    CLI.ClipHashKey = key;
    // Another entry holding the new key: this one keeps its old key.
    if (t.Put() == kNoError)
        ++rekeyed_, ++batchRekeyed_;
    else
        CLI.ClipHashKey = old;
    return RecordStep::Done();
}

std::shared_ptr<ClipboardRekeyProcess> StartClipboardRekey() {
    if (g_rekeyed.load() || g_rekeying.load()) return nullptr;
    if (GetSetting(kClipKeyRuleSetting) == kClipKeyRule) {
        g_rekeyed = true;
        return nullptr;
    }
    data::Table& t = data::TableOf(ClipboardDef());
    if (OpenTable(t) != kNoError) return nullptr;
    const int64_t total = t.Records();
    t.Close();
    if (g_rekeying.exchange(true)) return nullptr;
    auto process = std::make_shared<ClipboardRekeyProcess>(static_cast<int>(std::max<int64_t>(total, 0)));
    process->SetBatchSize(kClipboardRekeyBatch);
    return process;
}

bool ClipboardRekeyRunning() { return g_rekeying.load(); }

int RekeyClipboardEntries() {
    std::shared_ptr<ClipboardRekeyProcess> process = StartClipboardRekey();
    if (!process) return 0;
    RunToEnd(*process);
    return process->rekeyed();
}

void ClipboardMonitor::Offer(std::string text, std::string foregroundTitle) {
    std::lock_guard<std::mutex> l(m_);
    pending_ = Offered{std::move(text), std::move(foregroundTitle)};
}

void ClipboardMonitor::SaveClipboard(int32_t maxEntries) {
    // While the entries are re-keyed a new one could take a key an old one
    // is about to get: the offer waits for the next tick after the re-key.
    if (ClipboardRekeyRunning()) return;
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
