// The message program's core over real data files: the command line, the
// record rules of the take-over, the settings read, the alarm repeat, the
// snooze and to-do writes and their failures, the preserved font.
#include <fstream>

#include "MsgProgFixture.h"

namespace kr::test {
using namespace kr::msgprog;

TEST(MsgProgCommandLine, IdValuesAndBadOnes) {
    EXPECT_EQ(ParseCommandLine({}).id, 0);
    EXPECT_TRUE(ParseCommandLine({}).ok);
    EXPECT_EQ(ParseCommandLine({"ID=5"}).id, 5);
    EXPECT_EQ(ParseCommandLine({"id=12"}).id, 12);
    EXPECT_EQ(ParseCommandLine({"other", "ID=0"}).id, 0);
    for (const char* bad : {"ID=abc", "ID=", "ID=-3", "ID=5x", "ID=99999999999"}) {
        const CommandLine c = ParseCommandLine({bad});
        EXPECT_FALSE(c.ok) << bad;
        EXPECT_NE(c.error.find(bad), std::string::npos) << c.error;
    }
}

TEST_F(MsgProgTest, TakeMessageFollowsTheRecordRulesAndDeletes) {
    MsgLink out;
    EXPECT_NE(TakeMessage(0, out), 0);  // no file at all: nothing to show
    for (int id : {5, 6, 7}) AddLink(id, "Title " + std::to_string(id));
    ASSERT_EQ(TakeMessage(0, out), 0);  // the newest
    EXPECT_EQ(out.ID, 7);
    EXPECT_EQ(out.Title, "Title 7");
    EXPECT_EQ(LinkIDs(), (std::vector<int32_t>{5, 6}));
    EXPECT_NE(TakeMessage(8, out), 0);  // none at or above 8: nothing deleted
    EXPECT_EQ(out.ID, 0);
    EXPECT_EQ(LinkIDs(), (std::vector<int32_t>{5, 6}));
    ASSERT_EQ(TakeMessage(6, out), 0);
    EXPECT_EQ(out.ID, 6);
    ASSERT_EQ(TakeMessage(4, out), 0);  // the next one above
    EXPECT_EQ(out.ID, 5);
    EXPECT_TRUE(LinkIDs().empty());
    EXPECT_NE(TakeMessage(0, out), 0);  // empty table
}

TEST_F(MsgProgTest, SettingsReadFromConfigurationAndMissingOnesAreEmpty) {
    EXPECT_EQ(LookupSetting("Host"), "");  // no table: empty, no message
    SetSetting("RepeatAlarmInterval", "30");
    SetSetting("SnoozeInterval", "15");
    SetSetting("UseModalMessage", "1");
    SetSetting("Host", "mail.example.org");
    SetSetting("Sender", "me@example.org");
    LoadMessageSettings();
    const MessageSettings& s = Settings();
    EXPECT_EQ(s.RepeatAlarmInterval, 30);
    EXPECT_EQ(s.SnoozeInterval, 15);
    EXPECT_EQ(s.UseModalMessage, 1);
    EXPECT_EQ(s.MaxAlarmTime, 0);
    EXPECT_EQ(s.Host, "mail.example.org");
    EXPECT_EQ(s.Sender, "me@example.org");
    EXPECT_EQ(s.SenderName, "");
    EXPECT_TRUE(responder_.shown().empty());
}

TEST(MsgProgAlarm, RepeatsUntilTheEndAndAcrossMidnight) {
    const int32_t day = MakeDate(6, 15, 2026);
    AlarmState a;
    a.Start("ring.wav", 30, 1, day, MakeTime(10, 0));
    EXPECT_FALSE(a.Tick(day, MakeTime(10, 0, 30)));  // equal is not later
    EXPECT_TRUE(a.Tick(day, MakeTime(10, 0, 31)));
    EXPECT_FALSE(a.Tick(day, MakeTime(10, 1, 0)));
    EXPECT_FALSE(a.Tick(day, MakeTime(10, 1, 2)));  // past the end: stops for good
    EXPECT_FALSE(a.active());
    EXPECT_FALSE(a.Tick(day, MakeTime(10, 5)));

    a.Start("ring.wav", 60, 30, day, MakeTime(23, 50));
    int plays = 0;
    int32_t d = day, t = MakeTime(23, 50);
    for (int i = 0; i < 3600; ++i) {  // one tick a second for an hour
        t += 100;
        Normalize(d, t);
        if (a.Tick(d, t)) ++plays;
    }
    EXPECT_FALSE(a.active());
    EXPECT_GE(plays, 28);
    EXPECT_LE(plays, 30);

    a.Start("", 30, 0, day, MakeTime(10, 0));  // no sound file: nothing plays
    EXPECT_FALSE(a.Tick(day, MakeTime(11, 0)));
    a.Start("ring.wav", 0, 0, day, MakeTime(10, 0));
    EXPECT_FALSE(a.Tick(day, MakeTime(11, 0)));
}

TEST_F(MsgProgTest, SnoozeFilesAOneOffTask) {
    const int32_t day = MakeDate(6, 15, 2026);
    const MsgLink m = Link(std::string(50, 'T'), "Call back", "ring.wav");
    ASSERT_EQ(SnoozeMessage(m, 0), 0);     // 0 minutes: ten
    ASSERT_EQ(SnoozeMessage(m, 1440), 0);  // a day: tomorrow, same time
    ASSERT_EQ(SnoozeMessage(Link("B", "x"), 30), 0);
    const std::vector<Schedule> tasks = Tasks();
    ASSERT_EQ(tasks.size(), 3u);
    EXPECT_EQ(tasks[0].ID, 1);
    EXPECT_EQ(tasks[1].ID, 2);
    EXPECT_EQ(tasks[0].Time, MakeTime(10, 10));
    EXPECT_EQ(tasks[0].Date, day);
    EXPECT_EQ(tasks[1].Date, day + 1);
    EXPECT_EQ(tasks[1].Time, MakeTime(10, 0));
    EXPECT_EQ(tasks[2].Time, MakeTime(10, 30));
    const Schedule& a = tasks[0];
    EXPECT_EQ(a.TaskType, "Display Message");
    EXPECT_EQ(a.Category, "Snooze");
    EXPECT_EQ(a.ScheduleType, "Once");
    EXPECT_EQ(a.Description, std::string(40, 'T'));
    EXPECT_EQ(a.Message, "Call back");
    EXPECT_EQ(a.SkipIfMissed, 1);
    EXPECT_EQ(a.Alarm, 1);
    EXPECT_EQ(a.AlarmFile, "ring.wav");
    EXPECT_EQ(a.Disabled, 0);
    EXPECT_EQ(tasks[2].Alarm, 0);
}

TEST_F(MsgProgTest, ToDoAndFailedWritesAreReported) {
    ASSERT_EQ(AddMessageToToDo(Link("Buy milk", "two litres")), 0);
    const std::vector<Todo> todos = Todos();
    ASSERT_EQ(todos.size(), 1u);
    EXPECT_EQ(todos[0].ToDo, "Buy milk");
    EXPECT_EQ(todos[0].Notes, "two litres");
    EXPECT_EQ(todos[0].Category, "General");
    EXPECT_EQ(todos[0].Priority, 5);
    EXPECT_EQ(todos[0].Done, 0);

    ASSERT_EQ(SnoozeMessage(Link("a", "b"), 5), 0);
    data::CloseIdleFiles();
    BreakDataFileWrites();
    std::string error;
    EXPECT_NE(SnoozeMessage(Link("a", "b"), 5, &error), 0);
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_NE(AddMessageToToDo(Link("a", "b"), &error), 0);
    EXPECT_FALSE(error.empty());
}

TEST_F(MsgProgTest, PreservedFontRoundTripsThroughTheIni) {
    IniFile ini(kIniFileName);
    LoadPreservedFont(ini);  // no file: all empty
    EXPECT_EQ(CurrentFont().Font, "");
    EXPECT_EQ(CurrentFont().Point, 0);
    CurrentFont().Font = "DejaVu Sans";
    CurrentFont().Point = 14;
    CurrentFont().Style = 700;
    CurrentFont().Color = 255;
    SavePreservedFont(ini);
    CurrentFont() = PreservedFont();
    LoadPreservedFont(ini);
    EXPECT_EQ(CurrentFont().Font, "DejaVu Sans");
    EXPECT_EQ(CurrentFont().Point, 14);
    EXPECT_EQ(CurrentFont().Style, 700);
    EXPECT_EQ(CurrentFont().Color, 255);
    std::ifstream in(dir_ / kIniFileName);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first.substr(0, 11), "[Preserved]");
}

TEST(MsgProgTitle, AdvancedWarningKeepsItsOwnTitle) {
    EXPECT_EQ(WindowTitle("Advanced Warning: tax  "), "Advanced Warning: tax");
    EXPECT_EQ(WindowTitle("Dentist"), "Message:  Dentist");
    EXPECT_EQ(WindowTitle(""), "Message");
}

}  // namespace kr::test
