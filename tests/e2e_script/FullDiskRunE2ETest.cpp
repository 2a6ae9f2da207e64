// The built KR98 with its data folder on a full disk (a small tmpfs mounted
// for the test; without root the test skips and says why): a due "Run
// Program" task whose program counts its own starts and a due "Display
// Message" task each run once although their records cannot be written, the
// user is told once, a task due behind them still runs once, and once there
// is room the records move on and each run leaves one history copy.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "DataFolderFixture.h"
#include "ProgramRun.h"

#include "dictionary/Dictionary.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Strings.h"
#include "scheduler/DateValues.h"
#include "scheduler/Reschedule.h"
#include "scheduler/TableScheduleStore.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;

int CountLines(const fs::path& file, const std::string& containing) {
    std::ifstream in(file);
    std::string line;
    int n = 0;
    while (std::getline(in, line))
        if (line.find(containing) != std::string::npos) ++n;
    return n;
}

class FullDiskRunE2ETest : public DataFolderTest {
protected:
    FullDiskRunE2ETest() : DataFolderTest("kr-e2e-fulldisk", Today(), ClockTime()) {}
    void SetUp() override {
        DataFolderTest::SetUp();
        InstallClock(nullptr);                // KR98 and the test run on the real clock
        data::SetKeyDerivationIterations(0);  // KR98 opens the file with the real key derivation
        disk_ = dir_ / "disk";
        fs::create_directory(disk_);
        if (::mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=4m,mode=0700") != 0) {
            refused_ = std::strerror(errno);
            return;
        }
        mounted_ = true;
        fs::current_path(disk_);
        DictionaryInit();
    }
    void TearDown() override {
        kr98_.Stop();
        DictionaryKill();
        data::CloseIdleFiles();
        fs::current_path(dir_);
        if (mounted_) ::umount2(disk_.c_str(), MNT_DETACH);
        DataFolderTest::TearDown();
    }
    static int32_t Add(Schedule task) {
        TableScheduleStore store;
        EXPECT_EQ(store.openError(), 0);
        EXPECT_EQ(AddScheduleCopy(store, task), 0);
        return task.ID;
    }
    static Schedule Task(const std::string& type, const std::string& description, int32_t inHundredths) {
        Schedule t;
        t.TaskType = type;
        t.Description = description;
        t.Category = "General";
        t.ScheduleType = "Custom";
        t.Every = 1;
        t.EveryType = "day(s)";
        t.Date = Today();
        t.Time = ClockTime() + inHundredths;
        NormalizeDateTime(t.Date, t.Time);
        return t;
    }
    void FillDisk() {
        std::ofstream out(disk_ / "filler", std::ios::binary);
        const std::string chunk(4096, 'x');
        while (out.write(chunk.data(), chunk.size())) out.flush();
        out.close();
        std::ofstream small(disk_ / "filler2", std::ios::binary);
        while (small.put('x')) small.flush();
    }
    int Starts(const std::string& name) const { return CountLines(dir_ / "starts.txt", name); }
    int MessagesShown() const { return CountLines(dir_ / "answers.txt.log", "Read me once"); }
    // The boxes that report the full disk.
    int ErrorsShown() const { return CountLines(dir_ / "answers.txt.log", "Disk full"); }

    fs::path disk_;
    bool mounted_ = false;
    std::string refused_;
    ProgramRun kr98_;
};

TEST_F(FullDiskRunE2ETest, DueTasksRunOnceWhileTheirRecordsCannotBeWrittenAndAreStoredWhenRoomComesBack) {
    if (!mounted_)
        GTEST_SKIP() << "a full disk is made as a small tmpfs, and mounting one was refused here (" << refused_
                     << "): KR98 on a full disk is not tested";
    // The message as a plain box, which the test's responder answers and logs.
    SetSetting("UseExternalMessage", "0");
    SetSetting("UseWinMessage", "1");
    std::ofstream(disk_ / "kr98.INI") << "[Settings]\r\nUseKRMsg=0\r\n";

    // The programs count their starts in a file outside the full disk.
    const std::string counter = "sh -c \"echo %s >> '" + (dir_ / "starts.txt").string() + "'\"";
    auto command = [&](const std::string& name) {
        std::string c = counter;
        c.replace(c.find("%s"), 2, name);
        return c;
    };
    Schedule program = Task("Run Program", "Counting program", 3000);
    program.Command = command("first");
    const int32_t programID = Add(program);
    Schedule message = Task("Display Message", "Counting message", 3000);
    message.Message = "Read me once";
    const int32_t messageID = Add(message);
    // Due ten seconds behind the two.
    Schedule behind = Task("Run Program", "Program behind", 4000);
    behind.Command = command("behind");
    behind.ScheduleType = "Once";
    const int32_t behindID = Add(behind);
    DictionaryKill();
    data::CloseIdleFiles();

    kr98_.Prepare(dir_, "offscreen");
    kr98_.SetWorkingFolder(disk_);
    kr98_.SetResponses(dir_ / "answers.txt");
    ASSERT_TRUE(kr98_.Start());
    // KR98 makes its tables at start and files the default holidays at its
    // first daily pass; the disk fills once that is done, before the tasks
    // come due.
    DictionaryInit();
    auto holidays = [] {
        data::Table& t = data::TableOf(HolidaysDef());
        if (t.Open() != 0) return int64_t{0};
        const int64_t n = t.Records();
        t.Close();
        data::CloseIdleFiles();
        return n;
    };
    ASSERT_TRUE(WaitUntil([&] { return holidays() > 0; }, 20000)) << kr98_.Said() << kr98_.Asked();
    DictionaryKill();
    data::CloseIdleFiles();
    FillDisk();

    ASSERT_TRUE(WaitUntil([&] { return Starts("behind") >= 1; }, 60000))
        << "the task due behind the failing ones never started\n"
        << kr98_.Said() << kr98_.Asked() << ReadText(dir_ / "starts.txt");
    // Five more next-task checks: a record left due would start again.
    const int errors = ErrorsShown();
    WaitUntil([] { return false; }, 20000);
    EXPECT_EQ(Starts("first"), 1) << "the program started again for the same occurrence\n" << kr98_.Asked();
    EXPECT_EQ(MessagesShown(), 1) << "the message showed again for the same occurrence\n" << kr98_.Asked();
    EXPECT_EQ(Starts("behind"), 1);
    EXPECT_GE(errors, 1) << "the failed writes were not reported";
    EXPECT_LE(errors, 3) << "more than one message per failing occurrence\n" << kr98_.Asked();
    EXPECT_EQ(ErrorsShown(), errors) << "a retry told the user again\n" << kr98_.Asked();

    // Room again: the records move on, each repeating run leaves one copy.
    fs::remove(disk_ / "filler");
    fs::remove(disk_ / "filler2");
    DictionaryInit();
    auto stored = [&] {
        int moved = 0, copies = 0;
        for (const Schedule& s : Tasks()) {
            if ((s.ID == programID || s.ID == messageID) && s.Date > Today()) ++moved;
            if (s.ID == behindID && s.Completed) ++moved;
            if (s.ID != programID && s.ID != messageID && s.ID != behindID && s.Completed) ++copies;
        }
        data::CloseIdleFiles();
        return moved == 3 && copies == 2;
    };
    EXPECT_TRUE(WaitUntil(stored, 30000)) << "the records were not stored once there was room\n" << kr98_.Said();
    std::vector<std::string> copies;
    for (const Schedule& s : Tasks())
        if (s.Completed && s.ID != behindID) copies.push_back(ClipRight(s.Description.str()));
    data::CloseIdleFiles();
    std::sort(copies.begin(), copies.end());
    EXPECT_EQ(copies, (std::vector<std::string>{"Counting message", "Counting program"}));
    EXPECT_EQ(Starts("first"), 1);
    EXPECT_EQ(MessagesShown(), 1);
}

}  // namespace
}  // namespace kr::test
