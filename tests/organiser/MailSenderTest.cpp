// MailSender against a real SMTP server on 127.0.0.1.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "../net/SmtpTestServer.h"
#include "MailFixture.h"
#include "organiser/MailSender.h"

using kr::MailSender;

namespace {

class MailSenderTest : public krtest::MailFixture {
protected:
    void Address(MailSender& m, int port) {
        m.Init();
        m.SetServerMode(1);
        m.SetMailHost("127.0.0.1:" + std::to_string(port));
        m.SetFrom("\"Alice Sender\" <alice@example.com>");
        m.SetReturnPath("alice@example.com");
        m.AddTo("Bob", "bob@example.com");
        m.SetSubject("Hello");
        m.SetMessageText("Hi Bob", kr::kMailMessageTypeText);
    }
};

}  // namespace

TEST_F(MailSenderTest, PropertiesAreClippedAndCutToTheirBuffers) {
    MailSender m;
    m.Init();
    EXPECT_EQ(m.PRIORITY, 3);
    EXPECT_EQ(m.SERVERMODE, 1);
    EXPECT_EQ(m.MESSAGETYPE, 6);
    EXPECT_FALSE(m.MESSAGETEXT.has_value());

    m.SetSubject("Subject   ");
    EXPECT_EQ(m.SUBJECT.str(), "Subject");
    std::string address = std::string(195, 'a') + "@b.com";  // 201 characters
    m.AddTo("   ", address);
    ASSERT_EQ(m.TOADR.size(), 1u);
    EXPECT_EQ(m.TOADR[0].NAME.str(), "");
    EXPECT_EQ(m.TOADR[0].EMAIL.str(), address.substr(0, 199));
    // A long text of two-byte characters is cut before a character, not inside one.
    m.SetOrganization(std::string(150, 'x') + std::string(30, ' ') + "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"
                                                                     "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9");
    EXPECT_EQ(m.ORGANIZATION.size(), 198u);

    m.AddTo("Nobody", "    ");
    m.AddCc("Nobody", "");
    m.AddBcc("  ");
    m.AddAttachment("", kr::kMailFileTypeBinary);
    EXPECT_EQ(m.TOADR.size(), 1u);
    EXPECT_TRUE(m.CCADR.empty());
    EXPECT_TRUE(m.BCCADR.empty());
    EXPECT_TRUE(m.ATTACHMENTS.empty());
    m.AddBcc("eve@example.com");
    EXPECT_EQ(m.BCCADR[0].NAME.str(), "");

    m.SetMessageText("Body text   ", 6);
    EXPECT_EQ(*m.MESSAGETEXT, "Body text");
    m.Kill();
    EXPECT_TRUE(m.TOADR.empty());
    EXPECT_FALSE(m.MESSAGETEXT.has_value());
}

TEST_F(MailSenderTest, ResultTexts) {
    MailSender m;
    const char* texts[] = {"Unknown error",
                           "Bad arguments from form",
                           "Unable to open temporary mailfile for read",
                           "Failed to start sockets",
                           "Failed to resolve host",
                           "Failed to obtain socket handle",
                           "Failed to connect. Mail Server not found!",
                           "Failed to send",
                           "Failed to receive",
                           "Mail Server Error:\r",
                           "Failed to resolve the host IP name",
                           "Out of memory",
                           "Failed to open temporary file",
                           "Unknown error",
                           "User Cancel",
                           "No recipiens specified",
                           "Unknown error"};
    for (int i = 0; i <= 16; ++i) EXPECT_EQ(m.ErrorText(i), texts[i]) << i;
    EXPECT_EQ(m.ErrorText(1000), "Unknown error");
    EXPECT_EQ(MailSender::NormaliseResult(1001), 0);
    EXPECT_EQ(MailSender::NormaliseResult(1000), 1000);
    m.SERVERERRORMESSAGE = std::string(300, 'r');
    EXPECT_EQ(m.ErrorText(9).size(), 255u);
}

TEST_F(MailSenderTest, CopiesAloneAreNotEnough) {
    krtest::SmtpTestServer server(MailDir());
    ASSERT_TRUE(server.started()) << server.errors();
    MailSender m;
    m.SetMailHost("127.0.0.1:" + std::to_string(server.port()));
    m.AddCc("Carol", "carol@example.com");
    m.AddBcc("eve@example.com");
    EXPECT_EQ(m.Send(), 15);
    EXPECT_EQ(m.ErrorText(15), "No recipiens specified");
    EXPECT_TRUE(server.Received().empty());
}

TEST_F(MailSenderTest, MessageArrivesWhole) {
    krtest::SmtpTestServer server(MailDir());
    ASSERT_TRUE(server.started()) << server.errors();
    // The attachment named as a record holds it: another case, backslashes.
    std::string bytes;
    for (int i = 0; i < 70001; ++i) bytes.push_back(static_cast<char>(i % 251));
    std::ofstream(Path("KR98Evnt.LOG"), std::ios::binary) << bytes;

    MailSender m;
    Address(m, server.port());
    m.SetReturnPath("replies@example.com");
    m.SetSubject("Bericht für März");
    m.SetMessageText("Hi Bob\r\n.a line that starts with a dot", kr::kMailMessageTypeText);
    m.SetDebugFile("inmail.log");
    m.SetMailer("Kairoll 2000");
    m.SetOrganization("Users");
    m.AddTo("Carol", "carol@example.com");
    m.AddCc("dave@example.com", "dave@example.com");
    m.AddBcc("eve@example.com");
    m.AddAttachment(".\\KR98EVNT.LOG", kr::kMailFileTypeBinary);
    int calls = 0;
    m.SetSendMailCallback([&](uint32_t done, uint32_t total) {
        ++calls;
        EXPECT_LE(done, total);
    });
    m.BYTESPROCESSED = 77;
    ASSERT_EQ(m.Send(), 0) << m.lastResult().detail;
    EXPECT_GT(calls, 0);
    EXPECT_EQ(m.BYTESPROCESSED.load(), 0u);
    EXPECT_EQ(m.BYTESTOTAL.load(), 0u);
    EXPECT_EQ(m.USERCANCEL.load(), 0);
    // After Send the lists still hold their rows.
    EXPECT_EQ(m.TOADR.size(), 2u);

    auto received = server.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].mailFrom, "replies@example.com");
    EXPECT_EQ(received[0].rcpt, (std::vector<std::string>{"bob@example.com", "carol@example.com",
                                                          "dave@example.com", "eve@example.com"}));
    krtest::MimePart whole = krtest::ParsePart(received[0].raw);
    EXPECT_EQ(whole.headers["from"], "\"Alice Sender\" <alice@example.com>");
    EXPECT_EQ(whole.headers["to"], "\"Bob\" <bob@example.com>, \"Carol\" <carol@example.com>");
    EXPECT_EQ(whole.headers["cc"], "\"dave@example.com\" <dave@example.com>");
    EXPECT_EQ(whole.headers.count("bcc"), 0u);
    EXPECT_EQ(whole.headers["reply-to"], "replies@example.com");
    EXPECT_EQ(krtest::DecodeWords(whole.headers["subject"]), "Bericht für März");
    EXPECT_EQ(whole.headers["organization"], "Users");
    EXPECT_EQ(whole.headers["x-mailer"], "Kairoll 2000");
    EXPECT_FALSE(whole.headers["date"].empty());
    EXPECT_FALSE(whole.headers["message-id"].empty());
    auto parts = krtest::SplitMultipart(whole);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].body, "Hi Bob\r\n.a line that starts with a dot");
    EXPECT_EQ(parts[1].headers["content-disposition"], "attachment; filename=\"KR98Evnt.LOG\"");
    EXPECT_EQ(krtest::DecodeBase64(parts[1].body), bytes);
    EXPECT_NE(ReadFile(Path("inmail.log")).find("MAIL FROM:<replies@example.com>"), std::string::npos);
}

TEST_F(MailSenderTest, AuthenticatesWithTheAccountsCredentials) {
    krtest::SmtpTestServer::Options so;
    so.user = "alice";
    so.password = "pa55word";
    krtest::SmtpTestServer server(MailDir(), so);
    ASSERT_TRUE(server.started()) << server.errors();

    WriteAccount("SMTP Port=" + std::to_string(server.port()) +
                 "\nSMTP User Name=alice\nSMTP Password=pa55word\n");
    MailSender m;
    Address(m, server.port());
    m.SetMailHost("127.0.0.1");  // the port comes from the account
    m.SetDebugFile("inmail.log");
    const mode_t before = ::umask(022);
    ASSERT_EQ(m.Send(), 0) << m.lastResult().detail;
    ::umask(before);
    ASSERT_EQ(server.Received().size(), 1u);
    EXPECT_EQ(server.Received()[0].login, "alice");
    // The trace holds the addresses and the dialogue: the owner's alone.
    EXPECT_EQ(std::filesystem::status(Path("inmail.log")).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    // The trace shows the dialogue, never the credentials.
    std::string trace = ReadFile(Path("inmail.log"));
    EXPECT_NE(trace.find("AUTH"), std::string::npos);
    EXPECT_EQ(trace.find("pa55word"), std::string::npos);
    EXPECT_EQ(trace.find(kr::net::Base64("pa55word")), std::string::npos);
    EXPECT_EQ(trace.find(kr::net::Base64(std::string("\0alice\0pa55word", 15))), std::string::npos);

    WriteAccount("SMTP Port=" + std::to_string(server.port()) + "\nSMTP User Name=alice\nSMTP Password=nope\n");
    MailSender wrong;
    Address(wrong, server.port());
    wrong.SetMailHost("127.0.0.1");
    EXPECT_EQ(wrong.Send(), 9);
    EXPECT_EQ(wrong.ErrorText(9).rfind("Mail Server Error:\r535", 0), 0u) << wrong.ErrorText(9);
}

TEST_F(MailSenderTest, FailuresGiveTheirResultsAndTexts) {
    krtest::SmtpTestServer::Options so;
    so.refuse = {"nobody@example.com"};
    krtest::SmtpTestServer server(MailDir(), so);
    ASSERT_TRUE(server.started()) << server.errors();

    MailSender refused;
    Address(refused, server.port());
    refused.AddTo("", "nobody@example.com");
    ASSERT_EQ(refused.Send(), 9);
    EXPECT_EQ(refused.ErrorText(9), "Mail Server Error:\r550 5.1.1 <nobody@example.com>: Recipient address rejected");
    EXPECT_TRUE(server.Received().empty());

    MailSender down;
    Address(down, krtest::UnusedPort());
    ASSERT_EQ(down.Send(), 6);
    EXPECT_EQ(down.ErrorText(6), "Failed to connect. Mail Server not found!");

    krtest::SilentServer silent;
    WriteAccount("SMTP Timeout=1\n");
    MailSender waiting;
    Address(waiting, silent.port());
    ASSERT_EQ(waiting.Send(), 8);
    EXPECT_EQ(waiting.ErrorText(8), "Failed to receive");

    MailSender noHost;
    Address(noHost, server.port());
    noHost.SetMailHost("");
    EXPECT_EQ(noHost.Send(), 1);

    MailSender missing;
    Address(missing, server.port());
    missing.AddAttachment("no-such-file.zip", kr::kMailFileTypeBinary);
    EXPECT_EQ(missing.Send(), 12);
    EXPECT_TRUE(server.Received().empty());
}

TEST_F(MailSenderTest, CancelFromAnotherThread) {
    krtest::SilentServer silent;
    WriteAccount("SMTP Timeout=30\n");
    MailSender m;
    Address(m, silent.port());
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        m.Cancel();
    });
    int32_t result = m.Send();
    canceller.join();
    EXPECT_EQ(result, 14);
    EXPECT_EQ(m.ErrorText(result), "User Cancel");
    EXPECT_EQ(m.USERCANCEL.load(), 0);
}

TEST_F(MailSenderTest, AnAddressHoldingALineBreakIsRefusedInEveryFieldBeforeConnecting) {
    krtest::SmtpTestServer server(MailDir());
    ASSERT_TRUE(server.started()) << server.errors();
    const std::string injected = "bob@example.com\r\nRCPT TO:<evil@x.org>";
    for (int field = 0; field < 4; ++field) {
        MailSender m;
        Address(m, server.port());
        if (field == 0) {
            m.TOADR.clear();
            m.AddTo("Bob", injected);
        }
        if (field == 1) m.AddCc("Carol", injected);
        if (field == 2) m.AddBcc(injected);
        if (field == 3) m.SetReturnPath(injected);
        EXPECT_EQ(m.Send(), 1) << field;
        EXPECT_EQ(m.ErrorText(1), "Bad arguments from form");
        EXPECT_EQ(m.lastResult().detail, std::string(field == 3 ? "The sender" : "The recipient") +
                                             " address cannot be used: " + injected);
    }
    // Not a single RCPT reached the server, for the injected address or Bob.
    EXPECT_TRUE(server.Received().empty());
}
