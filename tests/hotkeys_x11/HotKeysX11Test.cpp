// Hot keys on a real display: the manager's grabs, pressed through XTest,
// with the actions typing and pasting into our text-entry window.
#include <gtest/gtest.h>

#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "platform/data/Table.h"
#include "platform/desktop/X11Windows.h"
#include "platform/desktop/XKeyboard.h"
#include "platform/runtime/Services.h"
#include "platform/ui/QtServices.h"
#include "scheduler/DesktopScriptServices.h"
#include "scheduler/HotKeyActions.h"
#include "scheduler/ScriptQueue.h"
#include "scheduler/WindowMatch.h"
// Xlib last: its macros (None, Status) clash with the headers above.
#include "DesktopSession.h"
#include <X11/keysym.h>

#include <filesystem>

namespace kr {
namespace {

using test::Child;
using test::Pump;
using test::ReadFile;

// Messages are recorded, never shown.
struct RecordedMessages : MessageService {
    std::vector<std::string> texts;
    int Show(const MessageRequest& r) override {
        texts.push_back(r.text);
        return kButtonOk;
    }
};

// Another program's grab of a key on the root window.
class OtherClient {
public:
    OtherClient() : dpy_(XOpenDisplay(nullptr)) {}
    ~OtherClient() {
        if (dpy_) XCloseDisplay(dpy_);
    }
    // True when the server gave us the key (no BadAccess).
    bool Grab(KeySym sym, unsigned mods) {
        static bool refused;
        refused = false;
        XSync(dpy_, False);
        XErrorHandler old = XSetErrorHandler([](Display*, XErrorEvent* e) {
            if (e->error_code == BadAccess) refused = true;
            return 0;
        });
        XGrabKey(dpy_, XKeysymToKeycode(dpy_, sym), mods, DefaultRootWindow(dpy_), False, GrabModeAsync,
                 GrabModeAsync);
        XSync(dpy_, False);
        XSetErrorHandler(old);
        return !refused;
    }

private:
    Display* dpy_;
};

class HotKeysX11 : public ::testing::Test {
protected:
    static void SetUpTestSuite() { session_ = new test::DesktopSession; }
    static void TearDownTestSuite() {
        delete session_;
        session_ = nullptr;
    }
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        InstallQtServices();
        InstallMessageService(&messages_);
        InstallKeystrokeService(&keystrokes_);
        ResetOptions();
        Options().GlobalDelay = 25;
        Options().BurstSize = 50;
        keys_ = std::make_unique<DesktopHotKeys>([this] {
            // The frame's part: take the key and run the record it names.
            while (auto row = keys_->Manager().TakePressed()) {
                pressed_.push_back(row->text);
                const auto it = records_.find(row->text);
                if (it != records_.end()) keys_->Actions().RunHotKey(it->second);
            }
        });
        ASSERT_TRUE(keys_->Display().Available());
        keys_->Manager().Resume();
    }
    void TearDown() override {
        keys_.reset();
        InstallKeystrokeService(nullptr);
        UninstallQtServices();
        InstallMessageService(nullptr);
        ResetOptions();
    }

    void Store(const std::string& key, const std::string& action, const std::string& type, const std::string& text,
               int32_t task = 0) {
        SysHotKeys r;
        r.HotKey = key;
        r.Active = 1;
        r.Action = action;
        r.TextType = type;
        r.Text = text;
        r.ID = task;
        records_[key] = r;
    }
    void Load() {
        std::vector<std::string> active;
        for (const auto& [k, r] : records_) active.push_back(k);
        keys_->Manager().Suspend();
        keys_->Manager().Reload(active);
        keys_->Manager().Resume();
    }
    // Presses and releases a combination as the user would (virtual keys).
    void Press(std::initializer_list<int> vks) {
        keyboard_.BeginSend();
        for (int vk : vks) keyboard_.KeyDown(vk);
        for (auto it = std::rbegin(vks); it != std::rend(vks); ++it) keyboard_.KeyUp(*it);
        keyboard_.Flush();
    }
    void OpenTarget(const std::string& title) {
        target_ = session_->StartTarget(title, "Hot key target", &output_);
        WindowHandle w = 0;
        ASSERT_TRUE(Pump([&] { return (w = FindWindowByTitle(title, "")) != 0; }, 10000)) << title;
        ASSERT_TRUE(Pump([&] { return ActiveWindow() == w || (ActivateWindow(w), false); }, 5000));
        ASSERT_TRUE(Pump([&] { return test::InputFocusIn(w); }, 5000));
        Pump([] { return false; }, 200);
    }
    bool Typed(const std::string& expected) {
        return Pump([&] { return ReadFile(output_) == expected; }, 8000);
    }

    static test::DesktopSession* session_;
    RecordedMessages messages_;
    DesktopKeystrokeService keystrokes_;
    XKeyboard keyboard_;
    std::unique_ptr<DesktopHotKeys> keys_;
    std::map<std::string, SysHotKeys> records_;
    std::vector<std::string> pressed_;
    Child target_;
    std::string output_;
};

test::DesktopSession* HotKeysX11::session_ = nullptr;

constexpr int kF7 = 118, kF8 = 119, kF9 = 120;

TEST_F(HotKeysX11, TypedTextArrivesAfterTheKeyIsReleased) {
    Store("Ctrl-Shift-F7", "Text", "Type", "Typed by hot key\r\nline two");
    Load();
    EXPECT_TRUE(keys_->Manager().FAILEDKEYQ.empty());
    OpenTarget("Hot key type target");
    Press({17, 16, kF7});
    EXPECT_TRUE(Typed("Typed by hot key\nline two")) << ReadFile(output_);
    EXPECT_EQ(pressed_, std::vector<std::string>{"Ctrl-Shift-F7"});
    // With CapsLock on the grab still answers.
    Press({20});
    Press({17, 16, kF7});
    EXPECT_TRUE(Pump([&] { return pressed_.size() == 2; }, 5000));
    Press({20});
    Pump([&] { return !keys_->Actions().Busy(); }, 8000);
}

TEST_F(HotKeysX11, PasteLeavesTheTextOnTheClipboard) {
    Store("Alt-Shift-F8", "Text", "Paste", "Pasted words");
    Load();
    OpenTarget("Hot key paste target");
    Press({18, 16, kF8});
    EXPECT_TRUE(Typed("Pasted words")) << ReadFile(output_);
    EXPECT_EQ(Clipboard().Text(), "Pasted words");
}

TEST_F(HotKeysX11, KeyHeldByAnotherClientFailsAndTheOthersWork) {
    OtherClient other;
    ASSERT_TRUE(other.Grab(XK_F9, ControlMask | Mod1Mask));
    Store("Ctrl-Alt-F9", "Text", "Copy", "never");
    Store("Shift-F9", "Text", "Copy", "copied");
    Store("MouseLeft", "Text", "Copy", "a mouse key cannot be grabbed");
    Load();
    std::vector<std::string> failed;
    for (const auto& r : keys_->Manager().FAILEDKEYQ) failed.push_back(r.text);
    EXPECT_EQ(failed, (std::vector<std::string>{"MouseLeft", "Ctrl-Alt-F9"}));
    Press({16, kF9});
    EXPECT_TRUE(Pump([&] { return Clipboard().Text() == "copied"; }, 5000));
    EXPECT_EQ(pressed_, std::vector<std::string>{"Shift-F9"});
}

TEST_F(HotKeysX11, ReloadLetsDeletedKeysGo) {
    Store("Ctrl-Shift-F9", "Text", "Copy", "x");
    Load();
    OtherClient other;
    EXPECT_FALSE(other.Grab(XK_F9, ControlMask | ShiftMask));
    records_.clear();  // deleted from the table
    Load();
    EXPECT_TRUE(other.Grab(XK_F9, ControlMask | ShiftMask));
    EXPECT_TRUE(other.Grab(XK_F9, ControlMask | ShiftMask | LockMask));
}

// A task key queues its task's script items.
TEST_F(HotKeysX11, TaskKeyQueuesItsScript) {
    const auto previous = std::filesystem::current_path();
    char tmpl[] = "/tmp/kr-hotkeys-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::filesystem::current_path(tmpl);
    data::SetKeyDerivationIterations(64);
    DictionaryInit();
    ASSERT_EQ(Schedule_File().Open(), data::kLevelBenign);
    ASSERT_EQ(Scripting_File().Open(), data::kLevelBenign);
    Schedule_File().rec() = Schedule();
    Schedule_File().rec().Description = "Hot Key Win-Shift-F7";
    Schedule_File().rec().Command = "N/A";
    ASSERT_EQ(Schedule_File().Insert(), data::kLevelBenign);
    const int32_t task = Schedule_File().rec().ID;
    for (int i = 0; i < 2; ++i) {
        Scripting_File().rec() = Scripting();
        Scripting_File().rec().ID = task;
        Scripting_File().rec().Action = "Wait";
        Scripting_File().rec().SecondsToWait = 60;
        ASSERT_EQ(Scripting_File().Insert(), data::kLevelBenign);
    }
    ScriptQueue().Free();
    Store("Win-Shift-F7", "Task", "Type", "", task);
    Store("Win-Shift-F8", "Task", "Type", "", task + 100);  // its task is gone
    Load();
    EXPECT_TRUE(keys_->Manager().FAILEDKEYQ.empty());
    Press({91, 16, kF7});
    EXPECT_TRUE(Pump([] { return ScriptQueue().Count() == 3; }, 5000)) << ScriptQueue().Count();
    Press({91, 16, kF8});
    EXPECT_TRUE(Pump([&] { return !messages_.texts.empty(); }, 5000));
    EXPECT_EQ(messages_.texts, std::vector<std::string>{"Unable to retrieve associated task."});
    EXPECT_EQ(ScriptQueue().Count(), 3u);

    ScriptQueue().Free();
    Scripting_File().Close();
    Schedule_File().Close();
    DictionaryKill();
    data::CloseIdleFiles();
    data::SetKeyDerivationIterations(0);
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(tmpl);
}

}  // namespace
}  // namespace kr
