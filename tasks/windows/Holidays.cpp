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
#include "platform/ui/Requests.h"
#include "platform/ui/RequiredFields.h"
#include "platform/ui/TabHighlight.h"
#include "platform/ui/WindowManager.h"
#include "tasks/TaskEditorRules.h"
#include "tasks/windows/ListWindowParts.h"
#include "tasks/windows/TaskWindows.h"
#include "xplore/windows/XploreList.h"
#include "tasks/windows/TypedEntry.h"

namespace kr::tasks {

namespace {

using data::kLevelBenign;

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
        ok = MakeButton(window, "&OK", "ok", "ok.ico");
        ok->setDefault(true);
        cancel = MakeButton(window, "Cancel", "cancel", "cancel.ico");
        auto* row = new QHBoxLayout;
        row->addStretch();
        row->addWidget(ok);
        row->addWidget(cancel);
        v->addLayout(row);
    }
};

class UpdateHolidaysWindow : public WindowManager {
public:
    UpdateHolidaysWindow() : WindowManager("UpdateHolidays") { SetSavePosition(true, true); }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        int request = Request();
        if (request == kViewRecord) {
            view_ = true;
            SetRequest(kChangeRecord);
        } else if (request == kDeleteRecord) {
            delete_ = true;
        }
        if (Holidays_File().Open() != kLevelBenign) return false;
        opened_ = true;
        openType_ = Holidays_File().rec().HolidayType.str();
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        tabs_.Init(ui.window, -1, -1, false, false, true, -1, 0xA7A7A7);
        required_.Init(ui.window);
        required_.SetMessage(ui.date, true, "Holiday Date", "Holiday Date", "Holiday Date", "HOL:HolidayDate");
        SetRequiredFields(&required_);
        TrackTyping(ui.date);
        DisableInViewMode(ui.pick);
        if (!view_ && !delete_) {
            // The history key puts back a control's value from the last
            // holiday saved through this form.
            history_.Add(ui.date, "HOL:HolidayDate");
            history_.Add(ui.name, "HOL:Holiday");
            history_.Add(ui.typeBox, "HOL:HolidayType");
        }
        if (view_ || delete_) SetViewMode(true);
        if (delete_) {
            ui.ok->show();
            ui.ok->setEnabled(true);
            ui.cancel->setText("Cancel");
        }
        if (view_) ui.cancel->setIcon(IconByName("~close.ico"));
        const std::string title = Request() == kInsertRecord ? "New Holiday" : "Edit Holiday ";
        SetTitle(view_ ? ViewTitle(title) : title);
        Show();
        return true;
    }
    void TakeOpened() override {
        if (delete_) {
            // Delete is confirmed by OK.
            ui.ok->show();
            ui.ok->setEnabled(true);
            ui.cancel->setText("Cancel");
        }
        if (view_ || delete_) ui.cancel->setFocus();
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
        int r;
        if (delete_)
            r = Holidays_Relations().Delete(false);
        else if (Request() == kInsertRecord)
            r = Holidays_File().Insert();
        else
            r = Holidays_Relations().Update(true);
        if (r != kLevelBenign) return false;
        if (!delete_ && !view_) history_.Remember();
        return true;
    }
    void Kill() override {
        tabs_.Kill();
        required_.Kill();
        if (opened_) Holidays_File().Close();
    }

private:
    void Show() {
        const Holidays& HOL = Holidays_File().rec();
        ui.date->setText(QString::fromStdString(Format(Value(HOL.HolidayDate), DatePicture())));
        ClearTyped(ui.date);
        if (ui.name->text().toStdString() != HOL.Holiday.str()) ui.name->setText(QString::fromStdString(HOL.Holiday.str()));
        for (int i = 0; i < 4; ++i) ui.types[i]->setChecked(HOL.HolidayType.str() == kHolidayTypes[i]);
        if (view_ || delete_) ApplyViewMode();
        if (delete_) {
            ui.ok->show();
            ui.ok->setEnabled(true);
        }
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

    UpdateHolidaysLayout ui;
    FieldHistory history_{"UpdateHolidays"};
    RequiredFields required_;
    TabHighlight tabs_;
    std::string openType_;
    bool view_ = false, delete_ = false, opened_ = false;
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
        auto* tab = new QWidget;
        auto* t = new QVBoxLayout(tab);
        list = MakeList(tab, "list", "Browsing Records");
        t->addWidget(list);
        insert = MakeButton(tab, "&New", "insert");
        change = MakeButton(tab, "&Edit", "change");
        del = MakeButton(tab, "&Delete", "del");
        t->addLayout(ButtonRow({insert, change, del}));
        sheet->addTab(tab, "Holidays");
        v->addWidget(sheet);
        close = MakeButton(window, "Cl&ose", "close", "EXIT.ICO");
        auto* row = new QHBoxLayout;
        row->addStretch();
        row->addWidget(close);
        v->addLayout(row);
    }
};

class BrowseHolidaysWindow : public WindowManager {
public:
    BrowseHolidaysWindow() : WindowManager("BrowseHolidays") {
        SetSingleInstance(true);
        SetSavePosition(true, true);
    }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetCancelControl(ui.close);
        if (Holidays_File().Open() != kLevelBenign) return false;
        opened_ = true;
        if (Holidays_File().UseFile()) return false;
        tabs_.Init(ui.window, -1, -1, false, false, true, -1, 0xA7A7A7);
        list_ = std::make_unique<BrowseView>(Holidays_File().File(), ui.list, this);
        list_->AddColumn({"Date", "HOL:HolidayDate", data::ApplyDatePicture("@d3", Options().GlobalDateFormat.get()), 47});
        list_->AddColumn({"Description", "HOL:Holiday", "@s30", 80});
        list_->AddSortOrder(HolidaysDef().key("HOL:KeyHolidayDate"));
        list_->AddLocator("HOL:HolidayDate");
        list_->SetInsertControl(ui.insert);
        list_->SetChangeControl(ui.change);
        list_->SetDeleteControl(ui.del);
        list_->SetUpdateProcedure([](int, std::function<void(int)> done) { UpdateHolidays(std::move(done)); });
        if (list_->Init() != 0) return false;
        xplore_ = std::make_unique<xplore::XploreList>(*list_, "BrowseHolidays", "?Browse:1");
        std::vector<xplore::ColumnDef> cols = {
            {"HOL:HolidayDate", 44, "Date", "@d3", "Date of Holiday", 'R'},
            {"HOL:Holiday", 120, "Description", "@s30", "Description of Holiday"},
        };
        for (auto& c : cols) c.sortable = true;
        xplore_->core().Attach("Underline");
        xplore_->core().Init(cols);
        xplore_->core().AddSortOrder(1);
        xplore_->core().SyncOrders(nullptr);
        xplore_->Restore(Options().GlobalDateFormat.get());
        return true;
    }
    bool TakeEvent(int e) override {
        if (e == 518) {  // another start: come forward
            if (Window()->isMinimized()) Window()->showNormal();
            Window()->raise();
            Window()->activateWindow();
            return true;
        }
        return list_ && list_->TakeEvent(e);
    }
    void TakeAccepted(QObject* c) override {
        if (list_) list_->HandleAccepted(c);
    }
    void TakeNewSelection(QObject* c) override {
        if (c == ui.sheet) {
            tabs_.Refresh();
            if (list_ && list_->HasRows()) ui.list->setFocus();
        }
    }
    void Kill() override {
        if (xplore_) xplore_->Save();
        tabs_.Kill();
        if (opened_) Holidays_File().Close();
    }

private:
    BrowseHolidaysLayout ui;
    TabHighlight tabs_;
    std::unique_ptr<BrowseView> list_;
    std::unique_ptr<xplore::XploreList> xplore_;  // after the list it serves
    bool opened_ = false;
};

}  // namespace

void UpdateHolidays(std::function<void(int response)> done) { (new UpdateHolidaysWindow)->Call(std::move(done)); }

void BrowseHolidays() {
    // Started by the frame on a thread of its own it is that thread's window;
    // from the exceptions window it opens over it.
    auto* w = new BrowseHolidaysWindow;
    if (TopWindowOf(CurrentProcedureThread()))
        w->Call();
    else
        w->Open();
}

}  // namespace kr::tasks
