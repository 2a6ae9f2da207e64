// The life of KR98 from process start to exit: finding the data folder,
// setting up the program-wide services in their order, registering every
// table with the upgrade library, running the frame, and shutting the
// services down in the reverse order.
//
// The services that live outside the dictionary (the mail settings, the query
// wizard texts, the report writer, the frame itself) are handed in by the
// program as StartupServices, so this file stays a core file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/data/TableDef.h"
#include "platform/runtime/IniFile.h"

namespace kr {

// "PATHS.INI", section "PATH", key "DATA": the data folder chosen before.
inline constexpr const char* kPathsIniName = "PATHS.INI";
inline constexpr const char* kPathsSection = "PATH";
inline constexpr const char* kPathsDataKey = "DATA";
// The window-position file of INIMgr, in the data folder.
inline constexpr const char* kPositionIniName = ".\\POSITION.INI";
inline constexpr const char* kHelpFileName = "KR.HLP";
inline constexpr const char* kReportLibraryName = "reports.tps";

// The folder that takes the place of the default install folder: the user's
// data folder, $XDG_DATA_HOME/Kairoll (~/.local/share/Kairoll when
// XDG_DATA_HOME is unset or not absolute).
std::string DefaultInstallFolder();
// The user's configuration folder, $XDG_CONFIG_HOME/Kairoll
// (~/.config/Kairoll), and the "PATHS.INI" in it that names the data folder.
std::string ConfigFolder();
std::string PathsIniPath();

// How FindDataFolder settled.
enum class DataFolderSource {
    DataFileHere,  // "KR97.TPS" was in the folder the program started in
    PathsIni,      // "PATHS.INI" named a folder that holds it
    Chosen,        // the user picked a folder in "Select data directory"
    NewDatabase,   // none of these: the data is created in the current folder
};
struct DataFolder {
    std::string folder;  // the current folder afterwards (absolute)
    DataFolderSource source = DataFolderSource::NewDatabase;
    bool dataFileDamaged = false;  // ProgramStartup: the data file failed its check; nothing ran
    bool otherCopyRuns = false;    // ProgramStartup: another copy runs on this folder; nothing ran
    // The folder has no data file, but copies of one ("KR97.TPS.damaged",
    // ".tpsfix-new", ".old") or a folder or dangling link in its place; the
    // search stopped there. ProgramStartup tells the user and runs nothing.
    std::vector<std::string> strandedFiles;
};

// The repair program a damaged data file is sent to.
inline constexpr const char* kRepairProgramName = "KR_DBASE";
// What the start-up check of the data file may spend on its quick check.
inline constexpr int kDataFileCheckBudgetMs = 500;

// Checks the data file of the current folder ("KR97.TPS") before anything
// writes to it. The key and the catalogue are checked now: false with the
// user's message in *problem when the file is damaged or not a data file
// there. The pages behind them are checked on a worker while the program
// starts (what the check cannot reach in its time counts as sound), and the
// first write to the file and the timer's first tick wait for that report;
// a file found damaged then is reported with the same message and the
// program ends with code 1. True at once when there is no file yet.
bool StartDataFileCheck(std::string* problem);

// Start-up steps 1 and 2: makes the data folder the current folder.
//   1. "KR97.TPS" here: stay.
//   2. Else "PATHS.INI" here names a folder: go there.
//   3. Still no "KR97.TPS": go to the default install folder (made when
//      missing) unless the current folder lies inside it, and ask for a folder
//      with "Select data directory". A folder picked is entered and written to
//      "PATHS.INI"; a cancel shows "Application data will be created" / "New
//      Database" and stays.
// "PATHS.INI" is read and written in one place: the folder the program was
// started in (the current folder when this is called), whatever folder is
// current when the answer comes, so the folder chosen is found at the next
// start.
DataFolder FindDataFolder();

// For the suite's other programs when started outside the data folder (from
// the desktop's menu): when the current folder holds no "KR97.TPS", enters
// the folder that "PATHS.INI" names, else the default install folder, if it
// holds one. Asks nothing; true when the current folder holds the data file
// afterwards.
bool EnterKnownDataFolder();

// INIMgr: the program's INI manager on ".\POSITION.INI" (window positions
// and list layouts), set up by ProgramStartup.
IniFile& INIMgr();

// The help file set by start-up ("KR.HLP").
std::string HelpFile();

// Start-up steps 7 and 8: registers every table of the data files with the
// upgrade library, in the order and with the versions the upgrade relies on,
// and the earlier name of KRT:DOSFilename. Runs once per process; later
// calls do nothing. True when this call did the registration.
bool RegisterTables();
bool TablesRegistered();
// The tables RegisterTables registers, in its order, with their versions.
struct RegisteredTable {
    std::string prefix;
    std::string label;
    const data::TableDef* def = nullptr;
    int version = 0;
};
std::vector<RegisteredTable> RegisteredTables();

// The services of start-up that live outside the dictionary, in the order
// they run. Each may be empty.
struct StartupServices {
    // Once the data folder is the current folder: false when another copy of
    // the program already runs on it (it has been brought forward), and this
    // one ends before it opens anything.
    std::function<bool(const DataFolder& folder)> claimDataFolder;
    std::function<void(const std::string& positionFile)> iniInit;  // after INIMgr is set up
    std::function<void()> mailInit;          // MailSettings.Init(1)
    std::function<void()> queryWizardTexts;  // SetQueryWizardTexts
    std::function<void(const std::string& reportLibrary)> reportWriterInit;
    std::function<void()> runMain;           // the frame Main; returns when the user exits
    std::function<void()> iniShutdown;       // INIMgr: write the preserved values, shut down
    std::function<void()> mailKill;          // MailSettings.Kill
};

// ProgramStartup: the data folder, the check of the data file (a damaged
// one is reported, naming the repair program, and start-up ends there with
// dataFileDamaged set and nothing written), the help file, GlobalErrors, INIMgr on
// ".\POSITION.INI", DictionaryInit, the table registration, the mail settings,
// the query wizard texts, the report writer, then the frame; after the frame
// returns INIMgr, the mail settings, the dictionary and GlobalErrors are shut
// down, in that order. Returns the data folder it settled in.
DataFolder ProgramStartup(const StartupServices& services);

}  // namespace kr
