// File actions on a temporary folder: every operation and the values it
// leaves, lists and wildcards, the trash, the trace file, a move to another
// file system, the window list file and the worker service.
#include <sys/stat.h>
#include <utime.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <fstream>
#include <optional>

#include "platform/runtime/IniFile.h"
#include "scheduler/FileActions.h"
#include "scheduler/ScriptValues.h"
#include "tests/runner/RunnerTestSupport.h"

namespace kr {
namespace {

namespace fs = std::filesystem;

class FileActionsTest : public test::RunnerFixture {
protected:
    void SetUp() override {
        RunnerFixture::SetUp();
        ScriptValues().Clear();
    }
    void TearDown() override {
        ScriptValues().Clear();
        RunnerFixture::TearDown();
    }
    static std::string Value(const char* name) {
        auto v = ScriptValues().Find(name);
        return v ? v->StringValue : std::string("<unset>");
    }
    void Write(const fs::path& p, const std::string& text) {
        fs::create_directories(p.parent_path().empty() ? "." : p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(FileActionsTest, CopyTakesListsAndWildcardsIntoTheTargetFolder) {
    Write("a.txt", "A");
    Write("b.txt", "B");
    Write("c.log", "C");
    fs::create_directory("sub.txt");  // a folder never matches a wildcard

    EXPECT_EQ(DoFileAction("Copy", "a.txt|b.txt", "out1"), 0);
    EXPECT_EQ(Read("out1/a.txt"), "A");
    EXPECT_EQ(Read("out1/b.txt"), "B");
    EXPECT_EQ(Value("FILECOPY"), "0");
    EXPECT_EQ(Value("ERRORCODE"), "0");

    EXPECT_EQ(DoFileAction("Copy", "a.txt; c.log", "out2"), 0);
    EXPECT_TRUE(fs::exists("out2/a.txt") && fs::exists("out2/c.log"));

    EXPECT_EQ(DoFileAction("Copy", ".\\*.txt", "out3"), 0);
    EXPECT_TRUE(fs::exists("out3/a.txt") && fs::exists("out3/b.txt"));
    EXPECT_FALSE(fs::exists("out3/c.log") || fs::exists("out3/sub.txt"));

    EXPECT_EQ(DoFileAction("Copy", "*.*", "out4"), 0);
    EXPECT_TRUE(fs::exists("out4/c.log"));

    // Every shell operation leaves its trace first.
    EXPECT_EQ(GetIniValue(".\\DEBUG.INI", "ShFileOp", "Exec"), "2");
    EXPECT_EQ(GetIniValue(".\\DEBUG.INI", "ShFileOp", "Source"), "*.*");
    EXPECT_EQ(GetIniValue(".\\DEBUG.INI", "ShFileOp", "Target"), "out4");
    DoFileAction("Delete", "a.txt|b.txt", "");
    EXPECT_EQ(GetIniValue(".\\DEBUG.INI", "ShFileOp", "Exec"), "3");
    EXPECT_EQ(GetIniValue(".\\DEBUG.INI", "ShFileOp", "Source"), "a.txt|b.txt");
}

TEST_F(FileActionsTest, FailuresGiveTheSystemsCodeAndTouchNothing) {
    Write("keep.txt", "keep");
    Write("other.txt", "other");
    // Missing source, a drive letter (not guessed at), nothing matching.
    EXPECT_EQ(DoFileAction("Copy", "missing.txt", "x.txt"), ENOENT);
    EXPECT_EQ(Value("FILECOPY"), "2");
    EXPECT_EQ(Value("ERRORCODE"), "2");
    EXPECT_EQ(DoFileAction("Copy", "C:\\keep.txt", "x.txt"), ENOENT);
    EXPECT_EQ(DoFileAction("Move", "*.none", "x"), ENOENT);
    EXPECT_EQ(Value("FILEMOVE"), "2");
    // A copy or move onto itself would truncate the file: refused.
    EXPECT_EQ(DoFileAction("Copy", "keep.txt", "."), EINVAL);
    EXPECT_EQ(DoFileAction("Move", "keep.txt", "./keep.txt"), EINVAL);
    EXPECT_EQ(Read("keep.txt"), "keep");
    // A rename never replaces another file.
    EXPECT_EQ(DoFileAction("Rename", "keep.txt", "other.txt"), EEXIST);
    EXPECT_EQ(Value("FILERENAME"), "17");
    EXPECT_EQ(Read("other.txt"), "other");
    EXPECT_EQ(Read("keep.txt"), "keep");
    // Operation words that are not file actions do nothing but clear the code.
    EXPECT_EQ(DoFileAction("Bogus", "keep.txt", ""), 0);
    EXPECT_EQ(Value("ERRORCODE"), "0");
}

TEST_F(FileActionsTest, ANameWithListSeparatorsIsOneFileWhenItExists) {
    Write("Report", "R");
    Write("2024.txt", "2024");
    Write("Report;2024.txt", "both");
    Write("a|b.txt", "ab");
    EXPECT_EQ(DoFileAction("Delete", "Report;2024.txt", ""), 0);
    EXPECT_FALSE(fs::exists("Report;2024.txt"));
    EXPECT_EQ(Read("Report"), "R");
    EXPECT_EQ(Read("2024.txt"), "2024");
    fs::create_directory("out");
    EXPECT_EQ(DoFileAction("Copy", "a|b.txt", "out"), 0);
    EXPECT_EQ(Read("out/a|b.txt"), "ab");
    // Without such a file the text is still a list.
    EXPECT_EQ(DoFileAction("Delete", "Report;2024.txt", ""), 0);
    EXPECT_FALSE(fs::exists("Report") || fs::exists("2024.txt"));
}

TEST_F(FileActionsTest, ATargetWithListSeparatorsIsOneName) {
    Write("a", "A");
    EXPECT_EQ(DoFileAction("Rename", "a", "new;name"), 0);
    EXPECT_EQ(Read("new;name"), "A");
    EXPECT_FALSE(fs::exists("new") || fs::exists("name") || fs::exists("a"));

    EXPECT_EQ(DoFileAction("Copy", "new;name", "t1;t2"), 0);
    EXPECT_EQ(Read("t1;t2"), "A");
    EXPECT_FALSE(fs::exists("t1") || fs::exists("t2"));

    EXPECT_EQ(DoFileAction("Move", "t1;t2", "sub/m1| m2"), 0);
    EXPECT_EQ(Read("sub/m1| m2"), "A");
    EXPECT_FALSE(fs::exists("sub/m1") || fs::exists("t1;t2"));
    EXPECT_EQ(GetIniValue(".\\DEBUG.INI", "ShFileOp", "Target"), "sub/m1| m2");

    // Sources in a list still go into the one target folder, named whole.
    Write("x.txt", "X");
    Write("y.txt", "Y");
    EXPECT_EQ(DoFileAction("Copy", "x.txt|y.txt", "in;box"), 0);
    EXPECT_EQ(Read("in;box/x.txt"), "X");
    EXPECT_EQ(Read("in;box/y.txt"), "Y");
    EXPECT_FALSE(fs::exists("in") || fs::exists("box"));
}

TEST_F(FileActionsTest, TheTraceFileAndTheEventLogAreTheOwnersAlone) {
    const mode_t before = ::umask(022);
    const fs::perms own = fs::perms::owner_read | fs::perms::owner_write;
    Write("a.txt", "A");
    EXPECT_EQ(DoFileAction("Copy", "a.txt", "b.txt"), 0);
    EXPECT_EQ(fs::status("DEBUG.INI").permissions(), own);
    LogEvent("Script", "Send Keys  secret keystrokes");
    EXPECT_EQ(fs::status(EventLogPath()).permissions(), own);
    // A trace file the user opened to others keeps its mode.
    fs::permissions("DEBUG.INI", own | fs::perms::group_read);
    EXPECT_EQ(DoFileAction("Copy", "a.txt", "c.txt"), 0);
    EXPECT_EQ(fs::status("DEBUG.INI").permissions(), own | fs::perms::group_read);
    ::umask(before);
}

TEST_F(FileActionsTest, MoveRenameDeleteAndADatedTarget) {
    Write("a.txt", "A");
    EXPECT_EQ(DoFileAction("Copy", "a.txt", "copy-[DATE].txt"), 0);
    EXPECT_EQ(Read("copy-20240701.txt"), "A");  // the test clock's today

    EXPECT_EQ(DoFileAction("Move", "a.txt", "dir\\moved.txt"), 0);
    EXPECT_FALSE(fs::exists("a.txt"));
    EXPECT_EQ(Read("dir/moved.txt"), "A");
    EXPECT_EQ(Value("FILEMOVE"), "0");

    // A bare new name stays in the file's folder.
    EXPECT_EQ(DoFileAction("Rename", "dir/moved.txt", "renamed.txt"), 0);
    EXPECT_EQ(Read("dir/renamed.txt"), "A");

    EXPECT_EQ(DoFileAction("Delete", "dir/renamed.txt", ""), 0);
    EXPECT_FALSE(fs::exists("dir/renamed.txt"));
    EXPECT_EQ(Value("FILEDELETE"), "0");
    EXPECT_EQ(DoFileAction("Delete", "dir/renamed.txt", ""), ENOENT);
    EXPECT_EQ(Value("FILEDELETE"), "2");
}

TEST_F(FileActionsTest, RecycleMovesToTheTrashAndDeleteDoesNot) {
    // A home and data folder of the test's own, on the files' volume, so the
    // trash used is the home trash there whatever the machine's mounts.
    const fs::path data = dir_ / "xdg";
    fs::create_directories(data);
    struct Env {
        const char* name;
        std::optional<std::string> saved;
    } env[] = {{"XDG_DATA_HOME", {}}, {"HOME", {}}};
    for (Env& e : env)
        if (const char* v = getenv(e.name)) e.saved = v;
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("HOME", dir_.c_str(), 1);
    Write("r.txt", "recycled");
    Write("d.txt", "deleted");
    const int recycled = static_cast<int>(DoFileAction("Recycle", "r.txt", ""));
    const int deleted = static_cast<int>(DoFileAction("Delete", "d.txt", ""));
    for (const Env& e : env) {
        if (e.saved) setenv(e.name, e.saved->c_str(), 1);
        else unsetenv(e.name);
    }

    EXPECT_EQ(recycled, 0);
    EXPECT_EQ(deleted, 0);
    EXPECT_FALSE(fs::exists("r.txt"));
    EXPECT_EQ(Read(data / "Trash/files/r.txt"), "recycled");
    EXPECT_TRUE(fs::exists(data / "Trash/info/r.txt.trashinfo"));
    EXPECT_FALSE(fs::exists(data / "Trash/files/d.txt"));
}

TEST_F(FileActionsTest, MoveAcrossFileSystemsKeepsContentAndTimes) {
    struct stat here {}, shm {};
    if (::stat(dir_.c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev)
        GTEST_SKIP() << "no second file system: /dev/shm is missing or on the same device as " << dir_;
    char tmpl[] = "/dev/shm/kr-move-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const fs::path other = tmpl;

    Write("tree/inner/f.txt", "tree");
    Write("one.txt", "one");
    struct utimbuf t {1000000000, 1000000000};
    ASSERT_EQ(::utime("one.txt", &t), 0);

    EXPECT_EQ(DoFileAction("Move", "one.txt", (other / "one.txt").string()), 0);
    EXPECT_EQ(DoFileAction("Move", "tree", (other / "tree").string()), 0);
    EXPECT_EQ(DoFileAction("Rename", (other / "one.txt").string(), (dir_ / "back.txt").string()), 0);
    EXPECT_FALSE(fs::exists("one.txt") || fs::exists("tree"));
    EXPECT_EQ(Read(other / "tree/inner/f.txt"), "tree");
    EXPECT_EQ(Read("back.txt"), "one");
    struct stat st {};
    ASSERT_EQ(::stat("back.txt", &st), 0);
    EXPECT_EQ(st.st_mtime, 1000000000);
    std::error_code ec;
    fs::remove_all(other, ec);
}

TEST_F(FileActionsTest, FoldersDatesTimesSizesAndExistence) {
    EXPECT_EQ(DoFileAction("Make Directory", "new", ""), 1);
    EXPECT_EQ(Value("DIRCREATE"), "1");
    EXPECT_EQ(DoFileAction("Make Directory", "new", ""), 1);  // already there
    EXPECT_EQ(Value("DIRCREATE"), "1");
    EXPECT_EQ(DoFileAction("Make Directory", "no/such/parent", ""), 0);
    EXPECT_EQ(Value("ERRORCODE"), std::to_string(ENOENT));
    Write("full/x", "x");
    EXPECT_EQ(DoFileAction("Remove Directory", "full", ""), 0);
    EXPECT_EQ(Value("ERRORCODE"), std::to_string(ENOTEMPTY));
    EXPECT_EQ(DoFileAction("Remove Directory", "new", ""), 1);
    EXPECT_EQ(Value("DIRREMOVE"), "1");

    Write("sized.bin", std::string(12345, 'z'));
    std::tm tm{};
    tm.tm_year = 2023 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 4;
    tm.tm_hour = 9;
    tm.tm_min = 5;
    tm.tm_sec = 7;
    tm.tm_isdst = -1;
    const std::time_t when = std::mktime(&tm);
    struct utimbuf t {when, when};
    ASSERT_EQ(::utime("sized.bin", &t), 0);
    EXPECT_EQ(DoFileAction("Get File Size", "sized.bin", ""), 12345);
    EXPECT_EQ(Value("FILESIZE"), "12345");
    EXPECT_EQ(DoFileAction("Get File Date", "*.bin", ""), 20230304);
    EXPECT_EQ(Value("FILEDATE"), "20230304");
    EXPECT_EQ(DoFileAction("Get File Time", "sized.bin", ""), 90507);
    EXPECT_EQ(Value("FILETIME"), "90507");
    EXPECT_EQ(DoFileAction("Get File Size", "missing", ""), 0);
    EXPECT_EQ(Value("FILESIZE"), "0");
    EXPECT_EQ(Value("ERRORCODE"), "2");

    // Both words of the existence test.
    EXPECT_EQ(DoFileAction("File Exists", "sized.bin", ""), 1);
    EXPECT_EQ(DoFileAction("If File Exists", "missing", ""), 0);
    EXPECT_EQ(Value("FILEEXISTS"), "0");
    EXPECT_EQ(DoFileAction("If File Exists", "*.bin", ""), 1);
    EXPECT_EQ(Value("FILEEXISTS"), "1");
}

TEST_F(FileActionsTest, AFolderHasNoSizeDateOrTime) {
    Write("folder/inside.txt", std::string(500, 'a'));
    for (const char* op : {"Get File Size", "Get File Date", "Get File Time"}) {
        SCOPED_TRACE(op);
        EXPECT_EQ(DoFileAction(op, "folder", ""), 0);
        EXPECT_EQ(Value("ERRORCODE"), "2");
    }
    EXPECT_EQ(Value("FILETIME"), "0");
    EXPECT_EQ(Value("FILESIZE"), "0");
}

class FakeWindowSource : public LogWindowsSource {
public:
    std::vector<Window> TopWindows() override { return {{"Editor", "Main", 100}, {"Ünïcode title", "X", 200}}; }
    std::vector<Window> Children(uint32_t w) override {
        if (w == 100) return {{"OK", "Button", 101}, {"<>", "Skip", 102}, {"Pane", "MDIWindow", 103}};
        if (w == 103) return {{"Inner", "Edit", 104}};
        return {};
    }
};

TEST_F(FileActionsTest, LogWindowsWritesFixedWidthLinesAndFollowsChildWindows) {
    FakeWindowSource source;
    SetLogWindowsSource(&source);
    const int64_t n = DoFileAction("Log Windows", "windows.txt", "");
    SetLogWindowsSource(nullptr);
    EXPECT_EQ(n, 3);  // two windows and the "Win" child appended

    auto pad = [](std::string s, std::size_t w) { return s + std::string(w - s.size(), ' '); };
    const std::string blankChild(72, ' '), blankWindow(52, ' ');
    const std::string expected =
        pad("Editor", 40) + pad("100", 12) + blankChild + "\r\n" +
        blankWindow + pad("OK", 40) + pad("Button", 20) + pad("101", 12) + "\r\n" +
        blankWindow + pad("Pane", 40) + pad("MDIWindow", 20) + pad("103", 12) + "\r\n" +
        "Ünïcode title" + std::string(27, ' ') + pad("200", 12) + blankChild + "\r\n" +
        pad("Pane (Child of Editor)", 40) + pad("103", 12) + blankChild + "\r\n" +
        blankWindow + pad("Inner", 40) + pad("Edit", 20) + pad("104", 12) + "\r\n";
    EXPECT_EQ(Read("windows.txt"), expected);
    EXPECT_EQ(Value("ERRORCODE"), "0");
}

TEST_F(FileActionsTest, TheServiceWorksOffThreadAndAnswersThroughTheEventLoop) {
    Write("big.bin", std::string(1 << 20, 'b'));
    SetScriptVariable("NAME", "big");
    FileActionWorker worker;
    int32_t result = -1;
    bool called = false;
    ASSERT_TRUE(worker.Start({"Copy", "[NAME].bin", "copy.bin", "", ""}, [&](int32_t r) {
        result = r;
        called = true;
    }));
    EXPECT_FALSE(called);  // never from inside the starting call
    QElapsedTimer t;
    t.start();
    while (!called && t.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(called);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Value("FILECOPY"), "0");
    EXPECT_EQ(fs::file_size("copy.bin"), 1u << 20);
}

}  // namespace
}  // namespace kr
