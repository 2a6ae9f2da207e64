// The current script viewer over the real run queue worked by the real
// interpreter: the chosen entry is followed as the head moves, Delete takes
// out that entry and no other, and deleting the head makes the next item run
// on the next tick.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include "platform/runtime/Picture.h"
#include "scheduler/RunnerSettings.h"
#include "scheduler/TimerCycle.h"
#include "scheduler/windows/About.h"
#include "scheduler/windows/ViewQueue_Script.h"
#include "tests/script/ScriptTestSupport.h"

namespace kr {
namespace {

bool WaitUntil(const std::function<bool()>& cond, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class ScriptViewerTest : public test::ScriptFixture {
protected:
    void TearDown() override {
        if (window_) window_->Window()->close();
        QApplication::processEvents();
        runner::SetDebug("");
        ScriptQueue().Free();
        test::ScriptFixture::TearDown();
    }
    ViewQueue_ScriptWindow* Open() {
        window_ = ViewQueue_Script();
        return window_.data();
    }
    // The tick on which the head is due: the clock is put on its due moment
    // and moved on by one hundredth, as a timer tick would find it.
    void NextTick() {
        if (auto head = ScriptQueue().First()) clock_.Set(head->Date, head->Time);
        clock_.Advance(1);
        interpreter_.Step();
    }
    QTableWidget* List() const { return window_->Layout().list; }
    std::string Action(int row) const { return List()->item(row, 2)->text().toStdString(); }
    void Choose(int row) { List()->setCurrentCell(row, 0); }
    void Delete() { window_->Layout().remove->click(); }
    QPointer<ViewQueue_ScriptWindow> window_;
};

TEST_F(ScriptViewerTest, DeletingTheHeadMakesTheNextItemRunOnTheNextTick) {
    QueueTask(1, {Set("A", "1"), Set("B", "2"), Set("C", "3")});
    ASSERT_NE(Open(), nullptr);
    ASSERT_EQ(List()->rowCount(), 4);
    EXPECT_EQ(Action(0), "Set Value");
    EXPECT_EQ(Action(3), "**End**");
    EXPECT_EQ(List()->item(0, 0)->text().trimmed(), "1");
    // The details of the chosen (first) entry: date, time, action, description.
    const QString details = window_->Layout().details->toPlainText();
    EXPECT_LE(details.size(), kQueueDetailsLength);
    EXPECT_TRUE(details.contains("Set Value")) << details.toStdString();

    Choose(0);
    Delete();
    EXPECT_EQ(List()->rowCount(), 3);
    EXPECT_TRUE(List()->hasFocus() || !List()->window()->isActiveWindow());
    NextTick();
    EXPECT_EQ(Value("A"), "<unset>");
    EXPECT_EQ(Value("B"), "2");
}

TEST_F(ScriptViewerTest, TheChosenEntryIsFollowedWhileTheQueueMoves) {
    QueueTask(1, {Set("A", "1"), Set("B", "2"), Set("C", "3")});
    ASSERT_NE(Open(), nullptr);
    Choose(2);  // C
    const ScriptQueueEntry chosen = window_->Shown()[2];
    NextTick();  // A runs and leaves the queue
    window_->Redisplay();
    ASSERT_EQ(List()->rowCount(), 3);
    EXPECT_EQ(List()->currentRow(), 1) << "the row moved up with the entry";
    NextTick();  // B runs
    // The list was not redrawn since: the row it shows is stale, the entry is not.
    Delete();
    EXPECT_EQ(ScriptQueue().Count(), 1u);
    EXPECT_EQ(ClipRight(ScriptQueue().First()->Record.Action.str()), "**End**");
    NextTick();
    EXPECT_EQ(Value("C"), "<unset>");
    EXPECT_TRUE(ScriptQueue().Empty());
    // An entry that has gone is not found again.
    EXPECT_FALSE(DeleteQueueEntry(chosen));
}

TEST_F(ScriptViewerTest, EmptyQueueDebugAndTheClock) {
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(List()->rowCount(), 0);
    Delete();
    EXPECT_TRUE(ScriptQueue().Empty());
    EXPECT_FALSE(runner::DebugMode());
    window_->Layout().debug->click();
    EXPECT_TRUE(runner::DebugMode());
    // The time is shown on the window's timer.
    EXPECT_TRUE(WaitUntil([&] { return !window_->Layout().currentTime->text().isEmpty(); }));
}

TEST(AboutTest, ShowsTheBuildAndItsDateInTheShortFormat) {
    SystemFormats previous = CurrentSystemFormats();
    SystemFormats f = previous;
    f.shortDate = "yyyy-MM-dd";
    SetSystemFormats(f);
    QPointer<AboutWindow> w = About();
    ASSERT_TRUE(w);
    EXPECT_EQ(w->Layout().build->text(), "50");
    EXPECT_EQ(w->Layout().buildDate->text(), "1999-10-15");
    EXPECT_EQ(w->Layout().version->text(), QString("Version ") + kProductVersion);
    w->Layout().close->click();
    QApplication::processEvents();
    EXPECT_FALSE(w);
    SetSystemFormats(previous);
}

}  // namespace
}  // namespace kr
