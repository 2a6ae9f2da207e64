#include "platform/desktop/SingleCopy.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace kr {

namespace {

constexpr const char* kShowRequest = "show\n";
constexpr const char* kWhoRequest = "who\n";
constexpr const char* kEndRequest = "end\n";

// The user's runtime folder, found once: a waiting client asks many times,
// and Qt warns each time when XDG_RUNTIME_DIR is unset.
const QString& RuntimeFolder() {
    static const QString dir = [] {
        QString d = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (d.isEmpty()) d = QDir::tempPath() + QStringLiteral("/kairoll-") + QString::number(getuid());
        QDir().mkpath(d);
        ::chmod(QFile::encodeName(d).constData(), 0700);
        return d;
    }();
    return dir;
}

// The lock and the socket live in the user's runtime folder, named after the
// data folder's real path, so that two ways of writing one folder meet.
QString BaseName(const std::string& folder) {
    std::error_code ec;
    std::filesystem::path real = std::filesystem::weakly_canonical(folder, ec);
    if (ec) real = folder;
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(real.string()), QCryptographicHash::Sha1).toHex().left(16);
    return RuntimeFolder() + QStringLiteral("/kairoll-KR98-") + QString::fromLatin1(hash);
}

QString SocketName(const QString& base) { return base + QStringLiteral(".sock"); }
QByteArray LockPath(const QString& base) { return QFile::encodeName(base + QStringLiteral(".lock")); }

// The socket's address; false when the path is too long for one.
bool SocketAddress(const QString& socketName, sockaddr_un* address) {
    const QByteArray path = QFile::encodeName(socketName);
    *address = sockaddr_un{};
    if (static_cast<size_t>(path.size()) >= sizeof address->sun_path) return false;
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path, path.constData(), static_cast<size_t>(path.size()));
    return true;
}

// The client's side needs no Qt application (an unattended backup uses it):
// sends one request to the copy listening on socketName; -1 when none
// listens, else the connection.
int SendRequest(const QString& socketName, const char* request) {
    sockaddr_un address;
    if (!SocketAddress(socketName, &address)) return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const size_t length = std::strlen(request);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::send(fd, request, length, MSG_NOSIGNAL) != static_cast<ssize_t>(length)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Everything the other side writes until it closes the connection; nothing
// when it does not close within timeoutMs.
std::optional<std::string> ReadToEnd(int fd, int timeoutMs) {
    std::string answer;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
        if (left <= 0) return std::nullopt;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return answer;
        answer.append(buffer, static_cast<size_t>(n));
    }
}

bool AskToShow(const QString& socketName) {
    // The first copy may still be starting: it listens once it has its lock.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000) {
        const int fd = SendRequest(socketName, kShowRequest);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}

// The answer to "who": the process id, the program and the arguments, each
// followed by a NUL byte.
QByteArray WhoAnswer(const std::vector<std::string>& arguments) {
    QByteArray out = QByteArray::number(QCoreApplication::applicationPid()) + '\0';
    out += QFile::encodeName(QCoreApplication::applicationFilePath()) + '\0';
    for (const std::string& a : arguments) out += QByteArray::fromStdString(a) + '\0';
    return out;
}

}  // namespace

// The listening side, on the application's thread: the listening socket
// and one notifier per connection, parented to the listener's notifier.
struct SingleCopy::Listener {
    int fd = -1;
    std::string path;
    std::unique_ptr<QSocketNotifier> notifier;
    ~Listener() {
        notifier.reset();  // and with it the connections' notifiers, which close them
        if (fd >= 0) ::close(fd);
        if (!path.empty()) ::unlink(path.c_str());
    }
};

namespace {

// Writes all of `data` to a connection; the answers are a few hundred
// bytes, so a short wait for room is no stall.
void WriteAll(int fd, const QByteArray& data) {
    const char* at = data.constData();
    size_t left = static_cast<size_t>(data.size());
    while (left > 0) {
        const ssize_t n = ::send(fd, at, left, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0) return;
            continue;
        }
        if (n <= 0) return;
        at += n;
        left -= static_cast<size_t>(n);
    }
}

}  // namespace

SingleCopy::SingleCopy() = default;

SingleCopy::~SingleCopy() {
    listener_.reset();
    if (lockFd_ >= 0) ::close(lockFd_);  // releases the lock
}

bool SingleCopy::Claim(const std::string& folder, SingleCopyRequests requests) {
    const QString base = BaseName(folder);
    const QString socketName = SocketName(base);
    lockFd_ = ::open(LockPath(base).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ < 0) return true;  // no lock to be had: run rather than not at all
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(lockFd_);
        lockFd_ = -1;
        AskToShow(socketName);
        return false;
    }
    requests_ = std::move(requests);
    sockaddr_un address;
    if (!SocketAddress(socketName, &address)) return true;
    // The lock is ours: a socket left behind by a copy that crashed goes.
    ::unlink(address.sun_path);
    auto listener = std::make_unique<Listener>();
    listener->fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener->fd < 0 || ::bind(listener->fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return true;  // no channel: the copy runs, the others cannot reach it
    listener->path = address.sun_path;
    // Only the user may connect (the runtime folder is the user's alone too).
    ::chmod(address.sun_path, 0600);
    if (::listen(listener->fd, 16) != 0) return true;
    listener->notifier = std::make_unique<QSocketNotifier>(listener->fd, QSocketNotifier::Read);
    QSocketNotifier* accepting = listener->notifier.get();
    const int listenFd = listener->fd;
    QObject::connect(accepting, &QSocketNotifier::activated, accepting, [this, accepting, listenFd] {
        for (;;) {
            const int c = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (c < 0) return;
            auto* reading = new QSocketNotifier(c, QSocketNotifier::Read, accepting);
            QObject::connect(reading, &QObject::destroyed, [c] { ::close(c); });
            auto buffer = std::make_shared<QByteArray>();
            // Ends the connection at once (the other side reads its end); the
            // notifier, and with it the descriptor, goes after its signal.
            auto finish = [reading, c] {
                reading->setEnabled(false);
                ::shutdown(c, SHUT_RDWR);
                reading->deleteLater();
            };
            QObject::connect(reading, &QSocketNotifier::activated, reading, [this, c, buffer, finish] {
                char chunk[512];
                ssize_t n;
                while ((n = ::read(c, chunk, sizeof chunk)) > 0) buffer->append(chunk, n);
                const bool closed = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
                for (qsizetype eol; (eol = buffer->indexOf('\n')) >= 0;) {
                    const QByteArray request = buffer->left(eol + 1);
                    buffer->remove(0, eol + 1);
                    if (request == kShowRequest && requests_.show) {
                        requests_.show();
                    } else if (request == kWhoRequest) {
                        WriteAll(c, WhoAnswer(requests_.arguments));
                        finish();  // the end of the answer
                        return;
                    } else if (request == kEndRequest && requests_.end) {
                        // After this slot: ending closes the listener and its connections.
                        QMetaObject::invokeMethod(listener_->notifier.get(), requests_.end, Qt::QueuedConnection);
                    }
                }
                if (closed) finish();
            });
        }
    });
    listener_ = std::move(listener);
    return true;
}

bool FolderHeld(const std::string& folder) {
    const int fd = ::open(LockPath(BaseName(folder)).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;  // no copy has ever claimed it
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // and with it the shared lock, at once
    return held;
}

std::optional<FolderHolder> AskFolderHolder(const std::string& folder, int timeoutMs) {
    if (!FolderHeld(folder)) return std::nullopt;
    const int fd = SendRequest(SocketName(BaseName(folder)), kWhoRequest);
    if (fd < 0) return std::nullopt;
    const std::optional<std::string> answer = ReadToEnd(fd, timeoutMs);
    ::close(fd);
    if (!answer) return std::nullopt;
    std::vector<std::string> fields;
    size_t from = 0;
    for (size_t nul; (nul = answer->find('\0', from)) != std::string::npos; from = nul + 1)
        fields.push_back(answer->substr(from, nul - from));
    if (fields.size() < 2 || fields[1].empty()) return std::nullopt;
    FolderHolder holder;
    holder.pid = std::atol(fields[0].c_str());
    holder.program = fields[1];
    holder.arguments.assign(fields.begin() + 2, fields.end());
    if (holder.pid <= 0) return std::nullopt;
    return holder;
}

bool AskFolderHolderToEnd(const std::string& folder) {
    const int fd = SendRequest(SocketName(BaseName(folder)), kEndRequest);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace kr
