#include "organiser/windows/ClipboardWindows.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>
#include <mutex>

#include "dictionary/Dictionary.h"
#include "dictionary/OrganiserTables.h"
#include "dictionary/Settings.h"
#include "organiser/windows/ConfirmDelete.h"
#include "platform/data/Errors.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/data/ListQuery.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/QueryWizard.h"
#include "platform/ui/Requests.h"
#include "scheduler/ClipboardMonitor.h"
#include "scheduler/TaskRunner.h"
#include "xplore/windows/XploreList.h"

namespace kr {

namespace {

using data::kLevelBenign;

std::mutex g_openerMutex;
ClipboardOpener& Opener() {
    static ClipboardOpener opener;
    return opener;
}

data::Table& ClipTable() { return data::TableOf(ClipboardDef()); }

std::string DateFormatSetting() { return ClipRight(Options().GlobalDateFormat.get()); }

QPushButton* Button(const char* text, QWidget* parent, const char* tip = nullptr) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    if (tip) b->setToolTip(QString::fromUtf8(tip));
    return b;
}

// A list's update procedure: a delete request is done at once by `remove`,
// without a window, and answered as the form would answer; the other
// requests open the form.
template <class Form>
void CallForm(int request, std::function<void(int response)> done, const std::function<bool()>& remove) {
    GlobalRequest() = request;
    if (request == kDeleteRecord) {
        const int response = remove() ? kRequestCompleted : kRequestCancelled;
        GlobalRequest() = 0;
        GlobalResponse() = response;
        if (done) done(response);
        return;
    }
    (new Form)->Call(std::move(done));
}

// The entries shown again from the file, their contents read afresh.
void Refill(ClipboardContents& contents, BrowseView& list) {
    contents.Forget();
    list.ResetFromFile();
}

// The entries' table for a list: opened with its relations and in use at
// once (the contents column reads the memos of its rows on its own), the
// entries keyed by the current rule.
bool OpenEntries() {
    if (Clipboard_Relations().Open() != kLevelBenign) return false;
    if (Clipboard_File().UseFile() != kLevelBenign) return false;
    RekeyClipboardEntries();
    return true;
}

// The end of a form's OK: true when its write went through, and then the
// form's field history remembers the record.
bool Written(int level, FieldHistory& history) {
    if (level != kLevelBenign) return false;
    history.Remember();
    return true;
}

// Opens a list window on a thread's own window; nullptr when it did not open.
template <class Window>
Window* OpenList() {
    auto* w = new Window;
    return w->Open() ? w : nullptr;
}

void SetUpTable(QTableView* t) {
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->verticalHeader()->hide();
}

// The query wizard's fields of the clipboard manager.
std::string QueryFieldList() {
    const std::string e = "\xAB", s = "\xA6";
    auto entry = [&](const char* prompt, const char* field, const char* picture, int length, int type, int code,
                     const char* tip) {
        return std::string(prompt) + s + "0" + s + field + s + picture + s + std::to_string(length) + s +
               std::to_string(type) + s + std::to_string(code) + s + "" + s + tip + s + "" + e;
    };
    return entry("Abbreviation", "CLI:Abbreviation", "@s20", 20, 1, 1, "") +
           entry("Category", "CLI:Category", "@s20", 20, 1, 1, "") +
           entry("Date", "CLI:ClipDate", "@d3", 4, 2, 1, "") + entry("Time", "CLI:ClipTime", "@t3", 4, 2, 1, "") +
           entry("Hash key (no spaces or graphic characters)", "CLI:ClipHashKey", "@s120", 120, 1, 1, "") +
           entry("Contents", "CLI:ClipContents", "@s255", 8192, 1, 1, "") +
           entry("Keep", "CLI:ClipKeep", "@n3", 1, 2, 2, "Keep this clipboard record");
}

// The entries' contents column and its look, shared by both browses.
BrowseColumn ContentsColumn(ClipboardContents& contents, int width) {
    return {"Contents", "CLI:ClipContents", "@s255", width, 'L',
            [&contents](const data::ListRow& r) { return Value(contents.Of(r.row).text); }};
}

// Contents that hold an address or a program show in the link colours.
void LinkLook(ClipboardContents& contents, const data::ListRow& r, CellLook& look) {
    if (!contents.Of(r.row).link) return;
    look.normalFg = kLinkColour;
    look.selectedFg = kLinkSelectedColour;
}

// The entry form of both browses; the contents read so far are forgotten
// after it, since the entry may have changed.
auto EntryForm(ClipboardContents& contents) {
    return [&contents](int request, std::function<void(int)> done) {
        UpdateClipboard(request, [&contents, done](int response) {
            contents.Forget();
            done(response);
        });
    };
}

// A saved entry is the kind the monitor never trims: its delete is asked
// first. True to go on.
bool ConfirmSavedEntryDelete() {
    if (ClipTable().Rec<ClipboardRecord>().ClipKeep == 0) return true;
    MessageRequest q;
    q.text = kSavedEntryDeleteQuestion;
    q.title = "Delete Record";
    q.icon = MessageIcon::Question;
    q.buttons = kButtonYes | kButtonNo;
    q.defaultButton = kButtonNo;
    return Messages().Show(q) == kButtonYes;
}

// A form's default button and Cancel, at the right of the foot of `l`.
void AddDefaultAndCancel(QWidget* window, QVBoxLayout* l, const char* text, QPushButton*& ok, QPushButton*& cancel) {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    ok = Button(text, window);
    ok->setDefault(true);
    cancel = Button("Cancel", window);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    l->addLayout(buttons);
}

}  // namespace

// ---- running what an entry holds ------------------------------------------------

void SetClipboardOpener(ClipboardOpener opener) {
    std::lock_guard<std::mutex> l(g_openerMutex);
    Opener() = std::move(opener);
}

void OpenClipboardTarget(const ClipboardRunTarget& target) {
    ClipboardOpener opener;
    {
        std::lock_guard<std::mutex> l(g_openerMutex);
        opener = Opener();
    }
    if (opener) {
        opener(target);
        return;
    }
    if (target.kind == ClipboardRunTarget::Url) {
        QDesktopServices::openUrl(QUrl(QString::fromStdString(target.target), QUrl::TolerantMode));
    } else {
        // Started directly (the task runner reports a failed start).
        RunTask(target.target, "", "", 0, nullptr, 0, 1, 1, 1, 0);
    }
}

// ---- contents of the rows shown ---------------------------------------------------

const ClipboardContents::Shown& ClipboardContents::Of(int64_t row) {
    auto it = cache_.find(row);
    if (it != cache_.end()) return it->second;
    // The list keeps a few pages of rows; the cache no more than that.
    if (cache_.size() > 512) cache_.clear();
    std::string memo;
    ClipTable().ReadMemo(row, "CLI:ClipContents", kClipContentsBytes, memo);
    ++reads_;
    Shown s;
    s.link = ClipboardContentsIsLink(memo);
    std::string shown = CutUtf8(memo, 255 * 4);
    for (char& c : shown)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    // 255 characters, not bytes.
    const QString q = QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size())).left(255);
    s.text = q.toStdString();
    return cache_.emplace(row, std::move(s)).first->second;
}

// The clipboard manager's list: Enter and a double click are its own choice.
class ClipboardList : public BrowseView {
public:
    using BrowseView::BrowseView;
    std::function<void(int column)> onChoice;
    bool HandleKey(int keyCode) override {
        if ((keyCode == 13 || keyCode == 5) && onChoice && HasRows()) {
            UpdateViewRecord();
            QTableView* view = qobject_cast<QTableView*>(parent());
            (void)view;
            onChoice(choiceColumn);
            return true;
        }
        return BrowseView::HandleKey(keyCode);
    }
    int choiceColumn = 1;
};

// ---- BrowseClipboard ------------------------------------------------------------------

void BrowseClipboardLayout::Build() {
    window = new QWidget;
    window->resize(760, 480);
    auto* l = new QVBoxLayout(window);
    sheet = new QTabWidget(window);
    for (const char* t : {"By Date", "By Content", "By Category", "Saved Only"}) sheet->addTab(new QWidget, t);
    sheet->setDocumentMode(true);
    sheet->setMaximumHeight(sheet->tabBar()->sizeHint().height() + 2);
    list = new QTableView(window);
    SetUpTable(list);
    l->addWidget(sheet);
    l->addWidget(list, 1);
    auto* row1 = new QHBoxLayout;
    query = Button("&Query", window);
    reset = Button("&Reset", window);
    copy = Button("&Copy to Clipboard", window, "Copy the highlighted record to the clipboard");
    toggle = Button("&Toggle Save", window);
    run = Button("&Run", window, "Try to execute embedded programs/URLs");
    for (QPushButton* b : {query, reset, copy, toggle, run}) row1->addWidget(b);
    row1->addStretch();
    auto* row2 = new QHBoxLayout;
    view = Button("&View", window, "View the highlighted record");
    insert = Button("&New", window);
    change = Button("&Edit", window);
    del = Button("&Delete", window, "Delete the highlighted record");
    close = Button("Cl&ose", window);
    for (QPushButton* b : {view, insert, change, del}) row2->addWidget(b);
    row2->addStretch();
    row2->addWidget(close);
    l->addLayout(row1);
    l->addLayout(row2);
}

BrowseClipboardWindow::BrowseClipboardWindow() : ClipboardWindowBase(kBrowseClipboardProcedure) {
    SetIcon("Clipbrd.ico");
    SetSingleInstance(true);
    SetSavePosition(true, true);
}

BrowseClipboardWindow::~BrowseClipboardWindow() = default;

BrowseList& BrowseClipboardWindow::List() { return *list_; }

bool BrowseClipboardWindow::Init() {
    SetTitle("Clipboard Manager");
    SetCancelControl(ui_.close);
    // The query wizard's fields.
    fields_ = FieldsQueue();
    TC_ADDFIELDSQUEUEDATA(QueryFieldList(), fields_, queryError_);
    if (queryError_ != 0)
        Message("An error has prevented the Query Wizard from initializing.",
                "Query Wizard Error# " + std::to_string(queryError_), MessageIcon::Exclamation);
    TC_INITFIELDSQUEUE("CLIPBOARD", fields_);

    if (!OpenEntries()) return false;
    tabs_.Init(ui_.window);

    list_ = std::make_unique<ClipboardList>(ClipTable(), ui_.list, this);
    const std::string dateFormat = DateFormatSetting();
    list_->AddColumn({" ", "CLI:ClipKeep", "", 10, 'L', [](const data::ListRow&) { return Value(std::string()); }});
    list_->AddColumn(ContentsColumn(contents_, 254));
    list_->AddColumn({"Category", "CLI:Category", "@s20", 80});
    list_->AddColumn({"Date", "CLI:ClipDate", data::ApplyDatePicture("@d17", dateFormat), 56, 'R'});
    list_->SetIconList({"~blank.ico", "~done.ico"});
    const int keepField = ClipboardDef().fieldIndex("CLI:ClipKeep");
    list_->SetCellLook([this, keepField](const data::ListRow& r, int column, CellLook& look) {
        if (column == 1) look.icon = r.field(keepField).toInt() != 0 ? 2 : 1;
        if (column == 2) LinkLook(contents_, r, look);
    });
    list_->AddSortOrder(ClipboardDef().key("CLI:KeyClipDate"));
    list_->AddLocator("CLI:ClipDate");
    list_->AddSortOrder(ClipboardDef().key("CLI:KeyClipHash"));
    list_->AddLocator("CLI:ClipHashKey");
    list_->AddSortOrder(ClipboardDef().key("CLI:KeyCategory"));
    list_->AddLocator("CLI:Category");
    list_->AddSortOrder(ClipboardDef().key("CLI:KeyClipKeep"));
    list_->AddLocator("CLI:ClipKeep");
    list_->SetFilter("(CLI:ClipKeep=1)", "Saved");
    list_->SetSortOrder(1);
    list_->SetEditControls(ui_.insert, ui_.change, ui_.del);
    list_->SetViewControl(ui_.view);
    for (QPushButton* b : {ui_.copy, ui_.toggle, ui_.run}) list_->AddRowControl(b);
    list_->SetUpdateProcedure(EntryForm(contents_));
    list_->onChoice = [this](int column) { ListChoice(column); };
    list_->Popup().AddItemMimic("Popup9", "&Query", ui_.query);
    list_->Popup().AddItemMimic("Popup10", "&Reset", ui_.reset);
    list_->Popup().AddItemMimic("Popup11", "&Copy to Clipboard", ui_.copy);
    connect(ui_.list, &QTableView::pressed, this, [this](const QModelIndex& i) { list_->choiceColumn = i.column() + 1; });
    if (list_->Init() != 0) return false;

    xplore_ = std::make_unique<xplore::XploreList>(*list_, kBrowseClipboardProcedure, "?Browse:1");
    std::vector<xplore::ColumnDef> cols = {
        {"CLI:ClipKeep", 10, " ", "@n1b", "Keep", 'L', true, false, true},
        {"CLI:ClipContents", 254, "Contents", "@s255", "Contents", 'L', true, true},
        {"CLI:Category", 80, "Category", "@s20", "Category"},
        {"CLI:ClipDate", 56, "Date", "@d17", "Date", 'R'},
        {"CLI:ClipHashKey", 480, "Clip Hash Key", "@s120", "Hash key (no spaces or graphic characters)", 'L', false},
        {"CLI:Abbreviation", 80, "Abbreviation", "@s20", "Abbreviation", 'L', false},
        {"CLI:ClipTime", 28, "Clip Time", "@t3", "Time", 'R', false},
    };
    // Sorting on the contents would read every entry's 8 KB: that column
    // sorts through the tabs only.
    for (std::size_t i = 0; i < cols.size(); ++i) cols[i].sortable = i != 1;
    for (auto& c : cols) c.graphOk = true, c.locatorType = 'S';
    xplore_->Start(">Header", cols, dateFormat);

    ui_.reset->setEnabled(false);
    if (queryError_ != 0) {
        ui_.query->setEnabled(false);
        ui_.reset->setEnabled(false);
    }
    SetTimer(100);
    return true;
}

void BrowseClipboardWindow::TakeOpened() { ui_.list->setFocus(); }

void BrowseClipboardWindow::ChooseOrder() {
    const int tab = ui_.sheet->currentIndex();
    list_->SetOrderOverride("");
    xplore_->core().ClearSort();
    list_->SetSortOrder(tab + 1);
    Refill(contents_, *list_);
    xplore_->Show();
}

bool BrowseClipboardWindow::TakeEvent(int event) {
    if (event == kEventAlreadyOpen) {
        ComeForward();
        ui_.list->setFocus();
        Refill(contents_, *list_);
        return true;
    }
    return list_ && list_->TakeEvent(event);
}

void BrowseClipboardWindow::TakeNewSelection(QObject* control) {
    if (control == ui_.sheet) {
        ChooseOrder();
        ui_.list->setFocus();
        tabs_.Refresh();
    }
}

void BrowseClipboardWindow::TakeAccepted(QObject* control) {
    if (control == ui_.del) {
        DeleteEntry();
    } else if (list_->HandleAccepted(control)) {
    } else if (control == ui_.query) {
        TC_QWIZARD(fields_, query_, [this](const std::string& q) {
            if (TCQW_Response()) QueryAccepted(q);
        }, Window());
    } else if (control == ui_.reset) {
        ResetQuery();
    } else if (control == ui_.copy) {
        CopyToClipboard();
    } else if (control == ui_.toggle) {
        ToggleSave();
    } else if (control == ui_.run) {
        Run();
    } else {
        return;
    }
    ui_.list->setFocus();
}

void BrowseClipboardWindow::QueryAccepted(const std::string& query) {
    query_ = query;
    ui_.reset->setEnabled(!query_.empty());
    for (int n = 1; n <= list_->SortOrderCount(); ++n) {
        list_->SetSortOrder(n);
        list_->SetFilter(query_, "6 Query");
    }
    list_->SetSortOrder(ui_.sheet->currentIndex() + 1);
    Refill(contents_, *list_);
}

void BrowseClipboardWindow::ResetQuery() { QueryAccepted(""); }

void BrowseClipboardWindow::CopyToClipboard() {
    if (!list_->HasRows() || !list_->UpdateViewRecord()) return;
    Clipboard().SetText(ClipTable().Rec<ClipboardRecord>().ClipContents);
}

void BrowseClipboardWindow::ToggleSave() {
    if (!list_->HasRows() || !list_->UpdateViewRecord()) return;
    ClipboardRecord& CLI = Clipboard_File().rec();
    CLI.ClipKeep = CLI.ClipKeep ? 0 : 1;
    Clipboard_File().Update();
    list_->ResetFromFile();
}

void BrowseClipboardWindow::Run() {
    if (!list_->HasRows() || !list_->UpdateViewRecord()) return;
    for (const ClipboardRunTarget& t : ClipboardRunTargets(ClipTable().Rec<ClipboardRecord>().ClipContents))
        OpenClipboardTarget(t);
}

void BrowseClipboardWindow::DeleteEntry() {
    if (!list_->HasRows() || !list_->UpdateViewRecord()) return;
    if (!ConfirmSavedEntryDelete()) return;
    list_->AskRecord(kDeleteRecord);
}

void BrowseClipboardWindow::ListChoice(int column) {
    if (column == 1)
        ToggleSave();
    else
        CopyToClipboard();
}

void BrowseClipboardWindow::TakeTimer() {
    // New entries from the monitor show within about 100 seconds.
    if (++timerCount_ > 100) {
        timerCount_ = 0;
        Refill(contents_, *list_);
    }
}

void BrowseClipboardWindow::Kill() {
    tabs_.Kill();
    if (xplore_) xplore_->Save();
    Clipboard_Relations().Close();
}

BrowseClipboardWindow* BrowseClipboard() { return OpenList<BrowseClipboardWindow>(); }

// ---- UpdateClipboard ---------------------------------------------------------------------

void UpdateClipboardLayout::Build() {
    window = new QWidget;
    window->resize(520, 380);
    auto* l = new QVBoxLayout(window);
    contents = new QPlainTextEdit(window);
    contents->setAccessibleName("Contents");
    l->addWidget(contents, 1);
    auto* row = new QHBoxLayout;
    categoryPrompt = new QLabel("Category:", window);
    category = new QLineEdit(window);
    category->setMaxLength(20);
    categoryPrompt->setBuddy(category);
    lookup = Button("...", window);
    row->addWidget(categoryPrompt);
    row->addWidget(category);
    row->addWidget(lookup);
    l->addLayout(row);
    keep = new QCheckBox("Keep this clipboard record", window);
    l->addWidget(keep);
    auto* when = new QHBoxLayout;
    date = new QLineEdit(window);
    time = new QLineEdit(window);
    when->addWidget(date);
    when->addWidget(time);
    l->addLayout(when);
    AddDefaultAndCancel(window, l, "&OK", ok, cancel);
}

UpdateClipboardWindow::UpdateClipboardWindow() : ClipboardFormBase("UpdateClipboard") {
    SetSavePosition(true, true);
    SetIcon("CLIPBRD.ICO");
}

bool UpdateClipboardWindow::DeleteHighlighted() {
    if (Clipboard_Relations().Open() != kLevelBenign) return false;
    const bool ok = Clipboard_Relations().Delete(false) == kLevelBenign;
    Clipboard_Relations().Close();
    return ok;
}

bool UpdateClipboardWindow::Init() {
    Opening();
    if (Clipboard_Relations().Open() != kLevelBenign) return false;
    ClipboardCategories_File().Open();
    ClipboardRecord& CLI = Clipboard_File().rec();
    if (Request() == kInsertRecord) {
        CLI = ClipboardRecord();
        CLI.ClipContents = CutUtf8(Clipboard().Text(), kClipContentsBytes);
        CLI.ClipDate = Today();
        CLI.ClipTime = ClockTime();
    }
    SetOkControl(ui_.ok);
    SetCancelControl(ui_.cancel);
    ui_.lookup->setToolTip("Select " + ui_.contents->toolTip());
    required_.Init(ui_.window);
    SetRequiredFields(&required_);
    if (Request() == kViewRecord) {
        SetTitle(ViewTitle("Edit clipboard entry"));
        SetViewMode(true);
        ui_.lookup->setEnabled(false);
        // The text can be scrolled and copied, not saved.
        KeepEditableInViewMode(ui_.contents);
        ui_.contents->setReadOnly(true);
    } else {
        SetTitle(Request() == kInsertRecord ? "New clipboard entry" : "Edit clipboard entry");
        // The history key puts back a control's value from the last entry
        // saved through this form.
        history_.Add(ui_.contents, "CLI:ClipContents");
        history_.Add(ui_.category, "CLI:Category");
        history_.Add(ui_.keep, "CLI:ClipKeep");
        history_.Add(ui_.date, "CLI:ClipDate");
        history_.Add(ui_.time, "CLI:ClipTime");
    }
    Display();
    return true;
}

void UpdateClipboardWindow::Display() {
    const ClipboardRecord& CLI = Clipboard_File().rec();
    ui_.contents->setPlainText(QString::fromStdString(CLI.ClipContents));
    ui_.category->setText(QString::fromStdString(CLI.Category.str()));
    ui_.keep->setChecked(CLI.ClipKeep != 0);
    ui_.date->setText(QString::fromStdString(Format(Value(static_cast<int64_t>(CLI.ClipDate)), "@D3")));
    ui_.time->setText(QString::fromStdString(Format(Value(static_cast<int64_t>(CLI.ClipTime)), "@T3")));
}

void UpdateClipboardWindow::Take() {
    ClipboardRecord& CLI = Clipboard_File().rec();
    CLI.ClipContents = CutUtf8(ui_.contents->toPlainText().toStdString(), kClipContentsBytes);
    CLI.Category = ui_.category->text().toStdString();
    CLI.ClipKeep = ui_.keep->isChecked() ? 1 : 0;
    if (auto d = TryDeformat(ui_.date->text().toStdString(), "@D3")) CLI.ClipDate = static_cast<int32_t>(d->toInt());
    if (auto t = TryDeformat(ui_.time->text().toStdString(), "@T3")) CLI.ClipTime = static_cast<int32_t>(t->toInt());
}

void UpdateClipboardWindow::ChooseCategory(bool fromEntry) {
    if (choosing_) return;
    choosing_ = true;
    Take();
    ClipboardCategories_File().rec().Category = Clipboard_File().rec().Category;
    QPointer<QWidget> window(ui_.window);
    SelectClipboardCategory([this, window, fromEntry](int response) {
        if (!window) return;
        choosing_ = false;
        if (response == kRequestCompleted) {
            Clipboard_File().rec().Category = ClipboardCategories_File().rec().Category;
            ui_.category->setText(QString::fromStdString(Clipboard_File().rec().Category.str()));
        } else if (fromEntry) {
            ui_.category->setFocus();
            ui_.category->selectAll();
        }
    });
}

void UpdateClipboardWindow::CheckCategory() {
    const std::string category = ClipRight(ui_.category->text().toStdString());
    if (category == kDefaultClipCategory) return;
    if (category.empty() && !RequiredFields::IsRequired(ui_.category)) return;
    ClipboardCategories_File().rec().Category = category;
    if (ClipboardCategories_File().TryFetch("CLC:KeyCategory") == kLevelBenign) return;
    ChooseCategory(true);
}

void UpdateClipboardWindow::TakeAccepted(QObject* control) {
    if (control == ui_.lookup) {
        ChooseCategory(false);
    } else if (control == ui_.category && !AcceptingAll() && !ViewMode()) {
        CheckCategory();
    }
}

bool UpdateClipboardWindow::TakeCompleted() {
    if (!WindowManager::TakeCompleted()) return false;
    if (ViewMode()) return true;
    const std::string category = ClipRight(ui_.category->text().toStdString());
    if (!category.empty() && category != kDefaultClipCategory) {
        ClipboardCategories_File().rec().Category = category;
        if (ClipboardCategories_File().TryFetch("CLC:KeyCategory") != kLevelBenign) {
            ChooseCategory(true);
            return false;
        }
    }
    Take();
    ClipboardRecord& CLI = Clipboard_File().rec();
    CLI.ClipHashKey = ClipboardEntryKey(CLI.ClipContents);
    const int r = Request() == kInsertRecord ? Clipboard_File().Insert() : Clipboard_File().Update();
    if (r != kLevelBenign && data::LastErrorCode() == kRecordChanged) Display();
    return Written(r, history_);
}

void UpdateClipboardWindow::Kill() {
    Closing();
    required_.Kill();
    ClipboardCategories_File().Close();
    Clipboard_Relations().Close();
}

void UpdateClipboard(int request, std::function<void(int response)> done) {
    // Deleted at once, without a window and without a question.
    CallForm<UpdateClipboardWindow>(request, std::move(done), [] { return UpdateClipboardWindow::DeleteHighlighted(); });
}

// ---- BrowseClipboardCategories --------------------------------------------------------------

void BrowseClipboardCategoriesLayout::Build() {
    window = new QWidget;
    window->resize(760, 420);
    auto* l = new QHBoxLayout(window);
    auto* left = new QVBoxLayout;
    categories = new QTableView(window);
    SetUpTable(categories);
    left->addWidget(categories, 1);
    auto* catButtons = new QHBoxLayout;
    categoryNew = Button("&New", window);
    categoryEdit = Button("&Edit", window);
    categoryDelete = Button("&Delete", window);
    for (QPushButton* b : {categoryNew, categoryEdit, categoryDelete}) catButtons->addWidget(b);
    left->addLayout(catButtons);
    auto* right = new QVBoxLayout;
    entriesLabel = new QLabel("Clipboard Entries for Highlighted Category", window);
    entries = new QTableView(window);
    SetUpTable(entries);
    right->addWidget(entriesLabel);
    right->addWidget(entries, 1);
    auto* entryButtons = new QHBoxLayout;
    entryNew = Button("New", window);
    entryEdit = Button("Edit", window);
    entryDelete = Button("Delete", window);
    close = Button("Cl&ose", window);
    for (QPushButton* b : {entryNew, entryEdit, entryDelete}) entryButtons->addWidget(b);
    entryButtons->addStretch();
    entryButtons->addWidget(close);
    right->addLayout(entryButtons);
    l->addLayout(left, 1);
    l->addLayout(right, 3);
}

BrowseClipboardCategoriesWindow::BrowseClipboardCategoriesWindow()
    : ClipboardWindowBase(kBrowseClipboardCategoriesProcedure) {
    SetIcon("PICK.ICO");
    SetSingleInstance(true);
    SetSavePosition(true, true);
}

BrowseClipboardCategoriesWindow::~BrowseClipboardCategoriesWindow() = default;
BrowseList& BrowseClipboardCategoriesWindow::Categories() { return *categories_; }
BrowseList& BrowseClipboardCategoriesWindow::Entries() { return *entries_; }

bool BrowseClipboardCategoriesWindow::Init() {
    SetTitle("Clipboard Categories");
    SetCancelControl(ui_.close);
    if (!OpenEntries()) return false;
    // Opened now, not on first use: the highlighted category is read back
    // into the buffer through the table, and the entries' range is taken
    // from that buffer.
    if (ClipboardCategories_Relations().Open() != kLevelBenign) return false;
    if (ClipboardCategories_File().UseFile() != kLevelBenign) return false;
    const std::string dateFormat = DateFormatSetting();

    categories_ = std::make_unique<BrowseView>(data::TableOf(ClipboardCategoriesDef()), ui_.categories, this);
    categories_->AddColumn({"Categories", "CLC:Category", "@s20", 80});
    categories_->AddSortOrder(ClipboardCategoriesDef().key("CLC:KeyCategory"));
    categories_->AddLocator("CLC:Category");
    categories_->SetEditControls(ui_.categoryNew, ui_.categoryEdit, ui_.categoryDelete);
    categories_->SetUpdateProcedure(
        [](int request, std::function<void(int)> done) { UpdateClipboardCategories(request, std::move(done)); });

    entries_ = std::make_unique<BrowseView>(ClipTable(), ui_.entries, this);
    entries_->AddColumn({"Date Saved", "CLI:ClipDate", data::ApplyDatePicture("@d3", dateFormat), 44, 'R'});
    entries_->AddColumn(ContentsColumn(contents_, 400));
    entries_->SetCellLook([this](const data::ListRow& r, int column, CellLook& look) {
        if (column == 2) LinkLook(contents_, r, look);
    });
    entries_->AddSortOrder(ClipboardDef().key("CLI:KeyCategory"));
    entries_->AddRange("CLI:Category",
                       [] { return Value(data::TableOf(ClipboardCategoriesDef()).Rec<ClipboardCategories>().Category.str()); });
    entries_->AddLocator("CLI:Abbreviation");
    entries_->SetEditControls(ui_.entryNew, ui_.entryEdit, ui_.entryDelete);
    entries_->SetUpdateProcedure(EntryForm(contents_));
    categories_->SetOnNewSelection([this] {
        if (entries_) Refill(contents_, *entries_);
    });
    if (categories_->Init() != 0) return false;
    if (entries_->Init() != 0) return false;

    xplore_ = std::make_unique<xplore::XploreList>(*entries_, kBrowseClipboardCategoriesProcedure, "?List");
    std::vector<xplore::ColumnDef> cols = {
        {"CLI:ClipDate", 44, "Date Saved", "@d3", "Date", 'R'},
        {"CLI:ClipContents", 400, "Contents", "@s255", "Contents", 'L'},
        {"CLI:ClipHashKey", 480, "Clip Hash Key", "@s120", "Hash key (no spaces or graphic characters)", 'L', false},
        {"CLI:Category", 80, "Category", "@s20", "Category", 'L', false},
        {"CLI:Abbreviation", 80, "Abbreviation", "@s20", "Abbreviation", 'L', false},
    };
    for (auto& c : cols) c.graphOk = true, c.locatorType = 'S';
    cols[0].sortable = cols[2].sortable = cols[3].sortable = cols[4].sortable = true;
    xplore_->Start("Underline", cols, dateFormat);
    return true;
}

void BrowseClipboardCategoriesWindow::TakeOpened() { ui_.categories->setFocus(); }

bool BrowseClipboardCategoriesWindow::TakeEvent(int event) {
    if (event == kEventAlreadyOpen) {
        ComeForward();
        ui_.categories->setFocus();
        return true;
    }
    if (categories_ && categories_->TakeEvent(event)) {
        entries_->ResetFromFile();
        return true;
    }
    return false;
}

void BrowseClipboardCategoriesWindow::TakeAccepted(QObject* control) {
    // Asked as the clipboard manager asks.
    if (control == ui_.entryDelete && entries_->HasRows() && entries_->UpdateViewRecord() &&
        !ConfirmSavedEntryDelete())
        return;
    if (categories_->HandleAccepted(control)) {
        Refill(contents_, *entries_);
        return;
    }
    entries_->HandleAccepted(control);
}

void BrowseClipboardCategoriesWindow::Kill() {
    if (xplore_) xplore_->Save();
    ClipboardCategories_Relations().Close();
    Clipboard_Relations().Close();
}

BrowseClipboardCategoriesWindow* BrowseClipboardCategories() { return OpenList<BrowseClipboardCategoriesWindow>(); }

// ---- UpdateClipboardCategories -----------------------------------------------------------------

void UpdateClipboardCategoriesLayout::Build() {
    window = new QWidget;
    auto* l = new QVBoxLayout(window);
    auto* row = new QHBoxLayout;
    prompt = new QLabel("&Category:", window);
    category = new QLineEdit(window);
    category->setMaxLength(20);
    prompt->setBuddy(category);
    row->addWidget(prompt);
    row->addWidget(category);
    l->addLayout(row);
    AddDefaultAndCancel(window, l, "&OK", ok, cancel);
}

UpdateClipboardCategoriesWindow::UpdateClipboardCategoriesWindow()
    : ClipboardFormBase("UpdateClipboardCategories") {
    SetIcon("CRDFLE09.ICO");
    SetSavePosition(true, true);
}

bool UpdateClipboardCategoriesWindow::Init() {
    Opening();
    ClipboardCategories_Relations().Open();
    SetOkControl(ui_.ok);
    SetCancelControl(ui_.cancel);
    RequiredFields::MarkRequired(ui_.category);
    required_.Init(ui_.window);
    SetRequiredFields(&required_);
    ClipboardCategories& CLC = ClipboardCategories_File().rec();
    if (Request() == kInsertRecord) CLC = ClipboardCategories();
    original_ = CLC.Category.str();
    ui_.category->setText(QString::fromStdString(CLC.Category.str()));
    if (Request() == kViewRecord) {
        SetTitle(ViewTitle("Change Clipboard Category"));
        SetViewMode(true);
    } else {
        SetTitle(Request() == kInsertRecord ? "Add Clipboard Category" : "Change Clipboard Category");
        history_.Add(ui_.category, "CLC:Category");
    }
    return true;
}

bool UpdateClipboardCategoriesWindow::TakeCompleted() {
    if (!WindowManager::TakeCompleted()) return false;
    if (ViewMode()) return true;
    ClipboardCategories_File().rec().Category = ui_.category->text().toStdString();
    // A rename goes through the relations: the entries take the new name.
    return Written(Request() == kInsertRecord ? ClipboardCategories_File().Insert()
                                              : ClipboardCategories_Relations().Update(true),
                   history_);
}

void UpdateClipboardCategoriesWindow::Kill() {
    Closing();
    required_.Kill();
    ClipboardCategories_Relations().Close();
}

void UpdateClipboardCategories(int request, std::function<void(int response)> done) {
    CallForm<UpdateClipboardCategoriesWindow>(request, std::move(done), [] {
        // The organiser lists' question, then the relations (entries restrict).
        if (!ConfirmDelete()) return false;
        ClipboardCategories_Relations().Open();
        const bool deleted = ClipboardCategories_Relations().Delete(false) == kLevelBenign;
        ClipboardCategories_Relations().Close();
        return deleted;
    });
}

// ---- SelectClipboardCategory ------------------------------------------------------------------------

void SelectClipboardCategoryLayout::Build() {
    window = new QWidget;
    window->resize(260, 320);
    auto* l = new QVBoxLayout(window);
    sheet = new QTabWidget(window);
    auto* page = new QWidget;
    auto* pl = new QVBoxLayout(page);
    list = new QTableView(page);
    SetUpTable(list);
    pl->addWidget(list);
    sheet->addTab(page, "Category");
    l->addWidget(sheet, 1);
    AddDefaultAndCancel(window, l, "&Select", select, cancel);
}

SelectClipboardCategoryWindow::SelectClipboardCategoryWindow() : ClipboardFormBase("SelectClipboardCategory") {
    SetIcon("WIZARD.ICO");
    SetSavePosition(true, true);
}

bool SelectClipboardCategoryWindow::Init() {
    Opening();
    SetTitle("Select a Category");
    SetCancelControl(ui_.cancel);
    ClipboardCategories_File().Open();
    tabs_.Init(ui_.window);
    list_ = std::make_unique<BrowseView>(data::TableOf(ClipboardCategoriesDef()), ui_.list, this);
    list_->AddColumn({"Category", "CLC:Category", "@s20", 80});
    list_->AddSortOrder(ClipboardCategoriesDef().key("CLC:KeyCategory"));
    list_->AddLocator("CLC:Category");
    list_->SetSelectControl(ui_.select);
    list_->SetSelectMode(true);
    if (list_->Init() != 0) return false;
    // Start at the category the caller holds.
    const std::string current = ClipboardCategories_File().rec().Category.str();
    if (!current.empty()) list_->Locate(current);
    return true;
}

void SelectClipboardCategoryWindow::TakeAccepted(QObject* control) { list_->HandleAccepted(control); }

void SelectClipboardCategoryWindow::TakeNewSelection(QObject* control) {
    if (control == ui_.sheet) {
        ui_.list->setFocus();
        tabs_.Refresh();
    }
}

void SelectClipboardCategoryWindow::Kill() {
    Closing();
    tabs_.Kill();
    ClipboardCategories_File().Close();
}

void SelectClipboardCategory(std::function<void(int response)> done) {
    GlobalRequest() = kSelectRecord;
    (new SelectClipboardCategoryWindow)->Call(std::move(done));
}

// ---- registration ------------------------------------------------------------------------------------

void RegisterOrganiserWindows() {
    RegisterProcedure(kBrowseClipboardProcedure, [] { BrowseClipboard(); });
    RegisterProcedure(kBrowseClipboardCategoriesProcedure, [] { BrowseClipboardCategories(); });
}

}  // namespace kr
