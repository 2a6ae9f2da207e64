// The frame's hot keys on the desktop: grabs on the X display, presses
// posted to the frame window as its hot-key event.
#include <memory>

#include "dictionary/Dictionary.h"
#include "platform/ui/ProcedureThread.h"
#include "scheduler/HotKeyActions.h"
#include "scheduler/TimerCycle.h"
#include "scheduler/windows/Main.h"

namespace kr {

namespace {
std::unique_ptr<DesktopHotKeys>& Keys() {
    static std::unique_ptr<DesktopHotKeys> keys;
    return keys;
}
}  // namespace

FrameHotKeys DesktopFrameHotKeys() {
    FrameHotKeys h;
    h.init = [](QWidget* window) {
        Keys() = std::make_unique<DesktopHotKeys>([window] { PostToWindow(window, kEventHotKeyPressed); });
    };
    h.add = [](const std::string& key) {
        if (Keys()) Keys()->Manager().Add(key);
    };
    h.suspend = [] {
        if (Keys()) Keys()->Manager().Suspend();
    };
    h.loadHotKeys = [] {
        if (Keys()) Keys()->Manager().Reload(ActiveStoredHotKeys());
    };
    h.resume = [] {
        if (Keys()) Keys()->Manager().Resume();
    };
    h.kill = [] { Keys().reset(); };
    h.takePressedKey = []() -> std::optional<std::pair<int32_t, std::string>> {
        if (!Keys()) return std::nullopt;
        const std::optional<HotKeyRow> row = Keys()->Manager().TakePressed();
        if (!row) return std::nullopt;
        return std::make_pair(row->code.Value(), row->text);
    };
    h.runHotKey = [] {
        if (Keys()) Keys()->Actions().RunHotKey(SysHotKeys_File().rec());
    };
    return h;
}

}  // namespace kr
