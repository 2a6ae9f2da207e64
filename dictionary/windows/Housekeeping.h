// Housekeeping: removes disabled or completed tasks with their script items,
// clears the to-do list, re-dates all tasks, deletes the saved window
// positions and empties the script run queue. Called on the frame's thread,
// window-modal over it, behind the system password.
//
// What lives above the dictionary (re-dating, the run queue, the schedule
// lists, the open task editors) is reached through HousekeepingServices,
// which KR98 installs.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

#include "platform/ui/TabHighlight.h"
#include "platform/ui/WindowManager.h"

class QPushButton;
class QTabWidget;

namespace kr {

inline constexpr const char* kHousekeepingProcedure = "Housekeeping";

struct HousekeepingServices {
    // "Re-Date Tasks" and the re-dating; done when all is over.
    std::function<void(std::function<void()> done)> rescheduleAllTasks;
    // Drops every queued script item (and stops the step in progress).
    std::function<void()> clearScriptQueue;
    // Posts 1090 to every open schedule list.
    std::function<void()> notifyScheduleLists;
    // A task an open task form or wizard holds.
    std::function<bool(int32_t id)> taskInUse;
};
void SetHousekeepingServices(HousekeepingServices services);

struct HousekeepingLayout {
    QWidget* window = nullptr;
    QTabWidget* sheet = nullptr;
    QPushButton *clearDisabled = nullptr, *clearCompleted = nullptr, *clearToDo = nullptr, *reschedule = nullptr;
    QPushButton *resetWindows = nullptr, *clearScripts = nullptr;
    QPushButton* close = nullptr;
    void Build();
};

class HousekeepingWindow : public WindowManager {
public:
    HousekeepingWindow();
    const HousekeepingLayout& Layout() const { return ui_; }

protected:
    QWidget* MakeWindow() override;
    bool Init() override;
    void TakeAccepted(QObject* control) override;
    void TakeNewSelection(QObject* control) override;
    void Kill() override;

private:
    HousekeepingLayout ui_;
    TabHighlight tabs_;
};

HousekeepingWindow* Housekeeping();

}  // namespace kr
