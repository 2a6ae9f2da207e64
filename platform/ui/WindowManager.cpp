#include "platform/ui/WindowManager.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QPushButton>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

#include "platform/runtime/ProcedureContext.h"
#include "platform/runtime/Services.h"
#include "platform/ui/Icons.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/Requests.h"
#include "platform/ui/RequiredFields.h"
#include "platform/ui/WindowPosition.h"

namespace kr {

namespace {

const char* const kWired = "krWired";
const char* const kDirty = "krDirty";

bool IsRawDataControl(const QWidget* w) {
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QTextEdit*>(w) ||
           qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QCheckBox*>(w) ||
           qobject_cast<const QRadioButton*>(w);
}

// A part of another control (the entry of a spin box or an editable combo
// box, the scroll arrows of a tab bar), not a control of its own.
bool IsInnerPart(const QWidget* w) {
    for (const QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget()) {
        if (IsRawDataControl(p) || qobject_cast<const QTabBar*>(p) || qobject_cast<const QAbstractItemView*>(p))
            return true;
    }
    return false;
}

// The innermost window of a thread that stays: windows on their way out (a
// called window opened from a closing window's Kill, or while its windows
// close first) are passed over, since a window stacked over them would be
// destroyed with them and never show nor answer.
QWidget* StayingWindowOf(int thread) {
    const std::vector<QWidget*> windows = WindowsOf(thread);
    for (auto w = windows.rbegin(); w != windows.rend(); ++w) {
        bool leaving = false;
        for (QObject* child : (*w)->children())
            if (auto* m = dynamic_cast<WindowManager*>(child); m && m->Leaving()) leaving = true;
        if (!leaving) return *w;
    }
    return nullptr;
}

}  // namespace

bool WindowManager::IsDataControl(const QWidget* w) { return w && IsRawDataControl(w) && !IsInnerPart(w); }

std::vector<QWidget*> WindowManager::ControlsInOrder(QWidget* window) {
    std::vector<QWidget*> out;
    if (!window) return out;
    // The focus chain holds every widget of the window once; widgets of other
    // windows (dialogs parented to this one) are left out.
    const int limit = static_cast<int>(window->findChildren<QWidget*>().size()) + 1;
    for (QWidget* w = window->nextInFocusChain(); w && w != window && static_cast<int>(out.size()) < limit;
         w = w->nextInFocusChain()) {
        if (w->window() == window) out.push_back(w);
    }
    return out;
}

std::string WindowManager::ViewTitle(std::string_view title) {
    std::size_t blank = title.find(' ');
    if (blank == std::string_view::npos) return "View";
    return "View" + std::string(title.substr(blank));
}

WindowManager::WindowManager(std::string procedureName) : procedureName_(std::move(procedureName)) {}

WindowManager::~WindowManager() = default;

bool WindowManager::Open() { return OpenWindow(false); }

bool WindowManager::Call(std::function<void(int response)> done) {
    done_ = std::move(done);
    caller_ = StayingWindowOf(CurrentProcedureThread());
    return OpenWindow(true);
}

bool WindowManager::OpenWindow(bool modal) {
    thread_ = CurrentProcedureThread();
    modal_ = modal;
    if (!requestSet_) request_ = GlobalRequest();
    GlobalRequest() = kNoRequest;
    GlobalResponse() = kNoResponse;
    response_ = kRequestCancelled;

    auto fail = [this] {
        closing_ = true;
        DeliverResponse();
        if (window_) {
            window_->removeEventFilter(this);
            DetachWindow(window_);
            window_->hide();
            window_->deleteLater();  // takes this manager with it
        }
        else
            deleteLater();
        return false;
    };

    if (singleInstance_ && request_ != kSelectRecord) {
        if (!RegisterInstance(procedureName_)) return fail();
        instanceRegistered_ = true;
    }
    window_ = MakeWindow();
    if (!window_) {
        if (instanceRegistered_) UnregisterInstance(procedureName_);
        return fail();
    }
    setParent(window_);
    window_->setAttribute(Qt::WA_DeleteOnClose);
    if (!iconName_.empty())
        if (const QIcon icon = IconByName(iconName_); !icon.isNull()) window_->setWindowIcon(icon);
    if (modal) {
        // A called window is a dialog of its caller, so the window manager keeps
        // it over the caller and places it there. A widget made without a parent
        // already reads as a plain window: that type becomes a dialog too; tool
        // windows and other special types keep theirs.
        Qt::WindowFlags flags = window_->windowFlags();
        const Qt::WindowFlags type = flags & Qt::WindowType_Mask;
        if (type == Qt::Widget || type == Qt::Window) flags = (flags & ~Qt::WindowType_Mask) | Qt::Dialog;
        window_->setParent(caller_, flags);
        window_->setWindowModality(caller_ ? Qt::WindowModal : Qt::ApplicationModal);
    }
    if (window_->windowTitle().isEmpty()) window_->setWindowTitle(QString::fromStdString(procedureName_));
    AttachWindow(window_, procedureName_);
    window_->installEventFilter(this);
    if (auto* dialog = qobject_cast<QDialog*>(window_)) {
        // accept() and reject() only hide a dialog; end the window as its close box does.
        connect(dialog, &QDialog::finished, this, [this] {
            if (!closing_) CloseNow();
        });
    }
    WireControls(window_);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!now || closing_ || now->window() != window_) return;
        QWidget* c = now;
        while (c && c != window_ && (IsInnerPart(c) || !(IsDataControl(c) || qobject_cast<QAbstractButton*>(c) ||
                                                         qobject_cast<QAbstractItemView*>(c))))
            c = c->parentWidget();
        if (!c || c == window_) return;
        ProcedureThreadScope scope(thread_);
        TakeSelected(c);
    });

    bool ok;
    {
        ProcedureThreadScope scope(thread_);
        ok = Init();
    }
    if (!ok) {
        if (instanceRegistered_) UnregisterInstance(procedureName_);
        instanceRegistered_ = false;
        return fail();
    }
    const bool restored = restorePosition_ && RestoreWindowPosition(procedureName_, window_);
    // A called window is a dialog the window manager places over its caller;
    // a window of its own, opened the first time, goes over the window the
    // user opened it from.
    if (!restored && !modal) PlaceOverWindow(window_, QApplication::activeWindow());
    if (viewMode_) ApplyViewMode();
    if (!window_->focusWidget()) FocusFirstControl(window_);
    NoteWindowOpened(window_);
    window_->show();
    opened_ = true;
    QTimer::singleShot(0, this, [this] {
        if (closing_) return;
        ProcedureThreadScope scope(thread_);
        TakeOpened();
    });
    return true;
}

// A window that did not choose its first control starts on the first one in
// its tab order, passing over the tabs of a sheet: typing at once goes into
// the form's first entry, not to the tab bar.
void WindowManager::FocusFirstControl(QWidget* window) {
    for (QWidget* w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain()) {
        if (w->isWindow() || w->window() != window || qobject_cast<QTabBar*>(w) || qobject_cast<QTabWidget*>(w))
            continue;
        if (!(w->focusPolicy() & Qt::TabFocus) || !w->isEnabled() || !w->isVisibleTo(window)) continue;
        w->setFocus(Qt::TabFocusReason);
        return;
    }
}

void WindowManager::Close() {
    if (!window_ || closing_) return;
    QPointer<QWidget> w = window_;
    QTimer::singleShot(0, this, [w] {
        if (w) w->close();
    });
}

void WindowManager::CloseNow() {
    if (!window_ || closing_) return;
    closeApproved_ = true;
    window_->close();
}

void WindowManager::Post(int event) { PostToWindow(window_, event); }

void WindowManager::ComeForward() {
    if (!window_) return;
    if (window_->isMinimized()) window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

void WindowManager::OpenOrCall() {
    if (TopWindowOf(CurrentProcedureThread()))
        Call();
    else
        Open();
}

void WindowManager::SetTitle(const std::string& title) {
    if (window_) window_->setWindowTitle(QString::fromStdString(title));
}

std::string WindowManager::Title() const { return window_ ? window_->windowTitle().toStdString() : std::string(); }

void WindowManager::SetTimer(int hundredths) {
    timerHundredths_ = hundredths > 0 ? hundredths : 0;
    if (!timer_) {
        timer_ = new QTimer(this);
        connect(timer_, &QTimer::timeout, this, [this] {
            if (closing_) return;
            ProcedureThreadScope scope(thread_);
            TakeTimer();
        });
    }
    if (timerHundredths_) {
        timer_->start(timerHundredths_ * 10);
    } else {
        timer_->stop();
    }
}

void WindowManager::SetViewMode(bool on) {
    viewMode_ = on;
    if (on && window_) ApplyViewMode();
}

void WindowManager::KeepEditableInViewMode(QWidget* control) { keepEditable_.push_back(control); }
void WindowManager::DisableInViewMode(QWidget* control) { disableInView_.push_back(control); }

bool WindowManager::InViewModeSet(const QWidget* w, const std::vector<QWidget*>& set) const {
    return std::find(set.begin(), set.end(), w) != set.end();
}

void WindowManager::ApplyViewMode() {
    if (!window_ || !viewMode_) return;
    for (QWidget* c : window_->findChildren<QWidget*>()) {
        if (InViewModeSet(c, keepEditable_)) continue;
        if (!IsDataControl(c) && !InViewModeSet(c, disableInView_)) continue;
        if (auto* e = qobject_cast<QLineEdit*>(c))
            e->setReadOnly(true);
        else if (auto* s = qobject_cast<QAbstractSpinBox*>(c))
            s->setReadOnly(true);
        else if (auto* t = qobject_cast<QTextEdit*>(c))
            t->setReadOnly(true);
        else if (auto* p = qobject_cast<QPlainTextEdit*>(c))
            p->setReadOnly(true);
        else
            c->setEnabled(false);
    }
    if (ok_) {
        ok_->hide();
        ok_->setEnabled(false);
    }
    if (cancel_) cancel_->setText(QStringLiteral("Cl&ose"));
}

void WindowManager::WireControls(QWidget* root) {
    if (!root) return;
    std::vector<QWidget*> widgets;
    widgets.push_back(root);
    for (QWidget* w : root->findChildren<QWidget*>()) widgets.push_back(w);
    for (QWidget* w : widgets) {
        if (w->property(kWired).toBool() || IsInnerPart(w)) continue;
        if (w != root && w->isWindow() && !qobject_cast<QMenu*>(w)) continue;  // another window's controls
        bool wired = true;
        if (auto* tb = qobject_cast<QToolButton*>(w); tb && (tb->defaultAction() || qobject_cast<QToolBar*>(tb->parentWidget()))) {
            wired = false;  // its action is wired instead
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            connect(b, &QAbstractButton::clicked, this, [this, b] { Accepted(b); });
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            connect(e, &QLineEdit::returnPressed, this, [this, e] {
                const uint64_t shown = MessagesShown();
                QPointer<WindowManager> self = this;
                AcceptEntry(e);
                if (!self || MessagesShown() == shown) return;
                enterSpent_ = true;
                QTimer::singleShot(0, this, [this] { enterSpent_ = false; });
            });
            connect(e, &QLineEdit::editingFinished, this, [this, e] {
                if (e->isModified()) AcceptEntry(e);
            });
        } else if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) {
            auto dirty = [s] { s->setProperty(kDirty, true); };
            if (auto* i = qobject_cast<QSpinBox*>(s)) connect(i, &QSpinBox::valueChanged, this, dirty);
            if (auto* d = qobject_cast<QDoubleSpinBox*>(s)) connect(d, &QDoubleSpinBox::valueChanged, this, dirty);
            if (auto* t = qobject_cast<QDateTimeEdit*>(s)) connect(t, &QDateTimeEdit::dateTimeChanged, this, dirty);
            connect(s, &QAbstractSpinBox::editingFinished, this, [this, s] {
                if (!s->property(kDirty).toBool()) return;
                s->setProperty(kDirty, false);
                Accepted(s);
            });
        } else if (auto* c = qobject_cast<QComboBox*>(w)) {
            connect(c, &QComboBox::activated, this, [this, c] {
                QPointer<QComboBox> guard = c;
                Accepted(c);
                // Taken: leaving the field afterwards does not take it again.
                if (guard && guard->lineEdit()) guard->lineEdit()->setModified(false);
            });
            // A value typed into an editable combo counts when the field is
            // left (Tab, a click elsewhere, Enter), as a chosen entry does.
            if (QLineEdit* e = c->lineEdit()) {
                connect(e, &QLineEdit::editingFinished, this, [this, c, e] {
                    if (!e->isModified()) return;
                    e->setModified(false);
                    Accepted(c);
                });
            }
            connect(c, &QComboBox::currentIndexChanged, this, [this, c] {
                if (closing_) return;
                ProcedureThreadScope scope(thread_);
                TakeNewSelection(c);
            });
        } else if (auto* t = qobject_cast<QTabWidget*>(w)) {
            connect(t, &QTabWidget::currentChanged, this, [this, t] {
                if (closing_) return;
                ProcedureThreadScope scope(thread_);
                TakeNewSelection(t);
            });
        } else if (auto* v = qobject_cast<QAbstractItemView*>(w)) {
            connect(v, &QAbstractItemView::activated, this, [this, v] { Accepted(v); });
        } else {
            wired = false;
        }
        if (wired) w->setProperty(kWired, true);
    }
    for (QAction* a : root->findChildren<QAction*>()) {
        if (a->property(kWired).toBool() || a->isSeparator() || a->menu()) continue;
        connect(a, &QAction::triggered, this, [this, a] { Accepted(a); });
        a->setProperty(kWired, true);
    }
}

void WindowManager::Accepted(QObject* control) {
    if (closing_ || !window_) return;
    ProcedureThreadScope scope(thread_);
    if (ok_ && control == ok_) {
        DoOk();
    } else if (cancel_ && control == cancel_) {
        TakeCancelled();
    } else {
        TakeAccepted(control);
    }
}

// The entry's modified flag still says, while TakeAccepted runs, whether its
// text was typed; it is cleared once the text has been taken, so leaving the
// entry again (to OK, "...", a message box) does not take it twice.
void WindowManager::AcceptEntry(QLineEdit* entry) {
    if (entry == takingEntry_) return;
    QPointer<QLineEdit> guard = entry;
    QLineEdit* outer = takingEntry_;
    takingEntry_ = entry;
    QPointer<WindowManager> self = this;
    Accepted(entry);
    if (!self) return;
    takingEntry_ = outer;
    if (guard) guard->setModified(false);
}

void WindowManager::DoOk() {
    acceptingAll_ = true;
    QPointer<QWidget> guard = window_;
    for (QWidget* c : ControlsInOrder(window_)) {
        if (!guard || closing_) break;
        if (IsDataControl(c) && c->isEnabled()) TakeAccepted(c);
    }
    acceptingAll_ = false;
    if (!guard || closing_) return;
    if (TakeCompleted()) {
        response_ = kRequestCompleted;
        CloseNow();
    }
}

bool WindowManager::TakeCompleted() { return !(required_ && required_->Check(false)); }

void WindowManager::TakeCancelled() {
    response_ = kRequestCancelled;
    CloseNow();
}

void WindowManager::Finish() {
    closing_ = true;
    if (timer_) timer_->stop();
    Kill();
    if (savePosition_ && opened_) SaveWindowPosition(procedureName_, window_);
    if (instanceRegistered_) UnregisterInstance(procedureName_);
    instanceRegistered_ = false;
    // The caller may open its next window from the response: that window must
    // stack over the caller, not over this one, which is about to go.
    if (modal_) ReleaseStackedWindow(window_);
    DeliverResponse();
}

void WindowManager::DeliverResponse() {
    if (!modal_) return;
    auto done = std::move(done_);
    done_ = nullptr;
    int response = response_;
    int thread = thread_;
    QObject* context = caller_ ? static_cast<QObject*>(caller_.data()) : QCoreApplication::instance();
    if (!context) return;
    // After the window has gone, in the caller's procedure thread.
    QTimer::singleShot(0, context, [done, response, thread] {
        ProcedureThreadScope scope(thread);
        GlobalResponse() = response;
        if (done) done(response);
    });
}

bool WindowManager::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_ || !window_) return false;
    ProcedureThreadScope scope(thread_);
    const int type = event->type();
    if (type >= QEvent::User && type <= QEvent::MaxUser) {
        if (!closing_) TakeEvent(type - QEvent::User);
        return true;
    }
    switch (type) {
        case QEvent::Close: {
            if (closing_) return false;
            if (!closeApproved_ && !TakeCloseRequest()) {
                event->ignore();
                closeApproved_ = false;
                return true;
            }
            closeApproved_ = false;
            leaving_ = true;
            // Windows opened over this one (a form over its list) end first,
            // with their own Kill, rather than be destroyed along with it.
            for (QWidget* child : window_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (child->isWindow() && child->isVisible()) child->close();
            Finish();
            return false;
        }
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(event);
            if (k->key() == Qt::Key_Escape && k->modifiers() == Qt::NoModifier && !closing_) {
                if (TakeWindowEvent(event)) return true;
                if (cancel_ && cancel_->isEnabled() && cancel_->isVisible())
                    cancel_->click();
                else if (cancel_)
                    TakeCancelled();
                else
                    Close();
                return true;
            }
            // Enter presses the window's default button (a dialog does that
            // itself); keys a control used do not get here. A list passes
            // Enter on after reporting it as its own accepted choice, so it
            // is not taken twice.
            if ((k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) && enterSpent_) {
                enterSpent_ = false;
                return true;
            }
            if ((k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) && !closing_ &&
                !(k->modifiers() & ~Qt::KeypadModifier) && !qobject_cast<QDialog*>(window_) &&
                !(QApplication::focusWidget() &&
                  (qobject_cast<QAbstractItemView*>(QApplication::focusWidget()) ||
                   qobject_cast<QAbstractItemView*>(QApplication::focusWidget()->parentWidget())))) {
                // A button with the focus stands in for the default one, as
                // on other desktops: Enter on a focused Cancel cancels (a
                // delete form puts the focus there so Enter does not delete).
                if (auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
                    focused && focused->window() == window_ && focused->isVisible() && focused->isEnabled()) {
                    focused->click();
                    return true;
                }
                for (QPushButton* b : window_->findChildren<QPushButton*>()) {
                    if (b->isDefault() && b->isVisible() && b->isEnabled() && b->window() == window_) {
                        b->click();
                        return true;
                    }
                }
            }
            break;
        }
        case QEvent::Move:
        case QEvent::Resize:
            if (opened_ && !closing_ && savePositionOnMove_ && window_->isVisible())
                SaveWindowPosition(procedureName_, window_);
            break;
        default:
            break;
    }
    if (closing_) return false;
    return TakeWindowEvent(event);
}

}  // namespace kr
