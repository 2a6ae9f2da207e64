#include "platform/data/Errors.h"

#include <sqlite3.h>

#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/ProcedureContext.h"

namespace kr::data {

namespace {

struct ErrorState {
    int code = 0;
    std::string fileCode;
    std::string fileText;
    std::string duplicateKey;
};

std::mutex g_mutex;
std::map<int, ErrorState> g_states;

ErrorState Snapshot() {
    std::lock_guard<std::mutex> l(g_mutex);
    auto it = g_states.find(CurrentProcedureThread());
    return it == g_states.end() ? ErrorState{} : it->second;
}

}  // namespace

int LastErrorCode() { return Snapshot().code; }
std::string LastErrorText() { return kr::ErrorText(Snapshot().code); }
std::string LastFileErrorCode() { return Snapshot().fileCode; }
std::string LastFileErrorText() { return Snapshot().fileText; }
std::string LastDuplicateKey() { return Snapshot().duplicateKey; }

DriverCause LastDriverCause() {
    const std::string code = Snapshot().fileCode;
    if (code.empty() || code.find_first_not_of("0123456789") != std::string::npos) return DriverCause::None;
    // The driver's code is SQLite's extended result code; its low byte is
    // the primary one.
    const int rc = std::atoi(code.c_str());
    if (rc == SQLITE_READONLY_DBMOVED) return DriverCause::Replaced;
    switch (rc & 0xff) {
    case SQLITE_FULL: return DriverCause::DiskFull;
    case SQLITE_READONLY: return DriverCause::ReadOnly;
    case SQLITE_IOERR: return DriverCause::IoError;
    case SQLITE_CANTOPEN: return DriverCause::CannotOpen;
    default: return DriverCause::None;
    }
}

std::string LastErrorDisplay() {
    ErrorState s = Snapshot();
    if (s.code == kDriverError) return s.fileText + " (" + s.fileCode + ")";
    if (s.code != 0 && std::atoi(s.fileCode.c_str()) == SQLITE_READONLY_DBMOVED) return s.fileText;
    return kr::ErrorText(s.code) + " (" + std::to_string(s.code) + ")";
}

std::string LastErrorWithDriverWords(int code) {
    ErrorState s = Snapshot();
    std::string text = kr::ErrorText(s.code);
    const bool driverWords = code == kDriverError || code == kFileLocked || code == kAccessDenied;
    if (driverWords && !s.fileText.empty() && s.fileText != text) text += ": " + s.fileText;
    return text;
}

int SetLastError(int code, std::string fileCode, std::string fileText) {
    // Every engine call sets the state, so the thread keeps its entry at hand
    // (entries are never removed, so the pointer stays good).
    thread_local int cachedThread = 0;
    thread_local ErrorState* cached = nullptr;
    std::lock_guard<std::mutex> l(g_mutex);
    const int thread = CurrentProcedureThread();
    if (!cached || cachedThread != thread) {
        cached = &g_states[thread];
        cachedThread = thread;
    }
    ErrorState& s = *cached;
    s.code = code;
    s.fileCode = std::move(fileCode);
    s.fileText = std::move(fileText);
    return code;
}

void SetLastDuplicateKey(std::string keyName) {
    std::lock_guard<std::mutex> l(g_mutex);
    g_states[CurrentProcedureThread()].duplicateKey = std::move(keyName);
}

}  // namespace kr::data
