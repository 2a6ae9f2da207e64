// Services that core code calls and that the window layer or a test provides:
// message boxes, the clipboard and choosing a folder. Core code never shows a
// Qt dialog itself; it asks the installed service. Tests install a
// ScriptedResponder that records every message and answers from a script.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kr {

// Buttons of a message box, as the runtime numbers them; a box shows the
// buttons whose bits are set and returns the one pressed.
enum MessageButton : int {
    kButtonOk = 1,
    kButtonYes = 2,
    kButtonNo = 4,
    kButtonAbort = 8,
    kButtonRetry = 16,
    kButtonIgnore = 32,
    kButtonCancel = 64,
    kButtonHelp = 128,
};

enum class MessageIcon { None, Information, Exclamation, Hand, Question };

struct MessageRequest {
    std::string text;   // '|' starts a new line, as in the runtime
    std::string title;
    MessageIcon icon = MessageIcon::None;
    int buttons = kButtonOk;
    int defaultButton = 0;  // 0: the first button shown
    bool topmost = false;   // system-modal, above every window
    // Buttons with captions of their own ("&Yes", "&No", ...): when given
    // they are shown in place of `buttons`, the first is the default, and
    // Show returns the number of the one pressed (1 for the first).
    std::vector<std::string> captions;
};

class MessageService {
public:
    virtual ~MessageService() = default;
    // Shows the message and returns the button pressed.
    virtual int Show(const MessageRequest& request) = 0;
    // Asks for a folder; nullopt when cancelled.
    virtual std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) {
        (void)title;
        (void)start;
        return std::nullopt;
    }
};

class ClipboardService {
public:
    virtual ~ClipboardService() = default;
    virtual void SetText(const std::string& text) = 0;
    virtual std::string Text() = 0;
};

// The installed services. Without one installed, messages go to standard
// error and answer with the default button, and the clipboard is a plain
// in-process text; so core code never blocks on a missing display.
MessageService& Messages();
void InstallMessageService(MessageService* service);
ClipboardService& Clipboard();
void InstallClipboardService(ClipboardService* service);

// How many messages the installed services have shown in this process. A
// window compares it around a step to learn whether the step told the user
// something; each service's Show calls CountMessageShown.
uint64_t MessagesShown();
void CountMessageShown();

// Shorthand for the common cases.
int Message(const std::string& text, const std::string& title = {}, MessageIcon icon = MessageIcon::None,
            int buttons = kButtonOk, int defaultButton = 0);
// A question with Yes and No; true only for Yes.
bool AskYesNo(const std::string& text, const std::string& title, int defaultButton = kButtonYes);

// Records every message shown and answers from a queue of scripted replies;
// with the queue empty it answers with the default button (or the first one
// shown). Thread-safe. ChooseFolder answers from its own queue.
class ScriptedResponder : public MessageService {
public:
    struct Shown {
        MessageRequest request;
        int answer;
    };
    void Answer(int button) {
        std::lock_guard<std::mutex> l(m_);
        answers_.push_back(button);
    }
    void AnswerFolder(std::optional<std::string> folder) {
        std::lock_guard<std::mutex> l(m_);
        folders_.push_back(std::move(folder));
    }
    // A hook called for every message before answering; may return an answer.
    std::function<std::optional<int>(const MessageRequest&)> onShow;

    int Show(const MessageRequest& request) override;
    std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) override;

    std::vector<Shown> shown() const {
        std::lock_guard<std::mutex> l(m_);
        return shown_;
    }
    std::vector<std::string> folderRequests() const {
        std::lock_guard<std::mutex> l(m_);
        return folderRequests_;
    }
    // True when a message with this title (and text, when given) was shown.
    bool sawTitle(const std::string& title) const;
    bool sawText(const std::string& text) const;
    void clear() {
        std::lock_guard<std::mutex> l(m_);
        shown_.clear();
    }

private:
    mutable std::mutex m_;
    std::deque<int> answers_;
    std::deque<std::optional<std::string>> folders_;
    std::vector<Shown> shown_;
    std::vector<std::string> folderRequests_;
};

// A clipboard held in memory: the default, and what tests use.
class MemoryClipboard : public ClipboardService {
public:
    void SetText(const std::string& text) override {
        std::lock_guard<std::mutex> l(m_);
        text_ = text;
    }
    std::string Text() override {
        std::lock_guard<std::mutex> l(m_);
        return text_;
    }

private:
    std::mutex m_;
    std::string text_;
};

// Installs a service for the lifetime of the guard and restores the previous one.
class ScopedMessageService {
public:
    explicit ScopedMessageService(MessageService* s);
    ~ScopedMessageService();
    ScopedMessageService(const ScopedMessageService&) = delete;
    ScopedMessageService& operator=(const ScopedMessageService&) = delete;

private:
    MessageService* previous_;
};

}  // namespace kr
