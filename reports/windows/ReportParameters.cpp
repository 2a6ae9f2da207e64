// "Report Criteria", "Set Report Title" and the progress windows of the
// work file.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QWidget>

#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/ProcessWindow.h"
#include "platform/ui/Requests.h"
#include "platform/ui/WindowManager.h"
#include "reports/ReportCriteria.h"
#include "reports/Workfile.h"
#include "reports/windows/ReportWindows.h"
#include "tasks/windows/TaskWindows.h"

namespace kr::reports {

namespace {

// A date entry's picture: the user's date format in place of a date picture.
std::string DatePicture() {
    const std::string f = Trim(Options().GlobalDateFormat.get());
    return f.empty() ? "@d17" : (f[0] == '@' ? f : "@" + f);
}

// "&OK" (the default button) and "Cancel" at the foot of a window.
QHBoxLayout* OkCancelRow(QWidget* window, QPushButton*& ok, QPushButton*& cancel) {
    auto* h = new QHBoxLayout;
    ok = new QPushButton("&OK", window);
    ok->setObjectName("ok");
    ok->setDefault(true);
    cancel = new QPushButton("Cancel", window);
    cancel->setObjectName("cancel");
    h->addStretch();
    h->addWidget(ok);
    h->addWidget(cancel);
    return h;
}

struct ReportParametersLayout {
    QWidget* window = nullptr;
    QRadioButton* dateAll = nullptr;
    QRadioButton* dateSelected = nullptr;
    QLabel* fromLabel = nullptr;
    QLineEdit* from = nullptr;
    QPushButton* pickFrom = nullptr;
    QLabel* toLabel = nullptr;
    QLineEdit* to = nullptr;
    QPushButton* pickTo = nullptr;
    QRadioButton* categoryAll = nullptr;
    QRadioButton* categorySelected = nullptr;
    QComboBox* category = nullptr;
    std::vector<QRadioButton*> orders;
    QCheckBox* future = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;

    QRadioButton* Radio(QWidget* parent, const char* text, const char* name) {
        auto* r = new QRadioButton(text, parent);
        r->setObjectName(name);
        return r;
    }

    void Build() {
        window = new QWidget;
        auto* v = new QVBoxLayout(window);

        auto* dates = new QGroupBox("Date Range", window);
        auto* dg = new QGridLayout(dates);
        dateAll = Radio(dates, "All", "dateAll");
        dateSelected = Radio(dates, "Selected", "dateSelected");
        dg->addWidget(dateAll, 0, 0);
        dg->addWidget(dateSelected, 0, 1);
        fromLabel = new QLabel("From:", dates);
        from = new QLineEdit(dates);
        from->setObjectName("from");
        fromLabel->setBuddy(from);
        pickFrom = new QPushButton("...", dates);
        pickFrom->setObjectName("pickFrom");
        pickFrom->setToolTip("Select \"From\" Date");
        toLabel = new QLabel("To:", dates);
        to = new QLineEdit(dates);
        to->setObjectName("to");
        toLabel->setBuddy(to);
        pickTo = new QPushButton("...", dates);
        pickTo->setObjectName("pickTo");
        pickTo->setToolTip("Select \"To\" Date");
        for (QPushButton* b : {pickFrom, pickTo}) b->setFixedWidth(30);
        dg->addWidget(fromLabel, 1, 0);
        dg->addWidget(from, 1, 1);
        dg->addWidget(pickFrom, 1, 2);
        dg->addWidget(toLabel, 2, 0);
        dg->addWidget(to, 2, 1);
        dg->addWidget(pickTo, 2, 2);
        v->addWidget(dates);

        auto* cats = new QGroupBox("Category", window);
        auto* cg = new QGridLayout(cats);
        categoryAll = Radio(cats, "All", "categoryAll");
        categorySelected = Radio(cats, "Selected", "categorySelected");
        category = new QComboBox(cats);
        category->setObjectName("category");
        category->setEditable(true);
        category->lineEdit()->setMaxLength(20);
        category->setMinimumWidth(170);
        cg->addWidget(categoryAll, 0, 0);
        cg->addWidget(categorySelected, 0, 1);
        cg->addWidget(category, 1, 0, 1, 2);
        v->addWidget(cats);

        auto* order = new QGroupBox("Order", window);
        auto* og = new QGridLayout(order);
        int i = 0;
        for (const char* choice : kOrderChoices) {
            auto* r = Radio(order, choice, ("order" + std::to_string(i)).c_str());
            og->addWidget(r, i / 2, i % 2);
            orders.push_back(r);
            ++i;
        }
        v->addWidget(order);

        future = new QCheckBox("Include future occurances of tasks", window);
        future->setObjectName("future");
        future->setToolTip("Include future occurances");
        v->addWidget(future);

        v->addLayout(OkCancelRow(window, ok, cancel));
        ok->setToolTip("Proceed with report");
    }
};

class ReportParametersWindow : public WindowManager {
public:
    ReportParametersWindow() : WindowManager("ReportParameters") { SetSavePosition(true); }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetTitle("Report Criteria");
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        entries_ = Criteria();
        ApplyCriteriaDefaults(entries_, Today());
        picture_ = DatePicture();
        // The categories, in key order, from the window's own reading.
        auto& cat = Categories_File();
        if (cat.Open() == data::kLevelBenign) {
            const Categories saved = cat.rec();
            cat.SetOrder(cat.Key("CAT:KeyCategory"));
            while (cat.TryNext() == data::kLevelBenign) ui.category->addItem(QString::fromStdString(cat.rec().Category.str()));
            cat.rec() = saved;
            cat.Close();
        }
        ui.category->setEditText(QString::fromStdString(entries_.categoryEntry.str()));
        (entries_.dateRange.str() == kSelected ? ui.dateSelected : ui.dateAll)->setChecked(true);
        (entries_.category.str() == kSelected ? ui.categorySelected : ui.categoryAll)->setChecked(true);
        bool found = false;
        for (size_t i = 0; i < ui.orders.size(); ++i)
            if (entries_.order.str() == kOrderChoices[i]) {
                ui.orders[i]->setChecked(true);
                found = true;
            }
        if (!found) ui.orders[0]->setChecked(true);
        ui.future->setChecked(Options().ReportIncludeFutureOccurances.load() != 0);
        ShowDates();
        Enable();
        for (QRadioButton* r : {ui.dateAll, ui.dateSelected, ui.categoryAll, ui.categorySelected})
            QObject::connect(r, &QRadioButton::toggled, ui.window, [this] { Enable(); });
        return true;
    }
    void TakeAccepted(QObject* control) override {
        if (control == ui.from && ui.from->isModified()) {
            entries_.from = ReadDate(ui.from);
        } else if (control == ui.to && ui.to->isModified()) {
            entries_.to = ReadDate(ui.to);
        } else if (control == ui.pickFrom || control == ui.pickTo) {
            const bool isFrom = control == ui.pickFrom;
            QPointer<QWidget> window = ui.window;
            tasks::Calendar(isFrom ? entries_.from : entries_.to, "",
                            isFrom ? "Select \"From\" Date" : "Select \"To\" Date", [this, window, isFrom](int32_t d) {
                                if (!window || !d) return;
                                (isFrom ? entries_.from : entries_.to) = d;
                                ShowDates();
                            });
        }
        Enable();
    }
    bool TakeCompleted() override {
        entries_.dateRange = ui.dateSelected->isChecked() ? kSelected : kAll;
        entries_.category = ui.categorySelected->isChecked() ? kSelected : kAll;
        entries_.categoryEntry = ui.category->currentText().toStdString();
        for (size_t i = 0; i < ui.orders.size(); ++i)
            if (ui.orders[i]->isChecked()) entries_.order = kOrderChoices[i];
        const bool future = ui.future->isChecked();
        Options().ReportIncludeFutureOccurances = future ? 1 : 0;
        PutSetting("RIFO", future ? "1" : "0");
        Criteria() = entries_;
        ApplyCriteriaOk(entries_, future, Report());
        return true;
    }
    void TakeCancelled() override {
        ApplyCriteriaCancel(Report());
        WindowManager::TakeCancelled();
    }

private:
    int32_t ReadDate(QLineEdit* e) {
        e->setModified(false);
        const int32_t d = static_cast<int32_t>(Deformat(e->text().toStdString(), picture_).toInt());
        e->setText(QString::fromStdString(Format(Value(static_cast<int64_t>(d)), picture_)));
        return d;
    }
    void ShowDates() {
        ui.from->setText(QString::fromStdString(Format(Value(static_cast<int64_t>(entries_.from)), picture_)));
        ui.to->setText(QString::fromStdString(Format(Value(static_cast<int64_t>(entries_.to)), picture_)));
    }
    // Dates (and future occurrences) only with a selected range; the
    // category list only with a selected category.
    void Enable() {
        const bool dates = ui.dateSelected->isChecked();
        for (QWidget* w : std::initializer_list<QWidget*>{ui.fromLabel, ui.from, ui.pickFrom, ui.toLabel, ui.to,
                                                           ui.pickTo, ui.future})
            w->setEnabled(dates);
        ui.category->setEnabled(ui.categorySelected->isChecked());
    }

    ReportParametersLayout ui;
    CriteriaEntries entries_;
    std::string picture_;
};

struct SetReportTitleLayout {
    QWidget* window = nullptr;
    QLineEdit* title = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;

    void Build() {
        window = new QWidget;
        auto* v = new QVBoxLayout(window);
        v->addWidget(new QLabel("Leave the report title blank if you wish to use the default title.", window));
        auto* row = new QHBoxLayout;
        auto* label = new QLabel("Report Title:", window);
        title = new QLineEdit(window);
        title->setObjectName("title");
        title->setMaxLength(80);
        title->setMinimumWidth(360);
        label->setBuddy(title);
        row->addWidget(label);
        row->addWidget(title, 1);
        v->addLayout(row);
        v->addLayout(OkCancelRow(window, ok, cancel));
    }
};

class SetReportTitleWindow : public WindowManager {
public:
    SetReportTitleWindow() : WindowManager("SetReportTitle") { SetSavePosition(true); }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetTitle("Set Report Title");
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        ui.title->setText(QString::fromStdString(Report().ReportTitle.str()));
        ui.title->setFocus();
        return true;
    }
    bool TakeCompleted() override {
        Report().ReportTitle = ui.title->text().toStdString();
        return true;
    }

private:
    SetReportTitleLayout ui;
};

}  // namespace

void ReportParameters(std::function<void(int)> done) {
    auto* w = new ReportParametersWindow;
    w->Call([done](int response) {
        if (response != kRequestCompleted) ApplyCriteriaCancel(Report());
        if (done) done(response);
    });
}

void SetReportTitle(std::function<void(int)> done) {
    auto* w = new SetReportTitleWindow;
    w->Call(std::move(done));
}

void CreateWorkfile(std::function<void(int)> done) {
    auto empty = std::make_shared<EmptyWorkfileRun>();
    ProcessWindowOptions o;
    o.procedureName = "EmptyWorkfile";
    o.userText = "Removing old work file...";
    o.listErrors = false;
    // Cancel while emptying stops only the emptying.
    RunProcessWindow(empty, o, [done](int) {
        const ReportVariables& r = Report();
        auto build = std::make_shared<CreateWorkfileRun>(r.GLO_DateFrom, r.GLO_DateTo);
        ProcessWindowOptions c;
        c.procedureName = "CreateWorkfile";
        c.userText = "Creating future occurance information";
        c.listErrors = false;
        RunProcessWindow(build, c, [done, build](int) {
            if (done) done(build->state() == ProcessState::Finished ? kRequestCompleted : kRequestCancelled);
        });
    });
}

}  // namespace kr::reports
