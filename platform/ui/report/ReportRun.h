// One run of a report: the records read a batch per timer event of its
// progress window, each printed as a detail band, with the cancel
// questions, and the pages collected for the preview or the printer.
//
// The reader loads the next record into the buffer the layout's values read
// and answers RecordStep::Done(); End() at the end of the view; Error(text)
// skips a record that cannot be used; Fatal(text) is a read error that ends
// the run, keeping what was printed (the reader shows its own message).
#pragma once

#include <functional>
#include <memory>

#include "platform/runtime/RecordProcess.h"
#include "platform/runtime/ReportPreviewStrings.h"
#include "platform/ui/report/ReportWriter.h"

namespace kr::report {

enum class Destination { Preview, Print, Cancelled };

// "Do you wish to PREVIEW this Report?" with Yes, No and Cancel (Yes the
// default): Yes previews, No prints, Cancel ends the run before it starts.
Destination AskPreview(const ReportPreviewTexts& texts);

class ReportRun : public BatchProcess {
public:
    enum class Outcome {
        Running,
        Completed,       // the view ended (or a read error ended it)
        PartialPreview,  // cancelled, with a preview of the pages so far
        Cancelled,       // cancelled: nothing is shown or printed
    };

    // total: the records of the table, for the percentage.
    ReportRun(std::shared_ptr<const ReportLayout> layout, int total, std::function<RecordStep()> reader,
              bool preview, ReportPreviewTexts texts, int batchSize = 25);

    bool Step(int count) override;
    // "Are you sure you want to CANCEL this Report?" (No the default). Yes
    // drops the batch to one record; when previewing with pages already
    // collected, "Preview Report generated so far?" follows with Yes (stop
    // and preview), No (stop, nothing shown; the default) and Ignore (go on).
    void RequestCancel() override;
    // Without confirmation Cancel stops the run at once and nothing is shown
    // or printed (the reports that print straight from their table).
    void SetConfirmCancel(bool confirm) { confirmCancel_ = confirm; }

    Outcome outcome() const { return outcome_; }
    bool preview() const { return preview_; }
    const ReportWriter& writer() const { return writer_; }
    RenderedReport TakePages() { return writer_.TakePages(); }
    // Finished pages go to `sink` instead of being kept (ReportWriter).
    void SetPageSink(std::function<void(Page&&)> sink) { writer_.SetPageSink(std::move(sink)); }
    const ReportPreviewTexts& texts() const { return texts_; }

private:
    void Finish(Outcome o);

    std::shared_ptr<const ReportLayout> layout_;
    ReportWriter writer_;
    std::function<RecordStep()> reader_;
    bool preview_;
    bool partial_ = false;
    bool confirmCancel_ = true;
    ReportPreviewTexts texts_;
    Outcome outcome_ = Outcome::Running;
};

}  // namespace kr::report
