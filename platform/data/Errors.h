// The runtime's last-error state: ERRORCODE(), ERROR(), FILEERRORCODE() and
// FILEERROR(). Every table operation sets it; it is kept per procedure thread
// (ProcedureContext.h), so two procedures never read each other's errors.
#pragma once

#include <string>

namespace kr::data {

// ERRORCODE(): the runtime's code of the last table operation (0 when it
// succeeded).
int LastErrorCode();
// ERROR(): the runtime's text for that code ("No Error", "Record Not Found").
std::string LastErrorText();
// FILEERRORCODE() and FILEERROR(): the driver's own code and text, set when
// the code is 90 (an error of the driver itself) and for a few others (the
// name of the key a duplicate was found in, the reason a file is not a data
// file); empty otherwise.
std::string LastFileErrorCode();
std::string LastFileErrorText();
// The name of the key that rejected the last duplicate (DUPLICATE()).
std::string LastDuplicateKey();

// What the driver said of the last failure, for the causes that repeat on
// every later write and that the user can do something about; None for the
// others (a taken number, a refused row) and when the driver said nothing.
// Replaced: the file was written to after another file took its place on
// disk (its name now leads to that file).
enum class DriverCause { None, DiskFull, ReadOnly, IoError, CannotOpen, Replaced };
DriverCause LastDriverCause();

// The error as messages show it: for code 90 the driver's text, " (", the
// driver's code, ")"; for a write on a replaced file the driver's text, which
// names it; otherwise the runtime's text, " (", the code, ")".
std::string LastErrorDisplay();
// The runtime's text of the last error with the driver's words after it
// where the code alone says less (90, 32, 5: "Disk full: ...", "database is
// locked", "attempt to write a readonly database"), as the messages of a
// failed write give it. `code` is the failed operation's.
std::string LastErrorWithDriverWords(int code);

// Sets the state for the current procedure thread and returns the code.
int SetLastError(int code, std::string fileCode = {}, std::string fileText = {});
void SetLastDuplicateKey(std::string keyName);
inline int ClearLastError() { return SetLastError(0); }

}  // namespace kr::data
