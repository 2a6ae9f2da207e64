// The message of a "Display Message" or "Both" task.
//
// The main program first hands the message to the message program KRMsg: a
// MsgLink record (in "MSGLINK", no password) under the next ID, then
// "KRMsg.EXE ID=n" without waiting. When the hand-over is switched off or
// fails, the message is shown here: on a message thread of its own, in a
// topmost modal window on the calling thread, or - with 60 message threads
// open - as a plain message box.
//
// This file is display-free: the windows (scheduler/windows/TaskMessage*)
// install a MessageDisplay that opens them. Without one, the fallbacks show a
// plain message box through the message service.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "platform/runtime/FixedString.h"

namespace kr {

// More message threads than this and the message is a plain message box.
inline constexpr int kMaxMessageThreads = 60;
// Snooze without a SnoozeInterval brings the message back this much later
// (hundredths of a second: 10 minutes).
inline constexpr int32_t kDefaultSnoozeDelay = 60000;
inline constexpr const char* kMessageProgram = "KRMsg.EXE";

// One message as a window shows it: each window holds its own copy.
struct TaskMessageCopy {
    FString<60> Title;
    FString<4096> Message;
    FString<255> AlarmFile;
};

// The message globals, set before any display in this program.
struct MessageGlobalValues {
    FString<40> MessageTitle;
    FString<1024> MessageText;
    FString<255> MessageAlarmFile;
};
MessageGlobalValues& MessageGlobals();
// Message threads open now; changed by the message threads only.
std::atomic<int>& MessageThreadCount();

// What the display asks of the windows. Empty members fall back to a plain
// message box.
struct MessageDisplay {
    // START MessageThread with this message.
    std::function<void(const TaskMessageCopy&)> startMessageThread;
    // The topmost modal window on the calling thread; returns once closed.
    std::function<void(const TaskMessageCopy&)> showModalMessage;
    // The non-modal message window (inside a message thread).
    std::function<void(const TaskMessageCopy&)> showMessageNormal;
};
void SetMessageDisplay(MessageDisplay display);

// The runtime's RUN without waiting; 0 when the program started. Tests
// install their own; empty restores the real one.
using ProgramRunner = std::function<int(const std::string& commandLine)>;
void SetMessageProgramRunner(ProgramRunner runner);

// The hand-over of one message: MsgLink record added under the next ID and
// the message program started. Returns 0 when it started; else the add's
// error code or the run code (the added record stays in the file).
int HandOverMessage(const TaskMessageCopy& message);
// The next MsgLink ID: the last record's ID + 1, 1 when the table is empty.
// The table must be open.
int32_t NextMsgLinkID();

// The hand-over from the message globals (RunMessageProgram).
int RunMessageProgram();

// Shows the message of the task (ShowTaskMessage; ShowTaskMessageNow is the
// same for ExecuteTaskNow).
void ShowTaskMessage_Display(const Schedule& task);
void ShowTaskMessageNow(const Schedule& task);

// What a message thread does once its window has its first event: the
// hand-over when it is on, and otherwise (or when it fails) the plain box
// (UseWinMessage), the modal window (UseModalMessage) or the normal window.
void MessageThreadBody(const TaskMessageCopy& message);

// The window buttons: the writes, without the messages that report them.
// 0, or the error code; `error` gets a text for the report.
int SnoozeMessage(const TaskMessageCopy& message, std::string* error = nullptr);
int AddMessageToToDo(const TaskMessageCopy& message, std::string* error = nullptr);

// The log line every display writes: label "Message", title + " " + alarm.
void LogMessageShown(const std::string& title, const std::string& alarmFile);

// ExecuteTaskNow: alarm, message and program of the task at once, without
// skip rules, rescheduling or history. The program goes through the
// installed task runner.
using TaskRun = std::function<void(const Schedule&)>;
void SetExecuteTaskRunner(TaskRun run);
void ExecuteTaskNow(const Schedule& task);

// ToDoToMessageTask: the Schedule record a to-do item becomes, and the call
// of the message wizard with it (installed by the wizard's window; none yet:
// nothing opens).
Schedule MessageTaskFromToDo(const Todo& todo);
void SetMessageWizard(std::function<void(const Schedule&)> wizard);
bool MessageWizardInstalled();
void ToDoToMessageTask();

}  // namespace kr
