#include "xplore/windows/XploreList.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTableView>

#include <algorithm>

#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/BrowseList.h"
#include "platform/ui/PopupMenu.h"
#include "xplore/windows/GraphWindow.h"

namespace kr::xplore {

XploreList::XploreList(BrowseList& list, std::string procedure, std::string listLabel)
    : list_(list), view_(list.ListControl()), procedure_(std::move(procedure)), label_(std::move(listLabel)) {
    QHeaderView* h = view_->horizontalHeader();
    h->setSectionsMovable(true);
    h->setSectionsClickable(true);
    h->setSectionResizeMode(QHeaderView::Interactive);
    h->setContextMenuPolicy(Qt::CustomContextMenu);
    // A double click on a border fits the column our way, not the view's.
    QObject::disconnect(h, &QHeaderView::sectionHandleDoubleClicked, view_, nullptr);
    connect(h, &QHeaderView::sectionHandleDoubleClicked, this, [this](int logical) {
        if (int lc = ListColumnOfSection(logical)) BestFitColumn(lc);
    });
    connect(h, &QHeaderView::sectionClicked, this, [this](int logical) {
        if (int lc = ListColumnOfSection(logical)) SortOnColumn(lc);
    });
    connect(h, &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        if (showing_) return;
        if (int lc = ListColumnOfSection(logical)) core_.SetColumnWidth(lc, PixelsToDlu(view_, size));
    });
    // A header dragged sideways and dropped over another column moves its
    // column one place that way, however far it went; the sections go back
    // to the list's order first.
    connect(h, &QHeaderView::sectionMoved, this, [this, h](int logical, int, int) {
        if (showing_) return;
        const int from = ListColumnOfSection(logical);
        int to = 0, seen = 0;
        for (int v = 0; v < h->count(); ++v) {
            const int at = h->logicalIndex(v);
            if (view_->isColumnHidden(at)) continue;
            ++seen;
            if (at == logical) to = seen;
        }
        Show();
        if (!from || !to || to == from) return;
        core_.currentColumn = from;
        TakePopupCommand(to < from ? kEventMoveLeft : kEventMoveRight);
    });
    connect(h, &QHeaderView::customContextMenuRequested, this, [this] { SequencePopup(); });
    view_->installEventFilter(this);
    // The column lines are the columns' borders; the grid (Ctrl+Alt+R) is
    // off until the user turns it on.
    view_->setShowGrid(false);
    core_.options = kOwnerOptions;
}

XploreList::~XploreList() = default;

int XploreList::BrowseColumnOf(const Column& c) const {
    const auto& cols = list_.Columns();
    for (std::size_t i = 0; i < cols.size(); ++i)
        if (EqualNoCase(cols[i].field, c.field)) return static_cast<int>(i);
    return -1;
}

int XploreList::ListColumnOfSection(int logical) const {
    const auto& cols = list_.Columns();
    if (logical < 0 || logical >= static_cast<int>(cols.size())) return 0;
    for (const Column& c : const_cast<Xplore&>(core_).DisplayColumns())
        if (EqualNoCase(c.field, cols[static_cast<std::size_t>(logical)].field)) return c.seq;
    return 0;
}

void XploreList::Show() {
    showing_ = true;
    QHeaderView* h = view_->horizontalHeader();
    const int n = static_cast<int>(list_.Columns().size());
    std::vector<bool> shown(static_cast<std::size_t>(n), false);
    // The fixed area runs from the first column to the last one with Fixed.
    int fixedColumns = 0, onShow = 0;
    for (const Column& c : core_.DisplayColumns()) {
        int logical = BrowseColumnOf(c);
        if (logical < 0) continue;
        shown[static_cast<std::size_t>(logical)] = true;
        BrowseColumn& bc = list_.Column(logical + 1);
        bc.header = core_.HeaderText(c.seq);
        bc.headerUnderline = core_.HeaderUnderlined(c.seq);
        bc.justify = c.fjust;
        bc.headerJustify = c.hjust;
        bc.underline = c.underline;
        bc.indent = c.foffset;
        bc.headerIndent = c.hoffset;
        bc.border = c.border;
        ++onShow;
        if (c.fixed) fixedColumns = onShow;
        bc.normalFg = c.nfg;
        bc.normalBg = c.nbg;
        bc.selectedFg = c.sfg;
        bc.selectedBg = c.sbg;
        bc.picture = c.picture;
        bc.width = c.widthDlu;
        h->setSectionResizeMode(logical, c.resize ? QHeaderView::Interactive : QHeaderView::Fixed);
        view_->setColumnHidden(logical, false);
        view_->setColumnWidth(logical, ColumnPixels(view_, bc, c.widthDlu));
        int from = h->visualIndex(logical);
        if (from != c.seq - 1) h->moveSection(from, c.seq - 1);
    }
    for (int i = 0; i < n; ++i)
        if (!shown[static_cast<std::size_t>(i)]) view_->setColumnHidden(i, true);
    list_.SetFixedColumns(fixedColumns);
    list_.ColumnsChanged();
    showing_ = false;
}

void XploreList::ReadBack() {
    QHeaderView* h = view_->horizontalHeader();
    std::vector<int> order;
    for (int v = 0; v < h->count(); ++v) {
        int logical = h->logicalIndex(v);
        if (view_->isColumnHidden(logical)) continue;
        const std::string& field = list_.Columns()[static_cast<std::size_t>(logical)].field;
        for (const Column& c : core_.DisplayColumns())
            if (EqualNoCase(c.field, field)) order.push_back(c.qnos);
    }
    core_.SetDisplayOrder(order);
    for (const Column& c : core_.DisplayColumns()) {
        int logical = BrowseColumnOf(c);
        if (logical >= 0) core_.SetColumnWidth(c.seq, PixelsToDlu(view_, view_->columnWidth(logical)));
    }
}

ListGeometry XploreList::Geometry() const {
    ListGeometry g;
    QRect r = view_->geometry();
    g.x = r.x();
    g.y = r.y();
    g.width = r.width();
    g.height = r.height();
    g.hscroll = view_->horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
    g.vscroll = view_->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
    g.lineHeight = view_->verticalHeader()->defaultSectionSize();
    QFont f = view_->font();
    g.fontName = f.family().toStdString();
    g.fontSize = f.pointSize();
    g.fontColor = core_.current.fontColor;
    g.fontStyle = (f.bold() ? 700 : 400) + (f.italic() ? 4096 : 0) + (f.underline() ? 8192 : 0);
    return g;
}

void XploreList::ApplyLook(const ListGeometry& g) {
    QFont f = view_->font();
    if (!g.fontName.empty()) f.setFamily(QString::fromStdString(g.fontName));
    if (g.fontSize > 0) f.setPointSize(g.fontSize);
    f.setBold((g.fontStyle % 4096) >= 700);
    f.setItalic((g.fontStyle & 4096) != 0);
    f.setUnderline((g.fontStyle & 8192) != 0);
    view_->setFont(f);
    QPalette pal = view_->palette();
    pal.setColor(QPalette::Text, g.fontColor == -1 ? QApplication::palette(view_).color(QPalette::Text)
                                                  : ColorFromValue(g.fontColor));
    view_->setPalette(pal);
    if (g.lineHeight > 0) view_->verticalHeader()->setDefaultSectionSize(g.lineHeight);
    view_->setHorizontalScrollBarPolicy(g.hscroll ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    view_->setVerticalScrollBarPolicy(g.vscroll ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    if (core_.restorePosition && g.width > 0 && g.height > 0) view_->setGeometry(g.x, g.y, g.width, g.height);
    core_.current = g;
    list_.LookChanged();
}

void XploreList::Start(std::string_view headerStyle, const std::vector<ColumnDef>& columns,
                       const std::string& dateFormat, const std::vector<OrderDef>& orders) {
    core_.Attach(headerStyle);
    core_.Init(columns, orders);
    core_.AddSortOrder(1);
    core_.SyncOrders(nullptr);
    Restore(dateFormat);
}

void XploreList::Restore(const std::string& dateFormat) {
    const data::TableDef& def = list_.table().def();
    // A memo is filtered as a text, so it counts as a field of the view.
    core_.MarkViewFields([&def](const std::string& field) { return def.fieldIndex(field) >= 0 || def.memo(field); });
    core_.RestoreFormat(procedure_, label_, dateFormat, Geometry());
    core_.current = Geometry();
    if (core_.LookRestored()) ApplyLook(core_.RestoredLook());
    restored_ = true;
    BuildPopup();
    Show();
}

void XploreList::Save() {
    if (!restored_) return;
    ReadBack();
    core_.SaveFormat(procedure_, label_, Geometry());
}

void XploreList::ApplySort() {
    const Column* c = core_.DisplayColumn(core_.SortColumn());
    if (!c) return;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    list_.SetOrderOverride(core_.ColumnOrderText(*c, c->ascDesc));
    list_.ResetFromFile();
    QApplication::restoreOverrideCursor();
    Show();
}

bool XploreList::SortOnColumn(int listColumn) {
    std::string message;
    if (!core_.SortOnColumn(listColumn, &message)) {
        if (!message.empty()) Message(message, "Re-Order Option");
        return false;
    }
    ApplySort();
    return true;
}

void XploreList::BestFitColumn(int listColumn) {
    Column* c = core_.DisplayColumn(listColumn);
    if (!c) return;
    int logical = BrowseColumnOf(*c);
    if (logical < 0) return;
    // The widest value among the rows on show, in dialog units rounded up:
    // the cell draws its text at its indent, so the widest value then shows
    // whole.
    int widest = 0;
    int first = view_->rowAt(0);
    int last = view_->rowAt(view_->viewport()->height() - 1);
    if (first >= 0) {
        if (last < 0) last = static_cast<int>(std::min<int64_t>(list_.Records(), INT32_MAX)) - 1;
        QFontMetrics fm(view_->font());
        for (int r = first; r <= last; ++r)
            if (const data::ListRow* row = list_.RowAt(r))
                widest = std::max(widest, fm.horizontalAdvance(QString::fromStdString(list_.ShownText(*row, logical))));
    }
    // Nothing on show to measure (an empty list): the width stays rather
    // than shrinking the column to its indents.
    if (first < 0) return;
    const int cw = std::max(1, view_->fontMetrics().averageCharWidth());
    c->maxWidth = (widest * 4 + cw - 1) / cw;
    core_.SetColumnWidth(listColumn, core_.BestFitWidth(*c, c->maxWidth));
    Show();
}

void XploreList::BestFitAllColumns() {
    QApplication::setOverrideCursor(Qt::BusyCursor);
    for (int i = 1; i <= static_cast<int>(core_.DisplayColumns().size()); ++i) BestFitColumn(i);
    QApplication::restoreOverrideCursor();
}

void XploreList::ResetToDefault() {
    core_.ApplyFormat();
    ApplyLook(core_.DesignedLook());
    Show();
}

void XploreList::SequencePopup() {
    int choice = Popup("Cancel|Key Sequence|File Sequence", std::nullopt, view_);
    if (choice != 2 && choice != 3) return;
    core_.ClearSort();
    core_.sequenceKind = choice == 3 ? 1 : 0;
    list_.SetOrderOverride("");
    list_.SetFileOrderOverride(choice == 3);
    list_.ResetFromFile();
    Show();
}

namespace {

// The keys the list registers: Alt+M, Ctrl+Alt+R, Alt+F11, Alt+F12.
bool IsListKey(const QKeyEvent& k) {
    const Qt::KeyboardModifiers m = k.modifiers() & ~Qt::KeypadModifier;
    if (m == Qt::AltModifier) return k.key() == Qt::Key_M || k.key() == Qt::Key_F11 || k.key() == Qt::Key_F12;
    return m == (Qt::ControlModifier | Qt::AltModifier) && k.key() == Qt::Key_R;
}

}  // namespace

bool XploreList::eventFilter(QObject* watched, QEvent* event) {
    const int type = static_cast<int>(event->type());
    if (watched == view_ && type >= static_cast<int>(QEvent::User) + kEventMoveLeft && type <= static_cast<int>(QEvent::User) + kEventInclusive) {
        TakePopupCommand(type - static_cast<int>(QEvent::User));
        return true;
    }
    if (watched == view_ && event->type() == QEvent::ContextMenu) {
        // The popup shows for the column under the mouse (or, from the
        // keyboard, the current one); the list itself then shows it.
        auto* c = static_cast<QContextMenuEvent*>(event);
        int column = 0;
        if (c->reason() == QContextMenuEvent::Mouse)
            column = ColumnAtX(view_->viewport()->mapFrom(view_, c->pos()).x());
        else if (view_->currentIndex().isValid())
            column = ListColumnOfSection(view_->currentIndex().column());
        PreparePopup(column);
        return false;
    }
    if (watched == view_ && event->type() == QEvent::ShortcutOverride && IsListKey(*static_cast<QKeyEvent*>(event))) {
        // The list's keys are the list's while it has the focus, before any
        // button of the window that has the same letter ("Send E-&mail").
        event->accept();
        return true;
    }
    if (watched == view_ && event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->modifiers() == Qt::AltModifier && k->key() == Qt::Key_M) {
            PopupAtColumn();
            return true;
        }
        if (k->modifiers() == (Qt::ControlModifier | Qt::AltModifier) && k->key() == Qt::Key_R) {
            ToggleListProperty();
            return true;
        }
        if (k->modifiers() == Qt::AltModifier && k->key() == Qt::Key_F11) {
            BestFitAllColumns();
            return true;
        }
        if (k->modifiers() == Qt::AltModifier && k->key() == Qt::Key_F12) {
            ResetToDefault();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace kr::xplore
