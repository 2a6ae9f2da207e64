// The date engine over a real data file in a temporary folder: copies under
// new IDs, shifted copies with their script items, deleting an earlier copy,
// the procedure's buffers left alone, holidays, and a re-dating pass.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/ErrorCodes.h"
#include "scheduler/ReDate.h"
#include "scheduler/Reschedule.h"
#include "scheduler/TableScheduleStore.h"
#include "SchedulerTestSupport.h"

namespace kr {
namespace {

using test::Custom;
using test::D;
using test::T;

class TableStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/kr-sched-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        data::SetKeyDerivationIterations(64);
        DictionaryInit();
    }
    void TearDown() override {
        DictionaryKill();
        data::CloseIdleFiles();
        data::SetKeyDerivationIterations(0);
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    int ItemsOf(TableScheduleStore&, int32_t task, std::vector<std::string>* actions = nullptr) {
        int n = 0;
        data::TableOf(ScriptingDef())
            .ForEachMatch(ScriptingDef().key("SCR:KeyID"), {ScriptingDef().field("SCR:ID")}, {Value(task)},
                          [&](int64_t, const void* r) {
                              ++n;
                              if (actions) actions->push_back(static_cast<const Scripting*>(r)->Action.str());
                              return true;
                          });
        return n;
    }
    void AddItem(int32_t task, const char* action) {
        Scripting_File().rec() = Scripting();
        Scripting_File().rec().ID = task;
        Scripting_File().rec().Action = action;
        ASSERT_EQ(Scripting_File().Insert(), data::kLevelBenign);
    }

    test::ScopedServices services_;
    std::filesystem::path dir_, previous_;
};

TEST_F(TableStoreTest, CopiesTakeTheNextFreeID) {
    TableScheduleStore store;
    ASSERT_EQ(store.openError(), 0);
    EXPECT_EQ(store.LastID(), 0);
    Schedule s = Custom(1, "day(s)", D(2024, 7, 2), T(9, 0));
    s.Message = "a memo that travels with the copy";
    EXPECT_EQ(AddScheduleCopy(store, s), kNoError);
    EXPECT_EQ(s.ID, 1);
    EXPECT_EQ(AddScheduleCopy(store, s), kNoError);
    EXPECT_EQ(s.ID, 2);
    EXPECT_EQ(store.Add(s), kDuplicateKey);
    EXPECT_EQ(store.LastID(), 2);
    EXPECT_EQ(store.Count(), 2);
    Schedule back;
    ASSERT_EQ(store.Fetch(2, back), kNoError);
    EXPECT_EQ(back.Message, "a memo that travels with the copy");
    EXPECT_EQ(store.Fetch(9, back), kRecordNotFound);
    EXPECT_TRUE(services_.responder.shown().empty());
}

TEST_F(TableStoreTest, ShiftedCopyCarriesTheScriptAndReplacesTheEarlierOne) {
    TableScheduleStore store;
    // 6 July 2024 is a Saturday.
    Schedule task = Custom(1, "week(s)", D(2024, 7, 6), T(10, 0));
    task.ExceptWeekends = 1;
    task.ShiftType = "Next Day";
    task.Description = "Weekly upload";
    ASSERT_EQ(AddScheduleCopy(store, task), kNoError);
    AddItem(task.ID, "Start Program");
    AddItem(task.ID, "Send Keys");

    // The engine works on the procedure's own buffer, as the timer does.
    Schedule& SCH = Schedule_File().rec();
    SCH = task;
    EXPECT_EQ(RescheduleTask(SCH, false, store, {}), 1);
    const int32_t first = SCH.ExceptionLink;
    ASSERT_NE(first, 0);
    EXPECT_EQ(SCH.ID, task.ID);
    EXPECT_EQ(SCH.SkipNextTime, 1);
    std::vector<std::string> actions;
    EXPECT_EQ(ItemsOf(store, first, &actions), 2);
    EXPECT_EQ(actions, (std::vector<std::string>{"Start Program", "Send Keys"}));
    Schedule copy;
    ASSERT_EQ(store.Fetch(first, copy), kNoError);
    EXPECT_EQ(copy.ScheduleType.str(), "Once");
    EXPECT_EQ(copy.Date, D(2024, 7, 8));
    EXPECT_EQ(copy.Description.str(), "Weekly upload");

    // The next Saturday: the earlier copy and its items go, a new one comes.
    SCH.Date = D(2024, 7, 13);
    SCH.SkipNextTime = 0;
    EXPECT_EQ(RescheduleTask(SCH, false, store, {}), 1);
    EXPECT_NE(SCH.ExceptionLink, first);
    EXPECT_EQ(store.Fetch(first, copy), kRecordNotFound);
    EXPECT_EQ(ItemsOf(store, first), 0);
    EXPECT_EQ(ItemsOf(store, SCH.ExceptionLink), 2);
    EXPECT_EQ(ItemsOf(store, task.ID), 2);
    Schedule stored;
    ASSERT_EQ(store.Fetch(task.ID, stored), kNoError);
    EXPECT_EQ(stored.ExceptionLink, SCH.ExceptionLink);
    EXPECT_EQ(stored.Date, D(2024, 7, 13));
    EXPECT_TRUE(services_.responder.shown().empty());
}

TEST_F(TableStoreTest, OperationsLeaveTheProcedureBuffersAlone) {
    TableScheduleStore store;
    Schedule s = Custom(1, "day(s)", D(2024, 7, 2), T(9, 0));
    AddScheduleCopy(store, s);
    AddItem(s.ID, "Wait");
    Schedule_File().rec() = Schedule();
    Schedule_File().rec().Description = "being edited";
    Scripting_File().rec().Action = "Display Message";
    Schedule fetched;
    store.Fetch(s.ID, fetched);
    store.Put(fetched);
    store.ReadAfter(0, 10);
    store.LastID();
    store.CopyScriptItems(s.ID, 77);
    EXPECT_EQ(Schedule_File().rec().Description.str(), "being edited");
    EXPECT_EQ(Scripting_File().rec().Action.str(), "Display Message");
    EXPECT_EQ(ItemsOf(store, 77), 1);
}

TEST_F(TableStoreTest, HolidaysAreReadOnce) {
    EXPECT_TRUE(LoadHolidays().Empty());
    ASSERT_EQ(Holidays_File().Open(), data::kLevelBenign);
    for (int32_t d : {D(2024, 12, 25), D(2024, 7, 4)}) {
        Holidays_File().rec().HolidayDate = d;
        ASSERT_EQ(Holidays_File().Insert(), data::kLevelBenign);
    }
    Holidays_File().Close();
    HolidaySet set = LoadHolidays();
    EXPECT_TRUE(set.Contains(D(2024, 7, 4)));
    EXPECT_TRUE(set.Contains(D(2024, 12, 25)));
    EXPECT_FALSE(set.Contains(D(2024, 7, 5)));
}

TEST_F(TableStoreTest, ReDatingPassOverTheTable) {
    TableScheduleStore store;
    store.BeginBatch();
    for (int i = 0; i < 1200; ++i) {
        Schedule s = Custom(1, "day(s)", D(2024, 1, 1) + i % 30, T(9, 0));
        if (i % 100 == 0) s.ScheduleType = "Once";
        AddScheduleCopy(store, s);
    }
    store.EndBatch();
    ReDater pass(store, D(2024, 7, 2), T(10, 0));
    int chunks = 0;
    while (pass.Step(250)) ++chunks;
    EXPECT_EQ(pass.state(), ReDater::State::Finished);
    EXPECT_EQ(pass.done(), 1200);
    EXPECT_EQ(pass.changed(), 1188);
    EXPECT_GE(chunks, 4);
    Schedule s;
    ASSERT_EQ(store.Fetch(2, s), kNoError);
    EXPECT_EQ(s.Date, D(2024, 7, 3));
    ASSERT_EQ(store.Fetch(1, s), kNoError);  // a one-off task keeps its date
    EXPECT_EQ(s.Date, D(2024, 1, 1));
    EXPECT_EQ(s.Completed, 0);
}

}  // namespace
}  // namespace kr
