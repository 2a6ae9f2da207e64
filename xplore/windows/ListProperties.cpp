// "List Properties": which fields are shown as columns and in which order,
// the current column's look and the list box's, every change applied to the
// list at once.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

#include <functional>
#include <utility>

#include "platform/runtime/Strings.h"
#include "platform/ui/BrowseList.h"
#include "platform/ui/Icons.h"
#include "xplore/windows/XploreList.h"

namespace kr::xplore {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(ClipRight(s)); }

class ListPropertiesWindow : public QDialog {
public:
    ListPropertiesWindow(XploreList& x, QWidget* parent) : QDialog(parent), x_(x), core_(x.core()) {
        setObjectName(QStringLiteral("ListProperties"));
        setWindowTitle(QStringLiteral("List Properties"));
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowModality(Qt::WindowModal);
        const uint32_t o = core_.options;
        auto allowed = [o](uint32_t bit) { return (o & bit) != 0; };

        fields_ = List("fields", "Right Click to display field");
        columns_ = List("columns", "Right Click to erase field");
        auto* lists = new QGridLayout;
        auto* fieldsLabel = new QLabel(QStringLiteral("Fields (&1):"), this);
        auto* columnsLabel = new QLabel(QStringLiteral("Columns (&2):"), this);
        fieldsLabel->setBuddy(fields_);
        columnsLabel->setBuddy(columns_);
        lists->addWidget(fieldsLabel, 0, 0);
        lists->addWidget(columnsLabel, 0, 2);
        lists->addWidget(fields_, 1, 0);
        lists->addWidget(columns_, 1, 2);
        auto* middle = new QVBoxLayout;
        // Add and Hide have no letter of their own: Alt+Right and Alt+Left
        // do them (and Alt+D is "&Default"'s).
        add_ = Button("add", "Add", "Add Column to display list");
        hide_ = Button("hide", "Hide", "Hide column from display list");
        right_ = Button("moveRight", "", "Move Column Right");
        left_ = Button("moveLeft", "", "Move Column Left");
        right_->setIcon(IconByName("MOVEDOWN.ICO"));
        left_->setIcon(IconByName("MOVEUP.ICO"));
        if (right_->icon().isNull()) right_->setText(QStringLiteral("Down"));
        if (left_->icon().isNull()) left_->setText(QStringLiteral("Up"));
        for (QPushButton* b : {add_, hide_, left_, right_}) middle->addWidget(b);
        middle->addStretch();
        lists->addLayout(middle, 1, 1);

        // The current column.
        auto* column = new QGroupBox(QStringLiteral("Column"), this);
        auto* cf = new QGridLayout(column);
        header_ = new QLineEdit(column);
        header_->setObjectName(QStringLiteral("headerText"));
        header_->setMaxLength(35);
        header_->setToolTip(QStringLiteral("Change Column Header Text"));
        header_->setEnabled(allowed(1024));
        auto* headerLabel = new QLabel(QStringLiteral("Header Text:"), column);
        headerLabel->setBuddy(header_);
        cf->addWidget(headerLabel, 0, 0);
        cf->addWidget(header_, 0, 1, 1, 5);
        const char* just[4] = {"Left", "Center", "Right", "Decimal"};
        const char letters[4] = {'L', 'C', 'R', 'D'};
        auto* hLabel = new QLabel(QStringLiteral("&Header"), column);
        auto* fLabel = new QLabel(QStringLiteral("&Field"), column);
        cf->addWidget(hLabel, 1, 0);
        cf->addWidget(fLabel, 2, 0);
        // Header and field alignments are two choices of their own.
        auto* hGroup = new QButtonGroup(column);
        auto* fGroup = new QButtonGroup(column);
        for (int i = 0; i < 4; ++i) {
            hj_[i] = new QRadioButton(QString::fromLatin1(just[i]), column);
            hj_[i]->setObjectName(QStringLiteral("header") + QString::fromLatin1(just[i]));
            hj_[i]->setEnabled(allowed(32u << i));
            fj_[i] = new QRadioButton(QString::fromLatin1(just[i]), column);
            fj_[i]->setObjectName(QStringLiteral("field") + QString::fromLatin1(just[i]));
            fj_[i]->setEnabled(allowed(1u << i));
            hGroup->addButton(hj_[i]);
            fGroup->addButton(fj_[i]);
            cf->addWidget(hj_[i], 1, 1 + i);
            cf->addWidget(fj_[i], 2, 1 + i);
            const char letter = letters[i];
            connect(hj_[i], &QRadioButton::clicked, this, [this, letter] { Align('H', letter); });
            connect(fj_[i], &QRadioButton::clicked, this, [this, letter] { Align('F', letter); });
        }
        hoffset_ = Spin(column, "headerOffset", "Change Header Offset", 0, 255, allowed(512));
        foffset_ = Spin(column, "fieldOffset", "Change Data Field Offset", 0, 255, allowed(16));
        width_ = Spin(column, "width", "Change Column Width", 0, 9999, allowed(2048));
        hLabel->setBuddy(hj_[0]);
        fLabel->setBuddy(fj_[0]);
        auto labelled = [&](const char* text, QWidget* buddy, int row, int col) {
            auto* l = new QLabel(QString::fromLatin1(text), column);
            l->setBuddy(buddy);
            cf->addWidget(l, row, col);
            cf->addWidget(buddy, row, col + 1);
        };
        labelled("Off&set:", hoffset_, 1, 5);
        labelled("Offse&t:", foffset_, 2, 5);
        labelled("&Width:", width_, 3, 0);
        fixed_ = Check(column, "fixed", "F&ixed", "Fix all columns to the left when horizontal Scrolling", allowed(0x10000));
        underline_ = Check(column, "underline", "&Underline", "Underline the current column", allowed(0x20000));
        border_ = Check(column, "border", "&Border", "Right hand border line", allowed(0x40000));
        resize_ = Check(column, "resize", "&Resize", "Allow Column Resize with Mouse", allowed(0x80000));
        cf->addWidget(fixed_, 4, 1);
        cf->addWidget(underline_, 4, 2);
        cf->addWidget(border_, 4, 3);
        cf->addWidget(resize_, 4, 4);

        // The list box.
        auto* box = new QGroupBox(QStringLiteral("List Box"), this);
        auto* bf = new QGridLayout(box);
        xpos_ = Spin(box, "xPos", "Move Listbox Horizontally", 0, 32767, allowed(0x200000));
        ypos_ = Spin(box, "yPos", "Move Listbox Vertically", 0, 32767, allowed(0x400000));
        bwidth_ = Spin(box, "listWidth", "Adjust Width of Listbox", 0, 32767, allowed(0x800000));
        bheight_ = Spin(box, "listHeight", "Adjust Height of LIstbox", 0, 32767, allowed(0x1000000));
        line_ = Spin(box, "lineHeight", "Adjust Line Height", 1, 255, allowed(0x4000000));
        const char* prompts[4] = {"&X Pos:", "&Y Pos:", "Wid&th:", "H&eight:"};
        QSpinBox* pos[4] = {xpos_, ypos_, bwidth_, bheight_};
        for (int i = 0; i < 4; ++i) {
            auto* label = new QLabel(QString::fromLatin1(prompts[i]), box);
            label->setBuddy(pos[i]);
            bf->addWidget(label, i / 2, (i % 2) * 2);
            bf->addWidget(pos[i], i / 2, (i % 2) * 2 + 1);
            // Position and size are kept only while the saved position is used.
            label->setVisible(core_.restorePosition);
            pos[i]->setVisible(core_.restorePosition);
        }
        auto* lineLabel = new QLabel(QStringLiteral("&LineHeight:"), box);
        lineLabel->setBuddy(line_);
        bf->addWidget(lineLabel, 2, 0);
        bf->addWidget(line_, 2, 1);
        vscroll_ = Check(box, "vscroll", "&Vertical Scroll", "Display Vertical Scroll bar", allowed(0x10000000));
        hscroll_ = Check(box, "hscroll", "Hori&zontal Scroll", "Display Horizontal Scroll bar", allowed(0x8000000));
        bf->addWidget(vscroll_, 3, 0, 1, 2);
        bf->addWidget(hscroll_, 3, 2, 1, 2);

        font_ = Button("font", "F&ont", "Assign New Font to Listbox");
        font_->setEnabled(allowed(0x2000000));
        colors_ = Button("colors", "C&olors", "Assign New Colors to Column");
        default_ = Button("default", "&Default", "Reset listbox back to default");
        close_ = Button("close", "&Close", "");
        auto* buttons = new QHBoxLayout;
        for (QPushButton* b : {font_, colors_, default_}) buttons->addWidget(b);
        buttons->addStretch();
        buttons->addWidget(close_);

        auto* v = new QVBoxLayout(this);
        v->addLayout(lists);
        v->addWidget(column);
        v->addWidget(box);
        v->addLayout(buttons);

        connect(fields_, &QListWidget::currentRowChanged, this, [this](int r) { FieldChosen(r); });
        connect(columns_, &QListWidget::currentRowChanged, this, [this](int r) { ColumnChosen(r); });
        connect(fields_, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
            if (QListWidgetItem* i = fields_->itemAt(p)) fields_->setCurrentItem(i);
            Add();
        });
        connect(columns_, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
            if (QListWidgetItem* i = columns_->itemAt(p)) columns_->setCurrentItem(i);
            Hide();
        });
        connect(add_, &QPushButton::clicked, this, [this] { Add(); });
        connect(hide_, &QPushButton::clicked, this, [this] { Hide(); });
        connect(right_, &QPushButton::clicked, this, [this] { Move(true); });
        connect(left_, &QPushButton::clicked, this, [this] { Move(false); });
        connect(header_, &QLineEdit::editingFinished, this, [this] {
            if (Column* c = Current(); c && c->display) core_.SetHeader(c->seq, header_->text().toStdString());
            Changed(false);
        });
        auto columnSpin = [this](QSpinBox* s, const std::function<void(Column&, int)>& set) {
            connect(s, qOverload<int>(&QSpinBox::valueChanged), this, [this, set](int n) {
                if (loading_) return;
                if (Column* c = Current(); c && c->display) set(*c, n);
                core_.BuildFormat();
                Changed(false);
            });
        };
        columnSpin(hoffset_, [](Column& c, int n) { c.hoffset = n; });
        columnSpin(foffset_, [](Column& c, int n) { c.foffset = n; });
        columnSpin(width_, [](Column& c, int n) { c.widthDlu = n; });
        auto columnCheck = [this](QCheckBox* b, const char* command) {
            connect(b, &QCheckBox::clicked, this, [this, command] {
                if (Column* c = Current(); c && c->display) core_.TakeColumnCommand(command, c->seq);
                Changed(false);
            });
        };
        columnCheck(fixed_, "FXD");
        columnCheck(underline_, "ULI");
        columnCheck(border_, "BDR");
        columnCheck(resize_, "RSZ");
        auto boxSpin = [this](QSpinBox* s, const std::function<void(int)>& set) {
            connect(s, qOverload<int>(&QSpinBox::valueChanged), this, [this, set](int n) {
                if (loading_) return;
                set(n);
                x_.ApplyCurrentLook();
            });
        };
        QTableView* view = x_.list().ListControl();
        boxSpin(xpos_, [view](int n) { view->move(n, view->y()); });
        boxSpin(ypos_, [view](int n) { view->move(view->x(), n); });
        boxSpin(bwidth_, [view](int n) { view->resize(n, view->height()); });
        boxSpin(bheight_, [view](int n) { view->resize(view->width(), n); });
        boxSpin(line_, [this](int n) { core_.current.lineHeight = n; });
        connect(vscroll_, &QCheckBox::clicked, this, [this](bool on) {
            core_.current.vscroll = on;
            x_.ApplyCurrentLook();
        });
        connect(hscroll_, &QCheckBox::clicked, this, [this](bool on) {
            core_.current.hscroll = on;
            x_.ApplyCurrentLook();
        });
        connect(font_, &QPushButton::clicked, this, [this] {
            x_.ChooseFont();
            Load();
        });
        connect(colors_, &QPushButton::clicked, this, [this] {
            if (Column* c = Current()) {
                core_.currentColumn = c->seq;
                x_.ColumnColors();
            }
        });
        connect(default_, &QPushButton::clicked, this, [this] {
            x_.ResetToDefault();
            Changed(true);
        });
        connect(close_, &QPushButton::clicked, this, &QDialog::close);
        // The column keys work whichever control has the focus: as shortcuts
        // of the window they come before the focused control, so a spin box
        // never steps and a list or button never moves on them.
        const std::pair<int, std::function<void()>> keys[] = {
            {Qt::Key_Down, [this] { Move(true); }},
            {Qt::Key_Up, [this] { Move(false); }},
            {Qt::Key_Right, [this] { Add(); }},
            {Qt::Key_Left, [this] { Hide(); }},
        };
        for (const auto& [key, act] : keys) {
            auto* sc = new QShortcut(QKeyCombination(Qt::AltModifier, static_cast<Qt::Key>(key)), this);
            sc->setContext(Qt::WindowShortcut);
            sc->setAutoRepeat(true);
            connect(sc, &QShortcut::activated, this, act);
        }

        // The list shows its current column selected while the window is open.
        view_ = view;
        browse_ = &x_.list();
        oldBehavior_ = view->selectionBehavior();
        core_.current = x_.Geometry();
        Changed(true);
    }

    ~ListPropertiesWindow() override {
        if (view_ && browse_) {
            // The fixed columns' view follows: it shares the list's rows.
            browse_->SetSelectionBehavior(oldBehavior_);
            if (view_->currentIndex().isValid()) view_->selectRow(view_->currentIndex().row());
            view_->setFocus();
        }
    }

protected:
    // Alt+1 and Alt+2 are the letters of the two lists' labels.
    void keyPressEvent(QKeyEvent* e) override {
        // Enter accepts the entry it is in; the window closes with Close.
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) return;
        QDialog::keyPressEvent(e);
    }

private:
    QListWidget* List(const char* name, const char* tip) {
        auto* l = new QListWidget(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setToolTip(QString::fromLatin1(tip));
        l->setContextMenuPolicy(Qt::CustomContextMenu);
        l->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        l->setMinimumWidth(200);
        return l;
    }
    QPushButton* Button(const char* name, const char* text, const char* tip) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(QString::fromLatin1(tip));
        b->setAutoDefault(false);
        return b;
    }
    static QSpinBox* Spin(QWidget* parent, const char* name, const char* tip, int lo, int hi, bool enabled) {
        auto* s = new QSpinBox(parent);
        s->setObjectName(QString::fromLatin1(name));
        s->setToolTip(QString::fromLatin1(tip));
        s->setRange(lo, hi);
        s->setEnabled(enabled);
        return s;
    }
    static QCheckBox* Check(QWidget* parent, const char* name, const char* text, const char* tip, bool enabled) {
        auto* b = new QCheckBox(QString::fromLatin1(text), parent);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(QString::fromLatin1(tip));
        b->setEnabled(enabled);
        return b;
    }

    Column* Current() { return core_.DisplayColumn(current_); }

    // The list shows what changed; the window's lists and controls follow.
    void Changed(bool firstRows) {
        x_.Show();
        if (firstRows) current_ = core_.DisplayColumns().empty() ? 0 : 1;
        Load();
    }

    void Load() {
        loading_ = true;
        const int columnRow = current_ - 1;
        fields_->clear();
        for (const Column& a : core_.AllColumns()) {
            auto* i = new QListWidgetItem(Q(a.description.empty() ? a.field : a.description), fields_);
            i->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            i->setData(Qt::CheckStateRole, a.icon ? Qt::Checked : Qt::Unchecked);
            i->setData(Qt::UserRole, a.qnos);
        }
        columns_->clear();
        for (const Column& d : core_.DisplayColumns()) {
            auto* i = new QListWidgetItem(Q(d.description.empty() ? d.field : d.description), columns_);
            i->setData(Qt::UserRole, d.qnos);
        }
        columns_->setCurrentRow(columnRow);
        SelectField();
        Column* c = Current();
        const bool on = c && c->display;
        header_->setText(c ? Q(c->header) : QString());
        for (int i = 0; i < 4; ++i) {
            const char l = "LCRD"[i];
            hj_[i]->setChecked(c && c->hjust == l);
            fj_[i]->setChecked(c && c->fjust == l);
        }
        hoffset_->setValue(c ? c->hoffset : 0);
        foffset_->setValue(c ? c->foffset : 0);
        width_->setValue(c ? c->widthDlu : 0);
        fixed_->setChecked(on && c->fixed);
        underline_->setChecked(on && c->underline);
        border_->setChecked(on && c->border);
        resize_->setChecked(on && c->resize);
        const QRect g = view_ ? view_->geometry() : QRect();
        xpos_->setValue(g.x());
        ypos_->setValue(g.y());
        bwidth_->setValue(g.width());
        bheight_->setValue(g.height());
        line_->setValue(view_ ? view_->verticalHeader()->defaultSectionSize() : 1);
        vscroll_->setChecked(core_.current.vscroll);
        hscroll_->setChecked(core_.current.hscroll);
        loading_ = false;
        ShowCurrentInList();
    }

    void SelectField() {
        const Column* c = Current();
        for (int i = 0; i < fields_->count(); ++i)
            if (c && fields_->item(i)->data(Qt::UserRole).toInt() == c->qnos) {
                QSignalBlocker b(fields_);
                fields_->setCurrentRow(i);
            }
    }

    // The list box shows the current column selected.
    void ShowCurrentInList() {
        if (!view_) return;
        const Column* c = Current();
        const int logical = c ? x_.BrowseColumnOf(*c) : -1;
        if (logical < 0) return;
        if (browse_) browse_->SetSelectionBehavior(QAbstractItemView::SelectColumns);
        view_->selectColumn(logical);
    }

    void ColumnChosen(int row) {
        if (loading_ || row < 0) return;
        current_ = row + 1;
        Load();
    }

    void FieldChosen(int row) {
        if (loading_ || row < 0) return;
        const int qnos = fields_->item(row)->data(Qt::UserRole).toInt();
        for (const Column& d : core_.DisplayColumns())
            if (d.qnos == qnos) {
                current_ = d.seq;
                Load();
            }
    }

    void Add() {
        const int row = fields_->currentRow();
        if (row < 0) return;
        int shownAt = 0;
        const int qnos = fields_->item(row)->data(Qt::UserRole).toInt();
        if (!core_.ShowColumn(qnos, &shownAt)) QApplication::beep();
        if (shownAt) current_ = shownAt;
        Changed(false);
    }

    void Hide() {
        if (!core_.HideColumn(current_)) {
            QApplication::beep();
            return;
        }
        current_ = std::min<int>(current_, static_cast<int>(core_.DisplayColumns().size()));
        Changed(false);
    }

    void Move(bool right) {
        if (!(right ? core_.MoveColumnRight(current_) : core_.MoveColumnLeft(current_))) {
            QApplication::beep();
            return;
        }
        current_ += right ? 1 : -1;
        Changed(false);
    }

    void Align(char which, char letter) {
        if (Column* c = Current(); c && c->display)
            core_.TakeColumnCommand(std::string(1, which) + "J" + letter, c->seq);
        Changed(false);
    }

    XploreList& x_;
    Xplore& core_;
    QPointer<QTableView> view_;
    QPointer<BrowseList> browse_;  // the list and its fixed columns' view
    QAbstractItemView::SelectionBehavior oldBehavior_ = QAbstractItemView::SelectRows;
    int current_ = 0;
    bool loading_ = false;
    QListWidget *fields_, *columns_;
    QPushButton *add_, *hide_, *right_, *left_, *font_, *colors_, *default_, *close_;
    QLineEdit* header_;
    QRadioButton *hj_[4], *fj_[4];
    QSpinBox *hoffset_, *foffset_, *width_, *xpos_, *ypos_, *bwidth_, *bheight_, *line_;
    QCheckBox *fixed_, *underline_, *border_, *resize_, *vscroll_, *hscroll_;
};

}  // namespace

void XploreList::ListProperties() {
    ReadBack();
    auto* w = new ListPropertiesWindow(*this, view_->window());
    window_ = w;
    w->show();
    w->raise();
    w->activateWindow();
}

}  // namespace kr::xplore
