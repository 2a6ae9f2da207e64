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
//   - Alt+F11 best fit of every column, Alt+F12 reset to the designed layout;
//   - the header popup in the list's own right-click popup (after its own
//     items): output (print, export, graph), list (reset, best fit, list
//     properties, sort), filters on the value under the mouse, the column's
//     layout and the list box's; each item posts its event (1034-1079) to
//     the list, which TakePopupCommand carries out;
//   - Alt+M the popup under the current column, Ctrl+Alt+R flips the grid.
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
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "xplore/HeaderMenu.h"
#include "xplore/Xplore.h"

class QTableView;
class QWidget;

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

    // The header popup. Its items (named as in HeaderMenu.h) join the list's
    // own popup when the layout is restored; PreparePopup sets their texts
    // and states for a list column (1-based) and the highlighted row.
    void PreparePopup(int listColumn);
    const std::vector<MenuItem>& Menu() const { return menu_; }
    // Carries out a popup item's event (1034-1079); false for other events.
    bool TakePopupCommand(int event);
    // The core's filters as the list's filter "Xplore" on every order of the
    // list, then the list re-reads.
    void ApplyFilters();
    // The exports of every row of the list's order and filter, under
    // "Progress...", then OpenExportFile. done(true) once the file is written.
    void ExportCsv(std::function<void(bool)> done = {});
    void ExportHtml(std::function<void(bool)> done = {});
    // Opens an export with the desktop's program for it when exportOpen is
    // set; a failure is shown with its code.
    void OpenExportFile(const std::string& file);
    // The small windows (each applies every change at once, and closes with
    // its close button): "WID", "HOS", "DOS", "XPS", "YPS", "BWI", "BHI",
    // "LHI"; the header text; the column's colours; the list properties.
    void EditAttribute(const std::string& name);
    void EditHeaderText();
    void ColumnColors();
    void ListProperties();
    void ChooseFont();
    // Flips the list's grid lines (Ctrl+Alt+R).
    void ToggleListProperty();
    // The popup under the current column (Alt+M).
    void PopupAtColumn();
    // The window's image onto the clipboard.
    void PressKey();
    // Column operations on the current column, shown at once.
    void HideColumn();
    void MoveColumn(bool right);
    // The list's look, as the list properties and the popup change it.
    void ApplyCurrentLook();
    // The window of the last EditAttribute, EditHeaderText, ColumnColors or
    // ListProperties while it is open.
    QWidget* OpenWindow() const { return window_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int ListColumnOfSection(int logical) const;  // Xplore list column (1-based), 0 none
    void ReadBack();
    void ApplySort();
    void ApplyLook(const ListGeometry& g);
    void BuildPopup();
    void Export(bool html, std::function<void(bool)> done);
    int ColumnAtX(int x) const;  // the list column (1-based) at a viewport x; 0 none

    BrowseList& list_;
    QTableView* view_;
    std::string procedure_, label_;
    Xplore core_;
    bool showing_ = false;
    bool restored_ = false;
    std::vector<MenuItem> menu_;
    QPointer<QWidget> window_;
};

}  // namespace kr::xplore
