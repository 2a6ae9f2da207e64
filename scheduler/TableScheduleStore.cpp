#include "scheduler/TableScheduleStore.h"

#include "dictionary/Dictionary.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Services.h"
#include "scriptedit/ScriptCopy.h"

namespace kr {

namespace {

using data::kLevelBenign;

// The record buffers belong to the procedure (the engine may be handed the
// buffer itself): every operation leaves them as it found them.
template <class R>
class KeepBuffer {
public:
    explicit KeepBuffer(R& buffer) : buffer_(buffer), saved_(buffer) {}
    ~KeepBuffer() { buffer_ = saved_; }

private:
    R& buffer_;
    R saved_;
};

int Code(int level) { return level == kLevelBenign ? kNoError : (data::LastErrorCode() ? data::LastErrorCode() : kDriverError); }

const data::KeyDef* ScheduleKeyID() { return ScheduleDef().key("SCH:KeyID"); }

}  // namespace

TableScheduleStore::TableScheduleStore() {
    if (Schedule_File().Open() == kLevelBenign)
        scheduleOpen_ = true;
    else
        openError_ = data::LastErrorCode();
    if (Scripting_File().Open() == kLevelBenign)
        scriptingOpen_ = true;
    else if (!openError_)
        openError_ = data::LastErrorCode();
}

TableScheduleStore::~TableScheduleStore() {
    EndBatch();
    if (scriptingOpen_) Scripting_File().Close();
    if (scheduleOpen_) Schedule_File().Close();
}

int32_t TableScheduleStore::LastID() {
    ScheduleFileManager& f = Schedule_File();
    KeepBuffer keep(f.rec());
    if (f.SetOrder(ScheduleKeyID()) != kLevelBenign) return 0;
    if (f.TryPrevious() != kLevelBenign) return 0;
    return f.rec().ID;
}

int TableScheduleStore::Add(const Schedule& record) {
    ScheduleFileManager& f = Schedule_File();
    const Schedule wanted = record;
    KeepBuffer keep(f.rec());
    if (f.UseFile()) return data::LastErrorCode();
    f.rec() = wanted;
    // A plain ADD under the record's own ID: a duplicate is for the caller to
    // step over; anything else is reported as the table's insert error.
    const int e = f.File().Add();
    if (e != kNoError && e != kDuplicateKey) {
        ++failedWrites_;
        if (reporting_) f.Throw(data::kMsgAddFailed);
    }
    return e;
}

int TableScheduleStore::Put(const Schedule& record) {
    ScheduleFileManager& f = Schedule_File();
    const Schedule wanted = record;
    KeepBuffer keep(f.rec());
    f.rec().ID = wanted.ID;
    if ((reporting_ ? f.Fetch(ScheduleKeyID()) : f.TryFetch(ScheduleKeyID())) != kLevelBenign) {
        ++failedWrites_;
        return Code(kLevelBenign + 1);
    }
    f.rec() = wanted;
    const int e = Code(reporting_ ? f.Update() : f.TryUpdate());
    if (e != kNoError) ++failedWrites_;
    return e;
}

int TableScheduleStore::Fetch(int32_t id, Schedule& record) {
    ScheduleFileManager& f = Schedule_File();
    Schedule found;
    int result;
    {
        KeepBuffer keep(f.rec());
        f.rec().ID = id;
        result = Code(f.TryFetch(ScheduleKeyID()));
        if (result == kNoError) found = f.rec();
    }
    if (result == kNoError) record = found;
    return result;
}

int TableScheduleStore::Delete(int32_t id) {
    ScheduleFileManager& f = Schedule_File();
    KeepBuffer keep(f.rec());
    f.rec().ID = id;
    if (f.TryFetch(ScheduleKeyID()) != kLevelBenign) return Code(kLevelBenign + 1);
    // Through the relations, so that the task's script items go with it.
    return Code(Schedule_Relations().TryDelete());
}

int TableScheduleStore::CopyScriptItems(int32_t from, int32_t to) {
    // The one script copy of the program; per-item failures are shown by it.
    auto copy = MakeCopyScript(from, to);
    if (reporting_)
        copy->onError = [](const std::string& e) { Message(e, "Error"); };
    else
        copy->onError = [](const std::string&) {};
    // All or nothing: a copy tried again after a failure must not add the
    // items that went in before it a second time. Inside a caller's
    // transaction the caller's commit decides.
    bool own = false;
    if (!data::InTransaction()) {
        own = !Scripting_File().UseFile() && data::Logout({&Scripting_File().File()}) == kNoError;
        if (!own) {
            // The transaction could not begin (the file held by another
            // program, say): nothing was copied.
            ++failedWrites_;
            const int e = data::LastErrorCode() ? data::LastErrorCode() : kDriverError;
            if (reporting_) Scripting_File().Throw(data::kMsgAddFailed);
            return e;
        }
    }
    const ProcessState state = RunToEnd(*copy);
    bool copied = state == ProcessState::Finished && copy->errors().empty();
    if (own) {
        if (!copied) {
            data::Rollback();
        } else if (data::Commit() != kNoError) {
            copied = false;
            if (reporting_) Scripting_File().Throw(data::kMsgAddFailed);
        }
    }
    if (!copied) ++failedWrites_;
    return copied ? kNoError : kDriverError;
}

std::vector<Schedule> TableScheduleStore::ReadAfter(int32_t afterID, int count) {
    ScheduleFileManager& f = Schedule_File();
    std::vector<Schedule> out;
    KeepBuffer keep(f.rec());
    f.rec().ID = afterID;
    if (f.SetPosition(ScheduleKeyID()) != kLevelBenign) return out;
    while (static_cast<int>(out.size()) < count && f.TryNext() == kLevelBenign)
        if (f.rec().ID > afterID) out.push_back(f.rec());
    return out;
}

int TableScheduleStore::Count() {
    const int64_t n = Schedule_File().Records();
    return n < 0 ? 0 : static_cast<int>(n);
}

void TableScheduleStore::BeginBatch() {
    if (inBatch_ || data::InTransaction()) return;
    if (Schedule_File().UseFile() || Scripting_File().UseFile()) return;
    inBatch_ = data::Logout({&Schedule_File().File(), &Scripting_File().File()}) == kNoError;
}

void TableScheduleStore::EndBatch() {
    if (!inBatch_) return;
    inBatch_ = false;
    const int e = data::Commit();
    if (e != kNoError) Schedule_File().Throw(data::kMsgPutFailed);
}

HolidaySet LoadHolidays() {
    HolidaySet set;
    HolidaysFileManager& h = Holidays_File();
    if (h.Open() != kLevelBenign) return set;
    {
        KeepBuffer keep(h.rec());
        if (h.SetOrder(HolidaysDef().key("HOL:KeyHolidayDate")) == kLevelBenign)
            while (h.TryNext() == kLevelBenign) set.Add(h.rec().HolidayDate);
    }
    h.Close();
    return set;
}

}  // namespace kr
