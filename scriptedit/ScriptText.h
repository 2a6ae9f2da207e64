// A task's script as plain text, one line per item: a keyword and its
// arguments ("KEYS abc", "WAIT 30 Notepad", "FILE Copy "/a" "/b""). The
// writer and the reader are inverse of each other for every item the item
// form makes; the lexical helpers here are also what the task runner quotes
// its command lines with.
//
// Lines end with CR LF, a lone LF or a lone CR (the writer writes CR LF).
// Blanks and TABs separate arguments, and so does a comma; double quotes and
// square brackets keep an argument together. Lines have no length limit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/SchedulingTables.h"

namespace kr {

// Removes one pair of surrounding double quotes: `""` becomes empty; a value
// whose first character and last non-blank character are both `"` loses
// those two; any other value is left as it is.
void UnquoteValue(std::string& value);

// The value unquoted first; then in double quotes when it holds a blank
// before its last non-blank character (leading blanks stay inside the
// quotes), a comma, a "/" or a "\"; `""` when it is empty; otherwise as it
// is without trailing blanks.
std::string QuoteIfNeeded(std::string_view value);

// The arguments joined by single blanks, each through QuoteIfNeeded.
std::string MakeScriptLine(const std::vector<std::string>& args);

// The arguments of the rest of a line, each unquoted once.
std::vector<std::string> TokenizeScriptLine(std::string_view rest);

// A file-action word of the text ("make", "FTP", "file size") as stored
// ("Make Directory", "FTP Download", "Get File Size"); unknown words "Copy".
std::string NormalizeFileActionWord(std::string_view word);
void NormalizeFileActionWord(Scripting& item);

// True for the actions the text form writes a line for.
bool HasScriptTextLine(std::string_view action);

// The text of the items in the given order: CR LF after every line,
// indented by 3 inside If blocks (at most 24 blanks). Items without a line
// (unknown words, "Other") are left out.
std::string ScriptItemsToText(const std::vector<Scripting>& items);

// The result of reading a text, before anything is stored.
struct ParsedScriptText {
    std::vector<Scripting> items;       // ID = the task, Sequence = line number
    std::vector<std::string> messages;  // "Unknown script action:" ... per line
};
ParsedScriptText ParseScriptText(std::string_view text, int32_t taskID);

// The 1-based numbers of the items (among those with a line) whose line
// would read back to other fields: a double quote that nothing can escape,
// a square bracket that holds the rest of the line together, or a line
// break inside a value.
std::vector<int> LinesNotReadingBack(const std::vector<Scripting>& items);
// How many items the text form cannot show (and saving the text deletes).
int CountItemsWithoutLine(const std::vector<Scripting>& items);

// The items of a task in sequence order; `error` gets a read error (0 at
// the end of the items).
std::vector<Scripting> ReadScriptItems(int32_t taskID, int* error = nullptr);

// ScriptToText: the text of the current task's items (Schedule buffer).
// Task ID 0 shows "No task ID" and goes on; a read error shows
// "Next script:  " and the error, and the lines read so far are kept.
std::string ScriptToText();

// Deletes the task's items and adds the given ones under their own numbers,
// in one transaction (none of its own inside the caller's). A failed add is
// skipped and the others are still added; the answer is the error texts.
std::vector<std::string> ReplaceScriptItems(int32_t taskID, const std::vector<Scripting>& items);

// TextToScript: replaces the current task's items with the items read from
// the text. An empty text shows "Nothing to save." and changes nothing. The
// whole text is read first; the delete and the adds are one transaction;
// the messages (unknown words, failed adds) are shown after it, titled
// "Error". A failed add is reported and the other lines are still stored.
// At most kMaxTextMessages boxes are shown one by one; a further box
// counts the rest.
inline constexpr std::size_t kMaxTextMessages = 10;
void TextToScript(std::string_view text);

}  // namespace kr
