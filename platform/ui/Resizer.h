// Resizer: keeps a window's controls placed when the window is resized.
//
// Qt layouts already do that, so a window laid out with layouts needs no
// more than this: Init lets the window grow and shrink down to what its
// layout needs. Windows call it where the runtime set up its resizer.
#pragma once

#include <QLayout>
#include <QWidget>

namespace kr {

class Resizer {
public:
    void Init(QWidget* window) {
        window_ = window;
        if (window && window->layout()) window->setMinimumSize(window->layout()->minimumSize());
    }
    void Kill() { window_ = nullptr; }

private:
    QWidget* window_ = nullptr;
};

}  // namespace kr
