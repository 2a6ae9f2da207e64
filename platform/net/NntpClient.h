// Posting one news article over NNTP (RFC 3977, AUTHINFO USER/PASS of
// RFC 4643), on plain sockets: libcurl reads news but cannot post it.
//
// PostArticle connects, reads the greeting, sends MODE READER, signs in
// when a user name is given, sends POST and, after the server's 340, the
// article (the MIME text of the message with a Newsgroups: header),
// dot-stuffed and ended by a line holding a dot, and waits for 240. It
// blocks the calling thread until the post has ended: callers with a window
// run it on a worker thread. Every wait (the host lookup, the connect, each
// reply, each write) is bounded by the timeouts and polled for a cancel.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/Mime.h"

namespace kr::net {

struct NntpOptions {
    std::string host;  // name or address; an IPv6 address without brackets
    int port = 0;      // 0: 119
    std::string user;  // sign in when not empty
    std::string password;
    // Bounds of every wait, in milliseconds.
    long connectTimeoutMs = 60000;   // the host lookup, and until the connection stands
    long responseTimeoutMs = 60000;  // for each server reply (the greeting too)
    long stallTimeoutMs = 60000;     // while the article moves no byte
    long totalTimeoutMs = 3600000;   // the whole post
    // The NNTP dialogue is written here when not empty (the password
    // masked, the article counted, not copied). The file holds the last post.
    std::string traceFile;
};

// How a post ended.
enum class NntpStatus {
    Posted,
    InvalidArguments,      // no usable host, a newsgroup name or credential that cannot be sent
    NoNewsgroups,          // the article names no newsgroup
    AttachmentUnreadable,  // an attachment file could not be opened before posting
    MessageReadFailed,     // reading an attachment failed while posting
    ResolveFailed,         // the host name could not be resolved (or not in time)
    SocketFailed,          // no socket could be made
    ConnectFailed,         // no connection (refused, unreachable, connect timeout)
    SendFailed,            // the connection broke or stalled while we sent
    ReceiveFailed,         // the connection broke or the server fell silent while we waited
    ServerRefused,         // the server answered 400 or above, or with a reply that does not fit
    Cancelled,             // the caller asked to stop
};

struct NntpResult {
    NntpStatus status = NntpStatus::ReceiveFailed;
    int responseCode = 0;     // the server's last reply code, 0 when none
    std::string serverReply;  // the server's last reply line
    std::string detail;       // what went wrong, in words

    bool posted() const { return status == NntpStatus::Posted; }
};

// Called while posting with the bytes of the article sent so far and its
// size; returning false cancels the post.
using NntpProgress = std::function<bool(std::uint64_t sent, std::uint64_t total)>;

// Posts the message to message.newsgroups. `cancel`, when given, is polled
// at least every 100 ms; setting it ends the post with Cancelled.
NntpResult PostArticle(const MailMessage& message, const NntpOptions& options, const NntpProgress& progress = {},
                       const std::atomic<bool>* cancel = nullptr);

// The newsgroups of a text as users write it: names separated by commas,
// blanks around each removed, empty ones dropped.
std::vector<std::string> SplitNewsgroups(std::string_view text);
// True when a name can go into a Newsgroups: header: not empty, at most
// 255 bytes, free of blanks, control characters, commas and angle brackets.
bool IsUsableNewsgroup(std::string_view name);

// A news host as users write it: "host", "host:port", "[v6addr]:port" or
// "nntp://host[:port]". valid is false for anything else (another scheme).
struct NewsHost {
    std::string host;
    int port = 0;  // 0 when not given
    bool valid = false;
};
NewsHost ParseNewsHost(std::string_view text);

}  // namespace kr::net
