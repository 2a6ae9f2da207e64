#include "platform/runtime/QueryWizardCore.h"

#include <map>
#include <mutex>
#include <regex>

#include "platform/runtime/Expression.h"
#include "platform/runtime/IniFile.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Strings.h"

namespace kr {

namespace {

std::mutex gTextsMutex;
std::map<int, std::string>& Texts() {
    static std::map<int, std::string> t;
    return t;
}

struct TextRow {
    int id;
    const char* text;
};

// The texts in the order they are set: ascending blocks, 9 before 8.
const TextRow kTexts[] = {
    {1, "Is Equal To"}, {2, "Is NOT Equal To"}, {3, "Is Greater Than"}, {4, "Is Less Than"},
    {5, "Is Greater Than or Equal To"}, {6, "Is Less Than or Equal To"}, {7, "Begins With"},
    {9, "Does NOT Begin With"}, {8, "Contains"}, {10, "Does NOT Contain"}, {11, "Is Checked"},
    {12, "Is NOT Checked"},
    {31, "ErrorLoadingQuery"},
    {32, "An error has prevented the Query Wizard from loading your query at this time."},
    {33, "Invalid Query"},
    {34, "The query you have designed is invalid.|Please review your query and correct the problem."},
    {35, "Overwrite Query"}, {36, "Do you want to overwrite the query you are editing?"},
    {37, "Query No Longer Valid"},
    {38, "This query is no longer valid because fields|and/or expressions were renamed or deleted from|the "
         "database after you created the query.| |You should go through the query and make the|necessary "
         "corrections to fix this query."},
    {39, "Restricted Query"}, {40, "Sorry, this is a restricted query and may not be modified."},
    {41, "Save Query"}, {42, "Would you like to save this query?"},
    {71, "MS Sans Serif"}, {72, "10"}, {73, "MS Sans Serif"}, {74, "10"}, {75, "MS Sans Serif"}, {76, "8"},
    {77, "MS Sans Serif"}, {78, "8"}, {79, "MS Sans Serif"}, {80, "12"},
    {100, ""},
    {101, "Add a New AND Query Element"}, {102, "New AND Condition"}, {103, "&AND"},
    {104, "Go Back to the Previous Page"}, {105, "Goto Previous Page"}, {106, "< &Back"},
    {107, "Cancel Changes and Exit Wizard"}, {108, "Cancel Changes"}, {109, "Cancel"},
    {110, "Change Query Element"}, {111, "Change Element"}, {112, "&Change"},
    {113, "Delete Query Element"}, {114, "Delete Element"}, {115, "&Delete"},
    {116, "Finish the Wizard and Run Query"}, {117, "Run the Query"}, {118, "&Finish"},
    {119, "Manually Enter Query Criteria"}, {120, "Manual Query Entry"}, {121, "&Manual"},
    {122, "Go Forward to the Next Page"}, {123, "Goto Next Page"}, {124, "&Next >"},
    {125, "Add a New OR Query Element"}, {126, "New OR Condition"}, {127, "O&R"},
    {151, "Constant &Value"}, {152, "E&xpression"}, {153, "&Another Field"}, {154, "Current Query"},
    {155, "Add conditions by pressing the AND or OR buttons."},
    {156, "Press Change or Delete to modify a condition."}, {157, "Enter a value to complete your expression."},
    {158, "Field Selection"}, {159, "Fields to Evaluate"}, {160, "Manual Override"},
    {161, "Compare Using Absolute Values"}, {162, "Compare Using Case Sensitive Matching"}, {163, "(New Query)"},
    {164, "Operation Selection"}, {165, "Query Operations"}, {166, "Select a field from the list below."},
    {167, "Select an Option Below"}, {168, "Select a query operation to perform on the selected field."},
    {169, "Value Entry"}, {171, "Query Wizard"},
    {200, ""}, {201, "Query Description"}, {202, "Queries"},
    {203, "Edit the Selected Query"}, {204, "Edit Query"}, {205, "&Change"},
    {206, "Cancel Request to Select a Saved Query"}, {207, "Cancel Query Request"}, {208, "Cl&ose"},
    {209, "Remove the Selected Query"}, {210, "Remove Query"}, {211, "&Delete"},
    {212, "Add a New Query"}, {213, "Add Query"}, {214, "&New"},
    {215, "Run the Selected Query"}, {216, "Run Query"}, {217, "&Select"},
    {218, "MS Sans Serif"}, {219, "8"}, {220, "Query No Longer Valid"},
    {221, "This query is no longer valid because fields|and/or expressions were renamed or deleted from|the "
          "database after you created the query.| |You must edit the query and fix the problems|before it can "
          "be used."},
    {230, ""},
    {231, "Enter a new description for the query or press OK to accept the existing description."},
    {232, "Enter a description for the new query."}, {233, "Change Existing Query"},
    {234, "Delete Saved Query"}, {235, "Add New Query"}, {236, "Query Description:"},
    {237, "Cancel Save and Go Back to Editing Query"}, {238, "Cancel Save"}, {239, "Cancel"},
    {240, "Accept Description and Save Query"}, {241, "Save Query"}, {242, "&OK"},
    {243, "MS Sans Serif"}, {244, "8"},
    {300, "Converting Saved Query Data -- Please Wait..."},
    {301, "Converting Data File Structure  -- Please Wait..."}, {302, "All Records"}, {303, "Custom Query..."},
};

bool IsNumberField(const QueryField& f) {
    if (f.dataKind == 2) return true;
    char k = PictureKind(f.picture);
    return k == 'D' || k == 'T' || k == 'N';
}

const char* OpSymbol(QueryOp op) {
    switch (op) {
    case QueryOp::Equal: return "=";
    case QueryOp::NotEqual: return "<>";
    case QueryOp::Greater: return ">";
    case QueryOp::Less: return "<";
    case QueryOp::GreaterOrEqual: return ">=";
    case QueryOp::LessOrEqual: return "<=";
    default: return "=";
    }
}

std::optional<QueryOp> OpFromSymbol(const std::string& s) {
    if (s == "=") return QueryOp::Equal;
    if (s == "<>") return QueryOp::NotEqual;
    if (s == ">") return QueryOp::Greater;
    if (s == "<") return QueryOp::Less;
    if (s == ">=") return QueryOp::GreaterOrEqual;
    if (s == "<=") return QueryOp::LessOrEqual;
    return std::nullopt;
}

std::string Unquote(const std::string& q) {
    std::string out;
    for (std::size_t i = 1; i + 1 < q.size(); ++i) {
        out += q[i];
        if (q[i] == '\'' && i + 1 < q.size() - 1 && q[i + 1] == '\'') ++i;
    }
    return out;
}

// One condition's expression (without the parentheses around it).
std::optional<std::string> ConditionExpression(const QueryField& f, const QueryCondition& c, std::string* error) {
    if (c.op == QueryOp::Checked) return f.name + " <> 0";
    if (c.op == QueryOp::NotChecked) return f.name + " = 0";
    if (IsNumberField(f)) {
        std::optional<Value> v = TryDeformat(c.value, f.picture.empty() ? "@n-20.4" : f.picture);
        if (!v && IsNumeric(Trim(c.value))) v = Value(Trim(c.value));
        if (!v) {
            if (error) *error = "\"" + c.value + "\" is not a valid value for " + f.label;
            return std::nullopt;
        }
        return f.name + " " + OpSymbol(c.op) + " " + v->toText();
    }
    std::string term = c.caseSensitive ? f.name : "UPPER(" + f.name + ")";
    std::string value = ClipRight(c.caseSensitive ? c.value : Upper(c.value));
    std::string q = QuoteForExpression(value);
    switch (c.op) {
    case QueryOp::BeginsWith:
    case QueryOp::NotBeginWith:
        return "SUB(" + term + ",1," + std::to_string(value.size()) + ") " +
               (c.op == QueryOp::BeginsWith ? "=" : "<>") + " " + q;
    case QueryOp::Contains:
    case QueryOp::NotContain:
        if (value.empty()) return std::string(c.op == QueryOp::Contains ? "1" : "0");
        return "INSTRING(" + q + "," + term + ",1,1) " + (c.op == QueryOp::Contains ? ">" : "=") + " 0";
    default: return term + " " + OpSymbol(c.op) + " " + q;
    }
}

}  // namespace

void TC_SETQWDISPLAYTEXT(int id, std::string_view value) {
    std::lock_guard<std::mutex> l(gTextsMutex);
    Texts()[id] = std::string(value);
}

std::string QueryWizardText(int id) {
    std::lock_guard<std::mutex> l(gTextsMutex);
    auto it = Texts().find(id);
    return it == Texts().end() ? std::string() : it->second;
}

void SetQueryWizardTexts() {
    for (const TextRow& r : kTexts) TC_SETQWDISPLAYTEXT(r.id, r.text);
}

std::vector<int> QueryWizardTextOrder() {
    std::vector<int> out;
    for (const TextRow& r : kTexts) out.push_back(r.id);
    return out;
}

const QueryField* FieldsQueue::Find(std::string_view name) const {
    for (const QueryField& f : fields)
        if (EqualNoCase(f.name, name)) return &f;
    return nullptr;
}

void TC_ADDFIELDSQUEUEDATA(std::string_view text, FieldsQueue& queue, int& error) {
    error = 0;
    int n = 0;
    std::size_t p = 0;
    while (p <= text.size()) {
        std::size_t e = text.find('\xAB', p);
        if (e == std::string_view::npos) e = text.size();
        std::string_view entry = text.substr(p, e - p);
        p = e + 1;
        if (Trim(std::string(entry)).empty()) {
            if (e == text.size()) break;
            continue;
        }
        ++n;
        std::vector<std::string> cols;
        std::size_t q = 0;
        for (;;) {
            std::size_t c = entry.find('\xA6', q);
            cols.emplace_back(entry.substr(q, c == std::string_view::npos ? std::string_view::npos : c - q));
            if (c == std::string_view::npos) break;
            q = c + 1;
        }
        if (cols.size() < 7 || Trim(cols[2]).empty() || !IsNumeric(cols[4]) || !IsNumeric(cols[5]) ||
            !IsNumeric(cols[6])) {
            if (!error) error = n;
            continue;
        }
        QueryField f;
        f.label = Trim(cols[0]);
        f.name = Trim(cols[2]);
        f.picture = Trim(cols[3]);
        f.length = std::atoi(cols[4].c_str());
        f.dataKind = std::atoi(cols[5].c_str());
        f.entryKind = std::atoi(cols[6].c_str());
        if (cols.size() > 8 && !cols[8].empty()) {
            std::size_t s = 0;
            for (;;) {
                std::size_t bar = cols[8].find('|', s);
                f.choices.push_back(cols[8].substr(s, bar == std::string::npos ? std::string::npos : bar - s));
                if (bar == std::string::npos) break;
                s = bar + 1;
            }
        }
        queue.fields.push_back(std::move(f));
        if (e == text.size()) break;
    }
}

void TC_INITFIELDSQUEUE(std::string_view fileLabel, FieldsQueue& queue) { queue.fileLabel = std::string(fileLabel); }

std::string QueryOpText(QueryOp op) { return QueryWizardText(static_cast<int>(op)); }

std::vector<QueryOp> QueryOpsFor(const QueryField& f) {
    if (f.entryKind == 2) return {QueryOp::Checked, QueryOp::NotChecked};
    std::vector<QueryOp> ops = {QueryOp::Equal, QueryOp::NotEqual, QueryOp::Greater,
                                QueryOp::Less, QueryOp::GreaterOrEqual, QueryOp::LessOrEqual};
    if (!IsNumberField(f))
        for (QueryOp o : {QueryOp::BeginsWith, QueryOp::Contains, QueryOp::NotBeginWith, QueryOp::NotContain})
            ops.push_back(o);
    return ops;
}

std::string BuildQueryExpression(const FieldsQueue& queue, const std::vector<QueryCondition>& conditions,
                                 std::string* error) {
    std::string out;
    for (std::size_t i = 0; i < conditions.size(); ++i) {
        const QueryCondition& c = conditions[i];
        const QueryField* f = queue.Find(c.field);
        if (!f) {
            if (error) *error = "Unknown field " + c.field;
            return {};
        }
        auto e = ConditionExpression(*f, c, error);
        if (!e) return {};
        if (i) out += c.orJoin ? " OR " : " AND ";
        out += "(" + *e + ")";
    }
    return out;
}

std::optional<std::vector<QueryCondition>> ParseQueryExpression(const FieldsQueue& queue,
                                                                 std::string_view expression) {
    std::vector<QueryCondition> out;
    std::string s = Trim(std::string(expression));
    if (s.empty()) return out;
    static const std::string kName = "([A-Za-z_][A-Za-z0-9_:]*)";
    static const std::string kQuoted = "('(?:[^']|'')*')";
    static const std::regex plain("^(UPPER\\()?" + kName + "\\)? (=|<>|>=|<=|>|<) (" + kQuoted.substr(1, kQuoted.size() - 2) +
                                  "|-?[0-9.]+)$");
    static const std::regex sub("^SUB\\((UPPER\\()?" + kName + "\\)?,1,([0-9]+)\\) (=|<>) " + kQuoted + "$");
    static const std::regex instr("^INSTRING\\(" + kQuoted + ",(UPPER\\()?" + kName + "\\)?,1,1\\) (>|=) 0$");
    std::size_t p = 0;
    bool orJoin = false;
    while (p < s.size()) {
        if (s[p] != '(') return std::nullopt;
        // The condition's closing parenthesis (outside quotes, at depth 0).
        int depth = 0;
        bool quote = false;
        std::size_t close = std::string::npos;
        for (std::size_t i = p; i < s.size(); ++i) {
            char ch = s[i];
            if (ch == '\'') quote = !quote;
            if (quote) continue;
            if (ch == '(') ++depth;
            if (ch == ')' && --depth == 0) {
                close = i;
                break;
            }
        }
        if (close == std::string::npos) return std::nullopt;
        std::string inner = s.substr(p + 1, close - p - 1);
        QueryCondition c;
        c.orJoin = orJoin;
        std::smatch m;
        const QueryField* f = nullptr;
        if (std::regex_match(inner, m, sub)) {
            f = queue.Find(m[2].str());
            c.caseSensitive = !m[1].matched;
            c.op = m[4].str() == "=" ? QueryOp::BeginsWith : QueryOp::NotBeginWith;
            c.value = Unquote(m[5].str());
        } else if (std::regex_match(inner, m, instr)) {
            f = queue.Find(m[3].str());
            c.caseSensitive = !m[2].matched;
            c.op = m[4].str() == ">" ? QueryOp::Contains : QueryOp::NotContain;
            c.value = Unquote(m[1].str());
        } else if (std::regex_match(inner, m, plain)) {
            f = queue.Find(m[2].str());
            if (!f) return std::nullopt;
            std::string rhs = m[4].str();
            c.op = *OpFromSymbol(m[3].str());
            if (f->entryKind == 2 && rhs == "0" && (c.op == QueryOp::Equal || c.op == QueryOp::NotEqual)) {
                c.op = c.op == QueryOp::Equal ? QueryOp::NotChecked : QueryOp::Checked;
            } else if (rhs[0] == '\'') {
                if (IsNumberField(*f)) return std::nullopt;
                c.caseSensitive = !m[1].matched;
                c.value = Unquote(rhs);
            } else {
                if (!IsNumberField(*f) || m[1].matched) return std::nullopt;
                if (rhs.size() > 18) return std::nullopt;
                Value n = rhs.find('.') == std::string::npos ? Value(static_cast<int64_t>(std::stoll(rhs)))
                                                              : Value(std::strtod(rhs.c_str(), nullptr));
                c.value = f->picture.empty() ? rhs : Trim(Format(n, f->picture));
            }
        } else {
            return std::nullopt;
        }
        if (!f) return std::nullopt;
        c.field = f->name;
        out.push_back(c);
        p = close + 1;
        if (p >= s.size()) break;
        if (s.compare(p, 5, " AND ") == 0) {
            orJoin = false;
            p += 5;
        } else if (s.compare(p, 4, " OR ") == 0) {
            orJoin = true;
            p += 4;
        } else {
            return std::nullopt;
        }
    }
    // What it reads back must be what it was built from.
    if (BuildQueryExpression(queue, out) != s) return std::nullopt;
    return out;
}

std::string DescribeCondition(const FieldsQueue& queue, const QueryCondition& c, bool first) {
    const QueryField* f = queue.Find(c.field);
    std::string out = first ? "" : (c.orJoin ? "OR " : "AND ");
    out += (f ? f->label : c.field) + " " + QueryOpText(c.op);
    if (c.op != QueryOp::Checked && c.op != QueryOp::NotChecked) out += " '" + c.value + "'";
    return out;
}

std::vector<SavedQuery> LoadSavedQueries(std::string_view fileLabel) {
    IniFile ini(kQueryIniFile);
    std::vector<SavedQuery> out;
    for (int n = 1;; ++n) {
        auto d = ini.TryFetch(fileLabel, "Description" + std::to_string(n));
        if (!d) break;
        out.push_back({*d, ini.Fetch(fileLabel, "Query" + std::to_string(n))});
    }
    return out;
}

static bool WriteSavedQueries(std::string_view fileLabel, const std::vector<SavedQuery>& all) {
    IniFile ini(kQueryIniFile);
    IniFile::Batch batch(ini);
    bool ok = ini.DeleteSection(fileLabel);
    for (std::size_t i = 0; i < all.size(); ++i) {
        ok = ini.Update(fileLabel, "Description" + std::to_string(i + 1), all[i].description) && ok;
        ok = ini.Update(fileLabel, "Query" + std::to_string(i + 1), all[i].expression) && ok;
    }
    return batch.Flush() && ok;
}

bool SaveQuery(std::string_view fileLabel, const SavedQuery& query) {
    std::vector<SavedQuery> all = LoadSavedQueries(fileLabel);
    bool replaced = false;
    for (SavedQuery& q : all)
        if (EqualNoCase(q.description, query.description)) {
            q.expression = query.expression;
            replaced = true;
        }
    if (!replaced) all.push_back(query);
    return WriteSavedQueries(fileLabel, all);
}

bool DeleteSavedQuery(std::string_view fileLabel, std::string_view description) {
    std::vector<SavedQuery> all = LoadSavedQueries(fileLabel);
    std::erase_if(all, [&](const SavedQuery& q) { return EqualNoCase(q.description, description); });
    return WriteSavedQueries(fileLabel, all);
}

int& TCQW_Response() {
    static int response = 0;
    return response;
}

}  // namespace kr
