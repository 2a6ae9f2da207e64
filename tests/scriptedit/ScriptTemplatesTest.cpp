// A template copied to the end of a task over a real data file, its tokens
// answered by a scripted asker; a template's items deleted.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/Services.h"
#include "scriptedit/ScriptTemplates.h"
#include "scriptedit/ScriptText.h"

namespace kr {
namespace {

class ScriptTemplatesTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/kr-tpl-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        data::SetKeyDerivationIterations(64);
        DictionaryInit();
        ASSERT_EQ(Scripting_File().Open(), data::kLevelBenign);
        ASSERT_EQ(ScriptTemplateDetails_File().Open(), data::kLevelBenign);
        ASSERT_TRUE(ReplaceScriptItems(5, ParseScriptText("EXIT\nEXIT\nEXIT\n", 5).items).empty());
        AddTemplateItem(1, "Send Keys", [](ScriptTemplateDetails& d) { d.Keystrokes = "Hi [?Name][ENTER]"; });
        AddTemplateItem(2, "", [](ScriptTemplateDetails&) {});
        AddTemplateItem(3, "Start Program", [](ScriptTemplateDetails& d) {
            d.Command = "[?FILE Program]";
            d.DDEApplicationName = "0210";
        });
        AddTemplateItem(4, "Set Value", [](ScriptTemplateDetails& d) {
            d.Path = "WHO";
            d.Command = "[?]";
        });
    }
    void TearDown() override {
        ScriptTemplateDetails_File().Close();
        Scripting_File().Close();
        DictionaryKill();
        data::CloseIdleFiles();
        data::SetKeyDerivationIterations(0);
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    void AddTemplateItem(int32_t seq, const char* action, const std::function<void(ScriptTemplateDetails&)>& fill) {
        ScriptTemplateDetails d;
        d.Wiz_ID = 9;
        d.Sequence = seq;
        d.Action = action;
        fill(d);
        ASSERT_EQ(ScriptTemplateDetails_File().UseFile(), 0);
        ScriptTemplateDetails_File().rec() = d;
        ASSERT_EQ(ScriptTemplateDetails_File().File().Add(), 0);
    }
    std::filesystem::path previous_, dir_;
    ScriptedResponder responder_;
    ScopedMessageService messages_{&responder_};
    std::vector<std::string> replies_;
    int asked_ = 0;
    TemplateAsker asker_ = [this](TemplateAskKind, const std::string&, const std::string&) -> std::optional<std::string> {
        ++asked_;
        if (replies_.empty()) return std::nullopt;
        std::string r = replies_.front();
        replies_.erase(replies_.begin());
        return r;
    };
};

TEST_F(ScriptTemplatesTest, CopiedAfterTheLastItemWithItsTokensAnswered) {
    TemplateAnswers::Global().Clear();
    InstallTemplateAsker(asker_);
    replies_ = {"Joe", "/usr/bin/gedit"};
    EXPECT_EQ(CopyScriptTemplateToScript(9, 5), 3);
    InstallTemplateAsker({});
    const std::vector<Scripting> items = ReadScriptItems(5);
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[3].Sequence, 4);
    EXPECT_EQ(items[3].Keystrokes, "Hi Joe[ENTER]");
    EXPECT_EQ(items[4].Command, "/usr/bin/gedit");
    EXPECT_EQ(items[4].Path, "/usr/bin");  // the command's folder
    EXPECT_EQ(items[5].Command, "/usr/bin/gedit");  // [?]: the most recent answer
    EXPECT_EQ(items[5].Sequence, 6);
    EXPECT_TRUE(responder_.shown().empty());
}

TEST_F(ScriptTemplatesTest, CancelKeepsTheItemInHandAndStopsAndAnswersAreReused) {
    TemplateAnswers answers;
    replies_ = {"Joe"};  // the file window is then cancelled
    bool cancelled = false;
    const std::vector<Scripting> items =
        ExpandTemplateItems(ReadTemplateItems(9), 5, answers, asker_, &cancelled);
    EXPECT_TRUE(cancelled);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1].Command, "[?FILE Program]");
    EXPECT_EQ(items[1].Path, "");  // not expanded: no folder either
    // The free token is answered from the list the next time.
    replies_ = {"/bin/ls"};
    const std::vector<Scripting> again = ExpandTemplateItems(ReadTemplateItems(9), 5, answers, asker_);
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[0].Keystrokes, "Hi Joe[ENTER]");
    EXPECT_EQ(again[1].Path, "/bin");
    EXPECT_EQ(asked_, 3);
}

TEST_F(ScriptTemplatesTest, AppendedAfterTheLastItemAndTemplateItemsDeleted) {
    std::vector<Scripting> items = ParseScriptText("EXIT\nEXIT\n", 5).items;
    const std::vector<std::string> errors = AppendScriptItems(5, items);
    EXPECT_TRUE(errors.empty());
    std::vector<Scripting> all = ReadScriptItems(5);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all.back().Sequence, 5);

    EXPECT_EQ(DeleteScriptTemplateDetails(9), 0);
    EXPECT_TRUE(ReadTemplateItems(9).empty());
    EXPECT_EQ(DeleteScriptTemplateDetails(0), 0);
}

}  // namespace
}  // namespace kr
