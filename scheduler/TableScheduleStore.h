// The date engine's store over the data file: the Schedule table (with its
// memo) and the Scripting table through the dictionary's managers, for the
// current procedure thread. Write failures are reported by the managers
// (the table error messages) and returned as the runtime's code.
#pragma once

#include "scheduler/ScheduleStore.h"

namespace kr {

class TableScheduleStore : public ScheduleStore {
public:
    // Opens Schedule and Scripting for the current procedure thread; the
    // destructor closes them again.
    TableScheduleStore();
    ~TableScheduleStore() override;
    TableScheduleStore(const TableScheduleStore&) = delete;
    TableScheduleStore& operator=(const TableScheduleStore&) = delete;

    // The code of a failed open (0 when both tables opened).
    int openError() const { return openError_; }

    // Whether failed writes (PUT, ADD, the copy of script items) are reported
    // with the table error messages. The timer cycle turns it off while it
    // tries again to store an occurrence whose failure it already reported.
    void SetReporting(bool on) { reporting_ = on; }
    bool reporting() const { return reporting_; }
    // Writes (PUT, ADD) that failed since the store was made.
    int failedWrites() const { return failedWrites_; }

    int32_t LastID() override;
    int Add(const Schedule& record) override;
    int Put(const Schedule& record) override;
    int Fetch(int32_t id, Schedule& record) override;
    int Delete(int32_t id) override;
    int CopyScriptItems(int32_t from, int32_t to) override;
    std::vector<Schedule> ReadAfter(int32_t afterID, int count) override;
    int Count() override;
    // One transaction over Schedule and Scripting, so that a chunk of writes
    // costs one commit (none when a transaction is already active).
    void BeginBatch() override;
    void EndBatch() override;

private:
    bool inBatch_ = false;
    bool reporting_ = true;
    int failedWrites_ = 0;
    bool scheduleOpen_ = false;
    bool scriptingOpen_ = false;
    int openError_ = 0;
};

// The dates of the Holidays table (read once; an empty set when the table is
// empty or cannot be read, so that no holiday test is made).
HolidaySet LoadHolidays();

}  // namespace kr
