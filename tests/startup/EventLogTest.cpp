// The event log: the line layout byte for byte, the date fallback, the write
// counter, and lines from several threads and another process.
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "StartupFixture.h"

namespace kr::test {
namespace {

class EventLogTest : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        Options().GlobalUseLog = 1;
    }
    static std::string Pad(const std::string& s, std::size_t n) { return s + std::string(n - s.size(), ' '); }
};

TEST_F(EventLogTest, OffWritesNothingAndCreatesNoFile) {
    Options().GlobalUseLog = 0;
    LogEvent("Message", "text");
    EXPECT_FALSE(std::filesystem::exists("KR98Evnt.LOG"));
    EXPECT_EQ(EventLogWriteCounter(), 0);
}

TEST_F(EventLogTest, LineLayoutByteForByte) {
    LogEvent("Run Program", "/usr/bin/true");
    std::string expected = Pad("OCT 31,1959", 12) + Pad("5:30 PM", 10) + Pad("Run Program", 32) +
                           Pad("/usr/bin/true", 128) + "\r\n";
    ASSERT_EQ(expected.size(), 184u);
    EXPECT_EQ(ReadFile("KR98Evnt.LOG"), expected);

    // Longer texts are cut, line breaks blanked.
    LogEvent(std::string(40, 'L'), "first\r\nsecond" + std::string(200, 'd'));
    std::vector<std::string> lines = Lines("KR98Evnt.LOG");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].size(), 182u);
    EXPECT_EQ(lines[1].substr(22, 32), std::string(32, 'L'));
    EXPECT_EQ(lines[1].substr(54, 13), "first  second");
}

TEST_F(EventLogTest, DateFormatFallsBackToD3WhenTooLong) {
    clock_.Set(MakeDate(9, 30, 2000), MakeTime(8, 5));
    Options().GlobalDateFormat = "d4";  // "September 30, 2000" is 18 characters
    LogEvent("Debug", "x");
    Options().GlobalDateFormat = "d6";
    LogEvent("Debug", "y");
    std::vector<std::string> lines = Lines("KR98Evnt.LOG");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 22), Pad("SEP 30,2000", 12) + Pad("8:05 AM", 10));
    EXPECT_EQ(lines[1].substr(0, 12), Pad("30/09/2000", 12));
}

TEST_F(EventLogTest, UserDateFormats) {
    const int32_t d = MakeDate(10, 31, 1959);
    EXPECT_EQ(FormatUserDate(0), "");
    Options().GlobalDateFormat = "d15";
    EXPECT_EQ(FormatUserDate(d), "59/10");
    Options().GlobalDateFormat = "d1";
    EXPECT_EQ(FormatUserDate(d), "10/31/59");
    Options().GlobalDateFormat = "d4";
    EXPECT_EQ(FormatUserDate(d), "October 31, 1959");
    Options().GlobalDateFormat = "n4b";
    EXPECT_EQ(FormatUserDate(d), "1959");
    for (const char* other : {"d19", "d0", "x", "", "dd"}) {
        Options().GlobalDateFormat = other;
        EXPECT_EQ(FormatUserDate(d), "OCT 31,1959") << other;
    }
}

TEST_F(EventLogTest, FileClosesAfterEvery101stLine) {
    for (int i = 1; i <= 100; ++i) LogEvent("Line", std::to_string(i));
    EXPECT_EQ(EventLogWriteCounter(), 100);
    LogEvent("Line", "101");
    EXPECT_EQ(EventLogWriteCounter(), 0) << "closed after the 101st";
    // Closed means closed: a file put in its place gets the next line.
    std::filesystem::rename("KR98Evnt.LOG", "old.log");
    LogEvent("Line", "102");
    EXPECT_EQ(EventLogWriteCounter(), 1);
    EXPECT_EQ(Lines("old.log").size(), 101u);
    ASSERT_EQ(Lines("KR98Evnt.LOG").size(), 1u);
    EXPECT_EQ(Lines("KR98Evnt.LOG")[0].substr(54, 3), "102");
}

TEST_F(EventLogTest, FollowsTheCurrentFolderAndADeletedFile) {
    LogEvent("Line", "1");
    std::filesystem::create_directory("sub");
    std::filesystem::current_path("sub");
    LogEvent("Line", "2");
    std::filesystem::current_path(dir_);
    EXPECT_EQ(Lines("KR98Evnt.LOG").size(), 1u);
    EXPECT_EQ(Lines("sub/KR98Evnt.LOG").size(), 1u);
    LogEvent("Line", "3");
    std::filesystem::remove("KR98Evnt.LOG");
    LogEvent("Line", "4");
    ASSERT_EQ(Lines("KR98Evnt.LOG").size(), 1u) << "a deleted log is made again, not written into the void";
    EXPECT_EQ(Lines("KR98Evnt.LOG")[0].substr(54, 1), "4");
}

TEST_F(EventLogTest, ExistingFileInAnotherCaseIsAppendedTo) {
    WriteFile("kr98evnt.log", "");
    LogEvent("Message", "x");
    EXPECT_FALSE(std::filesystem::exists("KR98Evnt.LOG"));
    EXPECT_EQ(Lines("kr98evnt.log").size(), 1u);
    EXPECT_EQ(EventLogPath(), "kr98evnt.log");
}

TEST_F(EventLogTest, UnwritableFolderNeitherReportsNorStops) {
    std::filesystem::create_directory("KR98Evnt.LOG");  // no file can be made under that name
    LogEvent("Message", "x");
    EXPECT_EQ(EventLogWriteCounter(), 0);
    EXPECT_TRUE(responder_.shown().empty());
}

TEST_F(EventLogTest, TheTransferPasswordIsMaskedInEveryLineWhoeverWritesIt) {
    const std::string secret = "S3cr3t";
    const std::string args = " U a.txt /r/ host alice ";
    auto detail = [](const std::string& line) { return ClipRight(line.substr(54)); };
    // A description made from a command, as the skip lines and the advance
    // warnings log it, by either writer; in the label too.
    LogEvent("Task skipped", "Run: KRFTP" + args + secret);
    LogEventAlways("Missed task skipped", "Run: /opt/kr/krftp.exe" + args + secret);
    LogEvent("KRFTP" + args + secret, "x");
    // Where the password's word cannot be told: every argument after KRFTP,
    // and those handed to the shell text.
    LogEvent("Task skipped", "Run: sh -c \"KRFTP 2>/dev/null" + args + secret + "\"");
    LogEvent("Task skipped", "Run: sh -c 'exec KRFTP \"$@\"' _" + args + secret);
    // A description cut short in the password (40 characters): the cut
    // word is masked, and its few letters nowhere else.
    LogEvent("Advanced Warning", "Skipped:  Run: KRFTP" + args + "S3");
    // A line that names no KRFTP is written as it is.
    LogEvent("Task skipped", "Run: echo" + args + secret);

    const std::vector<std::string> lines = Lines("KR98Evnt.LOG");
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(detail(lines[0]), "Run: KRFTP" + args + "********");
    EXPECT_EQ(detail(lines[1]), "Run: /opt/kr/krftp.exe" + args + "********");
    EXPECT_EQ(ClipRight(lines[2].substr(22, 32)), ("KRFTP" + args + "********").substr(0, 32));
    const std::string seven = "******** ******** ******** ******** ******** ******** ********";
    EXPECT_EQ(detail(lines[3]), "Run: sh -c \"KRFTP " + seven + "\"");
    EXPECT_EQ(detail(lines[4]), "Run: sh -c 'exec KRFTP ********' " + seven);
    EXPECT_EQ(detail(lines[5]), "Skipped:  Run: KRFTP" + args + "********");
    EXPECT_EQ(detail(lines[6]), "Run: echo" + args + secret);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        EXPECT_EQ(lines[i].find("S3c"), std::string::npos) << lines[i];
}

// Every line is whole: 182 characters and CR LF, a known label, a number.
void ExpectWholeLines(const std::string& all, std::size_t count) {
    ASSERT_EQ(all.size(), count * 184) << "bytes lost or mixed";
    for (std::size_t i = 0; i < count; ++i) {
        std::string line = all.substr(i * 184, 184);
        ASSERT_EQ(line.substr(182), "\r\n") << "line " << i;
        std::string label = ClipRight(line.substr(22, 32));
        ASSERT_TRUE(label.rfind("thread", 0) == 0 || label == "child") << line;
    }
}

TEST_F(EventLogTest, ThreadsAndAnotherProcessWriteWholeLines) {
    CloseEventLog();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int i = 0; i < 300; ++i) LogEvent("child", std::to_string(i));
        CloseEventLog();
        _exit(0);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 150; ++i) LogEvent("thread" + std::to_string(t), std::to_string(i));
        });
    for (auto& th : threads) th.join();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ExpectWholeLines(ReadFile("KR98Evnt.LOG"), 900);
}

}  // namespace
}  // namespace kr::test
