// Icons by the names the windows give them ("OPEN.ICO", "~close.ico").
#pragma once

#include <QIcon>
#include <string>

namespace kr {

// The icon of that name from the program's resources (":/icons/<name>" in
// lower case, without a leading "~"); an empty icon when there is none.
QIcon IconByName(const std::string& name);

}  // namespace kr
