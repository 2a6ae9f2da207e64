#include "dictionary/OpenTable.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "dictionary/StandardWarning.h"
#include "platform/data/Errors.h"
#include "platform/data/Upgrade.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/PrivateFiles.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/runtime/WriteCauses.h"

namespace kr {

namespace {

int ModeOf(uint8_t openMode, uint8_t forceMode2) { return forceMode2 ? static_cast<int>(data::kReadWrite) : static_cast<int>(openMode); }

// Error 47: the stored layout cannot be brought to this program's.
void UpgradeFailed() {
    Message("The databases must be upgraded before using this version or the version you are installing is not "
            "the latest.  Re-install this application, or contact Vexel Works.",
            "Upgrade Error", MessageIcon::Exclamation, kButtonOk);
    const std::string folder = ClipRight(CurrentFolder());
    const std::string details =
        "\r\nError:  " + ClipRight(data::LastErrorText()) + "\r\nPath:  " + folder + "\r\n";
    Clipboard().SetText(details);
    std::string assistant =
        "The error has been placed in the clipboard.  Press CTRL-V in your email message to paste it.";
    const std::string path = folder + "/" + kUpgradeErrorFileName;
    // It names the data folder: the owner's alone, like the other files.
    if (std::FILE* f = OpenPrivateStream(kUpgradeErrorFileName, "wb")) {
        const bool written = std::fwrite(details.data(), 1, details.size(), f) == details.size();
        if (std::fclose(f) == 0 && written)
            assistant += "||The same text is in the file " + path + ".";
    }
    Message(assistant, "Assistant", MessageIcon::Information, kButtonOk);
    EndProgram("Cannot proceed.", "Upgrade Error");
}

// Why an open or a create was refused, in words, when the table's file or
// its folder cannot be written: "Access Denied (5)" alone does not tell a
// read-only folder (a read-only mount, a folder without write permission)
// from a read-only file. Empty for any other error.
std::string ReadOnlyCause(const data::Table& file) {
    if (data::LastErrorCode() != kAccessDenied) return {};
    return kr::ReadOnlyCause(file.DiskName());
}

}  // namespace

int CreateAndOpenTable(data::Table& file, uint8_t, uint8_t, uint8_t openMode, uint8_t forceMode2) {
    int err = file.Create();
    if (err != 0) {
        StandardWarningText(4, file.DiskName(), ReadOnlyCause(file));
        return err;
    }
    err = data::ds_FileOpen(file, ModeOf(openMode, forceMode2));
    if (err != 0 && err != kFileAlreadyOpen) {
        StandardWarningText(5, file.DiskName(), ReadOnlyCause(file));
        return err;
    }
    return 0;
}

int OpenTable(data::Table& file, uint8_t createIfMissing, uint8_t ignoreMissing, uint8_t openMode,
              uint8_t forceMode2) {
    const int mode = ModeOf(openMode, forceMode2);
    int err = data::ds_FileOpen(file, mode);
    if (err == kFileLocked) {
        // The driver waits up to 3 seconds for the other program's lock.
        file.Send("Recover=3");
        err = data::ds_FileOpen(file, mode);
    }
    switch (err) {
    case kNoError:
    case kFileAlreadyOpen:
        return 0;
    case kFileNotFound:
        // Asked to ignore a missing table: leave it closed and say nothing.
        if (ignoreMissing) return err;
        if (createIfMissing == 1) return CreateAndOpenTable(file, createIfMissing, ignoreMissing, openMode, forceMode2);
        StandardWarningText(4, file.DiskName());
        return err;
    case kKeyMustBeRebuilt:
        if (StandardWarningText(2, file.DiskName()) != kButtonYes) return err;  // No ended the program
        err = file.Build();
        if (err != 0) {
            StandardWarningText(3, file.DiskName());
            return err;
        }
        err = data::ds_FileOpen(file, mode);
        break;
    case kInvalidRecordDeclaration:
        UpgradeFailed();
        return err;
    default:
        break;
    }
    // Whatever is still wrong ends the program.
    if (err != 0 && err != kFileAlreadyOpen) {
        if (data::LastErrorCode() != err) data::SetLastError(err);
        if (StandardWarningText(30, file.DiskName(), ReadOnlyCause(file)) != 0)
            EndProgram("Disk Error", "File Access Error");
        return err;
    }
    return 0;
}

int OpenTable(const data::TableDef& def, uint8_t createIfMissing, uint8_t ignoreMissing, uint8_t openMode,
              uint8_t forceMode2) {
    return OpenTable(data::TableOf(def), createIfMissing, ignoreMissing, openMode, forceMode2);
}

}  // namespace kr
