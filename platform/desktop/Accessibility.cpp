#include "platform/desktop/Accessibility.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/desktop/Modules.h"

namespace kr {

bool AccessibilityAvailable() {
    if (std::getenv("AT_SPI_BUS_ADDRESS") || std::getenv("DBUS_SESSION_BUS_ADDRESS")) return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ec;
    return runtime && std::filesystem::exists(std::filesystem::path(runtime) / "bus", ec);
}

std::vector<AccessibleText> AccessibleTextsOf(WindowHandle window) {
    std::vector<AccessibleText> out;
    if (!window) return out;
    const int pid = WindowPid(window);
    if (pid == getpid()) return out;
    const std::string title = DescribeWindow(window).title;
    if (title.empty() && pid <= 0) return out;

    if (!AccessibilityAvailable()) return out;
    // libatspi lives in a module of its own, opened on the first read.
    using Reader = void (*)(int, const char*, std::vector<AccessibleText>*);
    static const Reader read = reinterpret_cast<Reader>(ModuleFunction("kr_accessibility", "kr_accessible_texts"));
    if (read) read(pid, title.c_str(), &out);
    return out;
}

}  // namespace kr
