// The view a printed report reads: one table in a key order, limited by a
// range and a filter expression, read a record at a time into the current
// procedure thread's record buffer.
//
// The filter is an expression over the table's fields (bound by name for
// the evaluator while the view is open) and whatever else is bound on the
// thread (the report variables). A filter that does not compile, or an
// order the table does not have, gives the "View Open Error" message and the
// view goes on without it. A read error other than the end of the file gives
// the "Record Retrieval Error" message naming the table and ends the view
// with what was read so far.
#pragma once

#include <functional>
#include <string>

#include "platform/data/FileManager.h"
#include "platform/runtime/Expression.h"
#include "platform/runtime/RecordProcess.h"

namespace kr::reports {

class ReportView {
public:
    // tableName: the name the read error message gives ("Schedule", "Todo").
    ReportView(data::FileManager& file, std::string tableName);
    ~ReportView();
    ReportView(const ReportView&) = delete;
    ReportView& operator=(const ReportView&) = delete;

    std::string keyName;  // empty: file order
    std::string filter;   // empty: every record
    // A range: positions the buffer's key values before the first read
    // (SET(key, key)), and tells where the range ends (false: past it).
    std::function<void()> rangeStart;
    std::function<bool()> inRange;

    // Opens the table for this run (its own use of it, closed by Close) and
    // the view. False when the table cannot be opened (the manager has said
    // why).
    bool Open();
    // The records of the table (not of the view), for the progress.
    int Total();
    // The next record of the view in the buffer: Done, End at the end of the
    // view, Fatal after a read error (already reported).
    RecordStep Next();
    void Close();

private:
    bool Matches();

    data::FileManager& file_;
    std::string tableName_;
    CompiledExpression compiled_;
    bool useFilter_ = false;
    bool open_ = false;
    bool ended_ = false;
};

}  // namespace kr::reports
