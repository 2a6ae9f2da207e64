// What the SMTP client does below MailSender: arguments refused before
// connecting, cancel, and the two TLS modes against a real server (the
// message, authentication and the failures are tested through MailSender).
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>

#include "platform/net/SmtpClient.h"
#include "SmtpTestServer.h"

using namespace kr::net;

namespace {

SmtpOptions Local(int port) {
    SmtpOptions o;
    o.host = "127.0.0.1";
    o.port = port;
    o.connectTimeoutMs = 5000;
    o.responseTimeoutMs = 5000;
    o.stallTimeoutMs = 5000;
    o.totalTimeoutMs = 60000;
    return o;
}

MailMessage Simple(const std::string& to = "bob@example.com") {
    MailMessage m;
    m.from = {"Alice Sender", "alice@example.com"};
    m.to.push_back({"Bob", to});
    m.subject = "Hello";
    m.body = "Hi Bob";
    return m;
}

class SmtpClientTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string Path(const char* name) { return dir.filePath(name).toStdString(); }
    std::string MailDir() {
        QDir(dir.path()).mkdir("mail");
        return Path("mail");
    }
};

}  // namespace

TEST_F(SmtpClientTest, ArgumentsCheckedBeforeConnecting) {
    MailMessage none = Simple();
    none.to.clear();
    EXPECT_EQ(SendMail(none, Local(krtest::UnusedPort())).status, SmtpStatus::NoRecipients);

    SmtpOptions noHost = Local(25);
    noHost.host = "";
    EXPECT_EQ(SendMail(Simple(), noHost).status, SmtpStatus::InvalidArguments);

    MailMessage injected = Simple("bob@example.com>\r\nDATA");
    EXPECT_EQ(SendMail(injected, Local(krtest::UnusedPort())).status, SmtpStatus::InvalidArguments);

    MailMessage missing = Simple();
    missing.attachments.push_back({Path("gone.txt"), "", ""});
    SmtpResult r = SendMail(missing, Local(krtest::UnusedPort()));
    EXPECT_EQ(r.status, SmtpStatus::AttachmentUnreadable);
    EXPECT_NE(r.detail.find("gone.txt"), std::string::npos);
}

TEST_F(SmtpClientTest, CancelStopsTheSend) {
    krtest::SmtpTestServer server(MailDir());
    ASSERT_TRUE(server.started()) << server.errors();
    MailMessage m = Simple();
    std::string attachment = Path("big.bin");
    std::ofstream(attachment, std::ios::binary) << std::string(4 * 1024 * 1024, 'z');
    m.attachments.push_back({attachment, "", ""});

    SmtpResult byCallback = SendMail(m, Local(server.port()), [](std::uint64_t sent, std::uint64_t) {
        return sent == 0;  // stop as soon as the upload has begun
    });
    EXPECT_EQ(byCallback.status, SmtpStatus::Cancelled);

    std::atomic<bool> cancel{true};
    EXPECT_EQ(SendMail(m, Local(server.port()), {}, &cancel).status, SmtpStatus::Cancelled);
    EXPECT_TRUE(server.Received().empty());
}

TEST_F(SmtpClientTest, StartTlsAndTlsFromTheStart) {
    std::string cert = Path("cert.pem"), key = Path("key.pem");
    ASSERT_TRUE(krtest::MakeCertificate(cert, key));

    {
        krtest::SmtpTestServer::Options so;
        so.starttlsCert = cert;
        so.starttlsKey = key;
        so.requireStartTls = true;
        krtest::SmtpTestServer server(MailDir(), so);
        ASSERT_TRUE(server.started()) << server.errors();
        SmtpOptions o = Local(server.port());
        o.security = SmtpSecurity::StartTls;
        o.caFile = cert;
        SmtpResult r = SendMail(Simple(), o);
        EXPECT_TRUE(r.sent()) << r.detail << " / " << r.serverReply;
        // An untrusted certificate is refused.
        o.caFile.clear();
        EXPECT_EQ(SendMail(Simple(), o).status, SmtpStatus::TlsFailed);
        EXPECT_EQ(server.Received().size(), 1u);
    }
    {
        krtest::SmtpTestServer::Options so;
        so.smtpsCert = cert;
        so.smtpsKey = key;
        QDir(dir.path()).mkdir("mail2");
        krtest::SmtpTestServer server(Path("mail2"), so);
        ASSERT_TRUE(server.started()) << server.errors();
        SmtpOptions o = Local(server.port());
        o.security = SmtpSecurity::Tls;
        o.caFile = cert;
        SmtpResult r = SendMail(Simple(), o);
        EXPECT_TRUE(r.sent()) << r.detail << " / " << r.serverReply;
        EXPECT_EQ(server.Received().size(), 1u);
    }
    {
        // A server without STARTTLS fails a send that requires it.
        QDir(dir.path()).mkdir("mail3");
        krtest::SmtpTestServer server(Path("mail3"));
        ASSERT_TRUE(server.started()) << server.errors();
        SmtpOptions o = Local(server.port());
        o.security = SmtpSecurity::StartTls;
        EXPECT_EQ(SendMail(Simple(), o).status, SmtpStatus::TlsFailed);
        EXPECT_TRUE(server.Received().empty());
    }
}
