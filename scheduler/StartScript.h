// The "Start Script" step: the items of a script exchange file ("*.krs")
// become run-queue entries of the running task, with due moments that go on
// from the queue's timing, put in front of the rest of the queue (mode
// "I..."), behind it (mode "A...", with an "**End**" of their own), or in
// place of the rest of this task up to its "**End**" (any other mode; the
// tasks queued behind it stay).
//
// Comment, blank and unrecognised lines are not queued (an unrecognised
// word is reported first, as the import does). A file that cannot be read
// leaves the queue as it was; the failure is logged ("Script Error").
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scheduler/ScriptQueue.h"
#include "scheduler/ScriptServices.h"

namespace kr {

// Runs the step on the program's queue, whose head is the "Start Script"
// item. True when the head was replaced (the queue rewritten), false when
// the queue was left as it was.
bool StartScript(std::string_view fileName, std::string_view mode);

// The interpreter's service over StartScript.
class StartScriptRunner : public StartScriptService {
public:
    bool StartScript(std::string_view fileName, std::string_view mode) override {
        return kr::StartScript(fileName, mode);
    }
};

}  // namespace kr
