// Main: the application frame of KR98, on thread 1 from start-up until the
// user exits.
//
// It owns the menu, the toolbar, the four-zone status bar, the tray icon with
// its popup, the end-of-session handling and the scheduler's timer: a 1-second
// window timer whose every event runs the timer cycle (scheduler/TimerCycle.h).
// Every list, form, wizard and report is started from here by name on a
// procedure thread of its own (RegisterProcedure, ProcedureThread.h); the
// Options window, Housekeeping and About are called on the frame's thread
// (RegisterCalledProcedure). A command whose procedure is not registered when
// the frame opens is shown disabled, so each later part enables its own
// commands by registering its procedures before the frame opens.
//
// Closing: with MinimizeOnCloseRequest on, the close box only hides the frame
// (to the tray, or to the taskbar without one); File → Exit asks first and
// then closes. The end of the desktop session and SIGTERM run the same
// shutdown without the question.
#pragma once

#include "organiser/BugReportText.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "platform/ui/PopupMenu.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/WindowManager.h"
#include "scheduler/TimerCycle.h"
#include "scheduler/windows/MainLayout.h"
#include "scheduler/windows/SessionEnd.h"
#include "scheduler/windows/TrayIcon.h"

namespace kr {

inline constexpr const char* kMainProcedure = "Main";
inline constexpr int kMainTrayID = 99;
inline constexpr const char* kFileManagerCommand = "KR_DBASE.EXE ";
inline constexpr const char* kExitQuestion =
    "No tasks will execute while Kairoll is not active.  Are you sure you want to close Kairoll?";
inline constexpr const char* kWebSiteLink = "https://kairoll.example.org/";
// The hot key that always restores the frame (Win+W).
inline constexpr const char* kRestoreHotKey = "WinW";
inline constexpr int32_t kRestoreHotKeyCode = 2048 + 87;

// Procedures the frame calls on its own thread ("Setup", "Housekeeping",
// "About"); names compare without regard to case.
void RegisterCalledProcedure(const std::string& name, std::function<void()> procedure);
bool IsCalledProcedureRegistered(const std::string& name);

// The open schedule lists: each registers its thread here; NotifyWindowThreads
// posts event 1090 to each of them, first added first.
ThreadGroup& BrowseScheduleThreads();
void NotifyWindowThreads();

// What the frame asks of the system-wide hot keys. Each may be empty; the
// frame then has no hot keys.
struct FrameHotKeys {
    std::function<void(QWidget* window)> init;        // on the frame window
    std::function<void(const std::string& key)> add;  // "WinW" at Init
    std::function<void()> suspend;
    std::function<void()> loadHotKeys;                // from SysHotKeys
    std::function<void()> resume;
    std::function<void()> kill;
    // Takes the first pressed key (code, text) off the queue.
    std::function<std::optional<std::pair<int32_t, std::string>>()> takePressedKey;
    // Runs the action of the SysHotKeys record in the frame's buffer.
    std::function<void()> runHotKey;
};
void SetFrameHotKeys(FrameHotKeys hotKeys);
// The hot keys of the desktop: grabs on the X display, the actions of the
// pressed keys.
FrameHotKeys DesktopFrameHotKeys();

// The value of "Debug" in section "Settings" of the program INI, read when
// the frame starts (empty when missing).
std::string FrameDebug();

class MainFrame;

// The frame's tray icon: its clicks are the frame's.
class MainTrayIcon : public TrayIcon {
public:
    explicit MainTrayIcon(MainFrame& frame) : frame_(frame) {}
    void HandleLeftClick() override {}
    void HandleDoubleClick() override;
    void HandleRightClick() override;

private:
    MainFrame& frame_;
};

class MainFrame : public WindowManager {
public:
    MainFrame();
    ~MainFrame() override;

    const MainLayout& Layout() const { return ui_; }
    TimerCycle& Cycle() { return cycle_; }
    MainTrayIcon& Tray() { return tray_; }
    PopupMenu& TrayPopup() { return popup_; }
    SessionEnd& Session() { return session_; }
    bool ReallyClosing() const { return reallyClosing_; }
    bool TablesOpened() const { return tablesOpened_; }
    int32_t StartDate() const { return startDate_; }
    int32_t StartTime() const { return startTime_; }

    // A menu or toolbar command by its control number.
    void Command(int control);
    // File → Exit: the question when MinimizeOnCloseRequest is on, then the close.
    void Exit();
    // Help → Web and E-mail: the link in the desktop's program, or a message.
    void OpenLink(const char* link);
    // Help → E-mail for Support: a mail to the support address of the
    // program INI, or where to set one.
    void MailSupport();
    // Closes without the question (a "KRCHAIN" command, the File Manager,
    // the end of the session).
    void CloseWithoutQuestion();
    // The popup of the tray icon and the double click.
    void TrayRightClick();
    void TrayDoubleClick();
    // Out of the tray, to the front.
    void RestoreFrame();
    // The date and time zones of the status bar.
    void RefreshDateAndTime();
    std::string StatusZone(int zone) const;
    // The activity text in the status bar, hidden while it is empty.
    void ShowActivityText();
    // True when a command's procedure (or program) is there to run.
    bool CommandAvailable(int control) const;

protected:
    QWidget* MakeWindow() override;
    bool Init() override;
    void TakeOpened() override;
    bool TakeEvent(int event) override;
    void TakeAccepted(QObject* control) override;
    bool TakeCloseRequest() override;
    bool TakeWindowEvent(QEvent* event) override;
    void TakeTimer() override;
    void Kill() override;

private:
    void StartUp();
    void InstallCycleHooks();
    void BuildTrayPopup();
    void UpdateCommandStates();
    void RestoreClipboard();
    void HotKeyPressed();
    void Minimise();
    void CheckTimerInterval();
    void RunProgramCommand(const std::string& command, bool endOnSuccess);
    void EnableCommand(int control, bool on);
    void ListOpenWindows();

    MainLayout ui_;
    MainTrayIcon tray_{*this};
    TimerCycle cycle_;
    SessionEnd session_;
    PopupMenu popup_;
    int32_t startDate_ = 0;
    int32_t startTime_ = 0;
    bool reallyClosing_ = false;
    bool tablesOpened_ = false;
    bool configurationOpened_ = false;
    bool pendingClose_ = false;
    bool hotKeysReady_ = false;
    bool viewScriptActive_ = false;
    // The windows StartUp asks for, opened once the frame shows, so that
    // they open in its cascade and above it.
    std::vector<std::string> startupWindows_;
    bool minimiseAfterStartupWindows_ = false;
};

// Opens the frame on thread 1 and returns it (nullptr when it did not open).
// It lives until its window closes.
MainFrame* OpenMain();
// The open frame, nullptr when none.
MainFrame* CurrentMainFrame();
// The frame's window and thread (for message windows and the task runner's
// shell starts); nullptr and 0 when no frame is open.
QWidget* MainWindowHandle();
int MainThread();
// Closes the open frame as if Exit had been chosen, without the question.
void CloseMain();

struct MainOptions {
    bool closeAtOnce = false;  // close as soon as the event loop runs
};
// Main: opens the frame and runs the event loop until the frame has closed,
// then ends the windows still open. When the loop ends for another reason
// (the session ended), the frame's normal shutdown runs first.
void Main(const MainOptions& options = {});

}  // namespace kr
