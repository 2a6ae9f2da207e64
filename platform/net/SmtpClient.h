// Sending one Internet mail message over SMTP, on libcurl.
//
// SendMail connects, optionally secures the connection (STARTTLS or TLS
// from the start), authenticates when a user name is given, hands over the
// envelope and the MIME text of the message, and reports how it ended as a
// status that says which stage failed, with the server's last reply. It
// blocks the calling thread until the send has ended: callers with a window
// run it on a worker thread. Every wait is bounded by the timeouts.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/net/Mime.h"

namespace kr::net {

enum class SmtpSecurity {
    None,      // plain SMTP
    StartTls,  // plain connect, then STARTTLS; the send fails when the server cannot
    Tls,       // TLS from the first byte (SMTPS)
};

struct SmtpOptions {
    std::string host;  // name or address; an IPv6 address without brackets
    int port = 0;      // 0: 465 for Tls, else 25
    SmtpSecurity security = SmtpSecurity::None;
    std::string user;  // authenticate when not empty
    std::string password;
    bool verifyPeer = true;  // check the server's certificate and name
    std::string caFile;      // certificates to trust instead of the system's
    // Bounds of every wait, in milliseconds.
    long connectTimeoutMs = 60000;   // until the connection stands
    long responseTimeoutMs = 60000;  // for each server reply (the greeting too)
    long stallTimeoutMs = 60000;     // while the upload moves no byte
    long totalTimeoutMs = 3600000;   // the whole send
    // The SMTP dialogue is written here when not empty (credentials masked,
    // message data counted, not copied). The file holds the last send.
    std::string traceFile;
};

// How a send ended.
enum class SmtpStatus {
    Sent,
    InvalidArguments,      // no host, a host or address that cannot be used
    AttachmentUnreadable,  // an attachment file could not be opened before sending
    MessageReadFailed,     // reading an attachment failed during the upload
    InitFailed,            // the transfer library could not start
    ResolveFailed,         // the host name could not be resolved
    ProxyResolveFailed,    // the proxy name could not be resolved
    ConnectFailed,         // no connection (refused, unreachable, connect timeout)
    SendFailed,            // the connection broke or stalled while sending
    ReceiveFailed,         // the connection broke or the server fell silent while we waited
    ServerRefused,         // the server answered with a failure reply
    AuthFailed,            // the server refused the credentials
    TlsFailed,             // TLS could not be set up (no STARTTLS, handshake, certificate)
    OutOfMemory,
    Cancelled,             // the caller asked to stop
    NoRecipients,
    Unknown,
};

struct SmtpResult {
    SmtpStatus status = SmtpStatus::Unknown;
    int curlCode = 0;         // CURLcode of the transfer, 0 when it was not started
    long responseCode = 0;    // the server's last reply code, 0 when none
    std::string serverReply;  // the server's last reply, lines joined by blanks
    std::string detail;       // what went wrong, in words (libcurl's message or ours)

    bool sent() const { return status == SmtpStatus::Sent; }
};

// Called while sending with the bytes of the message handed over so far and
// the message's size; returning false cancels the send.
using SmtpProgress = std::function<bool(std::uint64_t sent, std::uint64_t total)>;

// Sends the message. `cancel`, when given, is polled at least once a second;
// setting it ends the send with Cancelled.
SmtpResult SendMail(const MailMessage& message, const SmtpOptions& options,
                    const SmtpProgress& progress = {}, const std::atomic<bool>* cancel = nullptr);

// The status a libcurl result stands for, given what was known of the
// transfer: whether the connection stood, whether the upload of the message
// had begun and not ended, and the server's last reply code.
SmtpStatus StatusForCurlCode(int curlCode, bool connected, bool uploading, long responseCode);

// A mail host as users write it: "host", "host:port", "[v6addr]:port",
// "smtp://host[:port]" or "smtps://host[:port]" (TLS from the start).
struct MailHost {
    std::string host;
    int port = 0;                // 0 when not given
    bool implicitTls = false;    // smtps://
    bool schemeGiven = false;
    bool valid = false;
};
MailHost ParseMailHost(std::string_view text);

}  // namespace kr::net
