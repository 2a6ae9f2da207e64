// VXWBack: backs the data files of the current folder up into one ZIP
// archive and restores them. Started without arguments outside a data
// folder, it works in the one KR98 would find. "BACKUP=archive" or "RESTORE=archive" runs
// without the window; the exit code is 0 on success and 1 on any failure,
// so an unattended run can be checked.
//
// An unattended run is often started by cron or a timer, with nobody to
// press a button: every message also goes to standard error, a box that is
// shown closes by itself after a minute, and with no display at all the
// run shows no box and only prints. A folder without data files (the wrong
// folder) is left as it was: no "VXWBack.INI" is written there.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "apps/KR98/TestResponder.h"
#include "backup/Launcher.h"
#include "backup/windows/BackupWindows.h"
#include "dictionary/Startup.h"
#include "platform/data/WorkCopies.h"
#include "platform/ui/Application.h"
#include "platform/ui/SessionEnding.h"
#include "platform/ui/WindowPosition.h"

// Whether a window can be shown: Qt's platform is set, or the X server
// named by DISPLAY answers (Display.cpp).
bool HaveDisplay();

namespace {

// How long a box of an unattended run stays before it closes by itself.
int BoxSeconds() {
    const char* s = std::getenv("VXWBACK_BOX_SECONDS");
    int n = s ? std::atoi(s) : 0;
    return n > 0 ? n : 60;
}

// The message service of an unattended run: prints each message, then
// shows it through the service below it (if any) for at most BoxSeconds.
class UnattendedMessages : public kr::MessageService {
public:
    explicit UnattendedMessages(kr::MessageService* shown) : shown_(shown) {}
    int Show(const kr::MessageRequest& request) override {
        std::string text = request.text;
        for (char& c : text)
            if (c == '\r') c = ' ';
        std::fprintf(stderr, "VXWBack: %s: %s\n", request.title.c_str(), text.c_str());
        std::fflush(stderr);
        if (!shown_) {
            kr::CountMessageShown();
            return request.defaultButton ? request.defaultButton : kr::kButtonOk;
        }
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return shown_->Show(request);
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) box->reject();
        });
        timer.start(BoxSeconds() * 1000);
        return shown_->Show(request);
    }

private:
    kr::MessageService* shown_;
};

int RunUnattended(kr::backup::LauncherRun& run) {
    if (run.backupValue) {
        run.archiveName = *run.backupValue;
        return kr::backup::DoBackup(run, true);
    }
    run.archiveName = *run.restoreValue;
    return kr::backup::DoRestore(run, true);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    kr::backup::LauncherRun run = kr::backup::ReadLauncherCommandLine(args);
    const bool unattended = run.backupValue || run.restoreValue;
    // Started with nothing to go on (from the desktop's menu, with KR98
    // closed): the data folder KR98 would settle in.
    if (args.empty()) kr::EnterKnownDataFolder();
    // Copies that a backup or restore killed at work left here.
    kr::data::RemoveStrayWorkCopies(".");
    auto responder = kr::FileResponder::FromEnvironment();

    // With no display an unattended run shows no window: it only prints.
    const bool windows = !unattended || HaveDisplay();
    std::optional<kr::Application> app;
    if (windows) app.emplace(argc, argv);
    std::optional<kr::SessionEndingWatch> sessionEnding;  // SIGTERM, SIGINT, SIGHUP
    if (windows) sessionEnding.emplace();
    kr::MessageService* shown = responder  ? static_cast<kr::MessageService*>(responder.get())
                                : windows ? &kr::Messages()
                                          : nullptr;
    UnattendedMessages unattendedMessages(shown);
    if (unattended)
        kr::InstallMessageService(&unattendedMessages);
    else if (responder)
        kr::InstallMessageService(responder.get());
    // The window's position is kept in the program's own INI file, beside
    // the data files. A folder without any (a run started in the wrong
    // place) is left as it was: the positions of this run go to a scratch
    // folder, removed at the end.
    std::string scratch;
    if (windows) {
        std::string positions = "VXWBack.INI";
        if (!kr::backup::FolderHoldsDataFiles()) {
            std::error_code ec;
            std::string tmpl = (std::filesystem::temp_directory_path(ec) / "vxwback-XXXXXX").string();
            if (!ec && ::mkdtemp(tmpl.data())) {
                scratch = tmpl;
                positions = scratch + "/VXWBack.INI";
            }
        }
        kr::SetPositionFile(positions);
    }

    kr::backup::LoadPreserved(run);
    kr::backup::ApplyDefaults(run);
    std::optional<kr::backup::QtArchiveUi> ui;
    if (windows) kr::backup::InstallArchiveUi(&ui.emplace());

    int rc = 0;
    if (unattended) {
        rc = RunUnattended(run);
    } else {
        kr::backup::BackupRestoreWindow window(run);
        window.show();
        window.exec();
        rc = window.result();
    }
    // The archive name of this run is the next default, kept beside the
    // data files; a folder without any (a run started in the wrong place)
    // is left as it was.
    if (kr::backup::FolderHoldsDataFiles()) kr::backup::SavePreserved(run);
    if (ui) kr::backup::InstallArchiveUi(nullptr);
    if (!scratch.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(scratch, ec);
    }
    kr::InstallMessageService(nullptr);
    return rc == 0 ? 0 : 1;
}
