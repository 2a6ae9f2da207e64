// The add-task wizards without a display: what sets the general, program and
// message wizards apart, and the order of their pages.
#pragma once

#include <string_view>

namespace kr::tasks {

enum class TaskWizard { General, Program, Message };

// How one wizard differs from the others.
struct TaskWizardTraits {
    const char* procedure;    // "Wizard:GeneralTask"
    const char* title;        // "Add Task Wizard"
    const char* icon;
    const char* taskType;     // the primed type ("Both" for the general wizard)
    const char* whenHeading;  // "When to do it..."
    int pages;
    bool commandRequired, messageRequired;
    bool lastWavInProgramIni;       // else in the settings store
    bool rememberWavFolder;         // [Defaults] "WAVPath"
    bool monthEndAtOnce;            // Month End greys the other boxes as it is ticked
    bool descriptionFillsMessage;   // an empty message takes the description
    bool finishClearsDisabled;      // else the Disable box counts
    bool fillStartFolder;           // an empty start folder follows the chosen program
};
const TaskWizardTraits& TraitsOf(TaskWizard w);

// Pages of the general wizard.
enum GeneralPage { kPageTask = 1, kPageCategory, kPageCommand, kPageMessage, kPageWhen, kPageAdvanced };

// The page Next and Back lead to from `page` for the chosen task type; the
// same page where there is none (Next on the last, Back on the first).
// The general wizard passes over the Command page for a task without a
// program ("Display Message", "None") and the Message page for "Run
// Program"; the program and message wizards go strictly in order.
int NextWizardPage(TaskWizard w, int page, std::string_view taskType);
int BackWizardPage(TaskWizard w, int page, std::string_view taskType);

}  // namespace kr::tasks
