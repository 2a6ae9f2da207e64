#include "apps/KR98/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>
#include <memory>
#include <string>

#include "dictionary/EventLog.h"
#include "dictionary/OpenTable.h"
#include "dictionary/SchedulingTables.h"
#include "dictionary/Settings.h"
#include "dictionary/windows/ViewAscii_Log.h"
#include "platform/data/Table.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/WindowPosition.h"

namespace kr {

namespace {

constexpr const char* kFrameProcedure = "Main";

class FrameWindow : public QMainWindow {
public:
    FrameWindow() {
        QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
        QAction* viewLog = file->addAction(QStringLiteral("View &Log"));
        viewLog->setShortcut(QKeySequence(Qt::Key_F8));
        connect(viewLog, &QAction::triggered, this, [] { Start(kViewLogProcedure); });
        file->addSeparator();
        QAction* exit = file->addAction(QStringLiteral("E&xit"));
        connect(exit, &QAction::triggered, this, &QWidget::close);
        auto* label = new QLabel(QStringLiteral("The scheduler's frame is not part of this build yet."), this);
        label->setAlignment(Qt::AlignCenter);
        setCentralWidget(label);
        resize(480, 200);
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        SaveWindowPosition(kFrameProcedure, this);
        event->accept();
        QCoreApplication::quit();
    }
};

}  // namespace

void RunMain(bool closeAtOnce) {
    // The frame's start-up: the settings table, the program's name and
    // version, the options.
    data::Table& configuration = data::TableOf(ConfigurationDef());
    OpenTable(configuration);
    PutSetting("KRV", "kr98");
    Options().ININame = "kr98.INI";
    PutSetting("Version", kProductVersion);
    LoadSettings();
    const std::string caption = std::string(kProductName) + " " + kProductVersion;
    LogEvent("Started", caption);

    auto frame = std::make_unique<FrameWindow>();
    frame->setWindowTitle(QString::fromStdString(caption));
    AttachWindow(frame.get(), kFrameProcedure);
    RestoreWindowPosition(kFrameProcedure, frame.get());
    frame->show();
    if (closeAtOnce) QTimer::singleShot(0, frame.get(), &QWidget::close);
    QApplication::exec();

    // Windows the user left open end with the frame.
    QApplication::closeAllWindows();
    frame.reset();
    LogEvent("Exit Kairoll", "");
    configuration.Close();
}

}  // namespace kr
