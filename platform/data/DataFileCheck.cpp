#include "platform/data/DataFileCheck.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <sstream>
#include <string>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/data/Database.h"

namespace kr::data {

extern std::atomic<int> g_kdfIterations;

namespace {

// The page layout of the files SQLCipher 3 writes with its defaults: 1024
// bytes a page; the first page starts with the 16-byte salt; each page ends
// in a reserve of 48 bytes holding the 16-byte IV and the 20-byte HMAC-SHA1
// of the encrypted bytes, the IV and the page number (little-endian).
constexpr std::size_t kPageSize = 1024;
constexpr std::size_t kSaltSize = 16;
constexpr std::size_t kIvSize = 16;
constexpr std::size_t kHmacSize = 20;
constexpr std::size_t kReserve = 48;
constexpr int kDefaultKdfIterations = 64000;
constexpr int kHmacKdfIterations = 2;
constexpr unsigned char kHmacSaltMask = 0x3a;
// Pages looked at after the first: enough to tell, few enough to be quick.
constexpr std::size_t kPagesToTry = 64;

bool ReadAll(const std::string& path, std::size_t limit, std::vector<unsigned char>& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    out.resize(std::min<std::size_t>(static_cast<std::size_t>(st.st_size), limit));
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    out.resize(got);
    return true;
}

// Whether the page's HMAC matches under the key: the page is whole and was
// written with this password.
bool PageAuthentic(const std::vector<unsigned char>& file, std::size_t pageNo, const unsigned char* hmacKey) {
    const unsigned char* page = file.data() + (pageNo - 1) * kPageSize;
    const std::size_t from = pageNo == 1 ? kSaltSize : 0;
    const std::size_t macAt = kPageSize - kReserve + kIvSize;
    std::vector<unsigned char> input(page + from, page + macAt);
    const uint32_t n = static_cast<uint32_t>(pageNo);
    for (int i = 0; i < 4; ++i) input.push_back(static_cast<unsigned char>(n >> (8 * i)));
    unsigned char mac[EVP_MAX_MD_SIZE];
    std::size_t macSize = 0;
    if (!EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA1", nullptr, hmacKey, 32, input.data(), input.size(), mac,
                   sizeof mac, &macSize) ||
        macSize < kHmacSize)
        return false;
    return std::memcmp(mac, page + macAt, kHmacSize) == 0;
}

}  // namespace

// Whether any page after the first is authentic under the password.
bool OtherPagesDecrypt(const std::string& path, const std::string& password) {
    std::vector<unsigned char> file;
    if (!ReadAll(path, kPageSize * (kPagesToTry + 1), file) || file.size() < 2 * kPageSize) return false;
    const int rounds = g_kdfIterations.load() > 0 ? g_kdfIterations.load() : kDefaultKdfIterations;
    unsigned char key[32], hmacKey[32], hmacSalt[kSaltSize];
    if (!PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), file.data(), kSaltSize, rounds,
                                sizeof key, key))
        return false;
    for (std::size_t i = 0; i < kSaltSize; ++i) hmacSalt[i] = file[i] ^ kHmacSaltMask;
    if (!PKCS5_PBKDF2_HMAC_SHA1(reinterpret_cast<const char*>(key), sizeof key, hmacSalt, kSaltSize,
                                kHmacKdfIterations, sizeof hmacKey, hmacKey))
        return false;
    for (std::size_t p = 2; p <= file.size() / kPageSize; ++p)
        if (PageAuthentic(file, p, hmacKey)) return true;
    return false;
}

namespace {

// Derived keys by file, password, salt and rounds: a replaced file has a new
// salt and so a new entry.
struct KeyCache {
    std::mutex mutex;
    std::map<std::tuple<std::string, std::string, std::string, int>, std::string> keys;
};
KeyCache& Keys() {
    static KeyCache* cache = new KeyCache;
    return *cache;
}

std::string Hex(const unsigned char* p, std::size_t n) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

}  // namespace

void KeyConnection(sqlite3* db, const std::string& path, const std::string& password) {
    if (password.empty()) return;
    std::vector<unsigned char> head;
    const bool salted = ReadAll(path, kSaltSize, head) && head.size() == kSaltSize &&
                        std::memcmp(head.data(), "SQLite format 3", 16) != 0;
    const int rounds = g_kdfIterations.load() > 0 ? g_kdfIterations.load() : kDefaultKdfIterations;
    if (!salted) {
        sqlite3_key(db, password.data(), static_cast<int>(password.size()));
        if (g_kdfIterations.load() > 0)
            sqlite3_exec(db, ("PRAGMA kdf_iter = " + std::to_string(rounds)).c_str(), nullptr, nullptr, nullptr);
        return;
    }
    std::string raw;
    {
        // Held while deriving: a second connection to the same file waits
        // for the first derivation instead of doing its own.
        KeyCache& cache = Keys();
        std::lock_guard<std::mutex> l(cache.mutex);
        auto id = std::make_tuple(path, password, std::string(head.begin(), head.end()), rounds);
        auto it = cache.keys.find(id);
        if (it == cache.keys.end()) {
            unsigned char key[32];
            if (!PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), head.data(), kSaltSize,
                                        rounds, sizeof key, key)) {
                sqlite3_key(db, password.data(), static_cast<int>(password.size()));
                return;
            }
            it = cache.keys.emplace(id, "x'" + Hex(key, sizeof key) + "'").first;
        }
        raw = it->second;
    }
    sqlite3_key(db, raw.data(), static_cast<int>(raw.size()));
}

namespace {

bool PlainSqlite(const std::string& path) {
    std::vector<unsigned char> head;
    return ReadAll(path, 16, head) && head.size() == 16 && std::memcmp(head.data(), "SQLite format 3", 16) == 0;
}

struct Deadline {
    std::chrono::steady_clock::time_point at;
    bool passed = false;
};

int PastDeadline(void* p) {
    auto* d = static_cast<Deadline*>(p);
    if (std::chrono::steady_clock::now() >= d->at) d->passed = true;
    return d->passed ? 1 : 0;
}

// The findings the check counts at most.
constexpr int kFindingsCounted = 100;

// What the check found, short enough for a message box: the number of
// findings and the first three.
std::string SummariseFindings(const std::vector<std::string>& findings) {
    if (findings.empty()) return "The check failed";
    if (findings.size() == 1) return findings[0];
    std::string text = std::to_string(findings.size()) +
                       (findings.size() >= static_cast<std::size_t>(kFindingsCounted) ? " or more" : "") +
                       " problems, the first: ";
    for (std::size_t i = 0; i < findings.size() && i < 3; ++i) text += (i ? "; " : "") + findings[i];
    return findings.size() > 3 ? text + "; ..." : text;
}

DataFileCheck Found(DataFileHealth health, std::string detail, bool complete = true) {
    DataFileCheck c;
    c.health = health;
    c.detail = std::move(detail);
    c.complete = complete;
    return c;
}

}  // namespace

namespace {

// Opens the file read-only and reads its catalogue: nullptr and the finding
// when that fails.
sqlite3* OpenChecked(const std::string& path, const std::string& password, DataFileCheck& found) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        found = Found(DataFileHealth::Missing, "The file does not exist");
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        found = Found(DataFileHealth::NotDataFile, "Not a regular file");
        return nullptr;
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        found = Found(DataFileHealth::Sound, std::string("Not checked: ") + sqlite3_errstr(rc), false);
        return nullptr;
    }
    sqlite3_extended_result_codes(db, 1);
    WaitWhenBusy(db, 100);
    KeyConnection(db, path, password);
    sqlite3_stmt* stmt = nullptr;
    rc = sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master", -1, &stmt, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (rc == SQLITE_ROW) {
        found = DataFileCheck{};
        return db;
    }
    sqlite3_close(db);
    if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
        found = Found(DataFileHealth::Sound, "Not checked: another program holds the file", false);
    else if (PlainSqlite(path))
        found = Found(DataFileHealth::NotDataFile, "The file is not encrypted");
    else if (st.st_size == 0)
        found = Found(DataFileHealth::NotDataFile, "The file is empty");
    else if (!password.empty() && OtherPagesDecrypt(path, password))
        found = Found(DataFileHealth::Damaged, "The first page of the file is damaged");
    else
        found = Found(DataFileHealth::NotDataFile, "No page of the file can be read");
    return nullptr;
}

}  // namespace

DataFileCheck CheckDataFileHeader(const std::string& path, const std::string& password) {
    DataFileCheck found;
    if (sqlite3* db = OpenChecked(path, password, found)) sqlite3_close(db);
    return found;
}

DataFileCheck CheckDataFile(const std::string& path, const std::string& password, int budgetMs) {
    DataFileCheck found;
    sqlite3* db = OpenChecked(path, password, found);
    if (!db) return found;
    DataFileCheck result;
    sqlite3_stmt* stmt = nullptr;
    int rc = 0;

    // The quick check, stopped when the budget is spent: what it did not
    // reach counts as sound.
    Deadline deadline{std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(1, budgetMs))};
    sqlite3_progress_handler(db, 1000, PastDeadline, &deadline);
    rc = sqlite3_prepare_v2(db, ("PRAGMA quick_check(" + std::to_string(kFindingsCounted) + ")").c_str(), -1, &stmt,
                            nullptr);
    // One finding a line (a row may hold several).
    std::vector<std::string> findings;
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
        rc = sqlite3_step(stmt);
        if (rc != SQLITE_ROW) continue;
        const unsigned char* t = sqlite3_column_text(stmt, 0);
        std::istringstream lines(t ? reinterpret_cast<const char*>(t) : "");
        for (std::string line; std::getline(lines, line);)
            if (!line.empty()) findings.push_back(line);
    }
    const std::string error = sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
    sqlite3_progress_handler(db, 0, nullptr, nullptr);
    sqlite3_close(db);
    if (deadline.passed || (rc & 0xff) == SQLITE_INTERRUPT)
        return Found(DataFileHealth::Sound, "The check ran out of time", false);
    if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
        return Found(DataFileHealth::Sound, "Not checked: another program holds the file", false);
    if (rc != SQLITE_DONE) return Found(DataFileHealth::Damaged, error);
    if (findings.size() == 1 && findings[0] == "ok") return result;
    return Found(DataFileHealth::Damaged, SummariseFindings(findings));
}

namespace {

// The check running on its worker, and what waits for it.
struct CheckGate {
    std::mutex mutex;
    std::condition_variable reported;
    std::string path;
    bool running = false;  // started and not yet reported
    DataFileCheck result;
    std::function<void(const DataFileCheck&)> onProblem;
    // The thread that started the check (the program's main thread): only it
    // tells the user of a damaged file, as that needs the windows' thread.
    std::thread::id owner;
    bool telling = false;  // the owner is telling the user
    bool told = false;     // and has done so (when telling does not end the program)
    std::thread worker;
    // Until the check has found the file usable: writes to it wait, and are
    // refused once it is found unusable.
    std::atomic<bool> pending{false};
};

std::string NormalPath(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    return (ec ? std::filesystem::path(path) : p).lexically_normal().string();
}

CheckGate& Gate() {
    // Never destroyed: a worker may still run when the program ends.
    static CheckGate* gate = new CheckGate;
    return *gate;
}

}  // namespace

void StartDataFileCheck(const std::string& path, const std::string& password, int budgetMs,
                        std::function<void(const DataFileCheck&)> onProblem) {
    CheckGate& g = Gate();
    std::unique_lock<std::mutex> l(g.mutex);
    g.reported.wait(l, [&] { return !g.running; });
    if (g.worker.joinable()) g.worker.join();
    g.path = NormalPath(path);
    g.running = true;
    g.telling = g.told = false;
    g.onProblem = std::move(onProblem);
    g.owner = std::this_thread::get_id();
    g.pending.store(true);
    g.worker = std::thread([path, password, budgetMs] {
        DataFileCheck r = CheckDataFile(path, password, budgetMs);
        CheckGate& g = Gate();
        {
            std::lock_guard<std::mutex> l(g.mutex);
            g.result = std::move(r);
            g.running = false;
        }
        g.reported.notify_all();
    });
}

bool AwaitDataFileCheck() {
    CheckGate& g = Gate();
    if (!g.pending.load()) return true;
    std::unique_lock<std::mutex> l(g.mutex);
    g.reported.wait(l, [&] { return !g.running; });
    if (g.worker.joinable()) g.worker.join();
    if (!g.pending.load()) return true;
    if (g.result.usable()) {
        g.pending.store(false);
        return true;
    }
    if (std::this_thread::get_id() != g.owner) {
        // Another thread about to write: it waits while the owner tells the
        // user (the program normally ends then), and its write is refused.
        g.reported.wait(l, [&] { return g.told; });
        return false;
    }
    // Asked again while telling (a timer reached through the message's own
    // event loop) or after: refused at once.
    if (g.telling || g.told) return false;
    g.telling = true;
    const DataFileCheck result = g.result;
    std::function<void(const DataFileCheck&)> onProblem = std::move(g.onProblem);
    l.unlock();
    if (onProblem) onProblem(result);
    l.lock();
    g.telling = false;
    g.told = true;
    l.unlock();
    g.reported.notify_all();
    return false;
}

bool DataFileCheckPending(const std::string& path) {
    CheckGate& g = Gate();
    if (!g.pending.load()) return false;
    std::lock_guard<std::mutex> l(g.mutex);
    return g.path == NormalPath(path);
}

std::vector<std::string> ReplacedDataFiles() { return Database::Replaced(); }

}  // namespace kr::data
