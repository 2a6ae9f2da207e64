// The standard message routine: 38 numbered messages (errors and
// confirmations) that every procedure may show, and the program's end after
// an unrecoverable error.
#pragma once

#include <functional>
#include <string>

namespace kr {

// The last runtime error as the messages show it.
struct RuntimeErrorInfo {
    int code = 0;                // the runtime's error code
    std::string driverCode;      // the driver's own code, when code is 90
    std::string driverMessage;   // the driver's own message, when code is 90
};

// The last error of the calling procedure thread (from the table engine).
RuntimeErrorInfo LastRuntimeError();

// "[error]" of the messages: for a driver error (90) the driver's message and
// " (" code ")", otherwise the runtime's text and " (" code ")"; at most 150
// characters.
std::string StandardErrorText(const RuntimeErrorInfo& error);

// Shows message `id` (1..38) and returns the button pressed (1 OK, 2 Yes,
// 4 No, 16 Retry, 64 Cancel); an id outside 1..38 shows nothing and gives 0.
// Cases that end the program do so through EndProgram() after OK.
// `cause`, when given, names the cause in words and follows the case's text
// after two blanks ("The folder /data is read-only.").
int StandardWarning(int id, const std::string& text1, const std::string& text2,
                    const std::string& cause = {});
int StandardWarningText(int id, const std::string& text, const std::string& cause = {});
int StandardWarningNoText(int id);

// Ends the program after an unrecoverable error: shows the closing message
// (titled as the message that led to it, `title`), then runs the installed
// shutdown (by default DictionaryKill() and exit with code 1). A test
// installs a shutdown that records the call and returns; the caller then
// returns as if the program went on.
void EndProgram(const std::string& closingMessage, const std::string& title = {});
using ProgramShutdown = std::function<void()>;
// Installs the shutdown EndProgram runs; an empty function restores the
// default. Returns the one it replaces.
ProgramShutdown SetProgramShutdown(ProgramShutdown shutdown);

}  // namespace kr
