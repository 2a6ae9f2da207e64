#include "reports/ReportView.h"

#include "dictionary/StandardWarning.h"
#include "platform/data/Errors.h"
#include "platform/runtime/ErrorCodes.h"

namespace kr::reports {

ReportView::ReportView(data::FileManager& file, std::string tableName)
    : file_(file), tableName_(std::move(tableName)) {}

ReportView::~ReportView() { Close(); }

bool ReportView::Open() {
    if (open_) return true;
    if (file_.Open() != data::kLevelBenign) return false;
    open_ = true;
    file_.File().Send("QUICKSCAN=on");
    file_.BindFields();
    const data::KeyDef* key = nullptr;
    bool viewError = false;
    if (!keyName.empty()) {
        key = file_.Key(keyName);
        if (!key) {
            data::SetLastError(kInvalidKeyLength);
            viewError = true;
        }
    }
    if (rangeStart && key) {
        rangeStart();
        file_.SetPosition(key);
    } else {
        file_.SetOrder(key);
    }
    if (!filter.empty()) {
        compiled_ = CompiledExpression::Compile(filter);
        useFilter_ = compiled_.ok();
        if (!useFilter_) {
            data::SetLastError(compiled_.error());
            viewError = true;
        }
    }
    if (viewError) StandardWarningNoText(36);
    return true;
}

int ReportView::Total() { return static_cast<int>(file_.Records()); }

bool ReportView::Matches() {
    if (!useFilter_) return true;
    EvalResult r = compiled_.Evaluate();
    if (!r.ok()) {
        // A name the filter uses is not bound: the filter is dropped, as a
        // filter that would not open is.
        data::SetLastError(r.error);
        StandardWarningNoText(36);
        useFilter_ = false;
        return true;
    }
    const Value& v = r.value;
    return v.isNumber() ? v.toReal() != 0 : v.truthy();
}

RecordStep ReportView::Next() {
    if (!open_ || ended_) return RecordStep::End();
    for (;;) {
        if (file_.TryNext() != data::kLevelBenign) {
            ended_ = true;
            if (data::LastErrorCode() == kRecordNotAvailable) return RecordStep::End();
            StandardWarning(35, tableName_, "");
            return RecordStep::Fatal({});
        }
        if (inRange && !inRange()) {
            ended_ = true;
            return RecordStep::End();
        }
        if (Matches()) return RecordStep::Done();
    }
}

void ReportView::Close() {
    if (!open_) return;
    open_ = false;
    file_.File().Send("QUICKSCAN=off");
    file_.Close();
}

}  // namespace kr::reports
