// The contacts list with its seven orders, the contact form, the two-pane
// category window, the category form and the category picker.
#include "organiser/windows/ContactWindows.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabWidget>
#include <QTableView>
#include <array>
#include <memory>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "organiser/ContactRules.h"
#include "organiser/windows/ConfirmDelete.h"
#include "organiser/windows/MessageWindows.h"
#include "organiser/windows/TabbedList.h"
#include "platform/data/Errors.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/data/ListQuery.h"
#include "platform/data/Table.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/BrowseView.h"
#include "platform/ui/FieldHistory.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/RecordForm.h"
#include "platform/ui/Requests.h"
#include "platform/ui/RequiredFields.h"
#include "platform/ui/TabHighlight.h"
#include "platform/ui/WindowManager.h"
#include "scheduler/ClipboardMonitor.h"
#include "tasks/windows/ListWindowParts.h"
#include "xplore/windows/XploreList.h"

namespace kr::organiser {

namespace {

using data::kLevelBenign;
using tasks::AddOkCancel;
using tasks::ButtonRow;
using tasks::FootRow;
using tasks::MakeButton;
using tasks::MakeList;

Contact& C_() { return Contact_File().rec(); }
ContactCategories& CC() { return ContactCategories_File().rec(); }
std::string DateFormatSetting() { return ClipRight(Options().GlobalDateFormat.get()); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

// Every contact category in record order, the order they were added (the
// form's drop list).
QStringList ContactCategoryNames() {
    QStringList out;
    data::ListQuery q(data::TableOf(ContactCategoriesDef()));
    q.SetKeyOrder(nullptr);
    if (q.Apply() != 0) return out;
    std::vector<data::ListRow> rows;
    if (q.PageAt(0, 100000, rows) != 0) return out;
    for (const data::ListRow& r : rows) {
        ContactCategories c;
        q.ToRecord(r, &c);
        out << Q(ClipRight(c.ContactCategory.str()));
    }
    return out;
}

// The Xplore column of a contact field (justification "L", graph and sort,
// locator "S").
xplore::ColumnDef ContactColumn(const char* field, int width, const char* header, const char* picture,
                                const char* description, bool display = true) {
    xplore::ColumnDef c{field, width, header, picture, description, 'L', display};
    c.graphOk = true;
    c.sortable = true;
    c.locatorType = 'S';
    return c;
}

// The list's orders of the Xplore columns: each column's own field, a
// number for the contact number and a string for the rest.
std::vector<xplore::OrderDef> ColumnOrders(const std::vector<xplore::ColumnDef>& cols) {
    std::vector<xplore::OrderDef> orders;
    for (const xplore::ColumnDef& c : cols) orders.push_back({c.field, {{c.field, false, c.picture.substr(1)}}});
    return orders;
}

// The list of the contacts windows: "Email..." in its popup follows the rows
// as the buttons do.
class ContactList : public BrowseView {
public:
    using BrowseView::BrowseView;
    void UpdateButtons() override {
        BrowseView::UpdateButtons();
        if (Popup().HasItem("Email")) Popup().SetItemEnable("Email", HasRows());
    }
};

// ---- UpdateContacts ----------------------------------------------------------

struct UpdateContactsLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QLineEdit *last = nullptr, *first = nullptr;
    QComboBox* category = nullptr;
    std::array<QLineEdit*, 3> address{};
    QLineEdit *postal = nullptr, *work = nullptr, *home = nullptr, *fax = nullptr, *other = nullptr,
              *email = nullptr, *web = nullptr;
    QPlainTextEdit* notes = nullptr;
    QPushButton *ok = nullptr, *cancel = nullptr;

    QLineEdit* Entry(QWidget* tab, QGridLayout* g, const char* prompt, const char* name, int size, const char* tip) {
        auto* e = new QLineEdit(tab);
        e->setObjectName(name);
        e->setMaxLength(size);
        e->setToolTip(tip);
        e->setStatusTip(tip);
        auto* l = new QLabel(prompt, tab);
        l->setBuddy(e);
        const int row = g->rowCount();
        g->addWidget(l, row, 0);
        g->addWidget(e, row, 1);
        return e;
    }
    void Build() {
        window = new QWidget;
        window->setWindowTitle("Update the Contact File");
        window->setWindowIcon(IconByName("CRDFLE09.ICO"));
        window->resize(460, 480);
        auto* v = new QVBoxLayout(window);
        sheet = new QTabWidget(window);
        sheet->setObjectName("sheet");
        auto* general = new QWidget;
        auto* g = new QGridLayout(general);
        last = Entry(general, g, "&Last Name:", "last", 30, "Last Name");
        first = Entry(general, g, "First &Name:", "first", 20, "First Name");
        category = new QComboBox(general);
        category->setObjectName("category");
        category->setEditable(true);
        category->setInsertPolicy(QComboBox::NoInsert);
        category->lineEdit()->setMaxLength(20);
        category->setToolTip("Contact Category");
        auto* cl = new QLabel("Contact Category:", general);
        cl->setBuddy(category);
        const int row = g->rowCount();
        g->addWidget(cl, row, 0);
        g->addWidget(category, row, 1);
        const char* names[3] = {"address1", "address2", "address3"};
        const char* prompts[3] = {"Address Line 1:", "Address Line 2:", "Address Line 3:"};
        for (int i = 0; i < 3; ++i) address[i] = Entry(general, g, prompts[i], names[i], 30, "Enter up to 30 characters");
        postal = Entry(general, g, "&Postal Code:", "postal", 10, "Postal Code");
        work = Entry(general, g, "&Work/Day Phone:", "work", 20, "Work/Day Phone");
        home = Entry(general, g, "&Home/Evening Phone:", "home", 20, "Home/Evening Phone");
        fax = Entry(general, g, "&Fax:", "fax", 20, "Fax Number");
        other = Entry(general, g, "Other Phone:", "other", 20, "Other Phone Number");
        email = Entry(general, g, "&Email:", "email", 40, "Email Address");
        web = Entry(general, g, "&Web Site:", "web", 60, "Web Site (URL)");
        g->setRowStretch(g->rowCount(), 1);
        sheet->addTab(general, "General");
        auto* notesTab = new QWidget;
        auto* n = new QVBoxLayout(notesTab);
        notes = new QPlainTextEdit(notesTab);
        notes->setObjectName("notes");
        n->addWidget(notes);
        sheet->addTab(notesTab, "Notes");
        v->addWidget(sheet);
        AddOkCancel(window, v, ok, cancel);
    }
};

class UpdateContactsWindow : public WindowManager {
public:
    UpdateContactsWindow() : WindowManager("UpdateContacts") { SetSavePosition(true, true); }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        mode_.Take(*this);
        if (!tables_.Open(Contact_File()) || !tables_.Open(ContactCategories_File())) return false;
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        tabs_.Init(ui.window);
        required_.Init(ui.window, "Missing Information", "@PROMPT must be entered.");
        required_.SetMessage(ui.last, true, "Last Name", "Last Name", "Last Name", "C_:LastName");
        SetRequiredFields(&required_);
        ui.category->addItems(ContactCategoryNames());
        SetTitle(mode_.Title(Request() == kInsertRecord ? "New Contact" : "Edit Contact"));
        mode_.Apply(*this);
        if (!mode_.ReadOnly()) {
            // The history key (Ctrl+`) puts back a field's value from the
            // last contact saved through this form.
            history_.Add(ui.last, "C_:LastName");
            history_.Add(ui.first, "C_:FirstName");
            history_.Add(ui.category, "C_:ContactCategory");
            history_.Add(ui.address[0], "C_:AddressLine1");
            history_.Add(ui.address[1], "C_:AddressLine2");
            history_.Add(ui.address[2], "C_:AddressLine3");
            history_.Add(ui.postal, "C_:PostalCode");
            history_.Add(ui.work, "C_:WorkDayPhone");
            history_.Add(ui.home, "C_:HomeEveningPhone");
            history_.Add(ui.fax, "C_:Fax");
            history_.Add(ui.other, "C_:OtherPhone");
            history_.Add(ui.email, "C_:Email");
            history_.Add(ui.web, "C_:WebSite");
            history_.Add(ui.notes, "C_:Notes");
        }
        Show();
        return true;
    }
    void TakeOpened() override {
        mode_.Opened(*this);
        if (!mode_.ReadOnly()) ui.last->setFocus();
    }
    void TakeNewSelection(QObject* c) override {
        if (c == ui.sheet) tabs_.Refresh();
    }
    bool TakeCompleted() override {
        if (!mode_.Delete()) {
            if (required_.Check(false)) return false;
            Store();
            // A category typed that is not on file is added first, through
            // the category form.
            const std::string category = ClipRight(C_().ContactCategory.str());
            if (!category.empty() && !CategoryOnFile(category)) {
                AddCategory(category);
                return false;
            }
        }
        const int r = mode_.Write(*this, Contact_File(), Contact_Relations());
        if (r != kLevelBenign) {
            // Changed by another writer meanwhile: the stored contact shows.
            if (data::LastErrorCode() == kRecordChanged) Show();
            return false;
        }
        if (!mode_.ReadOnly()) history_.Remember();
        return true;
    }
    void Kill() override {
        tabs_.Kill();
        required_.Kill();
        tables_.Close();
    }

private:
    static bool CategoryOnFile(const std::string& category) {
        const ContactCategories kept = CC();
        CC().ContactCategory = category;
        const bool found = ContactCategories_File().TryFetch("CC:KeyContactCategories") == kLevelBenign;
        CC() = kept;
        return found;
    }
    // The category form works on the thread's category buffer, which the
    // Contacts list's "Category" tab ranges on: the buffer is put back once
    // the form has closed, so the list stays on the category it showed.
    void AddCategory(const std::string& category) {
        QPointer<QWidget> w = ui.window;
        const ContactCategories kept = CC();
        CC() = ContactCategories();
        CC().ContactCategory = category;
        GlobalRequest() = kInsertRecord;
        UpdateContactCategories([this, w, kept](int response) {
            const std::string added = CC().ContactCategory.str();
            CC() = kept;
            if (!w) return;
            const QString typed = ui.category->currentText();
            ui.category->clear();
            ui.category->addItems(ContactCategoryNames());
            if (response == kRequestCompleted) {
                C_().ContactCategory = added;
                ui.category->setEditText(Q(ClipRight(C_().ContactCategory.str())));
            } else {
                ui.category->setEditText(typed);
                ui.sheet->setCurrentIndex(0);
                ui.category->setFocus();
            }
        });
    }
    void Show() {
        const Contact& c = C_();
        ui.last->setText(Q(ClipRight(c.LastName.str())));
        ui.first->setText(Q(ClipRight(c.FirstName.str())));
        ui.category->setEditText(Q(ClipRight(c.ContactCategory.str())));
        ui.address[0]->setText(Q(ClipRight(c.AddressLine1.str())));
        ui.address[1]->setText(Q(ClipRight(c.AddressLine2.str())));
        ui.address[2]->setText(Q(ClipRight(c.AddressLine3.str())));
        ui.postal->setText(Q(ClipRight(c.PostalCode.str())));
        ui.work->setText(Q(ClipRight(c.WorkDayPhone.str())));
        ui.home->setText(Q(ClipRight(c.HomeEveningPhone.str())));
        ui.fax->setText(Q(ClipRight(c.Fax.str())));
        ui.other->setText(Q(ClipRight(c.OtherPhone.str())));
        ui.email->setText(Q(ClipRight(c.Email.str())));
        ui.web->setText(Q(ClipRight(c.WebSite.str())));
        ui.notes->setPlainText(Q(c.Notes));
        mode_.Reapply(*this);
    }
    void Store() {
        Contact& c = C_();
        c.LastName = ui.last->text().toStdString();
        c.FirstName = ui.first->text().toStdString();
        c.ContactCategory = ui.category->currentText().toStdString();
        c.AddressLine1 = ui.address[0]->text().toStdString();
        c.AddressLine2 = ui.address[1]->text().toStdString();
        c.AddressLine3 = ui.address[2]->text().toStdString();
        c.PostalCode = ui.postal->text().toStdString();
        c.WorkDayPhone = ui.work->text().toStdString();
        c.HomeEveningPhone = ui.home->text().toStdString();
        c.Fax = ui.fax->text().toStdString();
        c.OtherPhone = ui.other->text().toStdString();
        c.Email = ui.email->text().toStdString();
        c.WebSite = ui.web->text().toStdString();
        c.Notes = CutUtf8(ui.notes->toPlainText().toStdString(), 1024);
    }

    UpdateContactsLayout ui;
    RecordFormMode mode_;
    WindowTables tables_;
    FieldHistory history_{"UpdateContacts", HistoryKey::Grave};
    RequiredFields required_;
    TabHighlight tabs_;
};

// A delete asks "Confirm Delete" and opens no window.
void DeleteThroughRelations(data::RelationManager& relations, std::function<void(int)> done) {
    int response = kRequestCancelled;
    if (ConfirmDelete()) {
        relations.Open();
        if (relations.Delete(false) == kLevelBenign) response = kRequestCompleted;
        relations.Close();
    }
    GlobalRequest() = 0;
    GlobalResponse() = response;
    if (done) done(response);
}

// ---- BrowseContacts -----------------------------------------------------------

// The tabs in sheet order and the browse order each chooses.
enum ContactTab { kTabLast, kTabFirst, kTabWork, kTabHome, kTabFax, kTabEmail, kTabCategory, kContactTabs };
constexpr std::array<int, kContactTabs> kTabOrder = {7, 1, 2, 3, 4, 5, 6};

struct BrowseContactsLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QTableView* list = nullptr;
    std::array<QWidget*, kContactTabs> pages{};
    QPushButton *clip = nullptr, *insert = nullptr, *select = nullptr, *copy = nullptr, *change = nullptr,
                *del = nullptr, *pickCategory = nullptr, *close = nullptr;

    void Build() {
        window = new QWidget;
        window->setWindowTitle("Contacts");
        window->setWindowIcon(IconByName("CRDFLE09.ICO"));
        window->resize(760, 460);
        auto* v = new QVBoxLayout(window);
        list = MakeList(window, "list", "Browsing Contact Records");
        sheet = new QTabWidget(window);
        sheet->setObjectName("sheet");
        const char* names[kContactTabs] = {"Last Name", "First Name", "Work/Day Phone", "Home/Evening Phone",
                                           "Fax", "Email", "Category"};
        for (int i = 0; i < kContactTabs; ++i) {
            pages[i] = new QWidget;
            auto* t = new QVBoxLayout(pages[i]);
            if (i == kTabCategory) {
                pickCategory = MakeButton(pages[i], "Select Cate&gory", "pickCategory");
                t->addLayout(ButtonRow({pickCategory}));
            }
            sheet->addTab(pages[i], names[i]);
        }
        static_cast<QVBoxLayout*>(pages[0]->layout())->insertWidget(0, list);
        v->addWidget(sheet, 1);
        clip = MakeButton(window, "&Copy to Clipboard", "clip");
        insert = MakeButton(window, "&New", "insert");
        select = MakeButton(window, "&Select", "select");
        copy = MakeButton(window, "Cop&y", "copy");
        copy->setToolTip("Copy record");
        change = MakeButton(window, "&Edit", "change");
        del = MakeButton(window, "&Delete", "del");
        close = MakeButton(window, "Cl&ose", "close", "EXIT.ICO");
        auto* row = ButtonRow({clip, insert, select, copy, change, del});
        row->addWidget(close);
        v->addLayout(row);
    }
};

class BrowseContactsWindow : public WindowManager {
public:
    BrowseContactsWindow() : WindowManager(kBrowseContactsProcedure) {
        SetSingleInstance(true);
        SetSavePosition(true, true);
    }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetCancelControl(ui.close);
        if (!tables_.Open(Contact_File(), true) || !tables_.Open(ContactCategories_File())) return false;
        Contact_Relations().Open();
        relationsOpen_ = true;
        tabs_.Init(ui.window);
        const bool selecting = Request() == kSelectRecord;

        list_ = std::make_unique<ContactList>(Contact_File().File(), ui.list, this);
        list_->AddColumn({"Last Name", "C_:LastName", "@s30", 120});
        list_->AddColumn({"First Name", "C_:FirstName", "@s20", 80});
        list_->AddColumn({"Email", "C_:Email", "@s40", 160});
        list_->AddColumn({"Work/Day Phone", "C_:WorkDayPhone", "@s20", 80});
        list_->AddColumn({"Home/Evening Phone", "C_:HomeEveningPhone", "@s20", 80});
        list_->AddColumn({"Fax", "C_:Fax", "@s20", 80});
        list_->AddColumn({"Contact Category", "C_:ContactCategory", "@s20", 80});
        list_->AddColumn({"Address Line 1", "C_:AddressLine1", "@s30", 120});
        list_->AddColumn({"Address Line 2", "C_:AddressLine2", "@s30", 120});
        list_->AddColumn({"Address Line 3", "C_:AddressLine3", "@s30", 120});
        list_->AddColumn({"Postal Code", "C_:PostalCode", "@s10", 40});
        list_->AddColumn({"ClientID", "C_:ClientID", "@n-13", 52});
        list_->SetColumnVisible(12, false);
        list_->AddSortOrder(ContactDef().key("C_:KeyFirstName"));
        list_->AddLocator("C_:FirstName");
        list_->AddSortOrder(ContactDef().key("C_:KeyWorkPhone"));
        list_->AddLocator("C_:WorkDayPhone");
        list_->AddSortOrder(ContactDef().key("C_:KeyHomePhone"));
        list_->AddLocator("C_:HomeEveningPhone");
        list_->AddSortOrder(ContactDef().key("C_:KeyFaxNumber"));
        list_->AddLocator("C_:Fax");
        list_->AddSortOrder(ContactDef().key("C_:KeyEmail"));
        list_->AddLocator("C_:Email");
        list_->AddSortOrder(ContactDef().key("C_:KeyCategory"));
        list_->AddRange("C_:ContactCategory", [] { return Value(CC().ContactCategory.str()); });
        list_->AddLocator("C_:LastName");
        list_->AddSortOrder(ContactDef().key("C_:KeyLastName"));
        list_->AddLocator("C_:LastName");
        list_->SetSortOrder(kTabOrder[kTabLast]);
        list_->SetEditControls(ui.insert, ui.change, ui.del);
        list_->SetCopyControl(ui.copy);
        list_->SetSelectControl(ui.select);
        list_->SetSelectMode(selecting);
        list_->AddRowControl(ui.clip);
        ui.select->setVisible(selecting);
        ui.select->setDefault(selecting);
        list_->SetUpdateProcedure([](int, std::function<void(int)> done) { UpdateContacts(std::move(done)); });
        if (list_->Init() != 0) return false;
        // After the framework's items, which Init adds.
        list_->Popup().AddSeparator();
        list_->Popup().AddItemMimic("CopyToClipboard", "&Copy to Clipboard", ui.clip);
        list_->Popup().AddSeparator();
        list_->Popup().AddItemAction("Email", "Email...", [this] { EmailContact(); });
        list_->Popup().AddItemMimic("Copy", "Cop&y", ui.copy);

        xplore_ = std::make_unique<xplore::XploreList>(*list_, kBrowseContactsProcedure, "?Browse:1");
        const std::vector<xplore::ColumnDef> cols = {
            ContactColumn("C_:LastName", 120, "Last Name", "@s30", "Last Name"),
            ContactColumn("C_:FirstName", 80, "First Name", "@s20", "First Name"),
            ContactColumn("C_:Email", 160, "Email", "@s40", "Email Address"),
            ContactColumn("C_:WorkDayPhone", 80, "Work/Day Phone", "@s20", "Work/Day Phone"),
            ContactColumn("C_:HomeEveningPhone", 80, "Home/Evening Phone", "@s20", "Home/Evening Phone"),
            ContactColumn("C_:Fax", 80, "Fax", "@s20", "Fax Number"),
            ContactColumn("C_:ContactCategory", 80, "Contact Category", "@s20", "Contact Category"),
            ContactColumn("C_:AddressLine1", 120, "Address Line 1", "@s30", "Address Line 1"),
            ContactColumn("C_:AddressLine2", 120, "Address Line 2", "@s30", "Address Line 2"),
            ContactColumn("C_:AddressLine3", 120, "Address Line 3", "@s30", "Address Line 3"),
            ContactColumn("C_:PostalCode", 40, "Postal Code", "@s10", "Postal Code"),
            ContactColumn("C_:ClientID", 52, "ClientID", "@n-13", "Contact ID", false),
        };
        xplore_->Start("Underline", cols, DateFormatSetting(), ColumnOrders(cols));
        list_->UpdateButtons();
        return true;
    }
    void TakeOpened() override { ui.list->setFocus(); }
    bool TakeEvent(int e) override {
        if (e == kEventAlreadyOpen) {
            ComeForward();
            list_->ResetFromFile();
            if (xplore_) xplore_->Show();
            ui.list->setFocus();
            return true;
        }
        return list_ && list_->TakeEvent(e);
    }
    void TakeAccepted(QObject* c) override {
        if (c == ui.clip) {
            CopyToClipboard();
        } else if (c == ui.pickCategory) {
            PickCategory();
        } else if (list_) {
            list_->HandleAccepted(c);
        }
    }
    void TakeNewSelection(QObject* c) override {
        if (c != ui.sheet || !list_) return;
        const auto t = static_cast<std::size_t>(ui.sheet->currentIndex());
        ShowTabOrder(ui.pages[t], ui.list, *list_, *xplore_, kTabOrder[t]);
        ui.list->setFocus();
        tabs_.Refresh();
    }
    void Kill() override {
        if (xplore_) xplore_->Save();
        tabs_.Kill();
        xplore_.reset();
        list_.reset();
        if (relationsOpen_) Contact_Relations().Close();
        tables_.Close();
    }

private:
    void CopyToClipboard() {
        // Nothing is copied from an empty list (the button is off then too).
        if (!list_->HasRows() || !list_->UpdateViewRecord()) return;
        Clipboard().SetText(ContactClipboardText(C_()));
    }
    void EmailContact() {
        if (!list_->HasRows() || !list_->UpdateViewRecord()) return;
        GlobalRequest() = kInsertRecord;
        UpdateMessages(C_().ClientID);
    }
    void PickCategory() {
        QPointer<QWidget> w = ui.window;
        SelectContactCategories([this, w](int) {
            if (!w || !list_) return;
            list_->ResetFromFile();
            ui.list->setFocus();
        });
    }

    BrowseContactsLayout ui;
    TabHighlight tabs_;
    WindowTables tables_;
    bool relationsOpen_ = false;
    std::unique_ptr<ContactList> list_;
    std::unique_ptr<xplore::XploreList> xplore_;
};

// ---- BrowseContactCategories2Pane ------------------------------------------------

struct BrowseContactCategoriesLayout {
    QWidget* window = nullptr;
    QTableView *categories = nullptr, *contacts = nullptr;
    QLabel* contactsLabel = nullptr;
    QPushButton *contactNew = nullptr, *contactCopy = nullptr, *contactEdit = nullptr, *contactDelete = nullptr;
    QPushButton *categoryNew = nullptr, *categoryEdit = nullptr, *categoryDelete = nullptr, *close = nullptr;

    void Build() {
        window = new QWidget;
        window->setWindowTitle("Contact Categories");
        window->setWindowIcon(IconByName("PICK.ICO"));
        window->resize(820, 440);
        auto* h = new QHBoxLayout(window);
        auto* left = new QVBoxLayout;
        categories = MakeList(window, "categories", "Browsing Functions");
        left->addWidget(categories, 1);
        categoryNew = MakeButton(window, "&New", "categoryNew");
        categoryEdit = MakeButton(window, "&Edit", "categoryEdit");
        categoryDelete = MakeButton(window, "&Delete", "categoryDelete");
        left->addLayout(ButtonRow({categoryNew, categoryEdit, categoryDelete}));
        auto* right = new QVBoxLayout;
        contactsLabel = new QLabel("Contacts for Highlighted Category", window);
        contacts = MakeList(window, "contacts", "Browsing Tasks");
        right->addWidget(contactsLabel);
        right->addWidget(contacts, 1);
        contactNew = MakeButton(window, "New", "contactNew");
        contactCopy = MakeButton(window, "Cop&y", "contactCopy");
        contactEdit = MakeButton(window, "Edit", "contactEdit");
        contactDelete = MakeButton(window, "Delete", "contactDelete");
        close = MakeButton(window, "Cl&ose", "close", "EXIT.ICO");
        auto* row = ButtonRow({contactNew, contactCopy, contactEdit, contactDelete});
        row->addWidget(close);
        right->addLayout(row);
        h->addLayout(left, 1);
        h->addLayout(right, 3);
    }
};

class BrowseContactCategoriesWindow : public WindowManager {
public:
    BrowseContactCategoriesWindow() : WindowManager(kBrowseContactCategoriesProcedure) {
        SetSingleInstance(true);
        SetSavePosition(true, true);
    }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetCancelControl(ui.close);
        if (!tables_.Open(Contact_File(), true) || !tables_.Open(ContactCategories_File(), true)) return false;
        Contact_Relations().Open();
        ContactCategories_Relations().Open();
        relationsOpen_ = true;
        const std::string dateFormat = DateFormatSetting();

        categories_ = std::make_unique<BrowseView>(ContactCategories_File().File(), ui.categories, this);
        categories_->AddColumn({"Categories", "CC:ContactCategory", "@s20", 80});
        categories_->AddSortOrder(ContactCategoriesDef().key("CC:KeyContactCategories"));
        categories_->AddLocator("CC:ContactCategory");
        categories_->SetEditControls(ui.categoryNew, ui.categoryEdit, ui.categoryDelete);
        categories_->SetUpdateProcedure(
            [](int, std::function<void(int)> done) { UpdateContactCategories(std::move(done)); });

        contacts_ = std::make_unique<BrowseView>(Contact_File().File(), ui.contacts, this);
        contacts_->AddColumn({"First Name", "C_:FirstName", "@s20", 80});
        contacts_->AddColumn({"Last Name", "C_:LastName", "@s30", 120});
        contacts_->AddColumn({"Email", "C_:Email", "@s40", 160});
        contacts_->AddColumn({"Address Line 1", "C_:AddressLine1", "@s30", 120});
        contacts_->AddColumn({"Address Line 2", "C_:AddressLine2", "@s30", 120});
        contacts_->AddColumn({"Address Line 3", "C_:AddressLine3", "@s30", 120});
        contacts_->AddColumn({"Postal Code", "C_:PostalCode", "@s10", 40});
        contacts_->AddColumn({"Work/Day Phone", "C_:WorkDayPhone", "@s20", 80});
        contacts_->AddColumn({"Home/Evening Phone", "C_:HomeEveningPhone", "@s20", 80});
        contacts_->AddColumn({"Fax", "C_:Fax", "@s20", 80});
        contacts_->AddColumn({"ClientID", "C_:ClientID", "@n-13", 52});
        contacts_->AddColumn({"Contact Category", "C_:ContactCategory", "@s20", 80});
        contacts_->SetColumnVisible(11, false);
        contacts_->SetColumnVisible(12, false);
        contacts_->AddSortOrder(ContactDef().key("C_:KeyCategory"));
        contacts_->AddRange("C_:ContactCategory", [] { return Value(CC().ContactCategory.str()); });
        contacts_->AddLocator("C_:LastName");
        contacts_->SetEditControls(ui.contactNew, ui.contactEdit, ui.contactDelete);
        contacts_->SetCopyControl(ui.contactCopy);
        contacts_->SetUpdateProcedure([](int, std::function<void(int)> done) { UpdateContacts(std::move(done)); });
        contacts_->Popup().AddItemMimic("Copy", "Cop&y", ui.contactCopy);
        // The right-hand list follows the highlighted category.
        categories_->SetOnNewSelection([this] {
            if (contacts_) contacts_->ResetFromFile();
        });
        if (categories_->Init() != 0) return false;
        if (contacts_->Init() != 0) return false;

        xploreCategories_ = std::make_unique<xplore::XploreList>(*categories_, kBrowseContactCategoriesProcedure,
                                                                 "?Browse:1");
        const std::vector<xplore::ColumnDef> catCols = {
            ContactColumn("CC:ContactCategory", 80, "Categories", "@s20", "Contact Category")};
        xploreCategories_->Start("Underline", catCols, dateFormat, ColumnOrders(catCols));
        xploreContacts_ = std::make_unique<xplore::XploreList>(*contacts_, kBrowseContactCategoriesProcedure, "?List");
        const std::vector<xplore::ColumnDef> cols = {
            ContactColumn("C_:FirstName", 80, "First Name", "@s20", "First Name"),
            ContactColumn("C_:LastName", 120, "Last Name", "@s30", "Last Name"),
            ContactColumn("C_:Email", 160, "Email", "@s40", "Email Address"),
            ContactColumn("C_:AddressLine1", 120, "Address Line 1", "@s30", "Address Line 1"),
            ContactColumn("C_:AddressLine2", 120, "Address Line 2", "@s30", "Address Line 2"),
            ContactColumn("C_:AddressLine3", 120, "Address Line 3", "@s30", "Address Line 3"),
            ContactColumn("C_:PostalCode", 40, "Postal Code", "@s10", "Postal Code"),
            ContactColumn("C_:WorkDayPhone", 80, "Work/Day Phone", "@s20", "Work/Day Phone"),
            ContactColumn("C_:HomeEveningPhone", 80, "Home/Evening Phone", "@s20", "Home/Evening Phone"),
            ContactColumn("C_:Fax", 80, "Fax", "@s20", "Fax Number"),
            ContactColumn("C_:ClientID", 52, "ClientID", "@n-13", "Contact ID", false),
            ContactColumn("C_:ContactCategory", 80, "Contact Category", "@s20", "Contact Category", false),
        };
        xploreContacts_->Start("Underline", cols, dateFormat, ColumnOrders(cols));
        return true;
    }
    void TakeOpened() override { ui.categories->setFocus(); }
    bool TakeEvent(int e) override {
        if (e == kEventAlreadyOpen) {
            ComeForward();
            if (xploreCategories_) xploreCategories_->Show();
            if (xploreContacts_) xploreContacts_->Show();
            ui.categories->setFocus();
            return true;
        }
        if (categories_ && categories_->TakeEvent(e)) {
            contacts_->ResetFromFile();
            return true;
        }
        return contacts_ && contacts_->TakeEvent(e);
    }
    void TakeAccepted(QObject* c) override {
        if (categories_->HandleAccepted(c)) {
            // The category buffer holds the highlighted category again.
            categories_->UpdateViewRecord();
            contacts_->ResetFromFile();
            return;
        }
        if (contacts_->HandleAccepted(c)) {
            // A contact may have moved to another category.
            categories_->UpdateViewRecord();
            contacts_->ResetFromFile();
        }
    }
    void Kill() override {
        if (xploreCategories_) xploreCategories_->Save();
        if (xploreContacts_) xploreContacts_->Save();
        xploreContacts_.reset();
        xploreCategories_.reset();
        contacts_.reset();
        categories_.reset();
        if (relationsOpen_) {
            ContactCategories_Relations().Close();
            Contact_Relations().Close();
        }
        tables_.Close();
    }

private:
    BrowseContactCategoriesLayout ui;
    WindowTables tables_;
    bool relationsOpen_ = false;
    std::unique_ptr<BrowseView> categories_;
    std::unique_ptr<BrowseView> contacts_;
    std::unique_ptr<xplore::XploreList> xploreCategories_;
    std::unique_ptr<xplore::XploreList> xploreContacts_;
};

// ---- UpdateContactCategories ----------------------------------------------------

struct UpdateContactCategoriesLayout {
    QWidget* window = nullptr;
    QLineEdit* category = nullptr;
    QPushButton *ok = nullptr, *cancel = nullptr;
    void Build() {
        window = new QWidget;
        window->setWindowTitle("Update Contact Category");
        window->setWindowIcon(IconByName("CRDFLE09.ICO"));
        auto* v = new QVBoxLayout(window);
        auto* row = new QHBoxLayout;
        category = new QLineEdit(window);
        category->setObjectName("category");
        category->setMaxLength(20);
        category->setToolTip("Contact Category");
        auto* prompt = new QLabel("&Category:", window);
        prompt->setBuddy(category);
        row->addWidget(prompt);
        row->addWidget(category);
        v->addLayout(row);
        AddOkCancel(window, v, ok, cancel);
    }
};

class UpdateContactCategoriesWindow : public WindowManager {
public:
    UpdateContactCategoriesWindow() : WindowManager("UpdateContactCategories") { SetSavePosition(true, true); }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        mode_.Take(*this);
        if (!tables_.Open(ContactCategories_File())) return false;
        ContactCategories_Relations().Open();
        relationsOpen_ = true;
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        // A category without a name would be a group no one can pick: the
        // name is required.
        required_.Init(ui.window, "Missing Information", "@PROMPT must be entered.");
        required_.SetMessage(ui.category, true, "Category", "Category", "Contact Category", "CC:ContactCategory");
        SetRequiredFields(&required_);
        ui.category->setText(Q(ClipRight(CC().ContactCategory.str())));
        SetTitle(mode_.Title(Request() == kInsertRecord ? "New Contact Category" : "Edit Contact Category"));
        mode_.Apply(*this);
        if (!mode_.ReadOnly()) history_.Add(ui.category, "CC:ContactCategory");
        return true;
    }
    void TakeOpened() override {
        mode_.Opened(*this);
        if (!mode_.ReadOnly()) ui.category->setFocus();
    }
    bool TakeCompleted() override {
        if (!mode_.Delete()) {
            if (required_.Check(false)) return false;
            CC().ContactCategory = ui.category->text().toStdString();
        }
        const int r = mode_.Write(*this, ContactCategories_File(), ContactCategories_Relations());
        if (r != kLevelBenign) {
            // A refused rename has put the stored name back.
            ui.category->setText(Q(ClipRight(CC().ContactCategory.str())));
            return false;
        }
        if (!mode_.ReadOnly()) history_.Remember();
        return true;
    }
    void Kill() override {
        required_.Kill();
        if (relationsOpen_) ContactCategories_Relations().Close();
        tables_.Close();
    }

private:
    UpdateContactCategoriesLayout ui;
    RecordFormMode mode_;
    WindowTables tables_;
    bool relationsOpen_ = false;
    RequiredFields required_;
    FieldHistory history_{"UpdateContactCategories", HistoryKey::Grave};
};

// ---- SelectContactCategories -------------------------------------------------------

struct SelectContactCategoriesLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QTableView* list = nullptr;
    QPushButton *select = nullptr, *cancel = nullptr;
    void Build() {
        window = new QWidget;
        window->setWindowTitle("Select a Category");
        window->setWindowIcon(IconByName("WIZARD.ICO"));
        window->resize(280, 340);
        auto* v = new QVBoxLayout(window);
        sheet = new QTabWidget(window);
        sheet->setObjectName("sheet");
        tasks::ListTab tab = tasks::AddListTab(sheet, "Category", "list", "Browsing Records");
        list = tab.list;
        v->addWidget(sheet, 1);
        select = MakeButton(window, "&Select", "select", "PICK.ICO");
        cancel = MakeButton(window, "Cancel", "cancel", "cancel.ico");
        v->addLayout(FootRow({select, cancel}));
    }
};

class SelectContactCategoriesWindow : public WindowManager {
public:
    SelectContactCategoriesWindow() : WindowManager("SelectContactCategories") {
        SetSingleInstance(true);
        SetSavePosition(true, true);
    }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetCancelControl(ui.cancel);
        if (!tables_.Open(ContactCategories_File(), true)) return false;
        tabs_.Init(ui.window);
        const bool selecting = Request() == kSelectRecord;
        list_ = std::make_unique<BrowseView>(ContactCategories_File().File(), ui.list, this);
        list_->AddColumn({"Category", "CC:ContactCategory", "@s20", 80});
        list_->AddSortOrder(ContactCategoriesDef().key("CC:KeyContactCategories"));
        list_->AddLocator("CC:ContactCategory");
        list_->SetSelectControl(ui.select);
        list_->SetSelectMode(selecting);
        ui.select->setVisible(selecting);
        ui.select->setDefault(selecting);
        const std::string current = ClipRight(CC().ContactCategory.str());
        if (list_->Init() != 0) return false;
        if (!current.empty()) list_->Locate(current);
        return true;
    }
    void TakeOpened() override { ui.list->setFocus(); }
    bool TakeEvent(int e) override {
        if (e == kEventAlreadyOpen) {
            ComeForward();
            return true;
        }
        return list_ && list_->TakeEvent(e);
    }
    void TakeAccepted(QObject* c) override {
        if (list_) list_->HandleAccepted(c);
    }
    void TakeNewSelection(QObject* c) override {
        if (c == ui.sheet) tabs_.Refresh();
    }
    void Kill() override {
        tabs_.Kill();
        list_.reset();
        tables_.Close();
    }

private:
    SelectContactCategoriesLayout ui;
    TabHighlight tabs_;
    WindowTables tables_;
    std::unique_ptr<BrowseView> list_;
};

}  // namespace

void UpdateContacts(std::function<void(int response)> done) {
    if (GlobalRequest() == kDeleteRecord) {
        DeleteThroughRelations(Contact_Relations(), std::move(done));
        return;
    }
    (new UpdateContactsWindow)->Call(std::move(done));
}

void BrowseContacts(std::function<void(int response)> done) {
    auto* w = new BrowseContactsWindow;
    if (GlobalRequest() == kSelectRecord) {
        w->Call(std::move(done));
        return;
    }
    w->OpenOrCall();
}

void BrowseContactCategories2Pane() { (new BrowseContactCategoriesWindow)->OpenOrCall(); }

void UpdateContactCategories(std::function<void(int response)> done) {
    if (GlobalRequest() == kDeleteRecord) {
        DeleteThroughRelations(ContactCategories_Relations(), std::move(done));
        return;
    }
    (new UpdateContactCategoriesWindow)->Call(std::move(done));
}

void SelectContactCategories(std::function<void(int response)> done) {
    GlobalRequest() = kSelectRecord;
    (new SelectContactCategoriesWindow)->Call(std::move(done));
}

void RegisterContactWindows() {
    RegisterProcedure(kBrowseContactsProcedure, [] { BrowseContacts(); });
    RegisterProcedure(kBrowseContactCategoriesProcedure, [] { BrowseContactCategories2Pane(); });
}

}  // namespace kr::organiser
