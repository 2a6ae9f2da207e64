#include "scriptedit/windows/ScriptExchangeWindows.h"

#include <QApplication>
#include <QFileDialog>
#include <QWidget>

#include "platform/ui/ProcessWindow.h"
#include "platform/ui/Requests.h"
#include "scriptedit/ScriptExchange.h"

namespace kr {

namespace {

ExchangeFileChooser& Chooser() {
    static ExchangeFileChooser chooser;
    return chooser;
}

std::optional<std::string> Choose(const std::string& title, bool save) {
    if (Chooser()) return Chooser()(title, save);
    const QString filter = QStringLiteral("Export File (*.krs);;Text (*.txt);;All (*)");
    QWidget* parent = QApplication::activeWindow();
    const QString name = save ? QFileDialog::getSaveFileName(parent, QString::fromStdString(title), {}, filter)
                              : QFileDialog::getOpenFileName(parent, QString::fromStdString(title), {}, filter);
    if (name.isEmpty()) return std::nullopt;
    return name.toStdString();
}

void Run(std::shared_ptr<RecordProcess> process, const char* procedure, const char* text,
         std::function<void(int)> done) {
    ProcessWindowOptions o;
    o.procedureName = procedure;
    o.userText = text;
    RunProcessWindow(std::move(process), o, std::move(done));
}

}  // namespace

void SetExchangeFileChooser(ExchangeFileChooser chooser) { Chooser() = std::move(chooser); }

void ExportScriptWindow(int32_t taskID, std::function<void(int)> done) {
    const std::optional<std::string> file = Choose("Export to File", true);
    if (!file) {
        if (done) done(kRequestCancelled);
        return;
    }
    Run(MakeExportScript(taskID, *file), "ExportScript", "Exporting Script Items", std::move(done));
}

void ImportScriptWindow(int32_t taskID, std::function<void(int)> done) {
    const std::optional<std::string> file = Choose("Choose File to Import", false);
    if (!file) {
        if (done) done(kRequestCancelled);
        return;
    }
    Run(MakeImportScript(taskID, *file), "ImportScript", "Importing Script Items", std::move(done));
}

}  // namespace kr
