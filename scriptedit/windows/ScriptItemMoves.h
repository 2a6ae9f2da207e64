// What every list of script items shares (a task's script list, a template's
// items in the template form): the four move buttons and their moves of the
// highlighted item, and the item form run so that a new item lands after
// the highlighted one and a deleted item's gap is closed.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

#include "scriptedit/ScriptSequencer.h"

class QPushButton;
class QVBoxLayout;
class QWidget;

namespace kr {
class BrowseList;
}

namespace kr::scriptedit {

// A button of a script list with its tip; Enter in the list's window does
// not press it.
QPushButton* ScriptListButton(QWidget* parent, const QString& text, const QString& tip);

class ScriptItemMoves {
public:
    explicit ScriptItemMoves(ScriptOwner owner) : sequencer_(owner) {}

    // Top, Up, Down and Bottom under each other, a stretch below.
    QVBoxLayout* Build(QWidget* parent);
    // The list of the items, and the task (or template) they belong to,
    // asked at each use. Keeps track of the highlighted item.
    void Attach(BrowseList* list, std::function<int32_t()> ownerID);

    // A move button moves the highlighted item and keeps it highlighted;
    // false for any other control.
    bool HandleAccepted(QObject* control);
    void SetEnabled(bool on);
    // The item form for the list's request; done gets its response.
    void EditItem(int request, std::function<void(int response)> done);

    QPushButton *top = nullptr, *up = nullptr, *down = nullptr, *bottom = nullptr;

private:
    int32_t BufferSequence() const;
    ScriptSequencer sequencer_;
    BrowseList* list_ = nullptr;
    std::function<int32_t()> ownerID_;
    int32_t highlighted_ = 0;
};

}  // namespace kr::scriptedit
