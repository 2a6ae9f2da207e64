// The Housekeeping window offscreen: a wrong system password closes it before
// anything is done; with the question answered Yes a removal reports its
// result, and closing tells the schedule lists to refresh; both tabs show.
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "../startup/StartupFixture.h"
#include "dictionary/windows/Housekeeping.h"

namespace kr::test {
namespace {

class HousekeepingWindowTest : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        HousekeepingServices s;
        s.notifyScheduleLists = [this] { ++notified_; };
        SetHousekeepingServices(s);
        ASSERT_EQ(Schedule_File().Open(), data::kLevelBenign);
        ASSERT_EQ(Schedule_File().UseFile(), data::kLevelBenign);
        for (int32_t id : {1, 2}) {
            data::Table& t = Schedule_File().File();
            t.Clear();
            t.Rec<Schedule>().ID = id;
            t.Rec<Schedule>().Disabled = id == 1;
            ASSERT_EQ(t.Add(), 0);
        }
    }
    void TearDown() override {
        SetHousekeepingServices({});
        Schedule_File().Close();
        StartupTest::TearDown();
    }
    // Types a password into the next "Password Required" window and presses OK.
    void AnswerPassword(const QString& text) {
        QTimer::singleShot(0, [this, text] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d) {
                AnswerPassword(text);
                return;
            }
            d->findChild<QLineEdit*>("password")->setText(text);
            d->findChild<QPushButton*>("ok")->click();
        });
    }
    int notified_ = 0;
};

TEST_F(HousekeepingWindowTest, WrongPasswordClosesTheWindowBeforeAnyAction) {
    Options().SysLock = 1;
    Options().SysPwd = "secret";
    AnswerPassword("guess");
    EXPECT_EQ(Housekeeping(), nullptr);
    QApplication::processEvents();
    EXPECT_EQ(Titles(), std::vector<std::string>{"Access Denied"});
    EXPECT_EQ(Schedule_File().File().Records(), 2);
}

TEST_F(HousekeepingWindowTest, RemovalReportsAndClosingRefreshesTheLists) {
    QPointer<HousekeepingWindow> w = Housekeeping();
    ASSERT_TRUE(w);
    // Both tabs are in view, none behind scroll arrows.
    QApplication::processEvents();
    QTabBar* tabs = w->Layout().sheet->tabBar();
    EXPECT_LE(tabs->tabRect(1).right(), tabs->width());
    responder_.Answer(kButtonYes);
    w->Layout().clearDisabled->click();
    ASSERT_EQ(responder_.shown().size(), 2u);
    EXPECT_EQ(responder_.shown()[0].request.text, "Remove disabled tasks?");
    EXPECT_EQ(responder_.shown()[1].request.text, "Disabled tasks removed.");
    EXPECT_EQ(Schedule_File().File().Records(), 1);

    // No: nothing happens and nothing is reported.
    responder_.clear();
    responder_.Answer(kButtonNo);
    w->Layout().resetWindows->click();
    EXPECT_EQ(responder_.shown().size(), 1u);

    EXPECT_EQ(notified_, 0);
    w->Layout().close->click();
    QApplication::processEvents();
    EXPECT_FALSE(w);
    EXPECT_EQ(notified_, 1);
}

TEST_F(HousekeepingWindowTest, OpenedAgainRightAfterClosingItStaysAndWorks) {
    // The closed window is deleted only once the event loop gets to it; the
    // one opened meanwhile must not go along with it.
    QPointer<HousekeepingWindow> first = Housekeeping();
    ASSERT_TRUE(first);
    first->Layout().close->click();
    QPointer<HousekeepingWindow> second = Housekeeping();
    ASSERT_TRUE(second);
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(first);
    ASSERT_TRUE(second) << "the window opened again went with the closed one";
    EXPECT_TRUE(second->Window()->isVisible());
    responder_.Answer(kButtonYes);
    second->Layout().clearDisabled->click();
    EXPECT_EQ(Schedule_File().File().Records(), 1);
    second->Layout().close->click();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(second);
    EXPECT_EQ(notified_, 2);
}

}  // namespace
}  // namespace kr::test
