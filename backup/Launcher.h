// The backup launcher's copy of the archive class and its run: back the data
// files of the current folder up into one archive, or restore them from it,
// in its window or unattended from the command line.
#pragma once

#include <optional>
#include <functional>
#include <string>
#include <vector>

#include "backup/Lszclass.h"

namespace kr::backup {

class LauncherLSZCLASS : public LSZCLASS {
public:
    int32_t PERCENTCOMPLETEDB = 0;
    int32_t ITEMSTODO = 0;
    int32_t ITEMSDONE = 0;

    std::string SetArchiveName(const std::string& path);
    std::string SetUnzipArchiveName(const std::string& path);
    bool SetFileSpec(const std::string& spec);
    int Backup();
    int Test();
    // Extracts the archive into a temporary folder beside the data files,
    // checks every data file, and moves them into place under their bare
    // names, keeping each replaced data file as "<name>.old". Refuses while
    // another program holds one of them open, and archives with unsafe or
    // clashing member names.
    int Restore();
    // With this on, a restore refused because a KR98 on the data folder holds
    // the data files offers to close it: on Yes the KR98 is asked to end, the
    // restore goes on once the files are free (30 seconds at most), and the
    // KR98 is started again in the folder with the arguments it had.
    void OfferToCloseKR98(bool on) { offerToCloseKR98_ = on; }
    // Run once a restore has succeeded, after a KR98 it closed has been
    // started again (told whether one was), so that KR98 runs while the
    // box it shows waits for its answer.
    void WhenRestored(std::function<void(bool kr98Started)> done) { whenRestored_ = std::move(done); }
    // With this on, a backup with nothing to process ends at its one
    // "Nothing to process" message with -168, the library never asked (an
    // unattended run: a second box would keep it another minute).
    void StopWhenNothingToProcess(bool on) { stopWhenNothing_ = on; }
    void ReportError(const std::string& text, const std::string& title, int32_t code);
    void ShowTestProgress();
    void ShowRestoreProgress();

protected:
    void ReportLoadError(int32_t code) override;
    void OnMember(const std::string& name) override;
    void OnPercent(int percent) override;

private:
    void StepOverall();
    // Opens the progress window of a test or restore and counts the members
    // (loading the directory when none is loaded) for the overall bar.
    std::unique_ptr<ProgressWindow> BeginUnzip(const std::string& title);
    // Names the members to the unzip library: the wildcard, else the marked
    // ones (stepping the overall bar past the directory). `extractTo`, when
    // given, is the extraction folder. False after reporting a bad pattern.
    bool IncludeMembers(const std::string& failTitle, const std::string* extractTo);
    int rowsCounted_ = 0;
    bool stopWhenNothing_ = false;
    bool offerToCloseKR98_ = false;
    std::function<void(bool)> whenRestored_;
    // Run before a failure box of the restore (starts the KR98 it closed).
    std::function<void()> beforeFailureBox_;
};

// The command line and preserved values of one launcher run.
struct LauncherRun {
    std::string archiveName;  // GLO:ArchiveName
    std::string operation;    // GLO:Operation
    std::optional<std::string> backupValue;   // "BACKUP="
    std::optional<std::string> restoreValue;  // "RESTORE="
    std::vector<std::string> positional;      // parameters 1-3
};

// Reads the command line (the program name excluded) into a run; the
// preserved values come from "VXWBack.INI" section "Preserved".
LauncherRun ReadLauncherCommandLine(const std::vector<std::string>& args);
void LoadPreserved(LauncherRun& run);
void SavePreserved(const LauncherRun& run);
// Whether `folder` holds a data file ("*.TPS", what a backup takes). The
// program keeps its "VXWBack.INI" only in such a folder: a run in the
// wrong one leaves it as it was.
bool FolderHoldsDataFiles(const std::string& folder = ".");
// Empty values take their defaults.
void ApplyDefaults(LauncherRun& run);

// "Main.DoBackup" and "Main.DoRestore"; the result is 0 on success, else the
// library code or -1. `unattended` leaves out the closing information box.
int DoBackup(LauncherRun& run, bool unattended);
int DoRestore(LauncherRun& run, bool unattended);

// The command started by "&Advanced".
std::string AdvancedCommandLine(const LauncherRun& run);

// True when another program has the data file open (it holds the file's
// share lock).
bool DataFileInUse(const std::string& path);
// False for a member name that climbs out of its folder (a ".." part),
// starts at the root or names a drive ("\\" counts as "/").
bool IsPlainMemberName(const std::string& name);
// A restored data file: one the program keeps tables in must open with the
// program's key for that file, hold at least one of those tables and pass
// the check below. False with what is wrong in *problem ("is empty", ...).
bool CheckRestoredDataFile(const std::string& path, std::string* problem = nullptr);
// Opens a data file as a database (with the owner password, or none) and
// runs SQLite's check; true when it is sound. Files that are no database of
// ours are not checked (true).
bool CheckDataFile(const std::string& path, std::string* problem = nullptr);

}  // namespace kr::backup
