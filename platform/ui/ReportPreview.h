// Running a report with its windows, previewing and printing its pages.
//
//   auto job = std::make_shared<ReportJob>();
//   job->procedureName = "PrintContacts";       // position of its progress window
//   job->layout = ...;                          // bands (platform/ui/report/Report.h)
//   job->total = contacts.Count();
//   job->read = [&] { return view.Next(C_) ? RecordStep::Done() : RecordStep::End(); };
//   RunReport(job, [](int response) { ... });
//
// RunReport loads the preview strings, asks whether to preview (unless the
// job answers it), runs the records through a progress window ("Generating Report" or "Printing
// Report", "0% Completed", Cancel with its questions), then shows the pages
// in the preview window (whose Print sends them to the printer) or prints
// them with the report's copies. With outputFile set, printing writes that
// PDF file instead of going to the printer.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/runtime/RecordProcess.h"
#include "platform/ui/report/Report.h"
#include "platform/ui/report/ReportPages.h"

class QPrinter;

namespace kr {

struct ReportJob {
    std::string procedureName = "Report";
    std::shared_ptr<const report::ReportLayout> layout;
    int total = 0;
    std::function<RecordStep()> read;
    int batchSize = 25;
    // The preview strings and the preview question.
    std::string iniFile = "CPCSRPTS.INI";
    std::string progressUserText;
    std::string askPreviewTitle = "Preview";
    std::string askPreviewText = "Do you wish to PREVIEW this Report?";
    // Printing goes to this PDF file instead of the printer.
    std::string outputFile;
    // When set, the report is previewed (true) or printed (false) without
    // the preview question.
    std::optional<bool> preview;
    // The progress window's title in place of the preview strings' one.
    std::string progressTitle;
    // False: the progress window's Cancel stops the run without a question,
    // and nothing is shown or printed.
    bool confirmCancel = true;
    // False: the progress window shows no user line (the preview strings'
    // "ProgWinUsrText").
    bool userLine = true;
};

// done gets kRequestCompleted when pages were previewed or printed, else
// kRequestCancelled, in the caller's procedure thread.
void RunReport(std::shared_ptr<ReportJob> job, std::function<void(int response)> done = {});

// Sends the pages to the printer (or to outputFile as PDF) with the report's
// copies and collation. Without a default printer the user is warned first
// and may stop. False when nothing was printed.
bool PrintReportPages(const report::RenderedReport& pages, const std::string& outputFile = {});

// The preview window over rendered pages: page stepping, zoom, Print and
// Close. done gets true when the user chose to print.
void PreviewReport(std::shared_ptr<const report::RenderedReport> pages, std::function<void(bool print)> done);

}  // namespace kr
