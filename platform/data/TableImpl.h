// Internal to the table engine: the per-procedure-thread state of a table and
// the interface its drivers implement.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/data/Table.h"

namespace kr::data {

class Database;

// One stored record as read: its row number and the column values (fields
// that are not groups, in order, then memos).
struct Row {
    int64_t row = 0;
    std::vector<Value> cols;
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
    std::vector<Value> currentValues;    // its values in `key`

    // Records read ahead in the direction of the last read; valid while the
    // file's change stamp is unchanged.
    std::deque<Row> page;
    bool pageForward = true;
    bool pageExhausted = false;  // no records beyond the page
    int64_t pageStamp = -1;
    void dropPage() {
        page.clear();
        pageExhausted = false;
        pageStamp = -1;
    }
};

struct Table::Impl {
    Impl(Table& t, const TableDef& d) : table(t), def(d), name(d.storedAs) {}
    virtual ~Impl() = default;

    Table& table;
    const TableDef& def;
    mutable std::mutex m;
    std::mutex openMutex;  // orders Open and Close of the table (taken before m)
    std::string name;
    int openCount = 0;
    int mode = 0;
    int recoverSeconds = 0;
    std::map<int, std::unique_ptr<ThreadState>> threads;

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
    virtual int get(ThreadState& s, const KeyDef* key) = 0;
    virtual int reget(ThreadState& s, const Position& p) = 0;
    virtual int add(ThreadState& s) = 0;
    virtual int addAuto(ThreadState& s, const KeyDef* key) = 0;
    virtual int put(ThreadState& s) = 0;
    virtual int del(ThreadState& s) = 0;
    virtual int64_t records(const KeyDef* key) = 0;
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

// The value of a key's components in a record.
std::vector<Value> KeyValues(const TableDef& def, const KeyDef& key, const void* record);

}  // namespace kr::data
