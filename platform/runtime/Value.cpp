#include "platform/runtime/Value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/runtime/Strings.h"

namespace kr {

namespace {

// A double cut to a whole number, clamped to the 64-bit range (a cast of a
// value outside it is undefined); not-a-number is 0.
int64_t ClampToInt(double d) {
    if (std::isnan(d)) return 0;
    // 2^63 is exactly representable; every double below it fits.
    constexpr double kLimit = 9223372036854775808.0;
    if (d >= kLimit) return std::numeric_limits<int64_t>::max();
    if (d <= -kLimit) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(std::trunc(d));
}

}  // namespace

int64_t Value::toInt() const {
    if (auto p = std::get_if<int64_t>(&v_)) return *p;
    if (auto p = std::get_if<double>(&v_)) return ClampToInt(*p);
    const std::string t = Trim(std::get<std::string>(v_));
    if (!IsNumeric(t)) return 0;
    return ClampToInt(std::strtod(t.c_str(), nullptr));
}

double Value::toReal() const {
    if (auto p = std::get_if<int64_t>(&v_)) return static_cast<double>(*p);
    if (auto p = std::get_if<double>(&v_)) return *p;
    const std::string t = Trim(std::get<std::string>(v_));
    if (!IsNumeric(t)) return 0;
    return std::strtod(t.c_str(), nullptr);
}

std::string Value::toText() const {
    if (auto p = std::get_if<int64_t>(&v_)) return std::to_string(*p);
    if (auto p = std::get_if<double>(&v_)) {
        if (std::isfinite(*p) && *p == std::trunc(*p) && std::fabs(*p) < 1e15)
            return std::to_string(static_cast<int64_t>(*p));
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.10g", *p);
        return buf;
    }
    return std::get<std::string>(v_);
}

bool Value::truthy() const {
    if (auto p = std::get_if<int64_t>(&v_)) return *p != 0;
    if (auto p = std::get_if<double>(&v_)) return *p != 0;
    const std::string& s = std::get<std::string>(v_);
    // A numeric text is true when non-zero; any other text when not blank.
    if (IsNumeric(s)) return std::strtod(s.c_str(), nullptr) != 0;
    return !ClipRight(s).empty();
}

}  // namespace kr
