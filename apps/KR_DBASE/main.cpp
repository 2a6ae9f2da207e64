// KR_DBASE: the repair program. No arguments; it works on the data files of
// the folder it is started in (KR98 starts it in the data folder).
//
// Start-up: the application (which installs the Qt services), the window
// positions in "kr_dbase.INI", the twelve tables' managers, their
// registration with the upgrade library, then the "Repair Files" window
// until it is closed; then the managers are shut down. Exit code 0.
//
// End-to-end tests answer its messages through KR_TEST_RESPONSES
// (apps/KR98/TestResponder.h); unset, it is inert.
#include <memory>

#include "platform/data/WorkCopies.h"
#include "apps/KR98/TestResponder.h"
#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/ui/Application.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/SessionEnding.h"
#include "platform/ui/WindowPosition.h"
#include "repair/RepairFiles.h"
#include "repair/windows/RepairFiles.h"

int main(int argc, char** argv) {
    kr::Application app(argc, argv);
    kr::SessionEndingWatch sessionEnding;  // SIGTERM, SIGINT, SIGHUP
    std::unique_ptr<kr::FileResponder> responder = kr::FileResponder::FromEnvironment();
    if (responder) kr::InstallMessageService(responder.get());
    kr::AddThreadEndHook([](int thread) { kr::data::EndProcedureThread(thread); });
    kr::SetPositionFile(kr::repair::kRepairIniName);
    // Copies that a repair, backup or restore killed at work left here.
    kr::data::RemoveStrayWorkCopies(".");
    kr::DictionaryInitRepairProgram();
    kr::repair::RegisterRepairTables();
    kr::repair::RepairFiles();
    kr::DictionaryKill();
    if (responder) kr::InstallMessageService(nullptr);
    return 0;
}
