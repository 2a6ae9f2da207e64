#include "platform/ui/Application.h"

#include "platform/ui/Icons.h"

#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/QtServices.h"

namespace kr {

namespace detail {
QtCommandLine::QtCommandLine(char** programArgv) {
    static char fallback[] = "kairoll";
    argv[0] = programArgv && programArgv[0] ? programArgv[0] : fallback;
}
}  // namespace detail

Application::Application(int& /*argc*/, char** argv)
    : detail::QtCommandLine(argv), QApplication(detail::QtCommandLine::argc, detail::QtCommandLine::argv) {
    InstallQtServices();
    setWindowIcon(ProgramIcon());
}

Application::~Application() { UninstallQtServices(); }

bool Application::notify(QObject* receiver, QEvent* event) {
    int thread = ThreadOfObject(receiver);
    if (thread > 0 && thread != CurrentProcedureThread()) {
        ProcedureThreadScope scope(thread);
        return QApplication::notify(receiver, event);
    }
    return QApplication::notify(receiver, event);
}

}  // namespace kr
