// A consistent copy of a data file that another program may be writing:
// the bytes are copied inside a read transaction of the database, so no
// commit can land half-way through the copy.
#pragma once

#include <string>
#include <vector>

namespace kr::data {

// `passwords` are tried in order to open an encrypted file ("" = none).
// NotADatabase: no password opens it (the caller reads the file as it is);
// Failed: the database stayed busy (a minute) or cannot be read, and the
// copy must not be used.
enum class DataCopy { Copied, NotADatabase, Failed };
DataCopy CopyDataFileConsistently(const std::string& source, const std::string& target,
                                  const std::vector<std::string>& passwords, std::string* error = nullptr);

}  // namespace kr::data
