// A writer that read a record earlier (Watch) and puts it back after another
// writer stored a change: the change is never written over. The table's PUT
// refuses with 89 and hands the writer the stored record; a mark changed
// meanwhile is kept instead; the file and relation managers report the
// refusal as "changed by another station", or as "Record Was Not Updated"
// where the thread's form keeps its typed values.
#include "DataFixture.h"
#include "platform/data/FileManager.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/ProcedureContext.h"

namespace kr::test {
namespace {

// Person with its Flag as a mark that jobs set.
const TableDef& MarkedDef() {
    static const TableDef def = [] {
        TableDef d = TableBuilder<Person>("Marked", "MRK")
                         .storedAs("Marked\\!Marked")
                         .field("MRK:ID", &Person::ID)
                         .field("MRK:Name", &Person::Name)
                         .field("MRK:City", &Person::City)
                         .field("MRK:Flag", &Person::Flag)
                         .key("MRK:KeyID", "By ID", {"MRK:ID"}, kPrimary | kUnique)
                         .memo("MRK:Notes", &Person::Notes, 100)
                         .build();
        for (FieldDef& f : d.fields)
            if (f.name == "MRK:Flag") f.mark = true;
        return d;
    }();
    return def;
}

class ChangedMeanwhileTest : public DataTest {
protected:
    void SetUp() override {
        DataTest::SetUp();
        Table& t = Fresh(MarkedDef());
        ProcedureThreadScope setup(9);
        t.Clear();
        Person& p = t.Rec<Person>();
        p.ID = 1;
        p.Name = "Ann";
        p.City = "Oslo";
        p.Notes = "first";
        ASSERT_EQ(t.Add(), 0);
    }
    void TearDown() override {
        for (int th : {5, 6, 9}) EndProcedureThread(th);
        DataTest::TearDown();
    }
    Table& t() { return TableOf(MarkedDef()); }
    // Reads task 1 into the current thread's buffer, kept as read when `watch`.
    void Read(bool watch) {
        if (watch) t().Watch();
        t().Rec<Person>().ID = 1;
        ASSERT_EQ(t().Get(MarkedDef().key("MRK:KeyID")), 0);
    }
    // Another writer (thread 6) reads the record and changes it at once.
    void OtherWriter(const std::function<void(Person&)>& change) {
        ProcedureThreadScope other(6);
        Read(false);
        change(t().Rec<Person>());
        ASSERT_EQ(t().Put(), 0);
    }
    Person Stored() {
        ProcedureThreadScope look(9);
        Read(false);
        return t().Rec<Person>();
    }
};

TEST_F(ChangedMeanwhileTest, AChangeStoredMeanwhileIsNotWrittenOverAndTheWriterGetsTheStoredRecord) {
    ProcedureThreadScope form(5);
    Read(true);
    OtherWriter([](Person& p) { p.City = "Bergen"; });

    // The form changed nothing of what the other writer changed: refused all
    // the same, the stored record comes back into the buffer.
    t().Rec<Person>().Name = "Anna";
    EXPECT_EQ(t().Put(), kRecordChanged);
    EXPECT_EQ(LastErrorCode(), kRecordChanged);
    EXPECT_EQ(Stored().Name, "Ann");
    EXPECT_EQ(Stored().City, "Bergen");
    EXPECT_EQ(t().Rec<Person>().City, "Bergen");
    EXPECT_EQ(t().Rec<Person>().Name, "Ann");

    // What it shows now is what it read: a second OK stores the edit.
    t().Rec<Person>().Name = "Anna";
    EXPECT_EQ(t().Put(), 0);
    EXPECT_EQ(Stored().Name, "Anna");
    EXPECT_EQ(Stored().City, "Bergen");

    // A memo changed meanwhile counts as well.
    OtherWriter([](Person& p) { p.Notes = "second"; });
    t().Rec<Person>().Name = "Anne";
    EXPECT_EQ(t().Put(), kRecordChanged);
    EXPECT_EQ(Stored().Notes, "second");
    EXPECT_EQ(Stored().Name, "Anna");
}

TEST_F(ChangedMeanwhileTest, ARereadWithoutWatchKeepsTheRecordAsFirstRead) {
    // The writer moves back onto its record before the write and puts its
    // earlier copy in the buffer (as a form does after its lookups).
    ProcedureThreadScope form(5);
    Read(true);
    const Person edited = [&] {
        Person p = t().Rec<Person>();
        p.Name = "Anna";
        return p;
    }();
    OtherWriter([](Person& p) { p.City = "Bergen"; });
    Read(false);
    t().Rec<Person>() = edited;
    EXPECT_EQ(t().Put(), kRecordChanged);
    EXPECT_EQ(Stored().City, "Bergen");

    // Unwatched writers write as before; nothing changed meanwhile passes.
    t().Unwatch();
    Read(true);
    t().Rec<Person>().Name = "Anna";
    EXPECT_EQ(t().Put(), 0);
    EXPECT_EQ(Stored().Name, "Anna");
    EXPECT_EQ(Stored().City, "Bergen");
}

TEST_F(ChangedMeanwhileTest, AMarkSetMeanwhileIsKeptAndDoesNotRefuseTheWrite) {
    ProcedureThreadScope form(5);
    Read(true);
    OtherWriter([](Person& p) { p.Flag = 1; });
    t().Rec<Person>().Name = "Anna";
    EXPECT_EQ(t().Put(), 0);
    EXPECT_EQ(Stored().Name, "Anna");
    EXPECT_EQ(Stored().Flag, 1);

    // A writer that sets the mark itself wins over the stored one.
    OtherWriter([](Person& p) { p.Flag = 0; });
    t().Rec<Person>().Flag = 2;
    EXPECT_EQ(t().Put(), 0);
    EXPECT_EQ(Stored().Flag, 2);
}

class MarkedFile : public FileManagerT<Person> {};

TEST_F(ChangedMeanwhileTest, TheManagersReportTheRefusalByWhetherTheFormKeepsTypedValues) {
    ScriptedResponder responder;
    ScopedMessageService service{&responder};
    ErrorHandler errors;
    MarkedFile fm;
    fm.Init(MarkedDef(), &errors);
    RelationManager rm;
    rm.Init(&fm);
    {
        ProcedureThreadScope form(5);
        ASSERT_EQ(fm.Open(), kLevelBenign);
        Read(true);
        OtherWriter([](Person& p) { p.City = "Bergen"; });
        fm.rec().Name = "Anna";
        EXPECT_EQ(fm.Update(), kLevelNotify);
        ASSERT_EQ(responder.shown().size(), 1u);
        EXPECT_EQ(responder.shown()[0].request.title, "Update Operation Error");
        EXPECT_EQ(responder.shown()[0].request.text, "This record was changed by another station.");
        EXPECT_EQ(LastErrorCode(), kRecordChanged);

        // A form with the history key: its typed values are kept first, then
        // the message that points at the key.
        std::string kept;
        FileManager::KeepTypedValues(5, this, [&] { kept = "typed"; });
        OtherWriter([](Person& p) { p.City = "Tromso"; });
        fm.rec().Name = "Anna";
        EXPECT_EQ(rm.Update(true), kLevelNotify);
        ASSERT_EQ(responder.shown().size(), 2u);
        EXPECT_EQ(kept, "typed");
        EXPECT_EQ(responder.shown()[1].request.title, "Record Was Not Updated");
        EXPECT_EQ(responder.shown()[1].request.text,
                  "This record was changed by another station. Those changes will now be displayed. Use the "
                  "Ditto Button or Ctrl+' to recall your changes.");
        EXPECT_EQ(fm.rec().City, "Tromso");
        EXPECT_EQ(Stored().Name, "Ann");
        FileManager::ForgetTypedValues(5, this);
        fm.Close();
    }
    rm.Shutdown();
    fm.Shutdown();
}

}  // namespace
}  // namespace kr::test
