// The system password window: no question while unlocked, the password
// matched without regard to case, a blank password, a wrong one refused with
// "Access Denied", the session unlock kept until the frame clears it, and
// the window placed over the window it was asked from.
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "StartupFixture.h"
#include "dictionary/windows/fPasswordValidation.h"
#include "platform/runtime/SessionUnlock.h"
#include "platform/ui/ProcedureThread.h"

namespace kr::test {
namespace {

class PasswordTest : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        setSessionUnlocked(false);
    }
    void TearDown() override {
        setSessionUnlocked(false);
        StartupTest::TearDown();
    }
    // Answers the next "Password Required" window: types the text, ticks the
    // box when asked, and presses OK (or Cancel).
    void AnswerNext(const QString& text, bool unlock, bool ok = true) {
        QTimer::singleShot(0, [this, text, unlock, ok] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d) {
                // Not up yet: try again once the window is shown.
                AnswerNext(text, unlock, ok);
                return;
            }
            ++asked_;
            title_ = d->windowTitle();
            shownAt_ = d->frameGeometry();
            d->findChild<QLineEdit*>("password")->setText(text);
            d->findChild<QCheckBox*>("unlock")->setChecked(unlock);
            d->findChild<QPushButton*>(ok ? "ok" : "cancel")->click();
        });
    }
    void Lock(const char* password) {
        Options().SysLock = 1;
        Options().SysPwd = password;
    }
    int asked_ = 0;
    QString title_;
    QRect shownAt_;
};

TEST_F(PasswordTest, UnlockedSystemPassesWithoutAWindow) {
    Options().SysPwd = "secret";
    EXPECT_EQ(fPasswordValidation(), 1);
    Lock("secret");
    setSessionUnlocked(true);
    EXPECT_EQ(fPasswordValidation(), 1);
    EXPECT_EQ(asked_, 0);
}

TEST_F(PasswordTest, PasswordMatchesWithoutRegardToCase) {
    Lock("Secret");
    AnswerNext("sECRET", false);
    EXPECT_EQ(fPasswordValidation(), 1);
    EXPECT_EQ(title_, "Password Required");
    EXPECT_TRUE(responder_.shown().empty());
    // Without the tick the next guarded action asks again.
    EXPECT_FALSE(sessionUnlocked());
    AnswerNext("secret  ", false);  // trailing blanks do not count
    EXPECT_EQ(fPasswordValidation(), 1);
    EXPECT_EQ(asked_, 2);
    AnswerNext(" secret", false);
    EXPECT_EQ(fPasswordValidation(), 0);
}

TEST_F(PasswordTest, WrongPasswordOrCancelStopsTheCaller) {
    Lock("secret");
    AnswerNext("secrets", true);
    EXPECT_EQ(fPasswordValidation(), 0);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "Access Denied");
    EXPECT_EQ(responder_.shown()[0].request.text, "The password you have entered is incorrect.");
    EXPECT_FALSE(sessionUnlocked()) << "a wrong password never unlocks";
    AnswerNext("secret", true, false);
    EXPECT_EQ(fPasswordValidation(), 0);
    EXPECT_FALSE(sessionUnlocked());
}

TEST_F(PasswordTest, BlankPasswordTakesABlankEntry) {
    Lock("");
    AnswerNext("", false);
    EXPECT_EQ(fPasswordValidation(), 1);
    AnswerNext("x", false);
    EXPECT_EQ(fPasswordValidation(), 0);
}

TEST_F(PasswordTest, TickUnlocksUntilTheFrameClearsIt) {
    Lock("secret");
    AnswerNext("SECRET", true);
    EXPECT_EQ(fPasswordValidation(), 1);
    EXPECT_TRUE(sessionUnlocked());
    EXPECT_EQ(fPasswordValidation(), 1);
    EXPECT_EQ(asked_, 1);
    // What the frame does when it is minimised or hidden.
    setSessionUnlocked(false);
    AnswerNext("secret", false);
    EXPECT_EQ(fPasswordValidation(), 1);
    EXPECT_EQ(asked_, 2);
}

// Asked by a window still being built (a wizard checks the password before
// it opens: its window is attached to its thread but not shown), the window
// opens over the window the user asked from, not over the placeholder
// geometry of the one being built.
TEST_F(PasswordTest, AskedBeforeItsWindowOpensItOpensOverTheWindowAskedFrom) {
    Lock("secret");
    QWidget asked;
    asked.setWindowTitle("Asked from");
    asked.setGeometry(450, 350, 300, 200);
    asked.show();
    asked.activateWindow();
    for (int i = 0; i < 50 && QApplication::activeWindow() != &asked; ++i) QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), &asked);
    uint8_t allowed = 0;
    Start("Wizard", [&] {
        auto* building = new QWidget;  // attached, never shown before the check
        building->setWindowTitle("Wizard");
        AttachWindow(building, "Wizard");
        AnswerNext("secret", false);
        allowed = fPasswordValidation();
        DetachWindow(building);
        delete building;
    });
    EXPECT_EQ(allowed, 1);
    ASSERT_EQ(asked_, 1);
    EXPECT_TRUE(asked.frameGeometry().contains(shownAt_.center()))
        << shownAt_.x() << "," << shownAt_.y() << " " << shownAt_.width() << "x" << shownAt_.height();
}

}  // namespace
}  // namespace kr::test
