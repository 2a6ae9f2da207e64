// The settings store over a real data file: seeding from kr98.INI, the
// defaults, inversions and clamps of LoadSettings, "/I", the user name, and
// the read and write errors.
#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "StartupFixture.h"
#include "dictionary/OpenTable.h"
#include "platform/runtime/ProcedureContext.h"

namespace kr::test {
namespace {

class SettingsTest : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        ASSERT_EQ(OpenTable(ConfigurationDef()), 0);  // as the frame does before loading
    }
};

TEST_F(SettingsTest, SeededFromTheIniOnceThenReadFromTheTable) {
    WriteFile("kr98.INI", "[Settings]\r\nUseModalMessage=1\r\nLogEvents=1\r\n");
    LoadSettings();
    EXPECT_EQ(Options().UseModalMessage, 1);
    EXPECT_EQ(Options().GlobalUseLog, 1);
    EXPECT_EQ(Stored("UseModalMessage"), "1");

    WriteFile("kr98.INI", "[Settings]\r\nUseModalMessage=0\r\nLogEvents=0\r\n");
    LoadSettings();
    EXPECT_EQ(Options().UseModalMessage, 1) << "the stored value wins over the edited INI";
    EXPECT_EQ(Options().GlobalUseLog, 1);
    EXPECT_TRUE(responder_.shown().empty());
}

TEST_F(SettingsTest, FreshDataFileWithoutIniGivesTheDefaults) {
    LoadSettings();
    const OptionGlobals& o = Options();
    EXPECT_EQ(o.UseExternalMessage, 1);
    EXPECT_EQ(o.StartUpSchedule, 1);
    EXPECT_EQ(o.StartUpActive, 1);
    EXPECT_EQ(o.SysLock, 0);
    EXPECT_EQ(o.LogExitCodes, 0);
    EXPECT_EQ(o.CM_UseEx, 0);
    EXPECT_EQ(o.CM_OnTop, 1);
    EXPECT_EQ(o.GlobalDateFormat.get(), "d3");
    EXPECT_EQ(o.CM_Mode.get(), "Normal");
    EXPECT_EQ(o.GlobalDelay, 25);
    EXPECT_EQ(o.BurstSize, 7);
    EXPECT_EQ(o.GlobalUseLog, 0);
    // Defaults that are not blank are stored; an inverted flag that is
    // missing stays missing, so it keeps meaning "on".
    EXPECT_EQ(Stored("UseKRMsg"), "1");
    EXPECT_EQ(Stored("DateFormat"), "d3");
    EXPECT_EQ(Stored("SysLock"), "0");
    EXPECT_EQ(Stored("StartUpSchedule"), std::nullopt);
    EXPECT_EQ(Stored("StartUpActive"), std::nullopt);
    EXPECT_EQ(Stored("LogEvents"), std::nullopt);
    EXPECT_TRUE(responder_.shown().empty());
}

TEST_F(SettingsTest, InversionsAndClamps) {
    PutSetting("StartUpSchedule", "1");
    PutSetting("StartUpActive", "1");
    PutSetting("ScriptingDelay", "10");
    PutSetting("BurstSize", "0");
    LoadSettings();
    EXPECT_EQ(Options().StartUpSchedule, 0);
    EXPECT_EQ(Options().StartUpActive, 0);
    EXPECT_EQ(Options().GlobalDelay, 25);
    EXPECT_EQ(Options().BurstSize, 7);
    EXPECT_EQ(Stored("ScriptingDelay"), "10") << "the clamp is in the global only";

    PutSetting("StartUpActive", "0");
    PutSetting("ScriptingDelay", "40");
    PutSetting("BurstSize", "3");
    PutSetting("RepeatAlarmInterval", "abc");
    LoadSettings();
    EXPECT_EQ(Options().StartUpActive, 1);
    EXPECT_EQ(Options().GlobalDelay, 40);
    EXPECT_EQ(Options().BurstSize, 3);
    EXPECT_EQ(Options().RepeatAlarmInterval, 0) << "a value that is no number reads as 0";

    PutSetting("BurstSize", "300");
    LoadSettings();
    EXPECT_EQ(Options().BurstSize, 255) << "a byte is kept in range, not wrapped";
}

TEST_F(SettingsTest, CommandLineInactiveFlag) {
    PutSetting("StartUpActive", "0");
    SetProgramArguments({"/home/user/Info", "/CONFIG"});
    LoadSettings();
    EXPECT_EQ(Options().StartUpActive, 1) << "a path holding /I is no flag";
    EXPECT_TRUE(CommandLineHas("/config"));

    SetProgramArguments({"/i"});
    LoadSettings();
    EXPECT_EQ(Options().StartUpActive, 0);
    EXPECT_EQ(Stored("StartUpActive"), "0") << "/I changes nothing stored";
}

TEST_F(SettingsTest, PutReplacesOrAddsAndGetReadsBack) {
    PutSetting("LastWAVFile", "/tmp/a.wav");
    EXPECT_EQ(GetSetting("LastWAVFile"), "/tmp/a.wav");
    PutSetting("LastWAVFile", "/tmp/b.wav", "kr98.INI");
    EXPECT_EQ(Stored("LastWAVFile"), "/tmp/b.wav");
    EXPECT_FALSE(std::filesystem::exists("kr98.INI")) << "nothing is written to an INI";

    EXPECT_EQ(GetSetting("Missing", "dflt"), "dflt");
    EXPECT_EQ(Stored("Missing"), "dflt");
    EXPECT_EQ(GetSetting("Blank", "", "kr98.INI"), "");
    EXPECT_EQ(Stored("Blank"), std::nullopt) << "a blank seed adds nothing";
    // 255 characters at most.
    PutSetting("Long", std::string(300, 'x'));
    EXPECT_EQ(GetSetting("Long").size(), 255u);
}

TEST_F(SettingsTest, MultiUserName) {
    PutSetting("MultiUser", "1");
    SetNetworkUserNameSource([] { return std::nullopt; });
    LoadSettings();
    EXPECT_EQ(Options().UserID.get(), "");
    EXPECT_EQ(Options().UserName.get(), "");

    SetNetworkUserNameSource([] { return std::optional<std::string>(std::string(40, 'u')); });
    LoadSettings();
    EXPECT_EQ(Options().UserID.get(), std::string(30, 'u'));
    EXPECT_EQ(Options().UserName.get(), std::string(30, 'u'));

    PutSetting("MultiUser", "0");
    LoadSettings();
    EXPECT_EQ(Options().UserName.get(), "") << "the user name is for MultiUser only";

    SetNetworkUserNameSource({});
    Options().UserID = "";
    GetNetworkUserName();
    passwd* pw = getpwuid(getuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(Options().UserID.get(), std::string(pw->pw_name).substr(0, 30));
}

// A data file that is no database: every read fails with an error other than
// "not found", and nothing may be written into it.
class SettingsReadErrorTest : public StartupTest {};

TEST_F(SettingsReadErrorTest, ReadErrorIsReportedAndNothingIsWritten) {
    const std::string junk(4096, 'J');
    WriteFile("KR97.TPS", junk);

    EXPECT_EQ(GetSetting("UseKRMsg", "1"), "");
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.title, "Error!");
    EXPECT_EQ(responder_.shown()[0].request.text.rfind(
                  "Error retrieving configuration information code UseKRMsg" + std::string(32, ' ') + " - ", 0),
              0u)
        << responder_.shown()[0].request.text;

    responder_.clear();
    PutSetting("UseKRMsg", "0");
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_EQ(responder_.shown()[0].request.text.rfind(
                  "Error writing configuration information.  Code UseKRMsg" + std::string(32, ' ') + " - ", 0),
              0u)
        << responder_.shown()[0].request.text;
    EXPECT_EQ(ReadFile("KR97.TPS"), junk);
}

TEST_F(SettingsReadErrorTest, AFullDiskIsNamedInTheWriteError) {
    GetSetting("UseKRMsg", "1");  // the settings table, made as at a first start
    responder_.clear();
    // Every write of the transaction's journal meets a full disk.
    std::filesystem::create_symlink("/dev/full", "KR97.TPS-journal");
    PutSetting("UseKRMsg", "0");
    std::filesystem::remove("KR97.TPS-journal");
    ASSERT_EQ(responder_.shown().size(), 1u);
    EXPECT_NE(responder_.shown()[0].request.text.find("File System Error: Disk full"), std::string::npos)
        << responder_.shown()[0].request.text;
}

// The error box runs an event loop; what runs meanwhile (a timer, another
// window) asks for settings too, and must get its answer while the box is
// still open.
class AskingWhileOpen : public MessageService {
public:
    int Show(const MessageRequest& request) override {
        // The asker's own error box (its thread has no table open) answers at once.
        if (std::this_thread::get_id() != owner_) return request.defaultButton;
        std::packaged_task<std::string()> ask([] {
            ProcedureThreadScope scope(NewProcedureThreadNumber());
            return GetSetting("MaxLogSize", "5");
        });
        std::future<std::string> answer = ask.get_future();
        asker = std::thread(std::move(ask));
        answered = answer.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
        // Joined by the caller: with the store held, the asker could only
        // finish after this box has returned.
        shown.push_back(request.title);
        return request.defaultButton;
    }
    void Join() {
        if (asker.joinable()) asker.join();
    }
    bool answered = false;
    std::vector<std::string> shown;
    std::thread asker;

private:
    std::thread::id owner_ = std::this_thread::get_id();
};

TEST_F(SettingsReadErrorTest, StoreIsFreeWhileTheErrorBoxIsOpen) {
    WriteFile("KR97.TPS", std::string(4096, 'J'));
    AskingWhileOpen box;
    InstallMessageService(&box);
    EXPECT_EQ(GetSetting("UseKRMsg", "1"), "");
    box.Join();
    EXPECT_TRUE(box.answered) << "reading a setting while the read error is shown";
    box.answered = false;
    PutSetting("UseKRMsg", "0");
    box.Join();
    EXPECT_TRUE(box.answered) << "reading a setting while the write error is shown";
    EXPECT_EQ(box.shown.size(), 2u);
    InstallMessageService(&responder_);
}

}  // namespace
}  // namespace kr::test
