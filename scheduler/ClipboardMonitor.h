// The clipboard monitor of the main program: every new text that passes
// through the clipboard becomes an entry of the Clipboard table, keyed by
// ClipboardEntryKey, with the title of the window that was in front as its
// category. Before an entry is added the table is trimmed to the configured
// number of entries; saved entries are never trimmed.
//
// The monitor itself never talks to the display: the window side watches the
// clipboard's change signal, reads the new text there (outside the timer
// tick) and hands it over with Offer; the tick's SaveClipboard stores what
// was offered since the last tick. Everything but Offer runs on thread 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/runtime/RecordProcess.h"

namespace kr {

// Sizes of the Clipboard fields, in bytes of UTF-8.
inline constexpr std::size_t kClipKeyBytes = 120;
inline constexpr std::size_t kClipContentsBytes = 8192;
inline constexpr std::size_t kClipCategoryBytes = 20;
inline constexpr const char* kDefaultClipCategory = "General";
// The Configuration name that records the key rule the stored entries were
// keyed by ("2": letters and digits of any script).
inline constexpr const char* kClipKeyRuleSetting = "ClipKeyRule";
inline constexpr const char* kClipKeyRule = "2";

// The text cut to at most `bytes` bytes, never inside a UTF-8 character.
std::string CutUtf8(std::string_view text, std::size_t bytes);

// The key of a clipboard entry (CLI:ClipHashKey): the letters, digits and
// combining marks of any script, upper-cased, in their order, every other
// character left out, up to 120 bytes; a text holding none of them is keyed
// by its whole text without leading and trailing blanks. Two texts that
// differ only in case, blanks or punctuation share a key and so are one
// entry. The monitor and the clipboard form both use it.
std::string ClipboardEntryKey(std::string_view contents);

// Gives the stored entries the key of ClipboardEntryKey once per data file
// (recorded in Configuration), so that a text copied again after an upgrade
// finds its entry. An entry whose new key another entry already holds keeps
// its old key. With tens of thousands of entries this takes a minute, so
// the frame steps it in batches between its timer's ticks, and the monitor
// stores nothing meanwhile (ClipboardRekeyRunning).
inline constexpr int kClipboardRekeyBatch = 200;
class ClipboardRekeyProcess : public RecordProcess {
public:
    explicit ClipboardRekeyProcess(int total);
    int rekeyed() const { return rekeyed_; }

private:
    void BeginBatch();
    void EndBatch();
    RecordStep Rekey();
    int64_t last_ = 0;  // POINTER() of the last record read
    bool open_ = false, ownTransaction_ = false, commitFailed_ = false;
    int rekeyed_ = 0, batchRekeyed_ = 0;
};
// The re-key to run, or nullptr when it is done for this data file or
// already running. Ending, it records the rule in Configuration.
std::shared_ptr<ClipboardRekeyProcess> StartClipboardRekey();
// True from StartClipboardRekey until its process has ended.
bool ClipboardRekeyRunning();
// The whole re-key at once (the clipboard windows, tests). Cheap after the
// first call of the process; 0 while the frame's re-key runs. Returns the
// number of entries re-keyed.
int RekeyClipboardEntries();
// Forgets that this process re-keyed (tests that make a new data file).
void ResetClipboardRekey();

class ClipboardMonitor {
public:
    // The newest clipboard text and the title of the window in front when it
    // changed. Any thread; the latest offer wins.
    void Offer(std::string text, std::string foregroundTitle);

    // One tick (thread 1): stores the text offered since the last tick, when
    // it differs from the last text seen and is not blank. maxEntries <= 0:
    // no limit.
    void SaveClipboard(int32_t maxEntries);

    // Deletes unsaved entries, oldest first, until the table holds at most
    // maxEntries; the entry holding `current` is kept. The Clipboard table
    // must be open.
    static void TrimClipboard(int32_t maxEntries, const std::string& current);

    // The last clipboard text seen (what the next change is compared with).
    const std::string& lastSeen() const { return lastSeen_; }
    // Entries stored since the program started.
    int64_t stored() const { return stored_; }

private:
    struct Offered {
        std::string text;
        std::string title;
    };
    std::mutex m_;
    std::optional<Offered> pending_;
    std::string lastSeen_;
    int64_t stored_ = 0;
};

}  // namespace kr
