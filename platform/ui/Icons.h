// Icons by the names the windows give them ("OPEN.ICO", "~close.ico").
#pragma once

#include <QIcon>
#include <string>
#include <vector>

namespace kr {

// The icon of that name from the program's resources (":/icons/<name>" in
// lower case, without a leading "~"); else, for every icon and picture name
// the windows give (buttons, popup items, lists, window icons), the user's
// theme's standard icon where one fits, or our own drawing; an empty icon
// for a name it does not know.
QIcon IconByName(const std::string& name);
// The names IconByName was asked for and knows no image of, in the order
// first asked (a window test checks that it stays empty).
std::vector<std::string> UnknownIconNames();
// The suite's icon (every program's windows carry it).
QIcon ProgramIcon();

}  // namespace kr
