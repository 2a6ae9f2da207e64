// bench-libs: kr_backup_core
// Backup and restore throughput of the archive layer next to Debian's zip
// and unzip, in one run, on the same mixed files (text, records, random
// bytes and many small files; 200 MB by default), made in a temporary folder
// and removed afterwards:
//   - backup: the layer adding every file at level 6 vs `zip -q -6 -r`;
//   - restore: the layer extracting zip's archive vs `unzip -q -o` of it.
// Each is run twice, alternating, and the better time kept.
//
//   bench_backup [megabytes]
//
// Prints seconds, MB/s and the ratio (layer throughput / theirs).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "backup/ZipLibrary.h"

namespace fs = std::filesystem;
using kr::backup::ZipLibrary;

namespace {

double Seconds(const std::function<void()>& f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

int Shell(const std::string& cmd) {
    int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

void WriteFile(const fs::path& p, const std::string& data) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << data;
}

// The mixed set: 30% text, 20% records, 30% random bytes, 20% small files.
uint64_t MakeData(const fs::path& root, uint64_t total) {
    std::mt19937_64 gen(42);
    static const char* words[] = {"the",   "task",  "schedule", "message", "backup", "archive", "restore",
                                  "alarm", "every", "monday",   "report",  "contact", "category", "holiday",
                                  "kairoll", "data", "file",    "window",  "script", "value"};
    auto text = [&](uint64_t n) {
        std::string s;
        s.reserve(n);
        while (s.size() < n) {
            s += words[gen() % 20];
            s += (gen() % 12 == 0) ? '\n' : ' ';
        }
        s.resize(n);
        return s;
    };
    auto records = [&](uint64_t n) {
        std::string s;
        s.reserve(n + 128);
        char line[128];
        uint64_t id = 0;
        while (s.size() < n) {
            int len = std::snprintf(line, sizeof line, "%08llu,\"%s\",%02d/%02d/20%02d,%6.2f,%llu\r\n",
                                    static_cast<unsigned long long>(++id), words[gen() % 20], int(gen() % 12 + 1),
                                    int(gen() % 28 + 1), int(gen() % 30), (gen() % 100000) / 100.0,
                                    static_cast<unsigned long long>(gen() % 1000000));
            s.append(line, static_cast<size_t>(len));
        }
        s.resize(n);
        return s;
    };
    auto random = [&](uint64_t n) {
        std::string s(n, '\0');
        for (uint64_t i = 0; i + 8 <= n; i += 8) {
            uint64_t v = gen();
            std::memcpy(&s[i], &v, 8);
        }
        return s;
    };
    uint64_t written = 0;
    const uint64_t chunk = 8ull << 20;
    auto big = [&](const char* name, uint64_t bytes, auto make) {
        for (int i = 0; bytes > 0; ++i) {
            uint64_t n = std::min(bytes, chunk);
            WriteFile(root / (std::string(name) + std::to_string(i) + ".dat"), make(n));
            bytes -= n;
            written += n;
        }
    };
    big("text", total * 3 / 10, text);
    big("records", total * 2 / 10, records);
    big("random", total * 3 / 10, random);
    uint64_t small = total - written;
    for (int i = 0; small > 0; ++i) {
        uint64_t n = std::min<uint64_t>(small, 4096 + gen() % 16384);
        fs::path p = root / "small" / std::to_string(i % 20) / ("f" + std::to_string(i) + ".txt");
        WriteFile(p, i % 3 == 0 ? random(n) : text(n));
        small -= n;
        written += n;
    }
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t mb = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200;
    char tmpl[] = "/tmp/kr-bench-backup-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    fs::path base = tmpl;
    fs::path previous = fs::current_path();
    fs::current_path(base);
    uint64_t bytes = MakeData("src", mb << 20);

    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator("src"))
        if (e.is_regular_file()) files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    std::string spec;
    for (const std::string& f : files) spec += (spec.empty() ? "\"" : " \"") + f + "\"";

    ZipLibrary lib;
    double oursZip = 1e9, theirsZip = 1e9, oursUnzip = 1e9, theirsUnzip = 1e9;
    int failures = 0;
    for (int round = 0; round < 2; ++round) {
        theirsZip = std::min(theirsZip, Seconds([&] {
            fs::remove("theirs.zip");
            failures += Shell("zip -q -6 -r theirs.zip src") != 0;
        }));
        oursZip = std::min(oursZip, Seconds([&] {
            fs::remove("ours.zip");
            lib.LSZIP_INCLUDE(spec);
            failures += lib.LSZIP_EXECUTE("ours.zip", kr::backup::kZipAdd, 6, kr::backup::kZipFullPath) != 0;
        }));
        theirsUnzip = std::min(theirsUnzip, Seconds([&] {
            fs::remove_all("outT");
            failures += Shell("unzip -q -o theirs.zip -d outT") != 0;
        }));
        oursUnzip = std::min(oursUnzip, Seconds([&] {
            fs::remove_all("outO");
            lib.LSUZ_ZIPNAME("theirs.zip");
            lib.LSUZ_INCLUDE("*");
            lib.LSUZ_EXTRACTTO("outO");
            failures += lib.LSUZ_EXECUTE(kr::backup::kUnzipExtract, kr::backup::kUnzipOverwrite) < 0;
            lib.LSUZ_RESET();
        }));
    }
    uint64_t oursSize = fs::file_size("ours.zip"), theirsSize = fs::file_size("theirs.zip");
    bool same = Shell("diff -rq outT/src outO/src > /dev/null") == 0;

    double m = static_cast<double>(bytes) / (1 << 20);
    std::printf("input: %.0f MB in %zu files (%s)\n", m, files.size(), base.c_str());
    std::printf("backup   zip -6 : %6.2f s %7.1f MB/s  archive %llu bytes\n", theirsZip, m / theirsZip,
                static_cast<unsigned long long>(theirsSize));
    std::printf("backup   layer  : %6.2f s %7.1f MB/s  archive %llu bytes  ratio %.2f\n", oursZip, m / oursZip,
                static_cast<unsigned long long>(oursSize), theirsZip / oursZip);
    std::printf("restore  unzip  : %6.2f s %7.1f MB/s\n", theirsUnzip, m / theirsUnzip);
    std::printf("restore  layer  : %6.2f s %7.1f MB/s  ratio %.2f\n", oursUnzip, m / oursUnzip, theirsUnzip / oursUnzip);
    std::printf("extracted files identical: %s; failures: %d\n", same ? "yes" : "NO", failures);

    fs::current_path(previous);
    std::error_code ec;
    fs::remove_all(base, ec);
    return failures == 0 && same ? 0 : 1;
}
