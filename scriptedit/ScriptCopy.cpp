#include "scriptedit/ScriptCopy.h"

#include "dictionary/Dictionary.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Services.h"
#include "scriptedit/ScriptBatch.h"

namespace kr {

namespace {
using data::kLevelBenign;

constexpr int kMaxSequenceOffset = 5000;

ScriptProcessRunner& Runner() {
    static ScriptProcessRunner runner;
    return runner;
}

ProcessState RunAndReport(const std::shared_ptr<RecordProcess>& p, const std::string& text) {
    p->onError = [](const std::string& e) { Message(e, "Error"); };
    if (Runner() && p->total() > 0) return Runner()(p, text);
    return RunToEnd(*p);
}

}  // namespace

std::shared_ptr<RecordProcess> MakeDeleteScript(int32_t taskID) {
    if (taskID == 0 || Scripting_File().Open() != kLevelBenign)
        return std::make_shared<RecordProcess>(0, [] { return RecordStep::End(); });
    const Scripting saved = Scripting_File().rec();
    const int total = CountScriptItems(taskID);
    Scripting_File().rec() = saved;
    auto p = std::make_shared<RecordProcess>(total, [taskID] {
        ScriptingFileManager& s = Scripting_File();
        Scripting item;
        if (!ScriptItemAtOrAfter(taskID, 0, item)) return RecordStep::End();
        const int e = s.File().Delete();
        if (e != kNoError) return RecordStep::Fatal("Delete Operation Error: " + ErrorText(e));
        return RecordStep::Done();
    });
    FrameScriptBatches(*p);
    RestoreBufferAtEnd(*p, &Scripting_File, saved);
    return p;
}

std::shared_ptr<RecordProcess> MakeCopyScript(int32_t fromID, int32_t toID) {
    if (fromID == 0 || toID == 0 || fromID == toID || Scripting_File().Open() != kLevelBenign)
        return std::make_shared<RecordProcess>(0, [] { return RecordStep::End(); });
    const Scripting saved = Scripting_File().rec();
    const int total = CountScriptItems(fromID);
    Scripting_File().rec() = saved;
    struct State {
        int32_t next = 0;  // the source sequence to read from
        int32_t offset = 0;
    };
    auto st = std::make_shared<State>();
    auto p = std::make_shared<RecordProcess>(total, [fromID, toID, st] {
        ScriptingFileManager& s = Scripting_File();
        Scripting item;
        if (!ScriptItemAtOrAfter(fromID, st->next, item)) return RecordStep::End();
        st->next = item.Sequence + 1;
        Scripting copy = item;
        copy.ID = toID;
        for (;;) {
            copy.Sequence = item.Sequence + st->offset;
            s.rec() = copy;
            const int e = s.File().Add();
            if (e == kNoError) break;
            if (e != kDuplicateKey || st->offset >= kMaxSequenceOffset) {
                // With the driver's words (a full disk, a busy or read-only
                // file). Such a cause fails every later item too: the copy
                // stops with one message rather than one per item.
                const std::string text = "Error adding script record:|" + data::LastErrorWithDriverWords(e);
                const bool repeats = e == kFileLocked || e == kAccessDenied ||
                                     data::LastDriverCause() != data::DriverCause::None;
                return repeats ? RecordStep::Fatal(text) : RecordStep::Error(text);
            }
            ++st->offset;
        }
        // Reading goes on from the source task.
        s.rec().ID = fromID;
        return RecordStep::Done();
    });
    FrameScriptBatches(*p);
    RestoreBufferAtEnd(*p, &Scripting_File, saved);
    return p;
}

void SetScriptProcessRunner(ScriptProcessRunner runner) { Runner() = std::move(runner); }

ProcessState DeleteScript(int32_t taskID) { return RunAndReport(MakeDeleteScript(taskID), "Deleting Script"); }

ProcessState CopyScript(int32_t fromID, int32_t toID) {
    return RunAndReport(MakeCopyScript(fromID, toID), "Copying Script");
}

}  // namespace kr
