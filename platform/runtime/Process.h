// Starting programs (the runtime's RUN and the process calls of the task
// runner), POSIX only.
//
// A command line is written the Windows way ("KRMsg.EXE ID=5",
// "\"my prog\" \"an arg\" x") and split as CommandLineToArgvW splits it. The
// program is looked up:
//   - a name with a folder part ("bin\tool", "/usr/bin/env") as a path, from
//     the start folder (or the current folder) when relative, each part
//     matched without regard to case;
//   - a bare name first in the running program's own folder, without regard
//     to case and with or without ".EXE" (so "KRMsg.EXE", "VXWBACK.EXE",
//     "KR_DBASE", "tpsfix", "KillProc", "KRFTP", "HTTPGET" find the suite's
//     programs beside it); then in the start folder (or the current folder),
//     as Windows looks in the current folder; then through PATH, exactly and
//     without a trailing ".exe".
// A file that is not a program is refused (never run through a shell).
// The child gets the start folder as its current folder; the parent's
// current folder never changes. The child inherits no descriptors beyond
// standard input, output and error.
//
// Every started program is reaped in the background and its exit code kept
// (the latest 4096 finished programs), so none is left as a zombie and the
// code can still be asked for after the program ended.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kr {

// What the platform reports for a program that has not ended yet.
constexpr int kStillActive = 259;

// Splits a command line into program and arguments: blanks and tabs
// separate; double quotes group (a doubled quote inside quotes is one quote);
// 2n backslashes before a quote give n backslashes, 2n+1 give n and a
// literal quote; other backslashes stand as written. The program name (the
// first part) ends at its closing quote or the first blank and knows no
// escapes.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The current folder, absolute; "." when it cannot be read.
std::string CurrentFolder();

// The folder of the running program (/proc/self/exe), or the one set.
std::string ProgramFolder();
// Sets the folder the suite's programs are looked up in (tests); empty
// goes back to the running program's own folder.
void SetProgramFolder(std::string folder);

// The path of the program a name stands for, or empty when there is none.
std::string FindProgram(std::string_view name, std::string_view startFolder = {});

enum class ProgramPriority { Normal, Idle, High };

struct StartOptions {
    std::string startFolder;  // blank: the current folder
    bool wait = false;        // true: return when the program has ended
    ProgramPriority priority = ProgramPriority::Normal;
};

struct StartResult {
    int error = 0;         // 0, or kFileNotFound, kPathNotFound, kAccessDenied, ...
    std::string message;   // what went wrong, for the log or a message box
    int pid = 0;           // the started process
    int exitCode = 0;      // when waited: the program's exit code (128 + signal when killed)
    bool ok() const { return error == 0; }
};

// Starts a program. A program that cannot be found or started is an error,
// never a silent success. With wait, blocks until the program ends: never on
// the GUI thread.
StartResult StartProgram(std::string_view commandLine, const StartOptions& options);
StartResult StartProgram(std::string_view commandLine, std::string_view startFolder = {}, bool wait = false);
// The same with the program and its arguments apart: each argument reaches
// the program as it is, whatever quotes or backslashes it holds.
StartResult StartProgramArgs(std::vector<std::string> arguments, const StartOptions& options);

// Whether the file is one the system runs as a program: an ELF executable
// or a script that starts with "#!". A file with the execute bit that is
// neither (a document on a FAT or SMB mount) is not a program.
bool IsProgramFile(const std::string& path);

// The exit code of a program started here: kStillActive while it runs, its
// exit code once it has ended, -1 when the pid is not one of ours (or its
// code was forgotten). Never blocks.
int PollExitCode(int pid);

struct ProgramState {
    bool known = false;    // a program started here
    bool running = false;
    int exitCode = 0;      // when ended
};

// Waits up to timeoutMs (negative: without limit) for the program to end.
ProgramState WaitForProgram(int pid, int timeoutMs);
// Drops the kept exit code of an ended program.
void ForgetProgram(int pid);

}  // namespace kr
