// What the Options window stores: the list of names and values its OK writes
// to Configuration, in the order they are written, and the names of the date
// formats it offers. Display-free, so the mapping is tested without a window.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kr {

// One entry of the date-format list and the date code it stands for.
struct DateFormatEntry {
    const char* name;
    const char* code;
};
// The list as the window offers it, in its order.
extern const std::array<DateFormatEntry, 10> kDateFormatList;
// The name shown for a date code: one of the list, or for the codes the list
// does not offer ("d13" to "d16", "n4b") their own example; "" for others.
std::string DateFormatName(std::string_view code);
// The date code of a list entry; "" when the name is none of the list.
std::string DateFormatCode(std::string_view name);

// What the window holds apart from the option globals (those its controls
// edit in place).
struct OptionsEdits {
    std::string password;         // "Password to lock/unlock system:"
    std::string confirm;          // "Confirm password:"
    int32_t scriptingDelay = 25;  // "Send Interval", the window's copy
    int32_t burstSize = 7;        // "Maximum number of characters per send group:"
    std::string dateEntry;        // the chosen date-format entry
    std::string dateEntryOnOpening;
    // "Scheduler active" was ticked or cleared while the window was open.
    bool schedulerActiveChanged = false;
};

using StoredSetting = std::pair<std::string, std::string>;

// With the lock ticked the two password fields must agree.
bool LockPasswordsAgree(bool locked, const OptionsEdits& e);

// The settings OK writes, in order, from the option globals and the edits
// (the lock password already taken into SysPwd). A RepeatAlarmInterval from
// 1 to 4 is stored as 5; StartUpSchedule and StartUpActive are stored
// inverted. While the program runs with "/I" and the box was not changed,
// StartUpActive is written back as `storedStartUpActive` (left out when
// nothing was stored), so the switch never makes the inactive state stick.
std::vector<StoredSetting> OptionsToStore(const OptionsEdits& e, std::string_view storedStartUpActive);

struct OptionsSaveResult {
    bool dateFormatChanged = false;  // the "Information" box is due
};

// OK after the password check: SysPwd takes the password when the lock is
// on, the settings are written in one batch, the script timing is read back
// (ScriptingDelay at least 25, BurstSize 0 as 7) and the chosen date code
// becomes GlobalDateFormat; then the options-applied hooks hand the values
// on (no LoadSettings: the rest of the globals already hold them).
OptionsSaveResult SaveOptions(const OptionsEdits& e);

}  // namespace kr
