// Sending stored e-mail messages (rows of the Messages table).
//
// SendEmailMessage picks a row by its ID (or takes the one in the record
// buffer), checks that mail is set up, sends it through a MailSender filled
// from the mail settings and the row, logs the outcome, leaves it in the
// script values Mail, MailError, EmailHost, EmailSenderName and
// EmailReturnPath, and stamps M_:LastDateSent after a send of a fetched row.
//
// The synchronous forms block the calling thread for the send. Windows and
// the script runner use SendEmailMessageAsync: the row is read, checked and
// the message built on the calling thread; the send runs on a worker thread;
// logging, script values and the stamp happen back on the calling thread,
// and `done` then reports the result (the script step stays in progress
// until then).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "dictionary/OrganiserTables.h"

class QObject;

namespace kr {

// What the sending needs of the script engine and the frame. The scheduler
// installs the real ones; until then references stay as written, script
// values go nowhere and no activity text is shown.
struct MailScriptServices {
    // TranslateValues(text, "") of the script engine: value references replaced.
    std::function<std::string(const std::string& text)> translateValues;
    // SetScriptVariable(name, value).
    std::function<void(const std::string& name, const std::string& value)> setScriptVariable;
    // The frame's activity text (empty: none shown).
    std::function<void(const std::string& text)> setActivityText;
};
void InstallMailScriptServices(MailScriptServices services);
MailScriptServices CurrentMailScriptServices();

// The Messages table as sending uses it: the current procedure thread's
// record buffer, a fetch by M_:KeyEmailID from the buffer's M_:EmailID, and
// an update of the buffer's row. The start-up installs the one over the
// dictionary's Messages file manager.
class MessagesAccess {
public:
    virtual ~MessagesAccess() = default;
    virtual MessagesRecord& Buffer() = 0;
    virtual bool FetchById() = 0;
    virtual bool Update() = 0;
};
void InstallMessagesAccess(MessagesAccess* access);

constexpr const char* kSendingEmailText = "Sending Email...";
constexpr const char* kMailTraceFile = "inmail.log";
constexpr const char* kEmailNotSetup =
    "Email not setup.  Select File->Setup, Email tab, and fill in the required information.";
constexpr const char* kNewsNotSetup =
    "Email (News) not setup. Select File->Setup, Email tab, and fill in the required information.";

// Sends the message with the given ID (fetch set, or use buffer clear) or
// the one in the record buffer. 0: sent.
int32_t SendEmailMessage(int32_t messageId, bool useBuffer, bool fetch);
// Sends the message in the record buffer as e-mail; MailSender's result.
int32_t SendEmailNow();

// The same as SendEmailMessage, with the send on a worker thread; `done`
// gets the result on the calling thread (through its event loop, never
// from inside this call). Nothing is reported when receiver goes away first.
using SendEmailDone = std::function<void(int32_t result)>;
void SendEmailMessageAsync(int32_t messageId, bool useBuffer, bool fetch, QObject* receiver, SendEmailDone done);

}  // namespace kr
