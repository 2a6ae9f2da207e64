#include "platform/runtime/ProcedureContext.h"

#include <atomic>

namespace kr {

namespace {
thread_local int t_current = 1;
std::atomic<int> g_next{2};
}  // namespace

int CurrentProcedureThread() { return t_current; }
int NewProcedureThreadNumber() { return g_next.fetch_add(1); }

ProcedureThreadScope::ProcedureThreadScope(int thread) : previous_(t_current) { t_current = thread; }
ProcedureThreadScope::~ProcedureThreadScope() { t_current = previous_; }

}  // namespace kr
