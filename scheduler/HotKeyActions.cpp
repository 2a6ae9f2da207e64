#include "scheduler/HotKeyActions.h"

#include "dictionary/Dictionary.h"
#include "platform/desktop/XKeyboard.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "scheduler/ScriptServices.h"
#include "scheduler/SendKeys.h"
#include "scheduler/TaskRunner.h"

namespace kr {

namespace {

std::string ErrorTitle(const SysHotKeys& r) { return "Hot-Key " + Trim(r.HotKey.str()) + " Error"; }

std::string ClippedText(const std::string& text) {
    std::string t = text.substr(0, std::min<std::size_t>(text.size(), 10000));
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t;
}

// Every CR LF becomes one CR: the keystroke engine types CR as Enter.
std::string TypedText(const std::string& text) {
    std::string out;
    const std::string t = ClippedText(text);
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') {
            out += '\r';
            ++i;
        } else {
            out += t[i];
        }
    }
    return out;
}

}  // namespace

GrabbedKey ToGrabbedKey(HotKeyCode code) {
    return GrabbedKey{code.VirtualKey(), code.Has(HotKeyModifier::Alt), code.Has(HotKeyModifier::Ctrl),
                      code.Has(HotKeyModifier::Shift), code.Has(HotKeyModifier::Win)};
}

HotKeyActions::HotKeyActions(std::function<bool(HotKeyCode)> keysDown, KeyboardOutput* keyboard)
    : keysDown_(std::move(keysDown)), keyboard_(keyboard) {}

HotKeyActions::~HotKeyActions() = default;

bool HotKeyActions::Busy() const { return pending_ > 0; }

void HotKeyActions::AfterRelease(HotKeyCode code, std::function<void()> then) {
    ++pending_;
    auto* poll = new QTimer(&context_);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, &context_, [this, poll, code, then = std::move(then)] {
        if (keysDown_ && keysDown_(code)) return;
        poll->stop();
        poll->deleteLater();
        QTimer::singleShot(kHotKeyPauseMs, &context_, [this, then] {
            --pending_;
            then();
        });
    });
    poll->start();
}

void HotKeyActions::RunHotKey(const SysHotKeys& r) {
    if (!r.Active) return;
    const std::string action = Trim(r.Action.str());
    if (action == "Text")
        RunHotKeyText(r);
    else if (action == "Task")
        RunHotKeyTask(r);
    else
        Message("Unknown Action:  " + action, ErrorTitle(r));
}

void HotKeyActions::RunHotKeyText(const SysHotKeys& r) {
    const std::string type = Upper(Trim(r.TextType.str()));
    const HotKeyCode code = ParseKey(r.HotKey.str());
    if (type == "TYPE") {
        const std::string text = TypedText(r.Text);
        AfterRelease(code, [this, text] {
            if (KeystrokeService* k = Keystrokes()) {
                ++pending_;
                if (!k->Send(text, [this](bool) { --pending_; })) --pending_;
            }
        });
    } else if (type == "COPY") {
        Clipboard().SetText(ClippedText(r.Text));
    } else if (type == "PASTE") {
        Clipboard().SetText(ClippedText(r.Text));
        AfterRelease(code, [this] {
            if (keyboard_) {
                keyboard_->BeginSend();
                PressKey(*keyboard_, SendKeyCode('V').With(SendKeyModifier::Ctrl));
                keyboard_->Flush();
            }
        });
    } else {
        Message("Unknown Text Automation:  " + Trim(r.TextType.str()), ErrorTitle(r));
    }
}

void HotKeyActions::RunHotKeyTask(const SysHotKeys& r) {
    ++pending_;
    const int32_t id = r.ID;
    const std::string title = ErrorTitle(r);
    QTimer::singleShot(kHotKeyPauseMs, &context_, [this, id, title] {
        --pending_;
        auto& f = Schedule_File();
        f.rec().ID = id;
        if (f.TryFetch("SCH:KeyID") != data::kLevelBenign) {
            Message("Unable to retrieve associated task.", title);
            return;
        }
        RunTask("N/A", "", "", id, nullptr, 0, 1, 1, 1, 0);
    });
}

DesktopHotKeys::DesktopHotKeys(std::function<void()> pressed) {
    manager_.Init(&grabber_, std::move(pressed));
    x_.SetPressedHandler([this](int id) { manager_.Pressed(id); });
    auto keyboard = std::make_unique<XKeyboard>();
    if (keyboard->Available()) keyboard_ = std::move(keyboard);
    actions_ = std::make_unique<HotKeyActions>(
        [this](HotKeyCode code) { return x_.KeysDown(ToGrabbedKey(code)); }, keyboard_.get());
}

DesktopHotKeys::~DesktopHotKeys() { manager_.Kill(); }

}  // namespace kr
