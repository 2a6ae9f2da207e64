// The script windows over a real data file, offscreen: the runner's data
// folder (RunnerFixture), the task and script files open with task 5
// "Weekly report" in the task buffer, a responder that records every message
// and the last response of a window, the item form opened and OK'd, the
// task's stored items; every window closed after the test.
#pragma once

#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "dictionary/Dictionary.h"
#include "platform/data/TableImpl.h"
#include "platform/runtime/Services.h"
#include "platform/ui/Requests.h"
#include "scriptedit/windows/ScriptWindows.h"
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
    // Opens the item form for a request over the buffer.
    QWidget* OpenForm(int request, const QString& title) {
        GlobalRequest() = request;
        response_ = 0;
        scriptedit::UpdateScripting([this](int r) { response_ = r; });
        QWidget* w = nullptr;
        EXPECT_TRUE(test::WaitFor([&] { return (w = WindowTitled(title)) != nullptr; }));
        return w;
    }
    void Ok(QWidget* form) {
        ButtonText(form, "&OK")->click();
        test::WaitFor([&] { return response_ != 0; }, 2000);
    }
    // The task's items in order.
    std::vector<Scripting> Items(int32_t task = 5) {
        std::vector<Scripting> out;
        data::TableOf(ScriptingDef())
            .ForEachMatch(ScriptingDef().key("SCR:KeyID"), {ScriptingDef().field("SCR:ID")}, {Value(task)},
                          [&](int64_t, const void* r) {
                              out.push_back(*static_cast<const Scripting*>(r));
                              return true;
                          });
        return out;
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
