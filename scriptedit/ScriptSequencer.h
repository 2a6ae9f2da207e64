// The order of a task's script items: an item's place is its Sequence within
// the task's ID (key SCR:KeyID). ScriptSequencer moves one item up, down, to
// the top or to the bottom, places a new item after another, and closes the
// gap a deleted item leaves. The two ways of adding an item live here too.
//
// A move never creates or loses a number: the items keep the same set of
// numbers, gaps included. The moving item is parked on the number above the
// task's highest while the others shift, so the key stays unique at every
// step. Each operation is one write transaction of the current thread's
// Scripting table (none of its own when the caller holds one).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/SchedulingTables.h"

namespace kr {

// Whose items a script editor works on: a task's (Scripting, by SCR:ID) or
// a template's (ScriptTemplateDetails, by KRD:Wiz_ID).
enum class ScriptOwner { Task, Template };

// Adds the item numbered one above the task's highest (its Sequence is set).
// Returns the table's error code (0 on success).
int InsertScriptItemNumbered(Scripting& item);
// The same for a template's item, numbered within its Wiz_ID.
int InsertTemplateItemNumbered(ScriptTemplateDetails& item);
// Adds the item under the Sequence it carries; a number already taken fails
// with the duplicate-key error and adds nothing.
int InsertScriptItemAt(const Scripting& item);

// The Sequence numbers of a task's (or a template's) items, in order.
std::vector<int32_t> ScriptItemNumbers(int32_t taskID, ScriptOwner owner = ScriptOwner::Task);

class ScriptSequencer {
public:
    enum Direction { kUp = 1, kDown = 2, kToTop = 3, kToBottom = 4, kInsertAfter = 5, kRenumber = 6 };

    // The IDs below are task IDs, or template IDs for a template's items.
    explicit ScriptSequencer(ScriptOwner owner = ScriptOwner::Task) : owner_(owner) {}
    ScriptOwner owner() const { return owner_; }

    // Each takes the task and the moving item's number and answers the item's
    // number afterwards (unchanged when nothing moved). Failed updates are
    // reported ("Record swap error: ..." titled "Error!").
    int32_t MoveUp(int32_t taskID, int32_t sequence) { return Move(kUp, taskID, sequence); }
    int32_t MoveDown(int32_t taskID, int32_t sequence) { return Move(kDown, taskID, sequence); }
    int32_t MoveToTop(int32_t taskID, int32_t sequence) { return Move(kToTop, taskID, sequence); }
    int32_t MoveToBottom(int32_t taskID, int32_t sequence) { return Move(kToBottom, taskID, sequence); }
    // The same for a direction chosen at run time (a list's move buttons);
    // bound is the insert-after bound of MoveAfter.
    int32_t Move(Direction d, int32_t taskID, int32_t sequence, int32_t bound = 0);
    // A new item (numbered last) goes directly after the item numbered
    // insertAfter; the items between move down one place. Nothing happens for
    // a bound of 0. The bound is reset afterwards.
    int32_t MoveAfter(int32_t taskID, int32_t sequence);
    // The items from `start` on are numbered start, start + 1, ...; each failed
    // item is reported and the rest go on. Nothing happens for a start of 0.
    void Renumber(int32_t taskID);

    // Set by New and Copy (the highlighted item's number) and by Delete (the
    // deleted item's number).
    int32_t insertAfter = 0;
    int32_t renumberStart = 0;

private:
    ScriptOwner owner_;
};

}  // namespace kr
