// The frame Main of KR98 (scheduler/windows/Main.h): menus, toolbar, tray,
// the scheduler's timer, and the frame's own start-up and shutdown.
#pragma once

namespace kr {

// Runs the frame until the user exits. closeAtOnce closes it as soon as its
// event loop runs (the end-to-end test's start-up run).
void RunMain(bool closeAtOnce = false);

}  // namespace kr
