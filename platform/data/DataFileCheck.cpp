#include "platform/data/DataFileCheck.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

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

DataFileCheck CheckDataFile(const std::string& path, const std::string& password, int budgetMs) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return Found(DataFileHealth::Missing, "The file does not exist");
    if (!S_ISREG(st.st_mode)) return Found(DataFileHealth::NotDataFile, "Not a regular file");

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        return Found(DataFileHealth::Sound, std::string("Not checked: ") + sqlite3_errstr(rc), false);
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 100);
    if (!password.empty()) {
        sqlite3_key(db, password.data(), static_cast<int>(password.size()));
        if (int iter = g_kdfIterations.load(); iter > 0)
            sqlite3_exec(db, ("PRAGMA kdf_iter = " + std::to_string(iter)).c_str(), nullptr, nullptr, nullptr);
    }
    DataFileCheck result;
    sqlite3_stmt* stmt = nullptr;
    rc = sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master", -1, &stmt, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    stmt = nullptr;
    if (rc != SQLITE_ROW) {
        sqlite3_close(db);
        if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
            return Found(DataFileHealth::Sound, "Not checked: another program holds the file", false);
        if (PlainSqlite(path)) return Found(DataFileHealth::NotDataFile, "The file is not encrypted");
        if (st.st_size == 0) return Found(DataFileHealth::NotDataFile, "The file is empty");
        if (!password.empty() && OtherPagesDecrypt(path, password))
            return Found(DataFileHealth::Damaged, "The first page of the file is damaged");
        return Found(DataFileHealth::NotDataFile, "No page of the file can be read");
    }

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

}  // namespace kr::data
