#include "platform/ui/BrowseView.h"

#include <QAbstractButton>

#include "platform/ui/Requests.h"

namespace kr {

void BrowseView::SetPopupItems() {
    BrowseList::SetPopupItems();
    if (view_) Popup().AddItemMimic("View", "&View", view_);
}

bool BrowseView::HandleAccepted(QObject* control) {
    if (control && control == view_) {
        if (HasRows()) AskRecord(kViewRecord);
        return true;
    }
    if (control && control == copy_) {
        // The form opens as a new record filled from the highlighted one.
        if (HasRows()) AskRecord(kInsertRecord, true);
        return true;
    }
    return BrowseList::HandleAccepted(control);
}

bool BrowseView::HandleKey(int keyCode) {
    if (HasRows()) {
        auto usable = [](QAbstractButton* b) { return b && b->isVisibleTo(b->window()) && b->isEnabled(); };
        if (keyCode == 13 || keyCode == 5) {
            QAbstractButton* target = nullptr;
            if (SelectMode() && usable(SelectControl())) target = SelectControl();
            else if (usable(view_)) target = view_;
            else if (usable(ChangeControl())) target = ChangeControl();
            if (target) {
                UpdateViewRecord();
                target->click();
                UpdateButtons();
                return true;
            }
        } else if (keyCode == 269 && usable(view_)) {
            UpdateViewRecord();
            view_->click();
            return true;
        }
    }
    return BrowseList::HandleKey(keyCode);
}

void BrowseView::UpdateButtons() {
    BrowseList::UpdateButtons();
    bool rows = HasRows();
    if (view_) view_->setEnabled(rows);
    if (copy_) copy_->setEnabled(rows);
}

}  // namespace kr
