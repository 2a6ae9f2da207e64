#include "organiser/windows/HotKeyWindows.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "dictionary/Dictionary.h"
#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "dictionary/Settings.h"
#include "organiser/windows/ConfirmDelete.h"
#include "platform/data/Errors.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/data/Table.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "scheduler/HotKeys.h"
#include "scheduler/TimerCycle.h"
#include "tasks/windows/TaskWindows.h"
#include "xplore/windows/XploreList.h"

namespace kr {

namespace {

using data::kLevelBenign;

QPushButton* Button(const char* text, QWidget* parent) { return new QPushButton(text, parent); }

std::string Text(const QLineEdit* e) { return e->text().toStdString(); }

// The frame grabs its keys anew from the table.
void TellFrame() { Post(kEventReloadHotKeys, 1); }

}  // namespace

bool DeleteHotKeyTask(int32_t taskId) {
    if (taskId == 0) return false;
    if (Schedule_Relations().Open() != kLevelBenign) return false;
    bool deleted = false;
    auto& f = Schedule_File();
    f.rec().ID = taskId;
    if (f.TryFetch("SCH:KeyID") == kLevelBenign && f.rec().Date == 0 && f.rec().Time == 0 &&
        Trim(f.rec().Category.str()) == kHotKeyTaskCategory)
        deleted = Schedule_Relations().Delete(false) == kLevelBenign;
    Schedule_Relations().Close();
    return deleted;
}

// ---- BrowseHotKeys ----------------------------------------------------------

void BrowseHotKeysLayout::Build() {
    window = new QWidget;
    window->resize(560, 360);
    auto* l = new QVBoxLayout(window);
    list = new QTableView(window);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->verticalHeader()->hide();
    list->setAccessibleName("Hot Keys");
    sheet = new QTabWidget(window);
    for (const char* t : {"Hot Key", "Description"}) sheet->addTab(new QWidget, t);
    sheet->setDocumentMode(true);
    sheet->setMaximumHeight(sheet->tabBar()->sizeHint().height() + 2);
    l->addWidget(sheet);
    l->addWidget(list, 1);
    auto* row = new QHBoxLayout;
    insert = Button("&New", window);
    change = Button("&Edit", window);
    del = Button("&Delete", window);
    close = Button("Cl&ose", window);
    for (QPushButton* b : {insert, change, del}) row->addWidget(b);
    row->addStretch();
    row->addWidget(close);
    l->addLayout(row);
}

BrowseHotKeysWindow::BrowseHotKeysWindow() : WindowManager(kBrowseHotKeysProcedure) {
    SetIcon("busykey2.ico");
    SetSingleInstance(true);
    SetSavePosition(true, true);
}

BrowseHotKeysWindow::~BrowseHotKeysWindow() = default;

BrowseList& BrowseHotKeysWindow::List() { return *list_; }

QWidget* BrowseHotKeysWindow::MakeWindow() {
    ui_.Build();
    return ui_.window;
}

bool BrowseHotKeysWindow::Init() {
    SetTitle("Hot Keys");
    SetCancelControl(ui_.close);
    if (SysHotKeys_Relations().Open() != kLevelBenign) return false;
    // Opened now: the list reads the highlighted record from the table itself.
    if (SysHotKeys_File().UseFile() != kLevelBenign) return false;
    tabs_.Init(ui_.window);
    data::Table& table = data::TableOf(SysHotKeysDef());
    list_ = std::make_unique<BrowseView>(table, ui_.list, this);
    list_->AddColumn({"Key", "HOT:HotKey", "@s20", 80});
    list_->AddColumn({"Action", "HOT:Action", "@s4", 16});
    list_->AddColumn({"Description", "HOT:QuickText", "@s40", 160});
    list_->AddSortOrder(SysHotKeysDef().key("HOT:K_Description"));
    list_->AddLocator("HOT:Description");
    list_->AddSortOrder(SysHotKeysDef().key("HOT:K_HotKey"));
    list_->AddLocator("HOT:HotKey");
    list_->SetSortOrder(2);
    list_->SetInsertControl(ui_.insert);
    list_->SetChangeControl(ui_.change);
    list_->SetDeleteControl(ui_.del);
    list_->SetUpdateProcedure([](int request, std::function<void(int)> done) {
        // The highlighted row's task is known before the form deletes the row.
        const int32_t task = SysHotKeys_File().rec().ID;
        UpdateHotKeys(request, [request, task, done](int response) {
            if (request == kDeleteRecord && response == kRequestCompleted) DeleteHotKeyTask(task);
            if (done) done(response);
        });
    });
    if (list_->Init() != 0) return false;

    xplore_ = std::make_unique<xplore::XploreList>(*list_, kBrowseHotKeysProcedure, "?Browse:1");
    std::vector<xplore::ColumnDef> cols = {
        {"HOT:HotKey", 80, "Key", "@s20", "Hot Key"},
        {"HOT:Action", 16, "Action", "@s4", "Text or Task"},
        {"HOT:QuickText", 160, "Description", "@s40", "Description"},
        {"HOT:Description", 160, "Description", "@s40", "Basic - Task Description/Title", 'L', false},
    };
    for (auto& c : cols) c.graphOk = true, c.sortable = true, c.locatorType = 'S';
    xplore_->core().Attach(">Header");
    xplore_->core().Init(cols);
    xplore_->core().AddSortOrder(1);
    xplore_->core().SyncOrders(nullptr);
    xplore_->Restore(ClipRight(Options().GlobalDateFormat.get()));
    return true;
}

void BrowseHotKeysWindow::TakeOpened() { ui_.list->setFocus(); }

void BrowseHotKeysWindow::ChooseOrder() {
    list_->SetOrderOverride("");
    xplore_->core().ClearSort();
    // "Hot Key" lists by key text (order 2), "Description" by description.
    list_->SetSortOrder(ui_.sheet->currentIndex() == 1 ? 1 : 2);
    list_->ResetFromFile();
    xplore_->Show();
}

bool BrowseHotKeysWindow::TakeEvent(int event) {
    if (event == kEventAlreadyOpen) {
        QWidget* w = Window();
        if (w->isMinimized()) w->showNormal();
        w->raise();
        w->activateWindow();
        xplore_->Show();
        return true;
    }
    return list_ && list_->TakeEvent(event);
}

void BrowseHotKeysWindow::TakeNewSelection(QObject* control) {
    if (control == ui_.sheet) {
        ChooseOrder();
        ui_.list->setFocus();
        tabs_.Refresh();
    }
}

void BrowseHotKeysWindow::TakeAccepted(QObject* control) {
    if (list_->HandleAccepted(control)) ui_.list->setFocus();
}

void BrowseHotKeysWindow::Kill() {
    tabs_.Kill();
    if (xplore_) xplore_->Save();
    SysHotKeys_Relations().Close();
}

BrowseHotKeysWindow* BrowseHotKeys() {
    auto* w = new BrowseHotKeysWindow;
    return w->Open() ? w : nullptr;
}

// ---- UpdateHotKeys ----------------------------------------------------------

void UpdateHotKeysLayout::Build() {
    window = new QWidget;
    window->resize(520, 420);
    auto* l = new QVBoxLayout(window);
    sheet = new QTabWidget(window);
    l->addWidget(sheet, 1);

    auto* basic = new QWidget;
    auto* b = new QVBoxLayout(basic);
    auto* group = new QGroupBox("Hot Key", basic);
    auto* g = new QGridLayout(group);
    ctrl = new QCheckBox("Control", group);
    ctrl->setToolTip("Control Key");
    alt = new QCheckBox("Alt", group);
    alt->setToolTip("Alt Key");
    shift = new QCheckBox("Shift", group);
    win = new QCheckBox("Win", group);
    win->setToolTip("Windows key");
    keyName = new QListWidget(group);
    keyName->setAccessibleName("Key");
    for (const char* n : kHotKeyFormNames) keyName->addItem(n);
    keyText = new QLabel(group);
    keyText->setAccessibleName("Key text");
    g->addWidget(ctrl, 0, 0);
    g->addWidget(alt, 1, 0);
    g->addWidget(shift, 2, 0);
    g->addWidget(win, 3, 0);
    g->addWidget(keyName, 0, 1, 4, 1);
    g->addWidget(keyText, 4, 0, 1, 2);
    b->addWidget(group);
    active = new QCheckBox("&Active", basic);
    active->setToolTip("Should this hot key be active");
    b->addWidget(active);
    auto* action = new QGroupBox("Action", basic);
    action->setToolTip("Text or Task");
    auto* a = new QVBoxLayout(action);
    actionText = new QRadioButton("&Text - Automatically type text or copy to clipboard", action);
    actionTask = new QRadioButton("Ta&sk - Start/control programs with advanced options", action);
    a->addWidget(actionText);
    a->addWidget(actionTask);
    b->addWidget(action);
    auto* prompt = new QLabel("Enter a description for this hot key (optional):", basic);
    description = new QLineEdit(basic);
    description->setMaxLength(40);
    description->setToolTip("Description or Title of Task");
    prompt->setBuddy(description);
    b->addWidget(prompt);
    b->addWidget(description);
    sheet->addTab(basic, "Basic");

    auto* textTab = new QWidget;
    auto* t = new QVBoxLayout(textTab);
    t->addWidget(new QLabel("What automation should be performed with this text?", textTab));
    auto* how = new QGroupBox("Type or use clipboard", textTab);
    auto* h = new QVBoxLayout(how);
    typeType = new QRadioButton("Typing", how);
    typeCopy = new QRadioButton("Copy to clipboard", how);
    typePaste = new QRadioButton("Copy to clipboard, then paste (using CTRL-V)", how);
    for (QRadioButton* r : {typeType, typeCopy, typePaste}) h->addWidget(r);
    t->addWidget(how);
    auto* textPrompt = new QLabel("Enter the text you wish to have typed/copied:", textTab);
    text = new QPlainTextEdit(textTab);
    text->setToolTip("Text to type/place on clipboard");
    text->setAccessibleName("Text");
    t->addWidget(textPrompt);
    t->addWidget(text, 1);
    sheet->addTab(textTab, "Text");

    auto* taskTab = new QWidget;
    auto* k = new QVBoxLayout(taskTab);
    auto* calling = new QLabel("Calling Script Wizard...", taskTab);
    calling->setFont(QFont("Arial"));
    taskDescription = new QLabel(taskTab);
    k->addWidget(calling);
    k->addWidget(taskDescription);
    k->addStretch();
    sheet->addTab(taskTab, "Task");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    back = Button("&Back", window);
    next = Button("&Next", window);
    ok = Button("&OK", window);
    cancel = Button("Cancel", window);
    for (QPushButton* p : {back, next, ok, cancel}) buttons->addWidget(p);
    l->addLayout(buttons);
}

UpdateHotKeysWindow::UpdateHotKeysWindow() : WindowManager(kUpdateHotKeysProcedure) { SetSavePosition(true, true); }

QWidget* UpdateHotKeysWindow::MakeWindow() {
    ui_.Build();
    return ui_.window;
}

std::string UpdateHotKeysWindow::KeyText() const {
    HotKeyParts p;
    p.ctrl = ui_.ctrl->isChecked();
    p.alt = ui_.alt->isChecked();
    p.shift = ui_.shift->isChecked();
    p.win = ui_.win->isChecked();
    if (const QListWidgetItem* item = ui_.keyName->currentItem()) p.key = item->text().toStdString();
    return BuildHotKeyText(p);
}

void UpdateHotKeysWindow::ShowKeyText() { ui_.keyText->setText(QString::fromStdString(KeyText())); }

void UpdateHotKeysWindow::ShowActionTabs() {
    const bool task = ui_.actionTask->isChecked();
    ui_.sheet->setTabVisible(1, !task);
    ui_.sheet->setTabVisible(2, task);
    wizard_.SetTabRange();
    wizard_.ResetButtons();
}

void UpdateHotKeysWindow::ReadTask() {
    auto& f = Schedule_File();
    f.rec().ID = SysHotKeys_File().rec().ID;
    if (f.rec().ID == 0 || f.TryFetch("SCH:KeyID") != kLevelBenign) f.rec() = Schedule();
    ui_.taskDescription->setText(QString::fromStdString(f.rec().Description.str()));
}

void UpdateHotKeysWindow::ShowRecord() {
    const SysHotKeys& HOT = SysHotKeys_File().rec();
    const HotKeyParts parts = SplitHotKeyText(HOT.HotKey.str());
    ui_.ctrl->setChecked(parts.ctrl);
    ui_.alt->setChecked(parts.alt);
    ui_.shift->setChecked(parts.shift);
    ui_.win->setChecked(parts.win);
    const auto found = ui_.keyName->findItems(QString::fromStdString(parts.key), Qt::MatchFixedString);
    if (!found.isEmpty()) ui_.keyName->setCurrentItem(found.first());
    ui_.active->setChecked(HOT.Active != 0);
    ui_.keyText->setText(QString::fromStdString(ClipRight(HOT.HotKey.str())));
    const bool task = Trim(HOT.Action.str()) == "Task";
    (task ? ui_.actionTask : ui_.actionText)->setChecked(true);
    ui_.description->setText(QString::fromStdString(ClipRight(HOT.Description.str())));
    const std::string type = Trim(HOT.TextType.str());
    (type == "Copy" ? ui_.typeCopy : type == "Paste" ? ui_.typePaste : ui_.typeType)->setChecked(true);
    ui_.text->setPlainText(QString::fromStdString(HOT.Text));
}

bool UpdateHotKeysWindow::Init() {
    current = this;
    if (SysHotKeys_Relations().Open() != kLevelBenign) return false;
    Schedule_File().Open();
    SysHotKeys& HOT = SysHotKeys_File().rec();
    if (Request() == kInsertRecord) {
        SysHotKeys_File().SetNewRecordDefaults();
        HOT.Active = 1;
        HOT.Action = kHotKeyActionText;
        HOT.TextType = kHotKeyDefaultTextType;
    }
    SetOkControl(ui_.ok);
    SetCancelControl(ui_.cancel);

    ShowRecord();
    const bool task = Trim(HOT.Action.str()) == "Task";
    // A task is made and edited by the script wizard in its hot-key mode;
    // without it a new key cannot choose "Task".
    ui_.actionTask->setEnabled(task || tasks::HasScriptWizardOpener());
    ReadTask();

    wizard_.Init(ui_.sheet, ui_.back, ui_.next, ui_.ok, ui_.cancel, true, false, true, true);
    ShowActionTabs();
    tabs_.Init(ui_.window);
    tabs_.Refresh();
    required_.Init(ui_.window, "Missing Information", "@PROMPT must be entered.");
    required_.SetMessage(ui_.description, true, "Description", "Description or Title of Task",
                         "Description or Title of Task", "HOT:Description");
    SetRequiredFields(&required_);
    SetTitle(Request() == kInsertRecord ? "New Hot Key" : "Edit Hot Key");
    for (QCheckBox* box : {ui_.ctrl, ui_.alt, ui_.shift, ui_.win})
        connect(box, &QCheckBox::toggled, this, [this] { ShowKeyText(); });
    connect(ui_.keyName, &QListWidget::currentRowChanged, this, [this] { ShowKeyText(); });
    connect(ui_.actionTask, &QRadioButton::toggled, this, [this] { ShowActionTabs(); });
    // The history key puts back a control's value from the last key saved
    // through this form; the key itself comes back whole, from any of the
    // boxes or the list that make it.
    history_.Add(ui_.ctrl->parentWidget(), "HOT:HotKey", [this] { return KeyText(); },
                 [this](const std::string& value) {
                     const HotKeyParts p = SplitHotKeyText(value);
                     ui_.ctrl->setChecked(p.ctrl);
                     ui_.alt->setChecked(p.alt);
                     ui_.shift->setChecked(p.shift);
                     ui_.win->setChecked(p.win);
                     const auto found = ui_.keyName->findItems(QString::fromStdString(p.key), Qt::MatchFixedString);
                     ui_.keyName->setCurrentItem(found.isEmpty() ? nullptr : found.first());
                     ShowKeyText();
                     return true;
                 });
    history_.Add(ui_.active, "HOT:Active");
    history_.Add(ui_.actionText->parentWidget(), "HOT:Action");
    history_.Add(ui_.description, "HOT:Description");
    history_.Add(ui_.typeType->parentWidget(), "HOT:TextType");
    history_.Add(ui_.text, "HOT:Text");
    ui_.ctrl->setFocus();
    return true;
}

void UpdateHotKeysWindow::TakeNewSelection(QObject* control) {
    if (control == ui_.keyName) ShowKeyText();
    if (control == ui_.sheet) tabs_.Refresh();
    wizard_.HandleAccepted(control);
}

void UpdateHotKeysWindow::TakeAccepted(QObject* control) {
    if (control == ui_.ctrl || control == ui_.alt || control == ui_.shift || control == ui_.win ||
        control == ui_.keyName) {
        ShowKeyText();
    } else if (control == ui_.actionText || control == ui_.actionTask) {
        ShowActionTabs();
    }
    const int before = ui_.sheet->currentIndex();
    wizard_.HandleAccepted(control);
    if (control == ui_.next && ui_.actionTask->isChecked() && before != kTaskTab &&
        ui_.sheet->currentIndex() == kTaskTab)
        CallScriptWizard();
}

// Next onto the "Task" tab runs the script wizard for the key's task (a new
// one when the key has none yet). Finished, the key takes the task and the
// form saves itself; cancelled, the form goes back to its first tab.
void UpdateHotKeysWindow::CallScriptWizard() {
    if (!tasks::HasScriptWizardOpener()) return;
    SysHotKeys& HOT = SysHotKeys_File().rec();
    HOT.HotKey = KeyText();
    ReadTask();
    const int request = Schedule_File().rec().ID != 0 ? 2 : 1;
    QPointer<QWidget> w = ui_.window;
    tasks::OpenScriptWizard(request, [this, w, request](int response) {
        if (!w) return;
        if (response != kRequestCompleted) {
            wizard_.PreviousTab();
            return;
        }
        SysHotKeys_File().rec().ID = Schedule_File().rec().ID;
        if (request == 1) madeTask_ = Schedule_File().rec().ID;
        ui_.taskDescription->setText(QString::fromStdString(Schedule_File().rec().Description.str()));
        QMetaObject::invokeMethod(ui_.ok, &QPushButton::click, Qt::QueuedConnection);
    });
}

bool UpdateHotKeysWindow::TakeCompleted() {
    const std::string key = KeyText();
    // Modifiers alone ("Ctrl-Shift-") cannot be registered: such a key
    // would be saved and never answer.
    if (!ui_.keyName->currentItem()) {
        Message("\"Key\" must be entered.", "Missing Information", MessageIcon::Exclamation);
        ui_.sheet->setCurrentIndex(0);
        ui_.keyName->setFocus();
        return false;
    }
    // A longer key text would be stored cut and grab another key.
    if (key.size() > kHotKeyTextSize) {
        Message("The hot key \"" + key + "\" is longer than " + std::to_string(kHotKeyTextSize) +
                    " characters.  Choose fewer modifier keys.",
                "Hot Key Too Long", MessageIcon::Exclamation);
        ui_.sheet->setCurrentIndex(0);
        ui_.ctrl->setFocus();
        return false;
    }
    // An empty description takes the key text; then the required check.
    if (ClipRight(Text(ui_.description)).empty())
        ui_.description->setText(QString::fromStdString(key.substr(0, 40)));
    if (!WindowManager::TakeCompleted()) return false;
    SysHotKeys& HOT = SysHotKeys_File().rec();
    HOT.HotKey = key;
    HOT.Active = ui_.active->isChecked() ? 1 : 0;
    HOT.Action = ui_.actionTask->isChecked() ? "Task" : kHotKeyActionText;
    HOT.Description = Text(ui_.description);
    HOT.TextType = ui_.typeCopy->isChecked() ? "Copy" : ui_.typePaste->isChecked() ? "Paste" : "Type";
    HOT.Text = ui_.text->toPlainText().toStdString().substr(0, 10000);
    HOT.QuickText = HotKeyQuickText(HOT.Description.str(), Trim(HOT.Action.str()), HOT.Text);
    const int r = Request() == kInsertRecord ? SysHotKeys_File().Insert() : SysHotKeys_File().Update();
    if (r != kLevelBenign) {
        // Changed by another writer meanwhile: the stored key shows.
        if (data::LastErrorCode() == kRecordChanged) ShowRecord();
        return false;
    }
    madeTask_ = 0;
    history_.Remember();
    return true;
}

void UpdateHotKeysWindow::Kill() {
    if (current == this) current = nullptr;
    tabs_.Kill();
    required_.Kill();
    // A task the wizard made for a key that was then not saved would be
    // left without a key.
    if (madeTask_) DeleteHotKeyTask(madeTask_);
    Schedule_File().Close();
    SysHotKeys_Relations().Close();
    TellFrame();
}

void UpdateHotKeys(int request, std::function<void(int response)> done) {
    if (request == 0) request = kInsertRecord;
    GlobalRequest() = request;
    if (request == kDeleteRecord) {
        int response = kRequestCancelled;
        if (ConfirmDelete() && SysHotKeys_Relations().Open() == kLevelBenign) {
            if (SysHotKeys_Relations().Delete(false) == kLevelBenign) response = kRequestCompleted;
            SysHotKeys_Relations().Close();
        }
        GlobalRequest() = 0;
        GlobalResponse() = response;
        TellFrame();
        if (done) done(response);
        return;
    }
    auto* form = new UpdateHotKeysWindow;
    form->SetRequest(request);
    form->Call(std::move(done));
}

void RegisterHotKeyWindows() {
    RegisterProcedure(kBrowseHotKeysProcedure, [] { BrowseHotKeys(); });
    // From the frame's menu: a new key, in a window of its own thread.
    RegisterProcedure(kUpdateHotKeysProcedure, [] {
        auto* form = new UpdateHotKeysWindow;
        form->SetRequest(kInsertRecord);
        GlobalRequest() = kInsertRecord;
        form->Open();
    });
}

}  // namespace kr
