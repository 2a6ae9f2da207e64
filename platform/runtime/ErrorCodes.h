// The runtime's error codes and their texts, in one table.
#pragma once

#include <string>

namespace kr {

enum ErrorCode : int {
    kNoError = 0,
    kFileNotFound = 2,
    kPathNotFound = 3,
    kTooManyOpenFiles = 4,
    kAccessDenied = 5,
    kInsufficientMemory = 8,
    kDiskFull = 13,  // write failed for lack of space (driver reports it through 90 too)
    kEntryNotFound = 30,
    kFileLocked = 32,
    kRecordNotAvailable = 33,
    kRecordNotFound = 35,
    kInvalidFileSpec = 36,
    kFileNotOpen = 37,
    kInvalidKeyLength = 38,
    kDuplicateKey = 40,
    kRecordHeld = 43,
    kNotADataFile = 44,  // invalid data file: not a database, or a wrong password
    kKeyMustBeRebuilt = 46,
    kInvalidRecordDeclaration = 47,  // layout the program cannot convert
    kTransactionActive = 56,
    kFileAlreadyOpen = 52,
    kExclusiveAccessRequired = 63,
    kUnableToRollback = 65,
    kInvalidMemo = 57,
    kUnsupported = 80,
    kRecordChanged = 89,
    kDriverError = 90,
    kNoTransaction = 91,
    kBadExpression = 800,  // the evaluator's syntax and run-time errors
    kUnknownVariable = 801,
};

// The runtime's text for an error code; "Unknown Error" for codes not in the table.
std::string ErrorText(int code);

}  // namespace kr
