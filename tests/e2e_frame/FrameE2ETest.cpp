// The built KR98 under openbox with a tray host: its icon is embedded in the
// tray, the close box hides the frame to the tray, a double click on the
// icon brings it back, and File → Exit (with the question answered Yes) ends
// the program with "Exit Kairoll" in the log. The program's memory while it
// sits idle in the tray is printed. Started minimised, the frame goes into
// the tray with its start-up list, and both come back together.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "../desktop/ProgramDesktop.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;

long RssKiB(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

class FrameE2ETest : public OpenboxKR98Test {
protected:
    explicit FrameE2ETest(std::string settings = "LogEvents=1\r\nMinimizeOnCloseRequest=1\r\n")
        : OpenboxKR98Test("kr-e2e-frame", std::move(settings), kTrayHost) {}

    // The program's window inside the tray host: its icon.
    Window FindTrayIcon(Display* d) {
        Window found = 0;
        ForEachWindow(
            d,
            [&](Window w, bool inside) {
                if (!found && inside && WindowPid(d, w) == kr98_.pid() && Viewable(d, w)) found = w;
            },
            tray_->pid());
        return found;
    }
    std::string Tree(Display* d) {
        return "KR98 " + std::to_string(kr98_.pid()) + ", trayer " + std::to_string(tray_->pid()) + "\n" +
               WindowTree(d);
    }
};

TEST_F(FrameE2ETest, TrayIconCloseToTrayAndExitThroughTheMenu) {
    Display* d = display();
    std::ofstream(dir_ / "answers.txt") << "button 2\n";  // Yes to the Exit question
    ASSERT_TRUE(LaunchKR98());

    const Window frame = WaitForFrame();
    ASSERT_NE(frame, 0u) << "the frame did not show\n" << kr98_.Said();
    Window icon = 0;
    ASSERT_TRUE(WaitUntil([&] { return (icon = FindTrayIcon(d)) != 0; }, 10000)) << "no icon in the tray\n"
                                                                                << Tree(d);

    // The start-up list opens once the frame has shown: the program is
    // ready then, as a user sees it.
    ASSERT_TRUE(WaitUntil([&] { return FindTitled(d, "Scheduled Tasks", kr98_.pid()) != 0; }, 10000))
        << "the start-up list did not show\n" << Tree(d);

    // The close box hides the frame to the tray; the program runs on. One
    // request, as a user clicks once.
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = frame;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, frame, False, NoEventMask, &e);
    XSync(d, False);
    ASSERT_TRUE(WaitUntil([&] { return !Viewable(d, frame); }, 10000)) << "the frame did not go to the tray\n"
                                                                        << kr98_.Said() << Tree(d);
    std::this_thread::sleep_for(std::chrono::seconds(3));  // a few ticks idle in the tray
    EXPECT_TRUE(kr98_.Running());
    const long rss = RssKiB(kr98_.pid());
    std::printf("KR98 idle in the tray: VmRSS %ld KiB\n", rss);
    RecordProperty("IdleRssKiB", static_cast<int>(rss));
    ASSERT_NE(FindTrayIcon(d), 0u) << "the icon stays while the frame is hidden";

    // A double click on the icon brings the frame back.
    icon = FindTrayIcon(d);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(d, icon, DefaultRootWindow(d), 5, 5, &x, &y, &child);
    XTestFakeMotionEvent(d, -1, x, y, 0);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int i = 0; i < 2; ++i) {
        XTestFakeButtonEvent(d, 1, True, 0);
        XTestFakeButtonEvent(d, 1, False, 0);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    ASSERT_TRUE(WaitUntil([&] { return Viewable(d, frame); }, 10000)) << "the double click did not restore";

    // File → Exit through the menu's keys; the question is answered Yes.
    GiveFocus(d, frame);
    PressKey(d, XK_f, XK_Alt_L, 500);
    PressKey(d, XK_x);
    ASSERT_TRUE(kr98_.WaitForEnd(20000)) << "File → Exit did not end the program";
    EXPECT_EQ(kr98_.ExitCode(), 0) << kr98_.Said();

    EXPECT_NE(kr98_.Asked().find("message\tWarning\tNo tasks will execute while Kairoll is not active."),
              std::string::npos)
        << kr98_.Asked();
    const std::vector<EventLogEntry> log = ReadEventLog(dir_.path());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().label, "Started");
    EXPECT_EQ(log.back().label, "Exit Kairoll");
}

// "Minimize at start up" with a tray: the frame starts in the tray, and the
// start-up list ("Scheduled Tasks") goes there with it, as lists go with the
// frame on every minimise; a double click on the icon brings both back.
class StartMinimisedE2ETest : public FrameE2ETest {
protected:
    StartMinimisedE2ETest() : FrameE2ETest("StartUpMinimized=1\r\n") {}
    // A window of KR98's whose title starts so, shown or not; 0 when none.
    Window AnyTitled(Display* d, const std::string& title) {
        Window found = 0;
        ForEachWindow(d, [&](Window w, bool) {
            if (!found && WindowPid(d, w) == kr98_.pid() && TitleOf(d, w).rfind(title, 0) == 0) found = w;
        });
        return found;
    }
};

TEST_F(StartMinimisedE2ETest, StartedMinimisedTheStartUpListGoesIntoTheTrayWithTheFrame) {
    Display* d = display();
    ASSERT_TRUE(LaunchKR98());
    Window icon = 0;
    ASSERT_TRUE(WaitUntil([&] { return (icon = FindTrayIcon(d)) != 0; }, 20000)) << "no icon in the tray\n"
                                                                                << kr98_.Said() << Tree(d);
    Window list = 0, frame = 0;
    ASSERT_TRUE(WaitUntil([&] { return (list = AnyTitled(d, "Scheduled Tasks")) != 0; }, 10000))
        << "the start-up list was not made\n" << Tree(d);
    ASSERT_TRUE(WaitUntil([&] { return (frame = AnyTitled(d, "Kairoll 2000")) != 0; }, 10000)) << Tree(d);
    // Settled: neither shows, and neither comes back on its own.
    EXPECT_TRUE(WaitUntil([&] { return !Viewable(d, list) && !Viewable(d, frame); }, 5000))
        << "list " << Viewable(d, list) << ", frame " << Viewable(d, frame) << "\n" << Tree(d);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_FALSE(Viewable(d, list)) << "the list is on the screen while the frame is in the tray\n" << Tree(d);
    EXPECT_FALSE(Viewable(d, frame));
    if (const char* dir = std::getenv("KR_SCREENSHOT_DIR"))
        std::system(("import -window root " + std::string(dir) + "/start-minimised.png").c_str());

    // A double click on the icon brings the frame and the list back.
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(d, icon, DefaultRootWindow(d), 5, 5, &x, &y, &child);
    XTestFakeMotionEvent(d, -1, x, y, 0);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int i = 0; i < 2; ++i) {
        XTestFakeButtonEvent(d, 1, True, 0);
        XTestFakeButtonEvent(d, 1, False, 0);
        XSync(d, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    EXPECT_TRUE(WaitUntil([&] { return Viewable(d, frame) && Viewable(d, list); }, 10000))
        << "list " << Viewable(d, list) << ", frame " << Viewable(d, frame) << "\n" << Tree(d);
    if (const char* dir = std::getenv("KR_SCREENSHOT_DIR"))
        std::system(("import -window root " + std::string(dir) + "/start-minimised-restored.png").c_str());
}

}  // namespace
}  // namespace kr::test
