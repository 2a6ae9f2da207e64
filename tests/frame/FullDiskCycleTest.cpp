// The timer cycle with its data file on a full disk: a due occurrence whose
// record cannot be written runs once, says so once, does not hold back the
// tasks behind it, and is stored with its history copy once there is room.
// The disk is a small tmpfs mounted for the test (root is needed for that;
// without it the tests skip and say so).
#include <sys/mount.h>

#include <cerrno>
#include <cstring>

#include "CycleFixture.h"
#include "scheduler/DailyJobs.h"

namespace kr::test {
namespace {

class FullDiskCycleTest : public CycleTest {
protected:
    void EnterDataFolder() override {
        disk_ = dir_ / "disk";
        std::filesystem::create_directory(disk_);
        if (::mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=2m,mode=0700") != 0) {
            refused_ = std::strerror(errno);
            return;
        }
        mounted_ = true;
        std::filesystem::current_path(disk_);
    }
    void LeaveDataFolder() override {
        std::filesystem::current_path(dir_);
        if (mounted_) ::umount2(disk_.c_str(), MNT_DETACH);
    }
    // Fills the disk to the last byte.
    void FillDisk() {
        std::ofstream out(disk_ / "filler", std::ios::binary);
        const std::string chunk(4096, 'x');
        while (out.write(chunk.data(), chunk.size())) out.flush();
        out.close();
        std::ofstream small(disk_ / "filler2", std::ios::binary);
        while (small.put('x')) small.flush();
    }
    void FreeDisk() {
        std::filesystem::remove(disk_ / "filler");
        std::filesystem::remove(disk_ / "filler2");
    }
    int RunsOf(int32_t id) const {
        return static_cast<int>(std::count_if(runs_.begin(), runs_.end(), [&](const RunRecord& r) { return r.id == id; }));
    }
    // The history copies filed under a description.
    std::vector<Schedule> CopiesOf(const std::string& description) {
        std::vector<Schedule> out;
        for (const Schedule& s : All())
            if (ClipRight(s.Description.str()) == description && s.Completed) out.push_back(s);
        return out;
    }

    std::filesystem::path disk_;
    bool mounted_ = false;
    std::string refused_;
};

#define SKIP_WITHOUT_DISK()                                                                                  \
    if (!mounted_)                                                                                           \
    GTEST_SKIP() << "a full disk is made as a small tmpfs, and mounting one was refused here (" << refused_ \
                 << "): the cycle on a full disk is not tested"

TEST_F(FullDiskCycleTest, AnOccurrenceWhoseRecordCannotBeWrittenRunsOnceAndTheNextTaskStillRuns) {
    SKIP_WITHOUT_DISK();
    clock_.Set(D(2024, 7, 1), T(7, 59, 58));
    cycle_.Start();
    const int32_t program = Add(Every(1, "day(s)", D(2024, 7, 1), T(8, 0), "Daily program"));
    Schedule m = Every(1, "day(s)", D(2024, 7, 1), T(8, 0), "Daily message");
    m.TaskType = "Display Message";
    m.Message = "Read me";
    const int32_t message = Add(m);
    // Due a minute later, behind the two whose writes fail.
    const int32_t later = Add(Once(D(2024, 7, 1), T(8, 1), "A minute later"));
    FillDisk();

    Ticks(180);  // three minutes of ticks, 45 next-task checks
    EXPECT_EQ(RunsOf(program), 1) << "the program started again for the same occurrence";
    EXPECT_EQ(RunsOf(message), 1) << "the message showed again for the same occurrence";
    EXPECT_EQ(RunsOf(later), 1) << "the task due behind the failing ones did not run once";
    EXPECT_EQ(cycle_.unstoredRuns(), 3u);
    // One message per failing occurrence, none for the retries.
    const std::size_t told = responder_.shown().size();
    EXPECT_GE(told, 1u);
    EXPECT_LE(told, 3u);
    Ticks(60);
    EXPECT_EQ(responder_.shown().size(), told) << "a retry told the user again";

    // With room again the next check stores the three records and the two
    // history copies, and nothing runs again.
    FreeDisk();
    Ticks(8);
    EXPECT_EQ(cycle_.unstoredRuns(), 0u);
    EXPECT_EQ(RunsOf(program) + RunsOf(message) + RunsOf(later), 3);
    for (int32_t id : {program, message}) {
        const Schedule s = Fetch(id);
        EXPECT_EQ(s.Date, D(2024, 7, 2)) << id;
        EXPECT_EQ(s.Time, T(8, 0)) << id;
        EXPECT_EQ(s.LastRunDate, D(2024, 7, 1)) << id;
    }
    const Schedule done = Fetch(later);
    EXPECT_TRUE(done.Completed && done.Disabled);
    for (const char* d : {"Daily program", "Daily message"}) {
        const std::vector<Schedule> copies = CopiesOf(d);
        ASSERT_EQ(copies.size(), 1u) << d;
        EXPECT_EQ(copies[0].Date, D(2024, 7, 1));
        EXPECT_EQ(copies[0].Time, T(8, 0));
        EXPECT_TRUE(copies[0].AdvanceWarned);
    }
    // Tomorrow's occurrence is a new one: it runs.
    clock_.Set(D(2024, 7, 2), T(8, 0, 1));
    Ticks(8);
    EXPECT_EQ(RunsOf(program), 2);
    EXPECT_EQ(RunsOf(message), 2);
}

TEST_F(FullDiskCycleTest, ATaskEditedWhileItsWriteFailsKeepsTheEditAndRunsAtItsNewMoment) {
    SKIP_WITHOUT_DISK();
    clock_.Set(D(2024, 7, 1), T(8, 0, 1));
    cycle_.Start();
    const int32_t id = Add(Every(1, "day(s)", D(2024, 7, 1), T(8, 0), "Edited"));
    // Room for the edit, none for the cycle's write: the edit is made by a
    // list while the disk is full, then room comes back.
    FillDisk();
    Ticks(8);
    ASSERT_EQ(RunsOf(id), 1);
    FreeDisk();
    Schedule edited = Fetch(id);
    edited.Time = T(8, 5);
    store_->SetReporting(false);
    ASSERT_EQ(store_->Put(edited), 0);
    Ticks(8);
    EXPECT_EQ(cycle_.unstoredRuns(), 0u);
    EXPECT_EQ(Fetch(id).Time, T(8, 5)) << "the cycle wrote over the user's edit";
    EXPECT_EQ(RunsOf(id), 1);
    clock_.Set(D(2024, 7, 1), T(8, 5, 1));
    Ticks(8);
    EXPECT_EQ(RunsOf(id), 2);
}

TEST_F(FullDiskCycleTest, ARetryKeepsTheDescriptionCommandMessageAndExceptionsEditedMeanwhile) {
    SKIP_WITHOUT_DISK();
    clock_.Set(D(2024, 7, 1), T(8, 0, 1));
    cycle_.Start();
    Schedule task = Every(1, "day(s)", D(2024, 7, 1), T(8, 0), "Before the edit");
    task.Message = "Old message";
    const int32_t id = Add(task);
    FillDisk();
    Ticks(8);
    ASSERT_EQ(RunsOf(id), 1);
    ASSERT_EQ(cycle_.unstoredRuns(), 1u);

    // The user stores an edit of everything but the moment; room comes back.
    FreeDisk();
    Schedule edited = Fetch(id);
    edited.Description = "After the edit";
    edited.Command = "echo edited";
    edited.Message = "New message";
    edited.ExceptOther = "Y";  // no Sundays
    edited.ExceptHolidays = 1;
    edited.ShiftType = "Next Day";
    store_->SetReporting(false);
    ASSERT_EQ(store_->Put(edited), 0);
    store_->SetReporting(true);
    Ticks(8);
    EXPECT_EQ(cycle_.unstoredRuns(), 0u);

    // The run moved the task on and set its last run; the edit stands.
    const Schedule s = Fetch(id);
    EXPECT_EQ(ClipRight(s.Description.str()), "After the edit") << "the retry wrote over the edit";
    EXPECT_EQ(ClipRight(s.Command.str()), "echo edited");
    EXPECT_EQ(s.Message, "New message");
    EXPECT_EQ(ClipRight(s.ExceptOther.str()), "Y");
    EXPECT_EQ(s.ExceptHolidays, 1);
    EXPECT_EQ(ClipRight(s.ShiftType.str()), "Next Day");
    EXPECT_EQ(s.Date, D(2024, 7, 2));
    EXPECT_EQ(s.Time, T(8, 0));
    EXPECT_EQ(s.LastRunDate, D(2024, 7, 1));
    EXPECT_EQ(s.LastRunTime, runs_[0].time);
    EXPECT_EQ(s.SkipNextTime, 0);
    // The history copy is the task as stored, at the moment that ran.
    const std::vector<Schedule> copies = CopiesOf("After the edit");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].Date, D(2024, 7, 1));
    EXPECT_EQ(copies[0].Message, "New message");
    EXPECT_EQ(RunsOf(id), 1);
}

TEST_F(FullDiskCycleTest, AWarningWhoseMarkCannotBeStoredIsReportedOnceAndShownOnceStored) {
    SKIP_WITHOUT_DISK();
    Schedule due = Every(1, "day(s)", D(2024, 7, 2), T(9, 0), "Dentist");
    due.AdvanceWarnDate = D(2024, 7, 1);
    due.AdvanceWarnTime = T(7, 30);
    const int32_t id = Add(due);
    DailyJobs jobs;
    jobs.Start();
    FillDisk();

    for (int pass = 0; pass < 3; ++pass) jobs.CheckAdvanceWarnings(false);
    ASSERT_EQ(responder_.shown().size(), 1u) << "the failed mark was reported at every pass";
    EXPECT_NE(responder_.shown()[0].request.title, "Advanced Warning: Dentist") << "warned before the mark was stored";

    FreeDisk();
    jobs.CheckAdvanceWarnings(false);
    jobs.CheckAdvanceWarnings(false);
    ASSERT_EQ(responder_.shown().size(), 2u);
    EXPECT_EQ(responder_.shown()[1].request.title, "Advanced Warning: Dentist");
    EXPECT_EQ(Fetch(id).AdvanceWarned, 1);
    jobs.Stop();
}

}  // namespace
}  // namespace kr::test
