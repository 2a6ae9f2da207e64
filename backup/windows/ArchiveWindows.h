// The windows of the archive class: its progress windows (the framework's
// shared progress window over the running library call), the password and
// file-comment questions, the preferences, the member dialogs (delete, test,
// unzip), the archive comment, the archive information and the file dialogs
// that pick archives and files.
//
// These windows are modal: the class asks in the middle of an operation and
// needs the answer before it goes on, as the standard dialogs do.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backup/Lszclass.h"

class QWidget;

namespace kr::backup {

// The Qt ArchiveUi: installed by both programs.
class QtArchiveUi : public ArchiveUi {
public:
    std::unique_ptr<ProgressWindow> OpenProgress(const std::string& title, bool overall) override;
    bool AskPassword(std::string& password) override;
    bool AskFileComment(std::string& comment) override;
    int CurrentRow() override { return currentRow ? currentRow() : -1; }
    void ListChanged() override {
        if (listChanged) listChanged();
    }
    // Set by the list window that shows LSZQ.
    std::function<int()> currentRow;
    std::function<void()> listChanged;
};

// The file dialogs. Tests install an answerer in place of the real dialogs:
// it gets the kind ("save", "open", "open-multi"), the title, the filter and
// the start name, and answers the chosen names (none: cancelled).
using FileDialogAnswerer = std::function<std::vector<std::string>(const std::string& kind, const std::string& title,
                                                                  const std::string& filter, const std::string& start)>;
void InstallFileDialogAnswerer(FileDialogAnswerer answerer);
std::vector<std::string> AskFileNames(QWidget* parent, const std::string& kind, const std::string& title,
                                      const std::string& filter, const std::string& start);

// The top-level window the class's windows open over (the program's frame
// or main window); nullptr: the active window.
void SetArchiveWindowParent(QWidget* parent);
QWidget* ArchiveWindowParent();

// The class's dialog methods.
std::string NewArchive(LSZCLASS& z);
std::string OpenArchive(LSZCLASS& z);
bool AskAddFiles(LSZCLASS& z);
void ZipPreferences(LSZCLASS& z);
bool AskDeleteFiles(LSZCLASS& z);
bool AskTestFiles(LSZCLASS& z);
bool AskUnzipFiles(LSZCLASS& z);
int EditArchiveComment(LSZCLASS& z);
void ShowZipInformation(LSZCLASS& z);

}  // namespace kr::backup
