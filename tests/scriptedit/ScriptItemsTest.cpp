// Item descriptions, the rewriting of old words and the action help.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "scriptedit/ScriptItems.h"

namespace kr::test {
namespace {

Scripting Item(const char* action, const std::function<void(Scripting&)>& fill = {}) {
    Scripting s;
    s.Action = action;
    if (fill) fill(s);
    return s;
}

struct DescribeCase {
    const char* name;
    Scripting item;
    const char* expected;
};

TEST(DescribeScriptItemTest, EveryActionWordByteForByte) {
    const DescribeCase cases[] = {
        {"start program", Item("Start Program", [](Scripting& s) { s.Command = "gedit  "; s.Path = "/tmp"; }),
         "gedit /tmp"},
        {"start program without folder", Item("Start Program", [](Scripting& s) { s.Command = "gedit"; }),
         "gedit"},
        {"wait for program end", Item("Wait for Program End", [](Scripting& s) { s.Command = "sleep 1"; }),
         "sleep 1"},
        {"start script", Item("Start Script", [](Scripting& s) { s.Command = "a.krs"; s.Path = "Append"; }),
         "a.krs Append"},
        {"close program", Item("Close Program", [](Scripting& s) { s.Command = "gedit"; }), "gedit"},
        {"close focused window", Item("Close Program"), "Window with focus"},
        {"set value", Item("Set Value", [](Scripting& s) { s.Path = "COUNT"; s.Command = "=2+3"; }),
         "COUNT = =2+3"},
        {"if value", Item("If Value...", [](Scripting& s) {
             s.Command = "RESPONSE"; s.WindowTitleToCheckFor = "="; s.WaitForWindow = "2"; }),
         "RESPONSE = 2"},
        {"file copy", Item("File Actions", [](Scripting& s) {
             s.DDEType = "Copy"; s.Command = "a.txt"; s.Path = "b.txt"; }),
         "Copy a.txt to b.txt"},
        {"file delete", Item("File Actions", [](Scripting& s) {
             s.DDEType = "Delete"; s.Command = "a.txt"; s.Path = "ignored"; }),
         "Delete a.txt"},
        {"file make directory", Item("File Actions", [](Scripting& s) { s.DDEType = "Make Directory"; s.Command = "d"; }),
         "Make Directory d"},
        {"file get size", Item("File Actions", [](Scripting& s) { s.DDEType = "Get File Size"; s.Command = "a"; }),
         "Get File Size a to"},
        {"send keys", Item("Send Keys", [](Scripting& s) { s.Keystrokes = "abc[ENTER]"; }), "abc[ENTER]"},
        {"send keystrokes", Item("Send Keystrokes", [](Scripting& s) { s.Keystrokes = "x"; }), "x"},
        {"dde", Item("DDE", [](Scripting& s) {
             s.DDEApplicationName = "org.example.App"; s.DDEApplicationTopic = "System"; }),
         " org.example.App System"},
        {"dde long word", Item("DDE (Dynamic Data Exchange)", [](Scripting& s) {
             s.DDEType = "Execute"; s.DDEApplicationName = "app"; s.DDEApplicationTopic = "t"; }),
         "Execute app t"},
        {"display message", Item("Display Message", [](Scripting& s) {
             s.DDEApplicationName = "Hello"; s.DDEApplicationTopic = "Title"; }),
         "Hello Title"},
        {"display message with buttons", Item("Display Message", [](Scripting& s) {
             s.DDEApplicationName = "Go on?"; s.DDEApplicationTopic = "Ask"; s.SecondsToWait = 1;
             s.FocusOnWindow = "&Yes|&No"; }),
         "Go on? Ask <&Yes|&No>"},
        {"buttons without the dialog flag", Item("Display Message", [](Scripting& s) {
             s.DDEApplicationName = "Hi"; s.DDEApplicationTopic = "T"; s.FocusOnWindow = "&Yes|&No"; }),
         "Hi T"},
        {"set focus", Item("Set Focus", [](Scripting& s) { s.FocusOnWindow = "Untitled - Notepad"; }),
         "Untitled - Notepad"},
        {"set focus containing", Item("Set Focus", [](Scripting& s) {
             s.FocusOnWindow = "Connect*"; s.WaitForWindow = "Dial"; }),
         "Connect* (containing Dial)"},
        {"if time elapsed", Item("If Time Elapsed...", [](Scripting& s) { s.TimeElapsed = 86400; }),
         "86400 seconds"},
        {"send email", Item("Send Email", [](Scripting& s) { s.EmailID = 7; }), "Message #7"},
        {"send email with subject", Item("Send Email", [](Scripting& s) {
             s.EmailID = 7; s.WindowTitleToCheckFor = "Report - ann@example.org"; }),
         "Message #7 - Report - ann@example.org"},
        {"if window", Item("If Window...", [](Scripting& s) {
             s.WindowTitleToCheckFor = "*Notepad"; s.WindowExistance = "Exists"; }),
         "*Notepad Exists"},
        {"if window containing", Item("If Window...", [](Scripting& s) {
             s.WindowTitleToCheckFor = "*Notepad"; s.WindowExistance = "Does not exist"; s.FocusOnWindow = "OK"; }),
         "*Notepad (containing OK) Does not exist"},
        {"wait seconds and window", Item("Wait", [](Scripting& s) {
             s.SecondsToWait = 30; s.DDEApplicationName = "Either"; s.WaitForWindow = "Untitled - Notepad"; }),
         "30 seconds Either Untitled - Notepad"},
        {"wait seconds", Item("Wait", [](Scripting& s) { s.SecondsToWait = 30; s.DDEApplicationName = "Either"; }),
         "30 seconds"},
        {"wait window", Item("Wait", [](Scripting& s) { s.WaitForWindow = "~Save As"; }), "~Save As"},
        {"wait window containing", Item("Wait", [](Scripting& s) {
             s.WaitForWindow = "Save As"; s.FocusOnWindow = "Replace"; }),
         "Save As (containing Replace)"},
        {"end if", Item("...End If", [](Scripting& s) { s.Command = "x"; }), ""},
        {"exit script", Item("Exit Script"), ""},
        {"unknown word", Item("Foo", [](Scripting& s) { s.Command = "x"; }), ""},
        {"word compared with regard to case", Item("send keys", [](Scripting& s) { s.Keystrokes = "x"; }), ""},
    };
    for (const DescribeCase& c : cases) EXPECT_EQ(DescribeScriptItem(c.item), c.expected) << c.name;
}

TEST(DescribeScriptItemTest, IsCutAt128CharactersAndClipped) {
    Scripting s = Item("Set Value");
    s.Path = "NAME";
    s.Command = std::string(120, 'x').append("   ").append(100, 'y');
    const std::string d = DescribeScriptItem(s);
    // "NAME = " is 7 characters; the cut at 128 falls inside the blanks.
    EXPECT_EQ(d, "NAME = " + std::string(120, 'x'));
    s.Command = std::string(200, 'z');
    EXPECT_EQ(DescribeScriptItem(s).size(), kScriptDescriptionSize);
}

TEST(NormalizeScriptItemTest, RewritesOldWordsAndLeavesTheRest) {
    Scripting keys = Item("Send Keystrokes", [](Scripting& s) {
        s.Keystrokes = "abc"; s.DDEApplicationName = "or"; s.SecondsToWait = 3; });
    NormalizeScriptItem(keys);
    EXPECT_EQ(keys.Action.str(), "Send Keys");
    EXPECT_EQ(keys.DDEApplicationName.str(), "or");  // only Wait joiners are rewritten
    EXPECT_EQ(keys.Keystrokes.str(), "abc");
    EXPECT_EQ(keys.SecondsToWait, 3);

    for (const char* j : {"or", "OR", "Either", "eItHeR"}) {
        Scripting w = Item("Wait", [&](Scripting& s) { s.DDEApplicationName = j; });
        NormalizeScriptItem(w);
        EXPECT_EQ(w.DDEApplicationName.str(), "Either") << j;
    }
    for (const char* j : {"and", "BOTH", "Both"}) {
        Scripting w = Item("Wait", [&](Scripting& s) { s.DDEApplicationName = j; });
        NormalizeScriptItem(w);
        EXPECT_EQ(w.DDEApplicationName.str(), "Both") << j;
    }
    Scripting other = Item("Wait", [](Scripting& s) { s.DDEApplicationName = "neither"; });
    NormalizeScriptItem(other);
    EXPECT_EQ(other.DDEApplicationName.str(), "neither");

    const std::pair<const char*, const char*> windows[] = {
        {"Window exists", "Exists"}, {"EXISTS", "Exists"}, {"Does not exist", "Does not exist"}, {"", "Does not exist"}};
    for (const auto& [in, out] : windows) {
        Scripting w = Item("If Window...", [&](Scripting& s) { s.WindowExistance = in; });
        NormalizeScriptItem(w);
        EXPECT_EQ(w.WindowExistance.str(), out) << in;
    }
    const std::pair<const char*, const char*> times[] = {{"Time elapsed is grea", "Greater than"},
                                                         {"Greater than", "Greater than"},
                                                         {"GREATER", "Greater than"},
                                                         {"Less than", "Less than"},
                                                         {"", "Less than"}};
    for (const auto& [in, out] : times) {
        Scripting t = Item("If Time Elapsed...", [&](Scripting& s) { s.IfTimeElapsed = in; });
        NormalizeScriptItem(t);
        EXPECT_EQ(t.IfTimeElapsed.str(), out) << in;
    }
    // Other actions keep fields that look like old words.
    Scripting set = Item("Set Value", [](Scripting& s) { s.WindowExistance = "Window exists"; });
    NormalizeScriptItem(set);
    EXPECT_EQ(set.WindowExistance.str(), "Window exists");
}

TEST(ScriptActionHelpTest, TextsByActionWithinTheFormsBuffer) {
    EXPECT_EQ(ScriptActionHelp("Send Email"), "Send a message via the Internet.");
    EXPECT_EQ(ScriptActionHelp("...End If"), "");
    EXPECT_EQ(ScriptActionHelp("Other"), "");
    EXPECT_EQ(ScriptActionHelp("Foo"), "");
    EXPECT_EQ(ScriptActionHelp("Send Keys"), ScriptActionHelp("Send Keystrokes"));
    EXPECT_EQ(ScriptActionHelp("DDE"), ScriptActionHelp("DDE (Dynamic Data Exchange)"));
    // The 27-character field comes blank-padded.
    EXPECT_EQ(ScriptActionHelp("Send Email                 "), "Send a message via the Internet.");
    EXPECT_NE(ScriptActionHelp("Display Message").find("RESPONSE"), std::string::npos);
    EXPECT_NE(ScriptActionHelp("Exit Script").find("exit the script"), std::string::npos);
    // The longer texts keep within the lengths the form was laid out for.
    const std::pair<const char*, std::size_t> limits[] = {
        {"Display Message", 476}, {"Start Program", 754}, {"Close Program", 324}, {"Send Keys", 328},
        {"Set Focus", 413},       {"Wait", 524},          {"If Window...", 425},  {"Start Script", 404}};
    for (const auto& [action, limit] : limits) {
        const std::string h = ScriptActionHelp(action);
        EXPECT_GT(h.size(), limit / 2) << action;
        EXPECT_LE(h.size(), limit) << action;
    }
}

TEST(KeyCodesFileTest, ShipsBesideTheProgramsWithEveryKeyName) {
    std::ifstream in(std::filesystem::path(KR_BIN_DIR) / kKeyCodesFile);
    ASSERT_TRUE(in) << "KEYCODES.TXT is not beside the programs";
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const char* name : {"F1 .. F12", "PAD0", "AST", "PLUS", "MINUS", "DECIMAL", "SLASH", "BS", "TAB", "ENTER",
                             "PAUSE", "CAPSLOCK", "ESC", "SPACE", "PGUP", "PGDN", "END", "HOME", "LEFT", "UP",
                             "RIGHT", "DOWN", "PRINT", "INSERT", "DELETE", "MOUSELEFT2", "MOUSECENTER2", "CTRL",
                             "ALT", "SHIFT"})
        EXPECT_NE(text.find(name), std::string::npos) << name;
}

}  // namespace
}  // namespace kr::test
