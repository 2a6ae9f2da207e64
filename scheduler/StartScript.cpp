#include "scheduler/StartScript.h"

#include "dictionary/EventLog.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "scheduler/DateValues.h"
#include "scheduler/RunnerSettings.h"
#include "scheduler/TaskRunner.h"
#include "scriptedit/ScriptExchange.h"
#include "scriptedit/ScriptItems.h"

namespace kr {

namespace {

bool BeginsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

void Advance(int32_t& date, int32_t& time, int64_t hundredths) {
    SplitMoment(MomentOf(date, time) + hundredths, date, time);
}

bool SameEntry(const ScriptQueueEntry& a, const ScriptQueueEntry& b) {
    return a.Record.ID == b.Record.ID && a.Record.Sequence == b.Record.Sequence && a.Record.Action == b.Record.Action &&
           a.Date == b.Date && a.Time == b.Time;
}

}  // namespace

bool StartScript(std::string_view fileName, std::string_view mode) {
    const std::optional<ScriptQueueEntry> head = ScriptQueue().First();
    if (!head) return false;

    std::string name = Trim(fileName);
    for (char& c : name)
        if (c == '\\') c = '/';
    std::vector<Export> rows;
    int error = 0;
    std::string errorText;
    if (name.empty() || !ReadExchangeFile(name, rows, error, errorText)) {
        LogEvent("Script Error",
                 "Start Script: cannot read \"" + name + "\": " + (name.empty() ? "no file named" : errorText));
        return false;
    }

    const char how = mode.empty() ? 'J' : static_cast<char>(std::toupper(static_cast<unsigned char>(mode[0])));
    const int32_t task = head->Record.ID;
    const int64_t delay = runner::ScriptingDelay();

    // The timing cursor goes on from the queue's last entry.
    int32_t date = Today(), time = ClockTime();
    Advance(date, time, 2 * delay);
    if (const std::optional<ScriptQueueEntry> last = ScriptQueue().Last()) {
        if (last->Date == date && last->Time > time) {
            time = last->Time;
            Advance(date, time, delay);
        } else if (last->Date > date) {
            date = last->Date;
            time = last->Time;
            Advance(date, time, delay);
        }
    }

    std::vector<ScriptQueueEntry> items;
    for (const Export& row : rows) {
        Scripting item;
        const ExchangeRead read = ReadExchangeRow(row, item);
        if (read == ExchangeRead::Comment) continue;
        if (read == ExchangeRead::Unrecognized) {
            Message("Unrecognized script action: " + ClipRight(row.Type.str()), "Import Error");
            continue;
        }
        NormalizeScriptItem(item);
        item.ID = task;
        item.Sequence = 0;

        ScriptQueueEntry e;
        e.Record = item;
        const int32_t beforeDate = date, beforeTime = time;
        const std::string_view action = item.Action.str();
        if (BeginsWith(action, "Wait")) {
            const std::string joiner = Lower(ClipRight(item.DDEApplicationName.str()));
            if (joiner == "or" || joiner == "either")
                e.Record.TimeElapsed = 0;
            else
                Advance(date, time, static_cast<int64_t>(item.SecondsToWait) * 100);
        } else if (action.find("...") == std::string_view::npos) {
            Advance(date, time, delay);
        }
        e.Date = date;
        e.Time = time;
        if (BeginsWith(action, "If Time Elapsed")) {
            int32_t limitDate = beforeDate, limitTime = beforeTime;
            Advance(limitDate, limitTime, static_cast<int64_t>(item.TimeElapsed) * 100);
            e.Record.SecondsToWait = limitDate;
            e.Record.TimeElapsed = limitTime;
        }
        if (action == "File Actions") RewriteTransferItem(e.Record);
        e.WindowHandle = LastShellResult();
        items.push_back(std::move(e));
    }

    bool replaced = false;
    ScriptQueue().With([&](std::deque<ScriptQueueEntry>& queue) {
        // The queue may have been stopped or changed while a message was open.
        if (queue.empty() || !SameEntry(queue.front(), *head)) return;
        std::vector<ScriptQueueEntry> rest(queue.begin() + 1, queue.end());
        std::deque<ScriptQueueEntry> out;
        if (how == 'I') {
            out.insert(out.end(), items.begin(), items.end());
            out.insert(out.end(), rest.begin(), rest.end());
        } else if (how == 'A') {
            out.insert(out.end(), rest.begin(), rest.end());
            out.insert(out.end(), items.begin(), items.end());
            ScriptQueueEntry end;
            end.Record.Action = kEndOfScriptAction;
            end.Date = date;
            end.Time = time;
            out.push_back(std::move(end));
        } else {
            // This task's remaining items go, up to its "**End**", which stays
            // so that "Exit Script" and failed tests stop inside this task.
            out.insert(out.end(), items.begin(), items.end());
            std::size_t i = 0;
            while (i < rest.size() && rest[i].Record.Action != kEndOfScriptAction) ++i;
            out.insert(out.end(), rest.begin() + static_cast<std::ptrdiff_t>(i), rest.end());
        }
        queue = std::move(out);
        replaced = true;
    });
    return replaced;
}

}  // namespace kr
