// The Options window offscreen: controls that edit the running program's
// options at once and a Cancel that undoes them, lock passwords that differ,
// the "/I" warning, and "&Test Settings" sending a real mail to a local SMTP
// server.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <functional>

#include "../startup/StartupFixture.h"
#include "dictionary/windows/Setup.h"
#include "organiser/MailSettings.h"
#include "organiser/MailWorker.h"
#include "organiser/MessagesFileAccess.h"
#include "organiser/RegistryStandIn.h"
#include "organiser/SendEmailMessage.h"
#include "tests/net/SmtpTestServer.h"

namespace kr::test {
namespace {

bool WaitFor(const std::function<bool()>& cond, int ms = 15000) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class OptionsWindowTest : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        SetRegistryFilePath((dir_ / "registry.ini").string());
        MailSettings.Init(1);
        MailSettings.ownerName = [] { return std::string(); };
    }
    void TearDown() override {
        if (window_) window_->Window()->close();
        QApplication::processEvents();
        CancelMailSends();  // the worker threads end here, as at shut-down
        MailSettings.Kill();
        MailSettings.ownerName = PasswdFullName;
        SetRegistryFilePath("");
        StartupTest::TearDown();
    }
    SetupWindow* Open() {
        window_ = kr::Setup();
        return window_.data();
    }
    // A message with this title and text was shown.
    bool Shown(const std::string& title, const std::string& text) const {
        for (const auto& m : responder_.shown())
            if (m.request.title == title && m.request.text == text) return true;
        return false;
    }
    template <class T>
    T* Control(const char* name) {
        return window_->Window()->findChild<T*>(name);
    }
    QPointer<SetupWindow> window_;
};

TEST_F(OptionsWindowTest, CancelUndoesWhatTheControlsChanged) {
    PutSetting("MonitorClipboard", "0");
    PutSetting("MaxClipboardEntries", "70");
    LoadSettings();
    ASSERT_NE(Open(), nullptr);
    auto* monitor = Control<QCheckBox>("monitorClipboard");
    auto* entries = Control<QSpinBox>("maxClipboardEntries");
    EXPECT_FALSE(entries->isEnabled());
    monitor->click();
    EXPECT_TRUE(entries->isEnabled());
    entries->setValue(300);
    // The running program sees the change at once.
    EXPECT_EQ(Options().MonitorClipboard.load(), 1);
    EXPECT_EQ(Options().MaxClipboardEntries.load(), 300);
    Control<QPushButton>("cancel")->click();
    QApplication::processEvents();
    EXPECT_FALSE(window_);
    EXPECT_EQ(Options().MonitorClipboard.load(), 0);
    EXPECT_EQ(Options().MaxClipboardEntries.load(), 70);
    EXPECT_EQ(Stored("MonitorClipboard"), "0");
    EXPECT_EQ(Stored("MaxClipboardEntries"), "70");
}

TEST_F(OptionsWindowTest, LockPasswordsThatDifferKeepTheWindowOpen) {
    ASSERT_NE(Open(), nullptr);
    auto* password = Control<QLineEdit>("password");
    EXPECT_FALSE(password->isEnabled());
    Control<QCheckBox>("systemLocked")->click();
    EXPECT_TRUE(password->isEnabled());
    password->setText("alpha");
    Control<QLineEdit>("confirm")->setText("beta");
    Control<QPushButton>("ok")->click();
    QApplication::processEvents();
    ASSERT_TRUE(window_);
    EXPECT_TRUE(window_->IsOpen());
    EXPECT_TRUE(Shown("Error", "The system lock passwords do not match."));
    EXPECT_FALSE(Stored("SysLock").has_value());

    // Agreed, they are stored, with the date format chosen on the way.
    Control<QLineEdit>("confirm")->setText("alpha");
    Control<QComboBox>("dateFormat")->setCurrentText("31/10/1959");
    responder_.clear();
    Control<QPushButton>("ok")->click();
    QApplication::processEvents();
    EXPECT_FALSE(window_);
    EXPECT_EQ(Stored("SysLock"), "1");
    EXPECT_EQ(Stored("SysPwd"), "alpha");
    EXPECT_EQ(Stored("DateFormat"), "d6");
    EXPECT_EQ(Titles(), std::vector<std::string>{"Information"});
}

TEST_F(OptionsWindowTest, InactiveSwitchIsNamedOnOpening) {
    SetProgramArguments({"/I"});
    LoadSettings();
    ASSERT_NE(Open(), nullptr);
    EXPECT_TRUE(Shown(
        "Warning", "The task scheduler has been \"inactivated\" using the /I command line parameter."));
    EXPECT_FALSE(Control<QCheckBox>("schedulerActive")->isChecked());
    window_->Window()->close();
    QApplication::processEvents();
    responder_.clear();
    SetProgramArguments({"/I", "/CONFIG"});
    ASSERT_NE(Open(), nullptr);
    EXPECT_TRUE(responder_.shown().empty());
}

TEST_F(OptionsWindowTest, TestSettingsSendsARealMailWithoutBlindCopy) {
    ASSERT_NE(Open(), nullptr);
    Control<QPushButton>("testSettings")->click();
    EXPECT_TRUE(Shown("Error", "You must enter your reply to address and mail host."));
    responder_.clear();

    std::filesystem::create_directories(dir_ / "received");
    krtest::SmtpTestServer server((dir_ / "received").string());
    ASSERT_TRUE(server.started()) << server.errors();
    Control<QLineEdit>("senderName")->setText("Jane Smith");
    Control<QLineEdit>("sender")->setText("jane@example.com");
    Control<QLineEdit>("host")->setText(QStringLiteral("127.0.0.1:%1").arg(server.port()));
    Control<QPushButton>("testSettings")->click();
    EXPECT_TRUE(window_->SendingTestMail());
    ASSERT_TRUE(WaitFor([&] { return !responder_.shown().empty(); }));
    ASSERT_EQ(Titles(), std::vector<std::string>{"Success"}) << responder_.shown()[0].request.text;
    EXPECT_EQ(responder_.shown()[0].request.text, "Test message sent without errors.");

    const auto mails = server.Received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].rcpt, std::vector<std::string>{"jane@example.com"});
    const krtest::MimePart m = krtest::ParsePart(mails[0].raw);
    EXPECT_EQ(m.headers.at("subject"), "Test E-mail");
    EXPECT_EQ(m.headers.count("bcc"), 0u);
    EXPECT_NE(m.headers.at("from").find("jane@example.com"), std::string::npos);
    EXPECT_NE(m.body.find("This is a test e-mail from Jane Smith"), std::string::npos);

    // A server that is down: the warning names the error.
    responder_.clear();
    Control<QLineEdit>("host")->setText(QStringLiteral("127.0.0.1:%1").arg(krtest::UnusedPort()));
    Control<QPushButton>("testSettings")->click();
    ASSERT_TRUE(WaitFor([&] { return !responder_.shown().empty(); }));
    EXPECT_EQ(Titles(), std::vector<std::string>{"Warning"});
    EXPECT_EQ(responder_.shown()[0].request.text.rfind("Test message not sent.\r\n\r\nError:  ", 0), 0u);
}

TEST_F(OptionsWindowTest, CtrlTabTurnsThePageFromTheDateFormatList) {
    ASSERT_NE(Open(), nullptr);
    auto* sheet = Control<QTabWidget>("sheet");
    auto* format = Control<QComboBox>("dateFormat");
    ASSERT_TRUE(sheet && format);
    window_->Window()->activateWindow();
    int page = -1;
    for (QWidget* p = format; p && page < 0; p = p->parentWidget()) page = sheet->indexOf(p);
    ASSERT_GE(page, 0);
    sheet->setCurrentIndex(page);
    const QString chosen = format->currentText();
    format->setFocus();
    QTest::keyClick(format, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(sheet->currentIndex(), (page + 1) % sheet->count());
    EXPECT_EQ(format->currentText(), chosen);
}

TEST_F(OptionsWindowTest, SavedMailSettingsAreUsedWithoutOpeningOptionsAgain) {
    // A fresh data folder, loaded as at start-up: no mail account anywhere.
    LoadSettings();
    std::filesystem::create_directories(dir_ / "received");
    krtest::SmtpTestServer server((dir_ / "received").string());
    ASSERT_TRUE(server.started()) << server.errors();
    ASSERT_NE(Open(), nullptr);
    Control<QLineEdit>("sender")->setText("jane@example.com");
    Control<QLineEdit>("host")->setText(QStringLiteral("127.0.0.1:%1").arg(server.port()));
    Control<QCheckBox>("exclHidden")->setChecked(true);
    bool handedOn = false;
    const int hook = AddOptionsAppliedHook([&] { handedOn = Options().ExclHidden != 0; });
    Control<QPushButton>("ok")->click();
    QApplication::processEvents();
    RemoveOptionsAppliedHook(hook);
    ASSERT_FALSE(window_);
    EXPECT_EQ(Stored("Host"), QStringLiteral("127.0.0.1:%1").arg(server.port()).toStdString());
    // What keeps its own copy of an option gets the saved value at OK.
    EXPECT_TRUE(handedOn);

    // A stored message sent now goes out through the account just saved.
    MessagesFileAccess access;
    InstallMessagesAccess(&access);
    MessagesFileManager& f = Messages_File();
    ASSERT_EQ(f.Open(), data::kLevelBenign);
    ASSERT_EQ(f.PrimeRecord(), data::kLevelBenign);
    f.rec().MailType = "Email";
    f.rec().EmailTo = "bob@example.com";
    f.rec().Subject = "Minutes";
    f.rec().Message = "Attached.";
    ASSERT_EQ(f.Insert(), data::kLevelBenign);
    const int32_t id = f.rec().EmailID;
    f.Close();
    QObject receiver;
    std::optional<int32_t> result;
    SendEmailMessageAsync(id, false, true, &receiver, [&](int32_t r) { result = r; });
    ASSERT_TRUE(WaitFor([&] { return result.has_value(); }));
    InstallMessagesAccess(nullptr);
    EXPECT_EQ(*result, 0);
    EXPECT_FALSE(Shown("Error!", kEmailNotSetup));
    const auto mails = server.Received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].rcpt, std::vector<std::string>{"bob@example.com"});
}

}  // namespace
}  // namespace kr::test
