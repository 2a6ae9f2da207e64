// The printed script reports of the window tests, read back from PDF.
#pragma once

#include <QProcess>
#include <memory>
#include <string>

#include "UiTestSupport.h"
#include "platform/runtime/Services.h"
#include "platform/ui/ReportPreview.h"

namespace kr::test {

// Prints the report to the PDF file (the responder declines the preview)
// and answers its text as pdftotext lays it out; empty when nothing printed.
inline std::string PrintedText(std::shared_ptr<ReportJob> job, const std::string& pdf, ScriptedResponder& responder) {
    job->outputFile = pdf;
    responder.Answer(kButtonNo);  // no preview: print
    int response = 0;
    RunReport(job, [&](int r) { response = r; });
    if (!WaitFor([&] { return response != 0; }, 20000)) return {};
    QProcess p;
    p.start("pdftotext", {"-layout", QString::fromStdString(pdf), "-"});
    if (!p.waitForFinished(30000)) return {};
    return p.readAllStandardOutput().toStdString();
}

}  // namespace kr::test
