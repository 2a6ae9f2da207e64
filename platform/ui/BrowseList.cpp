#include "platform/ui/BrowseList.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QStyle>
#include <QTableView>

#include <algorithm>

#include "platform/data/FileManager.h"
#include "platform/runtime/DateTime.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Picture.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/Icons.h"
#include "platform/ui/Requests.h"
#include "platform/ui/WindowManager.h"

namespace kr {

using data::ListRow;

namespace {

constexpr int kBlockRows = 64;
constexpr std::size_t kMaxBlocks = 64;  // rows kept: 4096

bool gBufferKept = false;

QColor ToQColor(int32_t bgr) {
    return QColor(bgr & 0xff, (bgr >> 8) & 0xff, (bgr >> 16) & 0xff);
}

// The colours of the highlighted row, where a row or its column sets them.
constexpr int kSelectedFgRole = Qt::UserRole + 1;
constexpr int kSelectedBgRole = Qt::UserRole + 2;

constexpr int kIconRoom = 11;  // dialog units an icon takes before a cell's text

}  // namespace

int DluToPixels(QWidget* w, int dlu) { return (dlu * w->fontMetrics().averageCharWidth() + 2) / 4; }

int ColumnPixels(QTableView* view, const BrowseColumn& c, int dlu) {
    int px = DluToPixels(view, dlu);
    if (dlu <= 0) return px;
    // The widths were designed in dialog units of a narrower font than ours:
    // a column never starts narrower than its heading (with room for the sort
    // mark) or than the widest date or time its picture writes.
    QHeaderView* h = view->horizontalHeader();
    const int pad = 2 * view->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h) +
                    view->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, h) + 4;
    px = std::max(px, h->fontMetrics().horizontalAdvance(QString::fromStdString(c.header)) + pad);
    const char kind = PictureKind(c.picture);
    int widest = 0;
    const QFontMetrics fm = view->fontMetrics();
    auto sample = [&](const Value& v) {
        widest = std::max(widest, fm.horizontalAdvance(QString::fromStdString(Format(v, c.picture))));
    };
    if (kind == 'D') {
        for (int month = 1; month <= 12; ++month) sample(Value(MakeDate(month, 28, 2026)));
        for (int day = 22; day <= 28; ++day) sample(Value(MakeDate(2, day, 2026)));
    } else if (kind == 'T') {
        sample(Value((12 * 3600 + 59 * 60 + 59) * 100 + 1));
        sample(Value((23 * 3600 + 59 * 60 + 59) * 100 + 1));
    }
    if (widest) px = std::max(px, widest + 2 * view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 6);
    return px;
}
int PixelsToDlu(QWidget* w, int pixels) {
    int cw = std::max(1, w->fontMetrics().averageCharWidth());
    return (pixels * 4 + cw / 2) / cw;
}

bool BufferKeptForInsert() { return gBufferKept; }

// The rows of the list, read a block at a time: next to a block already read
// by keyset paging, elsewhere by position. At most kMaxBlocks are kept.
class BrowseModel : public QAbstractTableModel {
public:
    explicit BrowseModel(BrowseList& owner) : QAbstractTableModel(&owner), b_(owner) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(std::min<int64_t>(count_, INT32_MAX));
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(b_.columns_.size());
    }

    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
        const BrowseColumn& c = b_.columns_[static_cast<std::size_t>(section)];
        if (role == Qt::DisplayRole) return QString::fromStdString(c.header);
        if (role == Qt::TextAlignmentRole) return static_cast<int>(Align(c.headerJustify ? c.headerJustify : c.justify));
        if (role == Qt::FontRole && c.headerUnderline) {
            QFont f = b_.list_->horizontalHeader()->font();
            f.setUnderline(true);
            return f;
        }
        return {};
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return {};
        const ListRow* r = const_cast<BrowseModel*>(this)->Row(index.row());
        if (!r) return {};
        const BrowseColumn& c = b_.columns_[static_cast<std::size_t>(index.column())];
        switch (role) {
        case Qt::DisplayRole: return QString::fromStdString(b_.ShownText(*r, index.column()));
        case Qt::TextAlignmentRole: return static_cast<int>(Align(c.justify));
        case Qt::FontRole: {
            if (!c.underline) return {};
            QFont f = b_.list_->font();
            f.setUnderline(true);
            return f;
        }
        case Qt::ForegroundRole:
        case Qt::BackgroundRole:
        case kSelectedFgRole:
        case kSelectedBgRole:
        case Qt::DecorationRole: {
            CellLook look;
            if (b_.look_) b_.look_(*r, index.column() + 1, look);
            if (look.normalFg == -1) look.normalFg = c.normalFg;
            if (look.normalBg == -1) look.normalBg = c.normalBg;
            if (look.selectedFg == -1) look.selectedFg = c.selectedFg;
            if (look.selectedBg == -1) look.selectedBg = c.selectedBg;
            if (role == Qt::ForegroundRole && look.normalFg != -1) return ToQColor(look.normalFg);
            if (role == Qt::BackgroundRole && look.normalBg != -1) return ToQColor(look.normalBg);
            if (role == kSelectedFgRole && look.selectedFg != -1) return ToQColor(look.selectedFg);
            if (role == kSelectedBgRole && look.selectedBg != -1) return ToQColor(look.selectedBg);
            if (role == Qt::DecorationRole && look.icon > 0 &&
                look.icon <= static_cast<int>(b_.icons_.size()))
                return IconByName(b_.icons_[static_cast<std::size_t>(look.icon - 1)]);
            return {};
        }
        default: return {};
        }
    }

    static Qt::Alignment Align(char j) {
        switch (j) {
        case 'R':
        case 'D': return Qt::AlignRight | Qt::AlignVCenter;
        case 'C': return Qt::AlignHCenter | Qt::AlignVCenter;
        default: return Qt::AlignLeft | Qt::AlignVCenter;
        }
    }

    void Relabel() {
        emit headerDataChanged(Qt::Horizontal, 0, std::max(0, columnCount() - 1));
        if (count_ > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }

    void Reload() {
        beginResetModel();
        // The first block's rows lend their storage to the first block read.
        if (!blocks_.empty()) spare_ = std::move(blocks_.begin()->second);
        blocks_.clear();
        count_ = std::max<int64_t>(0, b_.query_.Count());
        endResetModel();
    }

    int64_t count() const { return count_; }

    const ListRow* Row(int64_t i) {
        if (i < 0 || i >= count_) return nullptr;
        int64_t block = i / kBlockRows;
        auto it = blocks_.find(block);
        if (it == blocks_.end()) it = Load(block);
        std::size_t off = static_cast<std::size_t>(i % kBlockRows);
        if (it == blocks_.end() || off >= it->second.size()) return nullptr;
        return &it->second[off];
    }

private:
    std::map<int64_t, std::vector<ListRow>>::iterator Load(int64_t block) {
        std::vector<ListRow> rows = std::move(spare_);
        spare_.clear();
        auto prev = blocks_.find(block - 1);
        auto next = blocks_.find(block + 1);
        int e;
        if (prev != blocks_.end() && prev->second.size() == kBlockRows)
            e = b_.query_.Page(&prev->second.back(), true, kBlockRows, rows);
        else if (next != blocks_.end() && !next->second.empty())
            e = b_.query_.Page(&next->second.front(), false, kBlockRows, rows);
        else if (block == 0)
            e = b_.query_.Page(nullptr, true, kBlockRows, rows);
        else
            e = b_.query_.PageAt(block * kBlockRows, kBlockRows, rows);
        if (e) return blocks_.end();
        if (blocks_.size() >= kMaxBlocks) {
            // Forget the block farthest from this one.
            auto far = std::max_element(blocks_.begin(), blocks_.end(), [&](const auto& a, const auto& b) {
                return std::llabs(a.first - block) < std::llabs(b.first - block);
            });
            spare_ = std::move(far->second);
            blocks_.erase(far);
        }
        return blocks_.emplace(block, std::move(rows)).first;
    }

    BrowseList& b_;
    int64_t count_ = 0;
    std::map<int64_t, std::vector<ListRow>> blocks_;
    // Rows of a block let go, whose storage the next block read reuses
    // (a reload or a scroll then allocates and frees no rows).
    std::vector<ListRow> spare_;
};

// The list's selection, which the fixed view shares. With fixed columns the
// list scrolls sideways by whole columns, from its scroll bar; a new current
// cell would have Qt scroll it into sight as well, and a cell of a fixed
// column lies under the fixed view, so a click there, or Up or Down after
// one, sent the list back to its first column. The sideways scroll is kept
// when the new cell is of a fixed column, in the row's old column (the row
// moved) or already in sight; only a move to a column out of sight (Left,
// Right) scrolls.
class BrowseSelection : public QItemSelectionModel {
public:
    BrowseSelection(QAbstractItemModel* model, BrowseList& owner) : QItemSelectionModel(model, &owner), b_(owner) {}

    void setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override {
        QTableView* list = b_.list_;
        QScrollBar* sb = list ? list->horizontalScrollBar() : nullptr;
        bool keep = false;
        if (sb && b_.fixedCount_ > 0 && b_.fixed_ && index.isValid()) {
            const int column = index.column();
            const QModelIndex before = currentIndex();
            const int x = list->columnViewportPosition(column);
            keep = !b_.fixed_->isColumnHidden(column) || (before.isValid() && before.column() == column) ||
                   (x >= b_.fixed_->width() && x < list->viewport()->width());
        }
        const int sideways = sb ? sb->value() : 0;
        QItemSelectionModel::setCurrentIndex(index, command);
        if (keep && sb->value() != sideways) sb->setValue(sideways);
    }

private:
    BrowseList& b_;
};

// Draws a cell the list's way when its column says how: the text exactly at
// its indent from the aligned side (so a best fit, which adds the indent to
// the widest value, shows that value whole), the icon before it, a line at
// the right edge for a border, and the selected colours on the highlighted
// row while the list has the focus. Columns that leave it all to the style
// are drawn by the style.
class BrowseDelegate : public QStyledItemDelegate {
public:
    explicit BrowseDelegate(BrowseList& owner) : QStyledItemDelegate(&owner), b_(owner) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const auto& cols = b_.Columns();
        if (index.column() < 0 || index.column() >= static_cast<int>(cols.size())) return;
        const BrowseColumn& c = cols[static_cast<std::size_t>(index.column())];
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const bool selected = opt.state & QStyle::State_Selected;
        // State_Active is off while the list lacks the focus: the row then
        // keeps the grey of the keyboard rules.
        const bool focused = opt.state & QStyle::State_Active;
        if (selected && focused) {
            const QVariant fg = index.data(kSelectedFgRole), bg = index.data(kSelectedBgRole);
            if (fg.isValid()) opt.palette.setColor(QPalette::Active, QPalette::HighlightedText, fg.value<QColor>());
            if (bg.isValid()) opt.palette.setColor(QPalette::Active, QPalette::Highlight, bg.value<QColor>());
        }
        if (c.indent < 0 && !c.border) {
            QStyledItemDelegate::paint(p, opt, index);
            return;
        }
        const QWidget* w = opt.widget;
        QStyle* style = w ? w->style() : QApplication::style();
        const QString text = opt.text;
        const QIcon icon = opt.icon;
        opt.text.clear();
        opt.icon = QIcon();
        opt.features &= ~(QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration);
        style->drawControl(QStyle::CE_ItemViewItem, &opt, p, w);

        const QRect cell = option.rect;
        const QRect t = b_.CellTextRect(index.column(), cell, !icon.isNull());
        p->save();
        if (!icon.isNull()) {
            const int indent = c.justify == 'L' ? DluToPixels(b_.ListControl(), std::max(0, c.indent)) : 0;
            const QSize size = opt.decorationSize;
            const QRect at(cell.left() + indent, cell.top() + (cell.height() - size.height()) / 2, size.width(),
                           size.height());
            icon.paint(p, at, Qt::AlignCenter, QIcon::Normal);
        }
        QPalette::ColorGroup cg = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                  : focused                            ? QPalette::Active
                                                                       : QPalette::Inactive;
        p->setFont(opt.font);
        p->setPen(opt.palette.color(cg, selected ? QPalette::HighlightedText : QPalette::Text));
        const QFontMetrics fm(opt.font);
        p->setClipRect(cell);
        p->drawText(t, static_cast<int>(opt.displayAlignment) | Qt::TextSingleLine,
                    fm.elidedText(text, Qt::ElideRight, t.width()));
        if (c.border) {
            p->setPen(QColor(static_cast<QRgb>(style->styleHint(QStyle::SH_Table_GridLineColor, &opt, w))));
            p->drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());
        }
        p->restore();
    }

private:
    BrowseList& b_;
};

// The header with the columns' header indents.
class BrowseHeader : public QHeaderView {
public:
    BrowseHeader(BrowseList& owner, QWidget* parent) : QHeaderView(Qt::Horizontal, parent), b_(owner) {}

protected:
    void paintSection(QPainter* p, const QRect& rect, int logical) const override {
        const auto& cols = b_.Columns();
        if (logical < 0 || logical >= static_cast<int>(cols.size()) || cols[static_cast<std::size_t>(logical)].headerIndent < 0) {
            QHeaderView::paintSection(p, rect, logical);
            return;
        }
        if (!rect.isValid()) return;
        const BrowseColumn& c = cols[static_cast<std::size_t>(logical)];
        QStyleOptionHeaderV2 opt;
        initStyleOption(&opt);
        initStyleOptionForIndex(&opt, logical);
        opt.rect = rect;
        const QString text = opt.text;
        opt.text.clear();
        style()->drawControl(QStyle::CE_Header, &opt, p, this);
        p->save();
        const QVariant font = model() ? model()->headerData(logical, Qt::Horizontal, Qt::FontRole) : QVariant();
        if (font.isValid()) p->setFont(font.value<QFont>());
        const int indent = DluToPixels(b_.ListControl(), c.headerIndent);
        QRect t = rect;
        if (opt.textAlignment & Qt::AlignRight) t.setRight(t.right() - indent);
        else if (!(opt.textAlignment & Qt::AlignHCenter)) t.setLeft(t.left() + indent);
        p->setPen(opt.palette.color(QPalette::ButtonText));
        p->setClipRect(rect);
        p->drawText(t, static_cast<int>(opt.textAlignment) | Qt::TextSingleLine,
                    p->fontMetrics().elidedText(text, Qt::ElideRight, t.width()));
        p->restore();
    }

private:
    BrowseList& b_;
};

BrowseList::BrowseList(data::Table& table, QTableView* list, WindowManager* window)
    : table_(&table), list_(list), window_(window), query_(table), thread_(CurrentProcedureThread()) {}

BrowseList::~BrowseList() {
    if (!holdsUse_) return;
    // The use was counted for the list's procedure thread; a thread that has
    // ended took its uses along (Close then finds none).
    ProcedureThreadScope scope(thread_);
    if (data::FileManager* fm = data::FileManager::Of(*table_)) fm->Close();
}

void BrowseList::UseTable() {
    ProcedureThreadScope scope(thread_);
    data::FileManager* fm = data::FileManager::Of(*table_);
    if (!fm) return;
    if (!holdsUse_ && fm->TryOpen() == data::kLevelBenign) holdsUse_ = true;
    fm->UseFile();
}

int BrowseList::AddColumn(BrowseColumn column) {
    columns_.push_back(std::move(column));
    return static_cast<int>(columns_.size());
}

void BrowseList::SetColumnVisible(int number, bool visible) {
    if (list_) list_->setColumnHidden(number - 1, !visible);
}

std::string BrowseList::CellText(const ListRow& r, int column) const {
    const BrowseColumn& c = columns_[static_cast<std::size_t>(column)];
    Value v;
    if (c.value) v = c.value(r);
    else if (!c.field.empty() && table_->def().fieldIndex(c.field) >= 0) {
        int idx = table_->def().fieldIndex(c.field);
        if (idx >= 0) v = r.field(idx);
    }
    if (c.picture.empty()) return v.toText();
    return ClipRight(Format(v, c.picture));
}

std::string BrowseList::ShownText(const ListRow& r, int column) const {
    std::string text = CellText(r, column);
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

int BrowseList::AddSortOrder(const data::KeyDef* key) {
    SortOrder o;
    if (key) o.terms = data::KeyOrder(table_->def(), *key);
    orders_.push_back(std::move(o));
    current_ = static_cast<int>(orders_.size());
    return current_;
}

int BrowseList::AddSortOrder(std::string_view orderText) {
    SortOrder o;
    data::ParseOrderText(orderText, table_->def(), o.terms);
    orders_.push_back(std::move(o));
    current_ = static_cast<int>(orders_.size());
    return current_;
}

void BrowseList::SetSortOrder(int number) {
    if (number >= 1 && number <= static_cast<int>(orders_.size())) current_ = number;
}

bool BrowseList::SetOrderText(std::string_view text, std::string* message) {
    if (!current_) AddSortOrder(nullptr);
    return data::ParseOrderText(text, table_->def(), orders_[static_cast<std::size_t>(current_ - 1)].terms, message);
}

bool BrowseList::SetOrderOverride(std::string_view text, std::string* message) {
    fileOrder_ = false;
    if (Trim(std::string(text)).empty()) {
        override_.clear();
        return true;
    }
    std::vector<data::OrderTerm> terms;
    if (!data::ParseOrderText(text, table_->def(), terms, message)) return false;
    override_ = std::move(terms);
    return true;
}

void BrowseList::ColumnsChanged() {
    if (model_) model_->Relabel();
    SyncFixed();
}

QRect BrowseList::CellTextRect(int column, const QRect& cell, bool icon) const {
    if (column < 0 || column >= static_cast<int>(columns_.size())) return cell;
    const BrowseColumn& c = columns_[static_cast<std::size_t>(column)];
    const int indent = DluToPixels(list_, std::max(0, c.indent));
    const int iconRoom = icon ? DluToPixels(list_, kIconRoom) : 0;
    QRect t = cell;
    switch (c.justify) {
    case 'R':
    case 'D':
        t.setRight(t.right() - indent);
        t.setLeft(t.left() + iconRoom);
        break;
    case 'C': t.setLeft(t.left() + iconRoom); break;
    default: t.setLeft(t.left() + indent + iconRoom); break;
    }
    return t;
}

void BrowseList::SetFixedColumns(int count) {
    count = std::max(0, count);
    if (count == fixedCount_ && (count == 0 || fixed_)) {
        SyncFixed();
        return;
    }
    fixedCount_ = count;
    if (count > 0 && !fixed_ && model_) {
        QHeaderView* mh = list_->horizontalHeader();
        fixed_ = new QTableView(list_);
        fixed_->setObjectName(QStringLiteral("fixedColumns"));
        auto* fh = new BrowseHeader(*this, fixed_);
        fixed_->setHorizontalHeader(fh);
        fixed_->setModel(model_);
        fixed_->setSelectionModel(list_->selectionModel());
        fixed_->setItemDelegate(list_->itemDelegate());
        fixed_->setFocusProxy(list_);
        fixed_->setFrameShape(QFrame::NoFrame);
        fixed_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        fixed_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        fixed_->setVerticalScrollMode(list_->verticalScrollMode());
        fixed_->setSelectionBehavior(list_->selectionBehavior());
        fixed_->setSelectionMode(list_->selectionMode());
        fixed_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        fixed_->setWordWrap(false);
        fixed_->verticalHeader()->hide();
        // Its right clicks go on to the list (its parent), as the list's own.
        fixed_->setContextMenuPolicy(Qt::NoContextMenu);
        fixed_->viewport()->installEventFilter(this);
        fh->setSectionsMovable(false);
        fh->setSectionsClickable(true);
        fh->setHighlightSections(false);
        connect(fh, &QHeaderView::sectionClicked, mh, [mh](int logical) { emit mh->sectionClicked(logical); });
        connect(fh, &QHeaderView::sectionHandleDoubleClicked, mh,
                [mh](int logical) { emit mh->sectionHandleDoubleClicked(logical); });
        connect(fh, &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
            if (!syncing_) list_->setColumnWidth(logical, size);
        });
        connect(fh, &QHeaderView::customContextMenuRequested, mh, [mh, fh](const QPoint& p) {
            emit mh->customContextMenuRequested(mh->mapFromGlobal(fh->mapToGlobal(p)));
        });
        QScrollBar* mv = list_->verticalScrollBar();
        QScrollBar* fv = fixed_->verticalScrollBar();
        connect(mv, &QScrollBar::valueChanged, fv, &QScrollBar::setValue);
        connect(fv, &QScrollBar::valueChanged, mv, &QScrollBar::setValue);
    }
    if (list_) {
        list_->setHorizontalScrollMode(count > 0 ? QAbstractItemView::ScrollPerPixel
                                                 : static_cast<QAbstractItemView::ScrollMode>(scrollMode_));
        lastScroll_ = list_->horizontalScrollBar()->value();
    }
    SyncFixed();
}

void BrowseList::SetSelectionBehavior(QAbstractItemView::SelectionBehavior behavior) {
    if (list_) list_->setSelectionBehavior(behavior);
    if (fixed_) fixed_->setSelectionBehavior(behavior);
}

void BrowseList::LookChanged() { SyncFixed(); }

// The fixed view takes the list's look and the first columns on show, and
// lies over the list's left edge, header included.
void BrowseList::SyncFixed() {
    if (!fixed_ || syncing_) return;
    if (fixedCount_ <= 0) {
        fixed_->hide();
        return;
    }
    syncing_ = true;
    QHeaderView* mh = list_->horizontalHeader();
    QHeaderView* fh = fixed_->horizontalHeader();
    fixed_->setFont(list_->font());
    fixed_->setPalette(list_->palette());
    fixed_->setShowGrid(list_->showGrid());
    // A click in the fixed columns highlights what a click in the list does.
    fixed_->setSelectionBehavior(list_->selectionBehavior());
    fixed_->setSelectionMode(list_->selectionMode());
    fixed_->verticalHeader()->setDefaultSectionSize(list_->verticalHeader()->defaultSectionSize());
    fh->setFont(mh->font());
    fh->setContextMenuPolicy(mh->contextMenuPolicy());
    int shown = 0, width = 0;
    for (int v = 0; v < mh->count(); ++v) {
        const int logical = mh->logicalIndex(v);
        const int at = fh->visualIndex(logical);
        if (at != v) fh->moveSection(at, v);
        const bool in = !mh->isSectionHidden(logical) && shown < fixedCount_;
        if (!mh->isSectionHidden(logical) && in) ++shown;
        fixed_->setColumnHidden(logical, !in);
        if (in) {
            fh->setSectionResizeMode(logical, mh->sectionResizeMode(logical));
            fixed_->setColumnWidth(logical, mh->sectionSize(logical));
            width += mh->sectionSize(logical);
        }
    }
    const QRect vg = list_->viewport()->geometry();
    const int headerHeight = mh->isHidden() ? 0 : mh->height();
    fh->setFixedHeight(std::max(1, headerHeight));
    fh->setVisible(!mh->isHidden());
    fixed_->setGeometry(vg.x(), vg.y() - headerHeight, std::min(width, vg.width()), vg.height() + headerHeight);
    fixed_->verticalScrollBar()->setRange(list_->verticalScrollBar()->minimum(), list_->verticalScrollBar()->maximum());
    fixed_->verticalScrollBar()->setValue(list_->verticalScrollBar()->value());
    fixed_->show();
    fixed_->raise();
    syncing_ = false;
    SnapScroll(list_->horizontalScrollBar()->value());
}

// Where the sideways scroll may stop: 0, then after each column on show
// that follows the fixed ones, so a column always starts right after them.
std::vector<int> BrowseList::ScrollStops() const {
    std::vector<int> stops{0};
    QHeaderView* mh = list_->horizontalHeader();
    int seen = 0, sum = 0;
    for (int v = 0; v < mh->count(); ++v) {
        const int logical = mh->logicalIndex(v);
        if (mh->isSectionHidden(logical)) continue;
        if (++seen <= fixedCount_) continue;
        sum += mh->sectionSize(logical);
        stops.push_back(sum);
    }
    return stops;
}

void BrowseList::SnapScroll(int value) {
    QScrollBar* sb = list_ ? list_->horizontalScrollBar() : nullptr;
    if (!sb || fixedCount_ <= 0 || syncing_) {
        lastScroll_ = value;
        return;
    }
    const std::vector<int> stops = ScrollStops();
    // The scroll bar reaches the stop at or past its end, so the last
    // column can be shown whole after the fixed ones.
    const int end = *std::lower_bound(stops.begin(), stops.end(), std::min(sb->maximum(), stops.back()));
    syncing_ = true;
    if (sb->maximum() != end && sb->maximum() > 0) sb->setMaximum(end);
    int target;
    if (value >= lastScroll_) target = *std::lower_bound(stops.begin(), stops.end(), std::min(value, stops.back()));
    else target = *std::prev(std::upper_bound(stops.begin(), stops.end(), value));
    target = std::clamp(target, 0, sb->maximum());
    if (sb->value() != target) sb->setValue(target);
    lastScroll_ = target;
    syncing_ = false;
}

int BrowseList::ColumnAt(int x) const {
    if (fixed_ && fixedCount_ > 0 && fixed_->isVisible() && x >= 0 && x < fixed_->width()) return fixed_->columnAt(x);
    return list_ ? list_->columnAt(x) : -1;
}

int BrowseList::ColumnX(int column) const {
    if (fixed_ && fixedCount_ > 0 && fixed_->isVisible() && !fixed_->isColumnHidden(column))
        return fixed_->columnViewportPosition(column);
    return list_ ? list_->columnViewportPosition(column) : 0;
}

bool BrowseList::AppendOrder(std::string_view text, std::string* message) {
    if (!current_) AddSortOrder(nullptr);
    std::vector<data::OrderTerm> more;
    if (!data::ParseOrderText(text, table_->def(), more, message)) return false;
    auto& terms = orders_[static_cast<std::size_t>(current_ - 1)].terms;
    terms.insert(terms.end(), more.begin(), more.end());
    return true;
}

void BrowseList::AddRange(std::string_view field, std::function<Value()> value) {
    if (!current_) AddSortOrder(nullptr);
    orders_[static_cast<std::size_t>(current_ - 1)].ranges.push_back({std::string(field), std::move(value), {}, true});
}

void BrowseList::AddRange(std::string_view field, std::function<Value()> low, std::function<Value()> high) {
    if (!current_) AddSortOrder(nullptr);
    orders_[static_cast<std::size_t>(current_ - 1)].ranges.push_back(
        {std::string(field), std::move(low), std::move(high), false});
}

void BrowseList::SetFilter(std::string_view expression, std::string_view name) {
    if (!current_) AddSortOrder(nullptr);
    auto& f = orders_[static_cast<std::size_t>(current_ - 1)].filters;
    if (Trim(std::string(expression)).empty()) f.erase(std::string(name));
    else f[std::string(name)] = std::string(expression);
}

void BrowseList::AddLocator(std::string_view field) {
    if (!current_) AddSortOrder(nullptr);
    orders_[static_cast<std::size_t>(current_ - 1)].locator = std::string(field);
}

void BrowseList::AddChild(data::ChildTable child) { children_.push_back(std::move(child)); }

void BrowseList::SetRecordCheck(std::function<bool(const void*)> check) { check_ = std::move(check); }

void BrowseList::ConfigureQuery() {
    query_.Reset();
    if (current_ == 0) AddSortOrder(nullptr);
    const SortOrder& o = orders_[static_cast<std::size_t>(current_ - 1)];
    query_.SetOrder(fileOrder_ ? std::vector<data::OrderTerm>{} : override_.empty() ? o.terms : override_);
    for (const auto& r : o.ranges) {
        if (r.equal) query_.AddRange(r.field, r.low);
        else query_.AddRange(r.field, r.low, r.high);
    }
    for (const auto& [name, f] : o.filters) query_.SetFilter(f, name);
    for (const auto& c : children_) query_.AddChild(c);
    if (check_) query_.SetRecordCheck(check_);
}

int BrowseList::Init() {
    if (GlobalRequest() == kSelectRecord || (window_ && window_->Request() == kSelectRecord)) selectMode_ = true;
    model_ = new BrowseModel(*this);
    {
        // The list's own header draws the header indents.
        QHeaderView* old = list_->horizontalHeader();
        auto* h = new BrowseHeader(*this, list_);
        h->setStretchLastSection(old->stretchLastSection());
        h->setVisible(!old->isHidden());
        h->setContextMenuPolicy(old->contextMenuPolicy());
        list_->setHorizontalHeader(h);
    }
    list_->setModel(model_);
    {
        QItemSelectionModel* old = list_->selectionModel();
        list_->setSelectionModel(new BrowseSelection(model_, *this));
        delete old;
    }
    list_->setItemDelegate(new BrowseDelegate(*this));
    scrollMode_ = static_cast<int>(list_->horizontalScrollMode());
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->setWordWrap(false);
    list_->setContextMenuPolicy(Qt::DefaultContextMenu);
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].width > 0)
            list_->setColumnWidth(static_cast<int>(i), ColumnPixels(list_, columns_[i], columns_[i].width));
    list_->installEventFilter(this);
    list_->viewport()->installEventFilter(this);
    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { NewSelection(); });
    QHeaderView* header = list_->horizontalHeader();
    connect(header, &QHeaderView::sectionResized, this, [this] { SyncFixed(); });
    connect(header, &QHeaderView::sectionMoved, this, [this] { SyncFixed(); });
    connect(header, &QHeaderView::geometriesChanged, this, [this] { SyncFixed(); });
    connect(list_->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) { SnapScroll(v); });
    connect(list_->horizontalScrollBar(), &QScrollBar::rangeChanged, this,
            [this] { SnapScroll(list_->horizontalScrollBar()->value()); });
    if (select_) select_->setVisible(selectMode_);
    SetPopupItems();
    initialised_ = true;
    UseTable();
    return ResetFromFile();
}

int BrowseList::ResetFromFile() {
    if (!model_) return 0;
    int64_t keep = SelectedRowId();
    int64_t keepIndex = Selected();
    ConfigureQuery();
    error_ = query_.Apply();
    if (error_) {
        // A filter that cannot be applied shows nothing rather than too much.
        query_.SetFilter("0", "~error");
        query_.Apply();
    }
    model_->Reload();
    int64_t target = -1;
    if (keep) {
        ListRow r;
        if (query_.Fetch(keep, r)) target = query_.RowsBefore(r);
    }
    if (target < 0 && model_->count() > 0) target = std::clamp<int64_t>(keepIndex, 0, model_->count() - 1);
    lastRowId_ = 0;
    if (target >= 0) Select(target);
    else NewSelection();
    UpdateButtons();
    return error_;
}

int64_t BrowseList::Records() const { return model_ ? model_->count() : 0; }

int64_t BrowseList::Selected() const {
    if (!model_ || !list_->selectionModel()) return -1;
    QModelIndex c = list_->selectionModel()->currentIndex();
    return c.isValid() ? c.row() : -1;
}

void BrowseList::Select(int64_t index) {
    if (!model_ || index < 0 || index >= model_->count()) return;
    QModelIndex i = model_->index(static_cast<int>(index), 0);
    // With fixed columns the first column is always shown: a list scrolled
    // sideways stays where it is.
    const int sideways = list_->horizontalScrollBar()->value();
    list_->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list_->scrollTo(i);
    if (fixedCount_ > 0) list_->horizontalScrollBar()->setValue(sideways);
    NewSelection();
}

const ListRow* BrowseList::RowAt(int64_t index) { return model_ ? model_->Row(index) : nullptr; }

int64_t BrowseList::SelectedRowId() const {
    int64_t i = Selected();
    if (i < 0) return 0;
    const ListRow* r = const_cast<BrowseList*>(this)->RowAt(i);
    return r ? r->row : 0;
}

bool BrowseList::SelectRowId(int64_t rowid) {
    ListRow r;
    if (!query_.Fetch(rowid, r)) return false;
    Select(query_.RowsBefore(r));
    return true;
}

bool BrowseList::UpdateViewRecord() {
    int64_t id = SelectedRowId();
    if (!id) return false;
    // The buffer is the list's procedure thread's, whoever calls.
    ProcedureThreadScope scope(thread_);
    data::Position p;
    p.row = id;
    int e = table_->Reget(p);
    if (e == kFileNotOpen) {
        // Someone closed the file under the list: open it again once.
        UseTable();
        e = table_->Reget(p);
    }
    if (e == 0) {
        failedRow_ = 0;
        failedCode_ = 0;
        return true;
    }
    // Told once: a click, then Edit or a move on the same row that fails the
    // same way adds no second message. The list stays as it is.
    if (id != failedRow_ || e != failedCode_) {
        failedRow_ = id;
        failedCode_ = e;
        if (data::FileManager* fm = data::FileManager::Of(*table_)) fm->ReportError(data::kMsgAbortReading);
    }
    return false;
}

void BrowseList::NewSelection() {
    int64_t id = SelectedRowId();
    if (id == lastRowId_) return;
    lastRowId_ = id;
    if (id) UpdateViewRecord();
    UpdateButtons();
    if (onNewSelection_) onNewSelection_();
}

void BrowseList::Locate(const std::string& text) {
    if (!current_) return;
    const SortOrder& o = orders_[static_cast<std::size_t>(current_ - 1)];
    const data::FieldDef* f = !override_.empty() ? override_[0].field
                              : o.locator.empty() ? nullptr : table_->def().field(o.locator);
    if (!f && !o.terms.empty()) f = o.terms[0].field;
    if (!f) return;
    Value v(text);
    if (!f->isText()) {
        std::string pic;
        for (const BrowseColumn& c : columns_)
            if (EqualNoCase(c.field, f->name)) pic = c.picture;
        v = pic.empty() ? Value(Trim(text)) : Deformat(text, pic);
    }
    int64_t pos = query_.LocatePosition(v, f);
    if (pos >= 0) Select(std::min<int64_t>(pos, Records() - 1));
}

void BrowseList::SetLocatorControl(QLineEdit* entry) {
    if (!entry) return;
    connect(entry, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (!t.isEmpty()) Locate(t.toStdString());
    });
}

void BrowseList::AskRecord(int request, bool keepBuffer) {
    if (!update_) return;
    if (request != kInsertRecord || keepBuffer) {
        if (!UpdateViewRecord()) return;
        if (request == kChangeRecord || request == kViewRecord) {
            // The form's change is compared with the record as read here:
            // a change another writer stored meanwhile is not written over.
            ProcedureThreadScope scope(thread_);
            table_->WatchCurrent();
        }
    } else if (!keepBuffer) {
        ProcedureThreadScope scope(thread_);
        table_->Clear();
    }
    int64_t keep = SelectedRowId();
    GlobalRequest() = request;
    gBufferKept = request == kInsertRecord && keepBuffer;
    QPointer<BrowseList> self(this);
    update_(request, [self, request, keep](int response) {
        if (self) self->AfterResponse(request, response, keep);
    });
    gBufferKept = false;
}

void BrowseList::AfterResponse(int request, int response, int64_t keepRow) {
    {
        ProcedureThreadScope scope(thread_);
        table_->Unwatch();
    }
    if (response != kRequestCompleted) {
        // The form may have moved the buffer: put the highlighted record back.
        lastRowId_ = 0;
        NewSelection();
        return;
    }
    int64_t newRow = keepRow;
    if (request == kInsertRecord) {
        ProcedureThreadScope scope(thread_);
        newRow = table_->Pointer();
    }
    ResetFromFile();
    if (newRow && request != kDeleteRecord) SelectRowId(newRow);
    list_->setFocus();
}

bool BrowseList::TakeEvent(int event) {
    if (event == kEventRefreshList) {
        ResetFromFile();
        return true;
    }
    return false;
}

bool BrowseList::HandleAccepted(QObject* control) {
    if (!control) return false;
    if (control == insert_) {
        AskRecord(kInsertRecord);
        return true;
    }
    if (control == change_) {
        if (HasRows()) AskRecord(kChangeRecord);
        return true;
    }
    if (control == delete_) {
        if (!HasRows()) return true;
        if (relations_ && !update_) {
            if (!UpdateViewRecord()) return true;
            int64_t index = Selected();
            if (relations_->Delete(true) == data::kLevelBenign) {
                lastRowId_ = 0;
                ResetFromFile();
                if (Records() > 0) Select(std::min<int64_t>(index, Records() - 1));
            }
        } else {
            AskRecord(kDeleteRecord);
        }
        return true;
    }
    if (control == select_) {
        if (selectMode_ && HasRows() && UpdateViewRecord() && window_) {
            window_->SetResponse(kRequestCompleted);
            window_->Close();
        }
        return true;
    }
    return false;
}

bool BrowseList::HandleKey(int keyCode) {
    if (!HasRows() && keyCode != 45) return false;
    auto press = [&](QAbstractButton* b) {
        if (!b || !b->isVisibleTo(b->window()) || !b->isEnabled()) return false;
        UpdateViewRecord();
        b->click();
        return true;
    };
    switch (keyCode) {
    case 13:
    case 5: return selectMode_ ? press(select_) : press(change_);
    case 45: return press(insert_);
    case 46: return press(delete_);
    default: return false;
    }
}

void BrowseList::UpdateButtons() {
    bool rows = HasRows();
    if (change_) change_->setEnabled(rows);
    if (delete_) delete_->setEnabled(rows);
    if (select_) select_->setEnabled(rows);
    for (const QPointer<QAbstractButton>& b : rowControls_)
        if (b) b->setEnabled(rows);
}

void BrowseList::SetPopupItems() {
    if (insert_) popup_.AddItemMimic("Insert", insert_->text().toStdString(), insert_);
    if (change_) popup_.AddItemMimic("Change", change_->text().toStdString(), change_);
    if (delete_) popup_.AddItemMimic("Delete", delete_->text().toStdString(), delete_);
    if (select_ && selectMode_) popup_.AddItemMimic("Select", select_->text().toStdString(), select_);
}

bool BrowseList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        int code = 0;
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter)
            code = (k->modifiers() & Qt::ShiftModifier) ? 269 : 13;
        else if (k->key() == Qt::Key_Insert)
            code = 45;
        else if (k->key() == Qt::Key_Delete)
            code = 46;
        if (code && HandleKey(code)) return true;
    } else if ((watched == list_->viewport() || (fixed_ && watched == fixed_->viewport())) &&
               event->type() == QEvent::MouseButtonDblClick) {
        auto* m = static_cast<QMouseEvent*>(event);
        QTableView* view = watched == list_->viewport() ? list_ : fixed_;
        if (m->button() == Qt::LeftButton && view->indexAt(m->position().toPoint()).isValid() && HandleKey(5))
            return true;
    } else if (watched == list_->viewport() && event->type() == QEvent::Resize) {
        SyncFixed();
    } else if (watched == list_ && event->type() == QEvent::ContextMenu) {
        auto* c = static_cast<QContextMenuEvent*>(event);
        popup_.Ask(c->globalPos(), list_);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace kr
