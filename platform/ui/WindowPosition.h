// Saving and restoring window positions in ".\POSITION.INI".
//
// Each window's position is kept in the section named after its procedure,
// under the keys XPos, YPos, Width and Height (the window's normal geometry,
// in pixels) and Maximize (1 when it was maximised).
#pragma once

#include <string>

class QWidget;

namespace kr {

// The file the positions go to; ".\POSITION.INI" unless changed (tests).
std::string PositionFile();
void SetPositionFile(const std::string& file);

// Stores the window's position under the procedure's name, unless the window
// is hidden, minimised or full screen: such a window keeps the position saved
// before.
void SaveWindowPosition(const std::string& procedureName, QWidget* window);
// Puts the window where it was saved. A saved position that would leave the
// window off every screen is moved onto the nearest one. False when nothing
// was saved for the procedure.
bool RestoreWindowPosition(const std::string& procedureName, QWidget* window);
// Centres a window that has no saved position over `anchor` (the window the
// user opened it from), or on the screen without one, kept on the screen. A
// window opened from the frame's menu is its own top-level window, so the
// window manager would otherwise put it wherever it puts new windows, often
// a corner far from where the user is working.
void PlaceOverWindow(QWidget* window, const QWidget* anchor);

}  // namespace kr
