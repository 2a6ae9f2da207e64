// The script editing windows: the item form (UpdateScripting, with its Start
// Program options and the "Advanced Settings" window pickers), the script
// list of the current task (BrowseScripting), the whole-script clear and
// print, and the key abbreviation viewer. Each works on the current
// procedure thread's Schedule and Scripting buffers.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/RecordProcess.h"
#include "platform/ui/ReportPreview.h"
#include "dictionary/SchedulingTables.h"
#include "scriptedit/ScriptSequencer.h"
#include "scriptedit/TemplateTokens.h"

class QObject;
class QWidget;

namespace kr::scriptedit {

// The item form for GlobalRequest() (insert, change, delete or view). done
// gets the response. A task's item is the Scripting buffer (a new one goes
// to the task in the Schedule buffer); a template's item is the
// ScriptTemplateDetails buffer (a new one goes to the template in the
// ScriptTemplates buffer). The owner is the caller's to say: the form never
// asks GlobalScriptWizardMode(), so a task's form open while the template
// list is open keeps to the task.
void UpdateScripting(std::function<void(int response)> done = {}, ScriptOwner owner = ScriptOwner::Task);
// The Start Program options of an item.
void UpdateScripting_StartProgram_Advanced(Scripting& item, std::function<void(int response)> done = {});

// A stored e-mail message chosen for a Send Email item.
struct ChosenMessage {
    int32_t emailID = 0;
    std::string subject;
    std::string to;
};
// The e-mail message list in select mode, as the organiser installs it:
// it calls back with the chosen message, or nothing when closed without a
// choice. The item form puts the choice into the item it edits (a task's or
// a template's); "Select &Message" is off while none is installed.
using MessageChooser = std::function<void(QWidget* parent, std::function<void(std::optional<ChosenMessage>)> chosen)>;
void SetMessageChooser(MessageChooser chooser);
// The message form the organiser installs for "&New Message": a new stored
// message (no contact); done once it has closed. "&New Message" is off
// while none is installed.
using NewMessageForm = std::function<void(std::function<void()> done)>;
void SetNewMessageForm(NewMessageForm form);
// The list of key abbreviations (KEYCODES.TXT beside the programs).
void ViewAscii_ScriptKeys();

// The script list of the task in the Schedule buffer, window-modal over the
// caller. It may fill the task's blank command ("N/A") and description.
void BrowseScripting(std::function<void()> done = {});
// The same for the given task (the buffer's ID is set to it first). One
// list per task: a second start for a task whose list is open brings that
// list forward; the list of another task opens beside it.
void BrowseScripting(int32_t task, std::function<void()> done);

// Asks "Delete all script items for the current task?" and deletes them in
// the progress window; done gets true when they were deleted. The owner is
// the editor's: a task's list clears the task in the Schedule buffer, the
// template form the template in the ScriptTemplates buffer.
void ClearAllScriptItems(std::function<void(bool cleared)> done = {}, ScriptOwner owner = ScriptOwner::Task);
// The buttons over a task's items that the script list and the script
// wizard both offer.
struct ScriptItemButtons {
    QObject* clear = nullptr;
    QObject* import = nullptr;
    QObject* exportScript = nullptr;
    QObject* editText = nullptr;
};
// Clear, Import, Export or Edit as Text of the task's items when `control`
// is one of `buttons` (true), else nothing (false); `refresh` runs once the
// work is done, when `window` is still open.
bool HandleScriptItemButtons(QObject* control, const ScriptItemButtons& buttons, int32_t taskID, QWidget* window,
                             std::function<void()> refresh);
// CopyScriptTemplateToScript from a window: asks every token's answer,
// then adds the items in the progress window ("Importing Template"); done
// gets the number of items added once the window has gone.
void CopyScriptTemplateToScriptWindow(int32_t wizID, int32_t taskID, std::function<void(int added)> done = {});
// The report of the current task's items.
std::shared_ptr<ReportJob> MakeScriptReport(int32_t taskID, const std::string& description);
void PrintCurrentScript(std::function<void(int response)> done = {});

// "Scripting:  Edit As Text": the task's script as text; OK replaces the
// items with what the box holds (after warnings about lines that will not
// read back and items the text cannot show).
void ScriptEditAsText(std::function<void(int response)> done = {});
// "Edit Script as Text: Reference": builds a key code, value reference or
// command line; Close puts it on the clipboard.
void ScriptTextReference(std::function<void(int response)> done = {});
// The command lines offered by the reference window.
const std::vector<std::string>& ScriptCommandTemplates();
// Before a text replaces the task's script: asks when items the text cannot
// show would be deleted; true to go on.
bool ConfirmScriptReplace(int32_t taskID);

// The window that asks for a template token's answer ("More Information
// Required") over parent; the answer, or nothing when cancelled.
std::optional<std::string> AskTemplateToken(QWidget* parent, TemplateAskKind kind, const std::string& prompt,
                                            const std::string& prefill);
// Makes these windows the asker of the template copy.
void InstallTemplateAskWindows();

// "Script Templates": the template list (one at a time). While it is open
// GlobalScriptWizardMode() is 1.
void BrowseScriptTemplates(std::function<void(int response)> done = {});
int GlobalScriptWizardMode();
// Opened with GlobalRequest() select, "&Select" closes it with the template
// picked: its ID (0 when none was picked).
int32_t ChosenScriptTemplate();
// The report of a template's items.
std::shared_ptr<ReportJob> MakeScriptTemplateReport(int32_t wizID, const std::string& description);
void PrintScriptTemplate(int32_t wizID, const std::string& description, std::function<void(int response)> done = {});

// Wizard:Script: a new script task in four pages. GlobalRequest() 1 or 2
// runs it for the hot-key form (2: the key's task in the Schedule buffer).
// done gets the response; without it the wizard opens on its own.
void Wizard_Script(std::function<void(int response)> done = {});

// The whole-script delete and copy that callers wait for (DeleteScript,
// CopyScript) run in the progress window, with Cancel.
void InstallScriptProcessWindow();

// Makes the script list the task form's "&Scripting"; installs the above.
void RegisterScriptWindows();

}  // namespace kr::scriptedit
