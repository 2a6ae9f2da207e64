// List filters are typed by users and stored in the list layout: any filter
// text must translate without harm, and where it translates, the rows the
// SQL form selects must be the rows the evaluator accepts record by record,
// memos included.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <set>
#include <string>

#include "dictionary/SchedulingTables.h"
#include "platform/data/ListQuery.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Expression.h"

namespace {

using namespace kr;

data::Table& Sch() { return data::TableOf(ScheduleDef()); }

// A schedule table with tasks of every kind the filters look at.
bool MakeTable() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kr-fuzz-filter-XXXXXX";
    const char* made = ::mkdtemp(tmpl.data());
    if (!made || ::chdir(made) != 0) return false;
    data::SetKeyDerivationIterations(64);
    if (Sch().Create() != 0 || Sch().Open() != 0) return false;
    const char* categories[] = {"Home", "work", "Work ", "Bills", "", "O'Brien"};
    const char* words[] = {"Backup", "backup disk ", "Call O'Brien", "Pay rent", "zz", "  Alpha", "10", "-3.5"};
    const int32_t today = MakeDate(3, 15, 2024);
    for (int i = 1; i <= 40; ++i) {
        Sch().Clear();
        Schedule& s = Sch().Rec<Schedule>();
        s.ID = i;
        s.Date = i % 7 == 0 ? 0 : today + (i % 45) - 20;
        s.Time = 100 * i + 1;
        s.Category = categories[i % 6];
        s.Description = std::string(words[i % 8]) + (i % 3 ? " " + std::to_string(i) : "");
        s.Disabled = static_cast<uint8_t>(i % 4 == 0);
        s.Completed = static_cast<uint8_t>(i % 9 == 0);
        s.TaskType = i % 2 ? "Run Program" : "Display Message";
        // A memo, which filters name as a field of the row: empty, short,
        // with trailing blanks, with a line break.
        const char* messages[] = {"", "Hello", "Pay the rent   ", "Call O'Brien\r\nat noon", "x"};
        s.Message = std::string(messages[i % 5]) + (i % 3 == 0 ? std::string(static_cast<std::size_t>(i) * 4, 'm') : "");
        if (Sch().Add() != 0) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = MakeTable();
    if (!ready || size > 400) return 0;
    const std::string filter(reinterpret_cast<const char*>(data), size);

    // The evaluator, record by record; a filter it cannot evaluate on some
    // record is not compared.
    std::set<int64_t> want;
    Sch().Set(ScheduleDef().key("SCH:KeyID"));
    while (Sch().Next() == 0) {
        Bindings b(&CurrentBindings());
        for (const auto& f : ScheduleDef().fields)
            if (!f.isGroup()) b.BindValue(f.name, f.get(Sch().Record()));
        for (const auto& m : ScheduleDef().memos) b.BindValue(m.name, Value(m.get(Sch().Record())));
        EvalResult r = Evaluate(filter, b);
        if (!r.ok()) return 0;
        if (r.value.truthy()) want.insert(Sch().Rec<Schedule>().ID);
    }

    data::ListQuery q(Sch());
    q.SetKeyOrder(ScheduleDef().key("SCH:KeyID"));
    q.SetFilter(filter);
    if (q.Apply() != 0) return 0;
    std::set<int64_t> got;
    std::vector<data::ListRow> rows;
    const int id = ScheduleDef().fieldIndex("SCH:ID");
    if (q.Page(nullptr, true, 100, rows) != 0) return 0;
    for (const data::ListRow& r : rows) got.insert(r.field(id).toInt());
    if (got != want) __builtin_trap();
    if (q.Count() != static_cast<int64_t>(want.size())) __builtin_trap();
    return 0;
}
