// Keys: how each kind orders and what it rejects; sequential reads, gets and
// writes through them.
#include <vector>

#include "DataFixture.h"
#include "platform/runtime/ErrorCodes.h"

namespace kr::test {
namespace {

class KeysTest : public DataTest {
protected:
    const TableDef& def = PersonDef();
    const KeyDef* key(const char* name) { return def.key(name); }

    int AddPerson(Table& t, int id, const std::string& name, const std::string& city = {}, int born = 0,
                  const std::string& code = {}, const std::string& tag = {}) {
        t.Clear();
        Person& p = t.Rec<Person>();
        p.ID = id;
        p.Name = name;
        p.City = city.empty() ? name + std::to_string(id) : city;
        p.Born = born;
        p.Code = code.empty() ? "c" + std::to_string(id) : code;
        p.Tag = tag;
        return t.Add();
    }

    // Names (or IDs) in the order of a key, read with Next from the start.
    std::vector<std::string> Names(Table& t, const KeyDef* k, bool backwards = false) {
        std::vector<std::string> out;
        EXPECT_EQ(t.Set(k), 0);
        while ((backwards ? t.Previous() : t.Next()) == 0) out.push_back(t.Rec<Person>().Name.str());
        EXPECT_EQ(LastErrorCode(), kRecordNotAvailable);
        return out;
    }
    std::vector<int> Ids(Table& t, const KeyDef* k, bool backwards = false) {
        std::vector<int> out;
        t.Set(k);
        while ((backwards ? t.Previous() : t.Next()) == 0) out.push_back(t.Rec<Person>().ID);
        return out;
    }
};

TEST_F(KeysTest, TextWithoutCaseOrdersAndRejectsRegardlessOfCase) {
    Table& t = Fresh(def);
    ASSERT_EQ(AddPerson(t, 1, "bob", "Paris"), 0);
    ASSERT_EQ(AddPerson(t, 2, "Alice", "Rome"), 0);
    ASSERT_EQ(AddPerson(t, 3, "carl", "Oslo"), 0);
    ASSERT_EQ(AddPerson(t, 4, "Bob", "Bonn"), 0);
    // Equal without case: kept in the order added.
    EXPECT_EQ(Names(t, key("PER:KeyName")), (std::vector<std::string>{"Alice", "bob", "Bob", "carl"}));
    EXPECT_EQ(Names(t, key("PER:KeyName"), true), (std::vector<std::string>{"carl", "Bob", "bob", "Alice"}));

    // The unique City+Name key refuses a second "PARIS"/"BOB" whatever its case.
    EXPECT_EQ(AddPerson(t, 5, "BOB", "PARIS"), kDuplicateKey);
    EXPECT_EQ(LastDuplicateKey(), "PER:KeyCity");
    EXPECT_EQ(t.Records(), 4);

    // A get without case finds the first in key order.
    t.Clear();
    t.Rec<Person>().Name = "BOB";
    ASSERT_EQ(t.Get(key("PER:KeyName")), 0);
    EXPECT_EQ(t.Rec<Person>().ID, 1);
    t.Rec<Person>().Name = "nobody";
    EXPECT_EQ(t.Get(key("PER:KeyName")), kRecordNotFound);
}

TEST_F(KeysTest, CaseSensitiveKeyTellsCasesApart) {
    Table& t = Fresh(def);
    ASSERT_EQ(AddPerson(t, 1, "a", "", 0, "abc"), 0);
    ASSERT_EQ(AddPerson(t, 2, "b", "", 0, "ABC"), 0);
    ASSERT_EQ(AddPerson(t, 3, "c", "", 0, "Abc"), 0);
    EXPECT_EQ(AddPerson(t, 4, "d", "", 0, "abc"), kDuplicateKey);
    EXPECT_EQ(LastDuplicateKey(), "PER:KeyCode");
    EXPECT_EQ(Ids(t, key("PER:KeyCode")), (std::vector<int>{2, 3, 1}));  // "ABC" < "Abc" < "abc"
    t.Clear();
    t.Rec<Person>().Code = "ABC";
    ASSERT_EQ(t.Get(key("PER:KeyCode")), 0);
    EXPECT_EQ(t.Rec<Person>().ID, 2);
}

TEST_F(KeysTest, DescendingComponentOrdersNewestFirst) {
    Table& t = Fresh(def);
    AddPerson(t, 1, "m", "", 1990);
    AddPerson(t, 2, "z", "", 1970);
    AddPerson(t, 3, "a", "", 1990);
    AddPerson(t, 4, "q", "", 2000);
    EXPECT_EQ(Ids(t, key("PER:KeyBorn")), (std::vector<int>{4, 3, 1, 2}));
    EXPECT_EQ(Ids(t, key("PER:KeyBorn"), true), (std::vector<int>{2, 1, 3, 4}));
    // SET(key, key) at 1990: Next reads the first at or after it in key
    // order, Previous the last at or before it.
    t.Clear();
    t.Rec<Person>().Born = 1990;
    ASSERT_EQ(t.SetFrom(key("PER:KeyBorn")), 0);
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<Person>().ID, 3);
    t.Clear();
    t.Rec<Person>().Born = 1990;
    t.Rec<Person>().Name = "zz";
    ASSERT_EQ(t.SetFrom(key("PER:KeyBorn")), 0);
    ASSERT_EQ(t.Previous(), 0);
    EXPECT_EQ(t.Rec<Person>().ID, 1);
    ASSERT_EQ(t.Previous(), 0);
    EXPECT_EQ(t.Rec<Person>().ID, 3);
}

TEST_F(KeysTest, DuplicatesKeepInsertionOrderAcrossManyPages) {
    Table& t = Fresh(def);
    ASSERT_EQ(Logout({&t}), 0);
    for (int i = 1; i <= 300; ++i) ASSERT_EQ(AddPerson(t, i, i % 3 == 0 ? "zed" : "same"), 0);
    ASSERT_EQ(Commit(), 0);
    std::vector<int> ids = Ids(t, key("PER:KeyName"));
    ASSERT_EQ(ids.size(), 300u);
    // All "same" records (in the order added), then all "zed" ones.
    std::vector<int> want;
    for (int i = 1; i <= 300; ++i)
        if (i % 3) want.push_back(i);
    for (int i = 3; i <= 300; i += 3) want.push_back(i);
    EXPECT_EQ(ids, want);
    std::vector<int> back = Ids(t, key("PER:KeyName"), true);
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, want);
    EXPECT_EQ(Ids(t, nullptr).size(), 300u);
}

TEST_F(KeysTest, AutoNumberIsMaxPlusOneAndWithinTheFirstComponent) {
    Table& t = Fresh(def);
    const KeyDef* id = key("PER:KeyID");
    for (int i = 0; i < 3; ++i) {
        AddPerson(t, 0, "n" + std::to_string(i));
        t.Clear();
    }
    // The rows above were added with ID 0 through Add: only one may be
    // stored with ID 0 under the primary key.
    EXPECT_EQ(t.Records(), 1);

    Table& items = Fresh(ItemDef());
    auto addItem = [&](int owner) {
        items.Clear();
        items.Rec<Item>().Owner = owner;
        EXPECT_EQ(items.AddAutoNumbered(ItemDef().key("ITM:KeySeq")), 0);
        return items.Rec<Item>().Seq;
    };
    EXPECT_EQ(addItem(1), 1);
    EXPECT_EQ(addItem(1), 2);
    EXPECT_EQ(addItem(2), 1);
    EXPECT_EQ(addItem(1), 3);

    t.Clear();
    t.Rec<Person>().Name = "x";
    t.Rec<Person>().City = "x";
    t.Rec<Person>().Code = "x";
    ASSERT_EQ(t.AddAutoNumbered(id), 0);
    EXPECT_EQ(t.Rec<Person>().ID, 1);
    AddPerson(t, 10, "ten");
    t.Clear();
    t.Rec<Person>().Code = "y";
    t.Rec<Person>().City = "y";
    ASSERT_EQ(t.AddAutoNumbered(id), 0);
    EXPECT_EQ(t.Rec<Person>().ID, 11);
    ASSERT_EQ(t.Delete(), 0);
    t.Clear();
    t.Rec<Person>().Code = "z";
    t.Rec<Person>().City = "z";
    ASSERT_EQ(t.AddAutoNumbered(id), 0);
    EXPECT_EQ(t.Rec<Person>().ID, 11);
}

// Inside a transaction (as an import adds its records) a numbered add that
// another key refuses leaves nothing of itself in any key; the rows before
// and after it stay and are committed together.
TEST_F(KeysTest, RefusedNumberedAddInATransactionLeavesNoHalfRow) {
    Table& t = Fresh(def);
    const KeyDef* id = key("PER:KeyID");
    ASSERT_EQ(Logout({&t}), 0);
    auto addNumbered = [&](const std::string& name, const std::string& tag) {
        t.Clear();
        t.Rec<Person>().Name = name;
        t.Rec<Person>().City = name;
        t.Rec<Person>().Code = name;
        t.Rec<Person>().Tag = tag;
        return t.AddAutoNumbered(id);
    };
    ASSERT_EQ(addNumbered("a", "t1"), 0);
    EXPECT_EQ(addNumbered("b", "t1"), kDuplicateKey);
    EXPECT_EQ(LastDuplicateKey(), "PER:KeyTag");
    ASSERT_EQ(addNumbered("c", "t2"), 0);
    EXPECT_EQ(t.Rec<Person>().ID, 2);
    ASSERT_EQ(Commit(), 0);
    for (const char* k : {"PER:KeyID", "PER:KeyName", "PER:KeyTag"}) EXPECT_EQ(t.Records(key(k)), 2) << k;
    EXPECT_EQ(Names(t, key("PER:KeyName")), (std::vector<std::string>{"a", "c"}));
}

TEST_F(KeysTest, KeyExcludingEmptyValuesAllowsManyEmptyOnes) {
    Table& t = Fresh(def);
    ASSERT_EQ(AddPerson(t, 1, "a"), 0);
    ASSERT_EQ(AddPerson(t, 2, "b"), 0);
    ASSERT_EQ(AddPerson(t, 3, "c", "", 0, "", "t1"), 0);
    EXPECT_EQ(AddPerson(t, 4, "d", "", 0, "", "t1"), kDuplicateKey);
    EXPECT_EQ(LastDuplicateKey(), "PER:KeyTag");
    EXPECT_EQ(t.Records(key("PER:KeyTag")), 1);
    EXPECT_EQ(Ids(t, key("PER:KeyTag")), (std::vector<int>{3}));
}

TEST_F(KeysTest, WritesMoveRecordsAndReportWhatIsWrong) {
    Table& t = Fresh(def);
    AddPerson(t, 1, "anna");
    AddPerson(t, 2, "bert");
    AddPerson(t, 3, "cleo");
    const KeyDef* name = key("PER:KeyName");
    t.Set(name);
    ASSERT_EQ(t.Next(), 0);  // anna
    Position atAnna = t.GetPosition();
    t.Rec<Person>().Name = "zoe";
    ASSERT_EQ(t.Put(), 0);
    // The sequence goes on from where the record was read.
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<Person>().Name.str(), "bert");
    EXPECT_EQ(Names(t, name), (std::vector<std::string>{"bert", "cleo", "zoe"}));

    // A value too long for its field is cut, as the runtime does.
    t.Clear();
    t.Rec<Person>().ID = 4;
    t.Rec<Person>().Name = "abcdefghijklmnopqrstuvwxyz";
    t.Rec<Person>().City = "x";
    t.Rec<Person>().Code = "x";
    ASSERT_EQ(t.Add(), 0);
    t.Clear();
    t.Rec<Person>().ID = 4;
    ASSERT_EQ(t.Get(key("PER:KeyID")), 0);
    EXPECT_EQ(t.Rec<Person>().Name.str(), "abcdefghijklmnopqrst");

    // A duplicate on PUT leaves the stored record as it was.
    t.Rec<Person>().Code = "c2";
    EXPECT_EQ(t.Put(), kDuplicateKey);
    ASSERT_EQ(t.Get(key("PER:KeyID")), 0);
    EXPECT_EQ(t.Rec<Person>().Code.str(), "x");

    ASSERT_EQ(t.Reget(atAnna), 0);
    EXPECT_EQ(t.Rec<Person>().Name.str(), "zoe");
    ASSERT_EQ(t.Delete(), 0);
    EXPECT_EQ(t.Delete(), kRecordNotAvailable);
    EXPECT_EQ(t.Put(), kRecordNotAvailable);
    EXPECT_EQ(t.Records(), 3);

    // The memo travels with its record.
    t.Clear();
    t.Rec<Person>().ID = 9;
    t.Rec<Person>().Code = "m";
    t.Rec<Person>().City = "m";
    t.Rec<Person>().Notes = std::string(150, 'n');
    ASSERT_EQ(t.Add(), 0);
    t.Clear();
    t.Rec<Person>().ID = 9;
    ASSERT_EQ(t.Get(key("PER:KeyID")), 0);
    EXPECT_EQ(t.Rec<Person>().Notes, std::string(100, 'n'));
}

TEST_F(KeysTest, ReadsOfAnotherProgramsChangesAreNotStale) {
    Table& t = Fresh(def);
    for (int i = 1; i <= 5; ++i) AddPerson(t, i, "p" + std::to_string(i));
    t.Set(key("PER:KeyID"));
    ASSERT_EQ(t.Next(), 0);  // reads a page ahead
    // A change through a second connection to the file (as another program
    // makes it) shows in the next read.
    std::string cmd = "sqlcipher " + path("People.TPS") +
                      " \"PRAGMA key='s3cret!pw'; PRAGMA kdf_iter=4; UPDATE Person SET Name='changed' WHERE ID=2;\"";
    Shell(cmd);
    ASSERT_EQ(t.Next(), 0);
    EXPECT_EQ(t.Rec<Person>().Name.str(), "changed");
}

}  // namespace
}  // namespace kr::test
