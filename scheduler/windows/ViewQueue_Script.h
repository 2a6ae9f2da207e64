// ViewQueue:Script, the window "Current Script": the script run queue as it
// stands, the details of the chosen entry, and Delete, which takes that
// entry out so the script skips it. Started on a procedure thread of its own
// from the frame's "View Current Script".
//
// The queue is in memory and its head moves every tick, so the window keeps
// the entries it shows and finds the chosen one again by what identifies it
// (task, sequence and due moment), never by its row.
#pragma once

#include <QWidget>
#include <optional>
#include <vector>

#include "platform/ui/WindowManager.h"
#include "scheduler/ScriptQueue.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace kr {

inline constexpr const char* kViewQueueProcedure = "ViewQueue:Script";
inline constexpr const char* kBugReportProcedure = "BugReport";
inline constexpr int kQueueDetailsLength = 80;

// True when a and b are the same queued item.
bool SameQueueEntry(const ScriptQueueEntry& a, const ScriptQueueEntry& b);
// Takes the entry out of the program's queue; false when it is no longer there.
bool DeleteQueueEntry(const ScriptQueueEntry& entry);
// The details text of an entry (cut to 80 characters).
std::string QueueEntryDetails(const ScriptQueueEntry& entry);

struct ViewQueue_ScriptLayout {
    QWidget* window = nullptr;
    QTableWidget* list = nullptr;
    QPlainTextEdit* details = nullptr;
    QLabel* currentTime = nullptr;
    QPushButton *detailsButton = nullptr, *remove = nullptr, *debug = nullptr, *close = nullptr;
    void Build();
};

class ViewQueue_ScriptWindow : public WindowManager {
public:
    ViewQueue_ScriptWindow();
    const ViewQueue_ScriptLayout& Layout() const { return ui_; }
    // The entries on show, in list order.
    const std::vector<ScriptQueueEntry>& Shown() const { return shown_; }
    // Reads the queue again (what the timer does).
    void Redisplay();

protected:
    QWidget* MakeWindow() override;
    bool Init() override;
    void TakeAccepted(QObject* control) override;
    void TakeTimer() override;

private:
    std::optional<ScriptQueueEntry> Chosen() const;
    void ShowDetails();

    ViewQueue_ScriptLayout ui_;
    std::vector<ScriptQueueEntry> shown_;
};

ViewQueue_ScriptWindow* ViewQueue_Script();

// Makes the frame's own windows known: "ViewQueue:Script" to START and
// "About" to the frame's called procedures.
void RegisterSchedulerWindows();

}  // namespace kr
