// Checks every window a window test shows, whichever test shows it: its Alt
// letters (MnemonicProblems), that it carries an icon, and that no icon name
// the windows asked for is unknown. Each problem is reported once, as a
// failure of the test that was running when the window showed.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QWidget>
#include <set>
#include <string>

#include "../ui/MnemonicCheck.h"
#include "platform/ui/Icons.h"

namespace kr::test {

class WindowChecks : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show || !watched->isWidgetType()) return false;
        auto* w = static_cast<QWidget*>(watched);
        if (!w->isWindow() || qobject_cast<QMenu*>(w)) return false;
        const Qt::WindowType type = w->windowType();
        // The programs' windows all carry a title; an untitled one is a
        // probe a test built for itself.
        if ((type != Qt::Window && type != Qt::Dialog) || w->windowTitle().isEmpty()) return false;
        const std::string title = w->windowTitle().toStdString();
        for (const std::string& problem : MnemonicProblems(w)) Report(title + ": " + problem);
        if (w->windowIcon().isNull()) Report(title + ": the window has no icon");
        for (const std::string& name : UnknownIconNames()) Report("no image for the icon name \"" + name + "\"");
        return false;
    }

private:
    void Report(const std::string& problem) {
        if (reported_.insert(problem).second) ADD_FAILURE() << problem;
    }
    std::set<std::string> reported_;
};

}  // namespace kr::test
