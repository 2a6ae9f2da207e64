// Checks every window a window test shows, whichever test shows it: its Alt
// letters (MnemonicProblems), that it carries an icon, that no icon name
// the windows asked for is unknown, that Tab leaves each of its multi-line
// entries, and, once it has settled, that it is as wide as its title needs
// and that no label is cut. Each problem is reported once, as a failure of
// the test that was running when the window showed (or just after).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>
#include <set>
#include <string>

#include "../ui/MnemonicCheck.h"
#include "platform/ui/Icons.h"
#include "platform/ui/WindowPosition.h"

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
        for (QPlainTextEdit* e : w->findChildren<QPlainTextEdit*>())
            if (!e->tabChangesFocus()) Report(title + ": Tab types into the entry " + Name(e));
        for (QTextEdit* e : w->findChildren<QTextEdit*>())
            if (!e->tabChangesFocus()) Report(title + ": Tab types into the entry " + Name(e));
        // The window sizes itself as it shows and just after (the framework
        // widens it to its title then): look once that is done.
        QPointer<QWidget> guard = w;
        QTimer::singleShot(0, this, [this, guard] {
            QTimer::singleShot(0, this, [this, guard] {
                if (guard && guard->isVisible()) CheckSizes(guard);
            });
        });
        return false;
    }

private:
    static std::string Name(const QObject* o) {
        return o->objectName().isEmpty() ? std::string(o->metaObject()->className()) : o->objectName().toStdString();
    }
    void CheckSizes(QWidget* w) {
        const std::string title = w->windowTitle().toStdString();
        const int need = TitleWidth(w->windowTitle());
        if (w->width() < need && (!w->screen() || need < w->screen()->availableGeometry().width() * 9 / 10))
            Report(title + ": " + std::to_string(w->width()) + " pixels wide, the title needs " + std::to_string(need));
        for (QLabel* label : w->findChildren<QLabel*>()) {
            if (!label->isVisibleTo(w) || label->text().isEmpty() || label->window() != w) continue;
            const QSize hint = label->sizeHint();
            const bool cut = label->wordWrap() ? label->height() < label->heightForWidth(label->width())
                                               : label->width() < hint.width();
            if (cut)
                Report(title + ": the label \"" + label->text().toStdString() + "\" is cut (" +
                       std::to_string(label->width()) + "x" + std::to_string(label->height()) + " for " +
                       std::to_string(hint.width()) + "x" + std::to_string(hint.height()) + ")");
        }
    }
    void Report(const std::string& problem) {
        if (reported_.insert(problem).second) ADD_FAILURE() << problem;
    }
    std::set<std::string> reported_;
};

}  // namespace kr::test
