// The layout pieces list windows and their forms are made of: buttons, a
// list, a tab holding a list, the button rows under a list and at the foot
// of a window. Categories and Holidays show the whole pattern; the managers
// wire these with BrowseView, RecordFormMode and WindowTables.
#pragma once

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <QWidget>
#include <initializer_list>
#include <string_view>

#include "platform/ui/Icons.h"

namespace kr::tasks {

inline QPushButton* MakeButton(QWidget* parent, const char* text, const char* name, const char* icon = nullptr) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    if (icon) b->setIcon(IconByName(icon));
    if (std::string_view(text) == "...") b->setMaximumWidth(b->fontMetrics().horizontalAdvance("....") + 16);
    return b;
}

inline QTableView* MakeList(QWidget* parent, const char* name, const char* message) {
    auto* l = new QTableView(parent);
    l->setObjectName(name);
    l->setStatusTip(message);
    l->setSelectionBehavior(QAbstractItemView::SelectRows);
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    return l;
}

// The buttons of a list, from the left.
inline QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    for (QPushButton* b : buttons) row->addWidget(b);
    row->addStretch();
    return row;
}

// The buttons at the foot of a window, at the right (OK and Cancel, Close).
inline QHBoxLayout* FootRow(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton* b : buttons) row->addWidget(b);
    return row;
}

// A form's "&OK" (the default button) and "Cancel", made on the window and
// put at the foot of its layout.
inline void AddOkCancel(QWidget* window, QVBoxLayout* v, QPushButton*& ok, QPushButton*& cancel,
                        const char* okIcon = "OK.ICO", const char* cancelIcon = "CANCEL.ICO") {
    ok = MakeButton(window, "&OK", "ok", okIcon);
    ok->setDefault(true);
    cancel = MakeButton(window, "Cancel", "cancel", cancelIcon);
    v->addLayout(FootRow({ok, cancel}));
}

// A tab of the sheet holding a list; its buttons go under it into `layout`.
struct ListTab {
    QWidget* page = nullptr;
    QVBoxLayout* layout = nullptr;
    QTableView* list = nullptr;
};
inline ListTab AddListTab(QTabWidget* sheet, const char* title, const char* name = "list",
                          const char* message = "Browsing Records") {
    ListTab t;
    t.page = new QWidget;
    t.layout = new QVBoxLayout(t.page);
    t.list = MakeList(t.page, name, message);
    t.layout->addWidget(t.list);
    sheet->addTab(t.page, title);
    return t;
}

}  // namespace kr::tasks
