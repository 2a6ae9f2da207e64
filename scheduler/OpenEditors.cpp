#include "scheduler/OpenEditors.h"

#include <atomic>
#include <mutex>
#include <set>

namespace kr {

namespace {
std::atomic<int> g_editors{0};
std::mutex g_heldMutex;
std::multiset<int32_t>& Held() {
    static std::multiset<int32_t> held;
    return held;
}
}  // namespace

int OpenTaskEditors() { return g_editors.load(); }
void EditorOpened() { ++g_editors; }
void EditorClosed() {
    if (g_editors.load() > 0) --g_editors;
}

void HoldTask(int32_t id) {
    if (id == 0) return;
    std::lock_guard<std::mutex> lock(g_heldMutex);
    Held().insert(id);
}

void ReleaseTask(int32_t id) {
    std::lock_guard<std::mutex> lock(g_heldMutex);
    auto it = Held().find(id);
    if (it != Held().end()) Held().erase(it);
}

bool TaskHeldByEditor(int32_t id) {
    std::lock_guard<std::mutex> lock(g_heldMutex);
    return Held().count(id) != 0;
}

}  // namespace kr
