// The repair program's list of tables: the twelve tables of the data files
// it can repair, their registration with the upgrade library, the rows of
// the "Repair Files" list and the one rule that says whether a row is
// tagged. No display.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/data/TableDef.h"

namespace kr::repair {

// One table the program repairs, in the order it is registered.
struct RepairTable {
    const char* label;        // the table's label: selects the table to work on
    const char* description;  // shown in the list
    const char* prefix;
    int version;
    const data::TableDef& (*def)();
};

// The twelve tables in their registration order.
const std::vector<RepairTable>& RepairTables();

// The table of a row's label (compared upper-cased); nullptr for any other
// label, an empty one included.
const data::TableDef* RepairTableDef(std::string_view label);

// Registers the twelve tables with the upgrade library, in their order,
// with the earlier name of the templates' file-name field after
// ScriptTemplates. Once per process; later calls do nothing.
void RegisterRepairTables();

// One row of the list.
struct RepairRow {
    std::string tag;             // "1" when tagged
    int tagIcon = 0;             // 1: the tick, 0: none
    std::string fileDesc;        // the description shown
    std::string fileRecords = "?";
    std::string diskName;        // after Info: the name on disk or "Error : ..."
    std::string fileName;        // the table's label
    std::string owner;           // the owner password; never shown
};

// The twelve rows, sorted by description.
std::vector<RepairRow> MakeRepairRows();

// Whether a row takes part in the next action: "1", "*" or any text that
// reads as the number 1. The icon and the actions both ask this.
bool IsTagged(const RepairRow& row);
// Every row's icon from its tag.
void RefreshTagIcons(std::vector<RepairRow>& rows);
void TagAll(std::vector<RepairRow>& rows);
void UntagAll(std::vector<RepairRow>& rows);
// The list's own marking of one row: tagged rows are untagged, others tagged.
void ToggleTag(RepairRow& row);

inline constexpr const char* kStartWarningText =
    "You should ensure that all other Kairoll applications and services are closed before repairing the databases.";
inline constexpr const char* kStartWarningTitle = "Warning";
inline constexpr const char* kRepairIniName = "kr_dbase.INI";

// The actions of the window's buttons.
inline constexpr const char* kActionFix = "Fix";
inline constexpr const char* kActionBuild = "Build";
inline constexpr const char* kActionPack = "Pack";
inline constexpr const char* kActionRelease = "Release";
inline constexpr const char* kActionInfo = "Info";

}  // namespace kr::repair
