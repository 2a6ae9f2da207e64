// BrowseHolidays and UpdateHolidays: the holiday list and the form of one
// holiday, with the dates that move with Easter.
#include <QButtonGroup>
#include <QGroupBox>
#include <QPointer>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <array>
#include <memory>

#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "platform/data/Errors.h"
#include "platform/data/ListQuery.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/BrowseView.h"
#include "platform/ui/FieldHistory.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/RecordWindows.h"
#include "platform/ui/Requests.h"
#include "tasks/TaskEditorRules.h"
#include "tasks/windows/ListWindowParts.h"
#include "tasks/windows/TaskWindows.h"
#include "xplore/windows/XploreList.h"
#include "tasks/windows/TypedEntry.h"

namespace kr::tasks {

namespace {

constexpr std::array<const char*, 4> kHolidayTypes = {"Annual", "Day of Month", "Easter", "Once"};

std::string DatePicture() { return "@" + Options().GlobalDateFormat.get(); }

struct UpdateHolidaysLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QLineEdit* date = nullptr;
    QPushButton* pick = nullptr;
    QLineEdit* name = nullptr;
    QWidget* typeBox = nullptr;
    std::array<QRadioButton*, 4> types{};
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;

    void Build() {
        window = new QWidget;
        window->setWindowTitle("Update the Holidays File");
        auto* v = new QVBoxLayout(window);
        sheet = new QTabWidget(window);
        auto* tab = new QWidget;
        auto* g = new QGridLayout(tab);
        date = new QLineEdit(tab);
        date->setObjectName("date");
        date->setToolTip("Date of Holiday");
        auto* dl = new QLabel("&Date:", tab);
        dl->setBuddy(date);
        pick = MakeButton(tab, "...", "pick");
        name = new QLineEdit(tab);
        name->setObjectName("name");
        name->setMaxLength(30);
        name->setToolTip("Description of Holiday");
        auto* nl = new QLabel("De&scription:", tab);
        nl->setBuddy(name);
        g->addWidget(dl, 0, 0);
        g->addWidget(date, 0, 1);
        g->addWidget(pick, 0, 2);
        g->addWidget(nl, 1, 0);
        g->addWidget(name, 1, 1, 1, 2);
        auto* box = new QGroupBox("Holiday T&ype", tab);
        box->setToolTip("Holiday repetition type");
        typeBox = box;
        auto* bl = new QVBoxLayout(box);
        auto* group = new QButtonGroup(box);
        for (int i = 0; i < 4; ++i) {
            types[i] = new QRadioButton(kHolidayTypes[i], box);
            types[i]->setObjectName(QString("type%1").arg(i));
            group->addButton(types[i]);
            bl->addWidget(types[i]);
        }
        g->addWidget(box, 2, 0, 1, 3);
        sheet->addTab(tab, "General");
        v->addWidget(sheet);
        AddOkCancel(window, v, ok, cancel, "ok.ico", "cancel.ico");
    }
};

class UpdateHolidaysWindow : public RecordFormWindow<UpdateHolidaysLayout> {
public:
    UpdateHolidaysWindow() : RecordFormWindow("UpdateHolidays") { SetSavePosition(true, true); }

protected:
    bool Init() override {
        if (!OpenForm({&Holidays_File()})) return false;
        openType_ = Holidays_File().rec().HolidayType.str();
        required_.SetMessage(ui.date, true, "Holiday Date", "Holiday Date", "Holiday Date", "HOL:HolidayDate");
        TrackTyping(ui.date);
        DisableInViewMode(ui.pick);
        if (!mode_.ReadOnly()) {
            // The history key puts back a control's value from the last
            // holiday saved through this form.
            history_.Add(ui.date, "HOL:HolidayDate");
            history_.Add(ui.name, "HOL:Holiday");
            history_.Add(ui.typeBox, "HOL:HolidayType");
        }
        ApplyMode(Request() == kInsertRecord ? "New Holiday" : "Edit Holiday ");
        Show();
        return true;
    }
    void TakeAccepted(QObject* c) override {
        Store();
        Holidays& HOL = Holidays_File().rec();
        if (c == ui.pick) {
            QPointer<QWidget> w = ui.window;
            Calendar(HOL.HolidayDate, "None", "Select Date", [this, w](int32_t d) {
                if (!w) return;
                Holidays_File().rec().HolidayDate = d;
                Show();
            });
        } else if (c == ui.types[0] || c == ui.types[1] || c == ui.types[2] || c == ui.types[3]) {
            if (HOL.HolidayType.str() != openType_ && HOL.HolidayType.str() == "Easter")
                HOL.HolidayDate = EasterHolidayDate(HOL.HolidayDate, HOL.Holiday.str(), Today());
        }
        Show();
    }
    bool TakeCompleted() override {
        Store();
        if (required_.Check(false)) return false;
        return WriteForm(Holidays_File(), Holidays_Relations(), &history_);
    }
    void ShowStored() override { Show(); }

private:
    void Show() {
        const Holidays& HOL = Holidays_File().rec();
        ui.date->setText(QString::fromStdString(Format(Value(HOL.HolidayDate), DatePicture())));
        ClearTyped(ui.date);
        if (ui.name->text().toStdString() != HOL.Holiday.str()) ui.name->setText(QString::fromStdString(HOL.Holiday.str()));
        for (int i = 0; i < 4; ++i) ui.types[i]->setChecked(HOL.HolidayType.str() == kHolidayTypes[i]);
        mode_.Reapply(*this);
    }
    void Store() {
        Holidays& HOL = Holidays_File().rec();
        if (Typed(ui.date))
            HOL.HolidayDate = static_cast<int32_t>(Deformat(ui.date->text().toStdString(), DatePicture()).toInt());
        ClearTyped(ui.date);
        HOL.Holiday = ui.name->text().toStdString();
        for (int i = 0; i < 4; ++i)
            if (ui.types[i]->isChecked()) HOL.HolidayType = kHolidayTypes[i];
    }

    FieldHistory history_{"UpdateHolidays"};
    std::string openType_;
};

struct BrowseHolidaysLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QTableView* list = nullptr;
    QPushButton *insert = nullptr, *change = nullptr, *del = nullptr, *close = nullptr;
    void Build() {
        window = new QWidget;
        window->setWindowTitle("Holidays");
        window->resize(420, 360);
        auto* v = new QVBoxLayout(window);
        sheet = new QTabWidget(window);
        ListTab tab = AddListTab(sheet, "Holidays");
        list = tab.list;
        insert = MakeButton(tab.page, "&New", "insert");
        change = MakeButton(tab.page, "&Edit", "change");
        del = MakeButton(tab.page, "&Delete", "del");
        tab.layout->addLayout(ButtonRow({insert, change, del}));
        v->addWidget(sheet);
        close = MakeButton(window, "Cl&ose", "close", "EXIT.ICO");
        v->addLayout(FootRow({close}));
    }
};

class BrowseHolidaysWindow : public ListWindow<BrowseHolidaysLayout> {
public:
    BrowseHolidaysWindow() : ListWindow("BrowseHolidays") {}

protected:
    bool Init() override {
        if (!OpenList(Holidays_File(), ui.close)) return false;
        list_->AddColumn({"Date", "HOL:HolidayDate", data::ApplyDatePicture("@d3", Options().GlobalDateFormat.get()), 47});
        list_->AddColumn({"Description", "HOL:Holiday", "@s30", 80});
        list_->AddSortOrder(HolidaysDef().key("HOL:KeyHolidayDate"));
        list_->AddLocator("HOL:HolidayDate");
        list_->SetEditControls(ui.insert, ui.change, ui.del);
        list_->SetUpdateProcedure([](int, std::function<void(int)> done) { UpdateHolidays(std::move(done)); });
        if (list_->Init() != 0) return false;
        xplore_ = std::make_unique<xplore::XploreList>(*list_, "BrowseHolidays", "?Browse:1");
        std::vector<xplore::ColumnDef> cols = {
            {"HOL:HolidayDate", 44, "Date", "@d3", "Date of Holiday", 'R'},
            {"HOL:Holiday", 120, "Description", "@s30", "Description of Holiday"},
        };
        for (auto& c : cols) c.sortable = true;
        xplore_->Start("Underline", cols, Options().GlobalDateFormat.get());
        return true;
    }
    void Kill() override {
        if (xplore_) xplore_->Save();
        ListWindow::Kill();
    }

private:
    std::unique_ptr<xplore::XploreList> xplore_;  // after the list it serves
};

}  // namespace

void UpdateHolidays(std::function<void(int response)> done) { (new UpdateHolidaysWindow)->Call(std::move(done)); }

void BrowseHolidays() {
    // Started by the frame on a thread of its own it is that thread's window;
    // from the exceptions window it opens over it.
    (new BrowseHolidaysWindow)->OpenOrCall();
}

}  // namespace kr::tasks
