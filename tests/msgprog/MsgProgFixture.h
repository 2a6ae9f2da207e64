// Shared set-up of the message program's tests: a temporary data folder made
// current, the message program's own table managers, a scripted message
// responder and a settable clock.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "dictionary/Dictionary.h"
#include "msgprog/MessageProgram.h"
#include "platform/data/Table.h"
#include "platform/data/Upgrade.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "scheduler/TableScheduleStore.h"

namespace kr::test {

class MsgProgTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousDir_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/kr-msgprog-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        InstallMessageService(&responder_);
        InstallClock(&clock_);
        data::SetKeyDerivationIterations(64);  // these tests are not about the key
        msgprog::Settings() = msgprog::MessageSettings();
        msgprog::CurrentFont() = msgprog::PreservedFont();
        DictionaryInitMessageProgram();
    }
    void TearDown() override {
        data::TableOf(ConfigurationDef()).Close();
        DictionaryKill();
        data::CloseIdleFiles();
        InstallClock(nullptr);
        InstallMessageService(nullptr);
        data::SetKeyDerivationIterations(0);
        std::filesystem::current_path(previousDir_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    static void AddLink(int32_t id, const std::string& title, const std::string& text = "text",
                        const std::string& alarm = "") {
        data::Table& t = data::TableOf(MsgLinkDef());
        int e = t.Open();
        if (e == 2) {
            ASSERT_EQ(t.Create(), 0);
            e = t.Open();
        }
        ASSERT_EQ(e, 0);
        MsgLink& ML = t.Rec<MsgLink>();
        ML = MsgLink();
        ML.ID = id;
        ML.Title = title;
        ML.Message = text;
        ML.AlarmFile = alarm;
        ASSERT_EQ(t.Add(), 0);
        t.Close();
    }
    static std::vector<int32_t> LinkIDs() {
        std::vector<int32_t> out;
        data::Table& t = data::TableOf(MsgLinkDef());
        if (t.Open() != 0) return out;
        t.Set(MsgLinkDef().key("ML:K_ID"));
        while (t.Next() == 0) out.push_back(t.Rec<MsgLink>().ID);
        t.Close();
        return out;
    }
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
    // cannot be made where a folder of its name stands.
    void BreakDataFileWrites() {
        for (const auto& e : std::filesystem::directory_iterator(dir_)) {
            std::string n = e.path().filename().string();
            for (char& c : n) c = char(std::toupper(static_cast<unsigned char>(c)));
            if (n == "KR97.TPS") std::filesystem::create_directory(e.path().string() + "-journal");
        }
    }
    static MsgLink Link(const std::string& title, const std::string& text, const std::string& alarm = "") {
        MsgLink ML;
        ML.Title = title;
        ML.Message = text;
        ML.AlarmFile = alarm;
        return ML;
    }

    std::filesystem::path dir_;
    std::filesystem::path previousDir_;
    ScriptedResponder responder_;
    ManualClock clock_{MakeDate(6, 15, 2026), MakeTime(10, 0)};
};

}  // namespace kr::test
