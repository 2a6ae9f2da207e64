// Calendar: the date picker's window over the display-free month grid.
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <memory>

#include "dictionary/Dictionary.h"
#include "dictionary/Settings.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Services.h"
#include "platform/ui/Icons.h"
#include "platform/ui/WindowManager.h"
#include "tasks/CalendarGrid.h"
#include "tasks/windows/TaskWindows.h"

namespace kr::tasks {

namespace {

struct CalendarLayout {
    QWidget* window = nullptr;
    QLabel* caption = nullptr;
    QPushButton* prevYear = nullptr;
    QPushButton* prevMonth = nullptr;
    QPushButton* nextMonth = nullptr;
    QPushButton* nextYear = nullptr;
    std::array<QPushButton*, 42> days{};
    QPushButton* today = nullptr;
    QPushButton* cancel = nullptr;

    void Build() {
        window = new QWidget;
        window->setWindowIcon(IconByName("CAL.ICO"));
        auto* v = new QVBoxLayout(window);
        auto* top = new QHBoxLayout;
        auto nav = [&](QStyle::StandardPixmap icon, const char* tip, const char* name) {
            auto* b = new QPushButton(window);
            b->setIcon(window->style()->standardIcon(icon));
            b->setToolTip(tip);
            b->setObjectName(name);
            b->setAutoDefault(false);
            return b;
        };
        prevYear = nav(QStyle::SP_MediaSeekBackward, "Previous Year", "prevYear");
        prevMonth = nav(QStyle::SP_MediaSkipBackward, "Previous month", "prevMonth");
        caption = new QLabel("Month, Year", window);
        caption->setAlignment(Qt::AlignCenter);
        caption->setObjectName("caption");
        nextMonth = nav(QStyle::SP_MediaSkipForward, "Next month", "nextMonth");
        nextYear = nav(QStyle::SP_MediaSeekForward, "Next year", "nextYear");
        top->addWidget(prevYear);
        top->addWidget(prevMonth);
        top->addWidget(caption, 1);
        top->addWidget(nextMonth);
        top->addWidget(nextYear);
        v->addLayout(top);
        auto* g = new QGridLayout;
        const char* heads[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        for (int c = 0; c < 7; ++c) {
            auto* h = new QLabel(heads[c], window);
            h->setAlignment(Qt::AlignCenter);
            g->addWidget(h, 0, c);
        }
        for (int i = 0; i < 42; ++i) {
            days[i] = new QPushButton("00", window);
            days[i]->setObjectName(QString("day%1").arg(i));
            days[i]->setAutoDefault(false);
            days[i]->setMinimumWidth(32);
            g->addWidget(days[i], 1 + i / 7, i % 7);
        }
        v->addLayout(g);
        auto* bottom = new QHBoxLayout;
        today = new QPushButton("&Today", window);
        today->setObjectName("today");
        cancel = new QPushButton("Cancel", window);
        cancel->setObjectName("cancel");
        cancel->setIcon(IconByName("cancel.ico"));
        bottom->addStretch();
        bottom->addWidget(today);
        bottom->addWidget(cancel);
        v->addLayout(bottom);
    }
};

class CalendarWindow : public WindowManager {
public:
    CalendarWindow(int32_t start, std::string mode, std::string title, std::shared_ptr<int32_t> result)
        : WindowManager("Calendar"),
          result_(std::move(result)),
          grid_(start, std::move(mode), std::move(title), &Schedule_File().rec()) {}
protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        SetCancelControl(ui.cancel);
        Fill();
        return true;
    }
    void TakeOpened() override { ui.days[grid_.StartCell()]->setFocus(); }
    void TakeAccepted(QObject* c) override {
        if (c == ui.today) {
            *result_ = Today();
            Done();
        } else if (c == ui.prevYear) {
            grid_.PreviousYear();
            Fill();
        } else if (c == ui.nextYear) {
            grid_.NextYear();
            Fill();
        } else if (c == ui.prevMonth) {
            grid_.PreviousMonth();
            Fill();
        } else if (c == ui.nextMonth) {
            grid_.NextMonth();
            Fill();
        } else {
            for (int i = 0; i < 42; ++i)
                if (c == ui.days[i] && grid_.cells()[i].day) Pick(grid_.cells()[i].date);
        }
    }

private:
    void Pick(int32_t date) {
        if (date < Today() &&
            Message("You have selected a date earlier than today.  Do you wish to use this date?", "Confirm",
                    MessageIcon::Exclamation, kButtonYes | kButtonNo, kButtonNo) != kButtonYes)
            return;
        *result_ = date;
        Done();
    }
    void Done() {
        SetResponse(1);
        CloseNow();
    }
    void Fill() {
        SetTitle(grid_.Title());
        ui.caption->setText(QString::fromStdString(grid_.Caption()));
        const std::string picture = "@" + Options().GlobalDateFormat.get();
        for (int i = 0; i < 42; ++i) {
            const CalendarCell& cell = grid_.cells()[i];
            QPushButton* b = ui.days[i];
            b->setText(cell.day ? QString::number(cell.day) : QString());
            b->setToolTip(cell.day ? QString::fromStdString(Format(Value(cell.date), picture)) : QString());
            b->setEnabled(cell.enabled && cell.day);
            // Only the month's days show: the cells before the 1st and after
            // the last day are hidden, and so is a sixth row the month does
            // not reach.
            b->setVisible(cell.day != 0);
        }
    }

    CalendarLayout ui;
    std::shared_ptr<int32_t> result_;
    CalendarGrid grid_;
};

}  // namespace

void Calendar(int32_t start, const std::string& mode, const std::string& title, std::function<void(int32_t)> done) {
    auto result = std::make_shared<int32_t>(start);
    auto* w = new CalendarWindow(start, mode, title, result);
    w->Call([result, done](int) {
        if (done) done(*result);
    });
}

}  // namespace kr::tasks
