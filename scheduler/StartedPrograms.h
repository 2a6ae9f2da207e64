// The programs started while exit codes are logged: the task runner adds a
// row for each program it starts directly; the timer cycle logs the exit
// code of each program that has ended and drops its row.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/FixedString.h"

namespace kr {

// The exit code reported for a program whose state cannot be read.
inline constexpr uint32_t kExitCodeUnknown = 4294967295u;

struct StartedProgram {
    int32_t HProcess = 0;      // the process id
    FString<80> CommandLine;
    uint32_t Status = 0;
};

class StartedProgramList {
public:
    // Adds a row, kept in ascending order of HProcess.
    void Add(int32_t process, std::string_view commandLine);
    std::vector<StartedProgram> Rows() const;
    std::size_t Count() const;
    bool Remove(int32_t process);
    void Clear();

private:
    mutable std::mutex m_;
    std::vector<StartedProgram> rows_;
};

StartedProgramList& StartedPrograms();

// The exit code of a started program: kStillActive (Process.h) while it runs,
// kExitCodeUnknown when it is not a program this process started.
uint32_t ProgramExitCode(int32_t process);

// The timer cycle's exit-code step: with LogEvents and LogExitCodes on, each
// row, last to first, whose program has ended logs "Program Exit" with
// "Code <code> for <command line>" and is dropped. Returns the rows dropped.
int LogProgramExitCodes();

}  // namespace kr
