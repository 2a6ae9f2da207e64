// The re-dating windows over a real data file: the moment the window offers,
// the refusal of a moment in the past, the calendar button, and the progress
// window working through the table and closing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
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

}  // namespace
}  // namespace kr
