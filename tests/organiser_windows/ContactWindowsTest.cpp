// The contact windows offscreen over a real data file: the clipboard text
// of a contact, a copy with its own number, the Category tab's range, the
// category rules of the two-pane window and what an empty list offers.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include "../ui/MnemonicCheck.h"
#include "../ui/TableWindowsFixture.h"
#include "dictionary/Dictionary.h"
#include "organiser/windows/ContactWindows.h"
#include "platform/data/ListQuery.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "platform/ui/PopupMenu.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"

namespace kr::organiser {
namespace {

using test::Pump;
using test::WaitFor;

class ContactWindowsTest : public test::TableWindowsTest {
protected:
    ContactWindowsTest() : TableWindowsTest(MakeDate(3, 4, 2025), MakeTime(9, 30)) {}
    void SetUp() override {
        TableWindowsTest::SetUp();
        CreateAndOpen({&contacts(), &categories(), &messages()});
        for (const char* c : {"Family", "Work"}) AddCategory(c);
    }
    void TearDown() override {
        TableWindowsTest::TearDown();
        InstallPopupResponder({});
    }
    static data::Table& contacts() { return data::TableOf(ContactDef()); }
    static data::Table& categories() { return data::TableOf(ContactCategoriesDef()); }
    static data::Table& messages() { return data::TableOf(MessagesDef()); }
    static void AddCategory(const char* name) {
        categories().Clear();
        categories().Rec<ContactCategories>().ContactCategory = name;
        ASSERT_EQ(categories().Add(), 0);
    }
    static void AddContact(const std::string& last, const std::string& first, const std::string& category,
                           const std::string& email = {}) {
        contacts().Clear();
        Contact& c = contacts().Rec<Contact>();
        c.LastName = last;
        c.FirstName = first;
        c.ContactCategory = category;
        c.Email = email;
        ASSERT_EQ(contacts().AddAutoNumbered(ContactDef().key("C_:KeyClientID")), 0);
    }
    // Every record of a table in the key's order.
    template <class R>
    static std::vector<R> All(data::Table& t, const data::KeyDef* key) {
        std::vector<R> out;
        data::ListQuery q(t);
        q.SetKeyOrder(key);
        std::vector<data::ListRow> rows;
        if (q.Apply() != 0 || q.PageAt(0, 1000, rows) != 0) return out;
        for (const data::ListRow& r : rows) {
            R rec;
            q.ToRecord(r, &rec);
            out.push_back(rec);
        }
        return out;
    }
    static std::vector<Contact> Stored() { return All<Contact>(contacts(), ContactDef().key("C_:KeyClientID")); }
    static std::vector<std::string> CategoryNames() {
        std::vector<std::string> out;
        for (const ContactCategories& c :
             All<ContactCategories>(categories(), ContactCategoriesDef().key("CC:KeyContactCategories")))
            out.push_back(c.ContactCategory.str());
        return out;
    }
    QWidget* OpenContacts() {
        Start("BrowseContacts", [] { BrowseContacts(); });
        QWidget* w = WindowTitled("Contacts");
        list_ = Child<QTableView>(w, "list");
        return w;
    }
    int Rows(QTableView* l) const { return l ? l->model()->rowCount() : -1; }
    int Rows() const { return Rows(list_); }
    static QString Cell(QTableView* l, int row, int column) { return l->model()->index(row, column).data().toString(); }
    static void SelectRow(QTableView* l, int row) {
        l->setFocus();
        l->selectRow(row);
        Pump(20);
    }
    static bool OkCloses(QWidget* f) {
        QPointer<QWidget> p = f;
        Click(f, "ok");
        return WaitFor([p] { return !p || !p->isVisible(); });
    }
    QTableView* list_ = nullptr;
};

TEST_F(ContactWindowsTest, AltLettersOfTheWindowsReachTheirControls) {
    QWidget* list = OpenContacts();
    ASSERT_NE(list, nullptr);
    for (const std::string& problem : test::MnemonicProblems(list)) ADD_FAILURE() << "list: " << problem;
    Click(list, "insert");
    QWidget* f = WindowTitled("New Contact");
    ASSERT_NE(f, nullptr);
    // The form's prompts are the address book's own; "&Work/Day Phone:" and
    // "&Web Site:" have always shared their letter.
    for (const std::string& problem : test::MnemonicProblems(f))
        if (problem.find("&Web Site:") == std::string::npos) ADD_FAILURE() << "form: " << problem;
}

TEST_F(ContactWindowsTest, AContactWithOnlyALastNameCopiesAsThirteenLines) {
    AddContact("Smith", "", "");
    QWidget* w = OpenContacts();
    ASSERT_NE(w, nullptr);
    Clipboard().SetText("left over");
    SelectRow(list_, 0);
    Click(w, "clip");
    EXPECT_EQ(Clipboard().Text(),
              "Smith\r\n\r\n\r\n\r\n\r\n\r\nWork Phone:\r\nHome Phone:\r\nFax:\r\nOther Phone:\r\nEmail:\r\n"
              "Web Site:\r\nCategory:\r\n");
}

TEST_F(ContactWindowsTest, AnEmptyListOffersNeitherTheClipboardNorEmail) {
    QWidget* w = OpenContacts();
    ASSERT_NE(w, nullptr);
    for (const char* name : {"clip", "copy", "change", "del"})
        EXPECT_FALSE(Child<QPushButton>(w, name)->isEnabled()) << name;
    EXPECT_FALSE(Child<QPushButton>(w, "select")->isVisible());
    std::vector<PopupItem> offered;
    InstallPopupResponder([&](const std::vector<PopupItem>& items) {
        offered = items;
        return 0;
    });
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
    QApplication::sendEvent(list_->viewport(), &menu);
    Pump(20);
    bool sawEmail = false;
    for (const PopupItem& i : offered)
        if (i.text == "Email...") {
            sawEmail = true;
            EXPECT_FALSE(i.enabled);
        }
    EXPECT_TRUE(sawEmail);
    // The clipboard keeps what it held.
    Clipboard().SetText("kept");
    Click(w, "clip");
    EXPECT_EQ(Clipboard().Text(), "kept");
}

TEST_F(ContactWindowsTest, CopyMakesASecondContactWithANewNumber) {
    AddContact("Jones", "Ann", "Work", "ann@example.org");
    QWidget* w = OpenContacts();
    ASSERT_NE(w, nullptr);
    SelectRow(list_, 0);
    Click(w, "copy");
    QWidget* f = WindowTitled("New Contact");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(Child<QLineEdit>(f, "last")->text(), "Jones");
    TypeInto(f, "first", "Bob");
    ASSERT_TRUE(OkCloses(f)) << Shown();
    const std::vector<Contact> all = Stored();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_NE(all[0].ClientID, all[1].ClientID);
    EXPECT_EQ(all[0].FirstName, "Ann");
    EXPECT_EQ(all[1].FirstName, "Bob");
    EXPECT_EQ(all[1].Email, "ann@example.org");
    EXPECT_EQ(all[1].ContactCategory, "Work");
    EXPECT_EQ(Rows(), 2);
}

TEST_F(ContactWindowsTest, OkWithoutALastNameKeepsTheFormAndANewCategoryIsAddedFromIt) {
    QWidget* w = OpenContacts();
    ASSERT_NE(w, nullptr);
    Click(w, "insert");
    QWidget* f = WindowTitled("New Contact");
    ASSERT_NE(f, nullptr);
    Click(f, "ok");
    Pump(30);
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(responder_.sawText("\"Last Name\" must be entered.")) << Shown();
    EXPECT_TRUE(Stored().empty());
    TypeInto(f, "last", "Brown");
    auto* combo = Child<QComboBox>(f, "category");
    combo->setEditText("Golf");
    Click(f, "ok");
    QWidget* cat = WindowTitled("New Contact Category");
    ASSERT_NE(cat, nullptr);
    EXPECT_EQ(Child<QLineEdit>(cat, "category")->text(), "Golf");
    ASSERT_TRUE(OkCloses(cat)) << Shown();
    ASSERT_TRUE(OkCloses(f)) << Shown();
    EXPECT_EQ(CategoryNames(), (std::vector<std::string>{"Family", "Golf", "Work"}));
    ASSERT_EQ(Stored().size(), 1u);
    EXPECT_EQ(Stored()[0].ContactCategory, "Golf");
}

TEST_F(ContactWindowsTest, DeletingAContactOrACategoryAsksConfirmDeleteWithNoTheDefault) {
    AddContact("Jones", "Ann", "Work");
    QWidget* w = OpenContacts();
    ASSERT_NE(w, nullptr);
    auto expectQuestion = [&](std::size_t i) {
        ASSERT_GT(responder_.shown().size(), i) << Shown();
        const MessageRequest asked = responder_.shown()[i].request;
        EXPECT_EQ(asked.title, "Confirm Delete");
        EXPECT_EQ(asked.text, "Are you sure you want to delete the highlighted record?");
        EXPECT_EQ(asked.buttons, kButtonYes | kButtonNo);
        EXPECT_EQ(asked.defaultButton, kButtonNo);
    };
    SelectRow(list_, 0);
    responder_.Answer(kButtonNo);
    Click(w, "del");
    expectQuestion(0);
    EXPECT_EQ(Stored().size(), 1u);
    responder_.Answer(kButtonYes);
    Click(w, "del");
    expectQuestion(1);
    EXPECT_TRUE(WaitFor([] { return Stored().empty(); }));
    Click(w, "close");

    Start("BrowseContactCategories2Pane", [] { BrowseContactCategories2Pane(); });
    QWidget* two = WindowTitled("Contact Categories");
    ASSERT_NE(two, nullptr);
    SelectRow(Child<QTableView>(two, "categories"), 0);  // Family
    responder_.Answer(kButtonNo);
    Click(two, "categoryDelete");
    expectQuestion(2);
    EXPECT_EQ(CategoryNames(), (std::vector<std::string>{"Family", "Work"}));
}

TEST_F(ContactWindowsTest, TheContactFormsRecallWithCtrlGraveNotCtrlApostrophe) {
    QWidget* w = OpenContacts();
    ASSERT_NE(w, nullptr);
    Click(w, "insert");
    QWidget* f = WindowTitled("New Contact");
    ASSERT_NE(f, nullptr);
    TypeInto(f, "last", "Jones");
    TypeInto(f, "email", "ann@example.org");
    ASSERT_TRUE(OkCloses(f)) << Shown();
    Click(w, "insert");
    f = WindowTitled("New Contact");
    ASSERT_NE(f, nullptr);
    auto* email = Child<QLineEdit>(f, "email");
    email->setFocus();
    QTest::keyClick(email, Qt::Key_Apostrophe, Qt::ControlModifier);
    EXPECT_EQ(email->text(), "");
    QTest::keyClick(email, Qt::Key_QuoteLeft, Qt::ControlModifier);
    EXPECT_EQ(email->text(), "ann@example.org");
    Click(f, "cancel");

    // The category form takes the same key.
    Start("BrowseContactCategories2Pane", [] { BrowseContactCategories2Pane(); });
    QWidget* two = WindowTitled("Contact Categories");
    ASSERT_NE(two, nullptr);
    Click(two, "categoryNew");
    QWidget* cat = WindowTitled("New Contact Category");
    ASSERT_NE(cat, nullptr);
    TypeInto(cat, "category", "Golf");
    ASSERT_TRUE(OkCloses(cat)) << Shown();
    Click(two, "categoryNew");
    cat = WindowTitled("New Contact Category");
    ASSERT_NE(cat, nullptr);
    auto* name = Child<QLineEdit>(cat, "category");
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Apostrophe, Qt::ControlModifier);
    EXPECT_EQ(name->text(), "");
    QTest::keyClick(name, Qt::Key_QuoteLeft, Qt::ControlModifier);
    EXPECT_EQ(name->text(), "Golf");
}

TEST_F(ContactWindowsTest, OwnPopupItemsFollowTheFrameworksAndCategoriesComeInRecordOrder) {
    AddCategory("Alpha");  // added last, first by name
    AddContact("Jones", "Ann", "Work");
    QWidget* w = OpenContacts();
    ASSERT_NE(w, nullptr);
    std::vector<PopupItem> offered;
    InstallPopupResponder([&](const std::vector<PopupItem>& items) {
        offered = items;
        return 0;
    });
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), list_->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(list_->viewport(), &menu);
    Pump(20);
    auto at = [&](const std::string& text) {
        for (std::size_t i = 0; i < offered.size(); ++i)
            if (offered[i].text == text) return static_cast<int>(i);
        return -1;
    };
    const int del = at("&Delete"), clip = at("&Copy to Clipboard");
    ASSERT_GE(at("&New"), 0);
    ASSERT_GE(del, 0);
    ASSERT_GT(clip, del);
    EXPECT_LT(at("&New"), del);
    EXPECT_TRUE(offered[static_cast<std::size_t>(clip - 1)].separator);
    EXPECT_GT(at("Email..."), clip);

    Click(w, "insert");
    QWidget* f = WindowTitled("New Contact");
    ASSERT_NE(f, nullptr);
    auto* combo = Child<QComboBox>(f, "category");
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
    EXPECT_EQ(shown, (QStringList{"Family", "Work", "Alpha"}));
}

TEST_F(ContactWindowsTest, TheCategoryTabListsOnlyTheChosenCategory) {
    AddContact("Jones", "Ann", "Work");
    AddContact("Smith", "Bea", "Family");
    AddContact("Adams", "Cy", "Work");
    QWidget* w = OpenContacts();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Rows(), 3);
    Child<QTabWidget>(w, "sheet")->setCurrentIndex(6);
    Pump(30);
    EXPECT_EQ(Rows(), 0);  // nothing chosen yet
    Click(w, "pickCategory");
    QWidget* pick = WindowTitled("Select a Category");
    ASSERT_NE(pick, nullptr);
    auto* cats = Child<QTableView>(pick, "list");
    SelectRow(cats, 1);  // Work
    Click(pick, "select");
    ASSERT_TRUE(WaitFor([&] { return Rows() == 2; })) << Rows();
    EXPECT_EQ(Cell(list_, 0, 0), "Adams");
    EXPECT_EQ(Cell(list_, 1, 0), "Jones");
}

// A category typed in the contact form goes to file through the category
// form; the list stays on the category its "Category" tab showed.
TEST_F(ContactWindowsTest, ACategoryAddedFromTheFormLeavesTheCategoryTabOnItsCategory) {
    AddContact("Jones", "Ann", "Work");
    AddContact("Adams", "Cy", "Work");
    QWidget* w = OpenContacts();
    ASSERT_NE(w, nullptr);
    Child<QTabWidget>(w, "sheet")->setCurrentIndex(6);
    Pump(30);
    Click(w, "pickCategory");
    QWidget* pick = WindowTitled("Select a Category");
    ASSERT_NE(pick, nullptr);
    SelectRow(Child<QTableView>(pick, "list"), 1);  // Work
    Click(pick, "select");
    ASSERT_TRUE(WaitFor([&] { return Rows() == 2; })) << Rows();

    Click(w, "insert");
    QWidget* f = WindowTitled("New Contact");
    ASSERT_NE(f, nullptr);
    TypeInto(f, "last", "Brown");
    Child<QComboBox>(f, "category")->setEditText("Golf");
    Click(f, "ok");
    QWidget* cat = WindowTitled("New Contact Category");
    ASSERT_NE(cat, nullptr);
    ASSERT_TRUE(OkCloses(cat)) << Shown();
    ASSERT_TRUE(OkCloses(f)) << Shown();
    ASSERT_EQ(Stored().size(), 3u);
    EXPECT_EQ(Stored()[2].ContactCategory, "Golf");
    Pump(50);
    ASSERT_EQ(Rows(), 2) << "the list left the Work category";
    EXPECT_EQ(Cell(list_, 0, 0), "Adams");
    EXPECT_EQ(Cell(list_, 1, 0), "Jones");
}

TEST_F(ContactWindowsTest, ACategoryInUseIsNeitherDeletedNorRenamed) {
    AddContact("Jones", "Ann", "Work");
    Start("BrowseContactCategories2Pane", [] { BrowseContactCategories2Pane(); });
    QWidget* w = WindowTitled("Contact Categories");
    ASSERT_NE(w, nullptr);
    auto* cats = Child<QTableView>(w, "categories");
    auto* people = Child<QTableView>(w, "contacts");
    ASSERT_EQ(Rows(cats), 2);
    SelectRow(cats, 0);  // Family
    EXPECT_EQ(Rows(people), 0);
    SelectRow(cats, 1);  // Work
    ASSERT_TRUE(WaitFor([&] { return Rows(people) == 1; }));

    responder_.Answer(kButtonYes);  // Confirm Delete
    Click(w, "categoryDelete");
    EXPECT_TRUE(responder_.sawTitle("Referential Integrity Delete Error")) << Shown();
    EXPECT_EQ(CategoryNames(), (std::vector<std::string>{"Family", "Work"}));

    responder_.clear();
    SelectRow(cats, 1);
    Click(w, "categoryEdit");
    QWidget* f = WindowTitled("Edit Contact Category");
    ASSERT_NE(f, nullptr);
    TypeInto(f, "category", "Office");
    Click(f, "ok");
    Pump(30);
    EXPECT_TRUE(responder_.sawTitle("Referential Integrity Update Error")) << Shown();
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(Child<QLineEdit>(f, "category")->text(), "Work");
    Click(f, "cancel");
    EXPECT_EQ(CategoryNames(), (std::vector<std::string>{"Family", "Work"}));
    EXPECT_EQ(Stored()[0].ContactCategory, "Work");

    // Once no contact carries it, the category goes.
    SelectRow(cats, 0);
    responder_.Answer(kButtonYes);
    Click(w, "categoryDelete");
    EXPECT_TRUE(WaitFor([] { return CategoryNames() == std::vector<std::string>{"Work"}; })) << Shown();
}

TEST_F(ContactWindowsTest, SelectModeOpensBesideTheOpenListAndReturnsTheContact) {
    AddContact("Jones", "Ann", "Work");
    QWidget* w = OpenContacts();
    ASSERT_NE(w, nullptr);
    int response = 0;
    Start("Picker", [&] {
        GlobalRequest() = kSelectRecord;
        BrowseContacts([&](int r) { response = r; });
    });
    QWidget* pick = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        for (QWidget* t : QApplication::topLevelWidgets())
            if (t != w && t->isVisible() && t->windowTitle() == "Contacts") pick = t;
        return pick != nullptr;
    }));
    auto* select = Child<QPushButton>(pick, "select");
    EXPECT_TRUE(select->isVisible());
    EXPECT_TRUE(select->isDefault());
    SelectRow(Child<QTableView>(pick, "list"), 0);
    select->click();
    EXPECT_TRUE(WaitFor([&] { return response == kRequestCompleted; }));
}

}  // namespace
}  // namespace kr::organiser
