// Why a file could not be made or written, in words, for the messages that
// would otherwise give only an error code ("Path Not Found (3)", "Temporary
// file error"): a read-only folder (a read-only mount, a folder without write
// permission), a read-only file, a full disk.
#pragma once

#include <string>

namespace kr {

// True for the errno values that mean the place cannot be written: EROFS,
// EACCES, EPERM.
bool ReadOnlyError(int error);

// "The folder /data is read-only." when the folder holding `path` cannot be
// written, "The file /data/KR97.TPS is read-only." when the file exists and
// cannot be written; empty otherwise. `path` may be relative to the current
// folder, and a table's name on disk ("/data/KR97.TPS\!s") stands for its
// file.
std::string ReadOnlyCause(const std::string& path);

// "The disk holding the folder /data is full." for the folder holding
// `path`.
std::string FullDiskCause(const std::string& path);

}  // namespace kr
