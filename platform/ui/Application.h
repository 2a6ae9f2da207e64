// The application object of the suite's window programs.
//
// Every event Qt delivers to a window of a procedure thread, or to anything
// inside such a window (controls, timers, queued calls), is dispatched inside
// a ProcedureThreadScope of that thread, so that code reacting to the event
// uses the procedure's own record buffers. Events for objects outside every
// procedure window run in the scope that is current.
//
// Constructing it also installs the Qt message, folder and clipboard services
// (QtServices.h).
#pragma once

#include <QApplication>

namespace kr {

class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    ~Application() override;

    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace kr
