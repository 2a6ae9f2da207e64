#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Process.h"

using namespace kr;
namespace fs = std::filesystem;

namespace {

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kr_proc_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::create_directory(dir_ / "bin");
        SetProgramFolder((dir_ / "bin").string());
    }
    void TearDown() override {
        SetProgramFolder("");
        fs::remove_all(dir_);
    }
    void Script(const fs::path& path, const std::string& body, bool executable = true) {
        std::ofstream(path) << body;
        fs::permissions(path, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
    }
    std::string Read(const fs::path& path) {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir_;
};

bool IsZombieOrGone(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) return true;
    std::string all;
    std::getline(stat, all);
    std::size_t close = all.rfind(')');
    return close != std::string::npos && close + 2 < all.size() && all[close + 2] == 'Z';
}

bool Gone(int pid) { return !fs::exists("/proc/" + std::to_string(pid)); }

}  // namespace

TEST(CommandLine, SplitsTheWindowsWay) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitCommandLine("KRMsg.EXE ID=5"), (V{"KRMsg.EXE", "ID=5"}));
    EXPECT_EQ(SplitCommandLine("  VXWBACK.EXE   KR97.TPS  "), (V{"VXWBACK.EXE", "KR97.TPS"}));
    EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\x.exe\" a"), (V{"C:\\Program Files\\x.exe", "a"}));
    EXPECT_EQ(SplitCommandLine("p \"a b\" c"), (V{"p", "a b", "c"}));
    EXPECT_EQ(SplitCommandLine("p \"\" x"), (V{"p", "", "x"}));
    EXPECT_EQ(SplitCommandLine("p a\\\\b"), (V{"p", "a\\\\b"}));        // backslashes alone stand
    EXPECT_EQ(SplitCommandLine("p a\\\"b"), (V{"p", "a\"b"}));          // \" is a quote
    EXPECT_EQ(SplitCommandLine("p \"a\\\\\" b"), (V{"p", "a\\", "b"}));  // \\" is \ and a closing quote
    EXPECT_EQ(SplitCommandLine("p \"a\"\"b\""), (V{"p", "a\"b"}));      // "" inside quotes
    EXPECT_EQ(SplitCommandLine("p ab\"c d\"e"), (V{"p", "abc de"}));
    EXPECT_EQ(SplitCommandLine("p \"unclosed arg"), (V{"p", "unclosed arg"}));
    EXPECT_EQ(SplitCommandLine("p\ta\tb"), (V{"p", "a", "b"}));
    EXPECT_TRUE(SplitCommandLine("   ").empty());
}

TEST_F(ProcessTest, WaitsAndReportsTheExitCode) {
    StartResult r = StartProgram("/bin/sh -c \"exit 3\"", "", true);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_GT(r.pid, 0);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(PollExitCode(r.pid), 3);  // kept after the end
    ForgetProgram(r.pid);
    EXPECT_EQ(PollExitCode(r.pid), -1);
    // Names through PATH, also with ".exe".
    r = StartProgram("sh.exe -c \"exit 4\"", "", true);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_EQ(PollExitCode(999999999), -1);
}

TEST_F(ProcessTest, AProgramNamedTheWindowsWayRunsUnderItsOwnName) {
    // "KRMsg.EXE" is started as KRMsg: the desktop shows argv[0] as the
    // process and window class.
    StartResult r = StartProgram("sleep.EXE 5", "", false);
    ASSERT_TRUE(r.ok()) << r.message;
    // Read once the program runs (not the child on its way to it).
    std::string argv0;
    for (int i = 0; i < 500 && argv0 != "sleep"; ++i) {
        std::ifstream cmdline("/proc/" + std::to_string(r.pid) + "/cmdline", std::ios::binary);
        argv0.clear();
        std::getline(cmdline, argv0, '\0');
        if (argv0.size() >= 9 && argv0.substr(argv0.size() - 9) == "sleep.EXE") break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(argv0, "sleep");
    kill(r.pid, SIGKILL);
    WaitForProgram(r.pid, 10000);
}

TEST_F(ProcessTest, FailuresAreErrorsNeverSilentSuccess) {
    StartResult r = StartProgram("no-such-program-kr --x", "", false);
    EXPECT_EQ(r.error, kFileNotFound);
    EXPECT_EQ(r.pid, 0);
    EXPECT_FALSE(r.message.empty());
    EXPECT_EQ(StartProgram("", "", false).error, kFileNotFound);
    EXPECT_EQ(StartProgram("/bin/sh -c true", (dir_ / "missing").string(), false).error, kPathNotFound);
    Script(dir_ / "bin" / "plain.txt", "not a program", false);
    EXPECT_EQ(StartProgram("plain.txt", "", false).error, kAccessDenied);
    EXPECT_EQ(StartProgram((dir_ / "nowhere" / "x").string(), "", false).error, kFileNotFound);

    // A file with the execute bit that is neither ELF nor "#!" (a document
    // on a FAT or SMB mount) is refused, never run through a shell.
    Script(dir_ / "bin" / "notes.txt", "touch \"" + (dir_ / "ran").string() + "\"\n");
    EXPECT_FALSE(IsProgramFile((dir_ / "bin" / "notes.txt").string()));
    EXPECT_EQ(StartProgram("notes.txt", "", true).error, kAccessDenied);
    EXPECT_FALSE(fs::exists(dir_ / "ran"));
    EXPECT_TRUE(IsProgramFile("/bin/sh"));
    EXPECT_FALSE(IsProgramFile(dir_.string()));
}

TEST_F(ProcessTest, TheSuitesProgramsAreFoundBesideTheProgram) {
    Script(dir_ / "bin" / "KRMsg", "#!/bin/sh\nprintf '%s|' \"$@\" > \"$OUT\"\nexit 5\n");
    setenv("OUT", (dir_ / "args.txt").c_str(), 1);
    StartResult r = StartProgram("KRMsg.EXE ID=5", "", true);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_EQ(Read(dir_ / "args.txt"), "ID=5|");
    r = StartProgram("krmsg.exe \"c:\\my file\" \"x\\\"y\" plain", "", true);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(Read(dir_ / "args.txt"), "c:\\my file|x\"y|plain|");
    EXPECT_EQ(FindProgram("KRMSG"), (dir_ / "bin" / "KRMsg").string());
    // A relative path with a folder goes from the start folder, case-insensitively.
    fs::create_directory(dir_ / "Tools");
    Script(dir_ / "Tools" / "Run.sh", "#!/bin/sh\nexit 6\n");
    r = StartProgram("tools\\run.sh", dir_.string(), true);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.exitCode, 6);
    unsetenv("OUT");
}

TEST_F(ProcessTest, TheChildGetsTheStartFolderAndNoDescriptors) {
    std::string before = fs::current_path().string();
    int leaked = ::open("/dev/null", O_RDONLY);  // not close-on-exec on purpose
    ASSERT_GE(leaked, 0);
    StartResult r = StartProgram("/bin/sh -c \"pwd > here.txt; ls /proc/$$/fd > fds.txt\"", dir_.string(), true);
    ::close(leaked);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(Read(dir_ / "here.txt"), dir_.string() + "\n");
    EXPECT_EQ(fs::current_path().string(), before);
    std::istringstream fds(Read(dir_ / "fds.txt"));
    std::string fd;
    while (fds >> fd) EXPECT_NE(fd, std::to_string(leaked));
}

TEST_F(ProcessTest, NoWaitRunsAndIsReaped) {
    StartResult r = StartProgram("/bin/sh -c \"sleep 0.3; exit 7\"", "", false);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(PollExitCode(r.pid), kStillActive);
    ProgramState s = WaitForProgram(r.pid, 10000);
    EXPECT_TRUE(s.known);
    EXPECT_FALSE(s.running);
    EXPECT_EQ(s.exitCode, 7);
    EXPECT_TRUE(Gone(r.pid));
    // Nobody asks: the background reaper still leaves no zombie behind.
    StartResult quiet = StartProgram("/bin/sh -c \"exit 2\"", "", false);
    ASSERT_TRUE(quiet.ok());
    for (int i = 0; i < 200 && !Gone(quiet.pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(Gone(quiet.pid));
    EXPECT_EQ(PollExitCode(quiet.pid), 2);
}

TEST_F(ProcessTest, WaitWithATimeoutAndKilledPrograms) {
    StartResult r = StartProgram("sleep 30", "", false);
    ASSERT_TRUE(r.ok());
    auto t0 = std::chrono::steady_clock::now();
    ProgramState s = WaitForProgram(r.pid, 100);
    EXPECT_TRUE(s.known);
    EXPECT_TRUE(s.running);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_FALSE(IsZombieOrGone(r.pid));
    ::kill(r.pid, SIGKILL);
    s = WaitForProgram(r.pid, 10000);
    EXPECT_FALSE(s.running);
    EXPECT_EQ(s.exitCode, 128 + SIGKILL);
    // Several at once, each with its own code.
    std::vector<int> pids;
    for (int i = 0; i < 10; ++i) {
        StartResult c = StartProgram("/bin/sh -c \"exit " + std::to_string(i) + "\"", "", false);
        ASSERT_TRUE(c.ok());
        pids.push_back(c.pid);
    }
    for (int i = 0; i < 10; ++i) EXPECT_EQ(WaitForProgram(pids[static_cast<std::size_t>(i)], 10000).exitCode, i);
}
