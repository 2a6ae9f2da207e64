// Lets GoogleTest print a Value readably in failure messages.
#pragma once

#include <ostream>

#include "platform/runtime/Value.h"

namespace kr {
inline void PrintTo(const Value& v, std::ostream* os) {
    if (v.isInt()) *os << "int " << v.toInt();
    else if (v.isReal()) *os << "real " << v.toText();
    else *os << "text \"" << v.toText() << "\"";
}
}  // namespace kr
