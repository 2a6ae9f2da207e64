#include "platform/ui/Requests.h"

#include <map>
#include <mutex>

#include "platform/runtime/ProcedureContext.h"

namespace kr {

namespace {
struct Globals {
    int request = 0;
    int response = 0;
};
std::mutex g_m;
// std::map keeps references stable while other threads' entries come and go.
std::map<int, Globals> g_globals;

Globals& Current() {
    std::lock_guard<std::mutex> l(g_m);
    return g_globals[CurrentProcedureThread()];
}
}  // namespace

int& GlobalRequest() { return Current().request; }
int& GlobalResponse() { return Current().response; }

void ForgetRequestGlobals(int thread) {
    std::lock_guard<std::mutex> l(g_m);
    g_globals.erase(thread);
}

}  // namespace kr
