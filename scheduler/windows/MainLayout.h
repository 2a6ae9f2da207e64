// The frame's window: the menu, the toolbar and the four-zone status bar,
// with the activity image and the script indicator at the start of the
// status bar. Every menu and toolbar command is an action that carries its
// control number (CommandOf).
#pragma once

#include <QMainWindow>
#include <map>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace kr {

class Toolbar;

struct MainLayout {
    QMainWindow* window = nullptr;
    QToolBar* toolbar = nullptr;
    std::unique_ptr<Toolbar> tools;
    QLabel* zones[5] = {};  // status bar zones 1 to 4 ([0] unused)
    QLabel* activity = nullptr;   // the activity image
    QLabel* indicator = nullptr;  // the script indicator
    QLabel* activityText = nullptr;  // the activity text, shown while not empty
    // Menu and toolbar commands by control number (a number used by a menu
    // item and by a toolbar button gives the menu item; see toolbarCommands).
    std::map<int, QAction*> commands;
    std::map<int, QAction*> toolbarCommands;
    // The window system's standard actions.
    QAction* cut = nullptr;
    QAction* copy = nullptr;
    QAction* paste = nullptr;
    QAction* printSetup = nullptr;
    QAction* tile = nullptr;
    QAction* cascade = nullptr;
    QAction* arrangeIcons = nullptr;
    QMenu* windowMenu = nullptr;  // below its three actions: the open windows
    QAction* helpContents = nullptr;
    QAction* helpSearch = nullptr;
    QAction* helpHowTo = nullptr;

    MainLayout();
    ~MainLayout();
    void Build();
    // Every action of a command (menu item and toolbar button).
    std::vector<QAction*> ActionsOf(int command) const;

private:
    // A menu item of a command; its tip shows in status zone 1 while it is
    // highlighted.
    QAction* Add(QMenu* menu, int command, const char* text, const QKeySequence& key = {}, const char* tip = nullptr);
    QMenu* Submenu(QMenu* menu, const char* text, const char* tip);
};

}  // namespace kr
