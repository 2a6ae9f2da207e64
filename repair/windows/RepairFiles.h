// The repair program's window "Repair Files": the twelve tables, their tags,
// record counts and names on disk, and the buttons that run an action over
// the tagged tables (or the highlighted one) in the progress window.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/WindowManager.h"
#include "repair/RepairFiles.h"
#include "repair/windows/RepairFilesLayout.h"

namespace kr::repair {

class RepairFilesWindow : public WindowManager {
public:
    RepairFilesWindow();

    std::vector<RepairRow>& rows() { return rows_; }
    const std::string& currentAction() const { return action_; }
    RepairFilesLayout& layout() { return ui_; }
    // Runs an action as its button does (tests).
    void RunAction(const std::string& action);
    bool Running() const { return running_; }

protected:
    QWidget* MakeWindow() override;
    bool Init() override;
    void TakeOpened() override;
    void TakeAccepted(QObject* control) override;

private:
    void ShowRow(int index);
    void ShowRows();
    int Highlighted() const;

    RepairFilesLayout ui_;
    std::vector<RepairRow> rows_;
    std::string action_ = kActionBuild;
    bool running_ = false;
};

// The program's run: the warning, then the window until it is closed.
// Returns the program's exit code.
int RepairFiles();

}  // namespace kr::repair
