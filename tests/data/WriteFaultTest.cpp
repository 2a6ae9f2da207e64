// The tests' write-fault switch: the k-th write from the moment it is set
// fails with the cause chosen, as the driver's own failure would, and the
// file stays as it was.
#include <stdlib.h>

#include "DataFixture.h"
#include "platform/data/WriteFault.h"
#include "platform/runtime/ErrorCodes.h"

namespace kr::test {
namespace {

using namespace kr::data;

class WriteFaultTest : public DataTest {
protected:
    void TearDown() override {
        ClearWriteFault();
        DataTest::TearDown();
    }
    int AddPerson(Table& t, const std::string& name) {
        t.Clear();
        Person& p = t.Rec<Person>();
        p.Name = name;
        p.City = name;
        p.Code = name;
        return t.AddAutoNumbered(PersonDef().key("PER:KeyID"));
    }
    int64_t Count(Table& t) { return t.Records(); }
};

TEST_F(WriteFaultTest, TheKthWriteFailsWithItsCauseAndAFullDiskStaysFull) {
    Table& t = Fresh(PersonDef());
    SetWriteFault(WriteFaultCause::DiskFull, 3);
    EXPECT_EQ(AddPerson(t, "a"), 0);
    EXPECT_EQ(AddPerson(t, "b"), 0);
    EXPECT_EQ(AddPerson(t, "c"), kDriverError);
    EXPECT_EQ(LastDriverCause(), DriverCause::DiskFull);
    EXPECT_EQ(LastErrorDisplay(), "Disk full: database or disk is full (13)");
    EXPECT_EQ(AddPerson(t, "d"), kDriverError) << "full until cleared";
    EXPECT_EQ(WritesCounted(), 4);
    EXPECT_EQ(WritesFailed(), 2);
    ClearWriteFault();
    EXPECT_EQ(AddPerson(t, "e"), 0);
    EXPECT_EQ(Count(t), 3);
}

TEST_F(WriteFaultTest, BusyAndReplacedFailOnlyTheWritesAskedForAndACommitRollsBack) {
    Table& t = Fresh(PersonDef());
    SetWriteFault(WriteFaultCause::Busy, 1, 1);
    EXPECT_EQ(AddPerson(t, "a"), kFileLocked);
    EXPECT_EQ(AddPerson(t, "b"), 0) << "only one write was to fail";

    // Begin (1), two records (2, 3), the commit (4) refused: nothing stays.
    SetWriteFault(WriteFaultCause::Replaced, 4, 1);
    ASSERT_EQ(Logout({&t}), 0);
    EXPECT_EQ(AddPerson(t, "c"), 0);
    EXPECT_EQ(AddPerson(t, "d"), 0);
    EXPECT_EQ(Commit(), kAccessDenied);
    EXPECT_EQ(LastDriverCause(), DriverCause::Replaced);
    EXPECT_FALSE(InTransaction());
    EXPECT_EQ(Count(t), 1);

    // Only counting: an operation's number of writes.
    CountWrites();
    t.Clear();
    t.Rec<Person>().Name = "b";
    ASSERT_EQ(t.Get(PersonDef().key("PER:KeyName")), 0);
    t.Rec<Person>().Born = 1959;
    EXPECT_EQ(t.Put(), 0);
    EXPECT_EQ(t.Delete(), 0);
    EXPECT_EQ(WritesCounted(), 2);
    EXPECT_EQ(WritesFailed(), 0);
}

TEST_F(WriteFaultTest, AProgramReadsItsFaultFromTheEnvironment) {
    WriteFaultCause cause{};
    int64_t k = 0, count = 0;
    ASSERT_TRUE(ParseWriteFault("busy:7", cause, k, count));
    EXPECT_EQ(cause, WriteFaultCause::Busy);
    EXPECT_EQ(k, 7);
    EXPECT_EQ(count, 0);
    ASSERT_TRUE(ParseWriteFault("replaced:2:3", cause, k, count));
    EXPECT_EQ(cause, WriteFaultCause::Replaced);
    EXPECT_EQ(count, 3);
    EXPECT_FALSE(ParseWriteFault("full", cause, k, count));
    EXPECT_FALSE(ParseWriteFault("full:0", cause, k, count));
    EXPECT_FALSE(ParseWriteFault("wet:1", cause, k, count));
    EXPECT_FALSE(ParseWriteFault("full:x", cause, k, count));

    ::setenv("KR_TEST_WRITE_FAULT", "full:2:1", 1);
    EXPECT_TRUE(SetWriteFaultFromEnvironment());
    ::unsetenv("KR_TEST_WRITE_FAULT");
    Table& t = Fresh(PersonDef());  // the table made is write 1
    EXPECT_EQ(AddPerson(t, "a"), kDriverError);
    EXPECT_EQ(AddPerson(t, "b"), 0);
}

}  // namespace
}  // namespace kr::test
