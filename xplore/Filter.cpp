#include "xplore/Filter.h"

#include <cstdlib>

#include "platform/runtime/Expression.h"
#include "platform/runtime/Strings.h"

namespace kr::xplore {

namespace {

// A number as the expression's constant; text that is no number counts as 0,
// as a number field reads it.
std::string NumberConstant(std::string_view v) {
    std::string t = Trim(v);
    char* end = nullptr;
    double d = std::strtod(t.c_str(), &end);
    if (t.empty() || end == t.c_str() || *end != '\0') return "0";
    if (d == static_cast<double>(static_cast<long long>(d))) return std::to_string(static_cast<long long>(d));
    return t;
}

}  // namespace

void XploreQuery::SetValue(std::string_view field, FilterSlot slot, std::string_view value, bool text) {
    Field* f = nullptr;
    for (Field& x : fields_)
        if (EqualNoCase(x.name, field)) f = &x;
    if (!f) {
        Field added;
        added.name = std::string(field);
        fields_.push_back(added);
        f = &fields_.back();
    }
    f->text = text;
    f->has[static_cast<int>(slot)] = true;
    f->value[static_cast<int>(slot)] = std::string(value);
}

std::string XploreQuery::Value(std::string_view field, FilterSlot slot) const {
    for (const Field& x : fields_)
        if (EqualNoCase(x.name, field) && x.has[static_cast<int>(slot)]) return x.value[static_cast<int>(slot)];
    return {};
}

std::string XploreQuery::Expression() const {
    std::string out;
    auto add = [&](const Field& f, std::string_view op, std::string_view value) {
        bool noCase = false;
        if (!value.empty() && value[0] == '^') {
            noCase = true;
            value.remove_prefix(1);
        }
        std::string cond;
        if (f.text) {
            std::string v(value);
            if (noCase) cond = "UPPER(" + f.name + ") " + std::string(op) + " " + QuoteForExpression(Upper(v));
            else cond = f.name + " " + std::string(op) + " " + QuoteForExpression(v);
        } else {
            cond = f.name + " " + std::string(op) + " " + NumberConstant(value);
        }
        out += (out.empty() ? "(" : " AND (") + cond + ")";
    };
    for (const Field& f : fields_) {
        if (f.has[0]) {
            std::string_view v = f.value[0];
            bool negate = !v.empty() && v[0] == '~';
            if (negate) v.remove_prefix(1);
            add(f, negate ? "<>" : "=", v);
        }
        for (int s : {1, 2}) {
            if (!f.has[s]) continue;
            std::string_view v = f.value[s];
            bool inclusive = !v.empty() && v[0] == '=';
            if (inclusive) v.remove_prefix(1);
            add(f, s == 1 ? (inclusive ? ">=" : ">") : (inclusive ? "<=" : "<"), v);
        }
    }
    return out;
}

}  // namespace kr::xplore
