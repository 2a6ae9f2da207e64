// What the three exchange tables offer: the fields of schedule, to-do and
// contact records that are exported and imported, with their default
// pictures and each member's record order, new-key rule and texts; and the
// reading and writing of one such field of a record by its name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/FileManager.h"
#include "platform/data/TableDef.h"
#include "reports/Imex.h"

namespace kr::reports {

enum class ImexKind { Schedule, ToDo, Contacts };

struct ImexFieldEntry {
    std::string name;     // "SCH:TaskType"
    std::string picture;  // "@s20"
};

struct ImexMember {
    ImexKind kind;
    const char* exportProcedure;  // "ExportSchedule"
    const char* importProcedure;  // "ImportSchedule"
    const data::TableDef& (*def)();
    data::FileManager& (*file)();
    const char* orderKey;    // the export's record order
    const char* tableText;   // the table's name in "Record Retrieval Error"
    const char* numberKey;   // the key whose number a new record takes (nullptr: none)
    const char* addCaption;  // "Cannot ADD to Schedule!"
    std::vector<ImexFieldEntry> fields;
};

const ImexMember& Member(ImexKind kind);

// The picture "A&uto" gives a column it assigns to this target, or nullptr
// when the target keeps the column's picture: the schedule's dates and
// times, and the to-do's completion date and time.
const char* AutoPicture(ImexKind kind, std::string_view target);

// "Alpha-numeric"/"Alpha-num" for a text picture, "Numeric" for a number
// picture, else the picture itself.
std::string PictureClassText(std::string_view picture, bool shortText);

// One field of a record by name: a field of the table or one of its memos.
class ImexColumn {
public:
    ImexColumn() = default;
    ImexColumn(const data::TableDef& def, std::string_view name);
    bool valid() const { return field_ || memo_; }
    // Adds the record's value of the field to the line being built.
    void Write(Imex& imex, const void* record, std::string_view picture) const;
    // What a text lost to its field's width: its characters (trailing
    // blanks left out) and those kept.
    struct TextCut {
        bool cut = false;
        std::size_t chars = 0, kept = 0;
    };
    // Stores a field's text: texts cut to their width (never inside a UTF-8
    // character; `cut`, when given, says whether more than blanks went, or
    // whether a text the reading had cut from `cutFrom` characters was
    // stored), numbers converted (0 when the text is no number, clamped to
    // the field's range). False when the value did not fit: no number, or
    // one past the field's range.
    bool Store(void* record, std::string_view text, TextCut* cut = nullptr, std::size_t cutFrom = 0) const;
    std::string Name() const;
    int64_t Number(const void* record) const;

private:
    const data::FieldDef* field_ = nullptr;
    const data::MemoDef* memo_ = nullptr;
};

}  // namespace kr::reports
