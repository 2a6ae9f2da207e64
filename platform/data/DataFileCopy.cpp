#include "platform/data/DataFileCopy.h"

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <fstream>

namespace kr::data {

extern std::atomic<int> g_kdfIterations;

namespace {

// Waits for a busy database in steps of a millisecond, so a reader finds the
// short gaps between a busy writer's transactions; gives up after a minute.
int BusyWait(void*, int count) {
    if (count >= 60000) return 0;
    ::usleep(1000);
    return 1;
}

}  // namespace

DataCopy CopyDataFileConsistently(const std::string& source, const std::string& target,
                                  const std::vector<std::string>& passwords, std::string* error) {
    for (const std::string& password : passwords) {
        sqlite3* db = nullptr;
        // Read-write, so a journal left by a crashed writer is rolled back
        // before the copy is taken.
        int rc = sqlite3_open_v2(source.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_close(db);
            db = nullptr;
            rc = sqlite3_open_v2(source.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        }
        if (rc != SQLITE_OK) {
            sqlite3_close(db);
            if (error) *error = "cannot open " + source;
            return DataCopy::Failed;
        }
        sqlite3_busy_handler(db, BusyWait, nullptr);
        if (!password.empty()) {
            sqlite3_key(db, password.data(), static_cast<int>(password.size()));
            if (int iter = g_kdfIterations.load(); iter > 0)
                sqlite3_exec(db, ("PRAGMA kdf_iter = " + std::to_string(iter)).c_str(), nullptr, nullptr, nullptr);
        }
        rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(db);
            if ((rc & 0xff) == SQLITE_NOTADB) continue;  // not this password
            // Busy past the wait, or damaged: never copy a file that may be
            // in the middle of a commit.
            if (error) *error = source + ": " + sqlite3_errstr(rc);
            return DataCopy::Failed;
        }
        // The read transaction holds the database's shared lock: no writer
        // can commit until the bytes are copied.
        bool copied = false;
        {
            std::ifstream in(source, std::ios::binary);
            std::ofstream out(target, std::ios::binary | std::ios::trunc);
            std::vector<char> buf(256 * 1024);
            while (in && out) {
                in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
                out.write(buf.data(), in.gcount());
            }
            copied = in.eof() && out.good();
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        if (!copied) {
            if (error) *error = "cannot copy " + source + " to " + target;
            return DataCopy::Failed;
        }
        return DataCopy::Copied;
    }
    return DataCopy::NotADatabase;
}

}  // namespace kr::data
