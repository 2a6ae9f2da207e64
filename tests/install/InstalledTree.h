// The build installed as the README tells a user to install it
// (cmake --install <build> --prefix <prefix> --strip), into a fresh prefix
// of the test's own that goes with the object.
#pragma once

#include <QProcess>
#include <QString>
#include <filesystem>
#include <string>

#include "../support/ProgramRun.h"

namespace kr::test {

class InstalledTree {
public:
    InstalledTree() : prefix_("kr-install") {
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QString::fromUtf8(KR_CMAKE_COMMAND), {"--install", QString::fromUtf8(KR_BUILD_DIR), "--prefix",
                                         QString::fromStdString(prefix_.path().string()), "--strip"});
        ok_ = install.waitForFinished(120000) && install.exitStatus() == QProcess::NormalExit &&
              install.exitCode() == 0;
        output_ = install.readAll().toStdString();
    }
    bool ok() const { return ok_ && !prefix_.path().empty(); }
    // What cmake said, for a failure's message.
    const std::string& output() const { return output_; }
    const std::filesystem::path& prefix() const { return prefix_.path(); }
    std::filesystem::path bin() const { return prefix_ / KR_INSTALL_BINDIR; }
    std::filesystem::path applications() const { return prefix_ / KR_INSTALL_DATADIR / "applications"; }
    std::filesystem::path icons() const { return prefix_ / KR_INSTALL_DATADIR / "icons"; }

private:
    TemporaryFolder prefix_;
    bool ok_ = false;
    std::string output_;
};

}  // namespace kr::test
