#include "scriptedit/ScriptSequencer.h"

#include "dictionary/Dictionary.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Services.h"
#include "scriptedit/ScriptBatch.h"

namespace kr {

namespace {
using data::kLevelBenign;

// One write transaction for an operation, unless the caller holds one.
class Batch {
public:
    Batch() { batch_.Begin(); }
    ~Batch() { batch_.End(); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

private:
    ScriptBatch batch_;
};

void SwapError(int error, int32_t task, int32_t sequence, const char* section) {
    Message("Record swap error: |" + ErrorText(error) + "|Scripting, SCR:KeyID|Key Field SCR:ID = " +
                std::to_string(task) + "|Key Field SCR:Sequence = " + std::to_string(sequence) + "|Section = " +
                section + "|",
            "Error!", MessageIcon::Exclamation);
}

// Gives the item (task, from) the number `to`; the table's error code.
int SetNumber(int32_t task, int32_t from, int32_t to) {
    ScriptingFileManager& s = Scripting_File();
    s.rec() = Scripting();
    s.rec().ID = task;
    s.rec().Sequence = from;
    if (s.TryFetch(ScriptItemKey()) != kLevelBenign) return kRecordNotFound;
    s.rec().Sequence = to;
    return s.File().Put();
}

}  // namespace

int InsertScriptItemNumbered(Scripting& item) {
    ScriptingFileManager& s = Scripting_File();
    if (int e = s.UseFile()) return e;
    const std::vector<int32_t> n = ScriptItemNumbers(item.ID);
    item.Sequence = n.empty() ? 1 : n.back() + 1;
    s.rec() = item;
    return s.File().Add();
}

int InsertScriptItemAt(const Scripting& item) {
    ScriptingFileManager& s = Scripting_File();
    if (int e = s.UseFile()) return e;
    s.rec() = item;
    return s.File().Add();
}

std::vector<int32_t> ScriptItemNumbers(int32_t taskID) {
    std::vector<int32_t> out;
    data::TableOf(ScriptingDef())
        .ForEachMatch(ScriptItemKey(), {ScriptingDef().field("SCR:ID")}, {Value(taskID)}, [&](int64_t, const void* r) {
            out.push_back(static_cast<const Scripting*>(r)->Sequence);
            return true;
        });
    return out;
}

int32_t ScriptSequencer::Move(Direction d, int32_t task, int32_t sequence, int32_t bound) {
    if (Scripting_File().UseFile()) return sequence;
    const Scripting saved = Scripting_File().rec();
    const std::vector<int32_t> numbers = ScriptItemNumbers(task);
    int at = -1;
    for (size_t i = 0; i < numbers.size(); ++i)
        if (numbers[i] == sequence) at = static_cast<int>(i);
    if (at < 0) return sequence;
    // The items the move passes, nearest first; reading stops at the first
    // number not above the bound.
    const bool backwards = d % 2 == 1;
    std::vector<int32_t> chain;
    for (int i = at + (backwards ? -1 : 1); i >= 0 && i < static_cast<int>(numbers.size()); i += backwards ? -1 : 1) {
        if (numbers[i] <= bound) break;
        chain.push_back(numbers[i]);
        if (d == kUp || d == kDown) break;
    }
    if (chain.empty()) return sequence;

    Batch batch;
    const int32_t spare = numbers.back() + 1;
    if (int e = SetNumber(task, sequence, spare)) {
        SwapError(e, task, sequence, "Put Swap Out");
        Scripting_File().rec() = saved;
        return sequence;
    }
    int32_t vacant = sequence;
    for (int32_t n : chain) {
        if (int e = SetNumber(task, n, vacant)) {
            SwapError(e, task, n, "Put Swap Out");
            break;
        }
        vacant = n;
    }
    // The parked item takes the last number given up.
    if (int e = SetNumber(task, spare, vacant)) {
        SwapError(e, task, spare, "Put Swap Out");
        vacant = spare;
    }
    return vacant;
}

int32_t ScriptSequencer::MoveAfter(int32_t task, int32_t sequence) {
    const int32_t bound = insertAfter;
    insertAfter = 0;
    if (bound == 0 || sequence == bound + 1) return sequence;
    return Move(kInsertAfter, task, sequence, bound);
}

void ScriptSequencer::Renumber(int32_t task) {
    const int32_t start = renumberStart;
    renumberStart = 0;
    if (start <= 0 || Scripting_File().UseFile()) return;
    const Scripting saved = Scripting_File().rec();
    Batch batch;
    int32_t next = start;
    for (int32_t n : ScriptItemNumbers(task)) {
        if (n < start) continue;
        if (n != next)
            if (int e = SetNumber(task, n, next)) SwapError(e, task, n, "Put Upd Seq");
        ++next;
    }
    Scripting_File().rec() = saved;
}

}  // namespace kr
