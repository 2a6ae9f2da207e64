#include "dictionary/windows/ViewAscii_Log.h"

#include <QHBoxLayout>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "dictionary/EventLog.h"
#include "dictionary/GlobalErrors.h"
#include "dictionary/Settings.h"
#include "platform/ui/ProcedureThread.h"

namespace kr {

void ViewAscii_LogLayout::Build() {
    window = new QWidget(nullptr, Qt::Window);
    window->setWindowTitle(QStringLiteral("Event Log"));
    window->resize(760, 420);
    auto* layout = new QVBoxLayout(window);
    list = new QListView(window);
    list->setObjectName(QStringLiteral("logList"));
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(list);
    auto* buttons = new QHBoxLayout;
    print = new QPushButton(QStringLiteral("&Print..."), window);
    search = new QPushButton(QStringLiteral("&Search..."), window);
    close = new QPushButton(QStringLiteral("&Close"), window);
    buttons->addWidget(print);
    buttons->addWidget(search);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
}

ViewAscii_LogWindow::ViewAscii_LogWindow() : WindowManager(kViewLogProcedure) {}

QWidget* ViewAscii_LogWindow::MakeWindow() {
    ui_.Build();
    return ui_.window;
}

bool ViewAscii_LogWindow::Init() {
    SetCancelControl(ui_.close);
    // The writer's file: one name for both, found in whatever case it is spelt.
    // With logging on and nothing logged yet there is no file, or an empty
    // one: that is an empty log, not an error.
    bool ready = viewer_.Init(ui_.list, EventLogPath(), true);
    ui_.print->setEnabled(ready);
    ui_.search->setEnabled(ready);
    return ready;
}

void ViewAscii_LogWindow::TakeAccepted(QObject* control) {
    if (control == ui_.print) {
        viewer_.Print();
    } else if (control == ui_.search) {
        viewer_.Find();
    }
}

void ViewAscii_LogWindow::Kill() { viewer_.Kill(); }

ViewAscii_LogWindow* ViewAscii_Log() {
    GlobalErrors().SetProcedureName(kViewLogProcedure);
    if (!Options().GlobalUseLog)
        LogEventAlways("View Log - Logging disabled", "Logging is not enabled in configuration.");
    auto* w = new ViewAscii_LogWindow;
    QPointer<ViewAscii_LogWindow> guard = w;
    if (!w->Open()) return nullptr;
    return guard.data();
}

void RegisterDictionaryWindows() {
    RegisterProcedure(kViewLogProcedure, [] { ViewAscii_Log(); });
}

}  // namespace kr
