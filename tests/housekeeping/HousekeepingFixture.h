// A data file in a temporary folder with the dictionary up, a settable clock,
// a scripted message responder and a recorded program start.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/FileNames.h"
#include "dictionary/OpenTable.h"
#include "dictionary/Settings.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "scheduler/ClipboardMonitor.h"
#include "scheduler/TaskMessage.h"

namespace kr::test {

inline int32_t D(int year, int month, int day) { return MakeDate(month, day, year); }
inline int32_t T(int hours, int minutes) { return MakeTime(hours, minutes, 0); }

class HousekeepingTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/kr-house-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        data::SetKeyDerivationIterations(64);
        InstallClock(&clock_);
        InstallMessageService(&responder_);
        DictionaryInit();
        Options().GlobalUseLog = 1;
        ASSERT_EQ(OpenTable(ConfigurationDef()), 0);
        ResetClipboardRekey();
        SetMessageProgramRunner([this](const std::string& c) {
            started_.push_back(c);
            return programResult_;
        });
    }
    void TearDown() override {
        SetMessageProgramRunner({});
        data::TableOf(ConfigurationDef()).Close();
        DictionaryKill();
        CloseEventLog();
        ResetOptions();
        data::CloseIdleFiles();
        InstallMessageService(nullptr);
        InstallClock(nullptr);
        data::SetKeyDerivationIterations(0);
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // The event log as (label, text) pairs.
    static std::vector<std::pair<std::string, std::string>> Log() {
        std::vector<std::pair<std::string, std::string>> out;
        std::ifstream in(kEventLogFileName, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() < 54) continue;
            out.emplace_back(Trim(line.substr(22, 32)), Trim(line.substr(54)));
        }
        return out;
    }

    std::filesystem::path dir_, previous_;
    ManualClock clock_{D(2024, 7, 1), T(8, 0)};
    ScriptedResponder responder_;
    std::vector<std::string> started_;
    int programResult_ = 0;
};

}  // namespace kr::test
