// KR98: the main program.
//
// The process's entry: the command line is kept for the options ("/I"), the
// application object installs the Qt services, and ProgramStartup runs the
// program from finding its data folder to the last shut-down step. The
// process ends with code 0 as the program always has; a damaged data file
// (reported, nothing written) or an error that escapes everything ends it
// with 1.
//
// End-to-end tests drive it through two environment variables, both inert
// when unset: KR_TEST_RESPONSES (TestResponder.h) answers the messages and
// the folder question from a file, and KR_TEST_EXIT_AFTER_STARTUP=1 closes
// the frame as soon as it runs and prints where the program settled.
#include <malloc.h>

#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "apps/KR98/MainFrame.h"
#include "apps/KR98/TestResponder.h"
#include "dictionary/Settings.h"
#include "dictionary/Startup.h"
#include "dictionary/windows/Housekeeping.h"
#include "dictionary/windows/Setup.h"
#include "dictionary/windows/ViewAscii_Log.h"
#include "organiser/MailSettings.h"
#include "scheduler/ActivityText.h"
#include "organiser/MailWorker.h"
#include "organiser/MessagesFileAccess.h"
#include "organiser/SendEmailMessage.h"
#include "organiser/windows/BugReport.h"
#include "organiser/windows/ClipboardWindows.h"
#include "organiser/windows/ContactWindows.h"
#include "organiser/windows/MessageWindows.h"
#include "organiser/windows/HotKeyWindows.h"
#include "organiser/windows/ToDoWindows.h"
#include "platform/runtime/QueryWizardCore.h"
#include "platform/data/Table.h"
#include "platform/data/Upgrade.h"
#include "platform/desktop/Focus.h"
#include "platform/desktop/SingleCopy.h"
#include "platform/desktop/WindowHelpers.h"
#include "platform/ui/Application.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/SessionEnding.h"
#include "scheduler/DesktopScriptServices.h"
#include "scheduler/FileActions.h"
#include "scheduler/StartScript.h"
#include "tasks/windows/TaskWindows.h"
#include "scheduler/OpenEditors.h"
#include "scheduler/ScriptInterpreter.h"
#include "scheduler/ScriptValues.h"
#include "scheduler/TranslateValues.h"
#include "platform/ui/WindowPosition.h"
#include "reports/windows/ExchangeWindows.h"
#include "reports/windows/ReportWindows.h"
#include "scheduler/windows/Main.h"
#include "scheduler/windows/RescheduleAllTasks.h"
#include "scheduler/windows/ViewQueue_Script.h"
#include "scriptedit/windows/ScriptWindows.h"

namespace {

const char* SourceName(kr::DataFolderSource s) {
    switch (s) {
        case kr::DataFolderSource::DataFileHere: return "data file here";
        case kr::DataFolderSource::PathsIni: return "PATHS.INI";
        case kr::DataFolderSource::Chosen: return "chosen";
        case kr::DataFolderSource::NewDatabase: return "new database";
    }
    return "";
}

bool EnvOn(const char* name) {
    const char* v = std::getenv(name);
    return v && *v && std::strcmp(v, "0") != 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        kr::SetProgramArguments(std::vector<std::string>(argv + 1, argv + argc));
        kr::Application app(argc, argv);
        kr::SessionEndingWatch sessionEnding;  // SIGTERM, SIGINT, SIGHUP
        std::unique_ptr<kr::FileResponder> responder = kr::FileResponder::FromEnvironment();
        if (responder) kr::InstallMessageService(responder.get());
        const bool exitAfterStartup = EnvOn("KR_TEST_EXIT_AFTER_STARTUP");
        // The program spends most of its life idle in the tray. Every ten
        // seconds it gives back the data file's cached pages (read again when
        // a list or the timer cycle needs them) and the heap's free pages.
        QTimer trim;
        QObject::connect(&trim, &QTimer::timeout, [] {
            kr::data::ReleaseCachedPages();
            malloc_trim(0);
        });
        trim.start(10000);

        // A procedure's record buffers, use counts and holds go with its thread.
        kr::AddThreadEndHook([](int thread) { kr::data::EndProcedureThread(thread); });
        // Sending a stored message reads the Messages table, fills in value
        // references and leaves its outcome in the script values.
        // (The table access is made once the dictionary is up, with the mail settings.)
        std::unique_ptr<kr::MessagesFileAccess> messagesAccess;
        kr::MailScriptServices mailServices;
        mailServices.translateValues = [](const std::string& text) { return kr::TranslateValues(text); };
        mailServices.setScriptVariable = [](const std::string& name, const std::string& value) {
            kr::ScriptValues().Put(name, value);
        };
        // The frame shows what the mail code is busy with.
        mailServices.setActivityText = [](const std::string& text) { kr::SetActivityText(text); };
        kr::InstallMailScriptServices(mailServices);
        // Script steps find, focus and close windows and type keystrokes on the desktop.
        kr::DesktopWindowService windowService;
        kr::DesktopKeystrokeService keystrokeService;
        kr::InstallScriptWindowService(&windowService);
        kr::InstallKeystrokeService(&keystrokeService);
        // File actions run on a worker; Start Script reads exchange files.
        kr::FileActionWorker fileActionService;
        kr::StartScriptRunner startScriptService;
        kr::InstallFileActionService(&fileActionService);
        kr::InstallStartScriptService(&startScriptService);

        kr::RegisterDictionaryWindows();
        kr::tasks::RegisterTaskWindows();
        kr::organiser::RegisterToDoWindows();
        kr::RegisterSchedulerWindows();
        kr::SetFrameHotKeys(kr::DesktopFrameHotKeys());
        kr::RegisterCalledProcedure(kr::kSetupProcedure, [] { kr::Setup(); });
        kr::RegisterCalledProcedure(kr::kHousekeepingProcedure, [] { kr::Housekeeping(); });
        kr::HousekeepingServices housekeeping;
        housekeeping.rescheduleAllTasks = [](std::function<void()> done) {
            kr::RescheduleAllTasks_GetDate([done](int) { done(); });
        };
        housekeeping.clearScriptQueue = [] { kr::StopActiveScripts(); };
        housekeeping.notifyScheduleLists = [] { kr::NotifyWindowThreads(); };
        // A task an open task form or wizard holds.
        housekeeping.taskInUse = [](int32_t id) { return kr::TaskHeldByEditor(id); };
        kr::SetHousekeepingServices(housekeeping);
        // Empty mail settings are filled from the system's mail account.
        kr::AddSettingsLoadedHook(kr::DefaultEmailSettings);
        kr::scriptedit::RegisterScriptWindows();
        kr::RegisterOrganiserWindows();
        kr::organiser::RegisterContactWindows();
        kr::organiser::RegisterMessageWindows();
        kr::organiser::RegisterBugReport();
        kr::RegisterHotKeyWindows();
        kr::reports::RegisterExchangeWindows();
        kr::reports::RegisterReportWindows();
        kr::AddOptionsAppliedHook([] { kr::SetExcludeHiddenWindows(kr::Options().ExclHidden != 0); });

        // [FOCUS] reads the title of the desktop's active window.
        kr::SetFocusTextSource([] { return kr::FocusedWindowTitle(); });
        kr::StartupServices services;
        kr::SingleCopy singleCopy;
        services.claimDataFolder = [&singleCopy](const kr::DataFolder& folder) {
            kr::SingleCopyRequests requests;
            requests.show = [] {
                if (kr::MainFrame* frame = kr::CurrentMainFrame()) {
                    kr::NotifyWindowThreads();
                    frame->RestoreFrame();
                }
            };
            // The backup launcher ends this copy to restore the data files,
            // and starts it again with the same arguments afterwards.
            requests.end = [] { kr::CloseMain(); };
            requests.arguments = kr::ProgramArguments();
            return singleCopy.Claim(folder.folder, std::move(requests));
        };
        services.iniInit = [](const std::string& file) { kr::SetPositionFile(file); };
        services.mailInit = [&messagesAccess] {
            kr::MailSettings.Init(1);
            messagesAccess = std::make_unique<kr::MessagesFileAccess>();
            kr::InstallMessagesAccess(messagesAccess.get());
        };
        services.queryWizardTexts = [] { kr::SetQueryWizardTexts(); };
        services.runMain = [exitAfterStartup] { kr::RunMain(exitAfterStartup); };
        services.mailKill = [] {
            kr::CancelMailSends();
            kr::InstallMessagesAccess(nullptr);
            kr::MailSettings.Kill();
        };
        kr::DataFolder folder = kr::ProgramStartup(services);
        kr::InstallStartScriptService(nullptr);
        kr::InstallFileActionService(nullptr);
        kr::InstallKeystrokeService(nullptr);
        kr::InstallScriptWindowService(nullptr);
        if (folder.otherCopyRuns) {
            std::fprintf(stderr, "KR98 already runs on %s: its window was brought forward.\n", folder.folder.c_str());
            if (responder) kr::InstallMessageService(nullptr);
            return 0;
        }
        if (folder.dataFileDamaged) {
            // Told already; the code says so to whatever started the program.
            if (responder) kr::InstallMessageService(nullptr);
            return 1;
        }

        if (exitAfterStartup) {
            int registered = 0;
            for (const kr::RegisteredTable& t : kr::RegisteredTables())
                if (kr::data::RegisteredVersion(*t.def) == t.version) ++registered;
            std::printf("KR98 data folder: %s\nKR98 found by: %s\nKR98 tables registered: %d\n",
                        folder.folder.c_str(), SourceName(folder.source), registered);
            std::fflush(stdout);
        }
        if (responder) kr::InstallMessageService(nullptr);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "KR98: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "KR98: unexpected error\n");
    }
    return 1;
}
