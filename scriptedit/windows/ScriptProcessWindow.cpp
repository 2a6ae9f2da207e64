// The whole-script delete and copy of the callers that wait for them (the
// task form, the wizards, quick start) in the progress window.
#include <QApplication>
#include <QEventLoop>
#include <QThread>

#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/ProcessWindow.h"
#include "scriptedit/ScriptCopy.h"
#include "scriptedit/windows/ScriptWindows.h"

namespace kr::scriptedit {

namespace {

ProcessState RunInProgressWindow(std::shared_ptr<RecordProcess> p, const std::string& text) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(app) || QThread::currentThread() != app->thread()) return RunToEnd(*p);
    ProcessWindowOptions o;
    o.procedureName = text == "Copying Script" ? "CopyScript" : "DeleteScript";
    o.userText = text;
    // Each failed item is its own message ("Error"), as without a window.
    o.listErrors = false;
    o.holdOnErrors = false;
    bool ended = false;
    QEventLoop loop;
    const bool opened = RunProcessWindow(p, o, [&](int) {
        ended = true;
        loop.quit();
    });
    // No window to open it over: the work is done all the same.
    if (!opened) return RunToEnd(*p);
    // The caller goes on once the items are there (or the user stopped).
    const int thread = CurrentProcedureThread();
    if (!ended) loop.exec();
    ProcedureThreadScope back(thread);
    return p->state();
}

}  // namespace

void InstallScriptProcessWindow() { SetScriptProcessRunner(RunInProgressWindow); }

}  // namespace kr::scriptedit
