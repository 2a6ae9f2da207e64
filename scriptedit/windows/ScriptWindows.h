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
#include "scriptedit/TemplateTokens.h"

class QWidget;

namespace kr::scriptedit {

// The item form over the Scripting buffer, for GlobalRequest() (insert,
// change, delete or view). done gets the response.
void UpdateScripting(std::function<void(int response)> done = {});
// The Start Program options of the Scripting buffer.
void UpdateScripting_StartProgram_Advanced(std::function<void(int response)> done = {});
// The list of key abbreviations (KEYCODES.TXT beside the programs).
void ViewAscii_ScriptKeys();

// The script list of the task in the Schedule buffer, window-modal over the
// caller. It may fill the task's blank command ("N/A") and description.
void BrowseScripting(std::function<void()> done = {});

// Asks "Delete all script items for the current task?" and deletes them in
// the progress window; done gets true when they were deleted.
void ClearAllScriptItems(std::function<void(bool cleared)> done = {});
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

// Makes the script list the task form's "&Scripting".
void RegisterScriptWindows();

}  // namespace kr::scriptedit
