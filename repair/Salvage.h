// The repair helper's work: rebuilds a damaged multi-table data file into a
// new file from every row that can still be read, and puts it in place of
// the damaged one, which is kept beside it under a new name.
//
// The schema comes from the example file the repair program wrote (the
// damaged file's own when there is none). A file whose own schema cannot be
// read is read page by page (PageSalvage.h) into the example's tables; with
// no example it is not repaired. Each table is read in rowid
// ranges; a range that fails to read is split and read again in halves down
// to single rows, so every row whose page can be reached is saved. Each of
// the table's indexes is then read for the rows it lists: a row an index
// knows that the ranges did not give is looked up on its own, and counted as
// lost when it cannot be read. The new file must pass integrity_check
// before it replaces anything, and the replacement happens only while no
// other program has the file open (the engine's share lock, taken
// exclusively). No display.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kr::repair {

struct SalvageOptions {
    std::string source;           // the damaged file
    std::string sourcePassword;
    std::string target;           // empty: the source itself, replaced
    std::string targetPassword;
    std::string example;          // the example file (empty: none)
    std::string examplePassword;
    bool keep = true;             // /K: keep the original under a new name
};

// Reads the helper's command line: the data file ("name?password"), the
// file to write ("?password" for the data file itself), "/E:example?password"
// and "/K". Nullopt with *error set when the data file is missing.
std::optional<SalvageOptions> ParseFixCommandLine(const std::vector<std::string>& args, std::string* error);

struct TableSalvage {
    std::string table;
    int64_t saved = 0;
    int64_t lost = 0;  // rows an index lists that could not be read
    // Damaged pages of this table whose rows could not be counted (no whole
    // index lists them): their rows may be lost beyond `lost`, which is then
    // only the least that was lost.
    int64_t uncountedPages = 0;
};

enum SalvageCode : int {
    kSalvageComplete = 0,   // every row found was saved
    kSalvagePartial = 1,    // the file was rebuilt; rows were (or may have been) lost
    kSalvageFailed = 2,     // nothing was changed
    kSalvageUsage = 3,      // the command line names no file
};

struct SalvageResult {
    int code = kSalvageFailed;
    std::string error;                 // why it failed
    std::vector<TableSalvage> tables;  // in schema order
    std::string keptAs;                // where the original went
    // The file's own schema could not be read: its rows were read page by
    // page into the example file's tables.
    bool fromPages = false;
    // Damaged pages whose table could not be told, when some table has no
    // whole index to count its rows: their rows may be lost too.
    int64_t otherDamagedPages = 0;
    // Rows read from pages whose table could not be told: not saved.
    int64_t unplacedRows = 0;
    int64_t saved() const;
    int64_t lost() const;
    int64_t uncountedPages() const;
    // The lines of the report: one per table and the totals, each with the
    // rows saved and lost ("at least" that many, and the damaged pages whose
    // rows may be lost too, when some could not be counted), where the
    // original was kept; or the error.
    std::string Report(const std::string& file) const;
};

SalvageResult SalvageDataFile(const SalvageOptions& options);

// The name the original is kept under: "<file>.damaged", numbered when
// taken ("<file>.damaged-2", ...).
std::string KeptName(const std::string& file);

}  // namespace kr::repair
