// The multi-table driver: a table of a multi-table file is an SQL table of
// the file's SQLCipher database, one column per field (groups have none)
// named after the field without its prefix, memos as columns too, and one
// index per key. Text components of keys compare without regard to case
// (COLLATE NOCASE) unless the key is case-sensitive; descending components
// are DESC; the row number ends every index, so equal keys keep the order in
// which records were added.
//
// Sequential reads are keyset pages: from the values and row number of the
// last record read, one query per length of equal prefix ("a = ?1 AND b > ?2",
// then "a > ?1"), each of which the planner answers from the index, so a page
// costs the same wherever it starts.
#include <signal.h>
#include <sqlite3.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "platform/data/Database.h"
#include "platform/data/Errors.h"
#include "platform/data/Names.h"
#include "platform/data/TableImpl.h"
#include "platform/data/Upgrade.h"
#include "platform/data/WriteFault.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/PrivateFiles.h"
#include "platform/runtime/Strings.h"

namespace kr::data {

namespace {

// A data file that is still empty (made beforehand so that a folder becomes
// the data folder) held nothing of anyone's: the tables written into it make
// it the owner's alone, as a data file the engine makes itself is. A file
// that holds data keeps its mode.
void MakeEmptyFilePrivate(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0 && st.st_uid == ::geteuid() &&
        (st.st_mode & 07777) != kPrivateFileMode)
        ::fchmod(fd, kPrivateFileMode);
    ::close(fd);
}

constexpr int kPageRows = 64;

enum class Kind { Int, Real, Text };

struct Column {
    std::string name;
    std::string quoted;
    Kind kind = Kind::Text;
    const FieldDef* field = nullptr;
    const MemoDef* memo = nullptr;
    std::ptrdiff_t offset = -1;  // of the member in the record (-1: through get and set)
};

struct KeyPart {
    int col = 0;
    bool desc = false;
    std::string expr;  // the column with its collation
};

struct KeySql {
    const KeyDef* key = nullptr;
    std::string shortName;
    std::vector<KeyPart> parts;
    std::string exclude;  // "" or a condition records of the key satisfy
    std::vector<std::vector<int>> partsOfCol;  // by column: the components it is
};

std::string ColumnName(const std::string& fullName) {
    auto colon = fullName.find(':');
    std::string n = colon == std::string::npos ? fullName : fullName.substr(colon + 1);
    std::replace(n.begin(), n.end(), ':', '_');
    return n;
}

void Bind(sqlite3_stmt* st, int idx, const Value& v, Kind kind) {
    switch (kind) {
    case Kind::Int: sqlite3_bind_int64(st, idx, v.toInt()); break;
    case Kind::Real: sqlite3_bind_double(st, idx, v.toReal()); break;
    case Kind::Text: {
        std::string s = v.toText();
        sqlite3_bind_text(st, idx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        break;
    }
    }
}

// Resets a cached statement when the scope ends, so that no read keeps the
// file locked between calls.
struct Resetter {
    sqlite3_stmt* st;
    ~Resetter() {
        if (st) sqlite3_reset(st);
    }
};

bool ProcessAlive(int64_t pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::string Normalise(const std::string& sql) {
    std::string out;
    bool space = false;
    for (char c : sql) {
        if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
            space = true;
            continue;
        }
        if (space && !out.empty()) out += ' ';
        space = false;
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

struct ProgressCtx {
    const ProgressFn* fn = nullptr;
    int percent = 0;
    const KeyDef* key = nullptr;
    bool cancelled = false;
};

int ProgressHandler(void* p) {
    auto* ctx = static_cast<ProgressCtx*>(p);
    if (ctx->fn && *ctx->fn && !(*ctx->fn)(ctx->percent, ctx->key)) {
        ctx->cancelled = true;
        return 1;
    }
    return 0;
}

class SqlImpl : public Table::Impl {
public:
    SqlImpl(Table& t, const TableDef& d) : Impl(t, d) {
        fieldCol_.assign(d.fields.size(), -1);
        for (std::size_t i = 0; i < d.fields.size(); ++i) {
            const FieldDef& f = d.fields[i];
            if (f.isGroup()) continue;
            Column c;
            c.name = ColumnName(f.name);
            c.quoted = QuoteId(c.name);
            c.field = &f;
            c.kind = f.isText() ? Kind::Text : f.type == FieldType::Real ? Kind::Real : Kind::Int;
            if (f.offset >= 0 && (!f.isText() || (f.textOf && f.assignText))) c.offset = f.offset;
            fieldCol_[i] = static_cast<int>(cols_.size());
            cols_.push_back(c);
        }
        for (const MemoDef& m : d.memos) {
            Column c;
            c.name = ColumnName(m.name);
            c.quoted = QuoteId(c.name);
            c.memo = &m;
            c.kind = Kind::Text;
            c.offset = m.offset;
            cols_.push_back(c);
        }
        select_ = "rowid";
        for (const Column& c : cols_) select_ += ", " + c.quoted;
        for (const KeyDef& k : d.keys) {
            KeySql ks;
            ks.key = &k;
            ks.shortName = ColumnName(k.name);
            ks.partsOfCol.resize(cols_.size());
            std::string excl;
            for (const KeyComponent& kc : k.components) {
                KeyPart p;
                p.col = fieldCol_[static_cast<std::size_t>(kc.field - 1)];
                p.desc = kc.descending;
                const Column& c = cols_[static_cast<std::size_t>(p.col)];
                p.expr = c.quoted + (c.kind == Kind::Text && !k.caseSensitive() ? " COLLATE NOCASE" : "");
                if (!excl.empty()) excl += " OR ";
                excl += c.quoted + (c.kind == Kind::Text ? "<>''" : "<>0");
                ks.partsOfCol[static_cast<std::size_t>(p.col)].push_back(static_cast<int>(ks.parts.size()));
                ks.parts.push_back(p);
            }
            if (k.flags & kExcludeNulls) ks.exclude = "(" + excl + ")";
            keys_.push_back(ks);
        }
    }

    ~SqlImpl() override {
        if (db_) releaseShare();
    }

    // Naming.

    TableName tableName() const {
        std::lock_guard<std::mutex> l(m);
        return SplitTableName(name, Driver::MultiTable);
    }
    std::string filePath() const override { return ResolveFilePath(tableName().file); }
    std::string diskName() const override {
        TableName tn = tableName();
        std::string path = ResolveFilePath(tn.file);
        char buf[PATH_MAX];
        if (path.empty() || path[0] != '/') {
            if (::getcwd(buf, sizeof buf)) path = std::string(buf) + "/" + path;
        }
        return tn.multiTable ? path + "\\!" + tn.table : path;
    }

    // The connection: the open one, else the file's (without making it).
    std::shared_ptr<Database> conn(int& err, bool create = false) {
        if (db_) {
            err = 0;
            return db_;
        }
        TableName tn = tableName();
        std::string path = ResolveFilePath(tn.file);
        setSqlName(tn.table);
        return Database::Acquire(path, def.ownerPassword, create, err);
    }

    std::string T() const { return QuoteId(sqlName_); }
    std::string indexName(const KeySql& k) const { return QuoteId(sqlName_ + "$" + k.shortName); }

    std::string createTableSql(const std::string& table) const {
        std::string sql = "CREATE TABLE " + QuoteId(table) + "(";
        for (std::size_t i = 0; i < cols_.size(); ++i) {
            const Column& c = cols_[i];
            if (i) sql += ", ";
            sql += c.quoted;
            switch (c.kind) {
            case Kind::Int: sql += " INTEGER NOT NULL DEFAULT 0"; break;
            case Kind::Real: sql += " REAL NOT NULL DEFAULT 0"; break;
            case Kind::Text: sql += " TEXT NOT NULL DEFAULT ''"; break;
            }
        }
        return sql + ")";
    }

    std::string createIndexSql(const KeySql& k) const {
        std::string sql = std::string("CREATE ") + (k.key->unique() ? "UNIQUE " : "") + "INDEX " + indexName(k) +
                          " ON " + T() + "(";
        for (std::size_t i = 0; i < k.parts.size(); ++i) {
            if (i) sql += ", ";
            sql += k.parts[i].expr + (k.parts[i].desc ? " DESC" : "");
        }
        sql += ")";
        if (!k.exclude.empty()) sql += " WHERE " + k.exclude;
        return sql;
    }

    std::string orderBy(const KeySql* k, bool forward) const {
        std::string o = " ORDER BY ";
        if (k) {
            for (const KeyPart& p : k->parts) o += p.expr + ((p.desc != !forward) ? " DESC, " : ", ");
        }
        return o + (forward ? "rowid" : "rowid DESC");
    }

    const KeySql* keySql(const KeyDef* key) const {
        if (!key) return nullptr;
        for (const KeySql& k : keys_)
            if (k.key == key) return &k;
        return nullptr;
    }

    // Records and buffers. Columns go between the statement and the record's
    // members directly; a definition without member offsets goes through
    // the fields' get and set.

    void bindColumn(sqlite3_stmt* st, int idx, const Column& c, const void* rec, bool copyText = false) const {
        auto how = copyText ? SQLITE_TRANSIENT : SQLITE_STATIC;
        if (c.offset < 0) {
            Value v = c.field ? c.field->get(rec) : Value(c.memo->get(rec));
            Bind(st, idx, v, c.kind);
            return;
        }
        const char* m = static_cast<const char*>(rec) + c.offset;
        if (c.memo) {
            const std::string& t = *reinterpret_cast<const std::string*>(m);
            sqlite3_bind_text(st, idx, t.data(), static_cast<int>(t.size()), how);
            return;
        }
        switch (c.field->type) {
        case FieldType::Byte: sqlite3_bind_int64(st, idx, *reinterpret_cast<const uint8_t*>(m)); break;
        case FieldType::Short: sqlite3_bind_int64(st, idx, *reinterpret_cast<const int16_t*>(m)); break;
        case FieldType::Long: sqlite3_bind_int64(st, idx, *reinterpret_cast<const int32_t*>(m)); break;
        case FieldType::Real: sqlite3_bind_double(st, idx, *reinterpret_cast<const double*>(m)); break;
        default: {
            std::string_view t = c.field->textOf(m);
            sqlite3_bind_text(st, idx, t.data(), static_cast<int>(t.size()), how);
            break;
        }
        }
    }

    // Binds every column of the record from `first` on. Texts are bound in
    // place: the record must stay unchanged until the statement is reset.
    void bindRecord(sqlite3_stmt* st, const void* rec, int first) const {
        for (std::size_t i = 0; i < cols_.size(); ++i) bindColumn(st, first + static_cast<int>(i), cols_[i], rec);
    }

    void storeInt(const Column& c, void* rec, int64_t v) const {
        if (c.offset < 0) return c.field->set(rec, Value(v));
        char* m = static_cast<char*>(rec) + c.offset;
        switch (c.field->type) {
        case FieldType::Byte: *reinterpret_cast<uint8_t*>(m) = static_cast<uint8_t>(v); break;
        case FieldType::Short: *reinterpret_cast<int16_t*>(m) = static_cast<int16_t>(v); break;
        default: *reinterpret_cast<int32_t*>(m) = static_cast<int32_t>(v); break;
        }
    }

    void storeReal(const Column& c, void* rec, double v) const {
        if (c.offset < 0) return c.field->set(rec, Value(v));
        *reinterpret_cast<double*>(static_cast<char*>(rec) + c.offset) = v;
    }

    void storeText(const Column& c, void* rec, std::string_view v) const {
        if (c.offset < 0) {
            if (c.field) c.field->set(rec, Value(std::string(v)));
            else c.memo->set(rec, std::string(v));
            return;
        }
        char* m = static_cast<char*>(rec) + c.offset;
        if (c.memo) {
            std::size_t n = std::min(v.size(), static_cast<std::size_t>(std::max(0, c.memo->size)));
            reinterpret_cast<std::string*>(m)->assign(v.data(), n);
        } else {
            c.field->assignText(m, v);
        }
    }

    // A row as the statement has it (column 0 the row number).
    struct StatementRow {
        sqlite3_stmt* st;
        int64_t row() const { return sqlite3_column_int64(st, 0); }
        int64_t i64(std::size_t i) { return sqlite3_column_int64(st, static_cast<int>(i) + 1); }
        double f64(std::size_t i) { return sqlite3_column_double(st, static_cast<int>(i) + 1); }
        std::string_view text(std::size_t i) {
            const unsigned char* t = sqlite3_column_text(st, static_cast<int>(i) + 1);
            int n = sqlite3_column_bytes(st, static_cast<int>(i) + 1);
            return t ? std::string_view(reinterpret_cast<const char*>(t), static_cast<std::size_t>(n))
                     : std::string_view();
        }
    };

    // A row kept in a read-ahead page.
    struct EncodedRow {
        const char* p;
        int64_t i64(std::size_t) { return take<int64_t>(); }
        double f64(std::size_t) { return take<double>(); }
        std::string_view text(std::size_t) {
            uint32_t n = take<uint32_t>();
            std::string_view v(p, n);
            p += n;
            return v;
        }
        template <class T> T take() {
            T v;
            std::memcpy(&v, p, sizeof v);
            p += sizeof v;
            return v;
        }
    };

    template <class T> static void put(std::string& out, T v) {
        out.append(reinterpret_cast<const char*>(&v), sizeof v);
    }

    void encode(sqlite3_stmt* st, std::string& out) const {
        StatementRow r{st};
        for (std::size_t i = 0; i < cols_.size(); ++i) {
            switch (cols_[i].kind) {
            case Kind::Int: put(out, r.i64(i)); break;
            case Kind::Real: put(out, r.f64(i)); break;
            case Kind::Text: {
                std::string_view t = r.text(i);
                put(out, static_cast<uint32_t>(t.size()));
                out.append(t.data(), t.size());
                break;
            }
            }
        }
    }

    // Decodes a row into a record and, when given, the values of the key's
    // components (as stored, which is where keyset reads continue from).
    template <class Src>
    void decode(Src& src, void* rec, const KeySql* k, std::vector<Value>* keyValues) const {
        if (keyValues) keyValues->resize(k ? k->parts.size() : 0);
        for (std::size_t i = 0; i < cols_.size(); ++i) {
            const Column& c = cols_[i];
            const std::vector<int>* parts = k && keyValues ? &k->partsOfCol[i] : nullptr;
            switch (c.kind) {
            case Kind::Int: {
                int64_t v = src.i64(i);
                storeInt(c, rec, v);
                if (parts)
                    for (int p : *parts) (*keyValues)[static_cast<std::size_t>(p)] = Value(v);
                break;
            }
            case Kind::Real: {
                double v = src.f64(i);
                storeReal(c, rec, v);
                if (parts)
                    for (int p : *parts) (*keyValues)[static_cast<std::size_t>(p)] = Value(v);
                break;
            }
            case Kind::Text: {
                std::string_view v = src.text(i);
                storeText(c, rec, v);
                if (parts)
                    for (int p : *parts) (*keyValues)[static_cast<std::size_t>(p)] = Value(std::string(v));
                break;
            }
            }
        }
    }

    // The record just read becomes the current one and the sequence stands
    // at it.
    void standAt(ThreadState& s, int64_t row) {
        s.seq = ThreadState::Seq::At;
        s.row = row;
        s.current = row;
        s.currentIsSeq = true;
    }

    // Opening.

    int checkLayout(Database& d) {
        int regVersion = RegisteredVersion(def);
        if (regVersion == 0) regVersion = def.version;
        int stored = 0;
        std::string layout;
        bool catalogued = readCatalogue(d, stored, layout);
        if (catalogued && regVersion > 0 && stored > regVersion)
            return SetLastError(kInvalidRecordDeclaration, "47",
                                "The table is of version " + std::to_string(stored) + ", newer than this program's " +
                                    std::to_string(regVersion));
        if (catalogued && !layout.empty()) {
            if (layout != Table::LayoutOf(def))
                return SetLastError(kInvalidRecordDeclaration, "47", "The stored record layout does not match");
            return 0;
        }
        // No catalogue entry: the columns must be those of the definition.
        std::vector<std::string> have = columnsOf(d, sqlName_);
        std::vector<std::string> want;
        for (const Column& c : cols_) want.push_back(Upper(c.name));
        std::sort(have.begin(), have.end());
        std::sort(want.begin(), want.end());
        if (have != want)
            return SetLastError(kInvalidRecordDeclaration, "47", "The stored record layout does not match");
        return 0;
    }

    std::vector<std::string> columnsOf(Database& d, const std::string& table) {
        std::vector<std::string> out;
        sqlite3_stmt* st = d.Prepare("PRAGMA table_info(" + QuoteId(table) + ")");
        if (!st) return out;
        Resetter r{st};
        while (sqlite3_step(st) == SQLITE_ROW)
            out.push_back(Upper(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))));
        return out;
    }

    bool readCatalogue(Database& d, int& version, std::string& layout) {
        if (!d.TableExists("__tables")) return false;
        sqlite3_stmt* st = d.Prepare("SELECT version, layout FROM __tables WHERE name = ?1");
        if (!st) return false;
        Resetter r{st};
        sqlite3_bind_text(st, 1, sqlName_.data(), static_cast<int>(sqlName_.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(st) != SQLITE_ROW) return false;
        version = sqlite3_column_int(st, 0);
        const unsigned char* t = sqlite3_column_text(st, 1);
        layout = t ? reinterpret_cast<const char*>(t) : "";
        return true;
    }

    int writeCatalogue(Database& d, int version) {
        int rc = d.Exec(
            "CREATE TABLE IF NOT EXISTS __tables(name TEXT PRIMARY KEY COLLATE NOCASE, "
            "version INTEGER NOT NULL DEFAULT 0, layout TEXT NOT NULL DEFAULT '')");
        if (rc != SQLITE_OK) return d.Fail(rc);
        sqlite3_stmt* st = d.Prepare("INSERT OR REPLACE INTO __tables(name, version, layout) VALUES(?1, ?2, ?3)", &rc);
        if (!st) return d.Fail(rc);
        Resetter r{st};
        std::string layout = Table::LayoutOf(def);
        sqlite3_bind_text(st, 1, sqlName_.data(), static_cast<int>(sqlName_.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 2, version);
        sqlite3_bind_text(st, 3, layout.data(), static_cast<int>(layout.size()), SQLITE_TRANSIENT);
        rc = sqlite3_step(st);
        return rc == SQLITE_DONE ? 0 : d.Fail(rc);
    }

    // How many keys have their index, as the definition makes it.
    int keysPresent(Database& d) {
        int n = 0;
        for (const KeySql& k : keys_)
            if (indexSound(d, k)) ++n;
        return n;
    }

    bool indexSound(Database& d, const KeySql& k) {
        sqlite3_stmt* st = d.Prepare("SELECT sql FROM sqlite_master WHERE type='index' AND name = ?1 COLLATE NOCASE");
        if (!st) return false;
        Resetter r{st};
        std::string n = sqlName_ + "$" + k.shortName;
        sqlite3_bind_text(st, 1, n.data(), static_cast<int>(n.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(st) != SQLITE_ROW) return false;
        const unsigned char* t = sqlite3_column_text(st, 0);
        return t && Normalise(reinterpret_cast<const char*>(t)) == Normalise(createIndexSql(k));
    }

    int open(int openMode) override {
        TableName tn = tableName();
        std::string path = ResolveFilePath(tn.file);
        if (!FileExists(tn.file)) return SetLastError(kFileNotFound);
        int err = 0;
        std::shared_ptr<Database> d = Database::Acquire(path, def.ownerPassword, false, err);
        if (!d) return err;
        setSqlName(tn.table);
        bool exclusive = (openMode & 0x70) == kDenyAll;
        int wait;
        {
            std::lock_guard<std::mutex> l(m);
            wait = recoverSeconds * 1000;
        }
        if (d->AcquireShare(exclusive, wait))
            return SetLastError(kFileLocked, "32", "The file is in use by another program");
        auto fail = [&](int code) {
            d->ReleaseShare(exclusive);
            return code;
        };
        if (d->LockedByOther()) return fail(SetLastError(kFileLocked, "32", "The file is locked by another program"));
        std::lock_guard<std::recursive_mutex> l(d->mutex());
        if (!d->TableExists(sqlName_)) return fail(SetLastError(kFileNotFound));
        if (int e = checkLayout(*d)) return fail(e);
        for (const KeySql& k : keys_)
            if (!indexSound(*d, k))
                return fail(SetLastError(kKeyMustBeRebuilt, "46", "Key " + k.key->name + " must be rebuilt"));
        if ((openMode & 0x0f) != kReadOnly && d->ReadOnly())
            return fail(SetLastError(kAccessDenied, "5", "The file is read-only"));
        db_ = d;
        exclusive_ = exclusive;
        return 0;
    }

    void releaseShare() {
        if (db_) db_->ReleaseShare(exclusive_);
    }

    void close() override {
        if (!db_) return;
        {
            std::lock_guard<std::recursive_mutex> l(db_->mutex());
            releaseAllOf(getpid(), -1);
            db_->UnlockFile();
        }
        releaseShare();
        db_.reset();
    }

    std::shared_ptr<Database> database() override { return db_; }
    std::shared_ptr<Database> connection() override {
        int err = 0;
        return conn(err);
    }

    int attach() override {
        int err = 0;
        std::shared_ptr<Database> d = conn(err);
        if (!d) return err;
        std::lock_guard<std::recursive_mutex> l(d->mutex());
        return d->TableExists(sqlName_) ? 0 : SetLastError(kFileNotFound);
    }

    int create() override {
        TableName tn = tableName();
        std::string path = ResolveFilePath(tn.file);
        int err = 0;
        std::shared_ptr<Database> d = Database::Acquire(path, def.ownerPassword, true, err);
        if (!d) return err;
        MakeEmptyFilePrivate(path);
        if (int e = WriteFaultCheck()) return e;
        setSqlName(tn.table);
        int version = RegisteredVersion(def);
        if (version == 0) version = def.version;
        WriteScope ws(*d);
        if (ws.error()) return ws.error();
        int rc = d->Exec("DROP TABLE IF EXISTS " + T());
        if (rc == SQLITE_OK) rc = d->Exec(createTableSql(sqlName_));
        for (const KeySql& k : keys_)
            if (rc == SQLITE_OK) rc = d->Exec(createIndexSql(k));
        if (rc != SQLITE_OK) return d->Fail(rc);
        if (d->TableExists("__holds")) d->Exec("DELETE FROM __holds WHERE tbl = '" + ReplaceAll(sqlName_, "'", "''") + "'");
        if (int e = writeCatalogue(*d, version)) return e;
        if (int e = ws.Commit()) return e;
        d->ClearStatements();
        return 0;
    }

    int remove() override {
        TableName tn = tableName();
        if (!FileExists(tn.file)) return SetLastError(kFileNotFound);
        std::string path = ResolveFilePath(tn.file);
        int err = 0;
        std::shared_ptr<Database> d = Database::Acquire(path, def.ownerPassword, false, err);
        if (!d) return err;
        if (int e = WriteFaultCheck()) return e;
        setSqlName(tn.table);
        const std::string q = ReplaceAll(sqlName_, "'", "''");
        int others = 0;
        {
            WriteScope ws(*d);
            if (ws.error()) return ws.error();
            int rc = SQLITE_OK;
            // Table names are found in any case, as SQLite finds them.
            sqlite3_stmt* st = d->Prepare("SELECT count(*) FROM sqlite_master WHERE type='table' AND name COLLATE NOCASE "
                                          "NOT IN ('__tables', '__holds', '" + q + "')", &rc);
            if (!st) return d->Fail(rc);
            {
                Resetter r{st};
                if (sqlite3_step(st) != SQLITE_ROW) return d->Fail(sqlite3_errcode(d->db()));
                others = sqlite3_column_int(st, 0);
            }
            // The file's last table goes with the file: dropping it first
            // would visit every page of the table and of its keys (seconds
            // for a work file of a few hundred thousand rows).
            if (others > 0) {
                rc = d->Exec("DROP TABLE IF EXISTS " + T());
                if (rc != SQLITE_OK) return d->Fail(rc);
                if (d->TableExists("__tables")) d->Exec("DELETE FROM __tables WHERE name = '" + q + "'");
                if (d->TableExists("__holds")) d->Exec("DELETE FROM __holds WHERE tbl = '" + q + "'");
                if (int e = ws.Commit()) return e;
                d->ClearStatements();
            }
        }
        if (others == 0) {
            d.reset();
            Database::Forget(path);
            ::unlink(path.c_str());
            ::unlink((path + "-journal").c_str());
        }
        return 0;
    }

    // Reading.

    // Statements of the open table, prepared once and kept (the connection
    // owns them; a new statement generation, after a schema change, makes
    // them anew). Every use resets the statement before the engine returns.
    enum StmtKind : uint32_t { kReadStart = 1, kReadLevel, kGetKey, kReadRowId, kInsertRow, kUpdateRow, kDeleteRowId };

    uint32_t stmtId(StmtKind kind, const KeySql* k = nullptr, bool forward = true, int level = 0) const {
        uint32_t key = k ? static_cast<uint32_t>(k - keys_.data()) + 1 : 0;
        return kind | (key << 8) | (forward ? 1u << 20 : 0u) | (static_cast<uint32_t>(level) << 21);
    }

    template <class MakeSql>
    sqlite3_stmt* statement(Database& d, uint32_t id, MakeSql&& makeSql, int& rc) {
        if (&d != db_.get()) return d.Prepare(makeSql(), &rc);
        if (d.StatementGeneration() != stmtGeneration_) {
            stmts_.clear();
            stmtGeneration_ = d.StatementGeneration();
        }
        auto it = stmts_.find(id);
        if (it != stmts_.end()) {
            rc = SQLITE_OK;
            return it->second;
        }
        sqlite3_stmt* st = d.Prepare(makeSql(), &rc);
        if (st) stmts_.emplace(id, st);
        return st;
    }

    void setSqlName(const std::string& table) {
        if (sqlName_ == table) return;
        sqlName_ = table;
        stmts_.clear();
    }

    // A sequential read: from the start of the order (level -1), or on from
    // the values of a record: level n (all components equal, a later row
    // number), then each shorter equal prefix with the next component beyond
    // it. The row limit is the last parameter.
    std::string readSql(const KeySql* k, bool forward, int level) const {
        std::string sql = "SELECT " + select_ + " FROM " + T();
        int params = 0;
        if (level < 0) {
            if (k && !k->exclude.empty()) sql += " WHERE " + k->exclude;
        } else if (k) {
            std::string where;
            int n = static_cast<int>(k->parts.size());
            for (int i = 0; i < level && i < n; ++i)
                where += (where.empty() ? "" : " AND ") + k->parts[static_cast<std::size_t>(i)].expr + " = ?" +
                         std::to_string(++params);
            if (level < n) {
                const KeyPart& p = k->parts[static_cast<std::size_t>(level)];
                bool greater = forward != p.desc;
                where += (where.empty() ? "" : " AND ") + p.expr + (greater ? " > ?" : " < ?") +
                         std::to_string(++params);
            } else {
                where += (where.empty() ? "" : " AND ") + std::string(forward ? "rowid > ?" : "rowid < ?") +
                         std::to_string(++params);
            }
            if (!k->exclude.empty()) where += " AND " + k->exclude;
            sql += " WHERE " + where;
        } else {
            sql += std::string(forward ? " WHERE rowid > ?" : " WHERE rowid < ?") + std::to_string(++params);
        }
        return sql + orderBy(k, forward) + " LIMIT ?" + std::to_string(params + 1);
    }

    // Steps the records after (forward) or before the sequence's place in the
    // order of k, at most `limit`, handing each to onRow(statement) while the
    // statement stands on it; onRow returns false to stop. Each statement is
    // reset before the next one runs and before this returns. SQLite's result.
    template <class OnRow>
    int fetch(Database& d, const KeySql* k, bool forward, ThreadState::Seq seq, const std::vector<Value>& values,
              int64_t anchorRow, int limit, int& got, OnRow&& onRow) {
        got = 0;
        bool stopped = false;
        auto run = [&](sqlite3_stmt* st, int limitParam) -> int {
            Resetter r{st};
            sqlite3_bind_int(st, limitParam, limit - got);
            int rc;
            while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
                ++got;
                if (!onRow(st)) {
                    stopped = true;
                    return SQLITE_OK;
                }
            }
            return rc == SQLITE_DONE ? SQLITE_OK : rc;
        };
        int rc = SQLITE_OK;
        if (seq == ThreadState::Seq::Start) {
            sqlite3_stmt* st =
                statement(d, stmtId(kReadStart, k, forward), [&] { return readSql(k, forward, -1); }, rc);
            return st ? run(st, 1) : rc;
        }
        int64_t row = anchorRow;
        if (seq == ThreadState::Seq::Boundary) {
            if (k) row = forward ? INT64_MIN : INT64_MAX;
            else row = forward ? anchorRow - 1 : anchorRow + 1;
        }
        int n = k ? static_cast<int>(k->parts.size()) : 0;
        for (int level = n; level >= 0 && got < limit && !stopped; --level) {
            sqlite3_stmt* st = statement(
                d, stmtId(kReadLevel, k, forward, level), [&] { return readSql(k, forward, level); }, rc);
            if (!st) return rc;
            int params = 0;
            if (k) {
                int equal = level < n ? level + 1 : n;
                for (int i = 0; i < equal; ++i) {
                    const KeyPart& p = k->parts[static_cast<std::size_t>(i)];
                    Bind(st, ++params, static_cast<std::size_t>(i) < values.size() ? values[static_cast<std::size_t>(i)] : Value(),
                         cols_[static_cast<std::size_t>(p.col)].kind);
                }
                if (level == n) sqlite3_bind_int64(st, ++params, row);
            } else {
                sqlite3_bind_int64(st, ++params, row);
            }
            rc = run(st, params + 1);
            if (rc != SQLITE_OK || !k) return rc;
        }
        return SQLITE_OK;
    }

    // Rows read ahead are handed out without asking the file again while
    // this connection wrote nothing and, for changes of other programs, for
    // this long after the file's stamp was last looked at (one fstat): a
    // loop of reads looks at the file every so often, not at every record.
    static constexpr std::chrono::microseconds kTrustFor{100};
    static constexpr int kMaxFetch = 512;
    static constexpr std::size_t kMaxPageBytes = 256 * 1024;

    bool pageFresh(Database& d, ReadAhead& p) {
        if (p.ownChanges != d.OwnChanges()) return false;
        auto now = std::chrono::steady_clock::now();
        if (now - p.checked < kTrustFor) return true;
        if (d.FileStamp() != p.fileStamp) return false;
        p.checked = now;
        return true;
    }

    int next(ThreadState& s, bool forward) override {
        Database& d = *db_;
        std::lock_guard<std::recursive_mutex> l(d.mutex());
        const KeySql* k = keySql(s.key);
        if (s.key && !k) return SetLastError(kInvalidKeyLength);
        ReadAhead& p = s.page;
        // The same run of reads as the page's: hand out what it holds.
        bool continuing = p.valid && p.forward == forward;
        if (continuing && pageFresh(d, p)) {
            if (!p.empty()) {
                auto [row, offset] = p.rows[p.next++];
                EncodedRow r{p.bytes.data() + offset};
                decode(r, s.buffer.get(), k, &s.values);
                standAt(s, row);
                if (recoverSeconds > 0) clearDeadHold(row);
                return 0;
            }
            if (p.exhausted) return SetLastError(kRecordNotAvailable);
        }
        // A fetch: small after a SET, larger while the run goes on. The
        // first row goes straight into the buffer, the others are kept.
        int size = continuing ? std::min(std::max(p.fetch, 1) * 8, kMaxFetch) : 1;
        p.drop();
        p.ownChanges = d.OwnChanges();
        p.fileStamp = d.FileStamp();
        p.checked = std::chrono::steady_clock::now();
        std::vector<Value> firstValues;
        int64_t firstRow = 0;
        int got = 0;
        int rc = fetch(d, k, forward, s.seq, s.values, s.row, size, got, [&](sqlite3_stmt* st) {
            StatementRow r{st};
            if (got == 1) {
                firstRow = r.row();
                decode(r, s.buffer.get(), k, &firstValues);
            } else {
                p.rows.emplace_back(r.row(), static_cast<uint32_t>(p.bytes.size()));
                encode(st, p.bytes);
            }
            return p.bytes.size() < kMaxPageBytes;
        });
        if (rc != SQLITE_OK) {
            p.drop();
            return d.Fail(rc);
        }
        p.valid = true;
        p.forward = forward;
        p.fetch = size;
        p.exhausted = got < size && p.bytes.size() < kMaxPageBytes;
        if (got == 0) return SetLastError(kRecordNotAvailable);
        s.values.swap(firstValues);
        standAt(s, firstRow);
        if (recoverSeconds > 0) clearDeadHold(firstRow);
        return 0;
    }

    int readMany(ThreadState& s, bool forward, int count, std::vector<AnyRecord>& out,
                 std::vector<Position>* positions) override {
        Database& d = *db_;
        std::lock_guard<std::recursive_mutex> l(d.mutex());
        const KeySql* k = keySql(s.key);
        if (s.key && !k) return SetLastError(kInvalidKeyLength);
        s.dropPage();
        std::vector<int64_t> rows;
        rows.reserve(static_cast<std::size_t>(std::max(count, 0)));
        std::vector<Value> lastValues;
        int got = 0;
        int rc = SQLITE_OK;
        if (count > 0) {
            rc = fetch(d, k, forward, s.seq, s.values, s.row, count, got, [&](sqlite3_stmt* st) {
                std::size_t n = rows.size();
                StatementRow r{st};
                rows.push_back(r.row());
                std::vector<Value>* keyValues = &lastValues;
                if (positions) {
                    if (positions->size() <= n) positions->emplace_back();
                    Position& pos = (*positions)[n];
                    pos.key = s.key;
                    pos.row = rows.back();
                    keyValues = &pos.values;
                }
                decode(r, RecordAt(out, n, def).get(), k, keyValues);
                return true;
            });
        }
        std::size_t n = rows.size();
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(n), out.end());
        if (positions) positions->resize(n);
        int error = rc != SQLITE_OK ? d.Fail(rc) : 0;
        if (n == 0) return error ? error : count > 0 ? SetLastError(kRecordNotAvailable) : 0;
        def.copy(s.buffer.get(), out[n - 1].get());
        s.values = positions ? (*positions)[n - 1].values : std::move(lastValues);
        standAt(s, rows[n - 1]);
        if (recoverSeconds > 0)
            for (int64_t row : rows) clearDeadHold(row);
        return error;
    }

    int get(ThreadState& s, const KeyDef* key) override {
        const KeySql* k = keySql(key);
        if (!k) return SetLastError(kInvalidKeyLength);
        Database& d = *db_;
        std::lock_guard<std::recursive_mutex> l(d.mutex());
        int rc = 0;
        sqlite3_stmt* st = statement(d, stmtId(kGetKey, k), [&] {
            std::string sql = "SELECT " + select_ + " FROM " + T() + " WHERE ";
            for (std::size_t i = 0; i < k->parts.size(); ++i)
                sql += (i ? " AND " : "") + k->parts[i].expr + " = ?" + std::to_string(i + 1);
            if (!k->exclude.empty()) sql += " AND " + k->exclude;
            return sql + orderBy(k, true) + " LIMIT 1";
        }, rc);
        if (!st) return d.Fail(rc);
        int64_t row = 0;
        {
            Resetter r{st};
            // Copies of the texts: the buffer they come from is overwritten
            // while the statement still stands on the row.
            for (std::size_t i = 0; i < k->parts.size(); ++i)
                bindColumn(st, static_cast<int>(i) + 1, cols_[static_cast<std::size_t>(k->parts[i].col)],
                           s.buffer.get(), true);
            rc = sqlite3_step(st);
            if (rc == SQLITE_DONE) return SetLastError(kRecordNotFound);
            if (rc != SQLITE_ROW) return failRead(d, rc);
            StatementRow sr{st};
            row = sr.row();
            s.currentIsSeq = false;
            decode(sr, s.buffer.get(), keySql(s.key), &s.currentValues);
        }
        s.current = row;
        if (recoverSeconds > 0) clearDeadHold(row);
        return 0;
    }

    // Reads the record of a row number into `rec` (and the values of k when
    // given).
    int readRowId(Database& d, int64_t rowid, void* rec, const KeySql* k, std::vector<Value>* keyValues) {
        int rc = 0;
        sqlite3_stmt* st = statement(
            d, stmtId(kReadRowId), [&] { return "SELECT " + select_ + " FROM " + T() + " WHERE rowid = ?1"; }, rc);
        if (!st) return d.Fail(rc);
        Resetter r{st};
        sqlite3_bind_int64(st, 1, rowid);
        rc = sqlite3_step(st);
        if (rc == SQLITE_DONE) return SetLastError(kRecordNotFound);
        if (rc != SQLITE_ROW) return failRead(d, rc);
        StatementRow sr{st};
        decode(sr, rec, k, keyValues);
        return 0;
    }

    int reget(ThreadState& s, const Position& p) override {
        Database& d = *db_;
        std::lock_guard<std::recursive_mutex> l(d.mutex());
        s.keepCurrentKey();
        if (int e = readRowId(d, p.row, s.buffer.get(), keySql(s.key), &s.currentValues)) return e;
        s.current = p.row;
        if (recoverSeconds > 0) clearDeadHold(p.row);
        return 0;
    }

    // A read that met a damaged file: 46 when only the keys are damaged (a
    // build mends them), else the driver's error.
    int failRead(Database& d, int rc) {
        if ((rc & 0xff) == SQLITE_CORRUPT && onlyIndexesDamaged(d))
            return SetLastError(kKeyMustBeRebuilt, std::to_string(rc), "A key of the table is damaged");
        return d.Fail(rc);
    }

    bool onlyIndexesDamaged(Database& d) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(d.db(), "PRAGMA integrity_check(100)", -1, &st, nullptr) != SQLITE_OK) {
            sqlite3_finalize(st);
            return false;
        }
        bool onlyIndex = true, any = false;
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::string line = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            if (line == "ok") break;
            any = true;
            if (line.find("index") == std::string::npos) onlyIndex = false;
        }
        sqlite3_finalize(st);
        return any && onlyIndex;
    }

    // Writing.

    // Every record written passes here: a fault the tests set comes first,
    // as the driver's own failure would.
    int checkWritable(Database& d) {
        if (int e = WriteFaultCheck()) return e;
        if (d.LockedByOther()) return SetLastError(kFileLocked, "32", "The file is locked by another program");
        return 0;
    }

    std::string duplicateKey(Database& d, const void* rec, int64_t exclude) {
        for (const KeySql& k : keys_) {
            if (!k.key->unique()) continue;
            std::string sql = "SELECT 1 FROM " + T() + " WHERE ";
            for (std::size_t i = 0; i < k.parts.size(); ++i)
                sql += (i ? " AND " : "") + k.parts[i].expr + " = ?" + std::to_string(i + 1);
            if (!k.exclude.empty()) sql += " AND " + k.exclude;
            sql += " AND rowid <> ?" + std::to_string(k.parts.size() + 1) + " LIMIT 1";
            sqlite3_stmt* st = d.Prepare(sql);
            if (!st) continue;
            Resetter r{st};
            std::vector<Value> values = KeyValues(def, *k.key, rec);
            if (!k.exclude.empty()) {
                bool allEmpty = true;
                for (std::size_t i = 0; i < values.size(); ++i)
                    if (values[i].truthy() && values[i].toText() != "0") allEmpty = false;
                if (allEmpty) continue;
            }
            for (std::size_t i = 0; i < k.parts.size(); ++i)
                Bind(st, static_cast<int>(i) + 1, values[i], cols_[static_cast<std::size_t>(k.parts[i].col)].kind);
            sqlite3_bind_int64(st, static_cast<int>(k.parts.size()) + 1, exclude);
            if (sqlite3_step(st) == SQLITE_ROW) return k.key->name;
        }
        return {};
    }

    int failWrite(Database& d, int rc, const void* rec, int64_t exclude) {
        if ((rc & 0xff) == SQLITE_CONSTRAINT) {
            // The driver's words before the key search's own statements
            // overwrite them ("not an error").
            std::string said = sqlite3_errmsg(d.db());
            std::string key = duplicateKey(d, rec, exclude);
            // No unique key holds the values: some other rule refused the row.
            if (key.empty()) return d.Fail(rc, std::move(said));
            SetLastDuplicateKey(key);
            return SetLastError(kDuplicateKey, key, "Duplicate key " + key);
        }
        if ((rc & 0xff) == SQLITE_CORRUPT) return failRead(d, rc);
        return d.Fail(rc);
    }

    int insert(Database& d, ThreadState& s) {
        int rc = 0;
        sqlite3_stmt* st = statement(d, stmtId(kInsertRow), [&] {
            std::string sql = "INSERT INTO " + T() + "(";
            std::string vals;
            for (std::size_t i = 0; i < cols_.size(); ++i) {
                sql += (i ? ", " : "") + cols_[i].quoted;
                vals += (i ? ", ?" : "?") + std::to_string(i + 1);
            }
            return sql + ") VALUES(" + vals + ")";
        }, rc);
        if (!st) return d.Fail(rc);
        Resetter r{st};
        bindRecord(st, s.buffer.get(), 1);
        rc = sqlite3_step(st);
        if (rc != SQLITE_DONE) return failWrite(d, rc, s.buffer.get(), 0);
        s.current = sqlite3_last_insert_rowid(d.db());
        const KeySql* k = keySql(s.key);
        s.currentIsSeq = false;
        s.currentValues = k ? KeyValues(def, *k->key, s.buffer.get()) : std::vector<Value>{};
        return 0;
    }

    int add(ThreadState& s) override {
        Database& d = *db_;
        std::lock_guard<std::recursive_mutex> l(d.mutex());
        if (int e = checkWritable(d)) return e;
        return insert(d, s);
    }

    int addAuto(ThreadState& s, const KeyDef* key) override {
        const KeySql* k = keySql(key);
        if (!k || k->parts.empty()) return add(s);
        Database& d = *db_;
        std::lock_guard<std::recursive_mutex> l(d.mutex());
        if (int e = checkWritable(d)) return e;
        // The highest number and the insert as one write. Inside a
        // transaction (an import, a batch) the write lock is held already
        // and a failed INSERT undoes only itself: a savepoint per record
        // would only journal every index page the insert touches again.
        std::optional<WriteScope> ws;
        if (!d.InTransaction()) {
            ws.emplace(d);
            if (ws->error()) return ws->error();
        }
        const KeyPart& last = k->parts.back();
        const Column& lc = cols_[static_cast<std::size_t>(last.col)];
        bool within = (key->flags & kAutoWithinFirst) && k->parts.size() > 1;
        std::string sql = "SELECT max(" + lc.quoted + ") FROM " + T();
        if (within) sql += " WHERE " + k->parts.front().expr + " = ?1";
        int rc = 0;
        sqlite3_stmt* st = d.Prepare(sql, &rc);
        if (!st) return d.Fail(rc);
        int64_t next = 1;
        {
            Resetter r{st};
            if (within) {
                const Column& fc = cols_[static_cast<std::size_t>(k->parts.front().col)];
                Bind(st, 1, fc.field->get(s.buffer.get()), fc.kind);
            }
            rc = sqlite3_step(st);
            if (rc != SQLITE_ROW) return failRead(d, rc);
            if (sqlite3_column_type(st, 0) != SQLITE_NULL) next = sqlite3_column_int64(st, 0) + 1;
        }
        lc.field->set(s.buffer.get(), Value(next));
        if (int e = insert(d, s)) return e;
        return ws ? ws->Commit() : 0;
    }

    int put(ThreadState& s) override {
        Database& d = *db_;
        std::lock_guard<std::recursive_mutex> l(d.mutex());
        if (int e = checkWritable(d)) return e;
        int rc = 0;
        sqlite3_stmt* st = statement(d, stmtId(kUpdateRow), [&] {
            std::string sql = "UPDATE " + T() + " SET ";
            for (std::size_t i = 0; i < cols_.size(); ++i)
                sql += (i ? ", " : "") + cols_[i].quoted + " = ?" + std::to_string(i + 1);
            return sql + " WHERE rowid = ?" + std::to_string(cols_.size() + 1);
        }, rc);
        if (!st) return d.Fail(rc);
        Resetter r{st};
        bindRecord(st, s.buffer.get(), 1);
        sqlite3_bind_int64(st, static_cast<int>(cols_.size()) + 1, s.current);
        rc = sqlite3_step(st);
        if (rc != SQLITE_DONE) return failWrite(d, rc, s.buffer.get(), s.current);
        if (sqlite3_changes(d.db()) == 0) return SetLastError(kRecordNotAvailable);
        const KeySql* k = keySql(s.key);
        s.currentIsSeq = false;
        s.currentValues = k ? KeyValues(def, *k->key, s.buffer.get()) : std::vector<Value>{};
        return 0;
    }

    int del(ThreadState& s) override {
        Database& d = *db_;
        std::lock_guard<std::recursive_mutex> l(d.mutex());
        if (int e = checkWritable(d)) return e;
        int e = deleteRowIn(d, s.current);
        return e;
    }

    int deleteRowIn(Database& d, int64_t row) {
        int rc = 0;
        sqlite3_stmt* st =
            statement(d, stmtId(kDeleteRowId), [&] { return "DELETE FROM " + T() + " WHERE rowid = ?1"; }, rc);
        if (!st) return d.Fail(rc);
        {
            Resetter r{st};
            sqlite3_bind_int64(st, 1, row);
            rc = sqlite3_step(st);
            if (rc != SQLITE_DONE) return failRead(d, rc);
            if (sqlite3_changes(d.db()) == 0) return SetLastError(kRecordNotAvailable);
        }
        if (d.TableExists("__holds")) {
            sqlite3_stmt* h = d.Prepare("DELETE FROM __holds WHERE tbl = ?1 AND rid = ?2");
            if (h) {
                Resetter r{h};
                sqlite3_bind_text(h, 1, sqlName_.data(), static_cast<int>(sqlName_.size()), SQLITE_TRANSIENT);
                sqlite3_bind_int64(h, 2, row);
                sqlite3_step(h);
            }
        }
        return 0;
    }

    int64_t records(const KeyDef* key) override {
        Database& d = *db_;
        std::lock_guard<std::recursive_mutex> l(d.mutex());
        const KeySql* k = keySql(key);
        std::string sql = "SELECT count(*) FROM " + T();
        if (k && !k->exclude.empty()) sql += " WHERE " + k->exclude;
        int rc = 0;
        sqlite3_stmt* st = d.Prepare(sql, &rc);
        if (!st) {
            d.Fail(rc);
            return -1;
        }
        Resetter r{st};
        rc = sqlite3_step(st);
        if (rc != SQLITE_ROW) {
            failRead(d, rc);
            return -1;
        }
        return sqlite3_column_int64(st, 0);
    }

    int readMemo(int64_t row, const MemoDef& memo, std::size_t maxBytes, std::string& out) override {
        out.clear();
        Database& d = *db_;
        std::lock_guard<std::recursive_mutex> l(d.mutex());
        const std::string column = QuoteId(ColumnName(memo.name));
        const std::string sql = "SELECT substr(CAST(" + column + " AS BLOB), 1, ?1) FROM " + T() + " WHERE rowid = ?2";
        int rc = 0;
        sqlite3_stmt* st = d.Prepare(sql, &rc);
        if (!st) return d.Fail(rc);
        Resetter r{st};
        sqlite3_bind_int64(st, 1, static_cast<sqlite3_int64>(maxBytes));
        sqlite3_bind_int64(st, 2, row);
        rc = sqlite3_step(st);
        if (rc == SQLITE_DONE) return 35;
        if (rc != SQLITE_ROW) return failRead(d, rc);
        const void* bytes = sqlite3_column_blob(st, 0);
        const int n = sqlite3_column_bytes(st, 0);
        if (bytes && n > 0) out.assign(static_cast<const char*>(bytes), static_cast<std::size_t>(n));
        return 0;
    }

    // Holds, kept in the file so that every program sees them.

    int ensureHolds(Database& d) {
        int rc = d.Exec(
            "CREATE TABLE IF NOT EXISTS __holds(tbl TEXT COLLATE NOCASE, rid INTEGER, pid INTEGER, thread INTEGER, "
            "PRIMARY KEY(tbl, rid))");
        return rc == SQLITE_OK ? 0 : d.Fail(rc);
    }

    bool holder(Database& d, int64_t row, int64_t& pid, int64_t& thread) {
        if (!d.TableExists("__holds")) return false;
        sqlite3_stmt* st = d.Prepare("SELECT pid, thread FROM __holds WHERE tbl = ?1 AND rid = ?2");
        if (!st) return false;
        Resetter r{st};
        sqlite3_bind_text(st, 1, sqlName_.data(), static_cast<int>(sqlName_.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(st, 2, row);
        if (sqlite3_step(st) != SQLITE_ROW) return false;
        pid = sqlite3_column_int64(st, 0);
        thread = sqlite3_column_int64(st, 1);
        return true;
    }

    int hold(ThreadState& s, int thread) override {
        Database& d = *db_;
        std::lock_guard<std::recursive_mutex> l(d.mutex());
        int64_t pid = 0, th = 0;
        if (holder(d, s.current, pid, th) && ProcessAlive(pid) && !(pid == getpid() && th == thread))
            return SetLastError(kRecordHeld);
        if (int e = ensureHolds(d)) return e;
        sqlite3_stmt* st = d.Prepare("INSERT OR REPLACE INTO __holds(tbl, rid, pid, thread) VALUES(?1, ?2, ?3, ?4)");
        if (!st) return SetLastError(kDriverError, "", sqlite3_errmsg(d.db()));
        Resetter r{st};
        sqlite3_bind_text(st, 1, sqlName_.data(), static_cast<int>(sqlName_.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(st, 2, s.current);
        sqlite3_bind_int64(st, 3, getpid());
        sqlite3_bind_int64(st, 4, thread);
        int rc = sqlite3_step(st);
        return rc == SQLITE_DONE ? 0 : d.Fail(rc);
    }

    void releaseAllOf(int64_t pid, int thread) {
        Database& d = *db_;
        if (!d.TableExists("__holds")) return;
        std::string sql = "DELETE FROM __holds WHERE tbl = ?1 AND pid = ?2";
        if (thread >= 0) sql += " AND thread = ?3";
        sqlite3_stmt* st = d.Prepare(sql);
        if (!st) return;
        Resetter r{st};
        sqlite3_bind_text(st, 1, sqlName_.data(), static_cast<int>(sqlName_.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(st, 2, pid);
        if (thread >= 0) sqlite3_bind_int64(st, 3, thread);
        sqlite3_step(st);
    }

    int release(ThreadState&, int thread) override {
        std::lock_guard<std::recursive_mutex> l(db_->mutex());
        releaseAllOf(getpid(), thread);
        return 0;
    }

    void releaseAll(int thread) override {
        if (!db_) return;
        std::lock_guard<std::recursive_mutex> l(db_->mutex());
        releaseAllOf(getpid(), thread);
    }

    bool held(ThreadState& s) override {
        if (s.current == 0) return false;
        std::lock_guard<std::recursive_mutex> l(db_->mutex());
        int64_t pid, th;
        return holder(*db_, s.current, pid, th);
    }

    void clearDeadHold(int64_t row) {
        Database& d = *db_;
        int64_t pid, th;
        if (!holder(d, row, pid, th)) return;
        // A mark of a live program counts, unless this program has the file
        // to itself (deny-all): then no other program can hold a record and
        // the mark is stale, whatever process now carries its number.
        if (ProcessAlive(pid) && !(exclusive_ && pid != getpid())) return;
        sqlite3_stmt* st = d.Prepare("DELETE FROM __holds WHERE tbl = ?1 AND rid = ?2");
        if (!st) return;
        Resetter r{st};
        sqlite3_bind_text(st, 1, sqlName_.data(), static_cast<int>(sqlName_.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(st, 2, row);
        sqlite3_step(st);
    }

    // Building and packing.

    int build(const ProgressFn& progress) override {
        int err = 0;
        std::shared_ptr<Database> d = conn(err);
        if (!d) return err;
        std::lock_guard<std::recursive_mutex> l(d->mutex());
        if (!d->TableExists(sqlName_)) return SetLastError(kFileNotFound);
        if (d->TryExclusiveNow()) return SetLastError(kFileLocked, "32", "The file is in use by another program");
        struct End {
            Database& d;
            ~End() { d.EndExclusiveNow(); }
        } end{*d};
        ProgressCtx ctx;
        ctx.fn = &progress;
        int result = 0;
        {
            WriteScope ws(*d);
            if (ws.error()) return ws.error();
            // Every index of the table goes, the definition's are made anew.
            std::vector<std::string> indexes;
            sqlite3_stmt* st = d->Prepare(
                "SELECT name FROM sqlite_master WHERE type='index' AND tbl_name = ?1 COLLATE NOCASE AND sql IS NOT NULL");
            if (st) {
                Resetter r{st};
                sqlite3_bind_text(st, 1, sqlName_.data(), static_cast<int>(sqlName_.size()), SQLITE_TRANSIENT);
                while (sqlite3_step(st) == SQLITE_ROW)
                    indexes.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            }
            d->ClearStatements();
            int rc = SQLITE_OK;
            for (const std::string& i : indexes)
                if (rc == SQLITE_OK) rc = d->Exec("DROP INDEX " + QuoteId(i));
            sqlite3_progress_handler(d->db(), 20000, ProgressHandler, &ctx);
            int total = static_cast<int>(keys_.size());
            for (int i = 0; i < total && rc == SQLITE_OK; ++i) {
                ctx.percent = total ? i * 100 / total : 0;
                ctx.key = keys_[static_cast<std::size_t>(i)].key;
                if (progress && !progress(ctx.percent, ctx.key)) {
                    ctx.cancelled = true;
                    break;
                }
                rc = d->Exec(createIndexSql(keys_[static_cast<std::size_t>(i)]));
            }
            sqlite3_progress_handler(d->db(), 0, nullptr, nullptr);
            if (ctx.cancelled) {
                result = SetLastError(kDriverError, "9", "The build was cancelled");
            } else if (rc != SQLITE_OK) {
                result = (rc & 0xff) == SQLITE_CONSTRAINT
                             ? SetLastError(kDuplicateKey, ctx.key ? ctx.key->name : "", "Duplicate key values")
                             : d->Fail(rc);
            } else {
                result = ws.Commit();
            }
        }
        d->ClearStatements();
        if (!result && progress) progress(100, nullptr);
        return result;
    }

    int pack(const ProgressFn& progress) override {
        int err = 0;
        std::shared_ptr<Database> d = conn(err);
        if (!d) return err;
        std::lock_guard<std::recursive_mutex> l(d->mutex());
        if (!d->TableExists(sqlName_)) return SetLastError(kFileNotFound);
        if (d->InTransaction()) return SetLastError(kTransactionActive);
        if (d->TryExclusiveNow()) return SetLastError(kFileLocked, "32", "The file is in use by another program");
        struct End {
            Database& d;
            ~End() { d.EndExclusiveNow(); }
        } end{*d};
        if (progress && !progress(0, nullptr)) return SetLastError(kDriverError, "9", "The pack was cancelled");
        ProgressCtx ctx;
        ctx.fn = &progress;
        ctx.percent = 50;
        d->ClearStatements();
        sqlite3_progress_handler(d->db(), 20000, ProgressHandler, &ctx);
        int rc = d->Exec("VACUUM");
        sqlite3_progress_handler(d->db(), 0, nullptr, nullptr);
        if (ctx.cancelled) return SetLastError(kDriverError, "9", "The pack was cancelled");
        if (rc != SQLITE_OK) return d->Fail(rc);
        if (progress) progress(100, nullptr);
        return 0;
    }

    int lock() override {
        if (db_->LockFile()) return SetLastError(kFileLocked, "32", "The file is locked by another program");
        return 0;
    }

    int unlock() override {
        db_->UnlockFile();
        return 0;
    }

    // Catalogue and upgrade.

    int storedVersion() override {
        int err = 0;
        std::shared_ptr<Database> d = conn(err);
        if (!d) return 0;
        std::lock_guard<std::recursive_mutex> l(d->mutex());
        int v = 0;
        std::string layout;
        readCatalogue(*d, v, layout);
        return v;
    }

    std::string storedLayout() override {
        int err = 0;
        std::shared_ptr<Database> d = conn(err);
        if (!d) return {};
        std::lock_guard<std::recursive_mutex> l(d->mutex());
        int v = 0;
        std::string layout;
        readCatalogue(*d, v, layout);
        return layout;
    }

    std::string convertExpr(const Column& c, const std::string& old) const {
        std::string q = QuoteId(old);
        switch (c.kind) {
        case Kind::Int: return "CAST(" + q + " AS INTEGER)";
        case Kind::Real: return "CAST(" + q + " AS REAL)";
        case Kind::Text: break;
        }
        if (c.memo) return "substr(CAST(" + q + " AS TEXT), 1, " + std::to_string(c.memo->size) + ")";
        if (c.field->type == FieldType::CString)
            return "substr(CAST(" + q + " AS TEXT), 1, " + std::to_string(std::max(0, c.field->size - 1)) + ")";
        return "rtrim(substr(CAST(" + q + " AS TEXT), 1, " + std::to_string(c.field->size) + "), ' ')";
    }

    int convert(int version, const std::vector<std::pair<std::string, std::string>>& alternates,
                const void* defaults) override {
        int err = 0;
        std::shared_ptr<Database> d = conn(err);
        if (!d) return err;
        std::lock_guard<std::recursive_mutex> l(d->mutex());
        if (!d->TableExists(sqlName_)) return SetLastError(kFileNotFound);
        if (d->TryExclusiveNow()) return SetLastError(kFileLocked, "32", "The file is in use by another program");
        struct End {
            Database& d;
            ~End() { d.EndExclusiveNow(); }
        } end{*d};
        std::vector<std::string> old = columnsOf(*d, sqlName_);
        auto hasOld = [&](const std::string& n) { return std::find(old.begin(), old.end(), Upper(n)) != old.end(); };
        std::string tmp = sqlName_ + "__upgrade";
        std::string insert = "INSERT INTO " + QuoteId(tmp) + "(";
        std::string select = "SELECT ";
        std::vector<std::pair<int, Value>> params;
        for (std::size_t i = 0; i < cols_.size(); ++i) {
            const Column& c = cols_[i];
            insert += (i ? ", " : "") + c.quoted;
            std::string from;
            if (hasOld(c.name)) {
                from = c.name;
            } else {
                std::string full = c.field ? c.field->name : c.memo->name;
                for (const auto& [earlier, current] : alternates)
                    if (EqualNoCase(current, full) && hasOld(ColumnName(earlier))) from = ColumnName(earlier);
            }
            if (i) select += ", ";
            if (!from.empty()) {
                select += convertExpr(c, from);
            } else {
                int idx = static_cast<int>(params.size()) + 1;
                select += "?" + std::to_string(idx);
                Value v = c.field ? c.field->get(defaults) : Value(c.memo->get(defaults));
                params.emplace_back(static_cast<int>(i), v);
            }
        }
        insert += ") " + select + " FROM " + T();
        auto fail47 = [&](const std::string& why) {
            return SetLastError(kInvalidRecordDeclaration, "47", "The table could not be converted: " + why);
        };
        int result = 0;
        {
            WriteScope ws(*d);
            if (ws.error()) return ws.error();
            d->ClearStatements();
            int rc = d->Exec("DROP TABLE IF EXISTS " + QuoteId(tmp));
            if (rc == SQLITE_OK) rc = d->Exec(createTableSql(tmp));
            if (rc == SQLITE_OK) {
                sqlite3_stmt* st = nullptr;
                rc = sqlite3_prepare_v2(d->db(), insert.c_str(), -1, &st, nullptr);
                if (rc == SQLITE_OK) {
                    for (std::size_t p = 0; p < params.size(); ++p)
                        Bind(st, static_cast<int>(p) + 1, params[p].second,
                             cols_[static_cast<std::size_t>(params[p].first)].kind);
                    rc = sqlite3_step(st);
                    if (rc == SQLITE_DONE) rc = SQLITE_OK;
                }
                sqlite3_finalize(st);
            }
            if (rc == SQLITE_OK) rc = d->Exec("DROP TABLE " + T());
            if (rc == SQLITE_OK) rc = d->Exec("ALTER TABLE " + QuoteId(tmp) + " RENAME TO " + T());
            for (const KeySql& k : keys_)
                if (rc == SQLITE_OK) rc = d->Exec(createIndexSql(k));
            if (rc != SQLITE_OK) {
                std::string why = sqlite3_errmsg(d->db());
                result = (rc & 0xff) == SQLITE_FULL || (rc & 0xff) == SQLITE_BUSY ? d->Fail(rc) : fail47(why);
            } else if (int e = writeCatalogue(*d, version)) {
                result = e;
            } else {
                result = ws.Commit();
            }
        }
        d->ClearStatements();
        return result;
    }

    // Relations' support.

    int forEachMatch(const KeyDef* key, const std::vector<const FieldDef*>& fields, const std::vector<Value>& values,
                     const std::function<bool(int64_t, const void*)>& fn) override {
        int err = 0;
        std::shared_ptr<Database> d = conn(err);
        if (!d) return err == kFileNotFound ? 0 : err;
        std::lock_guard<std::recursive_mutex> l(d->mutex());
        if (!d->TableExists(sqlName_)) return 0;
        const KeySql* k = keySql(key);
        bool nocase = !(key && key->caseSensitive());
        std::string sql = "SELECT " + select_ + " FROM " + T() + " WHERE ";
        for (std::size_t i = 0; i < fields.size(); ++i) {
            int col = fieldCol_[static_cast<std::size_t>(fields[i]->number - 1)];
            const Column& c = cols_[static_cast<std::size_t>(col)];
            sql += (i ? " AND " : "") + c.quoted + (c.kind == Kind::Text && nocase ? " COLLATE NOCASE" : "") + " = ?" +
                   std::to_string(i + 1);
        }
        sql += orderBy(k, true);
        int rc = 0;
        sqlite3_stmt* st = d->Prepare(sql, &rc);
        if (!st) return d->Fail(rc);
        // The rows are read first: the callback may write to the file.
        ReadAhead rows;
        {
            Resetter r{st};
            for (std::size_t i = 0; i < fields.size(); ++i) {
                int col = fieldCol_[static_cast<std::size_t>(fields[i]->number - 1)];
                Bind(st, static_cast<int>(i) + 1, values[i], cols_[static_cast<std::size_t>(col)].kind);
            }
            while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
                rows.rows.emplace_back(sqlite3_column_int64(st, 0), static_cast<uint32_t>(rows.bytes.size()));
                encode(st, rows.bytes);
            }
            if (rc != SQLITE_DONE) return failRead(*d, rc);
        }
        AnyRecord scratch(def);
        for (auto [row, offset] : rows.rows) {
            EncodedRow r{rows.bytes.data() + offset};
            decode(r, scratch.get(), nullptr, nullptr);
            if (!fn(row, scratch.get())) break;
        }
        return 0;
    }

    int deleteRow(int64_t row) override {
        int err = 0;
        std::shared_ptr<Database> d = conn(err);
        if (!d) return err;
        std::lock_guard<std::recursive_mutex> l(d->mutex());
        if (int e = checkWritable(*d)) return e;
        return deleteRowIn(*d, row);
    }

    int updateRowFields(int64_t row, const std::vector<const FieldDef*>& fields,
                        const std::vector<Value>& values) override {
        int err = 0;
        std::shared_ptr<Database> d = conn(err);
        if (!d) return err;
        std::lock_guard<std::recursive_mutex> l(d->mutex());
        if (int e = checkWritable(*d)) return e;
        std::string sql = "UPDATE " + T() + " SET ";
        for (std::size_t i = 0; i < fields.size(); ++i) {
            int col = fieldCol_[static_cast<std::size_t>(fields[i]->number - 1)];
            sql += (i ? ", " : "") + cols_[static_cast<std::size_t>(col)].quoted + " = ?" + std::to_string(i + 1);
        }
        sql += " WHERE rowid = ?" + std::to_string(fields.size() + 1);
        int rc = 0;
        sqlite3_stmt* st = d->Prepare(sql, &rc);
        if (!st) return d->Fail(rc);
        Resetter r{st};
        for (std::size_t i = 0; i < fields.size(); ++i) {
            int col = fieldCol_[static_cast<std::size_t>(fields[i]->number - 1)];
            // The value as the field would hold it (cut to its width).
            AnyRecord tmp(def);
            fields[i]->set(tmp.get(), values[i]);
            Bind(st, static_cast<int>(i) + 1, fields[i]->get(tmp.get()), cols_[static_cast<std::size_t>(col)].kind);
        }
        sqlite3_bind_int64(st, static_cast<int>(fields.size()) + 1, row);
        rc = sqlite3_step(st);
        if (rc != SQLITE_DONE) {
            if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) {
                SetLastDuplicateKey("");
                return SetLastError(kDuplicateKey, "", "Duplicate key");
            }
            return d->Fail(rc);
        }
        return sqlite3_changes(d->db()) ? 0 : SetLastError(kRecordNotAvailable);
    }

    int readRow(int64_t row, void* record) override {
        int err = 0;
        std::shared_ptr<Database> d = conn(err);
        if (!d) return err;
        std::lock_guard<std::recursive_mutex> l(d->mutex());
        return readRowId(*d, row, record, nullptr, nullptr);
    }

    void fillStatistics(TableStatistics& s) override {
        int err = 0;
        std::shared_ptr<Database> d = conn(err);
        if (!d) return;
        std::lock_guard<std::recursive_mutex> l(d->mutex());
        struct stat st {};
        if (::stat(d->path().c_str(), &st) == 0) s.fileBytes = st.st_size;
        if (!d->TableExists(sqlName_)) return;
        int v = 0;
        std::string layout;
        readCatalogue(*d, v, layout);
        s.storedVersion = v;
        s.keysPresent = keysPresent(*d);
        sqlite3_stmt* c = d->Prepare("SELECT count(*) FROM " + T());
        if (c) {
            Resetter r{c};
            if (sqlite3_step(c) == SQLITE_ROW) s.records = sqlite3_column_int64(c, 0);
        }
    }

private:
    std::vector<Column> cols_;
    std::vector<int> fieldCol_;
    std::vector<KeySql> keys_;
    std::string select_;
    std::unordered_map<uint32_t, sqlite3_stmt*> stmts_;
    uint64_t stmtGeneration_ = 0;
    std::shared_ptr<Database> db_;
    std::string sqlName_;
    bool exclusive_ = false;
};

}  // namespace

std::unique_ptr<Table::Impl> MakeSqlImpl(Table& t, const TableDef& def) {
    return std::make_unique<SqlImpl>(t, def);
}

}  // namespace kr::data
