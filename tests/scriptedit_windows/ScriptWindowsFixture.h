// The script windows over a real data file, offscreen: the runner's data
// folder (RunnerFixture), the task and script files open with task 5
// "Weekly report" in the task buffer, a responder that records every message
// and the last response of a window; every window closed after the test.
#pragma once

#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "dictionary/Dictionary.h"
#include "platform/runtime/Services.h"
#include "tests/runner/RunnerTestSupport.h"

namespace kr::test {

class ScriptWindowsTest : public RunnerFixture {
protected:
    void SetUp() override {
        RunnerFixture::SetUp();
        ASSERT_EQ(Schedule_File().Open(), data::kLevelBenign);
        ASSERT_EQ(Scripting_File().Open(), data::kLevelBenign);
        Schedule& t = Schedule_File().rec();
        t = Schedule();
        t.ID = 5;
        t.Category = "General";
        t.Description = "Weekly report";
        t.Command = "N/A";
    }
    void TearDown() override {
        CloseAllWindows();
        Scripting_File().Close();
        Schedule_File().Close();
        RunnerFixture::TearDown();
    }

    ScriptedResponder responder_;
    ScopedMessageService messages_{&responder_};
    int response_ = 0;
};

}  // namespace kr::test
