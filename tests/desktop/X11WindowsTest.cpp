// Window lists, activation and closing on a real X server (xvfb-run), with no
// window manager and under matchbox.
#include <gtest/gtest.h>

#include <fstream>

#include "X11TestSupport.h"
#include "platform/desktop/WindowHelpers.h"
#include "platform/desktop/X11Windows.h"

namespace kr {
namespace {

using test::TestDisplay;
using test::WaitUntil;
using test::WindowManagerProcess;

const WindowListEntry* FindEntry(const std::vector<WindowListEntry>& list, Window w) {
    for (const WindowListEntry& e : list)
        if (e.Handle == w) return &e;
    return nullptr;
}

class X11WindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!display.d()) GTEST_SKIP() << "no X display (run under xvfb-run)";
        SetExcludeHiddenWindows(false);
    }
    void TearDown() override { SetExcludeHiddenWindows(false); }

    // Four windows: titled, untitled with an icon title, untitled with
    // nothing, titled and never mapped.
    void MakeWindows() {
        titled = display.Make("Kairoll Test - Notepad", "", "KrTitled", true);
        iconOnly = display.Make("", "Icon Text", "KrIcon", true);
        blank = display.Make("", "", "KrBlank", true);
        unmapped = display.Make("Hidden Helper", "", "KrHidden", false);
    }

    // The list rules that hold with or without a window manager.
    void CheckLists() {
        ListTopWindows();
        std::vector<WindowListEntry> list = WindowList();
        const WindowListEntry* t = FindEntry(list, titled);
        ASSERT_TRUE(t);
        EXPECT_EQ(t->Line.str(), "Kairoll Test - Notepad");
        EXPECT_EQ(t->Class.str(), "KrTitled");
        const WindowListEntry* i = FindEntry(list, iconOnly);
        ASSERT_TRUE(i) << "an untitled window is listed under its icon title";
        EXPECT_EQ(i->Line.str(), "Icon Text");
        EXPECT_FALSE(FindEntry(list, blank)) << "a window with no text is left out";
        ASSERT_TRUE(FindEntry(list, unmapped)) << "hidden windows are listed while ExclHidden is off";
        EXPECT_EQ(CurrentWindowEntry().Handle, list.back().Handle);

        SetExcludeHiddenWindows(true);
        ListTopWindows();
        list = WindowList();
        EXPECT_TRUE(FindEntry(list, titled));
        EXPECT_FALSE(FindEntry(list, unmapped));
        SetExcludeHiddenWindows(false);

        // Child windows: a titled sub-window is listed, an untitled one not.
        Window child = display.Make("Child Label", "", "KrChild", true, titled);
        display.Make("", "", "KrChildBlank", true, titled);
        ListTopWindows();
        list = WindowList();
        for (std::size_t n = 1; n <= list.size(); ++n)
            if (list[n - 1].Handle == titled) { ASSERT_TRUE(FetchWindowEntry(n)); }
        ASSERT_EQ(CurrentWindowEntry().Handle, titled);
        ListChildWindows();
        std::vector<ChildWindowEntry> kids = ChildWindowList();
        ASSERT_EQ(kids.size(), 1u);
        EXPECT_EQ(kids[0].Line.str(), "Child Label");
        EXPECT_EQ(kids[0].Handle, child);
        EXPECT_EQ(kids[0].Class.str(), "KrChild");
    }

    TestDisplay display;
    Window titled = 0, iconOnly = 0, blank = 0, unmapped = 0;
};

TEST_F(X11WindowsTest, ListsWithoutAWindowManager) {
    ASSERT_FALSE(HaveWindowManager()) << "another window manager is running";
    MakeWindows();
    CheckLists();
    DesktopWindow d = DescribeWindow(titled);
    EXPECT_TRUE(d.visible);
    EXPECT_FALSE(DescribeWindow(unmapped).visible);
}

TEST_F(X11WindowsTest, ListsUnderMatchbox) {
    WindowManagerProcess wm(display);
    ASSERT_TRUE(wm.ready()) << "matchbox-window-manager did not start";
    EXPECT_TRUE(WaitUntil([] { return HaveWindowManager(); }));
    MakeWindows();
    ASSERT_TRUE(WaitUntil([&] {
        auto c = display.ClientList();
        return std::find(c.begin(), c.end(), titled) != c.end();
    })) << "the manager never took the window";
    CheckLists();
    EXPECT_TRUE(DescribeWindow(titled).visible);
}

TEST_F(X11WindowsTest, ProgramOfAWindowComesFromItsPid) {
    MakeWindows();
    EXPECT_EQ(WindowPid(titled), getpid());
    std::ifstream in("/proc/self/comm");
    std::string self;
    std::getline(in, self);
    EXPECT_EQ(WindowProgram(titled), self);
    EXPECT_EQ(WindowPid(blank), getpid());
    EXPECT_FALSE(WindowExists(0x7ffffff0));
    EXPECT_EQ(WindowPid(0x7ffffff0), 0) << "a window that is gone answers nothing";
    EXPECT_TRUE(ChildWindowsOf(0x7ffffff0).empty());
}

TEST_F(X11WindowsTest, ActivateAndCloseWithoutAWindowManager) {
    ASSERT_FALSE(HaveWindowManager());
    MakeWindows();
    EXPECT_TRUE(ActivateWindow(titled));
    EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() == titled; }));
    EXPECT_TRUE(CloseWindow(iconOnly));
    EXPECT_TRUE(display.GotDeleteRequest(iconOnly));
    EXPECT_FALSE(ActivateWindow(0x7ffffff0));
}

TEST_F(X11WindowsTest, ActivateAndCloseThroughMatchbox) {
    WindowManagerProcess wm(display);
    ASSERT_TRUE(wm.ready());
    MakeWindows();
    Window second = display.Make("Second Window", "", "KrSecond", true);
    ASSERT_TRUE(WaitUntil([&] {
        auto c = display.ClientList();
        return std::find(c.begin(), c.end(), second) != c.end() && std::find(c.begin(), c.end(), titled) != c.end();
    }));
    EXPECT_TRUE(ActivateWindow(titled));
    EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() == titled; }));
    EXPECT_TRUE(ActivateWindow(second));
    EXPECT_TRUE(WaitUntil([&] { return ActiveWindow() == second; }));
    EXPECT_TRUE(CloseWindow(second));
    EXPECT_TRUE(display.GotDeleteRequest(second)) << "the manager passes the close on as WM_DELETE_WINDOW";
}

TEST_F(X11WindowsTest, AStaleClientListOfAManagerThatExitedIsNotTrusted) {
    {
        WindowManagerProcess wm(display);
        ASSERT_TRUE(wm.ready());
        EXPECT_TRUE(WaitUntil([] { return HaveWindowManager(); }));
    }
    EXPECT_TRUE(WaitUntil([] { return !HaveWindowManager(); }));
    MakeWindows();
    ListTopWindows();
    EXPECT_TRUE(FindEntry(WindowList(), titled));
}

}  // namespace
}  // namespace kr
