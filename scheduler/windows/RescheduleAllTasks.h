// The windows of re-dating every task: "Re-Date Tasks" asks for the moment,
// "Progress..." works through the Schedule table in chunks from its timer,
// with a Cancel button, so the display never waits for the whole table.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kr {

// The calendar date picker of the task windows: opens on `start` with a mode
// ("None": every day can be chosen) and a title, and hands the chosen date
// to `done` (not called when the user cancels). The task-maintenance windows
// install it; while none is installed the "..." button is disabled.
using CalendarPicker = std::function<void(int32_t start, const std::string& mode, const std::string& title,
                                          std::function<void(int32_t chosen)> done)>;
void SetCalendarPicker(CalendarPicker picker);

// RescheduleAllTasks:GetDate: asks for the moment; on OK runs the re-dating
// pass over it. done gets the framework's response once everything is over.
void RescheduleAllTasks_GetDate(std::function<void(int response)> done = {});

// RescheduleAllTasks: the "Progress..." window over the re-dating pass to the
// first occurrences after (date, time), over the Schedule table of the data
// file in the current folder.
void RescheduleAllTasks(int32_t date, int32_t time, std::function<void(int response)> done = {});

// Records worked through per tick of the progress window.
inline constexpr int kReDateChunk = 200;

}  // namespace kr
