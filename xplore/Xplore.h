// Xplore: user-adjustable columns of a list (display-free core).
//
// A list owner declares its column table and sort orders once; Xplore keeps
// every column (AllColumns, by list field number QNOS) and the columns shown
// (DisplayColumns, in list order), builds the list format string, numbers
// the sort orders of the sortable columns (each column an ascending and a
// descending browse order), sorts on a header click with the sort mark, moves
// and resizes columns, and saves and restores the user's layout in
// ".\POSITION.INI" through IniFile.
//
// The window half (xplore/windows/XploreList.h) attaches an Xplore to a
// BrowseList's QTableView: it shows the format (widths, order, headers,
// justification) and feeds the user's header clicks, drags and resizes back.
// The header popup, filters, export, graph, properties and printing hang
// off the hooks marked for them below.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/Value.h"
#include "xplore/Filter.h"
#include "xplore/HeaderMenu.h"
#include "xplore/ListFormat.h"

namespace kr::xplore {

// One entry of an owner's column table.
struct ColumnDef {
    std::string field;        // "SCH:Date"; identifies the column
    int width = 0;            // dialog units
    std::string header;
    std::string picture;      // empty: "@S20"
    std::string description;  // "Basic - Next Date to Perform Task"
    char justify = 'L';
    bool display = true;      // in the list at start
    bool colors = false;      // four colour fields follow the value in the list row
    bool icon = false;        // an icon field follows
    bool viewField = true;
    int tab = 0;
    bool totalOk = false, graphOk = true, sortable = false;  // every list column can be graphed
    char locatorType = ' ';   // 'X': takes no part unless displayed
};

// A component of a sort order.
struct OrderComponent {
    std::string field;     // "SCH:Time"
    bool opposite = false; // sorts against the column's direction
    std::string picture;   // first character 'S' for a string
};
struct OrderDef {
    std::string column;  // the column's field
    std::vector<OrderComponent> components;
};

// The column record.
struct Column {
    std::string field, description, header, picture;
    int icon = 0;  // in AllColumns: 1 when the column is in the list
    int qnos = 0, seq = 0, col = 0;
    int32_t nfg = -1, nbg = -1, sfg = -1, sbg = -1;
    int widthDlu = 0, widthPix = 0, xPosPix = 0;
    char hjust = 'L', fjust = 'L';
    int hoffset = 0, foffset = 0;
    bool underline = false, fixed = false, border = false, resize = false, display = false;
    int ascDesc = 0;  // 0 ascending, 1 descending
    bool controlField = false, viewField = false;
    int tab = 0;
    bool totalOk = false, graphOk = false;
    int sortField = 0;  // after SyncOrders: the browse order of the ascending sort (descending + 1)
    bool sortable = false;
    char locatorType = ' ';
    bool colors = false, iconx = false;
    int maxWidth = 0;
};

struct OrderPart {
    int qnos = 0, seq = 0;
    std::string field;
    bool opposite = false;
    std::string picture;
};

// The list's look that the layout keeps besides its columns.
struct ListGeometry {
    int x = 0, y = 0, height = 0, width = 0;
    bool hscroll = true, vscroll = true;
    int lineHeight = 0;
    std::string fontName;
    int fontSize = 0;
    int32_t fontColor = -1;
    int fontStyle = 400;
};

enum class HeaderStyle { Underline, MarkHeader };  // "Underline", ">Header"

class Xplore {
public:
    Xplore();
    virtual ~Xplore();

    // Attach: the header style (">Header" or "Underline") and the INI file.
    void Attach(std::string_view headerStyle, std::string iniFile = ".\\POSITION.INI");

    // The owner's tables (base Init): numbers the list fields (QNOS) and
    // fills AllColumns, DisplayColumns and the order parts.
    void Init(const std::vector<ColumnDef>& columns, const std::vector<OrderDef>& orders = {},
              const std::vector<OrderComponent>& extraOrder = {}, bool appendExtra = false);
    // A stored format per view id (most owners: id 1).
    void AddSortOrder(int id);

    // Numbers the browse orders: for each sortable column, in table order,
    // applyOrder(n, orderText, direction) adds a browse order with that text
    // (and the list's range and filter) and returns its number; the
    // ascending one goes to SORTFIELD. Each sortable column owns two
    // consecutive orders.
    using ApplyOrderFn = std::function<int(int n, const std::string& orderText, int direction)>;
    void SyncOrders(const ApplyOrderFn& applyOrder);
    // The order text of a column in a direction: its components ("-" for a
    // component against the direction, "UPPER(...)" for strings when case
    // insensitive), then the extra order unless AppendExtra is set.
    std::string ColumnOrderText(const Column& c, int direction) const;

    // The list format string of DisplayColumns (renumbers SEQ and COL).
    std::string BuildFormat();
    // Rebuilds DisplayColumns from a format string: groups whose field
    // number is no column are skipped.
    void ParseFormat(std::string_view format);
    const std::string& CurrentFormat() const { return listFormat_; }

    // The designed format: the column table's, pictures as declared.
    const std::string& DesignedFormat() const { return designed_; }

    // The saved layout, read once when the window opens and written once
    // when it closes. A layout is used only when the saved designed format
    // equals this program's designed format (compared before the user's
    // date picture is put in, so a change of the date picture keeps the
    // layout); the user's date picture goes into the restored formats too.
    // `current` is the list's look as the window built it.
    void RestoreFormat(std::string_view section, std::string_view suffix, std::string_view dateFormat,
                       const ListGeometry& current);
    void SaveFormat(std::string_view section, std::string_view suffix, const ListGeometry& current);
    // The look read from the INI file (to apply), and the look the list had
    // before (Reset to Default).
    bool LookRestored() const { return restored_; }
    const ListGeometry& RestoredLook() const { return restoredLook_; }
    const ListGeometry& DesignedLook() const { return saved_; }
    bool restorePosition = false;

    // Sorting. A click on a list column (1-based position): false and the
    // message text when the column cannot be sorted.
    bool SortOnColumn(int listColumn, std::string* message = nullptr);
    // The browse order of the sort in force (0: none).
    int ColumnSortState() const;
    // The header as the list shows it (with the sort mark in ">Header"
    // style); underlined in "Underline" style (HeaderUnderlined).
    std::string HeaderText(int listColumn) const;
    bool HeaderUnderlined(int listColumn) const;
    // Drops the header sort ("Key Sequence" / "File Sequence").
    void ClearSort();
    int SortColumn() const { return sortColumn_; }
    void SetSortColumn(int c) { sortColumn_ = c; }
    int SortedQnos() const { return sortedQnos_; }
    char SortMark() const { return sortMark_; }

    // Moving and sizing. Moves swap a column with its neighbour (false at
    // the first, last column: the window beeps); the sort mark moves with it.
    bool MoveColumnLeft(int listColumn);
    bool MoveColumnRight(int listColumn);
    void SetColumnWidth(int listColumn, int widthDlu);
    // The columns as the list now shows them, by QNOS in list order (the
    // user dragged a column); the sort mark follows its column.
    void SetDisplayOrder(const std::vector<int>& qnosInOrder);
    // Best fit: the widest value (measured by the window) plus the extras.
    int BestFitWidth(const Column& c, int measured) const;
    // "Reset to Default": the designed format and the restore-time look.
    void ApplyFormat();

    std::vector<Column>& DisplayColumns() { return display_; }
    std::vector<Column>& AllColumns() { return all_; }
    const std::vector<OrderPart>& OrderParts() const { return orderParts_; }
    const std::string& OrigFormat() const { return origFormat_; }
    Column* DisplayColumn(int listColumn);
    const Column* ColumnByQnos(int qnos) const;

    bool caseInsensitive = true;
    std::string iniFile = ".\\POSITION.INI";
    HeaderStyle headerStyle = HeaderStyle::MarkHeader;
    char ascMark = '>', descMark = '<';
    int savedAscDesc = 0;
    int sequenceKind = 0;  // 0 key sequence, 1 file sequence (after the sequence popup)

    // The owner's option mask: which popup items and list properties exist
    // (bits in HeaderMenu.h). 0 here; every list window sets kOwnerOptions.
    uint32_t options = 0;
    bool MoveAllowed() const { return (options & 0x2000) != 0; }
    bool graphEnabled = true, previewEnabled = true, printPageEnabled = true;
    // The exports: files (in the current folder), separator, a header line,
    // and whether the file is opened afterwards.
    std::string csvFileName = "XPort.CSV", htmlFileName = "XPort.HTM";
    char exportSeparator = ',';
    bool exportHeaders = true, exportOpen = true;
    // "+Add = to Filter": the less and greater filters include the value.
    bool inclusiveCompare = false;
    // The list column (1-based) under the last right click or mouse press.
    int currentColumn = 0;
    // The list's look as it is now (scroll bars, font, line height).
    ListGeometry current;

    // The three-letter column commands on a list column: "HJL", "HJR",
    // "HJC", "HJD", "FJL", "FJR", "FJC", "FJD" (alignments), "FXD", "ULI",
    // "BDR", "RSZ" (flip the column's flag), "HSC", "VSC" (flip the scroll
    // bar of the current look), "EQL" (flip inclusiveCompare). Only the first
    // three characters count. False for any other command or no column.
    bool TakeColumnCommand(std::string_view command, int listColumn);
    // Hides a shown column (its settings go back to AllColumns); false when
    // it is the only one shown.
    bool HideColumn(int listColumn);
    // Shows a column of AllColumns (by QNOS) as the last one. Returns its
    // list column; when it is already shown, 0 and *shownAt its list column.
    int ShowColumn(int qnos, int* shownAt = nullptr);
    void SetHeader(int listColumn, std::string_view header);
    void SetColumnColors(int listColumn, int32_t nfg, int32_t nbg, int32_t sfg, int32_t sbg);
    // Columns whose field the list's table does not have (computed ones)
    // get VIEWFIELD 0: they offer no filters.
    void MarkViewFields(const std::function<bool(const std::string& field)>& isTableField);

    // The filters of the header popup: the query form behind the list's
    // filter named "Xplore".
    XploreQuery query;
    // Filter events 1074-1077 on a list column with the row's raw value of
    // its field (`text`: the field is a text field), and 1078, which clears
    // every column's filters. False when the column offers no filter.
    bool FilterOn(int event, int listColumn, const Value& value, bool text);
    std::string FilterExpression() const { return query.Expression(); }

private:
    Column FromGroup(const FormatGroup& g) const;
    FormatGroup ToGroup(const Column& c) const;

    std::vector<Column> all_, display_;
    std::vector<OrderPart> orderParts_, extraOrder_;
    bool appendExtra_ = false;
    struct Format {
        int control = 0;
        std::string format;
    };
    std::vector<Format> formats_;
    std::size_t currentFormat_ = 0;
    std::string designed_;        // built from the column table
    std::string origFormat_;      // as designed, before the date picture
    std::string designedShown_;   // the designed format with the user's date picture
    std::string listFormat_;
    ListGeometry saved_, restoredLook_;
    bool restored_ = false;
    int sortColumn_ = 0;
    // The ">Header" mark shows only once a header sort or "Reset to Default"
    // is in force: a restored sort column's rows are still in key order.
    bool markShown_ = false;
    int sortedQnos_ = 0;
    char sortMark_ = '>';
    bool savedDirectionPending_ = false;
};

}  // namespace kr::xplore
