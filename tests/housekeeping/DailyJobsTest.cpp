// Advance warnings, history expiry and the holiday roll-forward over a real
// data file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "HousekeepingFixture.h"
#include "scheduler/DailyJobs.h"
#include "scheduler/DateValues.h"
#include "scheduler/OpenEditors.h"
#include "scheduler/TableScheduleStore.h"

namespace kr::test {
namespace {

using ::testing::Contains;
using ::testing::Pair;

class DailyJobsTest : public HousekeepingTest {
protected:
    void SetUp() override {
        HousekeepingTest::SetUp();
        store_ = std::make_unique<TableScheduleStore>();
        jobs_.Start();
    }
    void TearDown() override {
        jobs_.Stop();
        store_.reset();
        HousekeepingTest::TearDown();
    }
    static Schedule Task(const std::string& what, int32_t date, int32_t time) {
        Schedule s;
        s.ScheduleType = "Once";
        s.TaskType = "Display Message";
        s.Description = what;
        s.Message = "Message of " + what;
        s.Date = date;
        s.Time = time;
        return s;
    }
    int32_t Add(Schedule s) {
        s.ID = store_->LastID() + 1;
        EXPECT_EQ(store_->Add(s), 0);
        return s.ID;
    }
    Schedule Fetch(int32_t id) {
        Schedule s;
        store_->Fetch(id, s);
        return s;
    }
    bool Exists(int32_t id) {
        Schedule s;
        return store_->Fetch(id, s) == 0;
    }
    std::vector<std::string> MsgLinkTitles() {
        std::vector<std::string> out;
        data::Table& t = data::TableOf(MsgLinkDef());
        if (OpenTable(t) != 0) return out;
        t.Set(nullptr);
        while (t.Next() == 0) out.push_back(t.Rec<MsgLink>().Title.str());
        t.Close();
        return out;
    }
    std::vector<Holidays> AllHolidays() {
        std::vector<Holidays> out;
        data::Table& t = data::TableOf(HolidaysDef());
        EXPECT_EQ(OpenTable(t), 0);
        t.Set(HolidaysDef().key("HOL:KeyHolidayDate"));
        while (t.Next() == 0) out.push_back(t.Rec<Holidays>());
        t.Close();
        return out;
    }
    int32_t HolidayDate(const std::string& name) {
        for (const Holidays& h : AllHolidays())
            if (h.Holiday.str() == name) return h.HolidayDate;
        return -1;
    }

    std::unique_ptr<TableScheduleStore> store_;
    DailyJobs jobs_;
};

// --- advance warnings -------------------------------------------------------

TEST(AdvanceWarning, DueAndText) {
    Schedule s;
    s.AdvanceWarnDate = D(2024, 7, 1);
    s.AdvanceWarnTime = T(9, 0);
    EXPECT_FALSE(AdvanceWarningDue(s, D(2024, 7, 1), T(9, 0)));
    EXPECT_TRUE(AdvanceWarningDue(s, D(2024, 7, 1), T(9, 0) + 1));
    EXPECT_TRUE(AdvanceWarningDue(s, D(2024, 7, 2), T(1, 0)));
    EXPECT_FALSE(AdvanceWarningDue(s, D(2024, 6, 30), T(23, 0)));
    EXPECT_FALSE(AdvanceWarningDue(Schedule(), D(2024, 7, 1), T(9, 0)));  // no warning asked for

    s.Date = D(2024, 7, 2);
    s.Time = T(14, 30);
    s.Message = "  Bring the slides  ";
    s.Command = "impress talk.odp";
    const std::string head = "JUL 2,2024 2:30PM\r\n\r\n";
    s.TaskType = "Display Message";
    EXPECT_EQ(AdvanceWarningText(s), head + "  Bring the slides  ");
    s.TaskType = "Run Program";
    EXPECT_EQ(AdvanceWarningText(s), head + "Command:  impress talk.odp");
    s.TaskType = "Both";
    EXPECT_EQ(AdvanceWarningText(s), head + "Bring the slides\r\n\r\nCommand: impress talk.odp");
    s.TaskType = "Reminder Only";
    EXPECT_EQ(AdvanceWarningText(s), head + "Bring the slides\r\n\r\nCommand: impress talk.odp");
    s.Command = "";
    EXPECT_EQ(AdvanceWarningText(s), head + "Bring the slides");
    s.TaskType = "Display Message";
    s.Message = std::string(5000, 'x');
    EXPECT_EQ(AdvanceWarningText(s).size(), 4096u);
}

TEST_F(DailyJobsTest, WarnsDueTasksOnceAndPassesOverTheRest) {
    // Many tasks without a warning sort first in the key: more than one
    // pass may read. They must neither be warned nor hide the due one.
    store_->BeginBatch();
    for (int i = 0; i < kHousekeepingReadLimit + 50; ++i) Add(Task("plain " + std::to_string(i), D(2024, 7, 1), T(7, 0)));
    store_->EndBatch();
    Schedule due = Task("Dentist", D(2024, 7, 2), T(9, 0));
    due.AdvanceWarnDate = D(2024, 7, 1);
    due.AdvanceWarnTime = T(7, 30);
    due.Alarm = 1;
    due.AlarmFile = "bell.wav";
    const int32_t dueID = Add(due);
    Schedule disabled = due;
    disabled.Description = "Disabled";
    disabled.Disabled = 1;
    const int32_t disabledID = Add(disabled);
    Schedule history = due;
    history.Description = "History";
    history.Disabled = 1;
    history.Completed = 1;
    Add(history);
    Schedule skipped = due;
    skipped.Description = "Skipped one";
    skipped.SkipNextTime = 1;
    const int32_t skippedID = Add(skipped);
    Schedule later = due;
    later.Description = "Later";
    later.AdvanceWarnDate = D(2024, 7, 1);
    later.AdvanceWarnTime = T(12, 0);
    const int32_t laterID = Add(later);

    jobs_.CheckAdvanceWarnings(true);
    EXPECT_EQ(MsgLinkTitles(), std::vector<std::string>{"Advanced Warning: Dentist"});
    EXPECT_EQ(started_, std::vector<std::string>{"KRMsg.EXE ID=1"});
    EXPECT_EQ(Fetch(dueID).AdvanceWarned, 1);
    EXPECT_EQ(Fetch(skippedID).AdvanceWarned, 1);
    EXPECT_EQ(Fetch(disabledID).AdvanceWarned, 0);
    EXPECT_EQ(Fetch(laterID).AdvanceWarned, 0);
    EXPECT_EQ(Fetch(1).AdvanceWarned, 0);
    EXPECT_THAT(Log(), Contains(Pair("Advanced Warning", "Skipped:  Skipped one")));

    // Shown once per occurrence.
    jobs_.CheckAdvanceWarnings(true);
    EXPECT_EQ(started_.size(), 1u);

    // Without the message program (or when it fails): a box on this thread.
    clock_.Set(D(2024, 7, 1), T(12, 1));
    jobs_.CheckAdvanceWarnings(false);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "Advanced Warning: Later");
    EXPECT_EQ(started_.size(), 1u);
}

// --- history ----------------------------------------------------------------

TEST(HistoryRemovable, ExpiryCompletionAndOpenEditors) {
    Schedule s;
    s.ID = 7;
    s.ScheduleType = "Once";
    s.Disabled = 1;
    s.Completed = 1;
    s.Date = D(2024, 6, 1);
    EXPECT_TRUE(HistoryRemovable(s, D(2024, 7, 1), 30, false));
    EXPECT_FALSE(HistoryRemovable(s, D(2024, 6, 30), 30, false));
    EXPECT_FALSE(HistoryRemovable(s, D(2024, 7, 1), 0, false));  // no expiry
    s.Completed = 0;
    EXPECT_FALSE(HistoryRemovable(s, D(2024, 7, 1), 30, false));
    EXPECT_TRUE(HistoryRemovable(s, D(2024, 7, 1), 30, true));
    s.Disabled = 0;
    EXPECT_FALSE(HistoryRemovable(s, D(2024, 7, 1), 30, true));

    // A new task's placeholder: disabled, no type and no date yet.
    Schedule placeholder;
    placeholder.ID = 8;
    placeholder.Disabled = 1;
    EXPECT_FALSE(HistoryRemovable(placeholder, D(2024, 7, 1), 1, true));
    // A task an open editor holds.
    s.Disabled = 1;
    EditorOpened();
    HoldTask(7);
    EXPECT_FALSE(HistoryRemovable(s, D(2024, 7, 1), 30, true));
    ReleaseTask(7);
    EditorClosed();
    EXPECT_TRUE(HistoryRemovable(s, D(2024, 7, 1), 30, true));
    EXPECT_EQ(OpenTaskEditors(), 0);
}

TEST_F(DailyJobsTest, RemovesExpiredHistoryOnceADay) {
    Schedule done = Task("Done", D(2024, 6, 1), T(9, 0));
    done.Disabled = done.Completed = 1;
    const int32_t doneID = Add(done);
    Schedule recent = done;
    recent.Date = D(2024, 6, 2);
    const int32_t recentID = Add(recent);
    Schedule uncompleted = done;
    uncompleted.Completed = 0;
    const int32_t uncompletedID = Add(uncompleted);
    Schedule placeholder;
    placeholder.Disabled = 1;
    const int32_t placeholderID = Add(placeholder);
    const int32_t enabledID = Add(Task("Enabled", D(2024, 1, 1), T(9, 0)));
    Scripting_File().rec() = Scripting();
    Scripting_File().rec().ID = doneID;
    Scripting_File().rec().Action = "Send Keys";
    ASSERT_EQ(Scripting_File().Insert(), 0);

    HistorySettings settings;
    settings.HistoryExpires = 30;
    EXPECT_TRUE(jobs_.RemoveHistory(settings));
    EXPECT_FALSE(Exists(doneID));
    EXPECT_TRUE(Exists(recentID));
    EXPECT_TRUE(Exists(uncompletedID));
    EXPECT_TRUE(Exists(placeholderID));
    EXPECT_TRUE(Exists(enabledID));
    EXPECT_EQ(data::TableOf(ScriptingDef()).Records(), 0);  // its script went with it
    EXPECT_THAT(Log(), Contains(Pair("History", "Checked for tasks needing removal")));

    // Once a day: the same day does nothing, the next day runs again.
    settings.RemoveUncompleted = true;
    EXPECT_FALSE(jobs_.RemoveHistory(settings));
    EXPECT_TRUE(Exists(uncompletedID));
    clock_.Set(D(2024, 7, 2), T(8, 0));
    EXPECT_TRUE(jobs_.RemoveHistory(settings));
    EXPECT_FALSE(Exists(uncompletedID));
    EXPECT_FALSE(Exists(recentID));
    EXPECT_TRUE(Exists(placeholderID));
}

TEST_F(DailyJobsTest, HistoryExpiringAtOnceRemovesCompletedTasksOnTheNextPass) {
    Schedule done = Task("Done", D(2024, 6, 1), T(9, 0));  // a month back
    done.Disabled = done.Completed = 1;
    const int32_t doneID = Add(done);
    Schedule placeholder;
    placeholder.Disabled = 1;
    const int32_t placeholderID = Add(placeholder);

    HistorySettings settings;
    settings.HistoryExpires = 0;  // kept for ever
    EXPECT_TRUE(jobs_.RemoveHistory(settings));
    EXPECT_TRUE(Exists(doneID));

    settings.HistoryExpires = -1;  // removed at once
    clock_.Set(D(2024, 7, 2), T(8, 0));
    EXPECT_TRUE(jobs_.RemoveHistory(settings));
    EXPECT_FALSE(Exists(doneID));
    EXPECT_TRUE(Exists(placeholderID));
}

// As at a start with no schedule list open: the jobs' own store holds the
// only use of Schedule and Scripting, and nothing has read them yet. The
// first pass warns and expires history, its script items included, with no
// box.
TEST_F(DailyJobsTest, TheFirstPassReadsTablesNobodyElseOpened) {
    Schedule done = Task("Done", D(2024, 5, 1), T(9, 0));
    done.Disabled = done.Completed = 1;
    const int32_t doneID = Add(done);
    Schedule due = Task("Dentist", D(2024, 7, 2), T(9, 0));
    due.AdvanceWarnDate = D(2024, 7, 1);
    due.AdvanceWarnTime = T(7, 30);
    const int32_t dueID = Add(due);
    Scripting_File().rec() = Scripting();
    Scripting_File().rec().ID = doneID;
    Scripting_File().rec().Action = "Send Keys";
    ASSERT_EQ(Scripting_File().Insert(), 0);
    jobs_.Stop();
    store_.reset();
    ASSERT_FALSE(data::TableOf(ScheduleDef()).IsOpen());
    ASSERT_FALSE(data::TableOf(ScriptingDef()).IsOpen());

    jobs_.Start();
    jobs_.CheckAdvanceWarnings(false);
    EXPECT_EQ(responder_.shown().size(), 1u);
    if (!responder_.shown().empty()) {
        EXPECT_EQ(responder_.shown()[0].request.title, "Advanced Warning: Dentist");
    }
    responder_.clear();
    HistorySettings settings;
    settings.HistoryExpires = 30;
    EXPECT_TRUE(jobs_.RemoveHistory(settings));
    EXPECT_TRUE(responder_.shown().empty()) << responder_.shown()[0].request.text;

    store_ = std::make_unique<TableScheduleStore>();
    EXPECT_FALSE(Exists(doneID));
    EXPECT_EQ(Fetch(dueID).AdvanceWarned, 1);
    data::Table& scripting = data::TableOf(ScriptingDef());
    ASSERT_EQ(OpenTable(scripting), 0);
    EXPECT_EQ(scripting.Records(), 0);  // its script went with it
    scripting.Close();
}

// --- holidays ---------------------------------------------------------------

TEST(HolidayRoll, EachTypeMovesOneYear) {
    // Easter Monday stays Easter Monday.
    EXPECT_EQ(NextHolidayDate(EasterDate(2024) + 1, kHolidayEaster), EasterDate(2025) + 1);
    EXPECT_EQ(NextHolidayDate(EasterDate(2025) - 2, kHolidayEaster), EasterDate(2026) - 2);
    // The second Monday (the 8th) stays the second Monday, not the first.
    EXPECT_EQ(NextHolidayDate(D(2024, 4, 8), kHolidayDayOfMonth), D(2025, 4, 14));
    // The fourth Thursday of November, the 22nd, 29th the like.
    EXPECT_EQ(NextHolidayDate(D(2024, 11, 28), kHolidayDayOfMonth), D(2025, 11, 27));
    EXPECT_EQ(NextHolidayDate(D(2024, 10, 14), kHolidayDayOfMonth), D(2025, 10, 13));
    EXPECT_EQ(NextHolidayDate(D(2024, 9, 2), kHolidayDayOfMonth), D(2025, 9, 1));
    // Over many years the week holds.
    int32_t d = D(2024, 4, 8);
    for (int i = 0; i < 30; ++i) d = NextHolidayDate(d, kHolidayDayOfMonth);
    EXPECT_EQ(Weekday(d), 1);
    EXPECT_GE(DateDay(d), 8);
    EXPECT_LE(DateDay(d), 14);
    // Annual keeps day and month; 29 February falls on the 28th.
    EXPECT_EQ(NextHolidayDate(D(2024, 12, 25), kHolidayTypeAnnual), D(2025, 12, 25));
    EXPECT_EQ(NextHolidayDate(D(2024, 2, 29), kHolidayTypeAnnual), D(2025, 2, 28));
    EXPECT_EQ(NextHolidayDate(D(2024, 2, 29), kHolidayOnce), 0);
}

TEST_F(DailyJobsTest, AFreshFileGetsTheDefaultsAllOnOrAfterToday) {
    clock_.Set(D(2026, 12, 9), T(8, 0));
    EXPECT_GT(RollHolidaysForward(), 0);
    EXPECT_EQ(GetSetting(kDefaultHolidaysSetting), "Y");
    const std::vector<Holidays> all = AllHolidays();
    EXPECT_EQ(all.size(), 16u);
    for (const Holidays& h : all) EXPECT_GE(h.HolidayDate, Today()) << h.Holiday.str();
    EXPECT_EQ(HolidayDate("Christmas Day"), D(2026, 12, 25));
    EXPECT_EQ(HolidayDate("Canada Day (Canada)"), D(2027, 7, 1));
    EXPECT_EQ(HolidayDate("Veteran's/Remembrance Day"), D(2027, 11, 11));
    EXPECT_EQ(HolidayDate("Thanksgiving (U.S.)"), D(2027, 11, 25));  // a Thursday
    EXPECT_EQ(Weekday(HolidayDate("Thanksgiving (U.S.)")), 4);
    EXPECT_EQ(HolidayDate("Labor Day/Labour Day)"), D(2027, 9, 6));
    EXPECT_EQ(HolidayDate("Easter Monday"), EasterDate(2027) + 1);
    EXPECT_EQ(HolidayDate("Good Friday"), EasterDate(2027) - 2);

    // Once only: deleting them all and rolling again adds nothing.
    data::Table& t = data::TableOf(HolidaysDef());
    ASSERT_EQ(OpenTable(t), 0);
    t.Set(nullptr);
    while (t.Next() == 0) t.Delete();
    t.Close();
    EXPECT_EQ(RollHolidaysForward(), 0);
    EXPECT_TRUE(AllHolidays().empty());
}

TEST_F(DailyJobsTest, OnceHolidaysGoAndACollisionWaitsForTheNextPass) {
    PutSetting(kDefaultHolidaysSetting, "Y");
    data::Table& t = data::TableOf(HolidaysDef());
    ASSERT_EQ(OpenTable(t), 0);
    AddHoliday(D(2024, 6, 30), "Picnic", kHolidayOnce);
    AddHoliday(D(2023, 7, 4), "Fourth", "Fixed");        // an unknown type becomes Annual
    AddHoliday(D(2023, 8, 14), "Ours", kHolidayTypeAnnual);
    AddHoliday(D(2024, 8, 14), "Theirs", kHolidayTypeAnnual);  // holds the date "Ours" rolls to
    t.Close();

    EXPECT_EQ(RollHolidaysForward(), 2);
    EXPECT_EQ(HolidayDate("Picnic"), -1);
    EXPECT_EQ(HolidayDate("Fourth"), D(2024, 7, 4));
    EXPECT_EQ(HolidayDate("Ours"), D(2023, 8, 14));  // left where it was, logged
    EXPECT_THAT(Log(), Contains(Pair("Holidays", "Cannot move Ours to AUG 14,2024:  Creates Duplicate Key")));
    for (const Holidays& h : AllHolidays()) {
        if (h.Holiday.str() == "Fourth") {
            EXPECT_EQ(h.HolidayType.str(), kHolidayTypeAnnual);
        }
    }

    // Once the date is free the next pass moves it.
    ASSERT_EQ(OpenTable(t), 0);
    t.Rec<Holidays>().HolidayDate = D(2024, 8, 14);
    ASSERT_EQ(t.Get(HolidaysDef().key("HOL:KeyHolidayDate")), 0);
    ASSERT_EQ(t.Delete(), 0);
    t.Close();
    EXPECT_EQ(RollHolidaysForward(), 1);
    EXPECT_EQ(HolidayDate("Ours"), D(2024, 8, 14));
}

}  // namespace
}  // namespace kr::test
