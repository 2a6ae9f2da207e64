// The built KR98 under openbox with a tray host and four lists open:
// Window → Tile and Window → Cascade arrange the four lists within the
// screen's work area and leave the tray icon where it is, embedded and
// drawn; minimising the frame into the tray takes the lists along, and a
// double click on the icon brings the frame and the lists back; a new tray
// host after the first one ended gets the icon again. With
// KR_SCREENSHOT_DIR set, the screen after Tile and after Cascade is saved
// there ("tile.png", "cascade.png"). Six lists: Tile keeps every one of
// them, openbox's frame included, inside the work area, and Cascade after
// Tile gives each list its own size back, the size saved for it or the
// size it opened with ("tile6.png", "cascade6.png").
#include <gtest/gtest.h>

#include <QRect>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "../desktop/ProgramDesktop.h"

namespace kr::test {
namespace {

class ArrangeE2ETest : public OpenboxKR98Test {
protected:
    ArrangeE2ETest() : OpenboxKR98Test("kr-e2e-arrange", "UseKRMsg=0\r\n", kDrivenByXdotool | kTrayHost) {}

    // A client window's rectangle with openbox's frame around it; empty
    // until openbox has framed it.
    QRect Outer(Window w) {
        Display* d = display();
        XWindowAttributes a;
        int x = 0, y = 0;
        Window child;
        if (!XGetWindowAttributes(d, w, &a) || !XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child))
            return {};
        const std::vector<long> e = Cardinals(w, "_NET_FRAME_EXTENTS", 4);  // left, right, top, bottom
        if (e.size() != 4) return {};
        return QRect(int(x - e[0]), int(y - e[2]), int(a.width + e[0] + e[1]), int(a.height + e[2] + e[3]));
    }
    std::vector<long> Cardinals(Window w, const char* name, long count) {
        Atom type;
        int format;
        unsigned long n = 0, after;
        unsigned char* data = nullptr;
        std::vector<long> out;
        if (XGetWindowProperty(display(), w, XInternAtom(display(), name, False), 0, count, False, XA_CARDINAL, &type,
                               &format, &n, &after, &data) == Success &&
            data)
            out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + n);
        if (data) XFree(data);
        return out;
    }
    // The desktop's work area: the screen less the tray host's panel.
    QRect WorkArea() {
        const std::vector<long> a = Cardinals(DefaultRootWindow(display()), "_NET_WORKAREA", 4);
        if (a.size() != 4) return {};
        return QRect(int(a[0]), int(a[1]), int(a[2]), int(a[3]));
    }
    // The rectangles of the windows once none has moved for a moment.
    std::vector<QRect> SettledRects(const std::vector<Window>& windows) {
        std::vector<QRect> last, now;
        WaitUntil(
            [&] {
                now.clear();
                for (Window w : windows) now.push_back(Outer(w));
                const bool same = now == last;
                last = now;
                return same;
            },
            10000, 300);
        return last;
    }
    // A client window's own size, without openbox's frame.
    QSize Inner(Window w) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(display(), w, &a)) return {};
        return QSize(a.width, a.height);
    }
    // KR98's window inside the tray host: its icon.
    Window TrayIcon() {
        Window found = 0;
        ForEachWindow(
            display(),
            [&](Window w, bool inside) {
                if (!found && inside && WindowPid(display(), w) == kr98_.pid() && Viewable(display(), w)) found = w;
            },
            tray_->pid());
        return found;
    }
    // The icon is in the tray and drawn: its picture has more than one colour.
    bool IconDrawn(Window icon) {
        XWindowAttributes a;
        if (!icon || !XGetWindowAttributes(display(), icon, &a) || a.width < 4 || a.height < 4) return false;
        XImage* image = XGetImage(display(), icon, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
        if (!image) return false;
        std::set<unsigned long> colours;
        for (int y = 0; y < a.height; y += 2)
            for (int x = 0; x < a.width; x += 2) colours.insert(XGetPixel(image, x, y));
        XDestroyImage(image);
        return colours.size() > 1;
    }
    void Screenshot(const char* name) {
        if (const char* dir = std::getenv("KR_SCREENSHOT_DIR"))
            QProcess::execute("import", {"-window", "root", QString(dir) + "/" + name});
    }
    static std::string Text(const QRect& r) {
        return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
               std::to_string(r.height());
    }
};

TEST_F(ArrangeE2ETest, TileAndCascadeLeaveTheTrayIconAndTheListsGoToTheTrayWithTheFrame) {
    const std::string frameId = StartKR98();
    ASSERT_FALSE(frameId.empty()) << "the frame did not show\n" << kr98_.Said();
    const Window frame = WaitForFrame();
    ASSERT_FALSE(WaitForStartupList().empty()) << "the start-up list did not show";
    xdo::Keys(frameId, {"ctrl+t"});
    ASSERT_FALSE(xdo::WindowNamed("^To Do Items").empty());
    xdo::Keys(frameId, {"ctrl+k"});
    ASSERT_FALSE(xdo::WindowNamed("^Hot Keys").empty());
    xdo::Keys(frameId, {"ctrl+e"});
    ASSERT_FALSE(xdo::WindowNamed("^E-mail Messages").empty());
    std::vector<Window> lists;
    for (const char* title : {"Scheduled Tasks", "To Do Items", "Hot Keys", "E-mail Messages"}) {
        Window w = 0;
        ASSERT_TRUE(WaitUntil([&] { return (w = FindTitled(display(), title, kr98_.pid())) != 0; }, 10000)) << title;
        lists.push_back(w);
    }
    Window icon = 0;
    ASSERT_TRUE(WaitUntil([&] { return (icon = TrayIcon()) != 0 && IconDrawn(icon); }, 10000))
        << "no icon in the tray\n" << WindowTree(display());
    const QRect area = WorkArea();
    ASSERT_FALSE(area.isEmpty());

    // Tile: side by side within the work area, none over another.
    xdo::Keys(frameId, {"alt+w", "i"});
    std::vector<QRect> tiled = SettledRects(lists);
    Screenshot("tile.png");
    for (std::size_t i = 0; i < tiled.size(); ++i) {
        EXPECT_TRUE(area.contains(tiled[i])) << i << ": " << Text(tiled[i]) << " outside " << Text(area);
        for (std::size_t j = i + 1; j < tiled.size(); ++j)
            EXPECT_FALSE(tiled[i].intersects(tiled[j])) << i << " and " << j << " overlap";
    }
    EXPECT_EQ(TrayIcon(), icon) << "the icon left the tray\n" << WindowTree(display());
    EXPECT_TRUE(IconDrawn(icon)) << "the icon is blank after Tile";

    // Cascade: one title bar's step apart, in the order they opened.
    xdo::Keys(frameId, {"alt+w", "c"});
    std::vector<QRect> cascaded = SettledRects(lists);
    Screenshot("cascade.png");
    const QPoint step = cascaded[1].topLeft() - cascaded[0].topLeft();
    EXPECT_GT(step.y(), 10) << Text(cascaded[0]) << " then " << Text(cascaded[1]);
    EXPECT_EQ(step.x(), step.y());
    for (std::size_t i = 0; i < cascaded.size(); ++i) {
        EXPECT_TRUE(area.contains(cascaded[i])) << i << ": " << Text(cascaded[i]) << " outside " << Text(area);
        if (i > 0) { EXPECT_EQ(cascaded[i].topLeft() - cascaded[i - 1].topLeft(), step) << i; }
    }
    EXPECT_EQ(TrayIcon(), icon) << "the icon left the tray\n" << WindowTree(display());
    EXPECT_TRUE(IconDrawn(icon)) << "the icon is blank after Cascade";

    // Minimised, the frame goes into the tray and the lists with it.
    XIconifyWindow(display(), frame, DefaultScreen(display()));
    XSync(display(), False);
    ASSERT_TRUE(WaitUntil([&] { return !Viewable(display(), frame); }, 10000)) << "the frame did not go to the tray";
    EXPECT_TRUE(WaitUntil(
        [&] {
            for (Window w : lists)
                if (Viewable(display(), w)) return false;
            return true;
        },
        10000))
        << "a list stayed on screen\n" << WindowTree(display());

    // A double click on the icon brings them all back.
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(display(), icon, DefaultRootWindow(display()), 5, 5, &x, &y, &child);
    XTestFakeMotionEvent(display(), -1, x, y, 0);
    XSync(display(), False);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int i = 0; i < 2; ++i) {
        XTestFakeButtonEvent(display(), 1, True, 0);
        XTestFakeButtonEvent(display(), 1, False, 0);
        XSync(display(), False);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    ASSERT_TRUE(WaitUntil([&] { return Viewable(display(), frame); }, 10000)) << "the double click did not restore";
    EXPECT_TRUE(WaitUntil(
        [&] {
            for (Window w : lists)
                if (!Viewable(display(), w)) return false;
            return true;
        },
        10000))
        << "a list did not come back\n" << WindowTree(display());

    // The tray host ends and another one starts: the icon comes back in it.
    tray_.reset();
    tray_ = std::make_unique<TrayHost>();
    ASSERT_TRUE(tray_->Start(display())) << "the second tray host did not start";
    EXPECT_TRUE(WaitUntil([&] { return (icon = TrayIcon()) != 0 && IconDrawn(icon); }, 15000))
        << "the icon did not come back\n" << WindowTree(display());
}

TEST_F(ArrangeE2ETest, TileKeepsEveryFrameInsideTheWorkAreaAndCascadeGivesEachListItsOwnSize) {
    // The To Do list opens where it was left, at a size of its own.
    std::ofstream(dir_ / "POSITION.INI") << "[BrowseToDoList]\r\nXPos=300\r\nYPos=200\r\nWidth=700\r\n"
                                            "Height=480\r\nMaximize=0\r\n";
    const std::string frameId = StartKR98();
    ASSERT_FALSE(frameId.empty()) << "the frame did not show\n" << kr98_.Said();
    ASSERT_NE(WaitForFrame(), 0u);
    ASSERT_FALSE(WaitForStartupList().empty()) << "the start-up list did not show";
    const struct {
        QStringList keys;
        const char* title;
    } opened[] = {{{}, "Scheduled Tasks"},          {{"ctrl+t"}, "To Do Items"}, {{"ctrl+k"}, "Hot Keys"},
                  {{"ctrl+e"}, "E-mail Messages"}, {{"ctrl+o"}, "Contacts"},    {{"alt+l", "b"}, "Clipboard Manager"}};
    std::vector<Window> lists;
    std::vector<QSize> own;
    for (const auto& o : opened) {
        if (!o.keys.empty()) xdo::Keys(frameId, o.keys);
        Window w = 0;
        ASSERT_TRUE(WaitUntil([&] { return (w = FindTitled(display(), o.title, kr98_.pid())) != 0; }, 10000))
            << o.title << "\n" << WindowTree(display());
        lists.push_back(w);
        SettledRects({w});
        own.push_back(Inner(w));
    }
    EXPECT_EQ(own[1], QSize(700, 480)) << "the To Do list did not open at its saved size";
    const QRect area = WorkArea();
    ASSERT_FALSE(area.isEmpty());

    xdo::Keys(frameId, {"alt+w", "i"});
    const std::vector<QRect> tiled = SettledRects(lists);
    Screenshot("tile6.png");
    for (std::size_t i = 0; i < tiled.size(); ++i) {
        EXPECT_TRUE(area.contains(tiled[i])) << opened[i].title << ": " << Text(tiled[i]) << " outside " << Text(area);
        for (std::size_t j = i + 1; j < tiled.size(); ++j)
            EXPECT_FALSE(tiled[i].intersects(tiled[j])) << opened[i].title << " and " << opened[j].title << " overlap: "
                                                        << Text(tiled[i]) << " and " << Text(tiled[j]);
    }

    xdo::Keys(frameId, {"alt+w", "c"});
    const std::vector<QRect> cascaded = SettledRects(lists);
    Screenshot("cascade6.png");
    for (std::size_t i = 0; i < cascaded.size(); ++i) {
        EXPECT_TRUE(area.contains(cascaded[i])) << opened[i].title << ": " << Text(cascaded[i]) << " outside "
                                                << Text(area);
        const QSize size = Inner(lists[i]);
        EXPECT_EQ(size, own[i]) << opened[i].title << " is " << size.width() << "x" << size.height() << ", opened "
                                << own[i].width() << "x" << own[i].height();
    }
}

}  // namespace
}  // namespace kr::test
