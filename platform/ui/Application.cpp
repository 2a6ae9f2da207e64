#include "platform/ui/Application.h"

#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/QtServices.h"

namespace kr {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) { InstallQtServices(); }

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
