// ViewAscii:Log, the window "Event Log": the event log file in a list, with
// "&Print...", "&Search..." and "&Close". Started from the frame's menu on a
// procedure thread of its own.
#pragma once

#include <QWidget>
#include <string>

#include "dictionary/windows/AsciiViewer.h"
#include "platform/ui/WindowManager.h"

class QListView;
class QPushButton;

namespace kr {

inline constexpr const char* kViewLogProcedure = "ViewAscii:Log";

struct ViewAscii_LogLayout {
    QWidget* window = nullptr;
    QListView* list = nullptr;
    QPushButton* print = nullptr;
    QPushButton* search = nullptr;
    QPushButton* close = nullptr;
    void Build();
};

class ViewAscii_LogWindow : public WindowManager {
public:
    ViewAscii_LogWindow();

    const ViewAscii_LogLayout& Layout() const { return ui_; }
    AsciiViewer& Viewer() { return viewer_; }

protected:
    QWidget* MakeWindow() override;
    bool Init() override;
    void TakeAccepted(QObject* control) override;
    void Kill() override;

private:
    ViewAscii_LogLayout ui_;
    AsciiViewer viewer_;
};

// The procedure: notes in the log when logging is off, then opens the window
// on the current procedure thread. Returns the window's manager, or nullptr
// when the log could not be shown (the window closed at once).
ViewAscii_LogWindow* ViewAscii_Log();

// Makes the dictionary's windows known to START by their procedure names.
void RegisterDictionaryWindows();

}  // namespace kr
