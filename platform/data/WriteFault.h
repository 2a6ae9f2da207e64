// A switch for tests that makes the k-th write to a data file from now fail
// with a chosen cause, as a full disk, a file held past the busy timeout or
// a file replaced on disk would make it fail, so that every failure path of
// an operation can be walked write by write. Off, it costs one relaxed
// atomic load per write.
//
// Writes counted: a record added, put or deleted (also by row), a table made
// or removed, a transaction begun (Logout, per file) or committed (per file).
// The engine's own statements inside one of those are part of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace kr::data {

enum class WriteFaultCause {
    DiskFull,  // SQLITE_FULL: 90, "Disk full: ..."
    Busy,      // SQLITE_BUSY after the busy timeout: 32
    Replaced,  // SQLITE_READONLY_DBMOVED, the file renamed over: 5
};

// The k-th write from now (1: the next one) fails with `cause`, and so do the
// count - 1 writes after it; count 0: every write from the k-th on, until
// ClearWriteFault (a full disk stays full). Resets the count of writes.
void SetWriteFault(WriteFaultCause cause, int64_t k, int64_t count = 0);
// No write fails any more; the count of writes goes on.
void ClearWriteFault();
// Counts writes from now without failing any (k = 0 of WritesCounted).
void CountWrites();
// The writes counted since SetWriteFault or CountWrites, failed ones included.
int64_t WritesCounted();
// How many writes the switch has failed since it was last set.
int64_t WritesFailed();

// Reads the switch for a program under test from KR_TEST_WRITE_FAULT:
// "<cause>:<k>[:<count>]" with cause "full", "busy" or "replaced"; counting
// starts at the first data file the program opens. False (and nothing set)
// when the variable is unset or not of that form.
bool SetWriteFaultFromEnvironment();
// Parses such a text; used by SetWriteFaultFromEnvironment.
bool ParseWriteFault(const std::string& text, WriteFaultCause& cause, int64_t& k, int64_t& count);

namespace detail {
extern std::atomic<bool> g_writeFaultArmed;
int CountedWrite();
}  // namespace detail

// Called by the engine at each counted write: 0, or the code of the fault
// with the last-error state set as the driver's failure would set it.
inline int WriteFaultCheck() {
    if (!detail::g_writeFaultArmed.load(std::memory_order_relaxed)) [[likely]]
        return 0;
    return detail::CountedWrite();
}

}  // namespace kr::data
