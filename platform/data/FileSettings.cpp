#include "platform/data/FileSettings.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>

#include "platform/data/Database.h"
#include "platform/data/Table.h"
#include "platform/data/TableImpl.h"

namespace kr::data {

FileSettings::FileSettings(Table& table) : db_(table.impl().database()) {}

std::string FileSettings::Read(const std::string& sql) const {
    if (!db_) return {};
    std::lock_guard<std::recursive_mutex> l(db_->mutex());
    sqlite3_stmt* st = db_->Prepare(sql);
    std::string out;
    if (st && sqlite3_step(st) == SQLITE_ROW) {
        const unsigned char* t = sqlite3_column_text(st, 0);
        if (t) out = reinterpret_cast<const char*>(t);
    }
    if (st) sqlite3_reset(st);
    return out;
}

std::string FileSettings::CacheSize() const { return Read("PRAGMA cache_size"); }

long long FileSettings::CacheKb() const {
    const long long size = std::atoll(CacheSize().c_str());
    if (size <= 0) return -size;
    const long long page = std::atoll(Read("PRAGMA page_size").c_str());
    return size * (page > 0 ? page : 4096) / 1024;
}

std::string FileSettings::JournalMode() const {
    std::string mode = Read("PRAGMA journal_mode");
    std::transform(mode.begin(), mode.end(), mode.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return mode;
}

bool FileSettings::SetCacheSize(const std::string& value) {
    return db_ && db_->Exec("PRAGMA cache_size = " + value) == SQLITE_OK;
}

bool FileSettings::SetJournalMode(const std::string& mode) {
    // The pragma answers with the mode now in force (a row to step through).
    if (!db_) return false;
    std::string now = Read("PRAGMA journal_mode = " + mode);
    std::transform(now.begin(), now.end(), now.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string want = mode;
    std::transform(want.begin(), want.end(), want.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return now == want;
}

bool FileSettings::SetSynchronous(const std::string& mode) {
    return db_ && db_->Exec("PRAGMA synchronous = " + mode) == SQLITE_OK;
}

}  // namespace kr::data
