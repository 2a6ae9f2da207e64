// What the date engine needs of the tables: the Schedule table (with its
// message memo) and the script items keyed by the task's ID, and a test for
// holiday dates. The engine works through these so that it runs the same over
// the data file and over records in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "dictionary/SchedulingTables.h"

namespace kr {

class ScheduleStore {
public:
    virtual ~ScheduleStore() = default;
    // The highest SCH:ID in SCH:KeyID order; 0 when the table is empty.
    virtual int32_t LastID() = 0;
    // ADDs the record (and its memo) under record.ID. kDuplicateKey when that
    // ID is taken; other errors are reported by the table layer and returned.
    virtual int Add(const Schedule& record) = 0;
    // PUTs the record over the stored record with the same ID.
    virtual int Put(const Schedule& record) = 0;
    // Fetches the record with this ID; kRecordNotFound when there is none.
    virtual int Fetch(int32_t id, Schedule& record) = 0;
    // Deletes the record with this ID together with its script items.
    virtual int Delete(int32_t id) = 0;
    // Adds a copy of every script item of task `from` under task `to`, in
    // sequence order.
    virtual int CopyScriptItems(int32_t from, int32_t to) = 0;
    // At most `count` records with an ID above afterID, in ID order.
    virtual std::vector<Schedule> ReadAfter(int32_t afterID, int count) = 0;
    virtual int Count() = 0;
    // Brackets a run of writes that may be made durable together (a chunk of
    // a re-dating pass). What was written before a failure is kept.
    virtual void BeginBatch() {}
    virtual void EndBatch() {}
};

// True when the date is a holiday. An empty test means no holidays.
using HolidayTest = std::function<bool(int32_t date)>;

// Holiday dates held in memory; what the adapter over the Holidays table
// loads, once per pass, since the table holds one record per date.
class HolidaySet {
public:
    HolidaySet() = default;
    explicit HolidaySet(const std::vector<int32_t>& dates) : dates_(dates.begin(), dates.end()) {}
    void Add(int32_t date) { dates_.insert(date); }
    bool Contains(int32_t date) const { return dates_.count(date) != 0; }
    bool Empty() const { return dates_.empty(); }
    // The test over this set (empty when there are no holidays, so that no
    // test is made). The set must outlive the test.
    HolidayTest Test() const;

private:
    std::set<int32_t> dates_;
};

// A Schedule table in memory with the script items of its tasks: what tests
// and benchmarks of the engine run on, and the reference the table adapter
// must behave like.
class MemoryScheduleStore : public ScheduleStore {
public:
    int32_t LastID() override;
    int Add(const Schedule& record) override;
    int Put(const Schedule& record) override;
    int Fetch(int32_t id, Schedule& record) override;
    int Delete(int32_t id) override;
    int CopyScriptItems(int32_t from, int32_t to) override;
    std::vector<Schedule> ReadAfter(int32_t afterID, int count) override;
    int Count() override { return static_cast<int>(records_.size()); }

    // Adds a script item under its SCR:ID with the next sequence number.
    void AddScriptItem(const Scripting& item);
    std::vector<Scripting> ScriptItems(int32_t id) const;
    const std::map<int32_t, Schedule>& records() const { return records_; }
    int puts() const { return puts_; }
    // Makes the next Put (after `skip` more that succeed), Add or
    // CopyScriptItems fail with this code (0: no failure).
    void FailNextPut(int code, int skip = 0) {
        failPut_ = code;
        failPutSkip_ = skip;
    }
    void FailNextAdd(int code) { failAdd_ = code; }
    void FailNextCopy(int code) { failCopy_ = code; }

private:
    std::map<int32_t, Schedule> records_;
    std::map<int32_t, std::vector<Scripting>> scripts_;
    int puts_ = 0;
    int failPut_ = 0;
    int failPutSkip_ = 0;
    int failAdd_ = 0;
    int failCopy_ = 0;
};

}  // namespace kr
