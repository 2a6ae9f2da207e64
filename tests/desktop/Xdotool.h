// Driving a program as a user does, through xdotool: keys and text to a
// window after activating it, and windows found by their titles.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "../support/WaitUntil.h"

namespace kr::test::xdo {

inline bool Available() { return QProcess::execute("xdotool", {"version"}) == 0; }

inline std::string Run(const QStringList& args) {
    QProcess p;
    p.start("xdotool", args);
    p.waitForFinished(10000);
    return p.readAllStandardOutput().trimmed().toStdString();
}

// The first visible window whose title matches the pattern ("" when none
// shows within ms).
inline std::string WindowNamed(const QString& pattern, int ms = 20000) {
    std::string id;
    WaitUntil(
        [&] {
            id = Run({"search", "--onlyvisible", "--name", pattern});
            id = id.substr(0, id.find('\n'));
            return !id.empty();
        },
        ms);
    return id;
}

// True once no visible window's title matches the pattern (within ms).
inline bool WaitGone(const QString& pattern, int ms = 10000) {
    return WaitUntil([&] { return Run({"search", "--onlyvisible", "--name", pattern}).empty(); }, ms);
}

// The window that has the focus ("" when none).
inline std::string ActiveWindow() { return Run({"getactivewindow"}); }

inline void Activate(const std::string& window) {
    Run(QStringList{"windowactivate", "--sync", QString::fromStdString(window)});
}

inline void Keys(const std::string& window, const QStringList& keys) {
    Activate(window);
    for (const QString& k : keys) {
        Run({"key", "--clearmodifiers", k});
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
}

inline void Type(const std::string& window, const std::string& text) {
    Activate(window);
    Run({"type", "--delay", "30", QString::fromStdString(text)});
}

// A click at a point of a window given as fractions of its width and height.
inline bool ClickAt(const std::string& window, double x, double y) {
    Activate(window);
    const std::string geometry = Run({"getwindowgeometry", "--shell", QString::fromStdString(window)});
    int width = 0, height = 0;
    if (geometry.find("WIDTH=") == std::string::npos || geometry.find("HEIGHT=") == std::string::npos) return false;
    std::sscanf(geometry.substr(geometry.find("WIDTH=")).c_str(), "WIDTH=%d", &width);
    std::sscanf(geometry.substr(geometry.find("HEIGHT=")).c_str(), "HEIGHT=%d", &height);
    if (width <= 0 || height <= 0) return false;
    Run({"mousemove", "--window", QString::fromStdString(window), QString::number(int(width * x)),
         QString::number(int(height * y)), "click", "1"});
    return true;
}

// The titles of every visible window, one a line: for failure messages.
inline std::string VisibleTitles() {
    std::string names;
    for (const QString& id : QString::fromStdString(Run({"search", "--onlyvisible", "--name", "."})).split('\n'))
        names += Run({"getwindowname", id}) + "\n";
    return names;
}

}  // namespace kr::test::xdo
