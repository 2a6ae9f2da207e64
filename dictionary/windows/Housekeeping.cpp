#include "dictionary/windows/Housekeeping.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <mutex>

#include "dictionary/GlobalErrors.h"
#include "dictionary/Housekeeping.h"
#include "dictionary/windows/fPasswordValidation.h"
#include "platform/runtime/Services.h"

namespace kr {

namespace {

constexpr const char* kTitle = "Housekeeping";

std::mutex g_servicesMutex;
HousekeepingServices& Services() {
    static HousekeepingServices s;
    return s;
}
HousekeepingServices CurrentServices() {
    std::lock_guard<std::mutex> l(g_servicesMutex);
    return Services();
}

bool Ask(const char* question) {
    return Message(question, kTitle, MessageIcon::Question, kButtonYes | kButtonNo, kButtonYes) == kButtonYes;
}

void Report(const HousekeepingResult& r, const char* done) {
    if (r.ok())
        Message(done, kTitle);
    else
        Message("Nothing was removed.  " + r.errorText, kTitle, MessageIcon::Exclamation);
}

QPushButton* Button(QWidget* parent, const char* text, const char* name) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setObjectName(QString::fromUtf8(name));
    return b;
}

}  // namespace

void SetHousekeepingServices(HousekeepingServices services) {
    std::lock_guard<std::mutex> l(g_servicesMutex);
    Services() = std::move(services);
}

void HousekeepingLayout::Build() {
    // A dialog, so that it opens over the frame that calls it.
    window = new QWidget(nullptr, Qt::Dialog);
    window->setWindowTitle(QString::fromUtf8(kTitle));
    auto* outer = new QVBoxLayout(window);
    sheet = new QTabWidget(window);
    sheet->setObjectName(QStringLiteral("sheet"));
    // Both tabs in view: the buttons are narrower than the tab names, and the
    // second tab would hide behind scroll arrows.
    sheet->tabBar()->setUsesScrollButtons(false);
    auto* database = new QWidget;
    auto* db = new QVBoxLayout(database);
    clearDisabled = Button(database, "Clear all disabled tasks", "clearDisabled");
    clearCompleted = Button(database, "Clear all completed tasks", "clearCompleted");
    clearToDo = Button(database, "Clear To Do list", "clearToDo");
    reschedule = Button(database, "Reschedule All Tasks", "reschedule");
    for (QPushButton* b : {clearDisabled, clearCompleted, clearToDo, reschedule}) db->addWidget(b);
    db->addStretch();
    sheet->addTab(database, QStringLiteral("Database Housekeeping"));
    auto* interface = new QWidget;
    auto* in = new QVBoxLayout(interface);
    resetWindows = Button(interface, "Reset saved window settings", "resetWindows");
    clearScripts = Button(interface, "Clear current script queue", "clearScripts");
    in->addWidget(resetWindows);
    in->addWidget(clearScripts);
    in->addStretch();
    sheet->addTab(interface, QStringLiteral("Interface Housekeeping"));
    outer->addWidget(sheet);
    auto* bottom = new QHBoxLayout;
    close = Button(window, "Cl&ose", "close");
    close->setDefault(true);
    bottom->addStretch();
    bottom->addWidget(close);
    outer->addLayout(bottom);
}

HousekeepingWindow::HousekeepingWindow() : WindowManager(kHousekeepingProcedure) {}

QWidget* HousekeepingWindow::MakeWindow() {
    ui_.Build();
    return ui_.window;
}

bool HousekeepingWindow::Init() {
    SetCancelControl(ui_.close);
    tabs_.Init(ui_.window);
    tabs_.Refresh();
    const HousekeepingServices s = CurrentServices();
    ui_.reschedule->setEnabled(static_cast<bool>(s.rescheduleAllTasks));
    ui_.clearScripts->setEnabled(static_cast<bool>(s.clearScriptQueue));
    return true;
}

void HousekeepingWindow::TakeAccepted(QObject* control) {
    const HousekeepingServices s = CurrentServices();
    auto removeTasks = [&](const char* question, HousekeepingFlag flag, const char* done) {
        if (!Ask(question)) return;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const HousekeepingResult r = RemoveTasks(flag, s.taskInUse);
        QApplication::restoreOverrideCursor();
        Report(r, done);
    };
    if (control == ui_.clearDisabled) {
        removeTasks("Remove disabled tasks?", HousekeepingFlag::Disabled, "Disabled tasks removed.");
    } else if (control == ui_.clearCompleted) {
        removeTasks("Remove completed tasks?", HousekeepingFlag::Completed, "Completed tasks removed.");
    } else if (control == ui_.clearToDo) {
        if (!Ask("Clear To Do list?")) return;
        Report(ClearTodoList(), "To Do list removed.");
    } else if (control == ui_.reschedule) {
        if (!s.rescheduleAllTasks) return;
        QPointer<QWidget> window = ui_.window;
        s.rescheduleAllTasks([window] {
            if (window) window->update();
        });
    } else if (control == ui_.resetWindows) {
        if (!Ask("Reset saved window settings?")) return;
        if (ResetSavedWindowSettings())
            Message("All saved window positions have been removed", kTitle);
        else
            Message("The saved window positions could not be removed.", kTitle, MessageIcon::Exclamation);
    } else if (control == ui_.clearScripts) {
        if (!Ask("Remove active scripts?")) return;
        if (s.clearScriptQueue) s.clearScriptQueue();
        Message("All active scripts have been removed", kTitle);
    }
}

void HousekeepingWindow::TakeNewSelection(QObject* control) {
    if (control == ui_.sheet) tabs_.Refresh();
}

void HousekeepingWindow::Kill() {
    tabs_.Kill();
    const HousekeepingServices s = CurrentServices();
    if (s.notifyScheduleLists) s.notifyScheduleLists();
}

HousekeepingWindow* Housekeeping() {
    GlobalErrors().SetProcedureName(kHousekeepingProcedure);
    auto* w = new HousekeepingWindow;
    QPointer<HousekeepingWindow> guard = w;
    if (!w->Call()) return nullptr;
    // The window is open before the password is asked; a wrong one closes it.
    if (guard && !fPasswordValidation()) {
        guard->Close();
        return nullptr;
    }
    return guard.data();
}

}  // namespace kr
