// Wizard:Script: "New Script Task Wizard", a "Run Program" task whose work is
// its script, in four pages (Command, When, Category, Advanced). The task ID
// is reserved as the wizard opens and the items are filed under it at once;
// Cancel deletes them and the placeholder. Called from the hot-key form with
// request 1 (new) or 2 (the key's task in the Schedule buffer) it runs in
// hot-key mode: a "Hot Key" task without date or recurrence, edited on the
// Command and Category pages; Cancel there puts the items back as they were.
// Request 3 shows the buffer's task read-only for deletion (Finish deletes
// it with its script), request 4 read-only for viewing ("View Script Task
// Wizard", Close only). The When, Category and Advanced pages are the task
// wizards' shared pages.
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QCheckBox>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <filesystem>
#include <memory>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/Settings.h"
#include "dictionary/windows/fPasswordValidation.h"
#include "platform/data/Errors.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/WindowPosition.h"
#include "platform/ui/BrowseView.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/RecordWindows.h"
#include "platform/ui/Requests.h"
#include "platform/ui/RequiredFields.h"
#include "platform/ui/WindowManager.h"
#include "scheduler/OpenEditors.h"
#include "scheduler/ScheduleDefaults.h"
#include "scheduler/TableScheduleStore.h"
#include "scheduler/windows/Main.h"
#include "scriptedit/ScriptCopy.h"
#include "scriptedit/ScriptItems.h"
#include "scriptedit/ScriptSequencer.h"
#include "scriptedit/ScriptTemplates.h"
#include "scriptedit/windows/ScriptItemMoves.h"
#include "scriptedit/windows/ScriptWindows.h"
#include "tasks/TaskEditorRules.h"
#include "tasks/TaskReservation.h"
#include "tasks/windows/ListWindowParts.h"
#include "tasks/windows/TaskWindows.h"
#include "tasks/windows/WizardSchedulePages.h"

namespace kr::scriptedit {

namespace {

using data::kLevelBenign;
using tasks::MakeButton;

constexpr int kDetailsSize = 60;

struct ScriptWizardLayout {
    QWidget* window = nullptr;
    QStackedWidget* pages = nullptr;
    QTableView *templates = nullptr, *items = nullptr;
    QPushButton *addTemplate = nullptr, *add = nullptr, *copy = nullptr, *edit = nullptr, *del = nullptr;
    QPushButton *import = nullptr, *exportScript = nullptr, *clear = nullptr, *editText = nullptr;
    ScriptItemMoves moves{ScriptOwner::Task};
    tasks::WizardSchedulePages shared;  // When, Category and Advanced
    QLabel* picture = nullptr;
    QPushButton *back = nullptr, *next = nullptr, *finish = nullptr, *cancel = nullptr;

    void Build() {
        window = new QWidget;
        window->setWindowTitle("Add Script Wizard");
        window->setWindowIcon(IconByName("taskdoc1.ico"));
        window->resize(780, 480);
        auto* v = new QVBoxLayout(window);
        auto* body = new QHBoxLayout;
        picture = new QLabel(window);
        picture->setObjectName("picture");
        // Shown beside some pages only: its room stays, so the window keeps its size.
        KeepRoomWhenHidden(picture, QSize(48, 48));
        picture->setPixmap(IconByName("~TIMEPC_L.GIF").pixmap(48, 48));
        body->addWidget(picture, 0, Qt::AlignTop);
        pages = new QStackedWidget(window);
        pages->setObjectName("pages");
        body->addWidget(pages, 1);
        v->addLayout(body);

        // Page 1: the script.
        auto* p1 = new QWidget;
        auto* l1 = new QVBoxLayout(p1);
        l1->addWidget(new QLabel("Create a script...", p1));
        auto* intro = new QLabel("A script consists of one or several actions, which can be added one at a time or "
                                 "en masse through templates.",
                                 p1);
        intro->setWordWrap(true);
        l1->addWidget(intro);
        auto* row = new QHBoxLayout;
        templates = new QTableView(p1);
        templates->setObjectName("templates");
        items = new QTableView(p1);
        items->setObjectName("items");
        row->addWidget(templates, 1);
        row->addWidget(items, 2);
        row->addLayout(moves.Build(p1));
        for (auto [b, name] : {std::pair{moves.top, "top"}, {moves.up, "up"}, {moves.down, "down"},
                               {moves.bottom, "bottom"}})
            b->setObjectName(name);
        l1->addLayout(row);
        auto* b1 = new QHBoxLayout;
        addTemplate = MakeButton(p1, "&Add template to script", "addTemplate");
        addTemplate->setToolTip("Copy from highlighted script template onto the end of the current script");
        add = MakeButton(p1, "Add", "add");
        add->setToolTip("Add script item");
        copy = MakeButton(p1, "Cop&y", "copy");
        copy->setToolTip("Copy script item");
        edit = MakeButton(p1, "&Edit", "edit");
        edit->setToolTip("Edit script item");
        del = MakeButton(p1, "&Delete", "del");
        del->setToolTip("Delete script item");
        for (QPushButton* b : {addTemplate, add, copy, edit, del}) b1->addWidget(b);
        b1->addStretch();
        l1->addLayout(b1);
        auto* b2 = new QHBoxLayout;
        import = MakeButton(p1, "Import", "import");
        exportScript = MakeButton(p1, "E&xport", "export");
        clear = MakeButton(p1, "Delete All", "clear");
        clear->setToolTip("Delete all script items");
        editText = MakeButton(p1, "Edit as &Text", "editText");
        for (QPushButton* b : {import, exportScript, clear, editText}) b2->addWidget(b);
        b2->addStretch();
        l1->addLayout(b2);
        pages->addWidget(p1);

        // Pages 2 to 4: the task wizards' When, Category and Advanced pages.
        tasks::WizardPageOptions o;
        o.whenHeading = "When to start it...";
        o.advancedHeading = "Alarm and advanced options...";
        // The Alarm box keeps the last WAV file in the program INI, the WAV
        // field in the settings store.
        o.alarmLastWavInIni = true;
        o.fieldLastWavInIni = false;
        o.rememberWavFolder = true;
        o.monthEndAtOnce = true;
        o.wavDialogTitle = "Choose a WAV File";
        shared.Build(o);
        for (QWidget* p : {shared.whenPage, shared.categoryPage, shared.advancedPage}) pages->addWidget(p);

        tasks::AddWizardButtons(window, v, back, next, finish, cancel);
    }
};

// The task's items as they are now (hot-key mode keeps them to restore).
std::vector<Scripting> ReadScriptItems(int32_t taskID) {
    std::vector<Scripting> out;
    TableOf(ScriptingDef()).ForEachMatch(ScriptingDef().key("SCR:KeyID"), {ScriptingDef().field("SCR:ID")},
                                         {Value(taskID)}, [&](int64_t, const void* rec) {
                                             out.push_back(*static_cast<const Scripting*>(rec));
                                             return true;
                                         });
    return out;
}

class ScriptWizardWindow : public LayoutWindow<ScriptWizardLayout> {
public:
    explicit ScriptWizardWindow(int request) : LayoutWindow("Wizard:Script"), entry_(request) {
        SetSavePosition(true, false);
    }

protected:
    Schedule& SCH() { return Schedule_File().rec(); }
    Scripting& SCR() { return Scripting_File().rec(); }

    bool Init() override {
        // 0 new (from the frame), 1 and 2 hot-key mode (a new task, the key's
        // task), 3 delete, 4 view; all but 0 and 1 work on the buffer's task.
        hotKey_ = entry_ == 1 || entry_ == 2;
        delete_ = entry_ == kDeleteRecord;
        view_ = entry_ == kViewRecord;
        change_ = entry_ == 2 || delete_ || view_;
        SetRequest(delete_ ? kDeleteRecord : change_ ? kChangeRecord : kInsertRecord);
        if (!fPasswordValidation()) return false;
        // Each wizard asks its templates' free tokens afresh.
        TemplateAnswers::Global().Clear();
        EditorOpened();
        counted_ = true;
        GlobalRequest() = 0;
        GlobalResponse() = 0;
        if (Schedule_File().Open() != kLevelBenign) return false;
        scheduleOpen_ = true;
        if (Scripting_File().Open() != kLevelBenign) return false;
        scriptingOpen_ = true;
        // The lists fetch their highlighted record straight from the table,
        // so the table must be open now, not on its first use.
        if (Scripting_File().UseFile() != kLevelBenign) return false;
        if (ScriptTemplates_File().Open() == kLevelBenign) {
            templatesOpen_ = true;
            useTemplates_ = ScriptTemplates_File().UseFile() == kLevelBenign;
        }
        if (Categories_File().Open() == kLevelBenign) categoriesOpen_ = true;
        SetOkControl(ui.finish);
        SetCancelControl(ui.cancel);
        ui.shared.Attach(this, [this] { Store(); }, [this] { Show(); });
        Prime();
        // An existing task keeps its own advance warning: the default one
        // follows only a date or time changed here.
        ui.shared.StartWarning(change_);
        if (categoriesOpen_) ui.shared.FillCategories();

        required_.Init(ui.window, "Missing Information", "@PROMPT must be entered.");
        ui.shared.AddRequiredFields(required_);

        if (!change_) {
            reserved_ = tasks::ReserveTaskID(0);
        } else if (hotKey_) {
            entryItems_ = ReadScriptItems(SCH().ID);
        }
        task_ = SCH().ID;
        HoldTask(task_);
        held_ = task_;

        BuildTemplateList();
        if (!BuildItemList()) return false;
        if (view_ || delete_) {
            // Nothing of the task changes: the item and date buttons go too.
            for (QWidget* b : std::initializer_list<QWidget*>{
                     ui.addTemplate, ui.add, ui.copy, ui.edit, ui.del, ui.import, ui.exportScript, ui.clear,
                     ui.editText, ui.moves.up, ui.moves.top, ui.moves.down, ui.moves.bottom, ui.shared.datePick, ui.shared.warnPick,
                     ui.shared.except, ui.shared.wavBrowse})
                DisableInViewMode(b);
        }
        std::string title = change_ ? "Edit Script Task Wizard" : "New Script Task Wizard";
        if (view_) title = ViewTitle(title);
        if (hotKey_) {
            ClearRecurrence();
            title = "Hot Key Script Wizard";
        }
        SetTitle(title);
        Show();
        ShowPage(0);
        return true;
    }

    void TakeOpened() override {
        if (!view_ && !delete_) {
            // The default button has the first focus, so Enter goes on as a
            // wizard's Enter does; in the lists Enter would do nothing.
            QPushButton* first = ui.next->isEnabled() ? ui.next : ui.finish;
            if (first->isEnabled()) first->setFocus();
            return;
        }
        // Opening applied the framework's view mode again.
        ApplyModes();
        ui.cancel->setFocus();
    }

    // The new record (or, in hot-key mode, the key's task) before the pages
    // show it. A task to view or delete is shown as the caller fetched it.
    void Prime() {
        Schedule& s = SCH();
        if (view_ || delete_) return;
        if (hotKey_) {
            if (!change_) s = Schedule();
            s.TaskType = "Run Program";
            s.Command = "N/A";
            s.Category = "Hot Key";
            if (!change_) s.Description = "Hot Key " + ClipRight(SysHotKeys_File().rec().HotKey.str());
            return;
        }
        s = Schedule();
        s.Date = Today();
        s.Time = ClockTime();
        s.ScheduleType = "Day of Week";
        s.EveryLast = 1;
        s.Sunday = s.Monday = s.Tuesday = s.Wednesday = s.Thursday = s.Friday = s.Saturday = 1;
        s.Warn = 1;
        s.TaskType = "Run Program";
        s.Command = "N/A";
        s.Every = 1;
        s.EveryType = "hour(s)";
        s.Category = "General";
        s.Completed = 0;
        if (categoriesOpen_) tasks::EnsureCategory("General");
    }

    // A hot-key task runs on its key only: no type of its own, no date, time,
    // recurrence or exceptions.
    void ClearRecurrence() {
        Schedule& s = SCH();
        s.TaskType = "Hot Key";
        s.Sunday = s.Monday = s.Tuesday = s.Wednesday = s.Thursday = s.Friday = s.Saturday = 0;
        s.Every1st = s.Every2nd = s.Every3rd = s.Every4th = s.EveryLast = s.LastDayofMonth = 0;
        s.ScheduleType = "";
        s.MonthRepeat = "";
        s.Offset = 0;
        s.Every = 0;
        s.EveryType = "";
        s.Date = s.Time = 0;
        s.ShiftType = "";
        s.ExceptWeekends = s.ExceptWeekdays = s.ExceptHolidays = s.ExceptTime = 0;
        s.ExceptTimeBegin = s.ExceptTimeEnd = 0;
        s.ExceptOther = "";
    }

    void BuildTemplateList() {
        if (!useTemplates_) return;
        templates_ = std::make_unique<BrowseView>(ScriptTemplates_File().File(), ui.templates, this);
        templates_->AddColumn({"Script Templates", "KRT:Description", "@s60", 240});
        templates_->AddSortOrder(ScriptTemplatesDef().key("KRT:K_Description"));
        templates_->SetSortOrder(1);
        templates_->Init();
        connect(ui.templates, &QTableView::doubleClicked, this, [this] { AddTemplate(); });
    }

    bool BuildItemList() {
        items_ = std::make_unique<BrowseView>(Scripting_File().File(), ui.items, this);
        items_->AddColumn({"Action", "SCR:Action", "@s27", 100});
        items_->AddColumn({"Details", "LOC:Details", "@s60", 300, 'L', [this](const data::ListRow& r) {
                               Scripting item;
                               items_->query().ToRecord(r, &item);
                               std::string d = DescribeScriptItem(item);
                               if (d.size() > kDetailsSize) d.resize(kDetailsSize);
                               return Value(d);
                           }});
        items_->AddSortOrder(ScriptingDef().key("SCR:KeyID"));
        items_->AddRange("SCR:ID", [this] { return Value(task_); });
        items_->SetSortOrder(1);
        items_->SetInsertControl(ui.add);
        items_->SetCopyControl(ui.copy);
        items_->SetChangeControl(ui.edit);
        items_->SetDeleteControl(ui.del);
        ui.moves.Attach(items_.get(), [this] { return task_; });
        items_->SetUpdateProcedure([this](int request, std::function<void(int)> done) {
            ui.moves.EditItem(request, [this, done](int response) {
                done(response);
                if (ui.window) Refresh();
            });
        });
        items_->Popup().AddItemMimic("AddTemplate", "&Add template to script", ui.addTemplate);
        items_->Popup().AddItemMimic("EditAsText", "Edit as &Text", ui.editText);
        items_->Popup().AddItemMimic("Import", "Import", ui.import);
        items_->Popup().AddItemMimic("Export", "E&xport", ui.exportScript);
        if (items_->Init() != 0) return false;
        UpdateItemButtons();
        return true;
    }

    void UpdateItemButtons() {
        const bool rows = task_ != 0 && items_->HasRows();
        for (QPushButton* b : {ui.copy, ui.edit, ui.del, ui.clear}) b->setEnabled(rows);
        ui.moves.SetEnabled(rows);
        ui.addTemplate->setEnabled(templates_ && templates_->HasRows() && task_ != 0);
        ApplyModes();
    }

    // Also called when a progress window over the wizard has gone, which may
    // be after the wizard itself was closed.
    void Refresh() {
        if (!items_) return;
        items_->ResetFromFile();
        UpdateItemButtons();
    }

    void AddTemplate() {
        if (!templates_ || task_ == 0 || !templates_->UpdateViewRecord()) return;
        QPointer<QWidget> w = ui.window;
        CopyScriptTemplateToScriptWindow(ScriptTemplates_File().rec().Wiz_ID, task_, [this, w](int) {
            if (w) Refresh();
        });
    }

    // The buffer into the pages.
    void Show() {
        ui.shared.Show();
        ApplyModes();
    }

    // The pages into the buffer. A hot-key task keeps no schedule.
    void Store() {
        if (view_ || delete_) return;
        ui.shared.Store();
        if (hotKey_) ClearRecurrence();
    }

    // Delete and view show everything read-only; view also hides Finish and
    // closes with "Cl&ose". Applied again after every change of the window.
    void ApplyModes() {
        if (!view_ && !delete_) return;
        SetViewMode(true);
        if (delete_) {
            // Delete keeps Finish and Cancel: the framework's view mode only
            // makes the controls read-only, and is not kept for the opening.
            SetViewMode(false);
            ui.finish->show();
            ui.finish->setEnabled(true);
            ui.cancel->setText("Cancel");
        } else {
            ui.cancel->setIcon(IconByName("~close.ico"));
        }
    }

    // Pages 0 Command, 1 When, 2 Category, 3 Advanced. Hot-key mode leads
    // from the Command page to the Category page and finishes there.
    void ShowPage(int page) {
        ui.pages->setCurrentIndex(page);
        const bool last = hotKey_ ? page == 2 : page == 3;
        ui.back->setEnabled(page > 0);
        ui.next->setEnabled(!last);
        ui.finish->setEnabled(last || (hotKey_ && page == 0) || (change_ && !view_));
        ui.finish->setDefault(last);
        ui.next->setDefault(!last);
        // The picture stands beside the Category and Advanced pages only.
        ui.picture->setVisible(page >= 2 && !ui.picture->pixmap().isNull());
        if (page == 0) UpdateItemButtons();
        if (page == 1) ui.shared.ShowScheduleType();
        if (page == 3 && !view_ && !delete_) ui.shared.AlarmRule(true);
        ApplyModes();
        if (view_ || delete_) ui.cancel->setFocus();
    }

    void TakeSelected(QObject* c) override {
        if (!view_ && !delete_) ui.shared.TakeSelected(c);
    }

    void TakeAccepted(QObject* c) override {
        const int page = ui.pages->currentIndex();
        if (items_ && items_->HandleAccepted(c)) {
            UpdateItemButtons();
            return;
        }
        if (templates_ && templates_->HandleAccepted(c)) return;
        if (c == ui.next) {
            Store();
            ShowPage(hotKey_ && page == 0 ? 2 : page + 1);
        } else if (c == ui.back) {
            Store();
            ShowPage(hotKey_ && page == 2 ? 0 : page - 1);
        } else if (c == ui.addTemplate) {
            AddTemplate();
        } else if (ui.moves.HandleAccepted(c)) {
        } else if (HandleScriptItemButtons(c, {ui.clear, ui.import, ui.exportScript, ui.editText}, task_, ui.window,
                                           [this] { Refresh(); })) {
        } else if (!view_ && !delete_ && !(hotKey_ && AcceptingAll())) {
            // A hot-key task has no schedule: Finish leaves its pages alone.
            ui.shared.TakeAccepted(c);
        }
    }

    void TakeNewSelection(QObject*) override { UpdateItemButtons(); }

    bool TakeCompleted() override {
        if (view_) return false;
        if (delete_) {
            // The task goes with its script.
            const Schedule shown = SCH();
            if (Schedule_File().Fetch("SCH:KeyID") != kLevelBenign) return false;
            if (Schedule_Relations().Delete(false) != kLevelBenign) {
                SCH() = shown;
                return false;
            }
            DeleteScript(task_);
            saved_ = true;
            return true;
        }
        Store();
        if (!hotKey_ && required_.Check(false)) {
            // The check brought the field's page forward: its buttons follow.
            ShowPage(ui.pages->currentIndex());
            return false;
        }
        if (!hotKey_) {
            tasks::CompleteEditedTask(SCH());
        } else {
            ClearRecurrence();
        }
        SCH().TaskType = hotKey_ ? "Hot Key" : "Run Program";
        SCH().Command = "N/A";
        int r;
        if (change_) {
            const Schedule edited = SCH();
            r = Schedule_File().Fetch("SCH:KeyID");
            SCH() = edited;
            if (r == kLevelBenign) r = Schedule_File().Update();
        } else {
            r = Schedule_File().Insert();
        }
        if (r != kLevelBenign) return false;
        saved_ = true;
        return true;
    }

    void Kill() override {
        if (!saved_) {
            if (hotKey_ && change_) {
                // The key's task keeps the script it had when the wizard opened.
                DeleteScript(task_);
                for (const Scripting& item : entryItems_) {
                    SCR() = item;
                    Scripting_File().Insert();
                }
            } else if (reserved_) {
                tasks::ReleaseReservedTask(reserved_);
            }
        }
        if (held_) ReleaseTask(held_);
        required_.Kill();
        if (saved_ && !hotKey_) BrowseScheduleThreads().PostToAll(1090);
        templates_.reset();
        items_.reset();
        if (categoriesOpen_) Categories_File().Close();
        if (templatesOpen_) ScriptTemplates_File().Close();
        if (scriptingOpen_) Scripting_File().Close();
        if (scheduleOpen_) Schedule_File().Close();
        if (counted_) EditorClosed();
    }

private:
    RequiredFields required_;
    std::unique_ptr<BrowseView> templates_, items_;
    std::vector<Scripting> entryItems_;
    int entry_ = 0;
    int32_t reserved_ = 0, held_ = 0, task_ = 0;
    bool useTemplates_ = false;
    bool hotKey_ = false, change_ = false, view_ = false, delete_ = false;
    bool counted_ = false, scheduleOpen_ = false, scriptingOpen_ = false, templatesOpen_ = false,
         categoriesOpen_ = false, saved_ = false;
};

}  // namespace

void Wizard_Script(std::function<void(int response)> done) {
    const int request = GlobalRequest();
    auto* w = new ScriptWizardWindow(request >= 1 && request <= 4 ? request : 0);
    if (done) w->Call(std::move(done));
    else w->Open();
}

}  // namespace kr::scriptedit
