// Popup menus: the runtime's POPUP text and the framework's named popup.
//
// A popup text lists items separated by "|": "-" alone is a separator,
// "{" after an item's text opens its submenu and "}" closes it, a leading "~"
// greys an item out, a leading "+" shows it checked and a leading "-" (before
// text) unchecked. Choices are numbered 1, 2, ... in text order over the
// items that can be chosen; separators and submenu headers take no number.
//   "Set Message &Font|-|&Snooze{10 Minutes|30 Minutes}|E&xit"
//   gives 1 Set Message Font, 2 10 Minutes, 3 30 Minutes, 4 Exit.
//
// Showing a popup waits for the choice (a short nested event loop, as for a
// message box). Tests install a PopupResponder that picks an item instead.
#pragma once

#include <QPoint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QAbstractButton;
class QMenu;
class QWidget;

namespace kr {

struct PopupItem {
    std::string text;  // as shown, with "&" marks
    std::string name;  // the named popup's item name; empty in a popup text
    int number = 0;    // choice number; 0 for separators and submenu headers
    bool separator = false;
    bool enabled = true;
    bool checkable = false;
    bool checked = false;
    std::vector<PopupItem> children;  // a submenu
};

// Parses a popup text. Unbalanced braces are tolerated: a "}" without a
// submenu is ignored and submenus still open at the end are closed.
std::vector<PopupItem> ParsePopup(std::string_view text);

// What a test answers in place of the user: given the items as they would
// show, the number of the chosen item, or 0 for none.
using PopupResponder = std::function<int(const std::vector<PopupItem>& items)>;
void InstallPopupResponder(PopupResponder responder);  // empty: show real menus

// The runtime's POPUP: shows the text as a menu at a screen position (the
// mouse when none) and returns the choice number, 0 when nothing was chosen.
int Popup(std::string_view text, std::optional<QPoint> at = std::nullopt, QWidget* parent = nullptr);

// The framework's popup menu: named items, each of which may press a button
// of the window ("mimic") or post an event, enabled and checked by name.
class PopupMenu {
public:
    PopupMenu();
    ~PopupMenu();
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;

    // Adds an item; the text may carry "~" and "+"/"-" marks. A text of "-"
    // adds a separator.
    void AddItem(const std::string& name, const std::string& text, const std::string& icon = {});
    void AddSeparator(const std::string& name = {});
    // An item that presses a button when chosen; it is enabled while the
    // button is enabled and visible.
    void AddItemMimic(const std::string& name, const std::string& text, QAbstractButton* button);
    // An item that runs a function when chosen.
    void AddItemAction(const std::string& name, const std::string& text, std::function<void()> action);
    // An item that posts a user event to a window when chosen.
    void AddItemEvent(const std::string& name, const std::string& text, int event, QWidget* window);
    // Adds the items of a popup text under a submenu item; the items are
    // named after the header's name and their choice number ("Sort1", "Sort2").
    void AddSubMenu(const std::string& name, const std::string& text, std::string_view items);
    // A submenu of named items: its header, then items added into it (or
    // into a submenu inside it) by the header's name.
    void AddSubMenuHeader(const std::string& name, const std::string& text, const std::string& parent = {});
    void AddItemEventIn(const std::string& parent, const std::string& name, const std::string& text, int event,
                        QWidget* window);
    void AddSeparatorIn(const std::string& parent, const std::string& name = {});
    void DeleteItem(const std::string& name);
    void Clear();

    bool HasItem(const std::string& name) const;
    void SetItemEnable(const std::string& name, bool enabled);
    bool ItemEnabled(const std::string& name) const;
    void SetItemCheck(const std::string& name, bool checked);
    bool ItemChecked(const std::string& name) const;
    void SetText(const std::string& name, const std::string& text);
    std::string Text(const std::string& name) const;
    std::vector<std::string> ItemNames() const;
    // The items as Ask would show them.
    std::vector<PopupItem> Items() const;

    // Shows the menu and returns the chosen item's name ("" for none), after
    // pressing its button, running its action or posting its event.
    std::string Ask(std::optional<QPoint> at = std::nullopt, QWidget* parent = nullptr);

private:
    struct Entry;
    Entry* Find(const std::string& name) const;
    std::vector<std::unique_ptr<Entry>> entries_;
};

}  // namespace kr
