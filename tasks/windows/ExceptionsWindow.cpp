// UpdateSchedule:ExceptionsWindow: the exception rules of the task in the
// Schedule buffer. It changes the buffer only; the form that opened it stores
// the record.
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <array>

#include "dictionary/Dictionary.h"
#include "platform/runtime/Picture.h"
#include "platform/ui/Icons.h"
#include "platform/ui/Requests.h"
#include "platform/ui/TabHighlight.h"
#include "platform/ui/WindowManager.h"
#include "tasks/TaskEditorRules.h"
#include "tasks/windows/TaskWindows.h"
#include "tasks/windows/TypedEntry.h"

namespace kr::tasks {

namespace {

constexpr const char* kTimePicture = "@t3";

struct ExceptionsLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QGroupBox* shiftBox = nullptr;
    std::array<QRadioButton*, 3> shift{};
    QCheckBox *weekends = nullptr, *weekdays = nullptr, *holidays = nullptr, *timeRange = nullptr;
    QLabel *beginPrompt = nullptr, *endPrompt = nullptr;
    QLineEdit *begin = nullptr, *end = nullptr;
    QPushButton* holidayList = nullptr;
    std::array<QCheckBox*, 7> days{};
    QPushButton* close = nullptr;

    void Build() {
        window = new QWidget;
        window->setWindowTitle("Exceptions");
        window->setWindowIcon(IconByName("CAL2.ICO"));
        auto* v = new QVBoxLayout(window);
        sheet = new QTabWidget(window);
        sheet->setObjectName("sheet");
        auto* standard = new QWidget;
        auto* g = new QGridLayout(standard);
        shiftBox = new QGroupBox("E&xception Action", standard);
        shiftBox->setToolTip("Exception Shift Type");
        auto* sl = new QVBoxLayout(shiftBox);
        auto* group = new QButtonGroup(shiftBox);
        for (int i = 0; i < 3; ++i) {
            shift[i] = new QRadioButton(kFormShiftTypes[i], shiftBox);
            shift[i]->setObjectName(QString("shift%1").arg(i));
            group->addButton(shift[i]);
            sl->addWidget(shift[i]);
        }
        g->addWidget(shiftBox, 0, 0, 1, 3);
        auto check = [&](const char* text, const char* name, const char* tip) {
            auto* c = new QCheckBox(text, standard);
            c->setObjectName(name);
            c->setToolTip(tip);
            return c;
        };
        weekends = check("Except &weekends", "weekends", "Except Weekends  (True/False)");
        weekdays = check("Except week&days", "weekdays", "Except Weekdays  (True/False)");
        holidays = check("Except &holidays", "holidays", "Except Holidays  (True/False)");
        timeRange = check("Except &time range:", "timeRange", "Except Time Range  (True/False)");
        g->addWidget(weekends, 1, 0);
        g->addWidget(weekdays, 2, 0);
        g->addWidget(holidays, 3, 0);
        holidayList = new QPushButton("Ho&lidays...", standard);
        holidayList->setObjectName("holidayList");
        holidayList->setAutoDefault(false);
        g->addWidget(holidayList, 3, 1);
        g->addWidget(timeRange, 4, 0);
        begin = new QLineEdit(standard);
        begin->setObjectName("begin");
        begin->setToolTip("Exception Time Range Begin");
        end = new QLineEdit(standard);
        end->setObjectName("end");
        end->setToolTip("Exception Time Range End");
        beginPrompt = new QLabel("&Begin:", standard);
        beginPrompt->setBuddy(begin);
        endPrompt = new QLabel("&End:", standard);
        endPrompt->setBuddy(end);
        g->addWidget(beginPrompt, 5, 0);
        g->addWidget(begin, 5, 1);
        g->addWidget(endPrompt, 6, 0);
        g->addWidget(end, 6, 1);
        sheet->addTab(standard, "Standard");

        auto* overrides = new QWidget;
        auto* o = new QGridLayout(overrides);
        const char* names[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
        for (int i = 0; i < 7; ++i) {
            days[i] = new QCheckBox(names[i], overrides);
            days[i]->setObjectName(names[i]);
            o->addWidget(days[i], i, 0);
        }
        auto* note = new QLabel(
            "Select the days of the week for which\nyou wish to have additional exceptions.\n\nNOTE:  These "
            "exceptions are in addition to\nthe exceptions on the Standard tab.\nYou do not need to use these "
            "unless you\nhave exceptions that do not fit into the\ncategories on the Standard tab.",
            overrides);
        o->addWidget(note, 0, 1, 7, 1);
        sheet->addTab(overrides, "Overrides By Day");
        v->addWidget(sheet);
        auto* h = new QHBoxLayout;
        close = new QPushButton("Cl&ose", window);
        close->setObjectName("close");
        close->setIcon(IconByName("EXIT.ICO"));
        close->setDefault(true);
        h->addStretch();
        h->addWidget(close);
        v->addLayout(h);
    }
};

class ExceptionsWindow : public WindowManager {
public:
    ExceptionsWindow() : WindowManager("UpdateSchedule:ExceptionsWindow") {}

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        GlobalRequest() = 0;
        GlobalResponse() = 0;
        Schedule& SCH = Schedule_File().rec();
        if (SCH.ShiftType.empty()) SCH.ShiftType = kFormShiftTypes[0];
        tabs_.Init(ui.window, -1, -1, false, false, true, -1, 0xA7A7A7);
        TrackTyping(ui.begin);
        TrackTyping(ui.end);
        const auto days = ExceptDaysOf(SCH);
        for (int i = 0; i < 7; ++i) ui.days[i]->setChecked(days[i]);
        Show();
        return true;
    }
    void TakeNewSelection(QObject* c) override {
        if (c == ui.sheet) tabs_.Refresh();
    }
    void TakeAccepted(QObject* c) override {
        Store();
        if (c == ui.weekends) {
            ui.weekdays->setEnabled(!ui.weekends->isChecked());
        } else if (c == ui.weekdays) {
            ui.weekends->setEnabled(!ui.weekdays->isChecked());
        } else if (c == ui.holidayList) {
            BrowseHolidays();
        } else if (c == ui.close) {
            std::array<bool, 7> days{};
            for (int i = 0; i < 7; ++i) days[i] = ui.days[i]->isChecked();
            SetExceptDays(Schedule_File().rec(), days);
            SetResponse(kRequestCompleted);
            CloseNow();
            return;
        }
        TimeRangeRule();
    }
    void TakeCancelled() override { CloseNow(); }

private:
    void Show() {
        const Schedule& SCH = Schedule_File().rec();
        // The field holds 20 characters of the longer choices.
        for (int i = 0; i < 3; ++i) {
            FString<20> choice;
            choice = kFormShiftTypes[i];
            ui.shift[i]->setChecked(SCH.ShiftType == choice);
        }
        ui.weekends->setChecked(SCH.ExceptWeekends);
        ui.weekdays->setChecked(SCH.ExceptWeekdays);
        ui.holidays->setChecked(SCH.ExceptHolidays);
        ui.timeRange->setChecked(SCH.ExceptTime);
        ui.begin->setText(QString::fromStdString(Format(Value(SCH.ExceptTimeBegin), "@t3b")));
        ui.end->setText(QString::fromStdString(Format(Value(SCH.ExceptTimeEnd), "@t3b")));
        ClearTyped(ui.begin);
        ClearTyped(ui.end);
        TimeRangeRule();
    }
    void Store() {
        Schedule& SCH = Schedule_File().rec();
        for (int i = 0; i < 3; ++i)
            if (ui.shift[i]->isChecked()) SCH.ShiftType = kFormShiftTypes[i];
        SCH.ExceptWeekends = ui.weekends->isChecked();
        SCH.ExceptWeekdays = ui.weekdays->isChecked();
        SCH.ExceptHolidays = ui.holidays->isChecked();
        SCH.ExceptTime = ui.timeRange->isChecked();
        if (Typed(ui.begin))
            SCH.ExceptTimeBegin = static_cast<int32_t>(Deformat(ui.begin->text().toStdString(), kTimePicture).toInt());
        if (Typed(ui.end))
            SCH.ExceptTimeEnd = static_cast<int32_t>(Deformat(ui.end->text().toStdString(), kTimePicture).toInt());
        ClearTyped(ui.begin);
        ClearTyped(ui.end);
    }
    void TimeRangeRule() {
        const bool on = Schedule_File().rec().ExceptTime != 0;
        for (QWidget* w : {static_cast<QWidget*>(ui.beginPrompt), static_cast<QWidget*>(ui.begin),
                           static_cast<QWidget*>(ui.endPrompt), static_cast<QWidget*>(ui.end)})
            w->setEnabled(on);
    }
    void Kill() override { tabs_.Kill(); }

    ExceptionsLayout ui;
    TabHighlight tabs_;
};

}  // namespace

void UpdateSchedule_ExceptionsWindow(std::function<void()> done) {
    (new ExceptionsWindow)->Call([done](int) {
        if (done) done();
    });
}

}  // namespace kr::tasks
