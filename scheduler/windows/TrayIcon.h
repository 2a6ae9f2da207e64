// The frame's icon in the desktop's notification area (system tray).
//
// TrayIcon adds, changes and removes one icon with its tip, turns minimising
// of its window into hiding it, and restores the window. Its mouse events
// reach the window as user events, as the frame expects them:
//   1089 left click, 1090 right click (the popup), 1091 left double click,
//   1093 the tray came back (the icon is added again).
// The click handlers are virtual; the frame overrides them.
//
// The "shell" here is QSystemTrayIcon. A tray host redraws what it holds, so
// the icon is only passed on when it differs from what the host shows; the
// call counter still counts every call ALWAYSREFRESH asks for. Where the
// desktop has no tray (TrayAvailable() false), nothing shows; the frame then
// leaves minimising to the taskbar, so the window cannot be lost.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class QSystemTrayIcon;

namespace kr {

// The tray's user events.
inline constexpr int kEventTrayLeftClick = 1089;
inline constexpr int kEventTrayRightClick = 1090;
inline constexpr int kEventTrayDoubleClick = 1091;
inline constexpr int kEventTrayRightDoubleClick = 1092;
inline constexpr int kEventTrayRecreated = 1093;
// The tip the tray host gets holds at most this many characters.
inline constexpr std::size_t kTrayTipLength = 63;

class TrayIcon : public QObject {
public:
    TrayIcon();
    ~TrayIcon() override;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    uint8_t ACTIVE = 0;             // kept for the owner
    uint8_t ALWAYSREFRESH = 0;      // 1: SetTooltip and SetIcon always pass the value on
    uint8_t MINIMIZETOTASKBAR = 0;  // 1: minimising is left to the desktop
    uint8_t NOSUBCLASSING = 0;      // 1: the window's minimising is never taken over

    // Adds the icon for the window; unless noSubclassing or
    // minimizeToTaskbar, minimising the window hides it.
    void Init(QWidget* window, int uid, bool minimizeToTaskbar, bool noSubclassing, const std::string& tip,
              const std::string& icon);
    // Results: 1 when done, 0 when there is no icon to change.
    int Add(const std::string& tip, const std::string& icon);
    int SetTooltip(const std::string& text);
    int SetIcon(const std::string& name);
    int Delete();
    std::string Tooltip() const { return tip_; }
    std::string IconName() const { return icon_; }
    int UID() const { return uid_; }

    // Minimising hides the window (RegisterEvents) or goes to the taskbar
    // (UnregisterEvents); the timer cycle calls one of them every fourth tick.
    void RegisterEvents();
    void UnregisterEvents();
    bool HidesOnMinimize() const { return routed_; }

    // Hiding takes the program's other windows along (HideWindowsWithFrame);
    // restoring shows them again over the window.
    virtual void HideWindow();
    virtual void RestoreWindow();
    virtual void HandleLeftClick() {}
    virtual void HandleDoubleClick() {}
    virtual void HandleRightClick() {}

    // Removes the routes and the icon.
    void Kill();

    // The resource name of an icon file: "tray.ico" gives "tray_ico"; a name
    // of four characters or fewer is kept as it is.
    static std::string ResourceName(std::string_view file);
    // True when the desktop has a tray to show the icon in.
    static bool TrayAvailable();

    // What the tray host was last given, and how many changes were passed on.
    std::string ShownTip() const { return shownTip_; }
    std::string ShownIcon() const { return shownIcon_; }
    int ShellCalls() const { return shellCalls_; }
    bool Added() const { return added_; }
    QSystemTrayIcon* Native() const { return tray_; }
    QWidget* Window() const { return window_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Notify(bool tip, bool icon);
    void PostToWindow(int event);

    QPointer<QWidget> window_;
    std::vector<QPointer<QWidget>> hiddenWith_;  // hidden with the window, shown with it again
    QSystemTrayIcon* tray_ = nullptr;
    int uid_ = 0;
    std::string icon_;  // 256 characters
    std::string tip_;   // 256 characters
    std::string shownTip_, shownIcon_;
    int shellCalls_ = 0;
    bool added_ = false;
    bool routed_ = false;
    bool filtering_ = false;
};

}  // namespace kr
