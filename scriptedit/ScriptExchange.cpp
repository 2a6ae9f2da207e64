#include "scriptedit/ScriptExchange.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "dictionary/Dictionary.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/PrivateFiles.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "scriptedit/ScriptBatch.h"
#include "scriptedit/ScriptItems.h"

namespace kr {

namespace exchange_detail {
void Assign(int32_t& target, const std::string& text) {
    const std::string t = Trim(text);
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(t.c_str(), &end, 10);
    target = (errno != 0 || end == t.c_str() || v < INT32_MIN || v > INT32_MAX) ? 0 : static_cast<int32_t>(v);
}
}  // namespace exchange_detail

namespace {

using data::kLevelBenign;

constexpr std::size_t kTypeWidth = 20;
constexpr std::size_t kColumnWidth = 255;

// Cuts a UTF-8 text to at most n bytes without splitting a character.
std::string CutUtf8(std::string_view s, std::size_t n) {
    if (s.size() <= n) return std::string(s);
    std::size_t end = n;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    return std::string(s.substr(0, end));
}

bool ValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t len;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Windows-1252 bytes 0x80-0x9F; the five bytes the code page leaves
// undefined are kept as the C1 controls of the same number.
constexpr uint16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The column rules: which item field goes to which column, per action.
// `write` fills the row from the item, `read` the item from the row.
struct Rule {
    const char* action;
    void (*write)(const Scripting&, Export&);
    void (*read)(const Export&, Scripting&);
};

#define KR_RULE(word, ...)                                                                      \
    Rule {                                                                                      \
        word, [](const Scripting& s [[maybe_unused]], Export& e) { PutExportColumns(e __VA_OPT__(, ) __VA_ARGS__); }, \
            [](const Export& e, Scripting& s [[maybe_unused]]) { SetExportColumns(e __VA_OPT__(, ) __VA_ARGS__); }    \
    }

const Rule kRules[] = {
    KR_RULE("Send Keys", s.Keystrokes),
    KR_RULE("Set Focus", s.FocusOnWindow, s.WaitForWindow),
    KR_RULE("Wait", s.SecondsToWait, s.WaitForWindow, s.DDEApplicationName, s.FocusOnWindow),
    KR_RULE("Display Message", s.DDEApplicationName, s.DDEApplicationTopic, s.SecondsToWait, s.FocusOnWindow),
    KR_RULE("If Window...", s.WindowExistance, s.WindowTitleToCheckFor, s.FocusOnWindow),
    KR_RULE("If Time Elapsed...", s.IfTimeElapsed, s.TimeElapsed),
    KR_RULE("If Value...", s.Command, s.WindowTitleToCheckFor, s.WaitForWindow),
    KR_RULE("...End If"),
    KR_RULE("Exit Script"),
    // The start verb is written too, so that a "Print" item still prints
    // after a round trip.
    KR_RULE("Start Program", s.Command, s.Path, s.DDEApplicationName, s.TimeElapsed, s.DDEApplicationTopic),
    KR_RULE("Close Program", s.Command),
    KR_RULE("Start Script", s.Command, s.Path),
    KR_RULE("DDE", s.DDEType, s.DDEApplicationName, s.DDEApplicationTopic, s.DDELinkItem, s.DDECommand),
    KR_RULE("File Actions", s.DDEType, s.Command, s.Path, s.DDEApplicationName, s.DDEApplicationTopic),
    KR_RULE("Send Email", s.EmailID),
    KR_RULE("Set Value", s.Path, s.Command),
};
#undef KR_RULE

// The action word as the rules know it (old words read as today's).
std::string RuleWord(std::string_view action) {
    if (action == "Send Keystrokes") return "Send Keys";
    // The old DDE word, whole or cut to the 20 characters of the action field.
    if (action.substr(0, 17) == "DDE (Dynamic Data") return "DDE";
    return std::string(action);
}

const Rule* FindRule(std::string_view action) {
    const std::string word = RuleWord(action);
    for (const Rule& r : kRules)
        if (word == r.action) return &r;
    return nullptr;
}

void AppendQuoted(std::string& out, std::string_view field) {
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::shared_ptr<RecordProcess> Failing(const std::string& text) {
    return std::make_shared<RecordProcess>(0, [text] { return RecordStep::Fatal(text); });
}

ProcessState RunAndReport(const std::shared_ptr<RecordProcess>& p) {
    p->onError = [](const std::string& e) { Message(e, "Error!"); };
    return RunToEnd(*p);
}

}  // namespace

// ---------------------------------------------------------------- codec

std::string FormatExchangeLine(const Export& row) {
    std::string out;
    AppendQuoted(out, row.Type.str());
    for (const FString<255>* f : {&row.Field1, &row.Field2, &row.Field3, &row.Field4, &row.Field5, &row.Field6}) {
        out += ',';
        AppendQuoted(out, f->str());
    }
    out += "\r\n";
    return out;
}

std::string DecodeExchangeText(std::string_view bytes) {
    if (ValidUtf8(bytes)) {
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            out += ch;
        else if (c < 0xA0)
            AppendUtf8(out, kCp1252High[c - 0x80]);
        else
            AppendUtf8(out, c);
    }
    return out;
}

std::vector<Export> ParseExchangeText(std::string_view text) {
    std::vector<Export> rows;
    std::vector<std::string> fields;
    std::string field;
    bool lineHasContent = false;
    std::size_t i = 0;
    const std::size_t n = text.size();

    auto endField = [&] {
        fields.push_back(std::move(field));
        field.clear();
    };
    auto endLine = [&] {
        endField();
        if (lineHasContent) {
            Export row;
            row.Type = CutUtf8(fields[0], kTypeWidth);
            for (std::size_t k = 1; k < fields.size() && k <= 6; ++k)
                *exchange_detail::Column(row, static_cast<int>(k - 1)) = CutUtf8(fields[k], kColumnWidth);
            rows.push_back(std::move(row));
        }
        fields.clear();
        lineHasContent = false;
    };

    while (i < n) {
        const char c = text[i];
        if (c == '"' && field.empty()) {
            // A quoted field: up to the quote that is not doubled.
            lineHasContent = true;
            ++i;
            while (i < n) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
            continue;
        }
        if (c == ',') {
            lineHasContent = true;
            endField();
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            endLine();
            i += (c == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
            continue;
        }
        if (c != ' ' && c != '\t') lineHasContent = true;
        field += c;
        ++i;
    }
    if (lineHasContent || !field.empty()) endLine();
    return rows;
}

bool ReadExchangeFile(const std::string& fileName, std::vector<Export>& rows, int& error, std::string& errorText) {
    rows.clear();
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        errorText = std::strerror(error);
        return false;
    }
    std::string bytes;
    char buf[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            error = errno;
            errorText = std::strerror(error);
            ::close(fd);
            return false;
        }
        bytes.append(buf, static_cast<std::size_t>(got));
    }
    ::close(fd);
    rows = ParseExchangeText(DecodeExchangeText(bytes));
    error = 0;
    errorText.clear();
    return true;
}

// ---------------------------------------------------------------- columns

ExchangeRead ReadExchangeRow(const Export& row, Scripting& item) {
    const std::string word = ClipRight(row.Type.str());
    if (word.empty() || word == "Comment") return ExchangeRead::Comment;
    const Rule* rule = FindRule(word);
    if (!rule) return ExchangeRead::Unrecognized;
    item.Action = rule->action;
    rule->read(row, item);
    return ExchangeRead::Item;
}

bool WriteExchangeRow(const Scripting& item, Export& row) {
    row = Export();
    const Rule* rule = FindRule(ClipRight(item.Action.str()));
    if (!rule) return false;
    row.Type = rule->action;
    rule->write(item, row);
    return true;
}

// ---------------------------------------------------------------- processes

std::shared_ptr<RecordProcess> MakeExportScript(int32_t taskID, const std::string& fileName) {
    if (Scripting_File().Open() != kLevelBenign)
        return Failing("Error exporting script item " + data::LastErrorText());
    // The new file is written beside the target and renamed over it at the end.
    struct State {
        std::string temp;
        int fd = -1;
        int32_t next = 0;
        bool failed = false;
    };
    auto st = std::make_shared<State>();
    st->temp = fileName + ".XXXXXX";
    st->fd = ::mkostemp(st->temp.data(), O_CLOEXEC);
    if (st->fd < 0) {
        const int e = errno;
        Scripting_File().Close();
        return Failing("Error exporting script item " + std::string(std::strerror(e)));
    }
    // The mode of the file it replaces, else the owner's alone.
    ::fchmod(st->fd, ReplacementMode(fileName));

    const Scripting saved = Scripting_File().rec();
    const int total = CountScriptItems(taskID);
    Scripting_File().rec() = saved;
    auto p = std::make_shared<RecordProcess>(total, [taskID, st] {
        Scripting item;
        if (taskID == 0 || !ScriptItemAtOrAfter(taskID, st->next, item)) return RecordStep::End();
        st->next = item.Sequence + 1;
        Export row;
        if (!WriteExchangeRow(item, row)) return RecordStep::Done();  // no column rule: not written
        const std::string line = FormatExchangeLine(row);
        std::size_t off = 0;
        while (off < line.size()) {
            const ssize_t put = ::write(st->fd, line.data() + off, line.size() - off);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                st->failed = true;
                return RecordStep::Fatal("Error exporting script item " + std::string(std::strerror(errno)));
            }
            off += static_cast<std::size_t>(put);
        }
        return RecordStep::Done();
    });
    p->onEnd = [st, saved, fileName](ProcessState state) {
        bool ok = state == ProcessState::Finished && !st->failed;
        if (ok && ::fsync(st->fd) != 0) ok = false;
        ::close(st->fd);
        if (ok && std::rename(st->temp.c_str(), fileName.c_str()) != 0) ok = false;
        if (!ok) ::unlink(st->temp.c_str());
        Scripting_File().rec() = saved;
        Scripting_File().Close();
    };
    return p;
}

std::shared_ptr<RecordProcess> MakeImportScript(int32_t taskID, const std::string& fileName) {
    auto rows = std::make_shared<std::vector<Export>>();
    int error = 0;
    std::string errorText;
    if (!ReadExchangeFile(fileName, *rows, error, errorText))
        return Failing("Error adding script item " + fileName + ": " + errorText);
    if (taskID == 0) return std::make_shared<RecordProcess>(0, [] { return RecordStep::End(); });
    if (Scripting_File().Open() != kLevelBenign) return Failing("Error adding script item " + data::LastErrorText());
    const Scripting saved = Scripting_File().rec();
    auto next = std::make_shared<std::size_t>(0);
    auto frame = std::make_shared<std::shared_ptr<ScriptBatch>>();
    auto p = std::make_shared<RecordProcess>(static_cast<int>(rows->size()), [taskID, rows, next, frame] {
        if (*next >= rows->size()) return RecordStep::End();
        const Export& row = (*rows)[(*next)++];
        Scripting item;
        item.ID = taskID;
        item.Sequence = 0;
        switch (ReadExchangeRow(row, item)) {
            case ExchangeRead::Comment: return RecordStep::Done();
            case ExchangeRead::Unrecognized: {
                // No box waits for the user while the batch holds the data
                // file: its transaction ends first and begins again after.
                const bool held = *frame && (*frame)->own;
                if (held) (*frame)->End();
                Message("Unrecognized script action: " + ClipRight(row.Type.str()), "Import Error");
                if (held) (*frame)->Begin();
                return RecordStep::Done();
            }
            case ExchangeRead::Item: break;
        }
        NormalizeScriptItem(item);
        item.ID = taskID;
        item.Sequence = 0;  // numbered after the task's last item on insert
        ScriptingFileManager& s = Scripting_File();
        s.rec() = item;
        if (s.TryInsert() != kLevelBenign) return RecordStep::Error("Error adding script item " + data::LastErrorText());
        return RecordStep::Done();
    });
    *frame = FrameScriptBatches(*p);
    // The commit of each batch costs more than its inserts: larger batches
    // (still well under a tenth of a second each) keep a long import short.
    p->SetBatchSize(100);
    RestoreBufferAtEnd(*p, &Scripting_File, saved);
    return p;
}

ProcessState ExportScript(int32_t taskID, const std::string& fileName) {
    return RunAndReport(MakeExportScript(taskID, fileName));
}

ProcessState ImportScript(int32_t taskID, const std::string& fileName) {
    return RunAndReport(MakeImportScript(taskID, fileName));
}

}  // namespace kr
