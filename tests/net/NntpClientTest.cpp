// Posting news over NNTP: against INN's nnrpd (the article as it spooled
// it, signing in, the server's refusals), what is refused before
// connecting, and a connection that breaks or falls silent.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/stat.h>

#include <fstream>

#include "NntpTestServer.h"
#include "platform/net/NntpClient.h"

using namespace kr::net;

namespace {

NntpOptions Local(int port) {
    NntpOptions o;
    o.host = "127.0.0.1";
    o.port = port;
    o.connectTimeoutMs = 5000;
    o.responseTimeoutMs = 10000;
    o.stallTimeoutMs = 10000;
    o.totalTimeoutMs = 120000;
    return o;
}

MailMessage Article(const std::string& groups = "local.test") {
    MailMessage m;
    m.from = {"", "alice@example.com"};
    m.newsgroups = SplitNewsgroups(groups);
    m.subject = "Weekly report";
    m.organization = "Users";
    m.mailer = "Kairoll 2000";
    m.body = "First line\r\n.a line that starts with a dot\r\n.\r\nlast line";
    return m;
}

class NntpClientTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string Path(const char* name) { return dir.filePath(name).toStdString(); }
};

}  // namespace

TEST_F(NntpClientTest, ArticleReachesTheServerWithItsHeadersAndBody) {
    krtest::InnTestServer server(Path("inn"), {});
    if (!server.started()) GTEST_SKIP() << server.whyNot();
    std::string attachment = Path("notes.txt");
    std::ofstream(attachment, std::ios::binary) << "attached notes";
    MailMessage m = Article();
    m.attachments.push_back({attachment, "", ""});
    NntpOptions o = Local(server.port());
    o.traceFile = Path("trace.log");

    NntpResult r = PostArticle(m, o);
    ASSERT_EQ(r.status, NntpStatus::Posted) << r.detail << " / " << r.serverReply;
    EXPECT_EQ(r.responseCode, 240);

    auto spooled = server.Spooled();
    ASSERT_EQ(spooled.size(), 1u);
    const std::string& a = spooled[0];
    EXPECT_NE(a.find("\nFrom: alice@example.com\n"), std::string::npos) << a;
    EXPECT_NE(a.find("\nNewsgroups: local.test\n"), std::string::npos) << a;
    EXPECT_NE(a.find("\nSubject: Weekly report\n"), std::string::npos);
    EXPECT_NE(a.find("\nOrganization: Users\n"), std::string::npos);
    EXPECT_NE(a.find("\nX-Newsreader: Kairoll 2000\n"), std::string::npos);
    EXPECT_EQ(a.find("\nTo:"), std::string::npos);
    EXPECT_EQ(a.find("X-Mailer"), std::string::npos);
    // The dots the client doubled are single again: the body as written,
    // a line holding only a dot included, the attachment as MIME.
    EXPECT_NE(a.find("\nFirst line\n.a line that starts with a dot\n.\nlast line\n"), std::string::npos) << a;
    EXPECT_NE(a.find("Content-Type: multipart/mixed"), std::string::npos);
    EXPECT_NE(a.find(Base64("attached notes")), std::string::npos);

    std::ifstream trace(Path("trace.log"));
    std::string traced((std::istreambuf_iterator<char>(trace)), std::istreambuf_iterator<char>());
    EXPECT_NE(traced.find("> POST"), std::string::npos);
    EXPECT_NE(traced.find("< 240"), std::string::npos);
}

TEST_F(NntpClientTest, SignInAndTheServersRefusals) {
    krtest::InnTestServer server(Path("inn"), {"local.test", "bob", "secret"});
    if (!server.started()) GTEST_SKIP() << server.whyNot();
    NntpOptions o = Local(server.port());
    o.user = "bob";
    o.password = "secret";
    o.traceFile = Path("trace.log");
    NntpResult r = PostArticle(Article(), o);
    ASSERT_EQ(r.status, NntpStatus::Posted) << r.detail << " / " << r.serverReply;
    ASSERT_EQ(server.Spooled().size(), 1u);
    std::ifstream trace(Path("trace.log"));
    std::string traced((std::istreambuf_iterator<char>(trace)), std::istreambuf_iterator<char>());
    EXPECT_NE(traced.find("> AUTHINFO PASS ****"), std::string::npos);
    EXPECT_EQ(traced.find("secret"), std::string::npos);
    // It still names the user and the groups: no one else may read it.
    struct stat traceStat {};
    ASSERT_EQ(::stat(Path("trace.log").c_str(), &traceStat), 0);
    EXPECT_EQ(traceStat.st_mode & 0777, 0600u);

    // Each refusal ends the post with the server's reply.
    struct Case {
        const char* what;
        std::string password, groups;
        int code;
    };
    for (const Case& c : {Case{"wrong password", "guess", "local.test", 481},
                          Case{"unknown group", "secret", "no.such.group", 441},
                          Case{"no credentials", "", "local.test", 480}}) {
        NntpOptions bad = Local(server.port());
        if (!c.password.empty()) {
            bad.user = "bob";
            bad.password = c.password;
        }
        NntpResult refused = PostArticle(Article(c.groups), bad);
        EXPECT_EQ(refused.status, NntpStatus::ServerRefused) << c.what;
        EXPECT_EQ(refused.responseCode, c.code) << c.what << ": " << refused.serverReply;
        EXPECT_EQ(refused.serverReply.rfind(std::to_string(c.code) + " ", 0), 0u) << refused.serverReply;
    }
    EXPECT_EQ(server.Spooled().size(), 1u);
}

TEST_F(NntpClientTest, WhatCouldAddAHeaderOrCommandIsRefusedBeforeConnecting) {
    // Nothing listens there: a connect would fail differently.
    NntpOptions o = Local(krtest::UnusedPort());
    for (const char* groups : {"local test", "local.test,<evil>", "local.\x01test", "local.test\r\nControl: x"})
        EXPECT_EQ(PostArticle(Article(groups), o).status, NntpStatus::InvalidArguments) << groups;
    EXPECT_EQ(PostArticle(Article(" , "), o).status, NntpStatus::NoNewsgroups);
    NntpOptions user = o;
    user.user = "bob\r\nPOST";
    EXPECT_EQ(PostArticle(Article(), user).status, NntpStatus::InvalidArguments);
    NntpOptions noHost = o;
    noHost.host = "smtp://127.0.0.1";
    EXPECT_EQ(PostArticle(Article(), noHost).status, NntpStatus::InvalidArguments);
    MailMessage missing = Article();
    missing.attachments.push_back({Path("absent.txt"), "", ""});
    EXPECT_EQ(PostArticle(missing, o).status, NntpStatus::AttachmentUnreadable);
    // With nothing wrong, the connect is tried.
    EXPECT_EQ(PostArticle(Article(), o).status, NntpStatus::ConnectFailed);

    // Groups as users write them; line breaks of header texts become blanks.
    EXPECT_EQ(SplitNewsgroups(" comp.a , comp.b,,"), (std::vector<std::string>{"comp.a", "comp.b"}));
    MailMessage injected = Article("comp.a,comp.b");
    injected.subject = "Hello\r\nControl: cancel <x@y>";
    std::string text = MimeSource(injected).ReadAll();
    EXPECT_NE(text.find("\r\nNewsgroups: comp.a,comp.b\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nSubject: Hello  Control: cancel <x@y>\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\r\nControl:"), std::string::npos);

    NewsHost h = ParseNewsHost("news.example.com:1190");
    EXPECT_TRUE(h.valid);
    EXPECT_EQ(h.port, 1190);
    EXPECT_TRUE(ParseNewsHost("nntp://[::1]:119").valid);
    EXPECT_FALSE(ParseNewsHost("news.example.com:0").valid);
}

TEST_F(NntpClientTest, BrokenOrSilentConnectionsEndThePost) {
    // Dropped in the middle of a large article: the send fails.
    std::string big = Path("big.bin");
    {
        std::ofstream out(big, std::ios::binary);
        std::string block(1 << 20, 'x');
        for (int i = 0; i < 32; ++i) out << block;
    }
    {
        krtest::DroppingNewsServer dropping(4096);
        MailMessage m = Article();
        m.attachments.push_back({big, "", ""});
        NntpResult r = PostArticle(m, Local(dropping.port()));
        EXPECT_EQ(r.status, NntpStatus::SendFailed) << r.detail;
        EXPECT_GE(dropping.articleBytes(), 4096u);
    }

    // A server that never greets: the wait for the greeting ends.
    krtest::SilentServer silent;
    NntpOptions o = Local(silent.port());
    o.responseTimeoutMs = 1000;
    NntpResult r = PostArticle(Article(), o);
    EXPECT_EQ(r.status, NntpStatus::ReceiveFailed) << r.detail;

    // A cancel ends a wait at once.
    std::atomic<bool> cancel{true};
    o.responseTimeoutMs = 60000;
    EXPECT_EQ(PostArticle(Article(), o, {}, &cancel).status, NntpStatus::Cancelled);
}
