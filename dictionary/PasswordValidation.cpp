#include "dictionary/PasswordValidation.h"

#include "dictionary/Settings.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/SessionUnlock.h"
#include "platform/runtime/Strings.h"

namespace kr {

bool PasswordMatches(std::string_view entered, std::string_view stored) {
    return Upper(ClipRight(entered)) == Upper(ClipRight(stored));
}

uint8_t ValidatePassword(const std::function<std::optional<PasswordAnswer>()>& ask) {
    if (!Options().SysLock || sessionUnlocked()) return 1;
    std::optional<PasswordAnswer> answer = ask ? ask() : std::nullopt;
    if (!answer) return 0;
    if (!PasswordMatches(answer->entered, Options().SysPwd.get())) {
        Message(kAccessDeniedText, kAccessDeniedTitle, MessageIcon::Exclamation, kButtonOk);
        return 0;
    }
    setSessionUnlocked(answer->unlockForSession);
    return 1;
}

}  // namespace kr
