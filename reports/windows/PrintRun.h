// What the report procedures share: keeping a report's own thread alive
// across its windows, and running one report over a view of a table on the
// report engine.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/data/FileManager.h"
#include "platform/ui/report/Report.h"

namespace kr::reports {

// A report started on a thread of its own opens several windows one after
// the other (a lookup, the criteria, the progress, the preview); the thread
// would end with the first of them. Hold() gives the thread a window that
// is never shown while the report runs (nothing when the thread already
// has one); the returned release ends it.
std::function<void()> HoldReportThread(const std::string& procedure);

struct PrintPlan {
    std::string procedure;  // the progress window's position
    std::shared_ptr<report::ReportLayout> layout;
    data::FileManager* file = nullptr;
    std::string tableName;  // named by the read error message
    std::string keyName;
    std::string filter;
    std::function<void()> rangeStart;
    std::function<bool()> inRange;
    int batchSize = 25;
    // Bind GLO:Category, GLO:DateFrom and GLO:DateTo for the filter.
    bool bindReportNames = false;
    // Already answered preview question (the to-do reports ask it before
    // their title window).
    std::optional<bool> preview;
    // A report that prints straight from its table: no preview question,
    // the progress window "Report Progress..." without a user line, the
    // preview at the end, and a Cancel that stops the run without a
    // question and shows nothing.
    bool direct = false;
};

inline constexpr const char* kDirectReportProgressTitle = "Report Progress...";

// Opens the view, runs the report and closes the view; done gets the
// engine's response.
void RunPrint(std::shared_ptr<PrintPlan> plan, std::function<void(int)> done);

// The output file of printing (SetReportOutputFile).
const std::string& ReportOutputFile();

// The page footer every report carries, and the fonts.
report::Band PageFooter(int pageWidth);
report::Font TitleFont();
// A column heading of a page header.
report::Control Heading(int x, int y, int w, const char* text);

}  // namespace kr::reports
