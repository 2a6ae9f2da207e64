#include "platform/runtime/RecordProcess.h"

namespace kr {

int BatchProcess::Percent() const {
    if (total_ <= 0) return state_ == ProcessState::Running ? 0 : 100;
    const long long p = static_cast<long long>(done_) * 100 / total_;
    return p > 100 ? 100 : static_cast<int>(p);
}

void BatchProcess::ReportError(std::string text) { errors_.push_back(std::move(text)); }

void BatchProcess::EndOfBatch() {
    while (delivered_ < errors_.size()) {
        // Copied: the handler may report more errors.
        const std::string text = errors_[delivered_++];
        if (onError) onError(text);
    }
    if (onProgress) onProgress();
}

RecordProcess::RecordProcess(int total, Work work) : work_(std::move(work)) { SetTotal(total); }

void RecordProcess::End(ProcessState s) {
    SetState(s);
    if (onEnd) onEnd(s);
}

bool RecordProcess::Step(int count) {
    if (!Running()) return false;
    if (count < 1) count = 1;
    if (CancelRequested()) {
        End(ProcessState::Cancelled);
        EndOfBatch();
        return false;
    }
    if (beginBatch) beginBatch();
    ProcessState ended = ProcessState::Running;
    for (int i = 0; i < count; ++i) {
        if (CancelRequested()) {
            ended = ProcessState::Cancelled;
            break;
        }
        RecordStep r = work_ ? work_() : RecordStep::End();
        if (r.kind == RecordStep::kEnd) {
            ended = ProcessState::Finished;
            break;
        }
        CountDone();
        if (r.kind == RecordStep::kError) {
            ReportError(std::move(r.text));
        } else if (r.kind == RecordStep::kFatal) {
            if (!r.text.empty()) ReportError(std::move(r.text));
            ended = ProcessState::Failed;
            break;
        }
    }
    if (endBatch) endBatch();
    if (ended != ProcessState::Running) End(ended);
    EndOfBatch();
    return Running();
}

ProcessState RunToEnd(BatchProcess& process) {
    while (process.Step(process.batchSize())) {
    }
    return process.state();
}

}  // namespace kr
