// A health check of a multi-table data file before a program writes to it:
// the key fits, and SQLite's quick check (page structure, free lists, record
// layout; no index contents) finds nothing, within a time budget.
//
// A file whose first page does not decrypt with the owner password while
// other pages do is damaged, not one with another password: the password is
// the program's own. A file where no page decrypts is damaged or not a data
// file of ours at all.
#pragma once

#include <string>

namespace kr::data {

enum class DataFileHealth {
    Sound,        // checked without a finding (or not wholly, see complete)
    Missing,      // no such file
    Damaged,      // pages that do not decrypt, or a structure the check faults
    NotDataFile,  // nothing decrypts with the password, or not encrypted at all
};

struct DataFileCheck {
    DataFileHealth health = DataFileHealth::Sound;
    bool complete = true;  // false: the budget ran out, or another program held the file
    std::string detail;    // what was found, for the message and the log
};

// Whether a page after the first of the file is whole and written with the
// password: then a first page that does not decrypt is damage, not another
// password.
bool OtherPagesDecrypt(const std::string& path, const std::string& password);

// Checks the file read-only, spending at most about budgetMs on the quick
// check itself (the key derivation comes on top of it).
DataFileCheck CheckDataFile(const std::string& path, const std::string& password, int budgetMs = 500);

}  // namespace kr::data
