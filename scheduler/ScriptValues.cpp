#include "scheduler/ScriptValues.h"

#include <cmath>
#include <cstdlib>

#include "dictionary/EventLog.h"
#include "platform/runtime/Expression.h"
#include "platform/runtime/Strings.h"
#include "scheduler/RunnerSettings.h"
#include "scheduler/TranslateValues.h"

namespace kr {

namespace {

std::string Cut(std::string_view s, std::size_t n) { return ClipRight(s.substr(0, std::min(n, s.size()))); }

}  // namespace

std::string ScriptValueKey(std::string_view name) { return Upper(Cut(name, kScriptValueNameSize)); }

double ScriptNumber(std::string_view text) {
    const std::string t = Trim(text);
    if (t.empty() || !IsNumeric(t)) return 0;
    const double v = std::strtod(t.c_str(), nullptr);
    if (!std::isfinite(v)) return 0;
    return std::round(v * 100.0) / 100.0;
}

void ScriptValueStore::Put(std::string_view name, std::string_view text) {
    ScriptValue v;
    v.Name = ScriptValueKey(name);
    v.StringValue = Cut(text, kScriptValueTextSize);
    v.Value = ScriptNumber(v.StringValue);
    std::lock_guard<std::mutex> l(m_);
    values_[v.Name] = std::move(v);
}

std::optional<ScriptValue> ScriptValueStore::Find(std::string_view name) const {
    const std::string key = ScriptValueKey(name);
    std::lock_guard<std::mutex> l(m_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::vector<ScriptValue> ScriptValueStore::Entries() const {
    std::lock_guard<std::mutex> l(m_);
    std::vector<ScriptValue> out;
    out.reserve(values_.size());
    for (const auto& [key, v] : values_) out.push_back(v);
    return out;
}

std::size_t ScriptValueStore::Count() const {
    std::lock_guard<std::mutex> l(m_);
    return values_.size();
}

void ScriptValueStore::Clear() {
    std::lock_guard<std::mutex> l(m_);
    values_.clear();
}

ScriptValueStore& ScriptValues() {
    static ScriptValueStore store;
    return store;
}

void SetScriptVariable(std::string_view name, std::string_view value) {
    std::string text = Cut(TranslateValues(value), kScriptValueTextSize);
    if (!text.empty() && text[0] == '=') {
        EvalResult r = Evaluate(std::string_view(text).substr(1));
        // An expression in error keeps the text as written.
        if (r.ok()) text = Cut(r.value.toText(), kScriptValueTextSize);
    }
    ScriptValues().Put(name, text);
}

std::string ShowEvaluation(std::string_view expression) {
    const bool debug = runner::DebugMode();
    if (debug) LogEvent("Evaluation", std::string(expression));
    EvalResult r = Evaluate(expression);
    std::string result = r.ok() ? r.value.toText() : std::string();
    if (debug) LogEvent("Evaluation", "Result:  " + result);
    return result;
}

int CompareScriptValue(std::string_view left, std::string_view op, std::string_view right) {
    const std::string upperLeft = Upper(ClipRight(left));
    bool numeric = upperLeft == "FILEEXISTS" || upperLeft == "FILESIZE" || upperLeft == "FILEDATE" ||
                   upperLeft == "DATE" || upperLeft == "FILETIME" || upperLeft == "TIME" ||
                   left.find('#') != std::string_view::npos;

    const std::string leftText = TranslateVariable(left);
    const double leftNumber = ScriptNumber(leftText);
    const std::string rightText = !right.empty() && right[0] == '[' ? TranslateValues(right) : std::string(right);
    const double rightNumber = ScriptNumber(rightText);
    if (leftNumber != 0 || rightNumber != 0) numeric = true;

    int c;
    if (numeric) {
        c = leftNumber < rightNumber ? -1 : (leftNumber > rightNumber ? 1 : 0);
    } else {
        c = CompareText(Cut(leftText, kScriptValueTextSize), Cut(rightText, kScriptValueTextSize), true);
    }
    const std::string o = ClipRight(op);
    if (o == "=") return c == 0;
    if (o == "<=") return c <= 0;
    if (o == "<") return c < 0;
    if (o == "=>") return c >= 0;
    if (o == ">") return c > 0;
    if (o == "<>") return c != 0;
    return 0;
}

}  // namespace kr
