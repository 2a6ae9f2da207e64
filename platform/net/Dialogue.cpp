#include "platform/net/Dialogue.h"

#include <cctype>
#include <cstdio>
#include <mutex>

#include "platform/runtime/PrivateFiles.h"

namespace kr::net {

namespace {
std::mutex gTraceMutex;
}  // namespace

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

void WriteTraceFile(const std::string& path, const std::string& text) {
    std::lock_guard<std::mutex> lock(gTraceMutex);
    // The trace holds addresses and the message's headers: the owner's alone.
    if (std::FILE* out = kr::OpenPrivateStream(path, "wb")) {
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
}

}  // namespace kr::net
