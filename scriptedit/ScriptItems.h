// Small services over one script item (a Scripting-layout record) that the
// script lists, forms, reports, file readers and the interpreter share:
//
//   DescribeScriptItem   the one-line text shown beside the action word
//   NormalizeScriptItem  old words of an item rewritten to today's
//   ScriptActionHelp     the help text of an action word
//   IsGreaterThanCondition  how every reader decides an "If Time Elapsed..."
//                        condition means "Greater than"
//
// One record layout serves every action, so most actions keep their
// parameters in fields named for another action (the message text sits in
// DDEApplicationName, a value name in Path, ...). Action words are compared
// exactly, as whole words.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "dictionary/SchedulingTables.h"

namespace kr {

inline constexpr std::size_t kScriptDescriptionSize = 128;
inline constexpr std::size_t kScriptHelpSize = 2000;
// The key abbreviation list shipped beside the programs.
inline constexpr const char* kKeyCodesFile = "KEYCODES.TXT";

// The description of an item: at most 128 characters, no trailing blanks.
std::string DescribeScriptItem(const Scripting& item);

// Rewrites old words in place: "Send Keystrokes" becomes "Send Keys"; an
// "If Window..." condition "Exists" or "Does not exist"; an "If Time
// Elapsed..." condition "Greater than" or "Less than"; a "Wait" joiner AND or
// BOTH "Both", OR or EITHER "Either". Everything else stays.
void NormalizeScriptItem(Scripting& item);

// The help text of an action word (empty for words without one).
std::string ScriptActionHelp(std::string_view action);

// True when an "If Time Elapsed..." condition reads as "Greater than": its
// text holds "grea" in any case. The item form's untouched default, the
// 20-character cut "Time elapsed is grea", counts as greater, as it reads.
bool IsGreaterThanCondition(std::string_view condition);

}  // namespace kr
