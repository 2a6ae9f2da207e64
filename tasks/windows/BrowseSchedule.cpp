// BrowseSchedule: "Scheduled Tasks", the main list of tasks in four tabs (a
// day, all by date, one category, the query's selection), the door to the
// task form, the script list, execution and the query wizard. The row rules
// are in tasks/ScheduleRows.h.
#include <QAbstractItemModel>
#include <QLabel>
#include <QPointer>
#include <QTabWidget>
#include <memory>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/Settings.h"
#include "dictionary/windows/fPasswordValidation.h"
#include "platform/data/Errors.h"
#include "platform/data/ListQuery.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Expression.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/runtime/QueryWizardCore.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/BrowseView.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/QueryWizard.h"
#include "platform/ui/Requests.h"
#include "platform/ui/TabHighlight.h"
#include "platform/ui/WindowManager.h"
#include "scheduler/ScheduleDefaults.h"
#include "scheduler/TaskMessage.h"
#include "scheduler/windows/Main.h"
#include "tasks/ScheduleRows.h"
#include "tasks/TaskReservation.h"
#include "tasks/windows/ListWindowParts.h"
#include "tasks/windows/TaskWindows.h"
#include "xplore/windows/XploreList.h"

namespace kr::tasks {

namespace {

using data::kLevelBenign;

enum Tab { kTabDay = 0, kTabAllByDate = 1, kTabCategory = 2, kTabSelected = 3 };
// Sort orders of the list, by tab.
enum Order { kOrderAllByDate = 1, kOrderCategory = 2, kOrderSelected = 3, kOrderDay = 4 };

struct BrowseScheduleLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QTableView* list = nullptr;
    QPushButton *insert = nullptr, *copy = nullptr, *change = nullptr, *del = nullptr;
    QPushButton *special = nullptr, *quick = nullptr, *execute = nullptr;
    QPushButton *selectDay = nullptr, *selectDay2 = nullptr, *category = nullptr, *query = nullptr,
                *reset = nullptr;
    QPushButton *scripting = nullptr, *editText = nullptr, *activeOnly = nullptr, *showAll = nullptr,
                *close = nullptr;

    static QWidget* TabPage(std::initializer_list<QPushButton*> buttons) {
        auto* page = new QWidget;
        page->setLayout(ButtonRow(buttons));
        return page;
    }
    void Build() {
        window = new QWidget;
        window->setWindowTitle("Scheduled Tasks");
        window->setWindowIcon(IconByName("timedate.ico"));
        window->resize(900, 480);
        auto* v = new QVBoxLayout(window);
        sheet = new QTabWidget(window);
        sheet->setObjectName("sheet");
        selectDay = MakeButton(window, "&Select Day", "selectDay", "PICK.ICO");
        selectDay->setToolTip("Select a day for which to view tasks");
        selectDay2 = MakeButton(window, "&Select Day", "selectDay2", "PICK.ICO");
        selectDay2->setToolTip("Select a day for which to view tasks");
        category = MakeButton(window, "Cate&gory", "category");
        category->setToolTip("Select a category for which to view tasks");
        query = MakeButton(window, "&Query", "query", "sqbe_hlp.ico");
        reset = MakeButton(window, "Reset", "reset", "SQBE_GO.ICO");
        sheet->addTab(TabPage({selectDay}), "Day Schedule");
        sheet->addTab(TabPage({selectDay2}), "All by Date");
        sheet->addTab(TabPage({category}), "All in Category");
        sheet->addTab(TabPage({query, reset}), "Selected");
        v->addWidget(sheet);
        list = MakeList(window, "list", "Browsing Schedule");
        v->addWidget(list, 1);
        insert = MakeButton(window, "&New", "insert", "INSERT.ICO");
        insert->setToolTip("Add a new task (tabbed)");
        copy = MakeButton(window, "Cop&y", "copy");
        copy->setToolTip("Copy the highlighted task to a new task");
        change = MakeButton(window, "&Edit", "change", "OPEN.ICO");
        change->setToolTip("Edit the highlighted task");
        del = MakeButton(window, "&Delete", "delete", "CUT.ICO");
        del->setToolTip("Delete the highlighted task");
        special = MakeButton(window, "S&pecial", "special", "resched.ico");
        special->setToolTip("Special Event Wizard - ideal for holidays, and temporary changes");
        quick = MakeButton(window, "&Quick", "quick", "quickst.ico");
        quick->setToolTip("Quick Start - Make a copy (of the current task) that will start shortly.");
        execute = MakeButton(window, "E&xecute/Test", "execute", "NOW.ICO");
        execute->setToolTip("Execute (run) the highlighted task");
        v->addLayout(ButtonRow({insert, copy, change, del, special, quick, execute}));
        scripting = MakeButton(window, "&Scripting", "scripting", "TORNTASK.ICO");
        scripting->setToolTip("Send keystrokes, DDE commands, etc.");
        editText = MakeButton(window, "Edit Script as Text", "editText");
        activeOnly = MakeButton(window, "Show Active Only", "activeOnly", "green16.ico");
        showAll = MakeButton(window, "Show All", "showAll", "done.ico");
        close = MakeButton(window, "Cl&ose", "close", "EXIT.ICO");
        close->setToolTip("Close this window");
        auto* row = ButtonRow({scripting, editText, activeOnly, showAll});
        row->addWidget(close);
        v->addLayout(row);
    }
};

class BrowseScheduleWindow : public WindowManager {
public:
    BrowseScheduleWindow() : WindowManager("BrowseSchedule") {
        SetSingleInstance(true);
        SetSavePosition(true, true);
    }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }

    Schedule& SCH() { return Schedule_File().rec(); }

    bool Init() override {
        SetCancelControl(ui.close);
        GlobalRequest() = 0;
        BrowseScheduleThreads().Add(Thread());
        inThreads_ = true;
        const int32_t today = Today();
        day_->Start(today);
        DefaultTaskDate() = std::to_string(today);
        activeOnly_ = Options().GlobalActiveOnly.load() != 0;

        int error = 0;
        fields_ = {};
        TC_ADDFIELDSQUEUEDATA(ScheduleQueryFields(), fields_, error);
        if (error) {
            queryError_ = error;
            Message("An error has prevented the Query Wizard from initializing.",
                    "Query Wizard Error# " + std::to_string(error), MessageIcon::Exclamation);
        }
        TC_INITFIELDSQUEUE(kScheduleQueryLabel, fields_);

        if (Categories_File().Open() != kLevelBenign) return false;
        catOpen_ = true;
        if (Schedule_File().Open() != kLevelBenign) {
            LogEvent("File not open error", "Schedule");
            return false;
        }
        schOpen_ = true;
        if (Schedule_File().UseFile() || Categories_File().UseFile()) return false;

        std::shared_ptr<SelectedDayFollower> day = day_;
        CurrentBindings().Bind("SelectedDay", [day] { return Value(day->selectedDay); });

        const std::string dateFormat = Trim(Options().GlobalDateFormat.get());
        datePicture_ = data::ApplyDatePicture("@d3", dateFormat);
        list_ = std::make_unique<BrowseView>(Schedule_File().File(), ui.list, this);
        list_->AddColumn({"", "Checkmark", "@s1", 12, 'L', [](const data::ListRow&) { return Value(""); }});
        list_->AddColumn({"", "PrgIcon", "@s1", 12, 'L', [](const data::ListRow&) { return Value(""); }});
        list_->AddColumn({"Date", "SCH:Date", datePicture_, 47});
        list_->AddColumn({"Time", "SCH:Time", "@t3", 32, 'R'});
        list_->AddColumn({"Category", "SCH:Category", "@s20", 57});
        list_->AddColumn({"Description", "SCH:Description", "@s40", 135});
        list_->AddColumn({"Schedule Type", "LOC:ScheduleType", "@s80", 101, 'L', [this](const data::ListRow& r) {
                              Schedule s;
                              list_->query().ToRecord(r, &s);
                              return Value(DescribeSchedule(s));
                          }});
        list_->AddColumn({"Last Run", "SCH:LastRunDate", data::ApplyDatePicture("@d17b", dateFormat), 47});
        list_->AddColumn({"Last Time", "SCH:LastRunTime", "@t7b", 32, 'R'});
        list_->AddColumn({"Skipped", "SCH:Skipped", "@n3", 20});
        list_->AddColumn({"ID", "SCH:ID", "@n13", 40, 'R'});
        list_->SetColumnVisible(10, false);
        list_->SetColumnVisible(11, false);
        list_->SetIconList(ScheduleIconNames());
        list_->SetCellLook([this](const data::ListRow& r, int column, CellLook& look) {
            if (column > 3) return;
            Schedule s;
            list_->query().ToRecord(r, &s);
            if (column == 1) look.icon = ScheduleStateIcon(s);
            else if (column == 2) look.icon = ScheduleTypeIcon(s.TaskType.str());
            else {
                const DateColours c = ScheduleDateColours(s);
                look.normalFg = c.normalFg;
                look.selectedFg = c.selectedFg;
            }
        });
        list_->AddSortOrder(ScheduleDef().key("SCH:KeyDate"));  // all by date
        list_->AddLocator("SCH:Date");
        list_->AddSortOrder(ScheduleDef().key("SCH:KeyCategory"));  // one category
        list_->AddRange("SCH:Category", [] { return Value(Categories_File().rec().Category.str()); });
        list_->AddLocator("SCH:Description");
        list_->AddSortOrder(ScheduleDef().key("SCH:KeyDate"));  // the query's selection
        list_->AddLocator("SCH:Date");
        list_->AddSortOrder(ScheduleDef().key("SCH:KeyDate"));  // one day
        list_->AddLocator("SCH:Date");
        list_->SetFilter("(SCH:Date=SelectedDay)", "1 Day");
        list_->AddChild({&ScriptingDef(), "SCR:ID", "SCH:ID"});
        SetNamedFilters();
        list_->SetSortOrder(kOrderDay);
        list_->SetInsertControl(ui.insert);
        list_->SetChangeControl(ui.change);
        list_->SetDeleteControl(ui.del);
        list_->SetCopyControl(ui.copy);
        list_->SetUpdateProcedure([](int, std::function<void(int)> done) { UpdateSchedule(std::move(done)); });
        PopupMenu& p = list_->Popup();
        p.AddItemMimic("Special", "S&pecial", ui.special);
        p.AddItemMimic("Execute", "E&xecute/Test", ui.execute);
        p.AddItemMimic("Quick", "&Quick", ui.quick);
        p.AddSeparator();
        p.AddItemMimic("Scripting", "&Scripting", ui.scripting);
        p.AddItemMimic("EditText", "Edit Script as Text", ui.editText);
        p.AddSeparator();
        p.AddItemMimic("ActiveOnly", "Show Active Only", ui.activeOnly);
        p.AddItemMimic("ShowAll", "Show All", ui.showAll);
        p.AddSeparator();
        p.AddItemMimic("Query", "&Query", ui.query);
        p.AddItemMimic("Reset", "Reset", ui.reset);
        p.AddSeparator();
        p.AddItemMimic("Copy", "Cop&y", ui.copy);

        if (Options().FullSchedule.load()) ui.sheet->setCurrentIndex(kTabAllByDate);
        list_->SetSortOrder(OrderOfTab(ui.sheet->currentIndex()));
        if (list_->Init() != 0) return false;
        if (ui.sheet->currentIndex() == kTabAllByDate) PositionAtToday();
        ui.sheet->setTabText(kTabDay, QString::fromStdString(FormatUserDate(day_->selectedDay)));
        if (Options().MultiUser.load() && !Trim(Options().UserID.get()).empty())
            SetTitle("View Schedule - " + Trim(Options().UserID.get()));
        connect(ui.list->model(), &QAbstractItemModel::modelReset, this, [this] { UpdateActions(); });

        xplore_ = std::make_unique<xplore::XploreList>(*list_, "BrowseSchedule", "?Browse:1");
        xplore_->core().Attach(">Header");
        xplore_->core().Init(XploreColumns(), XploreOrders());
        xplore_->core().AddSortOrder(1);
        xplore_->core().SyncOrders(nullptr);
        xplore_->Restore(Options().GlobalDateFormat.get());
        tabs_.Init(ui.window);

        // The script text editor is not part of this program yet.
        ui.editText->setEnabled(false);
        // The special event wizard and quick start come with their own windows.
        special_ = false;
        quick_ = false;
        ui.query->setEnabled(queryError_ == 0);
        SetTimer(100);
        UpdateActions();
        return true;
    }

    static std::vector<xplore::ColumnDef> XploreColumns() {
        std::vector<xplore::ColumnDef> c = {
            {"Checkmark", 12, "", "@s1", ""},
            {"PrgIcon", 12, "", "@s1", ""},
            {"SCH:Date", 47, "Date", "@d3", "Basic - Next Date to Perform Task"},
            {"SCH:Time", 32, "Time", "@t3", "Basic - Next Time to Perform Task", 'R'},
            {"SCH:Category", 57, "Category", "@s20", "Basic - Task Category"},
            {"SCH:Description", 135, "Description", "@s40", "Basic - Task Description/Title"},
            {"LOC:ScheduleType", 101, "Schedule Type", "@s80", "Schedule Type"},
            {"SCH:LastRunDate", 47, "Last Run", "@d17b", "Basic - Last performed on this date"},
            {"SCH:LastRunTime", 32, "Last Time", "@t7b", "Basic - Last performed at this time", 'R'},
            {"SCH:Skipped", 20, "Skipped", "@n3", "Status - Task skipped (True/False)"},
            {"SCH:ID", 40, "ID", "@n13", "Unique internal system ID", 'R'},
        };
        c[0].icon = c[1].icon = true;
        c[0].colors = c[1].colors = c[2].colors = true;
        c[9].display = c[10].display = false;
        for (int i : {2, 3, 4, 5, 7, 8, 10}) c[static_cast<std::size_t>(i)].sortable = true;
        return c;
    }
    static std::vector<xplore::OrderDef> XploreOrders() {
        return {{"SCH:Date", {{"SCH:Date", false, ""}, {"SCH:Time", false, ""}}},
                {"SCH:Time", {{"SCH:Time", false, ""}, {"SCH:Date", false, ""}}},
                {"SCH:Category", {{"SCH:Category", false, "S"}, {"SCH:Date", false, ""}}},
                {"SCH:Description", {{"SCH:Description", false, "S"}}},
                {"SCH:LastRunDate", {{"SCH:LastRunDate", false, ""}, {"SCH:LastRunTime", false, ""}}},
                {"SCH:LastRunTime", {{"SCH:LastRunTime", false, ""}}},
                {"SCH:ID", {{"SCH:ID", false, ""}}}};
    }

    static int OrderOfTab(int tab) {
        switch (tab) {
            case kTabAllByDate: return kOrderAllByDate;
            case kTabCategory: return kOrderCategory;
            case kTabSelected: return kOrderSelected;
            default: return kOrderDay;
        }
    }

    // The query narrows every tab; "Show Active Only" leaves out disabled
    // and completed tasks (as conditions the list turns into SQL).
    void SetNamedFilters() {
        const int current = list_->CurrentSortOrder();
        for (int o = 1; o <= list_->SortOrderCount(); ++o) {
            list_->SetSortOrder(o);
            list_->SetFilter(activeOnly_ ? "(SCH:Disabled=0 AND SCH:Completed=0)" : "", "5 Active");
            list_->SetFilter(query_, "6 Query");
        }
        list_->SetSortOrder(current ? current : kOrderDay);
    }

    void Refill() {
        SetNamedFilters();
        list_->ResetFromFile();
        UpdateActions();
    }

    void PositionAtToday() { list_->Locate(Format(Value(Today()), datePicture_)); }

    // Actions on the highlighted task need one; the popup's active-only pair
    // offers the other state.
    void UpdateActions() {
        const bool rows = list_ && list_->HasRows();
        ui.special->setEnabled(rows && special_);
        ui.quick->setEnabled(rows && quick_);
        ui.execute->setEnabled(rows);
        ui.scripting->setEnabled(rows && HasScriptListOpener());
        ui.copy->setEnabled(rows);
        ui.activeOnly->setEnabled(!activeOnly_);
        ui.showAll->setEnabled(activeOnly_);
        ui.reset->setEnabled(!query_.empty());
    }

    void ShowDay(const char* picture) {
        DefaultTaskDate() = std::to_string(day_->selectedDay);
        ui.sheet->setTabText(kTabDay, QString::fromStdString(Format(Value(day_->selectedDay), picture)));
        Refill();
    }

    void TakeTimer() override {
        if (day_->Tick(Today())) ShowDay("@d3");
    }

    bool TakeEvent(int e) override {
        if (e == 518) {
            if (Window()->isMinimized()) Window()->showNormal();
            Window()->raise();
            Window()->activateWindow();
            ui.list->setFocus();
            if (xplore_) xplore_->Show();
            return true;
        }
        const bool taken = list_ && list_->TakeEvent(e);
        if (taken) UpdateActions();
        return taken;
    }

    void TakeAccepted(QObject* c) override {
        if (c == ui.insert) {
            CopySourceID() = 0;
            DefaultTaskDate() = std::to_string(day_->selectedDay);
        } else if (c == ui.copy) {
            // The form opens as an insert primed with the highlighted task and
            // copies its script to the new task.
            if (!list_->HasRows() || !list_->UpdateViewRecord()) return;
            DefaultTaskDate() = std::to_string(day_->selectedDay);
            CopySourceID() = SCH().ID;
            SCH().ID = 0;
            list_->AskRecord(kInsertRecord, true);
            return;
        }
        if (list_->HandleAccepted(c)) {
            UpdateActions();
            return;
        }
        if (c == ui.execute) {
            if (!list_->HasRows() || !list_->UpdateViewRecord()) return;
            ExecuteTaskNow(SCH());
            ui.list->setFocus();
        } else if (c == ui.scripting) {
            ui.list->setFocus();
            if (!list_->HasRows() || !fPasswordValidation() || !list_->UpdateViewRecord()) return;
            if (!TaskTypeHasScript(SCH().TaskType.str())) {
                Message(kNoScriptingMessage, "Error", MessageIcon::Exclamation);
                return;
            }
            GlobalRequest() = kChangeRecord;
            QPointer<QWidget> w = ui.window;
            OpenScriptList([this, w] {
                if (w) Refill();
            });
        } else if (c == ui.selectDay) {
            SCH() = Schedule();
            QPointer<QWidget> w = ui.window;
            Calendar(day_->selectedDay, "", "", [this, w](int32_t chosen) {
                if (!w || chosen == 0) return;
                day_->selectedDay = chosen;
                ShowDay("@d3");
                ui.list->setFocus();
            });
        } else if (c == ui.category) {
            GlobalRequest() = kSelectRecord;
            QPointer<QWidget> w = ui.window;
            SelectCategories([this, w](int) {
                if (!w) return;
                Refill();
                ui.list->setFocus();
            });
        } else if (c == ui.query) {
            QPointer<QWidget> w = ui.window;
            TC_QWIZARD(
                fields_, query_,
                [this, w](const std::string& q) {
                    if (!w || !TCQW_Response()) return;
                    query_ = q;
                    Refill();
                },
                ui.window);
        } else if (c == ui.reset) {
            query_.clear();
            Refill();
        } else if (c == ui.activeOnly || c == ui.showAll) {
            activeOnly_ = c == ui.activeOnly;
            Refill();
            ui.list->setFocus();
        }
    }

    void TakeNewSelection(QObject* c) override {
        if (c != ui.sheet || !list_) return;
        const int tab = ui.sheet->currentIndex();
        list_->SetOrderOverride("");
        if (xplore_) {
            xplore_->core().ClearSort();
            xplore_->Show();
        }
        list_->SetSortOrder(OrderOfTab(tab));
        Refill();
        if (tab == kTabAllByDate && !positioned_) {
            positioned_ = true;
            PositionAtToday();
        }
        tabs_.Refresh();
    }

    void Kill() override {
        if (xplore_) xplore_->Save();
        tabs_.Kill();
        xplore_.reset();
        list_.reset();
        CurrentBindings().Unbind("SelectedDay");
        if (inThreads_) BrowseScheduleThreads().Remove(Thread());
        if (schOpen_) Schedule_File().Close();
        if (catOpen_) Categories_File().Close();
    }

private:
    BrowseScheduleLayout ui;
    std::unique_ptr<BrowseView> list_;
    std::unique_ptr<xplore::XploreList> xplore_;
    TabHighlight tabs_;
    FieldsQueue fields_;
    std::shared_ptr<SelectedDayFollower> day_ = std::make_shared<SelectedDayFollower>();
    std::string query_;
    std::string datePicture_;
    int queryError_ = 0;
    bool activeOnly_ = false, positioned_ = false, special_ = false, quick_ = false;
    bool inThreads_ = false, schOpen_ = false, catOpen_ = false;
};

}  // namespace

void BrowseSchedule() { (new BrowseScheduleWindow)->Open(); }

}  // namespace kr::tasks
