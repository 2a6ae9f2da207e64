// A list window whose tabs choose its order: one list that moves onto the
// tab on show.
#pragma once

#include <QBoxLayout>
#include <QTableView>

#include "platform/ui/BrowseList.h"
#include "xplore/windows/XploreList.h"

namespace kr::organiser {

// Puts the list on the page and returns to the tab's own order: an Xplore
// column sort is dropped and the list re-read. The caller decides whether the
// list takes the focus.
inline void ShowTabOrder(QWidget* page, QTableView* view, BrowseList& list, xplore::XploreList& xplore, int order) {
    static_cast<QBoxLayout*>(page->layout())->insertWidget(0, view);
    list.SetOrderOverride("");
    xplore.core().ClearSort();
    xplore.Show();
    list.SetSortOrder(order);
    list.ResetFromFile();
}

}  // namespace kr::organiser
