// The message windows on the offscreen platform, over a real data file and
// with the message program absent: the due message in the program's own
// window, Snooze filing the one-off task, To Do, a failed write that keeps
// the window open, the repeating alarm and the topmost modal window.
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "../ui/UiTestSupport.h"
#include "TaskMessageFixture.h"
#include "scheduler/windows/TaskMessageWindow.h"

namespace kr::test {
namespace {

class TaskMessageWindowTest : public TaskMessageTest {
protected:
    void SetUp() override {
        TaskMessageTest::SetUp();
        InstallMessageWindows();
    }
    void TearDown() override {
        CloseAllWindows();
        WaitFor([] { return MessageThreadCount().load() == 0; }, 2000);
        TaskMessageTest::TearDown();
    }
    // The open message window (the one with a Snooze button), or nullptr.
    static QWidget* MessageWindow() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                for (QPushButton* b : w->findChildren<QPushButton*>())
                    if (b->text() == "&Snooze") return w;
        return nullptr;
    }
    static QPushButton* Button(QWidget* w, const char* text) {
        for (QPushButton* b : w->findChildren<QPushButton*>())
            if (b->text() == text) return b;
        return nullptr;
    }
};

TEST_F(TaskMessageWindowTest, DueMessageShowsHereAndSnoozeFilesTheOneOffTask) {
    ShowTaskMessage_Display(MessageTask("Stand up", "Stretch your legs", "bell.wav"));
    ASSERT_TRUE(WaitFor([] { return MessageWindow() != nullptr; }));
    QWidget* w = MessageWindow();
    EXPECT_EQ(MsgLinks().size(), 2u);
    EXPECT_EQ(MessageThreadCount().load(), 1);
    EXPECT_EQ(w->findChild<QLabel*>()->text(), "Stand up");
    EXPECT_EQ(w->findChild<QPlainTextEdit*>()->toPlainText(), "Stretch your legs");
    // Without a mail account too: the e-mail window says what is missing.
    EXPECT_TRUE(Button(w, "&Email")->isEnabled());

    Button(w, "&Snooze")->click();
    ASSERT_TRUE(WaitFor([] { return MessageWindow() == nullptr && MessageThreadCount().load() == 0; }));
    const std::vector<Schedule> tasks = Tasks();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].Category, "Snooze");
    EXPECT_EQ(tasks[0].ScheduleType, "Once");
    EXPECT_EQ(tasks[0].Description, "Stand up");
    EXPECT_EQ(tasks[0].Time, MakeTime(9, 40));
    EXPECT_EQ(tasks[0].AlarmFile, "bell.wav");
    EXPECT_TRUE(responder_.shown().empty());
}

TEST_F(TaskMessageWindowTest, ToDoKeepsTheWindowAndAFailedSnoozeKeepsTheMessage) {
    Options().UseExternalMessage = 0;
    ShowTaskMessage_Display(MessageTask("Invoice", "Pay it"));
    ASSERT_TRUE(WaitFor([] { return MessageWindow() != nullptr; }));
    QWidget* w = MessageWindow();
    Button(w, "&To Do")->click();
    ASSERT_TRUE(WaitFor([this] { return responder_.shown().size() == 2; }));
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Saved", "Status"}));
    ASSERT_EQ(Todos().size(), 1u);
    EXPECT_EQ(Todos()[0].ToDo, "Invoice");
    EXPECT_EQ(MessageWindow(), w);

    DictionaryKill();
    data::CloseIdleFiles();
    BreakDataFileWrites();
    DictionaryInit();
    Button(w, "&Snooze")->click();
    ASSERT_TRUE(WaitFor([this] {
        for (const auto& s : responder_.shown())
            if (s.request.title == "Snooze") return true;
        return false;
    }));
    Pump(100);
    EXPECT_EQ(MessageWindow(), w);
    EXPECT_EQ(MessageThreadCount().load(), 1);
    EXPECT_EQ(w->findChild<QPlainTextEdit*>()->toPlainText(), "Pay it");
}

TEST_F(TaskMessageWindowTest, AlarmRepeatsUntilTheMaximumTime) {
    Options().UseExternalMessage = 0;
    Options().RepeatAlarmInterval = 1;
    Options().MaxAlarmTime = 1;
    ShowTaskMessage_Display(MessageTask("Alarm", "wake", "bell.wav"));
    ASSERT_TRUE(WaitFor([] { return MessageWindow() != nullptr; }));
    EXPECT_TRUE(sound_.played().empty());  // the first sound is the task run's
    clock_.Advance(200);
    ASSERT_TRUE(WaitFor([this] { return sound_.played().size() == 1; }));
    EXPECT_EQ(sound_.played()[0], "bell.wav");
    clock_.Advance(2 * 6000);  // past the replay end
    Pump(1300);
    clock_.Advance(200);
    Pump(1300);
    EXPECT_EQ(sound_.played().size(), 1u);
}

TEST_F(TaskMessageWindowTest, ModalMessageIsTopmostOnTheCallingThread) {
    Options().UseExternalMessage = 0;
    Options().UseModalMessage = 1;
    ShowTaskMessage_Display(MessageTask("Top", "most"));
    ASSERT_TRUE(WaitFor([] { return MessageWindow() != nullptr; }));
    EXPECT_TRUE(MessageWindow()->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(MessageThreadCount().load(), 0);
    EXPECT_TRUE(MsgLinks().empty());
    Button(MessageWindow(), "Cl&ose")->click();
    EXPECT_TRUE(WaitFor([] { return MessageWindow() == nullptr; }));
}

}  // namespace
}  // namespace kr::test
