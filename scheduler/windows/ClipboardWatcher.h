// The window side of the clipboard monitor: it follows the clipboard's change
// signal (XFixes selection events under X11) and reads the new text when the
// clipboard changes, outside the timer tick, handing it to the monitor with
// the title of the window in front. The tick then stores it.
#pragma once

#include <QMetaObject>
#include <functional>
#include <string>

#include "scheduler/ClipboardMonitor.h"

namespace kr {

class ClipboardWatcher {
public:
    // title: the title of the window in front (empty: none).
    ClipboardWatcher(ClipboardMonitor& monitor, std::function<std::string()> title);
    ~ClipboardWatcher();
    ClipboardWatcher(const ClipboardWatcher&) = delete;
    ClipboardWatcher& operator=(const ClipboardWatcher&) = delete;

    // Reads the clipboard now and offers it (at start-up: the text already
    // on the clipboard is the first one the monitor sees).
    void ReadNow();
    int changes() const { return changes_; }

private:
    ClipboardMonitor& monitor_;
    std::function<std::string()> title_;
    QMetaObject::Connection connection_;
    int changes_ = 0;
};

// The title of the active top-level window of the desktop, empty for none.
std::string ForegroundWindowTitle();

}  // namespace kr
