// The zip and unzip libraries of the backup programs, on libzip.
//
// The archive class calls these entries in the same order and with the same
// arguments and results as the archive libraries it was written for: the
// LSZIP_ entries create, add to, delete from and comment archives; the LSUZ_
// entries read the directory, test and extract. Results: LSZIP_EXECUTE gives
// 0 when done, else a negative code of the class's error table; LSUZ_EXECUTE
// gives a count (0 or more) on success, a negative code on failure.
//
// Progress: during an execute the library reports the member it works on and
// the percent done of that member through the hook given to the INIT entries
// (the "LSZI" and "LSZP" messages). PostAbort() (the "LSZA" message) makes
// the running execute stop and return -30. A cancelled or failed zip leaves
// the archive as it was: libzip writes a temporary file and renames it only
// when everything was written.
#pragma once

#include "platform/data/DataFileCopy.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kr::backup {

// The progress messages of a running execute. Called on the thread that runs
// the execute.
struct LibraryHook {
    std::function<void(const std::string& member)> member;  // "LSZI"
    std::function<void(int percent)> percent;                // "LSZP"
};

// "LSZA": asks the execute that runs now (in any thread) to stop.
void PostAbort();

// Execute action codes of the zip library.
enum ZipAction : int {
    kZipComment = 0,
    kZipDelete = 1,
    kZipAdd = 2,
    kZipUpdate = 3,
    kZipFreshen = 4,
};

// Execute flags of the zip library (added together).
enum ZipFlag : int {
    kZipEncrypt = 16,
    kZipArchiveComment = 32,
    kZipFileComment = 64,
    kZipFullPath = 128,
    kZipMove = 256,
    kZipSystemHidden = 512,
    kZipLatestDate = 1024,
    kZipTempPath = 4096,
    kZipMultiVolume = 16384,
};

// Execute actions and flags of the unzip library.
enum UnzipAction : int { kUnzipCount = 1, kUnzipComment = 2, kUnzipExtract = 3, kUnzipTest = 4 };
enum UnzipFlag : int { kUnzipOverwrite = 2, kUnzipJunkPaths = 16 };

// The member record that LSUZ_GETNEXT fills: 412 bytes, little-endian.
inline constexpr int kMemberRecordSize = 412;
struct MemberRecord {
    std::string name;  // up to 254 characters
    uint16_t index = 0;
    uint16_t dosDate = 0;
    uint16_t dosTime = 0;
    uint32_t originalSize = 0;
    int16_t ratio = 0;
    uint32_t compressedSize = 0;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint32_t attributes = 0;
    uint16_t flags = 0;
    std::string comment;  // up to 126 characters
    uint16_t disk = 0;
};
void PackMemberRecord(const MemberRecord& m, char (&buffer)[kMemberRecordSize]);
MemberRecord UnpackMemberRecord(const char (&buffer)[kMemberRecordSize]);

// Data files ("*.TPS" and other SQLite files) are not read while another
// program may commit to them: the library copies each one to a temporary
// file with the data layer's consistent copy and zips the copy.
using data::CopyDataFileConsistently;
using data::DataCopy;

// Splits a specification into its parts: names in double quotes, or words
// separated by blanks.
std::vector<std::string> SplitSpecification(const std::string& spec);

class ZipLibrary {
public:
    ZipLibrary();
    ~ZipLibrary();
    ZipLibrary(const ZipLibrary&) = delete;
    ZipLibrary& operator=(const ZipLibrary&) = delete;

    // --- zip library ---
    int LSZIP_INIT(LibraryHook hook);
    int32_t LSZIP_VER() const;
    // Non-zero when the specification was accepted (not empty, no control
    // characters).
    int LSZIP_INCLUDE(const std::string& spec);
    void LSZIP_PASSWORD(const std::string& password);
    void LSZIP_SETFILECMT(const std::string& comment);
    void LSZIP_SETARCHIVECMT(const std::string& comment);
    // Dates as eight digits month-day-year, or empty. Non-zero when valid.
    int LSZIP_SETDATE(const std::string& before, const std::string& after);
    // Non-zero when the folder exists.
    int LSZIP_SETTEMPATH(const std::string& folder);
    void LSZIP_REMOVEARCHIVE(const std::string& archive);
    int LSZIP_EXECUTE(const std::string& archive, int action, int level, int flags);

    // --- unzip library ---
    int LSUZ_INIT(LibraryHook hook);
    int32_t LSUZ_VER() const;
    int LSUZ_ZIPNAME(const std::string& archive);
    int LSUZ_INCLUDE(const std::string& spec);
    void LSUZ_EXTRACTTO(const std::string& folder);
    void LSUZ_PASSWORD(const std::string& password);
    int LSUZ_EXECUTE(int action, int flags);
    void LSUZ_GETCMT(std::string& comment);  // up to 1023 characters
    int LSUZ_GETNEXT(char (&buffer)[kMemberRecordSize]);
    void LSUZ_RESET();

    // Passwords tried on data files for their consistent copy (see
    // CopyDataFileConsistently); by default only "no password".
    void SetDataFilePasswords(std::vector<std::string> passwords) { dataPasswords_ = std::move(passwords); }

    // The members that the last extract refused (unsafe names), for reports.
    const std::vector<std::string>& refusedMembers() const { return refused_; }
    // The files the last zip added (stored names), in order.
    const std::vector<std::string>& zippedMembers() const { return zipped_; }
    // The data files whose copy failed its check in the last zip, each as
    // "name: what the check found". Such a zip fails (-9) and leaves the
    // archive as it was.
    const std::vector<std::string>& damagedDataFiles() const { return damaged_; }
    // The folder whose disk filled up during the last zip (empty when none
    // did). Such a zip fails (-50) and leaves the archive as it was.
    const std::string& fullDiskFolder() const { return fullDisk_; }
    // Why the last zip or unzip could not make or write a file, when its
    // folder (or the file) is read-only: "The folder /backup is read-only.";
    // empty otherwise.
    const std::string& readOnlyCause() const { return readOnly_; }

private:
    struct Job;
    int ZipExecute(const std::string& archive, int action, int level, int flags);
    int PlaceArchive(const std::string& work, const std::string& archive);
    int UnzipRun(int action, int flags);
    // Notes a read-only folder or file as the cause when `error` (an errno
    // value) says `path` could not be made or written.
    void NoteReadOnly(int error, const std::string& path);
    void Member(const std::string& name);
    void Percent(int percent);

    LibraryHook zipHook_, unzipHook_;
    bool inUnzip_ = false;
    // zip state
    std::string zipSpec_, zipPassword_, fileComment_, archiveComment_, tempPath_;
    int32_t beforeDate_ = 0, afterDate_ = 0;
    // unzip state
    std::string unzipArchive_, unzipSpec_, extractTo_, unzipPassword_, unzipComment_;
    std::vector<MemberRecord> directory_;
    size_t next_ = 0;
    std::vector<std::string> refused_, zipped_, damaged_;
    std::string fullDisk_, readOnly_;
    int lastPercent_ = -1;
    std::vector<std::string> dataPasswords_{""};
};

}  // namespace kr::backup
