// Procedure threads: the runtime's START on one GUI thread.
//
// Every started procedure gets a procedure thread: a number (ProcedureContext.h),
// the procedure's name and its window. The procedure opens its window
// non-modal and returns; the procedure thread lives as long as a window of it
// stays.
// Windows that a procedure opens while its window is open (a form over a
// list, a picker over a form) belong to the same procedure thread and share
// its record buffers. Events dispatched to any window of a procedure thread
// run inside a ProcedureThreadScope for its number (see Application.h), so
// the table engine hands out the buffers of the right procedure.
//
// "Post event N to thread T" puts a QEvent of type QEvent::User + N into the
// queue of T's innermost open window, as the runtime's POST does; the window's
// WindowManager receives it as TakeEvent(N).
//
// Everything here runs on the GUI thread, except Post and PostToWindow, which
// any thread may call.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QObject;
class QWidget;

namespace kr {

// The stack size the runtime's START takes; kept for the callers' sake only.
constexpr int kDefaultStack = 25000;

// Posted to the open copy of a single-instance list when a second START of it
// was refused: the open copy comes forward.
constexpr int kEventAlreadyOpen = 518;

// The largest user event number that fits into Qt's event type range.
constexpr int kMaxUserEvent = 64535;

// A procedure as START runs it: opens its window (or does its work) and returns.
using Procedure = std::function<void()>;

struct ProcedureThreadInfo {
    int number = 0;
    std::string procedure;
    QWidget* window = nullptr;     // the thread's own window; nullptr before it opens
    QWidget* topWindow = nullptr;  // the innermost window open on the thread
};

// Procedures by name, so that the frame can start windows of subsystems that
// it does not link against. Names compare without regard to case.
void RegisterProcedure(const std::string& name, Procedure procedure);
bool IsProcedureRegistered(const std::string& name);

// The runtime's START: makes a procedure thread and runs the procedure for it.
// Returns the thread's number, or 0 when no procedure of that name is known
// (or when called off the GUI thread). The thread ends at once when the
// procedure returns without opening a window.
int Start(const std::string& name, int stack = kDefaultStack);
int Start(const std::string& name, Procedure procedure, int stack = kDefaultStack);

// Live procedure threads. A thread is live from its START until the last of
// its windows that stays is gone: when its own window is destroyed while a
// window opened on it meanwhile outlives it (one that is not a dialog inside
// the own window), that window becomes its own window and the thread goes on.
// Thread 1 (the frame's) is live while a window is attached to it.
bool IsThreadLive(int thread);
std::vector<int> LiveThreads();
bool ThreadInfo(int thread, ProcedureThreadInfo* info);

// Attaches a window to the current procedure thread: the first window becomes
// the thread's own window, later ones are stacked over it until they are
// destroyed. WindowManager calls this; plain code rarely needs it.
void AttachWindow(QWidget* window, const std::string& procedure);
// Takes a window off its thread before it is destroyed (a window that did not
// open). When it was the thread's own window, the windows inside it go with
// it and the next window that stays becomes the own window; with none, the
// thread ends.
void DetachWindow(QWidget* window);
// Takes a closing window that was stacked over its thread's own window off
// the stack, so a window opened while it is still being destroyed is not
// made its child. The thread's own window stays until it is destroyed.
void ReleaseStackedWindow(QWidget* window);
// The procedure thread a window (or any object inside one) belongs to; 0 for none.
int ThreadOfObject(const QObject* object);
// The innermost open window of a thread; nullptr when it has none.
QWidget* TopWindowOf(int thread);
// The open windows of a thread, its own window first, the innermost last.
std::vector<QWidget*> WindowsOf(int thread);

// POST: queues user event N for the innermost open window of a thread.
// False when the thread has no window or N is outside 1..kMaxUserEvent.
bool Post(int event, int thread);
// POST to the current procedure thread.
bool Post(int event);
bool PostToWindow(QWidget* window, int event);

// Called with the thread's number when a procedure thread ends (its last
// window is gone), inside a ProcedureThreadScope of that number, so per-procedure
// resources (record buffers, table use counts, bindings) can be released.
// Returns an id for RemoveThreadEndHook.
int AddThreadEndHook(std::function<void(int thread)> hook);
void RemoveThreadEndHook(int id);

// The single-instance rule of list windows. RegisterInstance looks the name up:
// when a live thread holds it, event 518 is posted to that thread and the
// result is false (the caller ends at once, its window never shows);
// otherwise the name is registered for the current thread and the result is
// true. The entry goes when that thread ends, or with UnregisterInstance.
bool RegisterInstance(const std::string& procedure);
void UnregisterInstance(const std::string& procedure);
// The thread holding a single-instance name, 0 when none.
int InstanceThread(const std::string& procedure);

// A list of procedure threads that want the same events (the schedule lists
// that refresh on event 1090). Threads leave it on their own when they end.
class ThreadGroup {
public:
    ThreadGroup();
    ~ThreadGroup();
    ThreadGroup(const ThreadGroup&) = delete;
    ThreadGroup& operator=(const ThreadGroup&) = delete;

    void Add(int thread);
    void Remove(int thread);
    bool Contains(int thread) const;
    std::vector<int> Threads() const;
    // Posts the event to every thread of the group, first added first.
    void PostToAll(int event) const;

private:
    std::vector<int> threads_;
    int hook_ = 0;
};

}  // namespace kr
