// Sending stored e-mail messages (rows of the Messages table).
//
// SendEmailMessage picks a row by its ID (or takes the one in the record
// buffer), checks that mail is set up, sends it through a MailSender filled
// from the mail settings and the row, logs the outcome, leaves it in the
// script values Mail, MailError, EmailHost, EmailSenderName and
// EmailReturnPath, and stamps M_:LastDateSent after a send of a fetched row.
//
// A "News" message is posted to the newsgroups of its To on the news host
// (NHost) from the news sender (NSender). A "Mass Mailing" message goes to
// each contact of its category (M_:EmailToGroup) that has an address, one
// message each, one after another; a refusal of one (result 9) lets the
// others go on, any other failure ends the run. Its result is 0 when every
// message went, else the first failure's; the activity text shows
// "Mailing n/N" meanwhile.
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
#include <vector>

#include "dictionary/OrganiserTables.h"

class QObject;

namespace kr {

// What the sending needs of the script engine and the frame; the start-up
// installs the script engine's TranslateValues and its script value store
// (ScriptValues().Put: the values are stored as they are, since a server's
// reply or a sender's name holding "[...]" or starting with "=" is neither a
// value reference nor an expression) and the frame's activity text. Left
// empty, references stay as written, values go nowhere, nothing is shown.
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
// an update of the buffer's row. A send holds the table open (Open/Close,
// counted per procedure thread) from before its fetch to after its stamp.
// MessagesFileAccess (MessagesFileAccess.h) works on the dictionary's
// Messages file manager; the start-up installs it.
class MessagesAccess {
public:
    virtual ~MessagesAccess() = default;
    virtual bool Open() { return true; }
    virtual void Close() {}
    virtual MessagesRecord& Buffer() = 0;
    virtual bool FetchById() = 0;
    virtual bool Update() = 0;
    // The contacts of a contact category that have an e-mail address, in
    // the category key's order (last name, first name): each one's name as
    // the message form takes it from a contact and its address.
    struct Recipient {
        std::string name;
        std::string address;
    };
    virtual std::vector<Recipient> ContactsWithAddress(const std::string& category) {
        (void)category;
        return {};
    }
};
void InstallMessagesAccess(MessagesAccess* access);

constexpr const char* kSendingEmailText = "Sending Email...";
// The activity text of a mass mailing while message n of N is sent.
std::string MailingProgressText(std::size_t n, std::size_t count);
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
// from inside this call). When receiver goes away first the outcome is
// still logged, stored and stamped; only `done` is not called. Without a
// receiver, a failure before the send is reported from inside this call.
using SendEmailDone = std::function<void(int32_t result)>;
void SendEmailMessageAsync(int32_t messageId, bool useBuffer, bool fetch, QObject* receiver, SendEmailDone done);

}  // namespace kr
