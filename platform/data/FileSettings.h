// The page cache, journal mode and sync mode of the one connection that
// serves a data file, for the jobs that write much to it at once (an import,
// a report's work file): they set them for their run and give back what they
// found. The connection is held while this lives, so what is given back goes
// to the connection that was changed.
#pragma once

#include <memory>
#include <string>

namespace kr::data {

class Database;
class Table;

class FileSettings {
public:
    FileSettings() = default;
    // The connection serving the file `table` is open on; none when the
    // table is not open or is not in a multi-table file.
    explicit FileSettings(Table& table);

    bool Valid() const { return db_ != nullptr; }

    // The cache size as the connection holds it: pages when positive, KB
    // when negative; empty without a connection.
    std::string CacheSize() const;
    // The cache in KB, whichever way it is held (pages of the file's size).
    long long CacheKb() const;
    // "delete", "persist", ... in lower case; empty without a connection.
    std::string JournalMode() const;

    // Each returns false when the connection refused or there is none.
    bool SetCacheSize(const std::string& value);
    bool SetCacheKb(long long kb) { return SetCacheSize("-" + std::to_string(kb)); }
    bool SetJournalMode(const std::string& mode);
    // "OFF", "NORMAL", "FULL" or their numbers.
    bool SetSynchronous(const std::string& mode);

private:
    std::string Read(const std::string& sql) const;

    std::shared_ptr<Database> db_;
};

}  // namespace kr::data
