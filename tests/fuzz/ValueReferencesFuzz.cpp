// Value references: script values, the focused window's title and the text
// all come from the input, so values may hold references, brackets and
// expressions. The translation must end and stay within its buffer.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "scheduler/ScriptValues.h"
#include "scheduler/TranslateValues.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    kr::ScriptValues().Clear();
    const int values = in.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < values; ++i) {
        const std::string name = in.ConsumeRandomLengthString(8);
        kr::ScriptValues().Put(name, in.ConsumeRandomLengthString(64));
    }
    const std::string focus = in.ConsumeRandomLengthString(64);
    kr::SetFocusTextSource([focus] { return focus; });
    const std::string text = in.ConsumeRemainingBytesAsString();
    if (kr::TranslateValues(text).size() > kr::kTranslateBufferSize) __builtin_trap();
    return 0;
}
