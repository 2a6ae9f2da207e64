#include "scheduler/ScriptQueue.h"

namespace kr {

std::size_t ScriptRunQueue::Count() const {
    std::lock_guard<std::mutex> l(m_);
    return entries_.size();
}

std::optional<ScriptQueueEntry> ScriptRunQueue::Get(std::size_t n) const {
    std::lock_guard<std::mutex> l(m_);
    if (n < 1 || n > entries_.size()) return std::nullopt;
    return entries_[n - 1];
}

std::optional<ScriptQueueEntry> ScriptRunQueue::Last() const {
    std::lock_guard<std::mutex> l(m_);
    if (entries_.empty()) return std::nullopt;
    return entries_.back();
}

bool ScriptRunQueue::Put(std::size_t n, const ScriptQueueEntry& entry) {
    std::lock_guard<std::mutex> l(m_);
    if (n < 1 || n > entries_.size()) return false;
    entries_[n - 1] = entry;
    return true;
}

bool ScriptRunQueue::Delete(std::size_t n) {
    std::lock_guard<std::mutex> l(m_);
    if (n < 1 || n > entries_.size()) return false;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(n - 1));
    return true;
}

void ScriptRunQueue::Append(const ScriptQueueEntry& entry) {
    std::lock_guard<std::mutex> l(m_);
    entries_.push_back(entry);
}

void ScriptRunQueue::Append(const std::vector<ScriptQueueEntry>& entries) {
    std::lock_guard<std::mutex> l(m_);
    entries_.insert(entries_.end(), entries.begin(), entries.end());
}

void ScriptRunQueue::Replace(std::vector<ScriptQueueEntry> entries) {
    std::lock_guard<std::mutex> l(m_);
    entries_.assign(std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
}

void ScriptRunQueue::Free() {
    std::lock_guard<std::mutex> l(m_);
    entries_.clear();
}

std::vector<ScriptQueueEntry> ScriptRunQueue::Snapshot() const {
    std::lock_guard<std::mutex> l(m_);
    return {entries_.begin(), entries_.end()};
}

void ScriptRunQueue::With(const std::function<void(std::deque<ScriptQueueEntry>&)>& fn) {
    std::lock_guard<std::mutex> l(m_);
    fn(entries_);
}

ScriptRunQueue& ScriptQueue() {
    static ScriptRunQueue queue;
    return queue;
}

}  // namespace kr
