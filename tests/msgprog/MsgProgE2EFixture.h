// KR98 and KRMsg together on the test's X display, in the message program's
// temporary data folder (MsgProgTest) on the real clock: a message task made
// due in three seconds, KR98 started on the folder, the programs' windows
// found by title, and at the end KR98 stopped and the named windows closed,
// which ends the KRMsg copies that show them.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "MsgProgFixture.h"
#include "platform/desktop/X11Windows.h"
#include "scheduler/Reschedule.h"
// Xlib last: its macros (Bool, Status) clash with Qt's headers.
#include "../desktop/ProgramDesktop.h"

namespace kr::test {

class MsgProgE2ETest : public MsgProgTest {
protected:
    explicit MsgProgE2ETest(std::initializer_list<std::string> closeAtEnd) : closeAtEnd_(closeAtEnd) {}

    void SetUp() override {
        MsgProgTest::SetUp();
        data::SetKeyDerivationIterations(0);  // KR98 opens the file with the real key derivation
    }
    void TearDown() override {
        kr98_.Stop();
        for (const std::string& t : closeAtEnd_)
            for (WindowHandle w : WindowsStartingWith(t)) CloseWindow(w);
        Await(
            [this] {
                for (const std::string& t : closeAtEnd_)
                    if (!WindowsStartingWith(t).empty()) return false;
                return true;
            },
            5000);
        MsgProgTest::TearDown();
    }

    // Polled ten times a second: each look may read the data file both
    // programs use.
    static bool Await(const std::function<bool()>& cond, int ms) { return WaitUntil(cond, ms, 100); }

    // The visible top-level windows with the title, or whose titles start
    // with the text.
    static std::vector<WindowHandle> WindowsTitled(const std::string& title) {
        std::vector<WindowHandle> out;
        for (const DesktopWindow& w : TopLevelWindows())
            if (w.visible && w.title == title) out.push_back(w.handle);
        return out;
    }
    static std::vector<WindowHandle> WindowsStartingWith(const std::string& text) {
        std::vector<WindowHandle> out;
        for (const DesktopWindow& w : TopLevelWindows())
            if (w.visible && w.title.rfind(text, 0) == 0) out.push_back(w.handle);
        return out;
    }

    // A message task of the General category, due in three seconds, whose
    // message KR98 hands to KRMsg (the setting says so).
    static void AddDueMessageTask(const std::string& title, const std::string& text) {
        SetSetting("UseExternalMessage", "1");
        MsgLink m = Link(title, text);
        Schedule task = msgprog::SnoozeTask(m, 1, Today(), ClockTime());
        task.Category = "General";
        task.Time = ClockTime() + 300;
        msgprog::Normalize(task.Date, task.Time);
        TableScheduleStore store;
        ASSERT_EQ(store.openError(), 0);
        ASSERT_EQ(AddScheduleCopy(store, task), 0);
    }
    // KR98 on the data folder, the test's files closed first.
    void StartKR98() {
        data::TableOf(ConfigurationDef()).Close();
        data::CloseIdleFiles();
        kr98_.Prepare(dir_);
        kr98_.SetResponses(dir_ / "answers.txt");
        ASSERT_TRUE(kr98_.Start());
    }

    ProgramRun kr98_;

private:
    std::vector<std::string> closeAtEnd_;
};

}  // namespace kr::test
