#include "platform/ui/WindowPosition.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
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

}  // namespace kr
