// KR98 and KRMsg together on a real X server, in a temporary data folder:
// KR98's timer hands a due message task to KRMsg; Alt+T in KRMsg adds the
// message to the to-do list; then Ctrl+T in KR98 opens "To Do Items", which
// shows the item: Enter opens it in the form, a new priority and OK store it.
#include "../msgprog/MsgProgFixture.h"
#include "platform/desktop/X11Windows.h"
#include "scheduler/Reschedule.h"
// Xlib last: its macros (Bool, Status) clash with Qt's headers.
#include "../desktop/DesktopSession.h"

namespace kr::test {
namespace {

// Polled ten times a second: each look reads the data file both programs use.
bool Await(const std::function<bool()>& cond, int ms) { return WaitUntil(cond, ms, 100); }

std::vector<WindowHandle> WindowsTitled(const std::string& prefix) {
    std::vector<WindowHandle> out;
    for (const DesktopWindow& w : TopLevelWindows())
        if (w.visible && w.title.rfind(prefix, 0) == 0) out.push_back(w.handle);
    return out;
}

const std::string kTitle = "Message:  Dentist";

class ToDoE2ETest : public MsgProgTest {
protected:
    void SetUp() override {
        MsgProgTest::SetUp();
        data::SetKeyDerivationIterations(0);  // KR98 opens the file with the real key derivation
    }
    void TearDown() override {
        kr98_.Stop();
        // KRMsg ends with its windows: its box, then the message.
        for (const char* t : {"Saved", "Message:  Dentist"})
            for (WindowHandle w : WindowsTitled(t)) CloseWindow(w);
        Await([] { return WindowsTitled(kTitle).empty(); }, 5000);
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
    ProgramRun kr98_;
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
    kr98_.Prepare(dir_);
    kr98_.SetResponses(dir_ / "answers.txt");
    ASSERT_TRUE(kr98_.Start());

    ASSERT_TRUE(Await([&] { return !WindowsTitled(kTitle).empty(); }, 40000))
        << kr98_.Said();
    SendKeyTo(WindowsTitled(kTitle).front(), XK_Alt_L, XK_t);  // "&To Do"
    ASSERT_TRUE(Await([&] { return ItemsNow().size() == 1; }, 10000)) << "KRMsg stored no item";
    if (Await([] { return !WindowsTitled("Saved").empty(); }, 5000))
        SendKeyTo(WindowsTitled("Saved").front(), 0, XK_Return);

    // Lists, To Do Items.
    const auto frames = WindowsTitled("Kairoll 2000");
    ASSERT_FALSE(frames.empty()) << "the frame is not on show";
    SendKeyTo(frames.front(), XK_Control_L, XK_t);
    ASSERT_TRUE(Await([] { return !WindowsTitled("To Do Items").empty(); }, 15000)) << "the list did not open";
    const WindowHandle list = WindowsTitled("To Do Items").front();
    // The item is the list's highlighted row: Enter views it, "&Edit" edits it.
    SendKeyTo(list, 0, XK_Return);
    ASSERT_TRUE(Await([] { return !WindowsTitled("View To Do Item").empty(); }, 10000))
        << "the list showed no item";
    SendKeyTo(WindowsTitled("View To Do Item").front(), XK_Alt_L, XK_o);  // "Cl&ose"
    ASSERT_TRUE(Await([] { return WindowsTitled("View To Do Item").empty(); }, 10000));
    SendKeyTo(list, XK_Alt_L, XK_e);
    ASSERT_TRUE(Await([] { return !WindowsTitled("Edit To Do Item").empty(); }, 10000)) << "no form to edit";
    const WindowHandle form = WindowsTitled("Edit To Do Item").front();
    SendKeyTo(form, XK_Alt_L, XK_p);
    SendKeyTo(form, 0, XK_8);
    SendKeyTo(form, 0, XK_Return);
    ASSERT_TRUE(Await([&] {
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
