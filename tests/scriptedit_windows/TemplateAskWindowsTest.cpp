// The ask windows of template tokens offscreen: the label follows the
// prompt, the entry is pre-filled, the pick lists append, OK answers and
// Cancel leaves the field as it was.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "UiTestSupport.h"
#include "scriptedit/TemplateTokens.h"
#include "scriptedit/windows/ScriptWindows.h"

namespace kr {
namespace {

using test::ButtonText;

QDialog* AskWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == "More Information Required") return qobject_cast<QDialog*>(w);
    return nullptr;
}

// Runs `act` on the ask window once it is shown.
void WhenAsked(std::function<void(QDialog*)> act) {
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [act, poll] {
        if (QDialog* d = AskWindow()) act(d);
        else QTimer::singleShot(10, *poll);
    };
    QTimer::singleShot(0, *poll);
}

TEST(TemplateAskWindowsTest, TextAnswersWithPickListsAndCancelKeepsTheField) {
    scriptedit::InstallTemplateAskWindows();
    TemplateAnswers answers;
    QString label;
    WhenAsked([&](QDialog* d) {
        label = d->findChildren<QLabel*>()[0]->text();
        d->findChild<QLineEdit*>()->setText("Joe");
        auto combos = d->findChildren<QComboBox*>();
        combos[1]->setCurrentText("ENTER");  // no modifier
        ButtonText(d, "&Append")->click();
        ButtonText(d, "&OK")->click();
    });
    std::string field = "Hi [?Name]";
    EXPECT_TRUE(ExpandTemplateTokens(field, 255, answers, InstalledTemplateAsker()));
    EXPECT_EQ(label, "Name:");
    EXPECT_EQ(field, "Hi Joe[ENTER]");

    // A keyword token asks again, pre-filled; Cancel leaves the field.
    QString prefill, fileLabel;
    WhenAsked([&](QDialog* d) {
        fileLabel = d->findChildren<QLabel*>()[0]->text();
        prefill = d->findChild<QLineEdit*>()->text();
        ButtonText(d, "Cancel")->click();
    });
    answers.Store("FILE", "/tmp/a");
    field = "[?FILE ]";
    EXPECT_FALSE(ExpandTemplateTokens(field, 255, answers, InstalledTemplateAsker()));
    EXPECT_EQ(field, "[?FILE ]");
    EXPECT_EQ(fileLabel, "Enter file path and name:");
    EXPECT_EQ(prefill, "/tmp/a");

    // "[?FILE]" is a free token: asked in the text window under its prompt.
    QString freeLabel;
    WhenAsked([&](QDialog* d) {
        freeLabel = d->findChildren<QLabel*>()[0]->text();
        ButtonText(d, "Cancel")->click();
    });
    field = "[?FILE]";
    TemplateAnswers none;
    EXPECT_FALSE(ExpandTemplateTokens(field, 255, none, InstalledTemplateAsker()));
    EXPECT_EQ(freeLabel, "FILE:");
    InstallTemplateAsker({});
}

TEST(TemplateAskWindowsTest, WindowTitleIsTypedInItsList) {
    int columns = 0;
    WhenAsked([&](QDialog* d) {
        auto* combo = d->findChild<QComboBox*>();
        columns = combo->model()->columnCount();  // title and class
        combo->setEditText("*Notepad");
        ButtonText(d, "&OK")->click();
    });
    const auto answer =
        scriptedit::AskTemplateToken(nullptr, TemplateAskKind::Window, "WINDOW", "");
    EXPECT_EQ(answer.value_or("?"), "*Notepad");
    EXPECT_EQ(columns, 2);
}

}  // namespace
}  // namespace kr
