// Internal to the table engine: the per-procedure-thread state of a table and
// the interface its drivers implement.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/data/Table.h"

namespace kr::data {

class Database;

// Records read ahead of the caller, kept encoded: per column an 8-byte
// integer or real, or a 4-byte length and the text. Rows follow the
// direction of the read that fetched them.
struct ReadAhead {
    std::string bytes;
    std::vector<std::pair<int64_t, uint32_t>> rows;  // row number, offset in `bytes`
    std::size_t next = 0;    // the next row to hand out
    bool forward = true;
    bool exhausted = false;  // no records beyond these
    bool valid = false;
    int64_t ownChanges = 0;  // the connection's changes when read
    int64_t fileStamp = 0;   // the file's stamp when last looked at
    std::chrono::steady_clock::time_point checked;
    int fetch = 0;           // rows the next fetch asks for (0: the first, small)
    bool empty() const { return next >= rows.size(); }
    void drop() {
        bytes.clear();
        rows.clear();
        next = 0;
        exhausted = false;
        valid = false;
        fetch = 0;
    }
};

struct ThreadState {
    explicit ThreadState(const TableDef& def) : buffer(def) {}
    AnyRecord buffer;
    const KeyDef* key = nullptr;  // order of Next/Previous; nullptr: file order

    // The sequence: before the first record (Start), at a record (At: values
    // and row of the last record read), or at key values (Boundary: Next
    // reads the first record at or after them, Previous the last at or
    // before them).
    enum class Seq { Start, At, Boundary };
    Seq seq = Seq::Start;
    std::vector<Value> values;
    int64_t row = 0;

    int64_t current = 0;                 // record PUT, DELETE and HOLD act on
    // Its values in `key`: those of the sequence while it stands at the
    // current record (currentIsSeq), else currentValues.
    bool currentIsSeq = false;
    std::vector<Value> currentValues;
    const std::vector<Value>& currentKey() const { return currentIsSeq ? values : currentValues; }
    // Before the sequence moves off the current record.
    void keepCurrentKey() {
        if (currentIsSeq) currentValues = values;
        currentIsSeq = false;
    }

    // The record as a writer read it (Table::Watch): its row and its values
    // then. A PUT of that row compares the stored record with it.
    struct Watched {
        bool armed = false;  // the next record read is kept
        int64_t row = 0;     // 0: none kept
        std::unique_ptr<AnyRecord> asRead;
    };
    Watched watch;

    // Records read ahead in the direction of the last read; valid while the
    // file is unchanged.
    ReadAhead page;
    void dropPage() { page.drop(); }
};

struct Table::Impl {
    Impl(Table& t, const TableDef& d) : table(t), def(d), name(d.storedAs) {}
    virtual ~Impl() = default;

    Table& table;
    const TableDef& def;
    mutable std::mutex m;
    std::mutex openMutex;  // orders Open and Close of the table (taken before m)
    std::string name;
    std::atomic<int> openCount{0};  // changed under openMutex and m
    int mode = 0;
    int recoverSeconds = 0;
    std::map<int, std::unique_ptr<ThreadState>> threads;
    AnyRecord blank{def};  // every field empty or 0 (CLEAR copies it)

    ThreadState& ts(int thread);
    ThreadState& ts();
    void dropThread(int thread);

    bool writable() const { return (mode & 0x0f) != kReadOnly; }

    // The driver.
    virtual std::string filePath() const = 0;
    virtual std::string diskName() const = 0;
    virtual int open(int mode) = 0;     // the first open of the process
    virtual void close() = 0;           // the last close
    virtual int create() = 0;
    virtual int remove() = 0;
    virtual int attach() = 0;
    virtual int next(ThreadState& s, bool forward) = 0;
    // Up to `count` records onward, as that many next() calls would read
    // them, into `out` (records reused, trimmed to those read) and their
    // positions. This default reads them one by one.
    virtual int readMany(ThreadState& s, bool forward, int count, std::vector<AnyRecord>& out,
                         std::vector<Position>* positions);
    virtual int get(ThreadState& s, const KeyDef* key) = 0;
    virtual int reget(ThreadState& s, const Position& p) = 0;
    virtual int add(ThreadState& s) = 0;
    virtual int addAuto(ThreadState& s, const KeyDef* key) = 0;
    virtual int put(ThreadState& s) = 0;
    virtual int del(ThreadState& s) = 0;
    virtual int64_t records(const KeyDef* key) = 0;
    // The first maxBytes bytes of a memo of the record with that row number,
    // read on their own (the record buffer and position untouched).
    virtual int readMemo(int64_t row, const MemoDef& memo, std::size_t maxBytes, std::string& out) {
        (void)row;
        (void)memo;
        (void)maxBytes;
        out.clear();
        return 80;
    }
    virtual int hold(ThreadState& s, int thread) = 0;
    virtual int release(ThreadState& s, int thread) = 0;
    virtual void releaseAll(int thread) = 0;
    virtual bool held(ThreadState& s) = 0;
    virtual int build(const ProgressFn& progress) = 0;
    virtual int pack(const ProgressFn& progress) = 0;
    virtual int lock() = 0;
    virtual int unlock() = 0;
    virtual int storedVersion() = 0;
    virtual std::string storedLayout() = 0;
    virtual int convert(int version, const std::vector<std::pair<std::string, std::string>>& alternates,
                        const void* defaults) = 0;
    virtual int forEachMatch(const KeyDef* key, const std::vector<const FieldDef*>& fields,
                             const std::vector<Value>& values,
                             const std::function<bool(int64_t, const void*)>& fn) = 0;
    virtual int deleteRow(int64_t row) = 0;
    virtual int updateRowFields(int64_t row, const std::vector<const FieldDef*>& fields,
                                const std::vector<Value>& values) = 0;
    virtual int readRow(int64_t row, void* record) = 0;
    virtual void fillStatistics(TableStatistics& s) = 0;
    // Transactions: the connection the table writes through (nullptr for
    // line files, which have none).
    virtual std::shared_ptr<Database> database() { return nullptr; }
    // The connection whether open or not (for relations' transactions);
    // nullptr for line files or when the file is missing.
    virtual std::shared_ptr<Database> connection() { return nullptr; }
};

std::unique_ptr<Table::Impl> MakeSqlImpl(Table& t, const TableDef& def);
std::unique_ptr<Table::Impl> MakeFlatImpl(Table& t, const TableDef& def);

// out[n] as a record of the table, made (or remade, when it belongs to
// another table) as needed; out must hold at least n records.
AnyRecord& RecordAt(std::vector<AnyRecord>& out, std::size_t n, const TableDef& def);

// The value of a key's components in a record.
std::vector<Value> KeyValues(const TableDef& def, const KeyDef& key, const void* record);

}  // namespace kr::data
