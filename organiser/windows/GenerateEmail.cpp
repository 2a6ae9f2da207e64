// The quick e-mail window and its send.
#include "organiser/windows/GenerateEmail.h"

#include <QApplication>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>

#include "organiser/MailSender.h"
#include "organiser/MailWorker.h"
#include "organiser/SendEmailMessage.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/WindowManager.h"

namespace kr {

struct GenerateEmailLayout {
    QWidget* window = nullptr;
    QLineEdit* address = nullptr;
    QLineEdit* name = nullptr;
    QLineEdit* subject = nullptr;
    QPlainTextEdit* message = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    void Build() {
        // A dialog: it opens centred over the message window (on the screen)
        // and Enter presses OK.
        window = new QDialog;
        window->resize(460, 340);
        auto* v = new QVBoxLayout(window);
        auto* form = new QFormLayout;
        address = new QLineEdit;
        address->setMaxLength(255);
        address->setToolTip(QStringLiteral("Email address"));
        name = new QLineEdit;
        name->setMaxLength(60);
        name->setToolTip(QStringLiteral("Recipient Name"));
        subject = new QLineEdit;
        subject->setMaxLength(60);
        subject->setToolTip(QStringLiteral("Title"));
        form->addRow(QStringLiteral("Recipient's E-mail address:"), address);
        form->addRow(QStringLiteral("Recipient's Name:"), name);
        form->addRow(QStringLiteral("Subject:"), subject);
        v->addLayout(form);
        message = new QPlainTextEdit;
        form->addRow(QStringLiteral("Message"), message);
        auto* row = new QHBoxLayout;
        row->addStretch(1);
        ok = new QPushButton(QStringLiteral("&OK"));
        cancel = new QPushButton(QStringLiteral("Cancel"));
        ok->setDefault(true);
        row->addWidget(ok);
        row->addWidget(cancel);
        v->addLayout(row);
    }
};

class GenerateEmailWindow : public WindowManager {
public:
    GenerateEmailWindow(FString<60>& title, FString<4096>& text, QuickEmailAccount account)
        : WindowManager("GenerateEmail"), title_(title), text_(text), account_(Clipped(std::move(account))) {}
    GenerateEmailLayout ui;

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetTitle("Email Message");
        const IniFile ini(kEmailIniFileName);
        ui.address->setText(QString::fromStdString(ini.Fetch(kEmailSection, "Recipient")));
        ui.name->setText(QString::fromStdString(ini.Fetch(kEmailSection, "RecipientName")));
        ui.subject->setText(QString::fromStdString(title_.str()));
        ui.message->setPlainText(QString::fromStdString(text_.str()));
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        return true;
    }
    bool TakeCompleted() override {
        if (sending_) return false;
        title_ = ui.subject->text().toStdString();
        text_ = ui.message->toPlainText().toStdString();
        std::string address = ClipRight(ui.address->text().toStdString());
        std::string name = ClipRight(ui.name->text().toStdString());
        // A recipient without a name goes by (the start of) the address.
        if (name.empty()) name = address.substr(0, kRecipientNameSize);

        const QuickEmailAccount& s = account_;
        auto sender = std::make_shared<MailSender>();
        sender->Init();
        sender->SetServerMode(1);
        sender->SetDebugFile(kMailTraceFile);
        sender->SetMailHost(s.host);
        if (!s.senderName.empty()) sender->SetFrom(s.senderName);
        if (!s.sender.empty()) sender->SetReturnPath(s.sender);
        if (!s.org.empty()) sender->SetOrganization(s.org);
        sender->SetMailer("Kairoll");
        const std::string subject = ClipRight(title_.str());
        sender->SetSubject(subject.empty() ? "Forwarded Message" : subject);
        sender->AddTo(name, address);
        sender->SetMessageText(text_.str(), 6);

        // The send runs on a worker thread; the window waits for its report
        // with the wait cursor and its buttons off.
        sending_ = true;
        ui.ok->setEnabled(false);
        ui.cancel->setEnabled(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const std::string host = s.host;
        const std::string from = s.sender;
        StartMailSend(sender, this, [this, address, name, host, from](int32_t result, std::shared_ptr<MailSender> m) {
            QApplication::restoreOverrideCursor();
            if (result != 0)
                Message("Message was not sent.\r\rError:\r" + m->ErrorText(result) + "\r\rSender:" + from + "\rHost:" +
                            host,
                        "Status");
            else
                Message("Message sent.", "Status");
            m->Kill();
            const IniFile ini(kEmailIniFileName);
            ini.Update(kEmailSection, "Recipient", address);
            ini.Update(kEmailSection, "RecipientName", name);
            sending_ = false;
            CloseNow();
        });
        return false;
    }
    bool TakeCloseRequest() override { return !sending_; }

private:
    // The settings without their trailing blanks, as they are sent.
    static QuickEmailAccount Clipped(QuickEmailAccount a) {
        for (std::string* v : {&a.host, &a.sender, &a.senderName, &a.org}) *v = ClipRight(*v);
        return a;
    }

    FString<60>& title_;
    FString<4096>& text_;
    QuickEmailAccount account_;
    bool sending_ = false;
};

bool GenerateEmail(FString<60>& title, FString<4096>& text, QuickEmailAccount account, std::function<void()> done) {
    auto* w = new GenerateEmailWindow(title, text, std::move(account));
    return w->Call([done](int) {
        if (done) done();
    });
}

}  // namespace kr
