// The system password gate: the task forms and wizards, the schedule lists,
// the Options window and Housekeeping call it first and go on only when it
// says so. It asks only while the system is locked (SysLock) and has not been
// unlocked for the session; the window that asks is fPasswordValidation
// (dictionary/windows).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kr {

inline constexpr const char* kAccessDeniedTitle = "Access Denied";
inline constexpr const char* kAccessDeniedText = "The password you have entered is incorrect.";

struct PasswordAnswer {
    std::string entered;
    bool unlockForSession = false;
};

// True when the entered text is the stored password, ignoring case and
// trailing blanks.
bool PasswordMatches(std::string_view entered, std::string_view stored);

// 1 when the caller may go on, 0 when not. Without the lock, or with the
// session unlocked, 1 at once without asking. Otherwise `ask` is called once
// (nullopt: cancelled); a wrong password shows "Access Denied" and gives 0;
// the right one gives 1 and sets the session unlock to the answer's tick.
uint8_t ValidatePassword(const std::function<std::optional<PasswordAnswer>()>& ask);

}  // namespace kr
