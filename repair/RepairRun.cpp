#include "repair/RepairRun.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/data/Errors.h"
#include "platform/data/Table.h"
#include "platform/data/Upgrade.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/runtime/Process.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"
#include "platform/runtime/WriteCauses.h"

namespace kr::repair {

namespace {

// Records Release reads per step of the window.
constexpr int kReleaseBatch = 500;

std::string ChangeExtension(const std::string& name, const std::string& extension, bool* hadOne = nullptr) {
    const std::size_t slash = name.find_last_of("/\\");
    const std::size_t dot = name.find_last_of('.');
    const bool has = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    if (hadOne) *hadOne = has;
    return (has ? name.substr(0, dot) : name) + extension;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

std::string DataFileOfDiskName(const std::string& diskName) {
    const std::size_t bang = diskName.find('!');
    if (bang == std::string::npos) return diskName;
    std::size_t end = bang;
    if (end > 0 && (diskName[end - 1] == '\\' || diskName[end - 1] == '/')) --end;
    return diskName.substr(0, end);
}

std::vector<std::string> FixArguments(const std::string& name, const std::string& password) {
    bool hasExtension = false;
    const std::string example = ChangeExtension(name, ".tpe", &hasExtension);
    const std::string data = hasExtension ? name : name + ".tps";
    return {data + "?" + password, "?" + password, "/E:" + example + "?" + password, "/K"};
}

std::string FixReportName(const std::string& dataFile) { return dataFile + ".fix.txt"; }

RepairRun::RepairRun(std::string action, std::vector<RepairRow>& rows, int highlighted)
    : action_(std::move(action)), rows_(rows) {
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
        if (IsTagged(rows_[static_cast<std::size_t>(i)])) items_.push_back(i);
    if (items_.empty() && highlighted >= 0 && highlighted < static_cast<int>(rows_.size()))
        items_.push_back(highlighted);
    filesLeft_ = static_cast<int>(items_.size());
    SetTotal(filesLeft_ * 100);
    SetBatchSize(kReleaseBatch);
    actionText_ = action_;
}

RepairRun::~RepairRun() {
    skip_ = true;
    if (worker_.joinable()) worker_.join();
    if (table_ && opened_) table_->Close();
}

std::string RepairRun::CurrentFile() const {
    std::lock_guard<std::mutex> l(mutex_);
    return currentFile_;
}

std::string RepairRun::ActionText() const {
    std::lock_guard<std::mutex> l(mutex_);
    return actionText_;
}

int RepairRun::Progress() const {
    std::lock_guard<std::mutex> l(mutex_);
    return phase_ == Phase::Working ? workerPercent_.load() : progress_;
}

std::string RepairRun::StatusText() const {
    return "Current File :  " + CurrentFile() + "\nAction :  " + ActionText() + "\nProgress :  " +
           std::to_string(Progress()) + "\nFiles Left     :  " + std::to_string(filesLeft_);
}

void RepairRun::SetProgress(int percent) {
    percent = std::max(0, std::min(100, percent));
    {
        std::lock_guard<std::mutex> l(mutex_);
        progress_ = percent;
    }
    // The bar shows the run as a whole; it never goes back.
    const int overall = static_cast<int>(item_) * 100 + percent;
    if (overall > overallDone_) {
        CountDone(overall - overallDone_);
        overallDone_ = overall;
    }
}

void RepairRun::SetActionText(std::string text) {
    std::lock_guard<std::mutex> l(mutex_);
    actionText_ = std::move(text);
}

void RepairRun::RequestCancel() { skip_ = true; }

bool RepairRun::Step(int count) {
    if (!Running()) return false;
    if (skip_) {
        // One Cancel, one move: the table in progress is abandoned, and the
        // run goes on with the next.
        if (worker_.joinable()) worker_.join();
        if (item_ < items_.size()) abandoned_.push_back(rows_[static_cast<std::size_t>(items_[item_])].fileName);
        if (phase_ == Phase::WaitingForFix) fixPid_ = 0;
        skip_ = false;
        Finish();
    } else {
        switch (phase_) {
            case Phase::Begin:
                Begin();
                break;
            case Phase::Working:
                if (WorkerDone()) Finish();
                break;
            case Phase::Releasing:
                StepRelease(count);
                break;
            case Phase::WaitingForFix: {
                const int code = PollExitCode(fixPid_);
                if (code != kStillActive) EndFix(code);
                break;
            }
        }
    }
    EndOfBatch();
    if (item_ >= items_.size()) {
        SetState(ProcessState::Finished);
        return false;
    }
    return true;
}

void RepairRun::Begin() {
    const RepairRow& row = rows_[static_cast<std::size_t>(items_[item_])];
    {
        std::lock_guard<std::mutex> l(mutex_);
        currentFile_ = row.fileName;
        actionText_ = action_;
        progress_ = 0;
    }
    const data::TableDef* def = RepairTableDef(row.fileName);
    if (!def) {  // not one of the program's tables: skipped
        Finish();
        return;
    }
    table_ = &data::TableOf(*def);
    opened_ = busy_ = false;
    if (action_ == kActionBuild) BeginBuildOrPack(false);
    else if (action_ == kActionPack) BeginBuildOrPack(true);
    else if (action_ == kActionRelease) BeginRelease();
    else if (action_ == kActionInfo) BeginInfo();
    else if (action_ == kActionFix) BeginFix();
    else Finish();
}

void RepairRun::Finish() {
    if (item_ >= items_.size()) return;
    const int index = items_[item_];
    RepairRow& row = rows_[static_cast<std::size_t>(index)];
    if (busy_ && table_) {
        const int64_t records = opened_ ? table_->Records() : table_->Statistics().records;
        row.fileRecords = records < 0 ? "?" : std::to_string(records);
        if (onRowChanged) onRowChanged(index);
    }
    if (table_ && opened_) table_->Close();
    opened_ = busy_ = false;
    table_ = nullptr;
    phase_ = Phase::Begin;
    SetProgress(100);
    --filesLeft_;
    ++item_;
}

void RepairRun::ExclusiveAccessError() {
    std::string text = std::string(kExclusiveAccessText) + data::LastErrorDisplay();
    // A file refused because it or its folder is read-only says so.
    if (data::LastErrorCode() == kAccessDenied)
        if (const std::string cause = ReadOnlyCause(table_->DiskName()); !cause.empty()) text += "  " + cause;
    Message(text, kExclusiveAccessTitle, MessageIcon::Information);
}

void RepairRun::BeginBuildOrPack(bool pack) {
    const int code = data::ds_FileOpen(*table_, data::kModeExclusive);
    if (code == kFileNotFound) {  // nothing to work on
        Finish();
        return;
    }
    if (code != 0 && code != kKeyMustBeRebuilt) {
        ExclusiveAccessError();
        Finish();
        return;
    }
    opened_ = code == 0;
    busy_ = true;
    table_->Send("FULLBUILD=on");
    SetActionText(pack ? "Packing File" : "Building File");
    const std::string file = table_->FilePath();
    // The file is compacted once, whichever of its tables asked first; the
    // others only have their keys built when they need it.
    const bool compact = pack && filesDone_.insert(file).second;
    const bool build = !pack || code == kKeyMustBeRebuilt;
    if (!compact && !build) {
        Finish();
        return;
    }
    StartWorker(build, compact);
}

void RepairRun::StartWorker(bool build, bool pack) {
    phase_ = Phase::Working;
    workerDone_ = false;
    workerPercent_ = 0;
    data::Table* table = table_;
    worker_ = std::thread([this, table, build, pack] {
        ProcedureThreadScope scope(NewProcedureThreadNumber());
        auto progress = [this, build, pack](int percent, const data::KeyDef* key) {
            // A build followed by a pack shares the bar between them.
            if (build && pack) percent /= 2;
            workerPercent_ = percent;
            if (key) SetActionText("Key : " + key->name);
            return !skip_.load();
        };
        int result = 0;
        if (build) result = table->Build(progress);
        if (result == 0 && pack) {
            auto packProgress = [&](int percent, const data::KeyDef* key) {
                return progress(build ? 50 + percent / 2 : percent, key);
            };
            SetActionText("Packing File");
            result = table->Pack(packProgress);
        }
        workerResult_ = result;
        if (result) workerError_ = data::LastErrorDisplay();
        workerDone_ = true;
    });
}

bool RepairRun::WorkerDone() {
    if (!workerDone_) return false;
    worker_.join();
    SetProgress(workerPercent_);
    if (workerResult_ != 0)
        ReportError(rows_[static_cast<std::size_t>(items_[item_])].fileDesc + ": " + workerError_);
    return true;
}

void RepairRun::BeginRelease() {
    table_->Send("RECOVER=1");
    const int code = data::ds_FileOpen(*table_, data::kModeExclusive);
    if (code == kFileNotFound) {
        table_->Send("RECOVER=0");
        Finish();
        return;
    }
    if (code != 0) {
        table_->Send("RECOVER=0");
        ExclusiveAccessError();
        Finish();
        return;
    }
    opened_ = busy_ = true;
    RepairRow& row = rows_[static_cast<std::size_t>(items_[item_])];
    releaseTotal_ = table_->Records();
    row.fileRecords = std::to_string(releaseTotal_);
    released_ = 0;
    table_->Send("IGNORESTATUS=ON");
    table_->Set(nullptr);
    phase_ = Phase::Releasing;
}

void RepairRun::StepRelease(int count) {
    for (int i = 0; i < count; ++i) {
        const int e = table_->Next();
        if (e != 0) {
            if (e != kRecordNotAvailable)
                ReportError(rows_[static_cast<std::size_t>(items_[item_])].fileDesc + ": " +
                            data::LastErrorDisplay());
            table_->Send("RECOVER=0");
            table_->Send("IGNORESTATUS=OFF");
            Finish();
            return;
        }
        ++released_;
        if (table_->Send("HELD") == "ON") {
            // Reading the record again with recovery on clears its mark.
            table_->Send("RECOVER=1");
            table_->Reget(table_->GetPosition());
        }
    }
    SetProgress(releaseTotal_ > 0 ? static_cast<int>(released_ * 100 / releaseTotal_) : 100);
}

void RepairRun::BeginInfo() {
    RepairRow& row = rows_[static_cast<std::size_t>(items_[item_])];
    const int code = data::ds_FileOpen(*table_, data::kModeReadShared);
    if (code == 0 || code == kFileAlreadyOpen) {
        row.fileRecords = std::to_string(table_->Records());
        row.diskName = table_->DiskName();
        table_->Close();  // each open, 52 included, is matched by one close
    } else {
        row.fileRecords = "?";
        row.diskName = "Error : " + data::LastErrorDisplay();
    }
    if (onRowChanged) onRowChanged(items_[item_]);
    Finish();
}

void RepairRun::BeginFix() {
    const RepairRow& row = rows_[static_cast<std::size_t>(items_[item_])];
    std::string name = table_->DiskName();
    std::string file = DataFileOfDiskName(name);
    // A table whose file does not exist has nothing to repair: passed over
    // without a word, as the other actions pass over a missing table.
    std::error_code missing;
    if (!std::filesystem::exists(table_->FilePath(), missing)) {
        Finish();
        return;
    }
    // One repair per physical file: a file asked about or repaired already
    // in this run is not asked about or repaired again.
    if (filesDone_.count(file)) {
        Finish();
        return;
    }
    filesDone_.insert(file);
    if (name.find('!') != std::string::npos) {
        MessageRequest q;
        q.text = kMultiTableQuestion;
        q.title = "Warning";
        q.icon = MessageIcon::Question;
        q.buttons = kButtonYes | kButtonNo;
        q.defaultButton = kButtonNo;
        if (Messages().Show(q) != kButtonYes) {
            Finish();
            return;
        }
        name = file;
    }
    const std::string made = data::ds_MakeTPE(*table_);
    example_ = ChangeExtension(table_->FilePath(), ".tpe");
    if (made == "1" || made == "2" || made == "3") {
        std::string text = made == "1"   ? "Unable to create TPE Example file."
                           : made == "2" ? "Not a TOPSPEED file."
                                         : "Error creating TPE file : " + data::LastErrorDisplay();
        if (made != "2")
            if (const std::string cause = ReadOnlyCause(example_); !cause.empty()) text += "  " + cause;
        RemoveExample();
        Message(text, "Error", MessageIcon::Information);
        Finish();
        return;
    }
    // The helper replaces the file: no connection of ours may stay on it.
    data::CloseIdleFiles();
    std::vector<std::string> args = FixArguments(name, ClipRight(row.owner));
    args.insert(args.begin(), fixProgram);
    StartOptions options;
    options.startFolder = FolderOf(name);
    const StartResult started = StartProgramArgs(args, options);
    if (!started.ok()) {
        RemoveExample();
        Message("Could not start " + fixProgram + ": " + started.message, "Error", MessageIcon::Hand);
        Finish();
        return;
    }
    fixPid_ = started.pid;
    fixFile_ = FixArguments(name, "")[0];
    fixFile_.pop_back();  // the "?" of the empty password
    SetActionText("Repairing File");
    phase_ = Phase::WaitingForFix;
}

// The example file (the data file's schema and owner password) is left
// beside a repaired file; where no repair ran it would only be clutter.
void RepairRun::RemoveExample() {
    if (!example_.empty()) ::unlink(example_.c_str());
    example_.clear();
}

void RepairRun::EndFix(int exitCode) {
    fixPid_ = 0;
    // 0 and 1: the file was repaired; anything else left it as it was.
    if (exitCode != 0 && exitCode != 1) RemoveExample();
    std::ifstream in(FixReportName(fixFile_));
    std::stringstream report;
    report << in.rdbuf();
    std::string text = report.str();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.empty()) text = fixProgram + " ended with code " + std::to_string(exitCode) + ".";
    for (char& c : text)
        if (c == '\n') c = '|';
    Message(text, exitCode == 0 || exitCode == 1 ? "Repair" : "Error",
            exitCode == 0 ? MessageIcon::Information : MessageIcon::Exclamation);
    Finish();
}

}  // namespace kr::repair
