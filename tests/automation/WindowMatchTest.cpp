// Title patterns and the contents test over window lists given as data.
#include <gtest/gtest.h>

#include <map>

#include "scheduler/WindowMatch.h"

namespace kr {
namespace {

std::vector<WindowListEntry> Windows(const std::vector<std::pair<std::string, std::uint32_t>>& rows) {
    std::vector<WindowListEntry> out;
    for (const auto& [title, handle] : rows) {
        WindowListEntry e;
        e.Line = title;
        e.Handle = handle;
        out.push_back(e);
    }
    return out;
}

TEST(WindowMatch, TitlePatterns) {
    EXPECT_TRUE(TitleMatchesPattern("Notepad", "notepad"));
    EXPECT_FALSE(TitleMatchesPattern("Untitled - Notepad", "notepad"));
    EXPECT_TRUE(TitleMatchesPattern("Untitled - Notepad", "*notepad"));
    EXPECT_TRUE(TitleMatchesPattern("Notepad", "*notepad"));
    EXPECT_TRUE(TitleMatchesPattern("Untitled - Notepad", "Untitled*"));
    EXPECT_TRUE(TitleMatchesPattern("Untitled - Notepad", "Untitled*whatever follows"));
    EXPECT_FALSE(TitleMatchesPattern("Untitled", "Untitled - *"));
    EXPECT_TRUE(TitleMatchesPattern("Notepad  ", "NOTEPAD"));
    EXPECT_TRUE(TitleMatchesPattern("Anything", "*"));
    EXPECT_FALSE(TitleMatchesPattern("Notepad", ""));
    // Unicode upper case, including the one that changes length.
    EXPECT_TRUE(TitleMatchesPattern("Größe ändern", "GRÖSSE ÄNDERN"));
    EXPECT_TRUE(TitleMatchesPattern("Документ - Редактор", "*редактор"));
    EXPECT_TRUE(TitleMatchesPattern("Éditeur", "éd*"));
}

TEST(WindowMatch, FirstMatchingWindowTopmostFirstWithContents) {
    const auto list = Windows({{"Untitled - Notepad", 101}, {"Notepad", 102}, {"Report - Notepad", 103}});
    std::map<std::uint32_t, std::vector<std::string>> children = {
        {101, {"File", "Edit"}}, {102, {"OK"}}, {103, {"Save changes?", "Cancel"}}};
    std::vector<std::uint32_t> asked;
    auto texts = [&](std::uint32_t h) {
        asked.push_back(h);
        return children[h];
    };
    EXPECT_EQ(MatchWindow(list, "notepad", "", texts), 102u);
    EXPECT_EQ(MatchWindow(list, "*notepad", "", texts), 101u);
    EXPECT_EQ(MatchWindow(list, "~*notepad", "", texts), 101u);
    EXPECT_EQ(MatchWindow(list, "Report*", "", texts), 103u);
    EXPECT_EQ(MatchWindow(list, "*", "", texts), 101u);
    EXPECT_EQ(MatchWindow(list, "Wordpad", "", texts), 0u);
    EXPECT_TRUE(asked.empty());  // no contents: no child texts read
    // Candidates whose controls lack the text are passed over.
    EXPECT_EQ(MatchWindow(list, "*notepad", "save CHANGES", texts), 103u);
    EXPECT_EQ(asked, (std::vector<std::uint32_t>{101, 102, 103}));
    EXPECT_EQ(MatchWindow(list, "*notepad", "Print", texts), 0u);
    EXPECT_EQ(MatchWindow(list, "*notepad", "   ", texts), 101u);
}

}  // namespace
}  // namespace kr
