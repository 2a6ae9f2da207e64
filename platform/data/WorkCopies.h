// The copies the suite's programs make of data files and archives while they
// work: a backup's consistent copy of a data file (".vxwcopy-*"), the zip
// library's new archive ("<archive>.zip.XXXXXX"), a restore's extraction
// folder (".vxwrestore-*"), an extracted file on its way to its name
// ("." + name + ".vxwXXXXXX"), and the repair's new file and scratch copy
// ("<file>.tpsfix-new", "<file>.tpsfix-pages"). They are as large as what
// they copy, and a program killed at work leaves them behind.
//
// A program holds an exclusive flock on each copy of its own for as long as
// the copy lives (HoldWorkCopy). A copy that can be locked and that no
// process has open belongs to nobody any more.
#pragma once

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

// Removes the copies in `folder` whose program has gone; a "<file>.tpsfix-new"
// only while "<file>" itself is there (else it may be the one whole copy).
// The number removed.
int RemoveStrayWorkCopies(const std::string& folder);

}  // namespace kr::data
