#include "platform/data/ErrorHandler.h"

#include "platform/data/Errors.h"
#include "platform/runtime/ProcedureContext.h"

namespace kr::data {

namespace {

std::vector<ErrorTemplate> FrameworkTemplates() {
    const MessageIcon info = MessageIcon::Information;
    const MessageIcon warn = MessageIcon::Exclamation;
    const MessageIcon ask = MessageIcon::Question;
    return {
        {kMsgRebuildKey, kLevelUser, "Invalid Key",
         "%File key file is invalid.  Do you want to rebuild the key?", kButtonYes | kButtonNo, kButtonYes, ask},
        {kMsgRebuildFailed, kLevelFatal, "Key Rebuild Error", "Error: (%ErrorText) repairing key for %File.",
         kButtonOk, 0, info},
        {kMsgCreateFailed, kLevelFatal, "File Creation Error", "Error: (%ErrorText) creating %File.", kButtonOk,
         0, info},
        {kMsgOpenFailed, kLevelFatal, "File Access Error", "File (%File) could not be opened.  Error: %ErrorText.",
         kButtonOk, 0, info},
        {kMsgProcedureToDo, kLevelNotify, "Procedure not defined", "The Procedure %Message has not been defined.",
         kButtonOk, 0, info},
        {kMsgBadKeyedRec, kLevelNotify, "Record Retrieval Error",
         "Unable to read keyed record.  Error: %ErrorText.  Insert Aborted", kButtonOk, 0, info},
        {kMsgAddFailed, kLevelNotify, "Record Insert Error",
         "An error was experienced during the update of record.  Error: %ErrorText.", kButtonOk, 0, info},
        {kMsgDuplicateKey, kLevelNotify, "Duplicate Key Error",
         "Adding this record creates a duplicate entry for the key:%Key", kButtonOk, 0, info},
        {kMsgPutFailed, kLevelNotify, "Update Operation Error",
         "An error (%ErrorText) was experienced when attempting to update a record from the file %File.",
         kButtonOk, 0, info},
        {kMsgDeleteFailed, kLevelNotify, "Delete Operation Error",
         "An error (%ErrorText) was experienced when attempting to delete a record from the file %File.",
         kButtonOk, 0, info},
        {kMsgRestrictUpdate, kLevelNotify, "Referential Integrity Update Error",
         "This record is referenced from the file %File.  Linking field(s) have been restricted from change and "
         "have been reset to original values.",
         kButtonOk, 0, info},
        {kMsgRestrictDelete, kLevelNotify, "Referential Integrity Delete Error",
         "This record is referenced from the file %File.  This record cannot be deleted while these references "
         "exist.",
         kButtonOk, 0, info},
        {kMsgFieldNotInFile, kLevelNotify, "Field Contents Error",
         "The value for %Field must be found in the %Message file.", kButtonOk, 0, info},
        {kMsgFieldOutOfRangeHigh, kLevelNotify, "Range Error", "The value of %Field must be lower than %Message.",
         kButtonOk, 0, info},
        {kMsgFieldOutOfRangeLow, kLevelNotify, "Range Error", "The value of %Field must be higher than %Message.",
         kButtonOk, 0, info},
        {kMsgFieldOutOfRange, kLevelNotify, "Range Error", "The value of %Field must be between %Message.",
         kButtonOk, 0, info},
        {kMsgAbortReading, kLevelFatal, "Record Retrieval Error",
         "Error: (%ErrorText) attempting to access a record from the %File file.", kButtonOk, 0, info},
        {kMsgRecordChanged, kLevelNotify, "Record Was Not Updated",
         "This record was changed by another station. Those changes will now be displayed. Use the Ditto Button "
         "or Ctrl+' to recall your changes.",
         kButtonOk, 0, info},
        {kMsgPutChanged, kLevelNotify, "Update Operation Error", "This record was changed by another station.",
         kButtonOk, 0, info},
        {kMsgRetrySave, kLevelUser, "Record Update Error",
         "An error was experienced changing this record.  Do you want to try to save again?",
         kButtonYes | kButtonNo | kButtonCancel, kButtonCancel, info},
        {kMsgRetryDelete, kLevelUser, "Record Update Error",
         "An error was experienced deleting this record.  Do you want to try to save again?",
         kButtonYes | kButtonNo | kButtonCancel, kButtonCancel, info},
        {kMsgAutoIncFailed, kLevelUser, "Auto Increment Error",
         "Attempts to automatically number this record have failed.  Error: %ErrorText.",
         kButtonRetry | kButtonCancel, kButtonCancel, info},
        {kMsgLogoutFailed, kLevelNotify, "Transaction Framing Error",
         "Error: (%ErrorText) attempting to frame the transaction on %File.", kButtonOk, 0, info},
        {kMsgConfirmDelete, kLevelUser, "Confirm Delete",
         "You've selected to delete the highlighted record.  Press OK to confirm deletion of this record.",
         kButtonOk | kButtonCancel, kButtonCancel, warn},
        {kMsgConfirmCancel, kLevelUser, "Update Cancelled", "Are you sure you want to cancel?",
         kButtonYes | kButtonNo, kButtonNo, warn},
        {kMsgInsertIllegal, kLevelNotify, "Invalid Request",
         "This procedure was called to insert a record, however inserts are not allowed for this procedure.",
         kButtonOk, 0, info},
        {kMsgChangeIllegal, kLevelNotify, "Invalid Request",
         "This procedure was called to change a record, however changes are not allowed for this procedure.",
         kButtonOk, 0, info},
        {kMsgDeleteIllegal, kLevelNotify, "Invalid Request",
         "This procedure was called to delete a record, however deletions are not allowed for this procedure.",
         kButtonOk, 0, info},
        {kMsgFieldNotValid, kLevelNotify, "Invalid Entry", "%Field contains an invalid value. %Message", kButtonOk,
         0, info},
        {kMsgCloseFailed, kLevelNotify, "File Close Error", "Error: (%ErrorText) closing %File.", kButtonOk, 0,
         info},
        {kMsgFileReplaced, kLevelNotify, "Data File Replaced",
         "%ErrorText.  Nothing more can be stored in it: close the program and start it again to use the new file.",
         kButtonOk, 0, MessageIcon::Hand},
    };
}

}  // namespace

ErrorHandler::ErrorHandler() { Init(); }
ErrorHandler::~ErrorHandler() = default;

void ErrorHandler::Init() { AddErrors(FrameworkTemplates()); }

void ErrorHandler::Shutdown() {
    std::lock_guard<std::mutex> l(m_);
    fields_.clear();
}

void ErrorHandler::AddErrors(const std::vector<ErrorTemplate>& templates) {
    std::lock_guard<std::mutex> l(m_);
    for (const ErrorTemplate& t : templates) templates_[t.id] = t;
}

const ErrorTemplate* ErrorHandler::Find(int id) const {
    std::lock_guard<std::mutex> l(m_);
    auto it = templates_.find(id);
    return it == templates_.end() ? nullptr : &it->second;
}

ErrorHandler::Fields& ErrorHandler::fields() const { return fields_[CurrentProcedureThread()]; }

void ErrorHandler::SetFile(std::string_view name) {
    std::lock_guard<std::mutex> l(m_);
    fields().file = name;
}
void ErrorHandler::SetField(std::string_view name) {
    std::lock_guard<std::mutex> l(m_);
    fields().field = name;
}
void ErrorHandler::SetMessage(std::string_view text) {
    std::lock_guard<std::mutex> l(m_);
    fields().message = text;
}
void ErrorHandler::SetKey(std::string_view name) {
    std::lock_guard<std::mutex> l(m_);
    fields().key = name;
}
void ErrorHandler::SetProcedureName(std::string_view name) {
    std::lock_guard<std::mutex> l(m_);
    fields().procedure = name;
}
bool ErrorHandler::FirstNoticeOfReplacement() {
    std::lock_guard<std::mutex> l(m_);
    const bool first = !fields().toldReplaced;
    fields().toldReplaced = true;
    return first;
}

void ErrorHandler::SetCause(std::string_view text) {
    std::lock_guard<std::mutex> l(m_);
    fields().cause = text;
}
std::string ErrorHandler::FileName() const {
    std::lock_guard<std::mutex> l(m_);
    return fields().file;
}
std::string ErrorHandler::FieldName() const {
    std::lock_guard<std::mutex> l(m_);
    return fields().field;
}
std::string ErrorHandler::MessageText() const {
    std::lock_guard<std::mutex> l(m_);
    return fields().message;
}
std::string ErrorHandler::KeyName() const {
    std::lock_guard<std::mutex> l(m_);
    return fields().key;
}
std::string ErrorHandler::ProcedureName() const {
    std::lock_guard<std::mutex> l(m_);
    return fields().procedure;
}

std::string ErrorHandler::SubsString(std::string_view text) const {
    Fields f;
    {
        std::lock_guard<std::mutex> l(m_);
        f = fields();
    }
    // Longer names first where one is the start of another (%ErrorText and
    // %ErrorCode before %Error, %FileErrorCode before %FileError, %File last).
    const std::pair<const char*, std::string> subs[] = {
        {"%ErrorText", LastErrorDisplay()},
        {"%ErrorCode", std::to_string(LastErrorCode())},
        {"%FileErrorCode", LastFileErrorCode()},
        {"%FileError", LastFileErrorText()},
        {"%Error", LastErrorText()},
        {"%Message", f.message},
        {"%Procedure", f.procedure},
        {"%Field", f.field},
        {"%Key", f.key},
        {"%File", f.file},
    };
    std::string out;
    out.reserve(text.size() + 64);
    for (std::size_t i = 0; i < text.size();) {
        bool done = false;
        if (text[i] == '%') {
            for (const auto& [name, value] : subs) {
                std::string_view n(name);
                if (text.compare(i, n.size(), n) == 0) {
                    out += value;
                    i += n.size();
                    done = true;
                    break;
                }
            }
        }
        if (!done) out += text[i++];
    }
    return out;
}

int ErrorHandler::Throw(int id) {
    ErrorTemplate t;
    if (const ErrorTemplate* found = Find(id)) {
        t = *found;
    } else {
        t.id = id;
        t.severity = kLevelNotify;
        t.title = "Unknown error";
        t.text = "Unknown error " + std::to_string(id) + ".  Error: %ErrorText.";
    }
    std::string title = SubsString(t.title);
    std::string text = SubsString(t.text);
    {
        std::lock_guard<std::mutex> l(m_);
        std::string& cause = fields().cause;
        if (!cause.empty()) text += "  " + cause;
        cause.clear();
        lastShownId_ = id;
        lastShownText_ = text;
    }
    int button = Show(t, title, text);
    return t.severity == kLevelUser ? button : t.severity;
}

int ErrorHandler::ThrowFile(int id, std::string_view fileName) {
    SetFile(fileName);
    return Throw(id);
}

int ErrorHandler::ThrowMessage(int id, std::string_view message) {
    SetMessage(message);
    return Throw(id);
}

int ErrorHandler::LastShownId() const {
    std::lock_guard<std::mutex> l(m_);
    return lastShownId_;
}

std::string ErrorHandler::LastShownText() const {
    std::lock_guard<std::mutex> l(m_);
    return lastShownText_;
}

int ErrorHandler::Show(const ErrorTemplate& t, const std::string& title, const std::string& text) {
    return Message(text, title, t.icon, t.buttons, t.defaultButton);
}

}  // namespace kr::data
