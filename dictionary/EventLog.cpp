// Minimal event-log writer; the start-up's event log takes over this body
// (setting LogEvents, FormatUserDate, the write counter).
#include "dictionary/EventLog.h"

#include <cstdio>
#include <mutex>
#include <string>

#include "dictionary/FileNames.h"
#include "platform/runtime/DateTime.h"

namespace kr {

namespace {

std::string Fixed(std::string s, std::size_t width) {
    if (s.size() > width) s.resize(width);
    s.append(width - s.size(), ' ');
    return s;
}

// "OCT 31,1959", the picture d3.
std::string DateText(int32_t date) {
    static const char* const months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                         "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    if (date <= 0) return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s %02d,%04d", months[DateMonth(date) - 1], DateDay(date), DateYear(date));
    return buf;
}

std::string TimeText(int32_t time) {
    if (time <= 0) return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", TimeHours(time), TimeMinutes(time), TimeSeconds(time));
    return buf;
}

std::mutex g_logMutex;

}  // namespace

void LogEvent(const std::string& label, const std::string& text) {
    std::string line = Fixed(DateText(Today()), 12) + Fixed(TimeText(ClockTime()), 10) + Fixed(label, 32) +
                       Fixed(text, 128) + "\r\n";
    std::lock_guard<std::mutex> l(g_logMutex);
    if (std::FILE* f = std::fopen(kEventLogFileName, "ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
    }
}

}  // namespace kr
