// The built KR98 under openbox on a 1024 x 768 screen of the test's own:
// each window lies wholly on the screen's work area, title bar included.
// The task and script wizards keep one size as their pages change; "Password
// Required" opens over the window it was asked from, and a position saved
// partly off the screen and larger than it is moved and cut onto it.
#include <gtest/gtest.h>

#include <QRect>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "../desktop/KR98DataFile.h"
#include "../desktop/ProgramDesktop.h"

extern char** environ;

namespace kr::test {
namespace {

// An Xvfb of the test's own at the given size; display() is empty when it
// did not start.
class PrivateScreen {
public:
    explicit PrivateScreen(const std::string& size) {
        int fds[2];
        if (pipe(fds) != 0) return;
        const std::string fd = std::to_string(fds[1]);
        const std::string screen = size + "x24";
        const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                              nullptr};
        if (posix_spawnp(&pid_, "Xvfb", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = 0;
        close(fds[1]);
        pollfd p{fds[0], POLLIN, 0};
        char buf[32] = {};
        if (pid_ && poll(&p, 1, 10000) > 0 && read(fds[0], buf, sizeof buf - 1) > 0)
            display_ = ":" + std::string(buf).substr(0, std::string(buf).find('\n'));
        close(fds[0]);
    }
    ~PrivateScreen() {
        if (!pid_) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = 0;
    std::string display_;
};

class ScreenFitE2ETest : public OpenboxKR98Test {
protected:
    ScreenFitE2ETest() : OpenboxKR98Test("kr-e2e-fit", "UseKRMsg=0\r\n") {}

    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        screen_ = std::make_unique<PrivateScreen>("1024x768");
        if (screen_->display().empty()) GTEST_SKIP() << "Xvfb did not start a screen of the test's own";
        previous_ = std::getenv("DISPLAY");
        setenv("DISPLAY", screen_->display().c_str(), 1);
        OpenboxKR98Test::SetUp();
    }
    void TearDown() override {
        OpenboxKR98Test::TearDown();
        screen_.reset();
        if (!previous_.empty()) setenv("DISPLAY", previous_.c_str(), 1);
    }

    // The work area openbox gives (_NET_WORKAREA), else the whole screen.
    QRect WorkArea() {
        Display* d = display();
        QRect area(0, 0, DisplayWidth(d, DefaultScreen(d)), DisplayHeight(d, DefaultScreen(d)));
        Atom type;
        int format;
        unsigned long n = 0, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, DefaultRootWindow(d), XInternAtom(d, "_NET_WORKAREA", False), 0, 4, False,
                               XA_CARDINAL, &type, &format, &n, &after, &data) == Success &&
            data && n == 4) {
            const long* a = reinterpret_cast<long*>(data);
            area = QRect(int(a[0]), int(a[1]), int(a[2]), int(a[3]));
        }
        if (data) XFree(data);
        return area;
    }
    // The program's window titled so, framed and no longer moving; its outer
    // rectangle (title bar and borders included) in `outer`.
    Window Settled(const std::string& title, QRect& outer) {
        Window w = 0;
        QRect last;
        int same = 0;
        WaitUntil(
            [&] {
                if (!w) w = FindTitled(display(), title, kr98_.pid());
                if (!w) return false;
                const QRect now = OuterRect(display(), w);
                same = !now.isEmpty() && now == last ? same + 1 : 0;
                last = now;
                return same >= 3;
            },
            20000, 100);
        outer = last;
        return w;
    }
    static std::string Text(const QRect& r) {
        return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
               std::to_string(r.height());
    }

    std::unique_ptr<PrivateScreen> screen_;
    std::string previous_;
};

TEST_F(ScreenFitE2ETest, WizardsKeepOneSizeOnTheWorkAreaAsTheirPagesChange) {
    const std::string frame = StartKR98();
    ASSERT_FALSE(frame.empty()) << "the frame did not show\n" << kr98_.Said();
    ASSERT_FALSE(WaitForStartupList().empty()) << "the start-up list did not show";
    const QRect area = WorkArea();
    struct Wizard {
        const char* keys;
        const char* title;
        int pages;
    };
    for (const Wizard& wz : {Wizard{"ctrl+shift+p", "New Program Task Wizard", 4},
                             Wizard{"ctrl+shift+s", "New Script Task Wizard", 4},
                             Wizard{"ctrl+shift+b", "Add Task Wizard", 6}}) {
        SCOPED_TRACE(wz.title);
        xdo::Keys(frame, {wz.keys});
        QRect first;
        const Window w = Settled(wz.title, first);
        ASSERT_NE(w, 0u) << "did not open\n" << WindowTree(display());
        EXPECT_TRUE(area.contains(first)) << "page 1 at " << Text(first);
        for (int page = 2; page <= wz.pages; ++page) {
            xdo::Keys(std::to_string(w), {"alt+n"});
            QRect now;
            Settled(wz.title, now);
            EXPECT_EQ(now.size(), first.size()) << "page " << page << " at " << Text(now);
            EXPECT_TRUE(area.contains(now)) << "page " << page << " at " << Text(now);
        }
        xdo::Keys(std::to_string(w), {"Escape"});
        ASSERT_TRUE(WaitUntil([&] { return FindTitled(display(), wz.title, kr98_.pid()) == 0; }, 10000))
            << "did not close";
    }
}

TEST_F(ScreenFitE2ETest, PasswordRequiredOpensOverItsWindowAndASavedPositionComesOntoTheScreen) {
    InDataFolder(dir_.path(), [] {
        data::Table& t = data::TableOf(ConfigurationDef());
        ASSERT_EQ(t.Create(), 0);
        ASSERT_EQ(t.Open(), 0);
        for (auto [name, value] : {std::pair{"SysLock", "1"}, {"SysPwd", "secret"}}) {
            Configuration& CF = t.Rec<Configuration>();
            CF = Configuration();
            CF.DataType = name;
            CF.DataValue = value;
            ASSERT_EQ(t.Add(), 0);
        }
        t.Close();
    });
    const std::string frame = StartKR98();
    ASSERT_FALSE(frame.empty()) << "the frame did not show\n" << kr98_.Said();
    ASSERT_FALSE(WaitForStartupList().empty()) << "the start-up list did not show";
    const QRect area = WorkArea();

    // Nothing saved: over the window the wizard was asked from (the frame,
    // whose shortcut asked for it).
    const QRect frameRect = OuterRect(display(), std::stoul(frame));
    xdo::Keys(frame, {"ctrl+shift+p"});
    QRect box;
    const Window w = Settled("Password Required", box);
    ASSERT_NE(w, 0u) << "no password window\n" << WindowTree(display());
    EXPECT_TRUE(area.contains(box)) << Text(box);
    EXPECT_TRUE(frameRect.contains(box.center())) << Text(box) << " not over the frame at " << Text(frameRect);
    xdo::Keys(std::to_string(w), {"Escape"});
    ASSERT_TRUE(WaitUntil([&] { return FindTitled(display(), "Password Required", kr98_.pid()) == 0; }, 10000));

    // A position saved above and left of the screen, wider than it: moved
    // and cut onto the work area, title bar and all.
    {
        std::ofstream ini(dir_.path() / "POSITION.INI", std::ios::app);
        ini << "[fPasswordValidation]\r\nXPos=-300\r\nYPos=-40\r\nWidth=1500\r\nHeight=120\r\nMaximize=0\r\n";
    }
    xdo::Keys(frame, {"ctrl+shift+p"});
    ASSERT_NE(Settled("Password Required", box), 0u) << "no password window\n" << WindowTree(display());
    EXPECT_TRUE(area.contains(box)) << Text(box);
}

}  // namespace
}  // namespace kr::test
