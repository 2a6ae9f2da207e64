// BrowseSchedule and ExploreSchedule: "Scheduled Tasks", the main list of tasks in four tabs (a
// day, all by date, one category, the query's selection), the door to the
// task form, the script list, execution and the query wizard, and "Explore
// Schedule", one list narrowed by status, day and category. The row rules
// are in tasks/ScheduleRows.h.
#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
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
#include "scheduler/TimerCycle.h"
#include "scheduler/windows/Main.h"
#include "scheduler/TableScheduleStore.h"
#include "platform/ui/PopupMenu.h"
#include "tasks/QuickStart.h"
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

// The buttons both schedule lists have.
struct ScheduleButtons {
    QPushButton *insert = nullptr, *copy = nullptr, *change = nullptr, *del = nullptr;
    QPushButton *special = nullptr, *quick = nullptr, *execute = nullptr;
    QPushButton *scripting = nullptr, *editText = nullptr, *activeOnly = nullptr, *showAll = nullptr;
    QPushButton *query = nullptr, *reset = nullptr, *close = nullptr;
    void Build(QWidget* window, const char* executeText) {
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
        execute = MakeButton(window, executeText, "execute", "NOW.ICO");
        execute->setToolTip("Execute (run) the highlighted task");
        scripting = MakeButton(window, "&Scripting", "scripting", "TORNTASK.ICO");
        scripting->setToolTip("Send keystrokes, DDE commands, etc.");
        editText = MakeButton(window, "Edit Script as Text", "editText");
        activeOnly = MakeButton(window, "Show Active Only", "activeOnly", "green16.ico");
        showAll = MakeButton(window, "Show All", "showAll", "done.ico");
        query = MakeButton(window, "&Query", "query", "sqbe_hlp.ico");
        reset = MakeButton(window, "Reset", "reset", "SQBE_GO.ICO");
        close = MakeButton(window, "Cl&ose", "close", "EXIT.ICO");
        close->setToolTip("Close this window");
    }
    QHBoxLayout* TaskRow() const { return ButtonRow({insert, copy, change, del, special, quick, execute}); }
    QHBoxLayout* LastRow() const {
        auto* row = ButtonRow({scripting, editText, activeOnly, showAll});
        row->addWidget(close);
        return row;
    }
};

// What the schedule list and Explore Schedule share: the list's columns and
// looks, the query wizard, the task actions, the refill on a schedule change
// and the midnight follow.
class ScheduleListWindow : public WindowManager {
protected:
    ScheduleListWindow(const char* name, bool explore) : WindowManager(name), name_(name), explore_(explore) {
        SetSingleInstance(true);
        SetSavePosition(true, true);
    }

    Schedule& SCH() { return Schedule_File().rec(); }

    // Applies the window's named filters on the list's orders.
    virtual void SetNamedFilters() = 0;
    // Show Active Only (true) or Show All.
    virtual void ShowActive(bool on) = 0;
    // The timer found a new day; the shown day moved to it when `moved`.
    virtual void NewDay(bool moved) = 0;

    bool OpenCommon() {
        SetCancelControl(b.close);
        GlobalRequest() = 0;
        BrowseScheduleThreads().Add(Thread());
        inThreads_ = true;
        const int32_t today = Today();
        day_->Start(today);
        DefaultTaskDate() = std::to_string(today);

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
        if (Categories_File().UseFile()) return false;
        schOpen_ = Schedule_File().Open() == kLevelBenign;
        if (!schOpen_ || Schedule_File().UseFile()) {
            // Logged, and tried once more; the list opens all the same (empty
            // when the table stays closed).
            LogEvent("File not open error", "Schedule");
            if (!schOpen_) schOpen_ = Schedule_File().Open() == kLevelBenign;
            if (!schOpen_ || Schedule_File().UseFile()) {
                LogEvent("File not open: " + data::LastErrorText(), "Schedule");
                scheduleMissing_ = true;
            }
        }
        std::shared_ptr<SelectedDayFollower> day = day_;
        CurrentBindings().Bind("SelectedDay", [day] { return Value(day->selectedDay); });
        return true;
    }

    void DeclareList() {
        const std::string dateFormat = Trim(Options().GlobalDateFormat.get());
        datePicture_ = data::ApplyDatePicture("@d3", dateFormat);
        list_ = std::make_unique<BrowseView>(Schedule_File().File(), view_, this);
        list_->AddColumn({"", "Checkmark", "@s1", 12, 'L', [](const data::ListRow&) { return Value(""); }});
        list_->AddColumn({"", "PrgIcon", "@s1", 12, 'L', [](const data::ListRow&) { return Value(""); }});
        list_->AddColumn({"Date", "SCH:Date", datePicture_, explore_ ? 45 : 47});
        list_->AddColumn({"Time", "SCH:Time", "@t3", 32, 'R'});
        list_->AddColumn({"Category", "SCH:Category", "@s20", explore_ ? 55 : 57});
        list_->AddColumn({"Description", "SCH:Description", "@s40", explore_ ? 123 : 135});
        list_->AddColumn({"Schedule Type", "LOC:ScheduleType", explore_ ? "@s40" : "@s80", explore_ ? 60 : 101, 'L',
                          [this](const data::ListRow& r) {
                              Schedule s;
                              list_->query().ToRecord(r, &s);
                              return Value(DescribeSchedule(s));
                          }});
        if (!explore_) {
            list_->AddColumn({"Last Run", "SCH:LastRunDate", data::ApplyDatePicture("@d17b", dateFormat), 47});
            list_->AddColumn({"Last Time", "SCH:LastRunTime", "@t7b", 32, 'R'});
        }
        const int skipped = list_->AddColumn({"Skipped", "SCH:Skipped", "@n3", 20});
        const int id = list_->AddColumn({"ID", "SCH:ID", "@n13", 40, 'R'});
        list_->SetColumnVisible(skipped, false);
        list_->SetColumnVisible(id, false);
        list_->SetIconList(ScheduleIconNames());
        list_->SetCellLook([this](const data::ListRow& r, int column, CellLook& look) {
            if (column > 3) return;
            Schedule s;
            list_->query().ToRecord(r, &s);
            if (column == 1) look.icon = ScheduleStateIcon(s);
            else if (column == 2) look.icon = ScheduleTypeIcon(s.TaskType.str());
            else {
                const DateColours c = ScheduleDateColours(s, explore_);
                look.normalFg = c.normalFg;
                look.selectedFg = c.selectedFg;
            }
        });
    }

    void DeclareActions() {
        list_->AddChild({&ScriptingDef(), "SCR:ID", "SCH:ID"});
        list_->SetInsertControl(b.insert);
        list_->SetChangeControl(b.change);
        list_->SetDeleteControl(b.del);
        list_->SetCopyControl(b.copy);
        list_->SetUpdateProcedure([](int, std::function<void(int)> done) { UpdateSchedule(std::move(done)); });
        PopupMenu& p = list_->Popup();
        p.AddItemMimic("Special", "S&pecial", b.special);
        p.AddItemMimic("Execute", b.execute->text().toStdString(), b.execute);
        p.AddItemMimic("Quick", "&Quick", b.quick);
        p.AddSeparator();
        p.AddItemMimic("Scripting", "&Scripting", b.scripting);
        p.AddItemMimic("EditText", "Edit Script as Text", b.editText);
        p.AddSeparator();
        p.AddItemMimic("ActiveOnly", "Show Active Only", b.activeOnly);
        p.AddItemMimic("ShowAll", "Show All", b.showAll);
        p.AddSeparator();
        p.AddItemMimic("Query", "&Query", b.query);
        p.AddItemMimic("Reset", "Reset", b.reset);
        p.AddSeparator();
        p.AddItemMimic("Copy", "Cop&y", b.copy);
    }

    // After the list's Init: the title, Xplore, the timer and the buttons.
    void FinishOpening() {
        if (Options().MultiUser.load() && !Trim(Options().UserID.get()).empty())
            SetTitle(std::string(explore_ ? "Explore Schedule - " : "View Schedule - ") +
                     Trim(Options().UserID.get()));
        connect(view_->model(), &QAbstractItemModel::modelReset, this, [this] { UpdateActions(); });
        xplore_ = std::make_unique<xplore::XploreList>(*list_, name_, "?Browse:1");
        xplore_->core().Attach(">Header");
        xplore_->core().Init(XploreColumns(), XploreOrders());
        xplore_->core().AddSortOrder(1);
        xplore_->core().SyncOrders(nullptr);
        xplore_->Restore(Options().GlobalDateFormat.get());
        b.query->setEnabled(queryError_ == 0);
        SetTimer(100);
        UpdateActions();
    }

    std::vector<xplore::ColumnDef> XploreColumns() const {
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
        if (explore_) c.erase(c.begin() + 7, c.begin() + 9);
        return c;
    }
    std::vector<xplore::OrderDef> XploreOrders() const {
        std::vector<xplore::OrderDef> o = {
            {"SCH:Date", {{"SCH:Date", false, ""}, {"SCH:Time", false, ""}}},
            {"SCH:Time", {{"SCH:Time", false, ""}, {"SCH:Date", false, ""}}},
            {"SCH:Category", {{"SCH:Category", false, "S"}, {"SCH:Date", false, ""}}},
            {"SCH:Description", {{"SCH:Description", false, "S"}}},
            {"SCH:ID", {{"SCH:ID", false, ""}}}};
        if (!explore_) {
            o.push_back({"SCH:LastRunDate", {{"SCH:LastRunDate", false, ""}, {"SCH:LastRunTime", false, ""}}});
            o.push_back({"SCH:LastRunTime", {{"SCH:LastRunTime", false, ""}}});
        }
        return o;
    }

    void Refill() {
        // A window it opened may answer after the list has closed.
        if (!list_ || !IsOpen()) return;
        SetNamedFilters();
        list_->ResetFromFile();
        UpdateActions();
    }

    // Actions on the highlighted task need one.
    virtual void UpdateActions() {
        const bool rows = list_ && list_->HasRows();
        b.special->setEnabled(rows && special_);
        b.quick->setEnabled(rows && quick_);
        b.execute->setEnabled(rows);
        b.scripting->setEnabled(rows && HasScriptListOpener());
        b.editText->setEnabled(rows && HasScriptTextOpener());
        b.copy->setEnabled(rows);
        b.reset->setEnabled(!query_.empty());
    }

    void TakeTimer() override {
        const int32_t seen = day_->lastSeenDay;
        const bool moved = day_->Tick(Today());
        if (day_->lastSeenDay != seen) NewDay(moved);
    }

    bool TakeEvent(int e) override {
        if (e == kEventAlreadyOpen) {
            ComeForward();
            view_->setFocus();
            if (xplore_) xplore_->Show();
            return true;
        }
        const bool taken = list_ && list_->TakeEvent(e);
        if (taken) UpdateActions();
        return taken;
    }

    // The actions both lists share; false when the control is none of them.
    bool HandleCommon(QObject* c) {
        if (c == b.insert) {
            CopySourceID() = 0;
            DefaultTaskDate() = std::to_string(day_->selectedDay);
        } else if (c == b.copy) {
            // The form opens as an insert primed with the highlighted task and
            // copies its script to the new task under a number of its own.
            if (!list_->HasRows() || !list_->UpdateViewRecord()) return true;
            DefaultTaskDate() = std::to_string(day_->selectedDay);
            CopySourceID() = SCH().ID;
            SCH().ID = 0;
            list_->AskRecord(kInsertRecord, true);
            return true;
        }
        if (list_->HandleAccepted(c)) {
            UpdateActions();
            return true;
        }
        if (c == b.execute) {
            if (!list_->HasRows() || !list_->UpdateViewRecord()) return true;
            // The task's script runs from the next tick even while the
            // scheduler is inactive.
            ScriptsRequested() = true;
            ExecuteTaskNow(SCH());
            view_->setFocus();
        } else if (c == b.scripting) {
            view_->setFocus();
            if (!list_->HasRows() || !fPasswordValidation() || !list_->UpdateViewRecord()) return true;
            if (!TaskTypeHasScript(SCH().TaskType.str())) {
                Message(kNoScriptingMessage, "Error", MessageIcon::Exclamation);
                return true;
            }
            GlobalRequest() = kChangeRecord;
            QPointer<QWidget> w = Window();
            OpenScriptList(SCH().ID, [this, w] {
                if (w) Refill();
            });
        } else if (c == b.editText) {
            // Any task's script edits as text; like every change to a task it
            // asks the system password first.
            if (!list_->HasRows() || !fPasswordValidation() || !list_->UpdateViewRecord()) return true;
            GlobalRequest() = kChangeRecord;
            QPointer<QWidget> w = Window();
            OpenScriptText([this, w] {
                if (w) Refill();
            });
        } else if (c == b.query) {
            QPointer<QWidget> w = Window();
            TC_QWIZARD(
                fields_, query_,
                [this, w](const std::string& q) {
                    if (!w || !TCQW_Response()) return;
                    query_ = q;
                    Refill();
                },
                Window());
        } else if (c == b.reset) {
            query_.clear();
            Refill();
        } else if (c == b.special) {
            if (!list_->HasRows() || !list_->UpdateViewRecord()) return true;
            GlobalRequest() = kInsertRecord;
            QPointer<QWidget> w = Window();
            UpdateSchedule_SpecialEventWizard([this, w](int) {
                if (!w) return;
                Refill();
                view_->setFocus();
            });
        } else if (c == b.quick) {
            if (!list_->HasRows() || !fPasswordValidation() || !list_->UpdateViewRecord()) return true;
            const int32_t delay = QuickStartDelay(Popup(kQuickStartMenu, std::nullopt, Window()));
            if (delay == 0) return true;
            TableScheduleStore store;
            QuickStartTask(SCH(), Today(), ClockTime(), delay, store);
            Refill();
            view_->setFocus();
        } else if (c == b.activeOnly || c == b.showAll) {
            ShowActive(c == b.activeOnly);
            view_->setFocus();
        } else {
            return false;
        }
        return true;
    }

    void Kill() override {
        if (xplore_) xplore_->Save();
        xplore_.reset();
        list_.reset();
        CurrentBindings().Unbind("SelectedDay");
        if (inThreads_) BrowseScheduleThreads().Remove(Thread());
        if (schOpen_) Schedule_File().Close();
        if (catOpen_) Categories_File().Close();
    }

    ScheduleButtons b;
    QTableView* view_ = nullptr;
    std::unique_ptr<BrowseView> list_;
    std::unique_ptr<xplore::XploreList> xplore_;
    FieldsQueue fields_;
    std::shared_ptr<SelectedDayFollower> day_ = std::make_shared<SelectedDayFollower>();
    std::string query_;
    std::string datePicture_;
    std::string name_;
    bool explore_ = false;
    int queryError_ = 0;
    bool special_ = true, quick_ = true;
    bool inThreads_ = false, schOpen_ = false, catOpen_ = false;
    bool scheduleMissing_ = false;  // Schedule would not open: the list stays empty
};

struct BrowseScheduleLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QTableView* list = nullptr;
    QPushButton *selectDay = nullptr, *selectDay2 = nullptr, *category = nullptr;

    static QWidget* TabPage(std::initializer_list<QPushButton*> buttons) {
        auto* page = new QWidget;
        page->setLayout(ButtonRow(buttons));
        return page;
    }
    void Build(ScheduleButtons& b) {
        window = new QWidget;
        window->setWindowTitle("Scheduled Tasks");
        window->setWindowIcon(IconByName("timedate.ico"));
        window->resize(900, 480);
        b.Build(window, "E&xecute/Test");
        auto* v = new QVBoxLayout(window);
        sheet = new QTabWidget(window);
        sheet->setObjectName("sheet");
        selectDay = MakeButton(window, "&Select Day", "selectDay", "PICK.ICO");
        selectDay->setToolTip("Select a day for which to view tasks");
        selectDay2 = MakeButton(window, "&Select Day", "selectDay2", "PICK.ICO");
        selectDay2->setToolTip("Select a day for which to view tasks");
        category = MakeButton(window, "Cate&gory", "category");
        category->setToolTip("Select a category for which to view tasks");
        sheet->addTab(TabPage({selectDay}), "Day Schedule");
        sheet->addTab(TabPage({selectDay2}), "All by Date");
        sheet->addTab(TabPage({category}), "All in Category");
        sheet->addTab(TabPage({b.query, b.reset}), "Selected");
        v->addWidget(sheet);
        list = MakeList(window, "list", "Browsing Schedule");
        v->addWidget(list, 1);
        v->addLayout(b.TaskRow());
        v->addLayout(b.LastRow());
    }
};

class BrowseScheduleWindow : public ScheduleListWindow {
public:
    BrowseScheduleWindow() : ScheduleListWindow("BrowseSchedule", false) {}

protected:
    QWidget* MakeWindow() override {
        ui.Build(b);
        view_ = ui.list;
        return ui.window;
    }

    bool Init() override {
        if (!OpenCommon()) return false;
        activeOnly_ = Options().GlobalActiveOnly.load() != 0;
        DeclareList();
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
        DeclareActions();
        if (Options().FullSchedule.load()) ui.sheet->setCurrentIndex(kTabAllByDate);
        list_->SetSortOrder(OrderOfTab(ui.sheet->currentIndex()));
        SetNamedFilters();
        if (list_->Init() != 0 && !scheduleMissing_) return false;
        if (ui.sheet->currentIndex() == kTabAllByDate) {
            positioned_ = true;
            PositionAtToday();
        }
        ui.sheet->setTabText(kTabDay, QString::fromStdString(FormatUserDate(day_->selectedDay)));
        tabs_.Init(ui.window);
        FinishOpening();
        return true;
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
    void SetNamedFilters() override {
        const int current = list_->CurrentSortOrder();
        for (int o = 1; o <= list_->SortOrderCount(); ++o) {
            list_->SetSortOrder(o);
            list_->SetFilter(activeOnly_ ? "(SCH:Disabled=0 AND SCH:Completed=0)" : "", "5 Active");
            list_->SetFilter(query_, "6 Query");
        }
        list_->SetSortOrder(current ? current : kOrderDay);
    }

    void ShowActive(bool on) override {
        activeOnly_ = on;
        Refill();
    }

    void UpdateActions() override {
        ScheduleListWindow::UpdateActions();
        b.activeOnly->setEnabled(!activeOnly_);
        b.showAll->setEnabled(activeOnly_);
    }

    void PositionAtToday() { list_->Locate(Format(Value(Today()), datePicture_)); }

    void ShowDay() {
        DefaultTaskDate() = std::to_string(day_->selectedDay);
        ui.sheet->setTabText(kTabDay, QString::fromStdString(Format(Value(day_->selectedDay), "@d3")));
        Refill();
    }

    void NewDay(bool moved) override {
        if (moved) ShowDay();
    }

    void TakeAccepted(QObject* c) override {
        if (HandleCommon(c)) return;
        if (c == ui.selectDay) {
            SCH() = Schedule();
            QPointer<QWidget> w = ui.window;
            Calendar(day_->selectedDay, "", "", [this, w](int32_t chosen) {
                if (!w || chosen == 0) return;
                day_->selectedDay = chosen;
                ShowDay();
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
        tabs_.Kill();
        ScheduleListWindow::Kill();
    }

private:
    BrowseScheduleLayout ui;
    TabHighlight tabs_;
    bool activeOnly_ = false, positioned_ = false;
};

// Function:SelectDateRange: the range of Explore Schedule's "Custom" day.
struct SelectDateRangeLayout {
    QWidget* window = nullptr;
    QLineEdit *start = nullptr, *end = nullptr;
    QPushButton *startPick = nullptr, *endPick = nullptr, *ok = nullptr, *cancel = nullptr;
    QCheckBox* startOnly = nullptr;
    void Build() {
        window = new QWidget;
        window->setWindowTitle("Enter Date Range");
        window->setWindowIcon(IconByName("CAL.ICO"));
        auto* v = new QVBoxLayout(window);
        auto* g = new QGridLayout;
        start = new QLineEdit(window);
        start->setObjectName("start");
        end = new QLineEdit(window);
        end->setObjectName("end");
        startPick = MakeButton(window, "...", "startPick");
        endPick = MakeButton(window, "...", "endPick");
        auto* l1 = new QLabel("Start Date:", window);
        l1->setBuddy(start);
        auto* l2 = new QLabel("End Date:", window);
        l2->setBuddy(end);
        g->addWidget(l1, 0, 0);
        g->addWidget(start, 0, 1);
        g->addWidget(startPick, 0, 2);
        g->addWidget(l2, 1, 0);
        g->addWidget(end, 1, 1);
        g->addWidget(endPick, 1, 2);
        v->addLayout(g);
        startOnly = new QCheckBox("Use Start Date Only", window);
        startOnly->setObjectName("startOnly");
        v->addWidget(startOnly);
        AddOkCancel(window, v, ok, cancel);
    }
};

class SelectDateRangeWindow : public WindowManager {
public:
    SelectDateRangeWindow(int32_t from, int32_t to, std::function<void(int32_t, int32_t)> done)
        : WindowManager("Function:SelectDateRange"), from_(from), to_(to), done_(std::move(done)) {
        SetSavePosition(true, false);
    }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        picture_ = data::ApplyDatePicture("@d17", Trim(Options().GlobalDateFormat.get()));
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        Show();
        return true;
    }
    void Show() {
        ui.start->setText(QString::fromStdString(Format(Value(from_), picture_)));
        ui.end->setText(QString::fromStdString(Format(Value(to_), picture_)));
        const bool both = !ui.startOnly->isChecked();
        ui.end->setEnabled(both);
        ui.endPick->setEnabled(both);
    }
    // The entries as typed; a text that is no date keeps the day before.
    void Read() {
        if (auto v = TryDeformat(ui.start->text().toStdString(), picture_)) from_ = static_cast<int32_t>(v->toInt());
        if (auto v = TryDeformat(ui.end->text().toStdString(), picture_)) to_ = static_cast<int32_t>(v->toInt());
    }
    void TakeAccepted(QObject* c) override {
        if (c == ui.startOnly) {
            Read();
            Show();
        } else if (c == ui.startPick || c == ui.endPick) {
            Read();
            const bool isStart = c == ui.startPick;
            QPointer<QWidget> w = ui.window;
            Calendar(isStart ? from_ : to_, "None", isStart ? "Select Start Date" : "",
                     [this, w, isStart](int32_t chosen) {
                         if (!w || chosen == 0) return;
                         (isStart ? from_ : to_) = chosen;
                         Show();
                     });
        }
    }
    bool TakeCompleted() override {
        Read();
        if (ui.startOnly->isChecked()) to_ = from_;
        written_ = true;
        return true;
    }
    void Kill() override {
        if (written_ && done_) done_(from_, to_);
    }

private:
    SelectDateRangeLayout ui;
    int32_t from_, to_;
    std::function<void(int32_t, int32_t)> done_;
    std::string picture_;
    bool written_ = false;
};

struct ExploreScheduleLayout {
    QWidget* window = nullptr;
    QTableView* list = nullptr;
    QComboBox *status = nullptr, *day = nullptr, *category = nullptr;
    QLabel* dateLabel = nullptr;
    void Build(ScheduleButtons& b) {
        window = new QWidget;
        window->setWindowTitle("Explore Schedule");
        window->setWindowIcon(IconByName("timedate.ico"));
        window->resize(820, 480);
        b.Build(window, "E&xecute");
        auto* v = new QVBoxLayout(window);
        auto* group = new QGroupBox("F&ilters", window);
        auto* h = new QHBoxLayout(group);
        dateLabel = new QLabel(group);
        dateLabel->setObjectName("dateLabel");
        status = new QComboBox(group);
        status->setObjectName("status");
        status->setToolTip("Select records by status");
        status->addItems({"All", "Active", "Completed", "Disabled"});
        day = new QComboBox(group);
        day->setObjectName("day");
        day->addItems({"All", "Today", "Tomorrow", "This Week", "This Month", "Yesterday", "Custom"});
        category = new QComboBox(group);
        category->setObjectName("category");
        category->setToolTip("Select records by category");
        b.query->setToolTip("Select records using a detailed query criteria");
        b.reset->setToolTip("Reset (clear) query");
        h->addWidget(dateLabel);
        h->addWidget(new QLabel("Status:", group));
        h->addWidget(status);
        h->addWidget(new QLabel("Day:", group));
        h->addWidget(day);
        h->addWidget(new QLabel("Category:", group));
        h->addWidget(category);
        h->addWidget(b.query);
        h->addWidget(b.reset);
        h->addStretch();
        v->addWidget(group);
        list = MakeList(window, "list", "Browsing Schedule");
        v->addWidget(list, 1);
        v->addLayout(b.TaskRow());
        v->addLayout(b.LastRow());
    }
};

class ExploreScheduleWindow : public ScheduleListWindow {
public:
    ExploreScheduleWindow() : ScheduleListWindow("ExploreSchedule", true) {}

protected:
    QWidget* MakeWindow() override {
        ui.Build(b);
        view_ = ui.list;
        return ui.window;
    }

    bool Init() override {
        if (!OpenCommon()) return false;
        std::shared_ptr<std::string> category = category_;
        CurrentBindings().Bind("Filter:Category", [category] { return Value(*category); });
        filling_ = true;
        ui.category->addItem("All");
        data::Table& cat = Categories_File().File();
        if (cat.Set(CategoriesDef().key("CAT:KeyCategory")) == 0)
            while (cat.Next() == 0) ui.category->addItem(QString::fromStdString(Trim(cat.Rec<Categories>().Category.str())));
        ui.status->setCurrentText(Options().GlobalActiveOnly.load() ? "Active" : "All");
        ui.day->setCurrentText(Options().FullSchedule.load() ? "All" : "Today");
        filling_ = false;
        DeclareList();
        list_->AddSortOrder(ScheduleDef().key("SCH:KeyDate"));
        list_->AddLocator("SCH:Date");
        DeclareActions();
        SetNamedFilters();
        if (list_->Init() != 0 && !scheduleMissing_) return false;
        if (Options().FullSchedule.load()) list_->Locate(Format(Value(Today()), datePicture_));
        FinishOpening();
        return true;
    }

    void SetNamedFilters() override {
        const ExploreFilters f =
            MakeExploreFilters(ui.status->currentText().toStdString(), ui.day->currentText().toStdString(),
                               ui.category->currentText().toStdString(), Today(), from_, to_,
                               [](int32_t d) { return FormatUserDate(d); });
        *category_ = ui.category->currentText().toStdString();
        from_ = f.from;
        to_ = f.to;
        day_->selectedDay = f.selectedDay;
        DefaultTaskDate() = std::to_string(f.selectedDay);
        list_->SetFilter(query_, "6 Query");
        for (const auto& [name, condition] : f.filters) list_->SetFilter(condition, name);
        ui.dateLabel->setText(QString::fromStdString(f.label));
        ui.day->setToolTip(f.label.empty() ? "Select records by date" : QString::fromStdString(f.label));
    }

    void ShowActive(bool on) override { ui.status->setCurrentText(on ? "Active" : "All"); }

    void NewDay(bool) override { Refill(); }

    void TakeAccepted(QObject* c) override { HandleCommon(c); }

    void TakeNewSelection(QObject* c) override {
        if (filling_ || !list_) return;
        if (c == ui.day && ui.day->currentText() == "Custom") {
            if (to_ == 0) to_ = MakeDate(1, 1, 2099);
            if (from_ == 0) from_ = MakeDate(1, 1, 1995);
            QPointer<QWidget> w = ui.window;
            (new SelectDateRangeWindow(from_, to_, [this, w](int32_t from, int32_t to) {
                if (!w) return;
                from_ = from;
                to_ = to;
                Refill();
            }))->Call();
            Refill();
            return;
        }
        if (c == ui.status || c == ui.day || c == ui.category) Refill();
    }

private:
    ExploreScheduleLayout ui;
    std::shared_ptr<std::string> category_ = std::make_shared<std::string>("All");
    int32_t from_ = 0, to_ = 0;
    bool filling_ = false;
};

}  // namespace

void BrowseSchedule() { (new BrowseScheduleWindow)->Open(); }

void ExploreSchedule() { (new ExploreScheduleWindow)->Open(); }

}  // namespace kr::tasks
