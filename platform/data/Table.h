// A table: the runtime's FILE with its operations, over one of four drivers.
//
// - MultiTable: one SQLite (SQLCipher) database per multi-table file, one SQL
//   table per table, one index per key. Encrypted with the owner password
//   when the table has one.
// - Ascii: one fixed-width line per record, CR LF ("KR98Evnt.LOG").
// - Basic: comma-delimited lines.
// - Dos: records of raw bytes.
//
// Every operation returns the runtime's error code (0 on success) and sets
// the last-error state (Errors.h); nothing throws through callers.
//
// One Table object per TableDef per process (TableOf). Opening is
// process-wide and counted: an Open of an open table gives 52 ("File Already
// Open") and is counted like a successful one; each Open, successful or 52,
// is matched by one Close, and the file closes with the last.
//
// Record buffers, key order, position and held records belong to the
// procedure thread (ProcedureContext.h): two procedures reading the same
// table never disturb each other's buffer or position.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/TableDef.h"
#include "platform/runtime/Value.h"

namespace kr::data {

struct ThreadState;

// Access and sharing bits of an open mode, as the runtime numbers them.
enum OpenModeBits : int {
    kReadOnly = 0x00,
    kWriteOnly = 0x01,
    kReadWrite = 0x02,
    kDenyAll = 0x10,
    kDenyWrite = 0x20,
    kDenyRead = 0x30,
    kDenyNone = 0x40,
};
constexpr int kModeShared = kReadWrite | kDenyNone;     // 66: the framework's default
constexpr int kModeExclusive = kReadWrite | kDenyAll;   // 0x12: repairs
constexpr int kModeReadShared = kReadOnly | kDenyNone;  // 0x40: information

// Where a procedure thread stands in a table (POSITION / RESET / REGET).
struct Position {
    const KeyDef* key = nullptr;  // the order it was taken in (nullptr: file order)
    std::vector<Value> values;    // the key's values of the record
    int64_t row = 0;              // the record's row number (byte offset + 1 for line files); 0: none
    bool valid() const { return row != 0; }
};

// Progress of Build and Pack: percent done and the key being built (nullptr
// while the table itself is worked on). Returning false abandons the work,
// which leaves the file as it was.
using ProgressFn = std::function<bool(int percent, const KeyDef* key)>;

struct TableStatistics {
    int64_t records = 0;
    int64_t fileBytes = 0;
    int storedVersion = 0;  // version in the file's catalogue (0: none)
    int keys = 0;           // keys defined
    int keysPresent = 0;    // keys whose index is present and sound
    std::string diskName;   // full name on disk
};

class Table {
public:
    explicit Table(const TableDef& def);
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const TableDef& def() const { return *def_; }

    // The file-name variable (initially the stored-as name). A table that is
    // open keeps the file it was opened with until closed.
    std::string Name() const;
    void SetName(std::string_view name);
    // The full name on disk: the file's path, and for a table of a
    // multi-table file "\!" and the table ("/data/KR97.TPS\!s").
    std::string DiskName() const;
    // The resolved path of the file.
    std::string FilePath() const;

    // OPEN with a mode (OpenModeBits). Errors: 2 file or table missing, 5
    // access denied, 32 locked by another process, 44 not a data file, 46 a
    // key must be rebuilt, 47 stored layout does not match (or is of a newer
    // version), 52 already open (counted), 90 driver error (wrong owner
    // password, damaged file).
    int Open(int mode = kModeShared);
    int Close();
    bool IsOpen() const;
    int OpenMode() const;
    // CREATE: the table, empty, with its keys (the file too when missing). An
    // existing table of that name is replaced. The table must not be open.
    int Create();
    // REMOVE: deletes the table (and its file when the file holds no other
    // table). The table must not be open.
    int Remove();

    // The current procedure thread's record buffer (made on first use).
    void* Record();
    void* Record(int procedureThread);
    template <class R> R& Rec() { return *static_cast<R*>(Record()); }
    // CLEAR(file): every field empty or 0, memos empty.
    void Clear();

    // SET(key) (nullptr: SET(file), file order): before the first record, so
    // that Next reads the first and Previous the last.
    int Set(const KeyDef* key = nullptr);
    // SET(key, key): at the key's values in the buffer; Next reads the first
    // record at or after them, Previous the last at or before them.
    // SetPointer: Next and Previous read the record at a POINTER() value.
    int SetFrom(const KeyDef* key);
    int SetPointer(int64_t pointer);
    // NEXT / PREVIOUS: 33 past the end.
    int Next();
    int Previous();
    // A run of reads in one go: up to `count` records onward from where the
    // sequence stands, the records that as many Next (or Previous) calls
    // would read, fetched with one statement and decoded straight into the
    // records of `out`. `out` ends up holding exactly the records read (its
    // records are reused from call to call, so keep it for the next run);
    // `positions`, when given, gets each record's position (for RESET and
    // REGET, as GetPosition would give it). Afterwards the sequence, the
    // current record and the buffer are those of the last record read, as
    // after the last Next. 0 when at least one record was read, 33 when none
    // was left, else the error (out then holds the records read before it).
    // Nothing stays open in the file when it returns.
    int NextRecords(int count, std::vector<AnyRecord>& out, std::vector<Position>* positions = nullptr);
    int PreviousRecords(int count, std::vector<AnyRecord>& out, std::vector<Position>* positions = nullptr);
    // GET(file, key): the first record (in key order) whose key values equal
    // the buffer's; 35 when none. Does not move the sequence of Next/Previous.
    int Get(const KeyDef* key);
    // POSITION(key): where the current procedure thread stands: its last
    // record read or written, in the current order.
    Position GetPosition() const;
    // RESET(key, position): Next reads the record after the position,
    // Previous the one before.
    int Reset(const Position& position);
    // REGET: reads the record at the position again.
    int Reget(const Position& position);
    // POINTER(): the current record's row number (byte offset + 1 for line
    // files); 0 when there is none.
    int64_t Pointer() const;

    // ADD: stores the buffer as a new record (40 when a unique key already
    // holds its values; LastDuplicateKey names the key). The new record is
    // the current one.
    int Add();
    // Stores the buffer as a new record with the key's auto-numbered
    // component set to one more than the highest stored (among the records
    // that share the first component, for kAutoWithinFirst), in one write
    // transaction; the number goes into the buffer.
    int AddAutoNumbered(const KeyDef* key);
    // PUT: writes the buffer over the current record (33 when there is none).
    // Over a record the thread's writer read earlier (Watch), the record
    // stored now is compared with it first: when another writer changed a
    // field meanwhile nothing is written, the buffer gets the stored record
    // (which becomes the one read) and the result is 89 (kRecordChanged).
    // A mark (FieldDef::mark) another writer changed is no such change: the
    // buffer takes the stored mark unless it changed the mark itself.
    int Put();
    // WATCH: the next record the current procedure thread reads (GET, REGET,
    // NEXT, PREVIOUS, the last of NextRecords) is kept as read, for PUT to
    // compare with. WatchCurrent keeps the buffer now as the current record
    // read (the caller has just read it and changed nothing). The kept record
    // lasts until Unwatch, the next Watch or the record's DELETE; reads
    // without Watch leave it alone.
    void Watch();
    void WatchCurrent();
    void Unwatch();
    // DELETE: deletes the current record (33 when there is none).
    int Delete();
    // RECORDS(): records in the table (or in the key, which leaves out
    // excluded records); -1 on error.
    int64_t Records();
    int64_t Records(const KeyDef* key);
    // The first maxBytes bytes of a memo of the record with that row number
    // (POINTER()), read on their own: the buffer, the position and the
    // current record stay as they are (a list reads what its visible rows
    // show). 35 when there is no such record; 80 for line files.
    int ReadMemo(int64_t pointer, std::string_view memoName, std::size_t maxBytes, std::string& out);

    // HOLD / RELEASE of the current record. Holds are visible to every
    // program: 43 when another live holder has it; a hold left by a program
    // that ended no longer counts.
    int Hold();
    int Release();

    // BUILD: drops and rebuilds every key's index. The table must be open
    // exclusively or closed.
    int Build(const ProgressFn& progress = {});
    // PACK: rewrites the file without unused space and rebuilds the keys.
    int Pack(const ProgressFn& progress = {});
    // LOCK / UNLOCK: while locked, other programs cannot open or write the
    // file (they get 32).
    int Lock();
    int Unlock();

    // SEND(file, command): driver commands.
    //   "RECOVER=n"       the next open waits up to n seconds for a lock
    //                     another program holds; with n > 0 reading a record
    //                     clears a hold left by a program that ended
    //   "HELD"            "ON" when the current record carries a hold mark
    //   "IGNORESTATUS=ON|OFF", "FULLBUILD=ON|OFF"  accepted
    // Returns the answer (empty for commands without one).
    std::string Send(std::string_view command);

    TableStatistics Statistics();

    // Version and layout kept in the file's catalogue (0 / empty: none).
    int StoredVersion();
    std::string StoredLayout();
    // The layout text of the definition, as the catalogue keeps it.
    static std::string LayoutOf(const TableDef& def);

    // Called by the upgrade library before an open: brings a stored table of
    // a lower version to the definition, matching fields by name and by the
    // alternate names given (old full name -> current full name); new fields
    // take the values of `defaults` (a record). 0, 2 (no such table), 47.
    int Convert(int version, const std::vector<std::pair<std::string, std::string>>& alternates,
                const void* defaults);

    // Internal support for relations: reads the records whose fields equal
    // the values, in the order of the key, into a scratch record. The
    // callback returns false to stop. Does not touch any procedure's buffer
    // or position. Errors: 0, or a code; a missing table has no records.
    int ForEachMatch(const KeyDef* key, const std::vector<const FieldDef*>& fields,
                     const std::vector<Value>& values,
                     const std::function<bool(int64_t row, const void* record)>& fn);
    int DeleteRow(int64_t row);
    int UpdateRowFields(int64_t row, const std::vector<const FieldDef*>& fields,
                        const std::vector<Value>& values);
    // Reads a stored record into `record`; 35 when gone.
    int ReadRow(int64_t row, void* record);
    // Makes the file's connection available without opening the table (for
    // relations and transactions): 0, or 2 when the file or table is missing.
    int Attach();

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    int PutWatched(ThreadState& s);
    const TableDef* def_;
    std::unique_ptr<Impl> impl_;
};

// The process's Table object for a definition (made on first use).
Table& TableOf(const TableDef& def);

// Transactions (LOGOUT / COMMIT / ROLLBACK) of the current procedure thread
// over the files of the tables given: 56 when one is already active, 91 on
// COMMIT or ROLLBACK without one. Until COMMIT, other programs wait for the
// files.
int Logout(const std::vector<Table*>& tables);
int Commit();
int Rollback();
bool InTransaction();

// A procedure thread has ended: its record buffers and positions are freed
// and its holds released (the window layer calls this). The file managers'
// use counts of the thread are closed too.
void EndProcedureThread(int procedureThread);

// Milliseconds a write waits for another program's lock before giving 32
// (default 5000).
void SetBusyTimeout(int milliseconds);
// While one lives, the calling thread's reads and writes do not wait for a
// file another program holds: they give 32 at once. For work that is tried
// again later anyway and must not hold its thread (the timer's quiet
// retries on the window's thread). Nests.
class NoBusyWait {
public:
    NoBusyWait();
    ~NoBusyWait();
    NoBusyWait(const NoBusyWait&) = delete;
    NoBusyWait& operator=(const NoBusyWait&) = delete;
};
// Key-derivation rounds of new and opened encrypted files (0: SQLCipher's
// default). Tests that are not about the key lower it to save time; a file
// must be opened with the rounds it was made with.
void SetKeyDerivationIterations(int iterations);
// Closes the connections of files that have no open table (they are kept
// for reuse otherwise, since opening an encrypted file is slow).
void CloseIdleFiles();
// Gives back the pages the open files' connections keep cached (about 2 MB
// each when full); they are read again as they are needed. Called now and
// then by an idle program: a connection keeps its pages while it is busy,
// that is while another thread uses it, while a transaction is open, and
// when it wrote anything since the previous call.
void ReleaseCachedPages();

}  // namespace kr::data
