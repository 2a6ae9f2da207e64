#include "backup/Launcher.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <thread>

#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Names.h"
#include "platform/data/WorkCopies.h"
#include "platform/desktop/SingleCopy.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/WriteCauses.h"

namespace kr::backup {

namespace fs = std::filesystem;

namespace {

constexpr const char* kIni = "VXWBack.INI";
constexpr const char* kSection = "Preserved";

std::string Clip(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool IsDataFileName(const std::string& name) {
    return name.size() > 4 && Upper(name.substr(name.size() - 4)) == ".TPS";
}

bool OnDiskette(const std::string& name) {
    std::string head = Upper(name.substr(0, 2));
    return head == "A:" || head == "B:";
}

std::string WithExtension(const std::string& path) {
    std::string p = Clip(path);
    std::string base = fs::path(p).filename().string();
    if (!p.empty() && base.find('.') == std::string::npos) p += ".ZIP";
    return p;
}

// How long a KR98 asked to end has to end and free the data files.
constexpr int kKR98EndMs = 30000;

// The data files named in the archive that another program has open in dest.
std::vector<std::string> FilesInUse(const std::vector<LSZQRow>* members, const fs::path& dest) {
    std::vector<std::string> inUse;
    if (members)
        for (const LSZQRow& row : *members) {
            std::string name = row.FILENAME;
            std::replace(name.begin(), name.end(), '\\', '/');
            name = fs::path(name).filename().string();
            if (!name.empty() && DataFileInUse((dest / name).string())) inUse.push_back(name);
        }
    return inUse;
}

enum class KR98Closing { NotOffered, Declined, NotEnded, Ended };

// Offers to close the KR98 that holds the data folder, when one does and
// answers over its channel. On Yes it is asked to end, and this waits (the
// progress window live) for its lock and the data files to be free. Ended
// leaves the KR98 that was ended in *closed, also when another program
// still holds a file: it is to be started again whatever follows.
KR98Closing CloseKR98(const fs::path& folder, const std::vector<LSZQRow>* members, ProgressWindow& window,
                      std::optional<FolderHolder>* closed) {
    const std::optional<FolderHolder> holder = AskFolderHolder(folder.string());
    if (!holder) return KR98Closing::NotOffered;
    if (Message("Kairoll (KR98) is running on this data folder and holds the data files, so they cannot be "
                "restored while it runs.\r\n\r\nClose Kairoll, restore the archive and start Kairoll again?",
                "Restore", MessageIcon::Question, kButtonYes | kButtonNo, kButtonNo) != kButtonYes)
        return KR98Closing::Declined;
    if (!AskFolderHolderToEnd(folder.string())) {
        // Gone between the question and the answer, or no longer listening.
        if (!FolderHeld(folder.string())) return KR98Closing::NotOffered;
        Message("Kairoll (KR98) could not be asked to close.\r\nNothing was restored.", "Restore Failed",
                MessageIcon::Hand);
        return KR98Closing::NotEnded;
    }
    window.SetMember("Waiting for Kairoll (KR98) to close...");
    window.Run([&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kKR98EndMs);
        while ((FolderHeld(folder.string()) || !FilesInUse(members, folder).empty()) &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return 0;
    });
    window.SetMember("");
    if (FolderHeld(folder.string())) {
        Message("Kairoll (KR98) did not close within 30 seconds.\r\nNothing was restored.", "Restore Failed",
                MessageIcon::Hand);
        return KR98Closing::NotEnded;
    }
    *closed = holder;
    return KR98Closing::Ended;
}

// Starts the KR98 a restore closed again, in the data folder, with the
// arguments it had.
void StartKR98Again(const FolderHolder& holder, const fs::path& folder) {
    std::vector<std::string> command{holder.program};
    command.insert(command.end(), holder.arguments.begin(), holder.arguments.end());
    StartOptions options;
    options.startFolder = folder.string();
    const StartResult started = StartProgramArgs(command, options);
    if (!started.ok())
        Message("Kairoll (KR98) could not be started again: " + started.message, "Error", MessageIcon::Hand);
}

// SQLite's integrity check on an open connection. False when it gives no
// answer (the key does not fit, or the file cannot be read); else *finding
// is empty for a sound file and holds what the check found otherwise.
bool IntegrityCheck(sqlite3* db, std::string* finding) {
    sqlite3_stmt* st = nullptr;
    bool answered = false;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        answered = true;
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        if (text && std::string(text) == "ok")
            finding->clear();
        else
            *finding = text ? text : "integrity check failed";
    }
    sqlite3_finalize(st);
    return answered;
}

}  // namespace

std::string LauncherLSZCLASS::SetArchiveName(const std::string& path) {
    ZIPARCHIVENAME = WithExtension(path);
    return ZIPARCHIVENAME;
}

std::string LauncherLSZCLASS::SetUnzipArchiveName(const std::string& path) { return SetArchiveName(path); }

bool LauncherLSZCLASS::SetFileSpec(const std::string& spec) {
    if (ZIPARCHIVENAME.empty()) return false;
    FILESPEC = Clip(spec);
    return true;
}

void LauncherLSZCLASS::ReportError(const std::string& text, const std::string& title, int32_t code) {
    if (beforeFailureBox_) beforeFailureBox_();
    std::string msg;
    std::string t = Clip(text);
    if (!t.empty()) msg += t + "\r\n\r\n";
    msg += "Archive: " + ZIPARCHIVENAME + "\r\n";
    if (code != 0) msg += "Error " + std::to_string(code) + ":  " + ErrorText(code) + "\r\n";
    if (msg.size() > 2048) msg.resize(2048);
    Message(msg, title.empty() ? "Operation Failed" : title, MessageIcon::Hand);
}

void LauncherLSZCLASS::StepOverall() {
    ++rowsCounted_;
    int percent = ITEMSTODO ? std::min(99, rowsCounted_ * 99 / ITEMSTODO) : 0;
    if (percent != PROGRESSB_THERMOMETER) {
        PROGRESSB_THERMOMETER = percent;
        if (APPREF && PERCENTCOMPLETEDB) APPREF->SetPercentB(percent);
    }
}
void LauncherLSZCLASS::ShowTestProgress() { StepOverall(); }
void LauncherLSZCLASS::ShowRestoreProgress() { StepOverall(); }

void LauncherLSZCLASS::OnMember(const std::string& name) {
    if (APPREF && MEMBERTEXTA) APPREF->SetMember(name.substr(0, 127));
    ++ITEMSDONE;
    int percent = ITEMSTODO ? ITEMSDONE * 99 / ITEMSTODO : ITEMSDONE * 2;
    PROGRESSB_THERMOMETER = std::min(99, percent);
    if (APPREF && PERCENTCOMPLETEDB) APPREF->SetPercentB(PROGRESSB_THERMOMETER);
}

void LauncherLSZCLASS::OnPercent(int percent) {
    PROGRESSA_THERMOMETER = percent;
    if (APPREF && PERCENTCOMPLETEDA) APPREF->SetPercentA(percent);
}

void LauncherLSZCLASS::ReportLoadError(int32_t code) {
    ReportError("No files in archive.", "Could Not Load Archive", code);
}

int LauncherLSZCLASS::Backup() {
    auto window = OpenProgress("Archiving...", true);
    PROGRESSB_THERMOMETER = 0;
    ITEMSDONE = 0;
    PERCENTCOMPLETEDB = 3;
    window->SetPercentB(0);
    int action = ZipAction();
    int level = ZipLevel();
    int flags = AskZipFlags(BaseZipFlags());
    auto finish = [&](int rc) {
        lib.LSUZ_RESET();
        FILESPEC.clear();
        ZIPWILDCARD.clear();
        ITEMSTODO = ITEMSDONE = 0;
        APPREF = nullptr;
        return rc;
    };
    if (lib.LSZIP_INCLUDE(FILESPEC) == 0) {
        ReportError("Error in Wildcard specification:  " + FILESPEC + ".", "Backup Failed", 0);
        FILESPEC.clear();
        APPREF = nullptr;
        return -1;
    }
    // The files the file pattern names, for the overall bar.
    ITEMSTODO = 0;
    const std::set<std::string> noted = data::NotedTemporaries(".");
    for (const std::string& part : SplitSpecification(FILESPEC)) {
        fs::path pp(part);
        fs::path folder = pp.has_parent_path() ? pp.parent_path() : fs::path(".");
        std::error_code ec;
        if (part.find_first_of("*?") == std::string::npos) {
            if (fs::is_regular_file(pp, ec)) ++ITEMSTODO;
            continue;
        }
        std::string pattern = pp.filename().string();
        for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
            std::string name = it->path().filename().string();
            if (it->is_regular_file(ec) && name[0] != '.' && fnmatch(pattern == "*.*" ? "*" : pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0 &&
                !noted.count(fs::absolute(it->path(), ec).lexically_normal().string()))
                ++ITEMSTODO;
        }
    }
    if (ITEMSTODO == 0) {
        Message("Nothing to process:  " + FILESPEC + ".", "Error", MessageIcon::Hand);
        if (stopWhenNothing_) return finish(-168);
    }
    int rc = window->Run([&] { return lib.LSZIP_EXECUTE(ZIPARCHIVENAME, action, level, flags); });
    if (rc != 0) {
        std::string text = "Could not create backup.";
        for (const std::string& damaged : lib.damagedDataFiles())
            text += "\r\nThe data file " + damaged + ".";
        if (!lib.damagedDataFiles().empty())
            text += "\r\nRepair the data file first; the archive was left as it was.";
        if (const std::string cause = ZipFailureCause(); !cause.empty())
            text += "\r\n" + cause + " The archive was left as it was.";
        ReportError(text, "", rc);
    }
    return finish(rc);
}

std::unique_ptr<ProgressWindow> LauncherLSZCLASS::BeginUnzip(const std::string& title) {
    auto window = OpenProgress(title, true);
    PERCENTCOMPLETEDB = 3;
    ITEMSDONE = 0;
    rowsCounted_ = 0;
    if (!LSZQ || LSZQ->empty()) LoadArchive();
    ITEMSTODO = LSZQ ? static_cast<int32_t>(LSZQ->size()) : 0;
    return window;
}

bool LauncherLSZCLASS::IncludeMembers(const std::string& failTitle, const std::string* extractTo) {
    if (!ZIPWILDCARD.empty()) {
        if (lib.LSUZ_INCLUDE(ZIPWILDCARD) == 0) {
            ReportError("Error in Wildcard specification:  " + ZIPWILDCARD + ".", failTitle, 0);
            return false;
        }
        if (extractTo) lib.LSUZ_EXTRACTTO(*extractTo);
        lib.LSUZ_ZIPNAME(ZIPARCHIVENAME);
        return true;
    }
    lib.LSUZ_ZIPNAME(ZIPARCHIVENAME);
    if (extractTo) lib.LSUZ_EXTRACTTO(*extractTo);
    if (LSZQ)
        for (size_t i = 0; i < LSZQ->size(); ++i) StepOverall();
    FILESPEC = MarkedMemberList();
    if (lib.LSUZ_INCLUDE(FILESPEC) == 0) {
        ReportError("Error in Wildcard specification:  " + FILESPEC + ".", failTitle, 0);
        return false;
    }
    return true;
}

int LauncherLSZCLASS::Test() {
    auto window = BeginUnzip("Testing...");
    auto finish = [&](int rc) {
        EndUnzip();
        return rc;
    };
    if (!IncludeMembers("Test Failed", nullptr)) return finish(-1);
    int flags = USEFOLDERNAMES == 0 ? kUnzipJunkPaths : 0;
    if (!ZIPPASSWORD.empty()) lib.LSUZ_PASSWORD(ZIPPASSWORD);
    PROGRESSB_THERMOMETER = 0;
    window->SetPercentB(0);
    int rc = window->Run([&] { return lib.LSUZ_EXECUTE(kUnzipTest, flags); });
    if (rc < 0) ReportError("Archive test failed.", "Test Failed", rc);
    return finish(rc);
}

int LauncherLSZCLASS::Restore() {
    auto window = BeginUnzip("Restoring...");
    const fs::path dest = ZIPDESTDIR.empty() ? fs::current_path() : fs::path(ZIPDESTDIR);
    // The KR98 this restore closed, started again however the restore ends,
    // and before any box the end shows: no task waits for the user to
    // answer it.
    std::optional<FolderHolder> closed;
    bool startedAgain = false;
    auto startAgain = [&] {
        if (!closed) return;
        StartKR98Again(*closed, dest);
        closed.reset();
        startedAgain = true;
    };
    beforeFailureBox_ = startAgain;
    auto finish = [&](int rc) {
        beforeFailureBox_ = nullptr;
        EndUnzip();
        startAgain();
        if (rc >= 0 && whenRestored_) whenRestored_(startedAgain);
        return rc;
    };
    if (ITEMSTODO == 0) Message("Nothing to process:  " + FILESPEC + ".", "Error", MessageIcon::Hand);

    // The data files are restored in place under their bare names, whatever
    // folders the archive stored with them. A member whose name climbs out of
    // its folder, starts at the root or names a drive is refused, as are two
    // members that would land on one file: the restore cannot tell which
    // one the user meant.
    if (LSZQ) {
        std::vector<std::string> refused;
        std::set<std::string> seen, twice;
        for (const LSZQRow& row : *LSZQ) {
            std::string name = row.FILENAME;
            std::replace(name.begin(), name.end(), '\\', '/');
            if (name.empty() || name.back() == '/') continue;  // a folder entry
            if (!IsPlainMemberName(name)) refused.push_back(row.FILENAME);
            std::string bare = Upper(fs::path(name).filename().string());
            if (!seen.insert(bare).second) twice.insert(fs::path(name).filename().string());
        }
        for (const std::string& n : twice) refused.push_back(n + " (more than once)");
        if (!refused.empty()) {
            std::string names;
            for (const std::string& n : refused) names += (names.empty() ? "" : ", ") + n;
            ReportError("The archive holds members that cannot be restored: " + names + ".\r\nNothing was restored.",
                        "Restore Failed", -51);
            return finish(-51);
        }
    }

    // None may be open in another program: its next commit would mix with
    // the restored file.
    std::vector<std::string> inUse = FilesInUse(LSZQ.get(), dest);
    if (!inUse.empty() && offerToCloseKR98_) {
        switch (CloseKR98(dest, LSZQ.get(), *window, &closed)) {
            case KR98Closing::Declined:
            case KR98Closing::NotEnded:
                return finish(-1);
            case KR98Closing::Ended:
                inUse = FilesInUse(LSZQ.get(), dest);
                break;
            case KR98Closing::NotOffered:
                break;
        }
    }
    if (!inUse.empty()) {
        std::string names;
        for (const std::string& n : inUse) names += (names.empty() ? "" : ", ") + n;
        ReportError("The data files are in use: " + names +
                        ".\r\nClose Kairoll (KR98) and every other program that uses them, then restore again.",
                    "Restore Failed", 0);
        return finish(-1);
    }

    // Extract into a temporary folder beside the data files.
    std::string tmpl = (dest / ".vxwrestore-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
        std::string text = "Could not restore from archive.";
        if (ReadOnlyError(errno))
            if (const std::string cause = ReadOnlyCause(tmpl); !cause.empty()) text += "\r\n" + cause;
        ReportError(text, "Restore Failed", -9);
        return finish(-9);
    }
    fs::path temp(tmpl);
    std::error_code ec;
    // The lock is let go after the folder is removed (see RemoveStrayWorkCopies).
    data::WorkCopyLock tempLock(tmpl);
    struct TempFolder {
        fs::path p;
        ~TempFolder() {
            std::error_code e;
            fs::remove_all(p, e);
        }
    } cleanup{temp};

    const std::string tempName = temp.string();
    if (!IncludeMembers("Restore Failed", &tempName)) return finish(-1);
    int flags = kUnzipJunkPaths + kUnzipOverwrite;
    if (!ZIPPASSWORD.empty()) lib.LSUZ_PASSWORD(ZIPPASSWORD);
    PROGRESSB_THERMOMETER = 0;
    window->SetPercentB(0);
    int rc = window->Run([&] { return lib.LSUZ_EXECUTE(kUnzipExtract, flags); });
    if (rc < 0) {
        std::string text = "Could not restore from archive.";
        if (!lib.readOnlyCause().empty()) text += "\r\n" + lib.readOnlyCause();
        ReportError(text, "", rc);
        return finish(rc);
    }

    // Check every restored data file before any of them replaces the old.
    std::vector<fs::path> restored;
    for (auto it = fs::directory_iterator(temp, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        if (it->is_regular_file(ec)) restored.push_back(it->path());
    for (const fs::path& file : restored) {
        std::string problem;
        if (IsDataFileName(file.filename().string()) && !CheckRestoredDataFile(file.string(), &problem)) {
            ReportError("The restored data file " + file.filename().string() + " " + problem +
                            "; nothing was restored.",
                        "Restore Failed", 0);
            return finish(-3);
        }
    }
    // The earlier restore's kept copies make way for this one's.
    for (auto it = fs::directory_iterator(dest, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() > 4 && Upper(name.substr(name.size() - 4)) == ".OLD" &&
            IsDataFileName(name.substr(0, name.size() - 4)) && it->is_regular_file(ec))
            fs::remove(it->path(), ec);
    }
    ec.clear();
    for (const fs::path& file : restored) {
        fs::path target = dest / file.filename();
        // The restored file takes the mode of the file it replaces (owner
        // only for a new one), never the mode stored in the archive.
        struct stat old {};
        bool replaces = ::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
        ::chmod(file.c_str(), replaces ? (old.st_mode & 07777) : 0600);
        if (IsDataFileName(file.filename().string())) {
            // A journal left beside the old file would be rolled back into
            // the restored one on its first open.
            fs::remove(fs::path(target.string() + "-journal"), ec);
            // The replaced data file stays as "<name>.old" until the next
            // restore; the link keeps the data file's own name in place
            // throughout.
            if (replaces) {
                std::string kept = target.string() + ".old";
                ::unlink(kept.c_str());
                if (::link(target.c_str(), kept.c_str()) != 0) fs::copy_file(target, kept, ec);
                ec.clear();
            }
        }
        if (::rename(file.c_str(), target.c_str()) != 0) {
            ReportError("Could not restore from archive.", "", -9);
            return finish(-9);
        }
    }
    return finish(rc);
}

bool IsPlainMemberName(const std::string& name) {
    std::string n = name;
    std::replace(n.begin(), n.end(), '\\', '/');
    if (n.empty() || n[0] == '/') return false;
    if (n.size() >= 2 && n[1] == ':' && std::isalpha(static_cast<unsigned char>(n[0]))) return false;
    for (const auto& part : fs::path(n))
        if (part == "..") return false;
    return true;
}

bool CheckRestoredDataFile(const std::string& path, std::string* problem) {
    auto fail = [&](const std::string& why) {
        if (problem) *problem = why;
        return false;
    };
    // The tables the program keeps in a file of this name, and its key.
    const std::string file = Upper(fs::path(path).filename().string());
    const data::TableDef* const defs[] = {
        &ScheduleDef(),   &ScheduleWorkfileDef(),     &SyncScheduleDef(),  &ScriptingDef(),    &SyncScriptingDef(),
        &ScriptTemplatesDef(), &ScriptTemplateDetailsDef(), &MsgLinkDef(), &HolidaysDef(), &ConfigurationDef(),
        &KR_LogDef(),     &ExportDef(),               &TodoDef(),          &SyncTodoDef(),     &CategoriesDef(),
        &ContactDef(),    &ContactCategoriesDef(),    &MessagesDef(),      &ClipboardDef(),    &ClipboardCategoriesDef(),
        &SysHotKeysDef()};
    std::set<std::string> tables;
    std::string password;
    for (const data::TableDef* def : defs) {
        if (def->driver != data::Driver::MultiTable) continue;
        data::TableName tn = data::SplitTableName(def->storedAs, def->driver);
        if (Upper(fs::path(tn.file).filename().string()) != file) continue;
        tables.insert(Upper(tn.table));
        password = def->ownerPassword;
    }
    // A data file of no table of the program is only checked for soundness.
    if (tables.empty()) return CheckDataFile(path, problem);

    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || st.st_size == 0) return fail("is empty");
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return fail("cannot be opened");
    }
    struct Closer {
        sqlite3* db;
        ~Closer() { sqlite3_close(db); }
    } closer{db};
    if (!password.empty()) sqlite3_key(db, password.data(), static_cast<int>(password.size()));
    sqlite3_stmt* st2 = nullptr;
    bool ours = false;
    if (sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table'", -1, &st2, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st2);
        return fail(password.empty() ? "is no data file of the program"
                                     : "does not open with the program's key (another program's file, or damaged)");
    }
    int rc;
    while ((rc = sqlite3_step(st2)) == SQLITE_ROW) {
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(st2, 0));
        if (name && tables.count(Upper(name))) ours = true;
    }
    sqlite3_finalize(st2);
    if (rc != SQLITE_DONE)
        return fail(password.empty() ? "is no data file of the program"
                                     : "does not open with the program's key (another program's file, or damaged)");
    if (!ours) return fail("holds none of the program's tables");
    // Checked on this connection: opening the file again would derive the
    // key again. Only a check that gives no answer here goes the long way.
    std::string finding;
    const bool sound = IntegrityCheck(db, &finding) ? finding.empty() : CheckDataFile(path, &finding);
    if (!sound) return fail("is damaged (" + finding + ")");
    return true;
}

bool DataFileInUse(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool used = false;
    // The table engine's share byte, and SQLite's own lock bytes.
    const std::pair<off_t, off_t> ranges[] = {{0x50000000, 1}, {0x40000000, 512 + 2}};
    for (auto [start, len] : ranges) {
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = start;
        fl.l_len = len;
        if (::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK) used = true;
    }
    ::close(fd);
    return used;
}

bool CheckDataFile(const std::string& path, std::string* problem) {
    std::string last = "it cannot be opened";
    for (const char* password : {kOwnerPassword, ""}) {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            break;
        }
        if (*password) sqlite3_key(db, password, static_cast<int>(std::char_traits<char>::length(password)));
        std::string finding;
        const bool answered = IntegrityCheck(db, &finding);
        sqlite3_close(db);
        if (answered) {
            if (!finding.empty() && problem) *problem = finding;
            return finding.empty();
        }
    }
    if (problem) *problem = last;
    return false;
}

// --- the launcher run ---

LauncherRun ReadLauncherCommandLine(const std::vector<std::string>& args) {
    LauncherRun run;
    for (const std::string& a : args) {
        auto eq = a.find('=');
        if (eq != std::string::npos) {
            std::string name = Upper(a.substr(0, eq));
            if (name == "BACKUP" && !run.backupValue) run.backupValue = a.substr(eq + 1);
            else if (name == "RESTORE" && !run.restoreValue) run.restoreValue = a.substr(eq + 1);
            continue;
        }
        if (run.positional.size() < 3) run.positional.push_back(a);
    }
    return run;
}

void LoadPreserved(LauncherRun& run) {
    run.archiveName = GetIniValue(kIni, kSection, "GLO:ArchiveName");
    run.operation = GetIniValue(kIni, kSection, "GLO:Operation");
}

void SavePreserved(const LauncherRun& run) {
    PutIniValue(kIni, kSection, "GLO:ArchiveName", run.archiveName);
    PutIniValue(kIni, kSection, "GLO:Operation", run.operation);
}

bool FolderHoldsDataFiles(const std::string& folder) {
    std::error_code ec;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name[0] != '.' && fnmatch("*.TPS", name.c_str(), FNM_CASEFOLD) == 0 && it->is_regular_file(ec)) return true;
    }
    return false;
}

void ApplyDefaults(LauncherRun& run) {
    if (Clip(run.archiveName).empty()) run.archiveName = "Backup.zip";
    if (Clip(run.operation).empty()) run.operation = "Backup to an archive";
}

int DoBackup(LauncherRun& run, bool unattended) {
    LauncherLSZCLASS z;
    z.INTERNALCLASSRELEASE = 2010;
    z.Init();
    // The layer reports progress with or without a window of the launcher,
    // so unattended runs show it too.
    z.HookUp(1);
    z.SetArchiveName(run.archiveName);
    if (OnDiskette(run.archiveName)) z.CREATEMULTIPLEVOLUME = 1;
    z.SetFileSpec("*.TPS");
    z.StopWhenNothingToProcess(unattended);
    int rc = z.Backup();
    if (rc == 0 && !unattended) Message("Backup complete.", "Information", MessageIcon::Information);
    z.Kill();
    return rc;
}

int DoRestore(LauncherRun& run, bool unattended) {
    if (OnDiskette(run.archiveName) &&
        Message("The system will restore from a diskette backup.  Insert the backup diskette in the floppy drive.",
                "Restore from Diskette Backup", MessageIcon::Question, kButtonOk | kButtonCancel,
                kButtonCancel) != kButtonOk)
        return -1;
    LauncherLSZCLASS z;
    z.INTERNALCLASSRELEASE = 2010;
    z.Init();
    z.HookUp(1);
    z.SetUnzipArchiveName(run.archiveName);
    z.ZIPWILDCARD = "*.*";
    int rc = z.Test();
    // The test answers with the number of members tested: any count is a
    // pass, only a negative code is a failure.
    if (rc >= 0) {
        z.ZIPWILDCARD = "*.*";
        z.ZIPDESTDIR = fs::current_path().string();
        z.OVERWRITEEXISTINGFILES = 1;
        // Somebody is there to answer the offer to close KR98.
        z.OfferToCloseKR98(!unattended);
        if (!unattended)
            z.WhenRestored([](bool kr98Started) {
                MessageRequest r;
                r.text = "Files successfully restored.";
                r.title = "Information";
                r.icon = MessageIcon::Information;
                // Above the windows of the KR98 just started, which would
                // otherwise come up over it.
                r.topmost = kr98Started;
                Messages().Show(r);
            });
        rc = z.Restore();
    }
    z.Kill();
    return rc >= 0 ? 0 : rc;
}

std::string AdvancedCommandLine(const LauncherRun& run) {
    std::string cmd = "VXWBACKA.EXE ";
    for (int i = 0; i < 3; ++i) {
        if (i) cmd += ' ';
        std::string p = i < static_cast<int>(run.positional.size()) ? run.positional[static_cast<size_t>(i)] : "";
        if (p.find(' ') != std::string::npos) p = '"' + p + '"';
        cmd += p;
    }
    return cmd;
}

}  // namespace kr::backup
