// The MIME text of a message, read back without a server.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>

#include "platform/net/Mime.h"
#include "platform/net/SmtpClient.h"
#include "SmtpTestServer.h"

using namespace kr::net;

namespace {

std::string DecodeQuotedPrintable(const std::string& s) {
    std::string r;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '=' && i + 2 < s.size() && s[i + 1] == '\r' && s[i + 2] == '\n') {
            i += 2;
        } else if (s[i] == '=' && i + 2 < s.size()) {
            r.push_back(static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            r.push_back(s[i]);
        }
    }
    return r;
}

std::size_t LongestLine(const std::string& s) {
    std::size_t longest = 0, start = 0;
    while (start < s.size()) {
        std::size_t nl = s.find("\r\n", start);
        std::size_t end = nl == std::string::npos ? s.size() : nl;
        longest = std::max(longest, end - start);
        if (nl == std::string::npos) break;
        start = nl + 2;
    }
    return longest;
}

}  // namespace

TEST(Mime, HeaderTextsOutsideAsciiBecomeEncodedWordsThatDecodeBack) {
    std::string subject = "Rechnung für Müller – 10 € ✓ ";
    for (int i = 0; i < 5; ++i) subject += "Grüße aus Köln ";
    std::string encoded = EncodeHeaderText(subject, 9);
    EXPECT_EQ(encoded.find_first_of("äöüé€"), std::string::npos);
    EXPECT_LE(LongestLine("Subject: " + encoded), 78u);
    EXPECT_EQ(krtest::DecodeWords(encoded), subject);

    // Line breaks in a header text cannot start a new header.
    std::string injected = EncodeHeaderText("Hello\r\nBcc: victim@example.com");
    EXPECT_EQ(injected.find('\n'), std::string::npos);

    // Long plain texts fold at blanks and lose nothing.
    std::string plain;
    for (int i = 0; i < 30; ++i) plain += "word" + std::to_string(i) + " ";
    std::string folded = EncodeHeaderText(plain, 9);
    EXPECT_LE(LongestLine("Subject: " + folded), 78u);
    std::string unfolded = folded;
    for (std::size_t p; (p = unfolded.find("\r\n")) != std::string::npos;) unfolded.erase(p, 2);
    EXPECT_EQ(unfolded, plain);
}

TEST(Mime, BytesThatAreNotUtf8AreReadAsLatin1) {
    EXPECT_EQ(ToValidUtf8("M\xfcller"), "M\xc3\xbcller");
    EXPECT_EQ(ToValidUtf8("M\xc3\xbcller"), "M\xc3\xbcller");
    EXPECT_EQ(ToValidUtf8("\xc3"), "\xc3\x83");
}

TEST(Mime, SenderTextsAsUsersWriteThem) {
    struct Case {
        const char* text;
        const char* name;
        const char* address;
    } cases[] = {
        {"\"Jane Doe\" <jane@example.com>", "Jane Doe", "jane@example.com"},
        {"Jane Doe <jane@example.com>", "Jane Doe", "jane@example.com"},
        {"  jane@example.com ", "", "jane@example.com"},
        {"Jane Doe", "Jane Doe", ""},
        {"\"Jane Doe\" <>", "Jane Doe", ""},
        {"\"Say \\\"hi\\\"\" <a@b>", "Say \"hi\"", "a@b"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        MailAddress a = ParseAddress(c.text);
        EXPECT_EQ(a.name, c.name) << c.text;
        EXPECT_EQ(a.address, c.address) << c.text;
    }
    EXPECT_EQ(FormatAddress({"Jane \"J\" Doe", "jane@example.com"}), "\"Jane \\\"J\\\" Doe\" <jane@example.com>");
    EXPECT_EQ(FormatAddress({"", "jane@example.com"}), "jane@example.com");
    EXPECT_FALSE(IsUsableAddress("jane doe@example.com"));
    EXPECT_FALSE(IsUsableAddress("jane@example.com>\r\nRCPT TO:<x@y"));
    EXPECT_FALSE(IsUsableAddress(""));
    EXPECT_TRUE(IsUsableAddress("jane@example.com"));
}

TEST(Mime, MailHostForms) {
    struct Case {
        const char* text;
        bool valid;
        const char* host;
        int port;
        bool tls;
    } cases[] = {
        {"mail.example.com", true, "mail.example.com", 0, false},
        {" mail.example.com:587 ", true, "mail.example.com", 587, false},
        {"smtps://mail.example.com", true, "mail.example.com", 0, true},
        {"SMTP://127.0.0.1:2525/", true, "127.0.0.1", 2525, false},
        {"[::1]:25", true, "::1", 25, false},
        {"::1", true, "::1", 0, false},
        {"mail.example.com:", false, "", 0, false},
        {"mail.example.com:99999", false, "", 0, false},
        {"mail example.com", false, "", 0, false},
        {"user@mail.example.com", false, "", 0, false},
        {"", false, "", 0, false},
    };
    for (const Case& c : cases) {
        MailHost h = ParseMailHost(c.text);
        EXPECT_EQ(h.valid, c.valid) << c.text;
        if (!c.valid) continue;
        EXPECT_EQ(h.host, c.host) << c.text;
        EXPECT_EQ(h.port, c.port) << c.text;
        EXPECT_EQ(h.implicitTls, c.tls) << c.text;
    }
}

TEST(Mime, BodyOutsideAsciiOrWithLongLinesIsQuotedPrintable) {
    MailMessage m;
    m.to.push_back({"", "a@example.com"});
    std::string longLine(300, 'x');
    m.body = "Grüße = viele\nzweite Zeile mit Blank am Ende \n" + longLine + "\n.dot line";
    MimeSource src(m);
    krtest::MimePart part = krtest::ParsePart(src.ReadAll());
    EXPECT_EQ(part.headers["content-transfer-encoding"], "quoted-printable");
    EXPECT_LE(LongestLine(part.body), 76u);
    EXPECT_EQ(DecodeQuotedPrintable(part.body),
              "Grüße = viele\r\nzweite Zeile mit Blank am Ende \r\n" + longLine + "\r\n.dot line\r\n");

    MailMessage plain;
    plain.to.push_back({"", "a@example.com"});
    plain.body = "one\rtwo\r\nthree\nfour";
    MimeSource src2(plain);
    krtest::MimePart p2 = krtest::ParsePart(src2.ReadAll());
    EXPECT_EQ(p2.headers["content-transfer-encoding"], "7bit");
    EXPECT_EQ(p2.body, "one\r\ntwo\r\nthree\r\nfour\r\n");
}

TEST(Mime, SizeIsKnownBeforeSendingAndAttachmentsStream) {
    QTemporaryDir dir;
    std::string big = dir.filePath("big.bin").toStdString();
    std::string empty = dir.filePath("empty.txt").toStdString();
    std::string data;
    for (int i = 0; i < 200001; ++i) data.push_back(static_cast<char>((i * 7919) & 0xFF));
    std::ofstream(big, std::ios::binary) << data;
    std::ofstream(empty, std::ios::binary);

    MailMessage m;
    m.to.push_back({"", "a@example.com"});
    m.body = "see attached";
    m.attachments.push_back({big, "", ""});
    m.attachments.push_back({empty, "", ""});
    MimeSource src(m);
    ASSERT_TRUE(src.ok());
    std::uint64_t expected = src.totalSize();
    // Read in small uneven pieces, as the transfer does.
    std::string all;
    char buf[1000];
    for (std::size_t got; (got = src.Read(buf, 777)) > 0;) all.append(buf, got);
    EXPECT_EQ(all.size(), expected);
    EXPECT_LE(LongestLine(all), 998u);

    krtest::MimePart whole = krtest::ParsePart(all);
    std::vector<krtest::MimePart> parts = krtest::SplitMultipart(whole);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[1].headers["content-disposition"], "attachment; filename=\"big.bin\"");
    EXPECT_EQ(krtest::DecodeBase64(parts[1].body), data);
    EXPECT_EQ(parts[2].headers["content-type"], "text/plain; name=\"empty.txt\"");
    EXPECT_EQ(krtest::DecodeBase64(parts[2].body), "");

    MailMessage missing = m;
    missing.attachments.push_back({dir.filePath("nothere.pdf").toStdString(), "", ""});
    missing.attachments.push_back({dir.path().toStdString(), "", ""});
    MimeSource bad(missing);
    EXPECT_FALSE(bad.ok());
    EXPECT_NE(bad.error().find("nothere.pdf"), std::string::npos);
}
