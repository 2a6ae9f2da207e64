// LSZCLASS: the zip archive class of the backup programs. It holds the open
// archive's name and directory (LSZQ), the zip preferences, the list
// selection and the progress state, and drives the zip library
// (ZipLibrary.h). Display-free: the questions it asks while it works (the
// password and file-comment windows, the progress windows) go through an
// ArchiveUi that the window layer installs; without one, no window opens.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backup/ZipLibrary.h"

namespace kr::backup {

// One row of the directory queue: one archive member.
struct LSZQRow {
    uint16_t INDEX = 0;
    std::string FILENAME;
    int32_t FILEDATE = 0;
    int32_t FILETIME = 0;
    uint32_t OSIZE = 0;
    int16_t CRATIO = 0;
    uint32_t CSIZE = 0;
    std::string CMETHOD;
    std::string CRC32;
    std::string ATTRIBUTE;
    std::string FILECOMMENT;
    int16_t DISKNUMBER = 0;
    uint8_t MARKED = 0;
};

// A progress window while one library call runs.
class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    virtual void SetMember(const std::string& name) = 0;   // member name text
    virtual void SetPercentA(int percent) = 0;              // member bar and percent text
    virtual void SetPercentB(int percent) = 0;              // overall bar and percent text
    // Runs the blocking library call and returns its result; the window stays
    // live meanwhile and its Cancel posts the abort message.
    virtual int Run(const std::function<int()>& call) { return call(); }
};

// The windows the class opens while it works; the window layer installs a
// real one. The default answers every question with "no" and shows nothing.
class ArchiveUi {
public:
    virtual ~ArchiveUi() = default;
    // `overall`: the launcher's window with a second bar for the whole run.
    virtual std::unique_ptr<ProgressWindow> OpenProgress(const std::string& title, bool overall);
    // "Password": true with the password when the user set one.
    virtual bool AskPassword(std::string& password);
    // "File comment": true with the comment on OK.
    virtual bool AskFileComment(std::string& comment);
    // Current row of the list showing LSZQ (0-based), -1 when none.
    virtual int CurrentRow() { return -1; }
    // Tells the list that marking was switched on or off, or that rows changed.
    virtual void ListChanged() {}
};
void InstallArchiveUi(ArchiveUi* ui);
ArchiveUi& CurrentArchiveUi();

class LSZCLASS {
public:
    LSZCLASS();
    virtual ~LSZCLASS();

    // Fields, as the class keeps them.
    uint16_t INTERNALCLASSRELEASE = 0;
    std::unique_ptr<std::vector<LSZQRow>> LSZQ;
    std::string ZIPARCHIVENAME;
    int32_t LSZLISTBOX = 0;
    uint8_t OVERWRITEEXISTINGFILES = 0;
    uint8_t SKIPOLDERFILES = 0;
    uint8_t USEFOLDERNAMES = 1;
    int32_t DLL_ZIP_VERSION = 0;
    int32_t DLL_UNZIP_VERSION = 0;
    int32_t SHIFTMOUSELEFTPOS = 0;
    int32_t SHIFTMOUSELEFTNEWPOS = 0;
    int32_t SHIFTMOUSELEFTOLDPOS = 0;
    int32_t NEWSELECTPOINTER = 0;
    int32_t OLDSELECTPOINTER = 0;
    int32_t LASTACTION = 0;
    int16_t BYVAR = 0;
    int16_t MULTISELECT = 0;
    int32_t S_ZIPMEMBERS = 0;
    int64_t S_OSIZE = 0;
    double S_CRATIO = 0;
    int64_t S_CSIZE = 0;
    int32_t SELECTEDFILES = 0;
    int64_t SELECTEDBYTES = 0;
    std::string ZIPWILDCARD;
    std::string ZIPPASSWORD;
    std::string ZIPDESTDIR;
    std::string TEMPDIR;
    std::string BEFOREDATE;
    std::string AFTERDATE;
    uint32_t HWNDCW = 0;
    uint32_t FIRSTWINDOWHANDLE = 0;
    int32_t PROGRESSA_THERMOMETER = 0;
    int32_t PERCENTCOMPLETEDA = 0;
    int32_t MEMBERTEXTA = 0;
    int32_t PROGRESSB_THERMOMETER = 0;
    ProgressWindow* APPREF = nullptr;
    std::string ARCHIVECOMMENT;
    uint16_t COMPRESSIONLEVELSWITCH = 2;
    uint8_t PATHINFORMATIONSWITCH = 3;
    uint8_t RECURSESUBDIRECTORIESSWITCH = 0;
    uint8_t ACTION = 1;
    uint8_t SYSTEMANDHIDDEN = 0;
    uint8_t MOVEFILES = 0;
    uint8_t LATESTDATE = 0;
    uint8_t CREATEMULTIPLEVOLUME = 0;
    uint8_t ADDFILECOMMENT = 0;
    uint8_t ADDARCHIVECOMMENT = 0;
    uint8_t ENCRYPTDATA = 0;
    uint8_t USETEMPDIR = 0;
    std::string FILESPEC;

    // Operations.
    void Init();
    void Kill();
    void InitZip();
    void InitUnzip();
    // The library hook-up, once per process, when the first window opens.
    void HookUp(uint32_t windowHandle);
    virtual bool LoadArchive();
    void AddDirectoryEntry(const char (&record)[kMemberRecordSize]);
    void CloseArchive();
    int ZipFiles();
    int DeleteFiles();
    int TestFiles();
    int UnzipFiles();
    void CountSelected();
    void MarkAll();
    void ClearMarks(bool reselect);
    void SortList(int order, bool descending);
    // Quoted names of the marked members, one blank between them.
    std::string MarkedMemberList() const;

    // Converters and the error table.
    static std::string ErrorText(int32_t code);
    // The cause of the last zip's failure in words, when the layer knows it
    // ("No space left on the disk holding <folder>."); else empty.
    std::string ZipFailureCause() const;
    static double CompressionRatio(int64_t compressed, int64_t original);
    static std::string AttributeString(int32_t attributes);
    static std::string ByteToHex(int32_t value);
    static std::string LongToHex(uint32_t value);
    static int32_t DosDateToDate(uint16_t dosDate);
    static int32_t DosTimeToTime(uint16_t dosTime);
    static std::string MethodName(int16_t method, int16_t flags);

    // The libraries (one per class instance, as each program has its own).
    ZipLibrary lib;

    // What the zip flags and action of the preferences are (for the
    // launcher, which zips with the same rules).
    int ZipAction() const;
    int ZipLevel() const;
    // Flags before the questions (password, file comment) and the temporary
    // folder; AskZipFlags adds those, asking as the preferences say.
    int BaseZipFlags() const;
    int AskZipFlags(int flags);

protected:
    // The progress messages of the library: member name, member percent.
    virtual void OnMember(const std::string& name);
    virtual void OnPercent(int percent);
    void ShowStop(const std::string& text, const std::string& title = {});
    // How LoadArchive reports a directory that cannot be read.
    virtual void ReportLoadError(int32_t code);
    // Clears what a test or extraction left: the member choice, the unzip
    // library's state, the marks and the progress window binding.
    void EndUnzip();
    // Opens a progress window and binds it as APPREF.
    std::unique_ptr<ProgressWindow> OpenProgress(const std::string& title, bool overall);
    void ClearSelection();
};

}  // namespace kr::backup
