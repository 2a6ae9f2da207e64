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

// The two tables of script items: their file manager, key and owner field.
template <class R>
struct ItemTable;

template <>
struct ItemTable<Scripting> {
    static ScriptingFileManager& F() { return Scripting_File(); }
    static const data::TableDef& Def() { return ScriptingDef(); }
    static const data::KeyDef* Key() { return ScriptItemKey(); }
    static constexpr const char* kOwner = "SCR:ID";
    static constexpr const char* kName = "Scripting";
    static int32_t& Owner(Scripting& r) { return r.ID; }
};

template <>
struct ItemTable<ScriptTemplateDetails> {
    static ScriptTemplateDetailsFileManager& F() { return ScriptTemplateDetails_File(); }
    static const data::TableDef& Def() { return ScriptTemplateDetailsDef(); }
    static const data::KeyDef* Key() { return ScriptTemplateDetailsDef().key("KRD:K_Wiz_ID"); }
    static constexpr const char* kOwner = "KRD:Wiz_ID";
    static constexpr const char* kName = "ScriptTemplateDetails";
    static int32_t& Owner(ScriptTemplateDetails& r) { return r.Wiz_ID; }
};

// One write transaction for an operation, unless the caller holds one.
template <class R>
class Batch {
public:
    Batch() {
        batch_.file = &ItemTable<R>::F();
        batch_.Begin();
    }
    ~Batch() { batch_.End(); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

private:
    ScriptBatch batch_;
};

template <class R>
void SwapError(int error, int32_t owner, int32_t sequence, const char* section) {
    using T = ItemTable<R>;
    Message("Record swap error: |" + ErrorText(error) + "|" + T::kName + ", " + T::Key()->name + "|Key Field " +
                T::kOwner + " = " + std::to_string(owner) + "|Key Field " + std::string(T::kOwner).substr(0, 4) +
                "Sequence = " + std::to_string(sequence) + "|Section = " + section + "|",
            "Error!", MessageIcon::Exclamation);
}

// Gives the item (owner, from) the number `to`; the table's error code.
template <class R>
int SetNumber(int32_t owner, int32_t from, int32_t to) {
    using T = ItemTable<R>;
    auto& s = T::F();
    s.rec() = R();
    T::Owner(s.rec()) = owner;
    s.rec().Sequence = from;
    if (s.TryFetch(T::Key()) != kLevelBenign) return kRecordNotFound;
    s.rec().Sequence = to;
    return s.File().Put();
}

template <class R>
std::vector<int32_t> ItemNumbers(int32_t owner) {
    using T = ItemTable<R>;
    std::vector<int32_t> out;
    data::TableOf(T::Def()).ForEachMatch(T::Key(), {T::Def().field(T::kOwner)}, {Value(owner)},
                                         [&](int64_t, const void* r) {
                                             out.push_back(static_cast<const R*>(r)->Sequence);
                                             return true;
                                         });
    return out;
}

template <class R>
int32_t MoveItem(ScriptSequencer::Direction d, int32_t owner, int32_t sequence, int32_t bound) {
    using T = ItemTable<R>;
    if (T::F().UseFile()) return sequence;
    const R saved = T::F().rec();
    const std::vector<int32_t> numbers = ItemNumbers<R>(owner);
    int at = -1;
    for (size_t i = 0; i < numbers.size(); ++i)
        if (numbers[i] == sequence) at = static_cast<int>(i);
    if (at < 0) return sequence;
    // The items the move passes, nearest first; reading stops at the first
    // number not above the bound.
    const bool backwards = d % 2 == 1;
    const bool oneStep = d == ScriptSequencer::kUp || d == ScriptSequencer::kDown;
    std::vector<int32_t> chain;
    for (int i = at + (backwards ? -1 : 1); i >= 0 && i < static_cast<int>(numbers.size()); i += backwards ? -1 : 1) {
        if (numbers[i] <= bound) break;
        chain.push_back(numbers[i]);
        if (oneStep) break;
    }
    if (chain.empty()) return sequence;

    Batch<R> batch;
    const int32_t spare = numbers.back() + 1;
    if (int e = SetNumber<R>(owner, sequence, spare)) {
        SwapError<R>(e, owner, sequence, "Put Swap Out");
        T::F().rec() = saved;
        return sequence;
    }
    int32_t vacant = sequence;
    for (int32_t n : chain) {
        if (int e = SetNumber<R>(owner, n, vacant)) {
            SwapError<R>(e, owner, n, "Put Swap Out");
            break;
        }
        vacant = n;
    }
    // The parked item takes the last number given up.
    if (int e = SetNumber<R>(owner, spare, vacant)) {
        SwapError<R>(e, owner, spare, "Put Swap Out");
        vacant = spare;
    }
    return vacant;
}

template <class R>
void RenumberItems(int32_t owner, int32_t start) {
    using T = ItemTable<R>;
    if (start <= 0 || T::F().UseFile()) return;
    const R saved = T::F().rec();
    Batch<R> batch;
    int32_t next = start;
    for (int32_t n : ItemNumbers<R>(owner)) {
        if (n < start) continue;
        if (n != next)
            if (int e = SetNumber<R>(owner, n, next)) SwapError<R>(e, owner, n, "Put Upd Seq");
        ++next;
    }
    T::F().rec() = saved;
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

int InsertTemplateItemNumbered(ScriptTemplateDetails& item) {
    ScriptTemplateDetailsFileManager& s = ScriptTemplateDetails_File();
    if (int e = s.UseFile()) return e;
    const std::vector<int32_t> n = ItemNumbers<ScriptTemplateDetails>(item.Wiz_ID);
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

std::vector<int32_t> ScriptItemNumbers(int32_t taskID, ScriptOwner owner) {
    return owner == ScriptOwner::Task ? ItemNumbers<Scripting>(taskID) : ItemNumbers<ScriptTemplateDetails>(taskID);
}

int32_t ScriptSequencer::Move(Direction d, int32_t task, int32_t sequence, int32_t bound) {
    return owner_ == ScriptOwner::Task ? MoveItem<Scripting>(d, task, sequence, bound)
                                       : MoveItem<ScriptTemplateDetails>(d, task, sequence, bound);
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
    if (owner_ == ScriptOwner::Task) RenumberItems<Scripting>(task, start);
    else RenumberItems<ScriptTemplateDetails>(task, start);
}

}  // namespace kr
