#include "reports/ImexProcesses.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <mutex>
#include <thread>
#include <cstdlib>

#include "dictionary/EventLog.h"
#include "dictionary/OpenTable.h"
#include "dictionary/SchedulingTables.h"
#include "dictionary/StandardWarning.h"
#include "platform/data/FileSettings.h"
#include "platform/data/Errors.h"
#include "platform/runtime/ErrorCodes.h"
#include "platform/runtime/Services.h"
#include "platform/runtime/Strings.h"

namespace kr::reports {

namespace {

constexpr int kExportPage = 512;

void FileErrorMessage(const std::string& caption, const ImexError& e, int buttons = kButtonOk,
                      int defaultButton = 0) {
    (void)Message(e.Message(), caption, MessageIcon::Hand, buttons, defaultButton);
}

}  // namespace

// ---------------------------------------------------------------- timed slices

bool TimedProcess::Step(int) {
    if (!Running()) return false;
    ProcessState end = ProcessState::Running;
    if (CancelRequested()) {
        end = ProcessState::Cancelled;
    } else {
        BeginSlice();
        const auto until = std::chrono::steady_clock::now() + slice_;
        for (unsigned n = 1;; ++n) {
            if (CancelRequested()) {
                end = ProcessState::Cancelled;
                break;
            }
            const bool more = Work();
            if (stop_ != ProcessState::Running) {
                end = stop_;
                break;
            }
            if (!more) {
                end = ProcessState::Finished;
                break;
            }
            if ((n & 15) == 0 && std::chrono::steady_clock::now() >= until) break;
        }
        EndSlice();
        if (stop_ != ProcessState::Running) end = stop_;
    }
    if (end != ProcessState::Running) {
        end = Closing(end);
        SetState(end);
        Ended(end);
    }
    EndOfBatch();
    return Running();
}

// ---------------------------------------------------------------- export

ExportRun::ExportRun(const ImexMember& member, std::vector<ImexFieldEntry> fields, bool header, std::string target)
    : member_(member), fields_(std::move(fields)), header_(header), target_(std::move(target)) {
    for (const ImexFieldEntry& f : fields_) columns_.emplace_back(member_.def(), f.name);
}

ExportRun::~ExportRun() {
    file_.Discard();
    CloseTable();
}

void ExportRun::CloseTable() {
    if (tableOpen_) table_->Close();
    tableOpen_ = false;
}

bool ExportRun::AddLine() {
    ImexError e;
    bool ok = file_.AddLine(imex_.Line(), e);
    while (!ok) {
        if (Message(e.Message(), "Cannot ADD to " + target_, MessageIcon::Hand, kButtonRetry | kButtonAbort,
                    kButtonAbort) == kButtonAbort)
            return false;
        ok = file_.Flush(e);
    }
    return true;
}

bool ExportRun::Start() {
    table_ = &data::TableOf(member_.def());
    if (OpenTable(*table_) != 0) return false;
    tableOpen_ = true;
    ImexError e;
    if (!file_.Create(target_, e)) {
        FileErrorMessage("Cannot CREATE " + target_, e);
        CloseTable();
        return false;
    }
    if (header_) {
        imex_.ClearLine();
        for (const ImexFieldEntry& f : fields_) imex_.AddText(f.name, true, kHeaderPicture);
        if (!AddLine()) {
            file_.Discard();
            CloseTable();
            return false;
        }
    }
    const int64_t records = table_->Records();
    SetTotal(records > 0 ? static_cast<int>(records) : 0);
    // An order that cannot be prepared is reported; the read goes on.
    position_.key = member_.def().key(member_.orderKey);
    if (table_->Set(position_.key) != 0) StandardWarningNoText(36);
    return true;
}

void ExportRun::BeginSlice() {}

bool ExportRun::Fetch() {
    if (next_ < page_.size()) return true;
    if (exhausted_) return false;
    next_ = 0;
    // Each page goes on from the last record read, whatever else read the
    // table on this thread meanwhile.
    table_->Reset(position_);
    const int err = table_->NextRecords(kExportPage, page_, &positions_);
    if (!positions_.empty()) position_ = positions_.back();
    if (err == kRecordNotAvailable || (err == 0 && page_.empty())) {
        exhausted_ = true;
        page_.clear();
        return false;
    }
    if (err != 0) {
        StandardWarningText(35, member_.tableText);
        Stop(ProcessState::Failed);
        return false;
    }
    return true;
}

bool ExportRun::Work() {
    if (!Fetch()) return false;
    void* record = page_[next_++].get();
    if (member_.kind == ImexKind::Schedule) {
        // A month-repeat text that starts with a NUL byte is written blank.
        Schedule& s = *static_cast<Schedule*>(record);
        if (!s.MonthRepeat.str().empty() && s.MonthRepeat.str()[0] == '\0') s.MonthRepeat = "";
    }
    imex_.ClearLine();
    for (std::size_t i = 0; i < columns_.size(); ++i) columns_[i].Write(imex_, record, fields_[i].picture);
    if (!AddLine()) {
        Stop(ProcessState::Failed);
        return false;
    }
    ++written_;
    CountDone();
    return true;
}

void ExportRun::Ended(ProcessState state) {
    if (state == ProcessState::Finished) {
        ImexError e;
        bool flushed = file_.Flush(e);
        while (!flushed) {
            if (Message(e.Message(), "Cannot ADD to " + target_, MessageIcon::Hand, kButtonRetry | kButtonAbort,
                        kButtonAbort) == kButtonAbort)
                break;
            flushed = file_.Flush(e);
        }
        if (flushed) {
            committed_ = file_.Commit(e);
            if (!committed_) FileErrorMessage("Cannot CLOSE " + target_, e);
        }
    }
    file_.Discard();
    CloseTable();
}

std::string ExportRun::StoppedText() const {
    if (committed_) return {};
    return std::to_string(written_) + (written_ == 1 ? " record was" : " records were") +
           " written before the export stopped.  The file " + target_ + " was not changed.";
}

// ---------------------------------------------------------------- import

namespace {
constexpr std::size_t kShownValueChars = 100;

// Why a write to the data file failed, in words, for the causes the user
// can do something about; empty for the others (their message says it).
std::string CauseInWords(int code) {
    const data::DriverCause driver = data::LastDriverCause();
    if (code == kDiskFull || driver == data::DriverCause::DiskFull) return "the disk is full";
    if (code == kAccessDenied || driver == data::DriverCause::ReadOnly) return "the data file cannot be written";
    if (driver == data::DriverCause::IoError) return "the data file could not be written (an input/output error)";
    if (code == kFileLocked) return "the data file is in use by another program";
    return {};
}

std::string WithCause(const ImexError& e, const std::string& cause) {
    return cause.empty() ? e.Message() : e.Message() + " (" + cause + ")";
}
}  // namespace

ImportColumns ScanImportColumns(Imex& reader) {
    ImportColumns out;
    reader.SetImport();
    if (reader.NextLine() == 0) return out;
    while (reader.NextField() != 0) {
        out.values.emplace_back(CutChars(reader.Field(), kShownValueChars));
        out.pictures.emplace_back(kImportTextPicture);
    }
    if (reader.NextLine() != 0) {
        for (std::size_t c = 0; c < out.pictures.size(); ++c) {
            const int r = reader.NextField();
            if (r == 0) break;
            if (r == 2) out.pictures[c] = kImportNumberPicture;
        }
    }
    reader.SetImport();
    reader.NextLine();
    return out;
}

bool NextImportValues(Imex& reader, std::vector<std::string>& values) {
    if (reader.NextLine() == 0) return false;
    for (std::string& v : values) {
        if (reader.NextField() == 0) break;
        v = std::string(CutChars(reader.Field(), kShownValueChars));
    }
    return true;
}

std::vector<int> AutoAssign(const ImexMember& member, const std::vector<std::string>& values,
                            ImportMapping& mapping) {
    std::vector<int> changed;
    mapping.targetColumn.resize(member.fields.size(), -1);
    for (std::size_t t = 0; t < member.fields.size(); ++t) {
        if (mapping.targetColumn[t] >= 0) continue;
        const std::string& name = member.fields[t].name;
        for (std::size_t c = 0; c < values.size(); ++c) {
            if (ClipRight(values[c]) != ClipRight(name)) continue;
            mapping.targetColumn[t] = static_cast<int>(c);
            if (const char* picture = AutoPicture(member.kind, name); picture && c < mapping.columnPictures.size()) {
                mapping.columnPictures[c] = picture;
                changed.push_back(static_cast<int>(c));
            }
            break;
        }
    }
    return changed;
}

ImportRun::ImportRun(const ImexMember& member, std::shared_ptr<Imex> reader, ImportMapping mapping,
                     bool stripHeader)
    : member_(member), reader_(std::move(reader)), mapping_(std::move(mapping)), stripHeader_(stripHeader) {
    const data::TableDef& def = member_.def();
    for (const ImexFieldEntry& f : member_.fields) targets_.emplace_back(def, f.name);
    columnTargets_.resize(mapping_.columnPictures.size());
    for (std::size_t t = 0; t < mapping_.targetColumn.size() && t < targets_.size(); ++t) {
        const int c = mapping_.targetColumn[t];
        if (c >= 0 && static_cast<std::size_t>(c) < columnTargets_.size())
            columnTargets_[static_cast<std::size_t>(c)].push_back(static_cast<int>(t));
    }
    if (member_.kind == ImexKind::Schedule) {
        for (std::size_t t = 0; t < member_.fields.size(); ++t) {
            if (member_.fields[t].name == "SCH:AdvanceWarnDate") warnDate_ = static_cast<int>(t);
            if (member_.fields[t].name == "SCH:AdvanceWarnTime") warnTime_ = static_cast<int>(t);
        }
    }
}

ImportRun::~ImportRun() {
    CommitNow();
    CloseTable();
}

void ImportRun::Noted::Add(std::string name) {
    if (++count <= 3) names.push_back(std::move(name));
}

std::string ImportRun::Noted::Text(const std::string& one, const std::string& many) const {
    std::string text = "; " + std::to_string(count) + " " + (count == 1 ? one : many) + " (";
    for (std::size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
    return text + (count > 3 ? ", ...)" : ")");
}

namespace {

// The data file's page cache and journal while imports run: one connection
// serves the whole program, so the first import to start sets them and the
// last to end gives back what it found (all on the GUI thread).
std::mutex g_cacheMutex;
int g_cacheImports = 0;
std::string g_cacheBefore, g_journalBefore;

}  // namespace

void ImportRun::GrowCache() {
    data::FileSettings settings(*table_);
    if (!settings.Valid()) return;
    std::lock_guard<std::mutex> l(g_cacheMutex);
    if (g_cacheImports++ == 0) {
        g_cacheBefore = settings.CacheSize();
        // Never made smaller.
        if (settings.CacheKb() < kImportCacheKb) settings.SetCacheKb(kImportCacheKb);
        // The rollback journal is kept between the import's commits, its
        // header zeroed at each (the commit point, synced as before), rather
        // than made and deleted for every one: a commit waited for the
        // folder to be synced as well. A journal of another kind (none in
        // this program) is left alone.
        g_journalBefore = settings.JournalMode();
        if (g_journalBefore == "delete") (void)settings.SetJournalMode("PERSIST");
        else g_journalBefore.clear();
    }
    cacheGrown_ = settings;
}

void ImportRun::RestoreCache() {
    if (!cacheGrown_.Valid()) return;
    std::lock_guard<std::mutex> l(g_cacheMutex);
    if (--g_cacheImports == 0) {
        if (!g_cacheBefore.empty()) cacheGrown_.SetCacheSize(g_cacheBefore);
        // Back to DELETE, which deletes the kept journal at once.
        if (!g_journalBefore.empty()) (void)cacheGrown_.SetJournalMode(g_journalBefore);
    }
    cacheGrown_ = data::FileSettings();
}

void ImportRun::CloseTable() {
    RestoreCache();
    if (tableOpen_) table_->Close();
    tableOpen_ = false;
}

bool ImportRun::Start() {
    const data::TableDef& def = member_.def();
    table_ = &data::TableOf(def);
    if (OpenTable(*table_) != 0) return false;
    tableOpen_ = true;
    GrowCache();
    numberKey_ = member_.numberKey ? def.key(member_.numberKey) : nullptr;
    // Every line starts from a cleared record, every field empty or 0: not
    // from the new-record values of a form (a new task's placeholder is
    // stored disabled) and without change stamps, so a task comes in enabled
    // unless a column says otherwise.
    cleared_ = std::make_unique<data::AnyRecord>(def);
    work_ = std::make_unique<data::AnyRecord>(def);

    SetTotal(static_cast<int>(std::min<int64_t>(reader_->TextSize(), INT32_MAX)));
    reader_->SetImport();
    if (stripHeader_) {
        const int64_t bytes = reader_->NextLine();
        CountDone(static_cast<int>(bytes));
        fileLine_ = reader_->LinesOfRecord();
    }
    return true;
}

void ImportRun::BeginSlice() {
    if (inTransaction_ || data::InTransaction()) return;
    // A thread that waited for the data file while the last transaction
    // held it is woken by the commit, but this one would take the file again
    // long before that thread runs (the lock is not fair): it is given a
    // moment to get in first.
    if (handOver_) {
        handOver_ = false;
        std::this_thread::sleep_for(kImportHandOver);
    }
    inTransaction_ = data::Logout({table_}) == kNoError;
    transactionSince_ = std::chrono::steady_clock::now();
}

// A commit writes every index page the slice touched and waits for the
// disk twice: once a slice it took more than half the import. The
// transaction spans slices for up to kImportCommitEvery; other writers of
// the data file wait no longer than that.
void ImportRun::EndSlice() {
    if (inTransaction_ && std::chrono::steady_clock::now() - transactionSince_ < kImportCommitEvery) return;
    handOver_ = inTransaction_ && CommitNow();
}

bool ImportRun::CommitNow(bool tell) {
    if (!inTransaction_) return true;
    inTransaction_ = false;
    const bool committed = data::Commit() == kNoError;
    if (committed) {
        // Only now are the records of the transaction in the table.
        added_ += pendingAdded_;
        linesAdded_ += pendingLines_;
        joinedLines_ += pendingJoined_;
        if (pendingLastLine_ > 0) lastAddedLine_ = pendingLastLine_;
    } else {
        // Rolled back: every record the transaction added is gone.
        lostLines_ += pendingLines_;
        const ImexError failure{data::LastErrorCode(), data::LastErrorText()};
        const std::string cause = CauseInWords(failure.code);
        if (stopReason_.empty()) stopReason_ = cause;
        if (tell) (void)Message(WithCause(failure, cause), member_.addCaption, MessageIcon::Hand);
        failed_ = true;
        Stop(ProcessState::Failed);
    }
    pendingAdded_ = pendingLines_ = pendingJoined_ = pendingLastLine_ = 0;
    return committed;
}

ProcessState ImportRun::Closing(ProcessState end) {
    // The last records are the import's only once committed.
    if (!CommitNow()) return ProcessState::Failed;
    return failed_ ? ProcessState::Failed : end;
}

bool ImportRun::Work() {
    const int64_t bytes = reader_->NextLine();
    if (bytes == 0) {
        // A file that could not be read to its end is not a finished import:
        // the records so far stay, and the user is told why it stopped.
        if (reader_->ReadFailure().code != 0) {
            CommitNow();
            (void)Message(reader_->ReadFailure().Message(), "Cannot READ " + reader_->FileName(),
                          MessageIcon::Hand);
            Stop(ProcessState::Failed);
        }
        return false;
    }
    CountDone(static_cast<int>(std::min<int64_t>(bytes, INT32_MAX)));
    recordLines_ = reader_->LinesOfRecord();
    fileLine_ += recordLines_;
    linesRead_ += recordLines_;
    if (reader_->RecordTooLong()) {
        // Its fields past the line's limit were never read: stored, the
        // record would lose them without a word. It is left out and named
        // by the line it starts on.
        longLines_.Add("line " + std::to_string(fileLine_ - recordLines_ + 1));
        return true;
    }
    const data::TableDef& def = member_.def();
    def.copy(work_->get(), cleared_->get());
    bool any = false;
    int fields = 0;
    for (std::size_t c = 0; c < columnTargets_.size(); ++c) {
        if (reader_->NextField() == 0) break;
        any = true;
        ++fields;
        if (reader_->NulsDropped() > 0 && !columnTargets_[c].empty())
            nuls_.Add("line " + std::to_string(fileLine_) + " " +
                      targets_[static_cast<std::size_t>(columnTargets_[c].front())].Name());
        // A date or time that is no date or time converts to 0: told.
        const std::string& picture = mapping_.columnPictures[c];
        const std::size_t at = picture.find('@');
        const char kind = at != std::string::npos && at + 1 < picture.size()
                              ? static_cast<char>(std::tolower(static_cast<unsigned char>(picture[at + 1])))
                              : '\0';
        const bool formatted = !columnTargets_[c].empty() && (kind == 'd' || kind == 't') &&
                               reader_->Field().find_first_not_of(' ') != std::string::npos;
        if (formatted) raw_ = reader_->Field();
        for (int t : columnTargets_[c]) {
            reader_->DeformatField(picture);
            const ImexColumn& target = targets_[static_cast<std::size_t>(t)];
            ImexColumn::TextCut cut;
            bool fits = target.Store(work_->get(), reader_->Field(), &cut, formatted ? 0 : reader_->FieldCutFrom());
            if (formatted && (reader_->Field().empty() || reader_->Field() == "0")) fits = false;
            if (!fits) Misfit(target, formatted ? raw_ : reader_->Field());
            if (cut.cut)
                cut_.Add("line " + std::to_string(fileLine_) + " " + target.Name() + ": " + std::to_string(cut.kept) +
                         " of " + std::to_string(cut.chars) + " characters kept");
        }
    }
    if (!any) {  // a blank line
        ++blankLines_;
        return true;
    }
    NoteReading(fields);
    // No advance-warning date: no advance-warning time either. Checked once
    // the whole line is stored, so the columns' order does not matter.
    if (warnDate_ >= 0 && warnTime_ >= 0 && targets_[static_cast<std::size_t>(warnDate_)].Number(work_->get()) == 0)
        targets_[static_cast<std::size_t>(warnTime_)].Store(work_->get(), "0");
    return AddRecord();
}

bool ImportRun::AddRecord() {
    const data::TableDef& def = member_.def();
    for (;;) {
        int err = 0;
        // A number taken meanwhile by another program is tried again, three
        // times in all before the user is asked.
        for (int tries = 0; tries < 3; ++tries) {
            def.copy(table_->Record(), work_->get());
            err = numberKey_ ? table_->AddAutoNumbered(numberKey_) : table_->Add();
            if (err != kDuplicateKey || !numberKey_ || !EqualNoCase(data::LastDuplicateKey(), numberKey_->name))
                break;
        }
        if (err == kNoError) {
            if (inTransaction_) {
                // Counted once the transaction commits.
                ++pendingAdded_;
                pendingLines_ += recordLines_;
                pendingJoined_ += recordLines_ - 1;
                pendingLastLine_ = fileLine_;
            } else {
                ++added_;
                linesAdded_ += recordLines_;
                joinedLines_ += recordLines_ - 1;
                lastAddedLine_ = fileLine_;
            }
            return true;
        }
        refusedLines_ += recordLines_;
        const ImexError failure{err, data::LastErrorText()};
        const std::string cause = CauseInWords(err);
        const bool numbering =
            err == kDuplicateKey && numberKey_ && EqualNoCase(data::LastDuplicateKey(), numberKey_->name);
        // No question waits while the slice holds the data file. A commit
        // that fails as well (the same full disk) is told with this box.
        const bool committed = CommitNow(false);
        if (committed && numbering && StandardWarningNoText(25) == kButtonRetry) {
            BeginSlice();
            continue;
        }
        if (stopReason_.empty()) stopReason_ = cause;
        (void)Message(WithCause(failure, cause), member_.addCaption, MessageIcon::Hand);
        failed_ = true;
        Stop(ProcessState::Failed);
        return false;
    }
}

void ImportRun::NoteReading(int fields) {
    const std::string line = "line " + std::to_string(fileLine_ - recordLines_ + 1);
    if (reader_->RecodedLinesOfRecord() > 0) {
        recoded_.Add(line);
        recoded_.count += reader_->RecodedLinesOfRecord() - 1;
    }
    sawUtf8_ = sawUtf8_ || reader_->SawUtf8();
    const bool open = reader_->RecordEndsInQuote(), stray = reader_->RecordHasStrayQuote();
    if (!open && !stray) return;
    // The fields the line gave against the file's columns.
    while (reader_->NextField() != 0) ++fields;
    const std::string shape =
        line + ": " + std::to_string(fields) + " of " + std::to_string(columnTargets_.size()) + " fields";
    if (open) openQuote_.Add(shape);
    if (stray) strayQuote_.Add(shape);
}

void ImportRun::Misfit(const ImexColumn& target, const std::string& text) {
    if (++misfits_ <= 3)
        misfitNames_.push_back("line " + std::to_string(fileLine_) + " " + target.Name() + " \"" +
                               std::string(CutChars(text, 40)) + "\"");
}

std::string ImportRun::Summary() const {
    const auto n = [](int v) { return std::to_string(v); };
    const auto lines = [&](int v) { return n(v) + (v == 1 ? " line" : " lines"); };
    std::string text = state() == ProcessState::Finished    ? "Import finished: "
                       : state() == ProcessState::Cancelled ? "Import cancelled: "
                       : state() == ProcessState::Failed    ? "Import stopped by an error: "
                                                            : "Import: ";
    text += n(linesAdded_) + " of " + lines(linesRead_) + " read were imported as " + n(added_) +
            (added_ == 1 ? " record" : " records");
    if (lastAddedLine_ > 0) text += " (up to line " + n(lastAddedLine_) + " of the file)";
    if (joinedLines_ > 0) text += "; " + lines(joinedLines_) + " went into the quoted field of a record";
    if (refusedLines_ > 0) text += "; " + lines(refusedLines_) + " refused";
    if (longLines_.count > 0) {
        const std::string longer = " longer than " + n(static_cast<int>(kImexLineChars)) + " characters not imported";
        text += longLines_.Text("line" + longer, "lines" + longer);
    }
    if (lostLines_ > 0) text += "; " + lines(lostLines_) + " not saved (the commit failed)";
    if (blankLines_ > 0) text += "; " + lines(blankLines_) + " blank";
    if (misfits_ > 0) {
        text += "; " + n(misfits_) + (misfits_ == 1 ? " value did" : " values did") +
                " not fit and went in clamped to the field's range or as 0 (";
        for (std::size_t i = 0; i < misfitNames_.size(); ++i) text += (i ? ", " : "") + misfitNames_[i];
        text += misfits_ > 3 ? ", ...)" : ")";
    }
    if (cut_.count > 0) text += cut_.Text("text cut to its field's length", "texts cut to their field's length");
    // Lines that are no UTF-8 are read as Windows-1252: strays in a file
    // whose other lines hold UTF-8; in any other file they may be what the
    // file is, or bytes that were never text (FF FE), so they are named too.
    if (recoded_.count > 0)
        text += sawUtf8_ ? recoded_.Text("line read as Windows-1252 in a UTF-8 file",
                                         "lines read as Windows-1252 in a UTF-8 file")
                         : recoded_.Text("line read as Windows-1252", "lines read as Windows-1252");
    if (openQuote_.count > 0)
        text += openQuote_.Text("line ends inside a quoted field", "lines end inside a quoted field");
    if (strayQuote_.count > 0)
        text += strayQuote_.Text("line has its fields shifted by a quote inside a quoted field",
                                 "lines have their fields shifted by a quote inside a quoted field");
    if (nuls_.count > 0)
        text += nuls_.Text("value held NUL bytes, dropped", "values held NUL bytes, dropped");
    if (state() == ProcessState::Failed && !stopReason_.empty()) text += "; stopped because " + stopReason_;
    return text + ".";
}

void ImportRun::Ended(ProcessState) {
    CommitNow();
    // Whatever the end, the user is told what came in: the rows added stay
    // (always the first records of the file), and a second import of the
    // same file would add them again.
    LogEvent(member_.importProcedure, Summary());
    CloseTable();
}

}  // namespace kr::reports
