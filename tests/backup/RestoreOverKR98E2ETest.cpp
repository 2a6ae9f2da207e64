// A restore started from KR98's own File → Backup/Restore under openbox,
// while that KR98 holds the data files: the offer to close it, answered Yes,
// ends it, restores the archive and starts a new KR98 on the folder with the
// same arguments at once, while "Files successfully restored." stays above
// its windows until answered (with KR_SCREENSHOT_DIR set, the screen with
// the box is saved there as "restored.png"); answered No, the first KR98
// runs on and the data stays.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "dictionary/SchedulingTables.h"
#include "platform/desktop/SingleCopy.h"
#include "../desktop/ProgramDesktop.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;

// Runs one statement on a data file with the program's key; false when it
// fails. Another process may hold the file: it waits for its turn.
bool Exec(const fs::path& file, const char* sql) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
              sqlite3_key(db, kOwnerPassword, static_cast<int>(std::strlen(kOwnerPassword))) == SQLITE_OK &&
              sqlite3_busy_timeout(db, 10000) == SQLITE_OK && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

class RestoreOverKR98Test : public OpenboxKR98Test {
protected:
    RestoreOverKR98Test() : OpenboxKR98Test("kr-e2e-restore", "LogEvents=1\r\n") {}
    void TearDown() override {
        if (restarted_ > 0) ::kill(static_cast<pid_t>(restarted_), SIGKILL);
        OpenboxKR98Test::TearDown();
    }

    // KR98 on the folder (no message answered for it: the boxes are real),
    // an archive of its data made while it runs, then a change to the data
    // the archive does not hold: a table "Later". The frame's id.
    std::string StartWithAnEarlierArchive() {
        kr98_.Prepare(dir_.path());
        if (!kr98_.Start({"/I"})) return {};
        const std::string frame = xdo::WindowNamed("^Kairoll 2000");
        if (frame.empty()) return {};
        // The list KR98 opens at start comes up just after the frame.
        xdo::WindowNamed("^Scheduled Tasks", 5000);
        ProgramRun backup("VXWBack");
        backup.Prepare(dir_.path(), "offscreen");
        if (!backup.Start({"BACKUP=Earlier.zip"}) || !backup.WaitForEnd(60000) || backup.ExitCode() != 0) {
            ADD_FAILURE() << "the backup failed\n" << backup.Said();
            return {};
        }
        if (!Exec(dir_ / "KR97.TPS", "CREATE TABLE Later (x)")) return {};
        return frame;
    }

    // File → Backup/Restore in the frame, Restore of "Earlier.zip": the offer.
    std::string AskForTheRestore(const std::string& frame) {
        xdo::Keys(frame, {"alt+f", "Down", "Down", "Return"});
        const std::string launcher = xdo::WindowNamed("^Backup / Restore$");
        if (launcher.empty()) return {};
        xdo::Keys(launcher, {"alt+r", "alt+n", "ctrl+a"});
        xdo::Type(launcher, "Earlier.zip");
        xdo::Keys(launcher, {"Return"});
        return xdo::WindowNamed("^Restore$");
    }

    bool HasLaterTable(const fs::path& file) { return Exec(file, "SELECT x FROM Later"); }

    long restarted_ = 0;
};

TEST_F(RestoreOverKR98Test, YesClosesKR98RestoresAndStartsItAgain) {
    const std::string frame = StartWithAnEarlierArchive();
    ASSERT_FALSE(frame.empty()) << xdo::VisibleTitles() << kr98_.Said();
    ASSERT_TRUE(HasLaterTable(dir_ / "KR97.TPS"));
    const std::string offer = AskForTheRestore(frame);
    ASSERT_FALSE(offer.empty()) << "no offer to close KR98\n" << xdo::VisibleTitles();

    xdo::Keys(offer, {"alt+y"});
    // The first KR98 ends as File → Exit ends it, without the question.
    ASSERT_TRUE(kr98_.WaitForEnd(30000)) << xdo::VisibleTitles();
    EXPECT_EQ(kr98_.ExitCode(), 0);
    const std::string done = xdo::WindowNamed("^Information$", 30000);
    ASSERT_FALSE(done.empty()) << "the restore did not finish\n" << xdo::VisibleTitles();

    // A new KR98 holds the folder, with the first one's arguments, and
    // shows its frame while the box still waits for its answer.
    std::optional<FolderHolder> holder;
    ASSERT_TRUE(WaitUntil([&] { return (holder = AskFolderHolder(dir_.path().string())).has_value(); }, 20000))
        << "KR98 was not started again while the box waits";
    restarted_ = holder->pid;
    EXPECT_NE(holder->pid, kr98_.pid());
    EXPECT_EQ(fs::path(holder->program).filename(), "KR98");
    EXPECT_EQ(holder->arguments, std::vector<std::string>{"/I"});
    std::error_code ec;
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(holder->pid) + "/cwd", ec), dir_.path());
    EXPECT_TRUE(WaitUntil([&] { return FindTitled(display(), "Kairoll 2000", holder->pid) != 0; }, 20000))
        << WindowTree(display());
    // The box stays above the new KR98's windows.
    EXPECT_FALSE(xdo::WindowNamed("^Information$", 1000).empty()) << xdo::VisibleTitles();
    QProcess state;
    state.start("xprop", {"-id", QString::fromStdString(done), "_NET_WM_STATE"});
    state.waitForFinished(5000);
    EXPECT_TRUE(state.readAllStandardOutput().contains("_NET_WM_STATE_ABOVE"));
    if (const char* shots = std::getenv("KR_SCREENSHOT_DIR"))
        QProcess::execute("import", {"-window", "root", QString(shots) + "/restored.png"});
    xdo::Keys(done, {"Return"});
    EXPECT_TRUE(xdo::WaitGone("^Backup / Restore$"));

    // The archive's data file is in place, the replaced one kept beside it.
    EXPECT_FALSE(HasLaterTable(dir_ / "KR97.TPS"));
    EXPECT_TRUE(HasLaterTable(dir_ / "KR97.TPS.old"));
    bool logged = false;
    for (const EventLogEntry& e : ReadEventLog(dir_.path())) logged = logged || e.label == "Exit Kairoll";
    EXPECT_TRUE(logged) << "the first KR98 did not end normally";
}

TEST_F(RestoreOverKR98Test, NoLeavesKR98RunningAndTheDataAsItWas) {
    const std::string frame = StartWithAnEarlierArchive();
    ASSERT_FALSE(frame.empty()) << xdo::VisibleTitles() << kr98_.Said();
    const std::string offer = AskForTheRestore(frame);
    ASSERT_FALSE(offer.empty()) << "no offer to close KR98\n" << xdo::VisibleTitles();

    xdo::Keys(offer, {"alt+n"});
    EXPECT_TRUE(xdo::WaitGone("^Backup / Restore$", 20000)) << xdo::VisibleTitles();
    EXPECT_TRUE(kr98_.Running());
    const std::optional<FolderHolder> holder = AskFolderHolder(dir_.path().string());
    ASSERT_TRUE(holder.has_value());
    EXPECT_EQ(holder->pid, kr98_.pid());
    EXPECT_TRUE(HasLaterTable(dir_ / "KR97.TPS"));
    EXPECT_FALSE(fs::exists(dir_ / "KR97.TPS.old"));
}

}  // namespace
}  // namespace kr::test
