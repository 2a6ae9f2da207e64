#include "scriptedit/ScriptText.h"

#include <algorithm>
#include <climits>

#include "dictionary/Dictionary.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/RecordProcess.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "scriptedit/ScriptCopy.h"
#include "scriptedit/ScriptItemRules.h"
#include "scriptedit/ScriptItems.h"
#include "scriptedit/ScriptSequencer.h"

namespace kr {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::size_t SkipBlanks(std::string_view s, std::size_t i) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    return i;
}

bool IsWholeNumber(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The number at the start of the text: its whole run of digits, held at the
// 32-bit limit; anything else (a sign, a word) reads as 0, as numbers in the
// text are plain digits.
int32_t ReadNumber(std::string_view s) {
    int64_t v = 0;
    for (std::size_t i = SkipBlanks(s, 0); i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        v = std::min<int64_t>(v * 10 + (s[i] - '0'), INT32_MAX);
    return static_cast<int32_t>(v);
}

std::string Arg(const std::vector<std::string>& a, std::size_t n) { return n < a.size() ? a[n] : std::string(); }

// Flag character n (1-based) of the Start Program options as a number.
int Flag(const Scripting& s, std::size_t n) {
    const std::string& f = s.DDEApplicationName.str();
    return n <= f.size() && f[n - 1] >= '0' && f[n - 1] <= '9' ? f[n - 1] - '0' : 0;
}

bool IsJoinerWord(std::string_view w) {
    const std::string u = Upper(w);
    return u == "AND" || u == "OR" || u == "EITHER" || u == "BOTH";
}

std::string WaitLine(const Scripting& s) {
    const std::string window = s.WaitForWindow.str();
    if (s.SecondsToWait != 0 && !window.empty())
        return MakeScriptLine({"WAIT", s.DDEApplicationName.str(), std::to_string(s.SecondsToWait), window,
                               s.FocusOnWindow.str()});
    if (!window.empty()) {
        // A window title that reads as a number or a joiner gets an explicit
        // 0 seconds in front, so that it is read back as the window.
        if (IsWholeNumber(Trim(window)) || IsJoinerWord(Trim(window)))
            return MakeScriptLine({"WAIT", "0", window, s.FocusOnWindow.str()});
        return MakeScriptLine({"WAIT", window, s.FocusOnWindow.str()});
    }
    return MakeScriptLine({"WAIT", std::to_string(s.SecondsToWait)});
}

std::string StartLine(const Scripting& s) {
    std::string line = MakeScriptLine({"START", s.Command.str(), s.Path.str()});
    if (Flag(s, 1) > 0) line += " WAIT=" + std::to_string(s.TimeElapsed);
    if (Flag(s, 2) > 0 && Flag(s, 2) != 2) line += " PRIORITY=" + std::to_string(Flag(s, 2));
    if (Flag(s, 3) > 1) line += " MODE=" + std::to_string(Flag(s, 3));
    const std::string verb = s.DDEApplicationTopic.str();
    if (!verb.empty() && verb.find_first_of(" \t,\"") == std::string::npos) line += " ACTION=" + verb;
    if (Flag(s, 4) > 0) line += " /TRANSLATE";
    return line;
}

std::string FileLine(const Scripting& s) {
    const std::string type = s.DDEType.str();
    std::vector<std::string> a = {"FILE", type, s.Command.str()};
    if (type == "Delete" || type == "Recycle") {
    } else if (type == "FTP Upload" || type == "FTP Download") {
        std::string user, password;
        SplitFtpLogin(s, user, password);
        a.insert(a.end(), {s.Path.str(), s.DDEApplicationName.str(), user, password});
    } else if (type == "HTTP Download") {
        a.insert(a.end(), {s.Path.str(), s.DDEApplicationName.str()});
    } else {
        a.push_back(s.Path.str());
    }
    return MakeScriptLine(a);
}

// The line of one item without indentation; empty for actions without one.
std::string ItemLine(const Scripting& s) {
    const std::string& a = s.Action.str();
    if (a == "Send Keys" || a == "Send Keystrokes") {
        // The reader takes the rest of the line and unquotes it once, so
        // keystrokes in quotes of their own get one more pair.
        std::string keys = s.Keystrokes.str();
        const std::size_t last = keys.find_last_not_of(' ');
        if (last != std::string::npos && last >= 1 && keys[0] == '"' && keys[last] == '"') keys = "\"" + keys + "\"";
        return "KEYS " + keys;
    }
    if (a == "Set Focus") return MakeScriptLine({"FOCUS", s.FocusOnWindow.str(), s.WaitForWindow.str()});
    if (a == "Wait") return WaitLine(s);
    if (a == "Display Message") {
        std::vector<std::string> args = {"DISPLAY", s.DDEApplicationName.str(), s.DDEApplicationTopic.str(),
                                         s.FocusOnWindow.str()};
        if (s.SecondsToWait == 0) args.push_back("/MODAL");
        return MakeScriptLine(args);
    }
    if (a == "If Window...")
        return MakeScriptLine({Upper(s.WindowExistance.str()).find("EXISTS") != std::string::npos ? "IFWINDOW"
                                                                                                 : "IFNOTWINDOW",
                               s.WindowTitleToCheckFor.str(), s.FocusOnWindow.str()});
    if (a == "If Time Elapsed...")
        return MakeScriptLine({IsGreaterThanCondition(s.IfTimeElapsed.str()) ? "IFTIME" : "IFTIMELESS",
                               std::to_string(s.TimeElapsed)});
    if (a == "If Value...")
        return MakeScriptLine({"IF", s.Command.str(), s.WindowTitleToCheckFor.str(), s.WaitForWindow.str()});
    if (a == "...End If") return "END";
    if (a == "Start Program") return StartLine(s);
    if (a == "Close Program") return MakeScriptLine({"CLOSE", s.Command.str()});
    if (a == "Start Script") return MakeScriptLine({"SCRIPT", s.Command.str(), s.Path.str()});
    if (a == "DDE (Dynamic Data Exchange)" || a == "DDE")
        return MakeScriptLine({"DDE", s.DDEApplicationName.str(), s.DDEApplicationTopic.str(), s.DDECommand.str()});
    if (a == "File Actions") return FileLine(s);
    if (a == "Send Email") return MakeScriptLine({"EMAIL", std::to_string(s.EmailID)});
    if (a == "Set Value") return MakeScriptLine({"SET", s.Path.str(), s.Command.str()});
    if (a == "Exit Script") return "EXIT";
    if (a == "Comment") return MakeScriptLine({"COMMENT", s.Command.str()});
    return {};
}

void ReadWait(const std::vector<std::string>& t, Scripting& s) {
    const std::string a1 = Arg(t, 0);
    if (IsJoinerWord(a1) || (a1.empty() && t.size() >= 2 && IsWholeNumber(Arg(t, 1)))) {
        // A joiner, or the empty joiner the writer puts before seconds and a
        // window: kept as written.
        s.DDEApplicationName = a1;
        s.SecondsToWait = ReadNumber(Arg(t, 1));
        s.WaitForWindow = Arg(t, 2);
        s.FocusOnWindow = Arg(t, 3);
        return;
    }
    if (IsWholeNumber(a1)) {
        s.SecondsToWait = ReadNumber(a1);
        s.WaitForWindow = Arg(t, 1);
        s.FocusOnWindow = Arg(t, 2);
    } else {
        s.WaitForWindow = a1;
        s.FocusOnWindow = Arg(t, 1);
        s.SecondsToWait = ReadNumber(Arg(t, 2));
    }
    s.DDEApplicationName = s.SecondsToWait > 0 && !s.WaitForWindow.str().empty() ? "Both" : "";
}

std::string StartVerb(std::string_view rest) {
    const std::string u = Upper(rest.substr(0, 7));
    const std::string pair = u.substr(0, 2);
    static const char* const kVerbs[][2] = {{"OP", "Open"}, {"VI", "View"},    {"PR", "Print"}, {"PL", "Play"},
                                            {"EX", "Explore"}, {"FI", "Find"}, {"ED", "Edit"}};
    for (const auto& v : kVerbs)
        if (pair == v[0]) return v[1];
    return u.substr(0, u.find_first_of(" \t"));
}

// The options count only as arguments of their own, from the third on, so
// a program or folder holding "MODE=" keeps its flags.
void ReadStart(const std::vector<std::string>& t, Scripting& s) {
    s.Command = Arg(t, 0);
    s.Path = Arg(t, 1);
    std::string flags = kDefaultStartOptions;
    for (std::size_t i = 2; i < t.size(); ++i) {
        const std::string u = Upper(t[i]);
        if (u.rfind("WAIT=", 0) == 0) {
            flags[0] = '1';
            s.TimeElapsed = ReadNumber(std::string_view(u).substr(5));
        } else if (u.rfind("PRIORITY=", 0) == 0 && u.size() > 9) {
            flags[1] = u[9];
        } else if (u.rfind("MODE=", 0) == 0 && u.size() > 5) {
            flags[2] = u[5];
        } else if (u.rfind("ACTION=", 0) == 0) {
            s.DDEApplicationTopic = StartVerb(std::string_view(t[i]).substr(7));
        } else if (u == "/TRANSLATE") {
            flags[3] = '1';
        }
    }
    s.DDEApplicationName = flags;
}

void ReadFile(const std::vector<std::string>& t, Scripting& s) {
    const std::string word = Upper(Arg(t, 0));
    s.Command = Arg(t, 1);
    s.Path = Arg(t, 2);
    if (word.find("TP") != std::string::npos) {
        s.DDEApplicationName = Arg(t, 3);
        JoinFtpLogin(Arg(t, 4), Arg(t, 5), s);
    }
    s.DDEType = NormalizeFileActionWord(word);
}

// Fills the item from the keyword and the rest of its line; false for an
// unknown keyword.
bool ReadItem(const std::string& keyword, std::string_view rest, Scripting& s) {
    const std::string k = Upper(keyword);
    if (k == "KEYS") {
        std::string keys(rest);
        UnquoteValue(keys);
        s.Action = "Send Keys";
        s.Keystrokes = keys;
        return true;
    }
    const std::vector<std::string> t = TokenizeScriptLine(rest);
    if (k == "FOCUS") {
        s.Action = "Set Focus";
        s.FocusOnWindow = Arg(t, 0);
        s.WaitForWindow = Arg(t, 1);
    } else if (k == "WAIT") {
        s.Action = "Wait";
        ReadWait(t, s);
    } else if (k == "DISPLAY") {
        // "/MODAL" counts only as an argument of its own after the message.
        s.Action = "Display Message";
        s.SecondsToWait = 1;
        std::vector<std::string> a = t;
        for (std::size_t i = 1; i < a.size(); ++i)
            if (Upper(a[i]) == "/MODAL") {
                s.SecondsToWait = 0;
                a[i].clear();
            }
        s.DDEApplicationName = Arg(a, 0);
        s.DDEApplicationTopic = Arg(a, 1);
        s.FocusOnWindow = Arg(a, 2);
    } else if (k == "IFWINDOW" || k == "IFNOTWINDOW") {
        s.Action = "If Window...";
        s.WindowExistance = k == "IFWINDOW" ? "Exists" : "Does not exist";
        s.WindowTitleToCheckFor = Arg(t, 0);
        s.FocusOnWindow = Arg(t, 1);
    } else if (k == "IFTIME" || k == "IFTIMELESS") {
        s.Action = "If Time Elapsed...";
        s.IfTimeElapsed = k == "IFTIME" ? "Greater than" : "Less than";
        s.TimeElapsed = ReadNumber(Arg(t, 0));
    } else if (k == "IF") {
        s.Action = "If Value...";
        s.Command = Arg(t, 0);
        s.WindowTitleToCheckFor = Arg(t, 1);
        s.WaitForWindow = Arg(t, 2);
    } else if (k == "END") {
        s.Action = "...End If";
    } else if (k == "START") {
        s.Action = "Start Program";
        ReadStart(t, s);
    } else if (k == "CLOSE") {
        s.Action = "Close Program";
        s.Command = Arg(t, 0);
    } else if (k == "SCRIPT") {
        s.Action = "Start Script";
        s.Command = Arg(t, 0);
        const std::string type = Arg(t, 1);
        const char first = type.empty() ? ' ' : Upper(type.substr(0, 1))[0];
        s.Path = first == 'I'   ? "Insert (Execute and continue)"
                 : first == 'J' ? "Jump to (Execute and skip)"
                 : first == 'A' ? "Append"
                                : type;
    } else if (k == "DDE") {
        // The short word fits the exchange files' 20-character type.
        s.Action = "DDE";
        s.DDEApplicationName = Arg(t, 0);
        s.DDEApplicationTopic = Arg(t, 1);
        s.DDECommand = Arg(t, 2);
    } else if (k == "FILE") {
        s.Action = "File Actions";
        ReadFile(t, s);
    } else if (k == "EMAIL") {
        s.Action = "Send Email";
        s.EmailID = ReadNumber(Arg(t, 0));
    } else if (k == "SET") {
        s.Action = "Set Value";
        s.Path = Arg(t, 0);
        s.Command = Arg(t, 1);
    } else if (k == "EXIT") {
        s.Action = "Exit Script";
    } else if (k == "COMMENT" || k == "!") {
        s.Action = "Comment";
        s.Command = Arg(t, 0);
    } else {
        s.Action = keyword;
        return false;
    }
    return true;
}

bool SameFields(const Scripting& a, const Scripting& b) {
    return a.Action == b.Action && a.Keystrokes == b.Keystrokes && a.SecondsToWait == b.SecondsToWait &&
           a.WaitForWindow == b.WaitForWindow && a.FocusOnWindow == b.FocusOnWindow &&
           a.WindowExistance == b.WindowExistance && a.WindowTitleToCheckFor == b.WindowTitleToCheckFor &&
           a.TimeElapsed == b.TimeElapsed && a.EmailID == b.EmailID && a.Command == b.Command && a.Path == b.Path &&
           a.DDEType == b.DDEType && a.DDEApplicationName == b.DDEApplicationName &&
           a.DDEApplicationTopic == b.DDEApplicationTopic && a.DDECommand == b.DDECommand;
}

// A double quote cannot be escaped, a square bracket switches the
// splitter's bracket state even inside quotes, and a line break (a
// message typed on several lines) ends the line: only values holding one
// of these can fail to read back.
bool HoldsUnwritable(const Scripting& s) {
    for (const std::string* f : {&s.Keystrokes.str(), &s.WaitForWindow.str(), &s.FocusOnWindow.str(),
                                 &s.WindowTitleToCheckFor.str(), &s.Command.str(), &s.Path.str(),
                                 &s.DDEApplicationName.str(), &s.DDEApplicationTopic.str(), &s.DDECommand.str()})
        if (f->find_first_of("\"[]\r\n") != std::string::npos) return true;
    return false;
}

}  // namespace

void UnquoteValue(std::string& value) {
    const std::size_t last = value.find_last_not_of(' ');
    if (last == std::string::npos) return;
    if (last == 1 && value[0] == '"' && value[1] == '"') {
        value.clear();
        return;
    }
    // A lone quote is not a pair: it needs a first and a distinct last character.
    if (last >= 1 && value[0] == '"' && value[last] == '"') {
        value = value.substr(1, last - 1) + value.substr(last + 1);
    }
}

std::string QuoteIfNeeded(std::string_view value) {
    std::string v(value);
    UnquoteValue(v);
    const std::size_t last = v.find_last_not_of(' ');
    if (last == std::string::npos) return "\"\"";
    v.resize(last + 1);
    const bool innerBlank = v.find_first_of(" \t") != std::string::npos;
    const bool separator = v.find_first_of("/\\,") != std::string::npos;
    if (innerBlank || separator) return "\"" + v + "\"";
    return v;
}

std::string MakeScriptLine(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& a : args) {
        if (!line.empty()) line += ' ';
        line += QuoteIfNeeded(a);
    }
    return line;
}

std::vector<std::string> TokenizeScriptLine(std::string_view rest) {
    std::vector<std::string> tokens;
    auto add = [&](std::string_view t) {
        std::string v(t);
        UnquoteValue(v);
        tokens.push_back(std::move(v));
    };
    std::size_t end = rest.size();
    while (end > 0 && IsBlank(rest[end - 1])) --end;
    std::size_t start = SkipBlanks(rest, 0);
    bool quote = false, bracket = false;
    for (std::size_t i = start; i < end; ++i) {
        const char c = rest[i];
        if (c == '"')
            quote = !quote;
        else if (c == '[')
            bracket = true;
        else if (c == ']')
            bracket = false;
        if (!quote && !bracket && (IsBlank(c) || c == ',')) {
            add(rest.substr(start, i - start));
            start = SkipBlanks(rest, i + 1);
            i = start - 1;
        }
    }
    if (start < end) add(rest.substr(start, end - start));
    return tokens;
}

std::string NormalizeFileActionWord(std::string_view word) {
    static const char* const kWords[][2] = {
        {"COPY", "Copy"},
        {"RENAME", "Rename"},
        {"RECYCLE", "Recycle"},
        {"MOVE", "Move"},
        {"DELETE", "Delete"},
        {"MAKE DIRECTORY", "Make Directory"},
        {"MAKE", "Make Directory"},
        {"REMOVE DIRECTORY", "Remove Directory"},
        {"REMOVE", "Remove Directory"},
        {"GET FILE DATE", "Get File Date"},
        {"FILE DATE", "Get File Date"},
        {"DATE", "Get File Date"},
        {"GET FILE TIME", "Get File Time"},
        {"FILE TIME", "Get File Time"},
        {"TIME", "Get File Time"},
        {"GET FILE SIZE", "Get File Size"},
        {"FILE SIZE", "Get File Size"},
        {"SIZE", "Get File Size"},
        {"LOG WINDOWS", "Log Windows"},
        {"IF FILE EXISTS", "If File Exists"},
        {"FILE EXISTS", "If File Exists"},
        {"EXISTS", "If File Exists"},
        {"FTPUPLOAD", "FTP Upload"},
        {"FTP UPLOAD", "FTP Upload"},
        {"FTPDOWNLOAD", "FTP Download"},
        {"FTP DOWNLOAD", "FTP Download"},
        {"FTP", "FTP Download"},
        {"HTTPDOWNLOAD", "HTTP Download"},
        {"HTTP DOWNLOAD", "HTTP Download"},
        {"HTTP", "HTTP Download"},
    };
    const std::string u = Upper(Trim(word));
    for (const auto& w : kWords)
        if (u == w[0]) return w[1];
    return "Copy";
}

void NormalizeFileActionWord(Scripting& item) { item.DDEType = NormalizeFileActionWord(item.DDEType.str()); }

bool HasScriptTextLine(std::string_view action) {
    Scripting s;
    s.Action = std::string(action);
    return !ItemLine(s).empty();
}

std::string ScriptItemsToText(const std::vector<Scripting>& items) {
    std::string text;
    int indent = 0;
    for (const Scripting& s : items) {
        std::string line = ItemLine(s);
        if (line.empty()) continue;
        const std::string& a = s.Action.str();
        if (a == "...End If") indent = std::max(0, indent - 3);
        // Trailing empty arguments are dropped; keystrokes are the raw rest
        // of their line and keep theirs.
        if (line.rfind("KEYS ", 0) != 0)
            while (line.size() >= 3 && line.compare(line.size() - 3, 3, " \"\"") == 0) line.resize(line.size() - 3);
        text.append(static_cast<std::size_t>(std::min(indent, 24)), ' ');
        text += line;
        text += "\r\n";
        if (a == "If Value..." || a == "If Window..." || a == "If Time Elapsed...") indent += 3;
    }
    return text;
}

ParsedScriptText ParseScriptText(std::string_view text, int32_t taskID) {
    ParsedScriptText out;
    int32_t lineCount = 0;
    std::size_t pos = 0;
    while (true) {
        pos = SkipBlanks(text, pos);
        if (pos >= text.size()) break;
        std::size_t eol = text.find_first_of("\r\n", pos);
        std::string_view line = text.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
        if (eol == std::string_view::npos)
            pos = text.size();
        else
            pos = eol + ((text[eol] == '\r' && eol + 1 < text.size() && text[eol + 1] == '\n') ? 2 : 1);
        ++lineCount;
        if (line.empty()) continue;
        const std::size_t blank = line.find_first_of(" \t");
        const std::string keyword(line.substr(0, blank));
        const std::string_view rest = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
        Scripting s;
        s.ID = taskID;
        s.Sequence = lineCount;
        if (!ReadItem(keyword, rest, s))
            out.messages.push_back("Unknown script action:\r\n" + keyword + "\r\n" + std::string(rest));
        out.items.push_back(s);
    }
    return out;
}

std::vector<int> LinesNotReadingBack(const std::vector<Scripting>& items) {
    std::vector<int> out;
    int n = 0;
    for (const Scripting& s : items) {
        if (!HasScriptTextLine(s.Action.str())) continue;
        ++n;
        if (!HoldsUnwritable(s)) continue;
        Scripting line = s;
        line.Sequence = 0;
        const ParsedScriptText back = ParseScriptText(ScriptItemsToText({line}), s.ID);
        if (back.items.size() != 1 || !SameFields(back.items[0], s)) out.push_back(n);
    }
    return out;
}

int CountItemsWithoutLine(const std::vector<Scripting>& items) {
    return static_cast<int>(
        std::count_if(items.begin(), items.end(), [](const Scripting& s) { return !HasScriptTextLine(s.Action.str()); }));
}

std::vector<Scripting> ReadScriptItems(int32_t taskID, int* error) {
    std::vector<Scripting> out;
    if (error) *error = kNoError;
    if (int e = Scripting_File().UseFile()) {
        if (error) *error = e;
        return out;
    }
    const int e = data::TableOf(ScriptingDef())
        .ForEachMatch(ScriptingDef().key("SCR:KeyID"), {ScriptingDef().field("SCR:ID")}, {Value(taskID)},
                      [&](int64_t, const void* r) {
                          out.push_back(*static_cast<const Scripting*>(r));
                          return true;
                      });
    if (error && e != kNoError) *error = e;
    return out;
}

std::string ScriptToText() {
    const int32_t task = Schedule_File().rec().ID;
    if (task == 0) Message("No task ID", "Error");
    int error = kNoError;
    std::string text = ScriptItemsToText(ReadScriptItems(task, &error));
    // The lines read before a read error are kept.
    if (error != kNoError) Message("Next script:  " + data::LastErrorText(), "Error");
    return text;
}

std::vector<std::string> ReplaceScriptItems(int32_t taskID, const std::vector<Scripting>& items) {
    std::vector<std::string> errors;
    ScriptingFileManager& s = Scripting_File();
    if (s.UseFile()) return {"Error adding scripting:\r\n" + data::LastErrorText()};
    const Scripting saved = s.rec();
    const bool own = !data::InTransaction() && data::Logout({&s.File()}) == kNoError;
    auto erase = MakeDeleteScript(taskID);
    erase->onError = [&](const std::string& e) { errors.push_back(e); };
    RunToEnd(*erase);
    for (const Scripting& item : items)
        if (InsertScriptItemAt(item) != kNoError) errors.push_back("Error adding scripting:\r\n" + data::LastErrorText());
    if (own && data::Commit() != kNoError) errors.push_back("Error adding scripting:\r\n" + data::LastErrorText());
    s.rec() = saved;
    return errors;
}

void TextToScript(std::string_view text) {
    if (text.empty()) {
        Message("Nothing to save.", "Error");
        return;
    }
    const int32_t task = Schedule_File().rec().ID;
    // Items under task 0 would belong to no task.
    if (task == 0) {
        Message("No task ID", "Error");
        return;
    }
    const ParsedScriptText parsed = ParseScriptText(text, task);
    std::vector<std::string> messages = parsed.messages;
    for (std::string& e : ReplaceScriptItems(task, parsed.items)) messages.push_back(std::move(e));
    // A pasted text that is no script at all would otherwise ask for one OK
    // per line: the first boxes are shown, the rest are counted in one.
    const std::size_t shown = std::min(messages.size(), kMaxTextMessages);
    for (std::size_t i = 0; i < shown; ++i) Message(messages[i], "Error");
    if (messages.size() > shown)
        Message(std::to_string(messages.size() - shown) + " more messages like these were not shown.", "Error");
}

}  // namespace kr
