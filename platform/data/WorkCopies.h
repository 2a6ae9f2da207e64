// The copies the suite's programs make of data files and archives while they
// work: a backup's consistent copy of a data file (".vxwcopy-*"), the zip
// library's new archive ("<archive>.zip.XXXXXX"), a restore's extraction
// folder (".vxwrestore-*"), an extracted file on its way to its name
// ("." + name + ".vxwXXXXXX"), and the repair's new file and scratch copy
// ("<file>.tpsfix-new", "<file>.tpsfix-pages"). They are as large as what
// they copy, and a program killed at work leaves them behind.
//
// Files that live elsewhere or under names of their own (a report's work
// file "<clock>.TPS" and its journal, an export's new file "<target>.XXXXXX"
// beside its target) are written down first in a note ".krtemp-XXXXXX" of
// the data folder (TemporaryNote), held open while they live; the sweep
// removes what a note names once the note's program has gone.
//
// A program holds an exclusive flock on each copy of its own for as long as
// the copy lives (HoldWorkCopy). A copy that can be locked and that no
// process has open belongs to nobody any more.
#pragma once

#include <set>
#include <string>

namespace kr::data {

// Takes the lock on a copy (a file or a folder); the descriptor stays open
// for the copy's life (close it after the copy is gone or renamed). -1 when
// the copy cannot be opened.
int HoldWorkCopy(const std::string& path);

// HoldWorkCopy's descriptor, closed (and with it the lock) when this goes:
// declared after what removes the copy, it outlives the removal.
class WorkCopyLock {
public:
    WorkCopyLock() = default;
    explicit WorkCopyLock(const std::string& path) : fd_(HoldWorkCopy(path)) {}
    ~WorkCopyLock();
    WorkCopyLock(const WorkCopyLock&) = delete;
    WorkCopyLock& operator=(const WorkCopyLock&) = delete;

    // Takes the lock on a copy made after this was.
    void Hold(const std::string& path);

private:
    int fd_ = -1;
};

// Whether some process, this one included, has the file at `path` open (or
// works in the folder); false when nothing is there.
bool HeldOpenByAnyProcess(const std::string& path);

// A note of temporary files, ".krtemp-XXXXXX" in `folder`, held open and
// locked while this lives and removed with it. Write a file's name in it
// before making the file.
class TemporaryNote {
public:
    explicit TemporaryNote(const std::string& folder = ".");
    ~TemporaryNote();
    TemporaryNote(const TemporaryNote&) = delete;
    TemporaryNote& operator=(const TemporaryNote&) = delete;

    bool Made() const { return fd_ >= 0; }
    // The six characters mkstemp gave the note's name.
    std::string Tail() const;
    // Writes `path` (made absolute) down; false when the note could not.
    bool Add(const std::string& path);

private:
    std::string path_;
    int fd_ = -1;
};

// The files the live notes of `folder` name (absolute paths): files some
// running program works in, not the user's.
std::set<std::string> NotedTemporaries(const std::string& folder);

// Removes the copies in `folder` whose program has gone; a "<file>.tpsfix-new"
// only while "<file>" itself is there (else it may be the one whole copy);
// with each note left behind, the files it names (and their "-journal").
// With `archiveName` (a file name in the folder), the zip library's new
// archive "<archiveName>.XXXXXX" is one of them whatever its extension.
// The number removed.
int RemoveStrayWorkCopies(const std::string& folder, const std::string& archiveName = {});

}  // namespace kr::data
