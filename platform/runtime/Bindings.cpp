// The BIND list and the per-procedure-thread current set.
#include <unordered_map>
#include <vector>

#include "platform/runtime/Expression.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/runtime/Strings.h"

namespace kr {

void Bindings::Bind(std::string name, std::function<Value()> getter) {
    auto fn = std::make_shared<const std::function<Value()>>(std::move(getter));
    std::lock_guard<std::mutex> l(m_);
    names_[Upper(Trim(name))] = std::move(fn);
}

void Bindings::BindValue(std::string name, Value value) {
    Bind(std::move(name), [v = std::move(value)] { return v; });
}

void Bindings::Unbind(const std::string& name) {
    std::lock_guard<std::mutex> l(m_);
    names_.erase(Upper(Trim(name)));
}

void Bindings::Clear() {
    std::lock_guard<std::mutex> l(m_);
    names_.clear();
}

std::shared_ptr<const std::function<Value()>> Bindings::find(const std::string& key) const {
    for (const Bindings* b = this; b; b = b->parent_) {
        std::lock_guard<std::mutex> l(b->m_);
        auto it = b->names_.find(key);
        if (it != b->names_.end()) return it->second;
    }
    return nullptr;
}

bool Bindings::Has(const std::string& name) const { return find(Upper(Trim(name))) != nullptr; }

namespace {

// Whether Upper(Trim(name)) is the name itself: no blank at either end and
// no letter toupper changes (bytes beyond ASCII are left to the full path).
bool Normalised(const std::string& name) {
    if (!name.empty() && (name.front() == ' ' || name.back() == ' ')) return false;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || u >= 0x80) return false;
    }
    return true;
}

}  // namespace

std::optional<Value> Bindings::Get(const std::string& name) const {
    // The getter runs outside every lock: it may read other bindings or
    // evaluate an expression itself.
    // Names from a compiled expression are upper case and trimmed already:
    // looked up as they are, without a normalised copy per evaluation.
    auto fn = Normalised(name) ? find(name) : find(Upper(Trim(name)));
    if (!fn || !*fn) return std::nullopt;
    return (*fn)();
}

namespace {

struct ThreadBindings {
    std::unique_ptr<Bindings> base = std::make_unique<Bindings>();
    std::vector<Bindings*> pushed;  // BindingsScope stack, innermost last
};

std::mutex g_threadsMutex;
std::unordered_map<int, ThreadBindings>& Threads() {
    static std::unordered_map<int, ThreadBindings> threads;
    return threads;
}

}  // namespace

Bindings& CurrentBindings() {
    std::lock_guard<std::mutex> l(g_threadsMutex);
    ThreadBindings& t = Threads()[CurrentProcedureThread()];
    return t.pushed.empty() ? *t.base : *t.pushed.back();
}

void DropBindings(int procedureThread) {
    std::lock_guard<std::mutex> l(g_threadsMutex);
    Threads().erase(procedureThread);
}

BindingsScope::BindingsScope(Bindings& bindings) : thread_(CurrentProcedureThread()), pushed_(nullptr) {
    std::lock_guard<std::mutex> l(g_threadsMutex);
    Threads()[thread_].pushed.push_back(&bindings);
    pushed_ = &bindings;
}

BindingsScope::~BindingsScope() {
    std::lock_guard<std::mutex> l(g_threadsMutex);
    auto& pushed = Threads()[thread_].pushed;
    // Scopes end in reverse order; tolerate an out-of-order end by removing
    // exactly this scope's entry.
    for (auto it = pushed.rbegin(); it != pushed.rend(); ++it) {
        if (*it == pushed_) {
            pushed.erase(std::next(it).base());
            break;
        }
    }
}

}  // namespace kr
