// The script run queue: the script items waiting to run, each with its due
// moment. The task runner and Start Script add entries; the script
// interpreter takes the first entry when it is due, one per timer tick; the
// frame frees the whole queue when the running script is stopped.
//
// Program-wide and thread-safe: list threads add entries through the task
// runner while thread 1 works the queue. Writers keep it in due order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "dictionary/SchedulingTables.h"

namespace kr {

// The action of the entry that ends a task's script.
inline constexpr const char* kEndOfScriptAction = "**End**";

struct ScriptQueueEntry {
    Scripting Record;           // S:Record, the item as stored (or as rewritten when queued)
    int32_t Date = 0;           // S:Date, S:Time: the due moment
    int32_t Time = 0;
    uint32_t WindowHandle = 0;  // result of the last shell start before the entry was queued
    uint32_t TaskHandle = 0;    // kept with the item by its writer
};

class ScriptRunQueue {
public:
    std::size_t Count() const;
    bool Empty() const { return Count() == 0; }
    // Entry n, 1-based as the runtime counts (nullopt when out of range).
    std::optional<ScriptQueueEntry> Get(std::size_t n) const;
    std::optional<ScriptQueueEntry> First() const { return Get(1); }
    std::optional<ScriptQueueEntry> Last() const;
    // Writes entry n back (false when out of range).
    bool Put(std::size_t n, const ScriptQueueEntry& entry);
    // Deletes entry n (false when out of range).
    bool Delete(std::size_t n);
    void Append(const ScriptQueueEntry& entry);
    void Append(const std::vector<ScriptQueueEntry>& entries);
    // Puts these entries in place of the whole queue.
    void Replace(std::vector<ScriptQueueEntry> entries);
    // Frees the whole queue.
    void Free();
    std::vector<ScriptQueueEntry> Snapshot() const;
    // Runs fn with the queue held, for a reader or writer that must see and
    // change it in one step.
    void With(const std::function<void(std::deque<ScriptQueueEntry>&)>& fn);

private:
    mutable std::mutex m_;
    std::deque<ScriptQueueEntry> entries_;
};

// The program's queue.
ScriptRunQueue& ScriptQueue();

}  // namespace kr
