#include "platform/data/Database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <thread>

#include <vector>

#include "platform/data/DataFileCheck.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/data/WriteFault.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/PrivateFiles.h"

namespace kr::data {

// Settings shared with Table.cpp.
std::atomic<int> g_busyTimeoutMs{5000};
std::atomic<int> g_kdfIterations{0};

namespace {

// Statements that change the file wait for a running start-up check of it,
// and are refused when it found the file damaged.
int WriteGate(void* user, int action, const char*, const char*, const char*, const char*) {
    switch (action) {
        case SQLITE_INSERT:
        case SQLITE_UPDATE:
        case SQLITE_DELETE:
        case SQLITE_CREATE_TABLE:
        case SQLITE_CREATE_INDEX:
        case SQLITE_DROP_TABLE:
        case SQLITE_DROP_INDEX:
        case SQLITE_ALTER_TABLE:
            break;
        default:
            return SQLITE_OK;
    }
    const Database* d = static_cast<const Database*>(user);
    if (DataFileCheckPending(d->path()) && !AwaitDataFileCheck()) return SQLITE_DENY;
    return SQLITE_OK;
}

// Bytes of the file that carry the share and file locks between programs.
// SQLite locks bytes from 0x40000000 on; these lie beyond its range and
// beyond the end of any data file, so they never meet its locks.
constexpr off_t kShareByte = 0x50000000;
constexpr off_t kLockByte = 0x50000001;

std::mutex g_registryMutex;
std::atomic<uint64_t> g_statementGenerations{0};
std::map<std::string, std::shared_ptr<Database>> g_registry;
// Files whose connection was given up because another file had taken the
// name (under g_registryMutex).
std::vector<std::string> g_replaced;

// The moment the calling thread began to wait for a busy file: one wait at
// a time per thread, since a connection waits inside the call that needs the
// file.
thread_local std::chrono::steady_clock::time_point t_busySince;

// NoBusyWait scopes open on this thread.
thread_local int t_noBusyWait = 0;

int RetryWhenBusy(void* timeoutMs, int count) {
    if (t_noBusyWait > 0) return 0;
    const auto now = std::chrono::steady_clock::now();
    if (count == 0) t_busySince = now;
    if (now - t_busySince >= std::chrono::milliseconds(reinterpret_cast<intptr_t>(timeoutMs))) return 0;
    std::this_thread::sleep_for(kBusyRetry);
    return 1;
}

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof buf)) return path;
    return std::string(buf) + "/" + path;
}

bool PlainHeader(const std::string& path, off_t& size) {
    size = 0;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    size = st.st_size;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char head[16] = {};
    ssize_t n = ::read(fd, head, sizeof head);
    ::close(fd);
    return n == 16 && std::memcmp(head, "SQLite format 3", 16) == 0;
}

int StepOnce(sqlite3* db, const char* sql) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(st);
        if (rc == SQLITE_ROW || rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    sqlite3_finalize(st);
    return rc;
}

// Texts in the runtime's order: the shorter one goes on as blanks.
int PaddedCompare(void*, int na, const void* a, int nb, const void* b) {
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    const int n = na > nb ? na : nb;
    for (int i = 0; i < n; ++i) {
        const unsigned char cx = i < na ? x[i] : ' ';
        const unsigned char cy = i < nb ? y[i] : ' ';
        if (cx != cy) return cx < cy ? -1 : 1;
    }
    return 0;
}

}  // namespace

NoBusyWait::NoBusyWait() { ++t_noBusyWait; }
NoBusyWait::~NoBusyWait() { --t_noBusyWait; }

void WaitWhenBusy(sqlite3* db, int timeoutMs) {
    sqlite3_busy_handler(db, RetryWhenBusy, reinterpret_cast<void*>(static_cast<intptr_t>(std::max(0, timeoutMs))));
}

std::string QuoteId(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::shared_ptr<Database> Database::Acquire(const std::string& relPath, const std::string& password, bool create,
                                            int& error) {
    error = 0;
    // A program under test may be given a write fault to meet; it counts
    // from the first file the program opens.
    static std::once_flag faultFromEnvironment;
    std::call_once(faultFromEnvironment, [] { SetWriteFaultFromEnvironment(); });
    std::string path = AbsolutePath(relPath);
    struct stat st {};
    bool exists = ::stat(path.c_str(), &st) == 0;
    std::lock_guard<std::mutex> l(g_registryMutex);
    auto it = g_registry.find(path);
    if (it != g_registry.end()) {
        std::shared_ptr<Database> d = it->second;
        bool sameFile = exists && st.st_dev == d->dev_ && st.st_ino == d->ino_;
        // A table that has the file open keeps its connection even when the
        // file was replaced meanwhile: every table of the process stays on
        // one file (the registry and `d` are two of the references).
        if (sameFile || d.use_count() > 2) {
            if (d->password_ != password) {
                off_t size;
                if (PlainHeader(path, size) || d->password_.empty())
                    error = SetLastError(kNotADataFile, "26", "The file is not encrypted with an owner password");
                else
                    error = SetLastError(kDriverError, "26", "Invalid owner password");
                return nullptr;
            }
            return d;
        }
        // The file was replaced or removed since: a fresh connection.
        if (exists) g_replaced.push_back(path);
        g_registry.erase(it);
    }
    if (!exists && !create) {
        error = SetLastError(kFileNotFound);
        return nullptr;
    }
    if (exists && ::access(path.c_str(), R_OK) != 0) {
        error = SetLastError(kAccessDenied, std::to_string(errno), std::strerror(errno));
        return nullptr;
    }

    std::shared_ptr<Database> d(new Database());
    d->generation_ = ++g_statementGenerations;
    d->path_ = path;
    d->password_ = password;
    // Every use of the connection holds its recursive mutex, so SQLite's own
    // per-call locking of the connection would only be paid twice.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    // A new data file is the owner's alone (SQLite would take the umask's
    // mode): made empty here, which SQLite takes as a new database; its
    // journal takes the file's mode.
    bool madeEmpty = false;
    int createErrno = 0;
    if (!exists && create) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFileMode);
        if (fd >= 0) {
            ::close(fd);
            madeEmpty = true;
        } else {
            createErrno = errno;
        }
    }
    int rc = sqlite3_open_v2(path.c_str(), &d->db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        int err = errno;
        if (madeEmpty) ::unlink(path.c_str());
        // A file that could not be made in a read-only folder (a read-only
        // mount gives EROFS) is refused access, not a missing path: SQLite's
        // own errno is that of its later read-only try.
        if (rc == SQLITE_CANTOPEN && (createErrno == EROFS || createErrno == EACCES || createErrno == EPERM))
            err = createErrno;
        if (rc == SQLITE_CANTOPEN && (err == EACCES || err == EPERM || err == EROFS))
            error = SetLastError(kAccessDenied, std::to_string(err), std::strerror(err));
        else if (rc == SQLITE_CANTOPEN && !exists)
            error = SetLastError(kPathNotFound, std::to_string(rc), sqlite3_errstr(rc));
        else
            error = SetLastError(kDriverError, std::to_string(rc), sqlite3_errstr(rc));
        return nullptr;
    }
    sqlite3_extended_result_codes(d->db_, 1);
    // The end of any transaction, however it ended, asks the lock byte anew.
    sqlite3_commit_hook(d->db_, [](void* p) {
        static_cast<Database*>(p)->lockAskedInTx_ = false;
        return 0;
    }, d.get());
    sqlite3_rollback_hook(d->db_, [](void* p) { static_cast<Database*>(p)->lockAskedInTx_ = false; }, d.get());
    WaitWhenBusy(d->db_, g_busyTimeoutMs.load());
    sqlite3_create_collation_v2(d->db_, kPaddedCollation, SQLITE_UTF8, nullptr, PaddedCompare, nullptr);
    KeyConnection(d->db_, path, password);
    // While the start-up check of the file runs, a write waits for its report.
    sqlite3_set_authorizer(d->db_, WriteGate, d.get());
    // The first read shows whether the key (or its absence) fits the file.
    rc = StepOnce(d->db_, "SELECT count(*) FROM sqlite_master");
    if (rc != SQLITE_OK) {
        off_t size = 0;
        bool plain = PlainHeader(path, size);
        if ((rc & 0xff) == SQLITE_BUSY) {
            error = SetLastError(kFileLocked, std::to_string(rc), sqlite3_errstr(rc));
        } else if ((rc & 0xff) == SQLITE_NOTADB) {
            if (password.empty())
                error = SetLastError(kNotADataFile, "26", plain ? "The file is damaged" : "The file is not a data file");
            else if (plain)
                error = SetLastError(kNotADataFile, "26", "The file is not encrypted with an owner password");
            else if (size < 1024 || size % 1024 != 0)
                error = SetLastError(kNotADataFile, "26", "The file is not a data file");
            else if (OtherPagesDecrypt(path, password))
                error = SetLastError(kDriverError, "26", "The file is damaged");
            else
                error = SetLastError(kDriverError, "26", "Invalid owner password");
        } else if ((rc & 0xff) == SQLITE_CORRUPT) {
            error = SetLastError(kDriverError, std::to_string(rc), sqlite3_errstr(rc));
        } else {
            error = SetLastError(kDriverError, std::to_string(rc), sqlite3_errstr(rc));
        }
        return nullptr;
    }
    if (!exists) {
        // A new file: the rollback journal, so that a closed file is one
        // self-contained file; the catalogue of tables and versions.
        StepOnce(d->db_, "PRAGMA journal_mode = DELETE");
        rc = StepOnce(d->db_,
                      "CREATE TABLE IF NOT EXISTS __tables(name TEXT PRIMARY KEY COLLATE NOCASE, "
                      "version INTEGER NOT NULL DEFAULT 0, layout TEXT NOT NULL DEFAULT '')");
        if (rc != SQLITE_OK) {
            error = d->Fail(rc);
            ::unlink(path.c_str());
            return nullptr;
        }
    }
    if (::stat(path.c_str(), &st) == 0) {
        d->dev_ = st.st_dev;
        d->ino_ = st.st_ino;
    }
    d->lockFd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (d->lockFd_ < 0) d->lockFd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    g_registry[path] = d;
    return d;
}

void Database::Forget(const std::string& relPath) {
    std::lock_guard<std::mutex> l(g_registryMutex);
    g_registry.erase(AbsolutePath(relPath));
}

std::vector<std::string> Database::Replaced() {
    std::lock_guard<std::mutex> l(g_registryMutex);
    std::vector<std::string> out = g_replaced;
    for (auto& [path, d] : g_registry) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || st.st_dev != d->dev_ || st.st_ino != d->ino_) out.push_back(path);
    }
    return out;
}

void Database::CloseIdle() {
    std::lock_guard<std::mutex> l(g_registryMutex);
    for (auto it = g_registry.begin(); it != g_registry.end();) {
        if (it->second.use_count() == 1 && it->second->shared_ == 0 && it->second->exclusive_ == 0)
            it = g_registry.erase(it);
        else
            ++it;
    }
}

void Database::ReleaseCachedPages() {
    // What each connection had written at the last call: one that wrote
    // since is busy (an import between its commits keeps its large cache).
    static std::map<const Database*, int64_t> changesSeen;
    std::lock_guard<std::mutex> l(g_registryMutex);
    std::map<const Database*, int64_t> seen;
    for (auto& [path, d] : g_registry) {
        // Never waits: a thread in the middle of a long write holds the
        // connection, and the caller may be the GUI thread.
        std::unique_lock<std::recursive_mutex> use(d->mutex_, std::try_to_lock);
        if (!use.owns_lock() || !d->db_) continue;
        const int64_t changes = d->OwnChanges();
        seen[d.get()] = changes;
        const auto before = changesSeen.find(d.get());
        const bool idle = before != changesSeen.end() && before->second == changes;
        // Only clean pages no statement holds go; none while this thread's
        // own transaction is open.
        if (idle && sqlite3_get_autocommit(d->db_)) sqlite3_db_release_memory(d->db_);
    }
    changesSeen = std::move(seen);
}

Database::~Database() {
    for (auto& [sql, st] : statements_) sqlite3_finalize(st);
    if (db_) sqlite3_close_v2(db_);
    // Only now: closing any descriptor of the file would drop SQLite's locks.
    if (lockFd_ >= 0) ::close(lockFd_);
}

sqlite3_stmt* Database::Prepare(const std::string& sql, int* rc) {
    std::lock_guard<std::recursive_mutex> l(mutex_);
    auto it = statements_.find(sql);
    if (it != statements_.end()) {
        sqlite3_reset(it->second);
        sqlite3_clear_bindings(it->second);
        if (rc) *rc = SQLITE_OK;
        return it->second;
    }
    sqlite3_stmt* st = nullptr;
    int r = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &st, nullptr);
    if (rc) *rc = r;
    if (r != SQLITE_OK) {
        sqlite3_finalize(st);
        return nullptr;
    }
    statements_[sql] = st;
    return st;
}

int Database::Exec(const std::string& sql) {
    std::lock_guard<std::recursive_mutex> l(mutex_);
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
}

void Database::ClearStatements() {
    std::lock_guard<std::recursive_mutex> l(mutex_);
    for (auto& [sql, st] : statements_) sqlite3_finalize(st);
    statements_.clear();
    generation_ = ++g_statementGenerations;
}

int64_t Database::OwnChanges() {
    // A rollback takes back rows that reads may have seen, so it counts too.
    return static_cast<int64_t>(static_cast<uint32_t>(sqlite3_total_changes(db_))) + (rollbacks_ << 32);
}

int64_t Database::FileStamp() {
    // One fstat, where a query of the file's data version would take and
    // drop a lock and read the header.
    struct stat st {};
    if (lockFd_ < 0 || ::fstat(lockFd_, &st) != 0) return 0;
    return (static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000007LL + st.st_mtim.tv_nsec) ^ (st.st_size << 20);
}

bool Database::TableExists(const std::string& table) {
    std::lock_guard<std::recursive_mutex> l(mutex_);
    sqlite3_stmt* st = Prepare("SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE");
    if (!st) return false;
    sqlite3_bind_text(st, 1, table.data(), static_cast<int>(table.size()), SQLITE_TRANSIENT);
    bool found = sqlite3_step(st) == SQLITE_ROW;
    sqlite3_reset(st);
    return found;
}

bool Database::ReadOnly() const { return sqlite3_db_readonly(db_, "main") == 1; }

int Database::Fail(int rc) { return Fail(rc, db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc)); }

int Database::Fail(int rc, std::string text) {
    std::string code = std::to_string(rc);
    // The file's name leads to another file now: SQLite refuses the write on
    // the one this process has open. Still access denied for the callers,
    // with a text that names what happened.
    if (rc == SQLITE_READONLY_DBMOVED)
        return SetLastError(kAccessDenied, code, "Another file has taken the place of the data file " + path_);
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return SetLastError(kFileLocked, code, text);
    case SQLITE_CONSTRAINT:
        // Only a unique key makes a duplicate; a trigger or a check that
        // refuses the row is an error of the driver, told in its own words.
        if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY)
            return SetLastError(kDuplicateKey, code, text);
        return SetLastError(kDriverError, code, text);
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return SetLastError(kAccessDenied, code, text);
    case SQLITE_NOTADB: return SetLastError(kNotADataFile, code, text);
    case SQLITE_NOMEM: return SetLastError(kInsufficientMemory, code, text);
    case SQLITE_FULL: return SetLastError(kDriverError, code, "Disk full: " + text);
    default: return SetLastError(kDriverError, code, text);
    }
}

int Database::SetLock(short type, off_t byte, bool wait, int waitMs) {
    if (lockFd_ < 0) return 0;
    auto start = std::chrono::steady_clock::now();
    while (true) {
        struct flock fl {};
        fl.l_type = type;
        fl.l_whence = SEEK_SET;
        fl.l_start = byte;
        fl.l_len = 1;
        if (::fcntl(lockFd_, F_OFD_SETLK, &fl) == 0) return 0;
        if (errno != EAGAIN && errno != EACCES) return errno == EBADF ? kAccessDenied : 0;
        if (!wait) return kFileLocked;
        auto elapsed = std::chrono::steady_clock::now() - start;
        if (std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() >= waitMs) return kFileLocked;
        // As often as a busy connection tries: a lock held only between
        // another program's transactions is found free.
        std::this_thread::sleep_for(kBusyRetry);
    }
}

int Database::AcquireShare(bool exclusive, int waitMs) {
    std::lock_guard<std::mutex> l(lockMutex_);
    if (exclusive) {
        if (exclusive_ == 0) {
            if (int e = SetLock(F_WRLCK, kShareByte, true, waitMs)) return e;
        }
        ++exclusive_;
        return 0;
    }
    if (shared_ == 0 && exclusive_ == 0) {
        if (int e = SetLock(F_RDLCK, kShareByte, true, waitMs)) return e;
    }
    ++shared_;
    return 0;
}

void Database::ReleaseShare(bool exclusive) {
    std::lock_guard<std::mutex> l(lockMutex_);
    if (exclusive) {
        if (exclusive_ == 0) return;
        if (--exclusive_ == 0) SetLock(shared_ > 0 ? F_RDLCK : F_UNLCK, kShareByte, false, 0);
        return;
    }
    if (shared_ == 0) return;
    if (--shared_ == 0 && exclusive_ == 0) SetLock(F_UNLCK, kShareByte, false, 0);
}

int Database::LockFile() {
    std::lock_guard<std::mutex> l(lockMutex_);
    if (fileLocked_) return 0;
    if (int e = SetLock(F_WRLCK, kLockByte, false, 0)) return e;
    fileLocked_ = true;
    return 0;
}

void Database::UnlockFile() {
    std::lock_guard<std::mutex> l(lockMutex_);
    if (!fileLocked_) return;
    SetLock(F_UNLCK, kLockByte, false, 0);
    fileLocked_ = false;
}

bool Database::LockedByOther() {
    if (lockFd_ < 0) return false;
    // Inside a transaction the answer holds until it ends: the caller holds
    // SQLite's write lock, so another program's LOCK cannot write meanwhile,
    // and asking once per record cost an fcntl a record.
    const bool inTx = !sqlite3_get_autocommit(db_);
    if (inTx && lockAskedInTx_) return false;
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kLockByte;
    fl.l_len = 1;
    if (::fcntl(lockFd_, F_OFD_GETLK, &fl) != 0) return false;
    const bool locked = fl.l_type != F_UNLCK;
    lockAskedInTx_ = inTx && !locked;
    return locked;
}

int Database::TryExclusiveNow() { return AcquireShare(true, 0); }
void Database::EndExclusiveNow() { ReleaseShare(true); }

int Database::BeginImmediate() {
    if (int e = WriteFaultCheck()) return e;
    int rc = Exec("BEGIN IMMEDIATE");
    return rc == SQLITE_OK ? 0 : Fail(rc);
}

int Database::CommitTx() {
    if (int e = WriteFaultCheck()) {
        // As a commit the disk refused: nothing of the transaction stays.
        Exec("ROLLBACK");
        ++rollbacks_;
        return e;
    }
    int rc = Exec("COMMIT");
    if (rc == SQLITE_OK) return 0;
    int code = Fail(rc);
    Exec("ROLLBACK");
    ++rollbacks_;
    return code;
}

void Database::RollbackTx() {
    if (!sqlite3_get_autocommit(db_)) Exec("ROLLBACK");
    ++rollbacks_;
}

bool Database::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

WriteScope::WriteScope(Database& db) : db_(db), lock_(db.mutex()) {
    if (db_.InTransaction()) {
        int rc = db_.Exec("SAVEPOINT kr_write");
        if (rc != SQLITE_OK) {
            error_ = db_.Fail(rc);
            return;
        }
        savepoint_ = true;
    } else {
        int rc = db_.Exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK) {
            error_ = db_.Fail(rc);
            return;
        }
    }
    open_ = true;
}

WriteScope::~WriteScope() {
    if (open_) Rollback();
}

int WriteScope::Commit() {
    if (!open_) return error_ ? error_ : kDriverError;
    open_ = false;
    int rc = db_.Exec(savepoint_ ? "RELEASE kr_write" : "COMMIT");
    if (rc == SQLITE_OK) return 0;
    int code = db_.Fail(rc);
    if (savepoint_) {
        db_.Exec("ROLLBACK TO kr_write");
        db_.Exec("RELEASE kr_write");
    } else {
        db_.Exec("ROLLBACK");
    }
    ++db_.rollbacks_;
    return code;
}

void WriteScope::Rollback() {
    if (!open_) return;
    open_ = false;
    ++db_.rollbacks_;
    if (savepoint_) {
        db_.Exec("ROLLBACK TO kr_write");
        db_.Exec("RELEASE kr_write");
    } else {
        db_.Exec("ROLLBACK");
    }
}

}  // namespace kr::data
