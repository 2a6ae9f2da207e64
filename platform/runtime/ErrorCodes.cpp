#include "platform/runtime/ErrorCodes.h"

namespace kr {

std::string ErrorText(int code) {
    switch (code) {
    case kNoError: return "No Error";
    case kFileNotFound: return "File Not Found";
    case kPathNotFound: return "Path Not Found";
    case kTooManyOpenFiles: return "Too Many Open Files";
    case kAccessDenied: return "Access Denied";
    case kInsufficientMemory: return "Insufficient Memory";
    case kDiskFull: return "Disk Full";
    case kEntryNotFound: return "Entry Not Found";
    case kFileLocked: return "File Is Already Locked";
    case kRecordNotAvailable: return "Record Not Available";
    case kRecordNotFound: return "Record Not Found";
    case kInvalidFileSpec: return "Invalid Filespec";
    case kFileNotOpen: return "File Not Open";
    case kInvalidKeyLength: return "Invalid Key Length";
    case kDuplicateKey: return "Creates Duplicate Key";
    case kRecordHeld: return "Record Is Already Held";
    case kNotADataFile: return "Invalid Data File";
    case kKeyMustBeRebuilt: return "Key File Must Be Rebuilt";
    case kInvalidRecordDeclaration: return "Invalid Record Declaration";
    case kFileAlreadyOpen: return "File Already Open";
    case kTransactionActive: return "LOGOUT Already Active";
    case kInvalidMemo: return "Invalid Memo File";
    case kExclusiveAccessRequired: return "Exclusive Access Required";
    case kUnableToRollback: return "Unable to ROLLBACK Transaction";
    case kUnsupported: return "Function Not Supported";
    case kRecordChanged: return "Record Changed By Another Station";
    case kDriverError: return "File System Error";
    case kNoTransaction: return "No LOGOUT Active";
    case kBadExpression: return "Bad Expression";
    case kUnknownVariable: return "Unknown Variable";
    default: return "Unknown Error";
    }
}

}  // namespace kr
