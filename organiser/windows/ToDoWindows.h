// The to-do list and the form of one item.
#pragma once

#include <functional>

namespace kr::organiser {

// BrowseToDoList: "To Do Items", one at a time (a second start brings the
// open list forward). Opened on its thread's own window, or over the
// calling thread's window.
void BrowseToDoList();

// UpdateTodo: the form over the Todo buffer, driven by GlobalRequest();
// done gets the response once the form has closed.
void UpdateTodo(std::function<void(int response)> done = {});

// Registers "BrowseToDoList" for the frame (its menu, toolbar and the
// start-up setting).
void RegisterToDoWindows();

}  // namespace kr::organiser
