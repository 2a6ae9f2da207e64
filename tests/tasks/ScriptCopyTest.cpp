// Over a real data file: the whole-script copy and delete, and the ID
// reservation of a new task (placeholder stored disabled, a copy primed with
// its source's ID, a cancelled insert leaving nothing behind).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "dictionary/Dictionary.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/runtime/Services.h"
#include "scriptedit/ScriptCopy.h"
#include "tasks/TaskReservation.h"

namespace kr {
namespace {

using data::kLevelBenign;

class ScriptCopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/kr-tasks-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        data::SetKeyDerivationIterations(64);
        DictionaryInit();
        ASSERT_EQ(Scripting_File().Open(), kLevelBenign);
        ASSERT_EQ(Schedule_File().Open(), kLevelBenign);
    }
    void TearDown() override {
        Schedule_File().Close();
        Scripting_File().Close();
        DictionaryKill();
        data::CloseIdleFiles();
        data::SetKeyDerivationIterations(0);
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    void AddItem(int32_t task, int32_t seq, const char* action) {
        ASSERT_EQ(Scripting_File().UseFile(), 0);
        Scripting_File().rec() = Scripting();
        Scripting_File().rec().ID = task;
        Scripting_File().rec().Sequence = seq;
        Scripting_File().rec().Action = action;
        ASSERT_EQ(Scripting_File().File().Add(), 0);
    }
    // "sequence:action" of the task's items in order.
    std::vector<std::string> Items(int32_t task) {
        std::vector<std::string> out;
        data::TableOf(ScriptingDef())
            .ForEachMatch(ScriptingDef().key("SCR:KeyID"), {ScriptingDef().field("SCR:ID")}, {Value(task)},
                          [&](int64_t, const void* r) {
                              auto* s = static_cast<const Scripting*>(r);
                              out.push_back(std::to_string(s->Sequence) + ":" + s->Action.str());
                              return true;
                          });
        return out;
    }
    int64_t Tasks() { return Schedule_File().Records(); }

    ScriptedResponder responder_;
    ScopedMessageService messages_{&responder_};
    std::filesystem::path dir_, previous_;
};

TEST_F(ScriptCopyTest, CopyKeepsOrderPastTakenSequencesAndLeavesTheSourceAlone) {
    AddItem(1, 1, "Send Keys");
    AddItem(1, 2, "Wait");
    AddItem(1, 3, "Set Focus");
    AddItem(2, 1, "Old one");
    AddItem(2, 2, "Old two");
    Scripting_File().rec().Action = "buffer";
    EXPECT_EQ(CopyScript(1, 2), ProcessState::Finished);
    EXPECT_EQ(Items(2), (std::vector<std::string>{"1:Old one", "2:Old two", "3:Send Keys", "4:Wait", "5:Set Focus"}));
    EXPECT_EQ(Items(1).size(), 3u);
    EXPECT_EQ(Scripting_File().rec().Action, "buffer");  // the caller's buffer is kept
    EXPECT_TRUE(responder_.shown().empty());

    // To itself, or with a 0 ID, nothing changes.
    CopyScript(1, 1);
    CopyScript(0, 2);
    CopyScript(1, 0);
    EXPECT_EQ(Items(1).size(), 3u);
    EXPECT_EQ(Items(2).size(), 5u);
}

TEST_F(ScriptCopyTest, CopyRunsInBatchesThatEachCommit) {
    for (int i = 1; i <= 60; ++i) AddItem(7, i, "Wait");
    auto p = MakeCopyScript(7, 8);
    p->SetBatchSize(25);
    EXPECT_TRUE(p->Step(25));
    EXPECT_FALSE(data::InTransaction());  // nothing held between batches
    EXPECT_EQ(Items(8).size(), 25u);
    while (p->Step(25)) {}
    EXPECT_EQ(p->state(), ProcessState::Finished);
    EXPECT_EQ(Items(8).size(), 60u);
}

TEST_F(ScriptCopyTest, DeleteRemovesOnlyTheTasksItems) {
    AddItem(3, 1, "Wait");
    AddItem(3, 2, "Wait");
    AddItem(4, 1, "Wait");
    EXPECT_EQ(DeleteScript(3), ProcessState::Finished);
    EXPECT_TRUE(Items(3).empty());
    EXPECT_EQ(Items(4).size(), 1u);
    EXPECT_EQ(DeleteScript(3), ProcessState::Finished);  // nothing left: done at once
    EXPECT_EQ(DeleteScript(0), ProcessState::Finished);
    EXPECT_EQ(Items(4).size(), 1u);
}

// The new task's number on a data file another file has replaced: the one
// message is the file manager's, which names the replacement; no "Internal
// Error" box follows it.
TEST_F(ScriptCopyTest, AReservationOnAReplacedDataFileGivesOneMessageNamingIt) {
    Schedule& SCH = Schedule_File().rec();
    SCH = Schedule();
    const int32_t first = tasks::ReserveTaskID();
    ASSERT_NE(first, 0);
    tasks::ReleaseReservedTask(first);
    std::filesystem::copy_file("KR97.TPS", "KR97.new");
    ASSERT_EQ(::rename("KR97.new", "KR97.TPS"), 0);
    ScriptedResponder responder;
    ScopedMessageService service{&responder};
    SCH = Schedule();
    EXPECT_EQ(tasks::ReserveTaskID(), 0);
    ASSERT_EQ(responder.shown().size(), 1u);
    EXPECT_EQ(responder.shown()[0].request.title, "Data File Replaced");
    EXPECT_NE(responder.shown()[0].request.text.find((dir_ / "KR97.TPS").string()), std::string::npos)
        << responder.shown()[0].request.text;
}

TEST_F(ScriptCopyTest, ReservationStoresADisabledPlaceholderAndCancelLeavesNothing) {
    Schedule& SCH = Schedule_File().rec();
    SCH = Schedule();
    SCH.Description = "new";
    const int32_t id = tasks::ReserveTaskID();
    ASSERT_NE(id, 0);
    EXPECT_EQ(SCH.ID, id);
    EXPECT_EQ(SCH.Disabled, 0);
    EXPECT_EQ(Tasks(), 1);
    Schedule stored;
    data::TableOf(ScheduleDef()).ForEachMatch(ScheduleDef().key("SCH:KeyID"), {ScheduleDef().field("SCH:ID")},
                                              {Value(id)}, [&](int64_t, const void* r) {
                                                  stored = *static_cast<const Schedule*>(r);
                                                  return true;
                                              });
    EXPECT_EQ(stored.Disabled, 1);
    AddItem(id, 1, "Wait");
    tasks::ReleaseReservedTask(id);
    EXPECT_EQ(Tasks(), 0);
    EXPECT_TRUE(Items(id).empty());
}

TEST_F(ScriptCopyTest, ACopyArrivingWithItsSourcesIDGetsANewOneAndTheScript) {
    Schedule& SCH = Schedule_File().rec();
    SCH = Schedule();
    SCH.Description = "source";
    ASSERT_EQ(Schedule_File().Insert(), kLevelBenign);
    const int32_t source = SCH.ID;
    for (int i = 1; i <= 3; ++i) AddItem(source, i, "Wait");
    // The list primes the form with the highlighted record, ID and all.
    const int32_t id = tasks::ReserveTaskID(source);
    ASSERT_NE(id, 0);
    EXPECT_NE(id, source);
    EXPECT_EQ(CopyScript(source, id), ProcessState::Finished);
    EXPECT_EQ(Items(id).size(), 3u);
    EXPECT_EQ(Items(source).size(), 3u);
}

}  // namespace
}  // namespace kr
