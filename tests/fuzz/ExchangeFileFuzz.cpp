// Script exchange files come from anywhere (mail, downloads, old versions of
// the program): the decoder, the reader and the column rules must take any
// bytes, and what they read must come back the same through the writer.
#include <cstdint>
#include <string>
#include <string_view>

#include "scriptedit/ScriptExchange.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<kr::Export> rows = kr::ParseExchangeText(kr::DecodeExchangeText(bytes));
    for (const kr::Export& row : rows) {
        kr::Scripting item;
        kr::ReadExchangeRow(row, item);
        kr::Export written;
        if (kr::WriteExchangeRow(item, written)) {
            // What the writer puts down reads back as the same row.
            const std::vector<kr::Export> back = kr::ParseExchangeText(kr::FormatExchangeLine(written));
            if (back.size() != 1 || !(back[0].Type == written.Type) || !(back[0].Field1 == written.Field1) ||
                !(back[0].Field5 == written.Field5))
                __builtin_trap();
        }
    }
    return 0;
}
