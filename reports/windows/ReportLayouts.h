// The layouts of the two schedule reports the benchmark measures.
#pragma once

#include <memory>

#include "platform/ui/report/Report.h"

namespace kr::reports {

// The full task layout of the lists of every task (Schedule buffer).
std::shared_ptr<report::ReportLayout> FullTaskLayout();
// "Schedule in Brief" over the Schedule buffer, or over the work file's.
std::shared_ptr<report::ReportLayout> BriefLayout(const char* title, bool workfile);

}  // namespace kr::reports
