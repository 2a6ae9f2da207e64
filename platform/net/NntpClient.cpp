#include "platform/net/NntpClient.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/net/Dialogue.h"
#include "platform/net/SmtpClient.h"

namespace kr::net {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultPort = 119;
// A reply line longer than this is no NNTP reply: the post ends there
// rather than the buffer growing with whatever the peer sends.
constexpr std::size_t kMaxReplyLine = 4096;
// How often a wait looks at the cancel flag.
constexpr int kPollSliceMs = 100;

bool HasLineBreakOrNul(std::string_view s) {
    for (char c : s)
        if (c == '\r' || c == '\n' || c == '\0') return true;
    return false;
}

// One post: the socket, the deadline, the reply buffer and the trace.
class Session {
public:
    Session(const NntpOptions& o, const std::atomic<bool>* cancel) : o_(o), cancel_(cancel) {
        long total = o.totalTimeoutMs > 0 ? o.totalTimeoutMs : 3600000;
        deadline_ = Clock::now() + std::chrono::milliseconds(total);
        tracing_ = !o.traceFile.empty();
    }
    ~Session() {
        if (fd_ >= 0) ::close(fd_);
    }

    NntpResult result;

    bool Fail(NntpStatus status, std::string detail) {
        result.status = status;
        result.detail = std::move(detail);
        Trace("* ", "failed: " + result.detail);
        return false;
    }
    bool Cancelled() const { return cancel_ && cancel_->load(); }

    // The time left for a wait of at most `limitMs`, bounded by the whole
    // post's deadline; 0 when none is left.
    long Budget(long limitMs) const {
        long left = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count());
        if (limitMs <= 0) limitMs = 60000;
        return left < limitMs ? (left > 0 ? left : 0) : limitMs;
    }

    bool Connect(const std::string& host, int port) {
        // getaddrinfo has no timeout of its own: it runs on a thread of its
        // own, and a lookup still running when the wait ends is left to
        // finish and free its answer by itself.
        struct Lookup {
            std::mutex m;
            std::condition_variable cv;
            bool done = false, abandoned = false;
            int rc = 0;
            addrinfo* res = nullptr;
        };
        auto lookup = std::make_shared<Lookup>();
        std::string service = std::to_string(port);
        try {
            std::thread([lookup, host, service] {
                addrinfo hints{};
                hints.ai_family = AF_UNSPEC;
                hints.ai_socktype = SOCK_STREAM;
                addrinfo* res = nullptr;
                int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &res);
                std::lock_guard<std::mutex> lock(lookup->m);
                lookup->rc = rc;
                lookup->done = true;
                if (lookup->abandoned) {
                    if (res) ::freeaddrinfo(res);
                } else {
                    lookup->res = res;
                }
                lookup->cv.notify_all();
            }).detach();
        } catch (const std::system_error&) {
            return Fail(NntpStatus::ResolveFailed, "No thread to look up " + host);
        }
        auto lookupEnd = Clock::now() + std::chrono::milliseconds(Budget(o_.connectTimeoutMs));
        std::unique_lock<std::mutex> lock(lookup->m);
        while (!lookup->done) {
            if (Cancelled()) {
                lookup->abandoned = true;
                return Fail(NntpStatus::Cancelled, "Cancelled");
            }
            if (Clock::now() >= lookupEnd) {
                lookup->abandoned = true;
                return Fail(NntpStatus::ResolveFailed, "The lookup of " + host + " took too long");
            }
            lookup->cv.wait_for(lock, std::chrono::milliseconds(kPollSliceMs));
        }
        std::unique_ptr<addrinfo, void (*)(addrinfo*)> list(lookup->res, ::freeaddrinfo);
        lookup->res = nullptr;
        int rc = lookup->rc;
        lock.unlock();
        if (rc != 0 || !list) return Fail(NntpStatus::ResolveFailed, "Cannot resolve " + host + ": " + gai_strerror(rc));

        bool anySocket = false;
        std::string lastError = "no address";
        for (addrinfo* a = list.get(); a; a = a->ai_next) {
            int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
            if (fd < 0) {
                lastError = std::strerror(errno);
                continue;
            }
            anySocket = true;
            if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
                fd_ = fd;
                return true;
            }
            if (errno != EINPROGRESS) {
                lastError = std::strerror(errno);
                ::close(fd);
                continue;
            }
            int waited = Wait(fd, POLLOUT, o_.connectTimeoutMs);
            if (waited < 0) {
                ::close(fd);
                return Fail(NntpStatus::Cancelled, "Cancelled");
            }
            int error = 0;
            socklen_t len = sizeof error;
            if (waited == 0) {
                error = ETIMEDOUT;
            } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) {
                error = errno;
            }
            if (error == 0) {
                fd_ = fd;
                return true;
            }
            lastError = std::strerror(error);
            ::close(fd);
        }
        if (!anySocket) return Fail(NntpStatus::SocketFailed, "No socket: " + lastError);
        return Fail(NntpStatus::ConnectFailed, "Cannot connect to " + host + ":" + service + ": " + lastError);
    }

    // Reads one reply line. False with the status set when none came.
    bool ReadReply() {
        std::string line;
        for (;;) {
            std::size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                break;
            }
            if (buffer_.size() > kMaxReplyLine)
                return Fail(NntpStatus::ReceiveFailed, "The server's reply is too long");
            int waited = Wait(fd_, POLLIN, o_.responseTimeoutMs);
            if (waited < 0) return Fail(NntpStatus::Cancelled, "Cancelled");
            if (waited == 0) return Fail(NntpStatus::ReceiveFailed, "The server did not answer in time");
            char chunk[1024];
            ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
            if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
            if (got <= 0)
                return Fail(NntpStatus::ReceiveFailed,
                            got == 0 ? "The server closed the connection" : std::string(std::strerror(errno)));
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Trace("< ", line);
        result.serverReply = line;
        result.responseCode = 0;
        if (line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
            std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2])))
            result.responseCode = std::stoi(line.substr(0, 3));
        return true;
    }

    // Sends a command and reads its reply. `shown` is what the trace holds.
    bool Command(const std::string& command, const std::string& shown = {}) {
        Trace("> ", shown.empty() ? command : shown);
        return SendAll(command + "\r\n", NntpStatus::SendFailed) && ReadReply();
    }

    // Sends bytes; a broken or stalled connection gives `status`.
    bool SendAll(std::string_view data, NntpStatus status) {
        while (!data.empty()) {
            ssize_t put = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
            if (put > 0) {
                data.remove_prefix(static_cast<std::size_t>(put));
                continue;
            }
            if (put < 0 && errno == EINTR) continue;
            if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                int waited = Wait(fd_, POLLOUT, o_.stallTimeoutMs);
                if (waited < 0) return Fail(NntpStatus::Cancelled, "Cancelled");
                if (waited == 0) return Fail(status, "The connection took no data in time");
                continue;
            }
            return Fail(status, std::string("The connection broke: ") + std::strerror(errno));
        }
        return true;
    }

    // The reply just read as the end of the post: a refusal (400 or above,
    // or any reply but the ones expected) gives ServerRefused.
    bool Expect(std::initializer_list<int> codes) {
        for (int c : codes)
            if (result.responseCode == c) return true;
        result.status = NntpStatus::ServerRefused;
        result.detail = "The server refused: " + result.serverReply;
        Trace("* ", "refused");
        return false;
    }

    void Trace(const char* tag, const std::string& line) {
        if (!tracing_) return;
        trace_ += tag;
        trace_ += line;
        trace_ += '\n';
    }
    void WriteTrace() {
        if (tracing_) WriteTraceFile(o_.traceFile, trace_);
    }

    int fd() const { return fd_; }

private:
    // Waits for the socket; 1 ready, 0 timed out, -1 cancelled.
    int Wait(int fd, short events, long limitMs) {
        long budget = Budget(limitMs);
        auto end = Clock::now() + std::chrono::milliseconds(budget);
        for (;;) {
            if (Cancelled()) return -1;
            long left = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
            if (left <= 0) return 0;
            pollfd p{fd, events, 0};
            int n = ::poll(&p, 1, static_cast<int>(left < kPollSliceMs ? left : kPollSliceMs));
            if (n > 0) return 1;
            if (n < 0 && errno != EINTR) return 1;  // the next read or write reports the error
        }
    }

    const NntpOptions& o_;
    const std::atomic<bool>* cancel_;
    Clock::time_point deadline_;
    int fd_ = -1;
    std::string buffer_;
    bool tracing_ = false;
    std::string trace_;
};

// The article as NNTP carries it: CR LF lines, a dot doubled at the start
// of a line. The final ".\r\n" is sent by the caller.
class DotStuffer {
public:
    // Appends the stuffed form of `data` to `out`.
    void Append(std::string_view data, std::string& out) {
        for (char c : data) {
            if (atLineStart_ && c == '.') out.push_back('.');
            out.push_back(c);
            atLineStart_ = c == '\n';
        }
        if (!data.empty()) last_ = data.back();
    }
    // What ends the article: the last line closed, then the dot line.
    std::string End() const { return (last_ == '\n' || last_ == 0) ? ".\r\n" : "\r\n.\r\n"; }

private:
    bool atLineStart_ = true;
    char last_ = 0;
};

}  // namespace

std::vector<std::string> SplitNewsgroups(std::string_view text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t comma = text.find(',', pos);
        std::string_view part = text.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
        std::size_t b = part.find_first_not_of(" \t");
        if (b != std::string_view::npos) out.emplace_back(part.substr(b, part.find_last_not_of(" \t") - b + 1));
        if (comma == std::string_view::npos) break;
        pos = comma + 1;
    }
    return out;
}

bool IsUsableNewsgroup(std::string_view name) {
    if (name.empty() || name.size() > 255) return false;
    for (unsigned char c : name)
        if (c <= 0x20 || c == 0x7F || c == ',' || c == '<' || c == '>') return false;
    return true;
}

NewsHost ParseNewsHost(std::string_view text) {
    NewsHost r;
    std::size_t b = text.find_first_not_of(" \t");
    if (b == std::string_view::npos) return r;
    text = text.substr(b, text.find_last_not_of(" \t") - b + 1);
    if (StartsWithNoCase(text, "nntp://")) text.remove_prefix(7);
    // Whatever else names a scheme is no news host.
    if (text.find("://") != std::string_view::npos) return r;
    MailHost h = ParseMailHost(text);
    r.host = h.host;
    r.port = h.port;
    r.valid = h.valid;
    return r;
}

NntpResult PostArticle(const MailMessage& message, const NntpOptions& options, const NntpProgress& progress,
                       const std::atomic<bool>* cancel) {
    Session s(options, cancel);
    auto done = [&s]() {
        s.WriteTrace();
        return s.result;
    };
    s.Trace("* ", "News post " + MailDate(static_cast<std::int64_t>(std::time(nullptr))) + " to " + options.host +
                      ":" + std::to_string(options.port > 0 ? options.port : kDefaultPort));

    // Everything that could add a header or a command is refused before
    // connecting.
    if (options.port < 0 || options.port > 65535) {
        s.Fail(NntpStatus::InvalidArguments, "The news port is out of range");
        return done();
    }
    if (!ParseNewsHost(options.host).valid) {
        s.Fail(NntpStatus::InvalidArguments, "No usable news host given");
        return done();
    }
    if (message.newsgroups.empty()) {
        s.Fail(NntpStatus::NoNewsgroups, "No newsgroup given");
        return done();
    }
    for (const std::string& g : message.newsgroups) {
        if (!IsUsableNewsgroup(g)) {
            s.Fail(NntpStatus::InvalidArguments, "The newsgroup name cannot be used: " + g);
            return done();
        }
    }
    if (HasLineBreakOrNul(options.user) || HasLineBreakOrNul(options.password) ||
        (!options.user.empty() && options.user.find_first_of(" \t") != std::string::npos)) {
        s.Fail(NntpStatus::InvalidArguments, "The news user name or password cannot be sent");
        return done();
    }
    MimeSource source(message);
    if (!source.ok()) {
        s.Fail(NntpStatus::AttachmentUnreadable, source.error());
        return done();
    }

    if (!s.Connect(options.host, options.port > 0 ? options.port : kDefaultPort)) return done();
    // 200 posting allowed, 201 not: a server that greets with 201 may
    // still take posts once signed in, so the POST's reply decides.
    if (!s.ReadReply() || !s.Expect({200, 201})) return done();
    // A server that does not know MODE READER (500, 501) is a reader
    // already; one that wants a sign-in first (480) gets it below.
    if (!s.Command("MODE READER")) return done();
    int mode = s.result.responseCode;
    bool modeOk = mode == 500 || mode == 501 || (mode == 480 && !options.user.empty());
    if (!modeOk && !s.Expect({200, 201})) return done();
    if (!options.user.empty()) {
        if (!s.Command("AUTHINFO USER " + options.user)) return done();
        if (s.result.responseCode == 381) {
            if (!s.Command("AUTHINFO PASS " + options.password, "AUTHINFO PASS ****") || !s.Expect({281}))
                return done();
        } else if (!s.Expect({281})) {
            return done();
        }
    }
    if (!s.Command("POST") || !s.Expect({340})) return done();

    // The article, as it is read, stuffed and sent in chunks.
    DotStuffer stuffer;
    std::string out;
    char chunk[16384];
    std::uint64_t total = source.totalSize();
    for (;;) {
        std::size_t got = source.Read(chunk, sizeof chunk);
        if (source.readFailed()) {
            s.Fail(NntpStatus::MessageReadFailed, "An attachment could not be read while posting");
            return done();
        }
        if (got == 0) break;
        out.clear();
        stuffer.Append(std::string_view(chunk, got), out);
        if (!s.SendAll(out, NntpStatus::SendFailed)) return done();
        if (progress && !progress(source.produced(), total)) {
            s.Fail(NntpStatus::Cancelled, "Cancelled");
            return done();
        }
    }
    s.Trace("* ", "article: " + std::to_string(source.produced()) + " bytes");
    if (!s.SendAll(stuffer.End(), NntpStatus::SendFailed)) return done();
    if (!s.ReadReply() || !s.Expect({240})) return done();
    s.result.status = NntpStatus::Posted;
    s.result.detail.clear();
    s.Trace("* ", "posted");
    // A polite end, not waited for: the article is posted.
    NntpResult posted = s.result;
    s.Trace("> ", "QUIT");
    s.SendAll("QUIT\r\n", NntpStatus::SendFailed);
    s.result = posted;
    return done();
}

}  // namespace kr::net
