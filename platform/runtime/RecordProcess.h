// Whole-table work in batches: the display-free half of a progress window.
//
// A BatchProcess is stepped by its window's timer, a batch of records per
// event, so the program stays responsive however large the table is. It
// counts what it has done against a total for the percentage, can be asked
// to stop from the window's Cancel button, and collects per-record errors:
// a record that fails is reported and the process goes on with the next one.
// Only an error that makes going on pointless (the table cannot be read)
// ends it as Failed.
//
// RecordProcess is the ready-made one for the common case: a function that
// works on the next record and says how it went.
//
//   auto p = std::make_unique<RecordProcess>(store.Count(), [&] {
//       Scripting SCR;
//       if (!reader.Next(SCR)) return RecordStep::End();
//       if (int err = store.Delete(SCR)) return RecordStep::Error("Item " + ...);
//       return RecordStep::Done();
//   });
//   RunRecordProcess(std::move(p), options, done);   // platform/ui/ProcessWindow.h
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace kr {

enum class ProcessState { Running, Finished, Cancelled, Failed };

class BatchProcess {
public:
    virtual ~BatchProcess() = default;

    // Works through at most `count` records. True while records remain and
    // the process has not been stopped.
    virtual bool Step(int count) = 0;

    // The user pressed Cancel. The default stops before the next record;
    // a process may ask first (the report engine does) and carry on.
    virtual void RequestCancel() { Cancel(); }
    // Stops before the next record; any thread may call it.
    void Cancel() { cancel_ = true; }
    bool CancelRequested() const { return cancel_; }

    ProcessState state() const { return state_; }
    bool Running() const { return state_ == ProcessState::Running; }
    int done() const { return done_; }
    int total() const { return total_; }
    // done x 100 / total, within 0..100; 100 once finished when there was
    // nothing to count.
    int Percent() const;

    // Records per timer event of the window; a process may change it as it
    // goes (the report engine drops to 1 once a cancel is asked for).
    int batchSize() const { return batch_; }
    void SetBatchSize(int n) { batch_ = n < 1 ? 1 : n; }

    // Texts of the records that failed, in order.
    const std::vector<std::string>& errors() const { return errors_; }
    // Called with each per-record error once the batch it happened in is
    // over (so no message waits while a batch holds the data file).
    std::function<void(const std::string& error)> onError;
    // Called after every batch.
    std::function<void()> onProgress;

protected:
    void SetState(ProcessState s) { state_ = s; }
    void SetTotal(int total) { total_ = total < 0 ? 0 : total; }
    void CountDone(int n = 1) {
        done_ += n;
        if (done_ > total_) total_ = done_;
    }
    // Records an error; EndOfBatch delivers it.
    void ReportError(std::string text);
    // Hands the errors of the batch to onError, then calls onProgress.
    void EndOfBatch();

private:
    std::atomic<bool> cancel_{false};
    ProcessState state_ = ProcessState::Running;
    int done_ = 0, total_ = 0, batch_ = 25;
    std::vector<std::string> errors_;
    size_t delivered_ = 0;
};

// How the work on one record went.
struct RecordStep {
    enum Kind { kDone, kEnd, kError, kFatal };
    Kind kind = kDone;
    std::string text;

    static RecordStep Done() { return {}; }
    // No record was left; nothing was done.
    static RecordStep End() { return {kEnd, {}}; }
    // The record failed: the text is reported and the process goes on.
    static RecordStep Error(std::string text) { return {kError, std::move(text)}; }
    // Going on is pointless: the text is reported and the process fails.
    static RecordStep Fatal(std::string text) { return {kFatal, std::move(text)}; }
};

class RecordProcess : public BatchProcess {
public:
    using Work = std::function<RecordStep()>;
    // total: the records expected, for the percentage (0 when unknown).
    RecordProcess(int total, Work work);

    // Around every batch (a write transaction, say).
    std::function<void()> beginBatch;
    std::function<void()> endBatch;
    // Once, when the process has ended, with its final state.
    std::function<void(ProcessState)> onEnd;

    bool Step(int count) override;

private:
    void End(ProcessState s);
    Work work_;
};

// Runs a process to its end without a window (callers with nothing to show,
// and tests). Returns the final state.
ProcessState RunToEnd(BatchProcess& process);

}  // namespace kr
