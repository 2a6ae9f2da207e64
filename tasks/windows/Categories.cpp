// BrowseScheduleCategories, UpdateCategories and SelectCategories: the task
// categories with the tasks of each, the form of one category and the
// category lookup of the task windows.
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTabWidget>
#include <memory>

#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "platform/data/Errors.h"
#include "platform/data/ListQuery.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/BrowseView.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/RecordWindows.h"
#include "platform/ui/Requests.h"
#include "tasks/TaskReservation.h"
#include "tasks/windows/ListWindowParts.h"
#include "tasks/windows/TaskWindows.h"
#include "xplore/windows/XploreList.h"

namespace kr::tasks {

namespace {

struct UpdateCategoriesLayout {
    QWidget* window = nullptr;
    QLineEdit* category = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    void Build() {
        window = new QWidget;
        window->setWindowTitle("Update Category");
        window->setWindowIcon(IconByName("WIZARD.ICO"));
        auto* v = new QVBoxLayout(window);
        auto* g = new QGridLayout;
        category = new QLineEdit(window);
        category->setObjectName("category");
        category->setMaxLength(20);
        category->setToolTip("Category");
        auto* l = new QLabel("&Category:", window);
        l->setBuddy(category);
        g->addWidget(l, 0, 0);
        g->addWidget(category, 0, 1);
        v->addLayout(g);
        AddOkCancel(window, v, ok, cancel);
    }
};

class UpdateCategoriesWindow : public RecordFormWindow<UpdateCategoriesLayout> {
public:
    UpdateCategoriesWindow() : RecordFormWindow("UpdateCategories") {}

protected:
    bool Init() override {
        if (!OpenForm({&Categories_File()})) return false;
        required_.SetMessage(ui.category, true, "Category", "Category", "Category", "CAT:Category");
        ui.category->setText(QString::fromStdString(Categories_File().rec().Category.str()));
        ApplyMode(Request() == kInsertRecord ? "New Category" : "Edit Category");
        return true;
    }
    bool TakeCompleted() override {
        if (required_.Check(false)) return false;
        Categories_File().rec().Category = ui.category->text().toStdString();
        return WriteForm(Categories_File(), Categories_Relations());
    }
};

struct SelectCategoriesLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QTableView* list = nullptr;
    QPushButton* select = nullptr;
    QPushButton* cancel = nullptr;
    void Build() {
        window = new QWidget;
        window->setWindowTitle("Select a Category");
        window->setWindowIcon(IconByName("WIZARD.ICO"));
        window->resize(300, 360);
        auto* v = new QVBoxLayout(window);
        sheet = new QTabWidget(window);
        list = AddListTab(sheet, "Category").list;
        v->addWidget(sheet);
        select = MakeButton(window, "&Select", "select", "PICK.ICO");
        cancel = MakeButton(window, "Cancel", "cancel", "Cancel.ico");
        v->addLayout(FootRow({select, cancel}));
    }
};

class SelectCategoriesWindow : public ListWindow<SelectCategoriesLayout> {
public:
    SelectCategoriesWindow() : ListWindow("SelectCategories") {}

protected:
    bool Init() override {
        if (!OpenList(Categories_File(), ui.cancel)) return false;
        list_->AddColumn({"Category", "CAT:Category", "@s20", 80});
        list_->AddSortOrder(CategoriesDef().key("CAT:KeyCategory"));
        list_->AddLocator("CAT:Category");
        list_->SetSelectControl(ui.select);
        list_->SetSelectMode(true);
        return list_->Init() == 0;
    }
    // A picker: a second start is the list's own event, not a return.
    bool TakeEvent(int e) override { return list_ && list_->TakeEvent(e); }
    void TakeAccepted(QObject* c) override {
        if (c == ui.select) {
            // The highlighted category stays in the buffer for the caller.
            if (!list_->UpdateViewRecord()) return;
            SetResponse(kRequestCompleted);
            CloseNow();
            return;
        }
        ListWindow::TakeAccepted(c);
    }
};

struct BrowseScheduleCategoriesLayout {
    QWidget* window = nullptr;
    QTableView* categories = nullptr;
    QTableView* tasks = nullptr;
    QPushButton *taskNew = nullptr, *taskCopy = nullptr, *taskEdit = nullptr, *taskDelete = nullptr;
    QPushButton *catNew = nullptr, *catEdit = nullptr, *catDelete = nullptr, *close = nullptr;
    void Build() {
        window = new QWidget;
        window->setWindowTitle("Task Categories");
        window->setWindowIcon(IconByName("PICK.ICO"));
        window->resize(720, 420);
        auto* v = new QVBoxLayout(window);
        auto* h = new QHBoxLayout;
        auto* left = new QVBoxLayout;
        categories = MakeList(window, "categories", "Browsing Functions");
        left->addWidget(categories);
        catNew = MakeButton(window, "&New", "catNew");
        catEdit = MakeButton(window, "&Edit", "catEdit");
        catDelete = MakeButton(window, "&Delete", "catDelete");
        left->addLayout(ButtonRow({catNew, catEdit, catDelete}));
        auto* right = new QVBoxLayout;
        right->addWidget(new QLabel("Scheduled Tasks for Highlighted Category", window));
        tasks = MakeList(window, "tasks", "Browsing Tasks");
        right->addWidget(tasks);
        taskNew = MakeButton(window, "New", "taskNew");
        taskCopy = MakeButton(window, "Cop&y", "taskCopy");
        taskEdit = MakeButton(window, "Edit", "taskEdit");
        taskDelete = MakeButton(window, "Delete", "taskDelete");
        right->addLayout(ButtonRow({taskNew, taskCopy, taskEdit, taskDelete}));
        h->addLayout(left, 1);
        h->addLayout(right, 3);
        v->addLayout(h);
        close = MakeButton(window, "Cl&ose", "close", "EXIT.ICO");
        v->addLayout(FootRow({close}));
    }
};

class BrowseScheduleCategoriesWindow : public LayoutWindow<BrowseScheduleCategoriesLayout> {
public:
    BrowseScheduleCategoriesWindow() : LayoutWindow("BrowseScheduleCategories") {
        SetSingleInstance(true);
        SetSavePosition(true, true);
    }

protected:
    bool Init() override {
        SetCancelControl(ui.close);
        // Opened now, not on first use: the lists re-read their records
        // through the tables.
        if (!tables_.Open(Categories_File(), true) || !tables_.Open(Schedule_File(), true)) return false;
        categories_ = std::make_unique<BrowseView>(Categories_File().File(), ui.categories, this);
        categories_->AddColumn({"Categories", "CAT:Category", "@s20", 80});
        categories_->AddSortOrder(CategoriesDef().key("CAT:KeyCategory"));
        categories_->AddLocator("CAT:Category");
        categories_->SetEditControls(ui.catNew, ui.catEdit, ui.catDelete);
        categories_->SetUpdateProcedure([](int, std::function<void(int)> done) { UpdateCategories(std::move(done)); });

        tasks_ = std::make_unique<BrowseView>(Schedule_File().File(), ui.tasks, this);
        const std::string dp = Options().GlobalDateFormat.get();
        tasks_->AddColumn({"Date", "SCH:Date", data::ApplyDatePicture("@d6b", dp), 45});
        tasks_->AddColumn({"Time", "SCH:Time", "@t3b", 32});
        tasks_->AddColumn({"Description", "SCH:Description", "@s40", 160});
        tasks_->AddColumn({"Task Type", "SCH:TaskType", "@s20", 80});
        tasks_->AddColumn({"ID", "SCH:ID", "@n13", 52, 'R'});
        tasks_->AddColumn({"Category", "SCH:Category", "@s20", 80});
        tasks_->AddSortOrder(ScheduleDef().key("SCH:KeyCategoryDate"));
        tasks_->AddRange("SCH:Category", [] { return Value(Categories_File().rec().Category.str()); });
        tasks_->SetFilter("(SCH:Disabled=0)");
        tasks_->SetEditControls(ui.taskNew, ui.taskEdit, ui.taskDelete);
        tasks_->SetCopyControl(ui.taskCopy);
        tasks_->SetUpdateProcedure([](int, std::function<void(int)> done) { UpdateSchedule(std::move(done)); });
        tasks_->Popup().AddItemMimic("Copy", "Cop&y", ui.taskCopy);
        categories_->SetOnNewSelection([this] {
            if (tasks_) tasks_->ResetFromFile();
        });
        if (categories_->Init() != 0) return false;
        // The task list's range is the highlighted category.
        if (categories_->HasRows()) {
            if (categories_->Selected() < 0) categories_->Select(0);
            categories_->UpdateViewRecord();
        }
        if (tasks_->Init() != 0) return false;
        // The task list's Xplore: its columns, sorting on each, the saved layout.
        xplore_ = std::make_unique<xplore::XploreList>(*tasks_, "BrowseScheduleCategories", "?List");
        std::vector<xplore::ColumnDef> cols = {
            {"SCH:Date", 40, "Date", "@d6b", "Basic - Next Date to Perform Task"},
            {"SCH:Time", 32, "Time", "@t3b", "Basic - Next Time to Perform Task"},
            {"SCH:Description", 160, "Description", "@s40", "Basic - Task Description/Title"},
            {"SCH:TaskType", 80, "Task Type", "@s20", "Basic - Task Type (Message/Program/Both/Reminder)"},
            {"SCH:ID", 52, "ID", "@n13", "Unique internal system ID", 'R'},
            {"SCH:Category", 80, "Category", "@s20", "Basic - Task Category"},
        };
        for (auto& c : cols) c.sortable = true;
        cols[4].display = cols[5].display = false;
        xplore_->Start("Underline", cols, Options().GlobalDateFormat.get());
        return true;
    }
    bool TakeEvent(int e) override {
        if (e == kEventAlreadyOpen) {
            ComeForward();
            ui.categories->setFocus();
            return true;
        }
        const bool a = categories_ && categories_->TakeEvent(e);
        const bool b = tasks_ && tasks_->TakeEvent(e);
        return a || b;
    }
    void TakeAccepted(QObject* c) override {
        if (c == ui.taskCopy) {
            // The form opens as an insert primed with the highlighted task,
            // and copies its script to the new task.
            if (!tasks_->HasRows() || !tasks_->UpdateViewRecord()) return;
            CopySourceID() = Schedule_File().rec().ID;
            tasks_->AskRecord(kInsertRecord, true);
            return;
        }
        if (c == ui.taskNew) CopySourceID() = 0;
        if (categories_ && categories_->HandleAccepted(c)) return;
        if (tasks_) tasks_->HandleAccepted(c);
    }
    void Kill() override {
        if (xplore_) xplore_->Save();
        tables_.Close();
    }

private:
    WindowTables tables_;
    std::unique_ptr<BrowseView> categories_;
    std::unique_ptr<BrowseView> tasks_;
    std::unique_ptr<xplore::XploreList> xplore_;  // after the list it serves
};

}  // namespace

void UpdateCategories(std::function<void(int response)> done) { (new UpdateCategoriesWindow)->Call(std::move(done)); }

void SelectCategories(std::function<void(int response)> done) { (new SelectCategoriesWindow)->Call(std::move(done)); }

void BrowseScheduleCategories() { (new BrowseScheduleCategoriesWindow)->OpenOrCall(); }

}  // namespace kr::tasks
