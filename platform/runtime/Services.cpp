#include "platform/runtime/Services.h"

#include <atomic>
#include <cstdio>

namespace kr {

namespace {

int FirstButton(int buttons) {
    for (int b = 1; b <= kButtonHelp; b <<= 1)
        if (buttons & b) return b;
    return kButtonOk;
}

int DefaultAnswer(const MessageRequest& r) {
    if (!r.captions.empty()) return 1;
    return r.defaultButton && (r.buttons & r.defaultButton) ? r.defaultButton : FirstButton(r.buttons);
}

// With no window layer: print the message and take the default button.
class ConsoleMessages : public MessageService {
public:
    int Show(const MessageRequest& r) override {
        CountMessageShown();
        std::fprintf(stderr, "[%s] %s\n", r.title.c_str(), r.text.c_str());
        return DefaultAnswer(r);
    }
};

ConsoleMessages g_console;
MemoryClipboard g_memoryClipboard;
std::atomic<MessageService*> g_messages{nullptr};
std::atomic<ClipboardService*> g_clipboard{nullptr};
std::atomic<uint64_t> g_messagesShown{0};

}  // namespace

MessageService& Messages() {
    MessageService* s = g_messages.load();
    return s ? *s : g_console;
}
void InstallMessageService(MessageService* service) { g_messages.store(service); }
uint64_t MessagesShown() { return g_messagesShown.load(); }
void CountMessageShown() { g_messagesShown.fetch_add(1); }

ClipboardService& Clipboard() {
    ClipboardService* s = g_clipboard.load();
    return s ? *s : g_memoryClipboard;
}
void InstallClipboardService(ClipboardService* service) { g_clipboard.store(service); }

int Message(const std::string& text, const std::string& title, MessageIcon icon, int buttons,
            int defaultButton) {
    MessageRequest r;
    r.text = text;
    r.title = title;
    r.icon = icon;
    r.buttons = buttons;
    r.defaultButton = defaultButton;
    return Messages().Show(r);
}

bool AskYesNo(const std::string& text, const std::string& title, int defaultButton) {
    return Message(text, title, MessageIcon::Question, kButtonYes | kButtonNo, defaultButton) == kButtonYes;
}

int ScriptedResponder::Show(const MessageRequest& request) {
    CountMessageShown();
    std::optional<int> answer;
    if (onShow) answer = onShow(request);
    std::lock_guard<std::mutex> l(m_);
    if (!answer && !answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    }
    int a = answer ? *answer : DefaultAnswer(request);
    shown_.push_back({request, a});
    return a;
}

std::optional<std::string> ScriptedResponder::ChooseFolder(const std::string& title, const std::string& start) {
    (void)start;
    std::lock_guard<std::mutex> l(m_);
    folderRequests_.push_back(title);
    if (folders_.empty()) return std::nullopt;
    auto f = folders_.front();
    folders_.pop_front();
    return f;
}

bool ScriptedResponder::sawTitle(const std::string& title) const {
    std::lock_guard<std::mutex> l(m_);
    for (const Shown& s : shown_)
        if (s.request.title == title) return true;
    return false;
}

bool ScriptedResponder::sawText(const std::string& text) const {
    std::lock_guard<std::mutex> l(m_);
    for (const Shown& s : shown_)
        if (s.request.text == text) return true;
    return false;
}

ScopedMessageService::ScopedMessageService(MessageService* s) : previous_(g_messages.load()) {
    InstallMessageService(s);
}
ScopedMessageService::~ScopedMessageService() { InstallMessageService(previous_); }

}  // namespace kr
