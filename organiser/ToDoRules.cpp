#include "organiser/ToDoRules.h"

#include <vector>

#include "platform/data/ListQuery.h"
#include "platform/data/Table.h"
#include "platform/runtime/Strings.h"

namespace kr {

void ToggleTodoDone(Todo& TDO, int32_t today, int32_t now) {
    TDO.Done = TDO.Done ? 0 : 1;
    if (TDO.Done) {
        TDO.CompletionDate = today;
        TDO.CompletionTime = now;
    }
}

void ApplyTodoDefaults(Todo& TDO, Categories& CAT, bool insert) {
    if (ClipRight(CAT.Category.str()).empty()) CAT.Category = kDefaultTodoCategory;
    if (ClipRight(TDO.Category.str()).empty()) TDO.Category = kDefaultTodoCategory;
    if (insert) {
        TDO.Priority = kDefaultTodoPriority;
        TDO.Category = CAT.Category.str();
    }
}

void TodoDoneTicked(Todo& TDO, bool doneAtOpen, int32_t today, int32_t now) {
    TDO.Done = 1;
    if (doneAtOpen) return;
    TDO.CompletionDate = today;
    TDO.CompletionTime = now;
}

int32_t NextTodoOriginalID(data::Table& todo) {
    // One row, the highest number first; the query has statements of its
    // own, so the caller's buffer and position are left alone.
    data::ListQuery q(todo);
    if (!q.SetOrderText("-TDO:OriginalID") || q.Apply() != 0) return 1;
    std::vector<data::ListRow> rows;
    if (q.PageAt(0, 1, rows) != 0 || rows.empty()) return 1;
    Todo top;
    q.ToRecord(rows[0], &top);
    return top.OriginalID < 0 ? 1 : top.OriginalID + 1;
}

void StampTodoForSave(Todo& TDO, const std::string& user, int32_t today, int32_t now, data::Table& todo) {
    TDO.NetworkUser = user;
    TDO.LastChangeDate = today;
    TDO.LastChangeTime = now;
    if (TDO.OriginalID == 0) TDO.OriginalID = NextTodoOriginalID(todo);
}

}  // namespace kr
