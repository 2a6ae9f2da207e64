// The exchange-file codec (quotes, line ends, the old code page), the column
// rules in both directions, and the export and import processes over a real
// Scripting table.
#include <sys/stat.h>

#include <fstream>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "scriptedit/ScriptExchange.h"
#include "tests/runner/RunnerTestSupport.h"

namespace kr {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

class ScriptExchangeTest : public test::RunnerFixture {
protected:
    std::vector<Scripting> ItemsOf(int32_t task) {
        std::vector<Scripting> out;
        ScriptingFileManager& s = Scripting_File();
        s.rec() = Scripting();
        s.rec().ID = task;
        if (s.SetPosition(ScriptingDef().key("SCR:KeyID")) != data::kLevelBenign) return out;
        while (s.TryNext() == data::kLevelBenign && s.rec().ID == task) out.push_back(s.rec());
        return out;
    }
};

TEST(ExchangeCodec, WriterQuotesEveryFieldAndDoublesQuotes) {
    Export row;
    row.Type = "Send Keys";
    row.Field1 = "say \"hi\", then [ENTER]";
    EXPECT_EQ(FormatExchangeLine(row), "\"Send Keys\",\"say \"\"hi\"\", then [ENTER]\",\"\",\"\",\"\",\"\",\"\"\r\n");
}

TEST(ExchangeCodec, ReaderTakesAnyLineEndQuotedOrPlainFieldsAndDoubledQuotes) {
    const std::string text =
        "\"Send Keys\",\"a \"\"b\"\", c\"\r\n"  // CR LF, a comma and quotes inside
        "Wait,10,Untitled*\n"                   // LF, plain fields
        "\r\n"                                  // a blank line gives no row
        "\"Set Value\",\"X\",\"two\nlines\"\r"    // CR; a line end inside quotes
        "\"Exit Script\"";                      // no line end at the end
    const std::vector<Export> rows = ParseExchangeText(text);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].Type.str(), "Send Keys");
    EXPECT_EQ(rows[0].Field1.str(), "a \"b\", c");
    EXPECT_EQ(rows[1].Type.str(), "Wait");
    EXPECT_EQ(rows[1].Field1.str(), "10");
    EXPECT_EQ(rows[1].Field2.str(), "Untitled*");
    EXPECT_EQ(rows[1].Field3.str(), "");
    EXPECT_EQ(rows[2].Field2.str(), "two\nlines");
    EXPECT_EQ(rows[3].Type.str(), "Exit Script");

    // Over-long fields are cut to their widths, never inside a character.
    const std::vector<Export> cut = ParseExchangeText("\"" + std::string(30, 'T') + "\",\"" +
                                                      std::string(254, 'x') + "é\"");
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].Type.size(), 20u);
    EXPECT_EQ(cut[0].Field1.str(), std::string(254, 'x'));
}

TEST(ExchangeCodec, AnOldWindows1252FileReadsRight) {
    // “Café” – 50€ in the old code page; the same text in UTF-8 stays as it is.
    const std::string old = "\"Send Keys\",\"\x93" "Caf\xE9\x94 \x96 50\x80\"\r\n";
    std::vector<Export> rows = ParseExchangeText(DecodeExchangeText(old));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Field1.str(), "\u201CCaf\u00E9\u201D \u2013 50\u20AC");
    const std::string utf8 = "\xEF\xBB\xBF\"Send Keys\",\"Caf\u00E9\"\r\n";
    rows = ParseExchangeText(DecodeExchangeText(utf8));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Type.str(), "Send Keys");  // the byte-order mark is dropped
    EXPECT_EQ(rows[0].Field1.str(), "Caf\u00E9");
}

TEST(ExchangeColumns, EveryActionSurvivesARoundTrip) {
    std::vector<Scripting> items;
    auto add = [&](const char* action) -> Scripting& {
        items.emplace_back();
        items.back().Action = action;
        return items.back();
    };
    add("Send Keys").Keystrokes = "abc";
    Scripting& focus = add("Set Focus");
    focus.FocusOnWindow = "Untitled*";
    focus.WaitForWindow = "5";
    Scripting& wait = add("Wait");
    wait.SecondsToWait = 10;
    wait.WaitForWindow = "Notepad";
    wait.DDEApplicationName = "or";
    wait.FocusOnWindow = "child";
    Scripting& msg = add("Display Message");
    msg.DDEApplicationName = "text";
    msg.DDEApplicationTopic = "title";
    msg.SecondsToWait = 1;
    msg.FocusOnWindow = "Yes|No";
    Scripting& ifw = add("If Window...");
    ifw.WindowExistance = "Window Exists";
    ifw.WindowTitleToCheckFor = "Calc*";
    ifw.FocusOnWindow = "=";
    Scripting& ift = add("If Time Elapsed...");
    ift.IfTimeElapsed = "Is Greater Than";
    ift.TimeElapsed = 300;
    Scripting& ifv = add("If Value...");
    ifv.Command = "RESPONSE";
    ifv.WindowTitleToCheckFor = "=";
    ifv.WaitForWindow = "2";
    add("...End If");
    add("Exit Script");
    Scripting& prog = add("Start Program");
    prog.Command = "lp \"a b.txt\"";
    prog.Path = "/tmp";
    prog.DDEApplicationName = "1211";
    prog.TimeElapsed = 60;
    prog.DDEApplicationTopic = "Print";  // the verb, kept since it is written
    add("Close Program").Command = "gedit";
    Scripting& ss = add("Start Script");
    ss.Command = "next.krs";
    ss.Path = "Insert";
    Scripting& dde = add("DDE");
    dde.DDEType = "Execute";
    dde.DDEApplicationName = "org.example.App";
    dde.DDEApplicationTopic = "System";
    dde.DDELinkItem = "item";
    dde.DDECommand = "[Open()]";
    Scripting& ftp = add("File Actions");
    ftp.DDEType = "FTP Upload";
    ftp.Command = "local.txt";
    ftp.Path = "/remote/";
    ftp.DDEApplicationName = "ftp.example.org";
    const std::string user(128, 'u'), password = std::string(126, 'p') + "!";
    ftp.DDEApplicationTopic = user + password;
    add("Send Email").EmailID = 42;
    Scripting& set = add("Set Value");
    set.Path = "COUNT";
    set.Command = "=2+3";

    for (const Scripting& item : items) {
        Export row;
        ASSERT_TRUE(WriteExchangeRow(item, row)) << item.Action.str();
        const std::vector<Export> back = ParseExchangeText(FormatExchangeLine(row));
        ASSERT_EQ(back.size(), 1u);
        Scripting read;
        ASSERT_EQ(ReadExchangeRow(back[0], read), ExchangeRead::Item) << item.Action.str();
        EXPECT_EQ(read.Action, item.Action);
        EXPECT_EQ(read.Keystrokes, item.Keystrokes);
        EXPECT_EQ(read.SecondsToWait, item.SecondsToWait) << item.Action.str();
        EXPECT_EQ(read.WaitForWindow, item.WaitForWindow);
        EXPECT_EQ(read.FocusOnWindow, item.FocusOnWindow);
        EXPECT_EQ(read.WindowExistance, item.WindowExistance);
        EXPECT_EQ(read.WindowTitleToCheckFor, item.WindowTitleToCheckFor);
        EXPECT_EQ(read.IfTimeElapsed, item.IfTimeElapsed);
        EXPECT_EQ(read.TimeElapsed, item.TimeElapsed);
        EXPECT_EQ(read.EmailID, item.EmailID);
        EXPECT_EQ(read.Command, item.Command);
        EXPECT_EQ(read.Path, item.Path);
        EXPECT_EQ(read.DDEType, item.DDEType);
        EXPECT_EQ(read.DDEApplicationName, item.DDEApplicationName);
        EXPECT_EQ(read.DDEApplicationTopic, item.DDEApplicationTopic) << item.Action.str();
        EXPECT_EQ(read.DDELinkItem, item.DDELinkItem);
        EXPECT_EQ(read.DDECommand, item.DDECommand);
    }
    // The FTP login: the user in characters 1-128, the password behind it.
    Scripting read;
    Export row;
    WriteExchangeRow(items[13], row);
    ReadExchangeRow(ParseExchangeText(FormatExchangeLine(row))[0], read);
    EXPECT_EQ(read.DDEApplicationTopic.padded().substr(0, 128), user);
    EXPECT_EQ(ClipRight(read.DDEApplicationTopic.padded().substr(128)), password);
}

TEST(ExchangeColumns, OldWordsReadAsTodaysAndTheLongDdeWordIsWrittenShort) {
    Scripting item;
    Export row;
    row.Type = "Send Keystrokes";
    row.Field1 = "x";
    ASSERT_EQ(ReadExchangeRow(row, item), ExchangeRead::Item);
    EXPECT_EQ(item.Action.str(), "Send Keys");
    row.Type = "DDE (Dynamic Data Exchange)";  // cut to 20 characters by the row
    ASSERT_EQ(ReadExchangeRow(row, item), ExchangeRead::Item);
    EXPECT_EQ(item.Action.str(), "DDE");
    for (const char* word : {"", "Comment"}) {
        row.Type = word;
        EXPECT_EQ(ReadExchangeRow(row, item), ExchangeRead::Comment);
    }
    row.Type = "Bogus";
    EXPECT_EQ(ReadExchangeRow(row, item), ExchangeRead::Unrecognized);

    Scripting dde;
    dde.Action = "DDE (Dynamic Data Exchange)";
    ASSERT_TRUE(WriteExchangeRow(dde, row));
    EXPECT_EQ(row.Type.str(), "DDE");
    dde.Action = "Comment";
    EXPECT_FALSE(WriteExchangeRow(dde, row));
}

TEST_F(ScriptExchangeTest, ExportWritesTheTaskByteForByteAndReplacesAnOldFile) {
    Scripting keys = Item("Send Keys");
    keys.Keystrokes = "abc";
    AddItem(7, keys);
    Scripting wait = Item("Wait");
    wait.SecondsToWait = 10;
    wait.WaitForWindow = "Untitled - \"Notepad\"";
    AddItem(7, wait);
    AddItem(7, Item("Comment"));  // no column rule: not written
    Scripting prog = Item("Start Program");
    prog.Command = "report.txt";
    prog.DDEApplicationName = "0";
    prog.DDEApplicationTopic = "Print";
    AddItem(7, prog);
    AddItem(8, Item("Exit Script"));  // another task

    WriteBytes("out.krs", "old contents that must go");
    EXPECT_EQ(ExportScript(7, "out.krs"), ProcessState::Finished);
    EXPECT_EQ(Read("out.krs"),
              "\"Send Keys\",\"abc\",\"\",\"\",\"\",\"\",\"\"\r\n"
              "\"Wait\",\"10\",\"Untitled - \"\"Notepad\"\"\",\"\",\"\",\"\",\"\"\r\n"
              "\"Start Program\",\"report.txt\",\"\",\"0\",\"0\",\"Print\",\"\"\r\n");

    // A task without items gives an empty file.
    EXPECT_EQ(ExportScript(9, "out.krs"), ProcessState::Finished);
    EXPECT_EQ(Read("out.krs"), "");
    for (const auto& e : fs::directory_iterator(dir_))  // no temporary left behind
        EXPECT_EQ(e.path().filename().string().find("out.krs."), std::string::npos);

    // A new file is the owner's alone; a file replaced keeps its mode.
    const mode_t before = ::umask(022);
    EXPECT_EQ(ExportScript(7, "new.krs"), ProcessState::Finished);
    EXPECT_EQ(fs::status("new.krs").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions("out.krs", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(ExportScript(7, "out.krs"), ProcessState::Finished);
    EXPECT_EQ(fs::status("out.krs").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ::umask(before);

    // A folder that does not exist fails and writes nothing.
    EXPECT_EQ(ExportScript(7, "nowhere/out.krs"), ProcessState::Failed);
}

TEST_F(ScriptExchangeTest, ImportAppendsItemsSkipsCommentsAndReportsUnknownWords) {
    AddItem(3, Item("Exit Script"));
    WriteBytes("in.krs",
               "\"Comment\",\"this file types a greeting\",\"\",\"\",\"\",\"\",\"\"\r\n"
               "\"Send Keystrokes\",\"hello\",\"\",\"\",\"\",\"\",\"\"\r\n"
               "\"Bogus\",\"x\",\"\",\"\",\"\",\"\",\"\"\r\n"
               "\n"
               "\"DDE (Dynamic Data Ex\",\"Execute\",\"org.example\",\"Topic\",\"\",\"cmd\",\"\"\r\n"
               "\"Start Program\",\"a.txt\",\"\",\"0\",\"0\",\"Print\",\"\"\r\n");
    EXPECT_EQ(ImportScript(3, "in.krs"), ProcessState::Finished);
    const std::vector<Scripting> items = ItemsOf(3);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].Action.str(), "Exit Script");  // the old item stays first
    EXPECT_EQ(items[1].Action.str(), "Send Keys");
    EXPECT_EQ(items[1].Keystrokes.str(), "hello");
    EXPECT_EQ(items[2].Action.str(), "DDE");
    EXPECT_EQ(items[2].DDECommand.str(), "cmd");
    EXPECT_EQ(items[3].DDEApplicationTopic.str(), "Print");
    EXPECT_LT(items[0].Sequence, items[1].Sequence);
    EXPECT_LT(items[2].Sequence, items[3].Sequence);
    const auto shown = responder_.shown();
    ASSERT_EQ(shown.size(), 1u);  // nothing for the comment and the blank line
    EXPECT_EQ(shown[0].request.text, "Unrecognized script action: Bogus");
    EXPECT_EQ(shown[0].request.title, "Import Error");

    // A file of comments only adds nothing and says nothing.
    WriteBytes("comments.krs", "\"Comment\",\"a\"\r\n\"Comment\",\"b\"\r\n");
    EXPECT_EQ(ImportScript(3, "comments.krs"), ProcessState::Finished);
    EXPECT_EQ(ItemsOf(3).size(), 4u);
    EXPECT_EQ(responder_.shown().size(), 1u);

    // A file that cannot be read fails and adds nothing.
    EXPECT_EQ(ImportScript(3, "missing.krs"), ProcessState::Failed);
    EXPECT_EQ(ItemsOf(3).size(), 4u);
}

}  // namespace
}  // namespace kr
