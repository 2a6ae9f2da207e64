// The organiser's windows that send mail, against the tests' real SMTP
// server on 127.0.0.1 over a real data file: "Send E-&mail" of the message
// list through the script runner, with the activity text it sets.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QPushButton>
#include <QTableView>
#include <fstream>
#include <gtest/gtest.h>

#include "../net/SmtpTestServer.h"
#include "../ui/TableWindowsFixture.h"
#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "dictionary/windows/Setup.h"
#include "organiser/MailSettings.h"
#include "organiser/MailWorker.h"
#include "organiser/MessagesFileAccess.h"
#include "organiser/RegistryStandIn.h"
#include "organiser/SendEmailMessage.h"
#include "organiser/windows/BugReport.h"
#include "organiser/windows/GenerateEmail.h"
#include "platform/runtime/IniFile.h"
#include "scheduler/windows/TaskMessageWindow.h"
#include "organiser/windows/MessageWindows.h"
#include "dictionary/EventLog.h"
#include "scheduler/ScriptValues.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/ui/PopupMenu.h"
#include "platform/ui/ProcedureThread.h"
#include "scheduler/ActivityText.h"
#include "scheduler/ScriptInterpreter.h"
#include "scheduler/ScriptQueue.h"

namespace kr::organiser {
namespace {

using test::Pump;
using test::WaitFor;

class MailWindowsTest : public test::TableWindowsTest {
protected:
    MailWindowsTest() : TableWindowsTest(MakeDate(3, 4, 2025), MakeTime(9, 30)) {}
    void SetUp() override {
        TableWindowsTest::SetUp();
        CreateAndOpen({&data::TableOf(MessagesDef()), &data::TableOf(ContactDef()),
                       &data::TableOf(ContactCategoriesDef()), &data::TableOf(ConfigurationDef()),
                       &data::TableOf(ScriptingDef())});
        std::filesystem::create_directory("mail");
        SetRegistryFilePath(std::filesystem::absolute("registry.ini").string());
        ResetOptions();
        Options().Email_Host = "127.0.0.1";
        Options().Email_Sender = "alice@example.com";
        Options().Email_SenderName = "Alice Sender";
        MailScriptServices s;
        s.setActivityText = [](const std::string& text) { SetActivityText(text); };
        InstallMailScriptServices(s);
        InstallMessagesAccess(&access_);
        SetActivityText("");
    }
    void TearDown() override {
        CancelMailSends();
        ScriptQueue().Free();
        ProgramScriptInterpreter().Cancel();
        InstallMessagesAccess(nullptr);
        InstallMailScriptServices({});
        SetRegistryFilePath("");
        SetActivityText("");
        TableWindowsTest::TearDown();
    }
    // The default account on this port, with `more` lines of its own.
    void UsePort(int port, const std::string& more = "") {
        std::ofstream out("registry.ini", std::ios::binary);
        out << "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager]\n"
            << "Default Mail Account=00000001\n"
            << "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001]\n"
            << "SMTP Port=" << port << "\nSMTP Timeout=5\n" << more;
    }
    static int32_t AddMessage(const std::string& to, const std::string& subject) {
        data::Table& t = data::TableOf(MessagesDef());
        t.Clear();
        MessagesRecord& m = t.Rec<MessagesRecord>();
        m.MailType = "Email";
        m.EmailTo = to;
        m.Subject = subject;
        m.Message = "Hello.";
        EXPECT_EQ(t.AddAutoNumbered(MessagesDef().key("M_:KeyEmailID")), 0);
        return t.Rec<MessagesRecord>().EmailID;
    }
    QWidget* OpenMessages() {
        Start("BrowseMessages", [] { BrowseMessages(); });
        QWidget* w = WindowTitled("E-mail Messages");
        list_ = Child<QTableView>(w, "list");
        return w;
    }
    // "Send E-&mail" on the first row, then the timer's script steps.
    void SendFirstRow(QWidget* w) {
        list_->setFocus();
        list_->selectRow(0);
        Pump(20);
        Click(w, "send");
    }
    // One timer tick a second later: the script runner's step.
    void Tick() {
        now_ += 100;
        clock_.Set(MakeDate(3, 4, 2025), now_);
        ProgramScriptInterpreter().Step();
        Pump(20);
    }

    static std::string ReadEventLog() {
        std::ifstream in(EventLogPath(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Shows KR98's message window for a task message, clicks its Email
    // button (which must be there and enabled) and returns the mail window
    // it opens; nullptr, with a failure, at the first step that goes wrong.
    QWidget* EmailFromMessageWindow(const char* title, const char* text) {
        TaskMessageCopy message;
        message.Title = title;
        message.Message = text;
        if (!ShowMessageNormal(message)) {
            ADD_FAILURE() << "no message window";
            return nullptr;
        }
        QWidget* shown = WindowTitled(title);
        QAbstractButton* email = shown ? test::ButtonText(shown, "&Email") : nullptr;
        if (!email || !email->isEnabled()) {
            ADD_FAILURE() << "no enabled Email button on \"" << title << "\"";
            return nullptr;
        }
        email->click();
        QWidget* mail = WindowTitled("Email Message");
        if (!mail) ADD_FAILURE() << "no Email Message window";
        return mail;
    }

    MessagesFileAccess access_;
    QTableView* list_ = nullptr;
    int32_t now_ = MakeTime(9, 30);
};

TEST_F(MailWindowsTest, AltMInTheListIsTheListsKeyElsewhereItSendsTheMessage) {
    AddMessage("bob@example.org", "Minutes");
    QWidget* w = OpenMessages();
    ASSERT_NE(w, nullptr);
    w->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == w; }));
    list_->setFocus();
    list_->selectRow(0);
    Pump(20);
    int popups = 0;
    InstallPopupResponder([&](const std::vector<PopupItem>&) {
        ++popups;
        return 0;
    });
    QTest::keyClick(list_, Qt::Key_M, Qt::AltModifier);
    EXPECT_EQ(popups, 1) << "the column popup";
    EXPECT_EQ(ScriptQueue().Count(), 0u) << "not \"Send E-&mail\"";
    // With the focus on another control the letter is the button's.
    QWidget* view = w->findChild<QWidget*>("view");
    ASSERT_NE(view, nullptr);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_M, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([] { return ScriptQueue().Count() == 1u; }));  // the button's animated click
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(ActivityText(), "Sending Email...");
    InstallPopupResponder({});
}

TEST_F(MailWindowsTest, SendEmailFromTheListGoesThroughTheScriptRunner) {
    krtest::SmtpTestServer server(std::filesystem::absolute("mail").string());
    ASSERT_TRUE(server.started()) << server.errors();
    UsePort(server.port());
    AddMessage("bob@example.org", "Minutes");
    QWidget* w = OpenMessages();
    ASSERT_NE(w, nullptr);
    SendFirstRow(w);
    EXPECT_EQ(ActivityText(), "Sending Email...");
    ASSERT_EQ(ScriptQueue().Count(), 1u);
    Tick();
    // The send runs on a worker: the list answers meanwhile.
    EXPECT_TRUE(w->isVisible());
    ASSERT_TRUE(WaitFor([&] { return server.Received().size() == 1; }, 10000)) << server.errors();
    EXPECT_EQ(server.Received()[0].rcpt, std::vector<std::string>{"bob@example.org"});
    EXPECT_EQ(krtest::ParsePart(server.Received()[0].raw).headers["subject"], "Minutes");
    EXPECT_TRUE(WaitFor([] { return ActivityText().empty(); }));
    // The next tick ends the step.
    Tick();
    EXPECT_TRUE(ScriptQueue().Empty());
}

TEST_F(MailWindowsTest, TheActivityTextGoesWhenTheSendFailsOrNeverStarts) {
    krtest::SmtpTestServer::Options refuse;
    refuse.refuse = {"nobody@example.org"};
    krtest::SmtpTestServer server(std::filesystem::absolute("mail").string(), refuse);
    ASSERT_TRUE(server.started()) << server.errors();
    UsePort(server.port());
    AddMessage("nobody@example.org", "Refused");
    QWidget* w = OpenMessages();
    ASSERT_NE(w, nullptr);
    SendFirstRow(w);
    Tick();
    ASSERT_TRUE(WaitFor([] { return ActivityText().empty(); }, 10000));
    Tick();
    EXPECT_TRUE(server.Received().empty());

    // Mail not set up: the step ends before any send.
    Options().Email_Host = "";
    SendFirstRow(w);
    EXPECT_EQ(ActivityText(), "Sending Email...");
    Tick();
    EXPECT_TRUE(WaitFor([] { return ActivityText().empty(); }));
    EXPECT_TRUE(responder_.sawTitle("Error!")) << Shown();
}

TEST_F(MailWindowsTest, MassMailingFromTheListShowsItsProgressAndMailsEachContact) {
    krtest::SmtpTestServer server(std::filesystem::absolute("mail").string());
    ASSERT_TRUE(server.started()) << server.errors();
    UsePort(server.port());
    data::Table& contacts = data::TableOf(ContactDef());
    for (const char* address : {"ann@example.org", "", "cy@example.org"}) {
        contacts.Clear();
        Contact& c = contacts.Rec<Contact>();
        c.FirstName = "Friend";
        c.LastName = address;
        c.Email = address;
        c.ContactCategory = "Friends";
        ASSERT_EQ(contacts.AddAutoNumbered(ContactDef().key("C_:KeyClientID")), 0);
    }
    int32_t id = AddMessage("N/A", "Party");
    data::Table& messages = data::TableOf(MessagesDef());
    messages.Rec<MessagesRecord>().MailType = "Mass Mailing";
    messages.Rec<MessagesRecord>().EmailToGroup = "Friends";
    ASSERT_EQ(messages.Put(), 0);
    std::vector<std::string> shown;
    MailScriptServices s;
    s.setActivityText = [&](const std::string& text) {
        shown.push_back(text);
        SetActivityText(text);
    };
    InstallMailScriptServices(s);

    QWidget* w = OpenMessages();
    ASSERT_NE(w, nullptr);
    SendFirstRow(w);
    Tick();
    EXPECT_TRUE(w->isVisible());
    ASSERT_TRUE(WaitFor([&] { return !shown.empty() && shown.back().empty(); }, 20000)) << server.errors();
    // The list queues the step as for any message; the run then counts.
    EXPECT_EQ(shown, (std::vector<std::string>{"Sending Email...", "Mailing 1/2", "Mailing 2/2", ""}));
    ASSERT_EQ(server.Received().size(), 2u);
    EXPECT_EQ(server.Received()[0].rcpt, std::vector<std::string>{"ann@example.org"});
    EXPECT_EQ(server.Received()[1].rcpt, std::vector<std::string>{"cy@example.org"});
    Tick();
    EXPECT_TRUE(ScriptQueue().Empty());
    messages.Rec<MessagesRecord>().EmailID = id;
    ASSERT_EQ(messages.Get(MessagesDef().key("M_:KeyEmailID")), 0);
    EXPECT_EQ(messages.Rec<MessagesRecord>().LastDateSent, MakeDate(3, 4, 2025));
}

// The body of a received mail: its first part when it has several.
std::string BodyOf(const krtest::MimePart& whole) {
    const auto parts = krtest::SplitMultipart(whole);
    return parts.empty() ? whole.body : parts[0].body;
}

class BugReportTest : public MailWindowsTest {
protected:
    void SetUp() override {
        MailWindowsTest::SetUp();
        Options().GlobalUseLog = 1;
        LogEvent("Test", "the log exists");
        ScriptValues().Clear();
        ScriptValues().Put("Colour", "blue");
        ScriptValues().Put("Size", "12");
        PutIniValue("kr98.INI", "Settings", "SupportAddress", "help@support.example.net");
    }
    void TearDown() override {
        Options().GlobalUseLog = 0;
        ScriptValues().Clear();
        MailWindowsTest::TearDown();
    }
    QWidget* Open() {
        Start("BugReport", [] { BugReport(); });
        return WindowTitled("Bug Reporting");
    }
};

TEST_F(BugReportTest, SenderIsTheOneTheOptionsWindowEditsAndStores) {
    // Saved in Options, the sender is the bug report's at once.
    SetupWindow* setup = kr::Setup();
    ASSERT_NE(setup, nullptr);
    Child<QLineEdit>(setup->Window(), "sender")->setText("jane@example.com");
    Click(setup->Window(), "ok");
    Pump(20);
    QWidget* w = Open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Child<QLineEdit>(w, "sender")->text(), "jane@example.com");
    // Its correction is the program's sender: Options shows it and OK stores it.
    QTest::keyClick(TypeInto(w, "sender", "jane@work.example.com"), Qt::Key_Tab);
    QPointer<QWidget> report = w;
    w->close();
    ASSERT_TRUE(WaitFor([&] { return !report; }));
    EXPECT_EQ(ClipRight(GetSetting("Sender")), "jane@example.com") << "the report stores nothing";
    setup = kr::Setup();
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(Child<QLineEdit>(setup->Window(), "sender")->text(), "jane@work.example.com");
    Click(setup->Window(), "ok");
    Pump(20);
    EXPECT_EQ(ClipRight(GetSetting("Sender")), "jane@work.example.com");
}

TEST_F(BugReportTest, TheReportCarriesTheStateAndBothAttachments) {
    krtest::SmtpTestServer server(std::filesystem::absolute("mail").string());
    ASSERT_TRUE(server.started()) << server.errors();
    // The news account the news post signs in with.
    UsePort(server.port(), "NNTP User Name=newsbob\nNNTP Password=hunter2\n");
    QWidget* w = Open();
    ASSERT_NE(w, nullptr);
    auto* info = Child<QListWidget>(w, "info");
    ASSERT_GT(info->count(), 98);
    // The return address is corrected for this run only.
    QLineEdit* sender = TypeInto(w, "sender", "alice@work.example.com");
    QTest::keyClick(sender, Qt::Key_Tab);
    Child<QPlainTextEdit>(w, "comments")->setPlainText("It crashed.   ");
    Child<QCheckBox>(w, "database")->setChecked(true);
    Child<QCheckBox>(w, "log")->setChecked(true);
    QPointer<QWidget> window = w;
    Click(w, "send");
    ASSERT_TRUE(WaitFor([&] { return !window; }, 20000)) << Shown() << server.errors();
    ASSERT_EQ(server.Received().size(), 1u);
    const krtest::ReceivedMail mail = server.Received()[0];
    EXPECT_EQ(mail.rcpt, std::vector<std::string>{"help@support.example.net"});
    const krtest::MimePart whole = krtest::ParsePart(mail.raw);
    EXPECT_EQ(whole.headers.at("subject"), "Kairoll:  Support for Alice Sender");
    EXPECT_EQ(whole.headers.at("from"), "\"Alice Sender\" <alice@work.example.com>");
    const std::string body = BodyOf(whole);
    EXPECT_EQ(body.rfind("It crashed.\r\n--------------Internal Information------------\r\n", 0), 0u) << body;
    EXPECT_NE(body.find("\r\nProductName=Kairoll 2000\r\n"), std::string::npos);
    EXPECT_NE(body.find("\r\nVersionNumber=2.02\r\n"), std::string::npos);
    EXPECT_NE(body.find("\r\nWizardThreadNo=\r\nCOLOUR=blue\r\nSIZE=12\r\n"), std::string::npos) << body;
    EXPECT_NE(body.find("\r\nNews:Password=*******\r\n"), std::string::npos);
    EXPECT_NE(body.find("\r\nNews:User=newsbob\r\n"), std::string::npos);
    EXPECT_EQ(body.find("hunter2"), std::string::npos);
    EXPECT_EQ(Options().Email_Sender.get(), "alice@work.example.com");
    const auto parts = krtest::SplitMultipart(whole);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[1].headers.at("content-disposition"), "attachment; filename=\"KR97.TPS\"");
    EXPECT_EQ(parts[2].headers.at("content-disposition"), "attachment; filename=\"KR98Evnt.LOG\"");
    EXPECT_NE(ReadEventLog().find("Sent to Vexel Works"), std::string::npos);
}

TEST_F(BugReportTest, AFailedSendKeepsTheWindowAndTheComments) {
    krtest::SmtpTestServer::Options refuse;
    refuse.refuse = {"help@support.example.net"};
    krtest::SmtpTestServer server(std::filesystem::absolute("mail").string(), refuse);
    ASSERT_TRUE(server.started()) << server.errors();
    UsePort(server.port());
    QWidget* w = Open();
    ASSERT_NE(w, nullptr);
    Child<QPlainTextEdit>(w, "comments")->setPlainText("Please keep this.");
    Click(w, "send");
    ASSERT_TRUE(WaitFor([&] { return responder_.sawTitle("Mail Error"); }, 10000)) << Shown();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(Child<QPlainTextEdit>(w, "comments")->toPlainText(), "Please keep this.");
    EXPECT_NE(ReadEventLog().find("Could not send to Vexel Works"), std::string::npos);
    EXPECT_TRUE(ActivityText().empty());
}

TEST_F(MailWindowsTest, KR98sMessageWindowForwardsItsMessage) {
    krtest::SmtpTestServer server(std::filesystem::absolute("mail").string());
    ASSERT_TRUE(server.started()) << server.errors();
    UsePort(server.port());
    QWidget* mail = EmailFromMessageWindow("Dentist at three", "Bring the card.");
    ASSERT_NE(mail, nullptr);
    const QList<QLineEdit*> edits = mail->findChildren<QLineEdit*>();
    ASSERT_GE(edits.size(), 3);
    // An address longer than a name can be: the name is its first 60 characters.
    const std::string address = std::string(58, 'x') + "@example.org";
    edits[0]->setText(QString::fromStdString(address));
    edits[1]->setText("");
    test::ButtonText(mail, "&OK")->click();
    ASSERT_TRUE(WaitFor([&] { return responder_.sawText("Message sent."); }, 10000)) << Shown() << server.errors();
    ASSERT_EQ(server.Received().size(), 1u);
    const krtest::MimePart whole = krtest::ParsePart(server.Received()[0].raw);
    EXPECT_EQ(whole.headers.at("subject"), "Dentist at three");
    EXPECT_EQ(whole.headers.at("x-mailer"), "Kairoll");
    EXPECT_EQ(IniFile(kEmailIniFileName).Fetch(kEmailSection, "RecipientName"), address.substr(0, 60));
    EXPECT_EQ(IniFile(kEmailIniFileName).Fetch(kEmailSection, "Recipient"), address);
}

TEST_F(BugReportTest, TheSupportAddressIsReadFromTheIniAtEachSend) {
    krtest::SmtpTestServer server(std::filesystem::absolute("mail").string());
    ASSERT_TRUE(server.started()) << server.errors();
    UsePort(server.port());
    ASSERT_TRUE(DeleteIniKey("kr98.INI", "Settings", "SupportAddress"));
    QWidget* w = Open();
    ASSERT_NE(w, nullptr);
    Child<QPlainTextEdit>(w, "comments")->setPlainText("First try.");
    Click(w, "send");
    // No address: the user is told where to set it; nothing is sent and the
    // window keeps the comments.
    ASSERT_TRUE(responder_.sawTitle("Bug Reporting")) << Shown();
    const std::string text = responder_.shown().back().request.text;
    EXPECT_NE(text.find("SupportAddress="), std::string::npos) << text;
    EXPECT_NE(text.find("[Settings]"), std::string::npos) << text;
    EXPECT_NE(text.find("kr98.INI"), std::string::npos) << text;
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(ActivityText().empty());

    // Set while the window is open, with a display name: the next send uses both.
    PutIniValue("kr98.INI", "Settings", "SupportAddress", "desk@help.example.com");
    PutIniValue("kr98.INI", "Settings", "SupportName", "Help Desk");
    QPointer<QWidget> window = w;
    Click(w, "send");
    ASSERT_TRUE(WaitFor([&] { return !window; }, 20000)) << Shown() << server.errors();
    ASSERT_EQ(server.Received().size(), 1u);
    EXPECT_EQ(server.Received()[0].rcpt, std::vector<std::string>{"desk@help.example.com"});
    EXPECT_EQ(krtest::ParsePart(server.Received()[0].raw).headers.at("to"), "\"Help Desk\" <desk@help.example.com>");
    // Nothing of it went into the data file's settings.
    data::Table& settings = data::TableOf(ConfigurationDef());
    settings.Rec<Configuration>().DataType = "SupportAddress";
    EXPECT_NE(settings.Get(ConfigurationDef().key("CF:KeyDataType")), 0);
}

TEST_F(MailWindowsTest, KR98sMessageWindowOffersEmailWithoutAMailAccountAndNamesWhatIsMissing) {
    Options().Email_Host = "";
    Options().Email_Sender = "";
    QWidget* mail = EmailFromMessageWindow("Call the bank", "Before noon.");
    ASSERT_NE(mail, nullptr);
    mail->findChildren<QLineEdit*>()[0]->setText("bob@example.org");
    test::ButtonText(mail, "&OK")->click();
    ASSERT_TRUE(WaitFor([&] { return responder_.sawTitle("Status"); }, 10000)) << Shown();
    const std::string text = responder_.shown().back().request.text;
    EXPECT_EQ(text.rfind("Message was not sent.", 0), 0u) << text;
    EXPECT_NE(text.find("\r\rSender:\rHost:"), std::string::npos) << text;
}

}  // namespace
}  // namespace kr::organiser
