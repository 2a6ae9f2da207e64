// The task runner: starts the program of a task or of a script step, and for
// a task loads its script items into the script run queue with their due
// moments.
//
// A program is started directly (the command line parsed into program and
// arguments, the program looked up in the suite's own folder and on PATH)
// with a window mode and a priority, or through the shell with a verb; when
// one way fails the other is tried, and a shell start that fails is tried
// again with the command split at blanks. The started program gets its start
// folder; this process never changes its own current folder, since every
// table name is relative to it.
//
// RunTask runs on the calling thread: thread 1 for the timer cycle, the hot
// keys and the script interpreter, a list thread for a list's Execute
// command. The script lock keeps two callers from loading the queue at once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "dictionary/SchedulingTables.h"

namespace kr {

// Show-window codes of a started program's window.
enum ShowWindowMode : int32_t {
    kShowHidden = 0,
    kShowNormal = 1,
    kShowMinimized = 2,
    kShowMaximized = 3,
    kShowMinimizedNoActivate = 7,
    kShowNoActivate = 8,
};
// The mode a show code stands for: codes other than those above are normal.
int32_t WindowModeOf(int32_t showMode);

// Priority arguments of RunTask.
enum TaskPriority : int32_t { kPriorityIdle = 1, kPriorityNormal = 2, kPriorityHigh = 3 };

// Results of a shell start: 32 and above is success; below are the shell's
// error codes.
enum ShellResult : uint32_t {
    kShellStarted = 42,
    kShellFileNotFound = 2,
    kShellPathNotFound = 3,
    kShellAccessDenied = 5,
    kShellNoAssociation = 31,  // the verb is not available for the file
};

// Starts a program or a script:
//   command      the command line; "N/A" (any case): no program, only the
//                task's script; a command beginning "KRCHAIN" (any case) is
//                started and the program asked to close, nothing else done
//   startIn      start folder of the program; blank for the current one
//   verb         shell verb, used when openVerb is 0 (lower-cased)
//   scheduleID   the task whose script items are queued; 0 for none
//   handleOut    when given, receives the started process's id (0 when the
//                direct start failed); the program is then always started
//                directly first
//   showMode     window mode when normalWindow is 0 (ShowWindowMode)
//   normalWindow 1: normal window, showMode ignored
//   openVerb     1: the shell verb is "open"
//   defaultPriority 1: normal priority; 0: by priority (TaskPriority)
// A program that cannot be started is reported (a log line "Error starting"
// when logging and exit-code logging are on, else the message "Could not
// start ..."), and then no script item is queued.
void RunTask(std::string_view command, std::string_view startIn, std::string_view verb, int32_t scheduleID,
             int32_t* handleOut, int32_t showMode, uint8_t normalWindow, uint8_t openVerb, uint8_t defaultPriority,
             int32_t priority);

// The shell start: opens `file` with the verb ("open" or empty, "explore",
// "edit", "print"): a program is started with the parameters; a document,
// folder or address (scheme:...) is handed to the desktop's opener
// (xdg-open), a file to print to lp. A relative file is found in `folder`.
// Returns kShellStarted, or kShellFileNotFound / kShellPathNotFound when
// there is no such file, kShellNoAssociation when the verb is not available.
// A desktop entry chosen as a task's program: the command line its "Exec="
// line gives, with the field codes dropped ("%f", "%U", ...; "%%" is "%"),
// followed by the parameters the task gives after the entry's name. Empty
// when the command does not start with a readable ".desktop" file that has an
// Exec line; the command is then started as it is.
std::string DesktopEntryCommand(std::string_view command);

uint32_t ShellStart(std::string_view verb, std::string_view file, std::string_view parameters,
                    std::string_view folder, int32_t showMode);

// The script lock: set while a RunTask is working.
bool ScriptLockSet();
// A "File Actions" item whose operation is a transfer ("FTP Upload", "FTP
// Download", "HTTP Download") becomes a "Start Program" item that runs the
// transfer program ("KRFTP U|D ...", "HTTPGET ... /AUTO") and waits for it
// (at most 3600 seconds); other items are left as they are.
void RewriteTransferItem(Scripting& item);
// A command line as the event log shows it (MaskTransferPassword): wherever
// KRFTP is started in it (directly, behind another program or in a shell's
// text), its password as "********"; a command without KRFTP as it is. The
// log's writer masks every line the same way; the runner uses this for the
// "Could not start" box and for the commands it keeps, before they are cut.
std::string CommandForLog(std::string_view command);

// What the last shell start returned (LastShellResult).
uint32_t LastShellResult();
// The process id of the program RunTask started last, by either way (0 when
// none): what "Wait for Program End" waits for.
int32_t LastStartedProcess();

// Where RunTask reads a task's script items from. The program reads the
// Scripting table; a test may install a reader of its own.
class ScriptItemReader {
public:
    virtual ~ScriptItemReader() = default;
    // Positions before the first item of the task (SCR:KeyID order). 0, or an
    // error code with its text in ErrorText().
    virtual int Start(int32_t taskID) = 0;
    // The next item in key order: 0; kRecordNotAvailable at the end; another
    // code on a read error.
    virtual int Next(Scripting& item) = 0;
    // Ends the reading (closes what Start opened).
    virtual void Finish() = 0;
    virtual std::string ErrorText() const = 0;
};
// Installs a reader (nullptr: the Scripting table again). The caller keeps
// ownership.
void SetScriptItemReader(ScriptItemReader* reader);

// What the runner asks of the windows. Each may be left empty.
struct TaskRunnerHooks {
    // Closes the program as if Exit had been chosen, without the question
    // (after a "KRCHAIN" command was started).
    std::function<void()> closeApplication;
    // The wait cursor on (true) and off (false).
    std::function<void(bool)> busyCursor;
    // A program was started directly with a window mode other than normal:
    // the desktop applies the mode to the program's window when it maps
    // (matched by its _NET_WM_PID).
    std::function<void(int32_t pid, int32_t windowMode)> windowModeRequested;
    // Shows the message of a "Display Message" or "Both" task.
    std::function<void(const Schedule& task)> showTaskMessage;
};
void SetTaskRunnerHooks(TaskRunnerHooks hooks);

// The message of a task, through the installed hook; without one, the
// message is written to the event log (label "Message").
void ShowTaskMessage(const Schedule& task);

}  // namespace kr
