// BrowseToDoList and UpdateTodo: the to-do items by four orders with the
// done toggle, the category pick and the hand-over to a message task, and
// the form of one item.
#include "organiser/windows/ToDoWindows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabWidget>
#include <array>
#include <memory>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/EventLog.h"
#include "dictionary/Settings.h"
#include "organiser/ToDoRules.h"
#include "organiser/windows/TabbedList.h"
#include "platform/data/Errors.h"
#include "platform/data/ListQuery.h"
#include "platform/data/Table.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/BrowseView.h"
#include "platform/ui/FieldHistory.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/RecordWindows.h"
#include "platform/ui/Requests.h"
#include "scheduler/TaskMessage.h"
#include "tasks/windows/ListWindowParts.h"
#include "tasks/windows/TaskWindows.h"
#include "tasks/windows/TypedEntry.h"
#include "xplore/windows/XploreList.h"

namespace kr::organiser {

namespace {

using data::kLevelBenign;
using tasks::ButtonRow;
using tasks::ClearTyped;
using tasks::MakeButton;
using tasks::MakeList;
using tasks::TrackTyping;
using tasks::Typed;

constexpr std::size_t kNotesSize = 4096;
constexpr std::size_t kResolutionSize = 1000;
constexpr const char* kTimePicture = "@t4";

// Every task category, in key order, for the form's drop list.
QStringList CategoryNames() {
    QStringList out;
    data::ListQuery q(data::TableOf(CategoriesDef()));
    q.SetKeyOrder(CategoriesDef().key("CAT:KeyCategory"));
    if (q.Apply() != 0) return out;
    std::vector<data::ListRow> rows;
    if (q.PageAt(0, 10000, rows) != 0) return out;
    for (const data::ListRow& r : rows) {
        Categories c;
        q.ToRecord(r, &c);
        out << QString::fromStdString(ClipRight(c.Category.str()));
    }
    return out;
}

// --- UpdateTodo --------------------------------------------------------------

struct UpdateTodoLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QLineEdit* todo = nullptr;
    QLineEdit* priority = nullptr;
    QComboBox* category = nullptr;
    QPlainTextEdit* notes = nullptr;
    QPlainTextEdit* resolution = nullptr;
    QLineEdit* date = nullptr;
    QPushButton* pick = nullptr;
    QLineEdit* time = nullptr;
    QCheckBox* done = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;

    static QLabel* Label(QWidget* tab, const char* text, QWidget* buddy) {
        auto* l = new QLabel(text, tab);
        l->setBuddy(buddy);
        return l;
    }
    void Build() {
        window = new QWidget;
        window->setWindowTitle("Update To Do Item");
        window->resize(460, 380);
        auto* v = new QVBoxLayout(window);
        sheet = new QTabWidget(window);
        sheet->setObjectName("sheet");

        auto* general = new QWidget;
        auto* g = new QGridLayout(general);
        todo = new QLineEdit(general);
        todo->setObjectName("todo");
        todo->setMaxLength(80);
        todo->setToolTip("To Do (Description)");
        priority = new QLineEdit(general);
        priority->setObjectName("priority");
        priority->setMaxLength(2);
        priority->setValidator(new QIntValidator(0, 99, priority));
        priority->setMaximumWidth(priority->fontMetrics().horizontalAdvance("9999") + 12);
        category = new QComboBox(general);
        category->setObjectName("category");
        category->setEditable(true);
        category->lineEdit()->setMaxLength(20);
        notes = new QPlainTextEdit(general);
        notes->setObjectName("notes");
        g->addWidget(Label(general, "&To Do Item (Description):", todo), 0, 0);
        g->addWidget(todo, 0, 1, 1, 3);
        g->addWidget(Label(general, "&Priority:", priority), 1, 0);
        g->addWidget(priority, 1, 1);
        g->addWidget(Label(general, "&Category:", category), 2, 0);
        g->addWidget(category, 2, 1, 1, 3);
        g->addWidget(Label(general, "&Notes:", notes), 3, 0, Qt::AlignTop);
        g->addWidget(notes, 3, 1, 1, 3);
        sheet->addTab(general, "General");

        auto* res = new QWidget;
        auto* r = new QGridLayout(res);
        resolution = new QPlainTextEdit(res);
        resolution->setObjectName("resolution");
        date = new QLineEdit(res);
        date->setObjectName("date");
        pick = MakeButton(res, "...", "pick");
        pick->setToolTip("Select Completion Date");
        time = new QLineEdit(res);
        time->setObjectName("time");
        done = new QCheckBox("&Done", res);
        done->setObjectName("done");
        r->addWidget(Label(res, "&Resolution:", resolution), 0, 0, Qt::AlignTop);
        r->addWidget(resolution, 0, 1, 1, 3);
        r->addWidget(Label(res, "Completion Date:", date), 1, 0);
        r->addWidget(date, 1, 1);
        r->addWidget(pick, 1, 2);
        r->addWidget(Label(res, "Completion Time:", time), 2, 0);
        r->addWidget(time, 2, 1);
        r->addWidget(done, 3, 1);
        sheet->addTab(res, "Resolution");
        v->addWidget(sheet);

        tasks::AddOkCancel(window, v, ok, cancel, "ok.ico", "cancel.ico");
    }
};

class UpdateTodoWindow : public RecordFormWindow<UpdateTodoLayout> {
public:
    UpdateTodoWindow() : RecordFormWindow("UpdateTodo") { SetSavePosition(true, true); }

protected:
    Todo& TDO() { return Todo_File().rec(); }

    bool Init() override {
        if (!OpenForm({&Todo_File(), &Categories_File()})) return false;
        ApplyTodoDefaults(TDO(), Categories_File().rec(), Request() == kInsertRecord);
        doneAtOpen_ = TDO().Done != 0;
        required_.SetMessage(ui.todo, true, "To Do", "To Do", "To Do", "TDO:ToDo");
        ui.category->addItems(CategoryNames());
        TrackTyping(ui.date);
        TrackTyping(ui.time);
        DisableInViewMode(ui.pick);
        DisableInViewMode(ui.done);

        ApplyMode(Request() == kInsertRecord ? "New To Do Item" : "Edit To Do Item");
        if (!mode_.ReadOnly()) {
            // The history key puts back a control's value from the last item
            // saved through this form.
            history_.Add(ui.todo, "TDO:ToDo");
            history_.Add(ui.priority, "TDO:Priority");
            history_.Add(ui.category, "TDO:Category");
            history_.Add(ui.notes, "TDO:Notes");
            history_.Add(ui.resolution, "TDO:Resolution");
            history_.Add(ui.date, "TDO:CompletionDate");
            history_.Add(ui.time, "TDO:CompletionTime");
        }
        Show();
        return true;
    }
    void TakeAccepted(QObject* c) override {
        if (mode_.ReadOnly()) return;
        Store();
        if (c == ui.priority) {
            if (!PriorityAccepted()) return;
        } else if (c == ui.pick) {
            QPointer<QWidget> w = ui.window;
            tasks::Calendar(TDO().CompletionDate, "", "Select Completion Date", [this, w](int32_t d) {
                if (!w) return;
                TDO().CompletionDate = d;
                Show();
            });
        } else if (c == ui.done) {
            if (ui.done->isChecked())
                TodoDoneTicked(TDO(), doneAtOpen_, Today(), ClockTime());
            else
                TDO().Done = 0;
        }
        Show();
    }
    bool TakeCompleted() override {
        if (!mode_.Delete()) {
            Store();
            if (!PriorityAccepted()) return false;
            if (required_.Check(false)) return false;
            StampTodoForSave(TDO(), Options().UserID.get(), Today(), ClockTime(), data::TableOf(TodoDef()));
        }
        return WriteForm(Todo_File(), Todo_Relations(), &history_);
    }
    void ShowStored() override { Show(); }

private:
    // The table's field check of the priority (1 to 10); a refused value
    // keeps the focus on the field.
    bool PriorityAccepted() {
        if (Todo_File().ValidateField(2) == kLevelBenign) return true;
        ui.sheet->setCurrentIndex(0);
        ui.priority->setFocus();
        ui.priority->selectAll();
        return false;
    }
    void Show() {
        const Todo& t = TDO();
        const QString todo = QString::fromStdString(ClipRight(t.ToDo.str()));
        if (ui.todo->text() != todo) ui.todo->setText(todo);
        ui.priority->setText(QString::number(t.Priority));
        ui.category->setEditText(QString::fromStdString(ClipRight(t.Category.str())));
        const QString notes = QString::fromStdString(t.Notes);
        if (ui.notes->toPlainText() != notes) ui.notes->setPlainText(notes);
        const QString res = QString::fromStdString(t.Resolution);
        if (ui.resolution->toPlainText() != res) ui.resolution->setPlainText(res);
        ui.date->setText(QString::fromStdString(Trim(Format(Value(t.CompletionDate), "@d17b"))));
        ui.time->setText(QString::fromStdString(Trim(Format(Value(t.CompletionTime), std::string(kTimePicture) + "b"))));
        ClearTyped(ui.date);
        ClearTyped(ui.time);
        ui.done->setChecked(t.Done != 0);
        mode_.Reapply(*this);
    }
    void Store() {
        Todo& t = TDO();
        t.ToDo = ui.todo->text().toStdString();
        // The entry takes two digits; the field check decides the range.
        t.Priority = static_cast<uint8_t>(ui.priority->text().toInt());
        t.Category = ui.category->currentText().toStdString();
        t.Notes = ui.notes->toPlainText().toStdString().substr(0, kNotesSize);
        t.Resolution = ui.resolution->toPlainText().toStdString().substr(0, kResolutionSize);
        if (Typed(ui.date)) t.CompletionDate = static_cast<int32_t>(Deformat(ui.date->text().toStdString(), "@d17").toInt());
        if (Typed(ui.time)) t.CompletionTime = static_cast<int32_t>(Deformat(ui.time->text().toStdString(), kTimePicture).toInt());
        ClearTyped(ui.date);
        ClearTyped(ui.time);
    }

    FieldHistory history_{"UpdateTodo"};
    bool doneAtOpen_ = false;
};

// --- BrowseToDoList ------------------------------------------------------------

enum Tab { kTabDone, kTabPriority, kTabToDo, kTabCategory };

struct BrowseToDoListLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QTableView* list = nullptr;
    std::array<QWidget*, 4> pages{};
    std::array<QPushButton*, 4> toggle{};
    QPushButton* pick = nullptr;
    QPushButton *insert = nullptr, *change = nullptr, *del = nullptr, *view = nullptr, *close = nullptr;

    void Build() {
        window = new QWidget;
        window->setWindowTitle("To Do Items");
        window->setWindowIcon(IconByName("TODO.ICO"));
        window->resize(720, 420);
        auto* v = new QVBoxLayout(window);
        sheet = new QTabWidget(window);
        sheet->setObjectName("sheet");
        list = MakeList(window, "list", "Browsing Records");
        const char* names[4] = {"Done", "Priority", "To Do", "Category"};
        for (int i = 0; i < 4; ++i) {
            pages[i] = new QWidget;
            auto* t = new QVBoxLayout(pages[i]);
            toggle[i] = MakeButton(pages[i], i == kTabCategory ? "&Toggle" : "&Toggle Done Status",
                                   QString("toggle%1").arg(i).toLatin1().constData());
            if (i == kTabCategory) {
                pick = MakeButton(pages[i], "&Pick", "pick", "PICK.ICO");
                t->addLayout(ButtonRow({toggle[i], pick}));
            } else {
                t->addLayout(ButtonRow({toggle[i]}));
            }
            sheet->addTab(pages[i], names[i]);
        }
        // One list, shown on whichever tab is on show.
        static_cast<QVBoxLayout*>(pages[0]->layout())->insertWidget(0, list);
        v->addWidget(sheet);
        insert = MakeButton(window, "&New", "insert");
        change = MakeButton(window, "&Edit", "change");
        del = MakeButton(window, "&Delete", "del");
        view = MakeButton(window, "&View", "view");
        close = MakeButton(window, "Cl&ose", "close", "EXIT.ICO");
        auto* row = ButtonRow({insert, change, del, view});
        row->addWidget(close);
        v->addLayout(row);
    }
};

class BrowseToDoListWindow : public ListWindow<BrowseToDoListLayout> {
public:
    BrowseToDoListWindow() : ListWindow("BrowseToDoList") {}

protected:
    Todo& TDO() { return Todo_File().rec(); }

    bool Init() override {
        SetCancelControl(ui.close);
        // A table that will not open is logged and tried once more.
        if (!OpenTodo()) {
            LogEvent("ToDoList", "File not open error");
            if (!OpenTodo()) {
                LogEvent("Todo", "File not open: " + data::LastErrorText());
                return false;
            }
        }
        todoOpen_ = true;
        if (!tables_.Open(Categories_File())) return false;
        if (Options().MultiUser && !ClipRight(Options().UserID.get()).empty())
            SetTitle("To Do List - " + ClipRight(Options().UserID.get()));
        HighlightTabs(tabs_);

        const std::string dp = Options().GlobalDateFormat.get();
        list_ = std::make_unique<BrowseView>(Todo_File().File(), ui.list, this);
        list_->AddColumn({"", "TDO:Done", "", 12, 'R', [](const data::ListRow&) { return Value(std::string()); }});
        list_->AddColumn({"Priority", "TDO:Priority", "@n2", 30, 'R'});
        list_->AddColumn({"To Do", "TDO:ToDo", "@s80", 200});
        list_->AddColumn({"Category", "TDO:Category", "@s20", 80});
        list_->AddColumn({"Completion Date", "TDO:CompletionDate", data::ApplyDatePicture("@d3b", dp), 60});
        list_->AddColumn({"Completion Time", "TDO:CompletionTime", "@t3b", 50});
        // The item's category as the category table holds it.
        const int done = data::TableOf(TodoDef()).def().fieldIndex("TDO:Done");
        const int cat = data::TableOf(TodoDef()).def().fieldIndex("TDO:Category");
        list_->AddColumn({"Category", "CAT:Category", "@s20", 80, 'L',
                          [cat](const data::ListRow& r) { return r.field(cat); }});
        list_->SetColumnVisible(7, false);
        list_->SetIconList({"~blank.ico", "~done.ico"});
        // Columns count from 1: the first is Done's tick or blank.
        list_->SetCellLook([done](const data::ListRow& r, int column, CellLook& look) {
            if (column == 1) look.icon = r.field(done).toInt() ? 2 : 1;
        });
        list_->AddSortOrder(TodoDef().key("TDO:KeyDone"));
        list_->AddLocator("TDO:Done");
        list_->AddSortOrder(TodoDef().key("TDO:KeyPriority"));
        list_->AddLocator("TDO:Priority");
        list_->AddSortOrder(TodoDef().key("TDO:KeyToDo"));
        list_->AddLocator("TDO:ToDo");
        list_->AddSortOrder(TodoDef().key("TDO:KeyCategory"));
        list_->AddRange("TDO:Category", [] { return Value(Categories_File().rec().Category.str()); });
        list_->AddLocator("TDO:Priority");
        list_->SetSortOrder(1);
        list_->SetEditControls(ui.insert, ui.change, ui.del);
        list_->SetViewControl(ui.view);
        for (QPushButton* t : ui.toggle) list_->AddRowControl(t);
        list_->SetUpdateProcedure([](int, std::function<void(int)> done) { UpdateTodo(std::move(done)); });
        list_->Popup().AddSeparator();
        list_->Popup().AddItemAction("Toggle", "&Toggle Done Status", [this] { Toggle(); });
        list_->Popup().AddSeparator();
        list_->Popup().AddItemAction("Transfer", "Transfer to Schedule", [this] { Transfer(); });
        if (list_->Init() != 0) return false;

        xplore_ = std::make_unique<xplore::XploreList>(*list_, "BrowseToDoList", "?Browse:1");
        std::vector<xplore::ColumnDef> cols = {
            {"TDO:Done", 12, "", "@p#pb", "Done", 'R'},
            {"TDO:Priority", 30, "Priority", "@n2", "Priority", 'R'},
            {"TDO:ToDo", 200, "To Do", "@s80", "To Do (Description)"},
            {"TDO:Category", 80, "Category", "@s20", "Category"},
            // Blank when an item has no completion yet.
            {"TDO:CompletionDate", 60, "Completion Date", "@d3b", "Completion Date"},
            {"TDO:CompletionTime", 50, "Completion Time", "@t3b", "Completion Time"},
            {"CAT:Category", 80, "Category", "@s20", "Category"},
        };
        for (int i = 0; i < 6; ++i) cols[static_cast<std::size_t>(i)].sortable = true;
        // Done shows an icon only: a best fit leaves room for it.
        cols[0].icon = true;
        cols[6].display = false;
        std::vector<xplore::OrderDef> orders;
        for (int i = 0; i < 6; ++i) {
            const xplore::ColumnDef& c = cols[static_cast<std::size_t>(i)];
            orders.push_back({c.field, {{c.field, false, c.picture.substr(1)}}});
        }
        xplore_->Start(">Header", cols, dp, orders);
        UpdateTransfer();
        return true;
    }

    // The keys go to the list from the start (Enter edits the highlighted item).
    void TakeOpened() override { ui.list->setFocus(); }

    bool TakeEvent(int e) override {
        if (e == kEventAlreadyOpen) {
            ComeForward();
            // Items other programs added meanwhile show at once.
            list_->ResetFromFile();
            ui.list->setFocus();
            return true;
        }
        return ListWindow::TakeEvent(e);
    }
    void TakeAccepted(QObject* c) override {
        for (QPushButton* t : ui.toggle)
            if (c == t) {
                Toggle();
                return;
            }
        if (c == ui.pick) {
            Pick();
            return;
        }
        ListWindow::TakeAccepted(c);
        UpdateTransfer();
    }
    void TakeNewSelection(QObject* c) override {
        if (c != ui.sheet || !list_) return;
        const int tab = ui.sheet->currentIndex();
        ShowTabOrder(ui.pages[static_cast<std::size_t>(tab)], ui.list, *list_, *xplore_, tab + 1);
        tabs_.Refresh();
        UpdateTransfer();
        if (list_->HasRows()) ui.list->setFocus();
    }
    void Kill() override {
        if (xplore_) xplore_->Save();
        xplore_.reset();
        list_.reset();
        ListWindow::Kill();
        if (todoOpen_) Todo_File().Close();
    }

private:
    static bool OpenTodo() {
        if (Todo_File().Open() != kLevelBenign) return false;
        if (Todo_File().UseFile() == kLevelBenign) return true;
        Todo_File().Close();
        return false;
    }
    void Toggle() {
        if (!list_->HasRows() || !list_->UpdateViewRecord()) return;
        ToggleTodoDone(TDO(), Today(), ClockTime());
        Todo_File().Update();
        list_->ResetFromFile();
        ui.list->setFocus();
    }
    void Pick() {
        QPointer<QWidget> w = ui.window;
        GlobalRequest() = kSelectRecord;
        tasks::SelectCategories([this, w](int response) {
            if (!w || !list_) return;
            if (response == kRequestCompleted) list_->ResetFromFile();
            ui.list->setFocus();
        });
    }
    void Transfer() {
        if (!list_->HasRows() || !list_->UpdateViewRecord()) return;
        ToDoToMessageTask();
    }
    void UpdateTransfer() {
        list_->Popup().SetItemEnable("Transfer", list_->HasRows() && MessageWizardInstalled());
        list_->Popup().SetItemEnable("Toggle", list_->HasRows());
    }

    std::unique_ptr<xplore::XploreList> xplore_;  // after the list it serves
    bool todoOpen_ = false;
};

}  // namespace

void UpdateTodo(std::function<void(int response)> done) { (new UpdateTodoWindow)->Call(std::move(done)); }

void BrowseToDoList() {
    (new BrowseToDoListWindow)->OpenOrCall();
}

void RegisterToDoWindows() { RegisterProcedure("BrowseToDoList", [] { BrowseToDoList(); }); }

}  // namespace kr::organiser
