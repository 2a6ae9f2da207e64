// The month grid of the date picker, without display: which of the 42 day
// cells (six weeks, Sunday first) hold which day, which of them can be
// picked, the caption and the title, and the steps between months and years.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "dictionary/SchedulingTables.h"

namespace kr::tasks {

struct CalendarCell {
    int day = 0;          // 0: an empty cell
    int32_t date = 0;
    bool enabled = false;
};

class CalendarGrid {
public:
    // start 0 shows today's month. mode "None" enables every day; any other
    // mode greys the days that do not fit `task` (the Schedule buffer).
    CalendarGrid(int32_t start, std::string mode, std::string title, const Schedule* task);

    int month() const { return month_; }
    int year() const { return year_; }
    const std::array<CalendarCell, 42>& cells() const { return cells_; }
    // "March 2001".
    std::string Caption() const;
    // The title given, else the task's schedule type in a schedule mode, else "Select Date".
    std::string Title() const;
    // The cell of the start date's day (of today when the start is 0).
    int StartCell() const;
    // First and last cells that hold a day (the rows between them show).
    int FirstCell() const;
    int LastCell() const;

    void PreviousYear();  // 1801 steps back to 2099
    void NextYear();      // 2099 steps on to 1801
    void PreviousMonth();
    void NextMonth();

private:
    void Fill();
    int32_t start_;
    std::string mode_;
    std::string title_;
    const Schedule* task_;
    int month_ = 1;
    int year_ = 2000;
    std::array<CalendarCell, 42> cells_{};
};

}  // namespace kr::tasks
