// The rules of the to-do list that need no window: the done toggle, the
// defaults of a new item, the fields stamped on every save and the original
// number an item keeps for good.
#pragma once

#include <cstdint>
#include <string>

#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"

namespace kr {
namespace data {
class Table;
}

inline constexpr const char* kDefaultTodoCategory = "General";
inline constexpr int kDefaultTodoPriority = 5;

// Done = 1 - Done; an item that becomes done is stamped with the moment,
// an item taken back keeps the completion it had.
void ToggleTodoDone(Todo& TDO, int32_t today, int32_t now);

// The form's defaults: a blank picked category and a blank item category
// become "General"; a new item takes priority 5 and the picked category.
void ApplyTodoDefaults(Todo& TDO, Categories& CAT, bool insert);

// The form's "&Done" box ticked: an item that was not done when the form
// opened is stamped with the moment; one that was keeps its completion.
void TodoDoneTicked(Todo& TDO, bool doneAtOpen, int32_t today, int32_t now);

// The original number of a new item: one more than the highest stored, so
// no two items share one, whatever was deleted in between (counting rows
// gave the first item 0 and, after a deletion, a number still in use).
int32_t NextTodoOriginalID(data::Table& todo);

// The stamps of a save: the user, the moment, and the original number when
// the item has none yet.
void StampTodoForSave(Todo& TDO, const std::string& user, int32_t today, int32_t now, data::Table& todo);

}  // namespace kr
