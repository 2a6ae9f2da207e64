// MailSender: the one class through which the suite sends Internet mail.
//
// A sending routine makes one object per message: Init, the setters and
// adders, Send, ErrorText when the result is not 0, Kill. Send hands the
// message to our SMTP client (platform/net) and blocks until it has ended;
// a caller with a window runs it on a worker thread (MailWorker.h). Results:
// 0 sent, 1 to 15 the failures of ErrorText's table (15: no To recipient).
//
// How the mail host is reached: MAILHOST is "host", "host:port" or
// "smtps://host[:port]"; port, TLS, credentials and the timeout come from the
// default mail account of the registry stand-in (MailSettings.h, MailTransportFor).
//
// SERVERMODE 2 posts the message as a news article instead: MAILHOST is the
// news host ("host[:port]", 119 by default), NEWSGROUPS the groups (names
// separated by commas) and the recipient lists play no part; the user name,
// password and timeout come from the same account (NewsTransportFor).
//
// Thread use: the object belongs to one thread at a time; only Cancel and
// the progress counters may be used from another thread during Send.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/NntpClient.h"
#include "platform/net/SmtpClient.h"
#include "platform/runtime/FixedString.h"

namespace kr {

// The results of MailSender::Send.
enum MailResult : int32_t {
    kMailSent = 0,
    kMailBadArguments = 1,
    kMailTempFileRead = 2,
    kMailSocketsFailed = 3,
    kMailResolveHost = 4,
    kMailNoSocket = 5,
    kMailConnectFailed = 6,
    kMailSendFailed = 7,
    kMailReceiveFailed = 8,
    kMailServerError = 9,
    kMailResolveHostIp = 10,
    kMailOutOfMemory = 11,
    kMailTempFileOpen = 12,
    kMailUnknownError = 13,
    kMailUserCancel = 14,
    kMailNoRecipients = 15,
};

// The message type and file type every caller passes: a plain-text body,
// attachments sent as binary (base64).
constexpr uint8_t kMailMessageTypeText = 6;
constexpr uint8_t kMailFileTypeBinary = 8;
// SERVERMODE: mail over SMTP, or a news article over NNTP.
constexpr uint8_t kMailServerModeSmtp = 1;
constexpr uint8_t kMailServerModeNews = 2;

class MailSender {
public:
    struct Recipient {
        CString<200> NAME;
        CString<200> EMAIL;
    };
    struct Attachment {
        CString<255> FILENAME;
        uint8_t FILETYPE = 0;
    };
    // Called on the sending thread with the bytes handed to the server so far
    // and the message's size.
    using SendMailCallback = std::function<void(uint32_t processed, uint32_t total)>;

    MailSender() { Init(); }

    // Empties every property and sets the defaults (priority 3, server mode
    // 1, message type 6).
    void Init();
    // Frees the lists and the body.
    void Kill();

    // Each stores the text with trailing blanks removed, cut to fit.
    void SetMailHost(std::string_view v) { Put(MAILHOST, v); }
    void SetMailer(std::string_view v) { Put(MAILER, v); }
    void SetFrom(std::string_view v) { Put(FROM, v); }
    void SetReturnPath(std::string_view v) { Put(RETURNPATH, v); }
    void SetOrganization(std::string_view v) { Put(ORGANIZATION, v); }
    void SetSubject(std::string_view v) { Put(SUBJECT, v); }
    void SetDebugFile(std::string_view v) { Put(DEBUGFILE, v); }
    void SetServerMode(uint8_t mode) { SERVERMODE = mode; }
    // The newsgroups of a news post (server mode 2).
    void SetNewsgroups(std::string_view v) { Put(NEWSGROUPS, v); }
    void SetSendMailCallback(SendMailCallback cb) { SENDMAILCALLBACK = std::move(cb); }
    // Keeps a copy of the body (trailing blanks removed) and its type.
    void SetMessageText(std::string_view text, uint8_t messageType);

    // A recipient whose address is blank is not added.
    void AddTo(std::string_view name, std::string_view address);
    void AddCc(std::string_view name, std::string_view address);
    void AddBcc(std::string_view address);
    void AddAttachment(std::string_view fileName, uint8_t fileType);

    // Sends the message; see the results above. Without a To recipient (a
    // newsgroup in server mode 2) 15 at once, without contacting the server.
    int32_t Send();
    // The text of a result; 9 carries the server's reply.
    std::string ErrorText(int32_t result) const;
    // Asks a running Send to stop (it then returns 14). Any thread.
    void Cancel() {
        USERCANCEL.store(1);
        cancelRequested_.store(true);
    }

    // A result of the send call above 1000 counts as sent.
    static int32_t NormaliseResult(uint32_t raw) { return raw > 1000 ? 0 : static_cast<int32_t>(raw); }
    // The result for a status of the SMTP client.
    static int32_t ResultFor(net::SmtpStatus status);
    static int32_t ResultFor(net::NntpStatus status);

    // Takes every property of `other` but the recipient lists and the
    // counters: the same message for other recipients.
    void CopyMessageFrom(const MailSender& other);

    // The properties, as the sending routines and tests read them.
    CString<200> MAILHOST, MAILER, FROM, RETURNPATH, ORGANIZATION, SUBJECT;
    std::vector<Recipient> TOADR, CCADR, BCCADR;
    CString<200> TONAME, USERNAME, USERPASSWORD;
    uint8_t PRIORITY = 3;
    uint8_t SERVERMODE = 1;
    std::optional<std::string> MESSAGETEXT;  // the body block; none until SetMessageText
    uint8_t MESSAGETYPE = kMailMessageTypeText;
    std::vector<Attachment> ATTACHMENTS;
    SendMailCallback SENDMAILCALLBACK;
    CString<255> DEBUGFILE;
    CString<500> SERVERERRORMESSAGE;
    CString<256> NEWSGROUPS;
    std::atomic<uint32_t> BYTESPROCESSED{0};
    std::atomic<uint32_t> BYTESTOTAL{0};
    std::atomic<uint8_t> USERCANCEL{0};

    // What the last Send learnt from the SMTP client (for traces and tests).
    const net::SmtpResult& lastResult() const { return last_; }
    const net::NntpResult& lastNewsResult() const { return lastNews_; }

private:
    // Stores v with trailing blanks removed, cut to the buffer's N-1 bytes
    // without splitting a character.
    template <std::size_t N>
    static void Put(CString<N>& dst, std::string_view v) { dst = Fit(v, N - 1); }
    static std::string Fit(std::string_view v, std::size_t maxBytes);
    net::MailMessage BuildMessage() const;
    // The refusal of an address field holding a line break, or none.
    std::optional<std::string> BrokenAddressField() const;
    int32_t PostNews();
    // Progress callback for both SendMail and PostArticle (one function type).
    net::SmtpProgress ProgressCounter();
    int32_t EndSend(int32_t result);

    net::SmtpResult last_;
    net::NntpResult lastNews_;
    std::atomic<bool> cancelRequested_{false};
};

}  // namespace kr
