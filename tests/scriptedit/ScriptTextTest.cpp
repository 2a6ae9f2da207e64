// The script as text: every action's item written and read back, the lines
// a user types, the quoting rules, and the replacement of a task's items
// over a real data file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/Services.h"
#include "scriptedit/ScriptItemRules.h"
#include "scriptedit/ScriptText.h"

namespace kr {
namespace {

// Every field the text form carries, as one comparable line.
std::string Fields(const Scripting& s) {
    return s.Action.str() + "|" + s.Keystrokes.str() + "|" + std::to_string(s.SecondsToWait) + "|" +
           s.WaitForWindow.str() + "|" + s.FocusOnWindow.str() + "|" + s.WindowExistance.str() + "|" +
           s.WindowTitleToCheckFor.str() + "|" + s.IfTimeElapsed.str() + "|" + std::to_string(s.TimeElapsed) + "|" +
           std::to_string(s.EmailID) + "|" + s.Command.str() + "|" + s.Path.str() + "|" + s.DDEType.str() + "|" +
           s.DDEApplicationName.str() + "|" + s.DDEApplicationTopic.str() + "|" + s.DDECommand.str();
}

Scripting Item(const char* action, std::initializer_list<std::pair<FString<255> Scripting::*, const char*>> texts = {}) {
    Scripting s;
    s.Action = action;
    for (auto& [field, value] : texts) s.*field = value;
    return s;
}

Scripting ReadOne(const std::string& line) {
    const ParsedScriptText p = ParseScriptText(line, 7);
    EXPECT_EQ(p.items.size(), 1u) << line;
    return p.items.empty() ? Scripting() : p.items[0];
}

TEST(ScriptTextTest, EveryActionReadsBackToTheSameFields) {
    using S = Scripting;
    std::vector<Scripting> items;
    items.push_back(Item("Send Keys"));
    items.back().Keystrokes = "Hello, world [Enter]{2}";
    items.push_back(Item("Send Keys"));
    items.back().Keystrokes = "\"quoted\" and \"\"";
    items.push_back(Item("Set Focus", {{&S::FocusOnWindow, "Untitled - Notepad"}, {&S::WaitForWindow, "*Editor"}}));
    items.push_back(Item("Wait", {{&S::WaitForWindow, "Notepad"}, {&S::FocusOnWindow, "Edit"}}));
    items.push_back(Item("Wait"));  // 0 seconds, no window
    items.push_back(Item("Wait"));
    items.back().SecondsToWait = 30;
    items.push_back(Item("Wait", {{&S::WaitForWindow, "Save As"}, {&S::DDEApplicationName, "Either"}}));
    items.back().SecondsToWait = 30;
    items.push_back(Item("Wait", {{&S::WaitForWindow, "Save As"}}));  // seconds and window, no joiner
    items.back().SecondsToWait = 5;
    items.push_back(Item("Wait", {{&S::WaitForWindow, "123"}}));  // a window titled like a number
    items.push_back(Item("Display Message", {{&S::DDEApplicationName, "Backup done, see /var/log"},
                                             {&S::DDEApplicationTopic, "Backup"},
                                             {&S::FocusOnWindow, "OK"}}));
    items.push_back(Item("Display Message", {{&S::DDEApplicationName, "Press /modal to stay"}}));
    items.back().SecondsToWait = 1;
    items.push_back(Item("If Window...", {{&S::WindowTitleToCheckFor, "Calc*"}, {&S::FocusOnWindow, "Display"}}));
    items.back().WindowExistance = "Exists";
    items.push_back(Item("If Window...", {{&S::WindowTitleToCheckFor, "Calc"}}));
    items.back().WindowExistance = "Does not exist";
    items.push_back(Item("If Time Elapsed..."));
    items.back().IfTimeElapsed = "Greater than";
    items.back().TimeElapsed = 90;
    items.push_back(Item("If Time Elapsed..."));
    items.back().IfTimeElapsed = "Less than";
    items.back().TimeElapsed = 5;
    items.push_back(Item("If Value...", {{&S::Command, "[TODAY]"}, {&S::WindowTitleToCheckFor, "<>"},
                                         {&S::WaitForWindow, "2024-01-01"}}));
    items.push_back(Item("...End If"));
    items.push_back(Item("Start Program", {{&S::Command, "/usr/bin/gedit"}, {&S::Path, "/tmp/MODE=9 dir"},
                                           {&S::DDEApplicationName, "1371"}, {&S::DDEApplicationTopic, "Print"}}));
    items.back().TimeElapsed = 123456;
    items.push_back(Item("Start Program", {{&S::Command, "xterm"}, {&S::DDEApplicationName, kDefaultStartOptions}}));
    items.push_back(Item("Close Program", {{&S::Command, "gedit"}}));
    items.push_back(Item("Start Script", {{&S::Command, "/home/u/a.krs"}, {&S::Path, "Jump to (Execute and skip)"}}));
    items.push_back(Item("DDE", {{&S::DDEApplicationName, "app"}, {&S::DDEApplicationTopic, "topic"},
                                 {&S::DDECommand, "[open(\\x)]"}}));
    for (const char* type : {"Copy", "Make Directory", "Delete", "Get File Size", "If File Exists", "Log Windows"}) {
        items.push_back(Item("File Actions", {{&S::Command, "/tmp/a b.txt"}, {&S::Path, "/tmp/c"}}));
        items.back().DDEType = type;
        if (std::string(type) == "Delete") items.back().Path = "";
    }
    items.push_back(Item("File Actions", {{&S::Command, "/up/x"}, {&S::Path, "/down"}, {&S::DDEApplicationName, "ftp.host"}}));
    items.back().DDEType = "FTP Upload";
    JoinFtpLogin("user name", std::string(120, 'p'), items.back());
    items.push_back(Item("File Actions", {{&S::Command, "http://h/x?a=1,2"}, {&S::Path, "/tmp/x"},
                                          {&S::DDEApplicationName, "proxy"}}));
    items.back().DDEType = "HTTP Download";
    items.push_back(Item("Send Email"));
    items.back().EmailID = 42;
    items.push_back(Item("Set Value", {{&S::Path, "COUNT"}, {&S::Command, "  3"}}));
    items.push_back(Item("Exit Script"));
    items.push_back(Item("Comment", {{&S::Command, "several words here"}}));

    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i].ID = 7;
        items[i].Sequence = static_cast<int32_t>(i + 1);
    }
    const std::string text = ScriptItemsToText(items);
    const ParsedScriptText back = ParseScriptText(text, 7);
    EXPECT_TRUE(back.messages.empty());
    ASSERT_EQ(back.items.size(), items.size()) << text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(Fields(back.items[i]), Fields(items[i])) << "line " << i + 1 << " of\n" << text;
        EXPECT_EQ(back.items[i].Sequence, static_cast<int32_t>(i + 1));
    }
    EXPECT_TRUE(LinesNotReadingBack(items).empty());
    // And the text reads back to itself.
    EXPECT_EQ(ScriptItemsToText(back.items), text);
}

TEST(ScriptTextTest, WrittenLinesAndIndentation) {
    Scripting keys = Item("Send Keys");
    keys.Keystrokes = "abc";
    EXPECT_EQ(ScriptItemsToText({keys, Item("Exit Script")}), "KEYS abc\r\nEXIT\r\n");

    Scripting dir = Item("File Actions", {{&Scripting::Command, "C:\\New"}});
    dir.DDEType = "Make Directory";
    EXPECT_EQ(ScriptItemsToText({dir}), "FILE \"Make Directory\" \"C:\\New\"\r\n");

    std::vector<Scripting> nested = {Item("If Window..."), keys, Item("If Time Elapsed..."), keys, Item("...End If"),
                                     Item("...End If")};
    nested[0].WindowExistance = "Exists";
    std::string t = ScriptItemsToText(nested);
    EXPECT_EQ(t, "IFWINDOW\r\n   KEYS abc\r\n   IFTIMELESS 0\r\n      KEYS abc\r\n   END\r\nEND\r\n");
    std::vector<Scripting> deep(10, Item("If Value..."));
    deep.push_back(keys);
    t = ScriptItemsToText(deep);
    EXPECT_NE(t.find("\r\n" + std::string(24, ' ') + "KEYS abc\r\n"), std::string::npos);

    // The message dialog drops its trailing empty arguments; the own window
    // keeps them before /MODAL.
    Scripting msg = Item("Display Message", {{&Scripting::DDEApplicationName, "Hi"}});
    msg.SecondsToWait = 1;
    EXPECT_EQ(ScriptItemsToText({msg}), "DISPLAY Hi\r\n");
    msg.SecondsToWait = 0;
    EXPECT_EQ(ScriptItemsToText({msg}), "DISPLAY Hi \"\" \"\" \"/MODAL\"\r\n");
    // Keystrokes keep a trailing pair of quotes.
    keys.Keystrokes = "say \"\"";
    EXPECT_EQ(ScriptItemsToText({keys}), "KEYS say \"\"\r\n");
    // Items the text cannot show are left out and counted.
    const std::vector<Scripting> odd = {Item("Other"), Item("Frobnicate"), keys};
    EXPECT_EQ(ScriptItemsToText(odd), "KEYS say \"\"\r\n");
    EXPECT_EQ(CountItemsWithoutLine(odd), 2);
}

TEST(ScriptTextTest, TypedLinesRead) {
    Scripting s = ReadOne("wait notepad");
    EXPECT_EQ(Fields(s), Fields(Item("Wait", {{&Scripting::WaitForWindow, "notepad"}})));
    s = ReadOne("WAIT 30");
    EXPECT_EQ(s.SecondsToWait, 30);
    EXPECT_EQ(s.WaitForWindow.str(), "");
    EXPECT_EQ(s.DDEApplicationName.str(), "");
    s = ReadOne("WAIT 30 Notepad");
    EXPECT_EQ(s.DDEApplicationName.str(), "Both");
    EXPECT_EQ(s.WaitForWindow.str(), "Notepad");
    s = ReadOne("WAIT either 30 Notepad");
    EXPECT_EQ(s.DDEApplicationName.str(), "either");
    EXPECT_EQ(s.SecondsToWait, 30);
    s = ReadOne("WAIT 0");
    EXPECT_EQ(s.SecondsToWait, 0);
    EXPECT_EQ(s.WaitForWindow.str(), "");

    s = ReadOne("START notepad.exe \"\" WAIT=86400 PRIORITY=3");
    EXPECT_EQ(s.Action.str(), "Start Program");
    EXPECT_EQ(s.Path.str(), "");
    EXPECT_EQ(s.TimeElapsed, 86400);
    EXPECT_EQ(s.DDEApplicationName.str(), "1310");
    // Absent options store the form's defaults, not blanks.
    EXPECT_EQ(ReadOne("START xterm").DDEApplicationName.str(), kDefaultStartOptions);
    // Options count only as arguments of their own.
    s = ReadOne("START \"/opt/MODE=3/run\" \"/a /TRANSLATE\"");
    EXPECT_EQ(s.DDEApplicationName.str(), kDefaultStartOptions);
    EXPECT_EQ(ReadOne("START x \"\" ACTION=explore").DDEApplicationTopic.str(), "Explore");
    EXPECT_EQ(ReadOne("START x \"\" ACTION=runas").DDEApplicationTopic.str(), "RUNAS");

    s = ReadOne("FILE ftp /a /b host user secret");
    EXPECT_EQ(s.DDEType.str(), "FTP Download");
    std::string user, password;
    SplitFtpLogin(s, user, password);
    EXPECT_EQ(s.DDEApplicationName.str() + "/" + user + "/" + password, "host/user/secret");
    EXPECT_EQ(ReadOne("FILE Copy \"C:\\a.txt\" \"C:\\b.txt\"").Path.str(), "C:\\b.txt");
    EXPECT_EQ(ReadOne("FILE shred /a").DDEType.str(), "Copy");
    EXPECT_EQ(ReadOne("SCRIPT x.krs j").Path.str(), "Jump to (Execute and skip)");
    EXPECT_EQ(ReadOne("! several words").Command.str(), "several");
    EXPECT_EQ(ReadOne("COMMENT \"several words\"").Action.str(), "Comment");
    // DDE is stored under its short word, which fits an exchange file.
    EXPECT_EQ(ReadOne("dde app topic cmd").Action.str(), "DDE");
    // "/MODAL" inside the message is part of the message.
    s = ReadOne("DISPLAY \"type /modal\" Title");
    EXPECT_EQ(s.SecondsToWait, 1);
    s = ReadOne("DISPLAY Hi /modal");
    EXPECT_EQ(s.SecondsToWait, 0);
    EXPECT_EQ(s.DDEApplicationTopic.str(), "");
    // One test of "greater" everywhere: the form's cut default reads greater.
    Scripting t = Item("If Time Elapsed...");
    t.IfTimeElapsed = "Time elapsed is grea";
    EXPECT_EQ(ScriptItemsToText({t}), "IFTIME 0\r\n");
    t.IfTimeElapsed = "";
    EXPECT_EQ(ScriptItemsToText({t}), "IFTIMELESS 0\r\n");
}

TEST(ScriptTextTest, LineEndsBlanksAndUnknownWords) {
    const char* texts[] = {"KEYS a\r\nWAIT 3\r\n\r\nEXIT\r\n", "KEYS a\nWAIT 3\n\nEXIT\n", "KEYS a\rWAIT\t3\r\rEXIT",
                           "\tKEYS a\n  WAIT  3\n\t\nEXIT"};
    for (const char* text : texts) {
        const ParsedScriptText p = ParseScriptText(text, 1);
        ASSERT_EQ(p.items.size(), 3u) << text;
        EXPECT_EQ(p.items[1].SecondsToWait, 3) << text;
        // The empty line leaves a gap in the numbers.
        EXPECT_EQ(p.items[2].Sequence, 4) << text;
    }
    // No line limit: a long FTP line keeps its password.
    Scripting ftp = Item("File Actions", {{&Scripting::Command, std::string(250, 'c').c_str()},
                                          {&Scripting::Path, std::string(250, 'p').c_str()},
                                          {&Scripting::DDEApplicationName, std::string(250, 'h').c_str()}});
    ftp.DDEType = "FTP Upload";
    JoinFtpLogin(std::string(128, 'u'), std::string(127, 'w'), ftp);
    EXPECT_EQ(Fields(ReadOne(ScriptItemsToText({ftp}))), Fields(ftp));

    const ParsedScriptText p = ParseScriptText("KEYS a\r\nJUMP far away\r\n", 1);
    ASSERT_EQ(p.items.size(), 2u);
    EXPECT_EQ(p.items[1].Action.str(), "JUMP");
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0], "Unknown script action:\r\nJUMP\r\nfar away");
}

TEST(ScriptTextTest, QuotingAndSplitting) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"", "\"\""},       {"abc   ", "abc"},      {"a b", "\"a b\""},     {"  lead", "\"  lead\""},
        {"a,b", "\"a,b\""}, {"/tmp/x", "\"/tmp/x\""}, {"\"a b\"", "\"a b\""}, {"\"plain\"", "plain"},
    };
    for (const Case& c : cases) EXPECT_EQ(QuoteIfNeeded(c.in), c.out) << "[" << c.in << "]";

    using V = std::vector<std::string>;
    EXPECT_EQ(TokenizeScriptLine("  a  \"b c\",d ,e [TODAY IS] \"[x\" "), (V{"a", "b c", "d", "", "e", "[TODAY IS]", "[x"}));
    EXPECT_EQ(TokenizeScriptLine("\"  lead\" x"), (V{"  lead", "x"}));
    EXPECT_TRUE(TokenizeScriptLine("   ").empty());

    // A value holding a quote cannot come back; its line is named.
    Scripting bad = Item("Set Value", {{&Scripting::Path, "V"}, {&Scripting::Command, "5\" disk"}});
    Scripting good = Item("Set Value", {{&Scripting::Path, "V"}, {&Scripting::Command, "x"}});
    Scripting whole = Item("Set Value", {{&Scripting::Path, "V"}, {&Scripting::Command, "\"a b\""}});
    // An open square bracket holds the rest of the line together, even
    // inside quotes; a closed one is a value reference and reads back.
    Scripting open = Item("Set Focus", {{&Scripting::FocusOnWindow, "Report [draft"}, {&Scripting::WaitForWindow, "x"}});
    Scripting closed = Item("Set Value", {{&Scripting::Path, "V"}, {&Scripting::Command, "[TODAY] x"}});
    // A message typed on two lines would be cut at its line break.
    Scripting lines = Item("Display Message", {{&Scripting::DDEApplicationName, "Line one\r\nLine two"}});
    EXPECT_EQ(LinesNotReadingBack({Item("Other"), good, bad, whole, closed, open, lines}),
              (std::vector<int>{2, 3, 5, 6}));
}

TEST(ScriptTextTest, FileActionWords) {
    const char* pairs[][2] = {{"make", "Make Directory"},   {"remove directory", "Remove Directory"},
                              {"FILE DATE", "Get File Date"}, {"time", "Get File Time"},
                              {"size", "Get File Size"},      {"exists", "If File Exists"},
                              {"ftpupload", "FTP Upload"},    {"ftp download", "FTP Download"},
                              {"http", "HTTP Download"},      {"log windows", "Log Windows"},
                              {"recycle", "Recycle"},         {"nonsense", "Copy"}};
    for (auto& p : pairs) EXPECT_EQ(NormalizeFileActionWord(p[0]), p[1]) << p[0];
}

class ScriptTextStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/kr-text-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        data::SetKeyDerivationIterations(64);
        DictionaryInit();
        ASSERT_EQ(Scripting_File().Open(), data::kLevelBenign);
        responder_.onShow = [this](const MessageRequest& r) -> std::optional<int> {
            shown_.push_back(r.text);
            inTransaction_ = inTransaction_ || data::InTransaction();
            return std::nullopt;
        };
        Schedule_File().rec().ID = 5;
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
    std::filesystem::path previous_, dir_;
    ScriptedResponder responder_;
    ScopedMessageService messages_{&responder_};
    std::vector<std::string> shown_;
    bool inTransaction_ = false;
};

TEST_F(ScriptTextStoreTest, TextReplacesTheTaskItemsAndReportsAfterwards) {
    // Another task's items are never touched.
    Scripting other = Item("Exit Script");
    other.ID = 6;
    other.Sequence = 1;
    ASSERT_TRUE(ReplaceScriptItems(6, {other}).empty());

    TextToScript("KEYS one\r\nNOPE x\r\n\r\nEXIT\r\n");
    EXPECT_EQ(ScriptToText(), "KEYS one\r\nEXIT\r\n");  // NOPE is stored but has no line
    std::vector<Scripting> items = ReadScriptItems(5);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].Action.str(), "NOPE");
    EXPECT_EQ(items[2].Sequence, 4);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].rfind("Unknown script action:", 0), 0u);
    EXPECT_FALSE(inTransaction_);

    // An empty text keeps the script; blank lines only delete it.
    shown_.clear();
    TextToScript("");
    EXPECT_EQ(ReadScriptItems(5).size(), 3u);
    EXPECT_EQ(shown_, (std::vector<std::string>{"Nothing to save."}));
    TextToScript("  \r\n\t\n");
    EXPECT_TRUE(ReadScriptItems(5).empty());
    EXPECT_EQ(ReadScriptItems(6).size(), 1u);

    // A text that is no script asks for a bounded number of OKs.
    shown_.clear();
    std::string prose;
    for (int i = 0; i < 30; ++i) prose += "Dear sir\n";
    TextToScript(prose);
    ASSERT_EQ(shown_.size(), kMaxTextMessages + 1);
    EXPECT_EQ(shown_.back(), "20 more messages like these were not shown.");
    EXPECT_EQ(ReadScriptItems(5).size(), 30u);  // still stored, as the text said

    // Task 0 stores nothing: its items would belong to no task.
    Schedule_File().rec().ID = 0;
    shown_.clear();
    TextToScript("EXIT");
    EXPECT_TRUE(ReadScriptItems(0).empty());
    EXPECT_EQ(shown_, (std::vector<std::string>{"No task ID"}));
}

TEST_F(ScriptTextStoreTest, FailedAddIsReportedAndTheRestStored) {
    std::vector<Scripting> items = ParseScriptText("KEYS a\r\nKEYS b\r\nKEYS c\r\n", 5).items;
    items[1].Sequence = 1;  // taken by the first: the real duplicate-key failure
    const std::vector<std::string> errors = ReplaceScriptItems(5, items);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Error adding scripting:\r\n", 0), 0u);
    const std::vector<Scripting> stored = ReadScriptItems(5);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].Keystrokes.str(), "c");
}

}  // namespace
}  // namespace kr
