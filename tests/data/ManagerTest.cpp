// The framework's FileManager and ErrorHandler over real files: use counts
// and buffers per procedure thread, lazy open and creation, auto-numbering
// that reserves its record, checks, reports and expression bindings.
#include <stdio.h>

#include <filesystem>
#include <fstream>

#include "DataFixture.h"
#include "platform/data/FileManager.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Expression.h"
#include "platform/runtime/ProcedureContext.h"

namespace kr::test {
namespace {

class PersonFile : public FileManagerT<Person> {
public:
    void SetNewRecordDefaults() override { rec().City = "Nowhere"; }
    int ValidateField(int number) override {
        if (number == 4 && (rec().Born < 1800 || rec().Born > 2100)) {
            Errors()->SetField("Born");
            return ThrowMessage(kMsgFieldOutOfRange, "1800 and 2100");
        }
        return FileManager::ValidateField(number);
    }
};

class ManagerTest : public DataTest {
protected:
    void SetUp() override {
        DataTest::SetUp();
        T(PersonDef());
        fm.Init(PersonDef(), &errors);
        fm.AddKey("PER:KeyID", "By ID", true);
        fm.AddKey("PER:KeyName", "Name");
        fm.AddKey("PER:KeyCode", "Code");
        fm.lockRecover = 0;
    }
    void TearDown() override {
        fm.Shutdown();
        EndProcedureThread(5);
        EndProcedureThread(6);
        DataTest::TearDown();
    }
    void Put(const std::string& name, const std::string& code) {
        fm.PrimeRecord();
        fm.rec().Name = name;
        fm.rec().Code = code;
        fm.rec().City = code;
        ASSERT_EQ(fm.Insert(), kLevelBenign) << LastErrorDisplay();
    }

    ScriptedResponder responder;
    ScopedMessageService service{&responder};
    ErrorHandler errors;
    PersonFile fm;
};

TEST_F(ManagerTest, LazyOpenCreatesTheMissingTableSilentlyOnFirstUse) {
    ASSERT_EQ(fm.Open(), kLevelBenign);
    EXPECT_FALSE(fm.File().IsOpen());
    EXPECT_FALSE(std::ifstream("People.TPS").good());
    EXPECT_EQ(fm.Records(), 0);
    EXPECT_TRUE(fm.File().IsOpen());
    EXPECT_TRUE(responder.shown().empty());
    fm.Close();
    EXPECT_FALSE(fm.File().IsOpen());
}

TEST_F(ManagerTest, FailedOpenIsReportedUnderTheErrorName) {
    fm.create = false;
    fm.lazyOpen = false;
    EXPECT_EQ(fm.Open(), kLevelFatal);
    EXPECT_EQ(LastErrorCode(), kFileNotFound);
    ASSERT_EQ(responder.shown().size(), 1u);
    EXPECT_EQ(responder.shown()[0].request.title, "File Access Error");
    EXPECT_EQ(responder.shown()[0].request.text,
              "File (People [Person]) could not be opened.  Error: File Not Found (2).");
    EXPECT_EQ(fm.UseCount(), 0);
}

TEST_F(ManagerTest, DamagedKeyIsRebuiltWhenTheUserSaysYes) {
    fm.lazyOpen = false;
    ASSERT_EQ(fm.Open(), kLevelBenign);
    Put("a", "a");
    fm.Close();
    CloseIdleFiles();
    Shell("sqlcipher People.TPS \"PRAGMA key='s3cret!pw'; PRAGMA kdf_iter=4; DROP INDEX \\\"Person\\$KeyName\\\";\"");
    responder.Answer(kButtonYes);
    ASSERT_EQ(fm.Open(), kLevelBenign);
    ASSERT_FALSE(responder.shown().empty());
    EXPECT_EQ(responder.shown()[0].request.title, "Invalid Key");
    EXPECT_EQ(fm.Records(), 1);
}

TEST_F(ManagerTest, UseCountsAndBuffersBelongToProcedureThreads) {
    fm.lazyOpen = false;
    ASSERT_EQ(fm.Open(), kLevelBenign);
    for (const char* n : {"anna", "bert", "cleo", "dora"}) Put(n, n);
    {
        ProcedureThreadScope t5(5);
        ASSERT_EQ(fm.Open(), kLevelBenign);
        ASSERT_EQ(fm.Open(), kLevelBenign);
        EXPECT_EQ(fm.UseCount(), 2);
    }
    EXPECT_EQ(fm.UseCount(), 1);
    // Two procedures reading the same key, interleaved: each has its own
    // position and buffer.
    const KeyDef* name = fm.Key("PER:KeyName");
    fm.SetOrder(name);
    ASSERT_EQ(fm.Next(), kLevelBenign);
    {
        ProcedureThreadScope t5(5);
        fm.SetOrder(name);
        ASSERT_EQ(fm.Next(), kLevelBenign);
        ASSERT_EQ(fm.Next(), kLevelBenign);
        ASSERT_EQ(fm.Next(), kLevelBenign);
        EXPECT_EQ(fm.rec().Name.str(), "cleo");
    }
    EXPECT_EQ(fm.rec().Name.str(), "anna");
    ASSERT_EQ(fm.Next(), kLevelBenign);
    EXPECT_EQ(fm.rec().Name.str(), "bert");
    {
        ProcedureThreadScope t5(5);
        ASSERT_EQ(fm.Next(), kLevelBenign);
        EXPECT_EQ(fm.rec().Name.str(), "dora");
        EXPECT_EQ(fm.Next(), kLevelNotify);
        EXPECT_EQ(LastErrorCode(), kRecordNotAvailable);
    }
    EXPECT_EQ(LastErrorCode(), 0);  // errors are per procedure thread too
    // Thread 1 closes: the file stays open for thread 5 until it ends.
    fm.Close();
    EXPECT_TRUE(fm.File().IsOpen());
    EndProcedureThread(5);
    EXPECT_FALSE(fm.File().IsOpen());
}

TEST_F(ManagerTest, AutoNumberReservesTheRecordAndCanBeCancelled) {
    ASSERT_EQ(fm.Open(), kLevelBenign);
    Put("first", "1");
    ASSERT_EQ(fm.PrimeRecord(), kLevelBenign);
    EXPECT_EQ(fm.rec().ID, 2);
    EXPECT_EQ(fm.rec().City.str(), "Nowhere");
    EXPECT_TRUE(fm.AutoIncDone());
    EXPECT_EQ(fm.Records(), 2);  // the number is held by a stored record
    // Asking again keeps the number: once per record.
    ASSERT_EQ(fm.PrimeAutoInc(), kLevelBenign);
    EXPECT_EQ(fm.rec().ID, 2);
    fm.CancelAutoInc();
    EXPECT_EQ(fm.Records(), 1);
    // Reserved, filled in and inserted: one record, the reserved one.
    ASSERT_EQ(fm.PrimeRecord(), kLevelBenign);
    fm.rec().Name = "second";
    fm.rec().Code = "2";
    ASSERT_EQ(fm.Insert(), kLevelBenign);
    EXPECT_FALSE(fm.AutoIncDone());
    EXPECT_EQ(fm.Records(), 2);
    fm.rec().ID = 2;
    ASSERT_EQ(fm.Fetch(fm.Key("PER:KeyID")), kLevelBenign);
    EXPECT_EQ(fm.rec().Name.str(), "second");
}

TEST_F(ManagerTest, DuplicatesAndMissingRecordsAreReportedAsTheFrameworkDoes) {
    ASSERT_EQ(fm.Open(), kLevelBenign);
    Put("a", "same");
    fm.PrimeRecord();
    fm.rec().Name = "b";
    fm.rec().Code = "same";
    EXPECT_EQ(fm.Insert(), kLevelNotify);
    EXPECT_EQ(LastErrorCode(), kDuplicateKey);
    ASSERT_FALSE(responder.shown().empty());
    EXPECT_EQ(responder.shown().back().request.title, "Duplicate Key Error");
    EXPECT_EQ(responder.shown().back().request.text, "Adding this record creates a duplicate entry for the key:Code");
    fm.CancelAutoInc();
    EXPECT_EQ(fm.Records(), 1);
    responder.clear();
    fm.rec().ID = 99;
    EXPECT_EQ(fm.Fetch(fm.Key("PER:KeyID")), kLevelNotify);
    EXPECT_EQ(LastErrorCode(), kRecordNotFound);
    EXPECT_TRUE(responder.shown().empty());
    EXPECT_EQ(fm.TryFetch("NoSuchKey"), kLevelFatal);
}

TEST_F(ManagerTest, FieldChecksShowTheRangeMessage) {
    ASSERT_EQ(fm.Open(), kLevelBenign);
    fm.PrimeRecord();
    fm.rec().Born = 1700;
    int failed = 0;
    EXPECT_NE(fm.ValidateRecord(&failed), 0);
    EXPECT_EQ(failed, 4);
    ASSERT_FALSE(responder.shown().empty());
    EXPECT_EQ(responder.shown().back().request.title, "Range Error");
    EXPECT_EQ(responder.shown().back().request.text, "The value of Born must be between 1800 and 2100.");
    fm.rec().Born = 1900;
    EXPECT_EQ(fm.ValidateRecord(&failed), 0);
    fm.CancelAutoInc();
}

TEST_F(ManagerTest, WritesOnAReplacedFileGiveOneMessageAWindowThatNamesTheReplacement) {
    ASSERT_EQ(fm.Open(), kLevelBenign);
    Put("first", "1");
    // A copy renamed over the open file, as a sync tool puts one back.
    std::filesystem::copy_file(path("People.TPS"), path("People.new"));
    ASSERT_EQ(::rename(path("People.new").c_str(), path("People.TPS").c_str()), 0);
    const std::string before = Shell("md5sum < " + path("People.TPS"));

    // A new record: the reservation of its number fails, then its insert.
    EXPECT_NE(fm.PrimeRecord(), kLevelBenign);
    fm.rec().Name = "second";
    fm.rec().Code = "2";
    EXPECT_NE(fm.Insert(), kLevelBenign);
    EXPECT_EQ(LastErrorCode(), kAccessDenied);
    EXPECT_EQ(LastDriverCause(), DriverCause::Replaced);
    EXPECT_EQ(LastErrorDisplay(), "Another file has taken the place of the data file " + path("People.TPS"));
    ASSERT_EQ(responder.shown().size(), 1u);
    EXPECT_EQ(responder.shown()[0].request.title, "Data File Replaced");
    EXPECT_EQ(responder.shown()[0].request.text,
              "Another file has taken the place of the data file " + path("People.TPS") +
                  ".  Nothing more can be stored in it: close the program and start it again to use the new file.");
    EXPECT_EQ(fm.Update(), kLevelNotify);
    EXPECT_EQ(responder.shown().size(), 1u) << "the window was told already";

    // Another window is told once too.
    {
        ProcedureThreadScope other(5);
        fm.rec().ID = 1;
        ASSERT_EQ(fm.Fetch(fm.Key("PER:KeyID")), kLevelBenign);
        fm.rec().City = "Elsewhere";
        EXPECT_NE(fm.Update(), kLevelBenign);
        EXPECT_NE(fm.Delete(), kLevelBenign);
    }
    ASSERT_EQ(responder.shown().size(), 2u);
    EXPECT_EQ(responder.shown()[1].request.title, "Data File Replaced");
    for (const auto& s : responder.shown()) EXPECT_EQ(s.request.text.find("Access Denied"), std::string::npos);
    EXPECT_EQ(Shell("md5sum < " + path("People.TPS")), before) << "the new file was written to";
}

TEST_F(ManagerTest, ErrorTextOfADriverErrorShowsTheDriversOwn) {
    SetLastError(kDriverError, "26", "Invalid owner password");
    EXPECT_EQ(errors.SubsString("%ErrorText|%ErrorCode %FileErrorCode"), "Invalid owner password (26)|90 26");
    SetLastError(kRecordNotFound);
    errors.SetFile("F");
    errors.SetField("X");
    EXPECT_EQ(errors.SubsString("%File:%Field:%ErrorText:%Error"), "F:X:Record Not Found (35):Record Not Found");
    ClearLastError();
}

TEST_F(ManagerTest, BoundFieldsAndMemosReadTheBindingThreadsBuffer) {
    ASSERT_EQ(fm.Open(), kLevelBenign);
    Bindings local;
    BindingsScope scope(local);
    fm.BindFields();
    fm.BindMemo("PER:Notes");
    fm.rec().Name = "Zed";
    fm.rec().Notes = "remember the milk";
    EXPECT_EQ(Evaluate("UPPER(PER:Name)").value.toText(), "ZED");
    EXPECT_EQ(Evaluate("INSTRING('milk', PER:Notes, 1, 1)").value.toInt(), 14);
    EXPECT_EQ(Evaluate("per:born + 1").value.toInt(), 1);
}

}  // namespace
}  // namespace kr::test
