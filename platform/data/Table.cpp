#include "platform/data/Table.h"

#include <algorithm>
#include <atomic>
#include <set>

#include "platform/data/Database.h"
#include "platform/data/Errors.h"
#include "platform/data/FileManager.h"
#include "platform/data/TableImpl.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/runtime/Strings.h"

namespace kr::data {

extern std::atomic<int> g_busyTimeoutMs;
extern std::atomic<int> g_kdfIterations;

namespace {

// Registries live for the whole process (never destroyed), so that nothing
// depends on the order of static destruction at exit.
std::mutex& TablesMutex() {
    static std::mutex* m = new std::mutex;
    return *m;
}
std::set<Table*>& AllTables() {
    static auto* s = new std::set<Table*>;
    return *s;
}
std::mutex& DefsMutex() {
    static std::mutex* m = new std::mutex;
    return *m;
}
std::map<const TableDef*, Table*>& TablesByDef() {
    static auto* m = new std::map<const TableDef*, Table*>;
    return *m;
}

// Transactions by procedure thread: the connections taken, in order.
struct Transaction {
    std::vector<std::shared_ptr<Database>> dbs;
};
std::mutex g_txMutex;
std::map<int, Transaction> g_transactions;

// The record just read becomes the one the thread's writer read (Watch).
void KeepAsRead(ThreadState& s) {
    s.watch.armed = false;
    s.watch.row = s.current;
    if (!s.watch.asRead) s.watch.asRead = std::make_unique<AnyRecord>(s.buffer);
    else *s.watch.asRead = s.buffer;
}

}  // namespace

std::vector<Value> KeyValues(const TableDef& def, const KeyDef& key, const void* record) {
    std::vector<Value> v;
    v.reserve(key.components.size());
    for (const KeyComponent& c : key.components) v.push_back(def.fieldByNumber(c.field)->get(record));
    return v;
}

AnyRecord& RecordAt(std::vector<AnyRecord>& out, std::size_t n, const TableDef& def) {
    if (n < out.size() && &out[n].def() != &def) out.erase(out.begin() + static_cast<std::ptrdiff_t>(n), out.end());
    if (n == out.size()) out.emplace_back(def);
    return out[n];
}

ThreadState& Table::Impl::ts(int thread) {
    std::lock_guard<std::mutex> l(m);
    auto& p = threads[thread];
    if (!p) p = std::make_unique<ThreadState>(def);
    return *p;
}

ThreadState& Table::Impl::ts() { return ts(CurrentProcedureThread()); }

void Table::Impl::dropThread(int thread) {
    std::unique_ptr<ThreadState> gone;
    std::lock_guard<std::mutex> l(m);
    auto it = threads.find(thread);
    if (it == threads.end()) return;
    gone = std::move(it->second);
    threads.erase(it);
}

Table::Table(const TableDef& def)
    : def_(&def), impl_(def.driver == Driver::MultiTable ? MakeSqlImpl(*this, def) : MakeFlatImpl(*this, def)) {
    std::lock_guard<std::mutex> l(TablesMutex());
    AllTables().insert(this);
}

Table::~Table() {
    {
        std::lock_guard<std::mutex> l(TablesMutex());
        AllTables().erase(this);
    }
    {
        std::lock_guard<std::mutex> l(DefsMutex());
        auto it = TablesByDef().find(def_);
        if (it != TablesByDef().end() && it->second == this) TablesByDef().erase(it);
    }
    if (impl_->openCount > 0) impl_->close();
}

Table& TableOf(const TableDef& def) {
    std::lock_guard<std::mutex> l(DefsMutex());
    Table*& t = TablesByDef()[&def];
    if (!t) t = new Table(def);
    return *t;
}

std::string Table::Name() const {
    std::lock_guard<std::mutex> l(impl_->m);
    return impl_->name;
}

void Table::SetName(std::string_view name) {
    std::string n(name);
    if (def_->nameVariableSize > 0 && n.size() > static_cast<std::size_t>(def_->nameVariableSize))
        n.resize(static_cast<std::size_t>(def_->nameVariableSize));
    std::lock_guard<std::mutex> l(impl_->m);
    impl_->name = ClipRight(n);
}

std::string Table::DiskName() const { return impl_->diskName(); }
std::string Table::FilePath() const { return impl_->filePath(); }

int Table::Open(int mode) {
    {
        std::lock_guard<std::mutex> l(impl_->m);
        if (impl_->openCount > 0) {
            ++impl_->openCount;
            return SetLastError(kFileAlreadyOpen);
        }
    }
    std::lock_guard<std::mutex> opening(impl_->openMutex);
    {
        // Another OS thread may have opened it while this one waited.
        std::lock_guard<std::mutex> l(impl_->m);
        if (impl_->openCount > 0) {
            ++impl_->openCount;
            return SetLastError(kFileAlreadyOpen);
        }
    }
    int e = impl_->open(mode);
    if (e) return e;
    std::lock_guard<std::mutex> l(impl_->m);
    impl_->openCount = 1;
    impl_->mode = mode;
    for (auto& [thread, s] : impl_->threads) {
        s->seq = ThreadState::Seq::Start;
        s->current = 0;
        s->dropPage();
    }
    return ClearLastError();
}

int Table::Close() {
    std::lock_guard<std::mutex> closing(impl_->openMutex);
    {
        std::lock_guard<std::mutex> l(impl_->m);
        if (impl_->openCount == 0) return ClearLastError();
        if (--impl_->openCount > 0) return ClearLastError();
        for (auto& [thread, s] : impl_->threads) {
            s->dropPage();
            s->current = 0;
        }
    }
    impl_->close();
    return ClearLastError();
}

bool Table::IsOpen() const { return impl_->openCount.load() > 0; }

int Table::OpenMode() const {
    std::lock_guard<std::mutex> l(impl_->m);
    return impl_->openCount > 0 ? impl_->mode : 0;
}

int Table::Create() {
    if (IsOpen()) return SetLastError(kFileAlreadyOpen);
    int e = impl_->create();
    return e ? e : ClearLastError();
}

int Table::Remove() {
    if (IsOpen()) return SetLastError(kFileAlreadyOpen);
    int e = impl_->remove();
    return e ? e : ClearLastError();
}

int Table::Attach() {
    int e = impl_->attach();
    return e ? e : ClearLastError();
}

void* Table::Record() { return impl_->ts().buffer.get(); }
void* Table::Record(int thread) { return impl_->ts(thread).buffer.get(); }

void Table::Clear() {
    ThreadState& s = impl_->ts();
    def_->copy(s.buffer.get(), impl_->blank.get());
}

#define KR_REQUIRE_OPEN()                                       \
    do {                                                        \
        if (!IsOpen()) return SetLastError(kFileNotOpen);       \
    } while (0)

#define KR_REQUIRE_WRITABLE()                                   \
    do {                                                        \
        KR_REQUIRE_OPEN();                                      \
        if (!impl_->writable()) return SetLastError(kAccessDenied); \
    } while (0)

int Table::Set(const KeyDef* key) {
    KR_REQUIRE_OPEN();
    ThreadState& s = impl_->ts();
    s.keepCurrentKey();
    s.key = key;
    s.seq = ThreadState::Seq::Start;
    s.values.clear();
    s.row = 0;
    s.dropPage();
    return ClearLastError();
}

int Table::SetFrom(const KeyDef* key) {
    KR_REQUIRE_OPEN();
    if (!key) return Set(nullptr);
    ThreadState& s = impl_->ts();
    s.keepCurrentKey();
    s.key = key;
    s.values = KeyValues(*def_, *key, s.buffer.get());
    s.row = 0;
    s.seq = ThreadState::Seq::Boundary;
    s.dropPage();
    return ClearLastError();
}

int Table::SetPointer(int64_t pointer) {
    KR_REQUIRE_OPEN();
    ThreadState& s = impl_->ts();
    s.keepCurrentKey();
    s.key = nullptr;
    s.values.clear();
    s.row = pointer;
    s.seq = ThreadState::Seq::Boundary;
    s.dropPage();
    return ClearLastError();
}

int Table::Next() {
    KR_REQUIRE_OPEN();
    ThreadState& s = impl_->ts();
    int e = impl_->next(s, true);
    if (s.watch.armed && !e) KeepAsRead(s);
    return e ? e : ClearLastError();
}

int Table::Previous() {
    KR_REQUIRE_OPEN();
    ThreadState& s = impl_->ts();
    int e = impl_->next(s, false);
    if (s.watch.armed && !e) KeepAsRead(s);
    return e ? e : ClearLastError();
}

int Table::Impl::readMany(ThreadState& s, bool forward, int count, std::vector<AnyRecord>& out,
                          std::vector<Position>* positions) {
    std::size_t n = 0;
    int result = 0;
    for (; static_cast<int>(n) < count; ++n) {
        int e = next(s, forward);
        if (e) {
            if (e != kRecordNotAvailable) result = e;
            break;
        }
        def.copy(RecordAt(out, n, def).get(), s.buffer.get());
        if (positions) {
            if (positions->size() <= n) positions->emplace_back();
            Position& p = (*positions)[n];
            p.key = s.key;
            p.values = s.currentKey();
            p.row = s.current;
        }
    }
    out.erase(out.begin() + static_cast<std::ptrdiff_t>(n), out.end());
    if (positions) positions->resize(n);
    if (result) return result;
    return n == 0 && count > 0 ? SetLastError(kRecordNotAvailable) : 0;
}

int Table::NextRecords(int count, std::vector<AnyRecord>& out, std::vector<Position>* positions) {
    KR_REQUIRE_OPEN();
    ThreadState& s = impl_->ts();
    int e = impl_->readMany(s, true, count, out, positions);
    if (s.watch.armed && !e) KeepAsRead(s);
    return e ? e : ClearLastError();
}

int Table::PreviousRecords(int count, std::vector<AnyRecord>& out, std::vector<Position>* positions) {
    KR_REQUIRE_OPEN();
    ThreadState& s = impl_->ts();
    int e = impl_->readMany(s, false, count, out, positions);
    if (s.watch.armed && !e) KeepAsRead(s);
    return e ? e : ClearLastError();
}

int Table::Get(const KeyDef* key) {
    KR_REQUIRE_OPEN();
    if (!key) return SetLastError(kInvalidKeyLength);
    ThreadState& s = impl_->ts();
    int e = impl_->get(s, key);
    if (s.watch.armed && !e) KeepAsRead(s);
    return e ? e : ClearLastError();
}

Position Table::GetPosition() const {
    ThreadState& s = impl_->ts();
    Position p;
    p.key = s.key;
    p.values = s.currentKey();
    p.row = s.current;
    return p;
}

int Table::Reset(const Position& position) {
    KR_REQUIRE_OPEN();
    ThreadState& s = impl_->ts();
    s.keepCurrentKey();
    s.key = position.key;
    s.values = position.values;
    s.row = position.row;
    s.seq = position.valid() ? ThreadState::Seq::At : ThreadState::Seq::Start;
    s.dropPage();
    return ClearLastError();
}

int Table::Reget(const Position& position) {
    KR_REQUIRE_OPEN();
    if (!position.valid()) return SetLastError(kRecordNotAvailable);
    ThreadState& s = impl_->ts();
    int e = impl_->reget(s, position);
    if (s.watch.armed && !e) KeepAsRead(s);
    return e ? e : ClearLastError();
}

int64_t Table::Pointer() const { return impl_->ts().current; }

int Table::Add() {
    KR_REQUIRE_WRITABLE();
    int e = impl_->add(impl_->ts());
    return e ? e : ClearLastError();
}

int Table::AddAutoNumbered(const KeyDef* key) {
    KR_REQUIRE_WRITABLE();
    if (!key || !key->autoNumber()) return Add();
    int e = impl_->addAuto(impl_->ts(), key);
    return e ? e : ClearLastError();
}

int Table::Put() {
    KR_REQUIRE_WRITABLE();
    ThreadState& s = impl_->ts();
    if (s.current == 0) return SetLastError(kRecordNotAvailable);
    if (s.watch.row != 0 && s.watch.row == s.current) return PutWatched(s);
    int e = impl_->put(s);
    return e ? e : ClearLastError();
}

// A PUT over the record a writer read earlier (Watch): in one write
// transaction the stored record is compared with the record as read. A
// field that another writer changed meanwhile refuses the write (89, the
// buffer gets the stored record, which becomes the one read), unless it is
// a mark the writer left as it read it: the buffer takes the stored mark.
int Table::PutWatched(ThreadState& s) {
    std::shared_ptr<Database> db = impl_->database();
    if (!db) {
        // Line files keep no rows to compare: written as they are.
        int e = impl_->put(s);
        return e ? e : ClearLastError();
    }
    auto scope = std::make_unique<WriteScope>(*db);
    if (int e = scope->error()) return SetLastError(e, LastFileErrorCode(), LastFileErrorText());
    AnyRecord stored(*def_);
    if (int e = impl_->readRow(s.current, stored.get())) {
        if (e == kRecordNotFound) e = kRecordNotAvailable;
        return SetLastError(e, LastFileErrorCode(), LastFileErrorText());
    }
    void* buffer = s.buffer.get();
    const void* asRead = s.watch.asRead->get();
    bool changed = false;
    std::vector<const FieldDef*> marks;
    for (const FieldDef& f : def_->fields) {
        if (f.isGroup() || f.get(stored.get()) == f.get(asRead)) continue;
        if (f.mark && f.get(buffer) == f.get(asRead)) marks.push_back(&f);
        else if (!f.mark) changed = true;
    }
    for (const MemoDef& m : def_->memos)
        if (m.get(stored.get()) != m.get(asRead)) changed = true;
    if (changed) {
        // Nothing is written; the writer sees what is stored now.
        scope->Rollback();
        def_->copy(buffer, stored.get());
        *s.watch.asRead = stored;
        return SetLastError(kRecordChanged);
    }
    for (const FieldDef* f : marks) f->set(buffer, f->get(stored.get()));
    int e = impl_->put(s);
    if (!e) e = scope->Commit();
    if (e) return e == LastErrorCode() ? e : SetLastError(e);
    // A second PUT by the same writer is checked against what it wrote.
    def_->copy(s.watch.asRead->get(), buffer);
    return ClearLastError();
}

void Table::Watch() {
    ThreadState& s = impl_->ts();
    s.watch.armed = true;
}

void Table::WatchCurrent() {
    ThreadState& s = impl_->ts();
    s.watch.armed = false;
    if (s.current == 0) {
        Unwatch();
        return;
    }
    KeepAsRead(s);
}

void Table::Unwatch() {
    ThreadState& s = impl_->ts();
    s.watch.armed = false;
    s.watch.row = 0;
    s.watch.asRead.reset();
}

int Table::Delete() {
    KR_REQUIRE_WRITABLE();
    ThreadState& s = impl_->ts();
    if (s.current == 0) return SetLastError(kRecordNotAvailable);
    int e = impl_->del(s);
    if (!e) {
        if (s.watch.row == s.current) s.watch.row = 0;
        s.current = 0;
    }
    return e ? e : ClearLastError();
}

int64_t Table::Records() { return Records(nullptr); }

int64_t Table::Records(const KeyDef* key) {
    if (!IsOpen()) {
        SetLastError(kFileNotOpen);
        return -1;
    }
    int64_t n = impl_->records(key);
    if (n >= 0) ClearLastError();
    return n;
}

int Table::ReadMemo(int64_t pointer, std::string_view memoName, std::size_t maxBytes, std::string& out) {
    out.clear();
    KR_REQUIRE_OPEN();
    const MemoDef* memo = def().memo(memoName);
    if (!memo) return SetLastError(kUnsupported);
    int e = impl_->readMemo(pointer, *memo, maxBytes, out);
    return e ? SetLastError(e) : ClearLastError();
}

int Table::Hold() {
    KR_REQUIRE_OPEN();
    ThreadState& s = impl_->ts();
    if (s.current == 0) return SetLastError(kRecordNotAvailable);
    int e = impl_->hold(s, CurrentProcedureThread());
    return e ? e : ClearLastError();
}

int Table::Release() {
    KR_REQUIRE_OPEN();
    int e = impl_->release(impl_->ts(), CurrentProcedureThread());
    return e ? e : ClearLastError();
}

int Table::Build(const ProgressFn& progress) {
    int e = impl_->build(progress);
    return e ? e : ClearLastError();
}

int Table::Pack(const ProgressFn& progress) {
    if (InTransaction()) return SetLastError(kTransactionActive);
    int e = impl_->pack(progress);
    return e ? e : ClearLastError();
}

int Table::Lock() {
    KR_REQUIRE_OPEN();
    int e = impl_->lock();
    return e ? e : ClearLastError();
}

int Table::Unlock() {
    KR_REQUIRE_OPEN();
    int e = impl_->unlock();
    return e ? e : ClearLastError();
}

std::string Table::Send(std::string_view command) {
    std::string c = Upper(Trim(command));
    std::string value;
    std::size_t eq = c.find('=');
    std::string verb = Trim(eq == std::string::npos ? c : c.substr(0, eq));
    if (eq != std::string::npos) value = Trim(c.substr(eq + 1));
    ClearLastError();
    if (verb == "RECOVER") {
        int n = IsNumeric(value) ? std::stoi(value) : 0;
        std::lock_guard<std::mutex> l(impl_->m);
        impl_->recoverSeconds = std::max(0, std::min(n, 3600));
        return {};
    }
    if (verb == "HELD") {
        if (!IsOpen()) {
            SetLastError(kFileNotOpen);
            return "OFF";
        }
        return impl_->held(impl_->ts()) ? "ON" : "OFF";
    }
    // IGNORESTATUS and FULLBUILD: reads never stop at hold marks and builds
    // are always full here.
    return {};
}

TableStatistics Table::Statistics() {
    TableStatistics s;
    s.keys = static_cast<int>(def_->keys.size());
    s.diskName = DiskName();
    impl_->fillStatistics(s);
    return s;
}

int Table::StoredVersion() { return impl_->storedVersion(); }
std::string Table::StoredLayout() { return impl_->storedLayout(); }

std::string Table::LayoutOf(const TableDef& def) {
    static const char* const types[] = {"BYTE", "SHORT", "LONG", "REAL", "STRING", "CSTRING", "GROUP"};
    std::string out;
    for (const FieldDef& f : def.fields) {
        out += Upper(f.name);
        out += ' ';
        out += types[static_cast<int>(f.type)];
        out += '(' + std::to_string(f.size) + ')';
        if (f.group) out += " IN " + std::to_string(f.group);
        out += ';';
    }
    for (const MemoDef& m : def.memos) out += Upper(m.name) + " MEMO(" + std::to_string(m.size) + ");";
    return out;
}

int Table::Convert(int version, const std::vector<std::pair<std::string, std::string>>& alternates,
                   const void* defaults) {
    int e = impl_->convert(version, alternates, defaults);
    return e ? e : ClearLastError();
}

int Table::ForEachMatch(const KeyDef* key, const std::vector<const FieldDef*>& fields,
                        const std::vector<Value>& values,
                        const std::function<bool(int64_t row, const void* record)>& fn) {
    int e = impl_->forEachMatch(key, fields, values, fn);
    return e ? e : ClearLastError();
}

int Table::DeleteRow(int64_t row) {
    int e = impl_->deleteRow(row);
    return e ? e : ClearLastError();
}

int Table::UpdateRowFields(int64_t row, const std::vector<const FieldDef*>& fields,
                           const std::vector<Value>& values) {
    int e = impl_->updateRowFields(row, fields, values);
    return e ? e : ClearLastError();
}

int Table::ReadRow(int64_t row, void* record) {
    int e = impl_->readRow(row, record);
    return e ? e : ClearLastError();
}

// Transactions.

int Logout(const std::vector<Table*>& tables) {
    int thread = CurrentProcedureThread();
    {
        std::lock_guard<std::mutex> l(g_txMutex);
        if (g_transactions.count(thread)) return SetLastError(kTransactionActive);
    }
    std::vector<std::shared_ptr<Database>> dbs;
    for (Table* t : tables) {
        if (!t) continue;
        if (!t->IsOpen()) return SetLastError(kFileNotOpen);
        if (auto d = t->impl().database())
            if (std::find(dbs.begin(), dbs.end(), d) == dbs.end()) dbs.push_back(d);
    }
    // A fixed order, so that two transactions over the same files cannot
    // wait for each other.
    std::sort(dbs.begin(), dbs.end(), [](const auto& a, const auto& b) { return a->path() < b->path(); });
    std::vector<std::shared_ptr<Database>> begun;
    for (auto& d : dbs) {
        d->mutex().lock();
        if (d->InTransaction()) {
            d->mutex().unlock();
            for (auto& b : begun) {
                b->RollbackTx();
                b->mutex().unlock();
            }
            return SetLastError(kTransactionActive);
        }
        if (int e = d->BeginImmediate()) {
            d->mutex().unlock();
            for (auto& b : begun) {
                b->RollbackTx();
                b->mutex().unlock();
            }
            return e;
        }
        begun.push_back(d);
    }
    std::lock_guard<std::mutex> l(g_txMutex);
    g_transactions[thread].dbs = std::move(begun);
    return ClearLastError();
}

static int EndTransaction(bool commit) {
    Transaction tx;
    {
        std::lock_guard<std::mutex> l(g_txMutex);
        auto it = g_transactions.find(CurrentProcedureThread());
        if (it == g_transactions.end()) return SetLastError(kNoTransaction);
        tx = std::move(it->second);
        g_transactions.erase(it);
    }
    int result = 0;
    for (auto& d : tx.dbs) {
        if (commit && result == 0) {
            result = d->CommitTx();
        } else {
            d->RollbackTx();
        }
        d->mutex().unlock();
    }
    return result ? result : ClearLastError();
}

int Commit() { return EndTransaction(true); }
int Rollback() { return EndTransaction(false); }

bool InTransaction() {
    std::lock_guard<std::mutex> l(g_txMutex);
    return g_transactions.count(CurrentProcedureThread()) > 0;
}

void EndProcedureThread(int thread) {
    FileManager::EndThread(thread);
    {
        ProcedureThreadScope scope(thread);
        if (InTransaction()) Rollback();
    }
    std::vector<Table*> tables;
    {
        std::lock_guard<std::mutex> l(TablesMutex());
        tables.assign(AllTables().begin(), AllTables().end());
    }
    for (Table* t : tables) {
        if (t->IsOpen()) t->impl().releaseAll(thread);
        t->impl().dropThread(thread);
    }
}

void SetBusyTimeout(int milliseconds) { g_busyTimeoutMs.store(std::max(0, milliseconds)); }
void SetKeyDerivationIterations(int iterations) { g_kdfIterations.store(std::max(0, iterations)); }
void CloseIdleFiles() { Database::CloseIdle(); }
void ReleaseCachedPages() { Database::ReleaseCachedPages(); }

}  // namespace kr::data
