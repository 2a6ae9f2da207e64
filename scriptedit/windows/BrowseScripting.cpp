// BrowseScripting: the script items of one task (the one in the Schedule
// buffer, or the one the caller names), in their order, with the moves of
// ScriptSequencer; the whole-script clear and the printed script.
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/BrowseView.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/ProcessWindow.h"
#include "platform/ui/RecordWindows.h"
#include "platform/ui/Requests.h"
#include "platform/ui/TabHighlight.h"
#include "platform/ui/WindowManager.h"
#include "platform/ui/report/Report.h"
#include "scriptedit/ScriptCopy.h"
#include "scriptedit/ScriptItems.h"
#include "scriptedit/ScriptSequencer.h"
#include "scriptedit/windows/ScriptExchangeWindows.h"
#include "scriptedit/windows/ScriptItemMoves.h"
#include "scriptedit/ScriptTemplates.h"
#include "scriptedit/ScriptText.h"
#include "scriptedit/windows/ScriptWindows.h"
#include "tasks/windows/TaskWindows.h"
#include "xplore/windows/XploreList.h"

namespace kr::scriptedit {

namespace {

using data::kLevelBenign;

constexpr int kDetailsSize = 80;

std::string Details(const Scripting& item) {
    std::string d = DescribeScriptItem(item);
    return d.size() > kDetailsSize ? d.substr(0, kDetailsSize) : d;
}

struct BrowseScriptingLayout {
    QWidget* window = nullptr;
    QTableView* list = nullptr;
    QPushButton *insert = nullptr, *copy = nullptr, *change = nullptr, *del = nullptr;
    ScriptItemMoves moves{ScriptOwner::Task};
    QPushButton *import = nullptr, *exportScript = nullptr, *clear = nullptr, *print = nullptr;
    QPushButton *templ = nullptr, *editText = nullptr, *toClipboard = nullptr, *fromClipboard = nullptr;
    QPushButton* close = nullptr;
    QPushButton* Button(const QString& text, const QString& tip) { return ScriptListButton(window, text, tip); }
    void Build() {
        window = new QWidget(nullptr, Qt::Window);
        window->resize(760, 460);
        auto* l = new QVBoxLayout(window);
        auto* row = new QHBoxLayout;
        list = new QTableView(window);
        row->addWidget(list, 1);
        row->addLayout(moves.Build(window));
        l->addLayout(row);
        auto* b1 = new QHBoxLayout;
        insert = Button("&New", "Add a script item");
        copy = Button("Cop&y", "Copy the highlighted script item");
        change = Button("&Edit", "Edit the highlighted script item");
        del = Button("&Delete", "Delete the highlighted script item");
        templ = Button("&Template", "Add a script template");
        editText = Button("Edit as &Text", "Edit the script as text");
        for (QPushButton* b : {insert, copy, change, del, templ, editText}) b1->addWidget(b);
        b1->addStretch();
        l->addLayout(b1);
        auto* b2 = new QHBoxLayout;
        import = Button("&Import", "Import script items from a text file");
        exportScript = Button("E&xport", "Export script items to a text file");
        clear = Button("Clear", "Clear all script items");
        print = Button("&Print", "Print all script items for the current task");
        toClipboard = Button("Script to Clipboard", "Script to Clipboard");
        fromClipboard = Button("Clipboard to Script", "Clipboard to Script");
        close = Button("Cl&ose", "Close");
        for (QPushButton* b : {import, exportScript, clear, print, toClipboard, fromClipboard}) b2->addWidget(b);
        b2->addStretch();
        b2->addWidget(close);
        l->addLayout(b2);
    }
};

// One list per task. The window keeps its own instance entry under the
// task's number rather than the procedure's name alone: with one entry for
// every task, a list left open for one task took the "&Scripting" of a form
// or wizard of another, which then added its items to the open list's task.
class BrowseScriptingWindow : public LayoutWindow<BrowseScriptingLayout> {
public:
    explicit BrowseScriptingWindow(std::optional<int32_t> task)
        : LayoutWindow("BrowseScripting"), given_(task) {}

protected:
    Schedule& SCH() { return Schedule_File().rec(); }
    Scripting& SCR() { return Scripting_File().rec(); }

    bool Init() override {
        SetCancelControl(ui.close);
        if (given_) SCH().ID = *given_;
        task_ = SCH().ID;
        if (Request() != kSelectRecord) {
            instance_ = "BrowseScripting " + std::to_string(task_);
            if (!RegisterInstance(instance_)) return false;
            registered_ = true;
        }
        if (Scripting_File().Open() != kLevelBenign) {
            Unregister();
            return false;
        }
        opened_ = true;
        if (task_ == 0) Message("Invalid Schedule ID #0", "Internal Error", MessageIcon::Hand);
        if (Trim(SCH().Command.str()).empty()) SCH().Command = "N/A";
        if (Trim(SCH().Description.str()).empty())
            SCH().Description = "Script " + Trim(Format(Value(Today()), "@" + Options().GlobalDateFormat.get()));
        SetTitle("Scripting - " + ClipRight(SCH().Category.str()) + ": " + ClipRight(SCH().Description.str()) +
                 " " + ClipRight(SCH().Command.str()));

        list_ = std::make_unique<BrowseView>(Scripting_File().File(), ui.list, this);
        list_->AddColumn({"Action", "SCR:Action", "@s20", 80});
        list_->AddColumn({"Details", "LOC:Details", "@s80", 300, 'L', [this](const data::ListRow& r) {
                              Scripting item;
                              list_->query().ToRecord(r, &item);
                              return Value(Details(item));
                          }});
        list_->AddColumn({"ID", "SCR:ID", "@n-7", 30, 'R'});
        list_->AddColumn({"Sequence", "SCR:Sequence", "@n-7", 30, 'R'});
        list_->SetColumnVisible(3, false);
        list_->SetColumnVisible(4, false);
        list_->AddSortOrder(ScriptingDef().key("SCR:KeyID"));
        list_->AddRange("SCR:ID", [this] { return Value(task_); });
        list_->SetSortOrder(1);
        // A task numbered 0 owns no items: its list is only shown.
        if (task_ != 0) {
            list_->SetInsertControl(ui.insert);
            list_->SetCopyControl(ui.copy);
            list_->SetChangeControl(ui.change);
            list_->SetDeleteControl(ui.del);
        } else {
            list_->SetViewControl(ui.change);
            for (QPushButton* b : {ui.insert, ui.copy, ui.del, ui.clear}) b->setEnabled(false);
            ui.moves.SetEnabled(false);
            ui.change->setText("&View");
        }
        ui.moves.Attach(list_.get(), [this] { return task_; });
        list_->SetUpdateProcedure(
            [this](int request, std::function<void(int)> done) { ui.moves.EditItem(request, std::move(done)); });
        if (task_ == 0)
            for (QPushButton* b : {ui.templ, ui.import, ui.editText, ui.fromClipboard}) b->setEnabled(false);
        list_->Popup().AddItemMimic("Template", "&Template", ui.templ);
        list_->Popup().AddSeparator();
        list_->Popup().AddItemMimic("EditAsText", "Edit as &Text", ui.editText);
        list_->Popup().AddSeparator();
        list_->Popup().AddItemMimic("Print", "&Print", ui.print);
        list_->Popup().AddSeparator();
        list_->Popup().AddItemMimic("Import", "&Import", ui.import);
        list_->Popup().AddItemMimic("Export", "E&xport", ui.exportScript);
        // Enabled with the button, which is off while the list is empty.
        list_->Popup().AddItemMimic("Copy", "Cop&y", ui.copy);
        if (list_->Init() != 0) return false;
        UpdateMoves();

        xplore_ = std::make_unique<xplore::XploreList>(*list_, "BrowseScripting", "?Browse:1");
        std::vector<xplore::ColumnDef> cols = {
            {"SCR:Action", 80, "Action", "@s27", "Action"},
            {"LOC:Details", 300, "Details", "@s80", "Details"},
            {"SCR:ID", 30, "ID", "@n-7", "ID", 'R'},
            {"SCR:Sequence", 30, "Sequence", "@n-7", "Sequence", 'R'},
        };
        cols[0].sortable = true;
        cols[2].display = cols[3].display = false;
        xplore_->core().Attach(">Header");
        xplore_->core().Init(cols, {{"SCR:ID", {{"SCR:ID", false, ""}, {"SCR:Sequence", false, ""}}}});
        xplore_->core().AddSortOrder(1);
        xplore_->core().SyncOrders(nullptr);
        xplore_->Restore(Options().GlobalDateFormat.get());
        tabs_.Init(ui.window);
        return true;
    }

    void UpdateMoves() {
        const bool rows = task_ != 0 && list_->HasRows();
        ui.moves.SetEnabled(rows);
        ui.print->setEnabled(true);
        ui.clear->setEnabled(rows);
    }

    // Also called when a progress window over the list has gone, which may be
    // after the list itself was closed (its window lingers a moment).
    void Refresh() {
        if (!list_) return;
        list_->ResetFromFile();
        UpdateMoves();
        ui.list->setFocus();
    }

    bool TakeEvent(int e) override {
        if (e == 518) {
            ui.window->showNormal();
            ui.window->raise();
            ui.window->activateWindow();
            Refresh();
            return true;
        }
        return list_ && list_->TakeEvent(e);
    }

    void TakeAccepted(QObject* c) override {
        if (list_->HandleAccepted(c)) {
            UpdateMoves();
            return;
        }
        if (ui.moves.HandleAccepted(c)) return;
        if (HandleScriptItemButtons(c, {ui.clear, ui.import, ui.exportScript, ui.editText}, task_, ui.window,
                                    [this] { Refresh(); }))
            return;
        if (c == ui.print) {
            PrintCurrentScript();
        } else if (c == ui.templ) {
            // The template list in select mode; the picked template's items
            // go to the end of the script.
            QPointer<QWidget> w = ui.window;
            GlobalRequest() = kSelectRecord;
            BrowseScriptTemplates([this, w](int response) {
                if (!w) return;
                if (response != kRequestCompleted || ChosenScriptTemplate() == 0) {
                    Refresh();
                    return;
                }
                CopyScriptTemplateToScriptWindow(ChosenScriptTemplate(), task_, [this, w](int) {
                    if (w) Refresh();
                });
            });
        } else if (c == ui.toClipboard) {
            Clipboard().SetText(ScriptToText());
        } else if (c == ui.fromClipboard) {
            if (ConfirmScriptReplace(task_)) TextToScript(Clipboard().Text());
            Refresh();
        }
    }

    void TakeNewSelection(QObject*) override { UpdateMoves(); }

    void Kill() override {
        if (xplore_) xplore_->Save();
        tabs_.Kill();
        xplore_.reset();
        list_.reset();
        if (opened_) Scripting_File().Close();
        Unregister();
    }

    void Unregister() {
        if (registered_) UnregisterInstance(instance_);
        registered_ = false;
    }

    std::unique_ptr<BrowseView> list_;
    std::unique_ptr<xplore::XploreList> xplore_;
    TabHighlight tabs_;
    std::optional<int32_t> given_;
    int32_t task_ = 0;
    std::string instance_;
    bool opened_ = false, registered_ = false;
};

}  // namespace

void BrowseScripting(std::function<void()> done) {
    (new BrowseScriptingWindow(std::nullopt))->Call([done](int) {
        if (done) done();
    });
}

void BrowseScripting(int32_t task, std::function<void()> done) {
    (new BrowseScriptingWindow(task))->Call([done](int) {
        if (done) done();
    });
}

void ClearAllScriptItems(std::function<void(bool)> done, ScriptOwner owner) {
    if (!AskYesNo("Delete all script items for the current task?", "Clear All", kButtonNo)) {
        if (done) done(false);
        return;
    }
    const bool templ = owner == ScriptOwner::Template;
    ProcessWindowOptions o;
    o.procedureName = templ ? "DeleteScriptTemplateDetails" : "DeleteScript";
    o.userText = "Deleting Script";
    RunProcessWindow(templ ? MakeDeleteScriptTemplateDetails(ScriptTemplates_File().rec().Wiz_ID)
                           : MakeDeleteScript(Schedule_File().rec().ID),
                     o, [done](int response) {
                         if (done) done(response == kRequestCompleted);
                     });
}

bool HandleScriptItemButtons(QObject* control, const ScriptItemButtons& buttons, int32_t taskID, QWidget* window,
                             std::function<void()> refresh) {
    if (!control) return false;
    if (control != buttons.clear && control != buttons.import && control != buttons.exportScript &&
        control != buttons.editText)
        return false;
    QPointer<QWidget> w = window;
    auto after = [w, refresh](auto) {
        if (w && refresh) refresh();
    };
    if (control == buttons.clear) {
        ClearAllScriptItems(after);
    } else if (control == buttons.import) {
        ImportScriptWindow(taskID, after);
    } else if (control == buttons.exportScript) {
        ExportScriptWindow(taskID, after);
    } else {
        GlobalRequest() = kChangeRecord;
        ScriptEditAsText(after);
    }
    return true;
}

void CopyScriptTemplateToScriptWindow(int32_t wizID, int32_t taskID, std::function<void(int added)> done) {
    if (wizID == 0 || taskID == 0 || ScriptTemplateDetails_File().Open() != data::kLevelBenign) {
        if (done) done(0);
        return;
    }
    const std::vector<ScriptTemplateDetails> templateItems = ReadTemplateItems(wizID);
    ScriptTemplateDetails_File().Close();
    // Every answer first, while nothing holds the data file; then the adding
    // in batches under the progress window.
    std::vector<Scripting> items =
        ExpandTemplateItems(templateItems, taskID, TemplateAnswers::Global(), InstalledTemplateAsker());
    std::shared_ptr<RecordProcess> p = MakeAppendScriptItems(taskID, std::move(items));
    ProcessWindowOptions o;
    o.procedureName = "CopyScriptTemplateToScript";
    o.userText = "Importing Template";
    RunProcessWindow(p, o, [p, done](int) {
        if (done) done(p->done() - static_cast<int>(p->errors().size()));
    });
}

std::shared_ptr<ReportJob> MakeScriptReport(int32_t taskID, const std::string& description) {
    using namespace report;
    auto item = std::make_shared<Scripting>();
    auto next = std::make_shared<int32_t>(0);
    auto l = std::make_shared<ReportLayout>();
    l->title = "Script";
    l->pageHeader = Band(800, {WithFont(Text(0, 0, 7500, 300, "Script"), Bold(14)),
                               Text(0, 320, 7500, 200, description.substr(0, std::min<size_t>(description.size(), 40))),
                               Text(0, 580, 2000, 180, "Action"), Text(2100, 580, 5400, 180, "Details"),
                               Line(0, 780, 7500, 780)});
    l->detail = Band(220, {Field(0, 0, 2000, 180, [item] { return Value(item->Action.str()); }, "@s27"),
                           Field(2100, 0, 5400, 180, [item] { return Value(Details(*item)); }, "@s80")});
    l->pageFooter = Band(300, {PageNumber(6000, 50, 1500, 200)});
    auto job = std::make_shared<ReportJob>();
    job->procedureName = "PrintCurrentScript";
    job->layout = l;
    job->total = static_cast<int>(ScriptItemNumbers(taskID).size());
    job->read = [taskID, item, next] {
        // Each item is found by key from the one after the last printed, so
        // no cursor lives across the batches of the run.
        ScriptingFileManager& f = Scripting_File();
        const Scripting saved = f.rec();
        f.rec() = Scripting();
        f.rec().ID = taskID;
        f.rec().Sequence = *next;
        bool found = f.SetPosition(ScriptingDef().key("SCR:KeyID")) == kLevelBenign && f.TryNext() == kLevelBenign &&
                     f.rec().ID == taskID;
        if (found) *item = f.rec();
        f.rec() = saved;
        if (!found) return RecordStep::End();
        *next = item->Sequence + 1;
        return RecordStep::Done();
    };
    return job;
}

void PrintCurrentScript(std::function<void(int)> done) {
    const Schedule& task = Schedule_File().rec();
    RunReport(MakeScriptReport(task.ID, ClipRight(task.Description.str())), std::move(done));
}

void RegisterScriptWindows() {
    tasks::SetScriptListOpener(
        [](int32_t task, std::function<void()> done) { BrowseScripting(task, std::move(done)); });
    InstallTemplateAskWindows();
    InstallScriptProcessWindow();
    RegisterProcedure("BrowseScriptTemplates", [] { BrowseScriptTemplates(); });
    RegisterProcedure("Wizard:Script", [] { Wizard_Script(); });
    tasks::SetScriptWizardOpener([](int request, std::function<void(int)> done) {
        GlobalRequest() = request;
        Wizard_Script(std::move(done));
    });
    tasks::SetScriptTextOpener([](std::function<void()> done) {
        ScriptEditAsText([done](int) {
            if (done) done();
        });
    });
}

}  // namespace kr::scriptedit
