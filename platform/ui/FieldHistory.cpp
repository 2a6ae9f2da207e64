#include "platform/ui/FieldHistory.h"

#include "platform/data/FileManager.h"
#include "platform/runtime/ProcedureContext.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTextEdit>
#include <memory>
#include <mutex>

namespace kr {

namespace {

std::mutex& CopiesMutex() {
    static std::mutex m;
    return m;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The radio buttons of a registered container, in window order.
QList<QAbstractButton*> RadiosOf(QWidget* container) {
    QList<QAbstractButton*> radios;
    for (QRadioButton* r : container->findChildren<QRadioButton*>()) radios.push_back(r);
    return radios;
}

bool Editable(const QWidget* w) {
    if (!w || !w->isEnabled()) return false;
    if (auto* e = qobject_cast<const QLineEdit*>(w)) return !e->isReadOnly();
    if (auto* t = qobject_cast<const QPlainTextEdit*>(w)) return !t->isReadOnly();
    if (auto* t = qobject_cast<const QTextEdit*>(w)) return !t->isReadOnly();
    if (auto* s = qobject_cast<const QAbstractSpinBox*>(w)) return !s->isReadOnly();
    return true;
}

// Checks the button whose text is value (none: all cleared), as a click.
bool PutRadio(const QList<QAbstractButton*>& buttons, const std::string& value) {
    if (value.empty()) {
        for (QAbstractButton* b : buttons) {
            if (!b->isChecked()) continue;
            const bool exclusive = b->autoExclusive();
            b->setAutoExclusive(false);
            b->setChecked(false);
            b->setAutoExclusive(exclusive);
        }
        return true;
    }
    for (QAbstractButton* b : buttons) {
        if (b->text().toStdString() != value) continue;
        if (!b->isEnabled()) return false;
        b->click();
        if (!b->isChecked()) b->setChecked(true);
        return true;
    }
    return false;
}

}  // namespace

FieldHistoryCopy& FieldHistoryCopy::For(const std::string& form) {
    static std::map<std::string, std::unique_ptr<FieldHistoryCopy>> copies;
    std::lock_guard lock(CopiesMutex());
    auto& c = copies[form];
    if (!c) c = std::make_unique<FieldHistoryCopy>();
    return *c;
}

void FieldHistoryCopy::Clear() {
    std::lock_guard lock(CopiesMutex());
    saved_ = false;
    values_.clear();
}

void FieldHistoryCopy::Set(std::map<std::string, std::string> values) {
    std::lock_guard lock(CopiesMutex());
    values_ = std::move(values);
    saved_ = true;
}

std::optional<std::string> FieldHistoryCopy::Get(const std::string& field) const {
    std::lock_guard lock(CopiesMutex());
    if (!saved_) return std::nullopt;
    auto it = values_.find(field);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

FieldHistory::FieldHistory(std::string form, QObject* parent)
    : FieldHistory(std::move(form), HistoryKey::Apostrophe, parent) {}

FieldHistory::FieldHistory(std::string form, HistoryKey key, QObject* parent)
    : QObject(parent), form_(std::move(form)), key_(key) {
    FieldHistoryCopy::For(form_);
}

FieldHistory::~FieldHistory() {
    if (thread_) data::FileManager::ForgetTypedValues(thread_, this);
}

void FieldHistory::Add(QWidget* control, std::string field) {
    if (!control) return;
    if (!thread_) {
        // A change refused on this form's thread keeps what was typed.
        thread_ = CurrentProcedureThread();
        data::FileManager::KeepTypedValues(thread_, this, [this] { Remember(); });
    }
    if (field.empty()) field = control->objectName().toStdString();
    if (field.empty()) field = "#" + std::to_string(entries_.size() + 1);
    entries_.push_back({std::move(field), control, nullptr, {}, {}});
    Watch(control);
    for (QWidget* w : control->findChildren<QWidget*>()) Watch(w);
}

void FieldHistory::Add(QWidget* control, std::string field, std::function<std::string()> get,
                       std::function<bool(const std::string&)> put) {
    Add(control, std::move(field));
    if (entries_.empty() || entries_.back().control != control) return;
    entries_.back().get = std::move(get);
    entries_.back().put = std::move(put);
}

void FieldHistory::Add(QButtonGroup* group, std::string field) {
    if (!group) return;
    entries_.push_back({std::move(field), nullptr, group, {}, {}});
    for (QAbstractButton* b : group->buttons()) Watch(b);
}

void FieldHistory::Watch(QWidget* w) { w->installEventFilter(this); }

std::string FieldHistory::ValueOf(const Entry& e) {
    if (e.get) return e.get();
    if (e.group) {
        QAbstractButton* b = e.group->checkedButton();
        return b ? b->text().toStdString() : std::string();
    }
    QWidget* w = e.control;
    if (!w) return {};
    if (auto* l = qobject_cast<QLineEdit*>(w)) return l->text().toStdString();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText().toStdString();
    if (auto* c = qobject_cast<QCheckBox*>(w)) return std::to_string(static_cast<int>(c->checkState()));
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->isChecked() ? "1" : "0";
    if (auto* s = qobject_cast<QSpinBox*>(w)) return std::to_string(s->value());
    if (auto* s = qobject_cast<QDoubleSpinBox*>(w)) return QString::number(s->value(), 'g', 17).toStdString();
    if (auto* d = qobject_cast<QDateTimeEdit*>(w)) return d->dateTime().toString(Qt::ISODateWithMs).toStdString();
    if (auto* t = qobject_cast<QPlainTextEdit*>(w)) return t->toPlainText().toStdString();
    if (auto* t = qobject_cast<QTextEdit*>(w)) return t->toPlainText().toStdString();
    for (QAbstractButton* b : RadiosOf(w))
        if (b->isChecked()) return b->text().toStdString();
    return {};
}

bool FieldHistory::Put(const Entry& e, const std::string& value) {
    if (e.group) return PutRadio(e.group->buttons(), value);
    QWidget* w = e.control;
    if (!Editable(w)) return false;
    if (e.put) return e.put(value);
    if (auto* l = qobject_cast<QLineEdit*>(w)) {
        l->setText(Q(value));
        l->setModified(true);
        emit l->textEdited(l->text());
        return true;
    }
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        const int i = c->findText(Q(value));
        if (i >= 0) {
            c->setCurrentIndex(i);
            emit c->activated(i);
            return true;
        }
        if (!c->isEditable()) return false;
        c->setEditText(Q(value));
        if (QLineEdit* l = c->lineEdit()) {
            l->setModified(true);
            emit l->textEdited(l->text());
        }
        return true;
    }
    if (auto* c = qobject_cast<QCheckBox*>(w)) {
        const auto state = static_cast<Qt::CheckState>(std::atoi(value.c_str()));
        if (c->checkState() == state) return true;
        if (c->isTristate()) {
            c->setCheckState(state);
            emit c->clicked(c->isChecked());
        } else {
            c->click();
        }
        return true;
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        if (b->isCheckable() && b->isChecked() != (value == "1")) b->click();
        return true;
    }
    if (auto* s = qobject_cast<QSpinBox*>(w)) {
        s->setValue(std::atoi(value.c_str()));
        return true;
    }
    if (auto* s = qobject_cast<QDoubleSpinBox*>(w)) {
        s->setValue(std::atof(value.c_str()));
        return true;
    }
    if (auto* d = qobject_cast<QDateTimeEdit*>(w)) {
        d->setDateTime(QDateTime::fromString(Q(value), Qt::ISODateWithMs));
        return true;
    }
    if (auto* t = qobject_cast<QPlainTextEdit*>(w)) {
        t->setPlainText(Q(value));
        t->document()->setModified(true);
        return true;
    }
    if (auto* t = qobject_cast<QTextEdit*>(w)) {
        t->setPlainText(Q(value));
        t->document()->setModified(true);
        return true;
    }
    const auto radios = RadiosOf(w);
    if (!radios.isEmpty()) return PutRadio(radios, value);
    return false;
}

FieldHistory::Entry* FieldHistory::Find(QWidget* w) {
    for (QWidget* p = w; p; p = p->isWindow() ? nullptr : p->parentWidget()) {
        for (Entry& e : entries_) {
            if (e.control && e.control == p) return &e;
            if (e.group && p == w)
                if (auto* b = qobject_cast<QAbstractButton*>(p); b && e.group->buttons().contains(b)) return &e;
        }
    }
    return nullptr;
}

void FieldHistory::Remember() {
    if (entries_.empty()) return;  // a window that registered nothing keeps the copy
    std::map<std::string, std::string> values;
    for (const Entry& e : entries_)
        if (e.control || e.group) values[e.field] = ValueOf(e);
    copy().Set(std::move(values));
}

bool FieldHistory::Recall(QWidget* control) {
    Entry* e = Find(control);
    if (!e) return false;
    const std::optional<std::string> value = copy().Get(e->field);
    if (!value) return false;
    if (!Put(*e, *value)) return false;
    if (onRecall) {
        QWidget* target = e->control;
        if (e->group) target = e->group->checkedButton();
        onRecall(target);
    }
    return true;
}

bool FieldHistory::IsHistoryKey(const QKeyEvent* event, HistoryKey which) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (mods != Qt::ControlModifier) return false;
    const bool grave = which == HistoryKey::Grave;
    const int key = event->key();
    if (grave ? key == Qt::Key_QuoteLeft || key == Qt::Key_Dead_Grave
              : key == Qt::Key_Apostrophe || key == Qt::Key_Dead_Acute)
        return true;
    // X keysyms grave/dead_grave or apostrophe/dead_acute, when the layout
    // gives Qt no key.
    const quint32 sym = event->nativeVirtualKey();
    return key == 0 && (grave ? sym == 0x60 || sym == 0xfe50 : sym == 0x27 || sym == 0xfe51);
}

bool FieldHistory::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride) return false;
    auto* k = static_cast<QKeyEvent*>(event);
    if (!IsHistoryKey(k, key_)) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || !Find(w)) return false;
    if (type == QEvent::ShortcutOverride) {
        // The key is this control's, not a window shortcut's.
        event->accept();
        return true;
    }
    Recall(w);
    return true;
}

}  // namespace kr
