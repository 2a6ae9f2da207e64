// The question every organiser list asks before it deletes a record.
#pragma once

#include "platform/runtime/Services.h"

namespace kr {

// "Confirm Delete" with Yes and No, No the default; true when the user agrees.
inline bool ConfirmDelete() {
    return AskYesNo("Are you sure you want to delete the highlighted record?", "Confirm Delete", kButtonNo);
}

}  // namespace kr
