// Table definitions: what the record layout of a table is, written once as
// data. Generic code (CSV, lists, the repair program, the upgrade) walks a
// TableDef by field name; typed code uses the record struct the TableDef was
// built from.
//
// A record struct holds one member per field (groups have no member):
//   uint8_t  BYTE        int16_t SHORT        int32_t LONG        double REAL
//   FString<N> STRING(N)  CString<N> CSTRING(N)   std::string  a memo
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/runtime/FixedString.h"
#include "platform/runtime/Value.h"

namespace kr::data {

enum class FieldType { Byte, Short, Long, Real, String, CString, Group };

struct FieldDef {
    std::string name;  // with prefix, as stored: "SCH:User"
    FieldType type = FieldType::Long;
    int size = 0;      // bytes in the record; a group's is the sum of its fields
    int number = 0;    // 1-based position counting groups (keys name fields by it)
    int group = 0;     // number of the enclosing group, 0 when none
    // Reads and writes the field of a record of the table's struct. Absent for groups.
    std::function<Value(const void*)> get;
    std::function<void(void*, const Value&)> set;
    // In-place access for the table engine, which reads and writes records
    // without going through Value: the member's byte offset in the record
    // (-1: unknown, use get and set) and, for texts, the member's value and
    // its assignment (cut to the width as `set` cuts it). Numbers are the
    // type of `type`: uint8_t, int16_t, int32_t or double.
    std::ptrdiff_t offset = -1;
    std::string_view (*textOf)(const void* member) = nullptr;
    void (*assignText)(void* member, std::string_view text) = nullptr;

    // A mark that the program's jobs set on a record (a warning shown): a
    // change in it alone does not make a record "changed by another writer"
    // for a writer that read the record earlier (Table::Watch).
    bool mark = false;

    bool isGroup() const { return type == FieldType::Group; }
    bool isText() const { return type == FieldType::String || type == FieldType::CString; }
    // The name without the prefix and colon ("User").
    std::string shortName() const;
};

struct KeyComponent {
    int field = 0;  // FieldDef::number
    bool descending = false;
};

enum KeyFlags : unsigned {
    kDuplicates = 0,           // duplicates allowed, kept in the order added
    kUnique = 1u << 0,
    kPrimary = 1u << 1,        // implies unique
    kAutoNumber = 1u << 2,     // the (single) numeric component is max+1 on insert
    kAutoWithinFirst = 1u << 3,// last component is max+1 among records sharing the first
    kCaseSensitive = 1u << 4,  // text components compare with regard to case
    kExcludeNulls = 1u << 5,   // records whose key components are all empty/0 are not in the key
};

struct KeyDef {
    std::string name;         // "SCH:KeyDate"
    std::string description;  // "Date"
    std::vector<KeyComponent> components;
    unsigned flags = kDuplicates;

    bool unique() const { return (flags & (kUnique | kPrimary)) != 0; }
    bool primary() const { return (flags & kPrimary) != 0; }
    bool autoNumber() const { return (flags & (kAutoNumber | kAutoWithinFirst)) != 0; }
    bool caseSensitive() const { return (flags & kCaseSensitive) != 0; }
};

struct MemoDef {
    std::string name;  // "SCH:Message"
    int size = 0;      // characters at most
    std::function<std::string(const void*)> get;
    std::function<void(void*, const std::string&)> set;
    std::ptrdiff_t offset = -1;  // of the std::string member (-1: use get and set)
};

enum class Driver {
    MultiTable,  // encrypted multi-table file (SQLCipher)
    Ascii,       // one fixed-width line per record, CR LF
    Basic,       // comma-delimited
    Dos,         // raw bytes
};

struct TableDef {
    std::string label;      // "Schedule"
    std::string prefix;     // "SCH"
    std::string errorName;  // "Schedule [Schedule]"
    // The stored-as name: fixed, or the initial value of the file-name
    // variable when nameVariableSize > 0 (procedures may change it).
    std::string storedAs;
    int nameVariableSize = 0;
    std::string ownerPassword;  // empty: not encrypted
    int version = 0;            // 0: not registered with the upgrade library
    Driver driver = Driver::MultiTable;
    std::vector<FieldDef> fields;  // in order, groups included
    std::vector<KeyDef> keys;
    std::vector<MemoDef> memos;

    // Record memory of the table's struct.
    std::function<void*()> create;
    std::function<void(void*)> destroy;
    std::function<void(void*, const void*)> copy;

    // Sum of the widths of the fields that are not inside a group and not groups
    // themselves plus the groups' widths: the record's bytes.
    int recordBytes() const;
    // Number of entries (fields and groups).
    int fieldCount() const { return static_cast<int>(fields.size()); }
    // Looks up a field, key or memo without regard to case, by its full name
    // ("SCH:Date") or its name without the prefix ("Date").
    const FieldDef* field(std::string_view name) const;
    const FieldDef* fieldByNumber(int number) const;
    const KeyDef* key(std::string_view name) const;
    const MemoDef* memo(std::string_view name) const;
    int fieldIndex(std::string_view name) const;  // -1 when absent
};

// A record of any table, owning its memory.
class AnyRecord {
public:
    explicit AnyRecord(const TableDef& def) : def_(&def), p_(def.create(), def.destroy) {}
    AnyRecord(const AnyRecord& o) : def_(o.def_), p_(o.def_->create(), o.def_->destroy) {
        def_->copy(p_.get(), o.p_.get());
    }
    AnyRecord& operator=(const AnyRecord& o) {
        if (this != &o) def_->copy(p_.get(), o.p_.get());
        return *this;
    }
    void* get() { return p_.get(); }
    const void* get() const { return p_.get(); }
    const TableDef& def() const { return *def_; }
    template <class R> R& as() { return *static_cast<R*>(p_.get()); }
    template <class R> const R& as() const { return *static_cast<const R*>(p_.get()); }

private:
    const TableDef* def_;
    std::shared_ptr<void> p_;
};

namespace detail {
template <class T> struct FieldTraits;
template <> struct FieldTraits<uint8_t> { static constexpr FieldType type = FieldType::Byte; static constexpr int size = 1; };
template <> struct FieldTraits<int16_t> { static constexpr FieldType type = FieldType::Short; static constexpr int size = 2; };
template <> struct FieldTraits<int32_t> { static constexpr FieldType type = FieldType::Long; static constexpr int size = 4; };
template <> struct FieldTraits<double> { static constexpr FieldType type = FieldType::Real; static constexpr int size = 8; };
template <std::size_t N> struct FieldTraits<FString<N>> { static constexpr FieldType type = FieldType::String; static constexpr int size = N; };
template <std::size_t N> struct FieldTraits<CString<N>> { static constexpr FieldType type = FieldType::CString; static constexpr int size = N; };

template <class T> Value ToValue(const T& v) {
    if constexpr (std::is_integral_v<T>) return Value(static_cast<int64_t>(v));
    else if constexpr (std::is_floating_point_v<T>) return Value(static_cast<double>(v));
    else return Value(v.str());
}
template <class T> void FromValue(T& m, const Value& v) {
    if constexpr (std::is_integral_v<T>) m = static_cast<T>(v.toInt());
    else if constexpr (std::is_floating_point_v<T>) m = static_cast<T>(v.toReal());
    else m = v.toText();
}
template <class T> std::string_view TextOf(const void* m) { return static_cast<const T*>(m)->str(); }
template <class T> void AssignText(void* m, std::string_view v) { static_cast<T*>(m)->assign(v); }

// The byte offset of a member in its record, measured on one record made
// for the purpose.
template <class R, class M> std::ptrdiff_t OffsetOf(M R::*member) {
    static const R probe{};
    return reinterpret_cast<const char*>(&(probe.*member)) - reinterpret_cast<const char*>(&probe);
}
}  // namespace detail

// Builds a TableDef from a record struct R:
//   TableBuilder<Holidays>("Holidays", "HOL")
//       .storedAs("KR97\\!Hol").owner(kOwnerPassword).version(4)
//       .errorName("Holidays [Holidays]")
//       .field("HOL:Date", &Holidays::Date)
//       .group("HOL:Group").field(...).field(...).endGroup()
//       .key("HOL:KeyDate", "Date", {"HOL:Date"}, kPrimary)
//       .memo("HOL:Notes", &Holidays::Notes, 1000)
//       .build();
// Key components are field names; a leading '-' marks a descending component.
template <class R>
class TableBuilder {
public:
    TableBuilder(std::string label, std::string prefix) {
        def_.label = std::move(label);
        def_.prefix = std::move(prefix);
        def_.create = [] { return static_cast<void*>(new R()); };
        def_.destroy = [](void* p) { delete static_cast<R*>(p); };
        def_.copy = [](void* d, const void* s) { *static_cast<R*>(d) = *static_cast<const R*>(s); };
    }
    TableBuilder& storedAs(std::string name, int nameVariableSize = 0) {
        def_.storedAs = std::move(name);
        def_.nameVariableSize = nameVariableSize;
        return *this;
    }
    TableBuilder& owner(std::string password) { def_.ownerPassword = std::move(password); return *this; }
    TableBuilder& version(int v) { def_.version = v; return *this; }
    TableBuilder& errorName(std::string n) { def_.errorName = std::move(n); return *this; }
    TableBuilder& driver(Driver d) { def_.driver = d; return *this; }

    template <class M>
    TableBuilder& field(std::string name, M R::*member) {
        FieldDef f;
        f.name = std::move(name);
        f.type = detail::FieldTraits<M>::type;
        f.size = detail::FieldTraits<M>::size;
        f.number = static_cast<int>(def_.fields.size()) + 1;
        f.group = openGroup_;
        f.get = [member](const void* r) { return detail::ToValue(static_cast<const R*>(r)->*member); };
        f.set = [member](void* r, const Value& v) { detail::FromValue(static_cast<R*>(r)->*member, v); };
        f.offset = detail::OffsetOf(member);
        if constexpr (!std::is_arithmetic_v<M>) {
            f.textOf = &detail::TextOf<M>;
            f.assignText = &detail::AssignText<M>;
        }
        def_.fields.push_back(std::move(f));
        return *this;
    }
    // Starts a group: the fields that follow, up to endGroup(), belong to it.
    TableBuilder& group(std::string name) {
        FieldDef f;
        f.name = std::move(name);
        f.type = FieldType::Group;
        f.number = static_cast<int>(def_.fields.size()) + 1;
        f.group = openGroup_;
        def_.fields.push_back(std::move(f));
        groupStack_.push_back(openGroup_);
        openGroup_ = def_.fields.back().number;
        return *this;
    }
    TableBuilder& endGroup() {
        openGroup_ = groupStack_.empty() ? 0 : groupStack_.back();
        if (!groupStack_.empty()) groupStack_.pop_back();
        return *this;
    }
    TableBuilder& key(std::string name, std::string description, std::vector<std::string> components,
                      unsigned flags = kDuplicates);
    TableBuilder& memo(std::string name, std::string R::*member, int size) {
        MemoDef m;
        m.name = std::move(name);
        m.size = size;
        m.get = [member](const void* r) { return static_cast<const R*>(r)->*member; };
        m.set = [member, size](void* r, const std::string& v) {
            static_cast<R*>(r)->*member = v.size() > static_cast<std::size_t>(size) ? v.substr(0, size) : v;
        };
        m.offset = detail::OffsetOf(member);
        def_.memos.push_back(std::move(m));
        return *this;
    }
    TableDef build();

private:
    TableDef def_;
    int openGroup_ = 0;
    std::vector<int> groupStack_;
};

// Non-template parts of building, shared by every TableBuilder.
void AddKey(TableDef& def, std::string name, std::string description,
            const std::vector<std::string>& components, unsigned flags);
void FinishTableDef(TableDef& def);

template <class R>
TableBuilder<R>& TableBuilder<R>::key(std::string name, std::string description,
                                      std::vector<std::string> components, unsigned flags) {
    AddKey(def_, std::move(name), std::move(description), components, flags);
    return *this;
}

template <class R>
TableDef TableBuilder<R>::build() {
    FinishTableDef(def_);
    return def_;
}

}  // namespace kr::data
