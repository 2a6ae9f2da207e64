// The e-mail message windows offscreen over a real data file: the form's
// recipient rules by mail type, its required fields, and a Send Email
// script item given its message through the list.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include "../ui/MnemonicCheck.h"
#include "../ui/TableWindowsFixture.h"
#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "organiser/windows/MessageWindows.h"
#include "platform/data/ListQuery.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "scriptedit/windows/ScriptWindows.h"

namespace kr::organiser {
namespace {

using test::Pump;
using test::WaitFor;

class MessageWindowsTest : public test::TableWindowsTest {
protected:
    MessageWindowsTest() : TableWindowsTest(MakeDate(3, 4, 2025), MakeTime(9, 30)) {}
    void SetUp() override {
        TableWindowsTest::SetUp();
        CreateAndOpen({&Of(MessagesDef()), &Of(ContactDef()), &Of(ContactCategoriesDef()), &Of(ConfigurationDef()),
                       &Of(ScheduleDef()), &Of(ScriptingDef())});
        RegisterMessageWindows();
    }
    void TearDown() override {
        TableWindowsTest::TearDown();
        scriptedit::SetMessageChooser(nullptr);
        scriptedit::SetNewMessageForm(nullptr);
    }
    static data::Table& Of(const data::TableDef& d) { return data::TableOf(d); }
    static std::vector<MessagesRecord> Stored() {
        std::vector<MessagesRecord> out;
        data::ListQuery q(Of(MessagesDef()));
        q.SetKeyOrder(MessagesDef().key("M_:KeyEmailID"));
        std::vector<data::ListRow> rows;
        if (q.Apply() != 0 || q.PageAt(0, 1000, rows) != 0) return out;
        for (const data::ListRow& r : rows) {
            MessagesRecord m;
            q.ToRecord(r, &m);
            out.push_back(m);
        }
        return out;
    }
    static void AddMessage(const std::string& to, const std::string& subject) {
        data::Table& t = Of(MessagesDef());
        t.Clear();
        MessagesRecord& m = t.Rec<MessagesRecord>();
        m.MailType = "Email";
        m.EmailTo = to;
        m.Subject = subject;
        ASSERT_EQ(t.AddAutoNumbered(MessagesDef().key("M_:KeyEmailID")), 0);
    }
    // The form for a new message, opened on a thread of its own.
    QWidget* NewMessage() {
        Start("NewMessage", [this] {
            GlobalRequest() = kInsertRecord;
            UpdateMessages(0, [this](int r) { response_ = r; });
        });
        return WindowTitled("New E-mail Message");
    }
    static void Leave(QWidget* f, const char* name, const std::string& text) {
        QLineEdit* e = TypeInto(f, name, text);
        ASSERT_NE(e, nullptr);
        QTest::keyClick(e, Qt::Key_Tab);
        Pump(20);
    }
    // Empties an entry as the user does: select all and delete.
    static void Clear(QWidget* f, const char* name) {
        auto* e = Child<QLineEdit>(f, name);
        ASSERT_NE(e, nullptr) << name;
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClick(e, Qt::Key_Tab);
        Pump(20);
    }
    static int32_t AddContact(const std::string& last, const std::string& first, const std::string& email) {
        data::Table& t = Of(ContactDef());
        t.Clear();
        Contact& c = t.Rec<Contact>();
        c.LastName = last;
        c.FirstName = first;
        c.Email = email;
        EXPECT_EQ(t.AddAutoNumbered(ContactDef().key("C_:KeyClientID")), 0);
        return t.Rec<Contact>().ClientID;
    }
    // OK that must not save: the form stays with the box naming the field.
    void ExpectMissing(QWidget* f, const std::string& prompt, std::size_t stored) {
        responder_.clear();
        Click(f, "ok");
        Pump(30);
        EXPECT_TRUE(f->isVisible());
        EXPECT_TRUE(responder_.sawTitle("Missing Information")) << Shown();
        EXPECT_TRUE(responder_.sawText("\"" + prompt + "\" must be entered.")) << Shown();
        EXPECT_EQ(Stored().size(), stored);
    }
    int response_ = 0;
};

TEST_F(MessageWindowsTest, AltLettersOfTheFormReachTheirControls) {
    QWidget* f = NewMessage();
    ASSERT_NE(f, nullptr);
    for (const std::string& problem : test::MnemonicProblems(f)) ADD_FAILURE() << problem;
}

TEST_F(MessageWindowsTest, AMassMailingWithAnEmptyToGetsNAAndIsRemembered) {
    QWidget* f = NewMessage();
    ASSERT_NE(f, nullptr);
    auto* type = Child<QComboBox>(f, "type");
    type->setCurrentText("Mass Mailing");
    Pump(20);
    EXPECT_FALSE(Child<QLineEdit>(f, "to")->isVisible());
    EXPECT_TRUE(Child<QLineEdit>(f, "category")->isVisible());
    EXPECT_FALSE(Child<QLineEdit>(f, "cc")->isVisible());
    Leave(f, "category", "Family");
    Leave(f, "subject", "Reunion");
    Click(f, "ok");
    ASSERT_TRUE(WaitFor([&] { return response_ == kRequestCompleted; })) << Shown();
    ASSERT_EQ(Stored().size(), 1u);
    EXPECT_EQ(Stored()[0].EmailTo, "N/A");
    EXPECT_EQ(Stored()[0].EmailToGroup, "Family");
    EXPECT_EQ(Stored()[0].MailType, "Mass Mailing");
    EXPECT_EQ(GetSetting("LastMassMailing"), "Family");

    // The next mass mailing starts with that category; a news message keeps
    // a newsgroup that is already set.
    f = NewMessage();
    ASSERT_NE(f, nullptr);
    Child<QComboBox>(f, "type")->setCurrentText("Mass Mailing");
    Pump(20);
    EXPECT_EQ(Child<QLineEdit>(f, "category")->text(), "Family");
    TypeInto(f, "to", "");
    Child<QComboBox>(f, "type")->setCurrentText("News");
    Pump(20);
    Leave(f, "to", "comp.lang.c");
    Child<QComboBox>(f, "type")->setCurrentText("Email");
    Child<QComboBox>(f, "type")->setCurrentText("News");
    Pump(20);
    EXPECT_EQ(Child<QLineEdit>(f, "to")->text(), "comp.lang.c");
}

TEST_F(MessageWindowsTest, AnAttachmentFillsOnlyAnEmptySubject) {
    QWidget* f = NewMessage();
    ASSERT_NE(f, nullptr);
    Leave(f, "attachment", "/tmp/report.pdf");
    EXPECT_EQ(Child<QLineEdit>(f, "subject")->text(), "/tmp/report.pdf");
    Leave(f, "subject", "Monthly report");
    Leave(f, "attachment", "/tmp/other.pdf");
    EXPECT_EQ(Child<QLineEdit>(f, "subject")->text(), "Monthly report");
}

TEST_F(MessageWindowsTest, OkWithoutASubjectGivesTheRequiredFieldText) {
    QWidget* f = NewMessage();
    ASSERT_NE(f, nullptr);
    Leave(f, "to", "ann@example.org");
    Click(f, "ok");
    Pump(30);
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(responder_.sawTitle("Missing Information")) << Shown();
    EXPECT_TRUE(responder_.sawText("\"Subject\" must be entered.")) << Shown();
    EXPECT_TRUE(Stored().empty());
    EXPECT_EQ(QApplication::focusWidget(), Child<QLineEdit>(f, "subject"));
}

TEST_F(MessageWindowsTest, ASendEmailItemShowsTheRecipientAndSubjectOfItsChosenMessage) {
    AddMessage("ann@example.org", "Minutes");
    AddMessage("boss@example.com", "Weekly report");
    ASSERT_EQ(Schedule_File().Open(), data::kLevelBenign);
    ASSERT_EQ(Scripting_File().Open(), data::kLevelBenign);
    Schedule_File().rec() = Schedule();
    Schedule_File().rec().ID = 5;
    Scripting& item = Scripting_File().rec();
    item = Scripting();
    item.ID = 5;
    item.Action = "Send Email";
    GlobalRequest() = kInsertRecord;
    scriptedit::UpdateScripting([](int) {});
    QWidget* form = WindowTitled("New Script Action");
    ASSERT_NE(form, nullptr);
    test::ButtonText(form, "Send Email")->click();
    Pump(20);
    QAbstractButton* newMessage = test::ButtonText(form, "&New Message");
    ASSERT_NE(newMessage, nullptr);
    EXPECT_TRUE(newMessage->isEnabled());
    test::ButtonText(form, "Select &Message")->click();
    QWidget* list = WindowTitled("E-mail Messages");
    ASSERT_NE(list, nullptr);
    auto* rows = Child<QTableView>(list, "list");
    ASSERT_EQ(rows->model()->rowCount(), 2);
    EXPECT_FALSE(Child<QPushButton>(list, "send")->isVisible());
    rows->setFocus();
    rows->selectRow(1);
    Pump(20);
    Click(list, "select");
    auto shows = [&](const QString& text) {
        for (QLabel* l : form->findChildren<QLabel*>())
            if (l->text() == text) return true;
        return false;
    };
    ASSERT_TRUE(WaitFor([&] { return shows("boss@example.com"); })) << Shown();
    EXPECT_TRUE(shows("Weekly report"));
    EXPECT_EQ(Scripting_File().rec().EmailID, Stored()[1].EmailID);
    Scripting_File().Close();
    Schedule_File().Close();
}

TEST_F(MessageWindowsTest, EmailToAContactWithoutAnAddressAsksForTheToInsteadOfMailingTheLastRecipient) {
    PutSetting("LastEmail", "last@example.org");
    const int32_t bea = AddContact("Brown", "Bea", "");
    Start("EmailContact", [this, bea] {
        GlobalRequest() = kInsertRecord;
        UpdateMessages(bea, [this](int r) { response_ = r; });
    });
    QWidget* f = WindowTitled("New E-mail Message");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(Child<QLineEdit>(f, "to")->text(), "");
    EXPECT_EQ(Child<QLineEdit>(f, "name")->text(), "Bea Brown");
    Leave(f, "subject", "Hello");
    ExpectMissing(f, "To (Email Address)", 0);
    Click(f, "cancel");

    // The same contact picked in a new message, whose To the last address
    // had filled: the To is the contact's, empty.
    f = NewMessage();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(Child<QLineEdit>(f, "to")->text(), "last@example.org");
    Click(f, "pickContact");
    QWidget* pick = WindowTitled("Contacts");
    ASSERT_NE(pick, nullptr);
    auto* rows = Child<QTableView>(pick, "list");
    rows->setFocus();
    rows->selectRow(0);
    Pump(20);
    Click(pick, "select");
    ASSERT_TRUE(WaitFor([&] { return Child<QLineEdit>(f, "name")->text() == "Bea Brown"; })) << Shown();
    EXPECT_EQ(Child<QLineEdit>(f, "to")->text(), "");
    Leave(f, "subject", "Hello");
    ExpectMissing(f, "To (Email Address)", 0);
}

TEST_F(MessageWindowsTest, OkFindsTheRecipientTheUserClearedOfEachType) {
    // A first e-mail saved through the form is the address a new one starts with.
    QWidget* f = NewMessage();
    ASSERT_NE(f, nullptr);
    Leave(f, "to", "ann@example.org");
    Leave(f, "subject", "Minutes");
    Click(f, "ok");
    ASSERT_TRUE(WaitFor([&] { return response_ == kRequestCompleted; })) << Shown();
    ASSERT_EQ(Stored().size(), 1u);

    f = NewMessage();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(Child<QLineEdit>(f, "to")->text(), "ann@example.org");
    Clear(f, "to");
    Leave(f, "subject", "Agenda");
    ExpectMissing(f, "To (Email Address)", 1u);

    PutSetting("LastNewsgroup", "comp.lang.c");
    Child<QComboBox>(f, "type")->setCurrentText("News");
    Pump(20);
    EXPECT_EQ(Child<QLineEdit>(f, "to")->text(), "comp.lang.c");
    Clear(f, "to");
    ExpectMissing(f, "To (Email Address)", 1u);

    PutSetting("LastMassMailing", "Family");
    Child<QComboBox>(f, "type")->setCurrentText("Mass Mailing");
    Pump(20);
    EXPECT_EQ(Child<QLineEdit>(f, "category")->text(), "Family");
    Clear(f, "category");
    ExpectMissing(f, "Category", 1u);
    EXPECT_EQ(QApplication::focusWidget(), Child<QLineEdit>(f, "category"));
}

TEST_F(MessageWindowsTest, TheRememberedAddressDoesNotStayAsAMassMailingsHiddenTo) {
    PutSetting("LastEmail", "last@example.org");
    QWidget* f = NewMessage();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(Child<QLineEdit>(f, "to")->text(), "last@example.org");
    Child<QComboBox>(f, "type")->setCurrentText("Mass Mailing");
    Pump(20);
    Leave(f, "category", "Family");
    Leave(f, "subject", "Reunion");
    Click(f, "ok");
    ASSERT_TRUE(WaitFor([&] { return response_ == kRequestCompleted; })) << Shown();
    ASSERT_EQ(Stored().size(), 1u);
    EXPECT_EQ(Stored()[0].EmailTo, "N/A");
    EXPECT_EQ(Stored()[0].EmailToGroup, "Family");
}

TEST_F(MessageWindowsTest, EditingANewsMessageShowsItsOwnNewsgroupAndSubject) {
    PutSetting("LastNewsgroup", "comp.lang.c");
    data::Table& t = Of(MessagesDef());
    t.Clear();
    MessagesRecord& m = t.Rec<MessagesRecord>();
    m.MailType = "News";
    m.EmailTo = "alt.test";
    m.Subject = "Ping";
    m.Message = "Body.";
    ASSERT_EQ(t.AddAutoNumbered(MessagesDef().key("M_:KeyEmailID")), 0);
    Start("BrowseMessages", [] { BrowseMessages(); });
    QWidget* list = WindowTitled("E-mail Messages");
    ASSERT_NE(list, nullptr);
    auto* rows = Child<QTableView>(list, "list");
    rows->setFocus();
    rows->selectRow(0);
    Pump(20);
    Click(list, "change");
    QWidget* f = WindowTitled("Edit E-mail Message");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(Child<QComboBox>(f, "type")->currentText(), "News");
    EXPECT_EQ(Child<QLineEdit>(f, "to")->text(), "alt.test");
    EXPECT_EQ(Child<QLineEdit>(f, "subject")->text(), "Ping");
    EXPECT_EQ(Child<QPlainTextEdit>(f, "message")->toPlainText(), "Body.");
    QPointer<QWidget> form = f;
    Click(f, "ok");
    ASSERT_TRUE(WaitFor([&] { return !form || !form->isVisible(); })) << Shown();
    ASSERT_EQ(Stored().size(), 1u);
    EXPECT_EQ(Stored()[0].EmailTo, "alt.test");
}

}  // namespace
}  // namespace kr::organiser
