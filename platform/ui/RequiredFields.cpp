#include "platform/ui/RequiredFields.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QDoubleValidator>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <algorithm>
#include <map>

#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/ui/WindowManager.h"

namespace kr {

namespace {

const char* const kRequired = "krRequired";
const char* const kField = "krField";

// The runtime's data-entry controls: entries, spin boxes, drop lists and texts.
bool IsEntryControl(const QWidget* w) {
    return WindowManager::IsDataControl(w) &&
           (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
            qobject_cast<const QComboBox*>(w) || qobject_cast<const QTextEdit*>(w) ||
            qobject_cast<const QPlainTextEdit*>(w));
}

bool IsReadOnly(const QWidget* w) {
    if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->isReadOnly();
    if (auto* s = qobject_cast<const QAbstractSpinBox*>(w)) return s->isReadOnly();
    if (auto* t = qobject_cast<const QTextEdit*>(w)) return t->isReadOnly();
    if (auto* p = qobject_cast<const QPlainTextEdit*>(w)) return p->isReadOnly();
    return false;
}

// Hidden by the form itself (the control or a group around it), as opposed to
// standing on a tab page that is not showing.
bool HiddenByForm(const QWidget* w, const QWidget* window) {
    for (const QWidget* p = w; p && p != window; p = p->parentWidget()) {
        bool explicitlyHidden = p->testAttribute(Qt::WA_WState_Hidden) && p->testAttribute(Qt::WA_WState_ExplicitShowHide);
        if (explicitlyHidden && !qobject_cast<const QStackedWidget*>(p->parentWidget())) return true;
    }
    return false;
}

// Brings the control's tab pages forward and gives it the focus.
void Select(QWidget* w) {
    for (QWidget* p = w; p && !p->isWindow(); p = p->parentWidget()) {
        auto* stack = qobject_cast<QStackedWidget*>(p->parentWidget());
        if (!stack) continue;
        if (auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget()))
            tabs->setCurrentWidget(p);
        else
            stack->setCurrentWidget(p);
    }
    w->setFocus(Qt::OtherFocusReason);
    if (auto* e = qobject_cast<QLineEdit*>(w)) e->selectAll();
}

bool StartsWithNoCase(std::string_view s, std::size_t at, std::string_view what) {
    if (s.size() - at < what.size()) return false;
    return EqualNoCase(s.substr(at, what.size()), what);
}

}  // namespace

std::string CleanPrompt(const std::string& prompt) {
    std::string out;
    for (char c : prompt)
        if (c != '&' && c != ':') out += c;
    return Trim(out);
}

void RequiredFields::MarkRequired(QWidget* control, bool required) {
    if (control) control->setProperty(kRequired, required);
}

bool RequiredFields::IsRequired(const QWidget* control) { return control && control->property(kRequired).toBool(); }

void RequiredFields::SetFieldName(QWidget* control, const std::string& fieldName) {
    if (control) control->setProperty(kField, QString::fromStdString(fieldName));
}

void RequiredFields::Init(QWidget* window, const std::string& title, const std::string& text,
                          bool validateOnFieldAccept) {
    window_ = window;
    title_ = title;
    text_ = text;
    validateOnFieldAccept_ = validateOnFieldAccept;
    rows_.clear();
    if (!window) return;
    const std::vector<QWidget*> all = WindowManager::ControlsInOrder(window);
    std::map<const QWidget*, QString> buddyPrompt;
    for (QWidget* w : all)
        if (auto* l = qobject_cast<QLabel*>(w); l && l->buddy()) buddyPrompt[l->buddy()] = l->text();
    std::string lastPrompt;
    int order = 0;
    for (QWidget* w : all) {
        ++order;
        if (auto* l = qobject_cast<QLabel*>(w)) {
            lastPrompt = CleanPrompt(l->text().left(40).toStdString());
            continue;
        }
        if (!IsEntryControl(w) || !IsRequired(w)) continue;
        Row r;
        r.control = w;
        r.order = order;
        auto b = buddyPrompt.find(w);
        r.prompt = b != buddyPrompt.end() ? CleanPrompt(b->second.left(40).toStdString()) : lastPrompt;
        r.message = w->statusTip().toStdString();
        r.tip = w->toolTip().toStdString();
        r.fieldName = w->property(kField).toString().toStdString();
        rows_.push_back(std::move(r));
    }
}

void RequiredFields::SetMessage(QWidget* control, bool addIfMissing, const std::string& prompt,
                                const std::string& message, const std::string& tip, const std::string& fieldName) {
    if (!control) return;
    auto i = std::find_if(rows_.begin(), rows_.end(), [control](const Row& r) { return r.control == control; });
    if (i == rows_.end()) {
        if (!addIfMissing || !window_) return;
        Row r;
        r.control = control;
        const std::vector<QWidget*> all = WindowManager::ControlsInOrder(window_);
        r.order = static_cast<int>(std::find(all.begin(), all.end(), control) - all.begin()) + 1;
        MarkRequired(control);
        auto at = std::upper_bound(rows_.begin(), rows_.end(), r.order,
                                   [](int order, const Row& row) { return order < row.order; });
        i = rows_.insert(at, std::move(r));
    }
    i->prompt = CleanPrompt(prompt);
    i->message = message;
    i->tip = tip;
    i->fieldName = fieldName;
}

bool RequiredFields::IsEmpty(const QWidget* w) {
    if (auto* e = qobject_cast<const QLineEdit*>(w)) {
        QString t = e->text().trimmed();
        if (t.isEmpty()) return true;
        if (qobject_cast<const QIntValidator*>(e->validator()) || qobject_cast<const QDoubleValidator*>(e->validator())) {
            bool ok = false;
            double v = t.toDouble(&ok);
            return ok && v == 0;
        }
        return false;
    }
    if (auto* s = qobject_cast<const QSpinBox*>(w)) return s->value() == 0;
    if (auto* d = qobject_cast<const QDoubleSpinBox*>(w)) return d->value() == 0;
    if (auto* a = qobject_cast<const QAbstractSpinBox*>(w)) {
        QString t = a->text().trimmed();
        return t.isEmpty() || (!a->specialValueText().isEmpty() && t == a->specialValueText().trimmed());
    }
    if (auto* c = qobject_cast<const QComboBox*>(w)) return c->currentText().trimmed().isEmpty();
    if (auto* t = qobject_cast<const QTextEdit*>(w)) return t->toPlainText().trimmed().isEmpty();
    if (auto* p = qobject_cast<const QPlainTextEdit*>(w)) return p->toPlainText().trimmed().isEmpty();
    return false;
}

QWidget* RequiredFields::Check(bool onlyVisible) {
    for (const Row& r : rows_) {
        QWidget* c = r.control;
        if (!c || !c->isEnabled() || IsReadOnly(c) || HiddenByForm(c, window_)) continue;
        if (onlyVisible && window_ && !c->isVisibleTo(window_)) continue;
        if (!IsRequired(c) || !IsEmpty(c)) continue;
        Select(c);
        ShowMessage(r);
        return c;
    }
    return nullptr;
}

std::string RequiredFields::MessageFor(const Row& row) const {
    // One pass from left to right: a replacement is never searched again, so a
    // prompt that holds a placeholder itself cannot make the text grow without end.
    const std::pair<std::string_view, std::string> kinds[] = {
        {"@PROMPT", "\"" + ClipRight(row.prompt) + "\""},
        {"@MSG", ClipRight(row.message)},
        {"@TIP", ClipRight(row.tip)},
        {"@FIELD", "\"" + ClipRight(row.fieldName) + "\""},
    };
    std::string out;
    for (std::size_t i = 0; i < text_.size();) {
        bool replaced = false;
        for (const auto& [what, with] : kinds) {
            if (StartsWithNoCase(text_, i, what)) {
                out += with;
                i += what.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) out += text_[i++];
    }
    if (out.size() > 1024) out.resize(1024);
    return out;
}

void RequiredFields::ShowMessage(const Row& row) const {
    Message(MessageFor(row), title_, MessageIcon::Exclamation, kButtonOk);
}

void RequiredFields::Kill() {
    rows_.clear();
    window_ = nullptr;
}

}  // namespace kr
