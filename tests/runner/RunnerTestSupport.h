// A data folder of its own for each runner test: real tables in a temporary
// folder made the current one, options at their start-up values with the
// event log on, a clock that stands still and a responder that records
// every message.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/Settings.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "scheduler/ScriptQueue.h"
#include "scheduler/StartedPrograms.h"
#include "scheduler/TaskRunner.h"

namespace kr::test {

struct LogLine {
    std::string label;
    std::string text;
};

class RunnerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/kr-runner-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        data::SetKeyDerivationIterations(64);
        ResetOptions();
        Options().GlobalUseLog = 1;
        Options().GlobalDelay = 50;
        InstallClock(&clock_);
        DictionaryInit();
        ASSERT_EQ(Scripting_File().Open(), data::kLevelBenign);
        ScriptQueue().Free();
        StartedPrograms().Clear();
        SetTaskRunnerHooks({});
    }
    void TearDown() override {
        SetTaskRunnerHooks({});
        SetScriptItemReader(nullptr);
        SetProgramFolder({});
        ScriptQueue().Free();
        StartedPrograms().Clear();
        Scripting_File().Close();
        CloseEventLog();
        DictionaryKill();
        data::CloseIdleFiles();
        data::SetKeyDerivationIterations(0);
        InstallClock(nullptr);
        ResetOptions();
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // Stores a script item of a task; the sequence is numbered on insert.
    void AddItem(int32_t task, Scripting item) {
        item.ID = task;
        item.Sequence = 0;
        Scripting_File().rec() = item;
        ASSERT_EQ(Scripting_File().Insert(), data::kLevelBenign);
    }
    static Scripting Item(const char* action) {
        Scripting s;
        s.Action = action;
        return s;
    }

    std::vector<LogLine> Log() const {
        std::vector<LogLine> lines;
        std::ifstream in(EventLogPath(), std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() < 54) continue;
            lines.push_back({ClipRight(line.substr(22, 32)), ClipRight(line.substr(54))});
        }
        return lines;
    }
    bool Logged(const std::string& label, const std::string& text) const {
        for (const LogLine& l : Log())
            if (l.label == label && l.text == text) return true;
        return false;
    }
    int LoggedCount(const std::string& label) const {
        int n = 0;
        for (const LogLine& l : Log()) n += l.label == label;
        return n;
    }

    // Writes an executable shell script.
    std::string Script(const std::filesystem::path& path, const std::string& body) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        return path.string();
    }

    // RunTask as the timer cycle calls it for a due task.
    static void RunAsTimer(const std::string& command, int32_t id, const std::string& folder = {}) {
        RunTask(command, folder, "", id, nullptr, 0, 1, 1, 1, 0);
    }

    ScriptedResponder responder_;
    ScopedMessageService messages_{&responder_};
    ManualClock clock_{MakeDate(7, 1, 2024), MakeTime(8, 0)};
    std::filesystem::path dir_, previous_;
};

}  // namespace kr::test
