// Export and import over a real data file: every exported field comes back
// as it was, lines start from a cleared record, and an export that stops
// leaves the old file alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "../../support/DataFolderFixture.h"
#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Table.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Strings.h"
#include "reports/ImexProcesses.h"

namespace kr::reports {
namespace {

int32_t Minutes(int m) { return (m % 1440) * 6000 + 1; }

Schedule MakeTask(int i) {
    Schedule s;
    s.TaskType = i % 2 ? "Run Program" : "Display Message";
    s.Category = "Cat " + std::to_string(i % 3);
    s.Description = "Task " + std::to_string(i) + ", \"quoted\"";
    s.Command = "/usr/bin/tool --name=\"a, b\" " + std::to_string(i);
    s.Path = "/home/user/dir " + std::to_string(i);
    s.ScheduleType = "Weekly";
    uint8_t* days[] = {&s.Sunday, &s.Monday, &s.Tuesday, &s.Wednesday, &s.Thursday, &s.Friday, &s.Saturday};
    for (int d = 0; d < 7; ++d) *days[d] = static_cast<uint8_t>((i >> d) & 1);
    s.MonthRepeat = i % 4 ? "First Monday" : "";
    s.Offset = -(i % 5);
    s.Every = i * 3;
    s.Every1st = i % 2;
    s.Every2nd = (i + 1) % 2;
    s.Every3rd = 1;
    s.Every4th = 0;
    s.EveryLast = i % 3 == 0;
    s.LastDayofMonth = i % 7 == 0;
    s.EveryType = "Days";
    // Blank and set dates and times; times with seconds and hundredths,
    // which the time pictures do not show.
    s.Date = i % 6 ? MakeDate(7, 1 + i % 28, 2024) : 0;
    s.Time = s.Date ? Minutes(i * 37) + (i % 3) * 1234 : 0;
    s.LastRunDate = i % 5 ? MakeDate(6, 1 + i % 28, 2024) : 0;
    s.LastRunTime = s.LastRunDate ? Minutes(i * 11) + 3001 : 0;
    s.SkipNextTime = i % 2;
    s.Alarm = 1;
    s.AlarmFile = "/sounds/alarm " + std::to_string(i) + ".wav";
    s.AdvanceWarnDate = i % 2 ? s.Date - 1 : 0;
    s.AdvanceWarnTime = s.AdvanceWarnDate ? Minutes(i * 5) + 99 : 0;
    s.AdvanceWarned = i % 3 == 1;
    s.Warn = 1;
    s.SkipIfMissed = i % 2;
    s.SkipIfScriptActive = 1;
    s.NoHistory = i % 4 == 0;
    s.UserSkip = 0;
    s.Disabled = i % 3 == 0;
    s.Skipped = i % 2;
    s.ExpiryDate = i % 3 ? MakeDate(12, 31, 2025) + i : 0;
    s.ExpiryTime = i % 4 ? Minutes(600 + i) + 4321 : 0;
    s.ShiftType = "Forward";
    s.ExceptWeekends = 1;
    s.ExceptWeekdays = 0;
    s.ExceptHolidays = i % 2;
    s.ExceptTime = 1;
    s.ExceptTimeBegin = i % 5 ? Minutes(60 + i) : 0;
    s.ExceptTimeEnd = i % 5 ? Minutes(1200 - i) + 5999 : 0;
    // Not exported: an import leaves them as in a cleared record.
    s.User = "alice";
    s.Completed = i % 2;
    s.ExceptOther = "Other";
    s.ExceptionLink = i;
    s.NetworkUser = "desk-7";
    s.LastChangeDate = MakeDate(5, 1, 2024);
    s.LastChangeTime = Minutes(700);
    s.OriginalID = 1000 + i;
    s.Message = "Line one\r\nline two";
    return s;
}

class ImexRoundTripTest : public test::DataFolderTest {
protected:
    ImexRoundTripTest() : DataFolderTest("imex-roundtrip", MakeDate(6, 1, 2024), Minutes(600)) {}

    template <class R>
    void AddRecords(const data::TableDef& def, const std::vector<R>& records) {
        data::Table& t = data::TableOf(def);
        int e = t.Open();
        if (e == 2) {
            ASSERT_EQ(t.Create(), 0);
            e = t.Open();
        }
        ASSERT_EQ(e, 0);
        for (const R& r : records) {
            t.Rec<R>() = r;
            ASSERT_EQ(t.Add(), 0);
        }
        t.Close();
    }
    template <class R>
    std::vector<R> ReadAll(const data::TableDef& def) {
        std::vector<R> out;
        data::Table& t = data::TableOf(def);
        if (t.Open() != 0) return out;
        t.Set(nullptr);
        while (t.Next() == 0) out.push_back(t.Rec<R>());
        t.Close();
        return out;
    }
    void DeleteAll(const data::TableDef& def) {
        data::Table& t = data::TableOf(def);
        ASSERT_EQ(t.Open(), 0);
        t.Set(nullptr);
        while (t.Next() == 0) ASSERT_EQ(t.Delete(), 0);
        t.Close();
    }
    std::string Export(ImexKind kind, bool header = true) {
        const std::string file = (dir_ / "export.csv").string();
        ExportRun run(Member(kind), Member(kind).fields, header, file);
        EXPECT_TRUE(run.Start());
        EXPECT_EQ(RunToEnd(run), ProcessState::Finished);
        EXPECT_EQ(run.StoppedText(), "");
        return file;
    }
    // Opens the file as the import window does, lets Auto map it and imports.
    int ImportAuto(ImexKind kind, const std::string& file, ImportMapping* used = nullptr) {
        auto reader = std::make_shared<Imex>();
        ImexError e;
        EXPECT_GT(OpenImportFile(*reader, file, e), 0) << e.Message();
        const ImportColumns cols = ScanImportColumns(*reader);
        ImportMapping m{cols.pictures, {}};
        AutoAssign(Member(kind), cols.values, m);
        if (used) *used = m;
        ImportRun run(Member(kind), reader, m, true);
        EXPECT_TRUE(run.Start());
        EXPECT_EQ(RunToEnd(run), ProcessState::Finished);
        return run.added();
    }
    // Every exported field as it was (a time at the minute its picture
    // shows, 0 staying 0); every other field as in a cleared record, but the
    // number the import gave.
    template <class R>
    void ExpectExportedFieldsEqual(ImexKind kind, const R& want, const R& got, const std::string& who) {
        const ImexMember& member = Member(kind);
        const data::TableDef& def = member.def();
        const R cleared{};
        auto exported = [&](const std::string& name) {
            for (const ImexFieldEntry& f : member.fields)
                if (EqualNoCase(f.name, name)) return &f;
            return static_cast<const ImexFieldEntry*>(nullptr);
        };
        for (const data::FieldDef& fd : def.fields) {
            if (fd.isGroup()) continue;
            const ImexFieldEntry* f = exported(fd.name);
            if (!f) {
                // The numbers the import gives are checked by the tests.
                if (EqualNoCase(fd.name, "SCH:ID") || EqualNoCase(fd.name, "C_:ClientID")) continue;
                EXPECT_EQ(fd.get(&got).toText(), fd.get(&cleared).toText()) << who << " not exported " << fd.name;
                continue;
            }
            Value expected = fd.get(&want);
            if (f->picture.size() > 1 && (f->picture[1] == 't' || f->picture[1] == 'T') && expected.toInt() > 0)
                expected = Value((expected.toInt() - 1) / 6000 * 6000 + 1);
            EXPECT_EQ(fd.get(&got).toText(), expected.toText()) << who << " " << fd.name;
        }
        for (const data::MemoDef& md : def.memos) {
            if (exported(md.name))
                EXPECT_EQ(md.get(&got), md.get(&want)) << who << " " << md.name;
            else
                EXPECT_EQ(md.get(&got), md.get(&cleared)) << who << " not exported " << md.name;
        }
    }
    static std::string Read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(ImexRoundTripTest, ScheduleComesBackWholeThroughAutoIncludingExpiry) {
    std::vector<Schedule> tasks;
    for (int i = 1; i <= 60; ++i) {
        tasks.push_back(MakeTask(i));
        tasks.back().ID = 1000 + i;
    }
    AddRecords(ScheduleDef(), tasks);
    const std::string file = Export(ImexKind::Schedule);
    const std::string text = Read(file);
    EXPECT_EQ(text.rfind("\"SCH:TaskType\",\"SCH:Category\",", 0), 0u);
    EXPECT_EQ(text.find(" \r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");

    DeleteAll(ScheduleDef());
    ImportMapping m;
    EXPECT_EQ(ImportAuto(ImexKind::Schedule, file, &m), 60);
    const auto& fields = Member(ImexKind::Schedule).fields;
    for (std::size_t t = 0; t < fields.size(); ++t) {
        ASSERT_EQ(m.targetColumn[t], static_cast<int>(t)) << fields[t].name;
        const std::map<std::string, std::string> pictures = {{"SCH:ExpiryDate", "@d17"},
                                                             {"SCH:ExpiryTime", "@t7"},
                                                             {"SCH:ExceptTimeEnd", "@t7"},
                                                             {"SCH:Description", "@S1000"},
                                                             {"SCH:Every", "@N30.9"}};
        if (auto it = pictures.find(fields[t].name); it != pictures.end()) {
            EXPECT_EQ(m.columnPictures[t], it->second) << it->first;
        }
    }

    std::map<std::string, Schedule> byDescription;
    std::vector<int32_t> ids;
    for (const Schedule& s : ReadAll<Schedule>(ScheduleDef())) {
        byDescription[s.Description.str()] = s;
        ids.push_back(s.ID);
    }
    ASSERT_EQ(byDescription.size(), tasks.size());
    std::sort(ids.begin(), ids.end());
    for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(ids[i], static_cast<int32_t>(i + 1));
    for (const Schedule& want : tasks)
        ExpectExportedFieldsEqual(ImexKind::Schedule, want, byDescription[want.Description.str()],
                                  want.Description.str());
}

TEST_F(ImexRoundTripTest, ToDoNotesWithLineBreaksComeBackAsOneRecord) {
    std::vector<Todo> items;
    for (int i = 1; i <= 12; ++i) {
        Todo t;
        t.Done = i % 2;
        t.Priority = static_cast<uint8_t>(1 + i % 10);
        t.Category = "Home";
        t.ToDo = "Item " + std::to_string(i);
        t.CompletionDate = i % 3 ? MakeDate(3, i, 2025) : 0;
        t.CompletionTime = t.Done ? Minutes(i * 50) + 1500 : 0;  // open items have no time
        t.NetworkUser = "desk-7";
        t.LastChangeDate = MakeDate(2, 1, 2025);
        t.LastChangeTime = Minutes(90);
        t.OriginalID = i;
        t.Notes = "First line, with \"quotes\"\r\nSecond line\nThird " + std::to_string(i);
        t.Resolution = i % 2 ? "Done\r\nwell" : "";
        items.push_back(t);
    }
    AddRecords(TodoDef(), items);
    const std::string file = Export(ImexKind::ToDo);
    DeleteAll(TodoDef());
    EXPECT_EQ(ImportAuto(ImexKind::ToDo, file), 12);
    std::map<std::string, Todo> byText;
    for (const Todo& t : ReadAll<Todo>(TodoDef())) byText[t.ToDo.str()] = t;
    ASSERT_EQ(byText.size(), items.size());
    for (const Todo& want : items) ExpectExportedFieldsEqual(ImexKind::ToDo, want, byText[want.ToDo.str()], want.ToDo.str());
}

TEST_F(ImexRoundTripTest, ContactsComeBackWithNewNumbersInFileOrder) {
    std::vector<Contact> contacts;
    for (int i = 1; i <= 9; ++i) {
        Contact c;
        c.User = "alice";
        c.ClientID = 50 + i;
        c.LastName = "Last" + std::to_string(i);
        c.FirstName = "First";
        c.AddressLine1 = "1 Main St, Apt " + std::to_string(i);
        c.AddressLine2 = i % 2 ? "c/o \"Smith\"" : "";
        c.PostalCode = "12345";
        c.WorkDayPhone = "555-0100";
        c.Email = "p" + std::to_string(i) + "@example.org";
        c.WebSite = "https://example.org/" + std::to_string(i);
        c.ContactCategory = "Friends";
        c.Notes = i % 3 ? "Met at \"the fair\"\r\nCall back\nsoon" : "";
        contacts.push_back(c);
    }
    AddRecords(ContactDef(), contacts);
    const std::string file = Export(ImexKind::Contacts);
    DeleteAll(ContactDef());
    EXPECT_EQ(ImportAuto(ImexKind::Contacts, file), 9);
    // The journal the import kept between its commits is gone with it.
    EXPECT_FALSE(std::filesystem::exists(dir_ / "KR97.TPS-journal"));
    const std::vector<Contact> got = ReadAll<Contact>(ContactDef());
    ASSERT_EQ(got.size(), contacts.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        // Exported by client number, so new numbers keep the old order.
        EXPECT_EQ(got[i].ClientID, static_cast<int32_t>(i + 1));
        ExpectExportedFieldsEqual(ImexKind::Contacts, contacts[i], got[i], contacts[i].LastName.str());
    }
}

TEST_F(ImexRoundTripTest, EachLineStartsFromAClearedRecordAndBlankLinesAddNothing) {
    const std::string file = (dir_ / "people.csv").string();
    std::ofstream(file, std::ios::binary) << "Doe,Jane,jane@example.org\r\n\r\nSmith,John,\r\n";
    auto reader = std::make_shared<Imex>();
    ImexError e;
    ASSERT_GT(OpenImportFile(*reader, file, e), 0);
    const ImportColumns cols = ScanImportColumns(*reader);
    ASSERT_EQ(cols.values, (std::vector<std::string>{"Doe", "Jane", "jane@example.org"}));
    ImportMapping m{cols.pictures, std::vector<int>(Member(ImexKind::Contacts).fields.size(), -1)};
    m.targetColumn[1] = 0;   // C_:LastName
    m.targetColumn[2] = 1;   // C_:FirstName
    m.targetColumn[11] = 2;  // C_:Email
    m.targetColumn[12] = 0;  // C_:WebSite takes the last name too
    ImportRun run(Member(ImexKind::Contacts), reader, m, false);
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(RunToEnd(run), ProcessState::Finished);
    EXPECT_EQ(run.added(), 2);
    EXPECT_EQ(run.Percent(), 100);
    const std::vector<Contact> got = ReadAll<Contact>(ContactDef());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].Email.str(), "jane@example.org");
    EXPECT_EQ(got[1].LastName.str(), "Smith");
    EXPECT_EQ(got[1].Email.str(), "");
    EXPECT_EQ(got[1].WebSite.str(), "Smith");
    EXPECT_EQ(got[1].ClientID, 2);
}

TEST_F(ImexRoundTripTest, AnAdvanceWarningTimeWithoutItsDateIsStoredAsZero) {
    const std::string file = (dir_ / "warn.csv").string();
    std::ofstream(file, std::ios::binary) << "\"SCH:Description\",\"SCH:AdvanceWarnTime\",\"SCH:AdvanceWarnDate\"\r\n"
                                             "\"no date\",\"9:00 AM\",\"\"\r\n"
                                             "\"dated\",\"9:00 AM\",\"" + Format(Value(MakeDate(5, 1, 2025)), "@d17") +
                                                 "\"\r\n";
    EXPECT_EQ(ImportAuto(ImexKind::Schedule, file), 2);
    std::map<std::string, Schedule> got;
    for (const Schedule& s : ReadAll<Schedule>(ScheduleDef())) got[s.Description.str()] = s;
    EXPECT_EQ(got["no date"].AdvanceWarnTime, 0);
    EXPECT_EQ(got["dated"].AdvanceWarnDate, MakeDate(5, 1, 2025));
    EXPECT_EQ(got["dated"].AdvanceWarnTime, Minutes(9 * 60));
}

TEST_F(ImexRoundTripTest, ImportedTasksAreEnabledAndUnstampedWithoutTheirColumns) {
    const std::string file = (dir_ / "tasks.csv").string();
    const std::string date = Format(Value(MakeDate(6, 2, 2024)), "@d17");
    std::ofstream(file, std::ios::binary) << "\"SCH:Description\",\"SCH:Date\",\"SCH:Time\"\r\n"
                                             "\"first\",\"" + date + "\",\"9:00 AM\"\r\n"
                                             "\"second\",\"" + date + "\",\"\"\r\n";
    EXPECT_EQ(ImportAuto(ImexKind::Schedule, file), 2);
    const std::vector<Schedule> got = ReadAll<Schedule>(ScheduleDef());
    ASSERT_EQ(got.size(), 2u);
    for (const Schedule& s : got) {
        SCOPED_TRACE(s.Description.str());
        EXPECT_EQ(s.Disabled, 0);
        EXPECT_EQ(s.LastChangeDate, 0);
        EXPECT_EQ(s.LastChangeTime, 0);
        EXPECT_EQ(s.NetworkUser.str(), "");
        EXPECT_EQ(s.Date, MakeDate(6, 2, 2024));
    }
    EXPECT_EQ(got[0].ID, 1);
    EXPECT_EQ(got[0].Time, Minutes(9 * 60));
    EXPECT_EQ(got[1].ID, 2);
    EXPECT_EQ(got[1].Time, 0);
}

TEST_F(ImexRoundTripTest, AFailedAddIsReportedAndEndsTheImport) {
    AddRecords(ContactDef(), std::vector<Contact>{});
    const std::string file = (dir_ / "c.csv").string();
    std::ofstream(file, std::ios::binary) << "\"C_:LastName\"\r\n\"Doe\"\r\n\"Roe\"\r\n";
    auto reader = std::make_shared<Imex>();
    ImexError e;
    ASSERT_GT(OpenImportFile(*reader, file, e), 0);
    const ImportColumns cols = ScanImportColumns(*reader);
    ImportMapping m{cols.pictures, {}};
    AutoAssign(Member(ImexKind::Contacts), cols.values, m);
    ImportRun run(Member(ImexKind::Contacts), reader, m, true);
    ASSERT_TRUE(run.Start());
    BreakDataFileWrites();
    EXPECT_EQ(RunToEnd(run), ProcessState::Failed);
    EXPECT_EQ(run.added(), 0);
    ASSERT_TRUE(responder_.sawTitle("Cannot ADD to Contact!"));
    EXPECT_EQ(responder_.shown().back().request.text.rfind("Error #", 0), 0u);
}

// A file that cannot be read to its end (here a record past the longest
// the reader holds) is no finished import: the records before it stay, the
// user is told why it stopped, and the summary says it stopped.
TEST_F(ImexRoundTripTest, AFileThatCannotBeReadToItsEndStopsTheImportWithAMessage) {
    AddRecords(ContactDef(), std::vector<Contact>{});
    const std::string file = (dir_ / "c.csv").string();
    std::ofstream(file, std::ios::binary) << "\"C_:LastName\"\r\n\"Doe\"\r\n\"Roe\"\r\n\"Poe\"\r\n\""
                                          << std::string(300u << 10, 'x');
    auto reader = std::make_shared<Imex>();
    reader->SetLongestRecord(128u << 10);
    ImexError e;
    ASSERT_GT(OpenImportFile(*reader, file, e), 0) << e.Message();
    const ImportColumns cols = ScanImportColumns(*reader);
    ImportMapping m{cols.pictures, {}};
    AutoAssign(Member(ImexKind::Contacts), cols.values, m);
    ImportRun run(Member(ImexKind::Contacts), reader, m, true);
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(RunToEnd(run), ProcessState::Failed);
    EXPECT_EQ(run.added(), 3);
    ASSERT_TRUE(responder_.sawTitle("Cannot READ " + file));
    EXPECT_EQ(responder_.shown().back().request.text,
              "Error #90 - A record of more than 128 KB: the file is read no further");
    EXPECT_EQ(run.Summary(), "Import stopped by an error: 3 of 3 lines read were imported as 3 records (up to "
                             "line 4 of the file).");
    EXPECT_EQ(ReadAll<Contact>(ContactDef()).size(), 3u);
}

// However an import ends, its summary says how many of the lines read came
// in, up to which line of the file, and what became of the others.
TEST_F(ImexRoundTripTest, TheSummaryCountsLinesReadAgainstLinesImported) {
    AddRecords(ContactDef(), std::vector<Contact>{});
    const auto prepare = [&](const std::string& text) {
        const std::string file = (dir_ / "c.csv").string();
        std::ofstream(file, std::ios::binary) << text;
        auto reader = std::make_shared<Imex>();
        ImexError e;
        EXPECT_GT(OpenImportFile(*reader, file, e), 0);
        const ImportColumns cols = ScanImportColumns(*reader);
        ImportMapping m{cols.pictures, {}};
        AutoAssign(Member(ImexKind::Contacts), cols.values, m);
        return std::make_unique<ImportRun>(Member(ImexKind::Contacts), reader, m, true);
    };

    // A note over two lines, a stray quote that takes nothing, a blank line.
    auto run = prepare("\"C_:LastName\",\"C_:Notes\"\r\n\"Doe\",\"two\r\nlines\"\r\n\"Roe, x\r\n\r\n\"Poe\",\"\"\r\n");
    ASSERT_TRUE(run->Start());
    EXPECT_EQ(RunToEnd(*run), ProcessState::Finished);
    EXPECT_EQ(run->added(), 3);
    EXPECT_EQ(run->Summary(),
              "Import finished: 4 of 5 lines read were imported as 3 records (up to line 6 of the file); "
              "1 line went into the quoted field of a record; 1 line blank; "
              "1 line ends inside a quoted field (line 4: 1 of 2 fields).");

    // Cancelled part-way: the records so far, always the first of the file.
    std::string many = "\"C_:LastName\"\r\n";
    for (int i = 0; i < 100; ++i) many += "\"Name " + std::to_string(i) + "\"\r\n";
    run = prepare(many);
    ASSERT_TRUE(run->Start());
    run->SetSlice(std::chrono::nanoseconds(0));
    ASSERT_TRUE(run->Step(1));
    run->Cancel();
    EXPECT_FALSE(run->Step(1));
    EXPECT_EQ(run->Summary(), "Import cancelled: 16 of 16 lines read were imported as 16 records (up to line 17 "
                              "of the file).");

    // A failed add: the line is refused and the import ends there.
    run = prepare("\"C_:LastName\"\r\n\"Doe\"\r\n\"Roe\"\r\n");
    ASSERT_TRUE(run->Start());
    BreakDataFileWrites();
    EXPECT_EQ(RunToEnd(*run), ProcessState::Failed);
    EXPECT_EQ(run->Summary(),
              "Import stopped by an error: 0 of 1 line read were imported as 0 records; 1 line refused; "
              "stopped because the data file could not be written (an input/output error).");
}

// Numbers past their field's range are clamped, never wrapped; texts that
// are no number, dates and times that are none, are counted and the first
// three named in the summary.
TEST_F(ImexRoundTripTest, ValuesThatDoNotFitAreClampedCountedAndNamed) {
    const std::string file = (dir_ / "odd.csv").string();
    std::string impossible = Format(Value(MakeDate(2, 28, 2024)), "@d17");
    impossible.replace(impossible.find("28"), 2, "31");
    std::ofstream(file, std::ios::binary) << "\"SCH:Description\",\"SCH:Every\",\"SCH:Date\",\"SCH:Time\"\r\n"
                                             "\"wide\",2147483648,\"\",\"\"\r\n"
                                             "\"huge\",-1e308,\"\",\"\"\r\n"
                                             "\"word\",12abc,\"" + impossible + "\",\"25:61 PM\"\r\n"
                                             "\"hex\",0x10,\"\",\"\"\r\n"
                                             "\"fine\",7,\"\",\"9:00 AM\"\r\n";
    auto reader = std::make_shared<Imex>();
    ImexError e;
    ASSERT_GT(OpenImportFile(*reader, file, e), 0);
    const ImportColumns cols = ScanImportColumns(*reader);
    ImportMapping m{cols.pictures, {}};
    AutoAssign(Member(ImexKind::Schedule), cols.values, m);
    ImportRun run(Member(ImexKind::Schedule), reader, m, true);
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(RunToEnd(run), ProcessState::Finished);
    std::map<std::string, Schedule> got;
    for (const Schedule& s : ReadAll<Schedule>(ScheduleDef())) got[s.Description.str()] = s;
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got["wide"].Every, INT32_MAX);
    EXPECT_EQ(got["huge"].Every, INT32_MIN);
    EXPECT_EQ(got["word"].Every, 0);
    EXPECT_EQ(got["word"].Date, 0);
    EXPECT_EQ(got["word"].Time, 0);
    EXPECT_EQ(got["hex"].Every, 0);
    EXPECT_EQ(got["fine"].Every, 7);
    EXPECT_EQ(got["fine"].Time, Minutes(9 * 60));
    EXPECT_EQ(run.Summary(),
              "Import finished: 5 of 5 lines read were imported as 5 records (up to line 6 of the file); 6 values "
              "did not fit and went in clamped to the field's range or as 0 (line 2 SCH:Every \"2147483648\", "
              "line 3 SCH:Every \"-1e308\", line 4 SCH:Every \"12abc\", ...).");
}

// What the reading changed is imported as today and named in the summary:
// a Windows-1252 line in a UTF-8 file, a quote inside a quoted field that
// shifts the fields after it, a cut-off last line inside a quoted field, and
// NUL bytes, which are dropped from the texts.
TEST_F(ImexRoundTripTest, TheSummaryNamesWhatTheReadingChangedAndNulBytesAreDropped) {
    AddRecords(ContactDef(), std::vector<Contact>{});
    const std::string file = (dir_ / "c.csv").string();
    std::ofstream(file, std::ios::binary)
        << "\"C_:LastName\",\"C_:FirstName\",\"C_:Notes\"\r\n"
           "\"M\xC3\xBCller\",\"Ann\",\"UTF-8\"\r\n"                 // line 2
           "\"M\xFCller\",\"Bob\",\"Windows-1252\"\r\n"              // line 3
           "\"Say \"hi\" now\",\"Cy\",\"shifted\"\r\n"               // line 4
           "\"Nu" + std::string(1, '\0') + "l\",\"Di\",\"a" + std::string(2, '\0') + "b\"\r\n"  // line 5
           "\"Poe\",\"Ed\",\"cut off";                                // line 6
    auto reader = std::make_shared<Imex>();
    ImexError e;
    ASSERT_GT(OpenImportFile(*reader, file, e), 0) << e.Message();
    const ImportColumns cols = ScanImportColumns(*reader);
    ImportMapping m{cols.pictures, {}};
    AutoAssign(Member(ImexKind::Contacts), cols.values, m);
    ImportRun run(Member(ImexKind::Contacts), reader, m, true);
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(RunToEnd(run), ProcessState::Finished);
    EXPECT_EQ(run.added(), 5);
    std::map<std::string, Contact> got;
    for (const Contact& c : ReadAll<Contact>(ContactDef())) got[c.FirstName.str()] = c;
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got["Ann"].LastName.str(), "M\xC3\xBCller");
    EXPECT_EQ(got["Bob"].LastName.str(), "M\xC3\xBCller");
    EXPECT_EQ(got["Di"].LastName.str(), "Nul");
    EXPECT_EQ(got["Di"].Notes, "ab");
    EXPECT_EQ(got["Ed"].Notes, "cut off");
    EXPECT_EQ(run.Summary(),
              "Import finished: 5 of 5 lines read were imported as 5 records (up to line 6 of the file); "
              "1 line read as Windows-1252 in a UTF-8 file (line 3); "
              "1 line ends inside a quoted field (line 6: 3 of 3 fields); "
              "1 line has its fields shifted by a quote inside a quoted field (line 4: 4 of 3 fields); "
              "2 values held NUL bytes, dropped (line 5 C_:LastName, line 5 C_:Notes).");
}

// In a file with no UTF-8 anywhere (an export, all ASCII) a line of bytes
// that are no UTF-8 is still named; texts longer than their field are cut
// and named with what was kept, trailing blanks past the width are not.
TEST_F(ImexRoundTripTest, TheSummaryNamesWindows1252LinesOfAnAsciiFileAndTextsCutToTheirField) {
    AddRecords(ContactDef(), std::vector<Contact>{});
    const std::string file = (dir_ / "ascii.csv").string();
    std::ofstream(file, std::ios::binary)
        << "\"C_:LastName\",\"C_:FirstName\",\"C_:Notes\"\r\n"
           "\"Doe\",\"Ann\",\"plain\"\r\n"                                            // line 2
           "\"\xFF\xFE\",\"Bob\",\"bytes\"\r\n"                                        // line 3
           "\"" + std::string(40, 'L') + "\",\"Cy\",\"" + std::string(20000, 'n') + "\"\r\n"  // line 4
           "\"Poe\",\"Di" + std::string(30, ' ') + "\",\"blanks only\"\r\n";          // line 5
    auto reader = std::make_shared<Imex>();
    ImexError e;
    ASSERT_GT(OpenImportFile(*reader, file, e), 0) << e.Message();
    const ImportColumns cols = ScanImportColumns(*reader);
    ImportMapping m{cols.pictures, {}};
    AutoAssign(Member(ImexKind::Contacts), cols.values, m);
    ImportRun run(Member(ImexKind::Contacts), reader, m, true);
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(RunToEnd(run), ProcessState::Finished);
    std::map<std::string, Contact> got;
    for (const Contact& c : ReadAll<Contact>(ContactDef())) got[ClipRight(c.FirstName.str())] = c;
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got["Bob"].LastName.str().substr(0, 4), "\xC3\xBF\xC3\xBE");
    EXPECT_EQ(ClipRight(got["Cy"].LastName.str()), std::string(30, 'L'));
    EXPECT_EQ(got["Cy"].Notes.size(), 1024u);
    EXPECT_EQ(run.Summary(),
              "Import finished: 4 of 4 lines read were imported as 4 records (up to line 5 of the file); "
              "2 texts cut to their field's length (line 4 C_:LastName: 30 of 40 characters kept, "
              "line 4 C_:Notes: 1024 of 20000 characters kept); "
              "1 line read as Windows-1252 (line 3).");
}

// A record longer than a line's 24,000 characters is never stored with the
// fields of its first part only: it is left out and named by the line it
// starts on, a record that runs over a line break included; blanks after a
// line's last field are no part of its length.
TEST_F(ImexRoundTripTest, ARecordLongerThanALineIsLeftOutWholeAndNamedByItsFirstLine) {
    AddRecords(ContactDef(), std::vector<Contact>{});
    const std::string file = (dir_ / "long.csv").string();
    std::ofstream(file, std::ios::binary)
        << "\"C_:LastName\",\"C_:FirstName\",\"C_:Email\",\"C_:Notes\"\r\n"
           "\"Doe\",\"Ann\",\"ann@example.org\",\"first\"\r\n"                               // line 2
           "\"Roe\",\"" + std::string(30000, 'F') + "\",\"bob@example.org\",\"lost\"\r\n"     // line 3
           "\"Poe\",\"Cy\",\"cy@example.org\",\"third\"\r\n"                                 // line 4
           "\"" + std::string(20000, 'L') + "\",\"Di\",\"di@example.org\",\"two\r\nlines " +
               std::string(5000, 'n') + "\"\r\n"                                                 // lines 5-6
           "\"Fox\",\"Ed\",\"ed@example.org\",blanks" + std::string(25000, ' ') + "\r\n";  // line 7
    auto reader = std::make_shared<Imex>();
    ImexError e;
    ASSERT_GT(OpenImportFile(*reader, file, e), 0) << e.Message();
    const ImportColumns cols = ScanImportColumns(*reader);
    ImportMapping m{cols.pictures, {}};
    AutoAssign(Member(ImexKind::Contacts), cols.values, m);
    ImportRun run(Member(ImexKind::Contacts), reader, m, true);
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(RunToEnd(run), ProcessState::Finished);
    EXPECT_EQ(run.added(), 3);
    std::map<std::string, Contact> got;
    for (const Contact& c : ReadAll<Contact>(ContactDef())) got[ClipRight(c.FirstName.str())] = c;
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(ClipRight(got["Ann"].Email.str()), "ann@example.org");
    EXPECT_EQ(ClipRight(got["Cy"].Email.str()), "cy@example.org");
    EXPECT_EQ(got["Cy"].Notes, "third");
    EXPECT_EQ(ClipRight(got["Ed"].Email.str()), "ed@example.org");
    EXPECT_EQ(ClipRight(got["Ed"].Notes), "blanks");
    EXPECT_EQ(run.Summary(),
              "Import finished: 3 of 6 lines read were imported as 3 records (up to line 7 of the file); "
              "2 lines longer than 24000 characters not imported (line 3, line 5).");
}

TEST_F(ImexRoundTripTest, AStoppedExportLeavesTheOldFileByteForByte) {
    std::vector<Schedule> tasks;
    for (int i = 1; i <= 200; ++i) tasks.push_back(MakeTask(i)), tasks.back().ID = i;
    AddRecords(ScheduleDef(), tasks);
    const std::string file = (dir_ / "keep.csv").string();
    const std::string old = "\"old\",\"file\"\r\nkept as it was\r\n";
    std::ofstream(file, std::ios::binary) << old;

    ExportRun run(Member(ImexKind::Schedule), Member(ImexKind::Schedule).fields, true, file);
    run.SetSlice(std::chrono::nanoseconds(0));
    ASSERT_TRUE(run.Start());
    EXPECT_TRUE(run.Step(1));
    EXPECT_TRUE(run.Step(1));
    run.RequestCancel();
    EXPECT_FALSE(run.Step(1));
    EXPECT_EQ(run.state(), ProcessState::Cancelled);
    EXPECT_EQ(run.written(), 32);
    EXPECT_EQ(Read(file), old);
    EXPECT_NE(run.StoppedText().find("32 records were written"), std::string::npos) << run.StoppedText();
    EXPECT_NE(run.StoppedText().find("was not changed"), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}),
              std::distance(std::filesystem::directory_iterator(dir_), {}));
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
        EXPECT_EQ(entry.path().filename().string().find("keep.csv."), std::string::npos) << entry.path();
}

TEST_F(ImexRoundTripTest, TwoExportsAtOnceWriteTheirOwnLines) {
    std::vector<Todo> items(30);
    for (int i = 0; i < 30; ++i) items[i].ToDo = "Item " + std::to_string(i), items[i].Priority = 1;
    AddRecords(TodoDef(), items);
    const std::string a = (dir_ / "a.csv").string(), b = (dir_ / "b.csv").string();
    ExportRun one(Member(ImexKind::ToDo), {{"TDO:ToDo", "@s80"}}, false, a);
    ExportRun two(Member(ImexKind::ToDo), {{"TDO:Priority", "@n2"}}, false, b);
    one.SetSlice(std::chrono::nanoseconds(0));
    two.SetSlice(std::chrono::nanoseconds(0));
    ASSERT_TRUE(one.Start());
    ASSERT_TRUE(two.Start());
    while (one.Running() || two.Running()) {
        one.Step(1);
        two.Step(1);
    }
    const std::string ta = Read(a), tb = Read(b);
    EXPECT_EQ(std::count(ta.begin(), ta.end(), '\n'), 30);
    EXPECT_EQ(ta.find("1\r\n"), std::string::npos);
    EXPECT_EQ(tb, [] {
        std::string s;
        for (int i = 0; i < 30; ++i) s += "1\r\n";
        return s;
    }());
}

}  // namespace
}  // namespace kr::reports
