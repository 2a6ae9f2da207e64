// Archives come from anywhere: any bytes as an archive must be read, tested
// and extracted without harm, and nothing may be written outside the
// extraction folder, whatever names, sizes or flags the members claim.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "backup/ZipLibrary.h"

namespace {

namespace fs = std::filesystem;

bool EnterScratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kr-fuzz-zip-XXXXXX";
    const char* made = ::mkdtemp(tmpl.data());
    return made && ::chdir(made) == 0;
}

// Every name under the scratch folder but the archive and the extraction folder.
bool WroteOutside() {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(".", ec)) {
        const std::string n = e.path().filename().string();
        if (n != "in.zip" && n != "out") return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool entered = EnterScratchFolder();
    if (!entered) return 0;
    if (FILE* f = std::fopen("in.zip", "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    kr::backup::ZipLibrary lib;
    if (lib.LSUZ_ZIPNAME("in.zip")) {
        std::string comment;
        if (lib.LSUZ_EXECUTE(kr::backup::kUnzipComment, 0) > 0) lib.LSUZ_GETCMT(comment);
        const int count = lib.LSUZ_EXECUTE(kr::backup::kUnzipCount, 0);
        char record[kr::backup::kMemberRecordSize];
        for (int i = 0; i < count && i < 1000; ++i)
            if (lib.LSUZ_GETNEXT(record) == 0) (void)kr::backup::UnpackMemberRecord(record);
        lib.LSUZ_RESET();
        lib.LSUZ_ZIPNAME("in.zip");
        lib.LSUZ_INCLUDE("*.*");
        (void)lib.LSUZ_EXECUTE(kr::backup::kUnzipTest, 0);
        lib.LSUZ_RESET();
        for (int flags : {0, kr::backup::kUnzipJunkPaths + kr::backup::kUnzipOverwrite}) {
            lib.LSUZ_ZIPNAME("in.zip");
            lib.LSUZ_INCLUDE("*.*");
            lib.LSUZ_EXTRACTTO("out");
            (void)lib.LSUZ_EXECUTE(kr::backup::kUnzipExtract, flags);
            lib.LSUZ_RESET();
        }
    }
    if (WroteOutside()) __builtin_trap();
    std::error_code ec;
    fs::remove_all("out", ec);
    return 0;
}
