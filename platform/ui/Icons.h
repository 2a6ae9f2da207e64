// Icons by the names the windows give them ("OPEN.ICO", "~close.ico").
#pragma once

#include <QIcon>
#include <string>

namespace kr {

// The icon of that name from the program's resources (":/icons/<name>" in
// lower case, without a leading "~"); else, for the frame's toolbar images,
// the user's theme's standard icon where one fits or our own drawing; an
// empty icon when there is none.
QIcon IconByName(const std::string& name);
// The suite's icon (every program's windows carry it).
QIcon ProgramIcon();

}  // namespace kr
