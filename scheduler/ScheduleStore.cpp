#include "scheduler/ScheduleStore.h"

#include <utility>

#include "platform/runtime/ErrorCodes.h"

namespace kr {

HolidayTest HolidaySet::Test() const {
    if (dates_.empty()) return {};
    return [this](int32_t date) { return Contains(date); };
}

int32_t MemoryScheduleStore::LastID() { return records_.empty() ? 0 : records_.rbegin()->first; }

int MemoryScheduleStore::Add(const Schedule& record) {
    if (const int code = std::exchange(failAdd_, 0)) return code;
    if (records_.count(record.ID)) return kDuplicateKey;
    records_.emplace(record.ID, record);
    return kNoError;
}

int MemoryScheduleStore::Put(const Schedule& record) {
    if (failPut_ && failPutSkip_-- <= 0) {
        const int code = std::exchange(failPut_, 0);
        failPutSkip_ = 0;
        return code;
    }
    auto it = records_.find(record.ID);
    if (it == records_.end()) return kRecordNotFound;
    it->second = record;
    ++puts_;
    return kNoError;
}

int MemoryScheduleStore::Fetch(int32_t id, Schedule& record) {
    auto it = records_.find(id);
    if (it == records_.end()) return kRecordNotFound;
    record = it->second;
    return kNoError;
}

int MemoryScheduleStore::Delete(int32_t id) {
    if (!records_.erase(id)) return kRecordNotFound;
    scripts_.erase(id);
    return kNoError;
}

int MemoryScheduleStore::CopyScriptItems(int32_t from, int32_t to) {
    if (const int code = std::exchange(failCopy_, 0)) return code;
    auto it = scripts_.find(from);
    if (it == scripts_.end()) return kNoError;
    const std::vector<Scripting> items = it->second;
    for (Scripting item : items) {
        item.ID = to;
        AddScriptItem(item);
    }
    return kNoError;
}

std::vector<Schedule> MemoryScheduleStore::ReadAfter(int32_t afterID, int count) {
    std::vector<Schedule> out;
    for (auto it = records_.upper_bound(afterID); it != records_.end() && static_cast<int>(out.size()) < count; ++it)
        out.push_back(it->second);
    return out;
}

void MemoryScheduleStore::AddScriptItem(const Scripting& item) {
    auto& items = scripts_[item.ID];
    Scripting s = item;
    s.Sequence = items.empty() ? 1 : items.back().Sequence + 1;
    items.push_back(s);
}

std::vector<Scripting> MemoryScheduleStore::ScriptItems(int32_t id) const {
    auto it = scripts_.find(id);
    return it == scripts_.end() ? std::vector<Scripting>() : it->second;
}

}  // namespace kr
