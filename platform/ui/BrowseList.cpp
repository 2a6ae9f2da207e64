#include "platform/ui/BrowseList.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyle>
#include <QTableView>

#include <algorithm>

#include "platform/data/FileManager.h"
#include "platform/runtime/DateTime.h"
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
        case Qt::DisplayRole: return QString::fromStdString(b_.CellText(*r, index.column()));
        case Qt::TextAlignmentRole: return static_cast<int>(Align(c.justify));
        case Qt::FontRole: {
            if (!c.underline) return {};
            QFont f = b_.list_->font();
            f.setUnderline(true);
            return f;
        }
        case Qt::ForegroundRole:
        case Qt::BackgroundRole:
        case Qt::DecorationRole: {
            CellLook look;
            if (b_.look_) b_.look_(*r, index.column() + 1, look);
            if (look.normalFg == -1) look.normalFg = c.normalFg;
            if (look.normalBg == -1) look.normalBg = c.normalBg;
            if (role == Qt::ForegroundRole && look.normalFg != -1) return ToQColor(look.normalFg);
            if (role == Qt::BackgroundRole && look.normalBg != -1) return ToQColor(look.normalBg);
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
        std::vector<ListRow> rows;
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
            blocks_.erase(far);
        }
        return blocks_.emplace(block, std::move(rows)).first;
    }

    BrowseList& b_;
    int64_t count_ = 0;
    std::map<int64_t, std::vector<ListRow>> blocks_;
};

BrowseList::BrowseList(data::Table& table, QTableView* list, WindowManager* window)
    : table_(&table), list_(list), window_(window), query_(table), thread_(CurrentProcedureThread()) {}

BrowseList::~BrowseList() = default;

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
    list_->setModel(model_);
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
    if (select_) select_->setVisible(selectMode_);
    SetPopupItems();
    initialised_ = true;
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
    list_->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list_->scrollTo(i);
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
    return table_->Reget(p) == 0;
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
    } else if (watched == list_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        auto* m = static_cast<QMouseEvent*>(event);
        if (m->button() == Qt::LeftButton && list_->indexAt(m->position().toPoint()).isValid() && HandleKey(5))
            return true;
    } else if (watched == list_ && event->type() == QEvent::ContextMenu) {
        auto* c = static_cast<QContextMenuEvent*>(event);
        popup_.Ask(c->globalPos(), list_);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace kr
