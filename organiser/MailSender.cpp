#include "organiser/MailSender.h"

#include <dirent.h>
#include <sys/stat.h>

#include <limits>
#include <new>

#include "organiser/MailSettings.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"

namespace kr {

namespace {

// A file name as the suite's records hold it ("KR98EVNT.LOG", ".\KR97.TPS",
// a full path): backslashes become slashes, and when no file has that exact
// name, a file of the same name without regard to case in the same folder
// is taken, as the data folder's names resolve elsewhere.
std::string ResolveFileName(std::string name) {
    for (char& c : name)
        if (c == '\\') c = '/';
    struct stat st {};
    if (name.empty() || ::stat(name.c_str(), &st) == 0) return name;
    std::size_t slash = name.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : name.substr(0, slash));
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return name;
    std::string found;
    while (dirent* e = ::readdir(dir)) {
        if (EqualNoCase(e->d_name, base) && std::string_view(e->d_name).size() == base.size()) {
            found = slash == std::string::npos ? std::string(e->d_name) : name.substr(0, slash + 1) + e->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found.empty() ? name : found;
}

// An address field may hold several addresses separated by commas or
// semicolons; each is a recipient of its own.
void AppendAddresses(std::vector<net::MailAddress>& out, const std::string& name, const std::string& field) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : field) {
        if (c == ',' || c == ';') {
            parts.push_back(Trim(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    parts.push_back(Trim(current));
    std::size_t nonEmpty = 0;
    for (const std::string& p : parts)
        if (!p.empty()) ++nonEmpty;
    for (const std::string& p : parts) {
        if (p.empty()) continue;
        net::MailAddress a = net::ParseAddress(p);
        if (a.address.empty()) a.address = p;  // not an address: the server says so
        if (a.name.empty() && nonEmpty == 1) a.name = name;
        out.push_back(a);
    }
}

}  // namespace

std::string MailSender::Fit(std::string_view v, std::size_t maxBytes) {
    std::string s = ClipRight(v);
    if (s.size() > maxBytes) {
        std::size_t cut = maxBytes;
        // Step back over continuation bytes so a character is not split.
        while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
        s.resize(cut);
    }
    return s;
}

void MailSender::Init() {
    MAILHOST = MAILER = FROM = RETURNPATH = ORGANIZATION = SUBJECT = "";
    TONAME = USERNAME = USERPASSWORD = "";
    DEBUGFILE = "";
    SERVERERRORMESSAGE = "";
    NEWSGROUPS = "";
    TOADR.clear();
    CCADR.clear();
    BCCADR.clear();
    ATTACHMENTS.clear();
    PRIORITY = 3;
    SERVERMODE = 1;
    MESSAGETEXT.reset();
    MESSAGETYPE = kMailMessageTypeText;
    SENDMAILCALLBACK = nullptr;
    BYTESPROCESSED = 0;
    BYTESTOTAL = 0;
    USERCANCEL = 0;
    cancelRequested_ = false;
    last_ = {};
    lastNews_ = {};
}

void MailSender::CopyMessageFrom(const MailSender& o) {
    MAILHOST = o.MAILHOST;
    MAILER = o.MAILER;
    FROM = o.FROM;
    RETURNPATH = o.RETURNPATH;
    ORGANIZATION = o.ORGANIZATION;
    SUBJECT = o.SUBJECT;
    TONAME = o.TONAME;
    USERNAME = o.USERNAME;
    USERPASSWORD = o.USERPASSWORD;
    PRIORITY = o.PRIORITY;
    SERVERMODE = o.SERVERMODE;
    MESSAGETEXT = o.MESSAGETEXT;
    MESSAGETYPE = o.MESSAGETYPE;
    ATTACHMENTS = o.ATTACHMENTS;
    SENDMAILCALLBACK = o.SENDMAILCALLBACK;
    DEBUGFILE = o.DEBUGFILE;
    NEWSGROUPS = o.NEWSGROUPS;
}

void MailSender::Kill() {
    TOADR.clear();
    TOADR.shrink_to_fit();
    CCADR.clear();
    CCADR.shrink_to_fit();
    BCCADR.clear();
    BCCADR.shrink_to_fit();
    ATTACHMENTS.clear();
    ATTACHMENTS.shrink_to_fit();
    MESSAGETEXT.reset();
    SENDMAILCALLBACK = nullptr;
}

void MailSender::SetMessageText(std::string_view text, uint8_t messageType) {
    try {
        MESSAGETEXT = ClipRight(text);
        MESSAGETYPE = messageType;
    } catch (const std::bad_alloc&) {
        Message("CopyQueueToMemory: GlobalAlloc failed!");
    }
}

void MailSender::AddTo(std::string_view name, std::string_view address) {
    if (ClipRight(address).empty()) return;
    Recipient r;
    Put(r.NAME, name);
    Put(r.EMAIL, address);
    TOADR.push_back(std::move(r));
}

void MailSender::AddCc(std::string_view name, std::string_view address) {
    if (ClipRight(address).empty()) return;
    Recipient r;
    Put(r.NAME, name);
    Put(r.EMAIL, address);
    CCADR.push_back(std::move(r));
}

void MailSender::AddBcc(std::string_view address) {
    if (ClipRight(address).empty()) return;
    Recipient r;
    Put(r.EMAIL, address);
    BCCADR.push_back(std::move(r));
}

void MailSender::AddAttachment(std::string_view fileName, uint8_t fileType) {
    if (ClipRight(fileName).empty()) return;
    Attachment a;
    Put(a.FILENAME, fileName);
    a.FILETYPE = fileType;
    ATTACHMENTS.push_back(std::move(a));
}

// A line break (or another control character) in an address field would
// be taken apart by the address reading ("bob@x\r\nRCPT TO:<eve@y>" reads
// as eve@y) and the mail would go to an address nobody typed: such a field is
// refused whole, in each of To, Cc, Bcc and the return path.
std::optional<std::string> MailSender::BrokenAddressField() const {
    auto broken = [](const std::string& field) {
        for (unsigned char c : field)
            if ((c < 0x20 && c != '\t') || c == 0x7F) return true;
        return false;
    };
    if (broken(RETURNPATH.str())) return "The sender address cannot be used: " + RETURNPATH.str();
    for (const auto* list : {&TOADR, &CCADR, &BCCADR})
        for (const Recipient& r : *list)
            if (broken(r.EMAIL.str())) return "The recipient address cannot be used: " + r.EMAIL.str();
    return std::nullopt;
}

net::MailMessage MailSender::BuildMessage() const {
    net::MailMessage m;
    m.from = net::ParseAddress(FROM.str());
    net::MailAddress returnPath = net::ParseAddress(RETURNPATH.str());
    m.returnPath = !returnPath.address.empty() ? returnPath.address : Trim(RETURNPATH.str());
    for (const Recipient& r : TOADR) AppendAddresses(m.to, ClipRight(r.NAME.str()), ClipRight(r.EMAIL.str()));
    for (const Recipient& r : CCADR) AppendAddresses(m.cc, ClipRight(r.NAME.str()), ClipRight(r.EMAIL.str()));
    for (const Recipient& r : BCCADR) AppendAddresses(m.bcc, "", ClipRight(r.EMAIL.str()));
    m.subject = SUBJECT.str();
    m.organization = ORGANIZATION.str();
    m.mailer = MAILER.str();
    m.priority = PRIORITY;
    if (MESSAGETEXT) m.body = *MESSAGETEXT;
    for (const Attachment& a : ATTACHMENTS) {
        net::MailAttachment att;
        att.path = ResolveFileName(ClipRight(a.FILENAME.str()));
        m.attachments.push_back(std::move(att));
    }
    return m;
}

int32_t MailSender::ResultFor(net::SmtpStatus status) {
    using S = net::SmtpStatus;
    switch (status) {
    case S::Sent: return kMailSent;
    case S::InvalidArguments: return kMailBadArguments;
    case S::MessageReadFailed: return kMailTempFileRead;
    case S::InitFailed: return kMailSocketsFailed;
    case S::ResolveFailed: return kMailResolveHost;
    case S::ConnectFailed: return kMailConnectFailed;
    case S::SendFailed: return kMailSendFailed;
    case S::ReceiveFailed: return kMailReceiveFailed;
    case S::ServerRefused:
    case S::AuthFailed:
    case S::TlsFailed: return kMailServerError;
    case S::ProxyResolveFailed: return kMailResolveHostIp;
    case S::OutOfMemory: return kMailOutOfMemory;
    case S::AttachmentUnreadable: return kMailTempFileOpen;
    case S::Cancelled: return kMailUserCancel;
    case S::NoRecipients: return kMailNoRecipients;
    case S::Unknown: break;
    }
    return kMailUnknownError;
}

int32_t MailSender::ResultFor(net::NntpStatus status) {
    using S = net::NntpStatus;
    switch (status) {
    case S::Posted: return kMailSent;
    case S::InvalidArguments: return kMailBadArguments;
    case S::NoNewsgroups: return kMailNoRecipients;
    case S::AttachmentUnreadable: return kMailTempFileOpen;
    case S::MessageReadFailed: return kMailTempFileRead;
    case S::ResolveFailed: return kMailResolveHost;
    case S::SocketFailed: return kMailNoSocket;
    case S::ConnectFailed: return kMailConnectFailed;
    case S::SendFailed: return kMailSendFailed;
    case S::ReceiveFailed: return kMailReceiveFailed;
    case S::ServerRefused: return kMailServerError;
    case S::Cancelled: return kMailUserCancel;
    }
    return kMailUnknownError;
}

// The progress of a send or post: the counters, the caller's callback,
// and false (stop) once the user has cancelled.
net::SmtpProgress MailSender::ProgressCounter() {
    return [this](std::uint64_t sent, std::uint64_t total) {
        constexpr std::uint64_t kMax = std::numeric_limits<uint32_t>::max();
        BYTESPROCESSED = static_cast<uint32_t>(sent < kMax ? sent : kMax);
        BYTESTOTAL = static_cast<uint32_t>(total < kMax ? total : kMax);
        if (SENDMAILCALLBACK) SENDMAILCALLBACK(BYTESPROCESSED.load(), BYTESTOTAL.load());
        return USERCANCEL.load() == 0;
    };
}

// Clears the counters and the cancel state for the next Send.
int32_t MailSender::EndSend(int32_t result) {
    BYTESPROCESSED = 0;
    BYTESTOTAL = 0;
    USERCANCEL = 0;
    cancelRequested_ = false;
    return NormaliseResult(static_cast<uint32_t>(result));
}

int32_t MailSender::PostNews() {
    net::MailMessage message = BuildMessage();
    message.to.clear();
    message.cc.clear();
    message.bcc.clear();
    message.newsgroups = net::SplitNewsgroups(NEWSGROUPS.str());
    if (message.newsgroups.empty()) return kMailNoRecipients;
    lastNews_ = {};
    NewsTransport transport = NewsTransportFor(MAILHOST.str());
    if (!transport.valid) {
        lastNews_.status = net::NntpStatus::InvalidArguments;
        lastNews_.detail = "No usable news host: " + MAILHOST.str();
        return kMailBadArguments;
    }
    transport.options.traceFile = ResolveFileName(DEBUGFILE.str());
    if (USERCANCEL.load() != 0) {
        lastNews_.status = net::NntpStatus::Cancelled;
    } else {
        // Cancel sets cancelRequested_ too: the post sees it while it waits,
        // not only between chunks.
        lastNews_ = net::PostArticle(message, transport.options, ProgressCounter(), &cancelRequested_);
    }
    int32_t result = ResultFor(lastNews_.status);
    if (result == kMailServerError)
        SERVERERRORMESSAGE = !lastNews_.serverReply.empty() ? lastNews_.serverReply : lastNews_.detail;
    return result;
}

int32_t MailSender::Send() {
    if (SERVERMODE == kMailServerModeNews) {
        SERVERERRORMESSAGE = "";
        return EndSend(PostNews());
    }
    // Copies and blind copies alone are not enough to send.
    if (TOADR.empty()) return kMailNoRecipients;
    SERVERERRORMESSAGE = "";
    last_ = {};

    int32_t result;
    MailTransport transport = MailTransportFor(MAILHOST.str());
    if (const std::optional<std::string> refused = BrokenAddressField()) {
        last_.status = net::SmtpStatus::InvalidArguments;
        last_.detail = *refused;
        result = kMailBadArguments;
    } else if (!transport.valid) {
        last_.status = net::SmtpStatus::InvalidArguments;
        last_.detail = "No usable mail host: " + MAILHOST.str();
        result = kMailBadArguments;
    } else {
        transport.options.traceFile = ResolveFileName(DEBUGFILE.str());
        net::MailMessage message = BuildMessage();
        if (USERCANCEL.load() != 0) {
            last_.status = net::SmtpStatus::Cancelled;
        } else {
            last_ = net::SendMail(message, transport.options, ProgressCounter());
        }
        result = ResultFor(last_.status);
        if (result == kMailServerError)
            SERVERERRORMESSAGE = !last_.serverReply.empty() ? last_.serverReply : last_.detail;
    }
    return EndSend(result);
}

std::string MailSender::ErrorText(int32_t result) const {
    switch (result) {
    case 1: return "Bad arguments from form";
    case 2: return "Unable to open temporary mailfile for read";
    case 3: return "Failed to start sockets";
    case 4: return "Failed to resolve host";
    case 5: return "Failed to obtain socket handle";
    case 6: return "Failed to connect. Mail Server not found!";
    case 7: return "Failed to send";
    case 8: return "Failed to receive";
    case 9: {
        std::string text = "Mail Server Error:\r" + ClipRight(SERVERERRORMESSAGE.str());
        if (text.size() > 255) text.resize(255);
        return text;
    }
    case 10: return "Failed to resolve the host IP name";
    case 11: return "Out of memory";
    case 12: return "Failed to open temporary file";
    case 13: return "Unknown error";
    case 14: return "User Cancel";
    case 15: return "No recipiens specified";
    default: return "Unknown error";
    }
}

}  // namespace kr
