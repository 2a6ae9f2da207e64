#include "scheduler/TranslateValues.h"

#include <cstdio>
#include <mutex>
#include <vector>

#include "dictionary/EventLog.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Strings.h"
#include "scheduler/DateValues.h"
#include "scheduler/RunnerSettings.h"
#include "scheduler/ScriptValues.h"

namespace kr {

namespace {

std::mutex g_focusMutex;
std::function<std::string()> g_focusSource;

std::string FocusText() {
    std::function<std::string()> source;
    {
        std::lock_guard<std::mutex> l(g_focusMutex);
        source = g_focusSource;
    }
    if (!source) return {};
    std::string t = source();
    if (t.size() > 254) t.resize(254);
    return t;
}

// Two digits: the last two of a non-negative number, zero-padded.
std::string TwoDigits(int n) {
    n %= 100;
    return {static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)};
}

std::string Cut(std::string s, std::size_t n) {
    if (s.size() > n) s.resize(n);
    return ClipRight(s);
}

// The work left for one translation: characters examined and references
// replaced, over all scans. A value can bring back the reference it replaced
// in another form ("C" holding "C][a[C]"), so the scan of the text would flip
// between two forms without end; the budget ends it.
struct WorkBudget {
    std::size_t characters = kTranslateWorkLimit;
    std::size_t replacements = kTranslateReplacementLimit;
    bool Spend() {
        if (characters == 0) return false;
        --characters;
        return true;
    }
};

// Replaces the reference that opens at `open` (and the references nested in
// it, innermost first). Returns where the scan of the text goes on: behind
// the first character of the value put in its place, at the place itself
// when the value was empty, or behind the "[" when the reference is not
// closed.
std::size_t ReplaceReference(std::string& buf, std::size_t open, WorkBudget& budget) {
    std::vector<std::size_t> opens;
    std::size_t p = open;
    int examined = 0;
    while (p < buf.size() && examined < kReferenceScanLimit && budget.Spend()) {
        ++examined;
        const char c = buf[p];
        if (c == '[') {
            opens.push_back(p++);
            continue;
        }
        if (c != ']') {
            ++p;
            continue;
        }
        if (budget.replacements == 0) break;
        --budget.replacements;
        const std::size_t start = opens.back();
        opens.pop_back();
        const std::string name = buf.substr(start + 1, std::min(p - start - 1, kReferenceNameSize));
        const std::string value = ClipRight(TranslateVariable(name));
        buf.replace(start, p - start + 1, value);
        if (buf.size() > kTranslateBufferSize) buf.resize(kTranslateBufferSize);
        buf = ClipRight(buf);
        if (opens.empty()) return value.empty() ? start : start + 1;
        // Back to the enclosing "[": its name now holds the inner value.
        p = opens.back() + 1;
    }
    return open + 1;
}

}  // namespace

void SetFocusTextSource(std::function<std::string()> source) {
    std::lock_guard<std::mutex> l(g_focusMutex);
    g_focusSource = std::move(source);
}

std::string TranslateVariable(std::string_view rawName) {
    if (runner::DebugMode()) LogEvent("TranslateVariable", std::string(rawName));
    const std::string name = Upper(ClipRight(rawName));
    const int32_t today = Today();

    if (name == "YYYY-MM-DD") {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", DateYear(today), DateMonth(today), DateDay(today));
        return buf;
    }
    if (name == "DD-MM-YY" || name == "DDMMYY" || name == "MM-DD-YY" || name == "MMDDYY") {
        const std::string dd = TwoDigits(DateDay(today)), mm = TwoDigits(DateMonth(today)),
                          yy = TwoDigits(DateYear(today));
        if (name == "DD-MM-YY") return dd + "-" + mm + "-" + yy;
        if (name == "DDMMYY") return dd + mm + yy;
        if (name == "MM-DD-YY") return mm + "-" + dd + "-" + yy;
        return mm + dd + yy;
    }
    if (name == "DATE") return DateToYYYYMMDD(today);
    if (name == "DATE-1") return DateToYYYYMMDD(today - 1);
    if (name == "DATE+1") return DateToYYYYMMDD(today + 1);
    if (name == "TODAY") return runner::UserDate(today);
    if (name == "YESTERDAY") return runner::UserDate(today - 1);
    if (name == "TOMORROW") return runner::UserDate(today + 1);
    if (name == "TIME") return Format(Value(static_cast<int64_t>(ClockTime())), "@T05");
    if (name == "NOW") return Format(Value(static_cast<int64_t>(ClockTime())), "@T7");
    if (name == "FOCUS") return FocusText();

    if (!rawName.empty() && rawName[0] == '=') {
        std::string result = Cut(ShowEvaluation(rawName.substr(1)), kScriptValueTextSize);
        if (!result.empty()) return result;
    }
    if (auto v = ScriptValues().Find(name)) return v->StringValue;
    return {};
}

std::string TranslateValues(std::string_view text, std::string_view /*ignored*/) {
    std::string buf = ClipRight(text.substr(0, std::min(text.size(), kTranslateBufferSize)));
    std::size_t i = 0;
    WorkBudget budget;
    // The buffer is kept without trailing blanks, so its last character is
    // the last non-blank one; a "[" standing there is left as it is.
    while (!buf.empty() && i < buf.size() - 1 && budget.Spend()) {
        if (buf[i] != '[') {
            ++i;
            continue;
        }
        const char next = buf[i + 1];
        if (next == '[' || next == ']') {
            // "[[" is a "[", "[]" a "]": drop the "[" and pass the other.
            buf.erase(i, 1);
            ++i;
            continue;
        }
        i = ReplaceReference(buf, i, budget);
    }
    return buf;
}

}  // namespace kr
