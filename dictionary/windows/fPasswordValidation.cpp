#include "dictionary/windows/fPasswordValidation.h"

#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dictionary/PasswordValidation.h"
#include "platform/ui/WindowPosition.h"

namespace kr {

namespace {

constexpr const char* kProcedure = "fPasswordValidation";

// The window saves its position as it closes, while it still shows (OK,
// Cancel, Escape and the close box all end in done()); once hidden it would
// keep the position saved before.
class PasswordDialog : public QDialog {
public:
    using QDialog::QDialog;
    void done(int result) override {
        SaveWindowPosition(kProcedure, this);
        QDialog::done(result);
    }
};

struct fPasswordValidationLayout {
    QDialog* window = nullptr;
    QLineEdit* password = nullptr;
    QCheckBox* unlock = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;

    void Build(QWidget* parent) {
        window = new PasswordDialog(parent);
        window->setObjectName(kProcedure);
        window->setWindowTitle("Password Required");
        auto* v = new QVBoxLayout(window);
        auto* prompt = new QLabel("Enter the system password:", window);
        password = new QLineEdit(window);
        password->setObjectName("password");
        password->setMaxLength(128);
        password->setEchoMode(QLineEdit::Password);
        prompt->setBuddy(password);
        unlock = new QCheckBox("Unlock system for session", window);
        unlock->setObjectName("unlock");
        ok = new QPushButton("&OK", window);
        ok->setObjectName("ok");
        ok->setDefault(true);
        cancel = new QPushButton("Cancel", window);
        cancel->setObjectName("cancel");
        v->addWidget(prompt);
        v->addWidget(password);
        v->addWidget(unlock);
        auto* h = new QHBoxLayout;
        h->addStretch();
        h->addWidget(ok);
        h->addWidget(cancel);
        v->addLayout(h);
        QObject::connect(ok, &QPushButton::clicked, window, &QDialog::accept);
        QObject::connect(cancel, &QPushButton::clicked, window, &QDialog::reject);
    }
};

std::optional<PasswordAnswer> AskPassword() {
    fPasswordValidationLayout ui;
    // Over the window the user asked from: the thread's shown window, or,
    // asked before that window opens (a wizard checks first), the active
    // one. The place is set here, over that window's frame as it stands,
    // not left to Qt's centring over the parent or to the window manager.
    QWidget* parent = DialogAnchor();
    ui.Build(parent);
    ui.window->setWindowModality(Qt::ApplicationModal);
    if (!RestoreWindowPosition(kProcedure, ui.window) && parent) PlaceOverWindow(ui.window, parent);
    const int result = ui.window->exec();
    std::optional<PasswordAnswer> answer;
    if (result == QDialog::Accepted) answer = PasswordAnswer{ui.password->text().toStdString(), ui.unlock->isChecked()};
    delete ui.window;
    return answer;
}

}  // namespace

uint8_t fPasswordValidation() { return ValidatePassword(AskPassword); }

}  // namespace kr
