// The framework's FileManager and RelationManager over a Table.
//
// A program makes one FileManager and one RelationManager per table (the
// dictionary derives a class per table and overrides the virtual operations).
// Per procedure thread (ProcedureContext.h) a manager keeps its own use
// count, and the table keeps that thread's record buffer, key order and
// position; FileManagerT<R>::rec() is the current thread's buffer typed.
//
// Results: the operations return a Level (ErrorHandler.h): kLevelBenign on
// success, kLevelNotify when the operation failed and the caller may go on
// (not found, end of file, duplicate key), kLevelFatal when it failed for a
// file error. The runtime's code is in LastErrorCode() (Errors.h). The Try...
// forms report nothing; the others show the framework's message through the
// error handler, naming the table by its error name.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/ErrorHandler.h"
#include "platform/data/Table.h"
#include "platform/data/TableDef.h"

namespace kr::data {

class RelationManager;

class FileManager {
public:
    FileManager();
    virtual ~FileManager();
    FileManager(const FileManager&) = delete;
    FileManager& operator=(const FileManager&) = delete;

    // The framework's Init: the table and the error handler (nullptr: the
    // manager reports nothing). The name variable starts as the table's
    // stored-as name.
    void Init(const TableDef& def, ErrorHandler* errors);
    // Closes every procedure thread's uses of the table and forgets them.
    virtual void Shutdown();

    // Settings (the framework's defaults).
    int openMode = kModeShared;  // 66: read/write, deny none
    bool create = true;          // a missing table is created on open
    int lockRecover = 10;        // seconds "Recover=" gives a lock held elsewhere
    bool lazyOpen = true;        // Open counts the use; the file opens on first access

    // The keys in the table's key order, with their descriptions and
    // auto-number marks. An unknown key name is ignored (and false returned).
    bool AddKey(std::string_view keyName, std::string description, bool autoNumber = false);
    struct KeyInfo {
        const KeyDef* key = nullptr;
        std::string description;
        bool autoNumber = false;
    };
    const std::vector<KeyInfo>& keys() const { return keys_; }
    const KeyDef* Key(std::string_view name) const;

    // The file-name variable of the table.
    void SetName(std::string_view name);
    std::string GetName() const;
    // The name the error handler shows for the table (%File): the table's
    // error name, else its label.
    virtual std::string ErrorName() const;

    const TableDef& def() const { return *def_; }
    Table& File() { return *table_; }
    ErrorHandler* Errors() const { return errors_; }
    void SetErrors(ErrorHandler* errors) { errors_ = errors; }
    // The current procedure thread's record buffer.
    void* Buffer();

    // Opening. Open and TryOpen count a use for the current procedure thread;
    // the file opens (through the upgrade library, which converts an older
    // stored layout) on the thread's first use, or at once when lazyOpen is
    // off. A missing table is created when `create` is set; a lock held
    // elsewhere is waited for once with "Recover=" lockRecover. Open also asks
    // to rebuild damaged keys and reports failures.
    virtual int Open();
    virtual int TryOpen();
    // Ends one use of the current procedure thread; the thread's last use
    // closes its hold on the file.
    virtual int Close();
    // Opens a lazily opened table now (every operation calls it).
    virtual int UseFile();
    // Uses of the current procedure thread.
    int UseCount() const;
    bool Opened() const { return UseCount() > 0; }

    // Key order and position of the current procedure thread.
    int SetOrder(const KeyDef* key);         // SET(key); nullptr: file order
    int SetPosition(const KeyDef* key);      // SET(key, key): from the buffer's key values

    // Reading.
    virtual int Fetch(const KeyDef* key);    // GET by key; not found: kLevelNotify, no message
    virtual int TryFetch(const KeyDef* key);
    int Fetch(std::string_view keyName) { return Fetch(Key(keyName)); }
    int TryFetch(std::string_view keyName) { return TryFetch(Key(keyName)); }
    virtual int Next();                      // end of file: kLevelNotify, no message
    virtual int TryNext();
    virtual int Previous();
    virtual int TryPrevious();

    // Writing. Insert stores the buffer as a new record, auto-numbering the
    // marked keys unless PrimeAutoInc already reserved the record (then the
    // reserved record is written over). Update writes the buffer over the
    // current record. Delete deletes the current record (without relations;
    // RelationManager::Delete applies them).
    virtual int Insert();
    virtual int TryInsert();
    virtual int Update();
    virtual int TryUpdate();
    virtual int Delete();
    virtual int TryDelete();
    int64_t Records();

    // New records. PrimeRecord clears the buffer (unless suppressClear), sets
    // the new-record values (SetNewRecordDefaults) and, when a key is marked
    // auto-numbered, reserves the next number (PrimeAutoInc).
    virtual int PrimeRecord(bool suppressClear = false);
    // Sets the table's new-record values in the buffer; the framework's sets
    // none.
    virtual void SetNewRecordDefaults() {}
    // Gives each auto-numbered key the next number and reserves it by storing
    // the record; once per record (until Insert or CancelAutoInc). Reports
    // "Auto Increment Error" with Retry/Cancel on failure.
    virtual int PrimeAutoInc();
    virtual int TryPrimeAutoInc();
    // Gives the reserved number back: deletes the reserved record.
    virtual void CancelAutoInc();
    bool AutoIncDone() const;

    // Checks. ValidateField checks one field by its number (the framework's
    // check accepts every value: 0). ValidateRecord checks every field and
    // returns the first failure's result, the field number in *failedField.
    virtual int ValidateField(int fieldNumber);
    virtual int ValidateRecord(int* failedField = nullptr);

    // Reporting: the error handler's file name becomes ErrorName(), then the
    // handler throws. ThrowFile also sets the message text (%Message);
    // ThrowMessage sets the message text.
    virtual int Throw(int msgId);
    virtual int ThrowFile(int msgId, std::string_view text);
    virtual int ThrowMessage(int msgId, std::string_view text);

    // Makes every field known to the expression evaluator (CurrentBindings)
    // by its full name ("SCH:Date"), read from the binding procedure
    // thread's buffer when evaluated. BindMemo does the same for a memo.
    virtual void BindFields();
    void BindMemo(std::string_view memoName);

    // The relation manager that made this file manager its own (or nullptr).
    RelationManager* relations() const { return relations_; }

    // Every manager made by Init, for EndProcedureThread.
    static void EndThread(int procedureThread);
    // The manager made by Init over a table (one that holds a use of the
    // current procedure thread first, when there are several); nullptr when
    // none was made.
    static FileManager* Of(const Table& table);

    // Reports the last error of an operation: duplicate keys as
    // kMsgDuplicateKey, a change refused because another writer changed the
    // record since it was read (kRecordChanged) as kMsgRecordChanged where
    // the thread's form keeps typed values (below) and kMsgPutChanged
    // elsewhere, others with the message given. Returns the level; the last
    // error stays as it was.
    int ReportError(int msgId);

    // A form whose history key recalls the values typed in it registers,
    // for its procedure thread, how to keep them (`owner` names it; the last
    // registered of a thread counts). A refused change on that thread keeps
    // them before its message shows. Unregister with the same owner.
    static void KeepTypedValues(int procedureThread, const void* owner, std::function<void()> keep);
    static void ForgetTypedValues(int procedureThread, const void* owner);

private:
    friend class RelationManager;
    struct ThreadUse {
        int uses = 0;
        bool fileOpened = false;  // this thread's uses hold one Open of the table
        int64_t reservedRow = 0;  // the record PrimeAutoInc stored
    };
    ThreadUse& use();
    const ThreadUse* findUse() const;
    int OpenFile();  // the real open, with create and lock recovery
    int AutoNumber(); // the auto-number insert of the marked keys

    const TableDef* def_ = nullptr;
    Table* table_ = nullptr;
    ErrorHandler* errors_ = nullptr;
    RelationManager* relations_ = nullptr;
    std::vector<KeyInfo> keys_;
    mutable std::mutex m_;
    std::map<int, ThreadUse> uses_;
};

// A file manager over the record struct R: rec() is the current procedure
// thread's buffer.
template <class R>
class FileManagerT : public FileManager {
public:
    R& rec() { return *static_cast<R*>(Buffer()); }
};

// Relation modes for update and delete.
enum RelationMode : int {
    kRINone = 0,
    kRIClear = 1,     // not used by the suite; treated as none
    kRIRestrict = 2,
    kRICascade = 3,
};

// The framework's RelationManager: the relations in which its table is the
// parent (with the child's manager, update and delete modes, the child's key
// and the linking field pairs) and the tables in which it is a child.
// Update and Delete apply the rules across the chain of tables in one
// transaction: a restriction anywhere leaves every table as it was.
class RelationManager {
public:
    RelationManager();
    virtual ~RelationManager();
    RelationManager(const RelationManager&) = delete;
    RelationManager& operator=(const RelationManager&) = delete;

    // The framework's Init with the table's file manager.
    void Init(FileManager* file);
    virtual void Shutdown();
    // The dictionary's per-table relations; the framework's adds none.
    virtual void AddRelations() {}

    // A relation in which this table is the parent. The linking fields follow
    // with AddRelationLink (parent field, child field), in the key's order.
    void AddRelation(RelationManager* child, int updateMode, int deleteMode, const KeyDef* childKey);
    void AddRelation(RelationManager* child, int updateMode, int deleteMode, std::string_view childKey);
    void AddRelationLink(std::string_view parentField, std::string_view childField);
    // A relation in which this table is the child (the parent's manager).
    void AddRelationFile(RelationManager* parent);

    FileManager* Me() const { return me_; }

    // Opens the table and (lazily) its related tables for the current
    // procedure thread; Close ends those uses.
    virtual int Open();
    virtual int Close();

    // Deletes the current record of the table with the delete rules: asks
    // "Confirm Delete" first when query is set; cascades delete the children
    // (and theirs), restrictions refuse with "Referential Integrity Delete
    // Error" naming the child. Returns kLevelBenign when deleted,
    // kLevelCancel when the user said no, kLevelNotify when refused or failed.
    virtual int Delete(bool query = true);
    // The same without messages; a restriction leaves LastErrorCode() at
    // kRecordNotAvailable with the child named in LastFileErrorText().
    virtual int TryDelete();
    // Writes the buffer over the current record with the update rules: when
    // linking fields changed, cascades carry the new values to the children,
    // restrictions refuse with "Referential Integrity Update Error" and put
    // the linking fields of the buffer back to the stored values.
    virtual int Update(bool fromForm = false);
    virtual int TryUpdate();

    struct Link {
        const FieldDef* parent = nullptr;
        const FieldDef* child = nullptr;
    };
    struct Relation {
        RelationManager* child = nullptr;
        int updateMode = kRINone;
        int deleteMode = kRINone;
        const KeyDef* childKey = nullptr;
        std::vector<Link> links;
    };
    const std::vector<Relation>& relations() const { return relations_; }
    const std::vector<RelationManager*>& parents() const { return parents_; }

private:
    enum class Outcome { Done, Restricted, Failed };
    int Apply(bool isDelete, bool report);
    Outcome CascadeDelete(const void* record, std::string& blockedBy);
    Outcome CascadeUpdate(const void* oldRecord, const void* newRecord, std::string& blockedBy);
    void CollectTables(bool isDelete, std::vector<Table*>& out) const;
    void CollectRelated(std::vector<RelationManager*>& out);

    FileManager* me_ = nullptr;
    std::vector<Relation> relations_;
    std::vector<RelationManager*> parents_;
};

}  // namespace kr::data
