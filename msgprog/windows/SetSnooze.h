// SetSnooze: the "Snooze" window, asking for a snooze time of 0 to 999
// minutes for the message title shown.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kr::msgprog {

// Opens the window modal over the current window. `minutes` is edited in
// place (it must outlive the window); `done` runs after it has closed.
bool SetSnooze(const std::string& title, int32_t& minutes, std::function<void()> done);

}  // namespace kr::msgprog
