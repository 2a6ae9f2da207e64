// The desktop services the script interpreter calls: other programs' windows,
// keystrokes, file actions and Start Script. The interpreter is display-free
// and knows these only through the interfaces below; the program installs the
// real ones at start-up (apps/KR98/main.cpp), tests install fakes.
//
// With nothing installed a step that needs a service does not run: it writes
// the event-log line "<action> is not available" (label "Script Error") and
// the script goes on with the next item. Window tests that find nothing
// (If Window..., the window waits) behave as if no window matched.
//
// Every service is called on thread 1, from the timer tick, and must return
// at once: work that takes long (typing a text, copying large files) runs on
// a timer or worker and reports through the `done` callback, which must be
// called on thread 1 as well (through its event loop, never from inside the
// starting call). The step that started it stays at the head of the queue,
// in progress, until `done` has been called; while it is in progress the
// interpreter asks nothing else of the service.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kr {

// A handle of a top-level window; 0 is no window. The waits and "Set Focus"
// treat a handle of 31 or below as "not found" (the platform's handles of
// old never went that low); X11 window ids never do, so a real window is
// always above 31.
using ScriptWindow = std::uint32_t;

struct ScriptWindowInfo {
    ScriptWindow handle = 0;
    std::string title;      // UTF-8
    std::string className;  // the program's window class
    bool own = false;       // one of KR98's own windows
};

class ScriptWindowService {
public:
    virtual ~ScriptWindowService() = default;
    // The first top-level window (topmost first) whose title matches the
    // pattern ("Title", "Start*", "*part", a leading "~" ignored), and, when
    // contents is not blank, one of whose child texts contains it; 0 for none.
    virtual ScriptWindow FindWindowByTitle(std::string_view pattern, std::string_view contents) = 0;
    // Brings the window to the front and gives it the keyboard focus. False
    // when the window is gone or the desktop refused.
    virtual bool SetFocus(ScriptWindow window) = 0;
    // The window that has the focus now (handle 0 when none), with its title
    // and whether it belongs to KR98 itself.
    virtual ScriptWindowInfo ForegroundWindow() = 0;
    // Asks the window to close (as its close box does; never kills). False
    // when it cannot be asked.
    virtual bool CloseWindow(ScriptWindow window) = 0;
    // The top-level windows, topmost first.
    virtual std::vector<ScriptWindowInfo> Windows() = 0;
};

class KeystrokeService {
public:
    virtual ~KeystrokeService() = default;
    // Starts typing a keystroke text (the send-keys notation: plain text,
    // key tokens and value references in square brackets, at most 10000
    // characters) into the window that has the focus, paced by the
    // ScriptingDelay and BurstSize settings. Returns at once; `done(ok)` is
    // called on thread 1 when the last key has been sent (ok false when the
    // keystrokes could not be sent at all). Returns false, without calling
    // `done`, when the service cannot start (no display).
    virtual bool Send(std::string_view text, std::function<void(bool ok)> done) = 0;
    // Stops a text being typed (the running script was stopped); `done` is
    // then not called.
    virtual void Cancel() = 0;
};

// One "File Actions" item as the interpreter hands it over.
struct FileActionRequest {
    std::string operation;   // S:DDEType: "Copy", "Move", ... "Make Directory"
    std::string parameter1;  // S:Command
    std::string parameter2;  // S:Path
    std::string host;        // S:DDEApplicationName (transfers)
    std::string login;       // S:DDEApplicationTopic: user (1-128), password (129-255)
};

class FileActionService {
public:
    virtual ~FileActionService() = default;
    // Starts the file action; it leaves its results in the script values.
    // Returns at once; `done(result)` is called on thread 1 with the result
    // code (0 success) that the interpreter keeps as the last file action's
    // result. Returns false, without calling `done`, when it cannot start.
    virtual bool Start(const FileActionRequest& request, std::function<void(int32_t result)> done) = 0;
};

class StartScriptService {
public:
    virtual ~StartScriptService() = default;
    // Puts the items of a script file into the run queue in place of the
    // head entry (the "Start Script" item): mode "I..." before the rest of
    // the queue, "A..." after it, otherwise instead of this task's rest.
    // Runs to its end before returning. True when it took the "Start Script"
    // item out of the queue, so that the interpreter keeps the new head
    // (whatever its action) for the next tick; false when it left the queue
    // as it was (the item then completes as usual).
    virtual bool StartScript(std::string_view fileName, std::string_view mode) = 0;
};

// The installed services (nullptr when none). The caller keeps ownership and
// uninstalls (nullptr) before the service goes away.
void InstallScriptWindowService(ScriptWindowService* service);
void InstallKeystrokeService(KeystrokeService* service);
void InstallFileActionService(FileActionService* service);
void InstallStartScriptService(StartScriptService* service);
ScriptWindowService* ScriptWindows();
KeystrokeService* Keystrokes();
FileActionService* FileActions();
StartScriptService* StartScripts();

}  // namespace kr
