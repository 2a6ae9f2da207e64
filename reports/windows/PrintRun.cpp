#include "reports/windows/PrintRun.h"

#include <QPointer>
#include <QWidget>

#include "dictionary/Settings.h"
#include "platform/runtime/Expression.h"
#include "platform/runtime/ProcedureContext.h"
#include "platform/ui/ProcedureThread.h"
#include "platform/ui/ReportPreview.h"
#include "platform/ui/Requests.h"
#include "reports/ReportCriteria.h"
#include "reports/ReportView.h"

namespace kr::reports {

namespace {
std::string& OutputFile() {
    static std::string file;
    return file;
}
}  // namespace

void SetReportOutputFile(const std::string& pdf) { OutputFile() = pdf; }
const std::string& ReportOutputFile() { return OutputFile(); }

std::function<void()> HoldReportThread(const std::string& procedure) {
    if (TopWindowOf(CurrentProcedureThread())) return [] {};
    QPointer<QWidget> hold = new QWidget;
    hold->setObjectName("reportThreadHold");
    AttachWindow(hold, procedure);
    return [hold] {
        if (hold) hold->deleteLater();
    };
}

report::Font TitleFont() { return report::Bold(14); }

report::Control Heading(int x, int y, int w, const char* text) {
    report::Font f;
    f.bold = true;
    return report::WithFont(report::Text(x, y, w, 180, text), f);
}

report::Band PageFooter(int pageWidth) {
    return report::Band(300, {report::PageNumber(pageWidth - 2500, 80, 1500, 200, "pPage <<<#p", report::Align::Right)});
}

void RunPrint(std::shared_ptr<PrintPlan> plan, std::function<void(int)> done) {
    auto view = std::make_shared<ReportView>(*plan->file, plan->tableName);
    view->keyName = plan->keyName;
    view->filter = plan->filter;
    view->rangeStart = plan->rangeStart;
    view->inRange = plan->inRange;
    if (plan->bindReportNames) BindReportNames(CurrentBindings());
    auto finish = [view, plan, done](int response) {
        view->Close();
        if (plan->bindReportNames) UnbindReportNames(CurrentBindings());
        if (done) done(response);
    };
    if (!view->Open()) return finish(kRequestCancelled);
    // Every date picture of the layout shows the user's date format.
    plan->layout->datePicture = Options().GlobalDateFormat.get();

    auto job = std::make_shared<ReportJob>();
    job->procedureName = plan->procedure;
    job->layout = plan->layout;
    job->total = view->Total();
    job->batchSize = plan->batchSize;
    job->outputFile = ReportOutputFile();
    job->preview = plan->preview;
    if (plan->direct) {
        job->preview = true;
        job->progressTitle = kDirectReportProgressTitle;
        job->confirmCancel = false;
        job->userLine = false;
    }
    job->read = [view] { return view->Next(); };
    RunReport(job, finish);
}

}  // namespace kr::reports
