// Sending stored messages by their number through a real SMTP server.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>

#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "../net/NntpTestServer.h"
#include "../net/SmtpTestServer.h"
#include "MailFixture.h"
#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "organiser/MailWorker.h"
#include "organiser/MessagesFileAccess.h"
#include "platform/data/Table.h"
#include "organiser/SendEmailMessage.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Strings.h"

using kr::MessagesRecord;

namespace {

class SendEmailMessageTest : public krtest::MailFixture {
protected:
    void SetUp() override {
        MailFixture::SetUp();
        kr::data::SetKeyDerivationIterations(64);  // the key is not what these tests are about
        kr::DictionaryInit();
        kr::Options().GlobalUseLog = 1;  // the event log is written while LogEvents is on
        kr::InstallMessagesAccess(&access);
        kr::InstallClock(&clock);
        kr::MailScriptServices s;
        s.translateValues = [](const std::string& text) {
            return kr::ReplaceAll(text, "[TODAY]", "12/03/2024", false);
        };
        s.setScriptVariable = [this](const std::string& name, const std::string& value) {
            values[kr::Upper(name)] = value;
        };
        s.setActivityText = [this](const std::string& text) { activity.push_back(text); };
        kr::InstallMailScriptServices(s);
        kr::Options().Email_Host = "127.0.0.1";
        kr::Options().Email_Sender = "alice@example.com";
        kr::Options().Email_SenderName = "Alice Sender";
        kr::Options().Email_Organization = "Users";
    }
    void TearDown() override {
        kr::Options().GlobalUseLog = 0;
        kr::InstallMailScriptServices({});
        kr::InstallMessagesAccess(nullptr);
        kr::DictionaryKill();
        kr::data::CloseIdleFiles();
        kr::data::SetKeyDerivationIterations(0);
        kr::InstallClock(nullptr);
        MailFixture::TearDown();
    }

    // Stores a message in the data file's Messages table; its ID.
    int32_t AddRow(const std::string& to, const std::function<void(MessagesRecord&)>& more = {}) {
        kr::MessagesFileManager& f = kr::Messages_File();
        EXPECT_EQ(f.Open(), kr::data::kLevelBenign);
        EXPECT_EQ(f.PrimeRecord(), kr::data::kLevelBenign);
        MessagesRecord& r = f.rec();
        r.MailType = "Email";
        r.EmailTo = to;
        r.EmailToName = "Bob";
        r.Subject = "Report of [TODAY]";
        r.Message = "Dear Bob,\r\nthe report of [today] is attached.";
        if (more) more(r);
        EXPECT_EQ(f.Insert(), kr::data::kLevelBenign);
        int32_t id = r.EmailID;
        f.Close();
        return id;
    }
    // The stored row, read back from the table.
    MessagesRecord Row(int32_t id) {
        kr::MessagesFileManager& f = kr::Messages_File();
        f.Open();
        f.rec().EmailID = id;
        EXPECT_EQ(f.Fetch("M_:KeyEmailID"), kr::data::kLevelBenign);
        MessagesRecord r = f.rec();
        f.Close();
        return r;
    }
    void UsePort(int port) { WriteAccount("SMTP Port=" + std::to_string(port) + "\nSMTP Timeout=5\n"); }
    std::string EventLog() { return ReadFile(Path("KR98Evnt.LOG")); }

    kr::MessagesFileAccess access;
    kr::ManualClock clock{kr::MakeDate(12, 3, 2024), kr::MakeTime(9, 30)};
    std::map<std::string, std::string> values;
    std::vector<std::string> activity;
};

}  // namespace

TEST_F(SendEmailMessageTest, StoredMessageIsSentByItsNumber) {
    krtest::SmtpTestServer server(MailDir());
    ASSERT_TRUE(server.started()) << server.errors();
    UsePort(server.port());
    std::string attachment = Path("notes.txt");
    std::ofstream(attachment, std::ios::binary) << "attached notes";
    int32_t id = AddRow("bob@example.com", [&](MessagesRecord& r) {
        r.CC = "carol@example.com";
        r.BCC = "eve@example.com";
        r.Attachment = attachment;
    });
    kr::Messages_File().rec() = MessagesRecord();  // the buffer plays no part

    ASSERT_EQ(kr::SendEmailMessage(id, false, true), 0) << EventLog();

    auto received = server.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].mailFrom, "alice@example.com");
    EXPECT_EQ(received[0].rcpt,
              (std::vector<std::string>{"bob@example.com", "carol@example.com", "eve@example.com"}));
    krtest::MimePart whole = krtest::ParsePart(received[0].raw);
    EXPECT_EQ(whole.headers["from"], "\"Alice Sender\" <alice@example.com>");
    EXPECT_EQ(whole.headers["to"], "\"Bob\" <bob@example.com>");
    EXPECT_EQ(whole.headers["cc"], "\"carol@example.com\" <carol@example.com>");
    EXPECT_EQ(whole.headers["subject"], "Report of 12/03/2024");
    EXPECT_EQ(whole.headers["x-mailer"], "Kairoll 2000");
    EXPECT_EQ(whole.headers["organization"], "Users");
    auto parts = krtest::SplitMultipart(whole);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].body, "Dear Bob,\r\nthe report of 12/03/2024 is attached.");
    EXPECT_EQ(krtest::DecodeBase64(parts[1].body), "attached notes");

    // The stored row keeps its references and carries the date of sending.
    EXPECT_EQ(Row(id).Subject.str(), "Report of [TODAY]");
    EXPECT_EQ(Row(id).LastDateSent, kr::MakeDate(12, 3, 2024));
    EXPECT_EQ(kr::Messages_File().UseCount(), 0);
    EXPECT_EQ(values["MAIL"], "Sent");
    EXPECT_EQ(values["MAILERROR"], "None");
    EXPECT_EQ(values["EMAILHOST"], "127.0.0.1");
    EXPECT_EQ(values["EMAILSENDERNAME"], "Alice Sender");
    EXPECT_EQ(values["EMAILRETURNPATH"], "alice@example.com");
    EXPECT_EQ(activity, (std::vector<std::string>{"Sending Email...", ""}));
    EXPECT_NE(EventLog().find("Sent bob@example.com"), std::string::npos);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(Path("inmail.log"))));
}

TEST_F(SendEmailMessageTest, SendNowSendsTheBufferAndStampsNothing) {
    krtest::SmtpTestServer server(MailDir());
    ASSERT_TRUE(server.started()) << server.errors();
    UsePort(server.port());
    int32_t id = AddRow("bob@example.com");
    kr::Messages_File().rec() = Row(id);
    kr::Messages_File().rec().Subject = "Edited in the form";

    ASSERT_EQ(kr::SendEmailMessage(0, true, false), 0);
    ASSERT_EQ(server.Received().size(), 1u);
    EXPECT_EQ(krtest::ParsePart(server.Received()[0].raw).headers["subject"], "Edited in the form");
    EXPECT_EQ(Row(id).LastDateSent, 0);
    EXPECT_EQ(Row(id).Subject.str(), "Report of [TODAY]");
}

TEST_F(SendEmailMessageTest, FailuresAreLoggedAndLeftInTheScriptValues) {
    krtest::SmtpTestServer::Options so;
    so.refuse = {"nobody@example.com"};
    krtest::SmtpTestServer server(MailDir(), so);
    ASSERT_TRUE(server.started()) << server.errors();
    UsePort(server.port());

    int32_t refused = AddRow("nobody@example.com");
    EXPECT_EQ(kr::SendEmailMessage(refused, false, true), 9);
    EXPECT_EQ(values["MAIL"], "Error");
    EXPECT_EQ(values["MAILERROR"], "Mail Server Error:\r550 5.1.1 <nobody@example.com>: Recipient address rejected");
    EXPECT_NE(EventLog().find("Could not send nobody@example.com"), std::string::npos);
    EXPECT_NE(EventLog().find("Error:  Mail Server Error: 550 5.1.1"), std::string::npos);
    EXPECT_EQ(Row(refused).LastDateSent, 0);

    // A To of N/A in any case adds no recipient.
    int32_t none = AddRow("n/A");
    EXPECT_EQ(kr::SendEmailMessage(none, false, true), 15);
    EXPECT_EQ(values["MAILERROR"], "No recipiens specified");

    // A row that is not there.
    EXPECT_EQ(kr::SendEmailMessage(none + 100, false, true), 1);
    EXPECT_NE(EventLog().find("Error sending message"), std::string::npos);
    EXPECT_TRUE(responder.shown().empty());
    EXPECT_TRUE(server.Received().empty());
}

TEST_F(SendEmailMessageTest, MailMustBeSetUpForItsType) {
    int32_t mail = AddRow("bob@example.com");
    int32_t news = AddRow("comp.lang.misc", [](MessagesRecord& r) { r.MailType = "News"; });
    kr::Options().Email_Sender = "";
    EXPECT_EQ(kr::SendEmailMessage(mail, false, true), 1);
    ASSERT_EQ(responder.shown().size(), 1u);
    EXPECT_EQ(responder.shown()[0].request.title, "Error!");
    EXPECT_EQ(responder.shown()[0].request.text, kr::kEmailNotSetup);
    EXPECT_TRUE(values.empty());

    // News skips the e-mail check and applies its own.
    responder.clear();
    kr::Options().News_Host = "news.example.com";
    EXPECT_EQ(kr::SendEmailMessage(news, false, true), 1);
    ASSERT_EQ(responder.shown().size(), 1u);
    EXPECT_EQ(responder.shown()[0].request.text, kr::kNewsNotSetup);
}

TEST_F(SendEmailMessageTest, AsyncSendReportsOnTheCallingThreadAndDoesNotBlockIt) {
    auto waitFor = [](const std::optional<int32_t>& r) {
        QElapsedTimer timer;
        timer.start();
        while (!r && timer.elapsed() < 30000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    };
    QObject receiver;

    // A send that is delivered: reported here, the row stamped here.
    {
        krtest::SmtpTestServer server(MailDir());
        ASSERT_TRUE(server.started()) << server.errors();
        UsePort(server.port());
        int32_t id = AddRow("bob@example.com");
        std::optional<int32_t> result;
        kr::SendEmailMessageAsync(id, false, true, &receiver, [&](int32_t r) { result = r; });
        waitFor(result);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(server.Received().size(), 1u);
        EXPECT_EQ(Row(id).LastDateSent, kr::MakeDate(12, 3, 2024));
        EXPECT_EQ(values["MAIL"], "Sent");
    }

    krtest::SilentServer slow;  // answers nothing until the timeout
    WriteAccount("SMTP Port=" + std::to_string(slow.port()) + "\nSMTP Timeout=1\n");
    int32_t id = AddRow("bob@example.com");
    activity.clear();
    std::optional<int32_t> result;
    std::thread::id reportedOn;
    kr::SendEmailMessageAsync(id, false, true, &receiver, [&](int32_t r) {
        result = r;
        reportedOn = std::this_thread::get_id();
    });
    // The call returns while the send still waits on the server.
    EXPECT_FALSE(result.has_value());
    EXPECT_EQ(kr::RunningMailSends(), 1);
    EXPECT_EQ(activity, (std::vector<std::string>{"Sending Email..."}));
    waitFor(result);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, 8);
    EXPECT_EQ(reportedOn, std::this_thread::get_id());
    EXPECT_EQ(values["MAILERROR"], "Failed to receive");
    EXPECT_EQ(activity.back(), "");

    // A receiver that is gone gets no report, but the outcome is still kept.
    std::optional<int32_t> lost;
    values.clear();
    {
        QObject shortLived;
        kr::SendEmailMessageAsync(id, false, true, &shortLived, [&](int32_t r) { lost = r; });
    }
    kr::CancelMailSends();
    QCoreApplication::processEvents();
    EXPECT_FALSE(lost.has_value());
    EXPECT_EQ(values["MAILERROR"], "User Cancel");
    EXPECT_EQ(kr::RunningMailSends(), 0);
    EXPECT_EQ(kr::Messages_File().UseCount(), 0);

    // A failure before the send is reported through the event loop as well.
    std::optional<int32_t> missing;
    kr::SendEmailMessageAsync(id + 100, false, true, &receiver, [&](int32_t r) { missing = r; });
    EXPECT_FALSE(missing.has_value());
    QCoreApplication::processEvents();
    EXPECT_EQ(missing, 1);
}

namespace {

// Mass mailings and news posts through the same sending of stored messages.
class MassAndNewsTest : public SendEmailMessageTest {
protected:
    void TearDown() override {
        kr::CancelMailSends();  // joins the worker threads of the sends
        SendEmailMessageTest::TearDown();
    }
    static void AddContact(const std::string& first, const std::string& last, const std::string& email,
                           const std::string& category) {
        auto& f = kr::Contact_File();
        ASSERT_EQ(f.Open(), kr::data::kLevelBenign);
        ASSERT_EQ(f.PrimeRecord(), kr::data::kLevelBenign);
        f.rec().FirstName = first;
        f.rec().LastName = last;
        f.rec().Email = email;
        f.rec().ContactCategory = category;
        ASSERT_EQ(f.Insert(), kr::data::kLevelBenign);
        f.Close();
    }
    int32_t AddMassMailing(const std::string& category) {
        return AddRow("N/A", [&](MessagesRecord& r) {
            r.MailType = "Mass Mailing";
            r.EmailToName = "";
            r.EmailToGroup = category;
            r.CC = "carol@example.com";  // hidden for this type: never sent
        });
    }
    // Runs the send as the windows and the script runner do, until it reports.
    int32_t SendAsync(int32_t id) {
        QObject receiver;
        std::optional<int32_t> result;
        kr::SendEmailMessageAsync(id, false, true, &receiver, [&](int32_t r) { result = r; });
        QElapsedTimer timer;
        timer.start();
        while (!result && timer.elapsed() < 60000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return result.value_or(-1);
    }
    std::string To(const krtest::ReceivedMail& m) { return krtest::ParsePart(m.raw).headers["to"]; }
};

}  // namespace

TEST_F(MassAndNewsTest, MassMailingSendsOneMessageToEachContactWithAnAddress) {
    AddContact("Ann", "Lee", "ann@example.com", "Friends");
    AddContact("Ben", "Moss", "", "Friends");  // no address: not mailed
    AddContact("Cy", "Nash", "cy@example.com", "Friends");
    AddContact("Dora", "Orr", "dora@example.com", "Work");
    int32_t id = AddMassMailing("Friends");
    {
        krtest::SmtpTestServer server(MailDir());
        ASSERT_TRUE(server.started()) << server.errors();
        UsePort(server.port());
        ASSERT_EQ(SendAsync(id), 0) << EventLog();

        auto received = server.Received();
        ASSERT_EQ(received.size(), 2u);
        EXPECT_EQ(received[0].rcpt, std::vector<std::string>{"ann@example.com"});
        EXPECT_EQ(To(received[0]), "\"Ann Lee\" <ann@example.com>");
        EXPECT_EQ(received[1].rcpt, std::vector<std::string>{"cy@example.com"});
        EXPECT_EQ(To(received[1]), "\"Cy Nash\" <cy@example.com>");
        krtest::MimePart first = krtest::ParsePart(received[0].raw);
        EXPECT_EQ(first.headers["subject"], "Report of 12/03/2024");
        EXPECT_EQ(first.headers.count("cc"), 0u);
        EXPECT_EQ(first.body.rfind("Dear Bob,\r\nthe report of 12/03/2024 is attached.", 0), 0u) << first.body;
    }
    std::string log = EventLog();
    EXPECT_NE(log.find("Sent ann@example.com"), std::string::npos) << log;
    EXPECT_NE(log.find("Sent cy@example.com"), std::string::npos);
    EXPECT_EQ(log.find("dora@example.com"), std::string::npos);
    EXPECT_EQ(activity, (std::vector<std::string>{"Mailing 1/2", "Mailing 2/2", ""}));
    EXPECT_EQ(values["MAIL"], "Sent");
    EXPECT_EQ(values["MAILERROR"], "None");
    EXPECT_EQ(Row(id).LastDateSent, kr::MakeDate(12, 3, 2024));
    EXPECT_EQ(kr::Messages_File().UseCount(), 0);
    EXPECT_EQ(kr::Contact_File().UseCount(), 0);
}

TEST_F(MassAndNewsTest, MassMailingGoesOnAfterARefusalOnly) {
    AddContact("Ann", "Lee", "ann@example.com", "Friends");
    AddContact("Cy", "Nash", "cy@example.com", "Friends");
    AddContact("Eve", "Pike", "eve@example.com", "Friends");
    int32_t id = AddMassMailing("Friends");

    // A refused recipient is logged, the others still get theirs.
    {
        krtest::SmtpTestServer::Options so;
        so.refuse = {"ann@example.com"};
        krtest::SmtpTestServer server(MailDir(), so);
        ASSERT_TRUE(server.started()) << server.errors();
        UsePort(server.port());
        EXPECT_EQ(SendAsync(id), 9);
        auto received = server.Received();
        ASSERT_EQ(received.size(), 2u);
        EXPECT_EQ(received[0].rcpt, std::vector<std::string>{"cy@example.com"});
        EXPECT_EQ(received[1].rcpt, std::vector<std::string>{"eve@example.com"});
    }
    std::string log = EventLog();
    EXPECT_NE(log.find("Could not send ann@example.com"), std::string::npos) << log;
    EXPECT_NE(log.find("Sent cy@example.com"), std::string::npos);
    EXPECT_NE(log.find("Sent eve@example.com"), std::string::npos);
    EXPECT_EQ(values["MAIL"], "Error");
    EXPECT_EQ(values["MAILERROR"], "Mail Server Error:\r550 5.1.1 <ann@example.com>: Recipient address rejected");
    EXPECT_EQ(Row(id).LastDateSent, 0);  // not everyone got it: not stamped

    // No server: the first failure ends the run, the rest are logged unsent.
    std::remove(Path("KR98Evnt.LOG").c_str());
    UsePort(krtest::UnusedPort());
    EXPECT_EQ(kr::SendEmailMessage(id, false, true), 6);
    log = EventLog();
    EXPECT_EQ(log.find("Sent "), std::string::npos) << log;
    for (const char* a : {"ann", "cy", "eve"})
        EXPECT_NE(log.find(std::string("Could not send ") + a + "@example.com"), std::string::npos) << a;
    EXPECT_EQ(log.find("Error:  "), log.rfind("Error:  ")) << "one failure tried";

    // A category without an address: nobody to mail.
    int32_t nobody = AddMassMailing("Empty");
    EXPECT_EQ(SendAsync(nobody), 15);
    EXPECT_EQ(values["MAILERROR"], "No recipiens specified");
    EXPECT_EQ(kr::Messages_File().UseCount(), 0);
}

TEST_F(MassAndNewsTest, NewsMessageIsPostedToItsGroups) {
    krtest::InnTestServer server(Path("inn"), {"local.test", "bob", "secret"});
    if (!server.started()) GTEST_SKIP() << server.whyNot();
    kr::Options().News_Host = "127.0.0.1:" + std::to_string(server.port());
    kr::Options().News_Sender = "alice@news.example.com";
    WriteAccount("NNTP User Name=bob\nNNTP Password=secret\nNNTP Timeout=10\n");
    int32_t id = AddRow("local.test", [](MessagesRecord& r) { r.MailType = "News"; });

    ASSERT_EQ(SendAsync(id), 0) << EventLog();
    auto spooled = server.Spooled();
    ASSERT_EQ(spooled.size(), 1u);
    const std::string& a = spooled[0];
    EXPECT_NE(a.find("\nFrom: alice@news.example.com\n"), std::string::npos) << a;
    EXPECT_NE(a.find("\nNewsgroups: local.test\n"), std::string::npos);
    EXPECT_NE(a.find("\nSubject: Report of 12/03/2024\n"), std::string::npos);
    EXPECT_NE(a.find("\nOrganization: Users\n"), std::string::npos);
    EXPECT_NE(a.find("\nX-Newsreader: Kairoll 2000\n"), std::string::npos);
    EXPECT_NE(a.find("\n\nDear Bob,\nthe report of 12/03/2024 is attached.\n"), std::string::npos);
    EXPECT_NE(EventLog().find("Sent local.test"), std::string::npos);
    EXPECT_EQ(values["MAIL"], "Sent");
    EXPECT_EQ(values["EMAILHOST"], kr::Options().News_Host.get());
    EXPECT_EQ(Row(id).LastDateSent, kr::MakeDate(12, 3, 2024));

    // Each refusal of the server is the result 9 with its reply.
    int32_t unknown = AddRow("no.such.group", [](MessagesRecord& r) { r.MailType = "News"; });
    struct Case {
        std::string account;
        int32_t row;
        std::string reply;
    };
    for (const Case& c : {Case{"NNTP User Name=bob\nNNTP Password=wrong\n", id, "481 Authentication failed"},
                          Case{"NNTP User Name=bob\nNNTP Password=secret\n", unknown, "441 "},
                          Case{"", id, "480 "}}) {
        WriteAccount(c.account + "NNTP Timeout=10\n");
        EXPECT_EQ(kr::SendEmailMessage(c.row, false, true), 9) << c.reply;
        EXPECT_EQ(values["MAILERROR"].rfind("Mail Server Error:\r" + c.reply, 0), 0u) << values["MAILERROR"];
    }
    EXPECT_NE(EventLog().find("Could not send no.such.group"), std::string::npos);
    EXPECT_EQ(server.Spooled().size(), 1u);
}
