// Toolbar: a row of command buttons of a window.
//
// Each button stands for a command number, as the frame's menu and toolbar
// commands do (-73 "Program Wizard", ...), and the tooltip is its text. A
// pressed button reaches the window's TakeAccepted with its action; the
// command number is read back with CommandOf.
#pragma once

#include <string>

class QAction;
class QObject;
class QToolBar;
class QWidget;

namespace kr {

class Toolbar {
public:
    // Uses an existing tool bar (from the layout) or makes one on the window.
    explicit Toolbar(QToolBar* bar);
    QToolBar* Bar() const { return bar_; }

    // Adds a button for a command; tip is its tooltip (and its text when it
    // has no icon).
    QAction* AddButton(int command, const std::string& tip, const std::string& icon = {});
    void AddSeparator();
    QAction* Button(int command) const;
    void SetEnabled(int command, bool enabled);

private:
    QToolBar* bar_;
};

// The command number of a menu or toolbar action (or of any control given
// one with SetCommand); 0 when it has none.
int CommandOf(const QObject* control);
void SetCommand(QObject* control, int command);

}  // namespace kr
