#include "scheduler/TaskRunner.h"

#include <cctype>
#include <fstream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/TransferPassword.h"
#include "platform/data/Errors.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "scheduler/DateValues.h"
#include "scriptedit/ScriptText.h"
#include "scheduler/RunnerSettings.h"
#include "scheduler/ScriptQueue.h"
#include "scheduler/StartedPrograms.h"

namespace kr {

namespace {

// ---------------------------------------------------------------- state

std::atomic<bool> g_scriptLock{false};
std::atomic<uint32_t> g_lastShellResult{0};
std::atomic<int32_t> g_lastStarted{0};

std::mutex g_hooksMutex;
TaskRunnerHooks g_hooks;
std::atomic<ScriptItemReader*> g_reader{nullptr};

TaskRunnerHooks Hooks() {
    std::lock_guard<std::mutex> l(g_hooksMutex);
    return g_hooks;
}

// How long a RunTask waits for another one to finish loading the queue.
constexpr auto kLockWait = std::chrono::milliseconds(3000);

std::mutex g_ownerMutex;
std::thread::id g_lockOwner;

// Takes the script lock for the life of the guard. After 3 seconds of
// waiting the wait is logged and the caller goes on without it, as the queue
// itself stays consistent under its own lock. A holder on the caller's own
// thread (a RunTask reached again from inside one) would never let go, so
// that is logged at once.
class ScriptLockGuard {
public:
    ScriptLockGuard() {
        const auto deadline = std::chrono::steady_clock::now() + kLockWait;
        bool expected = false;
        while (!g_scriptLock.compare_exchange_weak(expected, true)) {
            expected = false;
            bool ownThread;
            {
                std::lock_guard<std::mutex> l(g_ownerMutex);
                ownThread = g_lockOwner == std::this_thread::get_id();
            }
            if (ownThread || std::chrono::steady_clock::now() >= deadline) {
                LogEvent("Scripting", "Lock Error");
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::lock_guard<std::mutex> l(g_ownerMutex);
        g_lockOwner = std::this_thread::get_id();
        owned_ = true;
    }
    ~ScriptLockGuard() {
        if (!owned_) return;
        {
            std::lock_guard<std::mutex> l(g_ownerMutex);
            g_lockOwner = std::thread::id();
        }
        g_scriptLock.store(false);
    }
    ScriptLockGuard(const ScriptLockGuard&) = delete;
    ScriptLockGuard& operator=(const ScriptLockGuard&) = delete;

private:
    bool owned_ = false;
};

// Messages of one RunTask, shown once the script lock is let go: a message
// box waits for the user, and nothing else may wait on the lock meanwhile.
struct Reports {
    struct Entry {
        std::string text, title;
    };
    std::vector<Entry> entries;
    void Add(std::string text, std::string title = {}) { entries.push_back({std::move(text), std::move(title)}); }
    void Show() const {
        for (const Entry& e : entries) Message(e.text, e.title);
    }
};

class BusyCursor {
public:
    BusyCursor() : hook_(Hooks().busyCursor) {
        if (hook_) hook_(true);
    }
    ~BusyCursor() {
        if (hook_) hook_(false);
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    std::function<void(bool)> hook_;
};

// ---------------------------------------------------------------- files

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string Slashes(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c == '\\') c = '/';
    return r;
}

// The folder a program starts in: the folder named, when it exists (written
// with either kind of slash); else none, so the program starts in the
// current folder as it would after a failed change of folder.
std::string StartFolder(std::string_view startIn) {
    const std::string f = Trim(startIn);
    if (f.empty()) return {};
    if (IsDirectory(f)) return f;
    const std::string s = Slashes(f);
    if (IsDirectory(s)) return s;
    return {};
}

// A file named relative to a folder.
std::string InFolder(const std::string& file, const std::string& folder) {
    if (file.empty() || file[0] == '/' || folder.empty()) return file;
    return folder + "/" + file;
}

// "scheme:rest" with a scheme of two or more letters (a drive letter "C:" is
// not a scheme).
bool IsAddress(std::string_view s) {
    std::size_t i = 0;
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
    while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '+' || s[i] == '-' || s[i] == '.'))
        ++i;
    return i >= 2 && i < s.size() && s[i] == ':';
}

// ---------------------------------------------------------------- starting

struct Started {
    int error = 0;  // 0 when started
    int32_t pid = 0;
};

// Idle priority is set as the program starts; high priority needs a right a
// desktop user rarely has, so it is tried afterwards and a refusal logged.
void RaisePriority(int32_t pid, const std::string& command) {
    if (::setpriority(PRIO_PROCESS, static_cast<id_t>(pid), -5) != 0)
        LogEvent("Run Program", "High priority not permitted, normal priority used: " + CommandForLog(command));
}

void RequestWindowMode(int32_t pid, int32_t windowMode) {
    if (windowMode == kShowNormal || pid <= 0) return;
    if (auto hook = Hooks().windowModeRequested) hook(pid, windowMode);
}

Started StartCommandLine(const std::string& commandLine, const std::string& folder,
                         ProgramPriority priority = ProgramPriority::Normal) {
    StartOptions options;
    options.startFolder = folder;
    options.priority = priority;
    StartResult r = StartProgram(commandLine, options);
    Started s;
    if (!r.ok()) {
        s.error = r.error;
        return s;
    }
    s.pid = r.pid;
    g_lastStarted.store(s.pid);
    return s;
}

// The direct start (the command line as it is, at most 255 characters; a
// desktop entry starts the program its Exec line names).
Started StartProcess(const std::string& command, const std::string& folder, int32_t windowMode,
                     uint8_t defaultPriority, int32_t priority) {
    std::string commandLine = command.substr(0, std::min<std::size_t>(command.size(), 255));
    if (std::string entry = DesktopEntryCommand(commandLine); !entry.empty()) commandLine = entry;
    const int32_t priorityClass =
        defaultPriority == 1 ? kPriorityNormal
                             : (priority == kPriorityIdle || priority == kPriorityHigh ? priority : kPriorityNormal);
    Started s = StartCommandLine(commandLine, folder,
                                 priorityClass == kPriorityIdle ? ProgramPriority::Idle : ProgramPriority::Normal);
    if (s.error != 0) return s;
    if (priorityClass == kPriorityHigh) RaisePriority(s.pid, commandLine);
    RequestWindowMode(s.pid, WindowModeOf(windowMode));
    return s;
}

bool EndsWithDesktop(const std::string& name) {
    if (name.size() < 8) return false;
    std::string ext = name.substr(name.size() - 8);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".desktop";
}

// The Exec value of the [Desktop Entry] group, with its escapes and field
// codes handled.
std::string ExecLineOf(const std::string& path) {
    std::ifstream in(path);
    if (!in) return {};
    std::string line, group;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            group = line;
            continue;
        }
        if (group != "[Desktop Entry]" || line.rfind("Exec", 0) != 0) continue;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos || line.find_first_not_of(' ', 4) != eq) continue;
        std::string value = line.substr(eq + 1);
        std::string out;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '%' && i + 1 < value.size()) {
                if (value[i + 1] == '%') out += '%';
                ++i;  // a field code: nothing to hand over
                continue;
            }
            out += value[i];
        }
        while (!out.empty() && out.back() == ' ') out.pop_back();
        while (!out.empty() && out.front() == ' ') out.erase(0, 1);
        return out;
    }
    return {};
}

}  // namespace

std::string DesktopEntryCommand(std::string_view commandIn) {
    const std::string command(commandIn);
    std::string file, params;
    if (!command.empty() && command[0] == '"') {
        const std::size_t q = command.find('"', 1);
        if (q == std::string::npos) return {};
        file = command.substr(1, q - 1);
        params = command.substr(q + 1);
    } else if (EndsWithDesktop(command)) {
        file = command;
    } else {
        const std::size_t blank = command.find(' ');
        file = command.substr(0, blank);
        if (blank != std::string::npos) params = command.substr(blank);
    }
    if (!EndsWithDesktop(file)) return {};
    const std::string exec = ExecLineOf(file);
    if (exec.empty()) return {};
    while (!params.empty() && params.back() == ' ') params.pop_back();
    return params.find_first_not_of(' ') == std::string::npos ? exec : exec + params;
}

namespace {

uint32_t ShellCodeOf(int error) {
    switch (error) {
        case kFileNotFound: return kShellFileNotFound;
        case kPathNotFound: return kShellPathNotFound;
        case kAccessDenied: return kShellAccessDenied;
        default: return kShellFileNotFound;
    }
}

// Hands a file or address to a desktop program (xdg-open, lp) without
// waiting. The name goes as an argument of its own, never through a command
// line, so quotes and backslashes in it stay part of the name; a name that
// starts with "-" is made "./-..." so it cannot be read as an option.
uint32_t HandOver(const char* program, const std::string& target) {
    const std::string path = FindProgram(program);
    if (path.empty()) return kShellNoAssociation;
    StartOptions options;
    const std::string argument = !target.empty() && target[0] == '-' ? "./" + target : target;
    StartResult r = StartProgramArgs({path, argument}, options);
    if (!r.ok()) return kShellNoAssociation;
    g_lastStarted.store(r.pid);
    return kShellStarted;
}

// The shell start with the verb given as RunTask passes it.
uint32_t ShellExecuteTask(const std::string& verb, const std::string& command, const std::string& folder,
                          int32_t windowMode) {
    auto attempt = [&](const std::string& file, const std::string& params) {
        uint32_t r = ShellStart(verb, file, params, folder, windowMode);
        g_lastShellResult.store(r);
        return r;
    };
    uint32_t r = attempt(command, {});
    if (r >= 32) return r;

    // One retry with the command split into file and parameters.
    std::string file, params;
    bool split = false;
    if (!command.empty() && command[0] == '"') {
        const std::string rest = command.substr(1);
        const std::size_t q = rest.find('"');
        file = q == std::string::npos ? rest : rest.substr(0, q);
        params = q == std::string::npos ? std::string() : Trim(rest.substr(q + 1));
        split = true;
    } else {
        const std::size_t blank = command.find(' ');
        if (blank != std::string::npos && blank + 1 < command.size()) {
            file = command.substr(0, blank);
            params = Trim(command.substr(blank + 1));
            split = true;
        }
    }
    // Without a split the retry would be the same call again.
    if (!split) return r;
    r = attempt(file, params);
    if (r >= 32) return r;

    // Last, every blank from the end back to the third character divides
    // the command into a file and its parameters.
    for (std::size_t i = command.size() >= 2 ? command.size() - 2 : 0; i >= 2 && i < command.size(); --i) {
        if (command[i] != ' ') continue;
        r = attempt(command.substr(0, i), Trim(command.substr(i + 1)));
        if (r >= 32) break;
    }
    return r;
}

void ReportStartFailure(const std::string& command, uint32_t code, Reports& reports) {
    // The line and the box show the command as the log does: a transfer
    // program's password never appears in either.
    const std::string shown = CommandForLog(command);
    if (runner::LogEvents() && runner::LogExitCodes()) {
        LogEvent("Error starting", shown + ", error code " + std::to_string(code));
    } else {
        reports.Add("Could not start " + shown + ".", "Error Code " + std::to_string(code));
    }
}

// Starts the program of RunTask; false (after reporting it) when it could
// not be started.
bool StartTaskProgram(const std::string& command, const std::string& folder, const std::string& verb,
                      int32_t* handleOut, int32_t windowMode, uint8_t defaultPriority, int32_t priority,
                      Reports& reports) {
    const bool logEvents = runner::LogEvents(), logExitCodes = runner::LogExitCodes();
    if (handleOut || logEvents || logExitCodes) {
        Started s = StartProcess(command, folder, windowMode, defaultPriority, priority);
        if (handleOut) *handleOut = s.error == 0 ? s.pid : 0;
        if (s.error == 0) {
            if (logEvents && logExitCodes) StartedPrograms().Add(s.pid, CommandForLog(command));
            return true;
        }
    }
    const uint32_t r = ShellExecuteTask(verb, command, folder, windowMode);
    if (r >= 32) return true;
    ReportStartFailure(command, r, reports);
    return false;
}

// ---------------------------------------------------------------- script items

// The Scripting table as the program reads it.
class TableScriptItemReader : public ScriptItemReader {
public:
    int Start(int32_t taskID) override {
        opened_ = Scripting_Relations().Open() == data::kLevelBenign;
        if (!opened_) return Fail();
        auto& file = Scripting_File();
        Scripting& rec = file.rec();
        saved_ = rec;
        restore_ = true;
        rec = Scripting{};
        rec.ID = taskID;
        rec.Sequence = INT32_MIN;
        if (file.SetPosition(file.Key("SCR:KeyID")) != data::kLevelBenign) return Fail();
        return 0;
    }
    int Next(Scripting& item) override {
        auto& file = Scripting_File();
        if (file.TryNext() != data::kLevelBenign) return Fail();
        item = file.rec();
        return 0;
    }
    void Finish() override {
        if (restore_) Scripting_File().rec() = saved_;
        restore_ = false;
        if (opened_) Scripting_Relations().Close();
        opened_ = false;
    }
    std::string ErrorText() const override { return error_; }

private:
    int Fail() {
        int code = data::LastErrorCode();
        error_ = data::LastErrorText();
        return code == 0 ? kDriverError : code;
    }
    bool opened_ = false;
    bool restore_ = false;
    Scripting saved_;  // the thread's buffer, put back when the reading ends
    std::string error_;
};

bool BeginsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// Moves a moment on by a number of hundredths (which may be large or below 0).
void Advance(int32_t& date, int32_t& time, int64_t hundredths) {
    SplitMoment(MomentOf(date, time) + hundredths, date, time);
}

}  // namespace
void RewriteTransferItem(Scripting& r);
namespace {

void LoadScriptItems(int32_t scheduleID, Reports& reports) {
    const int32_t delay = runner::ScriptingDelay();
    int32_t date = Today(), time = ClockTime();
    Advance(date, time, 2 * static_cast<int64_t>(delay));
    if (auto last = ScriptQueue().Last()) {
        if (CompareDateTime(last->Date, last->Time, date, time) > 0) {
            date = last->Date;
            time = last->Time;
            Advance(date, time, delay);
        }
    }

    TableScriptItemReader tableReader;
    ScriptItemReader* reader = g_reader.load();
    if (!reader) reader = &tableReader;

    std::vector<ScriptQueueEntry> entries;
    if (int err = reader->Start(scheduleID); err != 0) {
        LogEvent("Script", "Set Error: " + reader->ErrorText());
        reader->Finish();
        return;
    }
    Scripting item;
    while (true) {
        const int err = reader->Next(item);
        if (err == kRecordNotAvailable) break;
        if (err != 0) {
            // A failed read leaves no item to queue; reading on could repeat
            // the failure without end.
            reports.Add("Error executing script: " + reader->ErrorText());
            break;
        }
        if (item.ID != scheduleID) break;

        ScriptQueueEntry e;
        e.Record = item;
        const std::string_view action = item.Action.str();
        if (BeginsWith(action, "Wait")) {
            const std::string joiner = Lower(ClipRight(item.DDEApplicationName.str()));
            if (joiner == "or" || joiner == "either")
                e.Record.TimeElapsed = 0;  // its end is worked out when it runs
            else
                Advance(date, time, static_cast<int64_t>(item.SecondsToWait) * 100);
        } else if (action.find("...") == std::string_view::npos) {
            Advance(date, time, delay);
        }
        e.Date = date;
        e.Time = time;
        if (BeginsWith(action, "If T")) {
            int32_t limitDate = date, limitTime = time;
            Advance(limitDate, limitTime, static_cast<int64_t>(item.TimeElapsed) * 100);
            e.Record.SecondsToWait = limitDate;
            e.Record.TimeElapsed = limitTime;
        }
        if (BeginsWith(action, "File")) RewriteTransferItem(e.Record);
        e.WindowHandle = g_lastShellResult.load();
        entries.push_back(std::move(e));
    }
    reader->Finish();

    if (!entries.empty()) {
        ScriptQueueEntry end;
        end.Record.Action = kEndOfScriptAction;
        end.Date = date;
        end.Time = time;
        entries.push_back(std::move(end));
        ScriptQueue().Append(entries);
    }
}

}  // namespace

namespace {

// One argument of the transfer program's command line, quoted (when it holds
// a blank, a quote, "/", "\" or ",") so that the command-line split gives
// back every character: quotes and the backslashes before them escaped.
std::string TransferArgument(std::string_view value) {
    const std::string v = ClipRight(value);
    if (v.empty()) return "\"\"";
    if (v.find_first_of(" \t\"/\\,") == std::string::npos) return v;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : v) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        out += c;
        backslashes = 0;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

}  // namespace

std::string CommandForLog(std::string_view command) { return MaskTransferPassword(command); }

// A transfer item of File Actions becomes the start of the transfer program,
// waited for (options: wait, normal priority, normal window, translate).
void RewriteTransferItem(Scripting& r) {
    const std::string type = ClipRight(r.DDEType.str());
    const std::string topic = r.DDEApplicationTopic.padded();
    auto q = [](std::string_view v) { return QuoteIfNeeded(v); };
    auto a = [](std::string_view v) { return TransferArgument(v); };
    std::string command, options;
    if (type == "FTP Upload" || type == "FTP Download") {
        command = std::string(type == "FTP Upload" ? "KRFTP U " : "KRFTP D ") + a(r.Command.str()) + " " +
                  a(r.Path.str()) + " " + a(r.DDEApplicationName.str()) + " " + a(topic.substr(0, 128)) + " " +
                  a(topic.substr(128, 128));
        options = type == "FTP Upload" ? "12111" : "1211";
    } else if (type == "HTTP Download") {
        command = "HTTPGET " + q(r.Command.str()) + " " + q(r.Path.str()) + " /AUTO";
        options = "1211";
    } else {
        return;
    }
    r.Action = "Start Program";
    r.Command = command;
    r.DDEApplicationName = options;
    r.TimeElapsed = 360000;
    r.DDEApplicationTopic = "";
}

int32_t WindowModeOf(int32_t showMode) {
    switch (showMode) {
        case kShowHidden:
        case kShowMinimized:
        case kShowMaximized:
        case kShowMinimizedNoActivate:
        case kShowNoActivate: return showMode;
        default: return kShowNormal;
    }
}

uint32_t ShellStart(std::string_view verbIn, std::string_view fileIn, std::string_view parameters,
                    std::string_view folderIn, int32_t showMode) {
    const std::string verb = Lower(Trim(verbIn));
    const std::string file = Trim(fileIn);
    const std::string folder = StartFolder(folderIn);
    if (file.empty()) return kShellFileNotFound;

    const bool open = verb.empty() || verb == "open";
    if (open || verb == "explore" || verb == "edit") {
        if (IsAddress(file) && !Exists(InFolder(file, folder))) {
            return verb == "explore" ? kShellNoAssociation : HandOver("xdg-open", file);
        }
    }
    // The file as named, relative to the start folder; a name with
    // backslashes is tried with slashes too.
    std::string path = InFolder(file, folder);
    if (!Exists(path) && Exists(InFolder(Slashes(file), folder))) path = InFolder(Slashes(file), folder);

    if (open) {
        // A program is started with its parameters.
        // Only a real program (ELF or "#!") is run; any other file with the
        // execute bit is a document and is opened.
        std::string program = IsDirectory(path) ? std::string() : FindProgram(file, folder);
        if (!program.empty() && !IsProgramFile(program)) program.clear();
        if (!program.empty()) {
            const std::string commandLine =
                QuoteIfNeeded(program) + (Trim(parameters).empty() ? "" : " " + Trim(parameters));
            Started s = StartCommandLine(commandLine, folder);
            if (s.error != 0) return ShellCodeOf(s.error);
            RequestWindowMode(s.pid, WindowModeOf(showMode));
            return kShellStarted;
        }
    }
    if (!Exists(path)) {
        const std::size_t slash = path.rfind('/');
        const bool folderMissing = slash != std::string::npos && slash > 0 && !IsDirectory(path.substr(0, slash));
        return folderMissing ? kShellPathNotFound : kShellFileNotFound;
    }
    if (open || verb == "edit") return HandOver("xdg-open", path);
    if (verb == "explore") return IsDirectory(path) ? HandOver("xdg-open", path) : kShellNoAssociation;
    if (verb == "print") return IsDirectory(path) ? kShellNoAssociation : HandOver("lp", path);
    return kShellNoAssociation;
}

void RunTask(std::string_view commandIn, std::string_view startIn, std::string_view verbIn, int32_t scheduleID,
             int32_t* handleOut, int32_t showMode, uint8_t normalWindow, uint8_t openVerb, uint8_t defaultPriority,
             int32_t priority) {
    const std::string command = ClipRight(commandIn);
    Reports reports;
    bool chained = false;
    {
        ScriptLockGuard lock;
        if (Upper(command.substr(0, std::min<std::size_t>(command.size(), 7))) == "KRCHAIN") {
            Started s = StartCommandLine(command, {});
            // The program stays open when the program meant to follow it
            // did not start.
            if (s.error != 0)
                ReportStartFailure(command, ShellCodeOf(s.error), reports);
            else
                chained = true;
        } else {
            BusyCursor busy;
            const int32_t windowMode = normalWindow == 1 ? kShowNormal : showMode;
            LogEvent("Run Program", CommandForLog(command));
            bool started = true;
            if (Upper(Trim(command)) != "N/A") {
                const std::string verb = openVerb == 1 ? std::string("open") : Lower(ClipRight(verbIn));
                started = StartTaskProgram(command, StartFolder(startIn), verb, handleOut, windowMode,
                                           defaultPriority, priority, reports);
            }
            if (started && scheduleID != 0) LoadScriptItems(scheduleID, reports);
        }
    }
    reports.Show();
    if (chained) {
        if (auto close = Hooks().closeApplication) close();
    }
}

bool ScriptLockSet() { return g_scriptLock.load(); }
uint32_t LastShellResult() { return g_lastShellResult.load(); }
int32_t LastStartedProcess() { return g_lastStarted.load(); }

void SetScriptItemReader(ScriptItemReader* reader) { g_reader.store(reader); }

void SetTaskRunnerHooks(TaskRunnerHooks hooks) {
    std::lock_guard<std::mutex> l(g_hooksMutex);
    g_hooks = std::move(hooks);
}

void ShowTaskMessage(const Schedule& task) {
    if (auto show = Hooks().showTaskMessage) {
        show(task);
        return;
    }
    LogEvent("Message", ClipRight(task.Description.str()) + " " + task.AlarmFile.str());
}

}  // namespace kr
