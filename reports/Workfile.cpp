#include "reports/Workfile.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "dictionary/Dictionary.h"
#include "platform/data/FileSettings.h"
#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/data/WorkCopies.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "scheduler/NextOccurrence.h"

namespace kr::reports {

namespace {
// The memo of the work file holds fewer characters than the task's.
constexpr size_t kWorkfileMemo = 1000;
// The longest a step of the build writes for.
constexpr int kStepMilliseconds = 120;

// The notes of the work files this program has made, by path: written
// before the file is first opened (which creates it) and dropped once it is
// deleted, so that a run killed on the way leaves nothing the next start
// does not sweep away.
std::mutex g_notesMutex;
std::map<std::string, std::unique_ptr<data::TemporaryNote>>& Notes() {
    static std::map<std::string, std::unique_ptr<data::TemporaryNote>> notes;
    return notes;
}

void NoteWorkfile() {
    const std::string path = ScheduleWorkfile_File().File().FilePath();
    if (path.empty()) return;
    std::lock_guard<std::mutex> l(g_notesMutex);
    auto& note = Notes()[path];
    if (note) return;
    note = std::make_unique<data::TemporaryNote>();
    note->Add(path);
}

void DropWorkfileNote(const std::string& path) {
    std::lock_guard<std::mutex> l(g_notesMutex);
    Notes().erase(path);
}

// The cause, in words, of the last write's failure when it is one that will
// repeat (a full disk, a file or folder that cannot be written, an error of
// the disk); empty for a failure of the one row, such as a taken number.
std::string LastingCause() {
    const int code = data::LastErrorCode();
    if (code == kDiskFull) return "the disk holding it is full";
    if (code == kAccessDenied) return "it cannot be written: the file or its folder is read-only";
    if (code != kDriverError) return {};
    switch (data::LastDriverCause()) {
    case data::DriverCause::DiskFull: return "the disk holding it is full";
    case data::DriverCause::ReadOnly: return "it cannot be written: the file or its folder is read-only";
    case data::DriverCause::IoError: return "the disk reported an input/output error";
    case data::DriverCause::CannotOpen: return "its file can no longer be opened";
    case data::DriverCause::Replaced: return "another file has taken the place of its file";
    case data::DriverCause::None: break;
    }
    return {};
}

// The work file is thrown away however the report ends, and a killed run's
// file is swept away by the next start: syncing it to the disk buys nothing.
// Without the syncs the build's commit only writes the pages still in the
// cache; with them it waited for every page written since the start.
void DropSyncs(data::Table& t) { data::FileSettings(t).SetSynchronous("OFF"); }

bool Later(const Schedule& a, const Schedule& b) {
    return a.Date > b.Date || (a.Date == b.Date && a.Time > b.Time);
}
}  // namespace

std::string WorkfileNameFor(int32_t clock) { return IntToText(clock); }

void SetWorkfileName(const std::string& name) { ScheduleWorkfile_File().SetName(name.substr(0, 20)); }

std::string WorkfileName() { return ScheduleWorkfile_File().GetName(); }

// ---- EmptyWorkfile

EmptyWorkfileRun::EmptyWorkfileRun() = default;

EmptyWorkfileRun::~EmptyWorkfileRun() {
    if (opened_) ScheduleWorkfile_Relations().Close();
}

void EmptyWorkfileRun::End(ProcessState s) {
    if (opened_) ScheduleWorkfile_Relations().Close();
    opened_ = false;
    SetState(s);
}

bool EmptyWorkfileRun::Step(int count) {
    if (!Running()) return false;
    auto& w = ScheduleWorkfile_File();
    if (!opened_) {
        NoteWorkfile();
        if (ScheduleWorkfile_Relations().Open() != data::kLevelBenign) {
            SetState(ProcessState::Failed);
            return false;
        }
        opened_ = true;
        w.File().Send("QUICKSCAN=on");
        SetTotal(static_cast<int>(w.Records()));
        w.SetOrder(w.Key("SCW:KeyID"));
    }
    for (int i = 0; i < count; ++i) {
        if (CancelRequested()) {
            End(ProcessState::Cancelled);
            break;
        }
        if (w.TryNext() != data::kLevelBenign) {
            End(ProcessState::Finished);
            break;
        }
        if (w.Delete() != data::kLevelBenign) {
            // The message names the process's view; nothing more is deleted.
            ReportError("Process:View");
            End(ProcessState::Failed);
            break;
        }
        CountDone();
    }
    EndOfBatch();
    return Running();
}

// ---- CreateWorkfile

CreateWorkfileRun::CreateWorkfileRun(int32_t from, int32_t to) : from_(from), to_(to) { SetBatchSize(200); }

CreateWorkfileRun::~CreateWorkfileRun() {
    if (inTransaction_) data::Commit();
    if (started_) {
        Schedule_Relations().Close();
        ScheduleWorkfile_Relations().Close();
    }
}

bool CreateWorkfileRun::Start() {
    if (Schedule_Relations().Open() != data::kLevelBenign) return false;
    NoteWorkfile();
    if (ScheduleWorkfile_Relations().Open() != data::kLevelBenign) {
        Schedule_Relations().Close();
        return false;
    }
    started_ = true;
    // One transaction for the whole build: nothing else uses the work file
    // meanwhile, and a commit per step journalled every index page again
    // and again. A failed insert rolls back only its own statement.
    ScheduleWorkfile_File().UseFile();  // opened lazily; the transaction needs it open
    DropSyncs(ScheduleWorkfile_File().File());
    std::vector<data::Table*> files{&ScheduleWorkfile_File().File()};
    inTransaction_ = data::Logout(files) == 0;
    auto& s = Schedule_File();
    s.File().Send("QUICKSCAN=on");
    SetTotal(static_cast<int>(s.Records()));
    rows_ = static_cast<int>(ScheduleWorkfile_File().Records());
    // The view: SCH:KeyDate from the first moment of `from`.
    s.rec() = Schedule();
    s.rec().Date = from_;
    s.rec().Time = 0;
    s.SetPosition(s.Key("SCH:KeyDate"));
    return true;
}

void CreateWorkfileRun::End(ProcessState s) {
    if (inTransaction_) {
        inTransaction_ = false;
        if (s == ProcessState::Failed) {
            // Nothing of a failed build is printed: no more is written.
            data::Rollback();
        } else if (data::Commit() != 0 && s == ProcessState::Finished) {
            // Cancelled too the rows stay until the caller deletes the file.
            // A finished build whose rows did not reach the file is no
            // work file to print from.
            Refuse(LastingCause());
            s = ProcessState::Failed;
        }
    }
    if (started_) {
        // Both tables are closed when the work is done; the report that
        // follows opens the work file again.
        Schedule_File().File().Send("QUICKSCAN=off");
        Schedule_Relations().Close();
        ScheduleWorkfile_Relations().Close();
        started_ = false;
    }
    SetState(s);
}

void CreateWorkfileRun::Refuse(const std::string& cause) {
    const std::string path = ScheduleWorkfile_File().File().FilePath();
    std::string text = "The future occurrences could not be written to " + path + ": ";
    text += cause.empty() ? data::LastErrorDisplay() : cause;
    text += ". The report is not printed.";
    Message(text, "Record Insert Error", MessageIcon::Hand, kButtonOk);
}

bool CreateWorkfileRun::Write(const Schedule& task) {
    auto& w = ScheduleWorkfile_File();
    ScheduleWorkfile& row = w.rec();
    static_cast<Schedule&>(row) = task;
    if (row.Message.size() > kWorkfileMemo) row.Message.resize(kWorkfileMemo);
    row.ID = rows_ + 1;
    // The row carries its number already: a plain add skips the manager's
    // auto-numbering, which took a third of the build. When it fails (an
    // ID left from an emptying that was cancelled) the manager's insert
    // numbers the row itself, or reports the failure; the run goes on.
    // A failure that every later row would meet too (a full disk) ends the
    // build at once with one message, not one box per row.
    if (w.File().Add() == 0) {
        ++rows_;
        return true;
    }
    const std::string cause = LastingCause();
    if (!cause.empty()) {
        Refuse(cause);
        End(ProcessState::Failed);
        return false;
    }
    if (w.Insert() == data::kLevelBenign) {
        ++rows_;
        return true;
    }
    // The manager has shown its message; if it will repeat, that was the one.
    if (LastingCause().empty()) return true;
    End(ProcessState::Failed);
    return false;
}

bool CreateWorkfileRun::Step(int count) {
    if (!Running()) return false;
    if (!started_ && !Start()) {
        SetState(ProcessState::Failed);
        return false;
    }
    auto& s = Schedule_File();
    int written = 0;
    // A step also ends once its time is up, so the progress window keeps
    // updating on a slow or busy machine whatever the batch size.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStepMilliseconds);
    while (written < count && Running() && std::chrono::steady_clock::now() < deadline) {
        if (CancelRequested()) {
            End(ProcessState::Cancelled);
            EndOfBatch();
            return false;
        }
        if (!expanding_) {
            if (s.TryNext() != data::kLevelBenign || s.rec().Date > to_) {
                End(ProcessState::Finished);
                break;
            }
            CountDone();
            task_ = s.rec();
            if (!Write(task_)) break;
            ++written;
            expanding_ = !EqualNoCase(Trim(task_.ScheduleType.str()), "Once");
            continue;
        }
        // The next occurrence after the one written last, on a copy: the
        // task itself is never changed.
        Schedule next = task_;
        // A task whose custom unit the engine does not know is told once
        // ("Invalid Units"); the engine would only push it on by a day, with
        // the same message for every day of the range.
        const OccurrenceResult r = NextScheduleDate(next, task_.Date, task_.Time + 1);
        if (r == OccurrenceResult::InvalidUnits || next.Date > to_ || !Later(next, task_)) {
            expanding_ = false;
            continue;
        }
        task_ = next;
        if (!Write(task_)) break;
        ++written;
    }
    EndOfBatch();
    return Running();
}

// ---- Removal

void RemoveWorkfile() {
    auto& w = ScheduleWorkfile_File();
    while (w.UseCount() > 0) w.Close();
    if (w.File().IsOpen()) return;  // another report still reads it
    const std::string path = w.File().FilePath();
    w.File().Remove();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) DropWorkfileNote(path);
}

}  // namespace kr::reports
