#include "platform/ui/WindowPosition.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <mutex>
#include <optional>

#include "platform/runtime/IniFile.h"
#include "platform/runtime/Strings.h"

namespace kr {

namespace {

std::mutex g_m;
std::string g_file = ".\\POSITION.INI";

}  // namespace

std::string PositionFile() {
    std::lock_guard<std::mutex> l(g_m);
    return g_file;
}

void SetPositionFile(const std::string& file) {
    std::lock_guard<std::mutex> l(g_m);
    g_file = file;
}

namespace {

// The rectangle moved and cut to fit the available part of the screen under
// its centre (the primary screen when none is): a position saved on a
// screen that is gone, edited by hand or set by an option would otherwise
// open the window out of sight or at a size no screen has.
QRect KeepOnScreen(QRect g) {
    QScreen* screen = QGuiApplication::screenAt(g.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return g;
    const QRect avail = screen->availableGeometry();
    if (avail.isEmpty()) return g;
    g.setWidth(std::min(g.width(), avail.width()));
    g.setHeight(std::min(g.height(), avail.height()));
    if (g.right() > avail.right()) g.moveRight(avail.right());
    if (g.bottom() > avail.bottom()) g.moveBottom(avail.bottom());
    if (g.left() < avail.left()) g.moveLeft(avail.left());
    if (g.top() < avail.top()) g.moveTop(avail.top());
    return g;
}

}  // namespace

void SaveWindowPosition(const std::string& procedureName, QWidget* window) {
    if (!window || procedureName.empty()) return;
    // A hidden, minimised or full-screen window keeps the position saved before.
    if (window->isHidden() || window->isMinimized() || window->isFullScreen()) return;
    bool maximized = window->isMaximized();
    QRect g = maximized ? window->normalGeometry() : window->geometry();
    if (!g.isValid()) g = window->geometry();
    g = KeepOnScreen(g);
    IniFile(PositionFile()).SaveWindow(procedureName, WindowPlacement{g.x(), g.y(), g.width(), g.height(), maximized});
}

bool RestoreWindowPosition(const std::string& procedureName, QWidget* window) {
    if (!window || procedureName.empty()) return false;
    std::optional<WindowPlacement> p = IniFile(PositionFile()).RestoreWindow(procedureName);
    if (!p) return false;
    QRect g(p->x, p->y, p->width > 0 ? p->width : window->width(), p->height > 0 ? p->height : window->height());
    g.setWidth(std::max(g.width(), window->minimumWidth()));
    g.setHeight(std::max(g.height(), window->minimumHeight()));
    window->setGeometry(KeepOnScreen(g));
    if (p->maximized) window->setWindowState(window->windowState() | Qt::WindowMaximized);
    return true;
}

void PlaceOverWindow(QWidget* window, const QWidget* anchor) {
    if (!window || anchor == window) return;
    if (anchor && !anchor->isVisible()) anchor = nullptr;
    // A window nobody sized yet takes the size its layout asks for, as show()
    // would give it.
    QSize size = window->testAttribute(Qt::WA_Resized) ? window->size() : window->sizeHint();
    size = size.expandedTo(window->minimumSize());
    if (!size.isValid()) return;
    // move() places the window manager's frame (title bar, borders), which
    // comes on top of the window's own size; an open window tells how wide
    // that frame is. Before any window shows, a title bar is assumed.
    QMargins frame(0, 24, 0, 0);
    const QWidget* sample = anchor;
    if (!sample)
        for (const QWidget* w : QApplication::topLevelWidgets())
            if (w != window && w->isVisible() && !w->isMinimized()) {
                sample = w;
                break;
            }
    if (sample) {
        const QRect outer = sample->frameGeometry(), inner = sample->geometry();
        frame = QMargins(std::max(0, inner.left() - outer.left()), std::max(0, inner.top() - outer.top()),
                         std::max(0, outer.right() - inner.right()), std::max(0, outer.bottom() - inner.bottom()));
    }
    QRect g(QPoint(0, 0), size.grownBy(frame));
    if (anchor) {
        g.moveCenter(anchor->frameGeometry().center());
    } else {
        QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen) return;
        g.moveCenter(screen->availableGeometry().center());
    }
    g = KeepOnScreen(g);
    window->resize(g.size().shrunkBy(frame));
    window->move(g.topLeft());
}

}  // namespace kr
