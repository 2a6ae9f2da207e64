// GenerateEmail: the "Email Message" window that forwards the message by
// e-mail. Subject and text edit the message window's copy, so what is sent is
// what the window shows. The last recipient is kept in "KRMSG.INI",
// section "Email".
#pragma once

#include <functional>

#include "dictionary/SchedulingTables.h"

namespace kr::msgprog {

inline constexpr const char* kEmailIniFileName = "KRMSG.INI";
inline constexpr const char* kEmailSection = "Email";

// Opens the window modal over the current window; `message` must outlive
// it. `done` runs after it has closed (and after the send has reported).
bool GenerateEmail(MsgLink& message, std::function<void()> done);

}  // namespace kr::msgprog
