// The mail account defaults from the registry stand-in file.
#include <gtest/gtest.h>

#include <fstream>

#include "MailFixture.h"
#include "organiser/MailSettings.h"

using kr::Options;
using kr::MailSettings;

namespace {

class MailSettingsTest : public krtest::MailFixture {
protected:
    void WriteRegistry(const std::string& text) { std::ofstream(Path("registry.ini"), std::ios::binary) << text; }
};

const char* kFullRegistry =
    "; the stand-in of the registry\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager]\n"
    "Default Mail Account=00000001\n"
    "[hkey_current_user\\software\\microsoft\\internet account manager\\accounts\\00000001]\n"
    "  smtp server  = mail.example.com   \n"
    "SMTP Reply To Email Address=\n"
    "SMTP Email Address=jane@example.com\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\n"
    "RegisteredOwner=Jane Owner\n";

}  // namespace

TEST_F(MailSettingsTest, EmptySettingsAreFilledInOrder) {
    WriteRegistry(kFullRegistry);
    kr::DefaultEmailSettings();
    EXPECT_EQ(Options().Email_Host.get(), "mail.example.com");
    EXPECT_EQ(Options().Email_SenderName.get(), "Jane Owner");
    // The reply-to address is empty, so the account's address is taken.
    EXPECT_EQ(Options().Email_Sender.get(), "jane@example.com");
    EXPECT_EQ(Options().News_Sender.get(), "jane@example.com");
    EXPECT_TRUE(responder.shown().empty());
}

TEST_F(MailSettingsTest, SettingsAlreadySetAreKept) {
    WriteRegistry(kFullRegistry);
    Options().Email_Host = "smtp.mine.org";
    Options().Email_Sender = "me@mine.org";  // an address alone: no display name is added
    Options().News_Sender = "news@mine.org";
    kr::DefaultEmailSettings();
    EXPECT_EQ(Options().Email_Host.get(), "smtp.mine.org");
    EXPECT_EQ(Options().Email_SenderName.get(), "");
    EXPECT_EQ(Options().Email_Sender.get(), "me@mine.org");
    EXPECT_EQ(Options().News_Sender.get(), "news@mine.org");
}

TEST_F(MailSettingsTest, AccountNameIsCutToEightCharacters) {
    WriteRegistry(
        "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager]\n"
        "Default Mail Account=0000000123\n"
        "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001]\n"
        "SMTP Server=cut.example.com\n");
    EXPECT_EQ(MailSettings.DefaultAccountKey(),
              "Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001");
    EXPECT_EQ(MailSettings.SmtpServer(), "cut.example.com");
}

TEST_F(MailSettingsTest, NoRegistryDataLeavesEverythingAsItWas) {
    // No file at all: quiet mode records the error and shows nothing.
    kr::DefaultEmailSettings();
    EXPECT_TRUE(Options().Email_Host.empty());
    EXPECT_TRUE(Options().Email_Sender.empty());
    EXPECT_TRUE(Options().Email_SenderName.empty());
    EXPECT_TRUE(responder.shown().empty());
    EXPECT_EQ(MailSettings.LASTOP.str(), "opening");
    EXPECT_EQ(MailSettings.LASTERROR.str(), "2");

    // Without quiet mode the error is shown.
    MailSettings.Init(0);
    EXPECT_EQ(MailSettings.SmtpServer(), "");
    ASSERT_FALSE(responder.shown().empty());
    EXPECT_EQ(responder.shown()[0].request.title, "Error");
    EXPECT_EQ(responder.shown()[0].request.text,
              "Error opening Software\\Microsoft\\Internet Account Manager:\r2");
}

TEST_F(MailSettingsTest, OwnerFromThePasswordDatabaseWhenTheStandInHasNone) {
    WriteRegistry("[HKEY_CURRENT_USER]\nSMTP Server=direct.example.com\n");
    MailSettings.ownerName = [] { return std::string("Pat Example"); };
    kr::DefaultEmailSettings();
    // No default account: the values of HKEY_CURRENT_USER itself are searched.
    EXPECT_EQ(Options().Email_Host.get(), "direct.example.com");
    EXPECT_EQ(Options().Email_SenderName.get(), "Pat Example");
}

TEST_F(MailSettingsTest, TransportOfTheDefaultAccount) {
    WriteAccount("SMTP Port=587\nSMTP Secure Connection=1\nSMTP User Name=jane\nSMTP Password=pw\nSMTP Timeout=5\n");
    kr::MailTransport t = kr::MailTransportFor("mail.example.com");
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.options.host, "mail.example.com");
    EXPECT_EQ(t.options.port, 587);
    EXPECT_EQ(t.options.security, kr::net::SmtpSecurity::StartTls);
    EXPECT_EQ(t.options.user, "jane");
    EXPECT_EQ(t.options.password, "pw");
    EXPECT_EQ(t.options.responseTimeoutMs, 5000);

    // The host text wins over the account.
    t = kr::MailTransportFor("smtps://mail.example.com:2465");
    EXPECT_EQ(t.options.port, 2465);
    EXPECT_EQ(t.options.security, kr::net::SmtpSecurity::Tls);
    EXPECT_FALSE(kr::MailTransportFor("mail example com").valid);
}
