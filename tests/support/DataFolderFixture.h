// A data folder of the test's own: a temporary folder made the current one
// (the tables' file is made there), a scripted message responder and a
// settable clock installed, the key derivation cut short; all undone after
// the test. Derived fixtures call SetUp first and TearDown last.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/data/Upgrade.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "scheduler/TableScheduleStore.h"

namespace kr::test {

class DataFolderTest : public ::testing::Test {
protected:
    DataFolderTest(const char* prefix, int32_t date, int32_t time) : prefix_(prefix), clock_(date, time) {}

    void SetUp() override {
        previousDir_ = std::filesystem::current_path();
        std::string tmpl = "/tmp/" + prefix_ + "-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        InstallMessageService(&responder_);
        InstallClock(&clock_);
        data::SetKeyDerivationIterations(64);  // these tests are not about the key
    }
    void TearDown() override {
        DictionaryKill();
        data::CloseIdleFiles();
        InstallClock(nullptr);
        InstallMessageService(nullptr);
        data::SetKeyDerivationIterations(0);
        if (dir_.empty()) return;
        std::filesystem::current_path(previousDir_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // Adds a setting to the settings table, made when missing; a table
    // already open stays open.
    static void SetSetting(const std::string& name, const std::string& value) {
        data::Table& t = data::TableOf(ConfigurationDef());
        int e = t.Open();
        if (e == 2) {
            ASSERT_EQ(t.Create(), 0);
            e = t.Open();
        }
        ASSERT_TRUE(e == 0 || e == 52);
        Configuration& CF = t.Rec<Configuration>();
        CF = Configuration();
        CF.DataType = name;
        CF.DataValue = value;
        ASSERT_EQ(t.Add(), 0);
        if (e == 0) t.Close();
    }
    static std::vector<Schedule> Tasks() {
        TableScheduleStore store;
        return store.ReadAfter(0, 1000);
    }
    static std::vector<Todo> Todos() {
        std::vector<Todo> out;
        data::Table& t = data::TableOf(TodoDef());
        if (t.Open() != 0) return out;
        t.Set(nullptr);
        while (t.Next() == 0) out.push_back(t.Rec<Todo>());
        t.Close();
        return out;
    }
    // Makes every write to the main data file fail: the rollback journal
    // cannot be made where a folder of its name stands (works for root too).
    void BreakDataFileWrites() {
        for (const auto& e : std::filesystem::directory_iterator(dir_)) {
            std::string n = e.path().filename().string();
            for (char& c : n) c = char(std::toupper(static_cast<unsigned char>(c)));
            if (n == "KR97.TPS") std::filesystem::create_directory(e.path().string() + "-journal");
        }
    }

    std::string prefix_;
    std::filesystem::path dir_;
    std::filesystem::path previousDir_;
    ScriptedResponder responder_;
    ManualClock clock_;
};

}  // namespace kr::test
