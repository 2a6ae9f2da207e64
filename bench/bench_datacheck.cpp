// bench-libs: kr_runtime kr_data
// The start-up check of a data file on a large file: a file of the given
// size (100 MB by default) encrypted as the program's data files are, then
// the check timed with the start-up budget and without a budget.
//
//   bench_datacheck [megabytes] [file]
//
// Prints the seconds of each check and whether it covered the whole file.
#ifndef SQLITE_HAS_CODEC
#define SQLITE_HAS_CODEC 1
#endif
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/data/DataFileCheck.h"

using namespace kr::data;

namespace {

constexpr const char* kPassword = "pmxr7@tnw";

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Rows of text and numbers with an index, as the program's tables are.
bool MakeFile(const std::string& path, long megabytes) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
    sqlite3_key(db, kPassword, static_cast<int>(std::char_traits<char>::length(kPassword)));
    sqlite3_exec(db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, notes TEXT); CREATE INDEX t_name ON t(name)",
                 nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t(name, notes) VALUES(?, ?)", -1, &st, nullptr);
    const std::string notes(400, 'n');
    const long rows = megabytes * 1024 * 1024 / 520;
    for (long i = 0; i < rows; ++i) {
        const std::string name = "task " + std::to_string((i * 7919) % rows);
        sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, notes.c_str(), -1, SQLITE_STATIC);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    const bool ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

void Report(const char* what, const std::string& path, int budgetMs) {
    const auto t0 = std::chrono::steady_clock::now();
    DataFileCheck c = CheckDataFile(path, kPassword, budgetMs);
    const double s = Seconds(t0);
    std::printf("%-28s %7.3f s  health %d  %s%s\n", what, s, static_cast<int>(c.health),
                c.complete ? "whole file" : "partly: ", c.complete ? "" : c.detail.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 100;
    std::string path = argc > 2 ? argv[2] : "";
    bool made = false;
    if (path.empty()) {
        path = (std::filesystem::temp_directory_path() / ("kr-bench-check-" + std::to_string(::getpid()) + ".TPS")).string();
        const auto t0 = std::chrono::steady_clock::now();
        if (!MakeFile(path, megabytes)) {
            std::fprintf(stderr, "cannot make %s\n", path.c_str());
            return 1;
        }
        made = true;
        std::printf("made %s: %.1f MB in %.1f s\n", path.c_str(),
                    static_cast<double>(std::filesystem::file_size(path)) / 1e6, Seconds(t0));
    }
    Report("check, start-up budget", path, 500);
    Report("check, no budget", path, 3600 * 1000);
    if (made) std::filesystem::remove(path);
    return 0;
}
