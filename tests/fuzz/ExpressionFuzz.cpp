// Expressions: any text compiled and evaluated, with a few bound names.
// Errors are results; a crash, a hang or undefined behaviour is a finding.
#include <string>

#include "platform/runtime/Expression.h"
#include "platform/runtime/Value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    static kr::Bindings* bindings = [] {
        auto* b = new kr::Bindings;
        b->Bind("N", [] { return kr::Value(int64_t{42}); });
        b->Bind("R", [] { return kr::Value(2.5); });
        b->Bind("T", [] { return kr::Value(std::string("text")); });
        b->Bind("SCH:Date", [] { return kr::Value(int64_t{80000}); });
        return b;
    }();
    (void)kr::Evaluate(text, *bindings);
    kr::CompiledExpression compiled = kr::CompiledExpression::Compile(text);
    if (compiled.ok()) (void)compiled.Evaluate(*bindings);
    return 0;
}
