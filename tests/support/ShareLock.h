// Holding a data file as another program of the suite holds it while it has
// the file open: a shared lock on the file's share byte, kept as long as the
// descriptor stays open.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

namespace kr::test {

// The table engine's share byte (beyond any data file's end and SQLite's
// lock bytes). 0 when the lock was taken, as fcntl answers.
inline int LockShareByte(int fd) {
    struct flock share {};
    share.l_type = F_RDLCK;
    share.l_whence = SEEK_SET;
    share.l_start = 0x50000000;
    share.l_len = 1;
    return ::fcntl(fd, F_OFD_SETLK, &share);
}

}  // namespace kr::test
