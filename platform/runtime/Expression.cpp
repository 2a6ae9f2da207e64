// The expression evaluator (EVALUATE).
#include "platform/runtime/Expression.h"

#include "platform/runtime/ErrorCodes.h"

namespace kr {

EvalResult Evaluate(std::string_view expression, const Bindings& bindings) {
    (void)expression;
    (void)bindings;
    EvalResult r;
    r.error = kBadExpression;
    r.message = "The evaluator is not available yet";
    return r;
}

EvalResult Evaluate(std::string_view expression) { return Evaluate(expression, CurrentBindings()); }

}  // namespace kr
