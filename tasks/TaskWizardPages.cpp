#include "tasks/TaskWizardPages.h"

#include "platform/runtime/Strings.h"

namespace kr::tasks {

namespace {

const TaskWizardTraits kGeneral = {"Wizard:GeneralTask", "Add Task Wizard", "iexpprog.ico", "Both",
                                   "When to do it...", 6, true, true, false, true, false, false, false, false};
const TaskWizardTraits kProgram = {"Wizard:Program", "New Program Task Wizard", "0PRG.ICO", "Run Program",
                                   "When to start it...", 4, true, false, false, false, false, false, true, true};
const TaskWizardTraits kMessage = {"Wizard:Message", "New Message Task Wizard", "0MSG.ICO", "Display Message",
                                   "When to display it...", 3, false, true, true, true, true, true, true, false};

bool HasProgram(std::string_view type) {
    const std::string t = Trim(type);
    return t != "Display Message" && t != "None";
}
bool HasMessage(std::string_view type) { return Trim(type) != "Run Program"; }

}  // namespace

const TaskWizardTraits& TraitsOf(TaskWizard w) {
    switch (w) {
        case TaskWizard::Program: return kProgram;
        case TaskWizard::Message: return kMessage;
        default: return kGeneral;
    }
}

int NextWizardPage(TaskWizard w, int page, std::string_view taskType) {
    const int last = TraitsOf(w).pages;
    if (page >= last) return last;
    if (page < 1) return 1;
    if (w != TaskWizard::General) return page + 1;
    if (page == kPageCategory) return HasProgram(taskType) ? kPageCommand : kPageMessage;
    if (page == kPageCommand) return HasMessage(taskType) ? kPageMessage : kPageWhen;
    return page + 1;
}

int BackWizardPage(TaskWizard w, int page, std::string_view taskType) {
    if (page <= 1) return 1;
    const int last = TraitsOf(w).pages;
    if (page > last) return last;
    if (w != TaskWizard::General) return page - 1;
    if (page == kPageMessage) return HasProgram(taskType) ? kPageCommand : kPageCategory;
    if (page == kPageWhen) return HasMessage(taskType) ? kPageMessage : kPageCommand;
    return page - 1;
}

}  // namespace kr::tasks
