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

namespace detail {
// The command line Qt sees: the program's name only. Held here so that it
// outlives the application object, as Qt requires.
struct QtCommandLine {
    explicit QtCommandLine(char** argv);
    int argc = 1;
    char* argv[2] = {nullptr, nullptr};
};
}  // namespace detail

// Qt is handed the program's name and none of its arguments: the programs
// read their own arguments, and Qt's options ("-platform", "-qwindowgeometry",
// "-style", ...) would otherwise reach Qt from any command line, ending the
// program or placing its windows off every screen. Qt's settings still come
// from the environment (QT_QPA_PLATFORM and the like).
class Application : private detail::QtCommandLine, public QApplication {
public:
    Application(int& argc, char** argv);
    ~Application() override;

    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace kr
