// Template texts and the answers typed for their tokens are anything: the
// expansion must end, stay within the field and never read out of bounds.
// The input is the text, then the answers, separated by NUL bytes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scriptedit/TemplateTokens.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            parts.emplace_back();
        else
            parts.back() += static_cast<char>(data[i]);
    }
    std::size_t next = 1;
    kr::TemplateAsker asker = [&](kr::TemplateAskKind, const std::string&, const std::string&) -> std::optional<std::string> {
        if (next >= parts.size()) return std::nullopt;  // out of answers: cancel
        return parts[next++];
    };
    kr::TemplateAnswers answers;
    std::string field = parts[0];
    const std::string before = field;
    const std::size_t length = 1 + size % 255;
    if (kr::ExpandTemplateTokens(field, length, answers, asker)) {
        if (before.find("[?") != std::string::npos && field.size() > length) __builtin_trap();
    } else if (field != before) {
        __builtin_trap();
    }
    return 0;
}
