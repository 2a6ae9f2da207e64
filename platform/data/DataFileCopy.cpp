#include "platform/data/DataFileCopy.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/runtime/PrivateFiles.h"

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

// Copies the bytes of `source` over `target` (made owner-only when new). A
// write refused at any point, the close included (a file system may tell
// a full disk only there), fails the copy with the cause in `failure`.
bool CopyBytes(const std::string& source, const std::string& target, std::string& failure) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        failure = std::strerror(errno);
        return false;
    }
    const int out = OpenPrivateFile(target, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (out < 0) {
        failure = std::strerror(errno);
        ::close(in);
        return false;
    }
    std::vector<char> buf(256 * 1024);
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(in, buf.data(), buf.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got < 0) failure = std::strerror(errno);
            ok = got == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < got;) {
            const ssize_t put = ::write(out, buf.data() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                failure = std::strerror(put < 0 ? errno : ENOSPC);
                ok = false;
            } else {
                done += put;
            }
        }
        if (!ok) break;
    }
    ::close(in);
    if (::close(out) != 0 && ok) {
        failure = std::strerror(errno);
        ok = false;
    }
    return ok;
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
        std::string failure;
        const bool copied = CopyBytes(source, target, failure);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        if (!copied) {
            if (error) *error = "cannot copy " + source + " to " + target + ": " + failure;
            return DataCopy::Failed;
        }
        return DataCopy::Copied;
    }
    return DataCopy::NotADatabase;
}

}  // namespace kr::data
