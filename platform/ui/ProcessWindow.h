// The progress window of whole-table work: a title ("Processing Records" by
// default), a "0% Completed" line, a bar, a Cancel button and, once a record
// fails, the list of the records that failed. The window's timer steps a
// BatchProcess (platform/runtime/RecordProcess.h) a batch per event, so the
// program stays responsive while it works; the work itself knows nothing of
// the window.
//
//   auto p = std::make_shared<RecordProcess>(total, work);
//   p->SetBatchSize(25);
//   ProcessWindowOptions o;                    // "Processing Records"
//   o.procedureName = "DeleteScript";          // where its position is saved
//   RunProcessWindow(p, o, [p](int response) { ... p->errors() ... });
//
// Cancel (the button, Escape or the close box) calls the process's
// RequestCancel; a process that asks first (the report engine) may go on.
// While a question or message of the process is on the screen no further
// batch runs. When the process has ended the window closes, unless records
// failed and holdOnErrors is set: then it stays with its list and a
// "Cl&ose" button so the user can read what went wrong.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/runtime/RecordProcess.h"

namespace kr {

inline constexpr const char* kProcessingRecordsTitle = "Processing Records";
inline constexpr const char* kPercentCompletedText = "% Completed";

struct ProcessWindowOptions {
    // The procedure name: the INI section of the window's position.
    std::string procedureName = "ProcessRecords";
    std::string title = kProcessingRecordsTitle;
    // Follows the percentage: "0% Completed".
    std::string percentText = kPercentCompletedText;
    // A line of the caller's own under the percentage; none when empty.
    std::string userText;
    // When set, asked after every batch for the user line (work that reports
    // what it is on, such as the member an archive call works on).
    std::function<std::string()> userTextSource;
    // Timer interval in hundredths of a second.
    int intervalHundredths = 1;
    // True: each batch follows the last as soon as the events that came
    // meanwhile are handled, with no timer interval between them, the first
    // at once: for work that bounds the time of its own batches (printing
    // kept pages, whose slices would otherwise idle a tenth of the time).
    // The timer still runs, and resumes the work after a question.
    bool backToBack = false;
    // Per-record errors are listed in the window as they come.
    bool listErrors = true;
    // With failed records the window waits for Close at the end.
    bool holdOnErrors = true;
    // True: the window is the current procedure thread's own window (a
    // procedure started on a thread of its own); false: it opens
    // window-modal over the current thread's window.
    bool ownWindow = false;
    // When set, the window hides at the end instead of closing and hands
    // this a function that closes it: what follows (a report's preview)
    // opens over it while the procedure's window is still there.
    std::function<void(std::function<void()> finish)> afterEnd;
};

// Opens the window and runs the process. done gets kRequestCompleted when
// the process finished, kRequestCancelled otherwise (cancelled, failed, or
// the window did not open), in the caller's procedure thread once the
// window has gone. False when the window did not open (done is still called).
bool RunProcessWindow(std::shared_ptr<BatchProcess> process, ProcessWindowOptions options,
                      std::function<void(int response)> done = {});

}  // namespace kr
