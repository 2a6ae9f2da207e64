// Hot-key texts come from the data file and the hot-key form: any stored
// text must split into the form's parts and parse as a key without harm;
// every key the form can build must split back into the same parts; the
// list line must stay within its 40 characters.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "organiser/HotKeyText.h"
#include "scheduler/HotKeys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    kr::HotKeyParts parts;
    parts.ctrl = in.ConsumeBool();
    parts.alt = in.ConsumeBool();
    parts.shift = in.ConsumeBool();
    parts.win = in.ConsumeBool();
    parts.key = kr::kHotKeyFormNames[in.ConsumeIntegralInRange<size_t>(0, kr::kHotKeyFormNames.size() - 1)];
    const std::string built = kr::BuildHotKeyText(parts);
    if (!(kr::SplitHotKeyText(built) == parts)) __builtin_trap();
    (void)kr::ParseKey(built);

    const std::string description = in.ConsumeRandomLengthString(64);
    const std::string action = in.ConsumeBool() ? "Text" : "Task";
    const std::string text = in.ConsumeRemainingBytesAsString();
    const kr::HotKeyParts stored = kr::SplitHotKeyText(text);
    (void)kr::BuildHotKeyText(stored);
    (void)kr::ParseKey(text);
    if (kr::HotKeyQuickText(description, action, text).size() > 40) __builtin_trap();
    return 0;
}
