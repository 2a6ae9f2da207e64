// What OK stores: the order of the names, the clamps and inversions, the
// date-format names, "/I" that must not make the inactive state stick, and
// the values read back into the running program.
#include "../startup/StartupFixture.h"
#include "dictionary/OptionsStore.h"

#include <sqlite3.h>

#include <algorithm>
#include <map>

#include "../support/SmallDisk.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/DataFileCheck.h"
#include "platform/data/WriteFault.h"

namespace kr::test {
namespace {

class OptionsStoreTest : public StartupTest {
protected:
    static std::vector<std::string> Names(const std::vector<StoredSetting>& s) {
        std::vector<std::string> n;
        for (const auto& p : s) n.push_back(p.first);
        return n;
    }
    static std::map<std::string, std::string> Values(const std::vector<StoredSetting>& s) {
        return std::map<std::string, std::string>(s.begin(), s.end());
    }
};

TEST_F(OptionsStoreTest, NamesAreWrittenInTheirOrderWithTheWindowCopiesAndTheDateLast) {
    OptionsEdits e;
    e.dateEntry = "OCT 31,1959";
    const std::vector<std::string> expected = {
        "SysLock", "SysPwd", "NewProc16", "LogExitCodes", "SkipIfDaysPassed", "HistoryExpires",
        "RemoveUncompleted", "StartUpSchedule", "StartUpToDo", "StartUpClipboardSaver", "StartUpContacts",
        "StartUpActive", "StartUpMinimized", "MinimizeOnCloseRequest", "FullSchedule", "HideToolbar", "RIFO",
        "NoTray", "SaveScripts", "TranslateFilenames", "MaximizeOnRun", "UseExternalMessage", "UseKRMsg",
        "MultiUser", "UserID", "LogEvents", "MonitorClipboard", "UseModalMessage", "MaxClipboardEntries",
        "ActiveOnly", "ExclHidden", "Sender", "SenderName", "Host", "Org", "NSender", "NSenderName", "NHost",
        "NOrg", "RepeatAlarmInterval", "MaxAlarmTime", "SnoozeInterval", "ScriptingDelay", "BurstSize",
        "DateFormat", "CM:Mode", "CM:OnTop", "CM:UseEx", "MaxLogSize"};
    EXPECT_EQ(Names(OptionsToStore(e, "")), expected);
}

TEST_F(OptionsStoreTest, ClampsAndInvertedFlags) {
    OptionGlobals& o = Options();
    OptionsEdits e;
    e.scriptingDelay = 10;
    e.burstSize = 0;
    o.StartUpSchedule = 1;
    o.StartUpActive = 0;
    o.UseExternalMessage = 0;
    for (int32_t repeat : {0, 1, 3, 4, 5, 60}) {
        o.RepeatAlarmInterval = repeat;
        auto v = Values(OptionsToStore(e, ""));
        const std::string want = repeat >= 1 && repeat <= 4 ? "5" : std::to_string(repeat);
        EXPECT_EQ(v["RepeatAlarmInterval"], want) << repeat;
        EXPECT_EQ(v["StartUpSchedule"], "0");
        EXPECT_EQ(v["StartUpActive"], "1");
        EXPECT_EQ(v["UseExternalMessage"], "0");
        EXPECT_EQ(v["UseKRMsg"], "0");
        // The window copies are stored as entered; they are raised when read.
        EXPECT_EQ(v["ScriptingDelay"], "10");
        EXPECT_EQ(v["BurstSize"], "0");
    }
}

TEST_F(OptionsStoreTest, DateFormatNamesAndCodes) {
    const std::map<std::string, std::string> list = {
        {"Windows Default", "d17"}, {"October 31, 1959", "d4"}, {"OCT 31,1959", "d3"},  {"10/31/59", "d1"},
        {"10/31/1959", "d2"},       {"31 OCT 59", "d7"},        {"31 OCT 1959", "d8"},  {"31/10/59", "d5"},
        {"31/10/1959", "d6"},       {"Windows Default 2", "d18"}};
    ASSERT_EQ(kDateFormatList.size(), list.size());
    EXPECT_STREQ(kDateFormatList.front().name, "Windows Default");
    EXPECT_STREQ(kDateFormatList.back().name, "Windows Default 2");
    for (const auto& [name, code] : list) {
        EXPECT_EQ(DateFormatCode(name), code);
        EXPECT_EQ(DateFormatName(code), name);
    }
    // Codes the list does not offer are shown, and kept, by their example.
    EXPECT_EQ(DateFormatName("d15"), "59/10");
    EXPECT_EQ(DateFormatName("N4B"), "Year Only");
    EXPECT_EQ(DateFormatCode("Year Only"), "n4b");
    EXPECT_EQ(DateFormatName("d9"), "");
    EXPECT_EQ(DateFormatCode("nonsense"), "");

    // An entry that maps to nothing keeps the current code.
    Options().GlobalDateFormat = "d15";
    OptionsEdits e;
    EXPECT_EQ(Values(OptionsToStore(e, ""))["DateFormat"], "d15");
    e.dateEntry = "31/10/1959";
    EXPECT_EQ(Values(OptionsToStore(e, ""))["DateFormat"], "d6");
}

TEST_F(OptionsStoreTest, LockPasswordsMustAgreeOnlyWhileLocked) {
    OptionsEdits e;
    e.password = "alpha";
    e.confirm = "beta";
    EXPECT_FALSE(LockPasswordsAgree(true, e));
    EXPECT_TRUE(LockPasswordsAgree(false, e));
    e.confirm = "alpha  ";
    EXPECT_TRUE(LockPasswordsAgree(true, e));
}

TEST_F(OptionsStoreTest, SaveStoresTheValuesAndReadsTheTimingBack) {
    OptionGlobals& o = Options();
    o.SysLock = 1;
    o.RepeatAlarmInterval = 3;
    o.MaxClipboardEntries = 120;
    o.Email_Sender = "me@example.com";
    OptionsEdits e;
    e.password = e.confirm = "open sesame";
    e.scriptingDelay = 10;
    e.burstSize = 0;
    e.dateEntry = "October 31, 1959";
    e.dateEntryOnOpening = "OCT 31,1959";
    const OptionsSaveResult r = SaveOptions(e);
    EXPECT_TRUE(r.dateFormatChanged);
    EXPECT_EQ(Stored("SysPwd"), "open sesame");
    EXPECT_EQ(Stored("RepeatAlarmInterval"), "5");
    EXPECT_EQ(Stored("ScriptingDelay"), "10");
    EXPECT_EQ(Stored("MaxClipboardEntries"), "120");
    EXPECT_EQ(Stored("Sender"), "me@example.com");
    EXPECT_EQ(Stored("DateFormat"), "d4");
    EXPECT_EQ(o.RepeatAlarmInterval.load(), 5);
    EXPECT_EQ(o.GlobalDelay.load(), 25);  // stored 10, takes effect as 25
    EXPECT_EQ(o.BurstSize.load(), 7);
    EXPECT_EQ(o.GlobalDateFormat.get(), "d4");
    EXPECT_TRUE(Titles().empty());

    // Choosing the entry of opening again is no change; with the lock off
    // the password stays as stored.
    o.SysLock = 0;
    e.password = e.confirm = "ignored";
    e.dateEntryOnOpening = e.dateEntry;
    EXPECT_FALSE(SaveOptions(e).dateFormatChanged);
    EXPECT_EQ(Stored("SysPwd"), "open sesame");

    // The entries kept survive a restart: MaxClipboardEntries is read back.
    ResetOptions();
    EXPECT_EQ(Options().MaxClipboardEntries.load(), 50);
    LoadSettings();
    EXPECT_EQ(Options().MaxClipboardEntries.load(), 120);
    EXPECT_EQ(Options().GlobalDateFormat.get(), "d4");
}

TEST_F(OptionsStoreTest, InactiveSwitchDoesNotMakeTheStateStick) {
    OptionsEdits e;
    // Stored active (inverted: 0), started with "/I".
    PutSetting("StartUpActive", "0");
    SetProgramArguments({"/I"});
    LoadSettings();
    ASSERT_EQ(Options().StartUpActive.load(), 0);
    SaveOptions(e);
    EXPECT_EQ(Stored("StartUpActive"), "0");
    SetProgramArguments({});
    LoadSettings();
    EXPECT_EQ(Options().StartUpActive.load(), 1);

    // Nothing stored yet: nothing is written for it.
    PutSetting("StartUpActive", "");
    SetProgramArguments({"/I"});
    EXPECT_EQ(Names(OptionsToStore(e, "")).size(), Names(OptionsToStore(OptionsEdits{}, "0")).size() - 1);

    // The user clearing the box while "/I" is in effect is what is stored.
    Options().StartUpActive = 0;
    e.schedulerActiveChanged = true;
    SaveOptions(e);
    EXPECT_EQ(Stored("StartUpActive"), "1");
    SetProgramArguments({});
    LoadSettings();
    EXPECT_EQ(Options().StartUpActive.load(), 0);
}

// Another program's connection to the data file, holding it in the way the
// statement given takes it (a read: others may write but not commit; an
// immediate transaction: others may not write).
class OtherConnection {
public:
    OtherConnection(const std::string& path, const char* begin) {
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
        data::KeyConnection(db_, path, kOwnerPassword);
        ok_ = sqlite3_exec(db_, begin, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~OtherConnection() {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
    }
    bool ok() const { return ok_; }

private:
    sqlite3* db_ = nullptr;
    bool ok_ = false;
};

TEST_F(OptionsStoreTest, ASaveTheFileRefusesIsToldOnceAndTheNewValuesLastTheRun) {
    // Set before the data file opens: a connection takes it when made.
    data::SetBusyTimeout(300);
    struct Restore {
        ~Restore() { data::SetBusyTimeout(5000); }
    } restore;
    PutSetting("MaxClipboardEntries", "50");
    PutSetting("ScriptingDelay", "30");
    OptionGlobals& o = Options();
    OptionsEdits e;
    e.scriptingDelay = 40;

    // A reader holds the file: the values are written, the commit is refused.
    {
        OtherConnection reader("KR97.TPS", "BEGIN; SELECT count(*) FROM sqlite_master;");
        ASSERT_TRUE(reader.ok());
        o.MaxClipboardEntries = 120;
        SaveOptions(e);
        ASSERT_EQ(responder_.shown().size(), 1u) << "told once";
        EXPECT_EQ(responder_.shown()[0].request.title, "Error!");
        EXPECT_EQ(responder_.shown()[0].request.text.rfind("Error writing configuration information.  Code 32 - ", 0),
                  0u)
            << responder_.shown()[0].request.text;
    }
    EXPECT_EQ(Stored("MaxClipboardEntries"), "50");
    EXPECT_EQ(Stored("ScriptingDelay"), "30");
    EXPECT_EQ(o.MaxClipboardEntries.load(), 120);
    EXPECT_EQ(o.GlobalDelay.load(), 40) << "the entered delay, not the stored one";

    // A writer holds it: the batch cannot begin; one box, not one per setting.
    {
        OtherConnection writer("KR97.TPS", "BEGIN IMMEDIATE;");
        ASSERT_TRUE(writer.ok());
        o.MaxClipboardEntries = 130;
        SaveOptions(e);
        EXPECT_EQ(responder_.shown().size(), 2u);
    }
    EXPECT_EQ(Stored("MaxClipboardEntries"), "50");
    EXPECT_EQ(o.MaxClipboardEntries.load(), 130);

    // Free again, the same save stores.
    SaveOptions(e);
    EXPECT_EQ(responder_.shown().size(), 2u);
    EXPECT_EQ(Stored("MaxClipboardEntries"), "130");
}

// Five settings changed from what is stored.
struct FiveChanges {
    static void Store() {
        PutSetting("MaxClipboardEntries", "50");
        PutSetting("ScriptingDelay", "30");
        PutSetting("Sender", "old@example.com");
        PutSetting("Host", "old.example.com");
        PutSetting("SnoozeInterval", "5");
    }
    static OptionsEdits Make() {
        OptionGlobals& o = Options();
        o.MaxClipboardEntries = 120;
        o.Email_Sender = "new@example.com";
        o.Email_Host = "new.example.com";
        o.SnoozeInterval = 9;
        OptionsEdits e;
        e.scriptingDelay = 40;
        return e;
    }
};

class OptionsFaultTest : public OptionsStoreTest {
protected:
    void TearDown() override {
        data::ClearWriteFault();
        OptionsStoreTest::TearDown();
    }
    void ExpectNothingStored(const std::string& what) {
        EXPECT_EQ(Stored("MaxClipboardEntries"), "50") << what;
        EXPECT_EQ(Stored("ScriptingDelay"), "30") << what;
        EXPECT_EQ(Stored("Sender"), "old@example.com") << what;
        EXPECT_EQ(Stored("Host"), "old.example.com") << what;
        EXPECT_EQ(Stored("SnoozeInterval"), "5") << what;
    }
    void ExpectAllStored(const std::string& what) {
        EXPECT_EQ(Stored("MaxClipboardEntries"), "120") << what;
        EXPECT_EQ(Stored("ScriptingDelay"), "40") << what;
        EXPECT_EQ(Stored("Sender"), "new@example.com") << what;
        EXPECT_EQ(Stored("Host"), "new.example.com") << what;
        EXPECT_EQ(Stored("SnoozeInterval"), "9") << what;
    }
    // The one box of a failed save: its cause, and that nothing was saved.
    void ExpectToldOnce(const std::string& cause, const std::string& what) {
        ASSERT_EQ(responder_.shown().size(), 1u) << what;
        const std::string text = responder_.shown()[0].request.text;
        EXPECT_EQ(text.rfind("Error writing configuration information.  Code ", 0), 0u) << what << ": " << text;
        EXPECT_NE(text.find(cause), std::string::npos) << what << ": " << text;
        EXPECT_NE(text.find("None of the changes was saved."), std::string::npos) << what << ": " << text;
    }
};

TEST_F(OptionsFaultTest, AFailingWriteAnywhereInTheSaveIsToldOnceWithItsCauseAndStoresNothing) {
    OptionsEdits e = FiveChanges::Make();
    SaveOptions(e);  // every setting stored once
    FiveChanges::Store();
    // The writes of one save: the batch's begin, five records, the commit.
    data::CountWrites();
    SaveOptions(e);
    const int64_t writes = data::WritesCounted();
    ASSERT_EQ(writes, 7);
    ExpectAllStored("without a fault");
    struct Cause {
        data::WriteFaultCause cause;
        const char* text;
    };
    for (Cause c : {Cause{data::WriteFaultCause::DiskFull, "Disk full"},
                    Cause{data::WriteFaultCause::Busy, "Code 32 - File Is Already Locked: database is locked"},
                    Cause{data::WriteFaultCause::Replaced, "attempt to write a readonly database"}}) {
        for (int64_t k = 1; k <= writes; ++k) {
            const std::string what = std::string(c.text) + ", write " + std::to_string(k);
            data::ClearWriteFault();
            FiveChanges::Store();
            e = FiveChanges::Make();
            responder_.clear();
            data::SetWriteFault(c.cause, k);
            SaveOptions(e);
            ExpectToldOnce(c.text, what);
            data::ClearWriteFault();
            ExpectNothingStored(what);
            EXPECT_EQ(Options().MaxClipboardEntries.load(), 120) << what << ": the new values last the run";
            // The fault gone, the same OK stores everything.
            SaveOptions(e);
            EXPECT_EQ(responder_.shown().size(), 1u) << what;
            ExpectAllStored(what + ", then saved again");
        }
    }
}

TEST_F(OptionsFaultTest, OutsideABatchTheFirstFailingWriteEndsTheSaveWithOneBox) {
    SaveOptions(FiveChanges::Make());
    FiveChanges::Store();
    // Inside the caller's transaction the save is no batch of its own.
    data::Table& t = data::TableOf(ConfigurationDef());
    ASSERT_EQ(data::Logout({&t}), 0);
    OptionsEdits e = FiveChanges::Make();
    data::SetWriteFault(data::WriteFaultCause::DiskFull, 1);
    SaveOptions(e);
    EXPECT_EQ(data::WritesCounted(), 1) << "one failed write ends the save";
    data::ClearWriteFault();
    ExpectToldOnce("Disk full", "in the caller's transaction");
    data::Rollback();
    ExpectNothingStored("in the caller's transaction");

    // A later write failing: the box says some changes were not saved.
    ASSERT_EQ(data::Logout({&t}), 0);
    responder_.clear();
    data::SetWriteFault(data::WriteFaultCause::DiskFull, 3);
    SaveOptions(e);
    data::ClearWriteFault();
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_NE(responder_.shown()[0].request.text.find("Some of the changes were not saved."), std::string::npos)
        << responder_.shown()[0].request.text;
    data::Rollback();
}

TEST_F(OptionsFaultTest, ASaveOnAFullDiskIsToldOnceAndStoresNothing) {
    SmallDisk disk(dir_ / "disk", "2m");
    if (!disk.refused().empty()) GTEST_SKIP() << disk.refused();
    std::filesystem::current_path(disk.path());
    SaveOptions(FiveChanges::Make());
    FiveChanges::Store();
    OptionsEdits e = FiveChanges::Make();
    {
        std::ofstream out(disk.path() / "filler", std::ios::binary);
        const std::string chunk(4096, 'x');
        while (out.write(chunk.data(), chunk.size())) out.flush();
    }
    {
        std::ofstream small(disk.path() / "filler2", std::ios::binary);
        while (small.put('x')) small.flush();
    }
    SaveOptions(e);
    ExpectToldOnce("Disk full", "on a full tmpfs");
    std::filesystem::remove(disk.path() / "filler");
    std::filesystem::remove(disk.path() / "filler2");
    ExpectNothingStored("on a full tmpfs");
    SaveOptions(e);
    EXPECT_EQ(responder_.shown().size(), 1u);
    ExpectAllStored("with room again");
    while (data::TableOf(ConfigurationDef()).IsOpen()) data::TableOf(ConfigurationDef()).Close();
    data::CloseIdleFiles();
    std::filesystem::current_path(dir_);
}

}  // namespace
}  // namespace kr::test
