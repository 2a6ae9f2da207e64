#include "scriptedit/windows/ScriptItemMoves.h"

#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "dictionary/Dictionary.h"
#include "platform/ui/BrowseList.h"
#include "platform/ui/Requests.h"
#include "scriptedit/windows/ScriptWindows.h"

namespace kr::scriptedit {

QPushButton* ScriptListButton(QWidget* parent, const QString& text, const QString& tip) {
    auto* b = new QPushButton(text, parent);
    b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}

QVBoxLayout* ScriptItemMoves::Build(QWidget* parent) {
    auto* moves = new QVBoxLayout;
    top = ScriptListButton(parent, "Top", "Move record to the top");
    up = ScriptListButton(parent, "Up", "Move record up one");
    down = ScriptListButton(parent, "Down", "Move record down one");
    bottom = ScriptListButton(parent, "Bottom", "Move record to the bottom");
    for (QPushButton* b : {top, up, down, bottom}) moves->addWidget(b);
    moves->addStretch();
    return moves;
}

void ScriptItemMoves::Attach(BrowseList* list, std::function<int32_t()> ownerID) {
    list_ = list;
    ownerID_ = std::move(ownerID);
    list_->SetOnNewSelection([this] { highlighted_ = BufferSequence(); });
}

int32_t ScriptItemMoves::BufferSequence() const {
    return sequencer_.owner() == ScriptOwner::Task ? Scripting_File().rec().Sequence
                                                   : ScriptTemplateDetails_File().rec().Sequence;
}

bool ScriptItemMoves::HandleAccepted(QObject* c) {
    if (!c || (c != top && c != up && c != down && c != bottom)) return false;
    if (!list_->UpdateViewRecord()) return true;
    const int64_t row = list_->SelectedRowId();
    const int32_t owner = ownerID_();
    const int32_t at = BufferSequence();
    sequencer_.Move(c == up     ? ScriptSequencer::kUp
                    : c == down ? ScriptSequencer::kDown
                    : c == top  ? ScriptSequencer::kToTop
                                : ScriptSequencer::kToBottom,
                    owner, at);
    list_->ResetFromFile();
    list_->SelectRowId(row);
    list_->ListControl()->setFocus();
    return true;
}

void ScriptItemMoves::SetEnabled(bool on) {
    for (QPushButton* b : {top, up, down, bottom}) b->setEnabled(on);
}

void ScriptItemMoves::EditItem(int request, std::function<void(int)> done) {
    if (request == kInsertRecord) sequencer_.insertAfter = list_->HasRows() ? highlighted_ : 0;
    if (request == kDeleteRecord) sequencer_.renumberStart = BufferSequence();
    GlobalRequest() = request;
    UpdateScripting(
        [this, request, done](int response) {
            const int32_t owner = ownerID_();
            // The new item is numbered last. The buffer is no witness: the
            // window the form returns to may have reloaded another item.
            if (response == kRequestCompleted && request == kInsertRecord) {
                const std::vector<int32_t> numbers = ScriptItemNumbers(owner, sequencer_.owner());
                if (!numbers.empty()) sequencer_.MoveAfter(owner, numbers.back());
            }
            if (response == kRequestCompleted && request == kDeleteRecord) sequencer_.Renumber(owner);
            sequencer_.insertAfter = sequencer_.renumberStart = 0;
            if (done) done(response);
        },
        sequencer_.owner());
}

}  // namespace kr::scriptedit
