// A script text is typed or pasted by the user: the reader must take any
// bytes, and what the writer makes of the items must read back to itself.
#include <cstdint>
#include <string>
#include <string_view>

#include "scriptedit/ScriptText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const kr::ParsedScriptText parsed = kr::ParseScriptText(text, 1);
    const std::string written = kr::ScriptItemsToText(parsed.items);
    if (!kr::LinesNotReadingBack(parsed.items).empty()) return 0;
    const kr::ParsedScriptText back = kr::ParseScriptText(written, 1);
    if (!back.messages.empty() ||
        back.items.size() != parsed.items.size() - static_cast<std::size_t>(kr::CountItemsWithoutLine(parsed.items)))
        __builtin_trap();
    if (kr::ScriptItemsToText(back.items) != written) __builtin_trap();
    return 0;
}
