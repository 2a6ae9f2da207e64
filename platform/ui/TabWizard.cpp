#include "platform/ui/TabWizard.h"

#include <QBoxLayout>
#include <QPushButton>
#include <QTabBar>

namespace kr {

void TabWizard::Init(QTabWidget* sheet, QAbstractButton* back, QAbstractButton* next, QAbstractButton* ok,
                     QAbstractButton* cancel, bool skipHidden, bool coexistOkNext, bool validateOnNext,
                     bool wizardMode) {
    sheet_ = sheet;
    back_ = back;
    next_ = next;
    ok_ = ok;
    cancel_ = cancel;
    skipHidden_ = skipHidden;
    coexistOkNext_ = coexistOkNext;
    validateOnNext_ = validateOnNext;
    SetTabRange();
    curTab_ = minTab_;
    wizardActive_ = wizardMode;
    if (wizardActive_) {
        if (sheet_) {
            // Wizard style: the tabs are not shown as tabs.
            sheet_->setProperty("krWizardSheet", true);
            sheet_->tabBar()->hide();
        }
        if (coexistOkNext_ && ok_ && next_) {
            // OK stands where Next stands; only one of them shows.
            QWidget* parent = next_->parentWidget();
            if (parent && parent == ok_->parentWidget() && parent->layout()) {
                if (auto* box = qobject_cast<QBoxLayout*>(parent->layout())) {
                    const int at = box->indexOf(next_);
                    if (at >= 0 && box->indexOf(ok_) >= 0) {
                        box->removeWidget(ok_);
                        box->insertWidget(box->indexOf(next_) + 1, ok_);
                    }
                }
            } else if (!parent || !parent->layout()) {
                ok_->move(next_->x(), ok_->y());
            }
            ok_->hide();
        }
    } else {
        if (ok_) ok_->show();
        if (back_) back_->hide();
        if (next_) next_->hide();
    }
    ResetButtons();
}

bool TabWizard::Hidden(int tab) const {
    return sheet_ && tab >= 1 && tab <= sheet_->count() && !sheet_->isTabVisible(tab - 1);
}

void TabWizard::SetTabRange() {
    const int count = sheet_ ? sheet_->count() : 0;
    minTab_ = 1;
    maxTab_ = count > 0 ? count : 1;
    if (!skipHidden_ || count == 0) return;
    int first = 0, last = 0;
    for (int t = 1; t <= count; ++t) {
        if (Hidden(t)) continue;
        if (!first) first = t;
        last = t;
    }
    // All hidden: the first tab, as though one were there.
    minTab_ = first ? first : 1;
    maxTab_ = last ? last : minTab_;
}

void TabWizard::Clamp() {
    if (curTab_ < minTab_) curTab_ = minTab_;
    if (curTab_ > maxTab_) curTab_ = maxTab_;
}

void TabWizard::NextTab() {
    if (validateOnNext_ && ValidateTab() != 0) return;
    SetTabRange();
    if (skipHidden_) {
        while (curTab_ < maxTab_) {
            ++curTab_;
            if (!Hidden(curTab_)) break;
        }
    } else {
        ++curTab_;
    }
    Clamp();
}

void TabWizard::PreviousTab() {
    SetTabRange();
    if (skipHidden_) {
        while (curTab_ > minTab_) {
            --curTab_;
            if (!Hidden(curTab_)) break;
        }
    } else {
        --curTab_;
    }
    Clamp();
}

QAbstractButton* TabWizard::DefaultButton() const {
    return wizardActive_ && curTab_ != maxTab_ ? next_.data() : ok_.data();
}

void TabWizard::MakeDefault(QAbstractButton* b, bool on) {
    if (auto* p = qobject_cast<QPushButton*>(b)) {
        p->setDefault(on);
        p->setAutoDefault(on);
    }
}

void TabWizard::ResetButtons() {
    if (!wizardActive_) return;
    MakeDefault(ok_, false);
    MakeDefault(next_, true);
    if (coexistOkNext_) {
        if (ok_) ok_->hide();
        if (next_) next_->show();
    }
    if (back_) back_->setEnabled(curTab_ != minTab_);
    if (next_) next_->setEnabled(true);
    if (curTab_ == maxTab_) {
        if (coexistOkNext_) {
            if (ok_) ok_->show();
            if (next_) next_->hide();
        }
        MakeDefault(next_, false);
        MakeDefault(ok_, true);
        if (next_) next_->setEnabled(false);
    }
    if (sheet_ && sheet_->currentIndex() != curTab_ - 1) sheet_->setCurrentIndex(curTab_ - 1);
    if (sheet_ && sheet_->window()) sheet_->window()->update();
}

void TabWizard::HandleAccepted(QObject* control) {
    if (!control) return;
    if (control == back_) {
        PreviousTab();
        AfterBack();
        ResetButtons();
    } else if (control == next_) {
        NextTab();
        AfterNext();
        ResetButtons();
        if (validateOnNext_ && ValidateTab() != 0)
            if (QAbstractButton* d = DefaultButton()) d->setEnabled(false);
    } else if (sheet_ && (control == sheet_ || control == sheet_->tabBar())) {
        // A tab chosen on the sheet itself: the buttons follow it.
        if (sheet_->currentIndex() >= 0) curTab_ = sheet_->currentIndex() + 1;
        SetTabRange();
        Clamp();
        ResetButtons();
    } else if (validateOnNext_ && wizardActive_ && control != ok_ && control != cancel_) {
        // A control of the tab on show: once the tab passes its check, the
        // default button that its failed check disabled is usable again.
        if (auto* w = qobject_cast<QWidget*>(control); w && sheet_ && !sheet_->currentWidget()->isAncestorOf(w))
            return;
        QAbstractButton* d = DefaultButton();
        if (d && !d->isEnabled() && ValidateTab() == 0) d->setEnabled(true);
    }
}

}  // namespace kr
