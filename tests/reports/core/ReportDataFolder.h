// A data folder of the report tests' own: a temporary folder made the
// current one (the data file and the work files are made there), a
// responder that records every message, a clock that stands still and the
// key derivation cut short; all undone after the test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"

namespace kr::reports {

class ReportDataFolderTest : public ::testing::Test {
protected:
    explicit ReportDataFolderTest(int32_t time = 0) : clock_(MakeDate(12, 9, 2026), time) {}

    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::string tmpl = "/tmp/kr-reports-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        InstallMessageService(&responder_);
        InstallClock(&clock_);
        data::SetKeyDerivationIterations(64);
    }
    void TearDown() override {
        DictionaryKill();
        data::CloseIdleFiles();
        InstallClock(nullptr);
        InstallMessageService(nullptr);
        data::SetKeyDerivationIterations(0);
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::filesystem::path previous_, dir_;
    ScriptedResponder responder_;
    ManualClock clock_;
};

}  // namespace kr::reports
