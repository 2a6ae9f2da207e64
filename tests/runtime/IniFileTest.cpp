#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/runtime/IniFile.h"

using namespace kr;
namespace fs = std::filesystem;

namespace {

// Each test works in a fresh folder that is the current folder meanwhile.
class IniTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = fs::current_path();
        char tmpl[] = "/tmp/kr_ini_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_);
        fs::remove_all(dir_);
    }
    std::string Read(const std::string& name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void WriteFile(const std::string& name, const std::string& text) {
        std::ofstream out(dir_ / name, std::ios::binary);
        out << text;
    }
    std::vector<std::string> Files() {
        std::vector<std::string> out;
        for (auto& e : fs::directory_iterator(dir_)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    fs::path old_, dir_;
};

}  // namespace

TEST_F(IniTest, MissingFileGivesDefaultsAndFirstWriteCreatesIt) {
    EXPECT_EQ(GetIniValue(".\\PATHS.INI", "PATH", "DATA", "none"), "none");
    EXPECT_TRUE(Files().empty());  // reading makes no file
    EXPECT_TRUE(PutIniValue(".\\PATHS.INI", "PATH", "DATA", "/home/me/data"));
    EXPECT_EQ(Read("PATHS.INI"), "[PATH]\nDATA=/home/me/data\n");
    EXPECT_EQ(GetIniValue("paths.ini", "path", "data"), "/home/me/data");
    EXPECT_EQ(GetIniValue("PATHS.INI", "PATH", "Other", "dflt"), "dflt");
    EXPECT_EQ(GetIniValue("PATHS.INI", "Nowhere", "DATA", "dflt"), "dflt");
    EXPECT_EQ(Files(), std::vector<std::string>{"PATHS.INI"});  // no temporary file left behind
}

TEST_F(IniTest, NamesWithoutRegardToCase) {
    WriteFile("KR98.ini", "[Settings]\nLogEvents=1\n");
    EXPECT_EQ(GetIniValue("kr98.INI", "SETTINGS", "logevents"), "1");
    EXPECT_TRUE(PutIniValue("kr98.INI", "settings", "LOGEVENTS", "0"));
    EXPECT_EQ(Files(), std::vector<std::string>{"KR98.ini"});
    // The key keeps the spelling it has in the file.
    EXPECT_EQ(Read("KR98.ini"), "[Settings]\nLogEvents=0\n");
    // Folders too, and backslashes as separators.
    fs::create_directory(dir_ / "Sub");
    WriteFile("Sub/Conf.INI", "[A]\nb=c\n");
    EXPECT_EQ(GetIniValue("sub\\conf.ini", "a", "B"), "c");
    EXPECT_EQ(ResolveIniPath(".\\sub\\CONF.ini"), (dir_ / "Sub" / "Conf.INI").string());
    EXPECT_EQ(ResolveIniPath(""), (dir_ / "WIN.INI").string());
}

TEST_F(IniTest, CommentsOrderAndLayoutKept) {
    const std::string original =
        "; settings of the suite\n"
        "[First]\n"
        "  Alpha = 1 \n"
        "; about beta\n"
        "Beta=2\n"
        "\n"
        "[Second]\n"
        "Gamma=3\n";
    WriteFile("a.ini", original);
    EXPECT_EQ(GetIniValue("a.ini", "First", "Alpha"), "1");  // blanks round the value trimmed
    EXPECT_TRUE(PutIniValue("a.ini", "First", "Delta", "4"));
    EXPECT_TRUE(PutIniValue("a.ini", "Second", "Gamma", "30"));
    EXPECT_TRUE(PutIniValue("a.ini", "Third", "Eps", "5"));
    EXPECT_EQ(Read("a.ini"),
              "; settings of the suite\n"
              "[First]\n"
              "  Alpha = 1 \n"
              "; about beta\n"
              "Beta=2\n"
              "Delta=4\n"
              "\n"
              "[Second]\n"
              "Gamma=30\n"
              "\n"
              "[Third]\n"
              "Eps=5\n");
    IniFile f("a.ini");
    EXPECT_EQ(f.Sections(), (std::vector<std::string>{"First", "Second", "Third"}));
    EXPECT_EQ(f.Keys("first"), (std::vector<std::string>{"Alpha", "Beta", "Delta"}));
    // A commented-out key is not a key.
    WriteFile("b.ini", "[S]\n;K=old\n");
    EXPECT_EQ(GetIniValue("b.ini", "S", "K", "none"), "none");
    EXPECT_EQ(GetIniValue("b.ini", "S", ";K", "none"), "none");
}

TEST_F(IniTest, ValuesArePlainText) {
    IniFile f("x.ini");
    const std::string format = "40L(2)|M~Date~@d6b@#1#,32R~Time~@t3b@#2#";
    EXPECT_TRUE(f.Update("BrowseSchedule", "XploreFormatString-?Browse:1", format));
    EXPECT_EQ(f.Fetch("BrowseSchedule", "XploreFormatString-?Browse:1"), format);
    EXPECT_TRUE(f.Update("S", "Quoted", "\"a\",\"b\""));
    EXPECT_EQ(f.Fetch("S", "Quoted"), "\"a\",\"b\"");
    EXPECT_TRUE(f.Update("S", "Eq", "a=b=c"));
    EXPECT_EQ(f.Fetch("S", "Eq"), "a=b=c");
    EXPECT_TRUE(f.Update("S", "Tab", "a\tb"));
    EXPECT_EQ(f.Fetch("S", "Tab"), "a\tb");
    EXPECT_TRUE(f.Update("S", "Empty", ""));
    EXPECT_EQ(f.TryFetch("S", "Empty"), std::optional<std::string>(""));
    EXPECT_EQ(f.TryFetch("S", "Missing"), std::nullopt);
    // A long value stays whole.
    std::string big(20000, 'x');
    EXPECT_TRUE(f.Update("S", "Big", big));
    EXPECT_EQ(f.Fetch("S", "Big"), big);
}

TEST_F(IniTest, DuplicatesCrLfAndOutsideChanges) {
    WriteFile("d.ini", "[S]\r\nK=first\r\nK=second\r\n[s]\r\nK=third\r\nOnly=here\r\n");
    EXPECT_EQ(GetIniValue("d.ini", "S", "K"), "first");  // the first section and key win
    EXPECT_EQ(GetIniValue("d.ini", "S", "Only", "no"), "no");
    EXPECT_TRUE(PutIniValue("d.ini", "S", "New", "1"));
    EXPECT_EQ(Read("d.ini"), "[S]\r\nK=first\r\nK=second\r\nNew=1\r\n[s]\r\nK=third\r\nOnly=here\r\n");
    // A change made by another program is seen at the next read.
    WriteFile("d.ini", "[S]\nK=changed outside, and longer\n");
    EXPECT_EQ(GetIniValue("d.ini", "S", "K"), "changed outside, and longer");
    // A deleted file reads as empty again.
    fs::remove(dir_ / "d.ini");
    EXPECT_EQ(GetIniValue("d.ini", "S", "K", "gone"), "gone");
}

TEST_F(IniTest, UnsafeInputIsRefusedAndWriteFailuresReported) {
    WriteFile("u.ini", "[S]\nK=1\n");
    EXPECT_FALSE(PutIniValue("u.ini", "S", "K", "1\n[Other]\nX=2"));
    EXPECT_FALSE(PutIniValue("u.ini", "S\n", "K", "1"));
    EXPECT_FALSE(PutIniValue("u.ini", "S]", "K", "1"));
    EXPECT_FALSE(PutIniValue("u.ini", "S", "", "1"));
    EXPECT_FALSE(PutIniValue("u.ini", "S", "a=b", "1"));
    EXPECT_FALSE(PutIniValue("u.ini", "S", ";K", "1"));
    EXPECT_EQ(Read("u.ini"), "[S]\nK=1\n");
    // A folder that does not exist, and a name that is a folder.
    EXPECT_FALSE(PutIniValue("nodir/x.ini", "S", "K", "1"));
    fs::create_directory(dir_ / "taken.ini");
    EXPECT_FALSE(PutIniValue("taken.ini", "S", "K", "1"));
    EXPECT_EQ(GetIniValue("taken.ini", "S", "K", "none"), "none");  // nothing kept from the failed write
    std::vector<std::string> files = Files();
    EXPECT_EQ(files, (std::vector<std::string>{"taken.ini", "u.ini"}));
}

TEST_F(IniTest, OddFilesInPlaceOfAnIniFile) {
    // A read-only file is not replaced: the write fails and the value read
    // afterwards is the one on disk.
    WriteFile("ro.ini", "[S]\nK=1\n");
    fs::permissions(dir_ / "ro.ini", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_FALSE(PutIniValue("ro.ini", "S", "K", "2"));
    EXPECT_FALSE(IniFile("ro.ini").DeleteKey("S", "K"));
    EXPECT_EQ(GetIniValue("ro.ini", "S", "K"), "1");
    EXPECT_EQ(Read("ro.ini"), "[S]\nK=1\n");

    // A FIFO (which would block a reader for ever) reads as empty and is
    // not replaced by a write.
    ASSERT_EQ(::mkfifo((dir_ / "pipe.ini").c_str(), 0600), 0);
    EXPECT_EQ(GetIniValue("pipe.ini", "S", "K", "none"), "none");
    EXPECT_FALSE(PutIniValue("pipe.ini", "S", "K", "1"));
    EXPECT_TRUE(fs::is_fifo(dir_ / "pipe.ini"));
    EXPECT_EQ(Files(), (std::vector<std::string>{"pipe.ini", "ro.ini"}));
}

TEST_F(IniTest, NewFilesAreTheOwnersAloneAndExistingOnesKeepTheirMode) {
    const fs::perms rw = fs::perms::owner_read | fs::perms::owner_write;
    const mode_t before = ::umask(022);
    int n = 0;
    for (mode_t mask : {077, 022, 002}) {
        ::umask(mask);
        const std::string name = "new" + std::to_string(n++) + ".ini";
        ASSERT_TRUE(PutIniValue(name, "S", "K", "1"));
        EXPECT_EQ(fs::status(dir_ / name).permissions(), rw) << std::oct << mask;
    }
    ::umask(before);
    // An existing file keeps its mode, one the user opened to others too.
    const fs::perms shared = rw | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(dir_ / "new1.ini", shared);
    ASSERT_TRUE(PutIniValue("new1.ini", "S", "K", "2"));
    EXPECT_EQ(fs::status(dir_ / "new1.ini").permissions(), shared);
}

TEST_F(IniTest, TemporariesLeftByAKilledSaveAreRemoved) {
    WriteFile("k.ini", "[S]\nK=1\n");
    // Left by saves that were killed, by a save still running (it holds its
    // lock), and files that only look alike.
    WriteFile(".k.ini.Ab12Cd", "[S]\n");
    WriteFile(".k.ini.zz99zz", "");
    WriteFile(".k.ini.Live01", "[S]\n");
    WriteFile(".k.ini.toolong1", "");
    WriteFile(".other.ini.Ab12Cd", "");
    const int live = ::open((dir_ / ".k.ini.Live01").c_str(), O_RDONLY);
    ASSERT_GE(live, 0);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    ASSERT_TRUE(PutIniValue("k.ini", "S", "K", "2"));
    EXPECT_EQ(Files(), (std::vector<std::string>{".k.ini.Live01", ".k.ini.toolong1", ".other.ini.Ab12Cd", "k.ini"}));
    ::close(live);
    ASSERT_TRUE(PutIniValue("k.ini", "S", "K", "3"));
    EXPECT_EQ(Files(), (std::vector<std::string>{".k.ini.toolong1", ".other.ini.Ab12Cd", "k.ini"}));

    // A save killed part-way, again and again, leaves nothing behind once
    // the next save ran.
    for (int i = 0; i < 20; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int v = 0;; ++v) PutIniValue("k.ini", "S", "K", std::to_string(v) + std::string(20000, 'x'));
        }
        ::usleep(static_cast<useconds_t>(1000 * (i % 5)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    ASSERT_TRUE(PutIniValue("k.ini", "S", "K", "4"));
    EXPECT_EQ(Files(), (std::vector<std::string>{".k.ini.toolong1", ".other.ini.Ab12Cd", "k.ini"}));
    EXPECT_EQ(GetIniValue("k.ini", "S", "K"), "4");
}

TEST_F(IniTest, DeleteKeysAndSections) {
    WriteFile("p.ini", "[A]\nx=1\ny=2\n\n[B]\nz=3\n");
    IniFile f("p.ini");
    EXPECT_TRUE(f.DeleteKey("a", "X"));
    EXPECT_EQ(Read("p.ini"), "[A]\ny=2\n\n[B]\nz=3\n");
    EXPECT_TRUE(f.DeleteSection("b"));
    EXPECT_EQ(Read("p.ini"), "[A]\ny=2\n\n");
    EXPECT_TRUE(f.DeleteKey("none", "k"));  // nothing to remove is no failure
    EXPECT_EQ(f.Fetch("B", "z", "gone"), "gone");
}

TEST_F(IniTest, WindowPositionsAndBatches) {
    IniFile ini(".\\POSITION.INI");
    EXPECT_EQ(ini.RestoreWindow("Setup"), std::nullopt);
    EXPECT_TRUE(ini.SaveWindow("Setup", WindowPlacement{10, 20, 640, 480, true}));
    auto p = ini.RestoreWindow("setup");
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->x, 10);
    EXPECT_EQ(p->height, 480);
    EXPECT_TRUE(p->maximized);
    EXPECT_EQ(Read("POSITION.INI"), "[Setup]\nXPos=10\nYPos=20\nWidth=640\nHeight=480\nMaximize=1\n");
    {
        IniFile::Batch batch(ini);
        for (int i = 0; i < 50; ++i) ini.Update("BrowseTodo", "Key" + std::to_string(i), std::to_string(i));
        // Readers in this process see the values; the file waits for the batch.
        EXPECT_EQ(ini.Fetch("BrowseTodo", "key49"), "49");
        EXPECT_EQ(Read("POSITION.INI").find("BrowseTodo"), std::string::npos);
    }
    EXPECT_NE(Read("POSITION.INI").find("Key49=49"), std::string::npos);
}

TEST_F(IniTest, ManyThreadsWriteOneFile) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            IniFile f("shared.ini");
            for (int i = 0; i < 25; ++i)
                f.Update("T" + std::to_string(t), "K" + std::to_string(i), std::to_string(t * 100 + i));
        });
    }
    for (auto& th : threads) th.join();
    IniFile f("shared.ini");
    for (int t = 0; t < 8; ++t)
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(f.Fetch("t" + std::to_string(t), "k" + std::to_string(i)), std::to_string(t * 100 + i));
    EXPECT_EQ(Files(), std::vector<std::string>{"shared.ini"});
}
