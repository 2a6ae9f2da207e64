#include "platform/runtime/SessionUnlock.h"

#include <atomic>

namespace kr {

namespace {
std::atomic<bool> g_unlocked{false};
}

bool sessionUnlocked() { return g_unlocked.load(std::memory_order_acquire); }

void setSessionUnlocked(bool on) { g_unlocked.store(on, std::memory_order_release); }

}  // namespace kr
