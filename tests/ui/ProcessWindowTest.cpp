// The progress window over 10,000 records: the percentage line, a failed
// record listed while the work goes on, the window held open to read it, and
// Cancel ending the work part-way; batches back to back without the timer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "UiTestSupport.h"
#include "platform/ui/ProcessWindow.h"
#include "platform/ui/Requests.h"

namespace kr {
namespace {

using test::WindowTitled;

class ProcessWindowTest : public ::testing::Test {
protected:
    void TearDown() override { test::CloseAllWindows(); }
    test::TempFolder folder_;
};

TEST_F(ProcessWindowTest, FailedRecordIsListedWhileTheWorkGoesOn) {
    constexpr int kRecords = 10000;
    int next = 0;
    QWidget* w = nullptr;
    int listedAt5000 = -1;
    auto p = std::make_shared<RecordProcess>(kRecords, [&]() -> RecordStep {
        if (next >= kRecords) return RecordStep::End();
        ++next;
        if (next == 5000 && w) listedAt5000 = w->findChild<QListWidget*>("errors")->count();
        if (next == 120) return RecordStep::Error("Task 120 could not be copied");
        return RecordStep::Done();
    });
    p->SetBatchSize(25);
    int response = 0;
    ASSERT_TRUE(RunProcessWindow(p, {}, [&](int r) { response = r; }));
    w = WindowTitled("Processing Records");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->findChild<QLabel*>("percent")->text(), "0% Completed");
    EXPECT_FALSE(w->findChild<QListWidget*>("errors")->isVisible());

    ASSERT_TRUE(test::WaitFor([&] { return !p->Running(); }, 60000));
    EXPECT_EQ(p->state(), ProcessState::Finished);
    EXPECT_EQ(next, kRecords);
    EXPECT_EQ(listedAt5000, 1);
    // Held open with the list until the user closes it.
    test::Pump();
    ASSERT_EQ(WindowTitled("Processing Records"), w);
    auto* list = w->findChild<QListWidget*>("errors");
    EXPECT_TRUE(list->isVisible());
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "Task 120 could not be copied");
    EXPECT_EQ(w->findChild<QLabel*>("percent")->text(), "100% Completed");
    EXPECT_EQ(w->findChild<QLabel*>("userText")->text(), "1 record could not be processed.");
    auto* close = w->findChild<QPushButton*>("cancel");
    EXPECT_EQ(close->text(), "Cl&ose");
    EXPECT_EQ(response, 0);
    close->click();
    ASSERT_TRUE(test::WaitFor([&] { return response != 0; }));
    EXPECT_EQ(response, kRequestCompleted);
    EXPECT_EQ(WindowTitled("Processing Records"), nullptr);
}

TEST_F(ProcessWindowTest, CancelEndsTheWorkPartWay) {
    constexpr int kRecords = 10000;
    int next = 0;
    auto p = std::make_shared<RecordProcess>(kRecords, [&]() -> RecordStep {
        if (next >= kRecords) return RecordStep::End();
        ++next;
        return RecordStep::Done();
    });
    p->SetBatchSize(25);
    ProcessWindowOptions o;
    o.title = "Copying Templates";
    o.userText = "Template: Morning";
    int response = 0;
    ASSERT_TRUE(RunProcessWindow(p, o, [&](int r) { response = r; }));
    QWidget* w = WindowTitled("Copying Templates");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->findChild<QLabel*>("userText")->text(), "Template: Morning");
    ASSERT_TRUE(test::WaitFor([&] { return next >= 100; }));
    w->findChild<QPushButton*>("cancel")->click();
    ASSERT_TRUE(test::WaitFor([&] { return response != 0; }));
    EXPECT_EQ(response, kRequestCancelled);
    EXPECT_EQ(p->state(), ProcessState::Cancelled);
    EXPECT_LT(next, kRecords);
    EXPECT_EQ(next, p->done());
    EXPECT_EQ(WindowTitled("Copying Templates"), nullptr);
}

TEST_F(ProcessWindowTest, CloseBoxAsksTheProcessLikeCancel) {
    // A process that refuses the first cancel (as one that asks "Are you
    // sure?" and hears No) keeps going; the second one stops it.
    struct Asking : RecordProcess {
        using RecordProcess::RecordProcess;
        int asked = 0;
        void RequestCancel() override {
            if (++asked > 1) Cancel();
        }
    };
    int next = 0;
    auto p = std::make_shared<Asking>(0, [&]() -> RecordStep {
        ++next;
        return RecordStep::Done();  // endless until cancelled
    });
    int response = 0;
    ASSERT_TRUE(RunProcessWindow(p, {}, [&](int r) { response = r; }));
    QWidget* w = WindowTitled("Processing Records");
    ASSERT_NE(w, nullptr);
    w->close();
    const int at = next;
    ASSERT_TRUE(test::WaitFor([&] { return next > at + 100; }));
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(p->asked, 1);
    w->close();
    ASSERT_TRUE(test::WaitFor([&] { return response != 0; }));
    EXPECT_EQ(response, kRequestCancelled);
}

TEST_F(ProcessWindowTest, BackToBackBatchesNeedNoTimerTurnTheLoopAndAnswerCancel) {
    // The window's timer would first fire in a minute: every batch comes
    // from the one before, with the events that came meanwhile handled.
    int next = 0, batches = 0, queuedRanAt = -1;
    auto p = std::make_shared<RecordProcess>(0, [&]() -> RecordStep {
        ++next;
        return RecordStep::Done();  // endless until cancelled
    });
    p->SetBatchSize(10);
    p->endBatch = [&] {
        if (++batches == 3) QTimer::singleShot(0, [&] { queuedRanAt = batches; });
    };
    ProcessWindowOptions o;
    o.intervalHundredths = 6000;
    o.backToBack = true;
    int response = 0;
    ASSERT_TRUE(RunProcessWindow(p, o, [&](int r) { response = r; }));
    QWidget* w = WindowTitled("Processing Records");
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(test::WaitFor([&] { return batches >= 20; }, 30000));
    ASSERT_NE(queuedRanAt, -1);
    EXPECT_LE(queuedRanAt, 5) << "a queued call waited for batches to stop";
    w->findChild<QPushButton*>("cancel")->click();
    ASSERT_TRUE(test::WaitFor([&] { return response != 0; }, 30000));
    EXPECT_EQ(response, kRequestCancelled);
    EXPECT_EQ(p->state(), ProcessState::Cancelled);
    EXPECT_EQ(next, p->done());
}

}  // namespace
}  // namespace kr
