// KR98 and KRMsg together on a real X server, in a temporary data folder:
// KR98's timer hands a due message task to KRMsg; Alt+T in KRMsg adds the
// message to the to-do list; then Ctrl+T in KR98 opens "To Do Items", which
// shows the item: Enter opens it in the form, a new priority and OK store it.
#include "../msgprog/MsgProgE2EFixture.h"

namespace kr::test {
namespace {

const std::string kTitle = "Message:  Dentist";

class ToDoE2ETest : public MsgProgE2ETest {
protected:
    // KRMsg ends with its windows: its box, then the message.
    ToDoE2ETest() : MsgProgE2ETest({"Saved", kTitle}) {}
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
};

TEST_F(ToDoE2ETest, ItemAddedByKRMsgShowsInTheListOfKR98) {
    if (!HaveX11Display()) GTEST_SKIP() << "needs an X display";
    InstallClock(nullptr);  // both programs run on the real clock
    ASSERT_NO_FATAL_FAILURE(AddDueMessageTask("Dentist", "Book a check-up"));
    ASSERT_NO_FATAL_FAILURE(StartKR98());

    ASSERT_TRUE(Await([&] { return !WindowsStartingWith(kTitle).empty(); }, 40000)) << kr98_.Said();
    SendKeyTo(WindowsStartingWith(kTitle).front(), XK_Alt_L, XK_t);  // "&To Do"
    ASSERT_TRUE(Await([&] { return ItemsNow().size() == 1; }, 10000)) << "KRMsg stored no item";
    if (Await([] { return !WindowsStartingWith("Saved").empty(); }, 5000))
        SendKeyTo(WindowsStartingWith("Saved").front(), 0, XK_Return);

    // Lists, To Do Items.
    const auto frames = WindowsStartingWith("Kairoll 2000");
    ASSERT_FALSE(frames.empty()) << "the frame is not on show";
    SendKeyTo(frames.front(), XK_Control_L, XK_t);
    ASSERT_TRUE(Await([] { return !WindowsStartingWith("To Do Items").empty(); }, 15000)) << "the list did not open";
    const WindowHandle list = WindowsStartingWith("To Do Items").front();
    // The item is the list's highlighted row: Enter views it, "&Edit" edits it.
    SendKeyTo(list, 0, XK_Return);
    ASSERT_TRUE(Await([] { return !WindowsStartingWith("View To Do Item").empty(); }, 10000))
        << "the list showed no item";
    SendKeyTo(WindowsStartingWith("View To Do Item").front(), XK_Alt_L, XK_o);  // "Cl&ose"
    ASSERT_TRUE(Await([] { return WindowsStartingWith("View To Do Item").empty(); }, 10000));
    SendKeyTo(list, XK_Alt_L, XK_e);
    ASSERT_TRUE(Await([] { return !WindowsStartingWith("Edit To Do Item").empty(); }, 10000)) << "no form to edit";
    const WindowHandle form = WindowsStartingWith("Edit To Do Item").front();
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
