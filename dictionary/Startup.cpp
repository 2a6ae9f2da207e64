#include "dictionary/Startup.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/FileNames.h"
#include "dictionary/GlobalErrors.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/DataFileCheck.h"
#include "platform/data/Names.h"
#include "platform/data/Table.h"
#include "platform/data/Upgrade.h"
#include "platform/data/WorkCopies.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"

namespace kr {

namespace {

std::mutex g_mutex;
std::string g_helpFile;
bool g_registered = false;

bool EnterFolder(const std::string& folder) { return !folder.empty() && ::chdir(folder.c_str()) == 0; }

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    passwd pw{};
    passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && pw.pw_dir) return pw.pw_dir;
    return "/";
}

}  // namespace

std::string DefaultInstallFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    std::filesystem::path base = xdg && *xdg == '/' ? std::filesystem::path(xdg)
                                                    : std::filesystem::path(HomeFolder()) / ".local" / "share";
    return (base / "Kairoll").lexically_normal().string();
}

std::string ConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path base = xdg && *xdg == '/' ? std::filesystem::path(xdg)
                                                    : std::filesystem::path(HomeFolder()) / ".config";
    return (base / "Kairoll").lexically_normal().string();
}

std::string PathsIniPath() { return (std::filesystem::path(ConfigFolder()) / kPathsIniName).string(); }

static std::vector<std::string> StrandedDataFiles() {
    // A data file that is not there, but whose copies are: what a repair or
    // a restore stopped half way, or a hand, left behind. Then a new, empty
    // data file elsewhere would only hide them.
    std::vector<std::string> found;
    if (data::FileExists(kDataFileName)) return found;
    const std::string name = Upper(kDataFileName);
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(".", ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        const std::string upper = Upper(entry);
        std::error_code e2;
        if (upper == name) {
            // A folder, or a link to nothing, in the data file's place.
            const bool folder = it->is_directory(e2);
            if (folder || !std::filesystem::exists(it->path(), e2))
                found.push_back(entry + (folder ? " (a folder)" : " (a link to a file that is gone)"));
            continue;
        }
        if (upper.rfind(name + ".", 0) != 0 || !it->is_regular_file(e2)) continue;
        const std::string tail = upper.substr(name.size() + 1);
        if (tail == "OLD" || tail == "TPSFIX-NEW" || tail.rfind("DAMAGED", 0) == 0) found.push_back(entry);
    }
    std::sort(found.begin(), found.end());
    return found;
}

static bool HoldsDataFile(const std::filesystem::path& folder) {
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec))
        if (Upper(it->path().filename().string()) == Upper(kDataFileName)) return true;
    return false;
}

bool EnterKnownDataFolder() {
    if (HoldsDataFile(CurrentFolder())) return true;
    std::string named = Trim(GetIniValue(PathsIniPath(), kPathsSection, kPathsDataKey, ""));
    std::replace(named.begin(), named.end(), '\\', '/');
    for (const std::string& folder : {named, DefaultInstallFolder()})
        if (!folder.empty() && HoldsDataFile(folder) && EnterFolder(folder)) return true;
    return false;
}

DataFolder FindDataFolder() {
    DataFolder r;
    // PATHS.INI is the user's, in the configuration folder (the program's own
    // folder elsewhere): started from any folder the program finds it, and
    // writes it back there however the current folder moves meanwhile.
    const std::string pathsIni = PathsIniPath();

    if (data::FileExists(kDataFileName)) {
        r.source = DataFolderSource::DataFileHere;
        r.folder = CurrentFolder();
        return r;
    }
    // Copies of a missing data file here count only when PATHS.INI leads
    // to no data folder.
    const std::string startFolder = CurrentFolder();
    const std::vector<std::string> strandedHere = StrandedDataFiles();
    if (data::FileExists(pathsIni)) {
        // "\" is "/" here as in every other name (a PATHS.INI written on
        // Windows has backslashes). A folder that cannot be entered leaves
        // the current folder as it is, and the user is told before being
        // asked for another.
        std::string named = Trim(GetIniValue(pathsIni, kPathsSection, kPathsDataKey, ""));
        for (char& c : named)
            if (c == '\\') c = '/';
        if (!named.empty() && !EnterFolder(named)) {
            const int err = errno;
            Message("The data folder named in " + std::string(kPathsIniName) + " cannot be used:|" + named + "|" +
                        std::strerror(err),
                    "Data Folder", MessageIcon::Exclamation);
        } else if (data::FileExists(kDataFileName) || !(r.strandedFiles = StrandedDataFiles()).empty()) {
            r.source = DataFolderSource::PathsIni;
            r.folder = CurrentFolder();
            return r;
        }
    }

    if (!strandedHere.empty() && EnterFolder(startFolder)) {
        r.strandedFiles = strandedHere;
        r.source = DataFolderSource::DataFileHere;
        r.folder = CurrentFolder();
        return r;
    }

    // Not found: offer the default install folder, unless the search is
    // already inside it, and ask.
    const std::string install = DefaultInstallFolder();
    if (InStringNoCase(install, CurrentFolder()) == 0) {
        // Made here, the folder is the user's own (0700): it will hold the
        // data file, whose owner password is in the program. A folder the
        // user chose keeps its permissions, since several users may share it.
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(install).parent_path(), ec);
        ::mkdir(install.c_str(), 0700);
        EnterFolder(install);
    }
    std::optional<std::string> chosen = Messages().ChooseFolder("Select data directory", CurrentFolder());
    if (chosen && EnterFolder(*chosen)) {
        std::error_code ec;
        std::filesystem::create_directories(ConfigFolder(), ec);
        PutIniValue(pathsIni, kPathsSection, kPathsDataKey, CurrentFolder());
        r.source = DataFolderSource::Chosen;
    } else {
        // Cancelled (or a folder that cannot be entered): the tables are
        // created here when first opened.
        Message("Application data will be created", "New Database");
        r.source = DataFolderSource::NewDatabase;
    }
    r.folder = CurrentFolder();
    return r;
}

IniFile& INIMgr() {
    static IniFile manager;
    return manager;
}

std::string HelpFile() {
    std::lock_guard<std::mutex> l(g_mutex);
    return g_helpFile;
}

bool TablesRegistered() {
    std::lock_guard<std::mutex> l(g_mutex);
    return g_registered;
}

namespace {

struct Registration {
    const char* prefix;
    const char* label;
    const data::TableDef& (*def)();
    int version;
};

// The tables of the data files with the versions of their record layouts, in
// the order they are registered. KR_Log and Export are not upgraded.
const Registration kRegistrations[] = {
    {"CAT", "Categories", CategoriesDef, 4},
    {"CLI", "Clipboard", ClipboardDef, 8},
    {"CLC", "ClipboardCategories", ClipboardCategoriesDef, 3},
    {"CF", "Configuration", ConfigurationDef, 2},
    {"C_", "Contact", ContactDef, 2},
    {"CC", "ContactCategories", ContactCategoriesDef, 3},
    {"HOL", "Holidays", HolidaysDef, 4},
    {"M_", "Messages", MessagesDef, 3},
    {"ML", "MsgLink", MsgLinkDef, 1},
    {"SCH", "Schedule", ScheduleDef, 11},
    {"SCW", "ScheduleWorkfile", ScheduleWorkfileDef, 3},
    {"KRD", "ScriptTemplateDetails", ScriptTemplateDetailsDef, 3},
    {"KRT", "ScriptTemplates", ScriptTemplatesDef, 2},
    {"SCR", "Scripting", ScriptingDef, 8},
    {"SSch", "SyncSchedule", SyncScheduleDef, 7},
    {"SScr", "SyncScripting", SyncScriptingDef, 5},
    {"STdo", "SyncTodo", SyncTodoDef, 1},
    {"HOT", "SysHotKeys", SysHotKeysDef, 2},
    {"TDO", "Todo", TodoDef, 4},
};

}  // namespace

bool RegisterTables() {
    {
        std::lock_guard<std::mutex> l(g_mutex);
        if (g_registered) return false;
        g_registered = true;
    }
    data::ds_AddDriver("Tps");
    data::ds_IgnoreDriver("AllFiles", 1);
    for (const Registration& r : kRegistrations) {
        data::ds_UsingFile(r.prefix, r.label, r.def(), r.version);
        // KRT:DOSFilename was called KRT:Filename in earlier versions of the file.
        if (std::string_view(r.prefix) == "KRT") data::ds_AlternateFieldName("KRT:DOSFilename", "KRT:Filename");
    }
    return true;
}

std::vector<RegisteredTable> RegisteredTables() {
    std::vector<RegisteredTable> out;
    for (const Registration& r : kRegistrations) out.push_back({r.prefix, r.label, &r.def(), r.version});
    return out;
}

namespace {

std::string DamagedText(const std::string& path, const data::DataFileCheck& check) {
    const std::string what = check.health == data::DataFileHealth::Damaged ? "is damaged"
                                                                          : "is damaged or not a Kairoll data file";
    return "The data file " + path + " " + what + " (" + check.detail + ").|Kairoll closes without changing it. "
           "Run " + std::string(kRepairProgramName) + " to repair it.";
}

}  // namespace

bool StartDataFileCheck(std::string* problem) {
    if (!data::FileExists(kDataFileName)) return true;  // made when first opened
    const std::string path = data::ResolveFilePath(kDataFileName);
    // The file opens with the key and its catalogue reads: checked now, as
    // every table needs it. The pages behind it are checked on a worker.
    const data::DataFileCheck header = data::CheckDataFileHeader(path, kOwnerPassword);
    if (!header.usable()) {
        if (problem) *problem = DamagedText(path, header);
        return false;
    }
    data::StartDataFileCheck(path, kOwnerPassword, kDataFileCheckBudgetMs, [path](const data::DataFileCheck& c) {
        // Reported before anything was written to the file: the user is told
        // and the program ends at once, leaving the file as it is.
        Message(DamagedText(path, c), "Damaged Data File", MessageIcon::Hand);
        std::fflush(nullptr);
        std::_Exit(1);
    });
    return true;
}

DataFolder ProgramStartup(const StartupServices& services) {
    DataFolder folder = FindDataFolder();
    if (services.claimDataFolder && !services.claimDataFolder(folder)) {
        folder.otherCopyRuns = true;
        return folder;
    }
    // Copies of a data file that is not there: nothing is created beside
    // them, and the user learns which files they are.
    if (!folder.strandedFiles.empty()) {
        std::string names;
        for (const std::string& f : folder.strandedFiles) names += "|    " + f;
        Message("The data folder " + folder.folder + " holds no usable data file (" + kDataFileName +
                    "), but:" + names +
                    "||A repair or a restore may have stopped before it finished. Kairoll closes without "
                    "changing anything: put the right copy back as " + kDataFileName + ", then start Kairoll again.",
                "Data File Missing", MessageIcon::Hand);
        folder.dataFileDamaged = true;
        return folder;
    }
    // Copies that a backup, restore or repair killed at work left in the
    // data folder.
    data::RemoveStrayWorkCopies(".");
    // A damaged data file is not written to: the user is told and sent to
    // the repair program before anything opens it.
    std::string problem;
    if (!StartDataFileCheck(&problem)) {
        Message(problem, "Damaged Data File", MessageIcon::Hand);
        folder.dataFileDamaged = true;
        return folder;
    }
    {
        std::lock_guard<std::mutex> l(g_mutex);
        g_helpFile = kHelpFileName;
    }
    GlobalErrors().Init();
    INIMgr().Init(kPositionIniName);
    if (services.iniInit) services.iniInit(INIMgr().fileName());
    DictionaryInit();
    RegisterTables();
    if (services.mailInit) services.mailInit();
    if (services.queryWizardTexts) services.queryWizardTexts();
    if (services.reportWriterInit) services.reportWriterInit(kReportLibraryName);

    if (services.runMain) services.runMain();
    // A program that ends before its first write still hears the check.
    data::AwaitDataFileCheck();

    if (services.iniShutdown) services.iniShutdown();
    if (services.mailKill) services.mailKill();
    DictionaryKill();
    GlobalErrors().Shutdown();
    // The runtime's close-down: files still open are closed.
    CloseEventLog();
    data::CloseIdleFiles();
    return folder;
}

}  // namespace kr
