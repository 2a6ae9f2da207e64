// Starting programs: exit codes, failed starts, start folders, the shell
// start and its retries, priorities, window modes and the chain command.
#include <signal.h>
#include <sys/resource.h>

#include <fstream>
#include <sstream>

#include "RunnerTestSupport.h"
#include "scheduler/RunnerSettings.h"
#include "scheduler/TranslateValues.h"

namespace kr {
namespace {

using test::RunnerFixture;

class TaskRunnerTest : public RunnerFixture {
protected:
    static std::string Read(const std::filesystem::path& p) {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Waits until a file shows up (a started program wrote it).
    static bool AppearsWithin(const std::filesystem::path& p, int ms) {
        for (int i = 0; i < ms / 10; ++i) {
            if (std::filesystem::exists(p) && std::filesystem::file_size(p) > 0) return true;
            usleep(10000);
        }
        return false;
    }
};

TEST_F(TaskRunnerTest, ExitCodesOfStartedProgramsAreLogged) {
    Options().LogExitCodes = 1;
    RunAsTimer("/bin/sh -c \"exit 3\"", 0);
    RunAsTimer("/bin/sleep 30", 0);
    ASSERT_EQ(StartedPrograms().Count(), 2u);
    auto rows = StartedPrograms().Rows();
    EXPECT_LT(rows[0].HProcess, rows[1].HProcess);
    EXPECT_TRUE(Logged("Run Program", "/bin/sh -c \"exit 3\""));

    const int32_t shPid = rows[0].CommandLine == "/bin/sh -c \"exit 3\"" ? rows[0].HProcess : rows[1].HProcess;
    const int32_t sleepPid = shPid == rows[0].HProcess ? rows[1].HProcess : rows[0].HProcess;
    ASSERT_FALSE(WaitForProgram(shPid, 5000).running);

    // The program that ended is logged and dropped; the running one stays.
    EXPECT_EQ(LogProgramExitCodes(), 1);
    EXPECT_TRUE(Logged("Program Exit", "Code 3 for /bin/sh -c \"exit 3\""));
    ASSERT_EQ(StartedPrograms().Count(), 1u);
    EXPECT_EQ(StartedPrograms().Rows()[0].HProcess, sleepPid);

    ::kill(sleepPid, SIGTERM);
    ASSERT_FALSE(WaitForProgram(sleepPid, 5000).running);
    EXPECT_EQ(LogProgramExitCodes(), 1);
    EXPECT_TRUE(Logged("Program Exit", "Code 143 for /bin/sleep 30"));
    EXPECT_EQ(StartedPrograms().Count(), 0u);
    EXPECT_TRUE(responder_.shown().empty());

    // A row whose process is not ours reads as the unknown code.
    StartedPrograms().Add(1, "init");
    EXPECT_EQ(LogProgramExitCodes(), 1);
    EXPECT_TRUE(Logged("Program Exit", "Code 4294967295 for init"));
}

TEST_F(TaskRunnerTest, NoRowsUnlessBothLogsAreOn) {
    RunAsTimer("/bin/true", 0);
    EXPECT_EQ(StartedPrograms().Count(), 0u);
    Options().LogExitCodes = 1;
    Options().GlobalUseLog = 0;
    RunAsTimer("/bin/true", 0);
    EXPECT_EQ(StartedPrograms().Count(), 0u);
    EXPECT_EQ(LogProgramExitCodes(), 0);
}

TEST_F(TaskRunnerTest, AMissingProgramIsReportedAndQueuesNothing) {
    AddItem(7, Item("Send Keys"));
    AddItem(7, Item("Send Keys"));

    // Logging on: the failure is a log line, on the direct-start path too.
    Options().LogExitCodes = 1;
    RunAsTimer("no-such-program-kr arg", 7);
    EXPECT_TRUE(Logged("Error starting", "no-such-program-kr arg, error code 2"));
    EXPECT_TRUE(ScriptQueue().Empty());
    EXPECT_TRUE(responder_.shown().empty());

    // Only LogEvents on: the direct start fails and is reported as a message.
    Options().LogExitCodes = 0;
    RunAsTimer("no-such-program-kr arg", 7);
    EXPECT_TRUE(ScriptQueue().Empty());
    ASSERT_EQ(responder_.shown().size(), 1u);

    // Logging off: the shell alone, and the message, shown once the script
    // lock is free again.
    Options().GlobalUseLog = 0;
    responder_.clear();
    bool lockedWhileShown = true;
    responder_.onShow = [&](const MessageRequest&) -> std::optional<int> {
        lockedWhileShown = ScriptLockSet();
        return std::nullopt;
    };
    RunAsTimer("no-such-program-kr arg", 7);
    EXPECT_TRUE(ScriptQueue().Empty());
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.text, "Could not start no-such-program-kr arg.");
    EXPECT_EQ(responder_.shown()[0].request.title, "Error Code 2");
    EXPECT_FALSE(lockedWhileShown);
    responder_.onShow = nullptr;

    // A script step that wants the handle gets 0.
    int32_t handle = -1;
    RunTask("no-such-program-kr", "", "", 0, &handle, 0, 1, 1, 1, 0);
    EXPECT_EQ(handle, 0);
    EXPECT_EQ(responder_.shown().size(), 2u);

    // A file in a folder that is not there.
    responder_.clear();
    RunAsTimer("/no/such/folder/prog", 7);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "Error Code 3");
    EXPECT_TRUE(ScriptQueue().Empty());

    // The same task with a program that starts queues its items.
    RunAsTimer("/bin/true", 7);
    EXPECT_EQ(ScriptQueue().Count(), 3u);
}

TEST_F(TaskRunnerTest, TheTransferPasswordIsMaskedHoweverKrftpIsNamed) {
    const std::string secret = "Sesame42";
    auto command = [&](const std::string& program) {
        return program + " U local.txt in host bob " + secret;
    };
    auto noSecretAnywhere = [&] {
        for (const auto& line : Log()) EXPECT_EQ(line.text.find(secret), std::string::npos) << line.text;
        for (const auto& shown : responder_.shown())
            EXPECT_EQ(shown.request.text.find(secret), std::string::npos) << shown.request.text;
    };

    // Started: the "Run Program" line, by a path, with an extension, in
    // any case, and with a path that holds a blank.
    const std::string found = Script(dir_ / "bin dir" / "krftp.exe", "exit 0");
    RunAsTimer(command("\"" + found + "\""), 0);
    EXPECT_TRUE(Logged("Run Program", "\"" + found + "\" U local.txt in host bob ********"));

    // Not started, logging on: the "Error starting" line.
    Options().LogExitCodes = 1;
    for (const char* program : {"/no/such/KrFtp.Exe", "/no/such/krftp", "C:\\no\\KRFTP.EXE"})
        RunAsTimer(command(program), 0);
    EXPECT_TRUE(Logged("Error starting", "/no/such/KrFtp.Exe U local.txt in host bob ********, error code 3"));
    EXPECT_EQ(LoggedCount("Error starting"), 3);

    // Not started, logging off: the "Could not start" box.
    Options().LogExitCodes = 0;
    Options().GlobalUseLog = 0;
    RunAsTimer(command("/no/such/KRFTP.EXE"), 0);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.text, "Could not start /no/such/KRFTP.EXE U local.txt in host bob ********.");
    noSecretAnywhere();

    // Another program of that kind of command keeps its last word.
    Options().GlobalUseLog = 1;
    RunAsTimer(command("/bin/true"), 0);
    EXPECT_TRUE(Logged("Run Program", command("/bin/true")));
}

TEST_F(TaskRunnerTest, TheTransferPasswordIsMaskedInEveryFormKrftpIsStarted) {
    const std::string secret = "Sesame42";
    const std::string krftp = Script(dir_ / "bin" / "KRFTP", "exit 0");
    const std::string login = " in host bob ";
    // Each form as it is started, and as the event log must show it.
    const std::vector<std::pair<std::string, std::string>> forms = {
        // An eighth word that KRFTP ignores.
        {krftp + " U local.txt" + login + secret + " extra",
         krftp + " U local.txt" + login + "******** extra"},
        // A mode KRFTP refuses, a lower-case mode, and a quoted password
        // (quotes and all masked).
        {"KRFTP X local.txt" + login + secret, "KRFTP X local.txt" + login + "********"},
        {krftp + " d local.txt" + login + "\"" + secret + " 2\"",
         krftp + " d local.txt" + login + "********"},
        // Through env, with its options and variables.
        {"env KRFTP U local.txt" + login + secret, "env KRFTP U local.txt" + login + "********"},
        {"/usr/bin/env -i LANG=C " + krftp + " U local.txt" + login + secret,
         "/usr/bin/env -i LANG=C " + krftp + " U local.txt" + login + "********"},
        // Through a shell's command text, alone or after other commands.
        {"sh -c \"KRFTP U local.txt" + login + secret + "\"",
         "sh -c \"KRFTP U local.txt" + login + "********\""},
        {"/bin/bash -ec \"cd /tmp && " + krftp + " U 'local file.txt'" + login + "'" + secret +
             "'; echo done\"",
         "/bin/bash -ec \"cd /tmp && " + krftp + " U 'local file.txt'" + login + "********; echo done\""},
        {"env sh -c \"exec KRFTP D a b h u " + secret + "\"", "env sh -c \"exec KRFTP D a b h u ********\""},
    };
    for (const auto& [command, shown] : forms) {
        RunAsTimer(command, 0);
        EXPECT_TRUE(Logged("Run Program", shown)) << command;
    }
    for (const auto& line : Log())
        EXPECT_EQ(line.text.find(secret), std::string::npos) << line.text;
}

TEST_F(TaskRunnerTest, TheTransferPasswordIsMaskedBehindAnyWrapperAndWhereverItsTextStands) {
    const std::string secret = "Sesame42";
    const std::string krftp = Script(dir_ / "bin" / "krftp", "exit 0");
    const std::string args = " U local.txt in host bob ";
    const std::string masked = args + "********";
    // Programs that start the next word as a program, with their options,
    // and a top-level exec (not a program: it fails to start).
    for (const char* wrapper : {"nohup ", "nice -n 5 ", "timeout 60 ", "setsid ", "stdbuf -oL ",
                                       "sudo -n ", "xargs -a /dev/null ", "exec ", "ionice -c 3 nice "}) {
        RunAsTimer(wrapper + krftp + args + secret, 0);
        EXPECT_TRUE(Logged("Run Program", wrapper + krftp + masked)) << wrapper;
    }
    // Inside shell texts: a group, an if, single quotes, a backquoted or
    // $(...) command, a shell in a shell.
    const std::vector<std::pair<std::string, std::string>> texts = {
        {"sh -c \"{ " + krftp + args + secret + "; }\"", "sh -c \"{ " + krftp + masked + "; }\""},
        {"sh -c \"if true; then " + krftp + args + secret + "; fi\"",
         "sh -c \"if true; then " + krftp + masked + "; fi\""},
        // (Split as a program is started, the text's first word names KRFTP
        // too, and its sixth word takes in the closing quote.)
        {"sh -c '" + krftp + args + secret + "'", "sh -c '" + krftp + masked},
        {"bash -c 'cd /tmp; nohup " + krftp + args + "\"" + secret + "\" &'",
         "bash -c 'cd /tmp; nohup " + krftp + args + "******** &'"},
        {"sh -c \"x=`KRFTP" + args + secret + "`; y=$(KRFTP" + args + secret + ")\"",
         "sh -c \"x=`KRFTP" + masked + "`; y=$(KRFTP" + masked + ")\""},
        {"sh -c \"sh -c '" + krftp + args + secret + "'\"", "sh -c \"sh -c '" + krftp + masked + "'\""},
        // The password's text wherever else it stands in the line.
        {"sh -c \"" + krftp + args + secret + " && echo " + secret + " > sent.txt\"",
         "sh -c \"" + krftp + masked + " && echo ******** > sent.txt\""},
        // Six words after KRFTP even where the words split differently when
        // it is started than in a shell: both readings are masked.
        {"KRFTP U 'local file.txt' in host bob '" + secret + "'",
         "KRFTP U 'local file.txt' in host ******** ********"},
    };
    for (const auto& [command, shown] : texts) {
        RunAsTimer(command, 0);
        EXPECT_TRUE(Logged("Run Program", shown)) << command;
    }
    for (const auto& line : Log())
        EXPECT_EQ(line.text.find(secret), std::string::npos) << line.text;
    for (const auto& box : responder_.shown())
        EXPECT_EQ(box.request.text.find(secret), std::string::npos) << box.request.text;

    // A command without KRFTP, or with fewer than six words after it, keeps
    // its text.
    for (const std::string& command : {"echo U local.txt in host bob " + secret,
                                       "sh -c 'cp a b; echo " + secret + "'",
                                       std::string("sh -c \"KRFTP U local.txt in host bob\""),
                                       "xargs -a /dev/null KRFTPX U local.txt in host bob " + secret}) {
        RunAsTimer(command, 0);
        EXPECT_TRUE(Logged("Run Program", command)) << command;
    }
}

TEST_F(TaskRunnerTest, EveryArgumentOfKrftpIsMaskedWhereThePasswordsWordCannotBeTold) {
    const std::string secret = "S3cr3t";
    const std::string krftp = Script(dir_ / "bin" / "KRFTP", "exit 0");
    const std::string args = " U a.txt /r/ host alice ";
    auto masks = [](int n) {
        std::string out = "********";
        while (--n > 0) out += " ********";
        return out;
    };
    const std::string seven = masks(7);
    const std::vector<std::pair<std::string, std::string>> forms = {
        // A redirection among the arguments takes words out of the count.
        {"sh -c \"KRFTP 2>/dev/null" + args + secret + "\"", "sh -c \"KRFTP " + seven + "\""},
        {"sh -c \"KRFTP U a.txt /r/ host alice >log " + secret + "\"", "sh -c \"KRFTP " + seven + "\""},
        // Arguments handed to the shell's text from outside.
        {"sh -c 'KRFTP \"$@\"' sh" + args + secret, "sh -c 'KRFTP ********' " + seven},
        {"sh -c 'exec KRFTP \"$@\"' _" + args + secret, "sh -c 'exec KRFTP ********' " + seven},
        {"sh -c 'KRFTP U a.txt /r/ host $1' _ " + secret, "sh -c 'KRFTP " + masks(5) + "' " + masks(2)},
        // A pattern of file names may stand for more than one word.
        {"sh -c \"KRFTP U *.txt /r/ host alice " + secret + "\"", "sh -c \"KRFTP " + masks(6) + "\""},
    };
    for (const auto& [command, shown] : forms) {
        RunAsTimer(command, 0);
        EXPECT_TRUE(Logged("Run Program", shown)) << command;
    }
    for (const auto& line : Log()) EXPECT_EQ(line.text.find(secret), std::string::npos) << line.text;

    // Started as it stands, a "$" or "*" reaches KRFTP as it is: only the
    // password is masked.
    RunAsTimer(krftp + " U a$b.txt /r/ host alice " + secret + "*", 0);
    EXPECT_TRUE(Logged("Run Program", krftp + " U a$b.txt /r/ host alice ********"));
}

TEST_F(TaskRunnerTest, TheProgramStartsInItsFolderAndOursStays) {
    const auto sub = dir_ / "start here";
    std::filesystem::create_directories(sub);
    int32_t pid = 0;
    RunTask("/bin/sh -c \"pwd > where.txt\"", sub.string(), "", 0, &pid, 0, 1, 1, 1, 0);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(pid, LastStartedProcess());
    ASSERT_FALSE(WaitForProgram(pid, 5000).running);
    EXPECT_EQ(Read(sub / "where.txt"), sub.string() + "\n");
    EXPECT_EQ(std::filesystem::current_path(), dir_);

    // A start folder that does not exist leaves the program in ours.
    RunTask("/bin/sh -c \"pwd > where.txt\"", "/no/such/folder", "", 0, &pid, 0, 1, 1, 1, 0);
    ASSERT_GT(pid, 0);
    ASSERT_FALSE(WaitForProgram(pid, 5000).running);
    EXPECT_EQ(Read(dir_ / "where.txt"), dir_.string() + "\n");
}

TEST_F(TaskRunnerTest, ADesktopEntryStartsTheProgramOfItsExecLine) {
    const auto entry = dir_ / "My Tool.desktop";
    std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=Tool\n"
                            "Exec=/bin/sh -c \"echo 100%% $0 > ran.txt\" %U\n"
                            "[Desktop Action Other]\nExec=/bin/false\n";
    EXPECT_EQ(DesktopEntryCommand("\"" + entry.string() + "\" extra"), "/bin/sh -c \"echo 100% $0 > ran.txt\" extra");
    EXPECT_EQ(DesktopEntryCommand(entry.string()), "/bin/sh -c \"echo 100% $0 > ran.txt\"");
    EXPECT_EQ(DesktopEntryCommand("/bin/true"), "");
    EXPECT_EQ(DesktopEntryCommand((dir_ / "missing.desktop").string()), "");
    int32_t pid = 0;
    RunTask(entry.string(), dir_.string(), "", 0, &pid, 0, 1, 1, 1, 0);
    ASSERT_GT(pid, 0);
    ASSERT_FALSE(WaitForProgram(pid, 5000).running);
    EXPECT_EQ(Read(dir_ / "ran.txt"), "100% /bin/sh\n");
}

TEST_F(TaskRunnerTest, TheShellRetriesWithTheCommandSplit) {
    Options().GlobalUseLog = 0;  // the shell-only path
    // Split at the first blank.
    RunAsTimer("/bin/sh -c \"echo one > one.txt\"", 0);
    EXPECT_TRUE(AppearsWithin(dir_ / "one.txt", 5000));
    EXPECT_EQ(LastShellResult(), kShellStarted);
    // A quoted program name.
    RunAsTimer("\"/bin/sh\" -c \"echo two > two.txt\"", 0);
    EXPECT_TRUE(AppearsWithin(dir_ / "two.txt", 5000));
    // A program in a folder with a blank, found by the walk back over blanks.
    Script(dir_ / "my tools" / "mark", "echo $1 > \"" + (dir_ / "three.txt").string() + "\"");
    RunAsTimer((dir_ / "my tools" / "mark").string() + " three", 0);
    EXPECT_TRUE(AppearsWithin(dir_ / "three.txt", 5000));
    EXPECT_EQ(Read(dir_ / "three.txt"), "three\n");
    EXPECT_TRUE(responder_.shown().empty());

    // A start folder makes relative names its own.
    Script(dir_ / "bin" / "rel", "pwd > rel.txt");
    RunAsTimer("rel", 0, (dir_ / "bin").string());
    EXPECT_TRUE(AppearsWithin(dir_ / "bin" / "rel.txt", 5000));
    EXPECT_TRUE(responder_.shown().empty());
}

TEST_F(TaskRunnerTest, ShellVerbs) {
    std::ofstream(dir_ / "doc.txt") << "text";
    EXPECT_EQ(ShellStart("open", "missing.txt", "", dir_.string(), 1), kShellFileNotFound);
    EXPECT_EQ(ShellStart("open", "/no/such/folder/x.txt", "", "", 1), kShellPathNotFound);
    EXPECT_EQ(ShellStart("open", "", "", "", 1), kShellFileNotFound);
    EXPECT_EQ(ShellStart("frobnicate", "doc.txt", "", dir_.string(), 1), kShellNoAssociation);
    EXPECT_EQ(ShellStart("explore", "doc.txt", "", dir_.string(), 1), kShellNoAssociation);
    EXPECT_EQ(ShellStart("print", dir_.string(), "", "", 1), kShellNoAssociation);
    // A program opens with its parameters.
    EXPECT_EQ(ShellStart("open", "/bin/sh", "-c \"echo p > p.txt\"", dir_.string(), 1), kShellStarted);
    EXPECT_TRUE(AppearsWithin(dir_ / "p.txt", 5000));

    // A verb that is not available is reported with its code.
    Options().GlobalUseLog = 0;
    RunTask((dir_ / "doc.txt").string(), "", "Frobnicate", 0, nullptr, 0, 1, 0, 1, 0);
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "Error Code 31");
}

TEST_F(TaskRunnerTest, DocumentsGoToTheDesktopAsOneArgument) {
    // Stand-ins for xdg-open and lp beside the program: each writes the
    // number of its arguments and then each argument on a line.
    for (const char* tool : {"xdg-open", "lp"})
        Script(dir_ / "suite" / tool, std::string("{ echo $#; for a in \"$@\"; do echo \"$a\"; done; } > \"") +
                                          (dir_ / tool).string() + ".args\"");
    SetProgramFolder((dir_ / "suite").string());
    auto handedOver = [&](const char* tool) {
        const int32_t pid = LastStartedProcess();
        EXPECT_GT(pid, 0);
        WaitForProgram(pid, -1);
        return Read(dir_ / (std::string(tool) + ".args"));
    };

    // A document with the execute bit (as on FAT, NTFS and SMB mounts) is
    // opened, not run: its text never reaches a shell.
    const auto doc = dir_ / "notes.txt";
    std::ofstream(doc) << "touch \"" << (dir_ / "ran").string() << "\"\n";
    std::filesystem::permissions(doc, std::filesystem::perms::owner_all);
    EXPECT_EQ(ShellStart("open", doc.string(), "", "", 1), kShellStarted);
    EXPECT_EQ(handedOver("xdg-open"), "1\n" + doc.string() + "\n");
    RunTask(doc.string(), "", "", 0, nullptr, 0, 1, 1, 1, 0);
    EXPECT_EQ(handedOver("xdg-open"), "1\n" + doc.string() + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "ran"));

    // Quotes, a trailing backslash and a leading "-" stay one name.
    for (const std::string name : {"say \"hi\" now.txt", "ends with\\", "-rf x.txt"}) {
        SCOPED_TRACE(name);
        std::ofstream(dir_ / name) << "x";
        EXPECT_EQ(ShellStart("open", name, "", dir_.string(), 1), kShellStarted);
        EXPECT_EQ(handedOver("xdg-open"), "1\n" + (dir_ / name).string() + "\n");
        EXPECT_EQ(ShellStart("print", name, "", dir_.string(), 1), kShellStarted);
        EXPECT_EQ(handedOver("lp"), "1\n" + (dir_ / name).string() + "\n");
    }
}

TEST_F(TaskRunnerTest, PrioritiesAndWindowModes) {
    std::vector<std::pair<int32_t, int32_t>> modes;
    TaskRunnerHooks hooks;
    hooks.windowModeRequested = [&](int32_t pid, int32_t mode) { modes.emplace_back(pid, mode); };
    SetTaskRunnerHooks(hooks);

    int32_t pid = 0;
    RunTask("/bin/sleep 30", "", "", 0, &pid, kShowMaximized, 0, 1, 0, kPriorityIdle);
    ASSERT_GT(pid, 0);
    errno = 0;
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(pid)), 19);
    ASSERT_EQ(modes.size(), 1u);
    EXPECT_EQ(modes[0], std::make_pair(pid, static_cast<int32_t>(kShowMaximized)));
    ::kill(pid, SIGTERM);

    // High priority: granted with the right to it, else normal and logged.
    RunTask("/bin/sleep 30", "", "", 0, &pid, 5, 0, 1, 0, kPriorityHigh);
    ASSERT_GT(pid, 0);
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(pid));
    if (geteuid() == 0) {
        EXPECT_EQ(nice, -5);
    } else {
        EXPECT_EQ(nice, getpriority(PRIO_PROCESS, 0));
        EXPECT_TRUE(Logged("Run Program", "High priority not permitted, normal priority used: /bin/sleep 30"));
    }
    ::kill(pid, SIGTERM);
    // Show code 5 stands for a normal window: nothing to apply.
    EXPECT_EQ(modes.size(), 1u);
    EXPECT_EQ(WindowModeOf(5), kShowNormal);
    EXPECT_EQ(WindowModeOf(kShowMinimizedNoActivate), kShowMinimizedNoActivate);
    // The default priority ignores the priority argument.
    RunTask("/bin/sleep 30", "", "", 0, &pid, 0, 1, 1, 1, kPriorityIdle);
    errno = 0;
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(pid)), getpriority(PRIO_PROCESS, 0));
    ::kill(pid, SIGTERM);
}

TEST_F(TaskRunnerTest, TheChainCommandStartsAndClosesTheProgram) {
    int closes = 0;
    TaskRunnerHooks hooks;
    hooks.closeApplication = [&] { ++closes; };
    SetTaskRunnerHooks(hooks);
    AddItem(3, Item("Send Keys"));

    // A chain program that is not there: reported, and the program stays.
    Options().GlobalUseLog = 0;
    RunAsTimer("KRCHAIN next", 3);
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(responder_.shown().size(), 1u);
    EXPECT_FALSE(ScriptLockSet());

    // The suite's own folder holds it.
    Script(dir_ / "suite" / "krchain", "echo \"$@\" > \"" + (dir_ / "chained.txt").string() + "\"");
    SetProgramFolder((dir_ / "suite").string());
    RunAsTimer("krChain next step", 3);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(ScriptQueue().Empty());
    EXPECT_TRUE(AppearsWithin(dir_ / "chained.txt", 5000));
    EXPECT_EQ(Read(dir_ / "chained.txt"), "next step\n");
    EXPECT_FALSE(ScriptLockSet());
}

TEST_F(TaskRunnerTest, ARunTaskInsideAnotherGoesOnWithoutTheLock) {
    AddItem(1, Item("Send Keys"));
    AddItem(2, Item("Set Focus"));
    bool nested = false;
    TaskRunnerHooks hooks;
    hooks.busyCursor = [&](bool on) {
        if (!on || nested) return;
        nested = true;
        EXPECT_TRUE(ScriptLockSet());
        RunTask("N/A", "", "", 2, nullptr, 0, 1, 1, 1, 0);
    };
    SetTaskRunnerHooks(hooks);
    RunAsTimer("N/A", 1);
    EXPECT_TRUE(Logged("Scripting", "Lock Error"));
    ASSERT_EQ(ScriptQueue().Count(), 4u);
    EXPECT_EQ(ScriptQueue().Get(1)->Record.ID, 2);
    EXPECT_EQ(ScriptQueue().Get(3)->Record.ID, 1);
    EXPECT_FALSE(ScriptLockSet());
}

TEST_F(TaskRunnerTest, DebugModeTracesReferences) {
    Options().DebugMode = 1;
    Options().GlobalDateFormat = "d6";
    clock_.Set(MakeDate(3, 5, 2024), MakeTime(9, 0));
    EXPECT_EQ(TranslateValues("[TODAY]"), "5/03/2024");
    EXPECT_TRUE(Logged("TranslateVariable", "TODAY"));
    EXPECT_EQ(TranslateValues("[=1+1]"), "2");
    EXPECT_TRUE(Logged("Evaluation", "1+1"));
    EXPECT_TRUE(Logged("Evaluation", "Result:  2"));
    Options().DebugMode = 0;
    const int traces = LoggedCount("TranslateVariable");
    TranslateValues("[DATE]");
    EXPECT_EQ(LoggedCount("TranslateVariable"), traces);
    // The frame's "[Settings]" "Debug" switches it on as well.
    kr::runner::SetDebug("1");
    TranslateValues("[DATE]");
    kr::runner::SetDebug("");
    EXPECT_EQ(LoggedCount("TranslateVariable"), traces + 1);
}

}  // namespace
}  // namespace kr
