// The settings store: named text values in the table Configuration, seeded
// once from the program INI's "Settings" section, and the option globals that
// LoadSettings fills from them.
//
// The option globals are written on thread 1 (LoadSettings, the Options
// window) and read by every thread. Numbers and flags are atomics; texts are
// OptionText, which hands out copies under a lock, so a reader never sees a
// text half-written.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/FixedString.h"

namespace kr {

// A STRING(N) global that any thread may read while thread 1 writes it.
template <std::size_t N>
class OptionText {
public:
    OptionText() = default;
    OptionText(const char* v) : v_(v) {}
    OptionText(const OptionText&) = delete;
    OptionText& operator=(const OptionText&) = delete;

    std::string get() const {
        std::lock_guard<std::mutex> l(m_);
        return v_.str();
    }
    operator std::string() const { return get(); }
    OptionText& operator=(std::string_view v) {
        std::lock_guard<std::mutex> l(m_);
        v_ = v;
        return *this;
    }
    OptionText& operator=(const char* v) { return *this = std::string_view(v ? v : ""); }
    OptionText& operator=(const std::string& v) { return *this = std::string_view(v); }
    bool empty() const {
        std::lock_guard<std::mutex> l(m_);
        return v_.empty();
    }
    // The value blank-padded to its width.
    std::string padded() const {
        std::lock_guard<std::mutex> l(m_);
        return v_.padded();
    }
    static constexpr std::size_t kSize = N;

private:
    mutable std::mutex m_;
    FString<N> v_;
};

using OptionFlag = std::atomic<uint8_t>;  // BYTE
using OptionLong = std::atomic<int32_t>;  // LONG

// The program-wide options, under the names the rest of the program uses.
// The comment after each gives its name in Configuration.
struct OptionGlobals {
    OptionFlag SysLock{0};                        // SysLock
    OptionText<32> SysPwd;                        // SysPwd
    OptionFlag LogExitCodes{0};                   // LogExitCodes
    OptionLong SkipIfDaysPassed{0};               // SkipIfDaysPassed
    OptionLong HistoryExpires{0};                 // HistoryExpires
    OptionFlag RemoveUncompleted{0};              // RemoveUncompleted
    OptionFlag StartUpSchedule{1};                // StartUpSchedule (stored inverted)
    OptionFlag StartUpTodo{0};                    // StartUpToDo
    OptionFlag StartupClipboardSaver{0};          // StartUpClipboardSaver
    OptionFlag StartupContacts{0};                // StartUpContacts
    OptionFlag StartUpActive{1};                  // StartUpActive (stored inverted; "/I" clears it)
    OptionFlag NewProc16{0};                      // NewProc16
    OptionFlag GlobalActiveOnly{0};               // ActiveOnly
    OptionFlag MinimizeOnCloseRequest{0};         // MinimizeOnCloseRequest
    OptionFlag StartUpMinimized{0};               // StartUpMinimized
    OptionFlag FullSchedule{0};                   // FullSchedule
    OptionFlag HideToolbar{0};                    // HideToolbar
    OptionFlag NoTray{0};                         // NoTray
    OptionFlag ReportIncludeFutureOccurances{0};  // RIFO
    OptionFlag MultiUser{0};                      // MultiUser
    OptionFlag MonitorClipboard{0};               // MonitorClipboard
    OptionFlag UseExternalMessage{1};             // UseKRMsg
    OptionFlag UseModalMessage{0};                // UseModalMessage
    OptionLong RepeatAlarmInterval{0};            // RepeatAlarmInterval
    OptionLong SnoozeInterval{0};                 // SnoozeInterval
    OptionLong MaxAlarmTime{0};                   // MaxAlarmTime
    OptionFlag GlobalUseLog{0};                   // LogEvents
    OptionFlag ExclHidden{0};                     // ExclHidden
    OptionFlag SaveScripts{0};                    // SaveScripts
    OptionFlag TranslateFilenames{0};             // TranslateFilenames
    OptionText<30> UserID;                        // UserID
    OptionFlag MaximizeOnRun{0};                  // MaximizeOnRun
    OptionFlag DebugMode{0};                      // kr98.INI [Debug] Debug, not stored
    OptionLong GlobalDelay{25};                   // ScriptingDelay, at least 25
    OptionFlag BurstSize{7};                      // BurstSize, 0 becomes 7
    OptionText<6> GlobalDateFormat{"d3"};         // DateFormat
    OptionFlag UseWinMessage{0};                  // UseWinMessage
    OptionText<255> Email_Sender;                 // Sender
    OptionText<255> Email_SenderName;             // SenderName
    OptionText<255> Email_Host;                   // Host
    OptionText<20> Email_Organization;            // Org
    OptionText<255> News_Sender;                  // NSender
    OptionText<255> News_SenderName;              // NSenderName
    OptionText<255> News_Host;                    // NHost
    OptionText<255> News_Organization;            // NOrg
    OptionText<10> CM_Mode{"Normal"};             // CM:Mode
    OptionFlag CM_OnTop{1};                       // CM:OnTop
    OptionFlag CM_UseEx{0};                       // CM:UseEx
    OptionLong MaxLogSize{0};                     // MaxLogSize

    // Not loaded from Configuration.
    OptionText<40> UserName;                      // UserID when MultiUser is on, else blank
    OptionText<128> ININame{"kr98.INI"};          // the program INI (no folder: the data folder)
    OptionLong MaxClipboardEntries{50};           // MaxClipboardEntries (50 when not stored)
};

// The program's one set of options.
OptionGlobals& Options();
// Puts every option back to its value at program start (tests).
void ResetOptions();

// GetSetting: the stored value of a named setting (at most 255 characters).
// A name that Configuration does not hold is read from section "Settings" of
// iniFile (with `defaultValue` as the INI default) and, when that is not
// blank, stored; an empty iniFile means no INI: the default is taken as the
// INI's answer. A read error other than "not found" shows "Error retrieving
// configuration information code ..." and gives an empty value.
std::string GetSetting(std::string_view name, std::string_view defaultValue = {}, std::string_view iniFile = {});
// PutSetting: stores the value under the name (adds or replaces). The INI file
// is accepted and not used. A failure shows "Error writing configuration
// information.  Code ..." and stores nothing; a read error other than "not
// found" stores nothing either, so no other setting's record is written over.
// True when the value is stored (or was already).
bool PutSetting(std::string_view name, std::string_view value, std::string_view iniFile = {});
// PutSetting without the message: the data error, 0 when stored (or already
// so), and in `wrote` whether a record was written. For a caller that
// stores several and tells the user once.
int StoreSetting(std::string_view name, std::string_view value, bool* wrote = nullptr);
// A batch of settings writes that could not be begun or committed (another
// program held the data file past the busy timeout, a full disk), `code`
// the data error: one "Error writing configuration information.  Code "
// message with the cause, saying that none of the changes was saved (or,
// with `someStored`, that some were not). The option globals keep the new
// values for the rest of the run.
void ReportSettingsNotStored(int code, bool someStored = false);
// A stored text as a LONG: empty or not a number reads as 0.
int32_t SettingNumber(const std::string& text);

// Fills every option global from Configuration, in the store's order, then
// runs the settings-loaded hooks.
void LoadSettings();

// Sets UserID to the logged-on user's login name (cut to 30 characters);
// leaves it as it was when the name cannot be had.
void GetNetworkUserName();
// Where GetNetworkUserName takes the name from: the password database's
// login name of the real user by default; nullopt means the look-up failed.
// Tests install a source; an empty function restores the default.
using UserNameSource = std::function<std::optional<std::string>()>;
void SetNetworkUserNameSource(UserNameSource source);

// Run, in the order added, at the end of every LoadSettings: the program adds
// the organiser's DefaultEmailSettings (which fills empty mail settings from
// the system) and whatever else follows the loaded options. Returns an id for
// RemoveSettingsLoadedHook.
int AddSettingsLoadedHook(std::function<void()> hook);
void RemoveSettingsLoadedHook(int id);

// Run, in the order added, after the settings-loaded hooks of every
// LoadSettings and after the Options window has stored its values: each
// hands the option globals to a part of the program that keeps a value of
// its own (the desktop's window lists keep ExclHidden), so a saved option
// takes effect at once.
int AddOptionsAppliedHook(std::function<void()> hook);
void RemoveOptionsAppliedHook(int id);
void ApplyOptions();

// The program's command-line arguments (without the program name), set once
// by main(). A flag is present when an argument equals it without regard to
// case ("/I", "/CONFIG"); a path that happens to hold "/i" is no flag.
void SetProgramArguments(std::vector<std::string> arguments);
std::vector<std::string> ProgramArguments();
bool CommandLineHas(std::string_view flag);

}  // namespace kr
