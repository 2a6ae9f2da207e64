// The message program's windows on the offscreen platform over real data
// files: the take-over on opening, the titles, Snooze and To Do with their
// failures, the "Other" snooze window, the repeating alarm and the e-mail
// window's failure report and stored recipient.
#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QFile>
#include <QKeyEvent>
#include <QTimer>
#include <fstream>
#include <sstream>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include "../ui/UiTestSupport.h"
#include "MsgProgFixture.h"
#include "SmallDisk.h"
#include "msgprog/windows/GenerateEmail.h"
#include "msgprog/windows/Main.h"
#include "organiser/MailWorker.h"
#include "platform/desktop/Sound.h"
#include "platform/ui/PopupMenu.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/WindowPosition.h"

namespace kr::test {
namespace {
using namespace kr::msgprog;

class MainWindowTest : public MsgProgTest {
protected:
    void SetUp() override {
        MsgProgTest::SetUp();
        InstallSoundService(&sound_);
    }
    void TearDown() override {
        CloseAllWindows();
        CancelMailSends();  // the mail worker threads end before the process
        Pump();
        InstallSoundService(nullptr);
        MsgProgTest::TearDown();
    }
    MainWindow* Open(int32_t id, int* take = nullptr) {
        MainWindow* w = nullptr;
        Start("Main", [&] { w = OpenMain(id, [this] { ++closed_; }, take); });
        return w;
    }
    static QWidget* WindowWith(const char* buttonText) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                for (QPushButton* b : w->findChildren<QPushButton*>())
                    if (b->text() == buttonText) return w;
        return nullptr;
    }
    static QPushButton* Button(QWidget* w, const char* text) {
        for (QPushButton* b : w->findChildren<QPushButton*>())
            if (b->text() == text) return b;
        return nullptr;
    }
    std::vector<std::string> Titles() const {
        std::vector<std::string> out;
        for (const auto& s : responder_.shown()) out.push_back(s.request.title);
        return out;
    }

    RecordingSoundService sound_;
    int closed_ = 0;
};

TEST_F(MainWindowTest, OpensOnTheRecordItTookAndNotWithoutOne) {
    int take = -1;
    EXPECT_EQ(Open(3, &take), nullptr);  // no MsgLink file yet
    EXPECT_NE(take, 0);
    for (int id : {5, 6, 7}) AddLink(id, "Dentist " + std::to_string(id), "At three");
    EXPECT_EQ(Open(8, &take), nullptr);
    EXPECT_EQ(LinkIDs().size(), 3u);
    EXPECT_EQ(closed_, 0);

    MainWindow* w = Open(0, &take);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(take, 0);
    EXPECT_EQ(ShownMessage(w).ID, 7);
    EXPECT_EQ(LinkIDs(), (std::vector<int32_t>{5, 6}));
    QWidget* win = WindowWith("&Snooze");
    ASSERT_NE(win, nullptr);
    EXPECT_EQ(win->windowTitle(), "Message:  Dentist 7");
    EXPECT_EQ(win->findChild<QPlainTextEdit*>()->toPlainText(), "At three");
    EXPECT_FALSE(Button(win, "&Email")->isEnabled());  // no Sender or Host
    Button(win, "Cl&ose")->click();
    ASSERT_TRUE(WaitFor([this] { return closed_ == 1; }));
    EXPECT_EQ(Tasks().size(), 0u);  // closed without a snooze: nothing written

    // No preserved font: the text's own font becomes the preserved one.
    EXPECT_FALSE(CurrentFont().Font.str().empty());
    EXPECT_GT(CurrentFont().Point, 0);

    CurrentFont().Font = "DejaVu Serif";
    CurrentFont().Point = 17;
    CurrentFont().Style = 700 | 0x1000;
    AddLink(9, "Advanced Warning: rent due", "x");
    SetSetting("Sender", "me@example.org");
    SetSetting("Host", "127.0.0.1");
    ASSERT_NE(Open(9), nullptr);
    win = WindowWith("&Snooze");
    EXPECT_EQ(win->windowTitle(), "Advanced Warning: rent due");
    const QFont f = win->findChild<QPlainTextEdit*>()->font();
    EXPECT_EQ(f.family(), "DejaVu Serif");
    EXPECT_EQ(f.pointSize(), 17);
    EXPECT_TRUE(f.italic());
    EXPECT_EQ(f.weight(), QFont::Bold);
    EXPECT_TRUE(Button(win, "&Email")->isEnabled());
}

TEST_F(MainWindowTest, SnoozeAndToDoWriteAndAFailedWriteKeepsTheWindow) {
    AddLink(1, "Invoice", "Pay it", "bell.wav");
    AddLink(2, "Call", "Call back");
    MainWindow* w = Open(1);
    ASSERT_NE(w, nullptr);
    QWidget* win = WindowWith("&Snooze");
    Button(win, "&To Do")->click();
    ASSERT_TRUE(WaitFor([this] { return responder_.shown().size() == 1; }));
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Saved"}));
    EXPECT_EQ(responder_.shown()[0].request.text.substr(0, 21), "Added to To Do List:\r");
    ASSERT_EQ(Todos().size(), 1u);
    EXPECT_EQ(WindowWith("&Snooze"), win);

    Button(win, "&Snooze")->click();  // SnoozeInterval missing: ten minutes
    ASSERT_TRUE(WaitFor([this] { return closed_ == 1; }));
    std::vector<Schedule> tasks = Tasks();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].Description, "Invoice");
    EXPECT_EQ(tasks[0].Time, MakeTime(10, 10));
    EXPECT_EQ(tasks[0].AlarmFile, "bell.wav");

    ASSERT_NE(Open(2), nullptr);
    win = WindowWith("&Snooze");
    data::CloseIdleFiles();
    BreakDataFileWrites();
    responder_.clear();
    Button(win, "&Snooze")->click();
    ASSERT_TRUE(WaitFor([this] { return responder_.shown().size() == 1; }));
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Snooze"}));
    Pump();
    EXPECT_EQ(WindowWith("&Snooze"), win);  // the message is still there
    EXPECT_EQ(closed_, 1);
    Button(win, "&To Do")->click();
    ASSERT_TRUE(WaitFor([this] { return responder_.shown().size() == 2; }));
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Snooze", "To Do"}));  // no "Saved"
}

TEST_F(MainWindowTest, OtherSnoozeAskedInTheSnoozeWindow) {
    AddLink(1, "Stand up", "Stretch");
    MainWindow* w = Open(1);
    ASSERT_NE(w, nullptr);
    ChoosePopup(w, kPopupOther);
    ASSERT_TRUE(WaitFor([] { return WindowWith("&OK") != nullptr; }));
    QWidget* snooze = WindowWith("&OK");
    EXPECT_EQ(snooze->windowTitle(), "Snooze");
    snooze->findChild<QSpinBox*>()->setValue(0);
    Button(snooze, "&OK")->click();
    ASSERT_TRUE(WaitFor([] { return WindowWith("&OK") == nullptr; }));
    Pump();
    EXPECT_EQ(closed_, 0);  // 0 minutes: no snooze, the window stays
    EXPECT_TRUE(Tasks().empty());

    ChoosePopup(w, kPopupOther);
    ASSERT_TRUE(WaitFor([] { return WindowWith("&OK") != nullptr; }));
    snooze = WindowWith("&OK");
    snooze->findChild<QSpinBox*>()->setValue(25);
    Button(snooze, "&OK")->click();
    ASSERT_TRUE(WaitFor([this] { return closed_ == 1; }));
    ASSERT_EQ(Tasks().size(), 1u);
    EXPECT_EQ(Tasks()[0].Time, MakeTime(10, 25));
}

TEST_F(MainWindowTest, PopupDaySnoozeAndTheRepeatingAlarm) {
    SetSetting("RepeatAlarmInterval", "30");
    SetSetting("MaxAlarmTime", "1");
    AddLink(1, "Meds", "Take them", "ring.wav");
    MainWindow* w = Open(1);
    ASSERT_NE(w, nullptr);
    Pump(1200);
    EXPECT_TRUE(sound_.played().empty());  // not on opening
    clock_.Set(clock_.Today(), MakeTime(10, 0, 31));
    ASSERT_TRUE(WaitFor([this] { return sound_.played().size() == 1; }, 2500));
    EXPECT_EQ(sound_.played()[0], "ring.wav");
    clock_.Set(clock_.Today(), MakeTime(10, 1, 5));
    Pump(1300);
    EXPECT_EQ(sound_.played().size(), 1u);  // past the end: stopped
    EXPECT_FALSE(Alarm(w).active());

    ChoosePopup(w, kPopup1Day);
    ASSERT_TRUE(WaitFor([this] { return closed_ == 1; }));
    ASSERT_EQ(Tasks().size(), 1u);
    EXPECT_EQ(Tasks()[0].Date, clock_.Today() + 1);
}

TEST_F(MainWindowTest, EmailFailureIsReportedAndTheRecipientKept) {
    SetSetting("Sender", "me@example.org");
    SetSetting("Host", "127.0.0.1:1");  // nothing listens there
    AddLink(1, "", "Body text");
    MainWindow* w = Open(1);
    ASSERT_NE(w, nullptr);
    ChoosePopup(w, kPopupEmail);
    ASSERT_TRUE(WaitFor([] { return WindowWith("Cancel") != nullptr; }));
    QWidget* mail = WindowWith("Cancel");
    EXPECT_EQ(mail->windowTitle(), "Email Message");
    QList<QLineEdit*> edits = mail->findChildren<QLineEdit*>();
    ASSERT_GE(edits.size(), 3);
    edits[0]->setText("you@example.org");
    edits[1]->setText("");
    Button(mail, "&OK")->click();
    ASSERT_TRUE(WaitFor([this] { return responder_.shown().size() == 1; }, 20000));
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Status"}));
    EXPECT_EQ(responder_.shown()[0].request.text.substr(0, 21), "Message was not sent.");
    ASSERT_TRUE(WaitFor([] { return WindowWith("Cancel") == nullptr; }));
    const IniFile ini(kEmailIniFileName);
    EXPECT_EQ(ini.Fetch(kEmailSection, "Recipient"), "you@example.org");
    EXPECT_EQ(ini.Fetch(kEmailSection, "RecipientName"), "you@example.org");
    EXPECT_EQ(closed_, 0);  // the message window stays after an e-mail

    ChoosePopup(w, kPopupEmail);  // opens with the last recipient
    ASSERT_TRUE(WaitFor([] { return WindowWith("Cancel") != nullptr; }));
    mail = WindowWith("Cancel");
    EXPECT_EQ(mail->findChildren<QLineEdit*>()[0]->text(), "you@example.org");
    Button(mail, "Cancel")->click();
    ASSERT_TRUE(WaitFor([] { return WindowWith("Cancel") == nullptr; }));
}

// The text's popup offers "Send Email" only when the Email button works:
// without a mail account, choosing it used to do nothing at all.
TEST_F(MainWindowTest, PopupEmailItemFollowsTheEmailButton) {
    bool offered = false, enabled = false;
    InstallPopupResponder([&](const std::vector<PopupItem>& items) {
        for (const PopupItem& it : items)
            if (it.text == "Send &Email") {
                offered = true;
                enabled = it.enabled;
            }
        return 0;
    });
    auto emailItem = [&](int32_t id) {
        offered = enabled = false;
        EXPECT_NE(Open(id), nullptr);
        QWidget* window = WindowWith("&Email");
        ASSERT_NE(window, nullptr);
        QPlainTextEdit* text = window->findChild<QPlainTextEdit*>();
        ASSERT_NE(text, nullptr);
        emit text->customContextMenuRequested(QPoint(5, 5));
        EXPECT_TRUE(offered);
        EXPECT_EQ(enabled, Button(window, "&Email")->isEnabled());
        CloseAllWindows();
        Pump();
    };
    AddLink(1, "No account", "Body");
    emailItem(1);
    EXPECT_FALSE(enabled);
    SetSetting("Sender", "me@example.org");
    SetSetting("Host", "127.0.0.1:1");
    AddLink(2, "Account", "Body");
    emailItem(2);
    EXPECT_TRUE(enabled);
    InstallPopupResponder({});
}

static std::string FileText(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST_F(MainWindowTest, WindowPlacesStayOutOfTheMainProgramsPositionFile) {
    // The frame of the main program, maximised, under the same name "Main".
    const std::string frame = "[Main]\r\nXPos=10\r\nYPos=10\r\nWidth=900\r\nHeight=700\r\nMaximize=1\r\n";
    { std::ofstream("POSITION.INI", std::ios::binary) << frame; }
    AddLink(1, "Moved", "Once");
    ASSERT_NE(Open(1), nullptr);
    QWidget* win = WindowWith("&Snooze");
    ASSERT_NE(win, nullptr);
    EXPECT_FALSE(win->isMaximized()) << "the frame's place is not the message's";
    win->move(120, 90);
    Button(win, "Cl&ose")->click();
    ASSERT_TRUE(WaitFor([this] { return closed_ == 1; }));
    EXPECT_EQ(FileText("POSITION.INI"), frame);
    EXPECT_NE(FileText("krmsg.INI").find("[Main]"), std::string::npos);
}

TEST_F(MainWindowTest, DamagedMsgLinkIsReportedBeforeTheWindowCloses) {
    AddLink(1, "Lost?", "Not silently");
    data::TableOf(MsgLinkDef()).Close();
    data::CloseIdleFiles();
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
        std::string n = e.path().filename().string();
        for (char& c : n) c = char(std::toupper(static_cast<unsigned char>(c)));
        if (n.rfind("MSGLINK", 0) == 0) std::ofstream(e.path(), std::ios::binary) << std::string(4096, 'J');
    }
    int take = 0;
    EXPECT_EQ(Open(1, &take), nullptr);
    EXPECT_NE(take, 0);
    ASSERT_FALSE(responder_.shown().empty()) << "the failed open is told to the user";
    EXPECT_NE(responder_.shown()[0].request.text.find("MsgLink"), std::string::npos)
        << responder_.shown()[0].request.text;
}

// A read-only data folder (a read-only mount) without the message links'
// file: the failed open says, once and after its error, that the folder is
// read-only, rather than a path not found.
TEST_F(MainWindowTest, AReadOnlyDataFolderIsNamedWhenMsgLinkCannotBeMade) {
    SmallDisk disk(dir_ / "ro");
    if (!disk.refused().empty()) GTEST_SKIP() << disk.refused();
    std::filesystem::current_path(disk.path());
    ASSERT_EQ(disk.MakeReadOnly(), "");
    int take = 0;
    EXPECT_EQ(Open(1, &take), nullptr);
    data::CloseIdleFiles();
    std::filesystem::current_path(dir_);
    ASSERT_EQ(responder_.shown().size(), 1u) << "the failed open is told once";
    const std::string text = responder_.shown()[0].request.text;
    const std::string cause = "  The folder " + disk.path().string() + " is read-only.";
    EXPECT_NE(text.find("could not be opened.  Error: Access Denied (5)."), std::string::npos) << text;
    ASSERT_GE(text.size(), cause.size());
    EXPECT_EQ(text.substr(text.size() - cause.size()), cause) << text;
    EXPECT_EQ(text.find("read-only"), text.rfind("read-only")) << text;
}

TEST_F(MainWindowTest, SnoozeWindowOpensOverTheMessageAndEnterPressesOk) {
    AddLink(1, "Stand up", "Stretch");
    MainWindow* w = Open(1);
    ASSERT_NE(w, nullptr);
    QWidget* message = WindowWith("&Snooze");
    message->move(300, 200);
    Pump();
    ChoosePopup(w, kPopupOther);
    ASSERT_TRUE(WaitFor([] { return WindowWith("&OK") != nullptr; }));
    QWidget* snooze = WindowWith("&OK");
    Pump();
    EXPECT_TRUE(message->frameGeometry().contains(snooze->frameGeometry().center()))
        << "opened over the message window";
    auto* minutes = snooze->findChild<QSpinBox*>();
    minutes->setValue(15);
    minutes->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(minutes, &enter);
    ASSERT_TRUE(WaitFor([this] { return closed_ == 1; })) << "Enter pressed OK and the message snoozed";
    ASSERT_EQ(Tasks().size(), 1u);
}

// Escape in the font list cancels the whole font window and Enter is its
// OK; Escape used to close only the embedded font dialog, leaving an empty
// window behind.
TEST_F(MainWindowTest, FontWindowTakesEnterAndEscapeFromTheFontList) {
    QWidget* parent = new QWidget;
    auto press = [&](Qt::Key key) {
        bool closed = false;
        QTimer::singleShot(50, [&] {
            QDialog* dialog = nullptr;
            for (QWidget* t : QApplication::topLevelWidgets())
                if (t->objectName() == QStringLiteral("FontAndColour") && t->isVisible())
                    dialog = static_cast<QDialog*>(t);
            ASSERT_NE(dialog, nullptr);
            QLineEdit* name = dialog->findChild<QLineEdit*>();
            ASSERT_NE(name, nullptr);
            QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(name, &down);
            closed = !dialog->isVisible();
            if (!closed) dialog->reject();
        });
        QFont font;
        QColor colour(Qt::black);
        const bool ok = ChooseFontAndColour(parent, font, colour);
        EXPECT_TRUE(closed);
        return ok;
    };
    EXPECT_FALSE(press(Qt::Key_Escape));
    EXPECT_TRUE(press(Qt::Key_Return));
    delete parent;
}

TEST_F(MainWindowTest, MessageFontWindowOffersAColour) {
    AddLink(1, "Colourful", "Red text");
    MainWindow* w = Open(1);
    ASSERT_NE(w, nullptr);
    bool sawColourDialog = false;
    // The user picks red in the colour window and presses OK in both.
    QTimer::singleShot(50, [&] {
        auto* dialog = qApp->findChild<QDialog*>(QStringLiteral("FontAndColour"));
        for (QWidget* t : QApplication::topLevelWidgets())
            if (t->objectName() == QStringLiteral("FontAndColour")) dialog = static_cast<QDialog*>(t);
        ASSERT_NE(dialog, nullptr);
        QTimer::singleShot(50, [&, dialog] {
            for (QWidget* t : QApplication::topLevelWidgets())
                if (auto* c = qobject_cast<QColorDialog*>(t); c && c->isVisible()) {
                    sawColourDialog = true;
                    c->setCurrentColor(QColor(255, 0, 0));
                    c->accept();
                }
            QTimer::singleShot(20, dialog, [dialog] { dialog->accept(); });
        });
        dialog->findChild<QPushButton*>(QStringLiteral("colour"))->click();
    });
    ChoosePopup(w, kPopupFont);
    EXPECT_TRUE(sawColourDialog);
    QWidget* win = WindowWith("&Snooze");
    EXPECT_EQ(win->findChild<QPlainTextEdit*>()->palette().color(QPalette::Text), QColor(255, 0, 0));
    EXPECT_EQ(CurrentFont().Color, 0x0000FF) << "kept as 0x00BBGGRR";
}

}  // namespace
}  // namespace kr::test
