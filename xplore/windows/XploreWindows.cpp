// The small windows of a list's header popup ("Attribute" for a number or
// the header text, "Column Colors") and the "List Properties" window. Each
// opens window-modal over the list's window, applies every change to the
// list at once and closes with its close button.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
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
#include <QScreen>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

#include "platform/runtime/Strings.h"
#include "platform/ui/BrowseList.h"
#include "xplore/Colors.h"
#include "xplore/windows/XploreList.h"

namespace kr::xplore {

namespace {

// A window of the popup: window-modal over the list, deleted when closed,
// its top left near the mouse but wholly on the screen.
QDialog* PopupWindow(QWidget* list, const QString& name, const QString& title) {
    auto* d = new QDialog(list->window());
    d->setObjectName(name);
    d->setWindowTitle(title);
    d->setAttribute(Qt::WA_DeleteOnClose);
    d->setWindowModality(Qt::WindowModal);
    return d;
}

void ShowNearMouse(QDialog* d) {
    d->adjustSize();
    QPoint at = QCursor::pos() + QPoint(8, 8);
    if (QScreen* s = QApplication::screenAt(QCursor::pos())) {
        const QRect r = s->availableGeometry();
        at.setX(std::clamp(at.x(), r.left(), std::max(r.left(), r.right() - d->width())));
        at.setY(std::clamp(at.y(), r.top(), std::max(r.top(), r.bottom() - d->height() - 30)));
    }
    d->move(at);
    d->show();
    d->raise();
    d->activateWindow();
}

QPushButton* CloseButton(QDialog* d) {
    auto* b = new QPushButton(QStringLiteral("&Close"), d);
    b->setObjectName(QStringLiteral("close"));
    b->setAutoDefault(false);
    QObject::connect(b, &QPushButton::clicked, d, &QDialog::close);
    return b;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

void XploreList::EditAttribute(const std::string& nameIn) {
    const std::string name = Upper(nameIn.substr(0, 3));
    ReadBack();
    const int col = core_.currentColumn;
    Column* c = core_.DisplayColumn(col);
    struct Kind {
        const char* name;
        const char* title;
        const char* prompt;
        bool column;
        int max;
    };
    static const Kind kinds[] = {
        {"WID", "Width", "Width:", true, 9999},          {"HOS", "Header offset", "Header offset:", true, 255},
        {"DOS", "Data offset", "Data offset:", true, 255}, {"XPS", "X Pos", "X Pos:", false, 32767},
        {"YPS", "Y Pos", "Y Pos:", false, 32767},          {"BWI", "Width", "Width:", false, 32767},
        {"BHI", "Height", "Height:", false, 32767},        {"LHI", "Line Height", "Line Height:", false, 255},
    };
    const Kind* k = nullptr;
    for (const Kind& x : kinds)
        if (name == x.name) k = &x;
    if (!k || (k->column && !c)) return;
    int value = 0;
    const QRect g = view_->geometry();
    if (name == "WID") value = c->widthDlu;
    else if (name == "HOS") value = c->hoffset;
    else if (name == "DOS") value = c->foffset;
    else if (name == "XPS") value = g.x();
    else if (name == "YPS") value = g.y();
    else if (name == "BWI") value = g.width();
    else if (name == "BHI") value = g.height();
    else value = view_->verticalHeader()->defaultSectionSize();

    QDialog* d = PopupWindow(view_, QStringLiteral("Attribute"), QString::fromLatin1(k->title));
    auto* form = new QFormLayout;
    auto* spin = new QSpinBox(d);
    spin->setObjectName(QStringLiteral("value"));
    spin->setRange(name == "LHI" ? 1 : 0, k->max);
    spin->setValue(value);
    form->addRow(QString::fromLatin1(k->prompt), spin);
    auto* v = new QVBoxLayout(d);
    v->addLayout(form);
    v->addWidget(CloseButton(d), 0, Qt::AlignRight);
    const int qnos = c ? c->qnos : 0;
    connect(spin, qOverload<int>(&QSpinBox::valueChanged), d, [this, name, qnos](int n) {
        // The column by its field number: the list may have changed meanwhile.
        Column* t = nullptr;
        for (Column& x : core_.DisplayColumns())
            if (x.qnos == qnos) t = &x;
        if (name == "WID" && t) core_.SetColumnWidth(t->seq, n);
        else if (name == "HOS" && t) t->hoffset = n;
        else if (name == "DOS" && t) t->foffset = n;
        else if (name == "LHI") core_.current.lineHeight = n;
        else if (name == "XPS" || name == "YPS" || name == "BWI" || name == "BHI") {
            QRect r = view_->geometry();
            if (name == "XPS") r.moveLeft(n);
            else if (name == "YPS") r.moveTop(n);
            else if (name == "BWI") r.setWidth(n);
            else r.setHeight(n);
            view_->setGeometry(r);
            return;
        }
        if (name == "LHI") ApplyCurrentLook();
        core_.BuildFormat();
        Show();
    });
    window_ = d;
    ShowNearMouse(d);
    spin->setFocus();
    spin->selectAll();
}

void XploreList::EditHeaderText() {
    ReadBack();
    Column* c = core_.DisplayColumn(core_.currentColumn);
    if (!c) return;
    const int qnos = c->qnos;
    QDialog* d = PopupWindow(view_, QStringLiteral("Attribute"), Q("Header Text: " + ClipRight(c->header).substr(0, 20)));
    auto* form = new QFormLayout;
    auto* entry = new QLineEdit(d);
    entry->setObjectName(QStringLiteral("value"));
    entry->setMaxLength(25);
    entry->setText(Q(ClipRight(c->header)));
    form->addRow(QStringLiteral("Header Text:"), entry);
    auto* v = new QVBoxLayout(d);
    v->addLayout(form);
    v->addWidget(CloseButton(d), 0, Qt::AlignRight);
    auto apply = [this, entry, qnos] {
        for (Column& x : core_.DisplayColumns())
            if (x.qnos == qnos) core_.SetHeader(x.seq, entry->text().toStdString());
        Show();
    };
    connect(entry, &QLineEdit::editingFinished, d, apply);
    window_ = d;
    ShowNearMouse(d);
    entry->setFocus();
    entry->selectAll();
}

void XploreList::ColumnColors() {
    ReadBack();
    Column* c = core_.DisplayColumn(core_.currentColumn);
    if (!c) return;
    const int qnos = c->qnos;
    QDialog* d = PopupWindow(view_, QStringLiteral("ColumnColors"), Q("Colors for Column: " + ClipRight(c->description)));
    auto* grid = new QGridLayout;
    const char* names[4] = {"normalText", "normalBackground", "selectedText", "selectedBackground"};
    const int32_t values[4] = {c->nfg, c->nbg, c->sfg, c->sbg};
    std::array<QComboBox*, 4> boxes{};
    grid->addWidget(new QLabel(QStringLiteral("Text"), d), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Background"), d), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Normal"), d), 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("Selected"), d), 2, 0);
    for (int i = 0; i < 4; ++i) {
        auto* box = new QComboBox(d);
        box->setObjectName(QString::fromLatin1(names[i]));
        for (const NamedColor& n : ColorTable()) box->addItem(QString::fromLatin1(n.name));
        int row = 0;
        ColorName(values[i], &row);
        box->setCurrentIndex(row - 1);  // a value in no row: no selection
        boxes[static_cast<std::size_t>(i)] = box;
        grid->addWidget(box, 1 + i / 2, 1 + i % 2);
    }
    auto apply = [this, boxes, qnos] {
        int32_t v[4];
        for (int i = 0; i < 4; ++i) {
            QComboBox* b = boxes[static_cast<std::size_t>(i)];
            v[i] = b->currentIndex() < 0 ? -1 : ColorValue(b->currentText().toStdString());
        }
        for (Column& x : core_.DisplayColumns())
            if (x.qnos == qnos) core_.SetColumnColors(x.seq, v[0], v[1], v[2], v[3]);
        Show();
    };
    for (QComboBox* b : boxes) connect(b, qOverload<int>(&QComboBox::activated), d, apply);
    auto* reset = new QPushButton(QStringLiteral("&Reset"), d);
    reset->setObjectName(QStringLiteral("reset"));
    reset->setAutoDefault(false);
    connect(reset, &QPushButton::clicked, d, [boxes, apply] {
        for (QComboBox* b : boxes) b->setCurrentIndex(0);
        apply();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(reset);
    buttons->addWidget(CloseButton(d));
    auto* v = new QVBoxLayout(d);
    v->addLayout(grid);
    v->addLayout(buttons);
    window_ = d;
    ShowNearMouse(d);
}

}  // namespace kr::xplore
