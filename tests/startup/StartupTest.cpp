// Start-up: the data-folder search in its order, PATHS.INI read and written
// in the user's configuration folder, the table registration and the order of the services.
#include <stdlib.h>

#include "StartupFixture.h"
#include "dictionary/GlobalErrors.h"
#include "dictionary/Startup.h"
#include "platform/data/Upgrade.h"
#include "platform/runtime/IniFile.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;

class DataFolderTest : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        start_ = dir_ / "start";
        other_ = dir_ / "other";
        fs::create_directories(start_);
        fs::create_directories(other_);
        const char* old = getenv("XDG_DATA_HOME");
        oldXdg_ = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("XDG_DATA_HOME", (dir_ / "xdg").c_str(), 1);
        const char* oldConfig = getenv("XDG_CONFIG_HOME");
        oldConfig_ = oldConfig ? std::optional<std::string>(oldConfig) : std::nullopt;
        setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        fs::create_directories(Config());
        fs::current_path(start_);
    }
    void TearDown() override {
        if (oldXdg_)
            setenv("XDG_DATA_HOME", oldXdg_->c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
        if (oldConfig_)
            setenv("XDG_CONFIG_HOME", oldConfig_->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        StartupTest::TearDown();
    }
    fs::path Install() const { return dir_ / "xdg" / "Kairoll"; }
    fs::path Config() const { return dir_ / "config" / "Kairoll"; }

    fs::path start_, other_;
    std::optional<std::string> oldXdg_, oldConfig_;
};

TEST_F(DataFolderTest, DataFileHereStaysWithoutReadingTheIni) {
    WriteFile(start_ / "kr97.tps", "");
    WriteFile(Config() / "PATHS.INI", "[PATH]\r\nDATA=" + other_.string() + "\r\n");
    DataFolder f = FindDataFolder();
    EXPECT_EQ(f.source, DataFolderSource::DataFileHere);
    EXPECT_EQ(fs::path(f.folder), start_);
    EXPECT_EQ(fs::current_path(), start_);
    EXPECT_TRUE(responder_.folderRequests().empty());
}

TEST_F(DataFolderTest, PathsIniNamesTheFolderThatHoldsTheDataFile) {
    WriteFile(other_ / "KR97.TPS", "");
    WriteFile(Config() / "paths.ini", "[path]\r\ndata=" + other_.string() + "\r\n");
    DataFolder f = FindDataFolder();
    EXPECT_EQ(f.source, DataFolderSource::PathsIni);
    EXPECT_EQ(fs::current_path(), other_);
    EXPECT_TRUE(responder_.folderRequests().empty());
    EXPECT_TRUE(responder_.shown().empty());
}

TEST_F(DataFolderTest, ChosenFolderIsWrittenWhereItIsReadNextTime) {
    WriteFile(Config() / "PATHS.INI", "[PATH]\r\nDATA=" + (dir_ / "gone").string() + "\r\n");
    responder_.AnswerFolder(other_.string());
    DataFolder f = FindDataFolder();
    EXPECT_EQ(f.source, DataFolderSource::Chosen);
    EXPECT_EQ(fs::current_path(), other_);
    ASSERT_EQ(responder_.folderRequests().size(), 1u);
    EXPECT_EQ(responder_.folderRequests()[0], "Select data directory");
    // Written in the configuration folder (made when missing), though the
    // install folder was current when the answer came.
    fs::remove_all(Config());
    responder_.AnswerFolder(other_.string());
    fs::current_path(start_);
    FindDataFolder();
    EXPECT_EQ(Trim(GetIniValue((Config() / "PATHS.INI").string(), "PATH", "DATA", "")), other_.string());
    EXPECT_FALSE(fs::exists(Install() / "PATHS.INI"));
    EXPECT_FALSE(fs::exists(start_ / "PATHS.INI"));

    // The next start, from another folder (a desktop launcher's), goes
    // straight there once the data file exists.
    WriteFile(other_ / "KR97.TPS", "");
    fs::current_path(dir_);
    DataFolder again = FindDataFolder();
    EXPECT_EQ(again.source, DataFolderSource::PathsIni);
    EXPECT_EQ(fs::current_path(), other_);
    EXPECT_EQ(responder_.folderRequests().size(), 2u);
}

TEST_F(DataFolderTest, PathsIniWrittenOnWindowsOrNamingAMissingFolder) {
    // Backslashes, as a PATHS.INI written on Windows has them.
    std::string windows = other_.string();
    for (char& c : windows)
        if (c == '/') c = '\\';
    WriteFile(other_ / "KR97.TPS", "");
    WriteFile(Config() / "PATHS.INI", "[PATH]\r\nDATA=" + windows + "\r\n");
    DataFolder f = FindDataFolder();
    EXPECT_EQ(f.source, DataFolderSource::PathsIni);
    EXPECT_EQ(fs::current_path(), other_);
    EXPECT_TRUE(responder_.shown().empty());

    // A folder that is gone is reported before another is asked for.
    fs::current_path(start_);
    const std::string gone = (dir_ / "gone").string();
    WriteFile(Config() / "PATHS.INI", "[PATH]\r\nDATA=" + gone + "\r\n");
    responder_.AnswerFolder(other_.string());
    f = FindDataFolder();
    EXPECT_EQ(f.source, DataFolderSource::Chosen);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "Data Folder");
    EXPECT_NE(responder_.shown()[0].request.text.find(gone), std::string::npos);
    EXPECT_EQ(responder_.folderRequests().size(), 1u);
}

// The other programs started outside the data folder (from the desktop's
// menu) go where KR98 would settle without asking, and ask nothing.
TEST_F(DataFolderTest, OtherProgramsEnterTheKnownDataFolderWithoutAsking) {
    // Nothing known: they stay.
    EXPECT_FALSE(EnterKnownDataFolder());
    EXPECT_EQ(fs::current_path(), start_);
    // The default folder, once it holds the data file.
    fs::create_directories(Install());
    WriteFile(Install() / "KR97.TPS", "");
    EXPECT_TRUE(EnterKnownDataFolder());
    EXPECT_EQ(fs::current_path(), Install());
    // PATHS.INI comes first (Windows backslashes too); a folder it names
    // without a data file is passed over.
    std::string windows = other_.string();
    for (char& c : windows)
        if (c == '/') c = '\\';
    WriteFile(Config() / "PATHS.INI", "[PATH]\r\nDATA=" + windows + "\r\n");
    fs::current_path(start_);
    EXPECT_TRUE(EnterKnownDataFolder());
    EXPECT_EQ(fs::current_path(), Install());
    WriteFile(other_ / "kr97.tps", "");
    fs::current_path(start_);
    EXPECT_TRUE(EnterKnownDataFolder());
    EXPECT_EQ(fs::current_path(), other_);
    // A data file here keeps them here.
    WriteFile(start_ / "KR97.TPS", "");
    fs::current_path(start_);
    EXPECT_TRUE(EnterKnownDataFolder());
    EXPECT_EQ(fs::current_path(), start_);
    EXPECT_TRUE(responder_.shown().empty());
    EXPECT_TRUE(responder_.folderRequests().empty());
}

TEST_F(DataFolderTest, CopiesOfAMissingDataFileStopTheStartAndAreNamed) {
    // A repair stopped between its steps: only the kept and the new copy.
    WriteFile(other_ / "KR97.TPS.damaged", "old");
    WriteFile(other_ / "KR97.TPS.tpsfix-new", "new");
    WriteFile(other_ / "KR97.TPS.fix.txt", "report");
    WriteFile(Config() / "PATHS.INI", "[PATH]\r\nDATA=" + other_.string() + "\r\n");
    DataFolder f = FindDataFolder();
    EXPECT_EQ(f.source, DataFolderSource::PathsIni);
    EXPECT_EQ(fs::current_path(), other_);
    EXPECT_EQ(f.strandedFiles, (std::vector<std::string>{"KR97.TPS.damaged", "KR97.TPS.tpsfix-new"}));
    EXPECT_TRUE(responder_.folderRequests().empty()) << "no new data folder is offered";

    fs::current_path(start_);
    StartupServices services;
    bool ran = false;
    services.runMain = [&] { ran = true; };
    f = ProgramStartup(services);
    EXPECT_TRUE(f.dataFileDamaged);
    EXPECT_FALSE(ran);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "Data File Missing");
    EXPECT_NE(responder_.shown()[0].request.text.find("KR97.TPS.damaged"), std::string::npos);
    EXPECT_NE(responder_.shown()[0].request.text.find("KR97.TPS.tpsfix-new"), std::string::npos);
    EXPECT_FALSE(fs::exists(other_ / "KR97.TPS"));
    EXPECT_FALSE(fs::exists(Install() / "KR97.TPS"));

    // A restore's kept copy beside a link to nothing, and a folder in the
    // data file's place, in the folder the program starts in.
    fs::current_path(start_);
    fs::remove(Config() / "PATHS.INI");
    fs::create_symlink(dir_ / "gone.TPS", start_ / "KR97.TPS");
    WriteFile(start_ / "kr97.tps.old", "old");
    f = FindDataFolder();
    EXPECT_EQ(fs::path(f.folder), start_);
    EXPECT_EQ(f.strandedFiles,
              (std::vector<std::string>{"KR97.TPS (a link to a file that is gone)", "kr97.tps.old"}));
    fs::remove(start_ / "KR97.TPS");
    fs::remove(start_ / "kr97.tps.old");
    fs::create_directory(start_ / "KR97.TPS");
    f = FindDataFolder();
    EXPECT_EQ(f.strandedFiles, (std::vector<std::string>{"KR97.TPS (a folder)"}));
    EXPECT_TRUE(responder_.folderRequests().empty());
}

TEST_F(DataFolderTest, CancelGoesOnInTheInstallFolderAndWritesNothing) {
    responder_.AnswerFolder(std::nullopt);
    DataFolder f = FindDataFolder();
    EXPECT_EQ(f.source, DataFolderSource::NewDatabase);
    EXPECT_EQ(fs::current_path(), Install()) << "the install folder is made when missing";
    // Made by the program, it is the user's own.
    EXPECT_EQ(fs::status(Install()).permissions(), fs::perms::owner_all);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "New Database");
    EXPECT_EQ(responder_.shown()[0].request.text, "Application data will be created");
    EXPECT_FALSE(fs::exists(Config() / "PATHS.INI"));
}

TEST_F(DataFolderTest, InsideTheInstallFolderTheDialogStartsWhereItIs) {
    fs::path inside = Install() / "Sub";
    fs::create_directories(inside);
    // The install folder's name in another case still counts as inside it.
    fs::path lower = dir_ / "xdg" / "kairoll";
    std::error_code ec;
    fs::rename(Install(), lower, ec);
    ASSERT_FALSE(ec);
    fs::current_path(lower / "Sub");
    responder_.AnswerFolder(std::nullopt);
    FindDataFolder();
    EXPECT_EQ(fs::current_path(), lower / "Sub");
    EXPECT_FALSE(fs::exists(Install())) << "the install folder was not entered or made";
}

TEST(RegisterTablesTest, EveryTableOnceWithItsLayoutVersion) {
    RegisterTables();
    EXPECT_FALSE(RegisterTables()) << "the registration runs once";
    EXPECT_TRUE(TablesRegistered());
    std::vector<RegisteredTable> tables = RegisteredTables();
    ASSERT_EQ(tables.size(), 19u);
    EXPECT_EQ(tables.front().label, "Categories");
    EXPECT_EQ(tables.back().label, "Todo");
    for (const RegisteredTable& t : tables) {
        EXPECT_EQ(t.version, t.def->version) << t.label;
        EXPECT_EQ(t.prefix, t.def->prefix) << t.label;
        EXPECT_EQ(data::RegisteredVersion(*t.def), t.version) << t.label;
    }
    EXPECT_EQ(data::RegisteredVersion(KR_LogDef()), 0);
    EXPECT_EQ(data::RegisteredVersion(ExportDef()), 0);
}

TEST_F(StartupTest, ServicesStartAndStopInTheirOrder) {
    WriteFile("KR97.TPS", "");
    std::vector<std::string> calls;
    StartupServices s;
    s.iniInit = [&](const std::string& file) { calls.push_back("ini " + file); };
    s.mailInit = [&] { calls.push_back(DictionaryReady() && TablesRegistered() ? "mail" : "mail too early"); };
    s.queryWizardTexts = [&] { calls.push_back("query"); };
    s.reportWriterInit = [&](const std::string& file) { calls.push_back("reports " + file); };
    s.runMain = [&] { calls.push_back("main " + HelpFile()); };
    s.iniShutdown = [&] { calls.push_back("ini down"); };
    s.mailKill = [&] { calls.push_back(DictionaryReady() ? "mail down" : "mail down too late"); };
    DataFolder f = ProgramStartup(s);
    EXPECT_EQ(f.source, DataFolderSource::DataFileHere);
    EXPECT_EQ(calls, (std::vector<std::string>{"ini .\\POSITION.INI", "mail", "query", "reports reports.tps",
                                               "main KR.HLP", "ini down", "mail down"}));
    EXPECT_FALSE(DictionaryReady());
}

}  // namespace
}  // namespace kr::test
