// The event log writer and the user's date format.
//
// The log file is opened by the first line, kept open, and closed after every
// 101st line (the write counter); the next line opens it again. One mutex
// keeps the counter, the descriptor and each line together, so two threads
// logging at once give two whole lines. The file is opened with O_APPEND and
// each line goes out in a single write(), so other programs appending to the
// same file interleave by whole lines.
//
// The log is written here directly rather than through the table engine's
// line driver: opening a table that cannot be created ends the program with
// a message, while a log line that cannot be written must neither be
// reported nor stop its caller.
#include "dictionary/EventLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <mutex>
#include <string>

#include "dictionary/FileNames.h"
#include "dictionary/Settings.h"
#include "dictionary/TransferPassword.h"
#include "platform/data/DataFileCheck.h"
#include "platform/data/Names.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/PrivateFiles.h"

namespace kr {

namespace {

constexpr std::size_t kDateWidth = 12;
constexpr std::size_t kTimeWidth = 10;
constexpr std::size_t kLabelWidth = 32;
constexpr std::size_t kDataWidth = 128;
constexpr int kLinesPerOpen = 100;  // closed when the counter goes above this

// The field as KR_Log stores it: cut to its width, trailing blanks dropped,
// then space-filled to the width. Line breaks become blanks.
std::string Field(std::string_view s, std::size_t width) {
    std::string v(s.substr(0, std::min(s.size(), width)));
    for (char& c : v)
        if (c == '\r' || c == '\n') c = ' ';
    v.append(width - v.size(), ' ');
    return v;
}

struct LogState {
    std::mutex m;
    int fd = -1;
    int counter = 0;  // 0: closed
    std::string folder;  // the current folder when the file was opened
};

LogState& State() {
    static LogState s;
    return s;
}

void CloseLocked(LogState& s) {
    if (s.fd >= 0) ::close(s.fd);
    s.fd = -1;
    s.counter = 0;
}

std::string CurrentFolder() {
    char buf[4096];
    return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

bool WriteAll(int fd, const std::string& line) {
    // A regular file takes the whole line in one write; the loop is only for
    // an interrupted or short write, which continues where it stopped.
    std::size_t done = 0;
    while (done < line.size()) {
        ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string EventLogPath() { return data::ResolveFilePath(kEventLogFileName); }

std::string UserDatePicture() {
    std::string code = Options().GlobalDateFormat.get();
    if (!code.empty() && (code[0] == 'n' || code[0] == 'N')) return "@N4B";
    // The number formed by the second and third characters ("d3" gives 3,
    // "d15" 15); anything else, or a number outside 1..18, gives d3.
    int n = 0;
    for (std::size_t i = 1; i < code.size() && i < 3 && std::isdigit(static_cast<unsigned char>(code[i])); ++i)
        n = n * 10 + (code[i] - '0');
    if (n < 1 || n > 18) n = 3;
    return "@D" + std::to_string(n);
}

std::string FormatUserDate(int32_t date) {
    if (date == 0) return {};
    std::string picture = UserDatePicture();
    if (picture == "@N4B") return std::to_string(DateYear(date));
    return Format(Value(static_cast<int64_t>(date)), picture);
}

int EventLogWriteCounter() {
    LogState& s = State();
    std::lock_guard<std::mutex> l(s.m);
    return s.counter;
}

void CloseEventLog() {
    LogState& s = State();
    std::lock_guard<std::mutex> l(s.m);
    CloseLocked(s);
}

void LogEvent(const std::string& label, const std::string& text) {
    if (Options().GlobalUseLog) LogEventAlways(label, text);
}

void LogEventAlways(const std::string& label, const std::string& text) {
    // Nothing is logged until the start-up check of the data file has found
    // it usable: a damaged file ends the program leaving the folder as it was.
    if (!data::AwaitDataFileCheck()) return;
    int32_t today = Today();
    std::string date = FormatUserDate(today);
    if (date.size() > kDateWidth) date = Format(Value(static_cast<int64_t>(today)), "@D3");
    std::string time = Format(Value(static_cast<int64_t>(ClockTime())), "@T7");
    // The transfer password never reaches the file, whoever logs it and in
    // whatever text (a command, a description made from one, a script item):
    // masked in the whole text, before it is cut to its field.
    std::string line = Field(date, kDateWidth) + Field(time, kTimeWidth) +
                       Field(MaskTransferPassword(label), kLabelWidth) +
                       Field(MaskTransferPassword(text), kDataWidth) + "\r\n";

    LogState& s = State();
    std::lock_guard<std::mutex> l(s.m);
    if (s.counter > 0) {
        // The log belongs to the current folder: after a change of folder, or
        // once the file has been deleted, the line goes to the file that is
        // there now.
        struct stat st {};
        if (CurrentFolder() != s.folder || ::fstat(s.fd, &st) != 0 || st.st_nlink == 0) CloseLocked(s);
    }
    if (s.counter == 0) {
        s.folder = CurrentFolder();
        s.fd = ::open(EventLogPath().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kPrivateFileMode);
        if (s.fd < 0) return;  // not open: the next line tries again
    }
    ++s.counter;
    WriteAll(s.fd, line);
    if (s.counter > kLinesPerOpen) CloseLocked(s);
}

}  // namespace kr
