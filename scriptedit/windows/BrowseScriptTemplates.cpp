// "Script Templates": the list of script templates (data file "KRTpl") and
// their form (description, file name and the template's items).
#include <QGridLayout>
#include <QGroupBox>
#include <QPointer>
#include <algorithm>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "platform/data/Table.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/BrowseView.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "platform/ui/TabHighlight.h"
#include "platform/ui/WindowManager.h"
#include "platform/ui/report/Report.h"
#include "scriptedit/ScriptItems.h"
#include "scriptedit/ScriptSequencer.h"
#include "scriptedit/windows/ScriptItemMoves.h"
#include "scriptedit/ScriptTemplates.h"
#include "scriptedit/windows/ScriptWindows.h"
#include "xplore/windows/XploreList.h"

namespace kr::scriptedit {

namespace {

using data::kLevelBenign;

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

int& WizardMode() {
    static int mode = 0;
    return mode;
}

// The template picked in select mode (0: none).
int32_t& ChosenTemplate() {
    static int32_t id = 0;
    return id;
}

// The template form: description (60, unique), file name (255) and the
// template's items, edited with the item form and kept in order with the
// sequencer, as a task's script list does. A new template is stored as soon
// as its first item needs its ID; a cancelled insert removes it again with
// its items.
struct UpdateScriptTemplateLayout {
    QWidget* window = nullptr;
    QLineEdit* description = nullptr;
    QLineEdit* file = nullptr;
    QTableView* items = nullptr;
    QPushButton *insert = nullptr, *copy = nullptr, *change = nullptr, *del = nullptr, *clear = nullptr;
    ScriptItemMoves moves{ScriptOwner::Template};
    QPushButton *ok = nullptr, *cancel = nullptr;

    void Build() {
        window = new QWidget(nullptr, Qt::Window);
        window->resize(640, 420);
        auto* l = new QVBoxLayout(window);
        auto* g = new QGridLayout;
        auto* dl = new QLabel("&Description:", window);
        description = new QLineEdit(window);
        description->setMaxLength(60);
        dl->setBuddy(description);
        g->addWidget(dl, 0, 0);
        g->addWidget(description, 0, 1);
        auto* fl = new QLabel("&File name:", window);
        file = new QLineEdit(window);
        file->setMaxLength(255);
        fl->setBuddy(file);
        g->addWidget(fl, 1, 0);
        g->addWidget(file, 1, 1);
        l->addLayout(g);
        auto* box = new QGroupBox("Script items", window);
        auto* bl = new QVBoxLayout(box);
        auto* row = new QHBoxLayout;
        items = new QTableView(box);
        row->addWidget(items, 1);
        row->addLayout(moves.Build(box));
        bl->addLayout(row);
        auto* itemRow = new QHBoxLayout;
        insert = ScriptListButton(box, "&New", "Add a script item");
        copy = ScriptListButton(box, "Cop&y", "Copy the highlighted script item");
        change = ScriptListButton(box, "&Edit", "Edit the highlighted script item");
        del = ScriptListButton(box, "De&lete", "Delete the highlighted script item");
        clear = ScriptListButton(box, "Clear", "Clear all script items");
        for (QPushButton* b : {insert, copy, change, del, clear}) itemRow->addWidget(b);
        itemRow->addStretch();
        bl->addLayout(itemRow);
        l->addWidget(box, 1);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        ok = new QPushButton("&OK", window);
        ok->setDefault(true);
        cancel = new QPushButton("Cancel", window);
        buttons->addWidget(ok);
        buttons->addWidget(cancel);
        l->addLayout(buttons);
    }
};

class UpdateScriptTemplateWindow : public WindowManager {
public:
    UpdateScriptTemplateWindow() : WindowManager("UpdateScriptTemplates") {}

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        request_ = Request();
        const char* titles[] = {"", "New Script Template", "Edit Script Template", "Delete Script Template"};
        SetTitle(request_ >= 1 && request_ <= 3 ? titles[request_] : ViewTitle("Edit Script Template"));
        if (request_ == kInsertRecord) {
            const ScriptTemplates copy = F().rec();
            F().rec() = ScriptTemplates();
            F().rec().Description = copy.Description;
            F().rec().DOSFilename = copy.DOSFilename;
        }
        wiz_ = F().rec().Wiz_ID;
        ui.description->setText(Q(F().rec().Description.str()));
        ui.file->setText(Q(F().rec().DOSFilename.str()));
        const bool readOnly = request_ == kDeleteRecord || request_ == kViewRecord;
        if (readOnly)
            for (QLineEdit* e : {ui.description, ui.file}) e->setReadOnly(true);

        items_ = std::make_unique<BrowseView>(ScriptTemplateDetails_File().File(), ui.items, this);
        items_->AddColumn({"Action", "KRD:Action", "@s20", 80});
        items_->AddColumn({"Details", "LOC:Details", "@s80", 300, 'L', [this](const data::ListRow& r) {
                               ScriptTemplateDetails d;
                               items_->query().ToRecord(r, &d);
                               const std::string text = DescribeScriptItem(ScriptItemOfTemplate(d));
                               return Value(text.substr(0, std::min<size_t>(text.size(), 80)));
                           }});
        items_->AddSortOrder(ScriptTemplateDetailsDef().key("KRD:K_Wiz_ID"));
        items_->AddRange("KRD:Wiz_ID", [this] { return Value(wiz_); });
        items_->SetSortOrder(1);
        if (readOnly) {
            for (QPushButton* b : {ui.insert, ui.copy, ui.change, ui.del, ui.clear}) b->setEnabled(false);
            ui.moves.SetEnabled(false);
        } else {
            items_->SetInsertControl(ui.insert);
            items_->SetCopyControl(ui.copy);
            items_->SetChangeControl(ui.change);
            items_->SetDeleteControl(ui.del);
        }
        ui.moves.Attach(items_.get(), [this] { return wiz_; });
        items_->SetUpdateProcedure([this](int request, std::function<void(int)> done) {
            if (!StoreForItems()) {
                done(kRequestCancelled);
                return;
            }
            ui.moves.EditItem(request, [this, done](int response) {
                done(response);
                UpdateMoves();
            });
        });
        if (items_->Init() != 0) return false;
        UpdateMoves();
        return true;
    }

    // A new template gets its ID (it is stored) before its first item.
    bool StoreForItems() {
        if (wiz_ != 0) return true;
        if (!DescriptionGiven()) return false;
        F().rec().Description = S(ui.description->text());
        F().rec().DOSFilename = S(ui.file->text());
        if (F().Insert() != kLevelBenign) return false;
        wiz_ = F().rec().Wiz_ID;
        storedHere_ = true;
        return true;
    }

    bool DescriptionGiven() {
        if (!Trim(S(ui.description->text())).empty()) return true;
        Message("Description must be entered.", "Missing Information", MessageIcon::Exclamation);
        ui.description->setFocus();
        return false;
    }

    void UpdateMoves() {
        const bool on = request_ != kDeleteRecord && request_ != kViewRecord && items_->HasRows();
        ui.moves.SetEnabled(on);
        ui.clear->setEnabled(on);
    }

    void TakeAccepted(QObject* c) override {
        if (items_->HandleAccepted(c)) {
            UpdateMoves();
            return;
        }
        if (ui.moves.HandleAccepted(c)) return;
        if (c == ui.clear) {
            QPointer<QWidget> w = ui.window;
            ClearAllScriptItems(
                [this, w](bool) {
                    if (!w || !items_) return;
                    items_->ResetFromFile();
                    UpdateMoves();
                },
                ScriptOwner::Template);
        }
    }

    void TakeNewSelection(QObject*) override { UpdateMoves(); }
    bool TakeEvent(int e) override { return items_ && items_->TakeEvent(e); }

    bool TakeCompleted() override {
        TableFileManager<ScriptTemplates>& f = F();
        if (request_ == kViewRecord) return true;
        if (request_ == kDeleteRecord) {
            if (int e = DeleteScriptTemplateDetails(f.rec().Wiz_ID)) {
                Message("Delete Operation Error: " + ErrorText(e), "Error");
                return false;
            }
            return f.Delete() == kLevelBenign;
        }
        if (!DescriptionGiven()) return false;
        if (wiz_ != 0) {
            // Item edits may have moved the buffer: the template is read again.
            f.rec() = ScriptTemplates();
            f.rec().Wiz_ID = wiz_;
            if (f.TryFetch(ScriptTemplatesDef().key("KRT:K_Wiz_ID")) != kLevelBenign) return false;
        }
        f.rec().Description = S(ui.description->text());
        f.rec().DOSFilename = S(ui.file->text());
        const int level = wiz_ == 0 ? f.Insert() : f.Update();
        return level == kLevelBenign;
    }

    void Kill() override {
        items_.reset();
        // A new template stored for its items goes again, with them, unless
        // the form was completed.
        if (storedHere_ && Response() != kRequestCompleted) {
            // Items that could not be removed keep their template, so the
            // list still shows them and they can be deleted later.
            if (int e = DeleteScriptTemplateDetails(wiz_)) {
                Message("Delete Operation Error: " + ErrorText(e), "Error");
                return;
            }
            TableFileManager<ScriptTemplates>& f = F();
            f.rec() = ScriptTemplates();
            f.rec().Wiz_ID = wiz_;
            if (f.TryFetch(ScriptTemplatesDef().key("KRT:K_Wiz_ID")) == kLevelBenign) f.File().Delete();
        }
    }

private:
    static TableFileManager<ScriptTemplates>& F() { return ScriptTemplates_File(); }
    UpdateScriptTemplateLayout ui;
    std::unique_ptr<BrowseView> items_;
    int32_t wiz_ = 0;
    bool storedHere_ = false;
    int request_ = 0;
};

class BrowseScriptTemplatesWindow : public WindowManager {
public:
    BrowseScriptTemplatesWindow() : WindowManager("BrowseScriptTemplates") { SetSingleInstance(true); }

protected:
    QWidget* MakeWindow() override {
        w_ = new QWidget(nullptr, Qt::Window);
        w_->setWindowTitle("Script Templates");
        w_->resize(520, 400);
        auto* l = new QVBoxLayout(w_);
        // One tab, for the one order (by description).
        sheet_ = new QTabWidget(w_);
        sheet_->addTab(new QWidget, "Description");
        sheet_->setDocumentMode(true);
        sheet_->setMaximumHeight(sheet_->tabBar()->sizeHint().height() + 2);
        l->addWidget(sheet_);
        list_ = new QTableView(w_);
        l->addWidget(list_, 1);
        auto* row = new QHBoxLayout;
        insert_ = new QPushButton("&New", w_);
        copy_ = new QPushButton("Cop&y", w_);
        change_ = new QPushButton("&Edit", w_);
        del_ = new QPushButton("&Delete", w_);
        print_ = new QPushButton("&Print", w_);
        print_->setToolTip("Print information");
        close_ = new QPushButton("Cl&ose", w_);
        select_ = new QPushButton("&Select", w_);
        for (QPushButton* b : {select_, insert_, copy_, change_, del_, print_}) {
            b->setAutoDefault(false);
            row->addWidget(b);
        }
        row->addStretch();
        row->addWidget(close_);
        l->addLayout(row);
        return w_;
    }

    bool Init() override {
        ChosenTemplate() = 0;
        SetCancelControl(close_);
        if (ScriptTemplates_File().Open() != kLevelBenign) return false;
        if (ScriptTemplateDetails_File().Open() != kLevelBenign) {
            ScriptTemplates_File().Close();
            return false;
        }
        // The list fetches the highlighted template straight from the table
        // (Select, Edit, Print), and the form its items: both open now, not
        // on their first use.
        if (ScriptTemplates_File().UseFile() != kLevelBenign || ScriptTemplateDetails_File().UseFile() != kLevelBenign) {
            ScriptTemplateDetails_File().Close();
            ScriptTemplates_File().Close();
            return false;
        }
        opened_ = true;
        WizardMode() = 1;
        browse_ = std::make_unique<BrowseView>(ScriptTemplates_File().File(), list_, this);
        browse_->AddColumn({"Description", "KRT:Description", "@s60", 240});
        browse_->AddColumn({"ID", "KRT:Wiz_ID", "@n-7", 30, 'R'});
        browse_->AddColumn({"File name", "KRT:DOSFilename", "@s255", 200});
        browse_->AddSortOrder(ScriptTemplatesDef().key("KRT:K_Description"));
        browse_->SetSortOrder(1);
        browse_->SetInsertControl(insert_);
        browse_->SetCopyControl(copy_);
        browse_->SetChangeControl(change_);
        browse_->SetDeleteControl(del_);
        browse_->SetSelectControl(select_);
        browse_->SetUpdateProcedure([](int request, std::function<void(int)> done) {
            GlobalRequest() = request;
            (new UpdateScriptTemplateWindow)->Call(std::move(done));
        });
        // Copy, in the button row and the popup, only while there are rows.
        browse_->Popup().AddItemMimic("Copy", "Cop&y", copy_);
        browse_->Popup().AddItemMimic("Print", "&Print", print_);
        if (browse_->Init() != 0) return false;
        xplore_ = std::make_unique<xplore::XploreList>(*browse_, "BrowseScriptTemplates", "?Browse:1");
        xplore_->core().Attach(">Header");
        // The number and the file name are offered, not shown.
        std::vector<xplore::ColumnDef> cols = {
            {"KRT:Description", 240, "Description", "@s60", "Description"},
            {"KRT:Wiz_ID", 30, "ID", "@n-7", "ID", 'R'},
            {"KRT:DOSFilename", 200, "File name", "@s255", "File name"},
        };
        cols[1].display = cols[2].display = false;
        xplore_->core().Init(cols, {{"KRT:Description", {{"KRT:Description", false, ""}}}});
        xplore_->core().AddSortOrder(1);
        xplore_->core().SyncOrders(nullptr);
        xplore_->Restore(Options().GlobalDateFormat.get());
        tabs_.Init(w_);
        return true;
    }

    void TakeAccepted(QObject* c) override {
        if (c == select_) {
            // The pick is kept before the list closes its files.
            if (browse_->HasRows() && browse_->UpdateViewRecord()) ChosenTemplate() = ScriptTemplates_File().rec().Wiz_ID;
        }
        if (browse_->HandleAccepted(c)) return;
        if (c == print_ && browse_->HasRows() && browse_->UpdateViewRecord()) {
            const ScriptTemplates t = ScriptTemplates_File().rec();
            PrintScriptTemplate(t.Wiz_ID, t.Description.str());
            browse_->ResetFromFile();
        }
    }

    bool TakeEvent(int e) override { return browse_ && browse_->TakeEvent(e); }

    void Kill() override {
        tabs_.Kill();
        if (xplore_) xplore_->Save();
        xplore_.reset();
        browse_.reset();
        WizardMode() = 0;
        if (opened_) {
            ScriptTemplateDetails_File().Close();
            ScriptTemplates_File().Close();
        }
    }

private:
    QWidget* w_ = nullptr;
    QTabWidget* sheet_ = nullptr;
    QTableView* list_ = nullptr;
    TabHighlight tabs_;
    QPushButton *select_ = nullptr, *insert_ = nullptr, *copy_ = nullptr, *change_ = nullptr, *del_ = nullptr, *print_ = nullptr,
                *close_ = nullptr;
    std::unique_ptr<BrowseView> browse_;
    std::unique_ptr<xplore::XploreList> xplore_;
    bool opened_ = false;
};

}  // namespace

std::shared_ptr<ReportJob> MakeScriptTemplateReport(int32_t wizID, const std::string& description) {
    using namespace report;
    auto items = std::make_shared<std::vector<ScriptTemplateDetails>>(ReadTemplateItems(wizID));
    auto item = std::make_shared<Scripting>();
    auto next = std::make_shared<std::size_t>(0);
    auto l = std::make_shared<ReportLayout>();
    l->title = "Script";
    l->pageHeader = Band(800, {WithFont(Text(0, 0, 7500, 300, "Script"), Bold(14)),
                               Text(0, 320, 7500, 200, description.substr(0, std::min<size_t>(description.size(), 60))),
                               Text(0, 580, 2000, 180, "Action"), Text(2100, 580, 5400, 180, "Details"),
                               Line(0, 780, 7500, 780)});
    l->detail = Band(220, {Field(0, 0, 2000, 180, [item] { return Value(item->Action.str()); }, "@s27"),
                           Field(2100, 0, 5400, 180, [item] { return Value(DescribeScriptItem(*item).substr(0, 80)); },
                                 "@s80")});
    l->pageFooter = Band(300, {PageNumber(6000, 50, 1500, 200)});
    auto job = std::make_shared<ReportJob>();
    job->procedureName = "PrintCurrentScriptTemplateDetails";
    job->layout = l;
    job->total = static_cast<int>(items->size());
    job->read = [items, item, next] {
        if (*next >= items->size()) return RecordStep::End();
        *item = ScriptItemOfTemplate((*items)[(*next)++]);
        return RecordStep::Done();
    };
    return job;
}

void PrintScriptTemplate(int32_t wizID, const std::string& description, std::function<void(int)> done) {
    RunReport(MakeScriptTemplateReport(wizID, ClipRight(description)), std::move(done));
}

int GlobalScriptWizardMode() { return WizardMode(); }

int32_t ChosenScriptTemplate() { return ChosenTemplate(); }

void BrowseScriptTemplates(std::function<void(int)> done) {
    // Started by the frame on a thread of its own it is that thread's window.
    auto* w = new BrowseScriptTemplatesWindow;
    if (done || TopWindowOf(CurrentProcedureThread()))
        w->Call(std::move(done));
    else
        w->Open();
}

}  // namespace kr::scriptedit
