#include "scheduler/windows/TrayIcon.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindowStateChangeEvent>

#include "platform/runtime/Strings.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/WindowPosition.h"
#include "scheduler/windows/FrameIcons.h"

namespace kr {

namespace {

constexpr std::size_t kTextLength = 255;  // ICON and TIP hold 256 characters, zero-terminated

std::string Cut(std::string s, std::size_t n) {
    if (s.size() > n) s.resize(n);
    return s;
}

}  // namespace

TrayIcon::TrayIcon() = default;

TrayIcon::~TrayIcon() { Kill(); }

std::string TrayIcon::ResourceName(std::string_view file) {
    std::string name = ClipRight(file);
    if (name.size() > 4 && name[name.size() - 4] == '.') name[name.size() - 4] = '_';
    return name;
}

bool TrayIcon::TrayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TrayIcon::Init(QWidget* window, int uid, bool minimizeToTaskbar, bool noSubclassing, const std::string& tip,
                    const std::string& icon) {
    NOSUBCLASSING = noSubclassing ? 1 : 0;
    window_ = window;
    uid_ = uid;
    MINIMIZETOTASKBAR = minimizeToTaskbar ? 1 : 0;
    Add(tip, icon);
    if (window_ && !filtering_) {
        window_->installEventFilter(this);
        filtering_ = true;
    }
    routed_ = !NOSUBCLASSING && !MINIMIZETOTASKBAR;
}

void TrayIcon::PostToWindow(int event) {
    if (window_) kr::PostToWindow(window_, event);
}

int TrayIcon::Add(const std::string& tip, const std::string& icon) {
    icon_ = Cut(ResourceName(icon), kTextLength);
    tip_ = Cut(ClipRight(tip), kTextLength);
    if (!tray_) {
        tray_ = new QSystemTrayIcon(this);
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            switch (reason) {
                case QSystemTrayIcon::Trigger: PostToWindow(kEventTrayLeftClick); break;
                case QSystemTrayIcon::DoubleClick: PostToWindow(kEventTrayDoubleClick); break;
                case QSystemTrayIcon::Context: PostToWindow(kEventTrayRightClick); break;
                default: break;
            }
        });
    }
    shownIcon_.clear();
    shownTip_.clear();
    Notify(true, true);
    tray_->show();
    added_ = true;
    return 1;
}

void TrayIcon::Notify(bool tip, bool icon) {
    ++shellCalls_;
    if (!tray_) return;
    if (icon && shownIcon_ != icon_) {
        shownIcon_ = icon_;
        tray_->setIcon(FrameIcon(icon_));
    }
    if (tip) {
        const std::string block = Cut(ClipRight(tip_), kTrayTipLength);
        if (block != shownTip_) {
            shownTip_ = block;
            tray_->setToolTip(QString::fromStdString(block));
        }
    }
}

int TrayIcon::SetTooltip(const std::string& text) {
    const std::string t = Cut(ClipRight(text), kTextLength);
    if (!ALWAYSREFRESH && t == tip_) return 1;
    tip_ = t;
    if (!added_) return 0;
    Notify(true, false);
    return 1;
}

int TrayIcon::SetIcon(const std::string& name) {
    const std::string n = Cut(ResourceName(name), kTextLength);
    if (!ALWAYSREFRESH && n == icon_) return 1;
    icon_ = n;
    if (!added_) return 0;
    Notify(false, true);
    return 1;
}

int TrayIcon::Delete() {
    if (!tray_) return 0;
    ++shellCalls_;
    tray_->hide();
    added_ = false;
    return 1;
}

void TrayIcon::RegisterEvents() {
    if (NOSUBCLASSING) return;
    if (MINIMIZETOTASKBAR) {
        routed_ = true;
        MINIMIZETOTASKBAR = 0;
    }
}

void TrayIcon::UnregisterEvents() {
    if (NOSUBCLASSING) return;
    if (!MINIMIZETOTASKBAR) {
        routed_ = false;
        MINIMIZETOTASKBAR = 1;
    }
}

void TrayIcon::HideWindow() {
    if (!window_) return;
    // An iconified window is hidden as it is: clearing its minimised state
    // first asks the window manager to map it again, and one that does so
    // after the hide leaves it on the screen. RestoreWindow clears the state.
    window_->hide();
    // The lists, forms, wizards and reports opened from the window go into
    // the tray with it; what must reach the user stays.
    for (QWidget* w : HideWindowsWithFrame(window_)) hiddenWith_.emplace_back(w);
}

void TrayIcon::RestoreWindow() {
    if (!window_) return;
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    std::vector<QPointer<QWidget>> again;
    again.swap(hiddenWith_);
    ShowWindowsAgain(again);
    window_->raise();
    if (!window_->isActiveWindow()) window_->activateWindow();
}

void TrayIcon::Kill() {
    routed_ = false;
    if (window_ && filtering_) window_->removeEventFilter(this);
    filtering_ = false;
    if (added_) Delete();
    delete tray_;
    tray_ = nullptr;
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::WindowStateChange && routed_ &&
        (window_->windowState() & Qt::WindowMinimized)) {
        // Hide once the state change is done; hiding inside it confuses the
        // window manager's idea of the window.
        QPointer<TrayIcon> self(this);
        QTimer::singleShot(0, this, [self] {
            if (self && self->routed_ && self->window_ && (self->window_->windowState() & Qt::WindowMinimized))
                self->HideWindow();
        });
    }
    return false;
}

}  // namespace kr
