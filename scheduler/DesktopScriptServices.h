// The window and keystroke services of the script interpreter on the X
// desktop: FindWindowByTitle over the top-level windows, focus and close
// through the window manager, and keystroke texts typed through XTest by the
// timer-driven send loop. KR98 installs them at start-up.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/desktop/Keyboard.h"
#include "scheduler/ScriptServices.h"

namespace kr {

class KeystrokeSender;
class XKeyboard;

class DesktopWindowService final : public ScriptWindowService {
public:
    ScriptWindow FindWindowByTitle(std::string_view pattern, std::string_view contents) override;
    bool SetFocus(ScriptWindow window) override;
    ScriptWindowInfo ForegroundWindow() override;
    bool CloseWindow(ScriptWindow window) override;
    std::vector<ScriptWindowInfo> Windows() override;
};

class DesktopKeystrokeService final : public KeystrokeService {
public:
    // Types through the display's keyboard (opened on the first send), or
    // through `keyboard` when one is given (tests).
    explicit DesktopKeystrokeService(KeyboardOutput* keyboard = nullptr);
    ~DesktopKeystrokeService() override;

    bool Send(std::string_view text, std::function<void(bool ok)> done) override;
    void Cancel() override;
    bool Sending() const;

private:
    std::unique_ptr<XKeyboard> display_;
    KeyboardOutput* keyboard_ = nullptr;
    std::unique_ptr<KeystrokeSender> sender_;
};

// Where the send loop shows its busy-key icons: the frame's tray sets it
// while it runs (empty: nowhere).
void SetSendKeysTrayIcon(std::function<void(const std::string& icon)> setIcon);

}  // namespace kr
