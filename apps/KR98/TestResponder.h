// The message service of KR98 under the end-to-end tests.
//
// When the environment names a file in KR_TEST_RESPONSES, KR98 answers its
// messages and folder questions from that file instead of showing them, and
// records each one in the same file name with ".log" added. Lines of the
// answers file, used in order:
//   folder <path>     the next folder question is answered with <path>
//   folder-cancel     the next folder question is cancelled
//   button <n>        the next message is answered with button n (1 OK, 2 Yes, 4 No, ...)
// A question with no answer left takes its default (cancel, or the default
// button). Log lines: "message<TAB>title<TAB>text" and "folder<TAB>title<TAB>start".
// Without the variable, nothing of this is active.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/runtime/Services.h"

namespace kr {

class FileResponder : public ScriptedResponder {
public:
    // The responder named by KR_TEST_RESPONSES; nullptr when it is not set.
    static std::unique_ptr<FileResponder> FromEnvironment();
    explicit FileResponder(const std::string& answersFile);

    int Show(const MessageRequest& request) override;
    std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) override;

private:
    void Record(const std::string& kind, const std::string& title, const std::string& text);
    std::mutex logMutex_;
    std::string logFile_;
};

}  // namespace kr
