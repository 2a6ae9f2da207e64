// The future-occurrences work file over a real data file: which tasks take
// part, how many rows each gives, their numbering, and that neither the
// schedule nor a work file is left changed behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/data/WorkCopies.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "reports/Workfile.h"
#include "tests/reports/core/ReportDataFolder.h"

namespace kr::reports {
namespace {

class WorkfileTest : public ReportDataFolderTest {
protected:
    WorkfileTest() : ReportDataFolderTest(MakeTime(10, 30)) {}

    Schedule Task(int32_t id, const char* type, int32_t date, int32_t time = MakeTime(9, 0)) {
        Schedule s;
        s.ID = id;
        s.Description = "Task " + std::to_string(id);
        s.Category = "Work";
        s.TaskType = "Display Message";
        s.ScheduleType = type;
        s.Every = 1;
        s.EveryType = "Days";
        s.Date = date;
        s.Time = time;
        s.Message = std::string(3000, 'm');
        return s;
    }
    void Add(const Schedule& s) {
        auto& f = Schedule_File();
        ASSERT_EQ(f.Open(), 0);
        f.rec() = s;
        ASSERT_EQ(f.Insert(), 0);
        f.Close();
    }
    template <class R>
    static std::vector<R> ReadAll(data::FileManager& f, const char* key) {
        std::vector<R> out;
        if (f.Open() != 0) return out;
        f.SetOrder(f.Key(key));
        while (f.TryNext() == 0) out.push_back(*static_cast<R*>(f.Buffer()));
        f.Close();
        return out;
    }
    // Builds the work file for [from, to] and answers its rows in ID order.
    std::vector<ScheduleWorkfile> Build(int32_t from, int32_t to) {
        SetWorkfileName(WorkfileNameFor(ClockTime()));
        EmptyWorkfileRun empty;
        EXPECT_EQ(RunToEnd(empty), ProcessState::Finished);
        CreateWorkfileRun build(from, to);
        EXPECT_EQ(RunToEnd(build), ProcessState::Finished);
        auto rows = ReadAll<ScheduleWorkfile>(ScheduleWorkfile_File(), "SCW:KeyID");
        EXPECT_EQ(build.rows(), static_cast<int>(rows.size()));
        return rows;
    }
    // Data files in the folder other than the main one.
    std::vector<std::string> StrayFiles() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(dir_)) {
            const std::string n = e.path().filename().string();
            if (n.rfind("KR97", 0) != 0) out.push_back(n);
        }
        return out;
    }

    const int32_t from_ = MakeDate(12, 9, 2026);
};

TEST_F(WorkfileTest, DailyTaskFromTheFirstDayGivesOneRowPerDayNumberedInOrder) {
    Add(Task(7, "Custom", from_));
    const auto rows = Build(from_, from_ + 7);
    ASSERT_EQ(rows.size(), 8u);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].ID, static_cast<int32_t>(i + 1));
        EXPECT_EQ(rows[i].Date, from_ + static_cast<int32_t>(i));
        EXPECT_EQ(rows[i].Time, MakeTime(9, 0));
        EXPECT_EQ(rows[i].Description.str(), "Task 7");
        EXPECT_EQ(rows[i].Message.size(), 1000u);  // the work file's memo is shorter
    }
    RemoveWorkfile();
    EXPECT_TRUE(StrayFiles().empty());
}

TEST_F(WorkfileTest, WhichTasksTakePartAndHowManyRowsEach) {
    Schedule before = Task(1, "Custom", from_ - 1);  // later days fall in the range, still nothing
    Add(before);
    Add(Task(2, "Once", from_ + 2, MakeTime(8, 0)));
    Schedule off = Task(3, "Custom", from_ + 6, MakeTime(7, 0));
    off.Disabled = 1;
    off.Completed = 1;
    Add(off);
    Add(Task(4, "Custom", from_ + 8));  // after the range
    // At the end of the calendar the engine cannot move the task on.
    const int32_t last = MakeDate(12, 31, 9999);
    Add(Task(5, "Custom", last));

    const std::vector<Schedule> stored = ReadAll<Schedule>(Schedule_File(), "SCH:KeyID");
    const auto rows = Build(from_, from_ + 7);
    // Once: one row; the disabled, completed daily task: its two days.
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].ID, 1);
    EXPECT_EQ(rows[0].Description.str(), "Task 2");
    EXPECT_EQ(rows[0].Date, from_ + 2);
    EXPECT_EQ(rows[1].Description.str(), "Task 3");
    EXPECT_EQ(rows[1].Date, from_ + 6);
    EXPECT_EQ(rows[1].Disabled, 1);
    EXPECT_EQ(rows[2].ID, 3);
    EXPECT_EQ(rows[2].Date, from_ + 7);
    RemoveWorkfile();

    // A custom unit the engine does not know: its stored occurrence, and
    // the message once, not once a day.
    Schedule odd = Task(6, "Custom", from_ + 1);
    odd.EveryType = "Fortnights";
    Add(odd);
    const auto withOdd = Build(from_, from_ + 7);
    ASSERT_EQ(withOdd.size(), 4u);
    EXPECT_EQ(withOdd[0].Description.str(), "Task 6");
    size_t invalid = 0;
    for (const auto& m : responder_.shown()) invalid += m.request.title == "Invalid Units";
    EXPECT_EQ(invalid, 1u);
    RemoveWorkfile();

    const auto end = Build(last, last);
    ASSERT_EQ(end.size(), 1u);
    EXPECT_EQ(end[0].Description.str(), "Task 5");
    RemoveWorkfile();

    // The schedule is only read.
    const std::vector<Schedule> after = ReadAll<Schedule>(Schedule_File(), "SCH:KeyID");
    ASSERT_EQ(after.size(), stored.size() + 1);
    for (size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(after[i].Date, stored[i].Date);
        EXPECT_EQ(after[i].Time, stored[i].Time);
        EXPECT_EQ(after[i].Completed, stored[i].Completed);
    }
    EXPECT_TRUE(StrayFiles().empty());
}

TEST_F(WorkfileTest, CancelStopsTheBuildAndNothingIsLeft) {
    for (int i = 1; i <= 3; ++i) Add(Task(i, "Custom", from_));
    SetWorkfileName(WorkfileNameFor(ClockTime()));
    CreateWorkfileRun build(from_, from_ + 30);
    EXPECT_TRUE(build.Step(10));
    EXPECT_EQ(build.rows(), 10);
    build.Cancel();
    EXPECT_FALSE(build.Step(10));
    EXPECT_EQ(build.state(), ProcessState::Cancelled);
    EXPECT_FALSE(StrayFiles().empty());  // the work file exists until removed
    RemoveWorkfile();
    EXPECT_TRUE(StrayFiles().empty());

    // A second run under a new clock text starts a fresh file, emptied first.
    clock_.Set(from_, MakeTime(10, 31));
    const auto rows = Build(from_, from_ + 1);
    EXPECT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows.back().ID, 6);
    RemoveWorkfile();
    EXPECT_TRUE(StrayFiles().empty());
}

// An emptying cancelled part-way leaves rows whose numbers the build meets
// again: those inserts fail and go through the numbering insert instead,
// within the build's one transaction, without losing a row before or after.
TEST_F(WorkfileTest, TakenNumbersFailOnlyTheirOwnInsertAndTheBuildGoesOn) {
    Add(Task(1, "Custom", from_));
    SetWorkfileName(WorkfileNameFor(ClockTime()));
    {
        auto& w = ScheduleWorkfile_File();
        ASSERT_EQ(w.Open(), 0);
        for (int id : {5, 6, 9}) {
            w.rec() = ScheduleWorkfile();
            w.rec().ID = id;
            w.rec().Description = "Left";
            ASSERT_EQ(w.Insert(), 0);
        }
        w.Close();
    }
    CreateWorkfileRun build(from_, from_ + 9);
    EXPECT_EQ(RunToEnd(build), ProcessState::Finished);
    EXPECT_EQ(build.rows(), 13);
    const auto rows = ReadAll<ScheduleWorkfile>(ScheduleWorkfile_File(), "SCW:KeyID");
    ASSERT_EQ(rows.size(), 13u);
    std::set<int32_t> days;
    for (const auto& r : rows)
        if (r.Description.str() == "Task 1") days.insert(r.Date);
    EXPECT_EQ(days.size(), 10u);
    EXPECT_EQ(*days.begin(), from_);
    EXPECT_EQ(*days.rbegin(), from_ + 9);
    RemoveWorkfile();
    EXPECT_TRUE(StrayFiles().empty());
}

// The data folder on a small disk that the build fills part-way: the first
// failure ends it with one message naming the cause (not one box per row
// that could not be written), the build fails so that no report is printed
// from a partial work file, and the removal leaves nothing behind.
TEST_F(WorkfileTest, FullDiskEndsTheBuildWithOneMessageNamingTheCause) {
    const std::filesystem::path disk = dir_ / "disk";
    std::filesystem::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=2m") != 0)
        GTEST_SKIP() << "cannot mount a 2 MB tmpfs on " << disk << " (" << std::strerror(errno)
                     << "): the full disk needs root or CAP_SYS_ADMIN";
    struct Unmount {
        std::filesystem::path dir, disk;
        ~Unmount() {
            DictionaryKill();
            data::CloseIdleFiles();
            std::filesystem::current_path(dir);
            ::umount2(disk.c_str(), MNT_DETACH);
        }
    } unmount{dir_, disk};
    std::filesystem::current_path(disk);
    // 100 daily tasks over 61 days: 6,100 rows of about 1.2 KB and their
    // keys, several times what the disk holds beside the data file and
    // more than the cache holds, so rows fail as they are written.
    for (int i = 1; i <= 100; ++i) Add(Task(i, "Custom", from_));
    SetWorkfileName(WorkfileNameFor(ClockTime()));
    CreateWorkfileRun build(from_, from_ + 60);
    EXPECT_EQ(RunToEnd(build), ProcessState::Failed);
    EXPECT_LT(build.rows(), 6100);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_NE(responder_.shown()[0].request.text.find("the disk holding it is full"), std::string::npos)
        << responder_.shown()[0].request.text;
    RemoveWorkfile();
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(disk))
        if (e.path().filename().string().rfind("KR97", 0) != 0) left.push_back(e.path().filename().string());
    EXPECT_TRUE(left.empty()) << left.front();
}

// A report killed while it builds its work file leaves "<clock>.TPS" and
// its journal; the next start sweeps them away, but not while the report
// that builds them still runs.
TEST_F(WorkfileTest, KilledBuildLeavesNothingAfterTheNextStart) {
    for (int i = 1; i <= 20; ++i) Add(Task(i, "Custom", from_));
    DictionaryKill();
    data::CloseIdleFiles();
    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t report = ::fork();
    if (report == 0) {
        SetWorkfileName(WorkfileNameFor(ClockTime()));
        CreateWorkfileRun build(from_, from_ + 60);
        // In the middle of the build: rows written, not committed.
        build.Step(300);
        char c = 'x';
        (void)!::write(ready[1], &c, 1);
        (void)!::read(go[0], &c, 1);
        ::raise(SIGKILL);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    const std::string work = WorkfileNameFor(ClockTime()) + ".TPS";
    ASSERT_TRUE(std::filesystem::exists(work));
    ASSERT_TRUE(std::filesystem::exists(work + "-journal"));

    data::RemoveStrayWorkCopies(".");
    EXPECT_TRUE(std::filesystem::exists(work)) << "the report at work lost its work file";

    (void)!::write(go[1], &c, 1);
    ::waitpid(report, nullptr, 0);
    EXPECT_EQ(data::RemoveStrayWorkCopies("."), 2);
    EXPECT_TRUE(StrayFiles().empty());
}

}  // namespace
}  // namespace kr::reports
