#include "platform/data/Upgrade.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include "platform/data/Database.h"
#include "platform/data/Errors.h"
#include "platform/data/FileManager.h"
#include "platform/data/Names.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/PrivateFiles.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/runtime/Strings.h"

namespace kr::data {

extern std::atomic<int> g_kdfIterations;

namespace {

struct Registration {
    std::string prefix;
    std::string label;
    int version = 0;
    // Earlier full name -> current full name.
    std::vector<std::pair<std::string, std::string>> alternates;
};

std::mutex g_mutex;
std::map<const TableDef*, Registration> g_registered;
const TableDef* g_last = nullptr;
std::map<const TableDef*, FileManager*> g_defaults;

}  // namespace

void ds_AddDriver(std::string_view, const void*) {}
void ds_IgnoreDriver(std::string_view, int) {}

void ds_UsingFile(std::string_view prefixOrLabel, std::string_view labelOrPrefix, const TableDef& def, int version) {
    Registration r;
    bool firstIsPrefix = EqualNoCase(prefixOrLabel, def.prefix) && prefixOrLabel.size() == def.prefix.size();
    r.prefix = std::string(firstIsPrefix ? prefixOrLabel : labelOrPrefix);
    r.label = std::string(firstIsPrefix ? labelOrPrefix : prefixOrLabel);
    r.version = version;
    std::lock_guard<std::mutex> l(g_mutex);
    auto it = g_registered.find(&def);
    if (it != g_registered.end()) r.alternates = it->second.alternates;
    g_registered[&def] = r;
    g_last = &def;
}

void ds_AlternateFieldName(std::string_view name1, std::string_view name2) {
    std::lock_guard<std::mutex> l(g_mutex);
    if (!g_last) return;
    const TableDef& def = *g_last;
    // The name the definition has is the current one; the other the earlier.
    auto isField = [&](std::string_view n) {
        for (const FieldDef& f : def.fields)
            if (EqualNoCase(f.name, n) && f.name.size() == n.size()) return true;
        return false;
    };
    std::string current, earlier;
    if (isField(name1)) {
        current = name1;
        earlier = name2;
    } else if (isField(name2)) {
        current = name2;
        earlier = name1;
    } else {
        return;
    }
    g_registered[g_last].alternates.emplace_back(earlier, current);
}

int RegisteredVersion(const TableDef& def) {
    std::lock_guard<std::mutex> l(g_mutex);
    auto it = g_registered.find(&def);
    return it == g_registered.end() ? 0 : it->second.version;
}

void ResetUpgradeRegistrations() {
    std::lock_guard<std::mutex> l(g_mutex);
    g_registered.clear();
    g_last = nullptr;
}

void RegisterDefaultsProvider(const TableDef& def, FileManager* manager) {
    std::lock_guard<std::mutex> l(g_mutex);
    g_defaults[&def] = manager;
}

void UnregisterDefaultsProvider(FileManager* manager) {
    std::lock_guard<std::mutex> l(g_mutex);
    for (auto it = g_defaults.begin(); it != g_defaults.end();)
        it = it->second == manager ? g_defaults.erase(it) : std::next(it);
}

int ds_FileOpen(Table& table, int mode) {
    const TableDef& def = table.def();
    Registration reg;
    FileManager* defaults = nullptr;
    {
        std::lock_guard<std::mutex> l(g_mutex);
        auto it = g_registered.find(&def);
        if (it != g_registered.end()) reg = it->second;
        auto d = g_defaults.find(&def);
        if (d != g_defaults.end()) defaults = d->second;
    }
    if (reg.version > 0 && def.driver == Driver::MultiTable && !table.IsOpen() && table.Attach() == 0) {
        int stored = table.StoredVersion();
        std::string layout = table.StoredLayout();
        if (stored > reg.version)
            return SetLastError(kInvalidRecordDeclaration, "47",
                                "The table is of version " + std::to_string(stored) + ", newer than this program's " +
                                    std::to_string(reg.version));
        if (stored < reg.version || (layout != Table::LayoutOf(def) && stored == 0)) {
            // New fields take the table's new-record values, made on a
            // procedure thread of their own so no buffer in use changes.
            AnyRecord record(def);
            if (defaults) {
                int scratch = NewProcedureThreadNumber();
                {
                    ProcedureThreadScope scope(scratch);
                    defaults->File().Clear();
                    defaults->SetNewRecordDefaults();
                    def.copy(record.get(), defaults->Buffer());
                }
                EndProcedureThread(scratch);
            }
            int e = table.Convert(reg.version, reg.alternates, record.get());
            if (e) return e == kFileLocked ? e : SetLastError(kInvalidRecordDeclaration, LastFileErrorCode(), LastFileErrorText());
        }
    }
    return table.Open(mode);
}

std::string ds_MakeTPE(Table& table) {
    const TableDef& def = table.def();
    if (def.driver != Driver::MultiTable) return "2";
    std::string path = table.FilePath();
    if (!FileExists(path)) {
        SetLastError(kFileNotFound);
        return "2";
    }
    int err = 0;
    std::shared_ptr<Database> d = Database::Acquire(path, def.ownerPassword, false, err);
    if (!d) return "2";
    std::string base = path;
    std::size_t slash = base.find_last_of('/');
    std::size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.resize(dot);
    std::string tpe = base + ".tpe";
    ::unlink(tpe.c_str());
    // The example file: the same schema (tables, keys and catalogue), no
    // records, under the same owner password.
    std::vector<std::string> schema;
    {
        std::lock_guard<std::recursive_mutex> l(d->mutex());
        sqlite3_stmt* st = d->Prepare(
            "SELECT sql FROM sqlite_master WHERE sql IS NOT NULL AND name NOT LIKE 'sqlite_%' "
            "ORDER BY type = 'index', rowid");
        if (!st) return "1";
        while (sqlite3_step(st) == SQLITE_ROW)
            schema.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_reset(st);
    }
    // It holds the file's schema under the owner password: the owner's
    // alone, as the data file is (SQLite would create it with the umask's
    // mode). Made empty here, which SQLite takes as a new database.
    const int fd = ::open(tpe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kPrivateFileMode);
    if (fd < 0) return "1";
    ::close(fd);
    sqlite3* out = nullptr;
    if (sqlite3_open_v2(tpe.c_str(), &out, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(out);
        ::unlink(tpe.c_str());
        return "1";
    }
    if (!def.ownerPassword.empty()) {
        sqlite3_key(out, def.ownerPassword.data(), static_cast<int>(def.ownerPassword.size()));
        if (int iter = g_kdfIterations.load(); iter > 0)
            sqlite3_exec(out, ("PRAGMA kdf_iter = " + std::to_string(iter)).c_str(), nullptr, nullptr, nullptr);
    }
    std::string sql = "BEGIN;";
    for (const std::string& s : schema) sql += s + ";";
    sql += "COMMIT;";
    int rc = sqlite3_exec(out, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        // The catalogue's rows, so the repair knows the versions.
        std::lock_guard<std::recursive_mutex> l(d->mutex());
        sqlite3_stmt* st = d->Prepare("SELECT name, version, layout FROM __tables");
        sqlite3_stmt* ins = nullptr;
        if (st && sqlite3_prepare_v2(out, "INSERT OR REPLACE INTO __tables VALUES(?1, ?2, ?3)", -1, &ins, nullptr) ==
                      SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW) {
                for (int i = 0; i < 3; ++i) sqlite3_bind_value(ins, i + 1, sqlite3_column_value(st, i));
                sqlite3_step(ins);
                sqlite3_reset(ins);
            }
        }
        if (st) sqlite3_reset(st);
        sqlite3_finalize(ins);
    } else {
        SetLastError(kDriverError, std::to_string(rc), sqlite3_errmsg(out));
    }
    sqlite3_close(out);
    if (rc != SQLITE_OK) {
        ::unlink(tpe.c_str());
        return "3";
    }
    ClearLastError();
    return "0";
}

}  // namespace kr::data
