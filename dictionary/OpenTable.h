// Opening a table outside its file manager, through the upgrade library: an
// older stored layout is converted, a lock held elsewhere is waited for once,
// a missing table is created, a damaged key is rebuilt on request, and an
// unrecoverable state ends the program (EndProgram) with a message.
#pragma once

#include <cstdint>

#include "platform/data/Table.h"
#include "platform/data/TableDef.h"

namespace kr {

// The file a layout error (47) writes its details to, in the data folder, as
// well as putting them on the clipboard: the X11 clipboard empties when the
// program that owns it ends, and the program ends right after.
inline constexpr const char* kUpgradeErrorFileName = "KR98Upgrade.txt";

// Opens the table in mode 2 (forceMode2) or openMode. Returns 0 with the
// table open (52, already open, counts as open); otherwise the program has
// been ended and the code is returned only when the installed shutdown
// returns (tests). With ignoreMissing set, a missing table is left closed
// and 2 is returned without a message.
int OpenTable(data::Table& file, uint8_t createIfMissing = 1, uint8_t ignoreMissing = 0, uint8_t openMode = 0,
              uint8_t forceMode2 = 1);
int OpenTable(const data::TableDef& def, uint8_t createIfMissing = 1, uint8_t ignoreMissing = 0,
              uint8_t openMode = 0, uint8_t forceMode2 = 1);

// The create step of OpenTable: creates the table empty with its keys and
// opens it; a failure shows case 4 or 5 of StandardWarning, which ends the
// program. Returns 0 when the table is open.
int CreateAndOpenTable(data::Table& file, uint8_t createIfMissing = 1, uint8_t ignoreMissing = 0,
                       uint8_t openMode = 0, uint8_t forceMode2 = 1);

}  // namespace kr
