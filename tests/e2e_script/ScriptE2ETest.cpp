// KR98 runs a due task's script from its own timer, in a temporary data
// folder on the real clock: Set Value, a true If Value..., a Start Program
// whose command uses the value, and the End If; the program's file appears
// and the event log holds the script's lines in order.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DataFolderFixture.h"
#include "ProgramRun.h"

#include "dictionary/Dictionary.h"
#include "dictionary/FileNames.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Strings.h"
#include "scheduler/DateValues.h"
#include "scheduler/Reschedule.h"
#include "scheduler/TableScheduleStore.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;

class ScriptE2ETest : public DataFolderTest {
protected:
    ScriptE2ETest() : DataFolderTest("kr-e2e-script", Today(), ClockTime()) {}
    void SetUp() override {
        DataFolderTest::SetUp();
        InstallClock(nullptr);                // KR98 and the test run on the real clock
        data::SetKeyDerivationIterations(0);  // KR98 opens the file with the real key derivation
        DictionaryInit();
    }
    void TearDown() override {
        kr98_.Stop();
        DataFolderTest::TearDown();
    }

    // The event log's script lines (label "Script"), text only.
    std::vector<std::string> ScriptLog() const {
        std::vector<std::string> lines;
        for (const EventLogEntry& e : ReadEventLog(dir_))
            if (e.label == "Script") lines.push_back(e.text);
        return lines;
    }

    ProgramRun kr98_;
};

TEST_F(ScriptE2ETest, ADueTasksScriptRunsToItsEndInTheRunningProgram) {
    SetSetting("LogEvents", "1");
    SetSetting("ScriptingDelay", "25");

    int32_t id = 0;
    {
        Schedule task;
        task.TaskType = "Run Program";
        task.Command = "N/A";  // the script alone
        task.Description = "Script end to end";
        task.Category = "General";
        task.ScheduleType = "Once";
        task.Date = Today();
        task.Time = ClockTime() + 300;  // due in three seconds
        NormalizeDateTime(task.Date, task.Time);
        TableScheduleStore store;
        ASSERT_EQ(store.openError(), 0);
        ASSERT_EQ(AddScheduleCopy(store, task), 0);
        id = task.ID;
        ASSERT_GT(id, 0);
    }
    {
        ScriptingFileManager& f = Scripting_File();
        ASSERT_EQ(f.Open(), data::kLevelBenign);
        auto add = [&](Scripting s) {
            s.ID = id;
            f.rec() = s;
            ASSERT_EQ(f.Insert(), data::kLevelBenign);
        };
        Scripting set;
        set.Action = "Set Value";
        set.Path = "GREETING";
        set.Command = "hello";
        add(set);
        Scripting test;
        test.Action = "If Value...";
        test.Command = "GREETING";
        test.WindowTitleToCheckFor = "=";
        test.WaitForWindow = "hello";
        add(test);
        Scripting run;
        run.Action = "Start Program";
        run.Command = "sh -c \"echo [GREETING] > script-ran.txt\"";
        run.Path = dir_.string();
        run.DDEApplicationName = "1211";  // wait for it, translate values
        add(run);
        Scripting end;
        end.Action = "...End If";
        add(end);
        f.Close();
    }
    DictionaryKill();
    data::CloseIdleFiles();

    kr98_.Prepare(dir_, "offscreen");
    kr98_.SetResponses(dir_ / "answers.txt");
    ASSERT_TRUE(kr98_.Start());

    const std::vector<std::string> expected = {
        "Set Value  GREETING = hello",
        "If Value... *TRUE*GREETING = hello",
        "If Value...  GREETING = hello",
        "Wait for Program End  sh -c \"echo [GREETING] > script-ran.txt\" " + dir_.string(),
        "...End If",
        "**End**",
    };
    const bool done = WaitUntil([&] { return ScriptLog().size() >= expected.size(); }, 60000);
    EXPECT_TRUE(done) << kr98_.Said();
    EXPECT_EQ(ScriptLog(), expected);

    std::ifstream out(dir_ / "script-ran.txt");
    std::string text;
    std::getline(out, text);
    EXPECT_EQ(text, "hello");
}

}  // namespace
}  // namespace kr::test
