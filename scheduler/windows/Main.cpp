#include "scheduler/windows/Main.h"
#include "scheduler/ActivityText.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWindowStateChangeEvent>
#include <map>
#include <mutex>
#include <utility>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/OpenTable.h"
#include "dictionary/Settings.h"
#include "platform/data/ErrorHandler.h"
#include "platform/data/Table.h"
#include "platform/desktop/Sound.h"
#include "platform/desktop/WindowModes.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"
#include "platform/ui/PrintSetup.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/SessionUnlock.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/WindowPosition.h"
#include "scheduler/ClipboardMonitor.h"
#include "scheduler/DailyJobs.h"
#include "scheduler/DesktopScriptServices.h"
#include "scheduler/RunnerSettings.h"
#include "scheduler/ScriptInterpreter.h"
#include "scheduler/ScriptQueue.h"
#include "scheduler/StartedPrograms.h"
#include "scheduler/TaskMessage.h"
#include "scheduler/TaskRunner.h"
#include "scheduler/windows/ClipboardWatcher.h"
#include "scheduler/windows/FrameIcons.h"
#include "scriptedit/ScriptItems.h"
#include "scheduler/windows/TaskMessageWindow.h"

namespace kr {

namespace {

const char* const kWeekdayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// How a command runs.
enum class Kind { Start, Call, Special };
struct CommandInfo {
    int control;
    Kind kind;
    const char* procedure;
    int stack;
};

constexpr int kBigStack = 50000;

const CommandInfo kCommands[] = {
    {-2, Kind::Call, "Setup", 0},
    {-3, Kind::Start, "BrowseScheduleCategories", kDefaultStack},
    {-38, Kind::Start, "BrowseScheduleCategories", kDefaultStack},
    {-4, Kind::Start, "BrowseContactCategories2Pane", kDefaultStack},
    {-39, Kind::Start, "BrowseContactCategories2Pane", kDefaultStack},
    {-5, Kind::Start, "BrowseClipboardCategories", kDefaultStack},
    {-40, Kind::Start, "BrowseClipboardCategories", kDefaultStack},
    {-6, Kind::Start, "BrowseHolidays", kDefaultStack},
    {-7, Kind::Start, "BrowseScriptTemplates", kDefaultStack},
    {-8, Kind::Call, "Housekeeping", 0},
    {-11, Kind::Start, "ImportSchedule", kDefaultStack},
    {-12, Kind::Start, "ImportContacts", kDefaultStack},
    {-13, Kind::Start, "ImportToDo", kDefaultStack},
    {-15, Kind::Start, "ExportSchedule", kDefaultStack},
    {-16, Kind::Start, "ExportContacts", kDefaultStack},
    {-17, Kind::Start, "ExportToDo", kDefaultStack},
    {-19, Kind::Start, "ViewAscii:Log", kDefaultStack},
    {-20, Kind::Special, nullptr, 0},
    {-22, Kind::Start, "ViewQueue:Script", kDefaultStack},
    {-23, Kind::Start, "BugReport", kDefaultStack},
    {-24, Kind::Start, "ExploreSchedule", kDefaultStack},
    {-25, Kind::Special, nullptr, 0},
    {-26, Kind::Special, nullptr, 0},
    {-32, Kind::Start, "BrowseSchedule", kDefaultStack},
    {-33, Kind::Start, "BrowseHotKeys", kDefaultStack},
    {-34, Kind::Start, "BrowseToDoList", kDefaultStack},
    {-35, Kind::Start, "BrowseContacts", kDefaultStack},
    {-36, Kind::Start, "BrowseMessages", kDefaultStack},
    {-37, Kind::Start, "BrowseClipboard", kDefaultStack},
    {-42, Kind::Start, "Wizard:Message", kDefaultStack},
    {-43, Kind::Start, "Wizard:Program", kDefaultStack},
    {-44, Kind::Start, "Wizard:Script", kDefaultStack},
    {-45, Kind::Start, "Wizard:GeneralTask", kDefaultStack},
    {-46, Kind::Start, "Wizard:NewBirthdays", kDefaultStack},
    {-47, Kind::Start, "UpdateHotKeys", kDefaultStack},
    {-50, Kind::Start, "PrintScheduleBrief", kDefaultStack},
    {-51, Kind::Start, "Print:SCH:AllDateOrder", kBigStack},
    {-52, Kind::Start, "Print:SCH:AllCategoryOrder", kBigStack},
    {-53, Kind::Start, "Print:SCH:OneCategory", kDefaultStack},
    {-54, Kind::Start, "PrintScheduleChecklist", kDefaultStack},
    {-56, Kind::Start, "PrintToDoByPriority", kDefaultStack},
    {-57, Kind::Start, "PrintToDoByCategory", kDefaultStack},
    {-58, Kind::Start, "PrintContacts", kDefaultStack},
    {-59, Kind::Start, "PrintCAT:KeyCategory", kDefaultStack},
    {-70, Kind::Special, nullptr, 0},
    {-71, Kind::Special, nullptr, 0},
    {-72, Kind::Call, "About", 0},
    {-73, Kind::Start, "Wizard:Program", kBigStack},
    {-74, Kind::Start, "Wizard:Message", kBigStack},
    {-75, Kind::Start, "Wizard:Script", kBigStack},
    {-76, Kind::Start, "BrowseSchedule", kDefaultStack},
    {-77, Kind::Start, "BrowseToDoList", kDefaultStack},
    {-78, Kind::Start, "BrowseContacts", kDefaultStack},
    {-79, Kind::Start, "BrowseClipboard", kDefaultStack},
    {-80, Kind::Start, "BrowseMessages", kDefaultStack},
    {-81, Kind::Call, "Setup", 0},
    {-84, Kind::Special, nullptr, 0},
};

const CommandInfo* FindCommand(int control) {
    for (const CommandInfo& c : kCommands)
        if (c.control == control) return &c;
    return nullptr;
}

// The hot-key commands wait for the end of StartUp.
bool IsHotKeyCommand(int control) { return control == -33 || control == -47; }

std::mutex g_calledMutex;
std::map<std::string, std::function<void()>>& Called() {
    static std::map<std::string, std::function<void()>> m;
    return m;
}

FrameHotKeys& HotKeys() {
    static FrameHotKeys h;
    return h;
}

MainFrame* g_frame = nullptr;

// The clipboard monitor and the daily jobs of the timer rotation (thread 1).
struct FrameJobs {
    ClipboardMonitor monitor;
    DailyJobs housekeeping;
    std::unique_ptr<ClipboardWatcher> watcher;
};
FrameJobs& Jobs() {
    static FrameJobs j;
    return j;
}

std::string Picture(int32_t v, const char* picture) { return Format(Value(static_cast<int64_t>(v)), picture); }

// A due task's program as the timer starts it: the task's command and
// folder, no verb, its script items queued, a normal window and priority.
void RunDueTask(const Schedule& task) {
    RunTask(task.Command.str(), task.Path.str(), "", task.ID, nullptr, 0, 1, 1, 1, 0);
}

}  // namespace

void RegisterCalledProcedure(const std::string& name, std::function<void()> procedure) {
    std::lock_guard<std::mutex> l(g_calledMutex);
    Called()[Upper(Trim(name))] = std::move(procedure);
}

bool IsCalledProcedureRegistered(const std::string& name) {
    std::lock_guard<std::mutex> l(g_calledMutex);
    return Called().count(Upper(Trim(name))) > 0;
}

ThreadGroup& BrowseScheduleThreads() {
    static ThreadGroup group;
    return group;
}

void NotifyWindowThreads() { BrowseScheduleThreads().PostToAll(kEventScheduleChanged); }

void SetFrameHotKeys(FrameHotKeys hotKeys) { HotKeys() = std::move(hotKeys); }

std::string FrameDebug() { return runner::Debug(); }

void MainTrayIcon::HandleDoubleClick() { frame_.TrayDoubleClick(); }
void MainTrayIcon::HandleRightClick() { frame_.TrayRightClick(); }

MainFrame::MainFrame() : WindowManager(kMainProcedure) { SetSavePosition(true, true); }

MainFrame::~MainFrame() {
    if (g_frame == this) g_frame = nullptr;
}

QWidget* MainFrame::MakeWindow() {
    ui_.Build();
    ui_.window->setWindowTitle(QString::fromUtf8(kProductTitle));
    // The program's windows open cascaded from the frame, under its menus.
    SetCascadeFrame(ui_.window);
    connect(ui_.windowMenu, &QMenu::aboutToShow, this, [this] { ListOpenWindows(); });
    // A highlighted menu item's tip shows in status zone 1 (the window
    // system's own status message would hide every zone but the last).
    // While it shows, zone 2 (the next task or the script) steps aside, so
    // the tip has the room up to the date and clock zones: at the frame's
    // opening width the two texts together do not fit, and both were cut.
    QLabel* tipZone = ui_.zones[1];
    QLabel* nextZone = ui_.zones[2];
    auto showTip = [tipZone, nextZone](const QString& tip) {
        tipZone->setText(tip);
        nextZone->setVisible(tip.isEmpty());
    };
    for (QMenu* menu : ui_.window->menuBar()->findChildren<QMenu*>()) {
        connect(menu, &QMenu::hovered, tipZone, [showTip](QAction* a) { showTip(a->statusTip()); });
        if (menu->parent() == ui_.window->menuBar())
            connect(menu, &QMenu::aboutToHide, tipZone, [showTip] { showTip(QString()); });
    }
    return ui_.window;
}

// The Window menu: Tile and Cascade, then one item per open window of the
// program (numbered, as the window system's list is), which brings that
// window forward.
void MainFrame::ListOpenWindows() {
    QMenu* menu = ui_.windowMenu;
    for (QAction* a : menu->actions())
        if (a->property("krWindowItem").toBool()) {
            menu->removeAction(a);
            a->deleteLater();
        }
    const std::vector<QWidget*> windows = ArrangeableWindows();
    if (windows.empty()) return;
    QAction* separator = menu->addSeparator();
    separator->setProperty("krWindowItem", true);
    int n = 0;
    for (QWidget* w : windows) {
        ++n;
        QString text = w->windowTitle();
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        text = n < 10 ? QStringLiteral("&%1 %2").arg(n).arg(text) : QStringLiteral("%1 %2").arg(n).arg(text);
        QAction* a = menu->addAction(text);
        a->setProperty("krWindowItem", true);
        QPointer<QWidget> target = w;
        connect(a, &QAction::triggered, this, [target] {
            if (!target) return;
            if (target->isMinimized()) target->showNormal();
            target->raise();
            target->activateWindow();
        });
    }
}

bool MainFrame::CommandAvailable(int control) const {
    const CommandInfo* c = FindCommand(control);
    if (!c) return false;
    switch (c->kind) {
        case Kind::Start: return IsProcedureRegistered(c->procedure);
        case Kind::Call: return IsCalledProcedureRegistered(c->procedure);
        case Kind::Special: return true;
    }
    return false;
}

void MainFrame::EnableCommand(int control, bool on) {
    for (QAction* a : ui_.ActionsOf(control)) a->setEnabled(on);
}

void MainFrame::UpdateCommandStates() {
    for (const CommandInfo& c : kCommands) {
        bool on = CommandAvailable(c.control);
        if (IsHotKeyCommand(c.control)) on = on && hotKeysReady_;
        if (c.control == -22) on = on && viewScriptActive_;
        EnableCommand(c.control, on);
    }
    // Standard actions with nothing behind them here: no help file, no
    // minimised child windows whose icons could be arranged (the program's
    // windows minimise to the desktop's taskbar).
    for (QAction* a : {ui_.arrangeIcons, ui_.helpContents, ui_.helpSearch, ui_.helpHowTo})
        a->setEnabled(false);
}

bool MainFrame::Init() {
    g_frame = this;
    // 1. The start moment.
    startDate_ = Today();
    startTime_ = ClockTime();

    // 2. The frame's tables, for thread 1.
    tablesOpened_ = Schedule_Relations().Open() == data::kLevelBenign;
    Scripting_Relations().Open();
    SysHotKeys_Relations().Open();

    // 4. The tray icon; without a tray on the desktop the frame minimises to
    // the taskbar whatever NoTray says, so it never gets out of reach.
    const bool noTray = Options().NoTray != 0 || !TrayIcon::TrayAvailable();
    tray_.ALWAYSREFRESH = 1;
    tray_.Init(Window(), kMainTrayID, noTray, false, Title(), kTrayIdleIcon);

    // 5. Hot keys: the built-in restore key, the stored ones once the event
    // loop runs.
    if (HotKeys().init) HotKeys().init(Window());
    if (HotKeys().add) HotKeys().add(kRestoreHotKey);
    Post(kEventReloadHotKeys);
    if (HotKeys().resume) HotKeys().resume();

    // 6. The end of the session runs the normal shutdown.
    session_.Init(1, 1, [this] { CloseWithoutQuestion(); });

    // 8. The tray popup.
    BuildTrayPopup();
    UpdateCommandStates();

    // 9. and 10.
    StartUp();
    RestoreClipboard();

    // What the task runner and the message display ask of the windows.
    InstallMessageWindows();
    // A modal message the cycle opens holds the cycle until it is answered.
    SetModalMessageHold([this] { return cycle_.InTick() && CurrentProcedureThread() == Thread(); });
    TaskRunnerHooks runner;
    runner.closeApplication = [] { CloseMain(); };
    runner.busyCursor = [](bool on) {
        if (QThread::currentThread() != qApp->thread()) return;
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    runner.showTaskMessage = [](const Schedule& task) { ShowTaskMessage_Display(task); };
    runner.windowModeRequested = [](int32_t pid, int32_t mode) {
        StartedWindowMode m = StartedWindowMode::Normal;
        switch (mode) {
            case kShowHidden: m = StartedWindowMode::Hidden; break;
            case kShowMinimized: m = StartedWindowMode::Minimised; break;
            case kShowMaximized: m = StartedWindowMode::Maximised; break;
            case kShowMinimizedNoActivate: m = StartedWindowMode::MinimisedNoActivate; break;
            case kShowNoActivate: m = StartedWindowMode::NoActivate; break;
            default: break;
        }
        ApplyWindowModeWhenShown(pid, m);
    };
    SetTaskRunnerHooks(std::move(runner));
    SetExecuteTaskRunner(RunDueTask);

    InstallCycleHooks();
    Jobs().housekeeping.Start();
    // The one-time re-key of the clipboard entries, a batch per event
    // between the timer's ticks.
    if (std::shared_ptr<ClipboardRekeyProcess> rekey = StartClipboardRekey()) {
        auto* step = new QTimer(this);
        connect(step, &QTimer::timeout, this, [rekey, step] {
            if (rekey->Step(rekey->batchSize())) return;
            step->stop();
            step->deleteLater();
        });
        step->start(0);
    }
    Jobs().watcher = std::make_unique<ClipboardWatcher>(Jobs().monitor, ForegroundWindowTitle);
    Jobs().watcher->ReadNow();
    cycle_.Start();
    RefreshDateAndTime();
    SetTimer(100);
    return true;
}

void MainFrame::StartUp() {
    // 1. The caption.
    const std::string caption = std::string(kProductTitle) + " " + kProductVersion;
    SetTitle(caption);

    // 2. The settings.
    configurationOpened_ = OpenTable(data::TableOf(ConfigurationDef())) == 0;
    PutSetting("KRV", "kr98");
    Options().ININame = "kr98.INI";
    PutSetting("Version", kProductVersion);
    LoadSettings();
    // Minimising follows the loaded NoTray at once, not only from the
    // cycle's next rotation.
    if (Options().NoTray != 0 || !TrayIcon::TrayAvailable())
        tray_.UnregisterEvents();
    else
        tray_.RegisterEvents();

    // 3. The debug switch of the program INI.
    runner::SetDebug(ClipRight(GetIniValue(Options().ININame.get(), "Settings", "Debug", "")));
    if (!runner::Debug().empty()) LogEvent("Debugging Active", "Debug");

    // 4. The windows the user wants at start-up.
    // They open as soon as the frame shows (TakeOpened), in the frame's
    // cascade and above it: opened now, the frame would show over them.
    const OptionGlobals& o = Options();
    if (o.StartupContacts) startupWindows_.push_back("BrowseContacts");
    if (o.StartupClipboardSaver) startupWindows_.push_back("BrowseClipboard");
    if (o.StartUpTodo) startupWindows_.push_back("BrowseToDoList");
    if (o.StartUpSchedule) startupWindows_.push_back("BrowseSchedule");

    // 5. and 6. The frame goes into the tray once the start-up windows are
    // open (TakeOpened), so that they go with it.
    if (o.StartUpMinimized) Window()->setWindowState(Window()->windowState() | Qt::WindowMinimized);
    LogEvent("Started", caption);
    minimiseAfterStartupWindows_ = o.StartUpMinimized != 0;

    // 7. The hot-key commands.
    hotKeysReady_ = true;
    EnableCommand(-47, CommandAvailable(-47));
    EnableCommand(-33, CommandAvailable(-33));
    popup_.SetItemEnable("HotKeys", CommandAvailable(-33));
}

void MainFrame::RestoreClipboard() {
    if (!Clipboard().Text().empty()) return;
    auto& f = Clipboard_File();
    if (f.Open() != data::kLevelBenign) return;
    // The end of the descending date key: the oldest saved entry.
    if (f.SetOrder(ClipboardDef().key("CLI:KeyClipDate")) == data::kLevelBenign &&
        f.TryPrevious() == data::kLevelBenign) {
        std::string text = f.rec().ClipContents;
        if (text.size() > 8192) text.resize(8192);
        if (!text.empty()) Clipboard().SetText(text);
    }
    f.Close();
}

void MainFrame::BuildTrayPopup() {
    popup_.Clear();
    popup_.AddItem("Restore", "Restore", "restore.ico");
    popup_.AddSeparator();
    popup_.AddItem("AddProgram", "&Program Wizard", "prgwiz16.ico");
    popup_.AddItem("AddMessage", "&Message Wizard", "msgwiz16.ico");
    popup_.AddItem("AddScript", "&Scripting Wizard", "scrwiz16.ico");
    popup_.AddSeparator();
    popup_.AddItem("StopScript", "Stop Active Scripts", "stopscr.ico");
    popup_.AddSeparator();
    popup_.AddItem("HotKeys", "&Hot Keys", "keydown.ico");
    popup_.AddItem("Options", "&Options", "wrench16.ico");
    popup_.AddItem("About", "&About", "fourstar.ico");
    popup_.AddSeparator();
    popup_.AddItem("Exit", "E&xit Kairoll", "exit.ico");
    popup_.SetItemEnable("AddProgram", CommandAvailable(-73));
    popup_.SetItemEnable("AddMessage", CommandAvailable(-74));
    popup_.SetItemEnable("AddScript", CommandAvailable(-75));
    popup_.SetItemEnable("StopScript", false);
    popup_.SetItemEnable("HotKeys", false);
    popup_.SetItemEnable("Options", CommandAvailable(-81));
    popup_.SetItemEnable("About", CommandAvailable(-72));
}

void MainFrame::InstallCycleHooks() {
    cycle_.SetSettingsSource([this] {
        const OptionGlobals& o = Options();
        CycleSettings s;
        s.MonitorClipboard = o.MonitorClipboard != 0;
        s.CM_UseEx = o.CM_UseEx != 0;
        s.NoTray = o.NoTray != 0 || !TrayIcon::TrayAvailable();
        s.StartUpActive = o.StartUpActive != 0;
        s.SkipIfDaysPassed = o.SkipIfDaysPassed;
        s.LogEvents = o.GlobalUseLog != 0;
        s.LogExitCodes = o.LogExitCodes != 0;
        s.UseKRMsg = o.UseExternalMessage != 0;
        s.UseModalMessage = o.UseModalMessage != 0;
        s.MaximizeOnRun = o.MaximizeOnRun != 0;
        s.SaveScripts = o.SaveScripts != 0;
        (void)this;
        return s;
    });
    CycleHooks h;
    h.restoreFrame = [this] { RestoreFrame(); };
    h.frameHidden = [this] { return !Window()->isVisible(); };
    h.frameCaption = [this] { return Title(); };
    h.setFrameCaption = [this](const std::string& c) { SetTitle(c); };
    h.statusText = [this](int zone) { return StatusZone(zone); };
    h.setStatusText = [this](int zone, const std::string& t) {
        if (zone >= 1 && zone <= 4) ui_.zones[zone]->setText(QString::fromStdString(t));
    };
    h.setScriptIndicator = [this](const std::string& image) {
        ui_.indicator->setText(QString::fromStdString(image));
    };
    h.setActivityImage = [this](const std::string& image) {
        const QIcon icon = FrameIcon(image);
        if (icon.isNull())
            ui_.activity->clear();
        else
            ui_.activity->setPixmap(icon.pixmap(16, 16));
        ui_.activity->setProperty("image", QString::fromStdString(image));
    };
    h.enableViewScript = [this](bool on) {
        viewScriptActive_ = on;
        EnableCommand(-22, on && CommandAvailable(-22));
    };
    h.setTrayTip = [this](const std::string& t) { tray_.SetTooltip(t); };
    h.setTrayIcon = [this](const std::string& i) { tray_.SetIcon(i); };
    // The keystroke engine shows its busy-key icons in the tray while it types.
    SetSendKeysTrayIcon([this](const std::string& i) { tray_.SetIcon(i); });
    h.setHideToTray = [this](bool hide) {
        if (hide)
            tray_.RegisterEvents();
        else
            tray_.UnregisterEvents();
    };
    h.notifyWindowThreads = [] { NotifyWindowThreads(); };
    h.sessionUnlocked = [] { return sessionUnlocked(); };
    h.clearSessionUnlock = [] { setSessionUnlocked(false); };
    h.playSound = [](const std::string& file) { PlaySoundAsync(file); };
    h.beep = [] { Beep(); };
    h.showTaskMessage = [](const Schedule& task) { ShowTaskMessage_Display(task); };
    h.runTask = RunDueTask;
    h.scriptStep = [] { ProgramScriptInterpreter().Step(); };
    h.describeScriptItem = [](const Scripting& item) { return DescribeScriptItem(item); };
    h.logExitCodes = [] { LogProgramExitCodes(); };
    h.runProgram = [](const std::string& command) { return StartProgram(command).error; };
    h.formatUserDate = [](int32_t date) { return FormatUserDate(date); };
    h.saveClipboard = [] { Jobs().monitor.SaveClipboard(Options().MaxClipboardEntries.load()); };
    h.checkAdvanceWarnings = [] { Jobs().housekeeping.CheckAdvanceWarnings(Options().UseExternalMessage != 0); };
    h.removeHistory = [] {
        HistorySettings s;
        s.HistoryExpires = Options().HistoryExpires.load();
        s.RemoveUncompleted = Options().RemoveUncompleted != 0;
        return Jobs().housekeeping.RemoveHistory(s);
    };
    cycle_.SetHooks(std::move(h));
}

std::string MainFrame::StatusZone(int zone) const {
    if (zone < 1 || zone > 4 || !ui_.zones[zone]) return {};
    return ui_.zones[zone]->text().toStdString();
}

void MainFrame::RefreshDateAndTime() {
    const int32_t today = Today();
    ui_.zones[kZoneDate]->setText(
        QString::fromStdString(std::string(kWeekdayNames[Weekday(today)]) + ", " + Picture(today, "@D3")));
    ui_.zones[kZoneTime]->setText(QString::fromStdString(Picture(ClockTime(), "@T7")));
}

void MainFrame::ShowActivityText() {
    const QString text = QString::fromStdString(ActivityText());
    if (ui_.activityText->text() != text) ui_.activityText->setText(text);
    ui_.activityText->setVisible(!text.isEmpty());
}

void MainFrame::CheckTimerInterval() {
    if (TimerInterval() < 1 || TimerInterval() > 100) SetTimer(100);
}

void MainFrame::TakeOpened() {
    CheckTimerInterval();
    for (const std::string& name : std::exchange(startupWindows_, {})) Start(name);
    // Started minimised: the frame goes into the tray now that the start-up
    // windows are open, and they go with it, as with any minimise. (The
    // iconised frame may be in the tray already; the windows opened after
    // it would have stayed on the screen.)
    if (std::exchange(minimiseAfterStartupWindows_, false)) Minimise();
}

void MainFrame::TakeTimer() {
    cycle_.TimerTick();
    RefreshDateAndTime();
    ShowActivityText();
    CheckTimerInterval();
    if (pendingClose_ && !cycle_.InTick()) {
        pendingClose_ = false;
        Close();
    }
}

bool MainFrame::TakeWindowEvent(QEvent* event) {
    CheckTimerInterval();
    switch (event->type()) {
        case QEvent::KeyPress:
            // Escape closes forms, never the frame: that would end the
            // scheduler without the question.
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) return true;
            break;
        case QEvent::WindowStateChange:
            // Minimised, to the taskbar or on its way to the tray: whoever
            // comes to the desktop next gives the system password again.
            if ((Window()->windowState() & Qt::WindowMinimized) &&
                !(static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized))
                setSessionUnlocked(false);
            break;
        case QEvent::StatusTip:
            // Menu tips are shown by the menus' hover (above).
            return true;
        case QEvent::Hide:
            // Hidden to the tray (a minimised window gets spontaneous hide
            // events too, while it stays visible).
            if (!Window()->isVisible()) setSessionUnlocked(false);
            break;
        default:
            break;
    }
    return false;
}

void MainFrame::Minimise() {
    QPointer<QWidget> w = Window();
    QTimer::singleShot(0, this, [this, w] {
        if (!w) return;
        // Into the tray straight away when minimising hides the frame. Asking
        // the window manager to iconify first and hiding once the state has
        // changed races it: the hide clears the minimised state, which maps
        // the frame again, and a window manager that has iconified it by
        // then shows it again, so the close request seemed lost.
        if (tray_.HidesOnMinimize())
            tray_.HideWindow();
        else
            w->showMinimized();
    });
}

void MainFrame::RestoreFrame() { tray_.RestoreWindow(); }

bool MainFrame::TakeEvent(int event) {
    CheckTimerInterval();
    switch (event) {
        case kEventStopScript:
            StopActiveScripts();
            return true;
        case kEventReloadHotKeys:
            if (HotKeys().suspend) HotKeys().suspend();
            if (HotKeys().loadHotKeys) HotKeys().loadHotKeys();
            if (HotKeys().resume) HotKeys().resume();
            return true;
        case kEventTrayLeftClick:
            tray_.HandleLeftClick();
            return true;
        case kEventTrayRightClick:
            tray_.HandleRightClick();
            return true;
        case kEventTrayDoubleClick:
            tray_.HandleDoubleClick();
            return true;
        case kEventTrayRecreated:
            tray_.Add(tray_.Tooltip(), tray_.IconName());
            return true;
        case kEventHotKeyPressed:
            HotKeyPressed();
            return true;
        default:
            return false;
    }
}

void MainFrame::HotKeyPressed() {
    if (!HotKeys().takePressedKey) return;
    const std::optional<std::pair<int32_t, std::string>> key = HotKeys().takePressedKey();
    if (!key) return;
    const std::string text = key->first <= 0 ? "Unknown: " + key->second : key->second;
    if (key->first == kRestoreHotKeyCode) {
        RestoreFrame();
        return;
    }
    auto& f = SysHotKeys_File();
    f.rec().HotKey = text;
    if (f.TryFetch("HOT:K_HotKey") != data::kLevelBenign) {
        Message("Error retrieving hot key.", text);
        Post(kEventReloadHotKeys);
        return;
    }
    if (HotKeys().runHotKey) HotKeys().runHotKey();
}

void MainFrame::TrayRightClick() {
    popup_.SetItemEnable("StopScript", !ScriptQueue().Empty());
    popup_.SetItemEnable("Restore", !Window()->isVisible());
    const std::string choice = popup_.Ask(std::nullopt, nullptr);
    if (choice == "Restore" || choice == "AddProgram" || choice == "AddMessage" || choice == "AddScript" ||
        choice == "HotKeys")
        RestoreFrame();
    if (choice == "Restore") {
        NotifyWindowThreads();
    } else if (choice == "AddProgram") {
        Command(-73);
    } else if (choice == "AddMessage") {
        Command(-74);
    } else if (choice == "AddScript") {
        Command(-75);
    } else if (choice == "StopScript") {
        Post(kEventStopScript);
    } else if (choice == "HotKeys") {
        Command(-33);
    } else if (choice == "Options") {
        Command(-81);
    } else if (choice == "About") {
        Command(-72);
    } else if (choice == "Exit") {
        Command(-26);
    }
}

void MainFrame::TrayDoubleClick() {
    NotifyWindowThreads();
    RestoreFrame();
}

void MainFrame::TakeAccepted(QObject* control) {
    auto* action = qobject_cast<QAction*>(control);
    if (action && action == ui_.tile) return TileWindows();
    if (action && action == ui_.cascade) return CascadeWindows();
    if (action && action == ui_.printSetup) {
        PrintSetupDialog(Window());
        return;
    }
    if (action && (action == ui_.cut || action == ui_.copy || action == ui_.paste)) {
        // The standard edit actions work on the control that has the focus.
        if (QWidget* focus = QApplication::focusWidget()) {
            const char* slot = action == ui_.cut ? "cut" : action == ui_.copy ? "copy" : "paste";
            QMetaObject::invokeMethod(focus, slot);
        }
        return;
    }
    if (const int command = CommandOf(control)) Command(command);
}

void MainFrame::RunProgramCommand(const std::string& command, bool endOnSuccess) {
    const StartResult r = StartProgram(command);
    Window()->update();
    if (r.error != 0) {
        Message("Could not start " + ClipRight(command) + ".", "Error Code " + IntToText(r.error),
                MessageIcon::Hand);
        return;
    }
    if (endOnSuccess) CloseWithoutQuestion();
}

void MainFrame::Command(int control) {
    const CommandInfo* c = FindCommand(control);
    if (!c) return;
    switch (c->kind) {
        case Kind::Start:
            Start(c->procedure, c->stack);
            return;
        case Kind::Call: {
            std::function<void()> procedure;
            {
                std::lock_guard<std::mutex> l(g_calledMutex);
                auto i = Called().find(Upper(c->procedure));
                if (i != Called().end()) procedure = i->second;
            }
            if (procedure) procedure();
            return;
        }
        case Kind::Special:
            break;
    }
    switch (control) {
        case -20:
            RunProgramCommand(kBackupCommand, false);
            break;
        case -25:
            // The repair program wants the data file to itself.
            RunProgramCommand(kFileManagerCommand, true);
            break;
        case -26:
            Exit();
            break;
        case -70:
            OpenLink(kWebSiteLink);
            break;
        case -71:
            MailSupport();
            break;
        case -84:
            if (!ScriptQueue().Empty()) StopActiveScripts();
            break;
        default:
            break;
    }
}

// A desktop without a browser or mail program leaves the link unopened;
// the user is told which link it was instead of seeing nothing happen.
void MainFrame::OpenLink(const char* link) {
    if (QDesktopServices::openUrl(QUrl(QString::fromUtf8(link)))) return;
    Message(std::string("No program on this desktop opens the link ") + link + ".", "Kairoll",
            MessageIcon::Exclamation, kButtonOk, kButtonOk);
}

// The support address is read at each use; with none set the user is told
// where to set it and no mail program opens.
void MainFrame::MailSupport() {
    const std::string ini = Options().ININame.get();
    const SupportContact support = ReadSupportContact(ini);
    if (support.address.empty()) {
        Message(NoSupportAddressText(ini), "E-mail for Support", MessageIcon::Exclamation, kButtonOk, kButtonOk);
        return;
    }
    QUrl link;
    link.setScheme("mailto");
    link.setPath(QString::fromStdString(support.address));
    OpenLink(link.toString(QUrl::FullyEncoded).toStdString().c_str());
}

void MainFrame::Exit() {
    if (Options().MinimizeOnCloseRequest) {
        reallyClosing_ = false;
        if (Message(kExitQuestion, "Warning", MessageIcon::Information, kButtonYes | kButtonNo, kButtonNo) !=
            kButtonYes)
            return;
        reallyClosing_ = true;
    }
    Close();
}

void MainFrame::CloseWithoutQuestion() {
    reallyClosing_ = true;
    // A question open on the frame's thread ends first (with its default), so
    // the tick that asked it can finish before the frame goes.
    for (int i = 0; i < 16; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == Window()) break;
        modal->close();
    }
    Close();
}

bool MainFrame::TakeCloseRequest() {
    if (cycle_.InTick()) {
        // The tick is waiting on a question: close once it is done.
        pendingClose_ = true;
        return false;
    }
    if (Options().MinimizeOnCloseRequest && !reallyClosing_) {
        Minimise();
        return false;
    }
    return true;
}

void MainFrame::Kill() {
    SetModalMessageHold({});
    Jobs().watcher.reset();
    Jobs().housekeeping.Stop();
    cycle_.Stop();
    if (tablesOpened_) {
        LogEvent("Exit Kairoll", "");
        SysHotKeys_Relations().Close();
        Scripting_Relations().Close();
        Schedule_Relations().Close();
        tablesOpened_ = false;
    }
    if (configurationOpened_) {
        data::TableOf(ConfigurationDef()).Close();
        configurationOpened_ = false;
    }
    session_.Kill();
    if (HotKeys().kill) HotKeys().kill();
    SetSendKeysTrayIcon(nullptr);
    tray_.Kill();
    popup_.Clear();
    if (g_frame == this) g_frame = nullptr;
}

MainFrame* OpenMain() {
    if (g_frame) return g_frame;
    auto* frame = new MainFrame;
    if (!frame->Open()) return nullptr;
    return frame;
}

MainFrame* CurrentMainFrame() { return g_frame; }

QWidget* MainWindowHandle() { return g_frame ? g_frame->Window() : nullptr; }

int MainThread() { return g_frame ? g_frame->Thread() : 0; }

void CloseMain() {
    if (g_frame) g_frame->CloseWithoutQuestion();
}

void Main(const MainOptions& options) {
    // The frame hidden in the tray is no reason to end.
    QApplication::setQuitOnLastWindowClosed(false);
    MainFrame* frame = OpenMain();
    if (!frame) return;
    QPointer<QWidget> window = frame->Window();
    QObject::connect(window, &QObject::destroyed, qApp, [] { QCoreApplication::exit(0); });
    if (options.closeAtOnce) QTimer::singleShot(0, qApp, [] { CloseMain(); });
    QApplication::exec();
    // The loop ended with the frame still open (the session ended): the
    // normal shutdown, without the question.
    if (window && g_frame) {
        MainFrame* f = g_frame;
        f->CloseWithoutQuestion();
        QCoreApplication::sendPostedEvents();
        if (window && g_frame == f) f->CloseNow();
    }
    // The procedures' windows end with the frame.
    QApplication::closeAllWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace kr
