// What every sweep of a write fault shares: the causes, the k to try, and the
// file's own verdict on itself.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/SchedulingTables.h"
#include "platform/data/DataFileCheck.h"
#include "platform/data/WriteFault.h"

namespace kr::test {

struct FaultCause {
    data::WriteFaultCause cause;
    const char* name;
};

inline const std::vector<FaultCause>& FaultCauses() {
    static const std::vector<FaultCause> c = {{data::WriteFaultCause::DiskFull, "disk full"},
                                              {data::WriteFaultCause::Busy, "busy"},
                                              {data::WriteFaultCause::Replaced, "replaced"}};
    return c;
}

// Every k from 1 to n.
inline std::vector<int64_t> EveryWrite(int64_t n) {
    std::vector<int64_t> ks;
    for (int64_t k = 1; k <= n; ++k) ks.push_back(k);
    return ks;
}

// For long runs of writes: the first ten, every 100th, the last two (the
// last row and the commit).
inline std::vector<int64_t> SampledWrites(int64_t n) {
    std::vector<int64_t> ks;
    for (int64_t k = 1; k <= n; ++k)
        if (k <= 10 || k % 100 == 0 || k >= n - 1) ks.push_back(k);
    return ks;
}

// PRAGMA integrity_check of the data file, from a connection of its own.
inline std::string IntegrityOf(const std::string& path) {
    sqlite3* db = nullptr;
    std::string out;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return "cannot open " + path;
    }
    data::KeyConnection(db, path, kOwnerPassword);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            if (!out.empty()) out += "; ";
            out += reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        }
    } else {
        out = sqlite3_errmsg(db);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

// The words a message must hold to name the cause.
inline std::vector<std::string> CauseWords(data::WriteFaultCause c) {
    switch (c) {
    case data::WriteFaultCause::DiskFull: return {"full", "Full"};
    case data::WriteFaultCause::Busy: return {"ocked", "busy", "in use"};
    case data::WriteFaultCause::Replaced: return {"readonly", "read-only", "cannot be written", "Access Denied", "replaced"};
    }
    return {};
}

inline bool NamesCause(const std::string& text, data::WriteFaultCause c) {
    for (const std::string& w : CauseWords(c))
        if (text.find(w) != std::string::npos) return true;
    return false;
}

}  // namespace kr::test
