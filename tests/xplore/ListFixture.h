// A temporary data folder with real Schedule and Scripting tables.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"

namespace kr::test {

class ListFixture : public ::testing::Test {
protected:
    void SetUp() override {
        previousDir_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/kr-list-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        data::SetKeyDerivationIterations(64);  // not about the key
        ASSERT_EQ(sch().Create(), 0);
        ASSERT_EQ(sch().Open(), 0);
        ASSERT_EQ(scr().Create(), 0);
        ASSERT_EQ(scr().Open(), 0);
    }
    void TearDown() override {
        sch().Close();
        scr().Close();
        data::CloseIdleFiles();
        data::SetKeyDerivationIterations(0);
        std::filesystem::current_path(previousDir_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    static data::Table& sch() { return data::TableOf(ScheduleDef()); }
    static data::Table& scr() { return data::TableOf(ScriptingDef()); }

    // Adds a task; returns its row number.
    int64_t AddTask(int id, int32_t date, const std::string& category, const std::string& description,
                    int disabled = 0, int completed = 0) {
        sch().Clear();
        Schedule& s = sch().Rec<Schedule>();
        s.ID = id;
        s.Date = date;
        s.Time = 100 * id + 1;
        s.Category = category;
        s.Description = description;
        s.Disabled = static_cast<uint8_t>(disabled);
        s.Completed = static_cast<uint8_t>(completed);
        s.TaskType = id % 2 ? "Run Program" : "Display Message";
        EXPECT_EQ(sch().Add(), 0);
        return sch().Pointer();
    }
    void AddItem(int id, int seq, const std::string& action) {
        scr().Clear();
        Scripting& r = scr().Rec<Scripting>();
        r.ID = id;
        r.Sequence = seq;
        r.Action = action;
        EXPECT_EQ(scr().Add(), 0);
    }

    std::string dir_;
    std::filesystem::path previousDir_;
};

}  // namespace kr::test
