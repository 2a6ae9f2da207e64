#include "scheduler/ScriptInterpreter.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/Settings.h"
#include "organiser/SendEmailMessage.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/runtime/Value.h"
#include "scheduler/DateValues.h"
#include "scheduler/RunnerSettings.h"
#include "scheduler/ScriptServices.h"
#include "scheduler/ScriptValues.h"
#include "scheduler/TaskRunner.h"
#include "scheduler/TranslateValues.h"
#include "scriptedit/ScriptItems.h"

namespace kr {

namespace {

// Handles at or below this count as "no window" for the waits and Set Focus.
constexpr uint32_t kLowestWindow = 31;
// The keystroke buffer of Send Keys.
constexpr std::size_t kKeystrokeBufferSize = 10000;
// The message memo of a task message.
constexpr std::size_t kMessageSize = 4096;

bool Debug() { return runner::DebugMode(); }

bool BeginsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

void DebugLog(const std::string& label, const std::string& text) {
    if (Debug()) LogEvent(label, text);
}

// The moment that lies `hundredths` after date/time, normalised.
void Advance(int32_t& date, int32_t& time, int64_t hundredths) {
    SplitMoment(MomentOf(date, time) + hundredths, date, time);
}

bool NowLaterThan(int32_t date, int32_t time) { return CompareDateTime(Today(), ClockTime(), date, time) == 1; }

std::string Cut(std::string s, std::size_t n) {
    if (s.size() > n) s.resize(n);
    return s;
}

std::vector<std::string> SplitCaptions(const std::string& list) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
        const std::size_t bar = list.find('|', start);
        std::string part = ClipRight(list.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (!part.empty()) out.push_back(part);
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return out;
}

bool ValidBusName(const QString& name) {
    // Well-known names: at least two dot-separated elements of [A-Za-z0-9_-],
    // none starting with a digit, at most 255 characters.
    if (name.isEmpty() || name.size() > 255 || name.startsWith('.') || name.endsWith('.')) return false;
    const QStringList parts = name.split('.');
    if (parts.size() < 2) return false;
    for (const QString& p : parts) {
        if (p.isEmpty() || p[0].isDigit()) return false;
        for (QChar c : p)
            if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != '_' && c != '-') return false;
    }
    return true;
}

}  // namespace

std::string DdeObjectPath(std::string_view topic) {
    std::string path = "/";
    for (char c : ClipRight(topic)) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        path += ok ? c : '_';
    }
    return path;
}

bool SendDdeCommand(std::string_view application, std::string_view topic, std::string_view command) {
    const QString service = QString::fromStdString(ClipRight(application));
    if (!ValidBusName(service)) return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(service, QString::fromStdString(DdeObjectPath(topic)),
                                                       QString(), QStringLiteral("Execute"));
    call << QString::fromStdString(ClipRight(command));
    call.setAutoStartService(false);
    return bus.send(call);
}

ScriptInterpreter::ScriptInterpreter() : context_(std::make_unique<QObject>()) {}

ScriptInterpreter::~ScriptInterpreter() { Cancel(); }

void ScriptInterpreter::Cancel() {
    if (pending_ == Pending::Keys)
        if (KeystrokeService* keys = Keystrokes()) keys->Cancel();
    pending_ = Pending::None;
    pendingDone_ = false;
    ++pendingGeneration_;
    waitingForWindow_ = false;
}

void ScriptInterpreter::Step() {
    const std::optional<ScriptQueueEntry> head = ScriptQueue().First();
    if (!head) {
        if (pending_ != Pending::None) Cancel();
        return;
    }
    if (CompareDateTime(Today(), ClockTime(), head->Date, head->Time) == 1) RunItem();
}

void ScriptInterpreter::RunItem() {
    std::optional<ScriptQueueEntry> head = ScriptQueue().First();
    if (!head) return;
    // A step that was working for another head (the queue was stopped or
    // its head deleted) is over.
    if (pending_ != Pending::None && !PendingFor(*head)) Cancel();
    keep_ = false;
    Run(*head);
    if (keep_) {
        keep_ = false;
        return;
    }
    Complete();
}

void ScriptInterpreter::Complete() {
    const std::optional<ScriptQueueEntry> head = ScriptQueue().First();
    if (!head) return;
    Scripting shown = head->Record;
    shown.Command = CommandForLog(shown.Command.str());
    LogEvent("Script", ClipRight(shown.Action.str()) + "  " + DescribeScriptItem(shown));
    ScriptQueue().Delete(1);
}

void ScriptInterpreter::NotAvailable(const std::string& action) {
    LogEvent("Script Error", ClipRight(action) + " is not available");
}

void ScriptInterpreter::Run(ScriptQueueEntry& head) {
    const Scripting& s = head.Record;
    const std::string& a = s.Action.str();
    if (a == "Display Message") {
        DisplayMessage(s);
    } else if (a == "Exit Script") {
        ExitScript();
    } else if (a == "Close Program") {
        CloseProgram(s);
    } else if (a == "Start Program") {
        StartProgram(head);
    } else if (a == "Send Keystrokes" || a == "Send Keys") {
        SendKeys(head);
    } else if (a == "DDE (Dynamic Data Exchange)" || a == "DDE") {
        SendDdeCommand(s.DDEApplicationName.str(), s.DDEApplicationTopic.str(), s.DDECommand.str());
    } else if (a == "Set Focus") {
        SetFocus(s);
    } else if (a == "File Actions") {
        FileAction(head);
    } else if (a == "Send Email") {
        SendEmail(head);
    } else if (a == "Set Value") {
        SetScriptVariable(s.Path.str(), s.Command.str());
    } else if (a == "If Value...") {
        IfValue(s);
    } else if (a == "Start Script") {
        StartScript(s);
    } else if (a == "Wait") {
        Wait(head);
    } else if (a == "Wait for Program End") {
        WaitForProgramEnd(head);
    } else if (a == "If Window...") {
        IfWindow(s);
    } else if (a == "If Time Elapsed...") {
        IfTimeElapsed(s);
    } else if (a == "...End If" || a == kEndOfScriptAction || a == "Comment") {
        // Nothing besides the log line; a comment only documents the script.
    } else {
        Message("Invalid script option:  " + ClipRight(a), "Script Error", MessageIcon::None, kButtonOk);
    }
}

// ---------------------------------------------------------------- messages

void ScriptInterpreter::DisplayMessage(const Scripting& s) {
    if (s.SecondsToWait == 0) {
        // A task message made from a copy of the current task: the scheduler's
        // own buffer is never changed, so nothing of the message can reach
        // the Schedule table.
        Schedule task = Schedule_File().rec();
        task.Description = TranslateValues(s.DDEApplicationTopic.str());
        task.Alarm = 0;
        task.AlarmFile = "";
        task.Message = Cut(TranslateValues(s.DDEApplicationName.str()), kMessageSize);
        ShowTaskMessage(task);
        return;
    }
    MessageRequest r;
    r.text = TranslateValues(s.DDEApplicationName.str());
    r.title = TranslateValues(s.DDEApplicationTopic.str());
    r.icon = MessageIcon::Exclamation;
    const std::vector<std::string> captions = SplitCaptions(s.FocusOnWindow.str());
    if (captions.empty()) {
        r.buttons = kButtonOk;
        Messages().Show(r);
        return;
    }
    r.captions = captions;
    messageResponse_ = Messages().Show(r);
    SetScriptVariable("RESPONSE", std::to_string(messageResponse_));
}

// ---------------------------------------------------------------- flow

void ScriptInterpreter::ExitScript() {
    // Down to this task's end; the "**End**" item is then the completed one.
    ScriptQueue().Delete(1);
    while (true) {
        const std::optional<ScriptQueueEntry> head = ScriptQueue().First();
        if (!head) {
            keep_ = true;
            return;
        }
        if (head->Record.Action == kEndOfScriptAction) return;
        ScriptQueue().Delete(1);
    }
}

bool ScriptInterpreter::SkipToEndIf() {
    DebugLog("Test failed", "Removing task items.");
    while (true) {
        ScriptQueue().Delete(1);
        const std::optional<ScriptQueueEntry> head = ScriptQueue().First();
        if (!head) {
            keep_ = true;
            return false;
        }
        const std::string a = Lower(head->Record.Action.str());
        if (a == "...end if" || BeginsWith(a, "end")) return true;
        if (BeginsWith(a, "if ") && !SkipToEndIf()) return false;
    }
}

void ScriptInterpreter::IfValue(const Scripting& s) {
    const std::string description = DescribeScriptItem(s);
    if (CompareScriptValue(s.Command.str(), s.WindowTitleToCheckFor.str(), s.WaitForWindow.str())) {
        LogEvent("Script", ClipRight(s.Action.str()) + " *TRUE*" + description);
        return;
    }
    LogEvent("Script", ClipRight(s.Action.str()) + " *FALSE* " + description);
    SkipToEndIf();
}

void ScriptInterpreter::IfWindow(const Scripting& s) {
    bool found = false;
    if (ScriptWindowService* windows = ScriptWindows()) {
        lastWindow_ = windows->FindWindowByTitle(s.WindowTitleToCheckFor.str(), s.FocusOnWindow.str());
        found = lastWindow_ > 0;
    } else {
        NotAvailable(s.Action.str());
    }
    const bool wanted = Lower(s.WindowExistance.str()).find("exists") != std::string::npos;
    if (found != wanted) {
        LogEvent("Script", ClipRight(s.Action.str()) + " " + DescribeScriptItem(s));
        SkipToEndIf();
        return;
    }
    DebugLog("Test Passed", "Next item will be processed.  " + DescribeScriptItem(s));
}

void ScriptInterpreter::IfTimeElapsed(const Scripting& s) {
    // The moment the item carries: date in SecondsToWait, time in TimeElapsed.
    const int32_t date = s.SecondsToWait, time = s.TimeElapsed;
    const int32_t today = Today(), clock = ClockTime();
    const bool reached = today > date || (today == date && clock >= time);
    const bool holds = IsGreaterThanCondition(s.IfTimeElapsed.str()) ? !reached : reached;
    if (!holds) {
        LogEvent("Script", ClipRight(s.Action.str()) + " " + DescribeScriptItem(s));
        SkipToEndIf();
        return;
    }
    DebugLog("Test Passed", "Next item will be processed.");
}

void ScriptInterpreter::StartScript(const Scripting& s) {
    StartScriptService* service = StartScripts();
    if (!service) {
        NotAvailable(s.Action.str());
        return;
    }
    if (service->StartScript(s.Command.str(), s.Path.str())) keep_ = true;
}

// ---------------------------------------------------------------- programs

void ScriptInterpreter::CloseProgram(const Scripting& s) {
    if (!s.Command.str().empty()) {
        const StartResult r = kr::StartProgram("KillProc " + s.Command.str());
        if (!r.ok()) LogEvent("Script Error", "Could not start KillProc: " + r.message);
        return;
    }
    ScriptWindowService* windows = ScriptWindows();
    if (!windows) {
        NotAvailable(s.Action.str());
        return;
    }
    const ScriptWindowInfo foreground = windows->ForegroundWindow();
    if (foreground.own) {
        // Closing our own window would end or hide the program running the
        // script; the step closes nothing.
        LogEvent("Script", "Close Program: the window with the focus is Kairoll's own (" + foreground.title +
                               "); nothing closed");
        return;
    }
    if (foreground.handle != 0) windows->CloseWindow(foreground.handle);
}

void ScriptInterpreter::StartProgram(ScriptQueueEntry& head) {
    Scripting& s = head.Record;
    std::string options = s.DDEApplicationName.str();
    options.resize(4, ' ');
    const bool wait = options[0] == '1';
    const int32_t priority = options[1] == '1' ? kPriorityIdle : options[1] == '3' ? kPriorityHigh : kPriorityNormal;
    int32_t mode = kShowNormal;
    switch (options[2]) {
        case '2': mode = kShowMinimized; break;
        case '3': mode = kShowMaximized; break;
        case '7': mode = kShowMinimizedNoActivate; break;
        case '8': mode = kShowNoActivate; break;
        default: break;
    }
    std::string command = s.Command.str(), folder = s.Path.str();
    const bool translate = options[3] == '1';
    if (translate || Options().TranslateFilenames.load() != 0) {
        command = Cut(TranslateValues(command), 255);
        folder = Cut(TranslateValues(folder), 255);
        if (translate) DebugLog("Translated", CommandForLog(command));
    }
    const std::string verb = ClipRight(s.DDEApplicationTopic.str());
    programWaitLimit_ = s.TimeElapsed;

    int32_t handle = 0;
    const char* label;
    if (!wait && priority == kPriorityNormal && mode <= kShowNormal && verb.empty()) {
        RunTask(command, folder, "open", 0, nullptr, kShowNormal, 1, 1, 1, kPriorityNormal);
        label = "Debug - Simple Run";
    } else if (verb.empty() || wait) {
        RunTask(command, folder, "open", 0, &handle, mode, 0, 1, 0, priority);
        label = "Debug - No Operation Sent";
    } else {
        RunTask(command, folder, verb, 0, &handle, mode, 0, 0, 0, priority);
        label = "Debug - Full Command Sent";
    }
    if (Debug()) {
        const std::string shown = handle != 0 ? std::to_string(handle) : std::string(wait ? "1" : "0");
        LogEvent(label, CommandForLog(command) + "\r" + folder + "\r0\r" + shown + "\r" + std::to_string(mode) + "\r" +
                            std::to_string(priority) + "\r0\r" + verb);
    }
    if (!wait) return;

    // The program to wait for: the one started directly, else what the
    // shell start ran; none when the start failed.
    if (handle == 0 && LastShellResult() >= 32) handle = LastStartedProcess();
    waitProcess_ = handle;
    if (programWaitLimit_ != 0) {
        int32_t date = Today(), time = ClockTime();
        Advance(date, time, static_cast<int64_t>(programWaitLimit_) * 100);
        s.NextTaskID = date;
        s.TimeElapsed = time;
    }
    s.Action = "Wait for Program End";
    ScriptQueue().Put(1, head);
    keep_ = true;
}

void ScriptInterpreter::WaitForProgramEnd(const ScriptQueueEntry& head) {
    const int code = waitProcess_ != 0 ? PollExitCode(waitProcess_) : -1;
    if (code == kStillActive) {
        SetScriptVariable("ExitCode", std::to_string(kStillActive));
        if (programWaitLimit_ != 0 && NowLaterThan(head.Record.NextTaskID, head.Record.TimeElapsed)) return;
        keep_ = true;
        return;
    }
    SetScriptVariable("ExitCode", std::to_string(code));
}

// ---------------------------------------------------------------- windows

void ScriptInterpreter::SetFocus(const Scripting& s) {
    ScriptWindowService* windows = ScriptWindows();
    if (!windows) {
        NotAvailable(s.Action.str());
        return;
    }
    lastWindow_ = windows->FindWindowByTitle(s.FocusOnWindow.str(), s.WaitForWindow.str());
    if (lastWindow_ > kLowestWindow) {
        if (windows->SetFocus(lastWindow_)) DebugLog("Foreground Window", std::to_string(lastWindow_));
        return;
    }
    DebugLog("Debug", s.FocusOnWindow.str() + " Failed Set Focus");
}

void ScriptInterpreter::Wait(ScriptQueueEntry& head) {
    Scripting& s = head.Record;
    const std::string joiner = Lower(s.DDEApplicationName.str());
    if (joiner == "or" || joiner == "either") {
        if (s.TimeElapsed == 0) {
            int32_t date = Today(), time = ClockTime();
            Advance(date, time, static_cast<int64_t>(s.SecondsToWait) * 100 - runner::ScriptingDelay());
            s.NextTaskID = date;
            s.TimeElapsed = time;
            ScriptQueue().Put(1, head);
        }
        if (NowLaterThan(s.NextTaskID, s.TimeElapsed)) return;
    }
    if (s.WaitForWindow.str().empty()) return;

    waitingForWindow_ = true;
    ScriptWindowService* windows = ScriptWindows();
    if (!windows) {
        // Without the desktop's windows the wait could never end.
        NotAvailable(s.Action.str());
        waitingForWindow_ = false;
        return;
    }
    const std::string& pattern = s.WaitForWindow.str();
    lastWindow_ = windows->FindWindowByTitle(pattern, s.FocusOnWindow.str());
    if (pattern[0] == '~') {
        if (lastWindow_ > kLowestWindow) {
            keep_ = true;
            return;
        }
    } else {
        if (lastWindow_ <= kLowestWindow) {
            keep_ = true;
            return;
        }
        windows->SetFocus(lastWindow_);
        DebugLog("Debug", "Switched to window:\r" + pattern);
    }
    DebugLog("Debug", "Completed wait at " + Format(Value(static_cast<int64_t>(Today())), "d17") + " " +
                          Format(Value(static_cast<int64_t>(ClockTime())), "t7"));
    waitingForWindow_ = false;
}

// ---------------------------------------------------------------- background steps

bool ScriptInterpreter::PendingFor(const ScriptQueueEntry& head) const {
    const Scripting& a = head.Record;
    const Scripting& b = pendingEntry_.Record;
    return a.ID == b.ID && a.Sequence == b.Sequence && a.Action == b.Action && head.Date == pendingEntry_.Date &&
           head.Time == pendingEntry_.Time;
}

void ScriptInterpreter::StartPending(Pending kind, const ScriptQueueEntry& head) {
    pending_ = kind;
    pendingDone_ = false;
    ++pendingGeneration_;
    pendingEntry_ = head;
    keep_ = true;
}

void ScriptInterpreter::FinishPending() {
    pending_ = Pending::None;
    pendingDone_ = false;
}

void ScriptInterpreter::SendKeys(const ScriptQueueEntry& head) {
    if (pending_ == Pending::Keys) {
        if (!pendingDone_) {
            keep_ = true;
            return;
        }
        FinishPending();
        return;
    }
    KeystrokeService* keys = Keystrokes();
    if (!keys) {
        NotAvailable(head.Record.Action.str());
        return;
    }
    const std::string text = Cut(head.Record.Keystrokes.str(), kKeystrokeBufferSize);
    StartPending(Pending::Keys, head);
    const uint64_t generation = pendingGeneration_;
    if (!keys->Send(text, [this, generation](bool) {
            if (generation == pendingGeneration_) pendingDone_ = true;
        })) {
        FinishPending();
        keep_ = false;
        NotAvailable(head.Record.Action.str());
    }
}

void ScriptInterpreter::FileAction(const ScriptQueueEntry& head) {
    if (pending_ == Pending::File) {
        if (!pendingDone_) {
            keep_ = true;
            return;
        }
        FinishPending();
        return;
    }
    FileActionService* files = FileActions();
    if (!files) {
        NotAvailable(head.Record.Action.str());
        return;
    }
    const Scripting& s = head.Record;
    FileActionRequest request{s.DDEType.str(), s.Command.str(), s.Path.str(), s.DDEApplicationName.str(),
                              s.DDEApplicationTopic.str()};
    StartPending(Pending::File, head);
    const uint64_t generation = pendingGeneration_;
    if (!files->Start(request, [this, generation](int32_t result) {
            if (generation != pendingGeneration_) return;
            fileActionResult_ = result;
            pendingDone_ = true;
        })) {
        FinishPending();
        keep_ = false;
        NotAvailable(s.Action.str());
    }
}

void ScriptInterpreter::SendEmail(const ScriptQueueEntry& head) {
    if (pending_ == Pending::Mail) {
        if (!pendingDone_) {
            keep_ = true;
            return;
        }
        FinishPending();
        return;
    }
    StartPending(Pending::Mail, head);
    const uint64_t generation = pendingGeneration_;
    SendEmailMessageAsync(head.Record.EmailID, false, true, context_.get(), [this, generation](int32_t result) {
        // The value is the send's outcome, even when the script was stopped
        // meanwhile.
        emailResult_ = result;
        SetScriptVariable("EmailExitCode", std::to_string(result));
        if (generation == pendingGeneration_) pendingDone_ = true;
    });
}

ScriptInterpreter& ProgramScriptInterpreter() {
    static ScriptInterpreter interpreter;
    return interpreter;
}

void StopActiveScripts() {
    ScriptQueue().Free();
    ProgramScriptInterpreter().Cancel();
}

}  // namespace kr
