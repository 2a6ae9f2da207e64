#include "platform/ui/SessionEnding.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <cerrno>

#include "platform/ui/WindowManager.h"

namespace kr {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
// The pass over the windows, while ending.
constexpr int kPassMs = 40;
// Windows whose Cancel was pressed are given this long to close before the
// end action runs anyway.
constexpr qint64 kCancelGraceMs = 1200;
// A request not done by then ends the process (SIGALRM's default action).
constexpr long kHardStopMs = 2500;

int g_pipe[2] = {-1, -1};
std::atomic<bool> g_ending{false};
struct sigaction g_previous[kSignalCount];
bool g_installed = false;

void HardStop(int sig) {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    raise(sig);  // delivered once the handler returns
}

void OnSignal(int sig) {
    const int saved = errno;
    if (g_ending.exchange(true)) {
        // Asked again while ending: the program ends now.
        HardStop(sig);
        errno = saved;
        return;
    }
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(SIGALRM, &dfl, nullptr);
    itimerval limit{};
    limit.it_value.tv_sec = kHardStopMs / 1000;
    limit.it_value.tv_usec = (kHardStopMs % 1000) * 1000;
    setitimer(ITIMER_REAL, &limit, nullptr);
    const char b = static_cast<char>(sig);
    if (g_pipe[1] >= 0) (void)!write(g_pipe[1], &b, 1);
    errno = saved;
}

QString WithoutMnemonic(QString text) { return text.remove(QLatin1Char('&')).trimmed(); }

WindowManager* ManagerOf(QWidget* window) {
    for (QObject* child : window->children())
        if (auto* m = dynamic_cast<WindowManager*>(child)) return m;
    return nullptr;
}

bool Usable(const QAbstractButton* b) { return b && b->isVisible() && b->isEnabled(); }

// The button that cancels a window: its manager's cancel control, else a
// button of its own reading "Cancel".
QAbstractButton* CancelButtonOf(QWidget* window) {
    if (WindowManager* m = ManagerOf(window))
        if (QAbstractButton* c = m->CancelControl(); Usable(c)) return c;
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        if (b->window() == window && Usable(b) &&
            WithoutMnemonic(b->text()).compare(QLatin1String("Cancel"), Qt::CaseInsensitive) == 0)
            return b;
    return nullptr;
}

// The button a box answers with when it is cancelled: the escape button
// (Cancel, No or the only one), else the one in the reject role (Abort),
// else No, else the default.
QAbstractButton* CancelButtonOfBox(QMessageBox* box) {
    if (QAbstractButton* b = box->escapeButton()) return b;
    for (QMessageBox::ButtonRole role : {QMessageBox::RejectRole, QMessageBox::NoRole})
        for (QAbstractButton* b : box->buttons())
            if (box->buttonRole(b) == role) return b;
    return box->defaultButton();
}

// Cancels one window as its Cancel would.
void CancelWindow(QWidget* w) {
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
        if (QAbstractButton* b = CancelButtonOfBox(box))
            b->click();
        else
            box->reject();
        return;
    }
    if (QAbstractButton* c = CancelButtonOf(w)) {
        c->click();
        return;
    }
    if (auto* d = qobject_cast<QDialog*>(w)) {
        d->reject();
        return;
    }
    w->close();
}

bool IsOrdinaryWindow(const QWidget* w) {
    const Qt::WindowType type = w->windowType();
    return w->isVisible() && (type == Qt::Window || type == Qt::Dialog);
}

class Ending : public QObject {
public:
    Ending() {
        notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] {
            char buf[64];
            while (read(g_pipe[0], buf, sizeof buf) > 0) {
            }
            Begin();
        });
        pass_.setInterval(kPassMs);
        connect(&pass_, &QTimer::timeout, this, [this] { Pass(); });
    }

    void Begin() {
        g_ending = true;
        if (begun_) return;
        begun_ = true;
        since_.start();
        // A window that opens from now on is seen to at once.
        QCoreApplication::instance()->installEventFilter(this);
        pass_.start();
        Pass();
    }

    std::function<void()> SetAction(std::function<void()> action) {
        std::function<void()> old = std::move(action_);
        action_ = std::move(action);
        actionRan_ = false;
        return old;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow() &&
            !passDue_) {
            passDue_ = true;
            QTimer::singleShot(0, this, [this] {
                passDue_ = false;
                Pass();
            });
        }
        return false;
    }

private:
    void Pass() {
        if (inPass_) return;
        inPass_ = true;
        PassOnce();
        inPass_ = false;
    }

    void PassOnce() {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
            return;
        }
        // The innermost modal window first: its caller waits on it.
        if (QWidget* modal = QApplication::activeModalWidget()) {
            CancelWindow(modal);
            return;
        }
        bool pressed = false;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (IsOrdinaryWindow(w))
                if (QAbstractButton* c = CancelButtonOf(w)) {
                    c->click();
                    pressed = true;
                }
        if (pressed && since_.elapsed() < kCancelGraceMs) return;
        if (action_) {
            if (!actionRan_) {
                actionRan_ = true;
                std::function<void()> action = action_;
                action();
            }
            return;
        }
        for (QWidget* w : QApplication::topLevelWidgets())
            if (IsOrdinaryWindow(w)) w->close();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (IsOrdinaryWindow(w)) return;
        QCoreApplication::quit();
    }

    QSocketNotifier* notifier_ = nullptr;
    QTimer pass_;
    QElapsedTimer since_;
    std::function<void()> action_;
    bool actionRan_ = false;
    bool begun_ = false;
    bool inPass_ = false;
    bool passDue_ = false;
};

QPointer<Ending> g_ending_object;

}  // namespace

void WatchSessionEnding() {
    if (g_installed || !QCoreApplication::instance()) return;
    if (g_pipe[0] < 0 && pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    char stale[64];
    while (read(g_pipe[0], stale, sizeof stale) > 0) {
    }
    g_ending = false;
    g_ending_object = new Ending;
    g_ending_object->setParent(QCoreApplication::instance());
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : kSignals) sigaddset(&sa.sa_mask, sig);
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &sa, &g_previous[i]);
    g_installed = true;
}

void StopWatchingSessionEnding() {
    if (!g_installed) return;
    for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    delete g_ending_object.data();
    g_ending = false;
    g_installed = false;
}

bool WatchingSessionEnding() { return g_installed; }

bool SessionEnding() { return g_ending.load(); }

void BeginSessionEnding() {
    if (g_ending_object)
        g_ending_object->Begin();
    else
        g_ending = true;
}

std::function<void()> SetSessionEndAction(std::function<void()> action) {
    if (!g_ending_object) return {};
    return g_ending_object->SetAction(std::move(action));
}

int CancelAnswer(const MessageRequest& r) {
    if (!r.captions.empty()) return 1;
    const int buttons = r.buttons ? r.buttons : kButtonOk;
    for (int b : {kButtonCancel, kButtonNo, kButtonAbort})
        if (buttons & b) return b;
    if ((buttons & (buttons - 1)) == 0) return buttons;
    if (r.defaultButton && (buttons & r.defaultButton)) return r.defaultButton;
    return buttons & -buttons;
}

}  // namespace kr
