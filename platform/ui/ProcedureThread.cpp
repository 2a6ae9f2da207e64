#include "platform/ui/ProcedureThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/runtime/ProcedureContext.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/Requests.h"

namespace kr {

namespace {

struct ThreadRecord {
    int number = 0;
    std::string procedure;
    std::vector<QWidget*> windows;  // [0] is the thread's own window
    bool ending = false;
};

// All state lives on the GUI thread; the mutex lets Post read it from others.
std::recursive_mutex g_m;
std::map<int, ThreadRecord> g_threads;
std::unordered_map<const QObject*, int> g_windowThread;
std::map<std::string, Procedure> g_procedures;       // by upper-cased name
std::map<std::string, int> g_instances;              // single-instance names, upper-cased
std::map<int, std::function<void(int)>> g_endHooks;  // by id, in registration order
int g_nextHookId = 1;

bool OnGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void EndThread(int number);

// Whether a window lies inside another one (a dialog stacked on it, or one
// stacked on such a dialog). Only the inner window is dereferenced: the outer
// one may be in the middle of its destruction.
bool IsInside(const QWidget* inner, const QWidget* outer) {
    for (const QWidget* p = inner ? inner->parentWidget() : nullptr; p; p = p->parentWidget())
        if (p == outer) return true;
    return false;
}

}  // namespace

void DetachWindow(QWidget* window) {
    int ended = 0;
    {
        std::lock_guard<std::recursive_mutex> l(g_m);
        auto w = g_windowThread.find(window);
        if (w == g_windowThread.end()) return;
        int number = w->second;
        g_windowThread.erase(w);
        auto t = g_threads.find(number);
        if (t == g_threads.end()) return;
        auto& ws = t->second.windows;
        bool own = !ws.empty() && ws.front() == window;
        ws.erase(std::remove(ws.begin(), ws.end(), window), ws.end());
        if (own) {
            // Qt reports a window destroyed before its children: the windows
            // stacked on it as its dialogs are still listed and go with it.
            // A window that is not inside it (one opened on the thread while
            // it was closing) outlives it; the first of them becomes the
            // thread's own window and the thread goes on.
            std::vector<QWidget*> staying;
            for (QWidget* s : ws) {
                if (IsInside(s, window))
                    g_windowThread.erase(s);
                else
                    staying.push_back(s);
            }
            ws = std::move(staying);
            if (ws.empty()) ended = number;
        }
    }
    if (ended) EndThread(ended);
}

namespace {

void EndThread(int number) {
    {
        std::lock_guard<std::recursive_mutex> l(g_m);
        auto t = g_threads.find(number);
        if (t == g_threads.end() || t->second.ending) return;
        t->second.ending = true;
        // The thread ends once no window of it stays (or when it opened
        // none); a window still listed would lose its thread here.
        for (QWidget* w : t->second.windows) g_windowThread.erase(w);
        t->second.windows.clear();
        for (auto i = g_instances.begin(); i != g_instances.end();)
            i = i->second == number ? g_instances.erase(i) : std::next(i);
    }
    std::vector<std::function<void(int)>> hooks;
    {
        std::lock_guard<std::recursive_mutex> l(g_m);
        for (auto& h : g_endHooks) hooks.push_back(h.second);
    }
    {
        ProcedureThreadScope scope(number);
        for (auto& h : hooks) h(number);
    }
    ForgetRequestGlobals(number);
    std::lock_guard<std::recursive_mutex> l(g_m);
    g_threads.erase(number);
}

ThreadRecord& EnsureThread(int number, const std::string& procedure) {
    auto [it, added] = g_threads.try_emplace(number);
    if (added) {
        it->second.number = number;
        it->second.procedure = procedure;
    }
    return it->second;
}

}  // namespace

void RegisterProcedure(const std::string& name, Procedure procedure) {
    std::lock_guard<std::recursive_mutex> l(g_m);
    g_procedures[Upper(Trim(name))] = std::move(procedure);
}

bool IsProcedureRegistered(const std::string& name) {
    std::lock_guard<std::recursive_mutex> l(g_m);
    return g_procedures.count(Upper(Trim(name))) > 0;
}

int Start(const std::string& name, int stack) {
    Procedure p;
    {
        std::lock_guard<std::recursive_mutex> l(g_m);
        auto i = g_procedures.find(Upper(Trim(name)));
        if (i == g_procedures.end()) return 0;
        p = i->second;
    }
    return Start(name, std::move(p), stack);
}

int Start(const std::string& name, Procedure procedure, int stack) {
    (void)stack;
    if (!procedure || !OnGuiThread()) return 0;
    int number = NewProcedureThreadNumber();
    {
        std::lock_guard<std::recursive_mutex> l(g_m);
        EnsureThread(number, name);
    }
    {
        ProcedureThreadScope scope(number);
        procedure();
    }
    bool windowless = false;
    {
        std::lock_guard<std::recursive_mutex> l(g_m);
        auto t = g_threads.find(number);
        windowless = t != g_threads.end() && t->second.windows.empty();
    }
    if (windowless) EndThread(number);
    return number;
}

bool IsThreadLive(int thread) {
    std::lock_guard<std::recursive_mutex> l(g_m);
    auto t = g_threads.find(thread);
    return t != g_threads.end() && !t->second.ending;
}

std::vector<int> LiveThreads() {
    std::lock_guard<std::recursive_mutex> l(g_m);
    std::vector<int> out;
    for (auto& [n, t] : g_threads)
        if (!t.ending) out.push_back(n);
    return out;
}

bool ThreadInfo(int thread, ProcedureThreadInfo* info) {
    std::lock_guard<std::recursive_mutex> l(g_m);
    auto t = g_threads.find(thread);
    if (t == g_threads.end() || t->second.ending) return false;
    if (info) {
        info->number = t->second.number;
        info->procedure = t->second.procedure;
        info->window = t->second.windows.empty() ? nullptr : t->second.windows.front();
        info->topWindow = t->second.windows.empty() ? nullptr : t->second.windows.back();
    }
    return true;
}

void ReleaseStackedWindow(QWidget* window) {
    std::lock_guard<std::recursive_mutex> l(g_m);
    auto w = g_windowThread.find(window);
    if (w == g_windowThread.end()) return;
    auto t = g_threads.find(w->second);
    if (t == g_threads.end()) return;
    auto& ws = t->second.windows;
    if (ws.empty() || ws.front() == window) return;
    ws.erase(std::remove(ws.begin(), ws.end(), window), ws.end());
    g_windowThread.erase(w);
}

void AttachWindow(QWidget* window, const std::string& procedure) {
    if (!window) return;
    int number = CurrentProcedureThread();
    {
        std::lock_guard<std::recursive_mutex> l(g_m);
        if (g_windowThread.count(window)) return;
        ThreadRecord& t = EnsureThread(number, procedure);
        if (t.ending) return;
        t.windows.push_back(window);
        g_windowThread[window] = number;
    }
    QObject::connect(window, &QObject::destroyed, [window] { DetachWindow(window); });
}

int ThreadOfObject(const QObject* object) {
    if (!object || !OnGuiThread()) return 0;
    std::lock_guard<std::recursive_mutex> l(g_m);
    if (g_windowThread.empty()) return 0;
    // Walk up to the nearest widget, then through its windows (a popup menu or
    // a message box over a window belongs to that window's thread).
    const QObject* o = object;
    for (int depth = 0; o && depth < 256; ++depth) {
        auto i = g_windowThread.find(o);
        if (i != g_windowThread.end()) return i->second;
        if (o->isWidgetType()) {
            const QWidget* w = static_cast<const QWidget*>(o);
            const QWidget* top = w->window();
            if (top != w) {
                o = top;
                continue;
            }
            o = w->parentWidget();
        } else {
            o = o->parent();
        }
    }
    return 0;
}

QWidget* TopWindowOf(int thread) {
    std::lock_guard<std::recursive_mutex> l(g_m);
    auto t = g_threads.find(thread);
    if (t == g_threads.end() || t->second.ending || t->second.windows.empty()) return nullptr;
    return t->second.windows.back();
}

std::vector<QWidget*> WindowsOf(int thread) {
    std::lock_guard<std::recursive_mutex> l(g_m);
    auto t = g_threads.find(thread);
    if (t == g_threads.end() || t->second.ending) return {};
    return {t->second.windows.begin(), t->second.windows.end()};
}

bool PostToWindow(QWidget* window, int event) {
    if (!window || event < 1 || event > kMaxUserEvent) return false;
    QCoreApplication::postEvent(window, new QEvent(QEvent::Type(QEvent::User + event)));
    return true;
}

bool Post(int event, int thread) {
    // The lock keeps the window alive until the event is queued: a window
    // being destroyed waits here before it leaves the registry, and Qt drops
    // the events of an object it destroys.
    std::lock_guard<std::recursive_mutex> l(g_m);
    auto t = g_threads.find(thread);
    if (t == g_threads.end() || t->second.ending || t->second.windows.empty()) return false;
    return PostToWindow(t->second.windows.back(), event);
}

bool Post(int event) { return Post(event, CurrentProcedureThread()); }

int AddThreadEndHook(std::function<void(int thread)> hook) {
    std::lock_guard<std::recursive_mutex> l(g_m);
    int id = g_nextHookId++;
    g_endHooks[id] = std::move(hook);
    return id;
}

void RemoveThreadEndHook(int id) {
    std::lock_guard<std::recursive_mutex> l(g_m);
    g_endHooks.erase(id);
}

bool RegisterInstance(const std::string& procedure) {
    std::string key = Upper(Trim(procedure));
    int holder = 0;
    {
        std::lock_guard<std::recursive_mutex> l(g_m);
        auto i = g_instances.find(key);
        if (i != g_instances.end() && IsThreadLive(i->second) && i->second != CurrentProcedureThread())
            holder = i->second;
        else
            g_instances[key] = CurrentProcedureThread();
    }
    if (holder) {
        Post(kEventAlreadyOpen, holder);
        return false;
    }
    return true;
}

void UnregisterInstance(const std::string& procedure) {
    std::lock_guard<std::recursive_mutex> l(g_m);
    auto i = g_instances.find(Upper(Trim(procedure)));
    if (i != g_instances.end() && i->second == CurrentProcedureThread()) g_instances.erase(i);
}

int InstanceThread(const std::string& procedure) {
    std::lock_guard<std::recursive_mutex> l(g_m);
    auto i = g_instances.find(Upper(Trim(procedure)));
    return i == g_instances.end() ? 0 : i->second;
}

ThreadGroup::ThreadGroup() {
    hook_ = AddThreadEndHook([this](int thread) { Remove(thread); });
}

ThreadGroup::~ThreadGroup() { RemoveThreadEndHook(hook_); }

void ThreadGroup::Add(int thread) {
    std::lock_guard<std::recursive_mutex> l(g_m);
    if (std::find(threads_.begin(), threads_.end(), thread) == threads_.end()) threads_.push_back(thread);
}

void ThreadGroup::Remove(int thread) {
    std::lock_guard<std::recursive_mutex> l(g_m);
    threads_.erase(std::remove(threads_.begin(), threads_.end(), thread), threads_.end());
}

bool ThreadGroup::Contains(int thread) const {
    std::lock_guard<std::recursive_mutex> l(g_m);
    return std::find(threads_.begin(), threads_.end(), thread) != threads_.end();
}

std::vector<int> ThreadGroup::Threads() const {
    std::lock_guard<std::recursive_mutex> l(g_m);
    return threads_;
}

void ThreadGroup::PostToAll(int event) const {
    for (int t : Threads()) Post(event, t);
}

}  // namespace kr
