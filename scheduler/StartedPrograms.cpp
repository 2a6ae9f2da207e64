#include "scheduler/StartedPrograms.h"

#include <algorithm>

#include "dictionary/EventLog.h"
#include "platform/runtime/Process.h"
#include "scheduler/RunnerSettings.h"

namespace kr {

void StartedProgramList::Add(int32_t process, std::string_view commandLine) {
    StartedProgram row;
    row.HProcess = process;
    row.CommandLine = commandLine;
    std::lock_guard<std::mutex> l(m_);
    auto at = std::upper_bound(rows_.begin(), rows_.end(), process,
                               [](int32_t p, const StartedProgram& r) { return p < r.HProcess; });
    rows_.insert(at, std::move(row));
}

std::vector<StartedProgram> StartedProgramList::Rows() const {
    std::lock_guard<std::mutex> l(m_);
    return rows_;
}

std::size_t StartedProgramList::Count() const {
    std::lock_guard<std::mutex> l(m_);
    return rows_.size();
}

bool StartedProgramList::Remove(int32_t process) {
    std::lock_guard<std::mutex> l(m_);
    auto it = std::find_if(rows_.begin(), rows_.end(), [&](const StartedProgram& r) { return r.HProcess == process; });
    if (it == rows_.end()) return false;
    rows_.erase(it);
    return true;
}

void StartedProgramList::Clear() {
    std::lock_guard<std::mutex> l(m_);
    rows_.clear();
}

StartedProgramList& StartedPrograms() {
    static StartedProgramList list;
    return list;
}

uint32_t ProgramExitCode(int32_t process) {
    const int code = PollExitCode(process);
    if (code == kStillActive) return static_cast<uint32_t>(kStillActive);
    if (code == -1) return kExitCodeUnknown;
    return static_cast<uint32_t>(code);
}

int LogProgramExitCodes() {
    if (!runner::LogEvents() || !runner::LogExitCodes()) return 0;
    std::vector<StartedProgram> rows = StartedPrograms().Rows();
    int dropped = 0;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        const uint32_t code = ProgramExitCode(it->HProcess);
        if (code == static_cast<uint32_t>(kStillActive)) continue;
        LogEvent("Program Exit", "Code " + std::to_string(code) + " for " + it->CommandLine.str());
        // The process layer keeps the code: a script may still be waiting
        // for the same program to end.
        StartedPrograms().Remove(it->HProcess);
        ++dropped;
    }
    return dropped;
}

}  // namespace kr
