// Script values: named values that script steps, file actions and the mail
// sender set and that value references in square brackets read.
//
// The store is program-wide and lives for the life of the program; nothing
// removes an entry. Names are kept upper-cased and cut to 32 characters,
// values cut to 255. Thread-safe: the script interpreter sets values on
// thread 1 while list threads may translate texts.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kr {

inline constexpr std::size_t kScriptValueNameSize = 32;
inline constexpr std::size_t kScriptValueTextSize = 255;

// One entry (VAR:Name, VAR:StringValue, VAR:Value).
struct ScriptValue {
    std::string Name;         // upper case, at most 32 characters
    std::string StringValue;  // at most 255 characters, no trailing blanks
    double Value = 0;         // the text read as a number, 2 decimal places; 0 when not a number
};

class ScriptValueStore {
public:
    // Stores the text under UPPER(name) (adds the entry in name order when it
    // is new). The text is stored as given (cut to 255); SetScriptVariable
    // translates and evaluates first.
    void Put(std::string_view name, std::string_view text);
    // The entry of UPPER(name), if there is one.
    std::optional<ScriptValue> Find(std::string_view name) const;
    // Every entry, in ascending order of name.
    std::vector<ScriptValue> Entries() const;
    std::size_t Count() const;
    // Empties the store (tests; the program itself never removes values).
    void Clear();

private:
    mutable std::mutex m_;
    std::map<std::string, ScriptValue> values_;
};

// The program's store.
ScriptValueStore& ScriptValues();

// The name as the store keys it: upper case, cut to 32 characters, no
// trailing blanks.
std::string ScriptValueKey(std::string_view name);
// The numeric reading of a text: its value rounded to 2 decimal places when
// the text (without outer blanks) is a number, else 0.
double ScriptNumber(std::string_view text);

// Stores a value: the text is translated (TranslateValues); a text beginning
// with "=" is evaluated as an expression and the result stored instead, or
// the translated text itself when the expression is in error.
void SetScriptVariable(std::string_view name, std::string_view value);

// The value of an expression as text; in debug mode the expression and its
// result go to the event log (label "Evaluation"). An expression in error
// gives an empty text.
std::string ShowEvaluation(std::string_view expression);

// The "If Value..." test: 1 when `left operator right` holds, else 0. Numbers
// are compared when either side reads as a non-zero number or left names a
// numeric value (FILEEXISTS, FILESIZE, FILEDATE, DATE, FILETIME, TIME, or any
// name with "#"); otherwise the texts, with regard to case. Operators: "=",
// "<=", "<", "=>", ">", "<>"; any other gives 0.
int CompareScriptValue(std::string_view left, std::string_view op, std::string_view right);

}  // namespace kr
