#include "dictionary/StandardWarning.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/data/Errors.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"

namespace kr {

void DictionaryKill();

namespace {

std::mutex g_shutdownMutex;
ProgramShutdown g_shutdown;

void DefaultShutdown() {
    DictionaryKill();
    std::exit(1);
}

constexpr int kOk = kButtonOk;
constexpr int kYesNo = kButtonYes | kButtonNo;
constexpr int kYesNoCancel = kButtonYes | kButtonNo | kButtonCancel;
constexpr int kRetryCancel = kButtonRetry | kButtonCancel;
constexpr int kOkCancel = kButtonOk | kButtonCancel;

constexpr MessageIcon kInfo = MessageIcon::Information;
constexpr MessageIcon kWarn = MessageIcon::Exclamation;

struct Case {
    Case() = default;
    Case(std::string title_, std::string text_, int buttons_ = kOk, int defaultButton_ = kOk,
         MessageIcon icon_ = kInfo, std::string ends_ = {})
        : title(std::move(title_)), text(std::move(text_)), buttons(buttons_), defaultButton(defaultButton_),
          icon(icon_), ends(std::move(ends_)) {}
    std::string title;
    std::string text;
    int buttons = kOk;
    int defaultButton = kOk;
    MessageIcon icon = kInfo;
    std::string ends;  // closing message after OK; empty: the program goes on
};

Case Build(int id, const std::string& error, const std::string& t1, const std::string& t2, int code) {
    switch (id) {
    case 1:
        return {"Invalid File", "Error: (" + error + ") accessing " + t1 + ".  Press OK to end this application.",
                kOk, kOk, kInfo, "Invalid File!"};
    case 2:
        return {"Invalid Key", t1 + " key file is invalid.  Do you " "want to rebuild the key?", kYesNo,
                kButtonYes, kWarn, ""};
    case 3:
        return {"Key Rebuild Error",
                "Error: (" + error + ") repairing key for " + t1 + ".  Press OK to end this application.", kOk,
                kOk, kInfo, "Error Rebuilding Key!"};
    case 4:
        return {"File Creation Error",
                "Error: (" + error + ") creating " + t1 + ".  Press OK to end this application.", kOk, kOk, kInfo,
                "File Creation Error!"};
    case 5:
        return {"File Creation Error",
                "Error: (" + error + ") opening created " "file:" + t1 + ".  Press OK to end this application.",
                kOk, kOk, kInfo, "File Creation Error!"};
    case 6:
        return {"Procedure not defined", "The Procedure " + t1 + " has not " "been defined."};
    case 7:
        return {"", "Unable to read keyed record.  Error: " + error + ".  Insert Aborted"};
    case 8:
        return {"Range Error", "The value of " + t1 + " must" " be lower than " + t2 + "."};
    case 9:
        return {"Range Error", "The value of " + t1 + " must be" " higher than " + t2 + "."};
    case 10:
        return {"Range Error", "The value of " + t1 + " must be " "between " + t2 + "."};
    case 11:
        return {"Field Contents Error", "The value for " + t1 + " must be " "found in the " + t2 + " file."};
    case 12:
        return {"Referential Integrity Update Error",
                "This record is referenced from the file " + t1 +
                    ".  Linking field(s) have been restricted"
                    " from change and have been reset to original values."};
    case 13:
        return {"Referential Integrity Delete Error",
                "This record is referenced from the file " + t1 +
                    ".  This record cannot be deleted while"
                    " these references exist."};
    case 14:
        return {"Record Insert Error", "An error was experienced during the update of record.  Error: " + error + "."};
    case 15:
        if (code == 0 || code == kRecordChanged)
            return {"Update Operation Error", "This record was changed by another station."};
        return {"Update Operation Error",
                "An error (" + error + ") was experienced"
                " when attempting to update a record from the file.  Probable Cause: " + t1 + "."};
    case 16:
        return {"Record Update Error",
                "An error was experienced changing this record.  Do you want to try to save again?", kYesNoCancel,
                kButtonCancel};
    case 17:
        return {"Delete Operation Error",
                "An error (" + error + ") was experienced"
                " when attempting to delete a record from the file " + t1 + "."};
    case 18:
        return {"Record Update Error",
                "An error was experienced deleting this record.  Do you want to try to save again?", kYesNoCancel,
                kButtonCancel};
    case 19:
        return {"Invalid Request",
                "This procedure was called to insert a record, however inserts are not allowed for this "
                "procedure.  Press OK to return to the calling procedure"};
    case 20:
        return {"Invalid Request",
                "This procedure was called to change a record, however changes are not allowed for this "
                "procedure.  Press OK to return to the calling procedure"};
    case 21:
        return {"Invalid Request",
                "This procedure was called to delete a record, however deletions are not allowed for this "
                "procedure.  Press OK to return to the calling procedure"};
    case 22:
        return {"File Creation Not Allowed",
                "The File " + t1 + "was not found, " "and creation of the file is not allowed.  Press OK to end "
                "this application.",
                kOk, kOk, kInfo, "File Creation Error!"};
    case 23:
        return {"Update Cancelled", "Are you sure you want to cancel?", kYesNo, kButtonNo, kWarn};
    case 24:
        return {"Duplicate Key Error", "Adding this record creates a duplicate entry for the key:" + t1};
    case 25:
        return {"Auto Increment Error",
                "Attempts to automatically number this record have failed.  Error: " + error + ".", kRetryCancel,
                kButtonCancel};
    case 26:
        return {"File Load Error", t1 + " File Load Error.  " "Error: " + error + "."};
    case 27:
        return {"Cancel Request", "Are you certain you want to stop loading " + t1 + "?", kOkCancel, kButtonCancel,
                kWarn};
    case 28:
        return {"File Load Error", t1 + " File Load Error.  " "The file you've requested contains no text."};
    case 29:
        if (t1 == "Down")
            return {"End of File Error",
                    "The end of the viewed file was encountered.  Do you want to start again from the beginning?",
                    kYesNo, kButtonYes, kWarn};
        return {"Beginning of File Error",
                "The beginning of the viewed file was encountered.  Do you want to start again from the end of "
                "the file?",
                kYesNo, kButtonYes, kWarn};
    case 30:
        return {"File Access Error", "File (" + t1 + ") could not be " "opened.  Error: " + error + "."};
    case 31:
        if (t1 == "Put")
            return {"Process PUT Error",
                    "An error was experienced when making changes to the " + t2 + " file.  Error: " + error};
        return {"Process DELETE Error",
                "An error was experienced when deleting a record from the " + t2 + " file.  Error: " + error};
    case 32:
        return {"Confirm Delete",
                "You've selected to delete the highlighted record.  Press OK to confirm deletion of this record.",
                kOkCancel, kButtonCancel, kWarn};
    case 33:
        return {"Update Cancelled", "Do you want to save the changes to this record?", kYesNoCancel, kButtonNo, kWarn};
    case 34:
        return {"Transaction Framing Error",
                "Error: (" + error + ") attempting to frame the " + Lower(t1) + " transaction on " + t2 + ".  " + t1 +
                    " transaction cancelled."};
    case 35:
        return {"Record Retrieval Error",
                "Error: (" + error + ") attempting to access a " "record from the " + t1 + " file.  Returning to "
                "previous window."};
    case 36:
        return {"View Open Error",
                "Error: (" + error + ") attempting to open the " "current VIEW. Filter and Range Limits ignored."};
    case 37:
        return {"Record Added", "This record has been added to the file. Do you want to add another record?", kYesNo,
                kButtonYes, kWarn};
    case 38:
        return {"Record Was Not Updated",
                "This record was changed by another station. Those changes will now be displayed. Use the Ditto "
                "Button or Ctrl+' to recall your changes."};
    default:
        return {};
    }
}

}  // namespace

RuntimeErrorInfo LastRuntimeError() {
    RuntimeErrorInfo e;
    e.code = data::LastErrorCode();
    e.driverCode = data::LastFileErrorCode();
    e.driverMessage = data::LastFileErrorText();
    return e;
}

std::string StandardErrorText(const RuntimeErrorInfo& e) {
    std::string text = e.code == kDriverError
                           ? ClipRight(e.driverMessage) + " (" + ClipRight(e.driverCode) + ")"
                           : ClipRight(ErrorText(e.code)) + " (" + IntToText(e.code) + ")";
    if (text.size() > 150) text.resize(150);
    return text;
}

int StandardWarning(int id, const std::string& text1, const std::string& text2, const std::string& cause) {
    if (id < 1 || id > 38) return 0;
    const RuntimeErrorInfo error = LastRuntimeError();
    Case c = Build(id, StandardErrorText(error), ClipRight(text1), ClipRight(text2), error.code);
    if (!ClipRight(cause).empty()) c.text += "  " + ClipRight(cause);
    const int pressed = Message(c.text, c.title, c.icon, c.buttons, c.defaultButton);
    if (!c.ends.empty()) {
        EndProgram(c.ends, c.title);
    } else if (id == 2) {
        if (pressed != kButtonYes) {
            EndProgram("Invalid Key!", c.title);
            return pressed;
        }
        return kButtonYes;
    }
    return pressed;
}

int StandardWarningText(int id, const std::string& text, const std::string& cause) {
    return StandardWarning(id, text, std::string(), cause);
}

int StandardWarningNoText(int id) { return StandardWarning(id, std::string(), std::string()); }

void EndProgram(const std::string& closingMessage, const std::string& title) {
    Message(closingMessage, title);
    ProgramShutdown run;
    {
        std::lock_guard<std::mutex> l(g_shutdownMutex);
        run = g_shutdown;
    }
    if (run) run();
    else DefaultShutdown();
}

ProgramShutdown SetProgramShutdown(ProgramShutdown shutdown) {
    std::lock_guard<std::mutex> l(g_shutdownMutex);
    ProgramShutdown old = std::move(g_shutdown);
    g_shutdown = std::move(shutdown);
    return old;
}

}  // namespace kr
