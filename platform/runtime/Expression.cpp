// The expression evaluator (EVALUATE): a tokenizer, a recursive-descent
// parser into an immutable tree, and a tree walker.
//
// Runs of operators of one precedence level ("1+2+3+...") are kept as one
// node with a list of operands, so a long expression makes a wide tree, not
// a deep one; the depth of the tree, and with it the recursion while parsing
// and evaluating, is bounded by kMaxDepth.
#include "platform/runtime/Expression.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <limits>
#include <vector>

#include "platform/runtime/DateTime.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/Strings.h"

namespace kr {

namespace {

constexpr int kMaxDepth = 100;

struct Failure {
    int code;
    std::string message;
};

[[noreturn]] void Fail(int code, std::string message) { throw Failure{code, std::move(message)}; }

// ---------------------------------------------------------------- tokens

enum class Tok { End, Number, Text, Picture, Name, LParen, RParen, Comma, Op };

struct Token {
    Tok kind;
    std::string text;  // operator spelling, name (upper case), text value, picture
    Value number;
    std::size_t pos;   // 1-based position in the expression
};

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':'; }
bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

std::vector<Token> Tokenize(std::string_view s) {
    std::vector<Token> out;
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        std::size_t start = i;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (IsDigitChar(c) || (c == '.' && i + 1 < s.size() && IsDigitChar(s[i + 1]))) {
            bool point = false;
            while (i < s.size() && (IsDigitChar(s[i]) || (s[i] == '.' && !point))) {
                if (s[i] == '.') point = true;
                ++i;
            }
            std::string digits(s.substr(start, i - start));
            if (i < s.size() && IsNameChar(s[i]))
                Fail(kBadExpression, "Bad number at position " + std::to_string(start + 1));
            Value v;
            if (!point && digits.size() <= 18)
                v = Value(static_cast<int64_t>(std::strtoll(digits.c_str(), nullptr, 10)));
            else
                v = Value(std::strtod(digits.c_str(), nullptr));
            out.push_back({Tok::Number, digits, v, start + 1});
            continue;
        }
        if (c == '\'') {
            std::string text;
            ++i;
            bool closed = false;
            while (i < s.size()) {
                if (s[i] == '\'') {
                    if (i + 1 < s.size() && s[i + 1] == '\'') {
                        text += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                text += s[i++];
            }
            if (!closed) Fail(kBadExpression, "Unterminated text at position " + std::to_string(start + 1));
            out.push_back({Tok::Text, text, Value(), start + 1});
            continue;
        }
        if (c == '@') {
            // A picture runs to a blank, a comma or a closing parenthesis that
            // it did not open itself; ~currency~ texts are taken whole.
            ++i;
            int open = 0;
            while (i < s.size()) {
                char p = s[i];
                if (p == ' ' || p == '\t' || p == ',') break;
                if (p == '~') {
                    std::size_t e = s.find('~', i + 1);
                    i = e == std::string_view::npos ? s.size() : e + 1;
                    continue;
                }
                if (p == '(') ++open;
                if (p == ')') {
                    if (open == 0) break;
                    --open;
                }
                ++i;
            }
            if (i == start + 1) Fail(kBadExpression, "Empty picture at position " + std::to_string(start + 1));
            out.push_back({Tok::Picture, std::string(s.substr(start, i - start)), Value(), start + 1});
            continue;
        }
        if (IsNameStart(c)) {
            while (i < s.size() && IsNameChar(s[i])) ++i;
            std::string name = Upper(s.substr(start, i - start));
            if (name == "AND" || name == "OR" || name == "XOR" || name == "NOT")
                out.push_back({Tok::Op, name, Value(), start + 1});
            else
                out.push_back({Tok::Name, name, Value(), start + 1});
            continue;
        }
        if (c == '(') { out.push_back({Tok::LParen, "(", Value(), start + 1}); ++i; continue; }
        if (c == ')') { out.push_back({Tok::RParen, ")", Value(), start + 1}); ++i; continue; }
        if (c == ',') { out.push_back({Tok::Comma, ",", Value(), start + 1}); ++i; continue; }
        static const char* const kTwo[] = {"<>", "~=", "<=", "=<", ">=", "=>", "~<", "~>"};
        bool matched = false;
        if (i + 1 < s.size()) {
            for (const char* op : kTwo) {
                if (s[i] == op[0] && s[i + 1] == op[1]) {
                    out.push_back({Tok::Op, op, Value(), start + 1});
                    i += 2;
                    matched = true;
                    break;
                }
            }
        }
        if (matched) continue;
        if (std::string_view("+-*/%^&=<>~").find(c) != std::string_view::npos) {
            out.push_back({Tok::Op, std::string(1, c), Value(), start + 1});
            ++i;
            continue;
        }
        Fail(kBadExpression, std::string("Unexpected character '") + c + "' at position " + std::to_string(start + 1));
    }
    out.push_back({Tok::End, "", Value(), s.size() + 1});
    return out;
}

// ---------------------------------------------------------------- tree

enum class Fn {
    Upper, Lower, Clip, Left, Right, Sub, InString, Len, Today, Clock, Date, Day, Month, Year,
    Int, Abs, Round, Numeric, Format, Deformat, Choose, InRange, InList, Chr, Val, Age
};

struct FnInfo {
    const char* name;
    Fn fn;
    int minArgs;
    int maxArgs;  // -1: any number
};

const FnInfo kFunctions[] = {
    {"UPPER", Fn::Upper, 1, 1},       {"LOWER", Fn::Lower, 1, 1},       {"CLIP", Fn::Clip, 1, 1},
    {"LEFT", Fn::Left, 1, 2},         {"RIGHT", Fn::Right, 1, 2},       {"SUB", Fn::Sub, 3, 3},
    {"INSTRING", Fn::InString, 2, 4}, {"LEN", Fn::Len, 1, 1},           {"TODAY", Fn::Today, 0, 0},
    {"CLOCK", Fn::Clock, 0, 0},       {"DATE", Fn::Date, 3, 3},         {"DAY", Fn::Day, 1, 1},
    {"MONTH", Fn::Month, 1, 1},       {"YEAR", Fn::Year, 1, 1},         {"INT", Fn::Int, 1, 1},
    {"ABS", Fn::Abs, 1, 1},           {"ROUND", Fn::Round, 2, 2},       {"NUMERIC", Fn::Numeric, 1, 1},
    {"FORMAT", Fn::Format, 2, 2},     {"DEFORMAT", Fn::Deformat, 1, 2}, {"CHOOSE", Fn::Choose, 2, -1},
    {"INRANGE", Fn::InRange, 3, 3},   {"INLIST", Fn::InList, 2, -1},    {"CHR", Fn::Chr, 1, 1},
    {"VAL", Fn::Val, 1, 1},           {"AGE", Fn::Age, 2, 2},
};

}  // namespace

struct CompiledExpression::Node {
    enum Kind { Const, Name, Negate, Not, Chain, Compare, Call } kind;
    Value value;                      // Const
    std::string name;                 // Name (upper case)
    int slot = -1;                    // Name: its place in CompiledExpression::Names()
    std::vector<std::unique_ptr<Node>> operands;
    std::vector<std::string> ops;     // Chain, Compare: ops[i] joins operands[i] and operands[i+1]
    Fn fn = Fn::Upper;                // Call
};

namespace {

using Node = CompiledExpression::Node;
using NodePtr = std::unique_ptr<Node>;

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : t_(std::move(tokens)) {}

    NodePtr Parse() {
        NodePtr n = Or();
        if (peek().kind != Tok::End) Unexpected();
        return n;
    }

private:
    const Token& peek() const { return t_[i_]; }
    bool isOp(std::initializer_list<const char*> ops) const {
        if (peek().kind != Tok::Op) return false;
        for (const char* o : ops)
            if (peek().text == o) return true;
        return false;
    }
    [[noreturn]] void Unexpected() const {
        const Token& t = peek();
        if (t.kind == Tok::End) Fail(kBadExpression, "Unexpected end of expression");
        Fail(kBadExpression, "Unexpected '" + t.text + "' at position " + std::to_string(t.pos));
    }

    struct Depth {
        explicit Depth(int& d) : d_(d) {
            if (++d_ > kMaxDepth) Fail(kBadExpression, "Expression is nested too deeply");
        }
        ~Depth() { --d_; }
        int& d_;
    };

    NodePtr MakeChain(NodePtr first, Node::Kind kind = Node::Chain) {
        auto n = std::make_unique<Node>();
        n->kind = kind;
        n->operands.push_back(std::move(first));
        return n;
    }

    // Parses a run of one level: operand (op operand)*.
    template <typename Next>
    NodePtr Level(std::initializer_list<const char*> ops, Next next, Node::Kind kind = Node::Chain) {
        NodePtr first = (this->*next)();
        if (!isOp(ops)) return first;
        NodePtr chain = MakeChain(std::move(first), kind);
        while (isOp(ops)) {
            chain->ops.push_back(t_[i_++].text);
            chain->operands.push_back((this->*next)());
        }
        return chain;
    }

    NodePtr Or() { return Level({"OR", "XOR"}, &Parser::And); }
    NodePtr And() { return Level({"AND"}, &Parser::NotLevel); }
    NodePtr NotLevel() {
        if (isOp({"NOT", "~"})) {
            Depth d(depth_);
            ++i_;
            auto n = std::make_unique<Node>();
            n->kind = Node::Not;
            n->operands.push_back(NotLevel());
            return n;
        }
        return Compare();
    }
    NodePtr Compare() {
        return Level({"=", "<>", "~=", "<", ">", "<=", "=<", ">=", "=>", "~<", "~>"}, &Parser::Concat,
                     Node::Compare);
    }
    NodePtr Concat() { return Level({"&"}, &Parser::Additive); }
    NodePtr Additive() { return Level({"+", "-"}, &Parser::Multiplicative); }
    NodePtr Multiplicative() { return Level({"*", "/", "%"}, &Parser::Unary); }
    NodePtr Unary() {
        if (isOp({"-", "+"})) {
            Depth d(depth_);
            bool negate = t_[i_++].text == "-";
            NodePtr operand = Unary();
            if (!negate) return operand;
            auto n = std::make_unique<Node>();
            n->kind = Node::Negate;
            n->operands.push_back(std::move(operand));
            return n;
        }
        return Power();
    }
    NodePtr Power() {
        NodePtr base = Primary();
        if (!isOp({"^"})) return base;
        Depth d(depth_);
        ++i_;
        NodePtr chain = MakeChain(std::move(base));
        chain->ops.push_back("^");
        chain->operands.push_back(Unary());  // right-associative: 2^3^2 = 2^(3^2)
        return chain;
    }
    NodePtr Primary() {
        const Token& t = peek();
        switch (t.kind) {
            case Tok::Number: {
                auto n = std::make_unique<Node>();
                n->kind = Node::Const;
                n->value = t.number;
                ++i_;
                return n;
            }
            case Tok::Text:
            case Tok::Picture: {
                auto n = std::make_unique<Node>();
                n->kind = Node::Const;
                n->value = Value(t.text);
                ++i_;
                return n;
            }
            case Tok::LParen: {
                Depth d(depth_);
                ++i_;
                NodePtr inner = Or();
                if (peek().kind != Tok::RParen) Unexpected();
                ++i_;
                return inner;
            }
            case Tok::Name: {
                std::string name = t.text;
                std::size_t pos = t.pos;
                ++i_;
                if (peek().kind != Tok::LParen) {
                    auto n = std::make_unique<Node>();
                    n->kind = Node::Name;
                    n->name = name;
                    return n;
                }
                return Call(name, pos);
            }
            default: Unexpected();
        }
    }
    NodePtr Call(const std::string& name, std::size_t pos) {
        const FnInfo* info = nullptr;
        for (const FnInfo& f : kFunctions)
            if (name == f.name) info = &f;
        if (!info) Fail(kBadExpression, "Unknown function " + name + " at position " + std::to_string(pos));
        Depth d(depth_);
        ++i_;  // (
        auto n = std::make_unique<Node>();
        n->kind = Node::Call;
        n->fn = info->fn;
        n->name = name;
        if (peek().kind != Tok::RParen) {
            while (true) {
                n->operands.push_back(Or());
                if (peek().kind == Tok::Comma) {
                    ++i_;
                    continue;
                }
                break;
            }
        }
        if (peek().kind != Tok::RParen) Unexpected();
        ++i_;
        int count = static_cast<int>(n->operands.size());
        if (count < info->minArgs || (info->maxArgs >= 0 && count > info->maxArgs))
            Fail(kBadExpression, "Wrong number of parameters for " + name);
        return n;
    }

    std::vector<Token> t_;
    std::size_t i_ = 0;
    int depth_ = 0;
};

// ---------------------------------------------------------------- evaluation

// A value counts as a whole number when it is an integer or a text that
// reads as one; otherwise arithmetic runs on reals.
bool Whole(const Value& v, int64_t& out) {
    if (v.isInt()) {
        out = v.toInt();
        return true;
    }
    if (v.isText()) {
        std::string t = Trim(v.toText());
        if (t.empty() || !IsNumeric(t)) {  // a text that is no number counts as 0
            out = 0;
            return true;
        }
        if ( t.find_first_of(".eE") != std::string::npos || t.size() > 18) return false;
        out = std::strtoll(t.c_str(), nullptr, 10);
        return true;
    }
    return false;
}

Value Real(double d) {
    if (!std::isfinite(d)) Fail(kBadExpression, "Arithmetic overflow");
    return Value(d);
}

Value Arith(const std::string& op, const Value& a, const Value& b) {
    int64_t x, y;
    bool ints = Whole(a, x) && Whole(b, y);
    if (op == "+" || op == "-" || op == "*") {
        if (ints) {
            int64_t r;
            bool overflow = op == "+" ? __builtin_add_overflow(x, y, &r)
                            : op == "-" ? __builtin_sub_overflow(x, y, &r)
                                        : __builtin_mul_overflow(x, y, &r);
            if (!overflow) return Value(r);
        }
        double p = a.toReal(), q = b.toReal();
        return Real(op == "+" ? p + q : op == "-" ? p - q : p * q);
    }
    if (op == "/") {
        if (b.toReal() == 0) Fail(kBadExpression, "Division by zero");
        if (ints && y != -1 && x % y == 0) return Value(x / y);
        return Real(a.toReal() / b.toReal());
    }
    if (op == "%") {
        if (b.toReal() == 0) Fail(kBadExpression, "Division by zero");
        if (ints) return Value(y == -1 ? int64_t{0} : x % y);
        return Real(std::fmod(a.toReal(), b.toReal()));
    }
    // ^
    double r = std::pow(a.toReal(), b.toReal());
    if (std::isnan(r)) Fail(kBadExpression, "Bad power");
    if (ints && y >= 0 && std::fabs(r) < 9e15) return Value(static_cast<int64_t>(std::llround(r)));
    return Real(r);
}

// The runtime's comparison of two values: <0, 0 or >0.
int CompareValues(const Value& a, const Value& b) {
    bool na = a.isNumber(), nb = b.isNumber();
    if (!na && !nb) return CompareText(*a.textIf(), *b.textIf(), true);
    if (na && nb) {
        if (a.isInt() && b.isInt()) {
            int64_t x = a.toInt(), y = b.toInt();
            return x < y ? -1 : x > y ? 1 : 0;
        }
        double x = a.toReal(), y = b.toReal();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    const Value& text = na ? b : a;
    if (IsNumeric(text.toText())) {
        double x = a.toReal(), y = b.toReal();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    return CompareText(a.toText(), b.toText(), true);
}

bool CompareHolds(const std::string& op, int c) {
    if (op == "=") return c == 0;
    if (op == "<>" || op == "~=") return c != 0;
    if (op == "<") return c < 0;
    if (op == ">") return c > 0;
    if (op == "<=" || op == "=<" || op == "~>") return c <= 0;
    return c >= 0;  // >= => ~<
}

Value Bool(bool b) { return Value(int64_t{b ? 1 : 0}); }

int ToIntArg(const Value& v) {
    int64_t i = v.toInt();
    if (i > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (i < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(i);
}

class Evaluator {
public:
    Evaluator(const Bindings& b, const Value* const* slots) : b_(b), slots_(slots) {}

    Value Eval(const Node& n) {
        switch (n.kind) {
            case Node::Const: return n.value;
            case Node::Name: {
                if (slots_ && n.slot >= 0 && slots_[n.slot]) return *slots_[n.slot];
                std::optional<Value> v = b_.Get(n.name);
                if (!v) Fail(kUnknownVariable, "Unknown variable " + n.name);
                return std::move(*v);
            }
            case Node::Negate: {
                Value v = Eval(*n.operands[0]);
                return Arith("-", Value(int64_t{0}), v);
            }
            case Node::Not: return Bool(!Eval(*n.operands[0]).truthy());
            case Node::Compare: {
                // a < b < c reads as (a < b) < c, as the runtime does.
                Value left = Eval(*n.operands[0]);
                for (std::size_t k = 0; k < n.ops.size(); ++k) {
                    Value right = Eval(*n.operands[k + 1]);
                    left = Bool(CompareHolds(n.ops[k], CompareValues(left, right)));
                }
                return left;
            }
            case Node::Chain: return Chain(n);
            case Node::Call: return Call(n);
        }
        return Value();
    }

private:
    Value Chain(const Node& n) {
        Value acc = Eval(*n.operands[0]);
        for (std::size_t k = 0; k < n.ops.size(); ++k) {
            const std::string& op = n.ops[k];
            if (op == "AND") {
                if (!acc.truthy()) return Bool(false);  // short cut: the rest cannot make it true
                acc = Bool(Eval(*n.operands[k + 1]).truthy());
            } else if (op == "OR") {
                if (acc.truthy()) {
                    // skip the operands joined by OR; an XOR later still counts
                    std::size_t j = k;
                    while (j < n.ops.size() && n.ops[j] == "OR") ++j;
                    acc = Bool(true);
                    k = j - 1;
                    continue;
                }
                acc = Bool(Eval(*n.operands[k + 1]).truthy());
            } else if (op == "XOR") {
                acc = Bool(acc.truthy() != Eval(*n.operands[k + 1]).truthy());
            } else if (op == "&") {
                acc = Value(acc.toText() + Eval(*n.operands[k + 1]).toText());
            } else {
                acc = Arith(op, acc, Eval(*n.operands[k + 1]));
            }
        }
        return acc;
    }

    Value Call(const Node& n) {
        std::vector<Value> a;
        a.reserve(n.operands.size());
        if (n.fn != Fn::Choose) {
            for (const auto& o : n.operands) a.push_back(Eval(*o));
        }
        switch (n.fn) {
            case Fn::Upper: return Value(Upper(a[0].toText()));
            case Fn::Lower: return Value(Lower(a[0].toText()));
            case Fn::Clip: return Value(ClipRight(a[0].toText()));
            case Fn::Left: {
                std::string t = ClipLeft(a[0].toText());
                if (a.size() > 1) {
                    int w = ToIntArg(a[1]);
                    if (w < 0) w = 0;
                    if (t.size() > static_cast<std::size_t>(w)) t.resize(static_cast<std::size_t>(w));
                }
                return Value(t);
            }
            case Fn::Right: {
                std::string s = a[0].toText();
                std::size_t w = s.size();
                if (a.size() > 1) w = static_cast<std::size_t>(std::max(0, ToIntArg(a[1])));
                std::string t = ClipRight(s);
                if (w > 100000) Fail(kBadExpression, "RIGHT width too large");
                if (t.size() >= w) return Value(t.substr(t.size() - w));
                return Value(std::string(w - t.size(), ' ') + t);
            }
            case Fn::Sub: {
                std::string s = a[0].toText();
                int start = ToIntArg(a[1]);
                if (start < 0) start = static_cast<int>(s.size()) + start + 1;
                return Value(kr::Sub(s, start, ToIntArg(a[2])));
            }
            case Fn::InString: {
                int step = a.size() > 2 ? ToIntArg(a[2]) : 1;
                int start = a.size() > 3 ? ToIntArg(a[3]) : 1;
                return Value(int64_t{InString(a[0].toText(), a[1].toText(), step, start)});
            }
            case Fn::Len: return Value(static_cast<int64_t>(a[0].toText().size()));
            case Fn::Today: return Value(int64_t{Today()});
            case Fn::Age: return Value(AgeText(ToIntArg(a[0]), ToIntArg(a[1])));
            case Fn::Clock: return Value(int64_t{ClockTime()});
            case Fn::Date: return Value(int64_t{MakeDate(ToIntArg(a[0]), ToIntArg(a[1]), ToIntArg(a[2]))});
            case Fn::Day: return Value(int64_t{DateDay(ToIntArg(a[0]))});
            case Fn::Month: return Value(int64_t{DateMonth(ToIntArg(a[0]))});
            case Fn::Year: return Value(int64_t{DateYear(ToIntArg(a[0]))});
            case Fn::Int: {
                int64_t w;
                if (Whole(a[0], w)) return Value(w);
                double d = std::trunc(a[0].toReal());
                if (std::fabs(d) < 9e18) return Value(static_cast<int64_t>(d));
                return Real(d);
            }
            case Fn::Abs: {
                int64_t w;
                if (Whole(a[0], w) && w != std::numeric_limits<int64_t>::min()) return Value(w < 0 ? -w : w);
                return Real(std::fabs(a[0].toReal()));
            }
            case Fn::Round: {
                // ROUND(x, order) with order a power of ten (another order
                // counts as the next lower power). Rounds on the decimal text,
                // half away from zero, so that 2.675 goes to 2.68.
                double order = std::fabs(a[1].toReal());
                if (order == 0 || !std::isfinite(order)) return a[0];
                int power = static_cast<int>(std::floor(std::log10(order) + 1e-9));
                double x = a[0].toReal();
                if (power >= 0) {
                    double unit = std::pow(10.0, power);
                    double r = (x < 0 ? -1 : 1) * std::floor(std::fabs(x) / unit + 0.5) * unit;
                    if (std::fabs(r) < 9e15) return Value(static_cast<int64_t>(r));
                    return Real(r);
                }
                int places = std::min(-power, 15);
                std::string pic = "@N-_40." + std::to_string(places);
                return Deformat(Format(Value(x), pic), pic);
            }
            case Fn::Numeric: return Bool(a[0].isNumber() || IsNumeric(a[0].toText()));
            case Fn::Format: {
                const std::string picture = a[1].toText();
                if (PictureKind(picture) != 0 && !ValidPicture(picture))
                    Fail(kBadExpression, "Invalid picture " + picture.substr(0, std::min<std::size_t>(picture.size(), 40)));
                return Value(Format(a[0], picture));
            }
            case Fn::Deformat: {
                if (a.size() > 1) return Deformat(a[0].toText(), a[1].toText());
                // Without a picture: the number in the text, other characters left out.
                std::string digits;
                for (char c : a[0].toText())
                    if (IsDigitChar(c) || c == '.' || c == '-') digits += c;
                if (digits.empty()) return Value(int64_t{0});
                return Deformat(digits, "@N-_30.9");
            }
            case Fn::Choose: {
                // CHOOSE(n, v1, v2, ...): the n-th value, the last when n is
                // out of range. With two values a condition other than 1 or 2
                // chooses v1 when true and v2 when false.
                Value sel = Eval(*n.operands[0]);
                std::size_t values = n.operands.size() - 1;
                int64_t k = sel.toInt();
                std::size_t pick;
                if (values == 2 && k != 1 && k != 2) pick = sel.truthy() ? 1 : 2;
                else if (k >= 1 && static_cast<std::size_t>(k) <= values) pick = static_cast<std::size_t>(k);
                else pick = values;
                return Eval(*n.operands[pick]);
            }
            case Fn::InRange: {
                return Bool(CompareValues(a[0], a[1]) >= 0 && CompareValues(a[0], a[2]) <= 0);
            }
            case Fn::InList: {
                for (std::size_t k = 1; k < a.size(); ++k)
                    if (CompareText(a[0].toText(), a[k].toText(), true) == 0) return Value(static_cast<int64_t>(k));
                return Value(int64_t{0});
            }
            case Fn::Chr: {
                int64_t c = a[0].toInt();
                if (c < 0 || c > 255) return Value(std::string());
                return Value(std::string(1, static_cast<char>(c)));
            }
            case Fn::Val: {
                std::string t = a[0].toText();
                return Value(int64_t{t.empty() ? 0 : static_cast<unsigned char>(t[0])});
            }
        }
        return Value();
    }

    const Bindings& b_;
    const Value* const* slots_;
};

EvalResult ErrorResult(int code, std::string message) {
    EvalResult r;
    r.error = code;
    r.message = std::move(message);
    return r;
}

}  // namespace

namespace {

// Gives each name of the tree its place in the list of names read.
void AssignSlots(Node& n, std::vector<std::string>& names) {
    if (n.kind == Node::Name) {
        auto it = std::find(names.begin(), names.end(), n.name);
        n.slot = static_cast<int>(it - names.begin());
        if (it == names.end()) names.push_back(n.name);
    }
    for (auto& o : n.operands) AssignSlots(*o, names);
}

}  // namespace

CompiledExpression CompiledExpression::Compile(std::string_view expression) {
    CompiledExpression c;
    try {
        if (Trim(expression).empty()) Fail(kBadExpression, "Empty expression");
        Parser p(Tokenize(expression));
        NodePtr root = p.Parse();
        auto names = std::make_shared<std::vector<std::string>>();
        AssignSlots(*root, *names);
        c.names_ = std::move(names);
        c.root_ = std::shared_ptr<const Node>(root.release());
    } catch (const Failure& f) {
        c.error_ = f.code;
        c.message_ = f.message;
    } catch (const std::exception& e) {
        c.error_ = kBadExpression;
        c.message_ = e.what();
    }
    return c;
}

const std::vector<std::string>& CompiledExpression::Names() const {
    static const std::vector<std::string> none;
    return names_ ? *names_ : none;
}

EvalResult CompiledExpression::Evaluate(const Bindings& bindings) const { return Evaluate(bindings, nullptr); }

EvalResult CompiledExpression::Evaluate(const Bindings& bindings, const Value* const* slots) const {
    if (error_) return ErrorResult(error_, message_);
    if (!root_) return ErrorResult(kBadExpression, "Empty expression");
    try {
        Evaluator e(bindings, slots);
        EvalResult r;
        r.value = e.Eval(*root_);
        return r;
    } catch (const Failure& f) {
        return ErrorResult(f.code, f.message);
    } catch (const std::exception& e) {
        return ErrorResult(kBadExpression, e.what());
    } catch (...) {
        return ErrorResult(kBadExpression, "Evaluation failed");
    }
}

EvalResult CompiledExpression::Evaluate() const { return Evaluate(CurrentBindings()); }

std::string QuoteForExpression(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    out += '\'';
    return out;
}

EvalResult Evaluate(std::string_view expression, const Bindings& bindings) {
    return CompiledExpression::Compile(expression).Evaluate(bindings);
}

EvalResult Evaluate(std::string_view expression) { return Evaluate(expression, CurrentBindings()); }

std::string AgeText(int32_t from, int32_t to) {
    const int32_t days = to - from;
    if (days < 61) return std::to_string(days) + " DAYS";
    int months = (DateYear(to) - DateYear(from)) * 12 + (DateMonth(to) - DateMonth(from));
    if (DateDay(to) < DateDay(from)) --months;  // the last month is not complete yet
    if (months < 24) return std::to_string(months) + " MOS";
    return std::to_string(months / 12) + " YRS";
}

}  // namespace kr
