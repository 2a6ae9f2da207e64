// The built KR98 under openbox, in the message program's temporary data folder
// (MsgProgTest) on the real clock, driven with xdotool; the schedule list's
// cells read through the accessibility bus (a session bus of the test's own
// when there is none). KR98 is killed after the test, before openbox ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "MsgProgFixture.h"
#include "platform/desktop/Accessibility.h"
#include "platform/runtime/Strings.h"
// Xlib last: its macros (Bool, Status) clash with Qt's headers.
#include "../desktop/ProgramDesktop.h"

namespace kr::test {

class ScheduleListE2ETest : public MsgProgTest {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        if (!xdo::Available()) GTEST_SKIP() << "needs xdotool";
        MsgProgTest::SetUp();
        data::SetKeyDerivationIterations(0);  // KR98 opens the file with the real key derivation
        InstallClock(nullptr);                // the test and KR98 run on the real clock
        desktop_ = std::make_unique<OpenboxDesktop>();
        ASSERT_NE(desktop_->d(), nullptr);
        ASSERT_TRUE(desktop_->ready()) << "openbox did not start";
        // The list's cells are read through the accessibility bus: without
        // a session bus, one of the test's own (it starts that bus on demand).
        if (!AccessibilityAvailable()) bus_ = std::make_unique<SessionBus>();
    }
    void TearDown() override {
        kr98_.Kill();
        desktop_.reset();
        bus_.reset();
        if (!dir_.empty()) MsgProgTest::TearDown();
    }
    // The texts of the schedule list's window as its accessibility tree
    // names them (its cells among them); empty without an accessibility bus.
    static std::vector<std::string> ListTexts() {
        std::vector<std::string> out;
        for (const DesktopWindow& w : TopLevelWindows())
            if (w.visible && w.title == "Scheduled Tasks")
                for (const AccessibleText& t : AccessibleTextsOf(w.handle)) out.push_back(ClipRight(Trim(t.text)));
        return out;
    }

    std::unique_ptr<OpenboxDesktop> desktop_;
    std::unique_ptr<SessionBus> bus_;
    ProgramRun kr98_;
};

}  // namespace kr::test
