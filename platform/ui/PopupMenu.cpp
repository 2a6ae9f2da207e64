#include "platform/ui/PopupMenu.h"

#include <QAbstractButton>
#include <QAction>
#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <mutex>

#include "platform/runtime/Strings.h"
#include "platform/ui/Icons.h"
#include "platform/ui/ProcedureThread.h"

namespace kr {

namespace {

std::mutex g_m;
PopupResponder g_responder;

PopupResponder CurrentResponder() {
    std::lock_guard<std::mutex> l(g_m);
    return g_responder;
}

// Reads the "~", "+" and "-" marks in front of an item's text.
void ApplyMarks(std::string_view token, PopupItem* item) {
    std::size_t i = 0;
    while (i < token.size()) {
        if (token[i] == '~') {
            item->enabled = false;
        } else if (token[i] == '+') {
            item->checkable = item->checked = true;
        } else if (token[i] == '-' && i + 1 < token.size()) {
            item->checkable = true;
            item->checked = false;
        } else {
            break;
        }
        ++i;
    }
    item->text = std::string(token.substr(i));
}

void Number(std::vector<PopupItem>& items, int& next) {
    for (PopupItem& it : items) {
        if (it.separator) continue;
        if (!it.children.empty())
            Number(it.children, next);
        else
            it.number = next++;
    }
}

const PopupItem* FindNumber(const std::vector<PopupItem>& items, int number, bool parentsEnabled = true) {
    for (const PopupItem& it : items) {
        if (!it.children.empty()) {
            if (const PopupItem* f = FindNumber(it.children, number, parentsEnabled && it.enabled)) return f;
        } else if (!it.separator && it.number == number) {
            return parentsEnabled ? &it : nullptr;
        }
    }
    return nullptr;
}

void FillMenu(QMenu* menu, const std::vector<PopupItem>& items) {
    for (const PopupItem& it : items) {
        if (it.separator) {
            menu->addSeparator();
        } else if (!it.children.empty()) {
            QMenu* sub = menu->addMenu(QString::fromStdString(it.text));
            sub->setEnabled(it.enabled);
            FillMenu(sub, it.children);
        } else {
            QAction* a = menu->addAction(QString::fromStdString(it.text));
            a->setEnabled(it.enabled);
            a->setCheckable(it.checkable);
            a->setChecked(it.checked);
            a->setData(it.number);
        }
    }
}

// Shows the items and returns the chosen number (0 for none), asking the test
// responder when one is installed.
int Choose(const std::vector<PopupItem>& items, std::optional<QPoint> at, QWidget* parent) {
    if (PopupResponder r = CurrentResponder()) {
        int n = r(items);
        const PopupItem* it = n > 0 ? FindNumber(items, n) : nullptr;
        return it && it->enabled ? n : 0;
    }
    QMenu menu(parent);
    FillMenu(&menu, items);
    QAction* chosen = menu.exec(at ? *at : QCursor::pos());
    return chosen ? chosen->data().toInt() : 0;
}

}  // namespace

std::vector<PopupItem> ParsePopup(std::string_view text) {
    std::vector<PopupItem> top;
    std::vector<std::vector<PopupItem>*> stack{&top};
    std::string token;
    auto finish = [&] {
        if (token.empty()) return;
        PopupItem item;
        if (token == "-")
            item.separator = true;
        else
            ApplyMarks(token, &item);
        stack.back()->push_back(std::move(item));
        token.clear();
    };
    for (char c : text) {
        if (c == '|') {
            finish();
        } else if (c == '{') {
            PopupItem header;
            ApplyMarks(token, &header);
            token.clear();
            stack.back()->push_back(std::move(header));
            stack.push_back(&stack.back()->back().children);
        } else if (c == '}') {
            finish();
            if (stack.size() > 1) stack.pop_back();
        } else {
            token += c;
        }
    }
    finish();
    int next = 1;
    Number(top, next);
    return top;
}

void InstallPopupResponder(PopupResponder responder) {
    std::lock_guard<std::mutex> l(g_m);
    g_responder = std::move(responder);
}

int Popup(std::string_view text, std::optional<QPoint> at, QWidget* parent) {
    return Choose(ParsePopup(text), at, parent);
}

struct PopupMenu::Entry {
    std::string name;
    PopupItem item;
    std::string icon;
    QPointer<QAbstractButton> mimic;
    std::function<void()> action;
    int event = 0;
    QPointer<QWidget> eventWindow;
    std::vector<std::unique_ptr<Entry>> children;
};

PopupMenu::PopupMenu() = default;
PopupMenu::~PopupMenu() = default;

void PopupMenu::AddItem(const std::string& name, const std::string& text, const std::string& icon) {
    if (text == "-") {
        AddSeparator(name);
        return;
    }
    auto e = std::make_unique<Entry>();
    e->name = name;
    e->item.name = name;
    ApplyMarks(text, &e->item);
    e->icon = icon;
    entries_.push_back(std::move(e));
}

void PopupMenu::AddSeparator(const std::string& name) {
    auto e = std::make_unique<Entry>();
    e->name = name;
    e->item.name = name;
    e->item.separator = true;
    e->item.text = "-";
    entries_.push_back(std::move(e));
}

void PopupMenu::AddItemMimic(const std::string& name, const std::string& text, QAbstractButton* button) {
    AddItem(name, text);
    entries_.back()->mimic = button;
}

void PopupMenu::AddItemAction(const std::string& name, const std::string& text, std::function<void()> action) {
    AddItem(name, text);
    entries_.back()->action = std::move(action);
}

void PopupMenu::AddItemEvent(const std::string& name, const std::string& text, int event, QWidget* window) {
    AddItem(name, text);
    entries_.back()->event = event;
    entries_.back()->eventWindow = window;
}

void PopupMenu::AddSubMenu(const std::string& name, const std::string& text, std::string_view items) {
    AddItem(name, text);
    Entry* header = entries_.back().get();
    std::function<void(Entry*, const std::vector<PopupItem>&, int&)> add = [&](Entry* parent,
                                                                             const std::vector<PopupItem>& list,
                                                                             int& n) {
        for (const PopupItem& it : list) {
            auto e = std::make_unique<Entry>();
            e->item = it;
            e->item.children.clear();
            if (!it.separator && it.children.empty()) e->name = name + IntToText(++n);
            e->item.name = e->name;
            Entry* raw = e.get();
            parent->children.push_back(std::move(e));
            if (!it.children.empty()) add(raw, it.children, n);
        }
    };
    int n = 0;
    add(header, ParsePopup(items), n);
}

void PopupMenu::AddSubMenuHeader(const std::string& name, const std::string& text, const std::string& parent) {
    Entry* into = parent.empty() ? nullptr : Find(parent);
    AddItem(name, text);
    if (!into) return;
    into->children.push_back(std::move(entries_.back()));
    entries_.pop_back();
}

void PopupMenu::AddItemEventIn(const std::string& parent, const std::string& name, const std::string& text,
                               int event, QWidget* window) {
    AddItemEvent(name, text, event, window);
    if (Entry* into = Find(parent); into && into != entries_.back().get()) {
        into->children.push_back(std::move(entries_.back()));
        entries_.pop_back();
    }
}

void PopupMenu::AddSeparatorIn(const std::string& parent, const std::string& name) {
    AddSeparator(name);
    if (Entry* into = Find(parent)) {
        into->children.push_back(std::move(entries_.back()));
        entries_.pop_back();
    }
}

PopupMenu::Entry* PopupMenu::Find(const std::string& name) const {
    std::function<Entry*(const std::vector<std::unique_ptr<Entry>>&)> find =
        [&](const std::vector<std::unique_ptr<Entry>>& list) -> Entry* {
        for (const auto& e : list) {
            if (!e->name.empty() && EqualNoCase(e->name, name)) return e.get();
            if (Entry* f = find(e->children)) return f;
        }
        return nullptr;
    };
    return name.empty() ? nullptr : find(entries_);
}

void PopupMenu::DeleteItem(const std::string& name) {
    std::function<bool(std::vector<std::unique_ptr<Entry>>&)> erase = [&](std::vector<std::unique_ptr<Entry>>& list) {
        for (auto i = list.begin(); i != list.end(); ++i) {
            if (!(*i)->name.empty() && EqualNoCase((*i)->name, name)) {
                list.erase(i);
                return true;
            }
            if (erase((*i)->children)) return true;
        }
        return false;
    };
    erase(entries_);
}

void PopupMenu::Clear() { entries_.clear(); }

bool PopupMenu::HasItem(const std::string& name) const { return Find(name) != nullptr; }

void PopupMenu::SetItemEnable(const std::string& name, bool enabled) {
    if (Entry* e = Find(name)) e->item.enabled = enabled;
}

bool PopupMenu::ItemEnabled(const std::string& name) const {
    Entry* e = Find(name);
    if (!e) return false;
    if (e->mimic) return e->item.enabled && e->mimic->isEnabled() && !e->mimic->isHidden();
    return e->item.enabled;
}

void PopupMenu::SetItemCheck(const std::string& name, bool checked) {
    if (Entry* e = Find(name)) {
        e->item.checkable = true;
        e->item.checked = checked;
    }
}

bool PopupMenu::ItemChecked(const std::string& name) const {
    Entry* e = Find(name);
    return e && e->item.checked;
}

void PopupMenu::SetText(const std::string& name, const std::string& text) {
    if (Entry* e = Find(name)) e->item.text = text;
}

std::string PopupMenu::Text(const std::string& name) const {
    Entry* e = Find(name);
    return e ? e->item.text : std::string();
}

std::vector<std::string> PopupMenu::ItemNames() const {
    std::vector<std::string> out;
    std::function<void(const std::vector<std::unique_ptr<Entry>>&)> walk = [&](const auto& list) {
        for (const auto& e : list) {
            if (!e->name.empty()) out.push_back(e->name);
            walk(e->children);
        }
    };
    walk(entries_);
    return out;
}

std::vector<PopupItem> PopupMenu::Items() const {
    int next = 1;
    std::function<std::vector<PopupItem>(const std::vector<std::unique_ptr<Entry>>&)> build =
        [&](const std::vector<std::unique_ptr<Entry>>& list) {
            std::vector<PopupItem> out;
            for (const auto& e : list) {
                PopupItem it = e->item;
                it.name = e->name;
                if (e->mimic) it.enabled = it.enabled && e->mimic->isEnabled() && !e->mimic->isHidden();
                if (!e->children.empty()) {
                    it.children = build(e->children);
                } else if (!it.separator) {
                    it.number = next++;
                }
                out.push_back(std::move(it));
            }
            return out;
        };
    return build(entries_);
}

std::string PopupMenu::Ask(std::optional<QPoint> at, QWidget* parent) {
    std::vector<PopupItem> items = Items();
    int n = 0;
    if (PopupResponder r = CurrentResponder()) {
        n = Choose(items, at, parent);
    } else {
        QMenu menu(parent);
        std::function<void(QMenu*, const std::vector<PopupItem>&, const std::vector<std::unique_ptr<Entry>>&)> fill =
            [&](QMenu* m, const std::vector<PopupItem>& list, const std::vector<std::unique_ptr<Entry>>& entries) {
                for (std::size_t i = 0; i < list.size(); ++i) {
                    const PopupItem& it = list[i];
                    if (it.separator) {
                        m->addSeparator();
                    } else if (!it.children.empty()) {
                        QMenu* sub = m->addMenu(QString::fromStdString(it.text));
                        sub->setEnabled(it.enabled);
                        fill(sub, it.children, entries[i]->children);
                    } else {
                        QAction* a = m->addAction(IconByName(entries[i]->icon), QString::fromStdString(it.text));
                        a->setEnabled(it.enabled);
                        a->setCheckable(it.checkable);
                        a->setChecked(it.checked);
                        a->setData(it.number);
                    }
                }
            };
        fill(&menu, items, entries_);
        QAction* chosen = menu.exec(at ? *at : QCursor::pos());
        n = chosen ? chosen->data().toInt() : 0;
    }
    if (n <= 0) return {};
    // Map the number back to its entry.
    Entry* hit = nullptr;
    std::function<void(const std::vector<PopupItem>&, const std::vector<std::unique_ptr<Entry>>&)> find =
        [&](const std::vector<PopupItem>& list, const std::vector<std::unique_ptr<Entry>>& entries) {
            for (std::size_t i = 0; i < list.size() && !hit; ++i) {
                if (!list[i].children.empty())
                    find(list[i].children, entries[i]->children);
                else if (!list[i].separator && list[i].number == n)
                    hit = entries[i].get();
            }
        };
    find(items, entries_);
    if (!hit) return {};
    std::string name = hit->name;
    if (hit->mimic && hit->mimic->isEnabled()) {
        hit->mimic->click();
    } else if (hit->action) {
        auto action = hit->action;  // may delete this menu
        action();
    } else if (hit->event && hit->eventWindow) {
        PostToWindow(hit->eventWindow, hit->event);
    }
    return name;
}

}  // namespace kr
