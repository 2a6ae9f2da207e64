#include "scriptedit/ScriptCopy.h"

#include "dictionary/Dictionary.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Services.h"

namespace kr {

namespace {
using data::kLevelBenign;

constexpr int kMaxSequenceOffset = 5000;

const data::KeyDef* ScriptKey() { return ScriptingDef().key("SCR:KeyID"); }

// One write transaction over the Scripting table per batch, unless the
// caller already holds one (then its transaction covers the batch).
void Frame(RecordProcess& p) {
    auto own = std::make_shared<bool>(false);
    p.beginBatch = [own] {
        *own = false;
        if (data::InTransaction()) return;
        if (Scripting_File().UseFile()) return;
        *own = data::Logout({&Scripting_File().File()}) == kNoError;
    };
    p.endBatch = [own] {
        if (!*own) return;
        *own = false;
        if (data::Commit() != kNoError) Scripting_File().Throw(data::kMsgPutFailed);
    };
}

// The first item of the task at or after the sequence number, into `out`.
bool ItemAtOrAfter(int32_t task, int32_t sequence, Scripting& out) {
    ScriptingFileManager& s = Scripting_File();
    s.rec() = Scripting();
    s.rec().ID = task;
    s.rec().Sequence = sequence;
    if (s.SetPosition(ScriptKey()) != kLevelBenign) return false;
    if (s.TryNext() != kLevelBenign || s.rec().ID != task) return false;
    out = s.rec();
    return true;
}

int CountItems(int32_t task) {
    // The count is for the percentage only: a cheap upper bound is enough
    // when the table is large, so count the task's items by walking them.
    ScriptingFileManager& s = Scripting_File();
    int n = 0;
    s.rec() = Scripting();
    s.rec().ID = task;
    if (s.SetPosition(ScriptKey()) != kLevelBenign) return 0;
    while (s.TryNext() == kLevelBenign && s.rec().ID == task) ++n;
    return n;
}

ProcessState RunAndReport(const std::shared_ptr<RecordProcess>& p) {
    p->onError = [](const std::string& e) { Message(e, "Error"); };
    return RunToEnd(*p);
}

}  // namespace

std::shared_ptr<RecordProcess> MakeDeleteScript(int32_t taskID) {
    if (taskID == 0 || Scripting_File().Open() != kLevelBenign)
        return std::make_shared<RecordProcess>(0, [] { return RecordStep::End(); });
    const Scripting saved = Scripting_File().rec();
    const int total = CountItems(taskID);
    Scripting_File().rec() = saved;
    auto p = std::make_shared<RecordProcess>(total, [taskID] {
        ScriptingFileManager& s = Scripting_File();
        Scripting item;
        if (!ItemAtOrAfter(taskID, 0, item)) return RecordStep::End();
        const int e = s.File().Delete();
        if (e != kNoError) return RecordStep::Fatal("Delete Operation Error: " + ErrorText(e));
        return RecordStep::Done();
    });
    Frame(*p);
    p->onEnd = [saved](ProcessState) {
        Scripting_File().rec() = saved;
        Scripting_File().Close();
    };
    return p;
}

std::shared_ptr<RecordProcess> MakeCopyScript(int32_t fromID, int32_t toID) {
    if (fromID == 0 || toID == 0 || fromID == toID || Scripting_File().Open() != kLevelBenign)
        return std::make_shared<RecordProcess>(0, [] { return RecordStep::End(); });
    const Scripting saved = Scripting_File().rec();
    const int total = CountItems(fromID);
    Scripting_File().rec() = saved;
    struct State {
        int32_t next = 0;  // the source sequence to read from
        int32_t offset = 0;
    };
    auto st = std::make_shared<State>();
    auto p = std::make_shared<RecordProcess>(total, [fromID, toID, st] {
        ScriptingFileManager& s = Scripting_File();
        Scripting item;
        if (!ItemAtOrAfter(fromID, st->next, item)) return RecordStep::End();
        st->next = item.Sequence + 1;
        Scripting copy = item;
        copy.ID = toID;
        for (;;) {
            copy.Sequence = item.Sequence + st->offset;
            s.rec() = copy;
            const int e = s.File().Add();
            if (e == kNoError) break;
            if (e != kDuplicateKey || st->offset >= kMaxSequenceOffset)
                return RecordStep::Error("Error adding script record:|" + ErrorText(e));
            ++st->offset;
        }
        // Reading goes on from the source task.
        s.rec().ID = fromID;
        return RecordStep::Done();
    });
    Frame(*p);
    p->onEnd = [saved](ProcessState) {
        Scripting_File().rec() = saved;
        Scripting_File().Close();
    };
    return p;
}

ProcessState DeleteScript(int32_t taskID) { return RunAndReport(MakeDeleteScript(taskID)); }

ProcessState CopyScript(int32_t fromID, int32_t toID) { return RunAndReport(MakeCopyScript(fromID, toID)); }

}  // namespace kr
