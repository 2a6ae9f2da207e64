#include "platform/data/FileManager.h"

#include <algorithm>
#include <set>

#include "platform/data/Errors.h"
#include "platform/data/Upgrade.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Expression.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/runtime/WriteCauses.h"

namespace kr::data {

namespace {

std::mutex& ManagersMutex() {
    static auto* m = new std::mutex;
    return *m;
}
std::set<FileManager*>& Managers() {
    static auto* s = new std::set<FileManager*>;
    return *s;
}

// The level of an operation's result: the failures a caller expects and
// goes on from are notices, the others fatal.
int LevelOf(int code) {
    switch (code) {
    case kNoError: return kLevelBenign;
    case kRecordNotAvailable:
    case kRecordNotFound:
    case kDuplicateKey:
    case kRecordHeld:
    case kRecordChanged: return kLevelNotify;
    default: return kLevelFatal;
    }
}

// The forms that keep typed values, per procedure thread, the last
// registered last.
struct TypedKeeper {
    const void* owner;
    std::function<void()> keep;
};
std::mutex& KeepersMutex() {
    static auto* m = new std::mutex;
    return *m;
}
std::map<int, std::vector<TypedKeeper>>& Keepers() {
    static auto* m = new std::map<int, std::vector<TypedKeeper>>;
    return *m;
}

// The current thread's keeper of typed values; empty when it has none.
std::function<void()> TypedValuesKeeper() {
    std::lock_guard<std::mutex> l(KeepersMutex());
    auto it = Keepers().find(CurrentProcedureThread());
    if (it == Keepers().end() || it->second.empty()) return {};
    return it->second.back().keep;
}

}  // namespace

void FileManager::KeepTypedValues(int thread, const void* owner, std::function<void()> keep) {
    std::lock_guard<std::mutex> l(KeepersMutex());
    Keepers()[thread].push_back({owner, std::move(keep)});
}

void FileManager::ForgetTypedValues(int thread, const void* owner) {
    std::lock_guard<std::mutex> l(KeepersMutex());
    auto it = Keepers().find(thread);
    if (it == Keepers().end()) return;
    auto& v = it->second;
    v.erase(std::remove_if(v.begin(), v.end(), [owner](const TypedKeeper& k) { return k.owner == owner; }), v.end());
    if (v.empty()) Keepers().erase(it);
}

FileManager::FileManager() = default;

FileManager::~FileManager() {
    {
        std::lock_guard<std::mutex> l(ManagersMutex());
        Managers().erase(this);
    }
    UnregisterDefaultsProvider(this);
}

void FileManager::Init(const TableDef& def, ErrorHandler* errors) {
    def_ = &def;
    table_ = &TableOf(def);
    errors_ = errors;
    {
        std::lock_guard<std::mutex> l(ManagersMutex());
        Managers().insert(this);
    }
    RegisterDefaultsProvider(def, this);
}

void FileManager::Shutdown() {
    std::map<int, ThreadUse> uses;
    {
        std::lock_guard<std::mutex> l(m_);
        uses.swap(uses_);
    }
    for (auto& [thread, u] : uses)
        if (u.fileOpened && table_) table_->Close();
}

void FileManager::EndThread(int thread) {
    std::vector<FileManager*> all;
    {
        std::lock_guard<std::mutex> l(ManagersMutex());
        all.assign(Managers().begin(), Managers().end());
    }
    for (FileManager* fm : all) {
        bool opened = false;
        {
            std::lock_guard<std::mutex> l(fm->m_);
            auto it = fm->uses_.find(thread);
            if (it == fm->uses_.end()) continue;
            opened = it->second.fileOpened;
            fm->uses_.erase(it);
        }
        if (opened) fm->table_->Close();
    }
}

FileManager* FileManager::Of(const Table& table) {
    std::vector<FileManager*> all;
    {
        std::lock_guard<std::mutex> l(ManagersMutex());
        all.assign(Managers().begin(), Managers().end());
    }
    FileManager* first = nullptr;
    for (FileManager* fm : all) {
        if (fm->table_ != &table) continue;
        if (fm->UseCount() > 0) return fm;
        if (!first) first = fm;
    }
    return first;
}

bool FileManager::AddKey(std::string_view keyName, std::string description, bool autoNumber) {
    const KeyDef* k = def_ ? def_->key(keyName) : nullptr;
    if (!k) return false;
    keys_.push_back({k, std::move(description), autoNumber});
    return true;
}

const KeyDef* FileManager::Key(std::string_view name) const { return def_ ? def_->key(name) : nullptr; }

void FileManager::SetName(std::string_view name) { table_->SetName(name); }
std::string FileManager::GetName() const { return table_->Name(); }

std::string FileManager::ErrorName() const { return def_->errorName.empty() ? def_->label : def_->errorName; }

void* FileManager::Buffer() { return table_->Record(); }

FileManager::ThreadUse& FileManager::use() {
    std::lock_guard<std::mutex> l(m_);
    return uses_[CurrentProcedureThread()];
}

const FileManager::ThreadUse* FileManager::findUse() const {
    std::lock_guard<std::mutex> l(m_);
    auto it = uses_.find(CurrentProcedureThread());
    return it == uses_.end() ? nullptr : &it->second;
}

int FileManager::UseCount() const {
    const ThreadUse* u = findUse();
    return u ? u->uses : 0;
}

bool FileManager::AutoIncDone() const {
    const ThreadUse* u = findUse();
    return u && u->reservedRow != 0;
}

// Opening.

int FileManager::OpenFile() {
    ThreadUse& u = use();
    if (u.fileOpened) return 0;
    int e = ds_FileOpen(*table_, openMode);
    if (e == kFileLocked && lockRecover > 0) {
        table_->Send("RECOVER=" + std::to_string(lockRecover));
        e = ds_FileOpen(*table_, openMode);
    }
    if (e == kFileNotFound && create) {
        e = table_->Create();
        if (!e) e = ds_FileOpen(*table_, openMode);
    }
    if (e == 0 || e == kFileAlreadyOpen) {
        u.fileOpened = true;
        return ClearLastError();
    }
    return e;
}

int FileManager::TryOpen() {
    ThreadUse& u = use();
    if (u.uses > 0) {
        ++u.uses;
        return kLevelBenign;
    }
    ++u.uses;
    if (!lazyOpen) {
        if (int e = OpenFile()) {
            --u.uses;
            return LevelOf(e) == kLevelBenign ? kLevelBenign : kLevelFatal;
        }
    }
    ClearLastError();
    return kLevelBenign;
}

int FileManager::Open() {
    ThreadUse& u = use();
    if (u.uses > 0) {
        ++u.uses;
        return kLevelBenign;
    }
    ++u.uses;
    if (lazyOpen) {
        ClearLastError();
        return kLevelBenign;
    }
    int e = OpenFile();
    if (e == kKeyMustBeRebuilt && errors_) {
        if (Throw(kMsgRebuildKey) == kButtonYes) {
            e = table_->Build();
            if (e) {
                Throw(kMsgRebuildFailed);
                --u.uses;
                return kLevelFatal;
            }
            e = OpenFile();
        }
    }
    if (e) {
        --u.uses;
        int code = LastErrorCode();
        if (errors_) Throw(kMsgOpenFailed);
        SetLastError(code, LastFileErrorCode(), LastFileErrorText());
        return kLevelFatal;
    }
    return kLevelBenign;
}

int FileManager::Close() {
    bool closeFile = false;
    {
        std::lock_guard<std::mutex> l(m_);
        auto it = uses_.find(CurrentProcedureThread());
        if (it == uses_.end() || it->second.uses == 0) return kLevelBenign;
        if (--it->second.uses == 0) {
            closeFile = it->second.fileOpened;
            uses_.erase(it);
        }
    }
    if (closeFile) table_->Close();
    ClearLastError();
    return kLevelBenign;
}

int FileManager::UseFile() {
    const ThreadUse* u = findUse();
    if (u && u->fileOpened) return 0;
    if (u && u->uses > 0) return OpenFile();
    // Not opened by this procedure: the operations work on the file when
    // another procedure (or a direct open) has it open.
    if (table_->IsOpen()) return 0;
    return SetLastError(kFileNotOpen);
}

int FileManager::SetOrder(const KeyDef* key) {
    if (UseFile()) return kLevelFatal;
    return LevelOf(table_->Set(key));
}

int FileManager::SetPosition(const KeyDef* key) {
    if (UseFile()) return kLevelFatal;
    return LevelOf(table_->SetFrom(key));
}

// Reporting.

int FileManager::Throw(int msgId) {
    if (!errors_) return kLevelNotify;
    errors_->SetFile(ErrorName());
    // A write on a data file another file has taken the place of: one
    // message that says so, the first time a window (procedure thread) meets
    // it, whatever the operation; its later failures there add none. The
    // caller still reads the error.
    if (LastErrorCode() != 0 && LastDriverCause() == DriverCause::Replaced) {
        if (!errors_->FirstNoticeOfReplacement()) return kLevelNotify;
        msgId = kMsgFileReplaced;
    }
    // A file that cannot be opened or made because it or its folder is
    // read-only: the message says so in words after its error code.
    if ((msgId == kMsgOpenFailed || msgId == kMsgCreateFailed) && LastErrorCode() == kAccessDenied)
        errors_->SetCause(ReadOnlyCause(table_->DiskName()));
    return errors_->Throw(msgId);
}

int FileManager::ThrowFile(int msgId, std::string_view text) {
    if (!errors_) return kLevelNotify;
    errors_->SetFile(ErrorName());
    errors_->SetMessage(text);
    return errors_->Throw(msgId);
}

int FileManager::ThrowMessage(int msgId, std::string_view text) {
    if (!errors_) return kLevelNotify;
    errors_->SetFile(ErrorName());
    errors_->SetMessage(text);
    return errors_->Throw(msgId);
}

int FileManager::ReportError(int msgId) {
    int code = LastErrorCode();
    std::string fileCode = LastFileErrorCode(), fileText = LastFileErrorText();
    if (!errors_) return LevelOf(code);
    int level;
    if (code == kDuplicateKey) {
        std::string key = LastDuplicateKey();
        std::string shown = key;
        for (const KeyInfo& k : keys_)
            if (k.key && k.key->name == key && !k.description.empty()) shown = k.description;
        errors_->SetKey(shown);
        Throw(kMsgDuplicateKey);
        level = kLevelNotify;
    } else if (code == kRecordChanged) {
        // The buffer holds the stored record now; the form keeps what was
        // typed for its history key before it shows the stored values.
        const std::function<void()> keep = TypedValuesKeeper();
        if (keep) keep();
        Throw(keep ? kMsgRecordChanged : kMsgPutChanged);
        level = kLevelNotify;
    } else {
        int r = Throw(msgId);
        level = r == kLevelNotify || r == kLevelFatal ? r : LevelOf(code);
    }
    // The message does not change what the caller reads of the error.
    SetLastError(code, fileCode, fileText);
    return level;
}

// Reading.

int FileManager::TryFetch(const KeyDef* key) {
    if (UseFile()) return kLevelFatal;
    if (!key) {
        SetLastError(kInvalidKeyLength);
        return kLevelFatal;
    }
    return LevelOf(table_->Get(key));
}

int FileManager::Fetch(const KeyDef* key) {
    if (UseFile()) return ReportError(kMsgOpenFailed);
    int r = TryFetch(key);
    if (r == kLevelBenign) return r;
    if (LastErrorCode() == kRecordNotFound) return kLevelNotify;
    return ReportError(kMsgAbortReading);
}

int FileManager::TryNext() {
    if (UseFile()) return kLevelFatal;
    return LevelOf(table_->Next());
}

int FileManager::Next() {
    if (UseFile()) return ReportError(kMsgOpenFailed);
    int r = TryNext();
    if (r == kLevelBenign || LastErrorCode() == kRecordNotAvailable) return r;
    return ReportError(kMsgAbortReading);
}

int FileManager::TryPrevious() {
    if (UseFile()) return kLevelFatal;
    return LevelOf(table_->Previous());
}

int FileManager::Previous() {
    if (UseFile()) return ReportError(kMsgOpenFailed);
    int r = TryPrevious();
    if (r == kLevelBenign || LastErrorCode() == kRecordNotAvailable) return r;
    return ReportError(kMsgAbortReading);
}

int64_t FileManager::Records() {
    if (UseFile()) return -1;
    return table_->Records();
}

// Writing.

int FileManager::AutoNumber() {
    const KeyDef* autoKey = nullptr;
    for (const KeyInfo& k : keys_)
        if (k.autoNumber && k.key) {
            autoKey = k.key;
            break;
        }
    if (!autoKey && keys_.empty())
        for (const KeyDef& k : def_->keys)
            if (k.autoNumber()) {
                autoKey = &k;
                break;
            }
    return autoKey ? table_->AddAutoNumbered(autoKey) : table_->Add();
}

int FileManager::TryInsert() {
    if (UseFile()) return kLevelFatal;
    ThreadUse& u = use();
    if (u.reservedRow) {
        // The reserved record is written over with the buffer.
        AnyRecord wanted(*def_);
        def_->copy(wanted.get(), table_->Record());
        Position p;
        p.row = u.reservedRow;
        int e = table_->Reget(p);
        if (e == 0) {
            def_->copy(table_->Record(), wanted.get());
            e = table_->Put();
        } else {
            def_->copy(table_->Record(), wanted.get());
            if (e == kRecordNotFound) {
                // Someone removed the reservation: store the record anew.
                u.reservedRow = 0;
                e = table_->Add();
            }
        }
        if (e == 0) u.reservedRow = 0;
        return LevelOf(e);
    }
    return LevelOf(AutoNumber());
}

int FileManager::Insert() {
    if (UseFile()) return ReportError(kMsgOpenFailed);
    int r = TryInsert();
    return r == kLevelBenign ? r : ReportError(kMsgAddFailed);
}

int FileManager::TryUpdate() {
    if (UseFile()) return kLevelFatal;
    return LevelOf(table_->Put());
}

int FileManager::Update() {
    if (UseFile()) return ReportError(kMsgOpenFailed);
    int r = TryUpdate();
    return r == kLevelBenign ? r : ReportError(kMsgPutFailed);
}

int FileManager::TryDelete() {
    if (UseFile()) return kLevelFatal;
    return LevelOf(table_->Delete());
}

int FileManager::Delete() {
    if (UseFile()) return ReportError(kMsgOpenFailed);
    int r = TryDelete();
    return r == kLevelBenign ? r : ReportError(kMsgDeleteFailed);
}

// New records.

int FileManager::PrimeRecord(bool suppressClear) {
    if (!suppressClear) table_->Clear();
    SetNewRecordDefaults();
    bool hasAuto = false;
    for (const KeyInfo& k : keys_) hasAuto = hasAuto || k.autoNumber;
    if (!hasAuto) {
        ClearLastError();
        return kLevelBenign;
    }
    return PrimeAutoInc();
}

int FileManager::TryPrimeAutoInc() {
    if (UseFile()) return kLevelFatal;
    if (use().reservedRow) return kLevelBenign;
    int e = AutoNumber();
    if (e) return LevelOf(e) == kLevelBenign ? kLevelBenign : kLevelFatal;
    use().reservedRow = table_->Pointer();
    return kLevelBenign;
}

int FileManager::PrimeAutoInc() {
    // Retry as long as the user asks to, within reason.
    for (int attempt = 0; attempt < 100; ++attempt) {
        int r = TryPrimeAutoInc();
        if (r == kLevelBenign) return r;
        if (!errors_) return r;
        int code = LastErrorCode();
        std::string fc = LastFileErrorCode(), ft = LastFileErrorText();
        int button = Throw(kMsgAutoIncFailed);
        SetLastError(code, fc, ft);
        if (button != kButtonRetry) return kLevelCancel;
    }
    return kLevelFatal;
}

void FileManager::CancelAutoInc() {
    ThreadUse& u = use();
    if (!u.reservedRow) return;
    int64_t row = u.reservedRow;
    u.reservedRow = 0;
    table_->DeleteRow(row);
}

// Checks.

int FileManager::ValidateField(int) { return 0; }

int FileManager::ValidateRecord(int* failedField) {
    for (const FieldDef& f : def_->fields) {
        if (f.isGroup()) continue;
        if (int r = ValidateField(f.number)) {
            if (failedField) *failedField = f.number;
            return r;
        }
    }
    if (failedField) *failedField = 0;
    return 0;
}

// The evaluator.

void FileManager::BindFields() {
    Bindings& b = CurrentBindings();
    int thread = CurrentProcedureThread();
    Table* t = table_;
    for (const FieldDef& f : def_->fields) {
        if (f.isGroup()) continue;
        const FieldDef* fp = &f;
        b.Bind(f.name, [t, thread, fp] { return fp->get(t->Record(thread)); });
    }
}

void FileManager::BindMemo(std::string_view memoName) {
    const MemoDef* m = def_->memo(memoName);
    if (!m) return;
    int thread = CurrentProcedureThread();
    Table* t = table_;
    CurrentBindings().Bind(m->name, [t, thread, m] { return Value(m->get(t->Record(thread))); });
}

}  // namespace kr::data
