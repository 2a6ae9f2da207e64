#include "organiser/SendEmailMessage.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <memory>
#include <mutex>
#include <vector>

#include "dictionary/EventLog.h"
#include "organiser/MailSender.h"
#include "dictionary/Settings.h"
#include "organiser/MailSettings.h"
#include "organiser/MailWorker.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"

namespace kr {

namespace {

constexpr std::size_t kMaxBody = 10000;

std::mutex gServicesMutex;
MailScriptServices gServices;
std::atomic<MessagesAccess*> gAccess{nullptr};

std::string Translate(const MailScriptServices& s, const std::string& text) {
    return s.translateValues ? s.translateValues(text) : text;
}
void SetValue(const MailScriptServices& s, const std::string& name, const std::string& value) {
    if (s.setScriptVariable) s.setScriptVariable(name, value);
}
void SetActivity(const MailScriptServices& s, const std::string& text) {
    if (s.setActivityText) s.setActivityText(text);
}

// A send as far as it was prepared on the calling thread.
struct PreparedSend {
    bool ready = false;     // false: ended before sending, with `result`
    int32_t result = 0;
    bool stamp = false;     // the row was fetched: stamp it after a send
    int32_t messageId = 0;
    int procedureThread = 1;
    std::string emailTo;
    std::string mailType;
    // The message; for a mass mailing the one every recipient's copy is
    // made from, and the recipients.
    std::shared_ptr<MailSender> sender;
    bool mass = false;
    std::vector<MessagesAccess::Recipient> recipients;
    int32_t firstFailure = 0;
    std::string firstFailureText;
    MessagesAccess* access = nullptr;  // held open until Finish
};

// The sender's script values and From, as e-mail and news share them.
void SetSender(MailSender& sender, const std::string& name, const std::string& address,
               const MailScriptServices& s) {
    if (!name.empty()) {
        sender.SetFrom("\"" + name + "\" <" + address + ">");
        SetValue(s, "EmailSenderName", name);
    } else {
        if (!address.empty()) sender.SetFrom(address);
        SetValue(s, "EmailSenderName", "");
    }
    if (!address.empty()) {
        sender.SetReturnPath(address);
        SetValue(s, "EmailReturnPath", address);
    } else {
        SetValue(s, "EmailReturnPath", "");
    }
}

// Subject, body and attachment, as every mail type sends them.
void SetContent(MailSender& sender, const MessagesRecord& row, const MailScriptServices& s) {
    if (!row.Subject.empty()) sender.SetSubject(ClipRight(Translate(s, row.Subject.str())));
    std::string body = Translate(s, row.Message);
    if (body.size() > kMaxBody) body.resize(kMaxBody);
    sender.SetMessageText(body, kMailMessageTypeText);
    std::string attachment = ClipRight(row.Attachment.str());
    if (!attachment.empty()) sender.AddAttachment(attachment, kMailFileTypeBinary);
}

// A news article: posted on the news host from the news sender, to the
// newsgroups of the To; the organisation is the mail one (the news
// organisation and sender name are carried only).
void BuildNewsSender(PreparedSend& p, const MessagesRecord& row, const MailScriptServices& s) {
    const OptionGlobals& o = Options();
    auto sender = std::make_shared<MailSender>();
    sender->Init();
    sender->SetServerMode(kMailServerModeNews);
    sender->SetDebugFile(kMailTraceFile);
    sender->SetMailHost(o.News_Host.get());
    SetValue(s, "EmailHost", o.News_Host.get());
    SetSender(*sender, "", o.News_Sender.get(), s);
    if (!o.Email_Organization.empty()) sender->SetOrganization(o.Email_Organization.get());
    sender->SetMailer(kMailerName);
    sender->SetNewsgroups(row.EmailTo.str());
    SetContent(*sender, row, s);
    p.emailTo = row.EmailTo.str();
    p.mailType = row.MailType.str();
    p.sender = std::move(sender);
    p.ready = true;
}

// SendEmailNow up to the send: the MailSender filled from the settings and
// the row in the buffer, the script values of the sender set. A mass
// mailing's message has no recipient of its own (CC and BCC are hidden in
// its layout and not sent).
void BuildSender(PreparedSend& p, const MessagesRecord& row, const MailScriptServices& s, bool withRecipients = true) {
    const OptionGlobals& o = Options();
    auto sender = std::make_shared<MailSender>();
    sender->Init();
    sender->SetServerMode(1);
    sender->SetDebugFile(kMailTraceFile);

    sender->SetMailHost(o.Email_Host.get());
    SetValue(s, "EmailHost", o.Email_Host.get());

    SetSender(*sender, o.Email_SenderName.get(), o.Email_Sender.get(), s);
    if (!o.Email_Organization.empty()) sender->SetOrganization(o.Email_Organization.get());
    sender->SetMailer(kMailerName);

    if (withRecipients) {
        if (!row.EmailTo.empty() && Upper(row.EmailTo.str()) != "N/A")
            sender->AddTo(row.EmailToName.str(), row.EmailTo.str());
        if (!row.CC.empty()) sender->AddCc(row.CC.str(), row.CC.str());
        if (!row.BCC.empty()) sender->AddBcc(row.BCC.str());
    }

    SetContent(*sender, row, s);

    p.emailTo = row.EmailTo.str();
    p.mailType = row.MailType.str();
    p.sender = std::move(sender);
    p.ready = true;
}

// Steps 1 to 4 of SendEmailMessage on the calling thread.
PreparedSend Prepare(int32_t messageId, bool useBuffer, bool fetch, const MailScriptServices& s) {
    PreparedSend p;
    p.messageId = messageId;
    p.procedureThread = CurrentProcedureThread();
    p.result = 1;
    MessagesAccess* access = gAccess.load();
    bool fetched = fetch || !useBuffer;
    if (!access) {
        LogEvent("Script", "Error sending message");
        return p;
    }
    if (!access->Open()) {
        LogEvent("Script", "Error sending message");
        return p;
    }
    // Ends the preparation without a send: the table is let go again.
    struct CloseUnlessReady {
        MessagesAccess* access;
        const PreparedSend& p;
        ~CloseUnlessReady() {
            if (!p.ready) access->Close();
        }
    } closer{access, p};
    MessagesRecord& row = access->Buffer();
    if (fetched) {
        row.EmailID = messageId;
        if (!access->FetchById()) {
            LogEvent("Script", "Error sending message");
            return p;
        }
    }
    p.stamp = fetched;
    p.messageId = row.EmailID;

    const OptionGlobals& o = Options();
    bool news = EqualNoCase(row.MailType.str(), kMailTypes[1]);
    bool mass = EqualNoCase(row.MailType.str(), kMailTypes[2]);
    if (!news && (o.Email_Host.empty() || o.Email_Sender.empty())) {
        Message(kEmailNotSetup, "Error!", MessageIcon::Exclamation);
        return p;
    }
    if (news && (o.News_Host.empty() || o.News_Sender.empty())) {
        Message(kNewsNotSetup, "Error!", MessageIcon::Exclamation);
        return p;
    }
    if (news) {
        BuildNewsSender(p, row, s);
    } else if (mass) {
        std::string category = ClipRight(row.EmailToGroup.str());
        p.recipients = access->ContactsWithAddress(category);
        BuildSender(p, row, s, false);
        p.mass = true;
        if (p.recipients.empty()) {
            // Nobody to mail: reported as a message without a recipient.
            p.ready = false;
            p.result = kMailNoRecipients;
            std::string text = p.sender->ErrorText(p.result);
            LogEvent("Mail Error", "Error:  " + text);
            LogEvent("Mail Error", "Could not send " + category);
            SetValue(s, "Mail", "Error");
            SetValue(s, "MailError", text);
            return p;
        }
    } else {
        BuildSender(p, row, s);
    }
    p.access = access;
    return p;
}

// One line of the event log for the log file: the line break inside a
// server error's text becomes a blank there (MailError keeps it).
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

// A mass mailing's message to recipient i, made from the prepared one.
std::shared_ptr<MailSender> MassMessage(const PreparedSend& p, std::size_t i) {
    auto m = std::make_shared<MailSender>();
    m->CopyMessageFrom(*p.sender);
    m->AddTo(p.recipients[i].name, p.recipients[i].address);
    return m;
}

// Only a refusal of one message lets a mass mailing go on.
bool MassGoesOn(int32_t result) { return result == kMailSent || result == kMailServerError; }

// The outcome of a mass mailing's message i, on the calling thread.
void MassOne(PreparedSend& p, std::size_t i, int32_t result, const MailSender& sender) {
    ProcedureThreadScope scope(p.procedureThread);
    const std::string& address = p.recipients[i].address;
    if (result == kMailSent) {
        LogEvent(p.mailType, "Sent " + address);
        return;
    }
    std::string text = sender.ErrorText(result);
    LogEvent("Mail Error", "Error:  " + OneLine(text));
    LogEvent("Mail Error", "Could not send " + address);
    if (p.firstFailure == 0) {
        p.firstFailure = result;
        p.firstFailureText = text;
    }
}

// Frees the sender and closes the messages table, first stamping the
// message's row with today's date when it went and the send asked for it.
void CloseSend(PreparedSend& p, bool sent) {
    p.sender->Kill();
    if (MessagesAccess* access = p.access) {
        if (sent && p.stamp) {
            MessagesRecord& row = access->Buffer();
            row.EmailID = p.messageId;
            if (access->FetchById()) {
                row.LastDateSent = Today();
                access->Update();
            }
        }
        access->Close();
    }
}

// The end of a mass mailing after `tried` messages, on the calling thread:
// the addresses not tried are logged, the script values set and the row
// stamped when every message went.
int32_t MassFinish(PreparedSend& p, std::size_t tried, const MailScriptServices& s) {
    ProcedureThreadScope scope(p.procedureThread);
    for (std::size_t i = tried; i < p.recipients.size(); ++i)
        LogEvent("Mail Error", "Could not send " + p.recipients[i].address);
    if (tried < p.recipients.size() && p.firstFailure == 0) {
        // Stopped between two messages (a cancel at shut-down).
        p.firstFailure = kMailUserCancel;
        p.firstFailureText = p.sender->ErrorText(kMailUserCancel);
    }
    int32_t result = p.firstFailure;
    if (result == 0) {
        SetValue(s, "Mail", "Sent");
        SetValue(s, "MailError", "None");
    } else {
        SetValue(s, "Mail", "Error");
        SetValue(s, "MailError", p.firstFailureText);
    }
    CloseSend(p, result == 0);
    return result;
}

// Steps 13 to 15 of SendEmailNow and step 5 of SendEmailMessage, on the
// calling thread after the send.
int32_t Finish(PreparedSend& p, int32_t result, const MailScriptServices& s) {
    ProcedureThreadScope scope(p.procedureThread);
    if (result == 0) {
        LogEvent(p.mailType, "Sent " + p.emailTo);
        SetValue(s, "Mail", "Sent");
        SetValue(s, "MailError", "None");
    } else {
        std::string text = p.sender->ErrorText(result);
        LogEvent("Mail Error", "Error:  " + OneLine(text));
        LogEvent("Mail Error", "Could not send " + p.emailTo);
        SetValue(s, "Mail", "Error");
        SetValue(s, "MailError", text);
    }
    CloseSend(p, result == 0);
    return result;
}

}  // namespace

void InstallMailScriptServices(MailScriptServices services) {
    std::lock_guard<std::mutex> lock(gServicesMutex);
    gServices = std::move(services);
}

MailScriptServices CurrentMailScriptServices() {
    std::lock_guard<std::mutex> lock(gServicesMutex);
    return gServices;
}

void InstallMessagesAccess(MessagesAccess* access) { gAccess.store(access); }

int32_t SendEmailNow() {
    MailScriptServices s = CurrentMailScriptServices();
    MessagesAccess* access = gAccess.load();
    MessagesRecord empty;
    PreparedSend p;
    p.procedureThread = CurrentProcedureThread();
    if (access && access->Open()) p.access = access;
    BuildSender(p, p.access ? access->Buffer() : empty, s);
    SetActivity(s, kSendingEmailText);
    int32_t result = p.sender->Send();
    SetActivity(s, "");
    return Finish(p, result, s);
}

std::string MailingProgressText(std::size_t n, std::size_t count) {
    return "Mailing " + std::to_string(n) + "/" + std::to_string(count);
}

int32_t SendEmailMessage(int32_t messageId, bool useBuffer, bool fetch) {
    MailScriptServices s = CurrentMailScriptServices();
    PreparedSend p = Prepare(messageId, useBuffer, fetch, s);
    if (!p.ready) {
        // No send starts: a "Sending Email..." set by whoever queued it goes.
        SetActivity(s, "");
        return p.result;
    }
    if (p.mass) {
        std::size_t tried = 0;
        for (std::size_t i = 0; i < p.recipients.size(); ++i) {
            SetActivity(s, MailingProgressText(i + 1, p.recipients.size()));
            std::shared_ptr<MailSender> m = MassMessage(p, i);
            int32_t result = m->Send();
            tried = i + 1;
            MassOne(p, i, result, *m);
            if (!MassGoesOn(result)) break;
        }
        SetActivity(s, "");
        return MassFinish(p, tried, s);
    }
    SetActivity(s, kSendingEmailText);
    int32_t result = p.sender->Send();
    SetActivity(s, "");
    return Finish(p, result, s);
}

void SendEmailMessageAsync(int32_t messageId, bool useBuffer, bool fetch, QObject* receiver, SendEmailDone done) {
    MailScriptServices s = CurrentMailScriptServices();
    auto p = std::make_shared<PreparedSend>(Prepare(messageId, useBuffer, fetch, s));
    if (!p->ready) {
        // No send starts: a "Sending Email..." set by whoever queued it goes.
        SetActivity(s, "");
        // Report through the event loop as a send would, never from inside
        // this call.
        int32_t result = p->result;
        QPointer<QObject> guard(receiver);
        if (receiver) {
            QMetaObject::invokeMethod(
                receiver,
                [guard, done, result] {
                    if (guard && done) done(result);
                },
                Qt::QueuedConnection);
        } else if (done) {
            done(result);
        }
        return;
    }
    // The outcome is logged, stored and stamped even when the receiver has
    // gone; only the report to it is dropped.
    QPointer<QObject> guard(receiver);
    bool hadReceiver = receiver != nullptr;
    if (p->mass) {
        std::size_t count = p->recipients.size();
        SetActivity(s, MailingProgressText(1, count));
        StartMailBatchHere(
            count, [p](std::size_t i) { return MassMessage(*p, i); }, MassGoesOn,
            [p, s, count](std::size_t i, int32_t result, std::shared_ptr<MailSender> m) {
                MassOne(*p, i, result, *m);
                if (i + 1 < count && MassGoesOn(result)) SetActivity(s, MailingProgressText(i + 2, count));
            },
            [p, s, done, guard, hadReceiver](std::size_t tried) {
                SetActivity(s, "");
                int32_t result = MassFinish(*p, tried, s);
                if (done && (!hadReceiver || guard)) done(result);
            });
        return;
    }
    SetActivity(s, kSendingEmailText);
    StartMailSendHere(p->sender, [p, s, done, guard, hadReceiver](int32_t result, std::shared_ptr<MailSender>) {
        SetActivity(s, "");
        Finish(*p, result, s);
        if (done && (!hadReceiver || guard)) done(result);
    });
}

}  // namespace kr
