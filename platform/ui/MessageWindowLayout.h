// The layout both programs show a task's message in: a bold, word-wrapped
// title over the message text, and a row of "&Snooze", "&To Do", "&Email"
// and "Cl&ose" buttons. Each window adds its own size and text behaviour.
#pragma once

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace kr {

struct MessageWindowLayout {
    QWidget* window = nullptr;
    QLabel* title = nullptr;
    QPlainTextEdit* text = nullptr;
    QPushButton* snooze = nullptr;
    QPushButton* todo = nullptr;
    QPushButton* email = nullptr;
    QPushButton* close = nullptr;
    // Makes the window (width by height) and its controls.
    void BuildMessageWindow(int width, int height);
};

}  // namespace kr
