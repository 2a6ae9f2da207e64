// The message program KRMsg without its windows: the command line, taking
// over one MsgLink record (read, then deleted, so every message shows once),
// the options it reads from Configuration, the repeating alarm, the preserved
// message font in "krmsg.INI", and the snooze and to-do writes.
//
// Unlike the original writes, the snooze and to-do adds report their result:
// a failed snooze must not close the window, or the message is lost for good.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "platform/runtime/FixedString.h"
#include "platform/runtime/IniFile.h"

namespace kr::msgprog {

inline constexpr const char* kIniFileName = "krmsg.INI";
inline constexpr const char* kPreservedSection = "Preserved";
// A snooze of 0 minutes or less brings the message back after this long
// (hundredths of a second: 10 minutes).
inline constexpr int32_t kDefaultSnoozeTime = 60000;

// The options the message window reads from Configuration (the program's own
// copies, cleared at start).
struct MessageSettings {
    uint8_t UseModalMessage = 0;
    int32_t RepeatAlarmInterval = 0;  // seconds
    int32_t SnoozeInterval = 0;       // minutes
    int32_t MaxAlarmTime = 0;         // minutes
    uint8_t LogEvents = 0;
    uint8_t UseExternalMessage = 0;
    FString<6> DateFormat;
    uint8_t UseWinMessage = 0;
    FString<255> Sender;
    FString<255> SenderName;
    FString<255> Host;
    FString<20> Org;
    FString<255> NSender;
    FString<255> NSenderName;
    FString<255> NHost;
    FString<255> NOrg;
};
MessageSettings& Settings();

// The font of the message text, kept from one run to the next.
struct PreservedFont {
    FString<32> Font;
    int32_t Style = 0;
    int32_t Color = 0;
    int32_t Point = 0;
};
PreservedFont& CurrentFont();
void LoadPreservedFont(const IniFile& ini);
void SavePreservedFont(const IniFile& ini);

// The command line: "ID=n" with n a whole number; 0 or no "ID=" is the
// newest record. Anything else after "ID=" is refused with a reason.
struct CommandLine {
    bool ok = true;
    int32_t id = 0;
    std::string error;
};
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Reads the record with the lowest ID not below `id` (the highest ID when id
// is 0) into `out` and deletes it. Returns 0, or the code of the failed open
// or read (nothing is deleted then). A failed delete is returned in
// *deleteError while the record read is still handed out.
int TakeMessage(int32_t id, MsgLink& out, int* deleteError = nullptr);

// A setting's value in Configuration ("" when it is missing); the table is
// opened shared on first use and stays open.
std::string LookupSetting(const std::string& name);
// Fills Settings() from Configuration.
void LoadMessageSettings();

// The alarm repeat of the message window. A date of 0 is "not set".
struct AlarmState {
    std::string sound;
    int32_t nextDate = 0, nextTime = 0;
    int32_t endDate = 0, endTime = 0;
    int32_t interval = 0;  // seconds
    // Sets the first repeat one interval from now, and the end after
    // maxMinutes when that is above 0. Nothing is set without an interval or
    // without a sound file.
    void Start(const std::string& alarmFile, int32_t intervalSeconds, int32_t maxMinutes, int32_t today,
               int32_t now);
    // One timer event: true when the sound is to play now.
    bool Tick(int32_t today, int32_t now);
    bool active() const { return nextDate > 0; }
};

// True when (d1, t1) is later than (d2, t2).
bool Later(int32_t d1, int32_t t1, int32_t d2, int32_t t2);
// (date, time) with whole days carried from the time into the date.
void Normalize(int32_t& date, int32_t& time);

// The one-off task a snooze of `minutes` files, due from (today, now).
Schedule SnoozeTask(const MsgLink& ML, int32_t minutes, int32_t today, int32_t now);
// Adds the snooze task under the next free ID. Returns 0 or the error code;
// *error gets the engine's text of the failure.
int SnoozeMessage(const MsgLink& ML, int32_t minutes, std::string* error = nullptr);
// Adds the message to the to-do list. Returns 0 or the error code.
int AddMessageToToDo(const MsgLink& ML, std::string* error = nullptr);

// The window title for a message title: "Advanced Warning:" titles as they
// are, others after "Message:  "; "Message" for a blank title.
std::string WindowTitle(const std::string& title);

}  // namespace kr::msgprog
