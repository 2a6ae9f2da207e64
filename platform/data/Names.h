// How table names become files.
//
// A stored-as name is a file part, optionally followed by "\!" and a table
// part: "KR97\!s" is the table "s" of the multi-table file "KR97.TPS",
// "Kr97.TPS\!Contact" the table "Contact" of the same file. A name without
// "\!" is a file of its own whose single table is named after the file
// ("MSGLINK" is the table "MSGLINK" of "MSGLINK.TPS"). Multi-table files get
// ".TPS" when their name has no extension; the line, comma-delimited and
// raw-byte drivers take the file name as it is.
//
// Files are found in the current folder (or the folder the name gives):
// exact spelling first, then without regard to case, so "kr97", "KR97" and
// "Kr97.TPS" are one file. A file that does not exist yet takes the spelling
// registered for it in the table of file-name spellings (see
// RegisterFileSpelling), else the spelling given.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/data/TableDef.h"

namespace kr::data {

struct TableName {
    std::string file;   // the file name as given, extension added ("KR97.TPS")
    std::string table;  // the table inside the file ("s"; "MSGLINK" for a file of its own)
    bool multiTable = false;  // the name had a "\!" part
};

// Splits a stored-as name. Backslashes in the folder part become '/', and a
// leading ".\" or "./" is dropped.
TableName SplitTableName(std::string_view storedAs, Driver driver = Driver::MultiTable);

// The path of an existing file matching `file` (exact, then without regard to
// case, in its folder), or the path a new file of that name takes.
std::string ResolveFilePath(std::string_view file);
// True when ResolveFilePath found an existing file.
bool FileExists(std::string_view file);

// The table of spellings that new files take: "KR97.TPS", "KRTpl.TPS",
// "MSGLINK.TPS", "SyncSch.syn", ... Registering a spelling again replaces it;
// matching is without regard to case and a spelling without extension also
// stands for the name with ".TPS".
void RegisterFileSpelling(std::string_view spelling);
void RegisterFileSpellings(const std::vector<std::string>& spellings);
// The registered spelling of a new file's name (the name itself when none).
std::string FileSpelling(std::string_view file);

}  // namespace kr::data
