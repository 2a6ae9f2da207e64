// The task-maintenance windows offscreen over a real data file: a new task
// with only a description, edit, view, delete with its script, a copy from
// the categories window (its script under a new ID), a cancelled insert, the
// calendar over a Day of Week task, the exceptions' weekday overrides and a
// holiday that moves with Easter; the schedule list's tabs, active-only,
// refresh on a schedule change, single instance and scripting check.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include "../ui/MnemonicCheck.h"
#include "../ui/TableWindowsFixture.h"
#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/data/TableImpl.h"
#include "platform/data/Database.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "dictionary/Settings.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/runtime/Services.h"
#include "platform/ui/FieldHistory.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "scheduler/DateValues.h"
#include "scheduler/TaskMessage.h"
#include "scheduler/TimerCycle.h"
#include "platform/data/ListQuery.h"
#include "platform/ui/BrowseList.h"
#include "platform/ui/FieldHistory.h"
#include "scheduler/windows/Main.h"
#include "platform/ui/PopupMenu.h"
#include "tasks/ScheduleRows.h"
#include "tasks/TaskReservation.h"
#include "tasks/windows/TaskWindows.h"

namespace kr::tasks {
namespace {

using test::Pump;
using test::WaitFor;

class TaskWindowsTest : public test::TableWindowsTest {
protected:
    TaskWindowsTest() : TableWindowsTest(MakeDate(7, 1, 2024), MakeTime(8, 0)) {}
    void SetUp() override {
        TableWindowsTest::SetUp();
        CreateAndOpen({&sch(), &scr()});
        CopySourceID() = 0;
    }
    static data::Table& sch() { return data::TableOf(ScheduleDef()); }
    static data::Table& scr() { return data::TableOf(ScriptingDef()); }
    static void Type(QWidget* w, const char* name, const std::string& text) {
        if (QLineEdit* e = TypeInto(w, name, text)) e->editingFinished();
    }
    // Starts a window on a procedure thread of its own and waits for it.
    static QWidget* StartWindow(const char* thread, std::function<void()> open, const QString& title) {
        Start(thread, std::move(open));
        return WindowTitled(title);
    }
    // Presses a form's or wizard's button and waits until every task editor
    // has closed.
    ::testing::AssertionResult ClickCloses(QWidget* w, const char* button) {
        Click(w, button);
        if (WaitFor([] { return OpenTaskEditors() == 0; })) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "\"" << button << "\" left a task editor open; messages:\n" << Shown();
    }
    int32_t AddTask(const std::string& description, const std::string& category = "General") {
        sch().Clear();
        Schedule& s = sch().Rec<Schedule>();
        s.ID = ++lastId_;
        s.Description = description;
        s.Category = category;
        s.TaskType = "Display Message";
        s.ScheduleType = "Day of Week";
        s.Monday = 1;
        s.Date = MakeDate(7, 8, 2024);
        s.Time = MakeTime(9, 0);
        s.Message = "Hello";
        s.Command = "N/A";
        EXPECT_EQ(sch().Add(), 0);
        return s.ID;
    }
    void AddItem(int32_t task, int32_t seq) {
        scr().Clear();
        scr().Rec<Scripting>().ID = task;
        scr().Rec<Scripting>().Sequence = seq;
        scr().Rec<Scripting>().Action = "Wait";
        EXPECT_EQ(scr().Add(), 0);
    }
    static std::vector<Schedule> Tasks() {
        // The tests' tasks have small IDs.
        std::vector<Schedule> out;
        for (int id = 1; id <= 50; ++id)
            sch().ForEachMatch(ScheduleDef().key("SCH:KeyID"), {ScheduleDef().field("SCH:ID")}, {Value(id)},
                               [&](int64_t, const void* r) {
                                   out.push_back(*static_cast<const Schedule*>(r));
                                   return true;
                               });
        return out;
    }
    static int Items(int32_t task) {
        int n = 0;
        scr().ForEachMatch(ScriptingDef().key("SCR:KeyID"), {ScriptingDef().field("SCR:ID")}, {Value(task)},
                           [&](int64_t, const void*) {
                               ++n;
                               return true;
                           });
        return n;
    }
    // Opens the task form on a thread of its own with the request and a
    // buffer loaded with the task (0: cleared).
    QWidget* OpenForm(int request, int32_t task) {
        Start("TaskFormTest", [=] {
            Schedule& SCH = Schedule_File().rec();
            SCH = Schedule();
            for (const Schedule& s : Tasks())
                if (s.ID == task) SCH = s;
            GlobalRequest() = request;
            UpdateSchedule([](int r) { lastResponse = r; });
        });
        return WindowTitled(request == kInsertRecord ? "New Task" : request == kViewRecord ? "View" : "Edit Task");
    }

    static inline int lastResponse = 0;
    int32_t lastId_ = 0;
};

TEST_F(TaskWindowsTest, NewTaskWithOnlyADescriptionGetsTheDefaultsAndCancelLeavesNothing) {
    // Cancel first: the reserved placeholder goes again.
    QWidget* w = OpenForm(kInsertRecord, 0);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(Tasks().size(), 1u) << Shown();  // the disabled placeholder
    EXPECT_EQ(Tasks()[0].Disabled, 1);
    EXPECT_EQ(OpenTaskEditors(), 1);
    EXPECT_TRUE(TaskHeldByEditor(Tasks()[0].ID));  // history expiry passes over it
    ASSERT_TRUE(ClickCloses(w, "cancel"));
    EXPECT_TRUE(Tasks().empty());

    w = OpenForm(kInsertRecord, 0);
    ASSERT_NE(w, nullptr);
    Type(w, "description", "Water the plants");
    EXPECT_EQ(w->windowTitle(), "New Task  (Water the plants)");
    // The message, required for a task that shows one, starts as the description.
    Click(w, "ok");
    EXPECT_EQ(OpenTaskEditors(), 1);
    Child<QWidget>(w, "message")->setFocus();
    Pump(20);
    ASSERT_TRUE(ClickCloses(w, "ok"));
    const auto tasks = Tasks();
    ASSERT_EQ(tasks.size(), 1u);
    const Schedule& s = tasks[0];
    EXPECT_EQ(s.Description, "Water the plants");
    EXPECT_EQ(s.TaskType, "Both");
    EXPECT_EQ(s.ScheduleType, "Day of Week");
    EXPECT_EQ(s.Category, "General");
    EXPECT_EQ(s.Command, "N/A");
    EXPECT_EQ(s.Message, "Water the plants");
    EXPECT_EQ(s.Every, 1);
    EXPECT_EQ(s.EveryType, "hour(s)");
    EXPECT_EQ(s.Warn, 1);
    EXPECT_EQ(s.EveryLast, 1);
    EXPECT_EQ(s.Sunday + s.Monday + s.Saturday, 3);
    EXPECT_EQ(s.Disabled, 0);
    EXPECT_EQ(s.Date, MakeDate(7, 1, 2024));
    EXPECT_NE(s.Time, 0);
}

TEST_F(TaskWindowsTest, EditViewAndDeleteWithItsScript) {
    const int32_t id = AddTask("Backup");
    AddItem(id, 1);
    AddItem(id, 2);
    QWidget* w = OpenForm(kChangeRecord, id);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "Edit Task  (Backup)");
    Type(w, "description", "Backup nightly");
    ASSERT_TRUE(ClickCloses(w, "ok"));
    EXPECT_EQ(Tasks()[0].Description, "Backup nightly");

    w = OpenForm(kViewRecord, id);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "View Task  (Backup nightly)");
    EXPECT_TRUE(Child<QLineEdit>(w, "description")->isReadOnly());
    EXPECT_FALSE(Child<QAbstractButton>(w, "ok")->isVisible());
    EXPECT_EQ(Child<QAbstractButton>(w, "cancel")->text(), "Cl&ose");
    ASSERT_TRUE(ClickCloses(w, "cancel"));

    Start("TaskFormTest", [=] {
        Schedule_File().rec() = Tasks()[0];
        GlobalRequest() = kDeleteRecord;
        UpdateSchedule();
    });
    w = WindowTitled("Edit Task");
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(Child<QLineEdit>(w, "description")->isReadOnly());
    ASSERT_TRUE(ClickCloses(w, "ok"));
    EXPECT_TRUE(Tasks().empty());
    EXPECT_EQ(Items(id), 0);
}

TEST_F(TaskWindowsTest, CopyFromTheCategoriesWindowGetsANewIDWithTheScript) {
    Categories_File().Open();
    Categories_File().rec().Category = "General";
    ASSERT_EQ(Categories_File().Insert(), data::kLevelBenign);
    Categories_File().Close();
    const int32_t source = AddTask("Report", "General");
    for (int i = 1; i <= 3; ++i) AddItem(source, i);
    AddTask("Hidden", "General");
    {
        // A disabled task never shows in the category's list.
        auto all = Tasks();
        sch().Clear();
        sch().Rec<Schedule>() = all[1];
        sch().Rec<Schedule>().Disabled = 1;
        ASSERT_EQ(sch().Get(ScheduleDef().key("SCH:KeyID")), 0);
        sch().Rec<Schedule>().Disabled = 1;
        ASSERT_EQ(sch().Put(), 0);
    }
    QWidget* list = StartWindow("BrowseScheduleCategories", [] { BrowseScheduleCategories(); }, "Task Categories");
    ASSERT_NE(list, nullptr);
    auto* tasks = Child<QTableView>(list, "tasks");
    ASSERT_NE(tasks, nullptr);
    EXPECT_EQ(Child<QTableView>(list, "categories")->model()->rowCount(), 1);
    EXPECT_EQ(tasks->model()->rowCount(), 1);
    // Xplore shows the four list columns; ID and Category wait in its table.
    int shown = 0;
    for (int i = 0; i < tasks->model()->columnCount(); ++i) shown += !tasks->isColumnHidden(i);
    EXPECT_EQ(shown, 4);
    Click(list, "taskCopy");
    QWidget* form = WindowTitled("New Task");
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle(), "New Task  (Report)");
    ASSERT_TRUE(ClickCloses(form, "ok"));
    const auto all = Tasks();
    ASSERT_EQ(all.size(), 3u);
    const Schedule& copy = all.back();
    EXPECT_NE(copy.ID, source);
    EXPECT_EQ(copy.Description, "Report");
    EXPECT_EQ(copy.TaskType, "Display Message");
    EXPECT_EQ(copy.Message, "Hello");
    EXPECT_EQ(Items(copy.ID), 3);
    EXPECT_EQ(Items(source), 3);
    for (const auto& m : responder_.shown()) EXPECT_NE(m.request.text, "Schedule IDs should not match.");

    // A cancelled copy leaves neither the placeholder nor the copied items.
    Click(list, "taskCopy");
    form = WindowTitled("New Task");
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(Tasks().size(), 4u);
    ASSERT_TRUE(ClickCloses(form, "cancel"));
    EXPECT_EQ(Tasks().size(), 3u);
    int items = 0;
    for (const Schedule& s : Tasks()) items += Items(s.ID);
    EXPECT_EQ(items, 6);
}

TEST_F(TaskWindowsTest, DialogsKeepTheCurrentFolderAndCancelChangesNothing) {
    const std::string cwd = std::filesystem::current_path().string();
    std::vector<std::string> starts;
    std::optional<std::string> answer = "/opt/tools/run-me";
    SetFileChooser([&](QWidget*, const std::string&, const std::string& start, const QStringList&) {
        starts.push_back(start);
        return answer;
    });
    const int32_t id = AddTask("Files");
    QWidget* w = OpenForm(kChangeRecord, id);
    ASSERT_NE(w, nullptr);
    Click(w, "browseProgram");
    EXPECT_EQ(Child<QLineEdit>(w, "command")->text(), "/opt/tools/run-me");
    EXPECT_EQ(Child<QLineEdit>(w, "path")->text(), "/opt/tools");
    Click(w, "alarm");
    answer = "/media/sounds/Ring.WAV";
    Click(w, "wavBrowse");
    EXPECT_EQ(Child<QLineEdit>(w, "wavFile")->text(), "/media/sounds/Ring.WAV");
    EXPECT_EQ(GetIniValue("kr98.INI", "Defaults", "WAVPath"), "/media/sounds");
    answer.reset();  // cancelled: nothing changes
    Click(w, "wavBrowse");
    EXPECT_EQ(Child<QLineEdit>(w, "wavFile")->text(), "/media/sounds/Ring.WAV");
    EXPECT_EQ(GetIniValue("kr98.INI", "Defaults", "WAVPath"), "/media/sounds");
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_EQ(starts[0], cwd);             // no start folder in the task yet
    EXPECT_EQ(starts[2], "/media/sounds");  // the folder last chosen
    EXPECT_EQ(std::filesystem::current_path().string(), cwd);
    SetFileChooser({});
    Click(w, "cancel");
}

TEST_F(TaskWindowsTest, OkKeepsAWarningAlreadyShownUnlessTheMomentChanged) {
    PutIniValue("kr98.INI", "Warning", "Active", "1");
    PutIniValue("kr98.INI", "Warning", "Date", "0");
    PutIniValue("kr98.INI", "Warning", "Time", "2160000");  // six hours
    const int32_t id = AddTask("Warned");
    {
        auto all = Tasks();
        sch().Clear();
        sch().Rec<Schedule>() = all[0];
        ASSERT_EQ(sch().Get(ScheduleDef().key("SCH:KeyID")), 0);
        Schedule& s = sch().Rec<Schedule>();
        s.AdvanceWarnDate = MakeDate(7, 7, 2024);  // set by the user, already shown
        s.AdvanceWarnTime = MakeTime(12, 0);
        s.AdvanceWarned = 1;
        ASSERT_EQ(sch().Put(), 0);
    }
    QWidget* w = OpenForm(kChangeRecord, id);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(ClickCloses(w, "ok"));
    EXPECT_EQ(Tasks()[0].AdvanceWarnDate, MakeDate(7, 7, 2024));
    EXPECT_EQ(Tasks()[0].AdvanceWarnTime, MakeTime(12, 0));
    EXPECT_EQ(Tasks()[0].AdvanceWarned, 1);

    // A new time just after midnight: warned six hours before, the evening before.
    w = OpenForm(kChangeRecord, id);
    ASSERT_NE(w, nullptr);
    Type(w, "time", "12:30AM");
    ASSERT_TRUE(ClickCloses(w, "ok"));
    const Schedule s = Tasks()[0];
    EXPECT_EQ(s.Time, MakeTime(0, 30));
    EXPECT_EQ(s.AdvanceWarnDate, s.Date - 1);
    EXPECT_EQ(s.AdvanceWarnTime, MakeTime(18, 30));
    EXPECT_EQ(s.AdvanceWarned, 0);
}

TEST_F(TaskWindowsTest, CalendarGreysTheDaysADayOfWeekTaskDoesNotAllow) {
    int32_t chosen = -1;
    Start("CalendarTest", [&] {
        Schedule& SCH = Schedule_File().rec();
        SCH = Schedule();
        SCH.ScheduleType = "Day of Week";
        SCH.Monday = 1;
        Calendar(MakeDate(7, 10, 2024), "", "", [&](int32_t d) { chosen = d; });
    });
    QWidget* w = WindowTitled("Day of Week");
    ASSERT_NE(w, nullptr);
    int enabled = 0;
    for (int i = 0; i < 42; ++i) {
        auto* b = Child<QPushButton>(w, QString("day%1").arg(i).toLatin1().constData());
        if (b->isEnabled()) {
            ++enabled;
            EXPECT_EQ(Weekday(MakeDate(7, b->text().toInt(), 2024)), 1);
        }
    }
    EXPECT_EQ(enabled, 5);
    // Monday 15 July.
    for (int i = 0; i < 42; ++i) {
        auto* b = Child<QPushButton>(w, QString("day%1").arg(i).toLatin1().constData());
        if (b->text() == "15") b->click();
    }
    ASSERT_TRUE(WaitFor([&] { return chosen != -1; }));
    EXPECT_EQ(chosen, MakeDate(7, 15, 2024));
}

TEST_F(TaskWindowsTest, CalendarShowsOnlyTheMonthsDays) {
    // July 2024 begins on a Monday: the Sunday before the 1st and the days
    // after the 31st have no button on show.
    Start("CalendarDays", [] {
        Schedule_File().rec() = Schedule();
        Calendar(MakeDate(7, 10, 2024), "None", "", {});
    });
    QWidget* w = WindowTitled("Select Date");
    ASSERT_NE(w, nullptr);
    std::vector<int> shown;
    for (int i = 0; i < 42; ++i) {
        auto* b = Child<QPushButton>(w, QString("day%1").arg(i).toLatin1().constData());
        if (b->isVisible()) shown.push_back(b->text().toInt());
    }
    ASSERT_EQ(shown.size(), 31u);
    EXPECT_EQ(shown.front(), 1);
    EXPECT_EQ(shown.back(), 31);
}

TEST_F(TaskWindowsTest, ExceptionsKeepTheirWeekdayOverrides) {
    std::string result;
    bool closed = false;
    Start("ExceptTest", [&] {
        Schedule& SCH = Schedule_File().rec();
        SCH = Schedule();
        SCH.ExceptOther = "Y     Y";
        UpdateSchedule_ExceptionsWindow([&] {
            closed = true;
            result = Schedule_File().rec().ExceptOther.str() + "|" + Schedule_File().rec().ShiftType.str();
        });
    });
    QWidget* w = WindowTitled("Exceptions");
    ASSERT_NE(w, nullptr);
    // A blank shift type shows, and keeps, the first choice.
    EXPECT_TRUE(Child<QRadioButton>(w, "shift0")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(w, "Sunday")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(w, "Saturday")->isChecked());
    EXPECT_FALSE(Child<QLineEdit>(w, "begin")->isEnabled());
    Click(w, "weekends");
    EXPECT_FALSE(Child<QCheckBox>(w, "weekdays")->isEnabled());
    Click(w, "timeRange");
    EXPECT_TRUE(Child<QLineEdit>(w, "begin")->isEnabled());
    Click(w, "Saturday");
    Click(w, "close");
    ASSERT_TRUE(WaitFor([&] { return closed; }));
    EXPECT_EQ(result, "Y|Skip (to next valid");  // kept without trailing blanks
}

TEST_F(TaskWindowsTest, AltLettersOfTheCategoryHolidayAndExceptionWindowsReachTheirControls) {
    struct Case {
        const char* title;
        std::function<void()> open;
    };
    const std::vector<Case> cases = {
        {"Task Categories", [] { BrowseScheduleCategories(); }},
        {"New Category",
         [] {
             GlobalRequest() = kInsertRecord;
             UpdateCategories();
         }},
        {"Select a Category",
         [] {
             GlobalRequest() = kSelectRecord;
             SelectCategories();
         }},
        {"Exceptions", [] { UpdateSchedule_ExceptionsWindow(); }},
        {"New Holiday",
         [] {
             GlobalRequest() = kInsertRecord;
             UpdateHolidays();
         }},
        {"Holidays", [] { BrowseHolidays(); }},
        {"New Task",
         [] {
             GlobalRequest() = kInsertRecord;
             UpdateSchedule();
         }},
    };
    for (const Case& c : cases) {
        Start(c.title, c.open);
        QWidget* w = WindowTitled(c.title);
        ASSERT_NE(w, nullptr) << c.title;
        for (const std::string& problem : test::MnemonicProblems(w)) ADD_FAILURE() << c.title << ": " << problem;
        test::CloseAllWindows();
        Pump(50);
    }
}

TEST_F(TaskWindowsTest, HolidayTurnedEasterMovesWithEaster) {
    clock_.Set(MakeDate(1, 10, 2024), MakeTime(8, 0));
    Start("HolidayTest", [] {
        Holidays_File().Open();
        Holidays_File().rec() = Holidays();
        Holidays_File().Close();
        GlobalRequest() = kInsertRecord;
        UpdateHolidays();
    });
    QWidget* w = WindowTitled("New Holiday");
    ASSERT_NE(w, nullptr);
    Type(w, "date", "1/1/23");
    Type(w, "name", "Good Friday");
    Click(w, "type0");
    Click(w, "type2");  // Easter
    Click(w, "ok");
    Pump(50);
    std::vector<Holidays> rows;
    data::TableOf(HolidaysDef()).ForEachMatch(HolidaysDef().key("HOL:KeyHolidayDate"),
                                              {HolidaysDef().field("HOL:HolidayType")}, {Value("Easter")},
                                              [&](int64_t, const void* r) {
                                                  rows.push_back(*static_cast<const Holidays*>(r));
                                                  return true;
                                              });
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].HolidayDate, EasterDate(2024) - 2);
    EXPECT_EQ(rows[0].HolidayType, "Easter");

    // The list shows it; a second holiday on that date is refused.
    QWidget* list = StartWindow("BrowseHolidays", [] { BrowseHolidays(); }, "Holidays");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Child<QTableView>(list, "list")->model()->rowCount(), 1);

    // A new holiday: the history key fills the name from the one just saved;
    // the same date again is refused by the unique key and the form stays.
    Click(list, "insert");
    QWidget* form = WindowTitled("New Holiday");
    ASSERT_NE(form, nullptr);
    Child<QLineEdit>(form, "name")->setFocus();
    QTest::keyClick(Child<QLineEdit>(form, "name"), Qt::Key_Apostrophe, Qt::ControlModifier);
    EXPECT_EQ(Child<QLineEdit>(form, "name")->text(), "Good Friday");
    Type(form, "date", "3/29/24");
    Click(form, "ok");
    Pump(50);
    EXPECT_TRUE(form->isVisible());
    bool refused = false;
    for (const auto& m : responder_.shown())
        if (m.request.text.find("Missing") == std::string::npos && m.request.title != "Missing Information") refused = true;
    EXPECT_TRUE(refused) << Shown();
    EXPECT_EQ(Child<QTableView>(list, "list")->model()->rowCount(), 1);
}

TEST_F(TaskWindowsTest, HolidayFormRecallsTheLastSavedHolidayWithTheHistoryKey) {
    FieldHistoryCopy::For("UpdateHolidays").Clear();  // as at program start
    auto open = [this] {
        Start("HolidayTest", [] {
            Holidays_File().Open();
            Holidays_File().rec() = Holidays();
            Holidays_File().Close();
            GlobalRequest() = kInsertRecord;
            UpdateHolidays();
        });
        return WindowTitled("New Holiday");
    };
    auto key = [](QWidget* control) {
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Apostrophe, Qt::ControlModifier);
    };
    QWidget* w = open();
    ASSERT_NE(w, nullptr);
    key(Child<QLineEdit>(w, "name"));  // nothing saved yet in this run
    EXPECT_EQ(Child<QLineEdit>(w, "name")->text(), "");
    Type(w, "date", "12/25/24");
    Type(w, "name", "Christmas Day");
    Click(w, "type3");
    const QString savedDate = Child<QLineEdit>(w, "date")->text();  // as the date picture shows it
    Click(w, "ok");
    ASSERT_TRUE(WaitFor([&] { return !w->isVisible(); }));

    // A new holiday takes the name and type back, and is saved with them.
    w = open();
    ASSERT_NE(w, nullptr);
    key(Child<QLineEdit>(w, "date"));
    EXPECT_EQ(Child<QLineEdit>(w, "date")->text(), savedDate);
    key(Child<QLineEdit>(w, "name"));
    key(Child<QRadioButton>(w, "type0"));
    EXPECT_EQ(Child<QLineEdit>(w, "name")->text(), "Christmas Day");
    EXPECT_TRUE(Child<QRadioButton>(w, "type3")->isChecked());
    Type(w, "date", "12/26/24");
    Click(w, "ok");
    ASSERT_TRUE(WaitFor([&] { return !w->isVisible(); }));
    std::vector<Holidays> rows;
    data::TableOf(HolidaysDef()).ForEachMatch(HolidaysDef().key("HOL:KeyHolidayDate"),
                                              {HolidaysDef().field("HOL:HolidayType")}, {Value("Once")},
                                              [&](int64_t, const void* r) {
                                                  rows.push_back(*static_cast<const Holidays*>(r));
                                                  return true;
                                              });
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].HolidayDate, MakeDate(12, 26, 2024));
    EXPECT_EQ(rows[1].Holiday, "Christmas Day");
    EXPECT_EQ(rows[1].HolidayType, "Once");
}

// A holiday changed by another writer while its form is open: OK writes
// nothing over it, says "Record Was Not Updated", shows the stored holiday
// and the history key brings back what was typed; OK then stores that.
TEST_F(TaskWindowsTest, HolidayChangedWhileItsFormIsOpenIsShownAndTheTypedValuesRecalled) {
    data::Table& hol = data::TableOf(HolidaysDef());
    CreateAndOpen({&hol});
    auto stored = [&] {
        hol.Clear();
        hol.Rec<Holidays>().HolidayDate = MakeDate(12, 25, 2024);
        EXPECT_EQ(hol.Get(HolidaysDef().key("HOL:KeyHolidayDate")), 0);
        return hol.Rec<Holidays>();
    };
    hol.Clear();
    hol.Rec<Holidays>().HolidayDate = MakeDate(12, 25, 2024);
    hol.Rec<Holidays>().Holiday = "Christmas";
    hol.Rec<Holidays>().HolidayType = "Once";
    ASSERT_EQ(hol.Add(), 0);

    QWidget* list = StartWindow("BrowseHolidays", [] { BrowseHolidays(); }, "Holidays");
    ASSERT_NE(list, nullptr);
    Child<QTableView>(list, "list")->selectRow(0);
    Pump(20);
    Click(list, "change");
    QWidget* form = WindowTitled("Edit Holiday");
    ASSERT_NE(form, nullptr) << Shown();
    Type(form, "name", "Christmas Day");

    // Another writer renames it meanwhile.
    stored();
    hol.Rec<Holidays>().Holiday = "Xmas";
    ASSERT_EQ(hol.Put(), 0);

    const size_t before = responder_.shown().size();
    Click(form, "ok");
    Pump(20);
    ASSERT_EQ(responder_.shown().size(), before + 1) << Shown();
    EXPECT_EQ(responder_.shown().back().request.title, "Record Was Not Updated");
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(stored().Holiday, "Xmas");
    auto* name = Child<QLineEdit>(form, "name");
    EXPECT_EQ(name->text(), "Xmas");
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Apostrophe, Qt::ControlModifier);
    EXPECT_EQ(name->text(), "Christmas Day");
    QPointer<QWidget> open(form);
    Click(form, "ok");
    ASSERT_TRUE(WaitFor([&] { return !open || !open->isVisible(); })) << Shown();
    EXPECT_EQ(stored().Holiday, "Christmas Day");
}

}  // namespace
}  // namespace kr::tasks

namespace kr::tasks {
namespace {

class ScheduleListTest : public TaskWindowsTest {
protected:
    void SetTask(int32_t id, const std::function<void(Schedule&)>& change) {
        sch().Clear();
        sch().Rec<Schedule>().ID = id;
        ASSERT_EQ(sch().Get(ScheduleDef().key("SCH:KeyID")), 0);
        change(sch().Rec<Schedule>());
        ASSERT_EQ(sch().Put(), 0);
    }
    static int Rows(QTableView* v) { return v->model()->rowCount(); }
    static QString Cell(QTableView* v, int row, int column) {
        return v->model()->index(row, column).data().toString();
    }
    // The special event wizard over task `source`, as the lists open it.
    static QWidget* OpenSpecialEvent(const char* thread, int32_t source) {
        Start(thread, [source] {
            for (const Schedule& s : Tasks())
                if (s.ID == source) Schedule_File().rec() = s;
            GlobalRequest() = kInsertRecord;
            UpdateSchedule_SpecialEventWizard();
        });
        return WindowTitled("Special Event Wizard");
    }
    static int Visible(const QString& title) {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == title) ++n;
        return n;
    }
};

TEST_F(ScheduleListTest, TabsActiveOnlyRefreshAndSingleInstance) {
    const int32_t today = MakeDate(7, 1, 2024);
    const int32_t a = AddTask("Today shown");
    const int32_t b = AddTask("Today disabled");
    const int32_t c = AddTask("Next week");
    SetTask(a, [&](Schedule& s) { s.Date = today; });
    SetTask(b, [&](Schedule& s) {
        s.Date = today;
        s.Disabled = 1;
    });
    SetTask(c, [&](Schedule& s) { s.Date = today + 7; });

    QWidget* w = StartWindow("BrowseSchedule", [] { BrowseSchedule(); }, "Scheduled Tasks");
    ASSERT_NE(w, nullptr);
    auto* list = Child<QTableView>(w, "list");
    auto* sheet = Child<QTabWidget>(w, "sheet");
    ASSERT_TRUE(list && sheet);
    // The day tab shows today's tasks; its caption is the day.
    EXPECT_EQ(sheet->currentIndex(), 0);
    EXPECT_EQ(Rows(list), 2);
    EXPECT_EQ(DefaultTaskDate(), std::to_string(today));
    Click(w, "activeOnly");
    EXPECT_EQ(Rows(list), 1);
    EXPECT_EQ(Cell(list, 0, 5), "Today shown");
    EXPECT_FALSE(Child<QPushButton>(w, "activeOnly")->isEnabled());
    Click(w, "showAll");
    EXPECT_EQ(Rows(list), 2);
    sheet->setCurrentIndex(1);
    Pump(20);
    EXPECT_EQ(Rows(list), 3);

    // A second start brings the open list forward and shows no second one.
    Start("BrowseSchedule2", [] { BrowseSchedule(); });
    Pump(100);
    EXPECT_EQ(Visible("Scheduled Tasks"), 1);

    // A change the scheduler reports (1090) shows at once.
    SetTask(c, [](Schedule& s) {
        s.Description = "Moved by the timer";
        s.LastRunDate = MakeDate(6, 30, 2024);
    });
    BrowseScheduleThreads().PostToAll(kEventRefreshList);
    ASSERT_TRUE(WaitFor([&] { return Cell(list, 2, 5) == "Moved by the timer"; }));
    EXPECT_FALSE(Cell(list, 2, 7).isEmpty());
}

TEST_F(ScheduleListTest, ActionsNeedARowAndScriptingNeedsAScriptType) {
    const int32_t msg = AddTask("Message only");
    const int32_t prog = AddTask("Program");
    SetTask(prog, [](Schedule& s) {
        s.TaskType = "Run Program";
        s.Date = MakeDate(7, 9, 2024);
    });
    int opened = 0;
    SetScriptListOpener([&](int32_t task, std::function<void()> done) {
        ++opened;
        EXPECT_EQ(task, prog);
        EXPECT_EQ(GlobalRequest(), kChangeRecord);
        done();
    });
    QWidget* w = StartWindow("BrowseSchedule", [] { BrowseSchedule(); }, "Scheduled Tasks");
    ASSERT_NE(w, nullptr);
    auto* list = Child<QTableView>(w, "list");
    // Nothing due today: the day tab is empty and every action on a task is off.
    EXPECT_EQ(Rows(list), 0);
    for (const char* name : {"copy", "execute", "scripting", "quick", "special", "change", "delete"})
        EXPECT_FALSE(Child<QPushButton>(w, name)->isEnabled()) << name;
    EXPECT_FALSE(Child<QPushButton>(w, "editText")->isEnabled());

    Child<QTabWidget>(w, "sheet")->setCurrentIndex(1);
    Pump(20);
    ASSERT_EQ(Rows(list), 2);
    EXPECT_TRUE(Child<QPushButton>(w, "execute")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(w, "scripting")->isEnabled());
    list->selectRow(0);  // the message task, first by date
    Pump(20);
    EXPECT_EQ(Cell(list, 0, 5), "Message only");
    Click(w, "scripting");
    ASSERT_TRUE(WaitFor([&] { return !responder_.shown().empty(); }));
    EXPECT_EQ(responder_.shown().back().request.text, "This schedule type does not support scripting.");
    EXPECT_EQ(opened, 0);
    list->selectRow(1);
    Pump(20);
    Click(w, "scripting");
    ASSERT_TRUE(WaitFor([&] { return opened == 1; }));
    (void)msg;
    SetScriptListOpener({});
}

TEST_F(ScheduleListTest, EditScriptAsTextOpensForAMessageTaskToo) {
    AddTask("Message only");
    int opened = 0;
    SetScriptTextOpener([&](std::function<void()> done) {
        ++opened;
        EXPECT_EQ(GlobalRequest(), kChangeRecord);
        done();
    });
    QWidget* w = StartWindow("BrowseSchedule", [] { BrowseSchedule(); }, "Scheduled Tasks");
    ASSERT_NE(w, nullptr);
    Child<QTabWidget>(w, "sheet")->setCurrentIndex(1);
    Pump(20);
    auto* list = Child<QTableView>(w, "list");
    ASSERT_EQ(Rows(list), 1);
    list->selectRow(0);
    Pump(20);
    Click(w, "editText");
    ASSERT_TRUE(WaitFor([&] { return opened == 1; })) << Shown();
    for (const auto& m : responder_.shown()) EXPECT_NE(m.request.text, kNoScriptingMessage);
    SetScriptTextOpener({});
}

TEST_F(ScheduleListTest, TheListOpensEvenWhenTheScheduleTableWillNot) {
    AddTask("Unreachable");
    Options().GlobalUseLog = 1;
    // The stored layout of Schedule no longer matches: it cannot open.
    auto db = scr().impl().database();
    ASSERT_TRUE(db);
    const std::string stored = ScheduleDef().storedAs;
    const auto setLayout = [&](const std::string& layout) {
        return db->Exec("UPDATE __tables SET layout = '" + layout + "' WHERE name = '" +
                        stored.substr(stored.find("\\!") + 2) + "'");
    };
    ASSERT_EQ(setLayout("changed"), 0);
    sch().Close();
    QWidget* w = StartWindow("BrowseSchedule", [] { BrowseSchedule(); }, "Scheduled Tasks");
    ASSERT_NE(w, nullptr) << Shown();
    EXPECT_EQ(Rows(Child<QTableView>(w, "list")), 0);
    std::ifstream log(EventLogPath());
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("File not open error"), std::string::npos) << text;
    EXPECT_NE(text.find("File not open: "), std::string::npos) << text;
    test::CloseAllWindows();
    Pump(50);
    Options().GlobalUseLog = 0;
    ASSERT_EQ(setLayout(data::Table::LayoutOf(ScheduleDef())), 0);
    ASSERT_EQ(sch().Open(), 0);  // the fixture closes it again
}

TEST_F(ScheduleListTest, ExecuteLetsTheTasksScriptRunWhileTheSchedulerIsInactive) {
    const int32_t prog = AddTask("Program");
    SetTask(prog, [](Schedule& s) { s.TaskType = "Run Program"; });
    ScriptsRequested() = false;
    // The runner queues the script: by then the cycle must be told to run it.
    std::atomic<int> ran{0};
    std::atomic<bool> requestedWhenRun{false};
    SetExecuteTaskRunner([&](const Schedule&) {
        requestedWhenRun = ScriptsRequested().load();
        ++ran;
    });
    QWidget* w = StartWindow("BrowseSchedule", [] { BrowseSchedule(); }, "Scheduled Tasks");
    ASSERT_NE(w, nullptr);
    Child<QTabWidget>(w, "sheet")->setCurrentIndex(1);
    Pump(20);
    auto* list = Child<QTableView>(w, "list");
    ASSERT_EQ(Rows(list), 1);
    list->selectRow(0);
    Pump(20);
    Click(w, "execute");
    ASSERT_TRUE(WaitFor([&] { return ran == 1; }));
    EXPECT_TRUE(requestedWhenRun);
    EXPECT_TRUE(ScriptsRequested());
    SetExecuteTaskRunner({});
    ScriptsRequested() = false;
}

TEST_F(ScheduleListTest, ExploreFiltersNarrowTheListAndCopyGetsANewTask) {
    const int32_t today = MakeDate(7, 1, 2024);
    Categories_File().Open();
    for (const char* cat : {"General", "Work"}) {
        Categories_File().rec().Category = cat;
        ASSERT_EQ(Categories_File().Insert(), data::kLevelBenign);
    }
    Categories_File().Close();
    const int32_t a = AddTask("Today general");
    const int32_t b = AddTask("Today work", "Work");
    const int32_t c = AddTask("Same month next year");
    const int32_t d = AddTask("A hot key");
    const int32_t e = AddTask("Tomorrow disabled");
    SetTask(a, [&](Schedule& s) { s.Date = today; });
    SetTask(b, [&](Schedule& s) { s.Date = today; });
    SetTask(c, [&](Schedule& s) { s.Date = MakeDate(7, 20, 2025); });
    SetTask(d, [&](Schedule& s) {
        s.Date = today;
        s.TaskType = "Hot Key";
    });
    SetTask(e, [&](Schedule& s) {
        s.Date = today + 1;
        s.Disabled = 1;
    });
    AddItem(a, 1);

    QWidget* w = StartWindow("ExploreSchedule", [] { ExploreSchedule(); }, "Explore Schedule");
    ASSERT_NE(w, nullptr);
    auto* list = Child<QTableView>(w, "list");
    auto* day = Child<QComboBox>(w, "day");
    auto* status = Child<QComboBox>(w, "status");
    auto* category = Child<QComboBox>(w, "category");
    ASSERT_TRUE(list && day && status && category);
    EXPECT_EQ(category->count(), 3);  // All, General, Work
    EXPECT_EQ(day->currentText(), "Today");
    EXPECT_EQ(Rows(list), 2);  // never the hot key
    category->setCurrentText("Work");
    Pump(20);
    ASSERT_EQ(Rows(list), 1);
    EXPECT_EQ(Cell(list, 0, 5), "Today work");
    category->setCurrentText("All");
    day->setCurrentText("Tomorrow");
    Pump(20);
    EXPECT_EQ(Rows(list), 1);
    EXPECT_EQ(DefaultTaskDate(), std::to_string(today + 1));
    status->setCurrentText("Active");
    Pump(20);
    EXPECT_EQ(Rows(list), 0);
    status->setCurrentText("All");
    day->setCurrentText("This Month");
    Pump(20);
    EXPECT_EQ(Rows(list), 3);  // not the same month of next year
    day->setCurrentText("All");
    Pump(20);
    EXPECT_EQ(Rows(list), 4);

    // Custom asks for the range.
    day->setCurrentText("Custom");
    QWidget* range = WindowTitled("Enter Date Range");
    ASSERT_NE(range, nullptr);
    Click(range, "startOnly");
    EXPECT_FALSE(Child<QLineEdit>(range, "end")->isEnabled());
    Type(range, "start", Format(Value(MakeDate(7, 20, 2025)), data::ApplyDatePicture("@d17", "d3")));
    Click(range, "ok");
    ASSERT_TRUE(WaitFor([&] { return Rows(list) == 1; }));
    EXPECT_EQ(Cell(list, 0, 5), "Same month next year");

    // A copy is a new task with the script, never the source under its own number.
    day->setCurrentText("Today");
    Pump(20);
    list->selectRow(0);
    Pump(20);
    ASSERT_EQ(Cell(list, 0, 5), "Today general");
    Click(w, "copy");
    QWidget* form = WindowTitled("New Task");
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(ClickCloses(form, "ok"));
    const auto all = Tasks();
    ASSERT_EQ(all.size(), 6u);
    EXPECT_NE(all.back().ID, a);
    EXPECT_EQ(all.back().Description, "Today general");
    EXPECT_EQ(Items(all.back().ID), 1);
    EXPECT_EQ(Items(a), 1);
}

}  // namespace
}  // namespace kr::tasks

namespace kr::tasks {
namespace {

TEST_F(ScheduleListTest, QuickStartMakesAnEnabledOneOffCopyWithTheScript) {
    clock_.Set(MakeDate(7, 1, 2024), MakeTime(23, 58));
    const int32_t source = AddTask("Nightly");
    SetTask(source, [](Schedule& s) {
        s.Date = MakeDate(7, 1, 2024);
        s.Disabled = 1;
        s.Completed = 1;
        s.SkipNextTime = 1;
        s.AdvanceWarned = 1;
        s.AdvanceWarnDate = MakeDate(6, 30, 2024);
    });
    AddItem(source, 1);
    AddItem(source, 2);
    int choice = 7;  // past the delays: nothing happens
    InstallPopupResponder([&](const std::vector<PopupItem>&) { return choice; });
    QWidget* w = StartWindow("BrowseSchedule", [] { BrowseSchedule(); }, "Scheduled Tasks");
    ASSERT_NE(w, nullptr);
    auto* list = Child<QTableView>(w, "list");
    ASSERT_EQ(Rows(list), 1);
    list->selectRow(0);
    Pump(20);
    Click(w, "quick");
    EXPECT_EQ(Tasks().size(), 1u);
    choice = 1;  // 5 minutes
    Click(w, "quick");
    InstallPopupResponder({});
    const auto all = Tasks();
    ASSERT_EQ(all.size(), 2u) << Shown();
    const Schedule& copy = all.back();
    EXPECT_NE(copy.ID, source);
    EXPECT_EQ(copy.Description, "Nightly");
    EXPECT_EQ(copy.ScheduleType, "Once");
    // 23:58 plus five minutes and a second runs tomorrow.
    EXPECT_EQ(copy.Date, MakeDate(7, 2, 2024));
    EXPECT_EQ(copy.Time, MakeTime(0, 3, 1));
    EXPECT_EQ(copy.Disabled, 0);
    EXPECT_EQ(copy.Completed, 0);
    EXPECT_EQ(copy.SkipNextTime, 0);
    EXPECT_EQ(copy.AdvanceWarned, 0);
    EXPECT_EQ(copy.AdvanceWarnDate, 0);
    EXPECT_EQ(Items(copy.ID), 2);
    EXPECT_EQ(Items(source), 2);
    EXPECT_EQ(all.front().Disabled, 1);  // the source stays as it was
}

}  // namespace
}  // namespace kr::tasks

namespace kr::tasks {
namespace {

TEST_F(ScheduleListTest, BirthdayWizardNeedsADateStoresTheReminderAndCancelLeavesNothing) {
    // Cancel: the reserved placeholder goes again.
    QWidget* w = StartWindow("Birthdays1", [] { Wizard_NewBirthdays(); }, "Birthday/Anniversary Wizard");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Tasks().size(), 1u);
    ASSERT_TRUE(ClickCloses(w, "cancel"));
    EXPECT_TRUE(Tasks().empty());

    w = StartWindow("Birthdays2", [] { Wizard_NewBirthdays(); }, "Birthday/Anniversary Wizard");
    ASSERT_NE(w, nullptr);
    Type(w, "name", "Ann");
    // No date: the wizard stays on its first page.
    Click(w, "next");
    EXPECT_EQ(Child<QStackedWidget>(w, "pages")->currentIndex(), 0);
    ASSERT_FALSE(responder_.shown().empty());
    Type(w, "date", Format(Value(MakeDate(3, 14, 1960)), "@d3"));
    Click(w, "next");
    EXPECT_EQ(Child<QStackedWidget>(w, "pages")->currentIndex(), 1);
    EXPECT_EQ(Child<QLineEdit>(w, "description")->text(), "Birthday: Ann");
    Click(w, "anniversary");
    EXPECT_EQ(Child<QLineEdit>(w, "description")->text(), "Anniversary: Ann");
    ASSERT_TRUE(ClickCloses(w, "finish"));
    const auto all = Tasks();
    ASSERT_EQ(all.size(), 1u);
    const Schedule& s = all[0];
    EXPECT_EQ(s.Description, "Anniversary: Ann");
    EXPECT_EQ(s.Message, "It's Ann's anniversary today!\r\n\r\n[= AGE(DATE(3,14,1960),TODAY())]");
    EXPECT_EQ(s.ScheduleType, "Yearly");
    EXPECT_EQ(s.Category, "Reminders");
    EXPECT_EQ(s.Date, MakeDate(3, 14, 2025));  // the clock is 1 July 2024
    EXPECT_EQ(s.Disabled, 0);
    bool reminders = false;
    Categories_File().Open();
    Categories_File().File().ForEachMatch(CategoriesDef().key("CAT:KeyCategory"),
                                          {CategoriesDef().field("CAT:Category")}, {Value("Reminders")},
                                          [&](int64_t, const void*) { return !(reminders = true); });
    Categories_File().Close();
    EXPECT_TRUE(reminders);
}

}  // namespace
}  // namespace kr::tasks

namespace kr::tasks {
namespace {

TEST_F(ScheduleListTest, SpecialEventCopiesTheTaskWithItsScriptAndCanSkipTheSource) {
    const int32_t source = AddTask("Staff meeting");
    SetTask(source, [](Schedule& s) { s.Date = MakeDate(7, 1, 2024); });
    AddItem(source, 1);
    AddItem(source, 2);
    QWidget* w = StartWindow("BrowseSchedule", [] { BrowseSchedule(); }, "Scheduled Tasks");
    ASSERT_NE(w, nullptr);
    auto* list = Child<QTableView>(w, "list");
    ASSERT_EQ(Rows(list), 1);
    list->selectRow(0);
    Pump(20);

    // Cancel leaves nothing behind.
    Click(w, "special");
    QWidget* wiz = WindowTitled("Special Event Wizard");
    ASSERT_NE(wiz, nullptr);
    ASSERT_TRUE(ClickCloses(wiz, "cancel"));
    EXPECT_EQ(Tasks().size(), 1u);

    Click(w, "special");
    wiz = WindowTitled("Special Event Wizard");
    ASSERT_NE(wiz, nullptr);
    auto* pages = Child<QStackedWidget>(wiz, "pages");
    // A message task passes over the Command page both ways.
    Click(wiz, "next");
    EXPECT_EQ(pages->currentIndex(), 2);
    Click(wiz, "back");
    EXPECT_EQ(pages->currentIndex(), 0);
    Type(wiz, "description", "Staff meeting (moved)");
    Click(wiz, "next");
    Click(wiz, "next");
    EXPECT_EQ(pages->currentIndex(), 3);
    Type(wiz, "date", Format(Value(MakeDate(7, 3, 2024)), "@d3"));
    Click(wiz, "skipSource");
    Click(wiz, "next");
    EXPECT_EQ(pages->currentIndex(), 4);
    ASSERT_TRUE(ClickCloses(wiz, "finish"));
    const auto all = Tasks();
    ASSERT_EQ(all.size(), 2u) << Shown();
    const Schedule& src = all.front();
    const Schedule& copy = all.back();
    EXPECT_EQ(src.ID, source);
    EXPECT_EQ(src.SkipNextTime, 1);
    EXPECT_EQ(src.Description, "Staff meeting");
    EXPECT_NE(copy.ID, source);
    EXPECT_EQ(copy.Description, "Staff meeting (moved)");
    EXPECT_EQ(copy.Date, MakeDate(7, 3, 2024));
    EXPECT_EQ(copy.SkipNextTime, 0);
    EXPECT_EQ(copy.OriginalID, source);
    EXPECT_EQ(Items(copy.ID), 2);
    EXPECT_EQ(Items(source), 2);
}

// A daily message task that ran today at 07:59 through the timer cycle: the
// task itself moves to tomorrow, and today's row of the list is the
// history copy of the run (completed, disabled).
class RanTaskTest : public ScheduleListTest {
protected:
    int32_t AddRanTask() {
        const int32_t id = AddTask("Daily note");
        SetTask(id, [&](Schedule& s) {
            s.Date = MakeDate(7, 1, 2024);
            s.Time = MakeTime(7, 59);
            s.Sunday = s.Monday = s.Tuesday = s.Wednesday = s.Thursday = s.Friday = s.Saturday = 1;
            s.OriginalID = s.ID;
            s.Warn = 0;
        });
        TimerCycle cycle;
        cycle.hooks().showTaskMessage = [](const Schedule&) {};
        cycle.hooks().notifyWindowThreads = [] {};
        cycle.settings() = CycleSettings();
        cycle.Start();
        for (int i = 0; i < 8; ++i) cycle.TimerTick();
        cycle.Stop();
        return id;
    }
    // The history row of the run: today's completed copy of the task.
    int32_t HistoryOf(int32_t task) {
        for (const Schedule& s : Tasks())
            if (s.ID != task && s.OriginalID == task && s.Completed) return s.ID;
        return 0;
    }
    static Schedule TaskOf(int32_t id) {
        for (const Schedule& s : Tasks())
            if (s.ID == id) return s;
        return Schedule();
    }
};

TEST_F(RanTaskTest, SpecialEventFromTheHistoryRowRunsAndSkipsTheTaskThatStillRuns) {
    const int32_t task = AddRanTask();
    const int32_t history = HistoryOf(task);
    ASSERT_NE(history, 0) << "the task did not run";
    ASSERT_EQ(TaskOf(task).Date, MakeDate(7, 2, 2024));
    ASSERT_EQ(TaskOf(history).Disabled, 1);

    QWidget* w = StartWindow("BrowseSchedule", [] { BrowseSchedule(); }, "Scheduled Tasks");
    ASSERT_NE(w, nullptr);
    auto* list = Child<QTableView>(w, "list");
    // Today's tab holds the one row of today: the run's history copy.
    ASSERT_EQ(Rows(list), 1);
    list->selectRow(0);
    Pump(20);
    Click(w, "special");
    QWidget* wiz = WindowTitled("Special Event Wizard");
    ASSERT_NE(wiz, nullptr);
    Click(wiz, "next");
    auto* text = Child<QPlainTextEdit>(wiz, "text");
    ASSERT_NE(text, nullptr);
    text->setPlainText("Tea with the new team");
    Click(wiz, "next");
    Type(wiz, "time", "8:02AM");
    auto* skip = Child<QCheckBox>(wiz, "skipSource");
    ASSERT_TRUE(skip->isEnabled());
    Click(wiz, "skipSource");
    Click(wiz, "next");
    // Page 5 shows the new task enabled.
    EXPECT_FALSE(Child<QCheckBox>(wiz, "disable")->isChecked());
    ASSERT_TRUE(ClickCloses(wiz, "finish"));

    ASSERT_EQ(Tasks().size(), 3u) << Shown();
    const Schedule event = Tasks().back();
    EXPECT_NE(event.ID, task);
    EXPECT_NE(event.ID, history);
    EXPECT_EQ(event.Message, "Tea with the new team");
    EXPECT_EQ(event.Date, MakeDate(7, 1, 2024));
    EXPECT_EQ(event.Time, MakeTime(8, 2));
    EXPECT_EQ(event.Completed, 0);
    EXPECT_EQ(event.Disabled, 0);
    EXPECT_EQ(event.Skipped, 0);
    EXPECT_EQ(event.SkipNextTime, 0);
    EXPECT_EQ(event.OriginalID, task);
    // The skip mark is on the task's next regular run, not on its history.
    EXPECT_EQ(TaskOf(task).SkipNextTime, 1);
    EXPECT_EQ(TaskOf(history).SkipNextTime, 0);
    // The list shows the event as still to come.
    EXPECT_EQ(ScheduleStateIcon(event), ScheduleStateIcon(Schedule()));
}

TEST_F(RanTaskTest, SpecialEventFromAHistoryRowWithoutItsTaskOffersNoSkip) {
    const int32_t task = AddRanTask();
    const int32_t history = HistoryOf(task);
    ASSERT_NE(history, 0) << "the task did not run";
    // The task ends: once it has completed, and then when it is deleted.
    SetTask(task, [](Schedule& s) {
        s.Completed = 1;
        s.Disabled = 1;
    });
    for (bool deleted : {false, true}) {
        SCOPED_TRACE(deleted ? "task deleted" : "task completed");
        if (deleted) {
            sch().Clear();
            sch().Rec<Schedule>().ID = task;
            ASSERT_EQ(sch().Get(ScheduleDef().key("SCH:KeyID")), 0);
            ASSERT_EQ(sch().Delete(), 0);
        }
        const size_t before = Tasks().size();
        QWidget* wiz = OpenSpecialEvent(deleted ? "SpecialDeleted" : "SpecialCompleted", history);
        ASSERT_NE(wiz, nullptr);
        auto* skip = Child<QCheckBox>(wiz, "skipSource");
        EXPECT_FALSE(skip->isEnabled());
        EXPECT_FALSE(skip->isChecked());
        EXPECT_NE(skip->toolTip().indexOf(deleted ? "no longer exists" : "is completed"), -1)
            << skip->toolTip().toStdString();
        for (int i = 0; i < 3; ++i) Click(wiz, "next");
        EXPECT_FALSE(Child<QCheckBox>(wiz, "disable")->isChecked());
        ASSERT_TRUE(ClickCloses(wiz, "finish"));
        const auto all = Tasks();
        ASSERT_EQ(all.size(), before + 1) << Shown();
        EXPECT_EQ(all.back().Completed, 0);
        EXPECT_EQ(all.back().Disabled, 0);
        EXPECT_EQ(TaskOf(history).SkipNextTime, 0);
    }
}

// The task form opened from the schedule list stays open while its task
// runs from the timer; OK then must not put the old date back (the task
// would run a second time): the form says the record was changed by another
// station, shows the stored next run and stays open; the task ran once.
TEST_F(RanTaskTest, TaskFormOpenAcrossItsRunDoesNotPutTheOldDateBack) {
    const int32_t task = AddTask("Daily note");
    SetTask(task, [&](Schedule& s) {
        s.Date = MakeDate(7, 1, 2024);
        s.Time = MakeTime(8, 1);
        s.Sunday = s.Monday = s.Tuesday = s.Wednesday = s.Thursday = s.Friday = s.Saturday = 1;
        s.OriginalID = s.ID;
        s.Warn = 0;
    });
    QWidget* w = StartWindow("BrowseSchedule", [] { BrowseSchedule(); }, "Scheduled Tasks");
    ASSERT_NE(w, nullptr);
    auto* list = Child<QTableView>(w, "list");
    ASSERT_EQ(Rows(list), 1);
    list->selectRow(0);
    Pump(20);
    Click(w, "change");
    QWidget* form = WindowTitled("Edit Task");
    ASSERT_NE(form, nullptr) << Shown();

    int runs = 0;
    {
        clock_.Set(MakeDate(7, 1, 2024), MakeTime(8, 1));
        TimerCycle cycle;
        cycle.hooks().showTaskMessage = [&](const Schedule& s) { runs += s.ID == task; };
        cycle.hooks().notifyWindowThreads = [] {};
        cycle.settings() = CycleSettings();
        cycle.Start();
        for (int i = 0; i < 8; ++i) cycle.TimerTick();
        ASSERT_EQ(runs, 1);
        ASSERT_EQ(TaskOf(task).Date, MakeDate(7, 2, 2024));

        const size_t before = responder_.shown().size();
        QPointer<QWidget> open(form);
        Click(form, "ok");
        Pump(20);
        EXPECT_EQ(responder_.shown().size(), before + 1) << Shown();
        if (responder_.shown().size() > before) {
            EXPECT_EQ(responder_.shown().back().request.title, "Update Operation Error");
            EXPECT_EQ(responder_.shown().back().request.text, "This record was changed by another station.");
        }
        EXPECT_TRUE(open && open->isVisible());
        EXPECT_EQ(TaskOf(task).Date, MakeDate(7, 2, 2024));
        EXPECT_EQ(TaskOf(task).Time, MakeTime(8, 1));
        if (open) {
            EXPECT_EQ(OpenTaskEditors(), 1);
            EXPECT_EQ(Child<QLineEdit>(form, "date")->text().toStdString(),
                      Format(Value(MakeDate(7, 2, 2024)), "@" + Options().GlobalDateFormat.get()));
            // The form now shows what is stored: a second OK keeps the next run.
            ASSERT_TRUE(ClickCloses(form, "ok"));
        }
        EXPECT_EQ(TaskOf(task).Date, MakeDate(7, 2, 2024));
        clock_.Set(MakeDate(7, 1, 2024), MakeTime(8, 2));
        for (int i = 0; i < 8; ++i) cycle.TimerTick();
        cycle.Stop();
    }
    EXPECT_EQ(runs, 1);
}

// The advance warning shown while the task form is open only marks the task
// warned: OK stores the edit and keeps the mark, so the warning does not
// come again for the same run.
TEST_F(RanTaskTest, AdvanceWarningMarkedWhileTheFormIsOpenKeepsTheMarkAndStoresTheEdit) {
    const int32_t task = AddTask("Team call");
    SetTask(task, [&](Schedule& s) {
        s.Date = MakeDate(7, 1, 2024);
        s.Time = MakeTime(9, 0);
        s.AdvanceWarnDate = MakeDate(7, 1, 2024);
        s.AdvanceWarnTime = MakeTime(8, 0);
        s.AdvanceWarned = 0;
    });
    QWidget* w = StartWindow("BrowseSchedule", [] { BrowseSchedule(); }, "Scheduled Tasks");
    ASSERT_NE(w, nullptr);
    auto* list = Child<QTableView>(w, "list");
    ASSERT_EQ(Rows(list), 1);
    list->selectRow(0);
    Pump(20);
    Click(w, "change");
    QWidget* form = WindowTitled("Edit Task");
    ASSERT_NE(form, nullptr) << Shown();
    Type(form, "description", "Team call (room 2)");

    // The daily jobs' mark, as they store it: the task read and put at once.
    SetTask(task, [](Schedule& s) { s.AdvanceWarned = 1; });

    const size_t before = responder_.shown().size();
    ASSERT_TRUE(ClickCloses(form, "ok"));
    EXPECT_EQ(responder_.shown().size(), before) << Shown();
    EXPECT_EQ(TaskOf(task).Description, "Team call (room 2)");
    EXPECT_EQ(TaskOf(task).AdvanceWarned, 1);
    EXPECT_EQ(TaskOf(task).Date, MakeDate(7, 1, 2024));
}

}  // namespace
}  // namespace kr::tasks

namespace kr::tasks {
namespace {

// The wizards list the stored categories though no other window has the
// Categories table open.
TEST_F(ScheduleListTest, WizardsListTheCategoriesWhenNothingElseHasTheTableOpen) {
    Categories_File().Open();
    for (const char* cat : {"General", "Garden"}) {
        Categories_File().rec().Category = cat;
        ASSERT_EQ(Categories_File().Insert(), data::kLevelBenign);
    }
    Categories_File().Close();
    ASSERT_FALSE(data::TableOf(CategoriesDef()).IsOpen());
    QWidget* w = StartWindow("CatWizard", [] { Wizard_Message(); }, "New Message Task Wizard");
    ASSERT_NE(w, nullptr);
    EXPECT_GE(Child<QComboBox>(w, "category")->findText("Garden"), 0);
    ASSERT_TRUE(ClickCloses(w, "cancel"));

    ASSERT_FALSE(data::TableOf(CategoriesDef()).IsOpen());
    w = OpenSpecialEvent("CatEvent", AddTask("Staff meeting"));
    ASSERT_NE(w, nullptr);
    EXPECT_GE(Child<QComboBox>(w, "category")->findText("Garden"), 0);
    ASSERT_TRUE(ClickCloses(w, "cancel"));
}

TEST_F(ScheduleListTest, MessageWizardKeepsAToDoItemsTextsAndCancelLeavesNothing) {
    QWidget* w = StartWindow("Message1", [] { Wizard_Message(); }, "New Message Task Wizard");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Tasks().size(), 1u);  // the reserved placeholder
    ASSERT_TRUE(ClickCloses(w, "cancel"));
    EXPECT_TRUE(Tasks().empty());

    Schedule todo;
    todo.Description = "Call the bank";
    todo.Message = "Ask about the card\r\nPriority 1\r\n";
    todo.Category = "Errands";
    todo.Date = MakeDate(7, 2, 2024);
    todo.Time = MakeTime(8, 0);
    w = StartWindow("Message2", [todo] { Wizard_Message(todo); }, "New Message Task Wizard");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Child<QLineEdit>(w, "description")->text(), "Call the bank");
    auto* pages = Child<QStackedWidget>(w, "pages");
    Click(w, "next");
    EXPECT_EQ(pages->currentIndex(), 1);
    Click(w, "next");
    EXPECT_EQ(pages->currentIndex(), 2);
    EXPECT_FALSE(Child<QPushButton>(w, "next")->isEnabled());
    ASSERT_TRUE(ClickCloses(w, "finish"));
    const auto all = Tasks();
    ASSERT_EQ(all.size(), 1u) << Shown();
    const Schedule& s = all[0];
    EXPECT_EQ(s.Description, "Call the bank");
    EXPECT_EQ(s.Message, "Ask about the card\r\nPriority 1\r\n");
    EXPECT_EQ(s.Category, "General");  // the wizard's default replaces only the category
    EXPECT_EQ(s.TaskType, "Display Message");
    EXPECT_EQ(s.Date, MakeDate(7, 2, 2024));
    EXPECT_EQ(s.Disabled, 0);
}

}  // namespace
}  // namespace kr::tasks

namespace kr::tasks {
namespace {

TEST_F(ScheduleListTest, GeneralAndProgramWizardsFollowTheirPagesAndCancelDropsTheScript) {
    QWidget* w = StartWindow("General", [] { Wizard_GeneralTask(); }, "Add Task Wizard");
    ASSERT_NE(w, nullptr);
    auto* pages = Child<QStackedWidget>(w, "pages");
    ASSERT_EQ(pages->count(), 6);
    // Items made for the reserved task through the script list go on cancel.
    ASSERT_EQ(Tasks().size(), 1u);
    AddItem(Tasks()[0].ID, 1);
    Click(w, "taskType1");  // Display Message
    Click(w, "next");
    EXPECT_EQ(pages->currentIndex(), 1);
    Click(w, "next");
    EXPECT_EQ(pages->currentIndex(), 3);  // the Command page is passed over
    Click(w, "back");
    EXPECT_EQ(pages->currentIndex(), 1);
    const int32_t reserved = Tasks()[0].ID;
    ASSERT_TRUE(ClickCloses(w, "cancel"));
    EXPECT_TRUE(Tasks().empty());
    EXPECT_EQ(Items(reserved), 0);

    w = StartWindow("Program", [] { Wizard_Program(); }, "New Program Task Wizard");
    ASSERT_NE(w, nullptr);
    pages = Child<QStackedWidget>(w, "pages");
    ASSERT_EQ(pages->count(), 4);
    Type(w, "command", "/bin/true");
    for (int i = 0; i < 3; ++i) Click(w, "next");
    EXPECT_EQ(pages->currentIndex(), 3);
    Type(w, "description", "Nothing at all");
    ASSERT_TRUE(ClickCloses(w, "finish"));
    const auto all = Tasks();
    ASSERT_EQ(all.size(), 1u) << Shown();
    EXPECT_EQ(all[0].TaskType, "Run Program");
    EXPECT_EQ(all[0].Command, "/bin/true");
    EXPECT_EQ(all[0].Description, "Nothing at all");
    EXPECT_EQ(all[0].Disabled, 0);
}

}  // namespace
}  // namespace kr::tasks

namespace kr::tasks {
namespace {

// What is wrong with a wizard's Alt keys: an "&" label on a page that moves
// to no control. A letter shared on one page is no fault (Alt moves the
// focus between the controls that share it).
std::vector<std::string> AltKeyProblems(QWidget* w) {
    std::vector<std::string> problems;
    auto* pages = w->findChild<QStackedWidget*>("pages");
    if (!pages) return {"no pages"};
    for (int i = 0; i < pages->count(); ++i)
        for (QLabel* l : pages->widget(i)->findChildren<QLabel*>())
            if (!QKeySequence::mnemonic(l->text()).isEmpty() && !l->buddy())
                problems.push_back(QString("page %1: \"%2\" has no control").arg(i + 1).arg(l->text()).toStdString());
    return problems;
}

TEST_F(ScheduleListTest, BirthdayWizardsAltKeysReachTheirControlsAndBack) {
    QWidget* w = StartWindow("BirthdayKeys", [] { Wizard_NewBirthdays(); }, "Birthday/Anniversary Wizard");
    ASSERT_NE(w, nullptr);
    const auto problems = AltKeyProblems(w);
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);

    // Pressed for real: Alt+M moves to the message; on the alarm page Alt+B
    // is both Back and the WAV file's Browse, so it moves the focus between
    // them and presses neither.
    w->activateWindow();
    ASSERT_TRUE(WaitFor([w] { return QApplication::activeWindow() == w; }));
    Type(w, "name", "Ann");
    Type(w, "date", Format(Value(MakeDate(3, 14, 1960)), "@d3"));
    Click(w, "next");
    auto* pages = Child<QStackedWidget>(w, "pages");
    ASSERT_EQ(pages->currentIndex(), 1);
    QTest::keyClick(w, Qt::Key_M, Qt::AltModifier);
    Pump(20);
    EXPECT_EQ(QApplication::focusWidget(), Child<QPlainTextEdit>(w, "message"));
    Click(w, "next");
    ASSERT_EQ(pages->currentIndex(), 2);
    if (!Child<QCheckBox>(w, "alarm")->isChecked()) Click(w, "alarm");
    QTest::keyClick(w, Qt::Key_B, Qt::AltModifier);
    Pump(300);  // longer than a button's animated click
    EXPECT_EQ(pages->currentIndex(), 2);
    auto* back = Child<QPushButton>(w, "back");
    auto* browse = Child<QPushButton>(w, "wavBrowse");
    EXPECT_TRUE(QApplication::focusWidget() == back || QApplication::focusWidget() == browse);
    const QWidget* first = QApplication::focusWidget();
    QTest::keyClick(w, Qt::Key_B, Qt::AltModifier);
    Pump(300);
    EXPECT_NE(QApplication::focusWidget(), first);
    EXPECT_EQ(pages->currentIndex(), 2);
}

TEST_F(ScheduleListTest, BirthdayWizardGivesNextTheDefaultBackFromTheLastPage) {
    QWidget* w = StartWindow("BirthdayDefault", [] { Wizard_NewBirthdays(); }, "Birthday/Anniversary Wizard");
    ASSERT_NE(w, nullptr);
    std::set<QString> captions;
    for (QGroupBox* g : w->findChildren<QGroupBox*>()) captions.insert(g->title());
    EXPECT_TRUE(captions.count("When"));
    EXPECT_TRUE(captions.count("Occasion"));
    Type(w, "name", "Ann");
    Type(w, "date", Format(Value(MakeDate(3, 14, 1960)), "@d3"));
    auto* next = Child<QPushButton>(w, "next");
    auto* finish = Child<QPushButton>(w, "finish");
    Click(w, "next");
    EXPECT_TRUE(finish->isDefault());
    Click(w, "next");
    EXPECT_TRUE(finish->isDefault());
    Click(w, "back");
    EXPECT_EQ(Child<QStackedWidget>(w, "pages")->currentIndex(), 1);
    EXPECT_TRUE(next->isDefault());
    EXPECT_FALSE(finish->isDefault());
    ASSERT_TRUE(ClickCloses(w, "cancel"));
}

TEST_F(ScheduleListTest, BirthdayWizardKeepsEditedTextsAndItsHistoryKeyCopiesTheLastReminder) {
    FieldHistoryCopy::For("Wizard:NewBirthdays").Clear();
    const auto ditto = [](QWidget* c) {
        c->setFocus();
        QTest::keyClick(c, Qt::Key_Apostrophe, Qt::ControlModifier);
        Pump(20);
    };
    const auto firstPage = [this](QWidget* w, const char* name) {
        Type(w, "name", name);
        Type(w, "date", Format(Value(MakeDate(3, 14, 1960)), "@d3"));
        Click(w, "next");
    };

    // Texts edited on the Details page are what Finish stores.
    QWidget* w = StartWindow("Birthdays1", [] { Wizard_NewBirthdays(); }, "Birthday/Anniversary Wizard");
    ASSERT_NE(w, nullptr);
    auto* description = Child<QLineEdit>(w, "description");
    auto* message = Child<QPlainTextEdit>(w, "message");
    // Nothing saved yet in this run: the key leaves the field alone.
    firstPage(w, "Ann");
    ditto(message);
    EXPECT_EQ(message->toPlainText(), "It's Ann's birthday today!\n\nAge: [= AGE(DATE(3,14,1960),TODAY())]");
    Type(w, "description", "Ann's 65th");
    message->setPlainText("Buy flowers\nCall at noon");
    Click(w, "next");
    Click(w, "alarm");
    Type(w, "wavFile", "/tmp/bells.wav");
    ASSERT_TRUE(ClickCloses(w, "finish"));
    auto all = Tasks();
    ASSERT_EQ(all.size(), 1u) << Shown();
    EXPECT_EQ(all[0].Description, "Ann's 65th");
    EXPECT_EQ(all[0].Message, "Buy flowers\r\nCall at noon");
    EXPECT_EQ(all[0].AlarmFile, "/tmp/bells.wav");

    // The next reminder copies those fields with Ctrl+'.
    w = StartWindow("Birthdays2", [] { Wizard_NewBirthdays(); }, "Birthday/Anniversary Wizard");
    ASSERT_NE(w, nullptr);
    description = Child<QLineEdit>(w, "description");
    message = Child<QPlainTextEdit>(w, "message");
    firstPage(w, "Bob");
    EXPECT_EQ(description->text(), "Birthday: Bob");
    ditto(message);
    EXPECT_EQ(message->toPlainText(), "Buy flowers\nCall at noon");
    ditto(description);
    EXPECT_EQ(description->text(), "Ann's 65th");
    Click(w, "next");
    auto* alarm = Child<QCheckBox>(w, "alarm");
    ASSERT_FALSE(alarm->isChecked());
    ditto(alarm);
    EXPECT_TRUE(alarm->isChecked());
    Type(w, "wavFile", "/tmp/other.wav");
    ditto(Child<QLineEdit>(w, "wavFile"));
    EXPECT_EQ(Child<QLineEdit>(w, "wavFile")->text(), "/tmp/bells.wav");
    ASSERT_TRUE(ClickCloses(w, "finish"));
    all = Tasks();
    ASSERT_EQ(all.size(), 2u) << Shown();
    EXPECT_EQ(all[1].Description, "Ann's 65th");
    EXPECT_EQ(all[1].Message, "Buy flowers\r\nCall at noon");
    EXPECT_EQ(all[1].Alarm, 1);
    EXPECT_EQ(all[1].AlarmFile, "/tmp/bells.wav");
}

TEST_F(ScheduleListTest, SpecialEventFinishKeepsTheWarningTheUserSetAndWarnsOnce) {
    PutIniValue("kr98.INI", "Warning", "Active", "1");
    PutIniValue("kr98.INI", "Warning", "Date", "1");
    PutIniValue("kr98.INI", "Warning", "Time", "0");
    const int32_t source = AddTask("Staff meeting");  // Mondays, 8 July 2024 09:00
    SetTask(source, [](Schedule& s) {
        s.AdvanceWarnDate = MakeDate(7, 7, 2024);
        s.AdvanceWarnTime = MakeTime(9, 0);
        s.AdvanceWarned = 1;
    });
    QWidget* w = OpenSpecialEvent("SpecialWarning", source);
    ASSERT_NE(w, nullptr);
    for (int i = 0; i < 2; ++i) Click(w, "next");
    ASSERT_EQ(Child<QStackedWidget>(w, "pages")->currentIndex(), 3);
    // A Wednesday: warned once; the default warning is the day before.
    auto* warnDate = Child<QLineEdit>(w, "warnDate");
    const QString sourceWarning = warnDate->text();
    Type(w, "date", Format(Value(MakeDate(7, 10, 2024)), "@d3"));
    Pump(20);
    EXPECT_NE(warnDate->text(), sourceWarning);
    Type(w, "warnDate", Format(Value(MakeDate(7, 5, 2024)), "@d3"));
    Click(w, "next");
    ASSERT_TRUE(ClickCloses(w, "finish"));
    const auto all = Tasks();
    ASSERT_EQ(all.size(), 2u) << Shown();
    const Schedule& copy = all.back();
    EXPECT_EQ(copy.Date, MakeDate(7, 10, 2024));
    EXPECT_EQ(copy.AdvanceWarnDate, MakeDate(7, 5, 2024));
    EXPECT_EQ(copy.AdvanceWarned, 0);  // its own warning is yet to come
    // The schedule it does not show is the source's, to the letter.
    EXPECT_EQ(copy.ScheduleType, "Day of Week");
    EXPECT_EQ(copy.Monday, 1);
    EXPECT_EQ(copy.MonthRepeat, "");
    EXPECT_EQ(copy.EveryType, "");
    int warned = 0;
    for (const auto& m : responder_.shown()) warned += m.request.text == "Date given does not match schedule type.";
    EXPECT_EQ(warned, 1) << Shown();
}

TEST_F(ScheduleListTest, SpecialEventWizardViewsATaskReadOnlyAndItsAltKeysReachTheirControls) {
    const int32_t source = AddTask("Staff meeting");
    SetTask(source, [](Schedule& s) {
        s.TaskType = "Both";
        s.Command = "/bin/true";
    });
    const auto open = [source](int request) {
        Start("SpecialView", [source, request] {
            for (const Schedule& s : Tasks())
                if (s.ID == source) Schedule_File().rec() = s;
            GlobalRequest() = request;
            UpdateSchedule_SpecialEventWizard([](int r) { lastResponse = r; });
        });
    };

    // An insert: every page's Alt keys reach their controls.
    open(kInsertRecord);
    QWidget* w = WindowTitled("Special Event Wizard (Rescheduling)");
    ASSERT_NE(w, nullptr);
    const auto problems = AltKeyProblems(w);
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    ASSERT_TRUE(ClickCloses(w, "cancel"));

    // A view, and a delete alike: read-only through every page, no Finish,
    // "Cl&ose" with the focus, Enter on the last page closes, nothing stored.
    for (int request : {kViewRecord, kDeleteRecord}) {
        SCOPED_TRACE(request);
        open(request);
        w = WindowTitled("View Event Wizard (Rescheduling)");
        ASSERT_NE(w, nullptr);
        auto* cancel = Child<QPushButton>(w, "cancel");
        auto* finish = Child<QPushButton>(w, "finish");
        EXPECT_EQ(cancel->text(), "Cl&ose");
        EXPECT_TRUE(WaitFor([cancel] { return cancel->hasFocus(); }));
        EXPECT_TRUE(Child<QLineEdit>(w, "description")->isReadOnly());
        EXPECT_FALSE(Child<QRadioButton>(w, "message")->isEnabled());
        EXPECT_FALSE(Child<QComboBox>(w, "category")->isEnabled());
        auto* pages = Child<QStackedWidget>(w, "pages");
        for (int i = 0; i < 4; ++i) Click(w, "next");
        EXPECT_EQ(pages->currentIndex(), 4);
        EXPECT_FALSE(finish->isVisible());
        EXPECT_FALSE(finish->isEnabled());
        EXPECT_FALSE(Child<QPushButton>(w, "wavBrowse")->isEnabled());
        EXPECT_FALSE(Child<QCheckBox>(w, "disable")->isEnabled());
        EXPECT_TRUE(cancel->isDefault());
        QTest::keyClick(Child<QCheckBox>(w, "noHistory"), Qt::Key_Return);
        ASSERT_TRUE(WaitFor([] { return OpenTaskEditors() == 0; })) << Shown();
        EXPECT_EQ(lastResponse, kRequestCancelled);
        EXPECT_EQ(Tasks().size(), 1u);
    }
}

}  // namespace
}  // namespace kr::tasks

namespace kr::tasks {
namespace {

TEST_F(ScheduleListTest, WizardFinishChecksRequiredFieldsAndKeepsTheUsersNoHistory) {
    Start("Program", [] { Wizard_Program(); });
    QWidget* w = WindowTitled("New Program Task Wizard");
    ASSERT_NE(w, nullptr);
    auto* pages = Child<QStackedWidget>(w, "pages");
    for (int i = 0; i < 3; ++i) Click(w, "next");
    // No command: Finish names it and goes back to its page, with the
    // buttons of that page.
    Click(w, "finish");
    ASSERT_FALSE(responder_.shown().empty());
    EXPECT_EQ(responder_.shown().back().request.text, "\"Command\" must be entered.");
    EXPECT_EQ(responder_.shown().back().request.title, "Missing Information");
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_TRUE(Child<QPushButton>(w, "next")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(w, "finish")->isEnabled());
    EXPECT_EQ(Tasks().size(), 1u);  // only the placeholder
    Type(w, "command", "/bin/true");
    // An hourly Custom repeat switches No History on as Every is accepted;
    // the user clears it again and Finish keeps that.
    Click(w, "next");
    Click(w, "type5");
    Type(w, "every", "2");
    EXPECT_TRUE(Child<QCheckBox>(w, "noHistory")->isChecked());
    Click(w, "next");
    Click(w, "next");
    Click(w, "noHistory");
    Click(w, "finish");
    ASSERT_TRUE(WaitFor([] { return OpenTaskEditors() == 0; })) << Shown();
    const auto all = Tasks();
    ASSERT_EQ(all.size(), 1u) << Shown();
    EXPECT_EQ(all[0].Every, 2);
    EXPECT_EQ(all[0].NoHistory, 0);
}

}  // namespace
}  // namespace kr::tasks

namespace kr::tasks {
namespace {

TEST_F(ScheduleListTest, AddTaskWizardsAltKeysReachTheirControls) {
    const std::pair<const char*, std::function<void()>> wizards[] = {
        {"Add Task Wizard", [] { Wizard_GeneralTask(); }},
        {"New Program Task Wizard", [] { Wizard_Program(); }},
        {"New Message Task Wizard", [] { Wizard_Message(); }},
    };
    for (const auto& [title, open] : wizards) {
        Start(title, open);
        QWidget* w = WindowTitled(title);
        ASSERT_NE(w, nullptr) << title;
        const auto problems = AltKeyProblems(w);
        EXPECT_TRUE(problems.empty()) << title << ": " << ::testing::PrintToString(problems);
        Click(w, "cancel");
        ASSERT_TRUE(WaitFor([] { return OpenTaskEditors() == 0; })) << Shown();
    }
}

}  // namespace
}  // namespace kr::tasks

namespace kr::tasks {
namespace {

TEST_F(ScheduleListTest, WizardTextsKeepTheirAltLettersAndASharedLetterOnlyMovesTheFocus) {
    QWidget* w = StartWindow("GeneralKeys", [] { Wizard_GeneralTask(); }, "Add Task Wizard");
    ASSERT_NE(w, nullptr);
    const auto texts = [w] {
        std::set<QString> out;
        for (QLabel* l : w->findChildren<QLabel*>()) out.insert(l->text());
        for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) out.insert(b->text());
        return out;
    }();
    for (const char* t : {"Comma&nd:", "&Browse", "&Next Date to Perform Task:", "&Time:", "&Tips",
                          "&Before performing task, give option to skip", "Skip if a script is running"})
        EXPECT_TRUE(texts.count(t)) << t;

    // On the Command page Alt+N is the command's and Next's: it moves the
    // focus between them and leaves the page where it is.
    w->activateWindow();
    ASSERT_TRUE(WaitFor([w] { return QApplication::activeWindow() == w; }));
    auto* pages = Child<QStackedWidget>(w, "pages");
    Click(w, "next");
    Click(w, "next");
    ASSERT_EQ(pages->currentIndex(), 2);
    std::set<QWidget*> focused;
    for (int i = 0; i < 2; ++i) {
        QTest::keyClick(w, Qt::Key_N, Qt::AltModifier);
        Pump(300);  // longer than a button's animated click
        EXPECT_EQ(pages->currentIndex(), 2);
        focused.insert(QApplication::focusWidget());
    }
    EXPECT_EQ(focused, (std::set<QWidget*>{Child<QLineEdit>(w, "command"), Child<QPushButton>(w, "next")}));
    Click(w, "cancel");
    ASSERT_TRUE(WaitFor([] { return OpenTaskEditors() == 0; })) << Shown();

    // The task form's time keeps Alt+T beside "&Tips".
    Start("FormKeys", [] {
        GlobalRequest() = kInsertRecord;
        UpdateSchedule();
    });
    QWidget* form = WindowTitled("New Task");
    ASSERT_NE(form, nullptr);
    bool time = false;
    for (QLabel* l : form->findChildren<QLabel*>()) time |= l->text() == "&Time:" && l->buddy() == Child<QWidget>(form, "time");
    EXPECT_TRUE(time);
}

// Every label, button and group caption of a window, with tool tips.
std::set<QString> TextsOf(QWidget* w) {
    std::set<QString> out;
    for (QLabel* l : w->findChildren<QLabel*>())
        for (const QString& line : l->text().split('\n')) out.insert(line);
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) out.insert(b->text());
    for (QGroupBox* g : w->findChildren<QGroupBox*>()) out.insert(g->title());
    for (QWidget* c : w->findChildren<QWidget*>())
        if (!c->toolTip().isEmpty()) out.insert("tip: " + c->toolTip());
    return out;
}

TEST_F(ScheduleListTest, AddTaskWizardPagesCarryTheirTextsAndPicture) {
    const std::vector<QString> common = {
        "Schedule &Type", "&Before performing task, give option to skip", "Skip if a script is running"};
    const std::vector<QString> command = {
        "Enter any valid program name, along with the parameters it needs here...",
        "If the program must be started from a specific directory or folder, enter it here...",
        "<- Press this to send keystrokes or DDE commands"};
    const std::vector<QString> message = {"Message to display...", "Enter your customized message here..."};
    struct Case {
        const char* title;
        std::function<void()> open;
        std::vector<std::vector<QString>> texts;
    };
    const std::vector<Case> cases = {
        {"Add Task Wizard", [] { Wizard_GeneralTask(); },
         {common, command, message,
          {"Task Type", "tip: This determines what will happen at the time you specify...",
           "tip: Select a program to start"}}},
        {"New Program Task Wizard", [] { Wizard_Program(); },
         {common, command,
          {"TIPS:  If you're using Windows 95 or NT 4.0, you can enter the name of a",
           "document or URL.  To use scripting only, enter N/A as the command.",
           "tip: Select an application to start"}}},
        {"New Message Task Wizard", [] { Wizard_Message(); }, {common, message}},
    };
    for (const Case& c : cases) {
        Start(c.title, c.open);
        QWidget* w = WindowTitled(c.title);
        ASSERT_NE(w, nullptr) << c.title;
        const auto texts = TextsOf(w);
        for (const auto& group : c.texts)
            for (const QString& t : group) EXPECT_TRUE(texts.count(t)) << c.title << ": " << t.toStdString();
        EXPECT_FALSE(texts.count("B&efore performing task, give option to skip")) << c.title;
        if (std::string(c.title) == "Add Task Wizard") {
            // The picture stands beside the Task page, not beside Command or When.
            auto* picture = Child<QLabel>(w, "picture");
            ASSERT_NE(picture, nullptr);
            EXPECT_TRUE(picture->isVisible());
            Click(w, "next");
            Click(w, "next");
            EXPECT_FALSE(picture->isVisible());
        }
        Click(w, "cancel");
        ASSERT_TRUE(WaitFor([] { return OpenTaskEditors() == 0; })) << Shown();
    }
}

TEST_F(ScheduleListTest, WizardTimeMovesTheDefaultWarningAndOnlyTheDateWarnsOfAMismatch) {
    PutIniValue("kr98.INI", "Warning", "Active", "1");
    PutIniValue("kr98.INI", "Warning", "Date", "0");
    PutIniValue("kr98.INI", "Warning", "Time", "0");
    const int32_t source = AddTask("Staff meeting");  // Mondays
    QWidget* w = OpenSpecialEvent("SpecialTime", source);
    ASSERT_NE(w, nullptr);
    for (int i = 0; i < 2; ++i) Click(w, "next");
    ASSERT_EQ(Child<QStackedWidget>(w, "pages")->currentIndex(), 3);
    Type(w, "date", Format(Value(MakeDate(7, 10, 2024)), "@d3"));  // a Wednesday
    Type(w, "time", Format(Value(MakeTime(14, 30)), "@t3"));
    Pump(20);
    int warned = 0;
    for (const auto& m : responder_.shown()) warned += m.request.text == "Date given does not match schedule type.";
    EXPECT_EQ(warned, 1) << Shown();
    EXPECT_EQ(Child<QLineEdit>(w, "warnTime")->text().toStdString(), Format(Value(MakeTime(14, 30)), "@t3"));
    ASSERT_TRUE(ClickCloses(w, "cancel"));
}

TEST_F(ScheduleListTest, SpecialEventKeepsATypeOutsideItsChoicesAndShowsBothPages) {
    const int32_t source = AddTask("Reminder");
    SetTask(source, [](Schedule& s) {
        s.TaskType = "None";
        s.Command = "";
    });
    QWidget* w = OpenSpecialEvent("SpecialNone", source);
    ASSERT_NE(w, nullptr);
    const auto texts = TextsOf(w);
    for (const char* t : {"Task Type", "tip: Basic - Task Type (Message/Program/Both/Reminder)",
                          "tip: Program to start", "B&efore performing task, give option to skip"})
        EXPECT_TRUE(texts.count(t)) << t;
    EXPECT_FALSE(texts.count("Skip if a script is running") && Child<QCheckBox>(w, "skipIfScript")->isVisibleTo(w));
    for (const char* r : {"program", "message", "both"}) EXPECT_FALSE(Child<QRadioButton>(w, r)->isChecked()) << r;
    auto* pages = Child<QStackedWidget>(w, "pages");
    Click(w, "next");
    EXPECT_EQ(pages->currentIndex(), 1);
    EXPECT_FALSE(Child<QLineEdit>(w, "command")->isHidden());
    Click(w, "next");
    EXPECT_EQ(pages->currentIndex(), 2);
    EXPECT_FALSE(Child<QPlainTextEdit>(w, "text")->isHidden());
    Click(w, "next");
    Click(w, "next");
    // The empty command is named as every required field is: in quotes.
    Click(w, "finish");
    ASSERT_FALSE(responder_.shown().empty());
    EXPECT_EQ(responder_.shown().back().request.text, "\"Command\" must be entered.");
    EXPECT_EQ(pages->currentIndex(), 1);
    Type(w, "command", "N/A");
    for (int i = 0; i < 3; ++i) Click(w, "next");
    ASSERT_TRUE(ClickCloses(w, "finish"));
    const auto all = Tasks();
    ASSERT_EQ(all.size(), 2u) << Shown();
    EXPECT_EQ(all.back().TaskType, "None");

    // A program task hides the message text; a message task the command.
    w = OpenSpecialEvent("SpecialProgram", source);
    ASSERT_NE(w, nullptr);
    Click(w, "program");
    EXPECT_TRUE(Child<QPlainTextEdit>(w, "text")->isHidden());
    Click(w, "message");
    EXPECT_TRUE(Child<QLineEdit>(w, "command")->isHidden());
    EXPECT_FALSE(Child<QPlainTextEdit>(w, "text")->isHidden());
    ASSERT_TRUE(ClickCloses(w, "cancel"));
}

TEST_F(ScheduleListTest, SpecialEventSkipFailureShowsTheErrorInItsMessage) {
    const int32_t source = AddTask("Staff meeting");
    AddTask("Another task");  // the copy's number is not the source's
    QWidget* w = OpenSpecialEvent("SpecialSkip", source);
    ASSERT_NE(w, nullptr);
    for (int i = 0; i < 2; ++i) Click(w, "next");
    Click(w, "skipSource");
    Click(w, "next");
    // The source goes away while the wizard is open.
    sch().Clear();
    sch().Rec<Schedule>().ID = source;
    ASSERT_EQ(sch().Get(ScheduleDef().key("SCH:KeyID")), 0);
    ASSERT_EQ(sch().Delete(), 0);
    ASSERT_TRUE(ClickCloses(w, "finish"));
    bool shown = false;
    for (const auto& m : responder_.shown())
        if (m.request.text.rfind("Could not set SKIP status  ID #" + std::to_string(source) + "Error:", 0) == 0) {
            shown = true;
            EXPECT_GT(m.request.text.size(), m.request.text.find("Error:") + 6) << m.request.text;
            EXPECT_NE(m.request.title, "Error:");
        }
    EXPECT_TRUE(shown) << Shown();
    EXPECT_EQ(Tasks().size(), 2u);  // the special event is still saved
}

TEST_F(ScheduleListTest, WizardsAlarmBoxTakesTheProgramIniFileWhateverTheWavFieldKeeps) {
    const std::string ini = Options().ININame.get();
    PutIniValue(ini, "Settings", "LastWAVFile", "/sounds/ini.wav");
    PutSetting("LastWAVFile", "/sounds/store.wav");
    Start("Program", [] { Wizard_Program(); });
    QWidget* w = WindowTitled("New Program Task Wizard");
    ASSERT_NE(w, nullptr);
    Type(w, "command", "/bin/true");
    for (int i = 0; i < 3; ++i) Click(w, "next");
    auto* wav = Child<QLineEdit>(w, "wavFile");
    Click(w, "alarm");
    EXPECT_EQ(wav->text(), "/sounds/ini.wav");
    Click(w, "cancel");
    ASSERT_TRUE(WaitFor([] { return OpenTaskEditors() == 0; })) << Shown();
}

}  // namespace
}  // namespace kr::tasks
