#include "platform/desktop/Focus.h"

#include "platform/desktop/X11Windows.h"

namespace kr {

std::string FocusedWindowTitle() {
    const WindowHandle w = ActiveWindow();
    if (!w) return {};
    std::string title = DescribeWindow(w).title;
    if (title.size() > kFocusTitleLength) {
        title.resize(kFocusTitleLength);
        // Not half a character at the end.
        while (!title.empty() && (static_cast<unsigned char>(title.back()) & 0xC0) == 0x80) title.pop_back();
        if (!title.empty() && (static_cast<unsigned char>(title.back()) & 0x80)) title.pop_back();
    }
    return title;
}

}  // namespace kr
