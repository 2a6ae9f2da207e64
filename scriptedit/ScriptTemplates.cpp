#include "scriptedit/ScriptTemplates.h"

#include <algorithm>

#include "dictionary/Dictionary.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Services.h"
#include "scriptedit/ScriptBatch.h"
#include "scriptedit/ScriptSequencer.h"
#include "scriptedit/ScriptText.h"

namespace kr {

namespace {

template <class From, class To>
void CopyFields(const From& f, To& t) {
    t.Sequence = f.Sequence;
    t.Action = f.Action;
    t.Keystrokes = f.Keystrokes;
    t.SecondsToWait = f.SecondsToWait;
    t.WaitForWindow = f.WaitForWindow;
    t.FocusOnWindow = f.FocusOnWindow;
    t.WindowExistance = f.WindowExistance;
    t.WindowTitleToCheckFor = f.WindowTitleToCheckFor;
    t.IfTimeElapsed = f.IfTimeElapsed;
    t.TimeElapsed = f.TimeElapsed;
    t.NextTaskID = f.NextTaskID;
    t.NetworkUser = f.NetworkUser;
    t.LastChangeDate = f.LastChangeDate;
    t.LastChangeTime = f.LastChangeTime;
    t.OriginalID = f.OriginalID;
    t.EmailID = f.EmailID;
    t.Command = f.Command;
    t.Path = f.Path;
    t.DDEType = f.DDEType;
    t.DDEApplicationName = f.DDEApplicationName;
    t.DDEApplicationTopic = f.DDEApplicationTopic;
    t.DDELinkItem = f.DDELinkItem;
    t.DDECommand = f.DDECommand;
}

// One write transaction over the table, unless the caller holds one.
class Batch {
public:
    explicit Batch(data::Table& t) { own_ = !data::InTransaction() && data::Logout({&t}) == kNoError; }
    int Commit() {
        if (!own_) return kNoError;
        own_ = false;
        return data::Commit();
    }
    ~Batch() {
        if (own_) data::Rollback();
    }

private:
    bool own_ = false;
};

template <std::size_t N>
bool Expand(FString<N>& field, TemplateAnswers& answers, const TemplateAsker& asker) {
    std::string v = field.str();
    if (!ExpandTemplateTokens(v, N, answers, asker)) return false;
    field = v;
    return true;
}

}  // namespace

Scripting ScriptItemOfTemplate(const ScriptTemplateDetails& d) {
    Scripting s;
    CopyFields(d, s);
    return s;
}

ScriptTemplateDetails TemplateItemOfScript(const Scripting& s) {
    ScriptTemplateDetails d;
    CopyFields(s, d);
    return d;
}

std::vector<ScriptTemplateDetails> ReadTemplateItems(int32_t wizID) {
    std::vector<ScriptTemplateDetails> out;
    if (ScriptTemplateDetails_File().UseFile()) return out;
    const data::TableDef& def = ScriptTemplateDetailsDef();
    data::TableOf(def).ForEachMatch(def.key("KRD:K_Wiz_ID"), {def.field("KRD:Wiz_ID")}, {Value(wizID)},
                                    [&](int64_t, const void* r) {
                                        out.push_back(*static_cast<const ScriptTemplateDetails*>(r));
                                        return true;
                                    });
    return out;
}

std::vector<Scripting> ExpandTemplateItems(const std::vector<ScriptTemplateDetails>& items, int32_t taskID,
                                           TemplateAnswers& answers, const TemplateAsker& asker, bool* cancelled) {
    std::vector<Scripting> out;
    if (cancelled) *cancelled = false;
    for (const ScriptTemplateDetails& d : items) {
        if (d.Action.str().empty()) continue;
        Scripting s = ScriptItemOfTemplate(d);
        s.ID = taskID;
        const bool done = Expand(s.Keystrokes, answers, asker) && Expand(s.WaitForWindow, answers, asker) &&
                          Expand(s.FocusOnWindow, answers, asker) &&
                          Expand(s.WindowTitleToCheckFor, answers, asker) && Expand(s.Command, answers, asker) &&
                          Expand(s.Path, answers, asker) && Expand(s.DDEApplicationName, answers, asker) &&
                          Expand(s.DDEApplicationTopic, answers, asker) && Expand(s.DDELinkItem, answers, asker) &&
                          Expand(s.DDECommand, answers, asker);
        if (done && s.Action == "Start Program" && s.Path.str().empty()) s.Path = CommandFolder(s.Command.str());
        out.push_back(s);
        if (!done) {
            if (cancelled) *cancelled = true;
            break;
        }
    }
    return out;
}

std::shared_ptr<RecordProcess> MakeAppendScriptItems(int32_t taskID, std::vector<Scripting> items) {
    if (taskID == 0 || items.empty() || Scripting_File().Open() != data::kLevelBenign)
        return std::make_shared<RecordProcess>(0, [] { return RecordStep::End(); });
    const Scripting saved = Scripting_File().rec();
    struct State {
        std::vector<Scripting> items;
        size_t at = 0;
        int32_t next = 0;  // 0 until the first item looks up the task's last
    };
    auto st = std::make_shared<State>();
    st->items = std::move(items);
    auto p = std::make_shared<RecordProcess>(static_cast<int>(st->items.size()), [taskID, st] {
        if (st->at >= st->items.size()) return RecordStep::End();
        if (st->next == 0) {
            // Numbered from the task's last item as it stands when the adding
            // begins, after every question has been answered.
            const std::vector<int32_t> present = ScriptItemNumbers(taskID);
            st->next = present.empty() ? 1 : present.back() + 1;
        }
        Scripting s = st->items[st->at++];
        s.ID = taskID;
        s.Sequence = st->next;
        int e = InsertScriptItemAt(s);
        for (int raised = 0; e == kDuplicateKey && raised < 1000; ++raised) {
            ++s.Sequence;
            e = InsertScriptItemAt(s);
        }
        if (e != kNoError) return RecordStep::Error("Error adding script item " + data::LastErrorText());
        st->next = s.Sequence + 1;
        return RecordStep::Done();
    });
    FrameScriptBatches(*p);
    RestoreBufferAtEnd(*p, &Scripting_File, saved);
    return p;
}

std::vector<std::string> AppendScriptItems(int32_t taskID, std::vector<Scripting> items) {
    const std::shared_ptr<RecordProcess> p = MakeAppendScriptItems(taskID, std::move(items));
    RunToEnd(*p);
    return p->errors();
}

int CopyScriptTemplateToScript(int32_t wizID, int32_t taskID) {
    if (wizID == 0 || taskID == 0) return 0;
    // The caller's thread may not have the template file open yet.
    if (ScriptTemplateDetails_File().Open() != data::kLevelBenign) return 0;
    const std::vector<ScriptTemplateDetails> templateItems = ReadTemplateItems(wizID);
    ScriptTemplateDetails_File().Close();
    const std::vector<Scripting> items =
        ExpandTemplateItems(templateItems, taskID, TemplateAnswers::Global(), InstalledTemplateAsker());
    const std::vector<std::string> errors = AppendScriptItems(taskID, items);
    for (const std::string& e : errors) Message(e, "Error!");
    return static_cast<int>(items.size() - std::min(items.size(), errors.size()));
}

std::shared_ptr<RecordProcess> MakeDeleteScriptTemplateDetails(int32_t wizID) {
    ScriptTemplateDetailsFileManager& f = ScriptTemplateDetails_File();
    if (wizID == 0 || f.Open() != data::kLevelBenign)
        return std::make_shared<RecordProcess>(0, [] { return RecordStep::End(); });
    const ScriptTemplateDetails saved = f.rec();
    const int total = static_cast<int>(ScriptItemNumbers(wizID, ScriptOwner::Template).size());
    auto p = std::make_shared<RecordProcess>(total, [wizID] {
        // Always the template's first item left: no cursor lives across the
        // batches.
        ScriptTemplateDetailsFileManager& d = ScriptTemplateDetails_File();
        d.rec() = ScriptTemplateDetails();
        d.rec().Wiz_ID = wizID;
        if (d.SetPosition(ScriptTemplateDetailsDef().key("KRD:K_Wiz_ID")) != data::kLevelBenign ||
            d.TryNext() != data::kLevelBenign || d.rec().Wiz_ID != wizID)
            return RecordStep::End();
        const int e = d.File().Delete();
        if (e != kNoError) return RecordStep::Fatal("Delete Operation Error: " + ErrorText(e));
        return RecordStep::Done();
    });
    FrameScriptBatches(*p)->file = &f;
    RestoreBufferAtEnd(*p, &ScriptTemplateDetails_File, saved);
    return p;
}

int DeleteScriptTemplateDetails(int32_t wizID) {
    if (wizID == 0) return kNoError;
    ScriptTemplateDetailsFileManager& f = ScriptTemplateDetails_File();
    if (int e = f.UseFile()) return e;
    const ScriptTemplateDetails saved = f.rec();
    Batch batch(f.File());
    for (const ScriptTemplateDetails& d : ReadTemplateItems(wizID)) {
        f.rec() = d;
        if (f.TryFetch(ScriptTemplateDetailsDef().key("KRD:K_Wiz_ID")) != data::kLevelBenign) continue;
        if (int e = f.File().Delete()) {
            f.rec() = saved;
            return e;
        }
    }
    const int e = batch.Commit();
    f.rec() = saved;
    return e;
}

}  // namespace kr
