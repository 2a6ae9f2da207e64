// Over a real data file: the two item inserts and the moves of a task's
// items, which keep the set of numbers and never touch another task; the
// same for a template's items.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Services.h"
#include "platform/data/Database.h"
#include "platform/data/TableImpl.h"
#include "scriptedit/ScriptCopy.h"
#include "scriptedit/ScriptSequencer.h"
#include "scriptedit/ScriptTemplates.h"

namespace kr {
namespace {

using data::kLevelBenign;

class ScriptSequencerTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/kr-seq-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        data::SetKeyDerivationIterations(64);
        DictionaryInit();
        ASSERT_EQ(Scripting_File().Open(), kLevelBenign);
    }
    void TearDown() override {
        Scripting_File().Close();
        DictionaryKill();
        data::CloseIdleFiles();
        data::SetKeyDerivationIterations(0);
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    void Add(int32_t task, std::initializer_list<int32_t> numbers) {
        for (int32_t n : numbers) {
            Scripting s;
            s.ID = task;
            s.Sequence = n;
            s.Action = "item " + std::to_string(n);
            ASSERT_EQ(InsertScriptItemAt(s), 0);
        }
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
    using V = std::vector<std::string>;
    void AddMany(int32_t task, int n) {
        ASSERT_EQ(Scripting_File().UseFile(), 0);
        ASSERT_EQ(data::Logout({&Scripting_File().File()}), 0);
        for (int i = 1; i <= n; ++i) Add(task, {i});
        ASSERT_EQ(data::Commit(), 0);
    }
    // A trigger on the data file's connection that makes one write fail.
    static void FailOn(const std::string& when, const std::string& condition) {
        ASSERT_EQ(Scripting_File().UseFile(), 0);
        auto db = Scripting_File().File().impl().database();
        ASSERT_TRUE(db);
        const std::string stored = ScriptingDef().storedAs;
        const std::string table = stored.substr(stored.find("\\!") + 2);
        ASSERT_EQ(db->Exec("CREATE TEMP TRIGGER fail_" + when + " BEFORE " + when + " ON main.\"" + table +
                           "\" WHEN " + condition + " BEGIN SELECT RAISE(ABORT, 'injected failure'); END"),
                  0);
    }
    ScriptedResponder responder_;
    ScopedMessageService messages_{&responder_};
    std::filesystem::path dir_, previous_;
    ScriptSequencer seq_;
};

TEST_F(ScriptSequencerTest, NumberedInsertGoesLastAndExplicitInsertRefusesATakenNumber) {
    Add(7, {1, 2, 5});
    Add(8, {40});
    Scripting s;
    s.ID = 7;
    s.Sequence = 99;  // ignored: numbered one above the task's highest
    s.Action = "new";
    ASSERT_EQ(InsertScriptItemNumbered(s), 0);
    EXPECT_EQ(s.Sequence, 6);
    Scripting first;
    first.ID = 9;
    ASSERT_EQ(InsertScriptItemNumbered(first), 0);
    EXPECT_EQ(first.Sequence, 1);
    Scripting dup;
    dup.ID = 7;
    dup.Sequence = 5;
    dup.Action = "dup";
    EXPECT_EQ(InsertScriptItemAt(dup), kDuplicateKey);
    EXPECT_EQ(Items(7), (V{"1:item 1", "2:item 2", "5:item 5", "6:new"}));
}

TEST_F(ScriptSequencerTest, MovesKeepTheNumbersAndTheirGaps) {
    Add(1, {1, 2, 5, 7});
    Add(2, {1, 2});
    EXPECT_EQ(seq_.MoveToTop(1, 7), 1);
    EXPECT_EQ(Items(1), (V{"1:item 7", "2:item 1", "5:item 2", "7:item 5"}));
    EXPECT_EQ(seq_.MoveToBottom(1, 1), 7);
    EXPECT_EQ(Items(1), (V{"1:item 1", "2:item 2", "5:item 5", "7:item 7"}));
    EXPECT_EQ(seq_.MoveUp(1, 5), 2);
    EXPECT_EQ(seq_.MoveDown(1, 1), 2);
    EXPECT_EQ(Items(1), (V{"1:item 5", "2:item 1", "5:item 2", "7:item 7"}));
    EXPECT_EQ(Items(2), (V{"1:item 1", "2:item 2"}));
    EXPECT_TRUE(responder_.shown().empty());
}

TEST_F(ScriptSequencerTest, ATemplatesItemsMoveAmongThemselvesOnly) {
    // Template 1 and task 1 share their numbers; only the template's move.
    ASSERT_EQ(ScriptTemplateDetails_File().Open(), kLevelBenign);
    Add(1, {1, 2, 3});
    for (const char* a : {"a", "b", "c", "d"}) {
        ScriptTemplateDetails d;
        d.Wiz_ID = 1;
        d.Action = a;
        ASSERT_EQ(InsertTemplateItemNumbered(d), 0);
    }
    ScriptTemplateDetails other;
    other.Wiz_ID = 2;
    other.Action = "x";
    ASSERT_EQ(InsertTemplateItemNumbered(other), 0);
    EXPECT_EQ(other.Sequence, 1);
    auto shown = [](int32_t wiz) {
        std::string out;
        for (const ScriptTemplateDetails& d : ReadTemplateItems(wiz))
            out += std::to_string(d.Sequence) + d.Action.str() + " ";
        return out;
    };
    ScriptSequencer seq(ScriptOwner::Template);
    EXPECT_EQ(seq.MoveToTop(1, 4), 1);
    EXPECT_EQ(seq.MoveDown(1, 2), 3);
    EXPECT_EQ(shown(1), "1d 2b 3a 4c ");
    seq.insertAfter = 1;
    EXPECT_EQ(seq.MoveAfter(1, 4), 2);
    EXPECT_EQ(shown(1), "1d 2c 3b 4a ");
    // The gap a deleted item leaves is closed.
    ASSERT_EQ(DeleteScriptTemplateDetails(2), 0);
    ScriptTemplateDetailsFileManager& f = ScriptTemplateDetails_File();
    f.rec().Wiz_ID = 1;
    f.rec().Sequence = 2;
    ASSERT_EQ(f.Fetch("KRD:K_Wiz_ID"), kLevelBenign);
    ASSERT_EQ(f.Delete(), kLevelBenign);
    seq.renumberStart = 2;
    seq.Renumber(1);
    EXPECT_EQ(shown(1), "1d 2b 3a ");
    EXPECT_EQ(ScriptItemNumbers(1, ScriptOwner::Template), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(Items(1), (V{"1:item 1", "2:item 2", "3:item 3"}));
    EXPECT_TRUE(responder_.shown().empty());
    ScriptTemplateDetails_File().Close();
}

TEST_F(ScriptSequencerTest, TheEndsDoNotMove) {
    Add(1, {1, 2, 3});
    EXPECT_EQ(seq_.MoveUp(1, 1), 1);
    EXPECT_EQ(seq_.MoveToTop(1, 1), 1);
    EXPECT_EQ(seq_.MoveDown(1, 3), 3);
    EXPECT_EQ(seq_.MoveToBottom(1, 3), 3);
    EXPECT_EQ(seq_.MoveUp(1, 42), 42);  // no such item
    EXPECT_EQ(Items(1), (V{"1:item 1", "2:item 2", "3:item 3"}));
}

TEST_F(ScriptSequencerTest, ANewItemLandsAfterTheHighlightedOne) {
    Add(1, {1, 2, 3, 4, 5});
    Scripting s;
    s.ID = 1;
    s.Action = "new";
    ASSERT_EQ(InsertScriptItemNumbered(s), 0);
    seq_.insertAfter = 2;
    EXPECT_EQ(seq_.MoveAfter(1, s.Sequence), 3);
    EXPECT_EQ(seq_.insertAfter, 0);
    EXPECT_EQ(Items(1), (V{"1:item 1", "2:item 2", "3:new", "4:item 3", "5:item 4", "6:item 5"}));
    // Highlighting the last item, or nothing, leaves a new item last.
    Scripting t;
    t.ID = 1;
    t.Action = "last";
    ASSERT_EQ(InsertScriptItemNumbered(t), 0);
    seq_.insertAfter = 6;
    EXPECT_EQ(seq_.MoveAfter(1, t.Sequence), 7);
    EXPECT_EQ(seq_.MoveAfter(1, t.Sequence), 7);
}

TEST_F(ScriptSequencerTest, RenumberClosesTheGapsAfterADeletedItemOnly) {
    Add(1, {1, 3, 5, 9});  // 2 was deleted; the gap before it stays
    Add(2, {1});
    seq_.renumberStart = 2;
    seq_.Renumber(1);
    EXPECT_EQ(seq_.renumberStart, 0);
    EXPECT_EQ(Items(1), (V{"1:item 1", "2:item 3", "3:item 5", "4:item 9"}));
    seq_.Renumber(1);  // start 0: nothing
    EXPECT_EQ(Items(2), (V{"1:item 1"}));
}

TEST_F(ScriptSequencerTest, AMoveToTheTopOfALongScriptIsOneTransaction) {
    const int n = 2000;
    AddMany(3, n);
    EXPECT_EQ(seq_.MoveToTop(3, n), 1);
    const std::vector<std::string> items = Items(3);
    ASSERT_EQ(items.size(), static_cast<size_t>(n));
    EXPECT_EQ(items.front(), "1:item 2000");
    EXPECT_EQ(items.back(), "2000:item 1999");
}

TEST_F(ScriptSequencerTest, LongScriptCopyReportsAFailedItemAndGoesOnWhileOtherWritesCommit) {
    AddMany(1, 1000);
    // Item 500 can be stored under no number of the target task (a failure
    // other than a taken number, which the copy steps past).
    Scripting_File().rec() = Scripting();
    Scripting_File().rec().ID = 1;
    Scripting_File().rec().Sequence = 500;
    ASSERT_EQ(Scripting_File().TryFetch(ScriptingDef().key("SCR:KeyID")), kLevelBenign);
    Scripting_File().rec().Action = "poison";
    ASSERT_EQ(Scripting_File().File().Put(), 0);
    FailOn("INSERT", "new.ID = 2 AND new.Action = 'poison'");
    auto p = MakeCopyScript(1, 2);
    std::vector<std::string> errors;
    p->onError = [&](const std::string& e) { errors.push_back(e); };
    int batches = 0;
    while (p->Step(25)) {
        // Between two batches no transaction is held: a write of the
        // scheduler's own (another task's item) commits at once.
        if (++batches == 10) {
            EXPECT_FALSE(data::InTransaction());
            Add(3, {1});
        }
    }
    EXPECT_EQ(p->state(), ProcessState::Finished);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Error adding script record:"), std::string::npos);
    // The items after it are copied, in their order and under their own
    // numbers: the failure took no number, so nothing moved past it.
    const std::vector<std::string> copied = Items(2);
    ASSERT_EQ(copied.size(), 999u);
    EXPECT_EQ(copied[498], "499:item 499");
    EXPECT_EQ(copied[499], "501:item 501");
    EXPECT_EQ(copied.back(), "1000:item 1000");
    EXPECT_EQ(ScriptItemNumbers(3).size(), 1u);
}

TEST_F(ScriptSequencerTest, LongScriptDeleteStopsAtAFailedItemKeepingWhatWasDone) {
    AddMany(1, 1000);
    AddMany(2, 3);
    FailOn("DELETE", "old.ID = 1 AND old.Sequence = 500");
    auto p = MakeDeleteScript(1);
    std::vector<std::string> errors;
    p->onError = [&](const std::string& e) { errors.push_back(e); };
    while (p->Step(25)) {
    }
    EXPECT_EQ(p->state(), ProcessState::Failed);
    ASSERT_EQ(errors.size(), 1u);
    const std::vector<int32_t> left = ScriptItemNumbers(1);
    ASSERT_EQ(left.size(), 501u);
    EXPECT_EQ(left.front(), 500);
    EXPECT_EQ(ScriptItemNumbers(2).size(), 3u);
}

TEST_F(ScriptSequencerTest, RenumberReportsAFailedItemAndGoesOn) {
    Add(1, {1, 3, 5, 7});
    FailOn("UPDATE", "old.ID = 1 AND old.Sequence = 5");
    seq_.renumberStart = 2;
    seq_.Renumber(1);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "Error!");
    EXPECT_EQ(responder_.shown()[0].request.text.rfind("Record swap error: ", 0), 0u);
    EXPECT_NE(responder_.shown()[0].request.text.find("Section = Put Upd Seq"), std::string::npos);
    EXPECT_EQ(ScriptItemNumbers(1), (std::vector<int32_t>{1, 2, 4, 5}));
}

}  // namespace
}  // namespace kr
