// "Choose Fields for Export...": one window over the three field tables.
// The user picks the fields and their order (the marks of a list are its
// selection), may change each field's picture and whether a header line is
// written; OK asks for the file and writes it in a progress window.
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/runtime/Services.h"
#include "reports/windows/ExchangeWindowParts.h"
#include "reports/windows/ExchangeWindows.h"

namespace kr::reports {

namespace {

constexpr int kPictureRole = Qt::UserRole + 1;

// A field list whose marks are its selection, set by the rules of the
// export window rather than Qt's extended selection: a plain click marks
// only its entry; Space, Ctrl with a click or the Ctrl key alone turn the
// entry's mark over; Shift with a click, the Shift key alone and Shift with
// a moving key mark every entry from the anchor to the current one and
// nothing else. Every other key (plain arrows, Home, End) moves without
// changing a mark, and Enter presses OK. The anchor is the entry last clicked or
// turned over.
class MarkList : public QListWidget {
public:
    explicit MarkList(QWidget* parent) : QListWidget(parent) { setSelectionMode(QAbstractItemView::MultiSelection); }

protected:
    // Qt changes no mark of its own; the events below set them.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex&, const QEvent*) const override {
        return QItemSelectionModel::NoUpdate;
    }
    void mousePressEvent(QMouseEvent* e) override {
        ctrlAlone_ = false;
        QListWidget::mousePressEvent(e);
        if (e->button() != Qt::LeftButton) return;
        QListWidgetItem* item = itemAt(e->position().toPoint());
        if (!item) return;
        setCurrentItem(item, QItemSelectionModel::NoUpdate);
        if (e->modifiers() & Qt::ShiftModifier) Extend();
        else if (e->modifiers() & Qt::ControlModifier) Toggle();
        else MarkOnly();
    }
    void keyPressEvent(QKeyEvent* e) override {
        const int key = e->key();
        if (key == Qt::Key_Control) {
            ctrlAlone_ = !e->isAutoRepeat() || ctrlAlone_;
            return;
        }
        ctrlAlone_ = false;
        if (key == Qt::Key_Shift) {
            Extend();
            return;
        }
        if (key == Qt::Key_Space && !(e->modifiers() & (Qt::ShiftModifier | Qt::AltModifier))) {
            Toggle();
            return;
        }
        // Enter presses the window's default button (OK), as it does in the
        // window's other controls, and leaves every mark as it is.
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !(e->modifiers() & ~Qt::KeypadModifier)) {
            for (QPushButton* b : window()->findChildren<QPushButton*>())
                if (b->isDefault() && b->isVisible() && b->isEnabled() && b->window() == window()) {
                    b->click();
                    return;
                }
            return;
        }
        QListWidget::keyPressEvent(e);
        static const int moving[] = {Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_End, Qt::Key_Home, Qt::Key_Up,
                                     Qt::Key_Down};
        if (e->modifiers() & Qt::ShiftModifier)
            for (int k : moving)
                if (k == key) Extend();
    }
    void keyReleaseEvent(QKeyEvent* e) override {
        // The Ctrl key pressed and let go with no other key or click between.
        if (e->key() == Qt::Key_Control && !e->isAutoRepeat() && ctrlAlone_) {
            ctrlAlone_ = false;
            Toggle();
            return;
        }
        QListWidget::keyReleaseEvent(e);
    }

private:
    void MarkOnly() {
        QListWidgetItem* item = currentItem();
        if (!item) return;
        clearSelection();
        item->setSelected(true);
        anchor_ = indexFromItem(item);
    }
    void Toggle() {
        QListWidgetItem* item = currentItem();
        if (!item) return;
        item->setSelected(!item->isSelected());
        anchor_ = indexFromItem(item);
    }
    void Extend() {
        QListWidgetItem* item = currentItem();
        if (!item) return;
        const int from = anchor_.isValid() ? anchor_.row() : -1;
        if (from < 0) return MarkOnly();
        const int to = row(item);
        for (int i = 0; i < count(); ++i) this->item(i)->setSelected(i >= std::min(from, to) && i <= std::max(from, to));
    }

    QPersistentModelIndex anchor_;
    bool ctrlAlone_ = false;
};

QListWidget* FieldList(QWidget* parent, const char* name) {
    auto* l = new MarkList(parent);
    l->setObjectName(name);
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QString(26, 'x')));
    l->setMinimumHeight(l->fontMetrics().height() * 16);
    return l;
}

struct ExportLayout {
    QWidget* window = nullptr;
    QListWidget* all = nullptr;
    QListWidget* fields = nullptr;
    QPushButton *add = nullptr, *remove = nullptr, *up = nullptr, *down = nullptr, *picture = nullptr;
    QLineEdit* pictureClass = nullptr;
    QCheckBox* header = nullptr;
    QPushButton *ok = nullptr, *cancel = nullptr;

    void Build() {
        window = new QWidget;
        window->setFont(QFont("MS Sans Serif"));
        auto* v = new QVBoxLayout(window);
        auto* lists = new QHBoxLayout;
        auto* left = new QVBoxLayout;
        all = FieldList(window, "allFields");
        auto* allLabel = new QLabel("All Fields", window);
        allLabel->setBuddy(all);
        left->addWidget(allLabel);
        left->addWidget(all);
        lists->addLayout(left, 1);

        auto* buttons = new QVBoxLayout;
        buttons->addStretch();
        add = ExchangeButton(window, "&Add ->", "add");
        remove = ExchangeButton(window, "&Remove", "remove");
        up = ExchangeButton(window, "Shift &Up", "shiftUp");
        down = ExchangeButton(window, "Shift &Down", "shiftDown");
        picture = ExchangeButton(window, "&Picture", "picture");
        for (QPushButton* b : {add, remove, up, down, picture}) buttons->addWidget(b);
        buttons->addStretch();
        lists->addLayout(buttons);

        auto* right = new QVBoxLayout;
        fields = FieldList(window, "exportFields");
        auto* fieldsLabel = new QLabel("Export Fields", window);
        fieldsLabel->setBuddy(fields);
        right->addWidget(fieldsLabel);
        right->addWidget(fields);
        auto* pictureRow = new QHBoxLayout;
        pictureClass = new QLineEdit(window);
        pictureClass->setObjectName("pictureClass");
        pictureClass->setReadOnly(true);
        pictureClass->setFocusPolicy(Qt::NoFocus);
        pictureRow->addWidget(new QLabel("Picture", window));
        pictureRow->addWidget(pictureClass, 1);
        right->addLayout(pictureRow);
        lists->addLayout(right, 1);
        v->addLayout(lists);

        header = new QCheckBox("Include &header record with field names", window);
        header->setObjectName("header");
        v->addWidget(header);
        AddExchangeOkCancel(window, v, ok, cancel);
        QWidget::setTabOrder(all, add);
        QWidget::setTabOrder(add, remove);
        QWidget::setTabOrder(remove, up);
        QWidget::setTabOrder(up, down);
        QWidget::setTabOrder(down, picture);
        QWidget::setTabOrder(picture, fields);
        QWidget::setTabOrder(fields, header);
        QWidget::setTabOrder(header, ok);
        QWidget::setTabOrder(ok, cancel);
    }
};

class ExportWindow : public ExchangeWindow {
public:
    explicit ExportWindow(ImexKind kind) : ExchangeWindow(Member(kind).exportProcedure, Member(kind)) {}

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        if (!OpenMemberTable()) return false;
        SetTitle("Choose Fields for Export...");
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        for (const ImexFieldEntry& f : member_.fields) {
            AddItem(ui.all, f);
            AddItem(ui.fields, f);
        }
        ui.all->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        ui.fields->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        ui.header->setChecked(true);
        QObject::connect(ui.fields, &QListWidget::currentRowChanged, this, [this] { ShowClass(); });
        ShowClass();
        return true;
    }
    void TakeOpened() override { ui.all->setFocus(); }
    void TakeAccepted(QObject* c) override {
        if (AcceptingAll()) return;
        if (c == ui.add) Add();
        else if (c == ui.remove) Remove();
        else if (c == ui.up) Shift(-1);
        else if (c == ui.down) Shift(1);
        else if (c == ui.picture) EditPicture();
    }
    bool TakeCompleted() override {
        if (ui.fields->count() == 0) {
            Message("You must select one or more fields to export.", "No Fields Selected for Export!",
                    MessageIcon::Information);
            return false;
        }
        RunExport();
        return false;  // the window closes once the export is over
    }
private:
    static void AddItem(QListWidget* list, const ImexFieldEntry& f) {
        auto* item = new QListWidgetItem(QString::fromStdString(f.name), list);
        item->setData(kPictureRole, QString::fromStdString(f.picture));
    }
    void ShowClass() {
        QListWidgetItem* item = ui.fields->currentItem();
        ui.pictureClass->setText(
            item ? QString::fromStdString(PictureClassText(item->data(kPictureRole).toString().toStdString(), false))
                 : QString());
    }
    QListWidgetItem* ExportItem(const QString& name) const {
        for (int i = 0; i < ui.fields->count(); ++i)
            if (ui.fields->item(i)->text() == name) return ui.fields->item(i);
        return nullptr;
    }
    // The marked fields go to the end of the export list, marked; one
    // already there is marked there instead of added twice. The export
    // list's other marks stay.
    void Add() {
        const bool wasEmpty = ui.fields->count() == 0;
        for (int i = 0; i < ui.all->count(); ++i) {
            QListWidgetItem* from = ui.all->item(i);
            if (!from->isSelected()) continue;
            QListWidgetItem* there = ExportItem(from->text());
            if (!there) {
                AddItem(ui.fields, member_.fields[static_cast<std::size_t>(i)]);
                there = ui.fields->item(ui.fields->count() - 1);
            }
            there->setSelected(true);
        }
        if (wasEmpty && ui.fields->count() > 0) ui.fields->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        ShowClass();
    }
    void Remove() {
        for (int i = ui.fields->count() - 1; i >= 0; --i)
            if (ui.fields->item(i)->isSelected()) delete ui.fields->takeItem(i);
        ShowClass();
    }
    void Shift(int by) {
        const int row = ui.fields->currentRow();
        const int to = row + by;
        if (row < 0 || to < 0 || to >= ui.fields->count()) return;
        QListWidgetItem* item = ui.fields->takeItem(row);
        const bool marked = item->isSelected();
        ui.fields->insertItem(to, item);
        item->setSelected(marked);
        ui.fields->setCurrentItem(item, QItemSelectionModel::NoUpdate);
    }
    void EditPicture() {
        QListWidgetItem* item = ui.fields->currentItem();
        if (!item) {
            if (ui.fields->count() > 0) ui.fields->setCurrentRow(0, QItemSelectionModel::NoUpdate);
            else ui.all->setFocus();
            return;
        }
        QPointer<QListWidget> list = ui.fields;
        GetPicture(item->data(kPictureRole).toString().toStdString(), [this, list, item](const std::string& p) {
            if (!list || p.empty()) return;
            for (int i = 0; i < list->count(); ++i) {
                if (list->item(i) != item) continue;
                item->setData(kPictureRole, QString::fromStdString(p));
                ShowClass();
            }
        });
    }
    void RunExport() {
        const std::optional<std::string> file = ChooseImexFile("Export File", true);
        if (!file) {
            CloseNow();
            return;
        }
        std::vector<ImexFieldEntry> chosen;
        for (int i = 0; i < ui.fields->count(); ++i)
            chosen.push_back({ui.fields->item(i)->text().toStdString(),
                              ui.fields->item(i)->data(kPictureRole).toString().toStdString()});
        auto run = std::make_shared<ExportRun>(member_, std::move(chosen), ui.header->isChecked(), *file);
        if (!run->Start()) {
            CloseNow();
            return;
        }
        RunInProgressWindow(run, "Exporting Records", [run] {
            const std::string stopped = run->StoppedText();
            if (!stopped.empty()) Message(stopped, "Export Not Completed", MessageIcon::Information);
        });
    }

    ExportLayout ui;
};

void StartExport(ImexKind kind) { (new ExportWindow(kind))->OpenOrCall(); }

}  // namespace

void ExportSchedule() { StartExport(ImexKind::Schedule); }
void ExportToDo() { StartExport(ImexKind::ToDo); }
void ExportContacts() { StartExport(ImexKind::Contacts); }

}  // namespace kr::reports
