// The data file of an end-to-end test's KR98 folder, written or read by the
// test itself through the dictionary (link kr_dictionary). Include before
// ProgramDesktop.h: Xlib's macros (None) clash with the dictionary.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "dictionary/Dictionary.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"

namespace kr::test {

// Runs fn with the folder current (the data file's name is relative), then
// closes what it opened and goes back, also when fn stops on a failure.
inline void InDataFolder(const std::filesystem::path& folder, const std::function<void()>& fn) {
    struct Back {
        std::filesystem::path previous = std::filesystem::current_path();
        ~Back() {
            DictionaryKill();
            data::CloseIdleFiles();
            std::filesystem::current_path(previous);
        }
    } back;
    std::filesystem::current_path(folder);
    fn();
}

struct TaskRow {
    std::string description, category;
};

// A new data file holding one "Display Message" task a row, numbered from
// 1, a day apart from 31 days ahead: far enough that none runs meanwhile.
inline void WriteTasks(const std::filesystem::path& folder, const std::vector<TaskRow>& tasks) {
    std::filesystem::remove(folder / "KR97.TPS");
    InDataFolder(folder, [&] {
        auto& f = Schedule_File();
        ASSERT_EQ(f.Open(), 0);
        int32_t id = 1;
        for (const TaskRow& t : tasks) {
            f.rec() = Schedule();
            f.rec().ID = id;
            f.rec().TaskType = "Display Message";
            f.rec().Category = t.category;
            f.rec().Description = t.description;
            f.rec().ScheduleType = "Once";
            f.rec().Date = Today() + 30 + id++;
            f.rec().Time = MakeTime(9, 0);
            ASSERT_EQ(f.Insert(), 0);
        }
        f.Close();
    });
}

}  // namespace kr::test
