// The re-dating windows over a real data file: the moment the window offers,
// the refusal of a moment in the past, the calendar button, and the progress
// window working through the table and closing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWidget>
#include <filesystem>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Picture.h"
#include "platform/ui/Requests.h"
#include "scheduler/Reschedule.h"
#include "scheduler/TableScheduleStore.h"
#include "scheduler/windows/RescheduleAllTasks.h"
#include "SchedulerTestSupport.h"
#include "../ui/ProbeWindow.h"
#include "../ui/UiTestSupport.h"
#include "platform/ui/ProcedureThread.h"

namespace kr {
namespace {

using test::WindowTitled;

using test::Custom;
using test::D;
using test::T;

class ReDateWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        data::SetKeyDerivationIterations(64);
        DictionaryInit();
        TableScheduleStore store;
        store.BeginBatch();
        for (int i = 0; i < 450; ++i) {
            Schedule s = Custom(1, "day(s)", D(2024, 6, 1), T(9, 0));
            AddScheduleCopy(store, s);
        }
        store.EndBatch();
    }
    void TearDown() override {
        test::CloseAllWindows();
        SetCalendarPicker({});
        DictionaryKill();
        data::CloseIdleFiles();
        data::SetKeyDerivationIterations(0);
    }
    Schedule Task(int32_t id) {
        TableScheduleStore store;
        Schedule s;
        EXPECT_EQ(store.Fetch(id, s), kNoError);
        return s;
    }
    static std::string DateText(int32_t d) { return Format(Value(d), "@d17"); }
    // The housekeeping window the re-dating is opened from: a procedure
    // thread with a window of its own.
    int StartHost() {
        auto record = std::make_shared<test::ProbeRecord>();
        const int thread = Start("HostProbe", [record] {
            auto* w = new test::ProbeWindow("HostProbe", record);
            w->Open();
        });
        test::Pump();
        return thread;
    }

    // Opens "Re-Date Tasks" from the host, active, the focus in its first
    // entry; `response` gets the outcome.
    QWidget* OpenActive(int& response) {
        {
            ProcedureThreadScope scope(StartHost());
            RescheduleAllTasks_GetDate([&response](int r) { response = r; });
        }
        QWidget* w = nullptr;
        if (!test::WaitFor([&] { return (w = WindowTitled("Re-Date Tasks")) != nullptr; })) return nullptr;
        w->activateWindow();
        if (!QTest::qWaitForWindowActive(w)) return nullptr;
        auto* date = w->findChild<QLineEdit*>("date");
        date->setFocus();
        if (!test::WaitFor([&] { return date->hasFocus(); })) return nullptr;
        return w;
    }
    static void Retype(QLineEdit* e, const std::string& text) {
        QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(e, QString::fromStdString(text));
    }

    test::TempFolder folder_;
    test::ScopedServices services_;  // 1 July 2024, 08:00
};

TEST_F(ReDateWindowTest, RefusesThePastThenReDatesTheTable) {
    int response = 0;
    {
        ProcedureThreadScope scope(StartHost());
        RescheduleAllTasks_GetDate([&](int r) { response = r; });
    }
    QWidget* w = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (w = WindowTitled("Re-Date Tasks")) != nullptr; }));
    auto* date = w->findChild<QLineEdit*>("date");
    auto* time = w->findChild<QLineEdit*>("time");
    auto* ok = w->findChild<QPushButton*>("ok");
    ASSERT_TRUE(date && time && ok);
    // Nothing remembered: today, a minute from now.
    EXPECT_EQ(date->text().toStdString(), DateText(D(2024, 7, 1)));
    EXPECT_EQ(time->text().toStdString(), Format(Value(T(8, 1)), "@t7"));
    EXPECT_FALSE(w->findChild<QPushButton*>("pick")->isEnabled());

    date->setText(QString::fromStdString(DateText(D(2024, 6, 30))));
    date->setModified(true);
    ok->click();
    test::Pump();
    ASSERT_EQ(services_.responder.shown().size(), 1u);
    EXPECT_EQ(services_.responder.shown()[0].request.text, "The date and time entered must be in the future.");
    EXPECT_EQ(services_.responder.shown()[0].request.title, "Error");
    ASSERT_EQ(WindowTitled("Re-Date Tasks"), w);

    date->setText(QString::fromStdString(DateText(D(2024, 7, 2))));
    date->setModified(true);
    ok->click();
    EXPECT_TRUE(test::WaitFor([&] { return response != 0; }, 20000));
    EXPECT_EQ(response, kRequestCompleted);
    EXPECT_EQ(WindowTitled("Progress..."), nullptr);
    EXPECT_EQ(Task(1).Date, D(2024, 7, 2));
    EXPECT_EQ(Task(450).Date, D(2024, 7, 2));
    EXPECT_EQ(Task(450).Time, T(9, 0));
}

TEST_F(ReDateWindowTest, CalendarButtonReplacesTheDate) {
    int32_t askedWith = 0;
    std::string mode, title;
    SetCalendarPicker([&](int32_t start, const std::string& m, const std::string& t,
                          std::function<void(int32_t)> done) {
        askedWith = start;
        mode = m;
        title = t;
        done(D(2024, 8, 15));
    });
    {
        ProcedureThreadScope scope(StartHost());
        RescheduleAllTasks_GetDate();
    }
    QWidget* w = nullptr;
    ASSERT_TRUE(test::WaitFor([&] { return (w = WindowTitled("Re-Date Tasks")) != nullptr; }));
    auto* pick = w->findChild<QPushButton*>("pick");
    ASSERT_TRUE(pick->isEnabled());
    const std::string shown = w->findChild<QLineEdit*>("date")->text().toStdString();
    pick->click();
    test::Pump();
    EXPECT_EQ(DateText(askedWith), shown);
    EXPECT_EQ(mode, "None");
    EXPECT_EQ(title, "Select date");
    EXPECT_EQ(w->findChild<QLineEdit*>("date")->text().toStdString(), DateText(D(2024, 8, 15)));
}

TEST_F(ReDateWindowTest, CancelStopsThePass) {
    int response = 0;
    {
        ProcedureThreadScope scope(StartHost());
        RescheduleAllTasks(D(2024, 7, 2), T(8, 0), [&](int r) { response = r; });
    }
    QWidget* w = WindowTitled("Progress...");
    ASSERT_NE(w, nullptr);
    w->findChild<QPushButton*>("cancel")->click();
    EXPECT_TRUE(test::WaitFor([&] { return response != 0; }));
    EXPECT_EQ(response, kRequestCancelled);
    EXPECT_EQ(Task(450).Date, D(2024, 6, 1));
}

// The window remembers its moment for the rest of the program: these come
// after the tests that start from nothing remembered.
TEST_F(ReDateWindowTest, TypedDateAndTimeCountWhenLeftByTabEnterOrOk) {
    // Tab out of the date, Enter in the time: the daily 09:00 tasks move
    // past 3 July 09:30.
    int response = 0;
    QWidget* w = OpenActive(response);
    ASSERT_NE(w, nullptr);
    auto* date = w->findChild<QLineEdit*>("date");
    auto* time = w->findChild<QLineEdit*>("time");
    Retype(date, DateText(D(2024, 7, 3)));
    QTest::keyClick(date, Qt::Key_Tab);
    ASSERT_FALSE(date->hasFocus());
    time->setFocus();
    ASSERT_TRUE(test::WaitFor([&] { return time->hasFocus(); }));
    Retype(time, Format(Value(T(9, 30)), "@t7"));
    QTest::keyClick(time, Qt::Key_Return);
    ASSERT_TRUE(test::WaitFor([&] { return response != 0; }, 20000)) << services_.responder.shown().size();
    EXPECT_EQ(response, kRequestCompleted);
    EXPECT_EQ(Task(1).Date, D(2024, 7, 4));
    EXPECT_EQ(Task(450).Date, D(2024, 7, 4));
    EXPECT_EQ(Task(450).Time, T(9, 0));

    // A click on OK straight from the typed date; the time entry shows the
    // remembered 09:30, so the tasks move to the next day's 09:00.
    response = 0;
    w = OpenActive(response);
    ASSERT_NE(w, nullptr);
    date = w->findChild<QLineEdit*>("date");
    auto* ok = w->findChild<QPushButton*>("ok");
    Retype(date, DateText(D(2024, 7, 10)));
    bool left = false;
    QObject::connect(qApp, &QApplication::focusChanged, date, [&left, date](QWidget* old, QWidget* now) {
        if (old == date && now) left = true;
    });
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_TRUE(left);  // the click took the focus to OK before OK ran
    ASSERT_TRUE(test::WaitFor([&] { return response != 0; }, 20000));
    EXPECT_EQ(response, kRequestCompleted);
    EXPECT_EQ(Task(1).Date, D(2024, 7, 11));
    EXPECT_EQ(Task(1).Time, T(9, 0));
}

TEST_F(ReDateWindowTest, UntypedTimeKeepsItsHundredths) {
    // Now is 08:00:00.50: the proposed moment, a minute on, shows as 8:01 AM
    // but must not be read back from that text (08:01:00.00 is less than a
    // minute ahead and would be refused). Passing over the entries reads
    // nothing.
    // (A month on, so a moment remembered from an earlier test lies behind.)
    services_.clock.Set(D(2024, 8, 1), T(8, 0) + 50);
    int response = 0;
    QWidget* w = OpenActive(response);
    ASSERT_NE(w, nullptr);
    auto* date = w->findChild<QLineEdit*>("date");
    QTest::keyClick(date, Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_FALSE(date->hasFocus());
    QTest::mouseClick(w->findChild<QPushButton*>("ok"), Qt::LeftButton);
    ASSERT_TRUE(test::WaitFor([&] { return response != 0; }, 20000));
    EXPECT_EQ(response, kRequestCompleted);
    EXPECT_TRUE(services_.responder.shown().empty());
    EXPECT_EQ(Task(1).Date, D(2024, 8, 1));
}

}  // namespace
}  // namespace kr
