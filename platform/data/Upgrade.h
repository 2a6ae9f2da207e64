// The upgrade library: tables and their layout versions are registered once
// at start; every open of a registered table goes through ds_FileOpen, which
// converts a table stored at a lower version to the registered layout
// (fields matched by name and by alternate name, new fields given their
// new-record values) and reports 47 for one it cannot convert or one stored
// at a version above the registered one.
#pragma once

#include <string>
#include <string_view>

#include "platform/data/Table.h"
#include "platform/data/TableDef.h"

namespace kr::data {

class FileManager;

// Registration of the driver whose tables are upgraded ("Tps") and of the
// drivers left alone ("AllFiles", 1: every other). Kept for the calls'
// sake: the engine upgrades multi-table files and leaves the others.
void ds_AddDriver(std::string_view name, const void* driver = nullptr);
void ds_IgnoreDriver(std::string_view name, int ignore);
// Registers a table with its version. The prefix and the label may come in
// either order (the programs differ); a table registered again keeps the
// last version.
void ds_UsingFile(std::string_view prefixOrLabel, std::string_view labelOrPrefix, const TableDef& def,
                  int version);
// An earlier name of a field of the table registered last. Either argument
// may be the current name (the programs pass them in different orders);
// the other is the earlier one. Full names with prefix ("KRT:Filename").
void ds_AlternateFieldName(std::string_view name1, std::string_view name2);
// Opens the table (Table::Open) after bringing a registered table to its
// registered layout. Leaves the result in the last-error state too.
int ds_FileOpen(Table& table, int mode);
// Writes the example file of a multi-table file for the repair utility: an
// empty file of the same tables, keys and catalogue, named after the data
// file with the extension ".tpe", next to it. Returns "1" when it could not
// be created, "2" when the table is not in a multi-table file, "3" when
// writing failed (the last error tells why), "0" on success.
std::string ds_MakeTPE(Table& table);

// The registered version of a table (0: not registered).
int RegisteredVersion(const TableDef& def);
// Forgets every registration (tests).
void ResetUpgradeRegistrations();
// The file manager whose SetNewRecordDefaults gives a converted table's new
// fields their values (FileManager::Init registers itself).
void RegisterDefaultsProvider(const TableDef& def, FileManager* manager);
void UnregisterDefaultsProvider(FileManager* manager);

}  // namespace kr::data
