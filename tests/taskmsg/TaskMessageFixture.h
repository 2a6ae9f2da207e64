// Shared set-up of the task message tests: a temporary data folder made
// current with a scripted message responder and a settable clock (see
// DataFolderFixture.h), which is also the folder the suite's programs are
// looked up in (so the message program is absent unless a test writes one),
// a recorded program end and a recording sound service.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DataFolderFixture.h"
#include "dictionary/Settings.h"
#include "dictionary/StandardWarning.h"
#include "platform/desktop/Sound.h"
#include "platform/runtime/Process.h"
#include "scheduler/TaskMessage.h"

namespace kr::test {

class TaskMessageTest : public DataFolderTest {
protected:
    TaskMessageTest() : DataFolderTest("kr-taskmsg", MakeDate(6, 15, 2026), MakeTime(9, 30)) {}
    void SetUp() override {
        DataFolderTest::SetUp();
        SetProgramFolder(dir_.string());
        InstallSoundService(&sound_);
        previousShutdown_ = SetProgramShutdown([this] { ++programEnds_; });
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
        DataFolderTest::TearDown();
        ResetOptions();
        SetProgramShutdown(previousShutdown_);
        InstallSoundService(nullptr);
        SetProgramFolder({});
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
    std::vector<std::string> Titles() const {
        std::vector<std::string> out;
        for (const auto& s : responder_.shown()) out.push_back(s.request.title);
        return out;
    }

    RecordingSoundService sound_;
    ProgramShutdown previousShutdown_;
    int programEnds_ = 0;
};

}  // namespace kr::test
