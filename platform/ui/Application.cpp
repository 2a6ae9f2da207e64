#include "platform/ui/Application.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QMenu>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>

#include "platform/ui/Icons.h"

#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/QtServices.h"
#include "platform/ui/WindowPosition.h"

namespace kr {

namespace detail {
QtCommandLine::QtCommandLine(char** programArgv) {
    static char fallback[] = "kairoll";
    argv[0] = programArgv && programArgv[0] ? programArgv[0] : fallback;
}
}  // namespace detail

namespace {

// Qt's own file dialog (the one this desktop gets) opens with its detail
// columns too narrow for their values: sizes, types and dates showed as
// "51....KiB", "pla...ent", "9 Dec ...:09:30". On showing, each column gets
// the width of a long value and the dialog grows to hold them, before it
// centres itself on the screen.
class FileDialogFitter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            if (auto* dialog = qobject_cast<QFileDialog*>(watched)) Fit(dialog);
        return false;
    }

private:
    static void Fit(QFileDialog* dialog) {
        auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
        if (!tree || !tree->header() || tree->header()->count() < 4) return;
        QHeaderView* header = tree->header();
        const QFontMetrics fm(tree->font());
        const int pad = fm.horizontalAdvance(QLatin1Char('M')) * 2;
        const QDateTime late(QDate(2026, 12, 29), QTime(23, 59, 59));
        const int date = std::max(fm.horizontalAdvance(QLocale().toString(late, QLocale::ShortFormat)),
                                  fm.horizontalAdvance(late.toString(QStringLiteral("dd MMM yyyy hh:mm:ss"))));
        const int widths[4] = {fm.horizontalAdvance(QString(24, QLatin1Char('n'))),
                               fm.horizontalAdvance(QStringLiteral("1023.99 KiB")) + pad,
                               fm.horizontalAdvance(QStringLiteral("plain text document")) + pad,
                               date + pad};
        int need = 0;
        for (int c = 0; c < 4; ++c) {
            if (c > 0 && header->sectionSize(c) < widths[c]) header->resizeSection(c, widths[c]);
            need += c == 0 ? std::max(widths[0], header->sectionSize(0)) : header->sectionSize(c);
        }
        if (dialog->layout()) dialog->layout()->activate();
        const int short_ = need - tree->viewport()->width();
        if (short_ <= 0) return;
        // Only the size: the dialog centres itself over its parent, on the
        // screen, after this (a move here would stop that).
        int width = dialog->width() + short_;
        if (QScreen* screen = dialog->screen()) width = std::min(width, screen->availableGeometry().width() * 9 / 10);
        dialog->resize(width, dialog->height());
    }
};

// Keyboard rules every window of the suite follows:
// - A list is one stop of its window's Tab order: Tab leaves it for the next
//   control (a table view would otherwise walk its cells and wrap to the next
//   row, changing the highlighted record), and the arrows move the row. The
//   highlighted row of a list without the focus turns grey, so the list that
//   has the focus shows it.
// - Alt with a letter that no control of the window takes reaches the
//   focused control as a plain key press, and a control that types (an entry,
//   a text box, an editable drop list, a spin box) would type the letter. It
//   is swallowed there, and only there: other controls get their Alt keys (a
//   list's Alt+M). Alt letters that a label, button or menu takes are
//   shortcuts and never get here; AltGr characters and Ctrl+Alt keys carry no
//   Alt modifier of their own and still type.
class KeyboardRules : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Polish) {
            if (auto* view = qobject_cast<QAbstractItemView*>(watched)) OneTabStop(view);
        } else if (event->type() == QEvent::KeyPress && watched->isWidgetType() && !qobject_cast<QMenu*>(watched)) {
            return WouldType(static_cast<QWidget*>(watched)) && IsStrayAltLetter(static_cast<QKeyEvent*>(event));
        }
        return false;
    }

private:
    static void OneTabStop(QAbstractItemView* view) {
        view->setTabKeyNavigation(false);
        QPalette p = view->palette();
        const QColor active = p.color(QPalette::Active, QPalette::Highlight);
        if (p.color(QPalette::Inactive, QPalette::Highlight) == active) {
            p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Mid));
            p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::Text));
            view->setPalette(p);
        }
    }
    static bool WouldType(const QWidget* w) {
        if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QTextEdit*>(w) ||
            qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w))
            return true;
        const auto* combo = qobject_cast<const QComboBox*>(w);
        return combo && combo->isEditable();
    }
    static bool IsStrayAltLetter(const QKeyEvent* k) {
        const Qt::KeyboardModifiers m = k->modifiers();
        if (!(m & Qt::AltModifier) || (m & (Qt::ControlModifier | Qt::MetaModifier))) return false;
        const QString text = k->text();
        return !text.isEmpty() && text.at(0).isPrint();
    }
};

// Every window opens at least as wide as its title needs (TitleWidth), so
// the window manager shows the whole title. Windows that size themselves
// as they show (message boxes fix their size then) are widened again just
// after.
// Every window also stays wholly on the work area of its screen, title bar
// included (KeepWindowOnScreen): as it shows, again once the window manager
// has framed it (the frame then moves it; a frame known only then may put
// its title bar above the screen), and whenever it grows (a page of a
// wizard that needs more room would push Cancel past the screen's edge). A
// move by the user after that is left alone.
class TitleFitter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::Show && type != QEvent::Resize && type != QEvent::Move) return false;
        if (!watched->isWidgetType()) return false;
        auto* w = static_cast<QWidget*>(watched);
        if (!w->isWindow() || w->windowTitle().isEmpty()) return false;
        const Qt::WindowType windowType = w->windowType();
        if (windowType != Qt::Window && windowType != Qt::Dialog) return false;
        if (type == QEvent::Show) {
            Fit(w);
            w->setProperty(kShownAt, QDateTime::currentMSecsSinceEpoch());
            Check(w);
            QPointer<QWidget> guard = w;
            QTimer::singleShot(0, w, [guard] {
                if (guard && guard->isVisible()) Fit(guard);
            });
            // The window manager frames the window in its own time, and
            // the frame does not always come with a move.
            for (int ms : {300, 1500})
                QTimer::singleShot(ms, w, [guard] {
                    if (guard && guard->isVisible()) KeepWindowOnScreen(guard);
                });
            return false;
        }
        if (!w->isVisible()) return false;
        // A move counts only while the window manager frames the window.
        if (type == QEvent::Move &&
            QDateTime::currentMSecsSinceEpoch() - w->property(kShownAt).toLongLong() > kFramingMs)
            return false;
        Check(w);
        return false;
    }

private:
    static constexpr const char* kShownAt = "krShownAt";
    static constexpr const char* kCheckDue = "krScreenCheckDue";
    static constexpr qint64 kFramingMs = 2000;

    // Once the events of the moment have run (a resize and a move come in
    // pairs), the window is kept on the screen.
    static void Check(QWidget* w) {
        if (w->property(kCheckDue).toBool()) return;
        w->setProperty(kCheckDue, true);
        QPointer<QWidget> guard = w;
        QTimer::singleShot(0, w, [guard] {
            if (!guard) return;
            guard->setProperty(kCheckDue, false);
            KeepWindowOnScreen(guard);
        });
    }

    static void Fit(QWidget* w) {
        int need = TitleWidth(w->windowTitle());
        if (QScreen* screen = w->screen()) need = std::min(need, screen->availableGeometry().width() * 9 / 10);
        if (w->width() >= need || (w->maximumWidth() < need && w->maximumWidth() != w->minimumWidth())) return;
        if (w->minimumWidth() == w->maximumWidth())
            w->setFixedWidth(need);
        else
            w->resize(need, w->height());
    }
};

// The desktop's dialog conventions for keys that Qt leaves to each control:
// - Tab and Shift+Tab leave a multi-line entry for the next or previous
//   control, as in a one-line entry; an entry would otherwise type a tab
//   character and keep the focus for good.
// - Ctrl+Tab and Ctrl+Shift+Tab switch the page of the sheet holding the
//   focus from whichever control has it (a drop list, an entry), not only
//   when the control happens to pass the key on.
// - Shift+F10 opens the focused control's popup, as the Menu key does.
class DesktopKeyConventions : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Polish) {
            if (auto* plain = qobject_cast<QPlainTextEdit*>(watched))
                plain->setTabChangesFocus(true);
            else if (auto* rich = qobject_cast<QTextEdit*>(watched))
                rich->setTabChangesFocus(true);
            return false;
        }
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType() || qobject_cast<QMenu*>(watched))
            return false;
        auto* w = static_cast<QWidget*>(watched);
        const auto* k = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers m = k->modifiers() & ~Qt::KeypadModifier;
        if (k->key() == Qt::Key_F10 && m == Qt::ShiftModifier) return OpenPopup(w);
        if ((k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) &&
            (m == Qt::ControlModifier || m == (Qt::ControlModifier | Qt::ShiftModifier)))
            return TurnPage(w, k->key() == Qt::Key_Backtab || (m & Qt::ShiftModifier));
        return false;
    }

private:
    static bool OpenPopup(QWidget* w) {
        if (w->contextMenuPolicy() == Qt::NoContextMenu || w->contextMenuPolicy() == Qt::PreventContextMenu)
            return false;
        QPoint pos = w->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
        if (!w->rect().contains(pos)) pos = w->rect().center();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, pos, w->mapToGlobal(pos), Qt::NoModifier);
        QCoreApplication::sendEvent(w, &menu);
        return true;
    }
    // The sheet's own key handling serves the key when the sheet or its
    // tab row has the focus.
    static bool TurnPage(QWidget* w, bool back) {
        if (qobject_cast<QTabWidget*>(w) || qobject_cast<QTabBar*>(w)) return false;
        QTabWidget* sheet = nullptr;
        for (QWidget* p = w->parentWidget(); p && !sheet; p = p->isWindow() ? nullptr : p->parentWidget())
            sheet = qobject_cast<QTabWidget*>(p);
        if (!sheet || sheet->count() < 2) return false;
        const int n = sheet->count();
        int i = sheet->currentIndex();
        for (int step = 0; step < n; ++step) {
            i = (i + (back ? n - 1 : 1)) % n;
            if (sheet->isTabEnabled(i) && sheet->isTabVisible(i)) break;
        }
        sheet->setCurrentIndex(i);
        if (!sheet->window()->focusWidget() || !sheet->window()->focusWidget()->isVisible())
            sheet->tabBar()->setFocus(Qt::TabFocusReason);
        return true;
    }
};

}  // namespace

Application::Application(int& /*argc*/, char** argv)
    : detail::QtCommandLine(argv), QApplication(detail::QtCommandLine::argc, detail::QtCommandLine::argv) {
    InstallQtServices();
    setWindowIcon(ProgramIcon());
    installEventFilter(new FileDialogFitter(this));
    installEventFilter(new KeyboardRules(this));
    installEventFilter(new DesktopKeyConventions(this));
    installEventFilter(new TitleFitter(this));
}

Application::~Application() { UninstallQtServices(); }

bool Application::notify(QObject* receiver, QEvent* event) {
    int thread = ThreadOfObject(receiver);
    if (thread > 0 && thread != CurrentProcedureThread()) {
        ProcedureThreadScope scope(thread);
        return QApplication::notify(receiver, event);
    }
    return QApplication::notify(receiver, event);
}

}  // namespace kr
