// The clipboard entry key, the monitor's store and trim, and the one-time
// re-keying of entries stored under the letters-only key.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "HousekeepingFixture.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/DataFileCheck.h"

namespace kr::test {
namespace {

using ::testing::ElementsAre;

TEST(ClipboardEntryKey, FoldsCaseAndPunctuationButKeepsDigitsAndScripts) {
    EXPECT_EQ(ClipboardEntryKey("Hello, World!"), "HELLOWORLD");
    EXPECT_EQ(ClipboardEntryKey("hello   world"), ClipboardEntryKey("HELLO-WORLD."));
    // Two phone numbers, two invoices: distinct entries.
    EXPECT_EQ(ClipboardEntryKey("Tel. 555-0101"), "TEL5550101");
    EXPECT_NE(ClipboardEntryKey("Invoice 1041"), ClipboardEntryKey("Invoice 1042"));
    // Letters of other scripts are kept and upper-cased.
    EXPECT_EQ(ClipboardEntryKey("привет мир"), "ПРИВЕТМИР");
    EXPECT_EQ(ClipboardEntryKey("Ωmega"), ClipboardEntryKey("ωMEGA"));
    EXPECT_NE(ClipboardEntryKey("東京"), ClipboardEntryKey("大阪"));
    EXPECT_EQ(ClipboardEntryKey("東京"), "東京");
    // Neither letters nor digits: the whole text without its outer blanks.
    EXPECT_EQ(ClipboardEntryKey("  --> <--  "), "--> <--");
    EXPECT_NE(ClipboardEntryKey("+++"), ClipboardEntryKey("***"));
}

TEST(ClipboardEntryKey, CutsAt120BytesOnACharacterBoundary) {
    EXPECT_EQ(ClipboardEntryKey(std::string(200, 'a')), std::string(120, 'A'));
    // 'ж' is two bytes, upper-cased 'Ж' too: never half a character.
    std::string text = "x";
    for (int i = 0; i < 100; ++i) text += "ж";
    const std::string key = ClipboardEntryKey(text);
    EXPECT_EQ(key.size(), 119u);  // "X" and 59 two-byte letters
    EXPECT_EQ(key.substr(0, 3), "XЖ");
    EXPECT_EQ(CutUtf8("aé", 2), "a");
    EXPECT_EQ(CutUtf8("aé", 3), "aé");
}

class ClipboardMonitorTest : public HousekeepingTest {
protected:
    void SetUp() override {
        HousekeepingTest::SetUp();
        ASSERT_EQ(OpenTable(table()), 0);
    }
    void TearDown() override {
        table().Close();
        HousekeepingTest::TearDown();
    }
    static data::Table& table() { return data::TableOf(ClipboardDef()); }
    static ClipboardRecord& CLI() { return table().Rec<ClipboardRecord>(); }

    void Copy(const std::string& text, const std::string& title = "") {
        monitor_.Offer(text, title);
        monitor_.SaveClipboard(maxEntries_);
        clock_.Advance(100);
    }
    // Contents in date order, oldest first.
    std::vector<std::string> Contents() {
        std::vector<std::string> out;
        table().Set(ClipboardDef().key("CLI:KeyClipDate"));
        while (table().Previous() == 0) out.push_back(CLI().ClipContents);
        return out;
    }
    void AddEntry(const std::string& text, uint8_t keep, const std::string& key) {
        CLI() = ClipboardRecord();
        CLI().ClipContents = text;
        CLI().ClipHashKey = key;
        CLI().ClipKeep = keep;
        CLI().ClipDate = Today();
        CLI().ClipTime = ClockTime();
        ASSERT_EQ(table().Add(), 0);
        clock_.Advance(100);
    }

    ClipboardMonitor monitor_;
    int32_t maxEntries_ = 0;
};

TEST_F(ClipboardMonitorTest, StoresEachNewTextOnceWithTheWindowTitleAsCategory) {
    Copy("Meeting at 10", "Mail - Inbox - a rather long window title");
    Copy("Meeting at 10", "Editor");       // the same text again: nothing new
    Copy("MEETING at 10!", "Editor");      // same key: refused, silently
    Copy("   \t  ", "Editor");             // blank
    Copy("Meeting at 11", "");             // digits differ: a second entry
    monitor_.SaveClipboard(0);              // nothing offered since
    EXPECT_THAT(Contents(), ElementsAre("Meeting at 10", "Meeting at 11"));
    EXPECT_EQ(monitor_.stored(), 2);
    EXPECT_TRUE(responder_.shown().empty());

    table().Set(ClipboardDef().key("CLI:KeyClipDate"));
    ASSERT_EQ(table().Previous(), 0);
    EXPECT_EQ(CLI().Category.str(), "Mail - Inbox - a rat");
    EXPECT_EQ(CLI().ClipHashKey.str(), "MEETINGAT10");
    EXPECT_EQ(CLI().ClipKeep, 0);
    EXPECT_EQ(CLI().ClipDate, D(2024, 7, 1));
    ASSERT_EQ(table().Previous(), 0);
    EXPECT_EQ(CLI().Category.str(), "General");
}

TEST_F(ClipboardMonitorTest, TrimsTheOldestUnsavedEntriesButNeverSavedOnes) {
    maxEntries_ = 3;
    AddEntry("kept old", 1, "KEPTOLD");
    AddEntry("one", 0, "ONE");
    AddEntry("two", 0, "TWO");
    AddEntry("three", 0, "THREE");
    // Four entries, three allowed: the oldest unsaved goes ("kept old" is
    // older but saved).
    Copy("four");
    EXPECT_THAT(Contents(), ElementsAre("kept old", "two", "three", "four"));

    // The oldest unsaved entry holds the text on the clipboard: it stays
    // and the next one goes.
    ClipboardMonitor::TrimClipboard(3, "two");
    EXPECT_THAT(Contents(), ElementsAre("kept old", "two", "four"));

    // Only saved entries over the limit: nothing is deleted.
    table().Set(ClipboardDef().key("CLI:KeyClipKeep"));
    while (table().Next() == 0) {
        CLI().ClipKeep = 1;
        ASSERT_EQ(table().Put(), 0);
    }
    ClipboardMonitor::TrimClipboard(1, "");
    EXPECT_THAT(Contents(), ElementsAre("kept old", "two", "four"));
}

TEST_F(ClipboardMonitorTest, EntriesOfTheOldKeyAreReKeyedOnce) {
    // Stored by the letters-only rule: the digits were left out.
    AddEntry("Call 555-0101", 1, "CALL");
    AddEntry("ticket 9", 0, "TICKET");
    AddEntry("TICKET 9!", 0, "TICKETX");  // its new key is taken by the row above
    EXPECT_EQ(RekeyClipboardEntries(), 2);
    EXPECT_EQ(GetSetting(kClipKeyRuleSetting), kClipKeyRule);

    std::vector<std::string> keys;
    table().Set(ClipboardDef().key("CLI:KeyClipHash"));
    while (table().Next() == 0) keys.push_back(CLI().ClipHashKey.str());
    EXPECT_THAT(keys, ElementsAre("CALL5550101", "TICKET9", "TICKETX"));

    // The same number copied again is not stored a second time; another is.
    Copy("call 555 0101");
    Copy("Call 555-0102");
    EXPECT_EQ(table().Records(), 4);

    // Once per data file.
    table().Set(ClipboardDef().key("CLI:KeyClipHash"));
    ASSERT_EQ(table().Next(), 0);
    CLI().ClipHashKey = "STALE";
    ASSERT_EQ(table().Put(), 0);
    ResetClipboardRekey();
    EXPECT_EQ(RekeyClipboardEntries(), 0);
}

TEST_F(ClipboardMonitorTest, ReKeyRunsInBatchesWhileTheMonitorWaits) {
    // Entries of the letters-only rule, each with digits the old key left out.
    constexpr int kEntries = 1000;
    for (int i = 0; i < kEntries; ++i) {
        std::string letters;
        for (int n = i; letters.size() < 3; n /= 26) letters += static_cast<char>('A' + n % 26);
        AddEntry("Note " + letters + " " + std::to_string(i), 0, "NOTE" + letters);
    }
    std::shared_ptr<ClipboardRekeyProcess> rekey = StartClipboardRekey();
    ASSERT_TRUE(rekey);
    EXPECT_EQ(rekey->total(), kEntries);
    EXPECT_FALSE(StartClipboardRekey()) << "one re-key at a time";
    EXPECT_EQ(RekeyClipboardEntries(), 0) << "the windows leave it to the running one";

    // A text copied meanwhile waits: nothing is stored until the re-key ends.
    Copy("Copied while re-keying");
    EXPECT_EQ(table().Records(), kEntries);
    int batches = 0;
    while (rekey->Step(rekey->batchSize())) {
        ++batches;
        EXPECT_TRUE(ClipboardRekeyRunning());
        monitor_.SaveClipboard(maxEntries_);
        EXPECT_EQ(table().Records(), kEntries);
    }
    EXPECT_GE(batches, kEntries / kClipboardRekeyBatch - 1);
    EXPECT_EQ(rekey->state(), ProcessState::Finished);
    EXPECT_EQ(rekey->rekeyed(), kEntries);
    EXPECT_FALSE(ClipboardRekeyRunning());
    EXPECT_EQ(GetSetting(kClipKeyRuleSetting), kClipKeyRule);
    monitor_.SaveClipboard(maxEntries_);
    EXPECT_EQ(table().Records(), kEntries + 1);
    EXPECT_FALSE(StartClipboardRekey());
}

TEST_F(ClipboardMonitorTest, AReKeyWhoseCommitIsRefusedRunsAgainAtTheNextStart) {
    for (int i = 0; i < 5; ++i) AddEntry("Note " + std::to_string(i), 0, "OLD" + std::to_string(i));
    std::shared_ptr<ClipboardRekeyProcess> rekey = StartClipboardRekey();
    ASSERT_TRUE(rekey);
    {
        // Another program reads the data file past the busy timeout.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2("KR97.TPS", &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        data::KeyConnection(db, "KR97.TPS", kOwnerPassword);
        ASSERT_EQ(sqlite3_exec(db, "BEGIN; SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr), SQLITE_OK);
        RunToEnd(*rekey);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    EXPECT_EQ(rekey->rekeyed(), 0);
    EXPECT_NE(GetSetting(kClipKeyRuleSetting), kClipKeyRule) << "recorded as done";
    bool logged = false;
    for (const auto& [label, text] : Log()) logged = logged || (label == "Clipboard" && text.find("re-key") != std::string::npos);
    EXPECT_TRUE(logged);

    // The next start re-keys them.
    ResetClipboardRekey();
    EXPECT_EQ(RekeyClipboardEntries(), 5);
    EXPECT_EQ(GetSetting(kClipKeyRuleSetting), kClipKeyRule);
}

}  // namespace
}  // namespace kr::test
