// The display-free half of a list window: which records of a table a list
// shows, in which order, and how it reads them a page at a time.
//
// A ListQuery is bound to one table of a multi-table file. It holds
//   - an order: the terms of a key, or order text as the lists write it
//     ("-UPPER(SCH:Description),SCH:Date"); the row number ends every order,
//     so equal values keep a stable order;
//   - range limits on fields (usually the leading components of the key),
//     read through getters each time the query is applied;
//   - named filters, runtime expressions ANDed in the order of their names
//     ("SCH:Date=TODAY()", "~(SCH:Disabled OR SCH:Completed)",
//     "SCH:Category=Filter:Category" with a bound name);
//   - an optional record check run on each record.
// Apply() translates each filter into SQL conditions with bound parameters
// where it can, conjunct by conjunct; what it cannot translate is evaluated
// per record with the expression evaluator over the record's fields. Either
// way the same records qualify. No value of a filter ever becomes SQL text.
//
// Reading is keyset paging: a page after (or before) an anchor row is one
// query "WHERE <filter> AND (terms) > (anchor's values) ORDER BY terms LIMIT
// n", so a page costs the same wherever it starts. Random access by position
// (a scroll bar dragged to the end) uses OFFSET once; the model then pages on
// from there.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/Table.h"
#include "platform/runtime/Expression.h"

namespace kr::data {

// One term of a list order.
struct OrderTerm {
    const FieldDef* field = nullptr;
    bool descending = false;
    bool noCase = false;  // text compared without regard to case (UPPER() or a key that ignores case)
};

// The terms of a key, in its order and collation.
std::vector<OrderTerm> KeyOrder(const TableDef& def, const KeyDef& key);
// Parses order text: terms separated by ",", each optionally "-" (descending)
// and optionally wrapped in "UPPER(...)". False, with a message, when a name
// is no field of the table.
bool ParseOrderText(std::string_view text, const TableDef& def, std::vector<OrderTerm>& out,
                    std::string* message = nullptr);

// A table whose records belong to one record of the list's table (the script
// items of a task): a filter condition on one of its fields holds when any
// of the record's children matches it.
struct ChildTable {
    const TableDef* def = nullptr;
    std::string childField;   // "SCR:ID"
    std::string parentField;  // "SCH:ID"
};

// The outcome of translating one filter text.
struct FilterTranslation {
    std::string sql;                   // conditions joined by AND, "" when none
    std::vector<Value> params;         // bound in order of their "?"
    std::vector<std::string> residue;  // conjuncts left for per-record evaluation
    int error = 0;                     // 800 syntax, 801 unknown name
    std::string message;
};

// Translates a filter over `def` (columns qualified with `alias`). Names
// that are no field of the table or of a child are bound names: they are
// read from `bindings` now and bound as parameters.
FilterTranslation TranslateFilter(std::string_view filter, const TableDef& def, const Bindings& bindings,
                                  const std::vector<ChildTable>& children = {}, const std::string& alias = "m");

// A record as a list reads it: its row number and the value of each entry of
// the table definition's fields (empty for groups), in definition order.
struct ListRow {
    int64_t row = 0;
    std::vector<Value> values;
    const Value& field(int index) const { return values[static_cast<std::size_t>(index)]; }
};

class ListQuery {
public:
    explicit ListQuery(Table& table);
    ~ListQuery();
    ListQuery(const ListQuery&) = delete;
    ListQuery& operator=(const ListQuery&) = delete;

    Table& table() const { return *table_; }
    const TableDef& def() const { return table_->def(); }

    // Forgets the order, ranges, filters, children and record check.
    void Reset();

    void SetOrder(std::vector<OrderTerm> terms);
    void SetKeyOrder(const KeyDef* key);  // nullptr: file (row) order
    // False (order unchanged) when the text names no field.
    bool SetOrderText(std::string_view text, std::string* message = nullptr);
    const std::vector<OrderTerm>& order() const { return order_; }

    // Range limits: the field equals a value, or lies between two values
    // (inclusive). Texts compare without regard to case unless the field's
    // keys are case-sensitive.
    void AddRange(std::string_view field, std::function<Value()> value);
    void AddRange(std::string_view field, std::function<Value()> low, std::function<Value()> high);
    void ClearRanges();

    // Named filters, ANDed in the order of their names; an empty expression
    // removes the name.
    void SetFilter(std::string_view expression, std::string_view name = "");
    void ClearFilters();
    std::string FilterText() const;  // the filters as one expression

    void AddChild(ChildTable child);
    // A check run on each record (read into a scratch buffer) after the
    // filters; false leaves the record out.
    void SetRecordCheck(std::function<bool(const void* record)> check);
    // Bindings the filters' bound names and per-record evaluation fall back
    // to (default: the current procedure thread's).
    void SetBindings(const Bindings* bindings) { bindings_ = bindings; }

    // Takes the ranges, filters and order as they now stand: translates the
    // filters and reads the bound names. 0, or 800/801 with Message().
    int Apply();
    const std::string& Message() const { return message_; }
    // True when some records are checked one by one (a filter part that has
    // no SQL form, or a record check): counts then cost a scan.
    bool HasResidue() const;
    const std::string& WhereSql() const { return where_; }

    // Pages. `anchor` nullptr: from the start (forward) or the end (back).
    // Rows come in list order either way. 0 or the engine's error.
    int Page(const ListRow* anchor, bool forward, int count, std::vector<ListRow>& out);
    int PageAt(int64_t offset, int count, std::vector<ListRow>& out);
    // Records that qualify (-1 on error).
    int64_t Count();
    // Reads up to `count` records in file order after row `after` (0: from
    // the first), each with only the fields listed (indexes into the
    // definition's fields; every field when `fields` is null) and those the
    // per-record part reads, the others left empty; `take` gets those that
    // qualify, and stops the scan by returning false. `last` becomes the
    // row number of the last record read and `read` the number read:
    // fewer than `count` without a stop means the end. 0 or the engine's
    // error.
    int Scan(const std::vector<int>* fields, int64_t after, int count,
             const std::function<bool(const ListRow&)>& take, int64_t& last, int& read);
    // Rows that come before `r` in the list order (its position when it
    // qualifies).
    int64_t RowsBefore(const ListRow& r);
    // Re-reads a record; false when it is gone or no longer qualifies.
    bool Fetch(int64_t row, ListRow& out);
    // Position of the first row whose field is at or past the value (the
    // locator), in the field's direction and collation in the order; the
    // first order term's field when none is given. The terms before it are
    // expected to be fixed by ranges.
    int64_t LocatePosition(const Value& value, const FieldDef* field = nullptr);

    // Loads the values of a row into a record of the table.
    void ToRecord(const ListRow& r, void* record) const;

private:
    struct Range {
        const FieldDef* field;
        std::function<Value()> low, high;
        bool equal;
    };
    struct Impl;

    bool Qualifies(const ListRow& r);
    // The text of a memo of the table (its number in the definition's
    // memos) for row `row`, read once per row checked.
    const Value& MemoOf(int64_t row, int memo);
    int64_t CountWhere(const std::string& conditions, const std::vector<Value>& params);
    int Run(const std::string& conditions, const std::vector<Value>& params, const std::string& tail, int limit,
            int64_t offset, bool reverse, const std::function<bool(ListRow&)>& take);
    std::string AnchorCondition(const ListRow& anchor, bool after, std::vector<Value>& params) const;
    std::string TermSql(const OrderTerm& t) const;

    Table* table_;
    std::vector<OrderTerm> order_;
    std::vector<Range> ranges_;
    std::map<std::string, std::string> filters_;
    std::vector<ChildTable> children_;
    std::function<bool(const void*)> check_;
    const Bindings* bindings_ = nullptr;
    std::unique_ptr<Impl> impl_;
    std::string where_;
    std::vector<Value> params_;
    std::vector<CompiledExpression> residue_;
    // Per residue expression, per name it reads: the field's index, -2 - n
    // for memo n of the table, or -1 for a bound name. Resolved once per
    // Apply.
    std::vector<std::vector<int>> residueSlots_;
    int64_t memoRow_ = 0;  // the row memoValues_ belong to (0 none)
    std::vector<Value> memoValues_;
    std::vector<char> memoRead_;
    std::vector<int> residueFields_;  // the fields the residue reads, each once
    std::vector<const Value*> slotValues_;
    std::string message_;
};

// The lists' date picture rule: every "@D" picture of a list format or a
// column (found without regard to case, up to its closing "@" or the end)
// becomes "@" + the user's date picture (clipped) + "@" ("@" + picture at
// the end of a text without the closing one). An empty date picture
// changes nothing.
std::string ApplyDatePicture(std::string_view format, std::string_view dateFormat);

}  // namespace kr::data
