#include "apps/KR98/TestResponder.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kr {

std::unique_ptr<FileResponder> FileResponder::FromEnvironment() {
    const char* file = std::getenv("KR_TEST_RESPONSES");
    if (!file || !*file) return nullptr;
    return std::make_unique<FileResponder>(file);
}

FileResponder::FileResponder(const std::string& answersFile) : logFile_(answersFile + ".log") {
    std::ifstream in(answersFile);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string verb;
        words >> verb;
        std::string rest;
        std::getline(words >> std::ws, rest);
        if (verb == "folder") {
            AnswerFolder(rest);
        } else if (verb == "folder-cancel") {
            AnswerFolder(std::nullopt);
        } else if (verb == "button") {
            Answer(std::atoi(rest.c_str()));
        }
    }
}

void FileResponder::Record(const std::string& kind, const std::string& title, const std::string& text) {
    std::lock_guard<std::mutex> l(logMutex_);
    std::ofstream out(logFile_, std::ios::app);
    out << kind << '\t' << title << '\t' << text << '\n';
}

int FileResponder::Show(const MessageRequest& request) {
    Record("message", request.title, request.text);
    return ScriptedResponder::Show(request);
}

std::optional<std::string> FileResponder::ChooseFolder(const std::string& title, const std::string& start) {
    Record("folder", title, start);
    return ScriptedResponder::ChooseFolder(title, start);
}

}  // namespace kr
