// The query wizard's display-free half: its string table, the fields queue
// the lists hand it, the conditions it builds and the filter expression they
// make, and the saved queries.
//
// A query is a list of conditions "field operation value" joined by AND and
// OR. It becomes a filter expression of the runtime's language with every
// value a quoted constant or a number, which the list applies as a named
// filter (ListQuery binds the constants as SQL parameters). The expression
// is read back into conditions when the wizard opens on it; one it does not
// recognise is edited by hand ("Manual").
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kr {

// ---- The string table ----

// TC_SETQWDISPLAYTEXT: sets a text (or a font name or size, as text) by id.
void TC_SETQWDISPLAYTEXT(int id, std::string_view value);
// The text of an id ("" when never set).
std::string QueryWizardText(int id);
// Sets the program's texts of the wizard (start-up), in ascending blocks,
// 9 before 8.
void SetQueryWizardTexts();
// The ids set, in the order SetQueryWizardTexts sets them (for tests).
std::vector<int> QueryWizardTextOrder();

// ---- Fields ----

struct QueryField {
    std::string label;       // shown in the field list
    std::string name;        // "SCH:Description"
    std::string picture;     // "@s40", "@d17b", "@n3"
    int length = 0;
    int dataKind = 1;        // 1 text, 2 number
    int entryKind = 1;       // 1 free entry, 2 check box, 3 drop list
    std::vector<std::string> choices;  // drop-list choices; a check box's caption
};

struct FieldsQueue {
    std::string fileLabel;  // "SCHEDULE"
    std::vector<QueryField> fields;
    const QueryField* Find(std::string_view name) const;
};

// Field list text: entries separated by the byte 0xAB, columns by 0xA6:
// label, "0", field name, picture, length, data kind, entry kind, an empty
// column, choices joined by "|". Entries are added to the queue; a malformed
// entry sets error (the entry's number) and is skipped.
void TC_ADDFIELDSQUEUEDATA(std::string_view text, FieldsQueue& queue, int& error);
void TC_INITFIELDSQUEUE(std::string_view fileLabel, FieldsQueue& queue);

// ---- Conditions ----

enum class QueryOp : int {
    Equal = 1, NotEqual, Greater, Less, GreaterOrEqual, LessOrEqual,
    BeginsWith, Contains, NotBeginWith, NotContain, Checked, NotChecked
};
// The operation's text (ids 1 to 12; 9 "Does NOT Begin With", 10 "Does NOT Contain").
std::string QueryOpText(QueryOp op);
// The operations that suit a field (a check box: Checked, NotChecked; a
// number: the comparisons; a text: all but the check-box ones).
std::vector<QueryOp> QueryOpsFor(const QueryField& field);

struct QueryCondition {
    bool orJoin = false;  // joined to the one before by OR (else AND)
    std::string field;    // field name
    QueryOp op = QueryOp::Equal;
    std::string value;    // as the user entered it (formatted with the field's picture)
    bool caseSensitive = false;
};

// The expression of the conditions; error set (and "" returned) when a
// value does not suit its field (a date that is no date).
std::string BuildQueryExpression(const FieldsQueue& queue, const std::vector<QueryCondition>& conditions,
                                 std::string* error = nullptr);
// Reads an expression built by BuildQueryExpression back; nullopt when it
// is not one (a hand-written query) or names a field the queue lacks.
std::optional<std::vector<QueryCondition>> ParseQueryExpression(const FieldsQueue& queue, std::string_view expression);
// One condition as the wizard lists it: "AND Description Contains 'x'".
std::string DescribeCondition(const FieldsQueue& queue, const QueryCondition& c, bool first);

// ---- Saved queries ----
// Kept in "KRQUERY.INI" of the data folder (the current folder), section =
// the file label, keys "Description<n>" and "Query<n>" from 1 up.

struct SavedQuery {
    std::string description;
    std::string expression;
};
inline constexpr const char* kQueryIniFile = "KRQUERY.INI";
std::vector<SavedQuery> LoadSavedQueries(std::string_view fileLabel);
// Adds or replaces (same description, without regard to case) a query.
bool SaveQuery(std::string_view fileLabel, const SavedQuery& query);
bool DeleteSavedQuery(std::string_view fileLabel, std::string_view description);

// The response flag of the last wizard run: non-zero when the user
// finished with a query ($TCQW:Response, also spelled _TCQW:Response).
int& TCQW_Response();

}  // namespace kr
