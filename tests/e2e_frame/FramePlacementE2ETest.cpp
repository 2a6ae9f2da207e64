// The built KR98 under openbox, where openbox puts its windows: the list it
// opens at start-up and two lists opened from the frame's menu, none with a
// saved position, open below the frame's menu bar and inside the screen,
// each one step right of and below the one before; the start-up list does
// not cover the toolbar. Window → Cascade then arranges them over the whole
// work area, as the frame stands in the middle of the screen.
#include <gtest/gtest.h>

#include <QRect>
#include <string>
#include <thread>

#include "../desktop/ProgramDesktop.h"

namespace kr::test {
namespace {

class FramePlacementE2ETest : public OpenboxKR98Test {
protected:
    FramePlacementE2ETest() : OpenboxKR98Test("kr-e2e-place", "UseKRMsg=0\r\n") {}

    QRect Outer(Window w) { return OuterRect(display(), w); }
    // The program's window titled so, once openbox has framed it and it has
    // stopped moving; 0 when it does not within 20 s.
    Window Settled(const std::string& title, QRect& outer) {
        Window w = 0;
        QRect last;
        WaitUntil(
            [&] {
                if (!w) w = FindTitled(display(), title, kr98_.pid());
                if (!w) return false;
                const QRect now = Outer(w);
                const bool same = !now.isEmpty() && now == last;
                last = now;
                return same;
            },
            20000, 100);
        outer = last;
        return w;
    }
    // The lowest screen line of the frame's menu bar: where its File menu
    // drops down (a window of the program's that openbox leaves alone).
    int MenuBarBottom(const std::string& frame) {
        xdo::Keys(frame, {"alt+f"});
        int top = -1;
        WaitUntil([&] {
            ForEachWindow(display(), [&](Window w, bool) {
                XWindowAttributes a;
                if (top < 0 && XGetWindowAttributes(display(), w, &a) && a.override_redirect &&
                    a.map_state == IsViewable && WindowPid(display(), w) == kr98_.pid() && a.height > 40) {
                    int x, y;
                    Window child;
                    XTranslateCoordinates(display(), w, DefaultRootWindow(display()), 0, 0, &x, &y, &child);
                    top = y;
                }
            });
            return top >= 0;
        });
        xdo::Run({"key", "Escape"});
        return top;
    }
};

TEST_F(FramePlacementE2ETest, UnpositionedWindowsCascadeBelowTheMenuBarInsideTheScreen) {
    const std::string frame = StartKR98();
    ASSERT_FALSE(frame.empty()) << "the frame did not show\n" << kr98_.Said();
    QRect frameRect, startList, todo, hotKeys;
    ASSERT_NE(Settled("Kairoll 2000", frameRect), 0u);
    const Window list = Settled("Scheduled Tasks", startList);
    ASSERT_NE(list, 0u) << "the start-up list did not show\n" << WindowTree(display());
    // Keys go to the frame once that list has taken the focus.
    WaitUntil([&] { return xdo::ActiveWindow() == std::to_string(list); }, 5000);

    const int menuBottom = MenuBarBottom(frame);
    ASSERT_GT(menuBottom, frameRect.top()) << "the File menu did not drop down";
    // From the frame's menu (Lists → To Do Items, Lists → Hot Keys).
    xdo::Keys(frame, {"ctrl+t"});
    ASSERT_NE(Settled("To Do Items", todo), 0u) << "To Do Items did not open";
    xdo::Keys(frame, {"ctrl+k"});
    ASSERT_NE(Settled("Hot Keys", hotKeys), 0u) << "Hot Keys did not open";

    Display* d = display();
    const QRect screen(0, 0, DisplayWidth(d, DefaultScreen(d)), DisplayHeight(d, DefaultScreen(d)));
    for (const QRect& r : {startList, todo, hotKeys}) {
        EXPECT_GE(r.top(), menuBottom) << "over the frame's menu bar";
        EXPECT_TRUE(screen.contains(r)) << "off the screen: " << r.x() << "," << r.y() << " " << r.width() << "x"
                                        << r.height();
    }
    EXPECT_GT(startList.left(), frameRect.left());
    EXPECT_GT(todo.left(), startList.left());
    EXPECT_GT(todo.top(), startList.top());
    // One step of the cascade: as far right as down.
    const QPoint step = hotKeys.topLeft() - todo.topLeft();
    EXPECT_GT(step.x(), 0);
    EXPECT_EQ(step.x(), step.y());

    // Window → Cascade arranges the windows over the screen's whole work
    // area when the frame does not stand at its top (openbox puts it in the
    // middle): the start-up list first, at the top.
    xdo::Keys(frame, {"alt+w", "c"});
    QRect cascaded;
    ASSERT_TRUE(WaitUntil([&] { return Settled("Scheduled Tasks", cascaded) && cascaded != startList; }, 10000))
        << "Cascade did not move the list";
    ASSERT_GT(frameRect.top(), screen.height() / 4) << "the frame stands at the top";
    EXPECT_LT(cascaded.top(), frameRect.top());
    EXPECT_TRUE(screen.contains(cascaded));
}

}  // namespace
}  // namespace kr::test
