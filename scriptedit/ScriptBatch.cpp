#include "scriptedit/ScriptBatch.h"

#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/runtime/ErrorCodes.h"

namespace kr {

using data::kLevelBenign;

const data::KeyDef* ScriptItemKey() { return ScriptingDef().key("SCR:KeyID"); }

bool ScriptItemAtOrAfter(int32_t task, int32_t sequence, Scripting& out) {
    ScriptingFileManager& s = Scripting_File();
    s.rec() = Scripting();
    s.rec().ID = task;
    s.rec().Sequence = sequence;
    if (s.SetPosition(ScriptItemKey()) != kLevelBenign) return false;
    if (s.TryNext() != kLevelBenign || s.rec().ID != task) return false;
    out = s.rec();
    return true;
}

int CountScriptItems(int32_t task) {
    ScriptingFileManager& s = Scripting_File();
    int n = 0;
    s.rec() = Scripting();
    s.rec().ID = task;
    if (s.SetPosition(ScriptItemKey()) != kLevelBenign) return 0;
    while (s.TryNext() == kLevelBenign && s.rec().ID == task) ++n;
    return n;
}

void ScriptBatch::Begin() {
    own = false;
    errorsBefore = process ? process->errors().size() : 0;
    data::FileManager& f = file ? *file : Scripting_File();
    if (data::InTransaction()) return;
    if (f.UseFile()) return;
    own = data::Logout({&f.File()}) == kNoError;
}

void ScriptBatch::End() {
    if (!own) return;
    own = false;
    const bool told = process && process->errors().size() > errorsBefore;
    if (data::Commit() != kNoError && !told) (file ? *file : Scripting_File()).Throw(data::kMsgPutFailed);
}

std::shared_ptr<ScriptBatch> FrameScriptBatches(RecordProcess& p) {
    auto f = std::make_shared<ScriptBatch>();
    f->process = &p;
    p.beginBatch = [f] { f->Begin(); };
    p.endBatch = [f] { f->End(); };
    return f;
}

}  // namespace kr
