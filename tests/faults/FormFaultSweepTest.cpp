// A form's OK swept write by write, offscreen over a real data file: the
// to-do form changing an item, the contact form changing an address, the
// task form changing a task's description. A failed OK must tell once, naming the
// cause, keep the form open and store nothing; once the fault is gone the
// same OK stores the change.
#include <QPointer>
#include <QTableView>
#include <gtest/gtest.h>

#include "../ui/TableWindowsFixture.h"
#include "SweepSupport.h"
#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "dictionary/OrganiserTables.h"
#include "organiser/windows/ContactWindows.h"
#include "organiser/windows/ToDoWindows.h"
#include "platform/data/Table.h"
#include "platform/data/WriteFault.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "tasks/TaskReservation.h"
#include "tasks/windows/TaskWindows.h"

namespace kr::organiser {
namespace {

using test::FaultCause;
using test::FaultCauses;
using test::EveryWrite;
using test::NamesCause;
using test::Pump;
using test::WaitFor;

class FormFaultSweepTest : public test::TableWindowsTest {
protected:
    FormFaultSweepTest() : TableWindowsTest(MakeDate(3, 4, 2025), MakeTime(9, 30)) {}
    void SetUp() override {
        TableWindowsTest::SetUp();
        CreateAndOpen({&todo(), &cat()});
        for (const char* c : {"General", "Home"}) {
            cat().Clear();
            cat().Rec<Categories>().Category = c;
            ASSERT_EQ(cat().Add(), 0);
        }
        todo().Clear();
        todo().Rec<Todo>().ToDo = "File taxes";
        todo().Rec<Todo>().Category = "General";
        todo().Rec<Todo>().Priority = 5;
        ASSERT_EQ(todo().Add(), 0);
        Options().UserID = "ann";
    }
    void TearDown() override {
        data::ClearWriteFault();
        TableWindowsTest::TearDown();
    }
    static data::Table& todo() { return data::TableOf(TodoDef()); }
    static data::Table& cat() { return data::TableOf(CategoriesDef()); }
    // The item as stored: its text, category and priority.
    static std::string Stored() {
        std::string out;
        todo().ForEachMatch(TodoDef().key("TDO:KeyCategory"), {TodoDef().field("TDO:Category")}, {Value("General")},
                            [&](int64_t, const void* r) {
                                const Todo& t = *static_cast<const Todo*>(r);
                                out += ClipRight(t.ToDo.str()) + "|" + ClipRight(t.Category.str()) + "|" +
                                       std::to_string(t.Priority) + ";";
                                return true;
                            });
        return out;
    }
    static void PutBack(const std::string& text) {
        todo().Clear();
        todo().Rec<Todo>().Category = "General";
        ASSERT_EQ(todo().Set(TodoDef().key("TDO:KeyCategory")), 0);
        ASSERT_EQ(todo().Next(), 0);
        todo().Rec<Todo>().ToDo = text;
        ASSERT_EQ(todo().Put(), 0);
    }
    QWidget* OpenForm(QWidget* list) {
        auto* view = Child<QTableView>(list, "list");
        view->setFocus();
        view->selectRow(0);
        Pump(20);
        Click(list, "change");
        return WindowTitled("Edit To Do Item");
    }
    static bool Closes(QWidget* f) {
        QPointer<QWidget> p = f;
        Click(f, "ok");
        return WaitFor([p] { return !p || !p->isVisible(); }, 1000);
    }
    std::vector<std::string> Told() const {
        std::vector<std::string> out;
        for (const auto& m : responder_.shown()) out.push_back(m.request.title + ": " + m.request.text);
        return out;
    }
};

TEST_F(FormFaultSweepTest, TheToDoFormsOkKeepsItsPromisesAtEveryFailingWrite) {
    Start("BrowseToDoList", [] { BrowseToDoList(); });
    QWidget* list = WindowTitled("To Do");
    ASSERT_NE(list, nullptr);

    QWidget* f = OpenForm(list);
    ASSERT_NE(f, nullptr);
    TypeInto(f, "todo", "File taxes now");
    data::CountWrites();
    ASSERT_TRUE(Closes(f)) << Shown();
    const int64_t writes = data::WritesCounted();
    ASSERT_EQ(Stored(), "File taxes now|General|5;");
    ASSERT_GE(writes, 1);

    for (const FaultCause& c : FaultCauses()) {
        for (int64_t k : EveryWrite(writes)) {
            const std::string what = std::string(c.name) + ", write " + std::to_string(k) + " of " + std::to_string(writes);
            data::ClearWriteFault();
            PutBack("File taxes");
            responder_.clear();
            f = OpenForm(list);
            ASSERT_NE(f, nullptr) << what;
            TypeInto(f, "todo", "File taxes now");
            data::SetWriteFault(c.cause, k);
            const bool closed = Closes(f);
            data::ClearWriteFault();
            const std::vector<std::string> told = Told();
            if (data::WritesFailed() == 0) {
                EXPECT_TRUE(closed) << what;
                continue;
            }
            EXPECT_FALSE(closed) << what << ": the form closed on a change that was not stored";
            EXPECT_EQ(told.size(), 1u) << what << "\n" << Shown();
            for (const std::string& m : told) EXPECT_TRUE(NamesCause(m, c.cause)) << what << ": " << m;
            EXPECT_EQ(Stored(), "File taxes|General|5;") << what;
            if (!closed) {
                EXPECT_TRUE(Closes(f)) << what << ": OK once the fault is gone\n" << Shown();
            }
            EXPECT_EQ(Stored(), "File taxes now|General|5;") << what;
        }
    }
}

class ContactFormFaultSweepTest : public test::TableWindowsTest {
protected:
    ContactFormFaultSweepTest() : TableWindowsTest(MakeDate(3, 4, 2025), MakeTime(9, 30)) {}
    void SetUp() override {
        TableWindowsTest::SetUp();
        CreateAndOpen({&contacts(), &categories(), &messages()});
        categories().Clear();
        categories().Rec<ContactCategories>().ContactCategory = "Family";
        ASSERT_EQ(categories().Add(), 0);
        contacts().Clear();
        Contact& c = contacts().Rec<Contact>();
        c.LastName = "Smith";
        c.FirstName = "Ann";
        c.ContactCategory = "Family";
        c.Email = "ann@example.org";
        ASSERT_EQ(contacts().AddAutoNumbered(ContactDef().key("C_:KeyClientID")), 0);
    }
    void TearDown() override {
        data::ClearWriteFault();
        TableWindowsTest::TearDown();
    }
    static data::Table& contacts() { return data::TableOf(ContactDef()); }
    static data::Table& categories() { return data::TableOf(ContactCategoriesDef()); }
    static data::Table& messages() { return data::TableOf(MessagesDef()); }
    static std::string Stored() {
        std::string out;
        contacts().ForEachMatch(ContactDef().key("C_:KeyClientID"), {ContactDef().field("C_:ClientID")}, {Value(1)},
                                [&](int64_t, const void* r) {
                                    const Contact& c = *static_cast<const Contact*>(r);
                                    out += ClipRight(c.LastName.str()) + "|" + ClipRight(c.FirstName.str()) + "|" +
                                           ClipRight(c.ContactCategory.str()) + "|" + ClipRight(c.Email.str()) + ";";
                                    return true;
                                });
        return out;
    }
    static void PutBack() {
        contacts().Clear();
        contacts().Rec<Contact>().ClientID = 1;
        ASSERT_EQ(contacts().Get(ContactDef().key("C_:KeyClientID")), 0);
        contacts().Rec<Contact>().Email = "ann@example.org";
        ASSERT_EQ(contacts().Put(), 0);
    }
    QWidget* OpenForm(QWidget* list) {
        auto* view = Child<QTableView>(list, "list");
        view->setFocus();
        view->selectRow(0);
        Pump(20);
        Click(list, "change");
        return WindowTitled("Edit Contact");
    }
    static bool Closes(QWidget* f) {
        QPointer<QWidget> p = f;
        Click(f, "ok");
        return WaitFor([p] { return !p || !p->isVisible(); }, 1000);
    }
};

TEST_F(ContactFormFaultSweepTest, TheContactFormsOkKeepsItsPromisesAtEveryFailingWrite) {
    const std::string before = "Smith|Ann|Family|ann@example.org;", after = "Smith|Ann|Family|ann@example.com;";
    ASSERT_EQ(Stored(), before);
    Start("BrowseContacts", [] { BrowseContacts(); });
    QWidget* list = WindowTitled("Contacts");
    ASSERT_NE(list, nullptr);
    QWidget* f = OpenForm(list);
    ASSERT_NE(f, nullptr);
    TypeInto(f, "email", "ann@example.com");
    data::CountWrites();
    ASSERT_TRUE(Closes(f)) << Shown();
    const int64_t writes = data::WritesCounted();
    ASSERT_EQ(Stored(), after);
    ASSERT_GE(writes, 1);

    for (const FaultCause& c : FaultCauses()) {
        for (int64_t k : EveryWrite(writes)) {
            const std::string what = std::string(c.name) + ", write " + std::to_string(k) + " of " + std::to_string(writes);
            data::ClearWriteFault();
            PutBack();
            responder_.clear();
            f = OpenForm(list);
            ASSERT_NE(f, nullptr) << what;
            TypeInto(f, "email", "ann@example.com");
            data::SetWriteFault(c.cause, k);
            const bool closed = Closes(f);
            const bool failed = data::WritesFailed() > 0;
            data::ClearWriteFault();
            if (!failed) {
                EXPECT_TRUE(closed) << what;
                continue;
            }
            EXPECT_FALSE(closed) << what << ": the form closed on a change that was not stored";
            EXPECT_EQ(responder_.shown().size(), 1u) << what << "\n" << Shown();
            for (const auto& m : responder_.shown())
                EXPECT_TRUE(NamesCause(m.request.text, c.cause)) << what << ": " << m.request.text;
            EXPECT_EQ(Stored(), before) << what;
            if (!closed) {
                EXPECT_TRUE(Closes(f)) << what << ": OK once the fault is gone\n" << Shown();
            }
            EXPECT_EQ(Stored(), after) << what;
        }
    }
}

class TaskFormFaultSweepTest : public test::TableWindowsTest {
protected:
    TaskFormFaultSweepTest() : TableWindowsTest(MakeDate(7, 1, 2024), MakeTime(8, 0)) {}
    void SetUp() override {
        TableWindowsTest::SetUp();
        CreateAndOpen({&sch(), &scr()});
        sch().Clear();
        Schedule& s = sch().Rec<Schedule>();
        s.ID = 1;
        s.Description = "Backup";
        s.Category = "General";
        s.TaskType = "Display Message";
        s.ScheduleType = "Day of Week";
        s.Monday = 1;
        s.Date = MakeDate(7, 8, 2024);
        s.Time = MakeTime(9, 0);
        s.Message = "Hello";
        s.Command = "N/A";
        ASSERT_EQ(sch().Add(), 0);
        for (int i = 1; i <= 2; ++i) {
            scr().Clear();
            scr().Rec<Scripting>().ID = 1;
            scr().Rec<Scripting>().Sequence = i;
            scr().Rec<Scripting>().Action = "Wait";
            ASSERT_EQ(scr().Add(), 0);
        }
    }
    void TearDown() override {
        data::ClearWriteFault();
        TableWindowsTest::TearDown();
    }
    static data::Table& sch() { return data::TableOf(ScheduleDef()); }
    static data::Table& scr() { return data::TableOf(ScriptingDef()); }
    static Schedule Task() {
        Schedule out;
        sch().ForEachMatch(ScheduleDef().key("SCH:KeyID"), {ScheduleDef().field("SCH:ID")}, {Value(1)},
                           [&](int64_t, const void* r) {
                               out = *static_cast<const Schedule*>(r);
                               return false;
                           });
        return out;
    }
    static int Items() {
        int n = 0;
        scr().ForEachMatch(ScriptingDef().key("SCR:KeyID"), {ScriptingDef().field("SCR:ID")}, {Value(1)},
                           [&](int64_t, const void*) {
                               ++n;
                               return true;
                           });
        return n;
    }
    static void PutBack() {
        sch().Clear();
        sch().Rec<Schedule>().ID = 1;
        ASSERT_EQ(sch().Get(ScheduleDef().key("SCH:KeyID")), 0);
        sch().Rec<Schedule>().Description = "Backup";
        ASSERT_EQ(sch().Put(), 0);
    }
    QWidget* OpenForm() {
        Start("TaskFormSweep", [] {
            Schedule& SCH = Schedule_File().rec();
            SCH = Task();
            GlobalRequest() = kChangeRecord;
            tasks::UpdateSchedule([](int) {});
        });
        return WindowTitled("Edit Task");
    }
    static bool Closes(QWidget* w) {
        Click(w, "ok");
        return WaitFor([] { return OpenTaskEditors() == 0; }, 1500);
    }
    // What the change must leave alone, as one text.
    static std::string Kept(const Schedule& s) {
        return s.Category.str() + "|" + s.TaskType.str() + "|" + s.ScheduleType.str() + "|" + std::to_string(s.Date) +
               "|" + std::to_string(s.Time) + "|" + s.Message + "|" + s.Command.str() + "|" + std::to_string(s.Monday);
    }
};

TEST_F(TaskFormFaultSweepTest, TheTaskFormsOkKeepsItsPromisesAtEveryFailingWrite) {
    const std::string kept = Kept(Task());
    QWidget* w = OpenForm();
    ASSERT_NE(w, nullptr);
    if (QLineEdit* e = TypeInto(w, "description", "Backup nightly")) e->editingFinished();
    data::CountWrites();
    ASSERT_TRUE(Closes(w)) << Shown();
    const int64_t writes = data::WritesCounted();
    ASSERT_EQ(ClipRight(Task().Description.str()), "Backup nightly");
    ASSERT_GE(writes, 1);

    for (const FaultCause& c : FaultCauses()) {
        for (int64_t k : EveryWrite(writes)) {
            const std::string what = std::string(c.name) + ", write " + std::to_string(k) + " of " + std::to_string(writes);
            data::ClearWriteFault();
            PutBack();
            responder_.clear();
            w = OpenForm();
            ASSERT_NE(w, nullptr) << what;
            if (QLineEdit* e = TypeInto(w, "description", "Backup nightly")) e->editingFinished();
            data::SetWriteFault(c.cause, k);
            const bool closed = Closes(w);
            const bool failed = data::WritesFailed() > 0;
            data::ClearWriteFault();
            std::vector<std::string> told;
            for (const auto& m : responder_.shown()) told.push_back(m.request.title + ": " + m.request.text);
            if (failed) {
                EXPECT_LE(told.size(), 1u) << what << "\n" << Shown();
                for (const std::string& m : told) EXPECT_TRUE(NamesCause(m, c.cause)) << what << ": " << m;
                if (closed) {
                    // Closed on a failed write: only when the change was stored all the same.
                    EXPECT_EQ(ClipRight(Task().Description.str()), "Backup nightly") << what << ": closed, not stored";
                    EXPECT_FALSE(told.empty() && ClipRight(Task().Description.str()) != "Backup nightly") << what;
                } else {
                    EXPECT_EQ(told.size(), 1u) << what << ": the form stayed open without a word";
                    EXPECT_EQ(ClipRight(Task().Description.str()), "Backup") << what;
                    EXPECT_TRUE(Closes(w)) << what << ": OK once the fault is gone\n" << Shown();
                }
            } else {
                EXPECT_TRUE(closed) << what;
            }
            EXPECT_EQ(ClipRight(Task().Description.str()), "Backup nightly") << what;
            EXPECT_EQ(Kept(Task()), kept) << what;
            EXPECT_EQ(Items(), 2) << what << ": the task's script items";
            if (OpenTaskEditors() != 0) {
                ADD_FAILURE() << what << ": a task editor left open";
                test::CloseAllWindows();
                WaitFor([] { return OpenTaskEditors() == 0; });
            }
        }
    }
}

}  // namespace
}  // namespace kr::organiser
