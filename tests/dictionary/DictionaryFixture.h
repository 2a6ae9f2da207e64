// Shared set-up of the dictionary tests: a temporary data folder made
// current, a scripted message responder, a recorded program end and a
// settable clock.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/StandardWarning.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/data/Upgrade.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Services.h"

namespace kr::test {

class DictionaryTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousDir_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/kr-dict-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        InstallMessageService(&responder_);
        InstallClipboardService(&clipboard_);
        InstallClock(&clock_);
        previousShutdown_ = SetProgramShutdown([this] { ++programEnds_; });
        data::ClearLastError();
        data::SetKeyDerivationIterations(64);  // these tests are not about the key
    }
    void TearDown() override {
        DictionaryKill();
        data::CloseIdleFiles();
        SetProgramShutdown(previousShutdown_);
        InstallClock(nullptr);
        InstallClipboardService(nullptr);
        InstallMessageService(nullptr);
        data::SetKeyDerivationIterations(0);
        std::filesystem::current_path(previousDir_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // Titles of the messages shown, in order; a message without a title by
    // its text in angle brackets.
    std::vector<std::string> Shown() const {
        std::vector<std::string> out;
        for (const auto& s : responder_.shown())
            out.push_back(s.request.title.empty() ? "<" + s.request.text + ">" : s.request.title);
        return out;
    }
    // Titles of the messages shown, in order.
    std::vector<std::string> Titles() const {
        std::vector<std::string> out;
        for (const auto& s : responder_.shown()) out.push_back(s.request.title);
        return out;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& s : responder_.shown()) out.push_back(s.request.text);
        return out;
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    std::filesystem::path dir_;
    std::filesystem::path previousDir_;
    ScriptedResponder responder_;
    MemoryClipboard clipboard_;
    ManualClock clock_{MakeDate(6, 15, 2026), MakeTime(9, 30)};
    ProgramShutdown previousShutdown_;
    int programEnds_ = 0;
};

}  // namespace kr::test
