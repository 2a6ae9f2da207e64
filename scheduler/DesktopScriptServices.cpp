#include "scheduler/DesktopScriptServices.h"

#include <unistd.h>

#include <mutex>

#include "dictionary/Settings.h"
#include "platform/desktop/X11Windows.h"
#include "platform/desktop/XKeyboard.h"
#include "scheduler/RunnerSettings.h"
#include "scheduler/SendKeys.h"
#include "scheduler/WindowMatch.h"

namespace kr {

namespace {

std::mutex g_iconMutex;
std::function<void(const std::string&)> g_trayIcon;

ScriptWindowInfo Info(const DesktopWindow& w) {
    ScriptWindowInfo i;
    i.handle = w.handle;
    i.title = w.title;
    i.className = w.className;
    i.own = w.handle && WindowPid(w.handle) == getpid();
    return i;
}

}  // namespace

void SetSendKeysTrayIcon(std::function<void(const std::string&)> setIcon) {
    std::lock_guard<std::mutex> l(g_iconMutex);
    g_trayIcon = std::move(setIcon);
}

ScriptWindow DesktopWindowService::FindWindowByTitle(std::string_view pattern, std::string_view contents) {
    return ::kr::FindWindowByTitle(pattern, contents);
}

bool DesktopWindowService::SetFocus(ScriptWindow window) { return ActivateWindow(window); }

ScriptWindowInfo DesktopWindowService::ForegroundWindow() {
    const WindowHandle active = ActiveWindow();
    if (!active) return {};
    return Info(DescribeWindow(active));
}

bool DesktopWindowService::CloseWindow(ScriptWindow window) { return ::kr::CloseWindow(window); }

std::vector<ScriptWindowInfo> DesktopWindowService::Windows() {
    std::vector<ScriptWindowInfo> out;
    for (const DesktopWindow& w : TopLevelWindows()) out.push_back(Info(w));
    return out;
}

DesktopKeystrokeService::DesktopKeystrokeService(KeyboardOutput* keyboard) : keyboard_(keyboard) {}

DesktopKeystrokeService::~DesktopKeystrokeService() = default;

bool DesktopKeystrokeService::Send(std::string_view text, std::function<void(bool)> done) {
    if (!keyboard_) {
        if (!display_) display_ = std::make_unique<XKeyboard>();
        if (!display_->Available()) return false;
        keyboard_ = display_.get();
    }
    if (!sender_) sender_ = std::make_unique<KeystrokeSender>(*keyboard_);
    sender_->SetTrayIconHook([](const std::string& icon) {
        std::lock_guard<std::mutex> l(g_iconMutex);
        if (g_trayIcon) g_trayIcon(icon);
    });
    sender_->Start(text, runner::ScriptingDelay(), Options().BurstSize.load(), [done = std::move(done)] {
        if (done) done(true);
    });
    return true;
}

void DesktopKeystrokeService::Cancel() {
    if (sender_) sender_->Stop();
}

bool DesktopKeystrokeService::Sending() const { return sender_ && sender_->Running(); }

}  // namespace kr
