// The item form's rules without a window: priming, the tab an action shows
// with its defaults, the Wait joiner, the option characters of Start
// Program, the key codes, the FTP login and what OK stores.
#include <gtest/gtest.h>

#include "scriptedit/ScriptItemRules.h"
#include "scriptedit/ScriptItems.h"

namespace kr {
namespace {

TEST(ScriptItemRulesTest, ANewItemIsPrimedWithConditionsItsTabsOffer) {
    Scripting s;
    s.Keystrokes = "left over";
    PrimeNewScriptItem(s, 12);
    EXPECT_EQ(s.ID, 12);
    EXPECT_EQ(s.Action, "Send Keys");
    EXPECT_EQ(s.Keystrokes, "");
    EXPECT_EQ(s.WindowExistance, "Exists");
    EXPECT_EQ(s.IfTimeElapsed, "Greater than");
    EXPECT_EQ(s.TimeElapsed, 86400);
}

TEST(ScriptItemRulesTest, TabsAndTheDefaultsTheyBring) {
    std::string other;
    Scripting s;
    s.Action = "Exit Script";
    EXPECT_EQ(SelectScriptTab(s, other), ScriptTab::Other);
    EXPECT_EQ(s.Action, "Other");
    EXPECT_EQ(other, "Exit Script");
    // An unknown word keeps its name; a name already given is kept.
    other.clear();
    s.Action = "Launch Rocket";
    EXPECT_EQ(SelectScriptTab(s, other), ScriptTab::Other);
    EXPECT_EQ(other, "Launch Rocket");
    s.Action = "Start Script";
    s.Path = "Jump";
    EXPECT_EQ(SelectScriptTab(s, other), ScriptTab::StartScript);
    EXPECT_EQ(s.Path, "Jump to (Execute and skip)");
    s.Path = "";
    SelectScriptTab(s, other);
    EXPECT_EQ(s.Path, "Insert (Execute and continue)");
    s = Scripting();
    s.Action = "If Value...";
    EXPECT_EQ(SelectScriptTab(s, other), ScriptTab::IfVar);
    EXPECT_EQ(s.Command, "FILEEXISTS");
    EXPECT_EQ(s.WindowTitleToCheckFor, "=");
    EXPECT_EQ(s.WaitForWindow, "1");
    s = Scripting();
    s.Action = "File Actions";
    s.DDEType = "Shred";
    EXPECT_EQ(SelectScriptTab(s, other), ScriptTab::FileActions);
    EXPECT_EQ(s.DDEType, "Copy");
    s.Action = "Send Keystrokes";
    EXPECT_EQ(SelectScriptTab(s, other), ScriptTab::Keys);
}

TEST(ScriptItemRulesTest, WaitJoinerOnlyWithSecondsAndAWindow) {
    Scripting s;
    s.SecondsToWait = 5;
    std::string joiner = "Either";
    EXPECT_FALSE(ApplyWaitJoiner(s, joiner));
    EXPECT_EQ(joiner, "");
    s.WaitForWindow = "Editor";
    EXPECT_TRUE(ApplyWaitJoiner(s, joiner));
    EXPECT_EQ(joiner, "Both");
    joiner = "Either";
    EXPECT_TRUE(ApplyWaitJoiner(s, joiner));
    EXPECT_EQ(joiner, "Either");
}

TEST(ScriptItemRulesTest, FileActionPromptsFollowTheWord) {
    EXPECT_EQ(PromptsForFileAction("Copy").second, "&To:");
    FileActionPrompts del = PromptsForFileAction("Delete");
    EXPECT_EQ(del.first, "&File:");
    EXPECT_FALSE(del.secondShown);
    FileActionPrompts up = PromptsForFileAction("FTP Upload");
    EXPECT_TRUE(up.ftpShown);
    EXPECT_FALSE(up.secondBrowse);
    FileActionPrompts http = PromptsForFileAction("HTTP Download");
    EXPECT_EQ(http.first, "&URL:");
    EXPECT_FALSE(http.firstBrowse);
    EXPECT_FALSE(http.ftpShown);
}

TEST(ScriptItemRulesTest, StartOptionsRoundTripAndUnknownCharactersReadAsDefaults) {
    Scripting s;
    s.DDEApplicationName = "x9z";
    StartProgramOptions o = ReadStartOptions(s);
    EXPECT_EQ(o.priority, 2);
    EXPECT_EQ(o.windowMode, 1);
    EXPECT_EQ(o.verb, "Open");
    NormalizeStartFlags(s);
    EXPECT_EQ(s.DDEApplicationName, "0210");
    s.DDEApplicationName = "";
    NormalizeStartFlags(s);
    EXPECT_EQ(s.DDEApplicationName, kDefaultStartOptions);
    o.waitForEnd = true;
    o.priority = 3;
    o.windowMode = 7;
    o.translate = true;
    o.stopWaitingAfter = 90;
    o.verb = "Print";
    WriteStartOptions(o, s);
    EXPECT_EQ(s.DDEApplicationName, "1371");
    EXPECT_EQ(s.TimeElapsed, 90);
    EXPECT_EQ(s.DDEApplicationTopic, "Print");
    StartProgramOptions back = ReadStartOptions(s);
    EXPECT_EQ(back.windowMode, 7);
    EXPECT_TRUE(back.translate);
}

TEST(ScriptItemRulesTest, KeyCodesAppendAndStayWithinTheField) {
    EXPECT_EQ(KeyCode("CtrlAlt", "DELETE"), "[CtrlAlt-DELETE]");
    EXPECT_EQ(KeyCode("", "F5"), "[F5]");
    EXPECT_EQ(AppendToKeystrokes("abc  ", "[F5]"), "abc[F5]");
    EXPECT_EQ(AppendToKeystrokes(std::string(253, 'x'), "[F5]").size(), 255u);
}

TEST(ScriptItemRulesTest, FtpLoginKeepsUserAndTheFirst127OfThePassword) {
    Scripting s;
    s.Action = "File Actions";
    const std::string password(128, 'p');
    JoinFtpLogin("anna", password, s);
    std::string user, pw;
    SplitFtpLogin(s, user, pw);
    EXPECT_EQ(user, "anna");
    EXPECT_EQ(pw, std::string(127, 'p'));
}

TEST(ScriptItemRulesTest, OkStoresTheFormValuesAndRefusesAnItemLeftOnOther) {
    Scripting s;
    s.Action = "Display Message";
    ScriptFormValues v;
    v.messageText = std::string(255, 'm');
    v.messageTitle = std::string(255, 't');
    v.messageDialog = true;
    ASSERT_TRUE(StoreScriptFormValues(v, s));
    EXPECT_EQ(s.DDEApplicationName.str().size(), 255u);
    EXPECT_EQ(s.SecondsToWait, 1);
    ScriptFormValues loaded;
    LoadScriptFormValues(s, loaded);
    EXPECT_EQ(loaded.messageText, v.messageText);
    EXPECT_EQ(loaded.messageTitle, v.messageTitle);

    Scripting o;
    o.Action = "Other";
    ScriptFormValues ov;
    ov.otherName = "Other";
    EXPECT_FALSE(StoreScriptFormValues(ov, o));
    ov.otherName = "Exit Script";
    EXPECT_TRUE(StoreScriptFormValues(ov, o));
    EXPECT_EQ(o.Action, "Exit Script");

    Scripting w;
    w.ID = 4;
    StampScriptItem(w, "anna", 80000, 123);
    EXPECT_EQ(w.OriginalID, 4);
    EXPECT_EQ(w.NetworkUser, "anna");
}

TEST(ScriptItemRulesTest, AMessageWaitingAnyTimeButZeroStaysADialogThroughOpenAndOk) {
    Scripting s;
    s.Action = "Display Message";
    s.SecondsToWait = 5;
    ScriptFormValues v;
    LoadScriptFormValues(s, v);
    EXPECT_TRUE(v.messageDialog);
    ASSERT_TRUE(StoreScriptFormValues(v, s));
    EXPECT_EQ(s.SecondsToWait, 5);
    // The box changed: cleared stores 0, ticked again stores 1.
    v.messageDialog = false;
    ASSERT_TRUE(StoreScriptFormValues(v, s));
    EXPECT_EQ(s.SecondsToWait, 0);
    LoadScriptFormValues(s, v);
    v.messageDialog = true;
    ASSERT_TRUE(StoreScriptFormValues(v, s));
    EXPECT_EQ(s.SecondsToWait, 1);
}

}  // namespace
}  // namespace kr
