// VXWBack: backs the data files of the current folder up into one ZIP
// archive and restores them. "BACKUP=archive" or "RESTORE=archive" runs
// without the window; the exit code is 0 on success and 1 on any failure,
// so an unattended run can be checked.
#include <QTimer>
#include <string>
#include <vector>

#include "apps/KR98/TestResponder.h"
#include "backup/Launcher.h"
#include "backup/windows/BackupWindows.h"
#include "platform/ui/Application.h"
#include "platform/ui/WindowPosition.h"

int main(int argc, char** argv) {
    kr::Application app(argc, argv);
    auto responder = kr::FileResponder::FromEnvironment();
    if (responder) kr::InstallMessageService(responder.get());
    // The window's position is kept in the program's own INI file.
    kr::SetPositionFile("VXWBack.INI");

    std::vector<std::string> args(argv + 1, argv + argc);
    kr::backup::LauncherRun run = kr::backup::ReadLauncherCommandLine(args);
    kr::backup::LoadPreserved(run);
    kr::backup::ApplyDefaults(run);
    kr::backup::QtArchiveUi ui;
    kr::backup::InstallArchiveUi(&ui);

    int rc = 0;
    if (run.backupValue) {
        run.archiveName = *run.backupValue;
        rc = kr::backup::DoBackup(run, true);
    } else if (run.restoreValue) {
        run.archiveName = *run.restoreValue;
        rc = kr::backup::DoRestore(run, true);
    } else {
        kr::backup::BackupRestoreWindow window(run);
        window.show();
        window.exec();
        rc = window.result();
    }
    kr::backup::SavePreserved(run);
    kr::backup::InstallArchiveUi(nullptr);
    return rc == 0 ? 0 : 1;
}
