#include "platform/desktop/Accessibility.h"

#include <atspi/atspi.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>

namespace kr {

namespace {

constexpr int kMaxObjects = 5000;
constexpr int kMaxDepth = 64;
constexpr int kMaxTextChars = 4096;

std::mutex g_m;

std::string Take(gchar* s) {
    std::string out = s ? s : "";
    g_free(s);
    return out;
}

void Clear(GError** e) {
    if (*e) g_error_free(*e);
    *e = nullptr;
}

bool Ready() {
    static int state = -1;  // -1 not tried, 0 failed, 1 ready
    if (state < 0) {
        state = 0;
        if (AccessibilityAvailable()) {
            const int r = atspi_init();
            if (r == 0 || r == 1) {
                atspi_set_timeout(1000, 3000);
                state = 1;
            }
        }
    }
    return state == 1;
}

// Every text below a window's accessible object, breadth first.
void Collect(AtspiAccessible* top, std::vector<AccessibleText>* out) {
    std::deque<std::pair<AtspiAccessible*, int>> queue;
    GError* e = nullptr;
    auto addChildren = [&](AtspiAccessible* a, int depth) {
        const gint n = atspi_accessible_get_child_count(a, &e);
        Clear(&e);
        for (gint i = 0; i < n; ++i)
            if (AtspiAccessible* c = atspi_accessible_get_child_at_index(a, i, &e)) queue.push_back({c, depth + 1});
        Clear(&e);
    };
    addChildren(top, 0);
    int seen = 0;
    while (!queue.empty()) {
        auto [a, depth] = queue.front();
        queue.pop_front();
        if (++seen <= kMaxObjects) {
            const std::string role = Take(atspi_accessible_get_role_name(a, &e));
            Clear(&e);
            const std::string name = Take(atspi_accessible_get_name(a, &e));
            Clear(&e);
            if (!name.empty()) out->push_back({name, role});
            if (AtspiText* t = atspi_accessible_get_text_iface(a)) {
                gint count = atspi_text_get_character_count(t, &e);
                Clear(&e);
                if (count > kMaxTextChars) count = kMaxTextChars;
                if (count > 0) {
                    std::string text = Take(atspi_text_get_text(t, 0, count, &e));
                    Clear(&e);
                    if (!text.empty() && text != name) out->push_back({text, role});
                }
                g_object_unref(t);
            }
            if (depth < kMaxDepth) addChildren(a, depth);
        }
        g_object_unref(a);
    }
}

}  // namespace

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

    std::lock_guard<std::mutex> l(g_m);
    if (!Ready()) return out;
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (!desktop) return out;
    GError* e = nullptr;
    const gint apps = atspi_accessible_get_child_count(desktop, &e);
    Clear(&e);
    AtspiAccessible* found = nullptr;
    for (gint i = 0; i < apps && !found; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, &e);
        Clear(&e);
        if (!app) continue;
        const guint appPid = atspi_accessible_get_process_id(app, &e);
        Clear(&e);
        if (pid > 0 && static_cast<int>(appPid) != pid) {
            g_object_unref(app);
            continue;
        }
        // The program's window of that title; a program of the right process
        // with one window only is taken whatever its accessible name.
        const gint windows = atspi_accessible_get_child_count(app, &e);
        Clear(&e);
        for (gint w = 0; w < windows && !found; ++w) {
            AtspiAccessible* win = atspi_accessible_get_child_at_index(app, w, &e);
            Clear(&e);
            if (!win) continue;
            const std::string name = Take(atspi_accessible_get_name(win, &e));
            Clear(&e);
            if (name == title || (pid > 0 && windows == 1))
                found = win;
            else
                g_object_unref(win);
        }
        g_object_unref(app);
    }
    g_object_unref(desktop);
    if (found) {
        Collect(found, &out);
        g_object_unref(found);
    }
    return out;
}

}  // namespace kr
