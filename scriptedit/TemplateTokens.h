// Template tokens: "[?" ... "]" in the texts of a script template, replaced
// by answers asked from the user while the template is copied into a task.
//
//   [?]               the most recent answer
//   [?FILE prompt]    always asked, in the file window (WINDOW, TEXT alike;
//                     an empty prompt is the keyword itself)
//   [?anything else]  a free token: the answer stored under its prompt, or
//                     asked in the text window
//
// The answers live for the program's run (`TemplateAnswers`), keyed by the
// upper-cased prompt; the script wizard empties them when it starts.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kr {

inline constexpr std::size_t kTemplatePromptSize = 45;
inline constexpr std::size_t kTemplateAnswerSize = 255;
// Replacements in one field before the expansion stops: an answer holding
// its own token would otherwise expand for ever.
inline constexpr int kMaxTemplateReplacements = 100;

// One answer: TQ:Key (unused), TQ:Prompt (upper-cased, unique), TQ:Value.
struct TemplateAnswer {
    std::string key;
    std::string prompt;
    std::string value;
};

class TemplateAnswers {
public:
    // The program's list.
    static TemplateAnswers& Global();

    void Clear();
    // The answer stored under the prompt (any case); it becomes the most
    // recent answer.
    std::optional<std::string> Find(std::string_view prompt);
    // Adds the answer, or replaces the one under the same prompt.
    void Store(std::string_view prompt, std::string_view value);
    const std::string& MostRecent() const { return recent_; }
    const std::vector<TemplateAnswer>& Rows() const { return rows_; }

private:
    std::vector<TemplateAnswer> rows_;
    std::string recent_;
};

// The three ask windows.
enum class TemplateAskKind { Text, File, Window };
// Shows the ask window of the kind with the token's prompt (the bare
// keyword when the token gave none) and the pre-filled answer; the answer,
// or nothing when cancelled.
using TemplateAsker =
    std::function<std::optional<std::string>(TemplateAskKind kind, const std::string& prompt, const std::string& prefill)>;

// The asker the windows install; without one every question is cancelled.
void InstallTemplateAsker(TemplateAsker asker);
const TemplateAsker& InstalledTemplateAsker();

// Replaces the tokens of a field in place (the result cut to `length`);
// false when an ask window was cancelled, the field then unchanged. A
// confirmed answer is stored in `answers`. Tokens inside answers are
// expanded too, at most kMaxTemplateReplacements in one field; a "[?"
// without a closing "]" stays as it is.
bool ExpandTemplateTokens(std::string& field, std::size_t length, TemplateAnswers& answers,
                          const TemplateAsker& asker);
// The same with the program's answers and the installed asker.
bool ExpandTemplateTokens(std::string& field, std::size_t length);

// The start folder of a command: what stands before its last "/" (or "\"
// of old templates); empty when it holds neither.
std::string CommandFolder(std::string_view command);

}  // namespace kr
