#include "platform/ui/report/ReportRun.h"

#include "platform/runtime/Services.h"

namespace kr::report {

Destination AskPreview(const ReportPreviewTexts& t) {
    const int answer = Message(t.AskPrvwDialogText, t.AskPrvwDialogTitle, MessageIcon::Question,
                               kButtonYes | kButtonNo | kButtonCancel, kButtonYes);
    if (answer == kButtonYes) return Destination::Preview;
    if (answer == kButtonNo) return Destination::Print;
    return Destination::Cancelled;
}

ReportRun::ReportRun(std::shared_ptr<const ReportLayout> layout, int total, std::function<RecordStep()> reader,
                     bool preview, ReportPreviewTexts texts, int batchSize)
    : layout_(std::move(layout)),
      writer_(*layout_),
      reader_(std::move(reader)),
      preview_(preview),
      texts_(std::move(texts)) {
    SetTotal(total);
    SetBatchSize(batchSize);
}

void ReportRun::Finish(Outcome o) {
    outcome_ = o;
    if (o == Outcome::Cancelled) {
        SetState(ProcessState::Cancelled);
        return;
    }
    // The closing step: the report is set up even when nothing was read,
    // so an empty view gives one page with the headings.
    writer_.Close();
    SetState(ProcessState::Finished);
}

bool ReportRun::Step(int count) {
    if (!Running()) return false;
    if (count < 1) count = 1;
    for (int i = 0; i < count && Running(); ++i) {
        if (CancelRequested()) {
            Finish(partial_ ? Outcome::PartialPreview : Outcome::Cancelled);
            break;
        }
        RecordStep r = reader_ ? reader_() : RecordStep::End();
        if (r.kind == RecordStep::kEnd) {
            Finish(Outcome::Completed);
            break;
        }
        CountDone();
        if (r.kind == RecordStep::kError) {
            ReportError(std::move(r.text));
            continue;
        }
        if (r.kind == RecordStep::kFatal) {
            if (!r.text.empty()) ReportError(std::move(r.text));
            Finish(Outcome::Completed);
            break;
        }
        writer_.PrintDetail();
    }
    EndOfBatch();
    return Running();
}

void ReportRun::RequestCancel() {
    if (!Running() || CancelRequested()) return;
    if (!confirmCancel_) return Cancel();
    if (Message(texts_.CancelAreYouSureText, texts_.CancelAreYouSureTitle, MessageIcon::Question,
                kButtonYes | kButtonNo, kButtonNo) != kButtonYes)
        return;
    SetBatchSize(1);
    if (preview_ && writer_.PageCount() > 0) {
        const int answer = Message(texts_.CancelPrvwPartialText, texts_.CancelPrvwPartialTitle, MessageIcon::Question,
                                   kButtonYes | kButtonNo | kButtonIgnore, kButtonNo);
        if (answer == kButtonIgnore) return;
        partial_ = answer == kButtonYes;
    }
    Cancel();
}

}  // namespace kr::report
