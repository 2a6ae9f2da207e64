#include "reports/Imex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/data/WorkCopies.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/PrivateFiles.h"
#include "platform/runtime/Strings.h"
#include "scriptedit/ScriptExchange.h"

namespace kr::reports {

namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t CountChars(std::string_view s) {
    std::size_t n = 0;
    for (char c : s)
        if (!IsContinuation(c)) ++n;
    return n;
}

std::string_view TrimPicture(std::string_view picture) {
    const std::size_t end = picture.find_last_not_of(' ');
    picture = end == std::string_view::npos ? std::string_view() : picture.substr(0, end + 1);
    return picture.substr(0, kImexPictureChars);
}

std::string_view ClipBlanks(std::string_view s) {
    const std::size_t end = s.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

constexpr std::size_t kWriteBuffer = 1 << 16;

}  // namespace

PictureClass ClassOfPicture(std::string_view picture) {
    picture = TrimPicture(picture);
    if (picture.size() < 2) return PictureClass::Formatted;
    switch (picture[1]) {
        case 'S':
        case 's': return PictureClass::Text;
        case 'N':
        case 'n': return PictureClass::Number;
        default: return PictureClass::Formatted;
    }
}

std::string_view CutChars(std::string_view text, std::size_t chars) {
    if (text.size() <= chars) return text;
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsContinuation(text[i])) continue;
        if (n == chars) return text.substr(0, i);
        ++n;
    }
    return text;
}

std::string_view CutBytes(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    std::size_t end = bytes;
    while (end > 0 && IsContinuation(text[end])) --end;
    return text.substr(0, end);
}

ImexError ErrnoError(int err) {
    int code = kDriverError;
    switch (err) {
        case ENOENT: code = kFileNotFound; break;
        case ENOTDIR: code = kPathNotFound; break;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR: code = kAccessDenied; break;
        case EMFILE:
        case ENFILE: code = kTooManyOpenFiles; break;
        case ENOSPC:
        case EDQUOT: code = kDiskFull; break;
        case EBUSY: code = kFileLocked; break;
        default: break;
    }
    return {code, std::strerror(err)};
}

// ---------------------------------------------------------------- writing

void Imex::ClearLine() {
    line_.clear();
    lineChars_ = 0;
    firstField_ = true;
}

void Imex::Put(std::string_view s) {
    if (lineChars_ >= kImexLineChars) return;
    const std::size_t room = kImexLineChars - lineChars_;
    if (s.size() > room) s = CutChars(s, room);
    line_.append(s);
    lineChars_ += CountChars(s);
}

void Imex::PutChar(char c) { Put(std::string_view(&c, 1)); }

void Imex::AddComma() {
    if (!firstField_) PutChar(',');
}

void Imex::QuoteText(std::string_view text, bool headerMode) {
    text = CutChars(text, kImexFieldChars);
    field_.clear();
    if (headerMode) {
        field_.assign(text);
        if (field_.find('[') != std::string::npos) {
            for (char& c : field_) {
                if (c == ',' || c == '[') c = '_';
                else if (c == ']') c = ' ';
            }
        }
        return;
    }
    field_.reserve(text.size() + 8);
    for (char c : text) {
        field_.push_back(c);
        if (c == '"') field_.push_back('"');
    }
    // Doubling may have grown the field past its limit.
    if (field_.size() > kImexFieldChars) field_.resize(CutChars(field_, kImexFieldChars).size());
}

void Imex::AddText(std::string_view text, bool headerMode, std::string_view picture) {
    AddComma();
    switch (ClassOfPicture(picture)) {
        case PictureClass::Text:
            PutChar('"');
            QuoteText(text, headerMode);
            Put(ClipBlanks(field_));
            PutChar('"');
            break;
        case PictureClass::Number: {
            const std::size_t start = text.find_first_not_of(' ');
            Put(CutChars(ClipBlanks(start == std::string_view::npos ? std::string_view() : text.substr(start)),
                         kImexFieldChars));
            break;
        }
        case PictureClass::Formatted:
            PutChar('"');
            Put(CutChars(Format(Value(std::string(text)), TrimPicture(picture)), kImexFieldChars));
            PutChar('"');
            break;
    }
    firstField_ = false;
}

void Imex::AddNumber(int64_t number, std::string_view picture) {
    switch (ClassOfPicture(picture)) {
        case PictureClass::Number: {
            AddComma();
            char buf[24];
            const int n = std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(number));
            Put(std::string_view(buf, static_cast<std::size_t>(n)));
            firstField_ = false;
            break;
        }
        case PictureClass::Text: AddText(std::to_string(number), false, picture); break;
        case PictureClass::Formatted:
            AddComma();
            PutChar('"');
            Put(CutChars(Format(Value(number), TrimPicture(picture)), kImexFieldChars));
            PutChar('"');
            firstField_ = false;
            break;
    }
}

void Imex::AddField(const Value& value, bool headerMode, std::string_view picture) {
    if (value.isInt() && !headerMode) {
        AddNumber(value.toInt(), picture);
        return;
    }
    if (value.isReal() && ClassOfPicture(picture) == PictureClass::Formatted) {
        AddComma();
        PutChar('"');
        Put(CutChars(Format(value, TrimPicture(picture)), kImexFieldChars));
        PutChar('"');
        firstField_ = false;
        return;
    }
    AddText(value.toText(), headerMode, picture);
}

// ---------------------------------------------------------------- reading

namespace {

bool Ascii(std::string_view line) {
    for (char c : line)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Where the line from `at` ends: after its CR or LF (a CR LF is two lines
// here, the second empty: the encoding is the same), else the text's end.
// Lines ended by CR alone are lines too.
std::size_t LineEnd(std::string_view bytes, std::size_t at) {
    for (; at < bytes.size(); ++at)
        if (bytes[at] == '\n' || bytes[at] == '\r') return at + 1;
    return bytes.size();
}

// Whether every line is UTF-8 (then the text stays as it is).
bool EveryLineUtf8(std::string_view bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t end = LineEnd(bytes, at);
        const std::string_view line = bytes.substr(at, end - at);
        if (!Ascii(line) && DecodeExchangeText(line) != line) return false;
        at = end;
    }
    return true;
}

}  // namespace

namespace {

// How far the window reaches past the position, and how much one read
// takes. Small: what the window holds is resident for the whole import.
constexpr std::size_t kAhead = 64u << 10;
constexpr std::size_t kReadChunk = 64u << 10;
// A window that grew for one long record is given back once it has been
// read past and holds this little again.
constexpr std::size_t kKeptCapacity = 4 * (kAhead + kReadChunk);

std::string SizeText(std::size_t bytes) {
    return bytes >= (1u << 20) && bytes % (1u << 20) == 0 ? std::to_string(bytes >> 20) + " MB"
                                                          : std::to_string(bytes >> 10) + " KB";
}

}  // namespace

// Appends the lines of `bytes` decoded, line by line.
void Imex::AppendDecoded(std::string& out, std::string_view bytes, int64_t at) {
    const std::size_t outStart = out.size();
    std::size_t from = 0;
    while (from < bytes.size()) {
        const std::size_t end = LineEnd(bytes, from);
        const std::string_view line = bytes.substr(from, end - from);
        if (Ascii(line)) {
            out.append(line);
        } else {
            const std::string decoded = DecodeExchangeText(line);
            if (decoded == line) sawUtf8_ = true;
            else recoded_.push_back(at + static_cast<int64_t>(out.size() - outStart));
            out.append(decoded);
        }
        from = end;
    }
}

Imex::File::~File() { Close(); }

void Imex::File::Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

void Imex::SetText(std::string_view bytes) {
    std::string copy(bytes);
    TakeText(std::move(copy));
}

void Imex::TakeText(std::string&& bytes) {
    // Line by line: a line that is not UTF-8 is read as Windows-1252, the
    // others keep their text, so one stray byte spoils only its own line.
    file_.Close();
    fileName_.clear();
    eof_ = true;
    failure_ = {};
    base_ = 0;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    recoded_.clear();
    sawUtf8_ = false;
    if (EveryLineUtf8(bytes)) {
        text_ = std::move(bytes);
        sawUtf8_ = !Ascii(text_);
    } else {
        text_.clear();
        AppendDecoded(text_, bytes, 0);
    }
    textEnd_ = text_.size();
    SetImport();
}

bool Imex::LoadFile(const std::string& fileName, ImexError& error) {
    // Without blocking: a FIFO or a device chosen in the dialog is refused,
    // not waited on for ever.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = ErrnoError(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool folder = S_ISDIR(st.st_mode);
        ::close(fd);
        error = folder ? ErrnoError(EISDIR) : ImexError{kAccessDenied, "Not a regular file"};
        return false;
    }
    // Read through a window as the import goes: memory stays bounded
    // whatever the file's size.
    file_.Close();
    file_.fd = fd;
    fileName_ = fileName;
    fileSize_ = static_cast<int64_t>(st.st_size);
    SetImport();
    if (failure_.code != 0) {
        error = failure_;
        file_.Close();
        return false;
    }
    return true;
}

void Imex::Fail(ImexError failure) {
    failure_ = std::move(failure);
    eof_ = true;
    // What the window held is given back: the program goes on.
    text_.clear();
    text_.shrink_to_fit();
    textEnd_ = pos_ = 0;
    record_.clear();
    cursor_ = std::string::npos;
}

void Imex::DecodeUpTo(std::size_t end) {
    // Lines that are UTF-8 (nearly all) stay where they were read; from the
    // first line that is not, the rest is decoded and put in its place.
    std::size_t at = textEnd_;
    while (at < end) {
        const std::size_t lineEnd = LineEnd(std::string_view(text_).substr(0, end), at);
        const std::string_view line = std::string_view(text_).substr(at, lineEnd - at);
        if (!Ascii(line)) {
            if (DecodeExchangeText(line) == line) {
                sawUtf8_ = true;
                at = lineEnd;
                continue;
            }
            std::string decoded;
            AppendDecoded(decoded, std::string_view(text_).substr(at, end - at),
                          base_ + static_cast<int64_t>(at));
            text_.replace(at, end - at, decoded);
            textEnd_ = at + decoded.size();
            return;
        }
        at = lineEnd;
    }
    textEnd_ = end;
}

void Imex::Refill(std::size_t ahead) {
    if (file_.fd < 0 || eof_) return;
    try {
        // Drop what has been read, once there is enough of it.
        if (pos_ >= kAhead) {
            text_.erase(0, pos_);
            textEnd_ -= pos_;
            base_ += static_cast<int64_t>(pos_);
            pos_ = 0;
            if (text_.capacity() > kKeptCapacity && text_.size() < kKeptCapacity / 2) text_.shrink_to_fit();
        }
        // `ahead` bytes read past the position, whole lines or not: a long
        // line is read only as far as the record being read asks for. The
        // room for them is made once (the last read may go a chunk past).
        const std::size_t room = pos_ + ahead + kReadChunk;
        if (text_.capacity() < room) text_.reserve(room);
        while (!eof_ && text_.size() - pos_ < ahead) {
            // Read straight into the window, after the part of a line read
            // before; the bytes are decoded once their line is whole.
            std::size_t old = text_.size();
            text_.resize(old + kReadChunk);
            const ssize_t n = ::read(file_.fd, text_.data() + old, kReadChunk);
            text_.resize(old + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                Fail(ErrnoError(errno));
                return;
            }
            if (n == 0) {
                eof_ = true;
                DecodeUpTo(text_.size());
                break;
            }
            if (!started_ && base_ + static_cast<int64_t>(text_.size()) >= 3) {
                started_ = true;
                if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
                    text_.erase(0, 3);
                    old = old >= 3 ? old - 3 : 0;
                }
            }
            // Whole lines only: a line's encoding is decided on the whole
            // line (ended by LF or CR, so a file of CR line ends is read
            // through the window too). The part of a line read before holds
            // no line end.
            const std::size_t from = std::max(textEnd_, old);
            const std::size_t last = std::string_view(text_).substr(from).find_last_of("\r\n");
            if (last != std::string_view::npos) DecodeUpTo(from + last + 1);
        }
    } catch (const std::bad_alloc&) {
        Fail({kInsufficientMemory, "Not enough memory to read the file"});
    }
}

void Imex::SetImport() {
    if (file_.fd >= 0) {
        ::lseek(file_.fd, 0, SEEK_SET);
        text_.clear();
        if (text_.capacity() > kKeptCapacity) text_.shrink_to_fit();
        // Decoded again from the start.
        recoded_.clear();
        sawUtf8_ = false;
        textEnd_ = 0;
        base_ = 0;
        eof_ = false;
        started_ = false;
        failure_ = {};
        pos_ = 0;
        Refill(kAhead);
    }
    pos_ = 0;
    recodedNext_ = 0;
    record_.clear();
    cursor_ = std::string::npos;
    converted_ = false;
}

void Imex::NoteRecord(std::size_t at, int64_t taken) {
    // The lines read as Windows-1252 that begin inside the record.
    const int64_t from = base_ + static_cast<int64_t>(at), to = from + taken;
    recordRecoded_ = 0;
    while (recodedNext_ < recoded_.size() && recoded_[recodedNext_] < to) {
        if (recoded_[recodedNext_] >= from) ++recordRecoded_;
        ++recodedNext_;
    }
    // Those read are let go as the window is (a file's list stays short).
    if (file_.fd >= 0 && recodedNext_ >= 1024) {
        recoded_.erase(recoded_.begin(), recoded_.begin() + static_cast<std::ptrdiff_t>(recodedNext_));
        recodedNext_ = 0;
    }
}

int64_t Imex::NextLine() {
    if (failure_.code != 0) return 0;
    if (file_.fd >= 0 && textEnd_ - pos_ < kAhead) Refill(kAhead);
    for (std::size_t ahead = kAhead * 2;; ahead *= 2) {
        if (failure_.code != 0) return 0;
        const std::size_t at = pos_;
        bool ranOut = false;
        const int64_t taken = ScanRecord(ranOut);
        // A record that reaches the window's end may go on past it: the
        // window grows and the record is read again.
        if (!ranOut || file_.fd < 0 || eof_) {
            NoteRecord(at, taken);
            return taken;
        }
        if (ahead > longestRecord_) {
            // No record of this format is that long (a line holds 24,000
            // characters): the rest of the file would be read as pieces of
            // one line.
            Fail({kDriverError, "A record of more than " + SizeText(longestRecord_) +
                                    ": the file is read no further"});
            return 0;
        }
        pos_ = at;
        Refill(ahead);  // may drop what lies before the record: pos_ follows
    }
}

int64_t Imex::ScanRecord(bool& ranOut) {
    const std::size_t n = textEnd_;
    ranOut = false;
    cursor_ = 0;
    record_.clear();
    recordLines_ = 0;
    recordRecoded_ = 0;
    recordOpenQuote_ = recordStrayQuote_ = recordTooLong_ = false;
    if (pos_ >= n) {
        // The end of the text, or of the whole lines read so far.
        ranOut = true;
        cursor_ = std::string::npos;
        return 0;
    }
    const std::size_t start = pos_;
    std::size_t i = start;
    std::size_t end = n;
    bool fieldStart = true;
    while (i < n) {
        const char c = text_[i];
        if (c == '\r' || c == '\n') {
            end = i;
            break;
        }
        if (fieldStart && c == '"') {
            // Find the closing quote; past a line break only within the
            // field's limit.
            std::size_t j = i + 1, chars = 0, lineEnd = std::string::npos;
            bool closed = false;
            while (j < n) {
                const char d = text_[j];
                if (d == '"') {
                    // What follows the quote decides; past the text's end,
                    // more text would.
                    if (j + 1 >= n) ranOut = true;
                    if (j + 1 < n && text_[j + 1] == '"') {
                        j += 2;
                        chars += 2;
                        continue;
                    }
                    // Past a line break the quote closes the field only when
                    // a comma or the line's end follows it: a stray quote
                    // would otherwise take the next record into this one.
                    closed = lineEnd == std::string::npos || j + 1 >= n || text_[j + 1] == ',' ||
                             text_[j + 1] == '\r' || text_[j + 1] == '\n';
                    break;
                }
                if ((d == '\r' || d == '\n') && lineEnd == std::string::npos) lineEnd = j;
                if (!IsContinuation(d)) ++chars;
                if (lineEnd != std::string::npos && chars > kImexFieldChars) break;
                ++j;
            }
            if (j >= n) ranOut = true;  // the closing quote may be in the text still to come
            if (!closed) {
                // Open to the end of its line (or of the text).
                recordOpenQuote_ = true;
                end = lineEnd == std::string::npos ? n : lineEnd;
                i = end;
                break;
            }
            // The closing quote, then the one character after it is skipped
            // (normally the comma), unless it ends the line.
            i = j + 1;
            if (i < n && text_[i] != '\r' && text_[i] != '\n') {
                if (text_[i] != ',') recordStrayQuote_ = true;
                ++i;
            }
            fieldStart = true;
            continue;
        }
        fieldStart = c == ',';
        ++i;
    }
    // A record that reaches the text's end, or whose CR ends it (an LF may
    // follow), may go on in the text still to come.
    if (i >= n) {
        end = n;
        ranOut = true;
    }
    std::size_t next = end;
    if (next < n && text_[next] == '\r') {
        ++next;
        if (next >= n) ranOut = true;
        else if (text_[next] == '\n') ++next;
    } else if (next < n && text_[next] == '\n') {
        ++next;
    }
    pos_ = next;
    recordLines_ = 1;
    for (std::size_t k = start; k < end; ++k)
        if (text_[k] == '\n' || (text_[k] == '\r' && (k + 1 >= end || text_[k + 1] != '\n'))) ++recordLines_;
    // A record holds at most 24,000 characters; blanks after its last field
    // are nothing (a reader ignores them). A longer one is cut here and
    // marked, so that no caller takes the fields of its first part for the
    // whole record.
    const std::string_view whole = std::string_view(text_).substr(start, end - start);
    const std::string_view kept = CutChars(whole, kImexLineChars);
    recordTooLong_ = kept.size() < whole.size() && whole.find_first_not_of(' ', kept.size()) != std::string_view::npos;
    record_.assign(kept);
    return static_cast<int64_t>(next - start);
}

int Imex::NextField() {
    const int result = TakeField();
    // A NUL byte has no place in a text of the data file.
    nuls_ = static_cast<std::size_t>(std::count(field_.begin(), field_.end(), '\0'));
    if (nuls_ > 0) field_.erase(std::remove(field_.begin(), field_.end(), '\0'), field_.end());
    return result;
}

namespace {

// Characters of a UTF-8 text: every byte that does not continue one.
std::size_t CharsOf(std::string_view text) {
    std::size_t n = 0;
    for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

}  // namespace

int Imex::TakeField() {
    converted_ = false;
    cutFrom_ = 0;
    if (cursor_ == std::string::npos || cursor_ >= record_.size() ||
        record_.find_first_not_of(' ', cursor_) == std::string::npos) {
        field_.clear();
        cursor_ = std::string::npos;
        return 0;
    }
    if (record_[cursor_] == '"') {
        std::size_t j = cursor_ + 1;
        std::size_t close = std::string::npos;
        for (;;) {
            const std::size_t q = record_.find('"', j);
            if (q == std::string::npos) break;
            if (q + 1 < record_.size() && record_[q + 1] == '"') {
                j = q + 2;
                continue;
            }
            close = q;
            break;
        }
        std::string_view raw;
        if (close != std::string::npos) {
            raw = std::string_view(record_).substr(cursor_ + 1, close - cursor_ - 1);
            cursor_ = close + 2;
        } else {
            raw = std::string_view(record_).substr(cursor_ + 1);
            cursor_ = std::string::npos;
        }
        // Doubled quotes read as one.
        field_.clear();
        for (std::size_t k = 0; k < raw.size(); ++k) {
            field_.push_back(raw[k]);
            if (raw[k] == '"' && k + 1 < raw.size() && raw[k + 1] == '"') ++k;
        }
        if (field_.size() > kImexFieldChars) {
            // Blanks past the limit are no loss.
            const std::size_t keep = CutChars(field_, kImexFieldChars).size();
            if (field_.find_first_not_of(' ', keep) != std::string::npos)
                cutFrom_ = CharsOf(std::string_view(field_).substr(0, field_.find_last_not_of(' ') + 1));
            field_.resize(keep);
        }
        return 1;
    }
    const std::size_t comma = record_.find(',', cursor_);
    std::string_view raw;
    if (comma != std::string::npos) {
        raw = std::string_view(record_).substr(cursor_, comma - cursor_);
        cursor_ = comma + 1;
    } else {
        raw = std::string_view(record_).substr(cursor_);
        cursor_ = std::string::npos;
    }
    field_.assign(CutChars(raw, kImexFieldChars));
    if (raw.find_first_not_of(' ', field_.size()) != std::string_view::npos)
        cutFrom_ = CharsOf(raw.substr(0, raw.find_last_not_of(' ') + 1));
    return 2;
}

void Imex::DeformatField(std::string_view picture) {
    if (converted_) return;
    converted_ = true;
    if (ClassOfPicture(picture) != PictureClass::Formatted) return;
    field_ = std::string(CutChars(Deformat(field_, TrimPicture(picture)).toText(), kImexFieldChars));
}

int64_t OpenImportFile(Imex& imex, const std::string& fileName, ImexError& error) {
    error = {};
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        error = ErrnoError(errno);
        return 0;
    }
    if (S_ISDIR(st.st_mode)) {
        error = ErrnoError(EISDIR);
        return 0;
    }
    if (!imex.LoadFile(fileName, error)) return 0;
    if (imex.TextSize() == 0) return 0;
    // The window's columns come from the first two records: a file that
    // cannot give them is not opened.
    if (imex.NextLine() != 0) imex.NextLine();
    if (imex.ReadFailure().code != 0) {
        error = imex.ReadFailure();
        return 0;
    }
    imex.SetImport();
    return static_cast<int64_t>(st.st_size);
}

// ---------------------------------------------------------------- export file

ImexExportFile::~ImexExportFile() { Discard(); }

bool ImexExportFile::Create(const std::string& target, ImexError& error) {
    Discard();
    target_ = target;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        error = ErrnoError(EISDIR);
        return false;
    }
    // "<target>.XXXXXX", named in the note before it is made; the note's
    // own six characters make it unique.
    for (int attempt = 0; attempt < 8 && fd_ < 0; ++attempt) {
        note_ = std::make_unique<data::TemporaryNote>();
        if (!note_->Made()) break;
        temp_ = target + "." + note_->Tail();
        if (!note_->Add(temp_)) break;
        fd_ = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd_ < 0 && errno != EEXIST) {
            error = ErrnoError(errno);
            note_.reset();
            temp_.clear();
            return false;
        }
    }
    if (fd_ < 0) {
        // No note to be had (a data folder that cannot be written): the
        // file is made as before, only not swept after a kill.
        note_.reset();
        temp_ = target + ".XXXXXX";
        fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
    }
    if (fd_ < 0) {
        error = ErrnoError(errno);
        temp_.clear();
        return false;
    }
    // The mode of the file it replaces, else the owner's alone.
    ::fchmod(fd_, ReplacementMode(target));
    buffer_.clear();
    return true;
}

bool ImexExportFile::Flush(ImexError& error) {
    std::size_t off = 0;
    while (off < buffer_.size()) {
        const ssize_t put = ::write(fd_, buffer_.data() + off, buffer_.size() - off);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            error = ErrnoError(put < 0 ? errno : ENOSPC);
            buffer_.erase(0, off);
            return false;
        }
        off += static_cast<std::size_t>(put);
    }
    buffer_.clear();
    return true;
}

bool ImexExportFile::AddLine(std::string_view line, ImexError& error) {
    if (fd_ < 0) {
        error = {kFileNotOpen, ErrorText(kFileNotOpen)};
        return false;
    }
    buffer_.append(ClipBlanks(line));
    buffer_.append("\r\n");
    if (buffer_.size() < kWriteBuffer) return true;
    return Flush(error);
}

bool ImexExportFile::Commit(ImexError& error) {
    if (fd_ < 0) {
        error = {kFileNotOpen, ErrorText(kFileNotOpen)};
        return false;
    }
    if (!Flush(error)) return false;
    if (::fsync(fd_) != 0) {
        error = ErrnoError(errno);
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        error = ErrnoError(errno);
        ::unlink(temp_.c_str());
        temp_.clear();
        return false;
    }
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        error = ErrnoError(errno);
        ::unlink(temp_.c_str());
        temp_.clear();
        return false;
    }
    temp_.clear();
    note_.reset();
    return true;
}

void ImexExportFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    note_.reset();
    buffer_.clear();
}

}  // namespace kr::reports
