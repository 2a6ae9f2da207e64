#include "tasks/CalendarGrid.h"

#include "platform/runtime/DateTime.h"
#include "scheduler/NextOccurrence.h"

namespace kr::tasks {

namespace {
constexpr const char* kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};
}

CalendarGrid::CalendarGrid(int32_t start, std::string mode, std::string title, const Schedule* task)
    : start_(start), mode_(std::move(mode)), title_(std::move(title)), task_(task) {
    const int32_t shown = start_ != 0 ? start_ : Today();
    month_ = DateMonth(shown);
    year_ = DateYear(shown);
    Fill();
}

std::string CalendarGrid::Caption() const { return std::string(kMonthNames[month_ - 1]) + " " + std::to_string(year_); }

std::string CalendarGrid::Title() const {
    auto blank = [](const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; };
    if (!blank(title_)) return title_;
    if (mode_ != "None" && task_ && !task_->ScheduleType.empty()) return task_->ScheduleType.str();
    return "Select Date";
}

int CalendarGrid::StartCell() const {
    const int32_t shown = start_ != 0 ? start_ : Today();
    for (int i = 0; i < 42; ++i)
        if (cells_[i].date == shown) return i;
    return FirstCell();
}

int CalendarGrid::FirstCell() const {
    for (int i = 0; i < 42; ++i)
        if (cells_[i].day) return i;
    return 0;
}

int CalendarGrid::LastCell() const {
    for (int i = 41; i >= 0; --i)
        if (cells_[i].day) return i;
    return 41;
}

void CalendarGrid::PreviousYear() {
    if (--year_ <= 1800) year_ = 2099;
    Fill();
}

void CalendarGrid::NextYear() {
    if (++year_ >= 2100) year_ = 1801;
    Fill();
}

void CalendarGrid::PreviousMonth() {
    if (--month_ < 1) {
        month_ = 12;
        if (--year_ <= 1800) year_ = 2099;
    }
    Fill();
}

void CalendarGrid::NextMonth() {
    if (++month_ > 12) {
        month_ = 1;
        if (++year_ >= 2100) year_ = 1801;
    }
    Fill();
}

void CalendarGrid::Fill() {
    cells_ = {};
    const int32_t first = MakeDate(month_, 1, year_);
    const int days = DaysInMonth(month_, year_);
    int cell = static_cast<int>(first % 7);
    for (int d = 1; d <= days && cell < 42; ++d, ++cell) {
        CalendarCell& c = cells_[cell];
        c.day = d;
        c.date = first + d - 1;
        c.enabled = mode_ == "None" || !task_ || DateFitsSchedule(*task_, c.date);
    }
}

}  // namespace kr::tasks
