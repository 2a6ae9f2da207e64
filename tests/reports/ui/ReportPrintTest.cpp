// Every report procedure printed to PDF over a real data file, started on
// a thread of its own as the frame starts it, and read back with pdftotext.
#include <QAbstractItemView>
#include <QComboBox>
#include <QProcess>
#include <QRegularExpression>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>

#include "dictionary/Settings.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "platform/ui/WindowPosition.h"
#include "reports/ReportCriteria.h"
#include "reports/windows/ReportWindows.h"
#include "tests/ui/TableWindowsFixture.h"

namespace kr::reports {
namespace {

using Procedure = void (*)(std::function<void(int)>);

class ReportPrintTest : public test::TableWindowsTest {
protected:
    ReportPrintTest() : TableWindowsTest(MakeDate(12, 9, 2026), MakeTime(10, 0)) {}

    void SetUp() override {
        TableWindowsTest::SetUp();
        CreateAndOpen({&data::TableOf(ScheduleDef()), &data::TableOf(CategoriesDef()), &data::TableOf(TodoDef()),
                       &data::TableOf(ContactDef()), &data::TableOf(ConfigurationDef())});
        pdf_ = folder_.path() + "/out.pdf";
        SetReportOutputFile(pdf_);
        Report() = ReportVariables();
        reports::Criteria() = CriteriaEntries();
        Options().GlobalDateFormat = "d3";
    }
    void TearDown() override {
        SetReportOutputFile("");
        TableWindowsTest::TearDown();
    }

    void AddTask(int32_t id, const char* category, const char* description, int32_t date, int32_t time,
                 const char* type = "Once") {
        auto& f = Schedule_File();
        f.rec() = Schedule();
        f.rec().ID = id;
        f.rec().TaskType = "Display Message";
        f.rec().Category = category;
        f.rec().Description = description;
        f.rec().Command = std::string("notify-") + description;
        f.rec().ScheduleType = type;
        f.rec().Every = 1;
        f.rec().EveryType = "Days";
        f.rec().Date = date;
        f.rec().Time = time;
        f.rec().Message = "Remember the milk";
        ASSERT_EQ(f.Insert(), 0);
    }
    void AddCategory(const char* c) {
        Categories_File().rec().Category = c;
        ASSERT_EQ(Categories_File().Insert(), 0);
    }
    void AddToDo(int priority, const char* category, const char* item, const char* notes, const char* resolution) {
        auto& f = Todo_File();
        f.rec() = Todo();
        f.rec().Priority = static_cast<uint8_t>(priority);
        f.rec().Category = category;
        f.rec().ToDo = item;
        f.rec().Notes = notes;
        f.rec().Resolution = resolution;
        ASSERT_EQ(f.Insert(), 0);
    }

    // Starts the report on a thread of its own; `during` drives its windows.
    // Answers the PDF's text ("" when none was written) and the response.
    std::string Run(const char* name, Procedure report, const std::function<void()>& during = {}) {
        return RunAndPrint(name, report, nullptr, during);
    }
    // The same for a report that previews at the end: Print in the preview
    // titled "Print Preview - " and the report's title.
    std::string RunAndPrint(const char* name, Procedure report, const char* previewTitle,
                            const std::function<void()>& during = {}) {
        std::error_code ec;
        std::filesystem::remove(pdf_, ec);
        response_ = 0;
        Start(name, [this, report] { report([this](int r) { response_ = r; }); });
        if (during) during();
        if (previewTitle) {
            QWidget* preview = WindowTitled(QString("Print Preview - ") + previewTitle);
            EXPECT_NE(preview, nullptr) << previewTitle << "\n" << Shown();
            if (preview) Click(preview, "print");
        }
        EXPECT_TRUE(test::WaitFor([this] { return response_ != 0; }, 20000)) << Shown();
        if (!std::filesystem::exists(pdf_)) return {};
        QProcess p;
        p.start("pdftotext", {"-layout", QString::fromStdString(pdf_), "-"});
        EXPECT_TRUE(p.waitForFinished(30000));
        // Runs of blanks as one: "Page   1" (the picture's blank digits) reads "Page 1".
        return QString::fromUtf8(p.readAllStandardOutput()).replace(QRegularExpression(" +"), " ").toStdString();
    }
    // The criteria window: date range (from today for `days`), category,
    // order and future occurrences, then OK.
    void Criteria(bool dates, const char* category, int order, bool future, int days = 7) {
        QWidget* w = WindowTitled("Report Criteria");
        ASSERT_NE(w, nullptr) << Shown();
        Click(w, dates ? "dateSelected" : "dateAll");
        if (dates) {
            const std::string to = Format(Value(static_cast<int64_t>(Today() + days)), "@d3");
            QLineEdit* e = TypeInto(w, "to", to);
            ASSERT_NE(e, nullptr);
            Click(w, "future");  // leaves the entry: the date is taken
            if (!future) Click(w, "future");
        }
        Click(w, category ? "categorySelected" : "categoryAll");
        if (category) Child<QComboBox>(w, "category")->setEditText(category);
        Click(w, ("order" + std::to_string(order)).c_str());
        Click(w, "ok");
    }
    static size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }

    std::string pdf_;
    int response_ = 0;
};

TEST_F(ReportPrintTest, FullTaskListsInDateAndCategoryOrder) {
    const int32_t d = Today();
    AddTask(1, "Work", "Standup", d + 1, MakeTime(9, 0));
    AddTask(2, "Home", "Bins", d + 3, MakeTime(7, 30));
    for (int i = 0; i < 20; ++i) AddTask(10 + i, "Misc", ("Filler " + std::to_string(i)).c_str(), d + 10, 0);
    auto& f = Schedule_File();
    f.rec() = Schedule();
    f.rec().ID = 1;
    ASSERT_EQ(f.Fetch("SCH:KeyID"), 0);
    f.rec().Disabled = 1;
    ASSERT_EQ(f.Update(), 0);

    const std::string byDate = RunAndPrint("Print:SCH:AllDateOrder", Print_SCH_AllDateOrder, "Schedule");
    EXPECT_EQ(response_, kRequestCompleted) << Shown();
    for (const char* h : {"Schedule", "Task Type", "Category", "Description", "Command", "Message", "Schedule Type",
                          "Date", "Time", "Advance Warning", "Last Run:", "Every", "Disabled", "Page 1", "Page 2"})
        EXPECT_NE(byDate.find(h), std::string::npos) << h << "\n" << byDate;
    EXPECT_NE(byDate.find("notify-Standup"), std::string::npos);
    EXPECT_NE(byDate.find("Remember the milk"), std::string::npos);
    EXPECT_NE(byDate.find(Format(Value(static_cast<int64_t>(d + 1)), "@d3")), std::string::npos);
    EXPECT_NE(byDate.find(Format(Value(static_cast<int64_t>(MakeTime(9, 0))), "@t3")), std::string::npos);
    EXPECT_LT(byDate.find("Standup"), byDate.find("Bins"));
    // Tasks never run, and the fillers without a time, print no time (not
    // "Last Run: 12:00AM").
    EXPECT_EQ(byDate.find("12:00AM"), std::string::npos) << byDate;

    const std::string byCategory = RunAndPrint("Print:SCH:AllCategoryOrder", Print_SCH_AllCategoryOrder, "Schedule");
    EXPECT_LT(byCategory.find("Bins"), byCategory.find("Filler 0"));
    EXPECT_LT(byCategory.find("Filler 0"), byCategory.find("Standup"));

    // The user's date format replaces the date pictures, not the time's.
    Options().GlobalDateFormat = "d10";
    const std::string formatted = RunAndPrint("Print:SCH:AllDateOrder", Print_SCH_AllDateOrder, "Schedule");
    EXPECT_NE(formatted.find(Format(Value(static_cast<int64_t>(d + 1)), "@d10")), std::string::npos) << formatted;
    EXPECT_NE(formatted.find(Format(Value(static_cast<int64_t>(MakeTime(9, 0))), "@t3")), std::string::npos);
}

TEST_F(ReportPrintTest, DirectReportsAskNothingPreviewAtTheEndAndKeepTheirProgressPosition) {
    const int32_t d = Today();
    AddCategory("Work");
    for (int i = 0; i < 60; ++i) AddTask(1 + i, "Work", ("Task " + std::to_string(i)).c_str(), d + i % 5, 0);
    const WindowPlacement placed{60, 80, 360, 150, false};
    for (const char* p : {"Print:SCH:AllDateOrder", "Print:SCH:AllCategoryOrder", "PrintCAT:KeyCategory"})
        ASSERT_TRUE(IniFile(PositionFile()).SaveWindow(p, placed));

    struct Case {
        const char* procedure;
        Procedure report;
        const char* title;
    };
    for (const Case& c : {Case{"Print:SCH:AllDateOrder", Print_SCH_AllDateOrder, "Schedule"},
                          Case{"Print:SCH:AllCategoryOrder", Print_SCH_AllCategoryOrder, "Schedule"},
                          Case{"PrintCAT:KeyCategory", PrintCAT_KeyCategory, "Category List"}}) {
        SCOPED_TRACE(c.procedure);
        responder_.clear();
        // The progress window as it shows: its title, no user line, and the
        // place saved for the procedure.
        QRect progressAt;
        bool userLine = true;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->windowTitle() == "Report Progress...") {
                    progressAt = w->geometry();
                    userLine = Child<QWidget>(w, "userText")->isVisible();
                }
        });
        probe.start(1);
        const std::string text = RunAndPrint(c.procedure, c.report, c.title);
        probe.stop();
        EXPECT_EQ(response_, kRequestCompleted);
        EXPECT_TRUE(responder_.shown().empty()) << "no preview question: " << Shown();
        EXPECT_NE(text.find(c.title), std::string::npos) << text;
        EXPECT_EQ(progressAt, QRect(placed.x, placed.y, placed.width, placed.height));
        EXPECT_FALSE(userLine);
    }

    // The position the window had is saved when the run ends, though the
    // window hides under the preview.
    IniFile(PositionFile()).SaveWindow("Print:SCH:AllDateOrder", WindowPlacement{});
    QTimer mover;
    QObject::connect(&mover, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == "Report Progress..." && w->pos() != QPoint(90, 70))
                w->setGeometry(90, 70, 380, 140);
    });
    mover.start(1);
    RunAndPrint("Print:SCH:AllDateOrder", Print_SCH_AllDateOrder, "Schedule");
    mover.stop();
    const auto saved = IniFile(PositionFile()).RestoreWindow("Print:SCH:AllDateOrder");
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(QRect(saved->x, saved->y, saved->width, saved->height), QRect(90, 70, 380, 140));
}

TEST_F(ReportPrintTest, LongNotesMessagesAndCommandsPrintWhole) {
    const int32_t d = Today();
    // A task message of 3,000 characters of numbered words and a command of
    // 80 characters, wider than its column.
    std::string message;
    int words = 0;
    while (message.size() < 2990) {
        char w[16];
        std::snprintf(w, sizeof w, "m%04d ", ++words);
        message += w;
    }
    message.resize(3000, 'x');
    std::string command;
    for (int i = 1; i <= 8; ++i) command += (i > 1 ? " cmdword" : "cmdword") + std::string(i < 10 ? "0" : "") + std::to_string(i);
    command += std::string(80 - command.size(), 'z');
    AddTask(1, "Work", "Long message", d + 1, MakeTime(9, 0));
    auto& f = Schedule_File();
    f.rec().ID = 1;
    ASSERT_EQ(f.Fetch("SCH:KeyID"), 0);
    f.rec().Message = message;
    f.rec().Command = command;
    ASSERT_EQ(f.Update(), 0);
    AddTask(2, "Work", "Next task", d + 2, MakeTime(9, 0));

    std::string text = RunAndPrint("Print:SCH:AllDateOrder", Print_SCH_AllDateOrder, "Schedule");
    // Every word of the message, in order, whatever the lines and pages.
    size_t at = 0;
    for (int i = 1; i <= words; ++i) {
        char w[16];
        std::snprintf(w, sizeof w, "m%04d", i);
        const size_t found = text.find(w, at);
        ASSERT_NE(found, std::string::npos) << w << " missing or out of order";
        at = found;
    }
    EXPECT_NE(text.find("xxxxx"), std::string::npos);
    EXPECT_LT(text.find("m0001"), text.find("Next task"));
    EXPECT_GT(text.rfind("Next task"), at) << "the next task follows the whole message";
    // The command wraps in its column: its words on lines of their own.
    for (int i = 1; i <= 8; ++i)
        EXPECT_NE(text.find("cmdword0" + std::to_string(i)), std::string::npos) << i << "\n" << text;
    const size_t first = text.find("cmdword01");
    ASSERT_NE(first, std::string::npos);
    const std::string firstLine = text.substr(first, text.find('\n', first) - first);
    EXPECT_EQ(firstLine.find("cmdword08"), std::string::npos) << firstLine;

    // A to-do note of 12 lines.
    std::string notes;
    for (int i = 1; i <= 12; ++i) notes += (i > 1 ? "\r\n" : "") + std::string("Note line ") + std::to_string(i) + ".";
    AddToDo(1, "General", "Many notes", notes.c_str(), "");
    AddToDo(2, "General", "Following item", "Short", "");
    responder_.Answer(kButtonNo);
    text = Run("PrintToDoByPriority", PrintToDoByPriority, [this] {
        QWidget* w = WindowTitled("Set Report Title");
        ASSERT_NE(w, nullptr);
        Click(w, "ok");
    });
    size_t last = 0;
    for (int i = 1; i <= 12; ++i) {
        const size_t found = text.find("Note line " + std::to_string(i) + ".", last);
        ASSERT_NE(found, std::string::npos) << i << "\n" << text;
        last = found;
    }
    EXPECT_GT(text.find("Following item"), last);
}

TEST_F(ReportPrintTest, OneCategoryAndTheCategoryList) {
    const int32_t d = Today();
    AddCategory("Alpha");
    AddCategory("Work");
    AddTask(1, "Alpha", "Alpha task", d + 2, MakeTime(8, 0));
    AddTask(2, "Work", "Work task", d + 1, MakeTime(8, 0));

    std::string text = RunAndPrint("Print:SCH:OneCategory", Print_SCH_OneCategory, "Alpha", [this] {
        QWidget* w = WindowTitled("Select a Category");
        ASSERT_NE(w, nullptr);
        Click(w, "select");  // the first category: Alpha
    });
    EXPECT_EQ(response_, kRequestCompleted) << Shown();
    for (const char* h : {"Alpha", "Date", "Time", "Description", "Alpha task", "Page 1"})
        EXPECT_NE(text.find(h), std::string::npos) << h << "\n" << text;
    EXPECT_EQ(text.find("Work task"), std::string::npos);

    // Cancelled at the lookup: nothing asked, nothing printed.
    responder_.clear();
    text = Run("Print:SCH:OneCategory", Print_SCH_OneCategory, [this] {
        QWidget* w = WindowTitled("Select a Category");
        ASSERT_NE(w, nullptr);
        Click(w, "cancel");
    });
    EXPECT_EQ(response_, kRequestCancelled);
    EXPECT_EQ(text, "");
    EXPECT_TRUE(responder_.shown().empty()) << Shown();

    text = RunAndPrint("PrintCAT:KeyCategory", PrintCAT_KeyCategory, "Category List");
    for (const char* h : {"Category List", "Category", "Alpha", "Work", "Page 1"})
        EXPECT_NE(text.find(h), std::string::npos) << h << "\n" << text;
}

TEST_F(ReportPrintTest, EmptyViewPrintsTheHeadingsOnly) {
    const std::string text = RunAndPrint("PrintCAT:KeyCategory", PrintCAT_KeyCategory, "Category List");
    EXPECT_EQ(response_, kRequestCompleted) << Shown();
    EXPECT_NE(text.find("Category List"), std::string::npos) << text;
    EXPECT_NE(text.find("Page 1"), std::string::npos);
    EXPECT_EQ(text.find("Page 2"), std::string::npos);
}

TEST_F(ReportPrintTest, ContactsPrintTheirFieldsInReadingOrder) {
    auto& f = Contact_File();
    f.rec() = Contact();
    f.rec().LastName = "Lovelace";
    f.rec().FirstName = "Ada";
    f.rec().AddressLine1 = "12 Analytical Row";
    f.rec().AddressLine2 = "Marylebone";
    f.rec().AddressLine3 = "London";
    f.rec().PostalCode = "N1 9GU";
    f.rec().WorkDayPhone = "555-0101";
    f.rec().HomeEveningPhone = "555-0102";
    f.rec().Fax = "555-0103";
    f.rec().OtherPhone = "555-0104";
    f.rec().Email = "ada@example.org";
    f.rec().WebSite = "example.org/ada";
    f.rec().ContactCategory = "Friends";
    ASSERT_EQ(f.Insert(), 0);
    responder_.Answer(kButtonNo);
    const std::string text = Run("PrintContacts", PrintContacts);
    // Rows top to bottom, each left to right, as pdftotext -layout reads
    // the page: the headings, then the contact's fields, in one order.
    auto inOrder = [&text](const std::vector<std::string>& items) {
        size_t at = 0;
        for (const std::string& item : items) {
            const size_t found = text.find(item, at);
            EXPECT_NE(found, std::string::npos) << item << " missing or out of order\n" << text;
            if (found == std::string::npos) return;
            at = found + item.size();
        }
    };
    inOrder({"Report the Contact File", "Last Name", "First Name", "Address Line 1", "Address Line 2",
             "Address Line 3", "Postal Code", "Work/Day Phone", "Home/Evening Phone", "Fax", "Other Phone", "Email",
             "Web Site", "Contact Category", "Lovelace", "Ada", "12 Analytical Row", "Marylebone", "London", "N1 9GU",
             "555-0101", "555-0102", "555-0103", "555-0104", "ada@example.org", "example.org/ada", "Friends",
             "Page 1"});
}

TEST_F(ReportPrintTest, BriefScheduleFromTheCriteria) {
    const int32_t d = Today();
    AddTask(1, "Work", "Standup", d + 1, MakeTime(9, 0));
    AddTask(2, "Home", "Bins", d + 2, MakeTime(7, 30));
    AddTask(3, "Work", "Far away", d + 40, MakeTime(7, 30));
    auto& f = Schedule_File();
    f.rec().ID = 2;
    ASSERT_EQ(f.Fetch("SCH:KeyID"), 0);
    f.rec().Disabled = 1;
    f.rec().Completed = 1;
    ASSERT_EQ(f.Update(), 0);

    responder_.Answer(kButtonNo);
    std::string text = Run("PrintScheduleBrief", PrintScheduleBrief, [this] { Criteria(true, nullptr, 0, false); });
    EXPECT_EQ(response_, kRequestCompleted) << Shown();
    for (const char* h : {"Schedule in Brief", "Date", "Time", "Category", "Description", "Done", "Standup", "Bins",
                          "Page 1"})
        EXPECT_NE(text.find(h), std::string::npos) << h << "\n" << text;
    EXPECT_EQ(text.find("Far away"), std::string::npos);
    EXPECT_EQ(Count(text, "Done"), 2u);  // the heading and the completed task
    EXPECT_EQ(Report().ReportFilter.str(), "Sch:Date>=GLO:DateFrom AND Sch:Date<=GLO:DateTo");

    // One category without dates.
    responder_.Answer(kButtonNo);
    text = Run("PrintScheduleBrief", PrintScheduleBrief, [this] { Criteria(false, "Work", 0, false); });
    EXPECT_NE(text.find("Far away"), std::string::npos) << text;
    EXPECT_EQ(text.find("Bins"), std::string::npos);

    // Cancel in the criteria: nothing asked, nothing printed.
    responder_.clear();
    text = Run("PrintScheduleBrief", PrintScheduleBrief, [this] {
        QWidget* w = WindowTitled("Report Criteria");
        ASSERT_NE(w, nullptr);
        Click(w, "cancel");
    });
    EXPECT_EQ(response_, kRequestCancelled);
    EXPECT_EQ(text, "");
    EXPECT_TRUE(responder_.shown().empty()) << Shown();
    EXPECT_TRUE(CriteriaCancelled(Report()));
}

TEST_F(ReportPrintTest, ChecklistWarnsOnAnOrderWithoutDateAndBreaksPagesByDay) {
    const int32_t d = Today();
    AddTask(1, "Work", "Standup", d + 1, MakeTime(9, 0));
    AddTask(2, "Home", "Bins", d + 2, MakeTime(7, 30));

    responder_.Answer(kButtonOk);  // the warning
    responder_.Answer(kButtonNo);  // print
    std::string text =
        Run("PrintScheduleChecklist", PrintScheduleChecklist, [this] { Criteria(false, nullptr, 1, false); });
    ASSERT_GE(responder_.shown().size(), 2u) << Shown();
    EXPECT_EQ(responder_.shown()[0].request.title, "Warning");
    EXPECT_EQ(responder_.shown()[0].request.text, kOrderWarningText);
    for (const char* h : {"Schedule", "Time", "Category", "Description", "Done", "Actual Start", "Actual End",
                          "Initials", "Page 1", "Page 2"})
        EXPECT_NE(text.find(h), std::string::npos) << h << "\n" << text;
    // Category order: Home's day first, a page for each day.
    EXPECT_LT(text.find(DayHeading(d + 2)), text.find(DayHeading(d + 1))) << text;
    EXPECT_LT(text.find("Page 1"), text.find(DayHeading(d + 1)));

    // In date order there is no warning.
    responder_.clear();
    responder_.Answer(kButtonNo);
    text = Run("PrintScheduleChecklist", PrintScheduleChecklist, [this] { Criteria(false, nullptr, 0, false); });
    ASSERT_EQ(responder_.shown().size(), 1u) << Shown();
    EXPECT_LT(text.find(DayHeading(d + 1)), text.find(DayHeading(d + 2)));
}

TEST_F(ReportPrintTest, FutureOccurrencesPrintFromTheWorkFileWhichIsThenDeleted) {
    const int32_t d = Today();
    AddTask(1, "Work", "Daily", d, MakeTime(9, 0), "Custom");
    AddTask(2, "Home", "Once only", d + 2, MakeTime(7, 30));
    auto stray = [this] {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(folder_.path())) {
            const std::string n = e.path().filename().string();
            if (n.rfind("KR97", 0) != 0 && n != "out.pdf" && n.find(".INI") == std::string::npos) out.push_back(n);
        }
        return out;
    };

    responder_.Answer(kButtonNo);
    std::string text = Run("PrintScheduleBrief", PrintScheduleBrief, [this] { Criteria(true, nullptr, 0, true, 7); });
    EXPECT_EQ(response_, kRequestCompleted) << Shown();
    EXPECT_NE(text.find("Complete Schedule in Brief"), std::string::npos) << text;
    EXPECT_EQ(Count(text, "Daily"), 8u) << text;
    EXPECT_EQ(Count(text, "Once only"), 1u);
    EXPECT_NE(text.find(Format(Value(static_cast<int64_t>(d + 7)), "@d3")), std::string::npos);
    EXPECT_TRUE(stray().empty());
    EXPECT_EQ(GetSetting("RIFO"), "1");

    // The checklist from the work file; cancelled at the preview question.
    responder_.Answer(kButtonCancel);
    text = Run("PrintScheduleChecklist", PrintScheduleChecklist, [this] { Criteria(true, nullptr, 0, true, 3); });
    EXPECT_EQ(response_, kRequestCancelled);
    EXPECT_EQ(text, "");
    EXPECT_TRUE(stray().empty());

    responder_.Answer(kButtonNo);
    text = Run("PrintScheduleChecklist", PrintScheduleChecklist, [this] { Criteria(true, nullptr, 0, true, 3); });
    EXPECT_NE(text.find("Complete Schedule"), std::string::npos) << text;
    EXPECT_EQ(Count(text, "Daily"), 4u);
    EXPECT_NE(text.find("Page 4"), std::string::npos);
    EXPECT_TRUE(stray().empty());
}

TEST_F(ReportPrintTest, CriteriaWindowEnablesByOptionAndTakesTheCalendarsDate) {
    response_ = 0;
    Start("PrintScheduleBrief", [this] { PrintScheduleBrief([this](int r) { response_ = r; }); });
    QWidget* w = WindowTitled("Report Criteria");
    ASSERT_NE(w, nullptr);
    auto* to = Child<QLineEdit>(w, "to");
    EXPECT_FALSE(to->isEnabled());
    EXPECT_FALSE(Child<QWidget>(w, "future")->isEnabled());
    EXPECT_FALSE(Child<QWidget>(w, "category")->isEnabled());
    EXPECT_EQ(to->text().toStdString(), Format(Value(static_cast<int64_t>(Today() + 30)), "@d3"));
    Click(w, "dateSelected");
    Click(w, "categorySelected");
    EXPECT_TRUE(to->isEnabled());
    EXPECT_TRUE(Child<QWidget>(w, "pickTo")->isEnabled());
    EXPECT_TRUE(Child<QWidget>(w, "category")->isEnabled());

    Click(w, "pickTo");
    QWidget* calendar = WindowTitled("Select \"To\" Date");
    ASSERT_NE(calendar, nullptr);
    Click(calendar, "today");
    const std::string today = Format(Value(static_cast<int64_t>(Today())), "@d3");
    EXPECT_TRUE(test::WaitFor([&] { return to->text().toStdString() == today; }))
        << to->text().toStdString();
    Click(w, "cancel");
    EXPECT_TRUE(test::WaitFor([this] { return response_ != 0; }));
    EXPECT_EQ(response_, kRequestCancelled);
}

TEST_F(ReportPrintTest, ToDoByPriorityAndByCategory) {
    AddCategory("General");
    AddCategory("Home");
    AddToDo(2, "Home", "Paint the fence", "White paint   ", "");
    AddToDo(1, "General", "File taxes", "Form 7", "Sent in March");
    AddToDo(3, "Home", "Fix the tap", "Washer", "Done by plumber");

    responder_.Answer(kButtonNo);
    std::string text = Run("PrintToDoByPriority", PrintToDoByPriority, [this] {
        QWidget* w = WindowTitled("Set Report Title");
        ASSERT_NE(w, nullptr);
        Click(w, "ok");  // blank: the report's own title
    });
    EXPECT_EQ(response_, kRequestCompleted) << Shown();
    // The run date's "D18" shows in the user's date format too.
    const std::string runDate = Format(Value(static_cast<int64_t>(Today())), "@d3");
    for (const std::string& h : {std::string("To Do List - By Priority"), std::string("Priority"),
                                 std::string("To Do"), std::string("File taxes"), std::string("Form 7"),
                                 std::string("Page 1"), runDate})
        EXPECT_NE(text.find(h), std::string::npos) << h << "\n" << text;
    EXPECT_LT(text.find("File taxes"), text.find("Paint the fence"));

    // A typed title replaces the report's own.
    responder_.Answer(kButtonNo);
    text = Run("PrintToDoByPriority", PrintToDoByPriority, [this] {
        QWidget* w = WindowTitled("Set Report Title");
        ASSERT_NE(w, nullptr);
        TypeInto(w, "title", "Chores");
        Click(w, "ok");
    });
    EXPECT_NE(text.find("Chores"), std::string::npos);
    EXPECT_EQ(text.find("By Priority"), std::string::npos);

    // By category: the lookup, the preview question, the title window
    // preset to the category's title; the notes carry the resolution.
    responder_.Answer(kButtonNo);
    text = Run("PrintToDoByCategory", PrintToDoByCategory, [this] {
        QWidget* w = WindowTitled("Select a Category");
        ASSERT_NE(w, nullptr);
        auto* list = w->findChild<QAbstractItemView*>();
        ASSERT_NE(list, nullptr);
        list->setCurrentIndex(list->model()->index(1, 0));  // Home
        Click(w, "select");
        QWidget* t = WindowTitled("Set Report Title");
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(Child<QLineEdit>(t, "title")->text(), "To Do List - Home");
        Click(t, "ok");
    });
    EXPECT_EQ(response_, kRequestCompleted) << Shown();
    EXPECT_NE(text.find("To Do List - Home"), std::string::npos) << text;
    EXPECT_NE(text.find("Paint the fence"), std::string::npos);
    EXPECT_NE(text.find("Done by plumber"), std::string::npos);
    EXPECT_EQ(text.find("File taxes"), std::string::npos);

    // Cancel in the title window ends the run with nothing printed.
    responder_.Answer(kButtonNo);
    text = Run("PrintToDoByPriority", PrintToDoByPriority, [this] {
        QWidget* w = WindowTitled("Set Report Title");
        ASSERT_NE(w, nullptr);
        Click(w, "cancel");
    });
    EXPECT_EQ(response_, kRequestCancelled);
    EXPECT_EQ(text, "");
}

}  // namespace
}  // namespace kr::reports
