// The framework's error handler: numbered message templates that carry
// "%File", "%ErrorText", "%Field", "%Message" and the like, shown through the
// message service (Services.h). The file and relation managers report file
// errors through it; a program has one global handler (GlobalErrors).
//
// The "error class" fields (file name, field name, message text, key name)
// are set per throw and kept per procedure thread, so two procedures
// reporting at once never mix their texts.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/Services.h"

namespace kr::data {

// Severity levels, as the framework's operations return them.
enum Level : int {
    kLevelBenign = 0,   // all is well
    kLevelUser = 1,     // the user was asked; the result is the button pressed
    kLevelProgram = 2,
    kLevelFatal = 3,    // the operation failed and cannot go on
    kLevelCancel = 4,   // the user cancelled
    kLevelNotify = 5,   // the operation failed; the caller may go on
};

// The framework's messages.
enum MessageId : int {
    kMsgNone = 0,
    kMsgRebuildKey = 1,          // "Invalid Key": rebuild? Yes/No
    kMsgRebuildFailed = 2,       // "Key Rebuild Error"
    kMsgCreateFailed = 3,        // "File Creation Error"
    kMsgOpenFailed = 4,          // "File Access Error"
    kMsgProcedureToDo = 5,       // "Procedure not defined"
    kMsgBadKeyedRec = 6,         // "Unable to read keyed record"
    kMsgAddFailed = 7,           // "Record Insert Error"
    kMsgDuplicateKey = 8,        // "Duplicate Key Error"  (%Key: the key's description)
    kMsgPutFailed = 9,           // "Update Operation Error"
    kMsgDeleteFailed = 10,       // "Delete Operation Error"
    kMsgRestrictUpdate = 11,     // "Referential Integrity Update Error" (%File: the child)
    kMsgRestrictDelete = 12,     // "Referential Integrity Delete Error" (%File: the child)
    kMsgFieldNotInFile = 13,     // "Field Contents Error"
    kMsgFieldOutOfRangeHigh = 14,// "Range Error": must be lower than %Message
    kMsgFieldOutOfRangeLow = 15, // "Range Error": must be higher than %Message
    kMsgFieldOutOfRange = 16,    // "Range Error": "The value of %Field must be between %Message."
    kMsgAbortReading = 17,       // "Record Retrieval Error"
    kMsgRecordChanged = 18,      // "Record Was Not Updated"
    kMsgRetrySave = 19,          // "Record Update Error": save again? Yes/No/Cancel
    kMsgRetryDelete = 20,        // "Record Update Error": delete again? Yes/No/Cancel
    kMsgAutoIncFailed = 21,      // "Auto Increment Error": Retry/Cancel
    kMsgLogoutFailed = 22,       // "Transaction Framing Error"
    kMsgConfirmDelete = 23,      // "Confirm Delete": OK/Cancel
    kMsgConfirmCancel = 24,      // "Update Cancelled": Yes/No
    kMsgInsertIllegal = 25,      // "Invalid Request"
    kMsgChangeIllegal = 26,
    kMsgDeleteIllegal = 27,
    kMsgFieldNotValid = 28,      // "Invalid Entry": "%Field contains an invalid value. %Message"
    kMsgCloseFailed = 29,        // "File Close Error"
    kMsgFileReplaced = 30,       // "Data File Replaced": %ErrorText names the file
    kMsgPutChanged = 31,         // "Update Operation Error": changed by another station
    kMsgUser = 100,              // programs add their own from here on
};

struct ErrorTemplate {
    int id = 0;
    Level severity = kLevelNotify;
    std::string title;
    std::string text;
    int buttons = kButtonOk;
    int defaultButton = 0;
    MessageIcon icon = MessageIcon::Exclamation;
};

class ErrorHandler {
public:
    ErrorHandler();
    virtual ~ErrorHandler();
    ErrorHandler(const ErrorHandler&) = delete;
    ErrorHandler& operator=(const ErrorHandler&) = delete;

    // Loads the framework's templates (the constructor does too); Shutdown
    // forgets the per-thread fields.
    virtual void Init();
    virtual void Shutdown();

    // Adds or replaces templates by id.
    void AddErrors(const std::vector<ErrorTemplate>& templates);
    void AddError(const ErrorTemplate& t) { AddErrors({t}); }
    // The template of an id; nullptr when unknown.
    const ErrorTemplate* Find(int id) const;

    // The per-throw fields of the current procedure thread.
    void SetFile(std::string_view name);
    void SetField(std::string_view name);
    void SetMessage(std::string_view text);
    void SetKey(std::string_view name);
    void SetProcedureName(std::string_view name);
    // The cause in words ("The folder /data is read-only."): follows the
    // next message's text after two blanks, for that message only.
    void SetCause(std::string_view text);
    // True the first time a procedure thread asks: the one message of a
    // window for its writes on a data file another file has replaced.
    bool FirstNoticeOfReplacement();
    std::string FileName() const;
    std::string FieldName() const;
    std::string MessageText() const;
    std::string KeyName() const;
    std::string ProcedureName() const;

    // Shows the message of the template and returns: for a template of
    // severity kLevelUser the button pressed; otherwise its severity. An
    // unknown id shows "Unknown error" with the id and returns kLevelNotify.
    virtual int Throw(int id);
    // Throw with the file name (%File) set first.
    int ThrowFile(int id, std::string_view fileName);
    // Throw with the message text (%Message) set first.
    int ThrowMessage(int id, std::string_view message);

    // The text with its placeholders filled in:
    //   %File %Field %Message %Key %Procedure  the per-throw fields
    //   %ErrorText   the last error as messages show it (LastErrorDisplay)
    //   %ErrorCode %Error %FileErrorCode %FileError  the parts of the last error
    // '|' in a text starts a new line, as in the message service.
    std::string SubsString(std::string_view text) const;

    // The id and shown text of the last message this handler showed (for the
    // program's own logging and tests).
    int LastShownId() const;
    std::string LastShownText() const;

protected:
    // Shows the filled-in message; a derived handler may log or redirect.
    virtual int Show(const ErrorTemplate& t, const std::string& title, const std::string& text);

private:
    struct Fields {
        std::string file, field, message, key, procedure, cause;
        bool toldReplaced = false;
    };
    Fields& fields() const;

    mutable std::mutex m_;
    std::map<int, ErrorTemplate> templates_;
    mutable std::map<int, Fields> fields_;  // by procedure thread
    int lastShownId_ = 0;
    std::string lastShownText_;
};

}  // namespace kr::data
