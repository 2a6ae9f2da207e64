// Main: the one window of the message program. It takes over one MsgLink
// record before it shows (read, then deleted), shows its title and text,
// repeats the alarm from its timer, and offers snooze, to-do, e-mail and the
// message font. A snooze or to-do write that fails is reported and the window
// stays open with its message.
#pragma once

#include <cstdint>
#include <functional>

#include "msgprog/MessageProgram.h"
#include "platform/ui/FontDialog.h"
#include "platform/ui/MessageWindowLayout.h"

class QColor;
class QFont;
class QWidget;

namespace kr::msgprog {

struct MainLayout : MessageWindowLayout {
    void Build();
};

// The popup of the message text and its choice numbers.
inline constexpr const char* kMessagePopup =
    "Set Message &Font|-|&Snooze{10 Minutes|30 Minutes|1 Hour|1 Day|Other}|Send &Email|&Add to To Do List|-|E&xit";
enum MessagePopupChoice {
    kPopupFont = 1,
    kPopup10Minutes,
    kPopup30Minutes,
    kPopup1Hour,
    kPopup1Day,
    kPopupOther,
    kPopupEmail,
    kPopupToDo,
    kPopupExit,
};

class MainWindow;

// Opens Main for the record named by id (0: the newest). Returns nullptr
// when there is no such record (nothing is deleted) with the read's code in
// *takeResult. `closed` runs once the window has gone.
MainWindow* OpenMain(int32_t id, std::function<void()> closed = {}, int* takeResult = nullptr);

class MainWindow;
// For tests: the message shown, the snooze minutes, the alarm state, a
// choice of the text's popup as if picked.
const MsgLink& ShownMessage(const MainWindow* w);
int32_t& SnoozeMinutes(MainWindow* w);
const AlarmState& Alarm(const MainWindow* w);
void ChoosePopup(MainWindow* w, int choice);

}  // namespace kr::msgprog
