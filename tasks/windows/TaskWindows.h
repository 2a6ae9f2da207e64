// The windows of task maintenance: the date picker, the task form with its
// exceptions window and program choice, the holidays and the task categories.
// Forms are called over the current procedure thread's window (no nested
// event loop) and report through a callback once they have closed; the
// request is taken from GlobalRequest() as each opens.
#pragma once

#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "dictionary/SchedulingTables.h"

class QWidget;

namespace kr::tasks {

// Calendar: the month grid opened on `start` (0: today's month); mode "None"
// enables every day, any other mode greys the days the Schedule buffer's task
// does not allow. done gets the chosen date, or the start date when cancelled.
void Calendar(int32_t start, const std::string& mode, const std::string& title,
              std::function<void(int32_t)> done);

// UpdateSchedule: the task form over the Schedule buffer (request insert,
// change, delete or view). done gets the response.
void UpdateSchedule(std::function<void(int response)> done = {});
// UpdateSchedule:ExceptionsWindow: the task's exceptions, in the buffer only.
void UpdateSchedule_ExceptionsWindow(std::function<void()> done = {});

// ChooseProgram: picks SCH:Command (and a blank SCH:Path) for the buffer's
// task; SelectProgram the same for a script item's command and folder, of
// whichever item the caller hands it (the item form passes the item it
// edits, a task's or a template's).
void ChooseProgram(QWidget* parent, std::function<void(bool chosen)> done = {});
void SelectProgram(QWidget* parent, FString<255>& command, FString<255>& path);

// Holidays and categories.
void BrowseHolidays();
void UpdateHolidays(std::function<void(int response)> done = {});
void BrowseScheduleCategories();
void UpdateCategories(std::function<void(int response)> done = {});
// The category lookup: leaves the choice in the Categories buffer.
void SelectCategories(std::function<void(int response)> done = {});

// The file dialog the windows ask (tests install their own): a title, the
// folder it starts in and its filters ("Name (patterns)"); the chosen file or
// nullopt. The program never changes its current folder for a dialog.
using FileChooser = std::function<std::optional<std::string>(QWidget* parent, const std::string& title,
                                                             const std::string& startFolder,
                                                             const QStringList& filters)>;
void SetFileChooser(FileChooser chooser);
std::optional<std::string> ChooseFile(QWidget* parent, const std::string& title, const std::string& startFolder,
                                      const QStringList& filters);

// The task's script list ("&Scripting"), supplied by the script windows;
// while none is installed the button is disabled. The opener is given the
// task whose items the list shows and makes (a form's or wizard's reserved
// ID, the list's highlighted task); the Schedule buffer holds that task.
using ScriptListOpenerFn = std::function<void(int32_t task, std::function<void()> done)>;
void SetScriptListOpener(ScriptListOpenerFn opener);
bool HasScriptListOpener();
// Opens the script list of the task (request change).
void OpenScriptList(int32_t task, std::function<void()> done);
// The task's script as text ("Edit Script as Text"), supplied by the script
// windows the same way.
void SetScriptTextOpener(std::function<void(std::function<void()> done)> opener);
bool HasScriptTextOpener();
void OpenScriptText(std::function<void()> done);

// The script wizard in hot-key mode (request 1: a new task, 2: the task in
// the Schedule buffer), supplied by the script windows; done gets the
// response and the Schedule buffer then holds the task.
void SetScriptWizardOpener(std::function<void(int request, std::function<void(int response)> done)> opener);
bool HasScriptWizardOpener();
void OpenScriptWizard(int request, std::function<void(int response)> done);

// BrowseSchedule: "Scheduled Tasks", the task list in four tabs.
void BrowseSchedule();
// ExploreSchedule: "Explore Schedule", the tasks by date under three filters.
void ExploreSchedule();
// UpdateSchedule:SpecialEventWizard: a one-time variant of the task in the
// Schedule buffer; done gets the response.
void UpdateSchedule_SpecialEventWizard(std::function<void(int response)> done = {});
// Wizard:Message: a new message task in three pages; `primed` (a to-do item)
// keeps its date, time, description and message.
void Wizard_Message(std::optional<Schedule> primed = std::nullopt);
// Wizard:Program and Wizard:GeneralTask: a new program task, a new task of
// any type.
void Wizard_Program();
void Wizard_GeneralTask();
// Makes the category when it does not exist yet.
void EnsureCategory(const std::string& name);
// Wizard:NewBirthdays: a yearly birthday, anniversary or event reminder.
void Wizard_NewBirthdays();

// Registers the procedures the frame starts ("BrowseScheduleCategories",
// "BrowseHolidays", "BrowseSchedule", "ExploreSchedule",
// "Wizard:NewBirthdays") and installs the
// calendar as the re-dating window's date picker.
void RegisterTaskWindows();

}  // namespace kr::tasks
