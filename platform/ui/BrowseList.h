// BrowseList: the runtime's browse. A QTableView over a model that pages
// through a table with a ListQuery (platform/data/ListQuery.h), never
// reading the whole table.
//
// A list is declared in its window's Init, always the same way (see the list
// framework section of docs/platform-ui.md):
//   list_ = std::make_unique<BrowseView>(Schedule.File(), ui.list, this);
//   list_->AddColumn({"Date", "SCH:Date", "@d6b", 47});
//   list_->AddColumn({"Schedule Type", "", "@s80", 101, 'L', [](const ListRow& r) { ... }});
//   list_->AddSortOrder(Schedule_KeyDate);                  // order 1
//   list_->AddLocator("SCH:Date");
//   list_->AddSortOrder(Schedule_KeyCategory);              // order 2
//   list_->AddRange("SCH:Category", [] { return Value(CAT.Category); });
//   list_->SetFilter("(SCH:Date=SelectedDay)", "1 Day");   // on the current order
//   list_->SetInsertControl(ui.insert); ... SetUpdateProcedure(...);
//   list_->Init();                                          // first read
// and the window's TakeEvent passes events to list_->TakeEvent first.
//
// The highlighted row is the table's current record for the procedure
// thread: each change of row re-reads it into the record buffer, so PUT
// and DELETE of a form act on it.
#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractTableModel>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/data/ListQuery.h"
#include "platform/ui/PopupMenu.h"

class QAbstractButton;
class QLineEdit;
class QTableView;

namespace kr::data {
class RelationManager;
}

namespace kr {

class WindowManager;

inline constexpr int kEventRefreshList = 1090;  // the schedule changed: refill

// How a cell looks: colours 0x00BBGGRR (-1 the list's default) and an icon
// number of the list's icon list (0 none).
struct CellLook {
    int32_t normalFg = -1, normalBg = -1, selectedFg = -1, selectedBg = -1;
    int icon = 0;
};

struct BrowseColumn {
    BrowseColumn() = default;
    BrowseColumn(std::string h, std::string f, std::string p, int w = 0, char j = 'L',
                 std::function<Value(const data::ListRow&)> v = {})
        : header(std::move(h)), field(std::move(f)), picture(std::move(p)), width(w), justify(j), value(std::move(v)) {}
    std::string header;
    std::string field;    // a field of the table ("SCH:Date"); for a computed column its name or empty
    std::string picture;  // "@d6b", "@s40"; empty: the value as text
    int width = 0;        // dialog units
    char justify = 'L';   // L, R, C, D
    bool headerUnderline = false;
    char headerJustify = 0;  // L, R, C, D; 0: as the data
    bool underline = false;  // the cells underlined
    // Indents of the cells' and the header's text from their aligned side,
    // in dialog units (the list's own looks); -1 leaves the style's margins.
    int indent = -1, headerIndent = -1;
    bool border = false;  // a line at the column's right edge
    // The column's own colours, where the row's look leaves the default (-1).
    // The selected ones show on the highlighted row while the list has the
    // focus; without it the row shows the keyboard rules' grey.
    int32_t normalFg = -1, normalBg = -1, selectedFg = -1, selectedBg = -1;
    // A computed column's value (or a replacement for a field's).
    std::function<Value(const data::ListRow&)> value;
};

class BrowseModel;
class BrowseSelection;

// Owned by the window's manager (not a child of the list control).
class BrowseList : public QObject {
public:
    BrowseList(data::Table& table, QTableView* list, WindowManager* window);
    ~BrowseList() override;
    BrowseList(const BrowseList&) = delete;
    BrowseList& operator=(const BrowseList&) = delete;

    data::Table& table() const { return *table_; }
    QTableView* ListControl() const { return list_; }
    WindowManager* Window() const { return window_; }
    data::ListQuery& query() { return query_; }

    // Columns, in list order. Returns the column number (1-based).
    int AddColumn(BrowseColumn column);
    const std::vector<BrowseColumn>& Columns() const { return columns_; }
    BrowseColumn& Column(int number) { return columns_[static_cast<std::size_t>(number - 1)]; }
    void SetColumnVisible(int number, bool visible);
    // Look of each cell (colours, icon): called for every row shown.
    void SetCellLook(std::function<void(const data::ListRow&, int column, CellLook&)> look) { look_ = std::move(look); }
    // Icons by number (1-based) for CellLook::icon.
    void SetIconList(std::vector<std::string> names) { icons_ = std::move(names); }

    // Sort orders, numbered from 1 in the order added; each has its own
    // ranges, filters and locator. The added order becomes the current one,
    // so AddRange/SetFilter/AddLocator that follow belong to it.
    int AddSortOrder(const data::KeyDef* key);
    int AddSortOrder(std::string_view orderText);
    int SortOrderCount() const { return static_cast<int>(orders_.size()); }
    // Makes an order current (and the list re-reads on the next reset).
    void SetSortOrder(int number);
    int CurrentSortOrder() const { return current_; }
    // Order text of the current order, replacing its terms (a header sort).
    bool SetOrderText(std::string_view text, std::string* message = nullptr);
    // An order that stands in for the current order's terms while set (a
    // header sort), keeping its ranges, filters and locator; empty text
    // drops it.
    bool SetOrderOverride(std::string_view text, std::string* message = nullptr);
    bool HasOrderOverride() const { return !override_.empty() || fileOrder_; }
    // Record order (the order records were added) in place of the current
    // order's terms while set (a "File Sequence" choice).
    void SetFileOrderOverride(bool on) { fileOrder_ = on; }
    // Adds terms to the current order ("," joined order text).
    bool AppendOrder(std::string_view text, std::string* message = nullptr);
    void AddRange(std::string_view field, std::function<Value()> value);
    void AddRange(std::string_view field, std::function<Value()> low, std::function<Value()> high);
    void SetFilter(std::string_view expression, std::string_view name = "");
    void AddLocator(std::string_view field);
    // A related table whose fields filters may name (any child matches).
    void AddChild(data::ChildTable child);
    // The record check (the runtime's ValidateRecord).
    void SetRecordCheck(std::function<bool(const void* record)> check);

    // The buttons. Insert, change, delete call the update procedure with
    // their request; select picks the highlighted record.
    void SetInsertControl(QAbstractButton* b) { insert_ = b; }
    void SetChangeControl(QAbstractButton* b) { change_ = b; }
    void SetDeleteControl(QAbstractButton* b) { delete_ = b; }
    void SetSelectControl(QAbstractButton* b) { select_ = b; }
    // Insert, Change and Delete at once (the usual button row).
    void SetEditControls(QAbstractButton* insert, QAbstractButton* change, QAbstractButton* del) {
        insert_ = insert;
        change_ = change;
        delete_ = del;
    }
    // A further button that acts on the highlighted row (a toggle, a
    // transfer): enabled, as Change and Delete are, only while there are rows.
    void AddRowControl(QAbstractButton* b) { rowControls_.push_back(b); }
    QAbstractButton* InsertControl() const { return insert_; }
    QAbstractButton* ChangeControl() const { return change_; }
    QAbstractButton* DeleteControl() const { return delete_; }
    QAbstractButton* SelectControl() const { return select_; }
    // The form: called with the request (GlobalRequest() set too) and a
    // callback to give the response once the form has closed.
    using UpdateProcedure = std::function<void(int request, std::function<void(int response)> done)>;
    void SetUpdateProcedure(UpdateProcedure p) { update_ = std::move(p); }
    // Delete without a form: the relation manager's delete with its
    // "Confirm Delete" question.
    void SetDeleteThroughRelations(data::RelationManager* relations) { relations_ = relations; }
    // A list opened to pick a record (GlobalRequest() was select when Init ran).
    bool SelectMode() const { return selectMode_; }
    void SetSelectMode(bool on) { selectMode_ = on; }

    // Reads the first page and wires the list. 0, or the filter's error.
    virtual int Init();

    // The runtime's ResetFromFile: re-reads the list, keeping the highlighted
    // record when it still qualifies, else the same position.
    int ResetFromFile();
    // Re-applies ranges and filters (after a bound value changed) and re-reads.
    int ApplyFilterAndReset() { return ResetFromFile(); }
    // Records the list holds.
    int64_t Records() const;
    bool HasRows() const { return Records() > 0; }
    // Highlighted row (0-based, -1 none) and its row number in the table.
    int64_t Selected() const;
    void Select(int64_t index);
    int64_t SelectedRowId() const;
    // Highlights the record with that row number when it is in the list.
    bool SelectRowId(int64_t rowid);
    // The row at a position (loads its page); nullptr past the end.
    const data::ListRow* RowAt(int64_t index);
    // Loads the highlighted record into the record buffer (UpdateViewRecord).
    // A read that fails is reported through the table's file manager, once
    // for the same row and error, and gives false.
    bool UpdateViewRecord();
    // The locator: highlights the first row at or after the value (of the
    // current order's first term). An entry may serve as the locator.
    void Locate(const std::string& text);
    void SetLocatorControl(QLineEdit* entry);

    // Calls the update procedure with a request for the highlighted record
    // (or a new one). keepBuffer: an insert starts from the buffer's values
    // (a copy) instead of a cleared buffer.
    virtual void AskRecord(int request, bool keepBuffer = false);

    // The window's user events; true when taken (1090 refills).
    virtual bool TakeEvent(int event);
    // Buttons pressed (the window's TakeAccepted passes them); true when taken.
    virtual bool HandleAccepted(QObject* control);
    // Keys on the list, as the runtime's key codes (13 Enter, 5 double click,
    // 269 Shift+Enter, 45 Insert, 46 Delete); true when taken.
    virtual bool HandleKey(int keyCode);
    // Enables the buttons for the rows there are.
    virtual void UpdateButtons();
    // The popup menu the browse builds from its buttons; owners add items.
    PopupMenu& Popup() { return popup_; }
    virtual void SetPopupItems();
    // A new row was highlighted (after the buffer was loaded).
    void SetOnNewSelection(std::function<void()> fn) { onNewSelection_ = std::move(fn); }

    // Headers, justification or pictures of the columns changed: redraw.
    void ColumnsChanged();
    // The first `count` columns on show stay in place while the others
    // scroll sideways by whole columns (0: every column scrolls). The fixed
    // columns are drawn by a view of their own over the list's left edge,
    // over the same rows and selection; their header's clicks, double
    // clicks, resizes and right clicks reach the list's header, their right
    // clicks the list.
    void SetFixedColumns(int count);
    // Rows or columns highlighted by a click, in the list and in its fixed
    // view alike (a window that shows the current column selected sets
    // columns while it is open and puts the list's own back).
    void SetSelectionBehavior(QAbstractItemView::SelectionBehavior behavior);
    int FixedColumns() const { return fixedCount_; }
    QTableView* FixedView() const { return fixed_; }
    // The column (0-based) under a viewport x as shown, the fixed ones
    // first; -1 none. And the viewport x of a column's left edge.
    int ColumnAt(int x) const;
    int ColumnX(int column) const;
    // The list's font, line height, colours or grid changed.
    void LookChanged();
    // Where a cell's text goes: the cell less the column's indent on its
    // aligned side and the room of an icon (11 dialog units).
    QRect CellTextRect(int column, const QRect& cell, bool icon) const;
    // The text a cell shows (the column's value formatted with its picture).
    std::string CellText(const data::ListRow& r, int column) const;
    // The text as the cell shows it: on one line, each line break
    // character a blank.
    std::string ShownText(const data::ListRow& r, int column) const;

    int ErrorCode() const { return error_; }
    const std::string& ErrorMessage() const { return query_.Message(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class BrowseModel;
    friend class BrowseSelection;
    struct SortOrder {
        std::vector<data::OrderTerm> terms;
        struct Range {
            std::string field;
            std::function<Value()> low, high;
            bool equal;
        };
        std::vector<Range> ranges;
        std::map<std::string, std::string> filters;
        std::string locator;
    };
    void ConfigureQuery();
    void SyncFixed();
    void SnapScroll(int value);
    std::vector<int> ScrollStops() const;
    void AfterResponse(int request, int response, int64_t keepRow);
    void NewSelection();
    // Holds a use of the table's file manager for the list's procedure thread
    // while the list lives, and opens the file: a lazily opened table is
    // otherwise opened only by the first operation through its manager, and
    // the list reads its rows without one.
    void UseTable();

    data::Table* table_;
    QTableView* list_;
    WindowManager* window_;
    data::ListQuery query_;  // reconfigured from the current order on each reset
    BrowseModel* model_ = nullptr;
    std::vector<BrowseColumn> columns_;
    std::vector<std::string> icons_;
    std::function<void(const data::ListRow&, int, CellLook&)> look_;
    std::vector<SortOrder> orders_;
    std::vector<data::ChildTable> children_;
    std::function<bool(const void*)> check_;
    int current_ = 0;
    std::vector<data::OrderTerm> override_;
    bool fileOrder_ = false;
    QPointer<QAbstractButton> insert_, change_, delete_, select_;
    std::vector<QPointer<QAbstractButton>> rowControls_;
    UpdateProcedure update_;
    data::RelationManager* relations_ = nullptr;
    bool selectMode_ = false;
    bool initialised_ = false;
    int error_ = 0;
    int64_t lastRowId_ = 0;
    int thread_ = 0;  // the procedure thread whose record buffer follows the list
    bool holdsUse_ = false;  // the list counted a use of the table's manager
    int64_t failedRow_ = 0;  // the last re-read that failed, told once
    int failedCode_ = 0;
    PopupMenu popup_;
    std::function<void()> onNewSelection_;
    QTableView* fixed_ = nullptr;  // the fixed columns' view, a child of the list
    int fixedCount_ = 0;
    int lastScroll_ = 0;
    bool syncing_ = false;
    int scrollMode_ = 0;  // the list's own sideways scroll mode
};

// True while a form opened by a list for a copy (insert from the current
// record) initialises: it primes its record without clearing the buffer
// (FileManager::PrimeRecord(BufferKeptForInsert())).
bool BufferKeptForInsert();

// Dialog units (a quarter of the average character width across) and pixels.
int DluToPixels(QWidget* w, int dlu);
// The width a list column of `dlu` dialog units opens with: at least its
// heading and the widest date or time of its picture.
int ColumnPixels(QTableView* view, const BrowseColumn& c, int dlu);
int PixelsToDlu(QWidget* w, int pixels);

}  // namespace kr
