// The two programs' windows: the launcher's "Backup / Restore" window and the
// backup assistant's frame "VXW Backup Module" with its archive list.
#pragma once

#include <QDialog>
#include <QMainWindow>
#include <string>
#include <vector>

#include "backup/Launcher.h"
#include "backup/windows/ArchiveWindows.h"

class QAction;
class QLineEdit;
class QRadioButton;
class QTableWidget;

namespace kr::backup {

// The launcher's window. Every button first takes over the controls'
// values; OK runs the backup or restore and closes, whatever the result.
class BackupRestoreWindow : public QDialog {
public:
    explicit BackupRestoreWindow(LauncherRun& run, QWidget* parent = nullptr);
    int result() const { return result_; }
    QRadioButton* backupButton() const { return backup_; }
    QRadioButton* restoreButton() const { return restore_; }
    QLineEdit* archiveEdit() const { return archive_; }

private:
    void TakeOver();
    void Browse();
    void Advanced();
    void Ok();
    void done(int r) override;

    LauncherRun& run_;
    QRadioButton* backup_;
    QRadioButton* restore_;
    QLineEdit* archive_;
    int result_ = 0;
};

// The assistant's frame. `firstParameter` is parameter 1 of the command
// line (the files to recommend for backup).
class BackupAssistantFrame : public QMainWindow {
public:
    BackupAssistantFrame(LSZCLASS& z, std::string firstParameter, QWidget* parent = nullptr);
    ~BackupAssistantFrame() override;

    // The recommendation, once per list of files (".\VXWBACK.INI").
    void Recommend();
    // Menu and toolbar commands, by their texts (tests and the list call them).
    QAction* action(const QString& objectName) const;
    // The open list window, or nullptr.
    QTableWidget* list() const { return list_; }
    void RefreshList();

private:
    void OpenList();
    void CloseList();
    void EnableArchiveControls(bool on);
    void NewArchiveCommand(bool fromMenu);
    void OpenArchiveCommand(bool fromMenu);
    void CloseArchiveCommand();
    void Add();
    void Delete();
    void Extract();
    void Test();
    void ListPopup(const QPoint& at);
    void SyncMarks();
    void About();

    LSZCLASS& z_;
    std::string firstParameter_;
    QtArchiveUi ui_;
    QTableWidget* list_ = nullptr;
    std::vector<QAction*> archiveControls_;
    bool syncing_ = false;
    std::string positionFile_;  // the program's position file, back when the frame goes
};

}  // namespace kr::backup
