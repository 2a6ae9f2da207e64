// The frame Main offscreen over a real data file: commands enabled by the
// procedures that exist, the close box and Exit with MinimizeOnCloseRequest,
// the shutdown's log line, start-up windows, the tray popup and its icon, the
// hot-key event, the program commands with real processes, SIGTERM, and the
// timer interval that puts itself back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>
#include <filesystem>
#include <fstream>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/FileNames.h"
#include "dictionary/Settings.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/SessionUnlock.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/PopupMenu.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Toolbar.h"
#include "scheduler/ScriptQueue.h"
#include "scheduler/TableScheduleStore.h"
#include "scheduler/windows/Main.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

bool WaitFor(const std::function<bool()>& cond, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms) return cond();
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void Pump(int ms = 50) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        char tmpl[] = "/tmp/kr-frame-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::current_path(dir_);
        data::SetKeyDerivationIterations(64);
        InstallMessageService(&responder_);
        DictionaryInit();
        ScriptQueue().Free();
    }
    void TearDown() override {
        if (MainFrame* f = CurrentMainFrame()) f->CloseNow();
        Pump();
        InstallPopupResponder(nullptr);
        SetFrameHotKeys({});
        SetProgramFolder("");
        ScriptQueue().Free();
        DictionaryKill();
        CloseEventLog();
        ResetOptions();
        data::CloseIdleFiles();
        InstallMessageService(nullptr);
        data::SetKeyDerivationIterations(0);
        fs::current_path(previous_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Settings as the user stored them, read by the frame's LoadSettings.
    void Store(const std::string& name, const std::string& value) {
        std::ofstream ini("kr98.INI", std::ios::app);
        if (!iniStarted_) ini << "[Settings]\r\n";
        iniStarted_ = true;
        ini << name << "=" << value << "\r\n";
    }
    MainFrame* Open() {
        Store("LogEvents", "1");
        MainFrame* f = OpenMain();
        EXPECT_NE(f, nullptr);
        Pump();
        return f;
    }
    static QAction* Action(MainFrame* f, int command) {
        std::vector<QAction*> a = f->Layout().ActionsOf(command);
        return a.empty() ? nullptr : a.front();
    }
    static std::vector<std::string> LogLabels() {
        CloseEventLog();
        std::vector<std::string> out;
        std::ifstream in(kEventLogFileName, std::ios::binary);
        std::string line;
        while (std::getline(in, line))
            if (line.size() >= 54) out.push_back(Trim(line.substr(22, 32)));
        return out;
    }
    // A shell script standing in for one of the suite's programs: it writes
    // its arguments to a file in the data folder.
    void FakeProgram(const std::string& name) {
        const fs::path bin = fs::path(dir_) / "bin";
        fs::create_directories(bin);
        const fs::path p = bin / name;
        // Written under another name and renamed, so a test that waits for the
        // file to appear never reads it half written.
        const std::string ran = dir_ + "/" + name + ".ran";
        std::ofstream(p) << "#!/bin/sh\necho \"$@\" > \"" << ran << ".part\" && mv \"" << ran
                         << ".part\" \"" << ran << "\"\n";
        chmod(p.c_str(), 0755);
        SetProgramFolder(bin.string());
    }

    fs::path previous_;
    std::string dir_;
    ScriptedResponder responder_;
    bool iniStarted_ = false;
};

TEST_F(FrameTest, CommandsAreEnabledByTheProceduresThatExist) {
    int started = 0;
    RegisterProcedure("Wizard:Program", [&] { ++started; });
    MainFrame* f = Open();
    EXPECT_EQ(f->Title(), "Kairoll 2000 2.02");
    // Not built yet: there and disabled.
    ASSERT_NE(Action(f, -36), nullptr);
    EXPECT_FALSE(Action(f, -36)->isEnabled());
    EXPECT_FALSE(Action(f, -2)->isEnabled());
    EXPECT_FALSE(Action(f, -22)->isEnabled());
    // Always there: the program commands, Exit, the web and mail links.
    for (int c : {-20, -25, -26, -70, -71, -84}) EXPECT_TRUE(Action(f, c)->isEnabled()) << c;
    // A registered procedure: its menu item and its toolbar button start it.
    EXPECT_TRUE(Action(f, -43)->isEnabled());
    Action(f, -43)->trigger();
    f->Layout().toolbarCommands.at(-73)->trigger();
    Pump();
    EXPECT_EQ(started, 2);
    EXPECT_EQ(Action(f, -19)->text().toStdString(), "View &Log");
    EXPECT_EQ(Action(f, -19)->shortcut(), QKeySequence(Qt::Key_F8));
    ASSERT_NE(Action(f, -23), nullptr);
    EXPECT_EQ(Action(f, -23)->shortcut(), QKeySequence(Qt::Key_F9));
    EXPECT_FALSE(Action(f, -23)->isEnabled()) << "no bug report window registered";
    // Every toolbar button shows an image (text buttons spill behind a
    // chevron at the frame's size), and the frame carries the suite's icon.
    for (QAction* a : f->Layout().toolbar->actions())
        if (!a->isSeparator()) { EXPECT_FALSE(a->icon().isNull()) << a->toolTip().toStdString(); }
    EXPECT_FALSE(f->Window()->windowIcon().isNull());
    EXPECT_TRUE(f->TrayPopup().ItemEnabled("AddProgram"));
    EXPECT_FALSE(f->TrayPopup().ItemEnabled("AddMessage"));
}

TEST_F(FrameTest, SupportMailSaysWhereToSetTheAddressUntilTheIniHoldsOne) {
    MainFrame* f = Open();
    f->Command(-71);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "E-mail for Support");
    const std::string text = responder_.shown()[0].request.text;
    EXPECT_NE(text.find("SupportAddress="), std::string::npos) << text;
    EXPECT_NE(text.find("[Settings]"), std::string::npos) << text;

    // Read at each use: set after the start, it is the link's address. The
    // offscreen desktop opens no link, so the frame names it.
    Store("SupportAddress", "help@support.example.net");
    f->Command(-71);
    ASSERT_EQ(responder_.shown().size(), 2u);
    EXPECT_EQ(responder_.shown()[1].request.text,
              "No program on this desktop opens the link mailto:help@support.example.net.");
}

TEST_F(FrameTest, CloseBoxHidesAndExitAsksWithMinimizeOnCloseRequest) {
    Store("MinimizeOnCloseRequest", "1");
    MainFrame* f = Open();
    QPointer<QWidget> w = f->Window();
    w->close();
    ASSERT_TRUE(WaitFor([&] { return w && (w->isMinimized() || !w->isVisible()); }));
    EXPECT_TRUE(responder_.shown().empty());
    EXPECT_EQ(CurrentMainFrame(), f);

    responder_.Answer(kButtonNo);
    f->Command(-26);
    Pump();
    ASSERT_TRUE(w);
    ASSERT_EQ(responder_.shown().size(), 1u);
    const MessageRequest r = responder_.shown()[0].request;
    EXPECT_EQ(r.title, "Warning");
    EXPECT_EQ(r.text, kExitQuestion);
    EXPECT_EQ(r.icon, MessageIcon::Information);
    EXPECT_EQ(r.defaultButton, kButtonNo);

    responder_.Answer(kButtonYes);
    f->Command(-26);
    ASSERT_TRUE(WaitFor([&] { return !w; }));
    EXPECT_EQ(CurrentMainFrame(), nullptr);
    EXPECT_THAT(LogLabels(), ElementsAre("Started", "Exit Kairoll"));
}

TEST_F(FrameTest, WithoutMinimizeOnCloseRequestTheCloseBoxEndsTheFrame) {
    MainFrame* f = Open();
    QPointer<QWidget> w = f->Window();
    w->close();
    ASSERT_TRUE(WaitFor([&] { return !w; }));
    EXPECT_TRUE(responder_.shown().empty());
}

TEST_F(FrameTest, StartUpOpensTheChosenListsAndMinimises) {
    static std::vector<std::string> opened;
    opened.clear();
    const char* const lists[] = {"BrowseContacts", "BrowseClipboard", "BrowseToDoList", "BrowseSchedule"};
    for (const char* name : lists) RegisterProcedure(name, [name] { opened.push_back(name); });
    Store("StartUpContacts", "1");
    Store("StartUpToDo", "1");
    Store("StartUpMinimized", "1");
    MainFrame* f = Open();
    for (const char* name : lists) RegisterProcedure(name, nullptr);  // registered, starting nothing
    // The schedule list is on unless switched off (the option is stored inverted).
    EXPECT_THAT(opened, ElementsAre("BrowseContacts", "BrowseToDoList", "BrowseSchedule"));
    // Offscreen there is no tray: the frame goes to the taskbar, never out of reach.
    EXPECT_FALSE(TrayIcon::TrayAvailable());
    ASSERT_TRUE(WaitFor([&] { return f->Window()->isMinimized(); }));
    EXPECT_TRUE(f->Window()->isVisible());
}

TEST_F(FrameTest, MinimisingOrHidingTheFrameClearsTheSessionUnlock) {
    MainFrame* f = Open();
    QWidget* w = f->Window();
    // Offscreen there is no tray, so minimising keeps the frame on the taskbar.
    setSessionUnlocked(true);
    f->Cycle().UpdateFrameTitle();
    EXPECT_THAT(f->Title(), ::testing::HasSubstr("(Unlocked)"));
    w->showMinimized();
    ASSERT_TRUE(WaitFor([&] { return w->isMinimized(); }));
    EXPECT_FALSE(sessionUnlocked());

    f->RestoreFrame();
    ASSERT_TRUE(WaitFor([&] { return !w->isMinimized() && w->isVisible(); }));
    Pump(200);  // the window system's own word on the state changes
    ASSERT_FALSE(w->isMinimized());
    setSessionUnlocked(true);
    Pump();
    EXPECT_TRUE(sessionUnlocked());
    f->Tray().HideWindow();
    EXPECT_FALSE(sessionUnlocked());
}

TEST_F(FrameTest, ModalTaskMessagesOfTheCycleOpenOneAfterTheOther) {
    ManualClock clock(MakeDate(7, 1, 2024), MakeTime(8, 0));
    InstallClock(&clock);
    Store("UseKRMsg", "0");
    Store("UseModalMessage", "1");
    {
        TableScheduleStore store;
        for (int i = 0; i < 2; ++i) {
            Schedule s;
            s.ID = i + 1;
            s.ScheduleType = "Once";
            s.TaskType = "Display Message";
            s.Date = clock.Today();
            s.Time = MakeTime(8, 0, 5 * i);
            s.Description = i == 0 ? "First" : "Second";
            s.Message = "Due";
            ASSERT_EQ(store.Add(s), 0);
        }
    }
    MainFrame* f = Open();
    auto openMessages = [] {
        std::vector<QWidget*> out;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowModality() != Qt::NonModal) out.push_back(w);
        return out;
    };
    // Whatever event loop runs: note each message box, let time pass and the
    // cycle tick while the first is open, then answer it.
    std::vector<std::string> seen;
    size_t mostAtOnce = 0;
    int64_t refusedWhileOpen = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        const std::vector<QWidget*> open = openMessages();
        mostAtOnce = std::max(mostAtOnce, open.size());
        if (open.empty()) return;
        QWidget* w = open.front();
        if (w->property("seen").toBool()) return;
        w->setProperty("seen", true);
        seen.push_back(w->windowTitle().toStdString());
        if (seen.size() == 1) {
            clock.Advance(600);
            const int64_t before = f->Cycle().refusedTicks();
            for (int i = 0; i < 8; ++i) f->Cycle().TimerTick();
            refusedWhileOpen = f->Cycle().refusedTicks() - before;
            mostAtOnce = std::max(mostAtOnce, openMessages().size());
        }
        QTimer::singleShot(0, w, [w] { w->close(); });
    });
    user.start(10);
    for (int i = 0; i < 40 && seen.size() < 2; ++i) {
        f->Cycle().TimerTick();
        Pump(20);
    }
    user.stop();
    InstallClock(nullptr);
    EXPECT_THAT(seen, ElementsAre("First", "Second"));
    EXPECT_EQ(mostAtOnce, 1u);
    EXPECT_EQ(refusedWhileOpen, 8);
}

TEST_F(FrameTest, TrayPopupRestoresStopsScriptsAndExits) {
    MainFrame* f = Open();
    std::vector<PopupItem> offered;
    std::string pick = "Restore";
    InstallPopupResponder([&](const std::vector<PopupItem>& items) {
        offered = items;
        for (const PopupItem& i : items)
            if (i.name == pick) return i.number;
        return 0;
    });
    f->Window()->hide();
    ScriptQueueEntry e;
    e.Record.Action = "Send Keys";
    ScriptQueue().Append(e);
    PostToWindow(f->Window(), kEventTrayRightClick);
    ASSERT_TRUE(WaitFor([&] { return f->Window()->isVisible(); }));
    std::vector<std::string> names;
    for (const PopupItem& i : offered)
        if (!i.separator) names.push_back(i.name);
    EXPECT_THAT(names, ElementsAre("Restore", "AddProgram", "AddMessage", "AddScript", "StopScript", "HotKeys",
                                   "Options", "About", "Exit"));
    for (const PopupItem& i : offered) {
        if (i.name == "Restore" || i.name == "StopScript" || i.name == "Exit") {
            EXPECT_TRUE(i.enabled) << i.name;
        }
        if (i.name == "HotKeys" || i.name == "Options" || i.name == "About") {
            EXPECT_FALSE(i.enabled) << i.name;
        }
    }

    pick = "StopScript";
    PostToWindow(f->Window(), kEventTrayRightClick);
    ASSERT_TRUE(WaitFor([] { return ScriptQueue().Empty(); }));

    pick = "Exit";
    QPointer<QWidget> w = f->Window();
    PostToWindow(f->Window(), kEventTrayRightClick);
    ASSERT_TRUE(WaitFor([&] { return !w; }));
}

TEST_F(FrameTest, DoubleClickRestoresAndTellsTheScheduleLists) {
    MainFrame* f = Open();
    int refreshed = 0;
    auto* list = new QWidget;
    struct Probe : QObject {
        int* count;
        explicit Probe(int* c) : count(c) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::User + kEventScheduleChanged) ++*count;
            return false;
        }
    } probe(&refreshed);
    list->installEventFilter(&probe);
    const int thread = Start("ScheduleListProbe", [list] {
        AttachWindow(list, "ScheduleListProbe");
        list->show();
    });
    BrowseScheduleThreads().Add(thread);
    f->Window()->hide();
    PostToWindow(f->Window(), kEventTrayDoubleClick);
    ASSERT_TRUE(WaitFor([&] { return f->Window()->isVisible() && refreshed == 1; }));
    delete list;
}

TEST_F(FrameTest, HotKeyEventRestoresReportsAndRuns) {
    std::deque<std::pair<int32_t, std::string>> pressed;
    int reloads = 0, runs = 0;
    std::string added;
    FrameHotKeys keys;
    keys.add = [&](const std::string& k) { added = k; };
    keys.loadHotKeys = [&] { ++reloads; };
    keys.takePressedKey = [&]() -> std::optional<std::pair<int32_t, std::string>> {
        if (pressed.empty()) return std::nullopt;
        auto k = pressed.front();
        pressed.pop_front();
        return k;
    };
    keys.runHotKey = [&] {
        ++runs;
        EXPECT_EQ(SysHotKeys_File().rec().HotKey.str(), "Ctrl-F5");
    };
    SetFrameHotKeys(keys);
    SysHotKeys_File().Open();
    SysHotKeys_File().rec() = SysHotKeys();
    SysHotKeys_File().rec().HotKey = "Ctrl-F5";
    SysHotKeys_File().rec().Active = 1;
    ASSERT_EQ(SysHotKeys_File().Insert(), data::kLevelBenign);
    SysHotKeys_File().Close();

    MainFrame* f = Open();
    EXPECT_EQ(added, "WinW");
    ASSERT_TRUE(WaitFor([&] { return reloads == 1; }));  // the stored keys once the loop runs

    f->Window()->hide();
    pressed.push_back({kRestoreHotKeyCode, "WinW"});
    f->Post(kEventHotKeyPressed);
    ASSERT_TRUE(WaitFor([&] { return f->Window()->isVisible(); }));

    pressed.push_back({512 + 116, "Ctrl-F5"});
    f->Post(kEventHotKeyPressed);
    ASSERT_TRUE(WaitFor([&] { return runs == 1; }));

    pressed.push_back({0, "99"});
    f->Post(kEventHotKeyPressed);
    ASSERT_TRUE(WaitFor([&] { return reloads == 2; }));
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.text, "Error retrieving hot key.");
    EXPECT_EQ(responder_.shown()[0].request.title, "Unknown: 99");
}

TEST_F(FrameTest, BackupCommandReportsAMissingProgramAndStartsOneThatIsThere) {
    SetProgramFolder(dir_);  // nothing there
    MainFrame* f = Open();
    f->Command(-20);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.text, "Could not start VXWBACK.EXE KR97.TPS.");
    EXPECT_EQ(responder_.shown()[0].request.title, "Error Code 2");

    FakeProgram("vxwback");
    f->Command(-20);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(dir_ + "/vxwback.ran"); }));
    std::string args;
    std::getline(std::ifstream(dir_ + "/vxwback.ran"), args);
    EXPECT_EQ(args, "KR97.TPS");
    EXPECT_EQ(CurrentMainFrame(), f);  // the program keeps running
}

TEST_F(FrameTest, FileManagerEndsTheProgramOnlyWhenItStarted) {
    Store("MinimizeOnCloseRequest", "1");
    SetProgramFolder(dir_);
    MainFrame* f = Open();
    QPointer<QWidget> w = f->Window();
    f->Command(-25);
    Pump();
    ASSERT_TRUE(w);
    EXPECT_EQ(responder_.shown().size(), 1u);

    FakeProgram("KR_DBASE");
    f->Command(-25);
    ASSERT_TRUE(WaitFor([&] { return !w; }));
    EXPECT_EQ(responder_.shown().size(), 1u);  // no Exit question
    // The program runs on its own: its file may come after the frame went.
    EXPECT_TRUE(WaitFor([&] { return fs::exists(dir_ + "/KR_DBASE.ran"); }));
    EXPECT_EQ(LogLabels().back(), "Exit Kairoll");
}

TEST_F(FrameTest, TermSignalRunsTheNormalShutdown) {
    Store("MinimizeOnCloseRequest", "1");
    MainFrame* f = Open();
    QPointer<QWidget> w = f->Window();
    ASSERT_TRUE(f->Session().Active());
    raise(SIGTERM);
    ASSERT_TRUE(WaitFor([&] { return !w; }));
    EXPECT_TRUE(responder_.shown().empty());
    EXPECT_EQ(LogLabels().back(), "Exit Kairoll");
}

TEST_F(FrameTest, TickKeepsStatusZonesAndTimerInterval) {
    MainFrame* f = Open();
    EXPECT_EQ(f->TimerInterval(), 100);
    for (int i = 0; i < 4; ++i) f->Cycle().TimerTick();
    f->RefreshDateAndTime();
    const int32_t today = Today();
    const char* days[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    EXPECT_EQ(f->StatusZone(3), std::string(days[today % 7]) + ", " + Format(Value(today), "@D3"));
    EXPECT_EQ(f->StatusZone(2), "No tasks pending");
    EXPECT_EQ(f->Title(), "Kairoll 2000");
    EXPECT_EQ(f->Tray().Tooltip(), "Kairoll 2000");
    EXPECT_EQ(f->Tray().IconName(), "tray_ico");

    f->SetTimer(0);
    f->Post(kEventTrayLeftClick);
    ASSERT_TRUE(WaitFor([&] { return f->TimerInterval() == 100; }));
    f->SetTimer(500);
    f->Post(kEventTrayLeftClick);
    ASSERT_TRUE(WaitFor([&] { return f->TimerInterval() == 100; }));
}

// The menu of the bar, or the submenu or item under it, by its texts.
QAction* MenuItem(MainFrame* f, const std::vector<std::string>& path, QMenu** parent = nullptr) {
    QList<QAction*> actions = f->Window()->findChild<QMenuBar*>()->actions();
    QMenu* in = nullptr;
    QAction* found = nullptr;
    for (const std::string& text : path) {
        found = nullptr;
        for (QAction* a : actions)
            if (a->text().toStdString() == text) found = a;
        if (!found) return nullptr;
        if (&text != &path.back()) {
            in = found->menu();
            if (!in) return nullptr;
            actions = in->actions();
        }
    }
    if (parent) *parent = in;
    return found;
}

TEST_F(FrameTest, MenuItemsShowTheirTipsInTheFirstStatusZone) {
    MainFrame* f = Open();
    f->RefreshDateAndTime();
    const std::string date = f->StatusZone(3);
    const struct {
        std::vector<std::string> path;
        const char* tip;
    } tips[] = {
        {{"&File", "&Export"}, "Export to Comma-Delimited Files"},
        {{"&File", "&Export", "&Schedule"}, "Export to a Comma-Delimited Text File"},
        {{"&File", "&Export", "&Contacts"}, "Export Contacts to Comma-Delimited Text File"},
        {{"&File", "&Export", "&To Do"}, "Export To Do List to Comma-Delimited File"},
        {{"&File", "&Import"}, "Import From Comma-Delimited Files"},
        {{"&File", "&Import", "&Schedule"}, "Import from a Comma-Delimited Text File"},
        {{"&File", "&Import", "&Contacts"}, "Import Contacts from a Comma-Delimited File"},
        {{"&File", "&Import", "&To Do"}, "Import To Do List from Comma-Delimited File"},
        {{"&Reports", "&Schedule", "&All in Date Order"}, "Print ordered by Date"},
        {{"&Reports", "&Schedule", "All in &Category Order"}, "Print ordered by Category"},
        {{"&Reports", "&Schedule", "&Specific Category"}, "Print schedule for one category only"},
        {{"&Reports", "&Schedule", "&Checklist Style"}, "Brief Schedule in Daily Checklist Format"},
        {{"&Reports", "Cate&gories"}, "Print ordered by Category"},
        {{"&Reports", "&To Do List", "&Priority"}, "Print To Do List by Priority"},
        {{"&Reports", "&To Do List", "&Category"}, "Print To Do List by Category"},
        {{"&Reports", "&Contacts"}, "List of Contacts"},
        {{"&Reports", "&Contacts", "&Contacts"}, "List of Contacts"},
        // Without a tip of its own the zone is cleared.
        {{"&Reports", "&Schedule", "&Brief Schedule"}, ""},
    };
    for (const auto& t : tips) {
        QMenu* menu = nullptr;
        QAction* item = MenuItem(f, t.path, &menu);
        ASSERT_NE(item, nullptr) << t.path.back();
        ASSERT_NE(menu, nullptr);
        // On, as the program's registered procedures turn them on (a style
        // may refuse to highlight a disabled item).
        item->setEnabled(true);
        f->Layout().zones[1]->setText("(before)");
        menu->setActiveAction(item);
        EXPECT_EQ(f->StatusZone(1), t.tip) << t.path[t.path.size() - 2] << " > " << t.path.back();
        EXPECT_EQ(f->StatusZone(3), date) << "the date zone stays";
    }
    // The task categories' list is an item of the Reports menu itself; the
    // contacts' submenu holds the contact list alone.
    EXPECT_EQ(CommandOf(MenuItem(f, {"&Reports", "Cate&gories"})), -59);
    QMenu* contacts = MenuItem(f, {"&Reports", "&Contacts"})->menu();
    ASSERT_EQ(contacts->actions().size(), 1);
    EXPECT_EQ(CommandOf(contacts->actions().front()), -58);
    EXPECT_EQ(MenuItem(f, {"&Reports", "&To Do"}), nullptr);
}

// The room a label gives its text: its width less its margins and frame.
int TextRoom(const QLabel* label) { return label->contentsRect().width() - 2 * label->margin(); }
int TextWidth(const QLabel* label) { return label->fontMetrics().horizontalAdvance(label->text()); }

TEST_F(FrameTest, AHighlightedMenuItemsTipShowsWholeAtTheOpeningWidthBesideTheDateAndClock) {
    MainFrame* f = Open();
    QWidget* w = f->Window();
    ASSERT_EQ(w->width(), 640) << "the frame's opening width";
    f->RefreshDateAndTime();
    const MainLayout& ui = f->Layout();
    // The longest next-task text the timer cycle writes (40 characters).
    const QString next = QStringLiteral("Next: Call the garage about the winter t");
    ui.zones[2]->setText(next);
    std::vector<QAction*> items;
    for (QMenu* menu : w->findChildren<QMenu*>())
        for (QAction* a : menu->actions())
            if (!a->statusTip().isEmpty() && std::find(items.begin(), items.end(), a) == items.end()) items.push_back(a);
    std::string names;
    for (QAction* a : items) names += a->text().toStdString() + "; ";
    ASSERT_EQ(items.size(), 17u) << "the menu items and submenus with a tip: " << names;
    for (QAction* item : items) {
        QMenu* menu = nullptr;
        for (QMenu* m : w->findChildren<QMenu*>())
            if (m->actions().contains(item)) menu = m;
        ASSERT_NE(menu, nullptr);
        item->setEnabled(true);
        menu->setActiveAction(item);
        Pump(30);
        const QString tip = item->statusTip();
        ASSERT_EQ(ui.zones[1]->text(), tip);
        EXPECT_GE(TextRoom(ui.zones[1]), TextWidth(ui.zones[1])) << tip.toStdString() << " is cut";
        for (int z : {3, 4}) {
            EXPECT_TRUE(ui.zones[z]->isVisible()) << z;
            EXPECT_GE(TextRoom(ui.zones[z]), TextWidth(ui.zones[z])) << "zone " << z << " is cut beside " << tip.toStdString();
        }
    }
    // The menu closed, the second zone shows its text whole again.
    QMenu* file = MenuItem(f, {"&File"})->menu();
    file->popup(w->mapToGlobal(QPoint(0, 0)));
    Pump(30);
    file->setActiveAction(MenuItem(f, {"&File", "&Import"}));
    Pump(30);
    ASSERT_FALSE(ui.zones[1]->text().isEmpty());
    file->hide();
    Pump(30);
    EXPECT_TRUE(ui.zones[1]->text().isEmpty());
    EXPECT_EQ(ui.zones[2]->text(), next);
    EXPECT_TRUE(ui.zones[2]->isVisible());
    EXPECT_GE(TextRoom(ui.zones[2]), TextWidth(ui.zones[2]));
}

TEST_F(FrameTest, PrintSetupOpensThePrinterSetUpAndArrangeIconsStaysOff) {
    MainFrame* f = Open();
    EXPECT_FALSE(f->Layout().arrangeIcons->isEnabled());
    for (QAction* a : {f->Layout().helpContents, f->Layout().helpSearch, f->Layout().helpHowTo})
        EXPECT_FALSE(a->isEnabled());
    QAction* setup = f->Layout().printSetup;
    ASSERT_TRUE(setup->isEnabled());
    bool shown = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->objectName() == "PrintSetup") {
                shown = w->windowTitle() == "Print Setup";
                static_cast<QDialog*>(w)->reject();
                answer.stop();
            }
    });
    answer.start(10);
    setup->trigger();
    ASSERT_TRUE(WaitFor([&] { return !answer.isActive(); }, 10000));
    EXPECT_TRUE(shown);
}

TEST(TrayIconTest, ResourceNamesAndTipsAsTheTrayGetsThem) {
    EXPECT_EQ(TrayIcon::ResourceName("tray.ico"), "tray_ico");
    EXPECT_EQ(TrayIcon::ResourceName("x.ico"), "x_ico");
    EXPECT_EQ(TrayIcon::ResourceName(".ico"), ".ico");
    EXPECT_EQ(TrayIcon::ResourceName("tray_ico  "), "tray_ico");
    EXPECT_EQ(TrayIcon::ResourceName("readme"), "readme");

    QWidget w;
    TrayIcon t;
    t.Init(&w, 7, false, false, "Tip", "tray.ico");
    EXPECT_EQ(t.IconName(), "tray_ico");
    const int calls = t.ShellCalls();
    t.SetTooltip("Same");
    t.SetTooltip("Same");
    EXPECT_EQ(t.ShellCalls(), calls + 1);
    t.ALWAYSREFRESH = 1;
    t.SetTooltip("Same");
    EXPECT_EQ(t.ShellCalls(), calls + 2);
    const std::string longTip(70, 'x');
    t.SetTooltip(longTip);
    EXPECT_EQ(t.Tooltip(), longTip);
    EXPECT_EQ(t.ShownTip(), std::string(63, 'x'));

    // Minimising hides the window while the route is in place.
    w.show();
    EXPECT_TRUE(t.HidesOnMinimize());
    w.showMinimized();
    ASSERT_TRUE(WaitFor([&] { return !w.isVisible(); }));
    t.RestoreWindow();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isMinimized());
    t.UnregisterEvents();
    EXPECT_TRUE(t.MINIMIZETOTASKBAR);
    w.showMinimized();
    Pump();
    EXPECT_TRUE(w.isVisible());
    t.Kill();
}

}  // namespace
}  // namespace kr::test
