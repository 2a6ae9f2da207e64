#include "organiser/SendEmailMessage.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <memory>
#include <mutex>

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
    std::shared_ptr<MailSender> sender;
    MessagesAccess* access = nullptr;  // held open until Finish
};

// SendEmailNow up to the send: the MailSender filled from the settings and
// the row in the buffer, the script values of the sender set.
void BuildSender(PreparedSend& p, const MessagesRecord& row, const MailScriptServices& s) {
    const OptionGlobals& o = Options();
    auto sender = std::make_shared<MailSender>();
    sender->Init();
    sender->SetServerMode(1);
    sender->SetDebugFile(kMailTraceFile);

    sender->SetMailHost(o.Email_Host.get());
    SetValue(s, "EmailHost", o.Email_Host.get());

    if (!o.Email_SenderName.empty()) {
        sender->SetFrom("\"" + o.Email_SenderName.get() + "\" <" + o.Email_Sender.get() + ">");
        SetValue(s, "EmailSenderName", o.Email_SenderName.get());
    } else {
        if (!o.Email_Sender.empty()) sender->SetFrom(o.Email_Sender.get());
        SetValue(s, "EmailSenderName", "");
    }
    if (!o.Email_Sender.empty()) {
        sender->SetReturnPath(o.Email_Sender.get());
        SetValue(s, "EmailReturnPath", o.Email_Sender.get());
    } else {
        SetValue(s, "EmailReturnPath", "");
    }
    if (!o.Email_Organization.empty()) sender->SetOrganization(o.Email_Organization.get());
    sender->SetMailer(kMailerName);
    if (!row.Subject.empty()) sender->SetSubject(ClipRight(Translate(s, row.Subject.str())));

    if (!row.EmailTo.empty() && Upper(row.EmailTo.str()) != "N/A")
        sender->AddTo(row.EmailToName.str(), row.EmailTo.str());
    if (!row.CC.empty()) sender->AddCc(row.CC.str(), row.CC.str());
    if (!row.BCC.empty()) sender->AddBcc(row.BCC.str());

    std::string body = Translate(s, row.Message);
    if (body.size() > kMaxBody) body.resize(kMaxBody);
    sender->SetMessageText(body, kMailMessageTypeText);
    std::string attachment = ClipRight(row.Attachment.str());
    if (!attachment.empty()) sender->AddAttachment(attachment, kMailFileTypeBinary);

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
    if (news || mass) {
        // Posting to newsgroups and mass mailings to a contact category are
        // not part of this program: the row is reported as not sent.
        LogEvent("Mail Error", "Error:  sending of " + row.MailType.str() + " messages is not available");
        p.result = kMailUnknownError;
        return p;
    }
    BuildSender(p, row, s);
    p.access = access;
    return p;
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
        // The event log holds one event per line: the line break inside a
        // server error's text becomes a blank there (MailError keeps it).
        std::string logged = text;
        for (char& c : logged)
            if (c == '\r' || c == '\n') c = ' ';
        LogEvent("Mail Error", "Error:  " + logged);
        LogEvent("Mail Error", "Could not send " + p.emailTo);
        SetValue(s, "Mail", "Error");
        SetValue(s, "MailError", text);
    }
    p.sender->Kill();
    if (MessagesAccess* access = p.access) {
        if (result == 0 && p.stamp) {
            MessagesRecord& row = access->Buffer();
            row.EmailID = p.messageId;
            if (access->FetchById()) {
                row.LastDateSent = Today();
                access->Update();
            }
        }
        access->Close();
    }
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

int32_t SendEmailMessage(int32_t messageId, bool useBuffer, bool fetch) {
    MailScriptServices s = CurrentMailScriptServices();
    PreparedSend p = Prepare(messageId, useBuffer, fetch, s);
    if (!p.ready) {
        // No send starts: a "Sending Email..." set by whoever queued it goes.
        SetActivity(s, "");
        return p.result;
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
    SetActivity(s, kSendingEmailText);
    // The outcome is logged, stored and stamped even when the receiver has
    // gone; only the report to it is dropped.
    QPointer<QObject> guard(receiver);
    bool hadReceiver = receiver != nullptr;
    StartMailSendHere(p->sender, [p, s, done, guard, hadReceiver](int32_t result, std::shared_ptr<MailSender>) {
        SetActivity(s, "");
        Finish(*p, result, s);
        if (done && (!hadReceiver || guard)) done(result);
    });
}

}  // namespace kr
