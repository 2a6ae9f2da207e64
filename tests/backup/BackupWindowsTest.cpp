// The backup windows offscreen: the member dialogs' scope and counts, the
// password window, a new archive over an existing one, the preferences'
// bound and local values, a zip through the shared progress window, the
// assistant's recommendation, list and archive commands, and the launcher's
// window.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "../ui/MnemonicCheck.h"
#include "backup/windows/BackupWindows.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/Services.h"
#include "platform/ui/WindowPosition.h"

namespace kr::backup {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// Runs `act` on the next modal dialog once it is on the screen.
void WhenDialog(std::function<void(QDialog*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(d);
    });
    timer->start();
}

QPushButton* ButtonOf(QWidget* w, const QString& text) {
    for (auto* b : w->findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

// With KR_SCREENSHOT_DIR set, the windows are saved there as pictures.
void SaveScreenshot(QWidget* w, const char* name) {
    if (const char* d = std::getenv("KR_SCREENSHOT_DIR")) w->grab().save(QString(d) + "/" + name);
}

class BackupWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kr-bw-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        previous_ = fs::current_path();
        fs::current_path(dir_);
        InstallArchiveUi(&ui_);
        z_.Init();
    }
    void TearDown() override {
        InstallArchiveUi(nullptr);
        InstallFileDialogAnswerer(nullptr);
        fs::current_path(previous_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    void MakeArchive(const std::string& name) {
        std::ofstream("a.txt") << std::string(1000, 'a');
        std::ofstream("b c.txt") << std::string(500, 'b');
        ASSERT_EQ(::system(("zip -q " + name + " a.txt 'b c.txt'").c_str()), 0);
        z_.ZIPARCHIVENAME = name;
        ASSERT_TRUE(z_.LoadArchive());
    }
    fs::path dir_, previous_;
    ScriptedResponder responder_;
    ScopedMessageService scoped_{&responder_};
    QtArchiveUi ui_;
    LSZCLASS z_;
};

TEST_F(BackupWindowsTest, MemberDialogsStartOnTheMarkedMembersAndSetTheScope) {
    MakeArchive("m.zip");
    (*z_.LSZQ)[0].MARKED = 1;
    (*z_.LSZQ)[1].MARKED = 1;
    QString files, bytes;
    WhenDialog([&](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Unzip");
        EXPECT_TRUE(d->findChild<QRadioButton*>("selected")->isChecked());
        files = d->findChild<QLabel*>("files")->text();
        bytes = d->findChild<QLabel*>("bytes")->text();
        d->findChild<QRadioButton*>("all")->click();
        ButtonOf(d, "&Unzip")->click();
    });
    EXPECT_TRUE(AskUnzipFiles(z_));
    EXPECT_EQ(files, "Files to unzip: 2");
    EXPECT_EQ(bytes, "Bytes to unzip: 1500");
    EXPECT_EQ(z_.ZIPWILDCARD, "*");

    // In the delete window "All files" forgets the selection.
    z_.ZIPWILDCARD.clear();
    WhenDialog([&](QDialog* d) {
        d->findChild<QRadioButton*>("all")->click();
        d->findChild<QRadioButton*>("selected")->click();
        files = d->findChild<QLabel*>("files")->text();
        ButtonOf(d, "&Cancel")->click();
    });
    EXPECT_FALSE(AskDeleteFiles(z_));
    EXPECT_EQ(files, "Files to delete: 0");
    EXPECT_EQ(z_.ZIPWILDCARD, "");

    // Entering the wildcard entry switches the scope before anything is
    // typed; the password goes with it.
    WhenDialog([&](QDialog* d) {
        auto* spec = d->findChild<QLineEdit*>("spec");
        d->activateWindow();
        spec->setFocus(Qt::MouseFocusReason);
        QApplication::processEvents();
        EXPECT_TRUE(d->findChild<QRadioButton*>("wildcard")->isChecked());
        EXPECT_EQ(d->findChild<QLabel*>("files")->text(), "Files to test: 0");
        QTest::keyClicks(spec, "*.txt");
        d->findChild<QLineEdit*>("password")->setText("pw");
        ButtonOf(d, "&Test")->click();
    });
    EXPECT_TRUE(AskTestFiles(z_));
    EXPECT_EQ(z_.ZIPWILDCARD, "*.txt");
    EXPECT_EQ(z_.ZIPPASSWORD, "pw");

    // An empty archive opens no member dialog.
    z_.CloseArchive();
    EXPECT_FALSE(AskTestFiles(z_));
}

TEST_F(BackupWindowsTest, PasswordWindowAsksAgainOnMismatch) {
    WhenDialog([&](QDialog* d) {
        d->findChild<QLineEdit*>("first")->setText("one");
        d->findChild<QLineEdit*>("second")->setText("two");
        ButtonOf(d, "&OK")->click();
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->findChild<QLineEdit*>("first")->text(), "");
        d->findChild<QLineEdit*>("first")->setText("same");
        d->findChild<QLineEdit*>("second")->setText("same");
        ButtonOf(d, "&OK")->click();
    });
    std::string password;
    EXPECT_TRUE(ui_.AskPassword(password));
    EXPECT_EQ(password, "same");
    EXPECT_TRUE(responder_.sawText("The password you typed is incorrect. Please re-enter the passwords."));

    WhenDialog([&](QDialog* d) { ButtonOf(d, "&No Encryption")->click(); });
    EXPECT_FALSE(ui_.AskPassword(password));
}

TEST_F(BackupWindowsTest, NewArchiveReplacesAnExistingOneOnlyWhenConfirmed) {
    std::ofstream("old.ZIP") << "keep me";
    std::vector<std::string> answers = {"old", "old", "fresh.v2"};
    InstallFileDialogAnswerer([&](const std::string& kind, const std::string& title, const std::string&, const std::string&) {
        EXPECT_EQ(kind, "save");
        EXPECT_EQ(title, "New ZIP archive");
        std::string a = answers.front();
        answers.erase(answers.begin());
        return std::vector<std::string>{a};
    });
    z_.ZIPARCHIVENAME = "current.zip";
    responder_.Answer(kButtonNo);
    EXPECT_EQ(NewArchive(z_), "current.zip");
    EXPECT_TRUE(fs::exists("old.ZIP"));
    EXPECT_TRUE(responder_.sawText("old.ZIP already exists.|Do you want to replace it?"));
    responder_.Answer(kButtonYes);
    EXPECT_EQ(NewArchive(z_), "old.ZIP");
    EXPECT_FALSE(fs::exists("old.ZIP"));
    EXPECT_EQ(NewArchive(z_), "fresh.v2");
}

TEST_F(BackupWindowsTest, PreferencesKeepBoundSwitchesButNotTheDateOnCancel) {
    WhenDialog([&](QDialog* d) {
        d->findChild<QRadioButton*>("&Store")->click();
        d->findChild<QCheckBox*>("onlyBefore")->setChecked(true);
        ButtonOf(d, "&Cancel")->click();
    });
    ZipPreferences(z_);
    EXPECT_EQ(z_.COMPRESSIONLEVELSWITCH, 4);
    EXPECT_EQ(z_.BEFOREDATE, "");

    WhenDialog([&](QDialog* d) {
        d->findChild<QSpinBox*>("Month")->setValue(3);
        d->findChild<QSpinBox*>("Day")->setValue(7);
        d->findChild<QSpinBox*>("Year")->setValue(2021);
        d->findChild<QCheckBox*>("onlyBefore")->setChecked(true);
        ButtonOf(d, "&OK")->click();
    });
    ZipPreferences(z_);
    EXPECT_EQ(z_.BEFOREDATE, "03072021");
    WhenDialog([&](QDialog* d) { ButtonOf(d, "&OK")->click(); });
    ZipPreferences(z_);
    EXPECT_EQ(z_.BEFOREDATE, "");
}

TEST_F(BackupWindowsTest, AssistantListsAnArchiveAndZipsThroughTheProgressWindow) {
    MakeArchive("list.zip");
    z_.CloseArchive();
    PutIniValue(".\\VXWBACK.INI", "VXWBackup", "LastWarning", "");
    {
        BackupAssistantFrame frame(z_, "KR97.TPS");
        frame.show();
        frame.Recommend();
        frame.Recommend();
        EXPECT_EQ(responder_.shown().size(), 1u);
        EXPECT_TRUE(responder_.sawTitle("VXW Backup Assistant"));
        EXPECT_THAT(responder_.shown()[0].request.text, HasSubstr("KR97.TPS"));
        EXPECT_FALSE(frame.action("add")->isEnabled());

        InstallFileDialogAnswerer([](const std::string& kind, const std::string&, const std::string&, const std::string&) {
            if (kind == "open-multi") return std::vector<std::string>{"a.txt", "new file.txt"};
            return std::vector<std::string>{"list.zip"};
        });
        z_.PATHINFORMATIONSWITCH = 3;
        frame.action("openArchive")->trigger();
        EXPECT_EQ(z_.PATHINFORMATIONSWITCH, 1);
        EXPECT_TRUE(frame.action("add")->isEnabled());
        ASSERT_NE(frame.list(), nullptr);
        EXPECT_EQ(frame.list()->rowCount(), 2);
        EXPECT_EQ(frame.windowTitle(), "VXW Backup Module - LIST.ZIP");
        EXPECT_EQ(frame.list()->item(1, 1)->text(), "b c.txt");

        // Add two files through the progress window, which names the member
        // it works on.
        {
            std::ofstream big("new file.txt");
            uint32_t x = 1;
            for (int i = 0; i < 12 << 20; ++i) {
                x = x * 1103515245u + 12345u;
                big.put(static_cast<char>('a' + (x >> 16) % 26));
            }
        }
        bool sawWindow = false;
        QString member;
        QTimer poll;
        poll.setInterval(2);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->windowTitle() == "Zipping...") {
                    sawWindow = true;
                    if (auto* user = w->findChild<QLabel*>("userText"); user && !user->text().isEmpty()) {
                        member = user->text();
                        SaveScreenshot(w, "zipping.png");
                    }
                }
        });
        poll.start();
        frame.action("add")->trigger();
        poll.stop();
        EXPECT_TRUE(sawWindow);
        EXPECT_EQ(member, "new file.txt");
        EXPECT_EQ(frame.list()->rowCount(), 3);
        EXPECT_EQ(z_.S_ZIPMEMBERS, 3);

        // Shift+Down from row 2 marks a range; a plain click leaves one row.
        frame.list()->setFocus();
        frame.list()->setCurrentCell(0, 1);
        QTest::keyClick(frame.list(), Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(frame.list(), Qt::Key_Down, Qt::ShiftModifier);
        int marked = 0;
        for (const auto& r : *z_.LSZQ) marked += r.MARKED;
        EXPECT_EQ(marked, 3);
        SaveScreenshot(&frame, "vxwbacka.png");

        // A double click opens the unzip dialog on the marked members.
        QString scope;
        WhenDialog([&](QDialog* d) {
            scope = d->findChild<QRadioButton*>("selected")->isChecked() ? "selected" : "all";
            ButtonOf(d, "&Cancel")->click();
        });
        emit frame.list()->cellDoubleClicked(1, 1);
        EXPECT_EQ(scope, "selected");

        frame.action("closeArchive")->trigger();
        EXPECT_EQ(frame.list(), nullptr);
        EXPECT_EQ(frame.windowTitle(), "VXW Backup Module");
        EXPECT_EQ(z_.ZIPARCHIVENAME, "");
        EXPECT_FALSE(frame.action("add")->isEnabled());
    }
    EXPECT_EQ(GetIniValue(".\\VXWBACK.INI", "VXWBackup", "LastWarning"), "KR97.TPS");
}

// The assistant keeps no window positions: a zip through its progress
// window writes no position file into the folder it runs in, and the
// program's position file is back once the frame has gone.
TEST_F(BackupWindowsTest, AssistantWindowsWriteNoPositionFile) {
    MakeArchive("keep.zip");
    z_.CloseArchive();
    const std::string before = PositionFile();
    {
        BackupAssistantFrame frame(z_, "");
        frame.show();
        InstallFileDialogAnswerer([](const std::string& kind, const std::string&, const std::string&, const std::string&) {
            if (kind == "open-multi") return std::vector<std::string>{"a.txt"};
            return std::vector<std::string>{"keep.zip"};
        });
        std::ofstream("a.txt") << std::string(5000, 'c');
        bool sawWindow = false;
        QTimer poll;
        poll.setInterval(1);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                sawWindow = sawWindow || (w->isVisible() && w->windowTitle() == "Zipping...");
        });
        poll.start();
        frame.action("openArchive")->trigger();
        frame.action("add")->trigger();
        poll.stop();
        EXPECT_TRUE(sawWindow);
        frame.close();
    }
    QApplication::processEvents();
    for (const auto& e : fs::directory_iterator(dir_))
        EXPECT_NE(e.path().extension(), ".INI") << e.path() << " written";
    EXPECT_EQ(PositionFile(), before);
}

TEST_F(BackupWindowsTest, LauncherWindowRunsTheChosenOperation) {
    std::ofstream("DATA.TPS") << "plain data";
    LauncherRun run;
    ApplyDefaults(run);
    {
        BackupRestoreWindow w(run);
        w.show();
        w.archiveEdit()->setText("Nightly");
        QTest::keyClick(w.archiveEdit(), Qt::Key_Return);  // Enter presses OK
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(w.result(), 0);
        SaveScreenshot(&w, "vxwback.png");
    }
    EXPECT_TRUE(fs::exists("Nightly.ZIP"));
    EXPECT_EQ(run.archiveName, "Nightly");
    EXPECT_TRUE(responder_.sawText("Backup complete."));

    // Advanced with no assistant beside the program.
    SetProgramFolder(dir_.string());
    {
        BackupRestoreWindow w(run);
        w.show();
        ButtonOf(&w, "&Advanced")->click();
        EXPECT_TRUE(w.isVisible());
        EXPECT_TRUE(responder_.sawText("Unable to run VXWBACKA.EXE."));
    }
    SetProgramFolder("");
}

// Alt+letter reaches one control in the launcher's window and in the
// assistant with an archive open (the label of the archive's name once
// shared its letter with "&Advanced", so Alt+A never pressed it).
TEST_F(BackupWindowsTest, WindowsGiveEachAltLetterOneControl) {
    LauncherRun run;
    ApplyDefaults(run);
    {
        BackupRestoreWindow w(run);
        w.show();
        for (const std::string& problem : test::MnemonicProblems(&w)) ADD_FAILURE() << "launcher: " << problem;
    }
    MakeArchive("keys.zip");
    z_.CloseArchive();
    InstallFileDialogAnswerer([](const std::string&, const std::string&, const std::string&, const std::string&) {
        return std::vector<std::string>{"keys.zip"};
    });
    BackupAssistantFrame frame(z_, "KR97.TPS");
    frame.show();
    frame.action("openArchive")->trigger();
    ASSERT_NE(frame.list(), nullptr);
    for (const std::string& problem : test::MnemonicProblems(&frame)) ADD_FAILURE() << "assistant: " << problem;
}

}  // namespace
}  // namespace kr::backup
