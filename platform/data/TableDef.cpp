#include "platform/data/TableDef.h"

#include <stdexcept>

#include "platform/runtime/Strings.h"

namespace kr::data {

std::string FieldDef::shortName() const {
    auto colon = name.find(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
}

int TableDef::recordBytes() const {
    int total = 0;
    for (const FieldDef& f : fields)
        if (f.group == 0) total += f.size;
    return total;
}

static bool NameMatches(std::string_view full, std::string_view wanted) {
    if (EqualNoCase(full, wanted)) return true;
    auto colon = full.find(':');
    return colon != std::string_view::npos && EqualNoCase(full.substr(colon + 1), wanted);
}

const FieldDef* TableDef::field(std::string_view name) const {
    for (const FieldDef& f : fields)
        if (EqualNoCase(f.name, name)) return &f;
    for (const FieldDef& f : fields)
        if (NameMatches(f.name, name)) return &f;
    return nullptr;
}

const FieldDef* TableDef::fieldByNumber(int number) const {
    if (number < 1 || number > static_cast<int>(fields.size())) return nullptr;
    return &fields[static_cast<std::size_t>(number - 1)];
}

int TableDef::fieldIndex(std::string_view name) const {
    const FieldDef* f = field(name);
    return f ? f->number - 1 : -1;
}

const KeyDef* TableDef::key(std::string_view name) const {
    for (const KeyDef& k : keys)
        if (NameMatches(k.name, name)) return &k;
    return nullptr;
}

const MemoDef* TableDef::memo(std::string_view name) const {
    for (const MemoDef& m : memos)
        if (NameMatches(m.name, name)) return &m;
    return nullptr;
}

void AddKey(TableDef& def, std::string name, std::string description,
            const std::vector<std::string>& components, unsigned flags) {
    KeyDef k;
    k.name = std::move(name);
    k.description = std::move(description);
    k.flags = flags;
    for (const std::string& c : components) {
        KeyComponent kc;
        std::string_view n = c;
        if (!n.empty() && n.front() == '-') {
            kc.descending = true;
            n.remove_prefix(1);
        }
        const FieldDef* f = def.field(n);
        if (!f || f->isGroup())
            throw std::logic_error("table " + def.label + ": key " + k.name + " names unknown field " +
                                   std::string(n));
        kc.field = f->number;
        k.components.push_back(kc);
    }
    def.keys.push_back(std::move(k));
}

void FinishTableDef(TableDef& def) {
    // A group's width is the sum of the fields inside it (nested groups included once).
    for (auto it = def.fields.rbegin(); it != def.fields.rend(); ++it) {
        if (!it->isGroup()) continue;
        int sum = 0;
        for (const FieldDef& f : def.fields)
            if (f.group == it->number) sum += f.size;
        it->size = sum;
    }
}

}  // namespace kr::data
