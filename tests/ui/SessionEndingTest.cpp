// The end of the session inside one program: a question open over a
// progress window is answered with its Cancel first, then the work is
// cancelled as its Cancel button cancels it, no box opens from then on, and
// the program's end action runs only once nothing modal is left.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include "UiTestSupport.h"
#include "platform/ui/ProcessWindow.h"
#include "platform/ui/Requests.h"
#include "platform/ui/SessionEnding.h"

namespace kr {
namespace {

MessageRequest Box(const std::string& text, MessageIcon icon, int buttons, int defaultButton = 0) {
    MessageRequest r;
    r.text = text;
    r.title = "Backup";
    r.icon = icon;
    r.buttons = buttons;
    r.defaultButton = defaultButton;
    return r;
}

TEST(SessionEndingTest, BoxesAreAnsweredWithTheirCancelAndTheWorkIsCancelledBeforeTheEnd) {
    WatchSessionEnding();
    bool workRan = false;
    auto p = std::make_shared<RecordProcess>(1000000, [&]() -> RecordStep {
        workRan = true;
        return RecordStep::Done();
    });
    p->SetBatchSize(1);
    int response = 0;
    ASSERT_TRUE(RunProcessWindow(p, {}, [&](int r) { response = r; }));
    ASSERT_TRUE(test::WaitFor([&] { return workRan; }));
    bool ended = false;
    bool workStoppedFirst = false;
    SetSessionEndAction([&] {
        ended = true;
        workStoppedFirst = !p->Running() && !test::WindowTitled("Processing Records");
    });

    // The question is open (its own loop runs) when the ending begins.
    QTimer::singleShot(200, [] { BeginSessionEnding(); });
    EXPECT_EQ(Messages().Show(Box("Replace the archive?", MessageIcon::Question, kButtonYes | kButtonNo | kButtonCancel,
                                  kButtonYes)),
              kButtonCancel);
    EXPECT_TRUE(SessionEnding());

    // From now on no box opens: each gets its Cancel's answer at once.
    const uint64_t shown = MessagesShown();
    EXPECT_EQ(Messages().Show(Box("Disk error", MessageIcon::Hand, kButtonAbort | kButtonRetry | kButtonIgnore)),
              kButtonAbort);
    EXPECT_EQ(Messages().Show(Box("Keep it?", MessageIcon::Question, kButtonYes | kButtonNo, kButtonYes)),
              kButtonNo);
    EXPECT_EQ(Messages().Show(Box("Done.", MessageIcon::None, kButtonOk)), kButtonOk);
    EXPECT_FALSE(Messages().ChooseFolder("Select data directory", "/tmp"));
    EXPECT_EQ(MessagesShown(), shown);

    ASSERT_TRUE(test::WaitFor([&] { return ended; }));
    EXPECT_EQ(response, kRequestCancelled);
    EXPECT_EQ(p->state(), ProcessState::Cancelled);
    EXPECT_TRUE(workStoppedFirst);

    StopWatchingSessionEnding();
    EXPECT_FALSE(SessionEnding());
}

}  // namespace
}  // namespace kr
