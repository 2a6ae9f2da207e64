// The printer set-up of one run of a program: the printer (a queue of the
// system's print service, or a PDF file), the paper size and the
// orientation. The user chooses them in "Print Setup"; the choice holds
// until the program ends and is never stored. Every print of the program
// goes by it: reports (laid out on the chosen page), list prints and the
// log viewer's print dialog, which opens on the chosen printer.
//
//   if (PrintSetupDialog(window)) ...          // File > "Print Setup ..."
//   QPrinter printer(QPrinter::HighResolution);
//   if (!AimPrinter(printer, window)) return;  // a file name was not given
#pragma once

#include <QPageLayout>
#include <optional>
#include <string>

class QPrinter;
class QWidget;

namespace kr {

inline constexpr const char* kPrintSetupTitle = "Print Setup";
// The printer list's entry for printing to a PDF file.
inline constexpr const char* kPrintToFileText = "PDF file";

struct PrintSetupChoice {
    bool toFile = false;
    std::string printer;  // the queue, when not to a file
    QPageSize paper = QPageSize(QPageSize::Letter);
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
};

// The choice made in this run; nullopt until the user made one (prints then
// go to the system's default printer on the report's own page).
std::optional<PrintSetupChoice> ChosenPrintSetup();
void SetPrintSetup(std::optional<PrintSetupChoice> choice);

// The chosen paper in the chosen orientation, without margins.
std::optional<QPageLayout> ChosenPageLayout();

// The file printed to last ("" before the first print to a file).
std::string LastPrintFile();
void SetLastPrintFile(const std::string& file);

// Sets the printer to the chosen queue (or the last PDF file), paper and
// orientation, without asking anything: what a print dialog opens on.
void PresetPrinter(QPrinter& printer);
// After the print dialog: the system's dialog puts the printer's default
// paper in place of the one it was opened on; on the chosen queue that
// paper becomes the chosen one again.
void KeepChosenPaper(QPrinter& printer);

// The dialog: the system's queues and a PDF file, the paper sizes of the
// printer picked, portrait or landscape. Modal over parent; true on OK (the
// choice is then the program's).
bool PrintSetupDialog(QWidget* parent);

// Points the printer at the chosen queue, paper and orientation (full page,
// origin at the paper's corner). For a PDF file the file's name is asked,
// starting from the last one; an existing file is replaced only when the
// user says so. False when no name was given. Without a choice the printer
// is left as it is.
bool AimPrinter(QPrinter& printer, QWidget* parent);

// The PDF file the printer writes, or empty when it prints to a queue: what
// report::PagePainter makes owner-only before it paints.
std::string PrintFileOf(const QPrinter& printer);

}  // namespace kr
