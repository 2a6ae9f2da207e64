#include "reports/ImexFields.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "dictionary/Dictionary.h"
#include "platform/runtime/Strings.h"

namespace kr::reports {

namespace {

// Characters of a UTF-8 text: every byte that does not continue one.
std::size_t Utf8Chars(std::string_view text) {
    std::size_t n = 0;
    for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

std::vector<ImexFieldEntry> ScheduleFields() {
    std::vector<ImexFieldEntry> f = {
        {"SCH:TaskType", "@s20"},     {"SCH:Category", "@s20"}, {"SCH:Description", "@s40"},
        {"SCH:Command", "@s255"},     {"SCH:Path", "@s255"},    {"SCH:ScheduleType", "@s15"},
    };
    for (const char* day : {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"})
        f.push_back({std::string("SCH:") + day, "@n3"});
    f.push_back({"SCH:MonthRepeat", "@s18"});
    f.push_back({"SCH:Offset", "@n-2b"});
    f.push_back({"SCH:Every", "@n6"});
    for (const char* n : {"Every1st", "Every2nd", "Every3rd", "Every4th", "EveryLast", "LastDayofMonth"})
        f.push_back({std::string("SCH:") + n, "@n3"});
    const std::vector<ImexFieldEntry> rest = {
        {"SCH:EveryType", "@s20"},
        {"SCH:Date", "@d17b"},
        {"SCH:Time", "@t7b"},
        {"SCH:LastRunDate", "@d17b"},
        {"SCH:LastRunTime", "@t7b"},
        {"SCH:SkipNextTime", "@n3"},
        {"SCH:Alarm", "@n3"},
        {"SCH:AlarmFile", "@s254"},
        {"SCH:AdvanceWarnDate", "@d17b"},
        {"SCH:AdvanceWarnTime", "@t7b"},
    };
    f.insert(f.end(), rest.begin(), rest.end());
    for (const char* n : {"AdvanceWarned", "Warn", "SkipIfMissed", "SkipIfScriptActive", "NoHistory", "UserSkip",
                          "Disabled", "Skipped"})
        f.push_back({std::string("SCH:") + n, "@n3"});
    f.push_back({"SCH:ExpiryDate", "@d17"});
    f.push_back({"SCH:ExpiryTime", "@t7"});
    f.push_back({"SCH:ShiftType", "@s20"});
    for (const char* n : {"ExceptWeekends", "ExceptWeekdays", "ExceptHolidays", "ExceptTime"})
        f.push_back({std::string("SCH:") + n, "@n3"});
    f.push_back({"SCH:ExceptTimeBegin", "@t3"});
    f.push_back({"SCH:ExceptTimeEnd", "@t3"});
    return f;
}

std::vector<ImexFieldEntry> ToDoFields() {
    return {
        {"TDO:Done", "@n1"},           {"TDO:Priority", "@n2"},       {"TDO:Category", "@s20"},
        {"TDO:ToDo", "@s80"},          {"TDO:CompletionDate", "@d3"}, {"TDO:CompletionTime", "@t3"},
        {"TDO:Notes", "@s255"},        {"TDO:Resolution", "@s255"},
    };
}

std::vector<ImexFieldEntry> ContactFields() {
    return {
        {"C_:Notes", "@s255"},        {"C_:LastName", "@s30"},         {"C_:FirstName", "@s20"},
        {"C_:AddressLine1", "@s30"},  {"C_:AddressLine2", "@s30"},     {"C_:AddressLine3", "@s30"},
        {"C_:PostalCode", "@s10"},    {"C_:WorkDayPhone", "@s20"},     {"C_:HomeEveningPhone", "@s20"},
        {"C_:Fax", "@s20"},           {"C_:OtherPhone", "@s20"},       {"C_:Email", "@s40"},
        {"C_:WebSite", "@s60"},       {"C_:ContactCategory", "@s20"},
    };
}

// Whole numbers are by far the most common number text: read them without
// the general conversion.
int64_t TextToNumber(std::string_view text) {
    const std::size_t a = text.find_first_not_of(' ');
    if (a != std::string_view::npos) {
        const std::size_t b = text.find_last_not_of(' ');
        std::string_view t = text.substr(a, b - a + 1);
        int64_t v = 0;
        const char* first = t.data() + (t.size() > 1 && t[0] == '+' ? 1 : 0);
        const auto r = std::from_chars(first, t.data() + t.size(), v);
        if (r.ec == std::errc() && r.ptr == t.data() + t.size()) return v;
    }
    return Value(std::string(text)).toInt();
}

template <class T>
T Load(const void* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class T>
void Save(void* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

}  // namespace

const ImexMember& Member(ImexKind kind) {
    static const ImexMember schedule{
        ImexKind::Schedule, "ExportSchedule", "ImportSchedule", &ScheduleDef,
        []() -> data::FileManager& { return Schedule_File(); },
        "SCH:KeyCategoryDate", "Schedule", "SCH:KeyID", "Cannot ADD to Schedule!", ScheduleFields()};
    static const ImexMember todo{
        ImexKind::ToDo, "ExportToDo", "ImportToDo", &TodoDef,
        []() -> data::FileManager& { return Todo_File(); },
        "TDO:KeyCategory", "Todo", nullptr, "Cannot ADD to Todo!", ToDoFields()};
    static const ImexMember contacts{
        ImexKind::Contacts, "ExportContacts", "ImportContacts", &ContactDef,
        []() -> data::FileManager& { return Contact_File(); },
        "C_:KeyClientID", "Contact", "C_:KeyClientID", "Cannot ADD to Contact!", ContactFields()};
    switch (kind) {
        case ImexKind::Schedule: return schedule;
        case ImexKind::ToDo: return todo;
        case ImexKind::Contacts: return contacts;
    }
    return schedule;
}

const char* AutoPicture(ImexKind kind, std::string_view target) {
    if (kind == ImexKind::ToDo) {
        // The pictures the to-do export writes its completion with: left as
        // text, an exported list came back without completion dates and times.
        if (EqualNoCase(target, "TDO:CompletionDate")) return "@d3";
        if (EqualNoCase(target, "TDO:CompletionTime")) return "@t3";
    }
    if (kind != ImexKind::Schedule) return nullptr;
    // The expiry date and time get their pictures too: an exported
    // schedule otherwise came back with wrong expiry days.
    for (const char* d : {"SCH:Date", "SCH:LastRunDate", "SCH:AdvanceWarnDate", "SCH:ExpiryDate"})
        if (EqualNoCase(target, d)) return "@d17";
    for (const char* t : {"SCH:Time", "SCH:LastRunTime", "SCH:AdvanceWarnTime", "SCH:ExceptTimeBegin",
                          "SCH:ExceptTimeEnd", "SCH:ExpiryTime"})
        if (EqualNoCase(target, t)) return "@t7";
    return nullptr;
}

std::string PictureClassText(std::string_view picture, bool shortText) {
    switch (ClassOfPicture(picture)) {
        case PictureClass::Text: return shortText ? "Alpha-num" : "Alpha-numeric";
        case PictureClass::Number: return "Numeric";
        case PictureClass::Formatted: break;
    }
    return ClipRight(picture);
}

// ---------------------------------------------------------------- columns

ImexColumn::ImexColumn(const data::TableDef& def, std::string_view name) {
    field_ = def.field(name);
    if (field_ && field_->isGroup()) field_ = nullptr;
    if (!field_) memo_ = def.memo(name);
}

int64_t ImexColumn::Number(const void* record) const {
    if (!field_ || field_->isText()) return 0;
    if (field_->offset < 0) return field_->get(record).toInt();
    const char* p = static_cast<const char*>(record) + field_->offset;
    switch (field_->type) {
        case data::FieldType::Byte: return Load<uint8_t>(p);
        case data::FieldType::Short: return Load<int16_t>(p);
        case data::FieldType::Long: return Load<int32_t>(p);
        case data::FieldType::Real: return static_cast<int64_t>(Load<double>(p));
        default: return 0;
    }
}

void ImexColumn::Write(Imex& imex, const void* record, std::string_view picture) const {
    if (memo_) {
        if (memo_->offset >= 0)
            imex.AddText(*reinterpret_cast<const std::string*>(static_cast<const char*>(record) + memo_->offset),
                         false, picture);
        else
            imex.AddText(memo_->get(record), false, picture);
        return;
    }
    if (!field_) {
        imex.AddText("", false, picture);
        return;
    }
    if (field_->isText()) {
        if (field_->textOf && field_->offset >= 0)
            imex.AddText(field_->textOf(static_cast<const char*>(record) + field_->offset), false, picture);
        else
            imex.AddText(field_->get(record).toText(), false, picture);
        return;
    }
    if (field_->type == data::FieldType::Real) {
        imex.AddField(field_->get(record), false, picture);
        return;
    }
    imex.AddNumber(Number(record), picture);
}

std::string ImexColumn::Name() const {
    if (field_) return field_->name;
    if (memo_) return memo_->name;
    return {};
}

bool ImexColumn::Store(void* record, std::string_view text, TextCut* cut, std::size_t cutFrom) const {
    // A text that loses more than trailing blanks to its width, or that the
    // reading cut already, is told.
    auto noteCut = [&](std::string_view kept) {
        if (!cut) return;
        if (cutFrom == 0 &&
            (kept.size() == text.size() || text.find_first_not_of(' ', kept.size()) == std::string_view::npos))
            return;
        cut->cut = true;
        cut->chars = cutFrom ? cutFrom : Utf8Chars(text.substr(0, text.find_last_not_of(' ') + 1));
        cut->kept = Utf8Chars(kept);
    };
    if (memo_) {
        const std::string kept(CutBytes(text, static_cast<std::size_t>(memo_->size)));
        noteCut(kept);
        if (memo_->offset >= 0)
            *reinterpret_cast<std::string*>(static_cast<char*>(record) + memo_->offset) = kept;
        else
            memo_->set(record, kept);
        return true;
    }
    if (!field_) return true;
    if (field_->isText()) {
        const std::size_t width =
            static_cast<std::size_t>(field_->type == data::FieldType::CString ? field_->size - 1 : field_->size);
        const std::string_view kept = CutBytes(text, width);
        noteCut(kept);
        if (field_->assignText && field_->offset >= 0)
            field_->assignText(static_cast<char*>(record) + field_->offset, kept);
        else
            field_->set(record, Value(std::string(kept)));
        return true;
    }
    // What the text says as a number, when it is one: the conversion below
    // reads "12abc" and "0x10" as 0 and wraps what is past 64 bits.
    const std::size_t a = text.find_first_not_of(' ');
    const bool blank = a == std::string_view::npos;
    double said = 0;
    bool number = blank;
    if (!blank) {
        const std::string_view t = text.substr(a, text.find_last_not_of(' ') - a + 1);
        const char* first = t.data() + (t.size() > 1 && t[0] == '+' ? 1 : 0);
        const auto r = std::from_chars(first, t.data() + t.size(), said);
        number = r.ec == std::errc() && r.ptr == t.data() + t.size() && std::isfinite(said);
        if (r.ec == std::errc::result_out_of_range && r.ptr == t.data() + t.size()) {
            said = (t[0] == '-' ? -1 : 1) * HUGE_VAL;  // "1e999": past every range
            number = true;
        }
    }
    if (field_->type == data::FieldType::Real) {
        field_->set(record, Value(Value(std::string(text)).toReal()));
        return number && std::isfinite(said);
    }
    int64_t v = TextToNumber(text);
    bool fits = number;
    // Clamped to the field's range, never wrapped.
    double low = static_cast<double>(INT64_MIN), high = static_cast<double>(INT64_MAX);
    switch (field_->type) {
        case data::FieldType::Byte: low = 0, high = UINT8_MAX; break;
        case data::FieldType::Short: low = INT16_MIN, high = INT16_MAX; break;
        case data::FieldType::Long: low = INT32_MIN, high = INT32_MAX; break;
        default: break;
    }
    if (number && (said < low || said > high)) {
        v = static_cast<int64_t>(said < low ? low : high);
        fits = false;
    }
    if (field_->offset < 0) {
        field_->set(record, Value(v));
        return fits;
    }
    char* p = static_cast<char*>(record) + field_->offset;
    switch (field_->type) {
        case data::FieldType::Byte: Save<uint8_t>(p, static_cast<uint8_t>(v)); break;
        case data::FieldType::Short: Save<int16_t>(p, static_cast<int16_t>(v)); break;
        case data::FieldType::Long: Save<int32_t>(p, static_cast<int32_t>(v)); break;
        default: break;
    }
    return fits;
}

}  // namespace kr::reports
