// An import holds the data file for one transaction at a time: another
// program that needs the file meanwhile (a snooze from the message program, a
// second reader) gets in within about one transaction, not near its time-out.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "ReportDataFolder.h"
#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"
#include "platform/runtime/Picture.h"
#include "reports/ImexProcesses.h"

namespace kr::reports {
namespace {

using Steady = std::chrono::steady_clock;

double Seconds(Steady::duration d) { return std::chrono::duration<double>(d).count(); }

// The other program: once told to go, it adds a to-do item and reads the
// first task again and again through its own connection, until told to stop;
// then it writes its longest wait, its failures and its rounds.
[[noreturn]] void OtherProgram(int commands, int results) {
    char c = 0;
    if (::read(commands, &c, 1) != 1) ::_exit(2);
    DictionaryInit();
    data::Table& todo = data::TableOf(TodoDef());
    data::Table& tasks = data::TableOf(ScheduleDef());
    if (todo.Open() != 0 || tasks.Open() != 0) ::_exit(3);
    double longest = 0;
    int failures = 0, rounds = 0;
    for (pollfd p{commands, POLLIN, 0}; ::poll(&p, 1, 2) == 0; ++rounds) {
        const auto t0 = Steady::now();
        Todo& item = todo.Rec<Todo>();
        item = Todo();
        item.ToDo = "Noted during the import " + std::to_string(rounds);
        if (todo.Add() != 0) ++failures;
        tasks.Set(nullptr);
        if (const int e = tasks.Next(); e != 0 && e != 33) ++failures;
        longest = std::max(longest, Seconds(Steady::now() - t0));
    }
    const std::string said = std::to_string(longest) + " " + std::to_string(failures) + " " + std::to_string(rounds);
    (void)!::write(results, said.data(), said.size());
    ::_exit(0);
}

class ImportSharesTheFileTest : public ReportDataFolderTest {};

TEST_F(ImportSharesTheFileTest, AnotherProgramGetsTheDataFileWithinASecondWhileAnImportRuns) {
    int commands[2], results[2];
    ASSERT_EQ(::pipe(commands), 0);
    ASSERT_EQ(::pipe(results), 0);
    // Started before this process opens the data file: the other program
    // shares nothing of it.
    const pid_t other = ::fork();
    ASSERT_GE(other, 0);
    if (other == 0) {
        ::close(commands[1]);
        ::close(results[0]);
        OtherProgram(commands[0], results[1]);
    }
    ::close(commands[0]);
    ::close(results[1]);

    constexpr int kRows = 20000;
    {
        std::ofstream csv("tasks.csv", std::ios::binary);
        csv << "\"SCH:TaskType\",\"SCH:Description\",\"SCH:Command\",\"SCH:ScheduleType\",\"SCH:Date\",\"SCH:Time\"\r\n";
        const std::string date = Format(Value(MakeDate(7, 1, 2030)), "@d17");
        for (int i = 1; i <= kRows; ++i)
            csv << "\"Run Program\",\"Imported task " << i << "\",\"true\",\"Once\",\"" << date << "\",\""
                << Format(Value(MakeTime(i % 24, i % 60, 0)), "@t7") << "\"\r\n";
    }
    DictionaryInit();
    ASSERT_EQ(data::TableOf(ScheduleDef()).Create(), 0);
    ASSERT_EQ(data::TableOf(TodoDef()).Create(), 0);

    // Imports until the other program has waited through three seconds of
    // them.
    bool told = false;
    Steady::time_point since;
    int imports = 0;
    while (!told || Steady::now() - since < std::chrono::seconds(3)) {
        auto reader = std::make_shared<Imex>();
        ImexError e;
        ASSERT_GT(OpenImportFile(*reader, "tasks.csv", e), 0) << e.Message();
        const ImportColumns cols = ScanImportColumns(*reader);
        ImportMapping m{cols.pictures, {}};
        AutoAssign(Member(ImexKind::Schedule), cols.values, m);
        ImportRun run(Member(ImexKind::Schedule), reader, m, true);
        ASSERT_TRUE(run.Start());
        while (run.Running()) {
            run.Step(run.batchSize());
            if (!told) {
                told = ::write(commands[1], "g", 1) == 1;
                since = Steady::now();
            }
        }
        EXPECT_EQ(run.added(), kRows) << run.Summary();
        ++imports;
    }
    ASSERT_EQ(::write(commands[1], "s", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(other, &status, 0), other);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other program ended with " << status;
    char said[128] = {};
    ASSERT_GT(::read(results[0], said, sizeof said - 1), 0);
    ::close(commands[1]);
    ::close(results[0]);
    double longest = 0;
    int failures = -1, rounds = 0;
    ASSERT_EQ(std::sscanf(said, "%lf %d %d", &longest, &failures, &rounds), 3) << said;
    EXPECT_EQ(failures, 0) << "the other program's reads or writes failed as locked";
    EXPECT_LT(longest, 1.0) << "the other program waited " << longest << " s at most in " << rounds << " rounds during "
                            << imports << " imports";
    EXPECT_GT(rounds, 3);
}

}  // namespace
}  // namespace kr::reports
