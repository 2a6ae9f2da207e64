// What the organiser's mail tests share: a temporary data folder as the
// current folder, a registry stand-in file of the test's own, the scripted
// message responder, and fresh mail settings.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>
#include <string>

#include "dictionary/Settings.h"
#include "organiser/MailSettings.h"
#include "organiser/RegistryStandIn.h"
#include "platform/runtime/Services.h"

namespace krtest {

class MailFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        char buf[4096];
        previousFolder = getcwd(buf, sizeof buf) ? buf : "/";
        ASSERT_EQ(chdir(dir.path().toLocal8Bit().constData()), 0);
        QDir(dir.path()).mkdir("mail");
        kr::SetRegistryFilePath(Path("registry.ini"));
        kr::InstallMessageService(&responder);
        kr::ResetOptions();
        kr::MailSettings.Init(1);
        kr::MailSettings.ownerName = [] { return std::string(); };
    }
    void TearDown() override {
        kr::MailSettings.Kill();
        kr::MailSettings.ownerName = kr::PasswdFullName;
        kr::InstallMessageService(nullptr);
        kr::SetRegistryFilePath("");
        if (chdir(previousFolder.c_str()) != 0) ADD_FAILURE() << "cannot return to " << previousFolder;
    }

    std::string Path(const std::string& name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }
    std::string MailDir() const { return Path("mail"); }

    // The registry stand-in with the default account "00000001" holding these
    // lines ("SMTP Port=2525" and the like).
    void WriteAccount(const std::string& accountLines) {
        std::ofstream out(Path("registry.ini"), std::ios::binary);
        out << "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager]\n"
            << "Default Mail Account=00000001\n"
            << "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001]\n"
            << accountLines;
    }

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    QTemporaryDir dir;
    std::string previousFolder;
    kr::ScriptedResponder responder;
};

}  // namespace krtest
