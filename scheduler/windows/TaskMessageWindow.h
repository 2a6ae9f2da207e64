// The message windows of the main program: ShowMessageNormal (non-modal,
// the message thread's own window), ShowModalMessage (topmost, over the
// calling thread) and MessageThread, which START runs for each message shown
// here. Each window holds its own copy of its message; "&Snooze" files it as a
// one-off task, "&To Do" as a to-do item, and the alarm repeats from the
// window's timer while RepeatAlarmInterval is set.
#pragma once

#include <functional>

#include "scheduler/TaskMessage.h"
#include "platform/ui/MessageWindowLayout.h"


namespace kr {

struct TaskMessageLayout : MessageWindowLayout {
    void Build();
};

// The windows; each returns the window's manager (nullptr when it did not
// open). The manager dies with its window.
class TaskMessageWindow;
TaskMessageWindow* ShowMessageNormal(const TaskMessageCopy& message);
TaskMessageWindow* ShowModalMessage(const TaskMessageCopy& message);

// START MessageThread for the message: MessageThreadCount counts it from its
// start until its display has closed.
void StartMessageThread(const TaskMessageCopy& message);

// Whether a modal message opened now must wait until it is answered (the
// frame answers true while its timer cycle runs a tick on thread 1). Without
// a check nothing waits.
void SetModalMessageHold(std::function<bool()> holdsCaller);

// Installs the windows above as the task message's display.
void InstallMessageWindows();

// The most recently opened message window (tests).
TaskMessageWindow* LastMessageWindow();

}  // namespace kr
