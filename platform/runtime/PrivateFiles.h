// Files that hold the user's data (the data file, the event log, traces,
// archives, exports) are made readable by their owner alone, whatever the
// umask: the data file's key is the same in every installation, so its
// contents are only as private as the file's mode keeps them. A file that
// is written in place of an existing one keeps that file's mode.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

namespace kr {

inline constexpr mode_t kPrivateFileMode = 0600;

// The mode for a file written in place of `path`: the mode of the file
// there now (a regular file), else owner-only.
mode_t ReplacementMode(const std::string& path);

// open(2) with O_CREAT and the owner-only mode: a new file is private, an
// existing one keeps its mode. -1 and errno on failure.
int OpenPrivateFile(const std::string& path, int flags);

// fopen(3) for the modes "w", "a", "w+", "a+" (with or without "b"), the
// file created owner-only when it is new. nullptr and errno on failure.
std::FILE* OpenPrivateStream(const std::string& path, const char* mode);

}  // namespace kr
