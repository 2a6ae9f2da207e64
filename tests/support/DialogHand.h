// The test's hand on the modal dialogs a step of the program opens (print
// set-up, file choosers, message boxes): while the step's own call waits in
// the dialog's event loop, the hand answers the dialogs one after the other.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace kr::test {

// Runs `steps` one after the other on a timer, each until it answers true.
//
// A watchdog on a timer of its own ends a dialog that holds the test in its
// event loop when no step can answer it: after the last step, or one that a
// running step opened (the steps' timer waits for that step to return), it
// is closed within kUnansweredMs; while a step waits for a dialog that never
// comes, the one on the screen is closed after kStuckMs. Either way the test
// fails, naming the dialog and the windows on the screen. While hands are
// nested (one made while another lives), the newest one watches.
class Hand {
public:
    static constexpr int kUnansweredMs = 2000;
    static constexpr int kStuckMs = 60000;

    explicit Hand(std::vector<std::function<bool()>> steps)
        : steps_(std::move(steps)), level_(QThread::currentThread()->loopLevel()) {
        Live().push_back(this);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (next_ >= steps_.size() || running_) return;
            running_ = true;
            const bool answered = steps_[next_]();
            running_ = false;
            if (answered) ++next_;
        });
        QObject::connect(&watchdog_, &QTimer::timeout, [this] { Watch(); });
        timer_.start(10);
        watchdog_.start(50);
    }
    ~Hand() { Live().erase(std::remove(Live().begin(), Live().end(), this), Live().end()); }
    Hand(const Hand&) = delete;
    Hand& operator=(const Hand&) = delete;

    bool done() const { return next_ == steps_.size(); }

private:
    static std::vector<Hand*>& Live() {
        static std::vector<Hand*> hands;
        return hands;
    }
    // True when a step of a live hand may still answer a dialog.
    static bool AnyHandCanAnswer() {
        for (const Hand* h : Live())
            if (!h->done() && !h->running_) return true;
        return false;
    }

    void Watch() {
        if (Live().back() != this) return;
        // A dialog holds the test only while its own event loop runs over the
        // one the hand was made in (the test's waits process events without one).
        QWidget* modal = QThread::currentThread()->loopLevel() > level_ ? QApplication::activeModalWidget() : nullptr;
        const bool answerable = modal && AnyHandCanAnswer();
        // The time counts from when the dialog showed, or from when the last
        // step that could answer it was done.
        if (modal != waiting_ || answerable != answerable_) {
            waiting_ = modal;
            answerable_ = answerable;
            since_.start();
        }
        if (!modal || since_.elapsed() < (answerable ? kStuckMs : kUnansweredMs)) return;
        ADD_FAILURE() << (answerable ? "no step answered this dialog in time: " : "no step answers this dialog: ")
                      << Describe(modal) << "\nwindows on the screen:" << Screen();
        waiting_ = nullptr;
        if (auto* d = qobject_cast<QDialog*>(modal))
            d->reject();
        else
            modal->close();
    }
    static std::string Describe(const QWidget* w) {
        std::string s = std::string(w->metaObject()->className()) + " \"" + w->objectName().toStdString() + "\" titled \"" +
                        w->windowTitle().toStdString() + "\"";
        if (auto* box = qobject_cast<const QMessageBox*>(w)) s += " saying \"" + box->text().toStdString() + "\"";
        return s;
    }
    static std::string Screen() {
        std::string s;
        for (const QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible()) s += "\n  " + Describe(w);
        return s;
    }

    std::vector<std::function<bool()>> steps_;
    std::size_t next_ = 0;
    bool running_ = false;
    const int level_;
    QTimer timer_;
    QTimer watchdog_;
    QElapsedTimer since_;  // since the dialog waited on, or whether a step can answer it, changed
    QPointer<QWidget> waiting_;
    bool answerable_ = false;
};

// The visible top-level window of class T (with this object name, when
// given); nullptr when none.
template <class T>
T* VisibleWindow(const char* name = nullptr) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible() && (!name || w->objectName() == name)) return t;
    return nullptr;
}

// Puts a file into a file dialog's name entry as the user types it there.
// QFileDialog::selectFile alone leaves the entry as it is while the entry has
// the keyboard focus, so as not to overwrite what the user types; the focus
// comes with the dialog's activation, which the platform delivers when it
// will, and the dialog would then go on with the name it opened with.
inline void EnterFileName(QFileDialog* dialog, const QString& file) {
    dialog->selectFile(file);  // its folder, and nothing else chosen in the list
    auto* entry = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_TRUE(entry) << "the file dialog's name entry";
    entry->setText(QFileInfo(file).fileName());
    EXPECT_EQ(dialog->selectedFiles().value(0).toStdString(), file.toStdString());
}

}  // namespace kr::test
