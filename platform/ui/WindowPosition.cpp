#include "platform/ui/WindowPosition.h"
#include "platform/ui/ProcedureThread.h"

#include <QFontMetrics>

#include <QApplication>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMargins>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QSizePolicy>
#include <QToolBar>
#include <QWidget>
#include <algorithm>
#include <mutex>
#include <cmath>
#include <optional>

#include "platform/runtime/IniFile.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/runtime/Strings.h"

namespace kr {

int TitleWidth(const QString& title) {
    return title.isEmpty() ? 0 : QFontMetrics(QApplication::font()).horizontalAdvance(title) + kTitleBarRoom;
}

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

// The title bar the window manager is taken to add while no window tells.
constexpr int kAssumedTitleBar = 24;

// The outer rectangle (title bar and borders included) moved onto the work
// area of the screen under its centre (the primary screen when none is),
// and cut only where it is larger than that area, never below `minimum`: a
// position saved on a screen that is gone or larger, edited by hand or set
// by an option would otherwise open the window out of sight, with its title
// bar above the screen or at a size no screen has.
QRect FitOnScreen(QRect g, QSize minimum = QSize()) {
    QScreen* screen = QGuiApplication::screenAt(g.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return g;
    const QRect avail = screen->availableGeometry();
    if (avail.isEmpty()) return g;
    g.setWidth(std::max(std::min(g.width(), avail.width()), minimum.width()));
    g.setHeight(std::max(std::min(g.height(), avail.height()), minimum.height()));
    if (g.right() > avail.right()) g.moveRight(avail.right());
    if (g.bottom() > avail.bottom()) g.moveBottom(avail.bottom());
    if (g.left() < avail.left()) g.moveLeft(avail.left());
    if (g.top() < avail.top()) g.moveTop(avail.top());
    return g;
}

// A shown window's own frame (none until the window manager has framed it;
// the window is checked again as it is framed). For a window still to be
// shown, the frame of another open window of the program, else a title bar.
QMargins FrameOf(const QWidget* window) {
    auto margins = [](const QWidget* w) {
        const QRect outer = w->frameGeometry(), inner = w->geometry();
        return QMargins(std::max(0, inner.left() - outer.left()), std::max(0, inner.top() - outer.top()),
                        std::max(0, outer.right() - inner.right()), std::max(0, outer.bottom() - inner.bottom()));
    };
    if (window && window->isVisible()) return margins(window);
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w != window && w->isVisible() && !w->isMinimized() && w->isWindow() &&
            (w->windowType() == Qt::Window || w->windowType() == Qt::Dialog) &&
            !(w->windowFlags() & (Qt::BypassWindowManagerHint | Qt::X11BypassWindowManagerHint))) {
            const QMargins m = margins(w);
            if (!m.isNull()) return m;
        }
    return QMargins(0, kAssumedTitleBar, 0, 0);
}

}  // namespace

void SaveWindowPosition(const std::string& procedureName, QWidget* window) {
    if (!window || procedureName.empty() || PositionFile().empty()) return;
    // A hidden, minimised or full-screen window keeps the position saved before.
    if (window->isHidden() || window->isMinimized() || window->isFullScreen()) return;
    bool maximized = window->isMaximized();
    QRect g = maximized ? window->normalGeometry() : window->geometry();
    if (!g.isValid()) g = window->geometry();
    const QMargins frame = FrameOf(window);
    g = FitOnScreen(g.marginsAdded(frame), window->minimumSize().grownBy(frame)).marginsRemoved(frame);
    IniFile(PositionFile()).SaveWindow(procedureName, WindowPlacement{g.x(), g.y(), g.width(), g.height(), maximized});
}

bool RestoreWindowPosition(const std::string& procedureName, QWidget* window) {
    if (!window || procedureName.empty() || PositionFile().empty()) return false;
    std::optional<WindowPlacement> p = IniFile(PositionFile()).RestoreWindow(procedureName);
    if (!p) return false;
    QRect g(p->x, p->y, p->width > 0 ? p->width : window->width(), p->height > 0 ? p->height : window->height());
    // At least the layout's minimum and as wide as the title needs; then the
    // whole window, title bar and borders included, is moved onto the
    // screen's work area and cut only where it is larger than that area.
    const QSize minimum = window->minimumSize().expandedTo(window->minimumSizeHint());
    g.setWidth(std::max({g.width(), minimum.width(), TitleWidth(window->windowTitle())}));
    g.setHeight(std::max(g.height(), minimum.height()));
    const QMargins frame = FrameOf(window);
    window->setGeometry(FitOnScreen(g.marginsAdded(frame), minimum.grownBy(frame)).marginsRemoved(frame));
    if (p->maximized) window->setWindowState(window->windowState() | Qt::WindowMaximized);
    return true;
}

namespace {

QPointer<QWidget> g_cascadeFrame;

// How much the window manager's frame (title bar, borders) adds around a
// window: an open window tells; before any window shows, a title bar is
// assumed.
QMargins FrameMargins(const QWidget* sample, const QWidget* except) {
    if (!sample)
        for (const QWidget* w : QApplication::topLevelWidgets())
            if (w != except && w->isVisible() && !w->isMinimized()) {
                sample = w;
                break;
            }
    if (!sample || !sample->isVisible()) return QMargins(0, kAssumedTitleBar, 0, 0);
    const QRect outer = sample->frameGeometry(), inner = sample->geometry();
    return QMargins(std::max(0, inner.left() - outer.left()), std::max(0, inner.top() - outer.top()),
                    std::max(0, outer.right() - inner.right()), std::max(0, outer.bottom() - inner.bottom()));
}

// A window nobody sized yet takes the size its layout asks for, as show()
// would give it.
QSize OpeningSize(const QWidget* window) {
    QSize size = window->testAttribute(Qt::WA_Resized) ? window->size() : window->sizeHint();
    size = size.expandedTo(window->minimumSize());
    // As wide as the title needs, as the window will open.
    if (window->maximumWidth() >= TitleWidth(window->windowTitle()))
        size.setWidth(std::max(size.width(), TitleWidth(window->windowTitle())));
    return size;
}

QRect AvailableFor(const QWidget* w) {
    QScreen* screen = w ? QGuiApplication::screenAt(w->frameGeometry().center()) : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

// The screen point under the frame's menu bar and toolbars, at its left edge.
// Just after the frame shows, the window manager may not have framed it yet:
// its window then stands where the title bar goes and moves down by the
// title bar's height once framed, so the bars are taken as that much lower
// (a window opened at start-up would otherwise cover part of the toolbar).
QPoint CascadeOrigin(const QWidget* frame) {
    int top = frame->geometry().top();
    if (frame->frameGeometry().top() == top) top += kAssumedTitleBar;
    int bottom = top;
    for (const QWidget* bar : frame->findChildren<QWidget*>()) {
        if (!qobject_cast<const QMenuBar*>(bar) && !qobject_cast<const QToolBar*>(bar)) continue;
        if (bar->window() != frame || bar->isHidden()) continue;
        if (const auto* tb = qobject_cast<const QToolBar*>(bar))
            if (const auto* mw = qobject_cast<const QMainWindow*>(frame); mw && mw->toolBarArea(const_cast<QToolBar*>(tb)) != Qt::TopToolBarArea)
                continue;
        bottom = std::max(bottom, bar->mapTo(frame, QPoint(0, bar->height())).y() + top);
    }
    return QPoint(frame->frameGeometry().left(), bottom);
}

void SetOuterGeometry(QWidget* window, const QRect& outer, const QMargins& frame) {
    const QSize inner = outer.size().shrunkBy(frame).expandedTo(window->minimumSize());
    window->resize(inner);
    window->move(outer.topLeft());
}

}  // namespace


void SetCascadeFrame(QWidget* frame) { g_cascadeFrame = frame; }
QWidget* CascadeFrame() { return g_cascadeFrame; }

QRect CascadeSlot(int n, QSize outerSize) {
    QWidget* frame = g_cascadeFrame;
    if (!frame) return QRect();
    const QRect avail = AvailableFor(frame);
    const int step = std::max(20, FrameMargins(frame, nullptr).top());
    QPoint origin = CascadeOrigin(frame) + QPoint(step, 0);
    origin.setX(std::clamp(origin.x(), avail.left(), std::max(avail.left(), avail.right() - outerSize.width())));
    origin.setY(std::clamp(origin.y(), avail.top(), avail.bottom() - step));
    // Steps that fit before the window would leave the screen; the cascade
    // starts again from the origin after them.
    const int room = std::min(avail.right() + 1 - origin.x() - outerSize.width(),
                              avail.bottom() + 1 - origin.y() - outerSize.height());
    const int steps = std::max(1, room / step + 1);
    n %= steps;
    QRect g(origin + QPoint(n * step, n * step), outerSize);
    // A window taller than the room under the menu bar is cut to it (its
    // layout's minimum still holds); one wider than the screen too.
    if (g.bottom() > avail.bottom()) g.setBottom(avail.bottom());
    if (g.right() > avail.right()) g.setRight(avail.right());
    return g;
}

namespace {
int g_opened = 0;
}  // namespace

// The size a window opens with (its saved size, or the size its layout
// asks for) is its own: Cascade gives it back after Tile squeezed it.
constexpr const char* kOwnSize = "krOwnSize";

void NoteWindowOpened(QWidget* window) {
    if (!window || window->property("krOpened").isValid()) return;
    window->setProperty("krOpened", ++g_opened);
    window->setProperty(kOwnSize, window->size());
}

std::vector<QWidget*> ArrangeableWindows() {
    std::vector<QWidget*> out;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        // Dialogs of another window go with that window.
        if (w == g_cascadeFrame || !w->isVisible() || w->isMinimized() || w->parentWidget()) continue;
        const Qt::WindowType type = w->windowType();
        if (type != Qt::Window && type != Qt::Dialog) continue;
        // Only the program's own titled windows: the tray icon's window is
        // embedded in the tray host (moving it takes the icon out of the
        // tray) and untitled helpers are no windows a user opened.
        if (w->windowTitle().isEmpty() || w->inherits("QSystemTrayIconSys")) continue;
        if (w->windowFlags() & (Qt::BypassWindowManagerHint | Qt::X11BypassWindowManagerHint)) continue;
        NoteWindowOpened(w);
        out.push_back(w);
    }
    std::sort(out.begin(), out.end(), [](const QWidget* a, const QWidget* b) {
        return a->property("krOpened").toInt() < b->property("krOpened").toInt();
    });
    return out;
}

namespace {

// The smallest outer size the window's layout allows.
QSize MinimumOuter(const QWidget* w, const QMargins& frame) {
    return w->minimumSize().expandedTo(w->minimumSizeHint()).grownBy(frame);
}

// Where Tile and Cascade arrange: the screen's available area. When the
// frame stands at the top of the screen the area starts below it, so its
// menus stay in view (below its menu bar and toolbar only, over the rest of
// it, when the frame is too tall to leave a third of the screen); a frame
// elsewhere, or hidden, leaves the whole area.
QRect ArrangeArea(const std::vector<QWidget*>& windows) {
    QWidget* frame = g_cascadeFrame;
    const bool frameShows = frame && frame->isVisible() && !frame->isMinimized();
    QRect area = AvailableFor(frameShows ? frame : windows.front());
    if (!frameShows) return area;
    const QRect f = frame->frameGeometry();
    if (f.top() > area.top() + area.height() / 4) return area;
    if (f.bottom() + 1 <= area.top() + area.height() * 2 / 3)
        area.setTop(std::max(area.top(), f.bottom() + 1));
    else
        area.setTop(std::clamp(CascadeOrigin(frame).y(), area.top(), area.bottom() - 100));
    return area;
}

}  // namespace

void CascadeWindows() {
    const std::vector<QWidget*> windows = ArrangeableWindows();
    if (windows.empty()) return;
    const QRect area = ArrangeArea(windows);
    const int n = static_cast<int>(windows.size());
    // One title bar's step between windows.
    const int step = std::max(20, FrameMargins(windows.front(), nullptr).top());
    // Each window as large as it is, at most what leaves room for the steps
    // of the others, at least its minimum size.
    const QSize room(std::max(area.width() - (n - 1) * step, area.width() / 2),
                     std::max(area.height() - (n - 1) * step, area.height() / 2));
    int k = 0;  // the step of the next window
    for (int i = 0; i < n; ++i) {
        QWidget* w = windows[static_cast<std::size_t>(i)];
        const QMargins frame = FrameMargins(w, nullptr);
        const QSize minimum = MinimumOuter(w, frame);
        // Its own size, not what an earlier Tile left it, and at least as
        // wide as its title needs, as it opened.
        QSize own = w->property(kOwnSize).toSize();
        if (!own.isValid()) own = w->size();
        if (w->maximumWidth() >= TitleWidth(w->windowTitle()))
            own.setWidth(std::max(own.width(), TitleWidth(w->windowTitle())));
        const QSize outer = own.grownBy(frame).boundedTo(room).expandedTo(minimum);
        // A step that would push the window off the area starts the
        // cascade again at the top.
        QPoint at = area.topLeft() + QPoint(k * step, k * step);
        if (k > 0 && (at.x() + outer.width() > area.right() + 1 || at.y() + outer.height() > area.bottom() + 1)) {
            k = 0;
            at = area.topLeft();
        }
        ++k;
        if (w->isMaximized()) w->showNormal();
        QRect g(at, outer);
        if (g.right() > area.right()) g.moveRight(std::max(area.right(), area.left() + outer.width() - 1));
        if (g.bottom() > area.bottom()) g.moveBottom(std::max(area.bottom(), area.top() + outer.height() - 1));
        g.moveTopLeft(QPoint(std::max(g.left(), area.left()), std::max(g.top(), area.top())));
        SetOuterGeometry(w, g, frame);
        w->raise();
    }
    windows.back()->activateWindow();
}

namespace {

// Splits `length` among items of the given minimum lengths: equal shares,
// except that an item whose minimum is more than its share takes its
// minimum and the others share what is left. When the minimums together are
// more than the length, every item gets its minimum.
std::vector<int> ShareOut(int length, const std::vector<int>& minimum) {
    const std::size_t n = minimum.size();
    std::vector<bool> fixed(n, false);
    for (bool changed = true; changed;) {
        changed = false;
        int rest = length, free = 0;
        for (std::size_t i = 0; i < n; ++i) fixed[i] ? rest -= minimum[i] : ++free;
        if (free == 0) break;
        for (std::size_t i = 0; i < n; ++i)
            if (!fixed[i] && minimum[i] * free > rest) fixed[i] = changed = true;
    }
    int rest = length, free = 0;
    for (std::size_t i = 0; i < n; ++i) fixed[i] ? rest -= minimum[i] : ++free;
    std::vector<int> out(n);
    for (std::size_t i = 0, k = 0; i < n; ++i) {
        if (fixed[i]) {
            out[i] = minimum[i];
            continue;
        }
        // The pixels left over by the division go one each to the first.
        out[i] = rest / free + (static_cast<int>(k) < rest % free ? 1 : 0);
        ++k;
    }
    return out;
}

// Where items of these lengths start, one after the other from `start`; a
// run longer than the room ends at its end, the items overlapping as little
// as they can, so none leaves the room.
std::vector<int> Positions(int start, int length, const std::vector<int>& sizes) {
    std::vector<int> at(sizes.size());
    int total = 0;
    for (int s : sizes) total += s;
    const int n = static_cast<int>(sizes.size());
    const int over = std::max(0, total - length);
    int x = start;
    for (int i = 0; i < n; ++i) {
        // Each gap after the first item gives up its part of the excess.
        const int back = n > 1 ? over * i / (n - 1) : 0;
        at[static_cast<std::size_t>(i)] = std::max(start, std::min(x - back, start + length - sizes[static_cast<std::size_t>(i)]));
        x += sizes[static_cast<std::size_t>(i)];
    }
    return at;
}

}  // namespace

void TileWindows() {
    const std::vector<QWidget*> windows = ArrangeableWindows();
    if (windows.empty()) return;
    const QRect area = ArrangeArea(windows);
    const int n = static_cast<int>(windows.size());
    // Sizes are outer sizes: openbox's title bar and borders count, so the
    // frames of the bottom row and the right column stay inside the area.
    std::vector<QMargins> frame;
    std::vector<QSize> minimum;
    for (QWidget* w : windows) {
        frame.push_back(FrameMargins(w, nullptr));
        minimum.push_back(MinimumOuter(w, frame.back()));
    }
    // The rows of a grid of `cols` columns (the last row holds the rest).
    auto rowsOf = [&](int cols) {
        std::vector<std::vector<int>> rows;
        for (int i = 0; i < n; ++i) {
            if (i % cols == 0) rows.emplace_back();
            rows.back().push_back(i);
        }
        return rows;
    };
    auto rowMinimum = [&](const std::vector<int>& row) {
        int h = 0;
        for (int i : row) h = std::max(h, minimum[static_cast<std::size_t>(i)].height());
        return h;
    };
    // A grid fits when every row's windows have their minimum widths side by
    // side and the rows their minimum heights one over the other.
    auto fits = [&](int cols) {
        int height = 0;
        for (const std::vector<int>& row : rowsOf(cols)) {
            int width = 0;
            for (int i : row) width += minimum[static_cast<std::size_t>(i)].width();
            if (width > area.width()) return false;
            height += rowMinimum(row);
        }
        return height <= area.height();
    };
    // The grid closest to square that fits; the square grid when none does.
    const int square = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
    int cols = square;
    for (int d = 0; d < n; ++d) {
        if (square + d <= n && fits(square + d)) { cols = square + d; break; }
        if (square - d >= 1 && fits(square - d)) { cols = square - d; break; }
    }
    const std::vector<std::vector<int>> rows = rowsOf(cols);
    std::vector<int> rowMin;
    for (const std::vector<int>& row : rows) rowMin.push_back(rowMinimum(row));
    const std::vector<int> heights = ShareOut(area.height(), rowMin);
    const std::vector<int> tops = Positions(area.top(), area.height(), heights);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::vector<int> widthMin;
        for (int i : rows[r]) widthMin.push_back(minimum[static_cast<std::size_t>(i)].width());
        const std::vector<int> widths = ShareOut(area.width(), widthMin);
        const std::vector<int> lefts = Positions(area.left(), area.width(), widths);
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            const std::size_t i = static_cast<std::size_t>(rows[r][c]);
            QWidget* w = windows[i];
            if (w->isMaximized()) w->showNormal();
            const QSize size(widths[c], std::max(heights[r], minimum[i].height()));
            QRect g(QPoint(lefts[c], tops[r]), size);
            if (g.bottom() > area.bottom()) g.moveBottom(area.bottom());
            g.moveTop(std::max(g.top(), area.top()));
            SetOuterGeometry(w, g, frame[i]);
            w->raise();
        }
    }
}

std::vector<QWidget*> HideWindowsWithFrame(const QWidget* frame) {
    auto staysOut = [frame](const QWidget* w) {
        for (; w; w = w->parentWidget() ? w->parentWidget()->window() : nullptr) {
            if (w == frame || w->property(kShowsWithoutFrame).toBool() || qobject_cast<const QMessageBox*>(w))
                return true;
        }
        return false;
    };
    std::vector<QWidget*> hidden;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || w->windowTitle().isEmpty() || w->inherits("QSystemTrayIconSys")) continue;
        const Qt::WindowType type = w->windowType();
        if (type != Qt::Window && type != Qt::Dialog) continue;
        if (staysOut(w)) continue;
        NoteWindowOpened(w);
        hidden.push_back(w);
    }
    std::sort(hidden.begin(), hidden.end(), [](const QWidget* a, const QWidget* b) {
        return a->property("krOpened").toInt() < b->property("krOpened").toInt();
    });
    for (QWidget* w : hidden) w->hide();
    return hidden;
}

void ShowWindowsAgain(const std::vector<QPointer<QWidget>>& windows) {
    for (const QPointer<QWidget>& w : windows)
        if (w && !w->isVisible()) w->show();
}

void PlaceOverWindow(QWidget* window, const QWidget* anchor) {
    if (!window || anchor == window) return;
    if (anchor && !anchor->isVisible()) anchor = nullptr;
    const QSize size = OpeningSize(window);
    if (!size.isValid()) return;
    const QMargins frame = FrameMargins(anchor, window);
    if (g_cascadeFrame && window != g_cascadeFrame && !window->parentWidget()) {
        // The step of the cascade is the number of program windows open
        // besides the frame and this one.
        int open = 0;
        for (QWidget* w : ArrangeableWindows())
            if (w != window) ++open;
        SetOuterGeometry(window, CascadeSlot(open, size.grownBy(frame)), frame);
        return;
    }
    QRect g(QPoint(0, 0), size.grownBy(frame));
    if (anchor) {
        g.moveCenter(anchor->frameGeometry().center());
    } else {
        QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen) return;
        g.moveCenter(screen->availableGeometry().center());
    }
    g = FitOnScreen(g);
    window->resize(g.size().shrunkBy(frame));
    window->move(g.topLeft());
}

QWidget* DialogAnchor() {
    const std::vector<QWidget*> own = WindowsOf(CurrentProcedureThread());
    for (auto w = own.rbegin(); w != own.rend(); ++w)
        if ((*w)->isVisible() && !(*w)->isMinimized()) return *w;
    if (QWidget* active = QApplication::activeWindow(); active && active->isVisible()) return active;
    if (g_cascadeFrame && g_cascadeFrame->isVisible() && !g_cascadeFrame->isMinimized()) return g_cascadeFrame;
    return nullptr;
}

void KeepRoomWhenHidden(QWidget* part, QSize size) {
    if (!part) return;
    part->setFixedSize(size);
    QSizePolicy policy = part->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    part->setSizePolicy(policy);
}

void KeepWindowOnScreen(QWidget* window) {
    if (!window || !window->isWindow() || !window->isVisible()) return;
    if (window->isMinimized() || window->isMaximized() || window->isFullScreen()) return;
    if (window->windowFlags() & (Qt::BypassWindowManagerHint | Qt::X11BypassWindowManagerHint)) return;
    const QMargins frame = FrameOf(window);
    const QRect outer = window->geometry().marginsAdded(frame);
    const QSize minimum = window->minimumSize().expandedTo(window->minimumSizeHint()).grownBy(frame);
    const QRect fitted = FitOnScreen(outer, minimum);
    if (fitted == outer) return;
    if (fitted.size() != outer.size()) window->resize(fitted.size().shrunkBy(frame));
    // A top-level window's position is that of its frame.
    window->move(fitted.topLeft());
}

}  // namespace kr
