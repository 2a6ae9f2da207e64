// Mail servers for tests: a real SMTP server (aiosmtpd, tests/net/smtp_server.py)
// on 127.0.0.1 that writes every accepted message to a folder, a server that
// accepts connections and never answers, and a port nobody listens on.
// Also a small reader of the received MIME text.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <map>
#include <string>
#include <vector>

namespace krtest {

struct ReceivedMail {
    std::string mailFrom;
    std::vector<std::string> rcpt;
    std::string login;
    std::string raw;  // the message as received, CR LF line ends
};

class SmtpTestServer {
public:
    struct Options {
        std::vector<std::string> refuse;
        std::string user, password;
        std::string starttlsCert, starttlsKey;
        std::string smtpsCert, smtpsKey;
        bool requireStartTls = false;
    };

    explicit SmtpTestServer(const std::string& folder) : SmtpTestServer(folder, Options()) {}
    SmtpTestServer(const std::string& folder, const Options& o) : folder_(folder) {
        QStringList args{QStringLiteral(KR_SOURCE_DIR "/tests/net/smtp_server.py"), "--dir",
                         QString::fromStdString(folder)};
        for (const auto& r : o.refuse) args << "--refuse" << QString::fromStdString(r);
        if (!o.user.empty())
            args << "--user" << QString::fromStdString(o.user) << "--password" << QString::fromStdString(o.password);
        if (!o.starttlsCert.empty())
            args << "--starttls" << QString::fromStdString(o.starttlsCert) << QString::fromStdString(o.starttlsKey);
        if (!o.smtpsCert.empty())
            args << "--smtps" << QString::fromStdString(o.smtpsCert) << QString::fromStdString(o.smtpsKey);
        if (o.requireStartTls) args << "--require-starttls";
        proc_.setProcessChannelMode(QProcess::SeparateChannels);
        proc_.start("/usr/bin/python3", args);
        if (!proc_.waitForStarted(10000)) return;
        QByteArray out;
        while (!out.contains('\n') && proc_.waitForReadyRead(15000)) out += proc_.readAllStandardOutput();
        if (out.startsWith("PORT ")) port_ = out.mid(5).trimmed().toInt();
    }
    ~SmtpTestServer() {
        if (proc_.state() != QProcess::NotRunning) {
            proc_.terminate();
            if (!proc_.waitForFinished(5000)) {
                proc_.kill();
                proc_.waitForFinished(5000);
            }
        }
    }
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    int port() const { return port_; }
    bool started() const { return port_ > 0; }
    std::string errors() { return proc_.readAllStandardError().toStdString(); }

    // Every message received so far, in order.
    std::vector<ReceivedMail> Received() const {
        std::vector<ReceivedMail> r;
        QDir dir(QString::fromStdString(folder_));
        for (const QString& name : dir.entryList({"msg-*.env"}, QDir::Files, QDir::Name)) {
            ReceivedMail m;
            QFile env(dir.filePath(name));
            if (!env.open(QIODevice::ReadOnly)) continue;
            for (const QByteArray& line : env.readAll().split('\n')) {
                if (line.startsWith("from ")) m.mailFrom = line.mid(5).toStdString();
                else if (line.startsWith("rcpt ")) m.rcpt.push_back(line.mid(5).toStdString());
                else if (line.startsWith("login ")) m.login = line.mid(6).toStdString();
            }
            QFile eml(dir.filePath(QString(name).replace(".env", ".eml")));
            if (eml.open(QIODevice::ReadOnly)) m.raw = eml.readAll().toStdString();
            r.push_back(std::move(m));
        }
        return r;
    }

private:
    std::string folder_;
    QProcess proc_;
    int port_ = 0;
};

// A listening socket that never accepts: the kernel completes the TCP
// handshake, and the client then waits for a greeting that never comes.
class SilentServer {
public:
    SilentServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 8) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port_ = ntohs(a.sin_port);
    }
    ~SilentServer() {
        if (fd_ >= 0) ::close(fd_);
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A port on 127.0.0.1 that nothing listens on (a server that is down).
inline int UnusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

// A self-signed certificate for 127.0.0.1 and localhost, made with openssl.
inline bool MakeCertificate(const std::string& cert, const std::string& key) {
    QProcess p;
    p.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost",
                        "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost", "-keyout",
                        QString::fromStdString(key), "-out", QString::fromStdString(cert)});
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

// The parts of a received MIME message, enough to check what arrived.
struct MimePart {
    std::map<std::string, std::string> headers;  // lower-case names, unfolded values
    std::string body;                            // as transferred
};

inline std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

inline MimePart ParsePart(const std::string& raw) {
    MimePart p;
    std::size_t end = raw.find("\r\n\r\n");
    std::string head = raw.substr(0, end);
    p.body = end == std::string::npos ? std::string() : raw.substr(end + 4);
    std::string name, value;
    auto flush = [&] {
        if (!name.empty()) p.headers[Lower(name)] = value;
        name.clear();
        value.clear();
    };
    std::size_t pos = 0;
    while (pos <= head.size()) {
        std::size_t nl = head.find("\r\n", pos);
        std::string line = head.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            value += line;
        } else {
            flush();
            std::size_t colon = line.find(':');
            if (colon != std::string::npos) {
                name = line.substr(0, colon);
                value = line.substr(colon + 1);
                std::size_t b = value.find_first_not_of(' ');
                value = b == std::string::npos ? std::string() : value.substr(b);
            }
        }
        if (nl == std::string::npos) break;
        pos = nl + 2;
    }
    flush();
    return p;
}

// The parts of a multipart body split at its boundary.
inline std::vector<MimePart> SplitMultipart(const MimePart& whole) {
    std::vector<MimePart> parts;
    auto it = whole.headers.find("content-type");
    if (it == whole.headers.end()) return parts;
    std::size_t b = it->second.find("boundary=\"");
    if (b == std::string::npos) return parts;
    std::string boundary = it->second.substr(b + 10, it->second.find('"', b + 10) - b - 10);
    std::string delim = "--" + boundary;
    std::size_t pos = whole.body.find(delim);
    while (pos != std::string::npos) {
        std::size_t start = whole.body.find("\r\n", pos);
        if (start == std::string::npos || whole.body.compare(pos + delim.size(), 2, "--") == 0) break;
        start += 2;
        std::size_t next = whole.body.find("\r\n" + delim, start);
        if (next == std::string::npos) break;
        parts.push_back(ParsePart(whole.body.substr(start, next - start)));
        pos = next + 2;
    }
    return parts;
}

inline std::string DecodeBase64(const std::string& s) {
    return QByteArray::fromBase64(QByteArray::fromStdString(s)).toStdString();
}

// Decodes the RFC 2047 encoded words of a header value (B encoding, UTF-8).
inline std::string DecodeWords(const std::string& v) {
    std::string r;
    std::size_t pos = 0;
    while (pos < v.size()) {
        std::size_t s = v.find("=?UTF-8?B?", pos);
        if (s == std::string::npos) {
            r += v.substr(pos);
            break;
        }
        std::string between = v.substr(pos, s - pos);
        if (between.find_first_not_of(" \t\r\n") != std::string::npos) r += between;
        std::size_t e = v.find("?=", s + 10);
        r += DecodeBase64(v.substr(s + 10, e - s - 10));
        pos = e + 2;
    }
    return r;
}

}  // namespace krtest
