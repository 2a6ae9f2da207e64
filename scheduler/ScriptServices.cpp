#include "scheduler/ScriptServices.h"

#include <atomic>

namespace kr {

namespace {
std::atomic<ScriptWindowService*> g_windows{nullptr};
std::atomic<KeystrokeService*> g_keys{nullptr};
std::atomic<FileActionService*> g_files{nullptr};
std::atomic<StartScriptService*> g_startScript{nullptr};
}  // namespace

void InstallScriptWindowService(ScriptWindowService* service) { g_windows = service; }
void InstallKeystrokeService(KeystrokeService* service) { g_keys = service; }
void InstallFileActionService(FileActionService* service) { g_files = service; }
void InstallStartScriptService(StartScriptService* service) { g_startScript = service; }
ScriptWindowService* ScriptWindows() { return g_windows; }
KeystrokeService* Keystrokes() { return g_keys; }
FileActionService* FileActions() { return g_files; }
StartScriptService* StartScripts() { return g_startScript; }

}  // namespace kr
