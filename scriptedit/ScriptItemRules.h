// The item form's rules, display-free: how a new item is primed, which tab
// an action shows (and the defaults that come with it), the Wait joiner, the
// File Actions prompts, the Start Program option characters, the key-code
// append, the FTP login split and what OK stores.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "dictionary/SchedulingTables.h"

namespace kr {

// The form's tabs.
enum class ScriptTab {
    Keys, Wait, Focus, DDE, IfWindow, IfTime, IfVar, SetVar, StartScript, SendEmail, FileActions, EndIf, Start,
    DisplayMessage, Close, Other
};

inline constexpr const char* kFileActionWords =
    "Copy|Move|Rename|Delete|Recycle|FTP Upload|FTP Download|HTTP Download|Get File Date|Get File Time|"
    "Get File Size|If File Exists|Log Windows|Make Directory|Remove Directory";
inline constexpr const char* kStartScriptTypes = "Insert (Execute and continue)|Jump to (Execute and skip)|Append";
inline constexpr const char* kComparisons = "=|<|<=|=>|>|<>";
inline constexpr const char* kStartVerbs = "Open|View|Print|Edit|Play|Find|Explore";
inline constexpr const char* kWindowModes =
    "Start and give focus|Start minimized with focus|Start maximized with focus|Start minimized without focus|"
    "Start without focus";

bool IsFileActionWord(std::string_view word);

// A new item of the task: "Send Keys", "Exists", "Greater than", a day.
void PrimeNewScriptItem(Scripting& item, int32_t taskID);

// The tab of the item's action, with the defaults the tab brings: an empty
// If Window condition "Exists", If Time "Less than", If Value "=" /
// "FILEEXISTS" / "1", the Start Script type from its first letter, an unknown
// file action "Copy". "Exit Script" and unknown words go to the Other tab:
// the word moves to otherName (unless that already holds a word other than
// "Other") and the action reads "Other".
ScriptTab SelectScriptTab(Scripting& item, std::string& otherName);

// The Wait joiner: offered only when both seconds and a window are given
// (an empty one then becomes "Both"); otherwise cleared. True when offered.
bool ApplyWaitJoiner(const Scripting& item, std::string& joiner);

struct FileActionPrompts {
    std::string first = "&From:";
    std::string second = "&To:";
    bool secondShown = true;
    bool firstBrowse = true;
    bool secondBrowse = true;
    bool ftpShown = false;
};
FileActionPrompts PromptsForFileAction(std::string_view word);

// The four option characters of Start Program and the verb.
struct StartProgramOptions {
    bool waitForEnd = false;
    int priority = 2;    // 1 Low, 2 Normal, 3 High
    int windowMode = 1;  // 1, 2, 3, 7, 8
    bool translate = false;
    int32_t stopWaitingAfter = 0;
    std::string verb = "Open";
};
inline constexpr const char* kDefaultStartOptions = "0210";
// Unknown characters read as their defaults (Normal, Start and give focus).
StartProgramOptions ReadStartOptions(const Scripting& item);
void WriteStartOptions(const StartProgramOptions& o, Scripting& item);
// The window mode's index in kWindowModes and back.
int WindowModeIndex(int mode);
int WindowModeAt(int index);

// "[CtrlAlt-DELETE]", or "[F5]" without a modifier; appended to the
// keystrokes (clipped, cut at the field's 255 characters).
std::string KeyCode(std::string_view modifier, std::string_view key);
std::string AppendToKeystrokes(std::string_view keystrokes, std::string_view code);

// The FTP login of a File Actions item: the user in characters 1-128 of the
// topic, the password in 129-255 (its first 127 characters).
void SplitFtpLogin(const Scripting& item, std::string& user, std::string& password);
void JoinFtpLogin(std::string_view user, std::string_view password, Scripting& item);

// What OK stores of the form's own values, by action, and the change stamp.
// False for an item still on "Other": it is refused.
struct ScriptFormValues {
    std::string joiner;
    std::string messageTitle, messageText;
    // Any SecondsToWait but 0 shows the message in a dialog; the value read
    // is stored back unless the box was changed.
    bool messageDialog = false;
    int32_t messageWait = 0;
    std::string ftpUser, ftpPassword;
    std::string otherName;
};
void LoadScriptFormValues(const Scripting& item, ScriptFormValues& v);
bool StoreScriptFormValues(const ScriptFormValues& v, Scripting& item);
void StampScriptItem(Scripting& item, std::string_view user, int32_t date, int32_t time);

// A stored e-mail message chosen for a Send Email item: its ID, and its
// subject and recipient joined by " - " (both clipped) as the item's text.
void ApplyChosenMessage(Scripting& item, int32_t emailID, std::string_view subject, std::string_view to);

}  // namespace kr

namespace kr {
// The four option characters of a Start Program item made valid ("0210" for
// an item that has none); the verb and the time limit stay as they are.
void NormalizeStartFlags(Scripting& item);
}  // namespace kr
