#include "scheduler/TaskMessage.h"

#include <mutex>
#include <utility>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/OpenTable.h"
#include "dictionary/Settings.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/desktop/Sound.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "scheduler/DateValues.h"
#include "scheduler/Reschedule.h"
#include "scheduler/TableScheduleStore.h"
#include "scheduler/TranslateValues.h"

namespace kr {
namespace {

std::mutex& HooksMutex() {
    static std::mutex m;
    return m;
}
MessageDisplay& Display() {
    static MessageDisplay d;
    return d;
}
ProgramRunner& Runner() {
    static ProgramRunner r;
    return r;
}
TaskRun& ExecuteRunner() {
    static TaskRun r;
    return r;
}
std::function<void(const Schedule&)>& Wizard() {
    static std::function<void(const Schedule&)> w;
    return w;
}

template <class T>
T Copy(T& hook) {
    std::lock_guard<std::mutex> l(HooksMutex());
    return hook;
}

int RunProgram(const std::string& commandLine) {
    if (ProgramRunner r = Copy(Runner())) return r(commandLine);
    const StartResult started = StartProgram(commandLine);
    return started.error;
}

// What the table engine said about the last failure, for the report.
std::string FailureText() {
    std::string t = data::LastFileErrorText();
    return t.empty() ? data::LastErrorText() : t;
}

bool Flag(const std::atomic<uint8_t>& f) { return f.load() != 0; }

// The message of the task with its value references replaced.
TaskMessageCopy TranslatedMessage(const Schedule& task) {
    TaskMessageCopy m;
    m.Title = TranslateValues(task.Description.str());
    m.Message = TranslateValues(task.Message);
    if (task.Alarm) m.AlarmFile = TranslateValues(task.AlarmFile.str());
    return m;
}

TaskMessageCopy FromGlobals() {
    const MessageGlobalValues& g = MessageGlobals();
    TaskMessageCopy m;
    m.Title = g.MessageTitle.str();
    m.Message = g.MessageText.str();
    m.AlarmFile = g.MessageAlarmFile.str();
    return m;
}

void PlainMessage(const TaskMessageCopy& m) { Message(m.Message.str(), m.Title.str()); }

}  // namespace

MessageGlobalValues& MessageGlobals() {
    static MessageGlobalValues g;
    return g;
}

std::atomic<int>& MessageThreadCount() {
    static std::atomic<int> count{0};
    return count;
}

void SetMessageDisplay(MessageDisplay display) {
    std::lock_guard<std::mutex> l(HooksMutex());
    Display() = std::move(display);
}

void SetMessageProgramRunner(ProgramRunner runner) {
    std::lock_guard<std::mutex> l(HooksMutex());
    Runner() = std::move(runner);
}

void SetExecuteTaskRunner(TaskRun run) {
    std::lock_guard<std::mutex> l(HooksMutex());
    ExecuteRunner() = std::move(run);
}

void SetMessageWizard(std::function<void(const Schedule&)> wizard) {
    std::lock_guard<std::mutex> l(HooksMutex());
    Wizard() = std::move(wizard);
}

bool MessageWizardInstalled() { return static_cast<bool>(Copy(Wizard())); }

void LogMessageShown(const std::string& title, const std::string& alarmFile) {
    LogEvent("Message", ClipRight(title) + " " + alarmFile);
}

int32_t NextMsgLinkID() {
    data::Table& t = data::TableOf(MsgLinkDef());
    t.Clear();
    if (t.Set(MsgLinkDef().key("ML:K_ID")) != kNoError) return 1;
    if (t.Previous() != kNoError) return 1;
    return t.Rec<MsgLink>().ID + 1;
}

int HandOverMessage(const TaskMessageCopy& message) {
    data::Table& t = data::TableOf(MsgLinkDef());
    const int opened = OpenTable(t);
    if (opened != kNoError) return opened;
    const int32_t id = NextMsgLinkID();
    MsgLink& ML = t.Rec<MsgLink>();
    ML = MsgLink();
    ML.ID = id;
    ML.Title = message.Title.str();
    ML.Message = message.Message.str();
    ML.AlarmFile = message.AlarmFile.str();
    int result = t.Add();
    // A record that was added stays in the file even when the program does
    // not start; the message program deletes what it reads.
    if (result == kNoError) result = RunProgram(std::string(kMessageProgram) + " ID=" + std::to_string(id));
    t.Close();
    return result;
}

int RunMessageProgram() {
    const TaskMessageCopy m = FromGlobals();
    LogMessageShown(m.Title.str(), m.AlarmFile.str());
    return HandOverMessage(m);
}

void ShowTaskMessage_Display(const Schedule& task) {
    OptionGlobals& o = Options();
    const TaskMessageCopy translated = TranslatedMessage(task);
    if (Flag(o.UseExternalMessage)) {
        LogMessageShown(task.Description.str(), task.AlarmFile.str());
        if (HandOverMessage(translated) == kNoError) return;
    }
    if (MessageThreadCount().load() >= kMaxMessageThreads) {
        PlainMessage(translated);
        return;
    }
    MessageGlobalValues& g = MessageGlobals();
    g.MessageTitle = translated.Title.str();
    g.MessageText = translated.Message.str();
    g.MessageAlarmFile = translated.AlarmFile.str();
    const TaskMessageCopy shown = FromGlobals();
    const MessageDisplay d = Copy(Display());
    if (Flag(o.UseExternalMessage) || !Flag(o.UseModalMessage)) {
        if (d.startMessageThread)
            d.startMessageThread(shown);
        else
            MessageThreadBody(shown);
    } else if (d.showModalMessage) {
        d.showModalMessage(shown);
    } else {
        PlainMessage(shown);
    }
}

void ShowTaskMessageNow(const Schedule& task) { ShowTaskMessage_Display(task); }

void MessageThreadBody(const TaskMessageCopy& message) {
    OptionGlobals& o = Options();
    if (Flag(o.UseExternalMessage)) {
        LogMessageShown(message.Title.str(), message.AlarmFile.str());
        if (HandOverMessage(message) == kNoError) return;
    }
    const MessageDisplay d = Copy(Display());
    if (Flag(o.UseWinMessage)) {
        LogMessageShown(message.Title.str(), message.AlarmFile.str());
        PlainMessage(message);
    } else if (Flag(o.UseModalMessage) && d.showModalMessage) {
        d.showModalMessage(message);
    } else if (d.showMessageNormal) {
        d.showMessageNormal(message);
    } else {
        PlainMessage(message);
    }
}

int SnoozeMessage(const TaskMessageCopy& message, std::string* error) {
    TableScheduleStore store;
    if (store.openError() != kNoError) {
        if (error) *error = FailureText();
        return store.openError();
    }
    Schedule SCH;
    SCH.Message = message.Message.str();
    SCH.TaskType = "Display Message";
    SCH.Category = "Snooze";
    SCH.Description = message.Title.str();
    SCH.ScheduleType = "Once";
    SCH.Date = Today();
    const int32_t interval = Options().SnoozeInterval.load();
    SCH.Time = ClockTime() + (interval > 0 ? interval * 6000 : kDefaultSnoozeDelay);
    NormalizeDateTime(SCH.Date, SCH.Time);
    SCH.SkipIfMissed = 1;
    SCH.AlarmFile = message.AlarmFile.str();
    SCH.Alarm = message.AlarmFile.str().empty() ? 0 : 1;
    const int e = AddScheduleCopy(store, SCH);
    if (e != kNoError && error) *error = FailureText();
    return e;
}

int AddMessageToToDo(const TaskMessageCopy& message, std::string* error) {
    data::Table& t = data::TableOf(TodoDef());
    const int opened = t.Open(data::kModeShared);
    const bool wasOpen = opened == kFileAlreadyOpen;
    if (opened != kNoError && !wasOpen) {
        // A missing table is made, as the to-do list would make it.
        const int made = opened == kFileNotFound ? CreateAndOpenTable(t) : opened;
        if (made != kNoError) {
            if (error) *error = FailureText();
            return made;
        }
    }
    Todo TDO;
    TDO.Category = "General";
    TDO.Notes = message.Message.str();
    TDO.ToDo = message.Title.str();
    TDO.Priority = 5;
    TDO.Done = 0;
    Todo& buffer = t.Rec<Todo>();
    const Todo kept = buffer;
    buffer = TDO;
    const int e = t.Add();
    if (e != kNoError && error) *error = FailureText();
    buffer = kept;
    if (!wasOpen) t.Close();
    return e;
}

void ExecuteTaskNow(const Schedule& task) {
    if (task.Alarm) {
        const std::string alarm = task.AlarmFile.str();
        if (Upper(ClipRight(alarm)) == "BEEP") {
            Beep();
        } else if (!alarm.empty()) {
            const std::string resolved = ResolveSoundFile(alarm);
            PlaySoundAsync(resolved.empty() ? alarm : resolved);
        }
    }
    const std::string type = task.TaskType.str();
    if (type == "Display Message" || type == "Both") ShowTaskMessageNow(task);
    if (type == "Run Program" || type == "Both") {
        if (TaskRun run = Copy(ExecuteRunner())) run(task);
    }
}

Schedule MessageTaskFromToDo(const Todo& TDO) {
    Schedule SCH;
    std::string text = ClipRight(TDO.Notes) + "\r\n";
    if (TDO.CompletionDate != 0)
        text += "Completed " + Format(Value(TDO.CompletionDate), "@D17");
    else
        text += "Priority " + std::to_string(TDO.Priority);
    text += "\r\n";
    if (!ClipRight(TDO.Resolution).empty()) text += "Resolution:\r\n" + ClipRight(TDO.Resolution) + "\r\n";
    SCH.Message = text;
    SCH.Description = TDO.ToDo.str();
    SCH.Category = TDO.Category.str();
    SCH.Date = Today() + 1;
    SCH.Time = ClockTime();
    return SCH;
}

void ToDoToMessageTask() {
    Schedule& SCH = Schedule_File().rec();
    SCH = MessageTaskFromToDo(Todo_File().rec());
    if (auto wizard = Copy(Wizard())) wizard(SCH);
}

}  // namespace kr
