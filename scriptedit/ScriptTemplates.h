// Script templates (data file "KRTpl"): a template's items are copied to
// the end of a task's script, their template tokens answered on the way;
// and a template's items deleted as a whole.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dictionary/SchedulingTables.h"
#include "platform/runtime/RecordProcess.h"
#include "scriptedit/TemplateTokens.h"

namespace kr {

// The same layout, field by field.
Scripting ScriptItemOfTemplate(const ScriptTemplateDetails& d);
ScriptTemplateDetails TemplateItemOfScript(const Scripting& s);

// The items of a template in sequence order.
std::vector<ScriptTemplateDetails> ReadTemplateItems(int32_t wizID);

// The template's items made into items of the task: empty actions skipped,
// tokens expanded field by field (Keystrokes, WaitForWindow, FocusOnWindow,
// WindowTitleToCheckFor, Command, Path, DDEApplicationName,
// DDEApplicationTopic, DDELinkItem, DDECommand); a Start Program item
// without a start folder gets its command's folder. After a cancel the item
// in hand is kept with what was expanded and the rest is left out
// (`cancelled` set). Nothing is stored and no window waits on the data file.
std::vector<Scripting> ExpandTemplateItems(const std::vector<ScriptTemplateDetails>& items, int32_t taskID,
                                           TemplateAnswers& answers, const TemplateAsker& asker,
                                           bool* cancelled = nullptr);

// Adds the items after the task's last one (numbered on from it as the
// first item finds it; a taken number moves on by one, at most 1000 times),
// a batch of items per transaction, so a window can show its progress. A
// failed add is reported ("Error adding script item " and the error) and
// the adding goes on.
std::shared_ptr<RecordProcess> MakeAppendScriptItems(int32_t taskID, std::vector<Scripting> items);
// The same, run to its end at once. Answers the error texts.
std::vector<std::string> AppendScriptItems(int32_t taskID, std::vector<Scripting> items);

// CopyScriptTemplateToScript: the template's items to the end of the task,
// asking with the installed asker and the program's answers; failed adds are
// shown afterwards, titled "Error!". Answers the number of items added.
int CopyScriptTemplateToScript(int32_t wizID, int32_t taskID);

// The template's items deleted as a process, a batch per transaction; a
// failed delete stops it with the table's error (items deleted before stay
// deleted). Nothing for ID 0.
std::shared_ptr<RecordProcess> MakeDeleteScriptTemplateDetails(int32_t wizID);

// DeleteScriptTemplateDetails: deletes every item of the template (nothing
// when the ID is 0), in one transaction. Answers the table error (0).
int DeleteScriptTemplateDetails(int32_t wizID);

}  // namespace kr
