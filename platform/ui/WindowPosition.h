// Saving and restoring window positions in ".\POSITION.INI".
//
// Each window's position is kept in the section named after its procedure,
// under the keys XPos, YPos, Width and Height (the window's normal geometry,
// in pixels) and Maximize (1 when it was maximised).
#pragma once

#include <QPointer>
#include <QRect>
#include <QSize>
#include <string>
#include <vector>

class QString;
class QWidget;

namespace kr {

// The file the positions go to; ".\POSITION.INI" unless changed. Empty: the
// program keeps no positions (nothing is restored, saved or written).
std::string PositionFile();
void SetPositionFile(const std::string& file);

// Stores the window's position under the procedure's name, unless the window
// is hidden, minimised or full screen: such a window keeps the position saved
// before.
void SaveWindowPosition(const std::string& procedureName, QWidget* window);
// Puts the window where it was saved, at least at its layout's minimum size
// and its title's width. The whole window, title bar and borders included,
// is then moved onto the work area of the screen it is on, and cut only
// where it is larger than that area. False when nothing was saved for the
// procedure.
bool RestoreWindowPosition(const std::string& procedureName, QWidget* window);
// Centres a window that has no saved position over `anchor` (the window the
// user opened it from), or on the screen without one, kept on the screen. A
// window opened from the frame's menu is its own top-level window, so the
// window manager would otherwise put it wherever it puts new windows, often
// a corner far from where the user is working. While the program has a
// cascade frame (below), a window with no parent opens in the frame's
// cascade instead.
void PlaceOverWindow(QWidget* window, const QWidget* anchor);
// The window a dialog asked for now goes over: the innermost shown window
// of the current procedure thread, else the active window, else the cascade
// frame while it shows; nullptr when none shows. A window of the thread that
// is still being built (a wizard asks for the password before it opens) is
// passed over: it has no place on the screen yet, so a dialog centred over
// it stood wherever its placeholder geometry put it, not over the window the
// user asked from.
QWidget* DialogAnchor();
// Moves a shown window whose frame leaves the work area of its screen back
// onto it, cutting its size only where it is larger than the area (never
// below its minimum). The application does it for every titled window as
// it shows, once the window manager has framed it, and whenever it grows.
void KeepWindowOnScreen(QWidget* window);
// A part that a window shows on some of its pages only (a wizard's
// picture) keeps its room, at the given size, while it is hidden: the
// window then keeps one size across its pages instead of growing (and
// staying wider) when a page shows the part.
void KeepRoomWhenHidden(QWidget* part, QSize size);

// The program's frame, from which windows with no saved position open
// cascaded (nullptr: none, windows are placed over the one they were opened
// from). Each such window opens one title bar lower and to the right of the
// last, starting under the frame's menu bar and toolbar, so no window hides
// the frame's menus or another window's title; the cascade starts again at
// the top when the next step would leave the screen.
void SetCascadeFrame(QWidget* frame);
QWidget* CascadeFrame();
// Where PlaceOverWindow puts the n-th cascaded window (0 the first), as the
// outer rectangle (title bar included) of a window of the given outer size.
QRect CascadeSlot(int n, QSize outerSize);
// The window system's standard window arrangements, over the program's open
// top-level windows other than the frame. Cascade: each one step below the
// last, at its own size (the size it opened with: its saved size or its
// layout's), so a window Tile squeezed gets its size back. Tile: side by
// side in a grid filling the screen under the frame's menu bar, frames
// included, each window at least its minimum size (a row or column whose
// minimums are more than an equal share takes them, the others share the
// rest).
void CascadeWindows();
void TileWindows();
// The room a title bar needs besides its text: measured once under the
// desktop's window manager (openbox's own theme: the window icon and its
// padding take 20 pixels on the left, the three buttons 50 on the right,
// and the title is centred over the whole bar, so both sides count as the
// larger, with a margin for a title font a little wider than the
// program's).
inline constexpr int kTitleBarRoom = 110;
// The width a window needs so that its title shows whole: the title in the
// application font and kTitleBarRoom. Every window opens at least this wide.
int TitleWidth(const QString& title);

// The program's open top-level windows other than the frame, popups and
// dialogs of another window, in the order they were opened (as noted by
// NoteWindowOpened, which the window manager calls as it opens a window).
std::vector<QWidget*> ArrangeableWindows();
void NoteWindowOpened(QWidget* window);

// A window whose property of this name is true stays on screen while the
// frame sits in the tray: what must reach the user (task messages and
// advance warnings, Options and About called from the tray menu).
inline constexpr const char* kShowsWithoutFrame = "krShowsWithoutFrame";
// Hides the program's windows that go with the frame into the tray: every
// visible titled top-level window but the frame, message boxes, the tray
// icon's window and those marked kShowsWithoutFrame (and their dialogs).
// Returns them, in their order, for ShowWindowsAgain.
std::vector<QWidget*> HideWindowsWithFrame(const QWidget* frame);
// Shows again those of the windows that still exist and were not shown
// meanwhile, in their order.
void ShowWindowsAgain(const std::vector<QPointer<QWidget>>& windows);

}  // namespace kr
