// The built KR98 on its own timer, with tasks saved without a description:
// each gets "Run: " + its KRFTP command, and the lines that log the
// description when the task is skipped (overdue, missed, confirmed No) or
// its advance warning is passed over show the password as "********".
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "DataFolderFixture.h"
#include "ProgramRun.h"

#include "dictionary/Dictionary.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "scheduler/DateValues.h"
#include "scheduler/Reschedule.h"
#include "scheduler/ScheduleDefaults.h"
#include "scheduler/TableScheduleStore.h"

namespace kr::test {
namespace {

class TransferPasswordE2ETest : public DataFolderTest {
protected:
    TransferPasswordE2ETest() : DataFolderTest("kr-e2e-krftp", Today(), ClockTime()) {}
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

    // A "Run Program" task of the command, due `minutes` from now (back
    // when negative), completed as the task forms complete it.
    static Schedule Task(const std::string& command, int minutes) {
        Schedule t;
        t.TaskType = "Run Program";
        t.Command = command;
        t.ScheduleType = "Once";
        t.Date = Today();
        t.Time = ClockTime() + minutes * kTicksPerMinute;
        NormalizeDateTime(t.Date, t.Time);
        return t;
    }
    static void Add(Schedule task) {
        TableScheduleStore store;
        ASSERT_EQ(store.openError(), 0);
        CompleteScheduleRecord(task, store, {});
        ASSERT_EQ(AddScheduleCopy(store, task), 0);
    }

    ProgramRun kr98_;
};

TEST_F(TransferPasswordE2ETest, DescriptionsMadeFromAKrftpCommandAreLoggedWithoutItsPassword) {
    SetSetting("LogEvents", "1");
    const std::string secret = "S3cr3t";
    // Short enough for the 40 characters of a description.
    auto command = [&](const std::string& file) { return "KRFTP U " + file + " /r/ host al " + secret; };

    Schedule overdue = Task(command("o.txt"), -30);
    overdue.SkipIfMissed = 1;
    Add(overdue);
    Schedule missed = Task(command("m.txt"), 0);
    missed.Date -= 3;
    missed.Warn = 1;
    Add(missed);
    Schedule confirm = Task(command("c.txt"), -1);
    confirm.UserSkip = 1;
    Add(confirm);
    // Due tomorrow, its advance warning due now, this run to be skipped.
    Schedule warned = Task(command("w.txt"), 0);
    warned.Date += 1;
    warned.AdvanceWarnDate = Today();
    warned.AdvanceWarnTime = 1;
    warned.SkipNextTime = 1;
    Add(warned);
    DictionaryKill();
    data::CloseIdleFiles();

    kr98_.Prepare(dir_, "offscreen");
    kr98_.SetResponses(dir_ / "answers.txt");  // no answers: "Run it now?" is answered No
    ASSERT_TRUE(kr98_.Start());

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Overdue task skipped", "o.txt"},
        {"Missed task skipped", "m.txt"},
        {"Task skipped", "c.txt"},
        {"Advanced Warning", "w.txt"},
    };
    auto logged = [&](const std::string& label, const std::string& file) {
        for (const EventLogEntry& e : ReadEventLog(dir_))
            if (e.label == label && e.text.find(file) != std::string::npos) return true;
        return false;
    };
    const bool all = WaitUntil(
        [&] {
            for (const auto& [label, file] : expected)
                if (!logged(label, file)) return false;
            return true;
        },
        60000);
    EXPECT_TRUE(all) << kr98_.Said();
    for (const auto& [label, file] : expected) {
        const std::string shown = "Run: KRFTP U " + file + " /r/ host al ********";
        bool found = false;
        std::string lines;
        for (const EventLogEntry& e : ReadEventLog(dir_)) {
            found = found || (e.label == label && (e.text == shown || e.text == "Skipped:  " + shown));
            lines += e.label + ": " + e.text + "\n";
        }
        EXPECT_TRUE(found) << label << ": " << shown << "\n" << lines;
    }
    for (const EventLogEntry& e : ReadEventLog(dir_))
        EXPECT_EQ(e.text.find(secret), std::string::npos) << e.label << ": " << e.text;
}

}  // namespace
}  // namespace kr::test
