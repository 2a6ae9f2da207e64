// Shared set-up of the task message tests: a temporary data folder made
// current (which is also the folder the suite's programs are looked up in,
// so the message program is absent unless a test writes one), a scripted
// message responder, a recorded program end, a settable clock and a
// recording sound service.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "dictionary/StandardWarning.h"
#include "platform/data/Table.h"
#include "platform/data/Upgrade.h"
#include "platform/desktop/Sound.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/Services.h"
#include "scheduler/TableScheduleStore.h"
#include "scheduler/TaskMessage.h"

namespace kr::test {

class TaskMessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousDir_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/kr-taskmsg-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::current_path(dir_);
        SetProgramFolder(dir_.string());
        InstallMessageService(&responder_);
        InstallClock(&clock_);
        InstallSoundService(&sound_);
        previousShutdown_ = SetProgramShutdown([this] { ++programEnds_; });
        data::SetKeyDerivationIterations(64);  // these tests are not about the key
        ResetOptions();
        MessageThreadCount() = 0;
        SetMessageDisplay({});
        SetMessageProgramRunner({});
        DictionaryInit();
    }
    void TearDown() override {
        SetMessageDisplay({});
        SetMessageProgramRunner({});
        SetExecuteTaskRunner({});
        SetMessageWizard({});
        MessageThreadCount() = 0;
        DictionaryKill();
        data::CloseIdleFiles();
        ResetOptions();
        SetProgramShutdown(previousShutdown_);
        InstallSoundService(nullptr);
        InstallClock(nullptr);
        InstallMessageService(nullptr);
        data::SetKeyDerivationIterations(0);
        SetProgramFolder({});
        std::filesystem::current_path(previousDir_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // A message program of our own: writes its arguments to "krmsg.args".
    void WriteMessageProgram(int exitCode = 0) {
        const std::string path = (dir_ / "KRMsg").string();
        std::ofstream out(path);
        out << "#!/bin/sh\necho \"$@\" >> " << (dir_ / "krmsg.args").string() << "\nexit " << exitCode << "\n";
        out.close();
        chmod(path.c_str(), 0755);
    }
    std::string ProgramArgs() const {
        std::ifstream in(dir_ / "krmsg.args");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    static Schedule MessageTask(const char* description, const char* message, const char* alarm = "") {
        Schedule s;
        s.ID = 7;
        s.TaskType = "Display Message";
        s.Description = description;
        s.Message = message;
        s.AlarmFile = alarm;
        s.Alarm = alarm[0] ? 1 : 0;
        return s;
    }

    static std::vector<MsgLink> MsgLinks() {
        std::vector<MsgLink> out;
        data::Table& t = data::TableOf(MsgLinkDef());
        if (t.Open() != 0) return out;
        t.Set(MsgLinkDef().key("ML:K_ID"));
        while (t.Next() == 0) out.push_back(t.Rec<MsgLink>());
        t.Close();
        return out;
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
    std::vector<std::string> Titles() const {
        std::vector<std::string> out;
        for (const auto& s : responder_.shown()) out.push_back(s.request.title);
        return out;
    }

    std::filesystem::path dir_;
    std::filesystem::path previousDir_;
    ScriptedResponder responder_;
    RecordingSoundService sound_;
    ManualClock clock_{MakeDate(6, 15, 2026), MakeTime(9, 30)};
    ProgramShutdown previousShutdown_;
    int programEnds_ = 0;
};

}  // namespace kr::test
