// Waiting on something outside the test's event loop: another program, a
// file, the X server.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace kr::test {

// Polls cond every pollMs until it holds or ms pass; returns cond().
inline bool WaitUntil(const std::function<bool()>& cond, int ms = 3000, int pollMs = 20) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return cond();
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
    return true;
}

}  // namespace kr::test
