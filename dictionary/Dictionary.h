// The table managers: one file manager and one relation manager per table,
// program-wide, made ready by DictionaryInit and shut down by DictionaryKill.
//
// Naming: the managers that the original names Label.File and
// Label.Relations are reached through the accessors Label_File() and
// Label_Relations() (Schedule_File(), Schedule_Relations(), ...). The file
// manager is typed by the table's record: Schedule_File().rec() is the
// current procedure thread's Schedule buffer.
//
// Each program builds its own set: DictionaryInit() for KR98 (lock recovery
// 3 seconds, open mode 2 for the tables that are not shared),
// DictionaryInitMessageProgram() for KRMsg (its eight tables, lock recovery
// 10, all shared) and DictionaryInitRepairProgram() for KR_DBASE (its twelve
// tables, lock recovery 10, all shared). A relation is kept only when both
// its tables belong to the program's set. An accessor used before any Init
// initialises the set of KR98; an accessor of a table outside the program's
// set makes that table's managers ready on their own.
#pragma once

#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/FileManager.h"

namespace kr {

// File managers that add to the framework's operations. The others are
// TableFileManager<R> as they are.

// Every table's file manager: binds its memos with its fields.
template <class R>
class TableFileManager : public data::FileManagerT<R> {
public:
    void BindFields() override {
        data::FileManager::BindFields();
        for (const data::MemoDef& m : this->def().memos) this->BindMemo(m.name);
    }
};

// Schedule and Scripting write open errors to the event log.
template <class R>
class LoggedOpenFileManager : public TableFileManager<R> {
public:
    int Open() override;
    int TryOpen() override;
    int UseFile() override;

private:
    int Logged(int level);
};

class ScheduleFileManager : public LoggedOpenFileManager<Schedule> {
public:
    // SCH:Disabled 1 (a new task never runs before it is saved), last change now.
    void SetNewRecordDefaults() override;
};

class ScriptingFileManager : public LoggedOpenFileManager<Scripting> {
public:
    // SCR:ID is the task in the Schedule buffer.
    void SetNewRecordDefaults() override;
};

class SyncScriptingFileManager : public TableFileManager<SyncScripting> {
public:
    void SetNewRecordDefaults() override;
};

class ScriptTemplateDetailsFileManager : public TableFileManager<ScriptTemplateDetails> {
public:
    // KRD:Wiz_ID is the template in the ScriptTemplates buffer.
    void SetNewRecordDefaults() override;
};

class HolidaysFileManager : public TableFileManager<Holidays> {
public:
    void SetNewRecordDefaults() override;
};

class MessagesFileManager : public TableFileManager<MessagesRecord> {
public:
    void SetNewRecordDefaults() override;
};

class SysHotKeysFileManager : public TableFileManager<SysHotKeys> {
public:
    // A new hot key types a text; it links to no task (ID 0) until one is
    // chosen for it.
    void SetNewRecordDefaults() override;
};

// Todo and SyncTodo accept a priority from 1 to 10 only.
template <class R>
class TodoFileManagerT : public TableFileManager<R> {
public:
    int ValidateField(int fieldNumber) override;
};
using TodoFileManager = TodoFileManagerT<Todo>;
using SyncTodoFileManager = TodoFileManagerT<SyncTodo>;

// Every table's relation manager: adds the table's relations (those whose
// other table belongs to the program's set).
class TableRelationManager : public data::RelationManager {
public:
    void AddRelations() override;
};

// A text hot key runs no task: deleting it leaves the Schedule alone even
// when its ID names a task (records written by earlier versions gave every
// new hot key the ID of the task in memory).
class SysHotKeysRelationManager : public TableRelationManager {
public:
    int Delete(bool query = true) override;
    int TryDelete() override;
};

void DictionaryInit();
void DictionaryInitMessageProgram();
void DictionaryInitRepairProgram();
// Shuts the managers down in the order they were made ready; the accessors
// then stand for an uninitialised dictionary again.
void DictionaryKill();
bool DictionaryReady();

ScheduleFileManager& Schedule_File();
TableFileManager<ScheduleWorkfile>& ScheduleWorkfile_File();
TableFileManager<SyncSchedule>& SyncSchedule_File();
ScriptingFileManager& Scripting_File();
SyncScriptingFileManager& SyncScripting_File();
TableFileManager<ScriptTemplates>& ScriptTemplates_File();
ScriptTemplateDetailsFileManager& ScriptTemplateDetails_File();
TableFileManager<MsgLink>& MsgLink_File();
HolidaysFileManager& Holidays_File();
TableFileManager<Configuration>& Configuration_File();
TableFileManager<KR_Log>& KR_Log_File();
TableFileManager<Export>& Export_File();
TodoFileManager& Todo_File();
SyncTodoFileManager& SyncTodo_File();
TableFileManager<Categories>& Categories_File();
TableFileManager<Contact>& Contact_File();
TableFileManager<ContactCategories>& ContactCategories_File();
MessagesFileManager& Messages_File();
TableFileManager<ClipboardRecord>& Clipboard_File();
TableFileManager<ClipboardCategories>& ClipboardCategories_File();
SysHotKeysFileManager& SysHotKeys_File();

TableRelationManager& Schedule_Relations();
TableRelationManager& ScheduleWorkfile_Relations();
TableRelationManager& SyncSchedule_Relations();
TableRelationManager& Scripting_Relations();
TableRelationManager& SyncScripting_Relations();
TableRelationManager& ScriptTemplates_Relations();
TableRelationManager& ScriptTemplateDetails_Relations();
TableRelationManager& MsgLink_Relations();
TableRelationManager& Holidays_Relations();
TableRelationManager& Configuration_Relations();
TableRelationManager& KR_Log_Relations();
TableRelationManager& Export_Relations();
TableRelationManager& Todo_Relations();
TableRelationManager& SyncTodo_Relations();
TableRelationManager& Categories_Relations();
TableRelationManager& Contact_Relations();
TableRelationManager& ContactCategories_Relations();
TableRelationManager& Messages_Relations();
TableRelationManager& Clipboard_Relations();
TableRelationManager& ClipboardCategories_Relations();
SysHotKeysRelationManager& SysHotKeys_Relations();

}  // namespace kr
