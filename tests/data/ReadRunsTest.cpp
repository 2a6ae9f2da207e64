// Runs of reads: records fetched ahead of Next and Previous, and a run read
// in one go (NextRecords, PreviousRecords) for lists and reports.
#include <vector>

#include "DataFixture.h"
#include "platform/runtime/ErrorCodes.h"

namespace kr::test {
namespace {

class ReadRunsTest : public DataTest {
protected:
    const TableDef& def = PersonDef();
    const KeyDef* key(const char* name) { return def.key(name); }

    // 300 people, a third named "zed" and the rest "same", so the name key
    // has long runs of equal values that the rows' order must break.
    Table& People() {
        Table& t = Fresh(def);
        EXPECT_EQ(Logout({&t}), 0);
        for (int i = 1; i <= 300; ++i) {
            t.Clear();
            Person& p = t.Rec<Person>();
            p.ID = i;
            p.Name = i % 3 == 0 ? "zed" : "same";
            p.City = "c" + std::to_string(i);
            p.Born = 1900 + i % 7;
            p.Code = "k" + std::to_string(i);
            p.Notes = std::string(static_cast<std::size_t>(i % 50), 'n');
            EXPECT_EQ(t.Add(), 0);
        }
        EXPECT_EQ(Commit(), 0);
        return t;
    }

    std::vector<int> IdsByNext(Table& t, const KeyDef* k, bool backwards = false) {
        std::vector<int> out;
        t.Set(k);
        while ((backwards ? t.Previous() : t.Next()) == 0) out.push_back(t.Rec<Person>().ID);
        return out;
    }

    static std::vector<int> IdsOf(const std::vector<AnyRecord>& records) {
        std::vector<int> out;
        for (const AnyRecord& r : records) out.push_back(r.as<Person>().ID);
        return out;
    }
};

TEST_F(ReadRunsTest, RunsReadWhatSingleReadsReadAndPageOnFromTheirPositions) {
    Table& t = People();
    for (const KeyDef* k : {key("PER:KeyName"), key("PER:KeyBorn"), static_cast<const KeyDef*>(nullptr)}) {
        SCOPED_TRACE(k ? k->name : "file order");
        const std::vector<int> forward = IdsByNext(t, k);
        const std::vector<int> backward = IdsByNext(t, k, true);
        ASSERT_EQ(forward.size(), 300u);

        // Pages of 7, one call each, the records reused from page to page.
        std::vector<AnyRecord> page;
        std::vector<Position> positions;
        std::vector<int> read;
        ASSERT_EQ(t.Set(k), 0);
        while (t.NextRecords(7, page, &positions) == 0) {
            ASSERT_EQ(positions.size(), page.size());
            for (const AnyRecord& r : page) read.push_back(r.as<Person>().ID);
            // The buffer and the current record are the page's last.
            EXPECT_EQ(t.Rec<Person>().ID, page.back().as<Person>().ID);
            EXPECT_EQ(t.Pointer(), positions.back().row);
        }
        EXPECT_EQ(LastErrorCode(), kRecordNotAvailable);
        EXPECT_TRUE(page.empty());
        EXPECT_EQ(read, forward);

        read.clear();
        ASSERT_EQ(t.Set(k), 0);
        while (t.PreviousRecords(50, page) == 0) {
            std::vector<int> ids = IdsOf(page);
            read.insert(read.end(), ids.begin(), ids.end());
        }
        EXPECT_EQ(read, backward);

        // Keyset paging as a list does it: the second page from the first's
        // last position, back to the first from the second's first.
        ASSERT_EQ(t.Set(k), 0);
        ASSERT_EQ(t.NextRecords(10, page, &positions), 0);
        ASSERT_EQ(t.Reset(positions.back()), 0);
        ASSERT_EQ(t.NextRecords(10, page, &positions), 0);
        EXPECT_EQ(IdsOf(page), std::vector<int>(forward.begin() + 10, forward.begin() + 20));
        ASSERT_EQ(t.Reset(positions.front()), 0);
        ASSERT_EQ(t.PreviousRecords(10, page), 0);
        EXPECT_EQ(IdsOf(page), std::vector<int>(forward.rend() - 10, forward.rend()));
        // A position reads its record again.
        ASSERT_EQ(t.Reget(positions[3]), 0);
        EXPECT_EQ(t.Rec<Person>().ID, forward[13]);
    }
}

TEST_F(ReadRunsTest, SingleReadsGoOnAfterARunAndTheLastRecordCanBeWritten) {
    Table& t = People();
    const std::vector<int> order = IdsByNext(t, key("PER:KeyName"));
    std::vector<AnyRecord> page;
    ASSERT_EQ(t.Set(key("PER:KeyName")), 0);
    ASSERT_EQ(t.Next(), 0);
    ASSERT_EQ(t.Next(), 0);  // the records after it are read ahead now
    ASSERT_EQ(t.NextRecords(5, page), 0);
    EXPECT_EQ(IdsOf(page), std::vector<int>(order.begin() + 2, order.begin() + 7));
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<Person>().ID, order[7]);
    ASSERT_EQ(t.Previous(), 0);
    EXPECT_EQ(t.Rec<Person>().ID, order[6]);

    // The current record's position outlives a move of the sequence.
    ASSERT_EQ(t.Set(key("PER:KeyName")), 0);
    ASSERT_EQ(t.Next(), 0);
    ASSERT_EQ(t.Next(), 0);
    t.Rec<Person>().Name = "zed";
    ASSERT_EQ(t.SetFrom(key("PER:KeyName")), 0);
    ASSERT_EQ(t.Reset(t.GetPosition()), 0);
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<Person>().ID, order[2]);

    // The run's last record is the current one: PUT writes it.
    ASSERT_EQ(t.NextRecords(3, page), 0);
    t.Rec<Person>().City = "moved";
    ASSERT_EQ(t.Put(), 0);
    t.Rec<Person>().ID = page.back().as<Person>().ID;
    ASSERT_EQ(t.Get(key("PER:KeyID")), 0);
    EXPECT_EQ(t.Rec<Person>().City.str(), "moved");
    EXPECT_EQ(t.Rec<Person>().Notes, page.back().as<Person>().Notes);

    // Nothing left: 33 and no records; a run of none reads nothing.
    ASSERT_EQ(t.Set(key("PER:KeyName")), 0);
    ASSERT_EQ(t.NextRecords(400, page), 0);
    EXPECT_EQ(page.size(), 300u);
    ASSERT_EQ(t.NextRecords(1, page), kRecordNotAvailable);
    EXPECT_TRUE(page.empty());
    ASSERT_EQ(t.NextRecords(0, page), 0);
    EXPECT_TRUE(page.empty());
}

TEST_F(ReadRunsTest, LineFilesAnswerRunsWithSingleReads) {
    Table& people = People();
    std::vector<AnyRecord> page;
    ASSERT_EQ(people.Set(nullptr), 0);
    ASSERT_EQ(people.NextRecords(2, page), 0);  // the vector now holds another table's records
    Table& log = Fresh(LogDef());
    for (const char* label : {"a", "b", "c", "d", "e"}) {
        log.Clear();
        log.Rec<LogLine>().Label = label;
        ASSERT_EQ(log.Add(), 0);
    }
    auto labels = [&] {
        std::string out;
        for (const AnyRecord& r : page) out += r.as<LogLine>().Label.str();
        return out;
    };
    ASSERT_EQ(log.Set(nullptr), 0);
    ASSERT_EQ(log.NextRecords(3, page), 0);
    EXPECT_EQ(labels(), "abc");
    ASSERT_EQ(log.NextRecords(3, page), 0);
    EXPECT_EQ(labels(), "de");
    EXPECT_EQ(log.NextRecords(3, page), kRecordNotAvailable);
    ASSERT_EQ(log.PreviousRecords(2, page), 0);
    EXPECT_EQ(labels(), "dc");
}

TEST_F(ReadRunsTest, RecordsReadAheadAreNotHandedOutOnceTheyAreGone) {
    Table& t = Fresh(def);
    // Rolled back: the records read ahead inside the transaction never were.
    ASSERT_EQ(Logout({&t}), 0);
    for (int i = 1; i <= 20; ++i) {
        t.Clear();
        t.Rec<Person>().ID = i;
        t.Rec<Person>().Code = "k" + std::to_string(i);
        t.Rec<Person>().City = "c" + std::to_string(i);
        ASSERT_EQ(t.Add(), 0);
    }
    ASSERT_EQ(t.Set(key("PER:KeyID")), 0);
    ASSERT_EQ(t.Next(), 0);
    ASSERT_EQ(t.Next(), 0);
    ASSERT_EQ(Rollback(), 0);
    EXPECT_EQ(t.Next(), kRecordNotAvailable);

    // Another program deletes records of a long run (and grows the file, so
    // its stamp moves whatever the clock's grain): once the engine looks at
    // the file again the deleted records are not read.
    for (int i = 1; i <= 100; ++i) {
        t.Clear();
        t.Rec<Person>().ID = i;
        t.Rec<Person>().Code = "k" + std::to_string(i);
        t.Rec<Person>().City = "c" + std::to_string(i);
        ASSERT_EQ(t.Add(), 0);
    }
    ASSERT_EQ(t.Set(key("PER:KeyID")), 0);
    for (int i = 1; i <= 11; ++i) ASSERT_EQ(t.Next(), 0);  // a fetch of 64 is read ahead
    Shell("sqlcipher " + path("People.TPS") +
          " \"PRAGMA key='s3cret!pw'; PRAGMA kdf_iter=4; DELETE FROM Person WHERE ID BETWEEN 12 AND 60;"
          " CREATE TABLE filler(x); INSERT INTO filler VALUES(zeroblob(200000));\"");
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<Person>().ID, 61);
}

}  // namespace
}  // namespace kr::test
