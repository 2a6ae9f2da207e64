// GenerateEmail: the "Email Message" window that forwards a shown task
// message by e-mail, the one window of both KR98's message windows and
// KRMsg. Subject and text edit the caller's copy, so what is sent is what
// the window shows. The last recipient is kept in "KRMSG.INI", section
// "Email", for both programs.
#pragma once

#include <functional>
#include <string>

#include "platform/runtime/FixedString.h"

namespace kr {

inline constexpr const char* kEmailIniFileName = "KRMSG.INI";
inline constexpr const char* kEmailSection = "Email";
inline constexpr std::size_t kRecipientNameSize = 60;

// The mail settings of the program that forwards (trailing blanks are
// dropped).
struct QuickEmailAccount {
    std::string host, sender, senderName, org;
};

// Opens the window modal over the current window; title and text must
// outlive it. `done` runs after it has closed (and after the send has
// reported).
bool GenerateEmail(FString<60>& title, FString<4096>& text, QuickEmailAccount account, std::function<void()> done);

}  // namespace kr
