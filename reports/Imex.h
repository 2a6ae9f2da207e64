// The comma-delimited exchange files of schedule, to-do items and contacts:
// the one definition of their format. The export and import windows, and any
// later writer of such a file, build and take apart their lines here.
//
// The format:
// - one record a line, fields separated by single commas, no comma after the
//   last field, nothing written around a comma;
// - a field's picture sorts it into one of three classes by its second
//   character: "S"/"s" text (quoted, inner quotes doubled, trailing blanks
//   dropped), "N"/"n" number (bare, the raw value without blanks, whatever
//   the picture's digits), anything else formatted (the value formatted by
//   the picture, quoted, at the full width the formatter gives);
// - an optional first line of field names, written in header mode: a name
//   holding "[" has its "," and "[" turned into "_" and its "]" into a blank,
//   and quotes are not doubled;
// - a field holds at most 8,000 characters and a line 24,000, cut never
//   inside a UTF-8 character; lines end with CR LF and carry no blanks after
//   their last field; files are UTF-8.
//
// Reading: lines end at CR LF, LF or CR; a file that is not valid UTF-8 is
// read as Windows-1252. A field that begins with a double quote is quoted
// and ends at the first quote not followed by another (doubled quotes read
// as one, and the one character after the closing quote is skipped); any
// other field is bare and runs to the next comma. A quoted field goes on
// over a line break when its closing quote follows within 8,000 characters
// (memo texts with line breaks read back whole); otherwise it ends at the
// end of its line. A trailing empty bare field ("a,b,") is not reported.
// A record longer than 24,000 characters gives the fields of its first
// 24,000 and is marked (RecordTooLong): it is no record to store.
//
// Each window owns its own Imex: two exchange windows open at once never mix
// their lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/WorkCopies.h"
#include "platform/runtime/Value.h"

namespace kr::reports {

inline constexpr std::size_t kImexFieldChars = 8000;
inline constexpr std::size_t kImexLineChars = 24000;
inline constexpr std::size_t kImexPictureChars = 30;

// The picture of a header line's names and the default pictures of an
// import's columns (a quoted column, a bare one).
inline constexpr const char* kHeaderPicture = "@s50";
inline constexpr const char* kImportTextPicture = "@S1000";
inline constexpr const char* kImportNumberPicture = "@N30.9";

enum class PictureClass { Text, Number, Formatted };
// The class of a picture by its second character (blank-trimmed, cut to 30).
PictureClass ClassOfPicture(std::string_view picture);

// The first `chars` UTF-8 characters of the text (never a part character).
std::string_view CutChars(std::string_view text, std::size_t chars);
// At most `bytes` bytes of the text, never ending inside a UTF-8 character.
std::string_view CutBytes(std::string_view text, std::size_t bytes);

// A file error of an exchange file: the runtime's code and its text, shown
// as "Error #" code " - " text.
struct ImexError {
    int code = 0;
    std::string text;
    std::string Message() const { return "Error #" + std::to_string(code) + " - " + text; }
};
// The error of the last system call (errno) as the runtime would report it.
ImexError ErrnoError(int err);

class Imex {
public:
    // ------------------------------------------------------------ writing
    // Starts a new line.
    void ClearLine();
    // Appends one field. A text value, a number or anything the formatter
    // takes; header mode writes a field name.
    void AddField(const Value& value, bool headerMode, std::string_view picture);
    void AddText(std::string_view text, bool headerMode, std::string_view picture);
    void AddNumber(int64_t number, std::string_view picture);
    // The line built so far (no blanks after its last field, no line end).
    const std::string& Line() const { return line_; }

    // ------------------------------------------------------------ reading
    // Takes the whole text of a file (decoded to UTF-8 when it is not
    // valid UTF-8) and stands before its first line.
    void SetText(std::string_view bytes);
    // The same, taking the bytes without a copy.
    void TakeText(std::string&& bytes);
    // Opens a file (a regular file only) to be read through a window: a
    // little ahead of the position, whole lines decoded, what was read
    // dropped; the window grows only for a record that reaches its end, up
    // to the longest record. False with the error when it cannot be read.
    bool LoadFile(const std::string& fileName, ImexError& error);
    // Back to before the first line.
    void SetImport();
    // Reads the next record (one line, or more when a quoted field goes on
    // over a line break). Returns the bytes it took from the text, line end
    // included, so an empty line is not the end; 0 at the end of the text,
    // and 0 from then on when the reading failed (ReadFailure).
    int64_t NextLine();
    // Why the reading of a file stopped before its end: a read error, a
    // record longer than the longest record, not memory enough for the
    // window. Code 0 while none; SetImport starts again without it.
    const ImexError& ReadFailure() const { return failure_; }
    // The file LoadFile opened (empty for a text taken whole).
    const std::string& FileName() const { return fileName_; }
    // The longest record a file's window grows to hold (64 MB; tests set
    // less).
    void SetLongestRecord(std::size_t bytes) { longestRecord_ = bytes; }
    // The lines of the file the last NextLine took: 1, more for a quoted
    // field that goes on over line breaks.
    int LinesOfRecord() const { return recordLines_; }
    // What the last NextLine found in its record that the reading changed:
    // lines of it read as Windows-1252 (not UTF-8), a quoted field left
    // open at the record's end (it took the rest of the line), a closing
    // quote followed by something other than a comma (a quote inside a
    // quoted field: the skipped character and the fields after it shift).
    int RecodedLinesOfRecord() const { return recordRecoded_; }
    bool RecordEndsInQuote() const { return recordOpenQuote_; }
    // The record held more than 24,000 characters (blanks after its last
    // field aside): its fields are those of its first 24,000 characters
    // only, so it is no whole record to store.
    bool RecordTooLong() const { return recordTooLong_; }
    bool RecordHasStrayQuote() const { return recordStrayQuote_; }
    // Whether a line read so far held UTF-8 beyond ASCII (the file is
    // UTF-8: a Windows-1252 line in it is a stray).
    bool SawUtf8() const { return sawUtf8_; }
    // Takes the next field of the record: 1 quoted, 2 bare, 0 none left.
    // NUL bytes are dropped from the field (NulsDropped says how many).
    int NextField();
    std::size_t NulsDropped() const { return nuls_; }
    // The characters the field had when it was cut to 8,000; 0 when whole.
    std::size_t FieldCutFrom() const { return cutFrom_; }
    // The field last read (or the one being quoted for writing).
    const std::string& Field() const { return field_; }
    // Converts the field back by its picture (formatted class only), once
    // per field however often it is called.
    void DeformatField(std::string_view picture);
    // The decoded text's size and how far the reading has gone (for progress).
    // A file read through its window: the file's size in bytes, and the
    // decoded text taken from it so far.
    int64_t TextSize() const { return file_.fd >= 0 ? fileSize_ : static_cast<int64_t>(text_.size()); }
    int64_t TextPosition() const { return base_ + static_cast<int64_t>(pos_); }

private:
    // The window of the file: decoded text from base_ on, at least `ahead`
    // bytes past the position unless the file ends first.
    void Refill(std::size_t ahead);
    void DecodeUpTo(std::size_t end);
    // Appends the lines of `bytes` decoded, noting where (in the decoded
    // text, from `at` of the whole text) those read as Windows-1252 begin.
    void AppendDecoded(std::string& out, std::string_view bytes, int64_t at);
    void Fail(ImexError failure);
    int64_t ScanRecord(bool& ranOut);
    void NoteRecord(std::size_t at, int64_t taken);
    int TakeField();
    struct File {
        int fd = -1;
        File() = default;
        File(const File&) = delete;
        File& operator=(const File&) = delete;
        ~File();
        void Close();
    };

    void Put(std::string_view s);
    void PutChar(char c);
    void AddComma();
    void QuoteText(std::string_view text, bool headerMode);

    // Writing.
    std::string line_;
    std::size_t lineChars_ = 0;
    bool firstField_ = true;
    // Reading.
    std::string text_;
    std::size_t pos_ = 0;
    File file_;
    int64_t fileSize_ = 0;
    // text_ holds the decoded text up to textEnd_, then the bytes read of a
    // line not yet whole.
    std::size_t textEnd_ = 0;
    int64_t base_ = 0;  // bytes of decoded text dropped before text_
    std::string fileName_;
    std::size_t longestRecord_ = 64u << 20;
    bool eof_ = true;
    ImexError failure_;
    bool started_ = false;  // the file's first bytes (a BOM) looked at
    int recordLines_ = 0;
    int recordRecoded_ = 0;
    bool recordOpenQuote_ = false, recordStrayQuote_ = false, recordTooLong_ = false, sawUtf8_ = false;
    // Where the lines read as Windows-1252 begin (decoded text), in order;
    // those before recodedNext_ have been read.
    std::vector<int64_t> recoded_;
    std::size_t recodedNext_ = 0;
    std::size_t nuls_ = 0, cutFrom_ = 0;
    std::string record_;
    std::size_t cursor_ = std::string::npos;
    bool converted_ = false;
    std::string field_;
};

// A new exchange file, written beside its target under a temporary name and
// renamed over the target only once the whole export has been written, so
// an export that fails or is cancelled leaves any old file as it was.

class ImexExportFile {
public:
    ImexExportFile() = default;
    ~ImexExportFile();
    ImexExportFile(const ImexExportFile&) = delete;
    ImexExportFile& operator=(const ImexExportFile&) = delete;

    // Creates the temporary file beside the target.
    bool Create(const std::string& target, ImexError& error);
    // Appends one line and its CR LF (buffered; a write error may show at a
    // later AddLine or at Commit).
    bool AddLine(std::string_view line, ImexError& error);
    // Writes what is buffered, closes and renames the file over the target.
    bool Commit(ImexError& error);
    // Deletes the temporary file; the target stays as it was.
    void Discard();
    // Writes what AddLine buffered (again, after a failed write).
    bool Flush(ImexError& error);
    const std::string& target() const { return target_; }
    bool open() const { return fd_ >= 0; }

private:
    std::string target_, temp_;
    std::string buffer_;
    int fd_ = -1;
    // The data folder's note of temp_, so that an export killed at work
    // leaves nothing the next start does not sweep away.
    std::unique_ptr<data::TemporaryNote> note_;
};

// The open step of an import: opens the file in the reader and reads its
// first two records. Returns the file's size in bytes, 0 when it is empty or
// cannot be read, its first records included (the error then set, code 0
// for an empty file).
int64_t OpenImportFile(Imex& imex, const std::string& fileName, ImexError& error);

}  // namespace kr::reports
