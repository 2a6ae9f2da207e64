// Internal to the table engine: one SQLite (SQLCipher) connection per
// multi-table file per process, shared by the file's tables, with the
// cross-program share locks of open modes and the write scopes of the
// engine's own multi-statement writes.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kr::data {

// The collation of every connection that orders texts as the runtime
// compares them: blank-padded, byte by byte (list filters say
// "col COLLATE KRPAD < ?").
inline constexpr const char* kPaddedCollation = "KRPAD";

// How the data layer's connections wait for a file another connection
// holds: they try again every millisecond until timeoutMs have passed since
// the first try. SQLite's own wait sleeps longer and longer (up to 100 ms)
// between tries and so almost always wakes inside the next transaction of a
// writer that leaves the file free only for a moment between two (an
// import's commits); trying every millisecond finds that moment.
void WaitWhenBusy(sqlite3* db, int timeoutMs);
// The pause between two tries of such a wait.
inline constexpr std::chrono::milliseconds kBusyRetry{1};

class Database {
public:
    // The connection of a file, opened on first use and kept. `create` makes
    // a missing file. Errors as the runtime's codes, with the last-error state
    // set: 2 missing, 5 access denied, 32 locked, 44 not a data file, 90
    // wrong password or damaged.
    static std::shared_ptr<Database> Acquire(const std::string& path, const std::string& password, bool create,
                                             int& error);
    // Drops a connection from the registry (after the file was removed).
    static void Forget(const std::string& path);
    // The files this process opened whose name now leads to another file or
    // to none (a copy renamed over it, or removed behind the program's
    // back), absolute paths: those whose connection still has the old file
    // open (SQLite refuses every write there) and those whose connection was
    // given up for the new file since.
    static std::vector<std::string> Replaced();
    static void CloseIdle();
    // Gives back the page cache of every connection that wrote nothing
    // since the last call, has no transaction open and no other thread is
    // using at the moment (a busy one keeps it until a later call).
    static void ReleaseCachedPages();

    ~Database();

    sqlite3* db() const { return db_; }
    const std::string& path() const { return path_; }
    std::recursive_mutex& mutex() { return mutex_; }

    // A cached prepared statement (reset before it is handed out); nullptr on
    // error with *rc set.
    sqlite3_stmt* Prepare(const std::string& sql, int* rc = nullptr);
    // Runs SQL without results.
    int Exec(const std::string& sql);
    // Forgets every cached statement (after schema changes).
    void ClearStatements();
    // Identifies this connection's set of cached statements: it differs from
    // every earlier value (of any connection) once ClearStatements ran, so a
    // caller that keeps statement pointers knows when to prepare them anew.
    uint64_t StatementGeneration() const { return generation_; }
    // What this connection changed (rows written, transactions rolled back):
    // equal counts mean no change of its own in between. The caller holds
    // the connection's mutex.
    int64_t OwnChanges();
    // The file's modification time and size (one fstat), which every commit
    // of another program moves.
    int64_t FileStamp();

    bool TableExists(const std::string& table);
    bool ReadOnly() const;

    // Maps a SQLite result to the runtime's code and sets the last error.
    int Fail(int rc);
    // The same with the driver's words taken before a later statement
    // replaced them.
    int Fail(int rc, std::string text);

    // Share locks between programs: shared (every open but deny-all) and
    // exclusive (deny-all). Waits up to waitMs for another program's lock.
    // 0 or 32.
    int AcquireShare(bool exclusive, int waitMs);
    void ReleaseShare(bool exclusive);
    // LOCK / UNLOCK of the file, and whether another program holds it locked.
    int LockFile();
    void UnlockFile();
    bool LockedByOther();
    // Temporarily exclusive (for upgrades and builds): 0 or 32.
    int TryExclusiveNow();
    void EndExclusiveNow();

    // Transactions: Begin takes the connection's mutex for the calling OS
    // thread until End.
    int BeginImmediate();
    int CommitTx();
    void RollbackTx();
    bool InTransaction() const;

private:
    friend class WriteScope;
    Database() = default;
    int SetLock(short type, off_t byte, bool wait, int waitMs);

    sqlite3* db_ = nullptr;
    std::string path_;
    std::string password_;
    dev_t dev_ = 0;
    ino_t ino_ = 0;
    int lockFd_ = -1;
    int shared_ = 0;
    int exclusive_ = 0;
    int tempExclusive_ = 0;
    bool fileLocked_ = false;
    // The lock byte was found free inside the running transaction (reset by
    // the connection's commit and rollback hooks). Under the mutex.
    std::atomic<bool> lockAskedInTx_{false};
    std::recursive_mutex mutex_;
    std::mutex lockMutex_;
    std::map<std::string, sqlite3_stmt*> statements_;
    uint64_t generation_ = 0;
    int64_t rollbacks_ = 0;
};

// A write of several statements as one: BEGIN IMMEDIATE when no transaction
// is active on the connection, else a savepoint inside it. Commit() makes it
// durable; destroying an uncommitted scope rolls it back. Holds the
// connection's mutex while alive.
class WriteScope {
public:
    explicit WriteScope(Database& db);
    ~WriteScope();
    WriteScope(const WriteScope&) = delete;
    WriteScope& operator=(const WriteScope&) = delete;
    int error() const { return error_; }  // 0 when the scope began
    int Commit();
    void Rollback();

private:
    Database& db_;
    std::unique_lock<std::recursive_mutex> lock_;
    bool savepoint_ = false;
    bool open_ = false;
    int error_ = 0;
};

// Quotes an SQL identifier.
std::string QuoteId(const std::string& name);

}  // namespace kr::data
