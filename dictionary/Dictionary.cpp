#include "dictionary/Dictionary.h"

#include <array>
#include <mutex>
#include <string>
#include <vector>

#include "dictionary/EventLog.h"
#include "dictionary/FileNames.h"
#include "dictionary/GlobalErrors.h"
#include "platform/data/Errors.h"
#include "platform/data/Names.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Strings.h"

namespace kr {

using data::kLevelBenign;
using data::kLevelCancel;
using data::kLevelNotify;
using data::kRICascade;
using data::kRINone;
using data::kRIRestrict;

data::ErrorHandler& GlobalErrors() {
    static data::ErrorHandler handler;
    return handler;
}

namespace {

// The tables in the order KR98 makes their managers ready.
enum T : int {
    tSchedule,
    tSyncSchedule,
    tClipboardCategories,
    tScheduleWorkfile,
    tCategories,
    tTodo,
    tScripting,
    tScriptTemplateDetails,
    tScriptTemplates,
    tSyncScripting,
    tSyncTodo,
    tExport,
    tContact,
    tContactCategories,
    tClipboard,
    tHolidays,
    tKR_Log,
    tMessages,
    tConfiguration,
    tMsgLink,
    tSysHotKeys,
    tCount
};

// The manager objects live as long as the process; DictionaryInit and
// DictionaryKill make them ready and shut them down.
struct Managers {
    ScheduleFileManager schedule;
    TableFileManager<ScheduleWorkfile> scheduleWorkfile;
    TableFileManager<SyncSchedule> syncSchedule;
    ScriptingFileManager scripting;
    SyncScriptingFileManager syncScripting;
    TableFileManager<ScriptTemplates> scriptTemplates;
    ScriptTemplateDetailsFileManager scriptTemplateDetails;
    TableFileManager<MsgLink> msgLink;
    HolidaysFileManager holidays;
    TableFileManager<Configuration> configuration;
    TableFileManager<KR_Log> krLog;
    TableFileManager<Export> exportFile;
    TodoFileManager todo;
    SyncTodoFileManager syncTodo;
    TableFileManager<Categories> categories;
    TableFileManager<Contact> contact;
    TableFileManager<ContactCategories> contactCategories;
    MessagesFileManager messages;
    TableFileManager<ClipboardRecord> clipboard;
    TableFileManager<ClipboardCategories> clipboardCategories;
    SysHotKeysFileManager sysHotKeys;

    std::array<TableRelationManager, tCount> relations;
    SysHotKeysRelationManager sysHotKeysRelations;
};

Managers& M() {
    static Managers* m = new Managers();  // never destroyed: outlives every static user
    return *m;
}

struct Entry {
    const data::TableDef& (*def)();
    int mainMode;   // open mode in KR98
    bool lazyOpen;
};

// Open modes of KR98: the tables several programs write at once are shared
// (66); the rest are opened read/write without a sharing flag (2).
constexpr int kShared = data::kModeShared;
constexpr int kMode2 = data::kReadWrite;

const Entry kEntries[tCount] = {
    {ScheduleDef, kShared, true},
    {SyncScheduleDef, kMode2, true},
    {ClipboardCategoriesDef, kMode2, true},
    {ScheduleWorkfileDef, kShared, true},
    {CategoriesDef, kShared, true},
    {TodoDef, kMode2, true},
    {ScriptingDef, kShared, true},
    {ScriptTemplateDetailsDef, kMode2, true},
    {ScriptTemplatesDef, kMode2, true},
    {SyncScriptingDef, kMode2, true},
    {SyncTodoDef, kMode2, true},
    {ExportDef, kMode2, true},
    {ContactDef, kMode2, true},
    {ContactCategoriesDef, kMode2, true},
    {ClipboardDef, kMode2, true},
    {HolidaysDef, kMode2, true},
    {KR_LogDef, kMode2, false},  // opened at once when a procedure opens it
    {MessagesDef, kShared, true},
    {ConfigurationDef, kMode2, true},
    {MsgLinkDef, kMode2, true},
    {SysHotKeysDef, kMode2, true},
};

data::FileManager& FileOf(int t) {
    Managers& m = M();
    switch (t) {
    case tSchedule: return m.schedule;
    case tSyncSchedule: return m.syncSchedule;
    case tClipboardCategories: return m.clipboardCategories;
    case tScheduleWorkfile: return m.scheduleWorkfile;
    case tCategories: return m.categories;
    case tTodo: return m.todo;
    case tScripting: return m.scripting;
    case tScriptTemplateDetails: return m.scriptTemplateDetails;
    case tScriptTemplates: return m.scriptTemplates;
    case tSyncScripting: return m.syncScripting;
    case tSyncTodo: return m.syncTodo;
    case tExport: return m.exportFile;
    case tContact: return m.contact;
    case tContactCategories: return m.contactCategories;
    case tClipboard: return m.clipboard;
    case tHolidays: return m.holidays;
    case tKR_Log: return m.krLog;
    case tMessages: return m.messages;
    case tConfiguration: return m.configuration;
    case tMsgLink: return m.msgLink;
    default: return m.sysHotKeys;
    }
}

TableRelationManager& RelationsOf(int t) {
    Managers& m = M();
    return t == tSysHotKeys ? m.sysHotKeysRelations : m.relations[static_cast<std::size_t>(t)];
}

// The relations, per table in the order its relation manager adds them:
// either "this table is the child of `other`" (a file entry) or "this table
// is the parent of `other`" with the modes, the child's key and the links.
struct Step {
    using Links = std::vector<std::pair<const char*, const char*>>;  // parent field, child field
    Step(int other_, bool parentOfOther_, int updateMode_ = kRINone, int deleteMode_ = kRINone,
         const char* childKey_ = nullptr, Links links_ = {})
        : other(other_), parentOfOther(parentOfOther_), updateMode(updateMode_), deleteMode(deleteMode_),
          childKey(childKey_), links(std::move(links_)) {}
    int other;
    bool parentOfOther;
    int updateMode;
    int deleteMode;
    const char* childKey;
    Links links;
};

std::vector<Step> StepsOf(int t) {
    switch (t) {
    case tSchedule:
        return {{tSysHotKeys, false},
                {tScripting, true, kRINone, kRICascade, "SCR:KeyID", {{"SCH:ID", "SCR:ID"}}},
                {tCategories, false}};
    case tScripting:
        return {{tMessages, false}, {tSchedule, false}};
    case tMessages:
        return {{tScriptTemplateDetails, false},
                {tScripting, true, kRIRestrict, kRIRestrict, "SCR:KeyEmail", {{"M_:EmailID", "SCR:EmailID"}}}};
    case tScriptTemplates:
        return {{tScriptTemplateDetails, true, kRINone, kRICascade, "KRD:K_Wiz_ID", {{"KRT:Wiz_ID", "KRD:Wiz_ID"}}}};
    case tScriptTemplateDetails:
        return {{tScriptTemplates, false},
                {tMessages, true, kRINone, kRINone, "M_:KeyEmailID", {{"KRD:EmailID", "M_:EmailID"}}}};
    case tCategories:
        return {{tTodo, true, kRINone, kRINone, "TDO:KeyCategory", {{"CAT:Category", "TDO:Category"}}},
                {tSchedule, true, kRIRestrict, kRIRestrict, "SCH:KeyCategory", {{"CAT:Category", "SCH:Category"}}}};
    case tTodo:
        return {{tCategories, false}};
    case tContactCategories:
        return {{tContact, true, kRIRestrict, kRIRestrict, "C_:KeyCategory",
                 {{"CC:ContactCategory", "C_:ContactCategory"}}}};
    case tContact:
        return {{tContactCategories, false}};
    case tClipboardCategories:
        return {{tClipboard, true, kRICascade, kRIRestrict, "CLI:KeyCategory", {{"CLC:Category", "CLI:Category"}}}};
    case tClipboard:
        return {{tClipboardCategories, false}};
    case tSysHotKeys:
        return {{tSchedule, true, kRINone, kRICascade, "SCH:KeyID", {{"HOT:ID", "SCH:ID"}}}};
    default:
        return {};
    }
}

// Which program's set is made ready.
struct Variant {
    std::vector<int> tables;  // in the order they are made ready
    int lockRecover = 3;
    bool allShared = false;
};

Variant MainVariant() {
    Variant v;
    for (int t = 0; t < tCount; ++t) v.tables.push_back(t);
    v.lockRecover = 3;
    return v;
}

Variant MessageProgramVariant() {
    Variant v;
    v.tables = {tSchedule, tCategories, tTodo, tScripting, tMessages, tConfiguration, tMsgLink, tSysHotKeys};
    v.lockRecover = 10;
    v.allShared = true;
    return v;
}

Variant RepairProgramVariant() {
    Variant v;
    v.tables = {tCategories, tClipboard, tClipboardCategories, tContact, tContactCategories, tMessages,
                tSchedule, tScriptTemplateDetails, tScriptTemplates, tScripting, tSysHotKeys, tTodo};
    v.lockRecover = 10;
    v.allShared = true;
    return v;
}

struct State {
    std::recursive_mutex m;
    bool initialised = false;
    Variant variant;
    std::array<bool, tCount> ready{};
    std::vector<int> order;  // tables made ready, in that order
};

State& S() {
    static State* s = new State();
    return *s;
}

int IndexOf(const data::FileManager* fm) {
    for (int t = 0; t < tCount; ++t)
        if (&FileOf(t) == fm) return t;
    return -1;
}

// Label.File.Init and the framework part of Label.Relations.Init.
void InitTable(int t, const Variant& v) {
    data::FileManager& fm = FileOf(t);
    const data::TableDef& def = kEntries[t].def();
    fm.Init(def, &GlobalErrors());
    fm.openMode = v.allShared ? kShared : kEntries[t].mainMode;
    fm.create = true;
    fm.lockRecover = v.lockRecover;
    fm.lazyOpen = kEntries[t].lazyOpen;
    if (fm.keys().empty())
        for (const data::KeyDef& k : def.keys) fm.AddKey(k.name, k.description, k.autoNumber());
    RelationsOf(t).Init(&fm);
    S().ready[static_cast<std::size_t>(t)] = true;
    S().order.push_back(t);
}

void RegisterSpellings() {
    data::RegisterFileSpellings({kDataFileName, std::string(kTemplateFileName) + ".TPS",
                                 std::string(kMsgLinkFileName) + ".TPS", kSyncScheduleFileName,
                                 kSyncScriptingFileName, kSyncTodoFileName, kEventLogFileName});
}

void InitVariant(const Variant& v) {
    State& s = S();
    std::lock_guard<std::recursive_mutex> l(s.m);
    if (s.initialised) return;
    s.initialised = true;
    s.variant = v;
    RegisterSpellings();
    // Every manager first, then the relations, so that a relation always
    // finds its other table's managers ready.
    for (int t : v.tables) InitTable(t, v);
    for (int t : v.tables) RelationsOf(t).AddRelations();
}

// An accessor's guarantee: the table's managers are ready.
void EnsureReady(int t) {
    State& s = S();
    std::lock_guard<std::recursive_mutex> l(s.m);
    if (!s.initialised) InitVariant(MainVariant());
    if (s.ready[static_cast<std::size_t>(t)]) return;
    InitTable(t, s.variant);
    RelationsOf(t).AddRelations();
}

template <class Mgr>
Mgr& File(int t) {
    EnsureReady(t);
    return static_cast<Mgr&>(FileOf(t));
}

// Guards against logging one failed open twice when the framework's open
// calls another of the logged operations.
thread_local int g_openDepth = 0;

}  // namespace

// --- file managers ----------------------------------------------------------

template <class R>
int LoggedOpenFileManager<R>::Logged(int level) {
    if (level != kLevelBenign && g_openDepth == 0) {
        const int code = data::LastErrorCode();
        if (code != 0 && code != kFileAlreadyOpen)
            LogEvent("Error", "Opening " + this->def().label + ":  " + ClipRight(data::LastErrorText()));
    }
    return level;
}

template <class R>
int LoggedOpenFileManager<R>::Open() {
    ++g_openDepth;
    int level = data::FileManager::Open();
    --g_openDepth;
    return Logged(level);
}

template <class R>
int LoggedOpenFileManager<R>::TryOpen() {
    ++g_openDepth;
    int level = data::FileManager::TryOpen();
    --g_openDepth;
    return Logged(level);
}

// A lazily opened table opens on its first use: a failure there is an open
// error too. A use without any Open is not (37, "File Not Open").
template <class R>
int LoggedOpenFileManager<R>::UseFile() {
    const bool opening = this->UseCount() > 0 && g_openDepth == 0;
    ++g_openDepth;
    int result = data::FileManager::UseFile();
    --g_openDepth;
    return opening ? Logged(result) : result;
}

template class LoggedOpenFileManager<Schedule>;
template class LoggedOpenFileManager<Scripting>;

void ScheduleFileManager::SetNewRecordDefaults() {
    Schedule& r = rec();
    r.Disabled = 1;
    r.LastChangeDate = Today();
    r.LastChangeTime = ClockTime();
    data::FileManager::SetNewRecordDefaults();
}

void ScriptingFileManager::SetNewRecordDefaults() {
    rec().ID = Schedule_File().rec().ID;
    data::FileManager::SetNewRecordDefaults();
}

void SyncScriptingFileManager::SetNewRecordDefaults() {
    rec().ID = Schedule_File().rec().ID;
    data::FileManager::SetNewRecordDefaults();
}

void ScriptTemplateDetailsFileManager::SetNewRecordDefaults() {
    rec().Wiz_ID = ScriptTemplates_File().rec().Wiz_ID;
    data::FileManager::SetNewRecordDefaults();
}

void HolidaysFileManager::SetNewRecordDefaults() {
    rec().HolidayDate = Today();
    rec().HolidayType = kHolidayTypeAnnual;
    data::FileManager::SetNewRecordDefaults();
}

void MessagesFileManager::SetNewRecordDefaults() {
    rec().MailType = kMailTypes[0];
    data::FileManager::SetNewRecordDefaults();
}

void SysHotKeysFileManager::SetNewRecordDefaults() {
    SysHotKeys& r = rec();
    r.ID = 0;
    r.HotKey = kHotKeyDefaultKey;
    r.Active = 1;
    r.Action = kHotKeyActionText;
    r.TextType = kHotKeyDefaultTextType;
    data::FileManager::SetNewRecordDefaults();
}

template <class R>
int TodoFileManagerT<R>::ValidateField(int fieldNumber) {
    int level = data::FileManager::ValidateField(fieldNumber);
    if (fieldNumber != 2) return level;  // TDO:Priority
    if (data::ErrorHandler* e = this->Errors())
        e->SetField(std::is_same_v<R, SyncTodo> ? "STdo:Priority" : "Priority");
    const int priority = this->rec().Priority;
    if (priority < kTodoPriorityLow || priority > kTodoPriorityHigh) level = kLevelNotify;
    if (level != kLevelBenign) {
        level = this->ThrowMessage(data::kMsgFieldOutOfRange, "1 and 10");
        if (level == kLevelBenign) level = kLevelNotify;  // rejected even when nothing was shown
    }
    return level;
}

template class TodoFileManagerT<Todo>;
template class TodoFileManagerT<SyncTodo>;

// --- relation managers ------------------------------------------------------

void TableRelationManager::AddRelations() {
    const int t = IndexOf(Me());
    if (t < 0) return;
    State& s = S();
    for (const Step& step : StepsOf(t)) {
        if (!s.ready[static_cast<std::size_t>(step.other)]) continue;  // not in this program's set
        TableRelationManager& other = RelationsOf(step.other);
        if (!step.parentOfOther) {
            AddRelationFile(&other);
            continue;
        }
        AddRelation(&other, step.updateMode, step.deleteMode, kEntries[step.other].def().key(step.childKey));
        for (const auto& [parent, child] : step.links) AddRelationLink(parent, child);
    }
}

namespace {
// A hot key that types a text yet names a task: its ID is no link.
bool TextKeyNamingTask(const SysHotKeys& r) { return r.ID != 0 && r.Action.str() != kHotKeyActionTask; }
}  // namespace

int SysHotKeysRelationManager::Delete(bool query) {
    auto& fm = static_cast<SysHotKeysFileManager&>(*Me());
    if (!TextKeyNamingTask(fm.rec())) return TableRelationManager::Delete(query);
    if (query && fm.Errors()) {
        const int button = fm.Throw(data::kMsgConfirmDelete);
        if (button != kButtonOk && button != kButtonYes) return kLevelCancel;
    }
    return fm.Delete();
}

int SysHotKeysRelationManager::TryDelete() {
    auto& fm = static_cast<SysHotKeysFileManager&>(*Me());
    if (!TextKeyNamingTask(fm.rec())) return TableRelationManager::TryDelete();
    return fm.TryDelete();
}

// --- initialisation ---------------------------------------------------------

void DictionaryInit() { InitVariant(MainVariant()); }
void DictionaryInitMessageProgram() { InitVariant(MessageProgramVariant()); }
void DictionaryInitRepairProgram() { InitVariant(RepairProgramVariant()); }

void DictionaryKill() {
    State& s = S();
    std::lock_guard<std::recursive_mutex> l(s.m);
    if (!s.initialised) return;
    for (int t : s.order) {
        FileOf(t).Shutdown();
        RelationsOf(t).Shutdown();
        s.ready[static_cast<std::size_t>(t)] = false;
    }
    s.order.clear();
    s.initialised = false;
}

bool DictionaryReady() {
    State& s = S();
    std::lock_guard<std::recursive_mutex> l(s.m);
    return s.initialised;
}

// --- accessors --------------------------------------------------------------

ScheduleFileManager& Schedule_File() { return File<ScheduleFileManager>(tSchedule); }
TableFileManager<ScheduleWorkfile>& ScheduleWorkfile_File() {
    return File<TableFileManager<ScheduleWorkfile>>(tScheduleWorkfile);
}
TableFileManager<SyncSchedule>& SyncSchedule_File() { return File<TableFileManager<SyncSchedule>>(tSyncSchedule); }
ScriptingFileManager& Scripting_File() { return File<ScriptingFileManager>(tScripting); }
SyncScriptingFileManager& SyncScripting_File() { return File<SyncScriptingFileManager>(tSyncScripting); }
TableFileManager<ScriptTemplates>& ScriptTemplates_File() {
    return File<TableFileManager<ScriptTemplates>>(tScriptTemplates);
}
ScriptTemplateDetailsFileManager& ScriptTemplateDetails_File() {
    return File<ScriptTemplateDetailsFileManager>(tScriptTemplateDetails);
}
TableFileManager<MsgLink>& MsgLink_File() { return File<TableFileManager<MsgLink>>(tMsgLink); }
HolidaysFileManager& Holidays_File() { return File<HolidaysFileManager>(tHolidays); }
TableFileManager<Configuration>& Configuration_File() {
    return File<TableFileManager<Configuration>>(tConfiguration);
}
TableFileManager<KR_Log>& KR_Log_File() { return File<TableFileManager<KR_Log>>(tKR_Log); }
TableFileManager<Export>& Export_File() { return File<TableFileManager<Export>>(tExport); }
TodoFileManager& Todo_File() { return File<TodoFileManager>(tTodo); }
SyncTodoFileManager& SyncTodo_File() { return File<SyncTodoFileManager>(tSyncTodo); }
TableFileManager<Categories>& Categories_File() { return File<TableFileManager<Categories>>(tCategories); }
TableFileManager<Contact>& Contact_File() { return File<TableFileManager<Contact>>(tContact); }
TableFileManager<ContactCategories>& ContactCategories_File() {
    return File<TableFileManager<ContactCategories>>(tContactCategories);
}
MessagesFileManager& Messages_File() { return File<MessagesFileManager>(tMessages); }
TableFileManager<ClipboardRecord>& Clipboard_File() { return File<TableFileManager<ClipboardRecord>>(tClipboard); }
TableFileManager<ClipboardCategories>& ClipboardCategories_File() {
    return File<TableFileManager<ClipboardCategories>>(tClipboardCategories);
}
SysHotKeysFileManager& SysHotKeys_File() { return File<SysHotKeysFileManager>(tSysHotKeys); }

namespace {
TableRelationManager& Rel(int t) {
    EnsureReady(t);
    return RelationsOf(t);
}
}  // namespace

TableRelationManager& Schedule_Relations() { return Rel(tSchedule); }
TableRelationManager& ScheduleWorkfile_Relations() { return Rel(tScheduleWorkfile); }
TableRelationManager& SyncSchedule_Relations() { return Rel(tSyncSchedule); }
TableRelationManager& Scripting_Relations() { return Rel(tScripting); }
TableRelationManager& SyncScripting_Relations() { return Rel(tSyncScripting); }
TableRelationManager& ScriptTemplates_Relations() { return Rel(tScriptTemplates); }
TableRelationManager& ScriptTemplateDetails_Relations() { return Rel(tScriptTemplateDetails); }
TableRelationManager& MsgLink_Relations() { return Rel(tMsgLink); }
TableRelationManager& Holidays_Relations() { return Rel(tHolidays); }
TableRelationManager& Configuration_Relations() { return Rel(tConfiguration); }
TableRelationManager& KR_Log_Relations() { return Rel(tKR_Log); }
TableRelationManager& Export_Relations() { return Rel(tExport); }
TableRelationManager& Todo_Relations() { return Rel(tTodo); }
TableRelationManager& SyncTodo_Relations() { return Rel(tSyncTodo); }
TableRelationManager& Categories_Relations() { return Rel(tCategories); }
TableRelationManager& Contact_Relations() { return Rel(tContact); }
TableRelationManager& ContactCategories_Relations() { return Rel(tContactCategories); }
TableRelationManager& Messages_Relations() { return Rel(tMessages); }
TableRelationManager& Clipboard_Relations() { return Rel(tClipboard); }
TableRelationManager& ClipboardCategories_Relations() { return Rel(tClipboardCategories); }
SysHotKeysRelationManager& SysHotKeys_Relations() {
    EnsureReady(tSysHotKeys);
    return M().sysHotKeysRelations;
}

}  // namespace kr
