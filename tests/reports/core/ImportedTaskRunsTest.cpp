// A task brought in from an exchange file without a "SCH:Disabled" column
// is found by the scheduler's timer cycle and runs when it is due.
#include <fstream>

#include "../../frame/CycleFixture.h"
#include "reports/ImexProcesses.h"

namespace kr::reports {
namespace {

class ImportedTaskRunsTest : public test::CycleTest {};

TEST_F(ImportedTaskRunsTest, AnImportedTaskWithoutADisabledColumnRunsWhenDue) {
    const std::string file = (dir_ / "tasks.csv").string();
    std::ofstream(file, std::ios::binary)
        << "\"SCH:TaskType\",\"SCH:Description\",\"SCH:Command\",\"SCH:ScheduleType\",\"SCH:Date\",\"SCH:Time\"\r\n"
           "\"Run Program\",\"Imported backup\",\"true\",\"Once\",\""
        << Format(Value(test::D(2024, 7, 1)), "@d17") << "\",\"" << Format(Value(test::T(8, 5)), "@t7") << "\"\r\n";
    auto reader = std::make_shared<Imex>();
    ImexError e;
    ASSERT_GT(OpenImportFile(*reader, file, e), 0) << e.Message();
    const ImportColumns cols = ScanImportColumns(*reader);
    ImportMapping m{cols.pictures, {}};
    AutoAssign(Member(ImexKind::Schedule), cols.values, m);
    {
        ImportRun run(Member(ImexKind::Schedule), reader, m, true);
        ASSERT_TRUE(run.Start());
        ASSERT_EQ(RunToEnd(run), ProcessState::Finished);
        ASSERT_EQ(run.added(), 1);
    }

    CheckNow();  // 08:00: not yet
    EXPECT_TRUE(runs_.empty());
    clock_.Set(test::D(2024, 7, 1), test::T(8, 5, 1));
    CheckNow();
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(runs_[0].id, 1);
    EXPECT_EQ(runs_[0].description, "Imported backup");
    EXPECT_EQ(runs_[0].kind, "program");
}

}  // namespace
}  // namespace kr::reports
