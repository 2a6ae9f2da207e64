// The AT-SPI half of Accessibility.h, built as a module of its own
// (kr_accessibility) that Accessibility.cpp opens with dlopen the first time
// another program's controls are read: libatspi and GObject are mapped only
// by a program that reads them.
#include <atspi/atspi.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/desktop/Accessibility.h"

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
        const int r = atspi_init();
        if (r == 0 || r == 1) {
            atspi_set_timeout(1000, 3000);
            state = 1;
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

}  // namespace kr

// The texts of the accessible window named `title` of the program with
// process `pid` (any program when pid <= 0; its only window when it has one
// and pid > 0), appended to *out. The caller has made sure a bus is known.
extern "C" __attribute__((visibility("default"))) void kr_accessible_texts(int pid, const char* titleText,
                                                                         std::vector<kr::AccessibleText>* outTexts) {
    using namespace kr;
    const std::string title = titleText;
    std::vector<AccessibleText>* out = outTexts;
    std::lock_guard<std::mutex> l(g_m);
    if (!Ready()) return;
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (!desktop) return;
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
        Collect(found, out);
        g_object_unref(found);
    }
}
