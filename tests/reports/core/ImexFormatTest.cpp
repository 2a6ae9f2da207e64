// The exchange file format: lines as the writer builds them, records and
// fields as the reader takes them apart, and the file that replaces its
// target only when complete.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/data/WorkCopies.h"
#include "platform/runtime/Picture.h"
#include "reports/Imex.h"

namespace kr::reports {
namespace {

using Fields = std::vector<std::pair<int, std::string>>;

// Every field of the next record, with its result code.
Fields ReadRecord(Imex& imex) {
    Fields out;
    EXPECT_GT(imex.NextLine(), 0);
    for (int r; (r = imex.NextField()) != 0;) out.emplace_back(r, imex.Field());
    return out;
}

Fields ReadLine(std::string_view text) {
    Imex imex;
    imex.SetText(text);
    return ReadRecord(imex);
}

TEST(ImexWriter, QuotesTextsWritesNumbersBareAndEmptyTextAsTwoQuotes) {
    Imex imex;
    imex.ClearLine();
    imex.AddField(Value("He said \"hi\""), false, "@s40");
    imex.AddField(Value(0), false, "@n3");
    imex.AddField(Value(""), false, "@s20");
    EXPECT_EQ(imex.Line(), R"("He said ""hi""",0,"")");

    // Numbers are raw whatever the picture's sign or blank mark; texts keep
    // leading blanks and lose trailing ones; nothing trails the last field.
    imex.ClearLine();
    imex.AddField(Value(-7), false, "@n-2b");
    imex.AddField(Value(0), false, "@n-2b");
    imex.AddField(Value("  padded   "), false, "@s20");
    imex.AddText("  42  ", false, "@n6");
    EXPECT_EQ(imex.Line(), R"(-7,0,"  padded",42)");
}

TEST(ImexWriter, HeaderModeRewritesSubscriptsOnlyAndDoublesNoQuotes) {
    Imex imex;
    imex.ClearLine();
    for (const char* name : {"SCH:Date", "A[1,2]", "B,C"}) imex.AddField(Value(name), true, kHeaderPicture);
    EXPECT_EQ(imex.Line(), R"("SCH:Date","A_1_2","B,C")");
    imex.ClearLine();
    imex.AddText("Say \"x\"", true, kHeaderPicture);
    EXPECT_EQ(imex.Line(), R"("Say "x"")");
}

TEST(ImexWriter, FormattedFieldsAreQuotedAndBlankDatesReadBackAsZero) {
    Imex imex;
    imex.ClearLine();
    imex.AddField(Value(0), false, "@d17b");
    imex.AddField(Value(81234), false, "@d3");
    const std::string line = imex.Line();
    ASSERT_GE(line.size(), 2u);
    const std::size_t comma = line.find("\",\"");
    ASSERT_NE(comma, std::string::npos);
    const std::string first = line.substr(0, comma + 1);
    EXPECT_EQ(first.front(), '"');
    EXPECT_EQ(first.find_first_of("0123456789"), std::string::npos) << first;
    EXPECT_EQ(line.substr(comma + 2), "\"" + Format(Value(81234), "@d3") + "\"");

    imex.SetText(line);
    ASSERT_GT(imex.NextLine(), 0);
    ASSERT_EQ(imex.NextField(), 1);
    imex.DeformatField("@d17");
    EXPECT_EQ(imex.Field(), "0");
    ASSERT_EQ(imex.NextField(), 1);
    imex.DeformatField("@d3");
    EXPECT_EQ(imex.Field(), "81234");
    // A second conversion of the same field changes nothing.
    imex.DeformatField("@d3");
    EXPECT_EQ(imex.Field(), "81234");
}

TEST(ImexWriter, FieldsAndLinesAreCutAtTheirLimitsNeverInsideACharacter) {
    Imex imex;
    imex.ClearLine();
    const std::string e = "\xC3\xA9";  // one two-byte character
    std::string text;
    for (int i = 0; i < 9000; ++i) text += e;
    imex.AddText(text, false, "@s255");
    // The quotes plus 8,000 characters of two bytes.
    EXPECT_EQ(imex.Line().size(), 2 + 8000u * 2);
    for (int i = 0; i < 3; ++i) imex.AddText(text, false, "@s255");
    std::size_t chars = 0;
    for (char c : imex.Line())
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++chars;
    EXPECT_EQ(chars, kImexLineChars);
    // The last byte ends a whole character.
    const unsigned char last = static_cast<unsigned char>(imex.Line().back());
    EXPECT_TRUE(last == 0xA9 || last == '"' || last == ',');
}

TEST(ImexReader, BareQuotedAndEmptyFieldsAsTheFormatDefines) {
    EXPECT_EQ(ReadLine("a,,b"), (Fields{{2, "a"}, {2, ""}, {2, "b"}}));
    // A trailing empty bare field is not reported.
    EXPECT_EQ(ReadLine("a,b,"), (Fields{{2, "a"}, {2, "b"}}));
    // The one character after a closing quote is skipped; the comma then
    // starts an empty bare field.
    EXPECT_EQ(ReadLine(R"("x"y,z)"), (Fields{{1, "x"}, {2, ""}, {2, "z"}}));
    EXPECT_EQ(ReadLine(R"("""""")"), (Fields{{1, R"("")"}}));
    EXPECT_EQ(ReadLine(R"("abc)"), (Fields{{1, "abc"}}));
    EXPECT_EQ(ReadLine(R"("He said ""hi""",0,"")"), (Fields{{1, R"(He said "hi")"}, {2, "0"}, {1, ""}}));
    // A quote after a blank starts no quoted field; blanks to the end end the line.
    EXPECT_EQ(ReadLine(R"(a, "b",c   )"), (Fields{{2, "a"}, {2, R"( "b")"}, {2, "c   "}}));
    EXPECT_EQ(ReadLine("a,   "), (Fields{{2, "a"}}));
}

TEST(ImexReader, LineEndsOfEveryKindAndEmptyLinesAreNotTheEnd) {
    Imex imex;
    imex.SetText("a,b\r\nc\nd\re\r\n\r\nf");
    EXPECT_EQ(ReadRecord(imex), (Fields{{2, "a"}, {2, "b"}}));
    for (const char* expected : {"c", "d", "e"}) EXPECT_EQ(ReadRecord(imex), (Fields{{2, expected}}));
    EXPECT_EQ(imex.NextLine(), 2);  // the empty line
    EXPECT_EQ(imex.NextField(), 0);
    EXPECT_EQ(ReadRecord(imex), (Fields{{2, "f"}}));
    EXPECT_EQ(imex.NextLine(), 0);
    EXPECT_EQ(imex.TextPosition(), imex.TextSize());
    imex.SetImport();
    EXPECT_EQ(ReadRecord(imex), (Fields{{2, "a"}, {2, "b"}}));
}

TEST(ImexReader, AQuotedFieldGoesOnOverLineBreaksOnlyWhenItsQuoteClosesWithinTheLimit) {
    Imex imex;
    imex.SetText("\"Call Bob\r\nthen \"\"Ann\"\"\",x\r\nnext\r\n");
    EXPECT_EQ(ReadRecord(imex), (Fields{{1, "Call Bob\r\nthen \"Ann\""}, {2, "x"}}));
    EXPECT_EQ(ReadRecord(imex), (Fields{{2, "next"}}));

    // Left open past 8,000 characters: the field ends with its line.
    std::string text = "\"open,1\r\n" + std::string(9000, 'z') + "\"\r\nlast";
    imex.SetText(text);
    EXPECT_EQ(ReadRecord(imex), (Fields{{1, "open,1"}}));
    EXPECT_EQ(ReadRecord(imex), (Fields{{2, std::string(8000, 'z')}}));
    EXPECT_EQ(ReadRecord(imex), (Fields{{2, "last"}}));
}

// A quote that opens a field and is never closed on its line: the next
// line's quotes close the field only when a comma or the line's end follows,
// so the next record is not taken into this one.
TEST(ImexReader, AStrayQuoteDoesNotTakeTheNextRecord) {
    Imex imex;
    imex.SetText("\"Smith, 12\r\n\"Jones\",\"14\"\r\n\"Brown\",16\r\n");
    EXPECT_EQ(ReadRecord(imex), (Fields{{1, "Smith, 12"}}));
    EXPECT_EQ(ReadRecord(imex), (Fields{{1, "Jones"}, {1, "14"}}));
    EXPECT_EQ(ReadRecord(imex), (Fields{{1, "Brown"}, {2, "16"}}));
    EXPECT_EQ(imex.NextLine(), 0);

    // A field that really goes on closes at a line's end or before a comma.
    imex.SetText("\"two\nlines\"\n\"one\nmore\",x\n");
    EXPECT_EQ(ReadRecord(imex), (Fields{{1, "two\nlines"}}));
    EXPECT_EQ(ReadRecord(imex), (Fields{{1, "one\nmore"}, {2, "x"}}));
}

// The encoding is decided line by line: one byte that is not UTF-8 makes
// only its own line Windows-1252.
TEST(ImexReader, OneLineThatIsNotUtf8LeavesTheOthersTheirText) {
    std::string text;
    for (int i = 0; i < 3; ++i) text += "\"M\xC3\xBCller\",\"Jos\xC3\xA9\",\"caf\xC3\xA9\"\r\n";
    text += "\"caf\xE9\"\r\n";
    text += "\"M\xC3\xBCller\"\r\n";
    Imex imex;
    imex.SetText("\xEF\xBB\xBF" + text);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ReadRecord(imex), (Fields{{1, "M\xC3\xBCller"}, {1, "Jos\xC3\xA9"}, {1, "caf\xC3\xA9"}}));
    EXPECT_EQ(ReadRecord(imex), (Fields{{1, "caf\xC3\xA9"}}));
    EXPECT_EQ(ReadRecord(imex), (Fields{{1, "M\xC3\xBCller"}}));
}

TEST(ImexReader, TextThatIsNotUtf8IsReadAsWindows1252) {
    EXPECT_EQ(ReadLine("\"caf\xE9\",\x80"), (Fields{{1, "caf\xC3\xA9"}, {2, "\xE2\x82\xAC"}}));
    EXPECT_EQ(ReadLine("\xEF\xBB\xBF\"caf\xC3\xA9\""), (Fields{{1, "caf\xC3\xA9"}}));
}

TEST(ImexReader, WrittenLinesReadBackUnchanged) {
    const std::vector<std::string> texts = {"plain", "with, comma", "\"quoted\"", "", "\"\"\"\"", "two\r\nlines"};
    Imex w;
    w.ClearLine();
    for (const std::string& t : texts) w.AddText(t, false, "@s255");
    Imex r;
    r.SetText(w.Line() + "\r\n");
    Fields expected;
    for (const std::string& t : texts) expected.emplace_back(1, t);
    EXPECT_EQ(ReadRecord(r), expected);
}

class ImexFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string t = "/tmp/imex-file-XXXXXX";
        ASSERT_NE(mkdtemp(t.data()), nullptr);
        dir_ = t;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    static std::string Read(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::size_t FilesIn() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir_), {}));
    }
    std::filesystem::path dir_;
};

TEST_F(ImexFileTest, ReplacesTheTargetOnlyOnCommitWithCrLfAndNoTrailingBlanks) {
    const std::filesystem::path target = dir_ / "out.csv";
    std::ofstream(target) << "old contents";
    ImexExportFile f;
    ImexError e;
    ASSERT_TRUE(f.Create(target.string(), e));
    ASSERT_TRUE(f.AddLine("\"a\",1   ", e));
    ASSERT_TRUE(f.AddLine("2", e));
    EXPECT_EQ(Read(target), "old contents");
    f.Discard();
    EXPECT_EQ(Read(target), "old contents");
    EXPECT_EQ(FilesIn(), 1u);

    ASSERT_TRUE(f.Create(target.string(), e));
    ASSERT_TRUE(f.AddLine("\"a\",1   ", e));
    ASSERT_TRUE(f.AddLine("2", e));
    ASSERT_TRUE(f.Commit(e)) << e.Message();
    EXPECT_EQ(Read(target), "\"a\",1\r\n2\r\n");
    EXPECT_EQ(FilesIn(), 1u);
}

TEST_F(ImexFileTest, ANewExportIsTheOwnersAloneAReplacedOneKeepsItsMode) {
    namespace fs = std::filesystem;
    const mode_t before = ::umask(022);
    auto write = [&](const fs::path& target) {
        ImexExportFile f;
        ImexError e;
        ASSERT_TRUE(f.Create(target.string(), e));
        ASSERT_TRUE(f.AddLine("\"contact\",1", e));
        ASSERT_TRUE(f.Commit(e)) << e.Message();
    };
    write(dir_ / "new.csv");
    EXPECT_EQ(fs::status(dir_ / "new.csv").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    std::ofstream(dir_ / "shared.csv") << "old";
    fs::permissions(dir_ / "shared.csv", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    write(dir_ / "shared.csv");
    EXPECT_EQ(fs::status(dir_ / "shared.csv").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ::umask(before);
}

TEST_F(ImexFileTest, CreateAndOpenErrorsCarryTheRuntimeCode) {
    ImexExportFile f;
    ImexError e;
    EXPECT_FALSE(f.Create((dir_ / "missing" / "x.csv").string(), e));
    EXPECT_EQ(e.code, 2);
    EXPECT_EQ(e.Message().rfind("Error #2 - ", 0), 0u);

    Imex imex;
    EXPECT_EQ(OpenImportFile(imex, (dir_ / "none.csv").string(), e), 0);
    EXPECT_EQ(e.code, 2);
    std::ofstream(dir_ / "empty.csv").close();
    EXPECT_EQ(OpenImportFile(imex, (dir_ / "empty.csv").string(), e), 0);
    EXPECT_EQ(e.code, 0);
    std::ofstream(dir_ / "one.csv") << "a,b\r\n";
    EXPECT_EQ(OpenImportFile(imex, (dir_ / "one.csv").string(), e), 5);

    // A FIFO (or any file that is not a regular one) is refused at once
    // with a message, never waited on.
    const std::string fifo = (dir_ / "pipe.csv").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(OpenImportFile(imex, fifo, e), 0);
    EXPECT_EQ(e.Message(), "Error #5 - Not a regular file");
}

// A file read through its window gives the records the whole text gives:
// records across the window's edges, a CR LF split by it, a quoted field
// over line breaks, a line in Windows-1252, a line longer than the window.
TEST_F(ImexFileTest, AFileReadThroughItsWindowGivesTheSameRecordsAsItsWholeText) {
    std::string text = "\xEF\xBB\xBF\"head\"\r\n";
    for (int i = 0; text.size() < (5u << 20); ++i) {
        text += "\"name " + std::to_string(i) + "\"," + std::to_string(i);
        if (i % 997 == 0) text += ",\"two\r\nlines\"";
        if (i % 1999 == 0) text += ",\"caf\xE9\"";
        text += i % 3 ? "\r\n" : "\n";
        if (i == 20000) text += "\"" + std::string(3u << 20, 'w') + "\",end\r\n";
    }
    const std::filesystem::path file = dir_ / "big.csv";
    std::ofstream(file, std::ios::binary) << text;
    Imex whole, windowed;
    whole.SetText(text);
    ImexError e;
    ASSERT_TRUE(windowed.LoadFile(file.string(), e)) << e.Message();
    EXPECT_EQ(windowed.TextSize(), static_cast<int64_t>(text.size()));
    for (int pass = 0; pass < 2; ++pass) {
        int records = 0;
        for (;;) {
            const int64_t a = whole.NextLine(), b = windowed.NextLine();
            ASSERT_EQ(a, b) << "record " << records;
            if (a == 0) break;
            ++records;
            for (int r; (r = whole.NextField()) != 0;) {
                ASSERT_EQ(windowed.NextField(), r) << "record " << records;
                ASSERT_EQ(windowed.Field(), whole.Field()) << "record " << records;
            }
            ASSERT_EQ(windowed.NextField(), 0);
            ASSERT_EQ(windowed.LinesOfRecord(), whole.LinesOfRecord());
        }
        EXPECT_GT(records, 50000);
        whole.SetImport();
        windowed.SetImport();
    }
}

// A record that outgrows the longest the window holds (a line with no line
// break, an opened quote never closed) ends the reading with the reason;
// the records before it were read whole, and nothing after it comes as
// pieces of that line. Opening refuses a file whose first records do so.
TEST_F(ImexFileTest, ARecordPastTheLongestEndsTheReadingWithItsReason) {
    std::string text = "\"head\"\r\n";
    for (int i = 0; i < 100; ++i) text += "\"name " + std::to_string(i) + "\"\r\n";
    // Just under the longest: read as one record.
    text += "\"" + std::string(200u << 10, 'a') + "\"\r\n";
    const std::string endless = "\"" + std::string(600u << 10, 'x') + "\r\n\"" + std::string(600u << 10, 'y');
    const std::filesystem::path file = dir_ / "endless.csv";
    std::ofstream(file, std::ios::binary) << text << endless;
    Imex imex;
    imex.SetLongestRecord(256u << 10);
    ImexError e;
    ASSERT_GT(OpenImportFile(imex, file.string(), e), 0) << e.Message();
    EXPECT_EQ(imex.FileName(), file.string());
    for (int pass = 0; pass < 2; ++pass) {
        int records = 0;
        while (imex.NextLine() != 0) ++records;
        EXPECT_EQ(records, 102);
        EXPECT_EQ(imex.ReadFailure().Message(),
                  "Error #90 - A record of more than 256 KB: the file is read no further");
        EXPECT_EQ(imex.NextLine(), 0);
        imex.SetImport();  // from the start again, as the import does
        EXPECT_EQ(imex.ReadFailure().code, 0);
    }

    const std::filesystem::path first = dir_ / "first.csv";
    std::ofstream(first, std::ios::binary) << "\"head\"\r\n" << endless;
    Imex other;
    other.SetLongestRecord(256u << 10);
    EXPECT_EQ(OpenImportFile(other, first.string(), e), 0);
    EXPECT_EQ(e.code, 90);

    // Lines ended by CR alone are records of their own, not one long one.
    std::string cr;
    for (int i = 0; cr.size() < (1u << 20); ++i) cr += "\"caf\xE9 " + std::to_string(i) + "\",1\r";
    const std::filesystem::path mac = dir_ / "mac.csv";
    std::ofstream(mac, std::ios::binary) << cr;
    Imex whole, windowed;
    whole.SetText(cr);
    windowed.SetLongestRecord(256u << 10);
    ASSERT_GT(OpenImportFile(windowed, mac.string(), e), 0) << e.Message();
    int records = 0;
    for (int64_t a; (a = whole.NextLine()) != 0; ++records) {
        ASSERT_EQ(windowed.NextLine(), a) << "record " << records;
        ASSERT_EQ(whole.NextField(), windowed.NextField());
        ASSERT_EQ(whole.Field(), windowed.Field()) << "record " << records;
    }
    EXPECT_EQ(windowed.NextLine(), 0);
    EXPECT_EQ(windowed.ReadFailure().code, 0);
    EXPECT_GT(records, 50000);
}

// Not memory enough for the window a long record needs (the process's
// address space limited in a child): the reading ends with "Not enough
// memory", the window is given back and the process reads on.
TEST_F(ImexFileTest, NotMemoryEnoughForTheWindowEndsTheReadingAndTheProcessGoesOn) {
    const std::filesystem::path big = dir_ / "big.csv", small = dir_ / "small.csv";
    {
        std::ofstream out(big, std::ios::binary);
        out << "\"head\"\r\n\"one\"\r\n\"two\"\r\n\"" << std::string(24u << 20, 'x') << "\"\r\n\"three\"\r\n";
        std::ofstream(small, std::ios::binary) << "\"head\"\r\n\"one\"\r\n";
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        long vm = 0;
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmSize:", 0) == 0) vm = std::atol(line.c_str() + 7);
        struct rlimit rl {};
        ::getrlimit(RLIMIT_AS, &rl);
        rl.rlim_cur = static_cast<rlim_t>(vm + 8 * 1024) * 1024;
        if (vm == 0 || ::setrlimit(RLIMIT_AS, &rl) != 0) ::_exit(10);
        ImexError e;
        int records = 0;
        {
            Imex imex;
            if (OpenImportFile(imex, big.string(), e) == 0) ::_exit(11);
            while (imex.NextLine() != 0) ++records;
            if (records != 3) ::_exit(12);
            if (imex.ReadFailure().Message() != "Error #8 - Not enough memory to read the file") ::_exit(13);
        }
        Imex again;
        if (OpenImportFile(again, small.string(), e) == 0) ::_exit(14);
        records = 0;
        while (again.NextLine() != 0) ++records;
        ::_exit(records == 2 && again.ReadFailure().code == 0 ? 0 : 15);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "the child was ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// An export killed at work leaves "<target>.XXXXXX" beside its target, in
// whatever folder that is; the next start, in the data folder, sweeps it
// away and leaves the target as it was.
TEST_F(ImexFileTest, KilledExportLeavesNothingBesideTheTargetAfterTheNextStart) {
    std::filesystem::create_directories(dir_ / "data");
    std::filesystem::create_directories(dir_ / "out");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir_ / "data");
    const std::filesystem::path target = dir_ / "out" / "contacts.csv";
    std::ofstream(target) << "old contents";
    const pid_t exporter = ::fork();
    if (exporter == 0) {
        ImexExportFile f;
        ImexError e;
        if (!f.Create(target.string(), e)) _exit(1);
        f.AddLine("\"a\",1", e);
        f.Flush(e);
        ::raise(SIGKILL);
    }
    int status = 0;
    ::waitpid(exporter, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    const auto outFiles = [&] {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir_ / "out"), {}));
    };
    EXPECT_EQ(outFiles(), 2u);
    EXPECT_EQ(data::RemoveStrayWorkCopies("."), 1);
    EXPECT_EQ(outFiles(), 1u);
    EXPECT_EQ(Read(target), "old contents");
    EXPECT_TRUE(std::filesystem::is_empty(dir_ / "data"));
    std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace kr::reports
