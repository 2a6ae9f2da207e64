// The program-choice dialogs and the file dialog every task window asks.
// The dialog is given its start folder; the program's current folder never
// changes (every table name is relative to it).
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <filesystem>

#include "dictionary/Dictionary.h"
#include "platform/ui/ProcedureThread.h"
#include "scheduler/TaskMessage.h"
#include "scheduler/windows/RescheduleAllTasks.h"
#include "tasks/TaskEditorRules.h"
#include "tasks/windows/TaskWindows.h"

namespace kr::tasks {

namespace {

FileChooser& Chooser() {
    static FileChooser chooser;
    return chooser;
}

const QStringList& ProgramFilters() {
    static const QStringList filters = {"All Files (*)", "Executables (*)", "Shell Scripts (*.sh)",
                                        "Desktop Entries (*.desktop)"};
    return filters;
}

std::optional<std::string> QtChooseFile(QWidget* parent, const std::string& title, const std::string& start,
                                        const QStringList& filters) {
    QFileDialog dialog(parent, QString::fromStdString(title), QString::fromStdString(start));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    // Qt's own dialog, so the executables filter can list executable files only.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    const QDir::Filters all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::AllDirs;
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, all](const QString& f) {
        dialog.setFilter(f.startsWith("Executables") ? (QDir::AllDirs | QDir::Files | QDir::Executable |
                                                        QDir::NoDotAndDotDot)
                                                     : all);
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

std::string StartFolder(const std::string& path) {
    std::string p = path;
    while (!p.empty() && p.back() == ' ') p.pop_back();
    if (!p.empty() && std::filesystem::is_directory(p)) return p;
    return std::filesystem::current_path().string();
}

}  // namespace

void SetFileChooser(FileChooser chooser) { Chooser() = std::move(chooser); }

std::optional<std::string> ChooseFile(QWidget* parent, const std::string& title, const std::string& startFolder,
                                      const QStringList& filters) {
    if (Chooser()) return Chooser()(parent, title, startFolder, filters);
    return QtChooseFile(parent, title, startFolder, filters);
}

void ChooseProgram(QWidget* parent, std::function<void(bool)> done) {
    Schedule& SCH = Schedule_File().rec();
    const auto file = ChooseFile(parent, "Choose a Program to Start", StartFolder(SCH.Path.str()), ProgramFilters());
    if (file) ApplyChosenProgram(SCH.Command, SCH.Path, *file);
    if (done) done(file.has_value());
}

void SelectProgram(QWidget* parent, FString<255>& command, FString<255>& path) {
    const auto file = ChooseFile(parent, "Select a Program", StartFolder(path.str()), ProgramFilters());
    if (file) ApplyChosenProgram(command, path, *file);
}

void RegisterTaskWindows() {
    RegisterProcedure("BrowseScheduleCategories", [] { BrowseScheduleCategories(); });
    RegisterProcedure("BrowseHolidays", [] { BrowseHolidays(); });
    RegisterProcedure("BrowseSchedule", [] { BrowseSchedule(); });
    RegisterProcedure("ExploreSchedule", [] { ExploreSchedule(); });
    RegisterProcedure("Wizard:NewBirthdays", [] { Wizard_NewBirthdays(); });
    RegisterProcedure("Wizard:Message", [] { Wizard_Message(); });
    RegisterProcedure("Wizard:Program", [] { Wizard_Program(); });
    RegisterProcedure("Wizard:GeneralTask", [] { Wizard_GeneralTask(); });
    // A to-do item becomes a message task through the wizard.
    SetMessageWizard([](const Schedule& primed) { Wizard_Message(primed); });
    SetCalendarPicker([](int32_t start, const std::string& mode, const std::string& title,
                         std::function<void(int32_t)> done) {
        Calendar(start, mode, title, [start, done](int32_t chosen) {
            if (chosen != start && done) done(chosen);
        });
    });
}

}  // namespace kr::tasks
