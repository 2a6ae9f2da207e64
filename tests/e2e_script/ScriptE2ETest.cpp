// KR98 runs a due task's script from its own timer, in a temporary data
// folder on the real clock: Set Value, a true If Value..., a Start Program
// whose command uses the value, and the End If; the program's file appears
// and the event log holds the script's lines in order.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

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

bool WaitUntil(const std::function<bool()>& cond, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return cond();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

class ScriptE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        char tmpl[] = "/tmp/kr-e2e-script-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::create_directories(dir_ / "home");
        fs::current_path(dir_);
        data::SetKeyDerivationIterations(0);  // KR98 opens the file with the real key derivation
        DictionaryInit();
    }
    void TearDown() override {
        if (kr98_.state() != QProcess::NotRunning) {
            kr98_.terminate();
            if (!kr98_.waitForFinished(15000)) kr98_.kill();
            kr98_.waitForFinished();
        }
        DictionaryKill();
        data::CloseIdleFiles();
        fs::current_path(previous_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    static void SetSetting(const std::string& name, const std::string& value) {
        data::Table& t = data::TableOf(ConfigurationDef());
        int e = t.Open();
        if (e == 2) {
            ASSERT_EQ(t.Create(), 0);
            e = t.Open();
        }
        ASSERT_EQ(e, 0);
        Configuration& CF = t.Rec<Configuration>();
        CF = Configuration();
        CF.DataType = name;
        CF.DataValue = value;
        ASSERT_EQ(t.Add(), 0);
        t.Close();
    }

    // The event log's script lines (label "Script"), text only.
    std::vector<std::string> ScriptLog() const {
        std::vector<std::string> lines;
        std::ifstream in(dir_ / kEventLogFileName, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() < 54) continue;
            if (ClipRight(line.substr(22, 32)) == "Script") lines.push_back(ClipRight(line.substr(54)));
        }
        return lines;
    }

    fs::path dir_, previous_;
    QProcess kr98_;
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

    const fs::path answers = dir_ / "answers.txt";
    std::ofstream(answers).close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", QString::fromStdString((dir_ / "home").string()));
    env.insert("XDG_DATA_HOME", QString::fromStdString((dir_ / "xdg").string()));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString((dir_ / "config").string()));
    env.insert("KR_TEST_RESPONSES", QString::fromStdString(answers.string()));
    kr98_.setProcessEnvironment(env);
    kr98_.setWorkingDirectory(QString::fromStdString(dir_.string()));
    kr98_.start(QString::fromStdString(std::string(KR_BIN_DIR) + "/KR98"), {});
    ASSERT_TRUE(kr98_.waitForStarted());

    const std::vector<std::string> expected = {
        "Set Value  GREETING = hello",
        "If Value... *TRUE*GREETING = hello",
        "If Value...  GREETING = hello",
        "Wait for Program End  sh -c \"echo [GREETING] > script-ran.txt\" " + dir_.string(),
        "...End If",
        "**End**",
    };
    const bool done = WaitUntil([&] { return ScriptLog().size() >= expected.size(); }, 60000);
    EXPECT_TRUE(done) << "KR98: " << kr98_.readAllStandardError().toStdString();
    EXPECT_EQ(ScriptLog(), expected);

    std::ifstream out(dir_ / "script-ran.txt");
    std::string text;
    std::getline(out, text);
    EXPECT_EQ(text, "hello");
}

}  // namespace
}  // namespace kr::test
