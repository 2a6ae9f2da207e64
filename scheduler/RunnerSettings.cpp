#include "scheduler/RunnerSettings.h"

#include <mutex>

#include "dictionary/EventLog.h"
#include "dictionary/Settings.h"

namespace kr::runner {

int32_t ScriptingDelay() {
    // LoadSettings keeps it at 25 or more; a value set by hand is held to that too.
    const int32_t d = Options().GlobalDelay.load();
    return d < 25 ? 25 : d;
}
bool LogEvents() { return Options().GlobalUseLog.load() != 0; }
bool LogExitCodes() { return Options().LogExitCodes.load() != 0; }
bool NewProc16() { return Options().NewProc16.load() != 0; }
namespace {
std::mutex g_debugMutex;
std::string g_debug;
}  // namespace

void SetDebug(const std::string& value) {
    std::lock_guard<std::mutex> l(g_debugMutex);
    g_debug = value;
}
std::string Debug() {
    std::lock_guard<std::mutex> l(g_debugMutex);
    return g_debug;
}
bool DebugMode() { return Options().DebugMode.load() != 0 || !Debug().empty(); }
std::string UserDate(int32_t date) { return FormatUserDate(date); }

}  // namespace kr::runner
