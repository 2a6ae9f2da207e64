#include "dictionary/Housekeeping.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include <set>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/ErrorHandler.h"
#include "platform/data/Table.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Value.h"

namespace kr {

namespace {

constexpr const char* kPositionFile = "POSITION.INI";

// Keeps a thread's record buffer as it was around the work.
template <class R>
struct SavedBuffer {
    explicit SavedBuffer(R& r) : rec(r), copy(r) {}
    ~SavedBuffer() { rec = copy; }
    R& rec;
    R copy;
};

// Opens the tables through their managers for the length of the work.
struct UseTables {
    explicit UseTables(std::initializer_list<data::FileManager*> managers) {
        for (data::FileManager* m : managers) {
            if (m->Open() != data::kLevelBenign) {
                failed = m;
                break;
            }
            used.push_back(m);
            // A lazily opened table is opened now: the work reads it directly.
            if (m->UseFile() != data::kLevelBenign) {
                failed = m;
                break;
            }
        }
    }
    ~UseTables() {
        for (auto it = used.rbegin(); it != used.rend(); ++it) (*it)->Close();
    }
    std::vector<data::FileManager*> used;
    data::FileManager* failed = nullptr;
};

HousekeepingResult Failed(int error, const std::string& what) {
    HousekeepingResult r;
    r.error = error;
    r.errorText = what + ": " + ErrorText(error);
    return r;
}

// The tasks that hot keys run.
int HotKeyTasks(data::Table& hot, std::set<int32_t>& ids) {
    if (int e = hot.Set(nullptr); e != kNoError) return e;
    for (;;) {
        const int e = hot.Next();
        if (e == kRecordNotAvailable) return kNoError;
        if (e != kNoError) return e;
        if (hot.Rec<SysHotKeys>().ID != 0) ids.insert(hot.Rec<SysHotKeys>().ID);
    }
}

}  // namespace

HousekeepingResult RemoveTasks(HousekeepingFlag flag, const TaskInUse& inUse) {
    UseTables use({&Schedule_File(), &Scripting_File(), &SysHotKeys_File()});
    if (use.failed) return Failed(kFileNotOpen, "Cannot open " + use.failed->GetName());
    data::Table& sch = Schedule_File().File();
    data::Table& scr = Scripting_File().File();
    data::Table& hot = SysHotKeys_File().File();
    SavedBuffer<Schedule> keepSch(sch.Rec<Schedule>());
    SavedBuffer<Scripting> keepScr(scr.Rec<Scripting>());
    SavedBuffer<SysHotKeys> keepHot(hot.Rec<SysHotKeys>());

    if (int e = data::Logout({&sch, &scr}); e != kNoError) return Failed(e, "Cannot start the transaction");
    HousekeepingResult r;
    auto fail = [&](int e, const std::string& what) {
        data::Rollback();
        return Failed(e, what);
    };

    std::set<int32_t> hotKeyTasks;
    if (int e = HotKeyTasks(hot, hotKeyTasks); e != kNoError) return fail(e, "Reading the hot keys");

    // The tasks to remove are read first and removed afterwards: reads that
    // meet no write between them go on from what was fetched ahead.
    struct Victim {
        int32_t id;
        int64_t row;
    };
    std::vector<Victim> victims;
    Schedule& SCH = sch.Rec<Schedule>();
    sch.Clear();
    SCH.Disabled = 1;
    if (int e = sch.SetFrom(ScheduleDef().key("SCH:KeyDateEnabled")); e != kNoError)
        return fail(e, "Reading the tasks");
    for (;;) {
        const int e = sch.Next();
        if (e == kRecordNotAvailable) break;
        if (e != kNoError) return fail(e, "Reading the tasks");
        const bool set = flag == HousekeepingFlag::Disabled ? SCH.Disabled != 0 : SCH.Completed != 0;
        if (!set) continue;
        if (hotKeyTasks.count(SCH.ID) || (inUse && inUse(SCH.ID))) {
            ++r.passedOver;
            continue;
        }
        victims.push_back({SCH.ID, sch.GetPosition().row});
    }

    const data::KeyDef* scriptKey = ScriptingDef().key("SCR:KeyID");
    const data::FieldDef* scriptID = ScriptingDef().field("SCR:ID");
    std::vector<int64_t> items;
    for (const Victim& v : victims) {
        const std::string task = "task " + std::to_string(v.id);
        items.clear();
        if (int e = scr.ForEachMatch(scriptKey, {scriptID}, {Value(static_cast<int64_t>(v.id))},
                                     [&](int64_t row, const void*) {
                                         items.push_back(row);
                                         return true;
                                     });
            e != kNoError)
            return fail(e, "Reading the script of " + task);
        for (int64_t row : items) {
            if (int e = scr.DeleteRow(row); e != kNoError) return fail(e, "Removing a script item of " + task);
            ++r.scriptItems;
        }
        if (int e = sch.DeleteRow(v.row); e != kNoError) return fail(e, "Removing " + task);
        ++r.removed;
    }
    if (int e = data::Commit(); e != kNoError) return fail(e, "Committing the removal");
    return r;
}

HousekeepingResult ClearTodoList() {
    UseTables use({&Todo_File()});
    if (use.failed) return Failed(kFileNotOpen, "Cannot open " + use.failed->GetName());
    data::Table& todo = Todo_File().File();
    SavedBuffer<Todo> keep(todo.Rec<Todo>());
    if (int e = data::Logout({&todo}); e != kNoError) return Failed(e, "Cannot start the transaction");
    HousekeepingResult r;
    auto fail = [&](int e, const std::string& what) {
        data::Rollback();
        return Failed(e, what);
    };
    // Read first, then removed, as the tasks are.
    std::vector<int64_t> rows;
    if (int e = todo.Set(nullptr); e != kNoError) return fail(e, "Reading the To Do list");
    for (;;) {
        const int e = todo.Next();
        if (e == kRecordNotAvailable) break;
        if (e != kNoError) return fail(e, "Reading the To Do list");
        rows.push_back(todo.GetPosition().row);
    }
    for (int64_t row : rows) {
        if (int e = todo.DeleteRow(row); e != kNoError) return fail(e, "Removing a To Do entry");
        ++r.removed;
    }
    if (int e = data::Commit(); e != kNoError) return fail(e, "Committing the removal");
    return r;
}

bool ResetSavedWindowSettings() {
    const std::string path = ResolveIniPath(kPositionFile);
    const bool gone = ::unlink(path.c_str()) == 0 || errno == ENOENT;
    ForgetIniFile(kPositionFile);
    return gone;
}

}  // namespace kr
