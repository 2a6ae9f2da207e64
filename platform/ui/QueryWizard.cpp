#include "platform/ui/QueryWizard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "platform/runtime/Expression.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"

namespace kr {

namespace {

constexpr std::size_t kMaxQuery = 4096;

QString T(int id) { return QString::fromStdString(QueryWizardText(id)); }
// Message texts break lines at "|".
std::string Lines(int id) { return ReplaceAll(QueryWizardText(id), "|", "\n"); }

QPushButton* Button(QWidget* parent, int tipId) {
    auto* b = new QPushButton(T(tipId + 2), parent);
    b->setToolTip(T(tipId));
    b->setStatusTip(T(tipId + 1));
    b->setAutoDefault(false);
    return b;
}

// Field names (PREFIX:NAME) a query reads, outside its quoted texts.
std::vector<std::string> NamesIn(const std::string& expr) {
    std::vector<std::string> out;
    std::string bare;
    bool quote = false;
    for (char c : expr) {
        if (c == '\'') quote = !quote;
        bare += quote || c == '\'' ? ' ' : c;
    }
    static const QRegularExpression re("[A-Za-z_][A-Za-z0-9_]*:[A-Za-z0-9_:]+");
    auto it = re.globalMatch(QString::fromStdString(bare));
    while (it.hasNext()) out.push_back(it.next().captured(0).toStdString());
    return out;
}

}  // namespace

void TC_QWIZARD(const FieldsQueue& queue, const std::string& query, std::function<void(const std::string&)> done,
                QWidget* parent) {
    TCQW_Response() = 0;
    auto* w = new QueryWizardDialog(queue, query, parent);
    w->onClosed = std::move(done);
    w->open();
}

QueryWizardDialog::QueryWizardDialog(const FieldsQueue& queue, const std::string& query, QWidget* parent)
    : QDialog(parent), queue_(queue), original_(query), result_(query) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    setWindowTitle(T(171));
    Build();
    Load(query, false);
}

void QueryWizardDialog::Build() {
    auto* top = new QVBoxLayout(this);

    auto* savedRow = new QHBoxLayout;
    auto* savedLabel = new QLabel(T(202), this);
    saved = new QComboBox(this);
    saved->setObjectName("saved");
    savedLabel->setBuddy(saved);
    selectSaved = Button(this, 215);
    deleteSaved = Button(this, 209);
    savedRow->addWidget(savedLabel);
    savedRow->addWidget(saved, 1);
    savedRow->addWidget(selectSaved);
    savedRow->addWidget(deleteSaved);
    top->addLayout(savedRow);

    auto* current = new QGroupBox(T(154), this);
    auto* cl = new QVBoxLayout(current);
    conditions = new QListWidget(current);
    conditions->setObjectName("conditions");
    auto* hint = new QLabel(T(155) + "\n" + T(156), current);
    hint->setWordWrap(true);
    cl->addWidget(conditions);
    cl->addWidget(hint);
    top->addWidget(current, 1);

    auto* grid = new QGridLayout;
    auto* fl = new QLabel(T(158), this);
    field = new QComboBox(this);
    field->setObjectName("field");
    fl->setBuddy(field);
    field->setToolTip(T(166));
    for (const QueryField& f : queue_.fields) field->addItem(QString::fromStdString(f.label));
    auto* ol = new QLabel(T(164), this);
    operation = new QComboBox(this);
    operation->setObjectName("operation");
    operation->setToolTip(T(168));
    ol->setBuddy(operation);
    auto* vl = new QLabel(T(169), this);
    value = new QComboBox(this);
    value->setObjectName("value");
    value->setEditable(true);
    value->setToolTip(T(157));
    value->setInsertPolicy(QComboBox::NoInsert);
    vl->setBuddy(value);
    caseSensitive = new QCheckBox(T(162), this);
    grid->addWidget(fl, 0, 0);
    grid->addWidget(field, 0, 1);
    grid->addWidget(ol, 1, 0);
    grid->addWidget(operation, 1, 1);
    grid->addWidget(vl, 2, 0);
    grid->addWidget(value, 2, 1);
    grid->addWidget(caseSensitive, 3, 1);
    top->addLayout(grid);

    manualLabel_ = new QLabel(T(160), this);
    manual = new QPlainTextEdit(this);
    manual->setObjectName("manual");
    manualLabel_->setBuddy(manual);
    manual->setMaximumHeight(80);
    manualLabel_->setVisible(false);
    manual->setVisible(false);
    top->addWidget(manualLabel_);
    top->addWidget(manual);

    auto* descRow = new QHBoxLayout;
    auto* dl = new QLabel(T(236), this);
    description = new QLineEdit(this);
    description->setObjectName("description");
    description->setToolTip(T(232));
    dl->setBuddy(description);
    descRow->addWidget(dl);
    descRow->addWidget(description, 1);
    top->addLayout(descRow);

    auto* buttons = new QHBoxLayout;
    andButton = Button(this, 101);
    orButton = Button(this, 125);
    changeButton = Button(this, 110);
    deleteButton = Button(this, 113);
    manualButton = Button(this, 119);
    finishButton = Button(this, 116);
    cancelButton = Button(this, 107);
    finishButton->setDefault(true);
    for (QPushButton* b : {andButton, orButton, changeButton, deleteButton, manualButton, finishButton, cancelButton})
        buttons->addWidget(b);
    top->addLayout(buttons);

    connect(field, &QComboBox::currentIndexChanged, this, [this] { FieldChanged(); });
    connect(andButton, &QPushButton::clicked, this, [this] { AddCondition(false); });
    connect(orButton, &QPushButton::clicked, this, [this] { AddCondition(true); });
    connect(changeButton, &QPushButton::clicked, this, [this] { ChangeCondition(); });
    connect(deleteButton, &QPushButton::clicked, this, [this] { DeleteCondition(); });
    connect(manualButton, &QPushButton::clicked, this, [this] { SetManual(!manualMode_); });
    connect(finishButton, &QPushButton::clicked, this, [this] { Finish(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { reject(); });
    connect(conditions, &QListWidget::currentRowChanged, this, [this] { ConditionSelected(); });
    connect(selectSaved, &QPushButton::clicked, this, [this] { SelectSaved(); });
    connect(deleteSaved, &QPushButton::clicked, this, [this] { DeleteSaved(); });
    FillSaved();
    FieldChanged();
}

void QueryWizardDialog::FillSaved() {
    saved->clear();
    for (const SavedQuery& q : LoadSavedQueries(queue_.fileLabel)) saved->addItem(QString::fromStdString(q.description));
    selectSaved->setEnabled(saved->count() > 0);
    deleteSaved->setEnabled(saved->count() > 0);
}

void QueryWizardDialog::Load(const std::string& query, bool fromSaved) {
    conds_.clear();
    if (auto parsed = ParseQueryExpression(queue_, query)) {
        conds_ = *parsed;
        SetManual(false);
    } else {
        for (const std::string& n : NamesIn(query))
            if (!queue_.Find(n)) {
                Message(Lines(fromSaved ? 221 : 38), QueryWizardText(fromSaved ? 220 : 37), MessageIcon::Exclamation);
                break;
            }
        manual->setPlainText(QString::fromStdString(query));
        SetManual(true);
    }
    ShowConditions();
}

void QueryWizardDialog::FieldChanged() {
    operation->clear();
    value->clear();
    int i = field->currentIndex();
    if (i < 0 || i >= static_cast<int>(queue_.fields.size())) return;
    const QueryField& f = queue_.fields[static_cast<std::size_t>(i)];
    for (QueryOp op : QueryOpsFor(f)) operation->addItem(QString::fromStdString(QueryOpText(op)), static_cast<int>(op));
    if (f.entryKind == 3)
        for (const std::string& c : f.choices) value->addItem(QString::fromStdString(c));
    value->setCurrentText({});
    value->setEnabled(f.entryKind != 2 && !manualMode_);
    caseSensitive->setEnabled(f.dataKind == 1 && f.entryKind != 2 && !manualMode_);
}

bool QueryWizardDialog::TakeInputs(QueryCondition& c) {
    int i = field->currentIndex();
    if (i < 0 || i >= static_cast<int>(queue_.fields.size())) return false;
    c.field = queue_.fields[static_cast<std::size_t>(i)].name;
    c.op = static_cast<QueryOp>(operation->currentData().toInt());
    c.value = value->currentText().toStdString();
    c.caseSensitive = caseSensitive->isEnabled() && caseSensitive->isChecked();
    std::string error;
    if (BuildQueryExpression(queue_, {c}, &error).empty()) {
        Message(Lines(34) + "\n\n" + error, QueryWizardText(33), MessageIcon::Exclamation);
        return false;
    }
    return true;
}

void QueryWizardDialog::AddCondition(bool orJoin) {
    QueryCondition c;
    c.orJoin = orJoin;
    if (!TakeInputs(c)) return;
    conds_.push_back(c);
    ShowConditions();
    conditions->setCurrentRow(static_cast<int>(conds_.size()) - 1);
}

void QueryWizardDialog::ChangeCondition() {
    int row = conditions->currentRow();
    if (row < 0 || row >= static_cast<int>(conds_.size())) return;
    QueryCondition c = conds_[static_cast<std::size_t>(row)];
    if (!TakeInputs(c)) return;
    conds_[static_cast<std::size_t>(row)] = c;
    ShowConditions();
    conditions->setCurrentRow(row);
}

void QueryWizardDialog::DeleteCondition() {
    int row = conditions->currentRow();
    if (row < 0 || row >= static_cast<int>(conds_.size())) return;
    conds_.erase(conds_.begin() + row);
    ShowConditions();
}

void QueryWizardDialog::ConditionSelected() {
    int row = conditions->currentRow();
    if (row < 0 || row >= static_cast<int>(conds_.size())) return;
    const QueryCondition& c = conds_[static_cast<std::size_t>(row)];
    for (std::size_t i = 0; i < queue_.fields.size(); ++i)
        if (EqualNoCase(queue_.fields[i].name, c.field)) field->setCurrentIndex(static_cast<int>(i));
    int op = operation->findData(static_cast<int>(c.op));
    if (op >= 0) operation->setCurrentIndex(op);
    value->setCurrentText(QString::fromStdString(c.value));
    caseSensitive->setChecked(c.caseSensitive);
}

void QueryWizardDialog::ShowConditions() {
    conditions->clear();
    for (std::size_t i = 0; i < conds_.size(); ++i)
        conditions->addItem(QString::fromStdString(DescribeCondition(queue_, conds_[i], i == 0)));
    bool any = !conds_.empty() && !manualMode_;
    changeButton->setEnabled(any);
    deleteButton->setEnabled(any);
}

void QueryWizardDialog::SetManual(bool on) {
    if (on && !manualMode_) {
        if (!conds_.empty() || manual->toPlainText().isEmpty())
            manual->setPlainText(QString::fromStdString(BuildQueryExpression(queue_, conds_)));
    } else if (!on && manualMode_) {
        // Back to conditions only when the text reads as conditions.
        auto parsed = ParseQueryExpression(queue_, manual->toPlainText().toStdString());
        if (!parsed) return;
        conds_ = *parsed;
    }
    manualMode_ = on;
    manual->setVisible(on);
    manualLabel_->setVisible(on);
    for (QWidget* w : std::initializer_list<QWidget*>{conditions, field, operation, andButton, orButton})
        w->setEnabled(!on);
    FieldChanged();
    ShowConditions();
}

void QueryWizardDialog::Finish() {
    std::string expr;
    if (manualMode_) {
        expr = Trim(manual->toPlainText().toStdString());
        CompiledExpression ce = CompiledExpression::Compile(expr);
        if (!expr.empty() && !ce.ok()) {
            Message(Lines(34) + "\n\n" + ce.message(), QueryWizardText(33), MessageIcon::Exclamation);
            return;
        }
    } else {
        expr = BuildQueryExpression(queue_, conds_);
    }
    if (expr.size() > kMaxQuery) {
        Message(Lines(34), QueryWizardText(33), MessageIcon::Exclamation);
        return;
    }
    std::string desc = Trim(description->text().toStdString());
    if (!desc.empty() && !expr.empty()) {
        bool exists = false;
        for (const SavedQuery& q : LoadSavedQueries(queue_.fileLabel))
            if (EqualNoCase(q.description, desc) && q.expression != expr) exists = true;
        if (exists && !AskYesNo(QueryWizardText(36), QueryWizardText(35))) return;
        if (!SaveQuery(queue_.fileLabel, {desc, expr})) {
            Message(Lines(34), QueryWizardText(41), MessageIcon::Exclamation);
            return;
        }
    }
    result_ = expr;
    finished_ = true;
    accept();
}

void QueryWizardDialog::SelectSaved() {
    std::string desc = saved->currentText().toStdString();
    for (const SavedQuery& q : LoadSavedQueries(queue_.fileLabel))
        if (q.description == desc) {
            description->setText(QString::fromStdString(q.description));
            manual->clear();
            Load(q.expression, true);
        }
}

void QueryWizardDialog::DeleteSaved() {
    std::string desc = saved->currentText().toStdString();
    if (desc.empty()) return;
    if (!AskYesNo(QueryWizardText(234) + ": " + desc, QueryWizardText(234))) return;
    DeleteSavedQuery(queue_.fileLabel, desc);
    FillSaved();
}

void QueryWizardDialog::done(int r) {
    if (!reported_) {
        reported_ = true;
        TCQW_Response() = finished_ ? 1 : 0;
        std::string q = finished_ ? result_ : original_;
        QDialog::done(r);
        if (onClosed) onClosed(q);
        return;
    }
    QDialog::done(r);
}

}  // namespace kr
