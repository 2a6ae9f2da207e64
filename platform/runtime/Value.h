// A dynamically typed value: what generic code (the expression evaluator,
// record walkers, CSV, lists) reads from and writes to fields and variables.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace kr {

class Value {
public:
    Value() : v_(std::string()) {}
    Value(int v) : v_(static_cast<int64_t>(v)) {}
    Value(int64_t v) : v_(v) {}
    Value(double v) : v_(v) {}
    Value(std::string v) : v_(std::move(v)) {}
    Value(const char* v) : v_(std::string(v)) {}

    bool isInt() const { return std::holds_alternative<int64_t>(v_); }
    bool isReal() const { return std::holds_alternative<double>(v_); }
    bool isNumber() const { return isInt() || isReal(); }
    bool isText() const { return std::holds_alternative<std::string>(v_); }

    // Conversions as the runtime makes them: a text that is not a number is 0;
    // a number as text has no trailing zeros.
    int64_t toInt() const;
    double toReal() const;
    std::string toText() const;
    // The text held, without a copy; nullptr for a number.
    const std::string* textIf() const { return std::get_if<std::string>(&v_); }
    // True for a non-zero number or a text that is not blank.
    bool truthy() const;

    friend bool operator==(const Value& a, const Value& b) { return a.v_ == b.v_; }

private:
    std::variant<int64_t, double, std::string> v_;
};

}  // namespace kr
