// Command lines: any text split the Windows way, then read as the message
// program's arguments.
#include <string>
#include <vector>

#include "msgprog/MessageProgram.h"
#include "platform/runtime/Process.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts = kr::SplitCommandLine(text);
    // Splitting never makes text: the parts together are no longer than the line.
    std::size_t total = 0;
    for (const std::string& p : parts) total += p.size();
    if (total > text.size()) __builtin_trap();
    if (!parts.empty()) parts.erase(parts.begin());
    (void)kr::msgprog::ParseCommandLine(parts);
    return 0;
}
