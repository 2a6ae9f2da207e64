// The runtime's BIND and EVALUATE: a list of names the evaluator can read,
// and an evaluator for the expressions the suite builds at run time (filters,
// "if value" conditions, computed values).
//
// Expression syntax:
//   numbers          12  3.5  .25
//   texts            'single quotes', a doubled quote '' stands for one quote
//   pictures         @d17  @n-10.2  (as arguments of FORMAT and DEFORMAT)
//   names            bound names, without regard to case; may hold a colon
//                    ("SCH:Date") or an underscore
//   operators, from the tightest to the loosest:
//                    ^ (power);  unary - +;  * / %;  + -;  & (concatenation);
//                    = <> ~= < > <= =< >= => ~< ~>;  NOT ~;  AND;  OR XOR
//   functions        UPPER LOWER CLIP LEFT RIGHT SUB INSTRING LEN TODAY CLOCK
//                    DATE DAY MONTH YEAR INT ABS ROUND NUMERIC FORMAT DEFORMAT
//                    CHOOSE INRANGE INLIST CHR VAL
// Comparisons: two numbers numerically; two texts blank-padded and with case;
// a number and a text numerically when the text is a number, else as texts.
// Results of comparisons and of AND/OR/NOT are the numbers 1 or 0.
// Integer arithmetic stays integer (a division that does not come out even
// gives a real); a text in arithmetic counts as its number, 0 when it is none.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/Value.h"

namespace kr {

// The runtime's BIND list: names the evaluator can read. A set can fall back
// to a parent set for names it does not bind itself, so a filter can bind its
// own variables over the table's fields without touching them. Thread-safe;
// the parent must outlive the child.
class Bindings {
public:
    Bindings() = default;
    explicit Bindings(const Bindings* parent) : parent_(parent) {}
    Bindings(const Bindings&) = delete;
    Bindings& operator=(const Bindings&) = delete;

    // Binds a name to a getter called at every read; replaces an existing
    // binding of that name (case-insensitive).
    void Bind(std::string name, std::function<Value()> getter);
    // Binds a name to a fixed value.
    void BindValue(std::string name, Value value);
    void Unbind(const std::string& name);
    // Removes every binding of this set (not of its parent).
    void Clear();
    // True when this set or a parent binds the name.
    bool Has(const std::string& name) const;
    // The bound value, read from this set first and then from the parents.
    std::optional<Value> Get(const std::string& name) const;

    const Bindings* parent() const { return parent_; }

private:
    std::shared_ptr<const std::function<Value()>> find(const std::string& key) const;

    const Bindings* parent_ = nullptr;
    mutable std::mutex m_;
    std::map<std::string, std::shared_ptr<const std::function<Value()>>> names_;  // key: upper case
};

// The bindings of the current procedure thread (ProcedureContext.h).
// Thread-safe: each procedure thread number has a set of its own.
Bindings& CurrentBindings();
// Frees the bindings of a procedure thread that has ended (the window layer
// calls it when a procedure's window closes); nothing may use them after.
void DropBindings(int procedureThread);

// Makes a set of bindings the current one for this procedure thread while it
// lives; the set usually falls back to the one it replaces:
//   Bindings local(&CurrentBindings());
//   local.BindValue("Today", ...);
//   BindingsScope scope(local);
class BindingsScope {
public:
    explicit BindingsScope(Bindings& bindings);
    ~BindingsScope();
    BindingsScope(const BindingsScope&) = delete;
    BindingsScope& operator=(const BindingsScope&) = delete;

private:
    int thread_;
    Bindings* pushed_;
};

struct EvalResult {
    Value value;
    int error = 0;          // 0, kBadExpression or kUnknownVariable
    std::string message;    // what was wrong, for the error's text
    bool ok() const { return error == 0; }
};

// An expression parsed once and evaluated many times (a filter over every
// record of a list). Immutable, so one compiled expression may be evaluated
// on several threads at once. Copies share the parsed form.
class CompiledExpression {
public:
    CompiledExpression() = default;
    // Parses the text; a syntax error shows in error() and message().
    static CompiledExpression Compile(std::string_view expression);

    bool ok() const { return error_ == 0; }
    int error() const { return error_; }
    const std::string& message() const { return message_; }

    EvalResult Evaluate(const Bindings& bindings) const;
    EvalResult Evaluate() const;  // with CurrentBindings()

    // The names the expression reads, upper case, each once, in the order
    // they first appear. A caller that reads the same names for many
    // records resolves them once and hands their values in `slots`.
    const std::vector<std::string>& Names() const;
    // Evaluates with the value of Names()[i] taken from slots[i]; a null
    // slot is read from the bindings.
    EvalResult Evaluate(const Bindings& bindings, const Value* const* slots) const;

    struct Node;

private:
    std::shared_ptr<const Node> root_;
    std::shared_ptr<const std::vector<std::string>> names_;
    int error_ = 0;
    std::string message_;
};

// The text as a quoted constant of the expression language ('it''s').
std::string QuoteForExpression(std::string_view text);

// AGE(from, to): the time from the first date to the second as text: "n DAYS"
// under 61 days, else "n MOS" (whole months) under two years, else "n YRS"
// (whole years).
std::string AgeText(int32_t from, int32_t to);

// Evaluates an expression. Never throws; a bad expression or an unknown name
// gives an error code and a message, with an empty text as value.
EvalResult Evaluate(std::string_view expression, const Bindings& bindings);
// Evaluates with CurrentBindings().
EvalResult Evaluate(std::string_view expression);

}  // namespace kr
