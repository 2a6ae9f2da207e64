// Export of a list's rows, display-free: every row of the list query's order
// and filter, in the shown columns' order, to a comma-separated file
// ("XPort.CSV") or an HTML table ("XPort.HTM"). The window steps the writer
// a slice at a time under its progress window.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kr::data {
class ListQuery;
struct ListRow;
}  // namespace kr::data

namespace kr::xplore {

// A cell of the comma-separated file: bare, or between double quotes when it
// holds the separator or a line break, or between single quotes when it
// holds a double quote.
// A value holding the separator and both kinds of quote goes between double
// quotes with its double quotes doubled, so a reader can split it.
std::string CsvCell(std::string_view value, char separator);
// Text for an HTML page: "&", "<", ">" and '"' as their entities; NUL and
// the other control characters but tab, line feed and carriage return as
// the replacement character.
std::string HtmlEscape(std::string_view text);
// A cell value as the exports write it: leading and trailing blanks
// removed, at most 255 bytes, cut before a UTF-8 character that would not
// fit whole.
std::string ExportValue(std::string_view formatted);

// The desktop's opener (xdg-open) hands an export to the program that
// shows it. Its exit status within the first seconds, as the number the
// failure message shows: 0 when there is nothing to report (opened, or a
// status that is the started program's own), 2 when the file was not
// found, 31 when no program could open it or the opener failed otherwise.
uint32_t OpenerFailureCode(int exitStatus);
// How long the opener's status is waited for: later, xdg-open (which waits
// for the program it starts) reports that program's end, not the opening.
inline constexpr int kOpenerWatchMs = 5000;

class ListExport {
public:
    enum class Kind { Csv, Html };
    enum class State { Writing, Done, Failed };
    struct Options {
        Kind kind = Kind::Csv;
        std::string file;                  // created anew (an existing file is replaced)
        char separator = ',';
        bool headers = true;
        std::vector<std::string> headerTexts;  // of the shown columns, in list order
        std::string title;                 // the HTML page's title: the window's
    };
    // `cells` formats a row's cell of each shown column, in list order.
    ListExport(data::ListQuery& query, std::vector<std::function<std::string(const data::ListRow&)>> cells,
               Options options);
    ~ListExport();

    // Creates the file and writes the lines before the rows. False, with the
    // error text, when the file cannot be created.
    bool Open(std::string* error = nullptr);
    // Writes rows for about `ms` milliseconds (at least one page); at the
    // end of the view or at a read error, finishes the file (the row count
    // in the first line of a comma-separated file, the closing lines of
    // HTML) and closes it.
    State Step(int ms);
    // Ends the export where it is: the rows written so far are counted.
    void Stop() { Finish(); }
    // Runs to the end at once.
    State Run();
    int64_t Rows() const { return rows_; }
    State state() const { return state_; }

private:
    void Write(const std::string& line);
    void Finish();

    data::ListQuery& query_;
    std::vector<std::function<std::string(const data::ListRow&)>> cells_;
    Options o_;
    std::FILE* f_ = nullptr;
    std::unique_ptr<data::ListRow> anchor_;
    int64_t rows_ = 0;
    State state_ = State::Writing;
    std::string line_;
    std::vector<char> buffer_;
};

}  // namespace kr::xplore
