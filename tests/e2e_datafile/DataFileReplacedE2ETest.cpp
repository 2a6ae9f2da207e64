// A running KR98 whose data file is replaced by a rename (a sync tool's copy,
// or bytes that are no data file at all): it says so once, runs no task that
// comes due afterwards, and writes nothing into either file.
#include <gtest/gtest.h>
#include <stdio.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "DataFolderFixture.h"
#include "ProgramRun.h"

#include "dictionary/Dictionary.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/DataFileCopy.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Strings.h"
#include "scheduler/DateValues.h"
#include "scheduler/Reschedule.h"
#include "scheduler/TableScheduleStore.h"

namespace kr::test {
namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

// How long after the data file is made its task comes due: KR98 starts and
// the file is replaced well before.
constexpr int kDueInSeconds = 20;

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class DataFileReplacedTest : public DataFolderTest {
protected:
    DataFileReplacedTest() : DataFolderTest("kr-e2e-replaced", Today(), ClockTime()) {}
    void SetUp() override {
        DataFolderTest::SetUp();
        InstallClock(nullptr);                // KR98 and the test run on the real clock
        data::SetKeyDerivationIterations(0);  // KR98 opens the file with the real key derivation
    }

    // A data file with one "Run Program" task that notes each start of its
    // program in started.txt; due kDueInSeconds from now.
    Steady::time_point MakeDataFile() {
        DictionaryInit();
        SetSetting("LogEvents", "1");
        Schedule task;
        task.TaskType = "Run Program";
        task.Command = "sh -c \"echo run >> started.txt\"";
        task.Path = dir_.string();
        task.Description = "Due after the replacement";
        task.Category = "General";
        task.ScheduleType = "Once";
        task.Date = Today();
        task.Time = ClockTime() + kDueInSeconds * 100;
        NormalizeDateTime(task.Date, task.Time);
        const Steady::time_point due = Steady::now() + std::chrono::seconds(kDueInSeconds);
        {
            TableScheduleStore store;
            EXPECT_EQ(store.openError(), 0);
            EXPECT_EQ(AddScheduleCopy(store, task), 0);
        }
        DictionaryKill();
        data::CloseIdleFiles();
        return due;
    }

    // Starts KR98 on the folder and waits for its "Started" line.
    void StartKR98(ProgramRun& kr98) {
        std::string answers;
        for (int i = 0; i < 40; ++i) answers += "button 1\n";
        std::ofstream(dir_ / "answers.txt", std::ios::trunc) << answers;
        kr98.Prepare(dir_, "offscreen");
        kr98.SetResponses(dir_ / "answers.txt");
        ASSERT_TRUE(kr98.Start());
        auto started = [&] {
            for (const EventLogEntry& e : ReadEventLog(dir_))
                if (e.label == "Started") return true;
            return false;
        };
        ASSERT_TRUE(WaitUntil(started, 60000)) << kr98.Said();
        // The start's own writes after that line (the frame's settings, the
        // clipboard's key rule) are done before the file is replaced.
        std::this_thread::sleep_for(std::chrono::seconds(3));
    }

    // After the replacement: one box that says so, none of a failed write,
    // no start of the task that came due, the event log's line, and the new
    // file as it was put there.
    void ExpectStoppedAndToldOnce(ProgramRun& kr98, Steady::time_point due, const std::string& newBytes) {
        EXPECT_TRUE(WaitUntil([&] { return Count(kr98.Asked(), "Data File Replaced") > 0; }, 20000))
            << "nothing said; messages:\n" << kr98.Asked() << kr98.Said();
        // The task's moment passes, and several of the timer's checks after it.
        std::this_thread::sleep_for(due - Steady::now() + std::chrono::seconds(6));
        ASSERT_TRUE(kr98.Running()) << kr98.Said();
        const std::string asked = kr98.Asked();
        EXPECT_EQ(Count(asked, "Data File Replaced"), 1) << asked;
        EXPECT_EQ(Count(asked, "Access Denied"), 0) << asked;
        EXPECT_FALSE(fs::exists(dir_ / "started.txt")) << "the task ran on the replaced file";
        bool logged = false;
        for (const EventLogEntry& e : ReadEventLog(dir_))
            if (e.label == "Data file replaced" && e.text.find("KR97.TPS") != std::string::npos) logged = true;
        EXPECT_TRUE(logged) << ReadText(dir_ / "KR98Evnt.LOG");
        kr98.Stop();
        EXPECT_TRUE(ReadText(dir_ / "KR97.TPS") == newBytes) << "the new data file was written to";
    }
};

TEST_F(DataFileReplacedTest, ACopyRenamedOverTheDataFileIsToldOnceAndNoTaskRunsOnEitherFile) {
    const Steady::time_point due = MakeDataFile();
    ProgramRun kr98;
    StartKR98(kr98);
    if (HasFatalFailure()) return;
    // A sync tool's way: a consistent copy beside the file, renamed over it.
    ASSERT_EQ(data::CopyDataFileConsistently((dir_ / "KR97.TPS").string(), (dir_ / "KR97.new").string(),
                                             {kOwnerPassword}),
              data::DataCopy::Copied);
    const std::string newBytes = ReadText(dir_ / "KR97.new");
    ASSERT_EQ(::rename((dir_ / "KR97.new").c_str(), (dir_ / "KR97.TPS").c_str()), 0);
    ASSERT_LT(Steady::now() + std::chrono::seconds(5), due) << "KR98 took too long to start for this test";
    ExpectStoppedAndToldOnce(kr98, due, newBytes);
}

TEST_F(DataFileReplacedTest, RandomBytesRenamedOverTheDataFileAreToldOnceAndLeftAsTheyAre) {
    const Steady::time_point due = MakeDataFile();
    ProgramRun kr98;
    StartKR98(kr98);
    if (HasFatalFailure()) return;
    std::string bytes(64 * 1024, '\0');
    std::mt19937 random(7);
    for (char& c : bytes) c = static_cast<char>(random());
    std::ofstream(dir_ / "KR97.new", std::ios::binary) << bytes;
    ASSERT_EQ(::rename((dir_ / "KR97.new").c_str(), (dir_ / "KR97.TPS").c_str()), 0);
    ASSERT_LT(Steady::now() + std::chrono::seconds(5), due) << "KR98 took too long to start for this test";
    ExpectStoppedAndToldOnce(kr98, due, bytes);
}

// A script of many steps under way when the file is replaced: it stops at
// the step it reached, the event log says where, and the one box says what
// stopped with it.
TEST_F(DataFileReplacedTest, AScriptUnderWayStopsWhereItWasAndTheBoxSaysWhatStopped) {
    constexpr int kSteps = 40;
    DictionaryInit();
    SetSetting("LogEvents", "1");
    SetSetting("ScriptingDelay", "50");
    {
        Schedule task;
        task.TaskType = "Run Program";
        task.Command = "N/A";  // the script alone
        task.Description = "Long script";
        task.Category = "General";
        task.ScheduleType = "Once";
        task.Date = Today();
        task.Time = ClockTime() + 200;
        NormalizeDateTime(task.Date, task.Time);
        TableScheduleStore store;
        ASSERT_EQ(store.openError(), 0);
        ASSERT_EQ(AddScheduleCopy(store, task), 0);
        ScriptingFileManager& f = Scripting_File();
        ASSERT_EQ(f.Open(), data::kLevelBenign);
        for (int i = 1; i <= kSteps; ++i) {
            Scripting step;
            step.ID = task.ID;
            step.Action = "Start Program";
            step.Command = "sh -c \"echo " + std::to_string(i) + " >> steps.txt\"";
            step.Path = dir_.string();
            step.DDEApplicationName = "1211";  // wait for its end
            f.rec() = step;
            ASSERT_EQ(f.Insert(), data::kLevelBenign);
        }
        f.Close();
    }
    DictionaryKill();
    data::CloseIdleFiles();
    auto steps = [&] { return Count(ReadText(dir_ / "steps.txt"), "\n"); };

    ProgramRun kr98;
    StartKR98(kr98);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(WaitUntil([&] { return steps() >= 3; }, 60000)) << kr98.Said();
    ASSERT_EQ(data::CopyDataFileConsistently((dir_ / "KR97.TPS").string(), (dir_ / "KR97.new").string(),
                                             {kOwnerPassword}),
              data::DataCopy::Copied);
    ASSERT_EQ(::rename((dir_ / "KR97.new").c_str(), (dir_ / "KR97.TPS").c_str()), 0);
    ASSERT_TRUE(WaitUntil([&] { return Count(kr98.Asked(), "Data File Replaced") > 0; }, 20000)) << kr98.Said();
    const int reached = steps();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    EXPECT_LE(steps(), reached + 1) << "the script went on";
    EXPECT_LT(steps(), kSteps);

    const std::string asked = kr98.Asked();
    EXPECT_EQ(Count(asked, "Data File Replaced"), 1) << asked;
    EXPECT_NE(asked.find("no scripts"), std::string::npos) << asked;
    EXPECT_NE(asked.find("clipboard saver has stopped too"), std::string::npos) << asked;
    // The log and the box name the step at the head of the queue: one of
    // the script's, the last one started or the next.
    std::string item;
    for (const EventLogEntry& e : ReadEventLog(dir_))
        if (e.label == "Script stopped" && e.text.rfind("Data file replaced before ", 0) == 0)
            item = ClipRight(e.text.substr(26));
    ASSERT_FALSE(item.empty()) << ReadText(dir_ / "KR98Evnt.LOG");
    EXPECT_TRUE(item.find("echo " + std::to_string(reached) + " >>") != std::string::npos ||
                item.find("echo " + std::to_string(reached + 1) + " >>") != std::string::npos)
        << item << " after step " << reached;
    EXPECT_NE(asked.find("The script that was running stopped before its item " + item + "."), std::string::npos)
        << asked;
    kr98.Stop();
}

}  // namespace
}  // namespace kr::test
