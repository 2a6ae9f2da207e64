#include "repair/Salvage.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "platform/data/DataFileCheck.h"
#include "platform/data/WorkCopies.h"
#include "platform/runtime/WriteCauses.h"
#include "repair/PageSalvage.h"

namespace kr::repair {

namespace {

// The byte every program of the suite locks (shared) while it has the file
// open; the repair holds it exclusively while it replaces the file.
constexpr off_t kShareByte = 0x50000000;
// Rowids read per range.
constexpr int64_t kRange = 4096;
// The widest step of the probes past a damaged stretch.
constexpr int64_t kMaxStride = 16;

std::string Quote(const std::string& id) {
    std::string out = "\"";
    for (char c : id) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

bool FileExistsAt(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// The file a name leads to: a symbolic link is followed to the file it
// names, so that a repair replaces that file, in its own folder, and the
// link stays a link to it. A name that is no link (or a broken one) is
// itself.
std::string FileNamedBy(const std::string& name) {
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
    char* real = ::realpath(name.c_str(), nullptr);
    if (!real) return name;
    std::string resolved = real;
    std::free(real);
    return resolved;
}

std::string FolderOf(const std::string& name) {
    const std::filesystem::path folder = std::filesystem::path(name).parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

void SplitNamePassword(const std::string& arg, std::string& name, std::string& password) {
    const std::size_t q = arg.rfind('?');
    if (q == std::string::npos) {
        name = arg;
        password.clear();
    } else {
        name = arg.substr(0, q);
        password = arg.substr(q + 1);
    }
}

struct Db {
    sqlite3* db = nullptr;
    ~Db() {
        if (db) sqlite3_close_v2(db);
    }
    bool Open(const std::string& path, const std::string& password, int flags) {
        if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) return false;
        if (!password.empty()) sqlite3_key(db, password.data(), static_cast<int>(password.size()));
        // A file shorter than its header says is read as far as it goes
        // rather than refused; the connection never writes.
        if (flags & SQLITE_OPEN_READONLY) sqlite3_exec(db, "PRAGMA writable_schema = ON", nullptr, nullptr, nullptr);
        return sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    std::string Error() const { return db ? sqlite3_errmsg(db) : "out of memory"; }
};

// The damaged file, read-only.
class Source {
public:
    bool Open(const std::string& path, const std::string& password) {
        return db_.Open(path, password, SQLITE_OPEN_READONLY);
    }
    sqlite3* get() { return db_.db; }
    void Close() {
        sqlite3_close_v2(db_.db);
        db_.db = nullptr;
    }
    std::string Error() const { return db_.Error(); }

private:
    Db db_;
};

struct Stmt {
    sqlite3_stmt* st = nullptr;
    Stmt(sqlite3* db, const std::string& sql) { sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr); }
    ~Stmt() { sqlite3_finalize(st); }
    explicit operator bool() const { return st != nullptr; }
};

struct SchemaItem {
    std::string type, name, table, sql;
};

// The tables and indexes of a file; *whole false when the schema's pages
// could not all be read.
std::vector<SchemaItem> ReadSchema(sqlite3* db, bool* whole = nullptr) {
    std::vector<SchemaItem> out;
    if (whole) *whole = false;
    Stmt s(db, "SELECT type, name, tbl_name, sql FROM sqlite_master WHERE sql IS NOT NULL AND name NOT LIKE 'sqlite_%' "
               "ORDER BY type = 'index', rowid");
    if (!s) return out;
    int rc;
    while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
        SchemaItem i;
        for (int c = 0; c < 4; ++c) {
            const unsigned char* t = sqlite3_column_text(s.st, c);
            std::string v = t ? reinterpret_cast<const char*>(t) : "";
            if (c == 0) i.type = v;
            if (c == 1) i.name = v;
            if (c == 2) i.table = v;
            if (c == 3) i.sql = v;
        }
        out.push_back(std::move(i));
    }
    if (whole) *whole = rc == SQLITE_DONE;
    return out;
}

// The columns of a table of the example file as the page reader matches
// rows against them.
PageTableShape ShapeOf(sqlite3* db, const std::string& table) {
    PageTableShape shape;
    shape.name = table;
    Stmt s(db, "PRAGMA table_info(" + Quote(table) + ")");
    while (s && sqlite3_step(s.st) == SQLITE_ROW) {
        const unsigned char* t = sqlite3_column_text(s.st, 2);
        std::string type = t ? reinterpret_cast<const char*>(t) : "";
        for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        PageColumn c;
        // SQLite's affinity rules, for the types the engine declares.
        if (type.find("INT") != std::string::npos) c.kind = 'i';
        else if (type.find("CHAR") != std::string::npos || type.find("TEXT") != std::string::npos) c.kind = 't';
        else if (type.find("REAL") != std::string::npos || type.find("DOUB") != std::string::npos) c.kind = 'r';
        c.notNull = sqlite3_column_int(s.st, 3) != 0;
        shape.columns.push_back(c);
    }
    return shape;
}

std::string PragmaText(sqlite3* db, const std::string& pragma) {
    Stmt s(db, "PRAGMA " + pragma);
    const unsigned char* t = s && sqlite3_step(s.st) == SQLITE_ROW ? sqlite3_column_text(s.st, 0) : nullptr;
    return t ? reinterpret_cast<const char*>(t) : "";
}

// How the example file, written by the same engine with the same password,
// lays out its pages: the damaged file's own header cannot be trusted.
PageFormat FormatOf(sqlite3* example, const std::string& examplePath, bool encrypted) {
    PageFormat f;
    f.encrypted = encrypted;
    if (const int size = std::atoi(PragmaText(example, "page_size").c_str()); size >= 512) f.pageSize = size;
    if (encrypted) {
        if (const int rounds = std::atoi(PragmaText(example, "kdf_iter").c_str()); rounds > 0) f.kdfIterations = rounds;
    } else {
        // A plain file's header gives its reserve at byte 20.
        unsigned char head[21] = {};
        const int fd = ::open(examplePath.c_str(), O_RDONLY | O_CLOEXEC);
        f.reserve = fd >= 0 && ::pread(fd, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head) ? head[20] : 0;
        if (fd >= 0) ::close(fd);
    }
    return f;
}

std::vector<std::string> Columns(sqlite3* db, const std::string& table) {
    std::vector<std::string> out;
    Stmt s(db, "PRAGMA table_info(" + Quote(table) + ")");
    if (!s) return out;
    while (sqlite3_step(s.st) == SQLITE_ROW)
        out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s.st, 1)));
    return out;
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// The rows of one table of the source copied into the target.
class TableCopy {
public:
    TableCopy(Source& src, sqlite3* dst, const std::string& table) : src_(src), dst_(dst), table_(table) {
        const std::vector<std::string> target = Columns(dst, table);
        sourceColumns_ = Columns(src.get(), table);
        for (const std::string& c : target)
            for (std::size_t i = 0; i < sourceColumns_.size(); ++i)
                if (SameName(c, sourceColumns_[i])) {
                    columns_.push_back(c);
                    sourcePosition_.push_back(static_cast<int>(i));
                    break;
                }
        std::string list;
        for (const std::string& c : columns_) list += ", " + Quote(c);
        select_ = "SELECT rowid" + list + " FROM " + Quote(table);
        std::string marks;
        for (std::size_t i = 0; i <= columns_.size(); ++i) marks += i ? ", ?" : "?";
        insert_ = "INSERT INTO " + Quote(table) + "(rowid" + list + ") VALUES(" + marks + ")";
    }

    bool SourceHasTable() { return !Columns(src_.get(), table_).empty(); }

    // Reads [lo, hi]. Past a place that fails to read, the next rowid that
    // can be reached is found by probing ever further ahead and then
    // narrowing back, so a damaged stretch costs a few probes, not one per
    // rowid, and no readable row after it is missed.
    void ReadRange(int64_t lo, int64_t hi) {
        int64_t pos = lo;
        while (pos <= hi) {
            int64_t last = pos - 1;
            if (ScanRange(pos, hi, last)) return;
            const int64_t bad = last + 1;  // the read failed at or after it
            ReadOne(bad);
            // Steps double up to kMaxStride rowids, so a sound page between
            // two damaged ones (it holds more rows than that) is not jumped.
            int64_t at = bad, step = 1, good = 0, failed = bad;
            while (at + step <= hi) {
                if (Reachable(at + step)) {
                    good = at + step;
                    break;
                }
                failed = at += step;
                step = std::min<int64_t>(step * 2, kMaxStride);
            }
            if (!good) {
                if (hi > bad) ReadOne(hi);
                unreachable_.emplace_back(bad + 1, hi - 1);
                return;
            }
            while (good - failed > 1) {
                const int64_t mid = failed + (good - failed) / 2;
                if (Reachable(mid)) good = mid;
                else failed = mid;
            }
            unreachable_.emplace_back(bad + 1, good - 1);
            pos = good;
        }
    }

    // Whether a read starting at the rowid gets past its first row.
    bool Reachable(int64_t row) {
        Stmt s(src_.get(), "SELECT rowid FROM " + Quote(table_) + " WHERE rowid >= ?1 ORDER BY rowid LIMIT 1");
        if (!s) return false;
        sqlite3_bind_int64(s.st, 1, row);
        const int rc = sqlite3_step(s.st);
        if (rc == SQLITE_ROW || rc == SQLITE_DONE) return true;
        return false;
    }

    // Every row the table's readable structure gives, then the rows its
    // indexes list that are still missing.
    void Run(const std::vector<SchemaItem>& sourceIndexes) {
        int64_t lo = 1, hi = 0;
        bool bounds = false;
        {
            Stmt s(src_.get(), "SELECT min(rowid), max(rowid) FROM " + Quote(table_));
            if (s && sqlite3_step(s.st) == SQLITE_ROW) {
                bounds = true;  // an empty table has none
                if (sqlite3_column_type(s.st, 0) != SQLITE_NULL) {
                    lo = sqlite3_column_int64(s.st, 0);
                    hi = sqlite3_column_int64(s.st, 1);
                }
            }
        }
        if (!bounds) {
            // The ends of the table cannot be found: read from the start as
            // far as it goes and look a stretch beyond.
            Stmt s(src_.get(), "SELECT rowid FROM " + Quote(table_) + " ORDER BY rowid");
            int64_t last = 0;
            while (s && sqlite3_step(s.st) == SQLITE_ROW) last = sqlite3_column_int64(s.st, 0);
            lo = 1;
            hi = last + kRange * 16;
        }
        if (!bounds) ++uncountable_;
        std::set<int64_t> listed = IndexedRows(sourceIndexes);
        if (!listed.empty()) {
            lo = std::min(lo, *listed.begin());
            hi = std::max(hi, *listed.rbegin());
        }
        for (int64_t a = lo; a <= hi; a += kRange) ReadRange(a, std::min(hi, a + kRange - 1));
        for (int64_t row : listed) {
            if (saved_.count(row)) continue;
            // A row inside a stretch no read could enter is lost without
            // another try (each failed try costs opening the file again).
            if (InUnreachable(row) || !ReadOne(row)) missing_.insert(row);
        }
    }

    // Rows an index lists that no read through the table reached.
    const std::set<int64_t>& missing() const { return missing_; }
    std::size_t SourceColumnCount() const { return sourceColumns_.size(); }

    // A row read from a page on its own (column 0 the rowid, then the
    // record's fields in the source table's order): saved when it is one of
    // the missing rows and its values agree with what the index lists.
    void TakeOrphan(sqlite3_stmt* st) {
        const int64_t row = sqlite3_column_int64(st, 0);
        auto m = missing_.find(row);
        if (m == missing_.end()) return;
        auto key = keys_.find(row);
        if (key == keys_.end()) return;
        for (std::size_t k = 0; k < keyPositions_.size(); ++k) {
            const unsigned char* t = sqlite3_column_text(st, 1 + keyPositions_[k]);
            if (!t || key->second[k] != reinterpret_cast<const char*>(t)) return;
        }
        if (!ins_) sqlite3_prepare_v2(dst_, insert_.c_str(), -1, &ins_, nullptr);
        if (!ins_) return;
        sqlite3_bind_int64(ins_, 1, row);
        for (std::size_t i = 0; i < columns_.size(); ++i)
            sqlite3_bind_value(ins_, static_cast<int>(i) + 2, sqlite3_column_value(st, 1 + sourcePosition_[i]));
        const int rc = sqlite3_step(ins_);
        sqlite3_reset(ins_);
        NoteWrite(rc);
        if (rc == SQLITE_DONE) {
            saved_.insert(row);
            missing_.erase(m);
        }
    }

    bool InUnreachable(int64_t row) const {
        for (const auto& [a, b] : unreachable_)
            if (row >= a && row <= b) return true;
        return false;
    }

    // The first write to the new file that failed other than by a key's
    // refusal (a full disk rolls the whole transaction back); 0 when none.
    int writeError() const { return writeError_; }
    void NoteWrite(int rc) {
        if (!writeError_ && rc != SQLITE_DONE && (rc & 0xff) != SQLITE_CONSTRAINT) writeError_ = rc;
    }

    int64_t saved() const { return static_cast<int64_t>(saved_.size()); }
    int64_t lost() const { return static_cast<int64_t>(missing_.size()); }
    // Damaged places of the table whose rows cannot be counted: a stretch
    // no read could enter, when no whole index lists every row of the table
    // (none, only partial ones, or one the damage cut short).
    int64_t uncounted() const {
        return uncountable_ + (wholeIndex_ ? 0 : static_cast<int64_t>(unreachable_.size()));
    }

private:
    // True when the whole range was read; `last` is the last rowid read.
    bool ScanRange(int64_t lo, int64_t hi, int64_t& last) {
        Stmt s(src_.get(), select_ + " WHERE rowid BETWEEN ?1 AND ?2 ORDER BY rowid");
        if (!s) return false;
        sqlite3_bind_int64(s.st, 1, lo);
        sqlite3_bind_int64(s.st, 2, hi);
        int rc;
        while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
            last = sqlite3_column_int64(s.st, 0);
            Save(s.st);
        }
        if (rc == SQLITE_DONE) last = hi;
        return rc == SQLITE_DONE;
    }

    bool ReadOne(int64_t row) {
        if (saved_.count(row)) return true;
        Stmt s(src_.get(), select_ + " WHERE rowid = ?1");
        if (!s) return false;
        sqlite3_bind_int64(s.st, 1, row);
        const int rc = sqlite3_step(s.st);
        if (rc == SQLITE_ROW) {
            Save(s.st);
            return true;
        }
        return false;
    }

    void Save(sqlite3_stmt* from) {
        const int64_t row = sqlite3_column_int64(from, 0);
        if (saved_.count(row)) return;
        if (!ins_) sqlite3_prepare_v2(dst_, insert_.c_str(), -1, &ins_, nullptr);
        if (!ins_) return;
        for (int i = 0; i <= static_cast<int>(columns_.size()); ++i)
            sqlite3_bind_value(ins_, i + 1, sqlite3_column_value(from, i));
        const int rc = sqlite3_step(ins_);
        sqlite3_reset(ins_);
        NoteWrite(rc);
        // A row the new file's keys refuse (a duplicate the damage made) is
        // not saved; the index pass counts it lost if an index lists it.
        if (rc == SQLITE_DONE) saved_.insert(row);
    }

    // The rowids the table's indexes list, as far as each can be read.
    std::set<int64_t> IndexedRows(const std::vector<SchemaItem>& indexes) {
        std::set<int64_t> rows;
        for (const SchemaItem& i : indexes) {
            if (!SameName(i.table, table_)) continue;
            std::string where;
            const std::size_t w = i.sql.rfind(" WHERE ");
            if (w != std::string::npos) where = i.sql.substr(w);
            // The first index also gives each row's key values, which
            // tell a row found on a page of its own from another table's.
            std::vector<int> positions;
            std::string list;
            if (keyPositions_.empty()) {
                Stmt info(src_.get(), "PRAGMA index_info(" + Quote(i.name) + ")");
                while (info && sqlite3_step(info.st) == SQLITE_ROW) {
                    const unsigned char* n = sqlite3_column_text(info.st, 2);
                    int at = -1;
                    for (std::size_t c = 0; n && c < sourceColumns_.size(); ++c)
                        if (SameName(sourceColumns_[c], reinterpret_cast<const char*>(n))) at = static_cast<int>(c);
                    if (at < 0) {
                        positions.clear();
                        break;
                    }
                    positions.push_back(at);
                    list += ", " + Quote(sourceColumns_[static_cast<std::size_t>(at)]);
                }
            }
            Stmt s(src_.get(), "SELECT rowid" + list + " FROM " + Quote(table_) + " INDEXED BY " + Quote(i.name) + where);
            if (!s) continue;
            if (!positions.empty()) keyPositions_ = positions;
            int rc;
            while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
                const int64_t row = sqlite3_column_int64(s.st, 0);
                rows.insert(row);
                if (positions.empty()) continue;
                std::vector<std::string>& key = keys_[row];
                key.clear();
                for (std::size_t k = 0; k < positions.size(); ++k) {
                    const unsigned char* t = sqlite3_column_text(s.st, static_cast<int>(k) + 1);
                    key.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
                }
            }
            // A whole index (no WHERE) read to its end lists every row.
            if (rc == SQLITE_DONE && where.empty()) wholeIndex_ = true;
        }
        return rows;
    }

    Source& src_;
    sqlite3* dst_;
    std::string table_;
    std::vector<std::string> columns_;
    std::string select_, insert_;
    sqlite3_stmt* ins_ = nullptr;
    int writeError_ = 0;
    std::set<int64_t> saved_;
    std::set<int64_t> missing_;
    std::vector<std::pair<int64_t, int64_t>> unreachable_;  // rowid stretches no seek entered
    int64_t uncountable_ = 0;                                // table ends not found
    bool wholeIndex_ = false;                               // an index listed every row
    std::vector<std::string> sourceColumns_;
    std::vector<int> sourcePosition_;                     // of each of columns_
    std::vector<int> keyPositions_;                       // the first index's columns
    std::map<int64_t, std::vector<std::string>> keys_;   // rowid -> its values there

public:
    ~TableCopy() { sqlite3_finalize(ins_); }
};

// Rows under a damaged inner page are on sound pages no read through the
// table reaches. A scratch copy of the file gets one table per page in its
// schema, each rooted at that page, so every page can be read as a table of
// its own; the rows found are offered to the tables that miss them. Pages
// that are not table pages fail to read and are passed over.
void ScanOrphanPages(const SalvageOptions& o, sqlite3* source, const std::string& scratch,
                     std::vector<std::unique_ptr<TableCopy>>& copies) {
    std::size_t width = 0;
    bool needed = false;
    for (const auto& c : copies) {
        if (c->missing().empty()) continue;
        needed = true;
        width = std::max(width, c->SourceColumnCount());
    }
    if (!needed || width == 0) return;
    int pageSize = 0;
    {
        Stmt s(source, "PRAGMA page_size");
        if (s && sqlite3_step(s.st) == SQLITE_ROW) pageSize = sqlite3_column_int(s.st, 0);
    }
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(o.source, ec);
    if (ec || pageSize <= 0) return;
    const int64_t pages = static_cast<int64_t>(bytes) / pageSize;
    // Made and locked before the copy fills it (see RemoveStrayWorkCopies).
    const int made = ::open(scratch.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    data::WorkCopyLock held;
    if (made >= 0) {
        held.Hold(scratch);
        ::close(made);
    }
    std::filesystem::copy_file(o.source, scratch, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) return;
    std::string columns;
    for (std::size_t i = 0; i < width; ++i) columns += (i ? ", c" : "c") + std::to_string(i);
    {
        Db w;
        if (w.Open(scratch, o.sourcePassword, SQLITE_OPEN_READWRITE)) {
            sqlite3_exec(w.db, "PRAGMA writable_schema = ON; BEGIN", nullptr, nullptr, nullptr);
            Stmt ins(w.db, "INSERT INTO sqlite_master(type, name, tbl_name, rootpage, sql) VALUES('table', ?1, ?1, ?2, ?3)");
            for (int64_t p = 2; ins && p <= pages; ++p) {
                const std::string name = "__page_" + std::to_string(p);
                sqlite3_bind_text(ins.st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_int64(ins.st, 2, p);
                const std::string sql = "CREATE TABLE " + name + "(" + columns + ")";
                sqlite3_bind_text(ins.st, 3, sql.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_step(ins.st);
                sqlite3_reset(ins.st);
            }
            sqlite3_exec(w.db, "COMMIT", nullptr, nullptr, nullptr);
        }
    }
    {
        Db r;
        if (r.Open(scratch, o.sourcePassword, SQLITE_OPEN_READONLY)) {
            for (int64_t p = 2; p <= pages; ++p) {
                Stmt s(r.db, "SELECT rowid, * FROM __page_" + std::to_string(p));
                while (s && sqlite3_step(s.st) == SQLITE_ROW)
                    for (auto& c : copies)
                        if (!c->missing().empty()) c->TakeOrphan(s.st);
            }
        }
    }
    std::filesystem::remove(scratch, ec);
    std::filesystem::remove(scratch + "-journal", ec);
}

// The rows the page reader found for a table, into the new file. A row on
// a leaf no root reached whose rowid a whole index does not list is an old
// copy (a page given back when its rows moved or went): it is left out.
// Saved and lost are counted as for a table read through SQLite.
// The result is the first write that failed other than by a key's refusal
// (a full disk rolls the whole transaction back), 0 when none.
int SavePageRows(sqlite3* dst, const std::string& table, const PageTableRows& found, TableSalvage& ts) {
    int writeError = 0;
    const std::vector<std::string> columns = Columns(dst, table);
    std::string list, marks = "?";
    for (const std::string& c : columns) {
        list += ", " + Quote(c);
        marks += ", ?";
    }
    Stmt ins(dst, "INSERT INTO " + Quote(table) + "(rowid" + list + ") VALUES(" + marks + ")");
    std::set<int64_t> saved;
    for (const PageRow& row : found.rows) {
        if (!ins || row.values.size() != columns.size() || saved.count(row.rowid)) continue;
        if (!row.fromRoot && found.wholeIndex && !found.listed.count(row.rowid)) continue;
        sqlite3_bind_int64(ins.st, 1, row.rowid);
        for (std::size_t i = 0; i < row.values.size(); ++i) {
            const PageValue& v = row.values[i];
            const int at = static_cast<int>(i) + 2;
            switch (v.type) {
            case SQLITE_INTEGER: sqlite3_bind_int64(ins.st, at, v.i); break;
            case SQLITE_FLOAT: sqlite3_bind_double(ins.st, at, v.r); break;
            case SQLITE_TEXT:
                sqlite3_bind_text(ins.st, at, v.s.data(), static_cast<int>(v.s.size()), SQLITE_STATIC);
                break;
            case SQLITE_BLOB:
                sqlite3_bind_blob(ins.st, at, v.s.data(), static_cast<int>(v.s.size()), SQLITE_STATIC);
                break;
            default: sqlite3_bind_null(ins.st, at); break;
            }
        }
        // A row the new file's keys refuse (a duplicate the damage made) is
        // not saved; it is counted lost when an index lists it.
        const int rc = sqlite3_step(ins.st);
        sqlite3_reset(ins.st);
        if (rc == SQLITE_DONE) saved.insert(row.rowid);
        else if (!writeError && (rc & 0xff) != SQLITE_CONSTRAINT) writeError = rc;
    }
    ts.saved = static_cast<int64_t>(saved.size());
    for (int64_t row : found.listed)
        if (!saved.count(row)) ++ts.lost;
    ts.uncountedPages = found.wholeIndex ? 0 : found.damagedPages;
    return writeError;
}

}  // namespace

std::optional<SalvageOptions> ParseFixCommandLine(const std::vector<std::string>& args, std::string* error) {
    SalvageOptions o;
    o.keep = false;
    int plain = 0;
    for (const std::string& a : args) {
        if (a.size() >= 3 && a[0] == '/' && (a[1] == 'E' || a[1] == 'e') && a[2] == ':') {
            SplitNamePassword(a.substr(3), o.example, o.examplePassword);
        } else if (a == "/K" || a == "/k") {
            o.keep = true;
        } else if (!a.empty() && a[0] == '/' && a.find('?') == std::string::npos && !FileExistsAt(a)) {
            // another switch: ignored
        } else if (plain == 0) {
            SplitNamePassword(a, o.source, o.sourcePassword);
            ++plain;
        } else if (plain == 1) {
            SplitNamePassword(a, o.target, o.targetPassword);
            ++plain;
        }
    }
    if (o.source.empty()) {
        if (error) *error = "usage: tpsfix <data file>?<password> ?<password> /E:<example>?<password> /K";
        return std::nullopt;
    }
    if (o.target.empty() && o.targetPassword.empty()) o.targetPassword = o.sourcePassword;
    return o;
}

int64_t SalvageResult::saved() const {
    int64_t n = 0;
    for (const TableSalvage& t : tables) n += t.saved;
    return n;
}

int64_t SalvageResult::lost() const {
    int64_t n = 0;
    for (const TableSalvage& t : tables) n += t.lost;
    return n;
}

int64_t SalvageResult::uncountedPages() const {
    int64_t n = otherDamagedPages;
    for (const TableSalvage& t : tables) n += t.uncountedPages;
    return n;
}

std::string SalvageResult::Report(const std::string& file) const {
    std::ostringstream out;
    if (code == kSalvageFailed || code == kSalvageUsage) {
        out << file << " was not repaired: " << error << "\n";
        return out.str();
    }
    out << "Repair of " << file << "\n";
    if (fromPages)
        out << "The file's list of its tables was damaged: its rows were read page by page into the tables of "
               "the example file\n";
    // The rows known lost are a floor, never the loss, while damaged pages
    // held rows no index counted: the line says so and names those pages.
    auto counts = [&out](int64_t saved, int64_t lost, int64_t pages, const char* whose) {
        out << saved << " records saved, ";
        if (pages == 0) {
            out << lost << " lost\n";
            return;
        }
        out << "at least " << lost << " lost; rows on " << pages << " damaged page" << (pages == 1 ? "" : "s")
            << whose << " may be lost too\n";
    };
    for (const TableSalvage& t : tables) {
        out << t.table << ": ";
        counts(t.saved, t.lost, t.uncountedPages, " of this table");
    }
    out << "Total: ";
    counts(saved(), lost(), uncountedPages(), "");
    if (unplacedRows > 0)
        out << unplacedRows << " record" << (unplacedRows == 1 ? "" : "s")
            << " found on pages whose table could not be told were not saved\n";
    // Kept whether anything was damaged or not, so it is not called damaged.
    if (!keptAs.empty()) out << "The file as it was before the repair is kept as " << keptAs << "\n";
    return out.str();
}

std::string KeptName(const std::string& file) {
    std::string name = file + ".damaged";
    for (int n = 2; FileExistsAt(name); ++n) name = file + ".damaged-" + std::to_string(n);
    return name;
}

SalvageResult SalvageDataFile(const SalvageOptions& o) {
    SalvageResult result;
    auto fail = [&](std::string why) {
        result.code = kSalvageFailed;
        result.error = std::move(why);
        return result;
    };
    if (!FileExistsAt(o.source)) return fail("the file does not exist");
    // What an earlier repair killed at work left beside the file.
    data::RemoveStrayWorkCopies(FolderOf(o.source));
    if (FileNamedBy(o.source) != o.source) data::RemoveStrayWorkCopies(FolderOf(FileNamedBy(o.source)));
    // Reading a pipe or a device would wait for ever or read what is no
    // data file; and a folder cannot be replaced by one.
    struct stat sourceStat {};
    if (::stat(o.source.c_str(), &sourceStat) != 0 || !S_ISREG(sourceStat.st_mode))
        return fail("it is not a regular file");
    // A file SQLite cannot open, or whose schema it cannot read to its end,
    // is read page by page into the example's tables.
    Source src;
    bool schemaWhole = false;
    std::vector<SchemaItem> sourceSchema;
    const bool opened = src.Open(o.source, o.sourcePassword);
    const std::string openError = opened ? std::string() : src.Error();
    if (opened) sourceSchema = ReadSchema(src.get(), &schemaWhole);
    const bool byPages = !opened || !schemaWhole;

    // The schema the new file gets: the example's, else the file's own.
    std::vector<SchemaItem> schema;
    Db example;
    const bool haveExample = !o.example.empty() && FileExistsAt(o.example) &&
                             example.Open(o.example, o.examplePassword, SQLITE_OPEN_READONLY);
    if (haveExample) schema = ReadSchema(example.db);
    if (byPages && schema.empty()) {
        // Nothing decrypts: the password is not the file's, or the salt the
        // key is made from is gone.
        if (!opened && !o.sourcePassword.empty() && !data::OtherPagesDecrypt(o.source, o.sourcePassword))
            return fail("the file cannot be read (" + openError + ")");
        return fail("the file's list of its tables is damaged; an example file of the data file is needed to "
                    "repair it (/E:<example file>)");
    }
    if (schema.empty()) schema = sourceSchema;
    if (schema.empty()) return fail("no tables could be read from the file or its example file");
    PageScan pageScan;
    if (byPages) {
        std::vector<PageTableShape> shapes;
        for (const SchemaItem& t : schema)
            if (t.type == "table") shapes.push_back(ShapeOf(example.db, t.name));
        pageScan = ScanPages(o.source, o.sourcePassword,
                             FormatOf(example.db, o.example, !o.sourcePassword.empty()), shapes);
        if (!pageScan.keyed || pageScan.readablePages == 0)
            return fail("no page of the file can be read with its key: the first 16 bytes of the file, which hold "
                        "the salt the key is made from, are damaged");
        result.fromPages = true;
    }

    const std::string named = o.target.empty() ? o.source : o.target;
    const std::string finalName = FileNamedBy(named);
    const std::string temp = finalName + ".tpsfix-new";
    ::unlink(temp.c_str());
    ::unlink((temp + "-journal").c_str());
    // The new file is locked while it lives: a later start tells one left by
    // a killed repair from one at work.
    data::WorkCopyLock held;
    {
        Db dst;
        if (!dst.Open(temp, o.targetPassword, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) {
            ::unlink(temp.c_str());
            // A folder that cannot be written is said in words.
            if (const std::string cause = ReadOnlyCause(temp); !cause.empty())
                return fail("the new file cannot be made.  " + cause);
            return fail("the new file cannot be made (" + dst.Error() + ")");
        }
        held.Hold(temp);
        sqlite3_exec(dst.db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
        std::string sql = "BEGIN;";
        for (const SchemaItem& i : schema) sql += i.sql + ";";
        if (const int rc = sqlite3_exec(dst.db, sql.c_str(), nullptr, nullptr, nullptr); rc != SQLITE_OK) {
            const std::string why = dst.Error();
            sqlite3_close_v2(dst.db);
            dst.db = nullptr;
            ::unlink(temp.c_str());
            if ((rc & 0xff) == SQLITE_FULL) return fail("the schema cannot be written.  " + FullDiskCause(temp));
            if (const std::string cause = ReadOnlyCause(temp); !cause.empty())
                return fail("the schema cannot be written.  " + cause);
            return fail("the schema cannot be written (" + why + ")");
        }
        std::vector<std::unique_ptr<TableCopy>> copies;
        int pageWriteError = 0;  // the first failed write of the rows read by pages
        std::vector<std::size_t> reported;  // copies[i] is result.tables[reported[i]] (or none)
        for (const SchemaItem& t : schema) {
            if (t.type != "table") continue;
            // Hold marks do not outlive a repair.
            if (SameName(t.name, "__holds")) continue;
            TableSalvage ts;
            ts.table = t.name;
            if (byPages) {
                if (const int rc = SavePageRows(dst.db, t.name, pageScan.tables[t.name], ts); rc && !pageWriteError)
                    pageWriteError = rc;
                if (!SameName(t.name, "__tables")) result.tables.push_back(ts);
                if (!SameName(t.name, "__tables") || !haveExample) continue;
            } else {
                copies.push_back(std::make_unique<TableCopy>(src, dst.db, t.name));
                TableCopy& copy = *copies.back();
                if (copy.SourceHasTable()) copy.Run(sourceSchema);
                reported.push_back(SameName(t.name, "__tables") ? SIZE_MAX : result.tables.size());
            }
            if (SameName(t.name, "__tables")) {
                // The catalogue rows the damage took are the example's.
                if (haveExample) {
                    Stmt rows(example.db, "SELECT name, version, layout FROM __tables");
                    Stmt ins(dst.db, "INSERT OR IGNORE INTO __tables(name, version, layout) VALUES(?1, ?2, ?3)");
                    while (rows && ins && sqlite3_step(rows.st) == SQLITE_ROW) {
                        for (int c = 0; c < 3; ++c) sqlite3_bind_value(ins.st, c + 1, sqlite3_column_value(rows.st, c));
                        sqlite3_step(ins.st);
                        sqlite3_reset(ins.st);
                    }
                }
                continue;  // the catalogue is not a table of the user's
            }
            result.tables.push_back(ts);
        }
        if (byPages) {
            // Pages whose table is unknown may have held rows no index counts.
            bool allCounted = true;
            for (const TableSalvage& t : result.tables)
                allCounted = allCounted && pageScan.tables[t.table].wholeIndex;
            if (!allCounted) result.otherDamagedPages = pageScan.unplacedDamagedPages;
            result.unplacedRows = pageScan.unplacedRows;
        } else {
            ScanOrphanPages(o, src.get(), finalName + ".tpsfix-pages", copies);
        }
        for (std::size_t i = 0; i < copies.size(); ++i) {
            if (reported[i] == SIZE_MAX) continue;
            result.tables[reported[i]].saved = copies[i]->saved();
            result.tables[reported[i]].lost = copies[i]->lost();
            result.tables[reported[i]].uncountedPages = copies[i]->uncounted();
        }
        if (const int rc = sqlite3_exec(dst.db, "COMMIT", nullptr, nullptr, nullptr); rc != SQLITE_OK) {
            const std::string why = dst.Error();
            sqlite3_close_v2(dst.db);
            dst.db = nullptr;
            ::unlink(temp.c_str());
            // A full disk during the copy rolled the transaction back, so the
            // commit's own error ("no transaction is active") says nothing:
            // the copy's failed write tells.
            bool full = (rc & 0xff) == SQLITE_FULL || (pageWriteError & 0xff) == SQLITE_FULL;
            for (const auto& c : copies) full = full || (c->writeError() & 0xff) == SQLITE_FULL;
            if (full) return fail("the new file cannot be written.  " + FullDiskCause(temp));
            return fail("the new file cannot be written (" + why + ")");
        }
        Stmt check(dst.db, "PRAGMA integrity_check");
        std::string verdict = check && sqlite3_step(check.st) == SQLITE_ROW
                                  ? reinterpret_cast<const char*>(sqlite3_column_text(check.st, 0))
                                  : dst.Error();
        if (verdict != "ok") {
            sqlite3_finalize(check.st);
            check.st = nullptr;
            sqlite3_close_v2(dst.db);
            dst.db = nullptr;
            ::unlink(temp.c_str());
            return fail("the rebuilt file does not pass its check (" + verdict + ")");
        }
    }
    src.Close();

    // The new file takes the mode of the file it replaces (the owner's alone
    // for a new one), not the one the umask gives.
    {
        const std::string& modeOf = FileExistsAt(finalName) ? finalName : std::string();
        struct stat st {};
        ::chmod(temp.c_str(), !modeOf.empty() && ::stat(modeOf.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600);
    }

    // The file is replaced only while no program of the suite has it open.
    const int fd = ::open(finalName.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = kShareByte;
        fl.l_len = 1;
        if (::fcntl(fd, F_OFD_SETLK, &fl) != 0) {
            ::close(fd);
            ::unlink(temp.c_str());
            return fail("the file is in use by another program");
        }
    }
    // The original gets its kept name as a second link, and the new file
    // then takes the data file's name in one rename: the name always leads
    // to a whole data file, whenever the repair is stopped.
    if (FileExistsAt(finalName)) {
        if (o.keep || named == o.source) {
            result.keptAs = KeptName(finalName);
            if (::link(finalName.c_str(), result.keptAs.c_str()) != 0) {
                const std::string why = std::strerror(errno);
                if (fd >= 0) ::close(fd);
                ::unlink(temp.c_str());
                result.keptAs.clear();
                return fail("the damaged file cannot be kept (" + why + ")");
            }
        }
    }
    if (::rename(temp.c_str(), finalName.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        // The original is still in place under its name.
        if (!result.keptAs.empty()) ::unlink(result.keptAs.c_str());
        if (fd >= 0) ::close(fd);
        ::unlink(temp.c_str());
        result.keptAs.clear();
        return fail("the rebuilt file cannot be put in place (" + why + ")");
    }
    if (fd >= 0) ::close(fd);
    result.code = result.lost() > 0 || result.uncountedPages() > 0 || result.unplacedRows > 0 ? kSalvagePartial
                                                                                               : kSalvageComplete;
    return result;
}

}  // namespace kr::repair
