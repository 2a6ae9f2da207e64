// The built KR98 under openbox, driven as a user drives it (xdotool): the
// popup of the schedule list's Category column, Output, "Graph on ..." opens
// the maximised graph window and its counting window goes; "&To Clipboard"
// puts the graph on the clipboard as an image, read back here through Qt's
// clipboard; Esc closes the graph and the list answers again.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <filesystem>
#include <string>

// The dictionary before the X11 headers, whose macros (None) clash with it.
#include "../desktop/KR98DataFile.h"
#include "../desktop/ProgramDesktop.h"

namespace kr::test {
namespace {

class GraphE2ETest : public OpenboxKR98Test {
protected:
    // The whole schedule shows at start-up.
    GraphE2ETest() : OpenboxKR98Test("kr-e2e-graph", "UseKRMsg=0\r\nFullSchedule=1\r\n") {}

    // The clipboard's image as another program offers it (null when none).
    static QImage ClipboardImage() {
        QCoreApplication::processEvents();
        return QGuiApplication::clipboard()->image();
    }
    // The popup of the first row's Category cell, from a right click on it.
    bool OpenPopup(const std::string& list) {
        xdo::Activate(list);
        xdo::Run({"mousemove", "--window", QString::fromStdString(list), "254", "116", "click", "3"});
        return WaitUntil([&] { return PopupCount(display(), kr98_.pid()) > 0; }, 10000);
    }
};

TEST_F(GraphE2ETest, GraphOnAColumnGoesToTheClipboardAsAnImageAndEscCloses) {
    // Tasks in two categories.
    ASSERT_NO_FATAL_FAILURE(
        WriteTasks(dir_.path(), {{"Task 1", "Home"}, {"Task 2", "Work"}, {"Task 3", "Work"}, {"Task 4", "Work"}}));
    const std::string frame = StartKR98();
    ASSERT_FALSE(frame.empty()) << "the frame did not show\n" << kr98_.Said();
    const std::string list = xdo::WindowNamed("^Scheduled Tasks$");
    ASSERT_FALSE(list.empty()) << "the schedule list did not open; windows:\n" << xdo::VisibleTitles();
    ASSERT_TRUE(ClipboardImage().isNull()) << "the clipboard held an image before";

    // Output (its mnemonic opens it on its first item), the fifth item.
    ASSERT_TRUE(OpenPopup(list)) << "the popup did not show";
    xdo::Run({"key", "--clearmodifiers", "o"});
    ASSERT_TRUE(WaitUntil([&] { return PopupCount(display(), kr98_.pid()) > 1; }, 10000)) << "Output did not open";
    for (const char* key : {"Down", "Down", "Down", "Down", "Return"}) xdo::Run({"key", "--clearmodifiers", key});
    const std::string graph = xdo::WindowNamed("^Graph$");
    ASSERT_FALSE(graph.empty()) << "the graph did not open; windows:\n" << xdo::VisibleTitles() << kr98_.Asked();
    // The counting's window has gone with the counting.
    EXPECT_TRUE(xdo::WaitGone("^(Progress|Record=)")) << "the progress window stayed; windows:\n"
                                                     << xdo::VisibleTitles();

    // The window manager maximises the window after it has shown: the
    // graph goes to the clipboard at the size it is drawn at then.
    const auto widthOf = [&] {
        const std::string g = xdo::Run({"getwindowgeometry", "--shell", QString::fromStdString(graph)});
        int w = 0;
        const auto at = g.find("WIDTH=");
        if (at != std::string::npos) std::sscanf(g.c_str() + at, "WIDTH=%d", &w);
        return w;
    };
    EXPECT_TRUE(WaitUntil([&] { return widthOf() > 640; }, 10000)) << "the graph was not maximised";
    xdo::Keys(graph, {"alt+t"});  // &To Clipboard
    QImage image;
    ASSERT_TRUE(WaitUntil([&] { return !(image = ClipboardImage()).isNull(); }, 10000))
        << "no image on the clipboard";
    // The graph and its headings fill the maximised window but for its
    // margins and the row of buttons below them.
    const std::string geometry = xdo::Run({"getwindowgeometry", "--shell", QString::fromStdString(graph)});
    int width = 0, height = 0;
    std::sscanf(geometry.substr(geometry.find("WIDTH=")).c_str(), "WIDTH=%d", &width);
    std::sscanf(geometry.substr(geometry.find("HEIGHT=")).c_str(), "HEIGHT=%d", &height);
    EXPECT_GT(width, 640) << geometry;  // maximised on a 1280-pixel screen
    EXPECT_LE(image.width(), width);
    EXPECT_GE(image.width(), width - 40) << geometry;
    EXPECT_LE(image.height(), height - 20) << geometry;
    EXPECT_GE(image.height(), height - 150) << geometry;
    // The bars are drawn in it: the first in maroon, the second in olive.
    int maroon = 0, olive = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4) {
            const QColor c = image.pixelColor(x, y);
            maroon += c == QColor(0x80, 0, 0);
            olive += c == QColor(0x80, 0x80, 0);
        }
    EXPECT_GT(maroon, 500);
    EXPECT_GT(olive, 500);

    // Esc closes the graph; the list answers a right click again.
    xdo::Keys(graph, {"Escape"});
    ASSERT_TRUE(xdo::WaitGone("^Graph$")) << "Esc left the graph open";
    EXPECT_TRUE(OpenPopup(list)) << "the list did not answer after the graph; windows:\n" << xdo::VisibleTitles();
    xdo::Run({"key", "--clearmodifiers", "Escape"});
}

}  // namespace
}  // namespace kr::test
