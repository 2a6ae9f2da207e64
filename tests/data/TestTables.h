// Tables of the engine's tests: one with a key of every kind, a chain of
// three related tables, and one table for each line driver. Shared by the
// test program and its helper process.
#pragma once

#include <cstdint>
#include <string>

#include "platform/data/TableDef.h"

namespace kr::test {

using namespace kr::data;

struct Person {
    int32_t ID = 0;
    FString<20> Name;
    FString<20> City;
    int32_t Born = 0;
    uint8_t Flag = 0;
    FString<10> Code;
    CString<8> Tag;
    std::string Notes;
};

inline const TableDef& PersonDef() {
    static const TableDef def = TableBuilder<Person>("Person", "PER")
                                    .storedAs("People\\!Person")
                                    .owner("s3cret!pw")
                                    .version(1)
                                    .errorName("People [Person]")
                                    .field("PER:ID", &Person::ID)
                                    .field("PER:Name", &Person::Name)
                                    .field("PER:City", &Person::City)
                                    .field("PER:Born", &Person::Born)
                                    .field("PER:Flag", &Person::Flag)
                                    .field("PER:Code", &Person::Code)
                                    .field("PER:Tag", &Person::Tag)
                                    .key("PER:KeyID", "By ID", {"PER:ID"}, kPrimary | kAutoNumber)
                                    .key("PER:KeyName", "Name", {"PER:Name"})
                                    .key("PER:KeyCode", "Code", {"PER:Code"}, kUnique | kCaseSensitive)
                                    .key("PER:KeyBorn", "Newest first", {"-PER:Born", "PER:Name"})
                                    .key("PER:KeyCity", "City", {"PER:City", "PER:Name"}, kUnique)
                                    .key("PER:KeyTag", "Tag", {"PER:Tag"}, kUnique | kExcludeNulls)
                                    .memo("PER:Notes", &Person::Notes, 100)
                                    .build();
    return def;
}

// Items numbered within their owner.
struct Item {
    int32_t Owner = 0;
    int32_t Seq = 0;
    FString<30> Text;
};

inline const TableDef& ItemDef() {
    static const TableDef def = TableBuilder<Item>("Item", "ITM")
                                    .storedAs("People\\!Item")
                                    .owner("s3cret!pw")
                                    .version(1)
                                    .field("ITM:Owner", &Item::Owner)
                                    .field("ITM:Seq", &Item::Seq)
                                    .field("ITM:Text", &Item::Text)
                                    .key("ITM:KeySeq", "Sequence", {"ITM:Owner", "ITM:Seq"},
                                         kPrimary | kAutoWithinFirst)
                                    .build();
    return def;
}

// Category -> Task -> Step.
struct Category {
    FString<20> Name;
};
struct Task {
    int32_t ID = 0;
    FString<20> Category;
    FString<30> Title;
};
struct Step {
    int32_t TaskID = 0;
    int32_t Seq = 0;
    FString<30> Action;
};

inline const TableDef& CategoryDef() {
    static const TableDef def = TableBuilder<Category>("Category", "CAT")
                                    .storedAs("Work\\!Cat")
                                    .errorName("Categories [Category]")
                                    .field("CAT:Name", &Category::Name)
                                    .key("CAT:KeyName", "Name", {"CAT:Name"}, kPrimary)
                                    .build();
    return def;
}
inline const TableDef& TaskDef() {
    static const TableDef def = TableBuilder<Task>("Task", "TSK")
                                    .storedAs("Work\\!Task")
                                    .errorName("Tasks [Task]")
                                    .field("TSK:ID", &Task::ID)
                                    .field("TSK:Category", &Task::Category)
                                    .field("TSK:Title", &Task::Title)
                                    .key("TSK:KeyID", "ID", {"TSK:ID"}, kPrimary | kAutoNumber)
                                    .key("TSK:KeyCategory", "Category", {"TSK:Category", "TSK:Title"})
                                    .build();
    return def;
}
inline const TableDef& StepDef() {
    static const TableDef def = TableBuilder<Step>("Step", "STP")
                                    .storedAs("Work\\!Step")
                                    .errorName("Steps [Step]")
                                    .field("STP:TaskID", &Step::TaskID)
                                    .field("STP:Seq", &Step::Seq)
                                    .field("STP:Action", &Step::Action)
                                    .key("STP:KeySeq", "Sequence", {"STP:TaskID", "STP:Seq"},
                                         kPrimary | kAutoWithinFirst)
                                    .build();
    return def;
}

// A line of a log file: four fixed-width texts.
struct LogLine {
    FString<12> Date;
    FString<10> Time;
    FString<32> Label;
    FString<128> Data;
};
inline const TableDef& LogDef() {
    static const TableDef def = TableBuilder<LogLine>("KR_Log", "KRL")
                                    .storedAs("Events.LOG")
                                    .driver(Driver::Ascii)
                                    .field("KRL:LogDate", &LogLine::Date)
                                    .field("KRL:LogTime", &LogLine::Time)
                                    .field("KRL:LogLabel", &LogLine::Label)
                                    .field("KRL:LogData", &LogLine::Data)
                                    .build();
    return def;
}

struct Row3 {
    FString<20> Type;
    int32_t Count = 0;
    FString<40> Text;
};
inline const TableDef& CsvDef() {
    static const TableDef def = TableBuilder<Row3>("Export", "EXP")
                                    .storedAs("export.csv")
                                    .driver(Driver::Basic)
                                    .field("EXP:Type", &Row3::Type)
                                    .field("EXP:Count", &Row3::Count)
                                    .field("EXP:Text", &Row3::Text)
                                    .build();
    return def;
}
inline const TableDef& RawDef() {
    static const TableDef def = TableBuilder<Row3>("Raw", "RAW")
                                    .storedAs("raw.dat")
                                    .driver(Driver::Dos)
                                    .field("RAW:Type", &Row3::Type)
                                    .field("RAW:Count", &Row3::Count)
                                    .field("RAW:Text", &Row3::Text)
                                    .build();
    return def;
}

}  // namespace kr::test
