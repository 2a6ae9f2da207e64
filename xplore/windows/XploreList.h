// Xplore on a list window: shows the Xplore format on the BrowseList's
// QTableView and turns what the user does to the header into Xplore's
// operations.
//   - left click on a sortable header: sort on it (again: the other way),
//     the sort mark on the header; the list keeps its ranges and filters and
//     the highlighted record;
//   - a click on a column without a sort order: "Re-Order Option";
//   - dragging a header moves the column, the sort mark moving with it;
//   - dragging a border resizes the column, a double click on a border fits
//     it to its widest shown value;
//   - right click on the header: "Cancel|Key Sequence|File Sequence";
//   - Alt+F11 best fit of every column, Alt+F12 reset to the designed layout.
// Declared after the list (the columns of the BrowseList are matched to the
// Xplore columns by field name):
//   xplore_ = std::make_unique<XploreList>(*list_, "BrowseSchedule", "?Browse:1");
//   xplore_->core().Attach(">Header");
//   xplore_->core().Init(columnTable, orderTable);
//   xplore_->core().AddSortOrder(1);
//   xplore_->Restore(Settings().DateFormat);   // after list_->Init()
// and xplore_->Save() when the window closes (Kill).
#pragma once

#include <QObject>
#include <string>

#include "xplore/Xplore.h"

class QTableView;

namespace kr {
class BrowseList;
}

namespace kr::xplore {

class XploreList : public QObject {
public:
    XploreList(BrowseList& list, std::string procedure, std::string listLabel);
    ~XploreList() override;

    Xplore& core() { return core_; }
    BrowseList& list() { return list_; }

    // The usual set-up in one call, once the list is set up: the header
    // style, the columns (and orders), one stored format, the list's
    // orders numbered by the sortable columns, and the saved layout.
    void Start(std::string_view headerStyle, const std::vector<ColumnDef>& columns, const std::string& dateFormat,
               const std::vector<OrderDef>& orders = {});
    // Restores the saved layout and shows it. Call once the list is set up.
    void Restore(const std::string& dateFormat);
    // Saves the layout (when the window closes).
    void Save();

    // What the header does, callable by the owner too.
    bool SortOnColumn(int listColumn);  // false: the column cannot be sorted
    void BestFitColumn(int listColumn);
    void BestFitAllColumns();
    void ResetToDefault();
    void SequencePopup();
    // Shows the core's format on the list (widths, order, headers).
    void Show();
    // The list's look now.
    ListGeometry Geometry() const;
    // The BrowseList column (0-based) that shows an Xplore column; -1 none.
    int BrowseColumnOf(const Column& c) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int ListColumnOfSection(int logical) const;  // Xplore list column (1-based), 0 none
    void ReadBack();
    void ApplySort();
    void ApplyLook(const ListGeometry& g);

    BrowseList& list_;
    QTableView* view_;
    std::string procedure_, label_;
    Xplore core_;
    bool showing_ = false;
    bool restored_ = false;
};

}  // namespace kr::xplore
