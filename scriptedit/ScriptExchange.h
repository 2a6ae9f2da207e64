// Script exchange files ("*.krs"): one line per script item, seven quoted
// fields separated by commas (the action word, then six columns), no header.
//
// The codec: the writer puts every field in double quotes, doubles a quote
// inside a field and ends each line with CR LF, in UTF-8. The reader takes
// CR LF, LF or CR as a line end, quoted or unquoted fields, doubled quotes
// inside quoted ones, and line ends inside quotes; a file that is not valid
// UTF-8 is read as Windows-1252 (files written by older versions of the
// program). Fields are cut to their widths (action 20, columns 255).
//
// The column mapper says which field of a script item goes to which column
// for each action word; the same rules serve writing, reading and the
// "Start Script" step. ExportScript and ImportScript are progress processes
// over the Scripting table of the current thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/SchedulingTables.h"
#include "platform/runtime/RecordProcess.h"

namespace kr {

// ---------------------------------------------------------------- codec

// One exchange line: the Export row as text, quoted, with CR LF.
std::string FormatExchangeLine(const Export& row);

// The text of a whole file decoded to UTF-8: kept when it is valid UTF-8
// (a leading byte-order mark dropped), else read as Windows-1252.
std::string DecodeExchangeText(std::string_view bytes);

// The rows of a decoded text, in file order. Blank lines give no row; a
// line with fewer than seven fields leaves the others empty, further fields
// are ignored.
std::vector<Export> ParseExchangeText(std::string_view text);

// Reads a file whole (decoded and parsed). False, with errno-style `error`
// (and the system's text in `errorText`), when it cannot be read.
bool ReadExchangeFile(const std::string& fileName, std::vector<Export>& rows, int& error,
                      std::string& errorText);

// ---------------------------------------------------------------- columns

// Copies Field1.. of the row into the given targets in order (up to six).
template <typename... Targets>
void SetExportColumns(const Export& row, Targets&... targets);

// Clears the six columns and copies up to six values into them in order.
template <typename... Values>
void PutExportColumns(Export& row, const Values&... values);

// The reading of an exchange row into a script item.
enum class ExchangeRead {
    Item,          // a known action: the item is filled
    Comment,       // blank or "Comment": not an item, skipped silently
    Unrecognized,  // any other word: reported, not an item
};

// Fills the item's fields from the row's columns by the action word (the
// old words "Send Keystrokes" and "DDE (Dynamic Data Exchange)" are read as
// "Send Keys" and "DDE"). The item's other fields are left as they are, so
// the caller clears it first.
ExchangeRead ReadExchangeRow(const Export& row, Scripting& item);

// Fills an export row from an item; false (row cleared) when its action word
// has no column rule. "DDE (Dynamic Data Exchange)" is written as "DDE",
// which fits the 20-character action field.
bool WriteExchangeRow(const Scripting& item, Export& row);

// ---------------------------------------------------------------- processes

// Writes the items of the task, in sequence order, to the file (an old file
// of the name is replaced; a task without items gives an empty file). The
// file is written beside the target and renamed over it when complete, so a
// failed or cancelled export leaves any old file as it was. A failed write
// ends the process with "Error exporting script item " and the error.
std::shared_ptr<RecordProcess> MakeExportScript(int32_t taskID, const std::string& fileName);

// Appends the file's items to the task. Comment and blank lines are skipped;
// an unrecognised action is shown ("Unrecognized script action: " + word,
// titled "Import Error") before its line is skipped; a failed insert is
// reported ("Error adding script item " + the error) and the import goes on.
// A file that cannot be read fails the process with its error.
std::shared_ptr<RecordProcess> MakeImportScript(int32_t taskID, const std::string& fileName);

// The same, run to their end; per-item errors are shown, titled "Error!".
ProcessState ExportScript(int32_t taskID, const std::string& fileName);
ProcessState ImportScript(int32_t taskID, const std::string& fileName);

// ---------------------------------------------------------------- templates

namespace exchange_detail {
inline FString<255>* Column(Export& row, int n) {
    switch (n) {
        case 0: return &row.Field1;
        case 1: return &row.Field2;
        case 2: return &row.Field3;
        case 3: return &row.Field4;
        case 4: return &row.Field5;
        case 5: return &row.Field6;
        default: return nullptr;
    }
}
inline std::string Text(const std::string& v) { return v; }
inline std::string Text(const char* v) { return v ? v : ""; }
inline std::string Text(std::string_view v) { return std::string(v); }
inline std::string Text(int32_t v) { return std::to_string(v); }
template <std::size_t N>
std::string Text(const FString<N>& v) { return v.str(); }
template <std::size_t N>
void Assign(FString<N>& target, const std::string& text) { target = text; }
// A number column: its text as a whole number, 0 when it is none.
void Assign(int32_t& target, const std::string& text);
}  // namespace exchange_detail

template <typename... Targets>
void SetExportColumns(const Export& row, Targets&... targets) {
    static_assert(sizeof...(Targets) <= 6, "an exchange row has six columns");
    Export copy = row;
    int n = 0;
    (exchange_detail::Assign(targets, exchange_detail::Column(copy, n++)->str()), ...);
}

template <typename... Values>
void PutExportColumns(Export& row, const Values&... values) {
    static_assert(sizeof...(Values) <= 6, "an exchange row has six columns");
    for (int i = 0; i < 6; ++i) *exchange_detail::Column(row, i) = "";
    int n = 0;
    ((*exchange_detail::Column(row, n++) = exchange_detail::Text(values)), ...);
}

}  // namespace kr
