#include "scheduler/windows/RescheduleAllTasks.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>

#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/ProcessWindow.h"
#include "platform/ui/Requests.h"
#include "platform/ui/WindowManager.h"
#include "scheduler/ReDate.h"
#include "scheduler/TableScheduleStore.h"

namespace kr {

namespace {

CalendarPicker& Picker() {
    static CalendarPicker picker;
    return picker;
}

// The moment the window remembers between openings.
int32_t g_rememberedDate = 0;
int32_t g_rememberedTime = 0;

constexpr const char* kDatePicture = "@d17";
constexpr const char* kTimePicture = "@t7";

struct RescheduleAllTasks_GetDateLayout {
    QWidget* window = nullptr;
    QLineEdit* date = nullptr;
    QPushButton* pick = nullptr;
    QLineEdit* time = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;

    void Build() {
        window = new QWidget;
        auto* v = new QVBoxLayout(window);
        v->addWidget(new QLabel("This will re-schedule all tasks for their next regular", window));
        v->addWidget(new QLabel("occurance after a specific date and time.", window));
        auto* g = new QGridLayout;
        auto* dateLabel = new QLabel("Date:", window);
        date = new QLineEdit(window);
        date->setObjectName("date");
        date->setToolTip("Reschedule tasks for dates after this date");
        dateLabel->setBuddy(date);
        pick = new QPushButton("...", window);
        pick->setObjectName("pick");
        auto* timeLabel = new QLabel("Time:", window);
        time = new QLineEdit(window);
        time->setObjectName("time");
        time->setToolTip("Reschedule tasks for the next scheduled time after this time");
        timeLabel->setBuddy(time);
        g->addWidget(dateLabel, 0, 0);
        g->addWidget(date, 0, 1);
        g->addWidget(pick, 0, 2);
        g->addWidget(timeLabel, 1, 0);
        g->addWidget(time, 1, 1);
        v->addLayout(g);
        auto* h = new QHBoxLayout;
        ok = new QPushButton("&OK", window);
        ok->setObjectName("ok");
        ok->setDefault(true);
        cancel = new QPushButton("Cancel", window);
        cancel->setObjectName("cancel");
        h->addStretch();
        h->addWidget(ok);
        h->addWidget(cancel);
        v->addLayout(h);
    }
};

class RescheduleAllTasks_GetDateWindow : public WindowManager {
public:
    RescheduleAllTasks_GetDateWindow() : WindowManager("RescheduleAllTasks:GetDate") {}
    int32_t date() const { return date_; }
    int32_t time() const { return time_; }

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetTitle("Re-Date Tasks");
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        date_ = g_rememberedDate;
        time_ = g_rememberedTime;
        ReDateStartMoment(date_, time_);
        ShowDate();
        ShowTime();
        ui.pick->setEnabled(static_cast<bool>(Picker()));
        return true;
    }
    void TakeAccepted(QObject* control) override {
        // The entries keep the exact moment unless the user typed over them
        // (the time picture shows no seconds).
        if (control == ui.date && ui.date->isModified()) {
            date_ = static_cast<int32_t>(Deformat(ui.date->text().toStdString(), kDatePicture).toInt());
            ui.date->setModified(false);
            ShowDate();
        } else if (control == ui.time && ui.time->isModified()) {
            time_ = static_cast<int32_t>(Deformat(ui.time->text().toStdString(), kTimePicture).toInt());
            ui.time->setModified(false);
            ShowTime();
        } else if (control == ui.pick && Picker()) {
            QPointer<QLineEdit> entry = ui.date;
            Picker()(date_, "None", "Select date", [this, entry](int32_t chosen) {
                if (!entry || !chosen) return;
                date_ = chosen;
                ShowDate();
            });
        }
    }
    bool TakeCompleted() override {
        if (!CheckReDateMoment(date_, time_)) {
            ui.date->setFocus();
            return false;
        }
        g_rememberedDate = date_;
        g_rememberedTime = time_;
        return true;
    }

private:
    void ShowDate() { ui.date->setText(QString::fromStdString(Format(Value(date_), kDatePicture))); }
    void ShowTime() { ui.time->setText(QString::fromStdString(Format(Value(time_), kTimePicture))); }

    RescheduleAllTasks_GetDateLayout ui;
    int32_t date_ = 0, time_ = 0;
};

// Opens the progress window once the closed "Re-Date Tasks" window is gone
// from its procedure thread (its response comes before it is destroyed, and a
// window opened over it would go with it).
void StartAfter(QPointer<QWidget> closing, int thread, std::function<void(int)> done, int tries) {
    if (closing && tries > 0) {
        QTimer::singleShot(10, QCoreApplication::instance(), [closing, thread, done, tries] {
            ProcedureThreadScope scope(thread);
            StartAfter(closing, thread, done, tries - 1);
        });
        return;
    }
    RescheduleAllTasks(g_rememberedDate, g_rememberedTime, done);
}

}  // namespace

void SetCalendarPicker(CalendarPicker picker) { Picker() = std::move(picker); }

void RescheduleAllTasks_GetDate(std::function<void(int response)> done) {
    auto* w = new RescheduleAllTasks_GetDateWindow;
    auto window = std::make_shared<QPointer<QWidget>>();
    const int thread = CurrentProcedureThread();
    const bool opened = w->Call([done, window, thread](int response) {
        if (response != kRequestCompleted) {
            if (done) done(response);
            return;
        }
        StartAfter(*window, thread, done, 100);
    });
    if (opened) *window = w->Window();
}

void RescheduleAllTasks(int32_t date, int32_t time, std::function<void(int response)> done) {
    // The pass, with the table and holidays it works on, lives as long as
    // the progress window needs it.
    struct Run {
        std::unique_ptr<TableScheduleStore> store;
        HolidaySet holidays;
        std::unique_ptr<ReDater> pass;
    };
    auto run = std::make_shared<Run>();
    run->store = std::make_unique<TableScheduleStore>();
    // The table manager has reported a failed open.
    if (run->store->openError()) {
        if (done) done(kRequestCancelled);
        return;
    }
    run->holidays = LoadHolidays();
    run->pass = std::make_unique<ReDater>(*run->store, date, time, run->holidays.Test());
    run->pass->SetBatchSize(kReDateChunk);
    ProcessWindowOptions options;
    options.procedureName = "RescheduleAllTasks";
    options.title = "Progress...";
    // Tasks whose occurrence cannot be found are reported by the pass itself.
    options.listErrors = false;
    RunProcessWindow(std::shared_ptr<BatchProcess>(run, run->pass.get()), options, std::move(done));
}

}  // namespace kr
