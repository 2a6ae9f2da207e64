// The frame Main of KR98, as far as it goes yet: the settings are loaded, the
// start is logged, and a small window with File → View Log and Exit runs
// until the user exits. The frame with menus, toolbar, tray and the
// scheduler's timer replaces this behind the same function.
#pragma once

namespace kr {

inline constexpr const char* kProductName = "Kairoll 2000";
inline constexpr const char* kProductVersion = "2.02";

// Runs the frame until the user exits. closeAtOnce closes it as soon as its
// event loop runs (the end-to-end test's start-up run).
void RunMain(bool closeAtOnce = false);

}  // namespace kr
