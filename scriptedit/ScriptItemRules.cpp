#include "scriptedit/ScriptItemRules.h"

#include <vector>

#include "platform/runtime/Strings.h"

namespace kr {

namespace {

std::vector<std::string> Split(std::string_view list) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t bar = list.find('|', start);
        out.emplace_back(list.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
        if (bar == std::string_view::npos) return out;
        start = bar + 1;
    }
}

constexpr int32_t kOneDay = 86400;
constexpr size_t kFtpUserSize = 128;
constexpr size_t kFtpPasswordStored = 127;

}  // namespace

bool IsFileActionWord(std::string_view word) {
    for (const std::string& w : Split(kFileActionWords))
        if (w == ClipRight(word)) return true;
    return false;
}

void PrimeNewScriptItem(Scripting& item, int32_t taskID) {
    item = Scripting();
    item.ID = taskID;
    item.Action = "Send Keys";
    // Both conditions are primed with a word their tab offers, so an item
    // saved untouched reads the way the form showed it.
    item.WindowExistance = "Exists";
    item.IfTimeElapsed = "Greater than";
    item.TimeElapsed = kOneDay;
}

ScriptTab SelectScriptTab(Scripting& item, std::string& otherName) {
    const std::string a = item.Action.str();
    if (a == "Display Message") return ScriptTab::DisplayMessage;
    if (a == "Start Program") return ScriptTab::Start;
    if (a == "Close Program") return ScriptTab::Close;
    if (a == "Exit Script") {
        otherName = a;
        item.Action = "Other";
        return ScriptTab::Other;
    }
    if (a == "Send Keystrokes" || a == "Send Keys") return ScriptTab::Keys;
    if (a == "DDE (Dynamic Data Exchange)" || a == "DDE") return ScriptTab::DDE;
    if (a == "Set Focus") return ScriptTab::Focus;
    if (a == "Wait") return ScriptTab::Wait;
    if (a == "If Window...") {
        if (item.WindowExistance.str().empty()) item.WindowExistance = "Exists";
        return ScriptTab::IfWindow;
    }
    if (a == "If Time Elapsed...") {
        if (item.IfTimeElapsed.str().empty()) item.IfTimeElapsed = "Less than";
        return ScriptTab::IfTime;
    }
    if (a == "...End If") return ScriptTab::EndIf;
    if (a == "If Value...") {
        if (item.WindowTitleToCheckFor.str().empty()) item.WindowTitleToCheckFor = "=";
        if (item.Command.str().empty()) item.Command = "FILEEXISTS";
        if (item.WaitForWindow.str().empty()) item.WaitForWindow = "1";
        return ScriptTab::IfVar;
    }
    if (a == "Start Script") {
        const char first = item.Path.str().empty() ? ' ' : item.Path.str()[0];
        item.Path = first == 'A' ? "Append" : first == 'J' ? "Jump to (Execute and skip)" : "Insert (Execute and continue)";
        return ScriptTab::StartScript;
    }
    if (a == "Send Email") return ScriptTab::SendEmail;
    if (a == "Set Value") return ScriptTab::SetVar;
    if (a == "File Actions") {
        if (!IsFileActionWord(item.DDEType.str())) item.DDEType = "Copy";
        return ScriptTab::FileActions;
    }
    if (otherName.empty() || otherName == "Other") otherName = a;
    return ScriptTab::Other;
}

bool ApplyWaitJoiner(const Scripting& item, std::string& joiner) {
    if (item.SecondsToWait != 0 && !item.WaitForWindow.str().empty()) {
        if (ClipRight(joiner).empty()) joiner = "Both";
        return true;
    }
    joiner.clear();
    return false;
}

FileActionPrompts PromptsForFileAction(std::string_view word) {
    FileActionPrompts p;
    const std::string w = ClipRight(word);
    if (w == "Delete" || w == "Get File Date" || w == "Get File Time" || w == "Get File Size" ||
        w == "If File Exists") {
        p.first = "&File:";
        p.secondShown = false;
    } else if (w == "Make Directory" || w == "Remove Directory") {
        p.first = "&Directory:";
        p.secondShown = false;
    } else if (w == "Log Windows") {
        p.first = "To &File:";
        p.secondShown = false;
    } else if (w == "FTP Upload") {
        p.first = "&Local file:";
        p.second = "&Upload to:";
        p.secondBrowse = false;
        p.ftpShown = true;
    } else if (w == "FTP Download") {
        p.first = "&Path/Filename:";
        p.firstBrowse = false;
        p.second = "&Save As:";
        p.ftpShown = true;
    } else if (w == "HTTP Download") {
        p.first = "&URL:";
        p.firstBrowse = false;
        p.second = "&Save As:";
    }
    return p;
}

StartProgramOptions ReadStartOptions(const Scripting& item) {
    StartProgramOptions o;
    const std::string f = item.DDEApplicationName.str() + "    ";
    o.waitForEnd = f[0] == '1';
    o.priority = f[1] >= '1' && f[1] <= '3' ? f[1] - '0' : 2;
    const int mode = f[2] - '0';
    o.windowMode = mode == 1 || mode == 2 || mode == 3 || mode == 7 || mode == 8 ? mode : 1;
    o.translate = f[3] == '1';
    o.stopWaitingAfter = item.TimeElapsed;
    const std::string verb = Trim(item.DDEApplicationTopic.str().substr(0, 20));
    o.verb = "Open";
    for (const std::string& v : Split(kStartVerbs))
        if (EqualNoCase(v, verb)) o.verb = v;
    return o;
}

void WriteStartOptions(const StartProgramOptions& o, Scripting& item) {
    std::string f;
    f += o.waitForEnd ? '1' : '0';
    f += static_cast<char>('0' + (o.priority >= 1 && o.priority <= 3 ? o.priority : 2));
    f += static_cast<char>('0' + WindowModeAt(WindowModeIndex(o.windowMode)));
    f += o.translate ? '1' : '0';
    item.DDEApplicationName = f;
    item.TimeElapsed = o.stopWaitingAfter;
    item.DDEApplicationTopic = o.verb;
}

int WindowModeIndex(int mode) {
    switch (mode) {
        case 2: return 1;
        case 3: return 2;
        case 7: return 3;
        case 8: return 4;
        default: return 0;
    }
}

int WindowModeAt(int index) {
    static constexpr int modes[] = {1, 2, 3, 7, 8};
    return index >= 0 && index < 5 ? modes[index] : 1;
}

std::string KeyCode(std::string_view modifier, std::string_view key) {
    const std::string m = Trim(modifier), k = Trim(key);
    return m.empty() ? "[" + k + "]" : "[" + m + "-" + k + "]";
}

std::string AppendToKeystrokes(std::string_view keystrokes, std::string_view code) {
    std::string s = ClipRight(keystrokes) + std::string(code);
    if (s.size() > 255) s.resize(255);
    return s;
}

void SplitFtpLogin(const Scripting& item, std::string& user, std::string& password) {
    const std::string& t = item.DDEApplicationTopic.str();
    user = ClipRight(t.substr(0, std::min(t.size(), kFtpUserSize)));
    password = t.size() > kFtpUserSize ? ClipRight(t.substr(kFtpUserSize)) : std::string();
}

void JoinFtpLogin(std::string_view user, std::string_view password, Scripting& item) {
    std::string u(user.substr(0, std::min(user.size(), kFtpUserSize)));
    u.resize(kFtpUserSize, ' ');
    item.DDEApplicationTopic = u + std::string(password.substr(0, std::min(password.size(), kFtpPasswordStored)));
}

void LoadScriptFormValues(const Scripting& item, ScriptFormValues& v) {
    const std::string a = item.Action.str();
    if (a == "Wait") v.joiner = item.DDEApplicationName.str().substr(0, 6);
    if (a == "File Actions") SplitFtpLogin(item, v.ftpUser, v.ftpPassword);
    if (a == "Display Message") {
        // The whole 255 characters of text and title: a message that is only
        // opened and saved again loses nothing.
        v.messageText = item.DDEApplicationName.str();
        v.messageTitle = item.DDEApplicationTopic.str();
        v.messageWait = item.SecondsToWait;
        v.messageDialog = item.SecondsToWait != 0;
    }
}

bool StoreScriptFormValues(const ScriptFormValues& v, Scripting& item) {
    const std::string a = item.Action.str();
    if (a == "Wait") item.DDEApplicationName = v.joiner;
    else if (a == "Display Message") {
        item.DDEApplicationName = v.messageText;
        item.DDEApplicationTopic = v.messageTitle;
        if (v.messageDialog != (v.messageWait != 0)) item.SecondsToWait = v.messageDialog ? 1 : 0;
        else item.SecondsToWait = v.messageWait;
    } else if (a == "File Actions") {
        JoinFtpLogin(v.ftpUser, v.ftpPassword, item);
    } else if (a == "Other") {
        item.Action = v.otherName;
        // An item still on "Other" would stop its script with "Invalid script
        // option" on every run: it is not stored.
        if (item.Action.str().empty() || item.Action == "Other") return false;
    }
    return true;
}

void StampScriptItem(Scripting& item, std::string_view user, int32_t date, int32_t time) {
    item.NetworkUser = user;
    item.LastChangeDate = date;
    item.LastChangeTime = time;
    if (item.OriginalID == 0) item.OriginalID = item.ID;
}

}  // namespace kr

namespace kr {
void NormalizeStartFlags(Scripting& item) {
    const std::string topic = item.DDEApplicationTopic.str();
    const int32_t limit = item.TimeElapsed;
    WriteStartOptions(ReadStartOptions(item), item);
    item.DDEApplicationTopic = topic;
    item.TimeElapsed = limit;
}
void ApplyChosenMessage(Scripting& item, int32_t emailID, std::string_view subject, std::string_view to) {
    item.EmailID = emailID;
    item.WindowTitleToCheckFor = ClipRight(std::string(subject)) + " - " + ClipRight(std::string(to));
}

}  // namespace kr
