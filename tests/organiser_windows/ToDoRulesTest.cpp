// The to-do rules: the toggle's stamps, the defaults of a new item and the
// original number over a real data file (highest + 1, never a number in use).
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "dictionary/Dictionary.h"
#include "organiser/ToDoRules.h"
#include "platform/data/Table.h"

namespace kr {
namespace {

TEST(ToDoRulesTest, ToggleStampsOnlyWhenTheItemBecomesDone) {
    Todo t;
    ToggleTodoDone(t, 1000, 500);
    EXPECT_EQ(t.Done, 1);
    EXPECT_EQ(t.CompletionDate, 1000);
    EXPECT_EQ(t.CompletionTime, 500);
    ToggleTodoDone(t, 1001, 600);  // taken back: the completion stays
    EXPECT_EQ(t.Done, 0);
    EXPECT_EQ(t.CompletionDate, 1000);
    EXPECT_EQ(t.CompletionTime, 500);

    // The form's box on an item already done when it opened keeps its date.
    TodoDoneTicked(t, true, 2000, 700);
    EXPECT_EQ(t.CompletionDate, 1000);
    TodoDoneTicked(t, false, 2000, 700);
    EXPECT_EQ(t.CompletionDate, 2000);
}

TEST(ToDoRulesTest, DefaultsTakeThePickedCategoryElseGeneral) {
    Todo t;
    Categories cat;
    ApplyTodoDefaults(t, cat, true);
    EXPECT_EQ(cat.Category, "General");
    EXPECT_EQ(t.Category, "General");
    EXPECT_EQ(t.Priority, 5);

    Todo u;
    cat.Category = "Work";
    ApplyTodoDefaults(u, cat, true);
    EXPECT_EQ(u.Category, "Work");

    // An edit keeps its own category and priority; a blank one is "General".
    Todo e;
    e.Priority = 9;
    ApplyTodoDefaults(e, cat, false);
    EXPECT_EQ(e.Category, "General");
    EXPECT_EQ(e.Priority, 9);
}

// A fresh folder, the current one for the test's life.
struct Folder {
    Folder() {
        char tmpl[] = "/tmp/kr_todo_XXXXXX";
        path = mkdtemp(tmpl);
        old = std::filesystem::current_path();
        std::filesystem::current_path(path);
    }
    ~Folder() {
        std::filesystem::current_path(old);
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path path, old;
};

class ToDoTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        data::SetKeyDerivationIterations(64);
        DictionaryInit();
        ASSERT_EQ(todo().Create(), 0);
        ASSERT_EQ(todo().Open(), 0);
    }
    void TearDown() override {
        todo().Close();
        DictionaryKill();
        data::CloseIdleFiles();
        data::SetKeyDerivationIterations(0);
    }
    static data::Table& todo() { return data::TableOf(TodoDef()); }
    void Add(const std::string& what, int32_t id) {
        todo().Clear();
        todo().Rec<Todo>().ToDo = what;
        todo().Rec<Todo>().OriginalID = id;
        ASSERT_EQ(todo().Add(), 0);
    }
    Folder folder_;
};

TEST_F(ToDoTableTest, OriginalNumberIsOneMoreThanTheHighestEvenAfterADeletion) {
    EXPECT_EQ(NextTodoOriginalID(todo()), 1);  // the first item gets 1, not 0
    Add("a", 1);
    Add("b", 2);
    Add("c", 3);
    // Deleting "a" left two rows: counting them would hand out 2 again.
    todo().ForEachMatch(TodoDef().key("TDO:KeyToDo"), {TodoDef().field("TDO:ToDo")}, {Value("a")},
                        [](int64_t row, const void*) {
                            EXPECT_EQ(todo().DeleteRow(row), 0);
                            return false;
                        });
    EXPECT_EQ(NextTodoOriginalID(todo()), 4);

    // A save stamps the user and the moment; a number once given is kept.
    Todo t;
    StampTodoForSave(t, "ann", 100, 200, todo());
    EXPECT_EQ(t.OriginalID, 4);
    EXPECT_EQ(t.NetworkUser, "ann");
    EXPECT_EQ(t.LastChangeDate, 100);
    EXPECT_EQ(t.LastChangeTime, 200);
    Add("d", 10);
    StampTodoForSave(t, "ann", 101, 201, todo());
    EXPECT_EQ(t.OriginalID, 4);
}

}  // namespace
}  // namespace kr
