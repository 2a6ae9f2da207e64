// The export and the import of a table as progress processes: the work the
// exchange windows hand to their progress window, display-free.
//
// Each timer event of the progress window does about 50 ms of work, so the
// window answers its Cancel button between slices whatever the table's size
// and the percentage moves at least every quarter of a second.
//
// Export: the lines go to a temporary file beside the target, which replaces
// the target only once every record has been written. Abort on a failed
// line, a read error or Cancel leave the target as it was; the process then
// says how many records it had written (StoppedText).
//
// Import: each line starts from a cleared record (every field empty or 0, no
// new-record values, no change stamps); its columns are converted by their
// pictures and stored into the targets assigned to them, and the record is
// added with a new number where the table numbers its records. A blank line
// adds nothing, and a record longer than a line's 24,000 characters is left
// out whole and named in the summary. A file that cannot be read to its end
// (a read error, a record past the reader's longest, no memory for its
// window) stops the import with "Cannot READ " and the reason; the records
// before it stay.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/data/FileSettings.h"
#include "platform/data/Table.h"
#include "platform/runtime/RecordProcess.h"
#include "reports/Imex.h"
#include "reports/ImexFields.h"

namespace kr::reports {

// The slice of work per timer event.
inline constexpr std::chrono::milliseconds kImexSlice{50};
// The longest an import holds one transaction over several slices.
inline constexpr std::chrono::milliseconds kImportCommitEvery{250};
// After a commit, the moment the import leaves the data file to a thread or
// another program that waited for it (trying every millisecond): long enough
// that one not run at once on a busy machine still finds the file free, and
// 4% of a 250 ms transaction.
inline constexpr std::chrono::milliseconds kImportHandOver{10};
// The data file's page cache while an import runs, in KB (SQLite's own is
// 2 MB): the table's keys take each row at another place, and a page that
// falls out of the cache is read and decrypted again for a later row.
inline constexpr int kImportCacheKb = 4000;

// A process whose Step works for one slice of time rather than a count.
class TimedProcess : public BatchProcess {
public:
    bool Step(int count) override;
    // The time a Step works for (kImexSlice by default); with 0 a Step
    // handles 16 units (tests stop an export part-way with it).
    void SetSlice(std::chrono::nanoseconds slice) { slice_ = slice; }

protected:
    // Handles one unit of work; false when there is no more (the process
    // then finishes unless the unit set another end state).
    virtual bool Work() = 0;
    virtual void BeginSlice() {}
    virtual void EndSlice() {}
    // Once the work is over, before the state is set: may end it otherwise
    // (a last commit that fails makes a finished run a failed one).
    virtual ProcessState Closing(ProcessState end) { return end; }
    // Once, with the final state.
    virtual void Ended(ProcessState state) { (void)state; }
    // Ends the process in a state other than Finished (from Work).
    void Stop(ProcessState state) { stop_ = state; }

private:
    ProcessState stop_ = ProcessState::Running;
    std::chrono::nanoseconds slice_ = kImexSlice;
};

class ExportRun : public TimedProcess {
public:
    ExportRun(const ImexMember& member, std::vector<ImexFieldEntry> fields, bool header, std::string target);
    ~ExportRun() override;

    // Opens the table, creates the temporary file and writes the header line.
    // Messages "Cannot CREATE " / "Cannot ADD to " on failure. False when
    // the export does not go on (nothing has changed).
    bool Start();
    int written() const { return written_; }
    const std::string& target() const { return target_; }
    // After an export that did not finish: how many records were written
    // and that the file was not changed. Empty after a finished export.
    std::string StoppedText() const;

protected:
    bool Work() override;
    void BeginSlice() override;
    void Ended(ProcessState state) override;

private:
    bool Fetch();
    bool AddLine();
    void CloseTable();

    const ImexMember& member_;
    std::vector<ImexFieldEntry> fields_;
    std::vector<ImexColumn> columns_;
    bool header_;
    std::string target_;
    Imex imex_;
    ImexExportFile file_;
    data::Table* table_ = nullptr;
    bool tableOpen_ = false;
    std::vector<data::AnyRecord> page_;
    std::vector<data::Position> positions_;
    data::Position position_;
    std::size_t next_ = 0;
    bool exhausted_ = false;
    int written_ = 0;
    bool committed_ = false;
};

// How the columns of a file map onto a table's targets.
struct ImportMapping {
    std::vector<std::string> columnPictures;  // per column of the file
    std::vector<int> targetColumn;            // per target of the member: column index or -1
};

// The columns an import window starts with: one per field of the file's
// first line, its value that field's text (first 100 characters) and its
// picture "@S1000", or "@N30.9" where the second line holds the field bare.
// The reader is left after the first line again. Empty when the file has
// no first line.
struct ImportColumns {
    std::vector<std::string> values;
    std::vector<std::string> pictures;
};
ImportColumns ScanImportColumns(Imex& reader);
// The values of the next line for the columns: a column the line has no
// field for keeps its value. False (nothing changed) at the end of the file.
bool NextImportValues(Imex& reader, std::vector<std::string>& values);

// "A&uto": each target without a column gets the first column whose value
// equals the target's name (trailing blanks ignored); in a schedule import
// the date and time targets give that column their picture. Returns the
// columns whose picture changed.
std::vector<int> AutoAssign(const ImexMember& member, const std::vector<std::string>& values,
                            ImportMapping& mapping);

class ImportRun : public TimedProcess {
public:
    // `reader` holds the file (OpenImportFile); fileSize is its size in bytes.
    ImportRun(const ImexMember& member, std::shared_ptr<Imex> reader, ImportMapping mapping, bool stripHeader);
    ~ImportRun() override;

    // Opens the table, positions the file at its start and drops the header
    // line when asked. False when the table cannot be opened.
    bool Start();
    // The records in the table: added and committed (a record whose
    // transaction failed to commit is not counted).
    int added() const { return added_; }
    // What came in so far, for the user and the event log: the lines read
    // against the lines imported (and up to which line of the file), the
    // lines that went into another record's quoted field, those refused,
    // the records longer than a line's 24,000 characters (left out),
    // those whose records were lost with a failed commit and why, and what
    // the reading changed (values clamped, texts cut to their field's
    // length, lines read as Windows-1252, lines ending inside a quoted
    // field, fields shifted by a quote, NUL bytes dropped), the first three
    // of each named.
    std::string Summary() const;
    int linesRead() const { return linesRead_; }

protected:
    bool Work() override;
    void BeginSlice() override;
    void EndSlice() override;
    ProcessState Closing(ProcessState end) override;
    void Ended(ProcessState state) override;

private:
    // A kind of change the import made to what the file held: how many,
    // the first three named.
    struct Noted {
        int count = 0;
        std::vector<std::string> names;
        void Add(std::string name);
        std::string Text(const std::string& one, const std::string& many) const;
    };
    bool AddRecord();
    void CloseTable();
    void GrowCache();
    void RestoreCache();
    void NoteReading(int fields);

    const ImexMember& member_;
    std::shared_ptr<Imex> reader_;
    ImportMapping mapping_;
    bool stripHeader_;
    std::vector<ImexColumn> targets_;
    // For each column, the targets it fills, in target order.
    std::vector<std::vector<int>> columnTargets_;
    data::Table* table_ = nullptr;
    bool tableOpen_ = false;
    // Commits the transaction; false when the commit failed (its records
    // are then lost, the import is stopped and the user told).
    bool CommitNow(bool tell = true);
    void Misfit(const ImexColumn& target, const std::string& text);
    int misfits_ = 0;
    std::vector<std::string> misfitNames_;  // the first three
    Noted recoded_, openQuote_, strayQuote_, nuls_, cut_, longLines_;
    std::string raw_;
    int recordLines_ = 0, fileLine_ = 0, linesRead_ = 0, linesAdded_ = 0, joinedLines_ = 0, refusedLines_ = 0,
        blankLines_ = 0, lastAddedLine_ = 0;
    // What the open transaction added, counted once it commits.
    int pendingAdded_ = 0, pendingLines_ = 0, pendingJoined_ = 0, pendingLastLine_ = 0;
    // Lines whose records a failed commit took back; why the import stopped
    // (in words, when the cause is known).
    int lostLines_ = 0;
    std::string stopReason_;
    bool failed_ = false, sawUtf8_ = false, handOver_ = false;
    data::FileSettings cacheGrown_;
    bool inTransaction_ = false;
    std::chrono::steady_clock::time_point transactionSince_;
    const data::KeyDef* numberKey_ = nullptr;
    int warnDate_ = -1, warnTime_ = -1;
    std::unique_ptr<data::AnyRecord> cleared_, work_;
    int added_ = 0;
};

}  // namespace kr::reports
