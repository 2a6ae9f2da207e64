#include <gtest/gtest.h>

#include "organiser/HotKeyText.h"
#include "scheduler/HotKeys.h"

using namespace kr;

namespace {

TEST(HotKeyTextTest, BuildPutsModifiersInFixedOrder) {
    EXPECT_EQ(BuildHotKeyText({.ctrl = true, .alt = true, .key = "F5"}), "Ctrl-Alt-F5");
    EXPECT_EQ(BuildHotKeyText({.shift = true, .win = true, .key = "Z"}), "Win-Shift-Z");
    EXPECT_EQ(BuildHotKeyText({.key = "Z"}), "Z");
    // The longest text is longer than the stored field: the form refuses it.
    EXPECT_GT(BuildHotKeyText({true, true, true, true, "INSERT"}).size(), kHotKeyTextSize);
}

TEST(HotKeyTextTest, SplitGivesBoxesAndKeyBack) {
    EXPECT_EQ(SplitHotKeyText("Ctrl-Alt-F5"), (HotKeyParts{.ctrl = true, .alt = true, .key = "F5"}));
    EXPECT_EQ(SplitHotKeyText("CtrlShift"), (HotKeyParts{.ctrl = true, .shift = true, .key = ""}));
    EXPECT_EQ(SplitHotKeyText("Z"), (HotKeyParts{.key = "Z"}));
    EXPECT_EQ(SplitHotKeyText("Win-Shift-Z   "), (HotKeyParts{.shift = true, .win = true, .key = "Z"}));
    EXPECT_EQ(SplitHotKeyText("Alt-Win-PLUS"), (HotKeyParts{.alt = true, .win = true, .key = "PLUS"}));
}

TEST(HotKeyTextTest, EveryOfferedKeyRoundTripsAndParses) {
    for (const char* name : kHotKeyFormNames) {
        const HotKeyParts p{true, false, true, true, name};
        const std::string text = BuildHotKeyText(p);
        EXPECT_EQ(SplitHotKeyText(text), p) << text;
        EXPECT_NE(ParseKey(text).VirtualKey(), 0) << text;
    }
}

TEST(HotKeyTextTest, QuickTextShowsTheTextOfTextKeysOnly) {
    EXPECT_EQ(HotKeyQuickText("Sign ", "Text", "Regards"), "Sign : Regards");
    EXPECT_EQ(HotKeyQuickText("Backup", "Task", "ignored"), "Backup ");
    EXPECT_EQ(HotKeyQuickText(std::string(40, 'd'), "Text", "x").size(), 40u);
}

}  // namespace
