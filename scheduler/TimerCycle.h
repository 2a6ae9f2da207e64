// The timer cycle of the main program: once a second the frame calls
// TimerTick, which polls the clipboard, runs one of four scheduler checks in
// rotation (advance warnings, history expiry, the next due task, the date
// jump with the exit codes of started programs), keeps the frame's title,
// status bar and tray icon current and lets the script interpreter run one
// queued item.
//
// The cycle is display-free. Questions go through the message service
// (Services.h); everything it asks of the frame (title, status zones, tray
// tip and icon, restoring the window), of the sound service and of parts
// built elsewhere (the task runner, the message display, the clipboard
// monitor, the script interpreter) goes through CycleHooks, so that tests run
// days of ticks against a ManualClock. An empty hook does nothing.
//
// Everything runs on thread 1 and works on thread 1's Schedule buffer. The
// cycle is not re-entrant: while a tick waits on a question of its own (a
// missed or confirmed task, the date-jump warning, a message box of the
// message display), ticks that arrive from the nested event loop return at
// once, so no task is asked or run twice.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/SchedulingTables.h"
#include "platform/runtime/FixedString.h"
#include "scheduler/Reschedule.h"

namespace kr {

class TableScheduleStore;

// User events between the threads and the frame.
inline constexpr int kEventScheduleChanged = 1090;  // to the schedule lists: refresh
inline constexpr int kEventReloadHotKeys = 1097;    // to the frame
inline constexpr int kEventStopScript = 1103;       // to the frame: empty the script queue
inline constexpr int kEventHotKeyPressed = 1810;    // to the frame

// The product's title and version.
inline constexpr const char* kProductTitle = "Kairoll 2000";
inline constexpr const char* kProductVersion = "2.02";

// The next-task check reads at most this many records.
inline constexpr int kNextTaskReadLimit = 1000;
// A forward date jump of more than this many days warns.
inline constexpr int kDateJumpDays = 3;
// The backup program the date-jump warning starts.
inline constexpr const char* kBackupCommand = "VXWBACK.EXE KR97.TPS";
inline constexpr const char* kNoTasksPending = "No tasks pending";

// The frame's status bar zones the cycle writes.
inline constexpr int kZoneScript = 2;
inline constexpr int kZoneDate = 3;
inline constexpr int kZoneTime = 4;

// Icons of the tray and images of the status bar.
inline constexpr const char* kTrayIdleIcon = "tray_ico";
inline constexpr const char* kTrayBusyIcon = "traybusy_ico";
inline constexpr const char* kTrayBusy2Icon = "traybus2_ico";
inline constexpr const char* kBlankImage = "~blank.ico";

// The option globals the cycle reads, as one snapshot.
struct CycleSettings {
    bool MonitorClipboard = false;
    bool CM_UseEx = false;
    // On: minimising goes to the taskbar; off: it hides to the tray. The frame
    // passes it on when the desktop has no tray, so the window stays reachable.
    bool NoTray = false;
    bool StartUpActive = true;
    int32_t SkipIfDaysPassed = 0;
    bool LogEvents = false;
    bool LogExitCodes = false;
    bool UseKRMsg = true;
    bool UseModalMessage = false;
    bool MaximizeOnRun = false;
    bool SaveScripts = false;
};

// What the cycle asks of the frame and of the parts around it.
struct CycleHooks {
    // The frame.
    std::function<void()> restoreFrame;  // out of the tray, to the front
    std::function<bool()> frameHidden;
    std::function<std::string()> frameCaption;
    std::function<void(const std::string&)> setFrameCaption;
    std::function<std::string(int zone)> statusText;
    std::function<void(int zone, const std::string&)> setStatusText;
    std::function<void(const std::string& image)> setScriptIndicator;
    std::function<void(const std::string& image)> setActivityImage;
    std::function<void(bool)> enableViewScript;  // the current script viewer's command
    std::function<void(const std::string&)> setTrayTip;
    std::function<void(const std::string&)> setTrayIcon;
    // true: minimising hides the frame to the tray; false: to the taskbar.
    std::function<void(bool)> setHideToTray;
    // Posts event 1090 to every open schedule list.
    std::function<void()> notifyWindowThreads;
    // The session unlock of the system password.
    std::function<bool()> sessionUnlocked;
    std::function<void()> clearSessionUnlock;

    // Sound.
    std::function<void(const std::string& file)> playSound;  // asynchronous
    std::function<void()> beep;

    // Parts built elsewhere.
    std::function<void()> saveClipboard;
    std::function<void()> checkAdvanceWarnings;
    std::function<bool()> removeHistory;  // true when it ran
    std::function<void()> scriptStep;     // runs at most one queued item
    std::function<std::string(const Scripting&)> describeScriptItem;
    std::function<void(const Schedule&)> showTaskMessage;
    // Starts the task's program and queues its script items (the task runner
    // with the timer's arguments).
    std::function<void(const Schedule&)> runTask;
    // The runtime's RUN without waiting: 0 when the program started.
    std::function<int(const std::string& commandLine)> runProgram;
    // Logs the exit codes of started programs that have ended.
    std::function<void()> logExitCodes;
    // A date in the user's date format.
    std::function<std::string(int32_t date)> formatUserDate;
};

// Set by the schedule lists' Execute command, so that a task's script runs
// while the scheduler is inactive; cleared by the cycle once no script runs.
std::atomic<bool>& ScriptsRequested();
// A text (20 characters) shown once before the script status, then cleared.
void SetStatusPrefix(std::string_view text);
std::string StatusPrefix();

class TimerCycle {
public:
    TimerCycle();
    ~TimerCycle();
    TimerCycle(const TimerCycle&) = delete;
    TimerCycle& operator=(const TimerCycle&) = delete;

    void SetHooks(CycleHooks hooks) { hooks_ = std::move(hooks); }
    CycleHooks& hooks() { return hooks_; }
    // The settings, read again at the start of every tick from the source
    // when one is set.
    void SetSettingsSource(std::function<CycleSettings()> source) { settingsSource_ = std::move(source); }
    CycleSettings& settings() { return settings_; }

    // Resets the cycle's state (LastKnownDate becomes today) and opens the
    // Schedule and Scripting tables for the current procedure thread; Stop
    // closes them. Start is called by the frame's Init.
    void Start();
    void Stop();
    bool Started() const { return store_ != nullptr; }

    // One timer event. Returns at once while a tick of its own is running.
    void TimerTick();
    bool InTick() const { return inTick_; }

    // The steps of the tick, public so that the frame and tests can reach them.
    void FindNextTask();
    void ExecuteDueTask();
    // The missed and confirm questions for the task in the buffer; sets the
    // skip flag when the answer is No.
    void ConfirmTask();
    void CheckDateJumpAndExitCodes();
    void NotifyWindowThreads();
    void DetectScriptActivity();
    void UpdateScriptStatus();
    void UpdateFrameTitle();

    // State, for the frame and for tests.
    int phase() const { return phase_; }
    int animationStep() const { return animation_; }
    int trayStep() const { return trayStep_; }
    bool scriptActive() const { return scriptActive_; }
    const std::string& nextTaskText() const { return nextTaskText_; }
    const std::string& titleText() const { return titleText_; }
    int32_t lastKnownDate() const { return lastKnownDate_; }
    void setLastKnownDate(int32_t date) { lastKnownDate_ = date; }
    const Schedule& dueRecordCopy() const { return dueCopy_; }
    // Ticks that returned at once because a tick was waiting.
    int64_t refusedTicks() const { return refusedTicks_; }
    // Occurrences that were acted on and whose record is not stored yet.
    std::size_t unstoredRuns() const { return unstored_.size(); }

private:
    // An occurrence the cycle acted on (started, shown or skipped) whose
    // record could not be written. It is kept until the write succeeds, so
    // that the record left due on disk is never taken for a new occurrence:
    // every next-task check tries the write again without a message, and
    // passes over the record while it still stands at the remembered moment.
    // A retry starts from the record as it is stored then, so that what
    // someone else changed meanwhile (its description, command, message,
    // exceptions) stays: the run changes only its own fields.
    struct UnstoredRun {
        enum class Write { Reschedule, MarkDone, Delete };
        int32_t id = 0;
        int32_t date = 0, time = 0;  // the moment the record stood at, as read
        // What the run did: the moment it ran (the last run, when set, and
        // where the search for the next occurrence starts) and the skip flag.
        int32_t ranDate = 0, ranTime = 0;
        bool setLastRun = false;  // the task was due (not only marked to be skipped)
        bool skipped = false;
        // The write the run comes to, planned from the record it starts from.
        Write write = Write::Reschedule;
        Schedule record;  // Reschedule: before the exceptions; MarkDone: the completed record
        bool stored = false;
        bool deleteScripts = false;  // a finished task's script items go once it is stored
        bool fileHistory = false;    // the run's history copy is owed
        Schedule history;
        int32_t historyScriptsTo = 0;  // the history copy whose script items are owed
        ShiftShortfall shift;        // what the exceptions' shift left unstored
        ShiftShortfall lost;         // what of the shift was given up, to be told once
    };
    // Applies the run to `s`, the task as it stood at the moment that ran:
    // the last run, the next occurrence, the skip and warning marks; sets
    // the run's write, record and history moment. Quiet: no message of the
    // occurrence search (a retry).
    void PlanRun(UnstoredRun& run, Schedule s, bool quiet);
    // Writes the record of the run (the first time with the table messages,
    // later quietly), then what the shift left missing and the history
    // copy; true when nothing of the run is owed any more.
    bool StoreRun(UnstoredRun& run, bool report);
    void RetryUnstoredRuns();
    void TellShiftLost(const UnstoredRun& run);
    bool IsUnstored(const Schedule& s) const;

    Schedule& SCH();
    void RestoreFrameForTask();
    void SoundAlarm();
    void DeleteTaskScriptItems(int32_t id, bool report);
    void ShowTrayBusy();
    void SetZone2(const std::string& text);
    void FollowPassingDays();
    std::string UserDate(int32_t date) const;
    bool DataFileReplaced();

    CycleHooks hooks_;
    CycleSettings settings_;
    std::function<CycleSettings()> settingsSource_;
    std::unique_ptr<TableScheduleStore> store_;

    int phase_ = 0;      // 1..4 once running
    int animation_ = 0;  // 1..7
    int trayStep_ = 0;   // 1..4
    bool scriptActive_ = false;
    bool scriptActiveBefore_ = false;
    std::string nextTaskText_;  // 40 characters
    std::string titleText_;     // 512 characters
    Schedule dueCopy_;
    int32_t savedID_ = 0;
    bool skip_ = false;
    int32_t lastKnownDate_ = 0;
    bool inTick_ = false;
    int64_t refusedTicks_ = 0;
    bool dataFileReplaced_ = false;  // told once; the process stays stopped
    int32_t foundID_ = 0, foundDate_ = 0, foundTime_ = 0;  // the next task as read
    std::vector<UnstoredRun> unstored_;
};

}  // namespace kr
