#include "apps/KR98/SingleCopy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <filesystem>

namespace kr {

namespace {

constexpr const char* kShowRequest = "show\n";

// The lock and the socket live in the user's runtime folder, named after the
// data folder's real path, so that two ways of writing one folder meet.
QString BaseName(const std::string& folder) {
    std::error_code ec;
    std::filesystem::path real = std::filesystem::weakly_canonical(folder, ec);
    if (ec) real = folder;
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(real.string()), QCryptographicHash::Sha1).toHex().left(16);
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath() + QStringLiteral("/kairoll-") + QString::number(getuid());
    QDir().mkpath(dir);
    ::chmod(QFile::encodeName(dir).constData(), 0700);
    return dir + QStringLiteral("/kairoll-KR98-") + QString::fromLatin1(hash);
}

bool AskToShow(const QString& socketName) {
    // The first copy may still be starting: it listens once it has its lock.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000) {
        QLocalSocket s;
        s.connectToServer(socketName);
        if (s.waitForConnected(1000)) {
            s.write(kShowRequest);
            s.flush();
            s.waitForBytesWritten(2000);
            s.disconnectFromServer();
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}

}  // namespace

SingleCopy::~SingleCopy() {
    if (server_) server_->close();
    if (lockFd_ >= 0) ::close(lockFd_);  // releases the lock
}

bool SingleCopy::Claim(const std::string& folder, std::function<void()> showFrame) {
    const QString base = BaseName(folder);
    const QString socketName = base + QStringLiteral(".sock");
    const QByteArray lockPath = QFile::encodeName(base + QStringLiteral(".lock"));
    lockFd_ = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ < 0) return true;  // no lock to be had: run rather than not at all
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(lockFd_);
        lockFd_ = -1;
        AskToShow(socketName);
        return false;
    }
    // The lock is ours: a socket left behind by a copy that crashed goes.
    QLocalServer::removeServer(socketName);
    showFrame_ = std::move(showFrame);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* c = server_->nextPendingConnection()) {
            QObject::connect(c, &QLocalSocket::disconnected, c, &QObject::deleteLater);
            QObject::connect(c, &QLocalSocket::readyRead, c, [this, c] {
                while (c->canReadLine()) {
                    if (c->readLine() == kShowRequest && showFrame_) showFrame_();
                }
            });
        }
    });
    server_->listen(socketName);
    return true;
}

}  // namespace kr
