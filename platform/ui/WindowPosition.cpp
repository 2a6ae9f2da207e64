#include "platform/ui/WindowPosition.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <mutex>
#include <optional>

#if __has_include("platform/runtime/IniFile.h")
#include "platform/runtime/IniFile.h"
#else
#include <map>
namespace kr {
namespace {
std::map<std::string, std::string> g_tmpIni;  // TEMPORARY until IniFile.h lands
std::string GetIniValue(const std::string& f, const std::string& s, const std::string& k, const std::string& d) {
    auto i = g_tmpIni.find(f + "|" + s + "|" + k);
    return i == g_tmpIni.end() ? d : i->second;
}
bool PutIniValue(const std::string& f, const std::string& s, const std::string& k, const std::string& v) {
    g_tmpIni[f + "|" + s + "|" + k] = v;
    return true;
}
}  // namespace
}  // namespace kr
#endif
#include "platform/runtime/Strings.h"

namespace kr {

namespace {

std::mutex g_m;
std::string g_file = ".\\POSITION.INI";

std::optional<int> ReadInt(const std::string& file, const std::string& section, const char* key) {
    std::string v = Trim(GetIniValue(file, section, key, ""));
    if (v.empty() || !IsNumeric(v)) return std::nullopt;
    try {
        return static_cast<int>(std::stol(v));
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace

const std::string& PositionFile() {
    std::lock_guard<std::mutex> l(g_m);
    return g_file;
}

void SetPositionFile(const std::string& file) {
    std::lock_guard<std::mutex> l(g_m);
    g_file = file;
}

void SaveWindowPosition(const std::string& procedureName, QWidget* window) {
    if (!window || procedureName.empty()) return;
    // A hidden, minimised or full-screen window keeps the position saved before.
    if (window->isHidden() || window->isMinimized() || window->isFullScreen()) return;
    bool maximized = window->isMaximized();
    QRect g = maximized ? window->normalGeometry() : window->geometry();
    if (!g.isValid()) g = window->geometry();
    const std::string file = PositionFile();
    PutIniValue(file, procedureName, "XPos", IntToText(g.x()));
    PutIniValue(file, procedureName, "YPos", IntToText(g.y()));
    PutIniValue(file, procedureName, "Width", IntToText(g.width()));
    PutIniValue(file, procedureName, "Height", IntToText(g.height()));
    PutIniValue(file, procedureName, "Maximize", maximized ? "1" : "0");
}

bool RestoreWindowPosition(const std::string& procedureName, QWidget* window) {
    if (!window || procedureName.empty()) return false;
    const std::string file = PositionFile();
    std::optional<int> x = ReadInt(file, procedureName, "XPos");
    std::optional<int> y = ReadInt(file, procedureName, "YPos");
    if (!x || !y) return false;
    std::optional<int> w = ReadInt(file, procedureName, "Width");
    std::optional<int> h = ReadInt(file, procedureName, "Height");
    std::optional<int> max = ReadInt(file, procedureName, "Maximize");
    QRect g(*x, *y, w && *w > 0 ? *w : window->width(), h && *h > 0 ? *h : window->height());
    g.setWidth(std::max(g.width(), window->minimumWidth()));
    g.setHeight(std::max(g.height(), window->minimumHeight()));
    // Keep the window on a screen: a position saved on a screen that is gone
    // (or edited by hand) would otherwise open the window out of sight.
    QScreen* screen = QGuiApplication::screenAt(g.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect avail = screen->availableGeometry();
        if (!avail.isEmpty()) {
            g.setWidth(std::min(g.width(), avail.width()));
            g.setHeight(std::min(g.height(), avail.height()));
            if (g.right() > avail.right()) g.moveRight(avail.right());
            if (g.bottom() > avail.bottom()) g.moveBottom(avail.bottom());
            if (g.left() < avail.left()) g.moveLeft(avail.left());
            if (g.top() < avail.top()) g.moveTop(avail.top());
        }
    }
    window->setGeometry(g);
    if (max && *max == 1) window->setWindowState(window->windowState() | Qt::WindowMaximized);
    return true;
}

}  // namespace kr
