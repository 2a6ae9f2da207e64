// Template tokens expanded with a scripted asker in place of the windows.
#include <gtest/gtest.h>

#include "scriptedit/TemplateTokens.h"

namespace kr {
namespace {

struct Asked {
    TemplateAskKind kind;
    std::string prompt;
    std::string prefill;
};

class TemplateTokensTest : public ::testing::Test {
protected:
    // Answers from the queue; an empty queue cancels.
    TemplateAsker asker = [this](TemplateAskKind k, const std::string& p, const std::string& f) -> std::optional<std::string> {
        asked.push_back({k, p, f});
        if (replies.empty()) return std::nullopt;
        std::string r = replies.front();
        replies.erase(replies.begin());
        return r;
    };
    std::string Expand(std::string text, bool expectDone = true, std::size_t length = 255) {
        EXPECT_EQ(ExpandTemplateTokens(text, length, answers, asker), expectDone) << text;
        return text;
    }
    TemplateAnswers answers;
    std::vector<std::string> replies;
    std::vector<Asked> asked;
};

TEST_F(TemplateTokensTest, FreeTokensAreAskedOnceAndReused) {
    replies = {"Joe"};
    EXPECT_EQ(Expand("Hello [?Name], bye [?]"), "Hello Joe, bye Joe");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, TemplateAskKind::Text);
    EXPECT_EQ(asked[0].prompt, "Name");
    // A later copy in the same run, any case: not asked again.
    EXPECT_EQ(Expand("[?  NAME ]!"), "Joe!");
    EXPECT_EQ(asked.size(), 1u);
    ASSERT_EQ(answers.Rows().size(), 1u);
    EXPECT_EQ(answers.Rows()[0].prompt, "NAME");
    // No token: nothing asked, nothing changed.
    EXPECT_EQ(Expand("plain [text] here"), "plain [text] here");
    EXPECT_EQ(asked.size(), 1u);
}

TEST_F(TemplateTokensTest, KeywordTokensAlwaysAskInTheirWindowPrefilled) {
    replies = {"/var/log/a.log", "Notepad", "abc", "/var/log/b.log"};
    EXPECT_EQ(Expand("[?FILE Log file] [?window ] [?TEXT]"), "/var/log/a.log Notepad abc");
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].kind, TemplateAskKind::File);
    EXPECT_EQ(asked[0].prompt, "Log file");
    EXPECT_EQ(asked[1].kind, TemplateAskKind::Window);
    EXPECT_EQ(asked[1].prompt, "WINDOW");  // the window keeps its own label
    EXPECT_EQ(asked[2].kind, TemplateAskKind::Text);  // no blank: a free token
    EXPECT_EQ(asked[2].prompt, "TEXT");
    EXPECT_EQ(Expand("[?file Log file]"), "/var/log/b.log");
    EXPECT_EQ(asked[3].prefill, "/var/log/a.log");
}

TEST_F(TemplateTokensTest, CancelLeavesTheFieldUnchanged) {
    replies = {"one"};
    std::string text = "[?A] and [?B]";
    EXPECT_FALSE(ExpandTemplateTokens(text, 255, answers, asker));
    EXPECT_EQ(text, "[?A] and [?B]");
    EXPECT_EQ(answers.Find("a").value_or("?"), "one");  // the confirmed answer stays
}

TEST_F(TemplateTokensTest, SelfReferencingAnswersEndAndLimitsHold) {
    replies = {"again [?Loop]"};
    const std::string out = Expand("x [?Loop]");
    EXPECT_LE(out.size(), 255u);
    EXPECT_EQ(asked.size(), 1u);
    replies = {"[?]"};
    EXPECT_LE(Expand("[?Other]").size(), 255u);
    // An open token is plain text; the field's length holds.
    EXPECT_EQ(Expand("[?never closed"), "[?never closed");
    replies = {std::string(300, 'a')};
    EXPECT_EQ(Expand("[?Long]", true, 20), std::string(20, 'a'));
}

TEST(CommandFolderTest, CutBeforeTheLastSeparator) {
    EXPECT_EQ(CommandFolder("/usr/bin/gedit"), "/usr/bin");
    EXPECT_EQ(CommandFolder("C:\\Tools\\x.exe"), "C:\\Tools");
    EXPECT_EQ(CommandFolder("gedit"), "");
    EXPECT_EQ(CommandFolder("/gedit"), "/");
}

}  // namespace
}  // namespace kr
