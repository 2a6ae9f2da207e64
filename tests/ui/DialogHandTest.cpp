// The tests' hand on modal dialogs: a dialog no step answers (after the last
// step, or opened by a running step) fails the test within seconds instead
// of holding it until its time runs out, and a file name entered into a file
// dialog is the one chosen even when the name entry has the focus.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <fstream>

#include "DialogHand.h"
#include "UiTestSupport.h"

namespace kr {
namespace {

using test::Hand;
using test::VisibleWindow;

TEST(DialogHandTest, ADialogNoStepAnswersFailsTheTestInSeconds) {
    QElapsedTimer took;
    took.start();
    // After the last step: the second box has nobody to answer it.
    int first = -1, second = -1;
    EXPECT_NONFATAL_FAILURE(
        {
            Hand hand({[] {
                auto* box = VisibleWindow<QMessageBox>("first");
                if (!box) return false;
                box->button(QMessageBox::Ok)->click();
                return true;
            }});
            QMessageBox a(QMessageBox::Information, "First", "Answered", QMessageBox::Ok);
            a.setObjectName("first");
            first = a.exec();
            QMessageBox b(QMessageBox::Question, "Second", "Left alone", QMessageBox::Yes | QMessageBox::No);
            b.setObjectName("second");
            second = b.exec();
            EXPECT_TRUE(hand.done());
        },
        "no step answers this dialog: QMessageBox \"second\" titled \"Second\" saying \"Left alone\"");
    EXPECT_EQ(first, QMessageBox::Ok);
    EXPECT_NE(second, QMessageBox::Yes) << "closed, not answered";

    // A box the running step opens itself: the steps' timer waits for that
    // step, so the step left cannot answer it.
    bool outerClosed = false;
    EXPECT_NONFATAL_FAILURE(
        {
            Hand hand({[&] {
                           auto* d = VisibleWindow<QDialog>("outer");
                           if (!d) return false;
                           QMessageBox inner(QMessageBox::Warning, "Inner", "Opened by the step", QMessageBox::Ok);
                           inner.exec();
                           d->accept();
                           return true;
                       },
                       [] { return VisibleWindow<QMessageBox>() != nullptr; }});
            QDialog outer;
            outer.setObjectName("outer");
            outerClosed = outer.exec() == QDialog::Accepted;
        },
        "no step answers this dialog: QMessageBox");
    EXPECT_TRUE(outerClosed);
    EXPECT_LT(took.elapsed(), 20000) << "each dialog is closed within seconds";
}

TEST(DialogHandTest, AFileNameEnteredIsChosenAlsoWhileTheNameEntryHasTheFocus) {
    test::TempFolder folder;
    const QString kept = QString::fromStdString(folder.path() + "/kept.pdf");
    const QString other = QString::fromStdString(folder.path() + "/other.pdf");
    std::ofstream(kept.toStdString()) << "%PDF";
    QFileDialog d(nullptr, "Print to File", kept);
    d.setOption(QFileDialog::DontUseNativeDialog, true);
    d.setAcceptMode(QFileDialog::AcceptSave);
    d.selectFile(kept);
    d.show();
    d.activateWindow();
    auto* entry = d.findChild<QLineEdit*>("fileNameEdit");
    ASSERT_TRUE(entry);
    entry->setFocus();
    ASSERT_TRUE(test::WaitFor([&] { return entry->hasFocus(); }));
    test::EnterFileName(&d, other);
    EXPECT_EQ(d.selectedFiles().join(" ").toStdString(), other.toStdString());
    // Back to the existing file: the name and the list agree on it.
    test::EnterFileName(&d, kept);
    EXPECT_EQ(d.selectedFiles().join(" ").toStdString(), kept.toStdString());
}

}  // namespace
}  // namespace kr
