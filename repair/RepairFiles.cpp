#include "repair/RepairFiles.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "dictionary/OrganiserTables.h"
#include "dictionary/SchedulingTables.h"
#include "platform/data/Upgrade.h"
#include "platform/runtime/Strings.h"

namespace kr::repair {

const std::vector<RepairTable>& RepairTables() {
    static const std::vector<RepairTable> tables = {
        {"Categories", "Categories", "CAT", 4, CategoriesDef},
        {"Clipboard", "Clipboard Saver", "CLI", 8, ClipboardDef},
        {"ClipboardCategories", "Clipboard Categories", "CLC", 3, ClipboardCategoriesDef},
        {"Contact", "Contacts", "C_", 2, ContactDef},
        {"ContactCategories", "Contact Categories", "CC", 3, ContactCategoriesDef},
        {"Messages", "Messages", "M_", 3, MessagesDef},
        {"Schedule", "Schedule", "SCH", 11, ScheduleDef},
        {"ScriptTemplateDetails", "Script Template Details", "KRD", 3, ScriptTemplateDetailsDef},
        {"ScriptTemplates", "Script Templates", "KRT", 2, ScriptTemplatesDef},
        {"Scripting", "Scripting", "SCR", 8, ScriptingDef},
        {"SysHotKeys", "Hot Keys", "HOT", 2, SysHotKeysDef},
        {"Todo", "To Do List", "TDO", 4, TodoDef},
    };
    return tables;
}

const data::TableDef* RepairTableDef(std::string_view label) {
    const std::string upper = Upper(label);
    for (const RepairTable& t : RepairTables())
        if (Upper(t.label) == upper) return &t.def();
    return nullptr;
}

void RegisterRepairTables() {
    static std::once_flag once;
    std::call_once(once, [] {
        data::ds_AddDriver("Tps");
        data::ds_IgnoreDriver("AllFiles", 1);
        for (const RepairTable& t : RepairTables()) {
            data::ds_UsingFile(t.label, t.prefix, t.def(), t.version);
            // The templates' file-name field had another name in earlier files.
            if (std::string_view(t.label) == "ScriptTemplates") data::ds_AlternateFieldName("KRT:Filename", "KRT:DOSFilename");
        }
    });
}

std::vector<RepairRow> MakeRepairRows() {
    std::vector<RepairRow> rows;
    for (const RepairTable& t : RepairTables()) {
        RepairRow r;
        r.fileDesc = t.description;
        r.fileName = t.label;
        r.owner = t.def().ownerPassword;
        rows.push_back(std::move(r));
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const RepairRow& a, const RepairRow& b) { return a.fileDesc < b.fileDesc; });
    return rows;
}

bool IsTagged(const RepairRow& row) {
    const std::string tag = Trim(row.tag);
    if (tag == "*") return true;
    return IsNumeric(tag) && std::strtod(tag.c_str(), nullptr) == 1.0;
}

void RefreshTagIcons(std::vector<RepairRow>& rows) {
    for (RepairRow& r : rows) r.tagIcon = IsTagged(r) ? 1 : 0;
}

void TagAll(std::vector<RepairRow>& rows) {
    for (RepairRow& r : rows) {
        r.tag = "1";
        r.tagIcon = 1;
    }
}

void UntagAll(std::vector<RepairRow>& rows) {
    for (RepairRow& r : rows) {
        r.tag.clear();
        r.tagIcon = 0;
    }
}

void ToggleTag(RepairRow& row) {
    row.tag = IsTagged(row) ? "" : "1";
    row.tagIcon = IsTagged(row) ? 1 : 0;
}

}  // namespace kr::repair
