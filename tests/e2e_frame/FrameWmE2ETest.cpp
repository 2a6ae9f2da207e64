// The built KR98 under openbox, as a user meets it on a desktop: Escape in
// the frame leaves it open and the program running, and a second KR98
// started on the same data folder brings the first one's frame back from
// the taskbar and ends without a frame of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "../desktop/ProgramDesktop.h"

namespace kr::test {
namespace {

class FrameWmE2ETest : public OpenboxKR98Test {
protected:
    FrameWmE2ETest() : OpenboxKR98Test("kr-e2e-wm", "LogEvents=1\r\n", 0) {}
    void TearDown() override {
        second_.Kill();
        OpenboxKR98Test::TearDown();
    }

    void Start(ProgramRun& p) {
        p.Prepare(dir_.path());
        ASSERT_TRUE(p.Start());
    }
    // The frame's own (client) window: the program's, titled by the product.
    Window ShownFrame(ProgramRun& p) {
        Window frame = 0;
        EXPECT_TRUE(WaitUntil([&] { return (frame = FindTitled(display(), "Kairoll 2000", p.pid())) != 0; }, 20000))
            << "the frame did not show\n" << p.Said();
        return frame;
    }

    ProgramRun& first_ = kr98_;
    ProgramRun second_;
};

TEST_F(FrameWmE2ETest, EscapeInTheFrameLeavesItOpen) {
    Start(first_);
    const Window frame = ShownFrame(first_);
    ASSERT_NE(frame, 0u);
    Display* d = display();
    GiveFocus(d, frame);
    for (int i = 0; i < 2; ++i) PressKey(d, XK_Escape, 0, 200);
    // The program would have ended within this time had Escape closed it.
    EXPECT_FALSE(first_.WaitForEnd(3000)) << "Escape ended KR98";
    EXPECT_TRUE(Viewable(d, frame));
}

TEST_F(FrameWmE2ETest, SecondCopyOnTheSameFolderShowsTheFirstAndEnds) {
    Start(first_);
    const Window frame = ShownFrame(first_);
    ASSERT_NE(frame, 0u);
    Display* d = display();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    XIconifyWindow(d, frame, DefaultScreen(d));
    XSync(d, False);
    ASSERT_TRUE(WaitUntil([&] { return WmState(d, frame) == IconicState; }, 10000)) << "openbox did not minimise it";

    Start(second_);
    ASSERT_TRUE(second_.WaitForEnd(20000)) << "the second copy stayed";
    EXPECT_EQ(second_.ExitCode(), 0) << second_.Said();
    EXPECT_TRUE(WaitUntil([&] { return WmState(d, frame) == NormalState && Viewable(d, frame); }, 10000))
        << "the first copy's frame was not brought back";
    EXPECT_TRUE(first_.Running());

    // Only one copy wrote its start to the log.
    first_.process().terminate();
    ASSERT_TRUE(first_.WaitForEnd(20000));
    int started = 0;
    for (const EventLogEntry& e : ReadEventLog(dir_.path()))
        if (e.label == "Started") ++started;
    EXPECT_EQ(started, 1);
}

}  // namespace
}  // namespace kr::test
