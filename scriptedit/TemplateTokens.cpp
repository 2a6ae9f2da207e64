#include "scriptedit/TemplateTokens.h"

#include "platform/runtime/Strings.h"

namespace kr {

namespace {
// The expansion works on a copy of this size, so answers cannot grow a
// field without end either.
constexpr std::size_t kWorkSize = 255;

std::string Cut(std::string_view s, std::size_t n) { return std::string(s.substr(0, n)); }

TemplateAsker& Asker() {
    static TemplateAsker asker;
    return asker;
}
}  // namespace

TemplateAnswers& TemplateAnswers::Global() {
    static TemplateAnswers answers;
    return answers;
}

void TemplateAnswers::Clear() {
    rows_.clear();
    recent_.clear();
}

std::optional<std::string> TemplateAnswers::Find(std::string_view prompt) {
    const std::string key = ClipRight(Cut(Upper(prompt), kTemplatePromptSize));
    for (const TemplateAnswer& r : rows_)
        if (r.prompt == key) {
            recent_ = r.value;
            return r.value;
        }
    return std::nullopt;
}

void TemplateAnswers::Store(std::string_view prompt, std::string_view value) {
    const std::string key = ClipRight(Cut(Upper(prompt), kTemplatePromptSize));
    const std::string v = ClipRight(Cut(value, kTemplateAnswerSize));
    recent_ = v;
    for (TemplateAnswer& r : rows_)
        if (r.prompt == key) {
            r.value = v;
            return;
        }
    rows_.push_back({"", key, v});
}

void InstallTemplateAsker(TemplateAsker asker) { Asker() = std::move(asker); }
const TemplateAsker& InstalledTemplateAsker() { return Asker(); }

bool ExpandTemplateTokens(std::string& field, std::size_t length, TemplateAnswers& answers,
                          const TemplateAsker& asker) {
    if (field.find("[?") == std::string::npos) return true;
    std::string work = Cut(field, kWorkSize);
    for (int replaced = 0; replaced < kMaxTemplateReplacements; ++replaced) {
        const std::size_t open = work.find("[?");
        if (open == std::string::npos) break;
        const std::size_t close = work.find(']', open + 2);
        if (close == std::string::npos) break;  // an open token is plain text
        std::size_t start = open + 2;
        while (start < close && work[start] == ' ') ++start;
        const std::string inner = work.substr(start, close - start);

        std::optional<std::string> answer;
        if (inner.empty()) {
            answer = answers.MostRecent();
        } else {
            const std::size_t blank = inner.find(' ');
            const std::string word = Upper(inner.substr(0, blank));
            const bool keyword = blank != std::string::npos && (word == "FILE" || word == "WINDOW" || word == "TEXT");
            if (keyword) {
                std::string prompt = Trim(inner.substr(blank + 1));
                if (prompt.empty()) prompt = word;
                const TemplateAskKind kind = word == "FILE"     ? TemplateAskKind::File
                                             : word == "WINDOW" ? TemplateAskKind::Window
                                                                : TemplateAskKind::Text;
                const std::string prefill = answers.Find(prompt).value_or("");
                answer = asker ? asker(kind, prompt, prefill) : std::nullopt;
                if (!answer) return false;
                answers.Store(prompt, *answer);
            } else {
                const std::string prompt = ClipRight(inner);
                answer = answers.Find(prompt);
                if (!answer) {
                    answer = asker ? asker(TemplateAskKind::Text, prompt, "") : std::nullopt;
                    if (!answer) return false;
                    answers.Store(prompt, *answer);
                }
            }
        }
        work = Cut(work.substr(0, open) + ClipRight(Cut(*answer, kTemplateAnswerSize)) + work.substr(close + 1),
                   kWorkSize);
    }
    field = Cut(work, length);
    return true;
}

bool ExpandTemplateTokens(std::string& field, std::size_t length) {
    return ExpandTemplateTokens(field, length, TemplateAnswers::Global(), InstalledTemplateAsker());
}

std::string CommandFolder(std::string_view command) {
    const std::size_t cut = command.find_last_of("/\\");
    if (cut == std::string_view::npos) return {};
    return cut == 0 ? std::string(command.substr(0, 1)) : std::string(command.substr(0, cut));
}

}  // namespace kr
