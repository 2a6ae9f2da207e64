#include "platform/data/ListQuery.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/data/Database.h"
#include "platform/data/Errors.h"
#include "platform/data/Names.h"
#include "platform/data/TableImpl.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Strings.h"

namespace kr::data {

namespace {

// Rows a page reads at a time while records are checked one by one.
constexpr int kScanBatch = 256;

std::string ColumnOf(const std::string& fullName) {
    auto colon = fullName.find(':');
    std::string n = colon == std::string::npos ? fullName : fullName.substr(colon + 1);
    std::replace(n.begin(), n.end(), ':', '_');
    return QuoteId(n);
}

bool FieldIgnoresCase(const TableDef& def, const FieldDef& f) {
    // A text field compares without regard to case in the keys that hold it,
    // unless one of them is case-sensitive.
    for (const KeyDef& k : def.keys)
        for (const KeyComponent& c : k.components)
            if (c.field == f.number && k.caseSensitive()) return false;
    return true;
}

void BindValue(sqlite3_stmt* st, int idx, const Value& v) {
    if (v.isInt()) sqlite3_bind_int64(st, idx, v.toInt());
    else if (v.isReal()) sqlite3_bind_double(st, idx, v.toReal());
    else {
        std::string s = v.toText();
        sqlite3_bind_text(st, idx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
}

Value ReadColumn(sqlite3_stmt* st, int idx, const FieldDef& f) {
    if (f.isText()) {
        const unsigned char* t = sqlite3_column_text(st, idx);
        int n = sqlite3_column_bytes(st, idx);
        return Value(t ? std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(n)) : std::string());
    }
    if (f.type == FieldType::Real) return Value(sqlite3_column_double(st, idx));
    return Value(static_cast<int64_t>(sqlite3_column_int64(st, idx)));
}

// Reads a column into a value already holding one of its field: a text goes
// into the text's own storage, so a row read again over an earlier row
// allocates nothing.
void ReadColumnInto(sqlite3_stmt* st, int idx, const FieldDef& f, Value& into) {
    if (f.isText()) {
        // The value is the row's own (not const): its text is written in place.
        if (std::string* held = const_cast<std::string*>(std::as_const(into).textIf())) {
            const unsigned char* t = sqlite3_column_text(st, idx);
            const int n = sqlite3_column_bytes(st, idx);
            if (t)
                held->assign(reinterpret_cast<const char*>(t), static_cast<std::size_t>(n));
            else
                held->clear();
            return;
        }
    }
    into = ReadColumn(st, idx, f);
}

// Reads a row of "SELECT m.rowid, <cols>": the row id, and each column into
// the value of its field (cols holds field numbers; r.values is sized).
void ReadColumns(sqlite3_stmt* st, const std::vector<int>& cols, const TableDef& d, ListRow& r) {
    r.row = sqlite3_column_int64(st, 0);
    for (std::size_t c = 0; c < cols.size(); ++c)
        ReadColumnInto(st, static_cast<int>(c) + 1, d.fields[static_cast<std::size_t>(cols[c])],
                       r.values[static_cast<std::size_t>(cols[c])]);
}

// The number of the memo of `d` that `name` names with the table's prefix
// ("CLI:ClipContents"), or -1.
int MemoNumber(const TableDef& d, const std::string& name) {
    const auto colon = name.find(':');
    if (colon == std::string::npos || !EqualNoCase(name.substr(0, colon), d.prefix)) return -1;
    for (std::size_t m = 0; m < d.memos.size(); ++m)
        if (EqualNoCase(d.memos[m].name, name)) return static_cast<int>(m);
    return -1;
}

// Leaves a statement of the connection's cache reset and unbound, however
// the code using it ends.
struct StatementReset {
    sqlite3_stmt* s;
    ~StatementReset() {
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
    }
};

std::vector<std::string> SplitTerms(const std::string& s) {
    std::vector<std::string> out;
    std::string cur;
    int depth = 0;
    for (char c : s) {
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c == ',' && depth == 0) {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    out.push_back(cur);
    return out;
}

// ---- Filter parsing (the evaluator's syntax, kept with source spans) ----

struct Node {
    enum Kind { Const, Name, Picture, Call, Not, Neg, Arith, Compare, Logic } kind = Const;
    std::string text;  // name, function, operator
    std::vector<Node> kids;
    std::vector<std::string> ops;  // Compare / Logic / Arith: ops[i] joins kids[i] and kids[i+1]
    std::size_t begin = 0, end = 0;
};

class FilterParser {
public:
    explicit FilterParser(std::string_view s) : s_(s) {}

    bool Parse(Node& out) {
        try {
            out = Or();
            Skip();
            if (p_ != s_.size()) return false;
            return true;
        } catch (...) {
            return false;
        }
    }

private:
    void Skip() {
        while (p_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[p_]))) ++p_;
    }
    static bool NameChar(char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':';
    }
    // The word at the position, upper case, when it is one of the words.
    bool Word(std::initializer_list<const char*> words, std::string& which) {
        Skip();
        std::size_t q = p_;
        while (q < s_.size() && NameChar(s_[q])) ++q;
        std::string w = Upper(s_.substr(p_, q - p_));
        for (const char* x : words)
            if (w == x) {
                which = w;
                p_ = q;
                return true;
            }
        return false;
    }
    bool Symbol(std::initializer_list<const char*> syms, std::string& which) {
        Skip();
        for (const char* x : syms) {
            std::string_view sv(x);
            if (s_.substr(p_, sv.size()) == sv) {
                which = std::string(sv);
                p_ += sv.size();
                return true;
            }
        }
        return false;
    }
    Node Level(Node (FilterParser::*next)(), Node::Kind kind, bool words,
               std::initializer_list<const char*> ops) {
        Node first = (this->*next)();
        Node n;
        n.kind = kind;
        n.begin = first.begin;
        n.kids.push_back(std::move(first));
        std::string op;
        while (words ? Word(ops, op) : Symbol(ops, op)) {
            n.ops.push_back(op);
            n.kids.push_back((this->*next)());
        }
        if (n.kids.size() == 1) return std::move(n.kids[0]);
        n.end = n.kids.back().end;
        return n;
    }
    Node Or() { return Level(&FilterParser::And, Node::Logic, true, {"OR", "XOR"}); }
    Node And() { return Level(&FilterParser::NotLevel, Node::Logic, true, {"AND"}); }
    Node NotLevel() {
        Skip();
        std::size_t b = p_;
        std::string w;
        bool isNot = Word({"NOT"}, w);
        if (!isNot && p_ < s_.size() && s_[p_] == '~' &&
            (p_ + 1 >= s_.size() || (s_[p_ + 1] != '=' && s_[p_ + 1] != '<' && s_[p_ + 1] != '>'))) {
            ++p_;
            isNot = true;
        }
        if (isNot) {
            Node n;
            n.kind = Node::Not;
            n.begin = b;
            n.kids.push_back(NotLevel());
            n.end = n.kids[0].end;
            return n;
        }
        return Cmp();
    }
    Node Cmp() {
        return Level(&FilterParser::Concat, Node::Compare, false,
                     {"<>", "~=", "<=", "=<", ">=", "=>", "~<", "~>", "=", "<", ">"});
    }
    Node Concat() { return Level(&FilterParser::Sum, Node::Arith, false, {"&"}); }
    Node Sum() { return Level(&FilterParser::Product, Node::Arith, false, {"+", "-"}); }
    Node Product() { return Level(&FilterParser::Unary, Node::Arith, false, {"*", "/", "%"}); }
    Node Unary() {
        Skip();
        std::size_t b = p_;
        std::string op;
        if (Symbol({"-", "+"}, op)) {
            Node n;
            n.kind = Node::Neg;
            n.begin = b;
            n.kids.push_back(Unary());
            n.end = n.kids[0].end;
            return n;
        }
        return Power();
    }
    Node Power() { return Level(&FilterParser::Primary, Node::Arith, false, {"^"}); }
    Node Primary() {
        Skip();
        if (p_ >= s_.size()) throw 0;
        Node n;
        n.begin = p_;
        char c = s_[p_];
        if (c == '(') {
            ++p_;
            Node inner = Or();
            Skip();
            if (p_ >= s_.size() || s_[p_] != ')') throw 0;
            ++p_;
            inner.begin = n.begin;
            inner.end = p_;
            return inner;
        }
        if (c == '\'') {
            ++p_;
            for (;;) {
                if (p_ >= s_.size()) throw 0;
                if (s_[p_] == '\'') {
                    if (p_ + 1 < s_.size() && s_[p_ + 1] == '\'') {
                        p_ += 2;
                        continue;
                    }
                    ++p_;
                    break;
                }
                ++p_;
            }
            n.kind = Node::Const;
        } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
            while (p_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[p_])) || s_[p_] == '.')) ++p_;
            n.kind = Node::Const;
        } else if (c == '@') {
            while (p_ < s_.size() && !std::isspace(static_cast<unsigned char>(s_[p_])) && s_[p_] != ',' &&
                   s_[p_] != ')')
                ++p_;
            n.kind = Node::Picture;
        } else if (NameChar(c)) {
            while (p_ < s_.size() && NameChar(s_[p_])) ++p_;
            n.text = std::string(s_.substr(n.begin, p_ - n.begin));
            Skip();
            if (p_ < s_.size() && s_[p_] == '(') {
                ++p_;
                n.kind = Node::Call;
                n.text = Upper(n.text);
                Skip();
                if (p_ < s_.size() && s_[p_] == ')') {
                    ++p_;
                } else {
                    for (;;) {
                        n.kids.push_back(Or());
                        Skip();
                        if (p_ < s_.size() && s_[p_] == ',') {
                            ++p_;
                            continue;
                        }
                        if (p_ < s_.size() && s_[p_] == ')') {
                            ++p_;
                            break;
                        }
                        throw 0;
                    }
                }
            } else {
                n.kind = Node::Name;
            }
        } else {
            throw 0;
        }
        n.end = p_;
        return n;
    }

    std::string_view s_;
    std::size_t p_ = 0;
};

// ---- Translation ----

struct SqlTerm {
    std::string sql;
    bool text = false;
    // The text may end in blanks (a piece of a text, a CSTRING): kept as
    // they are while the term is joined or searched, as the evaluator keeps
    // them, and ignored where it is compared.
    bool padded = false;
    int child = -1;  // index of the child table the term reads, -1 for the list's table
};

class Translator {
public:
    Translator(std::string_view src, const TableDef& def, const Bindings& b, const std::vector<ChildTable>& children,
               const std::string& alias)
        : src_(src), def_(def), b_(b), children_(children), alias_(alias) {}

    // The SQL of a condition; nullopt when it has none.
    std::optional<std::string> Condition(const Node& n, std::vector<Value>& params) {
        // A part without fields (a bound flag, a constant) is decided now.
        if (!ReadsFields(n)) {
            auto v = Constant(n);
            if (!v) return std::nullopt;
            return std::string(v->truthy() ? "1" : "0");
        }
        switch (n.kind) {
        case Node::Logic: {
            // Left to right, as the evaluator reads a chain; XOR holds when
            // exactly one side does, a side that is NULL counting as false.
            std::string out;
            for (std::size_t i = 0; i < n.kids.size(); ++i) {
                auto c = Condition(n.kids[i], params);
                if (!c) return std::nullopt;
                if (i == 0) out = "(" + *c + ")";
                else if (n.ops[i - 1] == "XOR")
                    out = "(CASE WHEN " + out + " THEN 1 ELSE 0 END) <> (CASE WHEN (" + *c + ") THEN 1 ELSE 0 END)";
                else
                    out = "(" + out + ") " + n.ops[i - 1] + " (" + *c + ")";
            }
            return out;
        }
        case Node::Not: {
            auto c = Condition(n.kids[0], params);
            if (!c) return std::nullopt;
            return "NOT (" + *c + ")";
        }
        case Node::Compare: return Comparison(n, params);
        case Node::Name: {
            // A numeric field on its own is true when not 0.
            int child = -1;
            const FieldDef* f = Field(n.text, child);
            if (!f || f->isText()) return std::nullopt;
            return Wrap(Column(*f, child) + " <> 0", child);
        }
        default: return std::nullopt;
        }
    }

    bool ReadsFields(const Node& n) const {
        if (n.kind == Node::Name) {
            int child = -1;
            return Field(n.text, child) != nullptr || Memo(n.text) != nullptr;
        }
        for (const Node& k : n.kids)
            if (ReadsFields(k)) return true;
        return false;
    }

    int error = 0;
    std::string message;

private:
    const FieldDef* Field(const std::string& name, int& child) const {
        child = -1;
        if (const FieldDef* f = def_.field(name); f && !f->isGroup() && Prefixed(name, def_)) return f;
        for (std::size_t i = 0; i < children_.size(); ++i) {
            const TableDef& cd = *children_[i].def;
            if (const FieldDef* f = cd.field(name); f && !f->isGroup() && Prefixed(name, cd)) {
                child = static_cast<int>(i);
                return f;
            }
        }
        return nullptr;
    }
    // A memo of the list's table ("CLI:ClipContents"): a text column too.
    const MemoDef* Memo(const std::string& name) const {
        const MemoDef* m = def_.memo(name);
        return m && Prefixed(name, def_) ? m : nullptr;
    }
    // A field is named with its table's prefix, so "Date" alone stays a bound
    // name and "SCR:ID" never reads the list's "SCH:ID".
    static bool Prefixed(const std::string& name, const TableDef& d) {
        auto colon = name.find(':');
        return colon != std::string::npos && EqualNoCase(name.substr(0, colon), d.prefix);
    }
    std::string Column(const FieldDef& f, int child) const {
        return (child < 0 ? alias_ : "c") + "." + ColumnOf(f.name);
    }
    std::string Wrap(const std::string& cond, int child) const {
        if (child < 0) return cond;
        const ChildTable& ct = children_[static_cast<std::size_t>(child)];
        std::string table = QuoteId(SplitTableName(ct.def->storedAs, ct.def->driver).table);
        return "EXISTS (SELECT 1 FROM " + table + " AS c WHERE c." + ColumnOf(ct.childField) + " = " + alias_ + "." +
               ColumnOf(ct.parentField) + " AND " + cond + ")";
    }

    std::optional<Value> Constant(const Node& n) {
        if (ReadsFields(n)) return std::nullopt;
        EvalResult r = Evaluate(src_.substr(n.begin, n.end - n.begin), b_);
        if (!r.ok()) {
            if (!error) {
                error = r.error;
                message = r.message;
            }
            return std::nullopt;
        }
        return r.value;
    }

    std::optional<SqlTerm> Term(const Node& n, std::vector<Value>& params) {
        if (n.kind == Node::Name) {
            int child = -1;
            const FieldDef* f = Field(n.text, child);
            if (!f) {
                const MemoDef* m = Memo(n.text);
                if (!m) return std::nullopt;
                SqlTerm t;
                t.text = true;
                t.padded = true;
                t.sql = alias_ + "." + ColumnOf(m->name);
                return t;
            }
            SqlTerm t;
            t.child = child;
            t.text = f->isText();
            t.sql = Column(*f, child);
            // CSTRING keeps trailing blanks.
            t.padded = f->type == FieldType::CString;
            return t;
        }
        if (n.kind == Node::Arith) {
            // Text joined with "&": SQLite's "||" over the stored texts, which
            // carry no trailing blanks, as the evaluator's values do not.
            if (std::any_of(n.ops.begin(), n.ops.end(), [](const std::string& o) { return o != "&"; }))
                return std::nullopt;
            SqlTerm out;
            out.text = true;
            std::vector<Value> mine;
            for (const Node& k : n.kids) {
                std::string part;
                if (ReadsFields(k)) {
                    auto t = Term(k, mine);
                    if (!t || !t->text || t->child >= 0) return std::nullopt;
                    part = t->sql;
                    out.padded = t->padded;
                } else {
                    auto v = Constant(k);
                    if (!v || !(v->isText() || v->isInt())) return std::nullopt;
                    mine.push_back(Value(v->toText()));
                    out.padded = !mine.back().toText().empty() && mine.back().toText().back() == ' ';
                    part = "?";
                }
                out.sql += (out.sql.empty() ? "(" : " || ") + part;
            }
            out.sql += ")";
            params.insert(params.end(), mine.begin(), mine.end());
            return out;
        }
        if (n.kind != Node::Call) return std::nullopt;
        const std::string& fn = n.text;
        if ((fn == "UPPER" || fn == "CLIP") && n.kids.size() == 1) {
            auto t = Term(n.kids[0], params);
            if (!t || !t->text) return std::nullopt;
            if (fn == "UPPER") {
                t->sql = "UPPER(" + t->sql + ")";
            } else if (t->padded) {
                t->sql = "RTRIM(" + t->sql + ", ' ')";
                t->padded = false;
            }
            return t;
        }
        if (fn == "SUB" && n.kids.size() == 3) {
            auto t = Term(n.kids[0], params);
            auto a = Constant(n.kids[1]), len = Constant(n.kids[2]);
            if (!t || !t->text || !a || !len || !a->isInt() || !len->isInt() || a->toInt() < 1 || len->toInt() < 0)
                return std::nullopt;
            // The evaluator counts bytes: so does substr over the text's bytes.
            // The piece keeps its trailing blanks until it is compared.
            t->sql = "CAST(substr(CAST(" + t->sql + " AS BLOB), " + std::to_string(a->toInt()) + ", " +
                     std::to_string(len->toInt()) + ") AS TEXT)";
            t->padded = true;
            return t;
        }
        if ((fn == "MONTH" || fn == "DAY" || fn == "YEAR") && n.kids.size() == 1 && n.kids[0].kind == Node::Name) {
            int child = -1;
            const FieldDef* f = Field(n.kids[0].text, child);
            if (!f || f->isText() || f->type == FieldType::Real) return std::nullopt;
            // Day 4 is 1 January 1801, Julian day 2378861.5; noon avoids the
            // day's edges. No date (0 or less) has no month, day or year.
            std::string col = Column(*f, child);
            const char* part = fn == "MONTH" ? "%m" : fn == "DAY" ? "%d" : "%Y";
            SqlTerm t;
            t.child = child;
            t.sql = "(CASE WHEN " + col + " <= 0 THEN 0 ELSE CAST(strftime('" + part + "', " + col +
                    " + 2378858.0) AS INTEGER) END)";
            return t;
        }
        return std::nullopt;
    }

    std::optional<std::string> Comparison(const Node& n, std::vector<Value>& params) {
        if (n.kids.size() != 2) return std::nullopt;
        std::string op = n.ops[0];
        const Node* termNode = &n.kids[0];
        const Node* constNode = &n.kids[1];
        bool flipped = false;
        if (!ReadsFields(*termNode)) {
            std::swap(termNode, constNode);
            flipped = true;
        }
        // INSTRING(text, term, 1, 1) compared with a number.
        std::optional<SqlTerm> t;
        std::optional<Value> instrSub;
        if (termNode->kind == Node::Call && termNode->text == "INSTRING" && termNode->kids.size() == 4) {
            auto step = Constant(termNode->kids[2]), start = Constant(termNode->kids[3]);
            instrSub = Constant(termNode->kids[0]);
            t = Term(termNode->kids[1], params);
            if (!t || !t->text || !instrSub || !step || !start || step->toInt() != 1 || start->toInt() != 1 ||
                instrSub->toText().empty())
                return std::nullopt;
        } else {
            t = Term(*termNode, params);
        }
        if (!t) return std::nullopt;
        auto v = Constant(*constNode);
        if (!v) return std::nullopt;
        if (flipped) {
            if (op == "<") op = ">";
            else if (op == ">") op = "<";
            else if (op == "<=" || op == "=<" || op == "~>") op = ">=";
            else if (op == ">=" || op == "=>" || op == "~<") op = "<=";
        }
        std::string sqlOp = op == "=" ? "=" : (op == "<>" || op == "~=") ? "<>" : op == "<" ? "<" : op == ">" ? ">"
                          : (op == "<=" || op == "=<" || op == "~>") ? "<=" : ">=";
        std::vector<Value> mine;
        std::string lhs = t->sql;
        bool numericTerm = !t->text;
        if (instrSub) {
            // A position in bytes, as the evaluator counts.
            lhs = "instr(CAST(" + t->sql + " AS BLOB), CAST(? AS BLOB))";
            mine.push_back(Value(instrSub->toText()));
            numericTerm = true;
        }
        Value bound;
        if (numericTerm) {
            // A number against a number, or a text that is one.
            if (v->isNumber()) bound = *v;
            else if (IsNumeric(v->toText())) bound = Value(v->toReal());
            else return std::nullopt;
        } else {
            // A text against a text, blank-padded: equal when equal without
            // trailing blanks; in order by the padded comparison, which
            // differs from SQLite's where a byte below the blank follows
            // the shorter text ('' comes after '\0\0K' when padded).
            if (!v->isText()) return std::nullopt;
            bound = Value(ClipRight(v->toText()));
            if (sqlOp == "=" || sqlOp == "<>") {
                if (t->padded) lhs = "RTRIM(" + lhs + ", ' ')";
            } else {
                lhs += " COLLATE " + std::string(kPaddedCollation);
            }
        }
        mine.push_back(bound);
        params.insert(params.end(), mine.begin(), mine.end());
        return Wrap(lhs + " " + sqlOp + " ?", t->child);
    }

    std::string_view src_;
    const TableDef& def_;
    const Bindings& b_;
    const std::vector<ChildTable>& children_;
    std::string alias_;
};

}  // namespace

std::vector<OrderTerm> KeyOrder(const TableDef& def, const KeyDef& key) {
    std::vector<OrderTerm> out;
    for (const KeyComponent& c : key.components) {
        OrderTerm t;
        t.field = def.fieldByNumber(c.field);
        t.descending = c.descending;
        t.noCase = t.field && t.field->isText() && !key.caseSensitive();
        out.push_back(t);
    }
    return out;
}

bool ParseOrderText(std::string_view text, const TableDef& def, std::vector<OrderTerm>& out, std::string* message) {
    std::vector<OrderTerm> terms;
    for (const std::string& raw : SplitTerms(std::string(text))) {
        std::string s = Trim(raw);
        if (s.empty()) continue;
        OrderTerm t;
        if (s[0] == '-' || s[0] == '+') {
            t.descending = s[0] == '-';
            s = Trim(s.substr(1));
        }
        std::string u = Upper(s);
        if (u.rfind("UPPER(", 0) == 0 && !s.empty() && s.back() == ')') {
            s = Trim(s.substr(6, s.size() - 7));
            t.noCase = true;
        }
        t.field = def.field(s);
        if (!t.field || t.field->isGroup()) {
            if (message) *message = "Unknown field in the order: " + s;
            return false;
        }
        if (!t.field->isText()) t.noCase = false;
        terms.push_back(t);
    }
    out = std::move(terms);
    return true;
}

FilterTranslation TranslateFilter(std::string_view filter, const TableDef& def, const Bindings& bindings,
                                  const std::vector<ChildTable>& children, const std::string& alias) {
    FilterTranslation out;
    if (Trim(std::string(filter)).empty()) return out;
    Node root;
    if (!FilterParser(filter).Parse(root)) {
        // Let the evaluator report what is wrong with it.
        CompiledExpression ce = CompiledExpression::Compile(filter);
        if (!ce.ok()) {
            out.error = ce.error();
            out.message = ce.message();
            return out;
        }
        out.residue.emplace_back(filter);
        return out;
    }
    std::vector<const Node*> conjuncts;
    if (root.kind == Node::Logic && std::all_of(root.ops.begin(), root.ops.end(), [](auto& o) { return o == "AND"; }))
        for (const Node& k : root.kids) conjuncts.push_back(&k);
    else
        conjuncts.push_back(&root);
    Translator tr(filter, def, bindings, children, alias);
    for (const Node* c : conjuncts) {
        std::vector<Value> params;
        auto sql = tr.Condition(*c, params);
        if (tr.error) {
            out.error = tr.error;
            out.message = tr.message;
            return out;
        }
        if (sql) {
            out.sql += (out.sql.empty() ? "" : " AND ") + std::string("(") + *sql + ")";
            out.params.insert(out.params.end(), params.begin(), params.end());
        } else {
            out.residue.emplace_back(filter.substr(c->begin, c->end - c->begin));
        }
    }
    return out;
}

// ---- ListQuery ----

struct ListQuery::Impl {
    std::string table;   // quoted SQL table
    std::string select;  // "m.rowid, m.col, ..."
    std::vector<int> fieldIndex;  // selected column -> index in def.fields
    // The row a read fills, kept from read to read with its texts' storage
    // (a page hands its rows' storage back through it).
    ListRow spare;
};

ListQuery::ListQuery(Table& table) : table_(&table), impl_(std::make_unique<Impl>()) {
    const TableDef& d = table.def();
    impl_->select = "m.rowid";
    for (std::size_t i = 0; i < d.fields.size(); ++i) {
        if (d.fields[i].isGroup()) continue;
        impl_->select += ", m." + ColumnOf(d.fields[i].name);
        impl_->fieldIndex.push_back(static_cast<int>(i));
    }
}

ListQuery::~ListQuery() = default;

void ListQuery::Reset() {
    order_.clear();
    ranges_.clear();
    filters_.clear();
    children_.clear();
    check_ = nullptr;
    where_.clear();
    params_.clear();
    residue_.clear();
    residueSlots_.clear();
    residueFields_.clear();
    message_.clear();
}

void ListQuery::SetOrder(std::vector<OrderTerm> terms) { order_ = std::move(terms); }

void ListQuery::SetKeyOrder(const KeyDef* key) {
    order_ = key ? KeyOrder(def(), *key) : std::vector<OrderTerm>{};
}

bool ListQuery::SetOrderText(std::string_view text, std::string* message) {
    std::vector<OrderTerm> terms;
    if (!ParseOrderText(text, def(), terms, message)) return false;
    order_ = std::move(terms);
    return true;
}

void ListQuery::AddRange(std::string_view field, std::function<Value()> value) {
    if (const FieldDef* f = def().field(field)) ranges_.push_back({f, std::move(value), {}, true});
}

void ListQuery::AddRange(std::string_view field, std::function<Value()> low, std::function<Value()> high) {
    if (const FieldDef* f = def().field(field)) ranges_.push_back({f, std::move(low), std::move(high), false});
}

void ListQuery::ClearRanges() { ranges_.clear(); }

void ListQuery::SetFilter(std::string_view expression, std::string_view name) {
    std::string n(name);
    if (Trim(std::string(expression)).empty()) filters_.erase(n);
    else filters_[n] = std::string(expression);
}

void ListQuery::ClearFilters() { filters_.clear(); }

std::string ListQuery::FilterText() const {
    std::string out;
    for (const auto& [name, f] : filters_) out += (out.empty() ? "(" : " AND (") + f + ")";
    return out;
}

void ListQuery::AddChild(ChildTable child) { children_.push_back(std::move(child)); }

void ListQuery::SetRecordCheck(std::function<bool(const void*)> check) { check_ = std::move(check); }

bool ListQuery::HasResidue() const { return !residue_.empty() || static_cast<bool>(check_); }

int ListQuery::Apply() {
    message_.clear();
    where_.clear();
    params_.clear();
    residue_.clear();
    residueSlots_.clear();
    residueFields_.clear();
    const Bindings& b = bindings_ ? *bindings_ : CurrentBindings();
    std::vector<std::string> conds;
    for (const Range& r : ranges_) {
        std::string col = "m." + ColumnOf(r.field->name);
        if (r.field->isText() && FieldIgnoresCase(def(), *r.field)) col += " COLLATE NOCASE";
        auto val = [&](const std::function<Value()>& g) {
            Value v = g ? g() : Value();
            if (r.field->isText()) return Value(ClipRight(v.toText()));
            if (r.field->type == FieldType::Real) return Value(v.toReal());
            return Value(v.toInt());
        };
        if (r.equal) {
            conds.push_back(col + " = ?");
            params_.push_back(val(r.low));
        } else {
            conds.push_back(col + " >= ? AND " + col + " <= ?");
            params_.push_back(val(r.low));
            params_.push_back(val(r.high));
        }
    }
    for (const auto& [name, text] : filters_) {
        FilterTranslation t = TranslateFilter(text, def(), b, children_, "m");
        if (t.error) {
            message_ = t.message;
            residue_.clear();
            return t.error;
        }
        if (!t.sql.empty()) {
            conds.push_back(t.sql);
            params_.insert(params_.end(), t.params.begin(), t.params.end());
        }
        for (const std::string& r : t.residue) {
            residue_.push_back(CompiledExpression::Compile(r));
            // A name is a field of the record when it is a field's full
            // name, and a memo of the row when it is a memo's (both with the
            // table's prefix); any other name is read from the bindings.
            std::vector<int> slots;
            for (const std::string& name : residue_.back().Names()) {
                int index = -1;
                for (int idx : impl_->fieldIndex)
                    if (EqualNoCase(def().fields[static_cast<std::size_t>(idx)].name, name)) index = idx;
                if (index < 0) {
                    const int memo = MemoNumber(def(), name);
                    if (memo >= 0) {
                        slots.push_back(-2 - memo);
                        continue;
                    }
                }
                slots.push_back(index);
                if (index >= 0 && std::find(residueFields_.begin(), residueFields_.end(), index) == residueFields_.end())
                    residueFields_.push_back(index);
            }
            residueSlots_.push_back(std::move(slots));
        }
    }
    for (const std::string& c : conds) where_ += (where_.empty() ? "" : " AND ") + c;
    return 0;
}

std::string ListQuery::TermSql(const OrderTerm& t) const {
    return "m." + ColumnOf(t.field->name) + (t.noCase ? " COLLATE NOCASE" : "");
}

void ListQuery::ToRecord(const ListRow& r, void* record) const {
    const TableDef& d = def();
    for (int idx : impl_->fieldIndex) d.fields[static_cast<std::size_t>(idx)].set(record, r.field(idx));
}

bool ListQuery::Qualifies(const ListRow& r) {
    if (residue_.empty() && !check_) return true;
    if (!residue_.empty()) {
        // The fields each expression names were resolved by Apply: their
        // values come straight from the row.
        const Bindings& fallback = bindings_ ? *bindings_ : CurrentBindings();
        memoRow_ = 0;  // memos are read afresh for each row checked
        for (std::size_t i = 0; i < residue_.size(); ++i) {
            const std::vector<int>& slots = residueSlots_[i];
            slotValues_.resize(slots.size());
            for (std::size_t k = 0; k < slots.size(); ++k)
                slotValues_[k] = slots[k] >= 0    ? &r.values[static_cast<std::size_t>(slots[k])]
                                 : slots[k] <= -2 ? &MemoOf(r.row, -2 - slots[k])
                                                  : nullptr;
            EvalResult res = residue_[i].Evaluate(fallback, slotValues_.data());
            if (!res.ok() || !res.value.truthy()) return false;
        }
    }
    if (!check_) return true;
    AnyRecord rec(def());
    ToRecord(r, rec.get());
    return check_(rec.get());
}

const Value& ListQuery::MemoOf(int64_t row, int memo) {
    const TableDef& d = def();
    if (memoRow_ != row || memoValues_.size() != d.memos.size()) {
        memoRow_ = row;
        memoValues_.assign(d.memos.size(), Value(std::string()));
        memoRead_.assign(d.memos.size(), 0);
    }
    const std::size_t m = static_cast<std::size_t>(memo);
    if (memoRead_[m]) return memoValues_[m];
    memoRead_[m] = 1;
    // The whole text, as a record read from the row holds it; the caller
    // may be stepping another statement of the same connection.
    std::shared_ptr<Database> db = table_->impl().connection();
    if (!db) return memoValues_[m];
    std::lock_guard<std::recursive_mutex> lock(db->mutex());
    const std::string sql = "SELECT CAST(m." + ColumnOf(d.memos[m].name) + " AS BLOB) FROM " +
                            QuoteId(SplitTableName(table_->Name(), d.driver).table) + " AS m WHERE m.rowid = ?";
    int rc = 0;
    sqlite3_stmt* st = db->Prepare(sql, &rc);
    if (!st) return memoValues_[m];
    StatementReset reset{st};
    sqlite3_bind_int64(st, 1, row);
    if (sqlite3_step(st) == SQLITE_ROW) {
        const void* bytes = sqlite3_column_blob(st, 0);
        const int n = sqlite3_column_bytes(st, 0);
        if (bytes && n > 0) memoValues_[m] = Value(std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(n)));
    }
    return memoValues_[m];
}

// Keyset condition: rows after (or before) the anchor in the list order.
std::string ListQuery::AnchorCondition(const ListRow& anchor, bool after, std::vector<Value>& params) const {
    // (t1 > a1) OR (t1 = a1 AND t2 > a2) OR ... OR (t1 = a1 AND ... AND rowid > r),
    // led by "t1 >= a1" so that an index on t1 narrows the scan.
    std::string out;
    std::vector<Value> ps;
    std::string eqPrefix;
    std::vector<Value> eqParams;
    auto cmp = [&](bool desc) { return (desc != !after) ? " < ?" : " > ?"; };
    for (const OrderTerm& t : order_) {
        const Value& v = anchor.field(def().fieldIndex(t.field->name));
        std::string term = TermSql(t);
        out += (out.empty() ? "(" : " OR (") + eqPrefix + term + cmp(t.descending) + ")";
        ps.insert(ps.end(), eqParams.begin(), eqParams.end());
        ps.push_back(v);
        eqPrefix += term + " = ? AND ";
        eqParams.push_back(v);
    }
    out += (out.empty() ? "(" : " OR (") + eqPrefix + "m.rowid" + (after ? " > ?" : " < ?") + ")";
    ps.insert(ps.end(), eqParams.begin(), eqParams.end());
    ps.push_back(Value(anchor.row));
    std::string lead;
    if (!order_.empty()) {
        const OrderTerm& t = order_[0];
        lead = TermSql(t) + ((t.descending != !after) ? " <= ?" : " >= ?") + " AND ";
        params.push_back(anchor.field(def().fieldIndex(t.field->name)));
    }
    params.insert(params.end(), ps.begin(), ps.end());
    return lead + "(" + out + ")";
}

int ListQuery::Run(const std::string& conditions, const std::vector<Value>& params, const std::string& tail,
                   int limit, int64_t offset, bool reverse, const std::function<bool(ListRow&)>& take) {
    Table::Impl& ti = table_->impl();
    std::shared_ptr<Database> db = ti.connection();
    if (!db) return SetLastError(kFileNotOpen);
    impl_->table = QuoteId(SplitTableName(table_->Name(), def().driver).table);
    std::string where = where_;
    if (!conditions.empty()) where += (where.empty() ? "" : " AND ") + conditions;
    std::string sql = "SELECT " + impl_->select + " FROM " + impl_->table + " AS m";
    if (!where.empty()) sql += " WHERE " + where;
    sql += tail;
    if (tail.empty()) {
        sql += " ORDER BY ";
        for (const OrderTerm& t : order_) sql += TermSql(t) + ((t.descending != reverse) ? " DESC, " : ", ");
        sql += reverse ? "m.rowid DESC" : "m.rowid";
    }
    // Limits are bound, so that one statement serves every page and offset
    // (the connection keeps its prepared statements).
    if (limit > 0 || offset > 0) sql += " LIMIT ? OFFSET ?";

    std::lock_guard<std::recursive_mutex> lock(db->mutex());
    int rc = 0;
    sqlite3_stmt* st = db->Prepare(sql, &rc);
    if (!st) return db->Fail(rc);
    StatementReset reset{st};
    int idx = 1;
    for (const Value& v : params_) BindValue(st, idx++, v);
    for (const Value& v : params) BindValue(st, idx++, v);
    if (limit > 0 || offset > 0) {
        sqlite3_bind_int64(st, idx++, limit > 0 ? limit : -1);
        sqlite3_bind_int64(st, idx++, offset);
    }
    const TableDef& d = def();
    // One row is filled again and again; a taker that keeps it swaps it with
    // one of its own, whose storage the next row then reuses.
    ListRow r = std::move(impl_->spare);
    struct Keep {
        ListRow& r;
        ListRow& spare;
        ~Keep() { spare = std::move(r); }
    } keep{r, impl_->spare};
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        if (r.values.size() != d.fields.size()) r.values.resize(d.fields.size());
        ReadColumns(st, impl_->fieldIndex, d, r);
        if (!take(r)) return 0;
    }
    if (rc != SQLITE_DONE) return db->Fail(rc);
    return 0;
}

namespace {

// Fills a page in place: the rows `out` held before give their storage to the
// rows read, so paging with one vector allocates nothing once it is warm.
struct PageFill {
    std::vector<ListRow>& out;
    std::size_t n = 0;
    void Take(ListRow& r) {
        if (n < out.size())
            std::swap(out[n], r);
        else
            out.push_back(std::move(r));
        ++n;
    }
    std::size_t size() const { return n; }
    // Rows beyond those read are dropped, their storage kept for the next read.
    void Finish(ListRow& spare) {
        if (out.size() > n && spare.values.empty()) spare = std::move(out.back());
        out.resize(n);
    }
};

}  // namespace

int ListQuery::Page(const ListRow* anchor, bool forward, int count, std::vector<ListRow>& out) {
    PageFill fill{out};
    if (count <= 0) {
        fill.Finish(impl_->spare);
        return 0;
    }
    ListRow cursor;
    bool haveCursor = anchor != nullptr;
    if (anchor) cursor = *anchor;
    int batch = HasResidue() ? std::max(count, kScanBatch) : count;
    int e = 0;
    for (;;) {
        std::vector<Value> params;
        std::string cond = haveCursor ? AnchorCondition(cursor, forward, params) : std::string();
        int got = 0;
        bool full = false;
        bool lastKept = false;
        e = Run(cond, params, {}, batch, 0, !forward, [&](ListRow& r) {
            ++got;
            haveCursor = true;
            lastKept = Qualifies(r);
            if (!lastKept) {
                // The next batch goes on after a row that was not kept.
                cursor = r;
                return true;
            }
            fill.Take(r);
            if (static_cast<int>(fill.size()) >= count) {
                full = true;
                return false;
            }
            return true;
        });
        if (e || full || got < batch) break;
        if (lastKept) cursor = out[fill.size() - 1];
    }
    fill.Finish(impl_->spare);
    if (e) return e;
    if (!forward) std::reverse(out.begin(), out.end());
    return 0;
}

int ListQuery::PageAt(int64_t offset, int count, std::vector<ListRow>& out) {
    PageFill fill{out};
    if (offset < 0) offset = 0;
    int e;
    if (!HasResidue()) {
        e = Run({}, {}, {}, count, offset, false, [&](ListRow& r) {
            fill.Take(r);
            return true;
        });
    } else {
        int64_t seen = 0;
        e = Run({}, {}, {}, 0, 0, false, [&](ListRow& r) {
            if (!Qualifies(r)) return true;
            if (seen++ < offset) return true;
            fill.Take(r);
            return static_cast<int>(fill.size()) < count;
        });
    }
    fill.Finish(impl_->spare);
    return e;
}

int64_t ListQuery::CountWhere(const std::string& conditions, const std::vector<Value>& params) {
    int64_t n = 0;
    std::shared_ptr<Database> db = table_->impl().connection();
    if (!db) return -1;
    std::string where = where_;
    if (!conditions.empty()) where += (where.empty() ? "" : " AND ") + conditions;
    const std::string from = " FROM " + QuoteId(SplitTableName(table_->Name(), def().driver).table) + " AS m" +
                             (where.empty() ? std::string() : " WHERE " + where);
    std::lock_guard<std::recursive_mutex> lock(db->mutex());
    int rc = 0;
    if (HasResidue()) {
        // Records checked one by one are read to be counted: in file order
        // (no order to keep), and only the fields the check reads.
        const TableDef& d = def();
        const std::vector<int>& fields = check_ ? impl_->fieldIndex : residueFields_;
        std::string select = "SELECT m.rowid";
        for (int idx : fields) select += ", m." + ColumnOf(d.fields[static_cast<std::size_t>(idx)].name);
        sqlite3_stmt* st = db->Prepare(select + from, &rc);
        if (!st) return -1;
        StatementReset reset{st};
        int idx = 1;
        for (const Value& v : params_) BindValue(st, idx++, v);
        for (const Value& v : params) BindValue(st, idx++, v);
        ListRow r;
        r.values.resize(d.fields.size());
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            ReadColumns(st, fields, d, r);
            if (Qualifies(r)) ++n;
        }
        return rc == SQLITE_DONE ? n : -1;
    }
    sqlite3_stmt* st = db->Prepare("SELECT COUNT(*)" + from, &rc);
    if (!st) return -1;
    int idx = 1;
    for (const Value& v : params_) BindValue(st, idx++, v);
    for (const Value& v : params) BindValue(st, idx++, v);
    rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) n = sqlite3_column_int64(st, 0);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return rc == SQLITE_ROW ? n : -1;
}

int64_t ListQuery::Count() { return CountWhere({}, {}); }

int ListQuery::Scan(const std::vector<int>* fields, int64_t after, int count,
                    const std::function<bool(const ListRow&)>& take, int64_t& last, int& read) {
    read = 0;
    last = after;
    std::shared_ptr<Database> db = table_->impl().connection();
    if (!db) return SetLastError(kFileNotOpen);
    const TableDef& d = def();
    // A record check reads the whole record.
    std::vector<int> cols;
    if (!fields || check_) {
        cols = impl_->fieldIndex;
    } else {
        for (int idx : *fields)
            if (idx >= 0 && idx < static_cast<int>(d.fields.size()) && !d.fields[static_cast<std::size_t>(idx)].isGroup() &&
                std::find(cols.begin(), cols.end(), idx) == cols.end())
                cols.push_back(idx);
        for (int idx : residueFields_)
            if (std::find(cols.begin(), cols.end(), idx) == cols.end()) cols.push_back(idx);
    }
    std::string sql = "SELECT m.rowid";
    for (int idx : cols) sql += ", m." + ColumnOf(d.fields[static_cast<std::size_t>(idx)].name);
    sql += " FROM " + QuoteId(SplitTableName(table_->Name(), d.driver).table) + " AS m WHERE ";
    if (!where_.empty()) sql += "(" + where_ + ") AND ";
    sql += "m.rowid > ? ORDER BY m.rowid LIMIT ?";
    std::lock_guard<std::recursive_mutex> lock(db->mutex());
    int rc = 0;
    sqlite3_stmt* st = db->Prepare(sql, &rc);
    if (!st) return db->Fail(rc);
    StatementReset reset{st};
    int idx = 1;
    for (const Value& v : params_) BindValue(st, idx++, v);
    sqlite3_bind_int64(st, idx++, after);
    sqlite3_bind_int64(st, idx++, count);
    ListRow r;
    r.values.resize(d.fields.size());
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        ReadColumns(st, cols, d, r);
        ++read;
        last = r.row;
        if (Qualifies(r) && !take(r)) return 0;
    }
    return rc == SQLITE_DONE ? 0 : db->Fail(rc);
}

int64_t ListQuery::RowsBefore(const ListRow& r) {
    std::vector<Value> params;
    std::string cond = AnchorCondition(r, false, params);
    return CountWhere(cond, params);
}

bool ListQuery::Fetch(int64_t row, ListRow& out) {
    bool found = false;
    int e = Run("m.rowid = ?", {Value(row)}, {}, 1, 0, false, [&](ListRow& r) {
        if (Qualifies(r)) {
            out = std::move(r);
            found = true;
        }
        return false;
    });
    return e == 0 && found;
}

int64_t ListQuery::LocatePosition(const Value& value, const FieldDef* field) {
    OrderTerm t;
    if (!field) {
        if (order_.empty()) return 0;
        t = order_[0];
    } else {
        t.field = field;
        t.noCase = field->isText() && FieldIgnoresCase(def(), *field);
        for (const OrderTerm& o : order_)
            if (o.field == field) t = o;
    }
    Value v = value;
    if (t.field->isText()) v = Value(ClipRight(value.toText()));
    else if (!value.isNumber()) v = Value(value.toReal());
    return CountWhere(TermSql(t) + (t.descending ? " > ?" : " < ?"), {v});
}

std::string ApplyDatePicture(std::string_view format, std::string_view dateFormat) {
    std::string pic = ClipRight(Trim(std::string(dateFormat)));
    if (!pic.empty() && pic[0] == '@') pic.erase(0, 1);
    if (pic.empty()) return std::string(format);
    std::string out;
    std::size_t i = 0;
    while (i < format.size()) {
        if (format[i] == '~') {  // a header: copied as it is
            std::size_t close = format.find('~', i + 1);
            std::size_t stop = close == std::string_view::npos ? format.size() : close + 1;
            out += format.substr(i, stop - i);
            i = stop;
            continue;
        }
        if (format[i] == '@' && i + 1 < format.size() && (format[i + 1] == 'd' || format[i + 1] == 'D')) {
            std::size_t close = format.find('@', i + 1);
            out += "@" + pic;
            if (close == std::string_view::npos) {
                i = format.size();
            } else {
                out += "@";
                i = close + 1;
            }
            continue;
        }
        out += format[i++];
    }
    return out;
}

}  // namespace kr::data
