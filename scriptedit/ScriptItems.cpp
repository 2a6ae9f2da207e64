#include "scriptedit/ScriptItems.h"

#include "platform/runtime/Strings.h"

namespace kr {

namespace {

std::string Clip(const std::string& s) { return ClipRight(s); }

// clip(window) + " (containing " + clip(text) + ")", or the window alone.
std::string WindowWithContents(const std::string& window, const std::string& contents) {
    if (contents.empty()) return window;
    return Clip(window) + " (containing " + Clip(contents) + ")";
}

bool FileActionWithoutTarget(const std::string& operation) {
    return operation == "Delete" || operation == "Recycle" || operation == "Log Windows" ||
           operation == "Make Directory" || operation == "Remove Directory";
}

std::string Describe(const Scripting& s) {
    const std::string& a = s.Action.str();
    if (a == "Start Program" || a == "Wait for Program End" || a == "Start Script")
        return Clip(s.Command.str()) + " " + Clip(s.Path.str());
    if (a == "Close Program") return s.Command.str().empty() ? "Window with focus" : s.Command.str();
    if (a == "Set Value") return Clip(s.Path.str()) + " = " + Clip(s.Command.str());
    if (a == "If Value...")
        return Clip(s.Command.str()) + " " + Clip(s.WindowTitleToCheckFor.str()) + " " + Clip(s.WaitForWindow.str());
    if (a == "File Actions") {
        if (FileActionWithoutTarget(s.DDEType.str())) return Clip(s.DDEType.str()) + " " + Clip(s.Command.str());
        return Clip(s.DDEType.str()) + " " + Clip(s.Command.str()) + " to " + Clip(s.Path.str());
    }
    if (a == "Send Keystrokes" || a == "Send Keys") return s.Keystrokes.str();
    if (a == "DDE (Dynamic Data Exchange)" || a == "DDE")
        return Clip(s.DDEType.str()) + " " + Clip(s.DDEApplicationName.str()) + " " + s.DDEApplicationTopic.str();
    if (a == "Display Message") {
        std::string d = Clip(s.DDEApplicationName.str()) + " " + Clip(s.DDEApplicationTopic.str());
        if (s.SecondsToWait != 0 && !s.FocusOnWindow.str().empty()) d += " <" + Clip(s.FocusOnWindow.str()) + ">";
        return d;
    }
    if (a == "Set Focus") return WindowWithContents(s.FocusOnWindow.str(), s.WaitForWindow.str());
    if (a == "If Time Elapsed...") return std::to_string(s.TimeElapsed) + " seconds";
    if (a == "Send Email") {
        const std::string message = "Message #" + std::to_string(s.EmailID);
        if (s.WindowTitleToCheckFor.str().empty()) return message;
        return message + " - " + s.WindowTitleToCheckFor.str();
    }
    if (a == "If Window...") {
        if (s.FocusOnWindow.str().empty())
            return Clip(s.WindowTitleToCheckFor.str()) + " " + Clip(s.WindowExistance.str());
        return Clip(s.WindowTitleToCheckFor.str()) + " (containing " + Clip(s.FocusOnWindow.str()) + ") " +
               Clip(s.WindowExistance.str());
    }
    if (a == "Wait") {
        if (s.SecondsToWait != 0) {
            const std::string seconds = std::to_string(s.SecondsToWait) + " seconds";
            if (s.WaitForWindow.str().empty()) return seconds;
            return seconds + " " + Clip(s.DDEApplicationName.str()) + " " + s.WaitForWindow.str();
        }
        return WindowWithContents(s.WaitForWindow.str(), s.FocusOnWindow.str());
    }
    return {};
}

// The help texts. Each is one paragraph for the form's help box.
constexpr const char* kHelpDisplayMessage =
    "Display Message:  Shows a message with a title.  With \"Use Windows Message Dialog\" checked "
    "the message appears in a standard message box.  When no buttons are entered a single \"OK\" "
    "button is shown.  When buttons are entered, separated by \"|\", those buttons are shown and a "
    "value called RESPONSE gets the number of the button pressed.  Example:  \"&Yes|&No\" gives 2 "
    "buttons; RESPONSE is 1 for Yes and 2 for No.";

constexpr const char* kHelpStartProgram =
    "Start Program:  Enter the program to run in the \"Command\" field, or pick it with BROWSE.  You may "
    "also enter the name of a document; it is opened with the program your desktop uses for that kind of "
    "file.  Arguments follow the program name; put quotes around names that hold blanks.  A folder may "
    "go in the \"Start In\" field: picking a program with BROWSE fills it with the program's folder.  "
    "When it is left blank the program runs in the current folder.  The Advanced button offers more: "
    "\"wait for program end\" holds the script until the program has ended and sets the [EXITCODE] "
    "value (with a limit in seconds, 0 for none), the priority, \"start minimized\" and the other window "
    "modes, and the operation, such as \"print\" to print a document.";

constexpr const char* kHelpCloseProgram =
    "Close Program:  Enter the program (\"EXE\") by name or with its full path, or leave the "
    "\"executable\" field blank to close whichever window has the \"focus\" when the item runs.  "
    "Use with caution.  Sending [AltF4] is usually "
    "the safe way to shut a program down.  Closing by name uses \"KillProc\".";

constexpr const char* kHelpSendKeys =
    "Send Keys:  The keys go to the application that has the \"focus\": the program just started or "
    "the one focused on.  Special keycodes use square braces (\"[]\") and a keystroke name, for "
    "example \"[ENTER]\", or \"[AltB]\" for Alt-B; a value in square braces, such as [DATE], is "
    "typed as its text.";

constexpr const char* kHelpDde =
    "This executes a DDE command of your choice with the application you specify.  Note that the "
    "application must already be running.  Consult the documentation of the application you are "
    "communicating for specify topics and commands to use.";

constexpr const char* kHelpSetFocus =
    "Set Focus:  Gives the \"focus\" to another application's window, so that keys sent next go to "
    "it.  Enter one of:  (a) the exact title, for example \"Connect To\" (not case sensitive); (b) "
    "the first few unique characters followed by an asterisk, for example \"Untitled - *\"; (c) an "
    "asterisk followed by a phrase found anywhere in the title, for example \"*Notepad\"; (d) the "
    "program's name, for example \"gedit\".";

constexpr const char* kHelpWait =
    "Wait:  Waits for a number of seconds, and/or for a window with a given title to appear.  Leave "
    "blank whichever does not apply.  With both, \"Either\" goes on as soon as one of them is met "
    "and \"Both\" waits the seconds and then for the window.  The window is given as in (a) to (c) "
    "of Set Focus:  the exact title, the first characters followed by an asterisk, or an asterisk "
    "followed by a phrase.  (d) is a tilde followed by (a), (b) or (c), to wait for a window to NOT "
    "exist (disappear).";

constexpr const char* kHelpIfWindow =
    "If Window...:  The script items you enter between this item and the next \"End If\" item will "
    "only execute if the condition you specify is true:  the window exists, or it does not exist.  "
    "The window title is given as in (a) to (c) of Set Focus:  the exact title (not case "
    "sensitive), the first characters followed by an asterisk, or an asterisk followed by a phrase "
    "found anywhere in the title.";

constexpr const char* kHelpIfTime =
    "The script items you enter between this item and the next \"End If\" item will only execute if the "
    "condition you specify is true.  The time elapsed is measured from the execution of the first script "
    "item to this script item, in seconds.";

constexpr const char* kHelpExitScript =
    "Exit Script:  This will exit the script at this point. Usually this script action is used in "
    "conjunction with an \"If...\" script action.";

constexpr const char* kHelpIfValue =
    "Evaluate a previously set value.  You can compare it to a constant or another value.  Use square "
    "brackets to indicate another value.  Example:  SAVESIZE <> [FILESIZE] or FILESIZE <> 0.   Note that "
    "there are reserved system values TODAY, DATE, TIME, NOW, FILESIZE, FILEDATE, FILETIME, and FOCUS.";

constexpr const char* kHelpStartScript =
    "Start Script:  Imports and executes a script file (\"*.krs\") on the fly.  \"Insert\" loads the "
    "external script into the current location and then continues with the current script.  \"Jump\" "
    "loads the external script into the current location and does not continue with the current "
    "script.  \"Append\" loads the external script onto the end of all executing scripts.";

constexpr const char* kHelpSendEmail = "Send a message via the Internet.";

constexpr const char* kHelpSetValue =
    "Set a value to a constant or another value.  Use square brackets to indicate another value.  "
    "Example:  Value Name: SAVESIZE, Value: [FILESIZE] or Value Name: DAY, Value: MONDAY.   Note that "
    "there are reserved system values TODAY, DATE, TIME, NOW, FILESIZE, FILEDATE, FILETIME, and FOCUS.";

constexpr const char* kHelpFileActions =
    "Perform a file-related action such as copy, move, delete, upload, download, test size, etc.  A "
    "system value is set automatically; it contains the result of the operation.  For example Get File "
    "Size creates or updates a FILESIZE value that can be evaluated with the \"If Value...\" script "
    "command.";

const char* Help(std::string_view a) {
    if (a == "Display Message") return kHelpDisplayMessage;
    if (a == "Start Program") return kHelpStartProgram;
    if (a == "Close Program") return kHelpCloseProgram;
    if (a == "Exit Script") return kHelpExitScript;
    if (a == "Send Keystrokes" || a == "Send Keys") return kHelpSendKeys;
    if (a == "DDE (Dynamic Data Exchange)" || a == "DDE") return kHelpDde;
    if (a == "Set Focus") return kHelpSetFocus;
    if (a == "Wait") return kHelpWait;
    if (a == "If Window...") return kHelpIfWindow;
    if (a == "If Time Elapsed...") return kHelpIfTime;
    if (a == "If Value...") return kHelpIfValue;
    if (a == "Start Script") return kHelpStartScript;
    if (a == "Send Email") return kHelpSendEmail;
    if (a == "Set Value") return kHelpSetValue;
    if (a == "File Actions") return kHelpFileActions;
    return "";
}

}  // namespace

std::string DescribeScriptItem(const Scripting& item) {
    std::string d = Describe(item);
    if (d.size() > kScriptDescriptionSize) d.resize(kScriptDescriptionSize);
    return ClipRight(d);
}

bool IsGreaterThanCondition(std::string_view condition) {
    return Lower(condition).find("grea") != std::string::npos;
}

void NormalizeScriptItem(Scripting& item) {
    const std::string& a = item.Action.str();
    if (a == "Send Keystrokes") {
        item.Action = "Send Keys";
    } else if (a == "If Window...") {
        item.WindowExistance =
            Lower(item.WindowExistance.str()).find("exists") != std::string::npos ? "Exists" : "Does not exist";
    } else if (a == "If Time Elapsed...") {
        item.IfTimeElapsed = IsGreaterThanCondition(item.IfTimeElapsed.str()) ? "Greater than" : "Less than";
    } else if (a == "Wait") {
        const std::string joiner = Upper(item.DDEApplicationName.str());
        if (joiner == "AND" || joiner == "BOTH")
            item.DDEApplicationName = "Both";
        else if (joiner == "OR" || joiner == "EITHER")
            item.DDEApplicationName = "Either";
    }
}

std::string ScriptActionHelp(std::string_view action) {
    std::string text = Help(ClipRight(action));
    if (text.size() > kScriptHelpSize) text.resize(kScriptHelpSize);
    return text;
}

}  // namespace kr
