// The future-occurrences work file: every task whose next date lies within
// the report's date range, expanded into one ScheduleWorkfile row per
// occurrence up to the end of the range, through the date engine.
//
// The work file is a data file of its own, named by the clock text when a
// report builds it, and deleted when the report is done with it, whichever
// way the run ends. Schedule itself is only read.
//
//   SetWorkfileName(WorkfileNameFor(ClockTime()));
//   EmptyWorkfileRun empty;      RunToEnd(empty);
//   CreateWorkfileRun build(from, to);   RunToEnd(build);
//   ... print from ScheduleWorkfile ...
//   RemoveWorkfile();
#pragma once

#include <cstdint>
#include <string>

#include "dictionary/SchedulingTables.h"
#include "platform/runtime/RecordProcess.h"

namespace kr::reports {

// The work file's name for a clock value: its decimal text.
std::string WorkfileNameFor(int32_t clock);
void SetWorkfileName(const std::string& name);
std::string WorkfileName();

// Deletes every row of the work file, in ID order, a batch per step.
// Cancel stops only the emptying.
class EmptyWorkfileRun : public BatchProcess {
public:
    EmptyWorkfileRun();
    ~EmptyWorkfileRun() override;
    bool Step(int count) override;

private:
    void End(ProcessState s);
    bool opened_ = false;
};

// Fills the work file from the tasks whose SCH:Date lies in [from, to] in
// date and time order: each task's stored occurrence, then (unless it is a
// "Once" task) every following occurrence the date engine gives up to `to`.
// A task stops when the engine does not move it on. Rows are numbered 1, 2,
// 3 ... in the order they are written. Each step writes at most `count`
// rows (and for at most about 120 ms), all in one transaction; the percentage
// counts the tasks read against the tasks of the table. Disabled and
// completed tasks take part. A row refused on its own (a taken number) is
// reported and the build goes on; a failure that would repeat for every
// row (a full disk, a read-only file, an input/output error), in a row or
// in the final commit, is told once and ends the build as failed.
class CreateWorkfileRun : public BatchProcess {
public:
    CreateWorkfileRun(int32_t from, int32_t to);
    ~CreateWorkfileRun() override;
    bool Step(int count) override;
    int rows() const { return rows_; }

private:
    bool Start();
    // False when the build has ended on a failure that would repeat.
    bool Write(const Schedule& task);
    void Refuse(const std::string& cause);
    void End(ProcessState s);

    int32_t from_, to_;
    bool started_ = false;
    bool inTransaction_ = false;
    bool expanding_ = false;  // task_ has further occurrences to look for
    Schedule task_;           // the task as last written
    int rows_ = 0;
};

// Closes the current thread's uses of the work file and deletes its file.
void RemoveWorkfile();

}  // namespace kr::reports
