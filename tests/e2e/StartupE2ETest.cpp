// KR98 from start to exit, run as a program in temporary folders: the data
// folder it settles in when the data file is there, when PATHS.INI points
// elsewhere, and when neither (the folder question answered),
// and the data file it leaves behind.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "ProgramRun.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/DataFileCheck.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Strings.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exitCode = -1;
    std::string out, err;
    std::string Line(const std::string& prefix) const {
        std::istringstream in(out);
        std::string line;
        while (std::getline(in, line))
            if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
        return {};
    }
};

class KR98StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousDir_ = fs::current_path();
        char tmpl[] = "/tmp/kr-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = fs::path(tmpl);
        start_ = dir_ / "start";
        other_ = dir_ / "other";
        fs::create_directories(start_);
        fs::create_directories(other_);
        fs::create_directories(dir_ / "home");
    }
    void TearDown() override {
        data::CloseIdleFiles();
        fs::current_path(previousDir_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Starts KR98 in the start folder and waits for it to end.
    Outcome Start(const std::string& answers = {}, const QStringList& arguments = {}) {
        ProgramRun p;
        p.Prepare(dir_, "offscreen");
        p.SetWorkingFolder(start_);
        p.SetEnv("KR_TEST_EXIT_AFTER_STARTUP", "1");
        if (!answers.empty()) {
            std::ofstream(dir_ / "answers.txt", std::ios::trunc) << answers;
            p.SetResponses(dir_ / "answers.txt");
        }
        Outcome r;
        if (!p.Start(arguments)) return r;
        if (!p.WaitForEnd(60000)) p.Kill();
        r.exitCode = p.ExitCode();
        r.out = p.Output();
        r.err = p.Errors();
        return r;
    }

    // A data file with the settings table, as an earlier run leaves it.
    static void MakeDataFile(const fs::path& folder) {
        fs::path before = fs::current_path();
        fs::current_path(folder);
        data::Table& t = data::TableOf(ConfigurationDef());
        ASSERT_EQ(t.Create(), 0);
        data::CloseIdleFiles();
        fs::current_path(before);
    }

    // What the run left in the data folder: the settings table at its
    // registered version, with the program's name stored by the frame.
    static void ExpectDataFileIn(const fs::path& folder) {
        ASSERT_TRUE(fs::exists(folder / "KR97.TPS")) << folder;
        fs::path before = fs::current_path();
        fs::current_path(folder);
        data::Table& t = data::TableOf(ConfigurationDef());
        ASSERT_EQ(t.Open(data::kModeShared), 0);
        EXPECT_EQ(t.StoredVersion(), 2);
        t.Rec<Configuration>().DataType = "KRV";
        ASSERT_EQ(t.Get(ConfigurationDef().key("CF:KeyDataType")), 0);
        EXPECT_EQ(t.Rec<Configuration>().DataValue.str(), "kr98");
        t.Rec<Configuration>().DataType = "Version";
        ASSERT_EQ(t.Get(ConfigurationDef().key("CF:KeyDataType")), 0);
        EXPECT_EQ(t.Rec<Configuration>().DataValue.str(), "2.02");
        t.Close();
        data::CloseIdleFiles();
        fs::current_path(before);
    }

    std::string Log() const {
        std::ifstream in(dir_ / "answers.txt.log");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    static void ExpectStarted(const Outcome& r, const fs::path& folder, const std::string& how) {
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(fs::path(r.Line("KR98 data folder: ")), folder) << r.out << r.err;
        EXPECT_EQ(r.Line("KR98 found by: "), how);
        EXPECT_EQ(r.Line("KR98 tables registered: "), "19");
    }

    fs::path previousDir_, dir_, start_, other_;
};

TEST_F(KR98StartupTest, DataFileInTheStartFolder) {
    MakeDataFile(start_);
    std::ofstream(start_ / "kr98.INI") << "[Settings]\r\nLogEvents=1\r\n";
    Outcome r = Start("button 1\n");
    ExpectStarted(r, start_, "data file here");
    ExpectDataFileIn(start_);
    EXPECT_EQ(Log(), "") << "no question asked, no message shown";
    // The frame logged its start and its exit.
    std::ifstream in(start_ / "KR98Evnt.LOG");
    std::string first, second;
    std::getline(in, first);
    std::getline(in, second);
    ASSERT_EQ(first.size(), 183u) << "182 characters and CR";
    first.pop_back();
    second.pop_back();
    EXPECT_EQ(ClipRight(first.substr(22, 32)), "Started");
    EXPECT_EQ(ClipRight(first.substr(54)), "Kairoll 2000 2.02");
    EXPECT_EQ(ClipRight(second.substr(22, 32)), "Exit Kairoll");
}

TEST_F(KR98StartupTest, PathsIniPointsElsewhere) {
    MakeDataFile(other_);
    fs::create_directories(dir_ / "config" / "Kairoll");
    std::ofstream(dir_ / "config" / "Kairoll" / "PATHS.INI") << "[PATH]\r\nDATA=" << other_.string() << "\r\n";
    Outcome r = Start("folder-cancel\n");
    ExpectStarted(r, other_, "PATHS.INI");
    ExpectDataFileIn(other_);
    EXPECT_FALSE(fs::exists(start_ / "KR97.TPS"));
    EXPECT_EQ(Log(), "");
}

TEST_F(KR98StartupTest, NeitherThenTheFolderChosenIsFoundNextTime) {
    fs::path chosen = dir_ / "chosen";
    fs::create_directories(chosen);
    Outcome r = Start("folder " + chosen.string() + "\n");
    ExpectStarted(r, chosen, "chosen");
    ExpectDataFileIn(chosen);
    EXPECT_EQ(Log(), "folder\tSelect data directory\t" + (dir_ / "xdg" / "Kairoll").string() + "\n");
    EXPECT_TRUE(fs::exists(dir_ / "config" / "Kairoll" / "PATHS.INI"));
    EXPECT_FALSE(fs::exists(start_ / "PATHS.INI"));
    EXPECT_FALSE(fs::exists(dir_ / "xdg" / "Kairoll" / "PATHS.INI"));

    // The second start asks nothing.
    fs::remove(dir_ / "answers.txt.log");
    Outcome again = Start("folder-cancel\n");
    ExpectStarted(again, chosen, "PATHS.INI");
    EXPECT_EQ(Log(), "");
}

TEST_F(KR98StartupTest, QtOptionsOnTheCommandLineDoNotReachQt) {
    MakeDataFile(start_);
    // "-platform nosuch" would end the program in Qt; "-qwindowgeometry"
    // would size the frame beyond every screen and save that size.
    Outcome r = Start("button 1\n", {"-platform", "nosuch", "-qwindowgeometry", "16000000x16000000+0+0", "/I"});
    ExpectStarted(r, start_, "data file here");
    const std::string width = GetIniValue((start_ / "POSITION.INI").string(), "Main", "Width", "none");
    ASSERT_NE(width, "none") << "the frame saves its size as it closes";
    EXPECT_LE(std::stoll(width), 100000) << width;
}

TEST_F(KR98StartupTest, ADamagedDataFileIsReportedAndLeftAsItIs) {
    struct Case {
        off_t at;      // where the damage goes
        std::size_t bytes;
        const char* says;
    } cases[] = {
        {1024 + 100, 300, "is damaged ("},                           // a page after the first
        {200, 100, "is damaged (The first page"},                    // the first page behind the salt
        {0, 4096, "is damaged or not a Kairoll data file"},          // nothing decrypts
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        fs::remove(start_ / "KR97.TPS");
        fs::remove(dir_ / "answers.txt.log");
        MakeDataFile(start_);
        ASSERT_GE(fs::file_size(start_ / "KR97.TPS"), 2048u);
        {
            std::fstream f(start_ / "KR97.TPS", std::ios::in | std::ios::out | std::ios::binary);
            f.seekp(c.at);
            f << std::string(c.bytes, '\x5a');
        }
        std::ifstream in(start_ / "KR97.TPS", std::ios::binary);
        std::stringstream before;
        before << in.rdbuf();

        Outcome r = Start("button 1\n");
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        const std::string log = Log();
        EXPECT_NE(log.find("Damaged Data File"), std::string::npos) << log;
        EXPECT_NE(log.find(c.says), std::string::npos) << log;
        EXPECT_NE(log.find("KR_DBASE"), std::string::npos) << log;
        std::ifstream after(start_ / "KR97.TPS", std::ios::binary);
        std::stringstream now;
        now << after.rdbuf();
        EXPECT_TRUE(now.str() == before.str()) << "the data file was written to";
        EXPECT_FALSE(fs::exists(start_ / "KR98Evnt.LOG"));
    }
}

// The first page of the settings table ("CF") of a data file.
int SettingsRootPage(const fs::path& file) {
    sqlite3* db = nullptr;
    int root = 0;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        data::KeyConnection(db, file.string(), kOwnerPassword);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_master WHERE type = 'table' AND name = 'CF'", -1, &st,
                           nullptr);
        if (st && sqlite3_step(st) == SQLITE_ROW) root = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return root;
}

TEST_F(KR98StartupTest, ADamagedSettingsPageIsOneDamagedDataFileBox) {
    // A data file a first run has filled with its settings: the next start
    // writes none of them (a write would wait for the check of the file),
    // it reads them all.
    MakeDataFile(start_);
    ExpectStarted(Start("button 1\n"), start_, "data file here");
    fs::remove(dir_ / "answers.txt.log");
    const int root = SettingsRootPage(start_ / "KR97.TPS");
    ASSERT_GT(root, 1);
    {
        std::fstream f(start_ / "KR97.TPS", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(root - 1) * 1024 + 64);
        f << std::string(512, '\x5a');
    }
    // Every box is answered, so that none waits for its time-out.
    std::string answers;
    for (int i = 0; i < 80; ++i) answers += "button 1\n";
    Outcome r = Start(answers);
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    const std::string log = Log();
    int boxes = 0;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) ++boxes;
    EXPECT_EQ(boxes, 1) << log;
    EXPECT_NE(log.find("Damaged Data File"), std::string::npos) << log;
    EXPECT_EQ(log.find("Error retrieving configuration"), std::string::npos) << log;
    EXPECT_EQ(log.find("Error writing configuration"), std::string::npos) << log;
}

// The README's first step, scripts/run on a new folder, under the usual
// umask: the folder and the empty data file it makes, and the data file once
// KR98 has made its tables in it, are the user's alone.
TEST_F(KR98StartupTest, TheRunScriptsDataFolderStaysPrivateAfterTheFirstStart) {
    const fs::path folder = dir_ / "new" / "kairoll-data";
    const mode_t previous = ::umask(022);
    const std::string command =
        "bash '" + std::string(KR_SOURCE_DIR) + "/scripts/data-folder' '" + folder.string() + "' >/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_EQ(status, 0) << command;
    struct stat st {};
    for (const fs::path& made : {dir_ / "new", folder}) {
        ASSERT_EQ(::stat(made.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u) << made;
    }
    ASSERT_EQ(::stat((folder / "KR97.TPS").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "the empty data file";

    // A data file emptied by hand with the umask's mode: KR98's first start
    // makes it private when it writes its tables.
    ::chmod((folder / "KR97.TPS").c_str(), 0644);
    start_ = folder;
    Outcome r = Start();
    ::umask(previous);
    ExpectStarted(r, folder, "data file here");
    ASSERT_EQ(::stat((folder / "KR97.TPS").c_str(), &st), 0);
    EXPECT_GT(st.st_size, 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "the data file with the tables in it";
    ExpectDataFileIn(folder);
}

// With "Show Schedule at start up" off nothing but the timer's own jobs
// reads the schedule: the first daily pass expires the history all the
// same, without a box.
TEST_F(KR98StartupTest, TheFirstDailyPassExpiresHistoryWithTheScheduleListOff) {
    MakeDataFile(start_);
    {
        fs::path before = fs::current_path();
        fs::current_path(start_);
        data::Table& cf = data::TableOf(ConfigurationDef());
        ASSERT_EQ(cf.Open(data::kModeShared), 0);
        for (auto [name, value] : {std::pair{"StartUpSchedule", "1"}, std::pair{"HistoryExpires", "30"}}) {
            cf.Rec<Configuration>() = Configuration();
            cf.Rec<Configuration>().DataType = name;
            cf.Rec<Configuration>().DataValue = value;
            ASSERT_EQ(cf.Add(), 0);
        }
        cf.Close();
        data::Table& sch = data::TableOf(ScheduleDef());
        ASSERT_EQ(sch.Create(), 0);
        ASSERT_EQ(sch.Open(data::kModeShared), 0);
        Schedule& done = sch.Rec<Schedule>();
        done = Schedule();
        done.ID = 1;
        done.Description = "Long done";
        done.TaskType = "Display Message";
        done.ScheduleType = "Once";
        done.Date = Today() - 60;
        done.Disabled = done.Completed = 1;
        ASSERT_EQ(sch.Add(), 0);
        sch.Close();
        data::CloseIdleFiles();
        fs::current_path(before);
    }
    std::ofstream(start_ / "kr98.INI") << "[Settings]\r\nLogEvents=1\r\n";
    std::ofstream(dir_ / "answers.txt", std::ios::trunc).close();
    ProgramRun p;
    p.Prepare(dir_, "offscreen");
    p.SetWorkingFolder(start_);
    p.SetResponses(dir_ / "answers.txt");
    ASSERT_TRUE(p.Start());
    auto checked = [&] {
        for (const EventLogEntry& e : ReadEventLog(start_))
            if (e.label == "History") return true;
        return false;
    };
    for (int i = 0; i < 300 && !checked() && p.Running(); ++i) usleep(100 * 1000);
    ASSERT_TRUE(checked()) << p.Said();
    p.Stop();
    EXPECT_EQ(Log().find("Cannot Remove History"), std::string::npos) << Log();

    fs::path before = fs::current_path();
    fs::current_path(start_);
    data::Table& sch = data::TableOf(ScheduleDef());
    ASSERT_EQ(sch.Open(data::kModeShared), 0);
    EXPECT_EQ(sch.Records(), 0);
    sch.Close();
    data::CloseIdleFiles();
    fs::current_path(before);
}

// What a running KR98 has mapped before it sends a mail, plays a sound or
// reads another program's controls: none of the libraries behind those,
// which it opens on their first use.
TEST_F(KR98StartupTest, IdleKR98MapsNoLibraryOfAFeatureNotYetUsed) {
    MakeDataFile(start_);
    std::ofstream(start_ / "kr98.INI") << "[Settings]\r\nLogEvents=1\r\n";
    ProgramRun p;
    p.Prepare(dir_, "offscreen");
    p.SetWorkingFolder(start_);
    ASSERT_TRUE(p.Start());
    auto started = [&] {
        for (const EventLogEntry& e : ReadEventLog(start_))
            if (e.label == "Started") return true;
        return false;
    };
    for (int i = 0; i < 300 && !started() && p.Running(); ++i) usleep(100 * 1000);
    ASSERT_TRUE(started()) << p.Said();
    usleep(1000 * 1000);  // the frame and its first list open after the log line
    ASSERT_TRUE(p.Running()) << p.Said();
    std::ifstream in("/proc/" + std::to_string(p.pid()) + "/maps");
    std::string maps((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    p.Stop();
    ASSERT_NE(maps.find("libQt6Widgets"), std::string::npos) << "the maps of a running KR98";
    for (const char* library : {"libcurl", "libssl", "libQt6Multimedia", "libpulse", "libkr_sound_player", "libatspi",
                                "libkr_accessibility", "libQt6Network"})
        EXPECT_EQ(maps.find(library), std::string::npos) << library << " is mapped";
}

}  // namespace
}  // namespace kr::test
