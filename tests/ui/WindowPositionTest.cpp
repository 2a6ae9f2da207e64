// Window positions saved into and restored from POSITION.INI in the current folder.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ProbeWindow.h"
#include "UiTestSupport.h"
#include "platform/runtime/IniFile.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/WindowPosition.h"

namespace kr {
namespace {

using test::ProbeRecord;
using test::ProbeWindow;
using test::WaitFor;

class WindowPositionTest : public ::testing::Test {
protected:
    void TearDown() override { test::CloseAllWindows(); }

    std::string IniText() {
        std::ifstream in(folder.path() + "/POSITION.INI");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    test::TempFolder folder;
};

TEST_F(WindowPositionTest, AClosedWindowOpensWhereItWasLeft) {
    ProbeWindow* w = test::OpenPositionedProbe("UpdateSchedule");
    ASSERT_TRUE(w);
    QRect want(40, 50, 320, 240);
    w->Window()->setGeometry(want);
    w->Window()->close();
    test::Pump();
    std::string ini = IniText();
    EXPECT_NE(ini.find("[UpdateSchedule]"), std::string::npos) << ini;
    EXPECT_EQ(GetIniValue(".\\POSITION.INI", "updateschedule", "XPos"), "40");
    EXPECT_EQ(GetIniValue(".\\POSITION.INI", "UpdateSchedule", "Width"), "320");
    EXPECT_EQ(GetIniValue(".\\POSITION.INI", "UpdateSchedule", "Maximize"), "0");

    ProbeWindow* again = test::OpenPositionedProbe("UpdateSchedule");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Window()->geometry(), want);
    EXPECT_TRUE(RestoreWindowPosition("UpdateSchedule", again->Window()));
    EXPECT_FALSE(RestoreWindowPosition("NeverSaved", again->Window()));
}

TEST_F(WindowPositionTest, MinimisedOrHiddenWindowsKeepTheirSavedPosition) {
    ProbeWindow* w = test::OpenPositionedProbe("Calendar");
    ASSERT_TRUE(w);
    w->Window()->setGeometry(10, 20, 300, 200);
    SaveWindowPosition("Calendar", w->Window());
    w->Window()->setGeometry(100, 120, 300, 200);
    w->Window()->showMinimized();
    EXPECT_TRUE(WaitFor([&] { return w->Window()->isMinimized(); }));
    SaveWindowPosition("Calendar", w->Window());
    w->Window()->hide();
    SaveWindowPosition("Calendar", w->Window());
    EXPECT_EQ(GetIniValue(".\\POSITION.INI", "Calendar", "XPos"), "10");
    EXPECT_EQ(GetIniValue(".\\POSITION.INI", "Calendar", "YPos"), "20");
}

TEST_F(WindowPositionTest, APositionOffEveryScreenIsBroughtBack) {
    PutIniValue(".\\POSITION.INI", "BrowseSchedule", "XPos", "-5000");
    PutIniValue(".\\POSITION.INI", "BrowseSchedule", "YPos", "90000");
    PutIniValue(".\\POSITION.INI", "BrowseSchedule", "Width", "400");
    PutIniValue(".\\POSITION.INI", "BrowseSchedule", "Height", "300");
    ProbeWindow* w = test::OpenPositionedProbe("BrowseSchedule");
    ASSERT_TRUE(w);
    QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    QRect g = w->Window()->geometry();
    EXPECT_TRUE(avail.contains(g)) << g.x() << "," << g.y();
    EXPECT_EQ(g.size(), QSize(400, 300));
}

TEST_F(WindowPositionTest, ASizeBeyondEveryScreenIsNotSaved) {
    ProbeWindow* w = test::OpenPositionedProbe("UpdateSchedule");
    ASSERT_TRUE(w);
    w->Window()->setGeometry(QRect(10, 10, 16000000, 16000000));
    w->Window()->close();
    test::Pump();
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::stoll(GetIniValue(".\\POSITION.INI", "UpdateSchedule", "Width", "0")), avail.width());
    EXPECT_LE(std::stoll(GetIniValue(".\\POSITION.INI", "UpdateSchedule", "Height", "0")), avail.height());
    EXPECT_GT(std::stoll(GetIniValue(".\\POSITION.INI", "UpdateSchedule", "Width", "0")), 0);
}

TEST_F(WindowPositionTest, AMaximisedWindowKeepsItsNormalSizeAndOpensMaximised) {
    ProbeWindow* w = test::OpenPositionedProbe("Main");
    ASSERT_TRUE(w);
    w->Window()->setGeometry(30, 40, 350, 260);
    w->Window()->showMaximized();
    EXPECT_TRUE(WaitFor([&] { return w->Window()->isMaximized(); }));
    w->Window()->close();
    test::Pump();
    EXPECT_EQ(GetIniValue(".\\POSITION.INI", "Main", "Maximize"), "1");
    EXPECT_EQ(GetIniValue(".\\POSITION.INI", "Main", "Width"), "350");
    ProbeWindow* again = test::OpenPositionedProbe("Main");
    ASSERT_TRUE(again);
    EXPECT_TRUE(WaitFor([&] { return again->Window()->isMaximized(); }));
}

TEST_F(WindowPositionTest, AWindowOpenedTheFirstTimeGoesOverTheWindowItWasOpenedFrom) {
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget anchor;
    anchor.setGeometry(avail.x() + 40, avail.y() + 30, 300, 200);
    anchor.show();
    anchor.activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == &anchor; }));

    ProbeWindow* w = test::OpenPositionedProbe("NeverSavedBefore");
    ASSERT_TRUE(w);
    QRect g = w->Window()->geometry();
    EXPECT_TRUE(avail.contains(g)) << g.x() << "," << g.y() << " " << g.width() << "x" << g.height();
    // Centred over the anchor, apart from what the screen's edge moves.
    if (g.width() <= anchor.width() && g.height() <= anchor.height()) {
        EXPECT_LE((g.center() - anchor.geometry().center()).manhattanLength(), 4);
    }

    // A window as large as the screen, opened from a window in its corner,
    // stays on the screen rather than spilling off it.
    w->Window()->close();
    test::Pump();
    std::filesystem::remove(folder.path() + "/POSITION.INI");
    struct BigWindow : ProbeWindow {
        using ProbeWindow::ProbeWindow;
        QSize want;
        QWidget* MakeWindow() override {
            QWidget* window = ProbeWindow::MakeWindow();
            window->resize(want);
            return window;
        }
    };
    anchor.move(avail.topLeft());
    test::Pump();
    BigWindow* big = nullptr;
    Start("Big", [&] {
        big = new BigWindow("Big", std::make_shared<ProbeRecord>());
        big->want = QSize(avail.width() - 10, avail.height() - 10);
        big->SetRestorePosition(true);
        big->Open();
    });
    ASSERT_TRUE(big);
    g = big->Window()->frameGeometry();
    EXPECT_TRUE(avail.contains(g)) << g.x() << "," << g.y() << " " << g.width() << "x" << g.height();
}

}  // namespace
}  // namespace kr
