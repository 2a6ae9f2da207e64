#include "dictionary/Housekeeping.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "dictionary/Dictionary.h"
#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/ErrorHandler.h"
#include "platform/data/Table.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/IniFile.h"

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

// Is there a hot key that runs this task?
int HotKeyFor(data::Table& hot, int32_t id, bool& found) {
    hot.Clear();
    hot.Rec<SysHotKeys>().ID = id;
    const int e = hot.Get(SysHotKeysDef().key("HOT:K_ID"));
    found = e == kNoError;
    return e == kRecordNotFound ? kNoError : e;
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
        HousekeepingResult f = Failed(e, what);
        return f;
    };

    Schedule& SCH = sch.Rec<Schedule>();
    Scripting& SCR = scr.Rec<Scripting>();
    sch.Clear();
    SCH.Disabled = 1;
    if (int e = sch.SetFrom(ScheduleDef().key("SCH:KeyDateEnabled")); e != kNoError)
        return fail(e, "Reading the tasks");
    for (;;) {
        int e = sch.Next();
        if (e == kRecordNotAvailable) break;
        if (e != kNoError) return fail(e, "Reading the tasks");
        const bool set = flag == HousekeepingFlag::Disabled ? SCH.Disabled != 0 : SCH.Completed != 0;
        if (!set) continue;
        const int32_t id = SCH.ID;
        bool hotKey = false;
        if (id != 0) {
            if (int he = HotKeyFor(hot, id, hotKey); he != kNoError) return fail(he, "Reading the hot keys");
        }
        if (hotKey || (inUse && inUse(id))) {
            ++r.passedOver;
            continue;
        }
        scr.Clear();
        SCR.ID = id;
        if (int se = scr.SetFrom(ScriptingDef().key("SCR:KeyID")); se != kNoError)
            return fail(se, "Reading the script of task " + std::to_string(id));
        for (;;) {
            int se = scr.Next();
            if (se == kRecordNotAvailable || (se == kNoError && SCR.ID != id)) break;
            if (se != kNoError) return fail(se, "Reading the script of task " + std::to_string(id));
            if (int de = scr.Delete(); de != kNoError)
                return fail(de, "Removing a script item of task " + std::to_string(id));
            ++r.scriptItems;
        }
        if (int de = sch.Delete(); de != kNoError) return fail(de, "Removing task " + std::to_string(id));
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
    if (int e = todo.Set(nullptr); e != kNoError) return fail(e, "Reading the To Do list");
    for (;;) {
        int e = todo.Next();
        if (e == kRecordNotAvailable) break;
        if (e != kNoError) return fail(e, "Reading the To Do list");
        if (int de = todo.Delete(); de != kNoError) return fail(de, "Removing a To Do entry");
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
