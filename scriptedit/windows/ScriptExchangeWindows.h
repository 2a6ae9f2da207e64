// ExportScript and ImportScript as the script windows start them: the file
// dialog ("Export to File" to save, "Choose File to Import" to open; filter
// Export File *.krs, Text *.txt, All *.*), then the process in the progress
// window "Processing Records" with "Exporting Script Items" or "Importing
// Script Items". Cancelling the dialog reads and writes nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kr {

// How the file is chosen: (title, save) -> the file, or nothing when the
// user cancelled. The default is the platform's file dialog over the
// current window; tests install their own.
using ExchangeFileChooser = std::function<std::optional<std::string>(const std::string& title, bool save)>;
void SetExchangeFileChooser(ExchangeFileChooser chooser);  // empty: the dialog

// Each returns at once; `done(response)` comes when the progress window has
// gone (completed, or cancelled also when the dialog was cancelled).
void ExportScriptWindow(int32_t taskID, std::function<void(int response)> done = {});
void ImportScriptWindow(int32_t taskID, std::function<void(int response)> done = {});

}  // namespace kr
