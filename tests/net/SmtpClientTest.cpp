// Sending through a real SMTP server on 127.0.0.1 (aiosmtpd), and through
// servers that are down or never answer.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>
#include <sstream>

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

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
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

TEST_F(SmtpClientTest, MessageArrivesWholeWithEveryRecipientAndAttachment) {
    krtest::SmtpTestServer server(MailDir());
    ASSERT_TRUE(server.started()) << server.errors();

    std::string attachment = Path("report data.bin");
    std::string bytes;
    for (int i = 0; i < 1000003; ++i) bytes.push_back(static_cast<char>((i * 31 + i / 256) & 0xFF));
    std::ofstream(attachment, std::ios::binary) << bytes;

    MailMessage m;
    m.from = {"Alice Sender", "alice@example.com"};
    m.returnPath = "replies@example.com";
    m.to = {{"Bob Builder", "bob@example.com"}, {"", "carol@example.com"}};
    m.cc = {{"dave@example.com", "dave@example.com"}};
    m.bcc = {{"", "eve@example.com"}};
    m.subject = "Bericht für März";
    m.organization = "Kairoll Users";
    m.mailer = "Kairoll 2000";
    m.body = "First line\r\n.a line that starts with a dot\r\nLast line";
    m.attachments.push_back({attachment, "", ""});

    std::uint64_t lastSent = 0, total = 0;
    SmtpOptions o = Local(server.port());
    o.traceFile = Path("inmail.log");
    SmtpResult r = SendMail(m, o, [&](std::uint64_t s, std::uint64_t t) {
        lastSent = s;
        total = t;
        return true;
    });
    ASSERT_TRUE(r.sent()) << r.detail << " / " << r.serverReply;
    EXPECT_GT(total, bytes.size());
    EXPECT_EQ(lastSent, total);

    auto received = server.Received();
    ASSERT_EQ(received.size(), 1u);
    const krtest::ReceivedMail& mail = received[0];
    EXPECT_EQ(mail.mailFrom, "replies@example.com");
    EXPECT_EQ(mail.rcpt, (std::vector<std::string>{"bob@example.com", "carol@example.com", "dave@example.com",
                                                   "eve@example.com"}));

    krtest::MimePart whole = krtest::ParsePart(mail.raw);
    EXPECT_EQ(whole.headers["from"], "\"Alice Sender\" <alice@example.com>");
    EXPECT_EQ(whole.headers["reply-to"], "replies@example.com");
    EXPECT_EQ(whole.headers["to"], "\"Bob Builder\" <bob@example.com>, carol@example.com");
    EXPECT_EQ(whole.headers["cc"], "\"dave@example.com\" <dave@example.com>");
    EXPECT_EQ(whole.headers.count("bcc"), 0u);
    EXPECT_EQ(mail.raw.find("eve@example.com"), std::string::npos);
    EXPECT_EQ(krtest::DecodeWords(whole.headers["subject"]), "Bericht für März");
    EXPECT_EQ(whole.headers["organization"], "Kairoll Users");
    EXPECT_EQ(whole.headers["x-mailer"], "Kairoll 2000");
    EXPECT_FALSE(whole.headers["date"].empty());
    EXPECT_EQ(whole.headers["message-id"].front(), '<');
    EXPECT_NE(whole.headers["message-id"].find("@example.com>"), std::string::npos);
    EXPECT_EQ(whole.headers["mime-version"], "1.0");

    auto parts = krtest::SplitMultipart(whole);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].body, "First line\r\n.a line that starts with a dot\r\nLast line");
    EXPECT_EQ(parts[1].headers["content-disposition"], "attachment; filename=\"report data.bin\"");
    EXPECT_EQ(parts[1].headers["content-transfer-encoding"], "base64");
    EXPECT_EQ(krtest::DecodeBase64(parts[1].body), bytes);

    std::string trace = ReadFile(Path("inmail.log"));
    EXPECT_NE(trace.find("RCPT TO:<eve@example.com>"), std::string::npos);
    EXPECT_NE(trace.find("< 250"), std::string::npos);
}

TEST_F(SmtpClientTest, AuthenticatesAndKeepsTheCredentialsOutOfTheTrace) {
    krtest::SmtpTestServer::Options so;
    so.user = "alice";
    so.password = "s3cret-pass";
    krtest::SmtpTestServer server(MailDir(), so);
    ASSERT_TRUE(server.started()) << server.errors();

    SmtpOptions o = Local(server.port());
    o.user = "alice";
    o.password = "s3cret-pass";
    o.traceFile = Path("inmail.log");
    SmtpResult r = SendMail(Simple(), o);
    ASSERT_TRUE(r.sent()) << r.detail << " / " << r.serverReply;
    auto received = server.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].login, "alice");
    std::string trace = ReadFile(Path("inmail.log"));
    EXPECT_NE(trace.find("AUTH"), std::string::npos);
    EXPECT_EQ(trace.find("s3cret"), std::string::npos);
    EXPECT_EQ(trace.find(Base64("s3cret-pass")), std::string::npos);
    EXPECT_EQ(trace.find(Base64(std::string("\0alice\0s3cret-pass", 18))), std::string::npos);

    o.password = "wrong";
    r = SendMail(Simple(), o);
    EXPECT_EQ(r.status, SmtpStatus::AuthFailed);
    EXPECT_EQ(r.responseCode, 535);
    EXPECT_NE(r.serverReply.find("535"), std::string::npos);

    // Without credentials the server refuses the mail itself.
    o.user.clear();
    r = SendMail(Simple(), o);
    EXPECT_EQ(r.status, SmtpStatus::ServerRefused);
    EXPECT_EQ(server.Received().size(), 1u);
}

TEST_F(SmtpClientTest, RefusedRecipientGivesTheServersReply) {
    krtest::SmtpTestServer::Options so;
    so.refuse = {"nobody@example.com"};
    krtest::SmtpTestServer server(MailDir(), so);
    ASSERT_TRUE(server.started()) << server.errors();

    MailMessage m = Simple();
    m.cc.push_back({"", "nobody@example.com"});
    SmtpResult r = SendMail(m, Local(server.port()));
    EXPECT_EQ(r.status, SmtpStatus::ServerRefused);
    EXPECT_EQ(r.responseCode, 550);
    EXPECT_EQ(r.serverReply, "550 5.1.1 <nobody@example.com>: Recipient address rejected");
    EXPECT_TRUE(server.Received().empty());
}

TEST_F(SmtpClientTest, ServersThatAreDownOrSilentEndTheSend) {
    SmtpResult down = SendMail(Simple(), Local(krtest::UnusedPort()));
    EXPECT_EQ(down.status, SmtpStatus::ConnectFailed);
    EXPECT_NE(down.curlCode, 0);

    krtest::SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    SmtpOptions o = Local(silent.port());
    o.responseTimeoutMs = 1000;
    o.stallTimeoutMs = 1000;
    SmtpResult r = SendMail(Simple(), o);
    EXPECT_EQ(r.status, SmtpStatus::ReceiveFailed) << r.detail;
}

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
