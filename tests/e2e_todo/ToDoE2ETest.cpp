// KR98 and KRMsg together on a real X server, in a temporary data folder:
// KR98's timer hands a due message task to KRMsg; Alt+T in KRMsg adds the
// message to the to-do list; then Ctrl+T in KR98 opens "To Do Items", which
// shows the item: Enter opens it in the form, a new priority and OK store it.
#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <fstream>
#include <thread>

#include "../msgprog/MsgProgFixture.h"
#include "platform/desktop/X11Windows.h"
#include "scheduler/Reschedule.h"
// Xlib last: its macros (Bool, Status) clash with Qt's headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace kr::test {
namespace {

bool WaitUntil(const std::function<bool()>& cond, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return cond();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

std::vector<WindowHandle> WindowsTitled(const std::string& prefix) {
    std::vector<WindowHandle> out;
    for (const DesktopWindow& w : TopLevelWindows())
        if (w.visible && w.title.rfind(prefix, 0) == 0) out.push_back(w.handle);
    return out;
}

// A key with an optional modifier to a window through XTest, after giving
// it the input focus.
void SendKey(WindowHandle window, KeySym modifier, KeySym key) {
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    XRaiseWindow(d, window);
    XSetInputFocus(d, window, RevertToPointerRoot, CurrentTime);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const KeyCode m = modifier ? XKeysymToKeycode(d, modifier) : 0;
    const KeyCode k = XKeysymToKeycode(d, key);
    if (m) XTestFakeKeyEvent(d, m, True, 0);
    XTestFakeKeyEvent(d, k, True, 20);
    XTestFakeKeyEvent(d, k, False, 20);
    if (m) XTestFakeKeyEvent(d, m, False, 20);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    XCloseDisplay(d);
}

const std::string kTitle = "Message:  Dentist";

class ToDoE2ETest : public MsgProgTest {
protected:
    void SetUp() override {
        MsgProgTest::SetUp();
        data::SetKeyDerivationIterations(0);  // KR98 opens the file with the real key derivation
    }
    void TearDown() override {
        if (kr98_.state() != QProcess::NotRunning) {
            kr98_.terminate();
            if (!kr98_.waitForFinished(10000)) kr98_.kill();
            kr98_.waitForFinished();
        }
        // KRMsg ends with its windows: its box, then the message.
        for (const char* t : {"Saved", "Message:  Dentist"})
            for (WindowHandle w : WindowsTitled(t)) CloseWindow(w);
        WaitUntil([] { return WindowsTitled(kTitle).empty(); }, 5000);
        MsgProgTest::TearDown();
    }
    std::vector<Todo> ItemsNow() {
        std::vector<Todo> out;
        data::Table& t = data::TableOf(TodoDef());
        if (t.Open() == 0) {
            t.Set(TodoDef().key("TDO:KeyToDo"));
            while (t.Next() == 0) out.push_back(t.Rec<Todo>());
            t.Close();
        }
        data::CloseIdleFiles();
        return out;
    }
    QProcess kr98_;
};

TEST_F(ToDoE2ETest, ItemAddedByKRMsgShowsInTheListOfKR98) {
    if (!HaveX11Display()) GTEST_SKIP() << "needs an X display";
    InstallClock(nullptr);  // both programs run on the real clock
    SetSetting("UseExternalMessage", "1");
    {
        MsgLink m = Link("Dentist", "Book a check-up");
        Schedule task = msgprog::SnoozeTask(m, 1, Today(), ClockTime());
        task.Category = "General";
        task.Time = ClockTime() + 300;  // due in three seconds
        msgprog::Normalize(task.Date, task.Time);
        TableScheduleStore store;
        ASSERT_EQ(store.openError(), 0);
        ASSERT_EQ(AddScheduleCopy(store, task), 0);
    }
    data::TableOf(ConfigurationDef()).Close();
    data::CloseIdleFiles();
    const std::string answers = (dir_ / "answers.txt").string();
    std::ofstream(answers).close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("KR_TEST_RESPONSES", QString::fromStdString(answers));
    kr98_.setProcessEnvironment(env);
    kr98_.setWorkingDirectory(QString::fromStdString(dir_.string()));
    kr98_.start(QString::fromStdString(std::string(KR_BIN_DIR) + "/KR98"), {});
    ASSERT_TRUE(kr98_.waitForStarted());

    ASSERT_TRUE(WaitUntil([&] { return !WindowsTitled(kTitle).empty(); }, 40000))
        << "KR98: " << kr98_.readAllStandardError().toStdString();
    SendKey(WindowsTitled(kTitle).front(), XK_Alt_L, XK_t);  // "&To Do"
    ASSERT_TRUE(WaitUntil([&] { return ItemsNow().size() == 1; }, 10000)) << "KRMsg stored no item";
    if (WaitUntil([] { return !WindowsTitled("Saved").empty(); }, 5000))
        SendKey(WindowsTitled("Saved").front(), 0, XK_Return);

    // Lists, To Do Items.
    const auto frames = WindowsTitled("Kairoll 2000");
    ASSERT_FALSE(frames.empty()) << "the frame is not on show";
    SendKey(frames.front(), XK_Control_L, XK_t);
    ASSERT_TRUE(WaitUntil([] { return !WindowsTitled("To Do Items").empty(); }, 15000)) << "the list did not open";
    const WindowHandle list = WindowsTitled("To Do Items").front();
    // The item is the list's highlighted row: Enter views it, "&Edit" edits it.
    SendKey(list, 0, XK_Return);
    ASSERT_TRUE(WaitUntil([] { return !WindowsTitled("View To Do Item").empty(); }, 10000))
        << "the list showed no item";
    SendKey(WindowsTitled("View To Do Item").front(), XK_Alt_L, XK_o);  // "Cl&ose"
    ASSERT_TRUE(WaitUntil([] { return WindowsTitled("View To Do Item").empty(); }, 10000));
    SendKey(list, XK_Alt_L, XK_e);
    ASSERT_TRUE(WaitUntil([] { return !WindowsTitled("Edit To Do Item").empty(); }, 10000)) << "no form to edit";
    const WindowHandle form = WindowsTitled("Edit To Do Item").front();
    SendKey(form, XK_Alt_L, XK_p);
    SendKey(form, 0, XK_8);
    SendKey(form, 0, XK_Return);
    ASSERT_TRUE(WaitUntil([&] {
        const auto items = ItemsNow();
        return items.size() == 1 && items[0].Priority == 8;
    }, 10000)) << "the form did not store the item";
    const Todo item = ItemsNow()[0];
    EXPECT_EQ(item.ToDo, "Dentist");
    EXPECT_EQ(item.Category, "General");
    EXPECT_EQ(item.OriginalID, 1);
    EXPECT_EQ(ClipRight(item.Notes), "Book a check-up");
}

}  // namespace
}  // namespace kr::test
