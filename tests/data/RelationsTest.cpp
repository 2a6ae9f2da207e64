// Relations across three tables: Category -> Task -> Step, with restrict and
// cascade on update and delete, each change in one transaction.
#include "DataFixture.h"
#include "platform/data/FileManager.h"
#include "platform/runtime/ErrorCodes.h"

namespace kr::test {
namespace {

class RelationsTest : public DataTest {
protected:
    void SetUp() override {
        DataTest::SetUp();
        for (const TableDef* d : {&CategoryDef(), &TaskDef(), &StepDef()}) T(*d);
        catFile.Init(CategoryDef(), &errors);
        taskFile.Init(TaskDef(), &errors);
        stepFile.Init(StepDef(), &errors);
        taskFile.AddKey("TSK:KeyID", "ID", true);
        stepFile.AddKey("STP:KeySeq", "Sequence", true);
        cat.Init(&catFile);
        task.Init(&taskFile);
        step.Init(&stepFile);
    }
    void TearDown() override {
        for (RelationManager* r : {&cat, &task, &step}) r->Shutdown();
        for (FileManager* f : {static_cast<FileManager*>(&catFile), static_cast<FileManager*>(&taskFile),
                               static_cast<FileManager*>(&stepFile)})
            f->Shutdown();
        DataTest::TearDown();
    }
    void Relate(int catUpdate, int catDelete, int taskUpdate, int taskDelete) {
        cat.AddRelation(&task, catUpdate, catDelete, "TSK:KeyCategory");
        cat.AddRelationLink("CAT:Name", "TSK:Category");
        task.AddRelationFile(&cat);
        task.AddRelation(&step, taskUpdate, taskDelete, "STP:KeySeq");
        task.AddRelationLink("TSK:ID", "STP:TaskID");
        step.AddRelationFile(&task);
        ASSERT_EQ(cat.Open(), kLevelBenign);
    }
    // Two categories; "Home" has tasks 1 (two steps) and 2 (one step),
    // "Work" task 3 (one step).
    void Fill() {
        for (const char* c : {"Home", "Work"}) {
            catFile.PrimeRecord();
            catFile.rec().Name = c;
            ASSERT_EQ(catFile.Insert(), kLevelBenign) << LastErrorDisplay() << " " << responder.shown().size();
        }
        const char* cats[] = {"Home", "Home", "Work"};
        int steps[] = {2, 1, 1};
        for (int t = 0; t < 3; ++t) {
            taskFile.PrimeRecord();
            taskFile.rec().Category = cats[t];
            taskFile.rec().Title = "task" + std::to_string(t + 1);
            ASSERT_EQ(taskFile.Insert(), kLevelBenign);
            int id = taskFile.rec().ID;
            for (int s = 0; s < steps[t]; ++s) {
                // Numbered within the task: the task comes first.
                stepFile.File().Clear();
                stepFile.rec().TaskID = id;
                stepFile.PrimeRecord(true);
                stepFile.rec().Action = "do";
                ASSERT_EQ(stepFile.Insert(), kLevelBenign);
            }
        }
    }
    int Count(FileManager& f) { return static_cast<int>(f.Records()); }
    bool FetchCat(const char* name) {
        catFile.rec().Name = name;
        return catFile.Fetch("CAT:KeyName") == kLevelBenign;
    }
    bool FetchTask(int id) {
        taskFile.rec().ID = id;
        return taskFile.Fetch("TSK:KeyID") == kLevelBenign;
    }
    int StepsOf(int id) {
        int n = 0;
        stepFile.File().ForEachMatch(StepDef().key("STP:KeySeq"), {StepDef().field("STP:TaskID")}, {Value(id)},
                                     [&](int64_t, const void*) {
                                         ++n;
                                         return true;
                                     });
        return n;
    }

    ScriptedResponder responder;
    ScopedMessageService service{&responder};
    ErrorHandler errors;
    FileManagerT<Category> catFile;
    FileManagerT<Task> taskFile;
    FileManagerT<Step> stepFile;
    RelationManager cat, task, step;
};

TEST_F(RelationsTest, DeleteCascadesToChildrenAndRestrictRefuses) {
    Relate(kRICascade, kRIRestrict, kRICascade, kRICascade);
    Fill();
    ASSERT_TRUE(FetchTask(1));
    ASSERT_EQ(task.Delete(false), kLevelBenign);
    EXPECT_EQ(Count(taskFile), 2);
    EXPECT_EQ(StepsOf(1), 0);
    EXPECT_EQ(StepsOf(2), 1);
    EXPECT_EQ(Count(stepFile), 2);

    // "Work" still has a task: the delete is refused, naming the child.
    ASSERT_TRUE(FetchCat("Work"));
    responder.Answer(kButtonOk);  // the confirmation
    EXPECT_EQ(cat.Delete(true), kLevelNotify);
    ASSERT_EQ(responder.shown().size(), 2u);
    EXPECT_EQ(responder.shown()[0].request.title, "Confirm Delete");
    EXPECT_EQ(responder.shown()[1].request.title, "Referential Integrity Delete Error");
    EXPECT_EQ(responder.shown()[1].request.text,
              "This record is referenced from the file Tasks [Task].  This record cannot be deleted while these "
              "references exist.");
    EXPECT_EQ(Count(catFile), 2);
    // Cancelling the confirmation deletes nothing.
    responder.Answer(kButtonCancel);
    EXPECT_EQ(cat.Delete(true), kLevelCancel);
    EXPECT_EQ(Count(catFile), 2);
}

TEST_F(RelationsTest, UpdateCascadesAcrossTheChain) {
    Relate(kRICascade, kRIRestrict, kRICascade, kRICascade);
    Fill();
    ASSERT_TRUE(FetchCat("Home"));
    catFile.rec().Name = "House";
    ASSERT_EQ(cat.Update(), kLevelBenign);
    EXPECT_FALSE(FetchCat("Home"));
    EXPECT_TRUE(FetchCat("House"));
    ASSERT_TRUE(FetchTask(2));
    EXPECT_EQ(taskFile.rec().Category.str(), "House");
    // A task renumbered takes its steps along.
    ASSERT_TRUE(FetchTask(1));
    taskFile.rec().ID = 10;
    ASSERT_EQ(task.Update(), kLevelBenign);
    EXPECT_EQ(StepsOf(1), 0);
    EXPECT_EQ(StepsOf(10), 2);
}

TEST_F(RelationsTest, RestrictedUpdateRestoresTheLinkingFields) {
    Relate(kRIRestrict, kRIRestrict, kRINone, kRINone);
    Fill();
    ASSERT_TRUE(FetchCat("Home"));
    catFile.rec().Name = "House";
    EXPECT_EQ(cat.Update(), kLevelNotify);
    EXPECT_EQ(catFile.rec().Name.str(), "Home");
    ASSERT_FALSE(responder.shown().empty());
    EXPECT_EQ(responder.shown().back().request.title, "Referential Integrity Update Error");
    EXPECT_TRUE(FetchCat("Home"));
    // A category no task uses can be renamed and deleted.
    catFile.PrimeRecord();
    catFile.rec().Name = "Spare";
    ASSERT_EQ(catFile.Insert(), kLevelBenign);
    catFile.rec().Name = "Extra";
    EXPECT_EQ(cat.Update(), kLevelBenign);
    EXPECT_EQ(cat.Delete(false), kLevelBenign);
    EXPECT_EQ(Count(catFile), 2);
}

TEST_F(RelationsTest, RestrictionDeepInTheChainLeavesEveryTableAsItWas) {
    // Deleting a category cascades to its tasks, but a task with steps may
    // not be deleted: nothing of the category, its tasks or steps goes.
    Relate(kRINone, kRICascade, kRINone, kRIRestrict);
    Fill();
    ASSERT_TRUE(FetchCat("Home"));
    EXPECT_EQ(cat.TryDelete(), kLevelNotify);
    EXPECT_EQ(Count(catFile), 2);
    EXPECT_EQ(Count(taskFile), 3);
    EXPECT_EQ(Count(stepFile), 4);
    EXPECT_TRUE(responder.shown().empty());
    // Without steps, the delete goes through all the way.
    stepFile.File().Set(nullptr);
    while (stepFile.File().Next() == 0) stepFile.File().Delete();
    ASSERT_TRUE(FetchCat("Home"));
    ASSERT_EQ(cat.TryDelete(), kLevelBenign);
    EXPECT_EQ(Count(catFile), 1);
    EXPECT_EQ(Count(taskFile), 1);
}

TEST_F(RelationsTest, NoneLeavesChildrenAlone) {
    Relate(kRINone, kRINone, kRINone, kRINone);
    Fill();
    ASSERT_TRUE(FetchCat("Home"));
    catFile.rec().Name = "House";
    ASSERT_EQ(cat.Update(), kLevelBenign);
    ASSERT_EQ(cat.Delete(false), kLevelBenign);
    EXPECT_EQ(Count(taskFile), 3);
    ASSERT_TRUE(FetchTask(1));
    EXPECT_EQ(taskFile.rec().Category.str(), "Home");
}

}  // namespace
}  // namespace kr::test
