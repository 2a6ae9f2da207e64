// The interpreter's test fixture: the runner's data folder and clock, fake
// window and keystroke services, and helpers that queue a task's items
// through the real task runner and tick the clock.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/runtime/Strings.h"
#include "scheduler/ScriptInterpreter.h"
#include "scheduler/ScriptServices.h"
#include "scheduler/ScriptValues.h"
#include "tests/runner/RunnerTestSupport.h"

namespace kr::test {

// Windows by exact title (without regard to case); the pattern's "~" and
// "*" are left to the real matcher.
class FakeWindows : public ScriptWindowService {
public:
    std::map<std::string, ScriptWindow> byTitle;
    ScriptWindowInfo foreground;
    std::vector<ScriptWindow> focused, closed;

    ScriptWindow FindWindowByTitle(std::string_view pattern, std::string_view) override {
        std::string p = Upper(ClipRight(pattern));
        if (!p.empty() && p[0] == '~') p.erase(0, 1);
        for (const auto& [title, handle] : byTitle)
            if (Upper(title) == p) return handle;
        return 0;
    }
    bool SetFocus(ScriptWindow w) override {
        focused.push_back(w);
        return true;
    }
    ScriptWindowInfo ForegroundWindow() override { return foreground; }
    bool CloseWindow(ScriptWindow w) override {
        closed.push_back(w);
        return true;
    }
    std::vector<ScriptWindowInfo> Windows() override { return {}; }
};

// Records each text and holds its completion until the test releases it.
class FakeKeys : public KeystrokeService {
public:
    std::vector<std::string> sent;
    std::function<void(bool)> done;
    int cancels = 0;

    bool Send(std::string_view text, std::function<void(bool)> d) override {
        sent.emplace_back(text);
        done = std::move(d);
        return true;
    }
    void Cancel() override {
        ++cancels;
        done = nullptr;
    }
    void Finish() {
        if (auto d = std::move(done)) {
            done = nullptr;
            d(true);
        }
    }
};

class ScriptFixture : public RunnerFixture {
protected:
    void SetUp() override {
        RunnerFixture::SetUp();
        ScriptValues().Clear();
        InstallScriptWindowService(&windows_);
        InstallKeystrokeService(&keys_);
    }
    void TearDown() override {
        InstallScriptWindowService(nullptr);
        InstallKeystrokeService(nullptr);
        InstallFileActionService(nullptr);
        InstallStartScriptService(nullptr);
        ScriptValues().Clear();
        RunnerFixture::TearDown();
    }

    // Stores the items as task `task`'s script and queues them as a due
    // task does (the task runner adds the "**End**" item).
    void QueueTask(int32_t task, const std::vector<Scripting>& items) {
        for (const Scripting& s : items) AddItem(task, s);
        RunAsTimer("N/A", task);
    }
    // One timer tick: the clock moves a second, keys being typed finish
    // (when `finishKeys`), and the interpreter steps.
    void Tick(bool finishKeys = true) {
        clock_.Advance(100);
        if (finishKeys) keys_.Finish();
        interpreter_.Step();
    }
    // Ticks until the queue is empty (at most `limit` ticks); the count.
    int RunToEnd(int limit = 200) {
        int n = 0;
        while (!ScriptQueue().Empty() && n < limit) {
            Tick();
            ++n;
        }
        return n;
    }
    std::vector<std::string> ScriptLines() const {
        std::vector<std::string> lines;
        for (const LogLine& l : Log())
            if (l.label == "Script") lines.push_back(l.text);
        return lines;
    }
    static std::string Value(const char* name) {
        auto v = ScriptValues().Find(name);
        return v ? v->StringValue : std::string("<unset>");
    }
    static Scripting Keys(const char* text) {
        Scripting s = Item("Send Keys");
        s.Keystrokes = text;
        return s;
    }
    static Scripting Set(const char* name, const char* value) {
        Scripting s = Item("Set Value");
        s.Path = name;
        s.Command = value;
        return s;
    }
    static Scripting IfValue(const char* name, const char* op, const char* value) {
        Scripting s = Item("If Value...");
        s.Command = name;
        s.WindowTitleToCheckFor = op;
        s.WaitForWindow = value;
        return s;
    }

    FakeWindows windows_;
    FakeKeys keys_;
    ScriptInterpreter interpreter_;
};

}  // namespace kr::test
