#include "scheduler/TimerCycle.h"

#include <mutex>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "platform/data/DataFileCheck.h"
#include "platform/data/ErrorHandler.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "scheduler/DateValues.h"
#include "scheduler/NextOccurrence.h"
#include "scheduler/Reschedule.h"
#include "scheduler/ScriptQueue.h"
#include "scheduler/TableScheduleStore.h"

namespace kr {

namespace {

using data::kLevelBenign;

// Ten minutes: a task later than this with "skip if missed" is skipped.
constexpr int32_t kOverdueLimit = 60000;

std::mutex g_prefixMutex;
FString<20> g_statusPrefix;

std::string TimeText(int32_t time, const char* picture) { return Format(Value(static_cast<int64_t>(time)), picture); }

std::string DateText(int32_t date, const char* picture) { return Format(Value(static_cast<int64_t>(date)), picture); }

const char* const kActivityImages[7] = {"~wrka.ico", "~wrkb.ico", "~wrkc.ico", "~wrkd.ico",
                                        "~wrke.ico", "~wrkf.ico", "~wrkg.ico"};
const char* const kScriptActivityImages[7] = {"~wrkas.ico", "~wrkbs.ico", "~wrkcs.ico", "~wrkds.ico",
                                              "~wrkes.ico", "~wrkfs.ico", "~wrkgs.ico"};

bool IsMessageTask(const Schedule& s) {
    const std::string& t = s.TaskType.str();
    return t == "Display Message" || t == "Both";
}

bool IsProgramTask(const Schedule& s) {
    const std::string& t = s.TaskType.str();
    return t == "Run Program" || t == "Both";
}

}  // namespace

std::atomic<bool>& ScriptsRequested() {
    static std::atomic<bool> requested{false};
    return requested;
}

void SetStatusPrefix(std::string_view text) {
    std::lock_guard<std::mutex> l(g_prefixMutex);
    g_statusPrefix = text;
}

std::string StatusPrefix() {
    std::lock_guard<std::mutex> l(g_prefixMutex);
    return g_statusPrefix.str();
}

TimerCycle::TimerCycle() = default;

TimerCycle::~TimerCycle() { Stop(); }

void TimerCycle::Start() {
    phase_ = 0;
    animation_ = 0;
    trayStep_ = 0;
    scriptActive_ = scriptActiveBefore_ = false;
    nextTaskText_.clear();
    titleText_.clear();
    dueCopy_ = Schedule();
    savedID_ = 0;
    skip_ = false;
    lastKnownDate_ = Today();
    refusedTicks_ = 0;
    foundID_ = foundDate_ = foundTime_ = 0;
    unstored_.clear();
    if (!store_) store_ = std::make_unique<TableScheduleStore>();
}

void TimerCycle::Stop() { store_.reset(); }

Schedule& TimerCycle::SCH() { return Schedule_File().rec(); }

std::string TimerCycle::UserDate(int32_t date) const {
    if (hooks_.formatUserDate) return hooks_.formatUserDate(date);
    return date == 0 ? std::string() : DateText(date, "@D3");
}

// A data file the program has open was replaced on disk (a copy renamed over
// it by a sync tool or by hand) or removed. The program's tables stay on the
// file they opened, where SQLite refuses every write, so nothing is written
// half to one file and half to the other; the new file was never checked as
// a start checks it. The user is told once, and nothing the tick drives
// runs until the program is started again on the new file: no task, no
// script item (a script under way stops at the item it reached, which is
// logged and named), no clipboard entry stored.
bool TimerCycle::DataFileReplaced() {
    if (dataFileReplaced_) return true;
    const std::vector<std::string> replaced = data::ReplacedDataFiles();
    if (replaced.empty()) return false;
    dataFileReplaced_ = true;
    std::string names;
    for (const std::string& path : replaced) {
        LogEvent("Data file replaced", path);
        names += "|    " + path;
    }
    std::string script;
    const bool scriptsRun = ScriptsRequested() || (settingsSource_ ? settingsSource_() : settings_).StartUpActive;
    if (const std::optional<ScriptQueueEntry> next = ScriptQueue().First(); next && scriptsRun) {
        const Scripting& item = next->Record;
        const std::string described = hooks_.describeScriptItem ? ClipRight(hooks_.describeScriptItem(item)) : "";
        const std::string reached = ClipRight(item.Action.str()) + (described.empty() ? "" : " " + described);
        LogEvent("Script stopped", "Data file replaced before " + reached);
        script = "|The script that was running stopped before its item " + reached + ".";
    }
    Message("Another file has taken the place of the data file Kairoll has open:" + names +
                "||Kairoll runs no tasks and no scripts now, its clipboard saver has stopped too, and nothing more "
                "is stored in the file." +
                script + "|Close Kairoll and start it again to use the new file.",
            "Data File Replaced", MessageIcon::Hand);
    return true;
}

void TimerCycle::TimerTick() {
    if (inTick_) {
        ++refusedTicks_;
        return;
    }
    inTick_ = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{inTick_};
    // The first tick waits for the start-up check of the data file (later
    // ones find it reported at once); a damaged file has no tick at all.
    if (!data::AwaitDataFileCheck()) return;
    // A data file replaced under the program: no task runs that could not
    // be stored.
    if (DataFileReplaced()) return;

    if (settingsSource_) settings_ = settingsSource_();
    const CycleSettings& s = settings_;

    // 1. Animation step; this tick starts without a running script.
    animation_ = animation_ >= 7 ? 1 : animation_ + 1;
    scriptActiveBefore_ = scriptActive_;
    scriptActive_ = false;

    // 2. The clipboard monitor.
    if (s.MonitorClipboard && !s.CM_UseEx && hooks_.saveClipboard) hooks_.saveClipboard();

    // 3. The rotation; on its wrap the tray's minimise behaviour follows NoTray.
    if (++phase_ > 4) {
        phase_ = 1;
        if (hooks_.setHideToTray) hooks_.setHideToTray(!s.NoTray);
    }

    // 4. The title is rebuilt every tick.
    titleText_ = kProductTitle;

    if (s.StartUpActive) {
        // 5. One check per tick: each runs once every four seconds.
        UpdateFrameTitle();
        switch (phase_) {
            case 1:
                if (hooks_.checkAdvanceWarnings) hooks_.checkAdvanceWarnings();
                break;
            case 2:
                if (hooks_.removeHistory && hooks_.removeHistory()) NotifyWindowThreads();
                break;
            case 3:
                FindNextTask();
                break;
            case 4:
                CheckDateJumpAndExitCodes();
                break;
        }
    } else {
        // 6. Inactive: no check runs.
        titleText_ += " (Inactive)";
        UpdateFrameTitle();
        if (hooks_.setScriptIndicator) hooks_.setScriptIndicator("");
        if (hooks_.setActivityImage) hooks_.setActivityImage(kBlankImage);
        FollowPassingDays();
    }

    // 7. and 8. The script run queue.
    DetectScriptActivity();
    UpdateScriptStatus();
    if (scriptActive_) {
        if (hooks_.scriptStep) hooks_.scriptStep();
        UpdateScriptStatus();
    }

    // 9. The tray icon.
    if (scriptActive_)
        ShowTrayBusy();
    else if (hooks_.setTrayIcon)
        hooks_.setTrayIcon(kTrayIdleIcon);
}

void TimerCycle::DetectScriptActivity() {
    if ((ScriptsRequested() || settings_.StartUpActive) && !ScriptQueue().Empty()) scriptActive_ = true;
    if (scriptActive_ && !scriptActiveBefore_) {
        if (hooks_.enableViewScript) hooks_.enableViewScript(true);
        if (hooks_.setScriptIndicator) hooks_.setScriptIndicator("*");
    } else if (!scriptActive_ && scriptActiveBefore_) {
        if (hooks_.enableViewScript) hooks_.enableViewScript(false);
        if (hooks_.setScriptIndicator) hooks_.setScriptIndicator("");
    }
    if (!scriptActive_) ScriptsRequested() = false;
}

void TimerCycle::SetZone2(const std::string& text) {
    if (hooks_.setStatusText) hooks_.setStatusText(kZoneScript, text);
}

void TimerCycle::UpdateScriptStatus() {
    std::string zone2;
    bool haveZone2 = false;
    const std::optional<ScriptQueueEntry> first = ScriptQueue().First();
    if (!first) {
        if (settings_.StartUpActive) {
            const std::string shown = hooks_.statusText ? hooks_.statusText(kZoneScript) : std::string();
            if (shown != nextTaskText_) {
                zone2 = nextTaskText_;
                haveZone2 = true;
            }
        } else {
            zone2 = "Inactive";
            haveZone2 = true;
        }
    } else {
        const Scripting& item = first->Record;
        const std::string description = hooks_.describeScriptItem ? hooks_.describeScriptItem(item) : std::string();
        const std::string time = TimeText(first->Time, "@T7");
        if (ClipRight(description).empty()) {
            std::string action = item.Action.str();
            action.resize(27, ' ');
            zone2 = action + " " + time;
        } else {
            zone2 = ClipRight(item.Action.str()) + " " + description + " " + time;
        }
        haveZone2 = true;
    }
    const std::string prefix = StatusPrefix();
    if (!ClipRight(prefix).empty()) {
        if (!haveZone2) zone2 = hooks_.statusText ? hooks_.statusText(kZoneScript) : nextTaskText_;
        zone2 = ClipRight(prefix) + "..." + zone2;
        haveZone2 = true;
        SetStatusPrefix("");
    }
    if (haveZone2) SetZone2(zone2);

    if (hooks_.setActivityImage) {
        const int frame = (animation_ >= 1 && animation_ <= 7 ? animation_ : 1) - 1;
        if (scriptActive_)
            hooks_.setActivityImage(kScriptActivityImages[frame]);
        else if (settings_.StartUpActive)
            hooks_.setActivityImage(kActivityImages[frame]);
        else
            hooks_.setActivityImage(kBlankImage);
    }
}

void TimerCycle::UpdateFrameTitle() {
    if (hooks_.frameHidden && hooks_.frameHidden() && hooks_.clearSessionUnlock) hooks_.clearSessionUnlock();
    if (hooks_.sessionUnlocked && hooks_.sessionUnlocked() && titleText_.find("(Unlocked)") == std::string::npos)
        titleText_ += " (Unlocked)";
    const std::string wanted = ClipRight(titleText_);
    const std::string caption = hooks_.frameCaption ? hooks_.frameCaption() : std::string();
    if (caption != wanted && hooks_.setFrameCaption) hooks_.setFrameCaption(wanted);
}

void TimerCycle::ShowTrayBusy() {
    trayStep_ = trayStep_ >= 4 ? 1 : trayStep_ + 1;
    if (!hooks_.setTrayIcon) return;
    if (trayStep_ == 1 || trayStep_ == 3)
        hooks_.setTrayIcon(kTrayBusy2Icon);
    else if (trayStep_ == 2)
        hooks_.setTrayIcon(kTrayBusyIcon);
}

void TimerCycle::NotifyWindowThreads() {
    if (hooks_.notifyWindowThreads) hooks_.notifyWindowThreads();
}

void TimerCycle::FindNextTask() {
    // Occurrences already acted on whose record could not be written: their
    // write is tried again first, without a message.
    if (!unstored_.empty()) RetryUnstoredRuns();

    ScheduleFileManager& f = Schedule_File();
    if (f.SetOrder(ScheduleDef().key("SCH:KeyDateEnabled")) != kLevelBenign) return;

    // The first enabled task with a date or a time, in date and time order.
    // A record still standing at an occurrence that already ran (its write
    // failed) is passed over, so that it runs once and the tasks behind it
    // still come due.
    bool found = false;
    bool passedOver = false;
    for (int reads = 0; reads < kNextTaskReadLimit; ++reads) {
        if (f.TryNext() != kLevelBenign || f.rec().Disabled) {
            found = false;
            break;
        }
        found = true;
        passedOver = (f.rec().Date == 0 && f.rec().Time == 0) || IsUnstored(f.rec());
        if (!passedOver) break;
    }
    // The reads ran out on a task without date and time: it is not due, and
    // running it would give it a date the user never chose.
    if (found && passedOver) found = false;
    if (!found) {
        nextTaskText_ = kNoTasksPending;
        if (hooks_.setTrayTip) hooks_.setTrayTip(kProductTitle);
        return;
    }

    Schedule& s = SCH();
    foundID_ = s.ID;
    foundDate_ = s.Date;
    foundTime_ = s.Time;
    if (s.Time > kTicksPerDay) {
        NormalizeDateTime(s.Date, s.Time);
        // Stored in its new place, the next pass finds it there.
        if (f.TryUpdate() == kLevelBenign) return;
    }

    FString<40> next;
    next = "Next: " + ClipRight(s.Description.str());
    nextTaskText_ = next.str();
    if (ScriptQueue().Empty()) SetZone2(nextTaskText_);
    if (hooks_.setTrayTip)
        hooks_.setTrayTip(std::string(kProductTitle) + " - " + ClipRight(s.Description.str()) + " " +
                          UserDate(s.Date) + " " + TimeText(s.Time, "@T7"));

    dueCopy_ = s;

    if (CompareDateTime(Today(), ClockTime(), s.Date, s.Time) >= 0) {
        ExecuteDueTask();
        NotifyWindowThreads();
    }
    foundID_ = 0;
}

void TimerCycle::RestoreFrameForTask() {
    const CycleSettings& st = settings_;
    if (((!st.UseModalMessage && !st.UseKRMsg) || st.MaximizeOnRun) && (IsMessageTask(SCH()) || st.MaximizeOnRun))
        if (hooks_.restoreFrame) hooks_.restoreFrame();
}

void TimerCycle::SoundAlarm() {
    const Schedule& s = SCH();
    if (!s.Alarm) return;
    if (Upper(ClipRight(s.AlarmFile.str())) == "BEEP") {
        if (hooks_.beep) hooks_.beep();
    } else if (hooks_.playSound) {
        hooks_.playSound(s.AlarmFile.str());  // a missing or unplayable file is ignored
    }
}

void TimerCycle::ConfirmTask() {
    Schedule& s = SCH();
    const int32_t today = Today(), clock = ClockTime();
    bool missed = false;
    if (s.Warn && s.TaskType.str() != "Display Message") {
        if (settings_.SkipIfDaysPassed == 0)
            missed = today > static_cast<int64_t>(s.Date) + 1;
        else
            missed = CompareDateTime(today, clock, s.Date + settings_.SkipIfDaysPassed, s.Time) == 1;
    }
    const std::string description = ClipRight(s.Description.str());
    if (missed) {
        if (Message(description + " was not run.  Run it now?", "Missed Task", MessageIcon::Exclamation,
                    kButtonYes | kButtonNo, kButtonNo) != kButtonYes) {
            LogEvent("Missed task skipped", s.Description.str());
            skip_ = true;
        }
    } else if (s.UserSkip) {
        if (Message(description + " is due to run.  Run it now?", "Confirm Task", MessageIcon::Exclamation,
                    kButtonYes | kButtonNo, kButtonNo) != kButtonYes) {
            LogEvent("Task skipped", s.Description.str());
            skip_ = true;
        }
    }
}

void TimerCycle::DeleteTaskScriptItems(int32_t id, bool report) {
    ScriptingFileManager& f = Scripting_File();
    if (f.UseFile()) return;
    const Scripting keep = f.rec();
    f.rec() = Scripting();
    f.rec().ID = id;
    if (f.SetPosition(ScriptingDef().key("SCR:KeyID")) == kLevelBenign)
        while (f.TryNext() == kLevelBenign && f.rec().ID == id)
            if ((report ? f.Delete() : f.TryDelete()) != kLevelBenign) break;
    f.rec() = keep;
}

void TimerCycle::ExecuteDueTask() {
    if (!store_) store_ = std::make_unique<TableScheduleStore>();
    Schedule& s = SCH();
    const int32_t today = Today(), clock = ClockTime();
    savedID_ = s.ID;
    skip_ = false;
    const bool due = !s.SkipNextTime;  // not only marked to be skipped

    if (due) {
        RestoreFrameForTask();
        SoundAlarm();
        // The skip rules, the first that applies.
        if (s.SkipIfMissed && CompareDateTime(today, clock - kOverdueLimit, s.Date, s.Time) == 1) {
            LogEvent("Overdue task skipped", s.Description.str());
            skip_ = true;
        } else if (s.SkipIfScriptActive && !ScriptQueue().Empty()) {
            LogEvent("Task skipped during script", s.Description.str());
            skip_ = true;
        } else {
            ConfirmTask();
        }
        s.LastRunDate = today;
        s.LastRunTime = clock;
        if (!skip_) {
            // The hooks get a copy: the message and the runner must not change
            // the record that is rescheduled below.
            const Schedule task = s;
            if (IsMessageTask(task) && hooks_.showTaskMessage) hooks_.showTaskMessage(task);
            if (IsProgramTask(task) && hooks_.runTask) hooks_.runTask(task);
        }
    }

    // From here on the occurrence has been dealt with: should its record not
    // be written, it is remembered rather than left due for the next check.
    UnstoredRun run;
    run.id = savedID_;
    const bool asRead = s.ID == foundID_;
    run.date = asRead ? foundDate_ : s.Date;
    run.time = asRead ? foundTime_ : s.Time;
    run.ranDate = today;
    run.ranTime = clock;
    run.setLastRun = due;
    run.skipped = skip_;
    skip_ = false;
    PlanRun(run, s, false);
    if (run.write != UnstoredRun::Write::Delete) s = run.record;
    const bool completed = run.write != UnstoredRun::Write::Reschedule;
    if (!StoreRun(run, true)) unstored_.push_back(run);
    if (!completed) NotifyWindowThreads();
}

namespace {

// A finished task: completed and disabled at the moment that ran (`moment`
// holds it and its warning).
void MarkTaskDone(Schedule& s, const Schedule& moment) {
    s.Completed = 1;
    s.Disabled = 1;
    s.Date = moment.Date;
    s.Time = moment.Time;
    s.AdvanceWarnDate = moment.AdvanceWarnDate;
    s.AdvanceWarnTime = moment.AdvanceWarnTime;
}

// The history copy of a run: the task as stored, completed at the moment
// that ran (the run's history record holds that moment and the skip flag).
Schedule HistoryCopy(const Schedule& task, const Schedule& moment) {
    Schedule h = task;
    MarkTaskDone(h, moment);
    if (moment.Skipped) {
        FString<40> d;
        d = "(Skipped) " + h.Description.str();
        h.Description = d.str();
        h.Skipped = 1;
    }
    // A copy of a run that is over must never raise the advance warning of
    // the occurrence it records.
    h.AdvanceWarned = 1;
    return h;
}

bool NotThere(int e) { return e == kRecordNotAvailable || e == kRecordNotFound; }

}  // namespace

void TimerCycle::PlanRun(UnstoredRun& run, Schedule s, bool quiet) {
    if (run.setLastRun) {
        s.LastRunDate = run.ranDate;
        s.LastRunTime = run.ranTime;
    }
    // The due moment; advance warnings become offsets from it.
    const int32_t dueDate = s.Date, dueTime = s.Time;
    const int32_t warnDate = s.AdvanceWarnDate, warnTime = s.AdvanceWarnTime;
    bool warnOffsets = false;
    if (s.AdvanceWarnDate != 0) {
        s.AdvanceWarnDate -= s.Date;
        warnOffsets = true;
    }
    if (s.AdvanceWarnTime != 0) {
        s.AdvanceWarnTime -= s.Time;
        warnOffsets = true;
    }

    if (s.Date < run.ranDate && s.SkipIfMissed)
        NextScheduleDate(s, run.ranDate, 0, quiet);
    else
        NextScheduleDate(s, run.ranDate, run.ranTime, quiet);

    run.history = Schedule();
    run.history.Date = dueDate;
    run.history.Time = dueTime;
    run.history.AdvanceWarnDate = warnDate;
    run.history.AdvanceWarnTime = warnTime;
    run.history.Skipped = run.skipped ? 1 : 0;

    if (s.Completed) {
        run.deleteScripts = !settings_.SaveScripts;
        run.fileHistory = false;
        if (s.NoHistory) {
            run.write = UnstoredRun::Write::Delete;  // with its script items
        } else {
            MarkTaskDone(s, run.history);
            run.write = UnstoredRun::Write::MarkDone;
        }
        run.record = s;
        return;
    }

    s.SkipNextTime = 0;
    if (warnOffsets) {
        s.AdvanceWarnDate += s.Date;
        s.AdvanceWarnTime += s.Time;
        // The offsets kept their sign: a warning time before midnight of a
        // task after it comes back negative (or past the day's end) and is
        // carried into the date, so the warning stays a real moment.
        if (s.AdvanceWarnDate > 0) NormalizeDateTime(s.AdvanceWarnDate, s.AdvanceWarnTime);
    }
    s.AdvanceWarned = 0;
    run.write = UnstoredRun::Write::Reschedule;
    run.record = s;
    run.deleteScripts = false;
    // The run goes into the history as a completed copy, once the task's own
    // record is stored.
    run.fileHistory = !s.NoHistory && run.setLastRun;
}

bool TimerCycle::StoreRun(UnstoredRun& run, bool report) {
    if (!store_) return false;
    store_->SetReporting(report);
    struct Reporting {
        TableScheduleStore& store;
        ~Reporting() { store.SetReporting(true); }
    } reporting{*store_};
    Schedule& s = SCH();

    bool shiftTried = false;  // this attempt's reschedule tried the shift already
    if (!run.stored) {
        bool left = false;
        if (!report) {
            // The run is applied to the record as it is stored now, so that
            // what someone else stored meanwhile stays; but only while it
            // still stands at the moment that ran. One moved, disabled or
            // deleted meanwhile (in a list, a form) is left as they wrote it.
            Schedule now;
            const int e = store_->Fetch(run.id, now);
            if (e != kNoError && !NotThere(e)) return false;
            if (e == kNoError && now.Date == run.date && now.Time == run.time && now.Disabled == 0) {
                PlanRun(run, now, true);
            } else {
                left = true;
                run.stored = true;
                run.deleteScripts = false;  // its script belongs to what they made of it
                if (run.fileHistory) run.history = HistoryCopy(e == kNoError ? now : run.record, run.history);
            }
        }
        if (!left) {
            switch (run.write) {
                case UnstoredRun::Write::Delete:
                    run.stored = store_->Delete(run.id) == kNoError;
                    break;
                case UnstoredRun::Write::MarkDone:
                    run.stored = store_->Put(run.record) == kNoError;
                    if (run.stored) s = run.record;
                    break;
                case UnstoredRun::Write::Reschedule: {
                    Schedule r = run.record;
                    const HolidaySet holidays = LoadHolidays();
                    const int failedBefore = store_->failedWrites();
                    ShiftShortfall shift;
                    run.stored = RescheduleTask(r, true, *store_, holidays.Test(), &shift) != 0;
                    if (run.stored) {
                        run.shift = shift;
                        shiftTried = true;
                    } else if (store_->failedWrites() == failedBefore) {
                        // The exceptions stored nothing and needed nothing
                        // stored; a write of theirs that failed leaves the
                        // record unstored (their message was the one).
                        run.stored = store_->Put(r) == kNoError;
                    }
                    if (run.stored) {
                        s = r;
                        if (run.fileHistory) run.history = HistoryCopy(r, run.history);
                    }
                    break;
                }
            }
        }
        if (!run.stored) return false;
    }

    // What is still owed once the task's own record is stored: the parts of
    // a shift to another day, the history copy. Each is tried on its own, so
    // a retry does only what is missing; a shift this attempt's reschedule
    // tried already waits for the next.
    bool done = !(shiftTried && run.shift.Any());
    if (run.shift.Any() && !shiftTried) {
        switch (CompleteShift(run.shift, *store_)) {
            case ShiftOutcome::Stored:
                break;
            case ShiftOutcome::Pending:
                done = false;
                break;
            case ShiftOutcome::GaveUp:
                run.lost = run.shift;
                run.shift = ShiftShortfall();
                break;
        }
    }
    if (run.fileHistory) {
        Schedule h = run.history;
        if (AddScheduleCopy(*store_, h) == kNoError) {
            run.fileHistory = false;
            if (settings_.SaveScripts && h.ID != run.id) run.historyScriptsTo = h.ID;
        } else {
            done = false;
        }
    }
    // The copy's script items, all or nothing: a copy whose items could not
    // be stored gets them at a later retry, from the task's own items.
    if (run.historyScriptsTo != 0) {
        if (store_->CopyScriptItems(run.id, run.historyScriptsTo) == kNoError)
            run.historyScriptsTo = 0;
        else
            done = false;
    }
    // A finished task's script items go only once nothing owed is copied
    // from them any more.
    if (run.deleteScripts && !run.fileHistory && run.historyScriptsTo == 0) {
        DeleteTaskScriptItems(run.id, report);
        run.deleteScripts = false;
    }
    return done;
}

// A shift's copy or its script that could not be stored before the task
// moved on (or the copy ran or went) is told once: the user counted on the
// run on the other day.
void TimerCycle::TellShiftLost(const UnstoredRun& run) {
    const std::string description = ClipRight(run.record.Description.str());
    const std::string day = UserDate(run.lost.copyDate);
    if (run.lost.copy)
        Message("The run of " + description + " moved to " + day +
                    " could not be stored, and will not take place.",
                "Task Not Stored", MessageIcon::Exclamation);
    else
        Message("The script of " + description + " for its run moved to " + day +
                    " could not be stored: that run has no script.",
                "Task Not Stored", MessageIcon::Exclamation);
}

void TimerCycle::RetryUnstoredRuns() {
    // Without waiting for a file another program holds: a retry that finds
    // it busy is tried again at the next check, and the window and the
    // tasks due meanwhile do not wait for it.
    for (auto it = unstored_.begin(); it != unstored_.end();) {
        bool stored;
        {
            data::NoBusyWait noWait;
            stored = StoreRun(*it, false);
        }
        // Told outside the no-wait scope: the box's event loop runs the
        // other windows, whose writes wait for a busy file as usual.
        if (it->lost.Any()) {
            TellShiftLost(*it);
            it->lost = ShiftShortfall();
        }
        if (stored) {
            it = unstored_.erase(it);
            NotifyWindowThreads();
        } else {
            ++it;
        }
    }
}

bool TimerCycle::IsUnstored(const Schedule& s) const {
    for (const UnstoredRun& run : unstored_)
        if (!run.stored && run.id == s.ID && run.date == s.Date && run.time == s.Time) return true;
    return false;
}

void TimerCycle::FollowPassingDays() {
    const int32_t today = Today();
    if (today > lastKnownDate_ && today - lastKnownDate_ <= kDateJumpDays) lastKnownDate_ = today;
}

void TimerCycle::CheckDateJumpAndExitCodes() {
    const int32_t today = Today();
    if (static_cast<int64_t>(today) - lastKnownDate_ > kDateJumpDays) {
        if (hooks_.runProgram) hooks_.runProgram(kBackupCommand);  // the run code is not checked
        const int32_t clock = ClockTime();
        std::string text = "Warning!||You have set the system date forward more than 3 days.||";
        text += "Tasks scheduled prior to ";
        text += DateText(today, "@D17");
        text += " ";
        text += TimeText(clock, "@T7");
        text += " will be executed immediately.  We recommend that you make a backup or change the date back to ";
        text += DateText(lastKnownDate_, "@D17");
        text += " before pressing OK (on this warning message).";
        Message(text, "Warning", MessageIcon::None, kButtonOk);
        lastKnownDate_ = today;
    } else {
        // The ordinary passing of days moves the remembered day along, so
        // that only a jump of the system date warns.
        FollowPassingDays();
    }
    if (settings_.LogEvents && settings_.LogExitCodes && hooks_.logExitCodes) hooks_.logExitCodes();
}

}  // namespace kr
