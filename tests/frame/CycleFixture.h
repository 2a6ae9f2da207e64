// The timer cycle over a real data file in a temporary folder, with a
// settable clock, a scripted message responder and hooks that record what
// the cycle asked of the frame, the sound service and the task runner.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/Settings.h"
#include "dictionary/FileNames.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "scheduler/ScriptQueue.h"
#include "scheduler/TableScheduleStore.h"
#include "scheduler/TimerCycle.h"

namespace kr::test {

inline int32_t D(int year, int month, int day) { return MakeDate(month, day, year); }
inline int32_t T(int hours, int minutes, int seconds = 0) { return MakeTime(hours, minutes, seconds); }

struct LogLine {
    std::string label, text;
};

// One run the cycle asked for: the task's ID and description, and when.
struct RunRecord {
    int32_t id = 0;
    std::string description;
    int32_t date = 0, time = 0;
    std::string kind;  // "program" or "message"
};

class CycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/kr-cycle-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        EnterDataFolder();
        data::SetKeyDerivationIterations(64);  // not about the key
        InstallClock(&clock_);
        InstallMessageService(&responder_);
        DictionaryInit();
        Options().GlobalUseLog = 1;  // the event log is written
        ScriptQueue().Free();
        ScriptsRequested() = false;

        CycleHooks& h = cycle_.hooks();
        h.runTask = [this](const Schedule& s) { runs_.push_back({s.ID, s.Description.str(), Today(), ClockTime(), "program"}); };
        h.showTaskMessage = [this](const Schedule& s) {
            runs_.push_back({s.ID, s.Description.str(), Today(), ClockTime(), "message"});
        };
        h.playSound = [this](const std::string& f) { sounds_.push_back(f); };
        h.beep = [this] { sounds_.push_back("<beep>"); };
        h.notifyWindowThreads = [this] { ++notified_; };
        h.runProgram = [this](const std::string& c) {
            started_.push_back(c);
            return 0;
        };
        h.setTrayTip = [this](const std::string& t) { trayTip_ = t; };
        h.setTrayIcon = [this](const std::string& i) { trayIcons_.push_back(i); };
        h.statusText = [this](int zone) { return zone == kZoneScript ? zone2_ : std::string(); };
        h.setStatusText = [this](int zone, const std::string& t) {
            if (zone == kZoneScript) zone2_ = t;
        };
        h.frameCaption = [this] { return caption_; };
        h.setFrameCaption = [this](const std::string& c) { caption_ = c; };
        cycle_.settings() = CycleSettings();
        cycle_.Start();
        store_ = std::make_unique<TableScheduleStore>();
    }
    void TearDown() override {
        store_.reset();
        cycle_.Stop();
        ScriptQueue().Free();
        DictionaryKill();
        CloseEventLog();
        ResetOptions();
        data::CloseIdleFiles();
        InstallMessageService(nullptr);
        InstallClock(nullptr);
        data::SetKeyDerivationIterations(0);
        LeaveDataFolder();
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // The data folder: the test's folder unless a fixture moves into another
    // one; left again before the folder is removed.
    virtual void EnterDataFolder() {}
    virtual void LeaveDataFolder() {}

    // A task that repeats every n units ("minute(s)", "hour(s)", "day(s)").
    static Schedule Every(int n, const std::string& unit, int32_t date, int32_t time, const std::string& what) {
        Schedule s;
        s.ScheduleType = "Custom";
        s.Every = n;
        s.EveryType = unit;
        s.Date = date;
        s.Time = time;
        s.TaskType = "Run Program";
        s.Command = "true";
        s.Description = what;
        return s;
    }
    static Schedule Once(int32_t date, int32_t time, const std::string& what) {
        Schedule s = Every(0, "", date, time, what);
        s.ScheduleType = "Once";
        return s;
    }
    // Stores the task under the next ID and returns the ID.
    int32_t Add(Schedule s) {
        s.ID = store_->LastID() + 1;
        EXPECT_EQ(store_->Add(s), 0);
        return s.ID;
    }
    Schedule Fetch(int32_t id) {
        Schedule s;
        EXPECT_EQ(store_->Fetch(id, s), 0) << "task " << id;
        return s;
    }
    std::vector<Schedule> All() { return store_->ReadAfter(0, 100000); }
    void AddItem(int32_t task, const char* action) {
        Scripting_File().rec() = Scripting();
        Scripting_File().rec().ID = task;
        Scripting_File().rec().Action = action;
        ASSERT_EQ(Scripting_File().Insert(), data::kLevelBenign);
    }
    int ItemsOf(int32_t task) {
        int n = 0;
        data::TableOf(ScriptingDef())
            .ForEachMatch(ScriptingDef().key("SCR:KeyID"), {ScriptingDef().field("SCR:ID")}, {Value(task)},
                          [&](int64_t, const void*) {
                              ++n;
                              return true;
                          });
        return n;
    }

    // n ticks, the clock moving on by step hundredths after each.
    void Ticks(int n, int64_t step = 100) {
        for (int i = 0; i < n; ++i) {
            cycle_.TimerTick();
            clock_.Advance(step);
        }
    }
    // Ticks until the rotation's next tick is phase 3 (the next-task check).
    void ToNextTaskCheck() {
        while (cycle_.phase() != 2) Ticks(1, 0);
    }
    // One pass of the next-task check at the clock as it stands.
    void CheckNow() {
        ToNextTaskCheck();
        cycle_.TimerTick();
    }

    static std::vector<LogLine> Log() {
        std::vector<LogLine> out;
        std::ifstream in(kEventLogFileName, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() < 54) continue;
            out.push_back({Trim(line.substr(22, 32)), Trim(line.substr(54))});
        }
        return out;
    }
    static std::vector<std::string> LogLabels() {
        std::vector<std::string> out;
        for (const LogLine& l : Log()) out.push_back(l.label);
        return out;
    }

    std::filesystem::path dir_, previous_;
    ManualClock clock_{D(2024, 7, 1), T(8, 0)};
    ScriptedResponder responder_;
    TimerCycle cycle_;
    std::unique_ptr<TableScheduleStore> store_;
    std::vector<RunRecord> runs_;
    std::vector<std::string> sounds_, started_, trayIcons_;
    std::string trayTip_, zone2_, caption_;
    int notified_ = 0;
};

}  // namespace kr::test
