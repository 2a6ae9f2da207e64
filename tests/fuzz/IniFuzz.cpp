// INI files: any bytes as the file, then reads, writes and deletes of names
// taken from the input. The parser must keep the first section and key of a
// name, refuse names that would break the structure, and never crash.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/runtime/IniFile.h"

namespace {

std::string Folder() {
    static std::string folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kr-fuzz-ini-XXXXXX";
        const char* made = ::mkdtemp(tmpl.data());
        return std::string(made ? made : "/tmp");
    }();
    return folder;
}

// Letters and digits (a value may hold inner blanks too).
bool Plain(const std::string& s, bool value) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && !(value && c == ' ')) return false;
    return s.front() != ' ' && s.back() != ' ';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string section = in.ConsumeRandomLengthString(40);
    const std::string key = in.ConsumeRandomLengthString(40);
    const std::string value = in.ConsumeRandomLengthString(80);
    const int op = in.ConsumeIntegralInRange(0, 3);
    const std::string text = in.ConsumeRemainingBytesAsString();

    // A new file (a new inode) each time, so the cache reads it afresh.
    const std::string path = Folder() + "/fuzz.ini";
    const std::string tmp = path + ".new";
    if (FILE* f = std::fopen(tmp.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        std::rename(tmp.c_str(), path.c_str());
    }

    kr::IniFile ini(path);
    (void)ini.Fetch(section, key, "default");
    for (const std::string& s : ini.Sections()) (void)ini.Keys(s);
    switch (op) {
        case 0: {
            const bool written = ini.Update(section, key, value);
            // Plain names and a plain value read back as written.
            if (written && Plain(section, false) && Plain(key, false) && Plain(value, true) &&
                ini.Fetch(section, key) != value)
                __builtin_trap();
            break;
        }
        case 1: (void)ini.DeleteKey(section, key); break;
        case 2: (void)ini.DeleteSection(section); break;
        default: (void)kr::GetIniValue(path, section, key); break;
    }
    return 0;
}
