// Each operation that writes the data file, run again for every write it
// makes with that write failing (and every write after it, as on a full
// disk, until the fault is gone), for each cause: a full disk, a file busy
// past the timeout, a file replaced. The promises checked every time:
// nothing starts twice for one occurrence; one message per failed
// operation, naming the cause; no stored field changes that the operation
// did not mean to change; once the fault is gone the operation completes
// (or the user was told it did not); the file passes its integrity check.
#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "../frame/CycleFixture.h"
#include "SweepSupport.h"
#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "reports/ImexProcesses.h"
#include "scheduler/DailyJobs.h"

namespace kr::test {
namespace {

class FaultSweepTest : public CycleTest {
protected:
    void TearDown() override {
        data::ClearWriteFault();
        CycleTest::TearDown();
    }
    // A new data folder for the next k.
    void Fresh() {
        data::ClearWriteFault();
        CycleTest::TearDown();
        runs_.clear();
        sounds_.clear();
        started_.clear();
        responder_.clear();
        CycleTest::SetUp();
    }
    std::string DataFilePath() const { return (std::filesystem::current_path() / "KR97.TPS").string(); }
    int RunsOf(int32_t id) const {
        return static_cast<int>(std::count_if(runs_.begin(), runs_.end(), [&](const RunRecord& r) { return r.id == id; }));
    }
    std::vector<Schedule> CopiesOf(const std::string& description) {
        std::vector<Schedule> out;
        for (const Schedule& s : All())
            if (ClipRight(s.Description.str()) == description && s.Completed) out.push_back(s);
        return out;
    }
    // The messages shown since `from`, each as "title: text".
    std::vector<std::string> Shown(std::size_t from = 0) const {
        std::vector<std::string> out;
        const auto all = responder_.shown();
        for (std::size_t i = from; i < all.size(); ++i) out.push_back(all[i].request.title + ": " + all[i].request.text);
        return out;
    }
    static std::string Joined(const std::vector<std::string>& v) {
        std::string s;
        for (const std::string& t : v) s += "\n  [" + t + "]";
        return s;
    }
    // The fields of a task a run does not touch, as one text.
    static std::string Untouched(const Schedule& s) {
        std::ostringstream o;
        o << s.Description.str() << '|' << s.TaskType.str() << '|' << s.Command.str() << '|' << s.Message << '|'
          << s.ScheduleType.str() << '|' << s.Every << '|' << s.EveryType.str() << '|' << s.Category.str() << '|'
          << s.Path.str() << '|' << int(s.Disabled) << '|' << int(s.Completed);
        return o.str();
    }
};

// The due-task run: a program, a message and a script task due at one moment.
TEST_F(FaultSweepTest, TheDueRunOfAProgramAMessageAndAScriptKeepsItsPromisesAtEveryFailingWrite) {
    struct Tasks {
        int32_t program, message, script;
        std::map<int32_t, std::string> untouched;
    };
    const auto setUp = [&] {
        cycle_.settings().SaveScripts = true;
        clock_.Set(D(2024, 7, 1), T(7, 59, 58));
        Tasks t;
        t.program = Add(Every(1, "day(s)", D(2024, 7, 1), T(8, 0), "Daily program"));
        Schedule m = Every(1, "day(s)", D(2024, 7, 1), T(8, 0), "Daily message");
        m.TaskType = "Display Message";
        m.Message = "Read me";
        t.message = Add(m);
        t.script = Add(Every(1, "day(s)", D(2024, 7, 1), T(8, 0), "Daily script"));
        AddItem(t.script, "Send Keys");
        AddItem(t.script, "Pause");
        for (int32_t id : {t.program, t.message, t.script}) t.untouched[id] = Untouched(Fetch(id));
        return t;
    };
    Tasks t = setUp();
    data::CountWrites();
    Ticks(20);
    const int64_t writes = data::WritesCounted();
    ASSERT_EQ(RunsOf(t.program) + RunsOf(t.message) + RunsOf(t.script), 3);
    ASSERT_GT(writes, 3);

    for (const FaultCause& c : FaultCauses()) {
        for (int64_t k : EveryWrite(writes)) {
            const std::string what = std::string(c.name) + ", write " + std::to_string(k) + " of " + std::to_string(writes);
            Fresh();
            t = setUp();
            data::SetWriteFault(c.cause, k);
            Ticks(20);
            const std::vector<std::string> told = Shown();
            // One message per occurrence at most, each naming the cause.
            EXPECT_LE(told.size(), 3u) << what << Joined(told);
            for (const std::string& m : told) EXPECT_TRUE(NamesCause(m, c.cause)) << what << Joined(told);
            data::ClearWriteFault();
            Ticks(60);
            EXPECT_EQ(Shown().size(), told.size()) << what << ": told again once the fault was gone" << Joined(Shown());
            EXPECT_EQ(cycle_.unstoredRuns(), 0u) << what;
            for (int32_t id : {t.program, t.message, t.script}) {
                EXPECT_EQ(RunsOf(id), 1) << what << ": task " << id << " started " << RunsOf(id) << " times";
                const Schedule s = Fetch(id);
                EXPECT_EQ(s.Date, D(2024, 7, 2)) << what << ": task " << id;
                EXPECT_EQ(s.Time, T(8, 0)) << what << ": task " << id;
                EXPECT_EQ(s.LastRunDate, D(2024, 7, 1)) << what << ": task " << id;
                EXPECT_EQ(Untouched(s), t.untouched[id]) << what << ": task " << id;
                EXPECT_EQ(CopiesOf(s.Description.str()).size(), 1u) << what << ": history copies of task " << id;
            }
            EXPECT_EQ(ItemsOf(t.script), 2) << what << Joined(told);
            const std::vector<Schedule> copies = CopiesOf("Daily script");
            if (copies.size() == 1) {
                EXPECT_EQ(ItemsOf(copies[0].ID), 2) << what << ": the copy's script items" << Joined(told);
            }
            EXPECT_EQ(IntegrityOf(DataFilePath()), "ok") << what;
        }
    }
}

// The daily housekeeping: the history expiry, the holiday roll-forward and
// an advance warning, on the first pass of a day.
TEST_F(FaultSweepTest, TheDailyHousekeepingKeepsItsPromisesAtEveryFailingWrite) {
    struct Data {
        int32_t warned = 0;
        std::set<int32_t> expired;
        int32_t kept = 0;
    };
    const auto setUp = [&] {
        clock_.Set(D(2024, 7, 10), T(7, 45));
        Data d;
        for (int i = 0; i < 4; ++i) {
            Schedule h = Once(D(2024, 6, 1 + i), T(8, 0), "Old run " + std::to_string(i));
            h.Completed = 1;
            h.Disabled = 1;
            d.expired.insert(Add(h));
        }
        Schedule recent = Once(D(2024, 7, 9), T(8, 0), "Yesterday's run");
        recent.Completed = 1;
        recent.Disabled = 1;
        d.kept = Add(recent);
        Schedule w = Every(1, "day(s)", D(2024, 7, 11), T(9, 0), "Dentist");
        w.AdvanceWarnDate = D(2024, 7, 10);
        w.AdvanceWarnTime = T(7, 30);
        d.warned = Add(w);
        data::Table& hol = data::TableOf(HolidaysDef());
        if (hol.Open() == 2) {
            EXPECT_EQ(hol.Create(), 0);
            EXPECT_EQ(hol.Open(), 0);
        }
        PutSetting("DEFHOL", "1");  // no default list: only the holidays below
        EXPECT_EQ(AddHoliday(D(2024, 1, 1), "New Year", "Fixed"), 0);
        EXPECT_EQ(AddHoliday(D(2024, 7, 4), "Fourth", "Fixed"), 0);
        EXPECT_EQ(AddHoliday(D(2024, 3, 3), "Once only", "Once"), 0);
        hol.Close();
        return d;
    };
    HistorySettings settings;
    settings.HistoryExpires = 7;
    settings.RemoveUncompleted = true;
    const auto pass = [&](DailyJobs& jobs) {
        jobs.CheckAdvanceWarnings(false);
        jobs.RemoveHistory(settings);
    };
    const auto holidays = [] {
        std::vector<std::pair<int32_t, std::string>> out;
        data::Table& hol = data::TableOf(HolidaysDef());
        if (hol.Open() != 0) return out;
        hol.Set(nullptr);
        while (hol.Next() == 0) out.emplace_back(hol.Rec<Holidays>().HolidayDate, ClipRight(hol.Rec<Holidays>().Holiday.str()));
        hol.Close();
        std::sort(out.begin(), out.end());
        return out;
    };

    Data d = setUp();
    int64_t writes = 0;
    std::vector<std::pair<int32_t, std::string>> rolled;
    {
        DailyJobs jobs;
        jobs.Start();
        data::CountWrites();
        pass(jobs);
        writes = data::WritesCounted();
        jobs.Stop();
        rolled = holidays();
    }
    ASSERT_EQ(Shown().size(), 1u) << "the warning" << Joined(Shown());
    ASSERT_GT(writes, 5);

    for (const FaultCause& c : FaultCauses()) {
        for (int64_t k : EveryWrite(writes)) {
            const std::string what = std::string(c.name) + ", write " + std::to_string(k) + " of " + std::to_string(writes);
            Fresh();
            d = setUp();
            DailyJobs jobs;
            jobs.Start();
            data::SetWriteFault(c.cause, k);
            pass(jobs);
            pass(jobs);  // a second pass of step 1 the same minute
            const std::vector<std::string> told = Shown();
            std::vector<std::string> errors;
            for (const std::string& m : told)
                if (m.rfind("Advanced Warning", 0) != 0) errors.push_back(m);
            // The warning's mark and the daily pass: two operations, one
            // message each at most.
            EXPECT_LE(errors.size(), 2u) << what << Joined(told);
            for (const std::string& m : errors) EXPECT_TRUE(NamesCause(m, c.cause)) << what << Joined(told);
            data::ClearWriteFault();
            // The next passes, the fault gone: the warning shown once in all,
            // its mark stored; the expiry done or its failure told.
            pass(jobs);
            pass(jobs);
            const std::vector<std::string> after = Shown();
            const auto warnings = std::count_if(after.begin(), after.end(), [](const std::string& m) {
                return m.rfind("Advanced Warning", 0) == 0;
            });
            EXPECT_EQ(warnings, 1) << what << Joined(after);
            EXPECT_EQ(Fetch(d.warned).AdvanceWarned, 1) << what;
            const bool toldExpiry = std::any_of(errors.begin(), errors.end(), [](const std::string& m) {
                return m.find("istory") != std::string::npos;
            });
            int left = 0;
            for (const Schedule& s : All()) left += d.expired.count(s.ID) ? 1 : 0;
            if (!toldExpiry) {
                EXPECT_EQ(left, 0) << what << ": expired history left without a word";
            }
            EXPECT_EQ(Fetch(d.kept).Description.str(), "Yesterday's run") << what;
            Schedule w = Fetch(d.warned);
            EXPECT_EQ(w.Date, D(2024, 7, 11)) << what;
            EXPECT_EQ(w.Time, T(9, 0)) << what;
            jobs.Stop();
            const auto now = holidays();
            // Each holiday once, either rolled or where it was.
            std::set<std::string> names;
            for (const auto& h : now) EXPECT_TRUE(names.insert(h.second).second) << what << ": " << h.second << " twice";
            EXPECT_EQ(IntegrityOf(DataFilePath()), "ok") << what;
        }
    }
}

// An import of 1,000 contacts.
TEST_F(FaultSweepTest, AnImportOf1000RowsKeepsItsPromisesAtTheFailingWritesSampled) {
    std::string file;
    const auto setUp = [&] {
        file = (dir_ / "contacts.csv").string();
        std::ofstream out(file, std::ios::binary);
        out << "\"C_:LastName\",\"C_:FirstName\",\"C_:Email\"\r\n";
        for (int i = 0; i < 1000; ++i)
            out << "\"Last " << i << "\",\"First " << i << "\",\"person" << i << "@example.org\"\r\n";
        data::Table& t = data::TableOf(ContactDef());
        EXPECT_EQ(t.Create(), 0);
    };
    struct Outcome {
        ProcessState state;
        int added;
        std::string summary;
    };
    const auto import = [&] {
        auto reader = std::make_shared<reports::Imex>();
        reports::ImexError e;
        EXPECT_GT(reports::OpenImportFile(*reader, file, e), 0) << e.Message();
        const reports::ImportColumns cols = reports::ScanImportColumns(*reader);
        reports::ImportMapping m{cols.pictures, {}};
        reports::AutoAssign(reports::Member(reports::ImexKind::Contacts), cols.values, m);
        reports::ImportRun run(reports::Member(reports::ImexKind::Contacts), reader, m, true);
        EXPECT_TRUE(run.Start());
        const ProcessState s = RunToEnd(run);
        return Outcome{s, run.added(), run.Summary()};
    };
    // The rows stored: each whole (its first name and address those of its
    // last name's line), none twice.
    const auto rows = [](std::string& problem) {
        std::set<std::string> seen;
        data::Table& t = data::TableOf(ContactDef());
        if (t.Open() != 0) {
            problem = "cannot open Contact";
            return -1;
        }
        t.Set(nullptr);
        int n = 0;
        while (t.Next() == 0) {
            const Contact& c = t.Rec<Contact>();
            const std::string last = ClipRight(c.LastName.str());
            const std::string i = last.substr(5);
            if (ClipRight(c.FirstName.str()) != "First " + i || ClipRight(c.Email.str()) != "person" + i + "@example.org")
                problem = "row of " + last + " not whole";
            if (!seen.insert(last).second) problem = last + " twice";
            ++n;
        }
        t.Close();
        return n;
    };

    setUp();
    data::CountWrites();
    Outcome clean = import();
    const int64_t writes = data::WritesCounted();
    ASSERT_EQ(clean.state, ProcessState::Finished) << clean.summary;
    ASSERT_EQ(clean.added, 1000);
    ASSERT_GE(writes, 1002);  // a begin, the rows, a commit at least

    for (const FaultCause& c : FaultCauses()) {
        for (int64_t k : SampledWrites(writes)) {
            const std::string what = std::string(c.name) + ", write " + std::to_string(k) + " of " + std::to_string(writes);
            Fresh();
            setUp();
            data::SetWriteFault(c.cause, k);
            const Outcome o = import();
            const bool failed = data::WritesFailed() > 0;
            data::ClearWriteFault();
            const std::vector<std::string> told = Shown();
            std::string problem;
            const int n = rows(problem);
            EXPECT_TRUE(problem.empty()) << what << ": " << problem;
            EXPECT_EQ(o.added, n) << what << ": counted against stored; " << o.summary;
            if (failed && n < 1000) {
                // Stopped: told once, with the cause, and the summary says so.
                EXPECT_EQ(told.size(), 1u) << what << Joined(told);
                for (const std::string& m : told) EXPECT_TRUE(NamesCause(m, c.cause)) << what << Joined(told);
                EXPECT_NE(o.state, ProcessState::Finished) << what << ": " << o.summary;
            } else {
                EXPECT_EQ(n, 1000) << what;
                EXPECT_TRUE(told.empty()) << what << Joined(told);
            }
            EXPECT_EQ(IntegrityOf(DataFilePath()), "ok") << what;
        }
    }
}

// A form's change as its OK stores it in change mode, through the file
// manager's update (a contact).
TEST_F(FaultSweepTest, AChangeStoredThroughTheFileManagerKeepsItsPromisesAtEveryFailingWrite) {
    const auto contact = [] {
        Contact_File().Open();
        Contact_File().PrimeRecord();
        Contact& c = Contact_File().rec();
        c.LastName = "Smith";
        c.FirstName = "Ann";
        c.Email = "ann@example.org";
        EXPECT_EQ(Contact_File().Insert(), data::kLevelBenign);
        return c.ClientID;
    };
    const auto stored = [](int32_t id) {
        Contact_File().rec().ClientID = id;
        EXPECT_EQ(Contact_File().Fetch("C_:KeyClientID"), data::kLevelBenign) << id;
        const Contact& c = Contact_File().rec();
        return ClipRight(c.LastName.str()) + "|" + ClipRight(c.FirstName.str()) + "|" + ClipRight(c.Email.str()) + "|" +
               c.Notes;
    };
    const auto change = [&](int32_t id) {
        Contact_File().rec().ClientID = id;
        if (Contact_File().Fetch("C_:KeyClientID") != data::kLevelBenign) return -1;
        Contact_File().rec().Email = "ann@example.com";
        Contact_File().rec().Notes = "moved";
        return Contact_File().Update();
    };
    int32_t id = contact();
    const std::string before = stored(id);
    data::CountWrites();
    ASSERT_EQ(change(id), data::kLevelBenign);
    const int64_t writes = data::WritesCounted();
    const std::string after = stored(id);
    ASSERT_NE(before, after);
    ASSERT_GE(writes, 1);
    for (const FaultCause& c : FaultCauses()) {
        for (int64_t k : EveryWrite(writes)) {
            const std::string what = std::string(c.name) + ", write " + std::to_string(k) + " of " + std::to_string(writes);
            Fresh();
            id = contact();
            data::SetWriteFault(c.cause, k);
            const int r = change(id);
            data::ClearWriteFault();
            const std::vector<std::string> told = Shown();
            if (r != data::kLevelBenign) {
                EXPECT_EQ(told.size(), 1u) << what << Joined(told);
                for (const std::string& m : told) EXPECT_TRUE(NamesCause(m, c.cause)) << what << Joined(told);
                EXPECT_EQ(stored(id), before) << what << ": a failed change left part of itself";
                EXPECT_EQ(change(id), data::kLevelBenign) << what << ": the change once the fault is gone";
            } else {
                EXPECT_TRUE(told.empty()) << what << Joined(told);
            }
            EXPECT_EQ(stored(id), after) << what;
            EXPECT_EQ(IntegrityOf(DataFilePath()), "ok") << what;
            Contact_File().Close();
        }
    }
    Contact_File().Close();
}

}  // namespace
}  // namespace kr::test
