// A health check of a multi-table data file before a program writes to it:
// the key fits, and SQLite's quick check (page structure, free lists, record
// layout; no index contents) finds nothing, within a time budget.
//
// A file whose first page does not decrypt with the owner password while
// other pages do is damaged, not one with another password: the password is
// the program's own. A file where no page decrypts is damaged or not a data
// file of ours at all.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct sqlite3;

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
    // Whether a program may open and write the file: sound, or not made yet.
    bool usable() const { return health == DataFileHealth::Sound || health == DataFileHealth::Missing; }
};

// Whether a page after the first of the file is whole and written with the
// password: then a first page that does not decrypt is damage, not another
// password.
bool OtherPagesDecrypt(const std::string& path, const std::string& password);

// Checks the file read-only, spending at most about budgetMs on the quick
// check itself (the key derivation comes on top of it).
DataFileCheck CheckDataFile(const std::string& path, const std::string& password, int budgetMs = 500);

// The first part of the check alone: the file is there, decrypts with the
// password and its catalogue reads. Quick: no page beyond the catalogue.
DataFileCheck CheckDataFileHeader(const std::string& path, const std::string& password);

// Keys a connection to an existing encrypted file. The key is derived from
// the password and the file's salt once per process and file (the derivation
// is what makes opening slow), then given to SQLite as a raw key; a file not
// yet made, or one too short to hold a salt, gets the password itself.
void KeyConnection(sqlite3* db, const std::string& path, const std::string& password);

// The rest of the check (the quick check over every page) on a worker thread
// with its own read-only connection, while the program builds its windows.
// Until it has reported, a write to the file waits for it; so does whoever
// calls AwaitDataFileCheck. When the file turns out unusable, onProblem runs
// once, on the thread that started the check, when that thread first waits
// (it is expected to tell the user and end the program: nothing has been
// written to the file); every write to the file is refused from then on.
void StartDataFileCheck(const std::string& path, const std::string& password, int budgetMs,
                        std::function<void(const DataFileCheck&)> onProblem);
// Waits for a check that StartDataFileCheck began; returns at once when none
// runs or it has reported already. False when the file was found unusable:
// the caller must not write.
bool AwaitDataFileCheck();
// Whether a write to the file at `path` must wait for the check (or, once it
// found the file unusable, be refused).
bool DataFileCheckPending(const std::string& path);

// The data files this process opened whose name now leads to another file
// or to none (a copy renamed over one by a sync tool, random bytes, a
// removal), as absolute paths. The process's tables stay on the file they
// opened, where SQLite refuses every write: a program that finds one here
// stops writing and has the user start it again, so nothing goes half to
// one file and half to the other, and the new file is checked as a start
// checks it.
std::vector<std::string> ReplacedDataFiles();

}  // namespace kr::data
