// The line drivers: ASCII fixed-width lines, comma-delimited lines and raw
// bytes, read and written through the same record buffers.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "DataFixture.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Strings.h"

namespace kr::test {
namespace {

class FlatTest : public DataTest {
protected:
    std::string Contents(const std::string& name) {
        std::ifstream f(path(name), std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    void AddLog(Table& t, const std::string& label, const std::string& data) {
        t.Clear();
        t.Rec<LogLine>().Date = "OCT 31,1959";
        t.Rec<LogLine>().Time = "12:00:00";
        t.Rec<LogLine>().Label = label;
        t.Rec<LogLine>().Data = data;
        ASSERT_EQ(t.Add(), 0);
    }
};

TEST_F(FlatTest, AsciiLinesAreFixedWidthWithCrLf) {
    Table& t = Fresh(LogDef());
    AddLog(t, "Message", "first");
    AddLog(t, "Error", std::string(200, 'x'));  // cut to the field
    std::string c = Contents("Events.LOG");
    ASSERT_EQ(c.size(), 2u * (182 + 2));
    std::string line1 = c.substr(0, 184);
    EXPECT_EQ(line1.substr(0, 12), "OCT 31,1959 ");
    EXPECT_EQ(line1.substr(22, 32), "Message" + std::string(25, ' '));
    EXPECT_EQ(line1.substr(54, 5), "first");
    EXPECT_EQ(line1.substr(182), "\r\n");
    EXPECT_EQ(c.substr(184 + 54, 128), std::string(128, 'x'));

    EXPECT_EQ(t.Records(), 2);
    t.Set();
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<LogLine>().Label.str(), "Message");
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<LogLine>().Label.str(), "Error");
    EXPECT_EQ(t.Next(), kRecordNotAvailable);
    t.Set();
    ASSERT_EQ(t.Previous(), 0);
    EXPECT_EQ(t.Rec<LogLine>().Label.str(), "Error");
    ASSERT_EQ(t.Previous(), 0);
    EXPECT_EQ(t.Rec<LogLine>().Label.str(), "Message");
    EXPECT_EQ(t.Previous(), kRecordNotAvailable);
    // PUT writes the line in place; DELETE is not what line files do.
    t.Set();
    ASSERT_EQ(t.Next(), 0);
    t.Rec<LogLine>().Data = "changed";
    ASSERT_EQ(t.Put(), 0);
    EXPECT_EQ(Contents("Events.LOG").substr(54, 7), "changed");
    EXPECT_EQ(Contents("Events.LOG").size(), 2u * 184);
    EXPECT_EQ(t.Delete(), kUnsupported);
    EXPECT_EQ(t.Get(LogDef().key("x")), kInvalidKeyLength);
}

TEST_F(FlatTest, LinesWrittenElsewhereAreReadTolerantly) {
    std::ofstream(path("Events.LOG"), std::ios::binary) << "SHORT\nNEXT LINE WITHOUT END";
    Table& t = T(LogDef());
    ASSERT_EQ(t.Open(), 0);
    EXPECT_EQ(t.Records(), 2);
    t.Set();
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<LogLine>().Date.str(), "SHORT");
    EXPECT_TRUE(t.Rec<LogLine>().Data.empty());
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<LogLine>().Date.str(), "NEXT LINE WI");
    EXPECT_EQ(t.Rec<LogLine>().Time.str(), "THOUT END");
}

TEST_F(FlatTest, TwoProgramsAppendingToOneLogKeepEveryLineWhole) {
    Table& t = Fresh(LogDef());
    t.Close();
    std::string helper = std::string(KR_BIN_DIR) + "/kr_data_helper";
    std::string out = Shell(helper + " log " + folder_ + " 500 one & " + helper + " log " + folder_ +
                            " 500 two & wait; echo done");
    EXPECT_NE(out.find("done"), std::string::npos);
    std::string c = Contents("Events.LOG");
    ASSERT_EQ(c.size(), 1000u * 184);
    int one = 0, two = 0;
    for (std::size_t pos = 0; pos < c.size(); pos += 184) {
        std::string line = c.substr(pos, 184);
        ASSERT_EQ(line.substr(182), "\r\n");
        std::string label = ClipRight(line.substr(22, 32));
        if (label == "one") ++one;
        else if (label == "two") ++two;
        else ADD_FAILURE() << "mixed line: " << line;
    }
    EXPECT_EQ(one, 500);
    EXPECT_EQ(two, 500);
}

TEST_F(FlatTest, CommaDelimitedQuotesTextsAndRewritesLongerRecords) {
    Table& t = Fresh(CsvDef());
    auto add = [&](const std::string& type, int count, const std::string& text) {
        t.Clear();
        t.Rec<Row3>().Type = type;
        t.Rec<Row3>().Count = count;
        t.Rec<Row3>().Text = text;
        ASSERT_EQ(t.Add(), 0);
    };
    add("Script", 3, "say \"hi\", then go");
    add("Item", -1, "");
    EXPECT_EQ(Contents("export.csv"), "\"Script\",3,\"say \"\"hi\"\", then go\"\r\n\"Item\",-1,\"\"\r\n");
    t.Set();
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<Row3>().Text.str(), "say \"hi\", then go");
    EXPECT_EQ(t.Rec<Row3>().Count, 3);
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<Row3>().Count, -1);
    t.Rec<Row3>().Text = "a longer text than before";
    ASSERT_EQ(t.Put(), 0);
    EXPECT_EQ(Contents("export.csv"),
              "\"Script\",3,\"say \"\"hi\"\", then go\"\r\n\"Item\",-1,\"a longer text than before\"\r\n");
    t.Set();
    ASSERT_EQ(t.Next(), 0);
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<Row3>().Text.str(), "a longer text than before");
    // Hand-made lines: unquoted texts and spaces around fields.
    t.Close();
    std::ofstream(path("export.csv"), std::ios::binary) << "Plain , 12 ,  \"quoted, text\"\n";
    ASSERT_EQ(t.Open(), 0);
    t.Set();
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<Row3>().Type.str(), "Plain");
    EXPECT_EQ(t.Rec<Row3>().Count, 12);
    EXPECT_EQ(t.Rec<Row3>().Text.str(), "quoted, text");
}

TEST_F(FlatTest, RewriteKeepsThePermissionsAndFollowsNoPlantedLink) {
    Table& t = Fresh(CsvDef());
    t.Clear();
    t.Rec<Row3>().Type = "Item";
    ASSERT_EQ(t.Add(), 0);
    ASSERT_EQ(::chmod(path("export.csv").c_str(), 0600), 0);
    // Another user's link where a fixed temporary name would be.
    std::ofstream(path("victim"), std::ios::binary) << "keep me";
    ASSERT_EQ(::symlink(path("victim").c_str(), path("export.csv.kr-tmp").c_str()), 0);

    t.Set();
    ASSERT_EQ(t.Next(), 0);
    t.Rec<Row3>().Text = "a longer text than before";
    ASSERT_EQ(t.Put(), 0);
    EXPECT_EQ(Contents("victim"), "keep me");
    EXPECT_EQ(Contents("export.csv"), "\"Item\",0,\"a longer text than before\"\r\n");
    struct stat st {};
    ASSERT_EQ(::lstat(path("export.csv").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    // Nothing is left beside the file but what was there.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"export.csv", "export.csv.kr-tmp", "victim"}));
}

TEST_F(FlatTest, RawBytesRoundTrip) {
    Table& t = Fresh(RawDef());
    for (int i = 0; i < 3; ++i) {
        t.Clear();
        t.Rec<Row3>().Type = "T" + std::to_string(i);
        t.Rec<Row3>().Count = -70000 * (i + 1);
        t.Rec<Row3>().Text = "text";
        ASSERT_EQ(t.Add(), 0);
    }
    std::string c = Contents("raw.dat");
    ASSERT_EQ(c.size(), 3u * 64);
    EXPECT_EQ(c.substr(0, 20), "T0" + std::string(18, ' '));
    int32_t v;
    std::memcpy(&v, c.data() + 20, 4);
    EXPECT_EQ(v, -70000);
    EXPECT_EQ(t.Records(), 3);
    t.Set();
    ASSERT_EQ(t.Previous(), 0);
    EXPECT_EQ(t.Rec<Row3>().Count, -210000);
    int64_t last = t.Pointer();
    ASSERT_EQ(t.Previous(), 0);
    EXPECT_EQ(t.Rec<Row3>().Type.str(), "T1");
    ASSERT_EQ(t.SetPointer(last), 0);
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<Row3>().Type.str(), "T2");
    EXPECT_EQ(t.Next(), kRecordNotAvailable);
}

}  // namespace
}  // namespace kr::test
