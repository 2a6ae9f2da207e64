// What the SMTP and NNTP clients share in reading and tracing a dialogue
// with a server.
#pragma once

#include <string>
#include <string_view>

namespace kr::net {

// True when s begins with prefix, ASCII letters compared without case.
bool StartsWithNoCase(std::string_view s, std::string_view prefix);

// Replaces the trace file at `path` with `text`; one writer at a time, so
// that sends on several threads with the same trace file do not mix. A file
// that cannot be opened is left alone.
void WriteTraceFile(const std::string& path, const std::string& text);

}  // namespace kr::net
