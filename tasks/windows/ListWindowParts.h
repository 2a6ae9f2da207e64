// Pieces the task-maintenance list windows share: a list with its buttons
// under it, and a one-tab form sheet.
#pragma once

#include <QHBoxLayout>
#include <QPushButton>
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

inline QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    for (QPushButton* b : buttons) row->addWidget(b);
    row->addStretch();
    return row;
}

}  // namespace kr::tasks
