// The six exchange windows of schedule, to-do items and contacts, and the
// picture entry they share. Each window is the body of a procedure thread
// of its own (the frame's Import and Export menus start them by name) and
// owns its own engine, so two exchange windows never mix their lines.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace kr::reports {

// "Choose Fields for Export...": the fields and their order, the pictures
// and the header line; OK asks for the file and exports in a progress window.
void ExportSchedule();
void ExportToDo();
void ExportContacts();

// The file first, then "Assign fields for Import...": the file's columns
// mapped onto the table's fields; OK imports in a progress window.
void ImportSchedule();
void ImportContacts();
void ImportToDo();

// "Enter Picture...": lets the user edit a picture, window-modal over the
// current thread's window; done gets the new picture, blank when cancelled.
void GetPicture(const std::string& picture, std::function<void(const std::string& picture)> done);

// The exchange file name: blank at program start, then the last name chosen
// in any of the six windows, which starts the next file dialog.
const std::string& ImexFileName();
void SetImexFileName(const std::string& name);

// Chooses the exchange file (title "Export File" or "Import File"); nullopt
// when cancelled. Tests install their own; empty restores the dialog.
using ImexFileChooser =
    std::function<std::optional<std::string>(const std::string& title, const std::string& start, bool save)>;
void SetImexFileChooser(ImexFileChooser chooser);
std::optional<std::string> ChooseImexFile(const std::string& title, bool save);

// Registers the six procedures for the frame.
void RegisterExchangeWindows();

}  // namespace kr::reports
