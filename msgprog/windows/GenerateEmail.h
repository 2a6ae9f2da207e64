// GenerateEmail of the message program: the suite's quick e-mail window
// over the shown MsgLink record with the message program's mail settings.
#pragma once

#include <functional>

#include "dictionary/SchedulingTables.h"
#include "msgprog/MessageProgram.h"
#include "organiser/windows/GenerateEmail.h"

namespace kr::msgprog {

using kr::kEmailIniFileName;
using kr::kEmailSection;

// Opens the window modal over the current window; `message` must outlive
// it. `done` runs after it has closed (and after the send has reported).
inline bool GenerateEmail(MsgLink& message, std::function<void()> done) {
    const MessageSettings& s = Settings();
    return kr::GenerateEmail(message.Title, message.Message,
                             {s.Host.str(), s.Sender.str(), s.SenderName.str(), s.Org.str()},
                             std::move(done));
}

}  // namespace kr::msgprog
