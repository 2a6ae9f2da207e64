#include "platform/data/WriteFault.h"

#include <sqlite3.h>

#include <cstdlib>
#include <mutex>

#include "platform/data/Errors.h"
#include "platform/runtime/ErrorCodes.h"

namespace kr::data {

namespace detail {
std::atomic<bool> g_writeFaultArmed{false};
}

namespace {

std::mutex g_mutex;
bool g_failing = false;  // a fault is set (else only counting)
WriteFaultCause g_cause = WriteFaultCause::DiskFull;
int64_t g_first = 0;     // the first failing write, 1-based
int64_t g_count = 0;     // 0: all from g_first on
int64_t g_seen = 0;
int64_t g_failed = 0;

int FailAs(WriteFaultCause cause) {
    switch (cause) {
    case WriteFaultCause::DiskFull:
        return SetLastError(kDriverError, std::to_string(SQLITE_FULL),
                            std::string("Disk full: ") + sqlite3_errstr(SQLITE_FULL));
    case WriteFaultCause::Busy:
        return SetLastError(kFileLocked, std::to_string(SQLITE_BUSY), sqlite3_errstr(SQLITE_BUSY));
    case WriteFaultCause::Replaced:
        return SetLastError(kAccessDenied, std::to_string(SQLITE_READONLY_DBMOVED),
                            sqlite3_errstr(SQLITE_READONLY_DBMOVED));
    }
    return 0;
}

}  // namespace

int detail::CountedWrite() {
    std::lock_guard<std::mutex> l(g_mutex);
    const int64_t n = ++g_seen;
    if (!g_failing || n < g_first || (g_count > 0 && n >= g_first + g_count)) return 0;
    ++g_failed;
    return FailAs(g_cause);
}

void SetWriteFault(WriteFaultCause cause, int64_t k, int64_t count) {
    std::lock_guard<std::mutex> l(g_mutex);
    g_failing = true;
    g_cause = cause;
    g_first = k < 1 ? 1 : k;
    g_count = count < 0 ? 0 : count;
    g_seen = 0;
    g_failed = 0;
    detail::g_writeFaultArmed.store(true, std::memory_order_relaxed);
}

void ClearWriteFault() {
    std::lock_guard<std::mutex> l(g_mutex);
    g_failing = false;
    detail::g_writeFaultArmed.store(false, std::memory_order_relaxed);
}

void CountWrites() {
    std::lock_guard<std::mutex> l(g_mutex);
    g_failing = false;
    g_seen = 0;
    g_failed = 0;
    detail::g_writeFaultArmed.store(true, std::memory_order_relaxed);
}

int64_t WritesCounted() {
    std::lock_guard<std::mutex> l(g_mutex);
    return g_seen;
}

int64_t WritesFailed() {
    std::lock_guard<std::mutex> l(g_mutex);
    return g_failed;
}

bool ParseWriteFault(const std::string& text, WriteFaultCause& cause, int64_t& k, int64_t& count) {
    const std::size_t c1 = text.find(':');
    if (c1 == std::string::npos) return false;
    const std::string name = text.substr(0, c1);
    if (name == "full") {
        cause = WriteFaultCause::DiskFull;
    } else if (name == "busy") {
        cause = WriteFaultCause::Busy;
    } else if (name == "replaced") {
        cause = WriteFaultCause::Replaced;
    } else {
        return false;
    }
    const std::size_t c2 = text.find(':', c1 + 1);
    const std::string first = text.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
    const std::string many = c2 == std::string::npos ? "0" : text.substr(c2 + 1);
    const auto number = [](const std::string& s, int64_t& out) {
        if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos || s.size() > 15) return false;
        out = std::atoll(s.c_str());
        return true;
    };
    return number(first, k) && k >= 1 && number(many, count);
}

bool SetWriteFaultFromEnvironment() {
    const char* v = std::getenv("KR_TEST_WRITE_FAULT");
    if (!v || !*v) return false;
    WriteFaultCause cause;
    int64_t k = 0, count = 0;
    if (!ParseWriteFault(v, cause, k, count)) return false;
    SetWriteFault(cause, k, count);
    return true;
}

}  // namespace kr::data
