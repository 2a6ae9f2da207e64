// "Assign fields for Import...": one window over the three target tables.
// The file is chosen first; its first line gives the columns (and, when it
// holds field names, "A&uto" maps them), "&Next" shows the lines that
// follow, and OK adds one record per line in a progress window.
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/runtime/Services.h"
#include "reports/windows/ExchangeWindowParts.h"
#include "reports/windows/ExchangeWindows.h"

namespace kr::reports {

namespace {

QTreeWidget* Columns(QWidget* parent, const char* name, const QStringList& headers) {
    auto* t = new QTreeWidget(parent);
    t->setObjectName(name);
    t->setRootIsDecorated(false);
    t->setHeaderLabels(headers);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setMinimumHeight(t->fontMetrics().height() * 16);
    t->setMinimumWidth(t->fontMetrics().horizontalAdvance(QString(44, 'x')));
    return t;
}

struct ImportLayout {
    QWidget* window = nullptr;
    QTreeWidget* columns = nullptr;
    QTreeWidget* targets = nullptr;
    QPushButton *next = nullptr, *picture = nullptr, *assign = nullptr, *autoAssign = nullptr,
                *unassign = nullptr;
    QLabel* record = nullptr;
    QCheckBox* header = nullptr;
    QPushButton *ok = nullptr, *cancel = nullptr;

    void Build() {
        window = new QWidget;
        window->setFont(QFont("Arial"));
        auto* v = new QVBoxLayout(window);
        auto* lists = new QHBoxLayout;
        columns = Columns(window, "importFields", {"Import Field", "Picture", "Value"});
        targets = Columns(window, "targetFields", {"Target Field", "=", "Import Field"});
        lists->addWidget(columns, 1);
        lists->addWidget(targets, 1);
        v->addLayout(lists);
        auto* row = new QHBoxLayout;
        next = ExchangeButton(window, "&Next", "next");
        record = new QLabel("1", window);
        record->setObjectName("recordNumber");
        record->setMinimumWidth(record->fontMetrics().horizontalAdvance("0000000"));
        picture = ExchangeButton(window, "&Picture", "picture");
        assign = ExchangeButton(window, "&Assign", "assign");
        autoAssign = ExchangeButton(window, "A&uto", "auto");
        unassign = ExchangeButton(window, "&Unassign", "unassign");
        row->addWidget(next);
        row->addWidget(new QLabel("Rec#", window));
        row->addWidget(record);
        row->addStretch();
        for (QPushButton* b : {picture, assign, autoAssign, unassign}) row->addWidget(b);
        v->addLayout(row);
        header = new QCheckBox("Strip &header record (field names)", window);
        header->setObjectName("header");
        v->addWidget(header);
        AddExchangeOkCancel(window, v, ok, cancel);
    }
};

class ImportWindow : public ExchangeWindow {
public:
    explicit ImportWindow(ImexKind kind) : ExchangeWindow(Member(kind).importProcedure, Member(kind)) {}

protected:
    QWidget* MakeWindow() override {
        ui.Build();
        return ui.window;
    }
    bool Init() override {
        if (!OpenMemberTable()) return false;
        reader_ = std::make_shared<Imex>();
        if (!ChooseFile()) return false;
        const ImportColumns cols = ScanImportColumns(*reader_);
        values_ = cols.values;
        mapping_.columnPictures = cols.pictures;
        mapping_.targetColumn.assign(member_.fields.size(), -1);

        SetTitle("Assign fields for Import...");
        SetOkControl(ui.ok);
        SetCancelControl(ui.cancel);
        for (std::size_t c = 0; c < values_.size(); ++c) new QTreeWidgetItem(ui.columns);
        for (const ImexFieldEntry& f : member_.fields)
            new QTreeWidgetItem(ui.targets, {QString::fromStdString(f.name), QString(), QString()});
        ShowColumns();
        if (ui.columns->topLevelItemCount() > 0) ui.columns->setCurrentItem(ui.columns->topLevelItem(0));
        if (ui.targets->topLevelItemCount() > 0) ui.targets->setCurrentItem(ui.targets->topLevelItem(0));
        for (QTreeWidget* t : {ui.columns, ui.targets})
            t->header()->resizeSections(QHeaderView::ResizeToContents);
        QObject::connect(ui.columns, &QTreeWidget::currentItemChanged, this, [this] { ColumnChosen(); });
        QObject::connect(ui.targets, &QTreeWidget::currentItemChanged, this, [this] { TargetChosen(); });
        ui.header->setChecked(true);
        Auto();
        ColumnChosen();
        return true;
    }
    void TakeOpened() override { ui.columns->setFocus(); }
    void TakeAccepted(QObject* c) override {
        if (AcceptingAll()) return;
        if (c == ui.next) Next();
        else if (c == ui.picture) EditPicture();
        else if (c == ui.assign) Assign();
        else if (c == ui.autoAssign) Auto();
        else if (c == ui.unassign) Unassign();
    }
    bool TakeCompleted() override {
        bool any = false;
        for (int c : mapping_.targetColumn) any = any || c >= 0;
        if (!any) {
            Message("You must select one or more fields to import.", "No Fields Selected for Import!",
                    MessageIcon::Information);
            return false;
        }
        RunImport();
        return false;  // the window closes once the import is over
    }
    void Kill() override {
        ExchangeWindow::Kill();
        reader_.reset();
    }

private:
    // The file dialog until a file with something in it is chosen.
    bool ChooseFile() {
        for (;;) {
            const std::optional<std::string> file = ChooseImexFile("Import File", false);
            if (!file) return false;
            ImexError e;
            if (OpenImportFile(*reader_, *file, e) > 0) return true;
            if (e.code != 0) {
                Message(e.Message(), "Cannot OPEN " + *file, MessageIcon::Hand);
                return false;
            }
            Message("That file is empty!  Please pick another file.", "Attention!", MessageIcon::Information);
        }
    }
    int Row(QTreeWidget* t) const {
        QTreeWidgetItem* item = t->currentItem();
        return item ? t->indexOfTopLevelItem(item) : -1;
    }
    static QString ColumnName(int c) { return QString("Field_%1").arg(c + 1); }
    void ShowColumns() {
        for (int c = 0; c < ui.columns->topLevelItemCount(); ++c) {
            QTreeWidgetItem* item = ui.columns->topLevelItem(c);
            const std::size_t k = static_cast<std::size_t>(c);
            item->setText(0, ColumnName(c));
            item->setText(1, QString::fromStdString(PictureClassText(mapping_.columnPictures[k], true)));
            item->setText(2, QString::fromStdString(values_[k]));
        }
    }
    void ShowTarget(int t) {
        QTreeWidgetItem* item = ui.targets->topLevelItem(t);
        const int c = mapping_.targetColumn[static_cast<std::size_t>(t)];
        item->setText(1, c >= 0 ? "=" : "");
        item->setText(2, c >= 0 ? ColumnName(c) : QString());
    }
    void ColumnChosen() {
        if (syncing_) return;
        const int c = Row(ui.columns);
        for (std::size_t t = 0; t < mapping_.targetColumn.size(); ++t) {
            if (c < 0 || mapping_.targetColumn[t] != c) continue;
            syncing_ = true;
            ui.targets->setCurrentItem(ui.targets->topLevelItem(static_cast<int>(t)));
            syncing_ = false;
            return;
        }
    }
    void TargetChosen() {
        if (syncing_) return;
        const int t = Row(ui.targets);
        if (t < 0) return;
        const int c = mapping_.targetColumn[static_cast<std::size_t>(t)];
        if (c < 0) return;
        syncing_ = true;
        ui.columns->setCurrentItem(ui.columns->topLevelItem(c));
        syncing_ = false;
    }
    void Next() {
        if (!NextImportValues(*reader_, values_)) {
            ui.next->setEnabled(false);
            return;
        }
        ui.record->setNum(ui.record->text().toInt() + 1);
        ui.autoAssign->setEnabled(false);
        ShowColumns();
    }
    void EditPicture() {
        const int c = Row(ui.columns);
        if (c < 0) return;
        QPointer<QTreeWidget> list = ui.columns;
        GetPicture(mapping_.columnPictures[static_cast<std::size_t>(c)], [this, list, c](const std::string& p) {
            if (!list) return;
            if (!p.empty()) {
                mapping_.columnPictures[static_cast<std::size_t>(c)] = p;
                ShowColumns();
            }
            list->setFocus();
        });
    }
    void Assign() {
        const int c = Row(ui.columns), t = Row(ui.targets);
        if (c < 0 || t < 0) return;
        mapping_.targetColumn[static_cast<std::size_t>(t)] = c;
        ShowTarget(t);
        ui.targets->setFocus();
    }
    void Unassign() {
        const int t = Row(ui.targets);
        if (t < 0) return;
        mapping_.targetColumn[static_cast<std::size_t>(t)] = -1;
        ShowTarget(t);
        ui.targets->setFocus();
    }
    void Auto() {
        AutoAssign(member_, values_, mapping_);
        for (int t = 0; t < ui.targets->topLevelItemCount(); ++t) ShowTarget(t);
        ShowColumns();
        ui.header->setChecked(true);
    }
    void RunImport() {
        auto run = std::make_shared<ImportRun>(member_, reader_, mapping_, ui.header->isChecked());
        if (!run->Start()) {
            CloseNow();
            return;
        }
        RunInProgressWindow(run, "Importing Records", [run] {
            (void)Message(run->Summary(), "Import", MessageIcon::Information);
        });
    }

    ImportLayout ui;
    std::shared_ptr<Imex> reader_;
    std::vector<std::string> values_;
    ImportMapping mapping_;
    bool syncing_ = false;
};

void StartImport(ImexKind kind) { (new ImportWindow(kind))->OpenOrCall(); }

}  // namespace

void ImportSchedule() { StartImport(ImexKind::Schedule); }
void ImportContacts() { StartImport(ImexKind::Contacts); }
void ImportToDo() { StartImport(ImexKind::ToDo); }

}  // namespace kr::reports
