// The Qt implementations of the runtime's services (platform/runtime/Services.h):
// message boxes (QMessageBox), folder choice (QFileDialog) and the clipboard
// (QClipboard). Callable from any thread: a call from a worker thread is
// carried out on the GUI thread and waits for the answer there.
#pragma once

#include <Qt>
#include <string>

#include "platform/runtime/Services.h"

class QMessageBox;

namespace kr {

class QtMessageService : public MessageService {
public:
    int Show(const MessageRequest& request) override;
    std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) override;
};

class QtClipboardService : public ClipboardService {
public:
    void SetText(const std::string& text) override;
    std::string Text() override;
};

// The window flags of a message box and of the small modal dialogs (Print
// Setup): a dialog whose title bar has the close box only, as a message is
// answered, not minimised or maximised. Those windows keep a fixed size
// too, which is what tells a window manager that reads size hints (openbox)
// that they cannot be maximised.
Qt::WindowFlags AnswerDialogFlags();

// The message box for a request, not yet shown: the runtime's '|' line breaks,
// its button texts ("&OK", "&Yes", ...), icon, default and escape buttons.
// Each button carries its runtime number in the property "krButton".
QMessageBox* MakeMessageBox(const MessageRequest& request);
// The runtime's text with '|' turned into line breaks.
std::string MessageText(const std::string& text);

// Installs the Qt services (Application does it); Uninstall removes them again.
void InstallQtServices();
void UninstallQtServices();

}  // namespace kr
