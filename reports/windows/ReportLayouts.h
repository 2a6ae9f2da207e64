// The layouts of the reports, each over its table's record buffer.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/report/Report.h"

namespace kr::reports {

// The full task layout of the lists of every task (Schedule buffer).
std::shared_ptr<report::ReportLayout> FullTaskLayout();
// The tasks of one category: date, time and description.
std::shared_ptr<report::ReportLayout> OneCategoryLayout(const std::string& category);
// "Category List".
std::shared_ptr<report::ReportLayout> CategoryListLayout();
// "Schedule in Brief" over the Schedule buffer, or over the work file's.
std::shared_ptr<report::ReportLayout> BriefLayout(const char* title, bool workfile);
// The daily checklist over the Schedule buffer, or over the work file's.
std::shared_ptr<report::ReportLayout> ChecklistLayout(const char* title, bool workfile);
// The to-do list with the notes text the member prints.
std::shared_ptr<report::ReportLayout> ToDoLayout(const std::string& title, std::function<Value()> notes);
// "Report the Contact File".
std::shared_ptr<report::ReportLayout> ContactsLayout();

}  // namespace kr::reports
