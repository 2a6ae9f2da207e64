// The script interpreter: once per timer tick, while scripts are queued, the
// frame calls Step, which runs the head entry of the script run queue when
// its due moment has passed. An item either completes (it is logged with the
// label "Script" and removed) or stays at the head to be tried again on the
// next tick: waits, a program waited for, and the steps that work in the
// background (keys being typed, a file action, a mail send) stay there until
// they are done, so no step ever holds the frame's thread.
//
// Each action word runs as its table says (see ScriptInterpreter.cpp); the
// desktop's windows and keys, the file actions and Start Script are reached
// through the services of ScriptServices.h.
//
// DDE has no Linux twin and is sent over D-Bus: the application is the
// service name on the session bus, the topic the object path ("/" + topic,
// each character other than A-Z, a-z, 0-9 and "_" turned into "_"), and the
// command the one string argument of the method "Execute". The call is sent
// without waiting for an answer, and a failure is silent.
//
// Thread 1 only: the interpreter's state and the services are not for other
// threads (the queue itself may be written by list threads).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "scheduler/ScriptQueue.h"

class QObject;

namespace kr {

// The D-Bus object path a DDE topic stands for.
std::string DdeObjectPath(std::string_view topic);
// Sends a DDE command over D-Bus, without waiting; false when it could not
// be sent (no session bus, a name D-Bus does not allow).
bool SendDdeCommand(std::string_view application, std::string_view topic, std::string_view command);

class ScriptInterpreter {
public:
    ScriptInterpreter();
    ~ScriptInterpreter();
    ScriptInterpreter(const ScriptInterpreter&) = delete;
    ScriptInterpreter& operator=(const ScriptInterpreter&) = delete;

    // ScriptStep: runs the head entry when now is strictly after its due
    // moment. Does nothing when the queue is empty.
    void Step();
    // RunScriptItem: runs the head entry now, whatever its due moment.
    void RunItem();
    // Stops what runs in the background (keys being typed) and forgets the
    // step in progress; the queue itself is left alone.
    void Cancel();

    // The interpreter state, for tests and the script viewer.
    bool waitingForWindow() const { return waitingForWindow_; }
    uint32_t lastWindowFound() const { return lastWindow_; }
    int32_t programWaitLimit() const { return programWaitLimit_; }
    int32_t lastFileActionResult() const { return fileActionResult_; }
    int32_t lastEmailResult() const { return emailResult_; }
    int lastMessageResponse() const { return messageResponse_; }
    // True while a step works in the background.
    bool stepInProgress() const { return pending_ != Pending::None; }

private:
    enum class Pending { None, Keys, File, Mail };

    void Run(ScriptQueueEntry& head);
    void Complete();
    bool SkipToEndIf();
    void NotAvailable(const std::string& action);

    void DisplayMessage(const Scripting& s);
    void ExitScript();
    void CloseProgram(const Scripting& s);
    void StartProgram(ScriptQueueEntry& head);
    void WaitForProgramEnd(const ScriptQueueEntry& head);
    void SendKeys(const ScriptQueueEntry& head);
    void SetFocus(const Scripting& s);
    void FileAction(const ScriptQueueEntry& head);
    void SendEmail(const ScriptQueueEntry& head);
    void IfValue(const Scripting& s);
    void StartScript(const Scripting& s);
    void Wait(ScriptQueueEntry& head);
    void IfWindow(const Scripting& s);
    void IfTimeElapsed(const Scripting& s);

    // A background step belongs to the head entry it was started for; a
    // different head (the queue was stopped or changed) abandons it.
    bool PendingFor(const ScriptQueueEntry& head) const;
    void StartPending(Pending kind, const ScriptQueueEntry& head);
    void FinishPending();

    bool keep_ = false;
    bool waitingForWindow_ = false;
    uint32_t lastWindow_ = 0;
    int32_t programWaitLimit_ = 0;
    int32_t waitProcess_ = 0;
    int32_t fileActionResult_ = 0;
    int32_t emailResult_ = 0;
    int messageResponse_ = 0;

    Pending pending_ = Pending::None;
    bool pendingDone_ = false;
    uint64_t pendingGeneration_ = 0;  // which start a callback answers
    ScriptQueueEntry pendingEntry_;
    std::unique_ptr<QObject> context_;  // receives the mail sender's answer
};

// The program's interpreter (the frame's timer steps it).
ScriptInterpreter& ProgramScriptInterpreter();
// "Stop Active Scripts" and event 1103: empties the run queue and stops the
// step in progress.
void StopActiveScripts();

}  // namespace kr
