// The stored e-mail messages: the list with its four orders and its send
// through the script queue, the form with its three layouts, and the script
// item form's message chooser.
#include "organiser/windows/MessageWindows.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableView>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "dictionary/windows/fPasswordValidation.h"
#include "organiser/ContactRules.h"
#include "organiser/SendEmailMessage.h"
#include "organiser/windows/ContactWindows.h"
#include "organiser/windows/TabbedList.h"
#include "platform/data/Errors.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/data/ListQuery.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
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
#include "scheduler/ScriptQueue.h"
#include "scheduler/TaskRunner.h"
#include "scriptedit/windows/ScriptWindows.h"
#include "tasks/windows/ListWindowParts.h"
#include "tasks/windows/TaskWindows.h"
#include "xplore/windows/XploreList.h"

namespace kr::organiser {

namespace {

using data::kLevelBenign;
using tasks::AddOkCancel;
using tasks::ButtonRow;
using tasks::MakeButton;
using tasks::MakeList;

MessagesRecord& M_() { return Messages_File().rec(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }
constexpr std::size_t kMessageSize = 10000;

void SetActivityText(const std::string& text) {
    const MailScriptServices s = CurrentMailScriptServices();
    if (s.setActivityText) s.setActivityText(text);
}

// Adds a "Send Email" step for the message to the script queue, due now.
void QueueSendEmailStep(int32_t emailId) {
    ScriptQueueEntry e;
    e.Record.Action = "Send Email";
    e.Record.EmailID = emailId;
    e.Date = Today();
    e.Time = ClockTime();
    e.WindowHandle = LastShellResult();
    ScriptQueue().Append(e);
}

// ---- UpdateMessages -------------------------------------------------------------

struct UpdateMessagesLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QComboBox* type = nullptr;
    QLabel *toPrompt = nullptr, *categoryPrompt = nullptr, *namePrompt = nullptr, *ccPrompt = nullptr,
           *bccPrompt = nullptr;
    QLineEdit *to = nullptr, *category = nullptr, *name = nullptr, *cc = nullptr, *bcc = nullptr, *subject = nullptr,
              *attachment = nullptr;
    QPushButton *pickContact = nullptr, *pickCategory = nullptr, *pickFile = nullptr;
    QPlainTextEdit* message = nullptr;
    QPushButton *sendNow = nullptr, *ok = nullptr, *cancel = nullptr;

    static QLineEdit* Entry(QWidget* tab, const char* name, const char* tip) {
        auto* e = new QLineEdit(tab);
        e->setObjectName(name);
        e->setMaxLength(255);
        if (*tip) e->setToolTip(tip);
        return e;
    }
    static QLabel* Prompt(QWidget* tab, const char* text, QWidget* buddy) {
        auto* l = new QLabel(text, tab);
        l->setBuddy(buddy);
        return l;
    }
    void Build() {
        window = new QWidget;
        window->resize(520, 420);
        auto* v = new QVBoxLayout(window);
        sheet = new QTabWidget(window);
        sheet->setObjectName("sheet");
        auto* general = new QWidget;
        auto* g = new QGridLayout(general);
        type = new QComboBox(general);
        type->setObjectName("type");
        for (const char* t : kMailTypes) type->addItem(t);
        to = Entry(general, "to", "Recipient (Email Address)");
        pickContact = MakeButton(general, "...", "pickContact");
        pickContact->setToolTip("Select Contact to email");
        category = Entry(general, "category", "Email to Group (Contact Category)");
        category->setMaxLength(20);
        pickCategory = MakeButton(general, "...", "pickCategory");
        pickCategory->setToolTip("Select Contact Category");
        name = Entry(general, "name", "");
        cc = Entry(general, "cc", "Carbon Copy");
        bcc = Entry(general, "bcc", "Blind Carbon Copy");
        subject = Entry(general, "subject", "");
        attachment = Entry(general, "attachment", "Attachment file name");
        pickFile = MakeButton(general, "...", "pickFile");
        pickFile->setToolTip("Select file");
        g->addWidget(Prompt(general, "Mail Type:", type), 0, 0);
        g->addWidget(type, 0, 1);
        g->addWidget(toPrompt = Prompt(general, "*To:", to), 1, 0);
        g->addWidget(to, 1, 1);
        g->addWidget(pickContact, 1, 2);
        g->addWidget(categoryPrompt = Prompt(general, "Cate&gory:", category), 2, 0);
        g->addWidget(category, 2, 1);
        g->addWidget(pickCategory, 2, 2);
        g->addWidget(namePrompt = Prompt(general, "Name:", name), 3, 0);
        g->addWidget(name, 3, 1);
        g->addWidget(ccPrompt = Prompt(general, "CC:", cc), 4, 0);
        g->addWidget(cc, 4, 1);
        g->addWidget(bccPrompt = Prompt(general, "BCC:", bcc), 5, 0);
        g->addWidget(bcc, 5, 1);
        g->addWidget(Prompt(general, "*Subject: ", subject), 6, 0);
        g->addWidget(subject, 6, 1);
        g->addWidget(Prompt(general, "Attachment:", attachment), 7, 0);
        g->addWidget(attachment, 7, 1);
        g->addWidget(pickFile, 7, 2);
        g->addWidget(new QLabel("* indicates required field", general), 8, 1);
        g->setRowStretch(9, 1);
        sheet->addTab(general, "General");
        auto* text = new QWidget;
        auto* t = new QVBoxLayout(text);
        message = new QPlainTextEdit(text);
        message->setObjectName("message");
        t->addWidget(message);
        sheet->addTab(text, "Message");
        v->addWidget(sheet);
        sendNow = MakeButton(window, "&Send Now", "sendNow");
        ok = MakeButton(window, "&OK", "ok", "OK.ICO");
        ok->setDefault(true);
        cancel = MakeButton(window, "Cancel", "cancel", "CANCEL.ICO");
        auto* row = new QHBoxLayout;
        row->addWidget(sendNow);
        row->addStretch();
        row->addWidget(ok);
        row->addWidget(cancel);
        v->addLayout(row);
    }
};

class UpdateMessagesWindow : public WindowManager {
public:
    explicit UpdateMessagesWindow(int32_t contactId) : WindowManager("UpdateMessages"), contactId_(contactId) {
        SetSavePosition(true, true);
    }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        mode_.Take(*this);
        if (!tables_.Open(Messages_File()) || !tables_.Open(Contact_File()) ||
            !tables_.Open(ContactCategories_File()))
            return false;
        Messages_Relations().Open();
        relationsOpen_ = true;
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        tabs_.Init(ui.window);
        required_.Init(ui.window, "Missing Information", "@PROMPT must be entered.");
        required_.SetMessage(ui.to, true, "To (Email Address)", "Recipient (Email Address)",
                             "Recipient (Email Address)", "M_:EmailTo");
        required_.SetMessage(ui.subject, true, "Subject", "Subject", "Subject", "M_:Subject");
        // A mass mailing goes to its category (its To is hidden): the category
        // is asked for as the To is for the other types. Hidden controls take
        // no part in the check, so each type asks for its own recipient.
        required_.SetMessage(ui.category, true, "Category", "Email to Group (Contact Category)",
                             "Email to Group (Contact Category)", "M_:EmailToGroup");
        SetRequiredFields(&required_);
        if (Request() == kInsertRecord && !BufferKeptForInsert()) {
            M_() = MessagesRecord();
            M_().MailType = kMailTypes[0];
        }
        if (contactId_ != 0) TakeContact(contactId_);
        DisableInViewMode(ui.pickContact);
        DisableInViewMode(ui.pickCategory);
        DisableInViewMode(ui.pickFile);
        DisableInViewMode(ui.sendNow);
        SetTitle(mode_.Title(Request() == kInsertRecord ? "New E-mail Message" : "Edit E-mail Message"));
        mode_.Apply(*this);
        if (!mode_.ReadOnly()) {
            history_.Add(ui.type, "M_:MailType");
            history_.Add(ui.to, "M_:EmailTo");
            history_.Add(ui.category, "M_:EmailToGroup");
            history_.Add(ui.name, "M_:EmailToName");
            history_.Add(ui.cc, "M_:CC");
            history_.Add(ui.bcc, "M_:BCC");
            history_.Add(ui.subject, "M_:Subject");
            history_.Add(ui.attachment, "M_:Attachment");
            history_.Add(ui.message, "M_:Message");
        }
        ApplyLayout();
        return true;
    }
    void TakeOpened() override { mode_.Opened(*this); }
    void TakeNewSelection(QObject* c) override {
        if (c == ui.sheet) tabs_.Refresh();
        if (c == ui.type && !mode_.ReadOnly()) {
            Store();
            // A To that only the remembered e-mail address put there is no
            // newsgroup and no mass mailing's To: it goes with the type.
            if (MailKindOf(M_().MailType.str()) != MailKind::Email && !filledTo_.empty() &&
                ClipRight(M_().EmailTo.str()) == filledTo_)
                M_().EmailTo = "";
            filledTo_.clear();
            ApplyLayout();
        }
    }
    // OK's pass over all fields only stores: the layout (and its fill of an
    // empty recipient) follows a change of type, which TakeNewSelection
    // takes; refilling here would hide a To the user cleared from the check.
    void TakeAccepted(QObject* c) override {
        if (mode_.ReadOnly()) return;
        Store();
        if (c == ui.type) return;
        if (c == ui.to && !AcceptingAll()) {
            LookUpRecipient();
        } else if (c == ui.category && !AcceptingAll()) {
            if (CategoryFillsRecipient(M_())) Show();
        } else if (c == ui.attachment && !AcceptingAll()) {
            if (AttachmentFillsSubject(M_())) Show();
        } else if (c == ui.pickFile) {
            if (auto f = tasks::ChooseFile(ui.window, "Choose a File", {}, {"All Files (*.*)"})) {
                M_().Attachment = *f;
                Show();
            }
        } else if (c == ui.pickContact) {
            PickContact();
        } else if (c == ui.pickCategory) {
            PickCategory();
        } else if (c == ui.sendNow) {
            SendNow();
        }
    }
    bool TakeCompleted() override {
        if (sending_) return false;
        if (!mode_.Delete()) {
            Store();
            if (required_.Check(false)) return false;
            const LastRecipient last = LastRecipientOf(M_());
            if (!last.setting.empty()) PutSetting(last.setting, last.value);
        }
        if (mode_.Write(*this, Messages_File(), Messages_Relations()) != kLevelBenign) {
            // Changed by another writer meanwhile: the stored message shows.
            if (data::LastErrorCode() == kRecordChanged) Show();
            return false;
        }
        if (!mode_.ReadOnly()) history_.Remember();
        return true;
    }
    bool TakeCloseRequest() override { return !sending_; }
    void Kill() override {
        tabs_.Kill();
        required_.Kill();
        if (relationsOpen_) Messages_Relations().Close();
        tables_.Close();
    }

private:
    // The contact fills the recipient (fetched by its number unless the
    // buffer holds it already).
    void TakeContact(int32_t id) {
        if (Contact_File().rec().ClientID != id) {
            Contact_File().rec().ClientID = id;
            if (Contact_File().TryFetch("C_:KeyClientID") != kLevelBenign) return;
        }
        FillMessageFromContact(M_(), Contact_File().rec());
    }
    // A typed address of a contact brings the contact's name, when none is set.
    void LookUpRecipient() {
        const std::string to = ClipRight(M_().EmailTo.str());
        if (to.empty()) return;
        const Contact kept = Contact_File().rec();
        Contact_File().rec().Email = to;
        if (Contact_File().TryFetch("C_:KeyEmail") == kLevelBenign && ClipRight(M_().EmailToName.str()).empty()) {
            M_().ContactID = Contact_File().rec().ClientID;
            M_().EmailToName = ContactFullName(Contact_File().rec());
            Show();
        } else {
            Contact_File().rec() = kept;
        }
    }
    void PickContact() {
        QPointer<QWidget> w = ui.window;
        GlobalRequest() = kSelectRecord;
        BrowseContacts([this, w](int response) {
            if (!w || response != kRequestCompleted) return;
            FillMessageFromContact(M_(), Contact_File().rec());
            Show();
        });
    }
    void PickCategory() {
        QPointer<QWidget> w = ui.window;
        ContactCategories_File().rec().ContactCategory = M_().EmailToGroup.str();
        SelectContactCategories([this, w](int response) {
            if (!w || response != kRequestCompleted) return;
            M_().EmailToGroup = ContactCategories_File().rec().ContactCategory.str();
            CategoryFillsRecipient(M_());
            Show();
        });
    }
    void SendNow() {
        if (sending_) return;
        sending_ = true;
        ui.sendNow->setEnabled(false);
        const std::string to = ClipRight(M_().EmailTo.str());
        SendEmailMessageAsync(0, true, false, this, [this, to](int32_t result) {
            sending_ = false;
            ui.sendNow->setEnabled(true);
            if (result == 0)
                Message("Mail sent:  " + to, "Mail");
            else
                Message("Could not send:  " + to, "Mail Error", MessageIcon::Exclamation);
        });
    }
    // The controls the mail type shows, and the remembered recipient of an
    // empty message of that type; only when the window opens and when the
    // type changes.
    void ApplyLayout() {
        const MailKind kind = MailKindOf(M_().MailType.str());
        if (!mode_.ReadOnly() && FillEmptyRecipient(M_(), [](const char* name) { return GetSetting(name); }))
            filledTo_ = ClipRight(M_().EmailTo.str());
        const bool email = kind == MailKind::Email, news = kind == MailKind::News, mass = kind == MailKind::MassMailing;
        ui.toPrompt->setText(news ? "*Newsgroup:" : "*To:");
        ui.toPrompt->setVisible(!mass);
        ui.to->setVisible(!mass);
        ui.pickContact->setVisible(email);
        ui.categoryPrompt->setVisible(mass);
        ui.category->setVisible(mass);
        ui.pickCategory->setVisible(mass);
        for (QWidget* wdg : std::initializer_list<QWidget*>{ui.namePrompt, ui.name, ui.ccPrompt, ui.cc, ui.bccPrompt, ui.bcc})
            wdg->setVisible(email);
        Show();
    }
    void Show() {
        const MessagesRecord& m = M_();
        const int t = ui.type->findText(Q(ClipRight(m.MailType.str())));
        {
            // Showing the record's type is no change of type: taken as one, it
            // would store the entries not yet shown over the record.
            const QSignalBlocker quiet(ui.type);
            ui.type->setCurrentIndex(t < 0 ? 0 : t);
        }
        ui.to->setText(Q(ClipRight(m.EmailTo.str())));
        ui.category->setText(Q(ClipRight(m.EmailToGroup.str())));
        ui.name->setText(Q(ClipRight(m.EmailToName.str())));
        ui.cc->setText(Q(ClipRight(m.CC.str())));
        ui.bcc->setText(Q(ClipRight(m.BCC.str())));
        ui.subject->setText(Q(ClipRight(m.Subject.str())));
        ui.attachment->setText(Q(ClipRight(m.Attachment.str())));
        if (ui.message->toPlainText() != Q(m.Message)) ui.message->setPlainText(Q(m.Message));
        mode_.Reapply(*this);
    }
    void Store() {
        MessagesRecord& m = M_();
        m.MailType = ui.type->currentText().toStdString();
        m.EmailTo = ui.to->text().toStdString();
        m.EmailToGroup = ui.category->text().toStdString();
        m.EmailToName = ui.name->text().toStdString();
        m.CC = ui.cc->text().toStdString();
        m.BCC = ui.bcc->text().toStdString();
        m.Subject = ui.subject->text().toStdString();
        m.Attachment = ui.attachment->text().toStdString();
        m.Message = ui.message->toPlainText().toStdString().substr(0, kMessageSize);
    }

    UpdateMessagesLayout ui;
    int32_t contactId_;
    RecordFormMode mode_;
    WindowTables tables_;
    bool relationsOpen_ = false;
    FieldHistory history_{"UpdateMessages"};
    RequiredFields required_;
    TabHighlight tabs_;
    bool sending_ = false;
    // The To the LastEmail fill put in, while it may still be that fill's.
    std::string filledTo_;
};

// ---- BrowseMessages ---------------------------------------------------------------

enum MessageTab { kTabId, kTabContact, kTabSubject, kTabLastSent, kMessageTabs };

struct BrowseMessagesLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QTableView* list = nullptr;
    std::array<QWidget*, kMessageTabs> pages{};
    QPushButton *send = nullptr, *select = nullptr, *insert = nullptr, *copy = nullptr, *change = nullptr,
                *del = nullptr, *view = nullptr, *close = nullptr;

    void Build() {
        window = new QWidget;
        window->setWindowTitle("E-mail Messages");
        window->resize(760, 420);
        auto* v = new QVBoxLayout(window);
        list = MakeList(window, "list", "Browsing Records");
        sheet = new QTabWidget(window);
        sheet->setObjectName("sheet");
        const char* names[kMessageTabs] = {"E-mail ID", "E-mail To (Contact)", "Subject", "Last Date Sent"};
        for (int i = 0; i < kMessageTabs; ++i) {
            pages[i] = new QWidget;
            new QVBoxLayout(pages[i]);
            sheet->addTab(pages[i], names[i]);
        }
        static_cast<QVBoxLayout*>(pages[0]->layout())->insertWidget(0, list);
        v->addWidget(sheet, 1);
        send = MakeButton(window, "Send E-&mail", "send");
        send->setToolTip("Send highlighted e-mail message");
        select = MakeButton(window, "&Select", "select");
        insert = MakeButton(window, "&New", "insert");
        copy = MakeButton(window, "Cop&y", "copy");
        change = MakeButton(window, "&Edit", "change");
        del = MakeButton(window, "&Delete", "del");
        view = MakeButton(window, "&View", "view");
        close = MakeButton(window, "Cl&ose", "close", "EXIT.ICO");
        auto* row = ButtonRow({send, select, insert, copy, change, del, view});
        row->addWidget(close);
        v->addLayout(row);
    }
};

class BrowseMessagesWindow : public WindowManager {
public:
    BrowseMessagesWindow() : WindowManager(kBrowseMessagesProcedure) {
        SetSingleInstance(true);
        SetSavePosition(true, true);
    }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        if (!fPasswordValidation()) return false;
        SetCancelControl(ui.close);
        if (!tables_.Open(Messages_File(), true)) return false;
        Messages_Relations().Open();
        relationsOpen_ = true;
        tabs_.Init(ui.window);
        const bool selecting = Request() == kSelectRecord;
        const std::string dateFormat = ClipRight(Options().GlobalDateFormat.get());

        list_ = std::make_unique<BrowseView>(Messages_File().File(), ui.list, this);
        list_->AddColumn({"E-mail ID", "M_:EmailID", "@n11", 44});
        list_->AddColumn({"E-mail To", "M_:EmailTo", "@s254", 120});
        list_->AddColumn({"E-mail To Name", "M_:EmailToName", "@s254", 100});
        list_->AddColumn({"Subject", "M_:Subject", "@s254", 160});
        list_->AddColumn({"Last Date Sent", "M_:LastDateSent", data::ApplyDatePicture("@d17b", dateFormat), 60});
        list_->AddColumn({"CC", "M_:CC", "@s254", 80});
        list_->AddColumn({"BCC", "M_:BCC", "@s254", 80});
        list_->AddColumn({"Attachment", "M_:Attachment", "@s254", 120});
        list_->AddColumn({"Contact ID", "M_:ContactID", "@n-13", 52});
        list_->SetColumnVisible(9, false);
        list_->AddSortOrder(MessagesDef().key("M_:KeyEmailID"));
        list_->AddLocator("M_:EmailID");
        list_->AddSortOrder(MessagesDef().key("M_:KeyContact"));
        list_->AddLocator("M_:ContactID");
        list_->AddSortOrder(MessagesDef().key("M_:KeySubject"));
        list_->AddLocator("M_:Subject");
        list_->AddSortOrder(MessagesDef().key("M_:KeyLastDateSent"));
        list_->AddLocator("M_:LastDateSent");
        list_->SetSortOrder(1);
        list_->SetEditControls(ui.insert, ui.change, ui.del);
        list_->SetViewControl(ui.view);
        list_->SetCopyControl(ui.copy);
        list_->SetSelectControl(ui.select);
        list_->SetSelectMode(selecting);
        ui.select->setVisible(selecting);
        ui.select->setDefault(selecting);
        ui.send->setVisible(!selecting);
        list_->AddRowControl(ui.send);
        list_->SetUpdateProcedure([](int, std::function<void(int)> done) { UpdateMessages(0, std::move(done)); });
        list_->Popup().AddItemMimic("Copy", "Cop&y", ui.copy);
        if (list_->Init() != 0) return false;

        xplore_ = std::make_unique<xplore::XploreList>(*list_, kBrowseMessagesProcedure, "?Browse:1");
        std::vector<xplore::ColumnDef> cols = {
            {"M_:EmailID", 44, "E-mail ID", "@n11", "Unique ID"},
            {"M_:EmailTo", 120, "E-mail To", "@s254", "Recipient (Email Address)"},
            {"M_:EmailToName", 100, "E-mail To Name", "@s254", "Recipient (Name)"},
            {"M_:Subject", 160, "Subject", "@s254", "Subject"},
            {"M_:LastDateSent", 60, "Last Date Sent", "@d17b", "Last Date Sent"},
            {"M_:CC", 80, "CC", "@s254", "Carbon Copy"},
            {"M_:BCC", 80, "BCC", "@s254", "Blind Carbon Copy"},
            {"M_:Attachment", 120, "Attachment", "@s254", "Attachment file name"},
            {"M_:ContactID", 52, "Contact ID", "@n-13", "Related Contact (Internal System ID)", 'L', false},
        };
        std::vector<xplore::OrderDef> orders;
        for (auto& c : cols) {
            c.sortable = c.graphOk = true;
            c.locatorType = 'S';
            orders.push_back({c.field, {{c.field, false, c.picture.substr(1)}}});
        }
        xplore_->Start("Underline", cols, dateFormat, orders);
        return true;
    }
    void TakeOpened() override { ui.list->setFocus(); }
    bool TakeEvent(int e) override {
        if (e == kEventAlreadyOpen) {
            ComeForward();
            list_->ResetFromFile();
            ui.list->setFocus();
            return true;
        }
        return list_ && list_->TakeEvent(e);
    }
    void TakeAccepted(QObject* c) override {
        if (c == ui.send) {
            Send();
            return;
        }
        if (list_) list_->HandleAccepted(c);
    }
    void TakeNewSelection(QObject* c) override {
        if (c != ui.sheet || !list_) return;
        const int tab = ui.sheet->currentIndex();
        ShowTabOrder(ui.pages[static_cast<std::size_t>(tab)], ui.list, *list_, *xplore_, tab + 1);
        ui.list->setFocus();
        tabs_.Refresh();
    }
    void Kill() override {
        if (xplore_) xplore_->Save();
        tabs_.Kill();
        xplore_.reset();
        list_.reset();
        if (relationsOpen_) Messages_Relations().Close();
        tables_.Close();
    }

private:
    // The script runner sends it, so the list never waits for the server.
    void Send() {
        if (!list_->HasRows() || !list_->UpdateViewRecord()) return;
        const int32_t id = M_().EmailID;
        if (id == 0) return;
        QueueSendEmailStep(id);
        SetActivityText(kSendingEmailText);
    }

    BrowseMessagesLayout ui;
    TabHighlight tabs_;
    WindowTables tables_;
    bool relationsOpen_ = false;
    std::unique_ptr<BrowseView> list_;
    std::unique_ptr<xplore::XploreList> xplore_;
};

// The script item form's chooser: the list in select mode over the form.
void ChooseMessage(QWidget*, std::function<void(std::optional<scriptedit::ChosenMessage>)> chosen) {
    GlobalRequest() = kSelectRecord;
    BrowseMessages([chosen](int response) {
        if (response != kRequestCompleted) {
            chosen(std::nullopt);
            return;
        }
        const MessagesRecord& m = M_();
        chosen(scriptedit::ChosenMessage{m.EmailID, ClipRight(m.Subject.str()), ClipRight(m.EmailTo.str())});
    });
}

}  // namespace

void UpdateMessages(int32_t contactId, std::function<void(int response)> done) {
    (new UpdateMessagesWindow(contactId))->Call(std::move(done));
}

void BrowseMessages(std::function<void(int response)> done) {
    auto* w = new BrowseMessagesWindow;
    if (GlobalRequest() == kSelectRecord) {
        w->Call(std::move(done));
        return;
    }
    w->OpenOrCall();
}

void RegisterMessageWindows() {
    RegisterProcedure(kBrowseMessagesProcedure, [] { BrowseMessages(); });
    scriptedit::SetMessageChooser(ChooseMessage);
    scriptedit::SetNewMessageForm([](std::function<void()> done) {
        GlobalRequest() = kInsertRecord;
        UpdateMessages(0, [done](int) {
            if (done) done();
        });
    });
}

}  // namespace kr::organiser
