// News servers for tests: INN's nnrpd (Debian package inn2) started as a
// plain process on 127.0.0.1 over a folder of its own, spooling every
// article it accepts to that folder (-o); and a scripted server that takes
// the start of an article and then drops the connection.
#pragma once

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "SmtpTestServer.h"

namespace krtest {

class InnTestServer {
public:
    struct Options {
        std::string group = "local.test";
        // With a user, posting needs a sign-in checked by ckpasswd against
        // a password file holding this user and password.
        std::string user, password;
    };

    static constexpr const char* kBin = "/usr/lib/news/bin";

    InnTestServer(const std::string& folder, const Options& o) : folder_(folder) { Start(o); }
    ~InnTestServer() {
        if (proc_.state() != QProcess::NotRunning) {
            proc_.terminate();
            if (!proc_.waitForFinished(5000)) {
                proc_.kill();
                proc_.waitForFinished(5000);
            }
        }
    }
    InnTestServer(const InnTestServer&) = delete;
    InnTestServer& operator=(const InnTestServer&) = delete;

    bool started() const { return port_ > 0; }
    // Why the server is not running (for the skip message).
    const std::string& whyNot() const { return whyNot_; }
    int port() const { return port_; }

    // Every article spooled so far, as nnrpd wrote it (LF line ends).
    std::vector<std::string> Spooled() const {
        std::vector<std::string> r;
        QDir dir(Path("incoming"));
        for (const QFileInfo& f : dir.entryInfoList(QDir::Files, QDir::Name)) {
            QFile file(f.filePath());
            if (file.open(QIODevice::ReadOnly)) r.push_back(file.readAll().toStdString());
        }
        return r;
    }

private:
    QString Path(const std::string& name) const { return QString::fromStdString(folder_ + "/" + name); }

    static bool Write(const QString& path, const std::string& text) {
        std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
        out << text;
        return static_cast<bool>(out);
    }

    bool Fail(const std::string& why) {
        whyNot_ = why;
        return false;
    }

    bool Run(const QString& program, const QStringList& args, std::string* out = nullptr) {
        QProcess p;
        p.setProcessEnvironment(env_);
        p.start(program, args);
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return Fail(program.toStdString() + " failed: " + p.readAllStandardError().toStdString());
        if (out) *out = p.readAllStandardOutput().toStdString();
        return true;
    }

    bool Start(const Options& o) {
        for (const char* tool : {"nnrpd", "tdx-util", "auth/passwd/ckpasswd"})
            if (!QFileInfo(QString(kBin) + "/" + tool).isExecutable())
                return Fail(std::string("INN is not installed (Debian package inn2): no ") + kBin + "/" + tool);
        const passwd* pw = ::getpwuid(::geteuid());
        const group* gr = ::getgrgid(::getegid());
        if (!pw || !gr) return Fail("the current user has no name");

        // Every path of the server in the test's folder but its programs.
        std::string conf = "domain: localdomain\npathhost: test.localdomain\n"
                           "mta: \"/bin/true %s\"\novmethod: tradindexed\nhismethod: hisv6\n"
                           "enableoverview: true\nnnrpdloadlimit: 0\nnnrpdcheckart: true\n";
        conf += std::string("runasuser: ") + pw->pw_name + "\nrunasgroup: " + gr->gr_name + "\n";
        conf += std::string("pathbin: ") + kBin + "\n";
        for (const char* key : {"news", "control", "filter", "db", "etc", "run", "log", "http", "tmp", "spool",
                                "articles", "overview", "outgoing", "incoming", "archive"}) {
            QDir().mkpath(Path(key));
            conf += std::string("path") + key + ": " + folder_ + "/" + key + "\n";
        }
        if (!Write(Path("etc/inn.conf"), conf) ||
            !Write(Path("etc/storage.conf"), "method tradspool {\n    newsgroups: *\n    class: 0\n}\n") ||
            !Write(Path("db/active"), o.group + " 0000000000 0000000001 y\n") || !Write(Path("db/newsgroups"), ""))
            return Fail("cannot write the server's files");
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("INNCONF", Path("etc/inn.conf"));
        if (!Run(QString(kBin) + "/tdx-util", {"-c", "-n", QString::fromStdString(o.group)})) return false;

        std::string readers;
        if (o.user.empty()) {
            readers = "auth \"all\" {\n    hosts: \"*\"\n    default: \"<anon>\"\n}\n"
                      "access \"all\" {\n    users: \"*\"\n    newsgroups: \"*\"\n    access: RP\n}\n";
        } else {
            std::string hash;
            if (!Run("openssl", {"passwd", "-6", QString::fromStdString(o.password)}, &hash)) return false;
            while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r')) hash.pop_back();
            if (!Write(Path("etc/passwd"), o.user + ":" + hash + "\n")) return Fail("cannot write the password file");
            readers = "auth \"users\" {\n    hosts: \"*\"\n    auth: \"ckpasswd -f " + folder_ +
                      "/etc/passwd\"\n}\naccess \"users\" {\n    users: \"" + o.user +
                      "\"\n    newsgroups: \"*\"\n    access: RP\n}\n";
        }
        if (!Write(Path("etc/readers.conf"), readers)) return Fail("cannot write readers.conf");

        int port = UnusedPort();
        proc_.setProcessEnvironment(env_);
        proc_.setProcessChannelMode(QProcess::MergedChannels);
        proc_.start(QString(kBin) + "/nnrpd",
                    {"-D", "-f", "-b", "127.0.0.1", "-p", QString::number(port), "-o"});
        if (!proc_.waitForStarted(10000)) return Fail("nnrpd does not start");
        // Ready once it takes connections.
        for (int i = 0; i < 200; ++i) {
            if (proc_.state() == QProcess::NotRunning)
                return Fail("nnrpd ended: " + proc_.readAll().toStdString());
            int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<uint16_t>(port));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            ::close(fd);
            if (up) {
                port_ = port;
                return true;
            }
            QThread::msleep(50);
        }
        return Fail("nnrpd takes no connection: " + proc_.readAll().toStdString());
    }

    std::string folder_;
    QProcessEnvironment env_;
    QProcess proc_;
    int port_ = 0;
    std::string whyNot_;
};

// A news server that greets, takes MODE READER and POST, reads `keep`
// bytes of the article and then closes the connection.
class DroppingNewsServer {
public:
    explicit DroppingNewsServer(std::size_t keep) : keep_(keep) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 1) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~DroppingNewsServer() {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        if (thread_.joinable()) thread_.join();
    }
    DroppingNewsServer(const DroppingNewsServer&) = delete;
    DroppingNewsServer& operator=(const DroppingNewsServer&) = delete;
    int port() const { return port_; }
    // Bytes of the article the server read before it dropped the connection.
    std::size_t articleBytes() const { return articleBytes_.load(); }

private:
    void Serve() {
        int c = ::accept(fd_, nullptr, nullptr);
        if (c < 0) return;
        auto say = [c](const char* line) { return ::send(c, line, std::strlen(line), MSG_NOSIGNAL) > 0; };
        std::string in;
        auto readLine = [&]() -> bool {
            char ch;
            in.clear();
            while (::recv(c, &ch, 1, 0) == 1) {
                if (ch == '\n') return true;
                in.push_back(ch);
            }
            return false;
        };
        if (say("200 scripted server ready\r\n") && readLine() && say("200 reader\r\n") && readLine() &&
            say("340 send it\r\n")) {
            char buf[256];
            std::size_t got = 0;
            while (got < keep_) {
                ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                got += static_cast<std::size_t>(n);
            }
            articleBytes_ = got;
        }
        ::close(c);
    }

    int fd_ = -1;
    int port_ = 0;
    std::size_t keep_;
    std::atomic<std::size_t> articleBytes_{0};
    std::thread thread_;
};

}  // namespace krtest
