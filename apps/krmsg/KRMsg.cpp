// KRMsg: the message program. The main program starts it as "KRMsg ID=n"
// for one MsgLink record; it shows that message in its window Main and ends
// when the window closes.
//
// It runs in the data folder it is started in (the main program starts it
// there); started elsewhere, the user's "PATHS.INI" (in the configuration
// folder, ~/.config/Kairoll) names the data folder, else the default one
// (~/.local/share/Kairoll), as for the main program.
//
// SIGTERM (the end of the session) closes it down in the normal way, also
// while a box is open (platform/ui/SessionEnding.h).
//
// Exit codes: 0 a message was shown; 1 there was no message to show (no
// record with the ID or above it, or none at all); 2 a bad command line.
#include <QApplication>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/FileNames.h"
#include "dictionary/Startup.h"
#include "msgprog/MessageProgram.h"
#include "msgprog/windows/Main.h"
#include "organiser/MailWorker.h"
#include "platform/data/Table.h"
#include "platform/runtime/IniFile.h"
#include "platform/ui/Application.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/SessionEnding.h"

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        const kr::msgprog::CommandLine line = kr::msgprog::ParseCommandLine(arguments);
        if (!line.ok) {
            std::fprintf(stderr, "KRMsg: %s\nUsage: KRMsg ID=n (0 or none: the newest message)\n",
                         line.error.c_str());
            return 2;
        }
        kr::Application app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        kr::SessionEndingWatch sessionEnding;  // SIGTERM, SIGINT, SIGHUP
        kr::EnterKnownDataFolder();

        kr::DictionaryInitMessageProgram();
        const kr::IniFile ini(kr::msgprog::kIniFileName);
        kr::msgprog::LoadPreservedFont(ini);

        int take = 0;
        bool opened = false;
        kr::Start("Main", [&] {
            opened = kr::msgprog::OpenMain(line.id, [] { QCoreApplication::quit(); }, &take) != nullptr;
        });
        int code = 0;
        if (opened) {
            app.exec();
        } else {
            if (line.id != 0)
                std::fprintf(stderr, "KRMsg: no message with ID %d or above (error %d)\n", line.id, take);
            else
                std::fprintf(stderr, "KRMsg: no message to show (error %d)\n", take);
            code = 1;
        }
        kr::CancelMailSends();  // a send still running is stopped and its thread joined
        kr::msgprog::SavePreservedFont(ini);
        kr::data::TableOf(kr::ConfigurationDef()).Close();
        kr::DictionaryKill();
        return code;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "KRMsg: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "KRMsg: unexpected error\n");
    }
    return 1;
}
