// The built KR98 under openbox on a fresh data folder, driven as a user
// drives it (xdotool): Lists, Contacts, a new contact with an e-mail
// address; "Email..." from the list's popup opens a new message to it; the
// subject and text typed, "&Send Now" delivers it to the tests' SMTP server
// on 127.0.0.1 and OK stores it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

// The dictionary before the X11 headers, whose macros (None) clash with it.
#include "../desktop/KR98DataFile.h"
#include "../net/SmtpTestServer.h"
#include "platform/runtime/Strings.h"

#include "../desktop/ProgramDesktop.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;

class ContactMailE2ETest : public OpenboxKR98Test {
protected:
    ContactMailE2ETest() : OpenboxKR98Test("kr-e2e-contact-mail", "UseKRMsg=0\r\n") {}

    // The stored messages, read from the data file while KR98 holds it.
    std::vector<MessagesRecord> StoredMessages() {
        std::vector<MessagesRecord> out;
        InDataFolder(dir_.path(), [&] {
            data::Table& t = data::TableOf(MessagesDef());
            if (t.Open() != 0) return;
            t.Set();
            while (t.Next() == 0) out.push_back(t.Rec<MessagesRecord>());
            t.Close();
        });
        return out;
    }
};

TEST_F(ContactMailE2ETest, AContactsEmailIsSentToTheServerAndStored) {
    fs::create_directory(dir_ / "mail");
    krtest::SmtpTestServer server((dir_ / "mail").string());
    ASSERT_TRUE(server.started()) << server.errors();
    // The mail host with the server's port, and the sender, as the Options
    // window stores them.
    std::ofstream(dir_ / "kr98.INI") << "[Settings]\r\nUseKRMsg=0\r\nHost=127.0.0.1:" << server.port()
                                     << "\r\nSender=alice@example.com\r\nSenderName=Alice Sender\r\n";

    const std::string frame = StartKR98();
    ASSERT_FALSE(frame.empty()) << "the frame did not show\n" << kr98_.Said();
    ASSERT_FALSE(WaitForStartupList().empty()) << "the start-up list did not show";
    xdo::Keys(frame, {"alt+l", "c"});  // &Lists, &Contacts
    const std::string contacts = xdo::WindowNamed("^Contacts$");
    ASSERT_FALSE(contacts.empty()) << "the contacts list did not open; windows:\n" << xdo::VisibleTitles();

    xdo::Keys(contacts, {"alt+n"});
    const std::string contact = xdo::WindowNamed("^New Contact");
    ASSERT_FALSE(contact.empty()) << "the contact form did not open; windows:\n" << xdo::VisibleTitles();
    xdo::Type(contact, "Baker");  // the last name has the focus
    xdo::Keys(contact, {"alt+e"});
    xdo::Type(contact, "bob@example.org");
    xdo::Keys(contact, {"Return"});
    ASSERT_TRUE(xdo::WaitGone("^New Contact")) << "the contact form stayed open\n" << kr98_.Asked();

    // The popup of the list's highlighted row (the Menu key): "&New",
    // "&Edit", "&Delete", then the list's own "&Copy to Clipboard" and
    // "Email..." (Down passes over separators).
    xdo::Keys(contacts, {"Menu"});
    ASSERT_TRUE(WaitUntil([&] { return PopupCount(display(), kr98_.pid()) > 0; }, 10000))
        << "the popup did not show";
    for (const char* key : {"Down", "Down", "Down", "Down", "Down", "Return"})
        xdo::Run({"key", "--clearmodifiers", key});
    const std::string message = xdo::WindowNamed("^New E-mail Message");
    ASSERT_FALSE(message.empty()) << "the message form did not open; windows:\n" << xdo::VisibleTitles();

    // To and Name come from the contact; the subject is the sixth stop from
    // the mail type, the text on the second tab.
    xdo::Keys(message, {"Tab", "Tab", "Tab", "Tab", "Tab", "Tab"});
    xdo::Type(message, "Quarterly figures");
    xdo::Keys(message, {"ctrl+Tab"});
    xdo::Type(message, "The figures are in.");
    xdo::Keys(message, {"alt+s"});  // &Send Now
    ASSERT_TRUE(WaitUntil([&] { return server.Received().size() == 1; }, 20000))
        << "nothing arrived\n" << server.errors() << kr98_.Asked();
    ASSERT_TRUE(WaitUntil([&] { return kr98_.Asked().find("Mail sent:  bob@example.org") != std::string::npos; }, 10000))
        << kr98_.Asked();
    xdo::Keys(message, {"alt+o"});
    ASSERT_TRUE(xdo::WaitGone("^New E-mail Message")) << "the message form stayed open\n" << kr98_.Asked();

    const krtest::ReceivedMail mail = server.Received()[0];
    EXPECT_EQ(mail.mailFrom, "alice@example.com");
    EXPECT_EQ(mail.rcpt, std::vector<std::string>{"bob@example.org"});
    krtest::MimePart part = krtest::ParsePart(mail.raw);
    EXPECT_EQ(part.headers["to"], "\"Baker\" <bob@example.org>");
    EXPECT_EQ(part.headers["from"], "\"Alice Sender\" <alice@example.com>");
    EXPECT_EQ(part.headers["subject"], "Quarterly figures");
    EXPECT_EQ(part.body.substr(0, part.body.find_last_not_of("\r\n") + 1), "The figures are in.") << mail.raw;

    const std::vector<MessagesRecord> stored = StoredMessages();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(ClipRight(stored[0].EmailTo.str()), "bob@example.org");
    EXPECT_EQ(ClipRight(stored[0].Subject.str()), "Quarterly figures");
    EXPECT_NE(stored[0].ContactID, 0);
}

}  // namespace
}  // namespace kr::test
