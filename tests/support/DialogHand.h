// The test's hand on the modal dialogs a step of the program opens (print
// set-up, file choosers, message boxes): while the step's own call waits in
// the dialog's event loop, the hand answers the dialogs one after the other.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <functional>
#include <vector>

namespace kr::test {

// Runs `steps` one after the other on a timer, each until it answers true.
class Hand {
public:
    explicit Hand(std::vector<std::function<bool()>> steps) : steps_(std::move(steps)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (next_ < steps_.size() && steps_[next_]()) ++next_;
            // A dialog no step answers would hold the test for ever: after
            // a minute every modal window is closed, and the test fails.
            if (next_ < steps_.size() && ++ticks_ > 6000)
                if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        });
        timer_.start(10);
    }
    bool done() const { return next_ == steps_.size(); }

private:
    std::vector<std::function<bool()>> steps_;
    std::size_t next_ = 0;
    int ticks_ = 0;
    QTimer timer_;
};

// The visible top-level window of class T (with this object name, when
// given); nullptr when none.
template <class T>
T* VisibleWindow(const char* name = nullptr) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible() && (!name || w->objectName() == name)) return t;
    return nullptr;
}

}  // namespace kr::test
