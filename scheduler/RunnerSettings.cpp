#include "scheduler/RunnerSettings.h"

#include "platform/runtime/Picture.h"

namespace kr::runner {

int32_t ScriptingDelay() { return 25; }
bool LogEvents() { return false; }
bool LogExitCodes() { return false; }
bool NewProc16() { return false; }
bool DebugMode() { return false; }
std::string UserDate(int32_t date) { return date == 0 ? std::string() : Format(Value(static_cast<int64_t>(date)), "@D3"); }

}  // namespace kr::runner
