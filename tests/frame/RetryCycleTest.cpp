// The timer cycle trying again what a due task's run could not store: the
// parts of a shift to another day that the data file refused after the
// task's own record was stored, and the retries of records while another
// program holds the data file.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "CycleFixture.h"
#include "platform/data/DataFileCheck.h"
#include "scheduler/DailyJobs.h"

namespace kr::test {
namespace {

using Clock = std::chrono::steady_clock;

// Another connection to the data file, for the test's own changes to its
// schema.
class RawConnection {
public:
    explicit RawConnection(const std::string& path) {
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
        data::KeyConnection(db_, path, kOwnerPassword);
    }
    ~RawConnection() { sqlite3_close(db_); }
    bool Exec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK; }
    std::string Text(const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        std::string out;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
        return out;
    }

private:
    sqlite3* db_ = nullptr;
};

// Another program holding the data file as an open write transaction does:
// a child process takes the file's reserved lock (SQLite's lock byte) and
// keeps it until Release. Every write of ours is refused as busy meanwhile;
// reads go on.
class OtherProgramHoldingTheFile {
public:
    explicit OtherProgramHoldingTheFile(const std::string& path) {
        int up[2], down[2];
        if (::pipe(up) != 0 || ::pipe(down) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(up[0]);
            ::close(down[1]);
            const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
            struct flock l {};
            l.l_type = F_WRLCK;
            l.l_whence = SEEK_SET;
            l.l_start = 0x40000001;  // SQLite's reserved byte
            l.l_len = 1;
            const char held = fd >= 0 && ::fcntl(fd, F_SETLK, &l) == 0 ? 'h' : 'x';
            if (::write(up[1], &held, 1) != 1) ::_exit(1);
            char c;
            while (::read(down[0], &c, 1) > 0) {
            }
            ::_exit(0);
        }
        ::close(up[1]);
        ::close(down[0]);
        release_ = down[1];
        char held = 0;
        held_ = ::read(up[0], &held, 1) == 1 && held == 'h';
        ::close(up[0]);
    }
    ~OtherProgramHoldingTheFile() { Release(); }
    bool held() const { return held_; }
    void Release() {
        if (release_ >= 0) ::close(release_);
        release_ = -1;
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool held_ = false;
};

class RetryCycleTest : public CycleTest {
protected:
    // The data file's connection takes the busy timeout when it is made: a
    // second is enough to tell a wait from none, and keeps the test short.
    void EnterDataFolder() override { data::SetBusyTimeout(kBusyTimeoutMs); }
    void LeaveDataFolder() override { data::SetBusyTimeout(5000); }

    int RunsOf(int32_t id) const {
        return static_cast<int>(std::count_if(runs_.begin(), runs_.end(), [&](const RunRecord& r) { return r.id == id; }));
    }
    std::vector<Schedule> OnceCopiesOf(const std::string& description) {
        std::vector<Schedule> out;
        for (const Schedule& s : All())
            if (ClipRight(s.Description.str()) == description && s.ScheduleType.str() == "Once" && !s.Completed)
                out.push_back(s);
        return out;
    }
    std::string ScheduleTable(RawConnection& c) {
        return c.Text("SELECT name FROM sqlite_master WHERE type = 'table' AND sql LIKE '%ExceptionLink%'");
    }
    // A weekly task due on Friday 5 July 2024 at 8:00, not on Fridays: its
    // next occurrence is skipped and moved to Saturday as a one-off copy.
    Schedule NoFridays(const std::string& description) {
        Schedule s = Every(1, "week(s)", D(2024, 7, 5), T(8, 0), description);
        s.ExceptOther = "     Y";
        s.ShiftType = "Next Day";
        return s;
    }

    static constexpr int kBusyTimeoutMs = 1000;
};

TEST_F(RetryCycleTest, AShiftedCopyTheFileRefusedIsMadeOnceItCanBeAndGivenUpWithOneWordOnceTheTaskMoved) {
    clock_.Set(D(2024, 7, 5), T(8, 0, 1));
    cycle_.Start();
    const int32_t kept = Add(NoFridays("Kept"));
    AddItem(kept, "Comment");
    const int32_t moved = Add(NoFridays("Moved"));
    // The data file refuses the one-off copies (as a full disk would refuse
    // any one write): the tasks' own records go in.
    RawConnection raw("KR97.TPS");
    const std::string table = ScheduleTable(raw);
    ASSERT_FALSE(table.empty());
    ASSERT_TRUE(raw.Exec("CREATE TRIGGER refuse_copies BEFORE INSERT ON \"" + table +
                         "\" WHEN NEW.ScheduleType = 'Once' BEGIN SELECT RAISE(ABORT, 'no room for the copy'); END"));
    Ticks(12);
    ASSERT_EQ(RunsOf(kept), 1);
    ASSERT_EQ(RunsOf(moved), 1);
    for (int32_t id : {kept, moved}) {
        const Schedule s = Fetch(id);
        EXPECT_EQ(s.Date, D(2024, 7, 12)) << "the task's own record is stored";
        EXPECT_EQ(s.SkipNextTime, 1);
    }
    EXPECT_EQ(cycle_.unstoredRuns(), 2u) << "the copies are not remembered as missing";
    const std::size_t told = responder_.shown().size();
    EXPECT_EQ(told, 2u) << "one message per refused copy";
    if (told > 0) {
        EXPECT_NE(responder_.shown()[0].request.text.find("no room for the copy"), std::string::npos)
            << "the refusal in the file's own words: " << responder_.shown()[0].request.text;
    }

    // The user moves one task off the skipped Friday; the file takes copies
    // again.
    Schedule m = Fetch(moved);
    m.Date = D(2024, 7, 10);
    m.SkipNextTime = 0;
    store_->SetReporting(false);
    ASSERT_EQ(store_->Put(m), 0);
    store_->SetReporting(true);
    ASSERT_TRUE(raw.Exec("DROP TRIGGER refuse_copies"));
    Ticks(8);
    EXPECT_EQ(cycle_.unstoredRuns(), 0u);

    // The kept task's copy on Saturday, with its script, linked once.
    const std::vector<Schedule> copies = OnceCopiesOf("Kept");
    ASSERT_EQ(copies.size(), 1u) << "the shifted run never happens";
    EXPECT_EQ(copies[0].Date, D(2024, 7, 13));
    EXPECT_EQ(copies[0].Time, T(8, 0));
    EXPECT_EQ(Fetch(kept).ExceptionLink, copies[0].ID);
    EXPECT_EQ(ItemsOf(copies[0].ID), 1);
    // The moved task has no copy, and the user was told so once.
    EXPECT_TRUE(OnceCopiesOf("Moved").empty());
    EXPECT_EQ(Fetch(moved).Date, D(2024, 7, 10));
    ASSERT_EQ(responder_.shown().size(), told + 1);
    EXPECT_EQ(responder_.shown().back().request.title, "Task Not Stored");
    EXPECT_NE(responder_.shown().back().request.text.find("Moved"), std::string::npos);
    Ticks(20);
    EXPECT_EQ(responder_.shown().size(), told + 1);
    EXPECT_EQ(RunsOf(kept) + RunsOf(moved), 2);
}

TEST_F(RetryCycleTest, RetriesWhileAnotherProgramHoldsTheFileNeitherStallTheWindowNorHoldBackTheNextTask) {
    clock_.Set(D(2024, 7, 1), T(8, 0, 1));
    cycle_.Start();
    const int32_t first = Add(Every(1, "day(s)", D(2024, 7, 1), T(8, 0), "First held"));
    const int32_t second = Add(Every(1, "day(s)", D(2024, 7, 1), T(8, 0), "Second held"));
    const int32_t third = Add(Once(D(2024, 7, 1), T(8, 0), "Third"));
    // When each task started, on the real clock and by next-task check.
    std::vector<std::pair<int32_t, Clock::time_point>> started;
    cycle_.hooks().runTask = [&](const Schedule& s) { started.emplace_back(s.ID, Clock::now()); };

    OtherProgramHoldingTheFile other("KR97.TPS");
    ASSERT_TRUE(other.held());
    // Twelve next-task checks. A check's first write of a task that just
    // ran waits for the file as every write does; the retries must not.
    std::vector<int32_t> startedAtCheck;
    Clock::duration longestRetry{}, thirdWaited{};
    for (int check = 0; check < 12; ++check) {
        ToNextTaskCheck();
        const std::size_t before = started.size();
        const Clock::time_point tickStart = Clock::now();
        cycle_.TimerTick();
        const Clock::time_point tickEnd = Clock::now();
        if (started.size() > before) {
            startedAtCheck.push_back(check);
            // What the tick did before the task started: the retries.
            if (started.back().first == third) thirdWaited = started.back().second - tickStart;
        } else {
            longestRetry = std::max(longestRetry, tickEnd - tickStart);
        }
        clock_.Advance(100);
    }
    ASSERT_EQ(started.size(), 3u);
    EXPECT_EQ(started[0].first, first);
    EXPECT_EQ(started[1].first, second);
    EXPECT_EQ(started[2].first, third);
    EXPECT_EQ(startedAtCheck, (std::vector<int32_t>{0, 1, 2})) << "a task waited for a check of its own";
    using std::chrono::milliseconds;
    EXPECT_LT(thirdWaited, milliseconds(250)) << "the third task waited for the retries of the other two";
    EXPECT_LT(longestRetry, milliseconds(250)) << "a retry held the window's thread";
    EXPECT_EQ(cycle_.unstoredRuns(), 3u);
    const std::size_t told = responder_.shown().size();

    // Free again: everything is stored at the next check, nothing runs again.
    other.Release();
    Ticks(8);
    EXPECT_EQ(cycle_.unstoredRuns(), 0u);
    EXPECT_EQ(Fetch(first).Date, D(2024, 7, 2));
    EXPECT_EQ(Fetch(second).Date, D(2024, 7, 2));
    EXPECT_TRUE(Fetch(third).Completed);
    EXPECT_EQ(started.size(), 3u);
    EXPECT_EQ(responder_.shown().size(), told) << "a retry told the user again";
}

TEST_F(RetryCycleTest, AWarningMarkTriedAgainWhileAnotherProgramHoldsTheFileDoesNotWait) {
    Schedule due = Every(1, "day(s)", D(2024, 7, 2), T(9, 0), "Dentist");
    due.AdvanceWarnDate = D(2024, 7, 1);
    due.AdvanceWarnTime = T(7, 30);
    const int32_t id = Add(due);
    DailyJobs jobs;
    jobs.Start();
    OtherProgramHoldingTheFile other("KR97.TPS");
    ASSERT_TRUE(other.held());
    jobs.CheckAdvanceWarnings(false);  // the first try waits and is told
    ASSERT_EQ(responder_.shown().size(), 1u);
    Clock::duration longest{};
    for (int pass = 0; pass < 3; ++pass) {
        const Clock::time_point start = Clock::now();
        jobs.CheckAdvanceWarnings(false);
        longest = std::max(longest, Clock::now() - start);
    }
    EXPECT_LT(longest, std::chrono::milliseconds(250)) << "a retry of the mark held the window's thread";
    EXPECT_EQ(responder_.shown().size(), 1u);
    other.Release();
    jobs.CheckAdvanceWarnings(false);
    EXPECT_EQ(Fetch(id).AdvanceWarned, 1);
    ASSERT_EQ(responder_.shown().size(), 2u);
    EXPECT_EQ(responder_.shown()[1].request.title, "Advanced Warning: Dentist");
    jobs.Stop();
}

}  // namespace
}  // namespace kr::test
