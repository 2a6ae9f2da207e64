// Which procedure thread the code is running for.
//
// The original runtime gave every started procedure an OS thread with its own
// record buffers. Here procedures share the GUI thread, so "the procedure
// thread" is a number that the window layer sets while it dispatches work to
// a procedure's window (ProcedureThreadScope). Record buffers, table use
// counts and positions are kept per procedure thread number. Code outside
// any scope runs for thread 1, the frame's thread. A worker OS thread that
// uses tables opens a scope of its own with a number from
// NewProcedureThreadNumber().
#pragma once

namespace kr {

int CurrentProcedureThread();
// A fresh number, never given out before in this process (thread 1 is the frame's).
int NewProcedureThreadNumber();

class ProcedureThreadScope {
public:
    explicit ProcedureThreadScope(int thread);
    ~ProcedureThreadScope();
    ProcedureThreadScope(const ProcedureThreadScope&) = delete;
    ProcedureThreadScope& operator=(const ProcedureThreadScope&) = delete;

private:
    int previous_;
};

}  // namespace kr
