// BrowseView: a BrowseList with a "View" button and, on some lists, a
// "Copy" button. A record opens read-only from the list by button, popup
// item and keyboard, and copies into a new record.
//
// Enter and a double click press, of the buttons the window has and can use,
// Select in a list opened to pick a record, else View, else Change.
// Shift+Enter presses View. View and Copy are enabled only while the list
// has rows.
#pragma once

#include "platform/ui/BrowseList.h"

namespace kr {

class BrowseView : public BrowseList {
public:
    using BrowseList::BrowseList;

    void SetViewControl(QAbstractButton* b) { view_ = b; }
    void SetCopyControl(QAbstractButton* b) { copy_ = b; }
    QAbstractButton* ViewControl() const { return view_; }
    QAbstractButton* CopyControl() const { return copy_; }

    void SetPopupItems() override;
    bool HandleAccepted(QObject* control) override;
    bool HandleKey(int keyCode) override;
    void UpdateButtons() override;

private:
    QPointer<QAbstractButton> view_, copy_;
};

}  // namespace kr
