// One run of a repair action over the rows of the "Repair Files" list: the
// tagged rows one after another in list order, or the highlighted row alone
// when none is tagged. It is stepped by its progress window's timer, so the
// window stays responsive however large a table is:
//
// - Build opens the table exclusively (0 or 46 accepted) and rebuilds its
//   keys one after another on a worker thread, reporting "Key :" and the
//   key being built; the window's thread only looks at the progress.
// - Pack opens it exclusively and compacts the file once per physical file
//   however many of its tables are tagged (a table whose keys needed a
//   build has them built first).
// - Release opens it exclusively and reads every record, a batch per step,
//   clearing each hold mark it finds.
// - Info opens it read-only and stores its record count and name on disk.
// - Fix runs the repair helper once per physical file, one after another,
//   each waited for without blocking the window.
//
// Cancel abandons the table in progress (a build or pack left unfinished
// leaves the file as it was) and the run goes on with the next table: one
// move per Cancel, however the work stood.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/runtime/RecordProcess.h"
#include "repair/RepairFiles.h"

namespace kr::data {
class Table;
}

namespace kr::repair {

inline constexpr const char* kExclusiveAccessTitle = "File Access Error";
inline constexpr const char* kExclusiveAccessText =
    "This option requires exclusive file access.|Please ensure no other users are in the system. |An error occured "
    "trying to open the file : Error ";
inline constexpr const char* kMultiTableQuestion =
    "This is a multi-table TPS file. You can try using Fix, but the results are not guarenteed and could damage your "
    "file further.  Do you want to continue ? ";

// The repair helper's arguments for a table's name on disk (after the
// multi-table part was taken off) and the owner password: the data file,
// the file to write (the same, "?" and the password), the example file and
// the keep switch. Each name is one argument, blanks and all; the example
// file is the data file with the extension of its last path component
// changed to ".tpe" (".tps" and ".tpe" added when it has none).
std::vector<std::string> FixArguments(const std::string& name, const std::string& password);
// The data file of a name on disk: the part before "\!" when it holds one.
std::string DataFileOfDiskName(const std::string& diskName);
// The report the helper leaves next to the data file it repaired.
std::string FixReportName(const std::string& dataFile);

class RepairRun : public BatchProcess {
public:
    // rows outlive the run; highlighted is the row the list shows selected.
    RepairRun(std::string action, std::vector<RepairRow>& rows, int highlighted);
    ~RepairRun() override;

    bool Step(int count) override;
    // Abandons the table in progress; the run goes on with the next.
    void RequestCancel() override;

    // The window's lines.
    std::string CurrentFile() const;
    std::string ActionText() const;
    int Progress() const;  // of the current table, 0..100
    int FilesLeft() const { return filesLeft_; }
    // "Current File :", "Action :", "Progress :" and "Files Left :" lines.
    std::string StatusText() const;

    // A row's values changed (record count, name on disk).
    std::function<void(int row)> onRowChanged;
    // The repair helper: its name (found beside the program) and how long a
    // step waits for it at most before the window gets its turn again.
    std::string fixProgram = "tpsfix";
    // Tables whose work was abandoned by a Cancel, in order (tests).
    const std::vector<std::string>& abandoned() const { return abandoned_; }

private:
    enum class Phase { Begin, Working, Releasing, WaitingForFix };
    void Begin();
    void Finish();
    void StartWorker(bool build, bool pack);
    bool WorkerDone();
    void StepRelease(int count);
    void BeginBuildOrPack(bool pack);
    void BeginRelease();
    void BeginInfo();
    void BeginFix();
    void EndFix(int exitCode);
    void RemoveExample();
    void ExclusiveAccessError();
    void SetProgress(int percent);
    void SetActionText(std::string text);

    std::string action_;
    std::vector<RepairRow>& rows_;
    std::vector<int> items_;  // row indexes to work on
    std::size_t item_ = 0;
    Phase phase_ = Phase::Begin;
    int filesLeft_ = 0;
    std::atomic<bool> skip_{false};
    std::vector<std::string> abandoned_;

    data::Table* table_ = nullptr;  // the current table
    bool opened_ = false;           // the current table is open and must be closed
    bool busy_ = false;             // the row's record count is stored when the table is done
    std::set<std::string> filesDone_;  // physical files packed or fixed in this run

    // Release.
    int64_t released_ = 0, releaseTotal_ = 0;

    // Fix.
    int fixPid_ = 0;
    std::string fixFile_;
    std::string example_;  // the example file made for the running fix

    // The worker of a build or pack, and what it reports.
    std::thread worker_;
    std::atomic<bool> workerDone_{false};
    std::atomic<int> workerPercent_{0};
    int workerResult_ = 0;
    std::string workerError_;

    mutable std::mutex mutex_;
    std::string currentFile_;
    std::string actionText_;
    int progress_ = 0;
    int overallDone_ = 0;
};

}  // namespace kr::repair
