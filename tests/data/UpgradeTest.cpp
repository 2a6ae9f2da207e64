// The upgrade library: a table stored at a lower version is converted on
// open and keeps its data; one it cannot convert, or one of a newer version,
// is error 47 and stays as it was.
#include "DataFixture.h"
#include "platform/data/FileManager.h"
#include "platform/data/Upgrade.h"
#include "platform/runtime/ErrorCodes.h"

namespace kr::test {
namespace {

struct ContactV1 {
    int32_t ID = 0;
    FString<10> Name;
    FString<10> Filename;
    int32_t Gone = 0;
    FString<12> Phone;
};
struct ContactV2 {
    int32_t ID = 0;
    FString<20> Name;
    FString<10> DOSFilename;  // was Filename
    int32_t Level = 0;        // new
    FString<4> Phone;         // narrower
    std::string Notes;        // new memo
};

const TableDef& V1() {
    static const TableDef def = TableBuilder<ContactV1>("Contact", "CON")
                                    .storedAs("Book\\!Contact")
                                    .owner("pw")
                                    .version(1)
                                    .field("CON:ID", &ContactV1::ID)
                                    .field("CON:Name", &ContactV1::Name)
                                    .field("CON:Filename", &ContactV1::Filename)
                                    .field("CON:Gone", &ContactV1::Gone)
                                    .field("CON:Phone", &ContactV1::Phone)
                                    .key("CON:KeyID", "ID", {"CON:ID"}, kPrimary)
                                    .key("CON:KeyName", "Name", {"CON:Name"})
                                    .build();
    return def;
}
TableDef Make(bool uniquePhone) {
    return TableBuilder<ContactV2>("Contact", "CON")
        .storedAs("Book\\!Contact")
        .owner("pw")
        .version(2)
        .field("CON:ID", &ContactV2::ID)
        .field("CON:Name", &ContactV2::Name)
        .field("CON:DOSFilename", &ContactV2::DOSFilename)
        .field("CON:Level", &ContactV2::Level)
        .field("CON:Phone", &ContactV2::Phone)
        .key("CON:KeyID", "ID", {"CON:ID"}, kPrimary)
        .key("CON:KeyLevel", "Level", {"CON:Level", "CON:Name"})
        .key("CON:KeyPhone", "Phone", {"CON:Phone"}, uniquePhone ? kUnique : kDuplicates)
        .memo("CON:Notes", &ContactV2::Notes, 50)
        .build();
}

const TableDef& V2(bool uniquePhone = false) {
    static const TableDef plain = Make(false);
    static const TableDef unique = Make(true);
    return uniquePhone ? unique : plain;
}

class ContactFile : public FileManagerT<ContactV2> {
public:
    void SetNewRecordDefaults() override {
        rec().Level = 7;
        rec().Notes = "none yet";
    }
};

class UpgradeTest : public DataTest {
protected:
    void SetUp() override {
        DataTest::SetUp();
        ResetUpgradeRegistrations();
        Table& old = Fresh(V1());
        const char* phones[] = {"555-1234", "555-9999", "555-1234"};
        for (int i = 1; i <= 3; ++i) {
            old.Clear();
            ContactV1& c = old.Rec<ContactV1>();
            c.ID = i;
            c.Name = "name" + std::to_string(i);
            c.Filename = "f" + std::to_string(i) + ".txt";
            c.Gone = 99;
            c.Phone = phones[i - 1];
            ASSERT_EQ(old.Add(), 0);
        }
        old.Close();
    }
    void TearDown() override {
        ResetUpgradeRegistrations();
        DataTest::TearDown();
    }
    void Register(const TableDef& def, int version) {
        ds_AddDriver("Tps");
        ds_IgnoreDriver("AllFiles", 1);
        ds_UsingFile("CON", "Contact", def, version);
        // The programs pass the two names in either order.
        ds_AlternateFieldName("CON:Filename", "CON:DOSFilename");
    }
};

TEST_F(UpgradeTest, LowerVersionIsConvertedAndKeepsItsData) {
    ContactFile fm;
    fm.Init(V2(), nullptr);
    Register(V2(), 2);
    Table& t = T(V2());
    // A plain open sees the old layout.
    EXPECT_EQ(t.Open(), kInvalidRecordDeclaration);
    ASSERT_EQ(ds_FileOpen(t, kModeShared), 0) << LastFileErrorText();
    EXPECT_EQ(t.StoredVersion(), 2);
    EXPECT_EQ(t.Records(), 3);
    t.Clear();
    t.Rec<ContactV2>().ID = 2;
    ASSERT_EQ(t.Get(V2().key("CON:KeyID")), 0);
    ContactV2& c = t.Rec<ContactV2>();
    EXPECT_EQ(c.Name.str(), "name2");
    EXPECT_EQ(c.DOSFilename.str(), "f2.txt");  // carried over from its earlier name
    EXPECT_EQ(c.Level, 7);                     // new field: its new-record value
    EXPECT_EQ(c.Notes, "none yet");
    EXPECT_EQ(c.Phone.str(), "555-");          // cut to the narrower field
    // The new key is there and orders.
    t.Set(V2().key("CON:KeyLevel"));
    int n = 0;
    while (t.Next() == 0) ++n;
    EXPECT_EQ(n, 3);
    t.Close();
    // Opening again converts nothing more.
    ASSERT_EQ(ds_FileOpen(t, kModeShared), 0);
    EXPECT_EQ(t.Records(), 3);
    fm.Shutdown();
}

TEST_F(UpgradeTest, NewerStoredVersionIsRefused) {
    Register(V2(), 2);
    Table& newer = T(V2());
    ASSERT_EQ(ds_FileOpen(newer, kModeShared), 0);
    newer.Close();
    // A program that knows only version 1 cannot use the file now.
    ResetUpgradeRegistrations();
    Register(V1(), 1);
    Table& t = T(V1());
    EXPECT_EQ(ds_FileOpen(t, kModeShared), kInvalidRecordDeclaration);
    EXPECT_NE(LastFileErrorText().find("newer"), std::string::npos);
    EXPECT_EQ(t.Open(), kInvalidRecordDeclaration);
    EXPECT_EQ(newer.Open(), 0);
    EXPECT_EQ(newer.Records(), 3);
}

TEST_F(UpgradeTest, ConversionThatCannotBeMadeLeavesTheTableAsItWas) {
    // The new layout wants phone numbers unique; two records share one.
    Register(V2(true), 2);
    Table& t = T(V2(true));
    EXPECT_EQ(ds_FileOpen(t, kModeShared), kInvalidRecordDeclaration);
    ResetUpgradeRegistrations();
    Table& old = T(V1());
    ASSERT_EQ(old.Open(), 0);
    EXPECT_EQ(old.Records(), 3);
    EXPECT_EQ(old.StoredVersion(), 1);
    old.Clear();
    old.Rec<ContactV1>().ID = 3;
    ASSERT_EQ(old.Get(V1().key("CON:KeyID")), 0);
    EXPECT_EQ(old.Rec<ContactV1>().Gone, 99);
}

TEST_F(UpgradeTest, SameVersionOtherLayoutIsRefused) {
    Register(V2(), 1);  // claims version 1 with a different layout
    Table& t = T(V2());
    EXPECT_EQ(ds_FileOpen(t, kModeShared), kInvalidRecordDeclaration);
}

}  // namespace
}  // namespace kr::test
